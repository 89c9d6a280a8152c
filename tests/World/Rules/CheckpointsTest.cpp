// Checkpoints, laps and places: passing checkpoints and what the scripts hear of it, the
// opponents' checkpoints, the gate, the marker that runs to the next checkpoint, the pieces and
// rounds of every racer, and the human's place in the standings.

#include <gtest/gtest.h>

#include <array>
#include <memory>
#include <string>
#include <vector>

#include "GameData/PGameData.h"
#include "Platform/Audio/NullAudio.h"
#include "Platform/Audio/WaveFixture.h"
#include "Platform/Math/D3DXMath.h"
#include "Scene/PGameObject.h"
#include "Sound/NAudio.h"
#include "Sound/NSound.h"
#include "World/PCar.h"
#include "World/PLevel.h"
#include "World/PPlayer.h"
#include "World/PSpline.h"
#include "World/Rules/RulesFixture.h"

namespace {

using kxrules::OnRing;
using kxrules::RulesRace;
using Lines = std::vector<std::string>;

// A checkpoint object of a 4 x 4 x 2 box about the point, with two flags that have "flag_b" children.
SPCheckpoint MakeCheckpoint(const D3DXVECTOR3& at, float bonus) {
    SPCheckpoint c;
    c.object = CPSmartPtr<CPGameObject>(new CPGameObject("checkpoint"));
    c.object->SetBounds(CPOrientedBox(D3DXVECTOR3(0.0f, 0.0f, 0.0f), D3DXVECTOR3(2.0f, 2.0f, 1.0f)));
    c.object->SetPosition(at);
    c.object->UpdateTransform();
    c.timeBonus = bonus;
    for (CPSmartPtr<CPGameObject>* flag : {&c.flag1, &c.flag2}) {
        *flag = CPSmartPtr<CPGameObject>(new CPGameObject("cflag"));
        (*flag)->AddChild(CPSmartPtr<CPGameObject>(new CPGameObject("flag_b")));
    }
    return c;
}

// A ring race with checkpoints at the given ring angles, the first visible; the marker model
// with its three children, and the finish.
struct CheckpointRace : RulesRace {
    explicit CheckpointRace(std::vector<float> angles = {0.0f, 120.0f, 240.0f}) {
        if (!loaded) return;
        level->checkpoints.clear();
        for (float a : angles) level->checkpoints.push_back(MakeCheckpoint(OnRing(a), 20.0f + a / 10.0f));
        for (SPCheckpoint& c : level->checkpoints) c.object->SetVisible(false);
        level->RevealFirstCheckpoint();
        marker = CPSmartPtr<CPGameObject>(new CPGameObject("marker"));
        for (const char* child : {"checkered_a", "glarefront", "checkered"})
            marker->AddChild(CPSmartPtr<CPGameObject>(new CPGameObject(child)));
        level->checkpointAndFireModel = marker;
        store->textTable["bonus_time"] = "Bonus";
        store->levelStarted = true;
        // The missed-checkpoint hint stays quiet.
        store->helperFlags[5] = true;
    }
    bool Visible(int i) const { return level->checkpoints[static_cast<std::size_t>(i)].object->IsVisible(); }
    bool FlagB(int i) const {
        return level->checkpoints[static_cast<std::size_t>(i)].flag1->FindObject("flag_b")->IsVisible();
    }
    // Puts the human on checkpoint i, shows it and runs a frame.
    void Pass(int i) {
        SPCheckpoint& c = level->checkpoints[static_cast<std::size_t>(i)];
        c.object->SetVisible(true);
        level->humanRacer->SetPosition(c.object->GetPosition());
        Frame(0.02f);
    }
    CPSmartPtr<CPGameObject> marker;
};

TEST(Checkpoints, TheStartMomentRevealsTheFirstWithItsFlags) {
    CheckpointRace race;
    ASSERT_TRUE(race.loaded);
    EXPECT_TRUE(race.Visible(0));
    EXPECT_TRUE(race.FlagB(0));
    EXPECT_FALSE(race.Visible(1));

    RulesRace none;
    ASSERT_TRUE(none.loaded);
    none.level->checkpoints.clear();
    none.level->RevealFirstCheckpoint();
    // A checkpoint without an object: nothing to show, nothing breaks.
    none.level->checkpoints.push_back(SPCheckpoint{});
    none.level->RevealFirstCheckpoint();
    EXPECT_FALSE(none.level->checkpoints[0].object);
}

TEST(Checkpoints, FirstSendsNoBonusAndZeroLaterOnesOne) {
    CheckpointRace race;
    ASSERT_TRUE(race.loaded);
    race.level->humanRacer->SetPosition(race.level->checkpoints[0].object->GetPosition());
    race.Frame(0.02f);
    EXPECT_EQ(race.Sent({"bonus_points", "checkpoint", "helper_in"}),
              (Lines{"game_interface checkpoint checkpoint!,0", "helper helper_in 4"}));
    EXPECT_FALSE(race.Visible(0));
    EXPECT_FALSE(race.FlagB(0));
    EXPECT_EQ(race.level->announcedCheckpoint, 0);
    EXPECT_EQ(race.level->nextCheckpoint, 1);
    EXPECT_FLOAT_EQ(race.level->checkpointTimer, 20.0f);

    race.router.sent.clear();
    race.level->checkpointTimer = 12.34f;
    race.Pass(1);
    EXPECT_EQ(race.Sent({"bonus_points", "checkpoint"}),
              (Lines{"game_interface bonus_points time,Bonus,12.300000", "game_interface checkpoint checkpoint!,1"}));
    EXPECT_FLOAT_EQ(race.level->checkpointTimer, 32.0f);
    EXPECT_EQ(race.level->announcedCheckpoint, 1);
}

TEST(Checkpoints, SingleModeAndHintFlagAndTheThirdRoundsLast) {
    {
        CheckpointRace race;
        ASSERT_TRUE(race.loaded);
        race.level->singleMode = true;
        race.Pass(0);
        EXPECT_EQ(race.Sent({"bonus_points", "checkpoint", "helper_in"}), Lines{});
        EXPECT_EQ(race.level->announcedCheckpoint, 0);
    }
    {
        CheckpointRace race;
        ASSERT_TRUE(race.loaded);
        race.store->helperFlags[3] = true;
        race.store->playerLap.currentLap = 3;
        race.level->nextCheckpoint = 2;
        race.Pass(2);
        EXPECT_EQ(race.Sent({"checkpoint", "helper_in"}), Lines{});
        EXPECT_EQ(race.level->nextCheckpoint, 0);
        race.Pass(0);
        EXPECT_EQ(race.Sent({"checkpoint", "helper_in"}), Lines{"game_interface checkpoint checkpoint!,1"});
    }
}

TEST(Checkpoints, OnlyOnePerFrameAndOnlyAVisibleOne) {
    CheckpointRace race({0.0f, 0.5f, 180.0f});
    ASSERT_TRUE(race.loaded);
    race.level->checkpoints[1].object->SetVisible(true);
    race.level->humanRacer->SetPosition(OnRing(0.25f));
    race.Frame(0.02f);
    EXPECT_EQ(race.Sent({"checkpoint"}).size(), 1u);
    EXPECT_FALSE(race.Visible(0));
    EXPECT_TRUE(race.Visible(1));
    race.Frame(0.02f);
    EXPECT_EQ(race.Sent({"checkpoint"}).size(), 2u);
    EXPECT_FALSE(race.Visible(1));
    // Nothing visible is left.
    race.Frame(0.02f);
    EXPECT_EQ(race.Sent({"checkpoint"}).size(), 2u);
}

TEST(Checkpoints, NotAfterTheRace) {
    CheckpointRace race;
    ASSERT_TRUE(race.loaded);
    race.level->raceOver = true;
    race.Pass(0);
    EXPECT_EQ(race.Sent({"checkpoint"}), Lines{});
    EXPECT_TRUE(race.Visible(0));
}

TEST(Checkpoints, TheFinishShowsPastHalfAndTheFinishCheckpointCountsARound) {
    CheckpointRace race({0.0f, 90.0f, 180.0f, 270.0f});
    ASSERT_TRUE(race.loaded);
    race.level->finishObject->SetVisible(false);
    race.Pass(0);
    race.Pass(1);
    EXPECT_FALSE(race.level->finishObject->IsVisible());
    // The next one, 3, is past half of the four.
    race.Pass(2);
    EXPECT_TRUE(race.level->finishObject->IsVisible());
    race.Pass(3);
    EXPECT_EQ(race.level->nextCheckpoint, 0);

    CheckpointRace finish({0.0f, 90.0f, 180.0f, 270.0f});
    ASSERT_TRUE(finish.loaded);
    finish.level->finishCheckpointIndex = 1;
    finish.level->finishObject->SetVisible(false);
    finish.level->nextCheckpoint = 1;
    finish.store->playerLap.currentLap = 1;
    finish.Pass(1);
    // Half of two checkpoints is one: the next, 2, is past it.
    EXPECT_TRUE(finish.level->finishObject->IsVisible());
    EXPECT_EQ(finish.level->podium[0], CPLevel::kHumanPodiumIndex);
    EXPECT_EQ(finish.store->playerLap.currentLap, 2);
}

TEST(Checkpoints, AFinishIndexOutsideTheListNeverShowsTheFinishNorTakesAPlace) {
    for (int finishIndex : {4, 7, -1, -5}) {
        SCOPED_TRACE(finishIndex);
        CheckpointRace race({0.0f, 90.0f, 180.0f, 270.0f});
        ASSERT_TRUE(race.loaded);
        race.level->finishCheckpointIndex = finishIndex;
        race.level->finishObject->SetVisible(false);
        race.store->playerLap.currentLap = 1;
        for (int lap = 0; lap < 2; ++lap)
            for (int i = 0; i < 4; ++i) {
                race.Pass(i);
                EXPECT_FALSE(race.level->finishObject->IsVisible()) << i;
            }
        EXPECT_EQ(race.level->podium, (std::array<int, 3>{{-1, -1, -1}}));
        EXPECT_EQ(race.store->playerLap.currentLap, 1);
        EXPECT_EQ(race.level->announcedCheckpoint, 3);
    }
}

TEST(Checkpoints, WithoutCheckpointsTheFrameSkipsTheMarkerAndTheReveal) {
    CheckpointRace race(std::vector<float>{});
    ASSERT_TRUE(race.loaded);
    race.level->nextCheckpoint = 0;
    race.level->RevealFirstCheckpoint();
    race.level->PlaceCheckpointMarker();
    for (int i = 0; i < 5; ++i) race.Frame(0.05f);
    race.level->raceTime = race.level->gridLength + 1.0f;
    race.Frame(0.05f);
    EXPECT_TRUE(race.level->mapCheckpoints.empty());
    EXPECT_EQ(race.level->announcedCheckpoint, -1);
    EXPECT_EQ(race.Sent({"checkpoint", "bonus_points"}), Lines{});
}

TEST(Checkpoints, OpponentsPassByProximityOnceInARow) {
    CheckpointRace race;
    ASSERT_TRUE(race.loaded);
    race.level->finishCheckpointIndex = 1;
    const D3DXVECTOR3 c0 = race.level->checkpoints[0].object->GetPosition();
    const D3DXVECTOR3 c1 = race.level->checkpoints[1].object->GetPosition();
    CPSmartPtr<CPPlayer> a = race.Opponent(c0 + D3DXVECTOR3(4.9f, 0.0f, 0.0f));
    CPSmartPtr<CPPlayer> b = race.Opponent(c0 + D3DXVECTOR3(5.0f, 0.0f, 0.0f));
    race.level->humanRacer->SetPosition(OnRing(60.0f));
    race.Frame(0.02f);
    EXPECT_EQ(a->lastCheckpoint, 0);
    EXPECT_EQ(b->lastCheckpoint, -1);
    // The checkpoint object need not be visible, and the human passes nothing.
    EXPECT_TRUE(race.Visible(0));
    a->SetPosition(c1);
    race.Frame(0.02f);
    EXPECT_EQ(a->lastCheckpoint, 1);
    EXPECT_EQ(race.level->podium[0], 0);
    a->lastCheckpoint = 1;
    race.Frame(0.02f);
    EXPECT_EQ(race.level->podium, (std::array<int, 3>{{0, -1, -1}}));
}

TEST(Checkpoints, TheGateIsTheBoxsCircleInXAndY) {
    CheckpointRace race;
    ASSERT_TRUE(race.loaded);
    const CPGameObject& c = *race.level->checkpoints[0].object;
    const D3DXVECTOR3 centre = c.GetPosition();
    const CPBoundingBox& box = c.GetVisibleBounds();
    const float dx = std::max(std::fabs(box.maximum.x - centre.x), std::fabs(box.minimum.x - centre.x));
    const float dy = std::max(std::fabs(box.maximum.y - centre.y), std::fabs(box.minimum.y - centre.y));
    const float r = std::sqrt(dx * dx + dy * dy);
    ASSERT_GT(r, 1.0f);
    struct Case {
        D3DXVECTOR3 offset;
        bool inside;
    };
    const Case cases[] = {
        {{0.0f, 0.0f, 0.0f}, true},
        {{r - 0.01f, 0.0f, 0.0f}, true},
        {{0.0f, r + 0.01f, 0.0f}, false},
        // Height does not count.
        {{0.0f, 0.0f, 50.0f}, true},
    };
    for (const Case& k : cases) {
        race.level->humanRacer->SetPosition(centre + k.offset);
        EXPECT_EQ(race.level->IsInCheckpointGate(c), k.inside) << k.offset.x << " " << k.offset.y;
    }
}

TEST(Checkpoints, TheGateAlsoTakesAnyOfTheFirstFourWheelContacts) {
    CheckpointRace race;
    ASSERT_TRUE(race.loaded);
    const CPGameObject& c = *race.level->checkpoints[0].object;
    const D3DXVECTOR3 centre = c.GetPosition();
    CPPlayer& human = *race.level->humanRacer;
    CPSmartPtr<CPCar> car(new CPCar(&human));
    human.SetCar(CPSmartPtr<IPMMObject>(car.Get()));
    // The car stands outside the gate's circle (radius sqrt 8 for the 4 x 4 box).
    human.SetPosition(centre + D3DXVECTOR3(6.0f, 0.0f, 0.0f));
    const D3DXVECTOR3 out = centre + D3DXVECTOR3(5.0f, 0.0f, 0.0f);
    const D3DXVECTOR3 in = centre + D3DXVECTOR3(2.7f, 0.0f, 30.0f);
    struct Case {
        std::vector<D3DXVECTOR3> contacts;
        bool inside;
    };
    const Case cases[] = {
        {{out, out, out, out}, false},
        {{in, out, out, out}, true},
        {{out, out, out, in}, true},
        // A fifth wheel does not count.
        {{out, out, out, out, in}, false},
        {{}, false},
    };
    for (const Case& k : cases) {
        car->SetContactPointsForTest(k.contacts);
        EXPECT_EQ(race.level->IsInCheckpointGate(c), k.inside) << k.contacts.size();
    }
    // With every wheel outside, the racer's own position still counts.
    car->SetContactPointsForTest({out, out, out, out});
    human.SetPosition(centre + D3DXVECTOR3(0.0f, 2.7f, 0.0f));
    EXPECT_TRUE(race.level->IsInCheckpointGate(c));
    human.SetCar(nullptr);
}

// A checkpoint race on the null audio system with the sound "fast" in the table, the human's
// and an opponent's cars charged by the checkpoints.
struct NitroCheckpointRace : CheckpointRace {
    NitroCheckpointRace() {
        if (!loaded) return;
        kxtest::WaveLayout layout;
        layout.samples = kxtest::Pattern(400);
        store.Write("Data/Sounds/fast.wav", kxtest::MakeWave(layout));
        store.Write("Data/Sounds/Sounds.dat", "fast;fast.wav;2d\n");
        audioReady = sound.Init(nullptr) == 1;
        fast = sound.GetSound("fast");
        humanCar = CPSmartPtr<CPCar>(new CPCar(level->humanRacer.Get()));
        humanCar->SetHumanCar(true);
        level->humanRacer->SetCar(CPSmartPtr<IPMMObject>(humanCar.Get()));
        store->AddGotAchievement("nitro_1st");
    }
    // The level goes while the sounds and the null system it stops still exist.
    ~NitroCheckpointRace() {
        if (level) {
            if (level->humanRacer) level->humanRacer->SetCar(nullptr);
            for (const auto& racer : level->opponents)
                if (racer) racer->SetCar(nullptr);
            level->Stop();
            delete level;
            level = nullptr;
        }
        humanCar = nullptr;
        fast = nullptr;
        sound.ReleaseSounds();
        sound.Release();
        for (int i = 0; i < 4; ++i) IPMMObject::CollectGarbage();
    }
    Platform::Audio::ScopedNullAudio nullAudio;
    CNAudio sound;
    bool audioReady = false;
    CPSmartPtr<CNSound> fast;
    CPSmartPtr<CPCar> humanCar;
};

TEST(CheckpointNitro, APassChargesTheMeterAndAFullOnePlaysFastOncePerCooldown) {
    NitroCheckpointRace race;
    ASSERT_TRUE(race.loaded);
    ASSERT_TRUE(race.audioReady);
    ASSERT_TRUE(race.fast);
    // A meter at 70 fills with the checkpoint's 60: the boost and the marker's boosted look.
    race.humanCar->SetNitroMeter(70.0f);
    race.Pass(0);
    EXPECT_EQ(race.humanCar->GetNitroMeter(), 100.0f);
    EXPECT_EQ(race.level->humanRacer->superNitroTime, 10.0f);
    EXPECT_FALSE(race.fast->IsPlaying()) << "the meter was not full on arrival";
    EXPECT_EQ(race.level->cooldownTimer, 0.0f);

    // Arriving full: "fast" plays and the cooldown starts.
    race.Pass(1);
    EXPECT_TRUE(race.fast->IsPlaying());
    EXPECT_EQ(race.level->cooldownTimer, 2.0f);
    race.fast->Stop();
    // Within the cooldown the next full arrival stays quiet.
    race.Pass(2);
    EXPECT_FALSE(race.fast->IsPlaying());
    EXPECT_LT(race.level->cooldownTimer, 2.0f);
}

TEST(CheckpointNitro, OpponentsPassingChargeTheirOwnCars) {
    NitroCheckpointRace race;
    ASSERT_TRUE(race.loaded);
    CPSmartPtr<CPPlayer> opponent = race.Opponent(race.level->checkpoints[1].object->GetPosition());
    CPSmartPtr<CPCar> car(new CPCar(opponent.Get()));
    opponent->SetCar(CPSmartPtr<IPMMObject>(car.Get()));
    car->SetNitroMeter(10.0f);
    race.Frame(0.02f);
    EXPECT_EQ(car->GetNitroMeter(), 70.0f);
    EXPECT_EQ(opponent->lastCheckpoint, 1);
    race.Frame(0.02f);
    EXPECT_EQ(car->GetNitroMeter(), 70.0f) << "once in a row";
    // Opponents need no achievement: a full meter takes the boost.
    race.store->gotAchievements.clear();
    opponent->SetPosition(race.level->checkpoints[2].object->GetPosition());
    race.Frame(0.02f);
    EXPECT_EQ(car->GetNitroMeter(), 100.0f);
    EXPECT_EQ(opponent->superNitroTime, 10.0f);
}

// ---- the marker --------------------------------------------------------------------------

TEST(CheckpointMarker, RunsToTheNextCheckpointAndRevealsIt) {
    CheckpointRace race;
    ASSERT_TRUE(race.loaded);
    CPLevel& level = *race.level;
    race.Pass(0);
    ASSERT_EQ(level.nextCheckpoint, 1);
    EXPECT_FALSE(race.Visible(1));
    // Placed at the passed checkpoint, showing its plain look.
    EXPECT_TRUE(race.marker->IsVisible());
    EXPECT_TRUE(race.marker->FindObject("checkered")->IsVisible());
    EXPECT_FALSE(race.marker->FindObject("checkered_a")->IsVisible());

    // Standing still the marker runs 5 units a second, capped at a 0.05 s step.
    level.humanRacer->SetPosition(OnRing(300.0f));
    const float before = level.markerPhase;
    race.Frame(0.2f);
    const float moved = level.markerPhase - before;
    const float total = level.centrePath->GetTotalLength();
    const float wrapped = std::fabs(moved) > total / 2.0f ? moved + (moved < 0.0f ? total : -total) : moved;
    EXPECT_NEAR(std::fabs(wrapped), 0.25f, 1e-3f);

    // It reaches the next checkpoint: that one shows, with its flags, and the marker hides.
    int frames = 0;
    while (!race.Visible(1) && frames < 20000) {
        race.Frame(0.05f);
        ++frames;
    }
    EXPECT_TRUE(race.Visible(1));
    EXPECT_TRUE(race.FlagB(1));
    EXPECT_FALSE(race.marker->IsVisible());
    D3DXVECTOR3 p, t;
    level.centrePath->GetPointAtDistance(level.markerPhase, p, t);
    const D3DXVECTOR3 d = p - level.checkpoints[1].object->GetPosition();
    EXPECT_LT(D3DXVec3LengthSq(&d), 9.0f);
}

TEST(CheckpointMarker, BoostedLookAndHeading) {
    CheckpointRace race;
    ASSERT_TRUE(race.loaded);
    CPLevel& level = *race.level;
    level.nitroCharged = true;
    level.markerPhase = 10.0f;
    level.nextCheckpoint = 1;
    level.PlaceCheckpointMarker();
    EXPECT_TRUE(race.marker->FindObject("checkered_a")->IsVisible());
    EXPECT_TRUE(race.marker->FindObject("glarefront")->IsVisible());
    EXPECT_FALSE(race.marker->FindObject("checkered")->IsVisible());
    D3DXVECTOR3 p, t;
    level.centrePath->GetPointAtDistance(10.0f, p, t);
    EXPECT_NEAR(race.marker->GetPosition().x, p.x, 1e-4f);
    EXPECT_NEAR(race.marker->GetPosition().y, p.y, 1e-4f);
    // The marker's (-1, 0, 0) faces along the path's direction, turned half round.
    for (bool reversed : {false, true}) {
        level.reversed = reversed;
        level.PlaceCheckpointMarker();
        D3DXMATRIX m;
        D3DXMatrixRotationQuaternion(&m, &race.marker->GetRotationQuaternion());
        const D3DXVECTOR3 left(-1.0f, 0.0f, 0.0f);
        D3DXVECTOR3 facing;
        D3DXVec3TransformNormal(&facing, &left, &m);
        D3DXVECTOR3 flat(t.x, t.y, 0.0f);
        D3DXVec3Normalize(&flat, &flat);
        const float sign = reversed ? 1.0f : -1.0f;
        EXPECT_NEAR(facing.x, sign * flat.x, 1e-4f) << reversed;
        EXPECT_NEAR(facing.y, sign * flat.y, 1e-4f) << reversed;
    }
    level.nitroCharged = false;
    level.humanRacer->superNitroTime = 1.0f;
    level.PlaceCheckpointMarker();
    EXPECT_TRUE(race.marker->FindObject("checkered_a")->IsVisible());
}

// ---- pieces, rounds and places -----------------------------------------------------------

// A straight route of pieces 100 units apart along x, owned by the test.
struct StraightRoute {
    explicit StraightRoute(int count) {
        for (int i = 0; i < count; ++i) {
            pieces.push_back(std::make_unique<CPLine>());
            pieces.back()->centre = D3DXVECTOR3(100.0f * static_cast<float>(i), 5000.0f, 0.0f);
            lines.push_back(pieces.back().get());
        }
    }
    D3DXVECTOR3 At(int i) const { return lines[static_cast<std::size_t>(i)]->centre; }
    std::vector<std::unique_ptr<CPLine>> pieces;
    std::vector<CPLine*> lines;
};

TEST(Laps, ASeamJumpCountsTheShortWay) {
    struct Case {
        int from, to, steps;
    };
    // The seam is corrected by pieces - 1, so the step across it between the last and the first
    // piece counts nothing.
    const Case cases[] = {{2, 98, -3}, {98, 2, 3}, {10, 24, 14}, {24, 10, -14}, {0, 99, 0}, {99, 0, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.from) + " to " + std::to_string(c.to));
        RulesRace race;
        ASSERT_TRUE(race.loaded);
        StraightRoute route(100);
        CPLevel& level = *race.level;
        level.routeLines = route.lines;
        level.startRouteIndex = 50;
        level.playerRouteIndex = c.from;
        level.playerRouteSteps = 0;
        race.store->playerLap.progressKey = 100;
        level.humanRacer->SetPosition(route.At(c.to));
        level.OnLap();
        EXPECT_EQ(level.playerRouteSteps, c.steps);
        EXPECT_EQ(race.store->playerLap.progressKey, 100 + c.steps);
        EXPECT_EQ(level.playerRouteIndex, c.to);
        level.routeLines.clear();
    }
}

