#include "Platform/System/FileTrace.h"

#include "Platform/System/Paths.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace Platform {

namespace {

std::FILE* g_trace = nullptr;

// A field never holds the separators of the line form.
void AppendField(std::string& line, std::string_view text) {
    for (char c : text) line += (c == '\t' || c == '\n' || c == '\r') ? ' ' : c;
}

void Emit(std::string_view kind, std::string_view first, std::string_view second = {}, bool hasSecond = false) {
    if (!g_trace) return;
    std::string line(kind);
    line += '\t';
    AppendField(line, first);
    if (hasSecond) {
        line += '\t';
        AppendField(line, second);
    }
    line += '\n';
    std::fwrite(line.data(), 1, line.size(), g_trace);
    std::fflush(g_trace);
}

// The file read, as a path below the game root where it is one.
std::string_view BelowRoot(std::string_view realPath) {
    const std::string& root = GamePaths().Root();
    if (!root.empty() && realPath.size() > root.size() && realPath.compare(0, root.size(), root) == 0 &&
        realPath[root.size()] == '/')
        return realPath.substr(root.size() + 1);
    return realPath;
}

} // namespace

bool OpenFileTrace(const std::string& path, std::string* error) {
    CloseFileTrace();
    if (path.empty()) {
        if (error) *error = "no file named";
        return false;
    }
    g_trace = std::fopen(path.c_str(), "ab");
    if (!g_trace) {
        if (error) *error = std::strerror(errno);
        return false;
    }
    return true;
}

void CloseFileTrace() {
    if (g_trace) std::fclose(g_trace);
    g_trace = nullptr;
}

bool IsFileTraceOpen() { return g_trace != nullptr; }

void TraceLooseFile(std::string_view path, std::string_view realPath) {
    if (g_trace) Emit("loose", path, BelowRoot(realPath), true);
}

void TracePackFile(std::string_view path, std::string_view pack) { Emit("pack", path, pack, true); }

void TraceMissingFile(std::string_view path) { Emit("missing", path); }

void TraceLogLine(std::string_view text) { Emit("log", text); }

} // namespace Platform
