// The level's stop silences the sound on the null audio device: every live sound stops. (The
// sound cache enters no loads, so its stop-and-rewind walk finds nothing here.)

#include <gtest/gtest.h>

#include <memory>

#include "Sound/NAudio.h"
#include "Sound/NSound.h"
#include "Sound/NSoundCache.h"
#include "Sound/SoundFixture.h"
#include "support/RaceFixture.h"

namespace {

using Platform::Audio::NullVoiceRecord;

class LevelStopSounds : public kxtest::SoundTestBase {};

TEST_F(LevelStopSounds, EveryLiveSoundStops) {
    WriteWave("a.wav");
    root.Write("Data/Sounds/Sounds.dat", "beep;a.wav\r\n");
    auto manager = std::make_unique<CNAudio>();
    ASSERT_EQ(manager->Init(nullptr), 1);
    ASSERT_NE(manager->GetCache(), nullptr);
    CPSmartPtr<CNSound> cached;
    manager->GetCache()->GetOrLoad(cached, "a.wav", 0, true);
    ASSERT_TRUE(cached);
    CPSmartPtr<CNSound> named = manager->GetSound("beep");
    ASSERT_TRUE(named);
    EXPECT_TRUE(manager->GetCache()->Sounds().empty());

    // Which null voice belongs to which sound: the order they were made in.
    const std::vector<CNSound*> live = CNSound::LiveSounds();
    NullVoiceRecord* cachedVoice = nullptr;
    NullVoiceRecord* namedVoice = nullptr;
    for (std::size_t i = 0; i < live.size(); ++i) {
        if (live[i] == cached.Get()) cachedVoice = &audio.system.Voice(i);
        if (live[i] == named.Get()) namedVoice = &audio.system.Voice(i);
    }
    ASSERT_NE(cachedVoice, nullptr);
    ASSERT_NE(namedVoice, nullptr);
    cached->Play(0, 1);
    named->Play(0, 1);
    cachedVoice->position = 100;
    namedVoice->position = 100;

    {
        kxtest::RaceFixture race;
        ASSERT_TRUE(race.Load(kxtest::RaceFixture::RingLevel()));
        race.PlaceHuman(D3DXVECTOR3(100, 0, 0));
        race.level->Start();
        race.level->Stop();
    }
    EXPECT_FALSE(cachedVoice->playing);
    EXPECT_EQ(cachedVoice->position, 100u);
    EXPECT_FALSE(namedVoice->playing);
    EXPECT_EQ(namedVoice->position, 100u);
    cached = nullptr;
    named = nullptr;
    manager.reset();
}

} // namespace
