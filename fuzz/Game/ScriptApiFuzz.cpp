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

class Input {
public:
    Input(const std::uint8_t* data, std::size_t size) : m_data(data), m_size(size) {}
    bool Empty() const { return m_position >= m_size; }
    std::uint8_t Byte() { return m_position < m_size ? m_data[m_position++] : 0; }
    std::string Bytes(std::size_t n) {
        n = std::min(n, m_size - std::min(m_position, m_size));
        std::string out(reinterpret_cast<const char*>(m_data) + m_position, n);
        m_position += n;
        return out;
    }

private:
    const std::uint8_t* m_data;
    std::size_t m_size;
    std::size_t m_position = 0;
};

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

void PushArgument(lua_State* L, Input& in, const World& world) {
    switch (in.Byte() % 10) {
    case 0: lua_pushnil(L); break;
    case 1: lua_pushboolean(L, 0); break;
    case 2: lua_pushboolean(L, 1); break;
    case 3: lua_pushnumber(L, kNumbers[in.Byte() % (sizeof kNumbers / sizeof kNumbers[0])]); break;
    case 4: {
        const std::string bits = in.Bytes(8);
        double value = 0;
        std::memcpy(&value, bits.data(), bits.size());
        lua_pushnumber(L, value);
        break;
    }
    case 5: {
        const std::string text = in.Bytes(in.Byte());
        lua_pushlstring(L, text.data(), text.size());
        break;
    }
    case 6: lua_pushstring(L, kTexts[in.Byte() % (sizeof kTexts / sizeof kTexts[0])]); break;
    case 7:
        lua_newtable(L);
        if (in.Byte() & 1) {
            lua_pushnumber(L, 1);
            lua_rawseti(L, -2, 1);
        }
        break;
    case 8: {
        const std::uint8_t which = in.Byte();
        const PMMHandle handle = world.handles.empty() ? 0 : world.handles[which % world.handles.size()];
        lua_pushlightuserdata(L, Script::HandleToUserdata(which >= 0xF0 ? PMMHandle(which) : handle));
        break;
    }
    default: {
        std::uint32_t value = 0;
        const std::string bits = in.Bytes(4);
        std::memcpy(&value, bits.data(), bits.size());
        lua_pushlightuserdata(L, reinterpret_cast<void*>(static_cast<std::uintptr_t>(value)));
        break;
    }
    }
}

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
            const std::string& name = names[in.Byte() % names.size()];
            const std::uint8_t control = in.Byte();
            const int base = lua_gettop(L);
            lua_getglobal(L, name.c_str());
            const int argc = (control & 7) % 6;
            for (int i = 0; i < argc; ++i) PushArgument(L, in, world);
            lua_pcall(L, argc, 0, 0);
            lua_settop(L, base);
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
