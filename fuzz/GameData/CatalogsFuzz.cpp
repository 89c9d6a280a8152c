// "Data\catalogs.txt" (the shop catalogs and preset cars) read by the game-data store through the
// file layer, read again over what the first read left, then priced and equipped as the shop does.

#include "Framework/PLog.h"
#include "Framework/PSettings.h"
#include "FuzzSupport.h"
#include "GameData/PGameData.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    CPLog::Instance().SetSink(nullptr);
    ResetSettingsToDefaults();
    kxfuzz::GameRoot& root = kxfuzz::GameRoot::Get();
    root.Clear();
    root.Write("Data/catalogs.txt", data, size);
    CPGameData store;
    if (!store.LoadCatalogs()) std::abort();
    const std::size_t presets = store.presetCars.size();
    if (!store.LoadCatalogs() || store.presetCars.size() != presets) std::abort();
    // Each line adds one preset at most.
    if (presets > size) std::abort();
    for (int mission : {1, 7, 18}) {
        store.currentMission = mission;
        store.money = 1.0e6f;
        for (const SPCarSettings& preset : store.presetCars) (void)store.GetSettingsPrice(preset);
        store.AutoSetting();
        (void)store.GetSettingsPrice(store.realCar);
    }
    ResetSettingsToDefaults();
    return 0;
}
