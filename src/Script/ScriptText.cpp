#include "Script/ScriptText.h"

#include "Framework/PStringSplitter.h"

namespace Script {

std::vector<std::string> SplitText(const std::string& text, const std::string& separator) {
    return SplitTokens(text, separator, true);
}

} // namespace Script
