// Lens-flare overlays: their layout, placement along the flare axis, the fade and the level's
// side of the overlay.

#include "InterfaceFixture.h"

#include "Framework/PGlobalTimer.h"
#include "Game/PLensFlareInterface.h"
#include "Scene/SceneInterfaces.h"

using namespace interfacetest;

namespace {

class LensFlareTest : public InterfaceTest {
protected:
    void SetUp() override {
        InterfaceTest::SetUp();
        UseScreen(800, 640);
        root.Write("Data/Textures/flare.tga", kxtest::SolidTga(8, 8, 0xFFFFFFFFu));
        root.Write("Data/Textures/window.tga", kxtest::SolidTga(8, 8, 0xFFFFFFFFu));
    }
    void TearDown() override {
        g_deltaTime2 = 0.0f;
        SetLensFlareOverlayMaker(nullptr);
        InterfaceTest::TearDown();
    }
    CPSmartPtr<CPLensFlareInterface> Overlay(const std::string& name, const std::string& layout) {
        root.Write("Data/Interface/" + name + ".int", layout);
        CPSmartPtr<CPLensFlareInterface> overlay(new CPLensFlareInterface());
        overlay->LoadLayout(name, 1);
        return overlay;
    }
};

TEST_F(LensFlareTest, TheLayoutExampleGivesA128PictureAtAQuarterOfTheTexture) {
    auto overlay = Overlay("sun", "flare.tga\t0\t2\t2\t-1\t64\t64\t128\t0\n");
    ASSERT_EQ(overlay->GetFlares().size(), 1u);
    const SPFlare& flare = overlay->GetFlares()[0];
    EXPECT_EQ(flare.texture, "flare.tga");
    EXPECT_FLOAT_EQ(flare.sizeX, 1.0f);
    EXPECT_EQ(flare.cellWidth, 128);
    EXPECT_EQ(flare.column, 256);
    EXPECT_EQ(flare.halfWidth, 64);
    EXPECT_EQ(flare.colour, 0xffffffffu);
    ASSERT_EQ(overlay->GetElements().size(), 1u);
    const CPWindow* window = overlay->GetElements()[0].Get();
    EXPECT_EQ(window->GetName(), "0");
    EXPECT_FLOAT_EQ(window->GetWidth(), 128.0f);
    EXPECT_FLOAT_EQ(window->GetHeight(), 128.0f);
    EXPECT_FLOAT_EQ(window->GetVertices()[0].tu, 0.25f);
    EXPECT_FLOAT_EQ(window->GetVertices()[2].tu, 0.375f);
    EXPECT_FLOAT_EQ(window->GetVertices()[2].tu1, 128.0f / 800.0f);
    EXPECT_EQ(window->GetVertices()[1].diffuse, 0xffffffffu);
    EXPECT_EQ(overlay->FindElement("0"), window);

    ASSERT_TRUE(overlay->GetBatch()->GetMaterial());
    CPMaterial* material = overlay->GetBatch()->GetMaterial().Get();
    EXPECT_EQ(material->GetRenderKey(), 201);
    EXPECT_EQ(material->GetTextureCount(), 2);
    EXPECT_NE(material->GetClassName().find("lensflare.fx"), std::string::npos);
    EXPECT_NE(material->GetClassName().find("window.tga"), std::string::npos);
    EXPECT_EQ(overlay->GetClassName(), "CPInterface - sun");
}

TEST_F(LensFlareTest, PicturesLieAlongTheAxisThroughTheCentre) {
    // Pictures 10 x 10 (cell 5 on a 640-high screen is 10, size 2 halved is 1).
    auto overlay = Overlay("axis", "flare.tga\t0\t2\t2\t-16777216\t5\t5\t0\t0\n"
                                   "flare.tga\t50\t2\t2\t-16777216\t5\t5\t0\t0\n"
                                   "flare.tga\t100\t2\t2\t-16777216\t5\t5\t0\t0\n");
    struct Case {
        int sourceX, sourceY;
        float scale;
        float x[3], y[3];
        float size;
    };
    const Case cases[] = {
        {400, 320, 1.0f, {395, 395, 395}, {315, 315, 315}, 10.0f},
        {100, 20, 1.0f, {95, 395, 695}, {15, 315, 615}, 10.0f},
        {100, 20, 2.0f, {90, 690, 1290}, {10, 610, 1210}, 20.0f},
        {100, 20, 0.0f, {100, 100, 100}, {20, 20, 20}, 0.0f},
    };
    overlay->SetAlpha(255);
    for (const Case& c : cases) {
        overlay->SetSourcePosition(c.sourceX, c.sourceY);
        overlay->SetScale(c.scale);
        overlay->Update(0.0f);
        for (int i = 0; i < 3; ++i) {
            const CPWindow* window = overlay->GetElements()[static_cast<std::size_t>(i)].Get();
            EXPECT_FLOAT_EQ(window->GetX(), c.x[i]) << c.sourceX << " " << c.scale << " flare " << i;
            EXPECT_FLOAT_EQ(window->GetY(), c.y[i]) << c.sourceX << " " << c.scale << " flare " << i;
            EXPECT_FLOAT_EQ(window->GetWidth(), c.size);
            EXPECT_FLOAT_EQ(window->GetVertices()[0].tu1, c.x[i] / 800.0f);
        }
        EXPECT_EQ(overlay->GetBatch()->ModelVertices().size(), 12u);
        EXPECT_FLOAT_EQ(overlay->GetBatch()->ModelVertices()[4].x, c.x[1]);
    }
}

TEST_F(LensFlareTest, TheFadeRampsWithTimeAndStaysInRange) {
    auto overlay = Overlay("fade", "flare.tga\t0\t2\t2\t16711680\t5\t5\t0\t0\n");
    overlay->SetAlpha(200);
    struct Step {
        bool visible;
        float milliseconds;
        float fade;
        unsigned alpha;
    };
    const Step steps[] = {
        {true, 0.0f, 0.0f, 0},        {true, 1000.0f, 50.0f, 39},   {true, 2000.0f, 150.0f, 117},
        {true, 5000.0f, 255.0f, 200}, {false, 100.0f, 250.0f, 196}, {false, 100000.0f, 0.0f, 0},
        {false, 10.0f, 0.0f, 0},      {true, -50.0f, 0.0f, 0},
    };
    for (const Step& s : steps) {
        overlay->SetFlareVisible(s.visible);
        overlay->Update(s.milliseconds);
        EXPECT_FLOAT_EQ(overlay->GetFade(), s.fade) << s.milliseconds;
        EXPECT_EQ(overlay->GetDrawnAlpha(), s.alpha) << s.milliseconds;
        const D3DCOLOR colour = overlay->GetElements()[0]->GetVertices()[2].diffuse;
        EXPECT_EQ(colour, 0x00ff0000u | (static_cast<D3DCOLOR>(s.alpha) << 24));
    }
    // The overlay's own visible flag drives the fade, not the scene object's.
    EXPECT_TRUE(overlay->IsVisible());
}

TEST_F(LensFlareTest, RenderFadesByTheUnscaledFrameTime) {
    auto overlay = Overlay("clock", "flare.tga\t0\t2\t2\t-1\t5\t5\t0\t0\n");
    overlay->SetFlareVisible(true);
    g_deltaTime = 0.0f;
    g_deltaTime2 = 0.5f;
    overlay->Render();
    EXPECT_FLOAT_EQ(overlay->GetFade(), 25.0f);
}

TEST_F(LensFlareTest, AnEmptyOrMissingLayoutDrawsNothing) {
    for (const std::string& layout : {std::string(""), std::string("// only a comment\n")}) {
        auto overlay = Overlay("empty", layout);
        EXPECT_TRUE(overlay->GetFlares().empty());
        EXPECT_FALSE(overlay->GetBatch()->GetMaterial());
        overlay->SetFlareVisible(true);
        overlay->Update(100.0f);
        EXPECT_TRUE(overlay->GetBatch()->ModelVertices().empty());
    }
    CPSmartPtr<CPLensFlareInterface> missing(new CPLensFlareInterface());
    EXPECT_FALSE(missing->LoadLayout("nowhere", 1));
    EXPECT_TRUE(missing->GetElements().empty());
}

TEST_F(LensFlareTest, HostileNumbersDoNotOverflow) {
    auto overlay = Overlay("hostile", "flare.tga\t2147483647\t1e30\t-1e30\t99999999999\t2147483647\t-2147483648\t"
                                      "2147483647\t2147483647\nx\tnan\tinf\tnan\n");
    overlay->SetSourcePosition(-2147483647, 2147483647);
    overlay->SetScale(1e30f);
    overlay->SetAlpha(255);
    overlay->SetFlareVisible(true);
    overlay->Update(1e30f);
    EXPECT_FLOAT_EQ(overlay->GetFade(), 255.0f);
    EXPECT_EQ(overlay->GetElements().size(), 2u);
}

TEST_F(LensFlareTest, TheLevelDrivesOverlaysMadeByTheInstalledMaker) {
    root.Write("Data/Interface/lamp.int", "flare.tga\t100\t2\t2\t-1\t5\t5\t0\t0\n");
    InstallLensFlareOverlayMaker();
    IPLensFlareOverlayMaker* maker = GetLensFlareOverlayMaker();
    ASSERT_NE(maker, nullptr);
    CPSmartPtr<IPLensFlareOverlay> overlay = maker->Make("lamp");
    ASSERT_TRUE(overlay);
    auto* flare = dynamic_cast<CPLensFlareInterface*>(overlay.Get());
    ASSERT_NE(flare, nullptr);
    EXPECT_EQ(flare->GetRefCount(), 1);
    EXPECT_EQ(flare->GetBatch()->GetMaterial()->GetRenderKey(), 201);
    overlay->SetSourcePosition(100, 20);
    overlay->SetScale(1.0f);
    overlay->SetAlpha(255);
    overlay->SetFlareVisible(true);
    g_deltaTime2 = 5.1f;
    overlay->Render();
    EXPECT_FLOAT_EQ(flare->GetFade(), 255.0f);
    EXPECT_FLOAT_EQ(flare->GetElements()[0]->GetX(), 695.0f);
    EXPECT_EQ(flare->GetElements()[0]->GetVertices()[0].diffuse, 0xffffffffu);
    // An overlay is an interface like any other: it is on the live list.
    EXPECT_EQ(CPInterface::LiveInterfaces().back(), flare);
}

} // namespace
