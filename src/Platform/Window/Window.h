#pragma once
// The game window on SDL2: video start-up, display modes, windowed and full-screen windows,
// the cursor counter, and the message source that turns SDL events into window messages
// (one message per pass) while feeding the keyboard.

#include <deque>
#include <string>
#include <vector>

#include "Platform/Base/WinTypes.h"
#include "Platform/Window/Keyboard.h"
#include "Platform/Window/Messages.h"

namespace Platform {

struct DisplayMode {
    int width = 0, height = 0, refreshRate = 0;
};

// Starts SDL2's video subsystem once per process (the driver chosen by SDL, or by the
// SDL_VIDEODRIVER variable / hint). False with SDL's reason in error when there is no video.
bool InitVideo(std::string* error = nullptr);

// The modes of the primary display, as SDL lists them; empty without video.
std::vector<DisplayMode> ListDisplayModes();

// An OpenGL-capable window of the given client size, centred; full screen switches the
// display to the closest mode of that size. hidden keeps it off screen (tests). The handle
// is the SDL_Window*; null with the reason in error.
HWND CreateGameWindow(const char* title, int width, int height, bool windowed, bool hidden = false,
                      std::string* error = nullptr);
void DestroyGameWindow(HWND window);
void GetClientSize(HWND window, int& width, int& height);

// Win32-style display counter: the cursor shows while the counter is at least 0. Answers the
// new counter.
int ShowCursor(BOOL show);

// The code-page 1251 byte of a Unicode code point; -1 when the page has none.
int UnicodeToCp1251(char32_t codePoint);
// Every character of UTF-8 text that code page 1251 holds, in order (others are skipped).
std::string Utf8ToCp1251(const std::string& utf8);

constexpr WPARAM MK_LBUTTON = 0x0001;

// SDL2 events of one window as window messages. Key events update the keyboard at once;
// typed characters become WM_CHAR bytes (Enter 13, Backspace 8, Tab 9, Escape 27 included);
// mouse motion only moves the cursor, with at most one WM_MOUSEMOVE waiting in the queue.
class SdlMessageSource : public IMessageSource {
public:
    SdlMessageSource(HWND window, SdlKeyboard* keyboard);
    // No longer the installed source once gone.
    ~SdlMessageSource() override;
    bool PeekMessage(MSG& out) override;
    void GetCursorPosition(float& x, float& y) override;
    // A close already posted, or a quit or close event of this window in SDL's queue; SDL's
    // events are looked at, not taken, so the main loop still meets them later.
    bool QuitPending() override;
    std::size_t Pending() const { return m_queue.size(); }

    // Moves SDL's waiting events into the message queue (PeekMessage does this itself).
    void Pump();

private:
    void Post(UINT message, WPARAM wParam, LPARAM lParam);
    void PostMouseMove();

    HWND m_window;
    unsigned m_windowId = 0;
    SdlKeyboard* m_keyboard;
    std::deque<MSG> m_queue;
    int m_cursorX = 0, m_cursorY = 0;
    bool m_closePosted = false;
};

} // namespace Platform
