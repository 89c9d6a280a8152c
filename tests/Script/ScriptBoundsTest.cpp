// What a hostile script cannot do to the engine: crash it through a library call's count, take
// all memory, or keep the one thread for good (alone, inside its own pcall, or while the game is
// asked to quit). Each such script ends with its error logged and the others run on.

#include "Platform/Window/Messages.h"
#include "Script/ScriptBinding.h"
#include "Script/ScriptGuard.h"
#include "ScriptTestSupport.h"

#include <chrono>
#include <csignal>
#include <thread>

namespace {

using scripttest::Reports;
using Strings = std::vector<std::string>;
using namespace std::chrono_literals;

// Sleeps in the engine for the seconds given, as a slow engine call (loading a level) would.
int Stall(lua_State* L) {
    std::this_thread::sleep_for(std::chrono::duration<double>(luaL_checknumber(L, 1)));
    return 0;
}

// Seconds of the monotonic clock.
int Clock(lua_State* L) {
    lua_pushnumber(L, std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count());
    return 1;
}

// The same two as functions of the binding layer, which keep the engine-call accounting
// themselves instead of through the registration's wrapper.
void BoundStall(Script::ScriptCall&, double seconds) {
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
}
void BoundClock(Script::ScriptCall& call) {
    call.PushNumber(std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count());
}

int SendTerm(lua_State*) {
    std::raise(SIGTERM);
    return 0;
}

Platform::ScriptedMessageSource* g_source = nullptr;

int CloseWindow(lua_State*) {
    if (g_source) g_source->Post(Platform::WM_CLOSE);
    return 0;
}

class ScriptBoundsTest : public scripttest::ScriptFixture {
protected:
    void SetUp() override {
        ScriptFixture::SetUp();
        saved = Script::CurrentScriptBounds();
        static const Script::ScriptFunction kMore[] = {
            {"Stall", Stall}, {"Clock", Clock}, {"SendTerm", SendTerm}, {"CloseWindow", CloseWindow}};
        static const Script::ScriptFunction kBound[] = {
            {"BoundStall", Script::ScriptBind<BoundStall, Script::Arg::Number>},
            {"BoundClock", Script::ScriptBindCall<BoundClock>}};
        Script::GetScriptFunctionTables().Add(1, kMore);
        Script::GetScriptFunctionTables().Add(1, kBound);
        Platform::SetMessageSource(&source);
        g_source = &source;
        baseline = Script::AllScriptStatesBytes();
    }
    void TearDown() override {
        Platform::SetMessageSource(nullptr);
        g_source = nullptr;
        Platform::RemoveQuitSignalHandlers();
        Platform::ClearQuitSignal();
        ScriptFixture::TearDown();
        Script::CurrentScriptBounds() = saved;
    }

    CPSmartPtr<CPLuaScript> Start(const std::string& name, const std::string& source) {
        auto script = Make(name, source);
        EXPECT_TRUE(kernel.AddTask(CPSmartPtr<IPTask>(script)));
        return script;
    }
    // A script that reports every pass, to show the game goes on.
    CPSmartPtr<CPLuaScript> StartTicker() { return Start("ticker", "while true do Report('tick') Update() end"); }
    int Ticks() const {
        int ticks = 0;
        for (const auto& line : Reports()) ticks += line == "tick";
        return ticks;
    }
    // The script was stopped with this message: logged, out of the kernel, its state closed.
    void ExpectStopped(const CPSmartPtr<CPLuaScript>& script, const std::string& message) {
        EXPECT_TRUE(LogHas(message)) << "log lacks: " << message;
        // Out of the kernel at the next walk.
        EXPECT_TRUE(script->IsKillRequested() || !InKernel(script));
        EXPECT_EQ(script->GetThread(), nullptr);
        EXPECT_EQ(script->Guard().BytesInUse(), 0u);
    }
    void Narrow(std::size_t stateBytes, std::size_t allBytes, std::chrono::nanoseconds runTime) {
        Script::CurrentScriptBounds() = Script::ScriptBounds{stateBytes, allBytes, runTime};
    }

