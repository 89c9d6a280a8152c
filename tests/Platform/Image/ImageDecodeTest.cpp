#include "Platform/Image/ImageDecode.h"

#include <gtest/gtest.h>

#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STBI_WRITE_NO_STDIO
#include <stb/stb_image_write.h>

#include <array>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "support/ImageFileBytes.h"

using namespace Platform;
using namespace ImageTest;

namespace {

// A 2x2 picture: red, green / blue, white with alpha 128 (RGBA, top row first).
const uint8_t kRgba2x2[16] = {255, 0, 0, 255, 0, 255, 0, 255, 0, 0, 255, 255, 255, 255, 255, 128};

// BGRA of pixel (x, y) of the top level.
std::array<uint8_t, 4> Pixel(const Image& img, uint32_t x, uint32_t y, size_t face = 0) {
    const ImageLevel& l = img.faces.at(face).at(0);
    std::vector<uint8_t> bgra = DecompressLevel(img.format, l.width, l.height, l.data.data(), l.data.size());
    const uint8_t* p = &bgra.at((static_cast<size_t>(y) * l.width + x) * 4);
    return {p[0], p[1], p[2], p[3]};
}

Bytes Tga2x2(bool rle, bool topOrigin) {
    Bytes b = {0, 0, static_cast<uint8_t>(rle ? 10 : 2), 0, 0, 0, 0, 0, 0, 0, 0, 0};
    Put16(b, 2);
    Put16(b, 2);
    b.push_back(32);
    b.push_back(static_cast<uint8_t>(8 | (topOrigin ? 0x20 : 0)));
    auto pixel = [&](int x, int y) {
        const uint8_t* p = kRgba2x2 + (y * 2 + x) * 4;
        b.insert(b.end(), {p[2], p[1], p[0], p[3]});
    };
    for (int row = 0; row < 2; ++row) {
        const int y = topOrigin ? row : 1 - row;
        if (rle) b.push_back(1); // raw packet of two pixels
        pixel(0, y);
        pixel(1, y);
    }
    return b;
}

Bytes Bmp2x2() {
    // 24-bit, bottom-up, rows padded to 4 bytes.
    Bytes b = {'B', 'M'};
    Put32(b, 14 + 40 + 16);
    Put32(b, 0);
    Put32(b, 54);
    Put32(b, 40);
    Put32(b, 2);
    Put32(b, 2);
    Put16(b, 1);
    Put16(b, 24);
    Put32(b, 0);
    Put32(b, 16);
    Put32(b, 2835);
    Put32(b, 2835);
    Put32(b, 0);
    Put32(b, 0);
    for (int y = 1; y >= 0; --y) {
        for (int x = 0; x < 2; ++x) {
            const uint8_t* p = kRgba2x2 + (y * 2 + x) * 4;
            b.insert(b.end(), {p[2], p[1], p[0]});
        }
        b.insert(b.end(), {0, 0});
    }
    return b;
}

void AppendToBytes(void* context, void* data, int size) {
    auto* b = static_cast<Bytes*>(context);
    const auto* p = static_cast<const uint8_t*>(data);
    b->insert(b->end(), p, p + size);
}

Bytes Png2x2() {
    Bytes b;
    stbi_write_png_to_func(AppendToBytes, &b, 2, 2, 4, kRgba2x2, 8);
    return b;
}

Bytes JpegGrey(int w, int h) {
    std::vector<uint8_t> rgb(static_cast<size_t>(w) * h * 3, 128);
    Bytes b;
    stbi_write_jpg_to_func(AppendToBytes, &b, w, h, 3, rgb.data(), 95);
    return b;
}

// A DXT1 block: colour0 pure red, colour1 pure blue, four-colour mode; row 0 all index 0,
// row 1 all index 1, row 2 index 2, row 3 index 3.
void PutDxt1Block(Bytes& b) {
    Put16(b, 0xF800);
    Put16(b, 0x001F);
    b.insert(b.end(), {0x00, 0x55, 0xAA, 0xFF});
}

// An 8x8 TGA whose pixel (x, y) has the colour Colour8x8(x, y): uncompressed 32-bit, RLE
// 32-bit (runs and raw packets, one packet crossing a row), or colour-mapped (8-bit indices into
// a 24-bit map of 64 entries, after a 3-byte identification field).
enum class TgaKind { Raw32, Rle32, Mapped };

std::array<uint8_t, 4> Colour8x8(int x, int y) // BGRA
{
    return {static_cast<uint8_t>(x * 30), static_cast<uint8_t>(y * 30), static_cast<uint8_t>(x < 4 ? 200 : 40), 255};
}

Bytes Tga8x8(TgaKind kind) {
    Bytes b = {static_cast<uint8_t>(kind == TgaKind::Mapped ? 3 : 0), static_cast<uint8_t>(kind == TgaKind::Mapped),
               static_cast<uint8_t>(kind == TgaKind::Raw32   ? 2
                                    : kind == TgaKind::Rle32 ? 10
                                                             : 1)};
    Put16(b, 0);                                // first map entry
    Put16(b, kind == TgaKind::Mapped ? 64 : 0); // map length
    b.push_back(kind == TgaKind::Mapped ? 24 : 0);
    Put16(b, 0);
    Put16(b, 0);
    Put16(b, 8);
    Put16(b, 8);
    b.push_back(kind == TgaKind::Mapped ? 8 : 32);
    b.push_back(static_cast<uint8_t>((kind == TgaKind::Mapped ? 0 : 8) | 0x20)); // top row first
    if (kind == TgaKind::Mapped) {
        b.insert(b.end(), {'k', 'x', '!'});
        for (int i = 0; i < 64; ++i) {
            const auto c = Colour8x8(i % 8, i / 8);
            b.insert(b.end(), {c[0], c[1], c[2]});
        }
        for (int i = 0; i < 64; ++i) b.push_back(static_cast<uint8_t>(i));
        return b;
    }
    auto put = [&](int i) {
        const auto c = Colour8x8(i % 8, i / 8);
        b.insert(b.end(), c.begin(), c.end());
    };
    if (kind == TgaKind::Raw32) {
        for (int i = 0; i < 64; ++i) put(i);
        return b;
    }
    // The first two rows are one colour each in the RLE file, so they are runs; the rest raw.
    for (int y = 0; y < 2; ++y) {
        b.push_back(0x80 | 7); // a run of 8 pixels
        put(y * 8);
    }
    b.push_back(47); // a raw packet of 48 pixels crossing rows 2 to 7
    for (int i = 16; i < 64; ++i) put(i);
    return b;
}

// What the RLE file above holds: rows 0 and 1 take their first pixel's colour.
std::array<uint8_t, 4> Rle8x8At(int x, int y) { return y < 2 ? Colour8x8(0, y) : Colour8x8(x, y); }

// A 5x3 24-bit BMP (each row 15 bytes and 1 of padding) or an 8-bit one with a palette.
// A 32-bit 5x3 BMP with the 108-byte header whose colour masks stb reads pixels through.
Bytes BmpMasked5x3() {
    const uint32_t offset = 14 + 108;
    Bytes b = {'B', 'M'};
    Put32(b, offset + 5 * 3 * 4);
    Put32(b, 0);
    Put32(b, offset);
    Put32(b, 108);
    Put32(b, 5);
    Put32(b, 3);
    Put16(b, 1);
    Put16(b, 32);
    Put32(b, 3); // bit fields
    Put32(b, 5 * 3 * 4);
    for (int i = 0; i < 4; ++i) Put32(b, 0);
    for (uint32_t mask : {0x00FF0000u, 0x0000FF00u, 0x000000FFu, 0xFF000000u}) Put32(b, mask);
    b.resize(offset, 0); // colour space
    for (int i = 0; i < 15; ++i) Put32(b, 0xFF000000u | static_cast<uint32_t>(i * 17));
    return b;
}

Bytes Bmp5x3(bool paletted) {
    const uint32_t rowBytes = paletted ? 8 : 16, palette = paletted ? 256 * 4 : 0;
    const uint32_t offset = 14 + 40 + palette;
    Bytes b = {'B', 'M'};
    Put32(b, offset + rowBytes * 3);
    Put32(b, 0);
    Put32(b, offset);
    Put32(b, 40);
    Put32(b, 5);
    Put32(b, 3);
    Put16(b, 1);
    Put16(b, paletted ? 8 : 24);
    Put32(b, 0);
    Put32(b, rowBytes * 3);
    Put32(b, 2835);
    Put32(b, 2835);
    Put32(b, paletted ? 256 : 0);
    Put32(b, 0);
    for (uint32_t i = 0; i < palette / 4; ++i)
        b.insert(b.end(), {static_cast<uint8_t>(i), static_cast<uint8_t>(255 - i), 7, 0});
    for (int y = 2; y >= 0; --y) {
        for (int x = 0; x < 5; ++x) {
            if (paletted)
                b.push_back(static_cast<uint8_t>(y * 5 + x));
            else
                b.insert(b.end(), {static_cast<uint8_t>(x * 50), static_cast<uint8_t>(y * 100), 9});
        }
        b.resize(b.size() + (paletted ? 3 : 1), 0);
    }
    return b;
}

Bytes Png8x8() {
    std::vector<uint8_t> rgba(8 * 8 * 4);
    for (size_t i = 0; i < rgba.size(); ++i) rgba[i] = static_cast<uint8_t>(i * 7);
    Bytes b;
    stbi_write_png_to_func(AppendToBytes, &b, 8, 8, 4, rgba.data(), 32);
    return b;
}

// An 8x8 DXT5 DDS with its whole chain of four levels.
DdsLayout Dxt5Chain8x8() {
    DdsLayout dxt;
    dxt.fourCC = Fourcc("DXT5");
    dxt.width = dxt.height = 8;
    dxt.mips = 4;
    return dxt;
}

// One whole, valid file of every format and variant the damage tests cut and spoil.
std::vector<Bytes> EveryFormatFiles() {
    Bytes dds = DdsHeader(Dxt5Chain8x8());
    dds.resize(dds.size() + 64 + 16 + 16 + 16, 0x5A);
    return {Tga2x2(false, false), Tga2x2(true, true), Bmp2x2(), Png2x2(), JpegGrey(16, 16), dds};
}

ImageLoadOptions Exact() {
    ImageLoadOptions o;
    o.roundToPowerOfTwo = false;
    o.mipLevels = 1;
    return o;
}

} // namespace

