// The sky's update: the sphere it builds, the keyframe rates, the values it hands to the
// renderer, the overcast tint and the weather cycle, with the step the game uses (0) and others.
#include <gtest/gtest.h>

#include <cmath>
#include <set>

#include "DynamicSky/SkyFixture.h"
#include "Platform/Math/D3DXMath.h"
#include "Platform/System/Random.h"
#include "support/Near.h"
#include "support/TestDevices.h"

using namespace skytest;

namespace {

constexpr float kDegrees = 0.017453292f;

class SkyUpdate : public SkyFixture {
protected:
    // A sky with two layers and the given phases.
    std::unique_ptr<CPDynamicSky> SkyWithPhases(const std::vector<PhaseSpec>& phases, SkySpec spec = SkySpec()) {
        WriteCloudFile("weather.txt", WeatherText(phases));
        return LoadSky(spec);
    }
    static SkySpec TwoLayers() {
        SkySpec spec;
        spec.layers = {SkyLayerSpec(), SkyLayerSpec()};
        for (SkyKeySpec& k : spec.keys) {
            k.angles = {90.0f, 120.0f};
            k.effects = {1, 0};
            k.scales = {1.0f, 2.0f};
            k.advance = {0, 0};
        }
        return spec;
    }
    DWORD State(D3DRENDERSTATETYPE state) const {
        DWORD v = 0;
        render->GetDevice()->GetRenderState(state, &v);
        return v;
    }
};

TEST_F(SkyUpdate, SphereOfEightSegments) {
    CPDynamicSky sky;
    const D3DXVECTOR3 centre(0, 0, 0);
    sky.BuildSphere(10.0f, 8, 1.0f, centre);
    const std::vector<SPVertex>& v = sky.GetSourceVertices();
    ASSERT_EQ(v.size(), 5u * 9u); // (n / 2 + 1) rows of n + 1
    ASSERT_EQ(sky.GetIndices().size(), 3u * 8u * 8u);
    // Row 0 is the pole below, the last row the pole above.
    for (int j = 0; j <= 8; ++j) {
        EXPECT_TRUE(kxtest::Near(D3DXVECTOR3(v[j].x, v[j].y, v[j].z), D3DXVECTOR3(0, 0, -10), 1e-4f)) << j;
        EXPECT_TRUE(kxtest::Near(D3DXVECTOR3(v[36 + j].x, v[36 + j].y, v[36 + j].z), D3DXVECTOR3(0, 0, 10), 1e-4f));
    }
    // The horizon row: on the circle, u from 0 to 2, v 0.
    const SPVertex& h = v[2 * 9 + 2];
    EXPECT_NEAR(h.x, 0.0f, 1e-4f);
    EXPECT_NEAR(h.y, 10.0f, 1e-4f);
    EXPECT_NEAR(h.z, 0.0f, 1e-4f);
    EXPECT_FLOAT_EQ(h.tu, 0.5f);
    EXPECT_FLOAT_EQ(h.tv, 0.0f);
    EXPECT_FLOAT_EQ(v[8].tu, 2.0f);
    EXPECT_FLOAT_EQ(v[0].tv, -2.0f / 3.0f * 1.5f);
    for (const SPVertex& s : v) {
        // Normals point inward.
        EXPECT_NEAR(s.nx * s.x + s.ny * s.y + s.nz * s.z, -10.0f, 1e-3f);
        EXPECT_EQ(s.diffuse, 0x80FFFFFFu);
    }
    // The first band's two triangles.
    const std::vector<std::uint16_t> first(sky.GetIndices().begin(), sky.GetIndices().begin() + 6);
    EXPECT_EQ(first, (std::vector<std::uint16_t>{0, 9, 10, 0, 10, 1}));
    EXPECT_EQ(sky.GetIndices().back(), 35); // last band, k = 7: d + 1 = 7 + 3 * 9 + 1
}

TEST_F(SkyUpdate, SphereGuards) {
    const struct {
        int n;
        std::size_t vertices;
    } cases[] = {{0, 0}, {-8, 0}, {4, 3u * 5u}, {400, 0}, {2000000000, 0}};
    for (const auto& c : cases) {
        CPDynamicSky sky;
        logLines.clear();
        sky.BuildSphere(10.0f, c.n, 1.0f, D3DXVECTOR3(0, 0, 0));
        EXPECT_EQ(sky.GetSourceVertices().size(), c.vertices) << c.n;
        if (c.n >= 400) {
            EXPECT_FALSE(logLines.empty()) << c.n;
        }
    }
}

TEST_F(SkyUpdate, ASegmentCountAtTheIntegerLimitDrawsNoSphere) {
    for (int n : {2147483647, -2147483647 - 1, 401}) {
        SkySpec spec;
        spec.segments = n;
        auto sky = LoadSky(spec);
        ASSERT_TRUE(sky->IsLoaded()) << n;
        EXPECT_TRUE(sky->GetSourceVertices().empty()) << n;
        Control()->ClearCalls();
        sky->Update(0.016f);
        sky->Advance(0.0f, 1.0f);
        // Only the layer draws (two passes of effect B, twice).
        EXPECT_EQ(Count("DrawIndexedPrimitive"), 4u) << n;
    }
}

TEST_F(SkyUpdate, KeyframeRatesAndLayerChoices) {
    SkySpec spec = TwoLayers();
    spec.layers[1].textures = {"data\\textures\\a.tga", "data\\textures\\b.tga", "data\\textures\\c.tga"};
    spec.keys[0].duration = 10.0f;
    spec.keys[0].stops = {{10, 20, 30}, {100, 110, 120}};
    spec.keys[1].stops = {{30, 20, 0}, {100, 110, 220}};
    spec.keys[0].sun = D3DXVECTOR3(100, 100, 100);
    spec.keys[1].sun = D3DXVECTOR3(200, 50, 100);
    spec.keys[0].alpha = 100.0f;
    spec.keys[1].alpha = 200.0f;
    spec.keys[1].fogEnd = 900.0f;
    spec.keys[1].scales = {3.0f, 2.0f};
    spec.keys[1].effects = {0, 5};
    spec.keys[1].advance = {0, 1};
    auto sky = LoadSky(spec);
    const SkyKeyframe& r = sky->GetRates();
    EXPECT_TRUE(kxtest::Near(r.stops[0], D3DXVECTOR3(2, 0, -3)));
    EXPECT_TRUE(kxtest::Near(r.stops[1], D3DXVECTOR3(0, 0, 10)));
    EXPECT_TRUE(kxtest::Near(r.sun, D3DXVECTOR3(10, -5, 0)));
    EXPECT_FLOAT_EQ(r.alpha, 10.0f);
    EXPECT_FLOAT_EQ(r.fogEnd, 40.0f);
    EXPECT_FLOAT_EQ(r.layerScales[0], 0.2f);
    EXPECT_NEAR(r.layerAngles[0], 0.0f, 1e-6f);
    // Keyframe 0: layer 0 uses effect B, layer 1 effect A; no texture advance.
    EXPECT_EQ(sky->GetLayers()[0]->GetEffectChoice(), 1);
    EXPECT_EQ(sky->GetLayers()[1]->GetEffectChoice(), 0);
    EXPECT_EQ(sky->GetLayers()[1]->GetTextureIndex(), 0);

    // With a step the keyframe runs out and the next one begins: choices and the texture advance.
    sky->Advance(0.0f, 10.5f);
    EXPECT_EQ(sky->GetKeyframeIndex(), 1);
    EXPECT_EQ(sky->GetLayers()[0]->GetEffectChoice(), 0);
    EXPECT_EQ(sky->GetLayers()[1]->GetEffectChoice(), 5);
    UINT passes = 0;
    ASSERT_NE(sky->GetLayers()[1]->GetEffect(), nullptr);
    sky->GetLayers()[1]->GetEffect()->Begin(&passes, 0);
    sky->GetLayers()[1]->GetEffect()->End();
    EXPECT_EQ(passes, 2u); // any choice but 0 is effect B (two passes)
    EXPECT_EQ(sky->GetLayers()[1]->GetTextureIndex(), 1);
}

TEST_F(SkyUpdate, TheLastKeyframeWrapsItsAnglesByAFullTurn) {
    SkySpec spec;
    spec.startKeyframe = 1;
    spec.keys[0].angles = {30.0f};
    spec.keys[1].angles = {330.0f};
    spec.keys[1].duration = 5.0f;
    auto sky = LoadSky(spec);
    EXPECT_NEAR(sky->GetCurrent().layerAngles[0], 330.0f * kDegrees - 6.2831855f, 1e-5f);
    // Onward to 30 degrees: 60 degrees over 5 seconds, the same way round.
    EXPECT_NEAR(sky->GetRates().layerAngles[0], 60.0f * kDegrees / 5.0f, 1e-5f);
}

TEST_F(SkyUpdate, StepZeroRestsWhileTheWeatherClockRuns) {
    SkySpec spec;
    spec.keys[1].stops = {{110, 120, 130}, {100, 110, 120}};
    auto sky = SkyWithPhases({PhaseSpec(), PhaseSpec()}, spec);
    const SkyKeyframe before = sky->GetCurrent();
    for (int i = 0; i < 10; ++i) sky->Update(0.5f);
    EXPECT_TRUE(kxtest::Near(sky->GetCurrent().stops[0], before.stops[0]));
    EXPECT_FLOAT_EQ(sky->GetKeyframeTimer(), 0.0f);
    EXPECT_FLOAT_EQ(sky->GetRamp(), 0.0f);
    EXPECT_EQ(sky->GetKeyframeIndex(), 0);
    EXPECT_FLOAT_EQ(sky->GetPhaseTimer(), 10 * 0.5f * 4.0f); // frame time x time scale

    // A step moves every value by its rate.
    sky->Advance(0.0f, 2.0f);
    EXPECT_TRUE(kxtest::Near(sky->GetCurrent().stops[0], D3DXVECTOR3(30, 40, 50), 1e-4f));
    EXPECT_FLOAT_EQ(sky->GetKeyframeTimer(), 2.0f);
}

TEST_F(SkyUpdate, NegativeDurationIsLeftOnTheNextUpdateAndZeroDurationHasNoRates) {
    SkySpec spec;
    spec.keys[0].duration = -1.0f;
    auto sky = LoadSky(spec);
    sky->Update(0.0f);
    EXPECT_EQ(sky->GetKeyframeIndex(), 1);
    SkySpec still;
    still.keys[0].duration = 0.0f;
    still.keys[1].stops = {{200, 200, 200}, {0, 0, 0}};
    auto zero = LoadSky(still, "skyscape2.txt");
    EXPECT_TRUE(kxtest::Near(zero->GetRates().stops[0], D3DXVECTOR3(0, 0, 0)));
    EXPECT_FLOAT_EQ(zero->GetRates().layerAngles[0], 0.0f);
    EXPECT_TRUE(std::isfinite(zero->GetRates().sun.x));
}

TEST_F(SkyUpdate, OvercastTargetsFromTheChosenChannel) {
    const struct {
        float component;
        float grey;
    } cases[] = {{20, 0}, {21, 1}, {0, 0}, {255, 235}};
    for (const auto& c : cases) {
        SkySpec spec;
        spec.keys[0].overcastChannel = 3; // blue
        spec.keys[0].stops = {{7, 8, c.component}, {1, 2, 3}};
        spec.keys[0].fog = D3DXVECTOR3(c.component, 0, 0);
        spec.keys[0].overcastChannel = 3;
        PhaseSpec overcast;
        overcast.overcast = 1;
        auto sky = SkyWithPhases({overcast}, spec);
        sky->Update(0.0f);
        EXPECT_TRUE(kxtest::Near(sky->GetOvercastTargets().stops[0], D3DXVECTOR3(c.grey, c.grey, c.component)))
            << c.component;
        // The fog's blue channel is 0: its target is black.
        EXPECT_TRUE(kxtest::Near(sky->GetOvercastTargets().fog, D3DXVECTOR3(0, 0, 0)));
    }
    // Red as the channel.
    SkySpec red;
    red.keys[0].overcastChannel = 1;
    red.keys[0].stops = {{50, 8, 9}, {1, 2, 3}};
    PhaseSpec overcast;
    overcast.overcast = 1;
    auto sky = SkyWithPhases({overcast}, red);
    sky->Update(0.0f);
    EXPECT_TRUE(kxtest::Near(sky->GetOvercastTargets().stops[0], D3DXVECTOR3(30, 30, 50)));
}

TEST_F(SkyUpdate, ColoursAreClampedToTheByteRange) {
    SkySpec spec;
    spec.keys[0].brighten = 1;
    spec.keys[0].sun = D3DXVECTOR3(300, 10, 100);
    spec.keys[1].sun = D3DXVECTOR3(0, -1000, 100);
    spec.keys[0].alpha = 250.0f;
    spec.keys[1].alpha = 400.0f;
    auto sky = LoadSky(spec);
    sky->Advance(0.0f, 1.0f);
    EXPECT_TRUE(kxtest::Near(sky->GetCurrent().sun, D3DXVECTOR3(255, 0, 190)));
    EXPECT_FLOAT_EQ(sky->GetCurrent().alpha, 255.0f);
}

TEST_F(SkyUpdate, SunLightBytesAndTheLightList) {
    const struct {
        float value;
        float expected;
    } cases[] = {{1.0f, 255.0f / 256.0f}, {2.0f, 255.0f / 256.0f}, {0.5f, 128.0f / 256.0f}, {0.0f, 0.0f},
                 {-1.0f, 0.0f},           {0.001f, 0.0f},          {0.002f, 1.0f / 256.0f}};
    for (const auto& c : cases) {
        Control()->ClearCalls();
        SetSkySunLight(D3DXVECTOR3(0, 0, -2), c.value, 1.0f, 0.0f, 1.0f);
        const D3DLIGHT9& sun = sunWorld.sun;
        EXPECT_FLOAT_EQ(sun.Diffuse.r, c.expected) << c.value;
        EXPECT_FLOAT_EQ(sun.Specular.r, c.expected) << c.value;
        EXPECT_FLOAT_EQ(sun.Diffuse.g, 0.99609375f);
        EXPECT_FLOAT_EQ(sun.Diffuse.b, 0.0f);
        EXPECT_FLOAT_EQ(sun.Diffuse.a, 0.0f);
        EXPECT_FLOAT_EQ(sun.Direction.z, -1.0f);
        // Into the list and up to the device at once: the renderer keeps it as its sun.
        EXPECT_EQ(Count("SetLight"), 1u);
        EXPECT_FLOAT_EQ(render->GetSunLight().Diffuse.r, c.expected);
    }
    // Without a level there is no record to write; the renderer still uploads its list.
    sunWorld.level = false;
    sunWorld.sun.Diffuse.r = 0.25f;
    SetSkySunLight(D3DXVECTOR3(1, 0, 0), 1, 1, 1, 1);
    EXPECT_FLOAT_EQ(sunWorld.sun.Diffuse.r, 0.25f);
}

TEST_F(SkyUpdate, AmbientAndFogPacking) {
    SetSkyAmbient(300.7f, 128.9f, 1.2f);
    EXPECT_EQ(render->GetAmbientColour(), 0xFF2C8001u); // 300 keeps its low 8 bits
    EXPECT_TRUE(kxtest::Near(render->GetAmbientVector(), D3DXVECTOR4(300.7f / 255, 128.9f / 255, 1.2f / 255, 1)));
    EXPECT_EQ(State(D3DRS_AMBIENT), 0xFF2C8001u);
    SetSkyFog(10.5f, 20.0f, 30.9f, 100.0f, 500.0f);
    EXPECT_EQ(render->fogColour, 0xFF0A141Eu);
    EXPECT_EQ(State(D3DRS_FOGCOLOR), 0xFF0A141Eu);
    EXPECT_EQ(State(D3DRS_FOGSTART), kxtest::FloatBits(100.0f));
    EXPECT_EQ(State(D3DRS_FOGEND), kxtest::FloatBits(500.0f));
    // Values no conversion may meet.
    SetSkyAmbient(std::nanf(""), 1e30f, -1e30f);
    SetSkyFog(std::nanf(""), 1e30f, -5.0f, 0.0f, 1.0f);
    EXPECT_EQ(render->fogColour >> 24, 0xFFu);
}

TEST_F(SkyUpdate, TheUpdateHandsOverAndDraws) {
    SkySpec spec = TwoLayers();
    spec.keys[0].ambient = D3DXVECTOR3(50, 60, 70);
    spec.keys[0].fog = D3DXVECTOR3(100, 150, 200);
    spec.keys[0].sun = D3DXVECTOR3(255, 128, 0);
    spec.keys[0].alpha = 200.0f;
    auto sky = LoadSky(spec);
    Control()->ClearCalls();
    sky->Update(0.016f);
    EXPECT_EQ(render->GetAmbientColour(), 0xFF323C46u);
    EXPECT_EQ(render->fogColour, 0xFF6496C8u);
    EXPECT_FLOAT_EQ(sunWorld.sun.Diffuse.r, 255.0f / 256.0f);
    EXPECT_FLOAT_EQ(sunWorld.sun.Diffuse.g, 128.0f / 256.0f);
    // The sun shines from layer 0 toward the centre.
    D3DXVECTOR3 toCentre = -sky->GetLayers()[0]->worldPosition;
    D3DXVec3Normalize(&toCentre, &toCentre);
    EXPECT_TRUE(kxtest::Near(D3DXVECTOR3(sunWorld.sun.Direction.x, sunWorld.sun.Direction.y, sunWorld.sun.Direction.z),
                             toCentre, 1e-5f));
    // Sphere (one pass) and two layers (B: two passes, A: one), then the depth clear last.
    EXPECT_EQ(Count("DrawIndexedPrimitive"), 4u);
    const auto names = CallNames();
    std::size_t lastDraw = 0, clear = 0;
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (names[i] == "DrawIndexedPrimitive") lastDraw = i;
        if (names[i] == "Clear") clear = i;
    }
    EXPECT_GT(clear, lastDraw);
    const auto clears = CallsNamed("Clear");
    ASSERT_EQ(clears.size(), 1u);
    EXPECT_EQ(clears[0].args[1], static_cast<std::int64_t>(D3DCLEAR_ZBUFFER));
    // The gradient: the sphere's rows carry the alpha and the running colour.
    const std::vector<SPVertex>& v = sky->GetDrawnVertices();
    EXPECT_EQ(v[0].diffuse >> 24, 200u);
    EXPECT_EQ(v.back().diffuse, 0x80FFFFFFu); // above the gradient rows
}

