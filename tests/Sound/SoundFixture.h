#pragma once
// A silent sound world for tests: the null audio and music systems, a temporary game root,
// default settings, and a recorder of the commands sent to scripts.

#include "Framework/CommandRouter.h"
#include "Framework/PMMObject.h"
#include "Framework/PSettings.h"
#include "Platform/Audio/NullAudio.h"
#include "Platform/Audio/WaveFixture.h"
#include "Platform/Music/MusicPlayer.h"
#include "Sound/NSound.h"
#include "support/RecordingRouter.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kxtest {

class SoundTestBase : public ::testing::Test {
protected:
    void SetUp() override {
        ResetSettingsToDefaults();
        CNSound::SetGlobalVolume(0.0f);
        CNSound::SetGlobalFrequencyFactor(1.0f);
        SetCommandRouter(&commands);
    }
    void TearDown() override {
        SetCommandRouter(nullptr);
        IPMMObject::CollectGarbage();
        IPMMObject::CollectGarbage();
        CNSound::SetGlobalVolume(0.0f);
        CNSound::SetGlobalFrequencyFactor(1.0f);
        ResetSettingsToDefaults();
    }

    // A wave file under Data\Sounds.
    std::vector<std::uint8_t> WriteWave(const std::string& name, std::uint16_t bits = 16, std::uint16_t channels = 1,
                                        std::size_t bytes = 400, std::uint32_t rate = 22050) {
        WaveLayout layout;
        layout.bits = bits;
        layout.channels = channels;
        layout.rate = rate;
        layout.samples = Pattern(bytes);
        root.Write("Data/Sounds/" + name, MakeWave(layout));
        return layout.samples;
    }

    Platform::Audio::IDirectSound8* OpenDevice() {
        Platform::Audio::IDirectSound8* device = nullptr;
        EXPECT_EQ(Platform::Audio::DirectSoundCreate8(nullptr, &device, nullptr), S_OK);
        return device;
    }

    TempGameRoot root;
    Platform::Audio::ScopedNullAudio audio;
    Platform::Music::ScopedNullMusic music;
    RecordingRouter commands;
};

} // namespace kxtest
