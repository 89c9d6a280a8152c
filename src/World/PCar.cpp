#include "World/PCar.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "Framework/CommandRouter.h"
#include "Framework/PGlobalTimer.h"
#include "Framework/PSettings.h"
#include "GameData/PGameData.h"
#include "Platform/Math/D3DXMath.h"
#include "Platform/Math/Geometry.h"
#include "Platform/System/Random.h"
#include "Render/PRender.h"
#include "Render/PRenderObject.h"
#include "Render/PVertexEffect.h"
#include "Scene/PGameObject.h"
#include "Scene/PParticleDesc.h"
#include "Scene/PParticlesManager.h"
#include "Sound/NAudio.h"
#include "Sound/NSound.h"
#include "World/PLevel.h"
#include "World/PPhysicData.h"
#include "World/PPlayer.h"

namespace {

std::function<void(const SPDustPuff&)>& DustSink() {
    static std::function<void(const SPDustPuff&)> sink;
    return sink;
}

RbVector ToRb(const D3DXVECTOR3& v) { return RbVec(v.x, v.y, v.z); }
D3DXVECTOR3 ToDx(const RbVector& v) { return D3DXVECTOR3(v.x, v.y, v.z); }

// Normalised, or zero when shorter than the limit.
RbVector NormalizedOrZero(const RbVector& v) {
    const float lengthSq = RbDot(v, v);
    if (lengthSq < 1e-6f) return RbVec(0.0f, 0.0f, 0.0f);
    return v * (1.0f / std::sqrt(lengthSq));
}

D3DXMATRIX ToDxMatrix(const RbMatrix& m) {
    D3DXMATRIX out;
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) out.m[r][c] = m.m[r][c];
    return out;
}

// Transposed rotation; translation -(position) times the transposed rotation.
D3DXMATRIX RigidInverse(const RbMatrix& m) {
    D3DXMATRIX out;
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) out.m[r][c] = m.m[c][r];
    out.m[0][3] = out.m[1][3] = out.m[2][3] = 0.0f;
    for (int c = 0; c < 3; ++c)
        out.m[3][c] = -(m.m[3][0] * out.m[0][c] + m.m[3][1] * out.m[1][c] + m.m[3][2] * out.m[2][c]);
    out.m[3][3] = 1.0f;
    return out;
}

CPVertexEffect* FirstEffect(CPGameObject* object) {
    if (!object) return nullptr;
    CPRenderObject* mesh = object->GetRenderObject();
    if (!mesh || mesh->GetVertexEffects().empty()) return nullptr;
    return mesh->GetVertexEffects().front();
}

// Shortened to at most the length, then its z held to at most zMax.
D3DXVECTOR3 Limit(D3DXVECTOR3 v, float maxLength, float zMax) {
    const float length = std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
    if (length > maxLength && length > 0.0f) v *= maxLength / length;
    v.z = std::min(v.z, zMax);
    return v;
}

void PlayIfIdle(const CPSmartPtr<CNSound>& sound, bool loop) {
    if (sound && !sound->IsPlaying()) sound->Play(0, loop ? 1 : 0);
}

} // namespace

void CPCar::SetDustSink(std::function<void(const SPDustPuff&)> sink) { DustSink() = std::move(sink); }

CPCar::CPCar(CPGameObject* owner) : m_owner(owner) {}

CPCar::~CPCar() {
    // Each emitter holds its fire object; the object holds the mesh that owns the emitter.
    for (CPVertexEffect* effect : m_flameEmitters)
        if (effect) effect->ReleaseHeld();
    if (m_frontEmitter) m_frontEmitter->ReleaseHeld();
    for (CPSmartPtr<CNSound>* sound :
         {&m_sounds.slam, &m_sounds.engine, &m_sounds.dirt, &m_sounds.accelerate, &m_sounds.brake, &m_sounds.nitro,
          &m_sounds.hit[0], &m_sounds.hit[1], &m_sounds.hit[2], &m_sounds.hit[3], &m_sounds.hit[4]}) {
        if (*sound) (*sound)->Stop();
        *sound = nullptr;
    }
}

float CPCar::Random01() const { return static_cast<float>(Platform::EngineRand()) / 32767.0f; }

