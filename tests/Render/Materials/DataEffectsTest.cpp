// Our own effect files and error texture, as the engine uses them.
#include "MaterialsFixture.h"

#include "Render/PEffect.h"
#include "Render/PEffectCache.h"
#include "Render/PTexture.h"
#include "Render/PTextureCache.h"

using namespace materialstest;

namespace {

class DataEffectsTest : public MaterialsTest {
protected:
    DWORD RenderState(D3DRENDERSTATETYPE state) {
        DWORD value = 0;
        host.device->GetRenderState(state, &value);
        return value;
    }
};

TEST_F(DataEffectsTest, SimpleIsLitTexturedFromTex0AndFogged) {
    root.Write("Data/Textures/wall.tga", Tga(4, 4));
    CPSmartPtr<CPEffect> effect;
    GetEffectCache()->GetEffect(effect, "simple.fx");
    ASSERT_NE(effect->GetD3DXEffect(), nullptr);
    ASSERT_EQ(effect->GetTextureParameters().size(), 1u);
    CPSmartPtr<CPTextureBlock> block;
    GetTextureCache()->GetTextureBlock(block, {"wall.tga"});
    effect->SetParameters(block.Get());

    host.device->SetRenderState(D3DRS_LIGHTING, FALSE);
    host.device->SetRenderState(D3DRS_FOGENABLE, FALSE);
    ID3DXEffect* fx = effect->GetD3DXEffect();
    UINT passes = 0;
    ASSERT_EQ(fx->Begin(&passes, 0), D3D_OK);
    ASSERT_EQ(passes, 1u);
    ASSERT_EQ(fx->BeginPass(0), D3D_OK);
    EXPECT_EQ(RenderState(D3DRS_LIGHTING), static_cast<DWORD>(TRUE));
    EXPECT_EQ(RenderState(D3DRS_FOGENABLE), static_cast<DWORD>(TRUE));
    IDirect3DBaseTexture9* bound = nullptr;
    host.device->GetTexture(0, &bound);
    EXPECT_EQ(bound, block->GetTexture(0)->GetBaseTexture());
    if (bound) bound->Release();
    DWORD op = 0;
    host.device->GetTextureStageState(0, D3DTSS_COLOROP, &op);
    EXPECT_EQ(op, static_cast<DWORD>(D3DTOP_MODULATE));
    fx->EndPass();
    fx->End();
    // The next effect starts from the renderer's state.
    EXPECT_EQ(RenderState(D3DRS_LIGHTING), static_cast<DWORD>(FALSE));
    EXPECT_EQ(RenderState(D3DRS_FOGENABLE), static_cast<DWORD>(FALSE));
}

TEST_F(DataEffectsTest, ErrorEffectBuildsWithoutShaderSupport) {
    Platform::RecordingConfig config = Platform::GetRecordingConfig();
    Platform::RecordingConfig noShaders = config;
    noShaders.pixelShaderVersion = 0;
    noShaders.vertexShaderVersion = 0;
    Platform::SetRecordingConfig(noShaders);
    IDirect3D9* bare = Direct3DCreate9(D3D_SDK_VERSION);
    Platform::SetRecordingConfig(config);
    ASSERT_NE(bare, nullptr);
    D3DPRESENT_PARAMETERS pp;
    pp.BackBufferWidth = 32;
    pp.BackBufferHeight = 32;
    pp.BackBufferFormat = D3DFMT_A8R8G8B8;
    pp.Windowed = TRUE;
    pp.SwapEffect = D3DSWAPEFFECT_DISCARD;
    IDirect3DDevice9* device = nullptr;
    ASSERT_EQ(bare->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, D3DCREATE_SOFTWARE_VERTEXPROCESSING, &pp, &device),
              D3D_OK);
    D3DCAPS9 caps;
    device->GetDeviceCaps(&caps);
    EXPECT_EQ(caps.PixelShaderVersion, 0u);

    for (const char* file : {"Data/Effects/error.fx", "Data/Effects/simple.fx"}) {
        SCOPED_TRACE(file);
        const std::string text = ReadDataFile(file);
        ID3DXEffect* effect = nullptr;
        ID3DXBuffer* errors = nullptr;
        EXPECT_EQ(D3DXCreateEffect(device, text.data(), static_cast<UINT>(text.size()), nullptr, nullptr, 0, nullptr,
                                   &effect, &errors),
                  D3D_OK)
            << (errors ? static_cast<const char*>(errors->GetBufferPointer()) : "");
        if (errors) errors->Release();
        if (effect) effect->Release();
    }
    device->Release();
    bare->Release();
}

// error.tga is made by this rule: 32 x 32, 24-bit uncompressed, bottom-up, 8-texel squares of
// magenta and black, magenta at the origin.
std::string MakeErrorTga() {
    std::string out(18, '\0');
    out[2] = 2;
    out[12] = 32;
    out[14] = 32;
    out[16] = 24;
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x) {
            const bool magenta = (x / 8 + y / 8) % 2 == 0;
            out += magenta ? std::string("\xff\x00\xff", 3) : std::string(3, '\0');
        }
    return out;
}

TEST_F(DataEffectsTest, ErrorTextureIsMadeByItsRule) {
    EXPECT_EQ(ReadDataFile("Data/Textures/error.tga"), MakeErrorTga());
}

TEST_F(DataEffectsTest, ErrorTextureLoads) {
    CPSmartPtr<CPTexture> texture;
    GetTextureCache()->GetTexture(texture, "error.tga");
    ASSERT_NE(texture->GetD3DTexture(), nullptr);
    EXPECT_EQ(texture->GetName(), "error.tga");
    EXPECT_EQ(texture->GetWidth(), 32);
    EXPECT_EQ(texture->GetHeight(), 32);
}

} // namespace
