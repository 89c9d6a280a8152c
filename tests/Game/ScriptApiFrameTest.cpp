// The script API frame seen from real scripts: the command functions, objects crossing as
// handles, and the small helpers of the first table.

#include "Framework/PGlobalTimer.h"
#include "Framework/PLog.h"
#include "Framework/PMMObject.h"
#include "Framework/PTaskKernel.h"
#include "Game/ScriptApi.h"
#include "Script/PLuaScript.h"
#include "Script/PScriptManager.h"
#include "Script/ScriptBinding.h"
#include "support/ScriptReportLine.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Strings = std::vector<std::string>;

std::vector<std::string> g_reports;

// Report(a, b, ...) records "a|b|..." with tostring's text for every value.
int Report(lua_State* L) {
    g_reports.push_back(kxtest::ReportLine(L));
    return 0;
}

struct Widget : IPMMObject {
    int GetSize() const override { return sizeof(Widget); }
    std::string GetClassName() const override { return "Widget"; }
};

// A scene-like object that has a script of its own.
struct Holder : IPMMObject {
    CPSmartPtr<CPLuaScript> script;
    int GetSize() const override { return sizeof(Holder); }
    std::string GetClassName() const override { return "Holder"; }
};

Widget* g_widget = nullptr;
Holder* g_holder = nullptr;

void GiveWidget(Script::ScriptCall& call) { call.PushObject(g_widget); }
void GiveHolder(Script::ScriptCall& call) { call.PushObject(g_holder); }
void IsWidget(Script::ScriptCall& call, Widget* w) { call.PushBoolean(w != nullptr); }
void RefCount(Script::ScriptCall& call, IPMMObject* o) { call.PushNumber(o ? o->GetRefCount() : -1); }

// The script loop every command-reading test uses.
const char* kReader = "while true do\n"
                      "  while SetNextCommand(globalObject) do\n"
                      "    Report(GetCurrentCommand(globalObject), GetCurrentParams(globalObject))\n"
                      "  end\n"
                      "  Update()\n"
                      "end\n";

class ScriptApiFrameTest : public ::testing::Test {
protected:
    void SetUp() override {
        g_reports.clear();
        ScriptApi::InstallScriptApi();
        static const Script::ScriptFunction kTest[] = {
            {"Report", Report},
            {"GiveWidget", Script::ScriptBindCall<GiveWidget>},
            {"GiveHolder", Script::ScriptBindCall<GiveHolder>},
            {"IsWidget", Script::ScriptBind<IsWidget, Script::Arg::Object<Widget>>},
            {"RefCount", Script::ScriptBind<RefCount, Script::Arg::Object<>>},
        };
        Script::GetScriptFunctionTables().Add(ScriptApi::kFirstTable, kTest);
        CPLog::Instance().SetSink([this](int, const std::string& text) { log.push_back(text); });
        widget = new Widget;
        g_widget = widget.Get();
        ScriptApi::SetScriptOfObjectFunction(
            [](IPMMObject* o) -> CPLuaScript* { return o == g_holder ? g_holder->script.Get() : nullptr; });
    }
    void TearDown() override {
        ScriptApi::SetScriptOfObjectFunction(nullptr);
        CPLog::Instance().SetSink(nullptr);
        kernel.KillAllTasks();
        kernel.RunPass();
        delete manager;
        widget = nullptr;
        g_widget = nullptr;
        g_holder = nullptr;
        IPMMObject::CollectGarbage();
        IPMMObject::CollectGarbage();
        Script::GetScriptFunctionTables().Clear();
    }
    // Writes the scripts and a list naming each with its categories, loads it, adds the scripts
    // to the kernel.
    void Load(const std::vector<std::pair<std::string, std::string>>& scripts, const std::string& list) {
        for (const auto& [name, source] : scripts) root.Write("Data/Scripts/" + name + ".lua", source);
        root.Write("Data/Scripts/list.dat", list);
        ASSERT_TRUE(manager->LoadScriptList());
    }
    CPSmartPtr<CPLuaScript> Add(const std::string& name) {
        auto script = manager->GetScript(name);
        EXPECT_TRUE(kernel.AddTask(CPSmartPtr<IPTask>(script)));
        return script;
    }
    void Pass(int n = 1) {
        for (int i = 0; i < n; ++i) kernel.RunPass();
    }

    kxtest::TempGameRoot root;
    CPTaskKernel kernel;
    CPScriptManager* manager = new CPScriptManager();
    CPSmartPtr<Widget> widget;
    Strings log;
};