TEST(Laps, NoPieceNearLeavesTheCountsAlone) {
    RulesRace race;
    ASSERT_TRUE(race.loaded);
    StraightRoute route(40);
    CPLevel& level = *race.level;
    level.routeLines = route.lines;
    level.playerRouteIndex = 3;
    level.playerRouteSteps = 7;
    level.humanRacer->SetPosition(route.At(10) + D3DXVECTOR3(0.0f, 400.0f, 0.0f));
    level.OnLap();
    EXPECT_EQ(level.playerRouteIndex, 3);
    EXPECT_EQ(level.playerRouteSteps, 7);
    level.routeLines.clear();
}

// Drives the human from piece 1 to the last of the 40 pieces of a straight "ring" (piece 39 to
// 0 is the seam), short of the start piece 0.
void DriveToTheSeam(RulesRace& race, const StraightRoute& route) {
    for (int i = 1; i < 40; ++i) {
        race.level->humanRacer->SetPosition(route.At(i));
        race.level->OnLap();
    }
}

// Drives the human once round the ring and over the start piece 0.
void DriveARound(RulesRace& race, const StraightRoute& route) {
    DriveToTheSeam(race, route);
    race.level->humanRacer->SetPosition(route.At(0));
    race.level->OnLap();
}

TEST(Laps, ThreeRoundsGiveTwoMessagesThenAPlace) {
    RulesRace race;
    ASSERT_TRUE(race.loaded);
    StraightRoute route(40);
    CPLevel& level = *race.level;
    level.routeLines = route.lines;
    level.startRouteIndex = 0;
    level.playerRouteIndex = 0;
    level.playerRouteSteps = 0;
    // Without start posts the whole start piece is the line.
    level.startLineSpan = D3DXVECTOR3(0.0f, 0.0f, 0.0f);
    level.startLineCentre = route.At(0) + D3DXVECTOR3(0.0f, 30.0f, 0.0f);
    race.store->roundCount = 3;
    race.store->playerLap.currentLap = 1;
    race.store->playerLap.lapTimes = {61.0f};
    race.router.sent.clear();
    DriveARound(race, route);
    EXPECT_EQ(race.Sent({"show_message"}), Lines{"game_interface show_message krug_proiden!"});
    EXPECT_EQ(race.store->playerLap.currentLap, 2);
    EXPECT_EQ(race.store->playerLap.lapTimes, (std::vector<float>{61.0f, 0.0f}));
    EXPECT_EQ(race.store->playerLap.progressKey, 39);
    EXPECT_EQ(level.playerRouteSteps, 0);
    DriveARound(race, route);
    EXPECT_EQ(race.Sent({"show_message"}),
              (Lines{"game_interface show_message krug_proiden!", "game_interface show_message posledniy_krug!"}));
    EXPECT_EQ(level.podium, (std::array<int, 3>{{-1, -1, -1}}));
    DriveARound(race, route);
    EXPECT_EQ(race.Sent({"show_message"}).size(), 2u);
    EXPECT_EQ(level.podium, (std::array<int, 3>{{10, -1, -1}}));
    EXPECT_EQ(race.store->playerLap.currentLap, 4);
    // Driving on does not take a second place.
    DriveARound(race, route);
    EXPECT_EQ(level.podium, (std::array<int, 3>{{10, -1, -1}}));
    level.routeLines.clear();
}

