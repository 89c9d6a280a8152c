#include "Platform/Image/ImageDecode.h"

#include <stb/stb_dxt.h>
#include <stb/stb_image.h>
#include <stb/stb_image_resize.h>

#include <algorithm>
#include <cstring>
#include <memory>

namespace Platform {

namespace {

uint32_t ReadU32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
           (static_cast<uint32_t>(p[3]) << 24);
}

uint16_t ReadU16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

uint32_t RoundUpPow2(uint32_t v) {
    uint32_t p = 1;
    while (p < v) p <<= 1;
    return p;
}

uint32_t FullChainLength(uint32_t w, uint32_t h) {
    uint32_t levels = 1;
    while (w > 1 || h > 1) {
        w = std::max(1u, w / 2);
        h = std::max(1u, h / 2);
        ++levels;
    }
    return levels;
}

constexpr uint32_t FourCC(char a, char b, char c, char d) {
    return static_cast<uint32_t>(static_cast<uint8_t>(a)) | (static_cast<uint32_t>(static_cast<uint8_t>(b)) << 8) |
           (static_cast<uint32_t>(static_cast<uint8_t>(c)) << 16) |
           (static_cast<uint32_t>(static_cast<uint8_t>(d)) << 24);
}

// ---- DXT blocks -------------------------------------------------------------------------

void Rgb565(uint16_t c, uint8_t& r, uint8_t& g, uint8_t& b) {
    r = static_cast<uint8_t>(((c >> 11) & 31) * 255 / 31);
    g = static_cast<uint8_t>(((c >> 5) & 63) * 255 / 63);
    b = static_cast<uint8_t>((c & 31) * 255 / 31);
}

// Writes 16 BGRA pixels of a colour block; alpha is left at 255 (or 0 for DXT1's transparent
// index when threeColourTransparent).
void DecodeColourBlock(const uint8_t* block, uint8_t* out, bool allowThreeColour) {
    const uint16_t c0 = ReadU16(block);
    const uint16_t c1 = ReadU16(block + 2);
    uint8_t palette[4][4]; // b g r a
    uint8_t r, g, b;
    Rgb565(c0, r, g, b);
    palette[0][0] = b;
    palette[0][1] = g;
    palette[0][2] = r;
    palette[0][3] = 255;
    Rgb565(c1, r, g, b);
    palette[1][0] = b;
    palette[1][1] = g;
    palette[1][2] = r;
    palette[1][3] = 255;
    if (c0 > c1 || !allowThreeColour) {
        for (int k = 0; k < 3; ++k) {
            palette[2][k] = static_cast<uint8_t>((2 * palette[0][k] + palette[1][k]) / 3);
            palette[3][k] = static_cast<uint8_t>((palette[0][k] + 2 * palette[1][k]) / 3);
        }
        palette[2][3] = palette[3][3] = 255;
    } else {
        for (int k = 0; k < 3; ++k) {
            palette[2][k] = static_cast<uint8_t>((palette[0][k] + palette[1][k]) / 2);
            palette[3][k] = 0;
        }
        palette[2][3] = 255;
        palette[3][3] = 0;
    }
    const uint32_t indices = ReadU32(block + 4);
    for (int i = 0; i < 16; ++i) std::memcpy(out + i * 4, palette[(indices >> (2 * i)) & 3], 4);
}

void DecodeBlock(ImageFormat format, const uint8_t* block, uint8_t* pixels) {
    switch (format) {
    case ImageFormat::DXT1: DecodeColourBlock(block, pixels, true); break;
    case ImageFormat::DXT3:
        DecodeColourBlock(block + 8, pixels, false);
        for (int i = 0; i < 16; ++i) {
            const uint8_t nibble = static_cast<uint8_t>((block[i / 2] >> ((i & 1) * 4)) & 15);
            pixels[i * 4 + 3] = static_cast<uint8_t>(nibble * 17);
        }
        break;
    case ImageFormat::DXT5: {
        DecodeColourBlock(block + 8, pixels, false);
        uint8_t a[8];
        a[0] = block[0];
        a[1] = block[1];
        if (a[0] > a[1]) {
            for (int k = 1; k < 7; ++k) a[k + 1] = static_cast<uint8_t>(((7 - k) * a[0] + k * a[1]) / 7);
        } else {
            for (int k = 1; k < 5; ++k) a[k + 1] = static_cast<uint8_t>(((5 - k) * a[0] + k * a[1]) / 5);
            a[6] = 0;
            a[7] = 255;
        }
        uint64_t bits = 0;
        for (int k = 0; k < 6; ++k) bits |= static_cast<uint64_t>(block[2 + k]) << (8 * k);
        for (int i = 0; i < 16; ++i) pixels[i * 4 + 3] = a[(bits >> (3 * i)) & 7];
        break;
    }
    case ImageFormat::BGRA8: break;
    }
}

size_t BlockBytes(ImageFormat format) { return format == ImageFormat::DXT1 ? 8 : 16; }

// BGRA8 -> blocks with stb_dxt (which takes RGBA).
std::vector<uint8_t> CompressBlocks(ImageFormat format, uint32_t width, uint32_t height,
                                    const std::vector<uint8_t>& bgra) {
    const uint32_t bw = (width + 3) / 4, bh = (height + 3) / 4;
    std::vector<uint8_t> out(static_cast<size_t>(bw) * bh * BlockBytes(format));
    uint8_t rgba[64];
    uint8_t* dst = out.data();
    for (uint32_t by = 0; by < bh; ++by) {
        for (uint32_t bx = 0; bx < bw; ++bx) {
            for (int i = 0; i < 16; ++i) {
                const uint32_t x = std::min(width - 1, bx * 4 + (i & 3));
                const uint32_t y = std::min(height - 1, by * 4 + (i >> 2));
                const uint8_t* p = &bgra[(static_cast<size_t>(y) * width + x) * 4];
                rgba[i * 4 + 0] = p[2];
                rgba[i * 4 + 1] = p[1];
                rgba[i * 4 + 2] = p[0];
                rgba[i * 4 + 3] = p[3];
            }
            if (format == ImageFormat::DXT5) {
                stb_compress_dxt_block(dst, rgba, 1, STB_DXT_HIGHQUAL);
            } else if (format == ImageFormat::DXT1) {
                stb_compress_dxt_block(dst, rgba, 0, STB_DXT_HIGHQUAL);
            } else { // DXT3: explicit 4-bit alpha, then a four-colour block
                std::memset(dst, 0, 8);
                for (int i = 0; i < 16; ++i)
                    dst[i / 2] |= static_cast<uint8_t>((rgba[i * 4 + 3] / 17) << ((i & 1) * 4));
                stb_compress_dxt_block(dst + 8, rgba, 0, STB_DXT_HIGHQUAL);
            }
            dst += BlockBytes(format);
        }
    }
    return out;
}

std::vector<uint8_t> ToBgra(ImageFormat format, const ImageLevel& level) {
    if (format == ImageFormat::BGRA8) return level.data;
    return DecompressLevel(format, level.width, level.height, level.data.data(), level.data.size());
}

// Box-filtered half-size level (the triangle filter of a 2:1 reduction).
std::vector<uint8_t> HalveBgra(const std::vector<uint8_t>& src, uint32_t w, uint32_t h, uint32_t nw, uint32_t nh) {
    std::vector<uint8_t> dst(static_cast<size_t>(nw) * nh * 4);
    for (uint32_t y = 0; y < nh; ++y) {
        for (uint32_t x = 0; x < nw; ++x) {
            const uint32_t x0 = std::min(w - 1, x * 2), x1 = std::min(w - 1, x * 2 + 1);
            const uint32_t y0 = std::min(h - 1, y * 2), y1 = std::min(h - 1, y * 2 + 1);
            for (int c = 0; c < 4; ++c) {
                const unsigned sum =
                    src[(static_cast<size_t>(y0) * w + x0) * 4 + c] + src[(static_cast<size_t>(y0) * w + x1) * 4 + c] +
                    src[(static_cast<size_t>(y1) * w + x0) * 4 + c] + src[(static_cast<size_t>(y1) * w + x1) * 4 + c];
                dst[(static_cast<size_t>(y) * nw + x) * 4 + c] = static_cast<uint8_t>((sum + 2) / 4);
            }
        }
    }
    return dst;
}

// Brings every face to the asked size and level count: rescales to powers of two, then
// completes or cuts the mip chain. Block-compressed images stay compressed.
void FinishImage(Image& image, const ImageLoadOptions& options) {
    uint32_t w = options.width ? options.width : (options.roundToPowerOfTwo ? RoundUpPow2(image.width) : image.width);
    uint32_t h =
        options.height ? options.height : (options.roundToPowerOfTwo ? RoundUpPow2(image.height) : image.height);
    w = std::min(w, kMaxImageSide);
    h = std::min(h, kMaxImageSide);
    while (static_cast<uint64_t>(w) * h > kMaxImagePixels) {
        w = std::max(1u, w / 2);
        h = std::max(1u, h / 2);
    }
    if (options.maxSide) {
        while (w > options.maxSide || h > options.maxSide) {
            w = std::max(1u, w / 2);
            h = std::max(1u, h / 2);
        }
    }
    if (w != image.width || h != image.height) {
        // Only the top level is rescaled: the file's own smaller levels no longer fit the new size.
        for (auto& face : image.faces) {
            std::vector<uint8_t> src = ToBgra(image.format, face[0]);
            std::vector<uint8_t> dst(static_cast<size_t>(w) * h * 4);
            stbir_resize_uint8(src.data(), static_cast<int>(image.width), static_cast<int>(image.height), 0, dst.data(),
                               static_cast<int>(w), static_cast<int>(h), 0, 4);
            face.clear();
            ImageLevel level;
            level.width = w;
            level.height = h;
            level.data = image.format == ImageFormat::BGRA8 ? std::move(dst) : CompressBlocks(image.format, w, h, dst);
            face.push_back(std::move(level));
        }
        image.width = w;
        image.height = h;
    }
    const uint32_t full = FullChainLength(image.width, image.height);
    uint32_t wanted = options.mipLevels == 0 ? full : std::min(options.mipLevels, full);
    if (options.mipLevelsFromFile) wanted = std::max(1u, image.MipLevels());
    for (auto& face : image.faces) {
        if (face.size() > wanted) face.resize(wanted);
        while (face.size() < wanted) {
            const ImageLevel& last = face.back();
            const uint32_t nw = std::max(1u, last.width / 2), nh = std::max(1u, last.height / 2);
            std::vector<uint8_t> half = HalveBgra(ToBgra(image.format, last), last.width, last.height, nw, nh);
            ImageLevel level;
            level.width = nw;
            level.height = nh;
            level.data =
                image.format == ImageFormat::BGRA8 ? std::move(half) : CompressBlocks(image.format, nw, nh, half);
            face.push_back(std::move(level));
        }
    }
}

// ---- DDS ----------------------------------------------------------------------------------

constexpr uint32_t kDdsMagic = FourCC('D', 'D', 'S', ' ');
constexpr size_t kDdsHeaderBytes = 4 + 124;
constexpr uint32_t kDdpfAlphaPixels = 0x1;
constexpr uint32_t kDdpfAlpha = 0x2;
constexpr uint32_t kDdpfFourCC = 0x4;
constexpr uint32_t kDdpfRgb = 0x40;
constexpr uint32_t kDdpfLuminance = 0x20000;
constexpr uint32_t kDdsdMipMapCount = 0x20000;
constexpr uint32_t kDdsCaps2Cubemap = 0x200;
constexpr uint32_t kDdsCaps2AllFaces = 0xFC00;
constexpr uint32_t kDdsCaps2Volume = 0x200000;

// One channel of an uncompressed pixel scaled to 8 bits; 'fallback' when the mask is empty.
uint8_t Channel(uint32_t pixel, uint32_t mask, uint8_t fallback) {
    if (mask == 0) return fallback;
    int shift = 0;
    while (((mask >> shift) & 1) == 0) ++shift;
    const uint32_t bits = mask >> shift;
    const uint64_t value = (pixel & mask) >> shift;
    return static_cast<uint8_t>((value * 255 + bits / 2) / bits);
}

bool DecodeDds(const uint8_t* data, size_t size, const ImageLoadOptions& options, Image& out, std::string& error) {
    if (size < kDdsHeaderBytes) {
        error = "DDS header truncated";
        return false;
    }
    const uint8_t* h = data + 4;
    if (ReadU32(h) != 124 || ReadU32(h + 72) != 32) {
        error = "DDS header size wrong";
        return false;
    }
    const uint32_t flags = ReadU32(h + 4);
    const uint32_t height = ReadU32(h + 8);
    const uint32_t width = ReadU32(h + 12);
    uint32_t mipCount = (flags & kDdsdMipMapCount) ? ReadU32(h + 24) : 1;
    const uint32_t pfFlags = ReadU32(h + 76);
    const uint32_t fourCC = ReadU32(h + 80);
    const uint32_t bitCount = ReadU32(h + 84);
    const uint32_t masks[4] = {ReadU32(h + 88), ReadU32(h + 92), ReadU32(h + 96), ReadU32(h + 100)};
    const uint32_t caps2 = ReadU32(h + 108);

    if (width == 0 || height == 0 || width > kMaxImageSide || height > kMaxImageSide ||
        static_cast<uint64_t>(width) * height > kMaxImagePixels) {
        error = "DDS size out of range";
        return false;
    }
    if (caps2 & kDdsCaps2Volume) {
        error = "DDS volume textures are not supported";
        return false;
    }
    if (mipCount == 0) mipCount = 1;
    if (mipCount > FullChainLength(width, height)) {
        error = "DDS mip count larger than the chain";
        return false;
    }
    const bool isCube = (caps2 & kDdsCaps2Cubemap) != 0;
    if (isCube && (caps2 & kDdsCaps2AllFaces) != kDdsCaps2AllFaces) {
        error = "DDS cube map without all six faces";
        return false;
    }
    if (isCube != options.cube) {
        error = isCube ? "DDS cube map asked for as a 2D texture" : "not a cube map";
        return false;
    }

    ImageFormat format = ImageFormat::BGRA8;
    bool uncompressed = false;
    if (pfFlags & kDdpfFourCC) {
        if (fourCC == FourCC('D', 'X', 'T', '1'))
            format = ImageFormat::DXT1;
        else if (fourCC == FourCC('D', 'X', 'T', '3'))
            format = ImageFormat::DXT3;
        else if (fourCC == FourCC('D', 'X', 'T', '5'))
            format = ImageFormat::DXT5;
        else {
            error = "DDS pixel format not supported";
            return false;
        }
    } else if (pfFlags & (kDdpfRgb | kDdpfLuminance | kDdpfAlpha)) {
        if (bitCount != 8 && bitCount != 16 && bitCount != 24 && bitCount != 32) {
            error = "DDS bit count not supported";
            return false;
        }
        uncompressed = true;
    } else {
        error = "DDS pixel format not supported";
        return false;
    }

    const size_t faces = isCube ? 6 : 1;
    size_t offset = kDdsHeaderBytes;
    out = Image{};
    out.format = format;
    out.width = width;
    out.height = height;
    out.cube = isCube;
    out.faces.resize(faces);
    const uint32_t bytesPerPixel = bitCount / 8;
    for (size_t f = 0; f < faces; ++f) {
        uint32_t w = width, hgt = height;
        for (uint32_t m = 0; m < mipCount; ++m) {
            const size_t bytes =
                uncompressed ? static_cast<size_t>(w) * hgt * bytesPerPixel : ImageLevelBytes(format, w, hgt);
            if (bytes > size - offset) {
                error = "DDS data truncated";
                return false;
            }
            ImageLevel level;
            level.width = w;
            level.height = hgt;
            const uint8_t* src = data + offset;
            if (uncompressed) {
                level.data.resize(static_cast<size_t>(w) * hgt * 4);
                const bool luminance = (pfFlags & kDdpfLuminance) != 0;
                const bool alphaOnly = (pfFlags & (kDdpfRgb | kDdpfLuminance)) == 0;
                const bool hasAlpha = (pfFlags & (kDdpfAlphaPixels | kDdpfAlpha)) != 0;
                for (size_t p = 0; p < static_cast<size_t>(w) * hgt; ++p) {
                    uint32_t pixel = 0;
                    for (uint32_t k = 0; k < bytesPerPixel; ++k)
                        pixel |= static_cast<uint32_t>(src[p * bytesPerPixel + k]) << (8 * k);
                    uint8_t* d = &level.data[p * 4];
                    const uint8_t a = hasAlpha ? Channel(pixel, masks[3], 255) : 255;
                    if (alphaOnly) {
                        d[0] = d[1] = d[2] = 0;
                    } else if (luminance) {
                        d[0] = d[1] = d[2] = Channel(pixel, masks[0], 0);
                    } else {
                        d[2] = Channel(pixel, masks[0], 0);
                        d[1] = Channel(pixel, masks[1], 0);
                        d[0] = Channel(pixel, masks[2], 0);
                    }
                    d[3] = a;
                }
            } else {
                level.data.assign(src, src + bytes);
            }
            offset += bytes;
            out.faces[f].push_back(std::move(level));
            w = std::max(1u, w / 2);
            hgt = std::max(1u, hgt / 2);
        }
    }
    return true;
}

// ---- stb_image formats --------------------------------------------------------------------

// stb_image reads zeros once it passes the end of its buffer (and leaves the rows of an
// uncompressed TGA it cannot read as they were), so a cut file would decode to a padded or
// partly uninitialised picture. Before stb sees a file, the bytes its header promises are
// checked to be there: a truncated or lying file fails, and the engine's fallback texture takes
// over. Each check follows what stb itself will read.

uint16_t ReadU16BE(const uint8_t* p) { return static_cast<uint16_t>((p[0] << 8) | p[1]); }

uint32_t ReadU32BE(const uint8_t* p) {
    return (static_cast<uint32_t>(p[0]) << 24) | (static_cast<uint32_t>(p[1]) << 16) |
           (static_cast<uint32_t>(p[2]) << 8) | static_cast<uint32_t>(p[3]);
}

// Where a JPEG's segments begin, just past its start-of-image marker; 0 when the file is no
// JPEG. stb_image skips 0xFF fill bytes before any marker, the first one too, so FF FF FF D8
// opens a JPEG for it just as FF D8 does; the format is told here by the same rule, or such a
// file would reach stb's JPEG reader without the checks below.
size_t JpegSegmentsStart(const uint8_t* data, size_t size) {
    if (size < 2 || data[0] != 0xFF) return 0;
    size_t pos = 1;
    while (pos < size && data[pos] == 0xFF) ++pos;
    return pos < size && data[pos] == 0xD8 ? pos + 1 : 0;
}

// The JPEG's segments in order, from 'pos' (past the start-of-image marker) to its end-of-image
// marker. The entropy-coded data of a scan runs to the next marker that is not a stuffed byte or
// a restart. The stb_image of the distribution also trusts the Huffman table sizes and writes
// past its tables when their counts add up to more than 256; such files are refused here. It
// also decodes a scan with Huffman tables the file never defined, which it never cleared: it
// then looks symbols up at indices made of stale memory. A scan must find each table it reads
// defined before it (a progressive scan reads only some: a first DC scan its DC tables, an AC
// scan its AC tables, a DC refinement none).
bool JpegComplete(const uint8_t* data, size_t size, size_t pos, std::string& error) {
    bool progressive = false;
    bool defined[2][4] = {}; // [DC, AC][table]
    while (pos + 1 < size) {
        if (data[pos] != 0xFF) {
            ++pos; // entropy-coded data between scans
            continue;
        }
        const uint8_t marker = data[pos + 1];
        if (marker == 0xFF) {
            ++pos; // fill byte
            continue;
        }
        if (marker == 0x00 || marker == 0x01 || marker == 0xD8 || (marker >= 0xD0 && marker <= 0xD7)) {
            pos += 2;
            continue;
        }
        if (marker == 0xD9) return true;
        if (pos + 4 > size) break;
        const size_t length = ReadU16BE(data + pos + 2);
        if (length < 2) {
            error = "corrupt JPEG segment length";
            return false;
        }
        if (pos + 2 + length > size) break;
        const size_t end = pos + 2 + length;
        if (marker == 0xC4) {
            size_t t = pos + 4;
            while (t < end) {
                unsigned total = 0;
                if (t + 17 <= end)
                    for (int i = 0; i < 16; ++i) total += data[t + 1 + i];
                if (t + 17 > end || total > 256 || t + 17 + total > end) {
                    error = "corrupt JPEG Huffman table";
                    return false;
                }
                const uint32_t tableClass = data[t] >> 4, table = data[t] & 15;
                if (tableClass < 2 && table < 4) defined[tableClass][table] = true;
                t += 17 + total;
            }
        }
        if (marker == 0xC2) progressive = true;
        // A scan header of the length its component count makes (stb refuses any other).
        const size_t components = length >= 3 ? data[pos + 4] : 0;
        if (marker == 0xDA && components >= 1 && length == 6 + 2 * components) {
            const size_t spectralStart = data[pos + 5 + 2 * components];
            const uint32_t approximationHigh = data[pos + 7 + 2 * components] >> 4;
            const bool readsDc = !progressive || (spectralStart == 0 && approximationHigh == 0);
            const bool readsAc = !progressive || spectralStart != 0;
            for (size_t c = 0; c < components; ++c) {
                const uint32_t tables = data[pos + 6 + 2 * c];
                const uint32_t dc = tables >> 4, ac = tables & 15;
                if ((readsDc && dc < 4 && !defined[0][dc]) || (readsAc && ac < 4 && !defined[1][ac])) {
                    error = "corrupt JPEG: a scan uses a Huffman table the file does not define";
                    return false;
                }
            }
        }
        pos = end;
    }
    error = "truncated JPEG (no end-of-image marker)";
    return false;
}

// Every chunk whole, up to the end chunk.
bool PngComplete(const uint8_t* data, size_t size, std::string& error) {
    size_t pos = 8; // after the signature
    while (pos + 8 <= size) {
        const uint32_t length = ReadU32BE(data + pos);
        if (length > 0x7FFFFFFFu) {
            error = "corrupt PNG chunk length";
            return false;
        }
        if (static_cast<uint64_t>(pos) + 12 + length > size) break;
        if (std::memcmp(data + pos + 4, "IEND", 4) == 0) return true;
        pos += 12 + static_cast<size_t>(length);
    }
    error = "truncated PNG (no end chunk)";
    return false;
}

// The header, the palette and every row of pixels with its padding.
bool BmpComplete(const uint8_t* data, size_t size, std::string& error) {
    if (size < 18) {
        error = "truncated BMP header";
        return false;
    }
    const uint32_t offset = ReadU32(data + 10);
    const uint32_t headerSize = ReadU32(data + 14);
    if (headerSize != 12 && headerSize != 40 && headerSize != 56 && headerSize != 108 && headerSize != 124)
        return true; // stb refuses it with its own message
    if (size < 14 + static_cast<size_t>(headerSize)) {
        error = "truncated BMP header";
        return false;
    }
    int64_t width = 0, height = 0;
    uint32_t bpp = 0, compression = 0;
    if (headerSize == 12) {
        width = ReadU16(data + 18);
        height = static_cast<int16_t>(ReadU16(data + 20));
        bpp = ReadU16(data + 24);
    } else {
        width = static_cast<int32_t>(ReadU32(data + 18));
        height = static_cast<int32_t>(ReadU32(data + 22));
        bpp = ReadU16(data + 28);
        compression = ReadU32(data + 30);
    }
    // The colour masks that follow a short header for bit-field images.
    uint64_t headerEnd = 14 + static_cast<uint64_t>(headerSize);
    if ((headerSize == 40 || headerSize == 56) && compression == 3 && (bpp == 16 || bpp == 32)) headerEnd += 12;
    if (headerEnd > size) {
        error = "truncated BMP header";
        return false;
    }
    if (offset < headerEnd) {
        error = "corrupt BMP: its pixels start inside its header";
        return false;
    }
    // stb reads any other depth above 16 bits as 32-bit pixels through the header's colour
    // masks: a few header bytes claiming millions of such pixels would decode, slowly, to a
    // picture made of zeros read past the end. No such depth exists; the file is refused.
    if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32) {
        error = "BMP bit depth " + std::to_string(bpp) + " not supported";
        return false;
    }
    if (width <= 0 || height == 0 || width > kMaxImageSide || height > kMaxImageSide || -height > kMaxImageSide)
        return true; // stb refuses it with its own message
    const uint64_t rows = static_cast<uint64_t>(height < 0 ? -height : height);
    const uint64_t bits = static_cast<uint64_t>(width) * bpp;
    const uint64_t rowBytes = (bits + 31) / 32 * 4;
    const uint64_t needed = offset + rowBytes * rows;
    if (needed > size) {
        error = "truncated BMP: " + std::to_string(size) + " bytes of " + std::to_string(needed);
        return false;
    }
    return true;
}

