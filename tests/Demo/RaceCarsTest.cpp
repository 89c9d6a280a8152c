// The demo's three car designs race the demo level: each, driven by the computer drivers on the
// demo's settings ("cam_speed" 10, level setting 9 at 1), goes two full rounds of "level1"
// without a respawn, the opponent design as a computer racer and the player's two designs under
// the player's careful driver; the lap times are printed.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "DemoRoot.h"
#include "Framework/CommandRouter.h"
#include "Framework/PGlobalTimer.h"
#include "Framework/PSettings.h"
#include "Framework/PTaskKernel.h"
#include "Framework/StartupRegistry.h"
#include "GameData/PGameData.h"
#include "Platform/Math/D3DXMath.h"
#include "Render/PPlanarShadowSource.h"
#include "Render/PRenderSeams.h"
#include "Scene/PAnimationLibrary.h"
#include "World/PAITask.h"
#include "World/PCar.h"
#include "World/PLevel.h"
#include "World/PPhysics.h"
#include "World/PPlayer.h"
#include "World/PSpline.h"
#include "World/RaceWorldStartup.h"
#include "support/RecordingRouter.h"

namespace demotest {
namespace {

constexpr float kStep = 1.0f / 60.0f;

class DemoRaceCars : public DemoRoot {
protected:
    void SetUp() override {
        DemoRoot::SetUp();
        if (HasFatalFailure()) return;
        SetCommandRouter(&router);
        InstallRaceWorld(registry);
        CPLevel::SetModelLoader(
            [this](const std::string& file, int key) { return library.LoadRenderDescription(file, key); });
        oldDelta = g_deltaTime;
        oldCamSpeed = g_cam_speed;
        g_deltaTime = kStep;
        // The demo's race settings.
        g_cam_speed = 10;
        store->levelSettings.setting9 = 1.0f;
    }
    void TearDown() override {
        if (level) {
            level->player = nullptr;
            level->Stop();
        }
        delete level;
        level = nullptr;
        g_deltaTime = oldDelta;
        g_cam_speed = oldCamSpeed;
        CPLevel::SetModelLoader(nullptr);
        SetCommandRouter(nullptr);
        SetPhysicDataMaker(nullptr);
        SetRaceWorld(nullptr);
        SetPlanarShadowSource(nullptr);
        for (int i = 0; i < 4; ++i) IPMMObject::CollectGarbage();
        DemoRoot::TearDown();
    }

    // "level1" with the human in the player's design and racers - 1 computer racers.
    bool Load(const std::string& playerCar, int racers) {
        store->levelSettings.racerCount = racers;
        store->playerName = playerCar;
        level = new CPLevel();
        level->playerCarModel = playerCar;
        if (!level->Load("level1", false, false)) return false;
        store->levelStarted = true;
        return level->humanRacer && level->centrePath && level->centrePath->GetLineCount() > 0;
    }

    // A fresh load in place of the last one.
    void Reload(const std::string& playerCar, int racers) {
        if (level) {
            level->player = nullptr;
            level->Stop();
            delete level;
            level = nullptr;
            for (int i = 0; i < 4; ++i) IPMMObject::CollectGarbage();
        }
        ASSERT_TRUE(Load(playerCar, racers)) << level->GetLoadError();
    }

    static D3DXVECTOR3 Forward(const CPPlayer& racer) {
        D3DXMATRIX m;
        D3DXMatrixRotationQuaternion(&m, &racer.GetRotationQuaternion());
        D3DXVECTOR3 f;
        const D3DXVECTOR3 back(0.0f, -1.0f, 0.0f);
        D3DXVec3TransformNormal(&f, &back, &m);
        return f;
    }
    static float SignedSpeed(const CPPlayer& racer) {
        const float speed = racer.GetCar() ? racer.GetCar()->GetSpeed() : 0.0f;
        return racer.IsThrottleForward() ? -speed : speed;
    }

