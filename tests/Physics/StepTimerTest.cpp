// The step timer against a fake high-resolution counter.

#include "PhysicsTestSupport.h"

#include <vector>

namespace {

uint64_t g_fakeNow = 0;
uint64_t g_fakeFrequency = 1000;
uint64_t FakeCounter() { return g_fakeNow; }
uint64_t FakeFrequency() { return g_fakeFrequency; }

class StepTimerTest : public ::testing::Test {
protected:
    void SetUp() override {
        g_fakeNow = 5000;
        g_fakeFrequency = 1000;
        RbSetHighResolutionCounter(FakeCounter, FakeFrequency);
    }
    void TearDown() override { RbSetHighResolutionCounter(nullptr, nullptr); }
};

TEST_F(StepTimerTest, CalibrationWithAStillClockHasNoOverhead) {
    StepTimer timer;
    timer.Calibrate();
    EXPECT_EQ(timer.GetOverhead(), 0);
    EXPECT_EQ(timer.GetShift(), 0);
    timer.Start();
    g_fakeNow += 250;
    EXPECT_FLOAT_EQ(timer.Elapsed(), 0.25f);
    EXPECT_FLOAT_EQ(timer.Elapsed(), 0.0f);
}

TEST_F(StepTimerTest, NoCounterReportsZero) {
    g_fakeFrequency = 0;
    StepTimer timer;
    timer.Calibrate();
    timer.Start();
    g_fakeNow += 1000;
    timer.AddStage(RbStageSolver);
    EXPECT_EQ(timer.GetStage(RbStageSolver), 0.0f);
}

TEST_F(StepTimerTest, HugeFrequencyIsShifted) {
    g_fakeFrequency = 1ull << 34;
    StepTimer timer;
    timer.Calibrate();
    EXPECT_EQ(timer.GetShift(), 3);
    timer.Start();
    g_fakeNow += 1ull << 33;
    EXPECT_NEAR(timer.Elapsed(), 0.5f, 1e-6f);
}

// Each callback advances the fake clock by its own amount, so the stage that
// receives the time shows where in the step the callback ran.
class ClockController : public RbControllerCallback {
public:
    void OnControllerStep(RbController*, float) override { g_fakeNow += 5; }
};

TEST_F(StepTimerTest, StagesOfOneStepReceiveTheirTimeInOrder) {
    RbSimulatorPtr sim = MakeSimulator();
    ClockController controller;
    RbRigidBody* body = sim->NewRigidBody();
    body->AttachController(&controller, 0);
    RbPerformanceReport report;
    report.mode = 1;
    sim->Advance(kStep, 1, &report);
    const StepTimer& t = sim->GetStepTimer();
    EXPECT_FLOAT_EQ(t.GetStage(RbStageIntegration), 0.005f);
    EXPECT_EQ(t.GetStage(RbStageBroadPhase), 0.0f);
    EXPECT_EQ(t.GetStage(RbStageDynamics), 0.0f);
    EXPECT_EQ(t.GetStage(RbStageEnd), 0.0f);
    EXPECT_FLOAT_EQ(report.result, 0.005f);
    for (float f : report.cleared) EXPECT_EQ(f, 0.0f);

    // Two steps in one call add up.
    sim->Advance(2 * kStep, 2, &report);
    EXPECT_FLOAT_EQ(sim->GetStepTimer().GetStage(RbStageIntegration), 0.010f);
    EXPECT_FLOAT_EQ(report.result, 0.010f);
}

TEST_F(StepTimerTest, RunningAverageIgnoresCallsOfAHundredSecondsOrMore) {
    RbSimulatorPtr sim = MakeSimulator();
    ClockController controller;
    RbRigidBody* body = sim->NewRigidBody();
    body->AttachController(&controller, 0);
    RbPerformanceReport report;
    report.mode = 0;
    sim->Advance(kStep, 1, &report); // 0.005 s
    sim->Advance(kStep, 3, &report); // 0.015 s
    EXPECT_EQ(report.sampleCount, 2);
    EXPECT_FLOAT_EQ(report.result, 0.010f);
    class Slow : public RbControllerCallback {
    public:
        void OnControllerStep(RbController*, float) override { g_fakeNow += 200000; }
    } slow;
    body->AttachController(&slow, 0);
    sim->Advance(kStep, 1, &report); // over 200 s: not averaged
    EXPECT_EQ(report.sampleCount, 2);
    EXPECT_FLOAT_EQ(report.runningSum, 0.020f);
}

TEST_F(StepTimerTest, NoReportMeansNoPipelineMarks) {
    RbSimulatorPtr sim = MakeSimulator();
    ClockController controller;
    sim->NewRigidBody()->AttachController(&controller, 0);
    RbPerformanceReport report;
    report.mode = 1;
    sim->Advance(kStep, 1, &report);
    sim->Advance(kStep, 1, nullptr);
    // The accumulators still hold the reported call's figures.
    EXPECT_FLOAT_EQ(sim->GetStepTimer().GetStage(RbStageIntegration), 0.005f);
}

void PairOrTerrainContact(RbCollisionInfo* info) { g_fakeNow += info->typeB == 0 ? 7 : 2; }

void SlowTerrainQuery(const RbVector*, const RbVector*, const int** candidates, const RbTriangle** triangles,
                      const RbVector** vertices, int* candidateCount, int* triangleCount, RbRigidBody*) {
    static const RbVector v[3] = {RbVec(-9, -9, 0), RbVec(9, -9, 0), RbVec(0, 9, 0)};
    static const RbTriangle t{{0, 1, 2}, 0, 0, 0};
    static const int c[1] = {0};
    *candidates = c;
    *triangles = &t;
    *vertices = v;
    *candidateCount = 1;
    *triangleCount = 1;
    g_fakeNow += 3;
}

TEST_F(StepTimerTest, CollisionCallbacksAndTerrainQueriesLandInTheirStages) {
    RbSimulatorPtr sim = MakeSimulator(RbSimulatorSizes{}, 0.0f);
    sim->SetCollisionCallback(PairOrTerrainContact);
    sim->SetTerrainQuery(SlowTerrainQuery);
    sim->GetResponseTable()->Set(0, 0, 2);
    sim->GetResponseTable()->Set(0, -1, 2);
    MakeBoxBody(sim.get(), 1, 1, 1, RbVec(0, 0, 0.45f));
    MakeBoxBody(sim.get(), 1, 1, 1, RbVec(0.9f, 0, 0.45f));
    RbPerformanceReport report;
    report.mode = 1;
    sim->Advance(kStep, 1, &report);
    const StepTimer& t = sim->GetStepTimer();
    EXPECT_FLOAT_EQ(t.GetStage(RbStagePairs), 0.002f);
    // A stage takes the time since the previous mark: the first body's contact
    // callback (7) falls to the second body's query mark, the second body's to the
    // end of the terrain pass.
    EXPECT_FLOAT_EQ(t.GetStage(RbStageTerrainQuery), 0.003f + 0.007f + 0.003f);
    EXPECT_FLOAT_EQ(t.GetStage(RbStageTerrain), 0.007f);
    EXPECT_FLOAT_EQ(report.result, 0.022f);
}

} // namespace
