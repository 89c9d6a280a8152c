#pragma once
// A racer: the scene object of one car in a race, human or computer. It keeps the driver's
// input, the race bookkeeping and the race-time effects; its car (CPCar) does the physics.

#include <functional>
#include <string>
#include <vector>

#include "GameData/PGameData.h"
#include "Platform/Math/D3DXTypes.h"
#include "Render/PRenderSeams.h"
#include "Scene/PGameObject.h"

class CPCar;
class CPLine;
class CPPerspectiveCamera;
class CPRenderBlock;
struct SPParticle;
struct SPParticleDesc;

// A shot the racer hands to the shot manager.
struct SPShotRequest {
    std::string name;
    D3DXVECTOR3 position{0.0f, 0.0f, 0.0f};
    D3DXVECTOR3 direction{0.0f, 0.0f, 0.0f};
    float speed = 0.0f;
    CPGameObject* owner = nullptr;
};

// What the racers launch, emit and play, shown to an observer (a test's) as it happens; the
// real work goes on as well.
struct SPRacerObservers {
    std::function<void(const std::string& sound)> sound;
    std::function<void(const SPShotRequest& shot)> shot;
    std::function<void(const SPParticleDesc& particle)> particle;
};

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
    bool IsThrottleForward() const { return throttle >= 0.0f; }
    bool IsLocked() const { return locked; }

    // The frame's work: car frame, super nitro, upside-down time, respawn check, timers, engine
    // heat, controls to the car, the human's hints.
    void Update(float dt);
    // The racer and, near the eye, its shadow into the block when in view (true then); the
    // human's respawn fade.
    bool Render(CPPerspectiveCamera* viewCamera, CPRenderBlock* block);
    // Race bookkeeping back to its start and the shadow built; true.
    bool PrepareForRace();

    // Health loss scaled by the difficulty; false once the racer died of it.
    bool Damage(float amount);
    // Out of sight and out of the physics world.
    void Kill();
    // Puts the racer back on the route when it must (or at once when forced and allowed).
    void Respawn(bool force);
    // One frame of the human's respawn fade; the renderer gets the fade level.
    void AdvanceFade(float dt);

    // The weapon kind of a weapon name (9: launches nothing).
    static int WeaponKind(const std::string& name);
    void SelectWeapon();
    void SelectPrevWeapon();
    void SelectNextWeapon();
    void StepWeapon(int step);
    // The firing step with the aim point and an optional target.
    void UpdateFiring(const D3DXVECTOR3& aim, const CPSmartPtr<CPGameObject>& target);
    // The flamethrower particles' per-frame hit test (owner: the racer).
    static int TraceHit(IPMMObject* owner, SPParticle* particle);
    void EjectShellCasing(CPGameObject* model);
    // The rounds one shot of the weapon in use costs, as a fraction of a load (infinite when the
    // weapon has no load).
    float ShotCost() const;

    // Tells the helper script while the human has passed the next checkpoint by.
    void MissedCheckpointHint();

    static void SetObservers(SPRacerObservers observers);
    static const SPRacerObservers& Observers();

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
    // Below 0: the trigger may fire; counted down by the update.
    float fireCooldown = -1.0f;
    // Engine heat per second of throttle and cooling per second without: 40 s of full throttle
    // reach the 0.8 warning.
    float engineHeatRate = 0.02f;
    float engineCoolRate = 0.05f;
    float health = 100000.0f;
    // What the flamethrower touched since the last firing step, each once.
    std::vector<CPSmartPtr<CPGameObject>> hitObjects;
    SPWeaponInfo weaponInfo;
    // Terrain triangles under the racer for the shadow decal.
    CPSmartPtr<SPTriangleSet> shadowTriangles;
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
    // "proigrish!" has gone to the race interface for this racer.
    bool defeatSent = false;
    bool raceFlag = false;
    float unlockedTime = 0.0f;
    bool touched = false;

    // The mine record the head-up display reads its mine count from (value 4); nothing in the
    // race fills it yet.
    SPMineInfo mineInfo;
};
