// The Lua script task: the chunk on a coroutine resumed once per pass, alive only while it
// yields through "Update"; failures leave the kernel; Lua 5.1 running the game's 5.0 scripts.

#include "ScriptTestSupport.h"
#include "support/HostilePaths.h"

namespace {

using scripttest::Reports;
using Strings = std::vector<std::string>;

class LuaScriptTest : public scripttest::ScriptFixture {};

TEST_F(LuaScriptTest, YieldsThroughUpdateForNPassesThenEnds) {
    auto script = Make("walker", "for i = 1, 3 do Report(i) Update() end Report('end')");
    ASSERT_TRUE(kernel.AddTask(CPSmartPtr<IPTask>(script)));
    Pass();
    EXPECT_EQ(Reports(), (Strings{"1"}));
    Pass(2);
    EXPECT_EQ(Reports(), (Strings{"1", "2", "3"}));
    EXPECT_FALSE(script->IsFinished());
    Pass();
    EXPECT_EQ(Reports(), (Strings{"1", "2", "3", "end"}));
    // The chunk returned: the task stays in the kernel, running, but is never resumed again.
    EXPECT_TRUE(script->IsFinished());
    Pass(3);
    EXPECT_TRUE(InKernel(script));
    EXPECT_TRUE(script->IsRunning());
    EXPECT_EQ(Reports().size(), 4u);
}

TEST_F(LuaScriptTest, ChunkWithoutYieldRunsOnceInItsFirstPass) {
    auto script = Make("once", "Report('a') Report('b')");
    kernel.AddTask(CPSmartPtr<IPTask>(script));
    Pass(3);
    EXPECT_EQ(Reports(), (Strings{"a", "b"}));
    EXPECT_TRUE(InKernel(script));
}

TEST_F(LuaScriptTest, OnlyTheNumberSevenKeepsAScriptAlive) {
    // Lua 5.1 answers LUA_YIELD for a yield; 0 and LUA_YIELD both mean "no error".
    auto plain = Make("plain", "coroutine.yield() Report('plain again')");
    auto other = Make("other", "coroutine.yield(8) Report('other again')");
    auto seven = Make("seven", "coroutine.yield(7.9) Report('seven again') Update()");
    for (auto* s : {&plain, &other, &seven}) kernel.AddTask(CPSmartPtr<IPTask>(*s));
    Pass(3);
    EXPECT_EQ(Reports(), (Strings{"seven again"}));
    EXPECT_TRUE(plain->IsFinished());
    EXPECT_TRUE(other->IsFinished());
    EXPECT_TRUE(InKernel(plain));
    EXPECT_TRUE(InKernel(other));
}

TEST_F(LuaScriptTest, ChunkReturningSevenFailsOnTheNextResumeAndLeaves) {
    auto script = Make("seven", "Report('ran') return 7");
    kernel.AddTask(CPSmartPtr<IPTask>(script));
    Pass();
    EXPECT_FALSE(script->IsFinished());
    EXPECT_TRUE(InKernel(script));
    Pass(); // resumes the dead coroutine: an error, the kill flag is set
    EXPECT_TRUE(script->IsKillRequested());
    Pass(); // the kernel stops and removes it
    EXPECT_FALSE(InKernel(script));
    EXPECT_EQ(Reports(), (Strings{"ran"}));
}

TEST_F(LuaScriptTest, ChunkThatReturnedIsNeverRunAgain) {
    // Lua 5.1 would call the last returned value when resumed again; the chunk is dead instead.
    auto script = Make("ended", "Report('ran') return 7, function() Report('again') end");
    kernel.AddTask(CPSmartPtr<IPTask>(script));
    Pass(3);
    EXPECT_EQ(Reports(), (Strings{"ran"}));
    EXPECT_FALSE(InKernel(script));
    EXPECT_TRUE(LogHas("cannot resume dead coroutine"));
}

TEST_F(LuaScriptTest, FinishedChunkAddedAgainFailsRatherThanStartingOver) {
    auto script = Make("ended", "Report('ran') return print, Report");
    kernel.AddTask(CPSmartPtr<IPTask>(script));
    Pass(2);
    EXPECT_TRUE(script->IsFinished());
    script->SetKill(true);
    Pass();
    ASSERT_TRUE(kernel.AddTask(CPSmartPtr<IPTask>(script)));
    Pass(2);
    EXPECT_EQ(Reports(), (Strings{"ran"}));
    EXPECT_FALSE(InKernel(script));
}

TEST_F(LuaScriptTest, PrecompiledChunkIsRefusedLikeASyntaxError) {
    lua_State* L = luaL_newstate();
    luaL_openlibs(L);
    ASSERT_EQ(luaL_dostring(L, "bytes = string.dump(function() Report('bytecode ran') end)"), 0);
    lua_getglobal(L, "bytes");
    const std::string bytes(lua_tostring(L, -1), lua_objlen(L, -1));
    lua_close(L);

    int result = 99;
    auto script = Make("compiled", bytes, &result);
    EXPECT_EQ(result, 0);
    EXPECT_TRUE(LogHas("precompiled chunks are not accepted"));
    kernel.AddTask(CPSmartPtr<IPTask>(script));
    Pass(2);
    EXPECT_TRUE(Reports().empty());
    EXPECT_FALSE(InKernel(script));
}

TEST_F(LuaScriptTest, RuntimeLoadersRefusePrecompiledChunksAndStillLoadText) {
    // A script can make bytecode with string.dump and damage it; the undumper trusts what it
    // reads, so every loader a script reaches refuses it. Text still loads through each of them.
    const std::string dir = root.Path() + "/";
    auto script = Make(
        "loaders",
        "local dir = '" + dir +
            "'\n"
            "local b = string.dump(function() Report('bytecode ran') return 1 end)\n"
            "local function put(name, text) local f = io.open(dir .. name, 'wb') f:write(text) f:close() end\n"
            "put('bin.out', b) put('hash.out', '#!lua\\n' .. b) put('text.lua', 'return 40 + 2')\n"
            "local function pieces(list) local i = 0 return function() i = i + 1 return list[i] end end\n"
            "Report('loadstring', loadstring(b))\n"
            "Report('load', load(pieces({'', b})))\n"
            "Report('loadfile', loadfile(dir .. 'bin.out'))\n"
            "Report('hashline', loadfile(dir .. 'hash.out'))\n"
            "Report('dofile', tostring(pcall(dofile, dir .. 'bin.out')), select(2, pcall(dofile, dir .. 'bin.out')))\n"
            "Report('stdin', loadfile())\n"
            "Report('text', loadstring('return 1 + 1')(), load(pieces({'return ', '3'}))(),\n"
            "       loadfile(dir .. 'text.lua')(), dofile(dir .. 'text.lua'))\n"
            "Report('missing', tostring((select(2, loadfile(dir .. 'none.lua')) or ''):find('cannot open') ~= nil))\n"
            "Report('reader', load(function() return {} end))\n");
    kernel.AddTask(CPSmartPtr<IPTask>(script));
    Pass();
    const std::string refused = "precompiled chunks are not accepted";
    EXPECT_EQ(Reports(),
              (Strings{"loadstring|nil|" + refused, "load|nil|" + refused,
                       "loadfile|nil|" + dir + "bin.out: " + refused, "hashline|nil|" + dir + "hash.out: " + refused,
                       "dofile|false|" + dir + "bin.out: " + refused, "stdin|nil|no file name given", "text|2|3|42|42",
                       "missing|true", "reader|nil|[string \"loaders\"]:15: reader function must return a string"}));
}

TEST_F(LuaScriptTest, RuntimeLoadersReadOnlyRegularFiles) {
    // loadfile and dofile on a folder, a FIFO without a writer, a link to /dev/zero or an
    // unreadable file: an error at once, never a wait for a writer or a read without end.
    const std::string dir = root.Path() + "/";
    std::string calls;
    Strings expected;
    for (const auto& c : kxtest::HostileCases()) {
        const std::string name = "hostile" + std::to_string(static_cast<int>(c.kind));
        if (!kxtest::MakeHostile(c.kind, dir + name)) continue;
        calls += "do local f, e = loadfile(dir .. '" + name + "') Report('" + name +
                 "', tostring(f), tostring(e ~= nil)) end\n"
                 "Report('" +
                 name + "', tostring(pcall(dofile, dir .. '" + name + "')))\n";
        expected.push_back(name + "|nil|true");
        expected.push_back(name + "|false");
    }
    auto script =
        Make("hostile", "local dir = '" + dir + "'\n" + calls +
                            "local f = io.open(dir .. 'lines.lua', 'wb') f:write('#!lua\\nreturn 1 +') f:close()\n"
                            "Report('line', select(2, loadfile(dir .. 'lines.lua')))\n");
    kernel.AddTask(CPSmartPtr<IPTask>(script));
    Pass();
    // The skipped first line still counts: the error is on line 2.
    expected.push_back("line|" + dir + "lines.lua:2: unexpected symbol near '<eof>'");
    EXPECT_EQ(Reports(), expected);
}

TEST_F(LuaScriptTest, DeeplyNestedPatternsAreRefusedNotOverflowingTheStack) {
    // Lua 5.1's matcher recurses once per quantified item; half a million of them overflowed the
    // C stack and took the process down. Each matching function refuses them; plain searches,
    // patterns at the limit and long runs of escaped or set characters (which never recurse)
    // still work, and argument errors still name the function called.
    auto script =
        Make("patterns", "local s, deep = string.rep('a', 250000), string.rep('a?', 250000)\n"
                         "local function try(f) local ok, a, b = pcall(f) Report(tostring(ok), a, b) end\n"
                         "try(function() return string.find(s, deep) end)\n"
                         "try(function() return s:match(deep) end)\n"
                         "try(function() return string.gsub(s, deep, '') end)\n"
                         "try(function() return string.gmatch(s, string.rep('(', 201))() end)\n"
                         "try(function() return string.gfind(s, string.rep('a-', 201))() end)\n"
                         "try(function() return string.find(string.rep('-', 300), string.rep('-', 300), 1, true) end)\n"
                         "try(function() return #string.match(s, string.rep('a?', 100) .. string.rep('a*', 100)) end)\n"
                         "try(function() return string.gsub('a.b', '%.', '-') end)\n"
                         "try(function() return string.find() end)\n"
                         "try(function() return #string.gsub(string.rep('-', 300), string.rep('%-', 300), '') end)\n"
                         "try(function() return string.find('x?*', '[' .. string.rep('?*+-()', 100) .. ']+') end)\n"
                         "Update() Report('alive')\n");
    kernel.AddTask(CPSmartPtr<IPTask>(script));
    Pass(2);
    auto refused = [](int line) {
        return "false|[string \"patterns\"]:" + std::to_string(line) + ": pattern too complex|nil";
    };
    EXPECT_EQ(Reports(), (Strings{refused(3), refused(4), refused(5), refused(6), refused(7), "true|1|300",
                                  "true|250000|nil", "true|a-b|1",
                                  "false|[string \"patterns\"]:11: bad argument #1 to 'find' (string expected, got "
                                  "no value)|nil",
                                  "true|0|nil", "true|2|3", "alive"}));
}

TEST_F(LuaScriptTest, ArgumentErrorStopsTheScriptAndLogsIt) {
    static const Script::ScriptFunction kNeedsNumber[] = {{"NeedsNumber", [](lua_State* L) -> int {
                                                               luaL_checknumber(L, 1);
                                                               return 0;
                                                           }}};
    Script::GetScriptFunctionTables().Add(1, kNeedsNumber);
    auto script = Make("failing", "Report('before') Update() NeedsNumber('x') Report('after')");
    kernel.AddTask(CPSmartPtr<IPTask>(script));
    Pass();
    EXPECT_TRUE(InKernel(script));
    Pass();
    EXPECT_TRUE(script->IsKillRequested());
    EXPECT_TRUE(LogHas("Script Error!"));
    EXPECT_TRUE(LogHas("bad argument #1 to 'NeedsNumber'"));
    Pass();
    EXPECT_FALSE(InKernel(script));
    EXPECT_FALSE(script->IsRunning());
    EXPECT_EQ(Reports(), (Strings{"before"}));
}

TEST_F(LuaScriptTest, ErrorValueThatIsNotTextOnlyFinishesTheScript) {
    auto script = Make("tableerror", "error({})");
    kernel.AddTask(CPSmartPtr<IPTask>(script));
    Pass(2);
    EXPECT_TRUE(script->IsFinished());
    EXPECT_FALSE(script->IsKillRequested());
    EXPECT_TRUE(InKernel(script));
}

TEST_F(LuaScriptTest, NumericErrorIsLoggedWithoutRunningFinalizersUnprotected) {
    // Turning the number into text allocated on the failed thread outside any protected call; the
    // collector then ran the failing __gc finalizers left pending, and Lua's panic ended the process.
    auto script = Make("finalizers", "collectgarbage('stop')\n"
                                     "local keep = {}\n"
                                     "for i = 1, 10 do\n"
                                     "  keep[i] = newproxy(true)\n"
                                     "  getmetatable(keep[i]).__gc = function() error('finalizer') end\n"
                                     "end\n"
                                     "keep = nil\n"
                                     "collectgarbage('setstepmul', 1e9)\n"
                                     "local raise = error\n"
                                     "collectgarbage('restart') raise(5.25, 0)\n");
    kernel.AddTask(CPSmartPtr<IPTask>(script));
    Pass();
    EXPECT_TRUE(script->IsKillRequested());
    EXPECT_TRUE(LogHas("\nScript Error!\n5.25\n"));
    EXPECT_FALSE(LogHas("finalizer"));
    Pass();
    EXPECT_FALSE(InKernel(script));
}

TEST_F(LuaScriptTest, SyntaxErrorLoadsAndIsRemovedAfterItsFirstPass) {
    int result = 99;
    auto script = Make("broken", "Report('x' ", &result);
    EXPECT_EQ(result, 0);
    EXPECT_TRUE(LogHas("Script Error!"));
    ASSERT_TRUE(kernel.AddTask(CPSmartPtr<IPTask>(script)));
    Pass();
    EXPECT_TRUE(script->IsKillRequested());
    Pass();
    EXPECT_FALSE(InKernel(script));
    EXPECT_TRUE(Reports().empty());
}

TEST_F(LuaScriptTest, MissingFileGivesANegativeResultAndKeepsTheName) {
    CPSmartPtr<CPLuaScript> script(new CPLuaScript());
    EXPECT_LT(script->Load("nowhere"), 0);
    EXPECT_EQ(script->GetName(), "nowhere");
    EXPECT_EQ(script->GetMainState(), nullptr);
    EXPECT_EQ(script->GetClassName(), "CPLuaScript-nowhere");
}

TEST_F(LuaScriptTest, ScriptFilesAreFoundInAnyLetterCase) {
    root.Write("DATA/scripts/Mixed.LUA", "Report('found')");
    CPSmartPtr<CPLuaScript> script(new CPLuaScript());
    EXPECT_GE(script->Load("mixed"), 0);
    kernel.AddTask(CPSmartPtr<IPTask>(script));
    Pass();
    EXPECT_EQ(Reports(), (Strings{"found"}));
}

TEST_F(LuaScriptTest, StoppedScriptContinuesAfterItsLastUpdateWhenAddedAgain) {
    auto script = Make("pausing", "local i = 0 while true do i = i + 1 Report(i) Update() end");
    kernel.AddTask(CPSmartPtr<IPTask>(script));
    Pass(2);
    script->SetKill(true);
    Pass();
    EXPECT_FALSE(InKernel(script));
    EXPECT_FALSE(script->IsRunning());
    ASSERT_TRUE(kernel.AddTask(CPSmartPtr<IPTask>(script)));
    Pass();
    EXPECT_EQ(Reports(), (Strings{"1", "2", "3"}));
}

TEST_F(LuaScriptTest, StartRefusesARunningScript) {
    auto script = Make("twice", "Update()");
    EXPECT_TRUE(script->Start());
    EXPECT_FALSE(script->Start());
}

TEST_F(LuaScriptTest, LibrariesOfTheGameAreOpenAndNoOthers) {
    // Lua 5.1's io no longer carries os, so os is opened beside it.
    auto script = Make("libs", "Report(type(coroutine.create), type(io.open), type(os.time), type(string.format), "
                               "type(math.floor), type(table.insert), type(debug), type(package), type(require))");
    kernel.AddTask(CPSmartPtr<IPTask>(script));
    Pass();
    EXPECT_EQ(Reports(), (Strings{"function|function|function|function|function|function|nil|nil|nil"}));
}

TEST_F(LuaScriptTest, Lua50StyleScriptRuns) {
    auto script = Make("old", "function count(...) return arg.n, arg[1] end\n"
                              "local n, first = count('a', 'b', 'c')\n"
                              "local words = ''\n"
                              "for w in string.gfind('one two', '%a+') do words = words .. w .. '.' end\n"
                              "Report(n, first, table.getn({4, 5, 6, 7}), math.mod(7, 3), words)\n");
    kernel.AddTask(CPSmartPtr<IPTask>(script));
    Pass();
    EXPECT_EQ(Reports(), (Strings{"3|a|4|1|one.two."}));
}

TEST_F(LuaScriptTest, EachScriptHasItsOwnStateAndGlobalObject) {
    auto a = Make("a", "shared = 'a' Update() Report('a', shared, tostring(globalObject ~= nil), type(globalObject))");
    auto b = Make("b", "Update() Report('b', tostring(shared))");
    kernel.AddTask(CPSmartPtr<IPTask>(a));
    kernel.AddTask(CPSmartPtr<IPTask>(b));
    Pass(2);
    EXPECT_EQ(Reports(), (Strings{"a|a|true|userdata", "b|nil"}));
    // globalObject is the script's handle as a light userdata, never its address.
    lua_State* L = a->GetMainState();
    lua_getglobal(L, "globalObject");
    ASSERT_EQ(lua_type(L, -1), LUA_TLIGHTUSERDATA);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(lua_touserdata(L, -1)), a->GetHandle());
    lua_pop(L, 1);
    EXPECT_NE(a->GetHandle(), b->GetHandle());
}

