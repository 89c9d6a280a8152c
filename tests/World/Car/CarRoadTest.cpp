// Cars driven on generated roads, one 60 Hz step at a time: over a ramp and round a banked
// ring for a long run, fast into a wall, landing hard, upside down, side by side, and a wreck
// falling through an intact car. A car must never end below the road under it, beyond a wall,
// or with a pose that is not finite.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

#include "CarWorldFixture.h"
#include "World/WorldTestSupport.h"
#include "support/RoadMesh.h"

namespace {

using namespace kxcar;
using kxtest::RoadMesh;

constexpr float kPi = 3.14159265f;

bool Finite(const RbVector& v) { return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z); }

RbVector Row(const RbMatrix& m, int r) { return RbVec(m.m[r][0], m.m[r][1], m.m[r][2]); }

// A turn about the world's z axis.
D3DXQUATERNION Yaw(float angle) { return D3DXQUATERNION(0.0f, 0.0f, std::sin(angle / 2), std::cos(angle / 2)); }

// The test racers' chassis box: 2 wide (x), 4 long (y), 1 high (z) about the body's centre.
constexpr float kHalf[3] = {1.0f, 2.0f, 0.5f};

std::vector<RbVector> Corners(const RbMatrix& m) {
    std::vector<RbVector> out;
    for (int i = 0; i < 8; ++i) {
        const float x = (i & 1) ? kHalf[0] : -kHalf[0];
        const float y = (i & 2) ? kHalf[1] : -kHalf[1];
        const float z = (i & 4) ? kHalf[2] : -kHalf[2];
        out.push_back(Row(m, 3) + Row(m, 0) * x + Row(m, 1) * y + Row(m, 2) * z);
    }
    return out;
}

// How far two chassis boxes overlap, seen from above (both upright on one flat road): the
// smallest overlap along the four axes of the two footprints, 0 when they are apart.
float FootprintOverlap(const RbMatrix& a, const RbMatrix& b) {
    const std::vector<RbVector> ca = Corners(a), cb = Corners(b);
    float smallest = 1e30f;
    for (const RbMatrix* m : {&a, &b}) {
        for (int r = 0; r < 2; ++r) {
            RbVector axis = Row(*m, r);
            axis.z = 0.0f;
            const float length = std::sqrt(RbDot(axis, axis));
            if (length < 1e-6f) continue;
            axis = axis * (1.0f / length);
            float loA = 1e30f, hiA = -1e30f, loB = 1e30f, hiB = -1e30f;
            for (const RbVector& p : ca) {
                loA = std::min(loA, RbDot(p, axis));
                hiA = std::max(hiA, RbDot(p, axis));
            }
            for (const RbVector& p : cb) {
                loB = std::min(loB, RbDot(p, axis));
                hiB = std::max(hiB, RbDot(p, axis));
            }
            const float overlap = std::min(hiA, hiB) - std::max(loA, loB);
            if (overlap <= 0.0f) return 0.0f;
            smallest = std::min(smallest, overlap);
        }
    }
    return smallest;
}

// Steering toward a point: +1 turns toward the body's -x side.
float SteerToward(CPCar* car, float x, float y) {
    const RbMatrix m = car->GetRigidBody()->GetTransform();
    const RbVector p = Row(m, 3);
    RbVector to = RbVec(x - p.x, y - p.y, 0.0f);
    const float length = std::sqrt(RbDot(to, to));
    if (length < 1e-3f) return 0.0f;
    to = to * (1.0f / length);
    RbVector minusX = Row(m, 0) * -1.0f;
    minusX.z = 0.0f;
    return std::clamp(3.0f * RbDot(to, minusX), -1.0f, 1.0f);
}

