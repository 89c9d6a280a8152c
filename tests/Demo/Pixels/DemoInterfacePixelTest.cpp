// The demo's interface drawn on the OpenGL device offscreen (Mesa's llvmpipe where there is no
// GPU) at 320 x 240 from the demo game root: the main menu and the race's head-up display show
// their atlas pictures and their texts where their layouts put them. The frames are left in the
// build folder's pictures/ to look at. Skipped where OpenGL 4.5 cannot run.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "Framework/PApplication.h"
#include "Framework/PSettings.h"
#include "Framework/PackFile.h"
#include "Game/PFontManager.h"
#include "Game/PInterface.h"
#include "GameData/PGameData.h"
#include "Platform/System/Paths.h"
#include "Render/Frame/FrameFixture.h"
#include "support/TgaWriter.h"

using namespace frametest;

namespace {

constexpr int W = 320, H = 240;
// Layout pixels to screen pixels: 240 / 768.
constexpr float kScale = 240.0f / 768.0f;

class DemoInterfacePixels : public RenderFixture {
protected:
    void SetUp() override {
        RenderFixture::SetUp();
        IDirect3D9* probe = kxtest::OffscreenOpenGLDirect3D();
        if (!probe) GTEST_SKIP() << "no OpenGL 4.5 here";
        probe->Release();
        std::error_code ec;
        std::filesystem::copy(
            KX_DATA_DIR, root->Path(),
            std::filesystem::copy_options::recursive | std::filesystem::copy_options::overwrite_existing, ec);
        ASSERT_FALSE(ec) << ec.message();
        Platform::GamePaths().SetRoot(root->Path());
        ASSERT_EQ(MountPacks(), S_OK);
        data = std::make_unique<CPGameData>();
        data->LoadStrings();
        g_screenWidth = W;
        g_screenHeight = H;
        ComputeInterfaceScale(W, H);
        ASSERT_TRUE(StartRendererOnOpenGL());
        fonts = new CPFontManager();
        fonts->Load();
    }
    void TearDown() override {
        interfaces.clear();
        IPMMObject::CollectGarbage();
        delete fonts;
        if (backBuffer) backBuffer->Release();
        backBuffer = nullptr;
        RenderFixture::TearDown();
        UnmountPacks();
        data.reset();
    }

    CPInterface& Show(const std::string& name) {
        CPSmartPtr<CPInterface> ui(new CPInterface());
        EXPECT_TRUE(ui->LoadLayout(name, 0)) << name;
        ui->SilentActivate(450);
        interfaces.push_back(ui);
        return *ui;
    }

    std::vector<D3DCOLOR> Draw() {
        for (auto& ui : interfaces) ui->Render();
        Frame();
        IDirect3DDevice9* d = render->GetDevice();
        if (!backBuffer) d->GetRenderTarget(0, &backBuffer);
        std::vector<D3DCOLOR> pixels(W * H);
        EXPECT_EQ(d->ReadRenderTarget(backBuffer, pixels.data(), static_cast<UINT>(pixels.size())), D3D_OK);
        return pixels;
    }

    static void Keep(const std::vector<D3DCOLOR>& pixels, const std::string& name) {
        std::vector<std::uint8_t> rgba;
        for (D3DCOLOR c : pixels) {
            rgba.push_back(static_cast<std::uint8_t>((c >> 16) & 0xFF));
            rgba.push_back(static_cast<std::uint8_t>((c >> 8) & 0xFF));
            rgba.push_back(static_cast<std::uint8_t>(c & 0xFF));
            rgba.push_back(255);
        }
        std::filesystem::create_directories(KX_PICTURES_DIR);
        const std::filesystem::path file = std::filesystem::path(KX_PICTURES_DIR) / name;
        EXPECT_TRUE(kxtest::WritePng(file, W, H, rgba)) << file;
        std::printf("picture: %s\n", file.string().c_str());
    }

    // The pixel under a point of the 1024 x 768 layout.
    static D3DCOLOR At(const std::vector<D3DCOLOR>& p, float layoutX, float layoutY) {
        const int x = static_cast<int>(layoutX * kScale), y = static_cast<int>(layoutY * kScale);
        return p[static_cast<std::size_t>(y * W + x)];
    }
    static int Channel(D3DCOLOR c, int shift) { return static_cast<int>((c >> shift) & 0xFF); }
    static bool IsAmber(D3DCOLOR c) {
        return Channel(c, 16) > 180 && Channel(c, 8) > 120 && Channel(c, 8) < 210 && Channel(c, 0) < 100;
    }
    // White strokes of a text somewhere in the layout rectangle.
    static int WhitePixels(const std::vector<D3DCOLOR>& p, float x, float y, float w, float h) {
        int count = 0;
        for (int j = static_cast<int>(y * kScale); j < static_cast<int>((y + h) * kScale); ++j)
            for (int i = static_cast<int>(x * kScale); i < static_cast<int>((x + w) * kScale); ++i) {
                const D3DCOLOR c = p[static_cast<std::size_t>(j * W + i)];
                count += Channel(c, 16) > 200 && Channel(c, 8) > 200 && Channel(c, 0) > 200;
            }
        return count;
    }

