// "Data\Sounds\Sounds.dat" as the sound manager reads it when the device opens: every line names
// a sound, a wave file and whether it is placed in 3D. Two small waves are there to be named.

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
#include <string>
#include <vector>

namespace {

std::string SmallWave(std::uint16_t channels) {
    auto u16 = [](std::string& s, std::uint16_t v) {
        s += static_cast<char>(v & 0xFF);
        s += static_cast<char>(v >> 8);
    };
    auto u32 = [&](std::string& s, std::uint32_t v) {
        u16(s, static_cast<std::uint16_t>(v & 0xFFFF));
        u16(s, static_cast<std::uint16_t>(v >> 16));
    };
    const std::string samples(64, '\x10');
    std::string w = "RIFF";
    u32(w, 36 + static_cast<std::uint32_t>(samples.size()));
    w += "WAVEfmt ";
    u32(w, 16);
    u16(w, 1);
    u16(w, channels);
    u32(w, 22050);
    u32(w, 22050u * 2u * channels);
    u16(w, static_cast<std::uint16_t>(2 * channels));
    u16(w, 16);
    w += "data";
    u32(w, static_cast<std::uint32_t>(samples.size()));
    return w + samples;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    CPLog::Instance().SetSink(nullptr);
    kxfuzz::GameRoot& root = kxfuzz::GameRoot::Get();
    root.Clear();
    root.Write("Data/Sounds/Sounds.dat", data, size);
    static const std::string mono = SmallWave(1), stereo = SmallWave(2);
    root.Write("Data/Sounds/a.wav", mono);
    root.Write("Data/Sounds/Engine/b.wav", stereo);
    ResetSettingsToDefaults();
    {
        Platform::Audio::ScopedNullAudio audio;
        Platform::Music::ScopedNullMusic music;
        CNAudio manager;
        manager.Init(nullptr);
        std::vector<std::string> names;
        for (const auto& [name, sound] : manager.SoundTable()) names.push_back(name);
        for (const std::string& name : names)
            if (CPSmartPtr<CNSound> sound = manager.GetSound(name)) sound->Play(0, 0);
        manager.GetSound("no such sound");
        manager.ReleaseSounds();
        manager.Release();
        // The sounds' buffers go while the audio system that made them is still there.
        IPMMObject::CollectGarbage();
        IPMMObject::CollectGarbage();
    }
    return 0;
}
