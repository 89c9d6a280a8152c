// The physics task's car for a racer and the car's sounds, on the silent audio backend: which
// files each car loads, that no two cars share a buffer, and what the engine sound does with
// the engine speed.
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "CarWorldFixture.h"
#include "Framework/PGlobalTimer.h"
#include "Platform/Audio/NullAudio.h"
#include "Platform/Audio/WaveFixture.h"
#include "Sound/NAudio.h"
#include "Sound/NSound.h"
#include "support/TempDir.h"

namespace {

using namespace kxcar;
using Platform::Audio::NullVoiceRecord;

const char* const kPrefixedFiles[] = {"slam.wav",  "diesel_run.wav", "dirt.wav", "diesel_accel.wav", "brake.wav",
                                      "nitro.wav", "hit1.wav",       "hit2.wav", "hit3.wav"};

std::vector<CNSound*> SlotsOf(CPCar* car) {
    CPCar::SPSounds& s = car->Sounds();
    return {s.slam.Get(),   s.engine.Get(), s.dirt.Get(),   s.accelerate.Get(), s.brake.Get(), s.nitro.Get(),
            s.hit[0].Get(), s.hit[1].Get(), s.hit[2].Get(), s.hit[3].Get(),     s.hit[4].Get()};
}

struct CarSounds : CarWorld {
    CarSounds() {
        ResetSettingsToDefaults();
        CNSound::SetGlobalVolume(1.0f);
        CNSound::SetGlobalFrequencyFactor(1.0f);
        manager = std::make_unique<CNAudio>();
        manager->Init(nullptr);
    }
    ~CarSounds() override {
        // The cars' sounds go before the sound device they were made on.
        racers.clear();
        physics.DestroyWorld();
        for (int i = 0; i < 4; ++i) IPMMObject::CollectGarbage();
        manager.reset();
        CNSound::SetGlobalVolume(0.0f);
        ResetSettingsToDefaults();
    }

    void WriteWave(const std::string& name, std::uint32_t rate = 22050) {
        kxtest::WaveLayout layout;
        layout.rate = rate;
        layout.samples = kxtest::Pattern(400);
        root.Write("Data/Sounds/" + name, kxtest::MakeWave(layout));
    }
    void WriteSet(const std::string& prefix) {
        for (const char* file : kPrefixedFiles) WriteWave(prefix + file);
        WriteWave("hit4.wav");
        WriteWave("hit5.wav");
    }
    // The voice the null backend made for a sound: every sound makes one, in creation order.
    NullVoiceRecord* VoiceOf(CNSound* sound) {
        const std::vector<CNSound*>& live = CNSound::LiveSounds();
        for (std::size_t i = 0; i < live.size(); ++i)
            if (live[i] == sound) return &audio.system.Voice(i);
        return nullptr;
    }

