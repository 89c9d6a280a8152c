#include "Platform/System/AtomicFile.h"

#include "Platform/System/Paths.h"
#include "Platform/System/RegularFile.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Platform {

namespace {
AtomicWriteFault g_fault = AtomicWriteFault::None;

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
        return Fail(error, "cannot replace " + realPath);
    }
    return true;
}

bool WriteGameFileAtomic(std::string_view gamePath, const void* data, std::size_t size, std::string* error) {
    auto real = GamePaths().ResolveForWrite(gamePath, true);
    if (!real) return Fail(error, "cannot create the folders of " + std::string(gamePath));
    if (!AtomicWriteFile(*real, data, size, error)) return false;
    GamePaths().NoteCreated(*real);
    return true;
}

} // namespace Platform
