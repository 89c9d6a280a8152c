#pragma once
// The automatic gear box of one car: turns the driver's throttle into an engine speed and the
// engine force that drives the wheels, with a list of forward gears, a reverse gear and the
// engine's rise and fall rates. It switches the brake through the car's racer.

#include <vector>

// One gear: engine force = engine speed x coefficient; shifts down at or below minimum, up at
// or above maximum once the car is at least as fast as the change speed.
struct SPGear {
    float coefficient = 0.0f;
    float minimum = 0.0f;
    float maximum = 0.0f;
    float changeSpeed = 0.0f;
    float rise = 0.0f;
};

// What the box needs of its car; the car implements it.
class IPGearBoxHost {
public:
    virtual ~IPGearBoxHost() = default;
    virtual bool IsBraking() const = 0;
    virtual float GetSpeed() const = 0;
    // Goes through the racer, which ignores it while locked.
    virtual void RequestBrake(bool on) = 0;
};

class GearBox {
public:
    static constexpr int kIdle = 0;
    static constexpr int kForward = 1;
    static constexpr int kReverse = 2;
    static constexpr float kMaxForwardEngineSpeed = 9.0f;
    static constexpr float kMaxReverseEngineSpeed = 8.0f;
    static constexpr float kShiftDelay = 0.25f;

    GearBox() = default;
    virtual ~GearBox() = default;
    GearBox(const GearBox&) = delete;
    GearBox& operator=(const GearBox&) = delete;

    void Reset();
    void SetCar(IPGearBoxHost* car) { m_car = car; }
    // One step; the result is the engine force.
    float Update(float dt);
    // The gear to use while accelerating (may set the engine speed).
    int PickLowerGear();
    // The box every car gets when its description names no gear.
    void InstallDefaults();

    int GetState() const { return m_state; }
    float GetThrottle() const { return m_throttle; }
    void SetThrottle(float throttle) { m_throttle = throttle; }
    float GetCarSpeed() const { return m_carSpeed; }
    void SetCarSpeed(float speed) { m_carSpeed = speed; }
    bool IsPlayerBox() const { return m_playerBox; }
    void SetPlayerBox(bool player) { m_playerBox = player; }
    float GetEngineForce() const { return m_engineForce; }
    float GetEngineSpeed() const { return m_engineSpeed; }
    void SetEngineSpeed(float speed) { m_engineSpeed = speed; }
    int GetCurrentGear() const { return m_currentGear; }
    void SetCurrentGear(int gear) { m_currentGear = gear; }
    float GetRiseFactor() const { return m_riseFactor; }
    float GetFallFactor() const { return m_fallFactor; }
    void SetFactors(float rise, float fall) {
        m_riseFactor = rise;
        m_fallFactor = fall;
    }
    float GetTractionTime() const { return m_tractionTime; }
    std::vector<SPGear>& Gears() { return m_gears; }
    const std::vector<SPGear>& Gears() const { return m_gears; }
    SPGear& ReverseGear() { return m_reverseGear; }
    const SPGear& ReverseGear() const { return m_reverseGear; }

private:
    bool CarBrakes() const { return m_car && m_car->IsBraking(); }
    void SetBrake(bool on) {
        if (m_car) m_car->RequestBrake(on);
    }
    void UpdateForward(float dt);
    void UpdateReverse(float dt);

    int m_state = kIdle;
    float m_throttle = 0.0f;
    float m_carSpeed = 0.0f;
    bool m_playerBox = false;
    float m_engineForce = 0.0f;
    float m_engineSpeed = 0.0f;
    int m_currentGear = 0;
    // A box that never read its factors or reverse gear behaves as the default one.
    float m_riseFactor = 1.0f;
    float m_fallFactor = 5.0f;
    float m_tractionTime = -1.0f;
    IPGearBoxHost* m_car = nullptr;
    std::vector<SPGear> m_gears;
    SPGear m_reverseGear{-1.0f, 1.0f, 3.0f, 0.0f, 1.0f};
};
