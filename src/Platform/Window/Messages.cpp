#include "Platform/Window/Messages.h"

#include <atomic>
#include <csignal>

namespace Platform {

namespace {
IMessageSource* g_source = nullptr;
WNDPROC g_windowProc = nullptr;
bool g_quitPosted = false;
int g_quitCode = 0;

// Written by the signal handler, which may run on any thread (the sound library's, say): a
// lock-free atomic is safe there. The rest of the quit state is the main thread's.
std::atomic<int> g_quitSignal{0};
static_assert(std::atomic<int>::is_always_lock_free);
bool g_quitSignalTaken = false;
bool g_handlersInstalled = false;
struct sigaction g_oldTerm {};
struct sigaction g_oldInt {};

extern "C" void OnQuitSignal(int signal) {
    if (g_quitSignal.exchange(1) != 0) {
        // Asked twice: the process ends as the signal would end it, without waiting for the game.
        std::signal(signal, SIG_DFL);
        std::raise(signal);
    }
}
} // namespace

void SetMessageSource(IMessageSource* source) {
    g_source = source;
    g_quitPosted = false;
}

IMessageSource* GetMessageSource() { return g_source; }

bool PeekMessageA(MSG* msg) {
    if (!msg) return false;
    if (!g_quitSignalTaken && g_quitSignal.load() != 0) {
        g_quitSignalTaken = true;
        *msg = MSG{nullptr, WM_QUIT, 0, 0};
        return true;
    }
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

void InstallQuitSignalHandlers() {
    if (g_handlersInstalled) return;
    struct sigaction action {};
    action.sa_handler = OnQuitSignal;
    sigemptyset(&action.sa_mask);
    // Interrupted reads and waits resume; the main loop sees the flag on its next pass.
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGTERM, &action, &g_oldTerm);
    ::sigaction(SIGINT, &action, &g_oldInt);
    g_handlersInstalled = true;
}

void RemoveQuitSignalHandlers() {
    if (!g_handlersInstalled) return;
    ::sigaction(SIGTERM, &g_oldTerm, nullptr);
    ::sigaction(SIGINT, &g_oldInt, nullptr);
    g_handlersInstalled = false;
}

bool QuitSignalled() { return g_quitSignal.load() != 0; }

void ClearQuitSignal() {
    g_quitSignal.store(0);
    g_quitSignalTaken = false;
}

bool QuitPending() { return g_quitSignal.load() != 0 || g_quitPosted || (g_source && g_source->QuitPending()); }

} // namespace Platform
