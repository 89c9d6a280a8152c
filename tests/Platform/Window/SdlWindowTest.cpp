// The SDL2 window and message source under SDL's headless "offscreen" video driver, with
// events injected through SDL_PushEvent.

#include <gtest/gtest.h>

#include <SDL.h>

#include <cstdlib>
#include <cstring>
#include <vector>

#include "Platform/Window/Window.h"

using namespace Platform;

namespace {

class SdlWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("SDL_VIDEODRIVER", "offscreen", 1);
        std::string error;
        if (!InitVideo(&error)) GTEST_SKIP() << "no SDL video: " << error;
        window = CreateGameWindow("Korvaxa", 160, 120, true, true, &error);
        ASSERT_NE(window, nullptr) << error;
        source = std::make_unique<SdlMessageSource>(window, &keyboard);
        keyboard.Acquire();
        MSG m;
        while (source->PeekMessage(m)) {} // whatever the driver reported on creation
    }
    void TearDown() override {
        source.reset();
        DestroyGameWindow(window);
    }

    Uint32 Id() const { return SDL_GetWindowID(static_cast<SDL_Window*>(window)); }
    void PushWindowEvent(Uint8 type) {
        SDL_Event e{};
        e.type = SDL_WINDOWEVENT;
        e.window.windowID = Id();
        e.window.event = type;
        ASSERT_EQ(SDL_PushEvent(&e), 1);
    }
    void PushKey(SDL_Scancode code, SDL_Keycode sym, bool down) {
        SDL_Event e{};
        e.type = down ? SDL_KEYDOWN : SDL_KEYUP;
        e.key.windowID = Id();
        e.key.state = down ? SDL_PRESSED : SDL_RELEASED;
        e.key.keysym.scancode = code;
        e.key.keysym.sym = sym;
        ASSERT_EQ(SDL_PushEvent(&e), 1);
    }
    void PushText(const char* utf8) {
        SDL_Event e{};
        e.type = SDL_TEXTINPUT;
        e.text.windowID = Id();
        std::strncpy(e.text.text, utf8, sizeof(e.text.text) - 1);
        ASSERT_EQ(SDL_PushEvent(&e), 1);
    }
    void PushMotion(int x, int y) {
        SDL_Event e{};
        e.type = SDL_MOUSEMOTION;
        e.motion.windowID = Id();
        e.motion.x = x;
        e.motion.y = y;
        ASSERT_EQ(SDL_PushEvent(&e), 1);
    }
    void PushButton(bool down, int x, int y, Uint8 button = SDL_BUTTON_LEFT) {
        SDL_Event e{};
        e.type = down ? SDL_MOUSEBUTTONDOWN : SDL_MOUSEBUTTONUP;
        e.button.windowID = Id();
        e.button.button = button;
        e.button.x = x;
        e.button.y = y;
        ASSERT_EQ(SDL_PushEvent(&e), 1);
    }
    std::vector<MSG> Drain() {
        std::vector<MSG> out;
        MSG m;
        while (source->PeekMessage(m)) out.push_back(m);
        return out;
    }

    HWND window = nullptr;
    SdlKeyboard keyboard;
    std::unique_ptr<SdlMessageSource> source;
};

TEST_F(SdlWindowTest, OneMessagePerPeekInEventOrder) {
    PushWindowEvent(SDL_WINDOWEVENT_MINIMIZED);
    PushWindowEvent(SDL_WINDOWEVENT_RESTORED);
    PushWindowEvent(SDL_WINDOWEVENT_FOCUS_LOST);
    PushWindowEvent(SDL_WINDOWEVENT_FOCUS_GAINED);
    MSG m;
    ASSERT_TRUE(source->PeekMessage(m));
    EXPECT_EQ(m.message, WM_SIZE);
    EXPECT_EQ(m.wParam, SIZE_MINIMIZED);
    EXPECT_EQ(source->Pending(), 3u) << "the rest waits for later passes";
    ASSERT_TRUE(source->PeekMessage(m));
    EXPECT_EQ(m.message, WM_SIZE);
    EXPECT_EQ(m.wParam, SIZE_RESTORED);
    EXPECT_EQ(LParamX(m.lParam), 160);
    EXPECT_EQ(LParamY(m.lParam), 120);
    ASSERT_TRUE(source->PeekMessage(m));
    EXPECT_EQ(m.message, WM_ACTIVATE);
    EXPECT_EQ(m.wParam, WA_INACTIVE);
    ASSERT_TRUE(source->PeekMessage(m));
    EXPECT_EQ(m.message, WM_ACTIVATE);
    EXPECT_EQ(m.wParam, WA_ACTIVE);
    EXPECT_EQ(m.hwnd, window);
    EXPECT_FALSE(source->PeekMessage(m));
}

TEST_F(SdlWindowTest, CloseAndQuitGiveOneCloseMessage) {
    PushWindowEvent(SDL_WINDOWEVENT_CLOSE);
    SDL_Event quit{};
    quit.type = SDL_QUIT;
    SDL_PushEvent(&quit);
    const auto messages = Drain();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].message, WM_CLOSE);
}

