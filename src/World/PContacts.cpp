#include "World/PContacts.h"

#include <algorithm>
#include <cmath>

#include "Framework/CommandRouter.h"
#include "Framework/PGlobalTimer.h"
#include "Framework/PSettings.h"
#include "Physics/RbBody.h"
#include "Platform/Math/D3DXMath.h"
#include "Platform/System/Random.h"
#include "Render/PRenderObject.h"
#include "Scene/PParticleDesc.h"
#include "Scene/PParticlesManager.h"
#include "Sound/NAudio.h"
#include "Sound/NSound.h"
#include "World/PCar.h"
#include "World/PLevel.h"
#include "World/PPhysicData.h"
#include "World/PPlayer.h"
#include "World/PRaceCamera.h"

namespace {

// The race camera's share of a contact; nothing without a level or its camera.
namespace RacerCamera {
CPCamera* Current() {
    CPLevel* level = CPLevel::GetInstance();
    return level ? level->camera.Get() : nullptr;
}
void StartTakedownView(CPPlayer* victim) {
    if (CPCamera* camera = Current()) {
        camera->takedownTarget = victim;
        camera->StartTakedownView();
    }
}
void StartShake() {
    if (CPCamera* camera = Current()) camera->StartShake();
}
bool TakedownViewRunning() {
    CPCamera* camera = Current();
    return camera && camera->takedownOn;
}
} // namespace RacerCamera

float Uniform() { return static_cast<float>(Platform::EngineRand()) / 32767.0f; }
float Signed() { return 2.0f * Uniform() - 1.0f; }

D3DXVECTOR3 ToDx(const RbVector& v) { return D3DXVECTOR3(v.x, v.y, v.z); }
RbVector ToRb(const D3DXVECTOR3& v) { return RbVec(v.x, v.y, v.z); }

D3DXVECTOR3 Normalized(const D3DXVECTOR3& v) {
    D3DXVECTOR3 out(0.0f, 0.0f, 0.0f);
    if (D3DXVec3LengthSq(&v) > 0.0f) D3DXVec3Normalize(&out, &v);
    return out;
}

D3DXVECTOR3 Flat(const D3DXVECTOR3& v) { return Normalized(D3DXVECTOR3(v.x, v.y, 0.0f)); }

CPPlayer* RacerOf(void* body) {
    if (!body) return nullptr;
    auto* object = static_cast<CPGameObject*>(static_cast<RbBody*>(body)->GetUserData());
    return dynamic_cast<CPPlayer*>(object);
}

RbRigidBody* RigidBodyOf(CPPlayer* racer) {
    auto* data = dynamic_cast<CPPhysicData*>(racer->GetPhysicData().Get());
    return data ? data->GetRigidBody() : nullptr;
}

D3DXVECTOR3 VelocityOf(const CPPlayer* racer) {
    float v[4];
    racer->GetVelocity(v);
    return D3DXVECTOR3(v[0], v[1], v[2]);
}

// The lowest wheel contact of the first four wheels; the given height without wheels.
float WheelFloor(const CPCar* car, float fallback) {
    if (!car) return fallback;
    const int wheels = std::min(4, car->GetWheelCount());
    if (wheels <= 0) return fallback;
    float floor = car->GetContactPoint(0).z;
    for (int i = 1; i < wheels; ++i) floor = std::min(floor, car->GetContactPoint(i).z);
    return floor;
}

// Signed angle between a flat heading and the flat direction to the other car: negative when
// the direction's cross product with the heading points up.
float SignedAngle(const D3DXVECTOR3& f, const D3DXVECTOR3& g) {
    const float a = std::acos(std::clamp(f.x * g.x + f.y * g.y + f.z * g.z, -1.0f, 1.0f));
    const float crossZ = g.x * f.y - g.y * f.x;
    return crossZ > 0.0f ? -a : a;
}

bool NearHuman(const CPCar* car) { return car && car->GetHumanDistance() < 5625.0f; }

void PlayHitSound(CPCar* car, int k, const D3DXVECTOR3& at, const D3DXVECTOR3& velocity) {
    if (!car) return;
    if (const auto& sink = CPPlayer::Observers().sound) sink("hit" + std::to_string(k + 1));
    CPSmartPtr<CNSound> sound = car->Sounds().hit[k];
    if (!sound || sound->IsPlaying()) return;
    if (CNAudio* audio = CNAudio::GetInstance())
        audio->SetSoundPosition(sound, D3DVECTOR{at.x, at.y, at.z}, D3DVECTOR{velocity.x, velocity.y, velocity.z});
    sound->SetFrequencyFactor((0.8f + 0.4f * Uniform()) * g_timeScale);
    sound->Play(0, 0);
}

void Emit(const SPParticleDesc& desc) {
    if (const auto& sink = CPPlayer::Observers().particle) sink(desc);
    if (CPParticlesManager* particles = GetParticlesManager()) particles->EmitParticle(desc);
}

SPParticleDesc Spark(const char* name, const D3DXVECTOR3& position, float floor, bool stretched) {
    SPParticleDesc spark;
    spark.name = name;
    spark.position = position;
    spark.acceleration = D3DXVECTOR3(0.0f, 0.0f, -9.8f);
    spark.fade = true;
    spark.stretched = stretched;
    spark.floor = floor + 0.05f;
    spark.bounce = true;
    return spark;
}

void CarAgainstCar(const RbCollisionInfo& info, CPPlayer* a, CPPlayer* b) {
    CPCar* carA = a->GetCar();
    CPCar* carB = b->GetCar();
    if (!carA || !carB) return;
    CPLevel* level = CPLevel::GetInstance();
    const D3DXVECTOR3 vA = VelocityOf(a);
    const D3DXVECTOR3 vB = VelocityOf(b);
    const D3DXVECTOR3 fA = Flat(vA);
    const D3DXVECTOR3 fB = Flat(vB);
    const D3DXVECTOR3 gAB = Flat(b->GetPosition() - a->GetPosition());
    const D3DXVECTOR3 gBA = Flat(a->GetPosition() - b->GetPosition());
    const float alphaB = SignedAngle(fB, gBA);
    const float alphaA = SignedAngle(fA, gAB);
    const float halfPi = 1.5707964f;
    const bool bAttacks = std::fabs(alphaB) < halfPi && std::fabs(alphaA) > halfPi;
    CPPlayer* attacker = bAttacks ? b : a;
    CPPlayer* victim = bAttacks ? a : b;
    CPCar* attackerCar = bAttacks ? carB : carA;
    CPCar* victimCar = bAttacks ? carA : carB;
    const float alpha = bAttacks ? alphaB : alphaA;
    const float s = attackerCar->GetSpeed();
    const D3DXVECTOR3 contact = ToDx(info.pointAWorld);
    const D3DXVECTOR3 attackerVelocity = bAttacks ? vB : vA;
    RbRigidBody* victimBody = RigidBodyOf(victim);
    const bool raceOver = level && level->raceOver;
    CPGameObject* player = level ? level->player : nullptr;

    if (!attackerCar->IsCrashed() && attackerCar->GetFrontEffect() && victim->raceFlag && !raceOver) {
        const D3DXVECTOR3 n = Normalized(victim->GetPosition() - attacker->GetPosition());
        if (victimBody) victimBody->SetAngularMomentum(RbVec(-n.y * 11.0f * s, n.x * 11.0f * s, n.z * 11.0f * s));
        victimCar->SetCrashed(true);
        victim->knockedOut = true;
        if (attacker == player) {
            RacerCamera::StartTakedownView(victim);
            RouteCommandByName("stripes_new", "start", "");
            attacker->respawnCount += 1;
            RouteCommandByName("game_interface", "show_message", "takedown1");
            victimCar->SetNitroMeter(0.0f);
        } else if (victim == player) {
            RouteCommandByName("game_interface", "show_message", "takedown2");
            RacerCamera::StartTakedownView(victim);
            RouteCommandByName("stripes_new", "start", "");
        }
        if (NearHuman(attackerCar)) {
            const D3DXVECTOR3 M =
                0.5f * D3DXVECTOR3(attackerVelocity.x, attackerVelocity.y, attackerVelocity.z + 10.0f);
            Contacts::EmitCollisionSparks(contact, D3DXVECTOR3(0.0f, 0.0f, 1.0f), M, g_psystems,
                                          WheelFloor(attackerCar, contact.z), attacker->GetPosition());
        }
        return;
    }

    const int k = Platform::EngineRand() % 5;
    const D3DXVECTOR3 d = Flat(victim->GetPosition() - attacker->GetPosition());
    if (victimBody) {
        victimBody->ApplyImpulse(ToRb(d * s));
        victimBody->SetAngularMomentumAlone(RbVec(0.0f, 0.0f, 2.0f * alpha * s));
    }
    if ((attacker == player || victim == player) && !RacerCamera::TakedownViewRunning()) RacerCamera::StartShake();
    if (NearHuman(attackerCar)) {
        PlayHitSound(victimCar, k, contact, VelocityOf(victim));
        Contacts::EmitCollisionSparks(contact, D3DXVECTOR3(0.0f, 0.0f, 1.0f), 0.5f * attackerVelocity, g_psystems,
                                      WheelFloor(attackerCar, contact.z), attacker->GetPosition());
    }
}

void CarAgainstGround(const RbCollisionInfo& info, CPPlayer* racer) {
    CPCar* car = racer->GetCar();
    const D3DXVECTOR3 c = ToDx(info.pointAWorld);
    const D3DXVECTOR3 v = VelocityOf(racer);
    const D3DXVECTOR3 rv = ToDx(info.relativeVelocity);
    const float lengthSq = D3DXVec3LengthSq(&rv);
    const float impact = lengthSq < 1e-6f ? 0.0f : std::sqrt(lengthSq) * 0.008f;
    const D3DXVECTOR3 d = Normalized(racer->GetPosition() - c);
    const D3DXVECTOR3 normal = ToDx(info.normal);
    const bool floorContact = normal.x == 0.0f && normal.y == 0.0f && normal.z != 0.0f;
    if (!floorContact) racer->touched = true;

    if (CPRenderObject* mesh = racer->GetRenderObject()) mesh->ApplyImpactDeformation(c, d, impact);
    const D3DXVECTOR3 D = 10.0f * Normalized(D3DXVECTOR3(-v.x, -v.y, 0.45f * std::max(std::fabs(v.x), std::fabs(v.y))));
    const int count = static_cast<int>(static_cast<float>(g_psystems) * impact * 0.5f);
    Contacts::EmitSparks(c, normal, D, count, WheelFloor(car, c.z));
    if (floorContact) return;

    const D3DXVECTOR3 h = Flat(racer->GetPosition() - c);
    const D3DXVECTOR3 vn = Normalized(v);
    // 90 degrees or more between the way out of the wall and the motion: moving into it.
    if (h.x * vn.x + h.y * vn.y + h.z * vn.z <= 0.0f) {
        const int k = Platform::EngineRand() % 5;
        if (RbRigidBody* body = RigidBodyOf(racer)) body->ApplyImpulse(ToRb(h * (car ? car->GetSpeed() : 0.0f)));
        PlayHitSound(car, k, c, v);
    }
}

} // namespace

