#include "Platform/System/Clock.h"
#include "Platform/System/Random.h"

#include <gtest/gtest.h>

#include <vector>

using namespace Platform;

TEST(Clock, SystemCounterIsMonotonic) {
    std::int64_t a = 0, b = 0, f = 0;
    ASSERT_TRUE(GetClock().QueryPerformanceFrequency(&f));
    EXPECT_GT(f, 0);
    ASSERT_TRUE(GetClock().QueryPerformanceCounter(&a));
    ASSERT_TRUE(GetClock().QueryPerformanceCounter(&b));
    EXPECT_LE(a, b);
}

TEST(Clock, FakeClockReplacesTheSystemClockAndCanLackACounter) {
    FakeClock fake(1000);
    SetClock(&fake);
    fake.AdvanceSeconds(2.5);
    std::int64_t t = 0;
    ASSERT_TRUE(GetClock().QueryPerformanceCounter(&t));
    EXPECT_EQ(t, 2500);
    EXPECT_EQ(GetClock().TimeGetTime(), 2500u);
    fake.SetHasCounter(false);
    EXPECT_FALSE(GetClock().QueryPerformanceCounter(&t));
    EXPECT_FALSE(GetClock().QueryPerformanceFrequency(&t));
    SetClock(nullptr);
    EXPECT_NE(&GetClock(), static_cast<IClock*>(&fake));
}

namespace {
std::vector<int> Reference(std::uint32_t seed, int n) {
    std::vector<int> out;
    std::uint32_t s = seed;
    for (int i = 0; i < n; ++i) {
        s = s * 214013u + 2531011u;
        out.push_back(static_cast<int>((s >> 16) & 0x7FFF));
    }
    return out;
}
} // namespace

TEST(EngineRandom, FollowsTheClassicSequence) {
    struct Case {
        std::uint32_t seed;
        std::vector<int> first;
    };
    // The first values of the classic C runtime after srand(1) and srand(12345).
    const Case cases[] = {
        {1, {41, 18467, 6334, 26500, 19169}},
        {12345, {7584, 19164, 25795, 22125, 5828}},
    };
    for (const Case& c : cases) {
        EngineSeed(c.seed);
        std::vector<int> got;
        for (std::size_t i = 0; i < c.first.size(); ++i) got.push_back(EngineRand());
        EXPECT_EQ(got, c.first) << "seed " << c.seed;
        EXPECT_EQ(got, Reference(c.seed, static_cast<int>(c.first.size())));
    }
}

TEST(EngineRandom, StaysInRangeAndIsReproducible) {
    EngineRandom a(777), b(777);
    for (int i = 0; i < 10000; ++i) {
        int v = a.Next();
        ASSERT_GE(v, 0);
        ASSERT_LE(v, ENGINE_RAND_MAX);
        ASSERT_EQ(v, b.Next());
    }
}
