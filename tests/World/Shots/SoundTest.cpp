// Sounds of shots and enemies on the null audio system: a shot's sound loads positioned unless
// its mode is exactly "2d" and plays from the start at each launch; an enemy's blow plays its
// hit sound from the sound table.
#include <gtest/gtest.h>

#include "Platform/Audio/NullAudio.h"
#include "Platform/Audio/WaveFixture.h"
#include "ShotsFixture.h"
#include "Sound/NAudio.h"
#include "Sound/NSound.h"
#include "World/PEnemy.h"

namespace {

using kxshots::ShotWorld;
using kxshots::TestShot;

class ShotSoundTest : public ShotWorld {
protected:
    void SetUp() override {
        kxtest::WaveLayout layout;
        layout.samples = kxtest::Pattern(400);
        root.Write("Data/Sounds/gun.wav", kxtest::MakeWave(layout));
        root.Write("Data/Sounds/punch.wav", kxtest::MakeWave(layout));
        root.Write("Data/Sounds/Sounds.dat", "punch;punch.wav;2d\n");
        ASSERT_EQ(sound.Init(nullptr), 1);
    }
    // The sounds go while the null system that plays them still exists.
    void TearDown() override {
        manager->Clear();
        sound.ReleaseSounds();
        sound.Release();
        for (int i = 0; i < 4; ++i) IPMMObject::CollectGarbage();
    }

    Platform::Audio::ScopedNullAudio nullAudio;
    CNAudio sound;
};

TEST_F(ShotSoundTest, OnlyTheExactMode2dIsPositionless) {
    struct Case {
        const char* spec;
        bool loads;
        int is3D;
    };
    const Case cases[] = {{"gun.wav", true, 1},    {"gun.wav,3d", true, 1}, {"gun.wav,3D", true, 1},
                          {"gun.wav,2D", true, 1}, {"gun.wav,2d", true, 0}, {"missing.wav,2d", false, 0},
                          {"none,2d", false, 0}};
    for (const Case& c : cases) {
        CPSmartPtr<TestShot> shot(new TestShot("t"));
        ASSERT_TRUE(shot->ParseParams({c.spec}));
        EXPECT_EQ(static_cast<bool>(shot->GetSound()), c.loads) << c.spec;
        if (shot->GetSound()) {
            EXPECT_EQ(shot->GetSound()->Is3D(), c.is3D) << c.spec;
        }
    }
}

TEST_F(ShotSoundTest, EachLaunchPlaysTheSoundFromTheStart) {
    CPSmartPtr<TestShot> shot(new TestShot("t"));
    ASSERT_TRUE(shot->ParseParams({"gun.wav,2d"}));
    const std::size_t voices = nullAudio.system.Voices().size();
    ASSERT_GT(voices, 0u);
    Platform::Audio::NullVoiceRecord& voice = nullAudio.system.Voice(voices - 1);
    shot->Launch(D3DXVECTOR3(0, 0, 0), D3DXVECTOR3(0, -1, 0), 1.0f, CPSmartPtr<CPGameObject>(), nullptr);
    EXPECT_TRUE(voice.playing);
    EXPECT_EQ(voice.plays, 1);
    voice.position = 100;
    shot->Launch(D3DXVECTOR3(0, 0, 0), D3DXVECTOR3(0, -1, 0), 1.0f, CPSmartPtr<CPGameObject>(), nullptr);
    EXPECT_EQ(voice.plays, 2);
    EXPECT_EQ(voice.position, 0u);
}

TEST_F(ShotSoundTest, AnEnemysBlowPlaysItsHitSound) {
    SetEnemyMaker(&GetEnemyRecordMaker());
    root.Write("Data/Descriptions/e.xml",
               "<enemy name=\"e\" hit1=\"punch\"><melee frame=\"3\" reach=\"0,-5,0\" damage=\"1\"/></enemy>");
    CPSmartPtr<CPGameObject> object(new CPGameObject("e"));
    object->SetDescriptionFile("e.xml");
    ASSERT_TRUE(object->LoadDescription());
    SetEnemyMaker(nullptr);
    auto* enemy = dynamic_cast<CPEnemy*>(object->GetEnemy());
    ASSERT_NE(enemy, nullptr);
    Racer(D3DXVECTOR3(0, -3, 1), true);
    CPSmartPtr<CNSound> punch = sound.GetSound("punch");
    ASSERT_TRUE(punch);
    EXPECT_FALSE(punch->IsPlaying());
    enemy->animation.name = "melee1";
    enemy->OnAnimationReport();
    EXPECT_TRUE(punch->IsPlaying());
    // Played again from the start while it still plays; the blow's second key names no sound.
    enemy->OnAnimationReport();
    EXPECT_TRUE(punch->IsPlaying());
    enemy->animation.name = "melee2";
    enemy->OnAnimationReport();
}

} // namespace
