#include "Input/ActionsFile.h"

#include "Framework/PStringSplitter.h"
#include "Framework/PTextReader.h"
#include "Platform/System/RegularFile.h"

#include <limits>

namespace Input {

int ReadActionsFile(const std::string& gamePath, std::vector<ActionLine>& lines) {
    std::vector<std::string> texts;
    if (!ReadTextFileLines(gamePath, texts, std::numeric_limits<std::size_t>::max(), Platform::kMaxSettingsFileBytes))
        return -1;
    lines.clear();
    for (const std::string& text : texts) {
        CPStringSplitter splitter(text, ";", true);
        ActionLine line;
        std::string* fields[] = {&line.action, &line.second, &line.key, &line.flag};
        for (std::string* field : fields)
            if (!splitter.NextToken(*field)) break;
        lines.push_back(std::move(line));
    }
    return 0;
}

} // namespace Input
