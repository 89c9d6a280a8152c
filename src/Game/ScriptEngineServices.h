#pragma once
// The script functions over the engine's own services that the game needs from the start: the
// key bindings ("SetActions", "SetAssignKey", "SetAction", "LoadActions", "SaveActions",
// "UpdateActions", "GetActionNames"), the music ("PlayMusic", "PlayMusicNoLoop",
// "StopPlayingMusic", "GetMusicName"), the time scale ("SetTemp"), the volumes
// ("SetSoundVolume", "SetMusicVolume"), the renderer's script values ("SetMotionBlur",
// "SetLightCoeff", "SetRadialBlur") and the screen fade ("SetFade").

#include "Script/ScriptFunctions.h"

namespace ScriptApi {

// "SetFade" and "PlayMusic" in the first table; "SetLightCoeff" and "SetRadialBlur" in the third; the others
// in the second.
void AddEngineServiceFunctions(Script::ScriptFunctionTables& tables);

} // namespace ScriptApi
