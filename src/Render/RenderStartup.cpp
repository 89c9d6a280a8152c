#include "Render/RenderStartup.h"

#include "Framework/StartupRegistry.h"
#include "Render/PRender.h"

void InstallRenderer(SPStartupRegistry& registry) {
    auto& r = registry.renderer;
    r.create = [] { return CPSmartPtr<IPTask>(new CPRender()); };
    r.exists = [] { return GetRender() != nullptr; };
    r.drawLoadingScreen = [](int progress) {
        if (CPRender* render = GetRender()) render->DrawLoadingScreen(progress);
    };
    r.resetDevice = [] {
        if (CPRender* render = GetRender()) render->ResetDevice();
    };
}
