// A cloud-set file ("Data\Clouds\set.txt") with the cloud-item file its items may name
// (item.txt, the part of the input after a "----" line), activated and faded as phases do.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "DynamicSky/CloudSet.h"
#include "SkyFuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    kxfuzz::PrepareSkyRoot();
    std::string_view parts[2];
    kxfuzz::SplitParts(kxfuzz::AsText(data, size), 2, parts);
    kxfuzz::GameRoot& root = kxfuzz::GameRoot::Get();
    root.Write("Data/Clouds/set.txt", parts[0]);
    root.Write("Data/Clouds/item.txt", parts[1]);
    CloudSet set;
    set.Load("set.txt");
    if (set.items.size() != set.weightedItems.size() || set.items.size() > kxfuzz::MaxRows(parts[0])) std::abort();
    for (std::size_t i = 0; i < set.items.size(); ++i)
        if (set.items[i] != set.weightedItems[i].first) std::abort();
    set.PlaceItems();
    set.SetActive(true, true);
    set.StartFadingOut();
    set.SetActive(false, false);
    for (const CloudItem* item : set.items)
        if (!item->fadingOut || item->fadingIn || !item->changed) std::abort();
    g_skyDevice = nullptr;
    return 0;
}
