#pragma once
// The script functions of the starting car, the difficulty, the score tables and the mission
// records, over the game-data store.

#include "Script/ScriptFunctions.h"

namespace ScriptApi {

// "InitPlayer", "CheckPlayerRecords", "GetRecords", "UpdateBestTimeRecord", "GetTimeBest",
// "UpdateRoundsTime", "SaveScore", "GetBestTimesCount", "GetFirstPlacesCount" (second table) and
// "SetDifficult" (third table).
void AddRecordFunctions(Script::ScriptFunctionTables& tables);

} // namespace ScriptApi
