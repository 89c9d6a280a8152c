#pragma once
// Replacing a file so that a crash or a full disk never leaves it truncated: the bytes go to a
// temporary file in the same folder, are flushed to disk, and the temporary is renamed over the
// target. On any failure the old file is left as it was and the temporary is removed.

#include <cstddef>
#include <string>
#include <string_view>

namespace Platform {

// realPath is a path on disk (already resolved). error, when given, receives the reason.
bool AtomicWriteFile(const std::string& realPath, const void* data, std::size_t size, std::string* error = nullptr);

// The same for a game path: folders of any case are reused, missing ones created, and the
// path cache learns of the new file.
bool WriteGameFileAtomic(std::string_view gamePath, const void* data, std::size_t size, std::string* error = nullptr);

// Test hook: make the next writes fail at one step, as a full disk or a failing device would.
enum class AtomicWriteFault { None, ShortWrite, SyncFails, RenameFails };
void SetAtomicWriteFault(AtomicWriteFault fault);

} // namespace Platform
