#include "Game/ScriptAchievements.h"

#include <climits>

#include "Game/ScriptApi.h"
#include "GameData/PGameData.h"
#include "Script/ScriptBinding.h"

namespace ScriptApi {

namespace {

using Script::ScriptBind;
using Script::ScriptCall;
using Script::Arg::Number;
using Script::Arg::RequiredString;
using Script::Arg::String;

// Reading a counter enters a missing name with 0, so every counter a script has seen is saved.
int& Counter(CPGameData& data, const std::string& name) { return data.achievementValues[name]; }

void GetAchievement(ScriptCall& call, const std::string& name) {
    CPGameData* data = GetGameData();
    call.PushNumber(data ? Counter(*data, name) : 0);
}

void SetAchievement(ScriptCall&, const std::string& name, double value) {
    if (CPGameData* data = GetGameData()) Counter(*data, name) = Script::TruncateToInt(value);
}

void SetFirstAchievement(ScriptCall& call, const std::string& name) {
    CPGameData* data = GetGameData();
    if (!data) {
        call.PushBoolean(false);
        return;
    }
    int& counter = Counter(*data, name);
    const bool first = counter == 0;
    if (first) counter = 1;
    call.PushBoolean(first);
}

void IncreaseAchievement(ScriptCall& call, const std::string& name) {
    CPGameData* data = GetGameData();
    if (!data) {
        call.PushNumber(0);
        return;
    }
    int& counter = Counter(*data, name);
    // A counter at the top of the int range stays there rather than wrap to a negative count.
    if (counter < INT_MAX) ++counter;
    call.PushNumber(counter);
}

void GetAchievementsCount(ScriptCall& call) {
    CPGameData* data = GetGameData();
    call.PushNumber(data ? data->GetGotCount() : 0);
}

void UnlockedAchievementsCount(ScriptCall& call) {
    CPGameData* data = GetGameData();
    call.PushNumber(data ? data->GetUnlockedCount() : 0);
}

void PushName(ScriptCall& call, const std::optional<std::string>& name) {
    if (name) call.PushString(*name);
}

void GetGetAchievement(ScriptCall& call, double position) {
    if (CPGameData* data = GetGameData()) PushName(call, data->GetGotName(Script::TruncateToInt(position)));
}

void GetUnlockedAchievement(ScriptCall& call, double position) {
    if (CPGameData* data = GetGameData()) PushName(call, data->GetUnlockedName(Script::TruncateToInt(position)));
}

void AddGetAchievement(ScriptCall&, const std::optional<std::string>& name) {
    CPGameData* data = GetGameData();
    if (data && name) data->AddGotAchievement(*name);
}

void AddUnlockedAchievement(ScriptCall&, const std::optional<std::string>& name) {
    CPGameData* data = GetGameData();
    if (data && name) data->AddUnlockedAchievement(*name);
}

void PrepareAchievements(ScriptCall&) {
    if (CPGameData* data = GetGameData()) data->SnapshotAchievements();
}

void SwapAchievements(ScriptCall&) {
    if (CPGameData* data = GetGameData()) data->RestoreAchievements();
}

} // namespace

void AddAchievementFunctions(Script::ScriptFunctionTables& tables) {
    static const Script::ScriptFunction kSecond[] = {
        {"GetAchievement", ScriptBind<GetAchievement, RequiredString>},
        {"SetAchievement", ScriptBind<SetAchievement, RequiredString, Number>},
        {"SetFirstAchievement", ScriptBind<SetFirstAchievement, RequiredString>},
        {"IncreaseAchievement", ScriptBind<IncreaseAchievement, RequiredString>},
        {"GetAchievementsCount", ScriptBind<GetAchievementsCount>},
        {"UnlockedAchievementsCount", ScriptBind<UnlockedAchievementsCount>},
        {"GetGetAchievement", ScriptBind<GetGetAchievement, Number>},
        {"GetUnlockedAchievement", ScriptBind<GetUnlockedAchievement, Number>},
        {"AddGetAchievement", ScriptBind<AddGetAchievement, String>},
        {"AddUnlockedAchievement", ScriptBind<AddUnlockedAchievement, String>},
        {"PrepareAchievements", ScriptBind<PrepareAchievements>},
        {"SwapAchievements", ScriptBind<SwapAchievements>},
    };
    tables.Add(kSecondTable, kSecond);
}

} // namespace ScriptApi
