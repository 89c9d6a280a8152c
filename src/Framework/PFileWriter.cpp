#include "Framework/PFileWriter.h"

#include "Framework/PackFile.h"
#include "Platform/System/AtomicFile.h"

CPFileWriter::CPFileWriter(std::string path, bool scrambled) : m_path(std::move(path)), m_scrambled(scrambled) {}

void CPFileWriter::WriteBytes(const void* source, int n) {
    if (!source || n <= 0) return;
    const auto* bytes = static_cast<const std::uint8_t*>(source);
    m_data.insert(m_data.end(), bytes, bytes + n);
}

void CPFileWriter::WriteInt(int value) {
    auto u = static_cast<std::uint32_t>(value);
    std::uint8_t b[4] = {static_cast<std::uint8_t>(u), static_cast<std::uint8_t>(u >> 8),
                         static_cast<std::uint8_t>(u >> 16), static_cast<std::uint8_t>(u >> 24)};
    WriteBytes(b, 4);
}

void CPFileWriter::WriteString(const std::string& text) {
    WriteInt(static_cast<int>(text.size()));
    WriteBytes(text.data(), static_cast<int>(text.size()));
}

HRESULT CPFileWriter::Save(std::string* error) {
    std::vector<std::uint8_t> bytes = m_data;
    if (m_scrambled) ScrambleBuffer(bytes);
    return Platform::WriteGameFileAtomic(m_path, bytes.data(), bytes.size(), error) ? S_OK : E_FAIL;
}
