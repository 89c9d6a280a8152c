#pragma once
// Reading the key bindings file: one binding per line, four fields separated by ";" (action,
// second text, key, "true" when the key is a number). Missing fields read as empty.

#include <string>
#include <vector>

namespace Input {

struct ActionLine {
    std::string action;
    std::string second;
    std::string key;
    std::string flag;
};

// Negative when the file cannot be read (the lines are then unchanged); otherwise 0.
int ReadActionsFile(const std::string& gamePath, std::vector<ActionLine>& lines);

} // namespace Input
