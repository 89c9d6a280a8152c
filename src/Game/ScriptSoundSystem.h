#pragma once
// The script functions of the named sounds, of opening addresses and files, of the global
// timer, and the ones that keep their place in the interface without doing anything.

#include <string>

#include "Script/ScriptFunctions.h"

namespace ScriptApi {

// "PlaySpecialSound", "PlaySpecialSound3D", "StopSpecialSound", "IsSpecialSoundPlaying",
// "UpdateSoundPosition", "StopSounds", "GoURLlink", "GoURL", "IsFileExists", "ClearTimer",
// "SaveLog" and "Breakpoint" (second table); "StopGlobalTimer", "StartGlobalTimer",
// "ClearGlobalTimer", "IsInTable", "SetScoreLine", "GetScoreLine" (third table).
void AddSoundAndSystemFunctions(Script::ScriptFunctionTables& tables);

// The text as the shell is given it: an address without a scheme gets "http://" in front (as
// "www." addresses are meant), which also keeps any text from reading as an option.
std::string AddressForShell(const std::string& text);

} // namespace ScriptApi
