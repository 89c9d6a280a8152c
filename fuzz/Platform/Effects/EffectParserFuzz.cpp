// Effect-file text through the effect parser, and the HLSL source it builds for every entry
// point a pass names.

#include "Platform/Effects/EffectParser.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Platform::ParsedEffect effect;
    std::string error;
    if (!Platform::ParseEffect(reinterpret_cast<const char*>(data), size, effect, error)) return 0;
    Platform::BuildShaderSource(effect);
    for (const auto& technique : effect.techniques)
        for (const auto& pass : technique.passes)
            for (const auto& state : pass.states)
                if (!state.entry.empty()) Platform::BuildShaderSource(effect, state.entry);
    return 0;
}
