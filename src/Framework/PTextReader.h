#pragma once
// Hands out the meaningful lines of a text buffer. A line containing "//"
// anywhere is dropped whole; lines from one holding "/*" to one holding "*/" are
// dropped whole; lines are trimmed and empty ones skipped; "[name]" is a section
// header, handed out as "name" with IsValueLine false.

#include "Platform/System/RegularFile.h"

#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

class CPTextReader {
public:
    // The bytes are not copied: the caller keeps them alive while reading.
    CPTextReader(const char* data, int size);
    CPTextReader(const unsigned char* data, int size) : CPTextReader(reinterpret_cast<const char*>(data), size) {}
    virtual ~CPTextReader() = default;

    // True when a non-empty line was read.
    bool ReadNextLine();
    bool ReadLine(std::string& out);
    bool IsValueLine() const { return m_valueLine; }
    const std::string& GetLine() const { return m_line; }
    // Line feeds consumed so far.
    int GetLineCounter() const { return m_lineCounter; }

private:
    const char* m_data;
    int m_size;
    int m_position = 0;
    std::string m_line;
    int m_lineCounter = 0;
    bool m_blockComment = false;
    bool m_valueLine = false;
};

// The meaningful lines of a data file read through the file layer (a loose file, else the packs),
// as CPTextReader hands them out, at most maxLines. False when the file cannot be read or is larger
// than maxBytes (the lines are then empty).
bool ReadTextFileLines(const std::string& path, std::vector<std::string>& lines,
                       std::size_t maxLines = std::numeric_limits<std::size_t>::max(),
                       std::uint64_t maxBytes = Platform::kMaxDataFileBytes);
