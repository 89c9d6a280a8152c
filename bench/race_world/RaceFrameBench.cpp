// The race frame. Twelve racers on the 20,000-triangle walled loop with the race rules running,
// the renderer on the Recording graphics device: the engine's CPU time per frame split into the
// computer drivers' step (AI_Task::Update), the physics step (CPPhysics::Update), the level
// updater (the race rules and the hand-over to the render block) and the renderer's frame, with
// the level updater against the physics step (the goal: at most 1). Beside it in the same run,
// the demo's race: "level1" of the game root with four racers, as the demo runs it, against the
// twelve-racer frame (the goal: at most 1), whole and for the race world's share alone (drivers,
// physics, level updater). The fixture's scenery is the loop itself, a placed object under a
// plain effect, so the renderer's frame draws it; the cars made in code draw nothing.
//
// Each frame is timed on the thread's CPU clock, part by part, in the kernel's order; the racers
// are released at the start moment and run for two seconds before the frames are counted.

#include <benchmark/benchmark.h>

#include <time.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "Framework/CommandRouter.h"
#include "Framework/PGlobalTimer.h"
#include "Framework/PLog.h"
#include "Framework/PMMObject.h"
#include "Framework/PSettings.h"
#include "Framework/PTaskKernel.h"
#include "Framework/PackFile.h"
#include "Framework/StartupRegistry.h"
#include "GameData/PGameData.h"
#include "Platform/Graphics/RecordingDevice.h"
#include "Platform/Math/D3DXMath.h"
#include "Platform/System/Paths.h"
#include "Platform/System/Random.h"
#include "Render/PEffectManager.h"
#include "Render/POrientedBox.h"
#include "Render/PPlanarShadowSource.h"
#include "Render/PRender.h"
#include "Render/PRenderObject.h"
#include "Render/PRenderSeams.h"
#include "Scene/PAnimationLibrary.h"
#include "Scene/SceneInterfaces.h"
#include "World/PAITask.h"
#include "World/PCar.h"
#include "World/PLevel.h"
#include "World/PPhysics.h"
#include "World/PPlayer.h"
#include "World/RaceWorldStartup.h"
#include "support/FreshStore.h"
#include "support/RaceFixture.h"
#include "support/RecordingRouter.h"
#include "support/RoadMesh.h"

namespace {

constexpr float kStep = 1.0f / 60.0f;
constexpr int kFrames = 1200;
constexpr int kWarmUpFrames = 120;

double CpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}

// Seconds of CPU per part, summed over the frames counted.
struct FrameParts {
    double drivers = 0.0;
    double physics = 0.0;
    double level = 0.0;
    double render = 0.0;
    double triangles = 0.0;
    double drawCalls = 0.0;
    int frames = 0;
    double Total() const { return drivers + physics + level + render; }
    // The race world's share: drivers, physics and the level updater with its hand-over.
    double World() const { return drivers + physics + level; }
};

// The figures of the last fixture frame, for the demo's ratios.
double g_fixtureFrameSeconds = 0.0;
double g_fixtureWorldSeconds = 0.0;

// The race world's tasks, the renderer on the Recording device and a loaded level, stepped one
// frame at a time in the kernel's order.
class RaceFrame {
public:
    RaceFrame() {
        CPLog::Instance().SetSink(nullptr);
        SetDirect3DBackend(D3DBackend::Recording);
        Platform::SetRecordingConfig(Platform::RecordingConfig());
        Platform::EngineSeed(1);
        m_oldWidth = g_screenWidth;
        m_oldHeight = g_screenHeight;
        g_screenWidth = 640;
        g_screenHeight = 480;
        InstallRaceWorld(m_registry);
    }
    ~RaceFrame() {
        if (level) level->Stop();
        delete level;
        level = nullptr;
        if (render) render->Stop();
        render = nullptr;
        for (int i = 0; i < 4; ++i) IPMMObject::CollectGarbage();
        SetPhysicDataMaker(nullptr);
        SetEnemyMaker(nullptr);
        SetRaceWorld(nullptr);
        SetPlanarShadowSource(nullptr);
        g_screenWidth = m_oldWidth;
        g_screenHeight = m_oldHeight;
        g_deltaTime = 0.0f;
        g_deltaTime2 = 0.0f;
    }
    RaceFrame(const RaceFrame&) = delete;
    RaceFrame& operator=(const RaceFrame&) = delete;

