#include "Framework/PFileReader.h"

#include "Framework/PackFile.h"
#include "Platform/System/FileTrace.h"
#include "Platform/System/Paths.h"
#include "Platform/System/RegularFile.h"

#include <cstdio>
#include <cstring>
#include <memory>

namespace {

struct FileCloser {
    void operator()(std::FILE* f) const {
        if (f) std::fclose(f);
    }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

} // namespace

// The path is lower-cased once here; the resolver looks up the written spelling first, so that
// where names differ only in case the file read is the one the writer wrote.
CPFileReader::CPFileReader(std::string path, bool scrambled, std::uint64_t maxBytes)
    : m_where(path), m_packKey(PackKey(m_where)), m_scrambled(scrambled), m_maxBytes(maxBytes) {}

bool CPFileReader::InPacks() const {
    for (const CPPackFile& pack : MountedPacks())
        if (pack.Find(m_packKey)) return true;
    return false;
}

void CPFileReader::TraceLookup(const std::optional<std::string>& loose) const {
    if (!Platform::IsFileTraceOpen()) return;
    if (loose) {
        Platform::TraceLooseFile(GetPath(), *loose);
        return;
    }
    for (const CPPackFile& pack : MountedPacks())
        if (pack.Find(m_packKey)) {
            Platform::TracePackFile(GetPath(), pack.GetPath());
            return;
        }
    Platform::TraceMissingFile(GetPath());
}

bool CPFileReader::Find() {
    m_foundLoose = Platform::GamePaths().ResolveFile(m_where);
    m_found = m_foundLoose || InPacks();
    TraceLookup(m_foundLoose);
    return m_found;
}

HRESULT CPFileReader::Load() {
    m_data.clear();
    std::optional<std::string> loose;
    if (m_found) {
        loose = std::move(m_foundLoose);
    } else {
        loose = Platform::GamePaths().ResolveFile(m_where);
        TraceLookup(loose);
    }
    m_found = false;
    m_foundLoose.reset();
    return loose ? LoadLoose(*loose) : LoadFromPacks();
}

HRESULT CPFileReader::LoadLoose(const std::string& realPath) {
    FilePtr file(Platform::OpenRegularFileStream(realPath));
    if (!file) return LoadFromPacks();
    if (std::fseek(file.get(), 0, SEEK_END) != 0) return E_FAIL;
    long size = std::ftell(file.get());
    if (size < 0 || static_cast<std::uint64_t>(size) > m_maxBytes || std::fseek(file.get(), 0, SEEK_SET) != 0)
        return E_FAIL;
    m_data.resize(static_cast<std::size_t>(size));
    std::size_t got = m_data.empty() ? 0 : std::fread(m_data.data(), 1, m_data.size(), file.get());
    if (got != m_data.size()) {
        m_data.resize(got);
        return E_FAIL;
    }
    if (m_scrambled) UnscrambleBuffer(m_data.data(), m_data.size());
    return S_OK;
}

HRESULT CPFileReader::LoadFromPacks() {
    HRESULT result = E_FAIL;
    for (const CPPackFile& pack : MountedPacks()) {
        const SPPackEntry* entry = pack.Find(m_packKey);
        if (!entry) continue;
        if (static_cast<std::uint64_t>(entry->size) > m_maxBytes) return E_FAIL;
        auto real = Platform::GamePaths().Resolve(pack.GetPath());
        FilePtr file(real ? Platform::OpenRegularFileStream(*real) : nullptr);
        if (!file) {
            result = E_FAIL;
            continue;
        }
        if (std::fseek(file.get(), static_cast<long>(entry->position), SEEK_SET) != 0) return E_FAIL;
        m_data.resize(static_cast<std::size_t>(entry->size));
        std::size_t got = m_data.empty() ? 0 : std::fread(m_data.data(), 1, m_data.size(), file.get());
        HRESULT answer = S_OK;
        if (got != m_data.size()) {
            // The pack shrank since it was mounted: keep only what was really read.
            m_data.resize(got);
            answer = E_FAIL;
        }
        UnscrambleBuffer(m_data.data(), m_data.size());
        return answer;
    }
    return result;
}

HRESULT CPFileReader::ReadBytes(void* destination, int n) {
    if (n == 0) return S_OK;
    if (n < 0) {
        m_failed = true;
        return E_FAIL;
    }
    if (n > GetRemaining()) {
        if (destination) std::memset(destination, 0, static_cast<std::size_t>(n));
        m_position = GetDataSize();
        m_failed = true;
        return E_FAIL;
    }
    if (destination) std::memcpy(destination, m_data.data() + m_position, static_cast<std::size_t>(n));
    m_position += n;
    return S_OK;
}

int CPFileReader::ReadInt() {
    std::uint8_t b[4];
    if (ReadBytes(b, 4) != S_OK) return 0;
    return ReadLE32(b);
}

float CPFileReader::ReadFloat() {
    std::uint32_t bits = static_cast<std::uint32_t>(ReadInt());
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

std::string CPFileReader::ReadString() {
    int length = ReadInt();
    if (length == 0) return std::string();
    if (length < 0 || length > GetRemaining()) {
        m_position = GetDataSize();
        m_failed = true;
        return std::string();
    }
    const char* start = reinterpret_cast<const char*>(m_data.data() + m_position);
    std::size_t textLength = ::strnlen(start, static_cast<std::size_t>(length));
    std::string text(start, textLength);
    m_position += length;
    return text;
}
