// Multisampled back buffers: the rules both devices keep (what the adapter offers, which present
// parameters are refused, what a multisampled surface refuses to do) and, on the OpenGL device
// offscreen, the coverage that reaches a single-sample copy of the back buffer.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "GraphicsTestUtil.h"
#include "Platform/Graphics/D3D9.h"
#include "Platform/Graphics/RecordingDevice.h"
#include "support/TestDevices.h"

using namespace GraphicsTest;

namespace {

constexpr UINT W = 160, H = 120;

// One device of either backend, made and remade by the test itself.
class MultisampleDevice : public ::testing::Test {
protected:
    // From SetUp; a skip or failure here keeps the test body from running.
    void OpenAdapter(D3DBackend backend) {
        Platform::SetRecordingConfig(Platform::RecordingConfig{});
        d3d = backend == D3DBackend::OpenGL ? kxtest::OffscreenOpenGLDirect3D() : kxtest::RecordingDirect3D();
        if (!d3d) GTEST_SKIP() << "no OpenGL 4.5 here";
        // Every OpenGL 4.5 multisamples RGBA8 and depth-stencil renderbuffers (at least four
        // samples), so the OpenGL adapter always offers a level for 32-bit back buffers.
        ASSERT_EQ(d3d->CheckDeviceMultiSampleType(0, D3DDEVTYPE_HAL, D3DFMT_A8R8G8B8, TRUE, D3DMULTISAMPLE_NONMASKABLE,
                                                  &levels),
                  D3D_OK);
        ASSERT_GE(levels, 1u);
    }

    void TearDown() override {
        CloseDevice();
        if (d3d) d3d->Release();
        d3d = nullptr;
    }

    static D3DPRESENT_PARAMETERS Params(D3DMULTISAMPLE_TYPE type, DWORD quality) {
        D3DPRESENT_PARAMETERS pp = WindowedParams(W, H);
        pp.MultiSampleType = type;
        pp.MultiSampleQuality = quality;
        return pp;
    }
    // The engine's choice: the highest quality the adapter offers.
    D3DPRESENT_PARAMETERS Multisampled() const { return Params(D3DMULTISAMPLE_NONMASKABLE, levels - 1); }

    HRESULT Create(D3DPRESENT_PARAMETERS pp) {
        CloseDevice();
        const HRESULT hr =
            d3d->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, D3DCREATE_HARDWARE_VERTEXPROCESSING, &pp, &device);
        if (SUCCEEDED(hr)) {
            EXPECT_EQ(device->GetRenderTarget(0, &backBuffer), D3D_OK);
        }
        return hr;
    }
    // References to the back buffer are dropped first: the Recording device resets strictly.
    HRESULT Reset(D3DPRESENT_PARAMETERS pp) {
        if (backBuffer) backBuffer->Release();
        backBuffer = nullptr;
        const HRESULT hr = device->Reset(&pp);
        if (SUCCEEDED(hr)) {
            EXPECT_EQ(device->GetRenderTarget(0, &backBuffer), D3D_OK);
        }
        return hr;
    }
    void CloseDevice() {
        if (backBuffer) backBuffer->Release();
        if (device) {
            EXPECT_EQ(device->Release(), 0u) << "something still holds the device";
        }
        backBuffer = nullptr;
        device = nullptr;
    }

    IDirect3DSurface9* RenderTarget(UINT width, UINT height, IDirect3DTexture9** texture) {
        IDirect3DSurface9* surface = nullptr;
        EXPECT_EQ(device->CreateTexture(width, height, 1, D3DUSAGE_RENDERTARGET, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT,
                                        texture, nullptr),
                  D3D_OK);
        if (*texture) {
            EXPECT_EQ((*texture)->GetSurfaceLevel(0, &surface), D3D_OK);
        }
        return surface;
    }

    IDirect3D9* d3d = nullptr;
    IDirect3DDevice9* device = nullptr;
    IDirect3DSurface9* backBuffer = nullptr;
    DWORD levels = 0;
};

// ---------------------------------------------------------------------------------------------
// The rules, on both devices

class MultisampleRules : public MultisampleDevice, public ::testing::WithParamInterface<D3DBackend> {
protected:
    void SetUp() override { OpenAdapter(GetParam()); }
};

