// The Recording device: call streams and states, resources in CPU memory, reference counts,
// argument checks, device loss and strict or failing resets.

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "GraphicsTestUtil.h"
#include "Platform/Graphics/D3D9.h"
#include "Platform/Graphics/RecordingDevice.h"

using namespace GraphicsTest;
using Platform::IRecordingControl;

namespace {

class RecordingDeviceTest : public ::testing::Test {
protected:
    void SetUp() override {
        Platform::SetRecordingConfig(Platform::RecordingConfig{});
        d3d = kxtest::RecordingDirect3D();
        ASSERT_NE(d3d, nullptr);
        pp = WindowedParams(640, 480);
        ASSERT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, D3DCREATE_HARDWARE_VERTEXPROCESSING, &pp, &device),
                  D3D_OK);
        control = Platform::RecordingControl(device);
        ASSERT_NE(control, nullptr);
    }
    void TearDown() override {
        if (device) {
            EXPECT_EQ(device->Release(), 0u) << "something still holds the device";
        }
        if (d3d) d3d->Release();
        Platform::SetRecordingConfig(Platform::RecordingConfig{});
    }

    IDirect3DVertexBuffer9* MakeVertexBuffer(UINT vertices, D3DPOOL pool = D3DPOOL_MANAGED,
                                             DWORD usage = D3DUSAGE_WRITEONLY) {
        IDirect3DVertexBuffer9* vb = nullptr;
        EXPECT_EQ(device->CreateVertexBuffer(vertices * 48, usage, kVertexFvf, pool, &vb, nullptr), D3D_OK);
        return vb;
    }
    IDirect3DIndexBuffer9* MakeIndexBuffer(const std::vector<std::uint16_t>& indices, D3DPOOL pool = D3DPOOL_MANAGED) {
        IDirect3DIndexBuffer9* ib = nullptr;
        EXPECT_EQ(device->CreateIndexBuffer(static_cast<UINT>(indices.size() * 2), D3DUSAGE_WRITEONLY, D3DFMT_INDEX16,
                                            pool, &ib, nullptr),
                  D3D_OK);
        void* p = nullptr;
        EXPECT_EQ(ib->Lock(0, 0, &p, 0), D3D_OK);
        std::memcpy(p, indices.data(), indices.size() * 2);
        ib->Unlock();
        return ib;
    }

    IDirect3D9* d3d = nullptr;
    IDirect3DDevice9* device = nullptr;
    IRecordingControl* control = nullptr;
    D3DPRESENT_PARAMETERS pp;
};

TEST_F(RecordingDeviceTest, RecordsTheCallsOfASmallSceneInOrder) {
    IDirect3DVertexBuffer9* vb = MakeVertexBuffer(3);
    IDirect3DIndexBuffer9* ib = MakeIndexBuffer({0, 1, 2});
    control->ClearCalls();

    device->Clear(0, nullptr, D3DCLEAR_ZBUFFER, 0, 1.0f, 0);
    device->BeginScene();
    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_CCW);
    device->SetFVF(kVertexFvf);
    device->SetStreamSource(0, vb, 0, 48);
    device->SetIndices(ib);
    EXPECT_EQ(device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 3, 0, 1), D3D_OK);
    device->EndScene();
    EXPECT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);

    const std::vector<std::string> expected = {"Clear",           "BeginScene", "SetRenderState",       "SetFVF",
                                               "SetStreamSource", "SetIndices", "DrawIndexedPrimitive", "EndScene",
                                               "Present"};
    EXPECT_EQ(control->CallNames(), expected);
    const auto& calls = control->Calls();
    EXPECT_EQ(calls[0].args, (std::vector<std::int64_t>{0, D3DCLEAR_ZBUFFER, 0, 0x3F800000, 0}));
    EXPECT_EQ(calls[2].ToString(), "SetRenderState(22, 3)");
    EXPECT_EQ(calls[4].args[1], control->ObjectId(vb));
    EXPECT_EQ(calls[6].args, (std::vector<std::int64_t>{D3DPT_TRIANGLELIST, 0, 0, 3, 0, 1}));
    EXPECT_EQ(control->PresentCount(), 1);
    vb->Release();
    ib->Release();
}

