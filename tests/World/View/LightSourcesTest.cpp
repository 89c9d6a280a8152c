// The light sources behind the lens flares: which are seen, which overlays show them, and the
// registry emptied every frame.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "Framework/PSettings.h"
#include "Platform/Math/D3DXMath.h"
#include "Render/PPerspectiveCamera.h"
#include "Scene/PGameObject.h"
#include "World/View/ViewFixture.h"

namespace {

using kxview::ViewWorld;

// An overlay that records what the level tells it, frame by frame.
class FakeOverlay : public IPLensFlareOverlay {
public:
    void AddRef() override { ++refs; }
    void Release() override { --refs; }
    void SetSourcePosition(int sx, int sy) override {
        x = sx;
        y = sy;
        calls.push_back("position");
    }
    void SetScale(float s) override {
        scale = s;
        calls.push_back("scale");
    }
    void SetAlpha(unsigned char a) override {
        alpha = a;
        calls.push_back("alpha");
    }
    void SetFlareVisible(bool v) override {
        visible = v;
        calls.push_back(v ? "visible" : "hidden");
    }
    void Render() override {
        ++renders;
        calls.push_back("render");
    }

    int refs = 0;
    int x = -1;
    int y = -1;
    float scale = 0.0f;
    int alpha = -1;
    bool visible = false;
    int renders = 0;
    std::vector<std::string> calls;
};

struct LightSources : ViewWorld {
    LightSources() {
        savedFlare = g_lensflare;
        g_lensflare = 1;
        savedWidth = g_screenWidth;
        savedHeight = g_screenHeight;
        g_screenWidth = 800;
        g_screenHeight = 600;
        // Out of the way of the light rays unless a test moves it.
        human->SetPosition(D3DXVECTOR3(500.0f, -500.0f, 0.0f));
        human->UpdateTransform();
        // The eye at the origin looking along +y.
        CPPerspectiveCamera& view = *camera->GetViewCamera();
        view.eye = D3DXVECTOR3(0.0f, 0.0f, 0.0f);
        view.target = D3DXVECTOR3(0.0f, 1.0f, 0.0f);
        view.up = D3DXVECTOR3(0.0f, 0.0f, 1.0f);
        view.fieldOfView = 1.0f;
        view.nearDistance = 1.0f;
        view.farDistance = 1000.0f;
        view.viewDirty = view.projectionDirty = true;
        view.Update();
        overlays.resize(24);
        std::vector<CPSmartPtr<IPLensFlareOverlay>> group;
        for (FakeOverlay& o : overlays) group.emplace_back(&o);
        level->AddPool("sun", group);
    }
    ~LightSources() override {
        level.reset();
        g_lensflare = savedFlare;
        g_screenWidth = savedWidth;
        g_screenHeight = savedHeight;
    }

    SPFlareSource& Register(const D3DXVECTOR3& position, int intensity = 200,
                            CPSmartPtr<IPSceneObject> root = CPSmartPtr<IPSceneObject>()) {
        SPFlareSource source;
        source.position = position;
        source.intensity = intensity;
        source.root = root;
        source.name = "sun";
        source.distance = D3DXVec3Length(&position);
        source.nearFactor = 1.0f;
        std::vector<SPFlareSource>& list = level->lightSources["sun"];
        list.push_back(source);
        return list.back();
    }

    int VisibleCount() const {
        int n = 0;
        for (const FakeOverlay& o : overlays) n += o.visible;
        return n;
    }

