#include "Platform/Window/Messages.h"

namespace Platform {

namespace {
IMessageSource* g_source = nullptr;
WNDPROC g_windowProc = nullptr;
bool g_quitPosted = false;
int g_quitCode = 0;
} // namespace

void SetMessageSource(IMessageSource* source) {
    g_source = source;
    g_quitPosted = false;
}

IMessageSource* GetMessageSource() { return g_source; }

bool PeekMessageA(MSG* msg) {
    if (!msg) return false;
    if (g_quitPosted) {
        g_quitPosted = false;
        *msg = MSG{nullptr, WM_QUIT, static_cast<WPARAM>(g_quitCode), 0};
        return true;
    }
    return g_source && g_source->PeekMessage(*msg);
}

void TranslateMessage(const MSG*) {}

LRESULT DispatchMessageA(const MSG* msg) {
    if (!msg || !g_windowProc || msg->message == WM_QUIT) return 0;
    return g_windowProc(msg->hwnd, msg->message, msg->wParam, msg->lParam);
}

void PostQuitMessage(int exitCode) {
    g_quitPosted = true;
    g_quitCode = exitCode;
}

void SetWindowProcedure(WNDPROC proc) { g_windowProc = proc; }

void GetCursorClientPosition(float& x, float& y) {
    x = y = 0;
    if (g_source) g_source->GetCursorPosition(x, y);
}

} // namespace Platform
