// Enemies: the record read from a description's "enemy" element through the installed maker, a
// copy's own record, the animation requests, melee blows, fire by kind, damage, reward, death
// report and gibs, and the handlers of stopped animations.
#include <gtest/gtest.h>

#include <cmath>

#include "Physics/RbBody.h"
#include "ShotsFixture.h"
#include "World/PEnemy.h"
#include "World/PPhysicData.h"

namespace {

using kxshots::Near;
using kxshots::ShotWorld;

const char* const kGrunt = R"(<?xml version="1.0"?>
<enemy name="grunt" kind="mgun" health="10" reward="25" effect="blood1" gibs="1" gibheight="2.5"
       ignoredamage="0" fireframe="7" muzzle="0,-1,1" facing="0,-2,0" hit1="punch.wav" hit2="kick.wav">
  <melee frame="3" reach="0,-5,0" push="0,-1,0" impulse="40" damage="12"/>
  <melee frame="4" reach="0,-4,0" push="1,0,0" impulse="20" damage="6"/>
  <melee frame="5" reach="0,-9,0" push="1,0,0" impulse="20" damage="99"/>
  <state number="1" value="11"/>
  <state number="4" value="44"/>
  <state number="99999999999" value="5"/>
  <state number="2" value="x"/>
</enemy>
)";

class EnemyTest : public ShotWorld {
protected:
    void SetUp() override {
        SetEnemyMaker(&GetEnemyRecordMaker());
        root.Write("Data/Descriptions/grunt.xml", kGrunt);
        for (const char* name : {"rocket_exp2", "trasser21", "trasser22", "trasser23", "srocket2", "plazma_shot2",
                                 "blood1", "oil1", "gib1", "gib2"})
            Pool(name, 1);
    }
    void TearDown() override { SetEnemyMaker(nullptr); }

    // An enemy object at the origin facing -y, made from the description file.
    CPSmartPtr<CPGameObject> MakeEnemy(const char* file = "grunt.xml") {
        CPSmartPtr<CPGameObject> object(new CPGameObject("enemy"));
        object->SetDescriptionFile(file);
        EXPECT_TRUE(object->LoadDescription());
        return object;
    }
    static CPEnemy* Record(const CPSmartPtr<CPGameObject>& object) {
        return dynamic_cast<CPEnemy*>(object->GetEnemy());
    }
    // Sets the current animation without the object being told, then reports it.
    static void Report(CPEnemy& enemy, const std::string& animation) {
        enemy.animation.name = animation;
        enemy.OnAnimationReport();
    }
    static void Stopped(CPEnemy& enemy, const std::string& animation) {
        enemy.animation.name = animation;
        enemy.OnAnimationStopped();
    }
    static float Angle(const D3DXVECTOR3& a, const D3DXVECTOR3& b) {
        const float cosine = D3DXVec3Dot(&a, &b) / (D3DXVec3Length(&a) * D3DXVec3Length(&b));
        return std::acos(std::fmin(1.0f, std::fmax(-1.0f, cosine)));
    }
};

TEST_F(EnemyTest, TheMakerReadsTheEnemyElement) {
    CPSmartPtr<CPGameObject> object = MakeEnemy();
    CPEnemy* enemy = Record(object);
    ASSERT_NE(enemy, nullptr);
    EXPECT_EQ(&enemy->GetObject(), object.Get());
    EXPECT_EQ(enemy->name, "grunt");
    EXPECT_EQ(enemy->kind, "mgun");
    EXPECT_EQ(enemy->health, 10.0f);
    EXPECT_EQ(enemy->reward, 25);
    EXPECT_EQ(enemy->effectName, "blood1");
    EXPECT_TRUE(enemy->gibs);
    EXPECT_EQ(enemy->gibHeight, 2.5f);
    EXPECT_FALSE(enemy->ignoresDamage);
    EXPECT_FALSE(enemy->deathReportOff);
    EXPECT_EQ(enemy->fireReportFrame, 7);
    EXPECT_TRUE(Near(enemy->muzzleOffset, D3DXVECTOR3(0, -1, 1)));
    EXPECT_TRUE(Near(enemy->referenceFacing, D3DXVECTOR3(0, -1, 0)));
    EXPECT_EQ(enemy->sounds["hit1"], "punch.wav");
    EXPECT_EQ(enemy->sounds["hit2"], "kick.wav");
    // Two blows at most; the third element is ignored.
    EXPECT_EQ(enemy->meleeCount, 2);
    EXPECT_EQ(enemy->melee[1].reportFrame, 3);
    EXPECT_TRUE(Near(enemy->melee[1].reach, D3DXVECTOR3(0, -5, 0)));
    EXPECT_TRUE(Near(enemy->melee[1].push, D3DXVECTOR3(0, -1, 0)));
    EXPECT_EQ(enemy->melee[1].impulse, 40.0f);
    EXPECT_EQ(enemy->melee[1].damage, 12.0f);
    EXPECT_EQ(enemy->melee[2].damage, 6.0f);
    // States outside the int range, or with a bad value, are ignored.
    EXPECT_EQ(enemy->stateMap, (std::map<int, int>{{1, 11}, {4, 44}}));
}

