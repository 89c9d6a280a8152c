// A level whose road comes through the description loader: the generated road written as a
// render description and its mesh file, read by the animation library when the level asks for
// "road_phys<n>.rdf", becomes the physics task's ground and the route snaps onto it.

#include <gtest/gtest.h>

#include <string>

#include "Framework/PLog.h"
#include "Render/PRenderObject.h"
#include "Scene/PAnimationLibrary.h"
#include "World/PLevel.h"
#include "World/PPhysics.h"
#include "World/PSpline.h"
#include "support/RaceFixture.h"
#include "support/RoadMesh.h"

namespace {

using kxtest::RaceFixture;

struct RoadDescription : ::testing::Test {
    RoadDescription() {
        CPLog::Instance().SetSink([this](int, const std::string& line) { log += line + "\n"; });
        // The road from the description loader; every other model from the race fixture.
        CPLevel::SetModelLoader([this](const std::string& file, int key) {
            if (file.rfind("road_phys", 0) == 0) return library.LoadRenderDescription(file, key);
            return race.Make(file, key);
        });
    }
    ~RoadDescription() override {
        if (race.level) race.level->Stop();
        CPLevel::SetModelLoader(nullptr);
        CPLog::Instance().SetSink(nullptr);
    }
    void Write(const kxtest::RoadDescriptionFiles& files) {
        race.store.Write("Data/Meshes/" + files.descriptionName, files.description);
        race.store.Write("Data/Meshes/" + files.meshName, files.mesh);
    }

    RaceFixture race;
    CPAnimationLibrary library;
    std::string log;
};

TEST_F(RoadDescription, TheGeneratedRoadIsTheLevelsGround) {
    // A walled ring of 100 units with the route along its middle, 5 units up.
    kxtest::RoadMesh road = kxtest::MakeWalledLoop(100.0f, 12.0f, 2.0f, 48, 2);
    for (std::size_t i = 2; i < road.positions.size(); i += 3) road.positions[i] += 5.0f;
    Write(kxtest::RoadDescription(road, "road_phys9.rdf"));
    ASSERT_TRUE(race.Load(RaceFixture::RingLevel(100.0f, 16))) << race.level->GetLoadError() << log;

    ASSERT_TRUE(race.level->roadPhysics);
    CPRenderObject* mesh = race.level->roadPhysics->GetRenderObject();
    ASSERT_NE(mesh, nullptr);
    EXPECT_EQ(static_cast<int>(mesh->ModelVertices().size()), road.VertexCount());
    EXPECT_EQ(race.physics->GetTerrainTriangleCount(), road.TriangleCount());
    EXPECT_FALSE(race.level->roadPhysics->IsVisible());
    // The route lies on the road's surface.
    const CPLine* line = race.level->centrePath->GetFirstLine();
    ASSERT_NE(line, nullptr);
    EXPECT_NEAR(line->centre.z, 5.0f, 1e-3f);
}

TEST_F(RoadDescription, ADescriptionWithoutItsMeshFileFailsTheLoad) {
    kxtest::RoadDescriptionFiles files = kxtest::RoadDescription(kxtest::MakeFlatRoad(40, 40, 2, 2), "road_phys9.rdf");
    race.store.Write("Data/Meshes/" + files.descriptionName, files.description);
    EXPECT_FALSE(race.Load(RaceFixture::RingLevel(10.0f, 8)));
    EXPECT_NE(race.level->GetLoadError().find("road"), std::string::npos);
}

} // namespace