TEST_F(SkyUpdate, GradientRowsRunFromStopToStop) {
    SkySpec spec;
    spec.segments = 16; // 9 rows; 4 rows per segment with 2 stops
    spec.keys[0].stops = {{0, 0, 0}, {40, 80, 120}};
    auto sky = LoadSky(spec);
    sky->Update(0.0f);
    const std::vector<SPVertex>& v = sky->GetSourceVertices();
    const int width = 17;
    // Row r gets stop 0 + (r + 1) steps; the gradient covers rows 0 to 4.
    for (int row = 0; row <= 4; ++row) {
        const int k = row + 1;
        EXPECT_EQ(v[static_cast<std::size_t>(row * width)].diffuse, Argb(255, 10 * k, 20 * k, 30 * k)) << row;
        EXPECT_EQ(v[static_cast<std::size_t>(row * width + 16)].diffuse, Argb(255, 10 * k, 20 * k, 30 * k));
    }
    EXPECT_EQ(v[5u * width].diffuse, 0x80FFFFFFu);
}

TEST_F(SkyUpdate, LayerAlphasFollowTheOvercastRamp) {
    PhaseSpec overcast;
    overcast.overcast = 1;
    overcast.transition = 10.0f;
    const struct {
        float step;
        D3DCOLOR first, others;
    } cases[] = {{0.0f, 255, 255}, {5.0f, 155, 127}, {10.0f, 55, 0}, {20.0f, 55, 0}};
    for (const auto& c : cases) {
        auto sky = SkyWithPhases({overcast}, TwoLayers());
        sky->Advance(0.0f, c.step);
        EXPECT_EQ(sky->GetLayers()[0]->GetDrawnVertices()[0].diffuse, (c.first << 24) | 0x14u) << c.step;
        EXPECT_EQ(sky->GetLayers()[1]->GetDrawnVertices()[3].diffuse, (c.others << 24) | 0x14u) << c.step;
    }
    // Without the overcast flag the layers keep their colour.
    auto clear = SkyWithPhases({PhaseSpec()}, TwoLayers());
    clear->Advance(0.0f, 5.0f);
    EXPECT_EQ(clear->GetLayers()[1]->GetDrawnVertices()[0].diffuse, 0xFF000014u);
}

