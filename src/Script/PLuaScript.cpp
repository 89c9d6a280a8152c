#include "Script/PLuaScript.h"

#include "Framework/PFileReader.h"
#include "Framework/PLog.h"
#include "Platform/System/RegularFile.h"
#include "Script/LuaPatterns.h"
#include "Script/ScriptBinding.h"
#include "Script/ScriptFunctions.h"
#include "Script/ScriptLibraryGuards.h"

#include <cmath>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

namespace {

// What the engine's "Update" yields; the host resumes a script only while it sees this.
constexpr int kUpdateYieldValue = 7;

int LuaUpdate(lua_State* L) {
    lua_pushnumber(L, kUpdateYieldValue);
    return lua_yield(L, 1);
}

void LogScriptError(const char* text) { CPLog::Instance().Print(0, "\nScript Error!\n%s\n", text ? text : "?"); }

// The text of an error value (a string, or a number as Lua prints it) read without converting it
// on the stack: lua_tostring turns a number into a new string, and that allocation can run the
// collector and with it a script's __gc finalizer. Outside a protected call, an error raised there
// has no handler and Lua ends the process. Null for any other value.
std::optional<std::string> ErrorValueText(lua_State* L, int index) {
    if (lua_type(L, index) == LUA_TSTRING) {
        std::size_t size = 0;
        const char* text = lua_tolstring(L, index, &size);
        return std::string(text, size);
    }
    if (lua_type(L, index) == LUA_TNUMBER) {
        char text[LUAI_MAXNUMBER2STR];
        std::snprintf(text, sizeof text, LUA_NUMBER_FMT, lua_tonumber(L, index));
        return std::string(text);
    }
    return std::nullopt;
}

// The chunk loaders a script can reach at run time ("loadstring", "load", "loadfile", "dofile")
// take precompiled chunks just as the file loader would, and the undumper trusts them: a script
// could build one with string.dump, damage it and take the process down. Each is replaced by one
// that refuses them with the same message and otherwise answers as Lua's own does.
constexpr char kPrecompiledRefused[] = "precompiled chunks are not accepted";

bool StartsPrecompiled(const char* data, std::size_t size) { return size > 0 && data[0] == LUA_SIGNATURE[0]; }

// The answer of loadstring, load and loadfile: the function, or nil and the message.
int LoadAnswer(lua_State* L, int status) {
    if (status == 0) return 1;
    lua_pushnil(L);
    lua_insert(L, -2);
    return 2;
}

int RefusedAnswer(lua_State* L) {
    lua_pushnil(L);
    lua_pushstring(L, kPrecompiledRefused);
    return 2;
}

int LuaLoadString(lua_State* L) {
    std::size_t size = 0;
    const char* text = luaL_checklstring(L, 1, &size);
    const char* name = luaL_optstring(L, 2, text);
    if (StartsPrecompiled(text, size)) return RefusedAnswer(L);
    return LoadAnswer(L, luaL_loadbuffer(L, text, size, name));
}

// Lua's own reader for "load" (the function at 1 gives the pieces, the current one is kept at 3),
// looking at the first piece that is not empty: the chunk's first byte decides its kind.
const char* CheckedPieceReader(lua_State* L, void* firstSeen, std::size_t* size) {
    luaL_checkstack(L, 2, "too many nested functions");
    lua_pushvalue(L, 1);
    lua_call(L, 0, 1);
    if (lua_isnil(L, -1)) {
        lua_pop(L, 1);
        *size = 0;
        return nullptr;
    }
    if (!lua_isstring(L, -1)) luaL_error(L, "reader function must return a string");
    lua_replace(L, 3);
    const char* piece = lua_tolstring(L, 3, size);
    bool& seen = *static_cast<bool*>(firstSeen);
    if (!seen && *size > 0) {
        seen = true;
        if (StartsPrecompiled(piece, *size)) {
            lua_pushstring(L, kPrecompiledRefused);
            lua_error(L);
        }
    }
    return piece;
}

int LuaLoad(lua_State* L) {
    const char* name = luaL_optstring(L, 2, "=(load)");
    luaL_checktype(L, 1, LUA_TFUNCTION);
    lua_settop(L, 3);
    bool firstSeen = false;
    return LoadAnswer(L, lua_load(L, CheckedPieceReader, &firstSeen, name));
}

// Loads a file as luaL_loadfile would (a first line starting with "#" is skipped but still
// counted, errors name the chunk "@path"), except that precompiled chunks are refused, only a
// regular file of bounded size is read (a FIFO would hold the game, a device flood it), and
// without a name nothing is read (luaL_loadfile would read the standard input, which the game does
// not have).
int LoadSourceFile(lua_State* L, const char* path) {
    if (!path) {
        lua_pushstring(L, "no file name given");
        return LUA_ERRFILE;
    }
    std::string text, error;
    if (!Platform::ReadRegularFile(path, Platform::kMaxDataFileBytes, text, &error)) {
        lua_pushstring(L, error.c_str());
        return LUA_ERRFILE;
    }
    std::size_t start = 0, body = 0;
    if (!text.empty() && text[0] == '#') {
        const std::size_t lineEnd = text.find('\n');
        body = lineEnd == std::string::npos ? text.size() : lineEnd + 1;
        // A line feed stands for the skipped line, so line numbers stay those of the file.
        start = body - 1;
        text[start] = '\n';
    }
    if (body < text.size() && text[body] == LUA_SIGNATURE[0]) {
        lua_pushfstring(L, "%s: %s", path, kPrecompiledRefused);
        return LUA_ERRFILE;
    }
    const std::string chunkName = std::string("@") + path;
    return luaL_loadbuffer(L, text.data() + start, text.size() - start, chunkName.c_str());
}

int LuaLoadFile(lua_State* L) { return LoadAnswer(L, LoadSourceFile(L, luaL_optstring(L, 1, nullptr))); }

int LuaDoFile(lua_State* L) {
    const char* path = luaL_optstring(L, 1, nullptr);
    const int before = lua_gettop(L);
    if (LoadSourceFile(L, path) != 0) lua_error(L);
    lua_call(L, 0, LUA_MULTRET);
    return lua_gettop(L) - before;
}

// Lua 5.1 opens its libraries through lua_call (each luaopen_* expects to be a called function),
// and its io library no longer includes os, so os is opened beside it.
int OpenStateProtected(lua_State* L) {
    static const lua_CFunction kLibraries[] = {luaopen_base,   luaopen_io,   luaopen_os,
                                               luaopen_string, luaopen_math, luaopen_table};
    for (lua_CFunction open : kLibraries) {
        lua_pushcfunction(L, open);
        lua_pushstring(L, "");
        lua_call(L, 1, 0);
    }
    Script::InstallPatternFunctions(L);
    Script::GuardLibraryCounts(L);
    static const luaL_Reg kSourceOnlyLoaders[] = {
        {"loadstring", LuaLoadString}, {"load", LuaLoad}, {"loadfile", LuaLoadFile}, {"dofile", LuaDoFile}};
    for (const luaL_Reg& loader : kSourceOnlyLoaders) {
        lua_pushcfunction(L, loader.func);
        lua_setfield(L, LUA_GLOBALSINDEX, loader.name);
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
    lua_pushlightuserdata(L, Script::HandleToUserdata(args->handle));
    lua_settable(L, LUA_GLOBALSINDEX);
    return 0;
}

// Raised in protected mode, so its message lands on the thread's stack like a compile error.
int RefusePrecompiledChunk(lua_State* L) {
    return luaL_error(L, "%s: %s", static_cast<const char*>(lua_touserdata(L, 1)), kPrecompiledRefused);
}

} // namespace

int ScriptPanicHandler(lua_State* L) {
    // Lua 5.1 hands the panic function its error value on top of the stack.
    const std::optional<std::string> text = lua_gettop(L) >= 1 ? ErrorValueText(L, -1) : std::nullopt;
    LogScriptError(text ? text->c_str() : nullptr);
    return 0;
}

CPLuaScript::CPLuaScript() = default;

CPLuaScript::~CPLuaScript() { CloseState(); }

void CPLuaScript::CloseState() {
    // Finalizers run on closing: they get a run of their own.
    m_guard.BeginRun();
    if (m_state) lua_close(m_state); // also frees the thread
    m_state = nullptr;
    m_thread = nullptr;
}

bool CPLuaScript::CreateState() {
    CloseState();
    lua_State* L = m_guard.NewState();
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
    CPFileReader file("Data\\Scripts\\" + name + ".lua");
    const HRESULT result = file.Load();
    if (FAILED(result)) return -1;

    m_chunkReturned = false;
    if (!CreateState()) return 0;
    const std::size_t size = static_cast<std::size_t>(file.GetDataSize());
    const char* data = size == 0 ? "" : reinterpret_cast<const char*>(file.GetData());
    // Precompiled chunks are refused: the loader trusts their bytecode, so a damaged or crafted
    // one could take the process down. The game's scripts are source text.
    const int loaded = StartsPrecompiled(data, size)
                           ? lua_cpcall(m_thread, RefusePrecompiledChunk, const_cast<char*>(m_name.c_str()))
                           : luaL_loadbuffer(m_thread, data, size, m_name.c_str());
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
    m_guard.BeginRun();
    const int status = lua_resume(m_thread, 0);
    if (status != 0 && status != LUA_YIELD) {
        // Lua 5.1 leaves the error value on top of the thread's stack. No longer protected here,
        // so nothing may run the collector: the value is read, not converted.
        const std::optional<std::string> text = lua_gettop(m_thread) >= 1 ? ErrorValueText(m_thread, -1) : std::nullopt;
        if (text) {
            LogScriptError(text->c_str());
            m_kill = true;
        }
        m_finished = true;
        if (m_guard.IsStopped()) LeaveStopped(!text);
        return;
    }
    if (m_guard.IsStopped()) {
        // Stopped, but it caught the error and reached Update or its end before raising again.
        LeaveStopped(true);
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

void CPLuaScript::LeaveStopped(bool logReason) {
    if (logReason) LogScriptError(m_guard.StopReason());
    m_kill = true;
    m_finished = true;
    CloseState();
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
