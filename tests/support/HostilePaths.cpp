#include "support/HostilePaths.h"

#include <climits>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

namespace kxtest {

namespace {
constexpr char kUnreadableText[] = "screenWidth = 1\n";
}

const std::vector<HostileCase>& HostileCases() {
    static const std::vector<HostileCase> cases = {{HostileKind::Folder, "folder"},
                                                   {HostileKind::Fifo, "FIFO without a writer"},
                                                   {HostileKind::LinkToDevZero, "link to /dev/zero"},
                                                   {HostileKind::Unreadable, "unreadable file"}};
    return cases;
}

bool MakeHostile(HostileKind kind, const std::string& realPath) {
    switch (kind) {
    case HostileKind::Folder: return ::mkdir(realPath.c_str(), 0755) == 0;
    case HostileKind::Fifo: return ::mkfifo(realPath.c_str(), 0644) == 0;
    case HostileKind::LinkToDevZero: return ::symlink("/dev/zero", realPath.c_str()) == 0;
    case HostileKind::Unreadable: {
        std::ofstream(realPath, std::ios::binary) << kUnreadableText;
        if (::chmod(realPath.c_str(), 0) != 0) return false;
        // With rights that read everything, the file is not unreadable at all.
        return ::access(realPath.c_str(), R_OK) != 0;
    }
    }
    return false;
}

bool HostileIntact(HostileKind kind, const std::string& realPath) {
    struct stat st;
    if (::lstat(realPath.c_str(), &st) != 0) return false;
    switch (kind) {
    case HostileKind::Folder: return S_ISDIR(st.st_mode);
    case HostileKind::Fifo: return S_ISFIFO(st.st_mode);
    case HostileKind::LinkToDevZero: {
        char target[PATH_MAX];
        const ssize_t n = ::readlink(realPath.c_str(), target, sizeof target);
        return S_ISLNK(st.st_mode) && n > 0 && std::string(target, static_cast<std::size_t>(n)) == "/dev/zero";
    }
    case HostileKind::Unreadable:
        return S_ISREG(st.st_mode) && st.st_size == static_cast<off_t>(sizeof kUnreadableText - 1);
    }
    return false;
}

} // namespace kxtest