TEST_F(SkyUpdate, OvercastRampTintsFogAmbientAndSun) {
    PhaseSpec overcast;
    overcast.overcast = 1;
    overcast.transition = 10.0f;
    SkySpec spec;
    spec.keys[0].overcastChannel = 3;
    spec.keys[0].fog = D3DXVECTOR3(100, 100, 200);
    spec.keys[0].ambient = D3DXVECTOR3(0, 0, 100);
    spec.keys[1] = spec.keys[0];
    auto sky = SkyWithPhases({overcast}, spec);
    sky->Advance(0.0f, 5.0f); // half-way: fog (100, 100, 200) toward (180, 180, 200)
    EXPECT_EQ(render->fogColour, 0xFF8C8CC8u);
    EXPECT_EQ(render->GetAmbientColour(), 0xFF282864u); // (0, 0, 100) toward (80, 80, 100)
}

TEST_F(SkyUpdate, PhaseDurationFormulaWithTheEngineGenerator) {
    const struct {
        float mean, variation;
        bool random;
    } cases[] = {{100, 0.5f, true}, {10, 0.1f, true}, {100, 0.0f, false}, {1, 0.04f, false}, {-10, 0.5f, false}};
    for (const auto& c : cases) {
        PhaseSpec p;
        p.mean = c.mean;
        p.variation = c.variation;
        Platform::EngineSeed(77);
        auto sky = SkyWithPhases({p});
        Platform::EngineRandom expected(77);
        float want = c.mean - c.mean * c.variation;
        if (c.random) want += 0.1f * static_cast<float>(expected.Next() % static_cast<int>(c.mean * c.variation * 20));
        EXPECT_FLOAT_EQ(sky->GetPhaseDuration(), want) << c.mean << " " << c.variation;
        // Without a random part the generator is not drawn from.
        if (!c.random) {
            EXPECT_EQ(Platform::Random().State(), 77u);
        }
    }
}

