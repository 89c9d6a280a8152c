#include "Render/PRender.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>

#include "Framework/PApplication.h"
#include "Framework/PFileReader.h"
#include "Framework/PGlobalTimer.h"
#include "Framework/PLog.h"
#include "Framework/PSettings.h"
#include "Framework/StringUtils.h"
#include "Platform/Image/D3DXTexture.h"
#include "Platform/Math/D3DXMath.h"
#include "Platform/System/NumberText.h"
#include "Render/FrameCapture.h"
#include "Render/PEffect.h"
#include "Render/PEffectCache.h"
#include "Render/PEffectManager.h"
#include "Render/PIVBlock.h"
#include "Render/PPerspectiveCamera.h"
#include "Render/PRenderBlock.h"
#include "Render/PRenderObject.h"
#include "Render/PTexture.h"
#include "Render/RenderSupport.h"

namespace {

CPRender* g_render = nullptr;

constexpr RenderKey kRadialBlurKey = 120;
constexpr RenderKey kBloomKey = 195;
constexpr int kIdleFrames = 10;

const char* const kLoadingTextures[3] = {"data\\textures\\back_load.jpg", "data\\textures\\back_all.jpg",
                                         "data\\textures\\load.tga"};

// Made once: the frame sets WORLD to identity several times.
const D3DXMATRIX& Identity() {
    static const D3DXMATRIX identity = [] {
        D3DXMATRIX m;
        D3DXMatrixIdentity(&m);
        return m;
    }();
    return identity;
}

// Copies the bytes into the whole buffer (a managed vertex or index buffer).
template <class Buffer>
HRESULT Upload(Buffer* buffer, const void* data, UINT bytes) {
    void* p = nullptr;
    const HRESULT hr = buffer->Lock(0, 0, &p, 0);
    if (FAILED(hr)) return hr;
    if (p) std::memcpy(p, data, bytes);
    buffer->Unlock();
    return p ? D3D_OK : E_FAIL;
}

void ReportDXError(int line, HRESULT hr) { ::ReportDXError("Render\\PRender", line, hr); }

// Frames apart, compared unsigned as the frame counter wraps.
bool IdleTooLong(int now, int last) {
    return static_cast<std::uint32_t>(now) - static_cast<std::uint32_t>(last) > static_cast<std::uint32_t>(kIdleFrames);
}

} // namespace

CPRender* GetRender() { return g_render; }

SPStaticBuffer::~SPStaticBuffer() {
    if (vertexBuffer) vertexBuffer->Release();
    if (indexBuffer) indexBuffer->Release();
    vertexBuffer = nullptr;
    indexBuffer = nullptr;
}

CPRender::CPRender() : m_postEffects(std::make_unique<IPPostEffects>()) {
    for (D3DLIGHT9& light : m_lights) light = D3DLIGHT9();
    m_sunLight = D3DLIGHT9();
    SetPriority(10000);
    g_render = this;
}

CPRender::~CPRender() {
    if (m_postEffects) m_postEffects->ReleaseTargets();
    m_screenCamera = nullptr;
    m_renderBlock = nullptr;
    m_shadowMaterial = nullptr;
    m_groups.clear();
    m_staticBuffers.clear();
    m_drawList.clear();
    m_debugLines.clear();
    for (IDirect3DTexture9*& texture : m_loadingTextures) {
        if (texture) texture->Release();
        texture = nullptr;
    }
    if (m_device) m_device->Release();
    if (m_direct3D) m_direct3D->Release();
    m_device = nullptr;
    m_direct3D = nullptr;
    if (GetMaterialHost() == this) SetMaterialHost(nullptr);
    if (g_render == this) g_render = nullptr;
}

void CPRender::SetPostEffects(std::unique_ptr<IPPostEffects> postEffects) {
    m_postEffects = postEffects ? std::move(postEffects) : std::make_unique<IPPostEffects>();
}

CPSmartPtr<CPRenderBlock> CPRender::GetRenderBlock() const { return m_renderBlock; }

// ---------------------------------------------------------------------------------------------
// Start, device creation, states

bool CPRender::Start() {
    if (!IPTask::Start()) return false;
    m_trianglesDrawn = 0;
    m_drawCalls = 0;
    m_direct3D = Direct3DCreate9(D3D_SDK_VERSION);
    if (!m_direct3D) {
        SetRunning(false);
        return false;
    }
    const HRESULT hr = CreateDevice();
    if (FAILED(hr)) {
        ReportDXError(__LINE__, hr);
        SetRunning(false);
        return false;
    }
    // Materials, effects and textures are made on this device from now on.
    SetMaterialHost(this);

    m_renderBlock = new CPRenderBlock(m_device);
    if (!m_renderBlock->Init(false, g_static != 0 ? 2 : 4, 0, 0)) {
        // Every later frame would draw through a ring that does not exist.
        CPLog::Instance().Print(0, "CPRender: the vertex-buffer ring cannot be created\n");
        m_renderBlock = nullptr;
        SetRunning(false);
        return false;
    }

    D3DCAPS9 caps;
    m_device->GetDeviceCaps(&caps);
    m_pixelShader20 = caps.PixelShaderVersion >= 0xFFFF0200u;
    m_maxAnisotropy = caps.MaxAnisotropy;

    SetDefaultStates();

    m_screenCamera = new CPBaseCamera();
    D3DXMATRIX ortho;
    D3DXMatrixOrthoOffCenterLH(&ortho, 0.0f, static_cast<float>(g_screenWidth), static_cast<float>(g_screenHeight),
                               0.0f, 0.0f, 1.0f);
    m_screenCamera->SetMatrix(ortho);
    SetGroupCamera(kBloomKey, m_screenCamera);

    if (CPEffectManager* manager = GetEffectManager()) manager->GetMaterial(m_shadowMaterial, 16, "shad2.fx", {});

    m_device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0);
    m_device->BeginScene();
    m_device->EndScene();
    m_device->Present(nullptr, nullptr, nullptr, nullptr);

    g_skyDevice = m_device;
    m_postEffects->Init(m_device);
    return true;
}

