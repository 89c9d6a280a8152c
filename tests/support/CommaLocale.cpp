#include "support/CommaLocale.h"

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "support/TempDir.h"

namespace kxtest {

namespace {

bool CommaIsDecimalPoint() {
    char text[16];
    std::snprintf(text, sizeof text, "%.1f", 0.5);
    return std::strcmp(text, "0,5") == 0;
}

} // namespace

CommaLocale::CommaLocale() {
    const char* installed[] = {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "ru_RU.UTF-8"};
    for (const char* name : installed) {
        if (std::setlocale(LC_ALL, name) && CommaIsDecimalPoint()) {
            m_active = true;
            return;
        }
    }
    std::setlocale(LC_ALL, "C");

    // No such locale installed: compile one that defines only the numeric category.
    m_dir = std::make_unique<TempDir>();
    m_dir->Write("comma.def", "LC_NUMERIC\ndecimal_point \",\"\nthousands_sep \"\"\ngrouping -1\nEND LC_NUMERIC\n");
    const std::string command = "localedef -c -i '" + m_dir->Path() + "/comma.def' -f ANSI_X3.4-1968 '" +
                                m_dir->Path() + "/kxcomma' >/dev/null 2>&1";
    if (std::system(command.c_str()) < 0) return;
    if (const char* old = std::getenv("LOCPATH")) {
        m_hadLocPath = true;
        m_previousLocPath = old;
    }
    ::setenv("LOCPATH", m_dir->Path().c_str(), 1);
    if (std::setlocale(LC_NUMERIC, "kxcomma") && CommaIsDecimalPoint()) m_active = true;
}

CommaLocale::~CommaLocale() {
    std::setlocale(LC_ALL, "C");
    if (m_dir) {
        if (m_hadLocPath)
            ::setenv("LOCPATH", m_previousLocPath.c_str(), 1);
        else
            ::unsetenv("LOCPATH");
    }
}

} // namespace kxtest