    // The renderer, once the game root with its effects is in place.
    bool StartRenderer() {
        effects = std::make_unique<CPEffectManager>();
        render = new CPRender();
        return render->Start();
    }

    // Starts the loaded level and flies the start camera to the start moment; then the racers
    // go and run the warm-up frames.
    bool StartRace() {
        if (!level || !level->IsLoaded() || !level->humanRacer) return false;
        level->Start();
        for (int i = 0; i < 60 * 60 && !level->startMomentDone; ++i) Frame(nullptr);
        if (!level->startMomentDone) return false;
        level->humanRacer->SetLocked(false);
        for (const CPSmartPtr<CPPlayer>& opponent : level->opponents)
            if (opponent) opponent->SetLocked(false);
        level->raceStarted = true;
        for (int i = 0; i < kWarmUpFrames; ++i) Frame(nullptr);
        return true;
    }

    void Frame(FrameParts* parts) {
        g_deltaTime = kStep;
        g_deltaTime2 = kStep;
        g_totalTime += kStep;
        ++g_frameNumber;
        kxtest::DriveHumanCarefully(*level, *humanDriver);
        const double t0 = CpuSeconds();
        drivers->Update();
        const double t1 = CpuSeconds();
        physics->Update();
        const double t2 = CpuSeconds();
        level->Update();
        const double t3 = CpuSeconds();
        render->Render();
        const double t4 = CpuSeconds();
        if (parts) {
            parts->drivers += t1 - t0;
            parts->physics += t2 - t1;
            parts->level += t3 - t2;
            parts->render += t4 - t3;
            parts->triangles += render->GetTrianglesDrawn();
            parts->drawCalls += render->GetDrawCalls();
            ++parts->frames;
        }
        if (Platform::IRecordingControl* control =
                render->GetDevice() ? Platform::RecordingControl(render->GetDevice()) : nullptr)
            control->ClearCalls();
        IPMMObject::CollectGarbage();
    }

    // The racers' positions, the human first, for the distance they cover.
    std::vector<D3DXVECTOR3> Positions() const {
        std::vector<D3DXVECTOR3> out;
        if (!level || !level->humanRacer) return out;
        out.push_back(level->humanRacer->GetPosition());
        for (const CPSmartPtr<CPPlayer>& opponent : level->opponents)
            if (opponent) out.push_back(opponent->GetPosition());
        return out;
    }

    // The physics and driver tasks the level was loaded with.
    CPSmartPtr<CPPhysics> physics;
    CPSmartPtr<AI_Task> drivers;
    CPSmartPtr<AI_Vehicle> humanDriver{new AI_Vehicle()};
    std::unique_ptr<CPEffectManager> effects;
    CPSmartPtr<CPRender> render;
    CPLevel* level = nullptr;

private:
    SPStartupRegistry m_registry;
    int m_oldWidth = 0;
    int m_oldHeight = 0;
};

// The racers' mean speed over the counted frames (straight-line steps between frames' ends are
// not summed: the start and end points only), so a frame of standing racers shows.
double MeanSpeed(const std::vector<D3DXVECTOR3>& from, const std::vector<D3DXVECTOR3>& to, int frames) {
    if (from.empty() || from.size() != to.size() || frames == 0) return 0.0;
    double sum = 0.0;
    for (std::size_t i = 0; i < from.size(); ++i) {
        const D3DXVECTOR3 d = to[i] - from[i];
        sum += std::sqrt(static_cast<double>(d.x) * d.x + static_cast<double>(d.y) * d.y);
    }
    return sum / static_cast<double>(from.size()) / (frames * static_cast<double>(kStep));
}

