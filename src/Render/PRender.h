#pragma once
// The renderer: one task, run last in every pass, that owns the device and draws a frame.
// It creates and resets the device, sets the default states, walks the render groups, runs
// the post effects at their trigger keys, fades and presents, draws the loading screen, keeps
// the lights, the static level buffers and the ground decal, and projects points to the
// screen.

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "Framework/PMMObject.h"
#include "Framework/PTaskKernel.h"
#include "Platform/Graphics/D3D9.h"
#include "Platform/Math/D3DXTypes.h"
#include "Render/PBaseCamera.h"
#include "Render/PMaterial.h"
#include "Render/PRenderGroups.h"
#include "Render/PRenderSeams.h"
#include "Render/SPVertex.h"

class CPRenderBlock;
class CPRenderObject;
class CPIVBlock;

// One static level mesh on the device (managed pool, so it survives a reset). Counted: the
// renderer's name map and the render objects drawn from it hold it, and the device buffers
// go with the last holder.
struct SPStaticBuffer : public IPMMObject {
    SPStaticBuffer() = default;
    ~SPStaticBuffer() override;
    SPStaticBuffer(const SPStaticBuffer&) = delete;
    SPStaticBuffer& operator=(const SPStaticBuffer&) = delete;
    int GetSize() const override { return static_cast<int>(sizeof(SPStaticBuffer)); }
    std::string GetClassName() const override { return "SPStaticBuffer"; }

    IDirect3DVertexBuffer9* vertexBuffer = nullptr;
    IDirect3DIndexBuffer9* indexBuffer = nullptr;
    int vertexCount = 0;
    int triangleCount = 0;
    std::vector<SPVertex> vertices;
    std::vector<std::uint16_t> indices;
};

class CPRender : public IPTask, public IPMaterialHost {
public:
    // The most lights the frame honours at once.
    static constexpr int kMaxLights = 30;
    static constexpr int kFadeMaximum = 256;

    CPRender();
    ~CPRender() override;
    CPRender(const CPRender&) = delete;
    CPRender& operator=(const CPRender&) = delete;

    int GetSize() const override { return static_cast<int>(sizeof(CPRender)); }
    std::string GetClassName() const override { return "CPRender"; }
    bool Start() override;
    void Update() override { Render(); }
    void Stop() override;
    int GetKind() const override { return 3; }

    // IPMaterialHost
    IDirect3DDevice9* GetMaterialDevice() override { return m_device; }
    void QueueMaterial(CPMaterial* material) override;

    HRESULT CreateDevice();
    void SetDefaultStates();
    void SetTextureFilters();
    void Render();
    void SetFade(float level);
    void SetLights();
    void SetAmbient(D3DCOLOR colour, float r, float g, float b);
    void AddDebugLine(D3DCOLOR colour, const D3DXVECTOR3& from, const D3DXVECTOR3& to);
    D3DXVECTOR3 ProjectToScreen(const D3DXVECTOR3& point) const;
    void ResetDevice();
    void DrawLoadingScreen(int percent);
    SPStaticBuffer* CreateStaticBuffers(const std::string& name, const SPVertex* vertices, const std::uint16_t* indices,
                                        int vertexCount, int indexCount);
    void ReleaseStaticBuffers();
    void ProjectDecal(IPSceneObject* object, const D3DXMATRIX& world, const CPSmartPtr<SPTriangleSet>& triangles);

    void SetGroupCamera(RenderKey key, const CPSmartPtr<CPBaseCamera>& camera);
    void SetGroupTransform(const D3DXMATRIX& matrix, RenderKey key);
    void RegisterDrawBlock(CPRenderBlock* block);

    CPSmartPtr<CPRenderBlock> GetRenderBlock() const;
    CPSmartPtr<CPMaterial> GetShadowMaterial() const { return m_shadowMaterial; }

    // Appends a light to this frame's list; false when the list is full.
    bool AddLight(const D3DLIGHT9& light);
    int GetLightCount() const { return m_lightCount; }
    void SetLightCount(int count) { m_lightCount = count < 0 ? 0 : (count > kMaxLights ? kMaxLights : count); }
    const D3DLIGHT9& GetLight(int i) const { return m_lights[i]; }
    const D3DLIGHT9& GetSunLight() const { return m_sunLight; }

    // The seams: the post effects (owned; null restores the default that does nothing) and
    // the loaded sky (owned; null: no sky).
    void SetPostEffects(std::unique_ptr<IPPostEffects> postEffects);
    IPPostEffects& GetPostEffects() { return *m_postEffects; }
    void SetSky(std::unique_ptr<IPRenderSky> sky) { m_sky = std::move(sky); }
    IPRenderSky* GetSky() const { return m_sky.get(); }
    // Replaces the sky by the one of "skyscape<n>.txt", made by the installed sky maker (none
    // without a maker).
    void LoadSky(int n);

