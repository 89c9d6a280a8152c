// The combat functions. Every shot goes through the shot manager and its pools (nothing spawns
// while there is no manager); the bonus list lives in the game-data store. A racer argument that
// is missing, not an object or not a racer makes a function do nothing.

#include "Game/ScriptCombat.h"

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "Framework/CommandRouter.h"
#include "Game/ScriptApi.h"
#include "GameData/PGameData.h"
#include "Physics/RbBody.h"
#include "Platform/Math/D3DXMath.h"
#include "Platform/System/Clock.h"
#include "Platform/System/Random.h"
#include "Scene/PGameObject.h"
#include "Script/ScriptBinding.h"
#include "World/PCar.h"
#include "World/PLevel.h"
#include "World/PPlayer.h"
#include "World/PShotManager.h"

namespace ScriptApi {
namespace {

using Script::ScriptBind;
using Script::ScriptBindCall;
using Script::ScriptCall;
namespace Arg = Script::Arg;
using Racer = Arg::Object<CPPlayer>;

bool g_playerShotMark = false;

// Shots launched by the scripts have no owner, no speed reference and the speed -1, which
// makes the shot take the speed of its table line.
void SpawnFree(const std::string& name, const D3DXVECTOR3& position, const D3DXVECTOR3& direction) {
    if (CPShotManager* shots = CPShotManager::GetInstance()) shots->Spawn(name, position, direction, -1.0f);
}

D3DXVECTOR3 Vector(double x, double y, double z) {
    return D3DXVECTOR3(Script::NarrowToFloat(x), Script::NarrowToFloat(y), Script::NarrowToFloat(z));
}

// The point (x, y, z) in the object's frame, launched from the object while the level runs. The
// last three numbers are part of the call as scripts write it and mean nothing.
void Shot(ScriptCall&, const std::string& name, CPGameObject* object, double x, double y, double z, double, double,
          double) {
    const CPLevel* level = CPLevel::GetInstance();
    if (!level || !object || level->stopped) return;
    const D3DXVECTOR3 local = Vector(x, y, z);
    D3DXVECTOR3 point;
    D3DXVec3TransformCoord(&point, &local, &object->GetWorldMatrix());
    SpawnFree(name, point, D3DXVECTOR3(0.0f, 0.0f, 0.0f));
}

void Explosion(ScriptCall&, const std::optional<std::string>& name, double x, double y, double z) {
    if (name) SpawnFree(*name, Vector(x, y, z), D3DXVECTOR3(0.0f, 0.0f, 0.0f));
}

void DirectionalExplosion(ScriptCall&, const std::optional<std::string>& name, double x, double y, double z, double dx,
                          double dy, double dz) {
    if (name) SpawnFree(*name, Vector(x, y, z), Vector(dx, dy, dz));
}

// The aim point and target of this frame's firing step; only the human racer fires.
void SetWeaponPos(ScriptCall&, double x, double y, double z, CPGameObject* target) {
    CPLevel* level = CPLevel::GetInstance();
    if (!level || !level->humanRacer) return;
    // The racer's firing step may drop the script's last hold on the target; this one keeps it
    // alive for the whole step.
    const CPSmartPtr<CPGameObject> held(target);
    const CPSmartPtr<CPPlayer> racer = level->humanRacer;
    racer->UpdateFiring(Vector(x, y, z), held);
}

// The first name of the weighted list whose range holds r; empty when none does.
const std::string* WeightedDraw(const std::vector<SPWeightedName>& names, int r) {
    for (const SPWeightedName& entry : names)
        if (entry.from <= r && r < entry.to) return &entry.name;
    return nullptr;
}

// Maybe drops a bonus of the checkpoint's kinds on the ground at (x, y). The generator is seeded
// from the millisecond clock on every call, so two calls within one millisecond draw alike, and
// the bonus falls when the draw equals the chance as well as below it.
void SetBonus(ScriptCall&, double x, double y, double index) {
    CPGameData* data = GetGameData();
    if (!data) return;
    const int i = Script::TruncateToInt(index);
    if (i < 0 || static_cast<std::size_t>(i) >= data->checkpointInfos.size()) return;
    const SPCheckpointInfo& checkpoint = data->checkpointInfos[static_cast<std::size_t>(i)];
    const int threshold = Script::TruncateToInt(static_cast<double>(data->coefficients[2]) * checkpoint.bonusChance);
    Platform::EngineSeed(Platform::GetClock().TimeGetTime());
    if (Platform::EngineRand() % 100 > threshold) return;
    const std::string* bonus = WeightedDraw(checkpoint.bonusKinds, Platform::EngineRand() % 100);
    if (!bonus) return;
    const D3DXVECTOR3 point(Script::NarrowToFloat(x), Script::NarrowToFloat(y), 0.0f);
    SpawnFree(*bonus, point, point);
}

// The super weapon goes off where the player is (the origin without one), without a direction.
void SmartBomb(ScriptCall&) {
    CPGameData* data = GetGameData();
    if (!data || data->realCar.superWeaponCount <= 0) return;
    const CPLevel* level = CPLevel::GetInstance();
    const D3DXVECTOR3 at = (level && level->player) ? level->player->GetPosition() : D3DXVECTOR3(0.0f, 0.0f, 0.0f);
    SpawnFree("super", at, D3DXVECTOR3(0.0f, 0.0f, 0.0f));
    --data->realCar.superWeaponCount;
    RouteCommandByName("gamemenu", "update_game_interface", "");
}

// An entry is appended even without an object: scripts count on the count going up.
void AddBonus(ScriptCall&, IPMMObject* object, double value) {
    CPGameData* data = GetGameData();
    if (!data) return;
    data->bonusList.emplace_back(CPSmartPtr<IPMMObject>(object), Script::TruncateToInt(value));
    ++data->bonusCount;
}

// The count goes down whether or not an entry matched, as the scripts' own counting expects. No
// object erases the first entry that was added without one.
void EraseBonus(ScriptCall&, IPMMObject* object) {
    CPGameData* data = GetGameData();
    if (!data) return;
    for (auto it = data->bonusList.begin(); it != data->bonusList.end(); ++it) {
        if (it->first.Get() == object) {
            data->bonusList.erase(it);
            break;
        }
    }
    --data->bonusCount;
}

void GetBonusesCount(ScriptCall& call) {
    const CPGameData* data = GetGameData();
    call.PushNumber(data ? static_cast<double>(data->bonusList.size()) : 0.0);
}

// Empties the list; the count stays as it was.
void ClearBonuses(ScriptCall&) {
    if (CPGameData* data = GetGameData()) data->bonusList.clear();
}

// {{object, value}, ...} in list order. Every write goes to the new table's own stack slot, so
// arguments a script passes by mistake cannot take the entries.
void GetBonusList(ScriptCall& call) {
    const CPGameData* data = GetGameData();
    call.PushTable([&](ScriptCall::TableBuilder&) {
        if (!data) return;
        lua_State* L = call.State();
        const int list = lua_gettop(L);
        int i = 0;
        for (const auto& [object, value] : data->bonusList) {
            lua_pushnumber(L, ++i);
            lua_newtable(L);
            lua_pushnumber(L, 1);
            lua_pushlightuserdata(L, Script::HandleToUserdata(object ? object->GetHandle() : 0));
            lua_settable(L, -3);
            lua_pushnumber(L, 2);
            lua_pushnumber(L, value);
            lua_settable(L, -3);
            lua_settable(L, list);
        }
    });
}

void PlayerShot(ScriptCall&) {
    if (CPLevel::GetInstance()) g_playerShotMark = true;
}

// True while the racer lives on; true without a racer.
void DamagePlayer(ScriptCall& call, CPPlayer* racer, double amount) {
    call.PushBoolean(racer ? racer->Damage(Script::NarrowToFloat(amount)) : true);
}

void KillPlayer(ScriptCall&, CPPlayer* racer) {
    if (racer) racer->Kill();
}

// Only the model changes: the weapon slot, its kind and what is shown stay.
void SetCurrentWeapon(ScriptCall&, CPPlayer* racer, const std::string& name) {
    if (racer) racer->weaponModel = racer->FindObject(name);
}

void SetPrevWeapon(ScriptCall&, CPPlayer* racer) {
    if (racer) racer->SelectPrevWeapon();
}

void SetNextWeapon(ScriptCall&, CPPlayer* racer) {
    if (racer) racer->SelectNextWeapon();
}

// The trigger holds only with a weapon in hand and rounds left. The flamethrower's damage tick
// starts over, so that its first firing step burns at once.
void SetShot(ScriptCall&, CPPlayer* racer, bool pressed) {
    if (!racer) return;
    racer->firing = pressed && racer->weaponSlot >= 0 && !racer->outOfAmmo;
    if (racer->firing && racer->weaponKind == 8) racer->flameTick = 0.0f;
}

void SetMineShot(ScriptCall&, CPPlayer* racer, bool pressed) {
    if (!racer) return;
    racer->mineShot = racer->hasMines && !racer->minesEmpty && pressed;
}

// The level's player and its car, when there are both.
CPPlayer* AttackedPlayer(CPCar*& car) {
    CPLevel* level = CPLevel::GetInstance();
    CPPlayer* player = level ? level->player : nullptr;
    car = player ? player->GetCar() : nullptr;
    return player;
}

RbVector Rb(float x, float y, float z) {
    RbVector v;
    v.x = x;
    v.y = y;
    v.z = z;
    return v;
}

// Wrecks the player's car, shoves it sideways at its centre and sets it spinning about z.
void Attack1(ScriptCall&) {
    CPCar* car = nullptr;
    CPPlayer* player = AttackedPlayer(car);
    if (!player || !car) return;
    car->SetCrashed(true);
    if (RbRigidBody* body = car->GetRigidBody()) {
        const D3DXVECTOR3& p = player->GetPosition();
        body->ApplyImpulseAtPoint(Rb(0.0f, -50.0f, 0.0f), Rb(p.x, p.y, p.z));
        body->SetAngularMomentumAlone(Rb(0.0f, 0.0f, 100.0f));
    }
}

// Wrecks the player's car, knocks the driver out and rolls the car about y.
void Attack2(ScriptCall&) {
    CPCar* car = nullptr;
    CPPlayer* player = AttackedPlayer(car);
    if (!player || !car) return;
    car->SetCrashed(true);
    player->knockedOut = true;
    if (RbRigidBody* body = car->GetRigidBody()) body->SetAngularMomentum(Rb(0.0f, 200.0f, 0.0f));
}

} // namespace

bool IsPlayerShotMarked() { return g_playerShotMark; }
void ClearPlayerShotMark() { g_playerShotMark = false; }

void AddCombatFunctions(Script::ScriptFunctionTables& tables) {
    static const Script::ScriptFunction kSecond[] = {
        {"Shot", ScriptBind<Shot, Arg::RequiredString, Arg::Object<CPGameObject>, Arg::Number, Arg::Number, Arg::Number,
                            Arg::Number, Arg::Number, Arg::Number>},
        {"SetWeaponPos", ScriptBind<SetWeaponPos, Arg::Number, Arg::Number, Arg::Number, Arg::Object<CPGameObject>>},
        {"SetBonus", ScriptBind<SetBonus, Arg::Number, Arg::Number, Arg::Number>},
        {"SmartBomb", ScriptBindCall<SmartBomb>},
        {"Explosion", ScriptBind<Explosion, Arg::String, Arg::Number, Arg::Number, Arg::Number>},
        {"AddBonus", ScriptBind<AddBonus, Arg::Object<>, Arg::Number>},
        {"EraseBonus", ScriptBind<EraseBonus, Arg::Object<>>},
        {"GetBonusList", ScriptBindCall<GetBonusList>},
        {"DirectionalExplosion", ScriptBind<DirectionalExplosion, Arg::String, Arg::Number, Arg::Number, Arg::Number,
                                            Arg::Number, Arg::Number, Arg::Number>},
        {"GetBonusesCount", ScriptBindCall<GetBonusesCount>},
        {"ClearBonuses", ScriptBindCall<ClearBonuses>},
    };
    static const Script::ScriptFunction kThird[] = {
        {"PlayerShot", ScriptBindCall<PlayerShot>},
        {"KillPlayer", ScriptBind<KillPlayer, Racer>},
        {"DamagePlayer", ScriptBind<DamagePlayer, Racer, Arg::Number>},
        {"SetShot", ScriptBind<SetShot, Racer, Arg::Boolean>},
        {"SetMineShot", ScriptBind<SetMineShot, Racer, Arg::Boolean>},
        {"SetCurrentWeapon", ScriptBind<SetCurrentWeapon, Racer, Arg::RequiredString>},
        {"SetPrevWeapon", ScriptBind<SetPrevWeapon, Racer>},
        {"SetNextWeapon", ScriptBind<SetNextWeapon, Racer>},
        {"Attack1", ScriptBindCall<Attack1>},
        {"Attack2", ScriptBindCall<Attack2>},
    };
    tables.Add(kSecondTable, kSecond);
    tables.Add(kThirdTable, kThird);
}

} // namespace ScriptApi
