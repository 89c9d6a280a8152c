#include "support/DdsWriter.h"

#include "Platform/Image/ImageDecode.h"
#include "support/ImageFileBytes.h"

#include <algorithm>
#include <fstream>
#include <utility>

namespace kxtest {

std::vector<std::uint8_t> EncodeDds(int width, int height, const std::vector<std::uint8_t>& rgba, DdsPixels pixels) {
    if (width <= 0 || height <= 0 || rgba.size() != static_cast<std::size_t>(width) * height * 4) return {};
    std::vector<std::uint8_t> bgra(rgba);
    for (std::size_t i = 0; i < bgra.size(); i += 4) std::swap(bgra[i], bgra[i + 2]);

    ImageTest::DdsLayout layout;
    layout.width = static_cast<std::uint32_t>(width);
    layout.height = static_cast<std::uint32_t>(height);
    std::vector<std::uint8_t> level;
    if (pixels == DdsPixels::Dxt1) {
        layout.fourCC = ImageTest::Fourcc("DXT1");
        level = Platform::CompressLevel(Platform::ImageFormat::DXT1, layout.width, layout.height, bgra);
        if (level.size() != Platform::ImageLevelBytes(Platform::ImageFormat::DXT1, layout.width, layout.height))
            return {};
    } else {
        level = std::move(bgra);
    }
    std::vector<std::uint8_t> out = ImageTest::DdsHeader(layout);
    out.insert(out.end(), level.begin(), level.end());
    return out;
}

namespace {

// The next level of a chain: each pixel the average of the 2 x 2 above it (an odd edge keeps
// its last row or column by itself).
std::vector<std::uint8_t> HalfSize(int width, int height, const std::vector<std::uint8_t>& rgba, int& outWidth,
                                   int& outHeight) {
    outWidth = width > 1 ? width / 2 : 1;
    outHeight = height > 1 ? height / 2 : 1;
    std::vector<std::uint8_t> out(static_cast<std::size_t>(outWidth) * outHeight * 4);
    for (int y = 0; y < outHeight; ++y)
        for (int x = 0; x < outWidth; ++x)
            for (int c = 0; c < 4; ++c) {
                int sum = 0, count = 0;
                for (int dy = 0; dy < 2; ++dy)
                    for (int dx = 0; dx < 2; ++dx) {
                        const int sx = std::min(width - 1, 2 * x + dx), sy = std::min(height - 1, 2 * y + dy);
                        sum += rgba[(static_cast<std::size_t>(sy) * width + sx) * 4 + c];
                        ++count;
                    }
                out[(static_cast<std::size_t>(y) * outWidth + x) * 4 + c] =
                    static_cast<std::uint8_t>((sum + count / 2) / count);
            }
    return out;
}

// The stored levels of one picture (its chain when asked), appended; false when one cannot be
// compressed.
bool AppendLevels(int width, int height, std::vector<std::uint8_t> rgba, const DdsOptions& options,
                  std::vector<std::uint8_t>& out, std::uint32_t& levels) {
    levels = 0;
    for (;;) {
        std::vector<std::uint8_t> bgra(rgba);
        for (std::size_t i = 0; i < bgra.size(); i += 4) std::swap(bgra[i], bgra[i + 2]);
        const auto w = static_cast<std::uint32_t>(width), h = static_cast<std::uint32_t>(height);
        if (options.pixels == DdsPixels::Dxt1) {
            const std::vector<std::uint8_t> level = Platform::CompressLevel(Platform::ImageFormat::DXT1, w, h, bgra);
            if (level.size() != Platform::ImageLevelBytes(Platform::ImageFormat::DXT1, w, h)) return false;
            out.insert(out.end(), level.begin(), level.end());
        } else {
            out.insert(out.end(), bgra.begin(), bgra.end());
        }
        ++levels;
        if (!options.mips || (width == 1 && height == 1)) return true;
        int nextWidth = 0, nextHeight = 0;
        rgba = HalfSize(width, height, rgba, nextWidth, nextHeight);
        width = nextWidth;
        height = nextHeight;
    }
}

} // namespace

std::vector<std::uint8_t> EncodeDds(int width, int height, const std::vector<std::uint8_t>& rgba, DdsOptions options) {
    if (width <= 0 || height <= 0 || rgba.size() != static_cast<std::size_t>(width) * height * 4) return {};
    std::vector<std::uint8_t> levels;
    ImageTest::DdsLayout layout;
    layout.width = static_cast<std::uint32_t>(width);
    layout.height = static_cast<std::uint32_t>(height);
    if (options.pixels == DdsPixels::Dxt1) layout.fourCC = ImageTest::Fourcc("DXT1");
    if (!AppendLevels(width, height, rgba, options, levels, layout.mips)) return {};
    std::vector<std::uint8_t> out = ImageTest::DdsHeader(layout);
    out.insert(out.end(), levels.begin(), levels.end());
    return out;
}

std::vector<std::uint8_t> EncodeDdsCube(int edge, const std::vector<std::vector<std::uint8_t>>& faces,
                                        DdsOptions options) {
    if (edge <= 0 || faces.size() != 6) return {};
    std::vector<std::uint8_t> levels;
    ImageTest::DdsLayout layout;
    layout.width = layout.height = static_cast<std::uint32_t>(edge);
    layout.cube = true;
    if (options.pixels == DdsPixels::Dxt1) layout.fourCC = ImageTest::Fourcc("DXT1");
    for (const std::vector<std::uint8_t>& face : faces) {
        if (face.size() != static_cast<std::size_t>(edge) * edge * 4) return {};
        if (!AppendLevels(edge, edge, face, options, levels, layout.mips)) return {};
    }
    std::vector<std::uint8_t> out = ImageTest::DdsHeader(layout);
    out.insert(out.end(), levels.begin(), levels.end());
    return out;
}

bool WriteDds(const std::filesystem::path& file, int width, int height, const std::vector<std::uint8_t>& rgba,
              DdsPixels pixels) {
    const std::vector<std::uint8_t> bytes = EncodeDds(width, height, rgba, pixels);
    if (bytes.empty()) return false;
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

} // namespace kxtest
