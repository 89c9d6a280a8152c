#include "DemoGen.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <map>
#include <system_error>

#include "support/PackWriter.h"
#include "support/TgaWriter.h"

namespace fs = std::filesystem;

namespace demogen {

namespace {

std::map<std::string, Family>& Families() {
    static std::map<std::string, Family> families;
    return families;
}

struct ManifestEntry {
    std::size_t size = 0;
    std::string hash;
    std::string where;
};

// Every generated file by its path under the root, forward slashes, sorted.
std::map<std::string, ManifestEntry>& Manifest() {
    static std::map<std::string, ManifestEntry> manifest;
    return manifest;
}

// The packs' files by pack number, then by path under "Data": sorted, so a pack's bytes never
// depend on the order the families staged them in.
std::map<int, std::map<std::string, std::string>>& Packs() {
    static std::map<int, std::map<std::string, std::string>> packs;
    return packs;
}

bool ReadWhole(const fs::path& file, std::string& out) {
    std::ifstream in(file, std::ios::binary);
    if (!in) return false;
    out.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return static_cast<bool>(in) || in.eof();
}

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c); });
    return text;
}

// Files the game itself writes: a rebuild must not undo what the player changed.
bool IsPlayersFile(const std::string& relative) {
    const std::string path = Lower(relative);
    return path == "config.cfg" || path == "actions.cfg" || path == "data/scores.dat" ||
           path.rfind("data/saves/", 0) == 0;
}

// Writes through a temporary next to the file and renames it, so an interrupted run never leaves
// half a file behind.
bool WriteAtomically(const fs::path& file, const std::string& bytes) {
    std::error_code ec;
    fs::create_directories(file.parent_path(), ec);
    const fs::path temporary = file.string() + ".demogen-tmp";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        if (!out) return false;
    }
    fs::rename(temporary, file, ec);
    if (ec) {
        fs::remove(temporary, ec);
        return false;
    }
    return true;
}

} // namespace

std::string HashText(const std::string& bytes) {
    std::uint64_t hash = 14695981039346656037ull;
    for (unsigned char c : bytes) {
        hash ^= c;
        hash *= 1099511628211ull;
    }
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(hash));
    return text;
}

namespace {

bool WriteCopy(const fs::path& root, const std::string& relative, const std::string& bytes) {
    const fs::path file = root / relative;
    std::string existing;
    if (ReadWhole(file, existing) && existing == bytes) return true;
    if (!WriteAtomically(file, bytes)) {
        std::fprintf(stderr, "demogen: cannot write %s\n", file.string().c_str());
        return false;
    }
    return true;
}

} // namespace

bool WriteIfChanged(const fs::path& root, const std::string& relative, const std::string& bytes) {
    Manifest()[fs::path(relative).generic_string()] = {bytes.size(), HashText(bytes), "loose"};
    return WriteCopy(root, relative, bytes);
}

void AddToPack(int number, const std::string& pathUnderData, const std::string& bytes) {
    std::string path = pathUnderData;
    std::replace(path.begin(), path.end(), '\\', '/');
    Packs()[number][path] = bytes;
    Manifest()["Data/" + path] = {bytes.size(), HashText(bytes), "game" + std::to_string(number) + ".dat"};
}

std::string PictureBytes(int width, int height, const std::vector<std::uint8_t>& rgba) {
    const std::vector<std::uint8_t> bytes = kxtest::EncodeTga(width, height, rgba);
    return std::string(bytes.begin(), bytes.end());
}

bool WritePicture(const fs::path& root, const std::string& relative, int width, int height,
                  const std::vector<std::uint8_t>& rgba) {
    const std::vector<std::uint8_t> bytes = kxtest::EncodeTga(width, height, rgba);
    if (bytes.empty()) {
        std::fprintf(stderr, "demogen: cannot encode %s\n", relative.c_str());
        return false;
    }
    return WriteIfChanged(root, relative, std::string(bytes.begin(), bytes.end()));
}

FamilyRegistrar::FamilyRegistrar(const char* name, Family family) { Families()[name] = family; }

bool AssembleRoot(const fs::path& data, const fs::path& root) {
    std::error_code ec;
    if (!fs::is_directory(data, ec)) {
        std::fprintf(stderr, "demogen: no data folder %s\n", data.string().c_str());
        return false;
    }
    bool ok = true;
    for (fs::recursive_directory_iterator it(data, ec), end; !ec && it != end; it.increment(ec)) {
        if (!it->is_regular_file(ec)) continue;
        const std::string relative = fs::relative(it->path(), data, ec).generic_string();
        if (ec) return false;
        const fs::path target = root / relative;
        if (IsPlayersFile(relative) && fs::exists(target, ec)) continue;
        std::string bytes;
        if (!ReadWhole(it->path(), bytes)) {
            std::fprintf(stderr, "demogen: cannot read %s\n", it->path().string().c_str());
            ok = false;
            continue;
        }
        ok = WriteCopy(root, relative, bytes) && ok;
    }
    if (ec) {
        std::fprintf(stderr, "demogen: cannot list %s: %s\n", data.string().c_str(), ec.message().c_str());
        return false;
    }
    return ok;
}

bool RunFamilies(const fs::path& root) {
    bool ok = true;
    for (const auto& [name, family] : Families()) {
        if (!family(root)) {
            std::fprintf(stderr, "demogen: the %s files failed\n", name.c_str());
            ok = false;
        }
    }
    for (const auto& [number, files] : Packs()) {
        kxtest::PackWriter pack;
        for (const auto& [path, bytes] : files) pack.AddFile(path, bytes);
        ok = WriteIfChanged(root, "Data/game" + std::to_string(number) + ".dat", pack.Build()) && ok;
    }
    std::string manifest =
        "// Every generated file of the demo: path, size in bytes, FNV-1a hash, where it is stored.\n";
    for (const auto& [path, entry] : Manifest())
        manifest += path + " " + std::to_string(entry.size) + " " + entry.hash + " " + entry.where + "\n";
    ok = WriteCopy(root, "demo-manifest.txt", manifest) && ok;
    return ok;
}

} // namespace demogen
