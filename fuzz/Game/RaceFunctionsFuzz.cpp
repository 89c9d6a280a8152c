// The race script functions driven directly: every function of the race families (taken from
// their registration tables, the level's making, starting, stopping and deleting included) called in an order and with arguments chosen by the input (nil,
// booleans, hostile numbers, any bytes as text, tables, handles of racers, interfaces, scene
// objects, dead and made-up handles, and extra arguments), with a fixture level loaded by the
// real loader (a ring route, checkpoints, a hint, seven racers with cars in the physics world,
// the race camera and the mini map) or without one, with or without a renderer and a
// head-up-display layout. Between calls the input may step the physics or load the level again.
//
// Input: a set-up byte (bit 0 the level, bit 1 the renderer, bit 2 the layout), then calls, each
// [function byte][control byte][arguments...]; the control byte's low three bits give the
// argument count, bit 6 loads the level again, bit 7 runs a physics step after the call. Each
// argument is [kind byte][its bytes].
//
// Checked for every input: the tuning index stays within the table, and the racers' bodies stay
// finite however the impulses and controls were asked for. A script may replace or delete the
// fixture level; the harness always works on the current one.

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "Framework/CommandRouter.h"
#include "Framework/PLog.h"
#include "Framework/PMMObject.h"
#include "Framework/PSettings.h"
#include "FuzzModels.h"
#include "FuzzSupport.h"
#include "Game/PInterface.h"
#include "Game/ScriptRaceControl.h"
#include "Game/ScriptRaceHud.h"
#include "Game/ScriptRoute.h"
#include "GameData/PGameData.h"
#include "Physics/RbBody.h"
#include "Render/PRender.h"
#include "Render/PRenderObject.h"
#include "Scene/PGameObject.h"
#include "Script/Lua.h"
#include "Script/ScriptBinding.h"
#include "Script/ScriptFunctions.h"
#include "ScriptArguments.h"
#include "World/PAITask.h"
#include "World/PCar.h"
#include "World/PLevel.h"
#include "World/PMiniMap.h"
#include "World/PPhysicData.h"
#include "World/PPhysics.h"
#include "World/PPlayer.h"
#include "World/PRaceCamera.h"

namespace {

constexpr int kMaxCalls = 64;
constexpr int kRacers = 7;

// The race families, by their registration functions.
using FamilyAdder = void (*)(Script::ScriptFunctionTables&);
const FamilyAdder kFamilies[] = {
    ScriptApi::AddRaceHudFunctions,
    ScriptApi::AddRouteFunctions,
    ScriptApi::AddRaceControlFunctions,
};

using kxfuzz::Input;

const double kNumbers[] = {0.0,
                           -0.0,
                           1.0,
                           -1.0,
                           0.5,
                           2.0,
                           8.0,
                           17.0,
                           18.0,
                           19.0,
                           100.0,
                           200.0,
                           1e4,
                           2147483647.0,
                           2147483648.0,
                           -2147483648.0,
                           -2147483649.0,
                           1e100,
                           -1e100,
                           std::numeric_limits<double>::max(),
                           std::numeric_limits<double>::lowest(),
                           std::numeric_limits<double>::denorm_min(),
                           std::numeric_limits<double>::infinity(),
                           -std::numeric_limits<double>::infinity(),
                           std::numeric_limits<double>::quiet_NaN(),
                           3.4e38,
                           3.5e38};

const char* const kTexts[] = {"",       "arrow.rdf", "wrong.rdf", "hud",    "zil_130_",
                              "%s%n%d", "..\\..\\x", "\xff\xfe",  "level5", "zil_130"};

// ---- the fixture level --------------------------------------------------------------------

void PutInt(std::string& out, std::int32_t value) {
    const auto bits = static_cast<std::uint32_t>(value);
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>((bits >> (8 * i)) & 0xFFu));
}
void PutFloat(std::string& out, float value) {
    std::uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    PutInt(out, static_cast<std::int32_t>(bits));
}
void PutString(std::string& out, const std::string& text) {
    PutInt(out, static_cast<std::int32_t>(text.size()));
    out += text;
}
void PutObject(std::string& out, const std::string& name, float x, float y) {
    PutString(out, name);
    for (float v : {x, y, 0.0f, 0.0f, 0.0f, 0.0f, 1.0f, 1.0f, 1.0f, 1.0f}) PutFloat(out, v);
}
// A closed ring of straight segments about the origin.
void PutRing(std::string& out, const std::string& name, float radius, int sides) {
    PutString(out, name);
    PutInt(out, 1);
    PutInt(out, sides);
    for (int i = 0; i < sides; ++i) {
        const double a0 = 2.0 * 3.14159265358979 * i / sides, a1 = 2.0 * 3.14159265358979 * (i + 1) / sides;
        const float x0 = radius * static_cast<float>(std::cos(a0)), y0 = radius * static_cast<float>(std::sin(a0));
        const float x1 = radius * static_cast<float>(std::cos(a1)), y1 = radius * static_cast<float>(std::sin(a1));
        for (float v : {x0, y0, 0.0f, x1, y1, 0.0f, x0 + (x1 - x0) / 3.0f, y0 + (y1 - y0) / 3.0f, 0.0f,
                        x0 + 2.0f * (x1 - x0) / 3.0f, y0 + 2.0f * (y1 - y0) / 3.0f, 0.0f})
            PutFloat(out, v);
    }
}

