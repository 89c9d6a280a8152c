#pragma once
// Hand-made image files for the image tests and the picture writers: little-endian writers and a
// DDS header of any size, level count and pixel format.

#include <cstdint>
#include <vector>

namespace ImageTest {

using Bytes = std::vector<uint8_t>;

inline void Put16(Bytes& b, uint32_t v) {
    b.push_back(static_cast<uint8_t>(v));
    b.push_back(static_cast<uint8_t>(v >> 8));
}
inline void Put32(Bytes& b, uint32_t v) {
    Put16(b, v & 0xFFFF);
    Put16(b, v >> 16);
}

constexpr uint32_t Fourcc(const char* s) {
    return static_cast<uint32_t>(s[0]) | (static_cast<uint32_t>(s[1]) << 8) | (static_cast<uint32_t>(s[2]) << 16) |
           (static_cast<uint32_t>(s[3]) << 24);
}

struct DdsLayout {
    uint32_t width = 4, height = 4, mips = 1;
    bool cube = false;
    uint32_t fourCC = 0; // 0: uncompressed
    uint32_t bitCount = 32;
    uint32_t masks[4] = {0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000};
};

// The magic and the header; the caller appends the levels.
inline Bytes DdsHeader(const DdsLayout& s) {
    Bytes b = {'D', 'D', 'S', ' '};
    Put32(b, 124);
    Put32(b, 0x1 | 0x2 | 0x4 | 0x1000 | (s.mips > 1 ? 0x20000 : 0));
    Put32(b, s.height);
    Put32(b, s.width);
    Put32(b, 0);
    Put32(b, 0);
    Put32(b, s.mips);
    for (int i = 0; i < 11; ++i) Put32(b, 0);
    Put32(b, 32);
    Put32(b, s.fourCC ? 0x4 : (0x40 | 0x1));
    Put32(b, s.fourCC);
    Put32(b, s.fourCC ? 0 : s.bitCount);
    for (uint32_t m : s.masks) Put32(b, s.fourCC ? 0 : m);
    Put32(b, 0x1000 | (s.cube ? 0x8 : 0) | (s.mips > 1 ? 0x400008 : 0));
    Put32(b, s.cube ? 0x200 | 0xFC00 : 0);
    Put32(b, 0);
    Put32(b, 0);
    Put32(b, 0);
    return b;
}

} // namespace ImageTest
