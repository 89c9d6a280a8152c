#include "Framework/PGlobalTimer.h"

#include "Platform/System/Clock.h"

#include <gtest/gtest.h>

namespace {

class GlobalTimer : public ::testing::Test {
protected:
    void SetUp() override {
        Platform::SetClock(&clock);
        g_timeScale = 1.0f;
        timer = new CPGlobalTimer;
    }
    void TearDown() override {
        Platform::SetClock(nullptr);
        g_timeScale = 1.0f;
        timer = nullptr;
        IPMMObject::CollectGarbage();
    }

    Platform::FakeClock clock{1000000};
    CPSmartPtr<CPGlobalTimer> timer;
};

TEST_F(GlobalTimer, DescribesItself) {
    EXPECT_EQ(timer->GetClassName(), "CPGlobalTimer");
    EXPECT_EQ(timer->GetKind(), 3);
    EXPECT_EQ(timer->GetPriority(), 10);
    EXPECT_EQ(CPGlobalTimer::GetInstance(), timer.Get());
}

TEST_F(GlobalTimer, FirstFrameMeasuresFromStart) {
    clock.AdvanceSeconds(5.0);
    ASSERT_TRUE(timer->Start());
    EXPECT_EQ(g_deltaTime, 0.0f);
    EXPECT_EQ(g_frameNumber, 0);
    clock.AdvanceSeconds(0.02);
    timer->Update();
    EXPECT_FLOAT_EQ(g_deltaTime, 0.02f);
    EXPECT_FLOAT_EQ(g_deltaTime2, 0.02f);
    EXPECT_EQ(g_frameNumber, 1);
    EXPECT_NEAR(g_totalTime, 0.02, 1e-6);
}

TEST_F(GlobalTimer, CapsAtFiftyMillisecondsBeforeTheScale) {
    struct Case {
        double frame;
        float scale;
        float delta;
        float unscaled;
    };
    const Case cases[] = {
        {0.2, 1.0f, 0.05f, 0.05f},  {0.2, 2.0f, 0.1f, 0.05f},   {0.04, 2.0f, 0.08f, 0.04f},
        {0.05, 1.0f, 0.05f, 0.05f}, {0.2, 0.5f, 0.025f, 0.05f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.frame);
        g_timeScale = c.scale;
        timer->Stop();
        ASSERT_TRUE(timer->Start());
        clock.AdvanceSeconds(c.frame);
        timer->Update();
        EXPECT_FLOAT_EQ(g_deltaTime, c.delta);
        EXPECT_FLOAT_EQ(g_deltaTime2, c.unscaled);
    }
}

TEST_F(GlobalTimer, TimeScaleZeroCountsFramesButNotTime) {
    ASSERT_TRUE(timer->Start());
    clock.AdvanceSeconds(0.01);
    timer->Update();
    double total = g_totalTime;
    g_timeScale = 0.0f;
    for (int i = 0; i < 3; ++i) {
        clock.AdvanceSeconds(0.01);
        timer->Update();
    }
    EXPECT_EQ(g_frameNumber, 4);
    EXPECT_EQ(g_deltaTime, 0.0f);
    EXPECT_EQ(g_totalTime, total);
}

TEST_F(GlobalTimer, RestartAfterStopKeepsTheCounters) {
    ASSERT_TRUE(timer->Start());
    EXPECT_FALSE(timer->Start()) << "a running timer refuses a second start";
    clock.AdvanceSeconds(0.01);
    timer->Update();
    clock.AdvanceSeconds(0.01);
    timer->Update();
    double total = g_totalTime;
    timer->Stop();
    EXPECT_TRUE(timer->IsKillRequested());
    clock.AdvanceSeconds(3.0);
    ASSERT_TRUE(timer->Start());
    EXPECT_FALSE(timer->IsKillRequested());
    EXPECT_EQ(g_frameNumber, 2);
    EXPECT_EQ(g_totalTime, total);
    clock.AdvanceSeconds(0.01);
    timer->Update();
    EXPECT_FLOAT_EQ(g_deltaTime, 0.01f) << "measured from the restart";
}

TEST_F(GlobalTimer, ResumeSkipsTheSuspendedTime) {
    ASSERT_TRUE(timer->Start());
    clock.AdvanceSeconds(10.0);
    timer->OnResume();
    clock.AdvanceSeconds(0.03);
    timer->Update();
    EXPECT_FLOAT_EQ(g_deltaTime, 0.03f);
}

TEST_F(GlobalTimer, MillisecondFallbackIsNotCappedAndSurvivesTheWrap) {
    clock.SetHasCounter(false);
    ASSERT_TRUE(timer->Start());
    EXPECT_FALSE(timer->UsesCounter());
    g_deltaTime2 = 0.125f;
    clock.AdvanceSeconds(0.2);
    timer->Update();
    EXPECT_FLOAT_EQ(g_deltaTime, 0.2f);
    EXPECT_EQ(g_deltaTime2, 0.125f) << "untouched on the fallback";

    // Near the 32-bit wrap of the millisecond clock.
    clock.AdvanceTicks(4294967280000LL - clock.Ticks()); // 16 ms before the wrap
    timer->OnResume();
    EXPECT_GT(clock.TimeGetTime(), 0xFFFFFF00u);
    clock.AdvanceSeconds(0.04);
    timer->Update();
    EXPECT_LT(clock.TimeGetTime(), 100u);
    EXPECT_NEAR(g_deltaTime, 0.04f, 0.0011f);
}

} // namespace
