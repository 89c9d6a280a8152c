#pragma once
// The computer drivers: one AI_Vehicle per opponent slot (twelve: slots 0 to 11, the last one
// takes the human's car once the race is over) and one per traffic vehicle (slots from 13), and
// the task that runs them. The level fills the lists when it loads and empties them when it
// stops; the driving itself belongs to the racers' code.

#include <list>
#include <string>

#include "Framework/PMMObject.h"
#include "Framework/PTaskKernel.h"
#include "Platform/Math/D3DXTypes.h"

class CPGameObject;
class CPLine;
class CPPlayer;

class AI_Vehicle : public IPMMObject {
public:
    AI_Vehicle() = default;
    ~AI_Vehicle() override;
    AI_Vehicle(const AI_Vehicle&) = delete;
    AI_Vehicle& operator=(const AI_Vehicle&) = delete;

    int GetSize() const override { return static_cast<int>(sizeof(AI_Vehicle)); }
    std::string GetClassName() const override { return "AI_Vehicle"; }

    // Kind 0 makes the piece the current piece; kinds 1 and 2 keep it aside.
    void SetLine(int kind, CPLine* piece);
    CPSmartPtr<CPPlayer> GetRacer() const;

    // ---- driving (PAIDriving.cpp) ---------------------------------------------------------
    // What the race rules hand over each frame: where the racer is, its flat heading, its
    // speed and the racer itself (the old one released); the camera values are kept aside.
    void SetState(const CPSmartPtr<CPGameObject>& object, const D3DXVECTOR3& forward, float signedSpeed,
                  const CPSmartPtr<CPPlayer>& racer, int cameraMinimum, int cameraMaximum);
    // The step: the piece near the driver, then the careful or the plain flavour by where the
    // driver is against the player along the route.
    void Update(float dt);
    // Plain: full throttle at the next piece, constant nitro.
    void Steer(float dt);
    // Careful: looks ahead for turns, slows in them, steers round racers ahead, nitro on the
    // straight.
    void Drive(float dt);
    // Whether the stuck clock has run since the first state (the last position starts there).
    bool hasPosition = false;

    // Fields, in declaration order.
    float nitroTimer = 0.0f;
    bool nitroRequest = false;
    float steering = 0.0f;
    float throttle = 1.0f;
    D3DXVECTOR3 position{0.0f, 0.0f, 0.0f};
    D3DXVECTOR3 forward{0.0f, 0.0f, 0.0f};
    CPSmartPtr<CPPlayer> racer;
    D3DXVECTOR3 lastPosition{0.0f, 0.0f, 0.0f};
    float stuckTimer = 0.0f;
    bool reversing = false;
    CPLine* currentPiece = nullptr;
    float reverseTimer = 0.0f;
    float headingError = 0.0f;
    float speed = 0.0f;
    // The pieces of "right" (kind 1) and "c_path" (kind 2) given at load.
    CPLine* rightPiece = nullptr;
    CPLine* centrePiece = nullptr;
    int cameraMin = 0;
    int cameraMax = 0;
};

class AI_Task : public IPTask {
public:
    static constexpr int kRacerSlots = 12;
    // Slot 12 names no driver; traffic slots start after it.
    static constexpr int kFirstTrafficSlot = 13;

    // Twelve new racer drivers; traffic count 5.
    AI_Task();
    ~AI_Task() override;
    AI_Task(const AI_Task&) = delete;
    AI_Task& operator=(const AI_Task&) = delete;

    static AI_Task* GetInstance() { return s_instance; }

    int GetSize() const override { return static_cast<int>(sizeof(AI_Task)); }
    std::string GetClassName() const override { return "AI_Task"; }
    int GetKind() const override { return 1; }
    // The drivers' step; comes with the racers' driving.
    void Update() override;

    // Releases and removes every driver of both lists.
    void ClearVehicles();
    // Appends new drivers: racers to the slots from 0, traffic to the slots from 13.
    void AddRacerDrivers(int count);
    void AddTrafficDrivers(int count);
    // The driver of a slot (0 to 11 racers, 13 on traffic); null for slot 12 and every slot
    // beyond the lists.
    AI_Vehicle* GetVehicle(int slot) const;
    // Passes the piece to the slot's driver; nothing for a slot without one.
    void SetVehicleLine(int slot, int kind, CPLine* piece);
    // Hands the racer's state to the slot's driver; nothing for slot 12 or beyond the lists.
    void DriveVehicle(int slot, const CPSmartPtr<CPGameObject>& object, const D3DXVECTOR3& forward, float signedSpeed,
                      const CPSmartPtr<CPPlayer>& racer, int cameraMinimum, int cameraMaximum);

    // Fields, in declaration order.
    std::list<CPSmartPtr<AI_Vehicle>> racerDrivers;
    std::list<CPSmartPtr<AI_Vehicle>> trafficDrivers;
    bool trafficActive = false;
    int trafficCount = 5;

private:
    static AI_Task* s_instance;
};
