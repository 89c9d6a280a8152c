// The computer drivers on the ring: the flavour by place against the player, the plain and
// the careful steering, backing out, the knocked-out and locked racer, the slots, and a lap.

#include <gtest/gtest.h>

#include <cstdio>

#include "RingFixture.h"
#include "support/FreshStore.h"
#include "support/RaceCarDescription.h"

namespace {

using namespace kxring;

struct Drivers : RingWorld {
    Drivers() { level.playerStartLine = Piece(2); }

    // A racer object without a car on the piece's centre (plus an offset): the driver's inputs
    // land in its fields.
    CPSmartPtr<CPPlayer> Bare(int piece, const D3DXVECTOR3& offset = D3DXVECTOR3(0, 0, 0)) {
        CPSmartPtr<CPPlayer> racer(new CPPlayer);
        racer->SetPosition(Piece(piece)->centre + offset);
        racer->throttle = 0.123f;
        racer->steering = 0.456f;
        return racer;
    }
    // The flat direction from the piece's centre to its previous piece's, turned by the angle.
    D3DXVECTOR3 Heading(int piece, float turn = 0.0f) const {
        D3DXVECTOR3 d = Piece(piece)->previous->centre - Piece(piece)->centre;
        d.z = 0.0f;
        D3DXVec3Normalize(&d, &d);
        const float c = std::cos(turn), s = std::sin(turn);
        return D3DXVECTOR3(c * d.x - s * d.y, s * d.x + c * d.y, 0.0f);
    }
    // The cars land on their wheels and the terrain queries find the road under them.
    void Settle() {
        Step(30);
        physics.SyncObjects();
    }
    AI_Vehicle& Driver(int slot = 0) { return *task->GetVehicle(slot); }
    void Give(const CPSmartPtr<CPPlayer>& racer, const D3DXVECTOR3& heading, float speed, int slot = 0) {
        task->DriveVehicle(slot, CPSmartPtr<CPGameObject>(racer.Get()), heading, speed, racer, 0, 0);
    }
};

TEST_F(Drivers, TheRingHasFortyPieces) { EXPECT_EQ(ring->GetLineCount(), kPieces); }

TEST_F(Drivers, TheFlavourFollowsThePlaceAgainstThePlayer) {
    struct Case {
        int piece;
        const char* flavour;
    };
    // The player's piece is 2. Off the line by a fifth of a radian: the plain flavour steers
    // a full 0.6, the careful one |c| c / 0.6.
    const Case cases[] = {{38, "careful"}, {1, "careful"}, {3, "plain"}, {6, "plain"}, {2, "none"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.piece);
        CPSmartPtr<CPPlayer> racer = Bare(c.piece);
        Give(racer, Heading(c.piece, 0.2f), 3.0f);
        Driver().Update(kxcar::kStep);
        const std::string flavour = c.flavour;
        if (flavour == "none") {
            EXPECT_FLOAT_EQ(racer->throttle, 0.123f);
            EXPECT_FLOAT_EQ(racer->steering, 0.456f);
        } else if (flavour == "plain") {
            EXPECT_FLOAT_EQ(std::fabs(racer->steering), 0.6f);
            EXPECT_FLOAT_EQ(racer->throttle, 1.0f);
            EXPECT_TRUE(racer->nitroOn);
        } else {
            EXPECT_LT(std::fabs(racer->steering), 0.2f);
            EXPECT_GT(std::fabs(racer->steering), 0.0f);
            EXPECT_LT(racer->throttle, 1.0f);
        }
    }
}

TEST_F(Drivers, PlainDriverFarFromItsPieceAimsBackAtIt) {
    // Eleven units outside the ring: the angle back to the piece's centre is added.
    CPLine* piece = Piece(10);
    D3DXVECTOR3 out = piece->centre;
    out.z = 0.0f;
    D3DXVec3Normalize(&out, &out);
    CPSmartPtr<CPPlayer> racer = Bare(10, out * 4.0f);
    Give(racer, Heading(10), 3.0f);
    Driver().Update(kxcar::kStep);
    const float nearSteer = racer->steering;
    racer = Bare(10, out * 11.0f);
    Give(racer, Heading(10), 3.0f);
    Driver().Update(kxcar::kStep);
    // Within 8 units only the route's turn counts (under 0.1 rad here: no steering); beyond it
    // the way back to the centre turns the car inward.
    EXPECT_FLOAT_EQ(nearSteer, 0.0f);
    EXPECT_FLOAT_EQ(std::fabs(racer->steering), 0.6f);
}

TEST_F(Drivers, LookAheadOnlyAboveTenSeesTheRingsBend) {
    // On this ring the 10th piece ahead lies over 0.7 rad off the next one: no straight, no
    // nitro; at 10 or below nothing is looked at.
    struct Case {
        float speed;
        bool nitro;
    };
    for (const Case& c : {Case{9.0f, true}, Case{10.5f, false}}) {
        SCOPED_TRACE(c.speed);
        CPSmartPtr<CPPlayer> racer = Bare(30);
        Driver().nitroRequest = false;
        Give(racer, Heading(30), c.speed);
        Driver().Update(kxcar::kStep);
        EXPECT_EQ(racer->nitroOn, c.nitro);
    }
}

TEST_F(Drivers, ThrottleCutAndSteeringCap) {
    struct Case {
        float turn;
        float speed;
        float throttle;
        float steering;
    };
    // The turn is against the way to the next piece's centre (a few degrees off the heading).
    const Case cases[] = {
        {0.9f, 8.0f, 0.0f, 0.6f},
        {0.6f, 4.0f, -1.0f, -1.0f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.turn);
        CPSmartPtr<CPPlayer> racer = Bare(30);
        Give(racer, Heading(30, c.turn), c.speed);
        Driver().Update(kxcar::kStep);
        const float a = Driver().headingError;
        if (c.throttle >= 0.0f)
            EXPECT_FLOAT_EQ(racer->throttle, c.throttle);
        else
            EXPECT_NEAR(racer->throttle, 1.0f / (1.0f + 2.5f * a), 1e-5f);
        if (c.steering >= 0.0f) {
            EXPECT_FLOAT_EQ(std::fabs(racer->steering), c.steering);
        } else {
            EXPECT_NEAR(std::fabs(racer->steering), a * a / 0.6f, 1e-4f);
        }
    }
}

TEST_F(Drivers, ARacerAheadIsAvoided) {
    CPSmartPtr<CPPlayer> racer = Bare(30);
    CPSmartPtr<CPPlayer> other = Bare(29);
    other->PartBoxes().push_back(CPOrientedBox(D3DXVECTOR3(0, 0, 0), D3DXVECTOR3(2, 2, 2)));
    other->SetCollision(true);
    other->UpdateTransform();
    Give(racer, Heading(30), 6.0f, 0);
    Give(other, Heading(29), 0.0f, 1);
    // The player behind: the driver takes the careful flavour.
    level.playerStartLine = Piece(31);
    Driver(0).Update(kxcar::kStep);
    const float withOther = Driver(0).steering;
    task->DriveVehicle(1, CPSmartPtr<CPGameObject>(), Heading(29), 0.0f, CPSmartPtr<CPPlayer>(), 0, 0);
    racer = Bare(30);
    Give(racer, Heading(30), 6.0f, 0);
    Driver(0).Update(kxcar::kStep);
    const float without = Driver(0).steering;
    // speed x dt x 1.05 added to the angle before the square law.
    const float before = std::sqrt(std::fabs(without) * 0.6f) * (without < 0 ? -1.0f : 1.0f);
    const float after = before + 6.0f * kxcar::kStep * 1.05f;
    EXPECT_NEAR(withOther, std::fabs(after) * after / 0.6f, 1e-4f);
}

TEST_F(Drivers, AStuckDriverBacksOutUntilARespawn) {
    CPSmartPtr<CPPlayer> racer = Bare(10);
    bool reversed = false;
    int frames = 0;
    for (; frames < 200 && !reversed; ++frames) {
        Give(racer, Heading(10, 0.3f), 0.0f);
        Driver().Update(kxcar::kStep);
        reversed = racer->throttle < 0.0f;
    }
    ASSERT_TRUE(reversed);
    // First test after 1.5 s; the first position was where it started.
    EXPECT_GE(frames, 90);
    EXPECT_LE(frames, 92);
    EXPECT_FLOAT_EQ(racer->throttle, -1.0f);
    EXPECT_LT(racer->steering, 0.0f);
    // Backing out lasts a little over 2 s; standing still, the next test backs it out again.
    int back = 0;
    while (Driver().reversing && back < 300) {
        Give(racer, Heading(10, 0.3f), 0.0f);
        Driver().Update(kxcar::kStep);
        ++back;
    }
    EXPECT_GE(back, 120);
    EXPECT_LE(back, 123);
    // A respawn's cooldown ends it at once.
    for (int i = 0; i < 200 && racer->throttle > 0.0f; ++i) {
        Give(racer, Heading(10, 0.3f), 0.0f);
        Driver().Update(kxcar::kStep);
    }
    ASSERT_LT(racer->throttle, 0.0f);
    racer->respawnCooldown = 1.0f;
    Give(racer, Heading(10, 0.3f), 0.0f);
    Driver().Update(kxcar::kStep);
    EXPECT_FALSE(Driver().reversing);
    Driver().Update(kxcar::kStep);
    EXPECT_GT(racer->throttle, 0.0f);
}

TEST_F(Drivers, KnockedOutLockedAndThePlayer) {
    CPSmartPtr<CPPlayer> racer = Bare(10);
    racer->knockedOut = true;
    racer->nitroOn = true;
    Give(racer, Heading(10, 0.3f), 3.0f);
    Driver().Update(kxcar::kStep);
    EXPECT_FLOAT_EQ(racer->throttle, 0.0f);
    EXPECT_FLOAT_EQ(racer->steering, 0.0f);
    EXPECT_FALSE(racer->nitroOn);

    CPSmartPtr<CPPlayer> locked = Bare(10);
    locked->locked = true;
    Give(locked, Heading(10, 0.3f), 3.0f);
    Driver().Update(kxcar::kStep);
    EXPECT_FLOAT_EQ(locked->throttle, 0.123f);
    EXPECT_FLOAT_EQ(locked->steering, 0.456f);

    // The player's driver drives carefully wherever it is, never with nitro.
    CPSmartPtr<CPPlayer> player = Bare(5);
    level.player = player.Get();
    for (int i = 0; i < 120; ++i) {
        Give(player, Heading(5), 3.0f, 11);
        Driver(11).Update(kxcar::kStep);
        EXPECT_FALSE(player->nitroOn);
    }
    EXPECT_LT(std::fabs(player->steering), 0.6f);
}

TEST_F(Drivers, SlotTwelveAndBeyondNameNoDriver) {
    CPSmartPtr<CPPlayer> racer = Bare(10);
    EXPECT_EQ(task->GetVehicle(12), nullptr);
    EXPECT_EQ(task->GetVehicle(13), nullptr);
    for (int slot : {12, 13, 40, -1})
        task->DriveVehicle(slot, CPSmartPtr<CPGameObject>(racer.Get()), Heading(10), 1.0f, racer, 0, 0);
    for (const auto& driver : task->racerDrivers) EXPECT_FALSE(driver->racer);
    task->AddTrafficDrivers(1);
    task->DriveVehicle(13, CPSmartPtr<CPGameObject>(racer.Get()), Heading(10), 1.0f, racer, 0, 0);
    EXPECT_EQ(task->GetVehicle(13)->racer, racer);
}

TEST_F(Drivers, TheTaskStepsElevenDriversTwelveAfterTheRace) {
    std::vector<CPSmartPtr<CPPlayer>> racers;
    for (int slot = 0; slot < 12; ++slot) {
        racers.push_back(Bare(10 + slot));
        Give(racers.back(), Heading(10 + slot), 3.0f, slot);
    }
    task->Update();
    EXPECT_FLOAT_EQ(racers[10]->throttle, 1.0f);
    EXPECT_FLOAT_EQ(racers[11]->throttle, 0.123f);
    level.raceOver = true;
    task->Update();
    EXPECT_NE(racers[11]->throttle, 0.123f);
}

// The angle a car went round the ring (clockwise positive) since the previous angle about the
// centre, which becomes the car's angle now; a step across the seam at half a turn is unwrapped.
float TurnedOn(float& previous, const D3DXVECTOR3& p) {
    const float angle = std::atan2(p.y, p.x);
    float delta = previous - angle;
    if (delta > kTau / 2) delta -= kTau;
    if (delta < -kTau / 2) delta += kTau;
    previous = angle;
    return delta;
}

// A computer car follows the ring, ahead of the player all the way (careful flavour), for a
// quarter of a lap without a respawn and on the road; the time is printed.
TEST_F(Drivers, AComputerCarFollowsTheRing) {
    // At this difficulty the test car's default description keeps to the road through the bend.
    kxtest::CamSpeed difficulty(3);
    gameData->levelSettings.setting9 = 1.0f;
    CPSmartPtr<CPPlayer> racer = RacerOn(38);
    Settle();
    const std::vector<CPSmartPtr<CPPlayer>> driven = {racer};
    const float goal = kTau / 4.0f;
    float travelled = 0.0f;
    float previous = std::atan2(racer->GetPosition().y, racer->GetPosition().x);
    int frames = 0;
    for (; frames < 60 * 60 && travelled < goal; ++frames) {
        // The player follows ten pieces behind.
        const int here = ring->FindNearbyLine(racer->GetPosition())->index;
        level.playerStartLine = Piece((here + 10) % kPieces);
        Frame(driven);
        ASSERT_FALSE(racer->respawnCooldown > 0.0f) << "frame " << frames;
        const D3DXVECTOR3 p = racer->GetPosition();
        travelled += TurnedOn(previous, p);
        // The road ends at +-100.
        ASSERT_LT(std::max(std::fabs(p.x), std::fabs(p.y)), 97.0f) << "frame " << frames;
    }
    ASSERT_GE(travelled, goal) << "after " << frames << " frames";
    std::printf("[ quarter lap ] a computer car covers a quarter of the %d-piece ring in %.2f s\n", kPieces,
                static_cast<double>(frames) * static_cast<double>(kxcar::kStep));
}

// The race car on the demo's settings ("cam_speed" 10, level setting 9 at 1) drives two full
// rounds of the ring ahead of the player, careful all the way, without a respawn, on its wheels
// and on the road; the lap times are printed.
TEST_F(Drivers, AComputerRaceCarLapsTheRingWithoutARespawn) {
    kxtest::CamSpeed difficulty(10);
    gameData->levelSettings.setting9 = 1.0f;
    CPSmartPtr<CPPlayer> racer = RacerOn(38, kxtest::RaceCarDescription());
    Settle();
    const std::vector<CPSmartPtr<CPPlayer>> driven = {racer};
    float travelled = 0.0f;
    float previous = std::atan2(racer->GetPosition().y, racer->GetPosition().x);
    std::vector<int> lapFrames;
    int frames = 0;
    for (; frames < 60 * 120 && lapFrames.size() < 2; ++frames) {
        const int here = ring->FindNearbyLine(racer->GetPosition())->index;
        level.playerStartLine = Piece((here + 10) % kPieces);
        Frame(driven);
        ASSERT_FALSE(racer->respawnCooldown > 0.0f) << "frame " << frames;
        const D3DXVECTOR3 p = racer->GetPosition();
        travelled += TurnedOn(previous, p);
        if (travelled >= kTau * static_cast<float>(lapFrames.size() + 1)) lapFrames.push_back(frames + 1);
        // Within the road's +-100, and never tipped past a quarter turn.
        ASSERT_LT(std::max(std::fabs(p.x), std::fabs(p.y)), 97.0f) << "frame " << frames;
        D3DXMATRIX m;
        D3DXMatrixRotationQuaternion(&m, &racer->GetRotationQuaternion());
        ASSERT_GT(m._33, 0.7f) << "frame " << frames;
    }
    ASSERT_EQ(lapFrames.size(), 2u) << "after " << frames << " frames, " << travelled / kTau << " rounds";
    const double step = static_cast<double>(kxcar::kStep);
    std::printf("[ ring laps ] a computer race car laps the %d-piece ring in %.2f s, then %.2f s\n", kPieces,
                lapFrames[0] * step, (lapFrames[1] - lapFrames[0]) * step);
}

// Why the race car keeps its wheels down: for four seconds of full drive from a standstill on
// the flat its nose lifts by under three hundredths of a radian, the driving torque unloads
// but does not lift the front wheels through the first gears, the back ones carry it throughout,
// and its centre of mass stays within a tenth of a unit of where it settled.
TEST_F(Drivers, UnderFullDriveTheRaceCarKeepsItsWheelsOnTheRoad) {
    kxtest::CamSpeed difficulty(10);
    gameData->levelSettings.setting9 = 1.0f;
    CPSmartPtr<CPPlayer> racer = RacerOn(38, kxtest::RaceCarDescription());
    Settle();
    const float settled = racer->GetPosition().z;
    float pitch = 0.0f;
    float rise = 0.0f;
    for (int frame = 0; frame < 240; ++frame) {
        racer->SetCarParams(1.0f, 0.0f);
        racer->Update(kxcar::kStep);
        Step(1);
        physics.SyncObjects();
        D3DXMATRIX m;
        D3DXMatrixRotationQuaternion(&m, &racer->GetRotationQuaternion());
        pitch = std::max(pitch, std::fabs(m._23));
        rise = std::max(rise, std::fabs(racer->GetPosition().z - settled));
        for (int i = 2; i < 4; ++i)
            ASSERT_GT(racer->GetCar()->GetWheelDepth(i), 0.0f) << "wheel " << i << ", frame " << frame;
        if (frame == 150) {
            for (int i = 0; i < 2; ++i) EXPECT_GT(racer->GetCar()->GetWheelDepth(i), 0.0f) << "wheel " << i;
        }
    }
    EXPECT_GT(racer->GetCar()->GetSpeed(), 10.0f);
    EXPECT_LT(pitch, 0.03f);
    EXPECT_LT(rise, 0.1f);
}

// Without difficulty the gear box gives a computer car no forward drive: under full throttle it
// stands where it settled. Reverse is never scaled, so once the stuck test backs it out it rolls
// back along its own length.
TEST_F(Drivers, WithoutDifficultyAComputerCarStandsStillUntilItBacksOut) {
    kxtest::CamSpeed difficulty(0);
    gameData->levelSettings.setting9 = 1.0f;
    level.playerStartLine = Piece(20);
    CPSmartPtr<CPPlayer> racer = RacerOn(38);
    Settle();
    const std::vector<CPSmartPtr<CPPlayer>> driven = {racer};
    const D3DXVECTOR3 start = racer->GetPosition();
    const D3DXVECTOR3 forward = Forward(*racer);
    int frames = 0;
    for (; frames < 60 && !Driver().reversing; ++frames) {
        Frame(driven);
        ASSERT_GT(racer->throttle, 0.0f) << "frame " << frames;
        EXPECT_FLOAT_EQ(racer->GetCar()->GetGearBox()->GetEngineForce(), 0.0f) << "frame " << frames;
        const D3DXVECTOR3 moved = racer->GetPosition() - start;
        ASSERT_LT(std::fabs(D3DXVec3Dot(&moved, &forward)), 0.05f) << "frame " << frames;
        ASSERT_LT(std::hypot(moved.x, moved.y), 0.05f) << "frame " << frames;
    }
    // The first stuck test comes 1.5 s after the first hand-over and finds it where it stood.
    for (; frames < 120 && !Driver().reversing; ++frames) Frame(driven);
    ASSERT_TRUE(Driver().reversing) << "after " << frames << " frames";
    EXPECT_GE(frames, 88);
    EXPECT_LE(frames, 92);
    for (int i = 0; i < 120 && Driver().reversing; ++i) Frame(driven);
    const D3DXVECTOR3 moved = racer->GetPosition() - start;
    EXPECT_LT(D3DXVec3Dot(&moved, &forward), -0.5f);
    EXPECT_FALSE(racer->respawnCooldown > 0.0f);
}

} // namespace
