#include "Sound/NAudio.h"
#include "Sound/NSoundCache.h"
#include "Sound/PMusic.h"
#include "SoundFixture.h"

#include <memory>

using namespace Platform::Audio;

namespace {

class AudioManagerTest : public kxtest::SoundTestBase {
protected:
    void TearDown() override {
        manager.reset();
        musicTask = nullptr;
        SoundTestBase::TearDown();
    }
    NullVoiceRecord& VoiceOf(const CPSmartPtr<CNSound>& s) { return audio.system.Voice(IndexOf(s)); }
    std::size_t IndexOf(const CPSmartPtr<CNSound>& s) {
        // Every sound of these tests makes exactly one voice, in creation order.
        for (std::size_t i = 0; i < created.size(); ++i)
            if (created[i] == s.Get()) return i;
        return static_cast<std::size_t>(-1);
    }
    void NoteCreationOrder() {
        created.clear();
        for (CNSound* s : CNSound::LiveSounds()) created.push_back(s);
    }

    std::unique_ptr<CNAudio> manager = std::make_unique<CNAudio>();
    CPSmartPtr<CPMusic> musicTask;
    std::vector<CNSound*> created;
};

TEST_F(AudioManagerTest, InitFormatsThePrimaryBufferFromTheSettings) {
    g_channels = 1;
    g_frequency = 44100;
    g_bitrate = 16;
    EXPECT_EQ(manager->Init(nullptr), 1);
    EXPECT_EQ(CNAudio::GetInstance(), manager.get());
    EXPECT_EQ(audio.system.CooperativeLevel(), DSSCL_EXCLUSIVE);
    const WAVEFORMATEX& f = audio.system.PrimaryFormat();
    EXPECT_EQ(f.wFormatTag, WAVE_FORMAT_PCM);
    EXPECT_EQ(f.nChannels, 1);
    EXPECT_EQ(f.nSamplesPerSec, 44100u);
    EXPECT_EQ(f.wBitsPerSample, 16);
    EXPECT_EQ(f.nBlockAlign, 2);
    EXPECT_EQ(f.nAvgBytesPerSec, 88200u);
    EXPECT_NE(manager->GetListener(), nullptr);
    EXPECT_NE(manager->GetCache(), nullptr);
    EXPECT_EQ(CNSoundCache::GetInstance(), manager->GetCache());
}

TEST_F(AudioManagerTest, InitAppliesBothVolumeSettings) {
    musicTask = new CPMusic();
    root.Write("Data/Music/a.ogg", "x");
    ASSERT_EQ(musicTask->Play("a.ogg", true), S_OK);
    g_soundVolume = 0.5f;
    g_musicVolume = 1.0f;
    manager->Init(nullptr);
    EXPECT_EQ(CNSound::GetGlobalVolume(), 0.5f);
    EXPECT_EQ(music.system.Last().volume, 0);
    WriteWave("a.wav");
    CPSmartPtr<CNSound> s;
    manager->CreateSound(s, "a.wav", 0, true);
    ASSERT_TRUE(s);
    EXPECT_EQ(audio.system.Voice(0).volume, -437);
}

TEST_F(AudioManagerTest, SoundTableFromSoundsDat) {
    WriteWave("engine.wav");
    WriteWave("hit.wav", 8);
    root.Write("Data/Sounds/Sounds.dat", "// name;file;3d\r\n"
                                         "engine;engine.wav;3d\r\n"
                                         "hit;hit.wav\r\n"
                                         "hit2;hit.wav;\r\n"
                                         "\"odd;name\";hit.wav;3D \r\n"
                                         "dup;hit.wav\r\n"
                                         "dup;engine.wav;3D\r\n"
                                         "missing;nothing.wav;3d\r\n");
    ASSERT_EQ(manager->Init(nullptr), 1);

    CPSmartPtr<CNSound> engine = manager->GetSound("engine");
    ASSERT_TRUE(engine);
    EXPECT_EQ(engine->Is3D(), 1);
    DS3DBUFFER p;
    p.dwSize = 64;
    engine->Get3DBuffer()->GetAllParameters(&p);
    EXPECT_EQ(p.flMinDistance, 3.0f);
    EXPECT_EQ(p.flMaxDistance, 300.0f);

    CPSmartPtr<CNSound> hit = manager->GetSound("hit");
    CPSmartPtr<CNSound> hit2 = manager->GetSound("hit2");
    ASSERT_TRUE(hit);
    ASSERT_TRUE(hit2);
    EXPECT_EQ(hit->Is3D(), 0);
    EXPECT_EQ(hit2->Is3D(), 0);
    EXPECT_NE(hit.Get(), hit2.Get()); // one file, two independent sounds
    EXPECT_NE(hit->GetBuffer(), hit2->GetBuffer());

    CPSmartPtr<CNSound> odd = manager->GetSound("odd;name");
    ASSERT_TRUE(odd);
    EXPECT_EQ(odd->Is3D(), 1); // upper case and a trailing blank still make it 3D

    CPSmartPtr<CNSound> dup = manager->GetSound("dup");
    ASSERT_TRUE(dup);
    EXPECT_EQ(dup->GetPath(), "Data\\Sounds\\engine.wav"); // the later line wins

    EXPECT_EQ(manager->SoundTable().count("missing"), 1u);
    EXPECT_FALSE(manager->GetSound("missing"));
    EXPECT_FALSE(manager->GetSound("Engine")); // exact case
    EXPECT_EQ(manager->SoundTable().count("Engine"), 1u);
}

TEST_F(AudioManagerTest, OddSoundsDatLinesGiveNullSounds) {
    WriteWave("a.wav");
    root.MakeDir("Data/Sounds/folder");
    root.Write("Data/Sounds/Sounds.dat", "onlyname\r\n"
                                         "nofile;\r\n"
                                         ";a.wav\r\n"
                                         "dir;folder;3d\r\n"
                                         "self;Sounds.dat\r\n"
                                         "extra;a.wav;3d;more;fields\r\n");
    ASSERT_EQ(manager->Init(nullptr), 1);
    for (const char* name : {"onlyname", "nofile", "dir", "self"}) {
        SCOPED_TRACE(name);
        EXPECT_EQ(manager->SoundTable().count(name), 1u);
        EXPECT_FALSE(manager->GetSound(name));
    }
    EXPECT_TRUE(manager->GetSound("")); // an empty name is still a key
    CPSmartPtr<CNSound> extra = manager->GetSound("extra");
    ASSERT_TRUE(extra);
    EXPECT_EQ(extra->Is3D(), 1);
}

TEST_F(AudioManagerTest, SoundTableIsEmptyWithoutSoundsDat) {
    ASSERT_EQ(manager->Init(nullptr), 1);
    EXPECT_TRUE(manager->SoundTable().empty());
    EXPECT_FALSE(manager->GetSound("engine"));
    EXPECT_NE(manager->GetListener(), nullptr);
}

TEST_F(AudioManagerTest, ListenerSettersWriteTheWholeBlockInTheirArgumentOrder) {
    ASSERT_EQ(manager->Init(nullptr), 1);
    EXPECT_EQ(manager->SetListenerPosition({1, 2, 3}, {4, 5, 6}), S_OK);
    EXPECT_EQ(manager->SetListenerOrientation({0, 0, 1}, {0, -1, 0}), S_OK); // top, then front
    EXPECT_EQ(manager->SetListenerFactors(1.0f, 0.2f, 0.1f), S_OK);
    const DS3DLISTENER& l = audio.system.Listener();
    EXPECT_EQ(l.vPosition.z, 3.0f);
    EXPECT_EQ(l.vVelocity.x, 4.0f);
    EXPECT_EQ(l.vOrientTop.z, 1.0f);
    EXPECT_EQ(l.vOrientFront.y, -1.0f);
    EXPECT_EQ(l.flDistanceFactor, 1.0f);
    EXPECT_EQ(l.flRolloffFactor, 0.2f);
    EXPECT_EQ(l.flDopplerFactor, 0.1f);
    EXPECT_EQ(l.vPosition.x, 1.0f); // earlier changes survive later ones
    EXPECT_EQ(audio.system.ListenerUpdates(), 3);
    EXPECT_NE(manager->SetListenerFactors(0.0f, 0.2f, 0.1f), S_OK);
}

TEST_F(AudioManagerTest, SoundPositionMovesThreeDSoundsOnly) {
    WriteWave("a.wav");
    ASSERT_EQ(manager->Init(nullptr), 1);
    CPSmartPtr<CNSound> moving, plain;
    manager->CreateSound(moving, "a.wav", 1, false);
    manager->CreateSound(plain, "a.wav", 0, false);
    NoteCreationOrder();
    audio.system.ClearCalls();
    manager->SetSoundPosition(moving, {10, 20, 30}, {1, 0, 0});
    manager->SetSoundPosition(plain, {10, 20, 30}, {1, 0, 0});
    manager->SetSoundPosition(nullptr, {10, 20, 30}, {1, 0, 0});
    EXPECT_EQ(audio.system.Calls(), std::vector<std::string>{"Set3D " + std::to_string(IndexOf(moving))});
    const DS3DBUFFER& p = VoiceOf(moving).parameters;
    EXPECT_EQ(p.vPosition.y, 20.0f);
    EXPECT_EQ(p.vVelocity.x, 1.0f);
    EXPECT_EQ(p.flMinDistance, 3.0f);
    manager->SetSoundDistances(moving, 5.0f, 50.0f);
    EXPECT_EQ(VoiceOf(moving).parameters.flMaxDistance, 50.0f);
    EXPECT_EQ(VoiceOf(moving).parameters.vPosition.y, 20.0f);
}

TEST_F(AudioManagerTest, VolumeSettersStoreTheSettingAndApplyIt) {
    musicTask = new CPMusic();
    root.Write("Data/Music/a.ogg", "x");
    musicTask->Play("a.ogg", true);
    WriteWave("a.wav");
    ASSERT_EQ(manager->Init(nullptr), 1);
    CPSmartPtr<CNSound> a, b;
    manager->CreateSound(a, "a.wav", 0, true);
    manager->CreateSound(b, "a.wav", 1, true);
    manager->SetSoundVolume(0.5f);
    EXPECT_EQ(g_soundVolume, 0.5f);
    EXPECT_EQ(audio.system.Voice(0).volume, -437);
    EXPECT_EQ(audio.system.Voice(1).volume, -437);
    manager->SetMusicVolume(0.0f);
    EXPECT_EQ(g_musicVolume, 0.0f);
    EXPECT_EQ(music.system.Last().volume, -7000);
    manager->SetMusicVolume(1.0f);
    EXPECT_EQ(music.system.Last().volume, 0);
}

TEST_F(AudioManagerTest, WithoutADeviceEverythingIsAQuietNoOp) {
    audio.system.SetDeviceMissing(true);
    WriteWave("a.wav");
    root.Write("Data/Sounds/Sounds.dat", "a;a.wav;3d\r\n");
    EXPECT_EQ(manager->Init(nullptr), 0);
    EXPECT_EQ(manager->GetDevice(), nullptr);
    EXPECT_EQ(manager->GetCache(), nullptr);
    EXPECT_EQ(manager->GetListener(), nullptr);
    CPSmartPtr<CNSound> s;
    EXPECT_FALSE(manager->CreateSound(s, "a.wav", 1, true));
    EXPECT_FALSE(manager->GetSound("a"));
    EXPECT_TRUE(Failed(manager->SetListenerPosition({1, 1, 1}, {0, 0, 0})));
    EXPECT_TRUE(Failed(manager->SetListenerOrientation({0, 0, 1}, {0, -1, 0})));
    EXPECT_TRUE(Failed(manager->SetListenerFactors(1, 0.2f, 0.1f)));
    manager->SetSoundVolume(0.7f);
    EXPECT_EQ(g_soundVolume, 0.7f);
    manager->ReleaseSounds(); // no cache to stop
    EXPECT_TRUE(audio.system.Voices().empty());
}

TEST_F(AudioManagerTest, ShutDownReleasesNamedSoundsForTheCollector) {
    WriteWave("a.wav");
    root.Write("Data/Sounds/Sounds.dat", "a;a.wav\r\nb;a.wav;3d\r\n");
    ASSERT_EQ(manager->Init(nullptr), 1);
    manager->GetSound("a")->Play(0, DSBPLAY_LOOPING);
    manager->ReleaseSounds();
    EXPECT_TRUE(manager->SoundTable().empty());
    IPMMObject::CollectGarbage();
    for (const auto& v : audio.system.Voices()) EXPECT_FALSE(v->alive);
}

TEST_F(AudioManagerTest, CacheLoadsAreNotShared) {
    WriteWave("a.wav");
    ASSERT_EQ(manager->Init(nullptr), 1);
    CPSmartPtr<CNSound> first, second;
    manager->GetCache()->GetOrLoad(first, "a.wav", 1, false);
    manager->GetCache()->GetOrLoad(second, "a.wav", 1, false);
    ASSERT_TRUE(first);
    ASSERT_TRUE(second);
    EXPECT_NE(first.Get(), second.Get());
    EXPECT_FALSE(manager->GetCache()->Find("a.wav"));
    CPSmartPtr<CNSound> none;
    EXPECT_FALSE(manager->GetCache()->GetOrLoad(none, "nothing.wav", 0, false));
}

} // namespace
