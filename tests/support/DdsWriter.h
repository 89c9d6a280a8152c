#pragma once
// DDS pictures from RGBA pixels, for test fixtures and the demo generator: one level, either
// block-compressed DXT1 (through the engine's own compressor) or uncompressed 32-bit.

#include <cstdint>
#include <filesystem>
#include <vector>

namespace kxtest {

enum class DdsPixels { Dxt1, Bgra8 };

// The file bytes of a width x height picture; rgba holds width * height * 4 bytes, top row first.
// Empty when the sizes do not match the pixels.
std::vector<std::uint8_t> EncodeDds(int width, int height, const std::vector<std::uint8_t>& rgba,
                                    DdsPixels pixels = DdsPixels::Dxt1);

// Pictures with their mip chains and cube maps. Each mip level is the 2 x 2 box average of the
// one before, down to 1 x 1. A cube map has six square faces in the order +x, -x, +y, -y, +z,
// -z, each with its chain when asked; empty when a face is missing or not edge x edge.
struct DdsOptions {
    DdsPixels pixels = DdsPixels::Dxt1;
    bool mips = false;
};
std::vector<std::uint8_t> EncodeDds(int width, int height, const std::vector<std::uint8_t>& rgba, DdsOptions options);
std::vector<std::uint8_t> EncodeDdsCube(int edge, const std::vector<std::vector<std::uint8_t>>& faces,
                                        DdsOptions options);

// EncodeDds written to a file; false when it cannot be encoded or written.
bool WriteDds(const std::filesystem::path& file, int width, int height, const std::vector<std::uint8_t>& rgba,
              DdsPixels pixels = DdsPixels::Dxt1);

} // namespace kxtest
