#include "BenchEngine.h"

#include <algorithm>

namespace bench {

void TerrainMesh::BuildGrid(double cellSize) {
    double minX = 1e300, minY = 1e300, maxX = -1e300, maxY = -1e300;
    for (const Vec3& v : vertices) {
        minX = std::min(minX, v.x);
        minY = std::min(minY, v.y);
        maxX = std::max(maxX, v.x);
        maxY = std::max(maxY, v.y);
    }
    cell = cellSize;
    originX = minX;
    originY = minY;
    cellsX = std::max(1, static_cast<int>(std::ceil((maxX - minX) / cell)));
    cellsY = std::max(1, static_cast<int>(std::ceil((maxY - minY) / cell)));
    cellTriangles.assign(static_cast<size_t>(cellsX) * cellsY, {});
    for (int t = 0; t < TriangleCount(); ++t) {
        double tminX = 1e300, tminY = 1e300, tmaxX = -1e300, tmaxY = -1e300;
        for (int k = 0; k < 3; ++k) {
            const Vec3& v = vertices[indices[3 * t + k]];
            tminX = std::min(tminX, v.x);
            tminY = std::min(tminY, v.y);
            tmaxX = std::max(tmaxX, v.x);
            tmaxY = std::max(tmaxY, v.y);
        }
        int x0 = std::clamp(static_cast<int>(std::floor((tminX - originX) / cell)), 0, cellsX - 1);
        int x1 = std::clamp(static_cast<int>(std::floor((tmaxX - originX) / cell - 1e-9)), 0, cellsX - 1);
        int y0 = std::clamp(static_cast<int>(std::floor((tminY - originY) / cell)), 0, cellsY - 1);
        int y1 = std::clamp(static_cast<int>(std::floor((tmaxY - originY) / cell - 1e-9)), 0, cellsY - 1);
        // A triangle without extent along an axis (a wall seen from above) lying on a cell
        // boundary would otherwise end before it starts and be filed nowhere.
        x1 = std::max(x1, x0);
        y1 = std::max(y1, y0);
        for (int y = y0; y <= y1; ++y)
            for (int x = x0; x <= x1; ++x) cellTriangles[static_cast<size_t>(y) * cellsX + x].push_back(t);
    }
}

void TerrainMesh::Candidates(double minX, double minY, double maxX, double maxY, std::vector<int>& out) const {
    double fx0 = std::floor((minX - originX) / cell), fx1 = std::floor((maxX - originX) / cell);
    double fy0 = std::floor((minY - originY) / cell), fy1 = std::floor((maxY - originY) / cell);
    if (!(fx1 >= 0.0 && fy1 >= 0.0 && fx0 < cellsX && fy0 < cellsY)) return;
    int x0 = std::max(0, static_cast<int>(fx0)), x1 = std::min(cellsX - 1, static_cast<int>(fx1));
    int y0 = std::max(0, static_cast<int>(fy0)), y1 = std::min(cellsY - 1, static_cast<int>(fy1));
    size_t first = out.size();
    for (int y = y0; y <= y1; ++y)
        for (int x = x0; x <= x1; ++x) {
            const std::vector<int>& list = cellTriangles[static_cast<size_t>(y) * cellsX + x];
            out.insert(out.end(), list.begin(), list.end());
        }
    // A triangle spanning several cells must be tested once.
    if (x1 > x0 || y1 > y0) {
        std::sort(out.begin() + static_cast<long>(first), out.end());
        out.erase(std::unique(out.begin() + static_cast<long>(first), out.end()), out.end());
    }
}

static bool SegmentTriangle(Vec3 from, Vec3 dir, Vec3 a, Vec3 b, Vec3 c, double& t) {
    Vec3 e1 = b - a, e2 = c - a;
    Vec3 p = Cross(dir, e2);
    double det = Dot(e1, p);
    if (std::fabs(det) < 1e-14) return false;
    double inv = 1.0 / det;
    Vec3 s = from - a;
    double u = Dot(s, p) * inv;
    if (u < -1e-12 || u > 1.0 + 1e-12) return false;
    Vec3 q = Cross(s, e1);
    double v = Dot(dir, q) * inv;
    if (v < -1e-12 || u + v > 1.0 + 1e-12) return false;
    t = Dot(e2, q) * inv;
    return t >= 0.0 && t <= 1.0;
}

bool TerrainMesh::Raycast(Vec3 from, Vec3 to, double& tOut) const {
    std::vector<int> list;
    Candidates(std::min(from.x, to.x), std::min(from.y, to.y), std::max(from.x, to.x), std::max(from.y, to.y), list);
    bool any = false;
    double best = 2.0;
    Vec3 dir = to - from;
    for (int t : list) {
        double hit;
        if (SegmentTriangle(from, dir, vertices[indices[3 * t]], vertices[indices[3 * t + 1]],
                            vertices[indices[3 * t + 2]], hit) &&
            hit < best) {
            best = hit;
            any = true;
        }
    }
    if (any) tOut = best;
    return any;
}

bool TerrainMesh::HeightAt(double x, double y, double& height) const {
    double t;
    if (!Raycast({x, y, 1e4}, {x, y, -1e4}, t)) return false;
    height = 1e4 - 2e4 * t;
    return true;
}

} // namespace bench
