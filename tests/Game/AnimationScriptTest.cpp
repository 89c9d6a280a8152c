// SetAnimation and StartAnimation from Lua on a tree whose children carry animated objects: the
// request reaches every animated object below the named one, and the events reach the listener
// with its handle.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Framework/CommandRouter.h"
#include "Framework/PGlobalTimer.h"
#include "Game/LuaHarness.h"
#include "Game/ScriptAnimation.h"
#include "Render/PRenderSeams.h"
#include "Scene/PAnimatedObject.h"
#include "Scene/PAnimation.h"
#include "Scene/PGameObject.h"
#include "Script/PLuaScript.h"
#include "Script/ScriptBinding.h"
#include "support/RecordingRouter.h"

namespace {

// A scene node with children and, for the animated kind, an animated object it places.
class Node : public IPSceneObject {
public:
    explicit Node(bool animated) : m_kind(animated ? KindAnimated : KindEmpty) {
        if (animated) {
            m_animated = new CPAnimatedObject();
            m_animated->SetOwner(this);
        }
    }
    int GetSize() const override { return static_cast<int>(sizeof(Node)); }
    std::string GetClassName() const override { return "Node"; }
    bool IsVisible() const override { return true; }
    bool IsStatic() const override { return false; }
    void SetStatic(bool) override {}
    int GetKind() const override { return m_kind; }
    IPRenderable* GetRenderable() const override { return m_animated.Get(); }
    CPLight* GetLight() const override { return nullptr; }
    int GetChildCount() const override { return static_cast<int>(m_children.size()); }
    IPSceneObject* GetChild(int i) const override { return m_children[static_cast<std::size_t>(i)].Get(); }
    int GetAttachedCount() const override { return 0; }
    IPSceneObject* GetAttached(int) const override { return nullptr; }
    const D3DXMATRIX& GetWorldMatrix() const override { return m_world; }
    bool IsTransformChanged() const override { return false; }
    void ClearTransformChanged() override {}
    D3DXVECTOR3 GetPickHalfSize() const override { return D3DXVECTOR3(0, 0, 0); }

    void Add(const CPSmartPtr<Node>& child) { m_children.push_back(child); }
    CPAnimatedObject& Animated() { return *m_animated; }

private:
    int m_kind;
    CPSmartPtr<CPAnimatedObject> m_animated;
    std::vector<CPSmartPtr<Node>> m_children;
    D3DXMATRIX m_world{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
};

// Four frames of one triangle, 0.1 s each.
CPSmartPtr<CPAnimation> FourFrames() {
    std::vector<SPAnimationFrame> frames(4);
    for (SPAnimationFrame& frame : frames) {
        frame.vertices.resize(3);
        frame.indices = {0, 1, 2};
    }
    CPSmartPtr<CPAnimation> animation(new CPAnimation("test"));
    animation->SetFrames(std::move(frames), 0.1f);
    return animation;
}

class AnimationScripts : public ::testing::Test {
protected:
    void SetUp() override {
        g_totalTime = 10.0;
        SetCommandRouter(&router);
        root = new Node(false);
        child = new Node(true);
        grandchild = new Node(true);
        root->Add(child);
        child->Add(grandchild);
        for (Node* node : {child.Get(), grandchild.Get()}) {
            node->Animated().AddAnimation("idle", FourFrames());
            node->Animated().AddAnimation("attack", FourFrames());
        }
        listener = new CPLuaScript();
        SetGlobal("root", root.Get());
        SetGlobal("child", child.Get());
        SetGlobal("listener", listener.Get());
    }
    void TearDown() override {
        SetCommandRouter(nullptr);
        root = child = grandchild = nullptr;
        listener = nullptr;
        IPMMObject::CollectGarbage();
        IPMMObject::CollectGarbage();
        g_totalTime = 0.0;
    }
    void SetGlobal(const char* name, IPMMObject* object) {
        lua_pushlightuserdata(lua.L, Script::HandleToUserdata(object->GetHandle()));
        lua_setglobal(lua.L, name);
    }
    // Draws every animated node once at clock t.
    void DrawAt(double t) {
        g_totalTime = t;
        for (Node* node : {child.Get(), grandchild.Get()}) {
            std::vector<SPVertex> v(static_cast<std::size_t>(node->Animated().GetVertexCount()));
            std::vector<std::uint16_t> i(static_cast<std::size_t>(node->Animated().GetIndexCount()));
            node->Animated().FillVertices(v.data(), i.data(), 0, 0);
        }
    }
    std::vector<std::string> Events() const {
        std::vector<std::string> out;
        for (const kxtest::SentCommand& c : router.sent) {
            EXPECT_EQ(c.script, listener.Get());
            out.push_back(c.command + " " + c.params);
        }
        return out;
    }