// Puts a car back at a pose, still.
void Place(CPCar* car, const RbVector& position, const D3DXQUATERNION& rotation) {
    RbRigidBody* body = car->GetRigidBody();
    body->SetPosition(position);
    body->SetRotation(RbQuaternion{rotation.x, rotation.y, rotation.z, rotation.w});
    body->SetVelocity(RbVec(0.0f, 0.0f, 0.0f));
    body->SetAngularMomentum(RbVec(0.0f, 0.0f, 0.0f));
    body->SetActive(true, nullptr);
}

struct CarRoad : CarWorld {
    // The road replaces the fixture's flat square for the world's terrain.
    void UseRoad(const RoadMesh& mesh) {
        road = kxtest::MakeRoadObject(mesh);
        ASSERT_TRUE(physics.BuildTerrainGrid(road.mesh));
    }
    // Every car's centre above the road under it and every pose finite; answers how many
    // checks found a road under the car.
    int CheckAbove(const RoadMesh& mesh, const std::vector<CPCar*>& cars, int step) {
        int over = 0;
        for (std::size_t i = 0; i < cars.size(); ++i) {
            const RbMatrix m = cars[i]->GetRigidBody()->GetTransform();
            const RbVector p = Row(m, 3);
            EXPECT_TRUE(Finite(p) && Finite(Row(m, 0)) && Finite(Row(m, 1)) && Finite(Row(m, 2)))
                << "car " << i << " step " << step;
            float surface = 0.0f;
            if (!mesh.SurfaceHeight(p.x, p.y, surface)) continue;
            ++over;
            EXPECT_GT(p.z, surface) << "car " << i << " below the road at step " << step << ": " << p.x << ", " << p.y
                                    << ", " << p.z;
        }
        return over;
    }

    kxtest::RoadObject road;
    kxtest::CamSpeed difficulty{10};
};

TEST_F(CarRoad, EightCarsOverARampForTenThousandSteps) {
    GetGameData()->levelSettings.setting9 = 1.0f;
    // A wide run-up, a ramp that ends in a drop, and a long landing, all along +y.
    const RoadMesh mesh = kxtest::MakeRampRoad(40, 40, 12, 3, 0, 80);
    UseRoad(mesh);
    // Turned half round: the cars' forward (-y in the body) is the road's +y.
    const D3DXQUATERNION facing = Yaw(kPi);
    std::vector<CPCar*> cars;
    std::vector<float> lanes;
    for (int i = 0; i < 8; ++i) {
        lanes.push_back(4.0f + 4.5f * static_cast<float>(i));
        cars.push_back(MakeRacer("", i == 0, 4, D3DXVECTOR3(lanes.back(), 5.0f, 1.0f), facing)->GetCar());
    }
    int laps = 0, overChecks = 0;
    bool failed = false;
    for (int step = 0; step < 10000 && !failed; ++step) {
        for (std::size_t i = 0; i < cars.size(); ++i) {
            const RbVector p = cars[i]->GetRigidBody()->GetPosition();
            float surface = 0.0f;
            // At the end of the landing, or off its side, the car starts again.
            if (p.y > 128.0f || !mesh.SurfaceHeight(p.x, p.y, surface)) {
                laps += p.y > 128.0f ? 1 : 0;
                Place(cars[i], RbVec(lanes[i], 5.0f, 1.0f), facing);
                continue;
            }
            const float speed =
                std::sqrt(RbDot(cars[i]->GetRigidBody()->GetVelocity(), cars[i]->GetRigidBody()->GetVelocity()));
            cars[i]->SetControls(speed < 22.0f ? 1.0f : 0.0f, SteerToward(cars[i], lanes[i], p.y + 10.0f));
        }
        Step(1);
        overChecks += CheckAbove(mesh, cars, step);
        failed = ::testing::Test::HasFailure();
    }
    EXPECT_GT(laps, 8) << "the cars must really drive the road, jump included";
    EXPECT_GT(overChecks, 8 * 9000);
}

