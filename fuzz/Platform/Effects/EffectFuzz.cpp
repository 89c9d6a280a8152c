// An effect file created on the Recording device as the renderer creates its materials: parsed,
// every technique validated (its HLSL compiled), each technique's passes begun and ended, and
// every parameter read and written back.

#include "FuzzDevice.h"
#include "Platform/Effects/D3DXEffect.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    IDirect3DDevice9* device = kxfuzz::RecordingDevice();
    if (!device) return 0;
    ID3DXEffect* effect = nullptr;
    ID3DXBuffer* errors = nullptr;
    const HRESULT made =
        D3DXCreateEffect(device, data, static_cast<UINT>(size), nullptr, nullptr, 0, nullptr, &effect, &errors);
    if (errors) errors->Release();
    if (FAILED(made) || !effect) return 0;

    D3DXEFFECT_DESC desc{};
    effect->GetDesc(&desc);
    std::vector<float> values(64);
    for (UINT i = 0; i < desc.Parameters; ++i) {
        D3DXHANDLE parameter = effect->GetParameter(nullptr, i);
        D3DXPARAMETER_DESC pd{};
        if (FAILED(effect->GetParameterDesc(parameter, &pd))) continue;
        const UINT count = std::min<UINT>(static_cast<UINT>(values.size()), pd.Bytes / 4);
        effect->GetFloatArray(parameter, values.data(), count);
        effect->SetFloatArray(parameter, values.data(), count);
        for (UINT a = 0; a < pd.Annotations; ++a) effect->GetAnnotation(parameter, a);
    }
    for (UINT t = 0; t < desc.Techniques; ++t) {
        D3DXHANDLE technique = effect->GetTechnique(t);
        if (FAILED(effect->ValidateTechnique(technique))) continue;
        effect->SetTechnique(technique);
        UINT passes = 0;
        if (FAILED(effect->Begin(&passes, 0))) continue;
        for (UINT p = 0; p < passes; ++p) {
            if (SUCCEEDED(effect->BeginPass(p))) {
                effect->CommitChanges();
                effect->EndPass();
            }
        }
        effect->End();
    }
    D3DXHANDLE next = nullptr;
    effect->FindNextValidTechnique(nullptr, &next);
    effect->Release();
    return 0;
}
