#pragma once
// The script functions every script state sees as globals: three tables of (name, function)
// registered in order after "Update", a later name replacing an earlier one. The layers above
// (the script API) fill the tables at start-up; each family of functions adds its entries.

#include "Script/Lua.h"

#include <array>
#include <string>
#include <vector>

namespace Script {

struct ScriptFunction {
    const char* name;
    lua_CFunction function;
};

class ScriptFunctionTables {
public:
    static constexpr int kTableCount = 3;

    // Appends entries to table 0, 1 or 2 (the first, second and third table); entries with a null
    // name or function are ignored. Returns false for a table number out of range.
    bool Add(int table, const ScriptFunction* entries, std::size_t count);
    template <std::size_t N>
    bool Add(int table, const ScriptFunction (&entries)[N]) {
        return Add(table, entries, N);
    }
    void Clear();

    const std::vector<ScriptFunction>& Table(int table) const;

    // Sets every entry as a global of the state: table 0, then 1, then 2, each in order.
    // Raises Lua errors (memory), so call it in protected mode.
    void RegisterInto(lua_State* L) const;

private:
    std::array<std::vector<ScriptFunction>, kTableCount> m_tables;
};

// The tables new script states register.
ScriptFunctionTables& GetScriptFunctionTables();

// Functions that keep the script guard's engine-call accounting themselves (the bound functions
// of the binding layer) are registered as they are; any other is called through a wrapper that
// keeps it for them.
bool MarkTimesItsEngineCall(lua_CFunction function);
bool TimesItsEngineCall(lua_CFunction function);

} // namespace Script
