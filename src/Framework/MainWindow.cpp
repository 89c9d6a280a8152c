#include "Framework/MainWindow.h"

#include "Framework/CommandRouter.h"
#include "Framework/PApplication.h"
#include "Framework/PGlobalTimer.h"
#include "Framework/PSettings.h"
#include "Framework/PTaskKernel.h"
#include "Platform/System/NumberText.h"
#include "Platform/Window/Keyboard.h"
#include "Platform/Window/Window.h"

#include <cstdio>
#include <memory>

namespace {

void SuspendTimer() {
    CPTaskKernel* kernel = CPTaskKernel::GetInstance();
    CPGlobalTimer* timer = CPGlobalTimer::GetInstance();
    if (kernel && timer) kernel->SuspendTask(CPSmartPtr<IPTask>(timer));
}

void ResumeTimer() {
    CPTaskKernel* kernel = CPTaskKernel::GetInstance();
    CPGlobalTimer* timer = CPGlobalTimer::GetInstance();
    if (kernel && timer) kernel->ResumeTask(CPSmartPtr<IPTask>(timer));
}

void ResetRendererDevice() {
    const SPStartupRegistry::Renderer& renderer = GetStartupRegistry().renderer;
    if (renderer.exists && renderer.exists() && renderer.resetDevice) renderer.resetDevice();
}

// The pointer in back-buffer pixels: the client position, scaled when the window's real size
// differs from the configured one (a full-screen mode the display could not give exactly).
void UpdateCursorGlobals(Platform::HWND window) {
    const SPStartupRegistry::Window& places = GetStartupRegistry().window;
    float x = 0, y = 0;
    if (places.cursorPosition) places.cursorPosition(x, y);
    int width = 0, height = 0;
    if (places.clientSize) places.clientSize(window, width, height);
    if (width > 0 && height > 0 && g_screenWidth > 0 && g_screenHeight > 0) {
        if (width != g_screenWidth) x = x * static_cast<float>(g_screenWidth) / static_cast<float>(width);
        if (height != g_screenHeight) y = y * static_cast<float>(g_screenHeight) / static_cast<float>(height);
    }
    g_cursorX = x;
    g_cursorY = y;
}

} // namespace

HRESULT CreateMainWindow(void*, int, Platform::HWND* window, bool windowed, int width, int height, const char* title) {
    const SPStartupRegistry::Window& places = GetStartupRegistry().window;
    if (!places.create) {
        std::fprintf(stderr, "Korvaxa: no window system is available to open the game window.\n");
        return E_FAIL;
    }
    std::string error;
    Platform::HWND handle = places.create(title ? title : "", width, height, windowed, error);
    if (!handle) {
        std::fprintf(stderr, "Korvaxa: the game window (%d x %d, %s) cannot be opened: %s\n", width, height,
                     windowed ? "windowed" : "full screen", error.empty() ? "unknown reason" : error.c_str());
        return E_FAIL;
    }
    Platform::SetWindowProcedure(MainWindowProc);
    if (window) *window = handle;
    return S_OK;
}

Platform::LRESULT MainWindowProc(Platform::HWND window, Platform::UINT message, Platform::WPARAM wParam,
                                 Platform::LPARAM) {
    const SPStartupRegistry& registry = GetStartupRegistry();
    switch (message) {
    case Platform::WM_CLOSE:
    case Platform::WM_DESTROY: Platform::PostQuitMessage(0); return 0;
    // No cursor over the game window.
    case Platform::WM_SETCURSOR: return 1;
    case Platform::WM_SIZE:
        if (wParam == Platform::SIZE_MINIMIZED || wParam == Platform::SIZE_MAXHIDE) {
            SuspendTimer();
            g_applicationActive = false;
        } else {
            ResetRendererDevice();
            ResumeTimer();
            g_applicationActive = true;
        }
        break;
    case Platform::WM_ACTIVATE:
        // In a window, switching to another application does not stop the game. In full screen
        // any activation (by click or otherwise) resumes it. The window's first activation comes
        // through the message queue after the loading screen, not during its creation: with
        // nothing suspended there is nothing to resume, and a reset would wipe the picture.
        if (!g_appClosing && g_fullScreen != 0) {
            if (wParam != Platform::WA_INACTIVE) {
                if (g_applicationActive) break;
                ResumeTimer();
                ResetRendererDevice();
                g_applicationActive = true;
            } else {
                SuspendTimer();
                g_applicationActive = false;
            }
        }
        break;
    case Platform::WM_CHAR:
        RouteCommandByCategory("interface", "key", Platform::FormatC("%u", static_cast<unsigned>(wParam)));
        break;
    case Platform::WM_LBUTTONDOWN:
        if (!(registry.input.mouseButtonDown && registry.input.mouseButtonDown())) {
            if (registry.input.broadcastMouseDown) registry.input.broadcastMouseDown(0, g_cursorX, g_cursorY);
            if (registry.input.setMouseButtonDown) registry.input.setMouseButtonDown(true);
        }
        break;
    case Platform::WM_LBUTTONUP:
        if (registry.input.mouseButtonDown && registry.input.mouseButtonDown()) {
            if (registry.input.broadcastMouseUp) registry.input.broadcastMouseUp(0, g_cursorX, g_cursorY);
            if (registry.input.setMouseButtonDown) registry.input.setMouseButtonDown(false);
        }
        break;
    default: break;
    }
    // What the default procedure would see: the pointer as it is now. The broadcasts above used
    // the position stored after the message before.
    UpdateCursorGlobals(window);
    return 0;
}

void InstallPlatformWindow(SPStartupRegistry& registry) {
    registry.window.create = [](const std::string& title, int width, int height, bool windowed,
                                std::string& error) -> Platform::HWND {
        // The keyboard and the message source live as long as the process.
        static std::unique_ptr<Platform::SdlKeyboard> keyboard;
        static std::unique_ptr<Platform::SdlMessageSource> source;
        Platform::HWND handle = Platform::CreateGameWindow(title.c_str(), width, height, windowed, false, &error);
        if (!handle) return nullptr;
        keyboard = std::make_unique<Platform::SdlKeyboard>();
        source = std::make_unique<Platform::SdlMessageSource>(handle, keyboard.get());
        Platform::SetKeyboard(keyboard.get());
        Platform::SetMessageSource(source.get());
        return handle;
    };
    registry.window.clientSize = [](Platform::HWND window, int& width, int& height) {
        Platform::GetClientSize(window, width, height);
    };
    registry.window.cursorPosition = [](float& x, float& y) { Platform::GetCursorClientPosition(x, y); };
    registry.window.showCursor = [](bool show) { return Platform::ShowCursor(show ? TRUE : FALSE); };
    registry.listDisplayModes = [] {
        std::vector<std::pair<int, int>> modes;
        for (const Platform::DisplayMode& m : Platform::ListDisplayModes()) modes.emplace_back(m.width, m.height);
        return modes;
    };
}
