#pragma once
// The records that describe particles: what a user asks to be emitted (SPParticleDesc), one
// line of the particle-system table (SPParticleSystemDesc), a live particle as a batch holds it
// (SPParticle) and one colour key of a batch (SPColourKey).

#include <memory>
#include <string>

#include "Framework/PMMObject.h"
#include "Platform/Math/D3DXTypes.h"

struct SPParticle;

// Called once per update while the particle lives, with the user object and the live record;
// the answer is not used. The record may be changed: an age set above the life ends the
// particle at its next update. The callback must not keep the pointer: the record moves.
using ParticleCallback = int (*)(IPMMObject* user, SPParticle* particle);

// The description of one particle to emit. Copies made with Assign carry the follow-up chain
// (deep-copied) but neither the callback nor the user object.
struct SPParticleDesc {
    SPParticleDesc() = default;
    // Frees the chain link by link: a chain as long as a table line allows cannot exhaust the stack.
    ~SPParticleDesc();
    SPParticleDesc(const SPParticleDesc& other) { Assign(other); }
    SPParticleDesc& operator=(const SPParticleDesc& other) {
        if (this != &other) Assign(other);
        return *this;
    }
    SPParticleDesc(SPParticleDesc&&) noexcept = default;
    SPParticleDesc& operator=(SPParticleDesc&&) noexcept = default;

    // Values and a deep copy of the follow-up chain; no callback and no user object.
    void Assign(const SPParticleDesc& other);
    // The number of descriptions in the follow-up chain (not counting this one).
    int ChainLength() const;

    std::string name; // the batch to emit into
    D3DXVECTOR3 position{0.0f, 0.0f, 0.0f};
    D3DXVECTOR3 velocity{0.0f, 0.0f, 0.0f};
    D3DXVECTOR3 acceleration{0.0f, 0.0f, 0.0f};
    float size = 0.0f;   // half the edge of the quad
    float growth = 0.0f; // size per second
    float life = 0.0f;   // seconds
    bool fade = false;
    bool stretched = false;
    int frame = 0;
    float floor = 0.0f;
    bool bounce = false;
    // Emitted at this particle's position plus its own when this one is halfway through its life.
    std::unique_ptr<SPParticleDesc> followUp;
    ParticleCallback callback = nullptr;
    CPSmartPtr<IPMMObject> user;
};

// One line of the particle-system table.
struct SPParticleSystemDesc {
    float life = 0.0f;
    float growth = 0.0f;
    D3DXVECTOR3 direction{0.0f, 0.0f, 1.0f};
    float speed = 0.0f;
    D3DXVECTOR3 acceleration{0.0f, 0.0f, 0.0f};
    float size = 1.0f;
    bool fade = true;
    std::string particleName;
    int coneAngle = 0; // the cone's full opening, degrees
    D3DXVECTOR3 spread{0.0f, 0.0f, 0.0f};
};

// One live particle. For a spot the velocity holds its three rotation angles.
struct SPParticle {
    SPParticle() = default;
    ~SPParticle() = default;
    // Copies share the user object and deep-copy the follow-up chain.
    SPParticle(const SPParticle& other) { *this = other; }
    SPParticle& operator=(const SPParticle& other);
    SPParticle(SPParticle&&) noexcept = default;
    SPParticle& operator=(SPParticle&&) noexcept = default;

    // Everything the description says; age, previous position, last velocity and frame rate
    // start at zero, the spin at zero, the follow-up chain deep-copied.
    static SPParticle FromDesc(const SPParticleDesc& desc);

    D3DXVECTOR3 position{0.0f, 0.0f, 0.0f};
    // Where the particle was at the end of the last frame that advanced time; the emission point
    // until then.
    D3DXVECTOR3 previousPosition{0.0f, 0.0f, 0.0f};
    D3DXVECTOR3 velocity{0.0f, 0.0f, 0.0f};
    // The last velocity with three non-zero components (stretched particles only).
    D3DXVECTOR3 lastVelocity{0.0f, 0.0f, 0.0f};
    D3DXVECTOR3 acceleration{0.0f, 0.0f, 0.0f};
    float growth = 0.0f;
    float size = 0.0f;
    float age = 0.0f;
    float life = 0.0f;
    bool fade = false;
    float frameRate = 0.0f; // atlas frames per second over the life
    float spin = 0.0f;      // radians about the viewing axis
    bool stretched = false;
    int frame = 0;
    float floor = 0.0f;
    bool bounce = false;
    std::unique_ptr<SPParticleDesc> followUp;
    ParticleCallback callback = nullptr;
    CPSmartPtr<IPMMObject> user;
};

// Alpha, red, green, blue (0 to 1) and size.
struct SPColourKey {
    float a = 0.0f, r = 0.0f, g = 0.0f, b = 0.0f;
    float size = 0.0f;
};