    struct Outcome {
        std::vector<float> laps; // seconds per completed round
        int respawnFrame = -1;   // the frame of the first respawn, if any
        float rounds = 0.0f;     // rounds covered
        float topSpeed = 0.0f;
    };

    // Drives the racer (in the driver slot) round the route until it completes two rounds, it
    // respawns, or three minutes pass. Progress is counted in route pieces, so a short cut is
    // no lap. The player is taken to be ten pieces behind a leader (the careful flavour) or
    // ahead of a chaser (the plain one).
    Outcome Race(const CPSmartPtr<CPPlayer>& racer, int slot, bool leader = true) {
        Outcome out;
        CPSpline& route = *level->centrePath;
        const int pieces = route.GetLineCount();
        // The cars land on their wheels and the terrain queries find the road under them.
        for (int i = 0; i < 60; ++i) {
            physics->GetSimulator()->Advance(kStep, 1, nullptr);
            physics->SyncObjects();
        }
        racer->SetLocked(false);
        // No player on the road: a driver would also ray-test the player's own car.
        level->player = nullptr;
        int last = route.FindNearbyLine(racer->GetPosition())->index;
        int progress = 0;
        int lapStart = 0;
        for (int frame = 0; frame < 60 * 180 && out.laps.size() < 2; ++frame) {
            level->playerStartLine = route.GetLine((last + (leader ? 10 : pieces - 10)) % pieces);
            const float cooldown = racer->respawnCooldown;
            drivers->DriveVehicle(slot, CPSmartPtr<CPGameObject>(racer.Get()), Forward(*racer), SignedSpeed(*racer),
                                  racer, racer->cameraMin, racer->cameraMax);
            drivers->Update();
            racer->Update(kStep);
            physics->GetSimulator()->Advance(kStep, 1, nullptr);
            physics->SyncObjects();
            // A respawn starts its cooldown afresh.
            if (racer->respawnCooldown > cooldown) {
                out.respawnFrame = frame;
                break;
            }
            if (racer->GetCar()) out.topSpeed = std::max(out.topSpeed, racer->GetCar()->GetSpeed());
            const int here = route.FindNearbyLine(racer->GetPosition())->index;
            int step = here - last;
            if (step > pieces / 2) step -= pieces;
            if (step < -pieces / 2) step += pieces;
            // The route is driven toward lower piece numbers.
            progress -= step;
            last = here;
            if (progress >= pieces * static_cast<int>(out.laps.size() + 1)) {
                out.laps.push_back(static_cast<float>(frame + 1 - lapStart) * kStep);
                lapStart = frame + 1;
            }
            out.rounds = static_cast<float>(progress) / static_cast<float>(pieces);
        }
        return out;
    }

    static std::string Report(const char* design, const Outcome& out) {
        char text[160];
        std::snprintf(text, sizeof text, "%s: %zu rounds (%.2f covered, top speed %.1f), respawn at frame %d", design,
                      out.laps.size(), static_cast<double>(out.rounds), static_cast<double>(out.topSpeed),
                      out.respawnFrame);
        return text;
    }

