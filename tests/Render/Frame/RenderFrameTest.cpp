// The renderer task: device creation and default states, the order of one frame, the
// post-effect triggers, device loss and reset, fade, lights, projection, the loading screen
// and the static level buffers.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "Framework/PApplication.h"
#include "Framework/PGlobalTimer.h"
#include "Framework/PLog.h"
#include "Framework/PSettings.h"
#include "Framework/StartupRegistry.h"
#include "Platform/Math/D3DXMath.h"
#include "Render/Frame/FrameFixture.h"
#include "Render/PBloom.h"
#include "Render/PEffect.h"
#include "Render/PEffectCache.h"
#include "Render/RenderStartup.h"
#include "support/TestDevices.h"

using namespace frametest;

namespace {

CPSmartPtr<CPPerspectiveCamera> MakeCamera(const D3DXVECTOR3& eye, const D3DXVECTOR3& target, float farPlane = 200.0f) {
    CPSmartPtr<CPPerspectiveCamera> camera(new CPPerspectiveCamera());
    camera->eye = eye;
    camera->target = target;
    camera->up = D3DXVECTOR3(0.0f, 0.0f, 1.0f);
    camera->fieldOfView = 1.0f;
    camera->nearDistance = 1.0f;
    camera->farDistance = farPlane;
    camera->viewDirty = true;
    camera->projectionDirty = true;
    camera->Update();
    return camera;
}

// The calls of the stream whose names are in the set, in order.
std::vector<std::string> Landmarks(const std::vector<std::string>& names, const std::vector<std::string>& keep) {
    std::vector<std::string> out;
    for (const auto& n : names)
        if (std::find(keep.begin(), keep.end(), n) != keep.end()) out.push_back(n);
    return out;
}

std::size_t FindCall(const std::vector<Platform::RecordedCall>& calls, const std::string& name, std::size_t from = 0) {
    for (std::size_t i = from; i < calls.size(); ++i)
        if (calls[i].name == name) return i;
    return std::string::npos;
}

DWORD RenderState(IDirect3DDevice9* d, D3DRENDERSTATETYPE s) {
    DWORD v = 0;
    d->GetRenderState(s, &v);
    return v;
}

} // namespace

// ---------------------------------------------------------------------------------------------
// Device creation and states

using FrameStart = RenderFixture;

TEST_F(FrameStart, StartPublishesDeviceDrawsOneBlackFrameAndBindsScreenCamera) {
    ASSERT_TRUE(StartRenderer());
    EXPECT_EQ(GetRender(), render.Get());
    EXPECT_NE(render->GetDevice(), nullptr);
    EXPECT_EQ(g_skyDevice, render->GetDevice());
    EXPECT_EQ(GetMaterialHost(), render.Get());
    ASSERT_TRUE(render->GetRenderBlock());
    EXPECT_EQ(render->GetRenderBlock()->GetVertexBuffer()->GetRingSize(), 4);
    EXPECT_EQ(render->GetKind(), 3);
    EXPECT_EQ(render->GetClassName(), "CPRender");
    ASSERT_TRUE(render->GetShadowMaterial());
    EXPECT_EQ(render->GetShadowMaterial()->GetRenderKey(), 16);
    EXPECT_EQ(render->GetShadowMaterial()->GetEffect()->GetName(), "shad2.fx");
    EXPECT_EQ(Control()->PresentCount(), 1);
    auto clears = CallsNamed("Clear");
    ASSERT_EQ(clears.size(), 1u);
    EXPECT_EQ(clears[0].args[1], static_cast<std::int64_t>(D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER));
    EXPECT_EQ(clears[0].args[2], static_cast<std::int64_t>(0xFF000000u));
    const SPRenderGroup* screen = render->FindGroup(195);
    ASSERT_NE(screen, nullptr);
    EXPECT_EQ(screen->camera.Get(), render->GetScreenCamera().Get());
    // Orthographic over the screen in pixels: (640, 480) lands on (1, -1).
    D3DXVECTOR3 corner(640.0f, 480.0f, 0.0f), out;
    D3DXVec3TransformCoord(&out, &corner, &render->GetScreenCamera()->GetView());
    EXPECT_NEAR(out.x, 1.0f, 1e-5f);
    EXPECT_NEAR(out.y, -1.0f, 1e-5f);
    EXPECT_EQ(seams.Names(), std::vector<std::string>{"Init"});
}

TEST_F(FrameStart, StaticSettingHalvesTheRing) {
    g_static = 1;
    ASSERT_TRUE(StartRenderer());
    EXPECT_EQ(render->GetRenderBlock()->GetVertexBuffer()->GetRingSize(), 2);
}

struct PresentCase {
    const char* name;
    int fullScreen, bpp, contrast;
    bool a1r5g5b5;
    DWORD levels;
    D3DFORMAT format;
    D3DMULTISAMPLE_TYPE multisample;
    DWORD quality;
    bool multisampling;
};

class FramePresent : public RenderFixture, public ::testing::WithParamInterface<PresentCase> {};

