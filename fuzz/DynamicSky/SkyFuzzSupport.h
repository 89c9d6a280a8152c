#pragma once
// What the sky targets share: the game root emptied and given the small effect and picture the
// sky files name, the sky device, and a bound on the records a text can hold.

#include <algorithm>
#include <cstddef>
#include <cstdlib>
#include <string>
#include <string_view>

#include "Framework/PLog.h"
#include "FuzzDevice.h"
#include "FuzzSupport.h"
#include "Platform/Graphics/RecordingDevice.h"
#include "Platform/System/Random.h"
#include "Render/PRenderSeams.h"

namespace kxfuzz {

// withDevice: the sky device is the Recording device (vertex objects make and fill their megabyte
// of buffers and draw); otherwise there is none and they keep their data in memory only.
inline void PrepareSkyRoot(bool withDevice = true) {
    CPLog::Instance().SetSink(nullptr);
    GameRoot& root = GameRoot::Get();
    root.Clear();
    const std::string effect = "texture tex0;\ntechnique T { pass P0 { Lighting = false; Texture[0] = <tex0>; } }\n";
    root.Write("Data/Effects/sky.fx", effect);
    root.Write("Data/Effects/skyscape_light.fx", effect);
    root.Write("Data/Effects/volume_cloud.fx", effect);
    // A 1 x 1 uncompressed 32-bit TGA.
    static const char tga[] = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 1, 0, 32, 8, 10, 20, 30, 40};
    root.Write("Data/Textures/sky.tga", std::string_view(tga, sizeof tga));
    root.Write("Data/Textures/cloud.tga", std::string_view(tga, sizeof tga));
    g_skyDevice = withDevice ? RecordingDevice() : nullptr;
    // The device records every call; what earlier inputs drew is of no use here.
    if (Platform::IRecordingControl* control = Platform::RecordingControl(RecordingDevice())) control->ClearCalls();
    Platform::EngineSeed(1);
}

// Rows a text can hold at most: its line ends (a line feed, or a zero byte, which also ends a line)
// and one more.
inline std::size_t MaxRows(std::string_view text) {
    return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n') +
                                    std::count(text.begin(), text.end(), '\0')) +
           1;
}

} // namespace kxfuzz
