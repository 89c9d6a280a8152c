#include "support/TempDir.h"

#include "Platform/System/Paths.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace fs = std::filesystem;

namespace kxtest {

TempDir::TempDir() {
    std::string pattern = (fs::temp_directory_path() / "korvaxa-test-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    m_path = pattern;
}

TempDir::~TempDir() {
    std::error_code ec;
    // Read-only folders made by tests must not stop the clean-up.
    for (auto it = fs::recursive_directory_iterator(m_path, ec); !ec && it != fs::recursive_directory_iterator();
         it.increment(ec))
        fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(m_path, ec);
}

std::string TempDir::Write(std::string_view relative, std::string_view content) const {
    fs::path full = fs::path(m_path) / relative;
    fs::create_directories(full.parent_path());
    std::ofstream out(full, std::ios::binary | std::ios::trunc);
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
    return full.string();
}

std::string TempDir::Read(std::string_view relative) const {
    std::ifstream in(fs::path(m_path) / relative, std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

bool TempDir::Exists(std::string_view relative) const { return fs::exists(fs::path(m_path) / relative); }

void TempDir::MakeDir(std::string_view relative) const { fs::create_directories(fs::path(m_path) / relative); }

TempGameRoot::TempGameRoot() : m_previousRoot(Platform::GamePaths().Root()) { Platform::GamePaths().SetRoot(Path()); }

TempGameRoot::~TempGameRoot() { Platform::GamePaths().SetRoot(m_previousRoot); }

std::string TempGameRoot::Write(std::string_view relative, std::string_view content) const {
    std::string full = TempDir::Write(relative, content);
    Platform::GamePaths().Refresh();
    return full;
}

void TempGameRoot::MakeDir(std::string_view relative) const {
    TempDir::MakeDir(relative);
    Platform::GamePaths().Refresh();
}

} // namespace kxtest
