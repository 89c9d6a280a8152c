// A racer's contacts: who attacks whom, shoves, the ground and the walls, and the sparks with
// their per-frame budget.

#include <gtest/gtest.h>

#include <vector>

#include "Framework/PGlobalTimer.h"
#include "Framework/PSettings.h"
#include "Platform/System/Random.h"
#include "Render/PRenderObject.h"
#include "Scene/PParticleDesc.h"
#include "Sound/NSound.h"
#include "World/Car/CarWorldFixture.h"
#include "World/PContacts.h"
#include "World/PRaceCamera.h"

namespace {

using namespace kxcar;

struct Contacts_ : CarWorld {
    Contacts_() {
        SPRacerObservers observers;
        observers.sound = [this](const std::string& name) { sounds.push_back(name); };
        observers.particle = [this](const SPParticleDesc& p) { particles.push_back(p); };
        CPPlayer::SetObservers(observers);
        oldPsystems = g_psystems;
        g_psystems = 25;
        g_frameEventCount = 0;
        Platform::EngineSeed(3);
    }
    ~Contacts_() override {
        CPPlayer::SetObservers({});
        g_psystems = oldPsystems;
        g_frameEventCount = 0;
    }

    // A racer whose body is a racer's (material 1) at the position, moving with the velocity.
    CPSmartPtr<CPPlayer> Racer(const D3DXVECTOR3& position, const D3DXVECTOR3& velocity) {
        CPSmartPtr<CPPlayer> racer = MakeRacer("", false, 4, position);
        Body(racer)->SetVelocity(RbVec(velocity.x, velocity.y, velocity.z));
        return racer;
    }
    static RbRigidBody* Body(const CPSmartPtr<CPPlayer>& racer) {
        return dynamic_cast<CPPhysicData*>(racer->GetPhysicData().Get())->GetRigidBody();
    }
    // The cars learn their bodies' velocities.
    void Sense() {
        for (auto& racer : racers) racer->GetCar()->PhysicsTick(nullptr, kStep);
    }

    RbCollisionInfo CarContact(const CPSmartPtr<CPPlayer>& a, const CPSmartPtr<CPPlayer>& b) {
        RbCollisionInfo info;
        info.bodyA = Body(a);
        info.bodyB = Body(b);
        info.typeA = 1;
        info.typeB = 1;
        info.materialA = 1;
        info.materialB = 1;
        const D3DXVECTOR3 mid = (a->GetPosition() + b->GetPosition()) * 0.5f;
        info.pointAWorld = RbVec(mid.x, mid.y, mid.z);
        return info;
    }

    RbCollisionInfo GroundContact(const CPSmartPtr<CPPlayer>& a, const D3DXVECTOR3& point, const D3DXVECTOR3& normal,
                                  const D3DXVECTOR3& relative) {
        RbCollisionInfo info;
        info.bodyA = Body(a);
        info.typeA = 1;
        info.materialA = 1;
        info.materialB = 0;
        info.pointAWorld = RbVec(point.x, point.y, point.z);
        info.normal = RbVec(normal.x, normal.y, normal.z);
        info.relativeVelocity = RbVec(relative.x, relative.y, relative.z);
        return info;
    }

    int Count(const char* name) const {
        int n = 0;
        for (const SPParticleDesc& p : particles) n += p.name == name;
        return n;
    }

