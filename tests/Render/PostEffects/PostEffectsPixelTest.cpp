// The post effects on the OpenGL device offscreen (Mesa's llvmpipe where there is no GPU),
// checked by reading pixels back: the demo effects build, the radial blur leaves a resting frame
// as it was and smears the edges of a moving one more than its middle, the bloom makes a glow
// around a bright square. A last test draws a small scene through the whole frame with both
// passes under the demo sky at 320 x 240 and saves it as a PNG in the build tree to look at. Skipped where
// OpenGL 4.5 cannot run.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <type_traits>
#include <vector>

#include "DynamicSky/SkyStartup.h"
#include "Framework/PApplication.h"
#include "Framework/PSettings.h"
#include "Platform/Math/D3DXMath.h"
#include "Render/PostEffects/PostEffectsFixture.h"
#include "support/TgaWriter.h"

using namespace posttest;

namespace {

int Channel(D3DCOLOR c, int shift) { return static_cast<int>((c >> shift) & 0xFF); }
int Green(D3DCOLOR c) { return Channel(c, 8); }

// The demo sky's files (its description, weather, clouds, effects and pictures) copied from the
// demo game root into the test's root.
void CopyDemoSky(const kxtest::TempGameRoot& root) {
    namespace fs = std::filesystem;
    for (const char* folder : {"Data/Clouds", "Data/Textures", "Data/Effects"}) {
        for (const auto& entry : fs::directory_iterator(fs::path(KX_DATA_DIR) / folder)) {
            const std::string name = entry.path().filename().string();
            if (std::string(folder) == "Data/Effects" && name.rfind("sky", 0) != 0 && name != "volume_cloud.fx")
                continue;
            std::ifstream in(entry.path(), std::ios::binary);
            root.Write(std::string(folder) + "/" + name,
                       std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()));
        }
    }
}

class PostEffectPixels : public PostEffectsFixture {
protected:
    void SetUp() override {
        PostEffectsFixture::SetUp();
        g_screenWidth = W;
        g_screenHeight = H;
        IDirect3D9* probe = kxtest::OffscreenOpenGLDirect3D();
        if (!probe) GTEST_SKIP() << "no OpenGL 4.5 here";
        probe->Release();
        CopyDemoFiles();
        started = StartWithBloomOnOpenGL();
        ASSERT_TRUE(started);
    }
    void TearDown() override {
        if (backBuffer) backBuffer->Release();
        backBuffer = nullptr;
        g_currentViewCamera = nullptr;
        PostEffectsFixture::TearDown();
    }

    IDirect3DDevice9* Device() const { return render->GetDevice(); }
    std::vector<D3DCOLOR> Read() {
        if (!backBuffer) Device()->GetRenderTarget(0, &backBuffer);
        std::vector<D3DCOLOR> pixels(static_cast<std::size_t>(W) * H);
        EXPECT_EQ(Device()->ReadRenderTarget(backBuffer, pixels.data(), static_cast<UINT>(pixels.size())), D3D_OK);
        return pixels;
    }
    D3DCOLOR At(const std::vector<D3DCOLOR>& p, int x, int y) const { return p[static_cast<std::size_t>(y * W + x)]; }

    // Untextured pre-transformed rectangles in their diffuse colour, over everything.
    void BeginFlat() {
        IDirect3DDevice9* d = Device();
        d->SetRenderState(D3DRS_ZENABLE, FALSE);
        d->SetRenderState(D3DRS_LIGHTING, FALSE);
        d->SetRenderState(D3DRS_FOGENABLE, FALSE);
        d->SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
        d->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
        d->SetTexture(0, nullptr);
        d->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
        d->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_DIFFUSE);
        d->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
        d->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_DIFFUSE);
        d->SetFVF(SPScreenVertexFVF);
    }
    void FillRect(int x0, int y0, int x1, int y1, D3DCOLOR colour) {
        const float l = static_cast<float>(x0) - 0.5f, t = static_cast<float>(y0) - 0.5f;
        const float r = static_cast<float>(x1) - 0.5f, b = static_cast<float>(y1) - 0.5f;
        const SPScreenVertex quad[4] = {{r, t, 0.5f, 1.0f, colour, 1, 0},
                                        {r, b, 0.5f, 1.0f, colour, 1, 1},
                                        {l, t, 0.5f, 1.0f, colour, 0, 0},
                                        {l, b, 0.5f, 1.0f, colour, 0, 1}};
        Device()->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof(SPScreenVertex));
    }
    void EndFlat() {
        IDirect3DDevice9* d = Device();
        d->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
        d->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
        d->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_DISABLE);
        d->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_TEXTURE);
        d->SetRenderState(D3DRS_CULLMODE, D3DCULL_CCW);
    }
    // Vertical stripes two pixels wide, black and white, over the whole screen.
    void DrawStripes() {
        Device()->BeginScene();
        BeginFlat();
        FillRect(0, 0, W, H, 0xFF000000);
        for (int x = 0; x < W; x += 4) FillRect(x, 0, x + 2, H, 0xFFFFFFFF);
        EndFlat();
        Device()->EndScene();
    }
    // The change the blur made in a square of 9 x 9 pixels around (cx, cy).
    long ChangeAround(const std::vector<D3DCOLOR>& before, const std::vector<D3DCOLOR>& after, int cx, int cy) const {
        long sum = 0;
        for (int y = cy - 4; y <= cy + 4; ++y)
            for (int x = cx - 4; x <= cx + 4; ++x) sum += std::labs(Green(At(after, x, y)) - Green(At(before, x, y)));
        return sum;
    }
    void Moving(float speed) {
        racing.level = true;
        racing.racer = true;
        racing.velocity[0] = speed;
        racing.velocity[1] = racing.velocity[2] = 0.0f;
    }

    int W = 160, H = 120;
    bool started = false;
    IDirect3DSurface9* backBuffer = nullptr;
};

