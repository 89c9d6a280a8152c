// The switches of reproducible and observed runs: the fixed-step clock and the file trace.
#include "Framework/TestSwitches.h"
#include "Framework/PFileReader.h"
#include "Framework/PGlobalTimer.h"
#include "Framework/PLog.h"
#include "Framework/PSettings.h"
#include "Framework/PackFile.h"
#include "Platform/System/Clock.h"
#include "Platform/System/FileTrace.h"
#include "support/PackWriter.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

namespace {

// Every line the log prints while this lives.
struct LogLines {
    LogLines() {
        CPLog::Instance().SetSink([this](int, const std::string& text) { lines.push_back(text); });
    }
    ~LogLines() { CPLog::Instance().SetSink(nullptr); }
    std::vector<std::string> lines;
};

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

class FixedStep : public ::testing::Test {
protected:
    void TearDown() override {
        Platform::SetClock(nullptr);
        g_timeScale = 1.0f;
        IPMMObject::CollectGarbage();
    }
};

TEST_F(FixedStep, EveryPassOfTheTimerLastsOneSixtiethOfASecond) {
    ASSERT_TRUE(ApplyFixedStepSwitch("1"));
    Platform::IClock& clock = Platform::GetClock();
    std::int64_t frequency = 0;
    ASSERT_TRUE(clock.QueryPerformanceFrequency(&frequency));
    EXPECT_EQ(frequency, Platform::FixedStepClock::kFrequency);

    CPSmartPtr<CPGlobalTimer> timer(new CPGlobalTimer);
    ASSERT_TRUE(timer->Start());
    EXPECT_TRUE(timer->UsesCounter());
    const double start = g_totalTime;
    const std::uint32_t startMs = clock.TimeGetTime();
    for (int pass = 1; pass <= 120; ++pass) {
        timer->Update();
        EXPECT_EQ(g_deltaTime, static_cast<float>(1.0L / 60.0L)) << pass;
        EXPECT_EQ(g_deltaTime2, g_deltaTime) << pass;
    }
    EXPECT_NEAR(g_totalTime - start, 2.0, 1e-5);
    // The millisecond clock keeps the same time: two seconds in 120 passes.
    EXPECT_EQ(clock.TimeGetTime() - startMs, 2000u);
}

TEST_F(FixedStep, TheClockStartsAtAFixedTimeAndStandsStillBetweenReadings) {
    Platform::FixedStepClock a, b;
    std::int64_t ta = -1, tb = -1;
    ASSERT_TRUE(a.QueryPerformanceCounter(&ta));
    ASSERT_TRUE(b.QueryPerformanceCounter(&tb));
    EXPECT_EQ(ta, 0);
    EXPECT_EQ(tb, 0);
    EXPECT_EQ(a.TimeGetTime(), 0u);
    EXPECT_EQ(a.TimeGetTime(), 0u) << "asking the milliseconds does not move the clock";
    ASSERT_TRUE(a.QueryPerformanceCounter(&ta));
    EXPECT_EQ(ta, Platform::FixedStepClock::kStepTicks);
    EXPECT_EQ(a.TimeGetTime(), 16u);
    for (int i = 0; i < 4; ++i) a.QueryPerformanceCounter(&ta);
    EXPECT_EQ(ta, 5 * Platform::FixedStepClock::kStepTicks);
    EXPECT_EQ(a.TimeGetTime(), 83u);
    EXPECT_FALSE(a.QueryPerformanceCounter(nullptr));
}

TEST_F(FixedStep, OtherValuesLeaveTheMachinesClock) {
    struct Case {
        const char* value;
        bool logged;
    };
    const Case cases[] = {{nullptr, false}, {"", false},  {"0", false}, {"abc", true},
                          {"2", true},      {"1 ", true}, {"yes", true}};
    for (const Case& c : cases) {
        LogLines log;
        EXPECT_FALSE(ApplyFixedStepSwitch(c.value)) << (c.value ? c.value : "(none)");
        EXPECT_EQ(&Platform::GetClock(), &Platform::GetClock());
        std::int64_t frequency = 0;
        Platform::GetClock().QueryPerformanceFrequency(&frequency);
        EXPECT_NE(frequency, Platform::FixedStepClock::kFrequency) << (c.value ? c.value : "(none)");
        ASSERT_EQ(log.lines.size(), c.logged ? 1u : 0u) << (c.value ? c.value : "(none)");
        if (c.logged) {
            EXPECT_NE(log.lines[0].find(kFixedStepSwitch), std::string::npos) << log.lines[0];
        }
    }
}

class FileTrace : public ::testing::Test {
protected:
    void TearDown() override {
        Platform::CloseFileTrace();
        UnmountPacks();
    }
    std::string TracePath() const { return traceDir.Path() + "/trace.txt"; }
    std::vector<std::string> Trace() const { return Lines(traceDir.Read("trace.txt")); }

