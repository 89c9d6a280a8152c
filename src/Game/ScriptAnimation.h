#pragma once
// The script functions that start morph animations on a scene object and everything below it.

#include "Script/ScriptFunctions.h"

namespace ScriptApi {

// "SetAnimation" (first table) and "StartAnimation" (third table).
void AddAnimationFunctions(Script::ScriptFunctionTables& tables);

} // namespace ScriptApi
