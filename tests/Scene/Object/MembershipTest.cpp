// Scene membership through the real task kernel and script manager: what activation starts and
// in which order, what deactivation stops, the events each sends, and the reference a scripted
// object keeps on itself for its script.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "Framework/PTaskKernel.h"
#include "Platform/System/NumberText.h"
#include "Scene/PGameObject.h"
#include "SceneObjectTestSupport.h"
#include "Script/PLuaScript.h"
#include "Script/PScriptManager.h"

namespace {

using Strings = std::vector<std::string>;

Strings g_log;

// A script task that notes its start and counts its updates (it has no Lua state).
class RecordingScript : public CPLuaScript {
public:
    explicit RecordingScript(std::string tag) : m_tag(std::move(tag)) {}
    bool Start() override {
        if (!CPLuaScript::Start()) return false;
        g_log.push_back("start " + m_tag + " " + std::to_string(GetPriority()));
        return true;
    }
    void Update() override { ++updates; }
    int updates = 0;

private:
    std::string m_tag;
};

// A part animation or particle system: notes its start and stop.
class RecordingTask : public IPTask {
public:
    explicit RecordingTask(std::string tag) : m_tag(std::move(tag)) {}
    int GetSize() const override { return sizeof(RecordingTask); }
    std::string GetClassName() const override { return "RecordingTask"; }
    bool Start() override {
        g_log.push_back("start " + m_tag + " " + std::to_string(GetPriority()));
        return IPTask::Start();
    }
    void Stop() override {
        g_log.push_back("stop " + m_tag);
        IPTask::Stop();
    }
    void Update() override {}
    int GetKind() const override { return 0; }

private:
    std::string m_tag;
};

std::string HandleText(const CPSmartPtr<CPGameObject>& object) {
    return Platform::FormatC("%d", static_cast<int>(object->GetHandle()));
}

class MembershipTest : public kxtest::SceneObjectTest {
protected:
    void SetUp() override { g_log.clear(); }
    void TearDown() override {
        kernel.KillAllTasks();
        kernel.RunPass();
        delete manager;
        manager = nullptr;
        SceneObjectTest::TearDown();
    }
    // The script's queue, oldest first, as "command param,param".
    static Strings Events(const CPLuaScript& script) {
        Strings out;
        for (auto it = script.Queue().rbegin(); it != script.Queue().rend(); ++it) {
            std::string line = it->name;
            for (std::size_t i = 0; i < it->params.size(); ++i) line += (i ? "," : " ") + it->params[i];
            out.push_back(line);
        }
        return out;
    }
    int Listed(const IPTask* task) const {
        int n = 0;
        for (const auto& t : kernel.ActiveTasks())
            if (t.Get() == task) ++n;
        return n;
    }

