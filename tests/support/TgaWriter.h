#pragma once
// Uncompressed 32-bit TGA pictures from RGBA pixels, for test fixtures and the demo generator,
// and PNG pictures of what a test rendered, to look at.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace kxtest {

// The file bytes of a width x height picture; rgba holds width * height * 4 bytes, top row first.
// Empty when the sizes do not match the pixels.
std::vector<std::uint8_t> EncodeTga(int width, int height, const std::vector<std::uint8_t>& rgba);

// A picture of one colour (0xAARRGGBB) as file bytes, for fixtures written into a game root.
std::string SolidTga(int width, int height, std::uint32_t argb);

// EncodeTga written to a file; false when it cannot be encoded or written.
bool WriteTga(const std::filesystem::path& file, int width, int height, const std::vector<std::uint8_t>& rgba);

// A PNG of the pixels (rgba as above) written to a file; false when it cannot be encoded or written.
bool WritePng(const std::filesystem::path& file, int width, int height, const std::vector<std::uint8_t>& rgba);

} // namespace kxtest
