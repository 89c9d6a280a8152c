#include "CarWorldFixture.h"

namespace {

using namespace kxcar;

TEST_F(CarWorld, SensorOriginsRestPositionsAndLifts) {
    kxtest::CarDescriptionWriter w;
    w.Set("physics/geometry/wheels", "x", "0.1")
        .Set("physics/geometry/wheels", "y", "0.2")
        .Set("physics/geometry/wheels", "length", "1.2")
        .Set("physics/geometry/wheels", "radius", "0.4");
    CPCar* car = MakeRacer(w.Text(), true)->GetCar();
    ASSERT_EQ(car->GetWheelCount(), 4);
    for (int i = 0; i < 4; ++i) {
        const float s = (i % 2 == 0) ? 1.0f : -1.0f;
        const float nodeX = (i % 2 == 0) ? -0.9f : 0.9f;
        const float nodeY = (i < 2) ? -1.4f : 1.4f;
        RbSensor* sensor = car->GetWheelSensor(i);
        ASSERT_NE(sensor, nullptr);
        EXPECT_FLOAT_EQ(sensor->GetOrigin().x, nodeX - s * 0.1f) << i;
        EXPECT_FLOAT_EQ(sensor->GetOrigin().y, nodeY) << i;
        EXPECT_FLOAT_EQ(sensor->GetOrigin().z, 0.2f) << i;
        EXPECT_FLOAT_EQ(sensor->GetSegment().z, -1.2f) << i;
        EXPECT_EQ(car->GetRestPosition(i), D3DXVECTOR3(nodeX, nodeY, 0.2f));
        EXPECT_EQ(car->GetRayPoint(i), D3DXVECTOR3(nodeX - s * 0.1f, nodeY, 0.0f));
        EXPECT_FLOAT_EQ(car->GetWheelLift(i), 0.4f - 1.2f);
        EXPECT_TRUE(car->IsInAir(i));
    }
}

TEST_F(CarWorld, WheelCountStopsAtTheArraysAndAtTheFirstMissingChild) {
    const std::string ten = kxtest::CarDescriptionWriter().Set("physics/geometry/wheels", "count", "10").Text();
    EXPECT_EQ(MakeRacer(ten, false, 10)->GetCar()->GetWheelCount(), 8);
    EXPECT_EQ(MakeRacer(ten, false, 2)->GetCar()->GetWheelCount(), 2);
    EXPECT_EQ(MakeRacer("", false, 4)->GetCar()->GetWheelCount(), 4);
}

TEST_F(CarWorld, LightsStartAsTheDrivingSetAndFollowTheBrake) {
    CPSmartPtr<CPPlayer> racer = MakeRacer("", true);
    CPCar* car = racer->GetCar();
    EXPECT_TRUE(racer->GetChild("stoplights")->IsVisible());
    EXPECT_FALSE(racer->GetChild("stoplights2")->IsVisible());
    EXPECT_TRUE(racer->GetChild("backlights")->IsVisible());
    EXPECT_FALSE(racer->GetChild("backlights2")->IsVisible());
    car->SetBrake(true);
    EXPECT_TRUE(car->IsBraking());
    EXPECT_FALSE(racer->GetChild("stoplights")->IsVisible());
    EXPECT_TRUE(racer->GetChild("stoplights2")->IsVisible());
    car->SetBrake(false);
    EXPECT_FALSE(car->IsBraking());
    EXPECT_TRUE(racer->GetChild("stoplights")->IsVisible());
    // A locked racer ignores brake requests.
    racer->SetLocked(true);
    racer->SetBrake(true);
    EXPECT_FALSE(car->IsBraking());
}

TEST_F(CarWorld, ControlsWhileCrashedClearTheDriveAndKeepTheSteer) {
    CPCar* car = MakeRacer("", true)->GetCar();
    car->SetControls(1.0f, 1.0f);
    EXPECT_EQ(car->GetDriveInput(), 100.0f);
    EXPECT_EQ(car->GetSteer(), 0.5f);
    car->SetCrashed(true);
    EXPECT_TRUE(car->IsCrashed());
    EXPECT_EQ(car->GetRigidBody()->GetCollisionGroup(), 1);
    car->SetControls(1.0f, -1.0f);
    EXPECT_EQ(car->GetDriveInput(), 0.0f);
    EXPECT_EQ(car->GetSteer(), 0.5f);
    car->SetCrashed(false);
    EXPECT_EQ(car->GetRigidBody()->GetCollisionGroup(), 0);
}

TEST_F(CarWorld, NitroOnAnEmptyMeterAndTwice) {
    CPCar* car = MakeRacer("", true)->GetCar();
    car->SetNitro(1.0f);
    EXPECT_EQ(car->GetNitroReserve(), 0.0f);
    EXPECT_EQ(car->GetNitroTimer(), -1.0f);
    EXPECT_TRUE(router.sent.empty());

    car->SetNitroMeter(50.0f);
    car->SetNitro(1.0f);
    EXPECT_EQ(car->GetNitroReserve(), 1.0f);
    EXPECT_EQ(car->GetNitroTimer(), 0.0f);
    EXPECT_TRUE(car->IsBoostEngaged());
    Step(30);
    const float timed = car->GetNitroTimer();
    EXPECT_GT(timed, 0.4f);
    car->SetNitro(1.0f);
    EXPECT_EQ(car->GetNitroTimer(), timed);
    car->SetNitro(0.0f);
    ASSERT_EQ(router.sent.size(), 1u);
    EXPECT_EQ(router.sent[0].target, "main");
    EXPECT_EQ(router.sent[0].command, "achievement_status");
    char expected[64];
    std::snprintf(expected, sizeof expected, "nitro,0,%.1f,0,0,0", static_cast<double>(timed));
    EXPECT_EQ(router.sent[0].params, expected);
    EXPECT_EQ(car->GetNitroTimer(), -1.0f);
}

TEST_F(CarWorld, AnOpponentsNitroReportDoesNothing) {
    CPCar* car = MakeRacer("", false)->GetCar();
    car->SetNitroMeter(50.0f);
    car->SetNitro(1.0f);
    car->ReportNitro();
    EXPECT_TRUE(router.sent.empty());
    EXPECT_EQ(car->GetNitroTimer(), 0.0f);
}

TEST_F(CarWorld, TheBurnThatEmptiesTheMeterClearsItsOwnRacersNitroFlag) {
    CPLevel level;
    CPSmartPtr<CPPlayer> human = MakeRacer("", true);
    CPSmartPtr<CPPlayer> opponent = MakeRacer("", false, 4, D3DXVECTOR3(10.0f, 0.0f, 1.0f));
    level.player = human.Get();
    // Flames make the burn's switch-off run.
    for (const char* name : {"fire_a", "fire_b"}) opponent->AddChild(CPSmartPtr<CPGameObject>(new CPGameObject(name)));
    opponent->GetCar()->Init(physics.GetSimulator(), false);
    gameData->levelStarted = true;
    const int weather = g_weather;
    g_weather = 0;
    human->nitroOn = true;
    opponent->GetCar()->SetNitroMeter(10.0f);
    opponent->SetNitro(1.0f);
    ASSERT_TRUE(opponent->nitroOn);
    for (int i = 0; i < 60; ++i) opponent->GetCar()->FrameUpdate(kStep);
    g_weather = weather;
    EXPECT_EQ(opponent->GetCar()->GetNitroMeter(), 0.0f);
    EXPECT_EQ(opponent->GetCar()->GetNitroReserve(), 0.0f);
    EXPECT_FALSE(opponent->nitroOn);
    EXPECT_TRUE(human->nitroOn);
}

TEST_F(CarWorld, NoFireObjectOutlivesItsRacer) {
    {
        CPSmartPtr<CPGameObject> fire(new CountedObject("fire_a"));
        CPSmartPtr<CPRenderObject> mesh(new CPRenderObject(fire.Get()));
        mesh->AddVertexEffect(new TestEmitter);
        fire->SetAttachment(CPSmartPtr<IPMMObject>(mesh.Get()), IPSceneObject::KindMesh);
        CPSmartPtr<CPPlayer> racer(new CPPlayer);
        racer->AddChild(fire);
        CPSmartPtr<CPCar> car(new CPCar(racer.Get()));
        racer->SetCar(CPSmartPtr<IPMMObject>(car.Get()));
        car->Init(nullptr, false);
        ASSERT_NE(car->GetFlameEmitter(0), nullptr);
        EXPECT_EQ(car->GetFlameEmitter(0)->GetHeld().Get(), fire.Get());
        ASSERT_EQ(CountedObject::alive, 1);
        racer->SetCar(nullptr);
    }
    // Each collection frees what the previous one's destructors let go.
    for (int i = 0; i < 8 && CountedObject::alive > 0; ++i) IPMMObject::CollectGarbage();
    EXPECT_EQ(CountedObject::alive, 0);
}

TEST_F(CarWorld, AtRestOnTheFlatTheWheelsCarryTheWeight) {
    CPSmartPtr<CPPlayer> racer = MakeRacer("", true);
    CPCar* car = racer->GetCar();
    // Nothing but the body's own damping along its length stops the roll the drop started
    // (about 8 s for a tenfold slow-down at this mass): let it settle first.
    Step(60 * 40);
    const RbVector settled = car->GetRigidBody()->GetPosition();
    Step(300);
    const RbVector p = car->GetRigidBody()->GetPosition();
    ASSERT_TRUE(std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z));
    int grounded = 0;
    for (int i = 0; i < 4; ++i) grounded += car->IsOnGround(i) ? 1 : 0;
    EXPECT_EQ(grounded, 4);
    // No drift once settled, never below the road.
    EXPECT_NEAR(p.x, settled.x, 0.02f);
    EXPECT_NEAR(p.y, settled.y, 0.02f);
    EXPECT_GT(p.z, 0.0f);
    // The springs together carry m g: k d summed over the wheels.
    float carried = 0.0f;
    for (int i = 0; i < 4; ++i) carried += car->GetWheelDepth(i) * (i < 2 ? 140.0f : 150.0f);
    EXPECT_NEAR(carried, 10.0f * 9.8f, 0.02f * 10.0f * 9.8f);
    std::printf("wheel depths at rest: %.4f %.4f %.4f %.4f (m g / 4 k: front %.4f, rear %.4f)\n", car->GetWheelDepth(0),
                car->GetWheelDepth(1), car->GetWheelDepth(2), car->GetWheelDepth(3), 10.0f * 9.8f / (4.0f * 140.0f),
                10.0f * 9.8f / (4.0f * 150.0f));
}