TEST_F(LuaScriptTest, PanicHandlerReportsToTheLog) {
    lua_State* L = luaL_newstate();
    // Lua 5.1 puts the error value on top, above whatever the stack held.
    lua_pushstring(L, "unrelated");
    lua_pushstring(L, "gone wrong");
    EXPECT_EQ(ScriptPanicHandler(L), 0);
    lua_close(L);
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.back(), "\nScript Error!\ngone wrong\n");
}

TEST_F(LuaScriptTest, StateHasThePanicHandlerInstalled) {
    auto script = Make("p", "");
    lua_State* L = script->GetMainState();
    ASSERT_NE(L, nullptr);
    lua_CFunction previous = lua_atpanic(L, nullptr);
    EXPECT_EQ(previous, &ScriptPanicHandler);
}

TEST_F(LuaScriptTest, UpdateOutsideACoroutineIsAnErrorNotACrash) {
    auto script = Make("u", "");
    lua_State* L = script->GetMainState();
    lua_getglobal(L, "Update");
    EXPECT_NE(lua_pcall(L, 0, 0, 0), 0);
    lua_pop(L, 1);
}

TEST_F(LuaScriptTest, CommandQueueIsReadOldestFirst) {
    CPSmartPtr<CPLuaScript> script(new CPLuaScript());
    EXPECT_FALSE(script->SetNextCommand());
    EXPECT_EQ(script->GetCurrentCommand(), nullptr);
    script->QueueCommand({"first", {}});
    script->QueueCommand({"second", {"x"}});
    ASSERT_TRUE(script->SetNextCommand());
    EXPECT_EQ(script->GetCurrentCommand()->name, "first");
    // New commands arriving keep the current one in place.
    script->QueueCommand({"third", {}});
    EXPECT_EQ(script->GetCurrentCommand()->name, "first");
    ASSERT_TRUE(script->SetNextCommand());
    EXPECT_EQ(script->GetCurrentCommand()->name, "second");
    ASSERT_TRUE(script->SetNextCommand());
    EXPECT_EQ(script->GetCurrentCommand()->name, "third");
    EXPECT_FALSE(script->SetNextCommand());
    EXPECT_EQ(script->GetCurrentCommand(), nullptr);
    EXPECT_TRUE(script->Queue().empty());
    EXPECT_FALSE(script->SetNextCommand());
}

