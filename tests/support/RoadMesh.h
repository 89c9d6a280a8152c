#pragma once
// Generated roads for the race world's tests: vertex positions and a 16-bit triangle list, with
// the exact height of the road surface under any point and the planes of the walls, for checks
// that a body never ends below the road or beyond a wall.

#include <cstdint>
#include <string>
#include <vector>

#include "support/MeshFileWriter.h"

namespace kxtest {

// A vertical wall piece from a to b (x-y plane); (nx, ny) is its unit normal toward the road.
struct RoadWall {
    float ax = 0.0f, ay = 0.0f, bx = 0.0f, by = 0.0f;
    float nx = 0.0f, ny = 0.0f;
    float bottom = 0.0f, top = 0.0f;
    // Signed horizontal distance of a point from the wall's line, positive on the road side.
    float SignedDistance(float x, float y) const { return (x - ax) * nx + (y - ay) * ny; }
    // Whether the point's foot on the wall's line lies within the piece.
    bool Spans(float x, float y) const;
};

class RoadMesh {
public:
    // Positions as x, y, z triples.
    std::vector<float> positions;
    std::vector<std::uint16_t> indices;
    std::vector<RoadWall> walls;

    int VertexCount() const { return static_cast<int>(positions.size() / 3); }
    int TriangleCount() const { return static_cast<int>(indices.size() / 3); }
    // Appends a vertex and answers its index.
    std::uint16_t AddVertex(float x, float y, float z);
    void AddTriangle(std::uint16_t a, std::uint16_t b, std::uint16_t c);

    // The z of the highest road face (walls left out) over (x, y), interpolated inside its
    // triangle exactly as the mesh has it; false where no face lies under the point.
    bool SurfaceHeight(float x, float y, float& z) const;
    // The wall piece nearest the point among those spanning it, or null.
    const RoadWall* NearestWall(float x, float y) const;

private:
    void BuildIndex() const;
    mutable bool m_indexed = false;
    mutable float m_minX = 0.0f, m_minY = 0.0f;
    mutable int m_cellsX = 0, m_cellsY = 0;
    mutable std::vector<std::vector<int>> m_buckets;
};

// A flat rectangle from (0, 0) to (width, length) at height z, cut into quads.
RoadMesh MakeFlatRoad(float width, float length, int quadsAcross, int quadsAlong, float z = 0.0f);
// Along +y, from x 0 to width: a flat run-up of runUp, a ramp rising to rampHeight over
// rampLength that ends in a drop, a gap of gapLength with no road, and a flat landing.
RoadMesh MakeRampRoad(float width, float runUp, float rampLength, float rampHeight, float gapLength, float landing);
// A quarter-to-full sweep (radians) of a ring road about the origin, banked: the surface rises
// by tan(bank) per unit of radius from the inner edge (height 0) outward.
RoadMesh MakeBankedTurn(float innerRadius, float width, float bankAngle, float sweep, int segments, int across);
// A flat rectangle from (0, 0) to (width, length) at z 0 with a wall of the given height across
// it at y = wallY, from x 0 to width, facing +y: the road side is y > wallY. The wall is cut
// into pieces about 5 units wide.
RoadMesh MakeWalledEnd(float width, float length, float wallY, float wallHeight, int quadsAcross, int quadsAlong);
// A closed ring road about the origin with a wall along each edge; segments x (2 x across + 4)
// triangles (1000 segments and 8 across give 20,000).
RoadMesh MakeWalledLoop(float radius, float width, float wallHeight, int segments, int across);

// The road as one node of a mesh file (upward normals, white, no body: the level keeps roads
// without physics data), and as the bytes of a p3d mesh file holding just that node.
MeshNode RoadMeshNode(const RoadMesh& road, const std::string& name = "road");
std::string RoadMeshFile(const RoadMesh& road, const std::string& name = "road");

// The road as the description loader meets it: a render description naming the road's mesh
// file, and that file. Both belong in "Data\Meshes" under their names.
struct RoadDescriptionFiles {
    std::string descriptionName;
    std::string description;
    std::string meshName;
    std::string mesh;
};
RoadDescriptionFiles RoadDescription(const RoadMesh& road, const std::string& descriptionName,
                                     const std::string& meshName = "road.p3d");

} // namespace kxtest
