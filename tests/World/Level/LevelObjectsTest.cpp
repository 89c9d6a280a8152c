// The movable level objects' streaming, the backwards test, the scene-object helpers, the race
// camera's setters and the mini map's set-up.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <iterator>
#include <string>
#include <vector>

#include "Framework/PGlobalTimer.h"
#include "Framework/PSettings.h"
#include "Platform/Math/D3DXMath.h"
#include "Render/PPerspectiveCamera.h"
#include "Sound/NSound.h"
#include "World/PLevel.h"
#include "World/PMiniMap.h"
#include "World/PRaceCamera.h"
#include "support/RaceFixture.h"

namespace {

using kxtest::LevelFileWriter;
using kxtest::RaceFixture;

CPPhysicData* Data(const CPSmartPtr<CPGameObject>& object) {
    return dynamic_cast<CPPhysicData*>(object->GetPhysicData().Get());
}

bool Contains(const std::list<CPSmartPtr<CPGameObject>>& list, const CPGameObject* object) {
    for (const CPSmartPtr<CPGameObject>& o : list)
        if (o.Get() == object) return true;
    return false;
}

TEST(LevelObjects, TheWakeWindow) {
    struct Case {
        const char* what;
        D3DXVECTOR3 offset;
        bool wakes;
    };
    const Case cases[] = {
        {"31 behind", {-31, 0, 0}, false},
        {"29 behind", {-29, 0, 0}, true},
        {"74 ahead", {74, 0, 0}, true},
        {"75 ahead", {75, 0, 0}, false},
        {"40 ahead, 100 off in y", {40, 100, 0}, true},
        {"height 30 apart", {10, 0, 30}, false},
        {"height 29 apart", {10, 0, 29}, true},
        {"level with the human in x", {0, 5, 0}, false},
    };
    RaceFixture race;
    LevelFileWriter w = RaceFixture::RingLevel();
    const D3DXVECTOR3 human(-100.0f, 0.0f, 0.0f);
    for (const Case& c : cases) w.AddObject("barrel", human.x + c.offset.x, c.offset.y, c.offset.z);
    ASSERT_TRUE(race.Load(w));
    race.PlaceHuman(human);
    std::vector<CPSmartPtr<CPGameObject>> objects(race.level->dormantObjects.begin(), race.level->dormantObjects.end());
    ASSERT_EQ(objects.size(), std::size(cases));
    race.level->UpdateLevelObjects(1);
    for (std::size_t i = 0; i < objects.size(); ++i) {
        const bool active = Contains(race.level->activeObjects, objects[i].Get());
        EXPECT_EQ(active, cases[i].wakes) << cases[i].what;
        EXPECT_EQ(Contains(race.level->dormantObjects, objects[i].Get()), !cases[i].wakes) << cases[i].what;
        EXPECT_EQ(objects[i]->IsInScene(), true) << cases[i].what;
        EXPECT_EQ(Data(objects[i])->HasBody(), cases[i].wakes) << cases[i].what;
    }
    // A sleep pass with everyone where they are keeps them, the level one included.
    race.level->UpdateLevelObjects(-1);
    for (std::size_t i = 0; i < objects.size(); ++i)
        EXPECT_EQ(Contains(race.level->activeObjects, objects[i].Get()), cases[i].wakes) << cases[i].what;
}

TEST(LevelObjects, BodiesTunnelsAndSleep) {
    RaceFixture race;
    race.models["tunnel.rdf"] = [] { return kxtest::MakePhysicsObject("tunnel", 3.0f); };
    LevelFileWriter w = RaceFixture::RingLevel();
    w.AddObject("barrel", 10, 0, 0);
    w.AddObject("wreck", 20, 0, 0);
    w.AddObject("tunnel", 30, 0, 0);
    ASSERT_TRUE(race.Load(w));
    race.PlaceHuman(D3DXVECTOR3(0, 0, 0));
    std::vector<CPSmartPtr<CPGameObject>> objects(race.level->dormantObjects.begin(), race.level->dormantObjects.end());
    ASSERT_EQ(objects.size(), 3u);
    race.level->UpdateLevelObjects(1);
    ASSERT_EQ(race.level->activeObjects.size(), 3u);
    for (int i = 0; i < 2; ++i) {
        RbBody* body = Data(objects[static_cast<std::size_t>(i)])->GetBody();
        ASSERT_NE(body, nullptr) << i;
        EXPECT_EQ(body->GetCollisionGroup(), 1) << i;
    }
    EXPECT_FALSE(Data(objects[2])->HasBody()) << "a tunnel wakes without a body";

    // The human drives on: the next sleep pass takes them out again.
    race.level->humanRacer->SetPosition(D3DXVECTOR3(150, 0, 0));
    race.level->UpdateLevelObjects(-1);
    EXPECT_TRUE(race.level->activeObjects.empty());
    EXPECT_EQ(race.level->dormantObjects.size(), 3u);
    for (const CPSmartPtr<CPGameObject>& object : objects) {
        EXPECT_FALSE(object->IsInScene());
        EXPECT_FALSE(Data(object)->HasBody());
        EXPECT_EQ(race.physics->GetActiveObjects().count(object.Get()), 0u);
    }
    // And a wake pass brings them back when it comes back.
    race.level->humanRacer->SetPosition(D3DXVECTOR3(5, 0, 0));
    race.level->UpdateLevelObjects(1);
    EXPECT_EQ(race.level->activeObjects.size(), 3u);
}

TEST(LevelObjects, MovingBackwards) {
    struct Case {
        float pathAngle;
        D3DXVECTOR3 heading;
        bool backwards;
    };
    const Case cases[] = {
        {0.0f, {1, 0, 0}, false},       {0.0f, {-1, 0, 0}, true},      {0.0f, {0, 1, 0}, false},
        {0.0f, {0, -1, 0}, false},      {0.0f, {-1, 0.01f, 5}, true},  {0.0f, {0.01f, 1, 0}, false},
        {1.5707964f, {0, -1, 0}, true}, {3.1415927f, {1, 0, 0}, true},
    };
    CPLevel level;
    for (const Case& c : cases) {
        level.pathAngleAtPlayer = c.pathAngle;
        level.playerHeading = c.heading;
        EXPECT_EQ(level.IsMovingBackwards(), c.backwards) << c.pathAngle << " " << c.heading.x << "," << c.heading.y;
    }
}

TEST(LevelObjects, RecursiveHelpersReachEveryChild) {
    CPSmartPtr<CPGameObject> root = kxtest::MakeBoxObject("root");
    CPSmartPtr<CPGameObject> a = kxtest::MakeBoxObject("a");
    CPSmartPtr<CPGameObject> b = kxtest::MakeBoxObject("b");
    CPSmartPtr<CPGameObject> lod = kxtest::MakeBoxObject("lod");
    root->AddChild(a);
    root->AddChild(b);
    root->AddLevelOfDetail(lod, 50);
    for (bool value : {false, true}) {
        SetScriptFlagRecursive(*root, value);
        SetShadowBoundsRecursive(*root, value);
        for (const CPSmartPtr<CPGameObject>& o : {root, a, b}) {
            EXPECT_EQ(o->IsStatic(), value) << o->GetName();
            EXPECT_EQ(o->IsCastsShadow(), value) << o->GetName();
        }
        EXPECT_EQ(lod->IsCastsShadow(), value);
    }
    D3DXMATRIX scale;
    D3DXMatrixScaling(&scale, 2.0f, 3.0f, 4.0f);
    ApplyMatrixToGeometry(*root, scale);
    for (const CPSmartPtr<CPGameObject>& o : {root, a, b}) {
        float maxY = 0.0f;
        for (const SPVertex& v : o->GetRenderObject()->ModelVertices()) maxY = std::max(maxY, v.y);
        EXPECT_FLOAT_EQ(maxY, 3.0f) << o->GetName();
    }
}

TEST(RaceCamera, ConstructionAndViews) {
    g_distance = 200;
    {
        CPSmartPtr<CPCamera> camera(new CPCamera());
        EXPECT_EQ(camera->GetClassName(), "CPCamera");
        EXPECT_EQ(g_currentViewCamera, camera->GetViewCamera().Get());
        EXPECT_FLOAT_EQ(camera->GetViewCamera()->farDistance, 200.0f);
        EXPECT_FLOAT_EQ(camera->GetFarCamera()->farDistance, 2000.0f);
        EXPECT_FLOAT_EQ(camera->GetViewCamera()->nearDistance, 1.0f);
        EXPECT_FLOAT_EQ(camera->GetViewCamera()->up.z, 1.0f);
        EXPECT_FLOAT_EQ(camera->targetYaw, -1.5707964f);
        // The first field of view goes to both views at once, later ones are targets.
        camera->SetFOV(150.0f);
        EXPECT_FLOAT_EQ(camera->targetFov, 120.0f);
        EXPECT_FLOAT_EQ(camera->fov, 150.0f);
        EXPECT_FLOAT_EQ(camera->GetFarCamera()->fieldOfView, 150.0f * 0.017453292f);
        camera->SetFOV(60.0f);
        EXPECT_FLOAT_EQ(camera->fov, 150.0f);
        EXPECT_FLOAT_EQ(camera->targetFov, 60.0f);
        camera->SetCarPitch(0.4f);
        EXPECT_FLOAT_EQ(camera->carPitch, 0.0f);
        camera->SetDistance(6.0f);
        EXPECT_FLOAT_EQ(camera->targetDistance, 9.0f);
        EXPECT_FLOAT_EQ(camera->distance, 6.0f);
        camera->SetCarPitch(-0.3f);
        camera->SetDistance(8.0f);
        EXPECT_FLOAT_EQ(camera->targetDistance, 8.0f);
        EXPECT_FLOAT_EQ(camera->distance, 6.0f);
        camera->SetExternalVectors(D3DXVECTOR3(1, 2, 3), D3DXVECTOR3(4, 5, 6), D3DXVECTOR3(0, 1, 0));
        EXPECT_FLOAT_EQ(camera->externalEye.x, 1.0f);
        EXPECT_FLOAT_EQ(camera->externalLookAt.z, 6.0f);
        EXPECT_FLOAT_EQ(camera->externalUp.y, 1.0f);
    }
    IPMMObject::CollectGarbage();
    EXPECT_EQ(g_currentViewCamera, nullptr);
}

TEST(RaceCamera, ShakeAndTakedownTimes) {
    CPLevel level;
    CPSmartPtr<CPPlayer> human(new CPPlayer());
    CPSmartPtr<CPPlayer> opponent(new CPPlayer());
    level.player = human.Get();
    CPSmartPtr<CPCamera> camera(new CPCamera());
    camera->StartShake();
    EXPECT_TRUE(camera->shakeOn);
    EXPECT_FLOAT_EQ(camera->shakeTime, 0.5f);

    camera->takedownTarget = opponent.Get();
    level.nearbyOpponents = 1;
    const float expected[] = {1.0f, 0.9f, 0.8f, 0.7f, 0.6f, 0.5f, 0.5f};
    for (float e : expected) {
        camera->StartTakedownView();
        EXPECT_FLOAT_EQ(camera->takedownTime, e);
    }
    EXPECT_FALSE(camera->shakeOn) << "a takedown stops the shake";
    EXPECT_EQ(camera->takedownCount, 7);
    EXPECT_FLOAT_EQ(g_timeScale, 0.25f);
    camera->takedownTarget = human.Get();
    camera->StartTakedownView();
    EXPECT_FLOAT_EQ(camera->takedownTime, 1.0f);
    EXPECT_EQ(camera->takedownCount, 7);

    CPSmartPtr<CPCamera> crowded(new CPCamera());
    level.nearbyOpponents = 2;
    crowded->takedownTarget = opponent.Get();
    crowded->StartTakedownView();
    EXPECT_FLOAT_EQ(crowded->takedownTime, 0.75f);
    crowded->StartTakedownView();
    EXPECT_FLOAT_EQ(crowded->takedownTime, 0.5f);

    level.raceOver = true;
    CPSmartPtr<CPCamera> late(new CPCamera());
    late->StartShake();
    EXPECT_FALSE(late->shakeOn);
    g_timeScale = 1.0f;
    CNSound::SetGlobalFrequencyFactor(1.0f);
}

TEST(MiniMap, TexturesAndScaleByLevel) {
    struct Case {
        int level;
        const char* map;
        float scale;
    };
    const Case cases[] = {{1, "level1\\map.tga", 0.0875f},
                          {5, "level3\\map.tga", 0.175f},
                          {9, "level2\\map.tga", 0.07f},
                          {0, nullptr, 0.175f},
                          {13, nullptr, 0.175f}};
    for (const Case& c : cases) {
        float scale = 0.0f;
        const std::vector<std::string> textures = CPMiniMap::TexturesFor(c.level, scale);
        std::vector<std::string> expected{"mapblur.tga"};
        if (c.map) expected.push_back(c.map);
        expected.push_back("mapblur2.tga");
        EXPECT_EQ(textures, expected) << c.level;
        EXPECT_FLOAT_EQ(scale, c.scale) << c.level;
    }
}

TEST(MiniMap, InitFindsItsMarkersWhenThere) {
    RaceFixture race;
    race.models["minimap_obj.rdf"] = [] {
        CPSmartPtr<CPGameObject> scene = kxtest::MakeBoxObject("minimap");
        scene->AddChild(kxtest::MakeBoxObject("arrow"));
        scene->AddChild(kxtest::MakeBoxObject("checkpoint"));
        return scene;
    };
    ASSERT_TRUE(race.Load(RaceFixture::RingLevel(), "level5"));
    CPMiniMap& map = *race.level->miniMap;
    ASSERT_TRUE(map.hintArrow);
    ASSERT_TRUE(map.checkpointMarker);
    EXPECT_FALSE(map.hintArrow->IsVisible());
    EXPECT_FALSE(map.checkpointMarker->IsVisible());
    EXPECT_FLOAT_EQ(map.mapScale, 0.175f);
    EXPECT_FLOAT_EQ(map.mapExtentX, 480.0f);

    // The fallback description has neither child.
    race.models["minimap_obj.rdf"] = [] { return kxtest::MakeBoxObject("wrong"); };
    CPMiniMap bare;
    bare.Init(100.0f, 300.0f);
    EXPECT_TRUE(bare.markerScene);
    EXPECT_FALSE(bare.hintArrow);
    EXPECT_FALSE(bare.checkpointMarker);
    EXPECT_FLOAT_EQ(bare.mapExtentX, 300.0f);
    EXPECT_FLOAT_EQ(bare.mapExtentY, 300.0f);

    map.Update(D3DXVECTOR3(10, 20, 0), 0.0f);
    SPVertex v[4];
    std::uint16_t idx[6];
    map.FillVertices(v, idx, 8, 0);
    EXPECT_EQ(idx[0], 8);
    EXPECT_EQ(idx[5], 11);
    EXPECT_FLOAT_EQ(v[1].x, map.screenLeft);
    EXPECT_FLOAT_EQ(v[3].tu1, 1.0f);
    // At the racer's position the window is centred on u = 0.5 + x / E.
    const float u = (v[0].tu + v[2].tu) / 2.0f;
    const float vv = (v[0].tv + v[2].tv) / 2.0f;
    EXPECT_NEAR(u, 0.5f + 10.0f / 480.0f, 1e-5f);
    EXPECT_NEAR(vv, 0.5f + 20.0f / 480.0f, 1e-5f);
}

} // namespace
