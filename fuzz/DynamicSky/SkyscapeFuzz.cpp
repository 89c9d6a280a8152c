// A sky description as a level's sky is read ("Data\Clouds\skyscape1.txt") with the weather
// phase, cloud-set and cloud-item files it may name (weather.txt, set.txt, item.txt: the parts
// of the input between "----" lines), then updated as frames do, at rest and with steps.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "DynamicSky/DynamicSky.h"
#include "SkyFuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // The device's buffers cost more than everything else: one input in four (by its size) is
    // drawn, the others run the same code without a device.
    kxfuzz::PrepareSkyRoot(size % 4 == 0);
    std::string_view parts[4];
    kxfuzz::SplitParts(kxfuzz::AsText(data, size), 4, parts);
    kxfuzz::GameRoot& root = kxfuzz::GameRoot::Get();
    root.Write("Data/Clouds/skyscape1.txt", parts[0]);
    root.Write("Data/Clouds/weather.txt", parts[1]);
    root.Write("Data/Clouds/set.txt", parts[2]);
    root.Write("Data/Clouds/item.txt", parts[3]);
    {
        CPDynamicSky sky;
        sky.Load("skyscape1.txt");
        const std::size_t rows = kxfuzz::MaxRows(parts[0]);
        if (sky.IsLoaded()) {
            // Two stops at least, no more records than rows, every keyframe of the same shape.
            if (sky.GetStopCount() < 2 || static_cast<std::size_t>(sky.GetStopCount()) > rows) std::abort();
            if (sky.GetKeyframes().size() > rows || sky.GetLayers().size() > CPDynamicSky::kMaxLayers) std::abort();
            for (const SkyKeyframe& k : sky.GetKeyframes()) {
                if (k.stops.size() != static_cast<std::size_t>(sky.GetStopCount())) std::abort();
                if (k.layerAngles.size() < sky.GetLayers().size()) std::abort();
            }
        }
        if (sky.GetSourceVertices().size() > VertexObject::kMaxVertices) std::abort();
        if (sky.GetPhases().size() > kxfuzz::MaxRows(parts[1])) std::abort();
        sky.Update(0.016f);
        sky.Advance(0.5f, 1.0f);
        sky.Advance(30.0f, 7.5f);
        sky.Update(1000.0f);
        for (CloudSet* set : sky.GetActiveCloudSets()) {
            bool known = false;
            for (const auto& entry : sky.GetCloudSets()) known = known || entry.second == set;
            if (!known) std::abort();
        }
    }
    g_skyDevice = nullptr;
    return 0;
}
