#include "World/PTerrainQuery.h"

#include <algorithm>
#include <cmath>

#include "Scene/PGameObject.h"
#include "World/PLevel.h"
#include "World/PPhysicData.h"
#include "World/PPhysics.h"

namespace {

float g_playerGroundHeight = 0.0f;

struct SPCellRef {
    int x;
    int y;
};

} // namespace

float GetPlayerGroundHeight() { return g_playerGroundHeight; }
void SetPlayerGroundHeight(float height) { g_playerGroundHeight = height; }

int ClassifyPointToEdge(const D3DXVECTOR3& p, const D3DXVECTOR3& a, const D3DXVECTOR3& b) {
    const float ex = b.x - a.x, ey = b.y - a.y;
    const float wx = p.x - a.x, wy = p.y - a.y;
    const float c = wy * ex - ey * wx;
    if (c > 0.0f) return kEdgeLeft;
    if (c < 0.0f) return kEdgeRight;
    if (ex * wx < 0.0f || ey * wy < 0.0f) return kEdgeBehindStart;
    if (wx * wx + wy * wy > ex * ex + ey * ey) return kEdgeBeyondEnd;
    if (p.x == a.x && p.y == a.y && p.z == a.z) return kEdgeAtStart;
    if (p.x != b.x || p.y != b.y || p.z != b.z) return kEdgeBetween;
    return kEdgeAtEnd;
}

bool PointInTriangle2D(const D3DXVECTOR3& p, const D3DXVECTOR3& a, const D3DXVECTOR3& b, const D3DXVECTOR3& c) {
    if (ClassifyPointToEdge(p, a, b) != kEdgeLeft && ClassifyPointToEdge(p, b, c) != kEdgeLeft &&
        ClassifyPointToEdge(p, c, a) != kEdgeLeft)
        return true;
    return ClassifyPointToEdge(p, c, b) != kEdgeLeft && ClassifyPointToEdge(p, a, c) != kEdgeLeft &&
           ClassifyPointToEdge(p, b, a) != kEdgeLeft;
}

bool SegmentsIntersect(const D3DXVECTOR3& p1, const D3DXVECTOR3& p2, const D3DXVECTOR3& q1, const D3DXVECTOR3& q2) {
    if (std::max(p1.x, p2.x) < std::min(q1.x, q2.x) || std::max(q1.x, q2.x) < std::min(p1.x, p2.x)) return false;
    if (std::max(p1.y, p2.y) < std::min(q1.y, q2.y) || std::max(q1.y, q2.y) < std::min(p1.y, p2.y)) return false;
    const float rx = p2.x - p1.x, ry = p2.y - p1.y;
    const float sx = q2.x - q1.x, sy = q2.y - q1.y;
    const float denominator = rx * sy - ry * sx;
    if (denominator == 0.0f) return false;
    const float qpx = q1.x - p1.x, qpy = q1.y - p1.y;
    const float t = (qpx * sy - qpy * sx) / denominator;
    const float u = (qpx * ry - qpy * rx) / denominator;
    return t >= 0.0f && t <= 1.0f && u >= 0.0f && u <= 1.0f;
}

bool TriangleOverlapsRect(const D3DXVECTOR3& c1, const D3DXVECTOR3& c2, const D3DXVECTOR3& c3, const D3DXVECTOR3& c4,
                          const D3DXVECTOR3& t0, const D3DXVECTOR3& t1, const D3DXVECTOR3& t2) {
    for (const D3DXVECTOR3* v : {&t0, &t1, &t2}) {
        if (c1.x <= v->x && v->x <= c2.x && c1.y <= v->y && v->y <= c3.y) return true;
    }
    for (const D3DXVECTOR3* c : {&c1, &c2, &c3, &c4}) {
        if (PointInTriangle2D(*c, t0, t1, t2)) return true;
    }
    const D3DXVECTOR3* square[4][2] = {{&c1, &c2}, {&c2, &c4}, {&c3, &c4}, {&c3, &c1}};
    const D3DXVECTOR3* triangle[3][2] = {{&t0, &t1}, {&t1, &t2}, {&t2, &t0}};
    for (const auto& s : square) {
        for (const auto& t : triangle) {
            if (SegmentsIntersect(*s[0], *s[1], *t[0], *t[1])) return true;
        }
    }
    return false;
}

