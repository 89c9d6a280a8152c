#include "Framework/PLog.h"

#include "Platform/System/AtomicFile.h"
#include "Platform/System/FileTrace.h"
#include "Platform/System/NumberText.h"
#include "Platform/System/Paths.h"

#include <cstdarg>
#include <cstdio>

namespace {
// Callers compose their texts with line breaks before, inside and after ("\nScript Error!\n...");
// in the log each event is one line, its parts joined by a space.
std::string OneLine(const std::string& text) {
    std::string line;
    bool pendingSpace = false;
    for (char c : text) {
        if (c == '\n' || c == '\r') {
            pendingSpace = !line.empty();
            continue;
        }
        if (pendingSpace) line += ' ';
        pendingSpace = false;
        line += c;
    }
    return line + '\n';
}
} // namespace

CPLog& CPLog::Instance() {
    static CPLog log;
    return log;
}

void CPLog::Print(int level, const char* format, ...) {
    const bool traced = Platform::IsFileTraceOpen();
    if ((!m_sink && m_filePath.empty() && !traced) || !format) return;
    va_list args;
    va_start(args, format);
    std::string text = Platform::FormatCV(format, args);
    va_end(args);
    if (m_sink) m_sink(level, text);
    if (m_filePath.empty() && !traced) return;
    const std::string line = OneLine(text);
    if (traced) Platform::TraceLogLine(std::string_view(line).substr(0, line.size() - 1));
    if (m_filePath.empty()) return;
    std::fputs(line.c_str(), stderr);
    Keep(line);
}

void CPLog::Keep(const std::string& line) {
    // A script printing an error every frame must not grow the log without end: the first
    // lines are the ones that tell what went wrong.
    if (m_droppedLines == 0 && m_fileText.size() + line.size() <= kMaxFileBytes)
        m_fileText += line;
    else
        ++m_droppedLines;
}

namespace {
// The log goes through the atomic writer but is not one of the game's saves: its own failure
// is reported on standard error and never counted among what shut-down could not save.
bool WriteLogFile(const std::string& gamePath, const std::string& text, std::string& error) {
    const auto real = Platform::GamePaths().ResolveForWrite(gamePath, true);
    if (!real) {
        error = "cannot create its folder";
        return false;
    }
    if (!Platform::AtomicWriteFile(*real, text.data(), text.size(), &error)) return false;
    Platform::GamePaths().NoteCreated(*real);
    return true;
}
} // namespace

void CPLog::OpenProcessLog(const std::string& gamePath) {
    m_filePath = gamePath;
    m_fileText.clear();
    m_droppedLines = 0;
    std::string error;
    if (!WriteLogFile(m_filePath, "", error))
        std::fprintf(stderr, "Korvaxa: the log \"%s\" cannot be written: %s\n", m_filePath.c_str(), error.c_str());
}

bool CPLog::CloseProcessLog() {
    if (m_filePath.empty()) return true;
    std::string text = m_fileText;
    if (m_droppedLines)
        text += Platform::FormatC("... %zu more lines were not kept (the log keeps its first %zu bytes)\n",
                                  m_droppedLines, kMaxFileBytes);
    std::string error;
    const bool written = WriteLogFile(m_filePath, text, error);
    if (!written)
        std::fprintf(stderr, "Korvaxa: the log \"%s\" cannot be written: %s\n", m_filePath.c_str(), error.c_str());
    m_filePath.clear();
    m_fileText.clear();
    m_droppedLines = 0;
    return written;
}
