#pragma once
// The keyboard as the input task reads it: a device that is acquired, polled and read as a
// 256-byte state indexed by DirectInput scan code (bit 7 set = key down). Key bindings are
// stored in files by scan code, so the DIK_ values are the real DirectInput codes.
//
// Two devices: the SDL2 keyboard, fed with key and focus events by the SDL2 message source,
// and a headless keyboard whose state tests set by hand.

#include <array>
#include <cstdint>

#include "Platform/Base/ResultCodes.h"
#include "Platform/Base/WinTypes.h"

constexpr DWORD KeyboardStateSize = 256;
using KeyboardState = std::array<std::uint8_t, KeyboardStateSize>;

// DirectInput keyboard scan codes.
constexpr std::uint8_t DIK_ESCAPE = 0x01;
constexpr std::uint8_t DIK_1 = 0x02;
constexpr std::uint8_t DIK_2 = 0x03;
constexpr std::uint8_t DIK_3 = 0x04;
constexpr std::uint8_t DIK_4 = 0x05;
constexpr std::uint8_t DIK_5 = 0x06;
constexpr std::uint8_t DIK_6 = 0x07;
constexpr std::uint8_t DIK_7 = 0x08;
constexpr std::uint8_t DIK_8 = 0x09;
constexpr std::uint8_t DIK_9 = 0x0A;
constexpr std::uint8_t DIK_0 = 0x0B;
constexpr std::uint8_t DIK_MINUS = 0x0C;
constexpr std::uint8_t DIK_EQUALS = 0x0D;
constexpr std::uint8_t DIK_BACK = 0x0E;
constexpr std::uint8_t DIK_TAB = 0x0F;
constexpr std::uint8_t DIK_Q = 0x10;
constexpr std::uint8_t DIK_W = 0x11;
constexpr std::uint8_t DIK_E = 0x12;
constexpr std::uint8_t DIK_R = 0x13;
constexpr std::uint8_t DIK_T = 0x14;
constexpr std::uint8_t DIK_Y = 0x15;
constexpr std::uint8_t DIK_U = 0x16;
constexpr std::uint8_t DIK_I = 0x17;
constexpr std::uint8_t DIK_O = 0x18;
constexpr std::uint8_t DIK_P = 0x19;
constexpr std::uint8_t DIK_LBRACKET = 0x1A;
constexpr std::uint8_t DIK_RBRACKET = 0x1B;
constexpr std::uint8_t DIK_RETURN = 0x1C;
constexpr std::uint8_t DIK_LCONTROL = 0x1D;
constexpr std::uint8_t DIK_A = 0x1E;
constexpr std::uint8_t DIK_S = 0x1F;
constexpr std::uint8_t DIK_D = 0x20;
constexpr std::uint8_t DIK_F = 0x21;
constexpr std::uint8_t DIK_G = 0x22;
constexpr std::uint8_t DIK_H = 0x23;
constexpr std::uint8_t DIK_J = 0x24;
constexpr std::uint8_t DIK_K = 0x25;
constexpr std::uint8_t DIK_L = 0x26;
constexpr std::uint8_t DIK_SEMICOLON = 0x27;
constexpr std::uint8_t DIK_APOSTROPHE = 0x28;
constexpr std::uint8_t DIK_GRAVE = 0x29;
constexpr std::uint8_t DIK_LSHIFT = 0x2A;
constexpr std::uint8_t DIK_BACKSLASH = 0x2B;
constexpr std::uint8_t DIK_Z = 0x2C;
constexpr std::uint8_t DIK_X = 0x2D;
constexpr std::uint8_t DIK_C = 0x2E;
constexpr std::uint8_t DIK_V = 0x2F;
constexpr std::uint8_t DIK_B = 0x30;
constexpr std::uint8_t DIK_N = 0x31;
constexpr std::uint8_t DIK_M = 0x32;
constexpr std::uint8_t DIK_COMMA = 0x33;
constexpr std::uint8_t DIK_PERIOD = 0x34;
constexpr std::uint8_t DIK_SLASH = 0x35;
constexpr std::uint8_t DIK_RSHIFT = 0x36;
constexpr std::uint8_t DIK_MULTIPLY = 0x37;
constexpr std::uint8_t DIK_LMENU = 0x38;
constexpr std::uint8_t DIK_SPACE = 0x39;
constexpr std::uint8_t DIK_CAPITAL = 0x3A;
constexpr std::uint8_t DIK_F1 = 0x3B;
constexpr std::uint8_t DIK_F2 = 0x3C;
constexpr std::uint8_t DIK_F3 = 0x3D;
constexpr std::uint8_t DIK_F4 = 0x3E;
constexpr std::uint8_t DIK_F5 = 0x3F;
constexpr std::uint8_t DIK_F6 = 0x40;
constexpr std::uint8_t DIK_F7 = 0x41;
constexpr std::uint8_t DIK_F8 = 0x42;
constexpr std::uint8_t DIK_F9 = 0x43;
constexpr std::uint8_t DIK_F10 = 0x44;
constexpr std::uint8_t DIK_NUMLOCK = 0x45;
constexpr std::uint8_t DIK_SCROLL = 0x46;
constexpr std::uint8_t DIK_NUMPAD7 = 0x47;
constexpr std::uint8_t DIK_NUMPAD8 = 0x48;
constexpr std::uint8_t DIK_NUMPAD9 = 0x49;
constexpr std::uint8_t DIK_SUBTRACT = 0x4A;
constexpr std::uint8_t DIK_NUMPAD4 = 0x4B;
constexpr std::uint8_t DIK_NUMPAD5 = 0x4C;
constexpr std::uint8_t DIK_NUMPAD6 = 0x4D;
constexpr std::uint8_t DIK_ADD = 0x4E;
constexpr std::uint8_t DIK_NUMPAD1 = 0x4F;
constexpr std::uint8_t DIK_NUMPAD2 = 0x50;
constexpr std::uint8_t DIK_NUMPAD3 = 0x51;
constexpr std::uint8_t DIK_NUMPAD0 = 0x52;
constexpr std::uint8_t DIK_DECIMAL = 0x53;
constexpr std::uint8_t DIK_OEM_102 = 0x56;
constexpr std::uint8_t DIK_F11 = 0x57;
constexpr std::uint8_t DIK_F12 = 0x58;
constexpr std::uint8_t DIK_F13 = 0x64;
constexpr std::uint8_t DIK_F14 = 0x65;
constexpr std::uint8_t DIK_F15 = 0x66;
constexpr std::uint8_t DIK_KANA = 0x70;
constexpr std::uint8_t DIK_ABNT_C1 = 0x73;
constexpr std::uint8_t DIK_CONVERT = 0x79;
constexpr std::uint8_t DIK_NOCONVERT = 0x7B;
constexpr std::uint8_t DIK_YEN = 0x7D;
constexpr std::uint8_t DIK_ABNT_C2 = 0x7E;
constexpr std::uint8_t DIK_NUMPADEQUALS = 0x8D;
constexpr std::uint8_t DIK_PREVTRACK = 0x90;
constexpr std::uint8_t DIK_AT = 0x91;
constexpr std::uint8_t DIK_COLON = 0x92;
constexpr std::uint8_t DIK_UNDERLINE = 0x93;
constexpr std::uint8_t DIK_KANJI = 0x94;
constexpr std::uint8_t DIK_STOP = 0x95;
constexpr std::uint8_t DIK_AX = 0x96;
constexpr std::uint8_t DIK_UNLABELED = 0x97;
constexpr std::uint8_t DIK_NEXTTRACK = 0x99;
constexpr std::uint8_t DIK_NUMPADENTER = 0x9C;
constexpr std::uint8_t DIK_RCONTROL = 0x9D;
constexpr std::uint8_t DIK_MUTE = 0xA0;
constexpr std::uint8_t DIK_CALCULATOR = 0xA1;
constexpr std::uint8_t DIK_PLAYPAUSE = 0xA2;
constexpr std::uint8_t DIK_MEDIASTOP = 0xA4;
constexpr std::uint8_t DIK_VOLUMEDOWN = 0xAE;
constexpr std::uint8_t DIK_VOLUMEUP = 0xB0;
constexpr std::uint8_t DIK_WEBHOME = 0xB2;
constexpr std::uint8_t DIK_NUMPADCOMMA = 0xB3;
constexpr std::uint8_t DIK_DIVIDE = 0xB5;
constexpr std::uint8_t DIK_SYSRQ = 0xB7;
constexpr std::uint8_t DIK_RMENU = 0xB8;
constexpr std::uint8_t DIK_PAUSE = 0xC5;
constexpr std::uint8_t DIK_HOME = 0xC7;
constexpr std::uint8_t DIK_UP = 0xC8;
constexpr std::uint8_t DIK_PRIOR = 0xC9;
constexpr std::uint8_t DIK_LEFT = 0xCB;
constexpr std::uint8_t DIK_RIGHT = 0xCD;
constexpr std::uint8_t DIK_END = 0xCF;
constexpr std::uint8_t DIK_DOWN = 0xD0;
constexpr std::uint8_t DIK_NEXT = 0xD1;
constexpr std::uint8_t DIK_INSERT = 0xD2;
constexpr std::uint8_t DIK_DELETE = 0xD3;
constexpr std::uint8_t DIK_LWIN = 0xDB;
constexpr std::uint8_t DIK_RWIN = 0xDC;
constexpr std::uint8_t DIK_APPS = 0xDD;
constexpr std::uint8_t DIK_POWER = 0xDE;
constexpr std::uint8_t DIK_SLEEP = 0xDF;
constexpr std::uint8_t DIK_WAKE = 0xE3;
constexpr std::uint8_t DIK_WEBSEARCH = 0xE5;
constexpr std::uint8_t DIK_WEBFAVORITES = 0xE6;
constexpr std::uint8_t DIK_WEBREFRESH = 0xE7;
constexpr std::uint8_t DIK_WEBSTOP = 0xE8;
constexpr std::uint8_t DIK_WEBFORWARD = 0xE9;
constexpr std::uint8_t DIK_WEBBACK = 0xEA;
constexpr std::uint8_t DIK_MYCOMPUTER = 0xEB;
constexpr std::uint8_t DIK_MAIL = 0xEC;
constexpr std::uint8_t DIK_MEDIASELECT = 0xED;