TEST_F(EnemyTest, BadValuesKeepTheirDefaults) {
    root.Write("Data/Descriptions/bad.xml",
               R"(<enemy health="lots" reward="1.5" gibheight="nan" fireframe="" muzzle="1,2" facing="0,0,0"
                         gibs="maybe" deathreport="off"><melee frame="x" reach="1,2,3,4" damage="inf"/></enemy>)");
    CPSmartPtr<CPGameObject> object = MakeEnemy("bad.xml");
    CPEnemy* enemy = Record(object);
    ASSERT_NE(enemy, nullptr);
    const CPEnemy defaults(*object);
    EXPECT_EQ(enemy->health, defaults.health);
    EXPECT_EQ(enemy->reward, defaults.reward);
    EXPECT_EQ(enemy->gibHeight, defaults.gibHeight);
    EXPECT_EQ(enemy->fireReportFrame, defaults.fireReportFrame);
    EXPECT_TRUE(Near(enemy->muzzleOffset, defaults.muzzleOffset));
    EXPECT_TRUE(Near(enemy->referenceFacing, defaults.referenceFacing));
    EXPECT_EQ(enemy->gibs, defaults.gibs);
    EXPECT_TRUE(enemy->deathReportOff);
    EXPECT_EQ(enemy->meleeCount, 1);
    EXPECT_EQ(enemy->melee[1].reportFrame, defaults.melee[1].reportFrame);
    EXPECT_TRUE(Near(enemy->melee[1].reach, defaults.melee[1].reach));
    EXPECT_EQ(enemy->melee[1].damage, defaults.melee[1].damage);
}

TEST_F(EnemyTest, OnlyDescriptionsWithAnEnemyElementMakeOne) {
    root.Write("Data/Descriptions/barrel.xml", "<object><mass value=\"3\"/></object>");
    root.Write("Data/Descriptions/inner.xml", "<object><enemy name=\"inner\" kind=\"rocket\"/></object>");
    CPSmartPtr<CPGameObject> barrel = MakeEnemy("barrel.xml");
    EXPECT_EQ(barrel->GetEnemy(), nullptr);
    CPSmartPtr<CPGameObject> inner = MakeEnemy("inner.xml");
    ASSERT_NE(Record(inner), nullptr);
    EXPECT_EQ(Record(inner)->name, "inner");
    // Without the maker installed nothing is made.
    SetEnemyMaker(nullptr);
    EXPECT_EQ(MakeEnemy()->GetEnemy(), nullptr);
}

TEST_F(EnemyTest, ACopyGetsItsOwnRecord) {
    CPSmartPtr<CPGameObject> source = MakeEnemy();
    Record(source)->health = 3.0f;
    CPSmartPtr<CPGameObject> copy(new CPGameObject("copy"));
    copy->CopyFrom(*source);
    CPEnemy* record = Record(copy);
    ASSERT_NE(record, nullptr);
    EXPECT_NE(record, Record(source));
    EXPECT_EQ(&record->GetObject(), copy.Get());
    // Made afresh from the description, not from the source's record.
    EXPECT_EQ(record->health, 10.0f);
    record->OnDamage(D3DXVECTOR3(0, 0, 0), D3DXVECTOR3(0, 0, 1), 4.0f, true, false);
    EXPECT_EQ(record->health, 6.0f);
    EXPECT_EQ(Record(source)->health, 3.0f);
    source = nullptr;
    for (int i = 0; i < 4; ++i) IPMMObject::CollectGarbage();
    record->OnDamage(D3DXVECTOR3(0, 0, 0), D3DXVECTOR3(0, 0, 1), 1.0f, true, false);
    EXPECT_EQ(record->health, 5.0f);
}