TEST_F(RecordingDeviceTest, StartsWithTheOriginalPlatformsDefaultStates) {
    DWORD v = 0;
    struct {
        D3DRENDERSTATETYPE state;
        DWORD value;
    } rs[] = {{D3DRS_ZENABLE, D3DZB_TRUE},       {D3DRS_LIGHTING, TRUE},
              {D3DRS_CULLMODE, D3DCULL_CCW},     {D3DRS_SRCBLEND, D3DBLEND_ONE},
              {D3DRS_DESTBLEND, D3DBLEND_ZERO},  {D3DRS_ZFUNC, D3DCMP_LESSEQUAL},
              {D3DRS_COLORVERTEX, TRUE},         {D3DRS_DIFFUSEMATERIALSOURCE, D3DMCS_COLOR1},
              {D3DRS_FOGENABLE, FALSE},          {D3DRS_FOGEND, 0x3F800000},
              {D3DRS_TEXTUREFACTOR, 0xFFFFFFFF}, {D3DRS_COLORWRITEENABLE, 0xF}};
    for (const auto& c : rs) {
        ASSERT_EQ(device->GetRenderState(c.state, &v), D3D_OK);
        EXPECT_EQ(v, c.value) << "render state " << c.state;
    }
    device->GetTextureStageState(0, D3DTSS_COLOROP, &v);
    EXPECT_EQ(v, static_cast<DWORD>(D3DTOP_MODULATE));
    device->GetTextureStageState(1, D3DTSS_COLOROP, &v);
    EXPECT_EQ(v, static_cast<DWORD>(D3DTOP_DISABLE));
    device->GetSamplerState(0, D3DSAMP_ADDRESSU, &v);
    EXPECT_EQ(v, static_cast<DWORD>(D3DTADDRESS_WRAP));
    D3DVIEWPORT9 vp;
    device->GetViewport(&vp);
    EXPECT_EQ(vp.Width, 640u);
    EXPECT_EQ(vp.Height, 480u);
}

TEST_F(RecordingDeviceTest, StatesTransformsLightsAndMaterialReadBack) {
    D3DMATRIX world = Translation(1, 2, 3), got{};
    device->SetTransform(D3DTS_WORLD, &world);
    device->GetTransform(D3DTS_WORLD, &got);
    EXPECT_EQ(std::memcmp(&world, &got, sizeof(world)), 0);
    D3DLIGHT9 l, back;
    l.Type = D3DLIGHT_POINT;
    l.Range = 7;
    EXPECT_EQ(device->SetLight(29, &l), D3D_OK);
    EXPECT_EQ(device->GetLight(29, &back), D3D_OK);
    EXPECT_EQ(back.Range, 7.0f);
    BOOL on = TRUE;
    EXPECT_EQ(device->GetLightEnable(29, &on), D3D_OK);
    EXPECT_FALSE(on);
    // Thirty lights at once are honoured; a thirty-first is refused.
    for (DWORD i = 0; i < 30; ++i) EXPECT_EQ(device->LightEnable(i, TRUE), D3D_OK);
    EXPECT_EQ(device->LightEnable(30, TRUE), D3DERR_INVALIDCALL);
    D3DMATERIAL9 m, mb;
    m.Power = 10;
    m.Specular = {0.3f, 0.3f, 0.3f, 1};
    device->SetMaterial(&m);
    device->GetMaterial(&mb);
    EXPECT_EQ(mb.Power, 10.0f);
    EXPECT_EQ(mb.Specular.r, 0.3f);
}

