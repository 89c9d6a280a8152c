// What a script pays for calling an engine function: each function as the scripts see it
// (registered through the script-function tables, so every call passes the guard's engine-time
// accounting), the same bound function registered directly (the binding layer alone), and a
// hand-written lua_CFunction that reads the same arguments, does the same work on the same level
// and pushes the same results with the bare Lua C API. All three are called from the same Lua
// loop in one guarded script state, as the game makes them, in the same run, on a racing level
// whose checkpoints all lie near the player. The program prints, per function, the ratio of the
// scripts' call and of the direct call to the hand-written one, and the hand-written call's own
// cost.
//
// A function the script API does not register is skipped with a message rather than measured
// against nothing.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "Framework/PApplication.h"
#include "Framework/PLog.h"
#include "Framework/PSettings.h"
#include "Game/ScriptApi.h"
#include "Platform/Math/D3DXMath.h"
#include "Script/Lua.h"
#include "Script/ScriptBinding.h"
#include "Script/ScriptFunctions.h"
#include "Script/ScriptGuard.h"
#include "World/PLevel.h"
#include "World/PMiniMap.h"
#include "World/PPlayer.h"
#include "World/PRaceCamera.h"
#include "support/RaceFixture.h"

namespace {

constexpr int kCallsPerBatch = 1000;
constexpr float kPi = 3.14159265358979f;

// ---- the hand-written references ----------------------------------------------------------

int BareGetPlayerSpeed(lua_State* L) {
    CPLevel* level = CPLevel::GetInstance();
    lua_pushnumber(L, level ? level->playerSpeed : 0.0f);
    return 1;
}

// The racer a light userdata names, as every bound function resolves it.
CPPlayer* BareRacer(lua_State* L, int index) {
    if (lua_type(L, index) != LUA_TLIGHTUSERDATA) return nullptr;
    const auto value = reinterpret_cast<std::uintptr_t>(lua_touserdata(L, index));
    if (value > std::numeric_limits<std::uint32_t>::max()) return nullptr;
    return IPMMObject::FindByHandle<CPPlayer>(static_cast<PMMHandle>(value));
}

int BareSetCarParams(lua_State* L) {
    CPPlayer* racer = BareRacer(L, 1);
    const double throttle = lua_tonumber(L, 2);
    const double steering = lua_tonumber(L, 3);
    // As the bound function: inputs that are not finite change nothing, the rest is clamped.
    if (racer && std::isfinite(throttle) && std::isfinite(steering))
        racer->SetCarParams(static_cast<float>(std::clamp(throttle, -1.0, 1.0)),
                            static_cast<float>(std::clamp(steering, -1.0, 1.0)));
    return 0;
}

bool TurnedBack(int levelNumber) {
    return levelNumber == 2 || levelNumber == 3 || levelNumber == 4 || levelNumber == 8 || levelNumber == 9 ||
           levelNumber == 10;
}

bool Near(const SPCheckpoint& checkpoint, const D3DXVECTOR3& at) {
    if (!checkpoint.object) return false;
    const D3DXVECTOR3& p = checkpoint.object->GetPosition();
    const float dx = p.x - at.x;
    const float dy = p.y - at.y;
    return dx * dx + dy * dy < 40000.0f;
}

// The count of near checkpoints times five, and a table of five numbers per near checkpoint:
// its mini-map position, its arrow's angle, whether it is next, and its order mark.
int BareGetChekpointPositions(lua_State* L) {
    CPLevel* level = CPLevel::GetInstance();
    CPPlayer* player = level ? level->player : nullptr;
    if (!player) return 0;
    const bool hasMap = static_cast<bool>(level->miniMap);
    const float scale = hasMap ? level->miniMap->mapScale * level->mapZoom : 1.0f;
    const float extent = std::max(level->terrainExtentX, level->terrainExtentY);
    const float cameraAngle = level->camera ? level->camera->targetYaw : 0.0f;
    D3DXVECTOR3 heading(level->playerHeading.x, level->playerHeading.y, 0.0f);
    D3DXVec3Normalize(&heading, &heading);
    const D3DXVECTOR3 at = player->GetPosition();

    int count = 0;
    for (const SPCheckpoint& checkpoint : level->checkpoints)
        if (Near(checkpoint, at)) ++count;
    lua_pushnumber(L, 5.0 * count);

    D3DXMATRIX turn;
    D3DXMatrixRotationZ(&turn, -(cameraAngle + kPi / 2.0f));
    const float mapFactor = hasMap ? g_interfaceScale * 100.0f / (extent * scale) : 1.0f;
    const int total = static_cast<int>(level->checkpoints.size());
    const int next = level->nextCheckpoint;
    lua_newtable(L);
    int slot = 0;
    for (int k = 0; k < total; ++k) {
        const SPCheckpoint& checkpoint = level->checkpoints[static_cast<std::size_t>(k)];
        if (!Near(checkpoint, at)) continue;
        const D3DXVECTOR3& p = checkpoint.object->GetPosition();
        const D3DXVECTOR3 relative(p.x - at.x, p.y - at.y, 0.0f);
        D3DXVECTOR3 r;
        D3DXVec3TransformCoord(&r, &relative, &turn);
        if (hasMap) r *= mapFactor;
        lua_pushnumber(L, g_interfaceScale * 140.0f + r.x + g_interfaceOffsetX);
        lua_rawseti(L, -2, ++slot);
        lua_pushnumber(L, static_cast<float>(g_screenHeight) - g_interfaceScale * 100.0f + r.y);
        lua_rawseti(L, -2, ++slot);

        D3DXMATRIX rotation;
        const D3DXQUATERNION q = checkpoint.object->GetRotationQuaternion();
        D3DXMatrixRotationQuaternion(&rotation, &q);
        const D3DXVECTOR3 side(-1.0f, 0.0f, 0.0f);
        D3DXVECTOR3 direction;
        D3DXVec3TransformCoord(&direction, &side, &rotation);
        direction.z = 0.0f;
        D3DXVec3Normalize(&direction, &direction);
        const float dot = std::clamp(direction.x * heading.x + direction.y * heading.y, -1.0f, 1.0f);
        float angle = std::fabs(std::acos(dot));
        if (direction.y * heading.x - heading.y * direction.x < 0.0f) angle = -angle;
        if (TurnedBack(level->levelNumber)) angle += kPi;
        lua_pushnumber(L, angle);
        lua_rawseti(L, -2, ++slot);
        lua_pushnumber(L, k == next ? 1.0 : 0.0);
        lua_rawseti(L, -2, ++slot);
        lua_pushnumber(L, next != 0 && next <= total / 2 ? -1.0 : static_cast<double>(k));
        lua_rawseti(L, -2, ++slot);
    }
    return 2;
}

int Empty(lua_State*) { return 0; }

// ---- the world ----------------------------------------------------------------------------

// A racing level whose five checkpoints all lie within reach of the player's start place, the
// whole script API in one Lua state, and the hand-written functions beside it.
struct World {
    World() {
        CPLog::Instance().SetSink(nullptr);
        ComputeInterfaceScale(g_screenWidth, g_screenHeight);
        kxtest::RacingLevelSpec spec;
        spec.radius = 60.0f;
        spec.checkpoints = 5;
        race = std::make_unique<kxtest::RaceFixture>();
        loaded = race->Load(kxtest::RaceFixture::RacingLevel(spec));
        if (loaded) race->level->playerHeading = D3DXVECTOR3(0.3f, -1.0f, 0.0f);

        L = guard.NewState();
        luaL_openlibs(L);
        Script::ScriptFunctionTables tables;
        ScriptApi::InstallScriptApi(tables);
        tables.RegisterInto(L);
        // The bound functions once more, each under its name with "Direct" before it, outside
        // the tables' registration.
        for (int t = 0; t < Script::ScriptFunctionTables::kTableCount; ++t)
            for (const Script::ScriptFunction& entry : tables.Table(t))
                lua_register(L, (std::string("Direct") + entry.name).c_str(), entry.function);
        lua_register(L, "BareGetPlayerSpeed", BareGetPlayerSpeed);
        lua_register(L, "BareSetCarParams", BareSetCarParams);
        lua_register(L, "BareGetChekpointPositions", BareGetChekpointPositions);
        lua_register(L, "Empty", Empty);
        CPPlayer* player = loaded ? race->level->player : nullptr;
        lua_pushlightuserdata(L, Script::HandleToUserdata(player ? player->GetHandle() : 0));
        lua_setglobal(L, "player");
    }
    ~World() {
        lua_close(L);
        race.reset();
    }
    World(const World&) = delete;
    World& operator=(const World&) = delete;

