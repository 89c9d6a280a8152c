#include "Framework/PackFile.h"

#include "Framework/PFileFinder.h"
#include "Framework/PLog.h"
#include "Platform/Base/AsciiCase.h"
#include "Platform/System/FileTrace.h"
#include "Platform/System/NumberText.h"
#include "Platform/System/Paths.h"
#include "Platform/System/RegularFile.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <memory>

namespace {

// The engine's own key table, derived once from a fixed seed.
constexpr std::array<std::uint8_t, kScrambleKeyLength> MakeKeyTable() {
    std::array<std::uint8_t, kScrambleKeyLength> table{};
    std::uint32_t state = 0x6B3F1D27u;
    for (auto& byte : table) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        byte = static_cast<std::uint8_t>(state >> 11);
    }
    return table;
}
constexpr std::array<std::uint8_t, kScrambleKeyLength> kKeyTable = MakeKeyTable();

std::vector<CPPackFile>& Packs() {
    static std::vector<CPPackFile>* packs = new std::vector<CPPackFile>;
    return *packs;
}

struct FileCloser {
    void operator()(std::FILE* f) const {
        if (f) std::fclose(f);
    }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

} // namespace

const std::uint8_t* ScrambleKeyTable() { return kKeyTable.data(); }

// Key block by key block, so the inner loop runs over two plain arrays (no modulo per byte) and
// the compiler vectorises it. The key position restarts at 0 for every buffer.
template <class Op>
static void ApplyKey(std::uint8_t* data, std::size_t size, Op op) {
    for (std::size_t start = 0; start < size; start += kScrambleKeyLength) {
        const std::size_t count = std::min<std::size_t>(kScrambleKeyLength, size - start);
        std::uint8_t* block = data + start;
        for (std::size_t i = 0; i < count; ++i) block[i] = op(block[i], kKeyTable[i]);
    }
}

void ScrambleBuffer(std::uint8_t* data, std::size_t size) {
    ApplyKey(data, size, [](std::uint8_t b, std::uint8_t k) { return static_cast<std::uint8_t>(b + k); });
}

void UnscrambleBuffer(std::uint8_t* data, std::size_t size) {
    ApplyKey(data, size, [](std::uint8_t b, std::uint8_t k) { return static_cast<std::uint8_t>(b - k); });
}

namespace {

std::string JoinPackKey(const std::vector<std::string>& lowerParts) {
    std::string out;
    for (const std::string& part : lowerParts) {
        if (!out.empty()) out += '\\';
        out += part;
    }
    return out;
}

} // namespace

void NormalisePackPathInto(std::string_view path, std::string& key) {
    // The key itself serves as the stack of components: ".." takes back the last one.
    key.clear();
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t end = start;
        while (end < path.size() && path[end] != '\\' && path[end] != '/') ++end;
        const std::string_view part = path.substr(start, end - start);
        if (part == "..") {
            const std::size_t last = key.find_last_of('\\');
            key.resize(last == std::string::npos ? 0 : last);
        } else if (!part.empty() && part != ".") {
            if (!key.empty()) key += '\\';
            for (char c : part) key += Platform::AsciiLower(c);
        }
        start = end + 1;
    }
}

std::string NormalisePackPath(std::string_view path) {
    std::string key;
    NormalisePackPathInto(path, key);
    return key;
}

std::string PackKey(const Platform::GamePath& path) { return JoinPackKey(path.LowerParts()); }

const SPPackEntry* CPPackFile::Find(const std::string& normalisedPath) const {
    auto it = m_index.find(normalisedPath);
    return it == m_index.end() ? nullptr : &it->second;
}

