#include <gtest/gtest.h>

#include <array>
#include <string>

#include "Framework/PSettings.h"
#include "Game/LuaHarness.h"
#include "Game/ScriptEngineServices.h"
#include "Game/ScriptOptions.h"

namespace {

struct Step {
    const char* call;
    const char* expected;
};

// The eight settings a visual-quality level writes, in table order.
std::array<int, 8> Quality() {
    return {g_distance, g_psystems, g_dust, g_rolling, g_shadows, g_lensflare, g_bloom, g_blur};
}

// Puts every setting the options touch back after each test.
class OptionScripts : public ::testing::Test {
protected:
    void SetUp() override { saved = Quality(); }
    void TearDown() override {
        g_visuals = visuals;
        g_cam_speed = camSpeed;
        g_mouse = mouse;
        g_plane = plane;
        g_weather = weather;
        g_screenWidth = width;
        g_screenHeight = height;
        g_distance = saved[0];
        g_psystems = saved[1];
        g_dust = saved[2];
        g_rolling = saved[3];
        g_shadows = saved[4];
        g_lensflare = saved[5];
        g_bloom = saved[6];
        g_blur = saved[7];
    }

    int visuals = g_visuals, camSpeed = g_cam_speed, weather = g_weather, width = g_screenWidth,
        height = g_screenHeight;
    float mouse = g_mouse, plane = g_plane;
    std::array<int, 8> saved{};
    kxtest::LuaHarness lua{ScriptApi::AddOptionFunctions};
};

} // namespace

TEST_F(OptionScripts, VisualQualityTable) {
    const std::array<std::array<int, 8>, 11> expected = {{
        {500, 0, 0, 0, 0, 0, 0, 0},
        {500, 10, 0, 0, 0, 0, 0, 0},
        {500, 10, 1, 0, 0, 0, 0, 0},
        {500, 10, 1, 1, 0, 0, 0, 0},
        {500, 25, 1, 1, 0, 0, 0, 0},
        {600, 25, 1, 1, 0, 0, 0, 0},
        {600, 25, 1, 1, 1, 0, 0, 0},
        {600, 25, 1, 1, 1, 1, 0, 0},
        {768, 25, 1, 1, 1, 1, 0, 0},
        {768, 25, 1, 1, 1, 1, 1, 0},
        {768, 25, 1, 1, 1, 1, 1, 1},
    }};
    for (int level = 0; level <= 10; ++level) {
        EXPECT_EQ(lua.Eval("SetVisuals(" + std::to_string(level) + ")"), "");
        EXPECT_EQ(g_visuals, level);
        EXPECT_EQ(Quality(), expected[static_cast<std::size_t>(level)]) << level;
        EXPECT_EQ(lua.Eval("GetVisuals()"), std::to_string(level));
    }
    EXPECT_EQ(lua.Eval("SetVisuals(7.9)"), "");
    EXPECT_EQ(g_visuals, 7);
    EXPECT_EQ(Quality(), expected[7]);
    // Outside the table only the level itself is stored.
    for (const char* level : {"12", "-1", "11", "1e300"}) {
        EXPECT_EQ(lua.Eval(std::string("SetVisuals(") + level + ")"), "");
        EXPECT_EQ(Quality(), expected[7]) << level;
    }
    EXPECT_EQ(g_visuals, 2147483647);
    lua.Run("SetVisuals(12)");
    EXPECT_EQ(lua.Eval("GetVisuals()"), "12");
}

TEST_F(OptionScripts, DifficultyAndOtherSettings) {
    const Step steps[] = {
        {"SetDifficulty(2)", ""}, {"GetDifficult()", "2"},      {"GetDifficulty()", "true"}, {"SetDifficulty(0.7)", ""},
        {"GetDifficult()", "0"},  {"GetDifficulty()", "false"}, {"SetMouse(0.25)", ""},      {"GetMouse()", "0.25"},
    };
    for (const Step& step : steps) EXPECT_EQ(lua.Eval(step.call), step.expected) << step.call;
    g_plane = 0.75f;
    g_weather = 3;
    g_screenWidth = 1280;
    g_screenHeight = 720;
    EXPECT_EQ(lua.Eval("GetBrightness()"), "0.75");
    EXPECT_EQ(lua.Eval("IsWeather()"), "true");
    EXPECT_EQ(lua.Eval("GetScreenResolution()"), "1280 720");
    EXPECT_EQ(lua.Eval("GetCurrentResolution()"), "1280");
    g_weather = 0;
    EXPECT_EQ(lua.Eval("IsWeather()"), "false");
}

TEST(OptionVolumes, SetThenGet) {
    const float sound = g_soundVolume, music = g_musicVolume;
    kxtest::LuaHarness lua{ScriptApi::AddOptionFunctions, ScriptApi::AddEngineServiceFunctions};
    EXPECT_EQ(lua.Eval("SetSoundVolume(0.5)"), "");
    EXPECT_EQ(lua.Eval("GetSoundVolume()"), "0.5");
    EXPECT_EQ(lua.Eval("SetMusicVolume(0.25)"), "");
    EXPECT_EQ(lua.Eval("GetMusicVolume()"), "0.25");
    g_soundVolume = sound;
    g_musicVolume = music;
}
