// The enemy and computer-racer queries. Functions that need the level's player answer nothing
// while there is no level or no player; random choices draw from the engine generator.

#include "Game/ScriptEnemyQueries.h"

#include <algorithm>
#include <cmath>
#include <optional>
#include <string>
#include <vector>

#include "Framework/PApplication.h"
#include "Framework/PSettings.h"
#include "Game/ScriptApi.h"
#include "GameData/CarNames.h"
#include "GameData/PGameData.h"
#include "Platform/Math/D3DXMath.h"
#include "Platform/System/Random.h"
#include "Script/ScriptBinding.h"
#include "World/PLevel.h"
#include "World/PPlayer.h"
#include "World/PRaceCamera.h"
#include "World/PSpline.h"
#include "World/PWorldTables.h"

namespace ScriptApi {
namespace {

using Script::ScriptBind;
using Script::ScriptBindCall;
using Script::ScriptCall;
namespace Arg = Script::Arg;

constexpr int kLightSide = 1;
constexpr int kDarkSide = 2;
// Enemy sources count only in this ring around the player (both ends excluded).
constexpr float kSourceNear = 25.0f;
constexpr float kSourceFar = 40.0f;
// A racer at this damage or more is out of the fight.
constexpr float kDeadDamage = 100.0f;
constexpr float kPi = 3.14159265358979f;

// The level's player, or null when there is no level or no player.
CPPlayer* LevelPlayer() {
    CPLevel* level = CPLevel::GetInstance();
    return level ? level->player : nullptr;
}

float Distance(const D3DXVECTOR3& a, const D3DXVECTOR3& b) {
    const D3DXVECTOR3 d = a - b;
    return D3DXVec3Length(&d);
}

D3DXVECTOR3 SourcePosition(const SPEnemySource& source) {
    return D3DXVECTOR3(source.position[0], source.position[1], source.position[2]);
}

bool InSourceRing(const SPEnemySource& source, bool kindFlag, const D3DXVECTOR3& player) {
    if (source.kindFlag != kindFlag) return false;
    const float d = Distance(SourcePosition(source), player);
    return d > kSourceNear && d < kSourceFar;
}

std::string WeightedDraw(const std::vector<SPWeightedName>& names, int r) {
    for (const SPWeightedName& entry : names)
        if (entry.from <= r && r < entry.to) return entry.name;
    return std::string();
}

// value 1, text 2, value 2, text 1, text 3: the order the scripts unpack. A type the table lacks
// is entered with zeros and empty texts.
void GetEnemyData(ScriptCall& call, const std::string& type) {
    const SPEnemyData& data = ::GetEnemyData(type);
    call.PushNumber(data.value1);
    call.PushString(data.text2);
    call.PushNumber(data.value2);
    call.PushString(data.text1);
    call.PushString(data.text3);
}

// The scripts still call it with a name and two numbers; placing happens elsewhere.
void AddEnemy(ScriptCall&, const std::optional<std::string>&, double, double) {}

void GetPlayerPosition(ScriptCall& call) {
    const CPPlayer* player = LevelPlayer();
    const D3DXVECTOR3 p = player ? player->GetPosition() : D3DXVECTOR3(0.0f, 0.0f, 0.0f);
    call.PushNumber(p.x);
    call.PushNumber(p.y);
    call.PushNumber(p.z);
}

// A random point around the player: mostly ahead of a moving car, spread sideways; otherwise on
// the border of a square of side m around it.
D3DXVECTOR2 RandomCandidate(const CPLevel& level, const CPPlayer& player, float m) {
    const D3DXVECTOR3& p = player.GetPosition();
    if (level.playerSpeed > 2.0f && Platform::EngineRand() % 5 > 0) {
        const int k = Platform::EngineRand() % static_cast<int>(m / 4.0f);
        const D3DXVECTOR3 ahead(static_cast<float>(k) - m / 8.0f, -m / 2.0f, 0.0f);
        D3DXMATRIX rotation;
        D3DXMatrixRotationQuaternion(&rotation, &player.GetRotationQuaternion());
        D3DXVECTOR3 v;
        D3DXVec3TransformCoord(&v, &ahead, &rotation);
        D3DXVec3Normalize(&v, &v);
        v *= m / 2.0f;
        return D3DXVECTOR2(p.x + v.x, p.y + v.y);
    }
    const float h = m / 2.0f;
    const int side = static_cast<int>(m);
    float cx = 0.0f;
    float cy = 0.0f;
    if (Platform::EngineRand() % 2 == 1) {
        cx = static_cast<float>(Platform::EngineRand() % side) - h;
        cy = (Platform::EngineRand() % 2 == 1) ? -h : h;
    } else {
        cy = static_cast<float>(Platform::EngineRand() % side) - h;
        cx = (Platform::EngineRand() % 2 == 1) ? -h : h;
    }
    return D3DXVECTOR2(p.x + cx, p.y + cy);
}

// Where an enemy may appear: the given point moved by (2, 2) when the third argument is there
// (as a string or a number), else a random point near the player; two tries to land inside the
// level's border 20 units in from its edges, the second answered either way.
void GetPositionForEnemy(ScriptCall& call) {
    CPLevel* level = CPLevel::GetInstance();
    CPPlayer* player = LevelPlayer();
    if (!level || !player) return;
    const bool fixed = call.String(3).has_value();
    const float x = call.Float(4);
    const float y = call.Float(5);
    const float limitX = level->terrainExtentX * 0.5f - 20.0f;
    const float limitY = level->terrainExtentY * 0.5f - 20.0f;
    D3DXVECTOR2 candidate(0.0f, 0.0f);
    bool valid = false;
    for (int attempt = 0; attempt < 2 && !valid; ++attempt) {
        candidate = fixed ? D3DXVECTOR2(x + 2.0f, y + 2.0f) : RandomCandidate(*level, *player, kEnemyCandidateScale);
        valid = -limitX <= candidate.x && candidate.x <= limitX && -limitY <= candidate.y && candidate.y <= limitY;
    }
    call.PushBoolean(valid);
    call.PushNumber(candidate.x);
    call.PushNumber(candidate.y);
}

// The kind of enemy to place at checkpoint line n: from a source of the mission near the player
// when one of the asked kind is in the ring (its position with true), else from the checkpoint
// line's own kinds at the player (with false).
void GetEnemyType(ScriptCall& call) {
    CPPlayer* player = LevelPlayer();
    if (!player) return;
    const int index = Script::TruncateToInt(call.Number(1) - 1.0);
    const std::optional<std::string> key = call.String(1);
    const bool kindFlag = call.Boolean(2);
    const D3DXVECTOR3 p = player->GetPosition();
    const CPGameData* data = GetGameData();

    std::vector<const SPEnemySource*> candidates;
    if (data && key) {
        const auto it = data->enemySources.find(*key);
        if (it != data->enemySources.end())
            for (const SPEnemySource& source : it->second)
                if (InSourceRing(source, kindFlag, p)) candidates.push_back(&source);
    }
    if (!candidates.empty()) {
        const SPEnemySource& source = *candidates[static_cast<std::size_t>(Platform::EngineRand()) % candidates.size()];
        call.PushString(WeightedDraw(source.enemyKinds, Platform::EngineRand() % 100));
        call.PushBoolean(true);
        call.PushNumber(source.position[0]);
        call.PushNumber(source.position[1]);
        return;
    }
    const int r = Platform::EngineRand() % 100;
    std::string type;
    if (data && index >= 0 && static_cast<std::size_t>(index) < data->checkpointInfos.size())
        type = WeightedDraw(data->checkpointInfos[static_cast<std::size_t>(index)].enemyKinds, r);
    call.PushString(type);
    call.PushBoolean(false);
    call.PushNumber(p.x);
    call.PushNumber(p.y);
}

void IsEnemySourceNear(ScriptCall& call, bool kindFlag, const std::optional<std::string>& key) {
    CPPlayer* player = LevelPlayer();
    if (!player) return;
    bool near = false;
    const CPGameData* data = GetGameData();
    if (data && key) {
        const auto it = data->enemySources.find(*key);
        if (it != data->enemySources.end())
            near = std::any_of(it->second.begin(), it->second.end(), [&](const SPEnemySource& source) {
                return InSourceRing(source, kindFlag, player->GetPosition());
            });
    }
    call.PushBoolean(near);
}

// Screen x, screen y and angle of the marker; zeros without a level or such a marker.
void GetAIPosition(ScriptCall& call, const std::optional<std::string>& key) {
    const CPGameData* data = GetGameData();
    const SPMapMarker* marker = nullptr;
    if (CPLevel::GetInstance() && data && key) {
        const auto it = data->aiPositions.find(*key);
        if (it != data->aiPositions.end()) marker = &it->second;
    }
    call.PushNumber(marker ? marker->screenX : 0.0f);
    call.PushNumber(marker ? marker->screenY : 0.0f);
    call.PushNumber(marker ? marker->angle : 0.0f);
}

// The opponents' mini-map markers in screen space (four values each, in the store's table
// order), or, in a time-mode race, the one marker of the time-mode object while it is on the map.
void GetAIPositions(ScriptCall& call) {
    CPLevel* level = CPLevel::GetInstance();
    CPPlayer* player = LevelPlayer();
    const CPSmartPtr<CPCamera> camera = level ? level->GetCamera() : CPSmartPtr<CPCamera>();
    if (!level || !player || !camera) return;

    const float mapScale = level->miniMap ? level->miniMap->mapScale * level->mapZoom : 1.0f;
    const float extent = std::max(level->terrainExtentX, level->terrainExtentY);
    // A map without a scale yet (zoom 0) would put every marker at infinity; it shows the
    // markers unscaled instead.
    float span = extent * mapScale;
    if (!(span > 0.0f) || !std::isfinite(span)) span = 1.0f;
    D3DXMATRIX turn;
    D3DXMatrixRotationZ(&turn, -(camera->GetTargetYaw() + kPi / 2.0f));
    const D3DXVECTOR3 p = player->GetPosition();
    const auto relative = [&](float x, float y) {
        const D3DXVECTOR3 d(x - p.x, y - p.y, 0.0f);
        D3DXVECTOR3 q;
        D3DXVec3TransformCoord(&q, &d, &turn);
        return q;
    };
    const float screenHeight = static_cast<float>(g_screenHeight);

    if (level->timeModeObject) {
        const D3DXVECTOR3& t = level->timeModeObject->GetPosition();
        const D3DXVECTOR3 q = relative(t.x, t.y) * (100.0f / span);
        if (std::sqrt(q.x * q.x + q.y * q.y) < 100.0f) {
            call.PushNumber(3);
            call.PushTable([&](ScriptCall::TableBuilder& table) {
                table.AddNumber(q.x + 140.0f);
                table.AddNumber(screenHeight - 100.0f + q.y);
                table.AddBoolean(false);
            });
        } else {
            call.PushNumber(0);
            call.PushTable([](ScriptCall::TableBuilder&) {});
        }
        return;
    }

    const CPGameData* data = GetGameData();
    const std::size_t count = data ? data->aiPositions.size() : 0;
    call.PushNumber(4.0 * static_cast<double>(count));
    call.PushTable([&](ScriptCall::TableBuilder& table) {
        if (!data) return;
        for (const auto& [key, marker] : data->aiPositions) {
            D3DXVECTOR3 q = relative(marker.worldX, marker.worldY);
            if (level->miniMap) q *= g_interfaceScale * 100.0f / span;
            table.AddNumber(g_interfaceScale * 140.0f + q.x + g_interfaceOffsetX);
            table.AddNumber(screenHeight - g_interfaceScale * 100.0f + q.y);
            table.AddNumber(marker.angle);
            table.AddBoolean(false);
        }
    });
}

void GetPlayerMapPosition(ScriptCall& call) {
    if (!CPLevel::GetInstance()) return;
    call.PushNumber(132);
    call.PushNumber(static_cast<double>(g_screenHeight) - 148.0);
}

// 1 while one of the first five opponents of the side is still in the fight.
int SideLeft(int sideBit) {
    const CPLevel* level = CPLevel::GetInstance();
    if (!level) return 0;
    const std::size_t n = std::min<std::size_t>(level->opponents.size(), 5);
    for (std::size_t i = 0; i < n; ++i) {
        const CPPlayer* racer = level->opponents[i].Get();
        if (racer && (racer->flags & sideBit) && racer->damage < kDeadDamage) return 1;
    }
    return 0;
}

void IsDarkLeft(ScriptCall& call) { call.PushNumber(SideLeft(kDarkSide)); }
void IsLightLeft(ScriptCall& call) { call.PushNumber(SideLeft(kLightSide)); }

// The nearest racer of a side to q among the first n opponents: of two at the same distance the
// later one; the player only when strictly nearer. Nothing when none qualifies within 10000.
template <class Qualifies>
void PushNearest(ScriptCall& call, const D3DXVECTOR3& q, std::size_t n, int sideBit, Qualifies qualifies) {
    const CPLevel* level = CPLevel::GetInstance();
    if (!level) return;
    float best = 10000.0f;
    CPPlayer* chosen = nullptr;
    const std::size_t count = std::min(level->opponents.size(), n);
    for (std::size_t i = 0; i < count; ++i) {
        CPPlayer* racer = level->opponents[i].Get();
        if (!racer || !qualifies(*racer)) continue;
        const float d = Distance(racer->GetPosition(), q);
        if (d <= best) {
            chosen = racer;
            best = d;
        }
    }
    if (CPPlayer* player = level->player; player && (player->flags & sideBit)) {
        const float d = Distance(player->GetPosition(), q);
        if (d < best) {
            chosen = player;
            best = d;
        }
    }
    if (!chosen) return;
    const D3DXVECTOR3& p = chosen->GetPosition();
    call.PushNumber(p.x);
    call.PushNumber(p.y);
    call.PushNumber(p.z);
    call.PushObject(chosen);
    call.PushNumber(best);
}

void GetNearestSolvanePlayer(ScriptCall& call, double x, double y, double z, bool traffic) {
    const D3DXVECTOR3 q(Script::NarrowToFloat(x), Script::NarrowToFloat(y), Script::NarrowToFloat(z));
    PushNearest(call, q, traffic ? 20 : 5, kLightSide, [traffic](const CPPlayer& racer) {
        return ((racer.flags & kLightSide) && racer.damage < kDeadDamage) ||
               (traffic && (racer.flags & CPLevel::kTrafficFlag));
    });
}

void GetNearestUmbrakPlayer(ScriptCall& call, double x, double y, double z) {
    const D3DXVECTOR3 q(Script::NarrowToFloat(x), Script::NarrowToFloat(y), Script::NarrowToFloat(z));
    PushNearest(call, q, 5, kDarkSide, [](const CPPlayer& racer) { return (racer.flags & kDarkSide) != 0; });
}

void GetEnemiesCount(ScriptCall& call) {
    if (const CPLevel* level = CPLevel::GetInstance()) call.PushNumber(static_cast<double>(level->opponents.size()));
}

// The route point of opponent i. Its route distance is measured again only on the frame the race
// rules visit it (index equal to the frame counter); other frames reuse the stored one.
void GetEnemySplinePosition(ScriptCall& call, double index) {
    D3DXVECTOR3 point(0.0f, 0.0f, 0.0f);
    const CPLevel* level = CPLevel::GetInstance();
    const int i = Script::TruncateToInt(index);
    if (level && level->path && i >= 0 && static_cast<std::size_t>(i) < level->opponents.size() &&
        level->opponents[static_cast<std::size_t>(i)]) {
        CPPlayer& opponent = *level->opponents[static_cast<std::size_t>(i)];
        if (index == static_cast<double>(level->frameCounter)) {
            float d = 0.0f;
            level->path->GetDistanceAtPoint(opponent.GetPosition(), d, 25.0f);
            opponent.splineDistance = d;
        }
        D3DXVECTOR3 direction(0.0f, 0.0f, 0.0f);
        opponent.splineSegment = level->path->GetPointAtDistance(opponent.splineDistance, point, direction);
    }
    call.PushNumber(point.x);
    call.PushNumber(point.y);
    call.PushNumber(point.z);
}

// The damage of the first opponent driving the car; scripts name cars by their description
// names, racers carry the file stems.
void GetAIDamage(ScriptCall& call, const std::optional<std::string>& carName) {
    const CPLevel* level = CPLevel::GetInstance();
    if (!level) return;
    const std::string description = carName.value_or(std::string());
    const std::string name = CarStemOfDescription(description).value_or(description);
    float damage = 0.0f;
    for (const CPSmartPtr<CPPlayer>& opponent : level->opponents) {
        if (opponent && opponent->name == name) {
            damage = opponent->damage;
            break;
        }
    }
    call.PushNumber(damage);
}

} // namespace

void AddEnemyQueryFunctions(Script::ScriptFunctionTables& tables) {
    static const Script::ScriptFunction kSecond[] = {
        {"GetEnemyData", ScriptBind<GetEnemyData, Arg::RequiredString>},
        {"AddEnemy", ScriptBind<AddEnemy, Arg::String, Arg::Number, Arg::Number>},
        {"GetPlayerPosition", ScriptBindCall<GetPlayerPosition>},
        {"GetPositionForEnemy", ScriptBindCall<GetPositionForEnemy>},
        {"GetEnemyType", ScriptBindCall<GetEnemyType>},
        {"IsEnemySourceNear", ScriptBind<IsEnemySourceNear, Arg::Boolean, Arg::String>},
        {"GetAIPosition", ScriptBind<GetAIPosition, Arg::String>},
        {"GetAIPositions", ScriptBindCall<GetAIPositions>},
        {"GetPlayerMapPosition", ScriptBindCall<GetPlayerMapPosition>},
        {"IsDarkLeft", ScriptBindCall<IsDarkLeft>},
        {"IsLightLeft", ScriptBindCall<IsLightLeft>},
        {"GetNearestSolvanePlayer",
         ScriptBind<GetNearestSolvanePlayer, Arg::Number, Arg::Number, Arg::Number, Arg::Boolean>},
        {"GetNearestUmbrakPlayer", ScriptBind<GetNearestUmbrakPlayer, Arg::Number, Arg::Number, Arg::Number>},
        {"GetEnemiesCount", ScriptBindCall<GetEnemiesCount>},
        {"GetEnemySplinePosition", ScriptBind<GetEnemySplinePosition, Arg::Number>},
        {"GetAIDamage", ScriptBind<GetAIDamage, Arg::String>},
    };
    tables.Add(kSecondTable, kSecond);
}

} // namespace ScriptApi
