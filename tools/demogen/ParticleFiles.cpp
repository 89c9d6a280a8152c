// The particles' picture: one soft white puff whose alpha falls from the middle to nothing at
// the rim, so the particle tables' colour keys tint it and billboards overlap without edges.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "DemoGen.h"

namespace {

constexpr int kPuffSize = 64;

std::vector<std::uint8_t> Puff() {
    std::vector<std::uint8_t> rgba(static_cast<std::size_t>(kPuffSize) * kPuffSize * 4);
    const double centre = (kPuffSize - 1) / 2.0;
    for (int y = 0; y < kPuffSize; ++y) {
        for (int x = 0; x < kPuffSize; ++x) {
            const double r = std::hypot(x - centre, y - centre) / (kPuffSize / 2.0);
            const double fall = std::clamp(1.0 - r, 0.0, 1.0);
            std::uint8_t* p = &rgba[(static_cast<std::size_t>(y) * kPuffSize + x) * 4];
            p[0] = p[1] = p[2] = 255;
            p[3] = static_cast<std::uint8_t>(std::lround(255.0 * fall * fall));
        }
    }
    return rgba;
}

bool WriteParticleFiles(const std::filesystem::path& root) {
    return demogen::WritePicture(root, "Data/Textures/particle.tga", kPuffSize, kPuffSize, Puff());
}

} // namespace

DEMOGEN_FAMILY("particles", WriteParticleFiles);