HRESULT CPRender::CreateDevice() {
    m_presentParameters = D3DPRESENT_PARAMETERS();
    m_presentParameters.EnableAutoDepthStencil = TRUE;
    m_presentParameters.AutoDepthStencilFormat = D3DFMT_D16;
    m_presentParameters.BackBufferCount = 1;

    D3DCAPS9 caps;
    m_direct3D->GetDeviceCaps(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, &caps);
    m_behaviourFlags = (caps.DevCaps & D3DDEVCAPS_HWTRANSFORMANDLIGHT) ? D3DCREATE_HARDWARE_VERTEXPROCESSING
                                                                       : D3DCREATE_SOFTWARE_VERTEXPROCESSING;
    CPTaskKernel* kernel = CPTaskKernel::GetInstance();
    HWND window = kernel ? kernel->GetMainWindow() : nullptr;
    m_multisample = false;
    m_multisampleQuality = 0;

    if (g_fullScreen == 0) {
        m_presentParameters.Windowed = TRUE;
        m_presentParameters.SwapEffect = D3DSWAPEFFECT_DISCARD;
        m_presentParameters.BackBufferFormat = D3DFMT_A8R8G8B8;
        m_presentParameters.BackBufferWidth = static_cast<UINT>(g_screenWidth);
        m_presentParameters.BackBufferHeight = static_cast<UINT>(g_screenHeight);
        m_presentParameters.PresentationInterval = D3DPRESENT_INTERVAL_IMMEDIATE;
        m_presentParameters.hDeviceWindow = window;
        const HRESULT hr = m_direct3D->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, window, m_behaviourFlags,
                                                    &m_presentParameters, &m_device);
        if (FAILED(hr)) {
            m_device = nullptr;
            ReportDXError(__LINE__, hr);
        }
        return hr;
    }

    m_format16 = SUCCEEDED(m_direct3D->CheckDeviceType(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, D3DFMT_A1R5G5B5,
                                                       D3DFMT_A1R5G5B5, FALSE))
                     ? D3DFMT_A1R5G5B5
                     : D3DFMT_UNKNOWN;
    m_format32 = D3DFMT_A8R8G8B8;
    m_presentParameters.BackBufferFormat = g_screenBPP == 16 ? m_format16 : m_format32;
    DWORD levels = 0;
    if (SUCCEEDED(m_direct3D->CheckDeviceMultiSampleType(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL,
                                                         m_presentParameters.BackBufferFormat, FALSE,
                                                         D3DMULTISAMPLE_NONMASKABLE, &levels)) &&
        g_contrast != 0 && levels > 0) {
        m_multisample = true;
        m_multisampleQuality = levels;
        m_presentParameters.MultiSampleType = D3DMULTISAMPLE_NONMASKABLE;
        m_presentParameters.MultiSampleQuality = levels - 1;
    } else {
        m_presentParameters.MultiSampleType = D3DMULTISAMPLE_NONE;
    }
    m_presentParameters.PresentationInterval = D3DPRESENT_INTERVAL_IMMEDIATE;
    m_presentParameters.Windowed = FALSE;
    m_presentParameters.SwapEffect = D3DSWAPEFFECT_DISCARD;
    m_presentParameters.BackBufferWidth = static_cast<UINT>(g_screenWidth);
    m_presentParameters.BackBufferHeight = static_cast<UINT>(g_screenHeight);
    m_presentParameters.Flags = D3DPRESENTFLAG_DISCARD_DEPTHSTENCIL;
    m_presentParameters.FullScreen_RefreshRateInHz = 0;
    m_presentParameters.hDeviceWindow = window;
    const HRESULT hr = m_direct3D->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, window, m_behaviourFlags,
                                                &m_presentParameters, &m_device);
    if (FAILED(hr)) {
        m_device = nullptr;
        m_multisample = false;
        ReportDXError(__LINE__, hr);
        return hr;
    }
    m_device->SetRenderState(D3DRS_MULTISAMPLEANTIALIAS, FALSE);
    return hr;
}

