#pragma once
// Lua 5.1 built as C++: its errors are C++ exceptions that unwind through our frames. Never
// link the C build of the library beside it.
#include <lua.hpp>
