#include "Platform/System/Clock.h"

#include <chrono>
#include <cmath>

namespace Platform {

namespace {
SystemClock g_systemClock;
IClock* g_clock = nullptr;

std::int64_t SteadyNanoseconds() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}
} // namespace

bool SystemClock::QueryPerformanceCounter(std::int64_t* ticks) {
    if (!ticks) return false;
    *ticks = SteadyNanoseconds();
    return true;
}

bool SystemClock::QueryPerformanceFrequency(std::int64_t* ticksPerSecond) {
    if (!ticksPerSecond) return false;
    *ticksPerSecond = 1000000000;
    return true;
}

std::uint32_t SystemClock::TimeGetTime() { return static_cast<std::uint32_t>(SteadyNanoseconds() / 1000000); }

bool FakeClock::QueryPerformanceCounter(std::int64_t* ticks) {
    if (!ticks || !m_hasCounter) return false;
    *ticks = m_ticks;
    return true;
}

bool FakeClock::QueryPerformanceFrequency(std::int64_t* ticksPerSecond) {
    if (!ticksPerSecond || !m_hasCounter) return false;
    *ticksPerSecond = m_frequency;
    return true;
}

std::uint32_t FakeClock::TimeGetTime() { return static_cast<std::uint32_t>(m_ticks * 1000 / m_frequency); }

void FakeClock::AdvanceSeconds(double seconds) {
    m_ticks += static_cast<std::int64_t>(std::llround(seconds * static_cast<double>(m_frequency)));
}

bool FixedStepClock::QueryPerformanceCounter(std::int64_t* ticks) {
    if (!ticks) return false;
    *ticks = m_ticks;
    m_ticks += kStepTicks;
    return true;
}

bool FixedStepClock::QueryPerformanceFrequency(std::int64_t* ticksPerSecond) {
    if (!ticksPerSecond) return false;
    *ticksPerSecond = kFrequency;
    return true;
}

// The time of the last counter reading.
std::uint32_t FixedStepClock::TimeGetTime() {
    const std::int64_t read = m_ticks > 0 ? m_ticks - kStepTicks : 0;
    return static_cast<std::uint32_t>(read * 1000 / kFrequency);
}

IClock& GetClock() { return g_clock ? *g_clock : g_systemClock; }

void SetClock(IClock* clock) { g_clock = clock; }

} // namespace Platform