TEST(ImageDecode, EveryStbFormatGivesTheSameBgraPixels) {
    struct Case {
        const char* name;
        Bytes file;
        bool alpha;
    } cases[] = {
        {"tga bottom origin", Tga2x2(false, false), true},
        {"tga top origin", Tga2x2(false, true), true},
        {"tga rle", Tga2x2(true, false), true},
        {"bmp", Bmp2x2(), false},
        {"png", Png2x2(), true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Image img;
        std::string error;
        ASSERT_TRUE(DecodeImage(c.file.data(), c.file.size(), Exact(), img, error)) << error;
        EXPECT_EQ(img.format, ImageFormat::BGRA8);
        EXPECT_EQ(img.width, 2u);
        EXPECT_EQ(img.height, 2u);
        EXPECT_EQ(Pixel(img, 0, 0), (std::array<uint8_t, 4>{0, 0, 255, 255}));
        EXPECT_EQ(Pixel(img, 1, 0), (std::array<uint8_t, 4>{0, 255, 0, 255}));
        EXPECT_EQ(Pixel(img, 0, 1), (std::array<uint8_t, 4>{255, 0, 0, 255}));
        EXPECT_EQ(Pixel(img, 1, 1), (std::array<uint8_t, 4>{255, 255, 255, uint8_t(c.alpha ? 128 : 255)}));
    }
}

TEST(ImageDecode, JpegDecodesNearItsColour) {
    Bytes jpg = JpegGrey(8, 8);
    Image img;
    std::string error;
    ASSERT_TRUE(DecodeImage(jpg.data(), jpg.size(), Exact(), img, error)) << error;
    EXPECT_EQ(img.width, 8u);
    auto p = Pixel(img, 3, 3);
    EXPECT_NEAR(p[0], 128, 3);
    EXPECT_NEAR(p[2], 128, 3);
    EXPECT_EQ(p[3], 255);
}

TEST(ImageDecode, DefaultSizeRoundsUpToPowersOfTwoAndBuildsTheFullChain) {
    Bytes jpg = JpegGrey(5, 3);
    Image img;
    std::string error;
    ASSERT_TRUE(DecodeImage(jpg.data(), jpg.size(), ImageLoadOptions{}, img, error)) << error;
    EXPECT_EQ(img.width, 8u);
    EXPECT_EQ(img.height, 4u);
    ASSERT_EQ(img.MipLevels(), 4u); // 8x4, 4x2, 2x1, 1x1
    EXPECT_EQ(img.faces[0][3].width, 1u);
    EXPECT_EQ(img.faces[0][3].height, 1u);
    EXPECT_EQ(img.faces[0][1].data.size(), 4u * 2 * 4);
    EXPECT_NEAR(img.faces[0][3].data[1], 128, 4);

    ImageLoadOptions noMip;
    noMip.mipLevels = 1;
    ASSERT_TRUE(DecodeImage(jpg.data(), jpg.size(), noMip, img, error)) << error;
    EXPECT_EQ(img.MipLevels(), 1u);
    EXPECT_EQ(img.width, 8u);
}

TEST(ImageDecode, DxtBlocksStayCompressedAndDecodeToTheirColours) {
    DdsLayout s;
    s.fourCC = Fourcc("DXT1");
    Bytes dds = DdsHeader(s);
    PutDxt1Block(dds);
    Image img;
    std::string error;
    ASSERT_TRUE(DecodeImage(dds.data(), dds.size(), Exact(), img, error)) << error;
    EXPECT_EQ(img.format, ImageFormat::DXT1);
    EXPECT_EQ(img.faces[0][0].data.size(), 8u);
    EXPECT_EQ(Pixel(img, 0, 0), (std::array<uint8_t, 4>{0, 0, 255, 255}));
    EXPECT_EQ(Pixel(img, 3, 1), (std::array<uint8_t, 4>{255, 0, 0, 255}));
    EXPECT_EQ(Pixel(img, 1, 2), (std::array<uint8_t, 4>{85, 0, 170, 255}));
    EXPECT_EQ(Pixel(img, 2, 3), (std::array<uint8_t, 4>{170, 0, 85, 255}));

    // DXT5: alpha endpoints 255 and 0, every pixel index 1 (alpha 0); same colour block.
    s.fourCC = Fourcc("DXT5");
    dds = DdsHeader(s);
    dds.insert(dds.end(), {255, 0, 0x49, 0x92, 0x24, 0x49, 0x92, 0x24});
    PutDxt1Block(dds);
    ASSERT_TRUE(DecodeImage(dds.data(), dds.size(), Exact(), img, error)) << error;
    EXPECT_EQ(img.format, ImageFormat::DXT5);
    EXPECT_EQ(Pixel(img, 0, 0), (std::array<uint8_t, 4>{0, 0, 255, 0}));

    // DXT3: explicit alpha nibbles 0xF / 0x0 alternating.
    s.fourCC = Fourcc("DXT3");
    dds = DdsHeader(s);
    for (int i = 0; i < 8; ++i) dds.push_back(0x0F);
    PutDxt1Block(dds);
    ASSERT_TRUE(DecodeImage(dds.data(), dds.size(), Exact(), img, error)) << error;
    EXPECT_EQ(Pixel(img, 0, 0)[3], 255);
    EXPECT_EQ(Pixel(img, 1, 0)[3], 0);
}

TEST(ImageDecode, DdsMipChainsAreReadAndCompleted) {
    DdsLayout s;
    s.fourCC = Fourcc("DXT1");
    s.width = s.height = 8;
    s.mips = 2; // 8x8 (4 blocks) and 4x4 (1 block); 2x2 and 1x1 are generated
    Bytes dds = DdsHeader(s);
    for (int i = 0; i < 5; ++i) PutDxt1Block(dds);
    Image img;
    std::string error;
    ASSERT_TRUE(DecodeImage(dds.data(), dds.size(), ImageLoadOptions{}, img, error)) << error;
    ASSERT_EQ(img.MipLevels(), 4u);
    EXPECT_EQ(img.format, ImageFormat::DXT1);
    EXPECT_EQ(img.faces[0][0].data.size(), 32u);
    EXPECT_EQ(img.faces[0][3].data.size(), 8u);
    EXPECT_EQ(img.faces[0][3].width, 1u);
}

TEST(ImageDecode, UncompressedDdsWithMasks) {
    DdsLayout s;
    s.width = 2;
    s.height = 1;
    s.bitCount = 16;
    s.masks[0] = 0xF800; // R5G6B5
    s.masks[1] = 0x07E0;
    s.masks[2] = 0x001F;
    s.masks[3] = 0;
    Bytes dds = DdsHeader(s);
    Put16(dds, 0xF800);
    Put16(dds, 0x07E0);
    Image img;
    std::string error;
    ASSERT_TRUE(DecodeImage(dds.data(), dds.size(), Exact(), img, error)) << error;
    EXPECT_EQ(Pixel(img, 0, 0), (std::array<uint8_t, 4>{0, 0, 255, 255}));
    EXPECT_EQ(Pixel(img, 1, 0), (std::array<uint8_t, 4>{0, 255, 0, 255}));
}

TEST(ImageDecode, CubeMapsNeedACubeDds) {
    DdsLayout s;
    s.cube = true;
    s.width = s.height = 1;
    Bytes dds = DdsHeader(s);
    for (uint32_t face = 0; face < 6; ++face) Put32(dds, 0xFF000000u | face);
    ImageLoadOptions cube = Exact();
    cube.cube = true;
    Image img;
    std::string error;
    ASSERT_TRUE(DecodeImage(dds.data(), dds.size(), cube, img, error)) << error;
    EXPECT_TRUE(img.cube);
    ASSERT_EQ(img.faces.size(), 6u);
    EXPECT_EQ(Pixel(img, 0, 0, 5)[0], 5);

    EXPECT_FALSE(DecodeImage(dds.data(), dds.size(), Exact(), img, error)); // asked as 2D
    Bytes png = Png2x2();
    EXPECT_FALSE(DecodeImage(png.data(), png.size(), cube, img, error));
}

TEST(ImageDecode, TruncatedAndCorruptFilesFailCleanly) {
    const DdsLayout dxt = Dxt5Chain8x8();
    const std::vector<Bytes> files = EveryFormatFiles();
    for (const Bytes& file : files) {
        Image img;
        std::string error;
        ASSERT_TRUE(DecodeImage(file.data(), file.size(), ImageLoadOptions{}, img, error)) << error;
        // Every shorter prefix fails with a message, reading nothing past the copy (ASan
        // watches the reads).
        for (size_t cut = 0; cut < file.size(); cut += (file.size() > 200 ? 7 : 1)) {
            std::vector<uint8_t> part(file.begin(), file.begin() + static_cast<long>(cut));
            Image partial;
            EXPECT_FALSE(DecodeImage(part.data(), part.size(), ImageLoadOptions{}, partial, error))
                << "file " << (&file - files.data()) << " cut at " << cut;
            EXPECT_FALSE(error.empty());
            EXPECT_TRUE(partial.faces.empty());
        }
    }

    // DDS files that lie about their sizes.
    struct Lie {
        const char* name;
        DdsLayout layout;
    };
    DdsLayout huge = dxt;
    huge.width = 1u << 30;
    DdsLayout zero = dxt;
    zero.height = 0;
    DdsLayout tooManyMips = dxt;
    tooManyMips.mips = 9;
    DdsLayout oddBits;
    oddBits.bitCount = 12;
    DdsLayout unknown = dxt;
    unknown.fourCC = Fourcc("ATI2");
    for (const Lie& lie : {Lie{"huge", huge}, Lie{"zero", zero}, Lie{"mips", tooManyMips}, Lie{"bits", oddBits},
                           Lie{"fourcc", unknown}}) {
        SCOPED_TRACE(lie.name);
        Bytes file = DdsHeader(lie.layout);
        file.resize(file.size() + 4096, 0);
        Image img;
        std::string error;
        EXPECT_FALSE(DecodeImage(file.data(), file.size(), ImageLoadOptions{}, img, error));
        EXPECT_FALSE(error.empty());
        EXPECT_TRUE(img.faces.empty());
    }

    Image img;
    std::string error;
    const char garbage[] = "this is not an image at all";
    EXPECT_FALSE(DecodeImage(garbage, sizeof garbage, ImageLoadOptions{}, img, error));
    EXPECT_FALSE(DecodeImage(nullptr, 0, ImageLoadOptions{}, img, error));

    // A PNG whose header claims a giant size.
    Bytes png = Png2x2();
    png[16] = 0x7F; // width high byte
    EXPECT_FALSE(DecodeImage(png.data(), png.size(), ImageLoadOptions{}, img, error));
}

TEST(ImageDecode, RoundingACompressedImageKeepsItsFormat) {
    DdsLayout s;
    s.fourCC = Fourcc("DXT1");
    s.width = 6;
    s.height = 4;
    Bytes dds = DdsHeader(s);
    PutDxt1Block(dds);
    PutDxt1Block(dds);
    Image img;
    std::string error;
    ImageLoadOptions o;
    o.mipLevels = 1;
    ASSERT_TRUE(DecodeImage(dds.data(), dds.size(), o, img, error)) << error;
    EXPECT_EQ(img.width, 8u);
    EXPECT_EQ(img.format, ImageFormat::DXT1);
    EXPECT_EQ(img.faces[0][0].data.size(), 2u * 8);
    // The top row stays red after the rescale and the new compression.
    auto p = Pixel(img, 0, 0);
    EXPECT_GT(p[2], 200);
    EXPECT_LT(p[0], 60);
}

TEST(ImageDecode, ExplicitSizesLimitsColourKeyAndFileLevels) {
    Bytes png = Png2x2();
    Image img;
    std::string error;
    ImageLoadOptions o;
    o.width = 8;
    o.height = 2;
    o.mipLevels = 1;
    ASSERT_TRUE(DecodeImage(png.data(), png.size(), o, img, error)) << error;
    EXPECT_EQ(img.width, 8u);
    EXPECT_EQ(img.height, 2u);
    EXPECT_EQ(img.fileWidth, 2u);
    EXPECT_EQ(img.fileFormat, ImageFileFormat::PNG);

    // A device limit halves what is too large.
    Bytes big = JpegGrey(64, 16);
    o = ImageLoadOptions{};
    o.maxSide = 16;
    ASSERT_TRUE(DecodeImage(big.data(), big.size(), o, img, error)) << error;
    EXPECT_EQ(img.width, 16u);
    EXPECT_EQ(img.height, 4u);
    EXPECT_EQ(img.MipLevels(), 5u);

    // The colour key makes matching pixels transparent black (red here).
    o = Exact();
    o.colourKey = 0xFFFF0000;
    ASSERT_TRUE(DecodeImage(png.data(), png.size(), o, img, error)) << error;
    EXPECT_EQ(Pixel(img, 0, 0), (std::array<uint8_t, 4>{0, 0, 0, 0}));
    EXPECT_EQ(Pixel(img, 1, 0), (std::array<uint8_t, 4>{0, 255, 0, 255}));

    // The file's own levels, no more.
    DdsLayout s;
    s.fourCC = Fourcc("DXT1");
    s.width = s.height = 8;
    s.mips = 2;
    Bytes dds = DdsHeader(s);
    for (int i = 0; i < 5; ++i) PutDxt1Block(dds);
    o = ImageLoadOptions{};
    o.mipLevelsFromFile = true;
    ASSERT_TRUE(DecodeImage(dds.data(), dds.size(), o, img, error)) << error;
    EXPECT_EQ(img.MipLevels(), 2u);
    EXPECT_EQ(img.fileMipLevels, 2u);
}

TEST(ImageDecode, CorruptedBytesNeverReadOutside) {
    // Deterministic byte damage over every format; each result must be a clean answer (the
    // sanitizers watch every read and every arithmetic step).
    const std::vector<Bytes> files = EveryFormatFiles();
    uint32_t state = 12345;
    auto next = [&state]() {
        state = state * 1103515245u + 12345u;
        return (state >> 16) & 0x7FFF;
    };
    for (const Bytes& file : files) {
        for (int round = 0; round < 200; ++round) {
            Bytes damaged = file;
            const int flips = 1 + static_cast<int>(next() % 4);
            for (int f = 0; f < flips; ++f) damaged[next() % damaged.size()] = static_cast<uint8_t>(next());
            Image img;
            std::string error;
            if (DecodeImage(damaged.data(), damaged.size(), ImageLoadOptions{}, img, error)) {
                EXPECT_GE(img.MipLevels(), 1u);
                EXPECT_LE(img.width, kMaxImageSide);
            } else {
                EXPECT_FALSE(error.empty());
            }
        }
    }
}

TEST(ImageDecode, EveryTextureOfTheDemoDataDecodes) {
    const std::filesystem::path folder = std::filesystem::path(KX_DATA_DIR) / "Data" / "Textures";
    ASSERT_TRUE(std::filesystem::is_directory(folder)) << folder;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
        if (!entry.is_regular_file()) continue;
        SCOPED_TRACE(entry.path().filename().string());
        std::ifstream in(entry.path(), std::ios::binary);
        const Bytes file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        Image img;
        std::string error;
        EXPECT_TRUE(DecodeImage(file.data(), file.size(), ImageLoadOptions{}, img, error)) << error;
    }
}