void CPRender::SetDefaultStates() {
    if (!m_device) return;
    IDirect3DDevice9* d = m_device;
    D3DXMATRIX view, projection;
    const D3DXVECTOR3 eye(0.0f, 0.0f, 14.5f), at(0.0f, 0.0f, 0.0f), up(0.0f, 0.0f, 1.0f);
    D3DXMatrixLookAtLH(&view, &eye, &at, &up);
    D3DXMatrixPerspectiveFovLH(&projection, 1.0995574f, 4.0f / 3.0f, 0.1f, 1000.0f);
    d->SetTransform(D3DTS_VIEW, &view);
    d->SetTransform(D3DTS_PROJECTION, &projection);

    d->SetRenderState(D3DRS_SPECULARENABLE, FALSE);
    d->SetRenderState(D3DRS_LIGHTING, TRUE);
    d->SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
    d->SetRenderState(D3DRS_ZENABLE, TRUE);
    d->SetRenderState(D3DRS_ZWRITEENABLE, TRUE);
    d->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
    d->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);

    SetTextureFilters();

    d->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
    d->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    d->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
    d->SetSamplerState(0, D3DSAMP_ADDRESSU, D3DTADDRESS_WRAP);
    d->SetSamplerState(0, D3DSAMP_ADDRESSV, D3DTADDRESS_WRAP);
    d->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_DISABLE);
    d->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_TEXTURE);
    d->SetTextureStageState(0, D3DTSS_ALPHAARG2, D3DTA_DIFFUSE);

    d->SetRenderState(D3DRS_ZFUNC, D3DCMP_LESSEQUAL);
    d->SetRenderState(D3DRS_DITHERENABLE, TRUE);
    d->SetRenderState(D3DRS_CLIPPING, TRUE);
    d->SetRenderState(D3DRS_CULLMODE, D3DCULL_CCW);
    d->SetRenderState(D3DRS_AMBIENT, m_ambientColour);
    d->SetFVF(SPVertexFVF);

    d->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_DISABLE);
    d->SetTextureStageState(1, D3DTSS_ALPHAOP, D3DTOP_DISABLE);
    d->SetTextureStageState(1, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    d->SetTextureStageState(1, D3DTSS_COLORARG2, D3DTA_CURRENT);
    d->SetTextureStageState(1, D3DTSS_ALPHAARG1, D3DTA_TEXTURE);
    d->SetTextureStageState(1, D3DTSS_ALPHAARG2, D3DTA_CURRENT);
    d->SetSamplerState(1, D3DSAMP_ADDRESSU, D3DTADDRESS_CLAMP);
    d->SetSamplerState(1, D3DSAMP_ADDRESSV, D3DTADDRESS_CLAMP);
    d->SetTextureStageState(2, D3DTSS_COLOROP, D3DTOP_DISABLE);
    d->SetTextureStageState(2, D3DTSS_ALPHAOP, D3DTOP_DISABLE);

    D3DMATERIAL9 material;
    material.Diffuse = {1.0f, 1.0f, 1.0f, 1.0f};
    material.Ambient = {1.0f, 1.0f, 1.0f, 1.0f};
    material.Specular = {0.3f, 0.3f, 0.3f, 1.0f};
    material.Emissive = {0.0f, 0.0f, 0.0f, 0.0f};
    material.Power = 10.0f;
    d->SetMaterial(&material);

    d->SetRenderState(D3DRS_DIFFUSEMATERIALSOURCE, D3DMCS_MATERIAL);
    d->SetRenderState(D3DRS_SPECULARMATERIALSOURCE, D3DMCS_MATERIAL);
    d->SetRenderState(D3DRS_AMBIENTMATERIALSOURCE, D3DMCS_MATERIAL);

    const float distance = static_cast<float>(g_distance);
    const float fogStart = 50.0f;
    const float fogEnd = distance - distance * 0.1f;
    const float fogDensity = 0.0f;
    auto bits = [](float f) {
        DWORD d2;
        std::memcpy(&d2, &f, sizeof(d2));
        return d2;
    };
    d->SetRenderState(D3DRS_FOGENABLE, TRUE);
    d->SetRenderState(D3DRS_FOGVERTEXMODE, D3DFOG_LINEAR);
    d->SetRenderState(D3DRS_FOGDENSITY, bits(fogDensity));
    d->SetRenderState(D3DRS_FOGSTART, bits(fogStart));
    d->SetRenderState(D3DRS_FOGEND, bits(fogEnd));
    d->SetRenderState(D3DRS_FOGCOLOR, fogColour);
}

void CPRender::SetTextureFilters() {
    if (!m_device) return;
    IDirect3DDevice9* d = m_device;
    if (g_aniso > 0.0f) {
        d->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_ANISOTROPIC);
        d->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_ANISOTROPIC);
        d->SetSamplerState(0, D3DSAMP_MIPFILTER, D3DTEXF_LINEAR);
        const double wanted = std::ceil(static_cast<double>(m_maxAnisotropy) * static_cast<double>(g_aniso));
        const DWORD level =
            wanted >= static_cast<double>(m_maxAnisotropy) ? m_maxAnisotropy : static_cast<DWORD>(wanted);
        d->SetSamplerState(0, D3DSAMP_MAXANISOTROPY, level);
        d->SetSamplerState(1, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR);
        d->SetSamplerState(1, D3DSAMP_MINFILTER, D3DTEXF_LINEAR);
        d->SetSamplerState(1, D3DSAMP_MIPFILTER, D3DTEXF_LINEAR);
    } else {
        for (DWORD s = 0; s < 2; ++s) {
            d->SetSamplerState(s, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR);
            d->SetSamplerState(s, D3DSAMP_MINFILTER, D3DTEXF_LINEAR);
            d->SetSamplerState(s, D3DSAMP_MIPFILTER, D3DTEXF_LINEAR);
        }
    }
}

// ---------------------------------------------------------------------------------------------
// The group queue

SPRenderGroup& CPRender::FindOrCreateGroup(RenderKey key) {
    auto it = m_groups.find(key);
    if (it == m_groups.end()) {
        auto group = std::make_unique<SPRenderGroup>();
        group->key = key;
        D3DXMatrixIdentity(&group->worldMatrix);
        it = m_groups.emplace(key, std::move(group)).first;
    }
    return *it->second;
}

const SPRenderGroup* CPRender::FindGroup(RenderKey key) const {
    auto it = m_groups.find(key);
    return it == m_groups.end() ? nullptr : it->second.get();
}

void CPRender::QueueMaterial(CPMaterial* material) {
    if (!material) return;
    SPRenderGroup& group = FindOrCreateGroup(material->GetRenderKey());
    group.refCount += 1;
    group.key = material->GetRenderKey();

    CPEffect* effect = material->GetEffect();
    SPEffectEntry* effectEntry = group.Find(effect);
    if (!effectEntry) {
        group.effects.push_back(std::make_unique<SPEffectEntry>());
        effectEntry = group.effects.back().get();
    }
    if (effectEntry->refCount++ == 0) {
        effectEntry->parent = &group;
        effectEntry->effect = effect;
    }

    CPTextureBlock* block = material->GetTextureBlock();
    SPMaterialEntry* materialEntry = effectEntry->Find(block);
    if (!materialEntry) {
        effectEntry->materials.push_back(std::make_unique<SPMaterialEntry>());
        materialEntry = effectEntry->materials.back().get();
        materialEntry->textureBlock = block;
    }
    if (materialEntry->refCount++ == 0) {
        materialEntry->parent = effectEntry;
        materialEntry->textureBlock = block;
        materialEntry->material = material;
    }
}

void CPRender::SetGroupCamera(RenderKey key, const CPSmartPtr<CPBaseCamera>& camera) {
    SPRenderGroup& group = FindOrCreateGroup(key);
    group.refCount += 1;
    group.key = key;
    group.camera = camera;
}

