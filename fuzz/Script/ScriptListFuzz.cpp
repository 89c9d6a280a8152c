// "Data\Scripts\list.dat" as the game reads it at start-up: every script it names is made and
// loaded, then commands go out by name and by category as the engine sends them.

#include "Framework/PLog.h"
#include "Framework/PMMObject.h"
#include "Framework/PTaskKernel.h"
#include "Framework/PTextReader.h"
#include "FuzzSupport.h"
#include "Script/PScriptManager.h"
#include "Script/ScriptFunctions.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    CPLog::Instance().SetSink(nullptr);
    kxfuzz::GameRoot& root = kxfuzz::GameRoot::Get();
    root.Clear();
    root.Write("Data/Scripts/list.dat", data, size);
    // Scripts the list may name; anything else ends the list as a missing file.
    root.Write("Data/Scripts/main.lua", "while true do Update() end\n");
    root.Write("Data/Scripts/a.lua", "Update() error('stops')\n");
    root.Write("Data/Scripts/B.lua", "return 1\n");
    Script::GetScriptFunctionTables().Clear();
    {
        CPTaskKernel kernel;
        CPScriptManager manager;
        manager.LoadScriptList();
        std::vector<std::string> lines;
        ReadTextFileLines("Data\\Scripts\\list.dat", lines, 64);
        for (const std::string& line : lines) {
            const std::string word = line.substr(0, line.find(' '));
            manager.SendCommandByName(word, "start", "1,\"two, three\"");
            manager.SendCommandByCategory(word, "event", "");
            if (CPSmartPtr<CPLuaScript> script = manager.GetScript(word)) kernel.AddTask(CPSmartPtr<IPTask>(script));
        }
        manager.SendCommandByCategory("t_system", "event", "x");
        kernel.RunPass();
        kernel.KillAllTasks();
        kernel.RunPass();
    }
    IPMMObject::CollectGarbage();
    IPMMObject::CollectGarbage();
    return 0;
}
