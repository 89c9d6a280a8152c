#include "support/DdsWriter.h"

#include "Platform/Image/ImageDecode.h"
#include "support/ImageFileBytes.h"

#include <fstream>

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

bool WriteDds(const std::filesystem::path& file, int width, int height, const std::vector<std::uint8_t>& rgba,
              DdsPixels pixels) {
    const std::vector<std::uint8_t> bytes = EncodeDds(width, height, rgba, pixels);
    if (bytes.empty()) return false;
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

} // namespace kxtest
