// A played sound reaches OpenAL Soft's mix, on the side the engine's frame puts it.

#include "Platform/Audio/DirectSound.h"
#include "Platform/Audio/OpenALHeadless.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <thread>

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
        DSBUFFERDESC desc;
        desc.dwSize = 36;
        desc.dwFlags = DSBCAPS_PRIMARYBUFFER | DSBCAPS_CTRL3D;
        IDirectSoundBuffer* primary = nullptr;
        ASSERT_EQ(device->CreateSoundBuffer(&desc, &primary, nullptr), DS_OK);
        void* out = nullptr;
        ASSERT_EQ(primary->QueryInterface(IID_IDirectSound3DListener, &out), S_OK);
        primary->Release();
        auto* listener = static_cast<IDirectSound3DListener*>(out);
        DS3DLISTENER l;
        listener->GetAllParameters(&l);
        l.vOrientTop = {0, 0, 1}; // the engine's world is z-up, looking down -y
        l.vOrientFront = {0, -1, 0};
        l.flRolloffFactor = 0.2f;
        ASSERT_EQ(listener->SetAllParameters(&l, DS3D_IMMEDIATE), DS_OK);
        listener->Release();
    }

    // Half a second of a 440 Hz tone, mono 16-bit.
    IDirectSoundBuffer* Tone(bool with3D) {
        WAVEFORMATEX f;
        f.wFormatTag = WAVE_FORMAT_PCM;
        f.nChannels = 1;
        f.wBitsPerSample = 16;
        f.nSamplesPerSec = 22050;
        f.nBlockAlign = 2;
        f.nAvgBytesPerSec = 44100;
        DSBUFFERDESC desc;
        desc.dwSize = 36;
        desc.dwFlags = DSBCAPS_CTRLVOLUME | DSBCAPS_CTRLFREQUENCY | (with3D ? DSBCAPS_CTRL3D : 0);
        desc.dwBufferBytes = 22050;
        desc.lpwfxFormat = &f;
        IDirectSoundBuffer* b = nullptr;
        EXPECT_EQ(device->CreateSoundBuffer(&desc, &b, nullptr), DS_OK);
        void* p = nullptr;
        DWORD n = 0;
        EXPECT_EQ(b->Lock(0, desc.dwBufferBytes, &p, &n, nullptr, nullptr, 0), DS_OK);
        auto* s = static_cast<std::int16_t*>(p);
        for (DWORD i = 0; i < n / 2; ++i) s[i] = static_cast<std::int16_t>(12000 * std::sin(i * 2 * M_PI * 440 / 22050));
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

TEST_P(OpenALSides, ThreeDSoundIsHeardOnItsSide) {
    SetListener();
    IDirectSoundBuffer* b = Tone(true);
    void* out = nullptr;
    ASSERT_EQ(b->QueryInterface(IID_IDirectSound3DBuffer, &out), S_OK);
    auto* b3 = static_cast<IDirectSound3DBuffer*>(out);
    DS3DBUFFER p;
    b3->GetAllParameters(&p);
    p.vPosition = {GetParam().x, 0, 0};
    p.flMinDistance = 3;
    p.flMaxDistance = 300;
    ASSERT_EQ(b3->SetAllParameters(&p, DS3D_IMMEDIATE), DS_OK);
    b3->Release();
    auto mix = PlayAndMix(b);
    ASSERT_TRUE(mix.read);
    double louder = GetParam().right ? mix.rmsRight : mix.rmsLeft;
    double quieter = GetParam().right ? mix.rmsLeft : mix.rmsRight;
    EXPECT_GT(louder, 300.0);
    EXPECT_GT(louder, 2.0 * quieter);
}

INSTANTIATE_TEST_SUITE_P(LeftAndRight, OpenALSides, ::testing::Values(SideCase{5.0f, true}, SideCase{-5.0f, false}),
                         [](const auto& info) { return std::string(info.param.right ? "Right" : "Left"); });

TEST_F(OpenALEndToEnd, SilentVolumeAddsNothing) {
    IDirectSoundBuffer* b = Tone(false);
    ASSERT_EQ(b->SetVolume(DSBVOLUME_MIN), DS_OK);
    auto mix = PlayAndMix(b);
    ASSERT_TRUE(mix.read);
    EXPECT_LT(mix.rmsLeft, 1.0);
    EXPECT_LT(mix.rmsRight, 1.0);
}

} // namespace