TEST(Laps, TheStartLineIsTwoUnitsEitherSide) {
    for (float offset : {1.9f, 2.1f}) {
        SCOPED_TRACE(offset);
        RulesRace race;
        ASSERT_TRUE(race.loaded);
        StraightRoute route(40);
        CPLevel& level = *race.level;
        level.routeLines = route.lines;
        level.startRouteIndex = 0;
        level.playerRouteIndex = 0;
        level.playerRouteSteps = 0;
        // Posts across the route (along y) through piece 0: the line is x = piece 0's x.
        level.startLineCentre = route.At(0);
        level.startLineSpan = D3DXVECTOR3(0.0f, 16.0f, 0.0f);
        race.store->roundCount = 3;
        DriveToTheSeam(race, route);
        level.humanRacer->SetPosition(route.At(0) + D3DXVECTOR3(offset, 7.0f, 0.0f));
        level.OnLap();
        EXPECT_EQ(race.store->playerLap.currentLap, offset < 2.0f ? 2 : 1);
        level.routeLines.clear();
    }
}

TEST(Laps, AStartBehindTheLineIsNoProgress) {
    RulesRace race;
    ASSERT_TRUE(race.loaded);
    StraightRoute route(40);
    CPLevel& level = *race.level;
    level.routeLines = route.lines;
    level.startRouteIndex = 0;
    level.playerRouteIndex = 38;
    race.store->playerLap.progressKey = 5;
    // 38 to 39 counts, the start piece in the first round puts the progress back to 0.
    level.humanRacer->SetPosition(route.At(39));
    level.OnLap();
    EXPECT_EQ(race.store->playerLap.progressKey, 6);
    level.humanRacer->SetPosition(route.At(0));
    level.OnLap();
    EXPECT_EQ(race.store->playerLap.progressKey, 0);
    level.routeLines.clear();
}