TEST_F(PostEffectPixels, TheDemoEffectsBuildTheirFirstTechniqueAndThePicturesLoad) {
    for (ID3DXEffect* effect : {bloom->GetBloomEffect(), bloom->GetSecondBloomEffect(), bloom->GetBlurEffect()}) {
        ASSERT_NE(effect, nullptr);
        D3DXHANDLE first = nullptr;
        ASSERT_EQ(effect->FindNextValidTechnique(nullptr, &first), D3D_OK);
        EXPECT_EQ(first, effect->GetTechnique(0));
        EXPECT_EQ(effect->GetCurrentTechnique(), effect->GetTechnique(0));
    }
    for (IDirect3DTexture9* picture : {bloom->GetMaskTexture(), bloom->GetNoiseTexture()}) {
        ASSERT_NE(picture, nullptr);
        D3DSURFACE_DESC desc;
        ASSERT_EQ(picture->GetLevelDesc(0, &desc), D3D_OK);
        EXPECT_EQ(desc.Width, 256u);
        EXPECT_EQ(desc.Height, 256u);
    }
}

TEST_F(PostEffectPixels, BlurAtRestLeavesTheFrameAsItWas) {
    Moving(0.0f);
    DrawStripes();
    const auto before = Read();
    Device()->BeginScene();
    bloom->RadialBlur();
    Device()->EndScene();
    const auto after = Read();
    EXPECT_EQ(after, before);
}

TEST_F(PostEffectPixels, BlurAtFullSpeedSmearsTheEdgesMoreThanTheMiddle) {
    Moving(40.0f);
    DrawStripes();
    const auto before = Read();
    Device()->BeginScene();
    bloom->RadialBlur();
    Device()->EndScene();
    const auto after = Read();
    const long middle = ChangeAround(before, after, W / 2, H / 2);
    const long left = ChangeAround(before, after, 10, H / 2);
    const long right = ChangeAround(before, after, W - 11, H / 2);
    // 81 pixels changing by about a hundred each at the edges; the middle stays sharp.
    EXPECT_GT(left, 81 * 40) << "middle " << middle;
    EXPECT_GT(right, 81 * 40) << "middle " << middle;
    EXPECT_LT(middle * 4, left);
    EXPECT_LT(middle * 4, right);
}

TEST_F(PostEffectPixels, BloomBrightensAroundABrightSquare) {
    Device()->BeginScene();
    BeginFlat();
    FillRect(0, 0, W, H, 0xFF202020);
    FillRect(70, 50, 90, 70, 0xFFFFFFFF);
    EndFlat();
    Device()->EndScene();
    const auto before = Read();
    Device()->BeginScene();
    bloom->Bloom();
    Device()->EndScene();
    const auto after = Read();

    // Just outside each side of the square the glow adds light.
    const int around[4][2] = {{68, 60}, {91, 60}, {80, 48}, {80, 71}};
    for (const auto& p : around) {
        SCOPED_TRACE(std::to_string(p[0]) + ", " + std::to_string(p[1]));
        EXPECT_GT(Green(At(after, p[0], p[1])), Green(At(before, p[0], p[1])) + 30);
    }
    // The square stays white; far from it only the faint grain changes the frame.
    EXPECT_GE(Green(At(after, 80, 60)), 230);
    for (const auto& p : {std::pair<int, int>{4, 4}, {W - 5, H - 5}, {4, H - 5}}) {
        SCOPED_TRACE(std::to_string(p.first) + ", " + std::to_string(p.second));
        EXPECT_NEAR(Green(At(after, p.first, p.second)), Green(At(before, p.first, p.second)), 24);
    }
}

// ---------------------------------------------------------------------------------------------
// A picture to look at

class PostEffectPicture : public PostEffectPixels {
protected:
    PostEffectPicture() {
        W = 320;
        H = 240;
    }

