#include <algorithm>
#include <cstddef>

#include "Framework/PSettings.h"
#include "Platform/Math/D3DXMath.h"
#include "Render/PPerspectiveCamera.h"
#include "Scene/PGameObject.h"
#include "World/PLevel.h"

namespace {

// The most overlays one flare name positions in a frame.
constexpr std::size_t kMaxFlaresPerName = 24;

// The pixel position of a world point under the view's last view-projection, as the renderer
// projects: a point in the eye's plane lands at the origin.
D3DXVECTOR2 ProjectPoint(const CPPerspectiveCamera& view, const D3DXVECTOR3& point) {
    D3DXVECTOR4 p;
    D3DXVec3Transform(&p, &point, &view.GetViewProjection());
    if (p.w == 0.0f) return D3DXVECTOR2(0.0f, 0.0f);
    return D3DXVECTOR2((p.x / p.w + 1.0f) * static_cast<float>(g_screenWidth) * 0.5f,
                       (1.0f - p.y / p.w) * static_cast<float>(g_screenHeight) * 0.5f);
}

} // namespace

void CPLevel::UpdateLightSources() {
    if (g_lensflare == 0) {
        ClearLightSources();
        return;
    }
    CPSmartPtr<CPPerspectiveCamera> view = camera ? camera->GetViewCamera() : CPSmartPtr<CPPerspectiveCamera>();
    if (!view) {
        ClearLightSources();
        return;
    }
    const D3DXVECTOR3 eye = view->eye;
    D3DXVECTOR3 viewDirection = view->target - eye;
    D3DXVec3Normalize(&viewDirection, &viewDirection);
    const float width = static_cast<float>(g_screenWidth);
    const float height = static_cast<float>(g_screenHeight);

    std::vector<SPFlareSource*> visible;
    for (auto& named : lightSources) {
        visible.clear();
        for (SPFlareSource& source : named.second) {
            const D3DXVECTOR2 screen = ProjectPoint(*view, source.position);
            if (!(screen.x >= 0.0f && screen.x < width && screen.y >= 0.0f && screen.y < height)) continue;
            D3DXVECTOR3 toSource = source.position - eye;
            const float distance = D3DXVec3Length(&toSource);
            // A source at the eye itself has no direction; it is taken as seen.
            if (distance > 0.0f) toSource = toSource * (1.0f / distance);
            if (D3DXVec3Dot(&viewDirection, &toSource) < 0.0f) continue;
            if (distance > 0.0f && IsLightHiddenByRacer(eye, toSource, distance, source)) continue;
            source.screenPosition = screen;
            visible.push_back(&source);
        }
        // The farthest first.
        std::stable_sort(visible.begin(), visible.end(),
                         [](const SPFlareSource* a, const SPFlareSource* b) { return a->distance > b->distance; });

        std::vector<CPSmartPtr<IPLensFlareOverlay>>& group = flareGroups[named.first];
        std::size_t used = 0;
        for (; used < visible.size() && used < kMaxFlaresPerName && used < group.size(); ++used) {
            IPLensFlareOverlay* overlay = group[used].Get();
            if (!overlay) continue;
            const SPFlareSource& source = *visible[used];
            overlay->SetFlareVisible(true);
            overlay->SetScale(source.nearFactor);
            overlay->SetSourcePosition(static_cast<int>(source.screenPosition.x),
                                       static_cast<int>(source.screenPosition.y));
            overlay->SetAlpha(static_cast<unsigned char>(source.intensity));
            overlay->Render();
        }
        // The rest fade out.
        for (std::size_t i = used; i < group.size(); ++i) {
            if (IPLensFlareOverlay* overlay = group[i].Get()) {
                overlay->SetFlareVisible(false);
                overlay->Render();
            }
        }
    }
    ClearLightSources();
}

bool CPLevel::IsLightHiddenByRacer(const D3DXVECTOR3& eye, const D3DXVECTOR3& direction, float distance,
                                   const SPFlareSource& source) const {
    CPGameObject* own = dynamic_cast<CPGameObject*>(source.root.Get());
    auto hits = [&](CPPlayer* racer) {
        if (!racer) return false;
        SPRayPick pick;
        pick.excluded = own;
        pick.origin = eye;
        pick.direction = direction;
        pick.distance = distance;
        return racer->RayPickSelf(pick);
    };
    if (hits(humanRacer.Get())) return true;
    for (const CPSmartPtr<CPPlayer>& racer : opponents)
        if (hits(racer.Get())) return true;
    return false;
}

void CPLevel::ClearLightSources() { lightSources.clear(); }