TEST_F(LuaScriptTest, ReleaseAllIsQueuedEvenWhenNotRunning) {
    CPSmartPtr<CPLuaScript> script(new CPLuaScript());
    script->SendReleaseAll();
    ASSERT_EQ(script->Queue().size(), 1u);
    EXPECT_EQ(script->Queue().front().name, "release_all");
    EXPECT_TRUE(script->Queue().front().params.empty());
}

} // namespace

namespace {

// What the host relies on in Lua 5.1, pinned so a library change shows here first.
class Lua51Pins : public scripttest::ScriptFixture {
protected:
    static inline int destroyed = 0;
};

TEST_F(Lua51Pins, ResumeAnswersYieldWithTheYieldedValueAtIndexOne) {
    auto script = Make("pin", "Update() return 'x', 'y'");
    lua_State* thread = script->GetThread();
    ASSERT_NE(thread, nullptr);
    EXPECT_EQ(lua_resume(thread, 0), LUA_YIELD);
    ASSERT_EQ(lua_gettop(thread), 1);
    EXPECT_EQ(lua_tonumber(thread, 1), 7);
    // The end of the chunk answers 0 with the returned values from index 1.
    EXPECT_EQ(lua_resume(thread, 0), 0);
    ASSERT_EQ(lua_gettop(thread), 2);
    EXPECT_STREQ(lua_tostring(thread, 1), "x");
}

TEST_F(Lua51Pins, ErrorValueIsOnTopOfTheThreadStack) {
    auto script = Make("pin", "local a, b = 1, 2 error('boom', 0)");
    lua_State* thread = script->GetThread();
    EXPECT_EQ(lua_resume(thread, 0), LUA_ERRRUN);
    ASSERT_GE(lua_gettop(thread), 1);
    EXPECT_STREQ(lua_tostring(thread, -1), "boom");
}

TEST_F(Lua51Pins, ArgumentErrorsAreCppExceptionsCaughtByLua) {
    // The C++ build of Lua: a raise inside a C function unwinds as an exception, which the
    // protected call turns back into an error status.
    lua_State* L = luaL_newstate();
    lua_pushcfunction(L, [](lua_State* S) -> int {
        struct Counter {
            ~Counter() { ++destroyed; }
        } counter;
        luaL_checkstring(S, 1);
        return 0;
    });
    destroyed = 0;
    EXPECT_EQ(lua_pcall(L, 0, 0, 0), LUA_ERRRUN);
    EXPECT_EQ(destroyed, 1);
    lua_close(L);
}

} // namespace
