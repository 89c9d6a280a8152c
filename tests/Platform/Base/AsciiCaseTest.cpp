// The one lower-casing of paths, names and keywords: A-Z only.

#include <gtest/gtest.h>

#include <string>

#include "Platform/Base/AsciiCase.h"

namespace {

using Platform::AsciiLower;

TEST(AsciiCaseTest, OnlyTheLettersAToZChange) {
    struct Case {
        std::string in, out;
    } cases[] = {
        {"Data\\TEXTURES\\Sky.DDS", "data\\textures\\sky.dds"},
        {"already lower 0123", "already lower 0123"},
        {"@AZ[`az{", "@az[`az{"},                 // the neighbours of both ranges stay
        {"\xC0\xDF\xE0\xFF", "\xC0\xDF\xE0\xFF"}, // code page 1251 letters keep their case
        {std::string("A\0B", 3), std::string("a\0b", 3)},
        {"", ""},
    };
    for (const Case& c : cases) EXPECT_EQ(AsciiLower(c.in), c.out) << c.in;
}

TEST(AsciiCaseTest, CharAndStringFormsAgreeOnEveryByte) {
    for (int b = 0; b < 256; ++b) {
        const char c = static_cast<char>(b);
        const char expected = (b >= 'A' && b <= 'Z') ? static_cast<char>(b + ('a' - 'A')) : c;
        EXPECT_EQ(AsciiLower(c), expected) << b;
        EXPECT_EQ(AsciiLower(std::string(1, c)), std::string(1, expected)) << b;
    }
    static_assert(AsciiLower('Q') == 'q', "usable in constant expressions");
}

} // namespace