void CPCar::Init(RbSimulator*, bool humanCar) {
    m_smoothedSteer = 0.0f;
    m_desc.superNitroSpeedFactor = 1.0f;
    m_nitroTimer = -1.0f;
    m_boostEngaged = false;
    m_hold = false;
    m_humanDistance = 0.0f;
    m_gearBox = std::make_unique<GearBox>();
    m_gearBox->Reset();
    m_lockParkTimer = 0.0f;
    m_humanCar = humanCar;

    if (!ReadDescription(humanCar)) m_gearBox->InstallDefaults();
    if (m_humanCar) m_gearBox->SetPlayerBox(true);
    m_gearBox->SetCar(this);

    m_frontEffect = false;
    m_crashed = false;
    m_crashTimer = 0.0f;
    m_previousSpeed = 0.0f;
    m_level = CPLevel::GetInstance();
    if (!m_owner) return;

    // The count stops at the first wheel without its child: every wheel needs a node.
    for (int i = 0; i < m_desc.wheelCount; ++i) {
        char name[16];
        std::snprintf(name, sizeof name, "w%d", i);
        m_wheelNodes[i] = m_owner->GetChild(name).Get();
        if (!m_wheelNodes[i]) {
            m_desc.wheelCount = i;
            break;
        }
    }

    CPPhysicData* data = dynamic_cast<CPPhysicData*>(m_owner->GetPhysicData().Get());
    m_rigidBody = data ? data->GetRigidBody() : nullptr;
    for (int i = 0; i < m_desc.wheelCount; ++i) {
        const float s = (i % 2 == 0) ? 1.0f : -1.0f;
        const D3DXVECTOR3& node = m_wheelNodes[i]->GetPosition();
        const D3DXVECTOR3 origin(node.x - s * m_desc.wheelShiftX, node.y, m_desc.wheelHeight);
        // An exhausted sensor pool leaves the wheel without a ray: it is always in the air.
        m_sensors[i] = m_rigidBody ? m_rigidBody->AttachSensor() : nullptr;
        if (m_sensors[i]) m_sensors[i]->SetSegment(ToRb(origin), RbVec(0.0f, 0.0f, -m_desc.wheelLength));
        m_restPositions[i] = D3DXVECTOR3(node.x, node.y, m_desc.wheelHeight);
        m_rayPoints[i] = D3DXVECTOR3(origin.x, origin.y, 0.0f);
        m_wheelLifts[i] = m_desc.wheelRadius - m_desc.wheelLength;
    }
    // Without a controller the car simply gets no step.
    m_controller = m_rigidBody ? m_rigidBody->AttachController(this, 0) : nullptr;
    if (data) data->CreateBody();

    m_stopLights = m_owner->GetChild("stoplights").Get();
    m_stopLights2 = m_owner->GetChild("stoplights2").Get();
    m_backLights = m_owner->GetChild("backlights").Get();
    m_backLights2 = m_owner->GetChild("backlights2").Get();
    ShowObject(m_stopLights, true);
    ShowObject(m_stopLights2, false);
    ShowObject(m_backLights, true);
    ShowObject(m_backLights2, false);

    const char* flameNames[4] = {"fire_a", "fire_b", "fire_aa", "fire_bb"};
    for (int i = 0; i < 4; ++i) m_flames[i] = m_owner->FindObject(flameNames[i]).Get();
    m_frontObjects[0] = m_owner->FindObject("fire_front").Get();
    m_frontObjects[1] = m_owner->FindObject("glare_front").Get();
    ShowObject(m_frontObjects[1], false);
    for (int i = 0; i < 4; ++i) {
        m_flameEmitters[i] = FirstEffect(m_flames[i]);
        if (m_flameEmitters[i]) m_flameEmitters[i]->SetHeld(m_flames[i]);
    }
    m_frontEmitter = FirstEffect(m_frontObjects[0]);
    if (m_frontEmitter) m_frontEmitter->SetHeld(m_frontObjects[0]);
    UseFlamePair(0);
}

bool CPCar::ReadDescription(bool sendParameters) {
    if (!m_gearBox) m_gearBox = std::make_unique<GearBox>();
    if (!m_owner) return false;
    const bool found = ReadCarDescription(m_owner->GetDescription(), m_desc, *m_gearBox, m_scriptParams);
    if (sendParameters && m_scriptParams.present) {
        if (IPCommandRouter* scripts = GetCommandRouter()) {
            scripts->SendCommandByName("jeep", "set_car_params", m_scriptParams.FirstText());
            scripts->SendCommandByName("jeep", "set_car_params2", m_scriptParams.SecondText());
        }
    }
    return found;
}

void CPCar::UseFlamePair(int pair) {
    const int first = pair == 0 ? 0 : 2;
    m_currentFlames[0] = m_flames[first];
    m_currentFlames[1] = m_flames[first + 1];
    m_currentEmitters[0] = m_flameEmitters[first];
    m_currentEmitters[1] = m_flameEmitters[first + 1];
}

