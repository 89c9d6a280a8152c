// The racer's weapons: selection among the car's three mounted weapons, aiming the weapon
// model, the trigger with its ammunition and rate of fire, and what each kind launches.

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdio>

#include "Framework/CommandRouter.h"
#include "Framework/PGlobalTimer.h"
#include "GameData/PGameData.h"
#include "Platform/Math/D3DXMath.h"
#include "Platform/System/Random.h"
#include "Scene/PParticleDesc.h"
#include "Scene/PParticlesManager.h"
#include "Sound/NAudio.h"
#include "Sound/NSound.h"
#include "World/PCar.h"
#include "World/PLevel.h"
#include "World/PPhysicData.h"
#include "World/PPlayer.h"
#include "World/PShotManager.h"
#include "World/PWeaponMath.h"

namespace {

constexpr float kPi = 3.14159265358979f;

float Uniform() { return static_cast<float>(Platform::EngineRand()) / 32767.0f; }

SPRacerObservers& ObserverStore() {
    static SPRacerObservers observers;
    return observers;
}

D3DXVECTOR3 Translation(const D3DXMATRIX& m) { return D3DXVECTOR3(m._41, m._42, m._43); }

D3DXVECTOR3 TransformPoint(const D3DXVECTOR3& p, const D3DXMATRIX& m) {
    D3DXVECTOR3 out;
    D3DXVec3TransformCoord(&out, &p, &m);
    return out;
}

D3DXVECTOR3 TransformDirection(const D3DXVECTOR3& p, const D3DXMATRIX& m) {
    D3DXVECTOR3 out;
    D3DXVec3TransformNormal(&out, &p, &m);
    return out;
}

// A mounted weapon name of the raced car; empty without game data or outside the slots.
std::string MountedWeapon(int slot) {
    CPGameData* data = GetGameData();
    if (!data || slot < 0 || slot > 2) return {};
    return data->realCar.weapons[static_cast<std::size_t>(slot)];
}

// The turn a rotation quaternion gives, applied the way an object's own rotation is.
void ApplyRotation(CPGameObject* object, const D3DXMATRIX& rotation) {
    D3DXQUATERNION q;
    D3DXQuaternionRotationMatrix(&q, &rotation);
    object->SetRotation(q);
}

} // namespace

namespace WeaponMath {

D3DXMATRIX TurnFromUp(const D3DXVECTOR3& axisSource, float angle) {
    D3DXMATRIX m;
    // The cross product of (0, 1, 0) and the direction.
    const D3DXVECTOR3 axis(axisSource.z, 0.0f, -axisSource.x);
    if (D3DXVec3LengthSq(&axis) > 1e-12f) {
        D3DXMatrixRotationAxis(&m, &axis, angle);
    } else if (axisSource.y < 0.0f) {
        // Straight down: any axis across y turns up onto it; x is ours.
        D3DXMatrixRotationX(&m, kPi);
    } else {
        D3DXMatrixIdentity(&m);
    }
    return m;
}

D3DXVECTOR3 ConeDirection(const D3DXMATRIX& axisTurn, float yaw, float roll) {
    D3DXMATRIX R;
    D3DXMatrixRotationYawPitchRoll(&R, yaw, 0.0f, roll);
    D3DXMATRIX RM;
    D3DXMatrixMultiply(&RM, &R, &axisTurn);
    return TransformDirection(D3DXVECTOR3(0.0f, 1.0f, 0.0f), RM);
}

float RocketElevation(float horizontalDistance) {
    const float k = std::min(1.0f, 9.8f * horizontalDistance / 289.0f);
    return kPi / 2.0f - std::asin(k) / 2.0f;
}

} // namespace WeaponMath

void CPPlayer::SetObservers(SPRacerObservers observers) { ObserverStore() = std::move(observers); }

const SPRacerObservers& CPPlayer::Observers() { return ObserverStore(); }

int CPPlayer::WeaponKind(const std::string& name) {
    struct Entry {
        const char* name;
        int kind;
    };
    static const Entry kTable[] = {
        {"lgun", 0},      {"mgun", 0},   {"mgun2x", 0},  {"lgun2x", 1},      {"hmgun", 2}, {"ssrlauncher", 3},
        {"rlauncher", 4}, {"plasma", 5}, {"shotgun", 6}, {"autoshotgun", 6}, {"gauss", 7}, {"firethrower", 8},
    };
    for (const Entry& e : kTable)
        if (name == e.name) return e.kind;
    return 9;
}

float CPPlayer::ShotCost() const {
    const float load = static_cast<float>(weaponInfo.value6) * ammoFactor;
    if (!(load > 0.0f)) return FLT_MAX;
    return static_cast<float>(weaponInfo.value1) / load;
}

