#pragma once
// The script functions that stand on the scene object: activation and deactivation, visibility
// and collision, the tree lookups, the parent frame and drawing an object for one frame.

#include "Script/ScriptFunctions.h"

namespace ScriptApi {

// Adds the family to the first table ("DeactivateInterface" to the second) and lets
// "SendCommandByObject" reach a scene object's script.
void AddSceneObjectFunctions(Script::ScriptFunctionTables& tables);

} // namespace ScriptApi