void Report(benchmark::State& state, const FrameParts& parts) {
    if (parts.frames == 0) return;
    const double n = parts.frames;
    state.counters["drivers_us"] = 1e6 * parts.drivers / n;
    state.counters["physics_us"] = 1e6 * parts.physics / n;
    state.counters["level_us"] = 1e6 * parts.level / n;
    state.counters["render_us"] = 1e6 * parts.render / n;
    state.counters["frame_us"] = 1e6 * parts.Total() / n;
    state.counters["world_us"] = 1e6 * parts.World() / n;
    state.counters["drawn_triangles"] = parts.triangles / n;
    state.counters["draw_calls"] = parts.drawCalls / n;
    state.counters["level_per_physics"] = parts.physics > 0.0 ? parts.level / parts.physics : 0.0;
}

// Twelve racers on the walled loop of 1,000 segments (20,000 triangles), radius 300, three
// checkpoints, two rounds.
// Runs the benchmark's frames of a started race and reports where their time went, the size
// of the field and how fast it moved.
FrameParts MeasureFrames(benchmark::State& state, RaceFrame& frame) {
    FrameParts parts;
    const std::vector<D3DXVECTOR3> before = frame.Positions();
    for (auto _ : state) frame.Frame(&parts);
    Report(state, parts);
    state.counters["racers"] = static_cast<double>(frame.level->opponents.size() + 1);
    state.counters["displacement_per_s"] = MeanSpeed(before, frame.Positions(), parts.frames);
    return parts;
}

void BM_RaceFrameTwelveRacers(benchmark::State& state) {
    kxtest::CamSpeed difficulty(10);
    auto race = std::make_unique<kxtest::RaceFixture>();
    race->road = kxtest::MakeWalledLoop(300.0f, 20.0f, 2.0f, 1000, 8);
    CPGameData& data = race->store.Data();
    data.levelSettings.racerCount = 12;
    data.levelSettings.setting9 = 1.0f;
    data.levelSettings.checkpointTimeBonus = 600.0f;
    data.roundCount = 2;
    data.levelStarted = true;
    race->store.Write("Data/Effects/error.fx", "technique T { pass P0 { } }\n");
    race->store.Write("Data/Effects/shad2.fx", "technique T { pass P0 { } }\n");
    kxtest::RacingLevelSpec spec;
    spec.radius = 300.0f;
    spec.segments = 64;
    spec.startPlaces = 12;
    {
        RaceFrame frame;
        if (!frame.StartRenderer()) {
            state.SkipWithError("the renderer did not start on the Recording device");
            return;
        }
        frame.physics = race->physics;
        frame.drivers = race->drivers;
        // The scenery the renderer draws: a placed object of the loop's triangles under a plain effect.
        race->store.Write("Data/Effects/simple.fx", "technique T { pass P0 { Lighting = true; } }\n");
        CPSmartPtr<CPMaterial> material;
        frame.effects->GetMaterial(material, CPLevel::kRoadKey, "simple.fx", {});
        const kxtest::RoadMesh* road = &race->road;
        race->models["scenery.rdf"] = [road, material] {
            CPSmartPtr<CPGameObject> scenery = kxtest::MakeMeshObject("scenery", *road);
            if (CPRenderObject* mesh = scenery->GetRenderObject()) mesh->SetEffect(material);
            scenery->SetBounds(CPOrientedBox(D3DXVECTOR3(0.0f, 0.0f, 0.0f), D3DXVECTOR3(320.0f, 320.0f, 5.0f)));
            return scenery;
        };
        kxtest::LevelFileWriter writer = kxtest::RaceFixture::RacingLevel(spec);
        writer.AddObject("scenery", 0.0f, 0.0f, 0.0f);
        if (!race->Load(writer, "level4")) {
            state.SkipWithError(race->level->GetLoadError().c_str());
            return;
        }
        frame.level = race->level;
        race->level = nullptr;
        if (!frame.StartRace()) {
            state.SkipWithError("the start moment never came");
            return;
        }
        const FrameParts parts = MeasureFrames(state, frame);
        state.counters["triangles"] = race->road.TriangleCount();
        g_fixtureFrameSeconds = parts.frames ? parts.Total() / parts.frames : 0.0;
        g_fixtureWorldSeconds = parts.frames ? parts.World() / parts.frames : 0.0;
    }
    race.reset();
    for (int i = 0; i < 4; ++i) IPMMObject::CollectGarbage();
}
BENCHMARK(BM_RaceFrameTwelveRacers)->Iterations(kFrames)->Unit(benchmark::kMicrosecond);