TEST_F(SkyUpdate, PhasesChangeByProbabilityNeverToTheSameOne) {
    WriteCloudFile("a.txt", "offset 0 0 0\nk 0\nk 0\nk 0 0 0\nk 0\nitems 0\n");
    WriteCloudFile("b.txt", "offset 0 0 0\nk 0\nk 0\nk 0 0 0\nk 0\nitems 0\n");
    PhaseSpec a, b, never;
    a.cloudSet = "a.txt";
    b.cloudSet = "b.txt";
    never.cloudSet = "a.txt";
    never.probability = 0.0f;
    a.mean = b.mean = never.mean = 1.0f;
    a.variation = b.variation = never.variation = 0.0f;
    SkySpec spec;
    spec.cloudSets = {"a.txt", "b.txt"};
    Platform::EngineSeed(5);
    auto sky = SkyWithPhases({a, b, never}, spec);
    std::vector<int> visited;
    for (int i = 0; i < 50; ++i) {
        const int before = sky->GetPhaseIndex();
        sky->Update(0.3f); // 1.2 s of weather time: past the 1 s duration
        EXPECT_NE(sky->GetPhaseIndex(), before) << i;
        EXPECT_NE(sky->GetPhaseIndex(), 2) << i;
        EXPECT_FLOAT_EQ(sky->GetPhaseTimer(), 0.0f);
        EXPECT_TRUE(sky->IsRampRising());
        visited.push_back(sky->GetPhaseIndex());
    }
    // Alternating between the two sets: the shown one active, the other fading.
    CloudSet* setA = sky->GetCloudSets().at("a.txt");
    CloudSet* setB = sky->GetCloudSets().at("b.txt");
    const bool onA = sky->GetPhaseIndex() == 0;
    EXPECT_EQ(sky->GetShownCloudSet(), onA ? setA : setB);
    EXPECT_EQ(sky->GetFadingCloudSet(), onA ? setB : setA);
    EXPECT_TRUE(sky->GetShownCloudSet()->active);
    EXPECT_TRUE(sky->GetFadingCloudSet()->fading);
    EXPECT_EQ(sky->GetActiveCloudSets().size(), 2u);
    EXPECT_EQ(sky->GetHookCalls(), 0);
}

