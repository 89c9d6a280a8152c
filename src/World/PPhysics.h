#pragma once
// The race world's physics task: the one simulator while a level is loaded, the grid of road
// triangles the terrain query answers from, the bodies of scene objects and the copy of their
// poses back onto the objects every frame.

#include <list>
#include <unordered_set>
#include <vector>

#include "Framework/PMMObject.h"
#include "Framework/PTaskKernel.h"
#include "Physics/RbSimulator.h"
#include "Platform/Math/D3DXTypes.h"

class CPGameObject;
class CPPhysicData;
class CPRenderObject;

// One 5 x 5 square of the x-y plane and the road triangles that overlap it.
struct SPTerrainCell {
    int count = 0;
    std::vector<int> triangles;
    // Over the listed triangles' vertices; -10000 while the cell is empty.
    float lowestZ = -10000.0f;
    float highestZ = -10000.0f;
};

struct SPPendingFree {
    RbRigidBody* rigidBody = nullptr;
    RbAnimatedBody* animatedBody = nullptr;
    int countdown = 2;
};

class CPPhysics : public IPTask {
public:
    static constexpr float kStep = 1.0f / 60.0f;
    static constexpr float kCellSize = 5.0f;
    // A road more than this many cells along an axis (about 10 km) is refused.
    static constexpr int kMaxCellsPerAxis = 2048;

    CPPhysics();
    ~CPPhysics() override;
    CPPhysics(const CPPhysics&) = delete;
    CPPhysics& operator=(const CPPhysics&) = delete;

    static CPPhysics* GetInstance() { return s_instance; }

    int GetSize() const override { return static_cast<int>(sizeof(CPPhysics)); }
    std::string GetClassName() const override { return "CPPhysics"; }
    int GetKind() const override { return 1; }
    void Update() override;
    void Stop() override;

    // A new simulator with the race's pools, materials, groups and callbacks; a simulator still
    // held is destroyed first (the road grid built for the new level stays). False when the
    // simulator cannot be made.
    bool CreateWorld();
    // Frees the simulator and everything bound to it; bound physics data lose their bodies.
    void DestroyWorld();
    // The road's vertex and triangle arrays and its grid from a mesh placed by its owner; a
    // grid still held is dropped first. False (no grid) for coordinates that are not finite
    // or a road too large for the grid; triangles naming a missing vertex are left out.
    bool BuildTerrainGrid(const CPSmartPtr<CPRenderObject>& mesh);
    // Drops the road arrays and the grid.
    void FreeTerrainGrid();
    void KeepMesh(const CPSmartPtr<IPMMObject>& mesh);

    // The engine body and shapes of the object's physics data, bound to the object.
    void AddBody(const CPSmartPtr<CPGameObject>& object, bool active, int tag);
    void CreateBodies(const CPSmartPtr<CPPhysicData>& data, const D3DXVECTOR3& position, const D3DXQUATERNION& rotation,
                      bool active, int tag);
    void ActivateObject(const CPSmartPtr<CPGameObject>& object);
    void DeactivateObject(const CPSmartPtr<CPGameObject>& object);
    // Takes the body out of the world at once, parks it far below and frees it later.
    void RemoveBody(const CPSmartPtr<CPPhysicData>& data);
    // Writes every active object's body pose back onto the object.
    void SyncObjects();
    // The racer's car: made, held by the racer (its old car let go), set up on the racer's body
    // and given its sound set ("traffic" files for a traffic car, else the racer's name as
    // prefix). human is 1 for the human racer's car.
    void AddCar(const CPSmartPtr<CPGameObject>& racer, int human);
    // The driver's input of one frame to the racer's car; nothing for a racer without a car.
    void SetCarControls(const CPSmartPtr<CPGameObject>& racer, float throttle, float steering);

    // The z of the road vertex nearest the point among its cell's triangles (0 for none
    // closer than 1000).
    float GetTerrainHeight(const D3DXVECTOR3& point) const;
    // (cell x, cell y, 0, 0), limited to the grid.
    D3DXVECTOR4 PointToCell(const D3DXVECTOR3& point) const;
    // The cell at truncated coordinates limited to the grid; null without a grid.
    const SPTerrainCell* GetCell(const D3DXVECTOR4& cell) const;
    bool CellContains(int triangle, const D3DXVECTOR4& cell) const;

    RbSimulator* GetSimulator() const { return m_simulator; }
    bool HasGrid() const { return !m_cells.empty(); }
    int GetCellsX() const { return m_cellsX; }
    int GetCellsY() const { return m_cellsY; }
    const D3DXVECTOR3& GetGridOrigin() const { return m_gridOrigin; }
    const RbVector* GetTerrainVertices() const { return m_vertices.data(); }
    const RbTriangle* GetTerrainTriangles() const { return m_triangles.data(); }
    int GetTerrainVertexCount() const { return static_cast<int>(m_vertices.size()); }
    int GetTerrainTriangleCount() const { return static_cast<int>(m_triangles.size()); }
    float GetParkDepth() const { return m_parkDepth; }
    float GetTimeRemainder() const { return m_timeRemainder; }
    const std::list<SPPendingFree>& GetPendingFrees() const { return m_pendingFrees; }
    const std::unordered_set<CPGameObject*>& GetActiveObjects() const { return m_activeObjects; }
    int GetKeptMeshCount() const { return static_cast<int>(m_keptMeshes.size()); }

    // Physics data with a body of this world register themselves, so that the world's end
    // leaves none of them pointing at freed bodies.
    void RegisterBound(CPPhysicData* data);
    void UnregisterBound(CPPhysicData* data);
    int GetBoundCount() const { return static_cast<int>(m_bound.size()); }
    // The object leaves the active set (its physics data is going away).
    void ForgetObject(CPGameObject* object);

private:
    // The simulator and what is bound to it; the road grid and the kept meshes stay.
    void DestroySimulator();

    static CPPhysics* s_instance;

    std::vector<std::vector<SPTerrainCell>> m_cells;
    D3DXVECTOR3 m_gridOrigin{0.0f, 0.0f, 0.0f};
    float m_parkDepth = -1000.0f;
    std::list<SPPendingFree> m_pendingFrees;
    std::vector<CPSmartPtr<IPMMObject>> m_keptMeshes;
    std::unordered_set<CPGameObject*> m_activeObjects;
    RbSimulator* m_simulator = nullptr;
    float m_timeRemainder = 0.0f;
    int m_cellsX = 0;
    int m_cellsY = 0;
    std::vector<RbVector> m_vertices;
    std::vector<RbTriangle> m_triangles;
    std::unordered_set<CPPhysicData*> m_bound;
};