namespace {

void PlaySelectionSound(const char* name) {
    if (const auto& sink = CPPlayer::Observers().sound) sink(name);
    CNAudio* audio = CNAudio::GetInstance();
    if (!audio) return;
    CPSmartPtr<CNSound> sound = audio->GetSound(name);
    if (!sound) return;
    sound->Stop();
    sound->Rewind();
    sound->Play(0, 0);
}

void LaunchShot(const SPShotRequest& shot, const float* carSpeed) {
    if (const auto& sink = CPPlayer::Observers().shot) sink(shot);
    if (CPShotManager* shots = CPShotManager::GetInstance())
        shots->Spawn(shot.name, shot.position, shot.direction, shot.speed, CPSmartPtr<CPGameObject>(shot.owner),
                     carSpeed);
}

void EmitParticle(const SPParticleDesc& desc) {
    if (const auto& sink = CPPlayer::Observers().particle) sink(desc);
    if (CPParticlesManager* particles = GetParticlesManager()) particles->EmitParticle(desc);
}

} // namespace

void CPPlayer::SelectPrevWeapon() { StepWeapon(-1); }

void CPPlayer::SelectNextWeapon() { StepWeapon(1); }

// To the next mounted weapon in the step's direction, wrapping over the three slots; no slot
// when none is mounted. The same slot again plays the "undo" sound.
void CPPlayer::StepWeapon(int step) {
    const int before = weaponSlot;
    bool any = false;
    for (int i = 0; i < 3; ++i) any = any || !MountedWeapon(i).empty();
    if (!any) {
        weaponSlot = -1;
    } else {
        int slot = weaponSlot;
        do {
            slot += step;
            if (slot < 0 || slot > 2) slot = step < 0 ? 2 : 0;
        } while (MountedWeapon(slot).empty());
        weaponSlot = slot;
    }
    PlaySelectionSound(weaponSlot == before ? "undo_weapon" : "change_weapon");
    SelectWeapon();
}

void CPPlayer::SelectWeapon() {
    if (dead) return;
    if (weaponModel) weaponModel->SetVisible(false);
    weaponModel = nullptr;
    const std::string name = MountedWeapon(weaponSlot);
    CPGameData* data = GetGameData();
    if (!name.empty() && data) {
        // Everything the weapon needs must be there: a missing piece leaves no weapon in use.
        auto record = data->weaponCatalog.byName.find(name);
        CPSmartPtr<CPGameObject> model = FindObject(name);
        CPSmartPtr<CPGameObject> flares[4];
        char flareName[128];
        static const char* const kSuffixes[4] = {"", "_01", "_02", "_03"};
        bool complete = record != data->weaponCatalog.byName.end() && model;
        for (int i = 0; i < 4 && complete; ++i) {
            std::snprintf(flareName, sizeof flareName, "flare_%s%s", name.c_str(), kSuffixes[i]);
            flares[i] = FindObject(flareName);
            complete = static_cast<bool>(flares[i]);
        }
        if (complete) {
            weaponName = name;
            weaponModel = model;
            weaponModel->SetVisible(true);
            weaponInfo = record->second;
            for (int i = 0; i < 4; ++i) {
                muzzleFlares[i] = flares[i];
                muzzleFlares[i]->SetVisible(false);
            }
            flareIndex = 3;
            flareShown = false;
            weaponKind = WeaponKind(name);
            // The flag follows the slot: a slot with rounds left fires again after a dry one.
            outOfAmmo = ammo[weaponSlot] < ShotCost();
        }
    }
    UpdateFiring(aimPoint, CPSmartPtr<CPGameObject>());
}

