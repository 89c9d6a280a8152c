#include "Framework/PApplication.h"

#include "Framework/MainWindow.h"
#include "Framework/PFileReader.h"
#include "Framework/PGlobalTimer.h"
#include "Framework/PLog.h"
#include "Framework/PSettings.h"
#include "Framework/PStringSplitter.h"
#include "Framework/PTaskKernel.h"
#include "Framework/PTextReader.h"
#include "Framework/PackFile.h"
#include "Framework/StartupRegistry.h"
#include "Platform/System/Shell.h"

#include <cstdio>

bool g_appClosing = false;
std::string g_launcherAddress;
std::string g_exitAddress;
float g_interfaceScale = 1.0f;
float g_interfaceOffsetX = 0.0f;
float g_cursorX = 0.0f;
float g_cursorY = 0.0f;
float g_effectFx = 0.5f;
float g_effectFy = 0.5f;

const char* const kBuiltInLauncherAddress = "";
const char* const kBuiltInExitAddress = "";

CPApplication* CPApplication::s_instance = nullptr;

namespace {

const char* const kTitle = "Korvaxa";

void Skipped(const char* what) {
    CPLog::Instance().Print(0, "Application: %s is not built; its start-up step creates nothing", what);
}

void Create(const SPStartupRegistry::Create& factory, const char* what) {
    if (factory)
        factory();
    else
        Skipped(what);
}

CPSmartPtr<IPTask> CreateTask(const SPStartupRegistry::CreateTask& factory, const char* what) {
    if (!factory) {
        Skipped(what);
        return nullptr;
    }
    return factory();
}

// Adds a task whose answer start-up does not examine.
void AddTask(CPTaskKernel& kernel, const CPSmartPtr<IPTask>& task, int priority, const char* what) {
    if (!task) return;
    task->SetPriority(priority);
    if (!kernel.AddTask(task)) CPLog::Instance().Print(0, "Application: the kernel refused the %s", what);
}

void LoadingScreen(int progress) {
    const SPStartupRegistry::Renderer& renderer = GetStartupRegistry().renderer;
    if (renderer.exists && renderer.exists() && renderer.drawLoadingScreen) renderer.drawLoadingScreen(progress);
}

void ShowCursor(bool show) {
    const SPStartupRegistry::Window& window = GetStartupRegistry().window;
    if (window.showCursor) window.showCursor(show);
}

void SetUpAudio(Platform::HWND window) {
    const SPStartupRegistry::Audio& audio = GetStartupRegistry().audio;
    if (!audio.init) {
        Skipped("the audio manager");
        return;
    }
    audio.init(window);
    if (audio.setListenerPosition) audio.setListenerPosition({0, 0, 0}, {0, 0, 0});
    if (audio.setListenerOrientation) audio.setListenerOrientation({0, 0, 1}, {0, -1, 0});
    if (audio.setListenerFactors) audio.setListenerFactors(1.0f, 0.2f, 0.1f);
}

std::string AddressFromLine(CPTextReader& reader) {
    std::string line;
    reader.ReadLine(line);
    CPStringSplitter splitter(line, " ", true);
    std::string token;
    splitter.NextToken(token);
    return "http://" + token;
}

// An address that names no page.
bool IsEmptyAddress(const std::string& address) { return address.empty() || address == "http://"; }

} // namespace

void ComputeInterfaceScale(int width, int height) {
    g_interfaceScale = static_cast<float>(height) * (1.0f / 768.0f);
    g_interfaceOffsetX = (static_cast<float>(width) - 1024.0f * g_interfaceScale) * 0.5f;
}

void ReadLinksFile() {
    CPFileReader file("data\\links.txt");
    file.Load();
    CPTextReader reader(file.GetData(), file.GetDataSize());
    const std::string launcher = AddressFromLine(reader);
    const std::string exitPage = AddressFromLine(reader);
    // The file's addresses override the built-in ones (which are empty).
    g_launcherAddress = IsEmptyAddress(launcher) ? std::string(kBuiltInLauncherAddress) : launcher;
    g_exitAddress = IsEmptyAddress(exitPage) ? std::string(kBuiltInExitAddress) : exitPage;
}

CPApplication::CPApplication() { s_instance = this; }

CPApplication::~CPApplication() {
    if (s_instance == this) s_instance = nullptr;
}