void CPCar::ShowObject(CPGameObject* object, bool visible) {
    if (object) object->SetVisible(visible);
}

void CPCar::StopEmitter(CPVertexEffect* effect) {
    if (effect && effect->IsPlaying()) effect->Stop();
}

void CPCar::StopCurrentFlames() {
    StopEmitter(m_currentEmitters[0]);
    StopEmitter(m_currentEmitters[1]);
    if (m_frontObjects[0]) StopEmitter(m_frontEmitter);
    ShowObject(m_frontObjects[1], false);
    m_frontEffect = false;
}

bool CPCar::OwnerLocked() const {
    const CPPlayer* racer = dynamic_cast<const CPPlayer*>(m_owner);
    return racer && racer->locked;
}

float CPCar::SuperNitroTime() const {
    const CPPlayer* racer = dynamic_cast<const CPPlayer*>(m_owner);
    return racer ? racer->superNitroTime : 0.0f;
}

float CPCar::SuperNitroCharge() const {
    const CPPlayer* racer = dynamic_cast<const CPPlayer*>(m_owner);
    return racer ? racer->superNitroCharge : 0.0f;
}

void CPCar::RequestBrake(bool on) {
    if (CPPlayer* racer = dynamic_cast<CPPlayer*>(m_owner))
        racer->SetBrake(on);
    else
        SetBrake(on);
}

void CPCar::LoadSounds(const std::string& prefix, bool humanCar) {
    m_humanCar = humanCar;
    struct Slot {
        CPSmartPtr<CNSound>* sound;
        std::string file;
    };
    const Slot slots[] = {{&m_sounds.slam, prefix + "slam.wav"},   {&m_sounds.engine, prefix + "diesel_run.wav"},
                          {&m_sounds.dirt, prefix + "dirt.wav"},   {&m_sounds.accelerate, prefix + "diesel_accel.wav"},
                          {&m_sounds.brake, prefix + "brake.wav"}, {&m_sounds.nitro, prefix + "nitro.wav"},
                          {&m_sounds.hit[0], prefix + "hit1.wav"}, {&m_sounds.hit[1], prefix + "hit2.wav"},
                          {&m_sounds.hit[2], prefix + "hit3.wav"}, {&m_sounds.hit[3], "hit4.wav"},
                          {&m_sounds.hit[4], "hit5.wav"}};
    CNAudio* audio = CNAudio::GetInstance();
    for (const Slot& slot : slots) {
        // A sound being replaced must not go on playing with no one to stop it.
        if (*slot.sound) (*slot.sound)->Stop();
        CPSmartPtr<CNSound> sound;
        if (audio) audio->CreateSound(sound, slot.file, 1, true);
        *slot.sound = sound;
    }
    for (D3DXVECTOR3& v : m_soundVectors) v = D3DXVECTOR3(0.0f, 0.0f, 0.0f);
}

void CPCar::SetControls(float throttle, float steering) {
    if (m_crashed) {
        m_driveInput = 0.0f;
        return;
    }
    if (m_gearBox) m_gearBox->SetThrottle(throttle);
    if (m_driveInput == 0.0f && throttle != 0.0f && m_speed < 5.0f && m_sounds.accelerate &&
        !m_sounds.accelerate->IsPlaying())
        m_sounds.accelerate->Play(0, 0);
    // The velocity's part along the body's y axis.
    const float vy = m_velocity.x * m_inverseTransform.m[0][1] + m_velocity.y * m_inverseTransform.m[1][1] +
                     m_velocity.z * m_inverseTransform.m[2][1];
    if (throttle < 0.0f) {
        m_driveInput = throttle * m_desc.backAcceleration;
        if (vy > 0.0f) {
            ShowObject(m_backLights, false);
            ShowObject(m_backLights2, true);
        }
    } else {
        m_driveInput = throttle * m_desc.frontAcceleration;
        ShowObject(m_backLights, true);
        ShowObject(m_backLights2, false);
    }
    m_steer = steering * m_desc.steerFactor;
}

void CPCar::SetBrake(bool on) {
    if (on && !m_braking) {
        ShowObject(m_stopLights, false);
        ShowObject(m_stopLights2, true);
        PlayIfIdle(m_sounds.brake, true);
        m_braking = true;
    } else if (!on && m_braking) {
        ShowObject(m_stopLights, true);
        ShowObject(m_stopLights2, false);
        if (m_sounds.brake) m_sounds.brake->Stop();
        m_braking = false;
    }
}

