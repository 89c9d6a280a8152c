// The frame picture of observed runs: the switch's value, and the one PNG written after the
// first frame presented at or past its game time, on the Recording device.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "Framework/PGlobalTimer.h"
#include "Framework/PLog.h"
#include "Framework/PSettings.h"
#include "Render/Frame/FrameFixture.h"
#include "Render/FrameCapture.h"
#include "support/TempDir.h"

#include <stb/stb_image.h>

using namespace frametest;

namespace {

TEST(FrameCaptureSwitch, ReadsSecondsAndAFile) {
    struct Case {
        const char* value;
        bool valid;
        double seconds;
        const char* file;
    };
    const Case cases[] = {
        {"12.5:/tmp/frame.png", true, 12.5, "/tmp/frame.png"},
        {"0:shot.png", true, 0.0, "shot.png"},
        {"3:c:/odd:name.png", true, 3.0, "c:/odd:name.png"},
        {"1e1:a.png", true, 10.0, "a.png"},
        {"abc", false, 0, ""},
        {"abc:file.png", false, 0, ""},
        {"12.5", false, 0, ""},
        {"-1:file.png", false, 0, ""},
        {"5:", false, 0, ""},
        {":file.png", false, 0, ""},
        {"5x:file.png", false, 0, ""},
        {"inf:file.png", false, 0, ""},
        {"nan:file.png", false, 0, ""},
        {" 5:file.png", false, 0, ""},
    };
    for (const Case& c : cases) {
        std::string error;
        const auto request = ParseFrameCapture(c.value, &error);
        ASSERT_EQ(request.has_value(), c.valid) << c.value;
        if (c.valid) {
            EXPECT_EQ(request->seconds, c.seconds) << c.value;
            EXPECT_EQ(request->file, c.file) << c.value;
        } else {
            EXPECT_FALSE(error.empty()) << c.value;
        }
    }
    EXPECT_FALSE(ParseFrameCapture(nullptr).has_value());
}

TEST(FrameCaptureSwitch, AMalformedValueIsIgnoredWithOneLogLine) {
    for (const char* value : {"abc", "12", "-3:f.png", "1:"}) {
        std::vector<std::string> lines;
        CPLog::Instance().SetSink([&lines](int, const std::string& text) { lines.push_back(text); });
        EXPECT_FALSE(ApplyCaptureSwitch(value)) << value;
        CPLog::Instance().SetSink(nullptr);
        EXPECT_FALSE(IsFrameCapturePending()) << value;
        ASSERT_EQ(lines.size(), 1u) << value;
        EXPECT_NE(lines[0].find(kCaptureSwitch), std::string::npos) << lines[0];
    }
    for (const char* value : {static_cast<const char*>(nullptr), ""}) {
        std::vector<std::string> lines;
        CPLog::Instance().SetSink([&lines](int, const std::string& text) { lines.push_back(text); });
        EXPECT_FALSE(ApplyCaptureSwitch(value));
        CPLog::Instance().SetSink(nullptr);
        EXPECT_TRUE(lines.empty());
    }
    EXPECT_TRUE(ApplyCaptureSwitch("2:x.png"));
    EXPECT_TRUE(IsFrameCapturePending());
    SetFrameCapture(std::nullopt);
}

class FrameCapture : public RenderFixture {
protected:
    static constexpr int W = 64, H = 48;
    void SetUp() override {
        RenderFixture::SetUp();
        g_screenWidth = W;
        g_screenHeight = H;
        ASSERT_TRUE(StartRenderer());
        g_totalTime = 0.0;
    }
    void TearDown() override {
        SetFrameCapture(std::nullopt);
        g_totalTime = 0.0;
        RenderFixture::TearDown();
    }
    std::string File() const { return out.Path() + "/frame.png"; }
    bool Written() const { return out.Exists("frame.png"); }
    // One frame at that game time, over a back buffer cleared to a colour of its own.
    void FrameAt(double seconds) {
        g_totalTime = seconds;
        render->GetDevice()->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF336699, 1.0f, 0);
        Frame();
    }
    std::vector<D3DCOLOR> BackBuffer() {
        IDirect3DSurface9* back = nullptr;
        render->GetDevice()->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &back);
        std::vector<D3DCOLOR> pixels(W * H);
        EXPECT_EQ(render->GetDevice()->ReadRenderTarget(back, pixels.data(), W * H), D3D_OK);
        back->Release();
        return pixels;
    }

    kxtest::TempDir out;
};

TEST_F(FrameCapture, WritesOnePictureOfTheBackBufferAtTheFirstFrameAtOrPastItsTime) {
    SetFrameCapture(SPFrameCaptureRequest{1.0, File()});
    FrameAt(0.5);
    FrameAt(0.99);
    EXPECT_FALSE(Written());
    EXPECT_TRUE(IsFrameCapturePending());

    FrameAt(1.0);
    ASSERT_TRUE(Written());
    EXPECT_FALSE(IsFrameCapturePending());
    const std::vector<D3DCOLOR> shown = BackBuffer();

    const std::string png = out.Read("frame.png");
    int width = 0, height = 0, channels = 0;
    unsigned char* rgb = stbi_load_from_memory(reinterpret_cast<const unsigned char*>(png.data()),
                                               static_cast<int>(png.size()), &width, &height, &channels, 3);
    ASSERT_NE(rgb, nullptr);
    EXPECT_EQ(width, W);
    EXPECT_EQ(height, H);
    int differing = 0;
    for (int i = 0; i < W * H; ++i) {
        const D3DCOLOR c = shown[static_cast<std::size_t>(i)];
        if (rgb[i * 3] != ((c >> 16) & 0xFF) || rgb[i * 3 + 1] != ((c >> 8) & 0xFF) || rgb[i * 3 + 2] != (c & 0xFF))
            ++differing;
    }
    EXPECT_EQ(differing, 0);
    EXPECT_EQ(rgb[0], 0x33);
    EXPECT_EQ(rgb[1], 0x66);
    EXPECT_EQ(rgb[2], 0x99);
    stbi_image_free(rgb);

    // Once only: later frames leave it alone.
    std::remove(File().c_str());
    FrameAt(2.0);
    FrameAt(3.0);
    EXPECT_FALSE(Written());
}

TEST_F(FrameCapture, AFrameLongPastTheTimeIsTheOneTaken) {
    SetFrameCapture(SPFrameCaptureRequest{0.25, File()});
    FrameAt(40.0);
    EXPECT_TRUE(Written());
}

TEST_F(FrameCapture, AFileThatCannotBeWrittenIsReportedOnceAndTheGameGoesOn) {
    SetFrameCapture(SPFrameCaptureRequest{0.0, out.Path() + "/no/such/folder/frame.png"});
    logLines.clear();
    FrameAt(0.0);
    FrameAt(1.0);
    EXPECT_FALSE(IsFrameCapturePending());
    std::size_t reports = 0;
    for (const std::string& line : logLines)
        if (line.find("frame.png") != std::string::npos) ++reports;
    EXPECT_EQ(reports, 1u);
}

} // namespace