void CPPlayer::UpdateFiring(const D3DXVECTOR3& aim, const CPSmartPtr<CPGameObject>& target) {
    if (dead) return;
    aimPoint = aim;
    if (!weaponModel) return;
    const float dt = g_deltaTime;

    if (weaponKind == 8) {
        flameTick -= dt;
        // Bounded: a frame of any length burns a few hundred ticks at most.
        for (int ticks = 0; flameTick <= 0.0f; ++ticks) {
            if (ticks >= 500) {
                flameTick = 0.2f;
                break;
            }
            for (const CPSmartPtr<CPGameObject>& object : hitObjects) {
                if (!object) continue;
                const D3DXVECTOR3 p = object->GetPosition();
                object->NotifyDamage(p, p - GetPosition(), weaponInfo.value4, false, false);
                object->StartFlame();
            }
            flameTick += 0.2f;
        }
        hitObjects.clear();
    }

    if (weaponKind == 2 && firing) {
        barrelAngle += dt * 10.5f;
        if (CPSmartPtr<CPGameObject> barrel = weaponModel->GetChild("stvol")) {
            const D3DXVECTOR3 axis(0.0f, 1.0f, 0.0f);
            D3DXQUATERNION q;
            D3DXQuaternionRotationAxis(&q, &axis, barrelAngle);
            barrel->SetRotation(q);
        }
    }

    // Aim: the model turns about z toward the aim point; a rigid target also gives height.
    CPPhysicData* targetData = target ? dynamic_cast<CPPhysicData*>(target->GetPhysicData().Get()) : nullptr;
    const bool hasTarget = targetData && targetData->GetRigidBody();
    const D3DXMATRIX& world = GetWorldMatrix();
    const D3DXVECTOR3 gun = TransformPoint(weaponModel->GetPosition(), world);
    const D3DXVECTOR3 forward = TransformDirection(D3DXVECTOR3(0.0f, -1.0f, 0.0f), world);
    D3DXVECTOR3 d = aim - gun;
    if (hasTarget) d.z = target->GetVisibleBounds().centre.z - gun.z;
    const float L = std::sqrt(d.x * d.x + d.y * d.y);
    const float fl = std::sqrt(forward.x * forward.x + forward.y * forward.y);
    float yaw = 0.0f;
    if (L > 0.0f && fl > 0.0f) {
        const float hx = d.x / L, hy = d.y / L;
        const float fx = forward.x / fl, fy = forward.y / fl;
        const float c = std::clamp(hx * fx + hy * fy, -1.0f, 1.0f);
        const float s = hx * fy - hy * fx;
        yaw = s > 0.0f ? -std::acos(c) : std::acos(c);
    } else if (L <= 0.0f) {
        // Nothing to turn toward: the shots go the car's way.
        d.x = fl > 0.0f ? forward.x / fl : 0.0f;
        d.y = fl > 0.0f ? forward.y / fl : -1.0f;
    }
    D3DXMATRIX turn;
    D3DXMatrixRotationZ(&turn, yaw);
    const float elevation = WeaponMath::RocketElevation(L);
    if (weaponKind == 4) {
        D3DXMATRIX pitch;
        D3DXMatrixRotationX(&pitch, -elevation);
        D3DXMATRIX both;
        D3DXMatrixMultiply(&both, &pitch, &turn);
        turn = both;
    }
    ApplyRotation(weaponModel.Get(), turn);
    weaponModel->UpdateTransform();

    if (!hasTarget) d.z = 0.0f;
    D3DXVECTOR3 dn(0.0f, 0.0f, 0.0f);
    if (D3DXVec3LengthSq(&d) > 0.0f) D3DXVec3Normalize(&dn, &d);

    if (outOfAmmo || !firing || !(fireCooldown < 0.0f)) return;
    if (weaponSlot < 0 || weaponSlot > 2) return;
    const float cost = ShotCost();
    float& slotAmmo = ammo[weaponSlot];
    const float left = slotAmmo - cost;
    if (slotAmmo < cost) {
        outOfAmmo = true;
        RouteCommandByName("gamemenu", "update_game_interface", "");
        return;
    }

    if (muzzleFlares[flareIndex]) muzzleFlares[flareIndex]->SetVisible(false);
    flareIndex += 1;
    if (flareIndex > 3) flareIndex = 0;
    CPGameObject* flare = muzzleFlares[flareIndex].Get();
    const D3DXVECTOR3 muzzle = Translation(flare ? flare->GetWorldMatrix() : weaponModel->GetWorldMatrix());
    if (flare) flare->SetVisible(true);
    flareTime = 0.1f;
    flareShown = true;

    const float speed = weaponInfo.value4;
    const CPCar* car = GetCar();
    const float carSpeed = car ? car->GetSpeed() : 0.0f;
    auto shoot = [&](const char* name, const D3DXVECTOR3& position, const D3DXVECTOR3& direction, CPGameObject* owner) {
        LaunchShot(SPShotRequest{name, position, direction, speed, owner}, &carSpeed);
    };
    CPGameObject* model = weaponModel.Get();
    switch (weaponKind) {
    case 0:
    case 1:
        shoot("trasser11", muzzle, dn, model);
        EjectShellCasing(model);
        break;
    case 2: {
        const float a = std::acos(std::clamp(dn.y, -1.0f, 1.0f));
        const D3DXMATRIX M = WeaponMath::TurnFromUp(dn, a);
        const float y = 2.0f * kPi * Uniform();
        const float r = 0.1f * Uniform();
        shoot("trasser12", muzzle, WeaponMath::ConeDirection(M, y, r), model);
        EjectShellCasing(model);
        break;
    }
    case 3: shoot("srocket1", muzzle, dn, model); break;
    case 4:
        // The third component carries the elevation angle itself.
        shoot("rocket1", muzzle, D3DXVECTOR3(dn.x, dn.y, elevation), model);
        break;
    case 5: shoot("plazma", D3DXVECTOR3(0.0f, 0.0f, 0.0f), D3DXVECTOR3(0.0f, -1.0f, 0.0f), flare); break;
    case 6: {
        const D3DXVECTOR3 v(dn.x, dn.y, -0.2f);
        const D3DXMATRIX M = WeaponMath::TurnFromUp(v, std::acos(std::clamp(dn.y, -1.0f, 1.0f)));
        for (int i = 0; i < weaponInfo.value1; ++i) {
            const float y = 2.0f * kPi * Uniform();
            const float r = 0.4f * Uniform();
            shoot("trasser13", muzzle, WeaponMath::ConeDirection(M, y, r), model);
            EjectShellCasing(model);
        }
        break;
    }
    case 7: shoot("gauss1", muzzle, dn, model); break;
    case 8: {
        D3DXMATRIX spread;
        const float y = 0.2f * Uniform() - 0.1f;
        const float p = 0.2f * Uniform() - 0.1f;
        const float r = 0.2f * Uniform() - 0.1f;
        D3DXMatrixRotationYawPitchRoll(&spread, y, p, r);
        SPParticleDesc fire;
        fire.name = "firethrower";
        fire.position = muzzle;
        fire.velocity = TransformDirection(dn, spread) * 14.0f;
        fire.life = 0.8f + 0.3f * Uniform();
        fire.callback = &CPPlayer::TraceHit;
        fire.user = CPSmartPtr<IPMMObject>(this);
        EmitParticle(fire);
        break;
    }
    default: break;
    }

    if (weaponKind != 9) {
        const float rate = rateFactor * weaponInfo.value7;
        // The part of this frame that passed after the trigger came free counts toward the next
        // shot, so a held trigger keeps the weapon's rate between frame boundaries.
        const float carried = std::max(fireCooldown, -std::max(dt, 0.0f));
        fireCooldown = rate > 0.0f ? 1.0f / rate + carried : FLT_MAX;
        slotAmmo = left;
    }
    if (left < cost) outOfAmmo = true;
    RouteCommandByName("gamemenu", "update_game_interface", "");
}