TEST_P(FramePresent, PresentParameters) {
    const PresentCase& c = GetParam();
    g_fullScreen = c.fullScreen;
    g_screenBPP = c.bpp;
    g_contrast = c.contrast;
    Platform::RecordingConfig config;
    config.supportsA1R5G5B5 = c.a1r5g5b5;
    config.multiSampleQualityLevels = c.levels;
    Platform::SetRecordingConfig(config);
    render = new CPRender();
    render->Start(); // the device may refuse an unknown format; the parameters are kept anyway
    const D3DPRESENT_PARAMETERS& p = render->GetPresentParameters();
    EXPECT_EQ(p.BackBufferFormat, c.format);
    EXPECT_EQ(p.MultiSampleType, c.multisample);
    EXPECT_EQ(p.MultiSampleQuality, c.quality);
    EXPECT_EQ(render->IsMultisampling(), c.multisampling);
    EXPECT_EQ(p.Windowed, c.fullScreen ? FALSE : TRUE);
    EXPECT_EQ(p.SwapEffect, D3DSWAPEFFECT_DISCARD);
    EXPECT_EQ(p.PresentationInterval, D3DPRESENT_INTERVAL_IMMEDIATE);
    EXPECT_EQ(p.BackBufferWidth, 640u);
    EXPECT_EQ(p.BackBufferHeight, 480u);
    EXPECT_EQ(p.EnableAutoDepthStencil, TRUE);
    EXPECT_EQ(p.AutoDepthStencilFormat, D3DFMT_D16);
    EXPECT_EQ(p.BackBufferCount, 1u);
    EXPECT_EQ(p.Flags, c.fullScreen ? D3DPRESENTFLAG_DISCARD_DEPTHSTENCIL : 0u);
    if (c.fullScreen && render->GetDevice()) {
        // Created with multisampling off; the frame switches it on.
        DWORD v = 1;
        render->GetDevice()->GetRenderState(D3DRS_MULTISAMPLEANTIALIAS, &v);
        EXPECT_EQ(v, static_cast<DWORD>(FALSE));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FramePresent,
    ::testing::Values(
        PresentCase{"Windowed", 0, 32, 1, true, 4, D3DFMT_A8R8G8B8, D3DMULTISAMPLE_NONE, 0, false},
        PresentCase{"Full32", 1, 32, 0, true, 4, D3DFMT_A8R8G8B8, D3DMULTISAMPLE_NONE, 0, false},
        PresentCase{"Full16", 1, 16, 0, true, 4, D3DFMT_A1R5G5B5, D3DMULTISAMPLE_NONE, 0, false},
        PresentCase{"Full16NoA1R5G5B5", 1, 16, 0, false, 4, D3DFMT_UNKNOWN, D3DMULTISAMPLE_NONE, 0, false},
        PresentCase{"Contrast4Levels", 1, 32, 1, true, 4, D3DFMT_A8R8G8B8, D3DMULTISAMPLE_NONMASKABLE, 3, true},
        PresentCase{"ContrastNoLevels", 1, 32, 1, true, 0, D3DFMT_A8R8G8B8, D3DMULTISAMPLE_NONE, 0, false}),
    [](const ::testing::TestParamInfo<PresentCase>& info) { return std::string(info.param.name); });

TEST_F(FrameStart, BehaviourFlagsFollowHardwareTransform) {
    Platform::RecordingConfig config;
    config.hardwareTransformAndLight = false;
    Platform::SetRecordingConfig(config);
    ASSERT_TRUE(StartRenderer());
    EXPECT_EQ(render->GetBehaviourFlags(), D3DCREATE_SOFTWARE_VERTEXPROCESSING);
    StopRenderer();
    Platform::SetRecordingConfig(Platform::RecordingConfig());
    ASSERT_TRUE(StartRenderer());
    EXPECT_EQ(render->GetBehaviourFlags(), D3DCREATE_HARDWARE_VERTEXPROCESSING);
}

TEST_F(FrameStart, FailedDeviceCreationFailsStartWithALogLine) {
    Platform::RecordingConfig config;
    config.createDeviceResult = D3DERR_NOTAVAILABLE;
    Platform::SetRecordingConfig(config);
    EXPECT_FALSE(StartRenderer());
    EXPECT_EQ(render->GetDevice(), nullptr);
    EXPECT_FALSE(render->GetRenderBlock());
    ASSERT_FALSE(logLines.empty());
    EXPECT_NE(logLines[0].find("DXError if Render\\PRender on line"), std::string::npos);
    EXPECT_NE(logLines[0].find("D3DERR_NOTAVAILABLE"), std::string::npos);
    // A frame without a device does nothing.
    render->Render();
}

TEST_F(FrameStart, NoDirect3DFailsStart) {
    SetDirect3DBackend(D3DBackend::OpenGL);
    // Without a display the OpenGL backend cannot start: Direct3DCreate9 answers null here,
    // or a device that is not a Recording one. Only the null case is ours to check.
    IDirect3D9* probe = Direct3DCreate9(D3D_SDK_VERSION);
    if (probe) {
        probe->Release();
        SetDirect3DBackend(D3DBackend::Recording);
        GTEST_SKIP() << "an OpenGL device is available here";
    }
    EXPECT_FALSE(StartRenderer());
    SetDirect3DBackend(D3DBackend::Recording);
}

TEST_F(FrameStart, DefaultStates) {
    ASSERT_TRUE(StartRenderer());
    IDirect3DDevice9* d = render->GetDevice();
    const std::pair<D3DRENDERSTATETYPE, DWORD> states[] = {
        {D3DRS_SPECULARENABLE, FALSE},
        {D3DRS_LIGHTING, TRUE},
        {D3DRS_ALPHABLENDENABLE, FALSE},
        {D3DRS_ZENABLE, TRUE},
        {D3DRS_ZWRITEENABLE, TRUE},
        {D3DRS_SRCBLEND, D3DBLEND_SRCALPHA},
        {D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA},
        {D3DRS_ZFUNC, D3DCMP_LESSEQUAL},
        {D3DRS_DITHERENABLE, TRUE},
        {D3DRS_CLIPPING, TRUE},
        {D3DRS_CULLMODE, D3DCULL_CCW},
        {D3DRS_FOGENABLE, TRUE},
        {D3DRS_FOGVERTEXMODE, D3DFOG_LINEAR},
        {D3DRS_FOGDENSITY, kxtest::FloatBits(0.0f)},
        {D3DRS_FOGSTART, kxtest::FloatBits(50.0f)},
        {D3DRS_FOGEND, kxtest::FloatBits(180.0f)},
        {D3DRS_DIFFUSEMATERIALSOURCE, D3DMCS_MATERIAL},
        {D3DRS_SPECULARMATERIALSOURCE, D3DMCS_MATERIAL},
        {D3DRS_AMBIENTMATERIALSOURCE, D3DMCS_MATERIAL},
    };
    for (const auto& [state, value] : states) EXPECT_EQ(RenderState(d, state), value) << "render state " << state;
    DWORD v = 0;
    d->GetTextureStageState(0, D3DTSS_COLOROP, &v);
    EXPECT_EQ(v, static_cast<DWORD>(D3DTOP_MODULATE));
    d->GetTextureStageState(0, D3DTSS_ALPHAOP, &v);
    EXPECT_EQ(v, static_cast<DWORD>(D3DTOP_DISABLE));
    d->GetTextureStageState(1, D3DTSS_COLORARG2, &v);
    EXPECT_EQ(v, D3DTA_CURRENT);
    d->GetSamplerState(1, D3DSAMP_ADDRESSU, &v);
    EXPECT_EQ(v, static_cast<DWORD>(D3DTADDRESS_CLAMP));
    d->GetSamplerState(0, D3DSAMP_ADDRESSV, &v);
    EXPECT_EQ(v, static_cast<DWORD>(D3DTADDRESS_WRAP));
    d->GetTextureStageState(2, D3DTSS_COLOROP, &v);
    EXPECT_EQ(v, static_cast<DWORD>(D3DTOP_DISABLE));
    d->GetFVF(&v);
    EXPECT_EQ(v, 0x2D2u);
    D3DMATERIAL9 m;
    d->GetMaterial(&m);
    EXPECT_FLOAT_EQ(m.Specular.r, 0.3f);
    EXPECT_FLOAT_EQ(m.Specular.a, 1.0f);
    EXPECT_FLOAT_EQ(m.Diffuse.g, 1.0f);
    EXPECT_FLOAT_EQ(m.Emissive.r, 0.0f);
    EXPECT_FLOAT_EQ(m.Power, 10.0f);

    D3DMATRIX view, projection;
    d->GetTransform(D3DTS_VIEW, &view);
    d->GetTransform(D3DTS_PROJECTION, &projection);
    D3DXMATRIX expectView, expectProjection;
    const D3DXVECTOR3 eye(0, 0, 14.5f), at(0, 0, 0), up(0, 0, 1);
    D3DXMatrixLookAtLH(&expectView, &eye, &at, &up);
    D3DXMatrixPerspectiveFovLH(&expectProjection, 1.0995574f, 4.0f / 3.0f, 0.1f, 1000.0f);
    EXPECT_EQ(std::memcmp(&view, &expectView, sizeof view), 0);
    EXPECT_EQ(std::memcmp(&projection, &expectProjection, sizeof projection), 0);
}

TEST_F(FrameStart, DefaultStatesComeInTheirOrderWithTheAmbientAndFogColours) {
    ASSERT_TRUE(StartRenderer());
    render->SetAmbient(0xFF203040, 0.1f, 0.2f, 0.3f);
    render->fogColour = 0xFF8090A0;
    Control()->ClearCalls();
    render->SetDefaultStates();
    std::vector<std::int64_t> order;
    for (const auto& call : CallsNamed("SetRenderState")) order.push_back(call.args[0]);
    const std::vector<std::int64_t> expected = {D3DRS_SPECULARENABLE,
                                                D3DRS_LIGHTING,
                                                D3DRS_ALPHABLENDENABLE,
                                                D3DRS_ZENABLE,
                                                D3DRS_ZWRITEENABLE,
                                                D3DRS_SRCBLEND,
                                                D3DRS_DESTBLEND,
                                                D3DRS_ZFUNC,
                                                D3DRS_DITHERENABLE,
                                                D3DRS_CLIPPING,
                                                D3DRS_CULLMODE,
                                                D3DRS_AMBIENT,
                                                D3DRS_DIFFUSEMATERIALSOURCE,
                                                D3DRS_SPECULARMATERIALSOURCE,
                                                D3DRS_AMBIENTMATERIALSOURCE,
                                                D3DRS_FOGENABLE,
                                                D3DRS_FOGVERTEXMODE,
                                                D3DRS_FOGDENSITY,
                                                D3DRS_FOGSTART,
                                                D3DRS_FOGEND,
                                                D3DRS_FOGCOLOR};
    EXPECT_EQ(order, expected);
    // VIEW and PROJECTION first, the material after the stages.
    const auto names = CallNames();
    ASSERT_GE(names.size(), 2u);
    EXPECT_EQ(CallsNamed("SetTransform").size(), 2u);
    EXPECT_EQ(names[0], "SetTransform");
    EXPECT_EQ(names[1], "SetTransform");
    EXPECT_LT(FindCall(Control()->Calls(), "SetFVF"), FindCall(Control()->Calls(), "SetMaterial"));
    EXPECT_EQ(RenderState(render->GetDevice(), D3DRS_AMBIENT), 0xFF203040u);
    EXPECT_EQ(RenderState(render->GetDevice(), D3DRS_FOGCOLOR), 0xFF8090A0u);
}

TEST_F(FrameStart, FogEndFollowsDistance) {
    g_distance = 500;
    ASSERT_TRUE(StartRenderer());
    EXPECT_EQ(RenderState(render->GetDevice(), D3DRS_FOGEND), kxtest::FloatBits(450.0f));
}

struct FilterCase {
    float aniso;
    DWORD maxAnisotropy;
    DWORD filter;
    DWORD level; // sampler 0 MAXANISOTROPY when anisotropic
};

class FrameFilters : public RenderFixture, public ::testing::WithParamInterface<FilterCase> {};

TEST_P(FrameFilters, TextureFilters) {
    const FilterCase& c = GetParam();
    g_aniso = c.aniso;
    Platform::RecordingConfig config;
    config.maxAnisotropy = c.maxAnisotropy;
    Platform::SetRecordingConfig(config);
    ASSERT_TRUE(StartRenderer());
    Control()->ClearCalls();
    render->SetTextureFilters();
    IDirect3DDevice9* d = render->GetDevice();
    DWORD v = 0;
    d->GetSamplerState(0, D3DSAMP_MAGFILTER, &v);
    EXPECT_EQ(v, c.filter);
    d->GetSamplerState(0, D3DSAMP_MINFILTER, &v);
    EXPECT_EQ(v, c.filter);
    d->GetSamplerState(0, D3DSAMP_MIPFILTER, &v);
    EXPECT_EQ(v, static_cast<DWORD>(D3DTEXF_LINEAR));
    for (auto s : {D3DSAMP_MAGFILTER, D3DSAMP_MINFILTER, D3DSAMP_MIPFILTER}) {
        d->GetSamplerState(1, s, &v);
        EXPECT_EQ(v, static_cast<DWORD>(D3DTEXF_LINEAR));
    }
    bool setLevel = false;
    for (const auto& call : CallsNamed("SetSamplerState"))
        if (call.args[0] == 0 && call.args[1] == D3DSAMP_MAXANISOTROPY) {
            setLevel = true;
            EXPECT_EQ(call.args[2], c.level);
        }
    EXPECT_EQ(setLevel, c.filter == D3DTEXF_ANISOTROPIC);
}

INSTANTIATE_TEST_SUITE_P(Cases, FrameFilters,
                         ::testing::Values(FilterCase{0.0f, 16, D3DTEXF_LINEAR, 0},
                                           FilterCase{0.5f, 16, D3DTEXF_ANISOTROPIC, 8},
                                           FilterCase{0.5f, 5, D3DTEXF_ANISOTROPIC, 3},
                                           FilterCase{1.0f, 16, D3DTEXF_ANISOTROPIC, 16}));

// ---------------------------------------------------------------------------------------------
// The frame

class FrameOrder : public RenderFixture {
protected:
    void SetUp() override {
        RenderFixture::SetUp();
        ASSERT_TRUE(StartRenderer());
        material = Material(16);
        mesh = MakeMesh(material, 6);
    }
    void HandOver() { render->GetRenderBlock()->AddRenderable(CPSmartPtr<IPRenderable>(mesh.Get())); }

    CPSmartPtr<CPMaterial> material;
    CPSmartPtr<CPRenderObject> mesh;
};

TEST_F(FrameOrder, WithoutViewCameraTheFrameRunsInOrder) {
    HandOver();
    Control()->ClearCalls();
    Frame();
    const std::vector<std::string> keep = {"TestCooperativeLevel", "BeginScene",      "Clear",    "SetFVF",
                                           "DrawIndexedPrimitive", "DrawPrimitiveUP", "EndScene", "Present"};
    EXPECT_EQ(Landmarks(CallNames(), keep),
              (std::vector<std::string>{"TestCooperativeLevel", "BeginScene", "Clear", "SetFVF", "DrawIndexedPrimitive",
                                        "EndScene", "Present"}));
    const auto calls = Control()->Calls();
    const auto clear = calls[FindCall(calls, "Clear")];
    EXPECT_EQ(clear.args[1], static_cast<std::int64_t>(D3DCLEAR_ZBUFFER)); // the colour buffer is kept
    // CULLMODE right after the clear; only WORLD is set before the groups without a camera.
    EXPECT_EQ(calls[FindCall(calls, "Clear") + 1].ToString(), "SetRenderState(22, 3)");
    const std::size_t fvf = FindCall(calls, "SetFVF");
    const std::size_t draw = FindCall(calls, "DrawIndexedPrimitive");
    for (std::size_t i = fvf; i < draw; ++i) {
        EXPECT_FALSE(calls[i].name == "SetTransform" && calls[i].args[0] == D3DTS_VIEW) << i;
    }
    EXPECT_EQ(calls[fvf].args[0], 0x2D2);
    EXPECT_EQ(calls[fvf + 1].ToString(), "SetTransform(256)");
    EXPECT_EQ(render->GetDrawCalls(), 1);
    EXPECT_EQ(render->GetTrianglesDrawn(), 2);
    // Group 16 is below both triggers; the screen camera's group 195 takes the blur after it.
    EXPECT_EQ(seams.Names(), (std::vector<std::string>{"Init", "RadialBlur"}));
    EXPECT_GT(seams.IndexOf("RadialBlur"), draw);
}

TEST_F(FrameOrder, ViewCameraSetsSharedParametersAndTransforms) {
    CPSmartPtr<CPMaterial> shared = Material(17, "shared.fx,shared");
    CPEffectCache* cache = GetEffectCache();
    ASSERT_NE(cache, nullptr);
    ASSERT_NE(cache->GetSharedEffect(), nullptr);
    CPSmartPtr<CPPerspectiveCamera> camera = MakeCamera(D3DXVECTOR3(1, 2, 3), D3DXVECTOR3(10, 2, 3));
    g_currentViewCamera = camera.Get();
    D3DLIGHT9 sun;
    sun.Type = D3DLIGHT_DIRECTIONAL;
    sun.Diffuse = {0.5f, 0.25f, 1.0f, 1.0f};
    sun.Direction = {0.0f, 0.6f, -0.8f};
    render->AddLight(sun);
    render->SetLights();
    render->SetAmbient(0xFF102030, 0.1f, 0.2f, 0.3f);
    HandOver();
    Control()->ClearCalls();
    Frame();
    ID3DXEffect* fx = cache->GetSharedEffect()->GetD3DXEffect();
    D3DXVECTOR4 v;
    fx->GetVector("g_vLightColor", &v);
    EXPECT_EQ(v, D3DXVECTOR4(1.0f, 0.5f, 2.0f, 2.0f)); // k = 2.0
    fx->GetVector("g_vLight", &v);
    EXPECT_EQ(v, D3DXVECTOR4(0.0f, 0.6f, -0.8f, 1.0f));
    fx->GetVector("g_vAmbient", &v);
    EXPECT_FLOAT_EQ(v.x, 0.2f);
    EXPECT_FLOAT_EQ(v.z, 0.6f);
    EXPECT_FLOAT_EQ(v.w, 2.0f);
    fx->GetVector("g_vCameraPos", &v);
    EXPECT_EQ(v, D3DXVECTOR4(1.0f, 2.0f, 3.0f, 1.0f));
    D3DXMATRIX inverse;
    fx->GetMatrix("g_mViewInv", &inverse);
    EXPECT_EQ(std::memcmp(&inverse, &camera->GetInverseView(), sizeof inverse), 0);

    const auto calls = Control()->Calls();
    const std::size_t fvf = FindCall(calls, "SetFVF");
    ASSERT_NE(fvf, std::string::npos);
    EXPECT_EQ(calls[fvf + 1].ToString(), "SetTransform(256)");
    EXPECT_EQ(calls[fvf + 2].ToString(), "SetTransform(2)");
    EXPECT_EQ(calls[fvf + 3].ToString(), "SetTransform(3)");

    // A coefficient set by the scripts scales the colour.
    render->lightCoefficient = 1.0f;
    HandOver();
    Frame();
    fx->GetVector("g_vLightColor", &v);
    EXPECT_EQ(v, D3DXVECTOR4(0.5f, 0.25f, 1.0f, 1.0f));
}

// The sky stand-in: records its call and the transforms in force when it draws.
class TransformSky : public IPRenderSky {
public:
    explicit TransformSky(SeamLog& log) : m_log(log) {}
    void Update(float) override {
        m_log.Add("Sky");
        IDirect3DDevice9* d = GetRender()->GetDevice();
        d->GetTransform(D3DTS_WORLD, &world);
        d->GetTransform(D3DTS_VIEW, &view);
        d->GetTransform(D3DTS_PROJECTION, &projection);
    }
    D3DMATRIX world{}, view{}, projection{};

private:
    SeamLog& m_log;
};

TEST_F(FrameOrder, LevelWithRaceCameraDrawsTheSkyBeforeTheScene) {
    auto skyOwned = std::make_unique<TransformSky>(seams);
    TransformSky* sky = skyOwned.get();
    render->SetSky(std::move(skyOwned));
    CPSmartPtr<CPPerspectiveCamera> camera = MakeCamera(D3DXVECTOR3(0, 0, 5), D3DXVECTOR3(10, 0, 5));
    CPSmartPtr<CPPerspectiveCamera> far = MakeCamera(D3DXVECTOR3(3, 4, 5), D3DXVECTOR3(3, 14, 5), 2000.0f);
    world.level = true;
    world.viewCamera = camera;
    world.farCamera = far;
    g_currentViewCamera = camera.Get();
    HandOver();
    Control()->ClearCalls();
    seams.entries.clear();
    Frame();
    const auto calls = Control()->Calls();
    ASSERT_EQ(seams.Count("Sky"), 1u);
    const std::size_t at = seams.IndexOf("Sky");
    // WORLD, VIEW, PROJECTION for the sky right before it, then the scene's after it.
    ASSERT_GE(at, 3u);
    EXPECT_EQ(calls[at - 3].ToString(), "SetTransform(256)");
    EXPECT_EQ(calls[at - 2].ToString(), "SetTransform(2)");
    EXPECT_EQ(calls[at - 1].ToString(), "SetTransform(3)");
    EXPECT_EQ(calls[at].name, "SetFVF");
    EXPECT_EQ(calls[at + 2].ToString(), "SetTransform(2)");
    EXPECT_EQ(calls[at + 3].ToString(), "SetTransform(3)");
    EXPECT_LT(at, FindCall(calls, "DrawIndexedPrimitive"));
    // The sky sees identity WORLD, the far camera's rotation-only view and its projection
    // with the far plane at 1000.
    D3DXMATRIX identity;
    D3DXMatrixIdentity(&identity);
    EXPECT_EQ(std::memcmp(&sky->world, &identity, sizeof identity), 0);
    EXPECT_EQ(std::memcmp(&sky->view, &far->GetSkyView(), sizeof sky->view), 0);
    EXPECT_EQ(sky->view._41, 0.0f); // no translation
    EXPECT_EQ(std::memcmp(&sky->projection, &far->GetSkyProjection(), sizeof sky->projection), 0);
    const D3DMATRIX& p = sky->projection;
    EXPECT_NEAR(-p._43 / (p._33 - 1.0f), 1000.0f, 0.5f);

    // Without a sky nothing is drawn there.
    render->SetSky(nullptr);
    HandOver();
    Frame();
    EXPECT_EQ(seams.Count("Sky"), 1u);
}

TEST_F(FrameOrder, MultisamplingIsSwitchedOnEachFrame) {
    StopRenderer();
    g_fullScreen = 1;
    g_contrast = 1;
    ASSERT_TRUE(StartRenderer());
    ASSERT_TRUE(render->IsMultisampling());
    Control()->ClearCalls();
    Frame();
    const auto calls = Control()->Calls();
    const std::size_t cull = FindCall(calls, "Clear") + 1;
    std::size_t msaa = std::string::npos;
    for (std::size_t i = cull; i < calls.size(); ++i)
        if (calls[i].ToString() == "SetRenderState(161, 1)") {
            msaa = i;
            break;
        }
    ASSERT_NE(msaa, std::string::npos);
    EXPECT_LT(msaa, FindCall(calls, "SetFVF"));
}

TEST_F(FrameOrder, LostDeviceStopsAfterTheCooperativeLevelTest) {
    HandOver();
    D3DLIGHT9 light;
    render->AddLight(light);
    render->AddDebugLine(0xFFFFFFFF, D3DXVECTOR3(0, 0, 0), D3DXVECTOR3(1, 1, 1));
    Control()->LoseDevice(false);
    Control()->ClearCalls();
    Frame();
    // The ring is filled before the test (the buffers still exist), then the frame stops.
    EXPECT_EQ(CallNames(), (std::vector<std::string>{"VertexBuffer::Lock", "IndexBuffer::Lock", "VertexBuffer::Unlock",
                                                     "IndexBuffer::Unlock", "TestCooperativeLevel"}));
    EXPECT_EQ(render->GetLightCount(), 0);
    EXPECT_TRUE(render->GetRenderBlock()->GetFrameBatches().empty());
    EXPECT_TRUE(render->GetRenderBlock()->NeedsRebuild());
    EXPECT_TRUE(material->GetBatches().empty());
    EXPECT_TRUE(render->GetDebugLines().empty());
}

// ---------------------------------------------------------------------------------------------
// Post-effect triggers

struct TriggerCase {
    const char* name;
    std::vector<RenderKey> keys;
    int bloomSetting, blurSetting;
    bool ps20;
    // Draws ("G<key>") and passes in the order they happen. The screen camera's group 195
    // is always in the map, so it takes part in the triggers.
    std::vector<std::string> sequence;
    int triggers; // triggers reached, whether their pass ran or not
    int binds;    // SetStreamSource calls: the cache is reset by every trigger
};

class FrameTriggers : public RenderFixture, public ::testing::WithParamInterface<TriggerCase> {};

TEST_P(FrameTriggers, PassesRunBeforeTheirGroups) {
    const TriggerCase& c = GetParam();
    g_bloom = c.bloomSetting;
    g_blur = c.blurSetting;
    g_fullScreen = 1;
    g_contrast = 1;
    Platform::RecordingConfig config;
    config.pixelShaderVersion = c.ps20 ? D3DPS_VERSION(2, 0) : D3DPS_VERSION(1, 4);
    Platform::SetRecordingConfig(config);
    ASSERT_TRUE(StartRenderer());
    ASSERT_TRUE(render->IsMultisampling());
    std::vector<CPSmartPtr<CPMaterial>> materials;
    std::vector<CPSmartPtr<CPRenderObject>> meshes;
    for (std::size_t i = 0; i < c.keys.size(); ++i) {
        materials.push_back(Material(c.keys[i]));
        // Each group's draw is told apart by its vertex count.
        meshes.push_back(MakeMesh(materials.back(), 3 * static_cast<int>(i + 1)));
        render->GetRenderBlock()->AddRenderable(CPSmartPtr<IPRenderable>(meshes.back().Get()));
    }
    Control()->ClearCalls();
    seams.entries.clear();
    Frame();
    const auto calls = Control()->Calls();
    std::vector<std::string> sequence;
    std::size_t next = 0;
    for (std::size_t i = 0; i <= calls.size(); ++i) {
        while (next < seams.entries.size() && seams.entries[next].callIndex == i)
            sequence.push_back(seams.entries[next++].what);
        if (i < calls.size() && calls[i].name == "DrawIndexedPrimitive")
            sequence.push_back("G" + std::to_string(c.keys[static_cast<std::size_t>(calls[i].args[3] / 3 - 1)]));
    }
    EXPECT_EQ(sequence, c.sequence);
    // MSAA FALSE / TRUE around every trigger, run or not, on top of the one TRUE the frame
    // sets before the sky and the groups.
    int off = 0, on = 0;
    for (const auto& call : calls) {
        if (call.ToString() == "SetRenderState(161, 0)") ++off;
        if (call.ToString() == "SetRenderState(161, 1)") ++on;
    }
    EXPECT_EQ(off, c.triggers);
    EXPECT_EQ(on, c.triggers + 1);
    EXPECT_EQ(CallsNamed("SetStreamSource").size(), static_cast<std::size_t>(c.binds));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FrameTriggers,
    ::testing::Values(
        TriggerCase{
            "AllFour", {16, 120, 195, 200}, 1, 1, true, {"G16", "RadialBlur", "G120", "Bloom", "G195", "G200"}, 2, 3},
        TriggerCase{"SixteenAndTwoHundred", {16, 200}, 1, 1, true, {"G16", "RadialBlur", "Bloom", "G200"}, 2, 2},
        TriggerCase{"BelowBoth", {16, 100}, 1, 1, true, {"G16", "G100", "RadialBlur"}, 1, 1},
        TriggerCase{"BloomSettingOff", {16, 120, 195, 200}, 0, 1, true, {"G16", "G120", "G195", "G200"}, 2, 3},
        TriggerCase{"NoPixelShader20", {16, 120, 195, 200}, 1, 1, false, {"G16", "G120", "G195", "G200"}, 2, 3},
        // The blur pass tests "blur" itself; the frame still calls it and counts the trigger.
        TriggerCase{"BlurSettingOff", {16, 120}, 1, 0, true, {"G16", "RadialBlur", "G120", "Bloom"}, 2, 2}),
    [](const ::testing::TestParamInfo<TriggerCase>& info) { return std::string(info.param.name); });

TEST_F(FrameOrder, ScreenCameraGroupTriggersBloomEvenWithoutMaterials) {
    // Group 195 (the screen camera) exists from Start; a group at 120 takes the blur.
    CPSmartPtr<CPMaterial> m120 = Material(120);
    CPSmartPtr<CPRenderObject> mesh120 = MakeMesh(m120, 9);
    render->GetRenderBlock()->AddRenderable(CPSmartPtr<IPRenderable>(mesh120.Get()));
    HandOver();
    seams.entries.clear();
    Frame();
    EXPECT_EQ(seams.Names(), (std::vector<std::string>{"RadialBlur", "Bloom"}));
}

// ---------------------------------------------------------------------------------------------
// Loss and reset

using FrameReset = FrameOrder;

TEST_F(FrameReset, FailedResetThenFramesDrawNothingAndLockNothing) {
    HandOver();
    Frame();
    Control()->LoseDevice(true);
    Control()->FailNextResets(1);
    seams.entries.clear();
    render->ResetDevice();
    EXPECT_EQ(seams.Names(), std::vector<std::string>{"ReleaseTargets"});
    CPIVertexBuffer* ring = render->GetRenderBlock()->GetVertexBuffer();
    for (int i = 0; i < ring->GetRingSize(); ++i) EXPECT_EQ(ring->GetVertexBuffer(i), nullptr);
    EXPECT_EQ(Control()->LiveDefaultPoolResources(), 0);
    for (int frame = 0; frame < 3; ++frame) {
        HandOver();
        Control()->ClearCalls();
        Frame();
        EXPECT_EQ(CallNames(), std::vector<std::string>{"TestCooperativeLevel"});
        EXPECT_FALSE(ring->IsLocked());
    }
    // The fill never reached a released buffer even though the device later allows a reset.
    Control()->SetCanReset(true);
    HandOver();
    Control()->ClearCalls();
    Frame();
    EXPECT_EQ(CallNames(), std::vector<std::string>{"TestCooperativeLevel"});
}

TEST_F(FrameReset, SuccessfulResetRestoresRingStatesAndPostEffects) {
    HandOver();
    Frame();
    HandOver();
    Frame(); // the ring has moved on to pair 2
    CPIVertexBuffer* ring = render->GetRenderBlock()->GetVertexBuffer();
    EXPECT_EQ(ring->GetCurrent(), 2);
    render->GetDevice()->SetRenderState(D3DRS_LIGHTING, FALSE);
    Control()->LoseDevice(true);
    seams.entries.clear();
    Control()->ClearCalls();
    render->ResetDevice();
    EXPECT_EQ(seams.Names(), (std::vector<std::string>{"ReleaseTargets", "Init"}));
    EXPECT_FALSE(Control()->IsLost());
    EXPECT_EQ(ring->GetCurrent(), 0);
    for (int i = 0; i < ring->GetRingSize(); ++i) EXPECT_NE(ring->GetVertexBuffer(i), nullptr);
    EXPECT_EQ(RenderState(render->GetDevice(), D3DRS_LIGHTING), static_cast<DWORD>(TRUE));
    EXPECT_EQ(RenderState(render->GetDevice(), D3DRS_FOGEND), kxtest::FloatBits(180.0f));
    // Drawing goes on from pair 0.
    HandOver();
    Control()->ClearCalls();
    Frame();
    const auto streams = CallsNamed("SetStreamSource");
    ASSERT_EQ(streams.size(), 1u);
    EXPECT_EQ(streams[0].args[1], Control()->ObjectId(ring->GetVertexBuffer(0)));
    EXPECT_EQ(CallsNamed("DrawIndexedPrimitive").size(), 1u);
    EXPECT_EQ(Control()->PresentCount(), 4);
}

TEST_F(FrameReset, ListenersHearLossAndResetInConstructionOrder) {
    struct Listener : IPDeviceListener {
        Listener(std::vector<std::string>& log, std::string name) : log(log), name(std::move(name)) {}
        void OnDeviceLost() override { log.push_back(name + " lost"); }
        void OnDeviceReset() override { log.push_back(name + " reset"); }
        std::vector<std::string>& log;
        std::string name;
    };
    std::vector<std::string> log;
    Listener a(log, "a"), b(log, "b");
    Control()->LoseDevice(true);
    render->ResetDevice();
    EXPECT_EQ(log, (std::vector<std::string>{"a lost", "b lost", "a reset", "b reset"}));
}

TEST_F(FrameReset, StopReleasesDeviceAndPostEffects) {
    seams.entries.clear();
    render->Stop();
    EXPECT_EQ(render->GetDevice(), nullptr);
    EXPECT_EQ(render->GetDirect3D(), nullptr);
    EXPECT_FALSE(render->GetShadowMaterial());
    EXPECT_EQ(g_skyDevice, nullptr);
    EXPECT_EQ(seams.Names(), std::vector<std::string>{"Release"});
    render->Render(); // nothing to draw with
}

// ---------------------------------------------------------------------------------------------
// Fade, lights, debug lines, projection

using FrameFade = FrameOrder;

TEST_F(FrameFade, LevelsClampAndSetTheValueAtOnce) {
    render->SetFade(1.5f);
    EXPECT_FLOAT_EQ(render->GetFadeValue(), 256.0f);
    render->SetFade(-1.0f);
    EXPECT_FLOAT_EQ(render->GetFadeValue(), 0.0f);
    render->SetFade(0.5f);
    EXPECT_FLOAT_EQ(render->GetFadeValue(), 128.0f);
    SPScreenVertex quad[4];
    CPRender::MakeFadeQuad(128.0f, 640, 480, quad);
    EXPECT_EQ(quad[0].diffuse, 0x7F000000u);
    const float expect[4][4] = {
        {639.5f, -0.5f, 1, 0}, {639.5f, 479.5f, 1, 1}, {-0.5f, -0.5f, 0, 0}, {-0.5f, 479.5f, 0, 1}};
    for (int i = 0; i < 4; ++i) {
        EXPECT_FLOAT_EQ(quad[i].x, expect[i][0]);
        EXPECT_FLOAT_EQ(quad[i].y, expect[i][1]);
        EXPECT_FLOAT_EQ(quad[i].tu, expect[i][2]);
        EXPECT_FLOAT_EQ(quad[i].tv, expect[i][3]);
        EXPECT_FLOAT_EQ(quad[i].z, 1.0f);
        EXPECT_FLOAT_EQ(quad[i].rhw, 1.0f);
    }
    CPRender::MakeFadeQuad(0.0f, 640, 480, quad);
    EXPECT_EQ(quad[3].diffuse, 0xFF000000u);
}

TEST_F(FrameFade, QuadDrawnOnlyBelowFullAndStatesRestored) {
    HandOver();
    Control()->ClearCalls();
    Frame();
    EXPECT_TRUE(CallsNamed("DrawPrimitiveUP").empty());
    render->SetFade(0.5f);
    HandOver();
    Control()->ClearCalls();
    Frame();
    const auto calls = Control()->Calls();
    const std::size_t quad = FindCall(calls, "DrawPrimitiveUP");
    ASSERT_NE(quad, std::string::npos);
    EXPECT_EQ(calls[quad].ToString(), "DrawPrimitiveUP(5, 2, 28)");
    EXPECT_LT(FindCall(calls, "DrawIndexedPrimitive"), quad);
    EXPECT_EQ(FindCall(calls, "EndScene"), calls.size() - 2);
    IDirect3DDevice9* d = render->GetDevice();
    EXPECT_EQ(RenderState(d, D3DRS_ZENABLE), static_cast<DWORD>(TRUE));
    EXPECT_EQ(RenderState(d, D3DRS_FOGENABLE), static_cast<DWORD>(TRUE));
    EXPECT_EQ(RenderState(d, D3DRS_LIGHTING), static_cast<DWORD>(TRUE));
    EXPECT_EQ(RenderState(d, D3DRS_ZWRITEENABLE), static_cast<DWORD>(TRUE));
    EXPECT_EQ(RenderState(d, D3DRS_ALPHABLENDENABLE), static_cast<DWORD>(FALSE));
    EXPECT_EQ(RenderState(d, D3DRS_CULLMODE), static_cast<DWORD>(D3DCULL_CCW));
    DWORD v = 0;
    d->GetFVF(&v);
    EXPECT_EQ(v, 0x2D2u);
    d->GetTextureStageState(0, D3DTSS_COLOROP, &v);
    EXPECT_EQ(v, static_cast<DWORD>(D3DTOP_MODULATE));
    d->GetTextureStageState(0, D3DTSS_ALPHAOP, &v);
    EXPECT_EQ(v, static_cast<DWORD>(D3DTOP_DISABLE));
    // During the quad: blending on, no depth, pre-transformed vertices.
    bool sawBlend = false, sawFvf = false;
    for (std::size_t i = FindCall(calls, "DrawIndexedPrimitive"); i < quad; ++i) {
        sawBlend |= calls[i].ToString() == "SetRenderState(27, 1)";
        sawFvf |= calls[i].ToString() == "SetFVF(324)";
    }
    EXPECT_TRUE(sawBlend);
    EXPECT_TRUE(sawFvf);
}

TEST_F(FrameFade, LightsEnableUsedSlotsAndTakeTheLastDirectionalAsSun) {
    D3DLIGHT9 point;
    point.Type = D3DLIGHT_POINT;
    D3DLIGHT9 sunA, sunB;
    sunA.Type = sunB.Type = D3DLIGHT_DIRECTIONAL;
    sunA.Diffuse = {1, 0, 0, 1};
    sunB.Diffuse = {0, 1, 0, 1};
    EXPECT_TRUE(render->AddLight(sunA));
    EXPECT_TRUE(render->AddLight(point));
    EXPECT_TRUE(render->AddLight(sunB));
    Control()->ClearCalls();
    render->SetLights();
    EXPECT_EQ(render->GetLightCount(), 0);
    EXPECT_FLOAT_EQ(render->GetSunLight().Diffuse.g, 1.0f);
    const auto enables = CallsNamed("LightEnable");
    ASSERT_EQ(enables.size(), 30u);
    for (int i = 0; i < 30; ++i) {
        EXPECT_EQ(enables[static_cast<std::size_t>(i)].args[0], i);
        EXPECT_EQ(enables[static_cast<std::size_t>(i)].args[1], i < 3 ? 1 : 0);
    }
    EXPECT_EQ(CallsNamed("SetLight").size(), 3u);
    // Not handed over again: switched off at the next upload.
    Control()->ClearCalls();
    render->SetLights();
    for (const auto& call : CallsNamed("LightEnable")) EXPECT_EQ(call.args[1], 0);
    // All 30 slots can be used; the 31st is refused.
    for (int i = 0; i < 30; ++i) EXPECT_TRUE(render->AddLight(point));
    EXPECT_FALSE(render->AddLight(point));
    EXPECT_EQ(render->GetLightCount(), CPRender::kMaxLights);
}

TEST_F(FrameFade, DebugLinesAreCollectedAndGoneAfterTheFrame) {
    render->AddDebugLine(0xFF00FF00, D3DXVECTOR3(1, 2, 3), D3DXVECTOR3(4, 5, 6));
    ASSERT_EQ(render->GetDebugLines().size(), 2u);
    EXPECT_TRUE(render->HasDebugLines());
    EXPECT_EQ(render->GetDebugLines()[1].x, 4.0f);
    EXPECT_EQ(render->GetDebugLines()[0].diffuse, 0xFF00FF00u);
    EXPECT_EQ(render->GetDebugLines()[0].nz, 0.0f);
    Frame();
    EXPECT_TRUE(render->GetDebugLines().empty());
    EXPECT_FALSE(render->HasDebugLines());
}

TEST_F(FrameFade, ProjectToScreen) {
    EXPECT_EQ(render->ProjectToScreen(D3DXVECTOR3(10, 0, 0)), D3DXVECTOR3(0, 0, 0)); // no level
    CPSmartPtr<CPPerspectiveCamera> camera = MakeCamera(D3DXVECTOR3(0, 0, 5), D3DXVECTOR3(10, 0, 5));
    world.level = true;
    EXPECT_EQ(render->ProjectToScreen(D3DXVECTOR3(10, 0, 0)), D3DXVECTOR3(0, 0, 0)); // no race camera
    world.viewCamera = camera;
    const D3DXVECTOR3 centre = render->ProjectToScreen(D3DXVECTOR3(50, 0, 5));
    EXPECT_NEAR(centre.x, 320.0f, 1e-3f);
    EXPECT_NEAR(centre.y, 240.0f, 1e-3f);
    EXPECT_EQ(centre.z, 0.0f);
    const D3DXVECTOR3 above = render->ProjectToScreen(D3DXVECTOR3(50, 0, 10));
    EXPECT_LT(above.y, 240.0f);
}

// ---------------------------------------------------------------------------------------------
// Loading screen

TEST(FrameLoadingQuads, CornersFollowTheInterfaceScale) {
    struct Case {
        int w, h;
        float scale, offset;
    };
    const float scale1080 = 1080.0f / 768.0f;
    const Case cases[] = {{1024, 768, 1.0f, 0.0f}, {1920, 1080, scale1080, (1920.0f - 1024.0f * scale1080) * 0.5f}};
    for (const Case& c : cases) {
        SPScreenVertex q[3][4];
        CPRender::MakeLoadingQuads(50, c.w, c.h, c.scale, c.offset, q);
        // back_all.jpg
        EXPECT_FLOAT_EQ(q[0][2].x, c.offset - 171.0f * c.scale - 0.5f);
        EXPECT_FLOAT_EQ(q[0][0].x, c.offset + 1366.0f * c.scale - 0.5f);
        EXPECT_FLOAT_EQ(q[0][0].y, -0.5f);
        EXPECT_FLOAT_EQ(q[0][1].y, static_cast<float>(c.h) - 0.5f);
        EXPECT_FLOAT_EQ(q[0][1].tv, 0.75f);
        EXPECT_FLOAT_EQ(q[0][0].tu, 1.0f);
        // back_load.jpg
        EXPECT_FLOAT_EQ(q[1][2].x, c.offset - 0.5f);
        EXPECT_FLOAT_EQ(q[1][0].x, c.offset + 1024.0f * c.scale - 0.5f);
        EXPECT_FLOAT_EQ(q[1][3].tv, 0.75f);
        // The bar: half the width, the bottom ten rows.
        EXPECT_FLOAT_EQ(q[2][2].x, 0.0f);
        EXPECT_FLOAT_EQ(q[2][0].x, static_cast<float>(c.w) * 0.5f);
        EXPECT_FLOAT_EQ(q[2][0].y, static_cast<float>(c.h) - 10.0f);
        EXPECT_FLOAT_EQ(q[2][1].y, static_cast<float>(c.h));
        for (auto& quad : q)
            for (auto& v : quad) {
                EXPECT_EQ(v.diffuse, 0u);
                EXPECT_EQ(v.z, 1.0f);
            }
    }
    SPScreenVertex q[3][4];
    CPRender::MakeLoadingQuads(0, 800, 600, 1.0f, 0.0f, q);
    EXPECT_FLOAT_EQ(q[2][0].x, 0.0f);
    CPRender::MakeLoadingQuads(100, 800, 600, 1.0f, 0.0f, q);
    EXPECT_FLOAT_EQ(q[2][0].x, 800.0f);
}

// A 2x2 32-bit TGA, standing for a loading-screen picture.
static std::string TinyTga() {
    std::string tga(18, '\0');
    tga[2] = 2;
    tga[12] = 2;
    tga[14] = 2;
    tga[16] = 32;
    return tga + std::string(16, '\x7F');
}

TEST_F(FrameStart, LoadingScreenDrawsThreeQuadsAndRetriesMissingPictures) {
    ASSERT_TRUE(StartRenderer());
    // A 2x2 TGA stands for each picture; back_all.jpg is missing at first.
    const std::string tga = TinyTga();
    root->Write("data/textures/back_load.jpg", tga);
    root->Write("data/textures/load.tga", tga);
    Control()->ClearCalls();
    render->DrawLoadingScreen(40);
    EXPECT_NE(render->GetLoadingTexture(0), nullptr);
    EXPECT_EQ(render->GetLoadingTexture(1), nullptr);
    EXPECT_NE(render->GetLoadingTexture(2), nullptr);
    const std::vector<std::string> keep = {"Clear", "BeginScene", "DrawPrimitiveUP", "EndScene", "Present"};
    EXPECT_EQ(Landmarks(CallNames(), keep),
              (std::vector<std::string>{"Clear", "BeginScene", "DrawPrimitiveUP", "DrawPrimitiveUP", "DrawPrimitiveUP",
                                        "EndScene", "Present"}));
    const auto textures = CallsNamed("SetTexture");
    ASSERT_EQ(textures.size(), 3u);
    EXPECT_EQ(textures[0].args[1], 0); // the missing picture binds nothing
    EXPECT_EQ(textures[1].args[1], Control()->ObjectId(render->GetLoadingTexture(0)));
    EXPECT_EQ(textures[2].args[1], Control()->ObjectId(render->GetLoadingTexture(2)));
    IDirect3DDevice9* d = render->GetDevice();
    EXPECT_EQ(RenderState(d, D3DRS_ZENABLE), static_cast<DWORD>(FALSE));
    EXPECT_EQ(RenderState(d, D3DRS_LIGHTING), static_cast<DWORD>(FALSE));
    // The next call tries the missing one again.
    root->Write("data/textures/back_all.jpg", tga);
    IDirect3DTexture9* first = render->GetLoadingTexture(0);
    render->DrawLoadingScreen(50);
    EXPECT_NE(render->GetLoadingTexture(1), nullptr);
    EXPECT_EQ(render->GetLoadingTexture(0), first);
}

TEST_F(FrameStart, StartupRegistryReachesTheRenderer) {
    SPStartupRegistry registry;
    InstallRenderer(registry);
    EXPECT_FALSE(registry.renderer.exists());
    CPSmartPtr<IPTask> task = registry.renderer.create();
    ASSERT_TRUE(task);
    EXPECT_TRUE(registry.renderer.exists());
    EXPECT_EQ(task->GetPriority(), 10000);
    // The game's renderer runs the post effects; the scripts' values reach it directly.
    EXPECT_NE(dynamic_cast<CPBloom*>(&GetRender()->GetPostEffects()), nullptr);
    ASSERT_TRUE(task->Start());
    registry.renderer.drawLoadingScreen(10);
    registry.renderer.resetDevice();
    task->Stop();
}

// ---------------------------------------------------------------------------------------------
// Static buffers

TEST_F(FrameStart, StaticBuffersAreSharedByNameAndOutliveTheirRelease) {
    ASSERT_TRUE(StartRenderer());
    const SPVertex vertices[3] = {MakeVertex(0, 0, 0), MakeVertex(1, 0, 0), MakeVertex(0, 1, 0)};
    const std::uint16_t indices[3] = {0, 1, 2};
    Control()->ClearCalls();
    SPStaticBuffer* a = render->CreateStaticBuffers("Level\\Rock", vertices, indices, 3, 3);
    ASSERT_NE(a, nullptr);
    const auto created = CallsNamed("CreateVertexBuffer");
    ASSERT_EQ(created.size(), 1u);
    EXPECT_EQ(created[0].args[0], 3 * 48);
    EXPECT_EQ(created[0].args[1], static_cast<std::int64_t>(D3DUSAGE_WRITEONLY));
    EXPECT_EQ(created[0].args[2], 0x2D2);
    EXPECT_EQ(created[0].args[3], static_cast<std::int64_t>(D3DPOOL_MANAGED));
    EXPECT_EQ(a->vertexCount, 3);
    EXPECT_EQ(a->triangleCount, 1);
    EXPECT_EQ(a->indices, (std::vector<std::uint16_t>{0, 1, 2}));
    // Another case of the same name: the same record, the new data ignored.
    EXPECT_EQ(render->CreateStaticBuffers("LEVEL\\ROCK", vertices, indices, 2, 0), a);
    EXPECT_EQ(render->GetStaticBufferCount(), 1u);

    // A render object drawn from it keeps it alive through ReleaseStaticBuffers.
    CPSmartPtr<CPMaterial> material = Material(16);
    CPSmartPtr<CPRenderObject> object = MakeMesh(material, 3);
    object->SetFillSkipped(true);
    ASSERT_TRUE(object->SetStaticBuffer("level\\rock"));
    EXPECT_EQ(object->GetStaticBuffer(), a);
    render->ReleaseStaticBuffers();
    EXPECT_EQ(render->GetStaticBufferCount(), 0u);
    for (int i = 0; i < 3; ++i) IPMMObject::CollectGarbage();
    render->GetRenderBlock()->AddRenderable(CPSmartPtr<IPRenderable>(object.Get()));
    Control()->ClearCalls();
    Frame();
    const auto draws = CallsNamed("DrawIndexedPrimitive");
    ASSERT_EQ(draws.size(), 1u);
    EXPECT_EQ(draws[0].ToString(), "DrawIndexedPrimitive(4, 0, 0, 3, 0, 1)");
    // A new record under the name after the release.
    SPStaticBuffer* b = render->CreateStaticBuffers("level\\rock", vertices, indices, 3, 3);
    EXPECT_NE(b, nullptr);
    object = nullptr;
}

TEST_F(FrameStart, StaticBufferWithoutDataIsNotMade) {
    ASSERT_TRUE(StartRenderer());
    EXPECT_EQ(render->CreateStaticBuffers("empty", nullptr, nullptr, 0, 0), nullptr);
    EXPECT_EQ(render->GetStaticBufferCount(), 0u);
    CPSmartPtr<CPRenderObject> object(new CPRenderObject());
    EXPECT_FALSE(object->SetStaticBuffer("empty"));
    EXPECT_EQ(object->GetStaticBuffer(), nullptr);
}

// A picture that is there but cannot be read as one is given up for the run: the next draws
// neither read nor decode it again, however large it is.
TEST_F(FrameStart, LoadingScreenGivesUpAPictureThatFailedToLoad) {
    ASSERT_TRUE(StartRenderer());
    std::vector<std::string> lines;
    CPLog::Instance().SetSink([&lines](int, const std::string& text) { lines.push_back(text); });
    root->Write("data/textures/back_load.jpg", "not a picture at all");
    render->DrawLoadingScreen(10);
    EXPECT_EQ(render->GetLoadingTexture(0), nullptr);
    const auto refusals = [&lines] {
        return std::count_if(lines.begin(), lines.end(), [](const std::string& l) {
            return l.find("\"data\\textures\\back_load.jpg\"") != std::string::npos;
        });
    };
    EXPECT_EQ(refusals(), 1);
    // Mended on disk during the run: still not read again until the next start.
    const std::string tga = TinyTga();
    root->Write("data/textures/back_load.jpg", tga);
    render->DrawLoadingScreen(20);
    render->DrawLoadingScreen(30);
    EXPECT_EQ(render->GetLoadingTexture(0), nullptr);
    EXPECT_EQ(refusals(), 1);
    CPLog::Instance().SetSink(nullptr);
}