    bool Registered(const char* name) {
        lua_getglobal(L, name);
        const bool function = lua_isfunction(L, -1);
        lua_pop(L, 1);
        return function;
    }

    // A Lua function of n that calls the named function n times with the arguments given as
    // Lua source; referenced in the registry.
    int Loop(const std::string& function, const std::string& arguments) {
        const std::string source = "local f = " + function +
                                   "\n"
                                   "return function(n) for i = 1, n do f(" +
                                   arguments + ") end end\n";
        if (luaL_loadstring(L, source.c_str()) != 0 || lua_pcall(L, 0, 1, 0) != 0) {
            std::fprintf(stderr, "%s\n", lua_tostring(L, -1));
            lua_pop(L, 1);
            return LUA_NOREF;
        }
        return luaL_ref(L, LUA_REGISTRYINDEX);
    }

    std::unique_ptr<kxtest::RaceFixture> race;
    bool loaded = false;
    Script::ScriptGuard guard;
    lua_State* L = nullptr;
};

World& TheWorld() {
    static World world;
    return world;
}

// What one case measures: a function, its hand-written twin, and the arguments both get.
struct Case {
    const char* function;
    const char* bare;
    const char* arguments;
};

const Case kCases[] = {
    {"GetPlayerSpeed", "BareGetPlayerSpeed", ""},
    {"SetCarParams", "BareSetCarParams", "player, 0.75, -0.25"},
    {"GetChekpointPositions", "BareGetChekpointPositions", ""},
};

void RunLoop(benchmark::State& state, const std::string& function, const std::string& arguments) {
    World& world = TheWorld();
    if (!world.loaded) {
        state.SkipWithError("the racing level did not load");
        return;
    }
    if (!world.Registered(function.c_str())) {
        state.SkipWithError((function + " is not registered").c_str());
        return;
    }
    const int loop = world.Loop(function, arguments);
    if (loop == LUA_NOREF) {
        state.SkipWithError("the call loop did not compile");
        return;
    }
    lua_State* L = world.L;
    for (auto _ : state) {
        // A run of the script as the engine starts one: the guard's clock begins again.
        world.guard.BeginRun();
        lua_rawgeti(L, LUA_REGISTRYINDEX, loop);
        lua_pushnumber(L, kCallsPerBatch);
        lua_call(L, 1, 0);
    }
    luaL_unref(L, LUA_REGISTRYINDEX, loop);
    state.SetItemsProcessed(state.iterations() * kCallsPerBatch);
}

void BM_Scripted(benchmark::State& state, const Case& c) { RunLoop(state, c.function, c.arguments); }
void BM_Direct(benchmark::State& state, const Case& c) {
    RunLoop(state, std::string("Direct") + c.function, c.arguments);
}
void BM_Bare(benchmark::State& state, const Case& c) { RunLoop(state, c.bare, c.arguments); }
void BM_EmptyCall(benchmark::State& state) { RunLoop(state, "Empty", ""); }

// The three side by side, several times over: the machine's load drifts, and the lowest of
// the repetitions is the figure least disturbed by it.
constexpr int kRepetitions = 5;

void RegisterCases() {
    for (const Case& c : kCases) {
        benchmark::RegisterBenchmark((std::string("Scripted/") + c.function).c_str(), BM_Scripted, c)
            ->Repetitions(kRepetitions);
        benchmark::RegisterBenchmark((std::string("Direct/") + c.function).c_str(), BM_Direct, c)
            ->Repetitions(kRepetitions);
        benchmark::RegisterBenchmark((std::string("Bare/") + c.function).c_str(), BM_Bare, c)
            ->Repetitions(kRepetitions);
    }
    benchmark::RegisterBenchmark("Bare/EmptyCall", BM_EmptyCall)->Repetitions(kRepetitions);
}

class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            if (run.run_type != Run::RT_Iteration || run.error_occurred) continue;
            // CPU time: the machine is shared, and wall time counts the waits for a core.
            const double perCall = run.GetAdjustedCPUTime() / kCallsPerBatch;
            const std::string name = run.run_name.function_name;
            auto it = best.find(name);
            if (it == best.end() || perCall < it->second) best[name] = perCall;
        }
        ConsoleReporter::ReportRuns(runs);
    }
    void Finalize() override {
        ConsoleReporter::Finalize();
        std::printf("\nPer call from Lua, lowest of %d repetitions (%s):\n", kRepetitions, "ns");
        if (best.count("Bare/EmptyCall")) std::printf("  an empty C function: %.1f ns\n", best["Bare/EmptyCall"]);
        for (const Case& c : kCases) {
            const std::string scripted = std::string("Scripted/") + c.function;
            const std::string direct = std::string("Direct/") + c.function;
            const std::string bare = std::string("Bare/") + c.function;
            if (!best.count(scripted) || !best.count(direct) || !best.count(bare) || best[bare] <= 0.0) {
                std::printf("  %-22s not measured\n", c.function);
                continue;
            }
            std::printf("  %-22s as scripts call it %.1f ns, bound function alone %.1f ns, hand-written %.1f ns;"
                        " ratios %.3f and %.3f (target 1.2)\n",
                        c.function, best[scripted], best[direct], best[bare], best[scripted] / best[bare],
                        best[direct] / best[bare]);
        }
    }

private:
    std::map<std::string, double> best;
};

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    RegisterCases();
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
