#include "Game/GameStartup.h"

#include "Framework/StartupRegistry.h"
#include "Game/PFontManager.h"
#include "Game/PInterface.h"
#include "Game/PLensFlareInterface.h"
#include "Game/RaceWorldView.h"

void InstallGameLayer(SPStartupRegistry& registry) {
    // The manager lives until the process ends, like the other engine singletons.
    registry.createFontManager = [] {
        if (!GetFontManager()) new CPFontManager();
    };
    registry.loadFonts = [] {
        if (CPFontManager* fonts = GetFontManager()) fonts->Load();
    };
    InstallInterfaceBroadcasts();
    InstallLensFlareOverlayMaker();
    ScriptApi::SetRaceWorldView(&ScriptApi::LevelWorldView());
}