TEST_F(CarRoad, EightCarsRoundABankedRingForTenThousandSteps) {
    GetGameData()->levelSettings.setting9 = 1.0f;
    const float inner = 40.0f, width = 16.0f, bank = 0.2f, middle = inner + width / 2;
    const RoadMesh mesh = kxtest::MakeBankedTurn(inner, width, bank, 2.0f * kPi, 96, 4);
    UseRoad(mesh);
    std::vector<CPCar*> cars;
    for (int i = 0; i < 8; ++i) {
        const float angle = 2.0f * kPi * static_cast<float>(i) / 8.0f;
        // Counter-clockwise along the ring.
        cars.push_back(MakeRacer("", i == 0, 4,
                                 D3DXVECTOR3(middle * std::cos(angle), middle * std::sin(angle),
                                             (middle - inner) * std::tan(bank) + 1.0f),
                                 Yaw(angle + kPi))
                           ->GetCar());
    }
    int resets = 0, overChecks = 0;
    float travelled = 0.0f;
    bool failed = false;
    for (int step = 0; step < 10000 && !failed; ++step) {
        for (std::size_t i = 0; i < cars.size(); ++i) {
            const RbVector p = cars[i]->GetRigidBody()->GetPosition();
            float surface = 0.0f;
            if (!mesh.SurfaceHeight(p.x, p.y, surface)) {
                ++resets;
                const float angle = std::atan2(p.y, p.x);
                Place(
                    cars[i],
                    RbVec(middle * std::cos(angle), middle * std::sin(angle), (middle - inner) * std::tan(bank) + 1.0f),
                    Yaw(angle + kPi));
                continue;
            }
            const RbVector v = cars[i]->GetRigidBody()->GetVelocity();
            const float speed = std::sqrt(RbDot(v, v));
            if (i == 0) travelled += speed / 60.0f;
            const float ahead = std::atan2(p.y, p.x) + 0.3f;
            cars[i]->SetControls(speed < 18.0f ? 1.0f : 0.0f,
                                 SteerToward(cars[i], middle * std::cos(ahead), middle * std::sin(ahead)));
        }
        Step(1);
        overChecks += CheckAbove(mesh, cars, step);
        failed = ::testing::Test::HasFailure();
    }
    EXPECT_GT(travelled, 2.0f * kPi * middle) << "the first car must go round at least once";
    EXPECT_LT(resets, 8) << "the steered cars keep to the ring";
    EXPECT_GT(overChecks, 8 * 9000);
}

// 60 units/s into a wall across the road, head-on and turned: the chassis stays on the road
// side and above the road.
TEST_F(CarRoad, SixtyIntoAWallStaysOnTheRoadSide) {
    const float wallY = 20.0f;
    const RoadMesh mesh = kxtest::MakeWalledEnd(40, 120, wallY, 3, 8, 24);
    UseRoad(mesh);
    const float angles[] = {0.0f, 15.0f, -15.0f, 45.0f};
    for (float degrees : angles) {
        const float yaw = degrees * kPi / 180.0f;
        // Each car meets the wall near the middle of the road, 15 units ahead.
        const float x = 20.0f - 15.0f * std::tan(yaw);
        CPCar* car = MakeRacer("", true, 4, D3DXVECTOR3(x, wallY + 15.0f, 1.0f), Yaw(yaw))->GetCar();
        Step(30);
        // Forward is the body's -y.
        const RbVector forward = Row(car->GetRigidBody()->GetTransform(), 1) * -1.0f;
        car->GetRigidBody()->SetVelocity(RbVec(forward.x, forward.y, 0.0f) * 60.0f);
        float deepest = 0.0f, fastest = 0.0f;
        bool reachedWall = false;
        for (int step = 0; step < 240; ++step) {
            car->SetControls(1.0f, 0.0f);
            const RbVector v = car->GetRigidBody()->GetVelocity();
            if (!reachedWall) fastest = std::max(fastest, std::sqrt(RbDot(v, v)));
            Step(1);
            const RbMatrix m = car->GetRigidBody()->GetTransform();
            ASSERT_TRUE(Finite(Row(m, 3))) << degrees << " step " << step;
            const RbVector p = Row(m, 3);
            ASSERT_GT(p.y, wallY) << degrees << "deg: the centre crossed the wall at step " << step;
            for (const RbVector& c : Corners(m)) {
                deepest = std::max(deepest, wallY - c.y);
                reachedWall = reachedWall || c.y < wallY + 0.2f;
            }
            float surface = 0.0f;
            if (mesh.SurfaceHeight(p.x, p.y, surface)) {
                ASSERT_GT(p.z, surface) << degrees << " step " << step;
            }
        }
        EXPECT_TRUE(reachedWall) << degrees;
        EXPECT_GE(fastest, 59.0f) << degrees;
        // Within one step's travel: the contact that stops it is found after the step.
        EXPECT_LT(deepest, 1.0f) << degrees << "deg: a corner went that far beyond the wall";
        physics.RemoveBody(CPSmartPtr<CPPhysicData>(dynamic_cast<CPPhysicData*>(racers.back()->GetPhysicData().Get())));
        std::printf("into the wall at %.0f deg, %.1f units/s: deepest corner beyond it %.3f\n", degrees, fastest,
                    deepest);
    }
}

