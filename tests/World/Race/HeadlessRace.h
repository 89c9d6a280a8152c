#pragma once
// A whole race run headless in the task kernel: a walled ring road with its route, start
// places, posts, checkpoints and flags; one computer opponent and the human's car driven by a
// careful computer driver of the test's own; the frame timer on a fake clock of 1/60 s a pass,
// the Recording graphics device under the renderer, the null audio backend; and the game's
// scripts, each a real Lua script in the kernel that keeps every command it reads in a list.
// A router in front of the script manager numbers every command as it is sent.

#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "Framework/CommandRouter.h"
#include "Framework/PGlobalTimer.h"
#include "Framework/PMMObject.h"
#include "Framework/PSettings.h"
#include "Framework/PTaskKernel.h"
#include "Framework/StartupRegistry.h"
#include "Game/ScriptApi.h"
#include "GameData/PGameData.h"
#include "Platform/Audio/NullAudio.h"
#include "Platform/Graphics/RecordingDevice.h"
#include "Platform/Math/D3DXMath.h"
#include "Platform/System/Clock.h"
#include "Platform/System/Random.h"
#include "Render/PEffectManager.h"
#include "Render/POrientedBox.h"
#include "Render/PPlanarShadowSource.h"
#include "Render/PRender.h"
#include "Render/PRenderSeams.h"
#include "Scene/SceneInterfaces.h"
#include "Script/Lua.h"
#include "Script/PLuaScript.h"
#include "Script/PScriptManager.h"
#include "Script/ScriptFunctions.h"
#include "Sound/NAudio.h"
#include "Sound/NSound.h"
#include "World/PAITask.h"
#include "World/PCar.h"
#include "World/PLevel.h"
#include "World/PPlayer.h"
#include "World/PSpline.h"
#include "World/RaceWorldStartup.h"
#include "support/FreshStore.h"
#include "support/RaceFixture.h"
#include "support/RecordingRouter.h"
#include "support/RoadMesh.h"

