#pragma once
// The window-message queue the main loop pumps, one message per pass, with the message codes
// the engine's window procedure understands. A message source (SDL2 for the real window, a
// scripted queue for tests) fills the queue; DispatchMessageA hands a message to the window
// procedure the application registered.

#include <cstdint>
#include <deque>

#include "Platform/Base/WinTypes.h"

namespace Platform {

using ::HWND;
using ::UINT;
using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;
using WNDPROC = LRESULT (*)(HWND, UINT, WPARAM, LPARAM);

struct MSG {
    HWND hwnd = nullptr;
    UINT message = 0;
    WPARAM wParam = 0;
    LPARAM lParam = 0;
};

constexpr UINT WM_DESTROY = 0x0002;
constexpr UINT WM_SIZE = 0x0005;
constexpr UINT WM_ACTIVATE = 0x0006;
constexpr UINT WM_CLOSE = 0x0010;
constexpr UINT WM_QUIT = 0x0012;
constexpr UINT WM_SETCURSOR = 0x0020;
constexpr UINT WM_CHAR = 0x0102;
constexpr UINT WM_MOUSEMOVE = 0x0200;
constexpr UINT WM_LBUTTONDOWN = 0x0201;
constexpr UINT WM_LBUTTONUP = 0x0202;
constexpr UINT WM_MOUSEWHEEL = 0x020A;

constexpr WPARAM SIZE_RESTORED = 0;
constexpr WPARAM SIZE_MINIMIZED = 1;
constexpr WPARAM SIZE_MAXIMIZED = 2;
constexpr WPARAM SIZE_MAXHIDE = 4;
constexpr WPARAM WA_INACTIVE = 0;
constexpr WPARAM WA_ACTIVE = 1;
constexpr WPARAM WA_CLICKACTIVE = 2;

// Packs client coordinates into an lParam as the mouse messages carry them.
constexpr LPARAM MakeLParam(int x, int y) {
    return static_cast<LPARAM>((static_cast<std::uint32_t>(y & 0xFFFF) << 16) | static_cast<std::uint32_t>(x & 0xFFFF));
}
constexpr int LParamX(LPARAM l) { return static_cast<std::int16_t>(l & 0xFFFF); }
constexpr int LParamY(LPARAM l) { return static_cast<std::int16_t>((l >> 16) & 0xFFFF); }

// Where window messages come from.
class IMessageSource {
public:
    virtual ~IMessageSource() = default;
    // Takes at most one message, with removal; false when none is waiting.
    virtual bool PeekMessage(MSG& out) = 0;
    // The pointer position relative to the window rectangle's top-left corner, in pixels.
    virtual void GetCursorPosition(float& x, float& y) = 0;
    // Whether a request to close the game waits here, looked at without taking or handling any
    // message: asked while a script runs, when the main loop cannot take messages.
    virtual bool QuitPending() { return false; }
};

// A queue that tests (and the SDL2 source, through Post) fill by hand.
class ScriptedMessageSource : public IMessageSource {
public:
    void Post(UINT message, WPARAM wParam = 0, LPARAM lParam = 0, HWND hwnd = nullptr) {
        m_queue.push_back(MSG{hwnd, message, wParam, lParam});
    }
    void SetCursor(float x, float y) {
        m_cursorX = x;
        m_cursorY = y;
    }
    bool PeekMessage(MSG& out) override {
        if (m_queue.empty()) return false;
        out = m_queue.front();
        m_queue.pop_front();
        return true;
    }
    void GetCursorPosition(float& x, float& y) override {
        x = m_cursorX;
        y = m_cursorY;
    }
    bool QuitPending() override {
        for (const MSG& m : m_queue)
            if (m.message == WM_CLOSE || m.message == WM_DESTROY || m.message == WM_QUIT) return true;
        return false;
    }
    std::size_t Pending() const { return m_queue.size(); }

private:
    std::deque<MSG> m_queue;
    float m_cursorX = 0, m_cursorY = 0;
};

// The installed source (not owned); without one, no message ever arrives.
void SetMessageSource(IMessageSource* source);
IMessageSource* GetMessageSource();

// The Win32-shaped calls the main loop and the window procedure use.
bool PeekMessageA(MSG* msg);           // one message with removal; a posted quit comes first
void TranslateMessage(const MSG* msg); // nothing to translate: characters arrive as WM_CHAR
LRESULT DispatchMessageA(const MSG* msg);
void PostQuitMessage(int exitCode);
void SetWindowProcedure(WNDPROC proc);
void GetCursorClientPosition(float& x, float& y);

// Quit requests from outside the window. The handlers of SIGTERM and SIGINT only note the
// request; the next PeekMessageA answers it with WM_QUIT, so the game ends the way closing the
// window ends it, writing its files. A second signal while the first still waits ends the
// process at once, as the signal would without a handler. Installed before the window system
// starts, so that it leaves the two signals to these handlers.
void InstallQuitSignalHandlers();
// Puts back the handlers that were there before.
void RemoveQuitSignalHandlers();
// A quit signal arrived (cheap: one flag).
bool QuitSignalled();
// Forgets a noted signal (tests).
void ClearQuitSignal();
// Whether the game was asked to quit by any path: a signal, a quit message posted and not yet
// taken, or a close request waiting at the message source (which may look at the window
// system's queue, so this costs more than QuitSignalled).
bool QuitPending();

} // namespace Platform