namespace Contacts {

void OnContact(RbCollisionInfo* info) {
    if (!info || info->materialA != 1) return;
    CPPlayer* a = RacerOf(info->bodyA);
    if (!a) return;
    if (info->materialB == 1) {
        // Body B of a terrain contact is a shape, never a racer's body.
        CPPlayer* b = info->typeB == 0 ? nullptr : RacerOf(info->bodyB);
        if (b && b != a) CarAgainstCar(*info, a, b);
    } else if (info->materialB == 0) {
        CarAgainstGround(*info, a);
    }
}

int EmitSparks(const D3DXVECTOR3& point, const D3DXVECTOR3&, const D3DXVECTOR3& direction, int count, float floor) {
    const int c = count + g_frameEventCount > kSparkBudget ? kSparkBudget - g_frameEventCount : count;
    const int n = static_cast<int>((1.0f + Uniform()) / 2.0f * static_cast<float>(c));
    for (int i = 0; i < n; ++i) {
        ++g_frameEventCount;
        const D3DXVECTOR3 offset(Uniform() - 0.5f, Uniform() - 0.5f, Uniform() - 0.5f);
        SPParticleDesc spark = Spark("iskra", point + offset, floor, true);
        spark.velocity = 2.0f * (1.0f + Uniform()) * direction;
        spark.acceleration = -Uniform() * spark.velocity + D3DXVECTOR3(0.0f, 0.0f, -9.8f);
        spark.size = 0.16f + 0.08f * Uniform();
        spark.life = 1.0f + Uniform();
        Emit(spark);
    }
    return std::max(n, 0);
}

int EmitCollisionSparks(const D3DXVECTOR3& point, const D3DXVECTOR3&, const D3DXVECTOR3& motion, int count, float floor,
                        const D3DXVECTOR3&) {
    int c = count + g_frameEventCount > kSparkBudget ? kSparkBudget - g_frameEventCount : count;
    const float speed = D3DXVec3Length(&motion);
    c = std::min(c, static_cast<int>(std::max(4.0f * speed - 10.0f, 0.0f)));
    int emitted = 0;
    auto one = [&](const char* name, bool stretched) {
        ++g_frameEventCount;
        SPParticleDesc spark = Spark(name, point, floor, stretched);
        const float r1 = Uniform();
        const float r2 = Uniform();
        const D3DXVECTOR3 scatter(Signed(), Signed(), Signed());
        spark.velocity = (1.0f + r1) * motion + 2.0f * (1.0f + r2) * scatter;
        spark.size = 0.16f + 0.08f * Uniform();
        spark.life = 1.0f + Uniform();
        Emit(spark);
        ++emitted;
    };
    for (int i = 0; i < c; ++i) one("iskra", true);
    for (int i = 0; i < c / 2; ++i) one("iskra_small", false);
    return emitted;
}

} // namespace Contacts