void CPRender::SetGroupTransform(const D3DXMATRIX& matrix, RenderKey key) {
    SPRenderGroup& group = FindOrCreateGroup(key);
    group.refCount += 1;
    group.hasWorldMatrix = true;
    group.worldMatrix = matrix;
}

void CPRender::RegisterDrawBlock(CPRenderBlock* block) {
    if (block) m_drawList.emplace_back(block);
}

void CPRender::DrawGroup(SPRenderGroup& group) {
    if (group.refCount <= 0 || group.key < 0) return;
    IDirect3DDevice9* d = m_device;
    if (group.camera) {
        d->SetTransform(D3DTS_VIEW, &group.camera->GetView());
        d->SetTransform(D3DTS_PROJECTION, &group.camera->GetProjection());
    }
    if (group.hasWorldMatrix) d->SetTransform(D3DTS_WORLD, &group.worldMatrix);
    const int frame = g_frameNumber;
    group.lastFrame = frame;

    for (std::size_t e = 0; e < group.effects.size();) {
        SPEffectEntry& entry = *group.effects[e];
        if (entry.refCount < 1) {
            if (IdleTooLong(frame, entry.lastFrame))
                group.effects.erase(group.effects.begin() + static_cast<std::ptrdiff_t>(e));
            else
                ++e;
            continue;
        }
        ID3DXEffect* effect = entry.effect ? entry.effect->GetD3DXEffect() : nullptr;
        UINT passes = 0;
        if (!effect || FAILED(effect->Begin(&passes, 0))) {
            ++e;
            continue;
        }
        entry.lastFrame = frame;
        for (std::size_t m = 0; m < entry.materials.size();) {
            SPMaterialEntry& materialEntry = *entry.materials[m];
            CPMaterial* material = materialEntry.material.Get();
            if (material && !material->GetBatches().empty()) {
                entry.effect->SetParameters(materialEntry.textureBlock.Get());
                materialEntry.lastFrame = frame;
                for (IPMaterialBatch* batch : material->GetBatches())
                    if (auto* block = dynamic_cast<CPIVBlock*>(batch)) DrawBatch(*block, effect, passes, group);
                material->ClearBatches();
                ++m;
            } else if (IdleTooLong(frame, materialEntry.lastFrame)) {
                if (material) material->SetQueued(false);
                entry.materials.erase(entry.materials.begin() + static_cast<std::ptrdiff_t>(m));
                entry.refCount -= 1;
                group.refCount -= 1;
            } else {
                ++m;
            }
        }
        effect->End();
        ++e;
    }
}

void CPRender::DrawBatch(CPIVBlock& batch, ID3DXEffect* effect, UINT passes, const SPRenderGroup& group) {
    if (!batch.IsFilled()) return;
    IDirect3DDevice9* d = m_device;
    if (batch.GetVertexCount() > 0 && !batch.GetRanges().empty()) {
        if (m_staticWorldChanged) {
            const D3DXMATRIX& world = group.hasWorldMatrix ? group.worldMatrix : Identity();
            d->SetTransform(D3DTS_WORLD, &world);
            m_staticWorldChanged = false;
        }
        const auto& ranges = batch.GetRanges();
        for (UINT p = 0; p < passes; ++p) {
            if (FAILED(effect->BeginPass(p))) continue;
            for (const SPBatchRange& range : ranges) {
                BindBuffers(range.vertexBuffer, range.indexBuffer);
                const UINT triangles = static_cast<UINT>(range.indexCount / 3);
                m_drawCalls += 1;
                m_trianglesDrawn += static_cast<int>(triangles);
                const HRESULT hr = d->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, static_cast<UINT>(range.firstVertex),
                                                           static_cast<UINT>(range.vertexCount),
                                                           static_cast<UINT>(range.firstIndex), triangles);
                if (FAILED(hr)) ReportDXError(__LINE__, hr);
            }
            effect->EndPass();
        }
    }
    const auto& statics = batch.GetStaticObjects();
    if (!statics.empty()) {
        for (UINT p = 0; p < passes; ++p) {
            if (FAILED(effect->BeginPass(p))) continue;
            for (const CPSmartPtr<CPRenderObject>& object : statics) {
                SPStaticBuffer* buffer = object->GetStaticBuffer();
                // A record whose buffers could not be made is not drawn.
                if (!buffer || !buffer->vertexBuffer || !buffer->indexBuffer) continue;
                m_staticWorldChanged = true;
                d->SetTransform(D3DTS_WORLD, &object->GetWorldMatrix());
                BindBuffers(buffer->vertexBuffer, buffer->indexBuffer);
                const HRESULT hr =
                    d->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, static_cast<UINT>(buffer->vertexCount), 0,
                                            static_cast<UINT>(buffer->triangleCount));
                if (FAILED(hr)) ReportDXError(__LINE__, hr);
            }
            effect->EndPass();
        }
    }
}

void CPRender::BindBuffers(IDirect3DVertexBuffer9* vertexBuffer, IDirect3DIndexBuffer9* indexBuffer) {
    if (vertexBuffer == m_boundVertexBuffer && indexBuffer == m_boundIndexBuffer) return;
    m_device->SetStreamSource(0, vertexBuffer, 0, sizeof(SPVertex));
    m_device->SetIndices(indexBuffer);
    m_boundVertexBuffer = vertexBuffer;
    m_boundIndexBuffer = indexBuffer;
}

void CPRender::EndOfFrameGroups() {
    for (auto it = m_groups.begin(); it != m_groups.end();) {
        if (it->second->refCount > 0)
            ++it;
        else
            it = m_groups.erase(it);
    }
}

// ---------------------------------------------------------------------------------------------
// The frame

