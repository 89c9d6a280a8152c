// The script functions over the key bindings, the music, the time scale, the volumes and the
// renderer's script values and the screen fade, called from Lua as the game's scripts call them.
#include <gtest/gtest.h>

#include "Framework/PGlobalTimer.h"
#include "Framework/PSettings.h"
#include "Framework/PTaskKernel.h"
#include "Framework/StartupRegistry.h"
#include "Game/ScriptApi.h"
#include "Input/NInput.h"
#include "Platform/Music/MusicPlayer.h"
#include "Platform/Window/Keyboard.h"
#include "Render/PRender.h"
#include "Script/Lua.h"
#include "Sound/NAudio.h"
#include "Sound/NSound.h"
#include "Sound/PMusic.h"
#include "support/TempDir.h"

namespace {

const char* const kActions = "exit;Exit;Esc;false\r\nfire;Fire;Space;false\r\nslot;Slot;3;true\r\n";

class EngineServicesScriptTest : public ::testing::Test {
protected:
    void SetUp() override {
        ResetSettingsToDefaults();
        root.Write("Actions.cfg", kActions);
        ScriptApi::InstallScriptApi(tables);
        L = luaL_newstate();
        luaL_openlibs(L);
        tables.RegisterInto(L);
    }
    void TearDown() override {
        lua_close(L);
        ResetStartupRegistry();
        ResetSettingsToDefaults();
        g_timeScale = 1.0f;
        CNSound::SetGlobalFrequencyFactor(1.0f);
        for (int i = 0; i < 3; ++i) IPMMObject::CollectGarbage();
    }

    // Runs a chunk; the error text when it fails, else empty.
    std::string Run(const std::string& code) {
        try {
            if (luaL_dostring(L, code.c_str()) != 0) {
                std::string error = lua_tostring(L, -1) ? lua_tostring(L, -1) : "error";
                lua_pop(L, 1);
                return error;
            }
        } catch (...) {
            return "exception";
        }
        return {};
    }
    std::string GlobalString(const char* name) {
        lua_getglobal(L, name);
        std::string value = lua_tostring(L, -1) ? lua_tostring(L, -1) : "<nil>";
        lua_pop(L, 1);
        return value;
    }
    double GlobalNumber(const char* name) {
        lua_getglobal(L, name);
        const double value = lua_tonumber(L, -1);
        lua_pop(L, 1);
        return value;
    }

