#pragma once
// The script functions of the 2D interfaces: creating, activating and drawing interfaces,
// showing, moving, turning and sizing their windows, printing their texts, editing their
// text-entry fields, moving the keyboard focus and choosing the pointer picture.

#include "Script/ScriptFunctions.h"

namespace ScriptApi {

// "LockButton" and "UnlockButton" (first table), the interface family (second table), and
// "SetCursor", "GetCursor" and "GetWindowPosition" (third table).
void AddInterfaceFunctions(Script::ScriptFunctionTables& tables);

} // namespace ScriptApi
