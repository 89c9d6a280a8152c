#include "Platform/System/AtomicFile.h"

#include "Platform/Base/AsciiCase.h"
#include "Platform/System/Paths.h"
#include "Platform/System/RegularFile.h"

#include <algorithm>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Platform {

namespace {
AtomicWriteFault g_fault = AtomicWriteFault::None;
std::vector<FailedGameWrite> g_failedWrites;

constexpr std::string_view kTemporaryMark = ".tmp";
constexpr std::size_t kTemporarySuffixLength = 6; // mkstemp's XXXXXX

// The rename is only durable once the folder that holds the new name is on disk too. File
// systems that cannot sync a folder answer EINVAL; the file itself is already safe then.
void SyncFolderOf(const std::string& realPath) {
    const std::size_t slash = realPath.find_last_of('/');
    const std::string folder = slash == std::string::npos ? "." : (slash == 0 ? "/" : realPath.substr(0, slash));
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

constexpr bool IsAsciiAlnum(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool IsTemporaryOf(const std::string& entry, const std::vector<std::string>& names) {
    const std::size_t tail = kTemporaryMark.size() + kTemporarySuffixLength;
    if (entry.size() <= tail) return false;
    const std::string_view base(entry.data(), entry.size() - tail);
    const std::string_view mark(entry.data() + base.size(), kTemporaryMark.size());
    if (mark != kTemporaryMark) return false;
    for (std::size_t i = entry.size() - kTemporarySuffixLength; i < entry.size(); ++i)
        if (!IsAsciiAlnum(entry[i])) return false;
    for (const std::string& name : names)
        if (AsciiLower(name) == AsciiLower(base)) return true;
    return false;
}

bool Fail(std::string* error, const std::string& what) {
    if (error) *error = what;
    return false;
}
} // namespace

void SetAtomicWriteFault(AtomicWriteFault fault) { g_fault = fault; }

bool AtomicWriteFile(const std::string& realPath, const void* data, std::size_t size, std::string* error) {
    if (realPath.empty()) return Fail(error, "empty path");
    // Only a regular file (or a link to one) is replaced: renaming over a FIFO or a device, or
    // over a link to one, would silently put a file where the player had something else.
    struct stat target;
    if (::lstat(realPath.c_str(), &target) == 0) {
        const bool link = S_ISLNK(target.st_mode);
        if (link && ::stat(realPath.c_str(), &target) != 0) target.st_mode = S_IFREG; // a dangling link
        if (!S_ISREG(target.st_mode))
            return Fail(error, realPath + (link ? " links to " : " is ") + NotRegularReason(target.st_mode) +
                                   ", not a regular file; it is left as it is");
    }
    std::string temp = realPath + ".tmpXXXXXX";
    int fd = ::mkstemp(temp.data());
    if (fd < 0) return Fail(error, "cannot create a temporary file beside " + realPath + ": " + std::strerror(errno));

    auto abandon = [&](const std::string& what) {
        ::close(fd);
        ::unlink(temp.c_str());
        return Fail(error, what);
    };

    const char* bytes = static_cast<const char*>(data);
    std::size_t written = 0;
    std::size_t limit = size;
    if (g_fault == AtomicWriteFault::ShortWrite && size > 0) limit = size / 2;
    while (written < limit) {
        ssize_t n = ::write(fd, bytes + written, limit - written);
        if (n < 0) {
            if (errno == EINTR) continue;
            return abandon(std::string("write failed: ") + std::strerror(errno));
        }
        if (n == 0) break;
        written += static_cast<std::size_t>(n);
    }
    if (written != size) return abandon("short write to " + temp);
    if (g_fault == AtomicWriteFault::SyncFails || ::fsync(fd) != 0) return abandon("flush to disk failed for " + temp);
    // mkstemp makes the file private; give the new file the old one's mode, or the usual one.
    struct stat old;
    ::fchmod(fd, ::stat(realPath.c_str(), &old) == 0 ? (old.st_mode & 07777) : 0644);
    if (::close(fd) != 0) {
        ::unlink(temp.c_str());
        return Fail(error, "close failed for " + temp);
    }
    if (g_fault == AtomicWriteFault::RenameFails || ::rename(temp.c_str(), realPath.c_str()) != 0) {
        ::unlink(temp.c_str());
        return Fail(error, "cannot replace " + realPath + ": " + std::strerror(errno));
    }
    SyncFolderOf(realPath);
    return true;
}

namespace {
bool WriteGameFile(std::string_view gamePath, const void* data, std::size_t size, std::string& error) {
    auto real = GamePaths().ResolveForWrite(gamePath, true);
    if (!real) return Fail(&error, "cannot create the folders of " + std::string(gamePath));
    if (!AtomicWriteFile(*real, data, size, &error)) return false;
    GamePaths().NoteCreated(*real);
    return true;
}

void NoteWriteResult(std::string_view gamePath, bool written, const std::string& reason) {
    const std::string key = AsciiLower(gamePath);
    g_failedWrites.erase(std::remove_if(g_failedWrites.begin(), g_failedWrites.end(),
                                        [&key](const FailedGameWrite& f) { return AsciiLower(f.path) == key; }),
                         g_failedWrites.end());
    if (!written) g_failedWrites.push_back({std::string(gamePath), reason});
}
} // namespace

bool WriteGameFileAtomic(std::string_view gamePath, const void* data, std::size_t size, std::string* error) {
    std::string reason;
    const bool written = WriteGameFile(gamePath, data, size, reason);
    NoteWriteResult(gamePath, written, reason);
    if (!written && error) *error = reason;
    return written;
}

std::vector<FailedGameWrite> FailedGameWrites() { return g_failedWrites; }

void ClearFailedGameWrites() { g_failedWrites.clear(); }

int RemoveStaleTemporaries(std::string_view gameFolder, const std::vector<std::string>& names) {
    const auto folder = GamePaths().Resolve(gameFolder);
    const auto entries = GamePaths().List(gameFolder);
    if (!folder || !entries) return 0;
    int removed = 0;
    for (const std::string& entry : *entries) {
        if (!IsTemporaryOf(entry, names)) continue;
        const std::string real = *folder + "/" + entry;
        struct stat info;
        // Only files the writer could have made: never a folder or anything that is not a file.
        if (::lstat(real.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) continue;
        if (::unlink(real.c_str()) == 0) ++removed;
    }
    if (removed) GamePaths().Refresh();
    return removed;
}

} // namespace Platform
