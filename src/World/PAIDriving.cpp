// The computer drivers' driving: each driver follows the level's race line piece by piece in
// one of two flavours, backs out when stuck, asks for nitro and hands its inputs to its racer
// through the racer's own setters.

#include <algorithm>
#include <cmath>

#include "Framework/PGlobalTimer.h"
#include "Platform/Math/D3DXMath.h"
#include "World/PAITask.h"
#include "World/PLevel.h"
#include "World/PPlayer.h"
#include "World/PSpline.h"

namespace {

// The horizontal unit direction from a to b; zero when they share x and y.
D3DXVECTOR3 FlatDirection(const D3DXVECTOR3& from, const D3DXVECTOR3& to) {
    const float dx = to.x - from.x;
    const float dy = to.y - from.y;
    const float length = std::sqrt(dx * dx + dy * dy);
    if (!(length > 0.0f)) return D3DXVECTOR3(0.0f, 0.0f, 0.0f);
    return D3DXVECTOR3(dx / length, dy / length, 0.0f);
}

// The signed angle of a flat direction against the driver's flat forward direction.
float SignedAngle(const D3DXVECTOR3& d, const D3DXVECTOR3& f) {
    const float a = std::acos(std::clamp(d.x * f.x + d.y * f.y, -1.0f, 1.0f));
    return d.x * f.y - d.y * f.x < 0.0f ? -a : a;
}

// The piece a driver moves on to: the previous one, or the next on a reversed level.
CPLine* Following(const CPLine* piece, const CPLevel& level) {
    if (!piece) return nullptr;
    return level.reversed ? piece->next : piece->previous;
}

} // namespace

void AI_Vehicle::SetState(const CPSmartPtr<CPGameObject>& object, const D3DXVECTOR3& heading, float signedSpeed,
                          const CPSmartPtr<CPPlayer>& newRacer, int cameraMinimum, int cameraMaximum) {
    if (object) position = object->GetPosition();
    const float length = std::sqrt(heading.x * heading.x + heading.y * heading.y);
    forward = length > 0.0f ? D3DXVECTOR3(heading.x / length, heading.y / length, 0.0f) : D3DXVECTOR3(0, 0, 0);
    speed = std::fabs(signedSpeed);
    racer = newRacer;
    cameraMin = cameraMinimum;
    cameraMax = cameraMaximum;
    // The stuck test compares with the last position: it starts where the driver first stood.
    if (!hasPosition) {
        lastPosition = position;
        hasPosition = true;
    }
}

void AI_Vehicle::Update(float dt) {
    CPLevel* level = CPLevel::GetInstance();
    if (!racer || !level || !level->centrePath || level->centrePath->IsEmpty()) return;
    CPSpline& path = *level->centrePath;
    currentPiece = path.FindNearbyLine(position);
    if (racer.Get() == level->player) {
        Drive(dt);
        return;
    }
    const int n = path.GetLineCount();
    const int h = n / 2;
    int d = currentPiece->index - (level->playerStartLine ? level->playerStartLine->index : 0);
    if (d > h)
        d -= n;
    else if (d < -h)
        d += n;
    if (d < 0)
        Drive(dt);
    else if (d > 0)
        Steer(dt);
}

namespace {

// The stuck test shared by both flavours; the reversing rules follow in each.
void StuckTest(AI_Vehicle& v, float dt) {
    v.stuckTimer += dt;
    if (!(v.stuckTimer > 1.5f) || v.reversing) return;
    const D3DXVECTOR3 moved = v.lastPosition - v.position;
    if (D3DXVec3LengthSq(&moved) < 1.0f) {
        v.reversing = true;
        v.reverseTimer = 0.0f;
    }
    v.lastPosition = v.position;
    v.stuckTimer = 0.0f;
}

void HandOver(AI_Vehicle& v) {
    CPLevel* level = CPLevel::GetInstance();
    if (v.racer->knockedOut) {
        v.nitroRequest = false;
        v.nitroTimer = 0.0f;
        v.throttle = 0.0f;
        v.steering = 0.0f;
    }
    // The player's car, driven after the finish, never burns nitro.
    if (level && v.racer.Get() == level->player) v.nitroRequest = false;
    v.racer->SetNitro(v.nitroRequest ? 1.0f : 0.0f);
    v.racer->SetBrake(false);
    v.racer->SetCarParams(v.throttle, v.steering);
}

} // namespace

