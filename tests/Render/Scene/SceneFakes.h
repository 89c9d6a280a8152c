#pragma once
// Scene objects that know their parent, relative position, rotation and visible bounds, a race
// world that keeps the flare records handed to it, cameras and a vertex effect to test with.

#include <string>
#include <vector>

#include "Render/Frame/FrameFixture.h"
#include "Render/PVertexEffect.h"

namespace scenetest {

class SceneObject : public frametest::FakeSceneObject {
public:
    IPSceneObject* GetParentObject() const override { return parent; }
    D3DXVECTOR3 GetRelativePosition() const override { return relative; }
    D3DXQUATERNION GetRotation() const override { return rotation; }
    const CPBoundingBox& GetVisibleBounds() const override { return bounds; }

    // World translation and relative position at p; bounds a cube of half-size h around it.
    void Place(const D3DXVECTOR3& p, float h = 1.0f);

    IPSceneObject* parent = nullptr;
    D3DXVECTOR3 relative{0.0f, 0.0f, 0.0f};
    D3DXQUATERNION rotation{0.0f, 0.0f, 0.0f, 1.0f};
    CPBoundingBox bounds;
};

CPSmartPtr<SceneObject> MakeSceneObject(const D3DXVECTOR3& p, float h = 1.0f);

class FlareWorld : public frametest::FakeRaceWorld {
public:
    void AddFlareSource(const SPFlareSource& source) override { flares.push_back(source); }
    std::vector<SPFlareSource> flares;
};

// An updated perspective camera (field of view 1, clip 1 to 1000, z up).
CPSmartPtr<CPPerspectiveCamera> MakeCamera(const D3DXVECTOR3& eye, const D3DXVECTOR3& target);

// Adds `add` to the first texture coordinate and multiplies it by `scale`, counting its calls
// and living instances; clones copy both numbers.
class FakeVertexEffect : public CPVertexEffect {
public:
    FakeVertexEffect(float add, float scale) : add(add), scale(scale) { ++live; }
    FakeVertexEffect(const FakeVertexEffect& other) : CPVertexEffect(other), add(other.add), scale(other.scale) {
        ++live;
    }
    ~FakeVertexEffect() override { --live; }
    void Update(float) override {}
    void Apply(SPVertex* destination, const SPVertex* source, int count) override;
    CPVertexEffect* Clone() const override { return new FakeVertexEffect(*this); }

    float add, scale;
    int applied = 0;
    int lastCount = 0;
    static int live;
};

} // namespace scenetest
