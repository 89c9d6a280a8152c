// The animated object played by the global clock: frame choice, offsets, speed, cycles and the
// loop limit, the report, restarts, counts that match every fill, the owner's placement and
// mirroring, copies, and animations that cannot play.

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "AnimationTestSupport.h"
#include "Framework/CommandRouter.h"
#include "Framework/PGlobalTimer.h"
#include "Render/PVertexEffect.h"
#include "Scene/PVertexEffects.h"
#include "Script/PLuaScript.h"
#include "support/RecordingRouter.h"

namespace {

using kxtest::MorphStreamWriter;
using kxtest::TestAnimationOwner;

class AnimatedObjectTest : public ::testing::Test {
protected:
    void SetUp() override {
        g_totalTime = 0.0;
        g_deltaTime = 0.0f;
        SetCommandRouter(&router);
        owner = new TestAnimationOwner();
        object = new CPAnimatedObject();
        object->SetOwner(owner.Get());
        script = new CPLuaScript();
    }
    void TearDown() override {
        SetCommandRouter(nullptr);
        object = nullptr;
        owner = nullptr;
        script = nullptr;
        IPMMObject::CollectGarbage();
        g_totalTime = 0.0;
        g_deltaTime = 0.0f;
    }

    // `frames` frames of one triangle more per frame index (so counts tell frames apart), at
    // `ticks` per frame.
    CPSmartPtr<CPAnimation> Animation(int frames, float ticks = 240.0f) {
        MorphStreamWriter writer(ticks);
        for (int i = 0; i < frames; ++i) writer.AddFrame(kxtest::TriangleFrame(i + 1, static_cast<float>(i)));
        return kxtest::LoadAnimation(writer);
    }

    SPAnimationRequest Request(const std::string& name, float speed = 1.0f, int loops = 0, int reportFrame = -1,
                               float offset = 0.0f) {
        SPAnimationRequest request;
        request.name = name;
        request.speed = speed;
        request.loopLimit = loops;
        request.reportFrame = reportFrame;
        request.timeOffset = offset;
        request.reportTarget = script;
        return request;
    }

    // One pass at clock t: the counts, then a fill into buffers of exactly those counts (any
    // write beyond them is caught by the address sanitizer). Answers the frame drawn.
    int PassAt(double t) {
        g_totalTime = t;
        const int vertexCount = object->GetVertexCount();
        const int indexCount = object->GetIndexCount();
        vertices.assign(static_cast<std::size_t>(vertexCount), SPVertex{});
        indices.assign(static_cast<std::size_t>(indexCount), 0);
        if (vertexCount == 0) {
            object->FillVertices(nullptr, nullptr, 0, 0);
            return -1;
        }
        object->FillVertices(vertices.data(), indices.data(), 0, 0);
        // Frame i has i + 1 triangles.
        EXPECT_EQ(vertexCount % 3, 0);
        return vertexCount / 3 - 1;
    }

    int Count(const char* event) const {
        int n = 0;
        for (const kxtest::SentCommand& c : router.sent)
            if (c.command == event) {
                EXPECT_EQ(c.script, script.Get());
                EXPECT_EQ(c.params, std::to_string(script->GetHandle()));
                ++n;
            }
        return n;
    }

