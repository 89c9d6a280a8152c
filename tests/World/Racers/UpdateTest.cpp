// The racer's frame update, its setters and its drawing.

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "Framework/PGlobalTimer.h"
#include "Platform/Audio/NullAudio.h"
#include "Platform/Audio/WaveFixture.h"
#include "Platform/Math/D3DXMath.h"
#include "Render/PPerspectiveCamera.h"
#include "Render/PRender.h"
#include "Render/PRenderObject.h"
#include "Sound/NAudio.h"
#include "Sound/NSound.h"
#include "World/Car/CarWorldFixture.h"
#include "World/PLevel.h"
#include "support/TempDir.h"

namespace {

using namespace kxcar;

struct RacerUpdate : CarWorld {
    int Count(const std::string& target, const std::string& command, const std::string& params) const {
        int n = 0;
        for (const auto& c : router.sent) n += c.target == target && c.command == command && c.params == params;
        return n;
    }
    // The car learns its body's velocity.
    static void Sense(CPPlayer& racer, const D3DXVECTOR3& v) {
        RbRigidBody* body = racer.GetCar()->GetRigidBody();
        body->SetVelocity(RbVec(v.x, v.y, v.z));
        racer.GetCar()->PhysicsTick(nullptr, kStep);
    }
};

TEST_F(RacerUpdate, SuperNitroRunsOutAndTheFrontFireGoes) {
    CPSmartPtr<CPPlayer> racer = MakeRacer("", false);
    racer->superNitroTime = 0.05f;
    racer->GetCar()->SetFrontEffect(true);
    racer->Update(0.02f);
    EXPECT_TRUE(racer->GetCar()->GetFrontEffect());
    EXPECT_NEAR(racer->superNitroTime, 0.03f, 1e-6f);
    racer->Update(0.05f);
    EXPECT_FALSE(racer->GetCar()->GetFrontEffect());
}

TEST_F(RacerUpdate, TheBoostThresholdIsTenForComputerCars) {
    struct Case {
        bool human;
        float speed;
        bool charges;
    };
    // The human's threshold is 13.7 times the car's factor (1 here); a computer car's is 10.
    const Case cases[] = {{false, 11.0f, true}, {false, 9.0f, false}, {true, 11.0f, false}, {true, 14.0f, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.human ? "human " : "computer ") + std::to_string(c.speed));
        racers.clear();
        CPSmartPtr<CPPlayer> racer = MakeRacer("", c.human, 4, D3DXVECTOR3(0, 0, 5));
        racer->isHuman = c.human;
        racer->superNitroTime = 5.0f;
        racer->superNitroCharge = 0.5f;
        racer->GetCar()->SetNitroMeter(1.0f);
        racer->GetCar()->SetNitro(1.0f);
        Sense(*racer, D3DXVECTOR3(c.speed, 0, 0));
        const float dt = 0.01f;
        racer->Update(dt);
        EXPECT_FLOAT_EQ(racer->superNitroCharge, c.charges ? 0.5f + dt : 0.0f);
    }
}

TEST_F(RacerUpdate, UpsideDownTimeNeedsMoreThanAQuarterTurnPastLevel) {
    struct Case {
        float roll;
        bool counts;
    };
    // On its side the up axis is flat: never upside down.
    const Case cases[] = {{0.0f, false}, {1.5707964f, false}, {2.2f, true}, {3.14159265f, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.roll);
        CPSmartPtr<CPPlayer> racer(new CPPlayer);
        D3DXQUATERNION q;
        const D3DXVECTOR3 x(1.0f, 0.0f, 0.0f);
        D3DXQuaternionRotationAxis(&q, &x, c.roll);
        racer->SetRotation(q);
        racer->Update(0.25f);
        EXPECT_FLOAT_EQ(racer->upsideDownTime, c.counts ? 0.25f : 0.0f);
    }
}

