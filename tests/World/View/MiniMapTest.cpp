// The mini map: its hint target, its square and its markers.

#include <gtest/gtest.h>

#include "Scene/PGameObject.h"
#include "World/PMiniMap.h"

#include <cmath>
#include <string>
#include <vector>

#include "Framework/PApplication.h"
#include "Framework/PSettings.h"
#include "Platform/Math/D3DXMath.h"
#include "World/View/ViewFixture.h"

namespace {

struct HintMap {
    HintMap() {
        map->hintArrow = CPSmartPtr<CPGameObject>(new CPGameObject("arrow"));
        map->checkpointMarker = CPSmartPtr<CPGameObject>(new CPGameObject("checkpoint"));
        map->hintArrow->SetVisible(false);
        map->checkpointMarker->SetVisible(false);
    }
    CPSmartPtr<CPMiniMap> map{new CPMiniMap()};
};

TEST(MiniMapHint, ATargetShowsArrowAndMarkerAndHoldsTheTarget) {
    HintMap h;
    CPSmartPtr<CPGameObject> hint(new CPGameObject("hint"));
    const int before = hint->GetRefCount();
    h.map->SetHintTarget(hint);
    EXPECT_EQ(hint->GetRefCount(), before + 1);
    EXPECT_EQ(h.map->hintTarget.Get(), hint.Get());
    EXPECT_TRUE(h.map->hintArrow->IsVisible());
    EXPECT_TRUE(h.map->checkpointMarker->IsVisible());
    EXPECT_EQ(h.map->currentMarker.Get(), h.map->hintArrow.Get());
}

TEST(MiniMapHint, NoTargetDropsTheMarkerAndHidesTheCheckpointButNotTheArrow) {
    HintMap h;
    CPSmartPtr<CPGameObject> hint(new CPGameObject("hint"));
    const int before = hint->GetRefCount();
    h.map->SetHintTarget(hint);
    h.map->SetHintTarget(CPSmartPtr<CPGameObject>());
    EXPECT_EQ(hint->GetRefCount(), before);
    EXPECT_FALSE(h.map->currentMarker);
    EXPECT_FALSE(h.map->checkpointMarker->IsVisible());
    EXPECT_TRUE(h.map->hintArrow->IsVisible());
}

TEST(MiniMapHint, MarkerModelsWithoutTheChildrenAreSkipped) {
    CPSmartPtr<CPMiniMap> map(new CPMiniMap());
    CPSmartPtr<CPGameObject> hint(new CPGameObject("hint"));
    map->SetHintTarget(hint);
    EXPECT_FALSE(map->currentMarker);
    map->SetHintTarget(CPSmartPtr<CPGameObject>());
    EXPECT_FALSE(map->hintTarget);
}

} // namespace

namespace {

using kxview::ViewWorld;

constexpr float kHalfPi = 1.5707964f;

// A level with a mini map, its marker models made in code.
struct MiniMap : ViewWorld {
    MiniMap() {
        savedScale = g_interfaceScale;
        savedOffset = g_interfaceOffsetX;
        g_interfaceScale = 1.0f;
        g_interfaceOffsetX = 0.0f;
        CPLevel::SetModelLoader([](const std::string& file, int) {
            CPSmartPtr<CPGameObject> scene(new CPGameObject(file));
            scene->AddChild(CPSmartPtr<CPGameObject>(new CPGameObject("arrow")));
            scene->AddChild(CPSmartPtr<CPGameObject>(new CPGameObject("checkpoint")));
            return scene;
        });
        level->miniMap = CPSmartPtr<CPMiniMap>(new CPMiniMap());
    }
    ~MiniMap() override {
        CPLevel::SetModelLoader(nullptr);
        g_interfaceScale = savedScale;
        g_interfaceOffsetX = savedOffset;
    }

    // A racer facing along the direction (x, y) in the ground plane.
    static D3DXQUATERNION Facing(float x, float y) {
        // The car's forward is (0, -1, 0) turned by its rotation.
        const float angle = std::atan2(y, x) + kHalfPi;
        const D3DXVECTOR3 axis(0.0f, 0.0f, 1.0f);
        D3DXQUATERNION q;
        D3DXQuaternionRotationAxis(&q, &axis, angle);
        return q;
    }