    // The world x on the plane y = 100 whose screen x is exactly the target, when one exists.
    float WorldXAtScreenX(float target) const {
        const CPPerspectiveCamera& view = *camera->GetViewCamera();
        auto screenX = [&](float x) { return view.ProjectToScreen(D3DXVECTOR3(x, 100.0f, 0.0f)).x; };
        float lo = -200.0f, hi = 200.0f;
        const bool rising = screenX(hi) > screenX(lo);
        for (int i = 0; i < 200; ++i) {
            const float mid = 0.5f * (lo + hi);
            if (mid == lo || mid == hi) break;
            if ((screenX(mid) < target) == rising)
                lo = mid;
            else
                hi = mid;
        }
        float x = lo;
        for (int i = 0; i < 64; ++i, x = std::nextafter(x, hi > lo ? 1e9f : -1e9f))
            if (screenX(x) == target) return x;
        x = lo;
        for (int i = 0; i < 64; ++i, x = std::nextafter(x, hi > lo ? -1e9f : 1e9f))
            if (screenX(x) == target) return x;
        return std::numeric_limits<float>::quiet_NaN();
    }

    std::vector<FakeOverlay> overlays;
    int savedFlare = 0;
    int savedWidth = 0;
    int savedHeight = 0;
};

TEST_F(LightSources, TheScreenIsHalfOpenOnTheRight) {
    const float left = WorldXAtScreenX(0.0f);
    const float right = WorldXAtScreenX(800.0f);
    ASSERT_FALSE(std::isnan(left));
    ASSERT_FALSE(std::isnan(right));
    Register(D3DXVECTOR3(left, 100.0f, 0.0f));
    level->UpdateLightSources();
    EXPECT_EQ(VisibleCount(), 1);
    EXPECT_EQ(overlays[0].x, 0);
    EXPECT_EQ(overlays[0].y, 300);

    Register(D3DXVECTOR3(right, 100.0f, 0.0f));
    level->UpdateLightSources();
    EXPECT_EQ(VisibleCount(), 0);
}

TEST_F(LightSources, ASourceBesideTheCameraCountsAsInFrontAndOneBehindDoesNot) {
    // Beside: in the eye's plane, which projects onto the screen's corner.
    Register(D3DXVECTOR3(50.0f, 0.0f, 0.0f), 90);
    level->UpdateLightSources();
    EXPECT_EQ(VisibleCount(), 1);
    EXPECT_EQ(overlays[0].alpha, 90);
    // Behind: mirrored onto the screen by the projection, but facing away.
    Register(D3DXVECTOR3(0.0f, -100.0f, 0.0f));
    level->UpdateLightSources();
    EXPECT_EQ(VisibleCount(), 0);
}

TEST_F(LightSources, TheFarthestTwentyFourAreDrawnFarthestFirst) {
    for (int i = 0; i < 30; ++i) Register(D3DXVECTOR3(0.0f, 10.0f + 10.0f * static_cast<float>(i), 0.0f), i);
    level->UpdateLightSources();
    EXPECT_EQ(VisibleCount(), 24);
    for (int k = 0; k < 24; ++k) {
        SCOPED_TRACE(k);
        EXPECT_EQ(overlays[k].alpha, 29 - k);
        EXPECT_EQ(overlays[k].renders, 1);
        const std::vector<std::string> order{"visible", "scale", "position", "alpha", "render"};
        EXPECT_EQ(overlays[k].calls, order);
    }
}

TEST_F(LightSources, AFewSourcesLeaveTheOtherOverlaysHiddenAndRendered) {
    Register(D3DXVECTOR3(0.0f, 100.0f, 0.0f), 1).nearFactor = 3.5f;
    Register(D3DXVECTOR3(10.0f, 300.0f, 5.0f), 2);
    Register(D3DXVECTOR3(0.0f, 200.0f, 0.0f), 3);
    level->UpdateLightSources();
    EXPECT_EQ(VisibleCount(), 3);
    EXPECT_EQ(overlays[0].alpha, 2);
    EXPECT_EQ(overlays[1].alpha, 3);
    EXPECT_EQ(overlays[2].alpha, 1);
    EXPECT_EQ(overlays[2].scale, 3.5f);
    // The centre of the screen.
    EXPECT_EQ(overlays[2].x, 400);
    EXPECT_EQ(overlays[2].y, 300);
    for (int k = 3; k < 24; ++k) {
        SCOPED_TRACE(k);
        EXPECT_FALSE(overlays[k].visible);
        EXPECT_EQ(overlays[k].renders, 1);
        EXPECT_EQ(overlays[k].calls, (std::vector<std::string>{"hidden", "render"}));
    }
}

TEST_F(LightSources, ASourceHiddenBehindARacerShowsNoFlareButItsOwnObjectDoesNotHideIt) {
    // A racer box of half size 1 between the eye and the source.
    human->OwnBox() = CPOrientedBox(D3DXVECTOR3(0.0f, 0.0f, 0.0f), D3DXVECTOR3(1.0f, 1.0f, 1.0f));
    CPOrientedBox part(D3DXVECTOR3(0.0f, 0.0f, 0.0f), D3DXVECTOR3(1.0f, 1.0f, 1.0f));
    D3DXMATRIX identity;
    D3DXMatrixIdentity(&identity);
    part.SetLocalMatrix(identity);
    human->PartBoxes().clear();
    human->PartBoxes().push_back(part);
    human->SetPosition(D3DXVECTOR3(0.0f, 50.0f, 0.0f));
    human->UpdateTransform();
    Register(D3DXVECTOR3(0.0f, 100.0f, 0.0f));
    level->UpdateLightSources();
    EXPECT_EQ(VisibleCount(), 0);

    // An opponent hides too.
    human->SetPosition(D3DXVECTOR3(500.0f, -500.0f, 0.0f));
    human->UpdateTransform();
    CPSmartPtr<CPPlayer> opponent(new CPPlayer());
    opponent->OwnBox() = human->OwnBox();
    opponent->PartBoxes().push_back(part);
    opponent->SetPosition(D3DXVECTOR3(0.0f, 50.0f, 0.0f));
    opponent->UpdateTransform();
    level->opponents.push_back(opponent);
    Register(D3DXVECTOR3(0.0f, 100.0f, 0.0f));
    level->UpdateLightSources();
    EXPECT_EQ(VisibleCount(), 0);

    // A lamp on the racer itself is not hidden by it.
    Register(D3DXVECTOR3(0.0f, 100.0f, 0.0f), 200, CPSmartPtr<IPSceneObject>(opponent.Get()));
    level->UpdateLightSources();
    EXPECT_EQ(VisibleCount(), 1);

    // Out of the way, the source shows again.
    opponent->SetPosition(D3DXVECTOR3(300.0f, 50.0f, 0.0f));
    opponent->UpdateTransform();
    Register(D3DXVECTOR3(0.0f, 100.0f, 0.0f));
    level->UpdateLightSources();
    EXPECT_EQ(VisibleCount(), 1);
}

TEST_F(LightSources, TheRegistryIsEmptyAfterwardsAlsoWithoutLensFlares) {
    for (int flare : {1, 0}) {
        SCOPED_TRACE(flare);
        g_lensflare = flare;
        CPSmartPtr<CPGameObject> lamp(new CPGameObject("lamp"));
        const int refs = lamp->GetRefCount();
        Register(D3DXVECTOR3(0.0f, 100.0f, 0.0f), 200, CPSmartPtr<IPSceneObject>(lamp.Get()));
        Register(D3DXVECTOR3(0.0f, -100.0f, 0.0f), 200, CPSmartPtr<IPSceneObject>(lamp.Get()));
        level->lightSources["no pool"].push_back(level->lightSources["sun"].front());
        EXPECT_EQ(lamp->GetRefCount(), refs + 3);
        level->UpdateLightSources();
        EXPECT_TRUE(level->lightSources.empty());
        EXPECT_EQ(lamp->GetRefCount(), refs);
    }
    // Without lens flares no overlay was touched.
    EXPECT_EQ(overlays[0].renders, 1);
    // A name without a pool got an empty one.
    EXPECT_TRUE(level->flareGroups.count("no pool"));
    EXPECT_TRUE(level->flareGroups["no pool"].empty());
}

} // namespace