std::string LevelBytes() {
    std::string out;
    for (float v : {0.0f, 0.0f, 500.0f, 500.0f}) PutFloat(out, v);
    PutInt(out, 0);
    PutInt(out, 6);
    PutObject(out, "enemy01", 100.0f, -5.0f);
    PutObject(out, "checkpoint1", 100.0f, 10.0f);
    PutObject(out, "checkpoint2", -100.0f, 0.0f);
    PutObject(out, "checkpoint3", 0.0f, 100.0f);
    PutObject(out, "chk1_hint", 0.0f, -100.0f);
    PutObject(out, "chk2_hint", 70.0f, -70.0f);
    PutInt(out, 2);
    PutRing(out, "c_path", 100.0f, 16);
    PutRing(out, "path", 100.0f, 16);
    return out;
}

using kxfuzz::MakeQuad;

CPSmartPtr<CPGameObject> MakeModel(const std::string& file, int) {
    return MakeQuad(file, file.rfind("road_phys", 0) == 0 ? 300.0f : 0.5f);
}

struct Race {
    CPSmartPtr<CPPhysics> physics{new CPPhysics()};
    CPSmartPtr<AI_Task> drivers{new AI_Task()};
    std::vector<CPSmartPtr<CPPlayer>> racers;

    void Load() {
        Clear();
        CPLevel* level = new CPLevel();
        // The fixture is sound: a level that does not load means the harness broke.
        if (!level->Load("level5", false, false)) std::abort();
        level->camera = CPSmartPtr<CPCamera>(new CPCamera());
        CPSmartPtr<CPMiniMap> map(new CPMiniMap());
        map->hintArrow = MakeQuad("arrow", 1.0f);
        map->checkpointMarker = MakeQuad("marker", 1.0f);
        level->miniMap = map;
        level->hintCursor = level->checkpointHints.begin();
        level->mapCheckpoints.resize(2);
        for (int i = 0; i < kRacers; ++i) {
            CPSmartPtr<CPPlayer> racer(new CPPlayer());
            racer->SetFlags(i % 4);
            racer->SetName(i == 1 ? "zil_130_" : "car");
            racer->SetPosition(D3DXVECTOR3(100.0f, 6.0f * i, 1.0f));
            racer->UpdateTransform();
            CPSmartPtr<CPPhysicData> data(new CPPhysicData(racer.Get()));
            data->SetShape(1.0f, 2.0f, 4.0f, 10.0f);
            data->AddBoxShape(D3DXVECTOR3(0.0f, 0.0f, 0.0f), D3DXQUATERNION(0.0f, 0.0f, 0.0f, 1.0f), 2.0f, 1.0f, 4.0f,
                              10.0f);
            racer->SetPhysicData(CPSmartPtr<IPPhysicData>(data.Get()));
            physics->AddBody(CPSmartPtr<CPGameObject>(racer.Get()), true, 0);
            physics->ActivateObject(CPSmartPtr<CPGameObject>(racer.Get()));
            CPSmartPtr<CPCar> car(new CPCar(racer.Get()));
            racer->SetCar(CPSmartPtr<IPMMObject>(car.Get()));
            car->Init(physics->GetSimulator(), i == 0);
            racers.push_back(racer);
        }
        level->humanRacer = racers[0];
        level->player = racers[0].Get();
        level->opponents.assign(racers.begin() + 1, racers.end());
    }
    void Clear() {
        if (CPLevel* level = CPLevel::GetInstance()) {
            level->player = nullptr;
            level->humanRacer = nullptr;
            level->opponents.clear();
            level->Stop();
        }
        for (CPSmartPtr<CPPlayer>& racer : racers)
            if (auto* data = dynamic_cast<CPPhysicData*>(racer->GetPhysicData().Get()))
                physics->RemoveBody(CPSmartPtr<CPPhysicData>(data));
        racers.clear();
        delete CPLevel::GetInstance();
    }
    void Step() {
        if (CPLevel::GetInstance() && physics->GetSimulator())
            physics->GetSimulator()->Advance(1.0f / 60.0f, 1, nullptr);
    }
    void CheckFinite() const {
        for (const CPSmartPtr<CPPlayer>& racer : racers) {
            auto* data = dynamic_cast<CPPhysicData*>(racer->GetPhysicData().Get());
            RbRigidBody* body = data ? data->GetRigidBody() : nullptr;
            if (!body) continue;
            const RbVector v = body->GetVelocity();
            if (!std::isfinite(v.x) || !std::isfinite(v.y) || !std::isfinite(v.z)) std::abort();
        }
    }
    ~Race() { Clear(); }
};