// The demo race: "level1" of the built game root (KX_DATA_DIR, or the environment's), its
// render descriptions through the animation library, packs mounted, four racers, two rounds,
// the player's car "runner".
void BM_RaceFrameDemo(benchmark::State& state) {
    namespace fs = std::filesystem;
    const char* env = std::getenv("KX_DATA_DIR");
    const std::string source = env && *env ? std::string(env) : std::string(KX_DATA_DIR);
    if (!fs::exists(fs::path(source) / "demo-manifest.txt")) {
        state.SkipWithError(("no demo game root at " + source + " (build the target game_root)").c_str());
        return;
    }
    kxtest::CamSpeed difficulty(10);
    auto store = std::make_unique<kxtest::FreshGameData>();
    std::error_code ec;
    fs::copy(source, store->Path(), fs::copy_options::recursive | fs::copy_options::overwrite_existing, ec);
    if (ec) {
        state.SkipWithError(ec.message().c_str());
        return;
    }
    Platform::GamePaths().SetRoot(store->Path());
    if (MountPacks() != S_OK) {
        state.SkipWithError("the demo's packs do not mount");
        return;
    }
    CPGameData& data = store->Data();
    data.levelSettings.racerCount = 4;
    data.levelSettings.setting9 = 1.0f;
    data.roundCount = 2;
    data.levelStarted = true;
    {
        kxtest::RecordingRouter router;
        SetCommandRouter(&router);
        CPTaskKernel kernel;
        RaceFrame frame;
        frame.physics = CPSmartPtr<CPPhysics>(new CPPhysics());
        frame.drivers = CPSmartPtr<AI_Task>(new AI_Task());
        CPAnimationLibrary library;
        CPLevel::SetModelLoader(
            [&library](const std::string& file, int key) { return library.LoadRenderDescription(file, key); });
        if (!frame.StartRenderer()) {
            state.SkipWithError("the renderer did not start on the Recording device");
        } else {
            frame.level = new CPLevel();
            frame.level->playerCarModel = "runner";
            if (!frame.level->Load("level1", false, false)) {
                state.SkipWithError(frame.level->GetLoadError().c_str());
            } else if (!frame.StartRace()) {
                state.SkipWithError("the start moment never came");
            } else {
                const FrameParts parts = MeasureFrames(state, frame);
                if (g_fixtureFrameSeconds > 0.0 && parts.frames > 0)
                    state.counters["demo_per_fixture"] = parts.Total() / parts.frames / g_fixtureFrameSeconds;
                if (g_fixtureWorldSeconds > 0.0 && parts.frames > 0)
                    state.counters["demo_world_per_fixture"] = parts.World() / parts.frames / g_fixtureWorldSeconds;
            }
        }
        if (frame.level) frame.level->Stop();
        delete frame.level;
        frame.level = nullptr;
        CPLevel::SetModelLoader(nullptr);
        SetCommandRouter(nullptr);
    }
    for (int i = 0; i < 4; ++i) IPMMObject::CollectGarbage();
    UnmountPacks();
}
BENCHMARK(BM_RaceFrameDemo)->Iterations(kFrames)->Unit(benchmark::kMicrosecond);

} // namespace