// Alternative names of the same codes.
constexpr std::uint8_t DIK_BACKSPACE = DIK_BACK;
constexpr std::uint8_t DIK_NUMPADSTAR = DIK_MULTIPLY;
constexpr std::uint8_t DIK_LALT = DIK_LMENU;
constexpr std::uint8_t DIK_CAPSLOCK = DIK_CAPITAL;
constexpr std::uint8_t DIK_NUMPADMINUS = DIK_SUBTRACT;
constexpr std::uint8_t DIK_NUMPADPLUS = DIK_ADD;
constexpr std::uint8_t DIK_NUMPADPERIOD = DIK_DECIMAL;
constexpr std::uint8_t DIK_NUMPADSLASH = DIK_DIVIDE;
constexpr std::uint8_t DIK_RALT = DIK_RMENU;
constexpr std::uint8_t DIK_UPARROW = DIK_UP;
constexpr std::uint8_t DIK_PGUP = DIK_PRIOR;
constexpr std::uint8_t DIK_LEFTARROW = DIK_LEFT;
constexpr std::uint8_t DIK_RIGHTARROW = DIK_RIGHT;
constexpr std::uint8_t DIK_DOWNARROW = DIK_DOWN;
constexpr std::uint8_t DIK_PGDN = DIK_NEXT;
constexpr std::uint8_t DIK_CIRCUMFLEX = DIK_PREVTRACK;

