// The racer's weapons: the kind table, slot stepping, ammunition and rate of fire, what each
// kind launches, the flamethrower's ticks and the shell casings.

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "Framework/CommandRouter.h"
#include "Framework/PGlobalTimer.h"
#include "Platform/System/Random.h"
#include "Scene/PParticleDesc.h"
#include "World/PLevel.h"
#include "World/PPhysicData.h"
#include "World/PPlayer.h"
#include "World/PWeaponMath.h"
#include "support/FreshStore.h"
#include "support/RecordingRouter.h"

namespace {

constexpr float kPi = 3.14159265f;

// Counts the damage an object is told of.
class DamageLog : public IPEnemyHooks {
public:
    explicit DamageLog(std::vector<float>* log) : m_log(log) {}
    void OnAnimationStopped() override {}
    void OnAnimationReport() override {}
    void OnDamage(const D3DXVECTOR3&, const D3DXVECTOR3&, float amount, bool, bool) override {
        m_log->push_back(amount);
    }

private:
    std::vector<float>* m_log;
};

struct Weapons : ::testing::Test {
    Weapons() {
        SetCommandRouter(&router);
        SPRacerObservers observers;
        observers.sound = [this](const std::string& name) { sounds.push_back(name); };
        observers.shot = [this](const SPShotRequest& shot) { shots.push_back(shot); };
        observers.particle = [this](const SPParticleDesc& p) { particles.push_back(p); };
        CPPlayer::SetObservers(observers);
        oldDelta = g_deltaTime;
        g_deltaTime = 1.0f / 60.0f;
        Platform::EngineSeed(7);
        racer = CPSmartPtr<CPPlayer>(new CPPlayer);
        racer->SetPosition(10.0f, 20.0f, 1.0f);
    }
    ~Weapons() override {
        CPPlayer::SetObservers({});
        g_deltaTime = oldDelta;
        SetCommandRouter(old);
    }

    // The weapon's model, its four flares and its catalog record, mounted in the slot.
    CPGameObject* Mount(int slot, const std::string& name, int value1 = 1, int value6 = 4, float value7 = 10.0f,
                        float value4 = 30.0f) {
        CPSmartPtr<CPGameObject> model(new CPGameObject(name));
        model->SetPosition(0.0f, -1.0f, 0.5f);
        racer->AddChild(model);
        for (const char* suffix : {"", "_01", "_02", "_03"}) {
            CPSmartPtr<CPGameObject> flare(new CPGameObject("flare_" + name + suffix));
            flare->SetPosition(0.0f, -0.5f, 0.0f);
            model->AddChild(flare);
        }
        SPWeaponInfo info;
        info.value1 = value1;
        info.value4 = value4;
        info.value6 = value6;
        info.value7 = value7;
        gameData->weaponCatalog.byName[name] = info;
        gameData->realCar.weapons[static_cast<std::size_t>(slot)] = name;
        racer->UpdateTransform();
        return model.Get();
    }

    void Fire(const D3DXVECTOR3& aim = D3DXVECTOR3(10.0f, 0.0f, 1.0f)) {
        racer->firing = true;
        racer->fireCooldown = -1.0f;
        racer->UpdateFiring(aim, CPSmartPtr<CPGameObject>());
    }

    // How many commands went to "target:command".
    int Count(const std::string& targetAndCommand) const {
        int n = 0;
        for (const auto& c : router.sent) n += (c.target + ":" + c.command) == targetAndCommand;
        return n;
    }

