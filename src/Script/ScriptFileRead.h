#pragma once
// Whole-file reads of the script files through the engine's file layer: a loose file first,
// then the pack files.

#include <string>
#include <vector>

namespace Script {

// Negative when the file cannot be read; otherwise the file layer's non-negative result.
int ReadScriptFile(const std::string& gamePath, std::vector<char>& bytes);

} // namespace Script
