#include "support/PackWriter.h"

#include "Framework/PackFile.h"

#include <cstring>

namespace kxtest {

void AppendUint(std::string& out, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

void AppendInt(std::string& out, std::int32_t value) { AppendUint(out, static_cast<std::uint32_t>(value)); }

void AppendFloat(std::string& out, float value) {
    std::uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    AppendUint(out, bits);
}

void AppendString(std::string& out, std::string_view text) {
    AppendInt(out, static_cast<std::int32_t>(text.size()));
    out.append(text);
}

std::string Scrambled(std::string bytes) {
    ScrambleBuffer(reinterpret_cast<std::uint8_t*>(bytes.data()), bytes.size());
    return bytes;
}

std::string Unscrambled(std::string bytes) {
    UnscrambleBuffer(reinterpret_cast<std::uint8_t*>(bytes.data()), bytes.size());
    return bytes;
}

namespace {
std::vector<std::string> SplitPath(std::string_view path) {
    std::vector<std::string> parts;
    std::string current;
    for (char c : path) {
        if (c == '\\' || c == '/') {
            if (!current.empty()) parts.push_back(current);
            current.clear();
        } else {
            current.push_back(c);
        }
    }
    if (!current.empty()) parts.push_back(current);
    return parts;
}
} // namespace

PackWriter::Entry* PackWriter::Folder(const std::vector<std::string>& parts) {
    std::vector<Entry>* level = &m_entries;
    Entry* folder = nullptr;
    for (const std::string& part : parts) {
        Entry* found = nullptr;
        for (Entry& e : *level)
            if (e.folder && e.name == part) found = &e;
        if (!found) {
            level->push_back(Entry{part, true, {}, {}});
            found = &level->back();
        }
        folder = found;
        level = &found->children;
    }
    return folder;
}

void PackWriter::AddFile(std::string_view pathUnderRoot, std::string_view content) {
    std::vector<std::string> parts = SplitPath(pathUnderRoot);
    if (parts.empty()) return;
    std::string name = parts.back();
    parts.pop_back();
    Entry* folder = Folder(parts);
    std::vector<Entry>& level = folder ? folder->children : m_entries;
    level.push_back(Entry{name, false, std::string(content), {}});
}

void PackWriter::AddFolder(std::string_view pathUnderRoot) { Folder(SplitPath(pathUnderRoot)); }

std::string PackWriter::Node(std::string_view name, std::int32_t offset, std::int32_t size, std::int32_t childCount) {
    std::string out;
    AppendString(out, name);
    AppendInt(out, offset);
    AppendInt(out, size);
    AppendInt(out, childCount);
    return out;
}

void PackWriter::Emit(const Entry& entry, std::string& index, std::string& data) const {
    if (entry.folder) {
        index += Node(entry.name, -1, 0, static_cast<std::int32_t>(entry.children.size()));
        for (const Entry& child : entry.children) Emit(child, index, data);
    } else {
        index += Node(entry.name, static_cast<std::int32_t>(data.size()),
                      static_cast<std::int32_t>(entry.content.size()), 0);
        data += Scrambled(entry.content);
    }
}

std::string PackWriter::BuildIndex() const {
    std::string index, data;
    Emit(Entry{m_rootName, true, {}, m_entries}, index, data);
    return index;
}

std::string PackWriter::Build() const {
    std::string index, data;
    Emit(Entry{m_rootName, true, {}, m_entries}, index, data);
    return Assemble(index, data);
}

std::string PackWriter::Assemble(std::string_view plainIndex, std::string_view storedData, std::uint32_t magic,
                                 std::optional<std::int32_t> indexLength) {
    std::string out;
    AppendUint(out, magic);
    AppendInt(out, indexLength ? *indexLength : static_cast<std::int32_t>(plainIndex.size()));
    out += Scrambled(std::string(plainIndex));
    out.append(storedData);
    return out;
}

} // namespace kxtest
