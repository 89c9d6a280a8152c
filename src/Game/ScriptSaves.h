#pragma once
// The script functions of the save games, over the game-data store.

#include "Script/ScriptFunctions.h"

namespace ScriptApi {

// "SaveGame", "LoadGame", "DeleteSave", "GetSaves", "NewPlayer", "ClearGameData" (second table).
void AddSaveGameFunctions(Script::ScriptFunctionTables& tables);

} // namespace ScriptApi
