#include "Platform/System/NumberText.h"

#include <gtest/gtest.h>

#include "support/CommaLocale.h"

#include <climits>
#include <cstdio>

using namespace Platform;

using kxtest::CommaLocale;

namespace {
// The numbers below must not depend on the process locale: prove the locale really is a comma one.
void ExpectCommaLocale(const CommaLocale& loc) {
    ASSERT_TRUE(loc.Active());
    char buf[16];
    std::snprintf(buf, sizeof buf, "%.1f", 0.5);
    ASSERT_STREQ(buf, "0,5");
}
} // namespace

TEST(NumberText, ParseIntLikeAtoi) {
    CommaLocale loc;
    ExpectCommaLocale(loc);
    struct Case {
        const char* text;
        int value;
    };
    const Case cases[] = {
        {"42", 42},
        {"  -17xyz", -17},
        {"+8", 8},
        {"", 0},
        {"abc", 0},
        {"3.9", 3},
        {"\t\n 12", 12},
        {"99999999999", INT_MAX},
        {"-99999999999", INT_MIN},
        {"- 5", 0},
    };
    for (const Case& c : cases) EXPECT_EQ(ParseInt(c.text), c.value) << '"' << c.text << '"';
}

TEST(NumberText, ParseFloatUsesThePointWhateverTheLocale) {
    CommaLocale loc;
    ExpectCommaLocale(loc);
    struct Case {
        const char* text;
        double value;
    };
    const Case cases[] = {
        {"1.5", 1.5}, {" -0.25", -0.25}, {"3,5", 3.0}, {"1e3", 1000.0},    {".5", 0.5},
        {"", 0.0},    {"x1", 0.0},       {"2.", 2.0},  {"+7.75abc", 7.75},
    };
    for (const Case& c : cases) EXPECT_DOUBLE_EQ(ParseDouble(c.text), c.value) << '"' << c.text << '"';
    EXPECT_FLOAT_EQ(ParseFloat("0.1"), 0.1f);
}

TEST(NumberText, FormatUsesThePointWhateverTheLocale) {
    CommaLocale loc;
    ExpectCommaLocale(loc);
    EXPECT_EQ(FormatG(0.5), "0.5");
    EXPECT_EQ(FormatG(1e-7), "1e-07");
    EXPECT_EQ(FormatFixed2(3.14159), "3.14");
    EXPECT_EQ(FormatC("%s = %g\r\n", "gamma", 1.25), "gamma = 1.25\r\n");
    std::string longText(1000, 'a');
    EXPECT_EQ(FormatC("%s%d", longText.c_str(), 7), longText + "7");
}