TEST_F(RacerUpdate, EngineTemperatureWarnsOnCrossingsOnly) {
    CPSmartPtr<CPPlayer> racer(new CPPlayer);
    racer->engineTemperature = 0.5f;
    racer->engineHeatRate = 0.3f;
    racer->engineCoolRate = 0.3f;
    racer->throttle = 1.0f;
    // 0.5 + 0.3: exactly 0.8 is hot.
    racer->Update(1.0f);
    EXPECT_FLOAT_EQ(racer->engineTemperature, 0.8f);
    EXPECT_EQ(Count("gamemenu", "engine_temp", "1"), 1);
    racer->Update(1.0f);
    EXPECT_FLOAT_EQ(racer->engineTemperature, 1.0f);
    EXPECT_EQ(Count("gamemenu", "engine_temp", "1"), 1);
    racer->throttle = 0.0f;
    racer->Update(1.0f);
    racer->Update(1.0f);
    EXPECT_EQ(Count("gamemenu", "engine_temp", "0"), 1);
    racer->Update(100.0f);
    EXPECT_FLOAT_EQ(racer->engineTemperature, 0.0f);
    // Reverse throttle heats too; the start rates take 40 s to the warning.
    CPSmartPtr<CPPlayer> fresh(new CPPlayer);
    fresh->throttle = -1.0f;
    for (int i = 0; i < 39; ++i) fresh->Update(1.0f);
    EXPECT_EQ(Count("gamemenu", "engine_temp", "1"), 1);
    fresh->Update(1.01f);
    EXPECT_EQ(Count("gamemenu", "engine_temp", "1"), 2);
}

TEST_F(RacerUpdate, ADeadRacerStopsAfterItsUpsideDownClock) {
    CPSmartPtr<CPPlayer> racer(new CPPlayer);
    racer->dead = true;
    racer->bonusTimer = 1.0f;
    racer->fireCooldown = 0.5f;
    racer->throttle = 1.0f;
    racer->Update(0.1f);
    EXPECT_FLOAT_EQ(racer->unlockedTime, 0.0f);
    EXPECT_FLOAT_EQ(racer->bonusTimer, 1.0f);
    EXPECT_FLOAT_EQ(racer->fireCooldown, 0.5f);
    EXPECT_FLOAT_EQ(racer->engineTemperature, 0.0f);
}

TEST_F(RacerUpdate, TimersCountDown) {
    CPSmartPtr<CPPlayer> racer(new CPPlayer);
    racer->bonusTimer = 4.0f;
    racer->respawnCooldown = 1.0f;
    racer->fireCooldown = 0.5f;
    racer->touched = true;
    racer->Update(0.1f);
    EXPECT_FLOAT_EQ(racer->bonusTimer, 3.9f);
    EXPECT_FLOAT_EQ(racer->respawnCooldown, 0.9f);
    EXPECT_FLOAT_EQ(racer->fireCooldown, 0.4f);
    EXPECT_FLOAT_EQ(racer->unlockedTime, 0.1f);
    EXPECT_FALSE(racer->touched);
    // A ready trigger stays ready.
    racer->fireCooldown = -0.25f;
    racer->Update(0.1f);
    EXPECT_FLOAT_EQ(racer->fireCooldown, -0.25f);
    // Locked: no unlocked time.
    racer->locked = true;
    racer->Update(0.1f);
    EXPECT_FLOAT_EQ(racer->unlockedTime, 0.2f);
}

TEST_F(RacerUpdate, ControlsReachTheCarEveryFrame) {
    CPSmartPtr<CPPlayer> racer = MakeRacer("", false);
    CPSmartPtr<CPPlayer> other = MakeRacer("", false, 4, D3DXVECTOR3(10, 0, 1));
    racer->SetCarParams(0.7f, -0.3f);
    racer->Update(kStep);
    other->GetCar()->SetControls(0.7f, -0.3f);
    EXPECT_FLOAT_EQ(racer->GetCar()->GetDriveInput(), other->GetCar()->GetDriveInput());
    EXPECT_FLOAT_EQ(racer->GetCar()->GetSteer(), other->GetCar()->GetSteer());
    EXPECT_NE(racer->GetCar()->GetDriveInput(), 0.0f);
}