TEST_F(EnemyTest, PlayAnimationKeepsTheSameNameUnlessForced) {
    CPSmartPtr<CPGameObject> object = MakeEnemy();
    CPEnemy& enemy = *Record(object);
    enemy.PlayAnimation("walk", false, false, 5);
    EXPECT_EQ(enemy.animation.name, "walk");
    EXPECT_EQ(enemy.animation.loopLimit, 0);
    EXPECT_EQ(enemy.animation.reportFrame, -1);
    EXPECT_EQ(enemy.animation.speed, 1.0f);
    enemy.PlayAnimation("walk", true, false, 5);
    EXPECT_EQ(enemy.animation.loopLimit, 0) << "the same name without force changes nothing";
    enemy.PlayAnimation("walk", true, true, 5);
    EXPECT_EQ(enemy.animation.loopLimit, 1);
    EXPECT_EQ(enemy.animation.reportFrame, 5);
    enemy.PlayAnimation("fire", true, false, 7);
    EXPECT_EQ(enemy.animation.name, "fire");
    EXPECT_EQ(enemy.animation.reportFrame, 7);
}

TEST_F(EnemyTest, AnExplosionEnemysBlowGoesOffEvenOutOfReachAndReportsOnce) {
    CPSmartPtr<CPGameObject> object = MakeEnemy();
    object->SetPosition(D3DXVECTOR3(10, 20, 0));
    CPEnemy& enemy = *Record(object);
    enemy.kind = "explosion";
    Racer(D3DXVECTOR3(500, 500, 1), true);
    Report(enemy, "melee1");
    const auto blasts = Active("rocket_exp2");
    ASSERT_EQ(blasts.size(), 1u);
    EXPECT_TRUE(Near(blasts[0]->GetShotPosition(), D3DXVECTOR3(10, 15, 0)));
    EXPECT_EQ(blasts[0]->GetSpeed(), -1.0f);
    EXPECT_EQ(enemy.stateValue, 44);
    const auto deaths = Sent("enemy_death");
    ASSERT_EQ(deaths.size(), 1u);
    EXPECT_EQ(deaths[0].route, kxtest::Route::Category);
    EXPECT_EQ(deaths[0].target, "level");
    EXPECT_EQ(deaths[0].params, "grunt,10.00,20.00,0.00");
    Report(enemy, "melee1");
    EXPECT_EQ(Sent("enemy_death").size(), 1u);
    // Its second blow is an ordinary one.
    Report(enemy, "melee2");
    EXPECT_EQ(Active("rocket_exp2").size(), 2u);
}

TEST_F(EnemyTest, ABlowOnThePlayerDamagesIt) {
    CPSmartPtr<CPGameObject> object = MakeEnemy();
    CPEnemy& enemy = *Record(object);
    CPSmartPtr<CPPlayer> player = Racer(D3DXVECTOR3(0, -3, 1), true);
    Report(enemy, "melee1");
    EXPECT_EQ(Events(player), (std::vector<std::string>{"damage 12.00"}));
    Report(enemy, "melee2");
    EXPECT_EQ(Events(player), (std::vector<std::string>{"damage 12.00", "damage 6.00"}));
    // Turned with the enemy: facing +x, the reach along -y becomes +x, and the player is behind.
    object->SetRotation(D3DXQUATERNION(0, 0, 1, 0));
    Report(enemy, "melee1");
    EXPECT_EQ(Events(player).size(), 3u) << "the ray goes towards the player whatever the facing";
}

TEST_F(EnemyTest, ABlowPushesThePlayersBody) {
    CPSmartPtr<CPGameObject> object = MakeEnemy();
    CPEnemy& enemy = *Record(object);
    physics = CPSmartPtr<CPPhysics>(new CPPhysics());
    ASSERT_TRUE(physics->CreateWorld());
    CPSmartPtr<CPPlayer> player = Racer(D3DXVECTOR3(0, -3, 1), true);
    CPSmartPtr<CPPhysicData> data(new CPPhysicData(player.Get()));
    data->SetShape(2, 2, 2, 10);
    data->AddBoxShape(D3DXVECTOR3(0, 0, 0), D3DXQUATERNION(0, 0, 0, 1), 2, 2, 2, 10);
    player->SetPhysicData(CPSmartPtr<IPPhysicData>(data.Get()));
    physics->AddBody(CPSmartPtr<CPGameObject>(player.Get()), true, 0);
    ASSERT_NE(data->GetRigidBody(), nullptr);
    Report(enemy, "melee1");
    // Push (0, -1, 0) times 40, at the blow's point.
    const RbVector v = data->GetRigidBody()->GetVelocity();
    EXPECT_EQ(v.x, 0.0f);
    EXPECT_LT(v.y, 0.0f);
    EXPECT_EQ(Events(player), (std::vector<std::string>{"damage 12.00"}));
    physics->DestroyWorld();
}

