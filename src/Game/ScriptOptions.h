#pragma once
// The script functions of the options menu, over the settings globals.

#include "Script/ScriptFunctions.h"

namespace ScriptApi {

// "GetVisuals", "SetVisuals", "GetSoundVolume", "GetMusicVolume", "GetMouse", "SetMouse",
// "GetBrightness", "GetCurrentResolution", "GetScreenResolution", "SetDifficulty",
// "GetDifficult", "IsWeather" (second table) and "GetDifficulty" (third table). The volume
// setters and "SetMotionBlur" are AddEngineServiceFunctions'.
void AddOptionFunctions(Script::ScriptFunctionTables& tables);

// The graphics settings one visual-quality level 0 to 10 sets; false (nothing changed) outside.
bool ApplyVisualQuality(int level);

} // namespace ScriptApi
