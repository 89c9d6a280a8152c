// The scene-object script functions called from Lua: lookups, the parent frame, visibility,
// collision, activation, drawing, and scene objects named by their handles in events.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Framework/PLog.h"
#include "Framework/PMMObject.h"
#include "Framework/PTaskKernel.h"
#include "Game/LuaHarness.h"
#include "Game/ScriptApi.h"
#include "Game/ScriptSceneObjects.h"
#include "Render/PEffectManager.h"
#include "Render/PSprite.h"
#include "Scene/PAnimationLibrary.h"
#include "Scene/PGameObject.h"
#include "Script/PLuaScript.h"
#include "Script/PScriptManager.h"
#include "Script/ScriptBinding.h"
#include "support/Near.h"
#include "support/TempDir.h"

namespace {

using Strings = std::vector<std::string>;

void SetObject(lua_State* L, const char* name, const IPMMObject* object) {
    lua_pushlightuserdata(L, Script::HandleToUserdata(object ? object->GetHandle() : 0));
    lua_setglobal(L, name);
}

class SceneObjectFunctions : public ::testing::Test {
protected:
    void SetUp() override {
        root = new CPGameObject("Root");
        child = new CPGameObject("wheel");
        grandchild = new CPGameObject("hub");
        root->AddChild(child);
        child->AddChild(grandchild);
        root->UpdateTransform();
        SetObject(lua.L, "root", root.Get());
        SetObject(lua.L, "child", child.Get());
        SetObject(lua.L, "grandchild", grandchild.Get());
    }
    void TearDown() override {
        root = child = grandchild = nullptr;
        for (int i = 0; i < 3; ++i) IPMMObject::CollectGarbage();
        ScriptApi::SetScriptOfObjectFunction(nullptr);
    }
    std::string Handle(const CPSmartPtr<CPGameObject>& o) { return std::to_string(o->GetHandle()); }