void CPCar::SetNitro(float strength) {
    m_nitroReserve = m_nitroMeter == 0.0f ? 0.0f : strength;
    const bool pair = m_currentFlames[0] && m_currentFlames[1];
    if (m_nitroReserve == 0.0f) {
        if (m_sounds.nitro) m_sounds.nitro->Stop();
        ReportNitro();
        if (pair) StopCurrentFlames();
        return;
    }
    if (pair) {
        for (CPVertexEffect* effect : m_currentEmitters)
            if (effect && !effect->IsPlaying()) effect->Start();
    }
    if (m_nitroTimer == -1.0f) {
        m_nitroTimer = 0.0f;
        m_boostEngaged = true;
    }
}

void CPCar::ReportNitro() {
    if (!m_humanCar || m_nitroTimer < 0.0f) return;
    const int boost = (m_flameEmitters[2] && m_flameEmitters[2] == m_currentEmitters[0]) ? 1 : 0;
    char text[64];
    std::snprintf(text, sizeof text, "nitro,%d,%.1f,0,0,0", boost, static_cast<double>(m_nitroTimer));
    if (IPCommandRouter* scripts = GetCommandRouter())
        scripts->SendCommandByCategory("main", "achievement_status", text);
    m_nitroTimer = -1.0f;
}

bool CPCar::UsesPair(int pair) const {
    const int first = pair == 0 ? 0 : 2;
    return m_currentEmitters[0] == m_flameEmitters[first] && m_currentEmitters[1] == m_flameEmitters[first + 1];
}

void CPCar::HandOverEmitters(int fromPair, int toPair) {
    const int from = fromPair == 0 ? 0 : 2;
    const int to = toPair == 0 ? 0 : 2;
    for (int i = 0; i < 2; ++i) {
        CPVertexEffect* running = m_flameEmitters[from + i];
        if (!running || !running->IsPlaying()) continue;
        running->Stop();
        if (CPVertexEffect* partner = m_flameEmitters[to + i]) partner->Start();
    }
}

void CPCar::AddNitro(float amount) {
    CPGameData* data = GetGameData();
    const float gain = data ? data->levelSettings.nitroGainFactor : 1.0f;
    m_nitroMeter = std::min(m_nitroMeter + amount * gain, 100.0f);
    // The human's first boost waits for the achievement that introduces it.
    bool allowed = true;
    if (m_humanCar && !m_boostEngaged) allowed = data && data->HasGotAchievement("nitro_1st");
    CPPlayer* racer = dynamic_cast<CPPlayer*>(m_owner);
    if (m_nitroMeter == 100.0f && allowed) {
        if (m_humanCar) {
            if (CPLevel* level = CPLevel::GetInstance()) level->nitroCharged = true;
        }
        if (racer) racer->superNitroTime = 10.0f;
        if (UsesPair(0)) {
            ReportNitro();
            if (UsesPair(0) && m_nitroReserve > 0.0f) {
                m_nitroTimer = 0.0f;
                m_boostEngaged = true;
            }
        }
        UseFlamePair(1);
        ShowObject(m_flames[0], false);
        ShowObject(m_flames[1], false);
        ShowObject(m_flames[2], true);
        ShowObject(m_flames[3], true);
        HandOverEmitters(0, 1);
        return;
    }
    if (SuperNitroTime() <= 0.0f) EndBoostFlames();
}

void CPCar::EndBoostFlames() {
    if (UsesPair(1)) ReportNitro();
    UseFlamePair(0);
    ShowObject(m_flames[2], false);
    ShowObject(m_flames[3], false);
    ShowObject(m_flames[0], true);
    ShowObject(m_flames[1], true);
    HandOverEmitters(1, 0);
    if (m_frontObjects[0] && m_frontEmitter) {
        m_frontEmitter->Stop();
        ShowObject(m_frontObjects[1], false);
        m_frontEffect = false;
    }
}

void CPCar::SetCrashed(bool crashed) {
    const bool pair = m_currentFlames[0] && m_currentFlames[1];
    if (crashed && !m_crashed) {
        // Wrecks pass through intact cars.
        if (m_rigidBody) m_rigidBody->SetCollisionGroup(1);
        m_crashTimer = 0.0f;
        m_crashed = true;
        if (pair) {
            StopCurrentFlames();
            ShowObject(m_currentFlames[0], false);
            ShowObject(m_currentFlames[1], false);
            ShowObject(m_frontObjects[0], false);
        }
    } else if (!crashed && m_crashed) {
        if (m_rigidBody) m_rigidBody->SetCollisionGroup(0);
        m_crashed = false;
        if (pair) {
            ShowObject(m_currentFlames[0], true);
            ShowObject(m_currentFlames[1], true);
            ShowObject(m_frontObjects[0], true);
        }
        if (m_sounds.slam && m_sounds.slam->IsPlaying()) m_sounds.slam->Stop();
    }
}

