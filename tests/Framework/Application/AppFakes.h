#pragma once
// Recording fakes for the start-up registry: every factory and operation appends a line to one
// journal, and the fake tasks note each update.

#include <string>
#include <vector>

#include "Framework/PApplication.h"
#include "Framework/PGlobalTimer.h"
#include "Framework/PSettings.h"
#include "Framework/PTaskKernel.h"
#include "Framework/StartupRegistry.h"
#include "Platform/System/NumberText.h"
#include "Platform/Window/Messages.h"

namespace apptest {

using Journal = std::vector<std::string>;

class FakeTask : public IPTask {
public:
    FakeTask(std::string name, Journal& journal, bool refuse = false)
        : m_name(std::move(name)), m_journal(journal), m_refuse(refuse) {}
    int GetSize() const override { return static_cast<int>(sizeof(FakeTask)); }
    std::string GetClassName() const override { return "FakeTask-" + m_name; }
    int GetKind() const override { return 99; }
    bool Start() override {
        if (m_refuse) return false;
        return IPTask::Start();
    }
    void Update() override {
        m_journal.push_back("update " + m_name);
        if (onUpdate) onUpdate();
    }
    std::function<void()> onUpdate;

private:
    std::string m_name;
    Journal& m_journal;
    bool m_refuse;
};

// Fills every place of the registry with a recorder. The window is a fake handle.
inline void FillWithFakes(SPStartupRegistry& r, Journal& j) {
    auto create = [&j](const char* name) { return [&j, name] { j.push_back(std::string("create ") + name); }; };
    r.createScriptManager = create("scriptManager");
    r.createEffectManager = create("effectManager");
    r.createAnimationLibrary = create("animationLibrary");
    r.createAudio = create("audio");
    r.createAnimationCache = create("animationCache");
    r.createGameData = create("gameData");
    r.loadScriptList = [&j] { j.push_back("load scriptList"); };
    r.loadStrings = [&j] { j.push_back("load strings"); };
    r.createMusicTask = [&j] {
        j.push_back("create music");
        return CPSmartPtr<IPTask>(new FakeTask("music", j));
    };
    r.audio.init = [&j](Platform::HWND) { j.push_back("audio init"); };
    r.audio.setListenerPosition = [&j](const SPListenerVector& p, const SPListenerVector& v) {
        j.push_back(Platform::FormatC("listener position %g,%g,%g velocity %g,%g,%g", p.x, p.y, p.z, v.x, v.y, v.z));
    };
    r.audio.setListenerOrientation = [&j](const SPListenerVector& top, const SPListenerVector& front) {
        j.push_back(
            Platform::FormatC("listener top %g,%g,%g front %g,%g,%g", top.x, top.y, top.z, front.x, front.y, front.z));
    };
    r.audio.setListenerFactors = [&j](float d, float r2, float dop) {
        j.push_back(Platform::FormatC("listener factors %g %g %g", d, r2, dop));
    };
    r.audio.releaseSounds = [&j] { j.push_back("audio releaseSounds"); };
    r.renderer.create = [&j] {
        j.push_back("create renderer");
        return CPSmartPtr<IPTask>(new FakeTask("renderer", j));
    };
    r.renderer.exists = [] { return true; };
    r.renderer.drawLoadingScreen = [&j](int p) { j.push_back("loading " + std::to_string(p)); };
    r.renderer.resetDevice = [&j] { j.push_back("renderer resetDevice"); };
    r.getScript = [&j](const std::string& name) {
        j.push_back("getScript " + name);
        return CPSmartPtr<IPTask>(new FakeTask(name, j));
    };
    r.createParticleManager = [&j] {
        j.push_back("create particles");
        return CPSmartPtr<IPTask>(new FakeTask("particles", j));
    };
    r.createInputTask = [&j] {
        j.push_back("create input");
        return CPSmartPtr<IPTask>(new FakeTask("input", j));
    };
    r.createAITask = [&j] {
        j.push_back("create ai");
        return CPSmartPtr<IPTask>(new FakeTask("ai", j));
    };
    r.createPhysicsTask = [&j] {
        j.push_back("create physics");
        return CPSmartPtr<IPTask>(new FakeTask("physics", j));
    };
    r.createShotManager = [&j] {
        j.push_back("create shots");
        return CPSmartPtr<IPTask>(new FakeTask("shots", j));
    };
    r.createFontManager = create("fontManager");
    r.loadFonts = [&j] { j.push_back("load fonts"); };
    r.saveActions = [&j] {
        j.push_back("save actions");
        return true;
    };
    r.window.create = [&j](const std::string& title, int w, int h, bool windowed, std::string&) {
        j.push_back(Platform::FormatC("window \"%s\" %dx%d %s", title.c_str(), w, h, windowed ? "windowed" : "full"));
        return reinterpret_cast<Platform::HWND>(0x1);
    };
    r.window.clientSize = [](Platform::HWND, int& w, int& h) {
        w = g_screenWidth;
        h = g_screenHeight;
    };
    r.window.cursorPosition = [](float& x, float& y) { x = y = 0; };
    r.window.showCursor = [&j](bool show) {
        j.push_back(show ? "show cursor" : "hide cursor");
        return 0;
    };
    r.showLauncher = [&j](CPLauncherModel& model) {
        j.push_back("launcher");
        return model.Command(kLauncherPlay);
    };
    r.listDisplayModes = [] { return std::vector<std::pair<int, int>>{{800, 600}, {1024, 768}}; };
    r.openAddress = [&j](const std::string& address) {
        j.push_back("open " + address);
        return true;
    };
}

// Deletes what a run made and restores the process-wide values.
inline void CleanUpAfterRun() {
    delete CPTaskKernel::GetInstance();
    delete CPSettings::GetInstance();
    for (int i = 0; i < 3; ++i) IPMMObject::CollectGarbage();
    Platform::SetMessageSource(nullptr);
    Platform::SetWindowProcedure(nullptr);
    ResetStartupRegistry();
    ResetSettingsToDefaults();
    g_applicationActive = true;
    g_appClosing = false;
    g_exitAddress.clear();
    g_launcherAddress.clear();
    g_timeScale = 1.0f;
}

} // namespace apptest
