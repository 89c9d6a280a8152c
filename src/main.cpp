// Process entry: reads the launcher bypass from the command line, fills the start-up registry
// from the libraries this program is made of, and runs the application.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "DynamicSky/SkyStartup.h"
#include "Framework/Launcher.h"
#include "Framework/MainWindow.h"
#include "Framework/PApplication.h"
#include "Framework/PLog.h"
#include "Framework/StartupRegistry.h"
#include "Framework/TestSwitches.h"
#include "Game/GameStartup.h"
#include "Game/ScriptApi.h"
#include "Game/ScriptEngineServices.h"
#include "GameData/PGameData.h"
#include "Input/InterfaceBroadcasts.h"
#include "Input/NInput.h"
#include "LauncherDialogAdapter.h"
#include "Platform/Dialogs/LauncherDialog.h"
#include "Platform/Graphics/D3D9.h"
#include "Platform/System/FileTrace.h"
#include "Platform/System/Shell.h"
#include "Platform/Window/Messages.h"
#include "Render/FrameCapture.h"
#include "Render/PEffectManager.h"
#include "Render/RenderStartup.h"
#include "Scene/AnimationStartup.h"
#include "Scene/ParticleStartup.h"
#include "Script/PScriptManager.h"
#include "Sound/NAudio.h"
#include "Sound/PMusic.h"
#include "World/RaceWorldStartup.h"

namespace {

D3DVECTOR ToVector(const SPListenerVector& v) { return D3DVECTOR{v.x, v.y, v.z}; }

void FillRegistry(SPStartupRegistry& r) {
    InstallPlatformWindow(r);

    r.createScriptManager = [] {
        // Every script state registers the engine's functions; fill the tables before any loads.
        ScriptApi::InstallScriptApi();
        new CPScriptManager();
    };
    r.createEffectManager = [] { new CPEffectManager(); };
    r.createAudio = [] { new CNAudio(); };
    r.createGameData = [] { new CPGameData(); };
    r.loadScriptList = [] {
        if (CPScriptManager* scripts = GetScriptManager()) scripts->LoadScriptList();
    };
    r.loadStrings = [] {
        if (CPGameData* data = CPGameData::GetInstance()) data->LoadStrings();
    };
    r.getScript = [](const std::string& name) -> CPSmartPtr<IPTask> {
        CPScriptManager* scripts = GetScriptManager();
        return scripts ? CPSmartPtr<IPTask>(scripts->GetScript(name)) : CPSmartPtr<IPTask>();
    };

    r.createMusicTask = [] { return CPSmartPtr<IPTask>(new CPMusic()); };
    r.audio.init = [](Platform::HWND window) {
        if (CNAudio* audio = CNAudio::GetInstance()) audio->Init(window);
    };
    r.audio.setListenerPosition = [](const SPListenerVector& position, const SPListenerVector& velocity) {
        if (CNAudio* audio = CNAudio::GetInstance()) audio->SetListenerPosition(ToVector(position), ToVector(velocity));
    };
    r.audio.setListenerOrientation = [](const SPListenerVector& top, const SPListenerVector& front) {
        if (CNAudio* audio = CNAudio::GetInstance()) audio->SetListenerOrientation(ToVector(top), ToVector(front));
    };
    r.audio.setListenerFactors = [](float distance, float rolloff, float doppler) {
        if (CNAudio* audio = CNAudio::GetInstance()) audio->SetListenerFactors(distance, rolloff, doppler);
    };
    r.audio.releaseSounds = [] {
        if (CNAudio* audio = CNAudio::GetInstance()) audio->ReleaseSounds();
    };

    r.createInputTask = [] {
        auto* input = new CNInput();
        // The pointer as the window procedure keeps it (back-buffer pixels).
        input->SetCursorSource([](float& x, float& y) {
            x = g_cursorX;
            y = g_cursorY;
        });
        return CPSmartPtr<IPTask>(input);
    };
    r.saveActions = [] {
        CNInput* input = CNInput::GetInstance();
        return input && input->SaveActions("Actions.cfg");
    };
    r.input.mouseButtonDown = [] {
        CNInput* input = CNInput::GetInstance();
        return input && input->mouseButtonDown;
    };
    r.input.setMouseButtonDown = [](bool down) {
        if (CNInput* input = CNInput::GetInstance()) input->mouseButtonDown = down;
    };
    r.input.broadcastMouseDown = [](int button, float x, float y) {
        if (IPInterfaceBroadcasts* b = GetInterfaceBroadcasts()) b->BroadcastMouseDown(button, x, y);
    };
    r.input.broadcastMouseUp = [](int button, float x, float y) {
        if (IPInterfaceBroadcasts* b = GetInterfaceBroadcasts()) b->BroadcastMouseUp(button, x, y);
    };

    r.showLauncher = [](CPLauncherModel& model) {
        std::string error;
        if (!Platform::Dialogs::InitDialogs(&error)) {
            std::fprintf(stderr, "Korvaxa: the launcher cannot be shown: %s. Start with --play to skip it.\n",
                         error.c_str());
            return kLauncherUnavailable;
        }
        return ShowLauncherDialog(model);
    };
    InstallRenderer(r);
    InstallAnimationLibrary(r);
    InstallAnimationCache(r);
    InstallDynamicSky();
    InstallRaceWorld(r);
    InstallParticleManager(r);
    InstallGameLayer(r);
    r.openAddress = [](const std::string& address) { return Platform::ShellOpen(address); };
}

} // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) args.emplace_back(argv[i]);
    SPCommandLine commandLine;
    std::string error;
    if (!ParseCommandLine(args, commandLine, error)) {
        std::fprintf(stderr, "korvaxa: %s\nusage: korvaxa [--play [WIDTHxHEIGHT]] [--windowed]\n", error.c_str());
        return kExitBadCommandLine;
    }
    // SIGTERM and SIGINT become a quit the main loop and a running script's guard both see; taken
    // before the window system starts, which then leaves the two signals alone.
    Platform::InstallQuitSignalHandlers();
    // The game draws through OpenGL; the Recording device is only for tests.
    SetDirect3DBackend(D3DBackend::OpenGL);
    FillRegistry(GetStartupRegistry());
    // Every refusal the engine logs (a script error, a refused pack, texture or sound, a file
    // it could not save) reaches the player: on standard error, and in the game root's log.
    CPLog::Instance().OpenProcessLog("korvaxa.log");
    // The switches of test runs; the trace first, so it holds what the other two report.
    ApplyFileTraceSwitch(std::getenv(kFileTraceSwitch));
    ApplyFixedStepSwitch(std::getenv(kFixedStepSwitch));
    ApplyCaptureSwitch(std::getenv(kCaptureSwitch));
    const int status = RunProcess(commandLine);
    CPLog::Instance().CloseProcessLog();
    Platform::CloseFileTrace();
    // The audio manager lives for the whole process; its sounds are gone by now, and closing
    // the device here spares the sound library's complaint about a device left open.
    if (CNAudio* audio = CNAudio::GetInstance()) audio->Release();
    return status;
}
