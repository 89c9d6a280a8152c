#pragma once
// A display for GTK tests: the one in DISPLAY, or an Xvfb that the test program starts for
// itself (and stops at its end). Tests skip with a message when neither is possible. Include
// this in exactly one source file of a test program.

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <string>

#include <sys/wait.h>
#include <unistd.h>

// GTK, GLib, fontconfig and the X libraries keep allocations for the life of the process.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libgtk-3.so\nleak:libgdk-3.so\nleak:libglib-2.0.so\nleak:libgobject-2.0.so\nleak:libgio-2.0.so\n"
           "leak:libfontconfig.so\nleak:libpango-1.0.so\nleak:libpangocairo-1.0.so\nleak:libpangoft2-1.0.so\n"
           "leak:libcairo.so\nleak:libX11.so\nleak:libatk-1.0.so\nleak:libatk-bridge-2.0.so\nleak:libharfbuzz.so\n"
           "leak:libgdk_pixbuf-2.0.so\nleak:libepoxy.so\nleak:libdbus-1.so\n";
}

namespace kxtest {

class VirtualDisplay : public ::testing::Environment {
public:
    void SetUp() override {
        const char* display = std::getenv("DISPLAY");
        if (display && *display) {
            Available() = true;
            return;
        }
        int fds[2];
        if (::pipe(fds) != 0) return;
        m_pid = ::fork();
        if (m_pid == 0) {
            ::close(fds[0]);
            const std::string fd = std::to_string(fds[1]);
            ::execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1024x768x24", "-nolisten", "tcp",
                     static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ::close(fds[1]);
        std::string number;
        char c;
        while (::read(fds[0], &c, 1) == 1 && c != '\n') number += c;
        ::close(fds[0]);
        if (number.empty()) {
            Reason() = "Xvfb could not be started (install the \"xvfb\" package) and DISPLAY is not set";
            return;
        }
        ::setenv("DISPLAY", (":" + number).c_str(), 1);
        Available() = true;
    }
    void TearDown() override {
        if (m_pid > 0) {
            ::kill(m_pid, SIGTERM);
            int status = 0;
            ::waitpid(m_pid, &status, 0);
        }
    }
    static bool& Available() {
        static bool available = false;
        return available;
    }
    static std::string& Reason() {
        static std::string reason = "no display";
        return reason;
    }

private:
    pid_t m_pid = -1;
};

inline ::testing::Environment* const g_virtualDisplay = ::testing::AddGlobalTestEnvironment(new VirtualDisplay);

} // namespace kxtest
