#include "Script/ScriptLibraryGuards.h"

#include "Script/ScriptBinding.h"
#include "Script/ScriptGuard.h"

#include <climits>

namespace Script {

namespace {

// The library's function, kept as the first upvalue, run in the guard's own frame so that its
// argument errors still name the function the script called.
int Original(lua_State* L) { return lua_tocfunction(L, lua_upvalueindex(1))(L); }

// A range of positions read as Lua 5.1 reads them (truncated toward zero), but saturated at the
// int range instead of wrapping, and NaN as 0.
long long Position(double value) { return TruncateToInt(value); }

// unpack(t [, i [, j]]): the count is worked out in 64 bits, where it cannot overflow, and
// checked against what the stack may hold before anything is pushed.
int LuaUnpack(lua_State* L) {
    luaL_checktype(L, 1, LUA_TTABLE);
    const long long first = Position(luaL_optnumber(L, 2, 1));
    const long long last =
        lua_isnoneornil(L, 3) ? static_cast<long long>(luaL_getn(L, 1)) : Position(luaL_checknumber(L, 3));
    if (first > last) return 0;
    const long long count = last - first + 1;
    if (count > INT_MAX || !lua_checkstack(L, static_cast<int>(count)))
        return luaL_error(L, "too many results to unpack");
    for (long long i = first; i <= last; ++i) lua_rawgeti(L, 1, static_cast<int>(i));
    return static_cast<int>(count);
}

// string.rep(s, n): nothing to repeat, or a result beyond the state's memory, is answered before
// the library's loop runs n times.
int GuardedRep(lua_State* L) {
    std::size_t size = 0;
    luaL_checklstring(L, 1, &size);
    const double count = luaL_checknumber(L, 2);
    if (size == 0 || !(count >= 1)) {
        lua_pushliteral(L, "");
        return 1;
    }
    if (count > static_cast<double>(CurrentScriptBounds().stateBytes / size)) ScriptGuard::RaiseOutOfMemory(L);
    return Original(L);
}

// table.insert(t, pos, v): a position below 1 (or beyond the int range, which the library wraps
// to a negative one) is refused, as later Lua versions refuse it.
int GuardedInsert(lua_State* L) {
    if (lua_gettop(L) == 3) {
        luaL_checktype(L, 1, LUA_TTABLE);
        const double position = luaL_checknumber(L, 2);
        if (!(position >= 1.0 && position < 2147483648.0)) return luaL_argerror(L, 2, "position out of bounds");
    }
    return Original(L);
}

// xpcall(f, handler): Lua runs the handler while hooks are still off after a raise from the count
// hook, so a handler that loops could never be stopped. The script's handler runs behind this one,
// which hands the message on unchanged once the script is stopped.
int XpcallHandler(lua_State* L) {
    if (const ScriptGuard* guard = ScriptGuard::Of(L); guard && guard->IsStopped()) return 1;
    lua_pushvalue(L, lua_upvalueindex(1));
    lua_insert(L, 1);
    lua_call(L, lua_gettop(L) - 1, 1);
    return 1;
}

int GuardedXpcall(lua_State* L) {
    luaL_checkany(L, 2);
    lua_settop(L, 2);
    // A handler that is not a function fails as the library's own does, running no script code.
    if (lua_isfunction(L, 2)) {
        lua_pushcclosure(L, XpcallHandler, 1);
    }
    lua_insert(L, 1); // the handler under the function
    const int status = lua_pcall(L, 0, LUA_MULTRET, 1);
    lua_pushboolean(L, status == 0);
    lua_replace(L, 1);
    return lua_gettop(L);
}

void Replace(lua_State* L, const char* table, const char* name, lua_CFunction guard) {
    lua_getfield(L, LUA_GLOBALSINDEX, table);
    if (!lua_istable(L, -1)) {
        lua_pop(L, 1);
        return;
    }
    lua_getfield(L, -1, name);
    if (!lua_tocfunction(L, -1)) {
        lua_pop(L, 2);
        return;
    }
    lua_pushcclosure(L, guard, 1);
    lua_setfield(L, -2, name);
    lua_pop(L, 1);
}

} // namespace

void GuardLibraryCounts(lua_State* L) {
    lua_pushcfunction(L, LuaUnpack);
    lua_setfield(L, LUA_GLOBALSINDEX, "unpack");
    lua_pushcfunction(L, GuardedXpcall);
    lua_setfield(L, LUA_GLOBALSINDEX, "xpcall");
    Replace(L, "string", "rep", GuardedRep);
    Replace(L, "table", "insert", GuardedInsert);
}

} // namespace Script
