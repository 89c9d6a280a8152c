// A script file of any bytes, loaded and run by the script host as the game runs its scripts:
// a kernel task resumed once a pass, for a few passes, then killed and collected.

#include "Framework/PLog.h"
#include "Framework/PMMObject.h"
#include "Framework/PTaskKernel.h"
#include "FuzzSupport.h"
#include "Script/PLuaScript.h"
#include "Script/ScriptFunctions.h"
#include "ScriptBounds.h"

#include <cstddef>
#include <cstdint>

namespace {

constexpr int kPasses = 4;

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    CPLog::Instance().SetSink(nullptr);
    kxfuzz::GameRoot& root = kxfuzz::GameRoot::Get();
    root.Clear();
    root.Write("Data/Scripts/fuzz.lua", data, size);
    Script::GetScriptFunctionTables().Clear();

    static kxfuzz::ScriptBudget budget;
    {
        CPTaskKernel kernel;
        CPSmartPtr<CPLuaScript> script(new CPLuaScript());
        if (script->Load("fuzz") >= 0) {
            kxfuzz::BoundScript(script->GetMainState(), script->GetThread(), budget);
            kernel.AddTask(CPSmartPtr<IPTask>(script));
            for (int pass = 0; pass < kPasses; ++pass) kernel.RunPass();
        }
        kernel.KillAllTasks();
        kernel.RunPass();
    }
    IPMMObject::CollectGarbage();
    IPMMObject::CollectGarbage();
    return 0;
}