namespace Platform {

// A keyboard device in the DirectInput manner: acquire it, poll it, read its state.
class IKeyboard {
public:
    virtual ~IKeyboard() = default;
    // S_OK once acquired (also when it already was); DIERR_OTHERAPPHASPRIO while the game
    // window does not have the keyboard focus.
    virtual HRESULT Acquire() = 0;
    // Always succeeds; a later GetDeviceState answers DIERR_NOTACQUIRED until Acquire.
    virtual HRESULT Unacquire() = 0;
    // Nothing to poll for a keyboard: S_OK while acquired, DIERR_NOTACQUIRED otherwise.
    virtual HRESULT Poll() = 0;
    // Copies the 256-byte state (bit 7 = down) into data. size must be 256. When the device
    // is not acquired (or lost its focus since the last read) the answer is DIERR_INPUTLOST or
    // DIERR_NOTACQUIRED and data is filled with "no key down", so a key held while the focus
    // went away is never left stuck.
    virtual HRESULT GetDeviceState(DWORD size, void* data) = 0;
};

// Scan code for an SDL scancode (SDL_Scancode value); 0 when the key has no DirectInput code.
std::uint8_t ScancodeToDik(int sdlScancode);

// A keyboard whose state the owner sets: tests, and the base of the SDL2 keyboard.
class HeadlessKeyboard : public IKeyboard {
public:
    HRESULT Acquire() override;
    HRESULT Unacquire() override;
    HRESULT Poll() override;
    HRESULT GetDeviceState(DWORD size, void* data) override;

    void SetKey(std::uint8_t dik, bool down) { m_state[dik] = down ? 0x80 : 0x00; }
    void SetState(const KeyboardState& state) { m_state = state; }
    void ReleaseAll() { m_state.fill(0); }
    const KeyboardState& State() const { return m_state; }
    // Simulates the window losing (false) or regaining (true) the keyboard focus: losing it
    // releases every key and unacquires; Acquire fails until the focus comes back.
    void SetFocus(bool focused);
    bool HasFocus() const { return m_focused; }
    bool IsAcquired() const { return m_acquired; }
    int AcquireCalls() const { return m_acquireCalls; }

private:
    KeyboardState m_state{};
    bool m_focused = true;
    bool m_acquired = false;
    bool m_lost = false;
    int m_acquireCalls = 0;
};

// The keyboard of the SDL2 window. The SDL2 message source hands it every key event
// (scancodes mapped through ScancodeToDik) and every keyboard-focus change.
class SdlKeyboard : public HeadlessKeyboard {
public:
    void OnSdlKey(int sdlScancode, bool down);
};

// The keyboard the input task reads (not owned); null until the application installs one.
void SetKeyboard(IKeyboard* keyboard);
IKeyboard* GetKeyboard();

} // namespace Platform
