// The speedometer needles and the loading bar on a started renderer (Recording device).

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "Framework/PApplication.h"
#include "Framework/PSettings.h"
#include "Game/LuaHarness.h"
#include "Game/ScriptRaceHud.h"
#include "Render/Frame/FrameFixture.h"
#include "Render/PRender.h"
#include "Render/PRenderBlock.h"
#include "Scene/PGameObject.h"
#include "Script/ScriptBinding.h"
#include "World/PLevel.h"

namespace {

class Needles : public frametest::RenderFixture {
protected:
    void SetUp() override {
        RenderFixture::SetUp();
        arrow = CPSmartPtr<CPGameObject>(new CPGameObject("arrow"));
        lua_pushlightuserdata(lua.L, Script::HandleToUserdata(arrow->GetHandle()));
        lua_setglobal(lua.L, "arrow");
    }
    void TearDown() override {
        delete level;
        level = nullptr;
        arrow = nullptr;
        RenderFixture::TearDown();
    }
    // The needle's turn in degrees and its position, from the frame it was given.
    void ExpectFrame(float degrees, float x, float y) {
        const D3DXMATRIX& m = arrow->GetParentWorldMatrix();
        const float radians = degrees * 3.14159265f / 180.0f;
        EXPECT_NEAR(m._11, std::cos(radians), 1e-5f) << degrees;
        EXPECT_NEAR(m._12, std::sin(radians), 1e-5f) << degrees;
        EXPECT_NEAR(m._41, x, 1e-3f);
        EXPECT_NEAR(m._42, y, 1e-3f);
        EXPECT_FLOAT_EQ(m._43, 0.0f);
    }

    kxtest::LuaHarness lua{ScriptApi::AddRaceHudFunctions};
    CPSmartPtr<CPGameObject> arrow;
    CPLevel* level = nullptr;
};

TEST_F(Needles, TheSpeedNeedleTurnsWithThePlayerSpeed) {
    ASSERT_TRUE(StartRenderer());
    const float sx = static_cast<float>(g_screenWidth) / 1024.0f;
    lua.Run("DrawArrow(arrow, 100, 200)");
    ExpectFrame(0.0f, 100.0f * sx, 200.0f * g_interfaceScale);
    level = new CPLevel();
    level->playerSpeed = 100.0f;
    lua.Run("DrawArrow(arrow, 512, 384)");
    ExpectFrame(227.0f, 512.0f * sx, 384.0f * g_interfaceScale);
}

TEST_F(Needles, TheSecondNeedleTurnsWithItsValue) {
    ASSERT_TRUE(StartRenderer());
    const std::pair<const char*, float> cases[] = {{"0", -13.5f}, {"1", 17.0f}, {"-1", -44.0f}, {"nil", -13.5f}};
    for (const auto& [value, degrees] : cases) {
        lua.Run(std::string("DrawArrow2(arrow, 0, 0, ") + value + ")");
        ExpectFrame(degrees, 0.0f, 0.0f);
    }
}

TEST_F(Needles, NothingWithoutTheArrowOrTheRenderBlock) {
    CPSmartPtr<CPRender> unstarted(new CPRender());
    ASSERT_FALSE(unstarted->GetRenderBlock());
    const D3DXMATRIX before = arrow->GetParentWorldMatrix();
    lua.Run("DrawArrow(arrow, 100, 200) DrawArrow2(arrow, 100, 200, 3)");
    EXPECT_EQ(std::memcmp(&before, &arrow->GetParentWorldMatrix(), sizeof before), 0);
    for (const char* call : {"DrawArrow()", "DrawArrow(1, 2, 3)", "DrawArrow2('x')", "InitWarning(50)"})
        EXPECT_EQ(lua.Eval(call), "") << call;
}

TEST_F(Needles, CreateArrowGivesTheNullObjectWithoutADescriptionLoader) {
    EXPECT_EQ(lua.Eval("type(CreateArrow('arrow.rdf', 5))"), "\"userdata\"");
}

TEST_F(Needles, TheLoadingBarIsDrawnAtAnyPercent) {
    ASSERT_TRUE(StartRenderer());
    for (const char* percent : {"0", "50", "100", "-20", "1e12", "0/0"}) {
        const std::size_t before = CallsNamed("Present").size();
        EXPECT_EQ(lua.Eval(std::string("InitWarning(") + percent + ")"), "") << percent;
        EXPECT_EQ(CallsNamed("Present").size(), before + 1) << percent;
    }
}

} // namespace