void CPCar::FrameUpdate(float dt) {
    CPGameData* data = GetGameData();
    if (!data || !data->levelStarted) return;

    for (float& timer : m_dustTimers) timer += dt + 0.01f * Random01();
    if (m_nitroReserve > 0.0f && m_sounds.nitro && !m_sounds.nitro->IsPlaying()) {
        m_sounds.nitro->Rewind();
        m_sounds.nitro->Play(0, 0);
    }
    m_smoothedTilt += (m_tilt - m_smoothedTilt) * dt * 2.0f;

    if (m_nitroReserve > 0.0f) {
        m_nitroMeter -= 20.0f * dt;
        if (m_nitroMeter <= 0.0f) {
            m_nitroMeter = 0.0f;
            CPPlayer* racer = dynamic_cast<CPPlayer*>(m_owner);
            if (racer) racer->superNitroTime = -1.0f;
            ReportNitro();
            if (m_currentFlames[0] && m_currentFlames[1]) {
                StopEmitter(m_currentEmitters[0]);
                StopEmitter(m_currentEmitters[1]);
                StopEmitter(m_frontEmitter);
                ShowObject(m_frontObjects[1], false);
                // The burn ends this car's nitro, whichever racer the level calls its player.
                if (racer) racer->nitroOn = false;
                m_frontEffect = false;
            }
            m_nitroReserve = 0.0f;
        }
    }

    if (g_weather != 0) {
        PlayIfIdle(m_sounds.engine, true);
        PlayIfIdle(m_sounds.dirt, true);
        const float engineSpeed = m_gearBox ? m_gearBox->GetEngineSpeed() : 0.0f;
        if (m_sounds.engine) {
            m_sounds.engine->SetFrequencyFactor(
                (std::min(engineSpeed / 6.0f + 0.75f, 2.0f) + 0.1f * (0.05f * m_speed + 0.5f)) * g_timeScale);
            m_sounds.engine->SetVolume((1.0f - engineSpeed * 0.0625f) * g_soundVolume);
        }
        m_dirtPitch += (std::min(m_speed / 15.0f, 3.0f) - m_dirtPitch) * dt * 5.0f;
        if (m_sounds.dirt) m_sounds.dirt->SetFrequencyFactor(m_dirtPitch * g_timeScale);
        if (CNAudio* audio = CNAudio::GetInstance()) {
            D3DVECTOR position{};
            if (m_owner) {
                const D3DXVECTOR3& p = m_owner->GetPosition();
                position = D3DVECTOR{p.x, p.y, p.z};
            }
            const D3DVECTOR velocity{m_velocity.x, m_velocity.y, m_velocity.z};
            if (m_sounds.engine) audio->SetSoundPosition(m_sounds.engine, position, velocity);
            if (m_sounds.dirt) audio->SetSoundPosition(m_sounds.dirt, position, velocity);
            for (const CPSmartPtr<CNSound>* sound :
                 {&m_sounds.accelerate, &m_sounds.brake, &m_sounds.nitro, &m_sounds.slam})
                if (*sound && (*sound)->IsPlaying()) audio->SetSoundPosition(*sound, position, velocity);
        }
    }

    if (m_level && m_level == CPLevel::GetInstance() && m_level->player) {
        const D3DXVECTOR3 d = m_position - m_level->player->GetPosition();
        m_humanDistance = d.x * d.x + d.y * d.y + d.z * d.z;
    }
}

RbVector CPCar::ToWorld(const D3DXVECTOR3& p) const {
    return RbVec(
        p.x * m_transform.m[0][0] + p.y * m_transform.m[1][0] + p.z * m_transform.m[2][0] + m_transform.m[3][0],
        p.x * m_transform.m[0][1] + p.y * m_transform.m[1][1] + p.z * m_transform.m[2][1] + m_transform.m[3][1],
        p.x * m_transform.m[0][2] + p.y * m_transform.m[1][2] + p.z * m_transform.m[2][2] + m_transform.m[3][2]);
}

