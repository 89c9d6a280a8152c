// The combat functions from scripts: shots and explosions through the shot manager's pools, the
// bonuses dropped on checkpoints and the bonus list in the store, damage and death, the trigger
// and the weapon choice, and the knocks the player's car takes.

#include <cmath>
#include <string>
#include <vector>

#include "Game/Combat/CombatFixture.h"
#include "GameData/PGameData.h"
#include "Physics/RbBody.h"
#include "Platform/System/Random.h"
#include "World/PCar.h"
#include "World/PLevel.h"

namespace {

using kxcombat::Reports;
using kxcombat::ScriptWorld;
using kxcombat::Strings;

class CombatScripts : public ScriptWorld {};

TEST_F(CombatScripts, ShotLaunchesFromThePointInTheObjectsFrameWhileTheLevelRuns) {
    LoadLevel();
    CPSmartPtr<CPGameObject> gun(new CPGameObject("gun"));
    D3DXQUATERNION quarter;
    const D3DXVECTOR3 z(0.0f, 0.0f, 1.0f);
    D3DXQuaternionRotationAxis(&quarter, &z, 1.5707964f);
    gun->SetPosition(10.0f, 20.0f, 0.0f);
    gun->SetRotation(quarter);
    gun->UpdateTransform();
    Global("gun", gun.Get());
    Run(Globals() + "Shot('blast', gun, 1, 0, 3, 7, 8, 9)\n"
                    "Shot('blast', nil, 1, 0, 3)\n"
                    "Shot('blast', 'gun', 1, 0, 3)\n"
                    "Shot('nothing', gun, 1, 0, 3)\n");
    // A quarter turn about z takes local x onto world y.
    EXPECT_EQ(Launched(), (Strings{"blast@10,21,3"}));

    // Stopping the level retires every shot under way; a stopped level launches no more.
    race.level->Stop();
    ASSERT_TRUE(Launched().empty());
    Run(Globals() + "Shot('blast', gun, 1, 0, 3)\n");
    EXPECT_TRUE(Launched().empty());
}

TEST_F(CombatScripts, ShotNeedsItsNameAndALevel) {
    CPSmartPtr<CPGameObject> gun(new CPGameObject("gun"));
    Global("gun", gun.Get());
    Run(Globals() + "Shot('blast', gun, 1, 2, 3)\n");
    EXPECT_TRUE(Launched().empty());
    EXPECT_EQ(Run(Globals() + "Report(pcall(Shot))\n").size(), 1u);
    EXPECT_NE(Reports()[0].find("false|"), std::string::npos);
    EXPECT_NE(Reports()[0].find("string expected"), std::string::npos) << Reports()[0];
}

TEST_F(CombatScripts, ExplosionsLaunchFromTheShotTableWithoutALevel) {
    Run("Explosion('blast', 1, 2, 3)\n"
        "DirectionalExplosion('sparks', 4, 5, 6, 0, 1, 0)\n"
        "Explosion('unknown', 1, 2, 3)\n"
        "Explosion(nil, 1, 2, 3)\n"
        "DirectionalExplosion()\n");
    ASSERT_EQ(Launched(), (Strings{"blast@1,2,3", "sparks@4,5,6"}));
    // A shot is turned so that its local -y lies along the direction it was given.
    const CPShot& sparks = *shots->GetActiveShots()[1];
    const D3DXQUATERNION expected = CPShot::LaunchRotation(D3DXVECTOR3(0.0f, 1.0f, 0.0f));
    const D3DXQUATERNION& q = sparks.GetRotationQuaternion();
    EXPECT_NEAR(std::fabs(q.x * expected.x + q.y * expected.y + q.z * expected.z + q.w * expected.w), 1.0f, 1e-5f);
}

// The checkpoint lines the bonus tests use: no chance with two kinds, certain with two kinds.
const char* const kBonusMission = "1 0 0 0 none 0 medkit,50;ammo,50\n"
                                  "2 0 0 0 none 100 medkit,50;ammo,50\n";

// The first millisecond from `from` whose seed makes the first draw modulo 100 equal (or not)
// to zero.
std::uint32_t MillisecondWhereFirstDrawIsZero(bool zero, std::uint32_t from = 0) {
    for (std::uint32_t t = from;; ++t) {
        Platform::EngineRandom random(t);
        if ((random.Next() % 100 == 0) == zero) return t;
    }
}

std::string BonusOf(std::uint32_t millisecond) {
    Platform::EngineRandom random(millisecond);
    random.Next();
    return random.Next() % 100 < 50 ? "medkit" : "ammo";
}

class BonusScripts : public ScriptWorld {
protected:
    void SetUp() override {
        race.store.Write("Data/Levels/bonus.txt", kBonusMission);
        ASSERT_TRUE(race.store->LoadMissionInfo("bonus.txt", nullptr));
        ASSERT_EQ(race.store->checkpointInfos.size(), 2u);
        race.store->coefficients[2] = 1.0f;
    }
    void At(std::uint32_t millisecond) {
        clock.AdvanceSeconds(0.0);
        while (clock.TimeGetTime() < millisecond) clock.AdvanceTicks(1000);
    }
};

TEST_F(BonusScripts, ANoChanceBonusFallsExactlyWhenTheSeededDrawIsZero) {
    const std::uint32_t hit = MillisecondWhereFirstDrawIsZero(true);
    const std::uint32_t miss = MillisecondWhereFirstDrawIsZero(false, hit + 1);
    At(hit);
    Run("SetBonus(5, 6, 0)\n");
    ASSERT_EQ(Launched(), (Strings{BonusOf(hit) + "@5,6,0"}));
    At(miss);
    Run("SetBonus(5, 6, 0)\n");
    EXPECT_EQ(Launched().size(), 1u);
}

TEST_F(BonusScripts, TwoCallsInOneMillisecondDrawAlike) {
    At(1234);
    Run("SetBonus(1, 1, 1) SetBonus(2, 2, 1.9)\n");
    const std::string kind = BonusOf(1234);
    EXPECT_EQ(Launched(), (Strings{kind + "@1,1,0", kind + "@2,2,0"}));
    // The generator was seeded from the clock, not left where it was.
    Platform::EngineRandom random(1234);
    random.Next();
    random.Next();
    EXPECT_EQ(Platform::Random().State(), random.State());
}

TEST_F(BonusScripts, AnIndexOutsideTheCheckpointLinesDoesNothing) {
    At(MillisecondWhereFirstDrawIsZero(true));
    Platform::EngineSeed(77);
    Run("SetBonus(1, 1, 2) SetBonus(1, 1, -1) SetBonus(1, 1, 1e300) SetBonus(1, 1, -1e300)\n");
    EXPECT_TRUE(Launched().empty());
    // Nothing was drawn, and the generator was not seeded again.
    EXPECT_EQ(Platform::Random().State(), Platform::EngineRandom(77).State());
}

TEST_F(CombatScripts, TheBonusListKeepsObjectsWithTheirValues) {
    CPSmartPtr<CPGameObject> a(new CPGameObject("a"));
    CPSmartPtr<CPGameObject> b(new CPGameObject("b"));
    CPSmartPtr<CPGameObject> stranger(new CPGameObject("c"));
    Global("a", a.Get());
    Global("b", b.Get());
    Global("c", stranger.Get());
    const std::string show = "local function show(list)\n"
                             "  local out = {}\n"
                             "  for i = 1, #list do\n"
                             "    local e = list[i]\n"
                             "    local who = PointerToString(e[1])\n"
                             "    if who == PointerToString(a) then who = 'a' elseif who == PointerToString(b) then "
                             "who = 'b' end\n"
                             "    out[#out + 1] = who .. '=' .. e[2]\n"
                             "  end\n"
                             "  return table.concat(out, ',')\n"
                             "end\n";
    const int before = a->GetRefCount();
    EXPECT_EQ(Run(Globals() + show +
                  "AddBonus(a, 5) AddBonus(b, 7.9) AddBonus(nil, 9)\n"
                  "Report(GetBonusesCount(), show(GetBonusList()))\n"
                  "Report(show(GetBonusList('x', {}, a, 3)))\n"),
              (Strings{"3|a=5,b=7,0=9", "a=5,b=7,0=9"}));
    EXPECT_EQ(race.store->bonusCount, 3);
    EXPECT_EQ(a->GetRefCount(), before + 1);

    EXPECT_EQ(Run(Globals() + show +
                  "EraseBonus(a) Report(GetBonusesCount(), show(GetBonusList()))\n"
                  "EraseBonus(c) Report(GetBonusesCount(), show(GetBonusList()))\n"
                  "EraseBonus(nil) Report(GetBonusesCount(), show(GetBonusList()))\n"),
              (Strings{"2|b=7,0=9", "2|b=7,0=9", "1|b=7"}));
    EXPECT_EQ(race.store->bonusCount, 0);
    EXPECT_EQ(a->GetRefCount(), before);

    EXPECT_EQ(Run("ClearBonuses() Report(GetBonusesCount(), #GetBonusList())\n"), (Strings{"0|0"}));
    EXPECT_EQ(race.store->bonusCount, 0);
    EXPECT_EQ(b->GetRefCount(), before);
}

TEST_F(CombatScripts, ClearBonusesKeepsTheCount) {
    Run("AddBonus(nil, 1) AddBonus(nil, 2) ClearBonuses()\n");
    EXPECT_TRUE(race.store->bonusList.empty());
    EXPECT_EQ(race.store->bonusCount, 2);
}

TEST_F(CombatScripts, DamageToExactlyNothingLeftIsStillAlive) {
    LoadLevel();
    race.store->coefficients[1] = 1.0f;
    CPSmartPtr<CPPlayer> racer = race.PlaceOpponent(D3DXVECTOR3(10.0f, 0.0f, 0.5f));
    racer->health = 100.0f;
    CPSmartPtr<CPGameObject> plain(new CPGameObject("plain"));
    Global("racer", racer.Get());
    Global("plain", plain.Get());
    EXPECT_EQ(Run(Globals() + "Report(DamagePlayer(racer, 60), DamagePlayer(racer, 40))\n"
                              "Report(DamagePlayer(racer, 1))\n"
                              "Report(DamagePlayer(nil, 5), DamagePlayer(plain, 5), DamagePlayer())\n"),
              (Strings{"true|true", "false", "true|true|true"}));
    EXPECT_EQ(racer->health, 0.0f);
}

TEST_F(CombatScripts, KillPlayerTakesTheRacerOutOfSight) {
    LoadLevel();
    CPSmartPtr<CPPlayer> racer = race.PlaceOpponent(D3DXVECTOR3(10.0f, 0.0f, 0.5f));
    racer->raceFlag = true;
    Global("racer", racer.Get());
    Run(Globals() + "KillPlayer(racer) KillPlayer(nil) KillPlayer()\n");
    EXPECT_FALSE(racer->IsVisible());
    EXPECT_FALSE(racer->IsCollision());
    EXPECT_FALSE(racer->raceFlag);
}

TEST_F(CombatScripts, TheTriggerHoldsOnlyWithAWeaponAndRoundsLeft) {
    CPSmartPtr<CPPlayer> racer(new CPPlayer());
    Global("racer", racer.Get());
    struct Case {
        int slot;
        bool outOfAmmo;
        int kind;
        const char* call;
        bool firing;
        float flameTick;
    };
    const Case cases[] = {
        {0, false, 0, "SetShot(racer, true)", true, 0.5f},   {-1, false, 0, "SetShot(racer, true)", false, 0.5f},
        {1, true, 0, "SetShot(racer, true)", false, 0.5f},   {2, false, 8, "SetShot(racer, true)", true, 0.0f},
        {2, false, 8, "SetShot(racer, false)", false, 0.5f}, {2, true, 8, "SetShot(racer, 1)", false, 0.5f},
        {0, false, 0, "SetShot(racer)", false, 0.5f},        {0, false, 0, "SetShot(racer, 0)", true, 0.5f},
    };
    for (const Case& c : cases) {
        racer->weaponSlot = c.slot;
        racer->outOfAmmo = c.outOfAmmo;
        racer->weaponKind = c.kind;
        racer->flameTick = 0.5f;
        racer->firing = !c.firing;
        Run(Globals() + c.call + "\n");
        EXPECT_EQ(racer->firing, c.firing) << c.call << " slot " << c.slot;
        EXPECT_EQ(racer->flameTick, c.flameTick) << c.call << " kind " << c.kind;
    }
    racer->firing = true;
    Run("SetShot(nil, true) SetShot()\n");
    EXPECT_TRUE(racer->firing);
}

TEST_F(CombatScripts, TheMineTriggerHoldsOnlyForARacerWithMines) {
    CPSmartPtr<CPPlayer> racer(new CPPlayer());
    Global("racer", racer.Get());
    Run(Globals() + "SetMineShot(racer, true)\n");
    EXPECT_FALSE(racer->mineShot);
    racer->hasMines = true;
    Run(Globals() + "SetMineShot(racer, true)\n");
    EXPECT_TRUE(racer->mineShot);
    racer->minesEmpty = true;
    Run(Globals() + "SetMineShot(racer, true)\n");
    EXPECT_FALSE(racer->mineShot);
}

TEST_F(CombatScripts, SmartBombSpendsOneSuperWeaponAtThePlayer) {
    race.store->realCar.superWeaponCount = 0;
    Run("SmartBomb()\n");
    EXPECT_TRUE(Launched().empty());
    EXPECT_TRUE(race.router.sent.empty());

    race.store->realCar.superWeaponCount = 1;
    Run("SmartBomb()\n");
    EXPECT_EQ(Launched(), (Strings{"super@0,0,0"}));
    EXPECT_EQ(race.store->realCar.superWeaponCount, 0);
    ASSERT_EQ(race.router.sent.size(), 1u);
    EXPECT_EQ(race.router.sent[0].target, "gamemenu");
    EXPECT_EQ(race.router.sent[0].command, "update_game_interface");
    EXPECT_EQ(race.router.sent[0].params, "");

    LoadLevel(kxtest::RaceFixture::RingLevel(), D3DXVECTOR3(3.0f, 4.0f, 0.5f));
    race.store->realCar.superWeaponCount = 2;
    Run("SmartBomb()\n");
    EXPECT_EQ(Launched().back(), "super@3,4,0.5");
    EXPECT_EQ(race.store->realCar.superWeaponCount, 1);
}

TEST_F(CombatScripts, AttacksWreckThePlayersCarAndSetItSpinning) {
    LoadLevel();
    Run("Attack1() Attack2()\n"); // a player without a car
    CPSmartPtr<CPPlayer> racer = CarRacer(D3DXVECTOR3(0.0f, 0.0f, 1.0f));
    race.level->player = racer.Get();
    CPCar* car = racer->GetCar();
    ASSERT_NE(car, nullptr);
    ASSERT_NE(car->GetRigidBody(), nullptr);

    Run("Attack1()\n");
    EXPECT_TRUE(car->IsCrashed());
    EXPECT_FALSE(racer->knockedOut);
    RbVector l = car->GetRigidBody()->GetAngularMomentum();
    EXPECT_EQ(l.x, 0.0f);
    EXPECT_EQ(l.y, 0.0f);
    EXPECT_EQ(l.z, 100.0f);

    car->SetCrashed(false);
    Run("Attack2()\n");
    EXPECT_TRUE(car->IsCrashed());
    EXPECT_TRUE(racer->knockedOut);
    l = car->GetRigidBody()->GetAngularMomentum();
    EXPECT_EQ(l.x, 0.0f);
    EXPECT_EQ(l.y, 200.0f);
    EXPECT_EQ(l.z, 0.0f);
    race.level->player = nullptr;
}

TEST_F(CombatScripts, Attack1PushesTheCarAlongMinusY) {
    LoadLevel();
    CPSmartPtr<CPPlayer> racer = CarRacer(D3DXVECTOR3(0.0f, 0.0f, 1.0f));
    race.level->player = racer.Get();
    RbRigidBody* body = racer->GetCar()->GetRigidBody();
    const RbVector before = body->GetVelocity();
    Run("Attack1()\n");
    const RbVector after = body->GetVelocity();
    EXPECT_NEAR((after.y - before.y) * body->GetMass(), -50.0f, 1e-2f);
    EXPECT_NEAR(after.x - before.x, 0.0f, 1e-4f);
    race.level->player = nullptr;
}

TEST_F(CombatScripts, TheWeaponChoice) {
    race.store->realCar.weapons = {"gun", "", "rocket"};
    CPSmartPtr<CPPlayer> racer(new CPPlayer());
    CPSmartPtr<CPGameObject> gun(new CPGameObject("gun"));
    CPSmartPtr<CPGameObject> rocket(new CPGameObject("rocket"));
    racer->AddChild(gun);
    racer->AddChild(rocket);
    racer->weaponSlot = 0;
    Global("racer", racer.Get());

    Run(Globals() + "SetNextWeapon(racer)\n");
    EXPECT_EQ(racer->weaponSlot, 2);
    Run(Globals() + "SetNextWeapon(racer)\n");
    EXPECT_EQ(racer->weaponSlot, 0);
    Run(Globals() + "SetPrevWeapon(racer)\n");
    EXPECT_EQ(racer->weaponSlot, 2);
    Run("SetPrevWeapon() SetNextWeapon(nil)\n");
    EXPECT_EQ(racer->weaponSlot, 2);

    // Only the model changes: not the slot, the kind or what is shown.
    racer->weaponKind = 3;
    gun->SetVisible(false);
    Run(Globals() + "SetCurrentWeapon(racer, 'gun')\n");
    EXPECT_EQ(racer->weaponModel.Get(), gun.Get());
    EXPECT_EQ(racer->weaponSlot, 2);
    EXPECT_EQ(racer->weaponKind, 3);
    EXPECT_FALSE(gun->IsVisible());
    Run(Globals() + "SetCurrentWeapon(racer, 'missing')\n");
    EXPECT_FALSE(racer->weaponModel);
    Run(Globals() + "Report(pcall(SetCurrentWeapon, racer))\n");
    ASSERT_EQ(Reports().size(), 1u);
    EXPECT_EQ(Reports()[0].rfind("false|", 0), 0u) << Reports()[0];
}

TEST_F(CombatScripts, WeaponPositionAimsTheHumanRacer) {
    Run("SetWeaponPos(1, 2, 3, nil)\n");
    LoadLevel();
    CPSmartPtr<CPGameObject> target(new CPGameObject("target"));
    Global("target", target.Get());
    Run(Globals() + "SetWeaponPos(7, 8, 9, target)\n");
    EXPECT_EQ(human->aimPoint, D3DXVECTOR3(7.0f, 8.0f, 9.0f));
    Run("SetWeaponPos(1, 2, 3, 'no object')\n");
    EXPECT_EQ(human->aimPoint, D3DXVECTOR3(1.0f, 2.0f, 3.0f));
}

TEST_F(CombatScripts, PlayerShotMarksOnlyALevel) {
    Run("PlayerShot()\n");
    EXPECT_FALSE(ScriptApi::IsPlayerShotMarked());
    LoadLevel();
    Run("PlayerShot()\n");
    EXPECT_TRUE(ScriptApi::IsPlayerShotMarked());
}

} // namespace