    IDirect3DDevice9* GetDevice() const { return m_device; }
    IDirect3D9* GetDirect3D() const { return m_direct3D; }
    const D3DPRESENT_PARAMETERS& GetPresentParameters() const { return m_presentParameters; }
    DWORD GetBehaviourFlags() const { return m_behaviourFlags; }
    bool IsMultisampling() const { return m_multisample; }
    DWORD GetMultisampleQuality() const { return m_multisampleQuality; }
    bool HasPixelShader20() const { return m_pixelShader20; }
    DWORD GetMaxAnisotropy() const { return m_maxAnisotropy; }
    float GetFadeValue() const { return m_fadeValue; }
    D3DCOLOR GetAmbientColour() const { return m_ambientColour; }
    const D3DXVECTOR4& GetAmbientVector() const { return m_ambientVector; }
    CPSmartPtr<CPBaseCamera> GetScreenCamera() const { return m_screenCamera; }
    const RenderGroupMap& GetGroups() const { return m_groups; }
    const SPRenderGroup* FindGroup(RenderKey key) const;
    std::size_t GetStaticBufferCount() const { return m_staticBuffers.size(); }
    const std::vector<SPVertex>& GetDebugLines() const { return m_debugLines; }
    bool HasDebugLines() const { return !m_debugLines.empty(); }
    int GetTrianglesDrawn() const { return m_trianglesDrawn; }
    int GetDrawCalls() const { return m_drawCalls; }
    IDirect3DTexture9* GetLoadingTexture(int i) const { return m_loadingTextures[i]; }

    // The fade quad for a fade value and the loading screen's three quads (back_all,
    // back_load, the bar) on a screen of w x h.
    static void MakeFadeQuad(float fadeValue, int w, int h, SPScreenVertex out[4]);
    static void MakeLoadingQuads(int percent, int w, int h, float scale, float offset, SPScreenVertex out[3][4]);

    // Values other parts read or set directly.
    float lightCoefficient = 2.0f;
    bool motionBlur = false;
    float motionBlurAmount = 0.0f;
    float radialBlurAmount = 0.0f;
    int objectsAdded = 0;
    D3DCOLOR fogColour = 0;
    // The car value the tuning keys step (0 to 18), shared by the whole program.
    int tuningIndex = 0;

private:
    // The frame, in the order Render runs it.
    void DrawQueuedBlocks();
    // What a frame on a lost device still does: the ring is flushed, the lights and debug lines go.
    void DropFrame();
    // Zeroes the frame's counters and the bound-buffer cache, begins the scene, clears depth.
    void BeginFrameScene();
    void DrawSky();
    // The vertex format, WORLD at identity, and the view camera's matrices when there is one.
    void SetViewTransforms(const D3DXMATRIX* view, const D3DXMATRIX* projection);
    void DrawGroupsWithPostEffects();
    // Drops unused groups, fades, ends the scene and presents.
    void EndFrame();

    void DrawGroup(SPRenderGroup& group);
    void DrawBatch(CPIVBlock& batch, ID3DXEffect* effect, UINT passes, const SPRenderGroup& group);
    // Binds the pair to stream 0 unless the bound-buffer cache already holds it.
    void BindBuffers(IDirect3DVertexBuffer9* vertexBuffer, IDirect3DIndexBuffer9* indexBuffer);
    void RunPostEffect(bool bloom);
    void DrawFade();
    void EndOfFrameGroups();
    SPRenderGroup& FindOrCreateGroup(RenderKey key);
    void SetSharedParameters(const class CPPerspectiveCamera& camera);

    std::unordered_map<std::string, CPSmartPtr<SPStaticBuffer>> m_staticBuffers;
    std::unique_ptr<IPPostEffects> m_postEffects;
    bool m_multisample = false;
    DWORD m_multisampleQuality = 0;
    std::vector<CPSmartPtr<CPRenderBlock>> m_drawList;
    CPSmartPtr<CPMaterial> m_shadowMaterial;
    std::vector<SPVertex> m_debugLines;
    D3DLIGHT9 m_lights[kMaxLights];
    int m_lightCount = 0;
    IDirect3DVertexBuffer9* m_boundVertexBuffer = nullptr;
    IDirect3DIndexBuffer9* m_boundIndexBuffer = nullptr;
    D3DPRESENT_PARAMETERS m_presentParameters;
    IDirect3D9* m_direct3D = nullptr;
    IDirect3DDevice9* m_device = nullptr;
    D3DFORMAT m_format16 = D3DFMT_UNKNOWN;
    D3DFORMAT m_format32 = D3DFMT_UNKNOWN;
    DWORD m_behaviourFlags = 0;
    RenderGroupMap m_groups;
    int m_trianglesDrawn = 0;
    int m_drawCalls = 0;
    CPSmartPtr<CPRenderBlock> m_renderBlock;
    float m_fadeValue = 256.0f;
    D3DCOLOR m_ambientColour = 0;
    D3DXVECTOR4 m_ambientVector;
    DWORD m_maxAnisotropy = 0;
    std::unique_ptr<IPRenderSky> m_sky;
    D3DLIGHT9 m_sunLight;
    bool m_pixelShader20 = false;
    CPSmartPtr<CPBaseCamera> m_screenCamera;
    IDirect3DTexture9* m_loadingTextures[3] = {nullptr, nullptr, nullptr};
    bool m_loadingPictureRefused[3] = {false, false, false};
    // Within a batch draw: WORLD was changed by a static object since the last dynamic range.
    bool m_staticWorldChanged = false;
};

// The renderer, or null before its constructor and after its destructor.
CPRender* GetRender();
