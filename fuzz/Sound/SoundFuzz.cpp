// A wave file made into a sound by the sound manager on the silent audio system, as a named
// sound or a 3D one: its buffer filled, played, placed, stopped and released.

#include "Framework/PLog.h"
#include "Framework/PMMObject.h"
#include "Framework/PSettings.h"
#include "FuzzSupport.h"
#include "Platform/Audio/NullAudio.h"
#include "Platform/Music/MusicPlayer.h"
#include "Sound/NAudio.h"
#include "Sound/NSound.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    CPLog::Instance().SetSink(nullptr);
    kxfuzz::GameRoot& root = kxfuzz::GameRoot::Get();
    root.Clear();
    root.Write("Data/Sounds/fuzz.wav", data, size);
    ResetSettingsToDefaults();
    {
        Platform::Audio::ScopedNullAudio audio;
        Platform::Music::ScopedNullMusic music;
        CNAudio manager;
        manager.Init(nullptr);
        for (int is3D = 0; is3D < 2; ++is3D) {
            CPSmartPtr<CNSound> sound;
            manager.CreateSound(sound, "fuzz.wav", is3D, true);
            if (!sound) continue;
            sound->Play(0, 0);
            manager.SetSoundPosition(sound, D3DVECTOR{1, 2, 3}, D3DVECTOR{0, 0, 1});
            manager.SetSoundDistances(sound, 1.0f, 100.0f);
            sound->SetFrequencyFactor(2.0f);
            sound->SetVolume(0.5f);
            sound->IsPlaying();
            sound->Rewind();
            sound->Stop();
        }
        manager.ReleaseSounds();
        manager.Release();
        // The sounds' buffers go while the audio system that made them is still there.
        IPMMObject::CollectGarbage();
        IPMMObject::CollectGarbage();
    }
    return 0;
}
