#pragma once
// Texture files decoded to what a device uploads, as the D3DX texture loaders did: DDS (block
// compressed DXT1/3/5 or uncompressed, mip chains, cube maps), TGA, BMP, PNG and JPEG. Every
// reader checks its sizes against the bytes it was given; a truncated or lying file is a
// failure with a message, never a read past the buffer.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace Platform {

enum class ImageFormat {
    BGRA8, // 4 bytes a pixel: blue, green, red, alpha
    DXT1,  // 8 bytes a 4x4 block
    DXT3,  // 16 bytes a 4x4 block
    DXT5,  // 16 bytes a 4x4 block
};

bool IsBlockCompressed(ImageFormat format);
// Bytes of one level of that size (blocks round up to 4x4).
size_t ImageLevelBytes(ImageFormat format, uint32_t width, uint32_t height);

struct ImageLevel {
    uint32_t width = 0;
    uint32_t height = 0;
    std::vector<uint8_t> data;
};

enum class ImageFileFormat { BMP = 0, JPG = 1, TGA = 2, PNG = 3, DDS = 4 };

struct Image {
    ImageFormat format = ImageFormat::BGRA8;
    ImageFileFormat fileFormat = ImageFileFormat::DDS;
    // As the file gave them, before any rescaling or mip generation.
    uint32_t fileWidth = 0;
    uint32_t fileHeight = 0;
    uint32_t fileMipLevels = 0;
    uint32_t width = 0;
    uint32_t height = 0;
    bool cube = false;
    // faces[face][level]; one face for a 2D texture, six (+X, -X, +Y, -Y, +Z, -Z) for a cube.
    std::vector<std::vector<ImageLevel>> faces;

    uint32_t MipLevels() const { return faces.empty() ? 0 : static_cast<uint32_t>(faces[0].size()); }
};

struct ImageLoadOptions {
    // Sizes taken from the file are rounded up to powers of two and the image rescaled
    // (the loaders' default size).
    bool roundToPowerOfTwo = true;
    // Explicit sizes (0: from the file); they win over the rounding.
    uint32_t width = 0;
    uint32_t height = 0;
    // Neither side larger than this (0: no limit); larger images are scaled down.
    uint32_t maxSide = 0;
    // 0: the full chain down to 1x1 (the default); otherwise at most this many levels.
    uint32_t mipLevels = 0;
    // Keep the levels the file holds (DDS), generating none.
    bool mipLevelsFromFile = false;
    // Pixels of this colour (A8R8G8B8, compared whole) become transparent black; 0: none.
    uint32_t colourKey = 0;
    // A cube map is asked for: only a DDS holding all six faces answers it.
    bool cube = false;
};

// The largest side and the most pixels accepted from a file; larger ones are treated as hostile
// (a few bytes of header must not make the loader allocate gigabytes).
constexpr uint32_t kMaxImageSide = 16384;
constexpr uint64_t kMaxImagePixels = 4096ull * 4096ull;

bool DecodeImage(const void* data, size_t size, const ImageLoadOptions& options, Image& out, std::string& error);

// One level of a block-compressed image decoded to BGRA8 (the device's fallback and the tests'
// pixel checks). Answers an empty vector when data is shorter than the level.
std::vector<uint8_t> DecompressLevel(ImageFormat format, uint32_t width, uint32_t height, const uint8_t* data,
                                     size_t size);

// BGRA8 pixels of one level compressed to a block format (stb_dxt; DXT3 alpha stored as 4 bits).
std::vector<uint8_t> CompressLevel(ImageFormat format, uint32_t width, uint32_t height,
                                   const std::vector<uint8_t>& bgra);

} // namespace Platform
