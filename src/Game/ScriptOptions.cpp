#include "Game/ScriptOptions.h"

#include <array>

#include "Framework/PSettings.h"
#include "Game/ScriptApi.h"
#include "Script/ScriptBinding.h"

namespace ScriptApi {

namespace {

using Script::ScriptBind;
using Script::ScriptCall;
using Script::Arg::Number;

struct VisualQuality {
    int distance, psystems, dust, rolling, shadows, lensflare, bloom, blur;
};

// Each level adds one effect, or more of one, to the level below.
constexpr std::array<VisualQuality, 11> kVisualQuality = {{
    {500, 0, 0, 0, 0, 0, 0, 0},
    {500, 10, 0, 0, 0, 0, 0, 0},
    {500, 10, 1, 0, 0, 0, 0, 0},
    {500, 10, 1, 1, 0, 0, 0, 0},
    {500, 25, 1, 1, 0, 0, 0, 0},
    {600, 25, 1, 1, 0, 0, 0, 0},
    {600, 25, 1, 1, 1, 0, 0, 0},
    {600, 25, 1, 1, 1, 1, 0, 0},
    {768, 25, 1, 1, 1, 1, 0, 0},
    {768, 25, 1, 1, 1, 1, 1, 0},
    {768, 25, 1, 1, 1, 1, 1, 1},
}};

void GetVisuals(ScriptCall& call) { call.PushNumber(g_visuals); }

void SetVisuals(ScriptCall&, double level) {
    g_visuals = Script::TruncateToInt(level);
    ApplyVisualQuality(g_visuals);
}

void GetSoundVolume(ScriptCall& call) { call.PushNumber(g_soundVolume); }
void GetMusicVolume(ScriptCall& call) { call.PushNumber(g_musicVolume); }
void GetMouse(ScriptCall& call) { call.PushNumber(g_mouse); }
void SetMouse(ScriptCall&, double value) { g_mouse = Script::NarrowToFloat(value); }
// The brightness slider keeps its value in the "plane" setting.
void GetBrightness(ScriptCall& call) { call.PushNumber(g_plane); }
void GetCurrentResolution(ScriptCall& call) { call.PushNumber(g_screenWidth); }

void GetScreenResolution(ScriptCall& call) {
    call.PushNumber(g_screenWidth);
    call.PushNumber(g_screenHeight);
}

// The difficulty lives in the "cam_speed" setting, where config files of every version keep it.
void SetDifficulty(ScriptCall&, double level) { g_cam_speed = Script::TruncateToInt(level); }
void GetDifficult(ScriptCall& call) { call.PushNumber(g_cam_speed); }
void GetDifficulty(ScriptCall& call) { call.PushBoolean(g_cam_speed != 0); }
void IsWeather(ScriptCall& call) { call.PushBoolean(g_weather != 0); }

} // namespace

bool ApplyVisualQuality(int level) {
    if (level < 0 || level >= static_cast<int>(kVisualQuality.size())) return false;
    const VisualQuality& q = kVisualQuality[static_cast<std::size_t>(level)];
    g_distance = q.distance;
    g_psystems = q.psystems;
    g_dust = q.dust;
    g_rolling = q.rolling;
    g_shadows = q.shadows;
    g_lensflare = q.lensflare;
    g_bloom = q.bloom;
    g_blur = q.blur;
    return true;
}

void AddOptionFunctions(Script::ScriptFunctionTables& tables) {
    static const Script::ScriptFunction kSecond[] = {
        {"GetVisuals", ScriptBind<GetVisuals>},
        {"SetVisuals", ScriptBind<SetVisuals, Number>},
        {"GetSoundVolume", ScriptBind<GetSoundVolume>},
        {"GetMusicVolume", ScriptBind<GetMusicVolume>},
        {"GetMouse", ScriptBind<GetMouse>},
        {"SetMouse", ScriptBind<SetMouse, Number>},
        {"GetBrightness", ScriptBind<GetBrightness>},
        {"GetCurrentResolution", ScriptBind<GetCurrentResolution>},
        {"GetScreenResolution", ScriptBind<GetScreenResolution>},
        {"SetDifficulty", ScriptBind<SetDifficulty, Number>},
        {"GetDifficult", ScriptBind<GetDifficult>},
        {"IsWeather", ScriptBind<IsWeather>},
    };
    static const Script::ScriptFunction kThird[] = {
        {"GetDifficulty", ScriptBind<GetDifficulty>},
    };
    tables.Add(kSecondTable, kSecond);
    tables.Add(kThirdTable, kThird);
}

} // namespace ScriptApi
