// "DATA\coeff.dat" (the difficulty coefficients) read by the game-data store through the file layer, on each
// difficulty setting, and read again over what the first read left.

#include "Framework/PLog.h"
#include "Framework/PSettings.h"
#include "FuzzSupport.h"
#include "GameData/PGameData.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    CPLog::Instance().SetSink(nullptr);
    kxfuzz::GameRoot& root = kxfuzz::GameRoot::Get();
    root.Clear();
    root.Write("DATA/coeff.dat", data, size);
    for (int difficulty : {0, 1, 2}) {
        ResetSettingsToDefaults();
        g_cam_speed = difficulty;
        CPGameData store;
        store.LoadCoefficients();
        store.LoadCoefficients();
    }
    ResetSettingsToDefaults();
    return 0;
}
