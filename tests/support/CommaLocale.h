#pragma once
// A process locale whose decimal separator is a comma, for tests that must show numbers are
// written and read in the C locale whatever the process runs under. An installed locale is used
// when there is one; otherwise a numeric-only locale is compiled into a temporary folder.

#include <memory>
#include <string>

namespace kxtest {

class TempDir;

class CommaLocale {
public:
    CommaLocale();
    ~CommaLocale();
    CommaLocale(const CommaLocale&) = delete;
    CommaLocale& operator=(const CommaLocale&) = delete;

    // True when the numeric locale now writes 0.5 as "0,5".
    bool Active() const { return m_active; }

private:
    std::unique_ptr<TempDir> m_dir;
    std::string m_previousLocPath;
    bool m_hadLocPath = false;
    bool m_active = false;
};

} // namespace kxtest
