#include "Platform/Audio/DirectSound.h"
#include "Platform/Audio/DeviceFixture.h"
#include "Platform/Audio/NullAudio.h"
#include "Platform/Audio/OpenALAudio.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

using namespace Platform::Audio;

namespace {

using kxtest::Pcm;

class DirectSoundTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(DirectSoundCreate8(nullptr, &device, nullptr), DS_OK); }
    void TearDown() override {
        if (device) device->Release();
    }

    IDirectSoundBuffer* Make(DWORD flags, WAVEFORMATEX format, DWORD bytes = 400) {
        DSBUFFERDESC desc;
        desc.dwSize = 36;
        desc.dwFlags = flags;
        desc.dwBufferBytes = bytes;
        desc.lpwfxFormat = &format;
        IDirectSoundBuffer* buffer = nullptr;
        EXPECT_EQ(device->CreateSoundBuffer(&desc, &buffer, nullptr), DS_OK);
        return buffer;
    }

    ScopedNullAudio audio;
    IDirectSound8* device = nullptr;
};

TEST(DirectSoundCreate, NoDeviceIsReportedAndNothingIsCreated) {
    ScopedNullAudio audio;
    audio.system.SetDeviceMissing(true);
    IDirectSound8* device = reinterpret_cast<IDirectSound8*>(1);
    EXPECT_EQ(DirectSoundCreate8(nullptr, &device, nullptr), DSERR_NODRIVER);
    EXPECT_EQ(device, nullptr);
}

TEST(VolumeGain, FollowsTheDecibelScale) {
    EXPECT_FLOAT_EQ(VolumeToGain(0), 1.0f);
    EXPECT_NEAR(VolumeToGain(-2000), 0.1f, 1e-6);
    EXPECT_NEAR(VolumeToGain(-437), std::pow(10.0f, -437 / 2000.0f), 1e-6);
    EXPECT_EQ(VolumeToGain(-10000), 0.0f);
}

TEST(OpenALFrame, MirrorsZAndKeepsTheListenersRightSide) {
    // The engine's listener: top +z, front -y. In its left-handed frame right = top x front = +x.
    float front[3], top[3];
    ToOpenAL(D3DVECTOR{0, -1, 0}, front);
    ToOpenAL(D3DVECTOR{0, 0, 1}, top);
    // OpenAL (right-handed): right = at x up.
    float right[3] = {front[1] * top[2] - front[2] * top[1], front[2] * top[0] - front[0] * top[2],
                      front[0] * top[1] - front[1] * top[0]};
    EXPECT_FLOAT_EQ(right[0], 1.0f);
    EXPECT_FLOAT_EQ(right[1], 0.0f);
    EXPECT_FLOAT_EQ(right[2], 0.0f);
    float p[3];
    ToOpenAL(D3DVECTOR{1, 2, 3}, p);
    EXPECT_EQ(p[0], 1.0f);
    EXPECT_EQ(p[1], 2.0f);
    EXPECT_EQ(p[2], -3.0f);
}

TEST_F(DirectSoundTest, PrimaryFormatNeedsPriorityAndAValidFormat) {
    DSBUFFERDESC desc;
    desc.dwSize = 36;
    desc.dwFlags = DSBCAPS_PRIMARYBUFFER;
    IDirectSoundBuffer* primary = nullptr;
    ASSERT_EQ(device->CreateSoundBuffer(&desc, &primary, nullptr), DS_OK);
    WAVEFORMATEX f = Pcm(2, 8, 22050);
    EXPECT_EQ(primary->SetFormat(&f), DSERR_PRIOLEVELNEEDED);
    ASSERT_EQ(device->SetCooperativeLevel(nullptr, DSSCL_EXCLUSIVE), DS_OK);
    EXPECT_EQ(audio.system.CooperativeLevel(), DSSCL_EXCLUSIVE);
    WAVEFORMATEX bad = Pcm(0, 8, 22050);
    EXPECT_EQ(primary->SetFormat(&bad), DSERR_INVALIDPARAM);
    EXPECT_EQ(primary->SetFormat(&f), DS_OK);
    EXPECT_EQ(audio.system.PrimaryFormat().nSamplesPerSec, 22050u);
    EXPECT_EQ(audio.system.PrimaryFormat().nChannels, 2);
    void* out = nullptr;
    EXPECT_EQ(primary->QueryInterface(IID_IDirectSound3DListener, &out), E_NOINTERFACE);
    primary->Release();
}