    kxtest::FreshGameData gameData;
    kxtest::RecordingRouter router;
    IPCommandRouter* old = GetCommandRouter();
    float oldDelta = 0.0f;
    CPSmartPtr<CPPlayer> racer;
    std::vector<std::string> sounds;
    std::vector<SPShotRequest> shots;
    std::vector<SPParticleDesc> particles;
};

TEST(WeaponKind, NamesMapToKinds) {
    const std::pair<const char*, int> cases[] = {
        {"lgun", 0},        {"mgun", 0},        {"mgun2x", 0}, {"lgun2x", 1},  {"hmgun", 2},
        {"ssrlauncher", 3}, {"rlauncher", 4},   {"plasma", 5}, {"shotgun", 6}, {"autoshotgun", 6},
        {"gauss", 7},       {"firethrower", 8}, {"", 9},       {"MGUN", 9},    {"laser", 9},
    };
    for (const auto& [name, kind] : cases) EXPECT_EQ(CPPlayer::WeaponKind(name), kind) << name;
}

TEST_F(Weapons, ThreeEmptySlotsStepToNone) {
    racer->SelectNextWeapon();
    EXPECT_EQ(racer->weaponSlot, -1);
    racer->SelectPrevWeapon();
    EXPECT_EQ(racer->weaponSlot, -1);
    EXPECT_EQ(sounds, (std::vector<std::string>{"change_weapon", "undo_weapon"}));
    EXPECT_FALSE(racer->weaponModel);
}

TEST_F(Weapons, OneNameInSlotOneIsReachedBothWays) {
    CPGameObject* model = Mount(1, "mgun");
    racer->SelectPrevWeapon();
    EXPECT_EQ(racer->weaponSlot, 1);
    EXPECT_EQ(racer->weaponModel.Get(), model);
    EXPECT_TRUE(model->IsVisible());
    racer->SelectPrevWeapon();
    racer->SelectNextWeapon();
    EXPECT_EQ(racer->weaponSlot, 1);
    EXPECT_EQ(sounds, (std::vector<std::string>{"change_weapon", "undo_weapon", "undo_weapon"}));
    // From no slot, previous reaches the last slot and next the first.
    Mount(0, "lgun");
    Mount(2, "gauss");
    racer->weaponSlot = -1;
    racer->SelectPrevWeapon();
    EXPECT_EQ(racer->weaponSlot, 2);
    racer->weaponSlot = -1;
    racer->SelectNextWeapon();
    EXPECT_EQ(racer->weaponSlot, 0);
    EXPECT_EQ(racer->weaponName, "lgun");
}

TEST_F(Weapons, SelectionHidesTheOldModelAndTheFlares) {
    CPGameObject* first = Mount(0, "mgun");
    CPGameObject* second = Mount(1, "gauss");
    racer->SelectWeapon();
    ASSERT_EQ(racer->weaponModel.Get(), first);
    racer->SelectNextWeapon();
    EXPECT_FALSE(first->IsVisible());
    EXPECT_TRUE(second->IsVisible());
    EXPECT_EQ(racer->weaponKind, 7);
    EXPECT_EQ(racer->flareIndex, 3);
    EXPECT_FALSE(racer->flareShown);
    for (const auto& flare : racer->muzzleFlares) {
        ASSERT_TRUE(flare);
        EXPECT_FALSE(flare->IsVisible());
    }
}

TEST_F(Weapons, AMissingPieceLeavesNoWeaponInUse) {
    struct Case {
        const char* what;
        void (*breakIt)(Weapons&);
    };
    const Case cases[] = {
        {"catalog record", [](Weapons& t) { t.gameData->weaponCatalog.byName.clear(); }},
        {"model", [](Weapons& t) { t.racer = CPSmartPtr<CPPlayer>(new CPPlayer); }},
        {"flare",
         [](Weapons& t) {
             CPSmartPtr<CPGameObject> fresh(new CPGameObject("mgun"));
             CPSmartPtr<CPPlayer> other(new CPPlayer);
             other->AddChild(fresh);
             for (const char* s : {"", "_01", "_02"})
                 fresh->AddChild(CPSmartPtr<CPGameObject>(new CPGameObject(std::string("flare_mgun") + s)));
             t.racer = other;
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        racer = CPSmartPtr<CPPlayer>(new CPPlayer);
        Mount(0, "mgun");
        c.breakIt(*this);
        racer->SelectWeapon();
        EXPECT_FALSE(racer->weaponModel);
        Fire();
        EXPECT_TRUE(shots.empty());
    }
}

TEST_F(Weapons, FourShotsFromALoadOfFourTheFifthRefused) {
    Mount(0, "mgun", 1, 4);
    racer->SelectWeapon();
    for (int i = 0; i < 4; ++i) {
        EXPECT_FALSE(racer->outOfAmmo) << i;
        Fire();
    }
    EXPECT_EQ(shots.size(), 4u);
    EXPECT_FLOAT_EQ(racer->ammo[0], 0.0f);
    EXPECT_TRUE(racer->outOfAmmo);
    Fire();
    EXPECT_EQ(shots.size(), 4u);
    for (const SPShotRequest& s : shots) EXPECT_EQ(s.name, "trasser11");
    // A casing per shot; the interface hears of every shot.
    EXPECT_EQ(particles.size(), 4u);
    EXPECT_EQ(Count("gamemenu:update_game_interface"), 4);
}

TEST_F(Weapons, AnEmptySlotIsToldToTheInterfaceAndRefused) {
    Mount(0, "mgun", 1, 4);
    racer->SelectWeapon();
    racer->ammo[0] = 0.1f;
    router.sent.clear();
    racer->outOfAmmo = false;
    Fire();
    EXPECT_TRUE(shots.empty());
    EXPECT_TRUE(racer->outOfAmmo);
    EXPECT_EQ(Count("gamemenu:update_game_interface"), 1);
}

TEST_F(Weapons, OutOfAmmoFollowsTheSlot) {
    Mount(0, "mgun", 1, 4);
    Mount(1, "gauss", 1, 4);
    racer->ammo[0] = 0.0f;
    racer->SelectWeapon();
    EXPECT_TRUE(racer->outOfAmmo);
    racer->SelectNextWeapon();
    EXPECT_FALSE(racer->outOfAmmo);
    Fire();
    EXPECT_EQ(shots.size(), 1u);
    racer->SelectPrevWeapon();
    EXPECT_TRUE(racer->outOfAmmo);
}

TEST_F(Weapons, AShotgunFiresItsPelletsAndCasings) {
    Mount(0, "shotgun", 8, 40);
    racer->SelectWeapon();
    Fire();
    ASSERT_EQ(shots.size(), 8u);
    int casings = 0;
    for (const SPParticleDesc& p : particles) casings += p.name == "gilze";
    EXPECT_EQ(casings, 8);
    EXPECT_FLOAT_EQ(racer->ammo[0], 1.0f - 8.0f / 40.0f);
    // The aim lies straight ahead (-y): the pellets leave within 0.4 rad of it.
    const D3DXVECTOR3 axis(0.0f, -1.0f, 0.0f);
    for (const SPShotRequest& s : shots) {
        EXPECT_EQ(s.name, "trasser13");
        EXPECT_NEAR(D3DXVec3Length(&s.direction), 1.0f, 1e-4f);
        EXPECT_GT(D3DXVec3Dot(&s.direction, &axis), std::cos(0.45f));
    }
}

TEST_F(Weapons, WithoutARigidTargetShotsLeaveHorizontally) {
    Mount(0, "gauss");
    racer->SelectWeapon();
    Fire(D3DXVECTOR3(30.0f, 40.0f, 80.0f));
    ASSERT_EQ(shots.size(), 1u);
    EXPECT_EQ(shots[0].name, "gauss1");
    EXPECT_FLOAT_EQ(shots[0].direction.z, 0.0f);
    EXPECT_NEAR(D3DXVec3Length(&shots[0].direction), 1.0f, 1e-5f);
    EXPECT_FLOAT_EQ(shots[0].speed, 30.0f);
    // A target without a rigid body changes nothing.
    CPSmartPtr<CPGameObject> target(new CPGameObject("crate"));
    target->SetPhysicData(CPSmartPtr<IPPhysicData>(new CPPhysicData(target.Get())));
    racer->fireCooldown = -1.0f;
    racer->UpdateFiring(D3DXVECTOR3(30.0f, 40.0f, 80.0f), target);
    ASSERT_EQ(shots.size(), 2u);
    EXPECT_FLOAT_EQ(shots[1].direction.z, 0.0f);
}

TEST_F(Weapons, AnAimStraightAboveShootsTheCarsWay) {
    Mount(0, "gauss");
    racer->SelectWeapon();
    const D3DXMATRIX& world = racer->weaponModel->GetWorldMatrix();
    const D3DXVECTOR3 gun(world._41, world._42, world._43);
    Fire(D3DXVECTOR3(gun.x, gun.y, gun.z + 10.0f));
    ASSERT_EQ(shots.size(), 1u);
    EXPECT_NEAR(shots[0].direction.x, 0.0f, 1e-6f);
    EXPECT_NEAR(shots[0].direction.y, -1.0f, 1e-6f);
}

TEST_F(Weapons, RocketElevation) {
    EXPECT_NEAR(WeaponMath::RocketElevation(289.0f / 9.8f), kPi / 4.0f, 1e-4f);
    EXPECT_NEAR(WeaponMath::RocketElevation(100.0f), kPi / 4.0f, 1e-6f);
    EXPECT_NEAR(WeaponMath::RocketElevation(0.0f), kPi / 2.0f, 1e-6f);
    EXPECT_GT(WeaponMath::RocketElevation(1.0f), WeaponMath::RocketElevation(10.0f));
    Mount(0, "rlauncher");
    racer->SelectWeapon();
    Fire(D3DXVECTOR3(60.0f, 20.0f, 1.0f));
    ASSERT_EQ(shots.size(), 1u);
    EXPECT_EQ(shots[0].name, "rocket1");
    // The angle itself rides in the third component.
    EXPECT_NEAR(shots[0].direction.z, kPi / 4.0f, 1e-5f);
}

TEST_F(Weapons, RateOfFireFollowsTheWeapon) {
    Mount(0, "mgun", 1, 100000, 10.0f);
    racer->SelectWeapon();
    racer->firing = true;
    for (int frame = 0; frame < 600; ++frame) {
        racer->UpdateFiring(D3DXVECTOR3(10.0f, 0.0f, 1.0f), CPSmartPtr<CPGameObject>());
        racer->Update(g_deltaTime);
    }
    EXPECT_NEAR(static_cast<double>(shots.size()), 100.0, 1.0);
    // A faster weapon than the frame rate fires once a frame.
    shots.clear();
    racer->rateFactor = 20.0f;
    for (int frame = 0; frame < 60; ++frame) {
        racer->UpdateFiring(D3DXVECTOR3(10.0f, 0.0f, 1.0f), CPSmartPtr<CPGameObject>());
        racer->Update(g_deltaTime);
    }
    EXPECT_EQ(shots.size(), 60u);
}

TEST_F(Weapons, TheFlareCyclesAndStaysShown) {
    Mount(0, "lgun2x");
    racer->SelectWeapon();
    Fire();
    EXPECT_EQ(racer->flareIndex, 0);
    EXPECT_TRUE(racer->muzzleFlares[0]->IsVisible());
    EXPECT_TRUE(racer->flareShown);
    EXPECT_FLOAT_EQ(racer->flareTime, 0.1f);
    Fire();
    EXPECT_EQ(racer->flareIndex, 1);
    EXPECT_FALSE(racer->muzzleFlares[0]->IsVisible());
    EXPECT_TRUE(racer->muzzleFlares[1]->IsVisible());
    // The shot leaves from the flare.
    const D3DXMATRIX& m = racer->muzzleFlares[1]->GetWorldMatrix();
    EXPECT_EQ(shots[1].position, D3DXVECTOR3(m._41, m._42, m._43));
}

TEST_F(Weapons, KindsLaunchTheirShots) {
    struct Case {
        const char* weapon;
        const char* shot;
    };
    const Case cases[] = {{"hmgun", "trasser12"}, {"ssrlauncher", "srocket1"}, {"plasma", "plazma"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.weapon);
        shots.clear();
        racer = CPSmartPtr<CPPlayer>(new CPPlayer);
        Mount(0, c.weapon);
        racer->SelectWeapon();
        Fire();
        ASSERT_EQ(shots.size(), 1u);
        EXPECT_EQ(shots[0].name, c.shot);
    }
    // The plasma leaves from its flare's own origin, owned by the flare.
    EXPECT_EQ(shots[0].position, D3DXVECTOR3(0.0f, 0.0f, 0.0f));
    EXPECT_EQ(shots[0].direction, D3DXVECTOR3(0.0f, -1.0f, 0.0f));
    EXPECT_EQ(shots[0].owner, racer->muzzleFlares[0].Get());
}

TEST_F(Weapons, AnUnknownWeaponLaunchesNothingButCountsAmmo) {
    Mount(0, "laser", 1, 4);
    racer->SelectWeapon();
    racer->ammo[0] = 0.3f;
    Fire();
    EXPECT_TRUE(shots.empty());
    EXPECT_FLOAT_EQ(racer->ammo[0], 0.3f);
    // Left below the cost although nothing was spent.
    EXPECT_TRUE(racer->outOfAmmo);
}

TEST_F(Weapons, TheHeavyGunsBarrelSpinsWhileHeld) {
    CPGameObject* model = Mount(0, "hmgun");
    CPSmartPtr<CPGameObject> barrel(new CPGameObject("stvol"));
    model->AddChild(barrel);
    racer->SelectWeapon();
    racer->firing = true;
    racer->UpdateFiring(D3DXVECTOR3(10.0f, 0.0f, 1.0f), CPSmartPtr<CPGameObject>());
    EXPECT_FLOAT_EQ(racer->barrelAngle, g_deltaTime * 10.5f);
    const D3DXQUATERNION q = barrel->GetRotationQuaternion();
    EXPECT_NEAR(q.y, std::sin(racer->barrelAngle / 2.0f), 1e-6f);
    EXPECT_NEAR(q.x, 0.0f, 1e-6f);
    racer->firing = false;
    racer->UpdateFiring(D3DXVECTOR3(10.0f, 0.0f, 1.0f), CPSmartPtr<CPGameObject>());
    EXPECT_FLOAT_EQ(racer->barrelAngle, g_deltaTime * 10.5f);
}

TEST_F(Weapons, FlamethrowerTicksDamageEachTouchedObjectOnce) {
    Mount(0, "firethrower", 1, 100, 10.0f, 7.0f);
    racer->SelectWeapon();
    std::vector<float> log;
    CPSmartPtr<CPGameObject> a(new CPGameObject("a"));
    CPSmartPtr<CPGameObject> b(new CPGameObject("b"));
    a->SetEnemy(std::make_unique<DamageLog>(&log));
    b->SetEnemy(std::make_unique<DamageLog>(&log));
    racer->flameTick = 0.0f;
    racer->hitObjects = {a, b};
    g_deltaTime = 0.1f;
    racer->UpdateFiring(D3DXVECTOR3(10.0f, 0.0f, 1.0f), CPSmartPtr<CPGameObject>());
    EXPECT_EQ(log, (std::vector<float>{7.0f, 7.0f}));
    EXPECT_TRUE(racer->hitObjects.empty());
    // Objects touched before the last step are gone from the set.
    racer->UpdateFiring(D3DXVECTOR3(10.0f, 0.0f, 1.0f), CPSmartPtr<CPGameObject>());
    EXPECT_EQ(log.size(), 2u);
    // A frame over 0.2 s runs several ticks on the same objects.
    log.clear();
    racer->flameTick = 0.0f;
    racer->hitObjects = {a};
    g_deltaTime = 0.5f;
    racer->UpdateFiring(D3DXVECTOR3(10.0f, 0.0f, 1.0f), CPSmartPtr<CPGameObject>());
    EXPECT_EQ(log.size(), 3u);
    // An endless frame does not hang.
    racer->hitObjects = {a};
    g_deltaTime = 1e30f;
    racer->UpdateFiring(D3DXVECTOR3(10.0f, 0.0f, 1.0f), CPSmartPtr<CPGameObject>());
    EXPECT_GT(racer->flameTick, 0.0f);
}

TEST_F(Weapons, FlamethrowerEmitsABurningParticle) {
    Mount(0, "firethrower");
    racer->SelectWeapon();
    Fire();
    ASSERT_EQ(particles.size(), 1u);
    const SPParticleDesc& p = particles[0];
    EXPECT_EQ(p.name, "firethrower");
    EXPECT_NEAR(D3DXVec3Length(&p.velocity), 14.0f, 1e-3f);
    EXPECT_GE(p.life, 0.8f);
    EXPECT_LE(p.life, 1.1f);
    EXPECT_TRUE(shots.empty());
}

TEST_F(Weapons, TheCasingLeavesTheModelSideways) {
    CPGameObject* model = Mount(0, "mgun");
    const D3DXMATRIX& world = model->GetWorldMatrix();
    racer->EjectShellCasing(model);
    ASSERT_EQ(particles.size(), 1u);
    const SPParticleDesc& p = particles[0];
    EXPECT_EQ(p.name, "gilze");
    EXPECT_EQ(p.position, D3DXVECTOR3(world._41, world._42, world._43));
    const float speed = D3DXVec3Length(&p.velocity) / std::sqrt(5.0f);
    EXPECT_GE(speed, 4.0f);
    EXPECT_LE(speed, 5.0f);
    EXPECT_EQ(p.acceleration, D3DXVECTOR3(0.0f, 0.0f, -24.8f));
    EXPECT_FLOAT_EQ(p.size, 0.2f);
    EXPECT_GE(p.life, 1.0f);
    EXPECT_LE(p.life, 2.0f);
    EXPECT_FALSE(p.fade);
    EXPECT_FALSE(p.bounce);
}

TEST_F(Weapons, ADeadRacerNeitherSelectsNorFires) {
    Mount(0, "mgun");
    racer->dead = true;
    racer->SelectWeapon();
    EXPECT_FALSE(racer->weaponModel);
    racer->dead = false;
    racer->SelectWeapon();
    racer->dead = true;
    Fire();
    EXPECT_TRUE(shots.empty());
}

TEST_F(Weapons, TheFlamesCollectWhatTheyTouchOnce) {
    CPLevel level;
    CPSmartPtr<CPPlayer> target(new CPPlayer);
    target->PartBoxes().push_back(CPOrientedBox(D3DXVECTOR3(0, 0, 0), D3DXVECTOR3(1, 1, 1)));
    target->SetCollision(true);
    target->SetPosition(5.0f, 0.0f, 0.0f);
    target->UpdateTransform();
    level.humanRacer = target;
    SPParticle flame;
    flame.previousPosition = D3DXVECTOR3(0, 0, 0);
    flame.position = D3DXVECTOR3(5, 0, 0);
    flame.size = 0.5f;
    flame.age = 0.1f;
    CPPlayer::TraceHit(racer.Get(), &flame);
    ASSERT_EQ(racer->hitObjects.size(), 1u);
    EXPECT_EQ(racer->hitObjects[0], target);
    // The particle ends with its hit.
    EXPECT_FLOAT_EQ(flame.age, 1000.0f);
    flame.age = 0.1f;
    CPPlayer::TraceHit(racer.Get(), &flame);
    EXPECT_EQ(racer->hitObjects.size(), 1u);
    // Nothing near: the particle flies on.
    flame.position = D3DXVECTOR3(40, 40, 0);
    flame.previousPosition = D3DXVECTOR3(39, 40, 0);
    flame.age = 0.1f;
    CPPlayer::TraceHit(racer.Get(), &flame);
    EXPECT_FLOAT_EQ(flame.age, 0.1f);
    // The firing racer never burns itself.
    racer->hitObjects.clear();
    racer->PartBoxes().push_back(CPOrientedBox(D3DXVECTOR3(0, 0, 0), D3DXVECTOR3(1, 1, 1)));
    racer->SetCollision(true);
    racer->SetPosition(5.0f, 0.0f, 0.0f);
    racer->UpdateTransform();
    level.humanRacer = racer;
    flame.previousPosition = D3DXVECTOR3(0, 0, 0);
    flame.position = D3DXVECTOR3(5, 0, 0);
    CPPlayer::TraceHit(racer.Get(), &flame);
    EXPECT_TRUE(racer->hitObjects.empty());
    // Without a level or an owner nothing happens.
    level.humanRacer = target;
    EXPECT_EQ(CPPlayer::TraceHit(nullptr, &flame), 0);
    EXPECT_EQ(CPPlayer::TraceHit(racer.Get(), nullptr), 0);
}

TEST(WeaponMath, TheTurnFromUpHandlesItsDegenerateAxes) {
    const D3DXVECTOR3 up(0.0f, 1.0f, 0.0f);
    struct Case {
        D3DXVECTOR3 direction;
        D3DXVECTOR3 expected;
    };
    const Case cases[] = {
        {D3DXVECTOR3(0.0f, 1.0f, 0.0f), D3DXVECTOR3(0.0f, 1.0f, 0.0f)},
        {D3DXVECTOR3(0.0f, -1.0f, 0.0f), D3DXVECTOR3(0.0f, -1.0f, 0.0f)},
        {D3DXVECTOR3(0.0f, 0.0f, 0.0f), D3DXVECTOR3(0.0f, 1.0f, 0.0f)},
        {D3DXVECTOR3(1.0f, 0.0f, 0.0f), D3DXVECTOR3(1.0f, 0.0f, 0.0f)},
        {D3DXVECTOR3(0.0f, 0.0f, 1.0f), D3DXVECTOR3(0.0f, 0.0f, 1.0f)},
    };
    for (const Case& c : cases) {
        const D3DXMATRIX m = WeaponMath::TurnFromUp(c.direction, std::acos(c.direction.y));
        D3DXVECTOR3 out;
        D3DXVec3TransformNormal(&out, &up, &m);
        EXPECT_NEAR(out.x, c.expected.x, 1e-5f);
        EXPECT_NEAR(out.y, c.expected.y, 1e-5f);
        EXPECT_NEAR(out.z, c.expected.z, 1e-5f);
    }
}

} // namespace
