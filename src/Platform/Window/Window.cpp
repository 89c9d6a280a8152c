#include "Platform/Window/Window.h"

#include <SDL.h>

#include <algorithm>

#include "Platform/Base/LeakCheck.h"

namespace Platform {

namespace {
int g_cursorCounter = 0;
} // namespace

bool InitVideo(std::string* error) {
    if (SDL_WasInit(SDL_INIT_VIDEO)) return true;
    ScopedDriverAllocations driver;
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
        if (error) *error = SDL_GetError();
        return false;
    }
    return true;
}

std::vector<DisplayMode> ListDisplayModes() {
    std::vector<DisplayMode> modes;
    if (!InitVideo()) return modes;
    const int count = SDL_GetNumDisplayModes(0);
    for (int i = 0; i < count; ++i) {
        SDL_DisplayMode m;
        if (SDL_GetDisplayMode(0, i, &m) != 0 || m.w <= 0 || m.h <= 0) continue;
        modes.push_back(DisplayMode{m.w, m.h, m.refresh_rate});
    }
    return modes;
}

HWND CreateGameWindow(const char* title, int width, int height, bool windowed, bool hidden, std::string* error) {
    if (width <= 0 || height <= 0) {
        if (error) *error = "invalid window size";
        return nullptr;
    }
    if (!InitVideo(error)) return nullptr;
    ScopedDriverAllocations driver;
    Uint32 flags = SDL_WINDOW_OPENGL;
    flags |= hidden ? SDL_WINDOW_HIDDEN : SDL_WINDOW_SHOWN;
    if (!windowed) flags |= SDL_WINDOW_FULLSCREEN;
    SDL_Window* window =
        SDL_CreateWindow(title ? title : "", SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, width, height, flags);
    if (!window) {
        if (error) *error = SDL_GetError();
        return nullptr;
    }
    if (!windowed) {
        // Full screen at the configured size: the closest mode the display offers.
        SDL_DisplayMode wanted{SDL_PIXELFORMAT_UNKNOWN, width, height, 0, nullptr}, closest;
        if (SDL_GetClosestDisplayMode(0, &wanted, &closest)) SDL_SetWindowDisplayMode(window, &closest);
    }
    return window;
}

void DestroyGameWindow(HWND window) {
    if (!window) return;
    ScopedDriverAllocations driver;
    SDL_DestroyWindow(static_cast<SDL_Window*>(window));
}

void GetClientSize(HWND window, int& width, int& height) {
    width = height = 0;
    if (window) SDL_GetWindowSize(static_cast<SDL_Window*>(window), &width, &height);
}

int ShowCursor(BOOL show) {
    g_cursorCounter += show ? 1 : -1;
    if (SDL_WasInit(SDL_INIT_VIDEO)) SDL_ShowCursor(g_cursorCounter >= 0 ? SDL_ENABLE : SDL_DISABLE);
    return g_cursorCounter;
}

int UnicodeToCp1251(char32_t c) {
    if (c < 0x80) return static_cast<int>(c);
    if (c >= 0x410 && c <= 0x44F) return static_cast<int>(c - 0x410 + 0xC0);
    static constexpr char32_t kHigh[64] = {
        0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021, 0x20AC, 0x2030, 0x0409, 0x2039, 0x040A,
        0x040C, 0x040B, 0x040F, 0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, 0,      0x2122,
        0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F, 0x00A0, 0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6,
        0x00A7, 0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407, 0x00B0, 0x00B1, 0x0406, 0x0456,
        0x0491, 0x00B5, 0x00B6, 0x00B7, 0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457};
    for (int i = 0; i < 64; ++i)
        if (kHigh[i] == c) return 0x80 + i;
    return -1;
}

std::string Utf8ToCp1251(const std::string& utf8) {
    std::string out;
    std::size_t i = 0;
    const std::size_t n = utf8.size();
    while (i < n) {
        const auto b = static_cast<unsigned char>(utf8[i]);
        char32_t c;
        std::size_t len;
        if (b < 0x80) {
            c = b;
            len = 1;
        } else if ((b & 0xE0) == 0xC0) {
            c = b & 0x1F;
            len = 2;
        } else if ((b & 0xF0) == 0xE0) {
            c = b & 0x0F;
            len = 3;
        } else if ((b & 0xF8) == 0xF0) {
            c = b & 0x07;
            len = 4;
        } else {
            ++i;
            continue;
        } // stray continuation or invalid lead byte
        if (i + len > n) break;
        bool valid = true;
        for (std::size_t k = 1; k < len; ++k) {
            const auto cb = static_cast<unsigned char>(utf8[i + k]);
            if ((cb & 0xC0) != 0x80) {
                valid = false;
                break;
            }
            c = (c << 6) | (cb & 0x3F);
        }
        if (!valid) {
            ++i;
            continue;
        }
        i += len;
        const int byte = UnicodeToCp1251(c);
        if (byte >= 0) out.push_back(static_cast<char>(byte));
    }
    return out;
}

SdlMessageSource::SdlMessageSource(HWND window, SdlKeyboard* keyboard) : m_window(window), m_keyboard(keyboard) {
    if (window) m_windowId = SDL_GetWindowID(static_cast<SDL_Window*>(window));
}

SdlMessageSource::~SdlMessageSource() {
    if (GetMessageSource() == this) SetMessageSource(nullptr);
}

