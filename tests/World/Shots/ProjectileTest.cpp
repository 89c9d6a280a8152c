// The shot table's kind: projectiles that fly, fall, hit and end, effects that hurt what is
// near them once, the table read when the manager starts, and the manager's place at start-up.
#include <gtest/gtest.h>

#include "Framework/StartupRegistry.h"
#include "Scene/PAnimationLibrary.h"
#include "Scene/SceneInterfaces.h"
#include "ShotsFixture.h"
#include "World/PEnemy.h"
#include "World/PProjectileShot.h"
#include "World/PWorldTables.h"
#include "World/RaceWorldStartup.h"

namespace {

using kxshots::Near;
using kxshots::ShotWorld;

// name; kind; model; speed; lifetime; gravity; damage; radius; impact; launch particles and
// count; end particles and count; sound.
const char* const kShots = "// the test's shots\n"
                           "bullet;projectile;none;100;2;0;7.5;0;spark;none;0;none;0;none\n"
                           "lob;projectile;none;10;5;1;1;0;spark;none;0;none;0;none\n"
                           "spark;effect;none;0;0.25;0;0;0;none;none;0;none;0;none\n"
                           "blast;effect;none;0;0.5;0;3;5;none;none;0;none;0;none,2d\n";

class ProjectileTest : public ShotWorld {
protected:
    void SetUp() override {
        root.Write("Data/shots.dat", kShots);
        ASSERT_TRUE(manager->Start());
    }
};

TEST_F(ProjectileTest, TheTableMakesOnePoolPerLine) {
    EXPECT_EQ(manager->GetPoolCount(), 4u);
    for (const char* name : {"bullet", "lob", "spark", "blast"}) {
        const auto* pool = manager->FindPool(name);
        ASSERT_NE(pool, nullptr) << name;
        ASSERT_EQ(pool->size(), 1u) << name;
        auto* prototype = dynamic_cast<CPProjectileShot*>(pool->front().Get());
        ASSERT_NE(prototype, nullptr) << name;
        EXPECT_EQ(prototype->GetShotName(), name);
        EXPECT_FALSE(prototype->IsInScene());
    }
    const auto* blast = dynamic_cast<CPProjectileShot*>(manager->FindPool("blast")->front().Get());
    EXPECT_FALSE(blast->GetRecord().projectile);
    EXPECT_EQ(blast->GetSoundFile(), "none");
}

TEST_F(ProjectileTest, AMissingTableLeavesNoPoolsAndTheManagerRuns) {
    CPSmartPtr<CPShotManager> empty(new CPShotManager());
    kxtest::TempGameRoot other;
    EXPECT_TRUE(empty->Start());
    EXPECT_EQ(empty->GetPoolCount(), 0u);
    EXPECT_TRUE(Logged("shots.dat"));
    EXPECT_FALSE(empty->Spawn("bullet", D3DXVECTOR3(0, 0, 0), D3DXVECTOR3(0, -1, 0), 1.0f));
    empty = nullptr;
}

TEST_F(ProjectileTest, AHitDamagesTheOwnerWithTheTablesAmountAndSpawnsTheImpact) {
    CPSmartPtr<CPPlayer> racer = Racer(D3DXVECTOR3(0, -20, 1), true);
    CPSmartPtr<CPGameObject> launcher = Target("launcher", D3DXVECTOR3(0, 0, 1));
    CPSmartPtr<CPShot> bullet = manager->Spawn("bullet", D3DXVECTOR3(0, 0, 1), D3DXVECTOR3(0, -1, 0), 0.0f, launcher);
    ASSERT_TRUE(bullet);
    // Launched into the scene at the launch point, turned along its flight.
    EXPECT_TRUE(bullet->IsInScene());
    EXPECT_TRUE(Near(bullet->GetPosition(), D3DXVECTOR3(0, 0, 1)));
    // A launch speed not above 0 takes the table's.
    const auto* projectile = dynamic_cast<CPProjectileShot*>(bullet.Get());
    EXPECT_TRUE(Near(projectile->GetVelocity(), D3DXVECTOR3(0, -100, 0)));

    // 5 units a frame: the box's face at y = -19 is reached in the fourth frame.
    Frames(3, 0.05f);
    EXPECT_TRUE(Events(racer).empty());
    EXPECT_TRUE(Near(bullet->GetPosition(), D3DXVECTOR3(0, -15, 1), 1e-3f));
    Frames(1, 0.05f);
    EXPECT_EQ(Events(racer), (std::vector<std::string>{"damage 7.50"}));
    EXPECT_EQ(Count(Events(launcher), "damage 7.50"), 0);
    const auto sparks = Active("spark");
    ASSERT_EQ(sparks.size(), 1u);
    EXPECT_TRUE(Near(sparks[0]->GetShotPosition(), D3DXVECTOR3(0, -19, 1), 1e-3f));
    EXPECT_TRUE(Active("bullet").empty());
    EXPECT_FALSE(bullet->IsInScene());
    EXPECT_EQ(manager->FindPool("bullet")->size(), 2u);
    // Nothing more reaches the racer.
    Frames(10, 0.05f);
    EXPECT_EQ(Events(racer).size(), 1u);
}

TEST_F(ProjectileTest, ItsOwnLauncherIsNeverHit) {
    // The human racer fires from inside its own box.
    CPSmartPtr<CPPlayer> racer = Racer(D3DXVECTOR3(0, 0, 1), true, D3DXVECTOR3(2, 2, 2));
    CPSmartPtr<CPShot> bullet = manager->Spawn("bullet", D3DXVECTOR3(0, 0, 1), D3DXVECTOR3(0, -1, 0), 0.0f,
                                               CPSmartPtr<CPGameObject>(racer.Get()));
    Frames(3, 0.05f);
    EXPECT_TRUE(Events(racer).empty());
    EXPECT_EQ(Active("bullet").size(), 1u);
    // Nor is it held by the shot: the test's handle and the level's.
    EXPECT_EQ(racer->GetRefCount(), 2);
}

TEST_F(ProjectileTest, ItEndsBelowTheGroundWithItsImpact) {
    FlatGround();
    // A lob thrown level at 10 units a second from 1 unit up, pulled down at full gravity.
    CPSmartPtr<CPShot> lob = manager->Spawn("lob", D3DXVECTOR3(0, 0, 1), D3DXVECTOR3(1, 0, 0), 0.0f);
    int frames = 0;
    while (!Active("lob").empty() && frames < 200) {
        Frames(1, 0.05f);
        ++frames;
    }
    EXPECT_LT(frames, 20);
    EXPECT_GT(frames, 5);
    const auto sparks = Active("spark");
    ASSERT_EQ(sparks.size(), 1u);
    EXPECT_LT(sparks[0]->GetShotPosition().z, 0.0f);
    EXPECT_GT(sparks[0]->GetShotPosition().x, 3.0f);
}

TEST_F(ProjectileTest, ALifetimeRunsOutWithoutAnImpact) {
    CPSmartPtr<CPShot> bullet = manager->Spawn("bullet", D3DXVECTOR3(0, 0, 50), D3DXVECTOR3(0, -1, 0), 1.0f);
    // Two seconds of life, give or take the sum's rounding.
    Frames(19, 0.1f);
    EXPECT_EQ(Active("bullet").size(), 1u);
    Frames(2, 0.1f);
    EXPECT_TRUE(Active("bullet").empty());
    EXPECT_TRUE(Active("spark").empty());
}

TEST_F(ProjectileTest, AShotAScriptTookOutOfTheSceneEnds) {
    CPSmartPtr<CPShot> bullet = manager->Spawn("bullet", D3DXVECTOR3(0, 0, 50), D3DXVECTOR3(0, -1, 0), 1.0f);
    Frames(1, 0.05f);
    bullet->RemoveFromScene();
    Frames(1, 0.05f);
    EXPECT_TRUE(Active("bullet").empty());
    EXPECT_EQ(manager->FindPool("bullet")->size(), 2u);
}

TEST_F(ProjectileTest, AnEffectDamagesWithinItsRadiusOnce) {
    CPSmartPtr<CPPlayer> racer = Racer(D3DXVECTOR3(4, 0, 1), true);
    manager->Spawn("blast", D3DXVECTOR3(0, 0, 1), D3DXVECTOR3(0, 0, 1), -1.0f);
    EXPECT_EQ(Events(racer), (std::vector<std::string>{"damage 3.00"}));
    Frames(5, 0.05f);
    EXPECT_EQ(Events(racer).size(), 1u);
    EXPECT_EQ(Active("blast").size(), 1u);
    Frames(6, 0.05f);
    EXPECT_TRUE(Active("blast").empty());

    // Out of reach: nothing.
    racer->SetPosition(D3DXVECTOR3(10, 0, 1));
    racer->UpdateTransform();
    manager->Spawn("blast", D3DXVECTOR3(0, 0, 1), D3DXVECTOR3(0, 0, 1), -1.0f);
    EXPECT_EQ(Events(racer).size(), 1u);
}

TEST_F(ProjectileTest, TheLevelsStopRetiresEveryShot) {
    Racer(D3DXVECTOR3(0, 50, 0), true);
    CPSmartPtr<CPShot> bullet = manager->Spawn("bullet", D3DXVECTOR3(0, 0, 50), D3DXVECTOR3(0, -1, 0), 1.0f);
    manager->Spawn("blast", D3DXVECTOR3(0, 0, 1), D3DXVECTOR3(0, 0, 1), -1.0f);
    ASSERT_EQ(manager->GetActiveShots().size(), 2u);
    Level().Stop();
    EXPECT_TRUE(manager->GetActiveShots().empty());
    EXPECT_FALSE(bullet->IsInScene());
    EXPECT_EQ(manager->FindPool("bullet")->size(), 2u);
    EXPECT_EQ(manager->FindPool("blast")->size(), 2u);
}

TEST_F(ProjectileTest, WithoutALevelNothingIsHit) {
    CPSmartPtr<CPShot> bullet = manager->Spawn("bullet", D3DXVECTOR3(0, 0, 50), D3DXVECTOR3(0, -1, 0), 1.0f);
    manager->Spawn("blast", D3DXVECTOR3(0, 0, 1), D3DXVECTOR3(0, 0, 1), -1.0f);
    Frames(3, 0.05f);
    EXPECT_EQ(Active("bullet").size(), 1u);
}

TEST_F(ProjectileTest, AClonedShotIsOutOfTheSceneWithItsOwnRecordAndMesh) {
    const auto* prototype = dynamic_cast<CPProjectileShot*>(manager->FindPool("bullet")->front().Get());
    CPSmartPtr<CPShot> copy = const_cast<CPProjectileShot*>(prototype)->Clone();
    auto* clone = dynamic_cast<CPProjectileShot*>(copy.Get());
    ASSERT_NE(clone, nullptr);
    EXPECT_NE(clone, prototype);
    EXPECT_EQ(clone->GetRecord().damage, 7.5f);
    EXPECT_FALSE(clone->IsInScene());
    ASSERT_TRUE(clone->GetRenderPart());
    EXPECT_NE(clone->GetRenderPart().Get(), prototype->GetRenderPart().Get());
    EXPECT_EQ(clone->GetRenderPart()->GetOwner(), clone);
}

TEST_F(ProjectileTest, AModelThatCannotBeLoadedLeavesTheShotWithoutOne) {
    SPShotRecord record;
    record.name = "bonus";
    record.model = "missing.xml";
    record.lifetime = 10.0f;
    record.sound = "none";
    CPSmartPtr<CPProjectileShot> without(new CPProjectileShot(record));
    EXPECT_FALSE(without->GetModel());
    CPAnimationLibrary library;
    CPSmartPtr<CPProjectileShot> missing(new CPProjectileShot(record));
    EXPECT_FALSE(missing->GetModel());
    EXPECT_TRUE(missing->GetChildren().empty());
}

TEST_F(ProjectileTest, RaceWorldStartupMakesTheManagerAndTheEnemyMaker) {
    root.Write("Data/enemies.dat", "grunt;10;2.5;a;b;c\n");
    manager->Clear();
    manager = nullptr;
    SPStartupRegistry registry;
    InstallRaceWorld(registry);
    ASSERT_TRUE(registry.createShotManager);
    {
        CPSmartPtr<IPTask> task = registry.createShotManager();
        ASSERT_TRUE(task);
        EXPECT_EQ(task.Get(), static_cast<IPTask*>(CPShotManager::GetInstance()));
        EXPECT_EQ(GetEnemyData("grunt").value2, 2.5f);
        EXPECT_EQ(GetEnemyData("grunt").text3, "c");
        kernel.AddTask(task);
        EXPECT_EQ(CPShotManager::GetInstance()->GetPoolCount(), 4u);
        manager = CPSmartPtr<CPShotManager>(CPShotManager::GetInstance());
    }
    EXPECT_EQ(GetEnemyMaker(), &GetEnemyRecordMaker());
    SetEnemyMaker(nullptr);
    SetPhysicDataMaker(nullptr);
    EnemyData().clear();
}

} // namespace
