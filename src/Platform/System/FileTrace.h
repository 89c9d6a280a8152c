#pragma once
// The file trace of reproducible test runs: when open, every look-up of a data file (found as a
// loose file, found in a pack, or missing) and every line of the engine log is appended to one
// text file, a line each, flushed at once so a run that is stopped keeps what it did.
//
// Line forms (fields separated by one tab; paths as the game asked for them, lower case):
//   loose   <path>  <file read, relative to the game root>
//   pack    <path>  <pack that held it>
//   missing <path>
//   log     <log line>

#include <string>
#include <string_view>

namespace Platform {

// Starts appending to the file at this path of the machine (not a game path). False, with the
// reason, when it cannot be opened; the trace is then off.
bool OpenFileTrace(const std::string& path, std::string* error = nullptr);
// Stops the trace and closes the file.
void CloseFileTrace();
bool IsFileTraceOpen();

void TraceLooseFile(std::string_view path, std::string_view realPath);
void TracePackFile(std::string_view path, std::string_view pack);
void TraceMissingFile(std::string_view path);
// One log line; line breaks inside it become spaces.
void TraceLogLine(std::string_view text);

} // namespace Platform
