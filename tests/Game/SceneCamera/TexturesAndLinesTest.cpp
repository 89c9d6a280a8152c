// GetTextureSize over the file layer for pictures of each format written by the test writers,
// loose and packed, and over files that are no pictures; the picture writers themselves; and
// DrawLine's debug line, queued for one frame of a started renderer.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "Framework/PackFile.h"
#include "Game/LuaHarness.h"
#include "Game/ScriptApi.h"
#include "Game/ScriptSceneCamera.h"
#include "Platform/Image/ImageDecode.h"
#include "Render/Frame/FrameFixture.h"
#include "Render/PRender.h"
#include "support/DdsWriter.h"
#include "support/JpegWriter.h"
#include "support/PackWriter.h"
#include "support/TempDir.h"
#include "support/TgaWriter.h"

namespace {

// A picture with a gradient, so that block compression and JPEG have something to keep.
std::vector<std::uint8_t> Gradient(int width, int height) {
    std::vector<std::uint8_t> rgba;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            rgba.push_back(static_cast<std::uint8_t>(x * 255 / width));
            rgba.push_back(static_cast<std::uint8_t>(y * 255 / height));
            rgba.push_back(128);
            rgba.push_back(255);
        }
    return rgba;
}

std::string Text(const std::vector<std::uint8_t>& bytes) { return std::string(bytes.begin(), bytes.end()); }

bool Decode(const std::vector<std::uint8_t>& bytes, Platform::Image& image) {
    std::string error;
    Platform::ImageLoadOptions exact;
    exact.roundToPowerOfTwo = false;
    exact.mipLevels = 1;
    return Platform::DecodeImage(bytes.data(), bytes.size(), exact, image, error);
}

// ---- the picture writers ------------------------------------------------------------------

TEST(PictureWriters, EachWriterIsReadBackByTheEngineDecoders) {
    const std::vector<std::uint8_t> rgba = Gradient(12, 8);
    struct Written {
        const char* what;
        std::vector<std::uint8_t> bytes;
        Platform::ImageFileFormat format;
        int tolerance;
    };
    const Written written[] = {
        {"tga", kxtest::EncodeTga(12, 8, rgba), Platform::ImageFileFormat::TGA, 0},
        {"dds dxt1", kxtest::EncodeDds(12, 8, rgba), Platform::ImageFileFormat::DDS, 48},
        {"dds bgra", kxtest::EncodeDds(12, 8, rgba, kxtest::DdsPixels::Bgra8), Platform::ImageFileFormat::DDS, 0},
        {"jpeg", kxtest::EncodeJpeg(12, 8, rgba), Platform::ImageFileFormat::JPG, 24},
    };
    for (const Written& w : written) {
        ASSERT_FALSE(w.bytes.empty()) << w.what;
        Platform::Image image;
        ASSERT_TRUE(Decode(w.bytes, image)) << w.what;
        EXPECT_EQ(image.fileFormat, w.format) << w.what;
        EXPECT_EQ(image.fileWidth, 12u) << w.what;
        EXPECT_EQ(image.fileHeight, 8u) << w.what;
        // The top right pixel keeps its colour as closely as the format allows (BGRA after
        // decoding; a 4x4 block of a gradient shares two end colours).
        const std::vector<std::uint8_t> bgra = Platform::DecompressLevel(
            image.format, image.width, image.height, image.faces[0][0].data.data(), image.faces[0][0].data.size());
        ASSERT_EQ(bgra.size(), 12u * 8u * 4u) << w.what;
        const std::size_t topRight = 11 * 4;
        EXPECT_NEAR(bgra[topRight + 2], rgba[topRight], w.tolerance) << w.what;
        EXPECT_NEAR(bgra[topRight + 1], rgba[topRight + 1], w.tolerance) << w.what;
        EXPECT_NEAR(bgra[topRight], 128, w.tolerance) << w.what;
    }
    // The compressed one is block data of 8 bytes a 4x4 block.
    EXPECT_EQ(kxtest::EncodeDds(12, 8, rgba).size(), 128u + 3 * 2 * 8);
    EXPECT_EQ(kxtest::EncodeDds(12, 8, rgba, kxtest::DdsPixels::Bgra8).size(), 128u + 12 * 8 * 4);
}

TEST(PictureWriters, SizesThatDoNotMatchThePixelsWriteNothing) {
    const std::vector<std::uint8_t> rgba = Gradient(4, 4);
    for (const auto& size : {std::pair<int, int>{0, 4}, {4, 0}, {-4, 4}, {5, 4}, {4, 3}}) {
        EXPECT_TRUE(kxtest::EncodeDds(size.first, size.second, rgba).empty()) << size.first << "x" << size.second;
        EXPECT_TRUE(kxtest::EncodeJpeg(size.first, size.second, rgba).empty()) << size.first << "x" << size.second;
    }
    kxtest::TempDir dir;
    EXPECT_FALSE(kxtest::WriteDds(std::filesystem::path(dir.Path()) / "bad.dds", 3, 3, rgba));
    EXPECT_FALSE(kxtest::WriteJpeg(std::filesystem::path(dir.Path()) / "bad.jpg", 3, 3, rgba));
    EXPECT_TRUE(kxtest::WriteDds(std::filesystem::path(dir.Path()) / "good.dds", 4, 4, rgba));
    EXPECT_TRUE(kxtest::WriteJpeg(std::filesystem::path(dir.Path()) / "good.jpg", 4, 4, rgba, 500));
}

