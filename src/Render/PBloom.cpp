#include "Render/PBloom.h"

#include <cmath>

#include "Framework/PApplication.h"
#include "Framework/PFileReader.h"
#include "Framework/PLog.h"
#include "Framework/PSettings.h"
#include "Platform/Image/D3DXTexture.h"
#include "Render/PRender.h"
#include "Render/RenderSupport.h"

namespace {

constexpr const char* kBloomPath = "data/effects/bloom.fx";
constexpr const char* kSecondBloomPath = "data/effects/bloom2.fx";
constexpr const char* kBlurPath = "data/effects/blur_2.fx";
constexpr const char* kMaskPath = "data/TEXTUREs/blurmask_2_.tga";
constexpr const char* kNoisePath = "data/TEXTUREs/noise.tga";

constexpr float kSpeedScale = 0.05f;

void ReportDXError(int line, HRESULT hr) { ::ReportDXError("Render\\Bloom", line, hr); }

template <class T>
void ReleaseAndClear(T*& object) {
    if (object) object->Release();
    object = nullptr;
}

bool IsTextureType(D3DXPARAMETER_TYPE type) { return type >= D3DXPT_TEXTURE && type <= D3DXPT_TEXTURECUBE; }

} // namespace

void CPBloom::Target::Release() {
    // The surface counts through its texture: it goes first.
    ReleaseAndClear(surface);
    ReleaseAndClear(texture);
}

CPBloom::CPBloom() {
    MakeQuad(m_right, m_bottom, m_screenQuad);
    MakeQuad(static_cast<float>(kSmallWidth) - 0.5f, static_cast<float>(kSmallHeight) - 0.5f, m_smallQuad);
}

CPBloom::~CPBloom() { ReleaseTargets(); }

void CPBloom::MakeQuad(float right, float bottom, SPScreenVertex out[4]) {
    out[0] = {right, -0.5f, 1.0f, 1.0f, 0xFFFFFFFF, 1.0f, 0.0f};
    out[1] = {right, bottom, 1.0f, 1.0f, 0xFFFFFFFF, 1.0f, 1.0f};
    out[2] = {-0.5f, -0.5f, 1.0f, 1.0f, 0xFFFFFFFF, 0.0f, 0.0f};
    out[3] = {-0.5f, bottom, 1.0f, 1.0f, 0xFFFFFFFF, 0.0f, 1.0f};
}

// ---------------------------------------------------------------------------------------------
// Making and releasing

HRESULT CPBloom::Init(IDirect3DDevice9* device) {
    // A second Init without a release in between must not leak what the first one made.
    ReleaseTargets();
    m_device = device;
    if (!device) return E_FAIL;
    bool pixelShader20 = false;
    if (const CPRender* render = GetRender()) {
        pixelShader20 = render->HasPixelShader20();
    } else {
        D3DCAPS9 caps;
        pixelShader20 = SUCCEEDED(device->GetDeviceCaps(&caps)) && caps.PixelShaderVersion >= D3DPS_VERSION(2, 0);
    }
    if (!pixelShader20) return E_FAIL;

    m_bloomEffect = LoadEffect(kBloomPath, m_bloomParameters);
    m_secondEffect = LoadEffect(kSecondBloomPath, m_secondParameters);
    m_mask = LoadTexture(kMaskPath);
    m_blurEffect = LoadEffect(kBlurPath, m_blurParameters);
    m_noise = LoadTexture(kNoisePath);
    return CreateTargets();
}

