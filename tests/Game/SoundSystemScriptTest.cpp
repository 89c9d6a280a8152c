#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>

#include "Framework/PGlobalTimer.h"
#include "Framework/PTaskKernel.h"
#include "Framework/PackFile.h"
#include "Game/LuaHarness.h"
#include "Game/ScriptSoundSystem.h"
#include "Platform/System/Clock.h"
#include "Platform/System/Shell.h"
#include "Sound/NAudio.h"
#include "Sound/SoundFixture.h"
#include "support/PackWriter.h"

namespace {

using Platform::Audio::NullVoiceRecord;

// Two named sounds on the null audio device: "boom" (3D) and "beep".
class SoundScripts : public kxtest::SoundTestBase {
protected:
    void SetUp() override {
        SoundTestBase::SetUp();
        WriteWave("a.wav");
        root.Write("Data/Sounds/Sounds.dat", "boom;a.wav;3d\r\nbeep;a.wav\r\n");
        ASSERT_EQ(manager->Init(nullptr), 1);
        for (CNSound* s : CNSound::LiveSounds()) created.push_back(s);
    }
    void TearDown() override {
        manager.reset();
        SoundTestBase::TearDown();
    }
    NullVoiceRecord& Voice(const char* name) {
        CNSound* sound = manager->GetSound(name).Get();
        for (std::size_t i = 0; i < created.size(); ++i)
            if (created[i] == sound) return audio.system.Voice(i);
        ADD_FAILURE() << name;
        return audio.system.Voice(0);
    }

    std::unique_ptr<CNAudio> manager = std::make_unique<CNAudio>();
    std::vector<CNSound*> created;
    kxtest::LuaHarness lua{ScriptApi::AddSoundAndSystemFunctions};
};

} // namespace

TEST_F(SoundScripts, PlaySoundRestartsUnlessLooping) {
    NullVoiceRecord& beep = Voice("beep");
    ASSERT_TRUE(manager->PlaySound("beep", false));
    EXPECT_TRUE(beep.playing);
    EXPECT_FALSE(beep.looping);
    EXPECT_EQ(beep.plays, 1);
    beep.position = 120;
    ASSERT_TRUE(manager->PlaySound("beep", false));
    EXPECT_EQ(beep.position, 0u);
    EXPECT_EQ(beep.plays, 2);
    beep.position = 120;
    ASSERT_TRUE(manager->PlaySound("beep", true));
    EXPECT_EQ(beep.position, 120u);
    EXPECT_TRUE(beep.looping);

    const std::size_t tableSize = manager->SoundTable().size();
    EXPECT_FALSE(manager->PlaySound("unknown", false));
    EXPECT_FALSE(manager->PlaySound("Beep", true));
    EXPECT_EQ(manager->SoundTable().size(), tableSize);
}

TEST_F(SoundScripts, PlaySpecialSoundPlaysOnceFromTheStart) {
    NullVoiceRecord& beep = Voice("beep");
    EXPECT_EQ(lua.Eval("PlaySpecialSound('beep')"), "");
    beep.position = 50;
    EXPECT_EQ(lua.Eval("PlaySpecialSound('beep')"), "");
    EXPECT_EQ(beep.position, 0u);
    EXPECT_FALSE(beep.looping);
    EXPECT_EQ(lua.Eval("IsSpecialSoundPlaying('beep')"), "true");
    EXPECT_EQ(lua.Eval("StopSpecialSound('beep')"), "");
    EXPECT_EQ(lua.Eval("IsSpecialSoundPlaying('beep')"), "false");
    EXPECT_EQ(lua.Eval("PlaySpecialSound('nothing')"), "");
    EXPECT_EQ(lua.Eval("StopSpecialSound('nothing')"), "");
    EXPECT_EQ(lua.Eval("IsSpecialSoundPlaying('nothing')"), "false");
    EXPECT_EQ(lua.Eval("PlaySpecialSound()").rfind("error:", 0), 0u);
}

