// The vertex effects: the factory's table, each kind's clock and change, cloning, and one
// effect run by a render object's own fill.

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <typeinfo>
#include <vector>

#include "AnimationTestSupport.h"
#include "Framework/PGlobalTimer.h"
#include "Platform/System/Random.h"
#include "Render/PPerspectiveCamera.h"
#include "Render/PRenderObject.h"
#include "Render/PSprite.h"
#include "Scene/PVertexEffects.h"

namespace {

SPVertex MakeVertex(float x, float y, float tu, float tv, D3DCOLOR diffuse = 0xFF000000u) {
    SPVertex v{};
    v.x = x;
    v.y = y;
    v.nz = 1.0f;
    v.tu = tu;
    v.tv = tv;
    v.diffuse = diffuse;
    return v;
}

class VertexEffectTest : public ::testing::Test {
protected:
    void SetUp() override {
        Platform::EngineSeed(1);
        g_deltaTime = 0.0f;
    }
    void TearDown() override { g_deltaTime = 0.0f; }

    // One fill of one vertex after `dt` seconds.
    static SPVertex Fill(CPVertexEffect& effect, const SPVertex& source, float dt) {
        g_deltaTime = dt;
        SPVertex out{};
        effect.Apply(&out, &source, 1);
        return out;
    }
};

enum class Kind { None, Anim, Flick, MovingTex, Fade, Environment };

struct FactoryCase {
    const char* keyword;
    std::vector<std::string> parameters;
    Kind expected;
};

Kind KindOf(const CPVertexEffect* effect) {
    if (!effect) return Kind::None;
    if (dynamic_cast<const CPAnimEffect*>(effect)) return Kind::Anim;
    if (dynamic_cast<const CPFlickEffect*>(effect)) return Kind::Flick;
    if (dynamic_cast<const CPMovingTexEffect*>(effect)) return Kind::MovingTex;
    if (dynamic_cast<const CPFadeEffect*>(effect)) return Kind::Fade;
    if (dynamic_cast<const CPEnvironmentEffect*>(effect)) return Kind::Environment;
    return Kind::None;
}

TEST(CreateVertexEffect, MakesTheKindItsKeywordAndNumbersName) {
    const FactoryCase cases[] = {
        {"ANIM", {"4", "4", "8"}, Kind::Anim},
        {"anim", {"4", "4", "8", "2"}, Kind::Anim},
        {"anim", {"4", "4", "8", "2", "5"}, Kind::Anim},
        {"anim", {"4", "4", "8", "2", "x"}, Kind::Anim}, // the range is not tested
        {"anim", {"4", "4", "x"}, Kind::None},
        {"anim", {"4", "4"}, Kind::None},
        {"anim", {"0", "4", "8"}, Kind::None},
        {"anim", {"4", "-1", "8"}, Kind::None},
        {"anim", {"4", "", "8"}, Kind::None}, // an empty text passes the test and reads 0
        {"anim", {"4", "4", "0"}, Kind::None},
        {"anim", {"4", "4", "-8"}, Kind::None},
        {"Flick", {"2", "100", "200"}, Kind::Flick},
        {"flick", {"2", "100"}, Kind::None},
        {"flick", {"2", "100", "2a"}, Kind::None},
        {"movingtex", {"0.5", "0"}, Kind::MovingTex},
        {"MovingTex", {"0.5"}, Kind::None},
        {"movingtex", {"0.5", "1", "2"}, Kind::None},
        {"fade", {"100"}, Kind::Fade},
        {"fade", {"100", "2"}, Kind::None},
        {"fade", {"1e3"}, Kind::None},
        {"environment", {"10"}, Kind::Environment},
        {"environment", {"0"}, Kind::None},
        {"environment", {"-0.0"}, Kind::None},
        {"environment", {}, Kind::None},
        {"sparkle", {"1"}, Kind::None},
        {"", {}, Kind::None},
    };
    for (const FactoryCase& c : cases) {
        std::unique_ptr<CPVertexEffect> effect(CreateVertexEffect(c.keyword, c.parameters));
        std::string shown = c.keyword;
        for (const std::string& p : c.parameters) shown += " '" + p + "'";
        EXPECT_EQ(KindOf(effect.get()), c.expected) << shown;
    }
}

TEST_F(VertexEffectTest, AnAtlasAnimationShowsCellFourAfterHalfASecond) {
    for (const std::vector<std::string>& parameters : {std::vector<std::string>{"4", "4", "8"}, {"4", "4", "8", "2"}}) {
        std::unique_ptr<CPVertexEffect> effect(CreateVertexEffect("ANIM", parameters));
        auto* anim = dynamic_cast<CPAnimEffect*>(effect.get());
        ASSERT_NE(anim, nullptr);
        const SPVertex source = MakeVertex(0, 0, 1.0f, 1.0f);
        for (int i = 0; i < 5; ++i) Fill(*anim, source, 0.1f);
        EXPECT_EQ(anim->GetFrame(), 4);
        const SPVertex out = Fill(*anim, source, 0.0f);
        // The source's corner (1, 1) of the whole texture becomes the corner of cell 4.
        EXPECT_FLOAT_EQ(out.tu, 0.0f + 0.25f);
        EXPECT_FLOAT_EQ(out.tv, 0.25f + 0.25f);
    }
}

TEST_F(VertexEffectTest, TheAtlasCellWrapsAndStaysInsideForAnyClock) {
    CPAnimEffect anim(3, 2, 10.0f, 0, 0);
    const SPVertex source = MakeVertex(0, 0, 0, 0);
    Fill(anim, source, 0.65f); // 6.5 cells: wraps to 0
    EXPECT_EQ(anim.GetFrame(), 0);
    Fill(anim, source, 0.1f);
    EXPECT_EQ(anim.GetFrame(), 1);
    for (float dt : {-100.05f, 1e30f, -1e30f, NAN, INFINITY}) {
        Fill(anim, source, dt);
        EXPECT_GE(anim.GetFrame(), 0) << dt;
        EXPECT_LT(anim.GetFrame(), 6) << dt;
    }
}

TEST_F(VertexEffectTest, ARangedAtlasWaitsPlaysIntoItsRangeLoopsAndRunsOutAfterStop) {
    // 8 cells at 4 per second; the range is frames 2 to 5 (0.5 s to 1.25 s).
    CPAnimEffect anim(4, 2, 4.0f, 2, 5);
    const SPVertex source = MakeVertex(0, 0, 0, 0);
    EXPECT_FLOAT_EQ(anim.GetTime(), 2.0f);
    Fill(anim, source, 0.3f);
    EXPECT_FLOAT_EQ(anim.GetTime(), 2.0f) << "held at the atlas end before Start";
    EXPECT_EQ(anim.GetFrame(), 0);
    EXPECT_FALSE(anim.IsPlaying());

    anim.Start();
    EXPECT_TRUE(anim.IsPlaying());
    EXPECT_EQ(anim.GetPhase(), 0);
    Fill(anim, source, 0.25f);
    EXPECT_EQ(anim.GetFrame(), 1);
    EXPECT_EQ(anim.GetPhase(), 0);
    Fill(anim, source, 0.25f);
    EXPECT_EQ(anim.GetPhase(), 1) << "the start frame reached";
    EXPECT_EQ(anim.GetFrame(), 2);
    Fill(anim, source, 0.75f); // 1.25 s: not past the end frame yet
    EXPECT_EQ(anim.GetFrame(), 5);
    Fill(anim, source, 0.01f); // past it: back to the start frame
    EXPECT_FLOAT_EQ(anim.GetTime(), 0.5f);
    EXPECT_EQ(anim.GetFrame(), 2);

    anim.Stop();
    EXPECT_FALSE(anim.IsPlaying());
    Fill(anim, source, 1.0f); // 1.5 s: runs on
    EXPECT_EQ(anim.GetFrame(), 6);
    EXPECT_EQ(anim.GetPhase(), 1);
    Fill(anim, source, 1.0f); // beyond the atlas end: held there
    EXPECT_EQ(anim.GetPhase(), 2);
    EXPECT_FLOAT_EQ(anim.GetTime(), 2.0f);
    Fill(anim, source, 1.0f);
    EXPECT_FLOAT_EQ(anim.GetTime(), 2.0f);
}

TEST_F(VertexEffectTest, AFadeFallsFromOpaqueToNothingAndResets) {
    std::unique_ptr<CPVertexEffect> effect(CreateVertexEffect("fade", {"100"}));
    const SPVertex source = MakeVertex(0, 0, 0, 0, 0x80123456u);
    EXPECT_EQ(Fill(*effect, source, 0.0f).diffuse, 0xFFFFFFFFu);
    EXPECT_EQ(Fill(*effect, source, 1.0f).diffuse, 0x9BFFFFFFu); // 155
    EXPECT_EQ(Fill(*effect, source, 1.55f).diffuse, 0x00FFFFFFu);
    EXPECT_EQ(Fill(*effect, source, 5.0f).diffuse, 0x00FFFFFFu);
    effect->Reset();
    EXPECT_EQ(Fill(*effect, source, 0.0f).diffuse, 0xFFFFFFFFu);
}

TEST_F(VertexEffectTest, AFadeWithAGrowingAlphaStaysOpaque) {
    CPFadeEffect fade(-100.0f);
    EXPECT_EQ(Fill(fade, MakeVertex(0, 0, 0, 0), 10.0f).diffuse, 0xFFFFFFFFu);
}

TEST_F(VertexEffectTest, AMovingTextureAddsAnOffsetThatStaysInTheUnitRange) {
    std::unique_ptr<CPVertexEffect> effect(CreateVertexEffect("movingtex", {"0.5", "0"}));
    auto* moving = dynamic_cast<CPMovingTexEffect*>(effect.get());
    ASSERT_NE(moving, nullptr);
    const SPVertex source = MakeVertex(0, 0, 0.25f, 0.75f);
    for (int i = 0; i < 50; ++i) {
        const SPVertex out = Fill(*moving, source, 0.37f);
        EXPECT_GE(moving->GetUOffset(), 0.0f);
        EXPECT_LE(moving->GetUOffset(), 1.0f);
        EXPECT_FLOAT_EQ(out.tu, 0.25f + moving->GetUOffset());
        EXPECT_FLOAT_EQ(out.tv, 0.75f);
        EXPECT_EQ(moving->GetVOffset(), 0.0f);
    }
}

TEST_F(VertexEffectTest, MovingTextureOffsetsLandWhereTheStepsWouldLeaveThem) {
    struct Case {
        float speed;
        float dt;
    };
    // Started from a known offset: seed the generator so the first random number is known.
    Platform::EngineSeed(1);
    const int r = Platform::EngineRand();
    const Case cases[] = {{0.5f, 0.0f}, {-0.25f, 0.0f}, {0.001f, 0.0f}, {1.0f, 0.0f}, {0.0f, 0.0f}};
    for (const Case& c : cases) {
        Platform::EngineSeed(1);
        CPMovingTexEffect moving(c.speed, 0.0f);
        moving.Update(c.dt);
        // The loops, run here with doubles.
        double expected = static_cast<double>(static_cast<float>(r) * c.speed);
        while (expected > 1.0) expected -= 1.0;
        while (expected < 0.0) expected += 1.0;
        EXPECT_NEAR(moving.GetUOffset(), expected, 1e-3) << c.speed;
    }
}

TEST_F(VertexEffectTest, AMovingTextureWithAHugeSpeedDoesNotHang) {
    for (float speed : {1e30f, -1e30f, 3e38f, INFINITY, NAN}) {
        CPMovingTexEffect moving(speed, -speed);
        const SPVertex out = Fill(moving, MakeVertex(0, 0, 0, 0), 0.016f);
        EXPECT_GE(moving.GetUOffset(), 0.0f) << speed;
        EXPECT_LE(moving.GetUOffset(), 1.0f) << speed;
        EXPECT_GE(moving.GetVOffset(), 0.0f) << speed;
        EXPECT_LE(moving.GetVOffset(), 1.0f) << speed;
        EXPECT_TRUE(std::isfinite(out.tu));
    }
}

TEST_F(VertexEffectTest, AFlickScalesEachAlphaByAValueBetweenLowAndHigh) {
    std::unique_ptr<CPVertexEffect> effect(CreateVertexEffect("flick", {"3", "100", "200"}));
    auto* flick = dynamic_cast<CPFlickEffect*>(effect.get());
    ASSERT_NE(flick, nullptr);
    EXPECT_EQ(flick->GetCentre(), 150);
    bool belowCentre = false, aboveCentre = false;
    for (int i = 0; i < 200; ++i) {
        const SPVertex out = Fill(*flick, MakeVertex(0, 0, 0, 0, 0xFF00FF00u), 0.01f);
        const int value = flick->GetValue();
        EXPECT_GE(value, 100);
        EXPECT_LE(value, 200);
        belowCentre |= value < 140;
        aboveCentre |= value > 160;
        EXPECT_EQ(out.diffuse & 0x00FFFFFFu, 0x00FFFFFFu);
        EXPECT_EQ(static_cast<int>(out.diffuse >> 24), static_cast<int>(255.0f * value * 0.003921569f));
        // A vertex at half alpha gets half of it.
        const SPVertex half = Fill(*flick, MakeVertex(0, 0, 0, 0, 0x80000000u), 0.0f);
        EXPECT_EQ(static_cast<int>(half.diffuse >> 24), static_cast<int>(128.0f * value * 0.003921569f));
    }
    EXPECT_TRUE(belowCentre);
    EXPECT_TRUE(aboveCentre);
}

TEST_F(VertexEffectTest, AFlickKeepsTheLowBytesOfItsParametersAndSurvivesBadFrequencies) {
    std::unique_ptr<CPVertexEffect> effect(CreateVertexEffect("flick", {"1", "356", "456"})); // 100, 200
    ASSERT_NE(effect, nullptr);
    EXPECT_EQ(dynamic_cast<CPFlickEffect&>(*effect).GetCentre(), 150);
    for (float frequency : {NAN, INFINITY, 1e38f}) {
        CPFlickEffect flick(frequency, 0, 255);
        const SPVertex out = Fill(flick, MakeVertex(0, 0, 0, 0, 0xFF000000u), 1e30f);
        EXPECT_LE(out.diffuse >> 24, 255u);
    }
}

TEST_F(VertexEffectTest, TheEnvironmentMapsPositionAndNormalToTheSecondCoordinates) {
    std::unique_ptr<CPVertexEffect> effect(CreateVertexEffect("environment", {"10"}));
    SPVertex source = MakeVertex(5.0f, -5.0f, 0.3f, 0.4f);
    const SPVertex out = Fill(*effect, source, 0.5f);
    EXPECT_FLOAT_EQ(out.tu1, 0.5f);
    EXPECT_FLOAT_EQ(out.tv1, -0.5f);
    EXPECT_FLOAT_EQ(out.tu, 0.3f);
    source.nx = 1.0f;
    source.ny = -1.0f;
    const SPVertex tilted = Fill(*effect, source, 0.0f);
    EXPECT_FLOAT_EQ(tilted.tu1, 1.0f);
    EXPECT_FLOAT_EQ(tilted.tv1, -1.0f);
}

TEST_F(VertexEffectTest, ClonesKeepOrRestartTheirClocksByKind) {
    CPFadeEffect fade(100.0f);
    Fill(fade, MakeVertex(0, 0, 0, 0), 1.0f);
    std::unique_ptr<CPVertexEffect> fadeCopy(fade.Clone());
    EXPECT_FLOAT_EQ(dynamic_cast<CPFadeEffect&>(*fadeCopy).GetAlpha(), 155.0f);

    Platform::EngineSeed(7);
    CPMovingTexEffect moving(0.013f, 0.007f);
    moving.Update(0.0f);
    std::unique_ptr<CPVertexEffect> movingCopy(moving.Clone());
    auto& copy = dynamic_cast<CPMovingTexEffect&>(*movingCopy);
    copy.Update(0.0f);
    EXPECT_NE(copy.GetUOffset(), moving.GetUOffset()) << "a new random start";

    CPAnimEffect anim(4, 4, 8.0f, 0, 0);
    Fill(anim, MakeVertex(0, 0, 0, 0), 0.5f);
    std::unique_ptr<CPVertexEffect> animCopy(anim.Clone());
    EXPECT_EQ(dynamic_cast<CPAnimEffect&>(*animCopy).GetTime(), 0.0f);

    // A held object is shared by the kinds that copy their fields, not by the others.
    CPSmartPtr<CPRenderObject> held(new CPRenderObject());
    fade.SetHeld(held.Get());
    EXPECT_EQ(held->GetRefCount(), 2);
    std::unique_ptr<CPVertexEffect> heldCopy(fade.Clone());
    EXPECT_EQ(heldCopy->GetHeld().Get(), held.Get());
    EXPECT_EQ(held->GetRefCount(), 3);
    moving.SetHeld(held.Get());
    std::unique_ptr<CPVertexEffect> unheld(moving.Clone());
    EXPECT_FALSE(unheld->GetHeld());
    heldCopy->ReleaseHeld();
    EXPECT_FALSE(heldCopy->GetHeld());
    EXPECT_EQ(held->GetRefCount(), 3);
}

TEST_F(VertexEffectTest, OnlyTheAtlasAnswersStartStopAndPlaying) {
    std::unique_ptr<CPVertexEffect> fade(CreateVertexEffect("fade", {"1"}));
    fade->Start();
    EXPECT_FALSE(fade->IsPlaying());
    std::unique_ptr<CPVertexEffect> anim(CreateVertexEffect("anim", {"2", "2", "4", "1", "2"}));
    anim->Start();
    EXPECT_TRUE(anim->IsPlaying());
    anim->Stop();
    EXPECT_FALSE(anim->IsPlaying());
}

TEST_F(VertexEffectTest, ARenderObjectRunsItsEffectThroughItsOwnFill) {
    CPSmartPtr<CPRenderObject> object(new CPRenderObject());
    object->SetMesh(
        {MakeVertex(0, 0, 0, 0, 0x11000000u), MakeVertex(1, 0, 1, 0, 0x22000000u), MakeVertex(0, 1, 0, 1, 0x33000000u)},
        {0, 1, 2});
    object->AddVertexEffect(CreateVertexEffect("fade", {"100"}));
    g_deltaTime = 1.0f;
    std::vector<SPVertex> vertices(3);
    std::vector<std::uint16_t> indices(3);
    object->FillVertices(vertices.data(), indices.data(), 10, 0);
    for (const SPVertex& v : vertices) EXPECT_EQ(v.diffuse, 0x9BFFFFFFu);
    EXPECT_EQ(vertices[1].x, 1.0f);
    EXPECT_EQ(indices[2], 12);
}

TEST_F(VertexEffectTest, ASpriteRunsItsEffectThroughItsOwnFill) {
    CPSmartPtr<CPPerspectiveCamera> camera(new CPPerspectiveCamera());
    camera->eye = D3DXVECTOR3(10.0f, 0.0f, 5.0f);
    camera->target = D3DXVECTOR3(0.0f, 0.0f, 0.0f);
    camera->up = D3DXVECTOR3(0.0f, 0.0f, 1.0f);
    camera->fieldOfView = 1.0f;
    camera->nearDistance = 1.0f;
    camera->farDistance = 1000.0f;
    camera->viewDirty = camera->projectionDirty = true;
    camera->Update();
    g_currentViewCamera = camera.Get();
    CPSmartPtr<kxtest::TestAnimationOwner> owner(new kxtest::TestAnimationOwner());
    CPSmartPtr<CPSprite> sprite(new CPSprite(1.0f));
    sprite->SetOwner(owner.Get());
    sprite->AddVertexEffect(CreateVertexEffect("anim", {"2", "2", "4"}));
    g_deltaTime = 0.5f; // two cells on: cell 2, the second row
    ASSERT_EQ(sprite->GetVertexCount(), 4);
    SPVertex vertices[4];
    std::uint16_t indices[6];
    sprite->FillVertices(vertices, indices, 0, 0);
    g_currentViewCamera = nullptr;
    for (const SPVertex& v : vertices) {
        EXPECT_GE(v.tu, 0.0f);
        EXPECT_LE(v.tu, 0.5f);
        EXPECT_GE(v.tv, 0.5f) << "the quad's coordinates were moved into cell 2";
    }
}

} // namespace
