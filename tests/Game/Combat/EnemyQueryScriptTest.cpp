// The enemy and computer-racer queries from scripts: the enemy-data table, where an enemy may
// appear and of which kind, the mission's enemy sources, the nearest racer of a side, the
// opponents' route positions, damage and mini-map markers.

#include <cmath>
#include <string>
#include <vector>

#include "Framework/PApplication.h"
#include "Framework/PSettings.h"
#include "Game/Combat/CombatFixture.h"
#include "Game/ScriptEnemyQueries.h"
#include "GameData/PGameData.h"
#include "Platform/System/Random.h"
#include "World/PLevel.h"
#include "World/PRaceCamera.h"
#include "World/PSpline.h"

namespace {

using kxcombat::Reports;
using kxcombat::ScriptWorld;
using kxcombat::Strings;

std::string Text(double value) {
    char text[64];
    std::snprintf(text, sizeof text, "%.14g", value);
    return text;
}

class EnemyQueries : public ScriptWorld {};

TEST_F(EnemyQueries, EnemyDataReadsTheTableAndEntersAMissingType) {
    EXPECT_EQ(Run("Report(GetEnemyData('grunt'))\n"
                  "Report(GetEnemyData('ghost'))\n"
                  "Report(pcall(GetEnemyData))\n"
                  "AddEnemy('grunt', 1, 2) AddEnemy()\n")
                  .size(),
              3u);
    EXPECT_EQ(Reports()[0], "10|b|2.5|a|c");
    EXPECT_EQ(Reports()[1], "0||0||");
    EXPECT_EQ(Reports()[2].rfind("false|", 0), 0u);
    EXPECT_EQ(EnemyData().count("ghost"), 1u);
}

TEST_F(EnemyQueries, WithoutALevel) {
    EXPECT_EQ(Run("Report(GetPlayerPosition())\n"
                  "Report(select('#', GetPositionForEnemy('any', 0, 'x', 10, 20)))\n"
                  "Report(select('#', GetEnemyType(1, true)), select('#', IsEnemySourceNear(true, '1')))\n"
                  "Report(GetAIPosition('0'))\n"
                  "Report(select('#', GetAIPositions()), select('#', GetPlayerMapPosition()))\n"
                  "Report(IsDarkLeft(), IsLightLeft())\n"
                  "Report(select('#', GetNearestSolvanePlayer(0, 0, 0, true)), "
                  "select('#', GetNearestUmbrakPlayer(0, 0, 0)))\n"
                  "Report(select('#', GetEnemiesCount()), select('#', GetAIDamage('bmw_i745')))\n"
                  "Report(GetEnemySplinePosition(0))\n"),
              (Strings{"0|0|0", "0", "0|0", "0|0|0", "0|0", "0|0", "0|0", "0|0", "0|0|0"}));
}

class LevelQueries : public ScriptWorld {
protected:
    void SetUp() override {
        kxtest::LevelFileWriter writer = kxtest::RaceFixture::RingLevel();
        writer.AddSpline(kxtest::RingSpline("path", 0.0f, 0.0f, 100.0f, 16));
        // Enemy sources around the player at the origin: one of each kind at 30 units, and two
        // on the ring's edges.
        writer.AddObject("src_light", 30.0f, 0.0f, 0.5f);
        writer.AddObject("src_dark", 0.0f, -30.0f, 0.5f);
        writer.AddObject("src_inner", 25.0f, 0.0f, 0.5f);
        writer.AddObject("src_outer", 0.0f, 40.0f, 0.5f);
        LoadLevel(writer);
        race.level->terrainExtentX = 200.0f;
        race.level->terrainExtentY = 200.0f;
        race.store.Write("Data/Levels/mission.txt", "1 0 0 0 wolf,100 0 none\n"
                                                    "2 0 0 0 grunt,30;wolf,70 0 none\n"
                                                    "sources\n"
                                                    "light 1 1 0 grunt,100\n"
                                                    "dark 1 0 0 wolf,100\n"
                                                    "inner 2 1 0 grunt,100\n"
                                                    "outer 2 1 0 grunt,100\n");
        ASSERT_TRUE(race.store->LoadMissionInfo("mission.txt", &race.level->namedPositions));
    }
};

TEST_F(LevelQueries, AFixedEnemyPositionIsMovedAndHeldInsideTheBorder) {
    EXPECT_EQ(Run("Report(GetPositionForEnemy('any', 0, 'x', 10, 20))\n"
                  "Report(GetPositionForEnemy('any', 0, 'x', 79, 20))\n"
                  "Report(GetPositionForEnemy('any', 0, 5, -82, 78))\n"
                  "Report(GetPositionForEnemy('any', 0, 5, -83, 78))\n"),
              (Strings{"true|12|22", "false|81|22", "true|-80|80", "false|-81|80"}));
}

// The border form of the random candidate with the generator seeded as the test seeds it.
D3DXVECTOR2 BorderCandidate(Platform::EngineRandom& random) {
    const float m = ScriptApi::kEnemyCandidateScale;
    const float h = m / 2.0f;
    float cx = 0.0f;
    float cy = 0.0f;
    if (random.Next() % 2 == 1) {
        cx = static_cast<float>(random.Next() % static_cast<int>(m)) - h;
        cy = random.Next() % 2 == 1 ? -h : h;
    } else {
        cy = static_cast<float>(random.Next() % static_cast<int>(m)) - h;
        cx = random.Next() % 2 == 1 ? -h : h;
    }
    return D3DXVECTOR2(cx, cy);
}

TEST_F(LevelQueries, ARandomEnemyPositionLiesOnTheSquareAroundAStandingPlayer) {
    for (std::uint32_t seed : {1u, 2u, 99u, 12345u}) {
        Platform::EngineSeed(seed);
        Run("Report(GetPositionForEnemy('any', 0))\n");
        Platform::EngineRandom random(seed);
        const D3DXVECTOR2 c = BorderCandidate(random);
        EXPECT_EQ(Reports(), (Strings{"true|" + Text(c.x) + "|" + Text(c.y)})) << seed;
        EXPECT_TRUE(std::fabs(c.x) == 30.0f || std::fabs(c.y) == 30.0f);
    }
}

TEST_F(LevelQueries, ARandomEnemyPositionMostlyLiesAheadOfAMovingCar) {
    race.level->playerSpeed = 10.0f;
    int ahead = 0;
    for (std::uint32_t seed = 1; seed <= 20; ++seed) {
        Platform::EngineSeed(seed);
        Run("local ok, x, y = GetPositionForEnemy('any', 0) Report(x, y)\n");
        Platform::EngineRandom random(seed);
        float x = 0.0f;
        float y = 0.0f;
        if (random.Next() % 5 > 0) {
            const int k = random.Next() % 15;
            D3DXVECTOR3 v(static_cast<float>(k) - 7.5f, -30.0f, 0.0f);
            D3DXVec3Normalize(&v, &v);
            x = v.x * 30.0f;
            y = v.y * 30.0f;
            ++ahead;
            // A car without a turn faces -y: the point lies 30 units that way.
            EXPECT_NEAR(std::sqrt(x * x + y * y), 30.0f, 1e-4f);
            EXPECT_LT(y, -25.0f);
        } else {
            const D3DXVECTOR2 c = BorderCandidate(random);
            x = c.x;
            y = c.y;
        }
        ASSERT_EQ(Reports().size(), 1u);
        const std::string report = Reports()[0];
        const float rx = std::stof(report.substr(0, report.find('|')));
        const float ry = std::stof(report.substr(report.find('|') + 1));
        EXPECT_NEAR(rx, x, 1e-4f) << seed;
        EXPECT_NEAR(ry, y, 1e-4f) << seed;
    }
    EXPECT_GT(ahead, 10);
}

TEST_F(LevelQueries, EnemyTypeComesFromASourceInTheRing) {
    Platform::EngineSeed(5);
    EXPECT_EQ(Run("Report(GetEnemyType(1, true))\n"
                  "Report(GetEnemyType('1', false))\n"),
              (Strings{"grunt|true|30|0", "wolf|true|0|-30"}));
}

TEST_F(LevelQueries, SourcesOnTheRingsEdgesDoNotCountAndTheCheckpointsKindsAreDrawn) {
    for (std::uint32_t seed : {3u, 4u, 8u}) {
        Platform::EngineSeed(seed);
        Run("Report(GetEnemyType(2, true))\n");
        Platform::EngineRandom random(seed);
        const std::string kind = random.Next() % 100 < 30 ? "grunt" : "wolf";
        EXPECT_EQ(Reports(), (Strings{kind + "|false|0|0"})) << seed;
    }
    // Checkpoint lines outside the mission draw from nothing.
    EXPECT_EQ(Run("Report(GetEnemyType(9, true)) Report(GetEnemyType(0, false)) Report(GetEnemyType())\n"),
              (Strings{"|false|0|0", "|false|0|0", "|false|0|0"}));
}

TEST_F(LevelQueries, IsEnemySourceNear) {
    EXPECT_EQ(Run("Report(IsEnemySourceNear(true, '1'), IsEnemySourceNear(false, '1'))\n"
                  "Report(IsEnemySourceNear(true, '2'), IsEnemySourceNear(false, '2'))\n"
                  "Report(IsEnemySourceNear(true, 'missing'), IsEnemySourceNear(true), IsEnemySourceNear())\n"
                  "Report(IsEnemySourceNear(true, 1))\n"),
              (Strings{"true|true", "false|false", "false|false|false", "true"}));
}

TEST_F(LevelQueries, PlayerPositionAndCounts) {
    human->SetPosition(1.0f, 2.0f, 3.0f);
    race.PlaceOpponent(D3DXVECTOR3(10.0f, 0.0f, 0.0f));
    race.PlaceOpponent(D3DXVECTOR3(20.0f, 0.0f, 0.0f));
    g_screenHeight = 600;
    EXPECT_EQ(Run("Report(GetPlayerPosition()) Report(GetEnemiesCount()) Report(GetPlayerMapPosition())\n"),
              (Strings{"1|2|3", "2", "132|452"}));
}

class Racers : public LevelQueries {
protected:
    CPSmartPtr<CPPlayer> Opponent(float x, float y, int flags, float damage = 0.0f, const std::string& name = "") {
        CPSmartPtr<CPPlayer> racer = race.PlaceOpponent(D3DXVECTOR3(x, y, 0.0f), flags);
        racer->damage = damage;
        racer->SetName(name);
        return racer;
    }
    // The reported racer as the opponent's index, "player" or "none".
    std::string Who(const std::string& call) {
        Run("local x, y, z, who, d = " + call +
            "\n"
            "if who == nil then Report('none') return end\n"
            "Report(PointerToString(who), x, y, d)\n");
        if (Reports().size() != 1) return "?";
        if (Reports()[0] == "none") return "none";
        const std::string handle = Reports()[0].substr(0, Reports()[0].find('|'));
        const std::string rest = Reports()[0].substr(Reports()[0].find('|'));
        if (handle == std::to_string(static_cast<int>(human->GetHandle()))) return "player" + rest;
        for (std::size_t i = 0; i < race.level->opponents.size(); ++i)
            if (handle == std::to_string(static_cast<int>(race.level->opponents[i]->GetHandle())))
                return std::to_string(i) + rest;
        return "?" + rest;
    }
};

TEST_F(Racers, OfTwoEquallyNearTheLaterWinsAndThePlayerOnlyWhenStrictlyNearer) {
    Opponent(10.0f, 0.0f, 1);
    Opponent(-10.0f, 0.0f, 1);
    Opponent(0.0f, 5.0f, 1, 100.0f); // out of the fight
    Opponent(0.0f, 6.0f, 2);         // the other side
    human->SetPosition(0.0f, 10.0f, 0.0f);
    human->SetFlags(1);
    EXPECT_EQ(Who("GetNearestSolvanePlayer(0, 0, 0)"), "1|-10|0|10");
    human->SetPosition(0.0f, 9.0f, 0.0f);
    EXPECT_EQ(Who("GetNearestSolvanePlayer(0, 0, 0)"), "player|0|9|9");
    human->SetFlags(0);
    EXPECT_EQ(Who("GetNearestSolvanePlayer(0, 0, 0)"), "1|-10|0|10");
    EXPECT_EQ(Who("GetNearestSolvanePlayer(0, 0, 20000)"), "none");
    EXPECT_EQ(Who("GetNearestUmbrakPlayer(0, 0, 0)"), "3|0|6|6");
}

TEST_F(Racers, TrafficAndTheFirstTwentyCountWithTheFourthArgument) {
    for (int i = 0; i < 5; ++i) Opponent(50.0f + i, 0.0f, 1);
    Opponent(3.0f, 0.0f, 4); // traffic, sixth
    Opponent(2.0f, 0.0f, 1); // light, seventh
    EXPECT_EQ(Who("GetNearestSolvanePlayer(0, 0, 0)"), "0|50|0|50");
    EXPECT_EQ(Who("GetNearestSolvanePlayer(0, 0, 0, true)"), "6|2|0|2");
    race.level->opponents.back()->SetFlags(0);
    EXPECT_EQ(Who("GetNearestSolvanePlayer(0, 0, 0, true)"), "5|3|0|3");
}

TEST_F(Racers, DarkAndLightLeftSeeOnlyTheFirstFiveStillInTheFight) {
    for (int i = 0; i < 5; ++i) Opponent(10.0f * i, 0.0f, 0);
    Opponent(60.0f, 0.0f, 2);
    EXPECT_EQ(Run("Report(IsDarkLeft(), IsLightLeft())\n"), (Strings{"0|0"}));
    race.level->opponents[4]->SetFlags(3);
    race.level->opponents[4]->damage = 100.0f;
    EXPECT_EQ(Run("Report(IsDarkLeft(), IsLightLeft())\n"), (Strings{"0|0"}));
    race.level->opponents[4]->damage = 99.5f;
    EXPECT_EQ(Run("Report(IsDarkLeft(), IsLightLeft())\n"), (Strings{"1|1"}));
}

TEST_F(Racers, AIDamageFindsTheRacerOfTheCarName) {
    Opponent(10.0f, 0.0f, 0, 5.0f, "uaz");
    Opponent(20.0f, 0.0f, 0, 42.0f, "bmw");
    Opponent(30.0f, 0.0f, 0, 60.0f, "bmw");
    Opponent(40.0f, 0.0f, 0, 7.0f, "custom");
    human->SetName("zil_130_");
    human->damage = 99.0f;
    EXPECT_EQ(Run("Report(GetAIDamage('bmw_i745'), GetAIDamage('uaz_469'), GetAIDamage('custom'))\n"
                  "Report(GetAIDamage('bmw'), GetAIDamage('zil_130'), GetAIDamage())\n"),
              (Strings{"42|5|7", "42|0|0"}));
}

TEST_F(Racers, SplinePositionIsMeasuredAgainOnlyOnTheOpponentsFrame) {
    for (int i = 0; i < 3; ++i) Opponent(100.0f, 0.0f, 0);
    CPPlayer& third = *race.level->opponents[2];
    third.SetPosition(0.0f, 100.0f, 0.0f);
    third.splineDistance = 50.0f;
    const CPSpline& path = *race.level->path;

    race.level->frameCounter = 1;
    D3DXVECTOR3 point(0.0f, 0.0f, 0.0f);
    D3DXVECTOR3 direction(0.0f, 0.0f, 0.0f);
    const int segment = path.GetPointAtDistance(50.0f, point, direction);
    EXPECT_EQ(Run("Report(GetEnemySplinePosition(2))\n"),
              (Strings{Text(point.x) + "|" + Text(point.y) + "|" + Text(point.z)}));
    EXPECT_EQ(third.splineDistance, 50.0f);
    EXPECT_EQ(third.splineSegment, segment);

    race.level->frameCounter = 2;
    float d = 0.0f;
    path.GetDistanceAtPoint(third.GetPosition(), d, 25.0f);
    ASSERT_NE(d, 50.0f);
    path.GetPointAtDistance(d, point, direction);
    EXPECT_EQ(Run("Report(GetEnemySplinePosition(2))\n"),
              (Strings{Text(point.x) + "|" + Text(point.y) + "|" + Text(point.z)}));
    EXPECT_EQ(third.splineDistance, d);
    // An index outside the opponents answers the origin.
    EXPECT_EQ(Run("Report(GetEnemySplinePosition(3)) Report(GetEnemySplinePosition(-1))\n"),
              (Strings{"0|0|0", "0|0|0"}));
}

class MapMarkers : public LevelQueries {
protected:
    void SetUp() override {
        LevelQueries::SetUp();
        oldScale = g_interfaceScale;
        oldOffset = g_interfaceOffsetX;
        oldHeight = g_screenHeight;
        g_interfaceScale = 1.0f;
        g_interfaceOffsetX = 0.0f;
        g_screenHeight = 768;
        ASSERT_TRUE(race.level->miniMap);
        race.level->miniMap->mapScale = 2.0f;
        race.level->mapZoom = 0.5f;
        // Facing -y: the map turns by nothing.
        race.level->GetCamera()->SetTargetYaw(-1.5707963f);
    }
    void TearDown() override {
        g_interfaceScale = oldScale;
        g_interfaceOffsetX = oldOffset;
        g_screenHeight = oldHeight;
    }
    float oldScale = 1.0f;
    float oldOffset = 0.0f;
    int oldHeight = 0;
};

const char* const kShowPositions = "local n, t = GetAIPositions()\n"
                                   "local out = {}\n"
                                   "for i = 1, #t do out[#out + 1] = string.format('%.3f', tonumber(t[i]) or -1) "
                                   "if type(t[i]) == 'boolean' then out[#out] = tostring(t[i]) end end\n"
                                   "Report(n, table.concat(out, ','))\n";

TEST_F(MapMarkers, ATimeModeObjectShowsOnlyNearThePlayer) {
    race.level->timeModeObject = CPSmartPtr<CPGameObject>(new CPGameObject("ghost"));
    race.level->timeModeObject->SetPosition(50.0f, 0.0f, 0.0f);
    // 50 units of a 200-unit level are 25 map units.
    EXPECT_EQ(Run(kShowPositions), (Strings{"3|165.000,668.000,false"}));
    race.level->timeModeObject->SetPosition(250.0f, 0.0f, 0.0f);
    EXPECT_EQ(Run(kShowPositions), (Strings{"0|"}));
}

TEST_F(MapMarkers, OpponentMarkersComeInTheStoresOrder) {
    CPGameData& data = race.store.Data();
    data.SetMapMarker("0", 20.0f, 0.0f, 0.5f, 0.0f, 0.0f);
    data.SetMapMarker("1", 0.0f, 40.0f, 1.5f, 0.0f, 0.0f);
    data.SetMapMarker("10", -40.0f, 0.0f, 2.5f, 0.0f, 0.0f);
    std::string expected;
    for (const auto& [key, marker] : data.aiPositions) {
        char text[128];
        std::snprintf(text, sizeof text, "%.3f,%.3f,%.3f,false", 140.0f + marker.worldX * 0.5f,
                      668.0f + marker.worldY * 0.5f, marker.angle);
        expected += (expected.empty() ? "" : ",") + std::string(text);
    }
    EXPECT_EQ(Run(kShowPositions), (Strings{"12|" + expected}));

    // The camera turned a quarter: a point ahead (+x) of the eye shows above the player.
    race.level->GetCamera()->SetTargetYaw(0.0f);
    data.aiPositions.clear();
    data.SetMapMarker("0", 20.0f, 0.0f, 0.5f, 0.0f, 0.0f);
    EXPECT_EQ(Run(kShowPositions), (Strings{"4|140.000,658.000,0.500,false"}));
}

TEST_F(MapMarkers, AMarkerKeyGivesItsScreenPlace) {
    race.store->SetMapMarker("3", 1.0f, 2.0f, 0.25f, 30.0f, 40.0f);
    EXPECT_EQ(Run("Report(GetAIPosition('3')) Report(GetAIPosition(3)) Report(GetAIPosition('4'))\n"
                  "Report(GetAIPosition())\n"),
              (Strings{"30|40|0.25", "30|40|0.25", "0|0|0", "0|0|0"}));
}

} // namespace
