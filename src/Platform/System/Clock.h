#pragma once
// The high-resolution counter and millisecond clock the engine times itself with.
// Code asks Platform::GetClock(); tests install a FakeClock.

#include <cstdint>

namespace Platform {

class IClock {
public:
    virtual ~IClock() = default;
    // Counter ticks and ticks per second; false when the machine has no such counter.
    virtual bool QueryPerformanceCounter(std::int64_t* ticks) = 0;
    virtual bool QueryPerformanceFrequency(std::int64_t* ticksPerSecond) = 0;
    // Milliseconds since an arbitrary start, wrapping at 2^32.
    virtual std::uint32_t TimeGetTime() = 0;
};

// Monotonic clock of the machine (nanosecond ticks).
class SystemClock final : public IClock {
public:
    bool QueryPerformanceCounter(std::int64_t* ticks) override;
    bool QueryPerformanceFrequency(std::int64_t* ticksPerSecond) override;
    std::uint32_t TimeGetTime() override;
};

// A clock that moves only when told to.
class FakeClock final : public IClock {
public:
    explicit FakeClock(std::int64_t frequency = 1000000) : m_frequency(frequency) {}
    bool QueryPerformanceCounter(std::int64_t* ticks) override;
    bool QueryPerformanceFrequency(std::int64_t* ticksPerSecond) override;
    std::uint32_t TimeGetTime() override;

    void AdvanceSeconds(double seconds);
    void AdvanceTicks(std::int64_t ticks) { m_ticks += ticks; }
    void SetHasCounter(bool has) { m_hasCounter = has; }
    std::int64_t Ticks() const { return m_ticks; }

private:
    std::int64_t m_frequency;
    std::int64_t m_ticks = 0;
    bool m_hasCounter = true;
};

// The clock of reproducible runs: time stands still between readings of the counter, and each
// reading moves it one step of 1/60 s on from a fixed start, the millisecond clock with it. The
// frame timer reads the counter once a pass, so every pass lasts one step however long the
// machine took, and two runs see the same times.
class FixedStepClock final : public IClock {
public:
    // 1/60 s is a whole number of these ticks.
    static constexpr std::int64_t kFrequency = 600000;
    static constexpr std::int64_t kStepTicks = kFrequency / 60;

    bool QueryPerformanceCounter(std::int64_t* ticks) override;
    bool QueryPerformanceFrequency(std::int64_t* ticksPerSecond) override;
    std::uint32_t TimeGetTime() override;

private:
    std::int64_t m_ticks = 0;
};

// The clock in use; the system clock unless a test installed another.
IClock& GetClock();
// Installs a clock (not owned); nullptr restores the system clock.
void SetClock(IClock* clock);

} // namespace Platform
