// A wave file opened through the game paths and read to its end in pieces, as sound buffers are
// filled, then read again after a rewind.

#include "FuzzSupport.h"
#include "Platform/Audio/WaveFile.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    kxfuzz::GameRoot& root = kxfuzz::GameRoot::Get();
    root.Clear();
    root.Write("Data/Sounds/fuzz.wav", data, size);
    Platform::Audio::WaveFile wave;
    if (Platform::Audio::Failed(wave.Open("Data\\Sounds\\fuzz.wav", nullptr, Platform::Audio::WAVEFILE_READ))) return 0;
    if (!wave.GetFormat()) std::abort();
    // The samples the header announces are never more than the file holds.
    if (wave.GetSize() > size) std::abort();
    std::vector<std::uint8_t> piece(997);
    for (int round = 0; round < 2; ++round) {
        std::size_t total = 0;
        for (;;) {
            Platform::Audio::DWORD read = 0;
            if (Platform::Audio::Failed(
                    wave.Read(piece.data(), static_cast<Platform::Audio::DWORD>(piece.size()), &read)) ||
                read == 0)
                break;
            if (read > piece.size()) std::abort();
            total += read;
            if (total > size) std::abort();
        }
        wave.ResetFile();
    }
    wave.Close();
    return 0;
}
