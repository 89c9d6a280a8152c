// Part-animation tracks driven by the frame time: key advance with the carry of left-over time,
// the end reports, the interpolated matrix handed to the owner, copies, restarts and the tracks
// that cannot run.

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "Framework/PGlobalTimer.h"
#include "Scene/PPartAnimation.h"

namespace {

D3DXMATRIX Translation(float x, float y, float z) { return D3DXMATRIX(1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, x, y, z, 1); }

struct RecordingOwner : IPPartAnimationOwner {
    void OnAnimationEnd() override { ++ends; }
    void SetAnimatedLocalMatrix(const D3DXMATRIX& matrix) override {
        local = matrix;
        ++matrices;
    }
    void UpdateTransform() override { ++updates; }
    int ends = 0;
    int matrices = 0;
    int updates = 0;
    D3DXMATRIX local;
};

class PartAnimationTest : public ::testing::Test {
protected:
    void SetUp() override { g_deltaTime = 0.0f; }
    void TearDown() override { g_deltaTime = 0.0f; }

    // Keys translating along x to 0, 10, 20, ...; durations as given.
    CPSmartPtr<CPPartAnimation> Track(const std::vector<float>& durations, bool loop, std::size_t keyCount = 0) {
        CPSmartPtr<CPPartAnimation> track(new CPPartAnimation());
        std::vector<D3DXMATRIX> keys;
        for (std::size_t i = 0; i < (keyCount ? keyCount : durations.size()); ++i)
            keys.push_back(Translation(10.0f * static_cast<float>(i), 0, 0));
        track->SetKeys(keys, durations);
        track->SetLoop(loop);
        track->SetOwner(&owner);
        track->Start();
        return track;
    }

    void Run(CPPartAnimation& track, float seconds, float step) {
        for (int i = 0; i < static_cast<int>(std::lround(seconds / step)); ++i) Pass(track, step);
    }
    void Pass(CPPartAnimation& track, float dt) {
        g_deltaTime = dt;
        track.Update();
    }