    kxtest::RecordingRouter router;
    CPSmartPtr<TestAnimationOwner> owner;
    CPSmartPtr<CPAnimatedObject> object;
    CPSmartPtr<CPLuaScript> script;
    std::vector<SPVertex> vertices;
    std::vector<std::uint16_t> indices;
};

TEST_F(AnimatedObjectTest, TheFirstAnimationAddedPlaysFromClockZero) {
    object->AddAnimation("idle", Animation(10));
    object->AddAnimation("walk", Animation(4));
    EXPECT_EQ(object->GetCurrentAnimation(), object->GetAnimations().at("idle"));
    EXPECT_EQ(object->GetCurrentName(), "");
    EXPECT_EQ(PassAt(0.05), 0);
    EXPECT_EQ(PassAt(0.35), 3);
    EXPECT_EQ(object->GetClassName(), "CPAnimatedObject");
    EXPECT_FALSE(object->IsFillSkipped());
}

struct ClockCase {
    const char* name;
    float speed;
    float offset;
    double startClock;
    double clock;
    int expectedFrame;
};

TEST_F(AnimatedObjectTest, TheClockSpeedAndOffsetChooseTheFrame) {
    const ClockCase cases[] = {
        {"speed 2 from 5.0 at 5.26", 2.0f, 0.0f, 5.0, 5.26, 5},
        {"a second of delay shows frame 0", 1.0f, 1.0f, 5.0, 5.9, 0},
        {"and plays once the start passed", 1.0f, 1.0f, 5.0, 6.15, 1},
        {"a negative offset starts part-way", 1.0f, -0.35f, 5.0, 5.0, 3},
        {"one whole cycle later", 1.0f, 0.0f, 0.0, 1.05, 0},
        {"an exact multiple of the duration is its end", 1.0f, 0.0f, 0.0, 2.0, 9},
        {"an hour later", 1.0f, 0.0f, 0.0, 3600.25, 2},
        {"speed 0 stands still", 0.0f, 0.0f, 1.0, 100.0, 0},
        {"a negative speed holds frame 0", -1.0f, 0.0f, 1.0, 3.0, 0},
    };
    for (const ClockCase& c : cases) {
        CPSmartPtr<CPAnimatedObject> fresh(new CPAnimatedObject());
        object = fresh;
        object->SetOwner(owner.Get());
        object->AddAnimation("a", Animation(10));
        g_totalTime = c.startClock;
        object->SetAnimation(Request("a", c.speed, 0, -1, c.offset), false);
        EXPECT_EQ(PassAt(c.clock), c.expectedFrame) << c.name;
    }
}

TEST_F(AnimatedObjectTest, ALoopLimitStopsOnTheSecondToLastFrameWithOneEventAndOneHook) {
    object->AddAnimation("a", Animation(5)); // 0.5 s a cycle
    object->SetAnimation(Request("a", 1.0f, 2), false);
    EXPECT_EQ(object->GetCurrentName(), "a");
    double t = 0.0;
    for (; t < 0.95; t += 0.05) PassAt(t);
    EXPECT_EQ(object->GetCycles(), 1);
    EXPECT_FALSE(object->IsStopped());
    EXPECT_EQ(Count("animation_stopped"), 0);
    PassAt(1.02); // the second wrap
    EXPECT_TRUE(object->IsStopped());
    EXPECT_EQ(object->GetCurrentFrame(), 3);
    EXPECT_EQ(static_cast<int>(vertices.size()), 3 * 4) << "the stop pass writes frame N - 2";
    EXPECT_EQ(object->GetCurrentName(), "");
    EXPECT_EQ(Count("animation_stopped"), 1);
    EXPECT_EQ(owner->stopped, 1);
    for (t = 1.1; t < 3.0; t += 0.07) EXPECT_EQ(PassAt(t), 3);
    EXPECT_EQ(Count("animation_stopped"), 1);
    EXPECT_EQ(owner->stopped, 1);
    EXPECT_EQ(object->GetCycles(), 2);
}

TEST_F(AnimatedObjectTest, TheReportGoesOutOncePerCycleAtTheFirstFrameAtOrPastIt) {
    object->AddAnimation("a", Animation(8)); // 0.8 s
    object->SetAnimation(Request("a", 1.0f, 0, 3), false);
    PassAt(0.05);
    PassAt(0.25); // frame 2
    EXPECT_EQ(Count("animation_report"), 0);
    PassAt(0.55); // frames 3 and 4 skipped
    EXPECT_EQ(Count("animation_report"), 1);
    EXPECT_EQ(object->GetReportedFrame(), 5);
    EXPECT_EQ(owner->reported, 1);
    PassAt(0.65);
    PassAt(0.75);
    EXPECT_EQ(Count("animation_report"), 1);
    PassAt(0.85); // next cycle, frame 0
    PassAt(1.15); // frame 3
    EXPECT_EQ(Count("animation_report"), 2);
    EXPECT_EQ(owner->reported, 2);
}

TEST_F(AnimatedObjectTest, TheReportAndTheStopInOnePassBothGoOut) {
    object->AddAnimation("a", Animation(4)); // 0.4 s
    object->SetAnimation(Request("a", 1.0f, 1, 0), false);
    PassAt(0.15);
    EXPECT_EQ(Count("animation_report"), 1) << "frame 1 is past report frame 0";
    PassAt(0.45); // wraps to frame 0: stops, and the new cycle's report fires with frame 0
    EXPECT_EQ(Count("animation_stopped"), 1);
    EXPECT_EQ(Count("animation_report"), 2);
    EXPECT_EQ(router.sent.back().command, "animation_report");
}

TEST_F(AnimatedObjectTest, RestartDecidesWhetherTheSameNameStartsAgain) {
    object->AddAnimation("a", Animation(10));
    object->AddAnimation("b", Animation(10));
    g_totalTime = 1.0;
    object->SetAnimation(Request("a", 1.0f, 3, 0), false);
    PassAt(1.25);
    PassAt(1.95);
    PassAt(2.05); // one wrap
    ASSERT_EQ(object->GetCycles(), 1);
    ASSERT_EQ(object->GetReportedFrame(), 0);

    g_totalTime = 2.5;
    object->SetAnimation(Request("a", 5.0f, 9, 7), false);
    EXPECT_FLOAT_EQ(object->GetStartTime(), 1.0f) << "restart clear: the clock goes on";
    EXPECT_EQ(object->GetCycles(), 1);
    EXPECT_EQ(object->GetSpeed(), 1.0f);
    EXPECT_EQ(object->GetReportedFrame(), 0);

    object->SetAnimation(Request("a", 5.0f, 9, 7), true);
    EXPECT_FLOAT_EQ(object->GetStartTime(), 2.5f) << "restart set: from the current clock";
    EXPECT_EQ(object->GetCycles(), 0);
    EXPECT_EQ(object->GetSpeed(), 5.0f);
    EXPECT_EQ(object->GetLoopLimit(), 9);
    EXPECT_EQ(object->GetReportFrame(), 7);
    EXPECT_EQ(object->GetReportedFrame(), -1);
    EXPECT_EQ(object->GetCurrentFrame(), -1);

    // Unknown names change nothing either way.
    object->SetAnimation(Request("missing"), true);
    object->SetAnimation(Request("missing"), false);
    EXPECT_EQ(object->GetCurrentName(), "a");
    object->SetAnimation(Request("b"), false);
    EXPECT_EQ(object->GetCurrentName(), "b");
    EXPECT_EQ(object->GetCurrentAnimation(), object->GetAnimations().at("b"));
}

TEST_F(AnimatedObjectTest, ApplyingARequestResetsTheVertexEffects) {
    object->AddAnimation("a", Animation(2));
    object->AddVertexEffect(CreateVertexEffect("fade", {"100"}));
    g_deltaTime = 1.0f;
    PassAt(0.0);
    EXPECT_FLOAT_EQ(dynamic_cast<CPFadeEffect&>(*object->GetVertexEffects()[0]).GetAlpha(), 155.0f);
    EXPECT_EQ(vertices[0].diffuse, 0x9BFFFFFFu);
    object->SetAnimation(Request("a"), true);
    EXPECT_FLOAT_EQ(dynamic_cast<CPFadeEffect&>(*object->GetVertexEffects()[0]).GetAlpha(), 255.0f);
}

TEST_F(AnimatedObjectTest, CountsMatchWhatEveryFillWritesIncludingTheStopPass) {
    object->AddAnimation("a", Animation(6, 100.0f)); // frames of 1..6 triangles
    object->SetAnimation(Request("a", 1.7f, 3, 2), false);
    // Uneven frame times, with the stop in the middle; PassAt fills exactly the counts.
    for (double t = 0.0; t < 4.0; t += 0.013 + 0.011 * (static_cast<int>(t * 100) % 3)) {
        g_totalTime = t;
        const int vertexCount = object->GetVertexCount();
        const int indexCount = object->GetIndexCount();
        const int frame = PassAt(t);
        // Frame i has i + 1 triangles: the frame written is the one announced.
        EXPECT_EQ(frame, object->GetCurrentFrame()) << t;
        EXPECT_EQ(3 * (object->GetCurrentFrame() + 1), vertexCount) << t;
        EXPECT_EQ(indexCount, vertexCount) << t;
    }
    EXPECT_TRUE(object->IsStopped());
    EXPECT_EQ(owner->stopped, 1);
}

TEST_F(AnimatedObjectTest, AHookThatAppliesANewRequestShowsItFromTheNextPass) {
    object->AddAnimation("blow", Animation(4));
    object->AddAnimation("idle", Animation(2));
    object->SetAnimation(Request("blow", 1.0f, 1), false);
    int starts = 0;
    owner->onStopped = [&] {
        // The same animation again: its name was cleared at the stop, so it applies.
        object->SetAnimation(Request("blow", 1.0f, 1), false);
        ++starts;
    };
    PassAt(0.15);
    PassAt(0.35);
    EXPECT_EQ(PassAt(0.45), 2) << "the stop pass still writes the announced frame";
    EXPECT_EQ(starts, 1);
    EXPECT_FALSE(object->IsStopped());
    EXPECT_EQ(object->GetCurrentName(), "blow");
    EXPECT_EQ(PassAt(0.55), 1);
    // A different animation from the report hook.
    owner->onStopped = nullptr;
    object->SetAnimation(Request("blow", 1.0f, 0, 1), true);
    owner->onReport = [&] { object->SetAnimation(Request("idle"), false); };
    g_totalTime = 0.55;
    object->SetAnimation(Request("blow", 1.0f, 0, 1), true);
    EXPECT_EQ(PassAt(0.7), 1);
    EXPECT_EQ(object->GetCurrentName(), "idle");
    EXPECT_EQ(PassAt(0.75), 0);
}

TEST_F(AnimatedObjectTest, VerticesArePlacedByTheOwnerAndTrianglesTurnWhenItIsMirrored) {
    object->AddAnimation("a", Animation(1));
    struct MirrorCase {
        const char* name;
        float sx, sy, sz;
        bool reversed;
    };
    const MirrorCase cases[] = {
        {"no mirror", 1, 1, 1, false},          {"x mirrored", -1, 1, 1, true},
        {"y mirrored", 1, -2, 1, true},         {"z mirrored", 1, 1, -0.5f, true},
        {"x and y mirrored", -1, -1, 1, false}, {"all three mirrored", -1, -1, -1, true},
    };
    for (const MirrorCase& c : cases) {
        owner->world = D3DXMATRIX(c.sx, 0, 0, 0, 0, c.sy, 0, 0, 0, 0, c.sz, 0, 10, 20, 30, 1);
        g_totalTime = 0.01;
        ASSERT_EQ(object->GetIndexCount(), 3);
        std::vector<SPVertex> v(3);
        std::vector<std::uint16_t> i(3);
        object->FillVertices(v.data(), i.data(), 100, 0);
        const std::vector<std::uint16_t> expected =
            c.reversed ? std::vector<std::uint16_t>{100, 102, 101} : std::vector<std::uint16_t>{100, 101, 102};
        EXPECT_EQ(i, expected) << c.name;
        // Vertex 1 of the frame is (1, 0, 0) with normal (0, 0, 1).
        EXPECT_FLOAT_EQ(v[1].x, c.sx + 10) << c.name;
        EXPECT_FLOAT_EQ(v[1].y, 20) << c.name;
        EXPECT_FLOAT_EQ(v[1].z, 30) << c.name;
        EXPECT_FLOAT_EQ(v[1].nz, c.sz) << "normals by the 3x3 part, not renormalised: " << c.name;
        EXPECT_EQ(v[1].diffuse, 0xFFFFFFFFu);
        EXPECT_FLOAT_EQ(v[1].tu, 0.5f);
    }
}

TEST_F(AnimatedObjectTest, ACopyPlaysInStepWithItsSourceAndOwnsItsEffects) {
    object->AddAnimation("a", Animation(10));
    object->AddAnimation("b", Animation(3));
    object->AddVertexEffect(CreateVertexEffect("fade", {"50"}));
    g_totalTime = 0.3;
    object->SetAnimation(Request("a", 1.5f, 4, 6), false);
    PassAt(0.5);
    object->SetMaterial(nullptr);

    CPSmartPtr<TestAnimationOwner> copyOwner(new TestAnimationOwner());
    CPSmartPtr<CPAnimatedObject> copy(new CPAnimatedObject());
    copy->CopyFrom(*object);
    EXPECT_EQ(copy->GetOwner(), nullptr);
    copy->SetOwner(copyOwner.Get());
    EXPECT_EQ(copy->GetAnimations().size(), 2u);
    EXPECT_EQ(copy->GetCurrentAnimation(), object->GetCurrentAnimation());
    EXPECT_EQ(copy->GetReportTarget(), object->GetReportTarget());
    EXPECT_EQ(copy->GetCurrentName(), "a");
    ASSERT_EQ(copy->GetVertexEffects().size(), 1u);
    EXPECT_NE(copy->GetVertexEffects()[0], object->GetVertexEffects()[0]);
    EXPECT_TRUE(copy->HasVertexEffects());
    for (double t = 0.55; t < 3.0; t += 0.09) {
        g_totalTime = t;
        const int frame = PassAt(t);
        std::vector<SPVertex> v(static_cast<std::size_t>(copy->GetVertexCount()));
        std::vector<std::uint16_t> i(static_cast<std::size_t>(copy->GetIndexCount()));
        copy->FillVertices(v.data(), i.data(), 0, 0);
        EXPECT_EQ(copy->GetCurrentFrame(), frame) << t;
        EXPECT_EQ(copy->GetCycles(), object->GetCycles()) << t;
    }
}

TEST_F(AnimatedObjectTest, AnimationsThatCannotPlayDrawNothingAndNeverHang) {
    struct Case {
        const char* name;
        CPSmartPtr<CPAnimation> animation;
        int loops;
        int expectedVertices;
    };
    const Case cases[] = {
        {"no frames", Animation(0), 0, 0},
        {"zero ticks", Animation(3, 0.0f), 0, 0},
        {"negative ticks", Animation(3, -240.0f), 0, 0},
        {"NaN ticks", Animation(3, NAN), 0, 0},
        {"infinite ticks", Animation(3, INFINITY), 0, 0},
        {"one frame with a loop limit", Animation(1), 1, 3},
        {"one frame looping", Animation(1), 0, 3},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(c.animation) << c.name;
        CPSmartPtr<CPAnimatedObject> fresh(new CPAnimatedObject());
        object = fresh;
        object->SetOwner(owner.Get());
        object->AddAnimation("a", c.animation);
        object->SetAnimation(Request("a", 1.0f, c.loops), true);
        for (double t : {0.0, 0.05, 0.15, 1e6, 3600.0, 7200.0}) {
            PassAt(t);
            EXPECT_EQ(static_cast<int>(vertices.size()), c.expectedVertices) << c.name << " at " << t;
        }
    }
    // Without an owner or an animation nothing is drawn either.
    CPSmartPtr<CPAnimatedObject> bare(new CPAnimatedObject());
    EXPECT_EQ(bare->GetVertexCount(), 0);
    bare->FillVertices(nullptr, nullptr, 0, 0);
    bare->AddAnimation("a", Animation(2));
    EXPECT_EQ(bare->GetIndexCount(), 0);
    bare->FillVertices(nullptr, nullptr, 0, 0);
}

TEST_F(AnimatedObjectTest, WithoutAReportTargetNothingIsSentButTheHooksRun) {
    object->AddAnimation("a", Animation(3));
    SPAnimationRequest request = Request("a", 1.0f, 1, 1);
    request.reportTarget = nullptr;
    object->SetAnimation(request, false);
    for (double t = 0.0; t < 1.0; t += 0.05) PassAt(t);
    EXPECT_TRUE(router.sent.empty());
    EXPECT_EQ(owner->stopped, 1);
    EXPECT_EQ(owner->reported, 1);
}

} // namespace
