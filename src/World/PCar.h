#pragma once
// The driving body of one racer: the racer's rigid body carried by ray-cast wheels, with a gear
// box, lights, exhaust flames, nitro and its own sounds. The engine runs the car's step as the
// body's controller; the racer runs its frame work and hands it the driver's input.

#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "Framework/PMMObject.h"
#include "Physics/RbSimulator.h"
#include "Platform/Math/D3DXTypes.h"
#include "World/PCarDescription.h"
#include "World/PGearBox.h"

class CPGameObject;
class CPLevel;
class CPVertexEffect;
class CNSound;

// A driven vehicle as the scene object's car handle sees it.
class IPVehicle : public IPMMObject {};

// One dust puff of a wheel, in the particle system's terms.
struct SPDustPuff {
    std::string name;
    D3DXVECTOR3 position{0.0f, 0.0f, 0.0f};
    D3DXVECTOR3 velocity{0.0f, 0.0f, 0.0f};
    D3DXVECTOR3 acceleration{0.0f, 0.0f, 0.0f};
    float size = 0.0f;
    float growth = 0.0f;
    float life = 0.0f;
    float floorHeight = 0.0f;
    bool fadeOut = true;
    bool bounce = true;
};

class CPCar : public IPVehicle, public RbControllerCallback, public IPGearBoxHost {
public:
    static constexpr int kMaxWheels = SPCarDescription::kMaxWheels;
    static constexpr D3DCOLOR kDebugLineColour = 0xFFFF00FFu;
    static constexpr int kFrameEffectCap = 100;

    struct SPSounds {
        CPSmartPtr<CNSound> slam, engine, dirt, accelerate, brake, nitro;
        CPSmartPtr<CNSound> hit[5];
    };

    explicit CPCar(CPGameObject* owner);
    // Gives back the emitters' held objects (each holds its fire object, which holds its mesh,
    // which owns the emitter: a cycle), stops and releases the sounds.
    ~CPCar() override;
    CPCar(const CPCar&) = delete;
    CPCar& operator=(const CPCar&) = delete;

    int GetSize() const override { return 1600; }
    std::string GetClassName() const override { return "CPCar"; }
    void OnControllerStep(RbController* controller, float dt) override { PhysicsTick(controller, dt); }

    // IPGearBoxHost.
    bool IsBraking() const override { return m_braking; }
    float GetSpeed() const override { return m_speed; }
    void RequestBrake(bool on) override;

    void Init(RbSimulator* simulator, bool humanCar);
    bool ReadDescription(bool sendParameters);
    void SetControls(float throttle, float steering);
    void SetBrake(bool on);
    void SetNitro(float strength);
    void ReportNitro();
    // Charges the meter (scaled by the level's nitro gain); a meter filled to exactly 100 takes
    // the boost look and starts the owner's super nitro, and once that has run out the next
    // charge puts the normal flames back.
    void AddNitro(float amount);
    void EndBoostFlames();
    void SetCrashed(bool crashed);
    void FrameUpdate(float dt);
    // The car's eleven sounds, each a buffer of its own (two cars never share one): the file
    // names carry the prefix except the last two hits, which every car shares by name. Slots
    // whose file is missing, or with no sound device, stay empty.
    void LoadSounds(const std::string& prefix, bool humanCar);

    void PhysicsTick(RbController* controller, float dt);
    float ComputeWheelForce(int i, RbVector& force, RbVector& torque);
    void UpdateWheelEffects(int i, float dt);

    // Also shown every dust puff as it goes to the particle system (a test's observer).
    static void SetDustSink(std::function<void(const SPDustPuff&)> sink);

