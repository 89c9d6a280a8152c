#include "Script/ScriptText.h"

#include "Framework/PStringSplitter.h"

namespace Script {

std::vector<std::string> SplitText(const std::string& text, const std::string& separator) {
    std::vector<std::string> tokens;
    CPStringSplitter splitter(text, separator, true);
    std::string token;
    while (splitter.NextToken(token)) tokens.push_back(token);
    return tokens;
}

} // namespace Script
