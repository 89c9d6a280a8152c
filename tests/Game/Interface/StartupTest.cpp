// The game layer's start-up: the application's steps make the font manager and load the fonts,
// the broadcasts reach the interfaces, and the overlay maker makes overlays.

#include "InterfaceFixture.h"

#include "Framework/StartupRegistry.h"
#include "Game/GameStartup.h"
#include "Game/PLensFlareInterface.h"
#include "Input/InterfaceBroadcasts.h"
#include "Scene/SceneInterfaces.h"

using namespace interfacetest;

namespace {

class StartupTest : public InterfaceTest {
protected:
    void TearDown() override {
        ResetStartupRegistry();
        SetInterfaceBroadcasts(nullptr);
        SetLensFlareOverlayMaker(nullptr);
        InterfaceTest::TearDown();
    }
};

TEST_F(StartupTest, TheStepsTheGameLayerInstalls) {
    delete fonts;
    fonts = nullptr;
    ResetStartupRegistry();
    SPStartupRegistry& registry = GetStartupRegistry();
    InstallGameLayer(registry);
    ASSERT_TRUE(registry.createFontManager);
    ASSERT_TRUE(registry.loadFonts);
    registry.createFontManager();
    fonts = GetFontManager();
    ASSERT_NE(fonts, nullptr);
    EXPECT_EQ(fonts->GetLoadedFont("f"), nullptr);
    registry.loadFonts();
    EXPECT_NE(fonts->GetLoadedFont("f"), nullptr);

    WriteLayout("menu", Header() + "button\nb 0,0,10,10\nb1 0,0,10,10\nb2 0,0,10,10\nwindow\ncursor 0,0,1,1\n");
    auto ui = Load("menu");
    ui->SilentActivate(450);
    ASSERT_NE(GetInterfaceBroadcasts(), nullptr);
    GetInterfaceBroadcasts()->BroadcastMouseMove(5.0f, 5.0f);
    EXPECT_EQ(ui->GetFocus(), ui->FindElement("b"));

    root.Write("Data/Interface/glow.int", "ui.tga\t0\t2\t2\t-1\t5\t5\t0\t0\n");
    ASSERT_NE(GetLensFlareOverlayMaker(), nullptr);
    CPSmartPtr<IPLensFlareOverlay> overlay = GetLensFlareOverlayMaker()->Make("glow");
    ASSERT_TRUE(overlay);
    EXPECT_EQ(dynamic_cast<CPLensFlareInterface*>(overlay.Get())->GetFlares().size(), 1u);
}

} // namespace
