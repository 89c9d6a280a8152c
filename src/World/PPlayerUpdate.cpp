// A racer's frame: the car's frame work, super nitro, the upside-down clock, the respawn check,
// the timers, engine heat, the controls to the car and the human's hints; its drawing and its
// preparation for a race.

#include <algorithm>
#include <cmath>

#include "Framework/CommandRouter.h"
#include "Framework/PGlobalTimer.h"
#include "GameData/PGameData.h"
#include "Platform/Math/D3DXMath.h"
#include "Render/PEffectManager.h"
#include "Render/PPerspectiveCamera.h"
#include "Render/PRender.h"
#include "Render/PRenderBlock.h"
#include "Render/PRenderObject.h"
#include "Render/PVertexEffect.h"
#include "Scene/PAnimationLibrary.h"
#include "Script/PLuaScript.h"
#include "Sound/NAudio.h"
#include "Sound/NSound.h"
#include "World/PCar.h"
#include "World/PLevel.h"
#include "World/PPhysicData.h"
#include "World/PPhysics.h"
#include "World/PPlayer.h"

namespace {

void Show(CPGameObject* object, bool visible) {
    if (object) object->SetVisible(visible);
}

void StopEffect(CPVertexEffect* effect) {
    if (effect && effect->IsPlaying()) effect->Stop();
}

void StartEffect(CPVertexEffect* effect) {
    if (effect && !effect->IsPlaying()) effect->Start();
}

// The front fire and glare off, the front-effect flag cleared.
void EndFrontFire(CPCar* car) {
    if (car->GetFrontObject(0)) StopEffect(car->GetFrontEmitter());
    Show(car->GetFrontObject(1), false);
    car->SetFrontEffect(false);
}

// The car leaves super nitro: the normal exhaust pair again, front fire off.
void LeaveSuperNitro(CPCar* car) {
    if (car->GetFlameEmitter(2) && car->GetCurrentEmitter(0) == car->GetFlameEmitter(2)) car->ReportNitro();
    car->UseFlamePair(0);
    Show(car->GetFlameObject(0), true);
    Show(car->GetFlameObject(1), true);
    Show(car->GetFlameObject(2), false);
    Show(car->GetFlameObject(3), false);
    if (car->GetFlameEmitter(2) && car->GetFlameEmitter(2)->IsPlaying()) {
        StopEffect(car->GetFlameEmitter(2));
        StopEffect(car->GetFlameEmitter(3));
        StartEffect(car->GetFlameEmitter(0));
        StartEffect(car->GetFlameEmitter(1));
    }
    EndFrontFire(car);
}

} // namespace

void CPPlayer::Update(float dt) {
    CPCar* car = GetCar();
    if (car) car->FrameUpdate(dt);

    if (superNitroTime > 0.0f) {
        superNitroTime -= dt;
        if (superNitroTime <= 0.0f && car) LeaveSuperNitro(car);
    }

    if (car && car->GetNitroReserve() > 0.0f && superNitroTime > 0.0f) {
        const float threshold = isHuman ? car->Description().superNitroSpeedFactor * 13.7f : 10.0f;
        const D3DXVECTOR4& v = car->GetVelocity();
        const float speed = std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
        if (speed > threshold) {
            superNitroCharge += dt;
            if (superNitroCharge >= 1.0f && !car->GetFrontEffect()) {
                if (car->GetFrontObject(0)) StartEffect(car->GetFrontEmitter());
                Show(car->GetFrontObject(1), true);
                car->SetFrontEffect(true);
            }
        } else {
            superNitroCharge = 0.0f;
            if (car->GetFrontEffect()) EndFrontFire(car);
        }
    } else if (g_timeScale != 0.0f) {
        superNitroCharge = 0.0f;
    }

    {
        D3DXMATRIX turn;
        D3DXMatrixRotationQuaternion(&turn, &GetRotationQuaternion());
        D3DXVECTOR3 up;
        const D3DXVECTOR3 down(0.0f, 0.0f, -1.0f);
        D3DXVec3TransformNormal(&up, &down, &turn);
        if (D3DXVec3LengthSq(&up) > 0.0f) D3DXVec3Normalize(&up, &up);
        const float u = -up.z;
        if (std::fabs(u) >= 0.0001f && std::acos(std::clamp(u, -1.0f, 1.0f)) > 2.0943952f)
            upsideDownTime += dt;
        else
            upsideDownTime = 0.0f;
    }

    if (dead) return;
    if (!locked) unlockedTime += dt;
    Respawn(false);
    if (bonusTimer > 0.0f) bonusTimer -= dt;
    if (respawnCooldown > 0.0f) respawnCooldown -= dt;
    // The trigger waits out the weapon's interval.
    if (fireCooldown >= 0.0f) fireCooldown -= dt;

    const float before = engineTemperature;
    if (std::fabs(throttle) > 0.0f)
        engineTemperature = std::min(1.0f, engineTemperature + dt * engineHeatRate);
    else
        engineTemperature = std::max(0.0f, engineTemperature - dt * engineCoolRate);
    if (before < 0.8f && engineTemperature >= 0.8f) RouteCommandByName("gamemenu", "engine_temp", "1");
    if (before >= 0.8f && engineTemperature < 0.8f) RouteCommandByName("gamemenu", "engine_temp", "0");

    if (CPPhysics* physics = CPPhysics::GetInstance())
        physics->SetCarControls(CPSmartPtr<CPGameObject>(this), throttle, steering);

    MissedCheckpointHint();

    slamTimer += dt;
    touched = false;
    if (isHuman && slamTimer > 0.5f) {
        if (CNAudio* audio = CNAudio::GetInstance()) {
            if (CPSmartPtr<CNSound> slam = audio->GetSound("slam")) {
                slam->Stop();
                slam->Rewind();
            }
        }
        slamTimer = 0.0f;
    }
}