TEST(ImageDecode, EveryTgaKindDecodesToItsPixels) {
    for (TgaKind kind : {TgaKind::Raw32, TgaKind::Rle32, TgaKind::Mapped}) {
        SCOPED_TRACE(static_cast<int>(kind));
        const Bytes file = Tga8x8(kind);
        Image img;
        std::string error;
        ASSERT_TRUE(DecodeImage(file.data(), file.size(), Exact(), img, error)) << error;
        ASSERT_EQ(img.width, 8u);
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 8; ++x)
                EXPECT_EQ(Pixel(img, x, y), kind == TgaKind::Rle32 ? Rle8x8At(x, y) : Colour8x8(x, y)) << x << "," << y;
    }
    const Bytes raw = Tga8x8(TgaKind::Raw32);
    EXPECT_EQ(raw.size(), 274u);
}

TEST(ImageDecode, EveryCutOfEveryStbFormatFails) {
    // stb_image reads zeros past the end of its buffer; a cut file must never come back as a
    // padded picture. Each file decodes whole, and fails cut anywhere: in its header, its
    // colour map or palette, its pixels or compressed stream, or just before its last byte.
    struct Case {
        const char* name;
        Bytes file;
    } cases[] = {
        {"tga raw", Tga8x8(TgaKind::Raw32)},
        {"tga rle", Tga8x8(TgaKind::Rle32)},
        {"tga colour-mapped", Tga8x8(TgaKind::Mapped)},
        {"bmp 24-bit", Bmp5x3(false)},
        {"bmp 8-bit", Bmp5x3(true)},
        {"png", Png8x8()},
        {"jpeg", JpegGrey(16, 16)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Image img;
        std::string error;
        ASSERT_TRUE(DecodeImage(c.file.data(), c.file.size(), Exact(), img, error)) << error;
        const size_t n = c.file.size();
        for (size_t cut : {size_t{1}, size_t{17}, size_t{18}, size_t{40}, n / 3, n / 2, n - 17, n - 5, n - 2, n - 1}) {
            const Bytes part(c.file.begin(), c.file.begin() + static_cast<long>(cut));
            Image partial;
            EXPECT_FALSE(DecodeImage(part.data(), part.size(), ImageLoadOptions{}, partial, error))
                << "cut at " << cut << " of " << n;
            EXPECT_FALSE(error.empty());
            EXPECT_TRUE(partial.faces.empty());
        }
    }
}

TEST(ImageDecode, FilesThatPromiseMoreThanTheyHoldFail) {
    struct Lie {
        const char* name;
        Bytes file;
        size_t at; // byte to overwrite
        uint8_t value;
    } lies[] = {
        {"tga wider than its pixels", Tga8x8(TgaKind::Raw32), 12, 16},
        {"tga deeper colour map", Tga8x8(TgaKind::Mapped), 5, 128},
        {"tga longer identification", Tga8x8(TgaKind::Mapped), 0, 200},
        {"tga rle taller than its packets", Tga8x8(TgaKind::Rle32), 14, 9},
        {"bmp taller than its rows", Bmp5x3(false), 22, 4},
        {"bmp pixels past the end", Bmp5x3(false), 11, 1},
        {"bmp pixels inside the header", Bmp5x3(false), 10, 20},
        {"png chunk longer than the file", Png8x8(), 33 + 2, 0x7F},
    };
    for (const Lie& lie : lies) {
        SCOPED_TRACE(lie.name);
        Image img;
        std::string error;
        ASSERT_TRUE(DecodeImage(lie.file.data(), lie.file.size(), Exact(), img, error)) << error;
        Bytes file = lie.file;
        file.at(lie.at) = lie.value;
        EXPECT_FALSE(DecodeImage(file.data(), file.size(), Exact(), img, error));
        EXPECT_FALSE(error.empty());
    }

    // A depth no BMP has, with a compression field that reads as negative: stb takes such
    // pixels as 32 bits each through the header's masks, so a small header could claim millions
    // of them. The file is refused by its depth.
    {
        Bytes bmp = BmpMasked5x3();
        Image img;
        std::string error;
        ASSERT_TRUE(DecodeImage(bmp.data(), bmp.size(), Exact(), img, error)) << error;
        bmp.at(28) = 48;   // bits a pixel
        bmp.at(33) = 0x80; // compression, high byte
        EXPECT_FALSE(DecodeImage(bmp.data(), bmp.size(), Exact(), img, error));
        EXPECT_NE(error.find("bit depth 48"), std::string::npos) << error;
    }

    // A JPEG whose last segment before the scan claims more bytes than remain.
    Bytes jpg = JpegGrey(16, 16);
    size_t sos = 2;
    while (sos + 1 < jpg.size() && !(jpg[sos] == 0xFF && jpg[sos + 1] == 0xDA)) ++sos;
    ASSERT_LT(sos + 3, jpg.size());
    jpg[sos + 2] = 0xFF;
    Image img;
    std::string error;
    EXPECT_FALSE(DecodeImage(jpg.data(), jpg.size(), Exact(), img, error));
    EXPECT_FALSE(error.empty());
}

TEST(ImageDecode, JpegsStbWouldMisreadAreRefused) {
    // Two ways stb_image reads outside its Huffman tables: counts that add up to more than 256
    // codes (it writes past the tables), and a scan naming a table the file never defines (it
    // decodes with stale memory). Both are refused before stb sees the file, also when the file
    // opens with 0xFF fill bytes, which stb skips before the start-of-image marker as it does
    // before any other. Such a prefix alone does not stop a whole file from decoding, nor a cut
    // one from failing.
    const Bytes plain = JpegGrey(16, 16);
    auto segment = [&](uint8_t marker) {
        size_t at = 2;
        while (at + 1 < plain.size() && !(plain[at] == 0xFF && plain[at + 1] == marker)) ++at;
        return at;
    };
    const size_t dht = segment(0xC4), sos = segment(0xDA);
    ASSERT_LT(dht + 6, plain.size());
    ASSERT_LT(sos + 6, plain.size());
    Bytes overflowing = plain;
    overflowing[dht + 5] = 0xFF; // the first two code counts of the first table
    overflowing[dht + 6] = 0xFF;
    Bytes undefinedTable = plain;
    undefinedTable[sos + 6] = 0x23; // the first component reads DC table 2 and AC table 3

    struct Case {
        const char* name;
        Bytes file;
        size_t fill; // 0xFF bytes put before the file
        size_t cut;  // bytes taken off its end
        bool decodes;
    } cases[] = {
        {"plain", plain, 0, 0, true},
        {"after fill bytes", plain, 3, 0, true},
        {"after fill bytes, cut", plain, 3, 40, false},
        {"huffman overflow", overflowing, 0, 0, false},
        {"huffman overflow after fill bytes", overflowing, 3, 0, false},
        {"scan with undefined tables", undefinedTable, 0, 0, false},
        {"scan with undefined tables after fill bytes", undefinedTable, 1, 0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes file(c.fill, 0xFF);
        file.insert(file.end(), c.file.begin(), c.file.end() - static_cast<long>(c.cut));
        Image img;
        std::string error;
        ASSERT_EQ(DecodeImage(file.data(), file.size(), Exact(), img, error), c.decodes) << error;
        if (c.decodes) {
            EXPECT_EQ(img.fileFormat, ImageFileFormat::JPG);
            EXPECT_EQ(img.width, 16u);
            EXPECT_EQ(img.height, 16u);
        } else {
            EXPECT_FALSE(error.empty());
            EXPECT_TRUE(img.faces.empty());
        }
    }
}
