// Race control and racer state. Everything here reaches the one current level: without it (or
// without the player, the racer or the car a function reads) a function does nothing and
// returns no values, unless its row states a default.

#include "Game/ScriptRaceControl.h"

#include <algorithm>
#include <cmath>
#include <optional>
#include <string>

#include "Framework/PGlobalTimer.h"
#include "Game/PInterface.h"
#include "Game/PWindow.h"
#include "Game/ScriptApi.h"
#include "GameData/CarNames.h"
#include "GameData/PGameData.h"
#include "Physics/RbBody.h"
#include "Scene/PParticlesManager.h"
#include "Script/ScriptBinding.h"
#include "World/PCar.h"
#include "World/PGearBox.h"
#include "World/PLevel.h"
#include "World/PPhysicData.h"
#include "World/PPlayer.h"
#include "World/PRaceCamera.h"

namespace ScriptApi {
namespace {

using Script::ScriptBind;
using Script::ScriptBindCall;
using Script::ScriptCall;
namespace Arg = Script::Arg;
using Racer = Arg::Object<CPPlayer>;
using SceneObject = Arg::Object<CPGameObject>;
using Interface = Arg::Object<CPInterface>;
using Text = std::optional<std::string>;

// A racer counts as dead at this damage or more.
constexpr float kDeadlyDamage = 100.0f;
// A crash shows for this long, even while the car stays crashed.
constexpr float kCrashShownSeconds = 5.0f;
// Below this squared speed an object stands still.
constexpr float kStillSpeedSquared = 0.000001f;
constexpr float kTimeBonusSeconds = 4.0f;
constexpr int kPlayerTypeOn = 10;
constexpr int kPlayerTypeOff = 9;
// Racer counts below this put three places before the opponents LockPlayers2 counts.
constexpr int kSmallFieldRacerCount = 6;
constexpr int kSmallFieldSkip = 3;

CPLevel* Level() { return CPLevel::GetInstance(); }

CPPlayer* Player() {
    CPLevel* level = Level();
    return level ? level->player : nullptr;
}

CPCar* PlayerCar() {
    CPPlayer* player = Player();
    return player ? player->GetCar() : nullptr;
}

GearBox* PlayerGearBox() {
    CPCar* car = PlayerCar();
    return car ? car->GetGearBox() : nullptr;
}

// The driving inputs a script hands the car scale its forces: a value that is not finite
// changes nothing, and the rest is kept to the range the computer drivers use.
std::optional<float> DrivingInput(double value) {
    if (!std::isfinite(value)) return std::nullopt;
    return static_cast<float>(std::clamp(value, -1.0, 1.0));
}

float MassOf(const CPGameObject& object) {
    auto* data = dynamic_cast<CPPhysicData*>(object.GetPhysicData().Get());
    if (!data) return 0.0f;
    if (RbRigidBody* body = data->GetRigidBody()) return body->GetMass();
    return data->GetMass();
}

// Stops a level that runs, as StopLevel does: its particles first, then the level.
void StopRunningLevel(CPLevel& level) {
    if (!level.IsStarted() || level.stopped) return;
    if (CPParticlesManager* particles = GetParticlesManager()) particles->ClearAll();
    level.Stop();
}

// Deletes the current level; one that still runs is stopped first, since its updater task and
// the drivers hold it and the physics world is shared with the next level.
void DeleteCurrentLevel() {
    CPLevel* level = Level();
    if (!level) return;
    StopRunningLevel(*level);
    delete level;
}

// ---- level control ------------------------------------------------------------------------

void InitLevel(ScriptCall& call) {
    const Text name = call.String(1);
    const bool singleMode = call.Boolean(2);
    const bool timeMode = call.ArgumentCount() >= 3 && call.Boolean(3);
    // One level at a time: the old one would otherwise keep running against the new one.
    DeleteCurrentLevel();
    CPLevel* level = new CPLevel();
    // A level that does not load stays current (unstartable) until the script deletes it.
    level->Load(name.value_or(""), singleMode, timeMode);
}

void StartLevel(ScriptCall&) {
    if (CPLevel* level = Level()) level->Start();
}

void StopLevel(ScriptCall&) {
    CPLevel* level = Level();
    if (!level) return;
    if (CPParticlesManager* particles = GetParticlesManager()) particles->ClearAll();
    level->Stop();
}

void DeleteLevel(ScriptCall&) { DeleteCurrentLevel(); }

void SetLevelTime(ScriptCall&, double seconds) {
    CPLevel* level = Level();
    if (!level) return;
    const CPGameData* data = GetGameData();
    level->timeLeft = Script::NarrowToFloat(seconds) * (data ? data->coefficients[3] : 1.0f);
}

void GetLevelTime(ScriptCall& call) {
    const CPLevel* level = Level();
    call.PushNumber(level ? level->raceTime : 0.0f);
}

void ClearLevelTimers(ScriptCall&) {
    CPGameData* data = GetGameData();
    if (Level() && data) data->ResetLevelTimer();
}

void SetUpdateTime(ScriptCall&, bool on) {
    if (CPLevel* level = Level()) level->raceStarted = on;
}

void IsRaceStarted(ScriptCall& call) {
    if (const CPLevel* level = Level()) call.PushBoolean(level->raceStarted);
}

void SetReversed(ScriptCall&, bool on) {
    if (CPLevel* level = Level()) level->reversed = on;
}

void IsSingleMode(ScriptCall& call) {
    if (const CPLevel* level = Level()) call.PushBoolean(level->singleMode);
}

void IsTimeMode(ScriptCall& call) {
    if (const CPLevel* level = Level()) call.PushBoolean(level->timeMode);
}

void SetPlaceToFinish(ScriptCall&, double place) {
    if (CPLevel* level = Level()) level->placeToFinish = Script::TruncateToInt(place);
}

void GetPlaceToFinish(ScriptCall& call) {
    if (const CPLevel* level = Level()) call.PushNumber(level->placeToFinish);
}

void GetPlayerPlace(ScriptCall& call) {
    if (const CPLevel* level = Level()) call.PushNumber(level->playerPlace);
}

void GetMaxPlayers(ScriptCall& call) {
    if (const CPLevel* level = Level()) call.PushNumber(level->racerCount);
}

// The race camera takes over from the start fly-in at the start moment.
void IsLevelStartedAfterStripes(ScriptCall& call) {
    const CPLevel* level = Level();
    const CPSmartPtr<CPCamera> camera = level ? level->GetCamera() : nullptr;
    call.PushBoolean(camera && camera->active);
}

void IsDeathMsg(ScriptCall& call) {
    const CPLevel* level = Level();
    call.PushBoolean(level && level->raceOver);
}

void IsDamageMsg(ScriptCall& call) {
    const CPLevel* level = Level();
    call.PushBoolean(level && (level->raceOver || (level->humanRacer && level->humanRacer->defeatSent)));
}

void GetTemp(ScriptCall& call) { call.PushNumber(g_timeScale); }

void SetPlayerType(ScriptCall&, bool on) {
    if (CPGameData* data = GetGameData()) data->playerType = on ? kPlayerTypeOn : kPlayerTypeOff;
}

// Returns one value without pushing one: the script gets its own last argument back, and nil
// when it gave none.
int GetAICount(lua_State* L) {
    if (lua_gettop(L) == 0) lua_pushnil(L);
    return 1;
}

// ---- the player's car and state -----------------------------------------------------------

void SetCarParams(ScriptCall&, CPPlayer* racer, double throttle, double steering) {
    const std::optional<float> t = DrivingInput(throttle);
    const std::optional<float> s = DrivingInput(steering);
    if (racer && t && s) racer->SetCarParams(*t, *s);
}

void SetBrake(ScriptCall&, CPPlayer* racer, bool on) {
    if (racer) racer->SetBrake(on);
}

void Spawn(ScriptCall&, CPPlayer* racer) {
    if (racer) racer->Respawn(true);
}

void PlayerNitro(ScriptCall&, double amount) {
    const CPLevel* level = Level();
    CPPlayer* player = Player();
    const std::optional<float> value = DrivingInput(amount);
    if (!level || !player || level->raceOver || !value) return;
    player->SetNitro(*value);
}

void GetNitro(ScriptCall& call) {
    if (const CPCar* car = PlayerCar()) call.PushNumber(car->GetNitroMeter());
}

void IsNitro(ScriptCall& call) {
    if (const CPCar* car = PlayerCar()) call.PushBoolean(car->GetNitroMeter() > 0.0f && car->GetNitroReserve() > 0.0f);
}

void GetPlayerNitroTimeAch(ScriptCall& call) {
    const CPLevel* level = Level();
    const CPCar* car = PlayerCar();
    call.PushNumber(level && car && !level->raceOver ? car->GetNitroTimer() : 0.0f);
}

// The boost-engaged flag: set when a timed nitro use starts.
void IfPlayerUsedNitro(ScriptCall& call) {
    const CPCar* car = PlayerCar();
    call.PushBoolean(car && car->IsBoostEngaged());
}

void IfPlayerUsedSpawn(ScriptCall& call) {
    const CPGameData* data = GetGameData();
    if (!data || !data->respawnUsed) {
        call.PushBoolean(true);
        return;
    }
    const CPPlayer* player = Player();
    call.PushBoolean(player && player->usedRespawn);
}

void GetSuperNitroTime(ScriptCall& call) {
    const CPPlayer* player = Player();
    call.PushNumber(player ? player->superNitroTime : 0.0f);
}

void GetSuperNitroTime2(ScriptCall& call) {
    const CPPlayer* player = Player();
    call.PushNumber(player ? player->superNitroCharge : 0.0f);
}

void GetPlayerSpeed(ScriptCall& call) {
    const CPLevel* level = Level();
    call.PushNumber(level ? level->playerSpeed : 0.0f);
}

void GetPlayerSlide(ScriptCall& call) { call.PushNumber(1.0); }

template <float (GearBox::*Getter)() const>
void GearBoxValue(ScriptCall& call) {
    const GearBox* box = PlayerGearBox();
    call.PushNumber(box ? (box->*Getter)() : 0.0f);
}

void GetPlayerEngineGear(ScriptCall& call) {
    const GearBox* box = PlayerGearBox();
    call.PushNumber(box ? box->GetCurrentGear() : 0);
}

void GetRespawnCounts(ScriptCall& call) {
    const CPPlayer* player = Player();
    call.PushNumber(player ? player->respawnCount : 0);
}

void GetPlayerDamage(ScriptCall& call) {
    if (const CPPlayer* player = Player()) call.PushNumber(player->damage);
}

// Without a level (or its player) there is nobody alive.
void IsDead(ScriptCall& call) {
    const CPPlayer* player = Player();
    call.PushBoolean(!player || player->dead);
}

void IsPlayerDead(ScriptCall& call) {
    const CPLevel* level = Level();
    const CPPlayer* player = Player();
    if (!level || !player) return;
    if (call.ArgumentCount() == 0) {
        call.PushBoolean(player->damage >= kDeadlyDamage);
        return;
    }
    // Scripts name the car's description; racers carry its model stem.
    const std::string description = call.String(1).value_or("");
    const std::string name = CarStemOfDescription(description).value_or(description);
    for (const CPSmartPtr<CPPlayer>& opponent : level->opponents) {
        if (opponent && opponent->name == name) {
            call.PushBoolean(opponent->damage >= kDeadlyDamage);
            return;
        }
    }
    call.PushBoolean(player->name == name && player->damage >= kDeadlyDamage);
}

void IsPlayerCrashed(ScriptCall& call) {
    const CPCar* car = PlayerCar();
    call.PushBoolean(car && car->IsCrashed() && car->GetCrashTimer() < kCrashShownSeconds);
}

void GetPlayerMass(ScriptCall& call) {
    const CPPlayer* player = Player();
    if (!Level() || !player) return;
    if (call.ArgumentCount() == 0) {
        call.PushNumber(MassOf(*player));
        return;
    }
    const CPPlayer* racer = call.Object<CPPlayer>(1);
    call.PushNumber(racer ? MassOf(*racer) : 0.0f);
}

void GetObjectSpeed(ScriptCall& call, CPGameObject* object) {
    auto* data = object ? dynamic_cast<CPPhysicData*>(object->GetPhysicData().Get()) : nullptr;
    RbRigidBody* body = data ? data->GetRigidBody() : nullptr;
    if (!body) {
        call.PushNumber(0.0);
        return;
    }
    const RbVector v = body->GetVelocity();
    const float squared = v.x * v.x + v.y * v.y + v.z * v.z;
    call.PushNumber(squared < kStillSpeedSquared ? 0.0f : std::sqrt(squared));
}

void SetTimeBonus(ScriptCall&, CPPlayer* racer) {
    if (racer) racer->bonusTimer = kTimeBonusSeconds;
}

void IsInGloom(ScriptCall& call, CPPlayer* racer) { call.PushBoolean(racer && racer->gloom); }

void ActivateAbilities(ScriptCall& call) {
    const CPPlayer* player = Player();
    if (!player) return;
    const CPGameData* data = GetGameData();
    call.PushNumber(player->abilitiesCount);
    call.PushNumber(data ? data->abilityCount : 0);
}

void SetAbilitiesCount(ScriptCall&, double count) {
    if (CPPlayer* player = Player()) player->abilitiesCount = Script::TruncateToInt(count);
}

void ActivateAbilitiesAI(ScriptCall& call, CPPlayer* racer) {
    if (racer) call.PushNumber(racer->abilitiesCount);
}

void SetAbilitiesCountAI(ScriptCall&, CPPlayer* racer, double count) {
    if (racer) racer->abilitiesCount = Script::TruncateToInt(count);
}

void GetPlayerSpeedAI(ScriptCall& call, CPPlayer* racer) {
    if (const CPCar* car = racer ? racer->GetCar() : nullptr) call.PushNumber(car->GetSpeed());
}

void PlayerNitroAI(ScriptCall& call) {
    CPPlayer* racer = call.Object<CPPlayer>(1);
    if (!racer) return;
    if (call.ArgumentCount() >= 2)
        racer->BlockThrottle(0.0f, 0.0f);
    else
        racer->SetNitro(0.0f);
}

void EngineState(ScriptCall&, CPInterface* ui, bool visible) {
    const CPGameData* data = GetGameData();
    if (!ui || !data || data->realCar.engine.empty()) return;
    if (CPWindow* element = ui->FindElement(data->realCar.engine)) element->SetVisible(visible);
}

void LockPlayers(ScriptCall&, bool lock) {
    CPLevel* level = Level();
    if (!level) return;
    if (level->player) level->player->SetLocked(lock);
    for (const CPSmartPtr<CPPlayer>& opponent : level->opponents)
        if (opponent) opponent->SetLocked(lock);
}

void LockPlayers2(ScriptCall&, bool lock, double count) {
    CPLevel* level = Level();
    if (!level) return;
    const long long limit = Script::TruncateToInt(std::ceil(count) - 1.0);
    const long long skip = level->racerCount < kSmallFieldRacerCount ? kSmallFieldSkip : 0;
    long long i = 0;
    for (const CPSmartPtr<CPPlayer>& opponent : level->opponents) {
        if (i + skip >= limit) break;
        if (opponent) opponent->SetLocked(lock);
        ++i;
    }
}

void LockPlayer(ScriptCall&, bool lock) {
    if (CPPlayer* player = Player()) player->SetLocked(lock);
}

} // namespace

void ApplyTimeScaleToLevel(double factor) {
    if (factor != 0.0) return;
    if (CPLevel* level = Level()) level->showcaseTime = 0.0f;
}

void AddRaceControlFunctions(Script::ScriptFunctionTables& tables) {
    static const Script::ScriptFunction kSecond[] = {
        {"InitLevel", ScriptBindCall<InitLevel>},
        {"StartLevel", ScriptBind<StartLevel>},
        {"StopLevel", ScriptBind<StopLevel>},
        {"DeleteLevel", ScriptBind<DeleteLevel>},
        {"SetLevelTime", ScriptBind<SetLevelTime, Arg::Number>},
        {"GetLevelTime", ScriptBind<GetLevelTime>},
        {"ClearLevelTimers", ScriptBind<ClearLevelTimers>},
        {"SetUpdateTime", ScriptBind<SetUpdateTime, Arg::Boolean>},
        {"IsRaceStarted", ScriptBind<IsRaceStarted>},
        {"SetReversed", ScriptBind<SetReversed, Arg::Boolean>},
        {"IsSingleMode", ScriptBind<IsSingleMode>},
        {"IsTimeMode", ScriptBind<IsTimeMode>},
        {"SetPlaceToFinish", ScriptBind<SetPlaceToFinish, Arg::Number>},
        {"GetPlaceToFinish", ScriptBind<GetPlaceToFinish>},
        {"GetPlayerPlace", ScriptBind<GetPlayerPlace>},
        {"GetMaxPlayers", ScriptBind<GetMaxPlayers>},
        {"IsLevelStartedAfterStripes", ScriptBind<IsLevelStartedAfterStripes>},
        {"IsDeathMsg", ScriptBind<IsDeathMsg>},
        {"IsDamageMsg", ScriptBind<IsDamageMsg>},
        {"GetTemp", ScriptBind<GetTemp>},
        {"SetPlayerType", ScriptBind<SetPlayerType, Arg::Boolean>},
        {"GetAICount", GetAICount},
        {"SetCarParams", ScriptBind<SetCarParams, Racer, Arg::Number, Arg::Number>},
        {"PlayerNitro", ScriptBind<PlayerNitro, Arg::Number>},
        {"GetNitro", ScriptBind<GetNitro>},
        {"IsNitro", ScriptBind<IsNitro>},
        {"GetPlayerNitroTimeAch", ScriptBind<GetPlayerNitroTimeAch>},
        {"IfPlayerUsedNitro", ScriptBind<IfPlayerUsedNitro>},
        {"IfPlayerUsedSpawn", ScriptBind<IfPlayerUsedSpawn>},
        {"GetSuperNitroTime", ScriptBind<GetSuperNitroTime>},
        {"GetSuperNitroTime2", ScriptBind<GetSuperNitroTime2>},
        {"GetPlayerSpeed", ScriptBind<GetPlayerSpeed>},
        {"GetPlayerSlide", ScriptBind<GetPlayerSlide>},
        {"GetPlayerEngineSpeed", ScriptBind<GearBoxValue<&GearBox::GetEngineSpeed>>},
        {"GetPlayerEngineForce", ScriptBind<GearBoxValue<&GearBox::GetEngineForce>>},
        {"GetPlayerTractionTime", ScriptBind<GearBoxValue<&GearBox::GetTractionTime>>},
        {"GetPlayerEngineGear", ScriptBind<GetPlayerEngineGear>},
        {"GetRespawnCounts", ScriptBind<GetRespawnCounts>},
        {"GetPlayerDamage", ScriptBind<GetPlayerDamage>},
        {"IsDead", ScriptBind<IsDead>},
        {"IsPlayerDead", ScriptBindCall<IsPlayerDead>},
        {"IsPlayerCrashed", ScriptBind<IsPlayerCrashed>},
        {"GetPlayerMass", ScriptBindCall<GetPlayerMass>},
        {"GetObjectSpeed", ScriptBind<GetObjectSpeed, SceneObject>},
        {"SetTimeBonus", ScriptBind<SetTimeBonus, Racer>},
        {"IsInGloom", ScriptBind<IsInGloom, Racer>},
        {"ActivateAbilities", ScriptBind<ActivateAbilities>},
        {"SetAbilitiesCount", ScriptBind<SetAbilitiesCount, Arg::Number>},
        {"LockPlayers", ScriptBind<LockPlayers, Arg::Boolean>},
        {"LockPlayers2", ScriptBind<LockPlayers2, Arg::Boolean, Arg::Number>},
        {"LockPlayer", ScriptBind<LockPlayer, Arg::Boolean>},
    };
    static const Script::ScriptFunction kThird[] = {
        {"SetBrake", ScriptBind<SetBrake, Racer, Arg::Boolean>},
        {"Spawn", ScriptBind<Spawn, Racer>},
        {"EngineState", ScriptBind<EngineState, Interface, Arg::Boolean>},
        {"ActivateAbilitiesAI", ScriptBind<ActivateAbilitiesAI, Racer>},
        {"SetAbilitiesCountAI", ScriptBind<SetAbilitiesCountAI, Racer, Arg::Number>},
        {"GetPlayerSpeedAI", ScriptBind<GetPlayerSpeedAI, Racer>},
        {"PlayerNitroAI", ScriptBindCall<PlayerNitroAI>},
    };
    tables.Add(kSecondTable, kSecond);
    tables.Add(kThirdTable, kThird);
}

} // namespace ScriptApi
