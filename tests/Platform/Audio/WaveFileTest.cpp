#include "Platform/Audio/WaveFile.h"
#include "Platform/Audio/WaveFixture.h"
#include "Platform/System/Paths.h"
#include "support/HostilePaths.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

using namespace Platform::Audio;
using kxtest::MakeWave;
using kxtest::Pattern;
using kxtest::WaveLayout;

namespace {

class WaveFileTest : public ::testing::Test {
protected:
    kxtest::TempGameRoot root;

    std::vector<std::uint8_t> ReadAll(WaveFile& wave, DWORD chunk = 1 << 20) {
        std::vector<std::uint8_t> out;
        std::vector<std::uint8_t> buffer(chunk);
        for (;;) {
            DWORD got = 0;
            EXPECT_EQ(wave.Read(buffer.data(), chunk, &got), S_OK);
            if (got == 0) break;
            out.insert(out.end(), buffer.begin(), buffer.begin() + got);
        }
        return out;
    }
};

struct FormatCase {
    std::uint16_t channels, bits;
    std::uint32_t rate;
};

class WaveFormats : public WaveFileTest, public ::testing::WithParamInterface<FormatCase> {};

TEST_P(WaveFormats, ReadsFormatAndEverySampleByte) {
    const FormatCase c = GetParam();
    WaveLayout layout;
    layout.channels = c.channels;
    layout.bits = c.bits;
    layout.rate = c.rate;
    layout.samples = Pattern(c.channels * (c.bits / 8) * 101u);
    root.Write("Data/Sounds/tone.wav", MakeWave(layout));

    WaveFile wave;
    ASSERT_EQ(wave.Open("data\\SOUNDS\\Tone.WAV", nullptr, WAVEFILE_READ), S_OK);
    const WAVEFORMATEX* f = wave.GetFormat();
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(f->wFormatTag, WAVE_FORMAT_PCM);
    EXPECT_EQ(f->nChannels, c.channels);
    EXPECT_EQ(f->wBitsPerSample, c.bits);
    EXPECT_EQ(f->nSamplesPerSec, c.rate);
    EXPECT_EQ(f->nBlockAlign, c.channels * c.bits / 8);
    EXPECT_EQ(f->cbSize, 0);
    EXPECT_EQ(wave.GetSize(), layout.samples.size());
    EXPECT_EQ(ReadAll(wave, 64), layout.samples);
}

INSTANTIATE_TEST_SUITE_P(All, WaveFormats,
                         ::testing::Values(FormatCase{1, 8, 11025}, FormatCase{2, 8, 22050}, FormatCase{1, 16, 44100},
                                           FormatCase{2, 16, 48000}),
                         [](const auto& info) {
                             return std::to_string(info.param.channels) + "ch" + std::to_string(info.param.bits) +
                                    "bit";
                         });

TEST_F(WaveFileTest, SkipsChunksAroundTheFormatAndTheData) {
    WaveLayout layout;
    layout.samples = Pattern(40);
    layout.chunkBeforeFmt = true; // odd-sized, padded
    layout.chunkBeforeData = true;
    layout.fmtSize = 18; // PCM with the two extra bytes: extra size stays 0
    root.Write("a.wav", MakeWave(layout));
    WaveFile wave;
    ASSERT_EQ(wave.Open("a.wav", nullptr, WAVEFILE_READ), S_OK);
    EXPECT_EQ(wave.GetFormat()->cbSize, 0);
    EXPECT_EQ(ReadAll(wave), layout.samples);
}

TEST_F(WaveFileTest, NonPcmFormatKeepsItsExtraBytes) {
    WaveLayout layout;
    layout.formatTag = 2;
    layout.bits = 4;
    layout.fmtSize = 22;
    layout.fmtExtra = {1, 2, 3, 4};
    layout.samples = Pattern(10);
    root.Write("adpcm.wav", MakeWave(layout));
    WaveFile wave;
    ASSERT_EQ(wave.Open("adpcm.wav", nullptr, WAVEFILE_READ), S_OK);
    const WAVEFORMATEX* f = wave.GetFormat();
    ASSERT_EQ(f->cbSize, 4);
    const auto* extra = reinterpret_cast<const std::uint8_t*>(f) + sizeof(WAVEFORMATEX);
    EXPECT_EQ(std::vector<std::uint8_t>(extra, extra + 4), (std::vector<std::uint8_t>{1, 2, 3, 4}));
}

TEST_F(WaveFileTest, ReadingPastTheEndGivesTheRestAndResetRereads) {
    WaveLayout layout;
    layout.samples = Pattern(30);
    root.Write("a.wav", MakeWave(layout));
    WaveFile wave;
    ASSERT_EQ(wave.Open("a.wav", nullptr, WAVEFILE_READ), S_OK);
    std::vector<std::uint8_t> buffer(100);
    DWORD got = 0;
    ASSERT_EQ(wave.Read(buffer.data(), 20, &got), S_OK);
    EXPECT_EQ(got, 20u);
    ASSERT_EQ(wave.Read(buffer.data(), 100, &got), S_OK);
    EXPECT_EQ(got, 10u);
    EXPECT_EQ(std::vector<std::uint8_t>(buffer.begin(), buffer.begin() + 10),
              std::vector<std::uint8_t>(layout.samples.begin() + 20, layout.samples.end()));
    ASSERT_EQ(wave.ResetFile(), S_OK);
    EXPECT_EQ(ReadAll(wave), layout.samples);
}

TEST_F(WaveFileTest, DataSizeBeyondTheFileIsCutToTheBytesPresent) {
    WaveLayout layout;
    layout.samples = Pattern(50);
    layout.dataSizeDelta = 1000000; // the header lies
    root.Write("lying.wav", MakeWave(layout));
    WaveFile wave;
    ASSERT_EQ(wave.Open("lying.wav", nullptr, WAVEFILE_READ), S_OK);
    EXPECT_EQ(wave.GetSize(), 50u);
    EXPECT_EQ(ReadAll(wave), layout.samples);
}

TEST_F(WaveFileTest, TruncatedSampleDataYieldsWhatIsThere) {
    WaveLayout layout;
    layout.samples = Pattern(64);
    layout.truncateBy = 24;
    root.Write("cut.wav", MakeWave(layout));
    WaveFile wave;
    ASSERT_EQ(wave.Open("cut.wav", nullptr, WAVEFILE_READ), S_OK);
    EXPECT_EQ(wave.GetSize(), 40u);
    EXPECT_EQ(ReadAll(wave), std::vector<std::uint8_t>(layout.samples.begin(), layout.samples.begin() + 40));
}

struct BadCase {
    const char* name;
    std::string bytes;
};

std::string Corrupt(std::string s, std::size_t at, const char* text) {
    s.replace(at, std::char_traits<char>::length(text), text);
    return s;
}

std::vector<BadCase> BadFiles() {
    WaveLayout ok;
    ok.samples = Pattern(16);
    const std::string good = MakeWave(ok);
    WaveLayout shortFmt = ok;
    shortFmt.fmtSize = 14;
    WaveLayout extraTooLong = ok;
    extraTooLong.formatTag = 2;
    extraTooLong.fmtSize = 18;
    extraTooLong.fmtExtra = {};
    std::string lyingExtra = MakeWave(extraTooLong);
    lyingExtra[12 + 8 + 16] = 50; // claims 50 extra bytes that the chunk does not hold
    WaveLayout noData = ok;
    std::string withoutData = MakeWave(noData);
    withoutData = Corrupt(withoutData, withoutData.find("data"), "dat_");
    return {
        {"empty", ""},
        {"too short", good.substr(0, 11)},
        {"not riff", Corrupt(good, 0, "RIFX")},
        {"not wave", Corrupt(good, 8, "AVI ")},
        {"no fmt", Corrupt(good, 12, "fmt_")},
        {"fmt shorter than 16", MakeWave(shortFmt)},
        {"fmt cut by the end of file", good.substr(0, 12 + 8 + 10)},
        {"extra bytes missing", lyingExtra},
        {"no data chunk", withoutData},
        {"header only", good.substr(0, 12)},
    };
}

TEST_F(WaveFileTest, NoRegularFileIsReadOrWritten) {
    // A folder, a FIFO without a writer, a link to /dev/zero or an unreadable file: opening to
    // read fails at once; opening to write fails too and leaves the thing as it was.
    const WAVEFORMATEX format{WAVE_FORMAT_PCM, 1, 22050, 44100, 2, 16, 0};
    for (const auto& c : kxtest::HostileCases()) {
        SCOPED_TRACE(c.name);
        const std::string name = "hostile" + std::to_string(static_cast<int>(c.kind)) + ".wav";
        if (!kxtest::MakeHostile(c.kind, root.Path() + "/" + name)) continue;
        Platform::GamePaths().Refresh();
        WaveFile reading;
        EXPECT_EQ(reading.Open(name.c_str(), nullptr, WAVEFILE_READ), E_FAIL);
        if (c.kind == kxtest::HostileKind::Unreadable) continue;
        WaveFile writing;
        EXPECT_EQ(writing.Open(name.c_str(), &format, WAVEFILE_WRITE), E_FAIL);
        EXPECT_TRUE(kxtest::HostileIntact(c.kind, root.Path() + "/" + name));
    }
}

TEST_F(WaveFileTest, CorruptHeadersAreRefused) {
    for (const BadCase& c : BadFiles()) {
        SCOPED_TRACE(c.name);
        root.Write("bad.wav", c.bytes);
        WaveFile wave;
        EXPECT_EQ(wave.Open("bad.wav", nullptr, WAVEFILE_READ), E_FAIL);
        EXPECT_EQ(wave.GetFormat(), nullptr);
        EXPECT_EQ(wave.GetSize(), 0u);
    }
}

TEST_F(WaveFileTest, ChunkSizesThatWrapAroundAreSafe) {
    WaveLayout layout;
    layout.samples = Pattern(8);
    layout.chunkBeforeFmt = true;
    std::string bytes = MakeWave(layout);
    // The "junk" chunk claims 0xFFFFFFFF bytes: the search must stop, not wrap.
    bytes[16] = bytes[17] = bytes[18] = bytes[19] = static_cast<char>(0xFF);
    root.Write("wrap.wav", bytes);
    WaveFile wave;
    EXPECT_EQ(wave.Open("wrap.wav", nullptr, WAVEFILE_READ), E_FAIL);
}

// Damaged copies of a good file (bytes overwritten, chunk sizes changed, the end cut) either
// open within what the file holds or are refused; none reads outside it.
TEST_F(WaveFileTest, DamagedFilesNeverReadOutsideTheFile) {
    WaveLayout layout;
    layout.samples = Pattern(64);
    layout.chunkBeforeFmt = true;
    layout.chunkBeforeData = true;
    const std::string good = MakeWave(layout);
    std::uint32_t seed = 12345;
    auto next = [&seed] { return seed = seed * 1664525u + 1013904223u; };
    for (int i = 0; i < 400; ++i) {
        std::string bytes = good;
        for (int n = 1 + next() % 4; n > 0; --n) bytes[next() % bytes.size()] = static_cast<char>(next() >> 24);
        if (i % 3 == 0) bytes.resize(next() % bytes.size());
        root.Write("fuzz.wav", bytes);
        WaveFile wave;
        if (wave.Open("fuzz.wav", nullptr, WAVEFILE_READ) != S_OK) {
            EXPECT_EQ(wave.GetFormat(), nullptr);
            continue;
        }
        EXPECT_LE(wave.GetSize(), bytes.size());
        EXPECT_EQ(ReadAll(wave, 48).size(), wave.GetSize());
    }
}

TEST_F(WaveFileTest, MissingFileAndMissingNameFail) {
    WaveFile wave;
    EXPECT_EQ(wave.Open("Data\\Sounds\\none.wav", nullptr, WAVEFILE_READ), E_FAIL);
    EXPECT_EQ(wave.GetSize(), 0u);
    EXPECT_EQ(wave.Open(nullptr, nullptr, WAVEFILE_READ), E_INVALIDARG);
    std::uint8_t b[4];
    DWORD got = 7;
    EXPECT_EQ(wave.Read(b, 4, &got), CO_E_NOTINITIALIZED);
    EXPECT_EQ(got, 0u);
    EXPECT_EQ(wave.Read(nullptr, 4, &got), E_INVALIDARG);
}

TEST_F(WaveFileTest, WrittenFileReadsBack) {
    WAVEFORMATEX format;
    format.wFormatTag = WAVE_FORMAT_PCM;
    format.nChannels = 2;
    format.nSamplesPerSec = 8000;
    format.wBitsPerSample = 8;
    format.nBlockAlign = 2;
    format.nAvgBytesPerSec = 16000;
    const auto samples = Pattern(33); // odd: the data chunk gets a pad byte
    {
        WaveFile out;
        ASSERT_EQ(out.Open("Data\\Out\\rec.wav", &format, WAVEFILE_WRITE), S_OK);
        DWORD written = 0;
        ASSERT_EQ(out.Write(static_cast<DWORD>(samples.size()), samples.data(), &written), S_OK);
        EXPECT_EQ(written, samples.size());
        ASSERT_EQ(out.Close(), S_OK);
    }
    const std::string bytes = root.Read("Data/Out/rec.wav");
    ASSERT_NE(bytes.find("fact"), std::string::npos);
    const std::size_t fact = bytes.find("fact");
    EXPECT_EQ(bytes.substr(fact + 8, 4), std::string(4, '\0')); // set to 0 when closed
    EXPECT_EQ(bytes.size() % 2, 0u);

    WaveFile in;
    ASSERT_EQ(in.Open("data/out/REC.wav", nullptr, WAVEFILE_READ), S_OK);
    EXPECT_EQ(in.GetFormat()->nChannels, 2);
    EXPECT_EQ(in.GetFormat()->nSamplesPerSec, 8000u);
    EXPECT_EQ(ReadAll(in), samples);
}

} // namespace
