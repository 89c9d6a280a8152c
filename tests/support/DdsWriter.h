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

// EncodeDds written to a file; false when it cannot be encoded or written.
bool WriteDds(const std::filesystem::path& file, int width, int height, const std::vector<std::uint8_t>& rgba,
              DdsPixels pixels = DdsPixels::Dxt1);

} // namespace kxtest