    std::unique_ptr<CPGameData> data;
    CPFontManager* fonts = nullptr;
    std::vector<CPSmartPtr<CPInterface>> interfaces;
    IDirect3DSurface9* backBuffer = nullptr;
};

TEST_F(DemoInterfacePixels, TheMainMenuShowsItsPanelButtonsAndTexts) {
    Show("mainmenu");
    const auto p = Draw();
    Keep(p, "demo_main_menu.png");
    // The panel's amber rim on its left edge, its dark fill inside, a button's steel rim.
    EXPECT_TRUE(IsAmber(At(p, 263, 400))) << std::hex << At(p, 263, 400);
    const D3DCOLOR fill = At(p, 320, 400);
    EXPECT_LT(Channel(fill, 16), 80) << std::hex << fill;
    EXPECT_GT(Channel(fill, 0), Channel(fill, 16)) << std::hex << fill;
    // The title and the first button's label print in white.
    EXPECT_GT(WhitePixels(p, 300, 170, 300, 32), 20);
    EXPECT_GT(WhitePixels(p, 408, 256, 200, 16), 10);
    // Outside the panel the empty screen stays black.
    EXPECT_EQ(At(p, 100, 400) & 0xFFFFFF, 0u);
}

TEST_F(DemoInterfacePixels, TheRaceDisplayShowsItsGaugesAndReadouts) {
    Show("game_interface");
    CPInterface& panel = Show("gamemenu");
    SPTextEntry* time = panel.FindText("time");
    ASSERT_NE(time, nullptr);
    time->text = "01:23";
    ReprintTextEntry(*time);
    const auto p = Draw();
    Keep(p, "demo_race_display.png");
    // The time prints in the time panel.
    EXPECT_GT(WhitePixels(p, 398, 48, 200, 32), 20);
    // The heat gauge's first cell is green, its last red.
    const D3DCOLOR cool = At(p, 28, 520), hot = At(p, 22 + 16 * 11 + 6, 520);
    EXPECT_GT(Channel(cool, 8), Channel(cool, 16)) << std::hex << cool;
    EXPECT_GT(Channel(hot, 16), Channel(hot, 8)) << std::hex << hot;
    // The first ammunition mark is yellow, and the empty weapon slot is drawn.
    const D3DCOLOR bullet = At(p, 23, 625);
    EXPECT_GT(Channel(bullet, 16), 200) << std::hex << bullet;
    EXPECT_GT(Channel(bullet, 8), 150) << std::hex << bullet;
    EXPECT_NE(At(p, 60, 586) & 0xFFFFFF, 0u);
    // Hidden icons stay hidden: the middle of the screen shows nothing.
    EXPECT_EQ(At(p, 512, 450) & 0xFFFFFF, 0u);
}

TEST_F(DemoInterfacePixels, TheCountdownShowsOneFigureBetweenTheStripes) {
    CPInterface& stripes = Show("stripes");
    // As the countdown shows "3": that figure and the stripes, nothing else.
    for (const auto& element : stripes.GetElements()) {
        const std::string& name = element->GetName();
        element->SetVisible(name == "count3" || name.rfind("stripe_", 0) == 0);
    }
    stripes.RebuildBatch();
    const auto p = Draw();
    Keep(p, "demo_countdown.png");
    // Amber strokes of the figure inside its 128 x 128 square, black around them.
    int amber = 0;
    for (float y = 320; y < 448; y += 4)
        for (float x = 448; x < 576; x += 4) amber += IsAmber(At(p, x, y));
    EXPECT_GT(amber, 100);
    EXPECT_EQ(At(p, 300, 384) & 0xFFFFFF, 0u);
    // The checkered band below: black and white squares.
    bool white = false, black = false;
    for (float x = 0; x < 256; x += 8) {
        const D3DCOLOR c = At(p, x, 494);
        white = white || (Channel(c, 16) > 200 && Channel(c, 0) > 200);
        black = black || Channel(c, 16) < 40;
    }
    EXPECT_TRUE(white);
    EXPECT_TRUE(black);
}

} // namespace
