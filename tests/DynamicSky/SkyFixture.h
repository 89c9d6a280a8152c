#pragma once
// The sky's tests: a renderer started on the Recording device (so the sky device, the light
// list, ambient and fog are there) over a temporary game root, a race world that keeps a sun
// light record, and a writer of sky description files from a few numbers.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "DynamicSky/DynamicSky.h"
#include "Render/Frame/FrameFixture.h"

namespace skytest {

// A race world with a sun light record that the sky writes and hands to the light list.
class SunWorld : public frametest::FakeRaceWorld {
public:
    D3DLIGHT9* GetSunLight() override { return level ? &sun : nullptr; }
    void AddSunLight() override {
        ++sunAdded;
        if (level && GetRender()) GetRender()->AddLight(sun);
    }

    D3DLIGHT9 sun;
    int sunAdded = 0;
};

struct SkyLayerSpec {
    D3DXVECTOR3 axis{0.0f, 1.0f, 0.5f};
    float halfSize = 10.0f;
    float distance = 100.0f;
    float baseAngleDegrees = 0.0f;
    std::vector<std::string> textures{"data\\textures\\a.tga"};
};

struct SkyKeySpec {
    float duration = 10.0f;
    float alpha = 255.0f;
    float rotationDegrees = 0.0f;
    int overcastChannel = 3;
    std::vector<D3DXVECTOR3> stops{{10, 20, 30}, {100, 110, 120}};
    D3DXVECTOR3 sun{255, 255, 255};
    D3DXVECTOR3 ambient{50, 60, 70};
    D3DXVECTOR3 fog{100, 150, 200};
    float fogStart = 100.0f, fogEnd = 500.0f;
    int brighten = 0;
    // Per layer: angle in degrees, effect choice, scale, advance flag.
    std::vector<float> angles{90.0f};
    std::vector<int> effects{1};
    std::vector<float> scales{1.0f};
    std::vector<int> advance{0};
};

// The numbers of a sky description; Text() writes the file, counts as given (so a test can lie).
struct SkySpec {
    float timeScale = 4.0f;
    int startKeyframe = 0;
    float radius = 100.0f;
    float heightScale = -1.0f;
    int segments = 8;
    D3DXVECTOR3 centre{0, 0, 0};
    std::string sphereTexture = "data\\textures\\a.tga";
    std::string sphereEffect = "data\\effects\\sphere.fx";
    int stopCount = 2;
    int keyframeCount = -1; // -1: as many as given
    int layerCount = -1;    // -1: as many as given
    std::string effectA = "data\\effects\\layer_a.fx";
    std::string effectB = "data\\effects\\layer_b.fx";
    std::vector<std::string> cloudSets;
    int cloudSetCount = -1;
    std::string weather = "weather.txt";
    std::vector<SkyKeySpec> keys{SkyKeySpec(), SkyKeySpec()};
    std::vector<SkyLayerSpec> layers{SkyLayerSpec()};

    std::string Text() const;
};

struct PhaseSpec {
    float transition = 10.0f;
    float mean = 100.0f;
    float variation = 0.5f;
    std::string cloudSet = "set.txt";
    int hook = 0;
    int overcast = 0;
    float probability = 1.0f;
};
// The phase count row says count, or the number of phases given.
constexpr int kAsGiven = -2147483647 - 1;
std::string WeatherText(const std::vector<PhaseSpec>& phases, int count = kAsGiven);

// Every colour packed as the sphere and the renderer keep it.
D3DCOLOR Argb(int a, int r, int g, int b);

class SkyFixture : public frametest::RenderFixture {
protected:
    void SetUp() override;
    void TearDown() override;
    // Writes a file under Data/Clouds.
    void WriteCloudFile(const std::string& name, const std::string& text);
    // Writes the sky (and the default weather file unless one was written) and loads it.
    std::unique_ptr<CPDynamicSky> LoadSky(const SkySpec& spec, const std::string& name = "skyscape7.txt");
    // Device calls with that name since the last ClearCalls.
    std::size_t Count(const std::string& name) const { return Control()->CountCalls(name); }

    SunWorld sunWorld;
};

} // namespace skytest
