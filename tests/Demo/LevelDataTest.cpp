// The demo level loads from the game root through the real loaders: every model it names is
// there (no stand-in), the route lies on the road between its walls, and the race's pieces
// (start places, posts, checkpoints with bonus time, flags, hints, the source, the placed
// objects) are where the recipe put them.
#include <algorithm>
#include <cmath>
#include <set>

#include "DemoRoot.h"
#include "Framework/CommandRouter.h"
#include "Framework/PSettings.h"
#include "Framework/PTaskKernel.h"
#include "Framework/StartupRegistry.h"
#include "Render/PPlanarShadowSource.h"
#include "Render/PRenderObject.h"
#include "Render/PRenderSeams.h"
#include "Scene/PAnimationLibrary.h"
#include "Scene/PGameObject.h"
#include "Scene/SceneInterfaces.h"
#include "World/PAITask.h"
#include "World/PLevel.h"
#include "World/PPhysics.h"
#include "World/PSpline.h"
#include "World/RaceWorldStartup.h"
#include "support/RecordingRouter.h"

namespace demotest {
namespace {

// The scenery's road as flat triangles, for asking whether a point lies on it.
struct RoadTriangles {
    std::vector<D3DXVECTOR3> corners;

    explicit RoadTriangles(const CPRenderObject& mesh) {
        const auto& vertices = mesh.ModelVertices();
        for (std::uint16_t index : mesh.Indices()) {
            const SPVertex& v = vertices[index];
            corners.push_back(D3DXVECTOR3(v.x, v.y, v.z));
        }
    }
    // Whether the point lies over a triangle that faces up (the road, not a wall).
    bool Under(float x, float y) const {
        for (std::size_t i = 0; i + 2 < corners.size(); i += 3) {
            const D3DXVECTOR3 &a = corners[i], &b = corners[i + 1], &c = corners[i + 2];
            const float nz = (b.x - a.x) * (c.y - a.y) - (b.y - a.y) * (c.x - a.x);
            if (std::fabs(nz) < 1e-4f) continue;
            const float d1 = (b.x - a.x) * (y - a.y) - (b.y - a.y) * (x - a.x);
            const float d2 = (c.x - b.x) * (y - b.y) - (c.y - b.y) * (x - b.x);
            const float d3 = (a.x - c.x) * (y - c.y) - (a.y - c.y) * (x - c.x);
            const bool negative = d1 < 0 || d2 < 0 || d3<0, positive = d1> 0 || d2 > 0 || d3 > 0;
            if (!(negative && positive)) return true;
        }
        return false;
    }
};

class DemoLevel : public DemoRoot {
protected:
    void SetUp() override {
        DemoRoot::SetUp();
        if (HasFatalFailure()) return;
        SetCommandRouter(&router);
        InstallRaceWorld(registry);
        CPLevel::SetModelLoader([this](const std::string& file, int key) {
            requested.push_back(file);
            // Every name the level asks for must be a file of the root: the stand-in never serves.
            if (ReadThroughFileLayer("Data/Meshes/" + file).empty()) missing.insert(file);
            return library.LoadRenderDescription(file, key);
        });
    }
    void TearDown() override {
        if (level) level->Stop();
        delete level;
        level = nullptr;
        CPLevel::SetModelLoader(nullptr);
        SetCommandRouter(nullptr);
        SetPhysicDataMaker(nullptr);
        SetRaceWorld(nullptr);
        SetPlanarShadowSource(nullptr);
        for (int i = 0; i < 4; ++i) IPMMObject::CollectGarbage();
        DemoRoot::TearDown();
    }

    bool Load() {
        level = new CPLevel();
        // The career names the player's car; without one the level would ask for a car the demo lacks.
        level->playerCarModel = "runner";
        return level->Load("level1", false, false);
    }