TEST_F(RecordingDeviceTest, LockedMemoryIsReadableAndLocksAreChecked) {
    IDirect3DVertexBuffer9* vb = MakeVertexBuffer(4, D3DPOOL_DEFAULT, D3DUSAGE_DYNAMIC | D3DUSAGE_WRITEONLY);
    void* p = nullptr;
    ASSERT_EQ(vb->Lock(0, 0, &p, D3DLOCK_DISCARD | D3DLOCK_NOSYSLOCK), D3D_OK); // 0 = whole buffer
    std::memset(p, 0x5A, 4 * 48);
    void* again = nullptr;
    EXPECT_EQ(vb->Lock(0, 0, &again, 0), D3DERR_INVALIDCALL) << "a second lock while locked";
    ASSERT_EQ(vb->Unlock(), D3D_OK);
    EXPECT_EQ(vb->Unlock(), D3DERR_INVALIDCALL);
    ASSERT_EQ(vb->Lock(48, 48, &p, 0), D3D_OK);
    EXPECT_EQ(static_cast<std::uint8_t*>(p)[0], 0x5A) << "what was written reads back";
    vb->Unlock();
    EXPECT_EQ(vb->Lock(4 * 48, 1, &p, 0), D3DERR_INVALIDCALL) << "past the end";
    EXPECT_EQ(vb->Lock(0, 5 * 48, &p, 0), D3DERR_INVALIDCALL);
    D3DVERTEXBUFFER_DESC d;
    vb->GetDesc(&d);
    EXPECT_EQ(d.Size, 4u * 48);
    EXPECT_EQ(d.FVF, kVertexFvf);
    EXPECT_EQ(d.Pool, D3DPOOL_DEFAULT);
    vb->Release();
}

TEST_F(RecordingDeviceTest, TexturesHaveMipChainsLevelsAndLod) {
    IDirect3DTexture9* t = nullptr;
    ASSERT_EQ(device->CreateTexture(64, 16, 0, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &t, nullptr), D3D_OK);
    EXPECT_EQ(t->GetLevelCount(), 7u); // 64x16 down to 1x1
    D3DSURFACE_DESC d;
    t->GetLevelDesc(2, &d);
    EXPECT_EQ(d.Width, 16u);
    EXPECT_EQ(d.Height, 4u);
    D3DLOCKED_RECT r;
    ASSERT_EQ(t->LockRect(1, &r, nullptr, 0), D3D_OK);
    EXPECT_EQ(r.Pitch, 32 * 4);
    t->UnlockRect(1);
    EXPECT_EQ(t->SetLOD(2), 0u);
    EXPECT_EQ(t->GetLOD(), 2u);
    EXPECT_EQ(t->SetLOD(99), 2u);
    EXPECT_EQ(t->GetLOD(), 6u) << "clamped to the smallest level";
    t->Release();

    IDirect3DTexture9* dxt = nullptr;
    ASSERT_EQ(device->CreateTexture(8, 8, 1, 0, D3DFMT_DXT1, D3DPOOL_MANAGED, &dxt, nullptr), D3D_OK);
    ASSERT_EQ(dxt->LockRect(0, &r, nullptr, 0), D3D_OK);
    EXPECT_EQ(r.Pitch, 16) << "two 8-byte blocks per block row";
    dxt->UnlockRect(0);
    dxt->Release();

    IDirect3DCubeTexture9* cube = nullptr;
    ASSERT_EQ(device->CreateCubeTexture(16, 0, 0, D3DFMT_X8R8G8B8, D3DPOOL_MANAGED, &cube, nullptr), D3D_OK);
    IDirect3DSurface9* face = nullptr;
    ASSERT_EQ(cube->GetCubeMapSurface(D3DCUBEMAP_FACE_NEGATIVE_Z, 4, &face), D3D_OK);
    face->GetDesc(&d);
    EXPECT_EQ(d.Width, 1u);
    face->Release();
    cube->Release();

    EXPECT_EQ(device->CreateTexture(0, 16, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &t, nullptr), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->CreateTexture(16, 16, 1, D3DUSAGE_RENDERTARGET, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &t, nullptr),
              D3DERR_INVALIDCALL)
        << "render targets live in the default pool";
}

