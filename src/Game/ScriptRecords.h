#pragma once
// The script functions of the starting car, the difficulty, the score tables and the mission
// records, over the game-data store.

#include "Script/ScriptFunctions.h"

struct SPTimeSplit;
namespace Script {
class ScriptCall;
}

namespace ScriptApi {

// "InitPlayer", "CheckPlayerRecords", "GetRecords", "UpdateBestTimeRecord", "GetTimeBest",
// "UpdateRoundsTime", "SaveScore", "GetBestTimesCount", "GetFirstPlacesCount" (second table) and
// "SetDifficult" (third table).
void AddRecordFunctions(Script::ScriptFunctionTables& tables);

// A time as scripts receive it: three numbers, minutes, seconds and hundredths.
void PushTime(Script::ScriptCall& call, const SPTimeSplit& time);

} // namespace ScriptApi