    std::vector<std::string> sounds;
    std::vector<SPParticleDesc> particles;
    int oldPsystems = 0;
};

TEST_F(Contacts_, AttackerAndVictim) {
    struct Case {
        const char* what;
        D3DXVECTOR3 vA;
        D3DXVECTOR3 vB;
        bool aAttacks;
    };
    // A at the origin, B ten units along +x.
    const Case cases[] = {
        {"A heads for B, B crosses", D3DXVECTOR3(10, 0, 0), D3DXVECTOR3(0, 10, 0), true},
        {"B heads for A, A drives away", D3DXVECTOR3(-5, 0, 0), D3DXVECTOR3(-10, 0, 0), false},
        {"B heads for A, A crosses", D3DXVECTOR3(0, 10, 0), D3DXVECTOR3(-10, 0, 0), true},
        {"both head for each other", D3DXVECTOR3(10, 0, 0), D3DXVECTOR3(-10, 0, 0), true},
        {"neither heads for the other", D3DXVECTOR3(0, 10, 0), D3DXVECTOR3(0, -10, 0), true},
        {"standing still", D3DXVECTOR3(0, 0, 0), D3DXVECTOR3(0, 0, 0), true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        racers.clear();
        CPSmartPtr<CPPlayer> a = Racer(D3DXVECTOR3(0, 0, 1), c.vA);
        CPSmartPtr<CPPlayer> b = Racer(D3DXVECTOR3(10, 0, 1), c.vB);
        Sense();
        // A takedown marks the victim: both could attack, both may be taken down.
        for (auto* r : {a.Get(), b.Get()}) {
            r->GetCar()->SetFrontEffect(true);
            r->raceFlag = true;
        }
        RbCollisionInfo info = CarContact(a, b);
        Contacts::OnContact(&info);
        EXPECT_EQ(b->knockedOut, c.aAttacks);
        EXPECT_EQ(a->knockedOut, !c.aAttacks);
    }
}

TEST_F(Contacts_, ATakedownNeedsFrontFireRaceFlagAndARaceOn) {
    struct Case {
        const char* what;
        bool front;
        bool raceFlag;
        bool raceOver;
        bool crashed;
        bool takedown;
    };
    const Case cases[] = {
        {"all set", true, true, false, false, true},
        {"no front fire", false, true, false, false, false},
        {"victim not racing", true, false, false, false, false},
        {"race over", true, true, true, false, false},
        {"attacker wrecked", true, true, false, true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        racers.clear();
        CPLevel level;
        level.raceOver = c.raceOver;
        CPSmartPtr<CPPlayer> a = Racer(D3DXVECTOR3(0, 0, 1), D3DXVECTOR3(20, 0, 0));
        CPSmartPtr<CPPlayer> b = Racer(D3DXVECTOR3(4, 0, 1), D3DXVECTOR3(0, 0, 0));
        Sense();
        a->GetCar()->SetFrontEffect(c.front);
        if (c.crashed) a->GetCar()->SetCrashed(true);
        b->raceFlag = c.raceFlag;
        RbCollisionInfo info = CarContact(a, b);
        Contacts::OnContact(&info);
        EXPECT_EQ(b->knockedOut, c.takedown);
        EXPECT_EQ(b->GetCar()->IsCrashed(), c.takedown);
        if (c.takedown) {
            // The victim rolls about the flat axis across the line between the cars.
            const RbVector L = Body(b)->GetAngularMomentum();
            EXPECT_NEAR(L.x, 0.0f, 1e-3f);
            EXPECT_GT(L.y, 0.0f);
        }
    }
}

TEST_F(Contacts_, AShovePushesAndSpinsTheVictim) {
    CPSmartPtr<CPPlayer> a = Racer(D3DXVECTOR3(0, 0, 1), D3DXVECTOR3(10, 5, 0));
    CPSmartPtr<CPPlayer> b = Racer(D3DXVECTOR3(4, 0, 1), D3DXVECTOR3(0, 0, 0));
    Sense();
    const float s = a->GetCar()->GetSpeed();
    const RbVector before = Body(b)->GetVelocity();
    RbCollisionInfo info = CarContact(a, b);
    Contacts::OnContact(&info);
    const RbVector after = Body(b)->GetVelocity();
    // Impulse s along +x on a body of mass 10 (divided by "weight_div").
    const float mass = Body(b)->GetMass();
    EXPECT_NEAR(after.x - before.x, s / mass, 1e-3f);
    EXPECT_NEAR(after.y - before.y, 0.0f, 1e-4f);
    // Spin about z by twice the attacker's angle times its speed.
    const float alpha = std::acos(10.0f / std::sqrt(125.0f));
    const RbVector L = Body(b)->GetAngularMomentum();
    EXPECT_NEAR(std::fabs(L.z), 2.0f * alpha * s, 1e-2f);
    EXPECT_FALSE(b->knockedOut);
}

TEST_F(Contacts_, AFloorContactDentsAndAsksForSparks) {
    CPSmartPtr<CPPlayer> a = Racer(D3DXVECTOR3(0, 0, 1), D3DXVECTOR3(5, 0, 0));
    Sense();
    // A dentable mesh whose one part covers the car.
    CPSmartPtr<CPRenderObject> mesh(new CPRenderObject(a.Get()));
    mesh->SetDeformable(true);
    SPDamagePart part;
    part.box = CPOrientedBox(D3DXVECTOR3(0, 0, 1), D3DXVECTOR3(1, 2, 0.5f));
    part.box.Update();
    mesh->DamageParts().push_back(part);
    a->SetAttachment(CPSmartPtr<IPMMObject>(mesh.Get()), IPSceneObject::KindMesh);
    RbCollisionInfo info = GroundContact(a, D3DXVECTOR3(0, 0, 0), D3DXVECTOR3(0, 0, 1), D3DXVECTOR3(0, 0, 100));
    Contacts::OnContact(&info);
    EXPECT_FLOAT_EQ(mesh->DamageParts()[0].damage, 0.8f);
    // trunc(25 x 0.8 x 0.5) = 10 asked: between 5 and 10 emitted.
    EXPECT_GE(Count("iskra"), 5);
    EXPECT_LE(Count("iskra"), 10);
    EXPECT_FALSE(a->touched);
    EXPECT_TRUE(sounds.empty());
}

TEST_F(Contacts_, AWallContactPushesOnlyACarMovingIntoIt) {
    struct Case {
        const char* what;
        D3DXVECTOR3 velocity;
        bool push;
    };
    // The wall touches the car on its +x side.
    const Case cases[] = {
        {"into the wall", D3DXVECTOR3(8, 2, 0), true},
        {"grazing away", D3DXVECTOR3(-3, 8, 0), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        racers.clear();
        sounds.clear();
        CPSmartPtr<CPPlayer> a = Racer(D3DXVECTOR3(0, 0, 1), c.velocity);
        Sense();
        const RbVector before = Body(a)->GetVelocity();
        RbCollisionInfo info = GroundContact(a, D3DXVECTOR3(1, 0, 1), D3DXVECTOR3(-1, 0, 0), D3DXVECTOR3(3, 0, 0));
        Contacts::OnContact(&info);
        EXPECT_TRUE(a->touched);
        const RbVector after = Body(a)->GetVelocity();
        EXPECT_EQ(after.x < before.x, c.push);
        EXPECT_EQ(sounds.size(), c.push ? 1u : 0u);
    }
}

TEST_F(Contacts_, OnlyARacersBodyACounts) {
    CPSmartPtr<CPPlayer> a = Racer(D3DXVECTOR3(0, 0, 1), D3DXVECTOR3(10, 0, 0));
    CPSmartPtr<CPPlayer> b = Racer(D3DXVECTOR3(4, 0, 1), D3DXVECTOR3(0, 0, 0));
    Sense();
    const RbVector before = Body(b)->GetVelocity();
    RbCollisionInfo info = CarContact(a, b);
    info.materialA = 0;
    Contacts::OnContact(&info);
    info.materialA = 1;
    info.materialB = 2;
    Contacts::OnContact(&info);
    Contacts::OnContact(nullptr);
    EXPECT_EQ(Body(b)->GetVelocity().x, before.x);
    EXPECT_TRUE(particles.empty());
}

TEST_F(Contacts_, CollisionSparksNeedMotion) {
    struct Case {
        float speed;
        int most;
    };
    // 4 |M| - 10 limits the count.
    const Case cases[] = {{2.0f, 0}, {2.5f, 0}, {3.0f, 2}, {10.0f, 25}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.speed);
        particles.clear();
        g_frameEventCount = 0;
        const int n = Contacts::EmitCollisionSparks(D3DXVECTOR3(0, 0, 0), D3DXVECTOR3(0, 0, 1),
                                                    D3DXVECTOR3(c.speed, 0, 0), 25, 0.0f, D3DXVECTOR3(0, 0, 0));
        EXPECT_EQ(Count("iskra"), c.most);
        EXPECT_EQ(Count("iskra_small"), c.most / 2);
        EXPECT_EQ(n, c.most + c.most / 2);
    }
}

TEST_F(Contacts_, SparksShareTheFrameBudget) {
    g_frameEventCount = 30;
    const int n = Contacts::EmitSparks(D3DXVECTOR3(0, 0, 0), D3DXVECTOR3(0, 0, 1), D3DXVECTOR3(1, 0, 0), 25, 0.0f);
    // At most 40 - 30 asked for.
    EXPECT_LE(n, 10);
    EXPECT_GE(n, 5);
    EXPECT_EQ(g_frameEventCount, 30 + n);
    g_frameEventCount = 40;
    EXPECT_EQ(Contacts::EmitSparks(D3DXVECTOR3(0, 0, 0), D3DXVECTOR3(0, 0, 1), D3DXVECTOR3(1, 0, 0), 25, 0.0f), 0);
    EXPECT_EQ(Contacts::EmitCollisionSparks(D3DXVECTOR3(0, 0, 0), D3DXVECTOR3(0, 0, 1), D3DXVECTOR3(50, 0, 0), 25, 0.0f,
                                            D3DXVECTOR3(0, 0, 0)),
              0);
    for (const SPParticleDesc& p : particles) {
        EXPECT_TRUE(p.fade);
        EXPECT_TRUE(p.bounce);
        EXPECT_FLOAT_EQ(p.floor, 0.05f);
    }
}

TEST_F(Contacts_, TheWorldInstallsTheHandler) {
    RbSimulator* simulator = physics.GetSimulator();
    ASSERT_NE(simulator, nullptr);
    EXPECT_EQ(simulator->SetCollisionCallback(nullptr), &Contacts::OnContact);
}

TEST_F(Contacts_, TakedownsAndTheHuman) {
    struct Case {
        const char* what;
        bool attackerIsPlayer;
        bool victimIsPlayer;
        const char* message;
    };
    const Case cases[] = {
        {"the human takes down", true, false, "takedown1"},
        {"the human is taken down", false, true, "takedown2"},
        {"two opponents", false, false, nullptr},
    };
    const float oldScale = g_timeScale;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        racers.clear();
        router.sent.clear();
        CPLevel level;
        level.camera = CPSmartPtr<CPCamera>(new CPCamera);
        CPSmartPtr<CPPlayer> a = Racer(D3DXVECTOR3(0, 0, 1), D3DXVECTOR3(20, 0, 0));
        CPSmartPtr<CPPlayer> b = Racer(D3DXVECTOR3(4, 0, 1), D3DXVECTOR3(0, 0, 0));
        Sense();
        a->GetCar()->SetFrontEffect(true);
        a->respawnCount = 1;
        b->raceFlag = true;
        b->GetCar()->SetNitroMeter(0.5f);
        if (c.attackerIsPlayer) level.player = a.Get();
        if (c.victimIsPlayer) level.player = b.Get();
        RbCollisionInfo info = CarContact(a, b);
        Contacts::OnContact(&info);
        EXPECT_TRUE(b->knockedOut);
        int messages = 0;
        for (const auto& sent : router.sent)
            messages += sent.target == "game_interface" && sent.command == "show_message" &&
                        (c.message && sent.params == c.message);
        EXPECT_EQ(messages, c.message ? 1 : 0);
        EXPECT_EQ(level.camera->takedownOn, c.message != nullptr);
        EXPECT_EQ(level.camera->takedownTarget, c.message ? b.Get() : nullptr);
        EXPECT_EQ(a->respawnCount, c.attackerIsPlayer ? 2 : 1);
        EXPECT_FLOAT_EQ(b->GetCar()->GetNitroMeter(), c.attackerIsPlayer ? 0.0f : 0.5f);
        g_timeScale = oldScale;
        CNSound::SetGlobalFrequencyFactor(1.0f);
    }
}

TEST_F(Contacts_, AShoveWithTheHumanShakesTheCamera) {
    struct Case {
        const char* what;
        int player; // 0 none, 1 attacker, 2 victim
        bool takedownRunning;
        bool shakes;
    };
    const Case cases[] = {
        {"attacker", 1, false, true},
        {"victim", 2, false, true},
        {"neither", 0, false, false},
        {"takedown view running", 1, true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        racers.clear();
        CPLevel level;
        level.camera = CPSmartPtr<CPCamera>(new CPCamera);
        level.camera->takedownOn = c.takedownRunning;
        CPSmartPtr<CPPlayer> a = Racer(D3DXVECTOR3(0, 0, 1), D3DXVECTOR3(10, 0, 0));
        CPSmartPtr<CPPlayer> b = Racer(D3DXVECTOR3(4, 0, 1), D3DXVECTOR3(0, 0, 0));
        Sense();
        if (c.player == 1) level.player = a.Get();
        if (c.player == 2) level.player = b.Get();
        RbCollisionInfo info = CarContact(a, b);
        Contacts::OnContact(&info);
        EXPECT_EQ(level.camera->shakeOn, c.shakes);
    }
}

} // namespace