    CPGameObject* GetOwner() const { return m_owner; }
    RbRigidBody* GetRigidBody() const { return m_rigidBody; }
    GearBox* GetGearBox() const { return m_gearBox.get(); }
    const SPCarDescription& Description() const { return m_desc; }
    SPCarDescription& MutableDescription() { return m_desc; }
    const SPCarScriptParams& ScriptParams() const { return m_scriptParams; }
    SPSounds& Sounds() { return m_sounds; }
    const D3DXVECTOR3& GetSoundVector(int i) const { return m_soundVectors[i]; }
    bool IsHumanCar() const { return m_humanCar; }
    void SetHumanCar(bool human) { m_humanCar = human; }
    int GetWheelCount() const { return m_desc.wheelCount; }
    CPGameObject* GetWheelNode(int i) const { return m_wheelNodes[i]; }
    RbSensor* GetWheelSensor(int i) const { return m_sensors[i]; }
    const D3DXVECTOR3& GetRestPosition(int i) const { return m_restPositions[i]; }
    float GetWheelLift(int i) const { return m_wheelLifts[i]; }
    const D3DXVECTOR3& GetRayPoint(int i) const { return m_rayPoints[i]; }
    void SetRayPoint(int i, const D3DXVECTOR3& point) { m_rayPoints[i] = point; }
    const D3DXVECTOR3& GetContactPoint(int i) const { return m_contactPoints[i]; }
    bool IsInAir(int i) const { return m_inAir[i]; }
    bool IsOnGround(int i) const { return m_onGround[i]; }
    float GetSpinAngle(int i) const { return m_spinAngles[i]; }
    float GetWheelSpeed(int i) const { return m_wheelSpeeds[i]; }
    // The spring depth of the wheel's last step (0 in the air).
    float GetWheelDepth(int i) const { return m_wheelDepths[i]; }
    float GetDustTimer(int i) const { return m_dustTimers[i]; }
    void SetDustTimer(int i, float t) { m_dustTimers[i] = t; }
    float GetDriveInput() const { return m_driveInput; }
    float GetSteer() const { return m_steer; }
    float GetSmoothedSteer() const { return m_smoothedSteer; }
    bool GetHold() const { return m_hold; }
    void SetHold(bool hold) { m_hold = hold; }
    bool IsCrashed() const { return m_crashed; }
    float GetCrashTimer() const { return m_crashTimer; }
    float GetLockParkTimer() const { return m_lockParkTimer; }
    float GetPreviousSpeed() const { return m_previousSpeed; }
    void SetSpeedForTest(float speed, float previous) {
        m_speed = speed;
        m_previousSpeed = previous;
    }
    // The wheels' ground contacts as the wheel step would leave them, one wheel per point.
    void SetContactPointsForTest(const std::vector<D3DXVECTOR3>& points) {
        m_desc.wheelCount = std::min(static_cast<int>(points.size()), kMaxWheels);
        for (int i = 0; i < m_desc.wheelCount; ++i) m_contactPoints[i] = points[static_cast<std::size_t>(i)];
    }
    const D3DXVECTOR4& GetVelocity() const { return m_velocity; }
    const D3DXVECTOR3& GetPosition() const { return m_position; }
    const D3DXMATRIX& GetTransform() const { return m_transform; }
    const D3DXMATRIX& GetInverseTransform() const { return m_inverseTransform; }
    const D3DXVECTOR3& GetXAxis() const { return m_xAxis; }
    const D3DXVECTOR3& GetDriveDirection() const { return m_driveDirection; }
    float GetTilt() const { return m_tilt; }
    float GetSmoothedTilt() const { return m_smoothedTilt; }
    float GetHumanDistance() const { return m_humanDistance; }
    void SetHumanDistance(float d) { m_humanDistance = d; }
    float GetNitroMeter() const { return m_nitroMeter; }
    void SetNitroMeter(float meter) { m_nitroMeter = meter; }
    float GetNitroReserve() const { return m_nitroReserve; }
    float GetNitroTimer() const { return m_nitroTimer; }
    bool IsBoostEngaged() const { return m_boostEngaged; }
    bool GetFrontEffect() const { return m_frontEffect; }
    void SetFrontEffect(bool on) { m_frontEffect = on; }
    float GetDirtPitch() const { return m_dirtPitch; }
    CPGameObject* GetFlameObject(int i) const { return m_flames[i]; }
    CPVertexEffect* GetFlameEmitter(int i) const { return m_flameEmitters[i]; }
    CPVertexEffect* GetFrontEmitter() const { return m_frontEmitter; }
    CPGameObject* GetFrontObject(int i) const { return m_frontObjects[i]; }
    CPGameObject* GetCurrentFlame(int i) const { return m_currentFlames[i]; }
    CPVertexEffect* GetCurrentEmitter(int i) const { return m_currentEmitters[i]; }
    // Switches the exhaust pair in use: 0 the normal pair, 1 the boost pair.
    void UseFlamePair(int pair);

private:
    void ShowObject(CPGameObject* object, bool visible);
    void StopEmitter(CPVertexEffect* effect);
    void StopCurrentFlames();
    // Stops each running emitter of one pair and starts its partner of the other.
    void HandOverEmitters(int fromPair, int toPair);
    bool UsesPair(int pair) const;
    float SuperNitroTime() const;
    float SuperNitroCharge() const;
    bool OwnerLocked() const;
    void EmitPuff(const SPDustPuff& puff);
    RbVector ToWorld(const D3DXVECTOR3& bodyPoint) const;
    float Random01() const;

