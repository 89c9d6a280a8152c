// The scripts' pattern functions against Lua 5.1's own: the same answers and the same errors
// over a table of patterns, subjects and replacements; and a budget that stops a pattern which
// would backtrack for minutes.
#include "Script/LuaPatterns.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

namespace {

// Both states run this first: their answers as one text, types and values.
const char* const kHelpers = R"(
function ser(...)
  local t = {}
  for i = 1, select('#', ...) do
    local v = select(i, ...)
    t[#t + 1] = type(v) .. ':' .. tostring(v)
  end
  return table.concat(t, '|')
end
function all(f, ...)
  local r = {}
  local ok, err = pcall(function(...) for a, b, c in f(...) do r[#r + 1] = ser(a, b, c) end end, ...)
  if not ok then r[#r + 1] = 'error:' .. tostring(err) end
  return table.concat(r, ';')
end
subjects = { '', 'hello world', '  key = value  ', 'aaa', 'a.b-c', '(foo(bar))baz', 'THE (quick) fox',
             'x\0y', '123abc456', 'f(a,b) = [[x]]', 'a,b,,c', '\n\t end' }
patterns = { '', '^', '$', '^$', 'l+', 'l*', 'l-', 'l?', 'o.', '%a+', '%A+', '%d+', '%s*(%w+)%s*=%s*(%w+)',
             '()ll()', '(h)(e)(l)', '%bxy', '%b()', '%f[%w]%w+', '%f[%W]', '[%a_][%w_]*', '[^%s]+', '[a-c]+',
             '[]]', '[^]]', '(a*(.)%w(%s*))', '%1', '(l)%1', '^(%w+)', '.-$', '[%-]', '%', '[a', '(()', '%f',
             '%b', '(%w+)%)', 'a-b', '[.]', '[%a-z]', '[z-a]', '(%d)(%d)(%d)', '^a*$', 'x%zy', '%z', '[%z]',
             '%c', '%p+', '%u%l', '%x+', ')', '(', '((a))', '(a)(b)', '^(.-)%s*$', '[^,]*', ',?', '%.', '.',
             '$$', 'a$b', '^^', '%', '%]', '[%]]', '[^%d%s]', 'f%(', 'x\0y' }
)";

class LuaPatternsTest : public ::testing::Test {
protected:
    void SetUp() override {
        library = NewState();
        ours = NewState();
        Script::InstallPatternFunctions(ours);
    }
    void TearDown() override {
        lua_close(library);
        lua_close(ours);
    }

    static lua_State* NewState() {
        lua_State* L = luaL_newstate();
        luaL_openlibs(L);
        EXPECT_EQ(luaL_dostring(L, kHelpers), 0) << lua_tostring(L, -1);
        return L;
    }

    static std::string Run(lua_State* L, const std::string& chunk) {
        if (luaL_loadstring(L, chunk.c_str()) != 0) return std::string("load:") + lua_tostring(L, -1);
        if (lua_pcall(L, 0, 1, 0) != 0) {
            std::string error = std::string("run:") + (lua_tostring(L, -1) ? lua_tostring(L, -1) : "?");
            lua_pop(L, 1);
            return error;
        }
        std::string out = lua_tostring(L, -1) ? lua_tostring(L, -1) : "<not a string>";
        lua_pop(L, 1);
        return out;
    }

    // Runs the chunk in both states: one line per answer, to compare.
    void ExpectSame(const std::string& chunk) {
        const std::string expected = Run(library, chunk);
        const std::string got = Run(ours, chunk);
        EXPECT_EQ(got, expected) << chunk;
    }

    lua_State* library = nullptr;
    lua_State* ours = nullptr;
};

TEST_F(LuaPatternsTest, AnswersAsTheLibraryDoesOverEveryPatternAndSubject) {
    ExpectSame(R"(
local out = {}
for _, s in ipairs(subjects) do
  for _, p in ipairs(patterns) do
    out[#out + 1] = ser(pcall(string.find, s, p))
    out[#out + 1] = ser(pcall(string.match, s, p))
    out[#out + 1] = all(string.gmatch, s, p)
    out[#out + 1] = ser(pcall(string.gsub, s, p, '<%0>'))
  end
end
return table.concat(out, '\n'))");
}

TEST_F(LuaPatternsTest, StartPositionsAndPlainSearchesAsTheLibrary) {
    ExpectSame(R"(
local out = {}
for _, s in ipairs(subjects) do
  for _, init in ipairs({ -100, -3, -1, 0, 1, 2, 3, 5, 100 }) do
    for _, p in ipairs({ 'a', 'l+', '', '%w', '^%w', '.', '(', '%', 'b-c' }) do
      out[#out + 1] = ser(pcall(string.find, s, p, init))
      out[#out + 1] = ser(pcall(string.find, s, p, init, true))
      out[#out + 1] = ser(pcall(string.match, s, p, init))
    end
  end
end
return table.concat(out, '\n'))");
}

TEST_F(LuaPatternsTest, ReplacementsAsTheLibrary) {
    // Strings with capture references, tables, functions answering every kind of value, counts.
    ExpectSame(R"(
local out = {}
local repls = { '%1', '%2', '%0%0', '%%', '%', 'x%', '%a', 12, 1.5, '[%1|%2]',
  { hello = 'HI', key = 1, a = false },
  function(...) return select('#', ...) end,
  function(a) return nil end,
  function(a) return false end,
  function(a) return {} end,
  function(a, b) return (a or '') .. '/' .. tostring(b) end,
  true, nil }
for _, s in ipairs(subjects) do
  for _, p in ipairs({ '%w+', '(%w+)', '(%w)(%w*)', '()', '^%s*', '', 'l', '(l)(l)' }) do
    for i = 1, #repls + 1 do
      local r = repls[i]
      out[#out + 1] = ser(pcall(string.gsub, s, p, r))
      out[#out + 1] = ser(pcall(string.gsub, s, p, r, 1))
      out[#out + 1] = ser(pcall(string.gsub, s, p, r, 0))
      out[#out + 1] = ser(pcall(string.gsub, s, p, r, -1))
    end
  end
end
return table.concat(out, '\n'))");
}

TEST_F(LuaPatternsTest, ArgumentErrorsAsTheLibrary) {
    ExpectSame(R"(
local out = {}
out[#out + 1] = ser(pcall(string.find))
out[#out + 1] = ser(pcall(string.find, 'a'))
out[#out + 1] = ser(pcall(string.find, {}, 'a'))
out[#out + 1] = ser(pcall(string.find, 'a', 'a', 'x'))
out[#out + 1] = ser(pcall(string.match, 'a'))
out[#out + 1] = ser(pcall(string.gmatch, 'a'))
out[#out + 1] = ser(pcall(string.gsub, 'a', 'a'))
out[#out + 1] = ser(pcall(string.gsub, 'a', 'a', 'b', 'x'))
out[#out + 1] = ser(pcall(string.find, 12345, 3))
out[#out + 1] = ser(pcall(string.gsub, 12345, 3, 9))
out[#out + 1] = ser(('abc'):find('b'))
out[#out + 1] = ser(('abc'):match('(b)(c)'))
out[#out + 1] = ser(pcall(string.find, 'a', string.rep('(', 33) .. 'a' .. string.rep(')', 33)))
out[#out + 1] = ser(pcall(string.find, string.rep('a', 40), string.rep('(a)', 32)))
return table.concat(out, '\n'))");
}

// Thirty "a*" before a "b" the subject lacks try every split of the subject between them: with
// no budget this backtracks for minutes inside one call, out of reach of any count hook.
TEST_F(LuaPatternsTest, BacktrackingPatternFailsWithinASecond) {
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(Run(ours, "return ser(pcall(string.find, string.rep('a', 2000), string.rep('a*', 30) .. 'b'))"),
              "boolean:false|string:pattern too complex");
    EXPECT_EQ(Run(ours, "return ser(pcall(string.gsub, string.rep('a', 2000), string.rep('a-', 30) .. 'b', ''))"),
              "boolean:false|string:pattern too complex");
    // The iterator's error carries the loop's position, as any error of the library's gmatch.
    const std::string iterated =
        Run(ours, "return all(string.gmatch, string.rep('a', 2000), string.rep('a*', 30) .. 'b')");
    EXPECT_NE(iterated.find("pattern too complex"), std::string::npos) << iterated;
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
    // The state goes on, and linear work on a long subject is never cut short.
    EXPECT_EQ(Run(ours, "local s = string.rep('ab ', 2000000) return ser(select(2, s:gsub('%w+', '%0')))"),
              "number:2000000");
    EXPECT_EQ(Run(ours, "return ser(string.find(string.rep('a', 1000000) .. 'b', 'a*b'))"), "number:1|number:1000001");
}

// Lua 5.1 recursed once per quantified item: half a million of them overflowed the C stack.
TEST_F(LuaPatternsTest, DeeplyNestedPatternsAreRefused) {
    for (const char* chunk : {"return ser(pcall(string.find, string.rep('a', 1000), string.rep('a?', 250000)))",
                              "return ser(pcall(string.match, 'a', string.rep('(', 201)))",
                              "return ser(pcall(string.gsub, 'a', string.rep('a-', 201), ''))",
                              "return all(string.gmatch, 'a', string.rep('a*', 201))"}) {
        const std::string got = Run(ours, chunk);
        EXPECT_NE(got.find("pattern too complex"), std::string::npos) << chunk << " -> " << got;
    }
}

} // namespace