    float savedScale = 1.0f;
    float savedOffset = 0.0f;
};

TEST_F(MiniMap, TheWindowHalfSizeAndPictureFollowTheLevelNumber) {
    struct Case {
        int levelNumber;
        float scale;
        const char* picture;
    };
    const Case cases[] = {{5, 0.175f, "level3\\map.tga"}, {1, 0.0875f, "level1\\map.tga"},
                          {9, 0.07f, "level2\\map.tga"},  {0, 0.175f, nullptr},
                          {13, 0.175f, nullptr},          {-1, 0.175f, nullptr}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.levelNumber);
        level->levelNumber = c.levelNumber;
        CPSmartPtr<CPMiniMap> map(new CPMiniMap());
        map->Init(300.0f, 500.0f);
        EXPECT_EQ(map->mapScale, c.scale);
        float scale = 0.0f;
        const std::vector<std::string> textures = CPMiniMap::TexturesFor(c.levelNumber, scale);
        std::vector<std::string> expected{"mapblur.tga"};
        if (c.picture) expected.push_back(c.picture);
        expected.push_back("mapblur2.tga");
        EXPECT_EQ(textures, expected);
        // The larger extent serves both axes; the marker children start hidden.
        EXPECT_EQ(map->mapExtentX, 500.0f);
        EXPECT_EQ(map->mapExtentY, 500.0f);
        ASSERT_TRUE(map->hintArrow);
        ASSERT_TRUE(map->checkpointMarker);
        EXPECT_FALSE(map->hintArrow->IsVisible());
        EXPECT_FALSE(map->checkpointMarker->IsVisible());
    }
}

TEST_F(MiniMap, TheSquareShowsAWindowAroundTheRacerTurnedWithTheYaw) {
    CPMiniMap& map = *level->miniMap;
    map.mapScale = 0.0875f;
    map.mapExtentX = map.mapExtentY = 1000.0f;
    map.screenLeft = 10.0f;
    map.screenTop = 500.0f;
    level->mapZoom = 2.0f;
    const float s = 0.175f;
    // A yaw of -pi/2 leaves the picture unturned.
    map.Update(D3DXVECTOR3(100.0f, -200.0f, 7.0f), -kHalfPi);
    EXPECT_EQ(map.centreX, 600.0f);
    EXPECT_EQ(map.centreY, 300.0f);
    SPVertex vertices[4];
    std::uint16_t indices[6];
    map.FillVertices(vertices, indices, 40, 0);
    struct Expected {
        float x, y, tu, tv, tu1, tv1;
    };
    const Expected expected[4] = {{210.0f, 500.0f, 0.6f + s, 0.3f - s, 1.0f, 0.0f},
                                  {10.0f, 500.0f, 0.6f - s, 0.3f - s, 0.0f, 0.0f},
                                  {10.0f, 700.0f, 0.6f - s, 0.3f + s, 0.0f, 1.0f},
                                  {210.0f, 700.0f, 0.6f + s, 0.3f + s, 1.0f, 1.0f}};
    for (int i = 0; i < 4; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(vertices[i].x, expected[i].x);
        EXPECT_EQ(vertices[i].y, expected[i].y);
        EXPECT_EQ(vertices[i].z, 0.0f);
        EXPECT_NEAR(vertices[i].tu, expected[i].tu, 1e-5f);
        EXPECT_NEAR(vertices[i].tv, expected[i].tv, 1e-5f);
        EXPECT_EQ(vertices[i].tu1, expected[i].tu1);
        EXPECT_EQ(vertices[i].tv1, expected[i].tv1);
    }
    const std::uint16_t order[6] = {40, 41, 42, 40, 42, 43};
    for (int i = 0; i < 6; ++i) EXPECT_EQ(indices[i], order[i]);

    // A yaw of 0 turns the window a quarter turn: the corner (s, -s) lands on (s, s).
    map.Update(D3DXVECTOR3(100.0f, -200.0f, 7.0f), 0.0f);
    map.FillVertices(vertices, indices, 0, 0);
    EXPECT_NEAR(vertices[0].tu, 0.6f + s, 1e-5f);
    EXPECT_NEAR(vertices[0].tv, 0.3f + s, 1e-5f);
    EXPECT_NEAR(vertices[1].tu, 0.6f + s, 1e-5f);
    EXPECT_NEAR(vertices[1].tv, 0.3f - s, 1e-5f);
}

