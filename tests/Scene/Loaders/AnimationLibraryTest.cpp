// The library itself: one per process, its starting state, its start-up place, and the
// part-animation files it reads.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "Framework/Application/AppFakes.h"
#include "Framework/PLog.h"
#include "Framework/StartupRegistry.h"
#include "Scene/AnimationStartup.h"
#include "Scene/PAnimationLibrary.h"
#include "support/MeshFileWriter.h"
#include "support/MorphStreamWriter.h"
#include "support/TempDir.h"

namespace {

using kxtest::BuildPartAnimationFile;
using kxtest::PartKey;
using kxtest::PartTrack;

TEST(AnimationLibraryInstanceTest, InstanceIsNullUntilTheLibraryIsMadeAndNullAgainAfterIt) {
    ASSERT_EQ(CPAnimationLibrary::Instance(), nullptr);
    {
        CPAnimationLibrary library;
        EXPECT_EQ(CPAnimationLibrary::Instance(), &library);
        EXPECT_EQ(CPAnimationLibrary::Instance(), &library);
        EXPECT_EQ(library.GetVertexColour(), 0xFFFFFFFFu);
        EXPECT_TRUE(library.GetLastMeshFile().empty());
        EXPECT_TRUE(library.GetShadowTextureFolder().empty());
        EXPECT_TRUE(library.GetShadowTextureSuffix().empty());
        EXPECT_TRUE(library.GetShadowEffectSuffix().empty());
        EXPECT_FALSE(library.IsShadowTexturesActive());
        EXPECT_TRUE(library.GetCurrentAnimationFile().empty());
        EXPECT_TRUE(library.LoadChain().empty());
        EXPECT_FALSE(library.IsInFallback());
    }
    EXPECT_EQ(CPAnimationLibrary::Instance(), nullptr);
}

class AnimationLibraryStartupTest : public ::testing::Test {
protected:
    void SetUp() override {
        apptest::CleanUpAfterRun();
        CPLog::Instance().SetSink([](int, const std::string&) {});
    }
    void TearDown() override {
        delete CPAnimationLibrary::Instance();
        CPLog::Instance().SetSink(nullptr);
        apptest::CleanUpAfterRun();
    }

    kxtest::TempGameRoot root;
    apptest::Journal journal;
};

TEST_F(AnimationLibraryStartupTest, StartUpMakesTheLibraryAfterTheEffectManagerAndBeforeTheAudioManager) {
    SPStartupRegistry& registry = GetStartupRegistry();
    apptest::FillWithFakes(registry, journal);
    InstallAnimationLibrary(registry);
    ASSERT_TRUE(registry.createAnimationLibrary);
    auto note = [this](const char* what) {
        journal.push_back(std::string(what) + (CPAnimationLibrary::Instance() ? " with library" : " without library"));
    };
    registry.createEffectManager = [note] { note("effectManager"); };
    registry.createAudio = [note] { note("audio"); };
    registry.getScript = [this](const std::string& name) {
        auto* task = new apptest::FakeTask(name, journal);
        task->onUpdate = [] { CPTaskKernel::GetInstance()->KillAllTasks(); };
        return CPSmartPtr<IPTask>(task);
    };
    EXPECT_EQ(CPAnimationLibrary::Instance(), nullptr);
    CPApplication application;
    application.Run(nullptr, 1);

    CPAnimationLibrary* made = CPAnimationLibrary::Instance();
    ASSERT_NE(made, nullptr);
    EXPECT_EQ(made->GetVertexColour(), 0xFFFFFFFFu);
    auto effects = std::find(journal.begin(), journal.end(), "effectManager without library");
    auto audio = std::find(journal.begin(), journal.end(), "audio with library");
    EXPECT_NE(effects, journal.end());
    EXPECT_NE(audio, journal.end());
    EXPECT_LT(effects, audio);
    // A second run of the place keeps the one library.
    registry.createAnimationLibrary();
    EXPECT_EQ(CPAnimationLibrary::Instance(), made);
}

class PartAnimationFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        CPLog::Instance().SetSink([this](int, const std::string& text) { logLines.push_back(text); });
    }
    void TearDown() override {
        CPLog::Instance().SetSink(nullptr);
        IPMMObject::CollectGarbage();
    }

    void Write(const std::string& file, const std::string& bytes) { root.Write("Data/Animations/" + file, bytes); }

    static PartKey Key(float time, std::vector<float> columns) {
        PartKey key;
        key.time = time;
        std::copy(columns.begin(), columns.end(), key.columns);
        return key;
    }

    kxtest::TempGameRoot root;
    CPAnimationLibrary library;
    PPartAnimationMap animations;
    std::vector<std::string> logLines;
};

