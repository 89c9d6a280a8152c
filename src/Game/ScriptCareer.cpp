#include "Game/ScriptCareer.h"
#include "Game/ScriptRecords.h"

#include "Framework/PGlobalTimer.h"
#include "Game/RaceWorldView.h"
#include "Game/ScriptApi.h"
#include "GameData/PGameData.h"
#include "Script/ScriptBinding.h"

namespace ScriptApi {

namespace {

using Script::ScriptBind;
using Script::ScriptBindCall;
using Script::ScriptCall;
using Script::Arg::Boolean;
using Script::Arg::Number;
using Script::Arg::RequiredString;
using Script::Arg::String;

constexpr double kPoints = 1000000.0;

// The mission record of a level number 1 to 18; null outside.
const SPMissionRecord* Level(const CPGameData* data, int level) {
    if (!data || level < 1 || level > kLevelCount) return nullptr;
    return &data->missionRecords[static_cast<std::size_t>(level - 1)];
}

bool* HelperFlag(CPGameData* data, int hint) {
    if (!data || hint < 1 || hint > kHelperFlagCount) return nullptr;
    return &data->helperFlags[static_cast<std::size_t>(hint - 1)];
}

// Accessors of one field each: a setter reading one argument and a getter pushing the field.
template <auto Field>
void SetInt(ScriptCall&, double value) {
    if (CPGameData* data = GetGameData()) data->*Field = Script::TruncateToInt(value);
}
template <auto Field>
void GetInt(ScriptCall& call) {
    const CPGameData* data = GetGameData();
    call.PushNumber(data ? data->*Field : 0);
}
template <auto Field>
void SetBool(ScriptCall&, bool value) {
    if (CPGameData* data = GetGameData()) data->*Field = value;
}
template <auto Field>
void GetBool(ScriptCall& call) {
    const CPGameData* data = GetGameData();
    call.PushBoolean(data && data->*Field);
}
template <auto Field>
void GetString(ScriptCall& call) {
    const CPGameData* data = GetGameData();
    call.PushString(data ? std::string_view(data->*Field) : std::string_view());
}

void SetRoundTime(ScriptCall&, double value) {
    if (CPGameData* data = GetGameData()) data->roundTime = Script::NarrowToFloat(value);
}

void GetRoundTime(ScriptCall& call) {
    const CPGameData* data = GetGameData();
    call.PushNumber(data ? data->roundTime : 0.0f);
}

void GetCurrentRound(ScriptCall& call) {
    const CPGameData* data = GetGameData();
    call.PushNumber(data ? data->playerLap.currentLap : 0);
}

void SetProfileName(ScriptCall&, const std::optional<std::string>& name) {
    if (CPGameData* data = GetGameData()) data->ResetProfile(name.value_or(""));
}

void SetPlayerName(ScriptCall&, const std::optional<std::string>& name) {
    if (CPGameData* data = GetGameData()) data->playerName = name.value_or("");
}

void GetPlayerName(ScriptCall& call) {
    if (call.ArgumentCount() == 0) {
        const CPGameData* data = GetGameData();
        call.PushString(data ? std::string_view(data->playerName) : std::string_view());
        return;
    }
    IPMMObject* racer = call.Object(1);
    const std::optional<std::string> name = racer ? GetRaceWorldView().RacerName(racer) : std::nullopt;
    call.PushString(name.value_or(""));
}

void SetMoney(ScriptCall&, double amount) {
    if (CPGameData* data = GetGameData()) data->SetMoney(Script::NarrowToFloat(amount));
}

void GetMoney(ScriptCall& call) {
    const CPGameData* data = GetGameData();
    call.PushNumber(data ? data->money : 0.0f);
}

void SetHelperOn(ScriptCall&, double hint) {
    if (bool* flag = HelperFlag(GetGameData(), Script::TruncateToInt(hint))) *flag = true;
}

void IsHelperOn(ScriptCall& call, double hint) {
    const bool* flag = HelperFlag(GetGameData(), Script::TruncateToInt(hint));
    call.PushBoolean(flag && *flag);
}

void SetCurrentLevelSettings(ScriptCall& call) {
    CPGameData* data = GetGameData();
    if (!data) return;
    SPLevelSettings& s = data->levelSettings;
    s.racerCount = call.Integer(1);
    s.setting3 = call.Integer(2);
    s.setting4 = call.Integer(3);
    s.setting5 = call.Integer(4);
    s.finishCheckpointIndex = call.Integer(5);
    s.setting7 = call.Boolean(6);
    s.setting9 = call.Float(7);
    s.checkpointTimeBonus = call.Float(8);
    s.nitroGainFactor = call.Float(9);
    s.text12 = call.String(10).value_or("");
    s.text13 = call.String(11).value_or("");
}

void SetCurrentLevelMinimumSettings(ScriptCall&, double minimum, const std::string& text) {
    if (CPGameData* data = GetGameData()) {
        data->levelSettings.minimumValue = Script::TruncateToInt(minimum);
        data->levelSettings.minimumText = text;
    }
}

void GetCurrentLevelSettings(ScriptCall& call) {
    const CPGameData* data = GetGameData();
    const SPLevelSettings s = data ? data->levelSettings : SPLevelSettings{};
    call.PushNumber(s.minimumValue);
    call.PushNumber(s.racerCount);
    call.PushNumber(s.setting3);
    call.PushNumber(s.setting4);
    call.PushNumber(s.setting5);
    call.PushNumber(s.finishCheckpointIndex);
    call.PushBoolean(s.setting7);
    call.PushString(s.minimumText);
    call.PushNumber(s.setting9);
    call.PushNumber(s.checkpointTimeBonus);
    call.PushNumber(s.nitroGainFactor);
    call.PushString(s.text12);
    call.PushString(s.text13);
}

void SetLevelCondition(ScriptCall&, double level, const std::optional<std::string>& first,
                       const std::optional<std::string>& second) {
    CPGameData* data = GetGameData();
    const int n = Script::TruncateToInt(level);
    if (!data || n < 1 || n > kLevelCount) return;
    data->levelConditions[static_cast<std::size_t>(n - 1)] = {first.value_or(""), second.value_or("")};
}

void GetLevelCondition(ScriptCall& call, double level) {
    const CPGameData* data = GetGameData();
    const int n = Script::TruncateToInt(level);
    if (!data || n < 1 || n > kLevelCount) {
        call.PushString("");
        call.PushString("");
        return;
    }
    const auto& condition = data->levelConditions[static_cast<std::size_t>(n - 1)];
    call.PushString(condition.first);
    call.PushString(condition.second);
}

void PushBestTime(ScriptCall& call, const SPMissionRecord* record) {
    PushTime(call, record ? SplitTime(record->bestTime) : SPTimeSplit{});
}

void GetBestTimeAttack(ScriptCall& call) {
    const CPGameData* data = GetGameData();
    PushBestTime(call, Level(data, data ? data->realLevelNumber : 0));
}

void GetBestTimeAttack2(ScriptCall& call, double mission) {
    PushBestTime(call, Level(GetGameData(), Script::TruncateToInt(mission) + 1));
}

void GetMedal(ScriptCall& call, double level) {
    const SPMissionRecord* record = Level(GetGameData(), Script::TruncateToInt(level));
    call.PushNumber(record ? record->bestPlace : 0);
}

void GetTimeBeaten(ScriptCall& call, double level) {
    const SPMissionRecord* record = Level(GetGameData(), Script::TruncateToInt(level));
    call.PushNumber(record ? record->recordCount : 0);
}

// The lap time at a position of the human's lap record; 0 where the record has none.
float LapTime(int index) {
    const CPGameData* data = GetGameData();
    if (!data || index < 0 || index >= static_cast<int>(data->playerLap.lapTimes.size())) return 0.0f;
    return data->playerLap.lapTimes[static_cast<std::size_t>(index)];
}

void GetTimeAttack(ScriptCall& call) { PushTime(call, SplitTime(LapTime(0))); }

void GetTime(ScriptCall& call) {
    const CPGameData* data = GetGameData();
    PushTime(call, SplitTime(data ? LapTime(data->playerLap.currentLap - 1) : 0.0f));
}

void GetCheckpointTime(ScriptCall& call) { PushTime(call, SplitTime(GetRaceWorldView().CheckpointTimer())); }

void GetFullTime(ScriptCall& call) { call.PushNumber(g_totalTime); }

void GetPoints(ScriptCall& call) { call.PushNumber(kPoints); }

// Reads its amount and changes nothing; the script gets its own last argument back.
int AddScore(lua_State* L) {
    if (lua_gettop(L) == 0) return 0;
    lua_pushvalue(L, -1);
    return 1;
}

void LoadMissionInfo(ScriptCall&, const std::optional<std::string>& name) {
    CPGameData* data = GetGameData();
    if (!data || !name) return;
    const IRaceWorldView& world = GetRaceWorldView();
    data->LoadMissionInfo(*name, world.HasLevel() ? &world.NamedPositions() : nullptr);
}

void GetCheckPointsCount(ScriptCall& call) {
    const CPGameData* data = GetGameData();
    call.PushNumber(data ? static_cast<double>(data->checkpointInfos.size()) : 0.0);
}

void GetCheckPointInfo(ScriptCall& call, double index) {
    const CPGameData* data = GetGameData();
    const int i = Script::TruncateToInt(index);
    if (!data || i < 0 || i >= static_cast<int>(data->checkpointInfos.size())) return;
    const SPCheckpointInfo& info = data->checkpointInfos[static_cast<std::size_t>(i)];
    call.PushNumber(info.value2);
    call.PushNumber(info.value3);
    call.PushNumber(info.value4);
    call.PushNumber(info.value1);
}

} // namespace

void AddCareerFunctions(Script::ScriptFunctionTables& tables) {
    static const Script::ScriptFunction kSecond[] = {
        {"SetSingleModeGlobal", ScriptBind<SetBool<&CPGameData::singleModeGlobal>, Boolean>},
        {"IsSingleModeGlobal", ScriptBind<GetBool<&CPGameData::singleModeGlobal>>},
        {"SetTimeModeGlobal", ScriptBind<SetBool<&CPGameData::timeModeGlobal>, Boolean>},
        {"IsTimeModeGlobal", ScriptBind<GetBool<&CPGameData::timeModeGlobal>>},
        {"SetLastLevelSelected", ScriptBind<SetInt<&CPGameData::lastLevelSelected>, Number>},
        {"GetLastLevelSelected", ScriptBind<GetInt<&CPGameData::lastLevelSelected>>},
        {"SetLastCarSelected", ScriptBind<SetInt<&CPGameData::lastCarSelected>, Number>},
        {"GetLastCarSelected", ScriptBind<GetInt<&CPGameData::lastCarSelected>>},
        {"SetRealLevelNumber", ScriptBind<SetInt<&CPGameData::realLevelNumber>, Number>},
        {"GetRealLevelNumber", ScriptBind<GetInt<&CPGameData::realLevelNumber>>},
        {"SetLevelTransportCount", ScriptBind<SetInt<&CPGameData::transportCount>, Number>},
        {"SetCurrentMission", ScriptBind<SetInt<&CPGameData::currentMission>, Number>},
        {"SetCurrentRace", ScriptBind<SetInt<&CPGameData::currentMission>, Number>},
        {"GetCurrentMission", ScriptBind<GetInt<&CPGameData::currentMission>>},
        {"GetCurrentRace", ScriptBind<GetInt<&CPGameData::currentMission>>},
        {"SetKills", ScriptBind<SetInt<&CPGameData::kills>, Number>},
        {"SetNumRounds", ScriptBind<SetInt<&CPGameData::roundCount>, Number>},
        {"GetRoundsNumber", ScriptBind<GetInt<&CPGameData::roundCount>>},
        {"GetCurrentRound", ScriptBind<GetCurrentRound>},
        {"SetNumRacesPassed", ScriptBind<SetInt<&CPGameData::racesPassed>, Number>},
        {"GetNumRacesPassed", ScriptBind<GetInt<&CPGameData::racesPassed>>},
        {"SetRoundTime", ScriptBind<SetRoundTime, Number>},
        {"GetRoundTime", ScriptBind<GetRoundTime>},
        {"SetMaxAbilityCount", ScriptBind<SetInt<&CPGameData::abilityCount>, Number>},
        {"SetPlayerMana", ScriptBind<SetInt<&CPGameData::mana>, Number>},
        {"GetPlayerMana", ScriptBind<GetInt<&CPGameData::mana>>},
        {"SetLevelStarted", ScriptBind<SetBool<&CPGameData::levelStarted>, Boolean>},
        {"IsLevelStarted", ScriptBind<GetBool<&CPGameData::levelStarted>>},
        {"SetPoints", ScriptBind<SetInt<&CPGameData::points>, Number>},
        {"SetHelperStatus", ScriptBind<SetBool<&CPGameData::helperStatus>, Boolean>},
        {"GetHelperStatus", ScriptBind<GetBool<&CPGameData::helperStatus>>},
        {"SetProfileName", ScriptBind<SetProfileName, String>},
        {"GetProfileName", ScriptBind<GetString<&CPGameData::profileName>>},
        {"SetPlayerName", ScriptBind<SetPlayerName, String>},
        {"GetPlayerName", ScriptBindCall<GetPlayerName>},
        {"SetMoney", ScriptBind<SetMoney, Number>},
        {"GetMoney", ScriptBind<GetMoney>},
        {"SetHelperOn", ScriptBind<SetHelperOn, Number>},
        {"IsHelperOn", ScriptBind<IsHelperOn, Number>},
        {"SetCurrentLevelSettings", ScriptBindCall<SetCurrentLevelSettings>},
        {"SetCurrentLevelMinimumSettings", ScriptBind<SetCurrentLevelMinimumSettings, Number, RequiredString>},
        {"GetCurrentLevelSettings", ScriptBind<GetCurrentLevelSettings>},
        {"SetLevelCondition", ScriptBind<SetLevelCondition, Number, String, String>},
        {"GetLevelCondition", ScriptBind<GetLevelCondition, Number>},
        {"GetBestTimeAttack", ScriptBind<GetBestTimeAttack>},
        {"GetBestTimeAttack2", ScriptBind<GetBestTimeAttack2, Number>},
        {"GetMedal", ScriptBind<GetMedal, Number>},
        {"GetTimeBeaten", ScriptBind<GetTimeBeaten, Number>},
        {"GetTimeAttack", ScriptBind<GetTimeAttack>},
        {"GetTime", ScriptBind<GetTime>},
        {"GetCheckpointTime", ScriptBind<GetCheckpointTime>},
        {"GetFullTime", ScriptBind<GetFullTime>},
        {"GetPoints", ScriptBind<GetPoints>},
    };
    static const Script::ScriptFunction kThird[] = {
        {"AddScore", AddScore},
        {"GetScore", ScriptBind<GetInt<&CPGameData::kills>>},
    };
    tables.Add(kSecondTable, kSecond);
    tables.Add(kThirdTable, kThird);
}

void AddMissionInfoFunctions(Script::ScriptFunctionTables& tables) {
    static const Script::ScriptFunction kSecond[] = {
        {"LoadMissionInfo", ScriptBind<LoadMissionInfo, String>},
        {"GetCheckPointsCount", ScriptBind<GetCheckPointsCount>},
        {"GetCheckPointInfo", ScriptBind<GetCheckPointInfo, Number>},
    };
    tables.Add(kSecondTable, kSecond);
}

} // namespace ScriptApi
