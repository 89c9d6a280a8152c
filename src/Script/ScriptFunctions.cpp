#include "Script/ScriptFunctions.h"

namespace Script {

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
            lua_pushcclosure(L, entry.function, 0);
            lua_settable(L, LUA_GLOBALSINDEX);
        }
    }
}

ScriptFunctionTables& GetScriptFunctionTables() {
    static ScriptFunctionTables tables;
    return tables;
}

} // namespace Script
