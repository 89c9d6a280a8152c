#include "Framework/LegacyHashMap.h"
#include "Framework/PSettings.h"

#include "Platform/System/AtomicFile.h"
#include "support/CommaLocale.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <string>
#include <vector>

namespace {

const char* const kSaveOrder[] = {"fullScreen", "friction",  "restitution", "blur",        "shadows",     "bloom",
                                  "weight_div", "cam_speed", "rolling",     "psystems",    "screenBPP",   "musicVolume",
                                  "weather",    "visuals",   "startmenu",   "texlod",      "dust",        "aniso",
                                  "mouse",      "plane",     "contrast",    "bitrate",     "quadlevels",  "channels",
                                  "distance",   "static",    "bboxes",      "soundVolume", "screenWidth", "frequency",
                                  "lensflare",  "wheel",     "screenHeight"};

class Settings : public ::testing::Test {
protected:
    void SetUp() override { ResetSettingsToDefaults(); }
    void TearDown() override {
        ResetSettingsToDefaults();
        IPMMObject::CollectGarbage();
    }
    kxtest::TempGameRoot root;
    CPSettings settings;
};

TEST_F(Settings, RegistryStoresItselfAndBindsAll33Keys) {
    EXPECT_EQ(CPSettings::GetInstance(), &settings);
    EXPECT_EQ(settings.Map().size(), 33u);
    EXPECT_EQ(settings.Map().bucket_count(), 193u);
    for (const char* key : kSaveOrder) EXPECT_NE(settings.GetBinder(key), nullptr) << key;
    EXPECT_EQ(settings.GetBinder("bloom")->GetClassName(), "CPDator");
}

TEST_F(Settings, ParseLineTable) {
    struct Case {
        const char* line;
        int* variable;
        int before;
        int expected;
    };
    const Case cases[] = {
        {"distance=350", &g_distance, 200, 350},
        {" distance = 351 ", &g_distance, 200, 351},
        {"\tdistance\t=\t352\r", &g_distance, 200, 352},
        {"distance = 353\r\n", &g_distance, 200, 353},
        {"+bloom", &g_bloom, 7, 1},
        {"-bloom", &g_bloom, 7, 0},
        {"bloom", &g_bloom, 7, 0},
        {"+bloom = 0", &g_bloom, 7, 0}, // the mode has no effect on a value
        {"-shadows = 1", &g_shadows, 7, 1},
        {"Distance=999", &g_distance, 200, 200}, // keys are case-sensitive
        {"DISTANCE", &g_distance, 200, 200},
        {"distancex=999", &g_distance, 200, 200},
        {"//distance=999", &g_distance, 200, 200}, // no comment: an unknown key
        {"distance=350.9", &g_distance, 200, 350},
        {"distance=-75", &g_distance, 200, -75},
        {"distance=", &g_distance, 200, 0},
        {"distance=abc", &g_distance, 200, 0},
        {"distance=1=2", &g_distance, 200, 1}, // split at the first "="
        {"", &g_distance, 200, 200},
    };
    for (const Case& c : cases) {
        *c.variable = c.before;
        settings.ParseLine(c.line);
        EXPECT_EQ(*c.variable, c.expected) << '"' << c.line << '"';
    }
}

TEST_F(Settings, FloatValuesUseThePointWhateverTheLocale) {
    kxtest::CommaLocale locale;
    EXPECT_TRUE(locale.Active()) << "the conversions must be shown under a comma-decimal locale";
    struct Case {
        const char* line;
        float expected;
        const char* text;
    };
    const Case cases[] = {
        {"plane=0.7", 0.7f, "0.7"},     {"plane = 0,7", 0.0f, "0"},       {"plane=2,5", 2.0f, "2"},
        {"plane=1e-7", 1e-7f, "1e-07"}, {"plane=-0.25", -0.25f, "-0.25"}, {"plane=1234567", 1234567.0f, "1.23457e+06"},
    };
    for (const Case& c : cases) {
        settings.ParseLine(c.line);
        EXPECT_FLOAT_EQ(g_plane, c.expected) << c.line;
        EXPECT_EQ(settings.GetBinder("plane")->ToString(), c.text) << c.line;
    }
    settings.ParseLine("distance=12,5");
    EXPECT_EQ(g_distance, 12);
}

TEST_F(Settings, FloatValuesReadOnlyTheDecimalNumberAtTheStart) {
    // Anything else reads nothing and gives 0, so a hostile file can never put a
    // NaN or an infinity into a setting (nor one that the next save writes back).
    struct Case {
        const char* value;
        float expected;
    };
    const Case cases[] = {
        {"nan", 0.0f},     {"inf", 0.0f}, {"-infinity", 0.0f}, {"0x10", 0.0f},      {".5", 0.5f},
        {"-.25x", -0.25f}, {"5.", 5.0f},  {"2e", 2.0f},        {"2e+", 2.0f},       {"1.5e2z", 150.0f},
        {".", 0.0f},       {"-", 0.0f},   {"1e999", FLT_MAX},  {"-1e39", -FLT_MAX}, {"1e-999", 0.0f},
    };
    for (const Case& c : cases) {
        g_plane = 7.0f;
        settings.ParseLine(std::string("plane=") + c.value);
        EXPECT_EQ(g_plane, c.expected) << c.value;
        EXPECT_TRUE(std::isfinite(g_plane)) << c.value;
    }
    g_plane = 1.0f;
    settings.GetBinder("plane")->Add("nan");
    EXPECT_EQ(g_plane, 1.0f);
}

TEST_F(Settings, DatorOperations) {
    CPDator* d = settings.GetBinder("distance");
    d->Set("10");
    d->Add("5");
    EXPECT_EQ(g_distance, 15);
    d->Subtract("20");
    EXPECT_EQ(g_distance, -5);
    EXPECT_EQ(d->ToString(), "-5");
    EXPECT_TRUE(d->Equals("-5"));
    EXPECT_TRUE(d->NotEquals("-5.0"));
    EXPECT_FALSE(d->IsList());
    d->Set(" 7"); // no white space is skipped
    EXPECT_EQ(g_distance, 0);

    CPDator* f = settings.GetBinder("friction");
    EXPECT_EQ(f->ToString(), "0.2");
    f->Add("0.3");
    EXPECT_EQ(f->ToString(), "0.5");
}

TEST_F(Settings, SavesThe33DefaultLinesInTheirFixedOrder) {
    ASSERT_EQ(settings.Save("config.cfg"), S_OK);
    const char* const lines[] = {
        "fullScreen = 0", "friction = 0.2",    "restitution = 0",   "blur = 1",          "shadows = 1",
        "bloom = 1",      "weight_div = 0",    "cam_speed = 0",     "rolling = 0",       "psystems = 25",
        "screenBPP = 16", "musicVolume = 0.5", "weather = 1",       "visuals = 10",      "startmenu = 1",
        "texlod = -1",    "dust = 1",          "aniso = 0",         "mouse = 0",         "plane = 0.5",
        "contrast = 1",   "bitrate = 8",       "quadlevels = 0",    "channels = 2",      "distance = 200",
        "static = 0",     "bboxes = 0",        "soundVolume = 0.5", "screenWidth = 640", "frequency = 22050",
        "lensflare = 1",  "wheel = 1",         "screenHeight = 480"};
    std::string expected;
    for (const char* line : lines) expected += std::string(line) + "\r\n";
    EXPECT_EQ(root.Read("config.cfg"), expected);
    // The same order as the key table of the fixture.
    std::vector<std::string> keys;
    for (const auto& entry : settings.Map()) keys.push_back(entry.first);
    EXPECT_EQ(keys, std::vector<std::string>(std::begin(kSaveOrder), std::end(kSaveOrder)));
}

TEST_F(Settings, LoadSaveRoundTrip) {
    ASSERT_EQ(settings.Save("config.cfg"), S_OK);
    std::string defaults = root.Read("config.cfg");
    settings.Load("config.cfg");
    ASSERT_EQ(settings.Save("config.cfg"), S_OK);
    EXPECT_EQ(root.Read("config.cfg"), defaults) << "loading the defaults changes nothing";

    g_screenWidth = 1024;
    g_musicVolume = 0.25f;
    g_texlod = -3;
    ASSERT_EQ(settings.Save("config.cfg"), S_OK);
    ResetSettingsToDefaults();
    settings.Load("CONFIG.CFG");
    EXPECT_EQ(g_screenWidth, 1024);
    EXPECT_FLOAT_EQ(g_musicVolume, 0.25f);
    EXPECT_EQ(g_texlod, -3);
}

TEST_F(Settings, LoadReadsEveryLineIncludingALastOneWithoutLineFeed) {
    root.Write("config.cfg", "screenWidth = 800\n\n-bloom\r\nunknown = 5\nscreenHeight=600");
    settings.Load("config.cfg");
    EXPECT_EQ(g_screenWidth, 800);
    EXPECT_EQ(g_bloom, 0);
    EXPECT_EQ(g_screenHeight, 600);
    EXPECT_EQ(settings.Map().size(), 33u) << "unknown keys are not added";
}

TEST_F(Settings, MissingFileKeepsEveryValue) {
    g_distance = 123;
    settings.Load("config.cfg");
    EXPECT_EQ(g_distance, 123);
}

TEST_F(Settings, FailedSaveIsReportedAndKeepsTheOldFile) {
    root.Write("config.cfg", "old");
    Platform::SetAtomicWriteFault(Platform::AtomicWriteFault::ShortWrite);
    EXPECT_EQ(settings.Save("config.cfg"), E_FAIL);
    Platform::SetAtomicWriteFault(Platform::AtomicWriteFault::None);
    EXPECT_EQ(root.Read("config.cfg"), "old");
}

TEST_F(Settings, ReleaseBindingsKeepsTheMapUsable) {
    settings.ReleaseBindings();
    EXPECT_EQ(settings.GetBinder("bloom")->GetRefCount(), 1);
    EXPECT_EQ(settings.GetBinder("aniso")->GetRefCount(), 2);
    IPMMObject::CollectGarbage();
    settings.ParseLine("bloom=0");
    EXPECT_EQ(g_bloom, 0);
    EXPECT_EQ(settings.Save("config.cfg"), S_OK);
}

TEST_F(Settings, BindReplacesTheBinderOfAKey) {
    int custom = 0;
    CPSmartPtr<CPDator> binder(new CPIntDator(&custom));
    CPDator* old = settings.GetBinder("bloom");
    int oldCount = old->GetRefCount();
    settings.Bind("bloom", binder);
    EXPECT_EQ(old->GetRefCount(), oldCount - 1);
    settings.ParseLine("bloom=5");
    EXPECT_EQ(custom, 5);
    EXPECT_EQ(g_bloom, 1);
}

TEST(LegacyHashMapTest, IteratesInBucketOrderAndKeepsExistingKeys) {
    LegacyHashMap<int> map(100);
    ASSERT_EQ(map.bucket_count(), 193u);
    map["b"] = 2;
    map["a"] = 1;
    map.insert("a", 9); // existing key: unchanged
    EXPECT_EQ(map.find("a")->second, 1);
    std::vector<std::string> keys;
    for (const auto& [k, v] : map) keys.push_back(k);
    EXPECT_EQ(keys, (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(map.erase("a"), 1u);
    EXPECT_EQ(map.erase("a"), 0u);
    EXPECT_FALSE(map.contains("a"));
    EXPECT_EQ(map.size(), 1u);
}

TEST(LegacyHashMapTest, SameBucketKeysIterateNewestFirstAndGrowthRehashes) {
    LegacyHashMap<int> map(53);
    // Find two keys sharing a bucket of 53.
    std::vector<std::string> same;
    for (char c1 = 'a'; c1 <= 'z' && same.size() < 2; ++c1)
        for (char c2 = 'a'; c2 <= 'z' && same.size() < 2; ++c2) {
            std::string k{c1, c2};
            std::uint32_t h = 5u * static_cast<std::uint32_t>(c1) + static_cast<std::uint32_t>(c2);
            if (h % 53 == 0) same.push_back(k);
        }
    ASSERT_EQ(same.size(), 2u);
    map[same[0]] = 1;
    map[same[1]] = 2;
    std::vector<std::string> keys;
    for (const auto& [k, v] : map) keys.push_back(k);
    EXPECT_EQ(keys, (std::vector<std::string>{same[1], same[0]}));

    for (int i = 0; i < 60; ++i) map["k" + std::to_string(i)] = i;
    EXPECT_EQ(map.bucket_count(), 97u);
    EXPECT_EQ(map.size(), 62u);
    for (int i = 0; i < 60; ++i) EXPECT_EQ(map.find("k" + std::to_string(i))->second, i);
    std::size_t count = 0;
    for (auto it = map.begin(); it != map.end(); ++it) ++count;
    EXPECT_EQ(count, 62u);
}

} // namespace
