#pragma once
// Reading game files from disk. Only regular files are opened: a folder, a FIFO or a device
// (also behind a symbolic link) under a game file's name is refused at once, without blocking
// on a FIFO that has no writer, and every whole-file read is bounded by the file's size and by a
// maximum the caller gives, so that neither a device of endless bytes nor a huge file can take
// all memory.

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace Platform {

// The largest data file (a texture, a sound, a script, a file inside a pack) read whole.
constexpr std::uint64_t kMaxDataFileBytes = std::uint64_t(256) << 20;
// Settings and key bindings are a few hundred short lines of text.
constexpr std::uint64_t kMaxSettingsFileBytes = std::uint64_t(1) << 20;

// Opens realPath for reading if it is a regular file: a descriptor (the caller closes it) and
// its size, or -1 and the reason in error.
int OpenRegularFile(const std::string& realPath, std::uint64_t* size = nullptr, std::string* error = nullptr);
// The same as a stdio stream opened "rb"; nullptr and the reason on failure.
std::FILE* OpenRegularFileStream(const std::string& realPath, std::uint64_t* size = nullptr,
                                 std::string* error = nullptr);

// Reads a whole regular file of at most maxBytes. False, with the reason, when it is not a
// regular file, is larger than maxBytes, or cannot be read to its end; out is then empty.
bool ReadRegularFile(const std::string& realPath, std::uint64_t maxBytes, std::string& out,
                     std::string* error = nullptr);
bool ReadRegularFile(const std::string& realPath, std::uint64_t maxBytes, std::vector<std::uint8_t>& out,
                     std::string* error = nullptr);

// Opens realPath to be written from its start ("wb+"), creating it: nullptr and the reason when
// something other than a regular file is there (which is left untouched) or it cannot be opened.
std::FILE* OpenRegularFileForWriting(const std::string& realPath, std::string* error = nullptr);

// Why a path that exists cannot be taken as a regular file ("a folder", "a FIFO", "a device",
// ...), from its file mode; empty for a regular file.
std::string NotRegularReason(unsigned mode);

} // namespace Platform
