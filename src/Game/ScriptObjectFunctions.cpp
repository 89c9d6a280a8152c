// The objects-and-commands family: references, the script side of the command queue, object
// pointer strings, and a few text helpers.

#include "Framework/PGlobalTimer.h"
#include "Framework/PTaskKernel.h"
#include "Game/ScriptApi.h"
#include "Platform/System/NumberText.h"
#include "Script/PLuaScript.h"
#include "Script/PScriptManager.h"
#include "Script/ScriptBinding.h"
#include "Script/ScriptText.h"

#include <cmath>

namespace ScriptApi {
namespace {

using Script::ScriptBind;
using Script::ScriptBindCall;
using Script::ScriptCall;
namespace Arg = Script::Arg;

ScriptOfObjectFunction g_scriptOfObject = nullptr;

void GetDeltaTime(ScriptCall& call) { call.PushNumber(g_deltaTime); }
void GetDeltaTime2(ScriptCall& call) { call.PushNumber(g_deltaTime2); }

void AddRef(ScriptCall&, IPMMObject* object) { Script::TakeScriptReference(object); }

// Release never deletes: the collector does, at the end of the pass. Only a reference the
// scripts took is given back, so an unbalanced Release cannot free what the engine holds.
void Release(ScriptCall&, IPMMObject* object) { Script::GiveBackScriptReference(object); }

void DumpObjects(ScriptCall&) {}

void SendCommandByName(ScriptCall&, std::string name, std::string command, std::string params) {
    if (auto* manager = GetScriptManager()) manager->SendCommandByName(name, command, params);
}

void SendCommandByCategory(ScriptCall&, std::string category, std::string command, std::string params) {
    if (auto* manager = GetScriptManager()) manager->SendCommandByCategory(category, command, params);
}

// With no object the two strings are not read (so they raise nothing).
void SendCommandByObject(ScriptCall& call) {
    IPMMObject* object = call.Object(1);
    if (!object) return;
    const std::string command = call.RequiredString(2);
    const std::string params = call.RequiredString(3);
    CPLuaScript* script = ScriptOfObject(object);
    auto* manager = GetScriptManager();
    if (script && manager) manager->SendCommandByObject(CPSmartPtr<CPLuaScript>(script), command, params);
}

void SetNextCommand(ScriptCall& call, CPLuaScript* script) { call.PushBoolean(script && script->SetNextCommand()); }

void GetCurrentCommand(ScriptCall& call, CPLuaScript* script) {
    if (!script) return;
    if (const SPCommand* current = script->GetCurrentCommand()) call.PushString(current->name);
}

void GetCurrentParams(ScriptCall& call, CPLuaScript* script) {
    if (!script) return;
    const SPCommand* current = script->GetCurrentCommand();
    if (!current) return;
    // One result per parameter; make room for many (a stack overflow here would be a Lua error).
    luaL_checkstack(call.State(), static_cast<int>(current->params.size()) + 1, "too many parameters");
    for (const std::string& param : current->params) call.PushString(param);
}

// The handle the argument carries, printed as the engine prints it in commands. The handle is
// only a number, so a light userdata of a collected object still prints as it was made.
void PointerToString(ScriptCall& call) { call.PushString(Platform::FormatC("%d", static_cast<int>(call.Handle(1)))); }

void StringToPointer(ScriptCall& call) {
    const std::string text = call.RequiredString(1);
    call.PushHandle(static_cast<PMMHandle>(Platform::ParseInt(text)));
}

void CheckString(ScriptCall& call, std::string value) { call.PushString(value); }

void SplitString(ScriptCall& call, std::string text, std::string separator) {
    const std::vector<std::string> tokens = Script::SplitText(text, separator);
    luaL_checkstack(call.State(), static_cast<int>(tokens.size()) + 1, "too many tokens");
    for (const std::string& token : tokens) call.PushString(token);
}

void KillAllTasks(ScriptCall&) {
    if (auto* kernel = CPTaskKernel::GetInstance()) kernel->KillAllTasks();
}

void ToInt(ScriptCall& call, double value) { call.PushNumber(std::trunc(value)); }

// The kernel stops and removes the script on its next pass.
void StopScript(ScriptCall&, CPLuaScript* script) {
    if (script) script->SetKill(true);
}

} // namespace

void SetScriptOfObjectFunction(ScriptOfObjectFunction function) { g_scriptOfObject = function; }

CPLuaScript* ScriptOfObject(IPMMObject* object) {
    if (!object) return nullptr;
    if (auto* script = dynamic_cast<CPLuaScript*>(object)) return script;
    return g_scriptOfObject ? g_scriptOfObject(object) : nullptr;
}

void AddObjectAndCommandFunctions(Script::ScriptFunctionTables& tables) {
    static const Script::ScriptFunction kFirst[] = {
        {"GetDeltaTime", ScriptBind<GetDeltaTime>},
        {"GetDeltaTime2", ScriptBind<GetDeltaTime2>},
        {"AddRef", ScriptBind<AddRef, Arg::Object<>>},
        {"DumpObjects", ScriptBind<DumpObjects>},
        {"Release", ScriptBind<Release, Arg::Object<>>},
        {"SendCommandByName",
         ScriptBind<SendCommandByName, Arg::RequiredString, Arg::RequiredString, Arg::RequiredString>},
        {"SendCommandByObject", ScriptBindCall<SendCommandByObject>},
        {"SendCommandByCategory",
         ScriptBind<SendCommandByCategory, Arg::RequiredString, Arg::RequiredString, Arg::RequiredString>},
        {"SetNextCommand", ScriptBind<SetNextCommand, Arg::Object<CPLuaScript>>},
        {"GetCurrentCommand", ScriptBind<GetCurrentCommand, Arg::Object<CPLuaScript>>},
        {"GetCurrentParams", ScriptBind<GetCurrentParams, Arg::Object<CPLuaScript>>},
        {"PointerToString", ScriptBindCall<PointerToString>},
        {"StringToPointer", ScriptBindCall<StringToPointer>},
        {"CheckString", ScriptBind<CheckString, Arg::RequiredString>},
        {"SplitString", ScriptBind<SplitString, Arg::RequiredString, Arg::RequiredString>},
        {"KillAllTasks", ScriptBind<KillAllTasks>},
        {"ToInt", ScriptBind<ToInt, Arg::Number>},
    };
    static const Script::ScriptFunction kSecond[] = {
        {"StopScript", ScriptBind<StopScript, Arg::Object<CPLuaScript>>},
    };
    tables.Add(kFirstTable, kFirst);
    tables.Add(kSecondTable, kSecond);
}

} // namespace ScriptApi
