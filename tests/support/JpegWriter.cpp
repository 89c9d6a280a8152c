#include "support/JpegWriter.h"

#include <algorithm>
#include <fstream>

// Static, as in the TGA writer: each translation unit keeps its own copy of the encoder.
#define STB_IMAGE_WRITE_STATIC
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb/stb_image_write.h>

namespace kxtest {

namespace {

void AppendBytes(void* context, void* data, int size) {
    auto* out = static_cast<std::vector<std::uint8_t>*>(context);
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    out->insert(out->end(), bytes, bytes + size);
}

} // namespace

std::vector<std::uint8_t> EncodeJpeg(int width, int height, const std::vector<std::uint8_t>& rgba, int quality) {
    std::vector<std::uint8_t> out;
    if (width <= 0 || height <= 0 || rgba.size() != static_cast<std::size_t>(width) * height * 4) return out;
    std::vector<std::uint8_t> rgb;
    rgb.reserve(static_cast<std::size_t>(width) * height * 3);
    for (std::size_t i = 0; i < rgba.size(); i += 4) rgb.insert(rgb.end(), rgba.begin() + i, rgba.begin() + i + 3);
    if (!stbi_write_jpg_to_func(AppendBytes, &out, width, height, 3, rgb.data(), std::clamp(quality, 1, 100)))
        out.clear();
    return out;
}

bool WriteJpeg(const std::filesystem::path& file, int width, int height, const std::vector<std::uint8_t>& rgba,
               int quality) {
    const std::vector<std::uint8_t> bytes = EncodeJpeg(width, height, rgba, quality);
    if (bytes.empty()) return false;
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

} // namespace kxtest
