// The interface script functions, called from Lua.

#include "InterfaceFixture.h"

#include "Game/LuaHarness.h"
#include "Game/ScriptApi.h"
#include "Game/ScriptInterface.h"
#include "Game/ScriptSceneObjects.h"
#include "Script/ScriptBinding.h"

using namespace interfacetest;

namespace {

const char* const kLayout = "window\na 10,20,30,40\n"
                            "button\nb 100,100,50,20\nbo 100,100,60,20\nbp 100,100,70,20\n"
                            "text\nlabel f,0,0,hello\n"
                            "text\nloaded f,0,50,hello\n"
                            "textedit\nfield 0,100,f,5,x,ABC\n"
                            "window\ncursor 0,0,8,8\n";

class ScriptInterfaceTest : public InterfaceTest {
protected:
    void SetUp() override {
        InterfaceTest::SetUp();
        WriteLayout("menu", Header() + kLayout);
        lua =
            std::make_unique<kxtest::LuaHarness>(ScriptApi::AddObjectAndCommandFunctions,
                                                 ScriptApi::AddSceneObjectFunctions, ScriptApi::AddInterfaceFunctions);
        lua->Run("ui = CreateInterface('menu', 0)");
    }
    void TearDown() override {
        lua.reset();
        g_appClosing = false;
        for (CPInterface* ui : CPInterface::LiveInterfaces())
            while (Script::GiveBackScriptReference(ui)) {}
        InterfaceTest::TearDown();
    }
    CPInterface& Ui() { return *CPInterface::LiveInterfaces().back(); }
    std::string Eval(const std::string& call) { return lua->Eval(call); }

