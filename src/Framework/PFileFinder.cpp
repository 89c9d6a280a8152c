#include "Framework/PFileFinder.h"

#include "Platform/Base/AsciiCase.h"
#include "Platform/System/Paths.h"

#include <sys/stat.h>

CPFileFinder::CPFileFinder(std::string pattern) : m_pattern(std::move(pattern)) {}

CPFileFinder::~CPFileFinder() { Close(); }

void CPFileFinder::Close() {
    m_open = false;
    m_entries.clear();
    m_next = 0;
}

namespace {

bool MatchFrom(const std::string& mask, std::size_t m, const std::string& name, std::size_t n) {
    // Iterative wildcard match with one backtrack point for the last '*'.
    std::size_t starMask = std::string::npos, starName = 0;
    while (n < name.size()) {
        if (m < mask.size() && mask[m] == '*') {
            starMask = m++;
            starName = n;
        } else if (m < mask.size() &&
                   (mask[m] == '?' || Platform::AsciiLower(mask[m]) == Platform::AsciiLower(name[n]))) {
            ++m;
            ++n;
        } else if (starMask != std::string::npos) {
            m = starMask + 1;
            n = ++starName;
        } else {
            return false;
        }
    }
    while (m < mask.size() && mask[m] == '*') ++m;
    return m == mask.size();
}

} // namespace

bool CPFileFinder::MatchPattern(const std::string& mask, const std::string& name) {
    if (MatchFrom(mask, 0, name, 0)) return true;
    // As on Windows, "x.*" also matches names without any extension.
    if (mask.size() >= 2 && mask.compare(mask.size() - 2, 2, ".*") == 0 && name.find('.') == std::string::npos)
        return MatchFrom(mask.substr(0, mask.size() - 2), 0, name, 0);
    return false;
}

HRESULT CPFileFinder::FindFirst() {
    Close();
    std::size_t sep = m_pattern.find_last_of("\\/");
    std::string folder = sep == std::string::npos ? std::string() : m_pattern.substr(0, sep);
    m_mask = sep == std::string::npos ? m_pattern : m_pattern.substr(sep + 1);
    auto real = Platform::GamePaths().Resolve(folder);
    if (!real) return E_FAIL;
    auto entries = Platform::GamePaths().List(folder);
    if (!entries) return E_FAIL;
    m_realFolder = *real;
    m_entries = std::move(*entries);
    m_open = true;
    if (!TakeEntry()) {
        Close();
        return E_FAIL;
    }
    return S_OK;
}

bool CPFileFinder::FindNext() {
    if (!m_open) return false;
    if (TakeEntry()) return true;
    Close();
    return false;
}

bool CPFileFinder::TakeEntry() {
    while (m_next < m_entries.size()) {
        const std::string& name = m_entries[m_next++];
        if (!MatchPattern(m_mask, name)) continue;
        struct stat st;
        std::string full = m_realFolder == "/" ? "/" + name : m_realFolder + "/" + name;
        if (::stat(full.c_str(), &st) != 0) continue; // vanished since the listing
        m_current = SPFindData{};
        m_current.name = name;
        m_current.attributes = S_ISDIR(st.st_mode) ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_NORMAL;
        m_current.size = S_ISDIR(st.st_mode) ? 0 : static_cast<std::uint64_t>(st.st_size);
        return true;
    }
    return false;
}
