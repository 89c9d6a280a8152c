#include "Platform/System/ChildProcess.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

using namespace Platform;
using namespace std::chrono_literals;

namespace {
ChildProcess::Deadline In(std::chrono::milliseconds ms) { return std::chrono::steady_clock::now() + ms; }
} // namespace

TEST(ChildProcess, TalksOverItsStandardInput) {
    ChildProcess child;
    std::string error;
    // cat reads its standard input and writes to its standard output, which goes to our standard
    // error: nothing comes back, so a sh loop echoes onto the socket instead.
    ASSERT_TRUE(child.Start("/bin/sh", {"-c", "head -c 5 <&0 >&0"}, error)) << error;
    ASSERT_TRUE(child.Write("hello", 5, In(5s), error)) << error;
    char back[5] = {};
    ASSERT_TRUE(child.Read(back, 5, In(5s), error)) << error;
    EXPECT_EQ(std::string(back, 5), "hello");
}

TEST(ChildProcess, AHungProgramCostsOnlyTheDeadline) {
    ChildProcess child;
    std::string error;
    ASSERT_TRUE(child.Start("/bin/sleep", {"30"}, error)) << error;
    char byte = 0;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(child.Read(&byte, 1, In(200ms), error));
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
    EXPECT_EQ(error, "no answer in time");
    EXPECT_TRUE(child.TimedOut());
    EXPECT_GE(std::chrono::steady_clock::now() - start, 200ms);
    EXPECT_TRUE(child.Running());
    child.Kill();
    EXPECT_FALSE(child.Running());
    EXPECT_EQ(child.EndingDescription().rfind("killed by signal 9", 0), 0u) << child.EndingDescription();
}

TEST(ChildProcess, AProgramThatEndsFailsReadsAndWritesWithoutASignal) {
    ChildProcess child;
    std::string error;
    ASSERT_TRUE(child.Start("/bin/sh", {"-c", "exit 3"}, error)) << error;
    char byte = 0;
    EXPECT_FALSE(child.Read(&byte, 1, In(5s), error));
    EXPECT_EQ(error, "the program ended");
    EXPECT_FALSE(child.TimedOut());
    // Writing to it now would raise SIGPIPE in a plain write; here it is an error.
    const std::string big(1 << 20, 'x');
    EXPECT_FALSE(child.Write(big.data(), big.size(), In(5s), error));
    // The program closes its end before the system lists it as ended: on a busy machine the
    // first look can come in between.
    const auto until = std::chrono::steady_clock::now() + 5s;
    while (!child.HasEnded() && std::chrono::steady_clock::now() < until) std::this_thread::sleep_for(1ms);
    EXPECT_TRUE(child.HasEnded());
    EXPECT_EQ(child.EndingDescription(), "exited with status 3");
    EXPECT_FALSE(child.Running());
}

TEST(ChildProcess, KilledFromOutsideShowsTheSignal) {
    ChildProcess child;
    std::string error;
    ASSERT_TRUE(child.Start("/bin/sh", {"-c", "kill -SEGV $$"}, error)) << error;
    char byte = 0;
    EXPECT_FALSE(child.Read(&byte, 1, In(5s), error));
    child.Kill();
    EXPECT_EQ(child.EndingDescription().rfind("killed by signal 11", 0), 0u) << child.EndingDescription();
}

TEST(ChildProcess, AMissingProgramDoesNotStart) {
    ChildProcess child;
    std::string error;
    EXPECT_FALSE(child.Start("/nonexistent/korvaxa-nothing", {}, error));
    EXPECT_NE(error.find("cannot start /nonexistent/korvaxa-nothing"), std::string::npos) << error;
    EXPECT_FALSE(child.Running());
    char byte = 0;
    EXPECT_FALSE(child.Read(&byte, 1, In(100ms), error));
}
