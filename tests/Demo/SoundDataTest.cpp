// The demo's sounds and music read back through their readers: every wave of the manifest is a
// wave the engine's reader takes, every car the race can field finds its own set under its
// prefix, the sound table names only waves that are there, and both music tracks decode.
#include <sndfile.h>

#include <set>
#include <string>
#include <vector>

#include "DemoRoot.h"
#include "Framework/PStringSplitter.h"
#include "Framework/PTextReader.h"
#include "Platform/Audio/WaveFile.h"

namespace demotest {
namespace {

using DemoSounds = DemoRoot;

// Opens a wave of the game root and answers its sample bytes (0 when it cannot be read).
unsigned WaveSize(const std::string& path, Platform::Audio::WAVEFORMATEX* format = nullptr) {
    Platform::Audio::WaveFile wave;
    if (FAILED(wave.Open(EnginePath(path).c_str(), nullptr, Platform::Audio::WAVEFILE_READ))) return 0;
    if (format && wave.GetFormat()) *format = *wave.GetFormat();
    return wave.GetSize();
}

TEST_F(DemoSounds, EveryWaveReadsAsSixteenBitMono) {
    const std::vector<std::string> waves = Manifested(".wav");
    ASSERT_FALSE(waves.empty());
    for (const std::string& path : waves) {
        SCOPED_TRACE(path);
        Platform::Audio::WAVEFORMATEX format{};
        EXPECT_GT(WaveSize(path, &format), 1000u);
        EXPECT_EQ(format.wFormatTag, 1);
        EXPECT_EQ(format.nChannels, 1);
        EXPECT_EQ(format.wBitsPerSample, 16);
    }
}

TEST_F(DemoSounds, EveryCarFindsItsSoundsUnderItsPrefix) {
    const char* const prefixes[] = {"runner",
                                    "hauler",
                                    "subaru5_enemy.rdf",
                                    "subaru4_enemy.rdf",
                                    "subaru3_enemy.rdf",
                                    "celica5_enemy.rdf",
                                    "celica4_enemy.rdf",
                                    "celica3_enemy.rdf"};
    const char* const files[] = {"slam.wav",  "diesel_run.wav", "dirt.wav", "diesel_accel.wav", "brake.wav",
                                 "nitro.wav", "hit1.wav",       "hit2.wav", "hit3.wav"};
    for (const char* prefix : prefixes)
        for (const char* file : files)
            EXPECT_GT(WaveSize(std::string("Data/Sounds/") + prefix + file), 0u) << prefix << file;
    for (const char* shared : {"hit4.wav", "hit5.wav", "kethro.wav"})
        EXPECT_GT(WaveSize(std::string("Data/Sounds/") + shared), 0u) << shared;
}

TEST_F(DemoSounds, TheSoundTableNamesOnlyWavesThatAreThere) {
    const std::string table = ReadThroughFileLayer("Data/Sounds/Sounds.dat");
    ASSERT_FALSE(table.empty());
    CPTextReader reader(reinterpret_cast<const std::uint8_t*>(table.data()), static_cast<int>(table.size()));
    std::set<std::string> names;
    while (reader.ReadNextLine()) {
        CPStringSplitter splitter(reader.GetLine(), ";", true);
        std::string name, wave, kind;
        splitter.NextToken(name);
        splitter.NextToken(wave);
        splitter.NextToken(kind);
        names.insert(name);
        EXPECT_GT(WaveSize("Data/Sounds/" + wave), 0u) << name;
        EXPECT_TRUE(kind == "2d" || kind == "3d") << name;
    }
    for (const char* needed :
         {"fast", "slam", "undo_weapon", "change_weapon", "menu_move", "menu_select", "turret_fire", "turret_death"})
        EXPECT_EQ(names.count(needed), 1u) << needed;
}

TEST_F(DemoSounds, BothMusicTracksDecode) {
    const std::vector<std::string> tracks = Manifested(".ogg");
    ASSERT_EQ(tracks.size(), 2u);
    for (const std::string& track : tracks) {
        SCOPED_TRACE(track);
        SF_INFO info{};
        SNDFILE* file = sf_open((fs::path(store.Path()) / track).string().c_str(), SFM_READ, &info);
        ASSERT_NE(file, nullptr) << sf_strerror(nullptr);
        EXPECT_EQ(info.format & SF_FORMAT_SUBMASK, SF_FORMAT_VORBIS);
        EXPECT_GT(info.frames, info.samplerate * 10) << "at least ten seconds";
        std::vector<float> frames(4096);
        double peak = 0;
        sf_count_t read = 0;
        while ((read = sf_readf_float(file, frames.data(), 4096 / info.channels)) > 0)
            for (sf_count_t i = 0; i < read * info.channels; ++i) peak = std::max(peak, static_cast<double>(frames[i]));
        sf_close(file);
        EXPECT_GT(peak, 0.1) << "not silence";
    }
}

} // namespace
} // namespace demotest
