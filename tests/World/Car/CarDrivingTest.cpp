#include <cmath>
#include <vector>

#include "CarWorldFixture.h"
#include "Framework/PGlobalTimer.h"

namespace {

using namespace kxcar;

bool Finite(const RbVector& v) { return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z); }

// The racer's dust as the particle system would get it.
struct DustLog {
    DustLog() {
        CPCar::SetDustSink([this](const SPDustPuff& puff) { puffs.push_back(puff); });
    }
    ~DustLog() { CPCar::SetDustSink(nullptr); }
    int Count(const char* name) const {
        int n = 0;
        for (const SPDustPuff& puff : puffs) n += puff.name == name ? 1 : 0;
        return n;
    }
    std::vector<SPDustPuff> puffs;
};

struct Settings {
    Settings(int dust) : oldDust(g_dust) { g_dust = dust; }
    ~Settings() { g_dust = oldDust; }
    int oldDust;
};

TEST_F(CarWorld, SteeringRightTurnsTowardTheBodysMinusXSide) {
    CPCar* car = MakeRacer("", true)->GetCar();
    Step(60);
    car->SetControls(1.0f, 0.0f);
    Step(240);
    const RbVector before = car->GetRigidBody()->GetPosition();
    car->SetControls(1.0f, 1.0f);
    Step(60);
    const RbVector after = car->GetRigidBody()->GetPosition();
    EXPECT_LT(after.x, before.x);
    EXPECT_LT(after.y, before.y);
}

TEST_F(CarWorld, PullingBackAtSpeedBrakesThenReverses) {
    CPSmartPtr<CPPlayer> racer = MakeRacer("", true, 4, D3DXVECTOR3(0.0f, 80.0f, 1.0f));
    CPCar* car = racer->GetCar();
    Step(60);
    car->SetControls(1.0f, 0.0f);
    Step(300);
    ASSERT_LT(car->GetRigidBody()->GetVelocity().y, -2.0f);
    car->SetControls(-1.0f, 0.0f);
    Step(2);
    EXPECT_TRUE(car->IsBraking());
    EXPECT_FALSE(racer->GetChild("stoplights")->IsVisible());
    bool reversed = false;
    for (int i = 0; i < 60 * 30 && !reversed; ++i) {
        Step(1);
        const RbVector p = car->GetRigidBody()->GetPosition();
        ASSERT_TRUE(Finite(p));
        ASSERT_GT(p.z, 0.0f) << "step " << i;
        reversed = car->GetRigidBody()->GetVelocity().y > 0.5f;
    }
    EXPECT_TRUE(reversed);
    EXPECT_FALSE(car->IsBraking());
}

TEST_F(CarWorld, ALockedCarIsHeldAndParkedOnce) {
    CPSmartPtr<CPPlayer> racer = MakeRacer("", true);
    CPCar* car = racer->GetCar();
    racer->SetLocked(true);
    EXPECT_TRUE(car->GetHold());
    Step(59);
    EXPECT_TRUE(car->GetRigidBody()->IsActive());
    Step(2);
    EXPECT_FALSE(car->GetRigidBody()->IsActive());
    EXPECT_GE(car->GetLockParkTimer(), 1.0f);
    racer->SetLocked(false);
    EXPECT_FALSE(car->GetHold());
    EXPECT_TRUE(car->GetRigidBody()->IsActive());
    racer->SetLocked(true);
    Step(120);
    EXPECT_TRUE(car->GetRigidBody()->IsActive());
}

TEST_F(CarWorld, AWreckGetsNoWheelForceAndItsSteerDecaysFlippingSign) {
    CPCar* car = MakeRacer("", true)->GetCar();
    Step(30);
    car->SetControls(0.0f, 1.0f);
    car->SetCrashed(true);
    float steer = car->GetSteer();
    for (int i = 0; i < 5; ++i) {
        Step(1);
        const float expected = steer * (1.0f - 100.0f * (1.0f / 60.0f));
        EXPECT_FLOAT_EQ(car->GetSteer(), expected);
        EXPECT_LT(car->GetSteer() * steer, 0.0f);
        steer = car->GetSteer();
        for (int w = 0; w < 4; ++w) EXPECT_FALSE(car->IsOnGround(w));
    }
    EXPECT_NEAR(car->GetCrashTimer(), 5.0f / 60.0f, 1e-5f);
}

TEST_F(CarWorld, DustNeedsSpeedAndTheSettingAndOnlyAcceleratingRearWheelsRaiseHeavyDust) {
    CPCar* car = MakeRacer("", true)->GetCar();
    Step(120);
    for (int w = 0; w < 4; ++w) ASSERT_TRUE(car->IsOnGround(w));
    struct Case {
        int dust;
        float speed, previous;
        int heavy, light; // puffs expected from the four wheels
    };
    for (const Case c : {Case{1, 3.16f, 3.0f, 0, 0}, Case{0, 10.0f, 5.0f, 0, 0}, Case{1, 10.0f, 5.0f, 2, 4},
                         Case{1, 10.0f, 12.0f, 0, 4}}) {
        Settings settings(c.dust);
        DustLog log;
        g_frameEventCount = 0;
        for (int w = 0; w < 4; ++w) {
            car->SetDustTimer(w, 1.0f);
            car->SetRayPoint(w, D3DXVECTOR3(1000.0f, 1000.0f, 0.0f));
            car->SetSpeedForTest(c.speed, c.previous);
            car->UpdateWheelEffects(w, 1.0f / 60.0f);
        }
        EXPECT_EQ(log.Count("_pil_2"), c.heavy) << c.dust << " " << c.speed << " " << c.previous;
        EXPECT_EQ(log.Count("_pil_"), c.light) << c.dust << " " << c.speed << " " << c.previous;
        // A new racer for the next case.
        car = MakeRacer("", true, 4, D3DXVECTOR3(20.0f * static_cast<float>(racers.size()), 0.0f, 1.0f))->GetCar();
        Step(120);
    }
}