    std::unique_ptr<kxtest::LuaHarness> lua;
};

TEST_F(ScriptInterfaceTest, CreateInterfaceLoadsTheLayoutAndHoldsAReferenceForTheScript) {
    EXPECT_EQ(Ui().GetName(), "menu");
    EXPECT_EQ(Script::ScriptReferenceCount(&Ui()), 1);
    EXPECT_EQ(Ui().GetElements().size(), 2u);
    EXPECT_EQ(Eval("CreateInterface('missing', 2) ~= nil"), "true");
    // A layer at the end of the int range saturates the render key.
    lua->Run("huge = CreateInterface('menu', 1e12)");
    EXPECT_EQ(Ui().GetBatch()->GetMaterial()->GetRenderKey(), 2147483647);
}

TEST_F(ScriptInterfaceTest, PositionFunctionsConvertAsTheirNamesSay) {
    UseScreen(1280, 1024);
    const float s = 1024.0f / 768.0f;
    struct Case {
        std::string call;
        float x, y;
    };
    const Case cases[] = {
        {"SetWindowPosition(ui, 'a', 512, 384)", 640.0f, 384.0f * s},
        {"SetWindowPositionShop(ui, 'a', 512, 384)", 1280.0f * 511.5f / 1024.0f, s * 383.5f},
        {"SetWindowPosition2(ui, 'a', 7, 9)", 7.0f, 9.0f},
        {"SetWindowPosition2P(GetWindow(ui, 'a'), 3, 4)", 3.0f, 4.0f},
    };
    for (const Case& c : cases) {
        lua->Run(c.call);
        EXPECT_FLOAT_EQ(Ui().FindElement("a")->GetX(), c.x) << c.call;
        EXPECT_FLOAT_EQ(Ui().FindElement("a")->GetY(), c.y) << c.call;
    }
    EXPECT_EQ(Eval("GetWindowPosition(ui, 'a')"), "3 4");
}

TEST_F(ScriptInterfaceTest, DefaultsForMissingInterfacesAndNames) {
    const std::pair<std::string, std::string> cases[] = {
        {"GetWindowPosition(ui, 'none')", "-1 -1"},
        {"GetWindowPosition(nil, 'a')", "-1 -1"},
        {"GetWindowSize(ui, 'none')", "-1 -1"},
        {"GetTextPosition(ui, 'none')", "-1 -1"},
        {"GetTextPosition(nil, 'label')", "-1 -1"},
        {"SetText(ui, 'none', 'AB')", "0"},
        {"SetText(nil, 'label', 'AB')", "0"},
        {"SetTextString(ui, 'none', 'hello')", "0"},
        {"EditBoxTextLength(ui, 'none')", "0"},
        {"EditBoxTextLength(nil, 'field')", ""},
        {"GetEditBoxText(ui, 'none')", "\"\""},
        {"GetEditBoxText(nil, 'field')", ""},
        {"GetCursor(nil)", ""},
        {"GetCursor(ui)", "\"\""},
        {"GetTextString('no such key')", "\"\""},
        {"GetWindow(ui, 'none') ~= nil", "true"},
        {"GetWindow(ui, 'none') == GetWindow(nil, 'a')", "true"},
        {"GetWindow(ui, 'cursor') == GetWindow(ui, 'none')", "true"},
        {"SetWindowVisible(nil, 'a', false)", ""},
        {"LockButton(nil, 'b')", ""},
        {"UpdateInterface(ui)", ""},
        {"ActivateInterface(nil)", ""},
        {"SetWindowPositionShop(nil, 'a', 1, 1)", ""},
    };
    for (const auto& [call, expected] : cases) EXPECT_EQ(Eval(call), expected) << call;
}

TEST_F(ScriptInterfaceTest, SetTextAnswersTheWidthAndKeepsTheText) {
    EXPECT_EQ(Eval("SetText(ui, 'label', 'AB')"), "18");
    EXPECT_EQ(Ui().FindText("label")->text, "AB");
    EXPECT_EQ(Eval("SetTextString(ui, 'label', 'long')"), "23");
    EXPECT_EQ(Ui().FindText("label")->text, "ABC");
    EXPECT_EQ(Eval("GetTextString('hello')"), "\"AB\"");
}

TEST_F(ScriptInterfaceTest, SetFontIsUndoneBySetTextPosition) {
    lua->Run("SetText(ui, 'label', 'AB')");
    lua->Run("SetFont(ui, 'label', 'nofont', 'ABC')");
    const auto& mesh = Ui().FindText("label")->object->GetRenderObject()->ModelVertices();
    EXPECT_TRUE(mesh.empty());
    lua->Run("SetFontString(ui, 'label', 'f', 'long')");
    EXPECT_EQ(Ui().FindText("label")->object->GetRenderObject()->ModelVertices().size(), 12u);
    lua->Run("SetTextPosition(ui, 'label', 5, 6)");
    const auto& again = Ui().FindText("label")->object->GetRenderObject()->ModelVertices();
    ASSERT_EQ(again.size(), 8u);
    EXPECT_FLOAT_EQ(again[0].x, 5.0f);
    EXPECT_FLOAT_EQ(again[0].y, 6.0f);
    EXPECT_EQ(Eval("GetTextPosition(ui, 'label')"), "5 6");
}

TEST_F(ScriptInterfaceTest, EditBoxFunctions) {
    EXPECT_EQ(Eval("EditBoxTextLength(ui, 'field')"), "3");
    EXPECT_EQ(Eval("GetEditBoxText(ui, 'field')"), "\"ABC\"");
    lua->Run("EditBoxProcessKey(ui, 'field', 168); EditBoxProcessKey(ui, 'field', 184)");
    lua->Run("EditBoxProcessKey(ui, 'field', 256 + 184)");
    EXPECT_EQ(Eval("GetEditBoxText(ui, 'field')"), "\"ABC\"");
    lua->Run("EditBoxProcessKey(ui, 'field', 224)");
    EXPECT_EQ(Eval("GetEditBoxText(ui, 'field')"), "\"ABC\xE0\"");
    lua->Run("SetEditBoxText(ui, 'field', 'ABCABCABC')");
    EXPECT_EQ(Eval("EditBoxTextLength(ui, 'field')"), "5");
}

TEST_F(ScriptInterfaceTest, MovingTheInterfaceReprintsItsTexts) {
    lua->Run("SetText(ui, 'label', 'AB')");
    lua->Run("SetInterfacePosition(ui, 10, 20)");
    const auto& label = Ui().FindText("label")->object->GetRenderObject()->ModelVertices();
    ASSERT_EQ(label.size(), 8u);
    EXPECT_FLOAT_EQ(label[0].x, 10.5f);
    EXPECT_FLOAT_EQ(label[0].y, 20.5f);
    EXPECT_TRUE(Ui().FindText("loaded")->object->GetRenderObject()->ModelVertices().empty());
    const auto& field = Ui().FindText("field")->object->GetRenderObject()->ModelVertices();
    ASSERT_EQ(field.size(), 16u); // "ABC_"
    EXPECT_FLOAT_EQ(field[0].y, 120.5f);
    EXPECT_EQ(Eval("GetWindowPosition(ui, 'a')"), "19.5 39.5");
}

TEST_F(ScriptInterfaceTest, WhileClosingTextFunctionsAnswerNothing) {
    g_appClosing = true;
    EXPECT_EQ(Eval("SetText(ui, 'label', 'AB')"), "");
    EXPECT_EQ(Eval("SetTextString(ui, 'label', 'hello')"), "");
    EXPECT_EQ(Eval("GetTextString('hello')"), "\"\"");
    EXPECT_EQ(Ui().FindText("label")->text, "");
}

TEST_F(ScriptInterfaceTest, CursorFunctions) {
    EXPECT_EQ(Eval("SetCursor(ui, 'zzz')"), "");
    EXPECT_EQ(Eval("GetCursor(ui)"), "\"zzz\"");
    EXPECT_FALSE(Ui().GetPointerObject());
    lua->Run("SetCursor(ui, 'cursor')");
    EXPECT_TRUE(Ui().GetPointerObject());
    // The name is required even without an interface.
    EXPECT_EQ(Eval("SetCursor(nil)").rfind("error:", 0), 0u);
    EXPECT_EQ(Eval("SetCursor(ui)").rfind("error:", 0), 0u);
}

TEST_F(ScriptInterfaceTest, LockingTheFocusedButtonLeavesIt) {
    Ui().SilentActivate(450);
    Ui().MoveFocusTo(101.0f, 101.0f);
    ASSERT_EQ(Ui().GetFocus(), Ui().FindElement("b"));
    TakeCommands();
    lua->Run("LockButton(ui, 'b')");
    EXPECT_EQ(Ui().GetFocus(), nullptr);
    EXPECT_FALSE(Ui().FindElement("b")->IsEnabled());
    EXPECT_EQ(TakeCommands(), std::vector<std::string>{"category interface mouse_button_out b"});
    lua->Run("IMenuRight()");
    EXPECT_EQ(Ui().GetFocus(), nullptr);
    lua->Run("UnlockButton(ui, 'b')");
    EXPECT_TRUE(Ui().FindElement("b")->IsEnabled());
    lua->Run("IMenuLeft()");
    EXPECT_EQ(Ui().GetFocus(), Ui().FindElement("b"));
    lua->Run("DeselectCurrentButton(ui)");
    EXPECT_EQ(Ui().GetFocus(), nullptr);
    EXPECT_EQ(static_cast<CPButton*>(Ui().FindElement("b"))->GetState(), 0);
}

TEST_F(ScriptInterfaceTest, WindowFunctions) {
    lua->Run("SetWindowVisible(ui, 'a', false)");
    EXPECT_FALSE(Ui().FindElement("a")->IsVisible());
    lua->Run("SetWindowVisibleP(GetWindow(ui, 'a'), true)");
    EXPECT_TRUE(Ui().FindElement("a")->IsVisible());
    lua->Run("SetWindowSize(ui, 'a', 8, 6)");
    EXPECT_EQ(Eval("GetWindowSize(ui, 'a')"), "8 6");
    lua->Run("SetWindowRotation(ui, 'a', math.pi)");
    EXPECT_NEAR(Ui().FindElement("a")->GetVertices()[0].x, 8.0f, 1e-4f);
    EXPECT_NEAR(Ui().FindElement("a")->GetVertices()[0].y, 6.0f, 1e-4f);
    lua->Run("SetWindowRotationP(GetWindow(ui, 'a'), 0)");
    EXPECT_NEAR(Ui().FindElement("a")->GetVertices()[0].x, 0.0f, 1e-4f);
    // A button answers the size of its normal picture.
    EXPECT_EQ(Eval("GetWindowSize(ui, 'b')"), "50 20");
    lua->Run("UpdateInterfaceBuffers(ui)");
    EXPECT_EQ(Ui().GetBatch()->ModelVertices().size(), 8u);
}

TEST_F(ScriptInterfaceTest, ActivationFunctions) {
    lua->Run("SilentActivateInterface(ui)");
    EXPECT_TRUE(Ui().IsActive());
    EXPECT_TRUE(Ui().IsInScene());
    Ui().Deactivate();
    lua->Run("ActivateInterface(ui)");
    EXPECT_TRUE(Ui().IsActive());
    // The scene object's own way out reaches the interface's.
    Ui().RemoveFromScene();
    EXPECT_FALSE(Ui().IsActive());
    Ui().AddToScene(450);
    EXPECT_TRUE(Ui().IsActive());
}

TEST_F(ScriptInterfaceTest, TheSceneObjectFunctionsActivateAndDeactivateInterfaces) {
    lua->Run("ActivateObject(ui, 450)");
    EXPECT_TRUE(Ui().IsActive());
    lua->Run("DeactivateInterface(ui)");
    EXPECT_FALSE(Ui().IsActive());
    EXPECT_FALSE(Ui().IsInScene());
    lua->Run("ActivateObject(ui, 450)");
    lua->Run("DeactivateObject(ui)");
    EXPECT_FALSE(Ui().IsActive());
}

TEST_F(ScriptInterfaceTest, RegisteredInTheirTables) {
    Script::ScriptFunctionTables tables;
    ScriptApi::InstallScriptApi(tables);
    lua_State* L = luaL_newstate();
    tables.RegisterInto(L);
    for (const char* name : {"LockButton", "UnlockButton", "CreateInterface", "SetCursor", "GetCursor",
                             "GetWindowPosition", "IMenuRight", "SetWindowPositionShop", "GetTextString"}) {
        lua_getglobal(L, name);
        EXPECT_TRUE(lua_isfunction(L, -1)) << name;
        lua_pop(L, 1);
    }
    lua_close(L);
}

} // namespace