TEST_F(MiniMap, TheZoomOpensWithSpeedEasedByTheUncappedFrameTime) {
    struct Case {
        float speed;
        float after;
    };
    // From 3 with half a second: toward 1 at 5 or less, toward 10 at 50.
    const Case cases[] = {{0.0f, 2.0f}, {5.0f, 2.0f}, {50.0f, 6.5f}, {20.0f, 3.5f}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.speed);
        level->mapZoom = 3.0f;
        level->playerSpeed = c.speed;
        level->FeedRaceCamera(0.5f);
        EXPECT_NEAR(level->mapZoom, c.after, 1e-5f);
    }
}

TEST_F(MiniMap, OnlyTheFirstElevenOpponentsGetMarkers) {
    level->mapZoom = 1.0f;
    level->miniMap->mapScale = 0.175f;
    level->PrepareMapProjection();
    for (int i = 0; i < 12; ++i) {
        CPSmartPtr<CPPlayer> opponent(new CPPlayer());
        opponent->SetPosition(D3DXVECTOR3(static_cast<float>(i), 3.0f, 0.0f));
        opponent->UpdateTransform();
        level->WriteMapMarker(i, *opponent);
    }
    const auto& markers = gameData.Data().aiPositions;
    EXPECT_EQ(markers.size(), 11u);
    for (int i = 0; i < 11; ++i) {
        SCOPED_TRACE(i);
        auto it = markers.find(std::to_string(i));
        ASSERT_NE(it, markers.end());
        EXPECT_EQ(it->second.worldX, static_cast<float>(i));
        EXPECT_EQ(it->second.worldY, 3.0f);
    }
    EXPECT_FALSE(markers.contains("11"));
}

TEST_F(MiniMap, AMarkerSitsWhereTheOpponentIsSeenFromTheHumanWithItsTurn) {
    g_screenHeight = 768;
    human->SetPosition(D3DXVECTOR3(0.0f, 0.0f, 0.0f));
    human->SetRotation(Facing(1.0f, 0.0f));
    human->UpdateTransform();
    level->terrainExtentX = 500.0f;
    level->terrainExtentY = 1000.0f;
    level->mapZoom = 2.0f;
    level->miniMap->mapScale = 0.1f;
    // A target yaw of -pi/2 leaves the map unturned: world x to the right, y down.
    camera->SetTargetYaw(-kHalfPi);
    level->PrepareMapProjection();
    CPSmartPtr<CPPlayer> opponent(new CPPlayer());
    opponent->SetPosition(D3DXVECTOR3(20.0f, -10.0f, 5.0f));
    opponent->SetRotation(Facing(0.0f, 1.0f));
    opponent->UpdateTransform();
    level->WriteMapMarker(0, *opponent);
    const auto it = gameData.Data().aiPositions.find("0");
    ASSERT_NE(it, gameData.Data().aiPositions.end());
    // 100 pixels are 0.2 of the 1000-unit map: one unit is half a pixel.
    EXPECT_NEAR(it->second.screenX, 100.0f + 10.0f, 1e-3f);
    EXPECT_NEAR(it->second.screenY, 768.0f - 100.0f - 5.0f, 1e-3f);
    // Facing +y from a human facing +x: a left turn of a quarter.
    EXPECT_NEAR(it->second.angle, kHalfPi, 1e-4f);
    opponent->SetRotation(Facing(0.0f, -1.0f));
    opponent->UpdateTransform();
    level->WriteMapMarker(0, *opponent);
    EXPECT_NEAR(gameData.Data().aiPositions.find("0")->second.angle, -kHalfPi, 1e-4f);
}

