#pragma once
// Points OpenAL Soft at its wave-file writer for this process: no sound card needed, and the
// mixed output can be read back. Must run before the process's first OpenAL call.

#include "Platform/Audio/WaveFile.h"
#include "Platform/System/Paths.h"
#include "support/TempDir.h"

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

namespace kxtest {

class OpenALHeadless {
public:
    static OpenALHeadless& Get() {
        static OpenALHeadless instance;
        return instance;
    }
    const std::string& OutputPath() const { return m_output; }

    struct Mix {
        bool read = false;
        int channels = 0;
        double rmsLeft = 0, rmsRight = 0;
        std::size_t frames = 0;
    };
    // Reads the mixed output the writer left behind (after the device was closed).
    Mix ReadMix() const {
        Mix mix;
        std::string previous = Platform::GamePaths().Root();
        Platform::GamePaths().SetRoot(m_dir.Path());
        Platform::Audio::WaveFile wave;
        bool open = wave.Open("mix.wav", nullptr, Platform::Audio::WAVEFILE_READ) == S_OK;
        Platform::GamePaths().SetRoot(previous);
        if (!open || wave.GetFormat()->wBitsPerSample != 16) return mix;
        mix.channels = wave.GetFormat()->nChannels;
        std::vector<std::uint8_t> bytes(wave.GetSize());
        Platform::Audio::DWORD got = 0;
        wave.Read(bytes.data(), static_cast<Platform::Audio::DWORD>(bytes.size()), &got);
        const std::size_t frameBytes = 2u * mix.channels;
        mix.frames = got / frameBytes;
        auto sample = [&](std::size_t i, int c) {
            const std::uint8_t* p = bytes.data() + i * frameBytes + 2 * c;
            return static_cast<double>(static_cast<std::int16_t>(p[0] | (p[1] << 8)));
        };
        auto silent = [&](std::size_t i) {
            for (int c = 0; c < mix.channels; ++c)
                if (sample(i, c) != 0) return false;
            return true;
        };
        // The writer runs in real time: how much silence it records before the sound starts and
        // after it stops depends on the machine's load, and on a loaded machine the mixer can
        // take a period or two to pick up parameters set just before the sound started. So the
        // level is the steady one: measured over the span the sound played in, less its first
        // quarter.
        std::size_t first = 0, last = mix.frames;
        while (first < last && silent(first)) ++first;
        while (last > first && silent(last - 1)) --last;
        first += (last - first) / 4;
        double l = 0, r = 0;
        for (std::size_t i = first; i < last; ++i) {
            l += sample(i, 0) * sample(i, 0);
            r += mix.channels > 1 ? sample(i, 1) * sample(i, 1) : sample(i, 0) * sample(i, 0);
        }
        if (last > first) {
            mix.rmsLeft = std::sqrt(l / (last - first));
            mix.rmsRight = std::sqrt(r / (last - first));
        }
        mix.read = true;
        return mix;
    }

private:
    OpenALHeadless() {
        m_output = m_dir.Path() + "/mix.wav";
        std::ofstream conf(m_dir.Path() + "/alsoft.conf");
        conf << "[general]\ndrivers = wave\nchannels = stereo\nfrequency = 22050\nsample-type = int16\n"
                "hrtf = false\nstereo-mode = speakers\n[wave]\nfile = "
             << m_output << "\n";
        conf.close();
        ::setenv("ALSOFT_CONF", (m_dir.Path() + "/alsoft.conf").c_str(), 1);
        ::setenv("ALSOFT_DRIVERS", "wave", 1);
        ::setenv("ALSOFT_LOGLEVEL", "0", 1);
    }
    TempDir m_dir;
    std::string m_output;
};

} // namespace kxtest
