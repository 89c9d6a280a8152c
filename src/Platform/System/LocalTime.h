#pragma once
// The local date and time of the machine, as save games stamp themselves. Code asks
// Platform::GetLocalTime(); tests install a fixed time with SetLocalTimeSource.

#include <cstdint>

namespace Platform {

// The eight fields in the order they are stored: year, month (1-12), day of the week (0 is
// Sunday), day of the month, hour, minute, second, milliseconds.
struct LocalTime {
    std::uint16_t year = 0;
    std::uint16_t month = 0;
    std::uint16_t dayOfWeek = 0;
    std::uint16_t day = 0;
    std::uint16_t hour = 0;
    std::uint16_t minute = 0;
    std::uint16_t second = 0;
    std::uint16_t milliseconds = 0;

    bool operator==(const LocalTime&) const = default;
};

class ILocalTimeSource {
public:
    virtual ~ILocalTimeSource() = default;
    virtual LocalTime Now() = 0;
};

// A source that answers whatever it was last given.
class FakeLocalTime final : public ILocalTimeSource {
public:
    explicit FakeLocalTime(const LocalTime& time = {}) : m_time(time) {}
    LocalTime Now() override { return m_time; }
    void Set(const LocalTime& time) { m_time = time; }

private:
    LocalTime m_time;
};

// The time from the installed source, else the machine's local time.
LocalTime GetLocalTime();
// Installs a source (not owned); nullptr restores the machine's local time.
void SetLocalTimeSource(ILocalTimeSource* source);

} // namespace Platform
