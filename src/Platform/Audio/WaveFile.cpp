#include "Platform/Audio/WaveFile.h"

#include "Platform/System/FileTrace.h"
#include "Platform/System/Paths.h"
#include "Platform/System/RegularFile.h"

#include <algorithm>
#include <cstring>

namespace Platform::Audio {

namespace {

// Wave files larger than this are not sound effects; refusing them keeps a hostile file from
// taking all memory.
constexpr std::uint64_t kMaxFileBytes = 512ull * 1024 * 1024;

std::uint32_t U32(const std::uint8_t* p) {
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 | std::uint32_t(p[3]) << 24;
}
std::uint16_t U16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | p[1] << 8); }

void PutU32(std::uint8_t* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

} // namespace

WaveFile::~WaveFile() { Close(); }

HRESULT WaveFile::Open(const char* fileName, const WAVEFORMATEX* format, DWORD mode) {
    Close();
    m_mode = mode;
    if (mode == WAVEFILE_READ) {
        if (!fileName) return E_INVALIDARG;
        m_format.clear();
        m_dataSize = 0;
        auto real = GamePaths().Resolve(fileName);
        if (real)
            TraceLooseFile(GamePath(fileName).Lowered(), *real);
        else
            TraceMissingFile(GamePath(fileName).Lowered());
        if (!real || !ReadRegularFile(*real, kMaxFileBytes, m_file)) return E_FAIL;
        m_open = true;
        if (Failed(ReadHeader())) {
            Close();
            return E_FAIL;
        }
        if (Failed(ResetFile())) {
            Close();
            m_format.clear();
            return E_FAIL;
        }
        m_dataSize = static_cast<DWORD>(m_unread);
        return S_OK;
    }

    if (!fileName || !format) return E_INVALIDARG;
    auto real = GamePaths().ResolveForWrite(fileName);
    if (!real) return E_FAIL;
    m_out = OpenRegularFileForWriting(*real);
    if (!m_out) return E_FAIL;
    GamePaths().NoteCreated(*real);
    m_open = true;
    m_written = 0;
    m_writeFailed = false;
    if (Failed(WriteHeader(format)) || Failed(ResetFile())) {
        Close();
        return E_FAIL;
    }
    return S_OK;
}

bool WaveFile::FindChunk(const char id[4], std::size_t from, std::size_t end, Chunk& out) const {
    std::uint64_t pos = from;
    while (pos + 8 <= end) {
        const std::uint8_t* header = m_file.data() + pos;
        std::uint64_t declared = U32(header + 4);
        std::uint64_t body = pos + 8;
        if (std::memcmp(header, id, 4) == 0) {
            out.dataOffset = static_cast<std::size_t>(body);
            out.declared = declared;
            out.size = static_cast<std::size_t>(std::min<std::uint64_t>(declared, end - body));
            return true;
        }
        // Chunks are padded to an even size.
        pos = body + declared + (declared & 1);
    }
    return false;
}

HRESULT WaveFile::ReadHeader() {
    if (!m_open || m_mode != WAVEFILE_READ) return CO_E_NOTINITIALIZED;
    m_format.clear();
    if (m_file.size() < 12 || std::memcmp(m_file.data(), "RIFF", 4) != 0 ||
        std::memcmp(m_file.data() + 8, "WAVE", 4) != 0)
        return E_FAIL;
    // A RIFF size that claims more than the file holds is cut to the file; one that claims
    // less is trusted.
    std::uint64_t riffEnd = 8ull + U32(m_file.data() + 4);
    m_riffEnd = static_cast<std::size_t>(std::min<std::uint64_t>(riffEnd, m_file.size()));

    Chunk fmt;
    if (!FindChunk("fmt ", 12, m_riffEnd, fmt) || fmt.declared < 16 || fmt.size < 16) return E_FAIL;
    const std::uint8_t* p = m_file.data() + fmt.dataOffset;
    WAVEFORMATEX head;
    head.wFormatTag = U16(p);
    head.nChannels = U16(p + 2);
    head.nSamplesPerSec = U32(p + 4);
    head.nAvgBytesPerSec = U32(p + 8);
    head.nBlockAlign = U16(p + 12);
    head.wBitsPerSample = U16(p + 14);
    head.cbSize = 0;
    std::size_t extra = 0;
    if (head.wFormatTag != WAVE_FORMAT_PCM) {
        if (fmt.size < 18) return E_FAIL;
        extra = U16(p + 16);
        if (fmt.size < 18 + extra) return E_FAIL;
        head.cbSize = static_cast<WORD>(extra);
    }
    m_format.resize(sizeof(WAVEFORMATEX) + extra);
    std::memcpy(m_format.data(), &head, sizeof head);
    if (extra) std::memcpy(m_format.data() + sizeof head, p + 18, extra);
    return S_OK;
}

