#include "World/PPlayer.h"

#include "Sound/NSound.h"
#include "World/PCar.h"
#include "World/PPhysicData.h"

CPPlayer::CPPlayer() : CPGameObject("PLAYER") { hitObjects.reserve(100); }

CPPlayer::~CPPlayer() = default;

CPCar* CPPlayer::GetCar() const { return dynamic_cast<CPCar*>(CPGameObject::GetCar().Get()); }

void CPPlayer::SetCarParams(float newThrottle, float newSteering) {
    if (locked) return;
    steering = newSteering;
    throttle = throttleBlocked ? 0.0f : newThrottle;
}

void CPPlayer::SetBrake(bool on) {
    if (locked) return;
    if (CPCar* car = GetCar()) car->SetBrake(on);
}

void CPPlayer::SetLocked(bool lock) {
    locked = lock;
    CPCar* car = GetCar();
    if (!car) return;
    if (lock) {
        car->SetControls(0.0f, steering);
        car->SetHold(true);
    } else {
        car->SetHold(false);
        if (RbRigidBody* body = car->GetRigidBody()) body->SetActive(true, nullptr);
    }
}

void CPPlayer::SetThrottleBlocked(bool blocked) {
    throttleBlocked = blocked;
    if (blocked && !locked) throttle = 0.0f;
}

void CPPlayer::BlockThrottle(float, float) {
    throttleBlocked = true;
    if (!locked) throttle = 0.0f;
}

void CPPlayer::SetNitro(float amount) {
    CPCar* car = GetCar();
    if (locked) {
        nitroOn = false;
        if (car) car->SetNitro(0.0f);
        return;
    }
    nitroOn = amount > 0.0f;
    if (car) car->SetNitro(amount);
}

void CPPlayer::SetCarSoundVolume(float volume) {
    CPCar* car = GetCar();
    if (!car) return;
    CPCar::SPSounds& s = car->Sounds();
    for (CNSound* sound : {s.engine.Get(), s.accelerate.Get(), s.dirt.Get(), s.brake.Get(), s.nitro.Get(),
                           s.hit[0].Get(), s.hit[1].Get(), s.hit[2].Get(), s.hit[3].Get(), s.hit[4].Get()})
        if (sound) sound->SetVolume(volume);
}

void CPPlayer::ApplyImpulseAt(const D3DXVECTOR3& point, const D3DXVECTOR3& impulse) {
    CPPhysicData* data = dynamic_cast<CPPhysicData*>(GetPhysicData().Get());
    RbRigidBody* body = data ? data->GetRigidBody() : nullptr;
    if (!body) return;
    body->ApplyImpulseAtPoint(RbVec(impulse.x, impulse.y, impulse.z), RbVec(point.x, point.y, point.z));
}

void CPPlayer::GetVelocity(float out[4]) const {
    out[0] = out[1] = out[2] = out[3] = 0.0f;
    if (CPCar* car = GetCar()) {
        const D3DXVECTOR4& v = car->GetVelocity();
        out[0] = v.x;
        out[1] = v.y;
        out[2] = v.z;
        out[3] = v.w;
    }
}