TEST_F(EnemyTest, ABlowThatMeetsAnotherObjectFirstOrNothingDoesNothing) {
    CPSmartPtr<CPGameObject> object = MakeEnemy();
    CPEnemy& enemy = *Record(object);
    CPSmartPtr<CPPlayer> player = Racer(D3DXVECTOR3(0, -3, 1), true);
    CPSmartPtr<CPGameObject> crate = Target("crate", D3DXVECTOR3(0, -1.5f, 1), D3DXVECTOR3(0.25f, 0.25f, 1));
    Level().activeObjects.push_back(crate);
    Report(enemy, "melee1");
    EXPECT_TRUE(Events(player).empty());
    EXPECT_TRUE(Events(crate).empty());
    Level().activeObjects.clear();
    // Out of reach.
    player->SetPosition(D3DXVECTOR3(0, -20, 1));
    player->UpdateTransform();
    Report(enemy, "melee1");
    EXPECT_TRUE(Events(player).empty());
    // Without a level nothing happens either.
    delete level;
    level = nullptr;
    Report(enemy, "melee1");
    Report(enemy, "fire");
    EXPECT_TRUE(manager->GetActiveShots().empty());
}

TEST_F(EnemyTest, FireByKind) {
    struct Case {
        const char* kind;
        const char* shot;
        std::size_t count;
        float spread;
    };
    const Case cases[] = {
        {"hmgun", "trasser22", 1, 0.1f},   {"plasma", "plazma_shot2", 1, 0.0f},
        {"mgun", "trasser21", 1, 0.0f},    {"lgun", "trasser21", 1, 0.0f},
        {"shotgun", "trasser23", 8, 0.4f}, {"rocket", "plazma_shot2", 1, 0.0f},
        {"explosion", "", 0, 0.0f},        {"spear", "", 0, 0.0f},
    };
    for (const Case& c : cases) {
        CPSmartPtr<CPGameObject> object = MakeEnemy();
        object->SetPosition(D3DXVECTOR3(0, 10, 0));
        CPEnemy& enemy = *Record(object);
        enemy.kind = c.kind;
        Racer(D3DXVECTOR3(0, 0, 0.7f), true);
        manager->RetireAll();
        Platform::EngineSeed(7);
        Report(enemy, "fire");
        ASSERT_EQ(manager->GetActiveShots().size(), c.count) << c.kind;
        // From the muzzle at (0, 9, 1), at the point 0.3 above the player.
        const D3DXVECTOR3 muzzle(0, 9, 1);
        const D3DXVECTOR3 aim(0, -9, 0);
        for (const CPSmartPtr<CPShot>& shot : manager->GetActiveShots()) {
            EXPECT_EQ(shot->GetShotName(), c.shot) << c.kind;
            EXPECT_TRUE(Near(shot->GetShotPosition(), muzzle)) << c.kind;
            EXPECT_LE(Angle(shot->GetShotDirection(), aim), c.spread + 1e-3f) << c.kind;
            EXPECT_NEAR(D3DXVec3Length(&shot->GetShotDirection()), 1.0f, 1e-4f) << c.kind;
            EXPECT_EQ(shot->GetSpeed(), -1.0f);
        }
    }
}

TEST_F(EnemyTest, EveryThirdRocketIsChosenAtRandom) {
    CPSmartPtr<CPGameObject> object = MakeEnemy();
    CPEnemy& enemy = *Record(object);
    enemy.kind = "rocket";
    Racer(D3DXVECTOR3(0, -10, 1), true);
    for (std::uint32_t seed : {1u, 2u, 3u, 4u}) {
        manager->RetireAll();
        enemy.rocketCounter = 0;
        Platform::EngineSeed(seed);
        Platform::EngineRandom copy(seed);
        const char* third = copy.Next() % 2 == 0 ? "srocket2" : "plazma_shot2";
        for (int i = 0; i < 6; ++i) Report(enemy, "fire");
        const auto& shots = manager->GetActiveShots();
        ASSERT_EQ(shots.size(), 6u);
        EXPECT_EQ(shots[0]->GetShotName(), "plazma_shot2");
        EXPECT_EQ(shots[1]->GetShotName(), "plazma_shot2");
        EXPECT_EQ(shots[2]->GetShotName(), third) << seed;
        EXPECT_EQ(shots[3]->GetShotName(), "plazma_shot2");
        EXPECT_EQ(shots[4]->GetShotName(), "plazma_shot2");
        EXPECT_EQ(enemy.rocketCounter, 0);
    }
}

