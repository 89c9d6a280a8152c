// The demo's sounds and music, synthesised: the wave files every car asks for under its prefix
// (each player car's name, each opponent's description name), the shared hits and effects, the
// sound table, and a menu and a race track in Ogg Vorbis. Noise comes from a fixed-seed
// generator and every tone from a formula, so the files are the same on every run.

#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <system_error>
#include <vector>

#include "DemoGen.h"
#include "Platform/Audio/WaveFile.h"
#include "Platform/System/Paths.h"

namespace {

namespace fs = std::filesystem;

constexpr int kRate = 11025;
constexpr double kPi = 3.14159265358979323846;

using Samples = std::vector<double>;

std::string ReadBytes(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A scratch folder inside the root for the writers that want a file of their own; removed after.
class Scratch {
public:
    explicit Scratch(const fs::path& root) : m_folder(root / ".demogen-scratch") {
        std::error_code ec;
        fs::create_directories(m_folder, ec);
    }
    ~Scratch() {
        std::error_code ec;
        fs::remove_all(m_folder, ec);
    }
    const fs::path& Folder() const { return m_folder; }

private:
    fs::path m_folder;
};

// 16-bit mono wave bytes through the engine's wave writer.
std::string WaveBytes(const Scratch& scratch, const Samples& samples) {
    const std::string previous = Platform::GamePaths().Root();
    Platform::GamePaths().SetRoot(scratch.Folder().string());
    Platform::Audio::WAVEFORMATEX format{};
    format.wFormatTag = 1;
    format.nChannels = 1;
    format.nSamplesPerSec = kRate;
    format.wBitsPerSample = 16;
    format.nBlockAlign = 2;
    format.nAvgBytesPerSec = kRate * 2;
    std::vector<std::uint8_t> pcm;
    pcm.reserve(samples.size() * 2);
    for (double s : samples) {
        const auto v = static_cast<std::int16_t>(std::lround(std::clamp(s, -1.0, 1.0) * 30000.0));
        pcm.push_back(static_cast<std::uint8_t>(v & 0xFF));
        pcm.push_back(static_cast<std::uint8_t>((v >> 8) & 0xFF));
    }
    bool ok = false;
    {
        Platform::Audio::WaveFile wave;
        // Opening for writing writes the header and starts the sample data.
        if (SUCCEEDED(wave.Open("sound.wav", &format, Platform::Audio::WAVEFILE_WRITE))) {
            DWORD written = 0;
            ok = SUCCEEDED(wave.Write(static_cast<DWORD>(pcm.size()), pcm.data(), &written)) && written == pcm.size();
            ok = SUCCEEDED(wave.Close()) && ok;
        }
    }
    Platform::GamePaths().SetRoot(previous);
    return ok ? ReadBytes(scratch.Folder() / "sound.wav") : std::string();
}

// --- Synthesis --------------------------------------------------------------------------------

Samples Silence(double seconds) { return Samples(static_cast<std::size_t>(seconds * kRate), 0.0); }

double Envelope(double t, double attack, double length) {
    if (t < attack) return t / attack;
    return std::max(0.0, 1.0 - (t - attack) / std::max(1e-6, length - attack));
}

// An engine: a pulse train of firing strokes through a soft low-pass, looping seamlessly when
// the pitch runs whole periods over the length.
Samples Engine(double seconds, double fromHz, double toHz, double grit, unsigned seed) {
    Samples out = Silence(seconds);
    if (fromHz == toHz) fromHz = toHz = std::round(fromHz * seconds) / seconds;
    std::mt19937 random(seed);
    std::uniform_real_distribution<double> noise(-1.0, 1.0);
    double phase = 0, low = 0;
    for (std::size_t i = 0; i < out.size(); ++i) {
        const double t = static_cast<double>(i) / out.size();
        const double hz = fromHz + (toHz - fromHz) * t;
        phase += hz / kRate;
        const double stroke = std::pow(0.5 + 0.5 * std::cos(2 * kPi * phase), 6.0);
        const double raw = stroke + 0.35 * std::sin(2 * kPi * phase * 0.5) + grit * noise(random);
        low += (raw - low) * 0.25;
        out[i] = 0.6 * low;
    }
    return out;
}

// Noise through a one-pole filter whose cut-off moves from `from` to `to`, shaped by a decay.
Samples Noise(double seconds, double from, double to, double attack, bool decay, unsigned seed) {
    Samples out = Silence(seconds);
    std::mt19937 random(seed);
    std::uniform_real_distribution<double> noise(-1.0, 1.0);
    double low = 0;
    for (std::size_t i = 0; i < out.size(); ++i) {
        const double t = static_cast<double>(i) / kRate;
        const double k = from + (to - from) * (t / seconds);
        low += (noise(random) - low) * k;
        const double level = decay ? Envelope(t, attack, seconds) : std::min(1.0, t / attack);
        out[i] = 0.8 * low * level;
    }
    return out;
}

// A struck metal: a few inharmonic partials decaying at their own rates, with a noisy click.
Samples Clank(double seconds, double baseHz, unsigned seed) {
    Samples out = Silence(seconds);
    std::mt19937 random(seed);
    std::uniform_real_distribution<double> noise(-1.0, 1.0);
    const double partials[4] = {1.0, 2.76, 5.4, 8.93};
    for (std::size_t i = 0; i < out.size(); ++i) {
        const double t = static_cast<double>(i) / kRate;
        double s = 0;
        for (int p = 0; p < 4; ++p)
            s += std::sin(2 * kPi * baseHz * partials[p] * t) * std::exp(-t * (6 + 5 * p)) / (1 + p);
        s += noise(random) * std::exp(-t * 60);
        out[i] = 0.5 * s;
    }
    return out;
}

// A tone gliding from one pitch to another (squeals, whooshes, beeps).
Samples Glide(double seconds, double fromHz, double toHz, double attack, double harmonics) {
    Samples out = Silence(seconds);
    double phase = 0;
    for (std::size_t i = 0; i < out.size(); ++i) {
        const double t = static_cast<double>(i) / kRate;
        phase += (fromHz + (toHz - fromHz) * t / seconds) / kRate;
        const double s = std::sin(2 * kPi * phase) + harmonics * std::sin(6 * kPi * phase) / 3;
        out[i] = 0.5 * s * Envelope(t, attack, seconds);
    }
    return out;
}

Samples Mix(Samples a, const Samples& b, double gain) {
    if (a.size() < b.size()) a.resize(b.size(), 0.0);
    for (std::size_t i = 0; i < b.size(); ++i) a[i] += gain * b[i];
    return a;
}

// --- Music ------------------------------------------------------------------------------------

// A short piece: a bass line, a pad of chords and a lead on a scale, at a tempo, for a number of
// bars; the same notes every run.
Samples Tune(int bars, double bpm, const int (&chords)[4], const int (&lead)[16], double drive) {
    constexpr int kMusicRate = 22050;
    const double beat = 60.0 / bpm;
    const std::size_t length = static_cast<std::size_t>(bars * 4 * beat * kMusicRate);
    Samples out(length, 0.0);
    const auto hz = [](int semitone) { return 220.0 * std::pow(2.0, semitone / 12.0); };
    for (std::size_t i = 0; i < length; ++i) {
        const double t = static_cast<double>(i) / kMusicRate;
        const int beatIndex = static_cast<int>(t / beat);
        const double inBeat = t - beatIndex * beat;
        const int bar = beatIndex / 4;
        const int root = chords[bar % 4];
        // Bass: the chord's root on every beat, plucked.
        double s = 0.35 * std::sin(2 * kPi * hz(root - 12) * t) * std::exp(-inBeat * 5.0);
        // Pad: root, third and fifth, soft.
        for (int step : {0, 4, 7}) s += 0.08 * std::sin(2 * kPi * hz(root + step) * t);
        // Lead: one note per half beat from the line, with a little edge.
        const int halfBeat = static_cast<int>(t / (beat / 2));
        const double inHalf = t - halfBeat * (beat / 2);
        const double leadHz = hz(lead[halfBeat % 16] + 12);
        const double leadTone = std::sin(2 * kPi * leadHz * t) + drive * std::sin(4 * kPi * leadHz * t) * 0.5;
        s += 0.18 * leadTone * std::exp(-inHalf * 4.0);
        // A tick on every half beat keeps time.
        s += 0.05 * std::sin(2 * kPi * 3000 * t) * std::exp(-inHalf * 80.0);
        // Fade in and out over the first and last half second.
        const double fade = std::min({1.0, t / 0.5, (length / static_cast<double>(kMusicRate) - t) / 0.5});
        out[i] = 0.7 * s * std::max(0.0, fade);
    }
    return out;
}

// The CRC of Ogg pages: polynomial 0x04c11db7, not reflected, starting from 0.
std::uint32_t OggCrc(const std::uint8_t* data, std::size_t size) {
    std::uint32_t crc = 0;
    for (std::size_t i = 0; i < size; ++i) {
        crc ^= static_cast<std::uint32_t>(data[i]) << 24;
        for (int b = 0; b < 8; ++b) crc = (crc & 0x80000000u) ? (crc << 1) ^ 0x04c11db7u : crc << 1;
    }
    return crc;
}

// The encoder gives each stream a random serial number; a fixed one (and the page checksums
// recomputed) makes the file the same on every run. False when the bytes are not Ogg pages.
bool FixOggSerial(std::string& bytes, std::uint32_t serial) {
    std::size_t at = 0;
    while (at < bytes.size()) {
        if (bytes.size() - at < 27 || bytes.compare(at, 4, "OggS") != 0) return false;
        auto* page = reinterpret_cast<std::uint8_t*>(&bytes[at]);
        const std::size_t segments = page[26];
        if (bytes.size() - at < 27 + segments) return false;
        std::size_t body = 0;
        for (std::size_t s = 0; s < segments; ++s) body += page[27 + s];
        const std::size_t size = 27 + segments + body;
        if (bytes.size() - at < size) return false;
        for (int b = 0; b < 4; ++b) page[14 + b] = static_cast<std::uint8_t>(serial >> (8 * b));
        for (int b = 0; b < 4; ++b) page[22 + b] = 0;
        const std::uint32_t crc = OggCrc(page, size);
        for (int b = 0; b < 4; ++b) page[22 + b] = static_cast<std::uint8_t>(crc >> (8 * b));
        at += size;
    }
    return true;
}

std::string OggBytes(const Scratch& scratch, const Samples& samples, std::uint32_t serial) {
    const fs::path file = scratch.Folder() / "music.ogg";
    SF_INFO info{};
    info.samplerate = 22050;
    info.channels = 1;
    info.format = SF_FORMAT_OGG | SF_FORMAT_VORBIS;
    SNDFILE* out = sf_open(file.string().c_str(), SFM_WRITE, &info);
    if (!out) return std::string();
    double quality = 0.2;
    sf_command(out, SFC_SET_VBR_ENCODING_QUALITY, &quality, sizeof quality);
    std::vector<float> frames(samples.begin(), samples.end());
    const sf_count_t written = sf_writef_float(out, frames.data(), static_cast<sf_count_t>(frames.size()));
    sf_close(out);
    if (written != static_cast<sf_count_t>(frames.size())) return std::string();
    std::string bytes = ReadBytes(file);
    if (!FixOggSerial(bytes, serial)) return std::string();
    return bytes;
}

// --- The files --------------------------------------------------------------------------------

struct CarSounds {
    double engineHz;
    unsigned seed;
};

bool WriteCarSounds(const fs::path& root, const Scratch& scratch, const std::string& prefix, const CarSounds& car) {
    const double hz = car.engineHz;
    const struct {
        const char* file;
        Samples samples;
    } files[] = {
        {"slam.wav", Mix(Clank(0.5, 90, car.seed), Noise(0.5, 0.3, 0.05, 0.005, true, car.seed + 1), 0.8)},
        // A steady pitch runs whole periods over the loop's length, so it loops without a click.
        {"diesel_run.wav", Engine(0.6, hz, hz, 0.08, car.seed + 2)},
        {"dirt.wav", Noise(0.8, 0.08, 0.08, 0.05, false, car.seed + 3)},
        {"diesel_accel.wav", Engine(0.8, hz, hz * 2.2, 0.12, car.seed + 4)},
        {"brake.wav", Mix(Glide(0.6, 1800, 1500, 0.03, 0.4), Noise(0.6, 0.5, 0.5, 0.03, true, car.seed + 5), 0.3)},
        {"nitro.wav", Noise(0.8, 0.02, 0.6, 0.1, true, car.seed + 6)},
        {"hit1.wav", Clank(0.35, 180, car.seed + 7)},
        {"hit2.wav", Clank(0.35, 240, car.seed + 8)},
        {"hit3.wav", Clank(0.4, 130, car.seed + 9)},
    };
    bool ok = true;
    for (const auto& f : files) {
        const std::string bytes = WaveBytes(scratch, f.samples);
        ok = !bytes.empty() && demogen::WriteIfChanged(root, "Data/Sounds/" + prefix + f.file, bytes) && ok;
    }
    return ok;
}

bool WriteSoundFiles(const fs::path& root) {
    const Scratch scratch(root);
    bool ok = WriteCarSounds(root, scratch, "runner", {48, 101});
    ok = WriteCarSounds(root, scratch, "hauler", {34, 202}) && ok;
    // An opponent's prefix is its description's name, ".rdf" and all.
    int n = 0;
    for (const char* family : {"subaru", "celica"})
        for (int number = 5; number >= 3; --number)
            ok = WriteCarSounds(root, scratch, std::string(family) + std::to_string(number) + "_enemy.rdf",
                                {40.0 + 2.0 * n, 300u + 10u * static_cast<unsigned>(n++)}) &&
                 ok;

    const struct {
        const char* file;
        Samples samples;
    } shared[] = {
        {"hit4.wav", Clank(0.5, 110, 401)},
        {"hit5.wav", Mix(Clank(0.6, 70, 402), Noise(0.6, 0.2, 0.02, 0.005, true, 403), 1.0)},
        {"kethro.wav", Noise(0.7, 0.05, 0.3, 0.05, true, 404)},
        {"fast.wav", Glide(0.4, 600, 1200, 0.02, 0.3)},
        {"change_weapon.wav", Mix(Clank(0.2, 600, 405), Glide(0.15, 900, 900, 0.01, 0.0), 0.5)},
        {"undo_weapon.wav", Glide(0.2, 300, 200, 0.01, 0.5)},
        {"menu_move.wav", Glide(0.08, 1000, 1000, 0.005, 0.2)},
        {"menu_select.wav", Mix(Glide(0.15, 800, 1600, 0.005, 0.2), Glide(0.15, 1200, 2400, 0.005, 0.0), 0.5)},
        {"countdown.wav", Glide(0.25, 880, 880, 0.01, 0.2)},
        {"go.wav", Glide(0.5, 1760, 1760, 0.01, 0.3)},
        {"mgun.wav", Mix(Noise(0.12, 0.6, 0.1, 0.002, true, 406), Clank(0.12, 400, 407), 0.4)},
        {"hmgun.wav", Mix(Noise(0.1, 0.7, 0.2, 0.002, true, 408), Clank(0.1, 300, 409), 0.5)},
        {"rlauncher.wav", Mix(Noise(0.8, 0.05, 0.4, 0.02, true, 410), Glide(0.8, 200, 90, 0.02, 0.6), 0.3)},
        {"plasma.wav", Glide(0.4, 1600, 200, 0.005, 0.8)},
        {"explosion.wav", Mix(Noise(1.2, 0.4, 0.01, 0.003, true, 411), Clank(1.2, 45, 412), 0.6)},
        {"turret_fire.wav", Mix(Noise(0.2, 0.5, 0.1, 0.002, true, 413), Clank(0.2, 250, 414), 0.5)},
        {"turret_death.wav", Mix(Noise(1.0, 0.3, 0.02, 0.003, true, 415), Clank(1.0, 60, 416), 0.8)},
        {"bonus.wav", Mix(Glide(0.3, 700, 1400, 0.01, 0.1), Glide(0.3, 1050, 2100, 0.01, 0.1), 0.6)},
        {"checkpoint.wav", Mix(Glide(0.35, 1320, 1320, 0.01, 0.2), Glide(0.35, 1980, 1980, 0.01, 0.0), 0.5)},
    };
    for (const auto& f : shared) {
        const std::string bytes = WaveBytes(scratch, f.samples);
        ok = !bytes.empty() && demogen::WriteIfChanged(root, std::string("Data/Sounds/") + f.file, bytes) && ok;
    }

    // The table the scripts and the race play sounds from: name; wave; 2d or 3d.
    std::string table =
        "// The sounds the race and the scripts play by name: name; wave file in Data\\Sounds; 2d or 3d.\n";
    const char* const entries[][3] = {
        {"fast", "fast.wav", "2d"},
        {"slam", "hit4.wav", "3d"},
        {"undo_weapon", "undo_weapon.wav", "2d"},
        {"change_weapon", "change_weapon.wav", "2d"},
        {"menu_move", "menu_move.wav", "2d"},
        {"menu_select", "menu_select.wav", "2d"},
        {"countdown", "countdown.wav", "2d"},
        {"go", "go.wav", "2d"},
        {"bonus", "bonus.wav", "2d"},
        {"checkpoint", "checkpoint.wav", "2d"},
        {"mgun", "mgun.wav", "3d"},
        {"hmgun", "hmgun.wav", "3d"},
        {"rlauncher", "rlauncher.wav", "3d"},
        {"plasma", "plasma.wav", "3d"},
        {"explosion", "explosion.wav", "3d"},
        {"turret_fire", "turret_fire.wav", "3d"},
        {"turret_death", "turret_death.wav", "3d"},
        {"kethro", "kethro.wav", "3d"},
    };
    for (const auto& e : entries) table += std::string(e[0]) + ";" + e[1] + ";" + e[2] + "\n";
    ok = demogen::WriteIfChanged(root, "Data/Sounds/Sounds.dat", table) && ok;

    // Music: a calm menu piece and a driving race piece.
    const int menuChords[4] = {0, -4, 5, 3};
    const int menuLead[16] = {12, 7, 4, 7, 12, 14, 12, 7, 8, 12, 15, 12, 10, 7, 3, 7};
    const int raceChords[4] = {0, 0, 3, 5};
    const int raceLead[16] = {0, 3, 7, 10, 12, 10, 7, 3, 5, 8, 12, 15, 14, 12, 10, 7};
    const std::string menu = OggBytes(scratch, Tune(8, 96, menuChords, menuLead, 0.1), 0x4B580001u);
    const std::string race = OggBytes(scratch, Tune(12, 140, raceChords, raceLead, 0.6), 0x4B580002u);
    ok = !menu.empty() && demogen::WriteIfChanged(root, "Data/Music/menu.ogg", menu) && ok;
    ok = !race.empty() && demogen::WriteIfChanged(root, "Data/Music/race.ogg", race) && ok;
    return ok;
}

} // namespace

DEMOGEN_FAMILY("sounds", WriteSoundFiles);