TEST_F(ScriptApiFrameTest, CommandsByNameCategoryAndObjectAreReadOldestFirst) {
    Load({{"reader", kReader},
          {"sender", "local r = StringToPointer(PointerToString(GiveHolder()))\n"
                     "SendCommandByName('reader', 'one', 'a, b')\n"
                     "SendCommandByCategory('listeners', 'two', '')\n"
                     "SendCommandByObject(r, 'three', '\"x,y\",z')\n"}},
         "sender t_system\nreader t_system listeners\n");
    CPSmartPtr<Holder> holder(new Holder);
    holder->script = manager->GetScript("reader");
    g_holder = holder.Get();
    // The sender runs first (priority), so the reader sees all three in the same pass.
    manager->GetScript("sender")->SetPriority(10);
    Add("sender");
    Add("reader");
    Pass();
    EXPECT_EQ(g_reports, (Strings{"one|a|b", "two", "three|x,y|z"}));
}

TEST_F(ScriptApiFrameTest, CommandToItselfIsReadInTheSameLoop) {
    Load({{"self", "SendCommandByObject(globalObject, 'first', '1')\n"
                   "while SetNextCommand(globalObject) do\n"
                   "  local c = GetCurrentCommand(globalObject)\n"
                   "  Report(c)\n"
                   "  if c == 'first' then SendCommandByName('self', 'second', '') end\n"
                   "end\n"
                   "Report('done', tostring(SetNextCommand(globalObject)))\n"}},
         "self t_system\n");
    Add("self");
    Pass();
    EXPECT_EQ(g_reports, (Strings{"first", "second", "done|false"}));
}

TEST_F(ScriptApiFrameTest, CommandsToMissingOrStoppedScriptsAreDropped) {
    Load({{"reader", kReader},
          {"idle", kReader},
          {"sender", "SendCommandByName('idle', 'lost', '')\n"
                     "SendCommandByName('nobody', 'lost', '')\n"
                     "SendCommandByCategory('nothing', 'lost', '')\n"
                     "SendCommandByObject(nil, 'lost', '')\n"
                     "SendCommandByObject(GiveWidget(), 'lost', '')\n"
                     "SendCommandByName('reader', 'kept', '')\n"
                     "Update() Update()\n"
                     "SendCommandByName('reader', 'after_stop', '')\n"}},
         "sender t_system\nreader t_system\nidle t_system\n");
    manager->GetScript("sender")->SetPriority(10);
    Add("sender");
    auto reader = Add("reader");
    Pass();
    EXPECT_EQ(g_reports, (Strings{"kept"}));
    EXPECT_TRUE(manager->GetScript("idle")->Queue().empty());
    reader->SetKill(true);
    Pass(2); // removed in the first, sent to in the second
    EXPECT_FALSE(kernel.IsActive(reader.Get()));
    EXPECT_EQ(g_reports, (Strings{"kept"}));
    EXPECT_TRUE(reader->Queue().empty());
}

TEST_F(ScriptApiFrameTest, QueueFunctionsWithoutAScriptOrCommand) {
    Load({{"probe", "Report(SetNextCommand(globalObject), GetCurrentCommand(globalObject), "
                    "select('#', GetCurrentCommand(globalObject)), select('#', GetCurrentParams(globalObject)))\n"
                    "Report(SetNextCommand(nil), select('#', GetCurrentCommand()), select('#', GetCurrentParams(1)))\n"
                    "Report(SetNextCommand(io.stdout), select('#', GetCurrentCommand(GiveWidget())))\n"}},
         "probe t_system\n");
    Add("probe");
    Pass();
    EXPECT_EQ(g_reports, (Strings{"false|nil|0|0", "false|0|0", "false|0"}));
}

TEST_F(ScriptApiFrameTest, ObjectsCrossAsHandlesAndComeBackByKind) {
    Load({{"objects", "local w = GiveWidget()\n"
                      "Report(type(w), IsWidget(w), IsWidget(globalObject), IsWidget(io.stdout), IsWidget(nil))\n"
                      "Report(PointerToString(w) == PointerToString(StringToPointer(PointerToString(w))))\n"
                      "Report(StringToPointer(PointerToString(w)) == w)\n"
                      "Update()\n"
                      "Report('after', IsWidget(w), PointerToString(w) ~= '0')\n"}},
         "objects t_system\n");
    Add("objects");
    Pass();
    EXPECT_EQ(g_reports, (Strings{"userdata|true|false|false|false", "true", "true"}));
    // Deleted in between: the handle now resolves to no object, and the script does not crash.
    widget = nullptr;
    g_widget = nullptr;
    IPMMObject::CollectGarbage();
    Pass();
    EXPECT_EQ(g_reports.back(), "after|false|true");
}

TEST_F(ScriptApiFrameTest, PointerStringsUseTheHandle) {
    Load({{"strings", "Report(PointerToString(GiveWidget()), PointerToString(nil), PointerToString(io.stdout), "
                      "PointerToString(StringToPointer('0')), PointerToString(StringToPointer('abc')), "
                      "PointerToString(StringToPointer('  -12x')), PointerToString(StringToPointer(42)))\n"}},
         "strings t_system\n");
    Add("strings");
    Pass();
    EXPECT_EQ(g_reports, (Strings{std::to_string(widget->GetHandle()) + "|0|0|0|0|-12|42"}));
}

