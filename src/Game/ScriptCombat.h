#pragma once
// The script functions of the fighting: firing the player's weapon and switching weapons,
// damaging and killing racers, knocking the player's car about, explosions and other shots, the
// bonuses dropped on the route and the list of bonuses lying on the level.

#include "Script/ScriptFunctions.h"

namespace ScriptApi {

// Adds the family to the second and the third table.
void AddCombatFunctions(Script::ScriptFunctionTables& tables);

// Whether a script has called "PlayerShot" since the mark was last cleared. Nothing in the race
// reads the mark; scripts set it and tests look at it.
bool IsPlayerShotMarked();
void ClearPlayerShotMark();

} // namespace ScriptApi