// The identification field, the colour map and every pixel; RLE packets are walked to the last
// pixel, each checked against the bytes that remain.
bool TgaComplete(const uint8_t* data, size_t size, std::string& error) {
    if (size < 18) {
        error = "truncated TGA header";
        return false;
    }
    const uint32_t idLength = data[0], mapType = data[1], type = data[2];
    const uint32_t mapStart = ReadU16(data + 3), mapLength = ReadU16(data + 5), mapBits = data[7];
    const uint32_t width = ReadU16(data + 12), height = ReadU16(data + 14), bits = data[16];
    const bool indexed = mapType == 1 && (type == 1 || type == 9) && (bits == 8 || bits == 16) &&
                         (mapBits == 8 || mapBits == 15 || mapBits == 16 || mapBits == 24 || mapBits == 32);
    const bool direct = mapType == 0 && (type == 2 || type == 3 || type == 10 || type == 11) &&
                        (bits == 8 || bits == 15 || bits == 16 || bits == 24 || bits == 32);
    if ((!indexed && !direct) || width == 0 || height == 0) return true; // stb refuses it with its own message
    const uint64_t pixelBytes = (bits + 7) / 8;
    uint64_t pos = 18 + static_cast<uint64_t>(idLength);
    // stb skips the colour map's first-entry field in bytes before reading the map.
    if (indexed) pos += mapStart + static_cast<uint64_t>(mapLength) * ((mapBits + 7) / 8);
    const uint64_t pixels = static_cast<uint64_t>(width) * height;
    if (type < 8) {
        const uint64_t needed = pos + pixels * pixelBytes;
        if (needed > size) {
            error = "truncated TGA: " + std::to_string(size) + " bytes of " + std::to_string(needed);
            return false;
        }
        return true;
    }
    uint64_t done = 0;
    while (done < pixels) {
        if (pos >= size) {
            error = "truncated TGA: run-length data ends after " + std::to_string(done) + " of " +
                    std::to_string(pixels) + " pixels";
            return false;
        }
        const uint8_t packet = data[pos++];
        const uint64_t count = std::min<uint64_t>(1 + (packet & 0x7F), pixels - done);
        pos += (packet & 0x80) ? pixelBytes : count * pixelBytes;
        if (pos > size) {
            error = "truncated TGA: a run-length packet runs past the end of the file";
            return false;
        }
        done += count;
    }
    return true;
}

