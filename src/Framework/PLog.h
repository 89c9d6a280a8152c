#pragma once
// The engine log. Error texts of the renderer, input, sound, the script host and
// the leak report are handed here; by default they go nowhere. Printing never
// fails and never blocks. Tests may install a sink to see the lines.

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

private:
    CPLog() = default;
    Sink m_sink;
};
