#pragma once
// Things that are not regular files, put where a game file is expected: a folder, a FIFO that no
// one writes to (opening it for reading the usual way waits for ever), a link to a device of
// endless bytes, and a file its owner may not read.

#include <string>
#include <vector>

namespace kxtest {

enum class HostileKind { Folder, Fifo, LinkToDevZero, Unreadable };

struct HostileCase {
    HostileKind kind;
    const char* name;
};

// Every kind, for tables of cases.
const std::vector<HostileCase>& HostileCases();

// Makes the thing at a real path (its folder must exist); false when this system cannot (the
// unreadable file when the tests run with rights that read everything).
bool MakeHostile(HostileKind kind, const std::string& realPath);

// Whether the thing is still there as it was made.
bool HostileIntact(HostileKind kind, const std::string& realPath);

} // namespace kxtest