HRESULT CPPackFile::ReadIndex() {
    m_index.clear();
    auto real = Platform::GamePaths().Resolve(m_path);
    if (!real) {
        Platform::TraceMissingFile(Platform::GamePath(m_path).Lowered());
        return E_FAIL;
    }
    // Mounting is where a pack itself is read; its files are traced as they are looked up.
    Platform::TraceLooseFile(Platform::GamePath(m_path).Lowered(), *real);
    FilePtr file(Platform::OpenRegularFileStream(*real));
    if (!file) return E_FAIL;
    if (std::fseek(file.get(), 0, SEEK_END) != 0) return E_FAIL;
    long fileSizeLong = std::ftell(file.get());
    if (fileSizeLong < 0 || std::fseek(file.get(), 0, SEEK_SET) != 0) return E_FAIL;
    const std::int64_t fileSize = fileSizeLong;

    std::uint8_t header[8];
    if (fileSize < 8 || std::fread(header, 1, 8, file.get()) != 8) return E_FAIL;
    if (static_cast<std::uint32_t>(ReadLE32(header)) != kPackMagic) return E_FAIL;
    const std::int32_t indexLength = ReadLE32(header + 4);
    if (indexLength < 0 || indexLength > fileSize - 8) return E_FAIL;
    // Refused before anything is read: the index is held whole and every node of it walked.
    if (static_cast<std::size_t>(indexLength) > kMaxPackIndexBytes) return E_FAIL;

    std::vector<std::uint8_t> index(static_cast<std::size_t>(indexLength));
    if (!index.empty() && std::fread(index.data(), 1, index.size(), file.get()) != index.size()) return E_FAIL;
    UnscrambleBuffer(index);
    const std::int64_t dataBase = 8 + static_cast<std::int64_t>(indexLength);

    // Depth-first walk with an explicit stack, so hostile nesting cannot exhaust
    // the call stack. Every count, length, offset and size is checked against the
    // file. One path buffer serves every level (each level remembers where its
    // folder's path ends), and paths are bounded, one by one and all together, so a
    // hostile index cannot make the paths it stores outgrow it by far.
    std::unordered_map<std::string, SPPackEntry> entries;
    struct Level {
        std::size_t pathLength;    // the folder's path, with its trailing "\"
        std::int64_t childrenLeft; // nodes still to read at this level
    };
    std::vector<Level> stack;
    stack.push_back({0, 1}); // the one root node
    std::string path;
    std::string key;           // reused, so that a file node met again costs no allocation
    std::size_t pathBytes = 0; // of every file node, repeated names included
    std::size_t fileNodes = 0; // repeated names included
    std::size_t cursor = 0;
    const std::size_t end = index.size();
    constexpr std::size_t kMinNode = 16;
    while (!stack.empty()) {
        if (stack.back().childrenLeft == 0) {
            stack.pop_back();
            continue;
        }
        --stack.back().childrenLeft;
        if (end - cursor < 4) return E_FAIL;
        const std::int32_t nameLength = ReadLE32(&index[cursor]);
        cursor += 4;
        if (nameLength < 0 || static_cast<std::size_t>(nameLength) > end - cursor || end - cursor - nameLength < 12)
            return E_FAIL;
        path.resize(stack.back().pathLength);
        if (path.size() + static_cast<std::size_t>(nameLength) >= kMaxPackPath) return E_FAIL;
        path.append(reinterpret_cast<const char*>(&index[cursor]), static_cast<std::size_t>(nameLength));
        cursor += static_cast<std::size_t>(nameLength);
        const std::int32_t offset = ReadLE32(&index[cursor]);
        const std::int32_t size = ReadLE32(&index[cursor + 4]);
        const std::int32_t childCount = ReadLE32(&index[cursor + 8]);
        cursor += 12;
        if (offset < 0) {
            std::int64_t children = childCount > 0 ? childCount : 0;
            // Each child needs at least a minimal node's bytes.
            if (children > static_cast<std::int64_t>((end - cursor) / kMinNode)) return E_FAIL;
            path += '\\';
            stack.push_back({path.size(), children});
        } else {
            if (size < 0 || dataBase + offset + size > fileSize) return E_FAIL;
            if (static_cast<std::uint64_t>(size) > Platform::kMaxDataFileBytes) return E_FAIL;
            pathBytes += path.size();
            if (pathBytes >= kMaxPackPathBytes) return E_FAIL;
            if (++fileNodes > kMaxPackFiles) return E_FAIL;
            NormalisePackPathInto(path, key);
            entries[key] = SPPackEntry{dataBase + offset, size};
        }
    }
    m_index = std::move(entries);
    return S_OK;
}

bool IsPackFileName(const std::string& name) {
    return name.size() >= 4 && name.compare(0, 4, "game") == 0 && name.size() >= 3 &&
           name.compare(name.size() - 3, 3, "dat") == 0;
}

int PackNumberFromName(const std::string& name) {
    if (name.size() <= 8) return 0;
    return Platform::ParseInt(std::string_view(name).substr(4, name.size() - 8));
}

HRESULT MountPacks() {
    std::vector<CPPackFile>& packs = Packs();
    packs.clear();
    HRESULT result = S_OK;
    CPFileFinder finder("Data\\*.*"); // the spelling the pack paths below are read with
    if (finder.FindFirst() != S_OK) return S_OK;
    do {
        const SPFindData& found = finder.GetFindData();
        if (found.IsDirectory()) continue;
        const std::string& name = found.name;
        if (!IsPackFileName(name)) continue;
        packs.emplace_back(PackNumberFromName(name), "Data\\" + name);
        if (packs.back().ReadIndex() != S_OK) {
            CPLog::Instance().Print(0, "Files: the pack \"Data\\%s\" is damaged; none of its files are used",
                                    name.c_str());
            result = E_FAIL;
        }
    } while (finder.FindNext());
    std::stable_sort(packs.begin(), packs.end(),
                     [](const CPPackFile& a, const CPPackFile& b) { return a.GetNumber() > b.GetNumber(); });
    return result;
}

void UnmountPacks() { Packs().clear(); }

const std::vector<CPPackFile>& MountedPacks() { return Packs(); }