    Script::ScriptBounds saved;
    Platform::ScriptedMessageSource source;
    std::size_t baseline = 0;
};

// Reports "ok <count of results>" or "error <message>" for each protected call.
constexpr char kCount[] = "local function count(ok, ...)\n"
                          "  if ok then return 'ok ' .. select('#', ...) end\n"
                          "  return 'error ' .. tostring((...))\n"
                          "end\n";

TEST_F(ScriptBoundsTest, UnpackChecksItsRangeBeforeGrowingTheStack) {
    struct Case {
        const char* call;
        const char* answer;
    };
    const std::string tooMany = "error too many results to unpack";
    const Case cases[] = {
        {"unpack, {}, 1, 1e8", "error too many results to unpack"},
        {"unpack, {}, 0, 2^31 - 1", "error too many results to unpack"},
        {"unpack, {}, -2^31, 2^31 - 1", "error too many results to unpack"},
        {"unpack, {}, -2^53, 2^53", "error too many results to unpack"},
        {"unpack, {}, 1, 9000", "error too many results to unpack"},
        {"unpack, {}, 1, 7000", "ok 7000"},
        // Beyond the int range both ends saturate: one position.
        {"unpack, {}, 2^40, 2^41", "ok 1"},
        {"unpack, {}, 0/0, 0/0", "ok 1"},
        {"unpack, {1, 2, 3}", "ok 3"},
        {"unpack, {1, 2, 3}, 2", "ok 2"},
        {"unpack, {1, 2, 3}, 2, 5", "ok 4"},
        {"unpack, {1, 2, 3}, -1, 1", "ok 3"},
        {"unpack, {1, 2, 3}, 5, 1", "ok 0"},
        {"unpack, 'x'", "error bad argument #1 to '?' (table expected, got string)"},
        {"unpack, {}, 'a'", "error bad argument #2 to '?' (number expected, got string)"},
    };
    std::string source = kCount;
    for (const Case& c : cases) source += std::string("Report(count(pcall(") + c.call + ")))\n";
    source += "Report(table.concat({unpack({'a', 'b', 'c'}, 2, 3)}, ','))\n";
    source += "Update() Report('alive')\n";
    auto script = Start("unpack", source);
    Pass(2);
    Strings expected;
    for (const Case& c : cases) expected.push_back(c.answer);
    expected.push_back("b,c");
    expected.push_back("alive");
    EXPECT_EQ(Reports(), expected);
}

TEST_F(ScriptBoundsTest, UnpackOutsideAProtectedCallEndsOnlyThatScript) {
    auto ticker = StartTicker();
    const char* calls[] = {"unpack({}, 1, 1e8)", "unpack({}, 0, 2^31 - 1)", "unpack({}, -2^31, 2^31 - 1)"};
    std::vector<CPSmartPtr<CPLuaScript>> scripts;
    for (int i = 0; i < 3; ++i) scripts.push_back(Start("unpack" + std::to_string(i), calls[i]));
    Pass(3);
    for (const auto& script : scripts) EXPECT_FALSE(InKernel(script));
    EXPECT_TRUE(LogHas("too many results to unpack"));
    EXPECT_EQ(Ticks(), 3);
    EXPECT_TRUE(InKernel(ticker));
}

TEST_F(ScriptBoundsTest, OtherLibraryCallsTakingCountsAnswerWithoutHangingOrGrowingTheStack) {
    struct Case {
        const char* call;
        const char* answer;
    };
    const Case cases[] = {
        {"string.byte, string.rep('x', 100000), 1, -1", "error stack overflow (string slice too long)"},
        {"string.byte, 'abc', -2^31, 2^31 - 1", "ok 3"},
        {"string.byte, 'abc', 2^53, -2^53", "ok 0"},
        {"select, -2^31, 1, 2", "error bad argument #1 to '?' (index out of range)"},
        {"select, 2^31, 1, 2", "error bad argument #1 to '?' (index out of range)"},
        {"select, 2, 'a', 'b', 'c'", "ok 2"},
        // An empty string repeated, or a count below one, is answered at once.
        {"string.rep, '', 2^53", "ok 1"},
        {"string.rep, 'x', -2^53", "ok 1"},
        {"string.rep, 'x', 0/0", "ok 1"},
        {"string.rep, 'ab', 3", "ok 1"},
        {"table.insert, {}, -2^31, 1", "error bad argument #2 to '?' (position out of bounds)"},
        {"table.insert, {}, 2^31, 1", "error bad argument #2 to '?' (position out of bounds)"},
        {"table.insert, {}, 0/0, 1", "error bad argument #2 to '?' (position out of bounds)"},
        {"table.insert, {}, 'a', 1", "error bad argument #2 to '?' (number expected, got string)"},
        {"table.insert, 1, 2, 3", "error bad argument #1 to '?' (table expected, got number)"},
        {"table.remove, {1, 2}, -2^31", "ok 0"},
        {"table.remove, {1, 2}, 2^31", "ok 0"},
        {"table.concat, {}, '', 1, 2^31 - 1", "error invalid value (nil) at index 1 in table for 'concat'"},
        {"table.concat, {'a'}, '', -2^31, 2^31 - 1",
         "error invalid value (nil) at index -2147483648 in table for 'concat'"},
    };
    std::string source = kCount;
    for (const Case& c : cases) source += std::string("Report(count(pcall(") + c.call + ")))\n";
    // What the replaced functions still answer as the library's own.
    source += "Report(string.rep('ab', 3), ('x'):rep(2.9), '[' .. string.rep('x', 0) .. ']')\n"
              "local t = {'a', 'c'} table.insert(t, 2, 'b') table.insert(t, 'd') table.insert(t, 6, 'f')\n"
              "Report(table.concat(t, ',', 1, 4), t[5], t[6])\n"
              "Report(tostring(pcall(table.insert, {})))\n"
              "local function shown(ok, ...) return tostring(ok), ... end\n"
              "Report(shown(xpcall(function() error('x', 0) end, function(m) return 'handled ' .. m end)))\n"
              "Report(shown(xpcall(function() return 1, 2 end, print)))\n"
              "Report(shown(xpcall(error, nil)))\n"
              "Report(shown(pcall(xpcall, print)))\n";
    auto script = Start("counts", source);
    Pass();
    Strings expected;
    for (const Case& c : cases) expected.push_back(c.answer);
    expected.push_back("ababab|xx|[]");
    expected.push_back("a,b,c,d|nil|f");
    expected.push_back("false");
    expected.push_back("false|handled x");
    expected.push_back("true|1|2");
    expected.push_back("false|error in error handling");
    expected.push_back("false|bad argument #2 to '?' (value expected)");
    EXPECT_EQ(Reports(), expected);
}

TEST_F(ScriptBoundsTest, MemoryHogsGetLuasMemoryErrorAndLeaveWhileOthersRunOn) {
    // The real bounds: a repeated string too big for a state is refused before it is built.
    struct Case {
        const char* name;
        const char* source;
        bool narrow; // a small state bound, so that growing to it is quick
    };
    const Case cases[] = {
        {"rep", "local s = string.rep('x', 1e9) Report('built', #s)", false},
        {"reppcall", "local ok, e = pcall(string.rep, 'x', 1e9) Report('caught', e) while true do Update() end", false},
        {"doubling", "local t = {} local i = 1 while true do t[i] = i i = i + 1 end", true},
        {"concat", "local s = 'x' while true do s = s .. s end", true},
        {"hoard", "local t = {} while true do t[#t + 1] = string.rep('y', 4096) .. #t end", true},
        {"caught", "local t = {} while true do pcall(function() while true do t[#t + 1] = {} end end) end", true},
        {"rawstring", "local parts = {} for i = 1, 1e9 do parts[i] = tostring(i) end", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Reports().clear();
        log.clear();
        if (c.narrow) Narrow(8u << 20, Script::kAllStatesMemoryLimit, Script::kRunTimeLimit);
        auto ticker = StartTicker();
        auto script = Start(c.name, c.source);
        Pass(3);
        ExpectStopped(script, "not enough memory");
        EXPECT_EQ(Ticks(), 3);
        EXPECT_TRUE(InKernel(ticker));
        if (std::string(c.name) == "reppcall") EXPECT_EQ(Reports()[1], "caught|not enough memory");
        for (const auto& line : Reports()) EXPECT_NE(line.rfind("built", 0), 0u);
        kernel.KillAllTasks();
        Pass();
        script = nullptr;
        ticker = nullptr;
        IPMMObject::CollectGarbage();
        IPMMObject::CollectGarbage();
        EXPECT_EQ(Script::AllScriptStatesBytes(), baseline);
        Script::CurrentScriptBounds() = saved;
    }
}

TEST_F(ScriptBoundsTest, AllScriptsTogetherHaveABoundAndAClosedStateGivesItsShareBack) {
    // About 6 MiB of distinct strings a script: one fits under the total, two do not.
    Narrow(16u << 20, 10u << 20, Script::kRunTimeLimit);
    const std::string hoard = "keep = {} for i = 1, 6000 do keep[i] = string.rep('a', 1000) .. i end\n";
    auto holder = Start("holder", hoard + "while true do Report('held') Update() end");
    Pass();
    const std::size_t held = holder->Guard().BytesInUse();
    EXPECT_GT(held, 6000u * 1000u);
    EXPECT_EQ(Script::AllScriptStatesBytes(), baseline + held);
    // Under its own bound, but not beside the first.
    auto second = Start("second", hoard + "Report('second built')");
    Pass();
    ExpectStopped(second, "not enough memory");
    EXPECT_EQ(Script::AllScriptStatesBytes(), baseline + holder->Guard().BytesInUse());
    Pass();
    EXPECT_EQ(Reports(), (Strings{"held", "held", "held"}));
    // Once the first is gone, the same script fits.
    kernel.KillAllTasks();
    Pass();
    holder = nullptr;
    second = nullptr;
    IPMMObject::CollectGarbage();
    IPMMObject::CollectGarbage();
    EXPECT_EQ(Script::AllScriptStatesBytes(), baseline);
    auto third = Start("third", hoard + "Report('third built')");
    Pass();
    EXPECT_EQ(Reports(), (Strings{"held", "held", "held", "third built"}));
}

TEST_F(ScriptBoundsTest, TheGuardCountsExactlyWhatLuaHolds) {
    auto script = Start("churn", "local t = {} for i = 1, 20000 do t[i] = {i, tostring(i)} end\n"
                                 "for i = 1, 20000, 2 do t[i] = nil end collectgarbage()\n"
                                 "local s = '' for i = 1, 200 do s = s .. i end\n"
                                 "while true do Update() end");
    Pass(2);
    lua_State* L = script->GetMainState();
    ASSERT_NE(L, nullptr);
    const std::size_t luaCount = static_cast<std::size_t>(lua_gc(L, LUA_GCCOUNT, 0)) * 1024 +
                                 static_cast<std::size_t>(lua_gc(L, LUA_GCCOUNTB, 0));
    EXPECT_EQ(script->Guard().BytesInUse(), luaCount);
    EXPECT_EQ(Script::AllScriptStatesBytes(), baseline + luaCount);
    kernel.KillAllTasks();
    Pass();
    script = nullptr;
    IPMMObject::CollectGarbage();
    IPMMObject::CollectGarbage();
    EXPECT_EQ(Script::AllScriptStatesBytes(), baseline);
}

TEST_F(ScriptBoundsTest, ScriptsThatNeverReachUpdateAreStoppedWhateverTheyCatch) {
    struct Case {
        const char* name;
        const char* source;
    };
    const Case cases[] = {
        {"loop", "while true do end"},
        {"tables", "local t = {} while true do t[#t % 10 + 1] = {} end"},
        {"pcall", "while true do pcall(function() while true do end end) end"},
        {"nested", "while true do pcall(pcall, pcall, function() while true do end end) end"},
        {"xpcall", "while true do xpcall(function() while true do end end, function() while true do end end) end"},
        {"coroutine", "while true do coroutine.resume(coroutine.create(function() while true do end end)) end"},
        {"wrapped", "while true do pcall(coroutine.wrap(function() while true do pcall(error) end end)) end"},
        {"recursion", "local function f() pcall(f) pcall(f) end while true do f() end"},
        // Costly library calls: few instructions each, so only the clock sees them.
        {"patterns", "local s = string.rep('a', 300) while true do s:find('.-b') end"},
        {"updatenested", "while true do coroutine.wrap(function() while true do Update() end end)() end"},
    };
    Narrow(Script::kStateMemoryLimit, Script::kAllStatesMemoryLimit, 100ms);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Reports().clear();
        log.clear();
        auto ticker = StartTicker();
        auto script = Start(c.name, c.source);
        Pass(3);
        ExpectStopped(script, "script ran too long without Update");
        EXPECT_EQ(Ticks(), 3);
        kernel.KillAllTasks();
        Pass();
    }
}

TEST_F(ScriptBoundsTest, TheBoundIsPerRunAndTheEnginesOwnTimeIsNotCounted) {
    Narrow(Script::kStateMemoryLimit, Script::kAllStatesMemoryLimit, 1000ms);
    // A second and a half inside an engine function, then plain work: within the bound. Then
    // three runs of 0.4 s each (by the wall clock, as the bound is, so a loaded machine does not
    // stretch them): more than the bound together, within it each.
    auto slow = Start("slow", "Stall(1.5) for i = 1, 100000 do end Report('after stall') Update()\n"
                              "for pass = 1, 3 do\n"
                              "  local t = Clock() while Clock() - t < 0.4 do for i = 1, 1000 do end end Update()\n"
                              "end\n"
                              "Report('done')");
    Pass(5);
    EXPECT_EQ(Reports(), (Strings{"after stall", "done"}));
    EXPECT_FALSE(LogHas("too long"));
}

TEST_F(ScriptBoundsTest, ASlowEngineCallIsTheEnginesEarlyOrLateInARunAndWhateverItsBinding) {
    // Early: the first engine call of the run. Late: after a run of a tenth of a second, long
    // past the stretch where engine calls are only counted, not timed.
    constexpr char kLate[] = "local t = Clock() while Clock() - t < 0.1 do for i = 1, 100 do end end ";
    struct Case {
        const char* name;
        std::string source;
    };
    const Case cases[] = {
        {"early plain", "Stall(0.8)"},
        {"early bound", "BoundStall(0.8)"},
        {"late plain", std::string(kLate) + "Stall(0.8)"},
        {"late bound", std::string(kLate) + "BoundStall(0.8)"},
        {"both", std::string(kLate) + "Stall(0.4) BoundStall(0.4)"},
    };
    Narrow(Script::kStateMemoryLimit, Script::kAllStatesMemoryLimit, 500ms);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Reports().clear();
        log.clear();
        auto script =
            Start(c.name, c.source + " for i = 1, 100000 do end Report('after stall') Update() Report('done')");
        Pass(2);
        EXPECT_EQ(Reports(), (Strings{"after stall", "done"}));
        EXPECT_FALSE(LogHas("too long"));
        kernel.KillAllTasks();
        Pass();
    }
}

