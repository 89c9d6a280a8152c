// The post effects' generated pictures: written into the game root as readable 32-bit TGA
// files, the blur mask clear in the middle and opaque at the edges, the noise a faint grain,
// and the same bytes on every run.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "support/TempDir.h"

namespace fs = std::filesystem;

namespace {

std::string Read(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// An uncompressed true-colour TGA with alpha, as RGBA rows from the top; empty when the file is
// not one.
struct Picture {
    int width = 0, height = 0;
    std::vector<std::uint8_t> rgba;
    int Alpha(int x, int y) const { return rgba[(static_cast<std::size_t>(y) * width + x) * 4 + 3]; }
    int Red(int x, int y) const { return rgba[(static_cast<std::size_t>(y) * width + x) * 4]; }
};

Picture Decode(const std::string& bytes) {
    Picture p;
    if (bytes.size() < 18) return p;
    const auto byte = [&](std::size_t i) { return static_cast<std::uint8_t>(bytes[i]); };
    if (byte(2) != 2 || byte(16) != 32) return p;
    const int width = byte(12) | (byte(13) << 8), height = byte(14) | (byte(15) << 8);
    const std::size_t start = 18 + byte(0);
    if (width <= 0 || height <= 0 || bytes.size() < start + static_cast<std::size_t>(width) * height * 4) return p;
    const bool topFirst = (byte(17) & 0x20) != 0;
    p.width = width;
    p.height = height;
    p.rgba.resize(static_cast<std::size_t>(width) * height * 4);
    for (int row = 0; row < height; ++row) {
        const int y = topFirst ? row : height - 1 - row;
        for (int x = 0; x < width; ++x) {
            const std::size_t in = start + (static_cast<std::size_t>(row) * width + x) * 4;
            std::uint8_t* out = &p.rgba[(static_cast<std::size_t>(y) * width + x) * 4];
            out[0] = byte(in + 2);
            out[1] = byte(in + 1);
            out[2] = byte(in);
            out[3] = byte(in + 3);
        }
    }
    return p;
}

class PostEffectPictures : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(data);
        std::ofstream(data / "config.cfg") << "width 640\n";
        ASSERT_EQ(Run(root), 0);
    }
    int Run(const fs::path& to) const {
        const std::string command =
            std::string("\"") + KX_DEMOGEN + "\" \"" + data.string() + "\" \"" + to.string() + "\"";
        return std::system(command.c_str());
    }

    kxtest::TempDir temp;
    fs::path data = fs::path(temp.Path()) / "data";
    fs::path root = fs::path(temp.Path()) / "build" / "game";
};

TEST_F(PostEffectPictures, TheBlurMaskIsClearInTheMiddleAndOpaqueAtTheEdges) {
    const Picture mask = Decode(Read(root / "Data" / "Textures" / "blurmask_2_.tga"));
    ASSERT_EQ(mask.width, 256);
    ASSERT_EQ(mask.height, 256);
    const int c = mask.width / 2;
    EXPECT_EQ(mask.Alpha(c, c), 0);
    EXPECT_EQ(mask.Alpha(c + 20, c - 20), 0);
    for (const auto& edge : {std::pair<int, int>{0, c}, {255, c}, {c, 0}, {c, 255}, {0, 0}, {255, 255}}) {
        SCOPED_TRACE(std::to_string(edge.first) + ", " + std::to_string(edge.second));
        EXPECT_GE(mask.Alpha(edge.first, edge.second), 250);
    }
    // Rising from the middle outwards, without steps back.
    for (int x = c + 1; x < mask.width; ++x) EXPECT_GE(mask.Alpha(x, c), mask.Alpha(x - 1, c)) << x;
    EXPECT_EQ(mask.Red(c, c), 255);
}

TEST_F(PostEffectPictures, TheNoiseIsAFaintGrain) {
    const Picture noise = Decode(Read(root / "Data" / "Textures" / "noise.tga"));
    ASSERT_EQ(noise.width, 256);
    ASSERT_EQ(noise.height, 256);
    int lowest = 255, highest = 0, darkest = 255, brightest = 0;
    for (int y = 0; y < noise.height; ++y) {
        for (int x = 0; x < noise.width; ++x) {
            lowest = std::min(lowest, noise.Alpha(x, y));
            highest = std::max(highest, noise.Alpha(x, y));
            darkest = std::min(darkest, noise.Red(x, y));
            brightest = std::max(brightest, noise.Red(x, y));
        }
    }
    EXPECT_GT(lowest, 0);
    EXPECT_LE(highest, 24);
    // Grey speckles over the whole range.
    EXPECT_LT(darkest, 16);
    EXPECT_GT(brightest, 240);
}

TEST_F(PostEffectPictures, EveryRunWritesTheSameBytes) {
    const fs::path other = fs::path(temp.Path()) / "other" / "game";
    ASSERT_EQ(Run(other), 0);
    for (const char* file : {"Data/Textures/blurmask_2_.tga", "Data/Textures/noise.tga"}) {
        SCOPED_TRACE(file);
        const std::string first = Read(root / file);
        ASSERT_FALSE(first.empty());
        EXPECT_EQ(Read(other / file), first);
    }
    // Nothing is generated into the data folder.
    EXPECT_FALSE(fs::exists(data / "Data"));
}

} // namespace
