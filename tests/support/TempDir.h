#pragma once
// Temporary folders and game roots for tests: made fresh, removed with everything in them.

#include <string>
#include <string_view>

namespace kxtest {

class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& Path() const { return m_path; }
    // Writes a file at a real relative path (forward slashes, exact case), creating folders.
    std::string Write(std::string_view relative, std::string_view content) const;
    std::string Read(std::string_view relative) const;
    bool Exists(std::string_view relative) const;
    void MakeDir(std::string_view relative) const;

private:
    std::string m_path;
};

// A temporary game root: the game's path resolver points at it while this lives.
// Its Write and MakeDir also tell the resolver, whose folder listings are cached.
class TempGameRoot : public TempDir {
public:
    TempGameRoot();
    ~TempGameRoot();

    std::string Write(std::string_view relative, std::string_view content) const;
    void MakeDir(std::string_view relative) const;

private:
    std::string m_previousRoot;
};

} // namespace kxtest