void CPRender::SetSharedParameters(const CPPerspectiveCamera& camera) {
    CPEffectCache* cache = GetEffectCache();
    CPEffect* shared = cache ? cache->GetSharedEffect() : nullptr;
    ID3DXEffect* effect = shared ? shared->GetD3DXEffect() : nullptr;
    if (!effect) return;
    const SPSharedEffectHandles& h = cache->GetSharedHandles();
    const float k = lightCoefficient;
    if (h.viewInv) effect->SetMatrix(h.viewInv, &camera.GetInverseView());
    const D3DXVECTOR4 light(m_sunLight.Direction.x, m_sunLight.Direction.y, m_sunLight.Direction.z, 1.0f);
    if (h.light) effect->SetVector(h.light, &light);
    const D3DXVECTOR4 colour(m_sunLight.Diffuse.r * k, m_sunLight.Diffuse.g * k, m_sunLight.Diffuse.b * k, k);
    if (h.lightColor) effect->SetVector(h.lightColor, &colour);
    const D3DXVECTOR4 ambient = m_ambientVector * k;
    if (h.ambient) effect->SetVector(h.ambient, &ambient);
    const D3DXVECTOR4 eye(camera.eye.x, camera.eye.y, camera.eye.z, 1.0f);
    if (h.cameraPos) effect->SetVector(h.cameraPos, &eye);
}

void CPRender::RunPostEffect(bool bloom) {
    IDirect3DDevice9* d = m_device;
    if (m_multisample) d->SetRenderState(D3DRS_MULTISAMPLEANTIALIAS, FALSE);
    if (g_bloom != 0 && m_pixelShader20) {
        if (bloom)
            m_postEffects->Bloom();
        else
            m_postEffects->RadialBlur();
    }
    m_boundVertexBuffer = nullptr;
    m_boundIndexBuffer = nullptr;
    if (m_multisample) d->SetRenderState(D3DRS_MULTISAMPLEANTIALIAS, TRUE);
}

void CPRender::Render() {
    if (!m_device || !m_renderBlock) return;
    DrawQueuedBlocks();
    // A lost device draws nothing until it is reset.
    if (FAILED(m_device->TestCooperativeLevel())) {
        DropFrame();
        return;
    }
    BeginFrameScene();

    // The view camera's matrices as the frame begins, and the shared effect parameters.
    const CPPerspectiveCamera* camera = g_currentViewCamera;
    D3DXMATRIX view, projection;
    if (camera) {
        view = camera->GetView();
        projection = camera->GetProjection();
        SetSharedParameters(*camera);
    }
    if (m_multisample) m_device->SetRenderState(D3DRS_MULTISAMPLEANTIALIAS, TRUE);

    DrawSky();
    SetViewTransforms(camera ? &view : nullptr, camera ? &projection : nullptr);
    DrawGroupsWithPostEffects();
    EndFrame();
}

void CPRender::DrawQueuedBlocks() {
    // Hands the batches to their materials and fills the ring.
    m_renderBlock->BeginFrame();
    for (CPSmartPtr<CPRenderBlock>& block : m_drawList) {
        block->Draw();
        block = nullptr;
    }
    m_drawList.clear();
}

void CPRender::DropFrame() {
    m_renderBlock->Flush();
    m_lightCount = 0;
    m_debugLines.clear();
}

void CPRender::BeginFrameScene() {
    m_trianglesDrawn = 0;
    m_drawCalls = 0;
    m_boundVertexBuffer = nullptr;
    m_boundIndexBuffer = nullptr;
    m_staticWorldChanged = false;
    m_device->BeginScene();
    m_device->Clear(0, nullptr, D3DCLEAR_ZBUFFER, 0, 1.0f, 0);
    m_device->SetRenderState(D3DRS_CULLMODE, D3DCULL_CCW);
}

void CPRender::DrawSky() {
    // The sky is seen through the far camera's orientation, and only while a level is loaded.
    IPRaceWorld& world = GetRaceWorld();
    if (!world.HasLevel()) return;
    CPPerspectiveCamera* farCamera = world.GetFarCamera();
    if (!farCamera) return;
    m_device->SetTransform(D3DTS_WORLD, &Identity());
    m_device->SetTransform(D3DTS_VIEW, &farCamera->GetSkyView());
    m_device->SetTransform(D3DTS_PROJECTION, &farCamera->GetSkyProjection());
    if (m_sky) m_sky->Update(g_deltaTime);
}

void CPRender::SetViewTransforms(const D3DXMATRIX* view, const D3DXMATRIX* projection) {
    m_device->SetFVF(SPVertexFVF);
    m_device->SetTransform(D3DTS_WORLD, &Identity());
    if (view) m_device->SetTransform(D3DTS_VIEW, view);
    if (projection) m_device->SetTransform(D3DTS_PROJECTION, projection);
}

void CPRender::DrawGroupsWithPostEffects() {
    // The groups in key order; the radial blur runs before the first group at or past its key,
    // the bloom before the first one past that at or past its own.
    bool blurTriggered = false, bloomTriggered = false;
    for (auto& entry : m_groups) {
        SPRenderGroup& group = *entry.second;
        if (!blurTriggered && group.key >= kRadialBlurKey) {
            blurTriggered = true;
            RunPostEffect(false);
        } else if (!bloomTriggered && group.key >= kBloomKey) {
            bloomTriggered = true;
            RunPostEffect(true);
        }
        DrawGroup(group);
    }
}

void CPRender::EndFrame() {
    EndOfFrameGroups();
    m_boundVertexBuffer = nullptr;
    m_boundIndexBuffer = nullptr;
    objectsAdded = 0;
    m_lightCount = 0;

    if (static_cast<float>(kFadeMaximum) > m_fadeValue) DrawFade();

    m_device->EndScene();
    m_device->Present(nullptr, nullptr, nullptr, nullptr);
    CaptureFrameIfDue(m_device, g_totalTime);
    m_renderBlock->Flush();
    // Debug lines are not drawn; whatever a frame collected goes with it.
    m_debugLines.clear();
}

