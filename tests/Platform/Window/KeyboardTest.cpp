// The keyboard devices and the SDL scancode table.

#include <gtest/gtest.h>

#include <SDL_scancode.h>

#include <array>
#include <map>
#include <set>

#include "Platform/Window/Keyboard.h"

using namespace Platform;

namespace {

TEST(ScancodeTableTest, MapsKeysToTheirDirectInputCodes) {
    const std::pair<int, std::uint8_t> cases[] = {
        {SDL_SCANCODE_ESCAPE, 0x01},
        {SDL_SCANCODE_1, 0x02},
        {SDL_SCANCODE_0, 0x0B},
        {SDL_SCANCODE_MINUS, 0x0C},
        {SDL_SCANCODE_BACKSPACE, 0x0E},
        {SDL_SCANCODE_TAB, 0x0F},
        {SDL_SCANCODE_Q, 0x10},
        {SDL_SCANCODE_P, 0x19},
        {SDL_SCANCODE_RETURN, 0x1C},
        {SDL_SCANCODE_LCTRL, 0x1D},
        {SDL_SCANCODE_A, 0x1E},
        {SDL_SCANCODE_L, 0x26},
        {SDL_SCANCODE_GRAVE, 0x29},
        {SDL_SCANCODE_LSHIFT, 0x2A},
        {SDL_SCANCODE_BACKSLASH, 0x2B},
        {SDL_SCANCODE_Z, 0x2C},
        {SDL_SCANCODE_M, 0x32},
        {SDL_SCANCODE_SLASH, 0x35},
        {SDL_SCANCODE_RSHIFT, 0x36},
        {SDL_SCANCODE_KP_MULTIPLY, 0x37},
        {SDL_SCANCODE_LALT, 0x38},
        {SDL_SCANCODE_SPACE, 0x39},
        {SDL_SCANCODE_CAPSLOCK, 0x3A},
        {SDL_SCANCODE_F1, 0x3B},
        {SDL_SCANCODE_F10, 0x44},
        {SDL_SCANCODE_NUMLOCKCLEAR, 0x45},
        {SDL_SCANCODE_SCROLLLOCK, 0x46},
        {SDL_SCANCODE_KP_7, 0x47},
        {SDL_SCANCODE_KP_MINUS, 0x4A},
        {SDL_SCANCODE_KP_5, 0x4C},
        {SDL_SCANCODE_KP_PLUS, 0x4E},
        {SDL_SCANCODE_KP_0, 0x52},
        {SDL_SCANCODE_KP_PERIOD, 0x53},
        {SDL_SCANCODE_F11, 0x57},
        {SDL_SCANCODE_F12, 0x58},
        {SDL_SCANCODE_F13, 0x64},
        {SDL_SCANCODE_KP_EQUALS, 0x8D},
        {SDL_SCANCODE_KP_ENTER, 0x9C},
        {SDL_SCANCODE_RCTRL, 0x9D},
        {SDL_SCANCODE_KP_COMMA, 0xB3},
        {SDL_SCANCODE_KP_DIVIDE, 0xB5},
        {SDL_SCANCODE_PRINTSCREEN, 0xB7},
        {SDL_SCANCODE_RALT, 0xB8},
        {SDL_SCANCODE_PAUSE, 0xC5},
        {SDL_SCANCODE_HOME, 0xC7},
        {SDL_SCANCODE_UP, 0xC8},
        {SDL_SCANCODE_PAGEUP, 0xC9},
        {SDL_SCANCODE_LEFT, 0xCB},
        {SDL_SCANCODE_RIGHT, 0xCD},
        {SDL_SCANCODE_END, 0xCF},
        {SDL_SCANCODE_DOWN, 0xD0},
        {SDL_SCANCODE_PAGEDOWN, 0xD1},
        {SDL_SCANCODE_INSERT, 0xD2},
        {SDL_SCANCODE_DELETE, 0xD3},
        {SDL_SCANCODE_LGUI, 0xDB},
        {SDL_SCANCODE_APPLICATION, 0xDD},
        {SDL_SCANCODE_INTERNATIONAL3, 0x7D},
    };
    for (const auto& [sdl, dik] : cases) EXPECT_EQ(ScancodeToDik(sdl), dik) << "SDL scancode " << sdl;
    EXPECT_EQ(ScancodeToDik(SDL_SCANCODE_UNKNOWN), 0);
    EXPECT_EQ(ScancodeToDik(SDL_SCANCODE_F24), 0) << "no DirectInput code";
    EXPECT_EQ(ScancodeToDik(-1), 0);
    EXPECT_EQ(ScancodeToDik(SDL_NUM_SCANCODES), 0);
    EXPECT_EQ(ScancodeToDik(100000), 0);
}

TEST(ScancodeTableTest, DistinctKeysGetDistinctCodes) {
    // Only keys that are the same key on different layouts share a code.
    const std::set<std::pair<int, int>> shared = {{SDL_SCANCODE_BACKSLASH, SDL_SCANCODE_NONUSHASH},
                                                  {SDL_SCANCODE_PRINTSCREEN, SDL_SCANCODE_SYSREQ},
                                                  {SDL_SCANCODE_MUTE, SDL_SCANCODE_AUDIOMUTE}};
    std::map<int, int> first;
    for (int s = 0; s < SDL_NUM_SCANCODES; ++s) {
        const int dik = ScancodeToDik(s);
        if (!dik) continue;
        auto [it, inserted] = first.emplace(dik, s);
        if (!inserted) {
            EXPECT_TRUE(shared.count({it->second, s})) << "scancodes " << it->second << " and " << s;
        }
    }
    // Every letter, digit, function key F1-F12 and the cursor block is reachable.
    EXPECT_GE(first.size(), 100u);
}

TEST(HeadlessKeyboardTest, ReadsTheStateWhileAcquired) {
    HeadlessKeyboard k;
    std::array<std::uint8_t, 256> state{};
    state.fill(0xEE);
    EXPECT_EQ(k.GetDeviceState(256, state.data()), DIERR_NOTACQUIRED);
    EXPECT_EQ(state[0], 0) << "no key down before acquiring";
    ASSERT_EQ(k.Acquire(), DI_OK);
    k.SetKey(DIK_LEFT, true);
    k.SetKey(DIK_SPACE, true);
    ASSERT_EQ(k.Poll(), DI_OK);
    ASSERT_EQ(k.GetDeviceState(256, state.data()), DI_OK);
    EXPECT_EQ(state[DIK_LEFT], 0x80);
    EXPECT_EQ(state[DIK_SPACE], 0x80);
    EXPECT_EQ(state[DIK_RIGHT], 0);
    EXPECT_EQ(k.GetDeviceState(16, state.data()), DIERR_INVALIDPARAM);
    EXPECT_EQ(k.GetDeviceState(256, nullptr), DIERR_INVALIDPARAM);
    EXPECT_EQ(k.Unacquire(), DI_OK);
    EXPECT_EQ(k.GetDeviceState(256, state.data()), DIERR_NOTACQUIRED);
}

TEST(HeadlessKeyboardTest, LosingTheFocusReleasesKeysAndReportsInputLost) {
    HeadlessKeyboard k;
    k.Acquire();
    k.SetKey(DIK_UP, true);
    k.SetFocus(false);
    std::array<std::uint8_t, 256> state{};
    state.fill(0x80);
    EXPECT_EQ(k.GetDeviceState(256, state.data()), DIERR_INPUTLOST);
    for (auto b : state) ASSERT_EQ(b, 0) << "nothing stays held";
    EXPECT_EQ(k.Acquire(), DIERR_OTHERAPPHASPRIO) << "a foreground device waits for the focus";
    k.SetFocus(true);
    EXPECT_EQ(k.Acquire(), DI_OK);
    EXPECT_EQ(k.GetDeviceState(256, state.data()), DI_OK);
    EXPECT_EQ(state[DIK_UP], 0);
}

TEST(SdlKeyboardTest, KeyEventsSetAndClearBit7) {
    SdlKeyboard k;
    k.Acquire();
    k.OnSdlKey(SDL_SCANCODE_W, true);
    k.OnSdlKey(SDL_SCANCODE_KP_ENTER, true);
    k.OnSdlKey(SDL_SCANCODE_F24, true); // no code: ignored
    std::array<std::uint8_t, 256> state{};
    k.GetDeviceState(256, state.data());
    EXPECT_EQ(state[DIK_W], 0x80);
    EXPECT_EQ(state[DIK_NUMPADENTER], 0x80);
    EXPECT_EQ(state[0], 0);
    k.OnSdlKey(SDL_SCANCODE_W, false);
    k.GetDeviceState(256, state.data());
    EXPECT_EQ(state[DIK_W], 0);
}

TEST(KeyboardRegistryTest, InstalledKeyboardIsReturned) {
    HeadlessKeyboard k;
    SetKeyboard(&k);
    EXPECT_EQ(GetKeyboard(), &k);
    SetKeyboard(nullptr);
    EXPECT_EQ(GetKeyboard(), nullptr);
}

} // namespace