namespace kxrace {

// The scripts of a race and the list line of each: kind and categories.
struct ScriptLine {
    const char* name;
    const char* line;
};
inline const std::vector<ScriptLine>& RaceScripts() {
    static const std::vector<ScriptLine> scripts = {
        {"main", "t_system main"},
        {"gamemenu", "t_interface interface"},
        {"game_interface", "t_interface interface"},
        {"jeep", "t_level level"},
        {"stripes_new", "t_interface interface"},
        {"new_achievement", "t_interface interface"},
        {"helper", "t_interface interface"},
    };
    return scripts;
}

// Every script reads its commands as the game's scripts do and keeps each as
// "command|param|param..." in the global list "received".
constexpr const char* kListeningScript = "received = {}\n"
                                         "local count = 0\n"
                                         "while true do\n"
                                         "  while SetNextCommand(globalObject) do\n"
                                         "    local entry = GetCurrentCommand(globalObject)\n"
                                         "    local params = {GetCurrentParams(globalObject)}\n"
                                         "    for i = 1, table.getn(params) do entry = entry .. '|' .. params[i] end\n"
                                         "    count = count + 1\n"
                                         "    received[count] = entry\n"
                                         "  end\n"
                                         "  Update()\n"
                                         "end\n";

// The racers' car: four wheels, firm springs and dampers, grip at the back, a top speed of 31.
constexpr const char* kRaceCar =
    "<physics>"
    "<geometry><wheels count=\"4\" x=\"0\" y=\"0\" length=\"1.5\" radius=\"0.5\"/></geometry>"
    "<params>"
    "<wheels spring1=\"140\" spring2=\"150\" damping=\"150\"/>"
    "<speed max_front_speed=\"31\" max_rear_speed=\"15\" angle=\"0.5\"/>"
    "<friction front=\"100\" back=\"240\" slide=\"0.9\"/>"
    "<acceleration front=\"100\" back=\"100\" brake=\"110\" accel_front=\"1\" accel_back=\"1\" "
    "speed_front=\"1\" speed_back=\"1\"/>"
    "<inertion yaw=\"0\" pitch=\"0.1\"/>"
    "</params>"
    "<gearbox><gears>"
    "<gear coeff=\"0\" min=\"-1\" max=\"0\" change=\"0\" inc=\"1\"/>"
    "<gear coeff=\"3\" min=\"1\" max=\"3\" change=\"3\" inc=\"1\"/>"
    "<gear coeff=\"2\" min=\"1.5\" max=\"4\" change=\"10\" inc=\"0.8\"/>"
    "<gear coeff=\"2.1\" min=\"2\" max=\"5\" change=\"15\" inc=\"0.6\"/>"
    "<gear coeff=\"2.2\" min=\"2.5\" max=\"6\" change=\"20\" inc=\"0.4\"/>"
    "</gears>"
    "<backgear coeff=\"-1\" min=\"1\" max=\"3\"/>"
    "<enginespeedcoeffs inc=\"1\" dec=\"5\"/>"
    "</gearbox>"
    "</physics>"
    "<camera distance=\"7.5\" height=\"2.4\" angle=\"0.22\" angle_div=\"8\" distance_div=\"6\" fov=\"60\" "
    "fov_div=\"40\" min=\"5\" max=\"11\"/>"
    "<camera2 distance=\"4.5\" height=\"1.6\" angle=\"0.12\" angle_div=\"6\" distance_div=\"5\" fov=\"66\"/>";

// What the road and its route look like. The route is a ring of the given radius (its pieces
// follow from the length), the road a walled ring of the given width along it. The road is
// narrow and its walls high: the cars keep within reach of every checkpoint, and a car that
// meets a wall at speed stays on the road.
struct RaceTrack {
    float radius = 70.0f;
    int routeSegments = 40;
    float roadWidth = 16.0f;
    float wallHeight = 8.0f;
    int roadSegments = 200;
    // The checkpoint gate's half width: the gate is as wide as the road, so any car on the road
    // passes through it.
    float gateHalfWidth = 8.0f;
    float checkpointTimeBonus = 60.0f;
    // Both cars: a light car held to 31 units a second forward, with firm springs.
    std::string carDescription = kRaceCar;
};

// A racer's pose as bits, for comparing two runs exactly.
struct Pose {
    float values[7] = {0, 0, 0, 0, 0, 0, 0};
    static Pose Of(const CPPlayer& racer) {
        Pose p;
        const D3DXVECTOR3& at = racer.GetPosition();
        const D3DXQUATERNION& q = racer.GetRotationQuaternion();
        const float v[7] = {at.x, at.y, at.z, q.x, q.y, q.z, q.w};
        std::memcpy(p.values, v, sizeof v);
        return p;
    }
    bool operator==(const Pose& o) const { return std::memcmp(values, o.values, sizeof values) == 0; }
};

// A numbered send: its number is its position in the router's list.
struct NumberedSend {
    int number = 0;
    kxtest::SentCommand sent;
};

// What one race left behind.
struct RaceResult {
    bool loaded = false;
    std::string loadError;
    int routePieces = 0;
    // Passes run in all, the pass of the start moment, and of the result (-1: none).
    int passes = 0;
    int startPass = -1;
    int resultPass = -1;
    // The pass at which each round of the human and of the opponent was completed.
    std::vector<int> humanRounds;
    std::vector<int> opponentRounds;
    std::vector<kxtest::SentCommand> sent;
    // Per script, the commands it read, as "command|param|...".
    std::map<std::string, std::vector<std::string>> received;
    std::vector<Pose> finalPoses;
    std::array<int, 3> podium{{-1, -1, -1}};
    int humanRespawns = 0;
    int opponentRespawns = 0;
};

// The human's driver: the computer drivers' careful flavour, fed with the human's state as the
// race rules feed slot 11 once a race is over, and stepped after the opponents' drivers. It
// hands over to slot 11 when the race ends.
class HumanDriver : public IPTask {
public:
    explicit HumanDriver(CPLevel& level) : m_level(level) { vehicle = new AI_Vehicle(); }
    int GetSize() const override { return static_cast<int>(sizeof(HumanDriver)); }
    std::string GetClassName() const override { return "HumanDriver"; }
    int GetKind() const override { return 1; }
    void Update() override { kxtest::DriveHumanCarefully(m_level, *vehicle); }
    CPSmartPtr<AI_Vehicle> vehicle;

private:
    CPLevel& m_level;
};

// Runs one race from the load to a few passes after the human's result (or the pass limit).
inline RaceResult RunRace(const RaceTrack& track, int passLimit, std::uint32_t seed = 20261211u) {
    RaceResult result;
    // One pass is 1/60 s exactly: 10,000 ticks of a 600,000-tick counter.
    Platform::FakeClock clock(600000);
    Platform::SetClock(&clock);
    clock.AdvanceSeconds(3.0);
    Platform::EngineSeed(seed);
    CPLevel::ResetSharedObjectStep();
    g_deltaTime = 0.0f;
    g_deltaTime2 = 0.0f;
    g_timeScale = 1.0f;
    g_totalTime = 0.0;
    const int oldWidth = g_screenWidth, oldHeight = g_screenHeight, oldFlares = g_lensflare;
    g_screenWidth = 320;
    g_screenHeight = 240;
    g_lensflare = 0;
    kxtest::CamSpeed difficulty(10);
    SetDirect3DBackend(D3DBackend::Recording);
    Platform::SetRecordingConfig(Platform::RecordingConfig());
    Platform::Audio::ScopedNullAudio nullAudio;
    CNSound::SetGlobalFrequencyFactor(1.0f);
    {
        auto race = std::make_unique<kxtest::RaceFixture>();
        SPStartupRegistry registry;
        InstallRaceWorld(registry);
        CNAudio audio;
        audio.Init(nullptr);

        // The road: a walled ring under the route, and checkpoint gates as wide as the road.
        race->carDescription = track.carDescription;
        race->road = kxtest::MakeWalledLoop(track.radius, track.roadWidth, track.wallHeight, track.roadSegments, 8);
        const float gate = track.gateHalfWidth;
        race->models["checkpoint.rdf"] = [gate] {
            CPSmartPtr<CPGameObject> checkpoint = kxtest::MakeBoxObject("checkpoint");
            checkpoint->SetBounds(CPOrientedBox(D3DXVECTOR3(0.0f, 0.0f, 0.0f), D3DXVECTOR3(gate, 1.0f, 2.0f)));
            return checkpoint;
        };
        CPGameData& data = race->store.Data();
        data.levelSettings.racerCount = 2;
        data.levelSettings.setting9 = 1.0f;
        data.levelSettings.nitroGainFactor = 1.0f;
        data.levelSettings.checkpointTimeBonus = track.checkpointTimeBonus;
        data.roundCount = 2;
        data.levelStarted = true;

        // The scripts, with the command functions of the game layer; a router numbers every send
        // and hands it on to the script manager.
        race->store.Write("Data/Effects/error.fx", "technique T { pass P0 { } }\n");
        race->store.Write("Data/Effects/shad2.fx", "technique T { pass P0 { } }\n");
        std::string list;
        for (const ScriptLine& s : RaceScripts()) {
            race->store.Write(std::string("Data/Scripts/") + s.name + ".lua", kListeningScript);
            list += std::string(s.name) + " " + s.line + "\n";
        }
        race->store.Write("Data/Scripts/list.dat", list);
        Script::GetScriptFunctionTables().Clear();
        ScriptApi::AddObjectAndCommandFunctions(Script::GetScriptFunctionTables());
        auto manager = std::make_unique<CPScriptManager>();
        kxtest::RecordingRouter numbering;
        numbering.onSent = [&manager](const kxtest::SentCommand& c) {
            switch (c.route) {
            case kxtest::Route::Name: manager->SendCommandByName(c.target, c.command, c.params); break;
            case kxtest::Route::Category: manager->SendCommandByCategory(c.target, c.command, c.params); break;
            case kxtest::Route::Object: manager->SendCommandByObject(c.script, c.command, c.params); break;
            }
        };
        SetCommandRouter(&numbering);
        std::vector<CPSmartPtr<CPLuaScript>> scripts;
        if (manager->LoadScriptList()) {
            for (const ScriptLine& s : RaceScripts()) {
                CPSmartPtr<CPLuaScript> script = manager->GetScript(s.name);
                if (!script) continue;
                script->SetPriority(20);
                race->kernel.AddTask(CPSmartPtr<IPTask>(script.Get()));
                scripts.push_back(script);
            }
        }

        // The frame timer first, the renderer last, as the application has them.
        CPSmartPtr<CPGlobalTimer> timer(new CPGlobalTimer());
        race->kernel.AddTask(CPSmartPtr<IPTask>(timer.Get()));
        auto effects = std::make_unique<CPEffectManager>();
        CPSmartPtr<CPRender> render(new CPRender());
        render->SetPriority(10000);
        race->kernel.AddTask(CPSmartPtr<IPTask>(render.Get()));

        kxtest::RacingLevelSpec spec;
        spec.radius = track.radius;
        spec.segments = track.routeSegments;
        result.loaded = race->Load(kxtest::RaceFixture::RacingLevel(spec), "level1");
        CPLevel* level = race->level;
        result.loadError = level->GetLoadError();
        if (result.loaded && level->humanRacer && level->centrePath) {
            result.routePieces = level->centrePath->GetLineCount();
            level->Start();
            CPSmartPtr<HumanDriver> driver(new HumanDriver(*level));
            driver->SetPriority(110);
            race->kernel.AddTask(CPSmartPtr<IPTask>(driver.Get()));

            // The opponent's progress record appears with its first measure.
            const auto opponentRound = [&data] {
                auto it = data.racerLaps.find("0");
                return it == data.racerLaps.end() ? -1 : it->second.currentLap;
            };
            int humanRound = data.playerLap.currentLap;
            int otherRound = opponentRound();
            bool humanRespawning = false, opponentRespawning = false;
            int pass = 0;
            for (; pass < passLimit; ++pass) {
                clock.AdvanceTicks(10000);
                race->kernel.RunPass();
                if (Platform::IRecordingControl* control =
                        render->GetDevice() ? Platform::RecordingControl(render->GetDevice()) : nullptr)
                    control->ClearCalls();
                // The race script's part after its countdown: the racers go and the race clock runs.
                if (result.startPass < 0 && level->startMomentDone) {
                    result.startPass = pass;
                    level->humanRacer->SetLocked(false);
                    for (const CPSmartPtr<CPPlayer>& opponent : level->opponents)
                        if (opponent) opponent->SetLocked(false);
                    level->raceStarted = true;
                }
                if (data.playerLap.currentLap != humanRound) {
                    humanRound = data.playerLap.currentLap;
                    result.humanRounds.push_back(pass);
                }
                if (opponentRound() != otherRound) {
                    if (otherRound >= 0) result.opponentRounds.push_back(pass);
                    otherRound = opponentRound();
                }
                const bool h = level->humanRacer->respawnCooldown > 0.0f;
                if (h && !humanRespawning) ++result.humanRespawns;
                humanRespawning = h;
                const bool o = !level->opponents.empty() && level->opponents[0]->respawnCooldown > 0.0f;
                if (o && !opponentRespawning) ++result.opponentRespawns;
                opponentRespawning = o;
                if (result.resultPass < 0 && level->resultDecided && level->raceOver) result.resultPass = pass;
                // A few passes more, so that the last commands reach their scripts.
                if (result.resultPass >= 0 && pass >= result.resultPass + 10) {
                    ++pass;
                    break;
                }
            }
            result.passes = pass;
            result.podium = level->podium;
            result.finalPoses.push_back(Pose::Of(*level->humanRacer));
            for (const CPSmartPtr<CPPlayer>& opponent : level->opponents)
                if (opponent) result.finalPoses.push_back(Pose::Of(*opponent));
            driver->Stop();
        }

        result.sent = numbering.sent;
        for (const CPSmartPtr<CPLuaScript>& script : scripts) {
            std::vector<std::string>& out = result.received[script->GetName()];
            lua_State* L = script->GetMainState();
            if (!L) continue;
            lua_getglobal(L, "received");
            if (lua_istable(L, -1)) {
                for (int i = 1;; ++i) {
                    lua_rawgeti(L, -1, i);
                    if (!lua_isstring(L, -1)) {
                        lua_pop(L, 1);
                        break;
                    }
                    out.push_back(lua_tostring(L, -1));
                    lua_pop(L, 1);
                }
            }
            lua_pop(L, 1);
        }

        // Down in the application's order: the level, the tasks, the scripts, the renderer.
        if (race->level) race->level->Stop();
        delete race->level;
        race->level = nullptr;
        race->kernel.KillAllTasks();
        race->kernel.RunPass();
        scripts.clear();
        SetCommandRouter(manager.get());
        manager.reset();
        SetCommandRouter(nullptr);
        render->Stop();
        render = nullptr;
        timer = nullptr;
        for (int i = 0; i < 4; ++i) IPMMObject::CollectGarbage();
        race.reset();
        for (int i = 0; i < 4; ++i) IPMMObject::CollectGarbage();
        effects.reset();
        SetPhysicDataMaker(nullptr);
        SetEnemyMaker(nullptr);
        SetRaceWorld(nullptr);
        SetPlanarShadowSource(nullptr);
        for (int i = 0; i < 4; ++i) IPMMObject::CollectGarbage();
    }
    Script::GetScriptFunctionTables().Clear();
    g_screenWidth = oldWidth;
    g_screenHeight = oldHeight;
    g_lensflare = oldFlares;
    g_deltaTime = 0.0f;
    g_deltaTime2 = 0.0f;
    g_timeScale = 1.0f;
    Platform::SetClock(nullptr);
    return result;
}

} // namespace kxrace