TEST_F(SdlWindowTest, KeysFeedTheKeyboardAndTypedTextBecomesCp1251Chars) {
    PushKey(SDL_SCANCODE_LEFT, SDLK_LEFT, true);
    PushKey(SDL_SCANCODE_RETURN, SDLK_RETURN, true);
    PushText("a\xD0\x96"); // "a" and CYRILLIC CAPITAL LETTER ZHE
    PushKey(SDL_SCANCODE_BACKSPACE, SDLK_BACKSPACE, true);
    const auto messages = Drain();
    std::array<std::uint8_t, 256> state{};
    ASSERT_EQ(keyboard.GetDeviceState(256, state.data()), DI_OK);
    EXPECT_EQ(state[DIK_LEFT], 0x80);
    EXPECT_EQ(state[DIK_RETURN], 0x80);
    std::vector<WPARAM> chars;
    for (const MSG& m : messages)
        if (m.message == WM_CHAR) chars.push_back(m.wParam);
    EXPECT_EQ(chars, (std::vector<WPARAM>{13, 'a', 0xC6, 8}));
    PushKey(SDL_SCANCODE_LEFT, SDLK_LEFT, false);
    Drain();
    keyboard.GetDeviceState(256, state.data());
    EXPECT_EQ(state[DIK_LEFT], 0);
}

TEST_F(SdlWindowTest, FocusLossReleasesHeldKeys) {
    PushKey(SDL_SCANCODE_UP, SDLK_UP, true);
    PushWindowEvent(SDL_WINDOWEVENT_FOCUS_LOST);
    Drain();
    std::array<std::uint8_t, 256> state{};
    state.fill(0x80);
    EXPECT_EQ(keyboard.GetDeviceState(256, state.data()), DIERR_INPUTLOST);
    EXPECT_EQ(state[DIK_UP], 0);
}

TEST_F(SdlWindowTest, MouseMotionIsCoalescedAndButtonsCarryThePosition) {
    PushMotion(10, 20);
    PushMotion(11, 21);
    PushMotion(12, 22);
    PushButton(true, 30, 40);
    PushButton(true, 5, 5, SDL_BUTTON_RIGHT); // only the left button is reported
    PushButton(false, 31, 41);
    const auto messages = Drain();
    ASSERT_EQ(messages.size(), 3u);
    EXPECT_EQ(messages[0].message, WM_MOUSEMOVE);
    EXPECT_EQ(LParamX(messages[0].lParam), 12);
    EXPECT_EQ(LParamY(messages[0].lParam), 22);
    EXPECT_EQ(messages[1].message, WM_LBUTTONDOWN);
    EXPECT_EQ(messages[1].wParam, MK_LBUTTON);
    EXPECT_EQ(LParamX(messages[1].lParam), 30);
    EXPECT_EQ(LParamY(messages[1].lParam), 40);
    EXPECT_EQ(messages[2].message, WM_LBUTTONUP);
    float x = 0, y = 0;
    source->GetCursorPosition(x, y);
    EXPECT_EQ(x, 31.0f);
    EXPECT_EQ(y, 41.0f);
}

TEST_F(SdlWindowTest, WorksThroughThePumpOfTheMainLoop) {
    SetMessageSource(source.get());
    PushButton(true, 3, 4);
    MSG m;
    ASSERT_TRUE(PeekMessageA(&m));
    EXPECT_EQ(m.message, WM_LBUTTONDOWN);
    float x = 0, y = 0;
    GetCursorClientPosition(x, y);
    EXPECT_EQ(x, 3.0f);
    EXPECT_EQ(y, 4.0f);
    SetMessageSource(nullptr);
}

TEST_F(SdlWindowTest, CursorCounterAndClientSize) {
    EXPECT_EQ(ShowCursor(FALSE), -1);
    EXPECT_EQ(ShowCursor(FALSE), -2);
    EXPECT_EQ(ShowCursor(TRUE), -1);
    EXPECT_EQ(ShowCursor(TRUE), 0);
    int w = 0, h = 0;
    GetClientSize(window, w, h);
    EXPECT_EQ(w, 160);
    EXPECT_EQ(h, 120);
    for (const DisplayMode& m : ListDisplayModes()) {
        EXPECT_GT(m.width, 0);
        EXPECT_GT(m.height, 0);
    }
    EXPECT_EQ(CreateGameWindow("x", 0, 100, true, true), nullptr);
}

TEST_F(SdlWindowTest, FullScreenWindowOfTheConfiguredSize) {
    std::string error;
    HWND full = CreateGameWindow("Korvaxa", 320, 240, false, true, &error);
    ASSERT_NE(full, nullptr) << error;
    EXPECT_TRUE(SDL_GetWindowFlags(static_cast<SDL_Window*>(full)) & SDL_WINDOW_FULLSCREEN);
    DestroyGameWindow(full);
}

TEST(Cp1251Test, ConvertsUtf8AndSkipsWhatThePageLacks) {
    EXPECT_EQ(UnicodeToCp1251(U'A'), 'A');
    EXPECT_EQ(UnicodeToCp1251(U'\u0410'), 0xC0); // А
    EXPECT_EQ(UnicodeToCp1251(U'\u044F'), 0xFF); // я
    EXPECT_EQ(UnicodeToCp1251(U'\u0401'), 0xA8); // Ё
    EXPECT_EQ(UnicodeToCp1251(U'\u0451'), 0xB8); // ё
    EXPECT_EQ(UnicodeToCp1251(U'\u2116'), 0xB9); // №
    EXPECT_EQ(UnicodeToCp1251(U'\u20AC'), 0x88); // €
    EXPECT_EQ(UnicodeToCp1251(U'\u00E9'), -1);   // é is not in the page
    EXPECT_EQ(Utf8ToCp1251("\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82!"), "\xCF\xF0\xE8\xE2\xE5\xF2!");
    EXPECT_EQ(Utf8ToCp1251("x\xC3\xA9y"), "xy");
    EXPECT_EQ(Utf8ToCp1251("\xF0\x9F\x98\x80z"), "z"); // emoji skipped
    EXPECT_EQ(Utf8ToCp1251("\x80\xFFq\xD0"), "q");     // stray and truncated bytes
    EXPECT_EQ(Utf8ToCp1251("\xD0\x41"), "A");          // broken sequence, next byte kept
}

} // namespace