    CPGameObject* m_owner;
    CPLevel* m_level = nullptr;
    RbRigidBody* m_rigidBody = nullptr;
    RbController* m_controller = nullptr;
    bool m_humanCar = false;
    std::unique_ptr<GearBox> m_gearBox;
    SPCarDescription m_desc;
    SPCarScriptParams m_scriptParams;

    CPGameObject* m_wheelNodes[kMaxWheels] = {};
    RbSensor* m_sensors[kMaxWheels] = {};
    D3DXVECTOR3 m_restPositions[kMaxWheels] = {};
    float m_wheelLifts[kMaxWheels] = {};
    D3DXVECTOR3 m_rayPoints[kMaxWheels] = {};
    D3DXVECTOR3 m_contactPoints[kMaxWheels] = {};
    bool m_inAir[kMaxWheels] = {true, true, true, true, true, true, true, true};
    bool m_onGround[kMaxWheels] = {};
    float m_spinAngles[kMaxWheels] = {};
    float m_wheelSpeeds[kMaxWheels] = {};
    float m_wheelDepths[kMaxWheels] = {};
    float m_dustTimers[kMaxWheels] = {};

    float m_driveInput = 0.0f;
    float m_steer = 0.0f;
    float m_smoothedSteer = 0.0f;
    bool m_braking = false;
    bool m_hold = false;
    bool m_crashed = false;
    float m_crashTimer = 0.0f;
    float m_lockParkTimer = 0.0f;
    float m_speed = 0.0f;
    float m_previousSpeed = 0.0f;
    D3DXVECTOR4 m_velocity{0.0f, 0.0f, 0.0f, 0.0f};
    D3DXVECTOR3 m_position{0.0f, 0.0f, 0.0f};
    D3DXMATRIX m_transform;
    D3DXMATRIX m_inverseTransform;
    D3DXVECTOR3 m_xAxis{1.0f, 0.0f, 0.0f};
    D3DXVECTOR3 m_flatXAxis{1.0f, 0.0f, 0.0f};
    D3DXVECTOR3 m_driveDirection{0.0f, 1.0f, 0.0f};
    float m_tilt = 0.0f;
    float m_smoothedTilt = 0.0f;
    float m_humanDistance = 0.0f;
    float m_dirtPitch = 0.0f;
    float m_nitroMeter = 0.0f;
    float m_nitroReserve = 0.0f;
    float m_nitroTimer = -1.0f;
    bool m_boostEngaged = false;
    bool m_frontEffect = false;

    CPGameObject* m_stopLights = nullptr;
    CPGameObject* m_stopLights2 = nullptr;
    CPGameObject* m_backLights = nullptr;
    CPGameObject* m_backLights2 = nullptr;
    // fire_a, fire_b, fire_aa, fire_bb.
    CPGameObject* m_flames[4] = {};
    // fire_front, glare_front.
    CPGameObject* m_frontObjects[2] = {};
    CPVertexEffect* m_flameEmitters[4] = {};
    CPVertexEffect* m_frontEmitter = nullptr;
    CPGameObject* m_currentFlames[2] = {};
    CPVertexEffect* m_currentEmitters[2] = {};

    SPSounds m_sounds;
    D3DXVECTOR3 m_soundVectors[4] = {};
};
