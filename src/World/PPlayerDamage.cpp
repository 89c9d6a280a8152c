// A racer's health, death and the screen fade of the human's respawn.

#include <algorithm>

#include "Framework/CommandRouter.h"
#include "GameData/PGameData.h"
#include "Platform/Math/D3DXMath.h"
#include "Render/PRender.h"
#include "World/PCar.h"
#include "World/PLevel.h"
#include "World/PPhysicData.h"
#include "World/PPhysics.h"
#include "World/PPlayer.h"
#include "World/PRaceCamera.h"
#include "World/PSpline.h"

bool CPPlayer::Damage(float amount) {
    const CPGameData* data = GetGameData();
    const float a = amount * (data ? data->coefficients[1] : 1.0f);
    if (health > 20.0f && health - a <= 20.0f) RouteCommandByName("main", "say_critical", "");
    health -= a;
    if (health >= 0.0f) {
        RouteCommandByName("gamemenu", "update_game_interface", "");
        return true;
    }
    health = 0.0f;
    RouteCommandByName("gamemenu", "update_game_interface", "");
    if (!deathReported) {
        RouteCommandByCategory("main", "player_dead", "");
        deathReported = true;
    }
    return false;
}

void CPPlayer::Kill() {
    // Out of the race: no takedown of a wreck that is gone.
    raceFlag = false;
    SetVisible(false);
    SetCollision(false);
    if (CPPhysicData* data = dynamic_cast<CPPhysicData*>(GetPhysicData().Get())) data->RemoveFromWorld();
    if (CPPhysics* physics = CPPhysics::GetInstance()) physics->DeactivateObject(CPSmartPtr<CPGameObject>(this));
}

void CPPlayer::AdvanceFade(float dt) {
    CPRender* render = GetRender();
    if (fadeIn) {
        fadeTimer += dt;
        float fade = fadeTimer * 2.5f;
        if (fadeTimer >= 0.4f) {
            fadeIn = false;
            fadeOut = false;
            fade = 1.0f;
        }
        if (render) render->SetFade(fade);
    }
    if (fadeOut) {
        fadeTimer += dt;
        float fade = (0.1f - fadeTimer) * 10.0f;
        if (fadeTimer >= 0.1f) {
            fadeOut = false;
            fadeIn = true;
            fade = 0.0f;
            fadeTimer = 0.0f;
        }
        if (render) render->SetFade(fade);
    }
}

namespace {

const D3DXVECTOR3& CheckpointPosition(const CPLevel& level, int i) {
    const SPCheckpoint& checkpoint = level.checkpoints[static_cast<std::size_t>(i)];
    static const D3DXVECTOR3 kOrigin(0.0f, 0.0f, 0.0f);
    return checkpoint.object ? checkpoint.object->GetPosition() : kOrigin;
}

float DistanceSq(const D3DXVECTOR3& a, const D3DXVECTOR3& b) {
    const D3DXVECTOR3 d = a - b;
    return D3DXVec3LengthSq(&d);
}

// The previous and the next checkpoint around the level's next one, wrapping; false without
// checkpoints.
bool CheckpointPair(const CPLevel& level, D3DXVECTOR3& previous, D3DXVECTOR3& next) {
    const int n = static_cast<int>(level.checkpoints.size());
    if (n <= 0) return false;
    int i = level.nextCheckpoint;
    if (i < 0 || i >= n) i = 0;
    previous = CheckpointPosition(level, i - 1 < 0 ? n - 1 : i - 1);
    next = CheckpointPosition(level, i);
    return true;
}

} // namespace