void CPCar::PhysicsTick(RbController* controller, float dt) {
    if (!m_rigidBody || !m_gearBox) return;
    const bool levelCurrent = m_level && m_level == CPLevel::GetInstance();

    if (m_nitroTimer >= 0.0f) {
        m_nitroTimer += dt;
        CPGameData* data = GetGameData();
        if (m_nitroTimer >= 0.5f && m_flameEmitters[2] && m_flameEmitters[2] == m_currentEmitters[0] &&
            SuperNitroCharge() >= 1.0f && m_humanCar && !(levelCurrent && m_level->raceOver) && data &&
            data->helperFlags.size() > 10 && !data->helperFlags[10]) {
            if (IPCommandRouter* scripts = GetCommandRouter()) scripts->SendCommandByName("helper", "helper_in", "10");
        }
    }

    const RbMatrix M = m_rigidBody->GetTransform();
    m_transform = ToDxMatrix(M);
    m_inverseTransform = RigidInverse(M);
    m_position = ToDx(m_rigidBody->GetPosition());
    for (bool& ground : m_onGround) ground = false;
    RbVector F = RbVec(0.0f, 0.0f, 0.0f);
    RbVector T = RbVec(0.0f, 0.0f, 0.0f);

    const RbVector v = m_rigidBody->GetVelocity();
    m_velocity = D3DXVECTOR4(v.x, v.y, v.z, 0.0f);
    m_speed = RbDot(v, v) < 1e-6f ? 0.0f : std::sqrt(RbDot(v, v));

    m_gearBox->SetCarSpeed(m_speed);
    m_gearBox->Update(dt);

    const RbVector steered = RbRotate(M, RbVec(std::sin(m_steer), std::cos(m_steer), 0.0f));
    m_driveDirection = ToDx(NormalizedOrZero(RbVec(steered.x, steered.y, 0.0f)));

    if (m_crashed) {
        m_driveInput = 0.0f;
        m_steer = m_steer * (1.0f - 100.0f * dt);
        m_crashTimer += dt;
    }

    const float remembered = m_driveInput;
    m_driveInput = m_gearBox->GetEngineForce();
    int grounded = 0;
    for (int i = 0; i < m_desc.wheelCount; ++i) {
        ComputeWheelForce(i, F, T);
        if (m_onGround[i]) ++grounded;
    }
    if (m_lockParkTimer < 1.0f && OwnerLocked() && grounded > 0) {
        m_lockParkTimer += dt;
        if (m_lockParkTimer >= 1.0f) m_rigidBody->SetActive(false, nullptr);
    }
    m_driveInput = remembered;

    const RbVector xAxis = NormalizedOrZero(RbRotate(M, RbVec(1.0f, 0.0f, 0.0f)));
    const RbVector flatX = NormalizedOrZero(RbVec(xAxis.x, xAxis.y, 0.0f));
    m_xAxis = ToDx(xAxis);
    m_flatXAxis = ToDx(flatX);
    m_tilt = AcosClamped(RbDot(xAxis, flatX));
    if (xAxis.z > 0.0f) m_tilt = -m_tilt;

    m_smoothedSteer += (m_steer - m_smoothedSteer) * dt * 5.0f;
    if (m_humanDistance < 10000.0f)
        for (int i = 0; i < m_desc.wheelCount; ++i) UpdateWheelEffects(i, dt);
    m_previousSpeed = m_speed;

    const RbVector Y = RbRow(M, 1);
    const RbVector Yaxis = RbVec(Y.x, Y.y, Y.z);
    F += Yaxis * (-1.2f * RbDot(v, Yaxis));
    if (m_braking) F += v * (-10.0f * dt);
    const float boost = SuperNitroTime() > 0.0f ? 1.1f : 1.0f;
    const RbVector N = NormalizedOrZero(-ToRb(m_driveDirection)) *
                       (40.0f * m_desc.frontAcceleration * 5.0f * m_nitroReserve * dt * boost);
    if (controller) {
        controller->SetForce(F + N);
        controller->SetTorque(T);
    }
}