TEST_F(SoundScripts, PlaySpecialSound3DTable) {
    NullVoiceRecord& boom = Voice("boom");
    struct Case {
        const char* what;
        bool playingBefore;
        const char* call;
        const char* result;
        bool restarted;
        bool looping;
    };
    const Case cases[] = {
        {"idle, once", false, "PlaySpecialSound3D('boom', 1, 2, 3)", "true", true, false},
        {"idle, looping", false, "PlaySpecialSound3D('boom', 1, 2, 3, true)", "true", true, true},
        {"1 does not loop", false, "PlaySpecialSound3D('boom', 1, 2, 3, 1)", "true", true, false},
        {"playing, keep", true, "PlaySpecialSound3D('boom', 1, 2, 3, false, true)", "false", false, false},
        {"playing, no keep", true, "PlaySpecialSound3D('boom', 1, 2, 3, false, false)", "true", true, false},
        {"playing, keep not a boolean", true, "PlaySpecialSound3D('boom', 1, 2, 3, true, 1)", "true", true, true},
    };
    for (const Case& c : cases) {
        manager->PlaySound("boom", false);
        if (!c.playingBefore) boom.playing = false;
        boom.looping = false;
        boom.position = 77;
        const int plays = boom.plays;
        EXPECT_EQ(lua.Eval(c.call), c.result) << c.what;
        EXPECT_EQ(boom.plays, plays + (c.restarted ? 1 : 0)) << c.what;
        if (c.restarted) EXPECT_EQ(boom.position, c.playingBefore ? 0u : 77u) << c.what;
        if (!c.restarted) EXPECT_EQ(boom.position, 77u) << c.what;
        EXPECT_EQ(boom.looping, c.looping) << c.what;
        EXPECT_EQ(boom.parameters.vPosition.x, 1.0f) << c.what;
        EXPECT_EQ(boom.parameters.vPosition.z, 3.0f) << c.what;
    }
    EXPECT_EQ(lua.Eval("PlaySpecialSound3D('unknown', 1, 2, 3)"), "true");
}

TEST_F(SoundScripts, UpdateSoundPositionVelocityOnlyFromThreeNumbers) {
    NullVoiceRecord& boom = Voice("boom");
    const struct {
        const char* call;
        float x, vx, vz;
    } cases[] = {
        {"UpdateSoundPosition('boom', 4, 5, 6)", 4, 0, 0},
        {"UpdateSoundPosition('boom', 5, 5, 6, 7, 8, 9)", 5, 7, 9},
        {"UpdateSoundPosition('boom', 6, 5, 6, 7, 8, 'x')", 6, 0, 0},
        {"UpdateSoundPosition('boom', 7, 5, 6, 7, 8, '9')", 7, 7, 9},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(lua.Eval(c.call), "") << c.call;
        EXPECT_EQ(boom.parameters.vPosition.x, c.x) << c.call;
        EXPECT_EQ(boom.parameters.vVelocity.x, c.vx) << c.call;
        EXPECT_EQ(boom.parameters.vVelocity.z, c.vz) << c.call;
    }
    audio.system.ClearCalls();
    EXPECT_EQ(lua.Eval("UpdateSoundPosition('unknown', 1, 2, 3)"), "");
    EXPECT_EQ(lua.Eval("UpdateSoundPosition()"), "");
    EXPECT_TRUE(audio.system.Calls().empty());
}

TEST_F(SoundScripts, StopSoundsStopsEverySound) {
    manager->PlaySound("boom", true);
    manager->PlaySound("beep", false);
    EXPECT_EQ(lua.Eval("StopSounds()"), "");
    EXPECT_FALSE(Voice("boom").playing);
    EXPECT_FALSE(Voice("beep").playing);
}

TEST_F(SoundScripts, EmptyPlaceKeepers) {
    const struct {
        const char* call;
        const char* expected;
    } cases[] = {
        {"SaveLog('x')", ""},
        {"Breakpoint()", ""},
        {"IsInTable(3)", "false"},
        {"IsInTable()", "false"},
        {"SetScoreLine('a', 1, 2)", ""},
        {"GetScoreLine(5)", "\"\" 0"},
        {"GetScoreLine()", "\"\" 0"},
    };
    for (const auto& c : cases) EXPECT_EQ(lua.Eval(c.call), c.expected) << c.call;
}

namespace {

class SystemScripts : public ::testing::Test {
protected:
    void SetUp() override {
        const char* old = std::getenv("KORVAXA_NO_SHELL");
        hadNoShell = old != nullptr;
        setenv("KORVAXA_NO_SHELL", "1", 1);
    }
    void TearDown() override {
        if (!hadNoShell) unsetenv("KORVAXA_NO_SHELL");
        UnmountPacks();
    }
    bool hadNoShell = false;
    kxtest::TempGameRoot root;
    kxtest::LuaHarness lua{ScriptApi::AddSoundAndSystemFunctions};
};

} // namespace