void CPPlayer::Respawn(bool force) {
    if (health <= 0.0f) return;
    CPLevel* level = CPLevel::GetInstance();
    CPCar* car = GetCar();
    auto* data = dynamic_cast<CPPhysicData*>(GetPhysicData().Get());
    const D3DXVECTOR3 position = GetPosition();

    // Each racer is tested against the ground its own body last stood over.
    const float ground = data ? data->GetGroundHeight() : 0.0f;
    D3DXVECTOR4 v(0.0f, 0.0f, 0.0f, 0.0f);
    if (car) v = car->GetVelocity();
    const bool falling = position.z + 10.0f < ground && v.z * v.z > 1.5f * (v.x * v.x + v.y * v.y) && v.z < -8.0f;

    if (car && car->IsCrashed() && car->GetCrashTimer() >= 5.0f) {
        car->SetCrashed(false);
        knockedOut = false;
    }

    const bool human = level && level->humanRacer.Get() == this;
    bool stuck = false;
    if (unlockedTime > 2.0f) {
        if (DistanceSq(lastPosition, position) < 1.0f && !human && level && level->elapsedTime > 0.2f) stuck = true;
        lastPosition = position;
        unlockedTime = 0.0f;
    }

    if (locked || respawnCooldown > 0.0f) return;
    const bool onTerrain = data && data->GetCandidateCount() > 0;
    if (onTerrain && !force && !falling && !stuck && upsideDownTime < 2.0f) return;
    if (!level || !level->centrePath || level->centrePath->IsEmpty()) return;

    if (human) {
        usedRespawn = true;
        if (CPGameData* game = GetGameData()) {
            if (!game->respawnUsed) RouteCommandByName("new_achievement", "unlock", "win_wo_respawn");
            game->respawnUsed = true;
        }
    }
    upsideDownTime = 0.0f;
    level->elapsedTime = 0.0f;
    respawnCooldown = 1.0f;
    D3DXVECTOR3 P = position;

    bool checkpointRespawn = false;
    if (human) {
        fadeTimer = 0.0f;
        fadeOut = true;
        fadeIn = false;
        D3DXVECTOR3 A, B;
        if (respawnCount >= 1 && !falling && !stuck && onTerrain && CheckpointPair(*level, A, B)) {
            if (DistanceSq(P, A) > DistanceSq(B, A) && DistanceSq(P, B) > 25.0f) {
                P = B;
                checkpointRespawn = true;
                respawnCount -= 1;
                RouteCommandByName("game_interface", "show_message", "respawnminus");
            }
        }
    }

    CPSpline& path = *level->centrePath;
    CPLine* nearby = path.FindNearbyLine(P);
    float radius = 200.0f;
    CPLine* hint = nearby;
    const int direction = human ? 0 : (level->reversed ? 1 : -1);
    path.FindClosestLine(P, radius, direction, hint, -1);
    CPLine* L = hint ? hint : nearby;
    if (!L) return;

    RbRigidBody* body = data ? data->GetRigidBody() : nullptr;
    if (!checkpointRespawn && body) {
        const RbVector zero = RbVec(0.0f, 0.0f, 0.0f);
        body->SetForceAtPoint(zero, zero);
        body->SetTorque(zero);
        body->SetAngularMomentum(zero);
        body->SetVelocity(zero);
    }

    // The first of up to nine points (end, centre, start of three pieces on) that no other racer
    // stands near; all taken, the last one tried.
    auto taken = [&](const D3DXVECTOR3& c) {
        auto near = [&](const CPGameObject* other) {
            if (!other || other == this) return false;
            const float dx = other->GetPosition().x - c.x;
            const float dy = other->GetPosition().y - c.y;
            return dx * dx + dy * dy < 100.0f;
        };
        for (const CPSmartPtr<CPPlayer>& opponent : level->opponents)
            if (near(opponent.Get())) return true;
        return !human && near(level->humanRacer.Get());
    };
    D3DXVECTOR3 spot = L->end;
    CPLine* source = L;
    bool found = false;
    CPLine* piece = L;
    for (int step = 0; step < 3 && piece && !found; ++step) {
        const D3DXVECTOR3 centre = (piece->boxMin + piece->boxMax) * 0.5f;
        for (const D3DXVECTOR3& candidate : {piece->end, centre, piece->start}) {
            spot = candidate;
            source = piece;
            if (!taken(candidate)) {
                found = true;
                break;
            }
        }
        piece = piece->next;
    }
    const float top = std::max({source->start.z, source->centre.z, source->end.z});
    const D3DXVECTOR3 place(spot.x, spot.y, top + 3.0f);
    SetPosition(place);
    if (data) data->SetPosition(place);

    float around = 200.0f;
    CPLine* headingHint = nullptr;
    float h = path.FindClosestLine(place, around, 0, headingHint, -1);
    if (level->reversed) h += 3.14159265f;
    D3DXQUATERNION q;
    const D3DXVECTOR3 z(0.0f, 0.0f, 1.0f);
    D3DXQuaternionRotationAxis(&q, &z, h + 1.5707964f);
    SetRotation(q);
    if (body) body->SetRotation(RbQuaternion{q.x, q.y, q.z, q.w});
    if (human && level->camera) level->camera->yaw = h;
    UpdateTransform();
}