ID3DXEffect* CPBloom::LoadEffect(const char* path, std::vector<D3DXHANDLE>& textureParameters) {
    textureParameters.clear();
    CPFileReader reader(path);
    if (FAILED(reader.Load()) || reader.GetDataSize() <= 0) {
        ReportDXError(__LINE__, E_FAIL);
        CPLog::Instance().Print(0, "Render: the post effect \"%s\" cannot be read\n", path);
        return nullptr;
    }
    ID3DXEffect* effect = nullptr;
    ID3DXBuffer* errors = nullptr;
    const HRESULT hr = D3DXCreateEffect(m_device, reader.GetData(), static_cast<UINT>(reader.GetDataSize()), nullptr,
                                        nullptr, 0, nullptr, &effect, &errors);
    if (errors) {
        const char* text = static_cast<const char*>(errors->GetBufferPointer());
        const DWORD size = errors->GetBufferSize();
        if (text && size) CPLog::Instance().Print(0, "%s: %.*s\n", path, static_cast<int>(size), text);
        errors->Release();
    }
    if (FAILED(hr) || !effect) {
        ReportDXError(__LINE__, FAILED(hr) ? hr : E_FAIL);
        if (effect) effect->Release();
        return nullptr;
    }
    D3DXHANDLE technique = nullptr;
    if (effect->FindNextValidTechnique(nullptr, &technique) == D3D_OK && technique) effect->SetTechnique(technique);

    D3DXEFFECT_DESC desc;
    if (SUCCEEDED(effect->GetDesc(&desc))) {
        for (UINT i = 0; i < desc.Parameters; ++i) {
            D3DXHANDLE parameter = effect->GetParameter(nullptr, i);
            D3DXPARAMETER_DESC parameterDesc;
            if (parameter && SUCCEEDED(effect->GetParameterDesc(parameter, &parameterDesc)) &&
                IsTextureType(parameterDesc.Type))
                textureParameters.push_back(parameter);
        }
    }
    return effect;
}

IDirect3DTexture9* CPBloom::LoadTexture(const char* path) {
    CPFileReader reader(path);
    if (FAILED(reader.Load()) || reader.GetDataSize() <= 0) {
        ReportDXError(__LINE__, E_FAIL);
        CPLog::Instance().Print(0, "Render: the post-effect picture \"%s\" cannot be read\n", path);
        return nullptr;
    }
    IDirect3DTexture9* texture = nullptr;
    const HRESULT hr = D3DXCreateTextureFromFileInMemoryEx(
        m_device, reader.GetData(), static_cast<UINT>(reader.GetDataSize()), D3DX_DEFAULT, D3DX_DEFAULT, D3DX_DEFAULT,
        0, D3DFMT_UNKNOWN, D3DPOOL_MANAGED, D3DX_DEFAULT, D3DX_FILTER_TRIANGLE | D3DX_FILTER_DITHER, 0, nullptr,
        nullptr, &texture);
    if (FAILED(hr) || !texture) {
        ReportDXError(__LINE__, FAILED(hr) ? hr : E_FAIL);
        if (texture) texture->Release();
        return nullptr;
    }
    return texture;
}

bool CPBloom::CreateTarget(UINT width, UINT height, D3DFORMAT format, Target& target) {
    HRESULT hr = m_device->CreateTexture(width, height, 1, D3DUSAGE_RENDERTARGET, format, D3DPOOL_DEFAULT,
                                         &target.texture, nullptr);
    if (FAILED(hr) || !target.texture) {
        target.texture = nullptr;
        ReportDXError(__LINE__, FAILED(hr) ? hr : E_FAIL);
        return false;
    }
    hr = target.texture->GetSurfaceLevel(0, &target.surface);
    if (FAILED(hr) || !target.surface) {
        ReportDXError(__LINE__, FAILED(hr) ? hr : E_FAIL);
        target.Release();
        return false;
    }
    return true;
}

HRESULT CPBloom::CreateTargets() {
    HRESULT hr = m_device->GetRenderTarget(0, &m_backBuffer);
    if (FAILED(hr) || !m_backBuffer) {
        m_backBuffer = nullptr;
        ReportDXError(__LINE__, FAILED(hr) ? hr : E_FAIL);
        return FAILED(hr) ? hr : E_FAIL;
    }
    // A device without a depth buffer has none to keep; the passes then restore none.
    if (FAILED(m_device->GetDepthStencilSurface(&m_depthSurface))) m_depthSurface = nullptr;

    D3DSURFACE_DESC desc;
    hr = m_backBuffer->GetDesc(&desc);
    if (FAILED(hr)) {
        ReportDXError(__LINE__, hr);
        return hr;
    }
    m_right = static_cast<float>(desc.Width) - 0.5f;
    m_bottom = static_cast<float>(desc.Height) - 0.5f;
    MakeQuad(m_right, m_bottom, m_screenQuad);

    bool made = CreateTarget(kSmallWidth, kSmallHeight, desc.Format, m_small);
    made = CreateTarget(kSmallWidth, kSmallHeight, desc.Format, m_second) && made;
    made = CreateTarget(desc.Width, desc.Height, desc.Format, m_blur) && made;
    made = CreateTarget(desc.Width, desc.Height, desc.Format, m_copy) && made;
    return made ? S_OK : E_FAIL;
}

