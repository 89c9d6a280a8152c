#include "Platform/System/Shell.h"

#include <cstdlib>
#include <sys/wait.h>
#include <unistd.h>

namespace Platform {

namespace {
std::string g_lastTarget;
}

const std::string& LastShellOpenTarget() { return g_lastTarget; }

bool ShellOpen(const std::string& target) {
    g_lastTarget = target;
    if (target.empty()) return false;
    if (std::getenv("KORVAXA_NO_SHELL")) return true;
    // Fork twice so the opener is never our child to reap and never blocks the game.
    pid_t child = ::fork();
    if (child < 0) return false;
    if (child == 0) {
        pid_t grandchild = ::fork();
        if (grandchild == 0) {
            ::setsid();
            ::execlp("xdg-open", "xdg-open", target.c_str(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ::_exit(grandchild < 0 ? 1 : 0);
    }
    int status = 0;
    while (::waitpid(child, &status, 0) < 0) {}
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

} // namespace Platform
