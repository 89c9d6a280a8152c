// An interface drawn through the demo effects on the OpenGL device offscreen (Mesa's llvmpipe
// where there is no GPU) at 160 x 120, checked by reading pixels back: a window of the layout's
// texture and a text of the font. Skipped where OpenGL 4.5 cannot run.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "Framework/PApplication.h"
#include "Framework/PSettings.h"
#include "Game/PFontManager.h"
#include "Game/PInterface.h"
#include "Render/Frame/FrameFixture.h"
#include "Render/PEffect.h"
#include "support/FontWriter.h"
#include "support/TgaWriter.h"

using namespace frametest;

namespace {

constexpr int W = 160, H = 120;

std::string ReadDataFile(const std::string& relative) {
    std::ifstream in(std::string(KX_DATA_DIR) + "/" + relative, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

class InterfacePixels : public RenderFixture {
protected:
    void SetUp() override {
        RenderFixture::SetUp();
        g_screenWidth = W;
        g_screenHeight = H;
        ComputeInterfaceScale(W, H);
        IDirect3D9* probe = kxtest::OffscreenOpenGLDirect3D();
        if (!probe) GTEST_SKIP() << "no OpenGL 4.5 here";
        probe->Release();
        for (const char* effect : {"interface.fx", "interface2.fx", "lensflare.fx"})
            root->Write(std::string("Data/Effects/") + effect, ReadDataFile(std::string("Data/Effects/") + effect));
        root->Write("Data/Textures/window.tga", kxtest::SolidTga(8, 8, 0xFFFFFFFFu));
        root->Write("Data/Textures/ui.tga", kxtest::SolidTga(8, 8, 0xFFC8281Eu));
        root->Write("Data/Textures/f.tga", kxtest::SolidTga(8, 8, 0xFF28DC3Cu));
        root->Write("Data/Fonts/fonts.dat", "f\t0\n");
        // Cells of 128 texels: at this screen's scale (120 / 768) a glyph is 20 pixels square.
        root->Write("Data/Fonts/f.fnt", kxtest::FontFileText(2048, 2048, 128, 128, {{"A", 128.0f}}));
        // A window over the left half of the screen's top; a text at the right of the bottom.
        root->Write("Data/Interface/hud1024.int", "hud\nui.tga,8,8\nlight,off\n"
                                                  "window\nframe 0,0,512,256,0,0,8,8\n"
                                                  "text\nlabel f,640,512,none\n");
        ASSERT_TRUE(StartRendererOnOpenGL());
        fonts = new CPFontManager();
        fonts->Load();
    }
    void TearDown() override {
        ui = CPSmartPtr<CPInterface>();
        IPMMObject::CollectGarbage();
        delete fonts;
        if (backBuffer) backBuffer->Release();
        backBuffer = nullptr;
        RenderFixture::TearDown();
    }

    std::vector<D3DCOLOR> Read() {
        IDirect3DDevice9* d = render->GetDevice();
        if (!backBuffer) d->GetRenderTarget(0, &backBuffer);
        std::vector<D3DCOLOR> pixels(W * H);
        EXPECT_EQ(d->ReadRenderTarget(backBuffer, pixels.data(), static_cast<UINT>(pixels.size())), D3D_OK);
        return pixels;
    }
    static D3DCOLOR At(const std::vector<D3DCOLOR>& p, int x, int y) { return p[static_cast<std::size_t>(y * W + x)]; }
    static int Channel(D3DCOLOR c, int shift) { return static_cast<int>((c >> shift) & 0xFF); }

    SettingsGuard settings;
    CPFontManager* fonts = nullptr;
    CPSmartPtr<CPInterface> ui;
    IDirect3DSurface9* backBuffer = nullptr;
};

TEST_F(InterfacePixels, AWindowAndATextThroughTheDemoEffects) {
    ui = new CPInterface();
    ui->LoadLayout("hud", 0);
    SPTextEntry* label = ui->FindText("label");
    ASSERT_NE(label, nullptr);
    label->text = "A";
    ReprintTextEntry(*label);
    ui->SilentActivate(450);
    ui->Render();
    Frame();
    const auto p = Read();
    // The window covers (0, 0) to (80, 40).
    const D3DCOLOR window = At(p, 40, 20);
    EXPECT_NEAR(Channel(window, 16), 200, 8);
    EXPECT_NEAR(Channel(window, 8), 40, 8);
    EXPECT_NEAR(Channel(window, 0), 30, 8);
    // The glyph covers (100.5, 80.5) to (120.5, 100.5).
    const D3DCOLOR glyph = At(p, 110, 90);
    EXPECT_NEAR(Channel(glyph, 16), 40, 8);
    EXPECT_NEAR(Channel(glyph, 8), 220, 8);
    EXPECT_NEAR(Channel(glyph, 0), 60, 8);
    // Elsewhere the start-up frame's black remains.
    EXPECT_EQ(At(p, 140, 10) & 0xFFFFFF, 0u);
    EXPECT_EQ(At(p, 40, 100) & 0xFFFFFF, 0u);
}

TEST_F(InterfacePixels, TheDemoEffectsBuildOnThisDevice) {
    for (const char* effect : {"interface.fx", "interface2.fx", "lensflare.fx"}) {
        CPSmartPtr<CPMaterial> material;
        manager->GetMaterial(material, 200, effect, {"ui.tga", "window.tga"});
        ASSERT_TRUE(material) << effect;
        ASSERT_NE(material->GetEffect(), nullptr) << effect;
        // A file without a valid technique would have been replaced by the error effect.
        EXPECT_EQ(material->GetEffect()->GetName(), effect);
        EXPECT_NE(material->GetEffect()->GetD3DXEffect(), nullptr) << effect;
    }
}

} // namespace
