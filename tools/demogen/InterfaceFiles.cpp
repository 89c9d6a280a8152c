// The interface's generated pictures: window.tga, the screen mask the lens-flare effect reads
// through the second texture coordinates (the vertex's place on the screen), full in the middle
// of the screen and fading to nothing at its edges, so flares thrown toward a border die out.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "DemoGen.h"

namespace {

constexpr int kMaskSize = 128;

bool WriteInterfaceFiles(const std::filesystem::path& root) {
    std::vector<std::uint8_t> rgba(static_cast<std::size_t>(kMaskSize) * kMaskSize * 4);
    for (int y = 0; y < kMaskSize; ++y) {
        for (int x = 0; x < kMaskSize; ++x) {
            // Distance to the nearest border, 0 at the edge and 1 from a quarter inwards.
            const float u = (static_cast<float>(x) + 0.5f) / kMaskSize;
            const float v = (static_cast<float>(y) + 0.5f) / kMaskSize;
            const float edge = std::min(std::min(u, 1.0f - u), std::min(v, 1.0f - v));
            const float t = std::clamp(edge * 4.0f, 0.0f, 1.0f);
            const float smooth = t * t * (3.0f - 2.0f * t);
            const auto level = static_cast<std::uint8_t>(std::lround(smooth * 255.0f));
            std::uint8_t* pixel = &rgba[(static_cast<std::size_t>(y) * kMaskSize + x) * 4];
            pixel[0] = pixel[1] = pixel[2] = level;
            pixel[3] = level;
        }
    }
    return demogen::WritePicture(root, "Data/Textures/window.tga", kMaskSize, kMaskSize, rgba);
}

} // namespace

DEMOGEN_FAMILY("interface", WriteInterfaceFiles);
