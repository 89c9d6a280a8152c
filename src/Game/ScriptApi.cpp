#include "Game/ScriptApi.h"
#include "Game/ScriptAchievements.h"
#include "Game/ScriptAnimation.h"
#include "Game/ScriptCareer.h"
#include "Game/ScriptCombat.h"
#include "Game/ScriptEnemyQueries.h"
#include "Game/ScriptEngineServices.h"
#include "Game/ScriptInterface.h"
#include "Game/ScriptOptions.h"
#include "Game/ScriptRaceControl.h"
#include "Game/ScriptRaceHud.h"
#include "Game/ScriptRecords.h"
#include "Game/ScriptRoute.h"
#include "Game/ScriptSaves.h"
#include "Game/ScriptSceneCamera.h"
#include "Game/ScriptSceneObjects.h"
#include "Game/ScriptShop.h"
#include "Game/ScriptSoundSystem.h"

namespace ScriptApi {

void InstallScriptApi(Script::ScriptFunctionTables& tables) {
    tables.Clear();
    AddObjectAndCommandFunctions(tables);
    AddSceneObjectFunctions(tables);
    AddRecordFunctions(tables);
    AddSaveGameFunctions(tables);
    AddAchievementFunctions(tables);
    AddCareerFunctions(tables);
    AddMissionInfoFunctions(tables);
    AddShopFunctions(tables);
    AddOptionFunctions(tables);
    AddSoundAndSystemFunctions(tables);
    AddEngineServiceFunctions(tables);
    AddAnimationFunctions(tables);
    AddInterfaceFunctions(tables);
    AddRaceControlFunctions(tables);
    AddRaceHudFunctions(tables);
    AddRouteFunctions(tables);
    AddSceneCameraFunctions(tables);
    AddCombatFunctions(tables);
    AddEnemyQueryFunctions(tables);
    AddEmptyFunctions(tables);
}

int EmptyScriptFunction(lua_State*) { return 0; }

void AddEmptyFunctions(Script::ScriptFunctionTables& tables) {
    static const Script::ScriptFunction kSecond[] = {
        {"SetDefaultCamera", EmptyScriptFunction},
        {"SetBrightness", EmptyScriptFunction},
        {"DumpAIInfo", EmptyScriptFunction},
        {"SetLensFlare", EmptyScriptFunction},
    };
    static const Script::ScriptFunction kThird[] = {
        {"PlayVideo", EmptyScriptFunction},  {"PlayVideoNoSound", EmptyScriptFunction},
        {"PlayVideo1", EmptyScriptFunction}, {"StopVideo", EmptyScriptFunction},
        {"StopVideo1", EmptyScriptFunction},
    };
    tables.Add(kSecondTable, kSecond);
    tables.Add(kThirdTable, kThird);
}

} // namespace ScriptApi