void OnTerrainQuery(const RbVector* boxMin, const RbVector* boxMax, const int** candidates,
                    const RbTriangle** triangles, const RbVector** vertices, int* candidateCount, int* triangleCount,
                    RbRigidBody* body) {
    static const int kNone[1] = {0};
    CPPhysics* world = CPPhysics::GetInstance();
    *candidates = kNone;
    *candidateCount = 0;
    *triangles = world ? world->GetTerrainTriangles() : nullptr;
    *vertices = world ? world->GetTerrainVertices() : nullptr;
    *triangleCount = world ? world->GetTerrainTriangleCount() : 0;
    if (!world || !world->HasGrid() || !body || !boxMin || !boxMax) return;
    auto* object = static_cast<CPGameObject*>(body->GetUserData());
    if (!object) return;
    CPPhysicData* data = dynamic_cast<CPPhysicData*>(object->GetPhysicData().Get());
    if (!data) return;

    const RbVector& b0 = *boxMin;
    const RbVector& b1 = *boxMax;
    const D3DXVECTOR3 samples[5] = {
        D3DXVECTOR3((b0.x + b1.x) * 0.5f, (b0.y + b1.y) * 0.5f, (b0.z + b1.z) * 0.5f),
        D3DXVECTOR3(b0.x, b0.y, b0.z),
        D3DXVECTOR3(b1.x, b1.y, b1.z),
        D3DXVECTOR3(b0.x, b1.y, b0.z),
        D3DXVECTOR3(b1.x, b0.y, b1.z),
    };
    SPCellRef sampled[5];
    int sampledCount = 0;
    for (const D3DXVECTOR3& point : samples) {
        const D3DXVECTOR4 cell = world->PointToCell(point);
        const SPCellRef ref{static_cast<int>(cell.x), static_cast<int>(cell.y)};
        bool known = false;
        for (int i = 0; i < sampledCount; ++i) known = known || (sampled[i].x == ref.x && sampled[i].y == ref.y);
        if (!known) sampled[sampledCount++] = ref;
    }
    int x0 = sampled[0].x, x1 = sampled[0].x, y0 = sampled[0].y, y1 = sampled[0].y;
    for (int i = 1; i < sampledCount; ++i) {
        x0 = std::min(x0, sampled[i].x);
        x1 = std::max(x1, sampled[i].x);
        y0 = std::min(y0, sampled[i].y);
        y1 = std::max(y1, sampled[i].y);
    }

    int* out = data->Candidates();
    int count = 0;
    bool full = false;
    // Whole cells only: a cell whose list would not fit ends the list.
    auto take = [&](int x, int y) {
        const SPTerrainCell* cell =
            world->GetCell(D3DXVECTOR4(static_cast<float>(x), static_cast<float>(y), 0.0f, 0.0f));
        if (!cell) return;
        if (cell->count + count >= CPPhysicData::kMaxCandidates) {
            full = true;
            return;
        }
        std::copy(cell->triangles.begin(), cell->triangles.end(), out + count);
        count += cell->count;
    };
    for (int i = 0; i < sampledCount && !full; ++i) take(sampled[i].x, sampled[i].y);
    // Then the ring of cells one wider than the sampled ones, without the sampled cells again.
    const int xa = std::max(x0 - 1, 0), xb = std::min(x1 + 1, world->GetCellsX() - 1);
    const int ya = std::max(y0 - 1, 0), yb = std::min(y1 + 1, world->GetCellsY() - 1);
    for (int x = xa; x <= xb && !full; ++x) {
        for (int y = ya; y <= yb && !full; ++y) {
            bool known = false;
            for (int i = 0; i < sampledCount; ++i) known = known || (sampled[i].x == x && sampled[i].y == y);
            if (!known) take(x, y);
        }
    }
    data->SetCandidateCount(count);

    const int triangleTotal = world->GetTerrainTriangleCount();
    const RbTriangle* terrain = world->GetTerrainTriangles();
    const RbVector* points = world->GetTerrainVertices();
    for (int i = 0; i < count; ++i) {
        if (out[i] < triangleTotal) {
            const float height = points[terrain[out[i]].vertex[0]].z;
            data->SetGroundHeight(height);
            CPLevel* level = CPLevel::GetInstance();
            if (level && level->player == object) g_playerGroundHeight = height;
            break;
        }
    }

    *candidates = out;
    *candidateCount = count;
}