int CPApplication::Run(void* instance, int showCommand) {
    const SPStartupRegistry& registry = GetStartupRegistry();

    // 1-2: settings and kernel (made once per process), then config.cfg.
    CPSettings* settings = CPSettings::GetInstance();
    if (!settings) settings = new CPSettings();
    CPTaskKernel* kernel = CPTaskKernel::GetInstance();
    if (!kernel) kernel = new CPTaskKernel();
    std::string settingsError;
    if (!settings->Load("config.cfg", &settingsError))
        std::fprintf(stderr, "Korvaxa: \"config.cfg\" cannot be read (%s); the settings keep their defaults.\n",
                     settingsError.c_str());

    // 3-7: the launcher, or its bypass on the command line.
    g_launcherAddress = kBuiltInLauncherAddress;
    int result = kLauncherQuit;
    if (m_commandLine.Bypass()) {
        result = ApplyLauncherBypass(m_commandLine);
    } else {
        EnumerateDisplayModes(instance);
        CPLauncherModel launcher;
        launcher.Init();
        if (registry.showLauncher) {
            result = registry.showLauncher(launcher);
        } else {
            std::fprintf(stderr, "Korvaxa: the launcher cannot be shown here; start with --play to skip it.\n");
            result = kLauncherUnavailable;
        }
    }
    if (result == kLauncherUnavailable) {
        ShowCursor(true);
        return kExitStartupFailed;
    }
    if (result != kLauncherPlay && result != kLauncherPlayWindowed) {
        ShowCursor(true);
        return kExitNormal;
    }

    // 8-10.
    ComputeInterfaceScale(g_screenWidth, g_screenHeight);
    MountPacks();
    CPLog::Instance();

    // 11: the singletons, in this order.
    Create(registry.createScriptManager, "the script manager");
    Create(registry.createEffectManager, "the effect manager");
    Create(registry.createAnimationLibrary, "the animation library");
    Create(registry.createAudio, "the audio manager");
    Create(registry.createAnimationCache, "the animation cache");
    Create(registry.createGameData, "the game data");

    // 12-13.
    ReadLinksFile();
    Create(registry.loadScriptList, "the script list");
    Create(registry.loadStrings, "the text table");

    // 14-15: the game window; nothing is written when it cannot be opened.
    Platform::HWND window = nullptr;
    if (CreateMainWindow(instance, showCommand, &window, g_fullScreen == 0, g_screenWidth, g_screenHeight, kTitle) !=
        S_OK) {
        ShowCursor(true);
        return kExitStartupFailed;
    }
    ShowCursor(false);

    // 16-17: music and audio.
    CPSmartPtr<IPTask> music = CreateTask(registry.createMusicTask, "the music task");
    AddTask(*kernel, music, 12, "music task");
    SetUpAudio(window);

    // 18.
    kernel->SetMainWindow(window);
    kernel->SetInstanceHandle(instance);

    // 19-20: the renderer; a refused renderer ends start-up with nothing written.
    CPSmartPtr<IPTask> renderer;
    if (registry.renderer.create) {
        renderer = registry.renderer.create();
        if (renderer) renderer->SetPriority(10000);
        if (!kernel->AddTask(renderer)) {
            std::fprintf(stderr, "Korvaxa: the renderer could not start; the game cannot run.\n");
            ShowCursor(true);
            return kExitStartupFailed;
        }
    } else {
        Skipped("the renderer");
    }
    LoadingScreen(5);

    // 21: the timer.
    CPSmartPtr<IPTask> timer(new CPGlobalTimer());
    AddTask(*kernel, timer, 10, "global timer");
    LoadingScreen(10);

    // 22: the script "main" (a missing one is an empty handle, which the kernel refuses).
    CPSmartPtr<IPTask> mainScript;
    if (registry.getScript) mainScript = registry.getScript("main");
    if (mainScript)
        AddTask(*kernel, mainScript, 20, "script \"main\"");
    else
        CPLog::Instance().Print(0, "Application: there is no script \"main\"");
    LoadingScreen(15);

    // 23: particles.
    CPSmartPtr<IPTask> particles = CreateTask(registry.createParticleManager, "the particle manager");
    AddTask(*kernel, particles, 9000, "particle manager");
    LoadingScreen(20);

    // 24: input, then the race world's two tasks (added only when a level starts).
    CPSmartPtr<IPTask> input = CreateTask(registry.createInputTask, "the input task");
    if (input) input->SetPriority(12);
    CPSmartPtr<IPTask> driversTask = CreateTask(registry.createAITask, "the computer-driver task");
    CPSmartPtr<IPTask> physicsTask = CreateTask(registry.createPhysicsTask, "the physics task");
    int status = kExitNormal;
    if (kernel->AddTask(input)) {
        // 25-27.
        LoadingScreen(25);
        Create(registry.createFontManager, "the font manager");
        if (registry.createFontManager) Create(registry.loadFonts, "the font loader");
        LoadingScreen(30);
        kernel->Execute();

        // 28: sounds, then one collection.
        if (registry.audio.releaseSounds) registry.audio.releaseSounds();
        IPMMObject::CollectGarbage();
    } else {
        std::fprintf(stderr,
                     "Korvaxa: the input task could not start: the key bindings file \"Actions.cfg\" is missing "
                     "or unreadable (or there is no keyboard); the game cannot run.\n");
        status = kExitStartupFailed;
    }

    // 29-30: the key bindings, then the settings.
    if (registry.saveActions) registry.saveActions();
    if (settings->Save("config.cfg") != S_OK) std::fprintf(stderr, "Korvaxa: \"config.cfg\" could not be written.\n");

    // 31.
    music = nullptr;
    renderer = nullptr;
    timer = nullptr;
    mainScript = nullptr;
    particles = nullptr;
    input = nullptr;
    driversTask = nullptr;
    physicsTask = nullptr;
    ShowCursor(true);
    return status;
}

int RunProcess(const SPCommandLine& commandLine) {
    auto* application = new CPApplication();
    application->SetCommandLine(commandLine);
    const int status = application->Run(nullptr, 1);
    g_appClosing = true;
    delete application;

    // The exit page opens however the run ended.
    if (IsEmptyAddress(g_exitAddress)) g_exitAddress = kBuiltInExitAddress;
    if (!IsEmptyAddress(g_exitAddress)) {
        const SPStartupRegistry& registry = GetStartupRegistry();
        if (registry.openAddress)
            registry.openAddress(g_exitAddress);
        else
            Platform::ShellOpen(g_exitAddress);
    }
    return status;
}
