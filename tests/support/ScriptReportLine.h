#pragma once
// The text the script tests' Report(a, b, ...) functions record for one call.

#include <string>

#include "Script/Lua.h"

namespace kxtest {

// The call's arguments as "a|b|...", each as the script's tostring writes it ("?" where it
// gives no text).
inline std::string ReportLine(lua_State* L) {
    std::string line;
    const int n = lua_gettop(L);
    for (int i = 1; i <= n; ++i) {
        lua_getglobal(L, "tostring");
        lua_pushvalue(L, i);
        lua_call(L, 1, 1);
        if (i > 1) line += "|";
        line += lua_tostring(L, -1) ? lua_tostring(L, -1) : "?";
        lua_pop(L, 1);
    }
    return line;
}

} // namespace kxtest
