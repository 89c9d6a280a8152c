// Music files of the formats a user's music folder may hold stream through libsndfile into
// OpenAL Soft (headless, its wave writer), report their end, and can be run again.

#include "Platform/Audio/OpenALHeadless.h"
#include "Platform/Music/MusicPlayer.h"
#include "Platform/System/Paths.h"
#include "support/HostilePaths.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <chrono>
#include <cmath>
#include <thread>
#include <vector>

using namespace Platform::Music;

namespace {

// A quarter of a second of a stereo tone in the given container and codec.
bool WriteTone(const std::string& path, int format) {
    SF_INFO info{};
    info.samplerate = 22050;
    info.channels = 2;
    info.format = format;
    if (!sf_format_check(&info)) return false;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    if (!file) return false;
    std::vector<float> frames(22050 / 4 * 2);
    for (std::size_t i = 0; i < frames.size() / 2; ++i)
        frames[2 * i] = frames[2 * i + 1] = 0.4f * static_cast<float>(std::sin(i * 2 * M_PI * 330 / 22050));
    sf_count_t written = sf_writef_float(file, frames.data(), static_cast<sf_count_t>(frames.size() / 2));
    sf_close(file);
    return written == static_cast<sf_count_t>(frames.size() / 2);
}

// Polls like the music task does, for at most a few seconds.
bool WaitForEnd(IMusicPlayer& player) {
    for (int i = 0; i < 500; ++i) {
        long code = 0;
        if (player.GetEvent(&code) == S_OK) return code == EC_COMPLETE;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

struct FormatCase {
    const char* file;
    int format;
};

class MusicFormats : public ::testing::TestWithParam<FormatCase> {
protected:
    void SetUp() override {
        kxtest::OpenALHeadless::Get();
        SetMusicSystem(nullptr);
    }
    kxtest::TempGameRoot root;
};

TEST_P(MusicFormats, PlaysToTheEndIntoTheMix) {
    const FormatCase c = GetParam();
    root.MakeDir("Data/Music");
    ASSERT_TRUE(WriteTone(root.Path() + "/Data/Music/" + c.file, c.format)) << "cannot write " << c.file;
    {
        auto player = GetMusicSystem().CreatePlayer();
        ASSERT_TRUE(player);
        ASSERT_EQ(player->RenderFile(std::string("data\\MUSIC\\") + c.file), S_OK);
        FILTER_STATE state = State_Running;
        ASSERT_EQ(player->GetState(&state), S_OK);
        EXPECT_EQ(state, State_Stopped);
        long code = 0;
        EXPECT_EQ(player->GetEvent(&code), Platform::Audio::E_ABORT);
        ASSERT_EQ(player->SetVolume(0), S_OK);
        ASSERT_EQ(player->Run(), S_OK);
        ASSERT_TRUE(WaitForEnd(*player));
        // Like a filter graph, the player stays running until it is stopped.
        player->GetState(&state);
        EXPECT_EQ(state, State_Running);
        EXPECT_EQ(player->GetEvent(&code), Platform::Audio::E_ABORT); // reported once
        ASSERT_EQ(player->Stop(), S_OK);
        player->GetState(&state);
        EXPECT_EQ(state, State_Stopped);
    }
    auto mix = kxtest::OpenALHeadless::Get().ReadMix();
    ASSERT_TRUE(mix.read);
    EXPECT_GT(mix.rmsLeft, 300.0);
    EXPECT_GT(mix.rmsRight, 300.0);
}

INSTANTIATE_TEST_SUITE_P(Formats, MusicFormats,
                         ::testing::Values(FormatCase{"track.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16},
                                           FormatCase{"track.ogg", SF_FORMAT_OGG | SF_FORMAT_VORBIS},
                                           FormatCase{"track.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16},
                                           FormatCase{"track.mp3", SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III}),
                         [](const auto& info) {
                             std::string name = info.param.file;
                             return name.substr(name.find('.') + 1);
                         });

TEST_F(MusicFormats, RewoundTrackPlaysAndEndsAgain) {
    root.MakeDir("Data/Music");
    ASSERT_TRUE(WriteTone(root.Path() + "/Data/Music/loop.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16));
    auto player = GetMusicSystem().CreatePlayer();
    ASSERT_EQ(player->RenderFile("Data\\Music\\loop.wav"), S_OK);
    ASSERT_EQ(player->Run(), S_OK);
    ASSERT_TRUE(WaitForEnd(*player));
    ASSERT_EQ(player->Stop(), S_OK);
    ASSERT_EQ(player->SeekToStart(), S_OK);
    ASSERT_EQ(player->Run(), S_OK);
    EXPECT_TRUE(WaitForEnd(*player));
}

// The main thread drives the player while its thread streams; under a thread sanitizer this
// shows the two share nothing unguarded, and a player destroyed mid-stream stops its thread.
TEST_F(MusicFormats, ControlsWhileStreamingAndDestroyingMidStreamAreSafe) {
    root.MakeDir("Data/Music");
    ASSERT_TRUE(WriteTone(root.Path() + "/Data/Music/busy.ogg", SF_FORMAT_OGG | SF_FORMAT_VORBIS));
    auto player = GetMusicSystem().CreatePlayer();
    ASSERT_EQ(player->RenderFile("Data\\Music\\busy.ogg"), S_OK);
    for (int i = 0; i < 40; ++i) {
        ASSERT_EQ(player->Run(), S_OK);
        ASSERT_EQ(player->SetVolume(-100 * (i % 10)), S_OK);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        if (i % 3 == 0) {
            ASSERT_EQ(player->Stop(), S_OK);
        }
        if (i % 5 == 0) {
            ASSERT_EQ(player->SeekToStart(), S_OK);
        }
        FILTER_STATE state;
        ASSERT_EQ(player->GetState(&state), S_OK);
        long code = 0;
        player->GetEvent(&code);
    }
    ASSERT_EQ(player->SeekToStart(), S_OK);
    ASSERT_EQ(player->Run(), S_OK);
    EXPECT_TRUE(WaitForEnd(*player)); // the stream still ends, and says so

    ASSERT_EQ(player->SeekToStart(), S_OK);
    ASSERT_EQ(player->Run(), S_OK);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    player.reset(); // joins the streaming thread
}

TEST_F(MusicFormats, MissingAndUnreadableFilesAreRefused) {
    auto player = GetMusicSystem().CreatePlayer();
    EXPECT_EQ(player->RenderFile("Data\\Music\\none.ogg"), Platform::Audio::VFW_E_NOT_FOUND);
    root.Write("Data/Music/noise.mp3", std::string(3000, 'x'));
    EXPECT_LT(player->RenderFile("Data\\Music\\noise.mp3"), 0);
    // Nothing loaded: every control fails quietly.
    EXPECT_LT(player->Run(), 0);
    FILTER_STATE state;
    EXPECT_LT(player->GetState(&state), 0);
}

TEST_F(MusicFormats, NoRegularFileIsOpened) {
    // A FIFO without a writer would hold the music library's open for ever; a link to /dev/zero
    // would be streamed as noise without end.
    auto player = GetMusicSystem().CreatePlayer();
    for (const auto& c : kxtest::HostileCases()) {
        SCOPED_TRACE(c.name);
        const std::string name = "hostile" + std::to_string(static_cast<int>(c.kind)) + ".wav";
        if (!kxtest::MakeHostile(c.kind, root.Path() + "/" + name)) continue;
        Platform::GamePaths().Refresh();
        EXPECT_LT(player->RenderFile(name), 0);
        EXPECT_TRUE(kxtest::HostileIntact(c.kind, root.Path() + "/" + name));
    }
}

} // namespace
