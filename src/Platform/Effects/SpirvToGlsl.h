#pragma once
// The second stage of the HLSL compiler (internal to the effects library): SPIRV-Cross turns
// the SPIR-V glslang made into GLSL 4.50 and reflects where its constants, samplers and
// varyings went.

#include "Platform/Effects/HlslCompiler.h"

#include <string>
#include <vector>

namespace Platform {

// Fills out (which starts empty) from the SPIR-V of one entry point; false with a message in
// error when SPIRV-Cross refuses it or it uses a semantic the device cannot place.
bool SpirvToGlsl(const std::vector<unsigned>& spirv, ShaderStage stage, CompiledShader& out, std::string& error);

} // namespace Platform
