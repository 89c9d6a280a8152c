// The sky on the OpenGL device offscreen (Mesa's llvmpipe where there is no GPU): the demo
// effects build their first technique, and the sphere shows its gradient's stop colours at the
// top and at the horizon. Skipped where OpenGL 4.5 cannot run.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "DynamicSky/SkyFixture.h"
#include "DynamicSky/SkyStartup.h"
#include "Framework/PSettings.h"
#include "Platform/Math/D3DXMath.h"
#include "support/TestDevices.h"

// The picture of the demo sky is written as a PNG (a static copy of the writer).
#define STB_IMAGE_WRITE_STATIC
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb/stb_image_write.h>

using namespace skytest;

namespace {

constexpr int W = 64, H = 48;

std::string ReadDemoFile(const std::string& relative) {
    std::ifstream in(std::filesystem::path(KX_DATA_DIR) / relative, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

class SkyPixels : public SkyFixture {
protected:
    void SetUp() override {
        frametest::RenderFixture::SetUp();
        SetRaceWorld(&sunWorld);
        g_screenWidth = width;
        g_screenHeight = height;
        IDirect3D9* probe = kxtest::OffscreenOpenGLDirect3D();
        if (!probe) GTEST_SKIP() << "no OpenGL 4.5 here";
        probe->Release();
        for (const char* file :
             {"Data/Effects/sky_sphere.fx", "Data/Effects/sky_layer_a.fx", "Data/Effects/sky_layer_b.fx",
              "Data/Effects/skyscape_light.fx", "Data/Effects/volume_cloud.fx", "Data/Textures/sky_sphere.tga"})
            root->Write(file, ReadDemoFile(file));
        ASSERT_TRUE(StartRendererOnOpenGL());
        sunWorld.level = true;
    }
    void TearDown() override {
        if (backBuffer) backBuffer->Release();
        backBuffer = nullptr;
        g_currentViewCamera = nullptr;
        SkyFixture::TearDown();
    }
    std::vector<D3DCOLOR> Read() {
        IDirect3DDevice9* d = render->GetDevice();
        if (!backBuffer) d->GetRenderTarget(0, &backBuffer);
        std::vector<D3DCOLOR> pixels(static_cast<std::size_t>(width * height));
        EXPECT_EQ(d->ReadRenderTarget(backBuffer, pixels.data(), static_cast<UINT>(pixels.size())), D3D_OK);
        return pixels;
    }
    void Look(const D3DXVECTOR3& direction, const D3DXVECTOR3& up) {
        camera = new CPPerspectiveCamera();
        camera->eye = D3DXVECTOR3(0, 0, 0);
        camera->target = direction;
        camera->up = up;
        camera->fieldOfView = 0.5f;
        camera->nearDistance = 1.0f;
        camera->farDistance = 100.0f;
        camera->viewDirty = camera->projectionDirty = true;
        camera->Update();
        sunWorld.farCamera = camera;
        sunWorld.viewCamera = camera;
    }
    static bool Close(D3DCOLOR c, int r, int g, int b, int tolerance) {
        return std::abs(static_cast<int>((c >> 16) & 0xFF) - r) <= tolerance &&
               std::abs(static_cast<int>((c >> 8) & 0xFF) - g) <= tolerance &&
               std::abs(static_cast<int>(c & 0xFF) - b) <= tolerance;
    }

    int width = W, height = H;
    IDirect3DSurface9* backBuffer = nullptr;
    CPSmartPtr<CPPerspectiveCamera> camera;
};

class DemoSkyPicture : public SkyPixels {
protected:
    DemoSkyPicture() {
        width = 320;
        height = 240;
    }
};

TEST_F(SkyPixels, DemoEffectsBuildTheirFirstTechnique) {
    for (const char* file :
         {"sky_sphere.fx", "sky_layer_a.fx", "sky_layer_b.fx", "skyscape_light.fx", "volume_cloud.fx"}) {
        const std::string text = ReadDemoFile(std::string("Data/Effects/") + file);
        ID3DXEffect* effect = nullptr;
        ASSERT_EQ(D3DXCreateEffect(render->GetDevice(), text.data(), static_cast<UINT>(text.size()), nullptr, nullptr,
                                   0, nullptr, &effect, nullptr),
                  D3D_OK)
            << file;
        D3DXHANDLE first = nullptr;
        EXPECT_EQ(effect->FindNextValidTechnique(nullptr, &first), D3D_OK) << file;
        EXPECT_EQ(first, effect->GetTechnique(0)) << file;
        effect->Release();
    }
}

TEST_F(SkyPixels, TheSphereShowsItsStopColoursAtTopAndHorizon) {
    // Two stops, 64 segments: 16 rows from the zenith (stop 0) down to the horizon (stop 1).
    SkySpec spec;
    spec.radius = 500.0f;
    spec.heightScale = -1.0f;
    spec.segments = 64;
    spec.sphereTexture = "data\\textures\\sky_sphere.tga";
    spec.sphereEffect = "data\\effects\\sky_sphere.fx";
    spec.layers.clear();
    for (SkyKeySpec& k : spec.keys) {
        k.stops = {{20, 40, 200}, {200, 120, 40}};
        k.angles.clear();
        k.effects.clear();
        k.scales.clear();
        k.advance.clear();
    }
    auto sky = LoadSky(spec);
    ASSERT_TRUE(sky->IsLoaded());
    render->SetSky(std::move(sky));

    Look(D3DXVECTOR3(0, 0, 1), D3DXVECTOR3(1, 0, 0));
    Frame();
    const D3DCOLOR top = Read()[static_cast<std::size_t>(H / 2 * W + W / 2)];
    // The zenith row is stop 0 one step on (a sixteenth of the way).
    EXPECT_TRUE(Close(top, 31, 45, 190, 12)) << std::hex << top;

    Look(D3DXVECTOR3(1, 0, 0), D3DXVECTOR3(0, 0, 1));
    Frame();
    const auto pixels = Read();
    // Just above the horizon: stop 1.
    const D3DCOLOR horizon = pixels[static_cast<std::size_t>((H / 2 - 3) * W + W / 2)];
    EXPECT_TRUE(Close(horizon, 200, 120, 40, 16)) << std::hex << horizon;
    // Higher up the colour turns toward stop 0.
    const D3DCOLOR higher = pixels[2 * W + W / 2];
    EXPECT_LT((higher >> 16) & 0xFF, (horizon >> 16) & 0xFF) << std::hex << higher;
    EXPECT_GT(higher & 0xFF, horizon & 0xFF) << std::hex << higher;
}

// The demo sky as a level shows it, looking toward the sun, saved for a person to look at.
TEST_F(DemoSkyPicture, DemoSkyIsDrawnAndSaved) {
    for (const char* folder : {"Data/Clouds", "Data/Textures"}) {
        for (const auto& entry : std::filesystem::directory_iterator(std::filesystem::path(KX_DATA_DIR) / folder)) {
            const std::string relative = std::string(folder) + "/" + entry.path().filename().string();
            root->Write(relative, ReadDemoFile(relative));
        }
    }
    InstallDynamicSky();
    render->LoadSky(1);
    auto* sky = dynamic_cast<CPDynamicSky*>(render->GetSky());
    ASSERT_NE(sky, nullptr);
    ASSERT_TRUE(sky->IsLoaded());
    // Toward the sun.
    const D3DXVECTOR3 toSun = sky->GetLayers()[0]->worldPosition;
    Look(toSun, D3DXVECTOR3(0, 0, 1));
    camera->fieldOfView = 1.2f;
    camera->projectionDirty = true;
    camera->Update();
    Frame();
    Frame();
    const auto pixels = Read();
    SetSkyMaker(nullptr);
    // The sky covers the picture: no pixel keeps the cleared black, and the sun is there.
    int black = 0, bright = 0;
    std::vector<std::uint8_t> rgba;
    rgba.reserve(pixels.size() * 4);
    for (D3DCOLOR c : pixels) {
        const int r = static_cast<int>((c >> 16) & 0xFF), g = static_cast<int>((c >> 8) & 0xFF),
                  b = static_cast<int>(c & 0xFF);
        black += r + g + b == 0;
        bright += r > 240 && g > 220;
        rgba.insert(rgba.end(),
                    {static_cast<std::uint8_t>(r), static_cast<std::uint8_t>(g), static_cast<std::uint8_t>(b), 255});
    }
    EXPECT_EQ(black, 0);
    EXPECT_GT(bright, 0);
    const std::string file = std::string(KX_SKY_PICTURE_DIR) + "/demo_sky.png";
    EXPECT_NE(stbi_write_png(file.c_str(), width, height, 4, rgba.data(), width * 4), 0) << file;
}

} // namespace
