#pragma once
// What keeps one script from taking the engine down with it: every script state allocates
// through its guard, which holds it to a share of memory, and carries the guard's count hook,
// which stops a script that runs too long without giving control back, or that runs while the
// game is asked to quit.
//
// Memory: each state may hold kStateMemoryLimit bytes and all script states together
// kAllStatesMemoryLimit. A refused allocation is Lua's own "not enough memory" error.
//
// Time: a script may run kRunTimeLimit between two returns to the engine (a resume that ends
// in Update's yield, an error or the chunk's end). The clock is read every kHookInterval VM
// instructions rather than counting instructions alone, because one instruction can be a long
// library call (a pattern search, a big string built), so a loop of them can freeze the game
// for hours within any instruction budget that ordinary scripts stay under. The time spent in
// the engine's own functions is not the script's: loading a level from a script may take long
// on a slow disk and is no fault of the script.
//
// A stopped script stays stopped: from then on every instruction it runs raises the error
// again, so a script that catches it with pcall still unwinds to the engine, which ends it.

#include "Script/Lua.h"

#include <chrono>
#include <cstddef>

namespace Script {

constexpr std::size_t kStateMemoryLimit = std::size_t{256} << 20;
constexpr std::size_t kAllStatesMemoryLimit = std::size_t{1} << 30;
constexpr std::chrono::milliseconds kRunTimeLimit{5000};
// A few microseconds of plain Lua work between two looks at the clock (one look costs about a
// hundred nanoseconds). Kept small because a loop of costly library calls reaches the hook only
// once per this many instructions.
constexpr int kHookInterval = 1000;
// How often a running script's hook asks the window system whether the window was closed.
constexpr std::chrono::milliseconds kQuitPollInterval{50};

constexpr char kRanTooLong[] = "script ran too long without Update";
constexpr char kQuitting[] = "script stopped: the game is quitting";
constexpr char kNotEnoughMemory[] = "not enough memory";

// The bounds the guards apply. The engine keeps the constants above; tests narrow them.
struct ScriptBounds {
    std::size_t stateBytes = kStateMemoryLimit;
    std::size_t allStatesBytes = kAllStatesMemoryLimit;
    std::chrono::nanoseconds runTime = kRunTimeLimit;
};
ScriptBounds& CurrentScriptBounds();

// The bytes all guarded script states hold now.
std::size_t AllScriptStatesBytes();

class ScriptGuard {
public:
    ScriptGuard() = default;
    ScriptGuard(const ScriptGuard&) = delete;
    ScriptGuard& operator=(const ScriptGuard&) = delete;

    // A new state allocating through this guard, its hook set (threads made later inherit
    // it). Null when not even the empty state fits. Close the state before the guard goes.
    lua_State* NewState();

    // Starts the clock of a run; the engine calls it before it hands control to the script.
    void BeginRun();

    bool IsStopped() const { return m_stopReason != nullptr; }
    // The message of the stop, or null.
    const char* StopReason() const { return m_stopReason; }
    std::size_t BytesInUse() const { return m_bytes; }

    // The guard of a state (any of its threads); null for a state made without one.
    static ScriptGuard* Of(lua_State* L);

    // Raises Lua's memory error in L as a refused allocation does (a plain error for a state
    // without a guard). For library functions that know beforehand that a result cannot fit.
    [[noreturn]] static void RaiseOutOfMemory(lua_State* L);

    // Wrapped around a call into the engine's functions: its time is not counted to the
    // script. Nested calls count once.
    class EngineCall {
    public:
        explicit EngineCall(lua_State* L);
        ~EngineCall();
        EngineCall(const EngineCall&) = delete;
        EngineCall& operator=(const EngineCall&) = delete;

    private:
        ScriptGuard* m_guard;
        std::chrono::steady_clock::time_point m_start;
    };

private:
    using Clock = std::chrono::steady_clock;

    static void* Allocate(void* ud, void* block, std::size_t oldSize, std::size_t newSize);
    static void Hook(lua_State* L, lua_Debug* ar);
    // Whether the script must stop now (time, quit); sets the reason.
    void CheckRun();
    void Stop(const char* reason);

    std::size_t m_bytes = 0;
    const char* m_stopReason = nullptr;
    Clock::time_point m_runStart{};
    Clock::duration m_engineTime{};
    Clock::time_point m_lastQuitPoll{};
    int m_engineDepth = 0;
};

} // namespace Script
