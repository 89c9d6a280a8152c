#pragma once
// Opening an address or a file with the desktop's default program (xdg-open), without waiting.
// Setting KORVAXA_NO_SHELL in the environment switches it off (tests and CI).

#include <string>

namespace Platform {

// True when the opener was started (or opening is switched off).
bool ShellOpen(const std::string& target);

// What the last call asked to open, for tests.
const std::string& LastShellOpenTarget();

} // namespace Platform
