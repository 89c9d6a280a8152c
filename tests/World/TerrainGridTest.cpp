// The road grid and the terrain query: where the grid starts, which cells list a triangle,
// cell lookup, the nearest-vertex height, the candidate lists bodies get, and bad meshes.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "World/PTerrainQuery.h"
#include "WorldTestSupport.h"

namespace {

using kxtest::MakeRoadObject;
using kxtest::RoadMesh;
using kxtest::RoadObject;
using kxtest::WorldTest;
using TerrainGridTest = WorldTest;

RoadMesh OneTriangle(float ax, float ay, float bx, float by, float cx, float cy, float z = 0.0f) {
    RoadMesh mesh;
    mesh.AddTriangle(mesh.AddVertex(ax, ay, z), mesh.AddVertex(bx, by, z), mesh.AddVertex(cx, cy, z));
    return mesh;
}

int CellsListing(const CPPhysics& physics, int triangle) {
    int cells = 0;
    for (int x = 0; x < physics.GetCellsX(); ++x) {
        for (int y = 0; y < physics.GetCellsY(); ++y) {
            const SPTerrainCell* cell = physics.GetCell(D3DXVECTOR4(float(x), float(y), 0, 0));
            int times = 0;
            for (int t : cell->triangles) times += t == triangle;
            EXPECT_LE(times, 1) << "cell " << x << ", " << y;
            cells += times;
        }
    }
    return cells;
}

TEST_F(TerrainGridTest, GridStartsAtTheOriginForARoadAwayFromIt) {
    RoadObject road = MakeRoadObject(kxtest::MakeFlatRoad(20, 10, 2, 1, 4.0f), D3DXVECTOR3(100, 50, 0));
    ASSERT_TRUE(physics->BuildTerrainGrid(road.mesh));
    EXPECT_EQ(physics->GetGridOrigin().x, 0.0f);
    EXPECT_EQ(physics->GetGridOrigin().y, 0.0f);
    EXPECT_EQ(physics->GetGridOrigin().z, 0.0f);
    // Extent 120 x 60 from the origin, 10 spare cells on each axis.
    EXPECT_EQ(physics->GetCellsX(), static_cast<int>(std::ceil(120.0 * 0.2)) + 10);
    EXPECT_EQ(physics->GetCellsY(), static_cast<int>(std::ceil(60.0 * 0.2)) + 10);
    // The owner placed the vertices.
    EXPECT_EQ(physics->GetTerrainVertices()[0].x, 100.0f);
    EXPECT_EQ(physics->GetTerrainVertices()[0].z, 4.0f);
    const SPTerrainCell* cell = physics->GetCell(physics->PointToCell(D3DXVECTOR3(105, 52, 0)));
    ASSERT_NE(cell, nullptr);
    EXPECT_GT(cell->count, 0);
    EXPECT_EQ(cell->lowestZ, 4.0f);
    EXPECT_EQ(cell->highestZ, 4.0f);
    const SPTerrainCell* empty = physics->GetCell(physics->PointToCell(D3DXVECTOR3(2, 2, 0)));
    EXPECT_EQ(empty->count, 0);
    EXPECT_EQ(empty->lowestZ, -10000.0f);
}

TEST_F(TerrainGridTest, TriangleTouchingACornerIsListedOnce) {
    // Grid origin (0, 0): the triangle touches the square of cell (1, 1) at its corner (5, 5)
    // and lies in cell (0, 0) otherwise.
    RoadObject road = MakeRoadObject(OneTriangle(1, 5, 5, 5, 1, 9));
    ASSERT_TRUE(physics->BuildTerrainGrid(road.mesh));
    EXPECT_TRUE(physics->CellContains(0, D3DXVECTOR4(1, 1, 0, 0)));
    EXPECT_TRUE(physics->CellContains(0, D3DXVECTOR4(0, 1, 0, 0)));
    EXPECT_TRUE(physics->CellContains(0, D3DXVECTOR4(0, 0, 0, 0)));
    EXPECT_FALSE(physics->CellContains(0, D3DXVECTOR4(2, 2, 0, 0)));
    EXPECT_EQ(CellsListing(*physics, 0), 4);
}

TEST_F(TerrainGridTest, PointToCellClamps) {
    RoadObject road = MakeRoadObject(kxtest::MakeFlatRoad(20, 20, 1, 1));
    ASSERT_TRUE(physics->BuildTerrainGrid(road.mesh));
    const float inf = std::numeric_limits<float>::infinity();
    struct Case {
        const char* what;
        D3DXVECTOR3 p;
        float x, y;
    };
    const Case cases[] = {
        {"inside", D3DXVECTOR3(7, 12, 0), 1, 2},
        {"below both axes", D3DXVECTOR3(-50, -3, 0), 0, 0},
        {"beyond both axes", D3DXVECTOR3(1000, 999, 0), 13, 13},
        {"infinitely far", D3DXVECTOR3(inf, -inf, 0), 13, 0},
        {"not a number", D3DXVECTOR3(std::nanf(""), 3, 0), 0, 0},
    };
    for (const Case& c : cases) {
        const D3DXVECTOR4 cell = physics->PointToCell(c.p);
        EXPECT_EQ(cell.x, c.x) << c.what;
        EXPECT_EQ(cell.y, c.y) << c.what;
        EXPECT_EQ(cell.z, 0.0f);
        EXPECT_EQ(cell.w, 0.0f);
    }
}

TEST_F(TerrainGridTest, TerrainHeightIsTheNearestVertexZ) {
    RoadMesh mesh = OneTriangle(0, 0, 4, 0, 0, 4, 2.0f);
    mesh.positions[5] = 3.0f; // the second vertex at z 3
    RoadObject road = MakeRoadObject(mesh);
    ASSERT_TRUE(physics->BuildTerrainGrid(road.mesh));
    EXPECT_EQ(physics->GetTerrainHeight(D3DXVECTOR3(3.5f, 0.2f, 0)), 3.0f);
    EXPECT_EQ(physics->GetTerrainHeight(D3DXVECTOR3(0.2f, 0.3f, 0)), 2.0f);
    EXPECT_EQ(physics->GetTerrainHeight(D3DXVECTOR3(40, 40, 0)), 0.0f) << "an empty cell";
    // The nearest vertex is 1000 or more away: no height.
    EXPECT_EQ(physics->GetTerrainHeight(D3DXVECTOR3(1, 1, 1200)), 0.0f);
    // Nearest in three dimensions: the raised vertex wins from high above.
    EXPECT_EQ(physics->GetTerrainHeight(D3DXVECTOR3(1, 1, 900)), 3.0f);
}

TEST_F(TerrainGridTest, NoGridAnswersNothing) {
    EXPECT_FALSE(physics->HasGrid());
    EXPECT_EQ(physics->GetCell(D3DXVECTOR4(0, 0, 0, 0)), nullptr);
    EXPECT_EQ(physics->GetTerrainHeight(D3DXVECTOR3(1, 1, 1)), 0.0f);
    EXPECT_FALSE(physics->CellContains(0, D3DXVECTOR4(0, 0, 0, 0)));
}

TEST_F(TerrainGridTest, BadMeshes) {
    struct Case {
        const char* what;
        RoadMesh mesh;
        bool builds;
        int triangles;
    };
    RoadMesh outOfRange = kxtest::MakeFlatRoad(10, 10, 1, 1);
    outOfRange.indices[4] = 7; // the second triangle names a vertex the mesh lacks
    RoadMesh partial = kxtest::MakeFlatRoad(10, 10, 1, 1);
    partial.indices.push_back(0);
    partial.indices.push_back(1);
    RoadMesh notFinite = kxtest::MakeFlatRoad(10, 10, 1, 1);
    notFinite.positions[4] = std::nanf("");
    RoadMesh infinite = kxtest::MakeFlatRoad(10, 10, 1, 1);
    infinite.positions[6] = std::numeric_limits<float>::infinity();
    RoadMesh huge = OneTriangle(0, 0, 10300, 0, 0, 10);
    RoadMesh largest = OneTriangle(0, 0, 10190, 0, 0, 10);
    RoadMesh none;
    const Case cases[] = {
        {"an index beyond the vertices", outOfRange, true, 1},
        {"a trailing partial triangle", partial, true, 2},
        {"a coordinate that is not a number", notFinite, false, 0},
        {"an infinite coordinate", infinite, false, 0},
        {"more than 2048 cells along x", huge, false, 0},
        {"2048 cells along x", largest, true, 1},
        {"no vertices", none, true, 0},
    };
    for (const Case& c : cases) {
        RoadObject road = MakeRoadObject(c.mesh);
        EXPECT_EQ(physics->BuildTerrainGrid(road.mesh), c.builds) << c.what;
        EXPECT_EQ(physics->HasGrid(), c.builds) << c.what;
        EXPECT_EQ(physics->GetTerrainTriangleCount(), c.triangles) << c.what;
        for (int t = 0; t < physics->GetTerrainTriangleCount(); ++t)
            for (int k = 0; k < 3; ++k)
                EXPECT_LT(physics->GetTerrainTriangles()[t].vertex[k], physics->GetTerrainVertexCount()) << c.what;
    }
    EXPECT_FALSE(physics->BuildTerrainGrid(CPSmartPtr<CPRenderObject>()));
}

TEST_F(TerrainGridTest, SecondGridReplacesTheFirst) {
    RoadObject first = MakeRoadObject(kxtest::MakeFlatRoad(100, 100, 10, 10));
    RoadObject second = MakeRoadObject(kxtest::MakeFlatRoad(10, 10, 1, 1));
    ASSERT_TRUE(physics->BuildTerrainGrid(first.mesh));
    ASSERT_TRUE(physics->BuildTerrainGrid(second.mesh));
    EXPECT_EQ(physics->GetTerrainTriangleCount(), 2);
    EXPECT_EQ(physics->GetCellsX(), 12);
    int listed = 0;
    for (int x = 0; x < physics->GetCellsX(); ++x)
        for (int y = 0; y < physics->GetCellsY(); ++y)
            for (int t : physics->GetCell(D3DXVECTOR4(float(x), float(y), 0, 0))->triangles) listed += t >= 2;
    EXPECT_EQ(listed, 0);
}

class TerrainQueryTest : public WorldTest {
protected:
    // Calls the query as the engine does for the body's box.
    int Query(RbRigidBody* body, const RbVector& low, const RbVector& high) {
        const int* candidates = nullptr;
        const RbTriangle* triangles = nullptr;
        const RbVector* vertices = nullptr;
        int count = -1, triangleCount = -1;
        OnTerrainQuery(&low, &high, &candidates, &triangles, &vertices, &count, &triangleCount, body);
        EXPECT_EQ(triangles, physics->GetTerrainTriangles());
        EXPECT_EQ(vertices, physics->GetTerrainVertices());
        EXPECT_EQ(triangleCount, physics->GetTerrainTriangleCount());
        lastCandidates = candidates;
        return count;
    }
    const int* lastCandidates = nullptr;
};

TEST_F(TerrainQueryTest, SampleCellsThenTheRing) {
    // 10 x 10 quads of 5 units: two triangles per cell.
    RoadObject road = MakeRoadObject(kxtest::MakeFlatRoad(50, 50, 10, 10, 1.5f));
    ASSERT_TRUE(physics->BuildTerrainGrid(road.mesh));
    ASSERT_TRUE(physics->CreateWorld());
    CPSmartPtr<CPGameObject> object = MakeBody("b", 1, 1, 1, 5, D3DXVECTOR3(22, 22, 3));
    Data(object)->AddToWorld(0);
    RbRigidBody* body = Data(object)->GetRigidBody();
    const int count = Query(body, RbVec(21, 21, 2), RbVec(23, 23, 4));
    EXPECT_EQ(count, Data(object)->GetCandidateCount());
    EXPECT_EQ(lastCandidates, Data(object)->Candidates());
    // The sampled cell (4, 4) first, then the ring of 3 x 3 cells without it.
    const SPTerrainCell* own = physics->GetCell(D3DXVECTOR4(4, 4, 0, 0));
    int expected = own->count;
    for (int x = 3; x <= 5; ++x)
        for (int y = 3; y <= 5; ++y)
            if (x != 4 || y != 4) expected += physics->GetCell(D3DXVECTOR4(float(x), float(y), 0, 0))->count;
    EXPECT_EQ(count, expected);
    for (int i = 0; i < own->count; ++i) EXPECT_EQ(lastCandidates[i], own->triangles[i]);
    EXPECT_EQ(Data(object)->GetGroundHeight(), 1.5f);
}

TEST_F(TerrainQueryTest, CandidateListStopsBelowAThousand) {
    // 12 x 12 quads in every cell: 288 triangles a cell, three cells fit, the fourth does not.
    RoadObject road = MakeRoadObject(kxtest::MakeFlatRoad(30, 30, 72, 72));
    ASSERT_TRUE(physics->BuildTerrainGrid(road.mesh));
    ASSERT_TRUE(physics->CreateWorld());
    CPSmartPtr<CPGameObject> object = MakeBody("b", 1, 1, 1, 5, D3DXVECTOR3(12, 12, 3));
    Data(object)->AddToWorld(0);
    const SPTerrainCell* own = physics->GetCell(D3DXVECTOR4(2, 2, 0, 0));
    ASSERT_GT(own->count, 250);
    const int count = Query(Data(object)->GetRigidBody(), RbVec(12, 12, 2), RbVec(13, 13, 4));
    EXPECT_LT(count, 1000);
    EXPECT_GT(count + own->count, 999) << "no further whole cell would have fitted";
    for (int i = 0; i < own->count; ++i) ASSERT_EQ(lastCandidates[i], own->triangles[i]);
}

TEST_F(TerrainQueryTest, BodiesWithoutObjectOrGridGetNothing) {
    ASSERT_TRUE(physics->CreateWorld());
    CPSmartPtr<CPGameObject> object = MakeBody("b", 1, 1, 1, 5, D3DXVECTOR3(2, 2, 3));
    Data(object)->AddToWorld(0);
    EXPECT_EQ(Query(Data(object)->GetRigidBody(), RbVec(1, 1, 1), RbVec(3, 3, 3)), 0) << "no grid";
    RoadObject road = MakeRoadObject(kxtest::MakeFlatRoad(10, 10, 1, 1));
    ASSERT_TRUE(physics->BuildTerrainGrid(road.mesh));
    Data(object)->GetRigidBody()->SetUserData(nullptr);
    EXPECT_EQ(Query(Data(object)->GetRigidBody(), RbVec(1, 1, 1), RbVec(3, 3, 3)), 0) << "no object";
    EXPECT_EQ(Query(nullptr, RbVec(1, 1, 1), RbVec(3, 3, 3)), 0) << "no body";
}

TEST_F(TerrainQueryTest, PlayerGroundHeightFollowsTheLevelsPlayer) {
    RoadObject road = MakeRoadObject(kxtest::MakeFlatRoad(20, 20, 2, 2, 2.5f));
    ASSERT_TRUE(physics->BuildTerrainGrid(road.mesh));
    ASSERT_TRUE(physics->CreateWorld());
    CPSmartPtr<CPPlayer> racer(new CPPlayer());
    {
        CPSmartPtr<CPPhysicData> data(new CPPhysicData(racer.Get()));
        data->SetShape(1, 1, 1, 5);
        data->AddBoxShape(D3DXVECTOR3(0, 0, 0), D3DXQUATERNION(0, 0, 0, 1), 1, 1, 1, 5);
        racer->SetPhysicData(CPSmartPtr<IPPhysicData>(data));
        racer->SetPosition(D3DXVECTOR3(5, 5, 4));
    }
    CPSmartPtr<CPGameObject> other = MakeBody("other", 1, 1, 1, 5, D3DXVECTOR3(12, 12, 4));
    Data(racer)->AddToWorld(0);
    Data(other)->AddToWorld(0);
    SetPlayerGroundHeight(-7.0f);
    Query(Data(other)->GetRigidBody(), RbVec(11, 11, 3), RbVec(13, 13, 5));
    EXPECT_EQ(GetPlayerGroundHeight(), -7.0f) << "no level";
    CPLevel level;
    level.player = racer.Get();
    Query(Data(other)->GetRigidBody(), RbVec(11, 11, 3), RbVec(13, 13, 5));
    EXPECT_EQ(GetPlayerGroundHeight(), -7.0f) << "not the player";
    EXPECT_EQ(Data(other)->GetGroundHeight(), 2.5f);
    Query(Data(racer)->GetRigidBody(), RbVec(4, 4, 3), RbVec(6, 6, 5));
    EXPECT_EQ(GetPlayerGroundHeight(), 2.5f);
}

TEST(Level, SingletonLifetime) {
    EXPECT_EQ(CPLevel::GetInstance(), nullptr);
    {
        CPLevel level;
        EXPECT_EQ(CPLevel::GetInstance(), &level);
        EXPECT_EQ(level.GetClassName(), "CPLevel");
        EXPECT_EQ(level.player, nullptr);
        EXPECT_FALSE(level.humanRacer);
        EXPECT_FALSE(level.raceOver);
    }
    EXPECT_EQ(CPLevel::GetInstance(), nullptr);
}

} // namespace
