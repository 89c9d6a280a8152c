#include "Framework/PLog.h"
#include "Sound/NSound.h"
#include "SoundFixture.h"

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

using namespace Platform::Audio;

namespace {

class SoundBufferTest : public kxtest::SoundTestBase {
protected:
    void SetUp() override {
        SoundTestBase::SetUp();
        device = OpenDevice();
    }
    void TearDown() override {
        sounds.clear();
        SoundTestBase::TearDown();
        if (device) device->Release();
    }
    CNSound* Make(const std::string& file, int is3D = 0) {
        sounds.emplace_back(new CNSound(device, "Data\\Sounds\\" + file, is3D));
        return sounds.back().Get();
    }
    NullVoiceRecord& Voice(std::size_t i) { return audio.system.Voice(i); }

    IDirectSound8* device = nullptr;
    std::vector<CPSmartPtr<CNSound>> sounds;
};

TEST(VolumeCurve, HundredthsOfADecibel) {
    struct Case {
        float v;
        LONG expected;
    } cases[] = {{1.0f, 0}, {0.5f, -437}, {0.0f, -7000}, {0.25f, -2214},
                 {0.9f, 0}, {0.75f, -27}, {1.5f, 0},     {-1.0f, -7000}};
    for (const Case& c : cases) EXPECT_EQ(SoundVolumeCurve(c.v), c.expected) << c.v;
}

TEST_F(SoundBufferTest, PlainSoundHoldsTheWholeFile) {
    auto samples = WriteWave("a.wav", 16, 2, 400, 44100);
    CNSound* s = Make("a.wav");
    ASSERT_NE(s->GetBuffer(), nullptr);
    EXPECT_EQ(s->Get3DBuffer(), nullptr);
    EXPECT_EQ(s->GetClassName(), "CNSound_Data\\Sounds\\a.wav");
    EXPECT_EQ(s->GetDataSize(), 400u);
    EXPECT_EQ(s->GetBaseFrequency(), 44100u);
    ASSERT_EQ(audio.system.Voices().size(), 1u);
    EXPECT_EQ(Voice(0).flags, 0xA0u);
    EXPECT_EQ(Voice(0).algorithm, DS3DALG_DEFAULT);
    EXPECT_EQ(Voice(0).format.nChannels, 2);
    EXPECT_EQ(Voice(0).data, samples);
    EXPECT_EQ(Voice(0).position, 0u);
    EXPECT_EQ(Voice(0).volume, -7000); // the global volume is 0 until the audio manager sets it
    EXPECT_NE(std::find(CNSound::LiveSounds().begin(), CNSound::LiveSounds().end(), s), CNSound::LiveSounds().end());
}

TEST_F(SoundBufferTest, ThreeDSoundAlgorithmFollowsTheBitrateSetting) {
    WriteWave("a.wav");
    g_bitrate = 16;
    CNSound* full = Make("a.wav", 1);
    g_bitrate = 8;
    CNSound* light = Make("a.wav", 1);
    ASSERT_NE(full->Get3DBuffer(), nullptr);
    EXPECT_EQ(Voice(0).flags, 0xB0u);
    EXPECT_EQ(Voice(0).algorithm, DS3DALG_HRTF_FULL);
    EXPECT_EQ(Voice(1).algorithm, DS3DALG_HRTF_LIGHT);
    EXPECT_EQ(Voice(1).parameters.dwMode, DS3DMODE_NORMAL);
    EXPECT_NE(full->GetBuffer(), light->GetBuffer());
}

TEST_F(SoundBufferTest, StereoThreeDSoundIsCreated) {
    WriteWave("stereo.wav", 16, 2);
    CNSound* s = Make("stereo.wav", 1);
    EXPECT_NE(s->GetBuffer(), nullptr);
    EXPECT_NE(s->Get3DBuffer(), nullptr);
}

TEST_F(SoundBufferTest, MissingOrBrokenFileLeavesASilentSoundThatIgnoresEverything) {
    root.Write("Data/Sounds/broken.wav", "RIFF\x04\0\0\0WAVE");
    for (const char* file : {"missing.wav", "broken.wav"}) {
        SCOPED_TRACE(file);
        CNSound* s = Make(file, 1);
        EXPECT_EQ(s->GetBuffer(), nullptr);
        EXPECT_FALSE(s->IsPlaying());
        EXPECT_TRUE(Failed(s->Play(0, DSBPLAY_LOOPING)));
        s->Stop();
        s->Rewind();
        s->SetVolume(1.0f);
        s->SetFrequencyFactor(2.0f);
        s->SetPosition({1, 2, 3}, {0, 0, 0});
        EXPECT_EQ(std::find(CNSound::LiveSounds().begin(), CNSound::LiveSounds().end(), s),
                  CNSound::LiveSounds().end());
    }
    EXPECT_TRUE(audio.system.Voices().empty());
    CNSound::SetGlobalVolume(0.5f); // must not touch the silent sounds
}

TEST_F(SoundBufferTest, PlayLoopsStopsKeepsPositionAndRewinds) {
    WriteWave("a.wav");
    CNSound* s = Make("a.wav");
    ASSERT_EQ(s->Play(0, DSBPLAY_LOOPING), S_OK);
    EXPECT_TRUE(s->IsPlaying());
    EXPECT_TRUE(Voice(0).looping);
    s->GetBuffer()->SetCurrentPosition(100);
    s->Stop();
    EXPECT_FALSE(s->IsPlaying());
    EXPECT_EQ(Voice(0).position, 100u);
    s->Rewind();
    EXPECT_EQ(Voice(0).position, 0u);
    ASSERT_EQ(s->Play(0, 0), S_OK);
    EXPECT_FALSE(Voice(0).looping);
    EXPECT_EQ(Voice(0).plays, 2);
}

TEST_F(SoundBufferTest, GlobalVolumeOverridesAPerSoundVolume) {
    WriteWave("a.wav");
    CNSound* a = Make("a.wav");
    CNSound* b = Make("a.wav", 1);
    a->SetVolume(1.0f);
    EXPECT_EQ(Voice(0).volume, 0);
    CNSound::SetGlobalVolume(0.5f);
    EXPECT_EQ(Voice(0).volume, -437);
    EXPECT_EQ(Voice(1).volume, -437);
    a->SetVolume(0.0f);
    CNSound::SetGlobalFrequencyFactor(1.0f); // also re-applies the global volume
    EXPECT_EQ(Voice(0).volume, -437);
    (void)b;
}

TEST_F(SoundBufferTest, GlobalFrequencyFactorWaitsForTheNextPlay) {
    WriteWave("a.wav", 16, 1, 400, 22050);
    CNSound* s = Make("a.wav");
    ASSERT_EQ(s->Play(0, DSBPLAY_LOOPING), S_OK);
    EXPECT_EQ(Voice(0).frequency, 22050u);
    CNSound::SetGlobalFrequencyFactor(1.5f);
    EXPECT_EQ(Voice(0).frequency, 22050u); // a playing sound keeps its pitch
    ASSERT_EQ(s->Play(0, DSBPLAY_LOOPING), S_OK);
    EXPECT_EQ(Voice(0).frequency, 33075u);
    s->SetFrequencyFactor(0.5f);
    EXPECT_EQ(Voice(0).frequency, 11025u);
}

TEST_F(SoundBufferTest, PlayReportsAFrequencyItCannotSet) {
    WriteWave("a.wav", 16, 1, 400, 44100);
    CNSound* s = Make("a.wav");
    for (float factor : {10.0f, -1.0f}) {
        CNSound::SetGlobalFrequencyFactor(factor);
        EXPECT_TRUE(Failed(s->Play(0, 0))) << factor;
    }
    EXPECT_EQ(Voice(0).plays, 0);
    EXPECT_FALSE(s->IsPlaying());
}

TEST_F(SoundBufferTest, APitchBelowTheLowestRatePlaysAtThatRateWithoutAnError) {
    WriteWave("a.wav", 16, 1, 400, 22050);
    CNSound* s = Make("a.wav");
    ASSERT_EQ(s->Play(0, DSBPLAY_LOOPING), S_OK);
    std::vector<std::string> reports;
    CPLog::Instance().SetSink([&](int, const std::string& line) { reports.push_back(line); });
    // 22050 Hz times each factor: 0.0001 is about 2 Hz, 0.004 about 88 Hz, 0 the buffer's own rate.
    const std::pair<float, DWORD> cases[] = {
        {0.0001f, DSBFREQUENCY_MIN}, {0.004f, DSBFREQUENCY_MIN}, {0.0f, 22050u}, {0.5f, 11025u}};
    for (const auto& [factor, expected] : cases) {
        s->SetFrequencyFactor(factor);
        EXPECT_EQ(Voice(0).frequency, expected) << factor;
    }
    CPLog::Instance().SetSink(nullptr);
    EXPECT_TRUE(reports.empty()) << reports.front();
}

TEST_F(SoundBufferTest, LostBufferIsRestoredRefilledAndRewoundAtPlay) {
    auto samples = WriteWave("a.wav");
    CNSound* s = Make("a.wav");
    s->GetBuffer()->SetCurrentPosition(200);
    Voice(0).lost = true;
    Voice(0).restoreFailures = 2;
    ASSERT_EQ(s->Play(0, 0), S_OK);
    EXPECT_EQ(Voice(0).restoreCalls, 3);
    EXPECT_EQ(Voice(0).data, samples); // refilled after the memory came back empty
    EXPECT_EQ(Voice(0).position, 0u);
    EXPECT_TRUE(s->IsPlaying());
}

TEST_F(SoundBufferTest, RestoringGivesUpAfterABoundedNumberOfTries) {
    WriteWave("a.wav");
    CNSound* s = Make("a.wav");
    Voice(0).lost = true;
    Voice(0).restoreFailures = 1000000;
    EXPECT_EQ(s->Play(0, 0), DSERR_BUFFERLOST);
    EXPECT_EQ(Voice(0).restoreCalls, CNSound::kRestoreAttempts);
    EXPECT_FALSE(s->IsPlaying());
}

TEST_F(SoundBufferTest, CollectedSoundReleasesItsBufferAndLeavesTheList) {
    WriteWave("a.wav");
    CNSound* s = Make("a.wav", 1);
    sounds.clear();
    IPMMObject::CollectGarbage();
    EXPECT_FALSE(Voice(0).alive);
    EXPECT_EQ(std::find(CNSound::LiveSounds().begin(), CNSound::LiveSounds().end(), s), CNSound::LiveSounds().end());
}

} // namespace
