#include "Game/ScriptSaves.h"

#include "Game/ScriptApi.h"
#include "GameData/PGameData.h"
#include "Script/ScriptBinding.h"

namespace ScriptApi {

namespace {

using Script::ScriptBind;
using Script::ScriptCall;
using Script::Arg::String;

constexpr int kListedSlots = 6;

// Failures are logged by the store; the scripts get no result either way.
void SaveGame(ScriptCall&) {
    if (CPGameData* data = GetGameData()) data->SaveGame();
}

void LoadGame(ScriptCall&, const std::optional<std::string>& name) {
    CPGameData* data = GetGameData();
    if (data && name) data->ReadSave(*name);
}

void DeleteSave(ScriptCall&, const std::optional<std::string>& name) {
    CPGameData* data = GetGameData();
    if (data && name) data->DeleteSave(*name);
}

void GetSaves(ScriptCall& call) {
    CPGameData* data = GetGameData();
    call.PushNumber(kListedSlots);
    call.PushTable([data](ScriptCall::TableBuilder& table) {
        for (int slot = 0; slot < kListedSlots; ++slot) table.AddString(data ? data->GetSaveProfileName(slot) : "");
    });
}

// A new player takes a slot as any new career does, so its later saves stay in that one slot.
void NewPlayer(ScriptCall&, const std::optional<std::string>& stem) {
    CPGameData* data = GetGameData();
    if (!data) return;
    data->playerName = stem.value_or("");
    data->SaveGame();
}

void ClearGameData(ScriptCall&) {
    if (CPGameData* data = GetGameData()) data->ClearRaceData();
}

} // namespace

void AddSaveGameFunctions(Script::ScriptFunctionTables& tables) {
    static const Script::ScriptFunction kSecond[] = {
        {"SaveGame", ScriptBind<SaveGame>},
        {"LoadGame", ScriptBind<LoadGame, String>},
        {"DeleteSave", ScriptBind<DeleteSave, String>},
        {"GetSaves", ScriptBind<GetSaves>},
        {"NewPlayer", ScriptBind<NewPlayer, String>},
        {"ClearGameData", ScriptBind<ClearGameData>},
    };
    tables.Add(kSecondTable, kSecond);
}

} // namespace ScriptApi
