// The post effects on the Recording device: what Init makes, the quad tables, the call streams
// of the radial blur and the bloom (copies, target switches, effect parameters, composites and
// the state put back), the blur's speed ratio, and what is drawn when a file or a setting is
// missing.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "Framework/PApplication.h"
#include "Framework/PSettings.h"
#include "Framework/StartupRegistry.h"
#include "Render/PDeviceListener.h"
#include "Render/PostEffects/PostEffectsFixture.h"
#include "Render/RenderStartup.h"

using namespace posttest;

namespace {

using Platform::RecordedCall;

std::string Call(const char* name, std::vector<std::int64_t> args) {
    return RecordedCall{name, std::move(args)}.ToString();
}
std::string State(D3DRENDERSTATETYPE state, DWORD value) { return Call("SetRenderState", {state, value}); }
std::string Sampler(DWORD sampler, D3DSAMPLERSTATETYPE type, DWORD value) {
    return Call("SetSamplerState", {sampler, type, value});
}
std::string Stage(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD value) {
    return Call("SetTextureStageState", {stage, type, value});
}
const std::string kDrawQuad = Call("DrawPrimitiveUP", {D3DPT_TRIANGLESTRIP, 2, 28});

class PostEffects : public PostEffectsFixture {
protected:
    void SetUp() override {
        PostEffectsFixture::SetUp();
        CopyDemoFiles();
    }

    std::vector<std::string> Stream() const {
        std::vector<std::string> out;
        for (const RecordedCall& call : Control()->Calls()) out.push_back(call.ToString());
        return out;
    }
    // Index of the first entry of expected found in order in the stream, each after the last;
    // a failure names the first entry that is not there.
    static ::testing::AssertionResult InOrder(const std::vector<std::string>& stream,
                                              const std::vector<std::string>& expected) {
        std::size_t at = 0;
        for (const std::string& e : expected) {
            while (at < stream.size() && stream[at] != e) ++at;
            if (at == stream.size()) return ::testing::AssertionFailure() << "missing in order: " << e;
            ++at;
        }
        return ::testing::AssertionSuccess();
    }
    std::size_t Count(const std::vector<std::string>& stream, const std::string& what) const {
        std::size_t n = 0;
        for (const std::string& s : stream) n += s == what;
        return n;
    }
    std::size_t CountNamed(const std::string& name) const { return Control()->CountCalls(name); }
    DWORD RenderState(D3DRENDERSTATETYPE state) const {
        DWORD value = 0;
        render->GetDevice()->GetRenderState(state, &value);
        return value;
    }
    IDirect3DBaseTexture9* EffectTexture(ID3DXEffect* effect, const char* name) const {
        IDirect3DBaseTexture9* texture = nullptr;
        effect->GetTexture(name, &texture);
        if (texture) texture->Release(); // only compared
        return texture;
    }
    float EffectFloat(ID3DXEffect* effect, const char* name) const {
        float value = -1.0f;
        effect->GetFloat(name, &value);
        return value;
    }
    static std::string ParameterName(ID3DXEffect* effect, D3DXHANDLE parameter) {
        D3DXPARAMETER_DESC desc;
        if (FAILED(effect->GetParameterDesc(parameter, &desc)) || !desc.Name) return "";
        return desc.Name;
    }
    IDirect3DSurface9* Surface(IDirect3DTexture9* texture) const {
        IDirect3DSurface9* surface = nullptr;
        texture->GetSurfaceLevel(0, &surface);
        if (surface) surface->Release(); // the texture keeps it
        return surface;
    }
    IDirect3DSurface9* BackBuffer() const {
        IDirect3DSurface9* surface = nullptr;
        render->GetDevice()->GetRenderTarget(0, &surface);
        if (surface) surface->Release();
        return surface;
    }
    IDirect3DSurface9* DepthSurface() const {
        IDirect3DSurface9* surface = nullptr;
        render->GetDevice()->GetDepthStencilSurface(&surface);
        if (surface) surface->Release();
        return surface;
    }

