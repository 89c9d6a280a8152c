#include "Input/ActionsFile.h"

#include "Framework/PFileReader.h"
#include "Framework/PStringSplitter.h"
#include "Framework/PTextReader.h"

namespace Input {

int ReadActionsFile(const std::string& gamePath, std::vector<ActionLine>& lines) {
    CPFileReader file(gamePath);
    const HRESULT hr = file.Load();
    if (FAILED(hr)) return -1;
    lines.clear();
    CPTextReader reader(file.GetData(), file.GetDataSize());
    std::string text;
    while (reader.ReadLine(text)) {
        CPStringSplitter splitter(text, ";", true);
        ActionLine line;
        std::string* fields[] = {&line.action, &line.second, &line.key, &line.flag};
        for (std::string* field : fields)
            if (!splitter.NextToken(*field)) break;
        lines.push_back(std::move(line));
    }
    return hr;
}

} // namespace Input
