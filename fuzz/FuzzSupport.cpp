#include "FuzzSupport.h"

#include "Platform/System/Paths.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <system_error>

namespace kxfuzz {

namespace fs = std::filesystem;

GameRoot& GameRoot::Get() {
    // Never destroyed through a static destructor order surprise: it lives until exit.
    static GameRoot root;
    return root;
}

GameRoot::GameRoot() {
    // Memory-backed when the machine has it: every input rewrites a few files.
    const char* base = std::getenv("KX_FUZZ_TMP");
    std::string pattern;
    if (base && *base)
        pattern = base;
    else if (fs::is_directory("/dev/shm"))
        pattern = "/dev/shm";
    else
        pattern = fs::temp_directory_path().string();
    pattern += "/kx-fuzz-XXXXXX";
    if (!mkdtemp(pattern.data())) throw std::runtime_error("cannot make a temporary game root");
    m_path = pattern;
    Platform::GamePaths().SetRoot(m_path);
    Platform::GamePaths().Refresh();
}

GameRoot::~GameRoot() {
    std::error_code ignored;
    fs::remove_all(m_path, ignored);
}

void GameRoot::Clear() {
    std::error_code ignored;
    for (const auto& entry : fs::directory_iterator(m_path, ignored)) fs::remove_all(entry.path(), ignored);
    Platform::GamePaths().SetRoot(m_path);
    Platform::GamePaths().Refresh();
}

void GameRoot::Write(std::string_view relative, std::string_view bytes) {
    const fs::path path = fs::path(m_path) / fs::path(std::string(relative));
    std::error_code ignored;
    fs::create_directories(path.parent_path(), ignored);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    Platform::GamePaths().Refresh();
}

void SplitParts(std::string_view input, std::size_t count, std::string_view* parts) {
    for (std::size_t i = 0; i < count; ++i) parts[i] = {};
    std::size_t part = 0;
    std::size_t start = 0;
    std::size_t lineStart = 0;
    while (lineStart <= input.size() && part + 1 < count) {
        std::size_t end = input.find('\n', lineStart);
        if (end == std::string_view::npos) break;
        std::string_view line = input.substr(lineStart, end - lineStart);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (line == "----") {
            parts[part++] = input.substr(start, lineStart - start);
            start = end + 1;
        }
        lineStart = end + 1;
    }
    parts[part] = input.substr(start);
}

} // namespace kxfuzz