TEST_F(DirectSoundTest, SecondaryBuffersRefuseFormatsTheyCannotPlay) {
    DSBUFFERDESC desc;
    desc.dwSize = 36;
    desc.dwFlags = DSBCAPS_CTRLVOLUME;
    desc.dwBufferBytes = 100;
    IDirectSoundBuffer* buffer = nullptr;
    EXPECT_EQ(device->CreateSoundBuffer(&desc, &buffer, nullptr), DSERR_INVALIDPARAM); // no format
    WAVEFORMATEX cases[] = {Pcm(1, 12, 22050), Pcm(3, 16, 22050), Pcm(1, 16, 50), Pcm(1, 16, 300000)};
    WAVEFORMATEX wrongAlign = Pcm(2, 16, 22050);
    wrongAlign.nBlockAlign = 3;
    WAVEFORMATEX notPcm = Pcm(1, 16, 22050);
    notPcm.wFormatTag = 2;
    for (WAVEFORMATEX f : cases) {
        desc.lpwfxFormat = &f;
        EXPECT_EQ(device->CreateSoundBuffer(&desc, &buffer, nullptr), DSERR_BADFORMAT);
        EXPECT_EQ(buffer, nullptr);
    }
    for (WAVEFORMATEX f : {wrongAlign, notPcm}) {
        desc.lpwfxFormat = &f;
        EXPECT_EQ(device->CreateSoundBuffer(&desc, &buffer, nullptr), DSERR_BADFORMAT);
    }
    WAVEFORMATEX ok = Pcm(1, 16, 22050);
    desc.lpwfxFormat = &ok;
    desc.dwBufferBytes = 0;
    EXPECT_EQ(device->CreateSoundBuffer(&desc, &buffer, nullptr), DSERR_INVALIDPARAM);
    EXPECT_TRUE(audio.system.Voices().empty());
}

TEST_F(DirectSoundTest, VolumeAndFrequencyControls) {
    IDirectSoundBuffer* b = Make(DSBCAPS_CTRLVOLUME | DSBCAPS_CTRLFREQUENCY, Pcm(1, 16, 22050));
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b->SetVolume(-437), DS_OK);
    EXPECT_EQ(audio.system.Voice(0).volume, -437);
    EXPECT_EQ(b->SetVolume(1), DSERR_INVALIDPARAM);
    EXPECT_EQ(b->SetVolume(-10001), DSERR_INVALIDPARAM);
    LONG v = 0;
    EXPECT_EQ(b->GetVolume(&v), DS_OK);
    EXPECT_EQ(v, -437);

    EXPECT_EQ(b->SetFrequency(44100), DS_OK);
    DWORD hz = 0;
    b->GetFrequency(&hz);
    EXPECT_EQ(hz, 44100u);
    EXPECT_EQ(b->SetFrequency(DSBFREQUENCY_ORIGINAL), DS_OK);
    b->GetFrequency(&hz);
    EXPECT_EQ(hz, 22050u);
    EXPECT_EQ(b->SetFrequency(99), DSERR_INVALIDPARAM);
    EXPECT_EQ(b->SetFrequency(200001), DSERR_INVALIDPARAM);
    EXPECT_EQ(b->SetFrequency(100), DS_OK);
    EXPECT_EQ(b->SetFrequency(200000), DS_OK);
    b->Release();

    IDirectSoundBuffer* plain = Make(0, Pcm(1, 8, 8000));
    EXPECT_EQ(plain->SetVolume(0), DSERR_CONTROLUNAVAIL);
    EXPECT_EQ(plain->SetFrequency(8000), DSERR_CONTROLUNAVAIL);
    plain->Release();
}

TEST_F(DirectSoundTest, LockUnlockPlayStopAndPosition) {
    IDirectSoundBuffer* b = Make(DSBCAPS_CTRLVOLUME, Pcm(1, 8, 8000), 100);
    EXPECT_EQ(audio.system.Voice(0).data, std::vector<std::uint8_t>(100, 0x80)); // silent until filled
    void* p1 = nullptr;
    void* p2 = nullptr;
    DWORD n1 = 0, n2 = 0;
    EXPECT_EQ(b->Lock(0, 101, &p1, &n1, nullptr, nullptr, 0), DSERR_INVALIDPARAM);
    ASSERT_EQ(b->Lock(90, 20, &p1, &n1, &p2, &n2, 0), DS_OK); // wraps to the start
    EXPECT_EQ(n1, 10u);
    EXPECT_EQ(n2, 10u);
    std::memset(p1, 1, n1);
    std::memset(p2, 2, n2);
    ASSERT_EQ(b->Unlock(p1, n1, p2, n2), DS_OK);
    EXPECT_EQ(audio.system.Voice(0).data[95], 1);
    EXPECT_EQ(audio.system.Voice(0).data[5], 2);
    EXPECT_EQ(b->Unlock(p1, n1, p2, n2), DSERR_INVALIDCALL);

    DWORD status = 9;
    b->GetStatus(&status);
    EXPECT_EQ(status, 0u);
    EXPECT_EQ(b->Play(0, 0, DSBPLAY_LOOPING), DS_OK);
    b->GetStatus(&status);
    EXPECT_EQ(status, DSBSTATUS_PLAYING | DSBSTATUS_LOOPING);
    EXPECT_EQ(b->Play(1, 0, 0), DSERR_INVALIDPARAM);
    EXPECT_EQ(b->SetCurrentPosition(50), DS_OK);
    EXPECT_EQ(b->SetCurrentPosition(100), DSERR_INVALIDPARAM);
    DWORD play = 0;
    b->GetCurrentPosition(&play, nullptr);
    EXPECT_EQ(play, 50u);
    b->Stop();
    b->GetStatus(&status);
    EXPECT_EQ(status, 0u);
    b->Release();
    EXPECT_FALSE(audio.system.Voice(0).alive);
}