    kxtest::LuaHarness lua{ScriptApi::AddObjectAndCommandFunctions, ScriptApi::AddSceneObjectFunctions};
    CPSmartPtr<CPGameObject> root, child, grandchild;
};

TEST_F(SceneObjectFunctions, GetChildObjectSearchesTheTreeByExactName) {
    struct Case {
        const char* call;
        std::string want;
    };
    const Case cases[] = {
        {"PointerToString(GetChildObject(root, 'Root'))", Handle(root)},
        {"PointerToString(GetChildObject(root, 'hub'))", Handle(grandchild)},
        {"PointerToString(GetChildObject(child, 'wheel'))", Handle(child)},
        {"PointerToString(GetChildObject(root, 'root'))", "0"},
        {"PointerToString(GetChildObject(root, 'HUB'))", "0"},
        {"PointerToString(GetChildObject(grandchild, 'wheel'))", "0"},
        {"PointerToString(GetChildObject(nil, 'hub'))", "0"},
        {"PointerToString(GetChildObject(5, 'hub'))", "0"},
    };
    for (const Case& c : cases) EXPECT_EQ(lua.Eval(c.call), '"' + c.want + '"') << c.call;
    EXPECT_NE(lua.Eval("GetChildObject(root)").find("error"), std::string::npos);
}

TEST_F(SceneObjectFunctions, GetParentObject) {
    EXPECT_EQ(lua.Eval("PointerToString(GetParentObject(grandchild))"), '"' + Handle(child) + '"');
    EXPECT_EQ(lua.Eval("PointerToString(GetParentObject(root))"), "\"0\"");
    EXPECT_EQ(lua.Eval("PointerToString(GetParentObject())"), "\"0\"");
}

TEST_F(SceneObjectFunctions, SetPTransformationPlacesTheObjectAtOnce) {
    auto lone = CPSmartPtr<CPGameObject>(new CPGameObject("lone"));
    lone->UpdateTransform();
    SetObject(lua.L, "lone", lone.Get());
    EXPECT_EQ(lua.Eval("SetPTransformation(lone, 1, 2, 3)"), "");
    const D3DXMATRIX& m = lone->GetWorldMatrix();
    EXPECT_TRUE(kxtest::Near(D3DXVECTOR3(m._41, m._42, m._43), D3DXVECTOR3(1, 2, 3)));
    EXPECT_FALSE(lone->IsDirty());
    // With a turn: yaw a quarter about y takes x to -z, then the move.
    lone->SetPosition(D3DXVECTOR3(1, 0, 0));
    EXPECT_EQ(lua.Eval("SetPTransformation(lone, 0, 0, 5, math.pi / 2, 0, 0)"), "");
    const D3DXMATRIX& turned = lone->GetWorldMatrix();
    EXPECT_TRUE(kxtest::Near(D3DXVECTOR3(turned._41, turned._42, turned._43), D3DXVECTOR3(0, 0, 4), 1e-5f));
    // On a child, the parent's next update replaces the frame; the children follow at once.
    EXPECT_EQ(lua.Eval("SetPTransformation(child, 10, 0, 0)"), "");
    const D3DXMATRIX& hub = grandchild->GetWorldMatrix();
    EXPECT_TRUE(kxtest::Near(D3DXVECTOR3(hub._41, hub._42, hub._43), D3DXVECTOR3(10, 0, 0)));
    root->SetDirty(true);
    root->UpdateTransform();
    EXPECT_TRUE(kxtest::Near(D3DXVECTOR3(hub._41, hub._42, hub._43), D3DXVECTOR3(0, 0, 0)));
}

TEST_F(SceneObjectFunctions, VisibleAndCollision) {
    EXPECT_EQ(lua.Eval("SetVisible(child, false)"), "");
    EXPECT_FALSE(child->IsVisible());
    EXPECT_TRUE(grandchild->IsVisible());
    EXPECT_EQ(lua.Eval("SetVisible(child, 1)"), "");
    EXPECT_TRUE(child->IsVisible());
    EXPECT_EQ(lua.Eval("SetCollision(root, false)"), "");
    EXPECT_FALSE(root->IsCollision());
    EXPECT_TRUE(child->IsCollision());
    EXPECT_EQ(lua.Eval("SetCollision(root, true)"), "");
    EXPECT_TRUE(root->IsCollision());
}

TEST_F(SceneObjectFunctions, NoObjectDoesNothing) {
    for (const char* call :
         {"SetVisible(5, false)", "SetVisible('root', false)", "SetVisible()", "SetCollision(5, false)",
          "SetCollision('x', false)", "SetCollision()", "ActivateObject(5, 100)", "ActivateObject('root', 100)",
          "ActivateObject()", "DeactivateObject(7)", "DeactivateInterface('x')", "DrawDynamicObject(3)",
          "SetPTransformation('root', 1, 2, 3)", "SetPTransformation()"}) {
        EXPECT_EQ(lua.Eval(call), "") << call;
    }
    EXPECT_TRUE(root->IsVisible());
    EXPECT_TRUE(root->IsCollision());
    EXPECT_FALSE(root->IsInScene());
}

TEST_F(SceneObjectFunctions, ActivationAndBothDeactivationNames) {
    EXPECT_EQ(lua.Eval("ActivateObject(root, 250.9)"), "");
    EXPECT_TRUE(root->IsInScene());
    EXPECT_TRUE(grandchild->IsInScene());
    EXPECT_EQ(lua.Eval("DeactivateInterface(root)"), "");
    EXPECT_FALSE(root->IsInScene());
    EXPECT_EQ(lua.Eval("ActivateObject(child, 1)"), "");
    EXPECT_EQ(lua.Eval("DeactivateObject(child)"), "");
    EXPECT_FALSE(grandchild->IsInScene());
}

TEST_F(SceneObjectFunctions, DeactivateInterfaceIsDeactivateObject) {
    Script::ScriptFunctionTables tables;
    ScriptApi::InstallScriptApi(tables);
    lua_CFunction object = nullptr, interface = nullptr;
    for (const auto& e : tables.Table(ScriptApi::kFirstTable))
        if (std::string(e.name) == "DeactivateObject") object = e.function;
    for (const auto& e : tables.Table(ScriptApi::kSecondTable))
        if (std::string(e.name) == "DeactivateInterface") interface = e.function;
    ASSERT_NE(object, nullptr);
    EXPECT_EQ(object, interface);
    for (const char* name : {"ActivateObject", "SetVisible", "SetCollision", "GetChildObject", "GetParentObject",
                             "SetPTransformation", "DrawDynamicObject"}) {
        bool found = false;
        for (const auto& e : tables.Table(ScriptApi::kFirstTable)) found = found || std::string(e.name) == name;
        EXPECT_TRUE(found) << name;
    }
}

TEST_F(SceneObjectFunctions, DrawDynamicObjectWithoutRendererDoesNothing) {
    EXPECT_EQ(lua.Eval("DrawDynamicObject(root)"), "");
}

// ---------------------------------------------------------------------------------------------
// LoadRenderObject: the tree of a render description, referenced for the script.

class LoadRenderObjectFunction : public ::testing::Test {
protected:
    void TearDown() override {
        for (int i = 0; i < 3; ++i) IPMMObject::CollectGarbage();
        ScriptApi::SetScriptOfObjectFunction(nullptr);
    }
    kxtest::TempGameRoot root;
    kxtest::LuaHarness lua{ScriptApi::AddObjectAndCommandFunctions, ScriptApi::AddSceneObjectFunctions};
};

TEST_F(LoadRenderObjectFunction, TreeHeldUntilTheScriptReleasesIt) {
    root.Write("Data/Meshes/marker.rdf", "h = empty\nsprite = glow, 0, 0, 1, 0.5\n[glow]\ntype = 2\n");
    CPAnimationLibrary library;
    auto* effects = new CPEffectManager();
    lua.Run("tree = LoadRenderObject('marker.rdf', 60.9)");
    const PMMHandle handle = std::stoul(lua.Eval("PointerToString(tree)").substr(1));
    ASSERT_NE(handle, 0u);
    CPGameObject* tree = IPMMObject::FindByHandle<CPGameObject>(handle);
    ASSERT_NE(tree, nullptr);
    EXPECT_EQ(tree->GetName(), "empty");
    EXPECT_EQ(tree->GetRefCount(), 1);
    EXPECT_EQ(Script::ScriptReferenceCount(tree), 1);
    ASSERT_EQ(tree->GetChildren().size(), 1u);
    // The key is truncated: 60.9 gives a base of 60.
    auto* sprite = dynamic_cast<CPSprite*>(tree->GetChildren()[0]->GetAttachment().Get());
    ASSERT_NE(sprite, nullptr);
    ASSERT_TRUE(sprite->GetMaterial());
    EXPECT_EQ(sprite->GetMaterial()->GetRenderKey(), 62);

    // Held across frames while the script holds it.
    for (int i = 0; i < 3; ++i) IPMMObject::CollectGarbage();
    EXPECT_EQ(IPMMObject::FindByHandle<CPGameObject>(handle), tree);

    lua.Run("Release(tree)");
    EXPECT_EQ(IPMMObject::FindByHandle<CPGameObject>(handle), tree);
    IPMMObject::CollectGarbage();
    EXPECT_EQ(IPMMObject::FindByHandle<CPGameObject>(handle), nullptr);
    for (int i = 0; i < 3; ++i) IPMMObject::CollectGarbage();
    delete effects;
}

TEST_F(LoadRenderObjectFunction, NullObjectWhenTheLoaderAnswersNone) {
    root.Write("Data/Meshes/broken.rdf", "h = missing.p3d\n");
    EXPECT_EQ(lua.Eval("PointerToString(LoadRenderObject('broken.rdf', 0))"), "\"0\"");
    {
        CPAnimationLibrary library;
        EXPECT_EQ(lua.Eval("PointerToString(LoadRenderObject('broken.rdf', 0))"), "\"0\"");
        // No fall-back description either.
        EXPECT_EQ(lua.Eval("PointerToString(LoadRenderObject('absent.rdf', 0))"), "\"0\"");
    }
    EXPECT_NE(lua.Eval("LoadRenderObject('broken.rdf')").find("error"), std::string::npos);
    EXPECT_NE(lua.Eval("LoadRenderObject()").find("error"), std::string::npos);
}

// ---------------------------------------------------------------------------------------------
// Scene objects named in events, through real scripts.

Strings g_reports;

int Report(lua_State* L) {
    std::string line;
    for (int i = 1; i <= lua_gettop(L); ++i) {
        if (i > 1) line += "|";
        const char* text = lua_tostring(L, i);
        line += text ? text : luaL_typename(L, i);
    }
    g_reports.push_back(line);
    return 0;
}

class SceneObjectEvents : public ::testing::Test {
protected:
    void SetUp() override {
        g_reports.clear();
        ScriptApi::InstallScriptApi();
        static const Script::ScriptFunction kTest[] = {{"Report", Report}};
        Script::GetScriptFunctionTables().Add(ScriptApi::kFirstTable, kTest);
        CPLog::Instance().SetSink([](int, const std::string&) {});
    }
    void TearDown() override {
        CPLog::Instance().SetSink(nullptr);
        kernel.KillAllTasks();
        kernel.RunPass();
        delete manager;
        for (int i = 0; i < 3; ++i) IPMMObject::CollectGarbage();
        Script::GetScriptFunctionTables().Clear();
        ScriptApi::SetScriptOfObjectFunction(nullptr);
    }
    void Load(const std::string& source) {
        root.Write("Data/Scripts/door.lua", source);
        root.Write("Data/Scripts/list.dat", "door t_system\n");
        ASSERT_TRUE(manager->LoadScriptList());
    }
    void Pass(int n = 1) {
        for (int i = 0; i < n; ++i) kernel.RunPass();
    }