// Cars falling onto the landing, the ramp and the run-up at 20 to 40 units/s: never below the
// road, and back on their wheels.
TEST_F(CarRoad, HardLandingsStayAboveTheRoad) {
    const RoadMesh mesh = kxtest::MakeRampRoad(40, 20, 12, 4, 10, 150);
    UseRoad(mesh);
    struct Case {
        float y, down, forward;
    };
    const Case cases[] = {{60, 20, 10}, {70, 30, 0}, {26, 25, 5}, {8, 40, 0}, {80, 22, 25}};
    std::vector<CPCar*> cars;
    float x = 4.0f;
    for (const Case& c : cases) {
        cars.push_back(MakeRacer("", true, 4, D3DXVECTOR3(x, c.y, 6.0f), Yaw(kPi))->GetCar());
        x += 8.0f;
        cars.back()->GetRigidBody()->SetVelocity(RbVec(0.0f, c.forward, -c.down));
    }
    std::vector<float> landing(cars.size(), 0.0f);
    for (int step = 0; step < 240; ++step) {
        for (std::size_t i = 0; i < cars.size(); ++i) {
            const RbVector v = cars[i]->GetRigidBody()->GetVelocity();
            landing[i] = std::max(landing[i], -v.z);
        }
        Step(1);
        CheckAbove(mesh, cars, step);
        if (::testing::Test::HasFailure()) return;
    }
    for (std::size_t i = 0; i < cars.size(); ++i) {
        EXPECT_GE(landing[i], 20.0f) << i;
        int grounded = 0;
        for (int w = 0; w < 4; ++w) grounded += cars[i]->IsOnGround(w) ? 1 : 0;
        EXPECT_EQ(grounded, 4) << "car " << i << " back on its wheels";
    }
}