TEST_F(ScriptBoundsTest, ScriptsThatCallTheEngineWithoutUpdateAreStoppedToo) {
    struct Case {
        const char* name;
        const char* source;
    };
    const Case cases[] = {
        {"plain calls", "while true do Clock() end"},
        {"bound calls", "while true do BoundClock() end"},
        {"calls in pcall", "while true do pcall(BoundClock) pcall(Clock) end"},
        // Costly library calls beside cheap engine calls: the engine's share is timed, the rest
        // is the script's.
        {"patterns between calls", "local s = string.rep('a', 300) while true do s:find('.-b') BoundClock() end"},
        {"a short stall first", "Stall(0.05) local s = string.rep('a', 300) while true do s:find('.-b') Clock() end"},
    };
    Narrow(Script::kStateMemoryLimit, Script::kAllStatesMemoryLimit, 100ms);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Reports().clear();
        log.clear();
        auto ticker = StartTicker();
        auto script = Start(c.name, c.source);
        Pass(3);
        ExpectStopped(script, "script ran too long without Update");
        EXPECT_EQ(Ticks(), 3);
        kernel.KillAllTasks();
        Pass();
    }
}

TEST_F(ScriptBoundsTest, ASignalEndsARunningScriptAndThenTheMainLoop) {
    Platform::InstallQuitSignalHandlers();
    auto ticker = StartTicker();
    auto script = Start("term", "SendTerm() while true do pcall(function() while true do end end) end");
    Pass();
    ExpectStopped(script, "script stopped: the game is quitting");
    EXPECT_TRUE(Platform::QuitSignalled());
    // The next pass takes the quit and every task leaves; the loop ends.
    int passes = 0;
    while (kernel.RunPass() && passes < 10) ++passes;
    EXPECT_LT(passes, 10);
    EXPECT_TRUE(kernel.ActiveTasks().empty());
}

