#pragma once
// The script functions of the career and profile and of the mission descriptions, over the
// game-data store and the race-world view.

#include "Script/ScriptFunctions.h"

namespace ScriptApi {

// The field accessors and the other career functions (second table; "AddScore" and "GetScore"
// third), with "GetCurrentRace"/"SetCurrentRace" as the second names of
// "GetCurrentMission"/"SetCurrentMission". The record functions are AddRecordFunctions'.
void AddCareerFunctions(Script::ScriptFunctionTables& tables);

// "LoadMissionInfo", "GetCheckPointsCount", "GetCheckPointInfo" (second table).
void AddMissionInfoFunctions(Script::ScriptFunctionTables& tables);

} // namespace ScriptApi
