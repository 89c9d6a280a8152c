#pragma once
// The script functions of the route and the checkpoints: the pieces of the level's "path"
// spline and the player's place on it, the checkpoints and their mini-map markers, the
// impulses that push racers and objects, and the four tuning keys that step the player car's
// handling values while it drives.

#include "Script/ScriptFunctions.h"

namespace ScriptApi {

// The route, checkpoint, impulse and tuning-key functions (second and third tables).
void AddRouteFunctions(Script::ScriptFunctionTables& tables);

} // namespace ScriptApi