TEST_P(MultisampleRules, TheAdapterOffersNonmaskableLevelsOnly) {
    struct Case {
        D3DMULTISAMPLE_TYPE type;
        HRESULT result;
        DWORD levels;
    } cases[] = {{D3DMULTISAMPLE_NONE, D3D_OK, 1},
                 {D3DMULTISAMPLE_NONMASKABLE, D3D_OK, levels},
                 {D3DMULTISAMPLE_2_SAMPLES, D3DERR_NOTAVAILABLE, 0},
                 {D3DMULTISAMPLE_4_SAMPLES, D3DERR_NOTAVAILABLE, 0},
                 {static_cast<D3DMULTISAMPLE_TYPE>(16), D3DERR_NOTAVAILABLE, 0},
                 {static_cast<D3DMULTISAMPLE_TYPE>(17), D3DERR_INVALIDCALL, 0}};
    for (const Case& c : cases) {
        DWORD answer = 99;
        EXPECT_EQ(d3d->CheckDeviceMultiSampleType(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, FALSE, c.type, &answer), c.result)
            << "type " << c.type;
        EXPECT_EQ(answer, c.levels) << "type " << c.type;
    }
    // The automatic depth buffer can follow every level the back buffer offers.
    DWORD depthLevels = 0;
    EXPECT_EQ(
        d3d->CheckDeviceMultiSampleType(0, D3DDEVTYPE_HAL, D3DFMT_D16, FALSE, D3DMULTISAMPLE_NONMASKABLE, &depthLevels),
        D3D_OK);
    EXPECT_GE(depthLevels, levels);
}

TEST_P(MultisampleRules, PresentParametersOutsideTheOfferAreRefused) {
    struct Case {
        const char* what;
        D3DMULTISAMPLE_TYPE type;
        DWORD quality;
        D3DSWAPEFFECT swap;
        DWORD flags;
    } cases[] = {
        {"quality past the last level", D3DMULTISAMPLE_NONMASKABLE, levels, D3DSWAPEFFECT_DISCARD, 0},
        {"quality without multisampling", D3DMULTISAMPLE_NONE, 1, D3DSWAPEFFECT_DISCARD, 0},
        {"a counted type not offered", D3DMULTISAMPLE_4_SAMPLES, 0, D3DSWAPEFFECT_DISCARD, 0},
        {"a swap effect that keeps the buffer", D3DMULTISAMPLE_NONMASKABLE, 0, D3DSWAPEFFECT_COPY, 0},
        {"a lockable back buffer", D3DMULTISAMPLE_NONMASKABLE, 0, D3DSWAPEFFECT_DISCARD,
         D3DPRESENTFLAG_LOCKABLE_BACKBUFFER},
    };
    auto params = [](const Case& c) {
        D3DPRESENT_PARAMETERS pp = Params(c.type, c.quality);
        pp.SwapEffect = c.swap;
        pp.Flags = c.flags;
        return pp;
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Create(params(c)), D3DERR_INVALIDCALL) << c.what;
        EXPECT_EQ(device, nullptr) << c.what;
    }

    // Reset refuses them too and leaves the device lost but resettable, its buffers intact.
    ASSERT_EQ(Create(Multisampled()), D3D_OK);
    for (const Case& c : cases) {
        EXPECT_EQ(Reset(params(c)), D3DERR_INVALIDCALL) << c.what;
        EXPECT_EQ(device->TestCooperativeLevel(), D3DERR_DEVICENOTRESET) << c.what;
    }
    ASSERT_EQ(Reset(Multisampled()), D3D_OK);
    EXPECT_EQ(device->TestCooperativeLevel(), D3D_OK);
    EXPECT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0), D3D_OK);
    EXPECT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
}

TEST_P(MultisampleRules, AMultisampledBackBufferIsResolvedNeverReadOrWritten) {
    ASSERT_EQ(Create(Multisampled()), D3D_OK);
    D3DSURFACE_DESC d;
    ASSERT_EQ(backBuffer->GetDesc(&d), D3D_OK);
    EXPECT_EQ(d.MultiSampleType, D3DMULTISAMPLE_NONMASKABLE);
    EXPECT_EQ(d.MultiSampleQuality, levels - 1);
    IDirect3DSurface9* depth = nullptr;
    ASSERT_EQ(device->GetDepthStencilSurface(&depth), D3D_OK);
    ASSERT_EQ(depth->GetDesc(&d), D3D_OK);
    EXPECT_EQ(d.MultiSampleType, D3DMULTISAMPLE_NONMASKABLE);
    EXPECT_EQ(d.MultiSampleQuality, levels - 1);
    depth->Release();

    D3DLOCKED_RECT locked;
    EXPECT_EQ(backBuffer->LockRect(&locked, nullptr, D3DLOCK_READONLY), D3DERR_INVALIDCALL);
    std::vector<D3DCOLOR> pixels(W * H);
    EXPECT_EQ(device->ReadRenderTarget(backBuffer, pixels.data(), W * H), D3DERR_INVALIDCALL);

    IDirect3DTexture9* texture = nullptr;
    IDirect3DSurface9* target = RenderTarget(W, H, &texture);
    ASSERT_NE(target, nullptr);
    device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF336699, 1.0f, 0);
    EXPECT_EQ(device->StretchRect(backBuffer, nullptr, target, nullptr, D3DTEXF_LINEAR), D3D_OK);
    EXPECT_EQ(device->StretchRect(target, nullptr, backBuffer, nullptr, D3DTEXF_LINEAR), D3DERR_INVALIDCALL)
        << "nothing is copied into samples";
    ASSERT_EQ(device->ReadRenderTarget(target, pixels.data(), W * H), D3D_OK);
    EXPECT_EQ(pixels[H / 2 * W + W / 2], 0xFF336699u);
    target->Release();
    texture->Release();
}