TEST_F(RecordingDeviceTest, SurfacesCountThroughTheirTextureAndResourcesHoldTheDevice) {
    IDirect3DTexture9* t = nullptr;
    ASSERT_EQ(device->CreateTexture(512, 384, 1, D3DUSAGE_RENDERTARGET, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, &t, nullptr),
              D3D_OK);
    IDirect3DSurface9* s = nullptr;
    ASSERT_EQ(t->GetSurfaceLevel(0, &s), D3D_OK);
    EXPECT_EQ(t->Release(), 1u) << "the surface keeps its texture alive";
    D3DSURFACE_DESC d;
    s->GetDesc(&d);
    EXPECT_EQ(d.Width, 512u);
    EXPECT_EQ(d.Usage, D3DUSAGE_RENDERTARGET);
    // The device outlives the release of its last outside reference while resources remain.
    device->AddRef();
    EXPECT_EQ(device->Release(), 2u) << "one for the test, one for the texture";
    EXPECT_EQ(s->Release(), 0u);
}

TEST_F(RecordingDeviceTest, RenderTargetSwitchResetsTheViewportAndClearFillsMemory) {
    IDirect3DTexture9* t = nullptr;
    device->CreateTexture(512, 384, 1, D3DUSAGE_RENDERTARGET, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, &t, nullptr);
    IDirect3DSurface9* target = nullptr;
    IDirect3DSurface9* back = nullptr;
    IDirect3DSurface9* depth = nullptr;
    t->GetSurfaceLevel(0, &target);
    device->GetRenderTarget(0, &back);
    device->GetDepthStencilSurface(&depth);
    D3DSURFACE_DESC d;
    back->GetDesc(&d);
    EXPECT_EQ(d.Width, 640u);
    EXPECT_EQ(d.Format, D3DFMT_A8R8G8B8);

    D3DVIEWPORT9 small{10, 10, 100, 100, 0, 1};
    EXPECT_EQ(device->SetViewport(&small), D3D_OK);
    ASSERT_EQ(device->SetRenderTarget(0, target), D3D_OK);
    D3DVIEWPORT9 vp;
    device->GetViewport(&vp);
    EXPECT_EQ(vp.X, 0u);
    EXPECT_EQ(vp.Width, 512u);
    EXPECT_EQ(vp.Height, 384u);
    device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF112233, 1.0f, 0);
    std::vector<D3DCOLOR> pixels(512 * 384);
    ASSERT_EQ(device->ReadRenderTarget(target, pixels.data(), static_cast<UINT>(pixels.size())), D3D_OK);
    EXPECT_EQ(pixels[0], 0xFF112233u);
    EXPECT_EQ(pixels.back(), 0xFF112233u);

    // StretchRect copies the back buffer into the target.
    device->SetRenderTarget(0, back);
    device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF445566, 1.0f, 0);
    ASSERT_EQ(device->StretchRect(back, nullptr, target, nullptr, D3DTEXF_LINEAR), D3D_OK);
    device->ReadRenderTarget(target, pixels.data(), static_cast<UINT>(pixels.size()));
    EXPECT_EQ(pixels[1000], 0xFF445566u);
    EXPECT_EQ(device->StretchRect(back, nullptr, back, nullptr, D3DTEXF_LINEAR), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->SetDepthStencilSurface(depth), D3D_OK);
    depth->Release();
    back->Release();
    target->Release();
    t->Release();
}

