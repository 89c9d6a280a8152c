#pragma once
// Lua 5.1 library functions that take a count from the script and act on it before looking at
// what it costs: unpack grows the stack by the size of a range whose computation overflows,
// string.rep of an empty string loops its count through, and table.insert at a position far
// below 1 moves elements one by one across the whole distance. None of them can be stopped by
// the count hook (a library call is one instruction). Each is replaced by one that checks the
// count first and otherwise answers as the library's own does. So is xpcall, whose handler must
// not outlive a stopped script.

#include "Script/Lua.h"

namespace Script {

// Replaces them in the state's globals (the libraries must be open). Raises Lua's memory error,
// so call it in protected mode.
void GuardLibraryCounts(lua_State* L);

} // namespace Script
