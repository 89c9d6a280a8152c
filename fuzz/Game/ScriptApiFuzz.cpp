// The script API driven directly: every registered function called, in an order and with
// arguments taken from the input (nil, booleans, hostile numbers, any bytes as text, tables,
// handles of live, dead and made-up objects), from a script's own state in a running game:
// a kernel with scripts listed by the script manager, the key bindings, the game data and the
// sound manager, all made afresh for each input.
//
// Input: a sequence of calls, each [function byte][control byte][arguments...]; the control
// byte's low three bits give the argument count (at most five), its top bit runs a kernel pass
// after the call. Each argument is [kind byte][its bytes].

#include "Framework/PLog.h"
#include "Framework/PMMObject.h"
#include "Framework/PSettings.h"
#include "Framework/PTaskKernel.h"
#include "FuzzSupport.h"
#include "Game/ScriptApi.h"
#include "GameData/PGameData.h"
#include "Input/NInput.h"
#include "Platform/Audio/NullAudio.h"
#include "Platform/Music/MusicPlayer.h"
#include "Script/PLuaScript.h"
#include "Script/PScriptManager.h"
#include "Script/ScriptBinding.h"
#include "Script/ScriptFunctions.h"
#include "ScriptArguments.h"
#include "Sound/NAudio.h"

#include "../Script/ScriptBounds.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

namespace {

constexpr int kMaxCalls = 64;

using kxfuzz::Input;

const double kNumbers[] = {0.0,
                           -0.0,
                           1.0,
                           -1.0,
                           0.5,
                           2.0,
                           3.0,
                           7.0,
                           31.0,
                           255.0,
                           256.0,
                           65536.0,
                           2147483647.0,
                           2147483648.0,
                           -2147483648.0,
                           -2147483649.0,
                           4294967296.0,
                           9007199254740993.0,
                           1e100,
                           -1e100,
                           std::numeric_limits<double>::max(),
                           std::numeric_limits<double>::lowest(),
                           std::numeric_limits<double>::denorm_min(),
                           std::numeric_limits<double>::infinity(),
                           -std::numeric_limits<double>::infinity(),
                           std::numeric_limits<double>::quiet_NaN(),
                           1e-300,
                           3.4e38,
                           3.5e38};

const char* const kTexts[] = {"",
                              "main",
                              "caller",
                              "other",
                              "t_system",
                              "all",
                              "Actions.cfg",
                              "Esc",
                              "Space",
                              "1,2,\"3\"",
                              "%s%n%d",
                              "..\\..\\x",
                              "Data\\Scripts\\list.dat",
                              "\xff\xfe",
                              "release_all",
                              "0x0",
                              "-1",
                              "nan"};

struct World {
    std::vector<PMMHandle> handles;
};

const kxfuzz::ArgumentKinds kArguments = kxfuzz::MakeArgumentKinds(kNumbers, kTexts, 256, true, true);

// The calls of one input in a game made for it; everything made is released on return.
void RunCalls(const std::uint8_t* data, std::size_t size, const std::vector<std::string>& names) {
    static kxfuzz::ScriptBudget budget;
    CPTaskKernel kernel;
    CPGameData gameData;
    CNAudio sound;
    CPSmartPtr<CNInput> input(new CNInput());
    input->LoadActions("Actions.cfg");
    CPScriptManager manager;
    manager.LoadScriptList();
    CPSmartPtr<CPLuaScript> caller = manager.GetScript("caller");
    CPSmartPtr<CPLuaScript> other = manager.GetScript("other");
    if (caller && caller->GetMainState()) {
        kernel.AddTask(CPSmartPtr<IPTask>(caller));
        if (other) kernel.AddTask(CPSmartPtr<IPTask>(other));
        World world;
        world.handles = {caller->GetHandle(), input->GetHandle(), other ? other->GetHandle() : 0, 0};
        lua_State* L = caller->GetMainState();
        kxfuzz::BoundScript(L, nullptr, budget);

        Input in(data, size);
        for (int call = 0; call < kMaxCalls && !in.Empty(); ++call) {
            const std::uint8_t control = kxfuzz::CallOne(L, in, names, 6, 0, kArguments, world.handles);
            if (control & 0x80) kernel.RunPass();
        }
    }
    kernel.KillAllTasks();
    kernel.RunPass();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    CPLog::Instance().SetSink(nullptr);
    kxfuzz::GameRoot& root = kxfuzz::GameRoot::Get();
    root.Clear();
    root.Write("Actions.cfg", "exit;Exit;Esc;false\r\nfire;Fire;Space;false\r\nslot;Slot;3;true\r\n");
    root.Write("Data/Scripts/list.dat", "caller t_system all\r\nother t_level all levels\r\n");
    root.Write("Data/Scripts/caller.lua", "while true do Update() end\n");
    root.Write("Data/Scripts/other.lua", "Update() Update() error('done')\n");
    ResetSettingsToDefaults();

    static const std::vector<std::string> names = [] {
        ScriptApi::InstallScriptApi();
        std::vector<std::string> all;
        for (int table = 0; table < Script::ScriptFunctionTables::kTableCount; ++table)
            for (const Script::ScriptFunction& f : Script::GetScriptFunctionTables().Table(table))
                all.push_back(f.name);
        return all;
    }();
    {
        Platform::Audio::ScopedNullAudio audio;
        Platform::Music::ScopedNullMusic music;
        RunCalls(data, size, names);
        // What the calls made goes while the audio system that made any sound is still there.
        IPMMObject::CollectGarbage();
        IPMMObject::CollectGarbage();
    }
    ResetSettingsToDefaults();
    return 0;
}
