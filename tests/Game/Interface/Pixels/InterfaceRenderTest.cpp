// An interface handed to a started renderer on the Recording device: its light (up to the
// renderer's limit), its batch and texts in the frame's batches, and the screen camera on the
// groups it draws with.
#include <gtest/gtest.h>

#include "Framework/PApplication.h"
#include "Framework/PSettings.h"
#include "Game/PFontManager.h"
#include "Game/PInterface.h"
#include "Render/Frame/FrameFixture.h"
#include "support/FontWriter.h"
#include "support/TgaWriter.h"

using namespace frametest;

namespace {

class InterfaceRender : public RenderFixture {
protected:
    void SetUp() override {
        RenderFixture::SetUp();
        ComputeInterfaceScale(g_screenWidth, g_screenHeight);
        for (const char* effect : {"interface.fx", "interface2.fx"})
            root->Write(std::string("Data/Effects/") + effect, "texture tex0;\ntechnique T { pass P0 { } }\n");
        root->Write("Data/Fonts/fonts.dat", "f\t0\t4\n");
        root->Write("Data/Fonts/f.fnt", kxtest::FontFileText(64, 64, 8, 8, {{"A", 8.0f}}));
        root->Write("Data/Interface/lit1024.int", "lit\nui.tga,8,8\nl,on,0,0,1,1,1,1\n"
                                                  "window\nframe 0,0,10,10\ntext\nlabel f,0,0,none\n");
        ASSERT_TRUE(StartRenderer());
        fonts = new CPFontManager();
        fonts->Load();
        ui = new CPInterface();
        ui->LoadLayout("lit", 2);
        ui->FindText("label")->text = "A";
        ReprintTextEntry(*ui->FindText("label"));
    }
    void TearDown() override {
        ui = CPSmartPtr<CPInterface>();
        IPMMObject::CollectGarbage();
        delete fonts;
        RenderFixture::TearDown();
    }

    SettingsGuard settings;
    CPFontManager* fonts = nullptr;
    CPSmartPtr<CPInterface> ui;
};

TEST_F(InterfaceRender, TheLightIsAddedBelowTheLimitOnly) {
    render->SetLightCount(29);
    ui->Render();
    EXPECT_EQ(render->GetLightCount(), 30);
    ui->Render();
    EXPECT_EQ(render->GetLightCount(), 30);
}

TEST_F(InterfaceRender, TheBatchAndTheTextsGoToTheFrameWithTheScreenCamera) {
    ui->Render();
    const auto& batches = render->GetRenderBlock()->GetFrameBatches();
    std::vector<RenderKey> keys;
    for (const auto& [material, batch] : batches) keys.push_back(material->GetRenderKey());
    EXPECT_NE(std::find(keys.begin(), keys.end(), 202), keys.end());
    EXPECT_NE(std::find(keys.begin(), keys.end(), 205), keys.end());
    // Groups draw with the camera of the last camera group before them: for the interface's
    // keys that is the renderer's screen camera (group 195).
    for (RenderKey key : {202, 205}) {
        const CPBaseCamera* inEffect = nullptr;
        for (RenderKey k = 0; k <= key; ++k)
            if (const SPRenderGroup* group = render->FindGroup(k); group && group->camera)
                inEffect = group->camera.Get();
        EXPECT_EQ(inEffect, render->GetScreenCamera().Get()) << key;
    }
    // A hidden interface hands over its batch but not its texts.
    ui->SetVisible(false);
    Frame();
    ui->Render();
    keys.clear();
    for (const auto& [material, batch] : render->GetRenderBlock()->GetFrameBatches())
        keys.push_back(material->GetRenderKey());
    EXPECT_EQ(std::find(keys.begin(), keys.end(), 205), keys.end());
}

} // namespace
