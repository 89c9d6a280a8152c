#include "Input/KeyNames.h"
#include "Platform/Window/Keyboard.h"

#include <gtest/gtest.h>

#include <set>

namespace {

TEST(KeyNames, NamesByScanCode) {
    const struct {
        int code;
        const char* name;
    } cases[] = {
        {0x01, "Esc"},        {0x0E, "Backspace"}, {0x1C, "Enter"},        {0x29, "`"},        {0x2B, "\\"},
        {0x39, "Space"},      {0x47, "NumPad 7"},  {0x53, "NumPad ."},     {0x57, "F11"},      {0x8D, "Numpad ="},
        {0x90, "CircumFlex"}, {0x91, "@"},         {0x9C, "NumPad Enter"}, {0xB3, "Numpad ,"}, {0xB5, "Numpad /"},
        {0xC8, "Up"},         {0xD0, "Down"},      {0xD3, "Del"},
    };
    for (const auto& c : cases) EXPECT_EQ(Input::KeyName(c.code), c.name) << std::hex << c.code;
}

TEST(KeyNames, UnlistedAndOutOfRangeCodesReadQuestionMarks) {
    for (int code : {0x00, 0x54, 0x56, 0x59, 0x8C, 0xC6, 0xD4, 0xFF, 0x100, -1, 100000})
        EXPECT_EQ(Input::KeyName(code), "???") << code;
}

TEST(KeyNames, TableHas212SlotsAndTheListedNamesAreDistinct) {
    EXPECT_EQ(Input::kKeyNameCount, 212);
    std::set<std::string> names;
    int named = 0;
    for (int code = 0; code < Input::kKeyNameCount; ++code) {
        if (Input::KeyName(code) == "???") continue;
        ++named;
        names.insert(Input::KeyName(code));
    }
    EXPECT_EQ(named, 118);
    EXPECT_EQ(names.size(), 118u);
}

TEST(KeyNames, NamesLookUpTheirCodeExactly) {
    EXPECT_EQ(Input::KeyCodeFromName("Enter"), DIK_RETURN);
    EXPECT_EQ(Input::KeyCodeFromName("NumPad Enter"), DIK_NUMPADENTER);
    EXPECT_EQ(Input::KeyCodeFromName("Numpad /"), DIK_DIVIDE);
    EXPECT_EQ(Input::KeyCodeFromName("Up"), DIK_UP);
    EXPECT_EQ(Input::KeyCodeFromName("???"), 0);
    // Case and spacing matter.
    EXPECT_EQ(Input::KeyCodeFromName("enter"), -1);
    EXPECT_EQ(Input::KeyCodeFromName("NumPad /"), -1);
    EXPECT_EQ(Input::KeyCodeFromName("Numpad 7"), -1);
    EXPECT_EQ(Input::KeyCodeFromName(""), -1);
    for (int code = 0; code < Input::kKeyNameCount; ++code) {
        const std::string& name = Input::KeyName(code);
        if (name != "???") {
            EXPECT_EQ(Input::KeyCodeFromName(name), code) << name;
        }
    }
}

} // namespace