HRESULT WaveFile::ResetFile() {
    if (!m_open) return CO_E_NOTINITIALIZED;
    if (m_mode == WAVEFILE_READ) {
        Chunk data;
        if (!FindChunk("data", 12, m_riffEnd, data)) return E_FAIL;
        m_readPos = data.dataOffset;
        m_unread = std::min<std::size_t>(data.size, 0xFFFFFFFFu);
        return S_OK;
    }
    std::uint8_t header[8] = {'d', 'a', 't', 'a', 0, 0, 0, 0};
    m_dataSizeAt = std::ftell(m_out) + 4;
    m_written = 0;
    return WriteBytes(header, sizeof header) ? S_OK : E_FAIL;
}

HRESULT WaveFile::Read(std::uint8_t* destination, DWORD n, DWORD* read) {
    if (!destination || !read) return E_INVALIDARG;
    *read = 0;
    if (!m_open || m_mode != WAVEFILE_READ) return CO_E_NOTINITIALIZED;
    std::size_t count = std::min<std::size_t>(n, m_unread);
    std::memcpy(destination, m_file.data() + m_readPos, count);
    m_readPos += count;
    m_unread -= count;
    *read = static_cast<DWORD>(count);
    return S_OK;
}

HRESULT WaveFile::Write(DWORD n, const std::uint8_t* source, DWORD* written) {
    if (!source || !written) return E_INVALIDARG;
    *written = 0;
    if (!m_open || m_mode == WAVEFILE_READ) return CO_E_NOTINITIALIZED;
    if (m_written + n > 0xFFFFFFF0u) return E_FAIL;
    if (!WriteBytes(source, n)) return E_FAIL;
    m_written += n;
    *written = n;
    return S_OK;
}

HRESULT WaveFile::WriteHeader(const WAVEFORMATEX* format) {
    if (!m_open || m_mode == WAVEFILE_READ) return CO_E_NOTINITIALIZED;
    if (!format) return E_INVALIDARG;
    std::uint8_t riff[12] = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E'};
    m_riffSizeAt = 4;
    if (!WriteBytes(riff, sizeof riff)) return E_FAIL;
    const bool pcm = format->wFormatTag == WAVE_FORMAT_PCM;
    std::uint32_t fmtSize = pcm ? 16 : 18u + format->cbSize;
    std::uint8_t fmtHeader[8] = {'f', 'm', 't', ' '};
    PutU32(fmtHeader + 4, fmtSize);
    std::uint8_t head[18];
    std::memcpy(head, format, 18);
    if (!WriteBytes(fmtHeader, 8) || !WriteBytes(head, pcm ? 16 : 18)) return E_FAIL;
    if (!pcm && format->cbSize && !WriteBytes(reinterpret_cast<const std::uint8_t*>(format) + 18, format->cbSize))
        return E_FAIL;
    if ((fmtSize & 1) && !WriteBytes("\0", 1)) return E_FAIL;
    std::uint8_t fact[12] = {'f', 'a', 'c', 't', 4, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF};
    m_factAt = std::ftell(m_out) + 8;
    if (!WriteBytes(fact, sizeof fact)) return E_FAIL;
    m_format.assign(reinterpret_cast<const std::uint8_t*>(format),
                    reinterpret_cast<const std::uint8_t*>(format) + 18 + (pcm ? 0 : format->cbSize));
    if (pcm) reinterpret_cast<WAVEFORMATEX*>(m_format.data())->cbSize = 0;
    return S_OK;
}

bool WaveFile::WriteBytes(const void* data, std::size_t n) {
    if (n && std::fwrite(data, 1, n, m_out) != n) m_writeFailed = true;
    return !m_writeFailed;
}

bool WaveFile::WriteU32At(long offset, std::uint32_t value) {
    std::uint8_t bytes[4];
    PutU32(bytes, value);
    return std::fseek(m_out, offset, SEEK_SET) == 0 && std::fwrite(bytes, 1, 4, m_out) == 4;
}

HRESULT WaveFile::Close() {
    if (!m_open) return S_OK;
    m_open = false;
    if (m_mode == WAVEFILE_READ) {
        m_file.clear();
        m_file.shrink_to_fit();
        m_unread = 0;
        return S_OK;
    }
    bool ok = !m_writeFailed;
    if (m_written & 1) ok = ok && std::fwrite("\0", 1, 1, m_out) == 1;
    long end = std::ftell(m_out);
    ok = ok && end >= 8;
    ok = ok && WriteU32At(m_dataSizeAt, static_cast<std::uint32_t>(m_written));
    ok = ok && WriteU32At(m_riffSizeAt, static_cast<std::uint32_t>(end - 8));
    ok = ok && WriteU32At(m_factAt, 0);
    ok = std::fclose(m_out) == 0 && ok;
    m_out = nullptr;
    return ok ? S_OK : E_FAIL;
}

} // namespace Platform::Audio
