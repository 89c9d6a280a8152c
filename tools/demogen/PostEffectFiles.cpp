// The post effects' pictures: the radial blur's mask (clear in the middle of the screen, opaque
// at its edges, so that the centre stays sharp at any speed) and the grain the bloom lays over
// the frame (grey speckles of small alpha). Both are the same bytes on every run.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "DemoGen.h"

namespace {

constexpr int kMaskSize = 256;
constexpr int kNoiseSize = 256;

// A fixed sequence (xorshift32): the generated files must not change from run to run.
class Sequence {
public:
    explicit Sequence(std::uint32_t seed) : m_state(seed ? seed : 1u) {}
    std::uint32_t Next() {
        m_state ^= m_state << 13;
        m_state ^= m_state >> 17;
        m_state ^= m_state << 5;
        return m_state;
    }

private:
    std::uint32_t m_state;
};

double SmoothStep(double edge0, double edge1, double x) {
    const double t = std::clamp((x - edge0) / (edge1 - edge0), 0.0, 1.0);
    return t * t * (3.0 - 2.0 * t);
}

std::vector<std::uint8_t> BlurMask() {
    std::vector<std::uint8_t> rgba(static_cast<std::size_t>(kMaskSize) * kMaskSize * 4);
    for (int y = 0; y < kMaskSize; ++y) {
        for (int x = 0; x < kMaskSize; ++x) {
            // Distance from the centre, 0 there and 1 at the middle of each edge.
            const double dx = (x + 0.5) / kMaskSize - 0.5, dy = (y + 0.5) / kMaskSize - 0.5;
            const double r = std::sqrt(dx * dx + dy * dy) * 2.0;
            const double alpha = SmoothStep(0.3, 1.0, r);
            std::uint8_t* p = &rgba[(static_cast<std::size_t>(y) * kMaskSize + x) * 4];
            p[0] = p[1] = p[2] = 255;
            p[3] = static_cast<std::uint8_t>(std::lround(alpha * 255.0));
        }
    }
    return rgba;
}

std::vector<std::uint8_t> Noise() {
    std::vector<std::uint8_t> rgba(static_cast<std::size_t>(kNoiseSize) * kNoiseSize * 4);
    Sequence sequence(0x6B584E31u);
    for (std::size_t i = 0; i < rgba.size(); i += 4) {
        const std::uint32_t r = sequence.Next();
        const std::uint8_t grey = static_cast<std::uint8_t>(r & 0xFF);
        rgba[i] = rgba[i + 1] = rgba[i + 2] = grey;
        // A faint grain: 6 to 21 of 255.
        rgba[i + 3] = static_cast<std::uint8_t>(6 + ((r >> 8) & 0x0F));
    }
    return rgba;
}

bool WritePostEffectFiles(const std::filesystem::path& root) {
    bool ok = demogen::WritePicture(root, "Data/Textures/blurmask_2_.tga", kMaskSize, kMaskSize, BlurMask());
    ok = demogen::WritePicture(root, "Data/Textures/noise.tga", kNoiseSize, kNoiseSize, Noise()) && ok;
    return ok;
}

} // namespace

DEMOGEN_FAMILY("post effects", WritePostEffectFiles);