float CPCar::ComputeWheelForce(int i, RbVector& F, RbVector& T) {
    RbSensor* sensor = m_sensors[i];
    const float depth = sensor ? sensor->GetHitDepth() : 0.0f;
    m_wheelDepths[i] = 0.0f;
    if (!(depth > 0.0f) || m_crashed) {
        m_inAir[i] = true;
        return 0.0f;
    }
    const bool front = i < 2;
    const RbMatrix M = m_rigidBody->GetTransform();
    const RbVector position = ToRb(m_position);
    const RbVector P = sensor->GetHitPoint();
    const RbVector r = P - position;
    const RbVector Ro = RbTransformPoint(M, sensor->GetOrigin());
    if (m_desc.debugLines) {
        if (CPRender* render = GetRender()) render->AddDebugLine(kDebugLineColour, ToDx(Ro), ToDx(P));
    }
    m_onGround[i] = true;
    m_wheelDepths[i] = depth;
    m_contactPoints[i] = ToDx(P);
    m_inAir[i] = false;

    float lift = m_desc.wheelRadius - (m_desc.wheelLength - depth);
    const float minLift = front ? m_desc.frontMinLift : m_desc.rearMinLift;
    if (m_desc.pinMax)
        lift = m_desc.wheelRadius - m_desc.wheelLength;
    else if (m_desc.pinMin)
        lift = minLift;
    else
        lift = std::min(lift, minLift);
    m_wheelLifts[i] = lift;

    RbVector n = sensor->GetHitNormal();
    if (n.z < 0.0f) n = -n;
    const RbVector d = RbRotate(M, sensor->GetDirection());
    const RbVector r0 = Ro - position;
    const float k = front ? m_desc.frontSpring : m_desc.rearSpring;
    const float c = m_desc.damping;

    const RbVector S = n * (k * depth);
    F += S;
    T += RbCross(r0, S);
    const RbVector w0 = m_rigidBody->GetVelocityAtPoint(r0);
    const RbVector D = d * (-RbDot(w0, d) * c);
    F += D;
    T += RbCross(r0, D);

    const RbVector vc = m_rigidBody->GetVelocityAtPoint(r - d);
    const RbVector Y = RbRow(M, 1);
    const RbVector Yaxis = RbVec(Y.x, Y.y, Y.z);
    m_wheelSpeeds[i] = -RbDot(vc, Yaxis);

    const RbVector vt = vc - n * RbDot(vc, n);
    const RbVector a = front ? ToRb(m_driveDirection) : Yaxis;
    const RbVector vs = vt - a * RbDot(vt, a);
    const RbVector u = NormalizedOrZero(vs);
    const float f = front ? m_desc.frontFriction : m_desc.rearFriction;
    RbVector L = u * -f;
    L.z = 0.0f;
    F += L;
    T += RbCross(r, L);

    if (m_hold) {
        const RbVector e = front ? -ToRb(m_driveDirection) : -Yaxis;
        const RbVector G = e * (2.0f * RbDot(vc, Yaxis));
        F += G;
        T += RbCross(r, G * m_desc.pitchInertion);
        return 0.0f;
    }

    RbVector e = front ? NormalizedOrZero(-ToRb(m_driveDirection)) : -Yaxis;
    const float q = m_driveInput;
    if (q > 0.0f)
        e = e * m_desc.frontAcceleration;
    else if (q < 0.0f)
        e = e * m_desc.backAcceleration;
    RbVector drive = q == 0.0f ? RbVec(0.0f, 0.0f, 0.0f) : e * q;
    if (!m_humanCar) {
        const CPGameData* data = GetGameData();
        drive = drive * (data ? data->levelSettings.setting9 : 1.0f);
    }
    F += drive;
    T += RbCross(r, drive);
    return 1.0f;
}

void CPCar::EmitPuff(const SPDustPuff& puff) {
    if (DustSink()) DustSink()(puff);
    CPParticlesManager* particles = GetParticlesManager();
    if (!particles) return;
    SPParticleDesc desc;
    desc.name = puff.name;
    desc.position = puff.position;
    desc.velocity = puff.velocity;
    desc.acceleration = puff.acceleration;
    desc.size = puff.size;
    desc.growth = puff.growth;
    desc.life = puff.life;
    desc.fade = puff.fadeOut;
    desc.floor = puff.floorHeight;
    desc.bounce = puff.bounce;
    particles->EmitParticle(desc);
}

