// The launcher and options dialogs as logic, the command-line bypass and the interface scale.
#include <gtest/gtest.h>

#include "Framework/Launcher.h"
#include "Framework/PApplication.h"
#include "Framework/PSettings.h"
#include "support/TempDir.h"

namespace {

using Modes = std::vector<std::pair<int, int>>;

class LauncherTest : public ::testing::Test {
protected:
    void SetUp() override {
        ResetSettingsToDefaults();
        g_displayModes.clear();
    }
    void TearDown() override {
        ResetSettingsToDefaults();
        g_displayModes.clear();
        g_displayModeWide768 = g_displayMode1024 = false;
    }
};

// --- display modes ----------------------------------------------------------------------------

TEST_F(LauncherTest, OneSizeAtTwoRefreshRatesIsListedOnce) {
    BuildDisplayModeList({{1920, 1080}, {1920, 1080}, {800, 600}});
    ASSERT_EQ(g_displayModes.size(), 2u);
    EXPECT_EQ(g_displayModes[1].width, 1920);
    EXPECT_EQ(g_displayModes[1].height, 1080);
    EXPECT_EQ(g_displayModes[1].bitsPerPixel, 32);
}

TEST_F(LauncherTest, ModesAreSortedByWidthThenHeightAndSmallOnesDropped) {
    BuildDisplayModeList({{1280, 1024}, {320, 200}, {300, 240}, {1280, 720}, {640, 480}, {320, 240}, {1024, 768}});
    std::vector<std::pair<int, int>> got;
    for (const auto& m : g_displayModes) got.emplace_back(m.width, m.height);
    EXPECT_EQ(got, (Modes{{320, 240}, {640, 480}, {1024, 768}, {1280, 720}, {1280, 1024}}));
}

TEST_F(LauncherTest, FlagsTellOfWide768AndOf1024x768) {
    struct Case {
        Modes modes;
        bool wide, m1024;
    };
    const Case cases[] = {
        {{{1366, 768}}, true, false},
        {{{1365, 768}}, true, false},
        {{{1366, 767}}, false, false},
        {{{1024, 768}}, false, true},
        {{{1024, 768}, {1366, 768}}, true, true},
        {{{800, 600}}, false, false},
    };
    for (const Case& c : cases) {
        BuildDisplayModeList(c.modes);
        EXPECT_EQ(g_displayModeWide768, c.wide);
        EXPECT_EQ(g_displayMode1024, c.m1024);
    }
}

TEST_F(LauncherTest, AspectLabels) {
    EXPECT_EQ(AspectLabel(1920, 1080), "(16:9)");
    EXPECT_EQ(AspectLabel(1680, 1050), "(16:10)");
    EXPECT_EQ(AspectLabel(1024, 768), "(4:3)");
    EXPECT_EQ(AspectLabel(1366, 768), "");
    EXPECT_EQ(AspectLabel(1280, 1024), "");
}

TEST_F(LauncherTest, ItemsShowSizeAndAspect) {
    BuildDisplayModeList({{1920, 1080}, {1280, 1024}});
    CPLauncherModel launcher;
    launcher.Init();
    EXPECT_EQ(launcher.Items(), (std::vector<std::string>{"1280 x 1024", "1920 x 1080 (16:9)"}));
}

// --- preselection -----------------------------------------------------------------------------

TEST_F(LauncherTest, Preselection) {
    struct Case {
        const char* what;
        int width, height, bpp;
        Modes modes;
        int expected;
    };
    const Case cases[] = {
        {"configured 1024x768x32", 1024, 768, 32, {{800, 600}, {1024, 768}, {1280, 1024}}, 1},
        {"the defaults 640x480x16 match nothing: first", 640, 480, 16, {{640, 480}, {800, 600}, {1024, 768}}, 0},
        {"zero size with a 1366x768 mode: the last such",
         0,
         0,
         32,
         {{1024, 768}, {1365, 768}, {1366, 768}, {1920, 1080}},
         2},
        {"zero size with only 1024x768", 0, 0, 32, {{800, 600}, {1024, 768}, {1280, 1024}}, 1},
        {"zero size with neither: the last", 0, 0, 32, {{800, 600}, {1280, 1024}}, 1},
        {"configured but missing: first", 1600, 900, 32, {{800, 600}, {1280, 1024}}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        g_screenWidth = c.width;
        g_screenHeight = c.height;
        g_screenBPP = c.bpp;
        BuildDisplayModeList(c.modes);
        CPLauncherModel launcher;
        launcher.Init();
        EXPECT_EQ(launcher.Selection(), c.expected);
    }
}

TEST_F(LauncherTest, EmptyListSelectsNothing) {
    BuildDisplayModeList({{200, 100}});
    CPLauncherModel launcher;
    launcher.Init();
    EXPECT_TRUE(launcher.Items().empty());
    EXPECT_EQ(launcher.Selection(), -1);
}

// --- results ----------------------------------------------------------------------------------

TEST_F(LauncherTest, PlayStoresTheChosenModeAndKeepsFullScreen) {
    g_fullScreen = 1;
    BuildDisplayModeList({{800, 600}, {1280, 1024}});
    CPLauncherModel launcher;
    launcher.Init();
    launcher.Select(1);
    EXPECT_EQ(launcher.Command(kLauncherPlay), kLauncherPlay);
    EXPECT_EQ(g_screenWidth, 1280);
    EXPECT_EQ(g_screenHeight, 1024);
    EXPECT_EQ(g_screenBPP, 32);
    EXPECT_EQ(g_fullScreen, 1);
}

TEST_F(LauncherTest, PlayInAWindowKeepsTheConfiguredSize) {
    g_fullScreen = 1;
    g_screenWidth = 1024;
    g_screenHeight = 768;
    BuildDisplayModeList({{800, 600}, {1280, 1024}});
    CPLauncherModel launcher;
    launcher.Init();
    launcher.Select(1);
    EXPECT_EQ(launcher.Command(kLauncherPlayWindowed), kLauncherPlayWindowed);
    EXPECT_EQ(g_fullScreen, 0);
    EXPECT_EQ(g_screenWidth, 1024);
    EXPECT_EQ(g_screenHeight, 768);
}

TEST_F(LauncherTest, QuitAndCloseChangeNothing) {
    BuildDisplayModeList({{800, 600}});
    CPLauncherModel launcher;
    launcher.Init();
    EXPECT_EQ(launcher.Command(kLauncherQuit), kLauncherQuit);
    EXPECT_EQ(launcher.Close(), kLauncherQuit);
    EXPECT_EQ(g_screenWidth, 640);
    EXPECT_EQ(g_screenHeight, 480);
    EXPECT_EQ(g_screenBPP, 16);
}

TEST_F(LauncherTest, PlayWithAnEmptyListKeepsTheConfiguredSize) {
    g_screenWidth = 1024;
    g_screenHeight = 768;
    CPLauncherModel launcher;
    launcher.Init();
    EXPECT_EQ(launcher.Command(kLauncherPlay), kLauncherPlay);
    EXPECT_EQ(g_screenWidth, 1024);
    EXPECT_EQ(g_screenHeight, 768);
    EXPECT_EQ(g_screenBPP, 16);
}

TEST_F(LauncherTest, OptionsCommandKeepsTheLauncherOpen) {
    CPLauncherModel launcher;
    launcher.Init();
    EXPECT_EQ(launcher.Command(kLauncherOptions), 0);
}

// --- options ----------------------------------------------------------------------------------

class OptionsTest : public LauncherTest {
protected:
    void SetUp() override {
        LauncherTest::SetUp();
        settings = new CPSettings();
    }
    void TearDown() override {
        delete settings;
        LauncherTest::TearDown();
    }
    kxtest::TempGameRoot root;
    CPSettings* settings = nullptr;
};

TEST_F(OptionsTest, BoxesFollowTheSettings) {
    g_blur = 1;
    g_bloom = 0;
    g_lensflare = 1;
    g_dust = 0;
    CPOptionsModel options;
    options.Init();
    EXPECT_TRUE(options.IsChecked(kOptionsMotionBlur));
    EXPECT_FALSE(options.IsEnabled(kOptionsMotionBlur));
    EXPECT_FALSE(options.IsChecked(kOptionsBloom));
    EXPECT_TRUE(options.IsChecked(kOptionsLensFlare));
    EXPECT_FALSE(options.IsChecked(kOptionsSmoke));
}

TEST_F(OptionsTest, ClearingBloomDisablesMotionBlurWithoutClearingIt) {
    g_blur = 1;
    g_bloom = 1;
    CPOptionsModel options;
    options.Init();
    EXPECT_TRUE(options.IsEnabled(kOptionsMotionBlur));
    options.SetChecked(kOptionsBloom, false);
    EXPECT_FALSE(options.IsEnabled(kOptionsMotionBlur));
    EXPECT_TRUE(options.IsChecked(kOptionsMotionBlur));
    EXPECT_EQ(options.Command(kOptionsOk), kOptionsOk);
    EXPECT_EQ(g_bloom, 0);
    EXPECT_EQ(g_blur, 1);
}

TEST_F(OptionsTest, OkWritesTheFourSettingsAndConfigAtOnce) {
    g_shadows = 1;
    g_wheel = 1;
    CPOptionsModel options;
    options.Init();
    options.SetChecked(kOptionsLensFlare, false);
    options.SetChecked(kOptionsSmoke, false);
    options.SetChecked(kOptionsMotionBlur, false);
    EXPECT_FALSE(root.Exists("config.cfg"));
    EXPECT_EQ(options.Command(kOptionsOk), kOptionsOk);
    EXPECT_EQ(g_lensflare, 0);
    EXPECT_EQ(g_dust, 0);
    EXPECT_EQ(g_blur, 0);
    EXPECT_EQ(g_bloom, 1);
    ASSERT_TRUE(root.Exists("config.cfg"));
    const std::string text = root.Read("config.cfg");
    EXPECT_NE(text.find("lensflare = 0\r\n"), std::string::npos);
    EXPECT_NE(text.find("dust = 0\r\n"), std::string::npos);
    EXPECT_NE(text.find("blur = 0\r\n"), std::string::npos);
}

TEST_F(OptionsTest, CancelAndCloseChangeAndWriteNothing) {
    for (bool cancel : {true, false}) {
        CPOptionsModel options;
        options.Init();
        options.SetChecked(kOptionsBloom, false);
        options.SetChecked(kOptionsSmoke, false);
        if (cancel)
            EXPECT_EQ(options.Command(kOptionsCancel), kOptionsCancel);
        else
            EXPECT_EQ(options.Close(), kLauncherQuit);
        EXPECT_EQ(g_bloom, 1);
        EXPECT_EQ(g_dust, 1);
        EXPECT_FALSE(root.Exists("config.cfg"));
    }
}

TEST_F(OptionsTest, OkThenQuitKeepsTheWrittenFile) {
    BuildDisplayModeList({{800, 600}});
    CPLauncherModel launcher;
    launcher.Init();
    EXPECT_EQ(launcher.Command(kLauncherOptions), 0);
    launcher.Options().SetChecked(kOptionsBloom, false);
    EXPECT_EQ(launcher.Options().Command(kOptionsOk), kOptionsOk);
    EXPECT_EQ(launcher.Command(kLauncherQuit), kLauncherQuit);
    ASSERT_TRUE(root.Exists("config.cfg"));
    EXPECT_NE(root.Read("config.cfg").find("bloom = 0\r\n"), std::string::npos);
}

// --- command line -----------------------------------------------------------------------------

TEST(CommandLineTest, Table) {
    struct Case {
        std::vector<std::string> args;
        bool ok;
        bool play, windowed;
        int width, height;
    };
    const Case cases[] = {
        {{}, true, false, false, 0, 0},
        {{"--play"}, true, true, false, 0, 0},
        {{"--play", "320x240"}, true, true, false, 320, 240},
        {{"--play", "1920X1080"}, true, true, false, 1920, 1080},
        {{"--windowed"}, true, false, true, 0, 0},
        {{"--play", "800x600", "--windowed"}, true, true, true, 800, 600},
        {{"--windowed", "--play"}, true, true, true, 0, 0},
        {{"--play", "319x240"}, false, false, false, 0, 0},
        {{"--play", "320x239"}, false, false, false, 0, 0},
        {{"--play", "800"}, false, false, false, 0, 0},
        {{"--play", "x600"}, false, false, false, 0, 0},
        {{"--play", "800x"}, false, false, false, 0, 0},
        {{"--play", "800x600x32"}, false, false, false, 0, 0},
        {{"--play", "abcxdef"}, false, false, false, 0, 0},
        {{"--play", "99999999999x600"}, false, false, false, 0, 0},
        {{"--play", "100000x600"}, false, false, false, 0, 0},
        {{"--fullscreen"}, false, false, false, 0, 0},
        {{"800x600"}, false, false, false, 0, 0},
        {{"--play=800x600"}, false, false, false, 0, 0},
    };
    for (const Case& c : cases) {
        std::string joined;
        for (const auto& a : c.args) joined += a + " ";
        SCOPED_TRACE(joined);
        SPCommandLine line;
        std::string error;
        EXPECT_EQ(ParseCommandLine(c.args, line, error), c.ok);
        if (!c.ok) {
            EXPECT_FALSE(error.empty());
            continue;
        }
        EXPECT_EQ(line.play, c.play);
        EXPECT_EQ(line.windowed, c.windowed);
        EXPECT_EQ(line.width, c.width);
        EXPECT_EQ(line.height, c.height);
    }
}

TEST(CommandLineTest, BypassStoresWhatTheLauncherWould) {
    ResetSettingsToDefaults();
    g_fullScreen = 1;
    SPCommandLine play;
    play.play = true;
    play.width = 800;
    play.height = 600;
    EXPECT_EQ(ApplyLauncherBypass(play), kLauncherPlay);
    EXPECT_EQ(g_screenWidth, 800);
    EXPECT_EQ(g_screenHeight, 600);
    EXPECT_EQ(g_screenBPP, 32);
    EXPECT_EQ(g_fullScreen, 1);

    SPCommandLine windowed;
    windowed.windowed = true;
    EXPECT_EQ(ApplyLauncherBypass(windowed), kLauncherPlayWindowed);
    EXPECT_EQ(g_fullScreen, 0);
    EXPECT_EQ(g_screenWidth, 800);

    ResetSettingsToDefaults();
    SPCommandLine bare;
    bare.play = true;
    EXPECT_EQ(ApplyLauncherBypass(bare), kLauncherPlay);
    EXPECT_EQ(g_screenWidth, 640);
    EXPECT_EQ(g_screenBPP, 16);
}

// --- interface scale --------------------------------------------------------------------------

TEST(InterfaceScaleTest, Table) {
    struct Case {
        int width, height;
        float scale, offset;
    };
    const Case cases[] = {
        {1920, 1080, 1.40625f, 240.0f},
        {1280, 1024, 1.3333334f, -42.666687f},
        {1024, 768, 1.0f, 0.0f},
    };
    for (const Case& c : cases) {
        ComputeInterfaceScale(c.width, c.height);
        EXPECT_FLOAT_EQ(g_interfaceScale, c.scale) << c.width << "x" << c.height;
        EXPECT_FLOAT_EQ(g_interfaceOffsetX, c.offset) << c.width << "x" << c.height;
    }
    ComputeInterfaceScale(1024, 768);
}

} // namespace
