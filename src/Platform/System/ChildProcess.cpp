#include "Platform/System/ChildProcess.h"

#include <cerrno>
#include <csignal>
#include <cstring>

#include <poll.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace Platform {

namespace {

std::string SystemError(const char* what, int code) { return std::string(what) + ": " + std::strerror(code); }

// Milliseconds left until the deadline, rounded up so that poll does not wake before it; 0 once
// it has passed.
int MillisecondsLeft(ChildProcess::Deadline deadline) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return 0;
    return left.count() > 1000000 ? 1000000 : static_cast<int>(left.count());
}

// Waits until fd is ready for events; false with the reason when the deadline passes first.
bool WaitReady(int fd, short events, ChildProcess::Deadline deadline, std::string& error, bool& timedOut) {
    while (true) {
        pollfd p{fd, events, 0};
        const int ready = ::poll(&p, 1, MillisecondsLeft(deadline));
        if (ready > 0) return true;
        if (ready == 0) {
            if (std::chrono::steady_clock::now() < deadline) continue;
            error = "no answer in time";
            timedOut = true;
            return false;
        }
        if (errno != EINTR) {
            error = SystemError("poll", errno);
            return false;
        }
    }
}

} // namespace

ChildProcess::~ChildProcess() { Kill(); }

bool ChildProcess::Start(const std::string& program, const std::vector<std::string>& args, std::string& error) {
    Kill();
    m_ending.clear();
    int sockets[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sockets) != 0) {
        error = SystemError("socketpair", errno);
        return false;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    // The duplicates lose the close-on-exec flag; the originals keep it, so the program holds
    // nothing of the game but these.
    posix_spawn_file_actions_adddup2(&actions, sockets[1], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, STDERR_FILENO, STDOUT_FILENO);
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = -1;
    const int spawned = ::posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(sockets[1]);
    if (spawned != 0) {
        ::close(sockets[0]);
        error = SystemError(("cannot start " + program).c_str(), spawned);
        return false;
    }
    m_pid = pid;
    m_socket = sockets[0];
    return true;
}

bool ChildProcess::Write(const void* data, size_t size, Deadline deadline, std::string& error) {
    m_timedOut = false;
    if (m_socket < 0) {
        error = "the program is not running";
        return false;
    }
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        if (!WaitReady(m_socket, POLLOUT, deadline, error, m_timedOut)) return false;
        // MSG_NOSIGNAL: a program that died turns into an error here, not a SIGPIPE in the game.
        const ssize_t n = ::send(m_socket, p, size, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n < 0) {
            if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK) continue;
            error = errno == EPIPE || errno == ECONNRESET ? "the program ended" : SystemError("send", errno);
            return false;
        }
        p += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

bool ChildProcess::Read(void* data, size_t size, Deadline deadline, std::string& error) {
    m_timedOut = false;
    if (m_socket < 0) {
        error = "the program is not running";
        return false;
    }
    char* p = static_cast<char*>(data);
    while (size > 0) {
        if (!WaitReady(m_socket, POLLIN, deadline, error, m_timedOut)) return false;
        const ssize_t n = ::recv(m_socket, p, size, MSG_DONTWAIT);
        if (n == 0) {
            error = "the program ended";
            return false;
        }
        if (n < 0) {
            if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK) continue;
            error = errno == ECONNRESET ? "the program ended" : SystemError("recv", errno);
            return false;
        }
        p += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

void ChildProcess::Kill() {
    if (m_socket >= 0) {
        ::close(m_socket);
        m_socket = -1;
    }
    if (m_pid <= 0) return;
    ::kill(m_pid, SIGKILL);
    int status = 0;
    while (::waitpid(m_pid, &status, 0) < 0 && errno == EINTR) {}
    Reap(status);
}

bool ChildProcess::HasEnded() {
    if (m_pid <= 0) return true;
    int status = 0;
    if (::waitpid(m_pid, &status, WNOHANG) != m_pid) return false;
    Reap(status);
    if (m_socket >= 0) {
        ::close(m_socket);
        m_socket = -1;
    }
    return true;
}

void ChildProcess::Reap(int status) {
    m_pid = -1;
    if (WIFSIGNALED(status))
        m_ending = "killed by signal " + std::to_string(WTERMSIG(status)) + " (" + strsignal(WTERMSIG(status)) + ")";
    else if (WIFEXITED(status))
        m_ending = "exited with status " + std::to_string(WEXITSTATUS(status));
    else
        m_ending = "ended";
}

} // namespace Platform