TEST_F(DirectSoundTest, ThreeDParametersAreCheckedAndKept) {
    IDirectSoundBuffer* b = Make(DSBCAPS_CTRL3D | DSBCAPS_CTRLVOLUME, Pcm(1, 16, 22050));
    void* out = nullptr;
    ASSERT_EQ(b->QueryInterface(IID_IDirectSound3DBuffer, &out), S_OK);
    auto* b3 = static_cast<IDirectSound3DBuffer*>(out);
    DS3DBUFFER p;
    p.dwSize = 0;
    EXPECT_EQ(b3->GetAllParameters(&p), DSERR_INVALIDPARAM);
    p.dwSize = 64;
    ASSERT_EQ(b3->GetAllParameters(&p), DS_OK);
    EXPECT_EQ(p.flMinDistance, 1.0f);
    p.vPosition = {5, 6, 7};
    p.flMinDistance = 3;
    p.flMaxDistance = 300;
    ASSERT_EQ(b3->SetAllParameters(&p, DS3D_IMMEDIATE), DS_OK);
    EXPECT_EQ(audio.system.Voice(0).parameters.vPosition.z, 7.0f);
    EXPECT_EQ(audio.system.Voice(0).parameters.flMaxDistance, 300.0f);
    DS3DBUFFER bad = p;
    bad.flMinDistance = 0;
    EXPECT_EQ(b3->SetAllParameters(&bad, DS3D_IMMEDIATE), DSERR_INVALIDPARAM);
    bad = p;
    bad.vPosition.x = NAN;
    EXPECT_EQ(b3->SetAllParameters(&bad, DS3D_IMMEDIATE), DSERR_INVALIDPARAM);
    bad = p;
    bad.dwMode = 3;
    EXPECT_EQ(b3->SetAllParameters(&bad, DS3D_IMMEDIATE), DSERR_INVALIDPARAM);
    EXPECT_EQ(audio.system.Voice(0).parameters.flMinDistance, 3.0f); // refused values change nothing
    b3->Release();
    b->Release(); // the 3D interface kept the buffer alive until now
    EXPECT_FALSE(audio.system.Voice(0).alive);

    IDirectSoundBuffer* plain = Make(DSBCAPS_CTRLVOLUME, Pcm(1, 16, 22050));
    EXPECT_EQ(plain->QueryInterface(IID_IDirectSound3DBuffer, &out), E_NOINTERFACE);
    plain->Release();
}

TEST_F(DirectSoundTest, ListenerComesFromThe3DPrimaryBuffer) {
    IDirectSound3DListener* listener = kxtest::OpenListener(device);
    ASSERT_NE(listener, nullptr);
    DS3DLISTENER l;
    ASSERT_EQ(listener->GetAllParameters(&l), DS_OK);
    EXPECT_EQ(l.flRolloffFactor, 1.0f);
    l.vOrientTop = {0, 0, 1};
    l.vOrientFront = {0, -1, 0};
    l.flRolloffFactor = 0.2f;
    l.flDopplerFactor = 0.1f;
    ASSERT_EQ(listener->SetAllParameters(&l, DS3D_IMMEDIATE), DS_OK);
    EXPECT_EQ(audio.system.Listener().vOrientFront.y, -1.0f);
    EXPECT_EQ(audio.system.Listener().flRolloffFactor, 0.2f);
    DS3DLISTENER bad = l;
    bad.flDistanceFactor = 0;
    EXPECT_EQ(listener->SetAllParameters(&bad, DS3D_IMMEDIATE), DSERR_INVALIDPARAM);
    bad = l;
    bad.flRolloffFactor = 11;
    EXPECT_EQ(listener->SetAllParameters(&bad, DS3D_IMMEDIATE), DSERR_INVALIDPARAM);
    EXPECT_EQ(audio.system.ListenerUpdates(), 1);
    listener->Release();
}

TEST_F(DirectSoundTest, LostBufferRefusesLockAndPlayUntilRestored) {
    IDirectSoundBuffer* b = Make(DSBCAPS_CTRLVOLUME, Pcm(1, 16, 22050));
    audio.system.Voice(0).lost = true;
    audio.system.Voice(0).restoreFailures = 1;
    DWORD status = 0;
    b->GetStatus(&status);
    EXPECT_EQ(status, DSBSTATUS_BUFFERLOST);
    EXPECT_EQ(b->Play(0, 0, 0), DSERR_BUFFERLOST);
    void* p = nullptr;
    DWORD n = 0;
    EXPECT_EQ(b->Lock(0, 10, &p, &n, nullptr, nullptr, 0), DSERR_BUFFERLOST);
    EXPECT_EQ(b->Restore(), DSERR_BUFFERLOST);
    EXPECT_EQ(b->Restore(), DS_OK);
    EXPECT_EQ(b->Play(0, 0, 0), DS_OK);
    b->Release();
}

} // namespace
