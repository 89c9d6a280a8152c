#include "Script/ScriptText.h"

#include "Framework/PStringSplitter.h"
#include "Framework/PTextReader.h"

#include <climits>

namespace Script {

std::vector<std::string> ReadTextLines(const std::vector<char>& bytes) {
    std::vector<std::string> lines;
    if (bytes.size() > static_cast<std::size_t>(INT_MAX)) return lines;
    CPTextReader reader(bytes.data(), static_cast<int>(bytes.size()));
    std::string line;
    while (reader.ReadLine(line)) lines.push_back(line);
    return lines;
}

std::vector<std::string> SplitText(const std::string& text, const std::string& separator) {
    std::vector<std::string> tokens;
    CPStringSplitter splitter(text, separator, true);
    std::string token;
    while (splitter.NextToken(token)) tokens.push_back(token);
    return tokens;
}

} // namespace Script
