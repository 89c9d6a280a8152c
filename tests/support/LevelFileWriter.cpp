#include "support/LevelFileWriter.h"

#include <cmath>
#include <cstring>

namespace kxtest {

namespace {

void PutInt(std::string& out, std::int32_t value) {
    const auto bits = static_cast<std::uint32_t>(value);
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>((bits >> (8 * i)) & 0xFFu));
}

void PutFloat(std::string& out, float value) {
    std::uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    PutInt(out, static_cast<std::int32_t>(bits));
}

void PutFloats(std::string& out, const float* values, int n) {
    for (int i = 0; i < n; ++i) PutFloat(out, values[i]);
}

void PutString(std::string& out, const std::string& text) {
    PutInt(out, static_cast<std::int32_t>(text.size()));
    out += text;
}

void Set3(float* out, float x, float y, float z) {
    out[0] = x;
    out[1] = y;
    out[2] = z;
}

LevelSegment StraightSegment(float ax, float ay, float bx, float by, float z) {
    LevelSegment s;
    Set3(s.start, ax, ay, z);
    Set3(s.end, bx, by, z);
    Set3(s.control1, ax + (bx - ax) / 3.0f, ay + (by - ay) / 3.0f, z);
    Set3(s.control2, ax + 2.0f * (bx - ax) / 3.0f, ay + 2.0f * (by - ay) / 3.0f, z);
    return s;
}

std::string HeaderAndLights(const LevelFileWriter& w) {
    std::string out;
    PutFloats(out, w.header, 4);
    PutInt(out, w.lightCount);
    if (w.lightCount >= 1) {
        PutInt(out, 0);
        PutFloats(out, w.lightTransform, 12);
        out.append(static_cast<std::size_t>(w.lightCount - 1) * 28u, '\0');
    }
    return out;
}

std::string ObjectSection(const LevelFileWriter& w) {
    std::string out;
    PutInt(out, static_cast<std::int32_t>(w.objects.size()));
    for (const LevelObject& o : w.objects) {
        PutString(out, o.name);
        PutFloats(out, o.position, 3);
        PutFloats(out, o.rotation, 4);
        PutFloats(out, o.scale, 3);
    }
    return out;
}

} // namespace

LevelObject& LevelFileWriter::AddObject(const std::string& name, float x, float y, float z) {
    LevelObject o;
    o.name = name;
    Set3(o.position, x, y, z);
    objects.push_back(o);
    return objects.back();
}

LevelSpline& LevelFileWriter::AddSpline(const LevelSpline& spline) {
    splines.push_back(spline);
    return splines.back();
}

std::size_t LevelFileWriter::ObjectSectionOffset() const { return HeaderAndLights(*this).size(); }

std::size_t LevelFileWriter::SplineSectionOffset() const { return ObjectSectionOffset() + ObjectSection(*this).size(); }

std::string LevelFileWriter::Bytes() const {
    std::string out = HeaderAndLights(*this) + ObjectSection(*this);
    PutInt(out, static_cast<std::int32_t>(splines.size()));
    for (const LevelSpline& s : splines) {
        PutString(out, s.name);
        PutInt(out, s.flag);
        PutInt(out, static_cast<std::int32_t>(s.segments.size()));
        for (const LevelSegment& g : s.segments) {
            PutFloats(out, g.start, 3);
            PutFloats(out, g.end, 3);
            PutFloats(out, g.control1, 3);
            PutFloats(out, g.control2, 3);
        }
    }
    return out;
}

LevelSpline StraightSpline(const std::string& name, float x0, float y0, float x1, float y1, int segments, float z) {
    LevelSpline s;
    s.name = name;
    for (int i = 0; i < segments; ++i) {
        const float a = static_cast<float>(i) / static_cast<float>(segments);
        const float b = static_cast<float>(i + 1) / static_cast<float>(segments);
        s.segments.push_back(
            StraightSegment(x0 + (x1 - x0) * a, y0 + (y1 - y0) * a, x0 + (x1 - x0) * b, y0 + (y1 - y0) * b, z));
    }
    return s;
}

LevelSpline PolygonSpline(const std::string& name, const std::vector<float>& xy, float z) {
    LevelSpline s;
    s.name = name;
    s.flag = 1;
    const std::size_t n = xy.size() / 2;
    for (std::size_t i = 0; i < n; ++i) {
        const std::size_t j = (i + 1) % n;
        s.segments.push_back(StraightSegment(xy[2 * i], xy[2 * i + 1], xy[2 * j], xy[2 * j + 1], z));
    }
    return s;
}

LevelSpline RingSpline(const std::string& name, float cx, float cy, float radius, int segments, float z) {
    std::vector<float> xy;
    for (int i = 0; i < segments; ++i) {
        const double a = 2.0 * 3.14159265358979323846 * i / segments;
        xy.push_back(cx + radius * static_cast<float>(std::cos(a)));
        xy.push_back(cy + radius * static_cast<float>(std::sin(a)));
    }
    return PolygonSpline(name, xy, z);
}

std::string Truncated(const std::string& bytes, std::size_t n) { return bytes.substr(0, n); }

std::string WithInt(std::string bytes, std::size_t offset, std::int32_t value) {
    std::string v;
    PutInt(v, value);
    for (std::size_t i = 0; i < 4 && offset + i < bytes.size(); ++i) bytes[offset + i] = v[i];
    return bytes;
}

} // namespace kxtest
