// A cloud-item file ("Data\Clouds\item.txt") as a cloud set loads it, scaled and turned.

#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "DynamicSky/CloudSet.h"
#include "SkyFuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    kxfuzz::PrepareSkyRoot();
    kxfuzz::GameRoot::Get().Write("Data/Clouds/item.txt", kxfuzz::AsText(data, size));
    const std::size_t rows = kxfuzz::MaxRows(kxfuzz::AsText(data, size));
    CloudItem item;
    item.Load("item.txt", 1.5f, 0.7f);
    if (item.anchors.size() > rows || item.puffs.size() > rows) std::abort();
    for (const SPCloudPuff& puff : item.puffs)
        for (int field : puff.unset)
            if (field != 0) std::abort();
    g_skyDevice = nullptr;
    return 0;
}
