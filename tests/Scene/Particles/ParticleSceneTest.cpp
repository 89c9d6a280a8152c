// Particle systems on scene objects: activation and deactivation, burning objects, copies and
// destruction, and the damage and fire look an emitter gives the objects around it.
#include <tuple>

#include "Render/PRenderObject.h"
#include "Scene/PGameObject.h"
#include "Scene/Particles/ParticleFixture.h"
#include "Script/PLuaScript.h"
#include "Script/PScriptManager.h"

namespace particletest {
namespace {

struct Hit {
    D3DXVECTOR3 point, direction;
    float amount;
    bool noEffect, silent;
};

class RecordingEnemy : public IPEnemyHooks {
public:
    explicit RecordingEnemy(std::vector<Hit>& hits) : m_hits(hits) {}
    void OnAnimationStopped() override {}
    void OnAnimationReport() override {}
    void OnDamage(const D3DXVECTOR3& point, const D3DXVECTOR3& direction, float amount, bool noEffect,
                  bool silent) override {
        m_hits.push_back({point, direction, amount, noEffect, silent});
    }

private:
    std::vector<Hit>& m_hits;
};

class ParticleScene : public ParticleFixture {
protected:
    void SetUp() override {
        ParticleFixture::SetUp();
        ASSERT_TRUE(
            Load({"p1 t.tga particle.fx 1 1 0 0 0\n", "", "up p1 10 1 0 1 2 0 0 0 1 0 0 0 0 0 0\n", "up;0.5;3;2\n"}));
        kernel = std::make_unique<CPTaskKernel>();
    }
    void TearDown() override {
        kernel.reset();
        ParticleFixture::TearDown();
    }
    static CPSmartPtr<CPGameObject> Object(const std::string& name) {
        return CPSmartPtr<CPGameObject>(new CPGameObject(name));
    }
    static CPSmartPtr<CPParticleSystem> System(CPGameObject* owner) {
        return CPSmartPtr<CPParticleSystem>(new CPParticleSystem(owner, {"up"}));
    }
    static CPParticleSystem* AttachedSystem(const CPGameObject& object) {
        return dynamic_cast<CPParticleSystem*>(object.GetAttachment().Get());
    }
    std::size_t TasksAt(int priority) const {
        std::size_t n = 0;
        for (const auto& task : kernel->ActiveTasks()) n += task->GetPriority() == priority;
        return n;
    }

