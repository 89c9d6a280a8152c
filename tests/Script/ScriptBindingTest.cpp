// The argument words and results of the script-function binding layer, checked in a bare
// Lua state with a few functions bound for the test.

#include "Script/ScriptBinding.h"
#include "Framework/PMMObject.h"
#include "Script/ScriptFunctions.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <climits>
#include <cmath>
#include <string>
#include <vector>

namespace {

using Script::ScriptCall;
namespace Arg = Script::Arg;

struct Thing : IPMMObject {
    int GetSize() const override { return sizeof(Thing); }
    std::string GetClassName() const override { return "Thing"; }
};
struct Other : IPMMObject {
    int GetSize() const override { return sizeof(Other); }
    std::string GetClassName() const override { return "Other"; }
};

std::vector<std::string> g_seen;
int g_destroyed = 0;

struct Guard {
    ~Guard() { ++g_destroyed; }
};

void SeeNumber(ScriptCall&, double v) { g_seen.push_back(std::to_string(v)); }
void SeeRequiredNumber(ScriptCall&, double v) { g_seen.push_back(std::to_string(v)); }
void SeeString(ScriptCall&, std::optional<std::string> s) { g_seen.push_back(s ? "'" + *s + "'" : "none"); }
void SeeRequiredString(ScriptCall&, std::string s) { g_seen.push_back("'" + s + "'"); }
void SeeBoolean(ScriptCall&, bool b) { g_seen.push_back(b ? "true" : "false"); }
void SeeThing(ScriptCall&, Thing* t) { g_seen.push_back(t ? t->GetClassName() : "null"); }
void SeeAny(ScriptCall&, IPMMObject* o) { g_seen.push_back(o ? o->GetClassName() : "null"); }
// Reads in position order: the first failing required word raises before the body runs.
void SeeTwo(ScriptCall&, std::string a, double b) { g_seen.push_back(a + "/" + std::to_string(b)); }
void GuardedRequired(ScriptCall& call) {
    Guard guard;
    call.RequiredNumber(1);
    g_seen.push_back("not reached");
}
void Results(ScriptCall& call) {
    call.PushNumber(1.5);
    call.PushString(std::string("a\0b", 3));
    call.PushBoolean(false);
    call.PushObject(nullptr);
    call.PushTable([](ScriptCall::TableBuilder& t) {
        t.AddNumber(10);
        t.AddString("x");
    });
}
void Nothing(ScriptCall&) {}

Thing* g_thing = nullptr;
Other* g_other = nullptr;
void GiveThing(ScriptCall& call) { call.PushObject(g_thing); }
void GiveOther(ScriptCall& call) { call.PushObject(g_other); }

class ScriptBindingTest : public ::testing::Test {
protected:
    void SetUp() override {
        g_seen.clear();
        g_destroyed = 0;
        L = luaL_newstate();
        luaL_openlibs(L);
        Script::ScriptFunctionTables tables;
        static const Script::ScriptFunction kFunctions[] = {
            {"SeeNumber", Script::ScriptBind<SeeNumber, Arg::Number>},
            {"SeeRequiredNumber", Script::ScriptBind<SeeRequiredNumber, Arg::RequiredNumber>},
            {"SeeString", Script::ScriptBind<SeeString, Arg::String>},
            {"SeeRequiredString", Script::ScriptBind<SeeRequiredString, Arg::RequiredString>},
            {"SeeBoolean", Script::ScriptBind<SeeBoolean, Arg::Boolean>},
            {"SeeThing", Script::ScriptBind<SeeThing, Arg::Object<Thing>>},
            {"SeeAny", Script::ScriptBind<SeeAny, Arg::Object<>>},
            {"SeeTwo", Script::ScriptBind<SeeTwo, Arg::RequiredString, Arg::RequiredNumber>},
            {"GuardedRequired", Script::ScriptBindCall<GuardedRequired>},
            {"Results", Script::ScriptBindCall<Results>},
            {"Nothing", Script::ScriptBind<Nothing>},
            {"GiveThing", Script::ScriptBindCall<GiveThing>},
            {"GiveOther", Script::ScriptBindCall<GiveOther>},
        };
        tables.Add(0, kFunctions);
        tables.RegisterInto(L);
        thing = new Thing;
        other = new Other;
        g_thing = thing.Get();
        g_other = other.Get();
    }
    void TearDown() override {
        lua_close(L);
        thing = nullptr;
        other = nullptr;
        IPMMObject::CollectGarbage();
    }
    // Runs a chunk protected; the error text, or "" on success.
    std::string Run(const std::string& code) {
        if (luaL_loadstring(L, code.c_str()) != 0 || lua_pcall(L, 0, 0, 0) != 0) {
            std::string error = lua_tostring(L, -1) ? lua_tostring(L, -1) : "?";
            lua_pop(L, 1);
            return error;
        }
        return "";
    }

