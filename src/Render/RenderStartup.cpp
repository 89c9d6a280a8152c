#include "Render/RenderStartup.h"

#include "Framework/StartupRegistry.h"
#include "Render/PBloom.h"
#include "Render/PRender.h"

void InstallRenderer(SPStartupRegistry& registry) {
    auto& r = registry.renderer;
    r.create = [] {
        auto* render = new CPRender();
        render->SetPostEffects(std::make_unique<CPBloom>());
        return CPSmartPtr<IPTask>(render);
    };
    r.exists = [] { return GetRender() != nullptr; };
    r.drawLoadingScreen = [](int progress) {
        if (CPRender* render = GetRender()) render->DrawLoadingScreen(progress);
    };
    r.resetDevice = [] {
        if (CPRender* render = GetRender()) render->ResetDevice();
    };
}
