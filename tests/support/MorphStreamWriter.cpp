#include "support/MorphStreamWriter.h"

#include <utility>

#include "support/PackWriter.h"

namespace kxtest {

MorphFrame TriangleFrame(int triangles, float offset) {
    MorphFrame frame;
    for (int t = 0; t < triangles; ++t) {
        for (int corner = 0; corner < 3; ++corner) {
            MorphVertex v;
            v.x = offset + static_cast<float>(corner);
            v.y = static_cast<float>(t);
            v.z = static_cast<float>(corner == 2);
            v.diffuse = 0x12345678u;
            v.tu = static_cast<float>(corner) * 0.5f;
            frame.vertices.push_back(v);
            frame.indices.push_back(static_cast<std::uint16_t>(3 * t + corner));
        }
    }
    return frame;
}

MorphStreamWriter& MorphStreamWriter::AddFrame(MorphFrame frame) {
    m_frames.push_back(std::move(frame));
    return *this;
}

MorphStreamWriter& MorphStreamWriter::AddFrames(int count, int triangles) {
    for (int i = 0; i < count; ++i) AddFrame(TriangleFrame(triangles, static_cast<float>(i)));
    return *this;
}

std::string MorphStreamWriter::Build() const {
    std::string out;
    AppendInt(out, static_cast<std::int32_t>(m_frames.size()));
    AppendFloat(out, m_ticks);
    for (const MorphFrame& frame : m_frames) {
        AppendInt(out, static_cast<std::int32_t>(frame.vertices.size()));
        for (const MorphVertex& v : frame.vertices) {
            for (float f : {v.x, v.y, v.z, v.nx, v.ny, v.nz}) AppendFloat(out, f);
            AppendUint(out, v.diffuse);
            AppendUint(out, v.specular);
            for (float f : {v.tu, v.tv, v.tu1, v.tv1}) AppendFloat(out, f);
        }
        AppendInt(out, static_cast<std::int32_t>(frame.indices.size()));
        for (std::uint16_t index : frame.indices) {
            out.push_back(static_cast<char>(index & 0xFF));
            out.push_back(static_cast<char>(index >> 8));
        }
    }
    return out;
}

std::size_t MorphStreamWriter::VertexCountOffset(int frame) const {
    std::size_t offset = 8;
    for (int i = 0; i < frame; ++i)
        offset += 8 + 48 * m_frames[static_cast<std::size_t>(i)].vertices.size() +
                  2 * m_frames[static_cast<std::size_t>(i)].indices.size();
    return offset;
}

std::size_t MorphStreamWriter::IndexCountOffset(int frame) const {
    return VertexCountOffset(frame) + 4 + 48 * m_frames[static_cast<std::size_t>(frame)].vertices.size();
}

std::string OverwriteInt(std::string bytes, std::size_t offset, std::int32_t value) {
    std::string encoded;
    AppendInt(encoded, value);
    bytes.replace(offset, 4, encoded);
    return bytes;
}

} // namespace kxtest
