#include "CarController.h"

#include <algorithm>

namespace bench {

std::vector<Ray> CarParameters::Rays() const {
    double hx = wheelBase * 0.5, hy = chassis.y * 0.5 - 0.1, hz = chassis.z * 0.5;
    std::vector<Ray> rays;
    for (double sx : {1.0, -1.0})
        for (double sy : {1.0, -1.0}) rays.push_back({{sx * hx, sy * hy, -hz}, {0.0, 0.0, -rayLength}});
    return rays;
}

BodyDesc CarParameters::Body(const Pose& pose) const {
    BodyDesc d;
    d.shape = ShapeKind::Box;
    d.size = chassis;
    d.mass = mass;
    d.pose = pose;
    d.friction = 0.5;
    d.restitution = 0.0;
    return d;
}

void CarController::OnStep(int body, const RayHit* hits, int count, const Pose&, const Pose& pose, Vec3 velocity,
                           Vec3 angularVelocity, Vec3& force, Vec3& torque) {
    Car& car = m_cars[body];
    double t = car.steps * kStep;
    ++car.steps;
    double throttle = 0.0, steer = 0.0;
    if (car.script) car.script(t, throttle, steer);

    Vec3 up = Rotate(pose.rotation, {0.0, 0.0, 1.0});
    Vec3 forward = Rotate(pose.rotation, {1.0, 0.0, 0.0});
    double speed = Dot(velocity, forward);
    std::vector<Ray> rays = m_p.Rays();
    force = {};
    torque = {};
    for (int i = 0; i < count && i < 4; ++i) {
        double compression = hits[i].hit ? std::min(hits[i].depth, m_p.rayLength) : 0.0;
        double rate = (compression - car.previous[i]) / kStep;
        car.previous[i] = compression;
        if (!hits[i].hit) continue;
        double load = std::max(0.0, m_p.spring * compression + m_p.damper * rate);
        Vec3 arm = Rotate(pose.rotation, rays[i].origin);
        Vec3 pointVelocity = velocity + Cross(angularVelocity, arm);
        bool front = rays[i].origin.x > 0.0;
        Vec3 heading = forward;
        if (front) heading = forward * std::cos(steer) + Cross(up, forward) * std::sin(steer);
        Vec3 side = Cross(up, heading);
        double slip = Dot(pointVelocity, side);
        double limit = m_p.grip * load;
        double lateral = std::clamp(-m_p.lateral * slip, -limit, limit);
        double drive = (!front && speed < m_p.topSpeed) ? throttle * m_p.drive * 0.5 : 0.0;
        Vec3 f = up * load + side * lateral + heading * drive;
        force = force + f;
        torque = torque + Cross(arm, f);
    }
}

} // namespace bench
