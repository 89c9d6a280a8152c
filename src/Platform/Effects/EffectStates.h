#pragma once
// The state names and value names a pass of an effect file may use, with the numeric values
// the device's render, texture-stage and sampler states take.

#include <cstdint>
#include <string_view>

namespace Platform {

enum class StateKind {
    Render,       // device render state
    TextureStage, // texture-stage state, indexed by stage
    Sampler,      // sampler state, indexed by sampler
    Texture,      // Texture[n] = <param>
    SamplerBind,  // Sampler[n] = <sampler param>
    VertexShader,
    PixelShader,
    Unsupported, // a known state this runtime cannot apply: the technique is not valid
};

// How a state's right-hand side is read.
enum class ValueKind { Bool, Dword, Float, Enum };

struct StateInfo {
    const char* name; // as written in effect files, compared case-insensitively
    StateKind kind;
    uint32_t id; // the device's state number
    ValueKind value;
    const struct EnumTable* values; // for ValueKind::Enum
};

struct EnumValue {
    const char* name;
    uint32_t value;
};
struct EnumTable {
    const EnumValue* values;
    int count;
};

// The state of that name ("SrcBlend", "D3DRS_SRCBLEND", "MinFilter"...), or null.
const StateInfo* FindState(std::string_view name);
// The state a sampler_state block names ("MinFilter", "AddressU", "Texture"...), or null.
const StateInfo* FindSamplerBlockState(std::string_view name);
// A value name for that state ("SrcAlpha", "D3DBLEND_SRCALPHA", "True"...).
bool FindStateValue(const StateInfo& state, std::string_view name, uint32_t& value);

// Render state numbers the runtime itself needs.
constexpr uint32_t kRsZEnable = 7;
constexpr uint32_t kRsLighting = 137;

} // namespace Platform