TEST_F(SystemScripts, AddressesGoToTheShellAsOneArgument) {
    const struct {
        const char* text;
        const char* opened;
    } cases[] = {
        {"https://example.org/a b", "https://example.org/a b"},
        {"www.example.org", "http://www.example.org"},
        {"mailto:someone@example.org", "mailto:someone@example.org"},
        {"--help", "http://--help"},
        {"", "http://"},
        {"1http:x", "http://1http:x"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(lua.Eval(std::string("GoURLlink('") + c.text + "')"), "") << c.text;
        EXPECT_EQ(Platform::LastShellOpenTarget(), c.opened) << c.text;
    }
    EXPECT_EQ(lua.Eval("GoURLlink()").rfind("error:", 0), 0u);
}

TEST_F(SystemScripts, FilesOnlyLooseReadableAndRegular) {
    root.Write("Docs/Manual.HTML", "<html>");
    root.MakeDir("Docs/Folder");
    kxtest::PackWriter pack;
    pack.AddFile("packed.txt", "in a pack");
    root.Write("Data/game1.dat", pack.Build());
    ASSERT_EQ(MountPacks(), S_OK);

    const struct {
        const char* name;
        bool exists;
    } cases[] = {
        {"Docs/Manual.HTML", true},  {"docs\\\\manual.html", true}, {"Docs/Folder", false},
        {"Docs/missing.txt", false}, {"Data\\\\packed.txt", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(lua.Eval(std::string("IsFileExists('") + c.name + "')"), c.exists ? "true" : "false") << c.name;
        Platform::ShellOpen("before");
        EXPECT_EQ(lua.Eval(std::string("GoURL('") + c.name + "')"), "") << c.name;
        if (c.exists) {
            EXPECT_EQ(Platform::LastShellOpenTarget(), root.Path() + "/Docs/Manual.HTML") << c.name;
        } else {
            EXPECT_EQ(Platform::LastShellOpenTarget(), "before") << c.name;
        }
    }
}

TEST_F(SystemScripts, StoppedTimerTimeIsNotCounted) {
    Platform::FakeClock clock;
    Platform::SetClock(&clock);
    {
        CPTaskKernel kernel;
        CPSmartPtr<CPGlobalTimer> timer(new CPGlobalTimer);
        timer->SetPriority(10);
        ASSERT_TRUE(kernel.AddTask(CPSmartPtr<IPTask>(timer)));
        const double start = g_totalTime;
        // Steps below the frame-time cap.
        clock.AdvanceSeconds(0.04);
        kernel.RunPass();
        EXPECT_NEAR(g_totalTime - start, 0.04, 1e-6);

        EXPECT_EQ(lua.Eval("StopGlobalTimer()"), "");
        EXPECT_EQ(g_deltaTime, 0.0f);
        kernel.RunPass();
        clock.AdvanceSeconds(5.0);
        kernel.RunPass();
        EXPECT_EQ(g_deltaTime, 0.0f);
        EXPECT_NEAR(g_totalTime - start, 0.04, 1e-6);

        EXPECT_EQ(lua.Eval("StartGlobalTimer()"), "");
        // Starting a running timer again adds nothing.
        EXPECT_EQ(lua.Eval("StartGlobalTimer()"), "");
        clock.AdvanceSeconds(0.03);
        kernel.RunPass();
        EXPECT_NEAR(g_totalTime - start, 0.07, 1e-6);

        // Stopped and started again within one frame: still one timer.
        EXPECT_EQ(lua.Eval("StopGlobalTimer()"), "");
        EXPECT_EQ(lua.Eval("StartGlobalTimer()"), "");
        clock.AdvanceSeconds(0.02);
        kernel.RunPass();
        EXPECT_NEAR(g_totalTime - start, 0.09, 1e-6);

        g_deltaTime = 0.5f;
        EXPECT_EQ(lua.Eval("ClearGlobalTimer()"), "");
        EXPECT_EQ(g_deltaTime, 0.0f);
        g_deltaTime = 0.5f;
        EXPECT_EQ(lua.Eval("ClearTimer()"), "");
        EXPECT_EQ(g_deltaTime, 0.0f);
        kernel.KillAllTasks();
        kernel.RunPass();
    }
    Platform::SetClock(nullptr);
}
