#include "support/TgaWriter.h"

#include <fstream>

// Static: test programs that bring their own copy of the writer link this library too.
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

std::vector<std::uint8_t> EncodeTga(int width, int height, const std::vector<std::uint8_t>& rgba) {
    std::vector<std::uint8_t> out;
    if (width <= 0 || height <= 0 || rgba.size() != static_cast<std::size_t>(width) * height * 4) return out;
    // Uncompressed keeps the files simple for every reader of them.
    stbi_write_tga_with_rle = 0;
    if (!stbi_write_tga_to_func(AppendBytes, &out, width, height, 4, rgba.data())) out.clear();
    return out;
}

std::vector<std::uint8_t> EncodeTga(int width, int height, const std::vector<std::uint8_t>& rgba, TgaLayout layout) {
    std::vector<std::uint8_t> out;
    if (width <= 0 || height <= 0 || width > 0xFFFF || height > 0xFFFF ||
        rgba.size() != static_cast<std::size_t>(width) * height * 4)
        return out;
    if (layout.rle || !layout.topFirst) {
        stbi_write_tga_with_rle = layout.rle ? 1 : 0;
        if (!stbi_write_tga_to_func(AppendBytes, &out, width, height, 4, rgba.data())) out.clear();
        stbi_write_tga_with_rle = 0;
        return out;
    }
    // True colour, 32 bits, 8 alpha bits and the top-left origin flag.
    out = {0,
           0,
           2,
           0,
           0,
           0,
           0,
           0,
           0,
           0,
           0,
           0,
           static_cast<std::uint8_t>(width & 0xFF),
           static_cast<std::uint8_t>(width >> 8),
           static_cast<std::uint8_t>(height & 0xFF),
           static_cast<std::uint8_t>(height >> 8),
           32,
           0x28};
    out.reserve(out.size() + rgba.size());
    for (std::size_t i = 0; i < rgba.size(); i += 4)
        out.insert(out.end(), {rgba[i + 2], rgba[i + 1], rgba[i], rgba[i + 3]});
    return out;
}

std::string SolidTga(int width, int height, std::uint32_t argb) {
    if (width <= 0 || height <= 0) return std::string();
    const std::uint8_t pixel[4] = {static_cast<std::uint8_t>(argb >> 16), static_cast<std::uint8_t>(argb >> 8),
                                   static_cast<std::uint8_t>(argb), static_cast<std::uint8_t>(argb >> 24)};
    std::vector<std::uint8_t> rgba;
    rgba.reserve(static_cast<std::size_t>(width) * height * 4);
    for (int i = 0; i < width * height; ++i) rgba.insert(rgba.end(), pixel, pixel + 4);
    const std::vector<std::uint8_t> bytes = EncodeTga(width, height, rgba);
    return std::string(bytes.begin(), bytes.end());
}

bool WriteTga(const std::filesystem::path& file, int width, int height, const std::vector<std::uint8_t>& rgba) {
    const std::vector<std::uint8_t> bytes = EncodeTga(width, height, rgba);
    if (bytes.empty()) return false;
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

bool WritePng(const std::filesystem::path& file, int width, int height, const std::vector<std::uint8_t>& rgba) {
    if (width <= 0 || height <= 0 || rgba.size() != static_cast<std::size_t>(width) * height * 4) return false;
    std::vector<std::uint8_t> bytes;
    if (!stbi_write_png_to_func(AppendBytes, &bytes, width, height, 4, rgba.data(), width * 4) || bytes.empty())
        return false;
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

} // namespace kxtest
