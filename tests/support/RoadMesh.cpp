#include "support/RoadMesh.h"

#include <algorithm>
#include <cmath>

namespace kxtest {

namespace {

constexpr float kBucket = 5.0f;

void AddGrid(RoadMesh& mesh, const std::vector<float>& xs, const std::vector<float>& ys, const std::vector<float>& zs) {
    const std::uint16_t first = static_cast<std::uint16_t>(mesh.VertexCount());
    for (std::size_t j = 0; j < ys.size(); ++j)
        for (std::size_t i = 0; i < xs.size(); ++i) mesh.AddVertex(xs[i], ys[j], zs[j]);
    const std::size_t row = xs.size();
    for (std::size_t j = 0; j + 1 < ys.size(); ++j) {
        for (std::size_t i = 0; i + 1 < xs.size(); ++i) {
            const auto a = static_cast<std::uint16_t>(first + j * row + i);
            const auto b = static_cast<std::uint16_t>(a + 1);
            const auto c = static_cast<std::uint16_t>(a + row);
            const auto d = static_cast<std::uint16_t>(c + 1);
            mesh.AddTriangle(a, b, d);
            mesh.AddTriangle(a, d, c);
        }
    }
}

std::vector<float> Steps(float from, float to, int count) {
    std::vector<float> out;
    for (int i = 0; i <= count; ++i)
        out.push_back(from + (to - from) * static_cast<float>(i) / static_cast<float>(count));
    return out;
}

} // namespace

bool RoadWall::Spans(float x, float y) const {
    const float ex = bx - ax, ey = by - ay;
    const float lengthSquared = ex * ex + ey * ey;
    if (lengthSquared <= 0.0f) return false;
    const float t = ((x - ax) * ex + (y - ay) * ey) / lengthSquared;
    return t >= 0.0f && t <= 1.0f;
}

std::uint16_t RoadMesh::AddVertex(float x, float y, float z) {
    positions.push_back(x);
    positions.push_back(y);
    positions.push_back(z);
    m_indexed = false;
    return static_cast<std::uint16_t>(VertexCount() - 1);
}

void RoadMesh::AddTriangle(std::uint16_t a, std::uint16_t b, std::uint16_t c) {
    indices.push_back(a);
    indices.push_back(b);
    indices.push_back(c);
    m_indexed = false;
}

void RoadMesh::BuildIndex() const {
    m_buckets.clear();
    if (positions.empty()) {
        m_cellsX = m_cellsY = 0;
        m_indexed = true;
        return;
    }
    float maxX = positions[0], maxY = positions[1];
    m_minX = positions[0];
    m_minY = positions[1];
    for (std::size_t i = 0; i < positions.size(); i += 3) {
        m_minX = std::min(m_minX, positions[i]);
        m_minY = std::min(m_minY, positions[i + 1]);
        maxX = std::max(maxX, positions[i]);
        maxY = std::max(maxY, positions[i + 1]);
    }
    m_cellsX = static_cast<int>((maxX - m_minX) / kBucket) + 1;
    m_cellsY = static_cast<int>((maxY - m_minY) / kBucket) + 1;
    m_buckets.assign(static_cast<std::size_t>(m_cellsX * m_cellsY), {});
    for (int t = 0; t < TriangleCount(); ++t) {
        float lx = 1e30f, ly = 1e30f, hx = -1e30f, hy = -1e30f;
        for (int k = 0; k < 3; ++k) {
            const std::size_t v = indices[static_cast<std::size_t>(3 * t + k)] * 3u;
            lx = std::min(lx, positions[v]);
            ly = std::min(ly, positions[v + 1]);
            hx = std::max(hx, positions[v]);
            hy = std::max(hy, positions[v + 1]);
        }
        const int x0 = static_cast<int>((lx - m_minX) / kBucket), x1 = static_cast<int>((hx - m_minX) / kBucket);
        const int y0 = static_cast<int>((ly - m_minY) / kBucket), y1 = static_cast<int>((hy - m_minY) / kBucket);
        for (int x = x0; x <= x1; ++x)
            for (int y = y0; y <= y1; ++y) m_buckets[static_cast<std::size_t>(y * m_cellsX + x)].push_back(t);
    }
    m_indexed = true;
}

bool RoadMesh::SurfaceHeight(float x, float y, float& z) const {
    if (!m_indexed) BuildIndex();
    if (m_cellsX == 0) return false;
    const int cx = static_cast<int>(std::floor((x - m_minX) / kBucket));
    const int cy = static_cast<int>(std::floor((y - m_minY) / kBucket));
    if (cx < 0 || cy < 0 || cx >= m_cellsX || cy >= m_cellsY) return false;
    bool found = false;
    for (int t : m_buckets[static_cast<std::size_t>(cy * m_cellsX + cx)]) {
        const std::size_t a = indices[static_cast<std::size_t>(3 * t)] * 3u;
        const std::size_t b = indices[static_cast<std::size_t>(3 * t + 1)] * 3u;
        const std::size_t c = indices[static_cast<std::size_t>(3 * t + 2)] * 3u;
        const double ax = positions[a], ay = positions[a + 1], az = positions[a + 2];
        const double bx = positions[b], by = positions[b + 1], bz = positions[b + 2];
        const double cx2 = positions[c], cy2 = positions[c + 1], cz = positions[c + 2];
        const double det = (by - cy2) * (ax - cx2) + (cx2 - bx) * (ay - cy2);
        // Walls have no extent in the x-y plane.
        if (std::fabs(det) < 1e-9) continue;
        const double l1 = ((by - cy2) * (x - cx2) + (cx2 - bx) * (y - cy2)) / det;
        const double l2 = ((cy2 - ay) * (x - cx2) + (ax - cx2) * (y - cy2)) / det;
        const double l3 = 1.0 - l1 - l2;
        const double eps = -1e-6;
        if (l1 < eps || l2 < eps || l3 < eps) continue;
        const float h = static_cast<float>(l1 * az + l2 * bz + l3 * cz);
        if (!found || h > z) z = h;
        found = true;
    }
    return found;
}

const RoadWall* RoadMesh::NearestWall(float x, float y) const {
    const RoadWall* best = nullptr;
    float bestDistance = 0.0f;
    for (const RoadWall& wall : walls) {
        if (!wall.Spans(x, y)) continue;
        const float d = std::fabs(wall.SignedDistance(x, y));
        if (!best || d < bestDistance) {
            best = &wall;
            bestDistance = d;
        }
    }
    return best;
}

RoadMesh MakeFlatRoad(float width, float length, int quadsAcross, int quadsAlong, float z) {
    RoadMesh mesh;
    const std::vector<float> xs = Steps(0.0f, width, std::max(quadsAcross, 1));
    const std::vector<float> ys = Steps(0.0f, length, std::max(quadsAlong, 1));
    AddGrid(mesh, xs, ys, std::vector<float>(ys.size(), z));
    return mesh;
}

RoadMesh MakeWalledEnd(float width, float length, float wallY, float wallHeight, int quadsAcross, int quadsAlong) {
    RoadMesh mesh = MakeFlatRoad(width, length, quadsAcross, quadsAlong);
    const int pieces = std::max(1, static_cast<int>(width / 5.0f));
    const std::vector<float> xs = Steps(0.0f, width, pieces);
    for (int i = 0; i < pieces; ++i) {
        const float x0 = xs[static_cast<std::size_t>(i)], x1 = xs[static_cast<std::size_t>(i + 1)];
        const std::uint16_t a = mesh.AddVertex(x0, wallY, 0.0f);
        const std::uint16_t b = mesh.AddVertex(x1, wallY, 0.0f);
        const std::uint16_t c = mesh.AddVertex(x1, wallY, wallHeight);
        const std::uint16_t d = mesh.AddVertex(x0, wallY, wallHeight);
        // Facing +y, toward the road.
        mesh.AddTriangle(a, c, b);
        mesh.AddTriangle(a, d, c);
        RoadWall wall;
        wall.ax = x0;
        wall.ay = wallY;
        wall.bx = x1;
        wall.by = wallY;
        wall.nx = 0.0f;
        wall.ny = 1.0f;
        wall.top = wallHeight;
        mesh.walls.push_back(wall);
    }
    return mesh;
}

RoadMesh MakeRampRoad(float width, float runUp, float rampLength, float rampHeight, float gapLength, float landing) {
    RoadMesh mesh;
    const std::vector<float> xs = Steps(0.0f, width, std::max(1, static_cast<int>(width / 2.5f)));
    // The run-up and the ramp share a row of vertices at the ramp's foot.
    const int runRows = std::max(1, static_cast<int>(runUp / 2.5f));
    const int rampRows = std::max(1, static_cast<int>(rampLength / 2.5f));
    std::vector<float> ys = Steps(0.0f, runUp, runRows);
    std::vector<float> zs(ys.size(), 0.0f);
    const std::vector<float> rampYs = Steps(runUp, runUp + rampLength, rampRows);
    for (std::size_t i = 1; i < rampYs.size(); ++i) {
        ys.push_back(rampYs[i]);
        zs.push_back(rampHeight * static_cast<float>(i) / static_cast<float>(rampRows));
    }
    AddGrid(mesh, xs, ys, zs);
    const float start = runUp + rampLength + gapLength;
    const std::vector<float> landYs = Steps(start, start + landing, std::max(1, static_cast<int>(landing / 2.5f)));
    AddGrid(mesh, xs, landYs, std::vector<float>(landYs.size(), 0.0f));
    return mesh;
}

RoadMesh MakeBankedTurn(float innerRadius, float width, float bankAngle, float sweep, int segments, int across) {
    RoadMesh mesh;
    const float slope = std::tan(bankAngle);
    const int rows = across + 1;
    for (int s = 0; s <= segments; ++s) {
        const float angle = sweep * static_cast<float>(s) / static_cast<float>(segments);
        for (int i = 0; i < rows; ++i) {
            const float r = innerRadius + width * static_cast<float>(i) / static_cast<float>(across);
            mesh.AddVertex(r * std::cos(angle), r * std::sin(angle), (r - innerRadius) * slope);
        }
    }
    for (int s = 0; s < segments; ++s) {
        for (int i = 0; i < across; ++i) {
            const auto a = static_cast<std::uint16_t>(s * rows + i);
            const auto b = static_cast<std::uint16_t>(a + 1);
            const auto c = static_cast<std::uint16_t>(a + rows);
            const auto d = static_cast<std::uint16_t>(c + 1);
            // Counter-clockwise seen from above: the faces point up.
            mesh.AddTriangle(a, d, c);
            mesh.AddTriangle(a, b, d);
        }
    }
    return mesh;
}

RoadMesh MakeWalledLoop(float radius, float width, float wallHeight, int segments, int across) {
    RoadMesh mesh;
    const float inner = radius - width * 0.5f;
    const float outer = radius + width * 0.5f;
    // Per segment line: the road's across + 1 vertices, then the two wall tops.
    const int rows = across + 3;
    for (int s = 0; s < segments; ++s) {
        const float angle = 6.2831853f * static_cast<float>(s) / static_cast<float>(segments);
        const float c = std::cos(angle), sn = std::sin(angle);
        for (int i = 0; i <= across; ++i) {
            const float r = inner + width * static_cast<float>(i) / static_cast<float>(across);
            mesh.AddVertex(r * c, r * sn, 0.0f);
        }
        mesh.AddVertex(inner * c, inner * sn, wallHeight);
        mesh.AddVertex(outer * c, outer * sn, wallHeight);
    }
    for (int s = 0; s < segments; ++s) {
        const int next = (s + 1) % segments;
        const auto base = static_cast<std::uint16_t>(s * rows);
        const auto nextBase = static_cast<std::uint16_t>(next * rows);
        for (int i = 0; i < across; ++i) {
            const auto a = static_cast<std::uint16_t>(base + i);
            const auto b = static_cast<std::uint16_t>(a + 1);
            const auto cc = static_cast<std::uint16_t>(nextBase + i);
            const auto d = static_cast<std::uint16_t>(cc + 1);
            mesh.AddTriangle(a, d, cc);
            mesh.AddTriangle(a, b, d);
        }
        // Inner wall: road edge vertex 0 up to the inner top; outer: vertex across to the outer top.
        const auto innerLow = base, innerLowNext = nextBase;
        const auto innerTop = static_cast<std::uint16_t>(base + across + 1);
        const auto innerTopNext = static_cast<std::uint16_t>(nextBase + across + 1);
        // Both walls face the road.
        mesh.AddTriangle(innerLow, innerTopNext, innerTop);
        mesh.AddTriangle(innerLow, innerLowNext, innerTopNext);
        const auto outerLow = static_cast<std::uint16_t>(base + across);
        const auto outerLowNext = static_cast<std::uint16_t>(nextBase + across);
        const auto outerTop = static_cast<std::uint16_t>(base + across + 2);
        const auto outerTopNext = static_cast<std::uint16_t>(nextBase + across + 2);
        mesh.AddTriangle(outerLow, outerTopNext, outerLowNext);
        mesh.AddTriangle(outerLow, outerTop, outerTopNext);

        for (int side = 0; side < 2; ++side) {
            const float r = side == 0 ? inner : outer;
            const float a0 = 6.2831853f * static_cast<float>(s) / static_cast<float>(segments);
            const float a1 = 6.2831853f * static_cast<float>(s + 1) / static_cast<float>(segments);
            RoadWall wall;
            wall.ax = r * std::cos(a0);
            wall.ay = r * std::sin(a0);
            wall.bx = r * std::cos(a1);
            wall.by = r * std::sin(a1);
            // The chord's normal, pointing toward the ring's middle line.
            float nx = wall.by - wall.ay, ny = -(wall.bx - wall.ax);
            const float length = std::sqrt(nx * nx + ny * ny);
            nx /= length;
            ny /= length;
            const float mx = 0.5f * (wall.ax + wall.bx), my = 0.5f * (wall.ay + wall.by);
            const float outward = nx * mx + ny * my;
            const bool pointsOut = outward > 0.0f;
            const bool wantOut = side == 0;
            if (pointsOut != wantOut) {
                nx = -nx;
                ny = -ny;
            }
            wall.nx = nx;
            wall.ny = ny;
            wall.top = wallHeight;
            mesh.walls.push_back(wall);
        }
    }
    return mesh;
}

MeshNode RoadMeshNode(const RoadMesh& road, const std::string& name) {
    MeshNode node;
    node.name = name;
    node.vertices.resize(static_cast<std::size_t>(road.VertexCount()));
    for (std::size_t i = 0; i < node.vertices.size(); ++i) {
        MorphVertex& v = node.vertices[i];
        v.x = road.positions[3 * i];
        v.y = road.positions[3 * i + 1];
        v.z = road.positions[3 * i + 2];
        v.diffuse = 0xffffffffu;
    }
    node.indices = road.indices;
    return node;
}

std::string RoadMeshFile(const RoadMesh& road, const std::string& name) {
    MeshFileWriter writer(true);
    writer.AddNode(RoadMeshNode(road, name));
    return writer.Build().bytes;
}

RoadDescriptionFiles RoadDescription(const RoadMesh& road, const std::string& descriptionName,
                                     const std::string& meshName) {
    RoadDescriptionFiles files;
    files.descriptionName = descriptionName;
    files.meshName = meshName;
    files.description = "model = " + meshName + "\n";
    files.mesh = RoadMeshFile(road);
    return files;
}

} // namespace kxtest
