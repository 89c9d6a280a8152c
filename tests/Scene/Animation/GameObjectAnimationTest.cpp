// What the scene object does with animations: part animations entered, started with the object
// and stopped with it, their key matrix placing the part and its subtree, copies of tracks and
// of the animated attachment, requests passed down the tree, the fire material on an animated
// attachment, and the animated attachment's two moments reaching the enemy record.

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "AnimationTestSupport.h"
#include "Framework/PGlobalTimer.h"
#include "Framework/PTaskKernel.h"
#include "Scene/PGameObject.h"

namespace {

D3DXMATRIX Translation(float x, float y, float z) { return D3DXMATRIX(1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, x, y, z, 1); }

class RecordingEnemy : public IPEnemyHooks {
public:
    explicit RecordingEnemy(std::vector<std::string>* calls) : m_calls(calls) {}
    void OnAnimationStopped() override { m_calls->push_back("stopped"); }
    void OnAnimationReport() override { m_calls->push_back("report"); }
    void OnDamage(const D3DXVECTOR3&, const D3DXVECTOR3&, float, bool, bool) override {}

private:
    std::vector<std::string>* m_calls;
};

class GameObjectAnimationTest : public ::testing::Test {
protected:
    void SetUp() override {
        g_totalTime = 0.0;
        g_deltaTime = 0.0f;
    }
    void TearDown() override {
        g_totalTime = 0.0;
        g_deltaTime = 0.0f;
        for (int i = 0; i < 4; ++i) IPMMObject::CollectGarbage();
    }