TEST_F(CarWorld, TheFramesDustStopsAtAHundredPuffs) {
    CPCar* car = MakeRacer("", true)->GetCar();
    Step(120);
    Settings settings(1);
    DustLog log;
    g_frameEventCount = 99;
    car->SetDustTimer(2, 1.0f);
    car->SetRayPoint(2, D3DXVECTOR3(1000.0f, 1000.0f, 0.0f));
    car->SetRayPoint(3, D3DXVECTOR3(1000.0f, 1000.0f, 0.0f));
    car->SetSpeedForTest(10.0f, 5.0f);
    car->UpdateWheelEffects(2, 1.0f / 60.0f);
    EXPECT_EQ(g_frameEventCount, 100);
    car->SetDustTimer(3, 1.0f);
    car->UpdateWheelEffects(3, 1.0f / 60.0f);
    EXPECT_EQ(g_frameEventCount, 100);
    EXPECT_EQ(log.Count("_pil_"), 1);
}

// Several cars at full throttle, some steering, for a long run: never below the road, never
// a non-finite pose.
TEST_F(CarWorld, EightCarsDrivingStayFiniteAndAboveTheRoad) {
    kxtest::CamSpeed difficulty(10);
    std::vector<CPCar*> cars;
    for (int i = 0; i < 8; ++i) {
        const float x = -70.0f + 20.0f * static_cast<float>(i);
        cars.push_back(MakeRacer("", i == 0, 4, D3DXVECTOR3(x, 60.0f, 1.0f))->GetCar());
    }
    for (int step = 0; step < 60 * 20; ++step) {
        for (size_t i = 0; i < cars.size(); ++i)
            cars[i]->SetControls(1.0f, (i % 3 == 0) ? 0.0f : (i % 3 == 1 ? 0.4f : -0.4f));
        Step(1);
        for (CPCar* car : cars) {
            const RbVector p = car->GetRigidBody()->GetPosition();
            ASSERT_TRUE(Finite(p)) << "step " << step;
            // Over the road the chassis centre stays above it (the road ends at +-100).
            if (std::fabs(p.x) < 95.0f && std::fabs(p.y) < 95.0f) {
                ASSERT_GT(p.z, 0.0f) << "step " << step;
            }
        }
    }
}

// Values at the top of the float range are numbers, but forces built from them are not: the car
// must keep a finite pose whatever its description holds.
TEST_F(CarWorld, ExtremeDescriptionValuesNeverMakeAPoseNonFinite) {
    const std::string huge = "3e38";
    const std::vector<kxtest::CarDescriptionWriter> descriptions = {
        kxtest::CarDescriptionWriter().Gear({{"coeff", huge}, {"max", huge}, {"change", huge}}),
        kxtest::CarDescriptionWriter().Gear({{"coeff", "1"}}).Set("physics/params/wheels", "spring1", huge),
        kxtest::CarDescriptionWriter().Gear({{"coeff", "1"}}).Set("physics/params/wheels", "damping", huge),
    };
    kxtest::CamSpeed difficulty(10);
    for (size_t d = 0; d < descriptions.size(); ++d) {
        CPCar* car = MakeRacer(descriptions[d].Text(), true, 4, D3DXVECTOR3(-60.0f + 40.0f * d, 0.0f, 1.0f))->GetCar();
        for (int step = 0; step < 240; ++step) {
            car->SetControls(1.0f, 0.3f);
            Step(1);
            ASSERT_TRUE(Finite(car->GetRigidBody()->GetPosition())) << "description " << d << ", step " << step;
        }
    }
}

TEST_F(CarWorld, TheSameRunTwiceGivesTheSamePoses) {
    auto run = [this](float x) {
        CPCar* car = MakeRacer("", true, 4, D3DXVECTOR3(x, 0.0f, 1.0f))->GetCar();
        std::vector<RbVector> poses;
        for (int i = 0; i < 300; ++i) {
            car->SetControls(1.0f, i > 150 ? 0.5f : 0.0f);
            Step(1);
            RbVector p = car->GetRigidBody()->GetPosition();
            p.x -= x;
            poses.push_back(p);
        }
        physics.RemoveBody(CPSmartPtr<CPPhysicData>(dynamic_cast<CPPhysicData*>(racers.back()->GetPhysicData().Get())));
        return poses;
    };
    const std::vector<RbVector> first = run(-50.0f);
    const std::vector<RbVector> second = run(-50.0f);
    ASSERT_EQ(first.size(), second.size());
    for (size_t i = 0; i < first.size(); ++i) {
        EXPECT_EQ(first[i].x, second[i].x) << i;
        EXPECT_EQ(first[i].y, second[i].y) << i;
        EXPECT_EQ(first[i].z, second[i].z) << i;
    }
}

} // namespace