TEST_F(SkyUpdate, TheRampFallsInThePhasesLastTransitionSeconds) {
    PhaseSpec p, q;
    p.mean = 100.0f;
    p.variation = 0.0f;
    p.transition = 10.0f;
    auto sky = SkyWithPhases({p, q});
    sky->Update(89.0f / 4.0f);
    EXPECT_TRUE(sky->IsRampRising());
    sky->Update(2.0f / 4.0f); // 91 s: 9 s left, within the transition
    EXPECT_FALSE(sky->IsRampRising());
    sky->Update(10.0f / 4.0f); // over: the next phase ramps up again
    EXPECT_EQ(sky->GetPhaseIndex(), 1);
    EXPECT_TRUE(sky->IsRampRising());
    EXPECT_FLOAT_EQ(sky->GetRamp(), 0.0f);
}

TEST_F(SkyUpdate, APhaseWithoutSuccessorRunsAgain) {
    PhaseSpec p, zero;
    p.mean = 1.0f;
    p.variation = 0.0f;
    zero.probability = 0.0f;
    const std::vector<std::vector<PhaseSpec>> lists = {{p}, {p, zero}};
    for (const auto& phases : lists) {
        auto sky = SkyWithPhases(phases);
        sky->Update(1.0f);
        EXPECT_EQ(sky->GetPhaseIndex(), 0);
        EXPECT_FLOAT_EQ(sky->GetPhaseTimer(), 0.0f);
    }
}

