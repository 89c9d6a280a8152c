// The scene, camera and light functions, the combat functions and the enemy and computer-racer
// queries, called from a script's own state with arguments taken from the input: nil, booleans,
// hostile numbers (NaN, infinities, huge, denormal), any bytes as text, names the fixtures know,
// tables, and handles of live objects of every kind the functions take, of dead objects and
// made-up ones. The first byte chooses the world: without a level, or with a level built in code
// (a player, opponents of every side, a route, a race camera, a mini map, a time-mode object,
// markers, a mission's checkpoint lines and enemy sources), each with or without a shot manager
// that read its table. Everything is made afresh for each input.
//
// The functions called are those of the three families that the registration tables hold, so a
// family that is not built yet is left out until it is.
//
// Input: [world byte] then calls, each [function byte][control byte][arguments...]; the control
// byte's low three bits give the argument count (at most seven), its top bit runs a kernel pass
// after the call. Each argument is [kind byte][its bytes].

#include "Framework/PLog.h"
#include "Framework/PMMObject.h"
#include "Framework/PSettings.h"
#include "Framework/PTaskKernel.h"
#include "FuzzSupport.h"
#include "Game/ScriptApi.h"
#include "GameData/PGameData.h"
#include "Platform/Math/D3DXMath.h"
#include "Platform/System/Random.h"
#include "Scene/PGameObject.h"
#include "Script/PLuaScript.h"
#include "Script/ScriptBinding.h"
#include "Script/ScriptFunctions.h"
#include "ScriptArguments.h"
#include "World/PLevel.h"
#include "World/PMiniMap.h"
#include "World/PPlayer.h"
#include "World/PRaceCamera.h"
#include "World/PShotManager.h"
#include "World/PSpline.h"
#include "World/PWorldTables.h"

#include "../Script/ScriptBounds.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <set>
#include <string>
#include <vector>

