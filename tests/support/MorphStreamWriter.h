#pragma once
// Writes morph-animation streams for loader tests: frames of whole meshes at a frame time in
// 1/2400 s ticks, and the hostile variants (a cut at any byte, any count overwritten).

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace kxtest {

// One 48-byte vertex record as stored.
struct MorphVertex {
    float x = 0, y = 0, z = 0;
    float nx = 0, ny = 0, nz = 1;
    std::uint32_t diffuse = 0;
    std::uint32_t specular = 0;
    float tu = 0, tv = 0;
    float tu1 = 0, tv1 = 0;
};

struct MorphFrame {
    std::vector<MorphVertex> vertices;
    std::vector<std::uint16_t> indices;
};

// A frame of `triangles` triangles (three vertices each, indices 0, 1, 2, ...), every vertex
// moved by `offset` along x so frames can be told apart.
MorphFrame TriangleFrame(int triangles, float offset = 0.0f);

class MorphStreamWriter {
public:
    explicit MorphStreamWriter(float ticks = 240.0f) : m_ticks(ticks) {}

    MorphStreamWriter& AddFrame(MorphFrame frame);
    // `count` frames of TriangleFrame(triangles, i) for frame i.
    MorphStreamWriter& AddFrames(int count, int triangles);

    std::string Build() const;

    // Where each count stands in the built stream, for OverwriteInt.
    static constexpr std::size_t kFrameCountOffset = 0;
    std::size_t VertexCountOffset(int frame) const;
    std::size_t IndexCountOffset(int frame) const;
    std::size_t Size() const { return Build().size(); }

    const std::vector<MorphFrame>& Frames() const { return m_frames; }

private:
    float m_ticks;
    std::vector<MorphFrame> m_frames;
};

// The bytes with a 32-bit little-endian value written at `offset`.
std::string OverwriteInt(std::string bytes, std::size_t offset, std::int32_t value);
// The first `length` bytes.
inline std::string Truncated(const std::string& bytes, std::size_t length) { return bytes.substr(0, length); }

} // namespace kxtest