    kxtest::TempGameRoot root;
    CPTaskKernel kernel;
    CPScriptManager* manager = new CPScriptManager();
};

// Keeps the text of "add_object"; on "probe" reports what that text names now.
const char* const kDoorScript = "local saved\n"
                                "while true do\n"
                                "  while SetNextCommand(globalObject) do\n"
                                "    local c = GetCurrentCommand(globalObject)\n"
                                "    local p = GetCurrentParams(globalObject)\n"
                                "    if c == 'add_object' then\n"
                                "      saved = p\n"
                                "      local o = StringToPointer(p)\n"
                                "      Report(c, tostring(PointerToString(GetChildObject(o, 'door')) == p))\n"
                                "      SetVisible(o, false)\n"
                                "      SendCommandByObject(o, 'ping', 'x')\n"
                                "    elseif c == 'probe' then\n"
                                "      Report(c, PointerToString(GetChildObject(StringToPointer(saved), 'door')))\n"
                                "      SetVisible(StringToPointer(saved), true)\n"
                                "    else\n"
                                "      Report(c, p)\n"
                                "    end\n"
                                "  end\n"
                                "  Update()\n"
                                "end\n";

TEST_F(SceneObjectEvents, AddObjectTextNamesTheObjectWhileItLives) {
    Load(kDoorScript);
    CPSmartPtr<CPLuaScript> script = manager->GetScript("door");
    const PMMHandle handle = [&] {
        CPSmartPtr<CPGameObject> door(new CPGameObject("door"));
        door->SetScript(script);
        door->AddToScene(100);
        Pass(); // the script reads "add_object", hides the door and sends it "ping"
        EXPECT_FALSE(door->IsVisible());
        Pass(); // "ping" reached the door's script through the door
        EXPECT_EQ(g_reports, (Strings{"add_object|true", "ping|x"}));
        door->RemoveFromScene();
        door->Release(); // the reference the activation kept for the script
        return door->GetHandle();
    }();
    // The activation's reference kept it alive until given back; now the collector takes it.
    IPMMObject::CollectGarbage();
    ASSERT_EQ(IPMMObject::FindByHandle(handle), nullptr);
    g_reports.clear();
    manager->SendCommandByObject(script, "probe", "");
    Pass();
    // The same text names no object now, and using it is harmless.
    EXPECT_EQ(g_reports, (Strings{"delete_object|" + std::to_string(handle), "probe|0"}));
}

TEST_F(SceneObjectEvents, ActivatedScriptedObjectStaysAliveWithoutHandles) {
    Load(kDoorScript);
    const PMMHandle handle = [&] {
        CPSmartPtr<CPGameObject> door(new CPGameObject("door"));
        door->SetScript(manager->GetScript("door"));
        door->AddToScene(100);
        return door->GetHandle();
    }();
    Pass(2);
    IPMMObject::CollectGarbage();
    auto* door = IPMMObject::FindByHandle<CPGameObject>(handle);
    ASSERT_NE(door, nullptr);
    EXPECT_EQ(door->GetRefCount(), 1);
    door->RemoveFromScene();
    door->Release();
}

} // namespace
