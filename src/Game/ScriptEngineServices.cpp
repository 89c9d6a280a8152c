#include "Game/ScriptEngineServices.h"

#include <cmath>

#include "Framework/PGlobalTimer.h"
#include "Framework/PSettings.h"
#include "Framework/StartupRegistry.h"
#include "Game/ScriptApi.h"
#include "Game/ScriptRaceControl.h"
#include "Input/NInput.h"
#include "Render/PRender.h"
#include "Script/ScriptBinding.h"
#include "Sound/NAudio.h"
#include "Sound/NSound.h"
#include "Sound/PMusic.h"

#include <optional>
#include <string>

namespace ScriptApi {
namespace {

using Script::ScriptBind;
using Script::ScriptCall;
namespace Arg = Script::Arg;
using Text = std::optional<std::string>;

// --- key bindings --------------------------------------------------------------------------

void SetActions(ScriptCall&, bool enabled) {
    if (CNInput* input = CNInput::GetInstance()) input->actionsEnabled = enabled;
    g_deltaTime = 0.0f;
}

void SetAssignKey(ScriptCall&) {
    if (CNInput* input = CNInput::GetInstance()) input->keyAssignMode = true;
}

// The third argument is read and has no effect.
void SetAction(ScriptCall&, Text second, Text keyName, bool) {
    CNInput* input = CNInput::GetInstance();
    if (input && second && keyName) input->SetActionKey(*second, *keyName);
}

void LoadActions(ScriptCall&, Text path) {
    CNInput* input = CNInput::GetInstance();
    if (input && path) input->LoadActions(*path);
}

// The same writer as the shut-down's: the input task's own.
void SaveActions(ScriptCall&) {
    if (CNInput* input = CNInput::GetInstance()) input->SaveActions("Actions.cfg");
}

void UpdateActions(ScriptCall&) {
    CNInput* input = CNInput::GetInstance();
    if (!input) return;
    input->SaveActions("Actions.cfg");
    input->LoadActions("Actions.cfg");
}

void GetActionNames(ScriptCall& call) {
    CNInput* input = CNInput::GetInstance();
    if (!input) {
        call.PushNumber(0);
        call.PushTable([](ScriptCall::TableBuilder&) {});
        call.PushTable([](ScriptCall::TableBuilder&) {});
        return;
    }
    const std::vector<std::string>& order = input->GetActionOrder();
    call.PushNumber(static_cast<double>(input->GetActionMap().size()));
    call.PushTable([&](ScriptCall::TableBuilder& table) {
        for (const std::string& action : order) {
            const CNActionBinding* binding = input->FindAction(action);
            // The key text as the binding holds it, as the options menu shows it.
            table.AddString(binding ? binding->keyText : std::string());
        }
    });
    call.PushTable([&](ScriptCall::TableBuilder& table) {
        for (const std::string& action : order) {
            const CNActionBinding* binding = input->FindAction(action);
            table.AddString(binding ? binding->secondText : std::string());
        }
    });
}

// --- music ---------------------------------------------------------------------------------

void PlayMusic(ScriptCall&, Text file) {
    CPMusic* music = CPMusic::GetInstance();
    if (music && file) music->Play(*file, true);
}

void PlayMusicNoLoop(ScriptCall&, Text file) {
    CPMusic* music = CPMusic::GetInstance();
    if (!music || !file) return;
    music->Play(*file, false);
    music->Start();
}

void StopPlayingMusic(ScriptCall&) {
    if (CPMusic* music = CPMusic::GetInstance()) music->Stop();
}

void GetMusicName(ScriptCall& call) {
    CPMusic* music = CPMusic::GetInstance();
    call.PushString(music ? music->GetFileName() : std::string());
}

// --- time scale and volumes ----------------------------------------------------------------

void SetTemp(ScriptCall&, double factor) {
    // Every task's frame time is scaled by it and the total time sums the results: a NaN, an
    // infinity or a factor so large that a long frame overflows to one would spoil both for the
    // rest of the run, so such a factor changes nothing. No game runs time a million times fast.
    constexpr double kLargestFactor = 1e6;
    if (!(std::fabs(factor) <= kLargestFactor)) return;
    const float value = Script::NarrowToFloat(factor);
    g_timeScale = value;
    CNSound::SetGlobalFrequencyFactor(value);
    ApplyTimeScaleToLevel(factor);
}

void SetSoundVolume(ScriptCall&, double volume) {
    const float value = Script::NarrowToFloat(volume);
    g_soundVolume = value;
    if (CNAudio* audio = CNAudio::GetInstance()) audio->SetSoundVolume(value);
}

void SetMusicVolume(ScriptCall&, double volume) {
    const float value = Script::NarrowToFloat(volume);
    g_musicVolume = value;
    if (CNAudio* audio = CNAudio::GetInstance()) audio->SetMusicVolume(value);
}

// --- the renderer's script values ----------------------------------------------------------
// Each reaches the renderer directly and does nothing while there is none.

void SetMotionBlur(ScriptCall&, double amount) {
    const float value = Script::NarrowToFloat(amount);
    if (CPRender* render = GetRender()) {
        render->motionBlur = value != 0.0f;
        render->motionBlurAmount = value;
    }
}

void SetLightCoeff(ScriptCall&, double coefficient) {
    if (CPRender* render = GetRender()) render->lightCoefficient = Script::NarrowToFloat(coefficient);
}

void SetRadialBlur(ScriptCall&, double amount) {
    if (CPRender* render = GetRender()) render->radialBlurAmount = Script::NarrowToFloat(amount);
}

// The screen fade, immediate: 1 shows the frame, 0 covers it in black; the renderer clamps.
void SetFade(ScriptCall&, double level) {
    if (CPRender* render = GetRender()) render->SetFade(Script::NarrowToFloat(level));
}

} // namespace

void AddEngineServiceFunctions(Script::ScriptFunctionTables& tables) {
    static const Script::ScriptFunction kFirst[] = {
        {"SetFade", ScriptBind<SetFade, Arg::Number>},
        {"PlayMusic", ScriptBind<PlayMusic, Arg::String>},
    };
    static const Script::ScriptFunction kSecond[] = {
        {"SetTemp", ScriptBind<SetTemp, Arg::Number>},
        {"SetMotionBlur", ScriptBind<SetMotionBlur, Arg::Number>},
        {"SetActions", ScriptBind<SetActions, Arg::Boolean>},
        {"PlayMusicNoLoop", ScriptBind<PlayMusicNoLoop, Arg::String>},
        {"SetSoundVolume", ScriptBind<SetSoundVolume, Arg::Number>},
        {"SetMusicVolume", ScriptBind<SetMusicVolume, Arg::Number>},
        {"GetMusicName", ScriptBind<GetMusicName>},
        {"GetActionNames", ScriptBind<GetActionNames>},
        {"SetAssignKey", ScriptBind<SetAssignKey>},
        {"SetAction", ScriptBind<SetAction, Arg::String, Arg::String, Arg::Boolean>},
        {"SaveActions", ScriptBind<SaveActions>},
        {"LoadActions", ScriptBind<LoadActions, Arg::String>},
        {"StopPlayingMusic", ScriptBind<StopPlayingMusic>},
        {"UpdateActions", ScriptBind<UpdateActions>},
    };
    static const Script::ScriptFunction kThird[] = {
        {"SetRadialBlur", ScriptBind<SetRadialBlur, Arg::Number>},
        {"SetLightCoeff", ScriptBind<SetLightCoeff, Arg::Number>},
    };
    tables.Add(kFirstTable, kFirst);
    tables.Add(kSecondTable, kSecond);
    tables.Add(kThirdTable, kThird);
}

} // namespace ScriptApi
