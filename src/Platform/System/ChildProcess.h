#pragma once
// A helper program run beside the game and spoken to over one socket: its standard input is the
// game's end of a socket pair (it reads and answers there), its standard output goes to standard
// error so that nothing it prints can be taken for an answer. Every read and write has a deadline,
// so a helper that hangs costs at most that long; a helper that dies shows as a failed read or
// write, never as a signal in the game.

#include <chrono>
#include <cstddef>
#include <string>
#include <vector>

#include <sys/types.h>

namespace Platform {

class ChildProcess {
public:
    using Deadline = std::chrono::steady_clock::time_point;

    ChildProcess() = default;
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;
    ~ChildProcess(); // kills the program if it still runs

    // Starts program (a path) with the arguments after its name; false with the reason otherwise.
    bool Start(const std::string& program, const std::vector<std::string>& args, std::string& error);
    bool Running() const { return m_pid > 0; }
    pid_t Pid() const { return m_pid; }

    // All of data, or false with the reason (the program gone, or the deadline passed).
    bool Write(const void* data, size_t size, Deadline deadline, std::string& error);
    // Exactly size bytes, or false with the reason (the program gone, or the deadline passed).
    bool Read(void* data, size_t size, Deadline deadline, std::string& error);

    // Whether the last Read or Write failed because its deadline passed.
    bool TimedOut() const { return m_timedOut; }

    // Kills the program and waits for it; how it ended, as a phrase ("killed by signal 11",
    // "exited with status 1"), is kept for EndingDescription.
    void Kill();
    // Whether the program has ended on its own (without waiting); reaps it when it has.
    bool HasEnded();
    const std::string& EndingDescription() const { return m_ending; }

private:
    void Reap(int status);

    pid_t m_pid = -1;
    int m_socket = -1;
    std::string m_ending;
    bool m_timedOut = false;
};

} // namespace Platform