    kxtest::TempGameRoot root;
    Platform::Audio::ScopedNullAudio audio;
    std::unique_ptr<CNAudio> manager;
};

TEST_F(CarSounds, EachCarLoadsItsElevenFilesIntoBuffersOfItsOwn) {
    WriteSet("jeep_");
    WriteSet("traffic");
    struct Case {
        const char* name;
        int flags;
        const char* prefix;
    };
    const Case cases[] = {{"jeep_", 0, "jeep_"}, {"jeep_", 4, "traffic"}, {"jeep_", 1 | 2 | 8, "jeep_"}};
    std::vector<CNSound*> seen;
    float x = -60.0f;
    for (const Case& c : cases) {
        CPSmartPtr<CPPlayer> racer = MakeRacerBody("", 4, D3DXVECTOR3(x, 0.0f, 1.0f));
        x += 20.0f;
        racer->SetName(c.name);
        racer->SetFlags(c.flags);
        physics.AddCar(CPSmartPtr<CPGameObject>(racer.Get()), 0);
        CPCar* car = racer->GetCar();
        ASSERT_NE(car, nullptr);
        const std::vector<CNSound*> slots = SlotsOf(car);
        for (int i = 0; i < 11; ++i) {
            ASSERT_NE(slots[i], nullptr) << c.flags << " slot " << i;
            const std::string expected =
                i < 9 ? std::string(c.prefix) + kPrefixedFiles[i] : "hit" + std::to_string(i - 5) + ".wav";
            EXPECT_EQ(slots[i]->GetPath(), "Data\\Sounds\\" + expected) << c.flags << " slot " << i;
            EXPECT_EQ(slots[i]->Is3D(), 1);
            // Not even the shared hits come from another car's buffer.
            for (CNSound* other : seen) EXPECT_NE(slots[i], other);
        }
        seen.insert(seen.end(), slots.begin(), slots.end());
        for (int i = 0; i < 4; ++i) {
            const D3DXVECTOR3& v = car->GetSoundVector(i);
            EXPECT_EQ(v.x, 0.0f);
            EXPECT_EQ(v.y, 0.0f);
            EXPECT_EQ(v.z, 0.0f);
        }
    }
    EXPECT_EQ(seen.size(), 33u);
}

TEST_F(CarSounds, TheCarIsHeldBySetUpOnAndDrivesTheRacersBody) {
    CPSmartPtr<CPPlayer> racer = MakeRacerBody("");
    physics.AddCar(CPSmartPtr<CPGameObject>(racer.Get()), 1);
    CPCar* car = racer->GetCar();
    ASSERT_NE(car, nullptr);
    EXPECT_TRUE(car->IsHumanCar());
    EXPECT_TRUE(car->GetGearBox()->IsPlayerBox());
    EXPECT_EQ(car->GetOwner(), racer.Get());
    EXPECT_EQ(car->GetRigidBody(), dynamic_cast<CPPhysicData*>(racer->GetPhysicData().Get())->GetRigidBody());
    for (int i = 0; i < 4; ++i) EXPECT_NE(car->GetWheelSensor(i), nullptr);
    Step(120);
    const RbVector start = car->GetRigidBody()->GetPosition();
    for (int i = 0; i < 300; ++i) {
        physics.SetCarControls(CPSmartPtr<CPGameObject>(racer.Get()), 1.0f, 0.0f);
        Step(1);
    }
    EXPECT_LT(car->GetRigidBody()->GetPosition().y, start.y - 1.0f);

    // A second car replaces the first; the racer lets the old one go.
    CPSmartPtr<CPCar> old(car);
    physics.AddCar(CPSmartPtr<CPGameObject>(racer.Get()), 0);
    EXPECT_NE(racer->GetCar(), old.Get());
    EXPECT_EQ(old->GetRefCount(), 1);
    // No files: the slots stay empty, nothing fails.
    for (CNSound* sound : SlotsOf(racer->GetCar())) EXPECT_EQ(sound, nullptr);
}

TEST_F(CarSounds, NoRacerOrNoCarIsIgnored) {
    physics.AddCar(CPSmartPtr<CPGameObject>(), 1);
    physics.SetCarControls(CPSmartPtr<CPGameObject>(), 1.0f, 1.0f);
    CPSmartPtr<CPPlayer> racer = MakeRacerBody("");
    physics.SetCarControls(CPSmartPtr<CPGameObject>(racer.Get()), 1.0f, 1.0f);
    EXPECT_EQ(racer->GetCar(), nullptr);
}

TEST_F(CarSounds, ReloadingStopsTheOldSoundsAndWithoutADeviceLeavesTheSlotsEmpty) {
    WriteSet("a_");
    CPSmartPtr<CPPlayer> racer = MakeRacerBody("");
    racer->SetName("a_");
    physics.AddCar(CPSmartPtr<CPGameObject>(racer.Get()), 1);
    CPCar* car = racer->GetCar();
    CPSmartPtr<CNSound> brake = car->Sounds().brake;
    ASSERT_TRUE(brake);
    brake->Play(0, Platform::Audio::DSBPLAY_LOOPING);
    ASSERT_TRUE(brake->IsPlaying());
    car->LoadSounds("a_", false);
    EXPECT_FALSE(brake->IsPlaying()) << "a replaced sound must not loop on unowned";
    EXPECT_NE(car->Sounds().brake.Get(), brake.Get());
    EXPECT_FALSE(car->IsHumanCar());

    brake = nullptr;
    racers.clear();
    for (int i = 0; i < 4; ++i) IPMMObject::CollectGarbage();
    manager.reset();
    CPSmartPtr<CPPlayer> silent = MakeRacerBody("");
    silent->SetName("a_");
    physics.AddCar(CPSmartPtr<CPGameObject>(silent.Get()), 1);
    for (CNSound* sound : SlotsOf(silent->GetCar())) EXPECT_EQ(sound, nullptr);
    silent->GetCar()->SetBrake(true);
    GetGameData()->levelStarted = true;
    g_weather = 1;
    silent->GetCar()->FrameUpdate(kStep);
}

TEST_F(CarSounds, EngineFrequencyAndVolumeFollowTheEngineSpeed) {
    WriteSet("");
    g_weather = 1;
    g_soundVolume = 0.5f;
    g_timeScale = 1.0f;
    GetGameData()->levelStarted = true;
    CPSmartPtr<CPPlayer> racer = MakeRacerBody("", 4, D3DXVECTOR3(0.0f, 80.0f, 1.0f));
    physics.AddCar(CPSmartPtr<CPGameObject>(racer.Get()), 1);
    CPCar* car = racer->GetCar();
    NullVoiceRecord* engine = VoiceOf(car->Sounds().engine.Get());
    NullVoiceRecord* dirt = VoiceOf(car->Sounds().dirt.Get());
    ASSERT_NE(engine, nullptr);
    ASSERT_NE(dirt, nullptr);
    EXPECT_FALSE(engine->playing);

    auto check = [&](const char* when) {
        const float e = car->GetGearBox()->GetEngineSpeed();
        const float factor = std::min(e / 6.0f + 0.75f, 2.0f) + 0.1f * (0.05f * car->GetSpeed() + 0.5f);
        EXPECT_NEAR(static_cast<double>(engine->frequency), 22050.0 * factor, 1.0) << when;
        EXPECT_EQ(engine->volume, SoundVolumeCurve((1.0f - e * 0.0625f) * 0.5f)) << when;
        EXPECT_TRUE(engine->playing && engine->looping) << when;
        EXPECT_TRUE(dirt->playing && dirt->looping) << when;
    };
    Step(60);
    car->FrameUpdate(kStep);
    EXPECT_EQ(car->GetGearBox()->GetEngineSpeed(), 0.0f);
    check("at rest");
    EXPECT_EQ(engine->volume, SoundVolumeCurve(0.5f));
    // Idle: 0.75 + 0.05 and a little for the settling body's speed.
    EXPECT_LT(car->GetSpeed(), 0.5f);
    EXPECT_NEAR(static_cast<double>(engine->frequency), 22050.0 * 0.8, 22050.0 * 0.0025);

    // Under throttle the engine speed rises through the gears: higher and quieter.
    const auto restFrequency = engine->frequency;
    for (int i = 0; i < 180; ++i) {
        car->SetControls(1.0f, 0.0f);
        Step(1);
        car->FrameUpdate(kStep);
    }
    ASSERT_GT(car->GetGearBox()->GetEngineSpeed(), 1.0f);
    check("under throttle");
    EXPECT_GT(engine->frequency, restFrequency);
    EXPECT_LT(engine->volume, SoundVolumeCurve(0.5f));
    // The dirt sound follows the speed, smoothed.
    EXPECT_GT(car->GetDirtPitch(), 0.0f);
    EXPECT_NEAR(static_cast<double>(dirt->frequency), 22050.0 * car->GetDirtPitch(), 1.0);

    // The global time scale slows both.
    g_timeScale = 0.5f;
    car->FrameUpdate(kStep);
    const float e = car->GetGearBox()->GetEngineSpeed();
    const float factor = (std::min(e / 6.0f + 0.75f, 2.0f) + 0.1f * (0.05f * car->GetSpeed() + 0.5f)) * 0.5f;
    EXPECT_NEAR(static_cast<double>(engine->frequency), 22050.0 * factor, 1.0);
    g_timeScale = 1.0f;
}

TEST_F(CarSounds, WithoutWeatherNoEngineSoundButTheNitroStillBurns) {
    WriteSet("");
    g_weather = 0;
    GetGameData()->levelStarted = true;
    CPSmartPtr<CPPlayer> racer = MakeRacerBody("");
    physics.AddCar(CPSmartPtr<CPGameObject>(racer.Get()), 1);
    CPCar* car = racer->GetCar();
    car->SetNitroMeter(50.0f);
    car->SetNitro(1.0f);
    for (int i = 0; i < 30; ++i) car->FrameUpdate(kStep);
    EXPECT_FALSE(VoiceOf(car->Sounds().engine.Get())->playing);
    EXPECT_FALSE(VoiceOf(car->Sounds().dirt.Get())->playing);
    EXPECT_TRUE(VoiceOf(car->Sounds().nitro.Get())->playing);
    EXPECT_NEAR(car->GetNitroMeter(), 50.0f - 20.0f * 30.0f * kStep, 1e-3f);
}

TEST_F(CarSounds, PullingBackAtSpeedLoopsTheBrakeUntilReleased) {
    WriteSet("");
    CPSmartPtr<CPPlayer> racer = MakeRacerBody("", 4, D3DXVECTOR3(0.0f, 80.0f, 1.0f));
    physics.AddCar(CPSmartPtr<CPGameObject>(racer.Get()), 1);
    CPCar* car = racer->GetCar();
    NullVoiceRecord* brake = VoiceOf(car->Sounds().brake.Get());
    ASSERT_NE(brake, nullptr);
    Step(60);
    for (int i = 0; i < 240; ++i) {
        car->SetControls(1.0f, 0.0f);
        Step(1);
    }
    ASSERT_LT(car->GetRigidBody()->GetVelocity().y, -2.0f);
    for (int i = 0; i < 3; ++i) {
        car->SetControls(-1.0f, 0.0f);
        Step(1);
    }
    EXPECT_TRUE(car->IsBraking());
    EXPECT_TRUE(brake->playing);
    EXPECT_TRUE(brake->looping);
    EXPECT_FALSE(racer->GetChild("stoplights")->IsVisible());
    EXPECT_TRUE(racer->GetChild("stoplights2")->IsVisible());
    // Let go while still rolling: the box lets the engine fall and the brake goes off.
    for (int i = 0; i < 60 * 10 && car->IsBraking(); ++i) {
        car->SetControls(0.0f, 0.0f);
        Step(1);
    }
    EXPECT_FALSE(car->IsBraking());
    EXPECT_FALSE(brake->playing);
    EXPECT_TRUE(racer->GetChild("stoplights")->IsVisible());
}

} // namespace
