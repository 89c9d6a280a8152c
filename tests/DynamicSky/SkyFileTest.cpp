// Reading sky descriptions and weather-phase files: the row grammar (comments, quotes, missing
// rows), the conversions at load, and counts that do not match the file.
#include <gtest/gtest.h>

#include "DynamicSky/SkyFileRows.h"
#include "DynamicSky/SkyFixture.h"
#include "support/Near.h"

using namespace skytest;

namespace {

constexpr float kDegrees = 0.017453292f;

class SkyFile : public SkyFixture {};

TEST(SkyFileRows, LabelsCommentsQuotesAndMissingRows) {
    SkyFileRows rows;
    rows.LoadText("// a comment line\n"
                  "first 1 2.5 x\n"
                  "/* a block\n"
                  "of comments */\n"
                  "   \n"
                  "name \"two words\" after\n"
                  "aligned    3     4\n"
                  "[header]\n");
    EXPECT_EQ(rows.LineCount(), 4u);
    rows.Next();
    EXPECT_EQ(rows.Int(0), 1);
    EXPECT_FLOAT_EQ(rows.Float(1), 2.5f);
    EXPECT_EQ(rows.Int(2), 0); // not a number
    EXPECT_EQ(rows.Int(3), 0); // absent
    rows.Next();
    EXPECT_EQ(rows.Text(0), "two words");
    EXPECT_EQ(rows.Text(1), "after");
    rows.Next();
    EXPECT_EQ(rows.Int(0), 3);
    EXPECT_EQ(rows.Int(1), 4);
    rows.Next(); // the header is a row like the others
    EXPECT_TRUE(rows.AtEnd());
    rows.Next();
    EXPECT_EQ(rows.Int(0), 0);
    EXPECT_EQ(rows.Text(0), "");
    EXPECT_FLOAT_EQ(rows.Float(0), 0.0f);
}

TEST_F(SkyFile, HeaderKeyframesAndLayersAsWritten) {
    SkySpec spec;
    spec.timeScale = 2.5f;
    spec.radius = 90.0f;
    spec.segments = 16;
    spec.centre = D3DXVECTOR3(1, 2, 3);
    spec.keys[0].rotationDegrees = 90.0f;
    spec.keys[0].angles = {180.0f};
    spec.keys[1].duration = 33.0f;
    spec.layers[0].baseAngleDegrees = 45.0f;
    spec.layers[0].axis = D3DXVECTOR3(0, 3, 4);
    auto sky = LoadSky(spec);
    ASSERT_TRUE(sky->IsLoaded());
    EXPECT_FLOAT_EQ(sky->GetTimeScale(), 2.5f);
    EXPECT_FLOAT_EQ(sky->GetRadius(), 90.0f);
    EXPECT_EQ(sky->GetSegments(), 16);
    EXPECT_FLOAT_EQ(sky->GetCentre().z, 3.0f);
    EXPECT_EQ(sky->GetStopCount(), 2);
    EXPECT_EQ(sky->GetRowsPerSegment(), 16 / 4);
    ASSERT_EQ(sky->GetKeyframes().size(), 2u);
    const SkyKeyframe& k0 = sky->GetKeyframes()[0];
    // Degrees become radians with the file's factor.
    EXPECT_FLOAT_EQ(k0.rotation, 90.0f * kDegrees);
    EXPECT_FLOAT_EQ(k0.layerAngles[0], 180.0f * kDegrees);
    EXPECT_FLOAT_EQ(sky->GetKeyframes()[1].duration, 33.0f);
    EXPECT_FLOAT_EQ(k0.fogStart, 100.0f);
    EXPECT_FLOAT_EQ(k0.further, 7.0f);
    EXPECT_FLOAT_EQ(k0.further1.x, 1.0f);
    EXPECT_FLOAT_EQ(k0.further2.z, 6.0f);
    ASSERT_EQ(sky->GetLayers().size(), 1u);
    const SkyLayer& layer = *sky->GetLayers()[0];
    EXPECT_FLOAT_EQ(layer.baseAngle, 45.0f * kDegrees);
    EXPECT_FLOAT_EQ(layer.distance, 100.0f);
    EXPECT_FLOAT_EQ(layer.axis.y, 0.6f); // normalised
    EXPECT_FLOAT_EQ(layer.axis.z, 0.8f);
    EXPECT_EQ(layer.GetEffectPathA(), spec.effectA);
    EXPECT_EQ(layer.GetTexturePaths(), spec.layers[0].textures);
    EXPECT_NE(sky->GetTexture(), nullptr);
    EXPECT_NE(sky->GetEffect(), nullptr);
    EXPECT_NE(sky->GetLightEffect(), nullptr);
}

TEST_F(SkyFile, BrightenFlagDoublesSunAndAmbientBeforeAnyClamp) {
    SkySpec spec;
    spec.keys[0].brighten = 1;
    spec.keys[0].sun = D3DXVECTOR3(200, 100, 10);
    spec.keys[0].ambient = D3DXVECTOR3(30, 40, 50);
    spec.keys[0].fog = D3DXVECTOR3(60, 60, 60);
    auto sky = LoadSky(spec);
    const SkyKeyframe& k0 = sky->GetKeyframes()[0];
    EXPECT_FLOAT_EQ(k0.sun.x, 400.0f);
    EXPECT_FLOAT_EQ(k0.sun.y, 200.0f);
    EXPECT_FLOAT_EQ(k0.ambient.z, 100.0f);
    EXPECT_FLOAT_EQ(k0.fog.x, 60.0f); // other colours as written
    EXPECT_FLOAT_EQ(sky->GetKeyframes()[1].sun.x, 255.0f);
    // The first update clamps the value in force.
    sky->Update(0.0f);
    EXPECT_FLOAT_EQ(sky->GetCurrent().sun.x, 255.0f);
    EXPECT_FLOAT_EQ(sky->GetCurrent().sun.y, 200.0f);
}

TEST_F(SkyFile, OvercastChannelIsOneBased) {
    const struct {
        int inFile;
        int stored;
    } cases[] = {{1, 0}, {2, 1}, {3, 2}};
    for (const auto& c : cases) {
        SkySpec spec;
        spec.keys[0].overcastChannel = c.inFile;
        auto sky = LoadSky(spec);
        EXPECT_EQ(sky->GetKeyframes()[0].overcastChannel, c.stored) << c.inFile;
    }
}

TEST_F(SkyFile, StartKeyframeBeyondTheCountStartsAtTheFirst) {
    const struct {
        int start;
        int expected;
    } cases[] = {{0, 0}, {1, 1}, {2, 0}, {7, 0}, {-1, 0}};
    for (const auto& c : cases) {
        SkySpec spec;
        spec.startKeyframe = c.start;
        spec.keys[1].duration = 55.0f;
        auto sky = LoadSky(spec);
        EXPECT_EQ(sky->GetKeyframeIndex(), c.expected) << c.start;
        EXPECT_FLOAT_EQ(sky->GetCurrent().duration, c.expected == 1 ? 55.0f : 10.0f) << c.start;
    }
}

TEST_F(SkyFile, CloudSetNamedTwiceIsOneEntry) {
    WriteCloudFile("set.txt", "offset 1 2 3\nk 0\nk 0\nk 0 0 0\nk 0\nitems 0\n");
    WriteCloudFile("other.txt", "offset 0 0 9\nk 0\nk 0\nk 0 0 0\nk 0\nitems 0\n");
    SkySpec spec;
    spec.cloudSets = {"set.txt", "other.txt", "set.txt"};
    auto sky = LoadSky(spec);
    ASSERT_EQ(sky->GetCloudSets().size(), 2u);
    EXPECT_FLOAT_EQ(sky->GetCloudSets().at("set.txt")->offset.z, 3.0f);
    EXPECT_FLOAT_EQ(sky->GetCloudSets().at("other.txt")->offset.z, 9.0f);
    // The first phase names set.txt: it is the set shown.
    EXPECT_EQ(sky->GetShownCloudSet(), sky->GetCloudSets().at("set.txt"));
    EXPECT_EQ(sky->GetActiveCloudSets().size(), 1u);
}

TEST_F(SkyFile, MissingOrRefusedFilesLeaveAnEmptySkyWhoseUpdateDoesNothing) {
    auto missing = std::make_unique<CPDynamicSky>();
    missing->Load("no_such_sky.txt");
    SkySpec oneStop;
    oneStop.stopCount = 1;
    for (auto& k : oneStop.keys) k.stops.resize(1);
    auto refused = LoadSky(oneStop);
    SkySpec tooManyLayers;
    tooManyLayers.layerCount = CPDynamicSky::kMaxLayers + 1;
    auto crowded = LoadSky(tooManyLayers, "skyscape8.txt");
    for (CPDynamicSky* sky : {missing.get(), refused.get(), crowded.get()}) {
        EXPECT_FALSE(sky->IsLoaded());
        EXPECT_TRUE(sky->GetKeyframes().empty());
        EXPECT_TRUE(sky->GetLayers().empty());
        EXPECT_TRUE(sky->GetSourceVertices().empty());
        Control()->ClearCalls();
        sky->Update(0.5f);
        sky->Advance(0.5f, 1.0f);
        EXPECT_EQ(Count("DrawIndexedPrimitive"), 0u);
        EXPECT_EQ(Count("Clear"), 0u);
    }
}

TEST_F(SkyFile, HostileCountsStopAtTheEndOfTheFile) {
    // Counts far beyond the rows: reading stops at the end, no record is made without rows.
    SkySpec spec;
    spec.keyframeCount = 2000000000;
    spec.stopCount = 2000000000;
    spec.layerCount = 60;
    spec.cloudSetCount = 2000000000;
    auto sky = LoadSky(spec);
    EXPECT_LE(sky->GetStopCount(), 200);
    EXPECT_LE(sky->GetKeyframes().size(), 1u);
    EXPECT_TRUE(sky->GetLayers().empty());
    sky->Update(0.1f);
    sky->Advance(0.1f, 0.5f);

    // A weather file whose count lies.
    WriteCloudFile("weather.txt", WeatherText({PhaseSpec(), PhaseSpec()}, 1000000));
    auto liar = LoadSky(SkySpec(), "skyscape9.txt");
    EXPECT_EQ(liar->GetPhases().size(), 2u);
    WriteCloudFile("weather.txt", WeatherText({PhaseSpec()}, -5));
    auto none = LoadSky(SkySpec(), "skyscape10.txt");
    EXPECT_TRUE(none->GetPhases().empty());
    none->Advance(100.0f, 0.0f); // no phases: no weather
    EXPECT_FLOAT_EQ(none->GetPhaseTimer(), 0.0f);
}

TEST_F(SkyFile, CutFileReadsMissingRowsAsZero) {
    SkySpec spec;
    std::string text = spec.Text();
    // Cut inside the second keyframe: its remaining rows read 0.
    const std::size_t cut = text.find("duration", text.find("duration") + 1);
    text = text.substr(0, text.find('\n', text.find("stop", cut)) + 1);
    WriteCloudFile("skyscape3.txt", text);
    WriteCloudFile("weather.txt", WeatherText({PhaseSpec()}));
    CPDynamicSky sky;
    sky.Load("skyscape3.txt");
    ASSERT_EQ(sky.GetKeyframes().size(), 2u);
    const SkyKeyframe& k1 = sky.GetKeyframes()[1];
    EXPECT_FLOAT_EQ(k1.stops[0].x, 10.0f);
    EXPECT_FLOAT_EQ(k1.stops[1].x, 0.0f);
    EXPECT_FLOAT_EQ(k1.sun.x, 0.0f);
    EXPECT_EQ(k1.layerAngles.size(), 1u);
    EXPECT_TRUE(sky.GetLayers().empty());
    sky.Advance(0.1f, 0.5f);
}

TEST_F(SkyFile, WeatherPhaseRowsAsWritten) {
    WriteCloudFile("w.txt", WeatherText({{3, 50, 0.2f, "a b", 1, 1, 0.25f}, {4, 60, 0.3f, "c.txt", 0, 0, 1}}));
    WeatherPhaseList list;
    list.Load("w.txt");
    ASSERT_EQ(list.phases.size(), 2u);
    const WeatherPhase& p = list.phases[0];
    EXPECT_FLOAT_EQ(p.transition, 3.0f);
    EXPECT_FLOAT_EQ(p.meanDuration, 50.0f);
    EXPECT_FLOAT_EQ(p.variation, 0.2f);
    EXPECT_EQ(p.cloudSet, "a"); // the second token of the row
    EXPECT_EQ(p.kept1, 1);
    EXPECT_FLOAT_EQ(p.kept3, 3.5f);
    EXPECT_EQ(p.kept7, 7);
    EXPECT_EQ(p.hook, 1);
    EXPECT_EQ(p.overcast, 1);
    EXPECT_FLOAT_EQ(p.probability, 0.25f);
    EXPECT_EQ(p.kept8, 8);
    EXPECT_EQ(list.phases[1].cloudSet, "c.txt");
    WeatherPhaseList missing;
    missing.Load("absent.txt");
    EXPECT_TRUE(missing.phases.empty());
}

} // namespace