TEST_F(RecordingDeviceTest, DrawsAreCheckedAgainstTheBoundBuffers) {
    IDirect3DVertexBuffer9* vb = MakeVertexBuffer(3);
    IDirect3DIndexBuffer9* ib = MakeIndexBuffer({0, 1, 2, 0, 1, 3});
    device->SetFVF(kVertexFvf);
    device->SetStreamSource(0, vb, 0, 48);
    device->SetIndices(ib);
    EXPECT_EQ(device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 3, 0, 1), D3DERR_INVALIDCALL)
        << "outside BeginScene/EndScene";
    device->BeginScene();
    EXPECT_EQ(device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 3, 0, 1), D3D_OK);
    EXPECT_EQ(device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 4, 3, 1), D3DERR_INVALIDCALL)
        << "index 3 names a vertex past the buffer";
    EXPECT_EQ(device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 3, 3, 2), D3DERR_INVALIDCALL)
        << "more indices than the buffer holds";
    EXPECT_EQ(device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 1, 0, 3, 0, 1), D3DERR_INVALIDCALL)
        << "a base vertex shifts past the end";

    // A user-memory draw unbinds stream 0 and the indices afterwards.
    const ScreenVertex quad[4] = {};
    device->SetFVF(kScreenFvf);
    EXPECT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof(ScreenVertex)), D3D_OK);
    IDirect3DVertexBuffer9* bound = vb;
    UINT offset = 1, stride = 1;
    device->GetStreamSource(0, &bound, &offset, &stride);
    EXPECT_EQ(bound, nullptr);
    EXPECT_EQ(stride, 0u);
    IDirect3DIndexBuffer9* indices = ib;
    device->GetIndices(&indices);
    EXPECT_EQ(indices, nullptr);
    device->EndScene();

    // A released buffer is unbound rather than left dangling.
    device->SetStreamSource(0, vb, 0, 48);
    vb->Release();
    device->GetStreamSource(0, &bound, &offset, &stride);
    EXPECT_EQ(bound, nullptr);
    ib->Release();
}

TEST_F(RecordingDeviceTest, ProgramDrawsAreRecordedLikeFixedFunctionOnes) {
    // The Recording device takes any program source and feeds no uniforms: a draw with a
    // program is checked and recorded exactly as a fixed-function one.
    IDirect3DProgram9* program = nullptr;
    std::string errors;
    ASSERT_EQ(device->CreateProgram("any vertex stage", "any pixel stage", &program, &errors), D3D_OK);
    const ScreenVertex quad[4] = {};
    device->BeginScene();
    control->ClearCalls();
    ASSERT_EQ(device->SetProgram(program), D3D_OK);
    device->SetFVF(kScreenFvf);
    const D3DMATRIX world = Translation(1, 2, 3);
    device->SetTransform(D3DTS_WORLD, &world);
    EXPECT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof(ScreenVertex)), D3D_OK);
    EXPECT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, 4), D3DERR_INVALIDCALL) << "stride below the FVF";
    device->SetProgram(nullptr);
    EXPECT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof(ScreenVertex)), D3D_OK);
    device->EndScene();
    const std::vector<std::string> expected = {"SetProgram",      "SetFVF",     "SetTransform",    "DrawPrimitiveUP",
                                               "DrawPrimitiveUP", "SetProgram", "DrawPrimitiveUP", "EndScene"};
    EXPECT_EQ(control->CallNames(), expected);
    program->Release();
}

