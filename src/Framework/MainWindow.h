#pragma once
// The game window and its procedure. The window itself is the platform's (SDL2, through the
// start-up registry's window places); the procedure is a function of the platform's window
// messages, one per pass of the main loop, so it runs on synthetic messages in tests.

#include "Framework/StartupRegistry.h"
#include "Platform/Base/WinTypes.h"
#include "Platform/Window/Messages.h"

// Opens the game window (client size width x height, centred, not resizable, full screen
// unless windowed) and makes MainWindowProc its procedure. 0, or E_FAIL with the reason on
// stderr.
HRESULT CreateMainWindow(void* instance, int showCommand, Platform::HWND* window, bool windowed, int width, int height,
                         const char* title);

Platform::LRESULT MainWindowProc(Platform::HWND window, Platform::UINT message, Platform::WPARAM wParam,
                                 Platform::LPARAM lParam);

// Fills the registry's window places with the SDL2 window: the window, its message source and
// keyboard, the client size, the pointer position and the cursor counter.
void InstallPlatformWindow(SPStartupRegistry& registry);