    kxtest::TempGameRoot root;
    Script::ScriptFunctionTables tables;
    lua_State* L = nullptr;
};

TEST_F(EngineServicesScriptTest, FunctionsStandInTheirTables) {
    auto has = [&](int table, const char* name) {
        for (const auto& entry : tables.Table(table))
            if (std::string(entry.name) == name) return true;
        return false;
    };
    EXPECT_TRUE(has(ScriptApi::kFirstTable, "PlayMusic"));
    EXPECT_TRUE(has(ScriptApi::kFirstTable, "SetFade"));
    for (const char* name : {"SetActions", "SetAssignKey", "SetAction", "LoadActions", "SaveActions", "UpdateActions",
                             "GetActionNames", "PlayMusicNoLoop", "StopPlayingMusic", "GetMusicName", "SetTemp",
                             "SetSoundVolume", "SetMusicVolume", "SetMotionBlur"})
        EXPECT_TRUE(has(ScriptApi::kSecondTable, name)) << name;
    EXPECT_TRUE(has(ScriptApi::kThirdTable, "SetLightCoeff"));
    EXPECT_TRUE(has(ScriptApi::kThirdTable, "SetRadialBlur"));
}

TEST_F(EngineServicesScriptTest, SaveThenLoadKeepsTheBindings) {
    CNInput input;
    ASSERT_GE(input.LoadActions("Actions.cfg"), 0);
    root.Write("Actions.cfg", "");
    EXPECT_EQ(Run("SaveActions()"), "");
    EXPECT_EQ(root.Read("Actions.cfg"), kActions);
    EXPECT_EQ(Run("LoadActions('Actions.cfg')"), "");
    EXPECT_EQ(input.FormatActions(), kActions);
    EXPECT_EQ(input.GetKeyBinding(DIK_ESCAPE).secondText, "exit");
}

TEST_F(EngineServicesScriptTest, SetActionThenUpdateActionsRebindsTheKeyTable) {
    CNInput input;
    ASSERT_GE(input.LoadActions("Actions.cfg"), 0);
    EXPECT_EQ(Run("SetAction('Fire', 'F', true) UpdateActions()"), "");
    EXPECT_EQ(root.Read("Actions.cfg"), "exit;Exit;Esc;false\r\nfire;Fire;F;false\r\nslot;Slot;3;true\r\n");
    EXPECT_EQ(input.GetKeyBinding(DIK_F).secondText, "fire");
    EXPECT_FALSE(input.GetKeyBinding(DIK_SPACE).assigned);
}

TEST_F(EngineServicesScriptTest, GetActionNamesGivesCountKeysAndSecondTexts) {
    CNInput input;
    ASSERT_GE(input.LoadActions("Actions.cfg"), 0);
    EXPECT_EQ(Run("n, keys, seconds = GetActionNames()\n"
                  "k = table.concat(keys, ',') s = table.concat(seconds, ',')"),
              "");
    EXPECT_EQ(GlobalNumber("n"), 3);
    EXPECT_EQ(GlobalString("k"), "Esc,Space,3");
    EXPECT_EQ(GlobalString("s"), "Exit,Fire,Slot");
}

TEST_F(EngineServicesScriptTest, ActionSwitches) {
    CNInput input;
    g_deltaTime = 0.5f;
    EXPECT_EQ(Run("SetActions(false)"), "");
    EXPECT_FALSE(input.actionsEnabled);
    EXPECT_EQ(g_deltaTime, 0.0f);
    EXPECT_EQ(Run("SetActions(true) SetAssignKey()"), "");
    EXPECT_TRUE(input.actionsEnabled);
    EXPECT_TRUE(input.keyAssignMode);
}

TEST_F(EngineServicesScriptTest, SetTempSetsTimeScaleAndFrequencyFactor) {
    EXPECT_EQ(Run("SetTemp(0.25)"), "");
    EXPECT_FLOAT_EQ(g_timeScale, 0.25f);
    EXPECT_FLOAT_EQ(CNSound::GetGlobalFrequencyFactor(), 0.25f);
    EXPECT_EQ(Run("SetTemp(0)"), "");
    EXPECT_FLOAT_EQ(g_timeScale, 0.0f);
    // A factor that is no number, infinite or absurdly large leaves the scale as it was.
    EXPECT_EQ(Run("SetTemp(2)"), "");
    for (const char* bad : {"SetTemp(0/0)", "SetTemp(1/0)", "SetTemp(-1/0)", "SetTemp(1e39)", "SetTemp(-2e6)"}) {
        EXPECT_EQ(Run(bad), "") << bad;
        EXPECT_FLOAT_EQ(g_timeScale, 2.0f) << bad;
        EXPECT_FLOAT_EQ(CNSound::GetGlobalFrequencyFactor(), 2.0f) << bad;
    }
}

TEST_F(EngineServicesScriptTest, MusicFunctions) {
    Platform::Music::ScopedNullMusic music;
    root.Write("Data/Music/theme.ogg", "not really music");
    CPSmartPtr<CPMusic> task(new CPMusic());
    EXPECT_EQ(Run("PlayMusicNoLoop('theme.ogg') name = GetMusicName()"), "");
    EXPECT_EQ(GlobalString("name"), "theme.ogg");
    EXPECT_FALSE(task->IsLooping());
    EXPECT_EQ(music.system.Last().runs, 1);
    EXPECT_EQ(Run("StopPlayingMusic()"), "");
    EXPECT_EQ(music.system.Last().stops, 1);
    EXPECT_EQ(Run("PlayMusic('theme.ogg')"), "");
    EXPECT_TRUE(task->IsLooping());
    // Looping music starts on the task's next poll, not at once.
    EXPECT_EQ(music.system.Last().runs, 0);
}

TEST_F(EngineServicesScriptTest, VolumesAreStoredInTheirSettings) {
    EXPECT_EQ(Run("SetSoundVolume(0.25) SetMusicVolume(0.75)"), "");
    EXPECT_FLOAT_EQ(g_soundVolume, 0.25f);
    EXPECT_FLOAT_EQ(g_musicVolume, 0.75f);
    CNAudio audio;
    EXPECT_EQ(Run("SetSoundVolume(0.5)"), "");
    EXPECT_FLOAT_EQ(g_soundVolume, 0.5f);
    EXPECT_FLOAT_EQ(CNSound::GetGlobalVolume(), 0.5f);
}

TEST_F(EngineServicesScriptTest, RendererValuesGoToTheRenderer) {
    CPSmartPtr<CPRender> render(new CPRender());
    ASSERT_EQ(GetRender(), render.Get());
    EXPECT_EQ(Run("SetMotionBlur(0.3)"), "");
    EXPECT_TRUE(render->motionBlur);
    EXPECT_FLOAT_EQ(render->motionBlurAmount, 0.3f);
    EXPECT_EQ(Run("SetMotionBlur(0)"), "");
    EXPECT_FALSE(render->motionBlur);
    EXPECT_FLOAT_EQ(render->motionBlurAmount, 0.0f);
    EXPECT_EQ(Run("SetLightCoeff(3) SetRadialBlur(0.5)"), "");
    EXPECT_FLOAT_EQ(render->lightCoefficient, 3.0f);
    EXPECT_FLOAT_EQ(render->radialBlurAmount, 0.5f);
    // The values a started game hands over reach it the same way.
    EXPECT_EQ(Run("SetLightCoeff(3.0) SetMotionBlur(0.5) SetRadialBlur(0.25)"), "");
    EXPECT_FLOAT_EQ(render->lightCoefficient, 3.0f);
    EXPECT_TRUE(render->motionBlur);
    EXPECT_FLOAT_EQ(render->motionBlurAmount, 0.5f);
    EXPECT_FLOAT_EQ(render->radialBlurAmount, 0.25f);
}

TEST_F(EngineServicesScriptTest, RendererValuesWithoutARendererDoNothing) {
    ASSERT_EQ(GetRender(), nullptr);
    EXPECT_EQ(Run("SetMotionBlur(1) SetLightCoeff(1) SetRadialBlur(1) SetFade(0.5)"), "");
}

TEST_F(EngineServicesScriptTest, SetFadeSetsTheRenderersFadeAtOnce) {
    CPSmartPtr<CPRender> render(new CPRender());
    struct Case {
        const char* code;
        float value;
    };
    const Case cases[] = {
        {"SetFade(0.5)", 128.0f}, {"SetFade(1.5)", 256.0f}, {"SetFade(-1)", 0.0f},
        {"SetFade(1)", 256.0f},   {"SetFade(0)", 0.0f},     {"SetFade(0.25)", 64.0f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.code);
        EXPECT_EQ(Run(c.code), "");
        EXPECT_FLOAT_EQ(render->GetFadeValue(), c.value);
    }
    // Half faded: the quad's alpha is 255 - 128.
    EXPECT_EQ(Run("SetFade(0.5)"), "");
    SPScreenVertex quad[4];
    CPRender::MakeFadeQuad(render->GetFadeValue(), 4, 4, quad);
    EXPECT_EQ(quad[0].diffuse >> 24, 127u);
}

TEST_F(EngineServicesScriptTest, WithoutTheirSubsystemsTheFunctionsDoNothing) {
    EXPECT_EQ(Run("SaveActions() UpdateActions() LoadActions('Actions.cfg') SetAction('Fire','F')"), "");
    EXPECT_EQ(Run("n, a, b = GetActionNames() PlayMusic('x') PlayMusicNoLoop('x') StopPlayingMusic()"
                  " name = GetMusicName()"),
              "");
    EXPECT_EQ(GlobalNumber("n"), 0);
    EXPECT_EQ(GlobalString("name"), "");
    EXPECT_EQ(root.Read("Actions.cfg"), kActions);
}

// A task that runs a chunk in the script state.
class ChunkTask : public IPTask {
public:
    ChunkTask(lua_State* L, const char* code) : m_L(L), m_code(code) {}
    int GetSize() const override { return static_cast<int>(sizeof(ChunkTask)); }
    std::string GetClassName() const override { return "ChunkTask"; }
    int GetKind() const override { return 0; }
    void Update() override {
        ++updates;
        if (updates == 3) luaL_dostring(m_L, m_code);
    }
    int updates = 0;

private:
    lua_State* m_L;
    const char* m_code;
};

TEST_F(EngineServicesScriptTest, KillAllTasksEndsTheLoop) {
    Platform::SetMessageSource(nullptr);
    CPTaskKernel kernel;
    CPSmartPtr<ChunkTask> first(new ChunkTask(L, "KillAllTasks()"));
    CPSmartPtr<ChunkTask> second(new ChunkTask(L, ""));
    kernel.AddTask(CPSmartPtr<IPTask>(first));
    kernel.AddTask(CPSmartPtr<IPTask>(second));
    EXPECT_EQ(kernel.Execute(), 0);
    EXPECT_TRUE(kernel.ActiveTasks().empty());
    EXPECT_EQ(first->updates, 3);
    // The second task was marked in the same pass, so it did not run again.
    EXPECT_EQ(second->updates, 2);
}

} // namespace
