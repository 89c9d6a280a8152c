#include "Framework/PTaskKernel.h"
#include "Sound/PMusic.h"
#include "SoundFixture.h"

using namespace Platform::Music;

namespace {

class MusicTaskTest : public kxtest::SoundTestBase {
protected:
    void SetUp() override {
        SoundTestBase::SetUp();
        root.Write("Data/Music/Theme.ogg", "x");
        root.Write("Data/Music/menu.mp3", "x");
        task = new CPMusic();
    }
    void TearDown() override {
        task = nullptr;
        SoundTestBase::TearDown();
    }
    NullPlayerRecord& Player() { return music.system.Last(); }
    const std::vector<kxtest::SentCommand>& Sent() { return commands.sent; }

    CPSmartPtr<CPMusic> task;
};

TEST_F(MusicTaskTest, IsAKernelTaskThatStartsWithNothingLoaded) {
    EXPECT_EQ(CPMusic::GetInstance(), task.Get());
    EXPECT_EQ(task->GetClassName(), "CPMusic");
    EXPECT_EQ(task->GetKind(), 3);
    EXPECT_TRUE(task->Start());
    task->Update();
    EXPECT_TRUE(music.system.Players().empty());
}

TEST_F(MusicTaskTest, LoopingTrackStartsAtTheNextPollAndRestartsAtItsEnd) {
    ASSERT_EQ(task->Play("Theme.ogg", true), S_OK);
    EXPECT_TRUE(task->IsLoaded());
    EXPECT_EQ(Player().path, "Data\\Music\\Theme.ogg");
    EXPECT_EQ(Player().runs, 0); // loading does not run it
    task->Update();
    EXPECT_EQ(Player().runs, 1);
    EXPECT_EQ(Player().state, State_Running);
    task->Update();
    EXPECT_EQ(Player().runs, 1);

    music.system.FinishStream();
    task->Update(); // stopped, rewound and run again within the same poll
    EXPECT_EQ(Player().runs, 2);
    EXPECT_GE(Player().seeks, 1);
    EXPECT_EQ(Player().state, State_Running);
    EXPECT_TRUE(task->IsLoaded());
    EXPECT_TRUE(Sent().empty());
}

TEST_F(MusicTaskTest, TrackPlayedOnceTellsMainOnce) {
    ASSERT_EQ(task->Play("menu.mp3", false), S_OK);
    ASSERT_TRUE(task->Start());
    EXPECT_EQ(Player().runs, 1);
    task->Update();
    EXPECT_TRUE(Sent().empty());
    music.system.FinishStream();
    task->Update();
    EXPECT_EQ(Sent(), (std::vector<kxtest::SentCommand>{{kxtest::Route::Name, "main", "stop_music", "menu.mp3"}}));
    EXPECT_FALSE(task->IsLoaded());
    EXPECT_EQ(task->GetFileName(), "menu.mp3");
    task->Update();
    task->Update();
    EXPECT_EQ(Sent().size(), 1u);
    EXPECT_EQ(Player().runs, 1);
}

TEST_F(MusicTaskTest, StoppingSendsNothing) {
    ASSERT_EQ(task->Play("menu.mp3", false), S_OK);
    task->Start();
    task->Stop();
    EXPECT_EQ(Player().state, State_Stopped);
    EXPECT_EQ(Player().seeks, 1);
    EXPECT_FALSE(task->IsLoaded());
    EXPECT_FALSE(task->IsKillRequested()); // the task stays in the kernel
    music.system.FinishStream();
    task->Update();
    EXPECT_TRUE(Sent().empty());
}

TEST_F(MusicTaskTest, LoadingAnotherTrackEndsTheFirstSilently) {
    ASSERT_EQ(task->Play("menu.mp3", false), S_OK);
    task->Start();
    auto first = music.system.Players().front();
    ASSERT_EQ(task->Play("Theme.ogg", true), S_OK);
    EXPECT_FALSE(first->alive);
    task->Update();
    EXPECT_TRUE(Sent().empty());
    EXPECT_EQ(Player().path, "Data\\Music\\Theme.ogg");
    EXPECT_EQ(Player().runs, 1);
}

TEST_F(MusicTaskTest, MissingTrackReportsFailureAndPlaysNothing) {
    EXPECT_LT(task->Play("none.ogg", true), 0);
    EXPECT_FALSE(task->IsLoaded());
    EXPECT_EQ(task->GetFileName(), "none.ogg");
    EXPECT_TRUE(task->Start());
    task->Update();
    EXPECT_TRUE(Sent().empty());

    music.system.SetCreateFails(true);
    EXPECT_LT(task->Play("Theme.ogg", true), 0);
    EXPECT_FALSE(task->IsLoaded());
}

TEST_F(MusicTaskTest, VolumeFollowsTheCurveAndIsKeptForTheNextTrack) {
    task->SetVolume(1.0f);
    ASSERT_EQ(task->Play("Theme.ogg", true), S_OK);
    EXPECT_EQ(Player().volume, 0);
    task->SetVolume(0.0f);
    EXPECT_EQ(Player().volume, -7000);
    task->SetVolume(0.5f);
    EXPECT_EQ(Player().volume, -437);
    ASSERT_EQ(task->Play("menu.mp3", true), S_OK);
    EXPECT_EQ(Player().volume, -437);
}

TEST_F(MusicTaskTest, KernelPollsItEveryPass) {
    CPTaskKernel kernel;
    task->SetPriority(12);
    ASSERT_TRUE(kernel.AddTask(CPSmartPtr<IPTask>(task.Get())));
    ASSERT_EQ(task->Play("Theme.ogg", true), S_OK);
    kernel.RunPass();
    EXPECT_EQ(Player().runs, 1);
    kernel.KillAllTasks();
    kernel.RunPass(); // the kernel stops the task on its way out
    EXPECT_FALSE(task->IsLoaded());
    EXPECT_EQ(Player().state, State_Stopped);
}

} // namespace
