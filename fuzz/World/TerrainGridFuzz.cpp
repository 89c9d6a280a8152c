// A road mesh as the level hands it to the physics world, built into the road grid and asked
// for heights and a body's candidate triangles.
//
// Input: the owner's position (three floats), a vertex count (16 bits), that many positions
// (three floats each, as far as the input reaches), then 16-bit indices to the end.

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "Framework/PLog.h"
#include "Framework/PMMObject.h"
#include "Render/PRenderObject.h"
#include "Scene/PGameObject.h"
#include "World/PPhysicData.h"
#include "World/PPhysics.h"
#include "World/PTerrainQuery.h"

namespace {

class Reader {
public:
    Reader(const std::uint8_t* data, std::size_t size) : m_data(data), m_size(size) {}
    bool Float(float& out) { return Take(&out, sizeof out); }
    bool U16(std::uint16_t& out) { return Take(&out, sizeof out); }

private:
    bool Take(void* out, std::size_t n) {
        if (m_size - m_at < n) return false;
        std::memcpy(out, m_data + m_at, n);
        m_at += n;
        return true;
    }
    const std::uint8_t* m_data;
    std::size_t m_size;
    std::size_t m_at = 0;
};

void Check(bool condition) {
    if (!condition) std::abort();
}

// One world and one body for the whole run: the grid is rebuilt for every input.
struct World {
    CPSmartPtr<CPPhysics> physics{new CPPhysics()};
    CPSmartPtr<CPGameObject> object{new CPGameObject("probe")};
    CPPhysicData* data = nullptr;
    World() {
        CPSmartPtr<CPPhysicData> d(new CPPhysicData(object.Get()));
        d->SetShape(2, 4, 1.5f, 100);
        d->AddBoxShape(D3DXVECTOR3(0, 0, 0), D3DXQUATERNION(0, 0, 0, 1), 4, 2, 1.5f, 100);
        object->SetPhysicData(CPSmartPtr<IPPhysicData>(d));
        physics->CreateWorld();
        d->AddToWorld(0);
        data = d.Get();
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* input, std::size_t size) {
    CPLog::Instance().SetSink(nullptr);
    static World world;
    Reader reader(input, size);
    float px = 0, py = 0, pz = 0;
    reader.Float(px);
    reader.Float(py);
    reader.Float(pz);
    std::uint16_t declared = 0;
    reader.U16(declared);
    std::vector<SPVertex> vertices;
    for (int i = 0; i < declared; ++i) {
        SPVertex v{};
        if (!reader.Float(v.x) || !reader.Float(v.y) || !reader.Float(v.z)) break;
        vertices.push_back(v);
    }
    std::vector<std::uint16_t> indices;
    for (std::uint16_t index = 0; reader.U16(index);) indices.push_back(index);

    CPSmartPtr<CPGameObject> owner(new CPGameObject("road"));
    owner->SetPosition(D3DXVECTOR3(px, py, pz));
    owner->UpdateTransform();
    CPSmartPtr<CPRenderObject> mesh(new CPRenderObject(owner.Get()));
    const std::size_t vertexCount = vertices.size();
    mesh->SetMesh(std::move(vertices), indices);

    CPPhysics& physics = *world.physics;
    const bool built = physics.BuildTerrainGrid(mesh);
    Check(built == physics.HasGrid());
    if (built) {
        Check(physics.GetCellsX() >= 10 && physics.GetCellsX() <= CPPhysics::kMaxCellsPerAxis);
        Check(physics.GetCellsY() >= 10 && physics.GetCellsY() <= CPPhysics::kMaxCellsPerAxis);
        Check(static_cast<std::size_t>(physics.GetTerrainVertexCount()) == vertexCount);
        Check(static_cast<std::size_t>(physics.GetTerrainTriangleCount()) <= indices.size() / 3);
        for (int t = 0; t < physics.GetTerrainTriangleCount(); ++t)
            for (int k = 0; k < 3; ++k) {
                const int v = physics.GetTerrainTriangles()[t].vertex[k];
                Check(v >= 0 && v < physics.GetTerrainVertexCount());
            }
        for (int i = 0; i < physics.GetTerrainVertexCount(); ++i) {
            const RbVector& v = physics.GetTerrainVertices()[i];
            Check(std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z));
        }
        // Probe a few points: their cells lie in the grid and list each triangle once at most.
        const float probes[][3] = {{0, 0, 0}, {px, py, pz}, {-1e30f, 1e30f, 0}, {NAN, 5, 5}, {INFINITY, -3, 1}};
        for (const auto& p : probes) {
            const D3DXVECTOR3 point(p[0], p[1], p[2]);
            const D3DXVECTOR4 cell = physics.PointToCell(point);
            Check(cell.x >= 0 && cell.x < physics.GetCellsX() && cell.y >= 0 && cell.y < physics.GetCellsY());
            const SPTerrainCell* c = physics.GetCell(cell);
            Check(c && c->count == static_cast<int>(c->triangles.size()));
            for (std::size_t i = 0; i < c->triangles.size(); ++i) {
                Check(c->triangles[i] >= 0 && c->triangles[i] < physics.GetTerrainTriangleCount());
                Check(i == 0 || c->triangles[i] > c->triangles[i - 1]);
            }
            physics.GetTerrainHeight(point);
        }
        // A body's query over the first vertex, as the engine asks it.
        if (world.data->GetRigidBody() && physics.GetTerrainVertexCount() > 0) {
            const RbVector v = physics.GetTerrainVertices()[0];
            const RbVector low = RbVec(v.x - 2, v.y - 2, v.z - 1), high = RbVec(v.x + 2, v.y + 2, v.z + 1);
            const int* candidates = nullptr;
            const RbTriangle* triangles = nullptr;
            const RbVector* points = nullptr;
            int count = -1, triangleCount = -1;
            OnTerrainQuery(&low, &high, &candidates, &triangles, &points, &count, &triangleCount,
                           world.data->GetRigidBody());
            Check(count >= 0 && count < CPPhysicData::kMaxCandidates);
            for (int i = 0; i < count; ++i) Check(candidates[i] >= 0 && candidates[i] < triangleCount);
        }
    } else {
        Check(physics.GetTerrainTriangleCount() == 0 && physics.GetTerrainVertexCount() == 0);
    }
    mesh = nullptr;
    owner = nullptr;
    for (int i = 0; i < 3; ++i) IPMMObject::CollectGarbage();
    return 0;
}