    static CPSmartPtr<CPGameObject> Make(const std::string& name) {
        return CPSmartPtr<CPGameObject>(new CPGameObject(name));
    }
    // Keys translating along x to 0, 10, 20; a second each.
    static CPSmartPtr<CPPartAnimation> Track(CPGameObject* owner) {
        CPSmartPtr<CPPartAnimation> track(new CPPartAnimation());
        track->SetKeys({Translation(0, 0, 0), Translation(10, 0, 0), Translation(20, 0, 0)}, {1, 1, 1});
        track->SetOwner(owner);
        return track;
    }
    // An animated attachment with two animations of 4 frames.
    static CPSmartPtr<CPAnimatedObject> Animated(CPGameObject* owner) {
        CPSmartPtr<CPAnimatedObject> animated(new CPAnimatedObject());
        for (const char* name : {"idle", "attack"}) {
            kxtest::MorphStreamWriter writer;
            writer.AddFrames(4, 1);
            animated->AddAnimation(name, kxtest::LoadAnimation(writer));
        }
        animated->SetOwner(owner);
        owner->SetAttachment(CPSmartPtr<IPMMObject>(animated), IPSceneObject::KindAnimated);
        return animated;
    }
    static void Fill(CPAnimatedObject& animated) {
        std::vector<SPVertex> v(static_cast<std::size_t>(animated.GetVertexCount()));
        std::vector<std::uint16_t> i(static_cast<std::size_t>(animated.GetIndexCount()));
        animated.FillVertices(v.data(), i.data(), 0, 0);
    }
    static void Pass(CPPartAnimation& track, float dt) {
        g_deltaTime = dt;
        track.Update();
    }
};

TEST_F(GameObjectAnimationTest, AnIdleTrackBecomesCurrentAndLoops) {
    CPSmartPtr<CPGameObject> object = Make("door");
    ASSERT_TRUE(object->IsStatic());
    CPSmartPtr<CPPartAnimation> open = Track(object.Get());
    object->AddPartAnimation("open", CPSmartPtr<IPTask>(open));
    EXPECT_TRUE(object->HasPartAnimations());
    EXPECT_FALSE(object->IsStatic());
    EXPECT_FALSE(object->GetCurrentPartAnimation());
    EXPECT_FALSE(open->IsLooping());
    CPSmartPtr<CPPartAnimation> idle = Track(object.Get());
    object->AddPartAnimation("idle", CPSmartPtr<IPTask>(idle));
    EXPECT_EQ(object->GetCurrentPartAnimation().Get(), idle.Get());
    EXPECT_TRUE(idle->IsLooping());
}

TEST_F(GameObjectAnimationTest, TheCurrentTrackRunsWhileTheObjectIsInTheScene) {
    CPTaskKernel kernel;
    CPSmartPtr<CPGameObject> object = Make("fan");
    CPSmartPtr<CPPartAnimation> idle = Track(object.Get());
    object->AddPartAnimation("idle", CPSmartPtr<IPTask>(idle));
    object->AddToScene(7);
    EXPECT_TRUE(idle->IsRunning());
    EXPECT_EQ(idle->GetPriority(), 7);
    g_deltaTime = 0.25f;
    kernel.RunPass();
    EXPECT_FLOAT_EQ(object->GetWorldMatrix()._41, 2.5f);
    object->RemoveFromScene();
    EXPECT_FALSE(idle->IsRunning());
    kernel.RunPass();
    EXPECT_FLOAT_EQ(object->GetWorldMatrix()._41, 2.5f) << "a stopped track moves nothing";
    // Back in the scene, the track goes on from where it stopped.
    object->AddToScene(7);
    kernel.RunPass();
    EXPECT_FLOAT_EQ(object->GetWorldMatrix()._41, 5.0f);
    object->RemoveFromScene();
    kernel.KillAllTasks();
}

TEST_F(GameObjectAnimationTest, TheKeyMatrixPlacesThePartAndItsSubtreeUntilItIsMovedAgain) {
    CPSmartPtr<CPGameObject> root = Make("root");
    CPSmartPtr<CPGameObject> part = Make("part");
    CPSmartPtr<CPGameObject> tip = Make("tip");
    root->AddChild(part);
    part->AddChild(tip);
    root->SetPosition(0, 0, 100);
    part->SetPosition(7, 7, 7); // replaced by the keys while the track runs
    tip->SetPosition(0, 5, 0);
    root->UpdateTransform();
    CPSmartPtr<CPPartAnimation> walk = Track(part.Get());
    part->AddPartAnimation("walk", CPSmartPtr<IPTask>(walk));
    walk->Start();

    struct Step {
        float dt;
        float x;
    };
    for (const Step& step : {Step{0.5f, 5.0f}, Step{0.5f, 10.0f}, Step{0.25f, 12.5f}}) {
        Pass(*walk, step.dt);
        EXPECT_FLOAT_EQ(part->GetWorldMatrix()._41, step.x);
        EXPECT_FLOAT_EQ(part->GetWorldMatrix()._43, 100.0f) << "the parent's placement still applies";
        EXPECT_FLOAT_EQ(tip->GetWorldMatrix()._41, step.x) << "the child follows";
        EXPECT_FLOAT_EQ(tip->GetWorldMatrix()._42, 5.0f);
    }
    EXPECT_FALSE(walk->IsRunning()) << "a single run ended";
    // The last matrix stays until the part is moved.
    root->SetDirty(true);
    root->UpdateTransform();
    EXPECT_FLOAT_EQ(part->GetWorldMatrix()._41, 12.5f);
    EXPECT_TRUE(part->HasAnimatedLocalMatrix());
    part->SetPosition(1, 2, 3);
    EXPECT_FALSE(part->HasAnimatedLocalMatrix());
    root->SetDirty(true);
    root->UpdateTransform();
    EXPECT_FLOAT_EQ(part->GetWorldMatrix()._41, 1.0f);
    EXPECT_FLOAT_EQ(part->GetWorldMatrix()._42, 2.0f);
    EXPECT_FLOAT_EQ(part->GetWorldMatrix()._43, 103.0f);
    EXPECT_FLOAT_EQ(tip->GetWorldMatrix()._42, 7.0f);
}

TEST_F(GameObjectAnimationTest, ACopyGetsItsOwnTracksAndItsOwnAnimatedAttachment) {
    CPSmartPtr<CPGameObject> source = Make("guard");
    CPSmartPtr<CPPartAnimation> idle = Track(source.Get());
    source->AddPartAnimation("idle", CPSmartPtr<IPTask>(idle));
    source->AddPartAnimation("walk", CPSmartPtr<IPTask>(Track(source.Get())));
    CPSmartPtr<CPAnimatedObject> animated = Animated(source.Get());
    SPAnimationRequest request;
    request.name = "attack";
    request.loopLimit = 2;
    source->SetAnimation(request, false);

    CPSmartPtr<CPGameObject> copy = Make("guard");
    copy->CopyFrom(*source);
    ASSERT_EQ(copy->GetPartAnimations().size(), 2u);
    auto* copiedIdle = dynamic_cast<CPPartAnimation*>(copy->GetCurrentPartAnimation().Get());
    ASSERT_NE(copiedIdle, nullptr);
    EXPECT_NE(copiedIdle, idle.Get());
    EXPECT_TRUE(copiedIdle->IsLooping());
    EXPECT_EQ(copiedIdle->GetOwner(), static_cast<IPPartAnimationOwner*>(copy.Get()));
    EXPECT_EQ(copiedIdle->GetDurations(), idle->GetDurations());
    auto* copiedWalk = dynamic_cast<CPPartAnimation*>(copy->GetPartAnimations().at("walk").Get());
    ASSERT_NE(copiedWalk, nullptr);
    EXPECT_FALSE(copiedWalk->IsLooping());
    EXPECT_EQ(copiedWalk->GetOwner(), static_cast<IPPartAnimationOwner*>(copy.Get()));

    EXPECT_EQ(copy->GetKind(), IPSceneObject::KindAnimated);
    auto* copiedAnimated = dynamic_cast<CPAnimatedObject*>(copy->GetAttachment().Get());
    ASSERT_NE(copiedAnimated, nullptr);
    EXPECT_NE(copiedAnimated, animated.Get());
    EXPECT_EQ(copiedAnimated->GetOwner(), copy.Get());
    EXPECT_EQ(copiedAnimated->GetCurrentName(), "attack");
    EXPECT_EQ(copiedAnimated->GetCurrentAnimation(), animated->GetCurrentAnimation());
    EXPECT_EQ(copy->GetRenderable(), copiedAnimated);
}

TEST_F(GameObjectAnimationTest, ARequestReachesEveryAnimatedAttachmentBelow) {
    CPSmartPtr<CPGameObject> root = Make("root");
    CPSmartPtr<CPGameObject> body = Make("body");
    CPSmartPtr<CPGameObject> plain = Make("plain");
    CPSmartPtr<CPGameObject> arm = Make("arm");
    root->AddChild(body);
    root->AddChild(plain);
    plain->AddChild(arm);
    CPSmartPtr<CPAnimatedObject> bodyAnimated = Animated(body.Get());
    CPSmartPtr<CPAnimatedObject> armAnimated = Animated(arm.Get());
    SPAnimationRequest request;
    request.name = "attack";
    request.speed = 3.0f;
    root->SetAnimation(request, false);
    EXPECT_EQ(bodyAnimated->GetCurrentName(), "attack");
    EXPECT_EQ(armAnimated->GetCurrentName(), "attack");
    EXPECT_EQ(armAnimated->GetSpeed(), 3.0f);
}

TEST_F(GameObjectAnimationTest, TheFireMaterialDressesAnAnimatedAttachment) {
    CPSmartPtr<CPGameObject> root = Make("root");
    CPSmartPtr<CPGameObject> body = Make("body");
    root->AddChild(body);
    CPSmartPtr<CPAnimatedObject> animated = Animated(body.Get());
    CPSmartPtr<CPMaterial> fire(new CPMaterial(3, nullptr, nullptr));
    root->ApplyFireMaterial();
    EXPECT_FALSE(animated->GetMaterial()) << "no fire material: nothing changes";
    body->SetFireMaterial(fire);
    root->ApplyFireMaterial();
    EXPECT_EQ(animated->GetMaterial().Get(), fire.Get());
}

TEST_F(GameObjectAnimationTest, TheStopAndTheReportReachTheEnemyRecord) {
    CPSmartPtr<CPGameObject> monster = Make("monster");
    std::vector<std::string> calls;
    monster->SetEnemy(std::make_unique<RecordingEnemy>(&calls));
    CPSmartPtr<CPAnimatedObject> animated = Animated(monster.Get());
    SPAnimationRequest request;
    request.name = "attack";
    request.loopLimit = 1;
    request.reportFrame = 2;
    monster->SetAnimation(request, false);
    for (double t = 0.0; t < 1.0; t += 0.05) {
        g_totalTime = t;
        Fill(*animated);
    }
    EXPECT_EQ(calls, (std::vector<std::string>{"report", "stopped"}));
    // Without a record the moments go nowhere.
    CPSmartPtr<CPGameObject> prop = Make("prop");
    CPSmartPtr<CPAnimatedObject> propAnimated = Animated(prop.Get());
    g_totalTime = 0.0;
    prop->SetAnimation(request, false);
    for (double t = 0.0; t < 1.0; t += 0.05) {
        g_totalTime = t;
        Fill(*propAnimated);
    }
    EXPECT_TRUE(propAnimated->IsStopped());
}

} // namespace