TEST_F(ScriptBoundsTest, AClosedWindowEndsARunningScript) {
    auto ticker = StartTicker();
    auto script = Start("closer", "CloseWindow() while true do end");
    Pass();
    ExpectStopped(script, "script stopped: the game is quitting");
    EXPECT_EQ(source.Pending(), 1u); // looked at, not taken
}

TEST_F(ScriptBoundsTest, AShortScriptRunsOnWhileAQuitWaits) {
    // A quit already waiting stops only scripts that run long enough to meet the hook's poll.
    auto script = Start("short", "CloseWindow() for i = 1, 3 do Report(i) Update() end");
    Pass();
    EXPECT_EQ(Reports(), Strings{"1"});
    EXPECT_TRUE(InKernel(script));
}

TEST(QuitSignal, ASecondSignalBeforeTheFirstIsTakenEndsTheProcess) {
    EXPECT_EXIT(
        {
            Platform::InstallQuitSignalHandlers();
            std::raise(SIGTERM);
            std::raise(SIGTERM);
            std::_Exit(0);
        },
        ::testing::KilledBySignal(SIGTERM), "");
}

TEST(QuitSignal, IsTakenOnceAsAQuitMessage) {
    Platform::ScriptedMessageSource source;
    Platform::SetMessageSource(&source);
    source.Post(Platform::WM_CHAR, 'a');
    Platform::InstallQuitSignalHandlers();
    std::raise(SIGINT);
    EXPECT_TRUE(Platform::QuitSignalled());
    EXPECT_TRUE(Platform::QuitPending());
    Platform::MSG m;
    ASSERT_TRUE(Platform::PeekMessageA(&m));
    EXPECT_EQ(m.message, Platform::WM_QUIT);
    ASSERT_TRUE(Platform::PeekMessageA(&m));
    EXPECT_EQ(m.message, Platform::WM_CHAR);
    EXPECT_FALSE(Platform::PeekMessageA(&m));
    Platform::RemoveQuitSignalHandlers();
    Platform::ClearQuitSignal();
    EXPECT_FALSE(Platform::QuitPending());
    source.Post(Platform::WM_CLOSE);
    EXPECT_TRUE(Platform::QuitPending());
    Platform::SetMessageSource(nullptr);
}

} // namespace
