#pragma once
// Replacing a file so that a crash or a full disk never leaves it truncated: the bytes go to a
// temporary file in the same folder, are flushed to disk, and the temporary is renamed over the
// target. On any failure the old file is left as it was and the temporary is removed.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace Platform {

// realPath is a path on disk (already resolved). error, when given, receives the reason.
bool AtomicWriteFile(const std::string& realPath, const void* data, std::size_t size, std::string* error = nullptr);

// The same for a game path: folders of any case are reused, missing ones created, and the
// path cache learns of the new file.
bool WriteGameFileAtomic(std::string_view gamePath, const void* data, std::size_t size, std::string* error = nullptr);

// The game paths whose last write failed since the process started, each with its reason (a
// later successful write of the same path takes it off the list), so shut-down can say what
// it could not save.
struct FailedGameWrite {
    std::string path;
    std::string reason;
};
std::vector<FailedGameWrite> FailedGameWrites();
void ClearFailedGameWrites();

// Removes what an interrupted write left in a folder of the game: temporaries of the writer's
// own pattern ("<name>.tmp" and six letters or digits) for one of the given file names (any
// case). Nothing else is touched. Answers how many were removed.
int RemoveStaleTemporaries(std::string_view gameFolder, const std::vector<std::string>& names);

// Test hook: make the next writes fail at one step, as a full disk or a failing device would.
enum class AtomicWriteFault { None, ShortWrite, SyncFails, RenameFails };
void SetAtomicWriteFault(AtomicWriteFault fault);

} // namespace Platform
