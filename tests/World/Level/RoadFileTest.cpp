// A generated road written as a mesh file reads back through the scene's mesh reader into a
// mesh the physics task accepts as the road.

#include <gtest/gtest.h>

#include <memory>

#include "Framework/PFileReader.h"
#include "Framework/PLog.h"
#include "Render/PRenderObject.h"
#include "Scene/PAnimation.h"
#include "Scene/PAnimationLibrary.h"
#include "Scene/PGameObject.h"
#include "World/PPhysics.h"
#include "support/RoadMesh.h"
#include "support/TempDir.h"

namespace {

TEST(RoadFile, ReadsBackAsTheRoad) {
    CPLog::Instance().SetSink([](int, const std::string&) {});
    const kxtest::RoadMesh road = kxtest::MakeWalledLoop(100.0f, 10.0f, 2.0f, 40, 2);
    kxtest::TempGameRoot root;
    root.Write("Data/Meshes/road.p3d", kxtest::RoadMeshFile(road));
    CPAnimationLibrary library;
    CPAnimationLibrary::Sections sections;
    CPFileReader reader("Data\\Meshes\\road.p3d");
    ASSERT_EQ(reader.Load(), S_OK);
    bool table = false;
    CPSmartPtr<CPGameObject> object = library.ReadMeshFile(reader, sections, 0, "road_phys1.rdf", true, table);
    ASSERT_TRUE(object);
    CPRenderObject* mesh = object->GetRenderObject();
    ASSERT_NE(mesh, nullptr);
    ASSERT_EQ(static_cast<int>(mesh->ModelVertices().size()), road.VertexCount());
    EXPECT_EQ(mesh->Indices(), road.indices);
    EXPECT_FLOAT_EQ(mesh->ModelVertices()[5].x, road.positions[15]);
    EXPECT_FLOAT_EQ(mesh->ModelVertices()[5].z, road.positions[17]);

    object->UpdateTransform();
    CPSmartPtr<CPPhysics> physics(new CPPhysics());
    ASSERT_TRUE(physics->BuildTerrainGrid(CPSmartPtr<CPRenderObject>(mesh)));
    EXPECT_EQ(physics->GetTerrainTriangleCount(), road.TriangleCount());
    object = nullptr;
    physics = nullptr;
    CPLog::Instance().SetSink(nullptr);
    for (int i = 0; i < 4; ++i) IPMMObject::CollectGarbage();
}

} // namespace
