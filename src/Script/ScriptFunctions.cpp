#include "Script/ScriptFunctions.h"

#include "Script/ScriptGuard.h"

#include <unordered_set>

namespace Script {

namespace {
// Every engine function is called through this, with the function as its upvalue, in the same
// frame (so its argument errors still name the function the script called): the time it takes
// is the engine's, not the script's.
int EngineFunction(lua_State* L) {
    ScriptGuard::EngineCall timing(L);
    return lua_tocfunction(L, lua_upvalueindex(1))(L);
}

std::unordered_set<lua_CFunction>& SelfTimed() {
    static std::unordered_set<lua_CFunction> functions;
    return functions;
}
} // namespace

bool MarkTimesItsEngineCall(lua_CFunction function) { return function && SelfTimed().insert(function).second; }

bool TimesItsEngineCall(lua_CFunction function) { return SelfTimed().count(function) != 0; }

bool ScriptFunctionTables::Add(int table, const ScriptFunction* entries, std::size_t count) {
    if (table < 0 || table >= kTableCount) return false;
    auto& target = m_tables[static_cast<std::size_t>(table)];
    for (std::size_t i = 0; i < count; ++i)
        if (entries[i].name && entries[i].function) target.push_back(entries[i]);
    return true;
}

void ScriptFunctionTables::Clear() {
    for (auto& table : m_tables) table.clear();
}

const std::vector<ScriptFunction>& ScriptFunctionTables::Table(int table) const {
    static const std::vector<ScriptFunction> empty;
    if (table < 0 || table >= kTableCount) return empty;
    return m_tables[static_cast<std::size_t>(table)];
}

void ScriptFunctionTables::RegisterInto(lua_State* L) const {
    for (const auto& table : m_tables) {
        for (const ScriptFunction& entry : table) {
            lua_pushstring(L, entry.name);
            lua_pushcfunction(L, entry.function);
            if (!TimesItsEngineCall(entry.function)) lua_pushcclosure(L, EngineFunction, 1);
            lua_settable(L, LUA_GLOBALSINDEX);
        }
    }
}

ScriptFunctionTables& GetScriptFunctionTables() {
    static ScriptFunctionTables tables;
    return tables;
}

} // namespace Script