namespace {

constexpr int kMaxCalls = 64;

// The three families' names; those not registered are skipped.
const char* const kFamilies[] = {
    // Scene, camera and light.
    "SetPosition", "GetPosition", "SetRotation", "GetBBoxInfo", "FindObject", "SetObjectVisible", "IsRigid", "Clone",
    "CheckVisible", "CrossPlayerRay", "CrossInterfaceRay", "SetCamera", "SetCameraPos", "SetCameraZAngle",
    "GetCameraZAngle", "GetCameraPositions", "SetFOV", "GetFov1", "GetFov2", "ChangeGameCamera", "SetCameraPlayer",
    "GetCameraPlayer", "IsCameraShake", "GetLight", "SetLight", "DrawLine", "GetTextureSize", "DumpTextures",
    "StartLighting", "UpdateTrasser", "SetLightCoeff", "SetRadialBlur", "StartAnimation",
    // Combat.
    "Shot", "SetWeaponPos", "SetBonus", "SmartBomb", "Explosion", "AddBonus", "EraseBonus", "GetBonusList",
    "DirectionalExplosion", "GetBonusesCount", "ClearBonuses", "PlayerShot", "KillPlayer", "DamagePlayer", "SetShot",
    "SetMineShot", "SetCurrentWeapon", "SetPrevWeapon", "SetNextWeapon", "Attack1", "Attack2",
    // Enemy and computer-racer queries.
    "GetEnemyData", "AddEnemy", "GetPlayerPosition", "GetPositionForEnemy", "GetEnemyType", "IsEnemySourceNear",
    "GetAIPosition", "GetAIPositions", "GetPlayerMapPosition", "IsDarkLeft", "IsLightLeft", "GetNearestSolvanePlayer",
    "GetNearestUmbrakPlayer", "GetEnemiesCount", "GetEnemySplinePosition", "GetAIDamage"};

using kxfuzz::Input;

const double kNumbers[] = {0.0,
                           -0.0,
                           1.0,
                           -1.0,
                           0.5,
                           2.0,
                           3.0,
                           8.0,
                           25.0,
                           40.0,
                           79.0,
                           100.0,
                           1.5707963267948966,
                           3.141592653589793,
                           1e-7,
                           65536.0,
                           2147483647.0,
                           2147483648.0,
                           -2147483649.0,
                           9007199254740993.0,
                           1e100,
                           -1e100,
                           std::numeric_limits<double>::max(),
                           std::numeric_limits<double>::lowest(),
                           std::numeric_limits<double>::denorm_min(),
                           std::numeric_limits<double>::infinity(),
                           -std::numeric_limits<double>::infinity(),
                           std::numeric_limits<double>::quiet_NaN(),
                           3.5e38,
                           -3.5e38};

const char* const kTexts[] = {"",
                              "blast",
                              "super",
                              "bolt",
                              "sparks",
                              "grunt",
                              "ghost",
                              "1",
                              "2",
                              "0",
                              "10",
                              "bmw_i745",
                              "bmw",
                              "gun",
                              "body",
                              "wheel",
                              "x",
                              "enemy",
                              "Data\\Textures\\none.tga",
                              "..\\..\\x",
                              "%s%n%d",
                              "\xff\xfe",
                              "nan",
                              "-1"};

struct World {
    std::vector<PMMHandle> handles;
};

const kxfuzz::ArgumentKinds kArguments = kxfuzz::MakeArgumentKinds(kNumbers, kTexts, 64, true, true);

CPSmartPtr<CPSpline> RingPath(float radius) {
    std::vector<BezierSegment> segments;
    const int n = 12;
    for (int i = 0; i < n; ++i) {
        const float a0 = 6.2831853f * static_cast<float>(i) / n;
        const float a1 = 6.2831853f * static_cast<float>(i + 1) / n;
        BezierSegment s;
        s.p0 = D3DXVECTOR3(radius * std::cos(a0), radius * std::sin(a0), 0.0f);
        s.p3 = D3DXVECTOR3(radius * std::cos(a1), radius * std::sin(a1), 0.0f);
        s.p1 = s.p0 + (s.p3 - s.p0) / 3.0f;
        s.p2 = s.p0 + (s.p3 - s.p0) * (2.0f / 3.0f);
        segments.push_back(s);
    }
    CPSmartPtr<CPSpline> spline(new CPSpline());
    spline->Build("path", true, segments);
    return spline;
}

CPSmartPtr<CPPlayer> MakeRacer(const D3DXVECTOR3& position, int flags, const std::string& name) {
    CPSmartPtr<CPPlayer> racer(new CPPlayer());
    racer->SetPosition(position);
    racer->UpdateTransform();
    racer->SetFlags(flags);
    racer->SetName(name);
    racer->AddChild(CPSmartPtr<CPGameObject>(new CPGameObject("gun")));
    return racer;
}

// A level as the race has one after loading, built in code: what the three families read.
void FillLevel(CPLevel& level, CPGameData& data, std::uint8_t choice, World& world) {
    level.terrainExtentX = 200.0f;
    level.terrainExtentY = (choice & 0x10) ? 0.0f : 200.0f;
    level.humanRacer = MakeRacer(D3DXVECTOR3(0.0f, 0.0f, 0.5f), (choice >> 5) & 3, "zil_130_");
    level.humanRacer->isHuman = true;
    level.player = level.humanRacer.Get();
    for (int i = 0; i < 7; ++i)
        level.opponents.push_back(MakeRacer(D3DXVECTOR3(10.0f * i, 30.0f - 5.0f * i, 0.0f), i, i == 2 ? "bmw" : "uaz"));
    if (choice & 0x40) level.opponents.push_back(CPSmartPtr<CPPlayer>());
    level.path = RingPath(100.0f);
    level.centrePath = level.path;
    if (choice & 0x04) {
        level.camera = CPSmartPtr<CPCamera>(new CPCamera());
        level.camera->SetTargetYaw(0.3f);
    }
    if (choice & 0x08) {
        level.miniMap = CPSmartPtr<CPMiniMap>(new CPMiniMap());
        level.miniMap->mapScale = 2.0f;
        level.mapZoom = (choice & 0x80) ? 0.0f : 0.5f;
    }
    if (choice & 0x80) {
        level.timeModeObject = CPSmartPtr<CPGameObject>(new CPGameObject("ghost"));
        level.timeModeObject->SetPosition(20.0f, 10.0f, 0.0f);
    }
    level.frameCounter = 2;
    data.SetMapMarker("0", 10.0f, 20.0f, 0.5f, 30.0f, 40.0f);
    data.SetMapMarker("1", -10.0f, 5.0f, 1.5f, 3.0f, 4.0f);
    data.realCar.superWeaponCount = 3;
    data.realCar.weapons = {"gun", "", "gun"};
    data.checkpointInfos.resize(2);
    data.checkpointInfos[0].bonusChance = 100;
    data.checkpointInfos[0].bonusKinds = {{"blast", 0, 60}, {"sparks", 60, 100}};
    data.checkpointInfos[0].enemyKinds = {{"grunt", 0, 100}};
    data.checkpointInfos[1].bonusChance = 0;
    SPEnemySource near;
    near.position = {30.0f, 0.0f, 0.5f};
    near.kindFlag = true;
    near.enemyKinds = {{"grunt", 0, 50}, {"ghost", 50, 100}};
    data.enemySources["1"] = {near};
    near.position = {0.0f, 25.0f, 0.5f};
    near.kindFlag = false;
    data.enemySources["2"] = {near};
    world.handles.push_back(level.humanRacer->GetHandle());
    for (const CPSmartPtr<CPPlayer>& racer : level.opponents)
        if (racer) world.handles.push_back(racer->GetHandle());
    if (level.camera) world.handles.push_back(level.camera->GetHandle());
    if (level.timeModeObject) world.handles.push_back(level.timeModeObject->GetHandle());
    if (level.path) world.handles.push_back(level.path->GetHandle());
}

void RunCalls(const std::uint8_t* data, std::size_t size, const std::vector<std::string>& names) {
    static kxfuzz::ScriptBudget budget;
    Input in(data, size);
    const std::uint8_t choice = in.Byte();
    CPTaskKernel kernel;
    CPGameData gameData;
    CPSmartPtr<CPShotManager> shots;
    if (choice & 0x02) {
        shots = CPSmartPtr<CPShotManager>(new CPShotManager());
        shots->Start();
        kernel.AddTask(CPSmartPtr<IPTask>(shots.Get()));
    }
    LoadEnemyTable("Data\\enemies.dat");
    CPLevel* level = (choice & 0x01) ? new CPLevel() : nullptr;
    World world;
    if (level) FillLevel(*level, gameData, choice, world);
    CPSmartPtr<CPGameObject> plain(new CPGameObject("plain"));
    world.handles.push_back(plain->GetHandle());
    {
        CPSmartPtr<CPGameObject> gone(new CPGameObject("gone"));
        world.handles.push_back(gone->GetHandle());
    }
    IPMMObject::CollectGarbage();

    CPSmartPtr<CPLuaScript> caller(new CPLuaScript());
    caller->Load("caller");
    if (caller->GetMainState()) {
        kernel.AddTask(CPSmartPtr<IPTask>(caller.Get()));
        world.handles.push_back(caller->GetHandle());
        world.handles.push_back(0);
        lua_State* L = caller->GetMainState();
        kxfuzz::BoundScript(L, nullptr, budget);
        for (int call = 0; call < kMaxCalls && !in.Empty(); ++call) {
            const std::uint8_t control = kxfuzz::CallOne(L, in, names, 8, LUA_MULTRET, kArguments, world.handles);
            if (control & 0x80) kernel.RunPass();
        }
    }
    kernel.KillAllTasks();
    kernel.RunPass();
    if (level) level->Stop();
    delete level;
    if (shots) shots->Clear();
    EnemyData().clear();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    CPLog::Instance().SetSink(nullptr);
    kxfuzz::GameRoot& root = kxfuzz::GameRoot::Get();
    root.Clear();
    root.Write("Data/Scripts/caller.lua", "while true do Update() end\n");
    root.Write("Data/shots.dat", "blast;effect;none;0;0.5;0;3;5;none;none;0;none;0;none\n"
                                 "sparks;effect;none;0;0.25;0;0;0;none;none;0;none;0;none\n"
                                 "super;effect;none;0;0.5;0;50;30;sparks;none;0;none;0;none\n"
                                 "bolt;projectile;none;100;2;0;7.5;0;sparks;none;0;none;0;none\n");
    root.Write("Data/enemies.dat", "grunt;10;2.5;a;b;c\n");
    ResetSettingsToDefaults();
    Platform::EngineSeed(1);

    static const std::vector<std::string> names = [] {
        ScriptApi::InstallScriptApi();
        std::set<std::string> registered;
        for (int table = 0; table < Script::ScriptFunctionTables::kTableCount; ++table)
            for (const Script::ScriptFunction& f : Script::GetScriptFunctionTables().Table(table))
                registered.insert(f.name);
        std::vector<std::string> out;
        for (const char* name : kFamilies)
            if (registered.count(name)) out.push_back(name);
        return out;
    }();
    if (!names.empty()) RunCalls(data, size, names);
    IPMMObject::CollectGarbage();
    IPMMObject::CollectGarbage();
    IPMMObject::CollectGarbage();
    ResetSettingsToDefaults();
    return 0;
}