void CPCar::UpdateWheelEffects(int i, float dt) {
    const float R = m_desc.wheelRadius;
    const bool front = i < 2;
    const float engineSpeed = m_gearBox ? m_gearBox->GetEngineSpeed() : 0.0f;
    if (front || !m_braking) {
        if (m_onGround[i])
            m_spinAngles[i] += dt * m_wheelSpeeds[i] / (2.5f * R);
        else
            m_spinAngles[i] += engineSpeed * dt / (2.5f * R);
    }
    const float h = (i % 2 == 0) ? 0.35f : -0.35f;
    const D3DXVECTOR3 v(m_velocity.x, m_velocity.y, m_velocity.z);

    if (m_onGround[i] && m_speed > 3.16f && g_dust != 0) {
        D3DXVECTOR3 P = m_contactPoints[i] + m_xAxis * h + D3DXVECTOR3(0.0f, 0.0f, 0.05f);
        SPDustPuff heavy;
        heavy.name = "_pil_2";
        heavy.position = P;
        heavy.velocity = v * -0.1f + D3DXVECTOR3(0.0f, 0.0f, 1.2f * m_speed);
        heavy.acceleration = D3DXVECTOR3(0.0f, 0.0f, -90.8f);
        heavy.size = 0.55f + 0.7f * Random01();
        heavy.growth = 1.0f;
        heavy.life = 0.5f;
        heavy.floorHeight = P.z - 0.05f;
        SPDustPuff light;
        light.name = "_pil_";
        light.position = P + D3DXVECTOR3(0.0f, 0.0f, 0.9f);
        light.size = 0.65f + 0.7f * Random01();
        light.growth = 1.5f;
        light.life = 0.75f;
        light.floorHeight = P.z - 0.05f;
        if (g_frameEventCount < kFrameEffectCap) {
            const float g = m_humanCar ? 1.5f : 5.0f;
            const D3DXVECTOR3 gap = m_rayPoints[i] - P;
            const float spacing = (1.0f + Random01()) / 2.0f * g * heavy.size * heavy.size;
            if (gap.x * gap.x + gap.y * gap.y + gap.z * gap.z >= spacing) {
                if (m_dustTimers[i] >= 0.5f / m_speed) {
                    m_dustTimers[i] = 0.0f;
                    if (!front && m_speed > m_previousSpeed) {
                        heavy.velocity.z = std::min(heavy.velocity.z, 10.0f);
                        EmitPuff(heavy);
                    }
                    EmitPuff(light);
                    P.z += 0.9f;
                }
                m_rayPoints[i] = P;
                g_frameEventCount += 1;
            }
        }
    }

    if (!m_onGround[i] && g_dust != 0 && m_crashed && m_speed > 3.16f && m_owner) {
        D3DXVECTOR3 local(m_restPositions[i].x, m_restPositions[i].y, m_restPositions[i].z + m_wheelLifts[i]);
        D3DXMATRIX rotation;
        D3DXMatrixRotationQuaternion(&rotation, &m_owner->GetRotationQuaternion());
        D3DXVECTOR3 P;
        D3DXVec3TransformCoord(&P, &local, &rotation);
        P += m_owner->GetPosition() + m_xAxis * h;
        if (g_frameEventCount < kFrameEffectCap && m_dustTimers[i] >= 0.2f) {
            m_dustTimers[i] = 0.0f;
            SPDustPuff heavy;
            heavy.name = "_pil_2";
            heavy.position = P;
            heavy.velocity = Limit(v * 0.9f + D3DXVECTOR3(0.0f, 0.0f, 1.3f * m_speed), 20.0f, 10.0f);
            heavy.acceleration = D3DXVECTOR3(0.0f, 0.0f, -30.8f);
            heavy.size = 0.55f + 0.7f * Random01();
            heavy.growth = 1.0f;
            heavy.life = 1.0f;
            heavy.floorHeight = P.z - 0.05f;
            SPDustPuff light;
            light.name = "_pil_";
            light.position = P + D3DXVECTOR3(0.0f, 0.0f, 0.9f);
            light.velocity = Limit(v * 0.9f + D3DXVECTOR3(0.0f, 0.0f, 0.2f * m_speed), 10.0f, 10.0f);
            light.acceleration = D3DXVECTOR3(0.0f, 0.0f, -5.8f);
            light.size = 0.65f + 0.7f * Random01();
            light.growth = 1.5f;
            light.life = 2.5f;
            light.floorHeight = P.z - 0.05f;
            EmitPuff(heavy);
            EmitPuff(light);
        }
    }

    if (CPGameObject* node = m_wheelNodes[i]) {
        D3DXMATRIX spin;
        D3DXMatrixRotationX(&spin, m_spinAngles[i]);
        const float b = front ? -m_smoothedSteer : 0.0f;
        if (b != 0.0f) {
            D3DXMATRIX turn;
            D3DXMatrixRotationZ(&turn, b);
            D3DXMatrixMultiply(&spin, &spin, &turn);
        }
        D3DXQUATERNION q;
        D3DXQuaternionRotationMatrix(&q, &spin);
        node->SetRotation(q);
        node->SetPosition(
            D3DXVECTOR3(m_restPositions[i].x, m_restPositions[i].y, m_restPositions[i].z + m_wheelLifts[i]));
    }
}
