#pragma once
// Baseline JPEG pictures from RGBA pixels (alpha dropped), for test fixtures and the demo
// generator.

#include <cstdint>
#include <filesystem>
#include <vector>

namespace kxtest {

// The file bytes of a width x height picture; rgba holds width * height * 4 bytes, top row first.
// quality runs from 1 to 100. Empty when the sizes do not match the pixels.
std::vector<std::uint8_t> EncodeJpeg(int width, int height, const std::vector<std::uint8_t>& rgba, int quality = 90);

// EncodeJpeg written to a file; false when it cannot be encoded or written.
bool WriteJpeg(const std::filesystem::path& file, int width, int height, const std::vector<std::uint8_t>& rgba,
               int quality = 90);

} // namespace kxtest
