// The shot and the shot manager: the sound parameter, the launch rotation, the pools, spawning,
// retiring and reuse, spawns and retirement from inside a pass, and the bound on nested spawns.
#include <gtest/gtest.h>

#include <cmath>

#include "ShotsFixture.h"
#include "World/PShot.h"
#include "World/PShotManager.h"

namespace {

using kxshots::Near;
using kxshots::ShotWorld;
using kxshots::TestShot;

class ShotManagerTest : public ShotWorld {};

TEST_F(ShotManagerTest, SoundParameter) {
    struct Case {
        std::vector<std::string> params;
        std::string file;
        bool twoD;
    };
    const Case cases[] = {
        {{"none"}, "none", false},
        {{"none,2d"}, "none", false},
        {{"x", "y", "shot.wav"}, "shot.wav", false},
        {{"shot.wav,3D"}, "shot.wav", false},
        {{"shot.wav,2D"}, "shot.wav", false},
        {{"shot.wav,2d"}, "shot.wav", true},
        {{"\"a,b.wav\",2d"}, "a,b.wav", true},
    };
    for (const Case& c : cases) {
        CPSmartPtr<TestShot> shot(new TestShot("t"));
        EXPECT_TRUE(shot->ParseParams(c.params));
        EXPECT_EQ(shot->GetSoundFile(), c.file) << c.params.back();
        EXPECT_EQ(shot->IsSound2D(), c.twoD) << c.params.back();
        // No sound cache here: every shot is silent, and launching it plays nothing.
        EXPECT_FALSE(shot->GetSound());
    }
    CPSmartPtr<TestShot> shot(new TestShot("t"));
    EXPECT_TRUE(shot->ParseParams({}));
}

TEST_F(ShotManagerTest, LaunchTurnsLocalMinusYOntoTheDirection) {
    const D3DXVECTOR3 directions[] = {{0, -1, 0}, {0, 1, 0}, {1, 0, 0}, {-1, 0, 0},    {0, 0, 1},
                                      {0, 0, -3}, {1, 1, 1}, {0, 5, 0}, {-2, -1, 0.5f}};
    for (const D3DXVECTOR3& d : directions) {
        const D3DXQUATERNION q = CPShot::LaunchRotation(d);
        D3DXMATRIX m;
        D3DXMatrixRotationQuaternion(&m, &q);
        D3DXVECTOR3 turned;
        const D3DXVECTOR3 minusY(0, -1, 0);
        D3DXVec3TransformNormal(&turned, &minusY, &m);
        D3DXVECTOR3 n;
        D3DXVec3Normalize(&n, &d);
        EXPECT_TRUE(Near(turned, n, 1e-5f)) << d.x << "," << d.y << "," << d.z;
        EXPECT_NEAR(D3DXQuaternionLength(&q), 1.0f, 1e-5f);
    }
    // Along -y nothing turns; a zero direction (or one that is not finite) keeps the identity.
    const D3DXQUATERNION identity(0, 0, 0, 1);
    for (const D3DXVECTOR3& d : {D3DXVECTOR3(0, -1, 0), D3DXVECTOR3(0, 0, 0), D3DXVECTOR3(NAN, 0, 0)}) {
        const D3DXQUATERNION q = CPShot::LaunchRotation(d);
        EXPECT_EQ(q.x, identity.x);
        EXPECT_EQ(q.y, identity.y);
        EXPECT_EQ(q.z, identity.z);
        EXPECT_EQ(q.w, identity.w);
    }
}

TEST_F(ShotManagerTest, LaunchKeepsPointDirectionSpeedAndTurnsTheObject) {
    auto pool = Pool("t", 1);
    const float speedReference = 12.0f;
    CPSmartPtr<CPGameObject> owner(new CPGameObject("owner"));
    CPSmartPtr<CPShot> shot =
        manager->Spawn("t", D3DXVECTOR3(1, 2, 3), D3DXVECTOR3(2, 0, 0), 40.0f, owner, &speedReference);
    ASSERT_TRUE(shot);
    auto* test = dynamic_cast<TestShot*>(shot.Get());
    EXPECT_TRUE(Near(shot->GetShotPosition(), D3DXVECTOR3(1, 2, 3)));
    // The direction is kept as passed, not normalised.
    EXPECT_TRUE(Near(shot->GetShotDirection(), D3DXVECTOR3(2, 0, 0)));
    EXPECT_EQ(shot->GetSpeed(), 40.0f);
    EXPECT_EQ(test->launcher, owner.Get());
    EXPECT_EQ(test->reference, &speedReference);
    const D3DXQUATERNION expected = CPShot::LaunchRotation(D3DXVECTOR3(1, 0, 0));
    EXPECT_FLOAT_EQ(shot->GetRotationQuaternion().z, expected.z);
    EXPECT_FLOAT_EQ(shot->GetRotationQuaternion().w, expected.w);
    // The base launch does not move the scene object.
    EXPECT_TRUE(Near(shot->GetPosition(), D3DXVECTOR3(0, 0, 0)));
}

TEST_F(ShotManagerTest, PoolsHandOutSparesThenClones) {
    struct Case {
        int entries;
        // Which pool entry each of four spawns gives (-1: a fresh clone).
        int expected[4];
        std::size_t poolAfter;
    };
    const Case cases[] = {
        {1, {-1, -1, -1, -1}, 1},
        {2, {1, -1, -1, -1}, 1},
        {3, {2, 1, -1, -1}, 1},
    };
    for (const Case& c : cases) {
        const std::string name = "p" + std::to_string(c.entries);
        auto pool = Pool(name, c.entries);
        for (int i = 0; i < 4; ++i) {
            CPSmartPtr<CPShot> shot = manager->Spawn(name, D3DXVECTOR3(0, 0, 0), D3DXVECTOR3(0, -1, 0), 1.0f);
            ASSERT_TRUE(shot);
            if (c.expected[i] >= 0) {
                EXPECT_EQ(shot.Get(), pool[static_cast<std::size_t>(c.expected[i])].Get()) << name << " " << i;
            } else {
                for (const auto& entry : pool) EXPECT_NE(shot.Get(), entry.Get()) << name << " " << i;
            }
        }
        EXPECT_EQ(manager->FindPool(name)->size(), c.poolAfter) << name;
        EXPECT_EQ(manager->FindPool(name)->front().Get(), pool[0].Get()) << name;
        EXPECT_EQ(pool[0]->launches, 0) << "the prototype itself is never launched";
        EXPECT_EQ(Active(name).size(), 4u);
    }
    EXPECT_EQ(manager->GetMostActive(), 12u);
}

TEST_F(ShotManagerTest, NamesWithoutPoolsAndEmptyClonesSpawnNothing) {
    EXPECT_FALSE(manager->Spawn("unknown", D3DXVECTOR3(0, 0, 0), D3DXVECTOR3(0, -1, 0), 1.0f));
    // The lookup leaves an empty pool behind, which spawns nothing either.
    ASSERT_NE(manager->FindPool("unknown"), nullptr);
    EXPECT_TRUE(manager->FindPool("unknown")->empty());
    EXPECT_FALSE(manager->Spawn("unknown", D3DXVECTOR3(0, 0, 0), D3DXVECTOR3(0, -1, 0), 1.0f));

    auto pool = Pool("strike", 1, false);
    EXPECT_FALSE(manager->Spawn("strike", D3DXVECTOR3(0, 0, 0), D3DXVECTOR3(0, -1, 0), 1.0f));
    EXPECT_EQ(pool[0]->clones, 1);
    EXPECT_EQ(pool[0]->launches, 0);
    EXPECT_TRUE(manager->GetActiveShots().empty());
    // No update, nothing to do.
    manager->Update();
}

TEST_F(ShotManagerTest, FinishedShotsLeaveTheSceneForTheirPoolAndAreReused) {
    auto pool = Pool("t", 1);
    CPSmartPtr<CPShot> first = manager->Spawn("t", D3DXVECTOR3(0, 0, 0), D3DXVECTOR3(0, -1, 0), 1.0f);
    CPSmartPtr<CPShot> second = manager->Spawn("t", D3DXVECTOR3(0, 0, 0), D3DXVECTOR3(0, -1, 0), 1.0f);
    first->AddToScene(200);
    auto* firstShot = dynamic_cast<TestShot*>(first.Get());
    auto* secondShot = dynamic_cast<TestShot*>(second.Get());
    manager->Update();
    EXPECT_EQ(firstShot->checks, 1);
    EXPECT_EQ(secondShot->checks, 1);
    EXPECT_EQ(manager->GetActiveShots().size(), 2u);

    firstShot->alive = false;
    manager->Update();
    EXPECT_EQ(firstShot->checks, 2);
    ASSERT_EQ(manager->GetActiveShots().size(), 1u);
    EXPECT_EQ(manager->GetActiveShots()[0].Get(), second.Get());
    EXPECT_FALSE(first->IsInScene());
    ASSERT_EQ(manager->FindPool("t")->size(), 2u);
    EXPECT_EQ(manager->FindPool("t")->back().Get(), first.Get());

    // The spare goes out again before any new clone is made.
    const int clonesBefore = pool[0]->clones;
    CPSmartPtr<CPShot> again = manager->Spawn("t", D3DXVECTOR3(5, 0, 0), D3DXVECTOR3(1, 0, 0), 2.0f);
    EXPECT_EQ(again.Get(), first.Get());
    EXPECT_EQ(pool[0]->clones, clonesBefore);
    EXPECT_EQ(firstShot->launches, 2);
    EXPECT_TRUE(Near(again->GetShotPosition(), D3DXVECTOR3(5, 0, 0)));
}

TEST_F(ShotManagerTest, RetireAllSendsEveryShotBack) {
    auto pool = Pool("t", 1);
    auto other = Pool("u", 1, true);
    std::vector<CPSmartPtr<CPShot>> shots;
    for (const char* name : {"t", "t", "u"}) {
        shots.push_back(manager->Spawn(name, D3DXVECTOR3(0, 0, 0), D3DXVECTOR3(0, -1, 0), 1.0f));
        shots.back()->AddToScene(200);
    }
    manager->RetireAll();
    EXPECT_TRUE(manager->GetActiveShots().empty());
    for (const auto& shot : shots) EXPECT_FALSE(shot->IsInScene());
    EXPECT_EQ(manager->FindPool("t")->size(), 3u);
    EXPECT_EQ(manager->FindPool("u")->size(), 2u);
    manager->Update();
    for (const auto& shot : shots) EXPECT_EQ(dynamic_cast<TestShot*>(shot.Get())->checks, 0);
}

TEST_F(ShotManagerTest, ShotsSpawnedDuringAPassJoinAfterTheOthers) {
    auto pool = Pool("t", 1);
    auto impacts = Pool("impact", 1);
    CPSmartPtr<CPShot> first = manager->Spawn("t", D3DXVECTOR3(0, 0, 0), D3DXVECTOR3(0, -1, 0), 1.0f);
    CPSmartPtr<CPShot> second = manager->Spawn("t", D3DXVECTOR3(0, 0, 0), D3DXVECTOR3(0, -1, 0), 1.0f);
    auto* firstShot = dynamic_cast<TestShot*>(first.Get());
    firstShot->onAlive = [this](TestShot& self) {
        self.alive = false;
        manager->Spawn("impact", self.GetShotPosition(), D3DXVECTOR3(0, 0, 1), -1.0f);
    };
    manager->Update();
    const auto& active = manager->GetActiveShots();
    ASSERT_EQ(active.size(), 2u);
    EXPECT_EQ(active[0].Get(), second.Get());
    EXPECT_EQ(active[1]->GetShotName(), "impact");
    // The new shot is first asked in the next pass.
    EXPECT_EQ(dynamic_cast<TestShot*>(active[1].Get())->checks, 0);
}

TEST_F(ShotManagerTest, RetireAllFromInsideAPassRetiresEverything) {
    auto pool = Pool("t", 1);
    std::vector<CPSmartPtr<CPShot>> shots;
    for (int i = 0; i < 3; ++i) shots.push_back(manager->Spawn("t", D3DXVECTOR3(0, 0, 0), D3DXVECTOR3(0, -1, 0), 1.0f));
    dynamic_cast<TestShot*>(shots[1].Get())->onAlive = [this](TestShot&) {
        manager->Spawn("t", D3DXVECTOR3(0, 0, 0), D3DXVECTOR3(0, -1, 0), 1.0f);
        manager->RetireAll();
    };
    manager->Update();
    EXPECT_TRUE(manager->GetActiveShots().empty());
    EXPECT_EQ(dynamic_cast<TestShot*>(shots[2].Get())->checks, 0);
    // The prototype and the four instances.
    EXPECT_EQ(manager->FindPool("t")->size(), 5u);
}

// A kind that spawns another of its name while it launches, as an effect that hurts an enemy
// that bleeds the same effect would.
class EchoShot : public TestShot {
public:
    explicit EchoShot(int& launches) : TestShot("echo"), m_launches(launches) {
        onLaunch = [this](TestShot&) {
            ++m_launches;
            CPShotManager::GetInstance()->Spawn("echo", D3DXVECTOR3(0, 0, 0), D3DXVECTOR3(0, -1, 0), 1.0f);
        };
    }
    CPSmartPtr<CPShot> Clone() override { return CPSmartPtr<CPShot>(new EchoShot(m_launches)); }

private:
    int& m_launches;
};

TEST_F(ShotManagerTest, NestedSpawnsAreBounded) {
    int launches = 0;
    manager->AddToPool("echo", CPSmartPtr<CPShot>(new EchoShot(launches)));
    manager->Spawn("echo", D3DXVECTOR3(0, 0, 0), D3DXVECTOR3(0, -1, 0), 1.0f);
    EXPECT_EQ(launches, CPShotManager::kMaxSpawnDepth);
    EXPECT_EQ(manager->GetActiveShots().size(), static_cast<std::size_t>(CPShotManager::kMaxSpawnDepth));
    // Each spawn from outside a launch starts a new ring of the same depth.
    launches = 0;
    EXPECT_TRUE(manager->Spawn("echo", D3DXVECTOR3(0, 0, 0), D3DXVECTOR3(0, -1, 0), 1.0f));
    EXPECT_EQ(launches, CPShotManager::kMaxSpawnDepth);
}

TEST_F(ShotManagerTest, ClearDropsPoolsAndShots) {
    auto pool = Pool("t", 2);
    CPSmartPtr<CPShot> shot = manager->Spawn("t", D3DXVECTOR3(0, 0, 0), D3DXVECTOR3(0, -1, 0), 1.0f);
    shot->AddToScene(200);
    manager->Clear();
    EXPECT_FALSE(shot->IsInScene());
    EXPECT_EQ(manager->GetPoolCount(), 0u);
    EXPECT_TRUE(manager->GetActiveShots().empty());
}

TEST_F(ShotManagerTest, TheManagerIsTheInstanceWhileItLives) {
    EXPECT_EQ(CPShotManager::GetInstance(), manager.Get());
    EXPECT_EQ(manager->GetClassName(), "CPShotManager");
}

} // namespace