TEST_F(PartAnimationFileTest, EachPartBecomesATrackUnderItsLowerCasedNameWithItsTimesAndMatrices) {
    const PartTrack lid{"Lid",
                        {Key(0.5f, {1, 0, 0, 5, 0, 1, 0, 6, 0, 0, 1, 7}),
                         Key(1.5f, {0, 1, 0, 0, -1, 0, 0, 0, 0, 0, 1, 2}),
                         Key(0.0f, {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0})}};
    Write("chest.pan", BuildPartAnimationFile({lid, PartTrack{"hinge", {}}}).bytes);
    library.LoadPartAnimations("chest.pan", animations);
    ASSERT_EQ(animations.size(), 2u);
    ASSERT_EQ(animations.count("lid"), 1u);
    const CPPartAnimation& track = *animations["lid"];
    EXPECT_EQ(track.GetDurations(), (std::vector<float>{0.5f, 1.5f, 0.0f}));
    ASSERT_EQ(track.GetKeys().size(), 3u);
    // 1 0 0 5, 0 1 0 6, 0 0 1 7: the pure translation by (5, 6, 7).
    const D3DXMATRIX& first = track.GetKeys()[0];
    const float translation[4][4] = {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {5, 6, 7, 1}};
    for (int row = 0; row < 4; ++row)
        for (int column = 0; column < 4; ++column)
            EXPECT_EQ(first.m[row][column], translation[row][column]) << row << "," << column;
    // Column by column: m00 m10 m20 m30, m01 m11 m21 m31, m02 m12 m22 m32.
    const D3DXMATRIX& second = track.GetKeys()[1];
    EXPECT_EQ(second.m[1][0], 1.0f);
    EXPECT_EQ(second.m[0][1], -1.0f);
    EXPECT_EQ(second.m[3][2], 2.0f);
    EXPECT_EQ(second.m[0][3], 0.0f);
    EXPECT_EQ(second.m[3][3], 1.0f);
    // A part without keys is still a (silent) track.
    ASSERT_EQ(animations.count("hinge"), 1u);
    EXPECT_TRUE(animations["hinge"]->GetKeys().empty());
    EXPECT_TRUE(logLines.empty());
}

TEST_F(PartAnimationFileTest, ASecondPartOfTheSameNameAndALaterFileReplaceTheEarlierTrack) {
    Write("a.pan", BuildPartAnimationFile({PartTrack{"door", {Key(1, {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0})}},
                                           PartTrack{"DOOR", {Key(2, {}), Key(3, {})}}})
                       .bytes);
    library.LoadPartAnimations("a.pan", animations);
    ASSERT_EQ(animations.size(), 1u);
    EXPECT_EQ(animations["door"]->GetDurations(), (std::vector<float>{2, 3}));

    CPSmartPtr<CPPartAnimation> kept(new CPPartAnimation());
    animations["wheel"] = kept;
    Write("b.pan", BuildPartAnimationFile({PartTrack{"door", {Key(4, {})}}}).bytes);
    library.LoadPartAnimations("b.pan", animations);
    ASSERT_EQ(animations.size(), 2u);
    EXPECT_EQ(animations["door"]->GetDurations(), (std::vector<float>{4}));
    EXPECT_EQ(animations["wheel"].Get(), kept.Get());
}

TEST_F(PartAnimationFileTest, CountZeroNegativeOrAMissingFileLeaveTheMapAsItWas) {
    CPSmartPtr<CPPartAnimation> kept(new CPPartAnimation());
    animations["door"] = kept;
    Write("zero.pan", BuildPartAnimationFile({}).bytes);
    Write("negative.pan", kxtest::OverwriteInt(BuildPartAnimationFile({}).bytes, 0, -3));
    for (const char* file : {"zero.pan", "negative.pan", "missing.pan"}) {
        library.LoadPartAnimations(file, animations);
        ASSERT_EQ(animations.size(), 1u) << file;
        EXPECT_EQ(animations["door"].Get(), kept.Get()) << file;
    }
    EXPECT_TRUE(logLines.empty());
}

TEST_F(PartAnimationFileTest, ABrokenFileAddsNothingAtAnyCutOrHostileCount) {
    const kxtest::BuiltFile file =
        BuildPartAnimationFile({PartTrack{"lid", {Key(1, {}), Key(2, {})}}, PartTrack{"hinge", {Key(3, {})}}});
    // Every cut but the one before the first byte of the count leaves a file that announces
    // more than it holds: refused whole, with a line naming it.
    for (std::size_t length = 1; length < file.bytes.size(); ++length) {
        SCOPED_TRACE(length);
        Write("cut.pan", kxtest::Truncated(file.bytes, length));
        logLines.clear();
        PPartAnimationMap map;
        library.LoadPartAnimations("cut.pan", map);
        EXPECT_TRUE(map.empty());
        ASSERT_EQ(logLines.size(), 1u);
        EXPECT_NE(logLines[0].find("cut.pan"), std::string::npos);
    }
    // A count overwritten reads as another file at worst: never more keys than the file holds.
    int index = 0;
    for (const kxtest::CountField& field : file.counts) {
        for (std::int32_t value : kxtest::HostileCounts(file.bytes, field)) {
            SCOPED_TRACE(index);
            const std::string name = "count" + std::to_string(index++) + ".pan";
            Write(name, kxtest::OverwriteInt(file.bytes, field.offset, value));
            PPartAnimationMap map;
            library.LoadPartAnimations(name, map);
            for (const auto& entry : map) EXPECT_LE(entry.second->GetKeys().size(), 2u) << entry.first;
        }
    }
}

} // namespace
