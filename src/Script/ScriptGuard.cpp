#include "Script/ScriptGuard.h"

#include "Platform/Window/Messages.h"

#include <atomic>
#include <cstdlib>
#include <ctime>

namespace Script {

namespace {
std::atomic<std::size_t> g_allStatesBytes{0};

// The coarse monotonic clock: the fine clock's time as of its last tick.
std::chrono::nanoseconds CoarseNow() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC_COARSE, &now);
    return std::chrono::seconds(now.tv_sec) + std::chrono::nanoseconds(now.tv_nsec);
}

// Whether `more` bytes fit beside `held` under `limit`, without overflow.
bool Fits(std::size_t held, std::size_t more, std::size_t limit) { return held <= limit && more <= limit - held; }
} // namespace

ScriptBounds& CurrentScriptBounds() {
    static ScriptBounds bounds;
    return bounds;
}

std::size_t AllScriptStatesBytes() { return g_allStatesBytes.load(std::memory_order_relaxed); }

lua_State* ScriptGuard::NewState() {
    m_stopReason = nullptr;
    m_engineDepth = 0;
    BeginRun();
    lua_State* L = lua_newstate(Allocate, this);
    if (L) lua_sethook(L, Hook, LUA_MASKCOUNT, kHookInterval);
    return L;
}

ScriptGuard::~ScriptGuard() { SetTiming(false); }

void ScriptGuard::BeginRun() {
    m_runStart = Clock::now();
    m_lastQuitPoll = m_runStart;
    m_lastHook = m_runStart;
    m_engineCallsAtHook = s_engineCalls;
    m_engineTime = Clock::duration::zero();
    SetTiming(false);
}

void ScriptGuard::SetTiming(bool timing) {
    if (timing == m_timing) return;
    m_timing = timing;
    s_timingGuards += timing ? 1 : -1;
}

ScriptGuard* ScriptGuard::Of(lua_State* L) {
    void* ud = nullptr;
    return lua_getallocf(L, &ud) == Allocate ? static_cast<ScriptGuard*>(ud) : nullptr;
}

void ScriptGuard::RaiseOutOfMemory(lua_State* L) {
    if (ScriptGuard* guard = Of(L)) {
        // A block beyond the state's share: the allocator refuses it and Lua raises its own
        // memory error, exactly as for any other refusal.
        const std::size_t limit = CurrentScriptBounds().stateBytes;
        lua_newuserdata(L, limit < guard->m_bytes ? 1 : limit - guard->m_bytes + 1);
        // Only reached when the bounds let the block through after all.
        guard->Stop(kNotEnoughMemory);
    }
    luaL_error(L, kNotEnoughMemory);
    std::abort(); // luaL_error does not return
}

void* ScriptGuard::Allocate(void* ud, void* block, std::size_t oldSize, std::size_t newSize) {
    auto* guard = static_cast<ScriptGuard*>(ud);
    if (!block) oldSize = 0;
    if (newSize == 0) {
        std::free(block);
        guard->m_bytes -= oldSize;
        g_allStatesBytes.fetch_sub(oldSize, std::memory_order_relaxed);
        return nullptr;
    }
    if (newSize > oldSize) {
        const std::size_t growth = newSize - oldSize;
        const ScriptBounds& bounds = CurrentScriptBounds();
        if (!Fits(guard->m_bytes, growth, bounds.stateBytes) ||
            !Fits(g_allStatesBytes.load(std::memory_order_relaxed), growth, bounds.allStatesBytes)) {
            guard->Stop(kNotEnoughMemory);
            return nullptr;
        }
    }
    void* moved = std::realloc(block, newSize);
    if (!moved) {
        // A block that shrinks may stay where it is: Lua only needs newSize of it.
        if (newSize < oldSize) {
            moved = block;
        } else {
            guard->Stop(kNotEnoughMemory);
            return nullptr;
        }
    }
    if (newSize > oldSize) {
        guard->m_bytes += newSize - oldSize;
        g_allStatesBytes.fetch_add(newSize - oldSize, std::memory_order_relaxed);
    } else {
        guard->m_bytes -= oldSize - newSize;
        g_allStatesBytes.fetch_sub(oldSize - newSize, std::memory_order_relaxed);
    }
    return moved;
}

void ScriptGuard::Stop(const char* reason) {
    if (!m_stopReason) m_stopReason = reason;
}

void ScriptGuard::CheckRun() {
    if (m_stopReason) return;
    if (Platform::QuitSignalled()) {
        Stop(kQuitting);
        return;
    }
    const Clock::time_point now = Clock::now();
    if (!m_timing) {
        const bool engineRan = s_engineCalls != m_engineCallsAtHook;
        m_engineCallsAtHook = s_engineCalls;
        if (now - m_runStart > kUntimedEnginePhase) {
            // Untimed engine calls cannot be told from the script's own work; the interval
            // that ran past the untimed phase is the one a slow engine call would have made.
            if (engineRan) m_engineTime += now - m_lastHook;
            SetTiming(true);
        }
        m_lastHook = now;
    }
    if (now - m_runStart - m_engineTime > CurrentScriptBounds().runTime) {
        Stop(kRanTooLong);
        return;
    }
    // The window system's queue is looked at seldom: it costs far more than the clock.
    if (now - m_lastQuitPoll >= kQuitPollInterval) {
        m_lastQuitPoll = now;
        if (Platform::QuitPending()) Stop(kQuitting);
    }
}

void ScriptGuard::Hook(lua_State* L, lua_Debug*) {
    ScriptGuard* guard = Of(L);
    if (!guard) return;
    guard->CheckRun();
    if (!guard->m_stopReason) return;
    // From now on this thread raises at every instruction: a pcall of the script catches one
    // raise, and the next instruction after it raises again, until the error reaches the engine.
    // Other threads of the state raise at their next hook call.
    lua_sethook(L, Hook, LUA_MASKCOUNT, 1);
    luaL_where(L, 0);
    lua_pushstring(L, guard->m_stopReason);
    lua_concat(L, 2);
    lua_error(L);
}

void ScriptGuard::EngineCall::BeginTimed(lua_State* L) {
    m_guard = Of(L);
    if (m_guard && m_guard->m_engineDepth++ == 0) m_start = CoarseNow();
}

void ScriptGuard::EngineCall::EndTimed() {
    if (--m_guard->m_engineDepth == 0)
        m_guard->m_engineTime += std::chrono::duration_cast<Clock::duration>(CoarseNow() - m_start);
}

} // namespace Script
