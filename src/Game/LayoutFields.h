#pragma once
// Fields of the interface's text files (layouts, fonts, lens flares): a missing field reads as
// empty text or 0, so a short line never reads outside its fields.

#include <cstddef>
#include <string>
#include <vector>

#include "Framework/PStringSplitter.h"
#include "Platform/System/NumberText.h"

namespace LayoutFields {

inline const std::string& Field(const std::vector<std::string>& fields, std::size_t index) {
    static const std::string empty;
    return index < fields.size() ? fields[index] : empty;
}

inline float FieldFloat(const std::vector<std::string>& fields, std::size_t index) {
    return index < fields.size() ? Platform::ParseFloat(fields[index]) : 0.0f;
}

// A line "name a,b,c": the name before the first blank and the list after it, cut at ",".
inline void SplitNamedLine(const std::string& line, std::string& name, std::vector<std::string>& fields) {
    const std::vector<std::string> parts = SplitTokens(line, " ", true);
    name = Field(parts, 0);
    fields = parts.size() > 1 ? SplitTokens(parts[1], ",", true) : std::vector<std::string>();
}

} // namespace LayoutFields
