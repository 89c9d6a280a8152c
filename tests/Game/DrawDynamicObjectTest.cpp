// DrawDynamicObject on a running renderer and on one that has no render block yet.
#include <gtest/gtest.h>

#include "Game/LuaHarness.h"
#include "Game/ScriptApi.h"
#include "Game/ScriptSceneObjects.h"
#include "Render/Frame/FrameFixture.h"
#include "Render/PIVBlock.h"
#include "Render/PRender.h"
#include "Render/PRenderBlock.h"
#include "Render/PRenderObject.h"
#include "Scene/PGameObject.h"
#include "Script/ScriptBinding.h"

namespace {

class DrawDynamicObject : public frametest::RenderFixture {
protected:
    void TearDown() override {
        ScriptApi::SetScriptOfObjectFunction(nullptr);
        RenderFixture::TearDown();
    }
    static CPSmartPtr<CPGameObject> MeshObject(const char* name, const CPSmartPtr<CPMaterial>& material) {
        CPSmartPtr<CPGameObject> object(new CPGameObject(name));
        auto mesh = frametest::MakeMesh(material, 3);
        mesh->SetOwner(object.Get());
        object->SetAttachment(CPSmartPtr<IPMMObject>(mesh.Get()), IPSceneObject::KindMesh);
        return object;
    }
    void Give(const CPSmartPtr<CPGameObject>& object) {
        lua_pushlightuserdata(lua.L, Script::HandleToUserdata(object->GetHandle()));
        lua_setglobal(lua.L, "object");
    }

    kxtest::LuaHarness lua{ScriptApi::AddSceneObjectFunctions};
};

TEST_F(DrawDynamicObject, HandsTheVisibleTreeToTheRenderBlock) {
    ASSERT_TRUE(StartRenderer());
    auto material = Material(30);
    auto root = MeshObject("root", material);
    auto child = MeshObject("child", material);
    auto hidden = MeshObject("hidden", material);
    hidden->SetVisible(false);
    root->AddChild(child);
    root->AddChild(hidden);
    root->UpdateTransform();
    Give(root);
    EXPECT_EQ(lua.Eval("DrawDynamicObject(object)"), "");
    CPIVBlock* batch = render->GetRenderBlock()->FindBatch(material.Get());
    ASSERT_NE(batch, nullptr);
    EXPECT_EQ(batch->GetRenderables().size(), 2u);
}

TEST_F(DrawDynamicObject, NothingBeforeTheRendererHasItsBlock) {
    CPSmartPtr<CPRender> unstarted(new CPRender());
    ASSERT_EQ(GetRender(), unstarted.Get());
    ASSERT_FALSE(unstarted->GetRenderBlock());
    auto root = MeshObject("root", nullptr);
    Give(root);
    EXPECT_EQ(lua.Eval("DrawDynamicObject(object)"), "");
}

} // namespace
