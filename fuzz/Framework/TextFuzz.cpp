// A text data file read through the file layer line by line, and each line cut by the string
// splitter as the loaders cut theirs (";" with quotes, ",", "=", blanks).

#include "Framework/PLog.h"
#include "Framework/PStringSplitter.h"
#include "Framework/PTextReader.h"
#include "FuzzSupport.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    CPLog::Instance().SetSink(nullptr);
    kxfuzz::GameRoot& root = kxfuzz::GameRoot::Get();
    root.Clear();
    root.Write("Data/text.txt", data, size);

    std::vector<std::string> lines;
    if (!ReadTextFileLines("Data\\text.txt", lines)) std::abort();
    // The reader on the bytes themselves hands out the same lines.
    CPTextReader reader(data, static_cast<int>(size));
    std::size_t count = 0;
    std::string line;
    while (reader.ReadLine(line)) {
        if (count >= lines.size() || lines[count] != line) std::abort();
        ++count;
    }
    if (count != lines.size()) std::abort();

    struct Split {
        const char* separator;
        bool quotes;
    };
    static const Split kSplits[] = {{";", true}, {";", false}, {",", true}, {"=", false}, {" ", false}, {"::", true}};
    for (const std::string& text : lines) {
        for (const Split& split : kSplits) {
            CPStringSplitter splitter(text, split.separator, split.quotes);
            std::string token;
            std::size_t tokens = 0;
            // Every token takes at least one byte or one separator: never more than the text has.
            while (splitter.NextToken(token))
                if (++tokens > text.size() + 1) std::abort();
        }
    }
    return 0;
}