void CPRender::DrawFade() {
    IDirect3DDevice9* d = m_device;
    d->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
    d->SetTextureStageState(0, D3DTSS_ALPHAARG2, D3DTA_DIFFUSE);
    d->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG2);
    d->SetRenderState(D3DRS_ZENABLE, FALSE);
    d->SetRenderState(D3DRS_FOGENABLE, FALSE);
    d->SetRenderState(D3DRS_LIGHTING, FALSE);
    d->SetRenderState(D3DRS_ZWRITEENABLE, FALSE);
    d->SetFVF(SPScreenVertexFVF);
    d->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG2);
    d->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    d->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    d->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
    d->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);

    SPScreenVertex quad[4];
    MakeFadeQuad(m_fadeValue, g_screenWidth, g_screenHeight, quad);
    d->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof(SPScreenVertex));

    d->SetRenderState(D3DRS_ZENABLE, TRUE);
    d->SetRenderState(D3DRS_FOGENABLE, TRUE);
    d->SetRenderState(D3DRS_LIGHTING, TRUE);
    d->SetRenderState(D3DRS_ZWRITEENABLE, TRUE);
    d->SetFVF(SPVertexFVF);
    d->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_DISABLE);
    d->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
    d->SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
    d->SetRenderState(D3DRS_CULLMODE, D3DCULL_CCW);
}

void CPRender::MakeFadeQuad(float fadeValue, int width, int height, SPScreenVertex out[4]) {
    const D3DCOLOR colour = static_cast<D3DCOLOR>(static_cast<int>(255.0f - fadeValue)) << 24;
    const float w = static_cast<float>(width), h = static_cast<float>(height);
    out[0] = {w - 0.5f, -0.5f, 1.0f, 1.0f, colour, 1.0f, 0.0f};
    out[1] = {w - 0.5f, h - 0.5f, 1.0f, 1.0f, colour, 1.0f, 1.0f};
    out[2] = {-0.5f, -0.5f, 1.0f, 1.0f, colour, 0.0f, 0.0f};
    out[3] = {-0.5f, h - 0.5f, 1.0f, 1.0f, colour, 0.0f, 1.0f};
}

void CPRender::MakeLoadingQuads(int percent, int width, int height, float scale, float offset,
                                SPScreenVertex out[3][4]) {
    const float w = static_cast<float>(width), h = static_cast<float>(height);
    auto quad = [](SPScreenVertex* q, float x0, float x1, float y0, float y1, float v1) {
        q[0] = {x1, y0, 1.0f, 1.0f, 0, 1.0f, 0.0f};
        q[1] = {x1, y1, 1.0f, 1.0f, 0, 1.0f, v1};
        q[2] = {x0, y0, 1.0f, 1.0f, 0, 0.0f, 0.0f};
        q[3] = {x0, y1, 1.0f, 1.0f, 0, 0.0f, v1};
    };
    quad(out[0], offset - 171.0f * scale - 0.5f, offset + 1366.0f * scale - 0.5f, -0.5f, h - 0.5f, 0.75f);
    quad(out[1], offset - 0.5f, offset + 1024.0f * scale - 0.5f, -0.5f, h - 0.5f, 0.75f);
    quad(out[2], 0.0f, static_cast<float>(percent) * w * 0.01f, h - 10.0f, h, 1.0f);
}

void CPRender::SetFade(float level) {
    if (!(level >= 0.0f)) level = 0.0f; // NaN too
    if (level > 1.0f) level = 1.0f;
    float value = static_cast<float>(kFadeMaximum) * level;
    value = std::clamp(value, 0.0f, static_cast<float>(kFadeMaximum));
    m_fadeValue = value;
}

bool CPRender::AddLight(const D3DLIGHT9& light) {
    if (m_lightCount >= kMaxLights) return false;
    m_lights[m_lightCount++] = light;
    return true;
}

void CPRender::SetLights() {
    if (!m_device) {
        m_lightCount = 0;
        return;
    }
    for (int i = 0; i < m_lightCount; ++i) {
        m_device->SetLight(static_cast<DWORD>(i), &m_lights[i]);
        if (m_lights[i].Type == D3DLIGHT_DIRECTIONAL) m_sunLight = m_lights[i];
        m_device->LightEnable(static_cast<DWORD>(i), TRUE);
    }
    for (int i = m_lightCount; i < kMaxLights; ++i) m_device->LightEnable(static_cast<DWORD>(i), FALSE);
    m_lightCount = 0;
}

void CPRender::LoadSky(int n) {
    // The old sky goes first: it holds device objects the new one may replace.
    m_sky.reset();
    if (const SkyMaker& maker = GetSkyMaker()) m_sky = maker(Platform::FormatC("skyscape%d.txt", n));
}

void CPRender::SetAmbient(D3DCOLOR colour, float r, float g, float b) {
    m_ambientColour = colour;
    m_ambientVector = D3DXVECTOR4(r, g, b, 1.0f);
    if (m_device) m_device->SetRenderState(D3DRS_AMBIENT, colour);
}

void CPRender::AddDebugLine(D3DCOLOR colour, const D3DXVECTOR3& from, const D3DXVECTOR3& to) {
    SPVertex v{};
    v.x = from.x;
    v.y = from.y;
    v.z = from.z;
    v.diffuse = colour;
    m_debugLines.push_back(v);
    v.x = to.x;
    v.y = to.y;
    v.z = to.z;
    m_debugLines.push_back(v);
}

D3DXVECTOR3 CPRender::ProjectToScreen(const D3DXVECTOR3& point) const {
    IPRaceWorld& world = GetRaceWorld();
    const CPPerspectiveCamera* camera = world.HasLevel() ? world.GetViewCamera() : nullptr;
    if (!camera) return D3DXVECTOR3(0.0f, 0.0f, 0.0f);
    D3DXVECTOR4 p;
    D3DXVec3Transform(&p, &point, &camera->GetViewProjection());
    if (p.w == 0.0f) return D3DXVECTOR3(0.0f, 0.0f, 0.0f);
    const float x = (p.x / p.w + 1.0f) * static_cast<float>(g_screenWidth) * 0.5f;
    const float y = (1.0f - p.y / p.w) * static_cast<float>(g_screenHeight) * 0.5f;
    return D3DXVECTOR3(x, y, 0.0f);
}

// ---------------------------------------------------------------------------------------------
// Device reset, loading screen, stop

