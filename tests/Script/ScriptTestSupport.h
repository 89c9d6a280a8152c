#pragma once
// A game root with scripts, a task kernel, the log captured, and one test function "Report"
// that records its arguments, so tests see how far a script ran.

#include "Framework/PLog.h"
#include "Framework/PMMObject.h"
#include "Framework/PTaskKernel.h"
#include "Script/PLuaScript.h"
#include "Script/ScriptBinding.h"
#include "Script/ScriptFunctions.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace scripttest {

inline std::vector<std::string>& Reports() {
    static std::vector<std::string> reports;
    return reports;
}

// Report(a, b, ...) records "a|b|..." (nil as "nil").
inline int Report(lua_State* L) {
    std::string line;
    for (int i = 1; i <= lua_gettop(L); ++i) {
        if (i > 1) line += "|";
        const char* text = lua_tostring(L, i);
        line += text ? text : luaL_typename(L, i);
    }
    Reports().push_back(line);
    return 0;
}

class ScriptFixture : public ::testing::Test {
protected:
    void SetUp() override {
        Reports().clear();
        Script::GetScriptFunctionTables().Clear();
        static const Script::ScriptFunction kTest[] = {{"Report", Report}};
        Script::GetScriptFunctionTables().Add(0, kTest);
        CPLog::Instance().SetSink([this](int, const std::string& text) { log.push_back(text); });
    }
    void TearDown() override {
        CPLog::Instance().SetSink(nullptr);
        Script::GetScriptFunctionTables().Clear();
        kernel.KillAllTasks();
        kernel.RunPass();
        IPMMObject::CollectGarbage();
        IPMMObject::CollectGarbage();
    }

    void WriteScript(const std::string& name, const std::string& source) {
        root.Write("Data/Scripts/" + name + ".lua", source);
    }
    CPSmartPtr<CPLuaScript> Make(const std::string& name, const std::string& source, int* loadResult = nullptr) {
        WriteScript(name, source);
        CPSmartPtr<CPLuaScript> script(new CPLuaScript());
        const int result = script->Load(name);
        if (loadResult) *loadResult = result;
        return script;
    }
    void Pass(int count = 1) {
        for (int i = 0; i < count; ++i) kernel.RunPass();
    }
    bool InKernel(const CPSmartPtr<CPLuaScript>& script) const { return kernel.IsActive(script.Get()); }
    bool LogHas(const std::string& part) const {
        for (const auto& line : log)
            if (line.find(part) != std::string::npos) return true;
        return false;
    }

    kxtest::TempGameRoot root;
    CPTaskKernel kernel;
    std::vector<std::string> log;
};

} // namespace scripttest