// Upside down: dropped onto its roof, or sliding on it from 20 units/s, the car comes to rest
// on the roof, no wheel finds the ground, and the car's step still runs on the resting body.
TEST_F(CarRoad, OnItsRoofItComesToRestWithEveryWheelInTheAir) {
    const D3DXQUATERNION roof(0.0f, 1.0f, 0.0f, 0.0f);
    struct Case {
        float height, speed;
    };
    float x = -40.0f;
    for (const Case c : {Case{1.5f, 0.0f}, Case{0.5f, 20.0f}}) {
        CPSmartPtr<CPPlayer> racer = MakeRacer("", true, 4, D3DXVECTOR3(x, 60.0f, c.height), roof);
        x += 20.0f;
        CPCar* car = racer->GetCar();
        car->GetRigidBody()->SetVelocity(RbVec(0.0f, -c.speed, 0.0f));
        RbVector second = RbVec(0.0f, 0.0f, 0.0f);
        for (int step = 0; step < 60 * 15; ++step) {
            Step(1);
            const RbVector p = car->GetRigidBody()->GetPosition();
            ASSERT_TRUE(Finite(p)) << c.speed << " step " << step;
            ASSERT_GT(p.z, 0.0f) << c.speed << " step " << step;
            if (step == 60 * 14) second = p;
        }
        const RbVector p = car->GetRigidBody()->GetPosition();
        EXPECT_NEAR(p.x, second.x, 0.01f) << c.speed << ": at rest for the last second";
        EXPECT_NEAR(p.y, second.y, 0.01f) << c.speed;
        EXPECT_NEAR(p.z, second.z, 0.01f) << c.speed;
        EXPECT_LT(Row(car->GetRigidBody()->GetTransform(), 2).z, -0.9f) << "still on its roof";
        EXPECT_NEAR(p.z, 0.5f, 0.1f) << c.speed;
        for (int w = 0; w < 4; ++w) {
            EXPECT_TRUE(car->IsInAir(w)) << w;
            EXPECT_FALSE(car->IsOnGround(w)) << w;
        }
        // The step runs on: a nitro use is timed by it.
        car->SetNitroMeter(50.0f);
        car->SetNitro(1.0f);
        Step(30);
        EXPECT_NEAR(car->GetNitroTimer(), 30.0f * kStep, 1e-4f) << c.speed;
        for (int w = 0; w < 4; ++w) EXPECT_TRUE(car->IsInAir(w)) << w;
        car->SetNitro(0.0f);
        if (c.speed > 0.0f)
            std::printf("on its roof from %.0f units/s: slid %.2f units (v^2 / (2 mu g) with mu 1: %.2f)\n", c.speed,
                        60.0f - p.y, c.speed * c.speed / (2.0f * 9.8f));
    }
}

// Two cars driven side by side, one steering into the other: they push, never overlap beyond
// the contact slop.
TEST_F(CarRoad, TwoCarsDrivenTogetherDoNotInterpenetrate) {
    CPCar* a = MakeRacer("", true, 4, D3DXVECTOR3(10.0f, 80.0f, 1.0f))->GetCar();
    CPCar* b = MakeRacer("", true, 4, D3DXVECTOR3(13.0f, 80.0f, 1.0f))->GetCar();
    Step(60);
    float deepest = 0.0f;
    int touching = 0;
    for (int step = 0; step < 60 * 6; ++step) {
        // a turns toward +x, its body's +x side, into b.
        a->SetControls(1.0f, step < 120 ? -0.3f : 0.0f);
        b->SetControls(1.0f, 0.0f);
        Step(1);
        const float overlap = FootprintOverlap(a->GetRigidBody()->GetTransform(), b->GetRigidBody()->GetTransform());
        deepest = std::max(deepest, overlap);
        touching += overlap > 0.0f ? 1 : 0;
        ASSERT_TRUE(Finite(a->GetRigidBody()->GetPosition()) && Finite(b->GetRigidBody()->GetPosition()));
    }
    EXPECT_GT(touching, 0) << "the cars must meet";
    EXPECT_LT(deepest, 0.1f);
    std::printf("two cars side by side: deepest overlap %.4f over %d touching steps\n", deepest, touching);
}

