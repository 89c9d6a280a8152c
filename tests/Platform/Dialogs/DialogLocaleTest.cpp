// Showing the launcher must not hand the process the desktop's locale: every number the engine
// and its scripts write or read afterwards still uses '.' (a ru_RU or de_DE desktop uses ',').
// Its own program, because GTK starts once per process.
#include <gtest/gtest.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "Platform/Dialogs/LauncherDialog.h"
#include "Platform/Dialogs/VirtualDisplay.h"
#include "support/CommaLocale.h"

namespace {

TEST(DialogLocaleTest, StartingTheDialogsKeepsTheCNumericLocale) {
    if (!kxtest::VirtualDisplay::Available()) GTEST_SKIP() << kxtest::VirtualDisplay::Reason();
    kxtest::CommaLocale comma;
    if (!comma.Active()) GTEST_SKIP() << "no comma-decimal locale can be made here";
    // The desktop's locale is in the environment; the process itself still runs in "C".
    const std::string desktop = std::setlocale(LC_NUMERIC, nullptr);
    ::setenv("LC_ALL", desktop.c_str(), 1);
    std::setlocale(LC_ALL, "C");

    std::string error;
    const bool started = Platform::Dialogs::InitDialogs(&error);
    ::unsetenv("LC_ALL");
    if (!started) GTEST_SKIP() << error;

    EXPECT_STREQ(std::localeconv()->decimal_point, ".");
    char text[16];
    std::snprintf(text, sizeof text, "%.1f", 0.5);
    EXPECT_STREQ(text, "0.5");
    EXPECT_DOUBLE_EQ(std::strtod("0.25", nullptr), 0.25);
    EXPECT_STREQ(std::setlocale(LC_ALL, nullptr), "C");
}

} // namespace