    RecordingOwner owner;
};

TEST_F(PartAnimationTest, StartsWithTheTaskDefaults) {
    CPPartAnimation track;
    EXPECT_EQ(track.GetPriority(), 5000);
    EXPECT_EQ(track.GetKind(), 1);
    EXPECT_EQ(track.GetClassName(), "CPPartAnimation");
    EXPECT_FALSE(track.IsLooping());
    EXPECT_EQ(track.GetOwner(), nullptr);
    CPSmartPtr<IPTask> clone;
    track.Clone(clone);
    EXPECT_FALSE(clone);
}

TEST_F(PartAnimationTest, ALoopingTrackStartsOverAfterKeysZeroToNMinusThree) {
    auto track = Track({1, 1, 1, 1}, true);
    Run(*track, 2.5f, 0.125f);
    EXPECT_EQ(track->GetKeyIndex(), 0);
    EXPECT_FLOAT_EQ(track->GetTimeInKey(), 0.5f);
    EXPECT_EQ(owner.ends, 1);
    EXPECT_TRUE(track->IsRunning());
    EXPECT_FLOAT_EQ(owner.local._41, 5.0f);
    EXPECT_EQ(owner.updates, 20);
    EXPECT_EQ(owner.matrices, 20);
}

TEST_F(PartAnimationTest, ASingleRunEndsOnceAndStopsItselfAtKeyNMinusTwo) {
    auto track = Track({1, 1, 1, 1}, false);
    Run(*track, 2.0f, 0.125f);
    EXPECT_EQ(owner.ends, 0) << "exactly the cycle's time stays in the last key";
    EXPECT_TRUE(track->IsRunning());
    Pass(*track, 0.125f);
    EXPECT_EQ(owner.ends, 1);
    EXPECT_FALSE(track->IsRunning());
    EXPECT_TRUE(track->IsKillRequested());
    EXPECT_EQ(track->GetKeyIndex(), 2);
    // The pass of the end interpolates from key 2 towards key 3.
    EXPECT_FLOAT_EQ(owner.local._41, 20.0f + 10.0f * 0.125f);
}

TEST_F(PartAnimationTest, OneLargeFrameTimeAdvancesSeveralKeysAndMayReportSeveralEnds) {
    auto looping = Track({1, 1, 1, 1}, true);
    Pass(*looping, 5.5f);
    EXPECT_EQ(owner.ends, 2);
    EXPECT_EQ(looping->GetKeyIndex(), 1);
    EXPECT_FLOAT_EQ(looping->GetTimeInKey(), 0.5f);

    RecordingOwner single;
    auto once = Track({1, 1, 1, 1, 1}, false);
    once->SetOwner(&single);
    Pass(*once, 2.5f);
    EXPECT_EQ(once->GetKeyIndex(), 2);
    EXPECT_EQ(single.ends, 0);
    Pass(*once, 10.0f);
    EXPECT_EQ(single.ends, 1);
    EXPECT_EQ(once->GetKeyIndex(), 3);
}

TEST_F(PartAnimationTest, AFrameTimeOfExactlyTheRemainingDurationStaysInTheKey) {
    auto track = Track({0.5f, 2.0f, 1.0f}, false);
    Pass(*track, 0.5f);
    EXPECT_EQ(track->GetKeyIndex(), 0);
    EXPECT_FLOAT_EQ(owner.local._41, 10.0f) << "f = 1";
    Pass(*track, 0.25f);
    EXPECT_EQ(owner.ends, 1);
}

TEST_F(PartAnimationTest, CopyKeysTakesKeysDurationsAndLoopButNotTheClockOrTheOwner) {
    auto source = Track({1, 2, 3, 4}, true);
    RecordingOwner other;
    auto copy = Track({1, 1, 1}, false);
    copy->SetOwner(&other);
    Pass(*copy, 0.5f);
    copy->CopyKeys(source);
    EXPECT_TRUE(copy->IsLooping());
    EXPECT_EQ(copy->GetDurations(), source->GetDurations());
    ASSERT_EQ(copy->GetKeys().size(), 4u);
    EXPECT_EQ(copy->GetKeys()[3], source->GetKeys()[3]);
    EXPECT_FLOAT_EQ(copy->GetTimeInKey(), 0.5f);
    EXPECT_EQ(copy->GetOwner(), &other);
}

TEST_F(PartAnimationTest, StartDoesNotResetTheClock) {
    auto track = Track({1, 1, 1, 1}, true);
    Pass(*track, 1.25f);
    track->Stop();
    EXPECT_TRUE(track->Start());
    EXPECT_EQ(track->GetKeyIndex(), 1);
    EXPECT_FLOAT_EQ(track->GetTimeInKey(), 0.25f);
    Pass(*track, 0.25f);
    EXPECT_FLOAT_EQ(owner.local._41, 15.0f);
}

TEST_F(PartAnimationTest, AnEndedSingleRunStartedAgainStaysEnded) {
    auto track = Track({1, 1, 1}, false);
    Pass(*track, 1.5f);
    ASSERT_EQ(owner.ends, 1);
    track->Start();
    const int updates = owner.updates;
    Pass(*track, 10.0f);
    EXPECT_FALSE(track->IsRunning());
    EXPECT_EQ(owner.ends, 1);
    EXPECT_EQ(owner.updates, updates);
}

struct RefusedTrack {
    const char* name;
    std::vector<float> durations;
    std::size_t keys;
    bool loop;
};

TEST_F(PartAnimationTest, TracksThatCannotRunStopAtTheirFirstPassWithoutAnEvent) {
    const RefusedTrack cases[] = {
        {"no keys", {}, 0, true},
        {"two keys", {1, 1}, 2, false},
        {"fewer durations than keys", {1, 1, 1}, 4, false},
        {"more durations than keys", {1, 1, 1, 1}, 3, true},
        {"a looping cycle of zero", {0, 0, 5}, 3, true},
        {"a looping cycle below zero", {1, -2, 5, 5}, 4, true},
        {"a looping cycle of NaN", {NAN, 1, 1}, 3, true},
    };
    for (const RefusedTrack& c : cases) {
        RecordingOwner quiet;
        auto track = Track(c.durations, c.loop, c.keys);
        track->SetOwner(&quiet);
        Pass(*track, 100.0f);
        EXPECT_FALSE(track->IsRunning()) << c.name;
        EXPECT_EQ(quiet.ends, 0) << c.name;
        EXPECT_EQ(quiet.updates, 0) << c.name;
    }
}

TEST_F(PartAnimationTest, HugeOrBrokenFrameTimesEndInOnePass) {
    for (float dt : {1e30f, 3e38f, INFINITY, NAN}) {
        RecordingOwner quiet;
        auto track = Track({1e-6f, 1e-6f, 1, 1}, true);
        track->SetOwner(&quiet);
        Pass(*track, dt);
        EXPECT_LE(quiet.ends, CPPartAnimation::kMaxCyclesPerPass + 2) << dt;
        EXPECT_TRUE(std::isfinite(track->GetTimeInKey())) << dt;
    }
}

TEST_F(PartAnimationTest, TheMatrixIsInterpolatedOverAllSixteenElements) {
    CPSmartPtr<CPPartAnimation> track(new CPPartAnimation());
    D3DXMATRIX a, b;
    for (int i = 0; i < 16; ++i) {
        a.m[i / 4][i % 4] = static_cast<float>(i);
        b.m[i / 4][i % 4] = static_cast<float>(2 * i + 1);
    }
    track->SetKeys({a, b, b}, {2, 1, 1});
    track->SetOwner(&owner);
    Pass(*track, 0.5f);
    for (int i = 0; i < 16; ++i)
        EXPECT_FLOAT_EQ(owner.local.m[i / 4][i % 4], static_cast<float>(i) + 0.25f * static_cast<float>(i + 1));
}

} // namespace
