// The route, checkpoint, impulse and tuning-key functions on a fixture level loaded by the real
// loader: a ring route "path" of radius 100 about the origin, checkpoints near the human racer
// and far from it, checkpoint hints, and racers with cars in the level's physics world.

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>

#include "Game/LuaHarness.h"
#include "Game/ScriptApi.h"
#include "Platform/Math/D3DXMath.h"
#include "Render/PRender.h"
#include "Script/ScriptBinding.h"
#include "World/PCar.h"
#include "World/PLevel.h"
#include "World/PPhysicData.h"
#include "World/PPhysics.h"
#include "World/PPlayer.h"
#include "support/RaceFixture.h"

namespace {

constexpr float kTwoPi = 6.2831853f;

class RouteTest : public ::testing::Test {
protected:
    void SetUp() override {
        race.models["hint.rdf"] = [] { return kxtest::MakeBoxObject("hint"); };
        kxtest::LevelFileWriter writer = kxtest::RaceFixture::RingLevel();
        writer.AddSpline(kxtest::RingSpline("path", 0.0f, 0.0f, 100.0f, 16));
        writer.AddObject("checkpoint1", 100.0f, 10.0f, 0.0f);
        writer.AddObject("checkpoint2", -100.0f, 0.0f, 0.0f);
        writer.AddObject("checkpoint3", 100.0f, -30.0f, 0.0f);
        writer.AddObject("chk1_hint", 0.0f, 100.0f, 0.0f);
        ASSERT_TRUE(race.Load(writer, "level5"));
        level = race.level;
        human = CarRacer(D3DXVECTOR3(100.0f, 0.0f, 1.0f));
        human->isHuman = true;
        level->humanRacer = human;
        level->player = human.Get();
        lua = std::make_unique<kxtest::LuaHarness>(
            [](Script::ScriptFunctionTables& tables) { ScriptApi::InstallScriptApi(tables); });
    }
    void TearDown() override {
        lua.reset();
        if (level) {
            level->player = nullptr;
            level->humanRacer = nullptr;
            level->opponents.clear();
        }
        racers.clear();
    }

    // A racer with a body in the level's physics world and a car.
    CPSmartPtr<CPPlayer> CarRacer(const D3DXVECTOR3& position, int flags = 0) {
        CPSmartPtr<CPPlayer> racer = kxtest::MakeCarRacer(*race.physics, position, flags, false);
        racers.push_back(racer);
        return racer;
    }
    RbRigidBody* Body(const CPPlayer& racer) {
        auto* data = dynamic_cast<CPPhysicData*>(racer.GetPhysicData().Get());
        return data ? data->GetRigidBody() : nullptr;
    }
    D3DXVECTOR3 Momentum(const CPPlayer& racer) {
        RbRigidBody* body = Body(racer);
        if (!body) return D3DXVECTOR3(0.0f, 0.0f, 0.0f);
        const RbVector v = body->GetVelocity();
        return D3DXVECTOR3(v.x, v.y, v.z) * body->GetMass();
    }
    void Give(const char* name, IPMMObject* object) {
        lua_pushlightuserdata(lua->L, Script::HandleToUserdata(object ? object->GetHandle() : 0));
        lua_setglobal(lua->L, name);
    }
    std::string Eval(const std::string& call) { return lua->Eval(call); }

