// The frame with a level, its race camera and the demo sky: the sky drawn between the sky
// matrices and the scene, depth cleared after it, fog, ambient and the sun handed over; and the
// renderer's sky loading through the maker.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "DynamicSky/SkyFixture.h"
#include "DynamicSky/SkyStartup.h"
#include "Platform/Math/D3DXMath.h"
#include "Render/PEffectCache.h"
#include "support/Near.h"
#include "support/TestDevices.h"

using namespace skytest;

namespace {

std::string ReadDemoFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

class SkyFrame : public SkyFixture {
protected:
    void SetUp() override {
        SkyFixture::SetUp();
        if (HasFatalFailure()) return;
        // The demo sky, its effects and pictures, copied from the demo game root.
        const std::filesystem::path demo = KX_DATA_DIR;
        for (const char* folder : {"Data/Clouds", "Data/Effects", "Data/Textures"}) {
            for (const auto& entry : std::filesystem::directory_iterator(demo / folder)) {
                const std::string name = entry.path().filename().string();
                if (std::string(folder) != "Data/Clouds" && name.rfind("sky", 0) != 0 && name.rfind("volume", 0) != 0 &&
                    name != "cloud.tga")
                    continue;
                root->Write(std::string(folder) + "/" + name, ReadDemoFile(entry.path()));
            }
        }
        InstallDynamicSky();
        camera = new CPPerspectiveCamera();
        camera->eye = D3DXVECTOR3(5, 6, 7);
        camera->target = D3DXVECTOR3(15, 6, 9);
        camera->up = D3DXVECTOR3(0, 0, 1);
        camera->fieldOfView = 1.0f;
        camera->nearDistance = 1.0f;
        camera->farDistance = 300.0f;
        camera->viewDirty = camera->projectionDirty = true;
        camera->Update();
        sunWorld.viewCamera = camera;
        sunWorld.farCamera = camera;
        g_currentViewCamera = camera.Get();
    }
    void TearDown() override {
        SetSkyMaker(nullptr);
        g_currentViewCamera = nullptr;
        SkyFixture::TearDown();
    }
    CPDynamicSky* Sky() const { return dynamic_cast<CPDynamicSky*>(render->GetSky()); }

