// The level object's start values and the loader: extents, checkpoints, flags, object lists,
// the terrain quad, the road and the world, arrow signs, hints and damaged files.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "Framework/PFileReader.h"
#include "Framework/PGlobalTimer.h"
#include "Framework/PSettings.h"
#include "Platform/Math/D3DXMath.h"
#include "Platform/System/Clock.h"
#include "Platform/System/Random.h"
#include "Render/PPerspectiveCamera.h"
#include "Render/PQuadTreeNode.h"
#include "Render/PRenderObject.h"
#include "Scene/PAnimatedObject.h"
#include "Scene/PAnimation.h"
#include "World/PAITask.h"
#include "World/PLevel.h"
#include "World/PMiniMap.h"
#include "World/PRaceCamera.h"
#include "World/PSpline.h"
#include "support/LevelFileWriter.h"
#include "support/MorphStreamWriter.h"
#include "support/RaceFixture.h"
#include "support/TempDir.h"

namespace {

using kxtest::LevelFileWriter;
using kxtest::RaceFixture;

// Sets an integer or float setting for a scope.
template <class T>
class Setting {
public:
    Setting(T& global, T value) : m_global(global), m_old(global) { m_global = value; }
    ~Setting() { m_global = m_old; }
    Setting(const Setting&) = delete;
    Setting& operator=(const Setting&) = delete;

private:
    T& m_global;
    T m_old;
};

TEST(LevelObject, StartValues) {
    EXPECT_EQ(CPLevel::GetInstance(), nullptr);
    {
        CPLevel level;
        EXPECT_EQ(CPLevel::GetInstance(), &level);
        EXPECT_EQ(level.GetClassName(), "CPLevel");
        EXPECT_EQ(level.playerCarModel, "zil_130_");
        EXPECT_FLOAT_EQ(level.cameraDistance, 7.0f);
        EXPECT_FLOAT_EQ(level.cameraHeight, 2.0f);
        EXPECT_FLOAT_EQ(level.camera1Fov, 50.0f);
        EXPECT_FLOAT_EQ(level.camera2Fov, 50.0f);
        EXPECT_FLOAT_EQ(level.terrainExtentX, 10.0f);
        EXPECT_FLOAT_EQ(level.terrainExtentY, 10.0f);
        EXPECT_FLOAT_EQ(level.showcaseDirection, 1.0f);
        EXPECT_EQ(level.levelNumber, 0);
        EXPECT_TRUE(level.opponentsReleased);
        EXPECT_EQ(level.opponentLineIndex, std::vector<int>(20, 0));
        EXPECT_EQ(level.opponentProgress, std::vector<int>(20, 0));
        EXPECT_FALSE(level.raceStarted);
        EXPECT_FALSE(level.raceOver);
        EXPECT_FALSE(level.reversed);
        EXPECT_EQ(level.quadTree, nullptr);
        EXPECT_FALSE(level.camera);
        EXPECT_FALSE(level.humanRacer);
        EXPECT_EQ(level.player, nullptr);
        // Fields the level leaves to later steps start at zero.
        EXPECT_FLOAT_EQ(level.cameraAngleDiv, 0.0f);
        EXPECT_FLOAT_EQ(level.camera3Distance, 0.0f);
        EXPECT_EQ(level.podium[0], 0);
        EXPECT_FALSE(level.leftStartPostFound);
        EXPECT_EQ(GetLensFlarePoolSink(), &level);
    }
    EXPECT_EQ(CPLevel::GetInstance(), nullptr);
    EXPECT_EQ(GetLensFlarePoolSink(), nullptr);
}

TEST(LevelObject, LevelRanks) {
    const int ranks[] = {1, 7, 8, 4, 1, 5, 2, 9, 10, 6, 3, 11, 12, 1};
    for (int n = 0; n <= 13; ++n) EXPECT_EQ(CPLevel::LevelRank(n), ranks[n]) << n;
}

TEST(LevelLoad, UnreadableFileKeepsTheFirstStepsObjects) {
    RaceFixture race;
    EXPECT_FALSE(race.LoadWritten("nothere"));
    CPLevel& level = *race.level;
    EXPECT_FALSE(level.IsLoaded());
    EXPECT_TRUE(level.finishObject);
    EXPECT_TRUE(level.checkpointModel);
    EXPECT_TRUE(level.checkpointFireModel);
    EXPECT_TRUE(level.checkpointAndFireModel);
    EXPECT_FALSE(level.checkpointModel->IsVisible());
    EXPECT_FALSE(level.centrePath);
    EXPECT_FALSE(level.camera);
    EXPECT_FALSE(level.terrain);
    EXPECT_NE(level.GetLoadError().find("nothere.lvl"), std::string::npos);
}

TEST(LevelLoad, ExtentsFollowTheLevelNumber) {
    struct Case {
        const char* name;
        int number;
        float extent;
    };
    const Case cases[] = {{"level7", 7, 1150.0f},   {"level2", 2, 480.0f}, {"level1", 1, 1000.0f},
                          {"level12", 12, 1150.0f}, {"track", 0, 3000.0f}, {"level13", 0, 3000.0f}};
    for (const Case& c : cases) {
        RaceFixture race;
        LevelFileWriter w = RaceFixture::RingLevel();
        w.header[2] = 77.0f;
        w.header[3] = 88.0f;
        ASSERT_TRUE(race.Load(w, c.name)) << c.name << race.level->GetLoadError();
        EXPECT_EQ(race.level->levelNumber, c.number) << c.name;
        EXPECT_FLOAT_EQ(race.level->terrainExtentX, c.extent) << c.name;
        EXPECT_FLOAT_EQ(race.level->terrainExtentY, c.extent) << c.name;
        ASSERT_TRUE(race.level->miniMap) << c.name;
        EXPECT_FLOAT_EQ(race.level->miniMap->mapExtentX, c.extent) << c.name;
    }
}

TEST(LevelLoad, SunCameraAndResets) {
    RaceFixture race;
    race.store->levelSettings.racerCount = 40;
    race.store->levelSettings.finishCheckpointIndex = 2;
    race.store->transportCount = 3;
    LevelFileWriter twelve = RaceFixture::RingLevel();
    for (int i = 1; i <= 12; ++i)
        twelve.AddObject("enemy" + std::string(i < 10 ? "0" : "") + std::to_string(i), 100, 3.0f * i, 0);
    ASSERT_TRUE(race.Load(twelve, "level9", true, false));
    CPLevel& level = *race.level;
    EXPECT_EQ(level.racerCount, 12);
    EXPECT_EQ(level.playerPlace, 12);
    EXPECT_EQ(level.finishCheckpointIndex, 2);
    EXPECT_EQ(level.transportCount, 3);
    EXPECT_TRUE(level.singleMode);
    EXPECT_FALSE(level.timeMode);
    EXPECT_FLOAT_EQ(level.mapZoom, 1.0f);
    EXPECT_EQ(level.sunLight.Type, D3DLIGHT_DIRECTIONAL);
    EXPECT_FLOAT_EQ(level.sunLight.Range, 10000.0f);
    EXPECT_FLOAT_EQ(level.sunLight.Direction.z, -1.0f);
    EXPECT_FLOAT_EQ(level.sunLight.Diffuse.r, 0.99609375f);
    EXPECT_FLOAT_EQ(level.sunLight.Diffuse.a, 0.0f);
    ASSERT_TRUE(level.camera);
    // The racers' load leaves the camera at the first setting's distance (none in a car
    // without a description).
    EXPECT_FLOAT_EQ(level.camera->distance, level.cameraDistance);
    EXPECT_EQ(g_currentViewCamera, level.camera->GetViewCamera().Get());
    ASSERT_NE(level.GetPlanarShadowMatrix(), nullptr);
    // The drivers: twelve racers and one per traffic vehicle.
    EXPECT_EQ(race.drivers->racerDrivers.size(), 12u);
    EXPECT_EQ(race.drivers->trafficDrivers.size(), 3u);
    EXPECT_EQ(race.drivers->trafficCount, 3);

    RaceFixture few;
    few.store->levelSettings.racerCount = 0;
    ASSERT_TRUE(few.Load(RaceFixture::RingLevel()));
    EXPECT_EQ(few.level->racerCount, 1);
    EXPECT_EQ(few.level->playerPlace, 1);
}

TEST(LevelLoad, CheckpointsBonusAndDirection) {
    RaceFixture race;
    race.store->levelSettings.checkpointTimeBonus = 2.5f;
    LevelFileWriter w = RaceFixture::RingLevel();
    w.AddObject("checkpoint_a4,12.5", 100, 0, 0);
    ASSERT_TRUE(race.Load(w));
    ASSERT_EQ(race.level->checkpoints.size(), 1u);
    EXPECT_FLOAT_EQ(race.level->checkpoints[0].timeBonus, 15.0f);
    EXPECT_FLOAT_EQ(race.level->checkpointDirection, -1.0f);
    EXPECT_EQ(race.level->announcedCheckpoint, -1);

    // The last checkpoint of the file decides the direction.
    w.AddObject("checkpoint7,1", 0, 100, 0);
    ASSERT_TRUE(race.Load(w));
    ASSERT_EQ(race.level->checkpoints.size(), 2u);
    EXPECT_FLOAT_EQ(race.level->checkpoints[1].timeBonus, 3.5f);
    EXPECT_FLOAT_EQ(race.level->checkpointDirection, 1.0f);
}

TEST(LevelLoad, FlagMarkersHideTheirSecondFlag) {
    RaceFixture race;
    race.models["cflag.rdf"] = [] {
        CPSmartPtr<CPGameObject> flag = kxtest::MakeBoxObject("cflag");
        flag->AddChild(kxtest::MakeBoxObject("flag_b"));
        return flag;
    };
    LevelFileWriter w = RaceFixture::RingLevel();
    w.AddObject("cflag", 10, 0, 0);
    w.AddObject("cflag2", 20, 0, 0);
    ASSERT_TRUE(race.Load(w));
    ASSERT_EQ(race.level->flagMarkers.size(), 2u);
    for (const SPFlagMarker& marker : race.level->flagMarkers) {
        ASSERT_TRUE(marker.object->FindObject("flag_b"));
        EXPECT_FALSE(marker.object->FindObject("flag_b")->IsVisible());
        EXPECT_GE(marker.phase, 0.0f);
        EXPECT_LT(marker.phase, 1.0f);
        EXPECT_FLOAT_EQ(marker.sway.x, 1.0f);
        EXPECT_FALSE(marker.raised);
    }
    // Without the child the model is left as it is.
    race.models["cflag.rdf"] = [] { return kxtest::MakeBoxObject("cflag"); };
    ASSERT_TRUE(race.Load(w));
    EXPECT_EQ(race.level->flagMarkers.size(), 2u);
    EXPECT_TRUE(race.level->flagMarkers[0].object->IsVisible());
}

TEST(LevelLoad, StaticAndDynamicObjects) {
    RaceFixture race;
    LevelFileWriter w = RaceFixture::RingLevel();
    kxtest::LevelObject& tree = w.AddObject("tree3", 10, 20, 0);
    tree.scale[0] = 2.0f;
    tree.scale[1] = 3.0f;
    tree.rotation[2] = 0.5f;
    tree.rotation[3] = std::sqrt(0.75f);
    w.AddObject("barrel1", 30, 0, 0).scale[0] = 5.0f;
    w.AddObject("post", 40, 0, 0);
    w.AddObject("wreck", 50, 0, 0);
    w.AddObject("unknownthing", 60, 0, 0);
    ASSERT_TRUE(race.Load(w)) << race.level->GetLoadError();
    CPLevel& level = *race.level;
    ASSERT_EQ(level.staticObjects.size(), 2u);
    EXPECT_EQ(level.staticObjects[0]->GetName(), "tree");
    EXPECT_EQ(level.staticObjects[1]->GetName(), "post");
    ASSERT_EQ(level.dormantObjects.size(), 2u);
    EXPECT_EQ(level.dormantObjects.front()->GetName(), "barrel");
    EXPECT_EQ(level.dormantObjects.back()->GetName(), "wreck");
    EXPECT_TRUE(level.activeObjects.empty());
    EXPECT_EQ(level.placedObjects.size(), 4u);
    EXPECT_EQ(level.placedObjects.count("tree3"), 1u);

    // The conjugate of the file quaternion, the position, the scale only without physics.
    const CPSmartPtr<CPGameObject>& t = level.staticObjects[0];
    EXPECT_FLOAT_EQ(t->GetRotationQuaternion().z, -0.5f);
    EXPECT_FLOAT_EQ(t->GetPosition().y, 20.0f);
    const std::vector<SPVertex>& treeVertices = t->GetRenderObject()->ModelVertices();
    float maxX = 0.0f, maxY = 0.0f;
    for (const SPVertex& v : treeVertices) {
        maxX = std::max(maxX, v.x);
        maxY = std::max(maxY, v.y);
    }
    EXPECT_FLOAT_EQ(maxX, 2.0f);
    EXPECT_FLOAT_EQ(maxY, 3.0f);
    float barrelMaxX = 0.0f;
    for (const SPVertex& v : level.dormantObjects.front()->GetRenderObject()->ModelVertices())
        barrelMaxX = std::max(barrelMaxX, v.x);
    EXPECT_FLOAT_EQ(barrelMaxX, 1.0f);
    // Every placed object carries the static flag through its tree, and no shadow bounds.
    EXPECT_TRUE(t->IsStatic());
    EXPECT_FALSE(t->IsCastsShadow());
    EXPECT_TRUE(t->IsInScene());
}

TEST(LevelLoad, RecordNamesReachTheirFields) {
    RaceFixture race;
    race.models["arrow.rdf"] = [] { return kxtest::MakeBoxObject("arrow"); };
    race.models["flag.rdf"] = [] { return kxtest::MakeBoxObject("flag"); };
    LevelFileWriter w = RaceFixture::RingLevel();
    w.AddObject("player2", 1, 1, 1);
    w.AddObject("enemy07", 7, 0, 0);
    w.AddObject("enemy03", 3, 0, 0);
    w.AddObject("src_start", 5, 6, 7);
    w.AddObject("stolb_start_left", -5, 0, 0);
    w.AddObject("chk12_arrow7", 1, 2, 3).rotation[0] = 0.25f;
    w.AddObject("chk3-flag", 4, 5, 6);
    w.AddObject("chk9_missing", 4, 5, 6);
    ASSERT_TRUE(race.Load(w));
    CPLevel& level = *race.level;
    ASSERT_EQ(level.startPlaces.size(), 2u);
    EXPECT_EQ(level.startPlaces[0].place, 7);
    EXPECT_EQ(level.startPlaces[0].id, "07");
    EXPECT_EQ(level.startPlaces[1].place, 3);
    ASSERT_EQ(level.namedPositions.count("start"), 1u);
    EXPECT_FLOAT_EQ(level.namedPositions["start"][2], 7.0f);
    EXPECT_TRUE(level.leftStartPostFound);
    EXPECT_FALSE(level.rightStartPostFound);
    EXPECT_FLOAT_EQ(level.leftStartPost.x, -5.0f);
    EXPECT_TRUE(level.placedObjects.empty());
    ASSERT_EQ(level.checkpointHints.size(), 2u);
    const SPCheckpointHint& first = level.checkpointHints.front();
    EXPECT_EQ(first.numberText, "12");
    EXPECT_EQ(first.number, 12);
    EXPECT_FALSE(first.model->IsVisible());
    EXPECT_FLOAT_EQ(first.model->GetRotationQuaternion().x, -0.25f);
    EXPECT_EQ(level.checkpointHints.back().number, 3);
}

TEST(LevelLoad, TerrainQuad) {
    Setting<float> plane(g_plane, 1.0f);
    RaceFixture race;
    race.models["land.rdf"] = [] { return kxtest::MakePhysicsObject("land", 0.0f); };
    const int kept = race.physics->GetKeptMeshCount();
    ASSERT_TRUE(race.Load(RaceFixture::RingLevel(), "level2"));
    CPLevel& level = *race.level;
    ASSERT_TRUE(level.terrain);
    EXPECT_FALSE(level.terrain->IsVisible());
    EXPECT_FALSE(level.terrain->GetPhysicData());
    const CPRenderObject* mesh = level.terrain->GetRenderObject();
    ASSERT_NE(mesh, nullptr);
    ASSERT_EQ(mesh->ModelVertices().size(), 4u);
    EXPECT_EQ(mesh->Indices(), (std::vector<std::uint16_t>{0, 1, 2, 0, 2, 3}));
    const SPVertex& v2 = mesh->ModelVertices()[2];
    EXPECT_FLOAT_EQ(v2.x, 240.0f);
    EXPECT_FLOAT_EQ(v2.y, 240.0f);
    EXPECT_FLOAT_EQ(v2.z, -0.6f);
    EXPECT_FLOAT_EQ(v2.tu, 1.0f);
    EXPECT_FLOAT_EQ(v2.tu1, 96.0f);
    EXPECT_FLOAT_EQ(v2.tv1, 96.0f);
    EXPECT_FLOAT_EQ(mesh->ModelVertices()[0].x, -240.0f);
    EXPECT_FLOAT_EQ(mesh->ModelVertices()[3].tv, 1.0f);
    EXPECT_EQ(race.physics->GetKeptMeshCount(), kept + 1);
}

TEST(LevelLoad, RoadGridWorldAndSnappedSplines) {
    RaceFixture race;
    LevelFileWriter w;
    w.AddSpline(kxtest::RingSpline("c_path", 0, 0, 100, 16, 9.0f));
    ASSERT_TRUE(race.Load(w));
    EXPECT_TRUE(race.physics->HasGrid());
    EXPECT_NE(race.physics->GetSimulator(), nullptr);
    ASSERT_TRUE(race.level->roadPhysics);
    EXPECT_FALSE(race.level->roadPhysics->IsVisible());
    const CPLine* line = race.level->centrePath->GetFirstLine();
    ASSERT_NE(line, nullptr);
    EXPECT_NEAR(line->centre.z, 0.0f, 1e-4f);
    // The road the loader asked for carries the level number.
    EXPECT_TRUE(std::any_of(race.loads.begin(), race.loads.end(), [](const RaceFixture::ModelRequest& r) {
        return r.file == "road_phys9.rdf" && r.key == 19;
    }));
}

TEST(LevelLoad, FailsWithoutAUsableRouteOrRoad) {
    RaceFixture race;
    LevelFileWriter none;
    none.AddObject("tree", 0, 0, 0);
    EXPECT_FALSE(race.Load(none));
    EXPECT_NE(race.level->GetLoadError().find("c_path"), std::string::npos);
    // The objects made before stay.
    EXPECT_EQ(race.level->staticObjects.size(), 1u);

    LevelFileWriter empty;
    kxtest::LevelSpline spline;
    spline.name = "c_path";
    empty.AddSpline(spline);
    EXPECT_FALSE(race.Load(empty));

    // A road whose coordinates are not finite is refused by the physics task, and so is none.
    race.road.positions[0] = std::nanf("");
    EXPECT_FALSE(race.Load(RaceFixture::RingLevel()));
    EXPECT_NE(race.level->GetLoadError().find("road"), std::string::npos);
    race.makeRoad = false;
    EXPECT_FALSE(race.Load(RaceFixture::RingLevel()));
    EXPECT_FALSE(race.level->roadPhysics);
}

TEST(LevelLoad, DamagedFileKeepsTheObjectsMadeBeforeTheDamage) {
    RaceFixture race;
    LevelFileWriter w = RaceFixture::RingLevel();
    w.AddObject("tree", 0, 0, 0);
    w.AddObject("post", 0, 0, 0);
    const std::string bytes = w.Bytes();
    // Cut inside the spline section: both objects stand.
    race.store.Write("Data/Levels/level9.lvl", kxtest::Truncated(bytes, w.SplineSectionOffset() + 10));
    EXPECT_FALSE(race.LoadWritten("level9"));
    EXPECT_EQ(race.level->staticObjects.size(), 2u);
    EXPECT_NE(race.level->GetLoadError().find("byte"), std::string::npos);
    EXPECT_FALSE(race.level->centrePath);
    // A count beyond the bytes left fails before any record of it is made.
    race.store.Write("Data/Levels/level9.lvl", kxtest::Truncated(bytes, w.ObjectSectionOffset() + 4 + 48 + 10));
    EXPECT_FALSE(race.LoadWritten("level9"));
    EXPECT_TRUE(race.level->staticObjects.empty());
    EXPECT_NE(race.level->GetLoadError().find("byte"), std::string::npos);
    EXPECT_FALSE(race.level->centrePath);
}

TEST(LevelLoad, ArrowSigns) {
    Setting<int> shadows(g_shadows, 1);
    struct Case {
        float length;
        std::vector<float> distances;
    };
    const Case cases[] = {{30.0f, {20.0f}}, {19.9f, {}}, {65.0f, {60.0f, 40.0f, 20.0f}}};
    for (const Case& c : cases) {
        RaceFixture race;
        const char* const set[] = {"arrow_2_a.rdf", "arrow2_2_a.rdf", "arrow3_2_a.rdf"};
        for (const char* file : set) race.models[file] = [file] { return kxtest::MakeBoxObject(file); };
        LevelFileWriter w = RaceFixture::RingLevel();
        // A straight segment measures 0.9 of its chord.
        w.AddSpline(kxtest::StraightSpline("path", 0, 0, c.length / 0.9f, 0, 1));
        ASSERT_TRUE(race.Load(w, "level9"));
        CPLevel& level = *race.level;
        ASSERT_EQ(level.arrowMarkers.size(), c.distances.size()) << c.length;
        std::vector<std::string> picked;
        for (const RaceFixture::ModelRequest& r : race.loads)
            if (r.file.rfind("arrow", 0) == 0) picked.push_back(r.file);
        ASSERT_EQ(picked.size(), c.distances.size());
        for (std::size_t i = 1; i < picked.size(); ++i) EXPECT_NE(picked[i], picked[i - 1]);
        for (const std::string& file : picked)
            EXPECT_NE(std::find(std::begin(set), std::end(set), file), std::end(set)) << file;
        std::size_t i = 0;
        for (const SPArrowMarker& marker : level.arrowMarkers) {
            const CPLine* line = level.path->FindNearbyLine(D3DXVECTOR3(c.distances[i], 0.0f, 0.0f));
            ASSERT_NE(line, nullptr);
            const D3DXVECTOR3& p = marker.object->GetPosition();
            EXPECT_NEAR(p.x, (line->start.x + line->end.x + line->centre.x) / 3.0f, 1e-3f);
            EXPECT_NEAR(p.z, 22.5f, 1e-3f);
            // Along +x the model's forward axis (0, -1, 0) turns onto +x: a quarter turn.
            D3DXVECTOR3 forward(0.0f, -1.0f, 0.0f);
            D3DXMATRIX m;
            D3DXMatrixRotationQuaternion(&m, &marker.object->GetRotationQuaternion());
            D3DXVec3TransformNormal(&forward, &forward, &m);
            EXPECT_NEAR(forward.x, 1.0f, 1e-4f);
            ++i;
        }
    }
}

TEST(LevelLoad, TimeModeModelFromTheMissionRecord) {
    RaceFixture race;
    race.models["ghost_.rdf"] = [] { return kxtest::MakeBoxObject("ghost"); };
    race.store->realLevelNumber = 4;
    race.store->missionRecords[3].ghostModel = "ghost";
    ASSERT_TRUE(race.Load(RaceFixture::RingLevel(), "level9", false, true));
    EXPECT_TRUE(race.level->timeModeObject);
    race.store->realLevelNumber = 99;
    ASSERT_TRUE(race.Load(RaceFixture::RingLevel(), "level9", false, true));
    EXPECT_FALSE(race.level->timeModeObject);
}

TEST(LevelLoad, QuadTreeOrLevelTree) {
    {
        Setting<int> levels(g_quadlevels, 2);
        RaceFixture race;
        LevelFileWriter w = RaceFixture::RingLevel();
        w.AddObject("tree", 10, 10, 0);
        ASSERT_TRUE(race.Load(w, "level2"));
        ASSERT_NE(race.level->quadTree, nullptr);
        EXPECT_FALSE(race.level->levelTree);
        ASSERT_NE(race.level->quadTree->GetBounds(), nullptr);
    }
    Setting<int> levels(g_quadlevels, 0);
    RaceFixture race;
    LevelFileWriter w = RaceFixture::RingLevel();
    w.AddObject("tree", 10, 10, 0);
    ASSERT_TRUE(race.Load(w));
    EXPECT_EQ(race.level->quadTree, nullptr);
    ASSERT_TRUE(race.level->levelTree);
    EXPECT_EQ(race.level->levelTree->GetObjects().size(), 1u);
    EXPECT_EQ(race.level->camera->levelTree, race.level->levelTree);
}

} // namespace