// ---- calls --------------------------------------------------------------------------------

const kxfuzz::ArgumentKinds kArguments = kxfuzz::MakeArgumentKinds(kNumbers, kTexts, 32, false, false);

const std::vector<std::string>& FamilyNames() {
    static const std::vector<std::string> names = [] {
        Script::ScriptFunctionTables tables;
        for (FamilyAdder add : kFamilies) add(tables);
        std::vector<std::string> all;
        for (int t = 0; t < Script::ScriptFunctionTables::kTableCount; ++t)
            for (const Script::ScriptFunction& f : tables.Table(t)) all.push_back(f.name);
        return all;
    }();
    return names;
}

const char* const kLayout = "no_script\nui.tga,256,256\nlight,off\n"
                            "window\nslot1 100,600,8,8\nwindow\nslot2 200,600,8,8\nwindow\nno_mina 10,10,8,8\n"
                            "window\nlgun 1,1,8,8\nwindow\nbullet1 2,2,8,8\nwindow\noverheat1 3,3,8,8\n"
                            "window\nkrest 4,4,8,8\ntext\nscore f,0,0,hello\ntext\ntime f,0,0,hello\n"
                            "window\ncursor 0,0,8,8\n";

void RunCalls(const std::uint8_t* data, std::size_t size) {
    Input in(data, size);
    const std::uint8_t setup = in.Byte();
    CPGameData gameData;
    gameData.realCar.weapons = {"lgun", "", "gauss"};
    gameData.realCar.equipment = {"repair", ""};
    Race race;
    if (setup & 1) race.Load();
    CPSmartPtr<CPRender> render = (setup & 2) ? CPSmartPtr<CPRender>(new CPRender()) : nullptr;
    CPSmartPtr<CPInterface> ui(new CPInterface());
    if (setup & 4) ui->LoadLayout("hud", 0);
    CPSmartPtr<CPGameObject> scene = MakeQuad("scene", 1.0f);
    PMMHandle dead = 0;
    {
        CPSmartPtr<CPGameObject> gone(new CPGameObject("gone"));
        dead = gone->GetHandle();
    }
    IPMMObject::CollectGarbage();

    lua_State* L = luaL_newstate();
    luaL_openlibs(L);
    Script::ScriptFunctionTables tables;
    for (FamilyAdder add : kFamilies) add(tables);
    tables.RegisterInto(L);

    const std::vector<std::string>& names = FamilyNames();
    for (int call = 0; call < kMaxCalls && !in.Empty(); ++call) {
        std::vector<PMMHandle> handles = {ui->GetHandle(), scene->GetHandle(), dead, 0};
        for (const CPSmartPtr<CPPlayer>& racer : race.racers) handles.push_back(racer->GetHandle());
        if (const CPLevel* level = CPLevel::GetInstance()) {
            if (level->shownHint) handles.push_back(level->shownHint->GetHandle());
            if (level->humanRacer) handles.push_back(level->humanRacer->GetHandle());
            for (const CPSmartPtr<CPPlayer>& opponent : level->opponents)
                if (opponent) handles.push_back(opponent->GetHandle());
        }

        const std::uint8_t control = kxfuzz::CallOne(L, in, names, 8, LUA_MULTRET, kArguments, handles);
        if (control & 0x40) race.Load();
        if (control & 0x80) race.Step();
        if (render && (render->tuningIndex < 0 || render->tuningIndex > 18)) std::abort();
    }
    lua_close(L);
    race.Step();
    race.CheckFinite();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    CPLog::Instance().SetSink(nullptr);
    kxfuzz::GameRoot& root = kxfuzz::GameRoot::Get();
    root.Clear();
    static const std::string level = LevelBytes();
    root.Write("Data/Levels/level5.lvl", level);
    root.Write("Data/Interface/hud1024.int", kLayout);
    ResetSettingsToDefaults();
    CPLevel::SetModelLoader(MakeModel);
    RunCalls(data, size);
    CPLevel::SetModelLoader(nullptr);
    for (int i = 0; i < 4; ++i) IPMMObject::CollectGarbage();
    ResetSettingsToDefaults();
    return 0;
}
