#pragma once
// A bare Lua state with chosen script-function families and a "dump" that writes any results as
// text, so script calls can be checked as (call, expected text) tables.

#include <gtest/gtest.h>

#include <string>

#include "Script/Lua.h"
#include "Script/ScriptFunctions.h"

namespace kxtest {

class LuaHarness {
public:
    template <class... Adders>
    explicit LuaHarness(Adders... adders) {
        L = luaL_newstate();
        luaL_openlibs(L);
        Script::ScriptFunctionTables tables;
        (adders(tables), ...);
        tables.RegisterInto(L);
        Run(R"(
            local function d(v)
                if type(v) == "table" then
                    local parts, n = {}, 0
                    for i = 1, #v do parts[#parts + 1] = d(v[i]) end
                    for _ in pairs(v) do n = n + 1 end
                    if n ~= #v then parts[#parts + 1] = "+" .. (n - #v) end
                    return "{" .. table.concat(parts, ",") .. "}"
                elseif type(v) == "string" then
                    return '"' .. v .. '"'
                end
                return tostring(v)
            end
            function dump(...)
                local out = {}
                for i = 1, select("#", ...) do out[#out + 1] = d((select(i, ...))) end
                return table.concat(out, " ")
            end
        )");
    }
    ~LuaHarness() { lua_close(L); }
    LuaHarness(const LuaHarness&) = delete;
    LuaHarness& operator=(const LuaHarness&) = delete;

    void Run(const std::string& chunk) {
        ASSERT_EQ(luaL_loadstring(L, chunk.c_str()), 0) << lua_tostring(L, -1);
        ASSERT_EQ(lua_pcall(L, 0, 0, 0), 0) << lua_tostring(L, -1);
    }
    // The results of a Lua expression list, written by dump; "error: ..." when it raised.
    std::string Eval(const std::string& call) {
        const std::string chunk = "return dump(" + call + ")";
        if (luaL_loadstring(L, chunk.c_str()) != 0 || lua_pcall(L, 0, 1, 0) != 0) {
            std::string error = lua_tostring(L, -1);
            lua_pop(L, 1);
            return "error: " + error;
        }
        std::string text = lua_tostring(L, -1);
        lua_pop(L, 1);
        return text;
    }

    lua_State* L = nullptr;
};

} // namespace kxtest
