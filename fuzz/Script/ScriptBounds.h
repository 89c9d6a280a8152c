#pragma once
// Bounds a fuzzed script's state so that one input cannot take the fuzzing process down for
// reasons that are not the loader's fault being looked for: a memory ceiling on the state's
// allocator, a count hook that stops a chunk running too long (on every coroutine it makes), and
// none of the functions that reach the machine itself (files, processes, C libraries, the
// console).
//
// The engine's own bounds are generous for a game (a script may run five seconds without
// yielding and hold 256 MiB); a fuzzer needs tighter ones to keep its pace, so these live here.
// Each bound steps aside where the state already has one of its own.

#include "Script/Lua.h"

#include <cstddef>
#include <cstdlib>

namespace kxfuzz {

struct ScriptBudget {
    lua_Alloc inner = nullptr;
    void* innerData = nullptr;
    std::ptrdiff_t used = 0;
    std::ptrdiff_t limit = std::ptrdiff_t(64) << 20;
};

inline void* BoundedAlloc(void* ud, void* block, std::size_t oldSize, std::size_t newSize) {
    auto* budget = static_cast<ScriptBudget*>(ud);
    const std::ptrdiff_t grow =
        static_cast<std::ptrdiff_t>(newSize) - (block ? static_cast<std::ptrdiff_t>(oldSize) : 0);
    if (newSize != 0 && grow > 0 && budget->used + grow > budget->limit) return nullptr;
    void* result = budget->inner(budget->innerData, block, oldSize, newSize);
    if (result || newSize == 0) budget->used += grow;
    return result;
}

constexpr int kHookEvery = 1000;
constexpr int kHookLimit = 2000; // two million instructions

inline int& HookCalls() {
    static int calls = 0;
    return calls;
}

inline void CountHook(lua_State* L, lua_Debug*) {
    if (++HookCalls() > kHookLimit) {
        // From now on every instruction fails, so a loop around pcall cannot catch it for ever.
        lua_sethook(L, CountHook, LUA_MASKCOUNT, 1);
        luaL_error(L, "fuzzed script ran too long");
    }
}

inline void BoundThread(lua_State* thread) {
    if (!lua_gethook(thread)) lua_sethook(thread, CountHook, LUA_MASKCOUNT, kHookEvery);
}

// coroutine.create and coroutine.wrap, with the count hook on the new thread.
inline int BoundedCoroutine(lua_State* L) {
    const int argc = lua_gettop(L);
    lua_pushvalue(L, lua_upvalueindex(1));
    lua_insert(L, 1);
    lua_call(L, argc, LUA_MULTRET);
    for (int i = 1; i <= lua_gettop(L); ++i) {
        if (lua_isthread(L, i)) BoundThread(lua_tothread(L, i));
    }
    return lua_gettop(L);
}

inline int BoundedWrap(lua_State* L) {
    // wrap: create the thread through the bounded create, then wrap it in a resuming closure.
    luaL_checktype(L, 1, LUA_TFUNCTION);
    lua_State* thread = lua_newthread(L);
    BoundThread(thread);
    lua_pushvalue(L, 1);
    lua_xmove(L, thread, 1);
    lua_pushvalue(L, lua_upvalueindex(1)); // coroutine.resume
    lua_pushvalue(L, -2);
    lua_pushcclosure(
        L,
        [](lua_State* S) -> int {
            const int argc = lua_gettop(S);
            lua_pushvalue(S, lua_upvalueindex(1));
            lua_pushvalue(S, lua_upvalueindex(2));
            for (int i = 1; i <= argc; ++i) lua_pushvalue(S, i);
            lua_call(S, argc + 1, LUA_MULTRET);
            const int results = lua_gettop(S) - argc;
            if (!lua_toboolean(S, argc + 1)) {
                lua_pushvalue(S, argc + 2);
                return lua_error(S);
            }
            return results - 1;
        },
        2);
    return 1;
}

inline int OpenBounds(lua_State* L) {
    static const char* const kRemoved[] = {"os",     "io",       "package", "require", "module",
                                           "dofile", "loadfile", "print",   "newproxy"};
    for (const char* name : kRemoved) {
        lua_pushnil(L);
        lua_setglobal(L, name);
    }
    lua_getglobal(L, "coroutine");
    if (lua_istable(L, -1)) {
        lua_getfield(L, -1, "create");
        lua_pushcclosure(L, BoundedCoroutine, 1);
        lua_setfield(L, -2, "create");
        lua_getfield(L, -1, "resume");
        lua_pushcclosure(L, BoundedWrap, 1);
        lua_setfield(L, -2, "wrap");
    }
    lua_pop(L, 1);
    return 0;
}

// Applies the bounds to a script's main state and its thread. The budget must outlive the state.
inline void BoundScript(lua_State* main, lua_State* thread, ScriptBudget& budget) {
    HookCalls() = 0;
    if (!main) return;
    void* data = nullptr;
    const lua_Alloc current = lua_getallocf(main, &data);
    if (current != BoundedAlloc) {
        budget.inner = current;
        budget.innerData = data;
        budget.used = 0;
        lua_setallocf(main, BoundedAlloc, &budget);
    }
    if (lua_cpcall(main, OpenBounds, nullptr) != 0) lua_pop(main, 1);
    BoundThread(main);
    if (thread) BoundThread(thread);
}

} // namespace kxfuzz
