#pragma once
// The script functions that place enemies, choose their kinds and ask where the computer racers
// are: the enemy data, the enemy sources of the mission, the nearest racer of a side, the route
// position of an opponent and the opponents' mini-map markers.

#include "Script/ScriptFunctions.h"

namespace ScriptApi {

// Adds the family to the second table.
void AddEnemyQueryFunctions(Script::ScriptFunctionTables& tables);

// The scale of the random candidate of "GetPositionForEnemy": its points lie half of it from the
// car, inside the ring the enemy sources are looked for in.
constexpr float kEnemyCandidateScale = 60.0f;

} // namespace ScriptApi
