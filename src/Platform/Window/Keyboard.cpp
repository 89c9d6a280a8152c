#include "Platform/Window/Keyboard.h"

#include <SDL_scancode.h>

#include <cstring>

namespace Platform {

namespace {

struct ScancodeTable {
    std::uint8_t dik[SDL_NUM_SCANCODES] = {};

    constexpr ScancodeTable() {
        // Letters: SDL follows the USB usage order A..Z; DirectInput follows the keyboard rows.
        constexpr std::uint8_t letters[26] = {DIK_A, DIK_B, DIK_C, DIK_D, DIK_E, DIK_F, DIK_G, DIK_H, DIK_I,
                                              DIK_J, DIK_K, DIK_L, DIK_M, DIK_N, DIK_O, DIK_P, DIK_Q, DIK_R,
                                              DIK_S, DIK_T, DIK_U, DIK_V, DIK_W, DIK_X, DIK_Y, DIK_Z};
        for (int i = 0; i < 26; ++i) dik[SDL_SCANCODE_A + i] = letters[i];
        // Digits 1..9 then 0 in both.
        for (int i = 0; i < 10; ++i) dik[SDL_SCANCODE_1 + i] = static_cast<std::uint8_t>(DIK_1 + i);

        dik[SDL_SCANCODE_RETURN] = DIK_RETURN;
        dik[SDL_SCANCODE_ESCAPE] = DIK_ESCAPE;
        dik[SDL_SCANCODE_BACKSPACE] = DIK_BACK;
        dik[SDL_SCANCODE_TAB] = DIK_TAB;
        dik[SDL_SCANCODE_SPACE] = DIK_SPACE;
        dik[SDL_SCANCODE_MINUS] = DIK_MINUS;
        dik[SDL_SCANCODE_EQUALS] = DIK_EQUALS;
        dik[SDL_SCANCODE_LEFTBRACKET] = DIK_LBRACKET;
        dik[SDL_SCANCODE_RIGHTBRACKET] = DIK_RBRACKET;
        dik[SDL_SCANCODE_BACKSLASH] = DIK_BACKSLASH;
        dik[SDL_SCANCODE_NONUSHASH] = DIK_BACKSLASH; // the ISO key beside Enter reports the same code
        dik[SDL_SCANCODE_SEMICOLON] = DIK_SEMICOLON;
        dik[SDL_SCANCODE_APOSTROPHE] = DIK_APOSTROPHE;
        dik[SDL_SCANCODE_GRAVE] = DIK_GRAVE;
        dik[SDL_SCANCODE_COMMA] = DIK_COMMA;
        dik[SDL_SCANCODE_PERIOD] = DIK_PERIOD;
        dik[SDL_SCANCODE_SLASH] = DIK_SLASH;
        dik[SDL_SCANCODE_CAPSLOCK] = DIK_CAPITAL;

        constexpr std::uint8_t functionKeys[12] = {DIK_F1, DIK_F2, DIK_F3, DIK_F4,  DIK_F5,  DIK_F6,
                                                   DIK_F7, DIK_F8, DIK_F9, DIK_F10, DIK_F11, DIK_F12};
        for (int i = 0; i < 12; ++i) dik[SDL_SCANCODE_F1 + i] = functionKeys[i];
        dik[SDL_SCANCODE_F13] = DIK_F13;
        dik[SDL_SCANCODE_F14] = DIK_F14;
        dik[SDL_SCANCODE_F15] = DIK_F15;

        dik[SDL_SCANCODE_PRINTSCREEN] = DIK_SYSRQ;
        dik[SDL_SCANCODE_SYSREQ] = DIK_SYSRQ;
        dik[SDL_SCANCODE_SCROLLLOCK] = DIK_SCROLL;
        dik[SDL_SCANCODE_PAUSE] = DIK_PAUSE;
        dik[SDL_SCANCODE_INSERT] = DIK_INSERT;
        dik[SDL_SCANCODE_HOME] = DIK_HOME;
        dik[SDL_SCANCODE_PAGEUP] = DIK_PRIOR;
        dik[SDL_SCANCODE_DELETE] = DIK_DELETE;
        dik[SDL_SCANCODE_END] = DIK_END;
        dik[SDL_SCANCODE_PAGEDOWN] = DIK_NEXT;
        dik[SDL_SCANCODE_RIGHT] = DIK_RIGHT;
        dik[SDL_SCANCODE_LEFT] = DIK_LEFT;
        dik[SDL_SCANCODE_DOWN] = DIK_DOWN;
        dik[SDL_SCANCODE_UP] = DIK_UP;

        dik[SDL_SCANCODE_NUMLOCKCLEAR] = DIK_NUMLOCK;
        dik[SDL_SCANCODE_KP_DIVIDE] = DIK_DIVIDE;
        dik[SDL_SCANCODE_KP_MULTIPLY] = DIK_MULTIPLY;
        dik[SDL_SCANCODE_KP_MINUS] = DIK_SUBTRACT;
        dik[SDL_SCANCODE_KP_PLUS] = DIK_ADD;
        dik[SDL_SCANCODE_KP_ENTER] = DIK_NUMPADENTER;
        dik[SDL_SCANCODE_KP_1] = DIK_NUMPAD1;
        dik[SDL_SCANCODE_KP_2] = DIK_NUMPAD2;
        dik[SDL_SCANCODE_KP_3] = DIK_NUMPAD3;
        dik[SDL_SCANCODE_KP_4] = DIK_NUMPAD4;
        dik[SDL_SCANCODE_KP_5] = DIK_NUMPAD5;
        dik[SDL_SCANCODE_KP_6] = DIK_NUMPAD6;
        dik[SDL_SCANCODE_KP_7] = DIK_NUMPAD7;
        dik[SDL_SCANCODE_KP_8] = DIK_NUMPAD8;
        dik[SDL_SCANCODE_KP_9] = DIK_NUMPAD9;
        dik[SDL_SCANCODE_KP_0] = DIK_NUMPAD0;
        dik[SDL_SCANCODE_KP_PERIOD] = DIK_DECIMAL;
        dik[SDL_SCANCODE_KP_EQUALS] = DIK_NUMPADEQUALS;
        dik[SDL_SCANCODE_KP_COMMA] = DIK_NUMPADCOMMA;

        dik[SDL_SCANCODE_NONUSBACKSLASH] = DIK_OEM_102;
        dik[SDL_SCANCODE_APPLICATION] = DIK_APPS;
        dik[SDL_SCANCODE_POWER] = DIK_POWER;
        dik[SDL_SCANCODE_STOP] = DIK_STOP;
        dik[SDL_SCANCODE_MUTE] = DIK_MUTE;
        dik[SDL_SCANCODE_VOLUMEUP] = DIK_VOLUMEUP;
        dik[SDL_SCANCODE_VOLUMEDOWN] = DIK_VOLUMEDOWN;

        // Japanese and Brazilian keys.
        dik[SDL_SCANCODE_INTERNATIONAL1] = DIK_ABNT_C1; // Ro
        dik[SDL_SCANCODE_INTERNATIONAL2] = DIK_KANA;    // Katakana/Hiragana
        dik[SDL_SCANCODE_INTERNATIONAL3] = DIK_YEN;
        dik[SDL_SCANCODE_INTERNATIONAL4] = DIK_CONVERT;   // Henkan
        dik[SDL_SCANCODE_INTERNATIONAL5] = DIK_NOCONVERT; // Muhenkan
        dik[SDL_SCANCODE_LANG5] = DIK_KANJI;              // Zenkaku/Hankaku

        dik[SDL_SCANCODE_LCTRL] = DIK_LCONTROL;
        dik[SDL_SCANCODE_LSHIFT] = DIK_LSHIFT;
        dik[SDL_SCANCODE_LALT] = DIK_LMENU;
        dik[SDL_SCANCODE_LGUI] = DIK_LWIN;
        dik[SDL_SCANCODE_RCTRL] = DIK_RCONTROL;
        dik[SDL_SCANCODE_RSHIFT] = DIK_RSHIFT;
        dik[SDL_SCANCODE_RALT] = DIK_RMENU;
        dik[SDL_SCANCODE_RGUI] = DIK_RWIN;

        dik[SDL_SCANCODE_AUDIONEXT] = DIK_NEXTTRACK;
        dik[SDL_SCANCODE_AUDIOPREV] = DIK_PREVTRACK;
        dik[SDL_SCANCODE_AUDIOSTOP] = DIK_MEDIASTOP;
        dik[SDL_SCANCODE_AUDIOPLAY] = DIK_PLAYPAUSE;
        dik[SDL_SCANCODE_AUDIOMUTE] = DIK_MUTE;
        dik[SDL_SCANCODE_MEDIASELECT] = DIK_MEDIASELECT;
        dik[SDL_SCANCODE_MAIL] = DIK_MAIL;
        dik[SDL_SCANCODE_CALCULATOR] = DIK_CALCULATOR;
        dik[SDL_SCANCODE_COMPUTER] = DIK_MYCOMPUTER;
        dik[SDL_SCANCODE_AC_SEARCH] = DIK_WEBSEARCH;
        dik[SDL_SCANCODE_AC_HOME] = DIK_WEBHOME;
        dik[SDL_SCANCODE_AC_BACK] = DIK_WEBBACK;
        dik[SDL_SCANCODE_AC_FORWARD] = DIK_WEBFORWARD;
        dik[SDL_SCANCODE_AC_STOP] = DIK_WEBSTOP;
        dik[SDL_SCANCODE_AC_REFRESH] = DIK_WEBREFRESH;
        dik[SDL_SCANCODE_AC_BOOKMARKS] = DIK_WEBFAVORITES;
        dik[SDL_SCANCODE_SLEEP] = DIK_SLEEP;
    }
};

constexpr ScancodeTable kScancodeTable;

IKeyboard* g_keyboard = nullptr;

} // namespace

std::uint8_t ScancodeToDik(int sdlScancode) {
    if (sdlScancode < 0 || sdlScancode >= SDL_NUM_SCANCODES) return 0;
    return kScancodeTable.dik[sdlScancode];
}

HRESULT HeadlessKeyboard::Acquire() {
    ++m_acquireCalls;
    if (!m_focused) return DIERR_OTHERAPPHASPRIO;
    m_acquired = true;
    m_lost = false;
    return DI_OK;
}

HRESULT HeadlessKeyboard::Unacquire() {
    if (!m_acquired) return DI_NOEFFECT;
    m_acquired = false;
    return DI_OK;
}

HRESULT HeadlessKeyboard::Poll() { return m_acquired ? DI_OK : DIERR_NOTACQUIRED; }

HRESULT HeadlessKeyboard::GetDeviceState(DWORD size, void* data) {
    if (!data || size != KeyboardStateSize) return DIERR_INVALIDPARAM;
    if (!m_acquired) {
        std::memset(data, 0, KeyboardStateSize);
        return m_lost ? DIERR_INPUTLOST : DIERR_NOTACQUIRED;
    }
    std::memcpy(data, m_state.data(), KeyboardStateSize);
    return DI_OK;
}

void HeadlessKeyboard::SetFocus(bool focused) {
    if (m_focused == focused) return;
    m_focused = focused;
    if (!focused) {
        m_state.fill(0);
        if (m_acquired) {
            m_acquired = false;
            m_lost = true;
        }
    }
}

void SdlKeyboard::OnSdlKey(int sdlScancode, bool down) {
    const std::uint8_t dik = ScancodeToDik(sdlScancode);
    if (dik != 0) SetKey(dik, down);
}

void SetKeyboard(IKeyboard* keyboard) { g_keyboard = keyboard; }
IKeyboard* GetKeyboard() { return g_keyboard; }

} // namespace Platform