// The format stb will read a file as, told by the same signatures stb tests, in its order; TGA
// has no signature and is what is left.
ImageFileFormat StbFileFormat(const uint8_t* data, size_t size) {
    static const uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    if (size >= 8 && std::memcmp(data, kPngSignature, 8) == 0) return ImageFileFormat::PNG;
    if (JpegSegmentsStart(data, size) != 0) return ImageFileFormat::JPG;
    if (size >= 2 && data[0] == 'B' && data[1] == 'M') return ImageFileFormat::BMP;
    return ImageFileFormat::TGA;
}

// Whether the file holds every byte its header promises, by the format stb will read it as.
bool StbFileComplete(const uint8_t* data, size_t size, ImageFileFormat format, std::string& error) {
    switch (format) {
    case ImageFileFormat::PNG: return PngComplete(data, size, error);
    case ImageFileFormat::JPG: return JpegComplete(data, size, JpegSegmentsStart(data, size), error);
    case ImageFileFormat::BMP: return BmpComplete(data, size, error);
    default: return TgaComplete(data, size, error);
    }
}

struct StbFree {
    void operator()(stbi_uc* p) const { stbi_image_free(p); }
};

bool DecodeWithStb(const uint8_t* data, size_t size, ImageFileFormat format, Image& out, std::string& error) {
    if (size > static_cast<size_t>(INT32_MAX)) {
        error = "image file too large";
        return false;
    }
    // Before stb parses anything: its header parser already trusts the JPEG tables.
    if (!StbFileComplete(data, size, format, error)) return false;
    int w = 0, h = 0, comp = 0;
    const int len = static_cast<int>(size);
    if (!stbi_info_from_memory(data, len, &w, &h, &comp)) {
        const char* reason = stbi_failure_reason();
        error = std::string("unknown or corrupt image: ") + (reason ? reason : "?");
        return false;
    }
    if (w <= 0 || h <= 0 || static_cast<uint32_t>(w) > kMaxImageSide || static_cast<uint32_t>(h) > kMaxImageSide ||
        static_cast<uint64_t>(w) * static_cast<uint64_t>(h) > kMaxImagePixels) {
        error = "image size out of range";
        return false;
    }
    std::unique_ptr<stbi_uc, StbFree> pixels(stbi_load_from_memory(data, len, &w, &h, &comp, 4));
    if (!pixels) {
        const char* reason = stbi_failure_reason();
        error = std::string("corrupt image: ") + (reason ? reason : "?");
        return false;
    }
    out = Image{};
    out.format = ImageFormat::BGRA8;
    out.width = static_cast<uint32_t>(w);
    out.height = static_cast<uint32_t>(h);
    out.faces.resize(1);
    ImageLevel level;
    level.width = out.width;
    level.height = out.height;
    level.data.assign(pixels.get(), pixels.get() + static_cast<size_t>(w) * h * 4);
    for (size_t p = 0; p < level.data.size(); p += 4) std::swap(level.data[p], level.data[p + 2]);
    out.faces[0].push_back(std::move(level));
    return true;
}

} // namespace

