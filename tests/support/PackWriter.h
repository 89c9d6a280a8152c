#pragma once
// Builds pack files for loader tests: the index tree, per-file scrambling with
// the engine's key table, and raw pieces for corrupt and hostile variants.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kxtest {

// Little-endian helpers for hand-made binary fixtures.
void AppendInt(std::string& out, std::int32_t value);
void AppendUint(std::string& out, std::uint32_t value);
void AppendFloat(std::string& out, float value);
// A 32-bit length and the bytes.
void AppendString(std::string& out, std::string_view text);

std::string Scrambled(std::string bytes);
std::string Unscrambled(std::string bytes);

class PackWriter {
public:
    // Every path is under one root folder node, "data" unless told otherwise.
    explicit PackWriter(std::string rootName = "data") : m_rootName(std::move(rootName)) {}

    // Adds a file below the root ("textures\\a.tga" or "textures/a.tga"); folders
    // are made as needed. Adding the same path twice keeps both nodes, in order.
    void AddFile(std::string_view pathUnderRoot, std::string_view content);
    // An empty folder node.
    void AddFolder(std::string_view pathUnderRoot);

    // The unscrambled index and the unscrambled data area, as they would be stored.
    std::string BuildIndex() const;
    // The whole pack file.
    std::string Build() const;

    // A pack from raw parts: the index (scrambled here unless told otherwise) and a
    // data area given as stored (already scrambled), with any magic and length.
    static std::string Assemble(std::string_view plainIndex, std::string_view storedData,
                                std::uint32_t magic = 0xAF1627C4u,
                                std::optional<std::int32_t> indexLength = std::nullopt);
    // One raw index node.
    static std::string Node(std::string_view name, std::int32_t offset, std::int32_t size, std::int32_t childCount);

private:
    struct Entry {
        std::string name;
        bool folder = false;
        std::string content;
        std::vector<Entry> children;
    };
    Entry* Folder(const std::vector<std::string>& parts);
    void Emit(const Entry& entry, std::string& index, std::string& data) const;

    std::string m_rootName;
    std::vector<Entry> m_entries; // children of the root, in order
};

} // namespace kxtest