    CPSmartPtr<CPPerspectiveCamera> camera;
};

std::size_t Find(const std::vector<Platform::RecordedCall>& calls, const std::string& text, std::size_t from = 0) {
    for (std::size_t i = from; i < calls.size(); ++i)
        if (calls[i].ToString() == text || calls[i].name == text) return i;
    return std::string::npos;
}

TEST_F(SkyFrame, TheDemoSkyIsDrawnBetweenTheSkyMatricesAndTheScene) {
    render->LoadSky(1);
    ASSERT_NE(Sky(), nullptr);
    ASSERT_TRUE(Sky()->IsLoaded());
    Control()->ClearCalls();
    Frame();
    const auto& calls = Control()->Calls();
    const std::size_t world = Find(calls, "SetTransform(256)");
    ASSERT_NE(world, std::string::npos);
    EXPECT_EQ(calls[world + 1].ToString(), "SetTransform(2)");
    EXPECT_EQ(calls[world + 2].ToString(), "SetTransform(3)");
    // The sky's draws: the sphere and the two layers (one pass each), then depth is cleared.
    std::vector<std::size_t> draws;
    for (std::size_t i = world; i < calls.size(); ++i)
        if (calls[i].name == "DrawIndexedPrimitive") draws.push_back(i);
    ASSERT_GE(draws.size(), 3u);
    const std::size_t clear = Find(calls, "Clear", world);
    ASSERT_NE(clear, std::string::npos);
    EXPECT_EQ(calls[clear].args[1], static_cast<std::int64_t>(D3DCLEAR_ZBUFFER));
    EXPECT_GT(clear, draws[2]);
    // Then the scene's transforms: the view camera's own.
    const std::size_t scene = Find(calls, "SetFVF", clear);
    ASSERT_NE(scene, std::string::npos);
    EXPECT_EQ(calls[scene + 1].ToString(), "SetTransform(256)");
    EXPECT_EQ(calls[scene + 2].ToString(), "SetTransform(2)");

    // Fog and ambient of the start keyframe; the sun is the renderer's sun light.
    EXPECT_EQ(render->fogColour, 0xFFAAC8EBu);
    DWORD v = 0;
    render->GetDevice()->GetRenderState(D3DRS_FOGSTART, &v);
    EXPECT_EQ(v, kxtest::FloatBits(250.0f));
    EXPECT_EQ(render->GetAmbientColour(), 0xFF50505Au);
    EXPECT_EQ(sunWorld.sunAdded, 1);
    EXPECT_FLOAT_EQ(render->GetSunLight().Diffuse.r, 255.0f / 256.0f);
    EXPECT_FLOAT_EQ(render->GetSunLight().Diffuse.g, 235.0f / 256.0f);
    EXPECT_FLOAT_EQ(render->GetSunLight().Direction.x, sunWorld.sun.Direction.x);
    // The sun stands above the horizon, so it shines downward.
    EXPECT_LT(sunWorld.sun.Direction.z, 0.0f);
}

TEST_F(SkyFrame, TheSunReachesTheSharedLightParameter) {
    CPSmartPtr<CPMaterial> shared = Material(17, "shared.fx,shared");
    CPEffectCache* cache = GetEffectCache();
    ASSERT_NE(cache, nullptr);
    ASSERT_NE(cache->GetSharedEffect(), nullptr);
    render->LoadSky(1);
    Frame();
    Frame(); // the shared values are set as a frame begins: the sun of the frame before
    D3DXVECTOR4 light;
    cache->GetSharedEffect()->GetD3DXEffect()->GetVector("g_vLight", &light);
    const D3DVECTOR& d = sunWorld.sun.Direction;
    EXPECT_TRUE(kxtest::Near(light, D3DXVECTOR4(d.x, d.y, d.z, 1.0f)));
}

TEST_F(SkyFrame, WithoutALevelOrCameraTheSkyIsNotDrawn) {
    render->LoadSky(1);
    sunWorld.level = false;
    Control()->ClearCalls();
    Frame();
    EXPECT_EQ(sunWorld.sunAdded, 0);
    EXPECT_EQ(Count("DrawIndexedPrimitive"), 0u);
}

TEST_F(SkyFrame, LoadSkyReplacesTheSkyAndNeedsAMaker) {
    const std::size_t listeners = IPDeviceListener::ListenerCount();
    render->LoadSky(1);
    const std::size_t withSky = IPDeviceListener::ListenerCount();
    EXPECT_GT(withSky, listeners);
    render->LoadSky(1);
    // The old sky and its sphere, layers and volume cloud are gone.
    EXPECT_EQ(IPDeviceListener::ListenerCount(), withSky);
    ASSERT_NE(Sky(), nullptr);
    EXPECT_TRUE(Sky()->IsLoaded());
    // A level without its sky file gets an empty sky that draws nothing.
    render->LoadSky(2);
    ASSERT_NE(Sky(), nullptr);
    EXPECT_FALSE(Sky()->IsLoaded());
    Control()->ClearCalls();
    Frame();
    EXPECT_EQ(sunWorld.sunAdded, 0);
    // No maker, no sky.
    SetSkyMaker(nullptr);
    render->LoadSky(1);
    EXPECT_EQ(render->GetSky(), nullptr);
    EXPECT_EQ(IPDeviceListener::ListenerCount(), listeners);
    Frame();
}

TEST_F(SkyFrame, StoppingTheRendererReleasesTheSkyBeforeTheDevice) {
    const std::size_t listeners = IPDeviceListener::ListenerCount();
    render->LoadSky(1);
    ASSERT_GT(IPDeviceListener::ListenerCount(), listeners);
    render->Stop();
    EXPECT_EQ(render->GetSky(), nullptr);
    EXPECT_EQ(IPDeviceListener::ListenerCount(), listeners);
    EXPECT_EQ(g_skyDevice, nullptr);
}

TEST_F(SkyFrame, EveryDemoSkyFileLoadsWithoutFallingBack) {
    render->LoadSky(1);
    CPDynamicSky* sky = Sky();
    ASSERT_NE(sky, nullptr);
    EXPECT_GE(sky->GetKeyframes().size(), 2u);
    EXPECT_GE(sky->GetStopCount(), 2);
    ASSERT_GE(sky->GetLayers().size(), 2u);
    EXPECT_GE(sky->GetPhases().size(), 2u);
    EXPECT_GE(sky->GetCloudSets().size(), 2u);
    EXPECT_FALSE(sky->GetSourceVertices().empty());
    EXPECT_NE(sky->GetTexture(), nullptr);
    EXPECT_NE(sky->GetEffect(), nullptr);
    EXPECT_NE(sky->GetLightEffect(), nullptr);
    EXPECT_NE(sky->GetVolumeCloud().GetTexture(), nullptr);
    EXPECT_NE(sky->GetVolumeCloud().GetEffect(), nullptr);
    for (SkyLayer* layer : sky->GetLayers()) {
        EXPECT_NE(layer->GetEffect(), nullptr);
        for (std::size_t i = 0; i < layer->GetTexturePaths().size(); ++i) {
            EXPECT_NE(layer->GetTexture(), nullptr) << layer->GetTexturePaths()[i];
            layer->NextTexture();
        }
    }
    // Both effects of the layers load.
    for (int choice : {0, 1}) EXPECT_EQ(sky->GetLayers()[0]->SelectEffect(choice), D3D_OK);
    for (const auto& entry : sky->GetCloudSets()) {
        EXPECT_FALSE(entry.second->items.empty()) << entry.first;
        for (CloudItem* item : entry.second->items) EXPECT_FALSE(item->puffs.empty()) << entry.first;
    }
    // The sets the phases name are all there.
    for (const WeatherPhase& phase : sky->GetPhases()) EXPECT_EQ(sky->GetCloudSets().count(phase.cloudSet), 1u);
    EXPECT_TRUE(logLines.empty()) << logLines.front();
}

} // namespace
