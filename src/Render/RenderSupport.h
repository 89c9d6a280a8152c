#pragma once
// Small helpers the renderer's classes share: the "DXError" log line and the split of a load
// request ("name,option,option") as effects and textures are asked for.

#include <string>
#include <vector>

#include "Platform/Base/WinTypes.h"

// Logs a failed device call as "DXError if <source> on line <line>" with the code's name and
// description.
void ReportDXError(const char* source, int line, HRESULT hr);

// A load request cut at its commas: the file name, then the options in order.
struct SPLoadRequest {
    std::string file;
    std::vector<std::string> options;

    bool Has(const std::string& option) const;
};
SPLoadRequest SplitLoadRequest(const std::string& request);
