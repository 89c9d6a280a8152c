#pragma once
// The pattern functions scripts see (string.find, match, gmatch, gfind and gsub): Lua 5.1's
// behaviour, matched by our own matcher, which counts its steps. Lua 5.1's matcher has no
// limit of its own: a deeply nested pattern overflows the C stack, and a few dozen "a*" items
// backtrack for minutes inside one C call, where no count hook can stop the script. Ours
// refuses the first before matching and stops the second after a step budget, both with the
// Lua error "pattern too complex".

#include "Script/Lua.h"

#include <cstddef>

namespace Script {

// At most this many steps (a pattern item tried at a subject position) per call, plus a few
// per subject byte, so that a linear pass over any string the state can hold always finishes.
constexpr std::size_t kPatternStepBudget = 10'000'000;
constexpr std::size_t kPatternStepsPerByte = 16;

// Replaces the five functions of the state's string table (left as they are if it has none).
void InstallPatternFunctions(lua_State* L);

} // namespace Script
