#pragma once
// One queued script command: a name and the parameters split from one comma-separated text.

#include <string>
#include <vector>

struct SPCommand {
    std::string name;
    std::vector<std::string> params;
};