    lua_State* L = nullptr;
    CPSmartPtr<Thing> thing;
    CPSmartPtr<Other> other;
};

TEST_F(ScriptBindingTest, NumberWordReadsZeroForAnythingButANumber) {
    EXPECT_EQ(Run("SeeNumber(2.5) SeeNumber('12') SeeNumber() SeeNumber(nil) SeeNumber('x') SeeNumber({})"), "");
    EXPECT_EQ(g_seen,
              (std::vector<std::string>{"2.500000", "12.000000", "0.000000", "0.000000", "0.000000", "0.000000"}));
}

TEST_F(ScriptBindingTest, RequiredWordsRaiseLuasArgumentError) {
    EXPECT_EQ(Run("SeeRequiredNumber('7')"), "");
    const std::string error = Run("SeeRequiredNumber('x')");
    EXPECT_NE(error.find("bad argument #1"), std::string::npos) << error;
    EXPECT_NE(error.find("number expected"), std::string::npos) << error;
    EXPECT_NE(Run("SeeRequiredString()").find("string expected, got no value"), std::string::npos);
    EXPECT_NE(Run("SeeRequiredString({})").find("string expected, got table"), std::string::npos);
    EXPECT_EQ(g_seen, (std::vector<std::string>{"7.000000"}));
}

TEST_F(ScriptBindingTest, WordsAreReadInPositionOrder) {
    const std::string error = Run("SeeTwo(nil, 'x')");
    EXPECT_NE(error.find("bad argument #1"), std::string::npos) << error;
    EXPECT_NE(Run("SeeTwo('a', 'x')").find("bad argument #2"), std::string::npos);
    EXPECT_EQ(Run("SeeTwo(5, '3')"), "");
    EXPECT_EQ(g_seen, (std::vector<std::string>{"5/3.000000"}));
}

TEST_F(ScriptBindingTest, ArgumentErrorUnwindsThroughCppDestructors) {
    EXPECT_NE(Run("GuardedRequired('no')"), "");
    EXPECT_EQ(g_destroyed, 1);
    EXPECT_TRUE(g_seen.empty());
}

TEST_F(ScriptBindingTest, StringWordConvertsNumbersAndGivesNothingOtherwise) {
    EXPECT_EQ(Run("SeeString('abc') SeeString(5) SeeString() SeeString(true) SeeRequiredString(1.5)"), "");
    EXPECT_EQ(g_seen, (std::vector<std::string>{"'abc'", "'5'", "none", "none", "'1.5'"}));
}

TEST_F(ScriptBindingTest, BooleanWordUsesLuaTruth) {
    EXPECT_EQ(Run("SeeBoolean(0) SeeBoolean('') SeeBoolean(nil) SeeBoolean(false) SeeBoolean() SeeBoolean(true)"), "");
    EXPECT_EQ(g_seen, (std::vector<std::string>{"true", "true", "false", "false", "false", "true"}));
}

TEST_F(ScriptBindingTest, ObjectWordResolvesHandlesByKind) {
    EXPECT_EQ(Run("local t = GiveThing() SeeThing(t) SeeAny(t) SeeThing(GiveOther()) SeeAny(GiveOther())"), "");
    EXPECT_EQ(g_seen, (std::vector<std::string>{"Thing", "Thing", "null", "Other"}));
}

TEST_F(ScriptBindingTest, ObjectWordRefusesEverythingElse) {
    // A full userdata (an open io file), numbers, strings, tables, nil and a missing argument.
    EXPECT_EQ(Run("SeeAny(io.stdout) SeeAny(1) SeeAny('1') SeeAny({}) SeeAny(nil) SeeAny()"), "");
    EXPECT_EQ(g_seen, std::vector<std::string>(6, "null"));
}

TEST_F(ScriptBindingTest, DeadHandleIsNoObject) {
    EXPECT_EQ(Run("kept = GiveThing()"), "");
    g_thing = nullptr;
    thing = nullptr;
    IPMMObject::CollectGarbage();
    EXPECT_EQ(Run("SeeThing(kept) SeeAny(kept)"), "");
    EXPECT_EQ(g_seen, (std::vector<std::string>{"null", "null"}));
}

TEST_F(ScriptBindingTest, ObjectsCrossAsTheirHandleNeverAnAddress) {
    EXPECT_EQ(Run("kept = GiveThing()"), "");
    lua_getglobal(L, "kept");
    ASSERT_EQ(lua_type(L, -1), LUA_TLIGHTUSERDATA);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(lua_touserdata(L, -1)), thing->GetHandle());
    lua_pop(L, 1);
}

TEST_F(ScriptBindingTest, ResultsArePushedInOrderAndCounted) {
    EXPECT_EQ(Run("local n, s, b, o, t = Results() "
                  "assert(n == 1.5 and s == 'a\\0b' and b == false) "
                  "assert(type(o) == 'userdata' and o ~= nil) "
                  "assert(t[1] == 10 and t[2] == 'x' and t[3] == nil) "
                  "assert(select('#', Results()) == 5) "
                  "assert(select('#', Nothing()) == 0)"),
              "");
}

void GiveReferencedThing(ScriptCall& call) { call.PushReferencedObject(g_thing); }