// A wreck is in the group that intact cars do not meet: one dropped onto an intact car falls
// through it onto the road, one sliding sideways crosses it; the intact car is never pushed.
TEST_F(CarRoad, AWreckPassesThroughAnIntactCar) {
    // The twin stands alone: the intact car must move exactly as it does.
    CPCar* intact = MakeRacer("", true, 4, D3DXVECTOR3(0.0f, 0.0f, 1.0f))->GetCar();
    CPCar* twin = MakeRacer("", true, 4, D3DXVECTOR3(0.0f, 40.0f, 1.0f))->GetCar();
    Step(120);
    auto sameAsTwin = [&](int step) {
        const RbVector now = intact->GetRigidBody()->GetPosition();
        const RbVector alone = twin->GetRigidBody()->GetPosition();
        ASSERT_NEAR(now.x, alone.x, 0.005f) << step;
        ASSERT_NEAR(now.y, alone.y - 40.0f, 0.005f) << step;
        ASSERT_NEAR(now.z, alone.z, 0.005f) << step;
    };

    CPSmartPtr<CPPlayer> droppedRacer = MakeRacer("", false, 4, D3DXVECTOR3(0.3f, 0.5f, 1.2f));
    CPCar* dropped = droppedRacer->GetCar();
    dropped->SetCrashed(true);
    for (int step = 0; step < 180; ++step) {
        Step(1);
        ASSERT_GT(dropped->GetRigidBody()->GetPosition().z, 0.0f) << step;
        sameAsTwin(step);
    }
    const RbVector p = dropped->GetRigidBody()->GetPosition();
    // On the road, inside the intact car's chassis (0.8 to 1.8 up), not on top of it; the wreck's
    // bounce on the road may leave it tilted on an edge.
    EXPECT_GT(p.z, 0.4f);
    EXPECT_LT(p.z, 1.2f) << "the wreck lies on the road inside the intact car";
    EXPECT_NEAR(p.x, 0.3f, 0.3f);
    EXPECT_NEAR(p.y, 0.5f, 0.3f);
    physics.RemoveBody(CPSmartPtr<CPPhysicData>(dynamic_cast<CPPhysicData*>(droppedRacer->GetPhysicData().Get())));

    CPCar* sliding = MakeRacer("", false, 4, D3DXVECTOR3(4.0f, 0.0f, 0.5f))->GetCar();
    sliding->SetCrashed(true);
    sliding->GetRigidBody()->SetVelocity(RbVec(-14.0f, 0.0f, 0.0f));
    float leftmost = 4.0f;
    for (int step = 0; step < 180; ++step) {
        Step(1);
        ASSERT_GT(sliding->GetRigidBody()->GetPosition().z, 0.0f) << step;
        leftmost = std::min(leftmost, sliding->GetRigidBody()->GetPosition().x);
        sameAsTwin(step);
    }
    EXPECT_LT(leftmost, -2.5f) << "the sliding wreck came out on the far side";
}

// From rest at full throttle: nothing for the shift delay, then the gears one after another
// while the speed rises.
TEST_F(CarRoad, FullThrottleFromRestRisesThroughTheGears) {
    CPCar* car = MakeRacer("", true, 4, D3DXVECTOR3(0.0f, 95.0f, 1.0f))->GetCar();
    Step(120);
    std::vector<int> gears;
    float lastSpeed = 0.0f, to20 = -1.0f;
    for (int step = 0; step < 60 * 10; ++step) {
        car->SetControls(1.0f, 0.0f);
        Step(1);
        const RbVector v = car->GetRigidBody()->GetVelocity();
        const float speed = std::sqrt(RbDot(v, v));
        if (step < 14) {
            EXPECT_EQ(car->GetGearBox()->GetEngineForce(), 0.0f) << step;
        }
        const int gear = car->GetGearBox()->GetCurrentGear();
        if (gears.empty() || gears.back() != gear) gears.push_back(gear);
        if (to20 < 0.0f && speed >= 20.0f) to20 = static_cast<float>(step + 1) * kStep;
        if (step % 60 == 59 && step > 60 && to20 < 0.0f) {
            EXPECT_GT(speed, lastSpeed) << "second " << (step + 1) / 60;
            lastSpeed = speed;
        }
        if (car->GetRigidBody()->GetPosition().y < -90.0f) break;
    }
    ASSERT_GE(gears.size(), 3u);
    for (std::size_t i = 0; i < gears.size(); ++i) EXPECT_EQ(gears[i], static_cast<int>(i)) << "gears in order";
    std::printf("full throttle from rest: gears reached %d, 20 units/s after %.3f s (simulated)\n", gears.back(), to20);
}

} // namespace