TEST_F(ScriptApiFrameTest, StringToPointerRequiresAString) {
    Load({{"needs", "StringToPointer() Report('not reached')"}}, "needs t_system\n");
    auto script = Add("needs");
    Pass(2);
    EXPECT_TRUE(g_reports.empty());
    EXPECT_FALSE(kernel.IsActive(script.Get()));
}

TEST_F(ScriptApiFrameTest, AddRefAndReleaseNeverDelete) {
    Load({{"refs", "local w = GiveWidget()\n"
                   "AddRef(w) AddRef(w) Report(RefCount(w))\n"
                   "Release(w) Report(RefCount(w))\n"
                   "AddRef(io.stdout) Release(7) DumpObjects()\n"
                   "Update()\n"
                   "Release(w) Report(IsWidget(w)) AddRef(w)\n"}},
         "refs t_system\n");
    Add("refs");
    Pass();
    EXPECT_EQ(g_reports, (Strings{"3", "2"}));
    // Only the script holds the widget now.
    const PMMHandle handle = widget->GetHandle();
    widget = nullptr;
    IPMMObject::CollectGarbage();
    ASSERT_NE(IPMMObject::FindByHandle(handle), nullptr);
    Pass();
    // A count of 0 within the pass deletes nothing: the script took its reference back in time.
    EXPECT_EQ(g_reports.back(), "true");
    IPMMObject::CollectGarbage();
    ASSERT_NE(IPMMObject::FindByHandle(handle), nullptr);
    EXPECT_EQ(IPMMObject::FindByHandle(handle)->GetRefCount(), 1);
    EXPECT_EQ(Script::ScriptReferenceCount(g_widget), 1);
}

TEST_F(ScriptApiFrameTest, ReleaseGivesBackOnlyWhatScriptsTook) {
    // Releasing references the script never took would free objects the engine still holds,
    // here the running script itself.
    Load({{"over", "local w = GiveWidget()\n"
                   "Release(w) Release(w) Report(RefCount(w))\n"
                   "local before = RefCount(globalObject)\n"
                   "for i = 1, 5 do Release(globalObject) end\n"
                   "Report(RefCount(globalObject) == before)\n"
                   "AddRef(w) Release(w) Release(w) Report(RefCount(w))\n"
                   "Update() Report('alive')\n"}},
         "over t_system\n");
    auto script = Add("over");
    Pass();
    EXPECT_EQ(g_reports, (Strings{"1", "true", "1"}));
    IPMMObject::CollectGarbage();
    Pass();
    EXPECT_EQ(g_reports.back(), "alive");
    EXPECT_EQ(widget->GetRefCount(), 1);
}

TEST_F(ScriptApiFrameTest, RequiredStringArgumentStopsTheCallingScript) {
    Load({{"caller", "Report('start') SendCommandByName('x', nil, '') Report('not reached')"}}, "caller t_system\n");
    auto script = Add("caller");
    Pass();
    EXPECT_TRUE(script->IsKillRequested());
    bool logged = false;
    for (const auto& line : log) logged |= line.find("bad argument #2 to 'SendCommandByName'") != std::string::npos;
    EXPECT_TRUE(logged);
    Pass();
    EXPECT_FALSE(kernel.IsActive(script.Get()));
    EXPECT_EQ(g_reports, (Strings{"start"}));
}

TEST_F(ScriptApiFrameTest, SendCommandByObjectWithoutObjectReadsNoStrings) {
    Load({{"lenient", "SendCommandByObject(nil) SendCommandByObject(io.stdout, nil) Report('still here')"}},
         "lenient t_system\n");
    Add("lenient");
    Pass();
    EXPECT_EQ(g_reports, (Strings{"still here"}));
}

TEST_F(ScriptApiFrameTest, StopScriptRemovesTheScriptNextPass) {
    Load({{"stopper",
           "local i = 0 while true do i = i + 1 Report(i) if i == 2 then StopScript(globalObject) end Update() end"}},
         "stopper t_system\n");
    auto script = Add("stopper");
    Pass(2);
    EXPECT_TRUE(kernel.IsActive(script.Get()));
    Pass();
    EXPECT_FALSE(kernel.IsActive(script.Get()));
    EXPECT_EQ(g_reports, (Strings{"1", "2"}));
}