    kxtest::RecordingRouter router;
    kxtest::LuaHarness lua{ScriptApi::AddAnimationFunctions};
    CPSmartPtr<Node> root, child, grandchild;
    CPSmartPtr<CPLuaScript> listener;
};

TEST_F(AnimationScripts, SetAnimationReachesEveryAnimatedObjectBelowAndReportsToTheListener) {
    EXPECT_EQ(lua.Eval("SetAnimation(root, 'attack', 2, 1, 1, listener)"), "");
    for (Node* node : {child.Get(), grandchild.Get()}) {
        CPAnimatedObject& animated = node->Animated();
        EXPECT_EQ(animated.GetCurrentName(), "attack");
        EXPECT_EQ(animated.GetSpeed(), 2.0f);
        EXPECT_EQ(animated.GetLoopLimit(), 1);
        EXPECT_EQ(animated.GetReportFrame(), 1);
        EXPECT_EQ(animated.GetReportTarget().Get(), listener.Get());
        EXPECT_FLOAT_EQ(animated.GetStartTime(), 10.0f);
    }
    EXPECT_EQ(listener->GetRefCount(), 3) << "held by each request it was handed to, and here";
    DrawAt(10.01);
    DrawAt(10.06); // frame 1: the report
    DrawAt(10.21); // wrapped: the stop
    const std::string handle = std::to_string(listener->GetHandle());
    const std::vector<std::string> expected = {
        "animation_report " + handle,
        "animation_report " + handle,
        "animation_stopped " + handle,
        "animation_stopped " + handle,
    };
    EXPECT_EQ(Events(), expected);
}

TEST_F(AnimationScripts, StartAnimationPlaysAtNormalSpeedWithoutAReport) {
    EXPECT_EQ(lua.Eval("StartAnimation(child, 'attack', 3.9, listener)"), "");
    CPAnimatedObject& animated = grandchild->Animated();
    EXPECT_EQ(animated.GetCurrentName(), "attack");
    EXPECT_EQ(animated.GetSpeed(), 1.0f);
    EXPECT_EQ(animated.GetLoopLimit(), 3);
    EXPECT_EQ(animated.GetReportFrame(), -1);
    for (double t = 10.0; t < 12.0; t += 0.05) DrawAt(t);
    const std::string handle = std::to_string(listener->GetHandle());
    EXPECT_EQ(Events(), (std::vector<std::string>{"animation_stopped " + handle, "animation_stopped " + handle}));
}

TEST_F(AnimationScripts, TheSameNameGoesOnAndMissingArgumentsReadAsNothing) {
    EXPECT_EQ(lua.Eval("StartAnimation(root, 'idle', 0, listener)"), "");
    g_totalTime = 20.0;
    EXPECT_EQ(lua.Eval("SetAnimation(root, 'idle', 5, 1, 2, listener)"), "");
    EXPECT_FLOAT_EQ(child->Animated().GetStartTime(), 10.0f) << "never restarted";
    EXPECT_EQ(child->Animated().GetSpeed(), 1.0f);

    EXPECT_EQ(lua.Eval("SetAnimation(root, 'attack')"), "");
    CPAnimatedObject& animated = child->Animated();
    EXPECT_EQ(animated.GetCurrentName(), "attack");
    EXPECT_EQ(animated.GetSpeed(), 0.0f);
    EXPECT_EQ(animated.GetLoopLimit(), 0);
    EXPECT_EQ(animated.GetReportFrame(), 0);
    EXPECT_FALSE(animated.GetReportTarget());

    // Unknown names, no object, or an object that is not a scene object change nothing.
    EXPECT_EQ(lua.Eval("SetAnimation(root, 'missing', 1, 1, 1, listener)"), "");
    EXPECT_EQ(lua.Eval("SetAnimation(nil, 'idle', 1, 1, 1, listener)"), "");
    EXPECT_EQ(lua.Eval("StartAnimation(listener, 'idle', 1, listener)"), "");
    EXPECT_EQ(animated.GetCurrentName(), "attack");
    DrawAt(21.0);
    EXPECT_TRUE(Events().empty());
}

TEST_F(AnimationScripts, SceneObjectTreesTakeTheRequestThroughTheirAnimatedChildren) {
    CPSmartPtr<CPGameObject> monster(new CPGameObject("monster"));
    CPSmartPtr<CPGameObject> body(new CPGameObject("body"));
    monster->AddChild(body);
    CPSmartPtr<CPAnimatedObject> animated(new CPAnimatedObject());
    animated->AddAnimation("idle", FourFrames());
    animated->AddAnimation("attack", FourFrames());
    animated->SetOwner(body.Get());
    body->SetAttachment(CPSmartPtr<IPMMObject>(animated), IPSceneObject::KindAnimated);
    SetGlobal("monster", monster.Get());

    EXPECT_EQ(lua.Eval("StartAnimation(monster, 'attack', 1, listener)"), "");
    EXPECT_EQ(animated->GetCurrentName(), "attack");
    monster->UpdateTransform();
    for (double t = 10.0; t < 11.0; t += 0.05) {
        g_totalTime = t;
        std::vector<SPVertex> v(static_cast<std::size_t>(animated->GetVertexCount()));
        std::vector<std::uint16_t> i(static_cast<std::size_t>(animated->GetIndexCount()));
        animated->FillVertices(v.data(), i.data(), 0, 0);
    }
    EXPECT_EQ(Events(), (std::vector<std::string>{"animation_stopped " + std::to_string(listener->GetHandle())}));
}

} // namespace