TEST_F(EnemyTest, DamageToDeathPaysOnceAndReportsOnce) {
    root->money = 100.0f;
    root->kills = 2;
    CPSmartPtr<CPGameObject> object = MakeEnemy();
    object->SetPosition(D3DXVECTOR3(1, 2, 3));
    CPEnemy& enemy = *Record(object);
    enemy.gibs = false;
    enemy.OnDamage(D3DXVECTOR3(1, 2, 4), D3DXVECTOR3(0, 1, 0), 15.0f, false, false);
    EXPECT_EQ(enemy.health, -5.0f);
    EXPECT_EQ(root->money, 125.0f);
    EXPECT_EQ(root->kills, 3);
    const auto money = Sent("change_money");
    ASSERT_EQ(money.size(), 1u);
    EXPECT_EQ(money[0].route, kxtest::Route::Name);
    EXPECT_EQ(money[0].target, "gamemenu");
    EXPECT_EQ(money[0].params, "125.00");
    ASSERT_EQ(Sent("enemy_death").size(), 1u);
    EXPECT_EQ(Sent("enemy_death")[0].params, "grunt,1.00,2.00,3.00");
    EXPECT_EQ(enemy.stateValue, 44);
    EXPECT_TRUE(enemy.deathDone);
    // The blood, against the blow, scaled by the amount.
    const auto blood = Active("blood1");
    ASSERT_EQ(blood.size(), 1u);
    EXPECT_TRUE(Near(blood[0]->GetShotPosition(), D3DXVECTOR3(1, 2, 4)));
    EXPECT_TRUE(Near(blood[0]->GetShotDirection(), D3DXVECTOR3(0, -15, 0)));
    // Further damage only switches to the dead state again.
    enemy.stateValue = 0;
    enemy.stateTimer = 3.0f;
    enemy.OnDamage(D3DXVECTOR3(0, 0, 0), D3DXVECTOR3(0, 1, 0), 5.0f, true, false);
    EXPECT_EQ(root->money, 125.0f);
    EXPECT_EQ(root->kills, 3);
    EXPECT_EQ(Sent("enemy_death").size(), 1u);
    EXPECT_EQ(enemy.stateValue, 44);
    EXPECT_EQ(enemy.stateTimer, 0.0f);
    EXPECT_EQ(Active("blood1").size(), 1u) << "no effect asked for";
}

TEST_F(EnemyTest, SilentIgnoredAndUnreportedHits) {
    CPSmartPtr<CPGameObject> object = MakeEnemy();
    CPEnemy& enemy = *Record(object);
    // A silent hit passes an enemy that does not bleed oil.
    enemy.OnDamage(D3DXVECTOR3(0, 0, 0), D3DXVECTOR3(0, 1, 0), 5.0f, false, true);
    EXPECT_EQ(enemy.health, 10.0f);
    EXPECT_TRUE(manager->GetActiveShots().empty());
    enemy.effectName = "oil1";
    enemy.OnDamage(D3DXVECTOR3(0, 0, 0), D3DXVECTOR3(0, 1, 0), 5.0f, false, true);
    EXPECT_EQ(enemy.health, 5.0f);
    EXPECT_EQ(Active("oil1").size(), 1u);
    // Ignoring damage: nothing at all.
    enemy.ignoresDamage = true;
    enemy.OnDamage(D3DXVECTOR3(0, 0, 0), D3DXVECTOR3(0, 1, 0), 50.0f, false, false);
    EXPECT_EQ(enemy.health, 5.0f);
    EXPECT_FALSE(enemy.deathDone);
    // A suppressed report: still paid and counted.
    enemy.ignoresDamage = false;
    enemy.deathReportOff = true;
    root->money = 0.0f;
    enemy.OnDamage(D3DXVECTOR3(0, 0, 0), D3DXVECTOR3(0, 1, 0), 50.0f, true, false);
    EXPECT_TRUE(enemy.deathDone);
    EXPECT_EQ(root->money, 25.0f);
    EXPECT_EQ(root->kills, 1);
    EXPECT_TRUE(Sent("enemy_death").empty());
    // Through the object: "damage" to its script first, then the record.
    CPSmartPtr<CPGameObject> other = MakeEnemy();
    other->NotifyDamage(D3DXVECTOR3(0, 0, 0), D3DXVECTOR3(0, 1, 0), 4.0f, true, false);
    EXPECT_EQ(Record(other)->health, 6.0f);
}