TEST_F(ScriptApiFrameTest, KillAllTasksStopsEveryTask) {
    Load({{"killer", "Update() KillAllTasks() Update() Report('not resumed')"}, {"other", kReader}},
         "killer t_system\nother t_system\n");
    Add("killer");
    Add("other");
    Pass(2);
    Pass();
    EXPECT_TRUE(kernel.ActiveTasks().empty());
    EXPECT_TRUE(g_reports.empty());
}

TEST_F(ScriptApiFrameTest, SmallHelpers) {
    Load({{"helpers", "Report(ToInt(-2.7), ToInt('12.9'), ToInt(), CheckString(5), CheckString('t'))\n"
                      "Report(SplitString(' a , b ,c ', ','))\n"
                      "Report(select('#', SplitString('', ',')), SplitString('x;\"y;z\"', ';'))\n"}},
         "helpers t_system\n");
    Add("helpers");
    Pass();
    EXPECT_EQ(g_reports, (Strings{"-2|12|0|5|t", "a|b|c", "0|x|y;z"}));
}

TEST_F(ScriptApiFrameTest, CheckStringWithoutArgumentStopsTheScript) {
    Load({{"check", "CheckString() Report('not reached')"}}, "check t_system\n");
    auto script = Add("check");
    Pass();
    EXPECT_TRUE(script->IsKillRequested());
    EXPECT_TRUE(g_reports.empty());
}

TEST_F(ScriptApiFrameTest, FrameTimes) {
    g_deltaTime = 0.25f;
    g_deltaTime2 = 0.125f;
    Load({{"times", "Report(GetDeltaTime(), GetDeltaTime2())"}}, "times t_system\n");
    Add("times");
    Pass();
    EXPECT_EQ(g_reports, (Strings{"0.25|0.125"}));
}

TEST_F(ScriptApiFrameTest, EmptyFunctionUnderAllItsNames) {
    Load({{"empty", "Report(select('#', SetDefaultCamera(1, 2)), select('#', SetBrightness(0.5)), "
                    "select('#', DumpAIInfo()), select('#', SetLensFlare('x')), select('#', PlayVideo('a.avi')), "
                    "select('#', PlayVideoNoSound()), select('#', PlayVideo1()), select('#', StopVideo()), "
                    "select('#', StopVideo1()))"}},
         "empty t_system\n");
    Add("empty");
    Pass();
    EXPECT_EQ(g_reports, (Strings{"0|0|0|0|0|0|0|0|0"}));
}

TEST_F(ScriptApiFrameTest, FamilyNamesStandInTheirTablesInTableOrder) {
    // The first table's names in registration order, as far as they are built here.
    const Strings first = {"GetDeltaTime",
                           "GetDeltaTime2",
                           "AddRef",
                           "DumpObjects",
                           "Release",
                           "SendCommandByName",
                           "SendCommandByObject",
                           "SendCommandByCategory",
                           "SetNextCommand",
                           "GetCurrentCommand",
                           "GetCurrentParams",
                           "PointerToString",
                           "StringToPointer",
                           "CheckString",
                           "SplitString",
                           "KillAllTasks",
                           "ToInt"};
    const Strings second = {"StopScript", "SetDefaultCamera", "SetBrightness", "DumpAIInfo", "SetLensFlare"};
    const Strings third = {"PlayVideo", "PlayVideoNoSound", "PlayVideo1", "StopVideo", "StopVideo1"};
    Script::ScriptFunctionTables tables;
    ScriptApi::AddObjectAndCommandFunctions(tables);
    ScriptApi::AddEmptyFunctions(tables);
    const Strings* expected[] = {&first, &second, &third};
    for (int t = 0; t < Script::ScriptFunctionTables::kTableCount; ++t) {
        Strings names;
        for (const auto& entry : tables.Table(t)) names.push_back(entry.name);
        EXPECT_EQ(names, *expected[t]) << "table " << t + 1;
    }
    for (const auto& entry : tables.Table(ScriptApi::kSecondTable)) {
        if (entry.name != std::string("StopScript")) {
            EXPECT_EQ(entry.function, &ScriptApi::EmptyScriptFunction) << entry.name;
        }
    }
    for (const auto& entry : tables.Table(ScriptApi::kThirdTable))
        EXPECT_EQ(entry.function, &ScriptApi::EmptyScriptFunction) << entry.name;
}

TEST_F(ScriptApiFrameTest, OnlyBuiltFunctionsAreRegistered) {
    const auto& tables = Script::GetScriptFunctionTables();
    for (int t = 0; t < Script::ScriptFunctionTables::kTableCount; ++t)
        for (const auto& entry : tables.Table(t)) EXPECT_NE(entry.function, nullptr) << entry.name;
    Load({{"names", "Report(type(SendCommandByName), type(StopScript), type(NotAnEngineFunction))"}},
         "names t_system\n");
    Add("names");
    Pass();
    EXPECT_EQ(g_reports, (Strings{"function|function|nil"}));
}

} // namespace
