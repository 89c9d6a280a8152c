#pragma once
// The script functions of the achievement counters and lists, over the game-data store.

#include "Script/ScriptFunctions.h"

namespace ScriptApi {

// "GetAchievement", "SetAchievement", "SetFirstAchievement", "IncreaseAchievement",
// "GetAchievementsCount", "UnlockedAchievementsCount", "GetGetAchievement",
// "GetUnlockedAchievement", "AddGetAchievement", "AddUnlockedAchievement",
// "PrepareAchievements", "SwapAchievements" (second table).
void AddAchievementFunctions(Script::ScriptFunctionTables& tables);

} // namespace ScriptApi