    kxtest::TempGameRoot root;
    kxtest::TempDir traceDir;
};

TEST_F(FileTrace, ListsLooseHitsPackHitsAndMissesAndMarksLogLines) {
    kxtest::PackWriter pack;
    pack.AddFile("meshes\\car.rdf", "packed mesh");
    root.Write("Data/game1.dat", pack.Build());
    root.Write("Data/Scripts/List.dat", "main");
    ASSERT_TRUE(ApplyFileTraceSwitch(TracePath().c_str()));
    ASSERT_EQ(MountPacks(), S_OK);

    EXPECT_EQ(CPFileReader("data\\scripts\\list.dat").Load(), S_OK);
    EXPECT_EQ(CPFileReader("DATA/Meshes/Car.rdf").Load(), S_OK);
    EXPECT_NE(CPFileReader("Data\\Textures\\none.tga").Load(), S_OK);
    CPFileReader probed("Data\\Scripts\\list.dat");
    EXPECT_TRUE(probed.Find());
    EXPECT_EQ(probed.Load(), S_OK) << "a look-up followed by its read";
    CPLog::Instance().Print(0, "\nScript Error!\nline %d", 3);

    const std::vector<std::string> expected = {
        "loose\tdata\\game1.dat\tData/game1.dat",
        "loose\tdata\\scripts\\list.dat\tData/Scripts/List.dat",
        "pack\tdata/meshes/car.rdf\tData\\game1.dat",
        "missing\tdata\\textures\\none.tga",
        "loose\tdata\\scripts\\list.dat\tData/Scripts/List.dat",
        "log\tScript Error! line 3",
    };
    EXPECT_EQ(Trace(), expected);
}

TEST_F(FileTrace, SettingsFilesAreLookedUpToo) {
    root.Write("config.cfg", "distance=400\n");
    ASSERT_TRUE(ApplyFileTraceSwitch(TracePath().c_str()));
    CPSettings settings;
    EXPECT_TRUE(settings.Load("Config.cfg"));
    EXPECT_TRUE(settings.Load("absent.cfg"));
    const std::vector<std::string> expected = {"loose\tconfig.cfg\tconfig.cfg", "missing\tabsent.cfg"};
    EXPECT_EQ(Trace(), expected);
}

TEST_F(FileTrace, AppendsToWhatTheFileHeldAndStopsWhenClosed) {
    traceDir.Write("trace.txt", "earlier\n");
    ASSERT_TRUE(ApplyFileTraceSwitch(TracePath().c_str()));
    CPFileReader("nothing.txt").Load();
    Platform::CloseFileTrace();
    CPFileReader("after.txt").Load();
    CPLog::Instance().Print(0, "not traced");
    const std::vector<std::string> expected = {"earlier", "missing\tnothing.txt"};
    EXPECT_EQ(Trace(), expected);
}

TEST_F(FileTrace, AFileThatCannotBeOpenedIsIgnoredWithOneLogLine) {
    LogLines log;
    EXPECT_FALSE(ApplyFileTraceSwitch((traceDir.Path() + "/no/such/folder/trace.txt").c_str()));
    EXPECT_FALSE(ApplyFileTraceSwitch(traceDir.Path().c_str())) << "a folder";
    EXPECT_FALSE(ApplyFileTraceSwitch(""));
    EXPECT_FALSE(ApplyFileTraceSwitch(nullptr));
    EXPECT_FALSE(Platform::IsFileTraceOpen());
    ASSERT_EQ(log.lines.size(), 2u);
    EXPECT_NE(log.lines[0].find(kFileTraceSwitch), std::string::npos) << log.lines[0];
    CPFileReader("x.txt").Load();
}

} // namespace
