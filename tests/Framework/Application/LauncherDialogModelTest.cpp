// The GTK launcher over the real launcher and options models: what the player's clicks store.
#include <gtest/gtest.h>

#include "Framework/PSettings.h"
#include "LauncherDialogAdapter.h"
#include "Platform/Dialogs/VirtualDisplay.h"
#include "support/TempDir.h"

namespace {

using namespace Platform::Dialogs;

class LauncherDialogModelTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!kxtest::VirtualDisplay::Available()) GTEST_SKIP() << kxtest::VirtualDisplay::Reason();
        std::string error;
        if (!InitDialogs(&error)) GTEST_SKIP() << error;
        ResetSettingsToDefaults();
        settings = new CPSettings();
        BuildDisplayModeList({{800, 600}, {1024, 768}, {1920, 1080}});
    }
    void TearDown() override {
        SetDialogTestHooks(nullptr);
        delete settings;
        ResetSettingsToDefaults();
        g_displayModes.clear();
    }
    kxtest::TempGameRoot root;
    CPSettings* settings = nullptr;
};

TEST_F(LauncherDialogModelTest, PlayStoresTheClickedMode) {
    g_screenWidth = 1024;
    g_screenHeight = 768;
    g_screenBPP = 32;
    CPLauncherModel model;
    model.Init();
    std::vector<std::string> items;
    int active = -1;
    DialogTestHooks hooks;
    hooks.launcherShown = [&](IDialogDriver& d) {
        items = d.Items();
        active = d.ActiveItem();
        d.SelectItem(2);
        d.Click(kLauncherPlay);
    };
    SetDialogTestHooks(&hooks);
    EXPECT_EQ(ShowLauncherDialog(model), kLauncherPlay);
    EXPECT_EQ(items, (std::vector<std::string>{"800 x 600 (4:3)", "1024 x 768 (4:3)", "1920 x 1080 (16:9)"}));
    EXPECT_EQ(active, 1);
    EXPECT_EQ(g_screenWidth, 1920);
    EXPECT_EQ(g_screenHeight, 1080);
}

TEST_F(LauncherDialogModelTest, PlayInAWindowAndQuit) {
    for (int button : {kLauncherPlayWindowed, kLauncherQuit}) {
        g_fullScreen = 1;
        CPLauncherModel model;
        model.Init();
        DialogTestHooks hooks;
        hooks.launcherShown = [&](IDialogDriver& d) { d.Click(button); };
        SetDialogTestHooks(&hooks);
        EXPECT_EQ(ShowLauncherDialog(model), button);
        EXPECT_EQ(g_fullScreen, button == kLauncherPlayWindowed ? 0 : 1);
        EXPECT_EQ(g_screenWidth, 640);
    }
}

TEST_F(LauncherDialogModelTest, OptionsOkWritesConfigEvenWhenTheLauncherIsQuit) {
    CPLauncherModel model;
    model.Init();
    int shows = 0;
    DialogTestHooks hooks;
    hooks.launcherShown = [&](IDialogDriver& d) { d.Click(++shows == 1 ? kLauncherOptions : kLauncherQuit); };
    hooks.optionsShown = [&](IDialogDriver& d) {
        d.Click(kOptionsBloom);
        d.Click(kOptionsSmoke);
        d.Click(kOptionsOk);
    };
    SetDialogTestHooks(&hooks);
    EXPECT_EQ(ShowLauncherDialog(model), kLauncherQuit);
    EXPECT_EQ(g_bloom, 0);
    EXPECT_EQ(g_dust, 0);
    EXPECT_EQ(g_blur, 1);
    ASSERT_TRUE(root.Exists("config.cfg"));
    EXPECT_NE(root.Read("config.cfg").find("bloom = 0\r\n"), std::string::npos);
}

} // namespace