void AI_Vehicle::Steer(float dt) {
    CPLevel* level = CPLevel::GetInstance();
    if (!racer || racer->locked || !level || !currentPiece) return;
    CPLine* P = currentPiece;
    CPLine* next = Following(P, *level);
    if (!next) return;
    currentPiece = next;
    const D3DXVECTOR3 A = FlatDirection(P->centre, currentPiece->centre);
    const D3DXVECTOR3 B = FlatDirection(position, P->centre);
    const D3DXVECTOR3 toCentre = P->centre - position;
    const float r = D3DXVec3Length(&toCentre);
    const float a1 = SignedAngle(A, forward);
    headingError = std::fabs(a1);
    const float a2 = SignedAngle(B, forward);
    throttle = 1.0f;
    const float angle = r >= 8.0f ? a1 + a2 : a1;
    steering = angle > 0.1f ? 0.6f : (angle < -0.1f ? -0.6f : 0.0f);

    StuckTest(*this, dt);
    if (reversing) {
        reverseTimer += dt;
        throttle = -1.0f;
        steering = -steering;
        if (reverseTimer > 2.0f) reversing = false;
    }
    if (racer->respawnCooldown > 0.0f) {
        reversing = false;
        stuckTimer = 0.0f;
    }
    if (!nitroRequest) {
        nitroRequest = true;
        nitroTimer = 0.0f;
    } else {
        nitroTimer += dt;
        if (nitroTimer >= 1.0f) nitroTimer = 0.0f;
    }
    HandOver(*this);
}

void AI_Vehicle::Drive(float dt) {
    CPLevel* level = CPLevel::GetInstance();
    if (!racer || racer->locked || !level || !currentPiece) return;
    bool straight = true;
    CPLine* next = Following(currentPiece, *level);
    if (!next) return;
    currentPiece = next;
    float angle = SignedAngle(FlatDirection(position, currentPiece->centre), forward);
    headingError = std::fabs(angle);
    throttle = 1.0f;

    if (speed > 10.0f) {
        // The 8th to the 11th pieces ahead: a sharp turn there makes this no straight.
        CPLine* Q = Following(currentPiece, *level);
        for (int i = 0; i < 10 && Q; ++i) {
            Q = Following(Q, *level);
            if (!Q) break;
            if (i > 5 && std::fabs(SignedAngle(FlatDirection(position, Q->centre), forward) - angle) > 0.7f) {
                straight = false;
                break;
            }
        }
    }

    const float side = level->reversed ? -1.0f : 1.0f;
    auto avoid = [&](CPGameObject* other) {
        if (!other) return;
        SPRayPick pick;
        pick.origin = position;
        pick.direction = forward;
        pick.distance = 20.0f;
        if (other->RayPick(pick)) angle += side * speed * dt * 1.05f;
    };
    if (AI_Task* task = AI_Task::GetInstance()) {
        for (const CPSmartPtr<AI_Vehicle>& driver : task->racerDrivers)
            if (driver && driver.Get() != this && driver->racer) avoid(driver->racer.Get());
    }
    avoid(level->player);

    const float a = std::fabs(angle);
    if (a >= 0.5f && speed > 5.0f) {
        straight = false;
        throttle = 0.0f;
    }
    if (a > 0.02f) throttle = throttle / (1.0f + 2.5f * a);
    const float c = std::clamp(angle, -0.6f, 0.6f);
    steering = std::fabs(c) * c * 1.6666666f;
    StuckTest(*this, dt);

    if (reversing) {
        reverseTimer += dt;
        if (throttle > 0.0f) throttle = -throttle;
        steering = -steering;
        if (reverseTimer > 2.0f) reversing = false;
    }
    if (racer->respawnCooldown > 0.0f) {
        reversing = false;
        stuckTimer = 0.0f;
    }
    if (nitroRequest) {
        nitroTimer += dt;
        if (nitroTimer >= 1.0f) {
            nitroRequest = straight;
            nitroTimer = 0.0f;
        }
    } else {
        nitroRequest = straight;
        if (nitroRequest) nitroTimer = 0.0f;
    }
    HandOver(*this);
}

void AI_Task::Update() {
    CPLevel* level = CPLevel::GetInstance();
    const int drivers = level && level->raceOver ? 12 : 11;
    int slot = 0;
    for (const CPSmartPtr<AI_Vehicle>& driver : racerDrivers) {
        if (slot++ >= drivers) break;
        if (driver) driver->Update(g_deltaTime);
    }
}

void AI_Task::DriveVehicle(int slot, const CPSmartPtr<CPGameObject>& object, const D3DXVECTOR3& forward,
                           float signedSpeed, const CPSmartPtr<CPPlayer>& racer, int cameraMinimum, int cameraMaximum) {
    if (AI_Vehicle* vehicle = GetVehicle(slot))
        vehicle->SetState(object, forward, signedSpeed, racer, cameraMinimum, cameraMaximum);
}