void CPBloom::ReleaseEffectsAndTextures() {
    ReleaseAndClear(m_bloomEffect);
    ReleaseAndClear(m_secondEffect);
    ReleaseAndClear(m_blurEffect);
    ReleaseAndClear(m_mask);
    ReleaseAndClear(m_noise);
    m_bloomParameters.clear();
    m_secondParameters.clear();
    m_blurParameters.clear();
}

void CPBloom::ReleaseTargets() {
    // The effects may still hold the targets as texture parameters: they go first.
    ReleaseEffectsAndTextures();
    m_small.Release();
    m_second.Release();
    m_blur.Release();
    m_copy.Release();
    ReleaseAndClear(m_backBuffer);
    ReleaseAndClear(m_depthSurface);
}

void CPBloom::Release() { ReleaseEffectsAndTextures(); }

// ---------------------------------------------------------------------------------------------
// The passes

float CPBloom::SpeedRatio() {
    IPRaceWorld& world = GetRaceWorld();
    if (!world.HasLevel()) return 0.0f;
    float velocity[4] = {0.0f, 0.0f, 0.0f, 0.0f};
    if (!world.GetHumanVelocity(velocity)) return 0.0f;
    const double length =
        std::sqrt(static_cast<double>(velocity[0]) * velocity[0] + static_cast<double>(velocity[1]) * velocity[1] +
                  static_cast<double>(velocity[2]) * velocity[2]);
    const double ratio = length * kSpeedScale;
    // A broken velocity (NaN) blurs nothing rather than everything.
    if (!(ratio > 0.0)) return 0.0f;
    return ratio >= 1.0 ? 1.0f : static_cast<float>(ratio);
}

void CPBloom::SetPostState() {
    IDirect3DDevice9* d = m_device;
    d->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_MODULATE);
    d->SetRenderState(D3DRS_ZENABLE, FALSE);
    d->SetRenderState(D3DRS_FOGENABLE, FALSE);
    d->SetRenderState(D3DRS_BLENDOP, D3DBLENDOP_ADD);
    d->SetRenderState(D3DRS_LIGHTING, FALSE);
    d->SetRenderState(D3DRS_ZWRITEENABLE, FALSE);
    for (DWORD s = 0; s < 2; ++s) {
        d->SetSamplerState(s, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR);
        d->SetSamplerState(s, D3DSAMP_MINFILTER, D3DTEXF_LINEAR);
        d->SetSamplerState(s, D3DSAMP_MIPFILTER, D3DTEXF_LINEAR);
    }
    d->SetFVF(SPScreenVertexFVF);
    d->SetSamplerState(0, D3DSAMP_ADDRESSU, D3DTADDRESS_CLAMP);
    d->SetSamplerState(0, D3DSAMP_ADDRESSV, D3DTADDRESS_CLAMP);
}

void CPBloom::RestoreState() {
    IDirect3DDevice9* d = m_device;
    d->SetSamplerState(0, D3DSAMP_ADDRESSU, D3DTADDRESS_WRAP);
    d->SetSamplerState(0, D3DSAMP_ADDRESSV, D3DTADDRESS_WRAP);
    d->SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
    d->SetRenderState(D3DRS_ZENABLE, TRUE);
    d->SetRenderState(D3DRS_FOGENABLE, TRUE);
    d->SetRenderState(D3DRS_LIGHTING, TRUE);
    d->SetRenderState(D3DRS_ZWRITEENABLE, TRUE);
    d->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_DISABLE);
    // The targets are not left bound: they go away at the next reset.
    d->SetTexture(0, nullptr);
    d->SetFVF(SPVertexFVF);
    if (CPRender* render = GetRender()) render->SetTextureFilters();
}

void CPBloom::DrawQuad(const SPScreenVertex* quad) {
    const HRESULT hr = m_device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof(SPScreenVertex));
    if (FAILED(hr)) ReportDXError(__LINE__, hr);
}