    // A box of one flat colour, its faces seen from both sides (the floor's underside and the
    // far faces are never in view).
    CPSmartPtr<frametest::FakeSceneObject> Box(const char* texture, D3DXVECTOR3 low, D3DXVECTOR3 high) {
        CPSmartPtr<CPMaterial> material;
        manager->GetMaterial(material, 16, "flat.fx", {texture});
        CPSmartPtr<CPRenderObject> mesh(new CPRenderObject());
        std::vector<SPVertex> v;
        std::vector<std::uint16_t> idx;
        auto face = [&](D3DXVECTOR3 a, D3DXVECTOR3 b, D3DXVECTOR3 c, D3DXVECTOR3 d) {
            const auto base = static_cast<std::uint16_t>(v.size());
            for (const D3DXVECTOR3& p : {a, b, c, d}) v.push_back(frametest::MakeVertex(p.x, p.y, p.z));
            for (int i : {0, 1, 2, 0, 2, 3, 0, 2, 1, 0, 3, 2}) idx.push_back(static_cast<std::uint16_t>(base + i));
        };
        const D3DXVECTOR3 l = low, h = high;
        face({l.x, l.y, h.z}, {h.x, l.y, h.z}, {h.x, h.y, h.z}, {l.x, h.y, h.z}); // top
        face({l.x, l.y, l.z}, {l.x, l.y, h.z}, {l.x, h.y, h.z}, {l.x, h.y, l.z}); // facing the camera
        face({l.x, l.y, l.z}, {h.x, l.y, l.z}, {h.x, l.y, h.z}, {l.x, l.y, h.z}); // sides
        face({l.x, h.y, l.z}, {l.x, h.y, h.z}, {h.x, h.y, h.z}, {h.x, h.y, l.z});
        mesh->SetMesh(std::move(v), std::move(idx));
        mesh->SetEffect(material);
        return frametest::MakeObject(CPSmartPtr<IPRenderable>(mesh.Get()));
    }
};

// A floor, three pillars and a bright lamp seen by a race camera, with the racer at full speed,
// through the whole frame: the sky where the renderer can load one, the scene, the radial blur
// before the first screen-layer group, the bloom at the renderer's own group 195.
TEST_F(PostEffectPicture, SceneWithBothPassesIsSavedAsAPng) {
    root->Write("Data/Effects/flat.fx",
                "texture tex0;\n"
                "technique T { pass P0 { Lighting = false; FogEnable = false;\n"
                "  Texture[0] = <tex0>; ColorOp[0] = SelectArg1; ColorArg1[0] = Texture; } }\n");
    root->Write("Data/Textures/floor.tga", kxtest::SolidTga(2, 2, 0xFF4A5A3A));
    root->Write("Data/Textures/pillar.tga", kxtest::SolidTga(2, 2, 0xFFB06030));
    root->Write("Data/Textures/lamp.tga", kxtest::SolidTga(2, 2, 0xFFFFFFF0));
    CopyDemoSky(*root);
    InstallDynamicSky();
    render->LoadSky(1);
    SetSkyMaker(nullptr);
    ASSERT_NE(render->GetSky(), nullptr);

    CPSmartPtr<CPPerspectiveCamera> camera(new CPPerspectiveCamera());
    camera->eye = D3DXVECTOR3(0, 0, 2);
    camera->target = D3DXVECTOR3(1, 0, 1.9f);
    camera->up = D3DXVECTOR3(0, 0, 1);
    camera->fieldOfView = 1.1f;
    camera->nearDistance = 0.5f;
    camera->farDistance = 200.0f;
    camera->viewDirty = camera->projectionDirty = true;
    camera->Update();
    g_currentViewCamera = camera.Get();
    render->SetGroupCamera(16, CPSmartPtr<CPBaseCamera>(camera.Get()));
    racing.level = true;
    racing.farCamera = camera;
    racing.viewCamera = camera;
    Moving(30.0f);
    render->SetGroupCamera(150, render->GetScreenCamera());

    const std::vector<CPSmartPtr<frametest::FakeSceneObject>> objects = {
        Box("floor.tga", {1, -40, -0.1f}, {120, 40, 0}),
        Box("pillar.tga", {8, -4, 0}, {9, -3, 4}),
        Box("pillar.tga", {14, 3, 0}, {15, 4, 5}),
        Box("pillar.tga", {30, -8, 0}, {32, -6, 7}),
        Box("lamp.tga", {12, -1.5f, 2.2f}, {13, 1.5f, 3.2f}),
    };
    for (int frame = 0; frame < 2; ++frame) {
        for (const auto& object : objects) render->GetRenderBlock()->AddObject(CPSmartPtr<IPSceneObject>(object.Get()));
        Frame();
    }

    const std::vector<D3DCOLOR> pixels = Read();
    std::vector<std::uint8_t> rgba;
    long drawn = 0;
    for (D3DCOLOR c : pixels) {
        rgba.push_back(static_cast<std::uint8_t>((c >> 16) & 0xFF));
        rgba.push_back(static_cast<std::uint8_t>((c >> 8) & 0xFF));
        rgba.push_back(static_cast<std::uint8_t>(c & 0xFF));
        rgba.push_back(255);
        drawn += (c & 0xFFFFFF) != 0;
    }
    EXPECT_GT(drawn, W * H / 4);
    std::filesystem::create_directories(KX_PICTURES_DIR);
    const std::filesystem::path file = std::filesystem::path(KX_PICTURES_DIR) / "post_effects.png";
    EXPECT_TRUE(kxtest::WritePng(file, W, H, rgba)) << file;
    std::printf("picture: %s\n", file.string().c_str());
}

} // namespace