TEST_F(MiniMap, CheckpointsWithinTwoHundredUnitsGetEntries) {
    human->SetPosition(D3DXVECTOR3(0.0f, 0.0f, 0.0f));
    human->SetRotation(Facing(1.0f, 0.0f));
    human->UpdateTransform();
    level->mapZoom = 1.0f;
    level->miniMap->mapScale = 0.175f;
    for (float distance : {50.0f, 199.9f, 200.0f, 350.0f}) {
        SPCheckpoint checkpoint;
        checkpoint.object = CPSmartPtr<CPGameObject>(new CPGameObject("cp"));
        checkpoint.object->SetPosition(D3DXVECTOR3(distance, 0.0f, 0.0f));
        // Turned so that its direction (-1, 0, 0) points along +y.
        checkpoint.object->SetRotation(Facing(-1.0f, 0.0f));
        checkpoint.object->UpdateTransform();
        level->checkpoints.push_back(checkpoint);
    }
    level->nextCheckpoint = 1;
    level->PrepareMapProjection();
    for (int k = -1; k <= 4; ++k) level->AddMapCheckpoint(k);
    ASSERT_EQ(level->mapCheckpoints.size(), 2u);
    EXPECT_FALSE(level->mapCheckpoints[0].next);
    EXPECT_TRUE(level->mapCheckpoints[1].next);
    // Checkpoint 0 is the finish while the next one is 0 or past half the list.
    EXPECT_FALSE(level->mapCheckpoints[0].finish);
    // A left quarter turn from the human's heading.
    EXPECT_NEAR(level->mapCheckpoints[0].angle, kHalfPi, 1e-4f);

    struct Case {
        int next;
        int finishIndex;
        float direction;
        bool firstIsFinish;
        bool secondIsFinish;
    };
    const Case cases[] = {{0, 0, 1.0f, true, false},
                          {3, 0, 1.0f, true, false},
                          {2, 0, 1.0f, false, false},
                          {2, 1, 1.0f, false, true},
                          {1, 1, -1.0f, false, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.next);
        level->mapCheckpoints.clear();
        level->nextCheckpoint = c.next;
        level->finishCheckpointIndex = c.finishIndex;
        level->checkpointDirection = c.direction;
        level->AddMapCheckpoint(0);
        level->AddMapCheckpoint(1);
        ASSERT_EQ(level->mapCheckpoints.size(), 2u);
        EXPECT_EQ(level->mapCheckpoints[0].finish, c.firstIsFinish);
        EXPECT_EQ(level->mapCheckpoints[1].finish, c.secondIsFinish);
    }
    // Backwards races turn the arrows by half a turn.
    level->mapCheckpoints.clear();
    level->checkpointDirection = -1.0f;
    level->AddMapCheckpoint(0);
    EXPECT_NEAR(level->mapCheckpoints[0].angle, kHalfPi + 3.1415927f, 1e-4f);
}

TEST_F(MiniMap, NotDrawnBeforeTheStartDuringATakedownOrAfterTheRace) {
    struct Case {
        bool active;
        bool takedown;
        bool over;
        bool shown;
    };
    const Case cases[] = {{true, false, false, true},
                          {false, false, false, false},
                          {true, true, false, false},
                          {true, false, true, false}};
    for (const Case& c : cases) {
        camera->active = c.active;
        camera->takedownOn = c.takedown;
        level->raceOver = c.over;
        EXPECT_EQ(level->IsMiniMapShown(), c.shown);
        // The map moves with the human either way.
        human->SetPosition(D3DXVECTOR3(4.0f, 5.0f, 0.0f));
        level->miniMap->mapExtentX = level->miniMap->mapExtentY = 100.0f;
        level->UpdateMiniMap(nullptr);
        EXPECT_EQ(level->miniMap->centreX, 54.0f);
        EXPECT_EQ(level->miniMap->centreY, 55.0f);
    }
}

TEST_F(MiniMap, TheMapTurnsWithTheCarInTheCarFixedViewElseWithTheCamera) {
    camera->SetTargetYaw(1.25f);
    level->humanCarYaw = -0.5f;
    level->cameraMode = 0;
    level->UpdateMiniMap(nullptr);
    EXPECT_EQ(level->miniMap->mapYaw, 1.25f);
    level->cameraMode = 2;
    level->UpdateMiniMap(nullptr);
    EXPECT_EQ(level->miniMap->mapYaw, -0.5f);
}

} // namespace
