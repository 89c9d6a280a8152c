#include "Physics/StepTimer.h"

#include <chrono>

namespace {

uint64_t SteadyCounter() {
    return static_cast<uint64_t>(
        std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
            .count());
}
uint64_t SteadyFrequency() { return 1000000000ull; }

RbCounterFunction g_counter = SteadyCounter;
RbFrequencyFunction g_frequencyFunction = SteadyFrequency;
// Process-wide, as only one timer runs at a time.
uint64_t g_frequency = 0;
uint64_t g_mark = 0;

void EmptyFunction() {}
void (*volatile g_emptyFunction)() = EmptyFunction;

} // namespace

void RbSetHighResolutionCounter(RbCounterFunction counter, RbFrequencyFunction frequency) {
    if (counter && frequency) {
        g_counter = counter;
        g_frequencyFunction = frequency;
    } else {
        g_counter = SteadyCounter;
        g_frequencyFunction = SteadyFrequency;
    }
    g_mark = g_counter();
}

void StepTimer::Calibrate() {
    for (float& s : m_stages) s = 0.0f;
    m_shift = 0;
    m_overhead = 0;
    m_hasCounter = false;
    g_frequency = g_frequencyFunction();
    if (g_frequency == 0) return;
    m_hasCounter = true;
    uint64_t best = 200;
    for (int i = 0; i < 20; ++i) {
        uint64_t before = g_counter();
        g_emptyFunction();
        uint64_t after = g_counter();
        if (after >= before && after - before < best) best = after - before;
    }
    m_overhead = static_cast<int32_t>(best);
    uint32_t high = static_cast<uint32_t>(g_frequency >> 32);
    while (high) {
        ++m_shift;
        high >>= 1;
    }
}

void StepTimer::Start() {
    for (float& s : m_stages) s = 0.0f;
    g_mark = g_counter();
}

float StepTimer::Elapsed() {
    uint64_t now = g_counter();
    uint64_t last = g_mark;
    g_mark = now;
    if (!m_hasCounter) return 0.0f;
    uint64_t frequency = g_frequency;
    int64_t overhead = m_overhead;
    if (m_shift > 0) {
        now >>= m_shift;
        last >>= m_shift;
        frequency >>= m_shift;
        overhead >>= m_shift;
    }
    // Intervals are taken in full 64 bits (no wrap after 2^32 ticks); a clock that
    // went backwards or an interval shorter than the overhead gives 0.
    if (now < last) return 0.0f;
    uint64_t ticks = now - last;
    if (ticks <= static_cast<uint64_t>(overhead)) return 0.0f;
    ticks -= static_cast<uint64_t>(overhead);
    if (frequency == 0) return 0.0f;
    return static_cast<float>(static_cast<double>(ticks) / static_cast<double>(frequency));
}

float StepTimer::Total() const {
    float total = 0.0f;
    for (float s : m_stages) total += s;
    return total;
}