    CPTaskKernel kernel;
    CPScriptManager* manager = new CPScriptManager();
};

TEST_F(MembershipTest, ActivationOrderAndEvents) {
    CPSmartPtr<RecordingScript> script(new RecordingScript("script"));
    auto root = Make("root");
    auto child = Make("child");
    root->AddChild(child);
    root->SetScript(CPSmartPtr<CPLuaScript>(script.Get()));
    child->SetScript(CPSmartPtr<CPLuaScript>(script.Get()));
    root->AddPartAnimation("idle", CPSmartPtr<IPTask>(new RecordingTask("idle")));
    child->AddPartAnimation("idle", CPSmartPtr<IPTask>(new RecordingTask("child-idle")));

    root->AddToScene(300);
    EXPECT_TRUE(root->IsInScene());
    EXPECT_TRUE(child->IsInScene());
    // The object's own tasks, then the children (whose activation starts the shared script),
    // then the script; the children's events come before the object's.
    EXPECT_EQ(g_log, (Strings{"start idle 300", "start child-idle 300", "start script 300"}));
    EXPECT_EQ(Events(*script), (Strings{"add_object " + HandleText(child), "add_object " + HandleText(root)}));

    root->RemoveFromScene();
    EXPECT_FALSE(root->IsInScene());
    EXPECT_FALSE(child->IsInScene());
    EXPECT_EQ(g_log.back(), "stop child-idle");
    EXPECT_EQ(g_log[g_log.size() - 2], "stop idle");
    // The children leave first, then the object; the script keeps running.
    EXPECT_EQ(Events(*script), (Strings{"add_object " + HandleText(child), "add_object " + HandleText(root),
                                        "delete_object " + HandleText(child), "delete_object " + HandleText(root)}));
    EXPECT_TRUE(script->IsRunning());
    EXPECT_EQ(Listed(script.Get()), 1);
    // The references held for the script.
    root->Release();
    child->Release();
}

TEST_F(MembershipTest, Sequences) {
    struct Case {
        const char* name;
        void (*act)(CPGameObject& root, CPGameObject& late);
        bool lateInScene;
        Strings events; // with R for the root's handle
        int updatesAfterPass;
    };
    const Case cases[] = {
        {"second activation does nothing",
         [](CPGameObject& root, CPGameObject&) {
             root.AddToScene(100);
             root.AddToScene(100);
         },
         false,
         {"add_object R"},
         1},
        {"child added between two activations stays out",
         [](CPGameObject& root, CPGameObject& late) {
             root.AddToScene(100);
             root.AddChild(CPSmartPtr<CPGameObject>(&late));
             root.AddToScene(100);
         },
         false,
         {"add_object R"},
         1},
        {"deactivate then activate in one pass",
         [](CPGameObject& root, CPGameObject&) {
             root.AddToScene(100);
             root.RemoveFromScene();
             root.AddToScene(100);
         },
         false,
         {"add_object R", "delete_object R", "add_object R"},
         1},
        {"deactivation of an object out of the scene sends nothing",
         [](CPGameObject& root, CPGameObject&) { root.RemoveFromScene(); },
         false,
         {},
         0},
        {"child added while out of the scene joins the next activation",
         [](CPGameObject& root, CPGameObject& late) {
             root.AddToScene(100);
             root.RemoveFromScene();
             root.AddChild(CPSmartPtr<CPGameObject>(&late));
             root.AddToScene(100);
         },
         true,
         {"add_object R", "delete_object R", "add_object R"},
         1},
    };
    for (const Case& c : cases) {
        CPSmartPtr<RecordingScript> script(new RecordingScript("s"));
        auto root = Make("root");
        auto late = Make("late");
        root->SetScript(CPSmartPtr<CPLuaScript>(script.Get()));
        c.act(*root, *late);
        Strings want;
        for (std::string e : c.events) {
            if (auto at = e.find('R'); at != std::string::npos && at + 1 == e.size())
                e.replace(at, 1, HandleText(root));
            want.push_back(e);
        }
        EXPECT_EQ(Events(*script), want) << c.name;
        EXPECT_EQ(late->IsInScene(), c.lateInScene) << c.name;
        EXPECT_LE(Listed(script.Get()), 1) << c.name;
        kernel.RunPass();
        EXPECT_EQ(script->updates, c.updatesAfterPass) << c.name;
        // Each activation took a reference for the script; give them back so the case leaves
        // nothing behind.
        root->RemoveFromScene();
        for (const std::string& e : c.events)
            if (e.rfind("add_object", 0) == 0) root->Release();
        kernel.KillAllTasks();
        kernel.RunPass();
    }
}

TEST_F(MembershipTest, ObjectsWithoutScriptsSendNothingAndTakeNoReference) {
    CPSmartPtr<RecordingScript> script(new RecordingScript("s"));
    kernel.AddTask(CPSmartPtr<IPTask>(script.Get()));
    auto plain = Make("plain");
    const int count = plain->GetRefCount();
    plain->AddToScene(10);
    EXPECT_TRUE(plain->IsInScene());
    EXPECT_EQ(plain->GetRefCount(), count);
    plain->OnAnimationEnd();
    plain->RemoveFromScene();
    EXPECT_TRUE(script->Queue().empty());
}

TEST_F(MembershipTest, ScriptedObjectKeepsItselfAliveOnceActivated) {
    CPSmartPtr<RecordingScript> script(new RecordingScript("s"));
    const PMMHandle active = [&] {
        auto object = Make("active");
        object->SetScript(CPSmartPtr<CPLuaScript>(script.Get()));
        object->AddToScene(10);
        object->RemoveFromScene(); // does not give the reference back
        return object->GetHandle();
    }();
    const PMMHandle idle = [&] {
        auto object = Make("idle");
        object->SetScript(CPSmartPtr<CPLuaScript>(script.Get()));
        return object->GetHandle();
    }();
    for (int i = 0; i < 3; ++i) IPMMObject::CollectGarbage();
    auto* survivor = IPMMObject::FindByHandle<CPGameObject>(active);
    ASSERT_NE(survivor, nullptr);
    EXPECT_EQ(survivor->GetRefCount(), 1);
    EXPECT_EQ(IPMMObject::FindByHandle(idle), nullptr);
    // Given back by hand so the test leaves nothing behind.
    survivor->Release();
}

TEST_F(MembershipTest, AnimationEndCarriesTheHandle) {
    CPSmartPtr<RecordingScript> script(new RecordingScript("s"));
    kernel.AddTask(CPSmartPtr<IPTask>(script.Get()));
    auto object = Make("door");
    object->SetScript(CPSmartPtr<CPLuaScript>(script.Get()));
    object->OnAnimationEnd();
    EXPECT_EQ(Events(*script), (Strings{"animation_end " + HandleText(object)}));
}

TEST_F(MembershipTest, EventsReachOnlyARunningScript) {
    CPSmartPtr<RecordingScript> script(new RecordingScript("s"));
    auto object = Make("door");
    object->SetScript(CPSmartPtr<CPLuaScript>(script.Get()));
    object->OnAnimationEnd();
    EXPECT_TRUE(script->Queue().empty());
}

TEST_F(MembershipTest, ParticleSystemStartsOnlyWhenVisibleButAlwaysStops) {
    struct Case {
        bool visible;
        bool running;
        Strings log;
    };
    const Case cases[] = {
        {true, false, {"start fire 40", "stop fire"}},
        {false, false, {"stop fire"}},
        {true, true, {"stop fire"}},
    };
    for (const Case& c : cases) {
        g_log.clear();
        CPSmartPtr<RecordingTask> system(new RecordingTask("fire"));
        system->SetRunning(c.running);
        auto object = Make("emitter");
        object->SetAttachment(CPSmartPtr<IPMMObject>(system.Get()), IPSceneObject::KindParticles);
        object->SetVisible(c.visible);
        object->AddToScene(40);
        object->RemoveFromScene();
        EXPECT_EQ(g_log, c.log) << c.visible << c.running;
        kernel.KillAllTasks();
        kernel.RunPass();
    }
}

TEST_F(MembershipTest, DestructionLeavesTheScene) {
    {
        auto object = Make("doomed");
        object->AddPartAnimation("idle", CPSmartPtr<IPTask>(new RecordingTask("idle")));
        object->AddToScene(5);
    }
    g_log.clear();
    IPMMObject::CollectGarbage();
    EXPECT_NE(std::find(g_log.begin(), g_log.end(), "stop idle"), g_log.end());
}

TEST_F(MembershipTest, PartAnimationsClearStaticAndIdleBecomesCurrent) {
    auto object = Make("fan");
    CPSmartPtr<IPTask> spin(new RecordingTask("spin"));
    CPSmartPtr<IPTask> idle(new RecordingTask("idle"));
    object->AddPartAnimation("spin", spin);
    EXPECT_TRUE(object->HasPartAnimations());
    EXPECT_FALSE(object->IsStatic());
    EXPECT_FALSE(object->GetCurrentPartAnimation());
    object->AddPartAnimation("idle", idle);
    EXPECT_EQ(object->GetCurrentPartAnimation().Get(), idle.Get());
    EXPECT_EQ(object->GetPartAnimations().size(), 2u);
}

} // namespace

namespace {

TEST_F(MembershipTest, ObjectOutlivingItsScriptSendsNothing) {
    CPSmartPtr<CPGameObject> object;
    {
        CPSmartPtr<RecordingScript> script(new RecordingScript("s"));
        object = Make("lonely");
        object->SetScript(CPSmartPtr<CPLuaScript>(script.Get()));
        kernel.AddTask(CPSmartPtr<IPTask>(script.Get()));
        object->AddToScene(10);
        kernel.KillAllTasks();
        kernel.RunPass();
    }
    IPMMObject::CollectGarbage();
    EXPECT_FALSE(object->GetScript());
    EXPECT_EQ(object->GetScriptedAncestor().Get(), object.Get());
    object->RemoveFromScene();
    object->OnAnimationEnd();
    object->NotifyDamage(D3DXVECTOR3(0, 0, 0), D3DXVECTOR3(0, 0, 0), 1.0f, false, false);
    object->Release(); // the reference held for the script
}

} // namespace
