#pragma once
// The script functions of the shop catalogs and the car configuration, over the game-data store.

#include "Script/ScriptFunctions.h"

namespace ScriptApi {

// The item-information and name-list functions of the seven catalogs, "GetCarInfo",
// "SetCarInfo", "CommitCarSettings", "AutoSetting", "IsValidGameDataName", "GetActiveCar"
// (second table) and "GetRealCarInfo" (third table).
void AddShopFunctions(Script::ScriptFunctionTables& tables);

} // namespace ScriptApi
