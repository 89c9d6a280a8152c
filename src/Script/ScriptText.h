#pragma once
// The text helpers the script host reads its list and command parameters with.

#include <string>
#include <vector>

namespace Script {

// The meaningful lines of a text buffer (comments dropped, trimmed, blank lines skipped).
std::vector<std::string> ReadTextLines(const std::vector<char>& bytes);
// The tokens of a text split at the separator with double quotes honoured, each trimmed; an
// empty text gives none.
std::vector<std::string> SplitText(const std::string& text, const std::string& separator);

} // namespace Script
