// The demo played through by its own autoplay: the sanitizer build of the real game in copies of
// the demo game root, headless, on a fixed clock, until the autoplay ends the game. Two runs go
// side by side; the first is checked in full, the second must tell the same story.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include "Framework/PSettings.h"
#include "Input/ActionsFile.h"
#include "Platform/System/Paths.h"
#include "support/TempDir.h"

#define STB_IMAGE_STATIC
#define STB_IMAGE_IMPLEMENTATION
#include <stb/stb_image.h>

namespace {

namespace fs = std::filesystem;

// The game time the autoplay gets before it gives up; the wall-clock guard is far above what two
// runs need on two cores.
constexpr const char* kCaptureAt = "40";
constexpr std::chrono::seconds kWallLimit(330);

std::string Lowered(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

// Look-ups that may find nothing in the demo: probes of optional files.
const std::vector<std::string> kOptionalProbePrefixes = {
    "data\\links.txt",           // read at start-up when a game ships one
    "data\\saves\\save",         // saving a career first looks at the slots to choose one
    "data\\textures\\shadows\\", // a per-object shadow picture, looked for on every described object
};
const std::vector<std::string> kOptionalProbeSuffixes = {
    "_fire.tga", // an object's burning picture, looked for beside its first texture
};
// Files of the engine's fallbacks: a look-up of one means something was missing. The route
// splines' debug lines name "error.tga" themselves, so that one is told by the log line the
// texture cache writes when it stands in.
const char* const kFallbacks[] = {"wrong.rdf", "error.fx"};

// Generated files no run reads, and why.
std::string UnreadReason(const std::string& path) {
    const std::string p = Lowered(path);
    const auto has = [&p](const char* part) { return p.find(part) != std::string::npos; };
    if (has("hauler")) return "the heavy car: the autoplay drives the light one";
    if (has("celica1_") || has("celica2_") || has("celica3_") || has("celica4_") || has("subaru1_") ||
        has("subaru2_") || has("subaru3_"))
        return "opponent files the level picks only with more racers than the demo's four";
    if (has("meshes/raider.rdf")) return "the opponents' own description: the level names them by their family files";
    if (has("/wrong.")) return "the fallback description, read only when a description is missing";
    if (has("sky_moon2") || has("sky_moon3")) return "moon phases the sky loads when it shows them";
    return std::string();
}

std::string Slashed(std::string path) {
    std::replace(path.begin(), path.end(), '/', '\\');
    return Lowered(path);
}

std::string ReadWhole(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

// "key=value" lines.
std::map<std::string, std::string> ResultFields(const std::string& text) {
    std::map<std::string, std::string> fields;
    for (const std::string& line : Lines(text)) {
        const std::size_t eq = line.find('=');
        if (eq != std::string::npos) fields[line.substr(0, eq)] = line.substr(eq + 1);
    }
    return fields;
}

class Game {
public:
    Game(const std::string& root, const std::map<std::string, std::string>& env, const std::string& stderrPath) {
        m_pid = ::fork();
        if (m_pid == 0) {
            if (::chdir(root.c_str()) != 0) ::_exit(120);
            const int err = ::open(stderrPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            if (err >= 0) {
                ::dup2(err, 2);
                ::dup2(err, 1);
            }
            ::setenv("SDL_VIDEODRIVER", "offscreen", 1);
            ::setenv("SDL_AUDIODRIVER", "dummy", 1);
            ::setenv("ALSOFT_DRIVERS", "null", 1);
            ::setenv("KORVAXA_NO_SHELL", "1", 1);
            for (const auto& [name, value] : env) ::setenv(name.c_str(), value.c_str(), 1);
            std::string program = KX_GAME_EXECUTABLE;
            std::string play = "--play", size = "320x240", windowed = "--windowed";
            char* argv[] = {program.data(), play.data(), size.data(), windowed.data(), nullptr};
            ::execv(program.c_str(), argv);
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
    Game(const Game&) = delete;
    Game& operator=(const Game&) = delete;

    // The exit status once it has ended; -1 while it runs or when it died of a signal.
    bool Poll() {
        if (m_done) return true;
        int status = 0;
        if (::waitpid(m_pid, &status, WNOHANG) != m_pid) return false;
        m_done = true;
        m_status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        return true;
    }
    int Status() const { return m_status; }

private:
    pid_t m_pid = -1;
    bool m_done = false;
    int m_status = -1;
};

struct GameRun {
    kxtest::TempDir root;
    kxtest::TempDir out;
    std::unique_ptr<Game> game;
    std::chrono::steady_clock::duration took{};

    std::string Result() const { return ReadWhole(fs::path(out.Path()) / "result.txt"); }
    std::string Trace() const { return ReadWhole(fs::path(out.Path()) / "trace.txt"); }
    std::string Stderr() const { return ReadWhole(fs::path(out.Path()) / "stderr.txt"); }
};

class AutoplayTest : public ::testing::Test {
protected:
    static void CopyRoot(GameRun& run) {
        std::error_code ec;
        fs::copy(KX_DATA_DIR, run.root.Path(), fs::copy_options::recursive | fs::copy_options::overwrite_existing, ec);
        ASSERT_FALSE(ec) << ec.message();
    }
    static void Start(GameRun& run, const std::string& capture) {
        std::map<std::string, std::string> env = {
            {"KORVAXA_FIXED_STEP", "1"},
            {"KORVAXA_FILE_TRACE", run.out.Path() + "/trace.txt"},
            {"KORVAXA_AUTOPLAY", run.out.Path() + "/result.txt"},
        };
        if (!capture.empty()) env["KORVAXA_CAPTURE"] = std::string(kCaptureAt) + ":" + capture;
        run.game = std::make_unique<Game>(run.root.Path(), env, run.out.Path() + "/stderr.txt");
    }
    static void WaitAll(std::vector<GameRun*> runs) {
        const auto start = std::chrono::steady_clock::now();
        const auto end = start + kWallLimit;
        std::vector<bool> done(runs.size(), false);
        while (std::chrono::steady_clock::now() < end) {
            bool all = true;
            for (std::size_t i = 0; i < runs.size(); ++i) {
                if (!done[i] && runs[i]->game->Poll()) {
                    done[i] = true;
                    runs[i]->took = std::chrono::steady_clock::now() - start;
                }
                all = all && done[i];
            }
            if (all) return;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    }
};

// The file trace: a line a look-up or a log line, its fields separated by tabs ("loose", the
// path asked for, the file read; "pack", the path, the pack; "missing", the path; "log", the
// line).
struct Trace {
    std::vector<std::string> logLines;
    std::set<std::string> found;   // lower case, backslashes
    std::set<std::string> missing; // lower case, backslashes
};

Trace ParseTrace(const std::string& text) {
    Trace trace;
    for (const std::string& line : Lines(text)) {
        const std::size_t tab = line.find('\t');
        if (tab == std::string::npos) continue;
        const std::string kind = line.substr(0, tab);
        const std::string rest = line.substr(tab + 1);
        const std::string path = rest.substr(0, rest.find('\t'));
        if (kind == "log")
            trace.logLines.push_back(rest);
        else if (kind == "missing")
            trace.missing.insert(Slashed(path));
        else if (kind == "loose" || kind == "pack")
            trace.found.insert(Slashed(path));
    }
    return trace;
}

bool OptionalProbe(const std::string& path) {
    for (const std::string& prefix : kOptionalProbePrefixes)
        if (path.rfind(prefix, 0) == 0) return true;
    for (const std::string& suffix : kOptionalProbeSuffixes)
        if (path.size() >= suffix.size() && path.compare(path.size() - suffix.size(), suffix.size(), suffix) == 0)
            return true;
    return false;
}

TEST_F(AutoplayTest, TheDemoRacePlaysThroughToTheMenuAndRepeatsExactly) {
    GameRun first, second;
    CopyRoot(first);
    CopyRoot(second);
    ASSERT_FALSE(HasFatalFailure());
    const std::string configBefore = ReadWhole(fs::path(first.root.Path()) / "config.cfg");
    const fs::path png = fs::path(KX_DEMO_TEST_OUTPUT) / "demo_race.png";
    std::error_code ignored;
    fs::create_directories(png.parent_path(), ignored);
    fs::remove(png, ignored);

    Start(first, png.string());
    Start(second, "");
    WaitAll({&first, &second});
    ASSERT_TRUE(first.game->Poll()) << "the first run did not end in time\n" << first.Stderr();
    ASSERT_TRUE(second.game->Poll()) << "the second run did not end in time\n" << second.Stderr();
    std::printf("autoplay runs took %.1f s and %.1f s\n", std::chrono::duration<double>(first.took).count(),
                std::chrono::duration<double>(second.took).count());

    // It ended by itself, cleanly.
    EXPECT_EQ(first.game->Status(), 0) << first.Stderr();
    EXPECT_EQ(second.game->Status(), 0) << second.Stderr();
    for (const GameRun* run : {&first, &second}) {
        const std::string err = run->Stderr();
        for (const char* report : {"AddressSanitizer", "LeakSanitizer", "runtime error:", "Script Error"})
            EXPECT_EQ(err.find(report), std::string::npos) << err;
    }

    // What the autoplay saw of the race.
    const std::string result = first.Result();
    const std::map<std::string, std::string> fields = ResultFields(result);
    ASSERT_FALSE(fields.empty()) << "no result file\n" << first.Stderr();
    const double started = std::atof(fields.count("race_start") ? fields.at("race_start").c_str() : "-1");
    const double finished = std::atof(fields.count("race_finish") ? fields.at("race_finish").c_str() : "-1");
    EXPECT_GT(started, 0.0) << result;
    EXPECT_GT(finished, started) << result;
    EXPECT_GE(std::atoi(fields.count("checkpoints") ? fields.at("checkpoints").c_str() : "0"), 3) << result;
    EXPECT_EQ(fields.count("rounds") ? fields.at("rounds") : "", "2") << result;
    EXPECT_FALSE(fields.count("place") == 0 || fields.at("place").empty()) << result;
    EXPECT_EQ(fields.count("game_over") ? fields.at("game_over") : "", "1") << result;
    // The picture was taken inside the race.
    EXPECT_LT(started, std::atof(kCaptureAt)) << result;
    EXPECT_GT(finished, std::atof(kCaptureAt)) << result;

    // The same run again gives the same story.
    EXPECT_EQ(second.Result(), result);

    // The trace: no fallback, no missing file outside the optional probes, no error in the log.
    const Trace trace = ParseTrace(first.Trace());
    ASSERT_FALSE(trace.found.empty()) << "no trace";
    for (const std::string& line : trace.logLines) {
        const std::string lowered = Lowered(line);
        for (const char* word : {"error", "fail", "missing", "stands in", "cannot"})
            EXPECT_EQ(lowered.find(word), std::string::npos) << line;
    }
    for (const std::set<std::string>* lookups : {&trace.found, &trace.missing})
        for (const std::string& path : *lookups)
            for (const char* fallback : kFallbacks) EXPECT_EQ(path.find(fallback), std::string::npos) << path;
    for (const std::string& path : trace.missing) EXPECT_TRUE(OptionalProbe(path)) << "missing: " << path;

    // Every generated file is read, apart from those listed with their reasons.
    const std::string manifest = ReadWhole(fs::path(KX_DATA_DIR) / "demo-manifest.txt");
    std::vector<std::string> unread;
    for (const std::string& line : Lines(manifest)) {
        if (line.empty() || line.rfind("//", 0) == 0) continue;
        const std::string path = line.substr(0, line.find(' '));
        if (!UnreadReason(path).empty()) continue;
        if (!trace.found.count(Slashed(path))) unread.push_back(path);
    }
    EXPECT_TRUE(unread.empty()) << [&] {
        std::string text = "generated files no run read:";
        for (const std::string& path : unread) text += "\n  " + path;
        return text;
    }();

    // The game's own files: settings and bindings written and readable by their loaders, a save
    // and the records.
    const fs::path root = first.root.Path();
    CPSettings settings;
    std::string error;
    EXPECT_TRUE(settings.Load((root / "config.cfg").string(), &error)) << error;
    EXPECT_NE(ReadWhole(root / "config.cfg"), configBefore);
    Platform::GamePaths().SetRoot(first.root.Path());
    std::vector<Input::ActionLine> actions;
    EXPECT_EQ(Input::ReadActionsFile("Actions.cfg", actions), 0);
    EXPECT_FALSE(actions.empty());
    EXPECT_TRUE(
        std::any_of(actions.begin(), actions.end(), [](const Input::ActionLine& a) { return a.action == "camera"; }));
    bool saved = false;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(root))
        if (Lowered(entry.path().filename().string()) == "save0.sav") saved = fs::file_size(entry.path()) > 0;
    EXPECT_TRUE(saved);
    bool scores = false;
    for (const fs::directory_entry& entry : fs::directory_iterator(root))
        if (Lowered(entry.path().filename().string()) == "data")
            scores = scores || fs::exists(entry.path() / "scores.dat");
    EXPECT_TRUE(scores);

    // The picture of the race: the size played, more than one colour.
    int width = 0, height = 0, channels = 0;
    stbi_uc* pixels = stbi_load(png.string().c_str(), &width, &height, &channels, 3);
    ASSERT_NE(pixels, nullptr) << png;
    EXPECT_EQ(width, 320);
    EXPECT_EQ(height, 240);
    bool varied = false;
    for (int i = 3; i < width * height * 3 && !varied; i += 3)
        varied = pixels[i] != pixels[0] || pixels[i + 1] != pixels[1] || pixels[i + 2] != pixels[2];
    stbi_image_free(pixels);
    EXPECT_TRUE(varied);
}

} // namespace