bool CPPlayer::Render(CPPerspectiveCamera* viewCamera, CPRenderBlock* block) {
    bool inView = false;
    const CPBoundingBox& box = GetVisibleBounds();
    if (viewCamera && viewCamera->IsInFrustum(box.minimum, box.maximum)) {
        inView = true;
        if (block) block->AddObjectTree(this);
        const D3DXVECTOR3 eye = viewCamera->eye - GetPosition();
        if (shadow && D3DXVec3LengthSq(&eye) < 10000.0f) {
            auto* data = dynamic_cast<CPPhysicData*>(GetPhysicData().Get());
            CPRender* render = GetRender();
            if (data && render) {
                if (!shadowTriangles) shadowTriangles = CPSmartPtr<SPTriangleSet>(new SPTriangleSet);
                const int count = std::clamp(data->GetCandidateCount(), 0, SPTriangleSet::kMaxTriangles);
                shadowTriangles->count = count;
                std::copy(data->Candidates(), data->Candidates() + count, shadowTriangles->triangles);
                render->ProjectDecal(shadow.Get(), GetWorldMatrix(), shadowTriangles);
            }
            if (block) block->AddObjectTree(shadow.Get());
        }
    }
    if (isHuman) AdvanceFade(g_deltaTime);
    return inView;
}

bool CPPlayer::PrepareForRace() {
    raceFlag = false;
    usedRespawn = false;
    splineSegment = 0;
    dead = false;
    deathReported = false;
    respawnCount = 3;
    upsideDownTime = 0.0f;

    CPAnimationLibrary* library = CPAnimationLibrary::Instance();
    shadow = library ? library->LoadRenderDescription("shadow.rdf", 60) : CPSmartPtr<CPGameObject>();
    if (!shadow) return true;
    CPRenderObject* mesh = shadow->GetRenderObject();
    CPCar* car = GetCar();
    if (mesh && car) {
        if (CPEffectManager* effects = GetEffectManager()) {
            CPSmartPtr<CPMaterial> material;
            effects->GetMaterial(material, 60, "shadow.fx", {car->Description().shadowName});
            if (material) mesh->SetEffect(material);
        }
    }
    shadow->SetPhysicData(CPSmartPtr<IPPhysicData>());
    shadow->SetVisible(true);
    shadow->SetScript(CPSmartPtr<CPLuaScript>());
    shadow->SetStaticRecursive(true);
    for (const SPLevelOfDetail& lod : shadow->GetLevelsOfDetail())
        if (lod.object) lod.object->SetStaticRecursive(true);
    if (mesh) mesh->SetFillSkipped(false);
    return true;
}

void CPPlayer::MissedCheckpointHint() {
    CPLevel* level = CPLevel::GetInstance();
    if (!level || level->humanRacer.Get() != this || level->raceOver) return;
    const CPGameData* data = GetGameData();
    if (!data || data->helperFlags[5]) return;
    const int n = static_cast<int>(level->checkpoints.size());
    if (n <= 0) return;
    int i = level->nextCheckpoint;
    if (i < 0 || i >= n) i = 0;
    auto at = [&](int k) {
        const CPSmartPtr<CPGameObject>& object = level->checkpoints[static_cast<std::size_t>(k)].object;
        return object ? object->GetPosition() : D3DXVECTOR3(0.0f, 0.0f, 0.0f);
    };
    const D3DXVECTOR3 A = at(i - 1 < 0 ? n - 1 : i - 1);
    const D3DXVECTOR3 B = at(i);
    const D3DXVECTOR3 E = at(i + 1 > n - 1 ? 0 : i + 1);
    const D3DXVECTOR3 PA = GetPosition() - A;
    const D3DXVECTOR3 BA = B - A;
    const D3DXVECTOR3 EB = E - B;
    if (D3DXVec3LengthSq(&PA) > D3DXVec3LengthSq(&BA) + 0.5f * D3DXVec3LengthSq(&EB))
        RouteCommandByName("helper", "helper_in", "6");
}