TEST_F(EnemyTest, GibsBurstFromAboveTheBody) {
    for (std::uint32_t seed : {1u, 2u, 3u, 4u, 5u, 6u, 7u, 8u}) {
        manager->RetireAll();
        CPSmartPtr<CPGameObject> object = MakeEnemy();
        object->SetPosition(D3DXVECTOR3(4, 5, 6));
        CPEnemy& enemy = *Record(object);
        Platform::EngineSeed(seed);
        Platform::EngineRandom copy(seed);
        enemy.OnDamage(D3DXVECTOR3(0, 0, 0), D3DXVECTOR3(0, 1, 0), 20.0f, true, false);
        const int expected = copy.Next() % 5 + 5;
        EXPECT_FALSE(object->IsVisible());
        std::size_t gibs = 0;
        for (const CPSmartPtr<CPShot>& shot : manager->GetActiveShots()) {
            if (shot->GetShotName() != "gib1" && shot->GetShotName() != "gib2") continue;
            ++gibs;
            EXPECT_TRUE(Near(shot->GetShotPosition(), D3DXVECTOR3(4, 5, 8.5f)));
            EXPECT_NEAR(D3DXVec3Length(&shot->GetShotDirection()), 1.0f, 1e-4f);
        }
        EXPECT_EQ(gibs, static_cast<std::size_t>(expected)) << seed;
        EXPECT_GE(gibs, 5u);
        EXPECT_LE(gibs, 9u);
    }
    // Gibs only come out of a bleeding enemy.
    manager->RetireAll();
    CPSmartPtr<CPGameObject> object = MakeEnemy();
    Record(object)->effectName = "oil1";
    Record(object)->OnDamage(D3DXVECTOR3(0, 0, 0), D3DXVECTOR3(0, 1, 0), 20.0f, true, false);
    EXPECT_TRUE(object->IsVisible());
    EXPECT_TRUE(manager->GetActiveShots().empty());
}

TEST_F(EnemyTest, StoppedAnimationsChooseTheNext) {
    CPSmartPtr<CPGameObject> object = MakeEnemy();
    CPEnemy& enemy = *Record(object);
    Stopped(enemy, "fire_in");
    EXPECT_EQ(enemy.animation.name, "fire");
    EXPECT_EQ(enemy.animation.loopLimit, 1);
    EXPECT_EQ(enemy.animation.reportFrame, 7);
    EXPECT_EQ(enemy.firing, 1);
    enemy.animation.reportFrame = -9;
    Stopped(enemy, "fire");
    EXPECT_EQ(enemy.animation.reportFrame, 7) << "the fire loop starts again, forced";
    enemy.stateTimer = 2.0f;
    Stopped(enemy, "fire_out");
    EXPECT_EQ(enemy.firing, 0);
    EXPECT_EQ(enemy.stateValue, 11);
    EXPECT_EQ(enemy.stateTimer, 0.0f);
    enemy.animation.reportFrame = -9;
    Stopped(enemy, "fire");
    EXPECT_EQ(enemy.animation.reportFrame, -9) << "not firing: nothing";
    // Blows follow blows, chosen at random among the two.
    bool seen[3] = {false, false, false};
    for (int i = 0; i < 40; ++i) {
        Stopped(enemy, i % 2 ? "melee1" : "melee2");
        ASSERT_TRUE(enemy.meleeName == "melee1" || enemy.meleeName == "melee2");
        const int n = enemy.meleeName == "melee1" ? 1 : 2;
        seen[n] = true;
        EXPECT_EQ(enemy.animation.name, enemy.meleeName);
        EXPECT_EQ(enemy.animation.reportFrame, enemy.melee[n].reportFrame);
        EXPECT_EQ(enemy.animation.loopLimit, 1);
    }
    EXPECT_TRUE(seen[1] && seen[2]);
    EXPECT_TRUE(object->IsCollision());
    Stopped(enemy, "death2");
    EXPECT_FALSE(object->IsCollision());
    // Any other animation: nothing.
    object->SetCollision(true);
    Stopped(enemy, "walk");
    EXPECT_TRUE(object->IsCollision());
}

} // namespace