void CPPlayer::EjectShellCasing(CPGameObject* model) {
    if (!model) return;
    const D3DXMATRIX& world = model->GetWorldMatrix();
    SPParticleDesc casing;
    casing.name = "gilze";
    casing.position = Translation(world);
    casing.velocity = TransformDirection(D3DXVECTOR3(-1.0f, 0.0f, 2.0f), world) * (4.0f + Uniform());
    casing.acceleration = D3DXVECTOR3(0.0f, 0.0f, -24.8f);
    casing.size = 0.2f;
    casing.life = 1.0f + Uniform();
    EmitParticle(casing);
}

int CPPlayer::TraceHit(IPMMObject* owner, SPParticle* particle) {
    auto* racer = dynamic_cast<CPPlayer*>(owner);
    CPLevel* level = CPLevel::GetInstance();
    if (!racer || !particle || !level) return 0;
    auto keep = [racer](const CPSmartPtr<CPGameObject>& object) {
        if (!object || object.Get() == racer) return false;
        for (const CPSmartPtr<CPGameObject>& held : racer->hitObjects)
            if (held == object) return true;
        racer->hitObjects.push_back(object);
        return true;
    };

    std::vector<CPSmartPtr<CPGameObject>> nearby;
    level->RayQuery(particle->position, particle->size, nearby);

    // The ray covers the way the particle came since it was last drawn (from its emission
    // point until then).
    const D3DXVECTOR3 span = particle->position - particle->previousPosition;
    const float length = D3DXVec3Length(&span);
    if (length > 0.0f) {
        SPRayPick pick;
        pick.excluded = racer;
        pick.origin = particle->previousPosition;
        pick.direction = span / length;
        pick.distance = length;
        if (level->RayTest(pick)) {
            keep(pick.hitOwner ? pick.hitOwner : pick.hitObject);
            particle->age = 1000.0f;
        }
    }
    bool any = false;
    for (const CPSmartPtr<CPGameObject>& object : nearby) any = keep(object) || any;
    if (any) particle->age = 1000.0f;
    return 0;
}
