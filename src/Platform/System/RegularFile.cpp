#include "Platform/System/RegularFile.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Platform {

namespace {

bool Fail(std::string* error, const std::string& what) {
    if (error) *error = what;
    return false;
}

template <class Buffer>
bool ReadWhole(const std::string& realPath, std::uint64_t maxBytes, Buffer& out, std::string* error) {
    out.clear();
    std::uint64_t size = 0;
    const int fd = OpenRegularFile(realPath, &size, error);
    if (fd < 0) return false;
    if (size > maxBytes) {
        ::close(fd);
        return Fail(error, realPath + " is larger than " + std::to_string(maxBytes) + " bytes");
    }
    out.resize(static_cast<std::size_t>(size));
    // The size taken when the file was opened bounds the read: a file that grows meanwhile is
    // read only that far, one that shrinks fails.
    std::size_t got = 0;
    while (got < out.size()) {
        const ssize_t n = ::read(fd, reinterpret_cast<char*>(out.data()) + got, out.size() - got);
        if (n < 0) {
            if (errno == EINTR) continue;
            const std::string reason = std::strerror(errno);
            ::close(fd);
            out.clear();
            return Fail(error, "cannot read " + realPath + ": " + reason);
        }
        if (n == 0) break;
        got += static_cast<std::size_t>(n);
    }
    ::close(fd);
    if (got != out.size()) {
        out.clear();
        return Fail(error, realPath + " shrank while it was read");
    }
    return true;
}

} // namespace

std::string NotRegularReason(unsigned mode) {
    if (S_ISREG(mode)) return std::string();
    if (S_ISDIR(mode)) return "a folder";
    if (S_ISFIFO(mode)) return "a FIFO";
    if (S_ISCHR(mode) || S_ISBLK(mode)) return "a device";
    if (S_ISSOCK(mode)) return "a socket";
    return "not a regular file";
}

int OpenRegularFile(const std::string& realPath, std::uint64_t* size, std::string* error) {
    // A look before opening keeps devices from being opened at all (opening one may have effects
    // of its own); the look at the opened descriptor settles it, whatever replaced the name since.
    struct stat st;
    if (::stat(realPath.c_str(), &st) != 0) {
        Fail(error, "cannot open " + realPath + ": " + std::strerror(errno));
        return -1;
    }
    if (!S_ISREG(st.st_mode)) {
        Fail(error, realPath + " is " + NotRegularReason(st.st_mode) + ", not a regular file");
        return -1;
    }
    // Without O_NONBLOCK, opening a FIFO that has no writer waits for one for ever.
    const int fd = ::open(realPath.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        Fail(error, "cannot open " + realPath + ": " + std::strerror(errno));
        return -1;
    }
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        const std::string reason = NotRegularReason(st.st_mode);
        ::close(fd);
        Fail(error, realPath + " is " + reason + ", not a regular file");
        return -1;
    }
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    if (size) *size = st.st_size > 0 ? static_cast<std::uint64_t>(st.st_size) : 0;
    return fd;
}

std::FILE* OpenRegularFileStream(const std::string& realPath, std::uint64_t* size, std::string* error) {
    const int fd = OpenRegularFile(realPath, size, error);
    if (fd < 0) return nullptr;
    std::FILE* file = ::fdopen(fd, "rb");
    if (!file) {
        Fail(error, "cannot open " + realPath + ": " + std::strerror(errno));
        ::close(fd);
    }
    return file;
}

std::FILE* OpenRegularFileForWriting(const std::string& realPath, std::string* error) {
    struct stat st;
    if (::stat(realPath.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
        Fail(error, realPath + " is " + NotRegularReason(st.st_mode) + ", not a regular file; it is left as it is");
        return nullptr;
    }
    const int fd = ::open(realPath.c_str(), O_RDWR | O_CREAT | O_NONBLOCK | O_CLOEXEC | O_NOCTTY, 0666);
    if (fd < 0) {
        Fail(error, "cannot open " + realPath + ": " + std::strerror(errno));
        return nullptr;
    }
    // Emptied only once the opened descriptor is known to be a regular file.
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        Fail(error, realPath + " is not a regular file; it is left as it is");
        return nullptr;
    }
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    std::FILE* file = ::ftruncate(fd, 0) == 0 ? ::fdopen(fd, "wb+") : nullptr;
    if (!file) {
        Fail(error, "cannot write " + realPath + ": " + std::strerror(errno));
        ::close(fd);
    }
    return file;
}

bool ReadRegularFile(const std::string& realPath, std::uint64_t maxBytes, std::string& out, std::string* error) {
    return ReadWhole(realPath, maxBytes, out, error);
}

bool ReadRegularFile(const std::string& realPath, std::uint64_t maxBytes, std::vector<std::uint8_t>& out,
                     std::string* error) {
    return ReadWhole(realPath, maxBytes, out, error);
}

} // namespace Platform
