#include "Platform/System/Shell.h"

#include <gtest/gtest.h>

#include <cstdlib>

TEST(Shell, SwitchedOffByTheEnvironment) {
    ::setenv("KORVAXA_NO_SHELL", "1", 1);
    EXPECT_TRUE(Platform::ShellOpen("http://example.invalid/page"));
    EXPECT_EQ(Platform::LastShellOpenTarget(), "http://example.invalid/page");
    EXPECT_FALSE(Platform::ShellOpen(""));
}
