#include "Render/RenderSupport.h"

#include <algorithm>

#include "Framework/PLog.h"
#include "Framework/PStringSplitter.h"
#include "Platform/Base/DXError.h"

void ReportDXError(const char* source, int line, HRESULT hr) {
    CPLog::Instance().Print(0, "DXError if %s on line %d\n%s\n%s\n", source, line, DXGetErrorString9A(hr),
                            DXGetErrorDescription9A(hr));
}

bool SPLoadRequest::Has(const std::string& option) const {
    return std::find(options.begin(), options.end(), option) != options.end();
}

SPLoadRequest SplitLoadRequest(const std::string& request) {
    SPLoadRequest out;
    CPStringSplitter splitter(request, ",");
    std::string token;
    bool first = true;
    while (splitter.NextToken(token)) {
        if (first)
            out.file = token;
        else
            out.options.push_back(token);
        first = false;
    }
    return out;
}
