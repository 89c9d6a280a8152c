#pragma once
// RIFF WAVE files on disk: the format block and the sample data of one file, read through the
// game's case-insensitive paths (never from pack files). The whole file is read into memory
// when opened, every chunk is checked against the bytes present, and a "data" chunk that
// claims more than the file holds is cut to what is there. The class also writes wave files.

#include "Platform/Audio/DirectSound.h"

#include <cstdio>
#include <string>
#include <vector>

namespace Platform::Audio {

constexpr DWORD WAVEFILE_READ = 1;
constexpr DWORD WAVEFILE_WRITE = 2;

class WaveFile {
public:
    WaveFile() = default;
    ~WaveFile();
    WaveFile(const WaveFile&) = delete;
    WaveFile& operator=(const WaveFile&) = delete;

    // Opens a game path for reading (mode WAVEFILE_READ) or creates it for writing with the
    // given format (any other mode). E_INVALIDARG for a null name, E_FAIL for any failure.
    HRESULT Open(const char* fileName, const WAVEFORMATEX* format, DWORD mode);
    // Reads the "RIFF"/"WAVE" header and the "fmt " chunk into a new format block.
    HRESULT ReadHeader();
    // Size of the sample data, as found when the file was opened for reading.
    DWORD GetSize() const { return m_dataSize; }
    // Reading: back to the start of the sample data. Writing: starts the "data" chunk.
    HRESULT ResetFile();
    // Reads at most n sample bytes; fewer when fewer remain.
    HRESULT Read(std::uint8_t* destination, DWORD n, DWORD* read);
    // Appends sample bytes (write mode).
    HRESULT Write(DWORD n, const std::uint8_t* source, DWORD* written);
    HRESULT WriteHeader(const WAVEFORMATEX* format);
    HRESULT Close();

    // The format block (18 bytes and any extra bytes after it), or null.
    const WAVEFORMATEX* GetFormat() const {
        return m_format.empty() ? nullptr : reinterpret_cast<const WAVEFORMATEX*>(m_format.data());
    }
    bool IsOpen() const { return m_open; }

private:
    struct Chunk {
        std::size_t dataOffset = 0; // first byte after the chunk header
        std::size_t size = 0;       // bytes present (never beyond the file)
        std::uint64_t declared = 0; // size the header claims
    };
    bool FindChunk(const char id[4], std::size_t from, std::size_t end, Chunk& out) const;
    bool WriteBytes(const void* data, std::size_t n);
    bool WriteU32At(long offset, std::uint32_t value);

    std::vector<std::uint8_t> m_format;
    bool m_open = false;
    DWORD m_mode = WAVEFILE_READ;
    // Reading.
    std::vector<std::uint8_t> m_file;
    std::size_t m_riffEnd = 0;
    std::size_t m_unread = 0;
    std::size_t m_readPos = 0;
    DWORD m_dataSize = 0;
    // Writing.
    std::FILE* m_out = nullptr;
    long m_riffSizeAt = 0, m_factAt = 0, m_dataSizeAt = 0;
    std::uint64_t m_written = 0;
    bool m_writeFailed = false;
};

} // namespace Platform::Audio
