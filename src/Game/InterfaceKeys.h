#pragma once
// Render keys of interface layers: a base plus a layer number that comes from a data file or a
// script, so it saturates at the ends of the int range instead of overflowing.

#include <algorithm>
#include <climits>

#include "Render/PMaterial.h"

inline RenderKey LayerKey(int base, int layer) {
    const long long key = static_cast<long long>(base) + layer;
    return static_cast<RenderKey>(std::clamp<long long>(key, INT_MIN, INT_MAX));
}