TEST_F(RecordingDeviceTest, LostDeviceResetsOnlyOnceDefaultPoolResourcesAreReleased) {
    IDirect3DVertexBuffer9* ring = MakeVertexBuffer(16, D3DPOOL_DEFAULT, D3DUSAGE_DYNAMIC | D3DUSAGE_WRITEONLY);
    IDirect3DVertexBuffer9* managed = MakeVertexBuffer(16);
    IDirect3DSurface9* back = nullptr;
    device->GetRenderTarget(0, &back);
    device->SetRenderState(D3DRS_LIGHTING, FALSE);

    control->LoseDevice();
    EXPECT_TRUE(control->IsLost());
    EXPECT_EQ(device->TestCooperativeLevel(), D3DERR_DEVICENOTRESET);
    EXPECT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3DERR_DEVICELOST);

    // Held default-pool resources and back-buffer references make the reset fail.
    EXPECT_EQ(device->Reset(&pp), D3DERR_INVALIDCALL);
    EXPECT_EQ(control->ResetBlockers().size(), 2u);
    EXPECT_TRUE(control->IsLost());
    ring->Release();
    back->Release();
    EXPECT_TRUE(control->ResetBlockers().empty());

    ASSERT_EQ(device->Reset(&pp), D3D_OK);
    EXPECT_FALSE(control->IsLost());
    EXPECT_EQ(device->TestCooperativeLevel(), D3D_OK);
    DWORD lighting = 0;
    device->GetRenderState(D3DRS_LIGHTING, &lighting);
    EXPECT_EQ(lighting, static_cast<DWORD>(TRUE)) << "a reset returns every state to its default";
    // Managed resources survive.
    void* p = nullptr;
    EXPECT_EQ(managed->Lock(0, 0, &p, 0), D3D_OK);
    managed->Unlock();
    managed->Release();
}

TEST_F(RecordingDeviceTest, FailedResetLeavesTheDeviceLostUntilALaterOneSucceeds) {
    control->LoseDevice(false);
    EXPECT_EQ(device->TestCooperativeLevel(), D3DERR_DEVICELOST);
    EXPECT_EQ(device->Reset(&pp), D3DERR_DEVICELOST) << "cannot be reset while the device is still lost";
    control->SetCanReset(true);
    control->FailNextResets(1, D3DERR_DRIVERINTERNALERROR);
    EXPECT_EQ(device->Reset(&pp), D3DERR_DRIVERINTERNALERROR);
    EXPECT_TRUE(control->IsLost());
    EXPECT_EQ(device->TestCooperativeLevel(), D3DERR_DEVICENOTRESET);
    device->BeginScene();
    EXPECT_EQ(device->EndScene(), D3D_OK);
    EXPECT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3DERR_DEVICELOST);
    EXPECT_EQ(device->Reset(&pp), D3D_OK);
    EXPECT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
}

TEST_F(RecordingDeviceTest, ResetTakesTheNewBackBufferSize) {
    D3DPRESENT_PARAMETERS bigger = WindowedParams(800, 600);
    ASSERT_EQ(device->Reset(&bigger), D3D_OK);
    IDirect3DSurface9* back = nullptr;
    device->GetRenderTarget(0, &back);
    D3DSURFACE_DESC d;
    back->GetDesc(&d);
    EXPECT_EQ(d.Width, 800u);
    EXPECT_EQ(d.Height, 600u);
    back->Release();
}