    SPStartupRegistry registry;
    kxtest::RecordingRouter router;
    CPTaskKernel kernel;
    CPAnimationLibrary library;
    CPSmartPtr<CPPhysics> physics{new CPPhysics()};
    CPSmartPtr<AI_Task> drivers{new AI_Task()};
    CPLevel* level = nullptr;
    std::vector<std::string> requested;
    std::set<std::string> missing;
};

TEST_F(DemoLevel, LoadsWithEveryModelItNames) {
    ASSERT_TRUE(Load()) << level->GetLoadError();
    EXPECT_TRUE(missing.empty()) << *missing.begin();
    for (const char* model :
         {"finish.rdf", "checkpoint2.rdf", "checkpoint2_fire.rdf", "checkpoint2_and_fire.rdf", "minimap_obj.rdf",
          "level1.rdf", "land.rdf", "road_phys1.rdf", "checkpoint.rdf", "cflag.rdf", "barrel.rdf", "tree.rdf",
          "lamp.rdf", "windmill.rdf", "hint_left.rdf", "hint_right.rdf"})
        EXPECT_NE(std::find(requested.begin(), requested.end(), model), requested.end()) << model;
    // With shadows on, the signs of the level's rank line the route.
    EXPECT_NE(std::find(requested.begin(), requested.end(), "arrow_3.rdf"), requested.end());
    EXPECT_FALSE(level->arrowMarkers.empty());
    for (const std::string& line : log) {
        EXPECT_EQ(line.find("refused"), std::string::npos) << line;
        EXPECT_EQ(line.find("damaged"), std::string::npos) << line;
    }
    EXPECT_EQ(level->levelNumber, 1);
    EXPECT_FLOAT_EQ(level->terrainExtentX, 1000.0f);
    ASSERT_TRUE(level->levelScene);
    ASSERT_TRUE(level->terrain);
    EXPECT_GT(physics->GetTerrainTriangleCount(), 1000);
}

TEST_F(DemoLevel, HoldsTheRacePiecesOfTheRecipe) {
    ASSERT_TRUE(Load()) << level->GetLoadError();
    EXPECT_EQ(level->startPlaces.size(), 4u);
    std::set<int> places;
    for (const SPStartPlace& place : level->startPlaces) places.insert(place.place);
    EXPECT_EQ(places, (std::set<int>{1, 2, 3, 4}));
    EXPECT_TRUE(level->leftStartPostFound);
    EXPECT_TRUE(level->rightStartPostFound);
    ASSERT_EQ(level->checkpoints.size(), 4u);
    for (const SPCheckpoint& checkpoint : level->checkpoints) EXPECT_GE(checkpoint.timeBonus, 8.0f);
    EXPECT_EQ(level->flagMarkers.size(), 8u);
    EXPECT_EQ(level->checkpointHints.size(), 2u);
    EXPECT_EQ(level->namedPositions.count("turret"), 1u);
    // Barrels wait, with a mass, until the human comes near; the rest stands still.
    EXPECT_EQ(level->dormantObjects.size(), 4u);
    EXPECT_GT(level->staticObjects.size(), 30u);
    ASSERT_EQ(level->placedObjects.count("windmill01"), 1u);
    EXPECT_EQ(level->placedObjects["windmill01"]->GetKind(), IPSceneObject::KindAnimated);
    for (const auto& spline : {level->path, level->centrePath, level->rightPath, level->playerLine}) {
        ASSERT_TRUE(spline);
        EXPECT_TRUE(spline->IsClosed());
        EXPECT_GT(spline->GetTotalLength(), 1200.0f);
        EXPECT_LT(spline->GetTotalLength(), 2200.0f);
    }
}

TEST_F(DemoLevel, TheRouteRunsOnTheRoadAndEveryCheckpointStandsOnIt) {
    ASSERT_TRUE(Load()) << level->GetLoadError();
    CPSmartPtr<CPGameObject> road = level->levelScene->FindObject("road");
    ASSERT_TRUE(road);
    ASSERT_NE(road->GetRenderObject(), nullptr);
    const RoadTriangles surface(*road->GetRenderObject());
    for (const auto& spline : {level->centrePath, level->rightPath, level->playerLine}) {
        const float length = spline->GetTotalLength();
        for (float d = 0; d < length; d += 10.0f) {
            D3DXVECTOR3 point(0, 0, 0), direction(0, 0, 0);
            spline->GetPointAtDistance(d, point, direction);
            ASSERT_TRUE(surface.Under(point.x, point.y)) << spline->GetName() << " at " << d;
        }
    }
    for (const SPCheckpoint& checkpoint : level->checkpoints) {
        const D3DXVECTOR3 p = checkpoint.object->GetPosition();
        EXPECT_TRUE(surface.Under(p.x, p.y));
    }
    for (const SPStartPlace& place : level->startPlaces)
        EXPECT_TRUE(surface.Under(place.position.x, place.position.y)) << place.place;
    // The source lies off the road, where a turret can stand.
    const auto& source = level->namedPositions["turret"];
    EXPECT_FALSE(surface.Under(source[0], source[1]));
}

} // namespace
} // namespace demotest
