#pragma once
// The script functions that place, turn, copy and pick scene objects, steer the race camera and
// its show-case mode, read and change the level's sun light, queue debug lines, measure texture
// files and run a lightning strike.

#include "Script/ScriptFunctions.h"

namespace ScriptApi {

// Adds the family to the second and third tables.
void AddSceneCameraFunctions(Script::ScriptFunctionTables& tables);

} // namespace ScriptApi
