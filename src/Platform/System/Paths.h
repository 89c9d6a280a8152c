#pragma once
// Game paths are Windows-style and of any case ("Data\Scripts\list.dat", "data/TEXTURES/a.DDS").
// The resolver finds each component case-insensitively under the game root, caching directory
// listings; what the engine creates through it is added to the cache at once.

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace Platform {

// A game path taken apart once: lower-cased once, split into its components as written and in
// lower case. The resolver looks each name up by its lower case and prefers the written
// spelling; the pack index keys on the lower case. Built once, it serves every look-up of the
// same path.
class GamePath {
public:
    explicit GamePath(std::string_view path);

    // The whole path in lower case, separators as given.
    const std::string& Lowered() const { return m_lowered; }
    const std::vector<std::string>& Parts() const { return m_parts; }
    const std::vector<std::string>& LowerParts() const { return m_lowerParts; }

private:
    std::string m_lowered;
    std::vector<std::string> m_parts, m_lowerParts;
};

class PathResolver {
public:
    explicit PathResolver(std::string root = ".");

    void SetRoot(std::string root);
    const std::string& Root() const { return m_root; }

    // The real path of an existing file or folder, or nothing.
    std::optional<std::string> Resolve(std::string_view gamePath) { return Resolve(GamePath(gamePath)); }
    std::optional<std::string> Resolve(const GamePath& path);
    // The real path of an existing regular file (no folder), or nothing: one stat.
    std::optional<std::string> ResolveFile(const GamePath& path);
    bool Exists(std::string_view gamePath) { return Resolve(gamePath).has_value(); }
    bool IsDirectory(std::string_view gamePath);

    // The real path to write a file at: existing folders of any case are reused, missing ones
    // are created (when createFolders), and an existing file of another case is replaced rather
    // than doubled. Nothing when a folder cannot be created.
    std::optional<std::string> ResolveForWrite(std::string_view gamePath, bool createFolders = true);

    // The real entries of a folder (names as on disk), or nothing if it does not exist.
    std::optional<std::vector<std::string>> List(std::string_view gameFolder);

    // Tells the cache that a file or folder now exists at this real path.
    void NoteCreated(const std::string& realPath);
    // Forgets every cached listing.
    void Refresh();

    // Splits a game path into its components ("a\\b//c" -> a, b, c); "." is dropped and ".."
    // climbs, never above the root.
    static std::vector<std::string> Split(std::string_view gamePath);

private:
    struct Listing {
        std::multimap<std::string, std::string> byLower; // lower-case name -> name on disk
    };
    const Listing* Scan(const std::string& realDir);
    std::optional<std::string> FindEntry(const std::string& realDir, const std::string& name,
                                         const std::string& lowerName);
    // Walks the components and stats the result once: its real path and file mode, or nothing.
    std::optional<std::string> Locate(const GamePath& path, unsigned& mode);
    std::string Join(const std::string& dir, const std::string& name) const;

    std::string m_root;
    std::map<std::string, Listing> m_cache; // real folder path -> listing
};

// The resolver of the running game: rooted at the working directory unless told otherwise.
PathResolver& GamePaths();

} // namespace Platform