TEST(Laps, OpponentsCountRoundsInTheirRecordsAndTakePlaces) {
    RulesRace race;
    ASSERT_TRUE(race.loaded);
    StraightRoute route(40);
    CPLevel& level = *race.level;
    level.routeLines = route.lines;
    level.startRouteIndex = 0;
    level.playerRouteIndex = 0;
    level.humanRacer->SetPosition(route.At(0));
    race.store->roundCount = 1;
    CPSmartPtr<CPPlayer> a = race.Opponent(route.At(0));
    CPSmartPtr<CPPlayer> unmeasured = race.Opponent(route.At(0), 8);
    level.opponentLineIndex.assign(20, 0);
    level.opponentProgress.assign(20, 0);
    race.store->racerLaps.clear();
    // Standing on the start piece counts no round.
    for (int i = 0; i < 3; ++i) level.OnLap();
    EXPECT_EQ(race.store->racerLaps["0"].currentLap, 1);
    EXPECT_EQ(race.store->racerLaps["0"].progressKey, 0);
    for (int i = 1; i < 40; ++i) {
        a->SetPosition(route.At(i));
        unmeasured->SetPosition(route.At(i));
        level.OnLap();
    }
    EXPECT_EQ(level.opponentProgress[0], 39);
    EXPECT_EQ(race.store->racerLaps["0"].progressKey, 39);
    a->SetPosition(route.At(0));
    level.OnLap();
    EXPECT_EQ(race.store->racerLaps["0"].currentLap, 2);
    EXPECT_EQ(race.store->racerLaps["0"].progressKey, 39);
    EXPECT_EQ(level.opponentProgress[0], 0);
    EXPECT_EQ(level.podium, (std::array<int, 3>{{0, -1, -1}}));
    EXPECT_EQ(race.store->racerLaps.count("1"), 0u);
    EXPECT_EQ(level.opponentProgress[1], 0);
    level.routeLines.clear();
}