TEST_F(RacerUpdate, SettersWhileLocked) {
    CPSmartPtr<CPPlayer> racer(new CPPlayer);
    racer->SetCarParams(0.5f, 0.25f);
    racer->SetLocked(true);
    racer->SetCarParams(1.0f, -1.0f);
    racer->SetNitro(1.0f);
    EXPECT_FLOAT_EQ(racer->throttle, 0.5f);
    EXPECT_FLOAT_EQ(racer->steering, 0.25f);
    EXPECT_FALSE(racer->nitroOn);
    racer->SetThrottleBlocked(true);
    EXPECT_FLOAT_EQ(racer->throttle, 0.5f);
    racer->SetLocked(false);
    racer->SetThrottleBlocked(true);
    EXPECT_FLOAT_EQ(racer->throttle, 0.0f);
    racer->SetCarParams(1.0f, 0.0f);
    EXPECT_FLOAT_EQ(racer->throttle, 0.0f);
}

TEST_F(RacerUpdate, MissedCheckpointHint) {
    CPLevel level;
    CPSmartPtr<CPPlayer> racer(new CPPlayer);
    level.humanRacer = racer;
    auto checkpointAt = [](float x, float y) {
        SPCheckpoint c;
        c.object = CPSmartPtr<CPGameObject>(new CPGameObject("checkpoint"));
        c.object->SetPosition(x, y, 0.0f);
        return c;
    };
    auto hints = [&] { return Count("helper", "helper_in", "6"); };
    // One checkpoint: A, B and E are the same point; any distance from it hints.
    level.checkpoints = {checkpointAt(10, 0)};
    racer->SetPosition(10, 0, 0);
    racer->Update(0.01f);
    EXPECT_EQ(hints(), 0);
    racer->SetPosition(11, 0, 0);
    racer->Update(0.01f);
    racer->Update(0.01f);
    EXPECT_EQ(hints(), 2);
    // Three: A = (0, 0), B = (100, 0), E = (100, 40): hint beyond 100^2 + 0.5 x 40^2 from A.
    level.checkpoints = {checkpointAt(0, 0), checkpointAt(100, 0), checkpointAt(100, 40)};
    level.nextCheckpoint = 1;
    router.sent.clear();
    racer->SetPosition(0, 103.8f, 0);
    racer->Update(0.01f);
    EXPECT_EQ(hints(), 0);
    racer->SetPosition(0, 104, 0);
    racer->Update(0.01f);
    EXPECT_EQ(hints(), 1);
    // Not after the race, not with the hint flag set, never for a computer racer.
    level.raceOver = true;
    racer->Update(0.01f);
    level.raceOver = false;
    gameData->helperFlags[5] = true;
    racer->Update(0.01f);
    gameData->helperFlags[5] = false;
    level.humanRacer = nullptr;
    racer->Update(0.01f);
    EXPECT_EQ(hints(), 1);
    // A next checkpoint out of range is taken as the first; no checkpoints, no hint.
    level.humanRacer = racer;
    level.nextCheckpoint = 7;
    level.checkpoints.clear();
    racer->Update(0.01f);
    EXPECT_EQ(hints(), 1);
}

// The camera at the eye, looking at the origin with z up, its matrices brought up to date.
void LookAtOrigin(CPPerspectiveCamera& camera, const D3DXVECTOR3& eye) {
    camera.eye = eye;
    camera.target = D3DXVECTOR3(0, 0, 0);
    camera.up = D3DXVECTOR3(0, 0, 1);
    camera.fieldOfView = 1.0f;
    camera.nearDistance = 1.0f;
    camera.farDistance = 500.0f;
    camera.viewDirty = true;
    camera.projectionDirty = true;
    camera.Update();
}

