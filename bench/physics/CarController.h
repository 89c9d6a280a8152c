#pragma once
// One ray-suspension car model shared by every engine: a spring-damper per wheel
// fed by the wheel's downward ray, a drive force on the rear wheels and a
// lateral tyre force limited by friction, all applied as one force and torque.

#include "BenchEngine.h"

#include <map>

namespace bench {

struct CarParameters {
    Vec3 chassis{4.0, 1.8, 1.2};
    double mass = 1200.0;
    double rayLength = 0.8;
    double spring = 9800.0;  // N/m: static compression m g / (4 k) = 0.3 m
    double damper = 1800.0;  // N s/m
    double lateral = 6000.0; // N per m/s of sideways slip
    double grip = 1.0;       // friction limit of the lateral force, times the wheel load
    double drive = 6000.0;   // N at full throttle, shared by the rear wheels
    double topSpeed = 25.0;  // m/s: no drive above it
    double wheelBase = 2.8;
    double gravity = 9.8;
    double StaticCompression() const { return mass * gravity / (4.0 * spring); }
    std::vector<Ray> Rays() const;
    BodyDesc Body(const Pose& pose) const;
};

// Throttle (0..1) and steering angle (radians, positive turns left) at time t.
using CarScript = void (*)(double t, double& throttle, double& steer);

class CarController : public RayController {
public:
    explicit CarController(const CarParameters& parameters) : m_p(parameters) {}
    void AddCar(int body, CarScript script) { m_cars[body].script = script; }
    void OnStep(int body, const RayHit* hits, int count, const Pose& hitPose, const Pose& pose, Vec3 velocity,
                Vec3 angularVelocity, Vec3& force, Vec3& torque) override;

private:
    struct Car {
        CarScript script = nullptr;
        int steps = 0;
        double previous[4] = {0.0, 0.0, 0.0, 0.0};
    };
    CarParameters m_p;
    std::map<int, Car> m_cars;
};

} // namespace bench
