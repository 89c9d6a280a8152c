// The real game executable in a temporary game root, headless (SDL's offscreen video, no sound
// device, no shell), started past the launcher with "--play 320x240 --windowed".
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include "Framework/PSettings.h"
#include "Framework/PStringSplitter.h"
#include "support/PackWriter.h"
#include "support/TempDir.h"

#include <stb/stb_image.h>

namespace {

// Both kinds of binding, so the round trip covers the number form too.
const char* const kActions = "exit;Exit;Esc;false\r\nfire;Fire;Space;false\r\nslot;Slot;3;true\r\n";

const char* const kEndingScript = "local passes = 0\n"
                                  "while true do\n"
                                  "  passes = passes + 1\n"
                                  "  if passes == 10 then KillAllTasks() end\n"
                                  "  Update()\n"
                                  "end\n";

// Tells the test, by a file, that the main loop runs; then runs forever.
const char* const kMarkingScript = "local marker = io.open(\"running.txt\", \"w\")\n"
                                   "if marker then marker:write(\"yes\") marker:close() end\n"
                                   "while true do Update() end\n";

class Game {
public:
    Game(const std::string& root, const std::vector<std::string>& args, const std::string& stderrPath,
         const std::vector<std::pair<std::string, std::string>>& environment = {}) {
        m_pid = ::fork();
        if (m_pid == 0) {
            if (::chdir(root.c_str()) != 0) ::_exit(120);
            const int err = ::open(stderrPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            if (err >= 0) ::dup2(err, 2);
            ::setenv("SDL_VIDEODRIVER", "offscreen", 1);
            ::setenv("SDL_AUDIODRIVER", "dummy", 1);
            ::setenv("ALSOFT_DRIVERS", "null", 1);
            ::setenv("KORVAXA_NO_SHELL", "1", 1);
            for (const auto& [name, value] : environment) ::setenv(name.c_str(), value.c_str(), 1);
            std::vector<char*> argv;
            std::string program = KX_GAME_EXECUTABLE;
            argv.push_back(program.data());
            std::vector<std::string> copies = args;
            for (std::string& a : copies) argv.push_back(a.data());
            argv.push_back(nullptr);
            ::execv(program.c_str(), argv.data());
            ::_exit(121);
        }
    }
    ~Game() {
        if (m_pid > 0 && !m_done) {
            ::kill(m_pid, SIGKILL);
            int status = 0;
            ::waitpid(m_pid, &status, 0);
        }
    }

    // The exit status, or -1 when it did not end in time (or died of a signal).
    int Wait(std::chrono::seconds limit = std::chrono::seconds(120)) {
        const auto end = std::chrono::steady_clock::now() + limit;
        while (std::chrono::steady_clock::now() < end) {
            int status = 0;
            const pid_t r = ::waitpid(m_pid, &status, WNOHANG);
            if (r == m_pid) {
                m_done = true;
                return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return -1;
    }
    bool Running() {
        int status = 0;
        const pid_t r = ::waitpid(m_pid, &status, WNOHANG);
        if (r == m_pid) m_done = true;
        return r == 0;
    }
    void Terminate() { ::kill(m_pid, SIGTERM); }

private:
    pid_t m_pid = -1;
    bool m_done = false;
};

class EndToEndTest : public ::testing::Test {
protected:
    void SetUp() override {
        root.Write("config.cfg", "screenWidth = 1024\r\nscreenHeight = 768\r\nscreenBPP = 32\r\nfullScreen = 1\r\n");
        root.Write("Actions.cfg", kActions);
        root.Write("Data/strings.txt", "hello~Hello\r\n");
    }
    void WriteMain(const char* script) {
        root.Write("Data/Scripts/list.dat", "main t_system action_listener\r\n");
        root.Write("Data/Scripts/main.lua", script);
    }
    std::string Stderr() const { return logs.Read("stderr.txt"); }
    std::vector<std::string> Args() const { return {"--play", "320x240", "--windowed"}; }

    bool WaitForFile(const char* name, std::chrono::seconds limit, Game& game) {
        const auto end = std::chrono::steady_clock::now() + limit;
        while (std::chrono::steady_clock::now() < end) {
            if (root.Exists(name)) return true;
            if (!game.Running()) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return false;
    }

    // config.cfg as a clean run leaves it: every key in the registry's order, the played size.
    void ExpectConfigWritten() {
        ASSERT_TRUE(root.Exists("config.cfg"));
        const std::string text = root.Read("config.cfg");
        std::vector<std::string> keys;
        CPStringSplitter lines(text, "\r\n");
        std::string line;
        while (lines.NextToken(line))
            if (!line.empty()) keys.push_back(line.substr(0, line.find(" = ")));
        CPSettings settings;
        std::vector<std::string> expected;
        for (const auto& entry : settings.Map()) expected.push_back(entry.first);
        EXPECT_EQ(keys, expected);
        EXPECT_NE(text.find("screenWidth = 320\r\n"), std::string::npos);
        EXPECT_NE(text.find("screenHeight = 240\r\n"), std::string::npos);
        EXPECT_NE(text.find("screenBPP = 32\r\n"), std::string::npos);
        EXPECT_NE(text.find("fullScreen = 0\r\n"), std::string::npos);
    }

    kxtest::TempDir root;
    kxtest::TempDir logs;
};

TEST_F(EndToEndTest, MainScriptEndsTheGameCleanly) {
    WriteMain(kEndingScript);
    Game game(root.Path(), Args(), logs.Path() + "/stderr.txt");
    EXPECT_EQ(game.Wait(), 0) << Stderr();
    ExpectConfigWritten();
    EXPECT_EQ(root.Read("Actions.cfg"), kActions);
}

TEST_F(EndToEndTest, TerminationSignalShutsDownThroughTheQuitMessage) {
    WriteMain(kMarkingScript);
    Game game(root.Path(), Args(), logs.Path() + "/stderr.txt");
    ASSERT_TRUE(WaitForFile("running.txt", std::chrono::seconds(60), game)) << Stderr();
    game.Terminate();
    EXPECT_EQ(game.Wait(), 0) << Stderr();
    ExpectConfigWritten();
    EXPECT_EQ(root.Read("Actions.cfg"), kActions);
}

TEST_F(EndToEndTest, MissingKeyBindingsFailWithoutCreatingTheFile) {
    WriteMain(kEndingScript);
    ::unlink((root.Path() + "/Actions.cfg").c_str());
    Game game(root.Path(), Args(), logs.Path() + "/stderr.txt");
    const int status = game.Wait();
    EXPECT_NE(status, 0);
    EXPECT_NE(status, -1);
    EXPECT_NE(Stderr().find("\"Actions.cfg\""), std::string::npos) << Stderr();
    EXPECT_FALSE(root.Exists("Actions.cfg"));
    // The settings are still written, as after every run that got this far.
    ExpectConfigWritten();
}

TEST_F(EndToEndTest, UnreadableKeyBindingsAreLeftAsTheyAre) {
    WriteMain(kEndingScript);
    // A folder in the file's place cannot be read as bindings, whoever runs the test.
    ::unlink((root.Path() + "/Actions.cfg").c_str());
    root.Write("Actions.cfg/keep.txt", "mine");
    Game game(root.Path(), Args(), logs.Path() + "/stderr.txt");
    const int status = game.Wait();
    EXPECT_NE(status, 0);
    EXPECT_NE(status, -1);
    EXPECT_NE(Stderr().find("\"Actions.cfg\""), std::string::npos) << Stderr();
    EXPECT_EQ(root.Read("Actions.cfg/keep.txt"), "mine");
    ExpectConfigWritten();
}

TEST_F(EndToEndTest, WithoutMainTheLoopRunsUntilTerminated) {
    Game game(root.Path(), Args(), logs.Path() + "/stderr.txt");
    std::this_thread::sleep_for(std::chrono::seconds(5));
    ASSERT_TRUE(game.Running()) << Stderr();
    game.Terminate();
    EXPECT_EQ(game.Wait(), 0) << Stderr();
    ExpectConfigWritten();
    EXPECT_EQ(root.Read("Actions.cfg"), kActions);
}

TEST_F(EndToEndTest, BadCommandLineWritesNothing) {
    WriteMain(kEndingScript);
    const std::string before = root.Read("config.cfg");
    for (const std::vector<std::string>& args :
         std::vector<std::vector<std::string>>{{"--play", "200x100"}, {"--play", "big"}, {"--fast"}}) {
        Game game(root.Path(), args, logs.Path() + "/stderr.txt");
        EXPECT_EQ(game.Wait(), 2);
        EXPECT_NE(Stderr().find("usage:"), std::string::npos) << Stderr();
        EXPECT_EQ(root.Read("config.cfg"), before);
    }
}

// Every refusal reaches the player: standard error and the game root's log, which a clean run
// leaves with just its own lines.
TEST_F(EndToEndTest, ScriptErrorIsLoggedWithItsScriptAndLine) {
    root.Write("korvaxa.log", "an older run\n");
    WriteMain("local marker = io.open(\"running.txt\", \"w\")\n"
              "if marker then marker:write(\"yes\") marker:close() end\n"
              "Update()\n"
              "error(\"the script broke\")\n");
    Game game(root.Path(), Args(), logs.Path() + "/stderr.txt");
    ASSERT_TRUE(WaitForFile("running.txt", std::chrono::seconds(60), game)) << Stderr();
    std::this_thread::sleep_for(std::chrono::seconds(1));
    game.Terminate();
    EXPECT_EQ(game.Wait(), 0) << Stderr();
    const std::string log = root.Read("korvaxa.log");
    EXPECT_NE(log.find(":4: the script broke\n"), std::string::npos) << log;
    EXPECT_NE(log.find("main"), std::string::npos) << log;
    EXPECT_EQ(log.find("an older run"), std::string::npos) << log;
    EXPECT_NE(Stderr().find(":4: the script broke"), std::string::npos) << Stderr();
}

// Bindings that cannot be written back: the run ends with its own status, the log gives the
// reason, and what stood in the file's place is untouched.
TEST_F(EndToEndTest, FailedSaveAtShutDownIsReportedByStatusAndLog) {
    WriteMain(kMarkingScript);
    Game game(root.Path(), Args(), logs.Path() + "/stderr.txt");
    ASSERT_TRUE(WaitForFile("running.txt", std::chrono::seconds(60), game)) << Stderr();
    // A folder with something in it cannot be replaced by a file, whoever runs the test.
    ::unlink((root.Path() + "/Actions.cfg").c_str());
    root.Write("Actions.cfg/keep.txt", "mine");
    game.Terminate();
    EXPECT_EQ(game.Wait(), 3) << Stderr();
    EXPECT_EQ(root.Read("Actions.cfg/keep.txt"), "mine");
    const std::string log = root.Read("korvaxa.log");
    EXPECT_NE(log.find("\"Actions.cfg\" could not be saved: ./Actions.cfg is a folder"), std::string::npos) << log;
    EXPECT_NE(Stderr().find("\"Actions.cfg\" could not be saved"), std::string::npos) << Stderr();
    ExpectConfigWritten();
}

// The three switches of observed runs together: passes of exactly 1/60 s, the trace of every
// look-up and log line, and the picture of the frame at a game time.
TEST_F(EndToEndTest, TestSwitchesGiveFixedStepsATraceAndAFramePicture) {
    root.Write("Data/Scripts/list.dat", "main t_system action_listener\r\n");
    // The script itself comes from a pack, so the trace shows a pack hit beside the loose ones.
    kxtest::PackWriter pack;
    pack.AddFile("scripts\\main.lua", "IsFileExists(\"Data\\\\Probe.txt\") IsFileExists(\"data/probe2.txt\")\n"
                                      "local times = io.open(\"times.txt\", \"w\")\n"
                                      "for pass = 1, 30 do\n"
                                      "  Update()\n"
                                      "  times:write(string.format(\"%.6f\\n\", GetFullTime()))\n"
                                      "end\n"
                                      "times:close()\n"
                                      "KillAllTasks()\n"
                                      "Update()\n");
    root.Write("Data/game1.dat", pack.Build());
    root.Write("Data/Probe.txt", "here");
    const std::string trace = logs.Path() + "/trace.txt";
    const std::string picture = logs.Path() + "/frame.png";
    Game game(root.Path(), Args(), logs.Path() + "/stderr.txt",
              {{"KORVAXA_FIXED_STEP", "1"}, {"KORVAXA_FILE_TRACE", trace}, {"KORVAXA_CAPTURE", "0.25:" + picture}});
    ASSERT_EQ(game.Wait(), 0) << Stderr();

    // Each pass of the script lasts one step.
    std::vector<double> times;
    {
        const std::string text = root.Read("times.txt");
        std::size_t start = 0;
        while (start < text.size()) {
            const std::size_t end = text.find('\n', start);
            times.push_back(std::strtod(text.substr(start, end - start).c_str(), nullptr));
            start = end == std::string::npos ? text.size() : end + 1;
        }
    }
    ASSERT_EQ(times.size(), 30u) << root.Read("times.txt");
    for (std::size_t i = 1; i < times.size(); ++i) EXPECT_NEAR(times[i] - times[i - 1], 1.0 / 60.0, 2e-6) << i;

    const std::string lines = logs.Read("trace.txt");
    EXPECT_NE(lines.find("loose\tdata\\scripts\\list.dat\tData/Scripts/list.dat\n"), std::string::npos) << lines;
    EXPECT_NE(lines.find("pack\tdata\\scripts\\main.lua\tData\\game1.dat\n"), std::string::npos) << lines;
    EXPECT_NE(lines.find("loose\tdata\\game1.dat\tData/game1.dat\n"), std::string::npos) << lines;
    EXPECT_NE(lines.find("loose\tactions.cfg\tActions.cfg\n"), std::string::npos) << lines;
    EXPECT_NE(lines.find("\nmissing\t"), std::string::npos) << lines;
    // A script's own probes are look-ups too.
    EXPECT_NE(lines.find("loose\tdata\\probe.txt\tData/Probe.txt\n"), std::string::npos) << lines;
    EXPECT_NE(lines.find("missing\tdata/probe2.txt\n"), std::string::npos) << lines;
    EXPECT_NE(lines.find("\nlog\t"), std::string::npos) << lines;
    // The log's lines are the same in the trace as in the game's own log.
    const std::string log = root.Read("korvaxa.log");
    std::size_t start = 0;
    while (start < log.size()) {
        const std::size_t end = log.find('\n', start);
        const std::string line = log.substr(start, end - start);
        EXPECT_NE(lines.find("log\t" + line + "\n"), std::string::npos) << line;
        start = end == std::string::npos ? log.size() : end + 1;
    }

    int width = 0, height = 0, channels = 0;
    const std::string png = logs.Read("frame.png");
    unsigned char* rgb = stbi_load_from_memory(reinterpret_cast<const unsigned char*>(png.data()),
                                               static_cast<int>(png.size()), &width, &height, &channels, 3);
    ASSERT_NE(rgb, nullptr) << Stderr();
    EXPECT_EQ(width, 320);
    EXPECT_EQ(height, 240);
    stbi_image_free(rgb);
}

// Switch values that make no sense are reported and ignored: the game runs as without them.
TEST_F(EndToEndTest, MalformedTestSwitchesAreIgnored) {
    WriteMain(kEndingScript);
    Game game(root.Path(), Args(), logs.Path() + "/stderr.txt",
              {{"KORVAXA_FIXED_STEP", "abc"},
               {"KORVAXA_FILE_TRACE", logs.Path() + "/no/such/folder/trace.txt"},
               {"KORVAXA_CAPTURE", "-1:" + logs.Path() + "/frame.png"}});
    EXPECT_EQ(game.Wait(), 0) << Stderr();
    const std::string log = root.Read("korvaxa.log");
    EXPECT_NE(log.find("KORVAXA_FIXED_STEP"), std::string::npos) << log;
    EXPECT_NE(log.find("KORVAXA_FILE_TRACE"), std::string::npos) << log;
    EXPECT_NE(log.find("KORVAXA_CAPTURE"), std::string::npos) << log;
    EXPECT_FALSE(logs.Exists("frame.png"));
    ExpectConfigWritten();
}

// A run killed while it saved leaves a temporary; the next start clears it away.
TEST_F(EndToEndTest, NextStartRemovesTemporariesOfAnInterruptedSave) {
    WriteMain(kEndingScript);
    root.Write("config.cfg.tmpk1LL3d", "half a file");
    root.Write("config.cfg.old", "mine");
    Game game(root.Path(), Args(), logs.Path() + "/stderr.txt");
    EXPECT_EQ(game.Wait(), 0) << Stderr();
    EXPECT_FALSE(root.Exists("config.cfg.tmpk1LL3d"));
    EXPECT_EQ(root.Read("config.cfg.old"), "mine");
    EXPECT_TRUE(root.Exists("korvaxa.log"));
}

} // namespace

// A shadow effect whose shader crashes the compiler, on the real program: the game starts, runs
// and ends cleanly, and the log names the file and the technique left out.
TEST_F(EndToEndTest, ShaderThatCrashesTheCompilerCostsOnlyItsTechnique) {
    root.Write("Data/Effects/shad2.fx", "float4x4 m;\n"
                                        "float4 PS(float1 x : TEXCOORD0) : COLOR0 { return mul(x, m); }\n"
                                        "technique Shaded { pass { PixelShader = compile ps_2_0 PS(); } }\n"
                                        "technique Plain { pass { Lighting = false; } }\n");
    WriteMain(kEndingScript);
    Game game(root.Path(), Args(), logs.Path() + "/stderr.txt");
    EXPECT_EQ(game.Wait(), 0) << Stderr();
    const std::string log = root.Read("korvaxa.log");
    EXPECT_NE(
        log.find("shad2.fx: line 3: technique 'Shaded' is not valid: pixel shader PS: the shader compiler failed"),
        std::string::npos)
        << log;
}