void CPRender::ResetDevice() {
    IPDeviceListener::BroadcastDeviceLost();
    m_postEffects->ReleaseTargets();
    if (!m_device) return;
    const HRESULT hr = m_device->Reset(&m_presentParameters);
    if (FAILED(hr)) {
        ReportDXError(__LINE__, hr);
        if (m_renderBlock) m_renderBlock->Flush();
        m_lightCount = 0;
        return;
    }
    IPDeviceListener::BroadcastDeviceReset();
    SetDefaultStates();
    m_postEffects->Init(m_device);
}

void CPRender::DrawLoadingScreen(int percent) {
    if (!m_device) return;
    IDirect3DDevice9* d = m_device;
    for (int i = 0; i < 3; ++i) {
        // A missing picture is looked for again (one look-up); one that is there but cannot be
        // read or decoded is given up for the run, or a huge bad file would be read at every draw.
        if (m_loadingTextures[i] || m_loadingPictureRefused[i]) continue;
        CPFileReader reader(kLoadingTextures[i]);
        if (!reader.Find()) continue;
        if (FAILED(reader.Load()) || reader.GetDataSize() <= 0) {
            m_loadingPictureRefused[i] = true;
            CPLog::Instance().Print(0, "Render: the loading-screen picture \"%s\" cannot be read", kLoadingTextures[i]);
            continue;
        }
        IDirect3DTexture9* texture = nullptr;
        const HRESULT hr = D3DXCreateTextureFromFileInMemoryEx(
            d, reader.GetData(), static_cast<UINT>(reader.GetDataSize()), D3DX_DEFAULT, D3DX_DEFAULT, D3DX_DEFAULT, 0,
            D3DFMT_UNKNOWN, D3DPOOL_MANAGED, D3DX_DEFAULT, D3DX_FILTER_TRIANGLE | D3DX_FILTER_DITHER, 0, nullptr,
            nullptr, &texture);
        if (FAILED(hr)) {
            ReportDXError(__LINE__, hr);
            m_loadingPictureRefused[i] = true;
            CPLog::Instance().Print(0, "Render: the loading-screen picture \"%s\" is not a picture the game can read",
                                    kLoadingTextures[i]);
            continue;
        }
        m_loadingTextures[i] = texture;
    }

    d->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0);
    d->BeginScene();
    d->SetTransform(D3DTS_WORLD, &Identity());
    d->SetTransform(D3DTS_VIEW, &Identity());
    d->SetTransform(D3DTS_PROJECTION, &Identity());

    d->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    d->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
    d->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    d->SetRenderState(D3DRS_ZWRITEENABLE, FALSE);
    d->SetRenderState(D3DRS_ZENABLE, FALSE);
    d->SetRenderState(D3DRS_LIGHTING, FALSE);
    d->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    d->SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
    d->SetRenderState(D3DRS_FOGENABLE, FALSE);
    d->SetFVF(SPScreenVertexFVF);

    SPScreenVertex quads[3][4];
    MakeLoadingQuads(percent, g_screenWidth, g_screenHeight, g_interfaceScale, g_interfaceOffsetX, quads);
    // back_all.jpg, then back_load.jpg, then the bar in load.tga.
    d->SetTexture(0, m_loadingTextures[1]);
    d->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quads[0], sizeof(SPScreenVertex));
    d->SetTexture(0, m_loadingTextures[0]);
    d->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quads[1], sizeof(SPScreenVertex));
    d->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    d->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_TEXTURE);
    d->SetTexture(0, m_loadingTextures[2]);
    d->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quads[2], sizeof(SPScreenVertex));
    d->EndScene();
    d->Present(nullptr, nullptr, nullptr, nullptr);
}

void CPRender::Stop() {
    IPTask::Stop();
    if (GetMaterialHost() == this) SetMaterialHost(nullptr);
    // The sky's buffers, textures and effects belong to the device: they go before it.
    m_sky.reset();
    if (g_skyDevice == m_device) g_skyDevice = nullptr;
    if (m_device) m_device->Release();
    m_device = nullptr;
    if (m_direct3D) m_direct3D->Release();
    m_direct3D = nullptr;
    m_shadowMaterial = nullptr;
    m_postEffects->Release();
}

// ---------------------------------------------------------------------------------------------
// Static buffers and the decal

SPStaticBuffer* CPRender::CreateStaticBuffers(const std::string& name, const SPVertex* vertices,
                                              const std::uint16_t* indices, int vertexCount, int indexCount) {
    const std::string key = Lowered(name);
    auto it = m_staticBuffers.find(key);
    if (it != m_staticBuffers.end()) return it->second.Get();
    if (!m_device || !vertices || vertexCount <= 0 || indexCount < 0 || (indexCount > 0 && !indices)) return nullptr;

    CPSmartPtr<SPStaticBuffer> record(new SPStaticBuffer());
    const UINT vertexBytes = static_cast<UINT>(vertexCount) * sizeof(SPVertex);
    const UINT indexBytes = static_cast<UINT>(indexCount) * sizeof(std::uint16_t);
    HRESULT hr = m_device->CreateVertexBuffer(vertexBytes, D3DUSAGE_WRITEONLY, SPVertexFVF, D3DPOOL_MANAGED,
                                              &record->vertexBuffer, nullptr);
    if (FAILED(hr)) {
        record->vertexBuffer = nullptr;
        ReportDXError(__LINE__, hr);
        return nullptr;
    }
    hr = m_device->CreateIndexBuffer(indexBytes, D3DUSAGE_WRITEONLY, D3DFMT_INDEX16, D3DPOOL_MANAGED,
                                     &record->indexBuffer, nullptr);
    if (FAILED(hr)) {
        record->indexBuffer = nullptr;
        ReportDXError(__LINE__, hr);
        return nullptr;
    }
    hr = Upload(record->vertexBuffer, vertices, vertexBytes);
    if (SUCCEEDED(hr) && indexCount > 0) hr = Upload(record->indexBuffer, indices, indexBytes);
    if (FAILED(hr)) {
        ReportDXError(__LINE__, hr);
        return nullptr;
    }
    record->vertexCount = vertexCount;
    record->triangleCount = indexCount / 3;
    record->vertices.assign(vertices, vertices + vertexCount);
    if (indexCount > 0) record->indices.assign(indices, indices + indexCount);
    m_staticBuffers.emplace(key, record);
    return record.Get();
}

