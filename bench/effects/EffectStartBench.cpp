// Start-up cost of the effects, measured cold (each mode in a fresh process, as the game meets
// it at start):
//   effect_start_bench demo       every effect of the demo data, created on the Recording device
//   effect_start_bench program    a shader effect, its shaders compiled by the compiler program
//                                 (starting it included), then the same effect again
//   effect_start_bench inprocess  the same shaders compiled in this process
// Prints the milliseconds taken; run each mode a few times and compare medians.
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "Platform/Effects/D3DXEffect.h"
#include "Platform/Effects/EffectParser.h"
#include "Platform/Effects/HlslCompiler.h"
#include "Platform/Graphics/D3D9.h"

namespace {

// Two techniques of vertex and pixel shaders, as a lit, textured material has them.
const char* kShaderEffect = R"(
float4x4 WorldViewProj;
float4x4 World;
float4 LightDir = {0, 1, 0, 0};
float4 Tint = {1, 1, 1, 1};
sampler2D Diffuse;
struct VOut { float4 pos : POSITION; float2 uv : TEXCOORD0; float3 normal : TEXCOORD1; };
VOut VS(float4 p : POSITION, float3 n : NORMAL, float2 uv : TEXCOORD0) {
    VOut o;
    o.pos = mul(p, WorldViewProj);
    o.uv = uv;
    o.normal = mul(n, (float3x3)World);
    return o;
}
float4 PS(float2 uv : TEXCOORD0, float3 normal : TEXCOORD1) : COLOR0 {
    float light = saturate(dot(normalize(normal), LightDir.xyz)) * 0.8 + 0.2;
    return tex2D(Diffuse, uv) * Tint * light;
}
float4 PSFlat(float2 uv : TEXCOORD0) : COLOR0 { return tex2D(Diffuse, uv) * Tint; }
technique Lit { pass { VertexShader = compile vs_2_0 VS(); PixelShader = compile ps_2_0 PS(); } }
technique Flat { pass { VertexShader = compile vs_2_0 VS(); PixelShader = compile ps_2_0 PSFlat(); } }
)";

double Milliseconds(std::chrono::steady_clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

IDirect3DDevice9* MakeDevice() {
    SetDirect3DBackend(D3DBackend::Recording);
    IDirect3D9* d3d = Direct3DCreate9(D3D_SDK_VERSION);
    D3DPRESENT_PARAMETERS pp{};
    pp.BackBufferWidth = 64;
    pp.BackBufferHeight = 48;
    pp.BackBufferFormat = D3DFMT_X8R8G8B8;
    pp.BackBufferCount = 1;
    pp.SwapEffect = D3DSWAPEFFECT_DISCARD;
    pp.Windowed = TRUE;
    IDirect3DDevice9* device = nullptr;
    if (!d3d || d3d->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, nullptr, D3DCREATE_HARDWARE_VERTEXPROCESSING, &pp,
                                  &device) != D3D_OK)
        device = nullptr;
    if (d3d) d3d->Release();
    return device;
}

bool CreateEffect(IDirect3DDevice9* device, const std::string& text) {
    ID3DXEffect* effect = nullptr;
    ID3DXBuffer* errors = nullptr;
    const HRESULT hr = D3DXCreateEffect(device, text.data(), static_cast<UINT>(text.size()), nullptr, nullptr, 0,
                                        nullptr, &effect, &errors);
    if (errors) {
        std::fprintf(stderr, "%s", static_cast<const char*>(errors->GetBufferPointer()));
        errors->Release();
    }
    if (effect) effect->Release();
    return hr == D3D_OK;
}

} // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "demo";
    IDirect3DDevice9* device = MakeDevice();
    if (!device) {
        std::fprintf(stderr, "effect_start_bench: no Recording device\n");
        return 1;
    }
    const auto start = std::chrono::steady_clock::now();
    if (mode == "demo") {
        int count = 0;
        for (const auto& entry :
             std::filesystem::directory_iterator(std::filesystem::path(KX_DATA_DIR) / "Data" / "Effects")) {
            if (entry.path().extension() != ".fx") continue;
            std::ifstream in(entry.path(), std::ios::binary);
            std::stringstream text;
            text << in.rdbuf();
            if (!CreateEffect(device, text.str())) std::fprintf(stderr, "%s failed\n", entry.path().c_str());
            ++count;
        }
        std::printf("demo: %d effects in %.2f ms, %u compiler processes started\n", count,
                    Milliseconds(std::chrono::steady_clock::now() - start),
                    Platform::GetShaderCompilerStats().processesStarted);
    } else if (mode == "program") {
        if (!CreateEffect(device, kShaderEffect)) std::fprintf(stderr, "the shader effect failed\n");
        const auto first = std::chrono::steady_clock::now();
        if (!CreateEffect(device, kShaderEffect)) std::fprintf(stderr, "the shader effect failed\n");
        std::printf("program: first %.2f ms, again %.2f ms\n", Milliseconds(first - start),
                    Milliseconds(std::chrono::steady_clock::now() - first));
    } else if (mode == "inprocess") {
        const struct {
            const char* entry;
            Platform::ShaderStage stage;
        } shaders[] = {{"VS", Platform::ShaderStage::Vertex},
                       {"PS", Platform::ShaderStage::Pixel},
                       {"PSFlat", Platform::ShaderStage::Pixel}};
        // The sources the effect hands the compiler.
        Platform::ParsedEffect parsed;
        std::string error;
        Platform::ParseEffect(kShaderEffect, std::strlen(kShaderEffect), parsed, error);
        for (const auto& s : shaders) {
            Platform::CompiledShader out;
            if (!Platform::CompileHlslInProcess(Platform::BuildShaderSource(parsed, s.entry), s.entry, s.stage, out,
                                                error))
                std::fprintf(stderr, "%s: %s\n", s.entry, error.c_str());
        }
        std::printf("inprocess: %.2f ms\n", Milliseconds(std::chrono::steady_clock::now() - start));
    }
    device->Release();
    return 0;
}