    std::unique_ptr<CPTaskKernel> kernel;
};

TEST_F(ParticleScene, AddToSceneStartsVisibleSystemsOnlyAndRemoveFromSceneStopsBoth) {
    auto shown = Object("shown");
    auto hidden = Object("hidden");
    auto shownSystem = System(shown.Get());
    auto hiddenSystem = System(hidden.Get());
    shown->SetAttachment(shownSystem, IPSceneObject::KindParticles);
    hidden->SetAttachment(hiddenSystem, IPSceneObject::KindParticles);
    hidden->SetVisible(false);

    shown->AddToScene(300);
    hidden->AddToScene(300);
    EXPECT_TRUE(shownSystem->IsRunning());
    EXPECT_EQ(shownSystem->GetPriority(), 300);
    EXPECT_TRUE(kernel->IsActive(shownSystem.Get()));
    EXPECT_FALSE(hiddenSystem->IsRunning());
    EXPECT_FALSE(kernel->IsActive(hiddenSystem.Get()));

    shown->RemoveFromScene();
    hidden->RemoveFromScene();
    EXPECT_FALSE(shownSystem->IsRunning());
    EXPECT_TRUE(shownSystem->IsKillRequested());
    EXPECT_TRUE(hiddenSystem->IsKillRequested());
}

TEST_F(ParticleScene, StartFlameBurnsOnceAtPriority200UnderAChildNamedFlameAndRecurses) {
    auto root = Object("root");
    auto child = Object("child");
    auto grandchild = Object("grandchild");
    root->SetFlameType(0);
    grandchild->SetFlameType(0);
    root->AddChild(child);
    child->AddChild(grandchild);
    root->SetPosition(5.0f, 0.0f, 0.0f);
    root->UpdateTransform();

    root->StartFlame();
    EXPECT_EQ(TasksAt(200), 2u);
    for (CPGameObject* burning : {root.Get(), grandchild.Get()}) {
        CPSmartPtr<CPGameObject> flame = burning->GetChild("flame");
        ASSERT_TRUE(flame) << burning->GetName();
        EXPECT_EQ(flame->GetKind(), IPSceneObject::KindParticles);
        CPParticleSystem* system = AttachedSystem(*flame);
        ASSERT_NE(system, nullptr);
        EXPECT_EQ(system->GetOwner(), flame.Get());
        EXPECT_EQ(system->GetPriority(), 200);
        EXPECT_TRUE(system->IsRunning());
        EXPECT_EQ(system->GetLifetime(), 3.0f);
        EXPECT_EQ(burning->GetFlameType(), -1);
        // A clone, not the table's prototype.
        EXPECT_NE(system, manager->GetFlameTable()[0].Get());
    }
    EXPECT_FALSE(child->GetChild("flame"));
    // The fire follows its object: the flame's world position is the object's.
    const D3DXMATRIX& world = root->GetChild("flame")->GetWorldMatrix();
    EXPECT_FLOAT_EQ(world._41, 5.0f);

    const std::size_t children = root->GetChildren().size();
    root->StartFlame();
    EXPECT_EQ(TasksAt(200), 2u);
    EXPECT_EQ(root->GetChildren().size(), children);
}

TEST_F(ParticleScene, AFlameTypeOutsideTheTableGivesNoFlame) {
    auto object = Object("object");
    object->SetFlameType(1);
    object->StartFlame();
    EXPECT_FALSE(object->GetChild("flame"));
    EXPECT_EQ(object->GetFlameType(), -1);
    EXPECT_TRUE(kernel->ActiveTasks().empty());
}

TEST_F(ParticleScene, AFlameDamagesTheScriptedAncestorAndPutsOnTheFireLookHalfwayThrough) {
    auto root = Object("root");
    std::vector<Hit> hits;
    root->SetEnemy(std::make_unique<RecordingEnemy>(hits));
    CPSmartPtr<CPRenderObject> mesh(new CPRenderObject(root.Get()));
    CPSmartPtr<CPMaterial> plain, fire;
    effects->GetMaterial(plain, 30, "particle.fx", {"plain.tga"});
    effects->GetMaterial(fire, 30, "particle.fx", {"plain_fire.tga"});
    mesh->SetEffect(plain);
    root->SetAttachment(mesh, IPSceneObject::KindMesh);
    root->SetFireMaterial(fire);
    root->SetFlameType(0);
    root->SetPosition(5.0f, 0.0f, 0.0f);
    root->UpdateTransform();
    root->StartFlame();
    CPParticleSystem* system = AttachedSystem(*root->GetChild("flame"));
    ASSERT_NE(system, nullptr);

    // Interval 0.5, updates of 0.6 s: one emission each; the fire look comes in the update in
    // which elapsed passes half the lifetime of 3 (from 1.2 to 1.8).
    g_deltaTime = 0.6f;
    system->Update();
    ASSERT_EQ(hits.size(), 1u);
    EXPECT_EQ(hits[0].amount, 2.0f);
    EXPECT_EQ(hits[0].point, D3DXVECTOR3(0, 0, 0));
    EXPECT_EQ(hits[0].direction, D3DXVECTOR3(0, 0, 0));
    EXPECT_FALSE(hits[0].noEffect);
    EXPECT_FALSE(hits[0].silent);
    system->Update();
    EXPECT_NEAR(system->GetElapsed(), 1.2f, 1e-5f);
    EXPECT_EQ(mesh->GetMaterial().Get(), plain.Get());
    system->Update();
    EXPECT_EQ(mesh->GetMaterial().Get(), fire.Get());
    EXPECT_EQ(hits.size(), 3u);
    // The particles start at the burning object.
    ASSERT_EQ(Batch("p1")->GetParticleCount(), 3);
    EXPECT_EQ(Batch("p1")->GetParticle(0).position, D3DXVECTOR3(5, 0, 0));
}

TEST_F(ParticleScene, DamageOfZeroStillSendsDamageEventsToTheNearestScriptedAncestor) {
    CPScriptManager* scripts = new CPScriptManager();
    CPSmartPtr<CPLuaScript> script(new CPLuaScript());
    kernel->AddTask(CPSmartPtr<IPTask>(script.Get()));
    auto root = Object("root");
    auto scripted = Object("scripted");
    auto owner = Object("owner");
    std::vector<Hit> rootHits;
    root->SetEnemy(std::make_unique<RecordingEnemy>(rootHits));
    root->AddChild(scripted);
    scripted->AddChild(owner);
    scripted->SetScript(script);
    auto system = System(owner.Get());
    owner->SetAttachment(system, IPSceneObject::KindParticles);
    system->Start();
    g_deltaTime = 1.2f;
    system->Update();
    std::vector<std::string> events;
    for (auto it = script->Queue().rbegin(); it != script->Queue().rend(); ++it)
        if (it->name == "damage") events.push_back(it->params.empty() ? "" : it->params[0]);
    EXPECT_EQ(events, (std::vector<std::string>{"0.00", "0.00"}));
    EXPECT_TRUE(rootHits.empty());

    kernel->KillAllTasks();
    kernel->RunPass();
    script = nullptr;
    delete scripts;
}

TEST_F(ParticleScene, TheTargetTakesDamageAtItsPositionFromARandomDirection) {
    auto target = Object("target");
    std::vector<Hit> hits;
    target->SetEnemy(std::make_unique<RecordingEnemy>(hits));
    target->SetPosition(1.0f, 2.0f, 3.0f);
    auto system = System(nullptr);
    system->SetTarget(target);
    system->SetDamage(0.0f);
    system->Start();
    g_deltaTime = 1.2f;
    system->Update();
    ASSERT_EQ(hits.size(), 2u);
    for (const Hit& hit : hits) {
        EXPECT_EQ(hit.point, D3DXVECTOR3(1, 2, 3));
        EXPECT_EQ(hit.amount, 0.0f);
        for (float c : {hit.direction.x, hit.direction.y, hit.direction.z}) {
            EXPECT_GE(c, -0.5f);
            EXPECT_LE(c, 0.5f);
        }
    }
    EXPECT_EQ(system->GetTarget(), target.Get());
}

TEST_F(ParticleScene, ACopyClonesTheSystemForItselfAndItsDestructionStopsIt) {
    auto source = Object("emitter");
    auto system = System(source.Get());
    system->SetInterval(0.25f);
    source->SetAttachment(system, IPSceneObject::KindParticles);
    CPSmartPtr<CPGameObject> copy = Object("emitter");
    copy->CopyFrom(*source);
    CPSmartPtr<CPParticleSystem> copied(AttachedSystem(*copy));
    ASSERT_TRUE(copied);
    EXPECT_NE(copied.Get(), system.Get());
    EXPECT_EQ(copied->GetOwner(), copy.Get());
    EXPECT_EQ(copied->GetInterval(), 0.25f);
    EXPECT_EQ(copied->GetNames(), system->GetNames());
    EXPECT_EQ(system->GetOwner(), source.Get());

    copy->AddToScene(250);
    EXPECT_TRUE(copied->IsRunning());
    copy = nullptr;
    IPMMObject::CollectGarbage();
    EXPECT_TRUE(copied->IsKillRequested());
    EXPECT_FALSE(copied->IsRunning());
}

} // namespace
} // namespace particletest