TEST(Places, TheHumansPlaceAmongTheStandings) {
    RulesRace race;
    ASSERT_TRUE(race.loaded);
    CPGameData& data = race.store.Data();
    data.racerLaps.clear();
    // Opponents "0" to "2" at 1 x 50, 2 x 10 and 1 x 5; the rest at the defaults (1 x -1).
    data.racerLaps["0"].progressKey = 50;
    data.racerLaps["1"].currentLap = 2;
    data.racerLaps["1"].progressKey = 10;
    data.racerLaps["2"].progressKey = 5;
    struct Case {
        int lap, progress, place;
    };
    // A tie with an opponent leaves the place as it was.
    const Case cases[] = {{1, 60, 1}, {1, 30, 2}, {1, 15, 3}, {1, 1, 4}, {1, 20, 4}, {1, -5, 5}, {2, 2, 4}};
    for (const Case& c : cases) {
        data.playerLap.currentLap = c.lap;
        data.playerLap.progressKey = c.progress;
        race.level->UpdatePlayerPlace();
        EXPECT_EQ(race.level->playerPlace, c.place) << c.lap << " x " << c.progress;
    }
    // The missing records were made with the defaults.
    EXPECT_EQ(data.racerLaps.size(), 11u);
    EXPECT_EQ(data.racerLaps["10"].progressKey, -1);
}

} // namespace
