#include "Scene/LensFlarePools.h"

#include <utility>
#include <vector>

#include "Scene/SceneInterfaces.h"

void EnsureLensFlarePool(const std::string& flareName) {
    IPLensFlarePoolSink* sink = GetLensFlarePoolSink();
    if (!sink || sink->HasPool(flareName)) return;
    IPLensFlareOverlayMaker* maker = GetLensFlareOverlayMaker();
    if (!maker) return;
    std::vector<CPSmartPtr<IPLensFlareOverlay>> overlays;
    overlays.reserve(kLensFlarePoolSize);
    for (int i = 0; i < kLensFlarePoolSize; ++i) {
        CPSmartPtr<IPLensFlareOverlay> overlay = maker->Make(flareName);
        if (!overlay) return;
        overlays.push_back(std::move(overlay));
    }
    sink->AddPool(flareName, std::move(overlays));
}