namespace {

// The loader seeds the engine's generator from the millisecond clock: the same clock gives the
// same flag phases, another clock other ones.
TEST(LevelLoad, RandomValuesFollowTheClock) {
    Platform::FakeClock clock;
    Platform::SetClock(&clock);
    const auto phases = [] {
        RaceFixture race;
        LevelFileWriter w = RaceFixture::RingLevel();
        for (int i = 0; i < 3; ++i) w.AddObject("cflag", 10.0f * static_cast<float>(i), 0, 0);
        EXPECT_TRUE(race.Load(w));
        std::vector<float> out;
        for (const SPFlagMarker& marker : race.level->flagMarkers) out.push_back(marker.phase);
        return out;
    };
    clock.AdvanceSeconds(5.0);
    const std::vector<float> first = phases();
    const std::vector<float> again = phases();
    clock.AdvanceSeconds(7.3);
    const std::vector<float> later = phases();
    Platform::SetClock(nullptr);
    ASSERT_EQ(first.size(), 3u);
    EXPECT_EQ(first, again);
    EXPECT_NE(first, later);
}

} // namespace

namespace {

// A placed object with physics and an animated attachment starts "idle" at a speed and offset
// drawn from the generator the loader seeded with the clock.
TEST(LevelLoad, IdleAnimationFromTheSeededGenerator) {
    Platform::FakeClock clock;
    Platform::SetClock(&clock);
    clock.AdvanceSeconds(12.345);
    g_totalTime = 0.0;
    RaceFixture race;
    race.models["windmill.rdf"] = [] {
        CPSmartPtr<CPGameObject> object = kxtest::MakePhysicsObject("windmill", 0.0f);
        CPSmartPtr<CPAnimatedObject> animated(new CPAnimatedObject());
        kxtest::MorphStreamWriter writer;
        writer.AddFrames(4, 1);
        kxtest::TempGameRoot root;
        root.Write("data/idle.bin", writer.Build());
        CPFileReader reader("data/idle.bin");
        EXPECT_EQ(reader.Load(), S_OK);
        CPSmartPtr<CPAnimation> idle(new CPAnimation("idle"));
        EXPECT_TRUE(idle->Load(reader, 0xFFFFFFFFu));
        animated->AddAnimation("idle", idle);
        animated->SetOwner(object.Get());
        object->SetAttachment(CPSmartPtr<IPMMObject>(animated.Get()), IPSceneObject::KindAnimated);
        return object;
    };
    LevelFileWriter w = RaceFixture::RingLevel();
    w.AddObject("windmill", 10, 10, 0);
    ASSERT_TRUE(race.Load(w));
    Platform::EngineRandom expected(clock.TimeGetTime());
    const float r0 = static_cast<float>(expected.Next()) / 32768.0f;
    const float r1 = static_cast<float>(expected.Next()) / 32768.0f;
    Platform::SetClock(nullptr);
    ASSERT_EQ(race.level->staticObjects.size(), 1u);
    auto* animated = dynamic_cast<CPAnimatedObject*>(race.level->staticObjects[0]->GetAttachment().Get());
    ASSERT_NE(animated, nullptr);
    EXPECT_EQ(animated->GetCurrentName(), "idle");
    EXPECT_FLOAT_EQ(animated->GetSpeed(), 1.0f + 0.4f * r1 - 0.2f);
    EXPECT_FLOAT_EQ(animated->GetStartTime(), r0);
}

} // namespace