void CPBloom::DrawPasses(ID3DXEffect* effect, const SPScreenVertex* quad) {
    UINT passes = 0;
    HRESULT hr = effect->Begin(&passes, 0);
    if (FAILED(hr)) {
        ReportDXError(__LINE__, hr);
        return;
    }
    for (UINT p = 0; p < passes; ++p) {
        hr = effect->BeginPass(p);
        if (FAILED(hr)) {
            ReportDXError(__LINE__, hr);
            continue;
        }
        DrawQuad(quad);
        effect->EndPass();
    }
    effect->End();
}

void CPBloom::RunEffect(ID3DXEffect* effect, const std::vector<D3DXHANDLE>& parameters, IDirect3DBaseTexture9* texture,
                        const SPScreenVertex* quad) {
    for (D3DXHANDLE parameter : parameters) effect->SetTexture(parameter, texture);
    DrawPasses(effect, quad);
}

void CPBloom::RadialBlur() {
    if (!m_enabled || g_blur == 0) return;
    // Without its effect or its targets the pass draws nothing.
    if (!m_device || !m_blurEffect || !m_backBuffer || !m_blur.IsMade() || !m_copy.IsMade()) return;
    IDirect3DDevice9* d = m_device;

    SetPostState();
    HRESULT hr = d->StretchRect(m_backBuffer, nullptr, m_copy.surface, nullptr, D3DTEXF_LINEAR);
    if (FAILED(hr)) ReportDXError(__LINE__, hr);
    d->SetRenderTarget(0, m_blur.surface);
    // The target needs no depth, and a depth buffer smaller than the target would clip it.
    d->SetDepthStencilSurface(nullptr);

    const float ratio = SpeedRatio();
    m_blurEffect->SetTexture("tex0", m_copy.texture);
    m_blurEffect->SetTexture("tex1", m_mask);
    m_blurEffect->SetFloat("SpeedRatio", ratio);
    m_blurEffect->SetInt("Forward", 1);
    m_blurEffect->SetFloat("fx", g_effectFx);
    m_blurEffect->SetFloat("fy", g_effectFy);
    DrawPasses(m_blurEffect, m_screenQuad);

    d->SetDepthStencilSurface(m_depthSurface);
    d->SetRenderTarget(0, m_backBuffer);
    d->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    d->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
    d->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
    d->SetTexture(0, m_blur.texture);
    DrawQuad(m_screenQuad);

    RestoreState();
}

void CPBloom::Bloom() {
    if (!m_enabled) return;
    if (!m_device || !m_bloomEffect || !m_secondEffect || !m_backBuffer || !m_small.IsMade() || !m_second.IsMade())
        return;
    IDirect3DDevice9* d = m_device;

    SetPostState();
    HRESULT hr = d->StretchRect(m_backBuffer, nullptr, m_small.surface, nullptr, D3DTEXF_LINEAR);
    if (FAILED(hr)) ReportDXError(__LINE__, hr);
    d->SetDepthStencilSurface(nullptr);
    // Bright pass from the shrunk frame into the second target, then the blur back: each pass
    // reads one target and draws into the other.
    d->SetRenderTarget(0, m_second.surface);
    RunEffect(m_bloomEffect, m_bloomParameters, m_small.texture, m_smallQuad);
    d->SetRenderTarget(0, m_small.surface);
    RunEffect(m_secondEffect, m_secondParameters, m_second.texture, m_smallQuad);

    // Added over the frame.
    d->SetDepthStencilSurface(m_depthSurface);
    d->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    d->SetRenderTarget(0, m_backBuffer);
    d->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCCOLOR);
    d->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_ONE);
    d->SetTexture(0, m_small.texture);
    DrawQuad(m_screenQuad);

    // The grain, laid over with the noise picture's alpha. Without the picture the quad would
    // be plain white and opaque: it is left out.
    d->SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
    d->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
    d->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
    if (m_noise) {
        d->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
        d->SetTexture(0, m_noise);
        SPScreenVertex noise[4];
        MakeQuad(m_right, m_bottom, noise);
        DrawQuad(noise);
    }

    RestoreState();
}