TEST(RecordingAdapterTest, CapsFormatsAndModesFollowTheConfiguration) {
    SetDirect3DBackend(D3DBackend::Recording);
    Platform::RecordingConfig config;
    config.hardwareTransformAndLight = false;
    config.pixelShaderVersion = D3DPS_VERSION(1, 4);
    config.maxAnisotropy = 8;
    config.supportsA1R5G5B5 = false;
    config.multiSampleQualityLevels = 0;
    config.displayModes = {
        {1920, 1080, 75, D3DFMT_X8R8G8B8}, {320, 200, 60, D3DFMT_X8R8G8B8}, {1920, 1080, 60, D3DFMT_X8R8G8B8}};
    Platform::SetRecordingConfig(config);
    IDirect3D9* d3d = Direct3DCreate9(D3D_SDK_VERSION);
    ASSERT_NE(d3d, nullptr);
    EXPECT_EQ(Direct3DCreate9(31), nullptr) << "only the SDK version the engine passes";
    D3DCAPS9 caps;
    ASSERT_EQ(d3d->GetDeviceCaps(0, D3DDEVTYPE_HAL, &caps), D3D_OK);
    EXPECT_EQ(caps.DevCaps & D3DDEVCAPS_HWTRANSFORMANDLIGHT, 0u);
    EXPECT_FALSE(caps.PixelShaderVersion >= 0xFFFF0200u);
    EXPECT_EQ(caps.MaxAnisotropy, 8u);
    EXPECT_EQ(d3d->CheckDeviceType(0, D3DDEVTYPE_HAL, D3DFMT_A1R5G5B5, D3DFMT_A1R5G5B5, FALSE), D3DERR_NOTAVAILABLE);
    EXPECT_EQ(d3d->CheckDeviceType(0, D3DDEVTYPE_HAL, D3DFMT_A8R8G8B8, D3DFMT_A8R8G8B8, FALSE), D3D_OK);
    DWORD levels = 0;
    EXPECT_EQ(
        d3d->CheckDeviceMultiSampleType(0, D3DDEVTYPE_HAL, D3DFMT_A8R8G8B8, FALSE, D3DMULTISAMPLE_NONMASKABLE, &levels),
        D3DERR_NOTAVAILABLE);
    // Modes come sorted, sizes differing only in refresh rate next to each other.
    ASSERT_EQ(d3d->GetAdapterModeCount(0, D3DFMT_A8R8G8B8), 3u);
    D3DDISPLAYMODE m;
    d3d->EnumAdapterModes(0, D3DFMT_A8R8G8B8, 0, &m);
    EXPECT_EQ(m.Width, 320u);
    d3d->EnumAdapterModes(0, D3DFMT_A8R8G8B8, 1, &m);
    EXPECT_EQ(m.RefreshRate, 60u);
    d3d->EnumAdapterModes(0, D3DFMT_A8R8G8B8, 2, &m);
    EXPECT_EQ(m.RefreshRate, 75u);
    EXPECT_EQ(d3d->EnumAdapterModes(0, D3DFMT_A8R8G8B8, 3, &m), D3DERR_INVALIDCALL);

    // Full screen with no back-buffer format (a 16-bit setting on a device without A1R5G5B5).
    D3DPRESENT_PARAMETERS full = WindowedParams(640, 480);
    full.Windowed = FALSE;
    full.BackBufferFormat = D3DFMT_UNKNOWN;
    IDirect3DDevice9* none = nullptr;
    EXPECT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, D3DCREATE_SOFTWARE_VERTEXPROCESSING, &full, &none),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(none, nullptr);

    config.createDeviceResult = D3DERR_NOTAVAILABLE;
    Platform::SetRecordingConfig(config);
    D3DPRESENT_PARAMETERS pp = WindowedParams(640, 480);
    IDirect3DDevice9* device = reinterpret_cast<IDirect3DDevice9*>(1);
    EXPECT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, D3DCREATE_SOFTWARE_VERTEXPROCESSING, &pp, &device),
              D3DERR_NOTAVAILABLE);
    EXPECT_EQ(device, nullptr);
    EXPECT_EQ(Platform::LastRecordingControl(), nullptr);
    EXPECT_EQ(d3d->Release(), 0u);
    Platform::SetRecordingConfig(Platform::RecordingConfig{});
}

TEST(GraphicsHelpersTest, VertexSizesOfTheEngineFormats) {
    EXPECT_EQ(D3DFVFVertexSize(0x2D2), 48u);
    EXPECT_EQ(D3DFVFVertexSize(0x144), 28u);
    EXPECT_EQ(D3DFVFVertexSize(D3DFVF_XYZ | D3DFVF_TEX1 | D3DFVF_TEXCOORDSIZE3(0)), 24u);
    EXPECT_EQ(D3DFVFVertexSize(D3DFVF_NORMAL), 0u) << "no position";
    EXPECT_EQ(D3DFormatRowBytes(D3DFMT_DXT5, 10), 48u);
    EXPECT_EQ(D3DFormatRowCount(D3DFMT_DXT5, 10), 3u);
}

} // namespace
