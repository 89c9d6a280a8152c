#pragma once
// The script functions that run a race and read the racers' state: create, load, start, stop
// and delete the level; pass the player's controls, nitro and locks; read the place, speed,
// gear box, nitro, damage and death of the player or of a racer given; the time scale. Without
// the level, the player or the racer a function reaches it does nothing and returns no values,
// unless it states a default.

#include "Script/ScriptFunctions.h"

namespace ScriptApi {

// The race-control functions (second and third tables).
void AddRaceControlFunctions(Script::ScriptFunctionTables& tables);

// The level's part of a new time scale: a factor of exactly 0 also ends the show-case time of
// the current level. The time-scale function calls it.
void ApplyTimeScaleToLevel(double factor);

} // namespace ScriptApi
