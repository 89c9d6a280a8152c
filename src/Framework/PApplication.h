#pragma once
// The process: the application object, whose Run creates every engine singleton and start-up
// task in a fixed order, shows the launcher, opens the game window, runs the main loop and
// writes the settings and key bindings back; and the process-wide values start-up sets.

#include "Framework/Launcher.h"
#include "Platform/Window/Messages.h"

#include <string>

class CPSettings;
class CPTaskKernel;

// Set once CPApplication::Run has returned (late window messages then leave the kernel alone).
extern bool g_appClosing;
// The launcher and exit pages; "data\links.txt" may give them.
extern std::string g_launcherAddress;
extern std::string g_exitAddress;
// The 1024 x 768 design's scale and horizontal offset on this screen.
extern float g_interfaceScale;
extern float g_interfaceOffsetX;
// The pointer in back-buffer pixels, kept by the window procedure.
extern float g_cursorX;
extern float g_cursorY;
// The post effects' "fx" and "fy" values.
extern float g_effectFx;
extern float g_effectFy;

// We have no publisher pages: the built-in addresses are empty and open nothing.
extern const char* const kBuiltInLauncherAddress;
extern const char* const kBuiltInExitAddress;

// Process exit statuses.
constexpr int kExitNormal = 0;
constexpr int kExitStartupFailed = 1;
constexpr int kExitBadCommandLine = 2;
// The game ran, but a file it writes (settings, key bindings, scores, a save) could not be
// written; the log names each with its reason, and the old file is as it was.
constexpr int kExitSaveFailed = 3;

// Sets g_interfaceScale and g_interfaceOffsetX for a screen of that size.
void ComputeInterfaceScale(int width, int height);
// Reads "data\links.txt" into the two addresses ("http://" and the first token of a line).
void ReadLinksFile();

class CPApplication {
public:
    CPApplication();
    virtual ~CPApplication();
    CPApplication(const CPApplication&) = delete;
    CPApplication& operator=(const CPApplication&) = delete;

    static CPApplication* GetInstance() { return s_instance; }

    // The launcher bypass of the command line (none by default).
    void SetCommandLine(const SPCommandLine& commandLine) { m_commandLine = commandLine; }

    // Everything from the settings to the last file written. Answers the process's exit
    // status: 0 after the launcher was quit or a normal end, kExitStartupFailed when the window,
    // the renderer task or the input task could not be made (the reason is on stderr).
    int Run(void* instance, int showCommand);

private:
    struct StartupTasks;

    // Makes the settings and the task kernel (once per process) and reads config.cfg.
    static CPSettings& CreateSettingsAndKernel();
    // The launcher's answer, or the command line's when it bypasses the launcher.
    int ChooseLaunch(void* instance);
    // Shows the pointer again and answers the status: every way out of Run goes through here.
    static int EndRun(int status);
    // The interface scale, the packs, the log and the singletons of the libraries above.
    static void CreateEngineSingletons();
    // The links file, the script list and the text table.
    static void ReadStartupTexts();
    // False when the window cannot be opened; the pointer is hidden over an open one.
    static bool OpenGameWindow(void* instance, int showCommand, Platform::HWND& window);
    static void StartMusicAndAudio(CPTaskKernel& kernel, Platform::HWND window, StartupTasks& tasks);
    // False when the kernel refuses the renderer; a missing renderer only logs.
    static bool StartRenderer(CPTaskKernel& kernel, StartupTasks& tasks);
    // The global timer, the script "main" and the particles, the loading screen advancing after each.
    static void StartTimerScriptAndParticles(CPTaskKernel& kernel, StartupTasks& tasks);
    // Starts the input task, loads the fonts, runs the kernel until it quits, then releases the
    // sounds and collects. Answers kExitStartupFailed when the input task could not start.
    static int RunMainLoop(CPTaskKernel& kernel, StartupTasks& tasks);
    // Writes the key bindings, then the settings.
    static void SaveBindingsAndSettings(CPSettings& settings);

    static CPApplication* s_instance;
    SPCommandLine m_commandLine;
};

// Removes the temporaries an interrupted write of the game's own files left behind (a game
// killed while it saved), beside the files it writes.
void RemoveInterruptedWrites();

// The process entry after the command line is read: removes interrupted writes, runs the
// application, sets g_appClosing, deletes the application and opens the exit page. Answers
// the exit status: Run's, or kExitSaveFailed when a run that otherwise ended well could not
// write one of its files.
int RunProcess(const SPCommandLine& commandLine);
