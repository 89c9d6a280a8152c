#pragma once
// One effect file of "Data\Effects", compiled at load with its first valid technique
// selected and its texture parameters ("tex0", "tex1", ... consecutively) found by name.
// Effects are shared through the effect cache, which also substitutes the error effect for
// one that cannot be loaded.

#include "Framework/PMMObject.h"
#include "Platform/Effects/D3DXEffect.h"
#include "Render/PDeviceListener.h"

#include <string>
#include <vector>

class CPTextureBlock;

class CPEffect : public IPMMObject, public IPDeviceListener {
public:
    CPEffect() = default;
    ~CPEffect() override;

    int GetSize() const override { return static_cast<int>(sizeof(CPEffect)); }
    std::string GetClassName() const override { return "CPEffect - " + m_name; }

    // request: file name under "Data\Effects", optionally followed by comma-separated options;
    // "shared" creates the effect in the shared pool. A missing file loads "\simple.fx"
    // instead (never pooled). False when nothing could be created.
    bool Load(const std::string& request);

    // Binds the block's textures to the texture parameters, as many as both have; the other
    // parameters keep what they had.
    void SetParameters(const CPTextureBlock* textures);

    void OnDeviceLost() override;
    void OnDeviceReset() override;

    ID3DXEffect* GetD3DXEffect() const { return m_effect; }
    const std::vector<D3DXHANDLE>& GetTextureParameters() const { return m_textureParameters; }
    D3DXHANDLE GetTimeParameter() const { return m_timeParameter; }
    const std::string& GetName() const { return m_name; }
    // Whether the D3DX effect lives in the shared pool.
    bool IsPooled() const { return m_pooled; }

private:
    std::vector<D3DXHANDLE> m_textureParameters;
    ID3DXEffect* m_effect = nullptr;
    D3DXHANDLE m_timeParameter = nullptr;
    std::string m_name;
    bool m_pooled = false;
};
