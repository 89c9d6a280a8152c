// What the lower layers see of the level through the interfaces the race world installs: the
// renderer's view, the planar shadow and the lens-flare pools.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Framework/StartupRegistry.h"
#include "Platform/Math/D3DXMath.h"
#include "Render/PPerspectiveCamera.h"
#include "Render/PPlanarShadowSource.h"
#include "Render/PRenderSeams.h"
#include "Scene/SceneInterfaces.h"
#include "World/PLevel.h"
#include "World/PRaceCamera.h"
#include "World/RaceWorldStartup.h"
#include "support/RaceFixture.h"

namespace {

using kxtest::RaceFixture;

// An overlay that counts its references.
class CountedOverlay final : public IPLensFlareOverlay {
public:
    void AddRef() override { ++references; }
    void Release() override { --references; }
    void SetSourcePosition(int, int) override {}
    void SetScale(float) override {}
    void SetAlpha(unsigned char) override {}
    void SetFlareVisible(bool) override {}
    void Render() override {}
    int references = 0;
};

class InstalledRaceWorld : public ::testing::Test {
protected:
    void SetUp() override { InstallRaceWorld(registry); }
    void TearDown() override {
        SetRaceWorld(nullptr);
        SetPlanarShadowSource(nullptr);
        SetPhysicDataMaker(nullptr);
    }
    SPStartupRegistry registry;
};

TEST_F(InstalledRaceWorld, WithoutALevelEveryAnswerIsNone) {
    ASSERT_TRUE(registry.createAITask);
    IPRaceWorld& world = GetRaceWorld();
    EXPECT_FALSE(world.HasLevel());
    EXPECT_EQ(world.GetViewCamera(), nullptr);
    EXPECT_EQ(world.GetFarCamera(), nullptr);
    SPTerrainView terrain;
    EXPECT_FALSE(world.GetTerrain(terrain));
    EXPECT_EQ(world.GetSunLight(), nullptr);
    world.AddSunLight();
    world.AddFlareSource(SPFlareSource{});
    float velocity[4] = {1, 1, 1, 1};
    EXPECT_FALSE(world.GetHumanVelocity(velocity));
    EXPECT_EQ(GetPlanarShadowMatrix(), nullptr);
    EXPECT_EQ(GetLensFlarePoolSink(), nullptr);
}

TEST_F(InstalledRaceWorld, TheDriverTaskComesFromTheRegistry) {
    CPSmartPtr<IPTask> task = registry.createAITask();
    ASSERT_TRUE(task);
    EXPECT_EQ(task->GetClassName(), "AI_Task");
    EXPECT_EQ(AI_Task::GetInstance(), task.Get());
    EXPECT_EQ(AI_Task::GetInstance()->racerDrivers.size(), 12u);
}

TEST_F(InstalledRaceWorld, ALoadedLevelAnswers) {
    RaceFixture race;
    ASSERT_TRUE(race.Load(RaceFixture::RingLevel()));
    CPLevel& level = *race.level;
    IPRaceWorld& world = GetRaceWorld();
    EXPECT_TRUE(world.HasLevel());
    EXPECT_EQ(world.GetViewCamera(), level.camera->GetViewCamera().Get());
    EXPECT_EQ(world.GetFarCamera(), level.camera->GetFarCamera().Get());
    SPTerrainView terrain;
    ASSERT_TRUE(world.GetTerrain(terrain));
    EXPECT_EQ(terrain.triangleCount, race.road.TriangleCount());
    EXPECT_EQ(terrain.vertexCount, race.road.VertexCount());
    EXPECT_EQ(world.GetSunLight(), &level.sunLight);

    SPFlareSource source;
    source.name = "sun";
    source.intensity = 7;
    world.AddFlareSource(source);
    world.AddFlareSource(source);
    ASSERT_EQ(level.lightSources["sun"].size(), 2u);
    EXPECT_EQ(level.lightSources["sun"][1].intensity, 7);

    float velocity[4] = {1, 1, 1, 1};
    CPSmartPtr<CPPlayer> loaded = level.humanRacer;
    level.humanRacer = nullptr;
    EXPECT_FALSE(world.GetHumanVelocity(velocity)) << "no human racer";
    level.humanRacer = loaded;
    race.PlaceHuman(D3DXVECTOR3(100, 0, 0));
    EXPECT_TRUE(world.GetHumanVelocity(velocity));
    EXPECT_EQ(velocity[0], 0.0f) << "no car: standing still";

    // The planar shadow on the plane half a unit above the ground, from straight above.
    const D3DXMATRIX* shadow = GetPlanarShadowMatrix();
    ASSERT_NE(shadow, nullptr);
    D3DXMATRIX expected;
    const D3DXVECTOR4 light(0.0f, 0.0f, -1.0f, 0.0f);
    const D3DXPLANE plane(0.0f, 0.0f, -1.0f, 0.5f);
    D3DXMatrixShadow(&expected, &light, &plane);
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) EXPECT_FLOAT_EQ((*shadow)(r, c), expected(r, c)) << r << c;
    D3DXVECTOR3 p(3.0f, 4.0f, 9.0f);
    D3DXVec3TransformCoord(&p, &p, shadow);
    EXPECT_NEAR(p.z, 0.5f, 1e-5f);
    EXPECT_NEAR(p.x, 3.0f, 1e-5f);
}

TEST_F(InstalledRaceWorld, PoolsLiveAndDieWithTheLevel) {
    CountedOverlay overlay;
    {
        RaceFixture race;
        ASSERT_TRUE(race.Load(RaceFixture::RingLevel()));
        IPLensFlarePoolSink* sink = GetLensFlarePoolSink();
        ASSERT_EQ(sink, race.level);
        EXPECT_FALSE(sink->HasPool("lamp"));
        std::vector<CPSmartPtr<IPLensFlareOverlay>> pool;
        for (int i = 0; i < 24; ++i) pool.push_back(CPSmartPtr<IPLensFlareOverlay>(&overlay));
        sink->AddPool("lamp", std::move(pool));
        EXPECT_TRUE(sink->HasPool("lamp"));
        EXPECT_EQ(overlay.references, 24);
        EXPECT_EQ(race.level->flareGroups["lamp"].size(), 24u);
    }
    EXPECT_EQ(overlay.references, 0);
    EXPECT_EQ(GetLensFlarePoolSink(), nullptr);
}

} // namespace
