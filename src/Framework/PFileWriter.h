#pragma once
// Collects bytes in memory and writes a whole file at once, optionally scrambled.
// The target is replaced atomically: a failed write leaves the old file as it was.

#include "Platform/Base/WinTypes.h"

#include <cstdint>
#include <string>
#include <vector>

class CPFileWriter {
public:
    CPFileWriter(std::string path, bool scrambled = false);
    virtual ~CPFileWriter() = default;

    void WriteBytes(const void* source, int n);
    void WriteInt(int value);
    // A 32-bit length and the bytes, without terminator.
    void WriteString(const std::string& text);

    // S_OK, or E_FAIL when any step of writing failed. Scrambles a copy, so saving
    // twice writes the same bytes twice.
    // error, when given, receives the reason a failed save gives.
    HRESULT Save(std::string* error = nullptr);

    const std::vector<std::uint8_t>& GetData() const { return m_data; }
    const std::string& GetPath() const { return m_path; }

private:
    std::string m_path;
    bool m_scrambled;
    std::vector<std::uint8_t> m_data;
};