    SPStartupRegistry registry;
    kxtest::RecordingRouter router;
    CPTaskKernel kernel;
    CPAnimationLibrary library;
    CPSmartPtr<CPPhysics> physics{new CPPhysics()};
    CPSmartPtr<AI_Task> drivers{new AI_Task()};
    CPLevel* level = nullptr;
    float oldDelta = 0.0f;
    int oldCamSpeed = 0;
};

TEST_F(DemoRaceCars, TheOpponentDesignDrivesTwoRoundsWithoutARespawn) {
    for (const bool leader : {true, false}) {
        SCOPED_TRACE(leader ? "leading" : "chasing");
        Reload("runner", 2);
        if (HasFatalFailure()) return;
        ASSERT_EQ(level->opponents.size(), 1u);
        const Outcome out = Race(level->opponents[0], 0, leader);
        ASSERT_EQ(out.laps.size(), 2u) << Report("raider", out);
        std::printf("[ demo laps ] raider (computer racer, %s): %.2f s, %.2f s\n", leader ? "leading" : "chasing",
                    static_cast<double>(out.laps[0]), static_cast<double>(out.laps[1]));
    }
}

TEST_F(DemoRaceCars, ThePlayersDesignsDriveTwoRoundsWithoutARespawn) {
    for (const char* design : {"runner", "hauler"}) {
        SCOPED_TRACE(design);
        Reload(design, 1);
        if (HasFatalFailure()) return;
        const Outcome out = Race(level->humanRacer, 0);
        ASSERT_EQ(out.laps.size(), 2u) << Report(design, out);
        std::printf("[ demo laps ] %s (player's careful driver): %.2f s, %.2f s\n", design,
                    static_cast<double>(out.laps[0]), static_cast<double>(out.laps[1]));
    }
}

// The demo's field: three computer racers start together from the grid and race two rounds
// with the player's car parked on its start place and the player's piece behind the grid, the
// drivers' flavours changing with their places against it; none respawns.
TEST_F(DemoRaceCars, ThreeComputerRacersRaceTwoRoundsTogether) {
    Reload("runner", 4);
    if (HasFatalFailure()) return;
    ASSERT_EQ(level->opponents.size(), 3u);
    CPSpline& route = *level->centrePath;
    const int pieces = route.GetLineCount();
    for (int i = 0; i < 60; ++i) {
        physics->GetSimulator()->Advance(kStep, 1, nullptr);
        physics->SyncObjects();
    }
    level->player = nullptr;
    // The player is taken to stay ten pieces behind the grid: on its own piece a driver would get
    // no inputs at all.
    level->playerStartLine =
        route.GetLine((route.FindNearbyLine(level->humanRacer->GetPosition())->index + 10) % pieces);
    std::vector<int> last, progress(3, 0), done(3, 0);
    std::vector<float> finish(3, 0.0f);
    for (const auto& racer : level->opponents) {
        racer->SetLocked(false);
        last.push_back(route.FindNearbyLine(racer->GetPosition())->index);
    }
    int frame = 0;
    for (; frame < 60 * 240 && (done[0] < 2 || done[1] < 2 || done[2] < 2); ++frame) {
        std::vector<float> cooldowns;
        for (std::size_t i = 0; i < 3; ++i) {
            const CPSmartPtr<CPPlayer>& racer = level->opponents[i];
            cooldowns.push_back(racer->respawnCooldown);
            drivers->DriveVehicle(static_cast<int>(i), CPSmartPtr<CPGameObject>(racer.Get()), Forward(*racer),
                                  SignedSpeed(*racer), racer, racer->cameraMin, racer->cameraMax);
        }
        drivers->Update();
        for (const auto& racer : level->opponents) racer->Update(kStep);
        physics->GetSimulator()->Advance(kStep, 1, nullptr);
        physics->SyncObjects();
        for (std::size_t i = 0; i < 3; ++i) {
            const CPSmartPtr<CPPlayer>& racer = level->opponents[i];
            ASSERT_FALSE(racer->respawnCooldown > cooldowns[i]) << "racer " << i << " at frame " << frame;
            const int here = route.FindNearbyLine(racer->GetPosition())->index;
            int step = here - last[i];
            if (step > pieces / 2) step -= pieces;
            if (step < -pieces / 2) step += pieces;
            progress[i] -= step;
            last[i] = here;
            if (done[i] < 2 && progress[i] >= pieces * (done[i] + 1)) {
                ++done[i];
                if (done[i] == 2) finish[i] = static_cast<float>(frame + 1) * kStep;
            }
        }
    }
    for (std::size_t i = 0; i < 3; ++i) ASSERT_EQ(done[i], 2) << "racer " << i << ": " << progress[i] << " pieces";
    std::printf("[ demo laps ] three computer racers together finish two rounds in %.2f s, %.2f s, %.2f s\n",
                static_cast<double>(finish[0]), static_cast<double>(finish[1]), static_cast<double>(finish[2]));
}

} // namespace
} // namespace demotest
