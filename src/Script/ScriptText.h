#pragma once
// The text helper the script host splits its list and command parameters with.

#include <string>
#include <vector>

namespace Script {

// The tokens of a text split at the separator with double quotes honoured, each trimmed; an
// empty text gives none.
std::vector<std::string> SplitText(const std::string& text, const std::string& separator);

} // namespace Script
