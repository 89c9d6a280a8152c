#include "BenchEngine.h"

#include <algorithm>

namespace bench {

Quat AxisAngle(Vec3 axis, double angle) {
    double len = Length(axis);
    if (len <= 0.0) return {};
    double s = std::sin(angle * 0.5) / len;
    return {axis.x * s, axis.y * s, axis.z * s, std::cos(angle * 0.5)};
}

Quat Multiply(Quat a, Quat b) {
    return {a.w * b.x + a.x * b.w + a.y * b.z - a.z * b.y, a.w * b.y - a.x * b.z + a.y * b.w + a.z * b.x,
            a.w * b.z + a.x * b.y - a.y * b.x + a.z * b.w, a.w * b.w - a.x * b.x - a.y * b.y - a.z * b.z};
}

Vec3 Rotate(Quat q, Vec3 v) {
    Vec3 u{q.x, q.y, q.z};
    Vec3 t = 2.0 * Cross(u, v);
    return v + q.w * t + Cross(u, t);
}

bool IsFinite(Quat q) { return std::isfinite(q.x) && std::isfinite(q.y) && std::isfinite(q.z) && std::isfinite(q.w); }

Vec3 ShapeInertia(const BodyDesc& d) {
    if (d.inertia.x > 0.0 || d.inertia.y > 0.0 || d.inertia.z > 0.0) return d.inertia;
    double m = d.mass;
    if (d.shape == ShapeKind::Box) {
        double x = d.size.x, y = d.size.y, z = d.size.z;
        return {m * (y * y + z * z) / 12.0, m * (x * x + z * z) / 12.0, m * (x * x + y * y) / 12.0};
    }
    if (d.shape == ShapeKind::Hull) {
        // The solid box around the corners: near enough for the comparison, and every
        // engine gets the same.
        Vec3 lo{1e300, 1e300, 1e300}, hi{-1e300, -1e300, -1e300};
        for (const Vec3& v : d.hullPoints) {
            lo = {std::min(lo.x, v.x), std::min(lo.y, v.y), std::min(lo.z, v.z)};
            hi = {std::max(hi.x, v.x), std::max(hi.y, v.y), std::max(hi.z, v.z)};
        }
        double x = hi.x - lo.x, y = hi.y - lo.y, z = hi.z - lo.z;
        return {m * (y * y + z * z) / 12.0, m * (x * x + z * z) / 12.0, m * (x * x + y * y) / 12.0};
    }
    // Capsule along y: a cylinder and two hemispheres sharing the mass by volume.
    double r = d.radius, h = d.length;
    double vc = M_PI * r * r * h, vs = 4.0 / 3.0 * M_PI * r * r * r;
    double mc = m * vc / (vc + vs), ms = m - mc;
    double axial = mc * r * r / 2.0 + ms * 2.0 * r * r / 5.0;
    double across = mc * (3.0 * r * r + h * h) / 12.0 + ms * (2.0 * r * r / 5.0 + h * h / 4.0 + 3.0 * h * r / 8.0);
    return {across, axial, across};
}

} // namespace bench