void CPRender::ReleaseStaticBuffers() {
    // The render objects still holding a record keep its buffers until they let go.
    m_staticBuffers.clear();
}

void CPRender::ProjectDecal(IPSceneObject* object, const D3DXMATRIX& world,
                            const CPSmartPtr<SPTriangleSet>& triangles) {
    if (!object) return;
    auto* decal = dynamic_cast<CPRenderObject*>(object->GetRenderable());
    if (!decal) return;

    const D3DXVECTOR3 half = object->GetPickHalfSize();
    const D3DXVECTOR3 corners[4] = {
        {-half.x - 0.1f, -half.y - 0.1f, -half.z},
        {half.x + 0.1f, -half.y - 0.1f, -half.z},
        {-half.x - 0.1f, 0.1f - half.y, -half.z},
        {-half.x - 0.1f, half.y - 0.1f, -half.z},
    };
    D3DXVECTOR3 c[4];
    D3DXVec3TransformCoordArray(c, sizeof(D3DXVECTOR3), corners, sizeof(D3DXVECTOR3), &world, 4);

    // Fit the smallest parallelogram with the start frame's edge directions around the strip
    // and the three points c3, c3 + U, c3 + V.
    const double ox = c[0].x, oy = c[0].y;
    const double ux = c[1].x - c[0].x, uy = c[1].y - c[0].y;
    const double vx = c[2].x - c[0].x, vy = c[2].y - c[0].y;
    const double det = ux * vy - uy * vx;
    if (det == 0.0 || !std::isfinite(det)) return;
    auto frame = [&](double px, double py, double& a, double& b) {
        const double dx = px - ox, dy = py - oy;
        a = (dx * vy - dy * vx) / det;
        b = (ux * dy - uy * dx) / det;
    };
    double minA = 0.0, maxA = 1.0, minB = 0.0, maxB = 1.0;
    const double points[3][2] = {{c[3].x, c[3].y}, {c[3].x + ux, c[3].y + uy}, {c[3].x + vx, c[3].y + vy}};
    for (const auto& p : points) {
        double a, b;
        frame(p[0], p[1], a, b);
        minA = std::min(minA, a);
        maxA = std::max(maxA, a);
        minB = std::min(minB, b);
        maxB = std::max(maxB, b);
    }
    const double fox = ox + minA * ux + minB * vx, foy = oy + minA * uy + minB * vy;
    const double fux = (maxA - minA) * ux, fuy = (maxA - minA) * uy;
    const double fvx = (maxB - minB) * vx, fvy = (maxB - minB) * vy;
    const double fdet = fux * fvy - fuy * fvx;
    if (fdet == 0.0 || !std::isfinite(fdet)) return;

    std::vector<SPVertex>& model = decal->ModelVertices();
    std::vector<std::uint16_t>& indices = decal->Indices();
    model.clear();
    indices.clear();
    decal->WorldVertices().clear();

    SPTerrainView terrain;
    const SPTriangleSet* set = triangles.Get();
    if (set && GetRaceWorld().GetTerrain(terrain) && terrain.vertices && terrain.triangles &&
        terrain.vertexStride >= 12 && terrain.triangleStride >= 12) {
        const int count = std::clamp(set->count, 0, SPTriangleSet::kMaxTriangles);
        std::vector<std::array<std::int32_t, 3>> seen;
        for (int n = 0; n < count; ++n) {
            const std::int32_t t = set->triangles[n];
            if (t < 0 || t >= terrain.triangleCount) continue;
            std::int32_t corner[3];
            std::memcpy(corner,
                        terrain.triangles +
                            static_cast<std::size_t>(t) * static_cast<std::size_t>(terrain.triangleStride),
                        sizeof(corner));
            if (corner[0] < 0 || corner[0] >= terrain.vertexCount || corner[1] < 0 ||
                corner[1] >= terrain.vertexCount || corner[2] < 0 || corner[2] >= terrain.vertexCount)
                continue;
            std::array<std::int32_t, 3> sorted = {corner[0], corner[1], corner[2]};
            std::sort(sorted.begin(), sorted.end());
            if (std::find(seen.begin(), seen.end(), sorted) != seen.end()) continue;
            seen.push_back(sorted);
            D3DXVECTOR3 p[3];
            for (int k = 0; k < 3; ++k)
                std::memcpy(&p[k],
                            terrain.vertices +
                                static_cast<std::size_t>(corner[k]) * static_cast<std::size_t>(terrain.vertexStride),
                            sizeof(D3DXVECTOR3));
            D3DXVECTOR3 e1 = p[1] - p[0], e2 = p[2] - p[0], normal;
            D3DXVec3Cross(&normal, &e1, &e2);
            const float length = D3DXVec3Length(&normal);
            if (!(length > 0.0f)) continue;
            const float nz = normal.z / length;
            if (!(std::acos(std::clamp(nz, -1.0f, 1.0f)) < 0.5235988f)) continue;
            for (int k = 0; k < 3; ++k) {
                if (model.size() >= 65535) break;
                SPVertex v{};
                v.x = p[k].x;
                v.y = p[k].y;
                v.z = p[k].z + 0.03f;
                v.nx = 0.0f;
                v.ny = 0.0f;
                v.nz = 1.0f;
                v.diffuse = 0xFFFFFFFF;
                v.specular = 0;
                const double dx = p[k].x - fox, dy = p[k].y - foy;
                v.tu = static_cast<float>((dx * fvy - dy * fvx) / fdet);
                v.tv = static_cast<float>((fux * dy - fuy * dx) / fdet);
                indices.push_back(static_cast<std::uint16_t>(model.size()));
                model.push_back(v);
            }
        }
    }
    decal->WorldVertices() = model;
}
