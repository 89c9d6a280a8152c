#pragma once
// Pack files: scrambled archives of the data tree in the "data" folder, named
// "game<number>.dat". A higher number overrides the same paths in lower ones.
//
// Layout (little-endian): magic 0xAF1627C4, index length L, the index (scrambled
// as one buffer), then each file's bytes scrambled separately. Index nodes, depth
// first: name length, name, offset (negative for a folder; else relative to the
// data area at 8 + L), size, child count.

#include "Platform/Base/WinTypes.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace Platform {
class GamePath;
}

constexpr std::uint32_t kPackMagic = 0xAF1627C4u;
constexpr int kScrambleKeyLength = 1933;
// No path in a pack index is this long or longer: an index that holds one is refused.
constexpr std::size_t kMaxPackPath = 1024;
// A pack index is read whole into memory and walked node by node: a longer one is refused before
// it is read, so a hostile pack cannot hold the start for long or take much memory. Real indexes
// take some tens of bytes per file.
constexpr std::size_t kMaxPackIndexBytes = std::size_t(64) << 20;
// File nodes of one index, repeated names included; each costs a look-up when mounting.
constexpr std::size_t kMaxPackFiles = std::size_t(1) << 20;
// The paths of all the files of one pack index together stay below this many bytes. A file node
// costs a few bytes of index but may store a path of up to kMaxPackPath, so without this a small
// hostile index could make the mounted paths take a hundred times its size.
constexpr std::size_t kMaxPackPathBytes = std::size_t(64) << 20;

// A little-endian 32-bit value, as the data files and the pack index store numbers.
inline std::int32_t ReadLE32(const std::uint8_t* p) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
                                     (static_cast<std::uint32_t>(p[2]) << 16) |
                                     (static_cast<std::uint32_t>(p[3]) << 24));
}

// Adds (scramble) or subtracts (unscramble) key[i % 1933] to byte i, modulo 256.
void ScrambleBuffer(std::uint8_t* data, std::size_t size);
void UnscrambleBuffer(std::uint8_t* data, std::size_t size);
inline void ScrambleBuffer(std::vector<std::uint8_t>& data) { ScrambleBuffer(data.data(), data.size()); }
inline void UnscrambleBuffer(std::vector<std::uint8_t>& data) { UnscrambleBuffer(data.data(), data.size()); }
const std::uint8_t* ScrambleKeyTable();

// The form every path takes as a pack index key: lower case, "\" separators,
// no empty, "." or ".." components.
std::string NormalisePackPath(std::string_view path);
// The same into a string the caller keeps, which mounting reuses for every node.
void NormalisePackPathInto(std::string_view path, std::string& key);
// The same key from a path already taken apart (and lower-cased) for the resolver.
std::string PackKey(const Platform::GamePath& path);

struct SPPackEntry {
    std::int64_t position = 0; // absolute position in the pack file
    std::int32_t size = 0;
};

class CPPackFile {
public:
    CPPackFile(int number, std::string path) : m_number(number), m_path(std::move(path)) {}

    int GetNumber() const { return m_number; }
    const std::string& GetPath() const { return m_path; }
    const SPPackEntry* Find(const std::string& normalisedPath) const;
    std::size_t EntryCount() const { return m_index.size(); }
    // Every file of the index by its normalised path.
    const std::unordered_map<std::string, SPPackEntry>& Entries() const { return m_index; }

    // Reads and checks the index; on any fault the index stays empty and E_FAIL is answered.
    HRESULT ReadIndex();

private:
    int m_number;
    std::string m_path; // "Data\" and the name as found
    std::unordered_map<std::string, SPPackEntry> m_index;
};

// Finds and indexes every pack in "data\"; E_FAIL when one could not be read
// (the others are still mounted). Replaces what was mounted before.
HRESULT MountPacks();
// Forgets every mounted pack.
void UnmountPacks();
// The mounted packs, highest number first.
const std::vector<CPPackFile>& MountedPacks();

// Whether a folder entry's name makes it a pack ("game" at the start and "dat"
// at the end, case-sensitive), and the number written between them.
bool IsPackFileName(const std::string& name);
int PackNumberFromName(const std::string& name);
