// A weather phase file ("Data\Clouds\weather.txt") as a sky reads it, under a small fixed sky
// with two cloud sets, run through many phase changes (without a device: nothing is drawn).

#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "DynamicSky/DynamicSky.h"
#include "SkyFuzzSupport.h"

namespace {

const char* kSky = "t 4\ns 0\nr 100\nv -1\nn 8\nc 0 0 0\ntex data\\textures\\sky.tga\nfx data\\effects\\sky.fx\n"
                   "stops 2\nkeys 1\nlayers 1\na data\\effects\\sky.fx\nb data\\effects\\sky.fx\nsets 2\n"
                   "w weather.txt\n"
                   "d 10\na 255\nr 0\nch 3\ns 1 2 3\ns 4 5 6\nsun 255 255 255\namb 9 9 9\nc 0 0 0\nc 0 0 0\n"
                   "fog 1 2 3\nfs 10\nfe 100\nv 0\nb 0\nangle 90\nfx 1\nscale 1\nadv 1\n"
                   "axis 0 1 0.5\nh 10\nd 50\nbase 0\nn 1\ntex data\\textures\\sky.tga\n"
                   "set a.txt\nset b.txt\n";
const char* kSet = "o 0 0 0\nk 0\nk 0\nk 0 0 0\nk 0\nitems 1\ni item.txt\np 1 2 3\ns 1\nr 0\nw 1\n";
const char* kItem = "anchors 1\na 0 0 0\npuffs 1\np 1 0 0\nk 0 0\nk 0\nanchor 0\nsize 1 1\n";

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // The weather needs no drawing (the sky target draws): no device, no megabyte buffers.
    kxfuzz::PrepareSkyRoot(false);
    kxfuzz::GameRoot& root = kxfuzz::GameRoot::Get();
    root.Write("Data/Clouds/weather.txt", kxfuzz::AsText(data, size));
    root.Write("Data/Clouds/skyscape1.txt", kSky);
    root.Write("Data/Clouds/a.txt", kSet);
    root.Write("Data/Clouds/b.txt", kSet);
    root.Write("Data/Clouds/item.txt", kItem);
    {
        WeatherPhaseList list;
        list.Load("weather.txt");
        if (list.phases.size() > kxfuzz::MaxRows(kxfuzz::AsText(data, size))) std::abort();

        CPDynamicSky sky;
        sky.Load("skyscape1.txt");
        if (!sky.IsLoaded() || sky.GetPhases().size() != list.phases.size()) std::abort();
        for (int frame = 0; frame < 16; ++frame) {
            sky.Advance(frame % 3 == 0 ? 50.0f : 0.25f, frame % 2 == 0 ? 0.0f : 3.0f);
            if (!sky.GetPhases().empty() &&
                (sky.GetPhaseIndex() < 0 || static_cast<std::size_t>(sky.GetPhaseIndex()) >= sky.GetPhases().size()))
                std::abort();
            if (sky.GetActiveCloudSets().size() > 2) std::abort();
        }
    }
    g_skyDevice = nullptr;
    return 0;
}