// ---- GetTextureSize -----------------------------------------------------------------------

class TextureSize : public ::testing::Test {
protected:
    void TearDown() override { UnmountPacks(); }

    kxtest::TempGameRoot root;
    kxtest::LuaHarness lua{ScriptApi::AddSceneCameraFunctions};
};

TEST_F(TextureSize, AnswersTheFileOwnSizeLooseAndPacked) {
    const std::string tga = Text(kxtest::EncodeTga(30, 17, Gradient(30, 17)));
    const std::string dds = Text(kxtest::EncodeDds(64, 32, Gradient(64, 32)));
    const std::string jpg = Text(kxtest::EncodeJpeg(100, 75, Gradient(100, 75)));
    root.Write("data/textures/loose.tga", tga);
    root.Write("data/textures/loose.dds", dds);
    root.Write("data/textures/loose.jpg", jpg);
    kxtest::PackWriter pack;
    pack.AddFile("textures\\packed.tga", tga);
    pack.AddFile("textures\\packed.dds", dds);
    pack.AddFile("textures\\packed.jpg", jpg);
    root.Write("data/game1.dat", pack.Build());
    ASSERT_EQ(MountPacks(), S_OK);

    struct {
        const char* call;
        const char* want;
    } cases[] = {
        // Sizes that are no powers of two come back as the file gives them.
        {"GetTextureSize('Data\\\\Textures\\\\loose.tga')", "30 17"},
        {"GetTextureSize('data/textures/LOOSE.DDS')", "64 32"},
        {"GetTextureSize('Data\\\\Textures\\\\loose.jpg')", "100 75"},
        {"GetTextureSize('Data\\\\Textures\\\\packed.tga')", "30 17"},
        {"GetTextureSize('Data\\\\Textures\\\\packed.dds')", "64 32"},
        {"GetTextureSize('Data\\\\Textures\\\\packed.jpg')", "100 75"},
        {"GetTextureSize('Data\\\\Textures\\\\missing.dds')", "0 0"},
        {"GetTextureSize('')", "0 0"},
        // A number is read as its text.
        {"GetTextureSize(5)", "0 0"},
    };
    for (const auto& c : cases) EXPECT_EQ(lua.Eval(c.call), c.want) << c.call;
}

TEST_F(TextureSize, FilesThatAreNoPicturesAnswerZero) {
    const std::string dds = Text(kxtest::EncodeDds(64, 32, Gradient(64, 32)));
    const std::string jpg = Text(kxtest::EncodeJpeg(40, 40, Gradient(40, 40)));
    root.Write("data/textures/text.tga", "this is no picture at all");
    root.Write("data/textures/empty.dds", "");
    root.Write("data/textures/short.dds", dds.substr(0, 100));
    root.Write("data/textures/cut.dds", dds.substr(0, dds.size() - 9));
    root.Write("data/textures/cut.jpg", jpg.substr(0, jpg.size() / 3));
    // A header that claims a side far beyond what any texture may have.
    std::string lying = dds;
    lying[16] = '\xff';
    lying[17] = '\xff';
    lying[18] = '\xff';
    root.Write("data/textures/lying.dds", lying);
    root.MakeDir("data/textures/folder.tga");
    for (const char* file : {"text.tga", "empty.dds", "short.dds", "cut.dds", "cut.jpg", "lying.dds", "folder.tga"}) {
        EXPECT_EQ(lua.Eval(std::string("GetTextureSize('Data\\\\Textures\\\\") + file + "')"), "0 0") << file;
    }
}

// ---- DrawLine -----------------------------------------------------------------------------

class DrawLine : public frametest::RenderFixture {
protected:
    kxtest::LuaHarness lua{ScriptApi::AddSceneCameraFunctions};
};

TEST_F(DrawLine, QueuesARedLineForThisFrameOnly) {
    ASSERT_TRUE(StartRenderer());
    EXPECT_EQ(lua.Eval("DrawLine(1, 2, 3, 4, 5, 6)"), "");
    const std::vector<SPVertex>& lines = render->GetDebugLines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].x, 1.0f);
    EXPECT_EQ(lines[0].y, 2.0f);
    EXPECT_EQ(lines[0].z, 3.0f);
    EXPECT_EQ(lines[1].x, 4.0f);
    EXPECT_EQ(lines[1].y, 5.0f);
    EXPECT_EQ(lines[1].z, 6.0f);
    EXPECT_EQ(lines[0].diffuse, 0xFFFF0000u);
    EXPECT_EQ(lines[1].diffuse, 0xFFFF0000u);
    Frame();
    EXPECT_TRUE(render->GetDebugLines().empty());
    // A line that should stay is queued every frame.
    for (int frame = 0; frame < 3; ++frame) {
        lua.Run("DrawLine(0, 0, 0, 1, 0, 0)");
        lua.Run("DrawLine(0, 0, 0, 0, 1, 0)");
        EXPECT_EQ(render->GetDebugLines().size(), 4u);
        Frame();
        EXPECT_TRUE(render->GetDebugLines().empty());
    }
}

} // namespace