std::vector<uint8_t> CompressLevel(ImageFormat format, uint32_t width, uint32_t height,
                                   const std::vector<uint8_t>& bgra) {
    if (format == ImageFormat::BGRA8 || bgra.size() < ImageLevelBytes(ImageFormat::BGRA8, width, height)) return bgra;
    return CompressBlocks(format, width, height, bgra);
}

bool IsBlockCompressed(ImageFormat format) { return format != ImageFormat::BGRA8; }

size_t ImageLevelBytes(ImageFormat format, uint32_t width, uint32_t height) {
    if (format == ImageFormat::BGRA8) return static_cast<size_t>(width) * height * 4;
    return static_cast<size_t>((width + 3) / 4) * ((height + 3) / 4) * BlockBytes(format);
}

std::vector<uint8_t> DecompressLevel(ImageFormat format, uint32_t width, uint32_t height, const uint8_t* data,
                                     size_t size) {
    if (format == ImageFormat::BGRA8) {
        if (size < ImageLevelBytes(format, width, height)) return {};
        return std::vector<uint8_t>(data, data + ImageLevelBytes(format, width, height));
    }
    if (!data || size < ImageLevelBytes(format, width, height)) return {};
    std::vector<uint8_t> out(static_cast<size_t>(width) * height * 4);
    const uint32_t bw = (width + 3) / 4, bh = (height + 3) / 4;
    uint8_t pixels[64];
    const uint8_t* block = data;
    for (uint32_t by = 0; by < bh; ++by) {
        for (uint32_t bx = 0; bx < bw; ++bx) {
            DecodeBlock(format, block, pixels);
            block += BlockBytes(format);
            for (int i = 0; i < 16; ++i) {
                const uint32_t x = bx * 4 + (i & 3), y = by * 4 + (i >> 2);
                if (x < width && y < height)
                    std::memcpy(&out[(static_cast<size_t>(y) * width + x) * 4], pixels + i * 4, 4);
            }
        }
    }
    return out;
}

