// Mission descriptions ("Data\Levels\<name>") read by the game-data store through the file layer,
// with and without a level's named positions, and read again over what the first read left.

#include "Framework/PLog.h"
#include "Framework/PSettings.h"
#include "FuzzSupport.h"
#include "GameData/PGameData.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    CPLog::Instance().SetSink(nullptr);
    ResetSettingsToDefaults();
    kxfuzz::GameRoot& root = kxfuzz::GameRoot::Get();
    root.Clear();

    // The weighted lists alone: one item per ';'-separated part at most.
    const std::string text(kxfuzz::AsText(data, size));
    if (ParseWeightedNames(text).size() > size + 1) std::abort();

    root.Write("Data/Levels/m.txt", data, size);
    const SPNamedPositions level = {{"north", {1.0f, 2.0f, 3.0f}}, {"south", {-4.0f, 5.5f, 6.0f}}, {"", {7, 8, 9}}};
    CPGameData store;
    if (!store.LoadMissionInfo("m.txt", &level)) std::abort();
    const std::size_t checkpoints = store.checkpointInfos.size();
    if (checkpoints > size + 1) std::abort();
    if (!store.LoadMissionInfo("m.txt", nullptr) || store.checkpointInfos.size() != checkpoints) std::abort();
    for (const auto& kind : store.enemySources)
        for (const SPEnemySource& source : kind.second)
            if (source.position[0] != 0.0f || source.position[1] != 0.0f || source.position[2] != 0.0f) std::abort();
    ResetSettingsToDefaults();
    return 0;
}
