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

// The stored layouts a TGA file may have: run-length packets, and rows from the top (the
// origin flag set) rather than from the bottom. The plain EncodeTga writes rows from the bottom,
// uncompressed.
struct TgaLayout {
    bool rle = false;
    bool topFirst = false;
};
// As EncodeTga in the given layout. Rows from the top are written uncompressed: asked for with
// run-length packets too, the packets win. Empty when the sizes do not match the pixels.
std::vector<std::uint8_t> EncodeTga(int width, int height, const std::vector<std::uint8_t>& rgba, TgaLayout layout);

// A picture of one colour (0xAARRGGBB) as file bytes, for fixtures written into a game root.
std::string SolidTga(int width, int height, std::uint32_t argb);

// EncodeTga written to a file; false when it cannot be encoded or written.
bool WriteTga(const std::filesystem::path& file, int width, int height, const std::vector<std::uint8_t>& rgba);

// A PNG of the pixels (rgba as above) written to a file; false when it cannot be encoded or written.
bool WritePng(const std::filesystem::path& file, int width, int height, const std::vector<std::uint8_t>& rgba);

} // namespace kxtest
