#pragma once
// How the application reaches the libraries above it. CPApplication lives in Framework, below
// the script host, the sound, the renderer, the scene, the race world and the game layer, yet
// it creates their singletons and tasks in a fixed order. Each of those libraries fills its
// places here at process start (main.cpp does it for every library that exists); a place left
// empty makes its start-up step create nothing, with a log line. Tests fill the places with
// recording fakes.

#include "Framework/PMMObject.h"
#include "Framework/PTaskKernel.h"
#include "Platform/Window/Messages.h"

#include <functional>
#include <string>
#include <utility>
#include <vector>

class CPLauncherModel;

// A point or direction of the 3D listener.
struct SPListenerVector {
    float x = 0, y = 0, z = 0;
};

struct SPStartupRegistry {
    using Create = std::function<void()>;
    using CreateTask = std::function<CPSmartPtr<IPTask>()>;

    // The engine's singletons, made in this order before the window opens. Each stores its
    // singleton in its own global.
    Create createScriptManager;
    Create createEffectManager;
    Create createAnimationLibrary;
    Create createAudio;
    Create createAnimationCache;
    Create createGameData;

    // Read before the window opens: the script list and the text table; results are not examined.
    Create loadScriptList;
    Create loadStrings;

    // The music task, the first task added once the window is open.
    CreateTask createMusicTask;

    // The audio manager is opened on the game window with the listener at the origin, and its
    // sounds are released once the main loop ends. Every operation is a no-op for an audio
    // manager that failed to exist.
    struct Audio {
        std::function<void(Platform::HWND window)> init;
        std::function<void(const SPListenerVector& position, const SPListenerVector& velocity)> setListenerPosition;
        std::function<void(const SPListenerVector& top, const SPListenerVector& front)> setListenerOrientation;
        std::function<void(float distance, float rolloff, float doppler)> setListenerFactors;
        // Empties the sound table, then stops every cached sound.
        std::function<void()> releaseSounds;
    } audio;

    // The renderer task, the loading screen drawn while start-up goes on, and the window
    // procedure's device reset. A renderer installs all four; without one, start-up logs that
    // no renderer exists and goes on.
    struct Renderer {
        CreateTask create;
        // Whether the renderer singleton exists now.
        std::function<bool()> exists;
        std::function<void(int progress)> drawLoadingScreen;
        std::function<void()> resetDevice;
    } renderer;

    // The script of that name from the script manager (an empty handle when none); start-up
    // asks for "main".
    std::function<CPSmartPtr<IPTask>(const std::string& name)> getScript;

    // The particle manager and the input task; the race world's two tasks, made at start-up but
    // added only when a level starts; the font manager and its fonts, made once the input task
    // runs.
    CreateTask createParticleManager;
    CreateTask createInputTask;
    CreateTask createAITask;
    CreateTask createPhysicsTask;
    // The shot manager, made after the physics task and added at once (priority 550): scripts
    // spawn shots outside a race as well.
    CreateTask createShotManager;
    Create createFontManager;
    Create loadFonts;

    // After the main loop: writes "Actions.cfg" from the input task's bindings; false when
    // nothing was written (no input task, bindings never read, or a failed write).
    std::function<bool()> saveActions;

    // What the window procedure needs of the input task and the interfaces.
    struct Input {
        std::function<bool()> mouseButtonDown;
        std::function<void(bool down)> setMouseButtonDown;
        std::function<void(int button, float x, float y)> broadcastMouseDown;
        std::function<void(int button, float x, float y)> broadcastMouseUp;
    } input;

    // The game window (the SDL2 window by default, see InstallPlatformWindow).
    struct Window {
        // The window handle, or null with the reason in error.
        std::function<Platform::HWND(const std::string& title, int width, int height, bool windowed,
                                     std::string& error)>
            create;
        // The client area's real size in pixels.
        std::function<void(Platform::HWND window, int& width, int& height)> clientSize;
        // The pointer position in client-area pixels.
        std::function<void(float& x, float& y)> cursorPosition;
        // Win32-style display counter; answers the new counter.
        std::function<int(bool show)> showCursor;
    } window;

    // The launcher dialog (a GTK dialog in the game): runs modally over the launcher model and
    // answers 1000, 1002 or 1003, or kLauncherUnavailable when it cannot be shown (no display);
    // start-up then ends with nothing written, as does a registry without a launcher.
    std::function<int(CPLauncherModel& model)> showLauncher;
    // The display modes of the first display, as (width, height) pairs in any order.
    std::function<std::vector<std::pair<int, int>>()> listDisplayModes;

    // Opens a web address (the exit page).
    std::function<bool(const std::string& address)> openAddress;
};

// The registry the application reads (one per process).
SPStartupRegistry& GetStartupRegistry();
// Empties every place (tests).
void ResetStartupRegistry();
