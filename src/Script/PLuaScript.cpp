#include "Script/PLuaScript.h"

#include "Framework/PLog.h"
#include "Script/ScriptFileRead.h"
#include "Script/ScriptFunctions.h"

#include <cmath>

namespace {

// What the engine's "Update" yields; the host resumes a script only while it sees this.
constexpr int kUpdateYieldValue = 7;

int LuaUpdate(lua_State* L) {
    lua_pushnumber(L, kUpdateYieldValue);
    return lua_yield(L, 1);
}

void LogScriptError(const char* text) { CPLog::Instance().Print(0, "\nScript Error!\n%s\n", text ? text : "?"); }

// Lua 5.1 opens its libraries through lua_call (each luaopen_* expects to be a called function),
// and its io library no longer includes os, so os is opened beside it.
int OpenStateProtected(lua_State* L) {
    static const lua_CFunction kLibraries[] = {luaopen_base, luaopen_io, luaopen_os, luaopen_string, luaopen_math,
                                               luaopen_table};
    for (lua_CFunction open : kLibraries) {
        lua_pushcfunction(L, open);
        lua_pushstring(L, "");
        lua_call(L, 1, 0);
    }
    lua_pushstring(L, "Update");
    lua_pushcclosure(L, LuaUpdate, 0);
    lua_settable(L, LUA_GLOBALSINDEX);
    Script::GetScriptFunctionTables().RegisterInto(L);
    // The coroutine's thread, anchored in the registry so the collector keeps it.
    lua_State** thread = static_cast<lua_State**>(lua_touserdata(L, 1));
    *thread = lua_newthread(L);
    lua_setfield(L, LUA_REGISTRYINDEX, "korvaxa.thread");
    return 0;
}

struct GlobalObjectArgs {
    PMMHandle handle;
};

int SetGlobalObjectProtected(lua_State* L) {
    auto* args = static_cast<GlobalObjectArgs*>(lua_touserdata(L, 1));
    lua_pushstring(L, "globalObject");
    lua_pushlightuserdata(L, reinterpret_cast<void*>(static_cast<std::uintptr_t>(args->handle)));
    lua_settable(L, LUA_GLOBALSINDEX);
    return 0;
}

// Raised in protected mode, so its message lands on the thread's stack like a compile error.
int RefusePrecompiledChunk(lua_State* L) {
    return luaL_error(L, "%s: precompiled chunks are not accepted", static_cast<const char*>(lua_touserdata(L, 1)));
}

} // namespace

int ScriptPanicHandler(lua_State* L) {
    // Lua 5.1 hands the panic function its error value on top of the stack.
    const char* text = lua_gettop(L) >= 1 ? lua_tostring(L, -1) : nullptr;
    LogScriptError(text);
    return 0;
}

CPLuaScript::CPLuaScript() = default;

CPLuaScript::~CPLuaScript() { CloseState(); }

void CPLuaScript::CloseState() {
    if (m_state) lua_close(m_state); // also frees the thread
    m_state = nullptr;
    m_thread = nullptr;
}

bool CPLuaScript::CreateState() {
    CloseState();
    lua_State* L = lua_open();
    if (!L) return false;
    lua_atpanic(L, ScriptPanicHandler);
    // Everything that can raise (out of memory) runs protected: a panic would end the process.
    lua_State* thread = nullptr;
    if (lua_cpcall(L, OpenStateProtected, &thread) != 0 || !thread) {
        LogScriptError(lua_tostring(L, -1));
        lua_close(L);
        return false;
    }
    m_state = L;
    m_thread = thread;
    return true;
}

int CPLuaScript::Load(const std::string& name) {
    m_name = name;
    std::vector<char> bytes;
    const int result = Script::ReadScriptFile("Data\\Scripts\\" + name + ".lua", bytes);
    if (result < 0) return result;
    m_source = std::move(bytes);

    m_chunkReturned = false;
    if (!CreateState()) return 0;
    const char* data = m_source.empty() ? "" : m_source.data();
    // Precompiled chunks are refused: the loader trusts their bytecode, so a damaged or crafted
    // one could take the process down. The game's scripts are source text.
    const bool precompiled = !m_source.empty() && m_source[0] == LUA_SIGNATURE[0];
    const int loaded = precompiled ? lua_cpcall(m_thread, RefusePrecompiledChunk, const_cast<char*>(m_name.c_str()))
                                   : luaL_loadbuffer(m_thread, data, m_source.size(), m_name.c_str());
    if (loaded != 0) {
        // The error text stays where the chunk would be, so the first resume fails.
        LogScriptError(lua_tostring(m_thread, -1));
        return 0;
    }
    GlobalObjectArgs args{GetHandle()};
    if (lua_cpcall(m_state, SetGlobalObjectProtected, &args) != 0) {
        LogScriptError(lua_tostring(m_state, -1));
        lua_pop(m_state, 1);
    }
    return result;
}

bool CPLuaScript::Start() {
    if (m_running) return false;
    m_finished = false;
    m_kill = false;
    m_running = true;
    return true;
}

void CPLuaScript::Update() {
    if (m_finished || !m_thread) return;
    if (m_chunkReturned) {
        // Lua 5.1 would start the coroutine over, calling whatever the chunk returned last; a
        // chunk that ended is dead, and resuming it is the error it always was.
        LogScriptError("cannot resume dead coroutine");
        m_kill = true;
        m_finished = true;
        return;
    }
    // lua_resume runs protected: an error inside the coroutine comes back as a status.
    const int status = lua_resume(m_thread, 0);
    if (status != 0 && status != LUA_YIELD) {
        // Lua 5.1 leaves the error value on top of the thread's stack.
        if (lua_gettop(m_thread) >= 1 && lua_isstring(m_thread, -1)) {
            LogScriptError(lua_tostring(m_thread, -1));
            m_kill = true;
        }
        m_finished = true;
        return;
    }
    // Yielded or returned: alive only when the first value is the number Update yields.
    m_chunkReturned = status == 0;
    m_finished = true;
    if (lua_gettop(m_thread) >= 1 && lua_isnumber(m_thread, 1)) {
        const double value = lua_tonumber(m_thread, 1);
        if (std::isfinite(value) && std::trunc(value) == kUpdateYieldValue) m_finished = false;
    }
}

void CPLuaScript::SendReleaseAll() { m_queue.push_front(SPCommand{"release_all", {}}); }

bool CPLuaScript::SetNextCommand() {
    if (m_queue.empty()) {
        m_hasCurrent = false;
        return false;
    }
    if (m_hasCurrent) m_queue.pop_back();
    m_hasCurrent = !m_queue.empty();
    return m_hasCurrent;
}
