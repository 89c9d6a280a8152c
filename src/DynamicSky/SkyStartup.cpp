#include "DynamicSky/SkyStartup.h"

#include "DynamicSky/DynamicSky.h"
#include "Render/PRenderSeams.h"

void InstallDynamicSky() {
    SetSkyMaker([](const std::string& fileName) -> std::unique_ptr<IPRenderSky> {
        auto sky = std::make_unique<CPDynamicSky>();
        sky->Load(fileName);
        return sky;
    });
}
