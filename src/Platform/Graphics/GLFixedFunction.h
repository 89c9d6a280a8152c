#pragma once
// The fixed-function pipeline as GLSL (internal to the graphics library): the program text the
// OpenGL device generates for the state in force at a draw, and the compact key of every state
// that text depends on, by which the device finds the program again without generating it.
// Text only: compiling and caching the programs is the device's.

#include <string>
#include <vector>

#include "Platform/Graphics/DeviceCore.h"

namespace Platform::GraphicsDetail {

// The lights a draw of this vertex format uses: the enabled ones in index order, at most
// D3DMaxActiveLights; none when lighting is off or the vertices are pre-transformed.
void ActiveFixedFunctionLights(const DeviceState& state, DWORD fvf, std::vector<DWORD>& lights);

// Replaces key with every state the generated text depends on, in a fixed order. Runs on every
// draw, so the caller keeps one buffer for it.
void FixedFunctionKey(const DeviceState& state, DWORD fvf, const std::vector<DWORD>& lights, std::string& key);

struct FixedFunctionSource {
    std::string vertex;
    std::string fragment;
};

// The vertex and fragment shaders (GLSL 4.50) that draw vertices of this format as the
// fixed-function pipeline would with this state and these active lights.
FixedFunctionSource GenerateFixedFunctionSource(const DeviceState& state, DWORD fvf, const std::vector<DWORD>& lights);

} // namespace Platform::GraphicsDetail