TEST_F(CarWorld, FullThrottleFromRestDrivesForwardAfterTheShiftDelay) {
    CPSmartPtr<CPPlayer> racer = MakeRacer("", true);
    CPCar* car = racer->GetCar();
    Step(120);
    const RbVector start = car->GetRigidBody()->GetPosition();
    car->SetControls(1.0f, 0.0f);
    Step(14);
    EXPECT_EQ(car->GetGearBox()->GetEngineForce(), 0.0f);
    Step(300);
    const RbVector end = car->GetRigidBody()->GetPosition();
    // The car drives toward its body's -y.
    EXPECT_LT(end.y, start.y - 1.0f);
    EXPECT_GT(car->GetGearBox()->GetCurrentGear(), 1);
    EXPECT_GT(end.z, 0.0f);
}

// The collector frees the racer a pass before its car and physics data: the steps in between
// must not reach the dead racer or its wheels.
TEST_F(CarWorld, StepsBetweenTheRacersDeathAndItsCarsDoNotReachTheRacer) {
    // Held past the racer, as a script's reference would hold it.
    CPSmartPtr<CPCar> car(MakeRacer("", true)->GetCar());
    racers.clear();
    IPMMObject::CollectGarbage();
    Step(5);
    car = nullptr;
}

} // namespace
