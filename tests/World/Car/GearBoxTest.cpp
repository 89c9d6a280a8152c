#include <gtest/gtest.h>

#include "World/PGearBox.h"
#include "support/FreshStore.h"

namespace {

// Stands in for the car: its speed, its brake flag, and every brake request it got.
class FakeCar : public IPGearBoxHost {
public:
    bool IsBraking() const override { return braking; }
    float GetSpeed() const override { return speed; }
    void RequestBrake(bool on) override {
        braking = on;
        ++requests;
    }
    bool braking = false;
    float speed = 0.0f;
    int requests = 0;
};

constexpr float kStep = 1.0f / 60.0f;

struct GearBoxFixture : ::testing::Test {
    GearBoxFixture() {
        box.Reset();
        box.InstallDefaults();
        box.SetCar(&car);
        box.SetPlayerBox(true);
    }
    float Run(int steps) {
        float force = 0.0f;
        for (int i = 0; i < steps; ++i) {
            box.SetCarSpeed(car.speed);
            force = box.Update(kStep);
        }
        return force;
    }
    FakeCar car;
    GearBox box;
};

TEST_F(GearBoxFixture, PressingFromRestGivesNoForceForAQuarterSecondThenGearOneDrives) {
    box.SetThrottle(1.0f);
    int firstDrivingStep = -1;
    for (int step = 1; step <= 60 && firstDrivingStep < 0; ++step) {
        box.SetCarSpeed(0.0f);
        if (box.Update(kStep) > 0.0f) firstDrivingStep = step;
    }
    ASSERT_GT(firstDrivingStep, 0);
    // The step leaving idle, the step deciding the shift, then a quarter second of delay.
    EXPECT_GE(static_cast<float>(firstDrivingStep - 1) * kStep, 0.25f);
    EXPECT_LE(firstDrivingStep, 19);
    EXPECT_EQ(box.GetCurrentGear(), 1);
}

TEST_F(GearBoxFixture, EngineSpeedIsCappedForwardAndInReverse) {
    box.SetThrottle(1.0f);
    car.speed = 0.0f;
    // Holding the box in its last gear keeps the engine rising with nothing to shift to.
    Run(1);
    box.SetCurrentGear(5);
    Run(600);
    EXPECT_EQ(box.GetEngineSpeed(), GearBox::kMaxForwardEngineSpeed);

    GearBox reverse;
    reverse.Reset();
    reverse.InstallDefaults();
    reverse.SetPlayerBox(true);
    reverse.SetThrottle(-1.0f);
    for (int i = 0; i < 1200; ++i) reverse.Update(kStep);
    EXPECT_EQ(reverse.GetState(), GearBox::kReverse);
    EXPECT_EQ(reverse.GetEngineSpeed(), GearBox::kMaxReverseEngineSpeed);
    EXPECT_EQ(reverse.GetEngineForce(), -GearBox::kMaxReverseEngineSpeed);
}

TEST(GearBoxDifficulty, ComputerForceScalesWithTheDifficulty) {
    struct Case {
        int camSpeed;
        float ratio;
    };
    for (const Case c : {Case{10, 1.0f}, Case{5, 0.5f}, Case{0, 0.0f}}) {
        kxtest::CamSpeed difficulty(c.camSpeed);
        GearBox player, computer;
        for (GearBox* box : {&player, &computer}) {
            box->Reset();
            box->InstallDefaults();
            box->SetThrottle(1.0f);
            box->SetCarSpeed(30.0f);
        }
        player.SetPlayerBox(true);
        for (int i = 0; i < 120; ++i) {
            player.Update(kStep);
            computer.Update(kStep);
        }
        ASSERT_GT(player.GetEngineForce(), 0.0f);
        EXPECT_FLOAT_EQ(computer.GetEngineForce(), player.GetEngineForce() * c.ratio) << "cam_speed " << c.camSpeed;
    }
}

TEST_F(GearBoxFixture, ReleasingAtTheGearMinimumShiftsDownToTheMiddleOfTheOldGear) {
    box.SetThrottle(1.0f);
    Run(1);
    box.SetCurrentGear(3);
    box.SetEngineSpeed(2.0f); // gear 3's minimum
    box.SetThrottle(0.0f);
    Run(1);
    EXPECT_EQ(box.GetCurrentGear(), 2);
    EXPECT_FLOAT_EQ(box.GetEngineSpeed(), (2.0f + 5.0f) / 2.0f);
}

TEST_F(GearBoxFixture, PullingWhileRollingBrakesAndReversesOnlyAtRestInGearZero) {
    box.SetThrottle(1.0f);
    car.speed = 20.0f;
    Run(240);
    ASSERT_EQ(box.GetState(), GearBox::kForward);
    ASSERT_GT(box.GetCurrentGear(), 0);
    box.SetThrottle(-1.0f);
    Run(1);
    EXPECT_TRUE(car.braking);
    int steps = 1;
    while (box.GetState() == GearBox::kForward && steps < 6000) {
        EXPECT_TRUE(box.GetEngineSpeed() > 0.0f || box.GetCurrentGear() > 0 || box.GetTractionTime() >= 0.0f);
        Run(1);
        ++steps;
    }
    EXPECT_EQ(box.GetState(), GearBox::kIdle);
    EXPECT_EQ(box.GetCurrentGear(), 0);
    EXPECT_EQ(box.GetEngineSpeed(), 0.0f);
    Run(1);
    EXPECT_EQ(box.GetState(), GearBox::kReverse);
    // Pulling in reverse releases the brake.
    Run(1);
    EXPECT_FALSE(car.braking);
}

TEST_F(GearBoxFixture, TheLastGearNeverSchedulesAnUpShift) {
    box.SetThrottle(1.0f);
    car.speed = 100.0f;
    Run(1);
    box.SetCurrentGear(5);
    box.SetEngineSpeed(8.0f);
    Run(120);
    EXPECT_EQ(box.GetCurrentGear(), 5);
    EXPECT_EQ(box.GetTractionTime(), -1.0f);
}

TEST_F(GearBoxFixture, GearsRiseInOrderUnderFullThrottle) {
    box.SetThrottle(1.0f);
    int last = 0;
    for (int i = 0; i < 60 * 30; ++i) {
        car.speed = 1.0f * static_cast<float>(i) / 6.0f;
        Run(1);
        EXPECT_TRUE(box.GetCurrentGear() == last || box.GetCurrentGear() == last + 1) << "step " << i;
        last = box.GetCurrentGear();
    }
    EXPECT_EQ(last, 5);
}

TEST(GearBoxPick, PickLowerGearTakesTheLowestGearWhoseChangeSpeedIsAbove) {
    GearBox box;
    box.Reset();
    box.InstallDefaults();
    box.SetCurrentGear(5);
    box.SetCarSpeed(6.0f); // x = 11: gear 3 (15) is the lowest above
    EXPECT_EQ(box.PickLowerGear(), 3);
    EXPECT_FLOAT_EQ(box.GetEngineSpeed(), 3.5f);
    box.SetCarSpeed(30.0f);
    box.SetEngineSpeed(1.0f);
    EXPECT_EQ(box.PickLowerGear(), 5);
    EXPECT_EQ(box.GetEngineSpeed(), 1.0f);
}

} // namespace
