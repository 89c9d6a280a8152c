#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <string>

#include "Platform/System/LocalTime.h"

namespace {

// Sets TZ for a scope, so the machine's answer can be checked against a known zone.
class ZoneScope {
public:
    explicit ZoneScope(const char* zone) {
        if (const char* old = std::getenv("TZ")) m_old = old;
        m_had = std::getenv("TZ") != nullptr;
        setenv("TZ", zone, 1);
        tzset();
    }
    ~ZoneScope() {
        if (m_had)
            setenv("TZ", m_old.c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }

private:
    std::string m_old;
    bool m_had = false;
};

} // namespace

TEST(LocalTime, InstalledSourceAnswersUntilRemoved) {
    const Platform::LocalTime fixed{2024, 2, 4, 29, 23, 59, 58, 999};
    Platform::FakeLocalTime fake(fixed);
    Platform::SetLocalTimeSource(&fake);
    EXPECT_EQ(Platform::GetLocalTime(), fixed);
    fake.Set({2001, 1, 1, 1, 0, 0, 0, 0});
    EXPECT_EQ(Platform::GetLocalTime().year, 2001);
    Platform::SetLocalTimeSource(nullptr);
    EXPECT_NE(Platform::GetLocalTime().year, 2001);
}

TEST(LocalTime, MachineTimeFieldsAreInTheStoredRanges) {
    ZoneScope zone("UTC");
    const std::time_t before = std::time(nullptr);
    const Platform::LocalTime now = Platform::GetLocalTime();
    const std::time_t after = std::time(nullptr);
    std::tm expected{};
    gmtime_r(&before, &expected);
    // Months count from 1 and Sunday is day 0, as the stamp stores them.
    EXPECT_EQ(now.year, expected.tm_year + 1900);
    EXPECT_EQ(now.month, expected.tm_mon + 1);
    EXPECT_EQ(now.dayOfWeek, expected.tm_wday);
    EXPECT_EQ(now.day, expected.tm_mday);
    EXPECT_LE(now.dayOfWeek, 6);
    EXPECT_LE(now.second, 59);
    EXPECT_LE(now.milliseconds, 999);
    if (before == after) {
        EXPECT_EQ(now.hour, expected.tm_hour);
        EXPECT_EQ(now.minute, expected.tm_min);
        EXPECT_EQ(now.second, expected.tm_sec);
    }
}

TEST(LocalTime, MachineTimeFollowsTheLocalZone) {
    // A zone twelve hours from UTC always differs in hour or day from UTC.
    Platform::LocalTime utc;
    Platform::LocalTime ahead;
    {
        ZoneScope zone("UTC");
        utc = Platform::GetLocalTime();
    }
    {
        ZoneScope zone("XXX-12");
        ahead = Platform::GetLocalTime();
    }
    // The hour may turn between the two readings.
    EXPECT_TRUE(ahead.hour == (utc.hour + 12) % 24 || ahead.hour == (utc.hour + 13) % 24)
        << utc.hour << " " << ahead.hour;
}
