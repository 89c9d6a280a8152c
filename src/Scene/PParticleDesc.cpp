#include "Scene/PParticleDesc.h"

namespace {

std::unique_ptr<SPParticleDesc> CopyChain(const std::unique_ptr<SPParticleDesc>& from) {
    if (!from) return nullptr;
    auto copy = std::make_unique<SPParticleDesc>();
    copy->Assign(*from);
    return copy;
}

} // namespace

SPParticleDesc::~SPParticleDesc() {
    std::unique_ptr<SPParticleDesc> next = std::move(followUp);
    while (next) next = std::move(next->followUp);
}

void SPParticleDesc::Assign(const SPParticleDesc& other) {
    name = other.name;
    position = other.position;
    velocity = other.velocity;
    acceleration = other.acceleration;
    size = other.size;
    growth = other.growth;
    life = other.life;
    fade = other.fade;
    stretched = other.stretched;
    frame = other.frame;
    floor = other.floor;
    bounce = other.bounce;
    // The chain is copied link by link without recursion, so a long chain cannot exhaust the stack.
    followUp.reset();
    std::unique_ptr<SPParticleDesc>* tail = &followUp;
    for (const SPParticleDesc* from = other.followUp.get(); from; from = from->followUp.get()) {
        auto link = std::make_unique<SPParticleDesc>();
        link->name = from->name;
        link->position = from->position;
        link->velocity = from->velocity;
        link->acceleration = from->acceleration;
        link->size = from->size;
        link->growth = from->growth;
        link->life = from->life;
        link->fade = from->fade;
        link->stretched = from->stretched;
        link->frame = from->frame;
        link->floor = from->floor;
        link->bounce = from->bounce;
        *tail = std::move(link);
        tail = &(*tail)->followUp;
    }
    callback = nullptr;
    user = nullptr;
}

int SPParticleDesc::ChainLength() const {
    int n = 0;
    for (const SPParticleDesc* d = followUp.get(); d; d = d->followUp.get()) ++n;
    return n;
}

SPParticle& SPParticle::operator=(const SPParticle& other) {
    if (this == &other) return *this;
    position = other.position;
    previousPosition = other.previousPosition;
    velocity = other.velocity;
    lastVelocity = other.lastVelocity;
    acceleration = other.acceleration;
    growth = other.growth;
    size = other.size;
    age = other.age;
    life = other.life;
    fade = other.fade;
    frameRate = other.frameRate;
    spin = other.spin;
    stretched = other.stretched;
    frame = other.frame;
    floor = other.floor;
    bounce = other.bounce;
    followUp = CopyChain(other.followUp);
    callback = other.callback;
    user = other.user;
    return *this;
}

SPParticle SPParticle::FromDesc(const SPParticleDesc& desc) {
    SPParticle p;
    p.position = desc.position;
    p.velocity = desc.velocity;
    p.acceleration = desc.acceleration;
    p.size = desc.size;
    p.growth = desc.growth;
    p.life = desc.life;
    p.fade = desc.fade;
    p.stretched = desc.stretched;
    p.frame = desc.frame;
    p.floor = desc.floor;
    p.bounce = desc.bounce;
    p.callback = desc.callback;
    p.user = desc.user;
    p.followUp = CopyChain(desc.followUp);
    return p;
}