    kxtest::RaceFixture race;
    CPLevel* level = nullptr;
    CPSmartPtr<CPPlayer> human;
    std::vector<CPSmartPtr<CPPlayer>> racers;
    std::unique_ptr<kxtest::LuaHarness> lua;
};

TEST_F(RouteTest, LinePointsCountFromTheFirstPiece) {
    CPLine* first = level->path->GetFirstLine();
    ASSERT_NE(first, nullptr);
    char expected[96];
    std::snprintf(expected, sizeof expected, "%.14g %.14g %.14g", first->centre.x, first->centre.y, first->centre.z);
    for (const char* n : {"0", "-3", "nil", "0/0", "-1e300"})
        EXPECT_EQ(Eval(std::string("GetSplineLinePoint(") + n + ")"), expected) << n;
    CPLine* third = first->next->next;
    std::snprintf(expected, sizeof expected, "%.14g %.14g %.14g", third->centre.x, third->centre.y, third->centre.z);
    EXPECT_EQ(Eval("GetSplineLinePoint(2.9)"), expected);
    // A whole number of turns round the ring lands where it started, however large.
    const int count = level->path->GetLineCount();
    EXPECT_EQ(Eval("GetSplineLinePoint(" + std::to_string(count * 1000 + 2) + ")"), expected);
    EXPECT_EQ(Eval("GetSplineLinePoint(1e300) ~= nil"), "true");
    EXPECT_EQ(Eval("GetSplineLineCount()"), "1");
}

TEST_F(RouteTest, ClosestLineCenterSkipsTheFirstPieceAndFarPoints) {
    CPLine* first = level->path->GetFirstLine();
    EXPECT_EQ(Eval("GetClosestLineCenter(1000, 1000, 0, 0)"), "");
    EXPECT_EQ(Eval("GetClosestLineCenter(0, 0, 0, 0)"), "");
    // Just beyond the first piece, away from its neighbours: within 20 of the first piece only.
    D3DXVECTOR3 outward(first->centre.x, first->centre.y, 0.0f);
    D3DXVec3Normalize(&outward, &outward);
    const D3DXVECTOR3 along = first->next->centre - first->previous->centre;
    auto onlyFirst = [&](const D3DXVECTOR3& p) {
        for (CPLine* line = first->next; line != first; line = line->next)
            if (std::hypot(p.x - line->centre.x, p.y - line->centre.y) < 20.0f) return false;
        return std::hypot(p.x - first->centre.x, p.y - first->centre.y) < 20.0f;
    };
    // A point out from the first piece, shifted along the route until no other piece is near.
    D3DXVECTOR3 out = first->centre;
    bool found = false;
    for (float shift = -0.5f; shift <= 0.5f && !found; shift += 0.02f) {
        out = first->centre + outward * 19.5f + along * (shift / D3DXVec3Length(&along) * 10.0f);
        found = onlyFirst(out);
    }
    ASSERT_TRUE(found);
    lua->Run("x, y = " + std::to_string(out.x) + ", " + std::to_string(out.y));
    EXPECT_EQ(Eval("GetClosestLineCenter(x, y, 0, 0)"), "");

    CPLine* second = first->next;
    lua->Run("x, y = " + std::to_string(second->centre.x) + ", " + std::to_string(second->centre.y));
    lua->Run("cx, cy, half, angle = GetClosestLineCenter(x, y, 0, 0)");
    EXPECT_EQ(Eval("half"), "0.5");
    EXPECT_EQ(Eval("math.abs(cx - x) < 1e-3 and math.abs(cy - y) < 1e-3"), "true");
    // A negative offset moves along "next", a positive one along "previous".
    lua->Run("nx, ny = GetClosestLineCenter(x, y, 0, -1) px, py = GetClosestLineCenter(x, y, 0, 1)");
    EXPECT_NEAR(std::stof(Eval("nx")), second->next->centre.x, 1e-3f);
    EXPECT_NEAR(std::stof(Eval("px")), first->centre.x, 1e-3f);
    EXPECT_EQ(Eval("GetClosestLineCenter(x, y, 0, 1e300) ~= nil"), "true");
}

TEST_F(RouteTest, PlayerSplineAngleStaysWithinATurnAndFollowsANewLevel) {
    const D3DXVECTOR3 places[] = {{100.0f, 0.0f, 1.0f},
                                  {0.0f, 100.0f, 1.0f},
                                  {-100.0f, 0.0f, 1.0f},
                                  {0.0f, -100.0f, 1.0f},
                                  {70.7f, -70.7f, 1.0f}};
    for (const D3DXVECTOR3& p : places) {
        human->SetPosition(p);
        for (const char* reseed : {"", "true", "false"}) {
            lua->Run(std::string("yaw, heading = GetPlayerSplineAngle(") + reseed + ")");
            EXPECT_EQ(Eval("heading >= 0 and heading <= 2 * math.pi"), "true") << p.x << "," << p.y;
        }
    }
    level->trackYaw = 1.25f;
    EXPECT_EQ(Eval("GetPlayerSplineAngle() == 1.25"), "true");

    // A new level: the shared hint from the old route is not used again.
    kxtest::LevelFileWriter writer = kxtest::RaceFixture::RingLevel();
    writer.AddSpline(kxtest::RingSpline("path", 500.0f, 0.0f, 60.0f, 12));
    human->SetPosition(D3DXVECTOR3(560.0f, 0.0f, 1.0f));
    level->player = nullptr;
    level->humanRacer = nullptr;
    ASSERT_TRUE(race.Load(writer, "level6"));
    level = race.level;
    level->player = human.Get();
    EXPECT_EQ(Eval("select(2, GetPlayerSplineAngle()) <= 2 * math.pi"), "true");
    level->player = nullptr;
    EXPECT_EQ(Eval("GetPlayerSplineAngle()"), "");
}

TEST_F(RouteTest, CheckpointMarkersNearThePlayer) {
    ASSERT_EQ(level->checkpoints.size(), 3u);
    lua->Run("n, t = GetChekpointPositions()");
    EXPECT_EQ(Eval("n"), "10");
    EXPECT_EQ(Eval("#t"), "10");
    EXPECT_EQ(Eval("t[4] + t[9]"), "1");

    human->SetPosition(D3DXVECTOR3(0.0f, 400.0f, 1.0f));
    EXPECT_EQ(Eval("GetChekpointPositions()"), "0 {}");
    level->player = nullptr;
    EXPECT_EQ(Eval("GetChekpointPositions()"), "");
}

TEST_F(RouteTest, MapCheckpointEntriesAndTheirRange) {
    level->mapCheckpoints.resize(2);
    level->mapCheckpoints[1] = SPMapCheckpoint{10.0f, 20.0f, 0.5f, true, false};
    EXPECT_EQ(Eval("GetMapCheckPointsCount()"), "2");
    EXPECT_EQ(Eval("GetMapCheckPoint(1)"), "10 20 0.5 true false");
    for (const char* index : {"2", "-1", "1e300", "-1e300"})
        EXPECT_EQ(Eval(std::string("GetMapCheckPoint(") + index + ")"), "") << index;
    EXPECT_EQ(Eval("GetMapCheckPoint(0)"), "0 0 0 false false");
}

TEST_F(RouteTest, ThrowPlayerLiftsOnlyLightSideRacers) {
    CPSmartPtr<CPPlayer> dark = CarRacer(D3DXVECTOR3(0.0f, 50.0f, 1.0f), 2);
    CPSmartPtr<CPPlayer> light = CarRacer(D3DXVECTOR3(0.0f, -50.0f, 1.0f), 1);
    Give("dark", dark.Get());
    Give("light", light.Get());
    lua->Run("ThrowPlayer(dark) ThrowPlayer(light)");
    EXPECT_FLOAT_EQ(Momentum(*dark).z, 0.0f);
    EXPECT_NEAR(Momentum(*light).z, 62.5f * Body(*light)->GetMass(), 1e-2f);
    for (const char* call : {"ThrowPlayer(nil)", "ThrowPlayer(1)", "ThrowPlayer(GetPlayerDirection)"})
        EXPECT_EQ(Eval(call), "") << call;
}

TEST_F(RouteTest, CheckIntersectionWithRadiusZeroPushesOnlyARacerOnThePoint) {
    CPSmartPtr<CPPlayer> onPoint = CarRacer(D3DXVECTOR3(20.0f, 20.0f, 1.0f), 2);
    CPSmartPtr<CPPlayer> beside = CarRacer(D3DXVECTOR3(20.5f, 20.0f, 1.0f), 2);
    level->opponents = {onPoint, beside};
    // Moving along +x: the push is against the motion.
    for (CPPlayer* racer : {onPoint.Get(), beside.Get()}) Body(*racer)->SetVelocity(RbVec(3.0f, 0.0f, 0.0f));
    // One physics step hands the bodies' velocities to the cars.
    race.physics->GetSimulator()->Advance(1.0f / 60.0f, 1, nullptr);
    ASSERT_GT(static_cast<CPCar*>(onPoint->GetCar())->GetVelocity().x, 1.0f);
    const D3DXVECTOR3 before = Momentum(*beside);
    lua->Run("CheckIntersection(20, 20, 0, 0)");
    EXPECT_EQ(Momentum(*beside), before);
    EXPECT_LT(Momentum(*onPoint).x, before.x);
}

TEST_F(RouteTest, ImpulsesPushThePlayerAndRefuseValuesThatAreNotFinite) {
    lua->Run("PlayerApplyImpulse(0, 0, 100)");
    EXPECT_NEAR(Momentum(*human).z, 100.0f, 1e-2f);
    lua->Run("PlayerApplyImpulse(100, 0, 1, 0, 0, 50)");
    EXPECT_NEAR(Momentum(*human).z, 150.0f, 1e-2f);
    for (const char* call : {"PlayerApplyImpulse(0/0, 0, 1)", "PlayerApplyImpulse(1/0, 0, 0)",
                             "PlayerApplyImpulse(0, 0, 0, 0, 0, -1/0)", "ApplyImpulse(player, 0/0, 0, 0)"}) {
        Give("player", human.Get());
        lua->Run(call);
        const D3DXVECTOR3 m = Momentum(*human);
        EXPECT_TRUE(std::isfinite(m.x) && std::isfinite(m.y) && std::isfinite(m.z)) << call;
    }
    Give("player", human.Get());
    lua->Run("ApplyImpulse(player, 0, 0, -150)");
    EXPECT_NEAR(Momentum(*human).z, 0.0f, 1e-2f);
    lua->Run("Jump(player, 0, 0, 20)");
    EXPECT_NEAR(Momentum(*human).z, 20.0f, 1e-2f);
}

TEST_F(RouteTest, TuningKeysStepTheIndexAndTheSelectedCarValue) {
    CPSmartPtr<CPRender> render(new CPRender());
    EXPECT_EQ(render->tuningIndex, 0);
    lua->Run("Pup()");
    EXPECT_EQ(render->tuningIndex, 0);
    for (int i = 0; i < 30; ++i) lua->Run("Pdown()");
    EXPECT_EQ(render->tuningIndex, 18);

    CPCar& car = *static_cast<CPCar*>(human->GetCar());
    render->tuningIndex = 8;
    const float damping = car.Description().damping;
    lua->Run("Pleft()");
    EXPECT_FLOAT_EQ(car.Description().damping, damping - 10.0f);
    lua->Run("Pright() Pright()");
    EXPECT_FLOAT_EQ(car.Description().damping, damping + 10.0f);
    render->tuningIndex = 16;
    const float brake = car.Description().brakeAcceleration;
    lua->Run("Pright()");
    EXPECT_FLOAT_EQ(car.Description().brakeAcceleration, brake + 0.1f);
    // An index set out of range elsewhere is held to the table.
    render->tuningIndex = 400;
    const float pitch = car.Description().pitchInertion;
    lua->Run("Pright()");
    EXPECT_FLOAT_EQ(car.Description().pitchInertion, pitch + 0.05f);

    level->player = nullptr;
    EXPECT_EQ(Eval("Pleft()"), "");
}

TEST_F(RouteTest, PlayerSplinePositionDirectionAndLevelSize) {
    lua->Run("x, y, z = GetPlayerSplinePosition()");
    EXPECT_EQ(Eval("math.abs(x - 100) < 5 and math.abs(y) < 15"), "true");
    EXPECT_EQ(Eval("GetPlayerDirection()"), "0 -1 0");
    Give("racer", human.Get());
    EXPECT_EQ(Eval("GetPlayerDirectionAI(racer)"), "0 -1 0");
    EXPECT_EQ(Eval("GetPlayerDirectionAI(nil)"), "");
    EXPECT_EQ(Eval("IsPlayerMoveForward()"), "true");
    EXPECT_EQ(Eval("GetLevelSize()"), std::to_string(static_cast<int>(level->terrainExtentX)) + " " +
                                          std::to_string(static_cast<int>(level->terrainExtentY)));
    level->player = nullptr;
    EXPECT_EQ(Eval("GetPlayerSplinePosition()"), "0 0 0");
}

TEST_F(RouteTest, ChangeCheckpointPositionMovesTheShownHint) {
    EXPECT_EQ(Eval("ChangeCheckpointPosition(5, 6)"), "");
    ASSERT_FALSE(level->checkpointHints.empty());
    level->hintCursor = level->checkpointHints.begin();
    lua->Run("ShowCheckPoint() ChangeCheckpointPosition(5, 6)");
    ASSERT_TRUE(level->shownHint);
    EXPECT_EQ(level->shownHint->GetPosition(), D3DXVECTOR3(5.0f, 6.0f, 0.0f));
    lua->Run("ChangeCheckpointPosition(0/0, 1)");
    EXPECT_EQ(level->shownHint->GetPosition(), D3DXVECTOR3(5.0f, 6.0f, 0.0f));
}

} // namespace
