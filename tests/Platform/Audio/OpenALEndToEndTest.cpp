// A played sound reaches OpenAL Soft's mix, on the side the engine's frame puts it.

#include "Platform/Audio/DeviceFixture.h"
#include "Platform/Audio/DirectSound.h"
#include "Platform/Audio/OpenALHeadless.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <thread>
#include <vector>

using namespace Platform::Audio;

namespace {

class OpenALEndToEnd : public ::testing::Test {
protected:
    void SetUp() override {
        kxtest::OpenALHeadless::Get();
        SetAudioSystem(nullptr); // the real system
        ASSERT_EQ(DirectSoundCreate8(nullptr, &device, nullptr), DS_OK);
        ASSERT_EQ(device->SetCooperativeLevel(nullptr, DSSCL_EXCLUSIVE), DS_OK);
    }
    void TearDown() override {
        if (device) device->Release();
    }

    void SetListener() {
        IDirectSound3DListener* listener = kxtest::OpenListener(device);
        ASSERT_NE(listener, nullptr);
        DS3DLISTENER l;
        listener->GetAllParameters(&l);
        l.vOrientTop = {0, 0, 1}; // the engine's world is z-up, looking down -y
        l.vOrientFront = {0, -1, 0};
        l.flRolloffFactor = 0.2f;
        ASSERT_EQ(listener->SetAllParameters(&l, DS3D_IMMEDIATE), DS_OK);
        listener->Release();
    }

    // Half a second of a 440 Hz tone, 16-bit, the same on every channel.
    IDirectSoundBuffer* Tone(bool with3D, WORD channels = 1) {
        WAVEFORMATEX f = kxtest::Pcm(channels, 16, 22050);
        DSBUFFERDESC desc;
        desc.dwSize = 36;
        desc.dwFlags = DSBCAPS_CTRLVOLUME | DSBCAPS_CTRLFREQUENCY | (with3D ? DSBCAPS_CTRL3D : 0);
        desc.dwBufferBytes = 22050u * channels;
        desc.lpwfxFormat = &f;
        IDirectSoundBuffer* b = nullptr;
        EXPECT_EQ(device->CreateSoundBuffer(&desc, &b, nullptr), DS_OK);
        if (!b) return nullptr;
        void* p = nullptr;
        DWORD n = 0;
        EXPECT_EQ(b->Lock(0, desc.dwBufferBytes, &p, &n, nullptr, nullptr, 0), DS_OK);
        auto* s = static_cast<std::int16_t*>(p);
        for (DWORD i = 0; i < n / 2; ++i)
            s[i] = static_cast<std::int16_t>(12000 * std::sin((i / channels) * 2 * M_PI * 440 / 22050));
        EXPECT_EQ(b->Unlock(p, n, nullptr, 0), DS_OK);
        return b;
    }

    kxtest::OpenALHeadless::Mix PlayAndMix(IDirectSoundBuffer* b) {
        EXPECT_EQ(b->Play(0, 0, DSBPLAY_LOOPING), DS_OK);
        DWORD status = 0;
        b->GetStatus(&status);
        EXPECT_TRUE(status & DSBSTATUS_PLAYING);
        std::this_thread::sleep_for(std::chrono::milliseconds(400));
        b->Stop();
        b->Release();
        device->Release(); // closes the writer's file
        device = nullptr;
        return kxtest::OpenALHeadless::Get().ReadMix();
    }

