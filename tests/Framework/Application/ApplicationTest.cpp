// Start-up, the main loop and shut-down of CPApplication::Run with recording fakes in the
// start-up registry, and the ways out of a run with their exit statuses.
#include <gtest/gtest.h>

#include <algorithm>

#include "AppFakes.h"
#include "Framework/PLog.h"
#include "Framework/PStringSplitter.h"
#include "Platform/System/AtomicFile.h"
#include "support/TempDir.h"

namespace {

using apptest::FakeTask;
using apptest::Journal;

class ApplicationTest : public ::testing::Test {
protected:
    void SetUp() override {
        apptest::CleanUpAfterRun();
        apptest::FillWithFakes(GetStartupRegistry(), journal);
        // "main" ends the game on its second pass, so every task runs once first.
        GetStartupRegistry().getScript = [this](const std::string& name) {
            journal.push_back("getScript " + name);
            auto* task = new FakeTask(name, journal);
            task->onUpdate = [this] { OnMainUpdate(); };
            return CPSmartPtr<IPTask>(task);
        };
        CPLog::Instance().SetSink([this](int, const std::string& text) { logLines.push_back(text); });
    }
    void TearDown() override {
        CPLog::Instance().SetSink(nullptr);
        apptest::CleanUpAfterRun();
    }

    void OnMainUpdate() {
        if (++mainPasses == 1) {
            for (const auto& task : CPTaskKernel::GetInstance()->ActiveTasks())
                firstPassOrder.push_back(task->GetClassName() + "@" + std::to_string(task->GetPriority()));
        } else {
            CPTaskKernel::GetInstance()->KillAllTasks();
        }
    }

    int Run() {
        CPApplication application;
        return application.Run(nullptr, 1);
    }

    bool Logged(const std::string& part) const {
        return std::any_of(logLines.begin(), logLines.end(),
                           [&](const std::string& line) { return line.find(part) != std::string::npos; });
    }
    bool Journaled(const std::string& line) const {
        return std::find(journal.begin(), journal.end(), line) != journal.end();
    }

