#include "Game/ScriptSoundSystem.h"

#include <cctype>
#include <cstdio>
#include <filesystem>
#include <optional>

#include "Framework/PGlobalTimer.h"
#include "Framework/PTaskKernel.h"
#include "Game/ScriptApi.h"
#include "Platform/System/FileTrace.h"
#include "Platform/System/Paths.h"
#include "Platform/System/Shell.h"
#include "Script/ScriptBinding.h"
#include "Sound/NAudio.h"
#include "Sound/NSound.h"
#include "Sound/NSoundCache.h"

namespace ScriptApi {

namespace {

using Script::ScriptBind;
using Script::ScriptBindCall;
using Script::ScriptCall;
using Script::Arg::RequiredString;
using Script::Arg::String;

CPSmartPtr<CNSound> FindSound(const std::string& name) {
    CNAudio* audio = CNAudio::GetInstance();
    return audio ? audio->GetSound(name) : CPSmartPtr<CNSound>();
}

void PlaySpecialSound(ScriptCall&, const std::string& name) {
    if (CNAudio* audio = CNAudio::GetInstance()) audio->PlaySound(name, false);
}

void PlaySpecialSound3D(ScriptCall& call) {
    const std::string name = call.RequiredString(1);
    const D3DVECTOR position{call.Float(2), call.Float(3), call.Float(4)};
    // Only real booleans count as the flags; a 1 does not loop.
    const bool loop = call.TypeOf(5) == LUA_TBOOLEAN && call.Boolean(5);
    const bool keep = call.TypeOf(6) == LUA_TBOOLEAN && call.Boolean(6);
    CPSmartPtr<CNSound> sound = FindSound(name);
    if (!sound) {
        call.PushBoolean(true);
        return;
    }
    CNAudio::GetInstance()->SetSoundPosition(sound, position, D3DVECTOR{0.0f, 0.0f, 0.0f});
    if (sound->IsPlaying()) {
        if (keep) {
            call.PushBoolean(false);
            return;
        }
        sound->Stop();
        sound->Rewind();
    }
    sound->Play(0, loop ? Platform::Audio::DSBPLAY_LOOPING : 0);
    call.PushBoolean(true);
}

void StopSpecialSound(ScriptCall&, const std::string& name) {
    if (CPSmartPtr<CNSound> sound = FindSound(name)) sound->Stop();
}

void IsSpecialSoundPlaying(ScriptCall& call, const std::string& name) {
    CPSmartPtr<CNSound> sound = FindSound(name);
    call.PushBoolean(sound && sound->IsPlaying());
}

void UpdateSoundPosition(ScriptCall& call) {
    const std::optional<std::string> name = call.String(1);
    if (!name) return;
    CPSmartPtr<CNSound> sound = FindSound(*name);
    if (!sound) return;
    const D3DVECTOR position{call.Float(2), call.Float(3), call.Float(4)};
    D3DVECTOR velocity{0.0f, 0.0f, 0.0f};
    if (call.IsNumber(5) && call.IsNumber(6) && call.IsNumber(7))
        velocity = {call.Float(5), call.Float(6), call.Float(7)};
    CNAudio::GetInstance()->SetSoundPosition(sound, position, velocity);
}

void StopSounds(ScriptCall&) {
    if (CNSoundCache* cache = CNSoundCache::GetInstance()) cache->StopAll();
    // A copy: stopping must not be able to change the list being walked.
    const std::vector<CNSound*> live = CNSound::LiveSounds();
    for (CNSound* sound : live) sound->Stop();
}

void GoURLlink(ScriptCall&, const std::string& address) { Platform::ShellOpen(AddressForShell(address)); }

// The real path of a readable regular loose file of the game tree (any letter case).
std::optional<std::string> ReadableFile(const std::string& name) {
    const Platform::GamePath path(name);
    std::optional<std::string> real = Platform::GamePaths().ResolveFile(path);
    std::FILE* file = real ? std::fopen(real->c_str(), "rb") : nullptr;
    if (!file) {
        Platform::TraceMissingFile(path.Lowered());
        return std::nullopt;
    }
    std::fclose(file);
    Platform::TraceLooseFile(path.Lowered(), *real);
    return real;
}

void GoURL(ScriptCall&, const std::string& name) {
    const std::optional<std::string> real = ReadableFile(name);
    if (!real) return;
    // An absolute path cannot be taken for an option or an address by the opener.
    std::error_code error;
    const std::filesystem::path absolute = std::filesystem::absolute(*real, error);
    Platform::ShellOpen(error ? *real : absolute.string());
}

void IsFileExists(ScriptCall& call, const std::string& name) { call.PushBoolean(ReadableFile(name).has_value()); }

void ClearTimer(ScriptCall&) { g_deltaTime = 0.0f; }

void StopGlobalTimer(ScriptCall&) {
    if (CPGlobalTimer* timer = CPGlobalTimer::GetInstance()) timer->Stop();
    g_deltaTime = 0.0f;
    g_deltaTime2 = 0.0f;
}

void StartGlobalTimer(ScriptCall&) {
    CPGlobalTimer* timer = CPGlobalTimer::GetInstance();
    CPTaskKernel* kernel = CPTaskKernel::GetInstance();
    if (!timer || !kernel) return;
    if (kernel->IsActive(timer)) {
        // Stopped this frame and not yet removed: starting it again keeps it, measuring from now,
        // rather than adding it twice (which would count every frame twice).
        if (timer->IsKillRequested()) timer->Start();
        return;
    }
    kernel->AddTask(CPSmartPtr<IPTask>(timer));
}

void IsInTable(ScriptCall& call) { call.PushBoolean(false); }

void GetScoreLine(ScriptCall& call) {
    call.PushString("");
    call.PushNumber(0);
}

} // namespace

std::string AddressForShell(const std::string& text) {
    // A scheme: a letter, then letters, digits, '+', '-' or '.', then ':'.
    std::size_t i = 0;
    if (!text.empty() && std::isalpha(static_cast<unsigned char>(text[0]))) {
        i = 1;
        while (i < text.size() && (std::isalnum(static_cast<unsigned char>(text[i])) || text[i] == '+' ||
                                   text[i] == '-' || text[i] == '.'))
            ++i;
        if (i < text.size() && text[i] == ':') return text;
    }
    return "http://" + text;
}

void AddSoundAndSystemFunctions(Script::ScriptFunctionTables& tables) {
    static const Script::ScriptFunction kSecond[] = {
        {"PlaySpecialSound", ScriptBind<PlaySpecialSound, RequiredString>},
        {"PlaySpecialSound3D", ScriptBindCall<PlaySpecialSound3D>},
        {"StopSpecialSound", ScriptBind<StopSpecialSound, RequiredString>},
        {"IsSpecialSoundPlaying", ScriptBind<IsSpecialSoundPlaying, RequiredString>},
        {"UpdateSoundPosition", ScriptBindCall<UpdateSoundPosition>},
        {"StopSounds", ScriptBind<StopSounds>},
        {"GoURLlink", ScriptBind<GoURLlink, RequiredString>},
        {"GoURL", ScriptBind<GoURL, RequiredString>},
        {"IsFileExists", ScriptBind<IsFileExists, RequiredString>},
        {"ClearTimer", ScriptBind<ClearTimer>},
        // Kept for the scripts that call them; they read their text and do nothing.
        {"SaveLog", EmptyScriptFunction},
        {"Breakpoint", EmptyScriptFunction},
    };
    static const Script::ScriptFunction kThird[] = {
        {"StopGlobalTimer", ScriptBind<StopGlobalTimer>},
        {"StartGlobalTimer", ScriptBind<StartGlobalTimer>},
        {"ClearGlobalTimer", ScriptBind<ClearTimer>},
        {"IsInTable", ScriptBind<IsInTable>},
        {"SetScoreLine", EmptyScriptFunction},
        {"GetScoreLine", ScriptBind<GetScoreLine>},
    };
    tables.Add(kSecondTable, kSecond);
    tables.Add(kThirdTable, kThird);
}

} // namespace ScriptApi
