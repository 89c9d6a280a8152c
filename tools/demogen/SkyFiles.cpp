// The sky's pictures: the sphere's (white, so the keyframe gradient shows as it is), the sun, three
// phases of the moon for a layer that steps through its pictures, and the cloud puff. Every pixel
// comes from a formula, so the files are the same on every run.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "DemoGen.h"

namespace {

constexpr int kSize = 64;

std::uint8_t Byte(double v) {
    const double rounded = std::clamp(v, 0.0, 255.0) + 0.5;
    return static_cast<std::uint8_t>(rounded > 255.0 ? 255.0 : rounded);
}

// Distance of a pixel's centre from the picture's centre, in radii (1 at the edge's middle).
double Radius(int x, int y) {
    const double cx = (x + 0.5) / kSize * 2.0 - 1.0, cy = (y + 0.5) / kSize * 2.0 - 1.0;
    return std::sqrt(cx * cx + cy * cy);
}

// A small, fixed hash of a pixel for grain: 0..1.
double Grain(int x, int y, unsigned seed) {
    unsigned h = static_cast<unsigned>(x) * 374761393u + static_cast<unsigned>(y) * 668265263u + seed * 2246822519u;
    h = (h ^ (h >> 13)) * 1274126177u;
    return static_cast<double>((h ^ (h >> 16)) & 0xFFFF) / 65535.0;
}

void Put(std::vector<std::uint8_t>& rgba, int x, int y, double r, double g, double b, double a) {
    const std::size_t at = static_cast<std::size_t>((y * kSize + x) * 4);
    rgba[at] = Byte(r);
    rgba[at + 1] = Byte(g);
    rgba[at + 2] = Byte(b);
    rgba[at + 3] = Byte(a);
}

std::vector<std::uint8_t> Sphere() { return std::vector<std::uint8_t>(static_cast<std::size_t>(16 * 16 * 4), 255); }

std::vector<std::uint8_t> Sun() {
    std::vector<std::uint8_t> rgba(static_cast<std::size_t>(kSize * kSize * 4));
    for (int y = 0; y < kSize; ++y)
        for (int x = 0; x < kSize; ++x) {
            const double r = Radius(x, y);
            // A bright disc and a glow that fades to nothing at the edge.
            const double disc = r < 0.35 ? 1.0 : 0.0;
            const double glow = std::max(0.0, 1.0 - r) * std::max(0.0, 1.0 - r);
            const double a = std::max(disc, glow * 0.8);
            Put(rgba, x, y, 255, 240 - 30 * (1 - disc), 200 - 80 * (1 - disc), a * 255);
        }
    return rgba;
}

// The moon lit from the right: phase 0 a crescent, 1 a half, 2 full.
std::vector<std::uint8_t> Moon(int phase) {
    std::vector<std::uint8_t> rgba(static_cast<std::size_t>(kSize * kSize * 4));
    const double terminator = phase == 0 ? 0.5 : (phase == 1 ? 0.0 : -1.2);
    for (int y = 0; y < kSize; ++y)
        for (int x = 0; x < kSize; ++x) {
            const double r = Radius(x, y);
            const double cx = (x + 0.5) / kSize * 2.0 - 1.0;
            const bool inside = r < 0.8;
            const bool lit = cx / 0.8 > terminator;
            const double shade = 200 + 40 * Grain(x, y, 7);
            Put(rgba, x, y, shade, shade, shade + 10, inside ? (lit ? 255 : 40) : 0);
        }
    return rgba;
}

std::vector<std::uint8_t> CloudPuff() {
    std::vector<std::uint8_t> rgba(static_cast<std::size_t>(kSize * kSize * 4));
    for (int y = 0; y < kSize; ++y)
        for (int x = 0; x < kSize; ++x) {
            const double r = Radius(x, y);
            const double soft = std::max(0.0, 1.0 - r);
            const double a = soft * soft * (0.75 + 0.25 * Grain(x, y, 3));
            const double light = 235 + 20 * (1.0 - static_cast<double>(y) / kSize);
            Put(rgba, x, y, light, light, light, a * 255);
        }
    return rgba;
}

bool WriteSkyFiles(const std::filesystem::path& root) {
    bool ok = demogen::WritePicture(root, "Data/Textures/sky_sphere.tga", 16, 16, Sphere());
    ok = demogen::WritePicture(root, "Data/Textures/sky_sun.tga", kSize, kSize, Sun()) && ok;
    for (int phase = 0; phase < 3; ++phase)
        ok = demogen::WritePicture(root, "Data/Textures/sky_moon" + std::to_string(phase + 1) + ".tga", kSize, kSize,
                                   Moon(phase)) &&
             ok;
    ok = demogen::WritePicture(root, "Data/Textures/cloud.tga", kSize, kSize, CloudPuff()) && ok;
    return ok;
}

} // namespace

DEMOGEN_FAMILY("sky", WriteSkyFiles);
