#pragma once
// A racer: the scene object of one car in a race, human or computer. It keeps the driver's
// input, the race bookkeeping and the race-time effects; its car (CPCar) does the physics.

#include <string>
#include <unordered_set>

#include "Platform/Math/D3DXTypes.h"
#include "Scene/PGameObject.h"

class CPCar;
class CPLine;

class CPPlayer : public CPGameObject {
public:
    CPPlayer();
    ~CPPlayer() override;
    CPPlayer(const CPPlayer&) = delete;
    CPPlayer& operator=(const CPPlayer&) = delete;

    int GetSize() const override { return static_cast<int>(sizeof(CPPlayer)); }

    // Driving input of the next frame; ignored while locked.
    void SetCarParams(float throttle, float steering);
    void SetBrake(bool on);
    void SetLocked(bool locked);
    void SetThrottleBlocked(bool blocked);
    void BlockThrottle(float, float);
    void SetNitro(float amount);
    // Every sound of the car but its slam.
    void SetCarSoundVolume(float volume);
    void ApplyImpulseAt(const D3DXVECTOR3& point, const D3DXVECTOR3& impulse);
    // The car's velocity; zero without a car.
    void GetVelocity(float out[4]) const;
    CPCar* GetCar() const;
    void SetFlags(int flags) { this->flags = flags; }
    void SetName(const std::string& name) { this->name = name; }
    bool IsThrottleForward() const { return throttle > 0.0f; }
    bool IsLocked() const { return locked; }

    D3DXVECTOR3 lastPosition{0.0f, 0.0f, 0.0f};
    CPSmartPtr<CPGameObject> shadow;
    bool fadeIn = false;
    bool fadeOut = false;
    float fadeTimer = 0.0f;
    float flameTick = 0.0f;
    float mineFactor = 1.0f;
    float barrelAngle = 0.0f;
    float steering = 0.0f;
    float throttle = 0.0f;
    int weaponSlot = 0;
    std::string weaponName;
    bool outOfAmmo = false;
    bool minesEmpty = false;
    float engineTemperature = 0.0f;
    CPSmartPtr<CPGameObject> weaponModel;
    CPSmartPtr<CPGameObject> muzzleFlares[4];
    int flareIndex = 3;
    std::string mineElement;
    float flareTime = 0.0f;
    bool flareShown = false;
    D3DXVECTOR3 aimPoint{0.0f, 0.0f, 0.0f};
    float ammo[3] = {1.0f, 1.0f, 1.0f};
    bool mineShot = false;
    bool hasMines = false;
    bool firing = false;
    int weaponKind = 0;
    float fireCooldown = 0.0f;
    float engineHeatRate = 0.0f;
    float engineCoolRate = 0.0f;
    float health = 100000.0f;
    std::unordered_set<CPGameObject*> hitObjects;
    float ammoFactor = 1.0f;
    float rateFactor = 1.0f;
    bool deathReported = false;
    bool locked = false;
    bool throttleBlocked = false;
    int abilitiesCount = 0;
    std::string name;
    int flags = 0;
    float damage = 0.0f;
    float smokeTimer = 0.0f;
    bool gloom = false;
    float bonusTimer = 0.0f;
    float slamTimer = 0.0f;
    bool knockedOut = false;
    bool usedRespawn = false;
    float upsideDownTime = 0.0f;
    int respawnCount = 0;
    float respawnCooldown = 0.0f;
    int lastCheckpoint = -1;
    float superNitroTime = 0.0f;
    float superNitroCharge = 0.0f;
    int splineSegment = 0;
    float splineDistance = 0.0f;
    bool nitroOn = false;
    bool isHuman = false;
    CPLine* routeLine = nullptr;
    int cameraMin = 0;
    int cameraMax = 0;
    bool dead = false;
    bool raceFlag = false;
    float unlockedTime = 0.0f;
    bool touched = false;
};
