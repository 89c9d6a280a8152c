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
// Engine calls are many and most are cheap, far cheaper than a look at the clock, so the first
// kUntimedEnginePhase of a run does not time them: it only counts them. At the first hook past
// that phase the guard starts timing every engine call for the rest of the run, and the hook
// interval that crossed it, when engine calls ran in it, is taken as the engine's (a slow engine
// call is what makes an early interval long). So the shorter intervals before it are counted to
// the script whole, and a run's bound may be met up to one hook interval late; an ordinary
// frame's run never leaves the untimed phase. Timed engine calls read the coarse monotonic
// clock, a few times cheaper than the fine one: a call is measured to a clock tick (a few
// milliseconds), and over many calls the ticks that fall inside calls add up to their time.
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
// How long a run calls engine functions without timing them (see above).
constexpr std::chrono::microseconds kUntimedEnginePhase{1000};
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
    ~ScriptGuard();
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
    // script. Nested calls count once. While no guard times engine calls, it only counts the
    // call, which costs next to nothing.
    class EngineCall {
    public:
        explicit EngineCall(lua_State* L) {
            if (s_timingGuards == 0)
                ++s_engineCalls;
            else
                BeginTimed(L);
        }
        ~EngineCall() {
            if (m_guard) EndTimed();
        }
        EngineCall(const EngineCall&) = delete;
        EngineCall& operator=(const EngineCall&) = delete;

    private:
        void BeginTimed(lua_State* L);
        void EndTimed();

        ScriptGuard* m_guard = nullptr;
        std::chrono::nanoseconds m_start{};
    };

    // Whether this run times its engine calls already.
    bool TimesEngineCalls() const { return m_timing; }

private:
    using Clock = std::chrono::steady_clock;

    static void* Allocate(void* ud, void* block, std::size_t oldSize, std::size_t newSize);
    static void Hook(lua_State* L, lua_Debug* ar);
    // Whether the script must stop now (time, quit); sets the reason.
    void CheckRun();
    void Stop(const char* reason);
    void SetTiming(bool timing);

    // The engine calls made untimed so far (all guards, one thread), and how many guards time
    // them now.
    static inline unsigned long long s_engineCalls = 0;
    static inline int s_timingGuards = 0;

    std::size_t m_bytes = 0;
    const char* m_stopReason = nullptr;
    Clock::time_point m_runStart{};
    Clock::duration m_engineTime{};
    Clock::time_point m_lastQuitPoll{};
    // The last hook's time and the untimed engine-call count then.
    Clock::time_point m_lastHook{};
    unsigned long long m_engineCallsAtHook = 0;
    int m_engineDepth = 0;
    bool m_timing = false;
};

} // namespace Script