INSTANTIATE_TEST_SUITE_P(Backends, MultisampleRules, ::testing::Values(D3DBackend::Recording, D3DBackend::OpenGL),
                         [](const ::testing::TestParamInfo<D3DBackend>& info) {
                             return std::string(info.param == D3DBackend::OpenGL ? "OpenGL" : "Recording");
                         });

// ---------------------------------------------------------------------------------------------
// Pixels, on the OpenGL device

class OpenGLMultisampleTest : public MultisampleDevice {
protected:
    void SetUp() override { OpenAdapter(D3DBackend::OpenGL); }

    void UnlitScreenState() {
        UnlitDiffuseState(device);
        device->SetFVF(kScreenFvf);
    }

    // A white triangle on black whose three edges are all slanted.
    void DrawTriangle(BOOL antialias) {
        ASSERT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0), D3D_OK);
        ASSERT_EQ(device->BeginScene(), D3D_OK);
        UnlitScreenState();
        device->SetRenderState(D3DRS_ZENABLE, FALSE);
        device->SetRenderState(D3DRS_MULTISAMPLEANTIALIAS, antialias);
        const ScreenVertex tri[3] = {{10.3f, 8.1f, 0.5f, 1, 0xFFFFFFFF, 0, 0},
                                     {151.7f, 31.4f, 0.5f, 1, 0xFFFFFFFF, 0, 0},
                                     {23.2f, 112.6f, 0.5f, 1, 0xFFFFFFFF, 0, 0}};
        ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, tri, sizeof(ScreenVertex)), D3D_OK);
        ASSERT_EQ(device->EndScene(), D3D_OK);
    }

    // The back buffer copied by StretchRect into a fresh single-sample target and read back.
    std::vector<D3DCOLOR> CopyOfBackBuffer(UINT width, UINT height, D3DTEXTUREFILTERTYPE filter) {
        IDirect3DTexture9* texture = nullptr;
        IDirect3DSurface9* target = RenderTarget(width, height, &texture);
        std::vector<D3DCOLOR> pixels(width * height);
        if (!target) return pixels;
        EXPECT_EQ(device->StretchRect(backBuffer, nullptr, target, nullptr, filter), D3D_OK);
        EXPECT_EQ(device->ReadRenderTarget(target, pixels.data(), width * height), D3D_OK);
        target->Release();
        texture->Release();
        return pixels;
    }

    // Pixels neither black nor white: partly covered edge pixels once resolved.
    static int Intermediate(const std::vector<D3DCOLOR>& pixels) {
        int n = 0;
        for (D3DCOLOR c : pixels) {
            const int g = Channel(c, 8);
            n += g > 8 && g < 247;
        }
        return n;
    }
};