TEST_F(RacerUpdate, RenderAnswersWhetherTheRacerIsInView) {
    CPSmartPtr<CPPlayer> racer(new CPPlayer);
    racer->OwnBox() = CPOrientedBox(D3DXVECTOR3(0, 0, 0), D3DXVECTOR3(1, 2, 0.5f));
    racer->SetPosition(0, 0, 0);
    racer->UpdateTransform();
    CPPerspectiveCamera camera;
    LookAtOrigin(camera, D3DXVECTOR3(0, -20, 5));
    EXPECT_TRUE(racer->Render(&camera, nullptr));
    camera.target = D3DXVECTOR3(0, -40, 5);
    camera.viewDirty = true;
    camera.Update();
    EXPECT_FALSE(racer->Render(&camera, nullptr));
    EXPECT_FALSE(racer->Render(nullptr, nullptr));
}

TEST_F(RacerUpdate, TheShadowIsProjectedOnlyWithinAHundredUnitsOfTheEye) {
    CPSmartPtr<CPRender> render(new CPRender());
    CPSmartPtr<CPPlayer> racer(new CPPlayer);
    racer->OwnBox() = CPOrientedBox(D3DXVECTOR3(0, 0, 0), D3DXVECTOR3(1, 2, 0.5f));
    racer->SetPosition(0, 0, 0);
    racer->UpdateTransform();
    CPSmartPtr<CPPhysicData> data(new CPPhysicData(racer.Get()));
    racer->SetPhysicData(CPSmartPtr<IPPhysicData>(data.Get()));
    // The shadow's mesh starts with a marker triangle: a projection replaces it (with nothing,
    // without a race world's terrain).
    racer->shadow = CPSmartPtr<CPGameObject>(new CPGameObject("shadow"));
    racer->shadow->PartBoxes().push_back(CPOrientedBox(D3DXVECTOR3(0, 0, 0), D3DXVECTOR3(1, 2, 0.5f)));
    racer->shadow->UpdateTransform();
    CPSmartPtr<CPRenderObject> mesh(new CPRenderObject(racer->shadow.Get()));
    racer->shadow->SetAttachment(CPSmartPtr<IPMMObject>(mesh.Get()), IPSceneObject::KindMesh);
    struct Case {
        float distance;
        bool projected;
    };
    // Squared distance from the eye below 10000.
    const Case cases[] = {{20.0f, true}, {99.9f, true}, {100.0f, false}, {140.0f, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.distance);
        mesh->SetMesh(std::vector<SPVertex>(3), std::vector<std::uint16_t>{0, 1, 2});
        CPPerspectiveCamera camera;
        LookAtOrigin(camera, D3DXVECTOR3(0, -c.distance, 0));
        EXPECT_TRUE(racer->Render(&camera, nullptr));
        EXPECT_EQ(mesh->ModelVertices().empty(), c.projected);
    }
    // Out of view nothing is projected, however near.
    mesh->SetMesh(std::vector<SPVertex>(3), std::vector<std::uint16_t>{0, 1, 2});
    CPPerspectiveCamera away;
    away.eye = D3DXVECTOR3(0, -20, 0);
    away.target = D3DXVECTOR3(0, -40, 0);
    away.up = D3DXVECTOR3(0, 0, 1);
    away.fieldOfView = 1.0f;
    away.nearDistance = 1.0f;
    away.farDistance = 500.0f;
    away.viewDirty = true;
    away.projectionDirty = true;
    away.Update();
    EXPECT_FALSE(racer->Render(&away, nullptr));
    EXPECT_EQ(mesh->ModelVertices().size(), 3u);
}

TEST_F(RacerUpdate, OnlyTheHumansRenderRunsTheFade) {
    CPSmartPtr<CPRender> render(new CPRender());
    render->SetFade(1.0f);
    CPSmartPtr<CPPlayer> racer(new CPPlayer);
    racer->fadeOut = true;
    const float old = g_deltaTime;
    g_deltaTime = 0.05f;
    racer->Render(nullptr, nullptr);
    EXPECT_FLOAT_EQ(render->GetFadeValue(), 256.0f);
    racer->isHuman = true;
    racer->Render(nullptr, nullptr);
    EXPECT_NEAR(render->GetFadeValue() / 256.0f, 0.5f, 0.01f);
    g_deltaTime = old;
}

