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
#include "Platform/System/AtomicFile.h"
#include "Platform/System/Shell.h"

#include <cstdio>
#include <vector>

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

// The handles of the tasks start-up makes. The kernel holds the tasks as well; these handles go
// when the run ends, in the order the tasks were made.
struct CPApplication::StartupTasks {
    CPSmartPtr<IPTask> music;
    CPSmartPtr<IPTask> renderer;
    CPSmartPtr<IPTask> timer;
    CPSmartPtr<IPTask> mainScript;
    CPSmartPtr<IPTask> particles;
    CPSmartPtr<IPTask> input;
    CPSmartPtr<IPTask> drivers;
    CPSmartPtr<IPTask> physics;
    CPSmartPtr<IPTask> shots;

    void Release() {
        music = nullptr;
        renderer = nullptr;
        timer = nullptr;
        mainScript = nullptr;
        particles = nullptr;
        input = nullptr;
        drivers = nullptr;
        physics = nullptr;
        shots = nullptr;
    }
};

int CPApplication::Run(void* instance, int showCommand) {
    CPSettings& settings = CreateSettingsAndKernel();
    CPTaskKernel& kernel = *CPTaskKernel::GetInstance();

    const int launch = ChooseLaunch(instance);
    if (launch == kLauncherUnavailable) return EndRun(kExitStartupFailed);
    if (launch != kLauncherPlay && launch != kLauncherPlayWindowed) return EndRun(kExitNormal);

    CreateEngineSingletons();
    ReadStartupTexts();

    Platform::HWND window = nullptr;
    if (!OpenGameWindow(instance, showCommand, window)) return EndRun(kExitStartupFailed);

    StartupTasks tasks;
    StartMusicAndAudio(kernel, window, tasks);
    kernel.SetMainWindow(window);
    kernel.SetInstanceHandle(instance);
    if (!StartRenderer(kernel, tasks)) return EndRun(kExitStartupFailed);
    StartTimerScriptAndParticles(kernel, tasks);

    const int status = RunMainLoop(kernel, tasks);
    SaveBindingsAndSettings(settings);
    tasks.Release();
    return EndRun(status);
}

CPSettings& CPApplication::CreateSettingsAndKernel() {
    // Both are made once per process: a second run in the same process finds them.
    CPSettings* settings = CPSettings::GetInstance();
    if (!settings) settings = new CPSettings();
    if (!CPTaskKernel::GetInstance()) new CPTaskKernel();
    std::string settingsError;
    if (!settings->Load("config.cfg", &settingsError))
        std::fprintf(stderr, "Korvaxa: \"config.cfg\" cannot be read (%s); the settings keep their defaults.\n",
                     settingsError.c_str());
    return *settings;
}

int CPApplication::ChooseLaunch(void* instance) {
    g_launcherAddress = kBuiltInLauncherAddress;
    if (m_commandLine.Bypass()) return ApplyLauncherBypass(m_commandLine);
    EnumerateDisplayModes(instance);
    CPLauncherModel launcher;
    launcher.Init();
    const SPStartupRegistry& registry = GetStartupRegistry();
    if (registry.showLauncher) return registry.showLauncher(launcher);
    std::fprintf(stderr, "Korvaxa: the launcher cannot be shown here; start with --play to skip it.\n");
    return kLauncherUnavailable;
}

int CPApplication::EndRun(int status) {
    ShowCursor(true);
    return status;
}

void CPApplication::CreateEngineSingletons() {
    const SPStartupRegistry& registry = GetStartupRegistry();
    ComputeInterfaceScale(g_screenWidth, g_screenHeight);
    MountPacks();
    CPLog::Instance();
    // The singletons, always in this order.
    Create(registry.createScriptManager, "the script manager");
    Create(registry.createEffectManager, "the effect manager");
    Create(registry.createAnimationLibrary, "the animation library");
    Create(registry.createAudio, "the audio manager");
    Create(registry.createAnimationCache, "the animation cache");
    Create(registry.createGameData, "the game data");
}

void CPApplication::ReadStartupTexts() {
    const SPStartupRegistry& registry = GetStartupRegistry();
    ReadLinksFile();
    Create(registry.loadScriptList, "the script list");
    Create(registry.loadStrings, "the text table");
}

bool CPApplication::OpenGameWindow(void* instance, int showCommand, Platform::HWND& window) {
    // Nothing is written when the window cannot be opened.
    if (CreateMainWindow(instance, showCommand, &window, g_fullScreen == 0, g_screenWidth, g_screenHeight, kTitle) !=
        S_OK)
        return false;
    ShowCursor(false);
    return true;
}