TEST_F(SkyUpdate, AMissingCloudSetNeverBecomesActiveAndTheHookIsCounted) {
    WriteCloudFile("a.txt", "offset 1 2 3\nk 0\nk 0\nk 0 0 0\nk 0\nitems 1\nitem i.txt\np 1 0 0\ns 1\nr 0\nw 1\n");
    WriteCloudFile("i.txt", "anchors 0\npuffs 0\n");
    PhaseSpec a, missing;
    a.cloudSet = "a.txt";
    a.mean = missing.mean = 1.0f;
    a.variation = missing.variation = 0.0f;
    missing.cloudSet = "nowhere.txt";
    missing.hook = 1;
    SkySpec spec;
    spec.cloudSets = {"a.txt"};
    auto sky = SkyWithPhases({a, missing}, spec);
    CloudSet* setA = sky->GetCloudSets().at("a.txt");
    ASSERT_EQ(sky->GetShownCloudSet(), setA);
    sky->Update(0.3f);
    ASSERT_EQ(sky->GetPhaseIndex(), 1);
    EXPECT_EQ(sky->GetShownCloudSet(), nullptr);
    EXPECT_EQ(sky->GetCloudSets().size(), 1u); // no entry made for the missing name
    EXPECT_EQ(sky->GetActiveCloudSets(), std::vector<CloudSet*>{setA});
    EXPECT_TRUE(setA->fading);
    EXPECT_TRUE(setA->items[0]->fadingOut);
    EXPECT_EQ(sky->GetHookCalls(), 1);
    sky->Update(0.3f); // back to a: placed and activated with its fades reset
    EXPECT_EQ(sky->GetShownCloudSet(), setA);
    EXPECT_TRUE(setA->active);
    EXPECT_FLOAT_EQ(setA->items[0]->fadeStart, 255.0f);
    EXPECT_TRUE(kxtest::Near(setA->items[0]->worldPosition, D3DXVECTOR3(2, 2, 3)));
}

TEST_F(SkyUpdate, LayersArePlacedAtLoadAndAVerticalOrbitStaysFinite) {
    SkySpec spec;
    spec.layers[0].axis = D3DXVECTOR3(0, 0, 1);
    spec.layers[0].distance = 0.0f; // at the centre: every direction is a zero vector
    auto centred = LoadSky(spec);
    SkySpec up;
    up.layers[0].axis = D3DXVECTOR3(0, 0, -1);
    auto down = LoadSky(up, "skyscape4.txt");
    auto normal = LoadSky(SkySpec(), "skyscape5.txt");
    EXPECT_GT(D3DXVec3Length(&normal->GetLayers()[0]->worldPosition), 99.0f);
    for (CPDynamicSky* sky : {centred.get(), down.get(), normal.get()}) {
        sky->Update(0.1f);
        for (const SPVertex& v : sky->GetLayers()[0]->GetDrawnVertices()) {
            EXPECT_TRUE(std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z));
        }
        EXPECT_TRUE(std::isfinite(sunWorld.sun.Direction.x));
    }
}

} // namespace