TEST_F(RacerUpdate, PrepareForRaceResetsTheBookkeeping) {
    CPSmartPtr<CPPlayer> racer(new CPPlayer);
    racer->raceFlag = true;
    racer->usedRespawn = true;
    racer->splineSegment = 4;
    racer->dead = true;
    racer->deathReported = true;
    racer->upsideDownTime = 3.0f;
    EXPECT_TRUE(racer->PrepareForRace());
    EXPECT_FALSE(racer->raceFlag);
    EXPECT_FALSE(racer->usedRespawn);
    EXPECT_EQ(racer->splineSegment, 0);
    EXPECT_FALSE(racer->dead);
    EXPECT_FALSE(racer->deathReported);
    EXPECT_EQ(racer->respawnCount, 3);
    EXPECT_FLOAT_EQ(racer->upsideDownTime, 0.0f);
}

TEST(RacerStart, FieldsTheRaceReadsStartDefined) {
    CPSmartPtr<CPPlayer> racer(new CPPlayer);
    EXPECT_FLOAT_EQ(racer->mineFactor, 1.0f);
    EXPECT_EQ(racer->cameraMin, 0);
    EXPECT_EQ(racer->cameraMax, 0);
    EXPECT_FALSE(racer->raceFlag);
    EXPECT_LT(racer->fireCooldown, 0.0f);
}

// The table's "slam" sound on the silent backend, for the racer's half-second reset.
struct SlamSound : CarWorld {
    SlamSound() {
        ResetSettingsToDefaults();
        kxtest::WaveLayout layout;
        layout.samples = kxtest::Pattern(400);
        root.Write("Data/Sounds/slam.wav", kxtest::MakeWave(layout));
        root.Write("Data/Sounds/Sounds.dat", "slam;slam.wav;2d\n");
        manager = std::make_unique<CNAudio>();
        manager->Init(nullptr);
    }
    ~SlamSound() override {
        racers.clear();
        physics.DestroyWorld();
        for (int i = 0; i < 4; ++i) IPMMObject::CollectGarbage();
        manager.reset();
        ResetSettingsToDefaults();
    }
    Platform::Audio::NullVoiceRecord& Voice(CNSound* sound) {
        const std::vector<CNSound*>& live = CNSound::LiveSounds();
        for (std::size_t i = 0; i < live.size(); ++i)
            if (live[i] == sound) return audio.system.Voice(i);
        ADD_FAILURE() << "no voice";
        return audio.system.Voice(0);
    }
    kxtest::TempGameRoot root;
    Platform::Audio::ScopedNullAudio audio;
    std::unique_ptr<CNAudio> manager;
};

TEST_F(SlamSound, TheHumanStopsAndRewindsTheSlamEveryHalfSecond) {
    CPSmartPtr<CNSound> slam = manager->GetSound("slam");
    ASSERT_TRUE(slam);
    for (bool human : {true, false}) {
        SCOPED_TRACE(human ? "human" : "computer");
        racers.clear();
        CPSmartPtr<CPPlayer> racer = MakeRacer("", human);
        racer->isHuman = human;
        slam->Play(0, 1);
        Voice(slam.Get()).position = 120;
        // 0.2 + 0.2 s: not yet past half a second.
        racer->Update(0.2f);
        racer->Update(0.2f);
        EXPECT_TRUE(slam->IsPlaying());
        EXPECT_EQ(Voice(slam.Get()).position, 120u);
        racer->Update(0.2f);
        EXPECT_EQ(slam->IsPlaying(), !human);
        EXPECT_EQ(Voice(slam.Get()).position, human ? 0u : 120u);
        // The timer starts again from zero after a reset; a computer racer's only grows.
        EXPECT_FLOAT_EQ(racer->slamTimer, human ? 0.0f : 0.6f);
        slam->Stop();
    }
}

} // namespace
