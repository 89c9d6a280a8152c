#pragma once
// Builds RIFF WAVE files byte by byte, including the malformed ones loaders must survive.

#include <cstdint>
#include <string>
#include <vector>

namespace kxtest {

struct WaveLayout {
    std::uint16_t formatTag = 1;
    std::uint16_t channels = 1;
    std::uint32_t rate = 22050;
    std::uint16_t bits = 16;
    std::vector<std::uint8_t> samples;
    std::uint32_t fmtSize = 16;         // 18 adds a zero extra size
    std::vector<std::uint8_t> fmtExtra; // bytes after the 16 (or 18) of a non-PCM format
    bool chunkBeforeData = false;       // a "LIST" chunk between "fmt " and "data"
    bool chunkBeforeFmt = false;        // a "junk" chunk (odd size, padded) before "fmt "
    long dataSizeDelta = 0;             // added to the declared "data" size (a lying header)
    std::size_t truncateBy = 0;         // bytes cut from the end of the file
};

inline void PutU16(std::string& s, std::uint16_t v) {
    s += static_cast<char>(v & 0xFF);
    s += static_cast<char>(v >> 8);
}
inline void PutU32(std::string& s, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) s += static_cast<char>((v >> (8 * i)) & 0xFF);
}

inline std::string MakeWave(const WaveLayout& w) {
    std::string body = "WAVE";
    if (w.chunkBeforeFmt) {
        body += "junk";
        PutU32(body, 3);
        body += std::string("abc") + '\0';
    }
    body += "fmt ";
    PutU32(body, w.fmtSize);
    std::string fmt;
    PutU16(fmt, w.formatTag);
    PutU16(fmt, w.channels);
    PutU32(fmt, w.rate);
    std::uint16_t align = static_cast<std::uint16_t>(w.channels * (w.bits / 8));
    PutU32(fmt, w.rate * align);
    PutU16(fmt, align);
    PutU16(fmt, w.bits);
    if (w.fmtSize >= 18) PutU16(fmt, static_cast<std::uint16_t>(w.fmtExtra.size()));
    fmt.append(w.fmtExtra.begin(), w.fmtExtra.end());
    fmt.resize(w.fmtSize, '\0');
    body += fmt;
    if (w.fmtSize & 1) body += '\0';
    if (w.chunkBeforeData) {
        body += "LIST";
        PutU32(body, 4);
        body += "INFO";
    }
    body += "data";
    PutU32(body, static_cast<std::uint32_t>(static_cast<long>(w.samples.size()) + w.dataSizeDelta));
    body.append(w.samples.begin(), w.samples.end());
    std::string file = "RIFF";
    PutU32(file, static_cast<std::uint32_t>(body.size()));
    file += body;
    file.resize(file.size() - std::min(w.truncateBy, file.size()));
    return file;
}

// n frames of a ramp pattern (distinct bytes, so copies can be compared).
inline std::vector<std::uint8_t> Pattern(std::size_t bytes) {
    std::vector<std::uint8_t> out(bytes);
    for (std::size_t i = 0; i < bytes; ++i) out[i] = static_cast<std::uint8_t>(i * 7 + 3);
    return out;
}

} // namespace kxtest
