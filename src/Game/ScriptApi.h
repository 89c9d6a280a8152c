#pragma once
// The script API: every engine function the scripts call, registered in three tables in the
// script host (first, second, third; a later name replaces an earlier one). Each family of
// functions has one Add...Functions call here that appends its entries to the tables it
// belongs in; InstallScriptApi runs them all once at start-up, before the scripts load.
//
// Every function reads its arguments and returns its results through Script/ScriptBinding.h.
//
// Several names reach one body: a family registers the same function under each of them
// ("DeactivateInterface" and "DeactivateObject"; "GetCurrentRace" and "GetCurrentMission";
// "SetCurrentRace" and "SetCurrentMission"; "Breakpoint" and "SaveLog"; "ClearGlobalTimer" and
// "ClearTimer"). "SetCursor" and "GetWindowPosition" stand in the second and the third table;
// only the third table's functions are reachable, so only those are built.

#include "Framework/PMMObject.h"
#include "Script/ScriptFunctions.h"

class CPLuaScript;

namespace ScriptApi {

constexpr int kFirstTable = 0;
constexpr int kSecondTable = 1;
constexpr int kThirdTable = 2;

// Empties the tables and fills them with every family that is built.
void InstallScriptApi(Script::ScriptFunctionTables& tables = Script::GetScriptFunctionTables());

// The objects-and-commands family (first table), and "StopScript" (second table).
void AddObjectAndCommandFunctions(Script::ScriptFunctionTables& tables);
// The one empty function under each of its names (second and third tables).
void AddEmptyFunctions(Script::ScriptFunctionTables& tables);

// Reads nothing, does nothing, returns no values.
int EmptyScriptFunction(lua_State* L);

// The script that belongs to an object that is not itself a script (a scene object's script),
// for "SendCommandByObject". The scene layer installs it; without one only scripts are found.
using ScriptOfObjectFunction = CPLuaScript* (*)(IPMMObject* object);
void SetScriptOfObjectFunction(ScriptOfObjectFunction function);
// The object itself when it is a script, else the installed function's answer, else null.
CPLuaScript* ScriptOfObject(IPMMObject* object);

} // namespace ScriptApi