bool DecodeImage(const void* data, size_t size, const ImageLoadOptions& options, Image& out, std::string& error) {
    out = Image{};
    error.clear();
    const uint8_t* bytes = static_cast<const uint8_t*>(data);
    if (!bytes || size == 0) {
        error = "empty image file";
        return false;
    }
    bool ok = false;
    ImageFileFormat fileFormat = ImageFileFormat::DDS;
    if (size >= 4 && ReadU32(bytes) == kDdsMagic) {
        ok = DecodeDds(bytes, size, options, out, error);
    } else if (options.cube) {
        error = "cube maps must be DDS files";
    } else {
        fileFormat = StbFileFormat(bytes, size);
        ok = DecodeWithStb(bytes, size, fileFormat, out, error);
    }
    if (!ok) {
        out = Image{};
        return false;
    }
    out.fileFormat = fileFormat;
    out.fileWidth = out.width;
    out.fileHeight = out.height;
    out.fileMipLevels = out.MipLevels();
    if (options.colourKey != 0 && out.format == ImageFormat::BGRA8) {
        for (auto& face : out.faces)
            for (auto& level : face)
                for (size_t p = 0; p + 3 < level.data.size(); p += 4) {
                    const uint32_t argb = ReadU32(&level.data[p]);
                    if (argb == options.colourKey) std::memset(&level.data[p], 0, 4);
                }
    }
    FinishImage(out, options);
    return true;
}

} // namespace Platform
