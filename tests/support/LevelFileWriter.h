#pragma once
// Level files for the tests: the four sections (terrain header, lights, placed objects, route
// splines) written byte for byte, with helpers for common routes and for damaged copies.

#include <cstdint>
#include <string>
#include <vector>

namespace kxtest {

struct LevelObject {
    std::string name;
    float position[3] = {0.0f, 0.0f, 0.0f};
    float rotation[4] = {0.0f, 0.0f, 0.0f, 1.0f};
    float scale[3] = {1.0f, 1.0f, 1.0f};
};

// Stored as start, end, first control point, second control point.
struct LevelSegment {
    float start[3] = {0.0f, 0.0f, 0.0f};
    float end[3] = {0.0f, 0.0f, 0.0f};
    float control1[3] = {0.0f, 0.0f, 0.0f};
    float control2[3] = {0.0f, 0.0f, 0.0f};
};

struct LevelSpline {
    std::string name;
    std::int32_t flag = 0;
    std::vector<LevelSegment> segments;
};

class LevelFileWriter {
public:
    // The two unused floats and the half extents along x and y.
    float header[4] = {0.0f, 0.0f, 500.0f, 500.0f};
    // 0 or less: no light records. Otherwise the first light's twelve floats, then
    // (lightCount - 1) records of 28 bytes.
    std::int32_t lightCount = 0;
    float lightTransform[12] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0};
    std::vector<LevelObject> objects;
    std::vector<LevelSpline> splines;

    LevelObject& AddObject(const std::string& name, float x, float y, float z);
    LevelSpline& AddSpline(const LevelSpline& spline);

    std::string Bytes() const;
    // Byte offsets of the sections in Bytes().
    std::size_t ObjectSectionOffset() const;
    std::size_t SplineSectionOffset() const;
};

// A straight route of equal segments from (x0, y0) to (x1, y1) at height z, control points on
// the line (each segment a straight Bezier).
LevelSpline StraightSpline(const std::string& name, float x0, float y0, float x1, float y1, int segments,
                           float z = 0.0f);
// A closed polygon route through the points (x, y pairs), each side a straight segment.
LevelSpline PolygonSpline(const std::string& name, const std::vector<float>& xy, float z = 0.0f);
// A ring of the given radius about (cx, cy), counter-clockwise seen from above.
LevelSpline RingSpline(const std::string& name, float cx, float cy, float radius, int segments, float z = 0.0f);

// Damaged copies: the first n bytes; a 32-bit value written over the bytes at an offset.
std::string Truncated(const std::string& bytes, std::size_t n);
std::string WithInt(std::string bytes, std::size_t offset, std::int32_t value);

} // namespace kxtest
