// The script list, the name and category maps, and the three routes of commands.

#include "Framework/CommandRouter.h"
#include "Script/PScriptManager.h"
#include "ScriptTestSupport.h"

namespace {

using Strings = std::vector<std::string>;

class ScriptManagerTest : public scripttest::ScriptFixture {
protected:
    void TearDown() override {
        delete manager;
        manager = nullptr;
        ScriptFixture::TearDown();
    }
    void List(const std::string& text) { root.Write("Data/Scripts/list.dat", text); }
    // A script that starts running without a kernel, so commands reach it.
    CPSmartPtr<CPLuaScript> Running(const std::string& name) {
        auto script = manager->GetScript(name);
        if (script) script->Start();
        return script;
    }
    static Strings Names(const CPLuaScript* script) {
        Strings names;
        for (auto it = script->Queue().rbegin(); it != script->Queue().rend(); ++it) {
            std::string text = it->name;
            for (const auto& p : it->params) text += "|" + p;
            names.push_back(text);
        }
        return names;
    }

    CPScriptManager* manager = new CPScriptManager();
};

TEST_F(ScriptManagerTest, ManagerIsTheGlobalAndTheCommandRouter) {
    EXPECT_EQ(GetScriptManager(), manager);
    EXPECT_EQ(GetCommandRouter(), manager);
    delete manager;
    manager = nullptr;
    EXPECT_EQ(GetScriptManager(), nullptr);
    EXPECT_EQ(GetCommandRouter(), nullptr);
}

TEST_F(ScriptManagerTest, ListLinesGiveNameKindAndCategories) {
    for (const char* name : {"main", "menu", "car", "odd"}) WriteScript(name, "");
    List("// the scripts\n"
         "main t_system main\n"
         "Menu t_interface Interface action_listener\n"
         "car t_level level level\n"
         "odd T_SYSTEM\n");
    ASSERT_TRUE(manager->LoadScriptList());
    ASSERT_TRUE(manager->GetScript("main"));
    EXPECT_EQ(manager->GetScript("main")->GetKind(), 3);
    EXPECT_EQ(manager->GetScript("menu")->GetKind(), 2);
    EXPECT_EQ(manager->GetScript("car")->GetKind(), 1);
    // The kind word is compared as written.
    EXPECT_EQ(manager->GetScript("odd")->GetKind(), 0);
    // Names are lower-cased, so a name in capitals finds nothing.
    EXPECT_FALSE(manager->GetScript("Menu"));
    EXPECT_EQ(manager->GetCategory("main"), (std::vector<CPLuaScript*>{manager->GetScript("main").Get()}));
    EXPECT_EQ(manager->GetCategory("interface").size(), 1u);
    EXPECT_EQ(manager->GetCategory("action_listener").size(), 1u);
    // A category named twice on one line lists the script twice.
    EXPECT_EQ(manager->GetCategory("level").size(), 2u);
    EXPECT_TRUE(manager->GetCategory("nothing").empty());
}

TEST_F(ScriptManagerTest, TwoBlanksGiveAnEmptyToken) {
    WriteScript("main", "");
    List("main  t_system main\n");
    ASSERT_TRUE(manager->LoadScriptList());
    EXPECT_EQ(manager->GetScript("main")->GetKind(), 0);
    EXPECT_EQ(manager->GetCategory("t_system").size(), 1u);
    EXPECT_EQ(manager->GetCategory("main").size(), 1u);
}

TEST_F(ScriptManagerTest, MissingScriptFileEndsTheList) {
    WriteScript("first", "");
    WriteScript("third", "");
    List("first t_system main\nsecond t_system main\nthird t_system main\n");
    EXPECT_FALSE(manager->LoadScriptList());
    EXPECT_TRUE(manager->GetScript("first"));
    EXPECT_FALSE(manager->GetScript("second"));
    EXPECT_FALSE(manager->GetScript("third"));
    EXPECT_EQ(manager->GetCategory("main").size(), 1u);
}

TEST_F(ScriptManagerTest, MissingListLoadsNothing) {
    EXPECT_FALSE(manager->LoadScriptList());
    EXPECT_FALSE(manager->GetScript("main"));
}

TEST_F(ScriptManagerTest, SyntaxErrorDoesNotStopTheList) {
    WriteScript("bad", "this is not lua");
    WriteScript("good", "");
    List("bad t_system\ngood t_system\n");
    EXPECT_TRUE(manager->LoadScriptList());
    EXPECT_TRUE(manager->GetScript("good"));
}

TEST_F(ScriptManagerTest, ScriptListedTwiceLeavesNoDanglingCategoryEntry) {
    WriteScript("dup", "");
    List("dup t_system first shared\ndup t_level second shared\n");
    ASSERT_TRUE(manager->LoadScriptList());
    auto kept = manager->GetScript("dup");
    EXPECT_EQ(kept->GetKind(), 1);
    kept->Start();
    // The first script was released and collected: no list may still name it.
    IPMMObject::CollectGarbage();
    EXPECT_TRUE(manager->GetCategory("first").empty());
    EXPECT_EQ(manager->GetCategory("shared"), (std::vector<CPLuaScript*>{kept.Get()}));
    manager->SendCommandByCategory("first", "ping", "");
    manager->SendCommandByCategory("shared", "ping", "1");
    EXPECT_EQ(Names(kept.Get()), (Strings{"ping|1"}));
}

TEST_F(ScriptManagerTest, CommandsGoByNameCategoryAndObjectOldestFirst) {
    for (const char* name : {"main", "menu", "hud"}) WriteScript(name, "");
    List("main t_system main action_listener\nmenu t_interface interface action_listener\nhud t_interface interface\n");
    ASSERT_TRUE(manager->LoadScriptList());
    auto main = Running("main");
    auto menu = Running("menu");
    auto hud = Running("hud");

    manager->SendCommandByName("main", "one", "a");
    manager->SendCommandByCategory("action_listener", "two", "b,c");
    manager->SendCommandByObject(hud, "three", "");
    manager->SendCommandByObject(static_cast<IPMMObject*>(menu.Get()), "four", "x");
    RouteCommandByName("main", "five", "");

    EXPECT_EQ(Names(main.Get()), (Strings{"one|a", "two|b|c", "five"}));
    EXPECT_EQ(Names(menu.Get()), (Strings{"two|b|c", "four|x"}));
    EXPECT_EQ(Names(hud.Get()), (Strings{"three"}));
}

TEST_F(ScriptManagerTest, CommandsToMissingOrNotRunningScriptsAreDropped) {
    for (const char* name : {"main", "idle"}) WriteScript(name, "");
    List("main t_system main\nidle t_system main\n");
    ASSERT_TRUE(manager->LoadScriptList());
    auto main = Running("main");
    auto idle = manager->GetScript("idle");

    manager->SendCommandByName("idle", "lost", "");
    manager->SendCommandByName("MAIN", "lost", "");
    manager->SendCommandByName("nobody", "lost", "");
    manager->SendCommandByCategory("nocategory", "lost", "");
    manager->SendCommandByObject(CPSmartPtr<CPLuaScript>(), "lost", "");
    manager->SendCommandByObject(static_cast<IPMMObject*>(nullptr), "lost", "");
    manager->SendCommandByCategory("main", "kept", "");
    EXPECT_TRUE(idle->Queue().empty());
    EXPECT_EQ(Names(main.Get()), (Strings{"kept"}));

    // Once the idle script runs, later commands arrive.
    idle->Start();
    manager->SendCommandByName("idle", "now", "");
    EXPECT_EQ(Names(idle.Get()), (Strings{"now"}));

    // A stopped script keeps what it had and gets nothing new.
    main->Stop();
    manager->SendCommandByName("main", "late", "");
    EXPECT_EQ(Names(main.Get()), (Strings{"kept"}));
    main->Start();
    EXPECT_TRUE(main->SetNextCommand());
    EXPECT_EQ(main->GetCurrentCommand()->name, "kept");
}

TEST_F(ScriptManagerTest, ParameterTextIsSplitAtCommas) {
    const struct {
        const char* text;
        Strings params;
    } cases[] = {
        {"", {}},      {"a", {"a"}}, {" a , b ", {"a", "b"}}, {"a,,b", {"a", "", "b"}}, {"\"x,y\",z", {"x,y", "z"}},
        {"a,", {"a"}},
    };
    for (const auto& c : cases) {
        SPCommand command = CPScriptManager::MakeCommand("name", c.text);
        EXPECT_EQ(command.name, "name");
        EXPECT_EQ(command.params, c.params) << c.text;
    }
}

TEST_F(ScriptManagerTest, DestroyingTheManagerQueuesReleaseAllToEveryScript) {
    for (const char* name : {"a", "b"}) WriteScript(name, "");
    List("a t_system\nb t_system\n");
    ASSERT_TRUE(manager->LoadScriptList());
    auto a = manager->GetScript("a");
    auto b = manager->GetScript("b");
    delete manager;
    manager = nullptr;
    EXPECT_EQ(Names(a.Get()), (Strings{"release_all"}));
    EXPECT_EQ(Names(b.Get()), (Strings{"release_all"}));
}

TEST_F(ScriptManagerTest, ScriptsRunFromTheKernelAndReadTheirCommands) {
    WriteScript("main", "while true do\n"
                        "  while SetNext() do Report(Current()) end\n"
                        "  Update()\n"
                        "end\n");
    static const Script::ScriptFunction kQueue[] = {
        {"SetNext",
         [](lua_State* L) -> int {
             lua_pushboolean(L, GetScriptManager()->GetScript("main")->SetNextCommand());
             return 1;
         }},
        {"Current",
         [](lua_State* L) -> int {
             lua_pushstring(L, GetScriptManager()->GetScript("main")->GetCurrentCommand()->name.c_str());
             return 1;
         }},
    };
    Script::GetScriptFunctionTables().Add(1, kQueue);
    List("main t_system main\n");
    ASSERT_TRUE(manager->LoadScriptList());
    auto main = manager->GetScript("main");
    manager->SendCommandByName("main", "before_start", "");
    ASSERT_TRUE(kernel.AddTask(CPSmartPtr<IPTask>(main)));
    manager->SendCommandByName("main", "one", "");
    manager->SendCommandByName("main", "two", "");
    manager->SendCommandByName("main", "three", "");
    Pass();
    EXPECT_EQ(scripttest::Reports(), (Strings{"one", "two", "three"}));
}

} // namespace