void CPApplication::StartMusicAndAudio(CPTaskKernel& kernel, Platform::HWND window, StartupTasks& tasks) {
    tasks.music = CreateTask(GetStartupRegistry().createMusicTask, "the music task");
    AddTask(kernel, tasks.music, 12, "music task");
    SetUpAudio(window);
}

bool CPApplication::StartRenderer(CPTaskKernel& kernel, StartupTasks& tasks) {
    const SPStartupRegistry::Renderer& renderer = GetStartupRegistry().renderer;
    if (renderer.create) {
        tasks.renderer = renderer.create();
        if (tasks.renderer) tasks.renderer->SetPriority(10000);
        // A refused renderer ends start-up with nothing written.
        if (!kernel.AddTask(tasks.renderer)) {
            std::fprintf(stderr, "Korvaxa: the renderer could not start; the game cannot run.\n");
            return false;
        }
    } else {
        Skipped("the renderer");
    }
    LoadingScreen(5);
    return true;
}

void CPApplication::StartTimerScriptAndParticles(CPTaskKernel& kernel, StartupTasks& tasks) {
    const SPStartupRegistry& registry = GetStartupRegistry();
    tasks.timer = new CPGlobalTimer();
    AddTask(kernel, tasks.timer, 10, "global timer");
    LoadingScreen(10);

    // A missing script "main" is an empty handle, which the kernel would refuse.
    if (registry.getScript) tasks.mainScript = registry.getScript("main");
    if (tasks.mainScript)
        AddTask(kernel, tasks.mainScript, 20, "script \"main\"");
    else
        CPLog::Instance().Print(0, "Application: there is no script \"main\"");
    LoadingScreen(15);

    tasks.particles = CreateTask(registry.createParticleManager, "the particle manager");
    AddTask(kernel, tasks.particles, 9000, "particle manager");
    LoadingScreen(20);
}

int CPApplication::RunMainLoop(CPTaskKernel& kernel, StartupTasks& tasks) {
    const SPStartupRegistry& registry = GetStartupRegistry();
    tasks.input = CreateTask(registry.createInputTask, "the input task");
    if (tasks.input) tasks.input->SetPriority(12);
    // The race world's two tasks are made here but added only when a level starts.
    tasks.drivers = CreateTask(registry.createAITask, "the computer-driver task");
    tasks.physics = CreateTask(registry.createPhysicsTask, "the physics task");
    tasks.shots = CreateTask(registry.createShotManager, "the shot manager");
    AddTask(kernel, tasks.shots, 550, "shot manager");
    if (!kernel.AddTask(tasks.input)) {
        std::fprintf(stderr,
                     "Korvaxa: the input task could not start: the key bindings file \"Actions.cfg\" is missing "
                     "or unreadable (or there is no keyboard); the game cannot run.\n");
        return kExitStartupFailed;
    }
    LoadingScreen(25);
    Create(registry.createFontManager, "the font manager");
    if (registry.createFontManager) Create(registry.loadFonts, "the font loader");
    LoadingScreen(30);
    kernel.Execute();

    // The sounds go before the one collection that frees what the run left.
    if (registry.audio.releaseSounds) registry.audio.releaseSounds();
    IPMMObject::CollectGarbage();
    return kExitNormal;
}

void CPApplication::SaveBindingsAndSettings(CPSettings& settings) {
    const SPStartupRegistry& registry = GetStartupRegistry();
    if (registry.saveActions) registry.saveActions();
    // A failed write is reported with its reason when the process ends.
    settings.Save("config.cfg");
}

void RemoveInterruptedWrites() {
    Platform::RemoveStaleTemporaries("", {"config.cfg", "Actions.cfg", "korvaxa.log"});
    Platform::RemoveStaleTemporaries("Data", {"scores.dat"});
}

int RunProcess(const SPCommandLine& commandLine) {
    RemoveInterruptedWrites();
    Platform::ClearFailedGameWrites();
    auto* application = new CPApplication();
    application->SetCommandLine(commandLine);
    int status = application->Run(nullptr, 1);
    g_appClosing = true;
    delete application;

    const std::vector<Platform::FailedGameWrite> failed = Platform::FailedGameWrites();
    for (const Platform::FailedGameWrite& f : failed)
        CPLog::Instance().Print(0, "Application: \"%s\" could not be saved: %s", f.path.c_str(), f.reason.c_str());
    if (!failed.empty() && status == kExitNormal) status = kExitSaveFailed;

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
