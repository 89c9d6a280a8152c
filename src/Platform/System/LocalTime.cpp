#include "Platform/System/LocalTime.h"

#include <chrono>
#include <ctime>

namespace Platform {

namespace {

ILocalTimeSource* g_source = nullptr;

LocalTime MachineLocalTime() {
    const auto now = std::chrono::system_clock::now();
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    const auto millis = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
    std::tm parts{};
    LocalTime time;
    // localtime_r is the thread-safe form; a failure leaves every field 0.
    if (!localtime_r(&seconds, &parts)) return time;
    time.year = static_cast<std::uint16_t>(parts.tm_year + 1900);
    time.month = static_cast<std::uint16_t>(parts.tm_mon + 1);
    time.dayOfWeek = static_cast<std::uint16_t>(parts.tm_wday);
    time.day = static_cast<std::uint16_t>(parts.tm_mday);
    time.hour = static_cast<std::uint16_t>(parts.tm_hour);
    time.minute = static_cast<std::uint16_t>(parts.tm_min);
    // A leap second is reported as 60; the stamp keeps the 0-59 range.
    time.second = static_cast<std::uint16_t>(parts.tm_sec > 59 ? 59 : parts.tm_sec);
    time.milliseconds = static_cast<std::uint16_t>(millis < 0 ? 0 : millis);
    return time;
}

} // namespace

LocalTime GetLocalTime() { return g_source ? g_source->Now() : MachineLocalTime(); }

void SetLocalTimeSource(ILocalTimeSource* source) { g_source = source; }

} // namespace Platform
