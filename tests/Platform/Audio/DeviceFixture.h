#pragma once
// Sound-device steps the device tests share: PCM formats and the 3D listener.

#include "Platform/Audio/DirectSound.h"

#include <gtest/gtest.h>

namespace kxtest {

inline Platform::Audio::WAVEFORMATEX Pcm(Platform::Audio::WORD channels, Platform::Audio::WORD bits,
                                         Platform::Audio::DWORD rate) {
    Platform::Audio::WAVEFORMATEX f;
    f.wFormatTag = Platform::Audio::WAVE_FORMAT_PCM;
    f.nChannels = channels;
    f.wBitsPerSample = bits;
    f.nSamplesPerSec = rate;
    f.nBlockAlign = static_cast<Platform::Audio::WORD>(channels * bits / 8);
    f.nAvgBytesPerSec = rate * f.nBlockAlign;
    return f;
}

// The listener, as the engine gets it: from a 3D primary buffer, which is released at once.
// Null (with the failed step reported) when the device refuses.
inline Platform::Audio::IDirectSound3DListener* OpenListener(Platform::Audio::IDirectSound8* device) {
    using namespace Platform::Audio;
    DSBUFFERDESC desc;
    desc.dwSize = 36;
    desc.dwFlags = DSBCAPS_PRIMARYBUFFER | DSBCAPS_CTRL3D;
    IDirectSoundBuffer* primary = nullptr;
    EXPECT_EQ(device->CreateSoundBuffer(&desc, &primary, nullptr), DS_OK);
    if (!primary) return nullptr;
    void* out = nullptr;
    EXPECT_EQ(primary->QueryInterface(IID_IDirectSound3DListener, &out), S_OK);
    primary->Release();
    return static_cast<IDirectSound3DListener*>(out);
}

} // namespace kxtest
