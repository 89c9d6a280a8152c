#pragma once
// Walks the entries of one folder that match a wildcard pattern ("data\*.*",
// "Data\Textures\*.dds"). Folder names resolve case-insensitively under the game
// root; the name part matches case-insensitively with '*' and '?'.

#include "Platform/Base/WinTypes.h"

#include <cstdint>
#include <string>
#include <vector>

constexpr std::uint32_t FILE_ATTRIBUTE_DIRECTORY = 0x10;
constexpr std::uint32_t FILE_ATTRIBUTE_NORMAL = 0x80;

// What the search tells about one entry.
struct SPFindData {
    std::uint32_t attributes = 0;
    std::string name; // as on disk
    std::uint64_t size = 0;
    bool IsDirectory() const { return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0; }
};

class CPFileFinder {
public:
    explicit CPFileFinder(std::string pattern);
    virtual ~CPFileFinder();

    // S_OK with the first matching entry current, E_FAIL when nothing matches.
    HRESULT FindFirst();
    // The next matching entry; false at the end.
    bool FindNext();
    // Ends the search (also done by FindFirst again and by the destructor).
    void Close();

    const std::string& GetName() const { return m_current.name; }
    const SPFindData& GetFindData() const { return m_current; }

    // Windows-style name matching ('*', '?', case-insensitive; "*.*" matches every name).
    static bool MatchPattern(const std::string& mask, const std::string& name);

private:
    bool TakeEntry();

    std::string m_pattern;
    bool m_open = false;
    std::string m_realFolder;
    std::vector<std::string> m_entries;
    std::size_t m_next = 0;
    std::string m_mask;
    SPFindData m_current;
};
