#pragma once
// Names and descriptions of result codes, as the engine's "DXError" log lines print them.

#include "Platform/Base/WinTypes.h"

// The code's symbolic name ("D3DERR_INVALIDCALL"); "Unknown" for codes we do not know.
const char* DXGetErrorString9A(HRESULT hr);
// A one-line description; "n/a" for codes we do not know.
const char* DXGetErrorDescription9A(HRESULT hr);
