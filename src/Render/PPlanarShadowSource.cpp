#include "Render/PPlanarShadowSource.h"

namespace {
const IPPlanarShadowSource* g_planarShadowSource = nullptr;
} // namespace

void SetPlanarShadowSource(const IPPlanarShadowSource* source) { g_planarShadowSource = source; }

const IPPlanarShadowSource* GetPlanarShadowSource() { return g_planarShadowSource; }

const D3DXMATRIX* GetPlanarShadowMatrix() {
    return g_planarShadowSource ? g_planarShadowSource->GetPlanarShadowMatrix() : nullptr;
}