    IDirectSound8* device = nullptr;
};

TEST_F(OpenALEndToEnd, PlainSoundReachesBothChannels) {
    IDirectSoundBuffer* b = Tone(false);
    auto mix = PlayAndMix(b);
    ASSERT_TRUE(mix.read);
    ASSERT_EQ(mix.channels, 2);
    EXPECT_GT(mix.frames, 2000u);
    EXPECT_GT(mix.rmsLeft, 500.0);
    EXPECT_GT(mix.rmsRight, 500.0);
    EXPECT_NEAR(mix.rmsLeft / mix.rmsRight, 1.0, 0.1);
}

struct SideCase {
    float x;
    bool right;
};

class OpenALSides : public OpenALEndToEnd, public ::testing::WithParamInterface<SideCase> {};

void PlaceAt(IDirectSoundBuffer* b, float x) {
    void* out = nullptr;
    ASSERT_EQ(b->QueryInterface(IID_IDirectSound3DBuffer, &out), S_OK);
    auto* b3 = static_cast<IDirectSound3DBuffer*>(out);
    DS3DBUFFER p;
    b3->GetAllParameters(&p);
    p.vPosition = {x, 0, 0};
    p.flMinDistance = 3;
    p.flMaxDistance = 300;
    ASSERT_EQ(b3->SetAllParameters(&p, DS3D_IMMEDIATE), DS_OK);
    b3->Release();
}

TEST_P(OpenALSides, ThreeDSoundIsHeardOnItsSide) {
    SetListener();
    IDirectSoundBuffer* b = Tone(true);
    PlaceAt(b, GetParam().x);
    auto mix = PlayAndMix(b);
    ASSERT_TRUE(mix.read);
    double louder = GetParam().right ? mix.rmsRight : mix.rmsLeft;
    double quieter = GetParam().right ? mix.rmsLeft : mix.rmsRight;
    EXPECT_GT(louder, 300.0);
    EXPECT_GT(louder, 2.0 * quieter);
}

// A second placement that only moves the sound (the distances stay) still reaches the mix.
TEST_F(OpenALEndToEnd, MovedSoundIsHeardWhereItWentTo) {
    SetListener();
    IDirectSoundBuffer* b = Tone(true);
    PlaceAt(b, 5.0f);
    PlaceAt(b, -5.0f);
    auto mix = PlayAndMix(b);
    ASSERT_TRUE(mix.read);
    EXPECT_GT(mix.rmsLeft, 300.0);
    EXPECT_GT(mix.rmsLeft, 2.0 * mix.rmsRight);
}

INSTANTIATE_TEST_SUITE_P(LeftAndRight, OpenALSides, ::testing::Values(SideCase{5.0f, true}, SideCase{-5.0f, false}),
                         [](const auto& info) { return std::string(info.param.right ? "Right" : "Left"); });

// The tone's RMS on one channel when nothing attenuates it.
constexpr double kFullRms = 12000.0 / 1.41421356;

// DirectSound's rolloff: gain = min / (min + rolloff x (distance - min)), the distance held
// to the maximum distance; OpenAL's clamped inverse model is the same rule.
TEST_F(OpenALEndToEnd, DistantSoundFollowsTheRolloffRule) {
    IDirectSoundBuffer* b = Tone(true);
    PlaceAt(b, 1000.0f); // beyond the maximum distance of 300
    SetListener();       // a rolloff of 0.2 reaches the buffers that exist
    auto mix = PlayAndMix(b);
    ASSERT_TRUE(mix.read);
    const double expected = kFullRms * 3.0 / (3.0 + 0.2 * (300.0 - 3.0));
    EXPECT_NEAR(mix.rmsRight, expected, 0.1 * expected);
    EXPECT_LT(mix.rmsLeft, 0.05 * mix.rmsRight);
}

// OpenAL spatialises mono sources only: a stereo file in a 3D buffer plays as it is, on both
// sides and unattenuated, wherever it is placed.
TEST_F(OpenALEndToEnd, StereoThreeDSoundPlaysUnspatialised) {
    SetListener();
    IDirectSoundBuffer* b = Tone(true, 2);
    PlaceAt(b, 300.0f);
    auto mix = PlayAndMix(b);
    ASSERT_TRUE(mix.read);
    EXPECT_GT(mix.rmsLeft, 0.8 * kFullRms);
    EXPECT_NEAR(mix.rmsLeft / mix.rmsRight, 1.0, 0.1);
}

// The engine keeps a buffer for every named sound, car and shot; the mixer must not run out
// of voices long before memory does.
TEST_F(OpenALEndToEnd, HundredsOfBuffersCanExistAtOnce) {
    std::vector<IDirectSoundBuffer*> buffers;
    for (int i = 0; i < 600; ++i) {
        IDirectSoundBuffer* b = Tone(i % 2 == 0, static_cast<WORD>(1 + i % 4 / 2));
        if (!b) break;
        buffers.push_back(b);
    }
    EXPECT_EQ(buffers.size(), 600u);
    for (IDirectSoundBuffer* b : buffers) b->Release();
}

TEST_F(OpenALEndToEnd, SilentVolumeAddsNothing) {
    IDirectSoundBuffer* b = Tone(false);
    ASSERT_EQ(b->SetVolume(DSBVOLUME_MIN), DS_OK);
    auto mix = PlayAndMix(b);
    ASSERT_TRUE(mix.read);
    EXPECT_LT(mix.rmsLeft, 1.0);
    EXPECT_LT(mix.rmsRight, 1.0);
}

} // namespace
