#include "Platform/System/Paths.h"

#include "Platform/Base/AsciiCase.h"

#include <cerrno>
#include <dirent.h>
#include <sys/stat.h>

namespace Platform {

GamePath::GamePath(std::string_view path)
    : m_lowered(AsciiLower(path)), m_parts(PathResolver::Split(path)), m_lowerParts(PathResolver::Split(m_lowered)) {}

PathResolver::PathResolver(std::string root) { SetRoot(std::move(root)); }

void PathResolver::SetRoot(std::string root) {
    if (root.empty()) root = ".";
    while (root.size() > 1 && root.back() == '/') root.pop_back();
    m_root = std::move(root);
    m_cache.clear();
}

std::vector<std::string> PathResolver::Split(std::string_view gamePath) {
    std::vector<std::string> parts;
    std::string current;
    auto flush = [&] {
        if (current.empty() || current == ".") {
        } else if (current == "..") {
            if (!parts.empty()) parts.pop_back();
        } else {
            parts.push_back(current);
        }
        current.clear();
    };
    for (char c : gamePath) {
        if (c == '\\' || c == '/')
            flush();
        else
            current.push_back(c);
    }
    flush();
    return parts;
}

std::string PathResolver::Join(const std::string& dir, const std::string& name) const {
    if (dir == "/") return "/" + name;
    return dir + "/" + name;
}

const PathResolver::Listing* PathResolver::Scan(const std::string& realDir) {
    auto it = m_cache.find(realDir);
    if (it != m_cache.end()) return &it->second;
    DIR* dir = opendir(realDir.c_str());
    if (!dir) return nullptr;
    Listing listing;
    while (dirent* entry = readdir(dir)) {
        std::string name = entry->d_name;
        if (name == "." || name == "..") continue;
        listing.byLower.emplace(AsciiLower(name), name);
    }
    closedir(dir);
    return &m_cache.emplace(realDir, std::move(listing)).first->second;
}

std::optional<std::string> PathResolver::FindEntry(const std::string& realDir, const std::string& name,
                                                   const std::string& lowerName) {
    const Listing* listing = Scan(realDir);
    if (!listing) return std::nullopt;
    auto range = listing->byLower.equal_range(lowerName);
    if (range.first == range.second) return std::nullopt;
    // Prefer the exact spelling where folders hold names differing only in case.
    for (auto it = range.first; it != range.second; ++it)
        if (it->second == name) return it->second;
    return range.first->second;
}

std::optional<std::string> PathResolver::Locate(const GamePath& path, unsigned& mode) {
    const std::vector<std::string>& parts = path.Parts();
    const std::vector<std::string>& lower = path.LowerParts();
    std::string dir = m_root;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        auto found = FindEntry(dir, parts[i], lower[i]);
        if (!found) return std::nullopt;
        dir = Join(dir, *found);
    }
    struct stat st;
    if (::stat(dir.c_str(), &st) != 0) {
        // The cache said it exists but it is gone: forget the listings so the next look reads the disk.
        m_cache.clear();
        return std::nullopt;
    }
    mode = st.st_mode;
    return dir;
}

std::optional<std::string> PathResolver::Resolve(const GamePath& path) {
    unsigned mode = 0;
    return Locate(path, mode);
}

std::optional<std::string> PathResolver::ResolveFile(const GamePath& path) {
    unsigned mode = 0;
    auto real = Locate(path, mode);
    if (real && !S_ISREG(mode)) return std::nullopt;
    return real;
}

bool PathResolver::IsDirectory(std::string_view gamePath) {
    unsigned mode = 0;
    return Locate(GamePath(gamePath), mode) && S_ISDIR(mode);
}

std::optional<std::vector<std::string>> PathResolver::List(std::string_view gameFolder) {
    auto real = Resolve(gameFolder);
    if (!real) return std::nullopt;
    const Listing* listing = Scan(*real);
    if (!listing) return std::nullopt;
    std::vector<std::string> names;
    for (const auto& [lower, name] : listing->byLower) names.push_back(name);
    return names;
}

std::optional<std::string> PathResolver::ResolveForWrite(std::string_view gamePath, bool createFolders) {
    const GamePath path(gamePath);
    const std::vector<std::string>& parts = path.Parts();
    const std::vector<std::string>& lower = path.LowerParts();
    if (parts.empty()) return std::nullopt;
    std::string dir = m_root;
    for (std::size_t i = 0; i + 1 < parts.size(); ++i) {
        auto found = FindEntry(dir, parts[i], lower[i]);
        if (found) {
            dir = Join(dir, *found);
            continue;
        }
        if (!createFolders) return std::nullopt;
        std::string created = Join(dir, parts[i]);
        if (::mkdir(created.c_str(), 0777) != 0 && errno != EEXIST) return std::nullopt;
        NoteCreated(created);
        dir = created;
    }
    auto existing = FindEntry(dir, parts.back(), lower.back());
    return Join(dir, existing ? *existing : parts.back());
}

void PathResolver::NoteCreated(const std::string& realPath) {
    auto slash = realPath.find_last_of('/');
    std::string parent =
        slash == std::string::npos ? std::string(".") : (slash == 0 ? std::string("/") : realPath.substr(0, slash));
    std::string name = slash == std::string::npos ? realPath : realPath.substr(slash + 1);
    auto it = m_cache.find(parent);
    if (it == m_cache.end()) return; // not cached yet: the next scan sees it
    std::string lower = AsciiLower(name);
    auto range = it->second.byLower.equal_range(lower);
    for (auto e = range.first; e != range.second; ++e)
        if (e->second == name) return;
    it->second.byLower.emplace(std::move(lower), name);
}

void PathResolver::Refresh() { m_cache.clear(); }

PathResolver& GamePaths() {
    static PathResolver resolver(".");
    return resolver;
}

} // namespace Platform
