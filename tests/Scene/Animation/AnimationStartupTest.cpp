// The animation cache's start-up place: filled from the scene library, it makes the cache when
// the application creates its singletons, after the audio manager.

#include <gtest/gtest.h>

#include <algorithm>

#include "Framework/Application/AppFakes.h"
#include "Framework/PLog.h"
#include "Scene/AnimationStartup.h"
#include "Scene/PAnimation.h"
#include "support/TempDir.h"

namespace {

class AnimationStartupTest : public ::testing::Test {
protected:
    void SetUp() override {
        apptest::CleanUpAfterRun();
        CPLog::Instance().SetSink([](int, const std::string&) {});
    }
    void TearDown() override {
        delete CPAnimationCache::Instance();
        CPLog::Instance().SetSink(nullptr);
        apptest::CleanUpAfterRun();
    }

    kxtest::TempGameRoot root;
    apptest::Journal journal;
};

TEST_F(AnimationStartupTest, StartUpMakesTheCacheAfterTheAudioManager) {
    SPStartupRegistry& registry = GetStartupRegistry();
    apptest::FillWithFakes(registry, journal);
    InstallAnimationCache(registry);
    ASSERT_TRUE(registry.createAnimationCache);
    // Note, around each neighbour, whether the cache exists yet.
    auto note = [this](const char* what) {
        journal.push_back(std::string(what) + (CPAnimationCache::Instance() ? " with cache" : " without cache"));
    };
    registry.createAudio = [note] { note("audio"); };
    registry.createGameData = [note] { note("gameData"); };
    registry.getScript = [this](const std::string& name) {
        auto* task = new apptest::FakeTask(name, journal);
        task->onUpdate = [] { CPTaskKernel::GetInstance()->KillAllTasks(); };
        return CPSmartPtr<IPTask>(task);
    };
    EXPECT_EQ(CPAnimationCache::Instance(), nullptr);
    CPApplication application;
    application.Run(nullptr, 1);

    EXPECT_NE(CPAnimationCache::Instance(), nullptr);
    auto audio = std::find(journal.begin(), journal.end(), "audio without cache");
    auto gameData = std::find(journal.begin(), journal.end(), "gameData with cache");
    EXPECT_NE(audio, journal.end());
    EXPECT_NE(gameData, journal.end());
    EXPECT_LT(audio, gameData);
}

} // namespace