TEST_F(ScriptBindingTest, ScriptReferencesAreCountedAndOnlyThoseGoBack) {
    ASSERT_EQ(thing->GetRefCount(), 1);
    Script::TakeScriptReference(thing.Get());
    Script::TakeScriptReference(thing.Get());
    EXPECT_EQ(thing->GetRefCount(), 3);
    EXPECT_EQ(Script::ScriptReferenceCount(thing.Get()), 2);
    EXPECT_TRUE(Script::GiveBackScriptReference(thing.Get()));
    EXPECT_TRUE(Script::GiveBackScriptReference(thing.Get()));
    EXPECT_FALSE(Script::GiveBackScriptReference(thing.Get()));
    EXPECT_EQ(thing->GetRefCount(), 1);
    EXPECT_EQ(Script::ScriptReferenceCount(thing.Get()), 0);
    // Null is no object.
    Script::TakeScriptReference(nullptr);
    EXPECT_FALSE(Script::GiveBackScriptReference(nullptr));
    // An object handed over with a reference carries one the script may give back.
    lua_pushcfunction(L, Script::ScriptBindCall<GiveReferencedThing>);
    lua_setglobal(L, "GiveReferencedThing");
    EXPECT_EQ(Run("held = GiveReferencedThing()"), "");
    EXPECT_EQ(thing->GetRefCount(), 2);
    EXPECT_EQ(Script::ScriptReferenceCount(thing.Get()), 1);
    EXPECT_TRUE(Script::GiveBackScriptReference(thing.Get()));
    EXPECT_EQ(thing->GetRefCount(), 1);
}

TEST_F(ScriptBindingTest, NumberConversionsNeverOverflow) {
    EXPECT_EQ(Script::TruncateToInt(-2.7), -2);
    EXPECT_EQ(Script::TruncateToInt(12.9), 12);
    EXPECT_EQ(Script::TruncateToInt(1e300), INT_MAX);
    EXPECT_EQ(Script::TruncateToInt(-1e300), INT_MIN);
    EXPECT_EQ(Script::TruncateToInt(std::nan("")), 0);
    EXPECT_EQ(Script::NarrowToFloat(1e300), FLT_MAX);
    EXPECT_EQ(Script::NarrowToFloat(-1e300), -FLT_MAX);
    EXPECT_EQ(Script::NarrowToFloat(0.5), 0.5f);
}

TEST(ScriptFunctionTables, LaterTablesReplaceEarlierNames) {
    static int which = 0;
    auto first = [](lua_State*) -> int {
        which = 1;
        return 0;
    };
    auto second = [](lua_State*) -> int {
        which = 2;
        return 0;
    };
    auto third = [](lua_State*) -> int {
        which = 3;
        return 0;
    };
    Script::ScriptFunctionTables tables;
    const Script::ScriptFunction t3[] = {{"Shared", third}};
    const Script::ScriptFunction t2[] = {{"Shared", second}, {"OnlySecond", second}};
    const Script::ScriptFunction t1[] = {{"Shared", first}, {nullptr, nullptr}};
    // Added out of order on purpose: registration follows the table number.
    tables.Add(2, t3);
    tables.Add(1, t2);
    tables.Add(0, t1);
    EXPECT_FALSE(tables.Add(3, t1));
    EXPECT_EQ(tables.Table(0).size(), 1u);

    lua_State* L = luaL_newstate();
    tables.RegisterInto(L);
    lua_getglobal(L, "Shared");
    lua_call(L, 0, 0);
    EXPECT_EQ(which, 3);
    lua_getglobal(L, "OnlySecond");
    lua_call(L, 0, 0);
    EXPECT_EQ(which, 2);
    lua_close(L);
}

TEST(ScriptFunctionTables, BoundFunctionsAreRegisteredAsTheyAreAndOthersWrapped) {
    // A function of the binding layer keeps the engine-call accounting itself, so scripts call
    // it without a wrapper in between; a plain lua_CFunction gets the wrapper.
    auto plain = [](lua_State* L) -> int {
        lua_pushnumber(L, 7);
        return 1;
    };
    const lua_CFunction bound = Script::ScriptBindCall<Results>;
    Script::ScriptFunctionTables tables;
    const Script::ScriptFunction entries[] = {{"Bound", bound}, {"Plain", plain}};
    tables.Add(0, entries);
    EXPECT_TRUE(Script::TimesItsEngineCall(bound));
    EXPECT_FALSE(Script::TimesItsEngineCall(plain));

    lua_State* L = luaL_newstate();
    tables.RegisterInto(L);
    lua_getglobal(L, "Bound");
    EXPECT_EQ(lua_tocfunction(L, -1), bound);
    lua_call(L, 0, 5);
    EXPECT_EQ(lua_tonumber(L, -5), 1.5);
    lua_settop(L, 0);
    lua_getglobal(L, "Plain");
    EXPECT_NE(lua_tocfunction(L, -1), static_cast<lua_CFunction>(plain));
    lua_call(L, 0, 1);
    EXPECT_EQ(lua_tonumber(L, -1), 7);
    lua_close(L);
}

} // namespace