    // The post state before the first copy, and the state put back after the last draw.
    void ExpectPostStateAndRestore(const std::vector<std::string>& stream) {
        EXPECT_TRUE(InOrder(
            stream,
            {Stage(0, D3DTSS_ALPHAOP, D3DTOP_MODULATE), State(D3DRS_ZENABLE, FALSE), State(D3DRS_FOGENABLE, FALSE),
             State(D3DRS_BLENDOP, D3DBLENDOP_ADD), State(D3DRS_LIGHTING, FALSE), State(D3DRS_ZWRITEENABLE, FALSE),
             Sampler(0, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR), Sampler(0, D3DSAMP_MINFILTER, D3DTEXF_LINEAR),
             Sampler(1, D3DSAMP_MIPFILTER, D3DTEXF_LINEAR), Call("SetFVF", {0x144}),
             Sampler(0, D3DSAMP_ADDRESSU, D3DTADDRESS_CLAMP), Sampler(0, D3DSAMP_ADDRESSV, D3DTADDRESS_CLAMP)}));
        std::size_t firstCopy = stream.size(), lastDraw = 0;
        for (std::size_t i = 0; i < stream.size(); ++i) {
            if (stream[i].rfind("StretchRect", 0) == 0 && firstCopy == stream.size()) firstCopy = i;
            if (stream[i] == kDrawQuad) lastDraw = i;
        }
        const std::vector<std::string> head(stream.begin(), stream.begin() + static_cast<std::ptrdiff_t>(firstCopy));
        EXPECT_TRUE(InOrder(head, {Call("SetFVF", {0x144}), Sampler(0, D3DSAMP_ADDRESSV, D3DTADDRESS_CLAMP)}));
        const std::vector<std::string> tail(stream.begin() + static_cast<std::ptrdiff_t>(lastDraw), stream.end());
        EXPECT_TRUE(InOrder(tail, {Sampler(0, D3DSAMP_ADDRESSU, D3DTADDRESS_WRAP),
                                   Sampler(0, D3DSAMP_ADDRESSV, D3DTADDRESS_WRAP), State(D3DRS_ALPHABLENDENABLE, FALSE),
                                   State(D3DRS_ZENABLE, TRUE), State(D3DRS_FOGENABLE, TRUE),
                                   State(D3DRS_LIGHTING, TRUE), State(D3DRS_ZWRITEENABLE, TRUE),
                                   Stage(0, D3DTSS_ALPHAOP, D3DTOP_DISABLE), Call("SetFVF", {SPVertexFVF})}));
        // The renderer's texture filters are set again.
        EXPECT_TRUE(InOrder(tail, {Call("SetFVF", {SPVertexFVF}), Sampler(0, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR)}));
        EXPECT_EQ(RenderState(D3DRS_ALPHABLENDENABLE), static_cast<DWORD>(FALSE));
        EXPECT_EQ(RenderState(D3DRS_ZENABLE), static_cast<DWORD>(TRUE));
        EXPECT_EQ(RenderState(D3DRS_FOGENABLE), static_cast<DWORD>(TRUE));
        EXPECT_EQ(RenderState(D3DRS_LIGHTING), static_cast<DWORD>(TRUE));
        EXPECT_EQ(RenderState(D3DRS_ZWRITEENABLE), static_cast<DWORD>(TRUE));
        DWORD fvf = 0;
        render->GetDevice()->GetFVF(&fvf);
        EXPECT_EQ(fvf, SPVertexFVF);
    }
};

// ---------------------------------------------------------------------------------------------
// Init, targets and quad tables

TEST_F(PostEffects, InitWithoutPixelShader20MakesNothing) {
    Platform::RecordingConfig config;
    config.pixelShaderVersion = D3DPS_VERSION(1, 4);
    Platform::SetRecordingConfig(config);
    ASSERT_TRUE(StartWithBloom());
    EXPECT_FALSE(render->HasPixelShader20());
    EXPECT_EQ(bloom->Init(render->GetDevice()), E_FAIL);
    EXPECT_EQ(bloom->GetSmallTarget(), nullptr);
    EXPECT_EQ(bloom->GetBlurTarget(), nullptr);
    EXPECT_EQ(bloom->GetBloomEffect(), nullptr);
    EXPECT_EQ(bloom->GetMaskTexture(), nullptr);
    // The frame never runs the passes, and nothing the passes would make is drawn.
    render->SetGroupCamera(150, render->GetScreenCamera());
    Control()->ClearCalls();
    Frame();
    EXPECT_EQ(CountNamed("StretchRect"), 0u);
}

TEST_F(PostEffects, InitWithoutADeviceFails) {
    CPBloom alone;
    EXPECT_EQ(alone.Init(nullptr), E_FAIL);
    EXPECT_EQ(alone.GetSmallTarget(), nullptr);
    // Without a device the passes do nothing.
    alone.RadialBlur();
    alone.Bloom();
}

TEST_F(PostEffects, InitLoadsTheEffectsAndPicturesAndMakesTheTargets) {
    ASSERT_TRUE(StartWithBloom());
    ASSERT_TRUE(render->HasPixelShader20());
    ASSERT_NE(bloom->GetBloomEffect(), nullptr);
    ASSERT_NE(bloom->GetSecondBloomEffect(), nullptr);
    ASSERT_NE(bloom->GetBlurEffect(), nullptr);
    EXPECT_NE(bloom->GetMaskTexture(), nullptr);
    EXPECT_NE(bloom->GetNoiseTexture(), nullptr);

    // Every texture parameter in declaration order.
    ASSERT_EQ(bloom->GetBloomParameters().size(), 1u);
    EXPECT_EQ(ParameterName(bloom->GetBloomEffect(), bloom->GetBloomParameters()[0]), "tex0");
    ASSERT_EQ(bloom->GetSecondBloomParameters().size(), 1u);
    ASSERT_EQ(bloom->GetBlurParameters().size(), 2u);
    EXPECT_EQ(ParameterName(bloom->GetBlurEffect(), bloom->GetBlurParameters()[0]), "tex0");
    EXPECT_EQ(ParameterName(bloom->GetBlurEffect(), bloom->GetBlurParameters()[1]), "tex1");

    D3DSURFACE_DESC back;
    ASSERT_EQ(BackBuffer()->GetDesc(&back), D3D_OK);
    struct Expected {
        const char* name;
        IDirect3DTexture9* target;
        UINT width, height;
    };
    const Expected targets[] = {{"small", bloom->GetSmallTarget(), 512, 384},
                                {"second", bloom->GetSecondTarget(), 512, 384},
                                {"blur", bloom->GetBlurTarget(), 640, 480},
                                {"copy", bloom->GetCopyTarget(), 640, 480}};
    for (const Expected& e : targets) {
        SCOPED_TRACE(e.name);
        ASSERT_NE(e.target, nullptr);
        EXPECT_EQ(e.target->GetLevelCount(), 1u);
        D3DSURFACE_DESC desc;
        ASSERT_EQ(e.target->GetLevelDesc(0, &desc), D3D_OK);
        EXPECT_EQ(desc.Width, e.width);
        EXPECT_EQ(desc.Height, e.height);
        EXPECT_EQ(desc.Format, back.Format);
        EXPECT_EQ(desc.Pool, D3DPOOL_DEFAULT);
        EXPECT_TRUE(desc.Usage & D3DUSAGE_RENDERTARGET);
    }
}

TEST_F(PostEffects, QuadTablesFollowTheBackBuffer) {
    CPBloom fresh;
    // Before any target exists the screen table is for 1024 x 768.
    EXPECT_FLOAT_EQ(fresh.GetScreenQuad()[0].x, 1023.5f);
    EXPECT_FLOAT_EQ(fresh.GetScreenQuad()[1].y, 767.5f);

    ASSERT_TRUE(StartWithBloom());
    struct Corner {
        float x, y, u, v;
    };
    const Corner screen[4] = {
        {639.5f, -0.5f, 1, 0}, {639.5f, 479.5f, 1, 1}, {-0.5f, -0.5f, 0, 0}, {-0.5f, 479.5f, 0, 1}};
    const Corner small[4] = {
        {511.5f, -0.5f, 1, 0}, {511.5f, 383.5f, 1, 1}, {-0.5f, -0.5f, 0, 0}, {-0.5f, 383.5f, 0, 1}};
    for (int i = 0; i < 4; ++i) {
        SCOPED_TRACE(i);
        const SPScreenVertex& s = bloom->GetScreenQuad()[i];
        EXPECT_FLOAT_EQ(s.x, screen[i].x);
        EXPECT_FLOAT_EQ(s.y, screen[i].y);
        EXPECT_FLOAT_EQ(s.tu, screen[i].u);
        EXPECT_FLOAT_EQ(s.tv, screen[i].v);
        EXPECT_FLOAT_EQ(s.z, 1.0f);
        EXPECT_FLOAT_EQ(s.rhw, 1.0f);
        EXPECT_EQ(s.diffuse, 0xFFFFFFFFu);
        const SPScreenVertex& m = bloom->GetSmallQuad()[i];
        EXPECT_FLOAT_EQ(m.x, small[i].x);
        EXPECT_FLOAT_EQ(m.y, small[i].y);
        EXPECT_FLOAT_EQ(m.tu, small[i].u);
        EXPECT_FLOAT_EQ(m.tv, small[i].v);
        EXPECT_EQ(m.diffuse, 0xFFFFFFFFu);
    }
}

TEST_F(PostEffects, AfterAResetToANewSizeTheTargetsAndTablesFollowIt) {
    ASSERT_TRUE(StartWithBloom());
    IDirect3DDevice9* d = render->GetDevice();
    // As the renderer's reset does: the listeners first, then the post effects.
    IPDeviceListener::BroadcastDeviceLost();
    bloom->ReleaseTargets();
    // Nothing of the post effects holds the device back from a reset.
    EXPECT_TRUE(Control()->ResetBlockers().empty()) << ::testing::PrintToString(Control()->ResetBlockers());
    EXPECT_EQ(bloom->GetBloomEffect(), nullptr);
    EXPECT_EQ(bloom->GetNoiseTexture(), nullptr);
    EXPECT_TRUE(bloom->GetBlurParameters().empty());

    D3DPRESENT_PARAMETERS pp = render->GetPresentParameters();
    pp.BackBufferWidth = 800;
    pp.BackBufferHeight = 600;
    ASSERT_EQ(d->Reset(&pp), D3D_OK);
    IPDeviceListener::BroadcastDeviceReset();
    ASSERT_EQ(bloom->Init(d), S_OK);
    EXPECT_FLOAT_EQ(bloom->GetScreenQuad()[0].x, 799.5f);
    EXPECT_FLOAT_EQ(bloom->GetScreenQuad()[3].y, 599.5f);
    EXPECT_FLOAT_EQ(bloom->GetSmallQuad()[0].x, 511.5f);
    EXPECT_FLOAT_EQ(bloom->GetSmallQuad()[3].y, 383.5f);
    for (IDirect3DTexture9* target : {bloom->GetBlurTarget(), bloom->GetCopyTarget()}) {
        D3DSURFACE_DESC desc;
        ASSERT_EQ(target->GetLevelDesc(0, &desc), D3D_OK);
        EXPECT_EQ(desc.Width, 800u);
        EXPECT_EQ(desc.Height, 600u);
    }
    D3DSURFACE_DESC small;
    ASSERT_EQ(bloom->GetSmallTarget()->GetLevelDesc(0, &small), D3D_OK);
    EXPECT_EQ(small.Width, 512u);
    EXPECT_NE(bloom->GetBloomEffect(), nullptr);
}

TEST_F(PostEffects, TheRenderersResetReleasesAndRemakesThem) {
    ASSERT_TRUE(StartWithBloom());
    const std::int64_t before = Id(bloom->GetSmallTarget());
    render->ResetDevice();
    EXPECT_FALSE(Control()->IsLost());
    ASSERT_NE(bloom->GetSmallTarget(), nullptr);
    EXPECT_NE(Id(bloom->GetSmallTarget()), before);
    EXPECT_NE(bloom->GetBlurEffect(), nullptr);
    // Init again without a release between leaks nothing: a reset still succeeds.
    ASSERT_EQ(bloom->Init(render->GetDevice()), S_OK);
    render->ResetDevice();
    EXPECT_FALSE(Control()->IsLost());
}

TEST_F(PostEffects, ReleaseAtStopKeepsTheTargetsUntilTheEnd) {
    ASSERT_TRUE(StartWithBloom());
    bloom->Release();
    EXPECT_EQ(bloom->GetBloomEffect(), nullptr);
    EXPECT_EQ(bloom->GetSecondBloomEffect(), nullptr);
    EXPECT_EQ(bloom->GetBlurEffect(), nullptr);
    EXPECT_EQ(bloom->GetMaskTexture(), nullptr);
    EXPECT_EQ(bloom->GetNoiseTexture(), nullptr);
    EXPECT_TRUE(bloom->GetBloomParameters().empty());
    EXPECT_NE(bloom->GetSmallTarget(), nullptr);
    // With the effects gone the passes draw nothing.
    Control()->ClearCalls();
    bloom->RadialBlur();
    bloom->Bloom();
    EXPECT_EQ(CountNamed("DrawPrimitiveUP"), 0u);
}

TEST_F(PostEffects, TheGamesRendererHoldsTheBloom) {
    SPStartupRegistry registry;
    InstallRenderer(registry);
    CPSmartPtr<IPTask> task = registry.renderer.create();
    ASSERT_TRUE(task);
    auto* game = dynamic_cast<CPBloom*>(&GetRender()->GetPostEffects());
    ASSERT_NE(game, nullptr);
    ASSERT_TRUE(task->Start());
    EXPECT_NE(game->GetSmallTarget(), nullptr);
    EXPECT_NE(game->GetBlurEffect(), nullptr);
    task->Stop();
}

// ---------------------------------------------------------------------------------------------
// The radial blur

TEST_F(PostEffects, RadialBlurStream) {
    ASSERT_TRUE(StartWithBloom());
    world.level = true;
    racing.level = true;
    racing.racer = true;
    racing.velocity[0] = 6.0f;
    racing.velocity[1] = 8.0f; // speed 10
    g_effectFx = 0.25f;
    g_effectFy = 0.75f;
    IDirect3DSurface9* back = BackBuffer();
    IDirect3DSurface9* depth = DepthSurface();
    ASSERT_NE(depth, nullptr);
    IDirect3DTexture9* copy = bloom->GetCopyTarget();
    IDirect3DTexture9* blur = bloom->GetBlurTarget();

    Control()->ClearCalls();
    render->GetDevice()->BeginScene();
    bloom->RadialBlur();
    render->GetDevice()->EndScene();
    const std::vector<std::string> stream = Stream();

    EXPECT_TRUE(
        InOrder(stream, {Call("StretchRect", {Id(back), Id(Surface(copy)), D3DTEXF_LINEAR}),
                         Call("SetRenderTarget", {0, Id(Surface(blur))}), kDrawQuad,
                         Call("SetDepthStencilSurface", {Id(depth)}), Call("SetRenderTarget", {0, Id(back)}),
                         State(D3DRS_ALPHABLENDENABLE, TRUE), State(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA),
                         State(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA), Call("SetTexture", {0, Id(blur)}), kDrawQuad}));
    EXPECT_EQ(Count(stream, kDrawQuad), 2u);
    ExpectPostStateAndRestore(stream);

    ID3DXEffect* fx = bloom->GetBlurEffect();
    EXPECT_EQ(EffectTexture(fx, "tex0"), copy);
    EXPECT_EQ(EffectTexture(fx, "tex1"), bloom->GetMaskTexture());
    EXPECT_FLOAT_EQ(EffectFloat(fx, "SpeedRatio"), 0.5f);
    INT forward = 0;
    fx->GetInt("Forward", &forward);
    EXPECT_EQ(forward, 1);
    EXPECT_FLOAT_EQ(EffectFloat(fx, "fx"), 0.25f);
    EXPECT_FLOAT_EQ(EffectFloat(fx, "fy"), 0.75f);
    EXPECT_EQ(BackBuffer(), back);
    EXPECT_EQ(DepthSurface(), depth);
}

TEST_F(PostEffects, SpeedRatioFromTheHumanRacersVelocity) {
    ASSERT_TRUE(StartWithBloom());
    const float nan = std::numeric_limits<float>::quiet_NaN();
    struct Case {
        const char* what;
        bool level, racer;
        float x, y, z;
        float ratio;
    };
    const Case cases[] = {
        {"no level", false, true, 40, 0, 0, 0.0f},
        {"no human racer", true, false, 40, 0, 0, 0.0f},
        {"a racer without a car", true, true, 0, 0, 0, 0.0f},
        {"speed 10", true, true, 0, 0, 10, 0.5f},
        {"speed 40", true, true, 0, 40, 0, 1.0f},
        {"speed 10 backwards", true, true, -6, 0, -8, 0.5f},
        {"a broken velocity", true, true, nan, 0, 0, 0.0f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        racing.level = c.level;
        racing.racer = c.racer;
        racing.velocity[0] = c.x;
        racing.velocity[1] = c.y;
        racing.velocity[2] = c.z;
        racing.velocity[3] = 7.0f; // the fourth word is not part of the speed
        EXPECT_FLOAT_EQ(CPBloom::SpeedRatio(), c.ratio);
        bloom->RadialBlur();
        EXPECT_FLOAT_EQ(EffectFloat(bloom->GetBlurEffect(), "SpeedRatio"), c.ratio);
    }
}

TEST_F(PostEffects, BlurSettingOffOrDisabledDrawsNothing) {
    ASSERT_TRUE(StartWithBloom());
    g_blur = 0;
    Control()->ClearCalls();
    bloom->RadialBlur();
    EXPECT_TRUE(Control()->Calls().empty());
    // The bloom does not read the blur setting.
    bloom->Bloom();
    EXPECT_GT(CountNamed("DrawPrimitiveUP"), 0u);

    g_blur = 1;
    bloom->SetEnabled(false);
    Control()->ClearCalls();
    bloom->RadialBlur();
    bloom->Bloom();
    EXPECT_TRUE(Control()->Calls().empty());
}

TEST_F(PostEffects, InTheFrameTheBlurTriggerStillCountsWithTheBlurSettingOff) {
    ASSERT_TRUE(StartWithBloom());
    render->SetGroupCamera(150, render->GetScreenCamera());
    struct Case {
        int blur, bloomSetting;
        std::size_t copies;
    };
    const Case cases[] = {{1, 1, 2}, {0, 1, 1}, {1, 0, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.blur) + " " + std::to_string(c.bloomSetting));
        g_blur = c.blur;
        g_bloom = c.bloomSetting;
        Control()->ClearCalls();
        Frame();
        EXPECT_EQ(CountNamed("StretchRect"), c.copies);
    }
    // With the blur off, the one copy is the bloom's, into the small target.
    g_blur = 0;
    g_bloom = 1;
    Control()->ClearCalls();
    Frame();
    EXPECT_TRUE(InOrder(
        Stream(), {Call("StretchRect", {Id(BackBuffer()), Id(Surface(bloom->GetSmallTarget())), D3DTEXF_LINEAR})}));
}

// ---------------------------------------------------------------------------------------------
// The bloom

TEST_F(PostEffects, BloomStream) {
    ASSERT_TRUE(StartWithBloom());
    IDirect3DSurface9* back = BackBuffer();
    IDirect3DSurface9* depth = DepthSurface();
    IDirect3DTexture9* small = bloom->GetSmallTarget();
    IDirect3DTexture9* second = bloom->GetSecondTarget();

    Control()->ClearCalls();
    render->GetDevice()->BeginScene();
    bloom->Bloom();
    render->GetDevice()->EndScene();
    const std::vector<std::string> stream = Stream();

    EXPECT_TRUE(InOrder(stream, {// shrink the frame
                                 Call("StretchRect", {Id(back), Id(Surface(small)), D3DTEXF_LINEAR}),
                                 // bright pass into the second target, blur back into the first
                                 Call("SetRenderTarget", {0, Id(Surface(second))}), kDrawQuad,
                                 Call("SetRenderTarget", {0, Id(Surface(small))}), kDrawQuad,
                                 // added over the frame
                                 Call("SetDepthStencilSurface", {Id(depth)}), State(D3DRS_ALPHABLENDENABLE, TRUE),
                                 Call("SetRenderTarget", {0, Id(back)}), State(D3DRS_SRCBLEND, D3DBLEND_SRCCOLOR),
                                 State(D3DRS_DESTBLEND, D3DBLEND_ONE), Call("SetTexture", {0, Id(small)}), kDrawQuad,
                                 // the grain
                                 State(D3DRS_ALPHABLENDENABLE, FALSE), State(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA),
                                 State(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA), State(D3DRS_ALPHABLENDENABLE, TRUE),
                                 Call("SetTexture", {0, Id(bloom->GetNoiseTexture())}), kDrawQuad}));
    EXPECT_EQ(Count(stream, kDrawQuad), 4u);
    ExpectPostStateAndRestore(stream);

    // No pass reads the surface it draws into.
    EXPECT_EQ(EffectTexture(bloom->GetBloomEffect(), "tex0"), small);
    EXPECT_EQ(EffectTexture(bloom->GetSecondBloomEffect(), "tex0"), second);
    EXPECT_EQ(BackBuffer(), back);
    EXPECT_EQ(DepthSurface(), depth);
}

TEST_F(PostEffects, EveryTextureParameterOfTheBloomEffectsIsBound) {
    // Two texture parameters: both get the pass's source.
    root->Write("Data/Effects/bloom.fx",
                "texture tex0; texture glow;\n"
                "sampler2D a = sampler_state { Texture = <tex0>; };\n"
                "sampler2D b = sampler_state { Texture = <glow>; };\n"
                "float4 PS(float2 uv : TEXCOORD0) : COLOR0 { return tex2D(a, uv) + tex2D(b, uv); }\n"
                "technique T { pass { PixelShader = compile ps_2_0 PS(); } }\n");
    ASSERT_TRUE(StartWithBloom());
    ASSERT_EQ(bloom->GetBloomParameters().size(), 2u);
    bloom->Bloom();
    EXPECT_EQ(EffectTexture(bloom->GetBloomEffect(), "tex0"), bloom->GetSmallTarget());
    EXPECT_EQ(EffectTexture(bloom->GetBloomEffect(), "glow"), bloom->GetSmallTarget());
}

// ---------------------------------------------------------------------------------------------
// Missing files

struct MissingFile {
    const char* file;
    std::size_t blurDraws, bloomDraws;
};

class PostEffectsMissingFile : public PostEffectsFixture, public ::testing::WithParamInterface<MissingFile> {
protected:
    void SetUp() override {
        PostEffectsFixture::SetUp();
        CopyDemoFiles({GetParam().file});
    }
};

TEST_P(PostEffectsMissingFile, LeavesItsObjectOutAndItsPassUndrawn) {
    ASSERT_TRUE(StartWithBloom());
    EXPECT_TRUE(LogMentions("Render\\Bloom"));
    Control()->ClearCalls();
    bloom->RadialBlur();
    EXPECT_EQ(Control()->CountCalls("DrawPrimitiveUP"), GetParam().blurDraws);
    Control()->ClearCalls();
    bloom->Bloom();
    EXPECT_EQ(Control()->CountCalls("DrawPrimitiveUP"), GetParam().bloomDraws);
}

INSTANTIATE_TEST_SUITE_P(
    Files, PostEffectsMissingFile,
    ::testing::Values(MissingFile{"Data/Effects/blur_2.fx", 0, 4}, MissingFile{"Data/Effects/bloom.fx", 2, 0},
                      MissingFile{"Data/Effects/bloom2.fx", 2, 0},
                      // The blur binds no mask.
                      MissingFile{"Data/Textures/blurmask_2_.tga", 2, 4},
                      // The grain is left out: without its picture it would be an opaque white quad.
                      MissingFile{"Data/Textures/noise.tga", 2, 3}));

TEST_F(PostEffects, AnEffectThatCannotBeBuiltIsLeftOut) {
    root->Write("Data/Effects/blur_2.fx", "technique T { pass { PixelShader = compile ps_3_0 Missing(); } }\n");
    ASSERT_TRUE(StartWithBloom());
    EXPECT_EQ(bloom->GetBlurEffect(), nullptr);
    EXPECT_TRUE(bloom->GetBlurParameters().empty());
    EXPECT_TRUE(LogMentions("Render\\Bloom"));
    Control()->ClearCalls();
    bloom->RadialBlur();
    EXPECT_EQ(CountNamed("DrawPrimitiveUP"), 0u);
}

} // namespace