TEST_F(OpenGLMultisampleTest, ResolvedEdgesCarryPartialCoverageOnlyWhenMultisampling) {
    struct Case {
        const char* name;
        bool multisampled;
        BOOL antialias;
        bool coverage;
    } cases[] = {{"single sample", false, TRUE, false},
                 {"multisampled", true, TRUE, true},
                 {"multisampled, antialiasing off", true, FALSE, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_EQ(Create(c.multisampled ? Multisampled() : Params(D3DMULTISAMPLE_NONE, 0)), D3D_OK);
        DrawTriangle(c.antialias);
        // The full-size copy and a half-size one (resolved first, then scaled) like the
        // renderer's two post-effect targets; point sampling keeps the scaling from blending.
        for (UINT divisor : {1u, 2u}) {
            SCOPED_TRACE(divisor);
            const UINT w = W / divisor, h = H / divisor;
            const auto p = CopyOfBackBuffer(w, h, D3DTEXF_POINT);
            EXPECT_EQ(p[60 / divisor * w + 50 / divisor], 0xFFFFFFFFu) << "inside";
            EXPECT_EQ(p[110 / divisor * w + 150 / divisor], 0xFF000000u) << "outside";
            const int partial = Intermediate(p);
            if (c.coverage) {
                EXPECT_GT(partial, static_cast<int>(60 / divisor)) << "along some 400 pixels of edges";
            } else {
                EXPECT_EQ(partial, 0);
            }
        }
        // Present resolves too; a GL error on its way would fail the next draw.
        EXPECT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
        DrawTriangle(c.antialias);
        const auto linear = CopyOfBackBuffer(W / 2, H / 2, D3DTEXF_LINEAR);
        EXPECT_EQ(linear[30 * (W / 2) + 25], 0xFFFFFFFFu);
    }
}

TEST_F(OpenGLMultisampleTest, DepthWorksInSamplesAndTargetsWithoutSamplesStillDraw) {
    ASSERT_EQ(Create(Multisampled()), D3D_OK);
    ASSERT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0), D3D_OK);
    ASSERT_EQ(device->BeginScene(), D3D_OK);
    UnlitScreenState();
    // The near red quad first, then the far green one over it: the depth test keeps red.
    auto quad = [&](float x0, float y0, float x1, float y1, float z, D3DCOLOR c) {
        const ScreenVertex q[4] = {
            {x1, y0, z, 1, c, 0, 0}, {x1, y1, z, 1, c, 0, 0}, {x0, y0, z, 1, c, 0, 0}, {x0, y1, z, 1, c, 0, 0}};
        EXPECT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, q, sizeof(ScreenVertex)), D3D_OK);
    };
    quad(20, 20, 100, 100, 0.2f, 0xFFFF0000);
    quad(60, 40, 140, 110, 0.8f, 0xFF00FF00);

    // A post effect's target: single-sample, drawn with the multisampled depth buffer still set.
    IDirect3DTexture9* texture = nullptr;
    IDirect3DSurface9* target = RenderTarget(64, 48, &texture);
    ASSERT_NE(target, nullptr);
    ASSERT_EQ(device->SetRenderTarget(0, target), D3D_OK);
    ASSERT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0), D3D_OK);
    quad(-0.5f, -0.5f, 31.5f, 23.5f, 0.5f, 0xFF0000FF);
    ASSERT_EQ(device->SetRenderTarget(0, backBuffer), D3D_OK);
    ASSERT_EQ(device->EndScene(), D3D_OK);

    std::vector<D3DCOLOR> small(64 * 48);
    ASSERT_EQ(device->ReadRenderTarget(target, small.data(), 64 * 48), D3D_OK);
    EXPECT_EQ(small[10 * 64 + 10], 0xFF0000FFu);
    EXPECT_EQ(small[40 * 64 + 50], 0xFF000000u);
    const auto p = CopyOfBackBuffer(W, H, D3DTEXF_NONE);
    EXPECT_EQ(p[80 * W + 80], 0xFFFF0000u) << "the far quad stays behind the near one";
    EXPECT_EQ(p[105 * W + 120], 0xFF00FF00u);
    target->Release();
    texture->Release();
}

TEST_F(OpenGLMultisampleTest, ResetTurnsMultisamplingOnAndOff) {
    ASSERT_EQ(Create(Params(D3DMULTISAMPLE_NONE, 0)), D3D_OK);
    struct Step {
        bool multisampled;
    } steps[] = {{true}, {false}, {true}};
    for (const Step& s : steps) {
        SCOPED_TRACE(s.multisampled ? "to multisampled" : "to single sample");
        ASSERT_EQ(Reset(s.multisampled ? Multisampled() : Params(D3DMULTISAMPLE_NONE, 0)), D3D_OK);
        D3DSURFACE_DESC d;
        backBuffer->GetDesc(&d);
        EXPECT_EQ(d.MultiSampleType, s.multisampled ? D3DMULTISAMPLE_NONMASKABLE : D3DMULTISAMPLE_NONE);
        // The render state starts TRUE again after a reset.
        DWORD antialias = FALSE;
        device->GetRenderState(D3DRS_MULTISAMPLEANTIALIAS, &antialias);
        EXPECT_EQ(antialias, static_cast<DWORD>(TRUE));
        DrawTriangle(TRUE);
        const int partial = Intermediate(CopyOfBackBuffer(W, H, D3DTEXF_POINT));
        EXPECT_EQ(partial > 0, s.multisampled) << partial;
        std::vector<D3DCOLOR> pixels(W * H);
        EXPECT_EQ(device->ReadRenderTarget(backBuffer, pixels.data(), W * H),
                  s.multisampled ? D3DERR_INVALIDCALL : D3D_OK);
        EXPECT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
    }
}

} // namespace