bool SdlMessageSource::QuitPending() {
    if (m_closePosted) return true;
    if (!SDL_WasInit(SDL_INIT_VIDEO)) return false;
    SDL_PumpEvents();
    if (SDL_PeepEvents(nullptr, 0, SDL_PEEKEVENT, SDL_QUIT, SDL_QUIT) > 0) return true;
    SDL_Event events[64];
    const int count = SDL_PeepEvents(events, 64, SDL_PEEKEVENT, SDL_WINDOWEVENT, SDL_WINDOWEVENT);
    for (int i = 0; i < count; ++i) {
        const SDL_WindowEvent& w = events[i].window;
        if (w.event == SDL_WINDOWEVENT_CLOSE && (!m_windowId || w.windowID == m_windowId)) return true;
    }
    return false;
}

void SdlMessageSource::Post(UINT message, WPARAM wParam, LPARAM lParam) {
    m_queue.push_back(MSG{m_window, message, wParam, lParam});
}

void SdlMessageSource::PostMouseMove() {
    const LPARAM pos = MakeLParam(m_cursorX, m_cursorY);
    for (MSG& m : m_queue) {
        if (m.message == WM_MOUSEMOVE) {
            m.lParam = pos;
            return;
        }
    }
    Post(WM_MOUSEMOVE, 0, pos);
}

void SdlMessageSource::Pump() {
    if (!SDL_WasInit(SDL_INIT_VIDEO)) return;
    SDL_Event e;
    while (SDL_PollEvent(&e)) {
        switch (e.type) {
        case SDL_QUIT:
            if (!m_closePosted) Post(WM_CLOSE, 0, 0);
            m_closePosted = true;
            break;
        case SDL_WINDOWEVENT:
            if (m_windowId && e.window.windowID != m_windowId) break;
            switch (e.window.event) {
            case SDL_WINDOWEVENT_CLOSE:
                if (!m_closePosted) Post(WM_CLOSE, 0, 0);
                m_closePosted = true;
                break;
            case SDL_WINDOWEVENT_MINIMIZED: Post(WM_SIZE, SIZE_MINIMIZED, 0); break;
            case SDL_WINDOWEVENT_MAXIMIZED:
            case SDL_WINDOWEVENT_RESTORED: {
                int w = 0, h = 0;
                GetClientSize(m_window, w, h);
                Post(WM_SIZE, e.window.event == SDL_WINDOWEVENT_MAXIMIZED ? SIZE_MAXIMIZED : SIZE_RESTORED,
                     MakeLParam(w, h));
                break;
            }
            case SDL_WINDOWEVENT_FOCUS_GAINED:
                if (m_keyboard) m_keyboard->SetFocus(true);
                Post(WM_ACTIVATE, WA_ACTIVE, 0);
                break;
            case SDL_WINDOWEVENT_FOCUS_LOST:
                if (m_keyboard) m_keyboard->SetFocus(false);
                Post(WM_ACTIVATE, WA_INACTIVE, 0);
                break;
            default: break;
            }
            break;
        case SDL_KEYDOWN:
        case SDL_KEYUP: {
            if (m_windowId && e.key.windowID && e.key.windowID != m_windowId) break;
            const bool down = e.type == SDL_KEYDOWN;
            if (m_keyboard) m_keyboard->OnSdlKey(e.key.keysym.scancode, down);
            if (down) {
                // Control characters that text input does not deliver.
                switch (e.key.keysym.sym) {
                case SDLK_RETURN:
                case SDLK_KP_ENTER: Post(WM_CHAR, 13, 0); break;
                case SDLK_BACKSPACE: Post(WM_CHAR, 8, 0); break;
                case SDLK_TAB: Post(WM_CHAR, 9, 0); break;
                case SDLK_ESCAPE: Post(WM_CHAR, 27, 0); break;
                default: break;
                }
            }
            break;
        }
        case SDL_TEXTINPUT: {
            if (m_windowId && e.text.windowID && e.text.windowID != m_windowId) break;
            for (char c : Utf8ToCp1251(e.text.text)) Post(WM_CHAR, static_cast<unsigned char>(c), 0);
            break;
        }
        case SDL_MOUSEMOTION:
            if (m_windowId && e.motion.windowID && e.motion.windowID != m_windowId) break;
            m_cursorX = e.motion.x;
            m_cursorY = e.motion.y;
            PostMouseMove();
            break;
        case SDL_MOUSEBUTTONDOWN:
        case SDL_MOUSEBUTTONUP:
            if (m_windowId && e.button.windowID && e.button.windowID != m_windowId) break;
            m_cursorX = e.button.x;
            m_cursorY = e.button.y;
            if (e.button.button == SDL_BUTTON_LEFT)
                Post(e.type == SDL_MOUSEBUTTONDOWN ? WM_LBUTTONDOWN : WM_LBUTTONUP,
                     e.type == SDL_MOUSEBUTTONDOWN ? MK_LBUTTON : 0, MakeLParam(m_cursorX, m_cursorY));
            break;
        default: break;
        }
    }
}

bool SdlMessageSource::PeekMessage(MSG& out) {
    Pump();
    if (m_queue.empty()) return false;
    out = m_queue.front();
    m_queue.pop_front();
    return true;
}

void SdlMessageSource::GetCursorPosition(float& x, float& y) {
    x = static_cast<float>(m_cursorX);
    y = static_cast<float>(m_cursorY);
}

} // namespace Platform
