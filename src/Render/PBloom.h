#pragma once
// The renderer's post-processing member: two full-screen passes the frame runs in the middle
// of its group loop, so that the 3D scene drawn before them is processed and the screen layer
// drawn after them is not.
//
// The radial blur copies the frame, draws a speed-dependent blur of the copy around the blur
// centre into a target of the frame's size (blur_2.fx, with a mask that keeps the middle of the
// screen sharp) and lays it over the frame with the target's alpha. The bloom shrinks the frame
// into a 512 x 384 target, runs a bright pass into a second target of that size (bloom.fx) and
// a blur back into the first (bloom2.fx) - no pass ever reads the surface it draws into - adds
// the result over the frame and lays a fine noise over it.
//
// Device objects are released before a reset and made again after it; errors are reported as
// "Render\Bloom".

#include <vector>

#include "Platform/Effects/D3DXEffect.h"
#include "Platform/Graphics/D3D9.h"
#include "Render/PRenderSeams.h"
#include "Render/SPVertex.h"

class CPBloom : public IPPostEffects {
public:
    static constexpr UINT kSmallWidth = 512;
    static constexpr UINT kSmallHeight = 384;

    CPBloom();
    ~CPBloom() override;
    CPBloom(const CPBloom&) = delete;
    CPBloom& operator=(const CPBloom&) = delete;

    // Loads the effects and pictures and makes the targets for the device's current back
    // buffer. E_FAIL without a device or without pixel shader 2.0 (nothing is made). A file
    // that cannot be loaded is logged and leaves its object null.
    HRESULT Init(IDirect3DDevice9* device) override;
    // Every device object: targets, kept surfaces, effects, pictures.
    void ReleaseTargets() override;
    // The effects and pictures.
    void Release() override;
    void RadialBlur() override;
    void Bloom() override;

    // The blur's strength from the human racer's speed: 0 without a level or a racer, else the
    // length of the car's velocity x 0.05, clamped to [0, 1].
    static float SpeedRatio();

    bool IsEnabled() const { return m_enabled; }
    void SetEnabled(bool enabled) { m_enabled = enabled; }

    // What Init made, for the frame's tests and tools.
    const SPScreenVertex* GetScreenQuad() const { return m_screenQuad; }
    const SPScreenVertex* GetSmallQuad() const { return m_smallQuad; }
    IDirect3DTexture9* GetSmallTarget() const { return m_small.texture; }
    IDirect3DTexture9* GetSecondTarget() const { return m_second.texture; }
    IDirect3DTexture9* GetBlurTarget() const { return m_blur.texture; }
    IDirect3DTexture9* GetCopyTarget() const { return m_copy.texture; }
    IDirect3DTexture9* GetMaskTexture() const { return m_mask; }
    IDirect3DTexture9* GetNoiseTexture() const { return m_noise; }
    ID3DXEffect* GetBloomEffect() const { return m_bloomEffect; }
    ID3DXEffect* GetSecondBloomEffect() const { return m_secondEffect; }
    ID3DXEffect* GetBlurEffect() const { return m_blurEffect; }
    const std::vector<D3DXHANDLE>& GetBloomParameters() const { return m_bloomParameters; }
    const std::vector<D3DXHANDLE>& GetSecondBloomParameters() const { return m_secondParameters; }
    const std::vector<D3DXHANDLE>& GetBlurParameters() const { return m_blurParameters; }

private:
    // A render-target texture and its level-0 surface.
    struct Target {
        IDirect3DTexture9* texture = nullptr;
        IDirect3DSurface9* surface = nullptr;
        void Release();
        bool IsMade() const { return texture && surface; }
    };

    HRESULT CreateTargets();
    bool CreateTarget(UINT width, UINT height, D3DFORMAT format, Target& target);
    // Loads an effect through the file layer with its first valid technique and collects its
    // texture parameters in declaration order; null (logged) when it cannot be built.
    ID3DXEffect* LoadEffect(const char* path, std::vector<D3DXHANDLE>& textureParameters);
    IDirect3DTexture9* LoadTexture(const char* path);
    // Binds every texture parameter to the texture, then draws the quad with each pass.
    void RunEffect(ID3DXEffect* effect, const std::vector<D3DXHANDLE>& parameters, IDirect3DBaseTexture9* texture,
                   const SPScreenVertex* quad);
    void DrawPasses(ID3DXEffect* effect, const SPScreenVertex* quad);
    void DrawQuad(const SPScreenVertex* quad);
    void SetPostState();
    void RestoreState();
    void ReleaseEffectsAndTextures();
    static void MakeQuad(float right, float bottom, SPScreenVertex out[4]);

    IDirect3DDevice9* m_device = nullptr;
    Target m_small;
    Target m_second;
    Target m_blur;
    Target m_copy;
    IDirect3DSurface9* m_backBuffer = nullptr;
    IDirect3DSurface9* m_depthSurface = nullptr;
    IDirect3DTexture9* m_mask = nullptr;
    IDirect3DTexture9* m_noise = nullptr;
    ID3DXEffect* m_bloomEffect = nullptr;
    ID3DXEffect* m_secondEffect = nullptr;
    ID3DXEffect* m_blurEffect = nullptr;
    std::vector<D3DXHANDLE> m_bloomParameters;
    std::vector<D3DXHANDLE> m_secondParameters;
    std::vector<D3DXHANDLE> m_blurParameters;
    float m_right = 1024.0f - 0.5f;
    float m_bottom = 768.0f - 0.5f;
    SPScreenVertex m_screenQuad[4];
    SPScreenVertex m_smallQuad[4];
    bool m_enabled = true;
};