    kxtest::TempGameRoot root;
    Journal journal;
    std::vector<std::string> logLines;
    std::vector<std::string> firstPassOrder;
    int mainPasses = 0;
};

TEST_F(ApplicationTest, StartUpCreatesEverythingInOrderAndRunsTheLoop) {
    EXPECT_EQ(Run(), kExitNormal);
    const Journal expected = {
        "launcher",
        "create scriptManager",
        "create effectManager",
        "create animationLibrary",
        "create audio",
        "create animationCache",
        "create gameData",
        "load scriptList",
        "load strings",
        "window \"Korvaxa\" 800x600 windowed",
        "hide cursor",
        "create music",
        "audio init",
        "listener position 0,0,0 velocity 0,0,0",
        "listener top 0,0,1 front 0,-1,0",
        "listener factors 1 0.2 0.1",
        "create renderer",
        "loading 5",
        "loading 10",
        "getScript main",
        "loading 15",
        "create particles",
        "loading 20",
        "create input",
        "create ai",
        "create physics",
        "create shots",
        "loading 25",
        "create fontManager",
        "load fonts",
        "loading 30",
        // The first pass, then the second, in which "main" ends the game.
        "update music",
        "update input",
        "update main",
        "update shots",
        "update particles",
        "update renderer",
        "update music",
        "update input",
        "update main",
        "audio releaseSounds",
        "save actions",
        "show cursor",
    };
    EXPECT_EQ(journal, expected);
    EXPECT_EQ(firstPassOrder, (std::vector<std::string>{"CPGlobalTimer@10", "FakeTask-music@12", "FakeTask-input@12",
                                                        "FakeTask-main@20", "FakeTask-shots@550",
                                                        "FakeTask-particles@9000", "FakeTask-renderer@10000"}));
    EXPECT_TRUE(CPTaskKernel::GetInstance()->ActiveTasks().empty());
}

TEST_F(ApplicationTest, AnEmptyFactorySkipsItsStepWithALogLine) {
    SPStartupRegistry& r = GetStartupRegistry();
    r.createEffectManager = nullptr;
    r.createParticleManager = nullptr;
    r.createAITask = nullptr;
    r.renderer = SPStartupRegistry::Renderer();
    EXPECT_EQ(Run(), kExitNormal);
    EXPECT_FALSE(Journaled("create particles"));
    EXPECT_FALSE(Journaled("loading 5"));
    EXPECT_TRUE(Journaled("create physics"));
    EXPECT_TRUE(Logged("the effect manager is not built"));
    EXPECT_TRUE(Logged("the particle manager is not built"));
    EXPECT_TRUE(Logged("the renderer is not built"));
    EXPECT_TRUE(Logged("the computer-driver task is not built"));
    // The loop still ran and ended normally, writing both files.
    EXPECT_EQ(mainPasses, 2);
    EXPECT_TRUE(Journaled("save actions"));
    EXPECT_TRUE(root.Exists("config.cfg"));
}

TEST_F(ApplicationTest, NormalEndWritesConfigInTheRegistryOrder) {
    root.Write("config.cfg", "screenWidth = 1024\r\nscreenHeight = 768\r\nscreenBPP = 32\r\nfullScreen = 0\r\n");
    GetStartupRegistry().showLauncher = [](CPLauncherModel& model) { return model.Command(kLauncherPlay); };
    EXPECT_EQ(Run(), kExitNormal);
    ASSERT_TRUE(root.Exists("config.cfg"));
    const std::string text = root.Read("config.cfg");
    std::vector<std::string> writtenKeys;
    CPStringSplitter lines(text, "\r\n");
    std::string line;
    while (lines.NextToken(line))
        if (!line.empty()) writtenKeys.push_back(line.substr(0, line.find(" = ")));
    std::vector<std::string> registryKeys;
    for (const auto& entry : CPSettings::GetInstance()->Map()) registryKeys.push_back(entry.first);
    EXPECT_EQ(writtenKeys, registryKeys);
    EXPECT_EQ(writtenKeys.size(), 33u);
    EXPECT_NE(text.find("screenWidth = 1024\r\n"), std::string::npos);
    EXPECT_NE(text.find("screenBPP = 32\r\n"), std::string::npos);
    EXPECT_FLOAT_EQ(g_interfaceScale, 1.0f);
}

TEST_F(ApplicationTest, QuitOrCloseInTheLauncherWritesNothing) {
    for (bool close : {false, true}) {
        journal.clear();
        GetStartupRegistry().showLauncher = [this, close](CPLauncherModel& model) {
            journal.push_back("launcher");
            return close ? model.Close() : model.Command(kLauncherQuit);
        };
        EXPECT_EQ(Run(), kExitNormal);
        EXPECT_EQ(journal, (Journal{"launcher", "show cursor"}));
        EXPECT_FALSE(root.Exists("config.cfg"));
        EXPECT_FALSE(root.Exists("Actions.cfg"));
    }
}

TEST_F(ApplicationTest, LauncherThatCannotBeShownEndsStartUp) {
    GetStartupRegistry().showLauncher = [](CPLauncherModel&) { return kLauncherUnavailable; };
    EXPECT_EQ(Run(), kExitStartupFailed);
    EXPECT_EQ(journal, (Journal{"show cursor"}));
    EXPECT_FALSE(root.Exists("config.cfg"));
    GetStartupRegistry().showLauncher = nullptr;
    EXPECT_EQ(Run(), kExitStartupFailed);
    EXPECT_FALSE(root.Exists("config.cfg"));
}

TEST_F(ApplicationTest, RefusedRendererEndsStartUpWithNothingWritten) {
    GetStartupRegistry().renderer.create = [this] {
        journal.push_back("create renderer");
        return CPSmartPtr<IPTask>(new FakeTask("renderer", journal, true));
    };
    EXPECT_EQ(Run(), kExitStartupFailed);
    EXPECT_EQ(journal.back(), "show cursor");
    EXPECT_FALSE(Journaled("loading 5"));
    EXPECT_FALSE(Journaled("save actions"));
    EXPECT_FALSE(root.Exists("config.cfg"));
    EXPECT_EQ(mainPasses, 0);
}

TEST_F(ApplicationTest, RefusedInputSkipsTheLoopButWritesTheSettings) {
    GetStartupRegistry().createInputTask = [this] {
        journal.push_back("create input");
        return CPSmartPtr<IPTask>(new FakeTask("input", journal, true));
    };
    EXPECT_EQ(Run(), kExitStartupFailed);
    EXPECT_EQ(mainPasses, 0);
    EXPECT_FALSE(Journaled("loading 25"));
    EXPECT_FALSE(Journaled("create fontManager"));
    EXPECT_FALSE(Journaled("audio releaseSounds"));
    EXPECT_TRUE(Journaled("save actions"));
    EXPECT_EQ(journal.back(), "show cursor");
    EXPECT_TRUE(root.Exists("config.cfg"));
}

TEST_F(ApplicationTest, WindowThatCannotOpenEndsStartUpWithNothingWritten) {
    GetStartupRegistry().window.create = [](const std::string&, int, int, bool, std::string& error) {
        error = "no video device";
        return static_cast<Platform::HWND>(nullptr);
    };
    EXPECT_EQ(Run(), kExitStartupFailed);
    EXPECT_EQ(journal.back(), "show cursor");
    EXPECT_FALSE(Journaled("hide cursor"));
    EXPECT_FALSE(Journaled("create music"));
    EXPECT_FALSE(Journaled("save actions"));
    EXPECT_FALSE(root.Exists("config.cfg"));
}

TEST_F(ApplicationTest, CommandLineBypassSkipsTheLauncher) {
    CPApplication application;
    SPCommandLine line;
    line.play = true;
    line.width = 320;
    line.height = 240;
    line.windowed = true;
    g_fullScreen = 1;
    root.Write("config.cfg", "fullScreen = 1\r\n");
    application.SetCommandLine(line);
    EXPECT_EQ(application.Run(nullptr, 1), kExitNormal);
    EXPECT_FALSE(Journaled("launcher"));
    EXPECT_TRUE(Journaled("window \"Korvaxa\" 320x240 windowed"));
    EXPECT_NE(root.Read("config.cfg").find("fullScreen = 0\r\n"), std::string::npos);
}

TEST_F(ApplicationTest, ExitPageFromLinksOpensAfterTheRun) {
    root.Write("data/links.txt", "example.org/start\r\nexample.org/bye\r\n");
    EXPECT_EQ(RunProcess(SPCommandLine()), kExitNormal);
    EXPECT_TRUE(g_appClosing);
    EXPECT_EQ(journal.back(), "open http://example.org/bye");
    EXPECT_EQ(g_launcherAddress, "http://example.org/start");
}

TEST_F(ApplicationTest, NoExitPageWithoutAnAddress) {
    // Quitting the launcher: the links are never read, and the built-in address is empty.
    root.Write("data/links.txt", "example.org/start\r\nexample.org/bye\r\n");
    GetStartupRegistry().showLauncher = [](CPLauncherModel& model) { return model.Command(kLauncherQuit); };
    EXPECT_EQ(RunProcess(SPCommandLine()), kExitNormal);
    EXPECT_FALSE(
        std::any_of(journal.begin(), journal.end(), [](const std::string& l) { return l.starts_with("open"); }));

    // A run whose links file has no second line.
    apptest::CleanUpAfterRun();
    journal.clear();
    SetUp();
    root.Write("data/links.txt", "example.org/start\r\n");
    EXPECT_EQ(RunProcess(SPCommandLine()), kExitNormal);
    EXPECT_FALSE(
        std::any_of(journal.begin(), journal.end(), [](const std::string& l) { return l.starts_with("open"); }));
}

// A run whose settings cannot be written ends with its own status, and the log says which
// file and why; the old file is as it was.
TEST_F(ApplicationTest, SaveThatFailsAtShutDownGivesItsOwnStatusAndReason) {
    const std::string old = "screenWidth = 1024\r\nscreenHeight = 768\r\nscreenBPP = 32\r\nfullScreen = 0\r\n";
    root.Write("config.cfg", old);
    GetStartupRegistry().showLauncher = [](CPLauncherModel& model) { return model.Command(kLauncherPlay); };
    Platform::SetAtomicWriteFault(Platform::AtomicWriteFault::RenameFails);
    const int status = RunProcess(SPCommandLine());
    Platform::SetAtomicWriteFault(Platform::AtomicWriteFault::None);
    EXPECT_EQ(status, kExitSaveFailed);
    EXPECT_TRUE(Logged("\"config.cfg\" could not be saved: cannot replace"));
    EXPECT_EQ(root.Read("config.cfg"), old);

    // The next run writes it, and ends well.
    apptest::CleanUpAfterRun();
    journal.clear();
    SetUp();
    GetStartupRegistry().showLauncher = [](CPLauncherModel& model) { return model.Command(kLauncherPlay); };
    EXPECT_EQ(RunProcess(SPCommandLine()), kExitNormal);
    EXPECT_NE(root.Read("config.cfg"), old);
}

// A game killed while saving leaves the writer's temporaries; the next start removes those,
// and only those.
TEST_F(ApplicationTest, StartRemovesWhatInterruptedSavesLeftBehind) {
    const std::vector<std::string> stale = {"config.cfg.tmpAb12Cd", "ACTIONS.CFG.tmpzzzzzz", "korvaxa.log.tmp000000",
                                            "Data/scores.dat.tmpQ1w2E3"};
    const std::vector<std::string> kept = {
        "notes.txt.tmpABCDEF",   // not a file the game writes
        "config.cfg.tmpABC",     // not the writer's pattern
        "config.cfg.tmpAB_CDE",  // nor this
        "config.cfg.tmpABCDEF1", // nor this
        "scores.dat.tmpABCDEF",  // scores are written in Data, not here
        "Data/config.cfg.tmpABCDEF", "config.cfg.bak",
    };
    for (const std::string& name : stale) root.Write(name, "half");
    for (const std::string& name : kept) root.Write(name, "mine");
    root.MakeDir("Actions.cfg.tmpFOLDER"); // a folder is never the writer's
    GetStartupRegistry().showLauncher = [](CPLauncherModel& model) { return model.Command(kLauncherQuit); };
    EXPECT_EQ(RunProcess(SPCommandLine()), kExitNormal);
    for (const std::string& name : stale) EXPECT_FALSE(root.Exists(name)) << name;
    for (const std::string& name : kept) EXPECT_EQ(root.Read(name), "mine") << name;
    EXPECT_TRUE(root.Exists("Actions.cfg.tmpFOLDER"));
}

// The running game's log: every line on standard error and in the file, which each run
// replaces whole and which keeps a bounded head of a flood.
TEST(ProcessLog, EachRunWritesItsOwnBoundedLog) {
    kxtest::TempGameRoot root;
    root.Write("korvaxa.log", "an old run's lines\n");
    CPLog& log = CPLog::Instance();
    log.OpenProcessLog("korvaxa.log");
    EXPECT_EQ(root.Read("korvaxa.log"), "");
    log.Print(0, "\nScript Error!\n%s\n", "[string \"main\"]:3: boom");
    log.Print(0, "Cannot write Data\\scores.dat\n");
    EXPECT_TRUE(log.CloseProcessLog());
    EXPECT_EQ(root.Read("korvaxa.log"), "Script Error! [string \"main\"]:3: boom\nCannot write Data\\scores.dat\n");

    log.OpenProcessLog("korvaxa.log");
    const std::string line(999, 'x');
    for (std::size_t i = 0; i < 2 * CPLog::kMaxFileBytes / 1000; ++i) log.Print(0, "%s", line.c_str());
    EXPECT_TRUE(log.CloseProcessLog());
    const std::string text = root.Read("korvaxa.log");
    EXPECT_LE(text.size(), CPLog::kMaxFileBytes + 200);
    EXPECT_EQ(text.compare(0, 1000, line + "\n"), 0);
    EXPECT_NE(text.find("more lines were not kept"), std::string::npos);

    // Without the process log nothing is written.
    log.Print(0, "after the end");
    EXPECT_EQ(root.Read("korvaxa.log"), text);
}

} // namespace
