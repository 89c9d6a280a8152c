#pragma once
// The engine log. Error texts of the renderer, input, sound, the script host and
// the leak report are handed here. Tests may install a sink to see the lines; the
// running game opens the process log, which shows every line on standard error and
// keeps it for "korvaxa.log" in the game root. While the file trace is open, every line goes
// there too, marked as a log line. Printing never fails.

#include <cstddef>
#include <functional>
#include <string>

class CPLog {
public:
    static CPLog& Instance();

    bool IsReady() const { return true; }
    void Print(int level, const char* format, ...) __attribute__((format(printf, 3, 4)));

    using Sink = std::function<void(int level, const std::string& text)>;
    // Installs a receiver of every printed line (empty: discard again).
    void SetSink(Sink sink) { m_sink = std::move(sink); }

    // Starts the process log: the file at this game path is replaced at once by an empty
    // one (each run's log stands alone), and from now on every line goes to standard error
    // and into the log, which keeps at most kMaxFileBytes of them.
    void OpenProcessLog(const std::string& gamePath);
    // Writes the kept lines to the file, replacing it whole, and stops the process log.
    // Answers false (with the reason on standard error) when the file could not be written.
    bool CloseProcessLog();
    // What the file would hold now.
    const std::string& ProcessLogText() const { return m_fileText; }

    static constexpr std::size_t kMaxFileBytes = 1u << 20;

private:
    CPLog() = default;
    void Keep(const std::string& line);

    Sink m_sink;
    std::string m_filePath; // empty: no process log
    std::string m_fileText;
    std::size_t m_droppedLines = 0;
};
