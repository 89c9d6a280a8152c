#include "Game/ScriptRecords.h"

#include "Game/ScriptApi.h"
#include "GameData/PGameData.h"
#include "Script/ScriptBinding.h"

namespace ScriptApi {

namespace {

using Script::ScriptBind;
using Script::ScriptCall;
using Script::Arg::Boolean;
using Script::Arg::Number;

void InitPlayer(ScriptCall&) {
    if (CPGameData* data = GetGameData()) data->LoadPlayer();
}

void SetDifficult(ScriptCall&, bool hard) {
    if (CPGameData* data = GetGameData()) {
        data->hardMode = hard;
        data->LoadCoefficients();
    }
}

void CheckPlayerRecords(ScriptCall& call, double table) {
    CPGameData* data = GetGameData();
    call.PushBoolean(data && data->CheckPlayerRecords(Script::TruncateToInt(table)));
}

void GetRecords(ScriptCall& call, double table) {
    CPGameData* data = GetGameData();
    const std::vector<SPRecordRow> rows =
        data ? data->GetRecordRows(Script::TruncateToInt(table)) : std::vector<SPRecordRow>(kScoreTableSize);
    // Every row table is built on top of the stack, so arguments beyond the first cannot
    // shift where the rows go.
    call.PushTable([&rows, &call](ScriptCall::TableBuilder&) {
        lua_State* L = call.State();
        int index = 0;
        for (const SPRecordRow& row : rows) {
            lua_pushnumber(L, ++index);
            lua_newtable(L);
            lua_pushnumber(L, 1);
            lua_pushlstring(L, row.name.data(), row.name.size());
            lua_settable(L, -3);
            lua_pushnumber(L, 2);
            lua_pushlstring(L, row.time.data(), row.time.size());
            lua_settable(L, -3);
            lua_settable(L, -3);
        }
    });
}

void UpdateBestTimeRecord(ScriptCall& call) {
    CPGameData* data = GetGameData();
    call.PushBoolean(data && data->UpdateBestTimeRecord());
}

void GetTimeBest(ScriptCall& call) {
    CPGameData* data = GetGameData();
    PushTime(call, SplitTime(data ? data->GetBestFinishedLap() : 0.0f));
}

void UpdateRoundsTime(ScriptCall& call) {
    CPGameData* data = GetGameData();
    const std::array<SPRoundTime, 10> rounds = data ? data->GetRoundsTime() : std::array<SPRoundTime, 10>{};
    call.PushNumber(static_cast<double>(rounds.size() * 4));
    call.PushTable([&rounds](ScriptCall::TableBuilder& table) {
        for (const SPRoundTime& round : rounds) {
            table.AddNumber(round.time.minutes);
            table.AddNumber(round.time.seconds);
            table.AddNumber(round.time.hundredths);
            table.AddBoolean(round.reached);
        }
    });
}

void SaveScore(ScriptCall&) {
    // A failed write is logged by the store; the script gets no result either way.
    if (CPGameData* data = GetGameData()) data->SaveScores();
}

void GetBestTimesCount(ScriptCall& call) {
    CPGameData* data = GetGameData();
    call.PushNumber(data ? data->GetBestTimesCount() : 0);
}

void GetFirstPlacesCount(ScriptCall& call) {
    CPGameData* data = GetGameData();
    call.PushNumber(data ? data->GetFirstPlacesCount() : 0);
}

} // namespace

void AddRecordFunctions(Script::ScriptFunctionTables& tables) {
    static const Script::ScriptFunction kSecond[] = {
        {"InitPlayer", ScriptBind<InitPlayer>},
        {"UpdateRoundsTime", ScriptBind<UpdateRoundsTime>},
        {"GetRecords", ScriptBind<GetRecords, Number>},
        {"CheckPlayerRecords", ScriptBind<CheckPlayerRecords, Number>},
        {"SaveScore", ScriptBind<SaveScore>},
        {"GetTimeBest", ScriptBind<GetTimeBest>},
        {"UpdateBestTimeRecord", ScriptBind<UpdateBestTimeRecord>},
        {"GetBestTimesCount", ScriptBind<GetBestTimesCount>},
        {"GetFirstPlacesCount", ScriptBind<GetFirstPlacesCount>},
    };
    static const Script::ScriptFunction kThird[] = {
        {"SetDifficult", ScriptBind<SetDifficult, Boolean>},
    };
    tables.Add(kSecondTable, kSecond);
    tables.Add(kThirdTable, kThird);
}

void PushTime(ScriptCall& call, const SPTimeSplit& time) {
    call.PushNumber(time.minutes);
    call.PushNumber(time.seconds);
    call.PushNumber(time.hundredths);
}

} // namespace ScriptApi
