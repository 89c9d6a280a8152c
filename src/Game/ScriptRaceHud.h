#pragma once
// The script functions of the race head-up display: the loading bar, the speedometer needles,
// the health bars over the racers, the score, time, kills and engine-heat readouts, the weapon,
// ammunition, mine, super-weapon and equipment icons, the next checkpoint hint and the
// standings panel. Most work on an interface made from a layout and name its elements and
// texts; a name the layout lacks is skipped.

#include "Script/ScriptFunctions.h"

class CPGameObject;
class CPMiniMap;

namespace ScriptApi {

// The head-up-display functions (second and third tables).
void AddRaceHudFunctions(Script::ScriptFunctionTables& tables);

} // namespace ScriptApi
