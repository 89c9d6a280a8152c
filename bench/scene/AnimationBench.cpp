// Filling one 10,000-vertex frame of an animated object (positions by the owner's world matrix,
// normals by its 3x3 part, the other attributes copied, the indices written) against the plain
// transform of the same vertices' positions and normals into a separate array.

#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "Framework/PGlobalTimer.h"
#include "Platform/Math/D3DXMath.h"
#include "Render/PRenderSeams.h"
#include "Scene/PAnimatedObject.h"
#include "Scene/PAnimation.h"

namespace {

constexpr int kSide = 100; // 100 x 100 = 10,000 vertices

class Owner : public IPSceneObject {
public:
    int GetSize() const override { return static_cast<int>(sizeof(Owner)); }
    std::string GetClassName() const override { return "BenchOwner"; }
    bool IsVisible() const override { return true; }
    bool IsStatic() const override { return false; }
    void SetStatic(bool) override {}
    int GetKind() const override { return KindAnimated; }
    IPRenderable* GetRenderable() const override { return nullptr; }
    CPLight* GetLight() const override { return nullptr; }
    int GetChildCount() const override { return 0; }
    IPSceneObject* GetChild(int) const override { return nullptr; }
    int GetAttachedCount() const override { return 0; }
    IPSceneObject* GetAttached(int) const override { return nullptr; }
    const D3DXMATRIX& GetWorldMatrix() const override { return world; }
    bool IsTransformChanged() const override { return false; }
    void ClearTransformChanged() override {}
    D3DXVECTOR3 GetPickHalfSize() const override { return D3DXVECTOR3(0, 0, 0); }

    D3DXMATRIX world;
};

// A turned and moved placement.
D3DXMATRIX World() {
    const float c = std::cos(0.7f), s = std::sin(0.7f);
    return D3DXMATRIX(c, 0, -s, 0, 0, 1, 0, 0, s, 0, c, 0, 12.5f, -3.0f, 40.0f, 1);
}

// A grid of kSide x kSide vertices with two triangles per cell.
SPAnimationFrame GridFrame() {
    SPAnimationFrame frame;
    for (int y = 0; y < kSide; ++y)
        for (int x = 0; x < kSide; ++x) {
            SPVertex v{};
            v.x = static_cast<float>(x);
            v.y = std::sin(static_cast<float>(x + y) * 0.1f);
            v.z = static_cast<float>(y);
            v.ny = 1.0f;
            v.diffuse = 0xFFFFFFFFu;
            v.tu = static_cast<float>(x) / kSide;
            v.tv = static_cast<float>(y) / kSide;
            frame.vertices.push_back(v);
        }
    for (int y = 0; y + 1 < kSide; ++y)
        for (int x = 0; x + 1 < kSide; ++x) {
            const auto at = [](int cx, int cy) { return static_cast<std::uint16_t>(cy * kSide + cx); };
            frame.indices.insert(frame.indices.end(), {at(x, y), at(x + 1, y), at(x, y + 1)});
            frame.indices.insert(frame.indices.end(), {at(x + 1, y), at(x + 1, y + 1), at(x, y + 1)});
        }
    return frame;
}

void AnimatedObjectFill(benchmark::State& state) {
    CPSmartPtr<Owner> owner(new Owner());
    owner->world = World();
    CPSmartPtr<CPAnimation> animation(new CPAnimation("bench&grid"));
    animation->SetFrames({GridFrame()}, 0.1f);
    CPSmartPtr<CPAnimatedObject> object(new CPAnimatedObject());
    object->SetOwner(owner.Get());
    object->AddAnimation("grid", animation);
    g_totalTime = 0.05;
    std::vector<SPVertex> vertices(static_cast<std::size_t>(object->GetVertexCount()));
    std::vector<std::uint16_t> indices(static_cast<std::size_t>(object->GetIndexCount()));
    for (auto _ : state) {
        object->FillVertices(vertices.data(), indices.data(), 0, 0);
        benchmark::DoNotOptimize(vertices.data());
        benchmark::DoNotOptimize(indices.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(vertices.size()));
}
BENCHMARK(AnimatedObjectFill);

void TransformArraysBaseline(benchmark::State& state) {
    const SPAnimationFrame frame = GridFrame();
    const D3DXMATRIX world = World();
    std::vector<SPVertex> out(frame.vertices.size());
    const unsigned n = static_cast<unsigned>(frame.vertices.size());
    for (auto _ : state) {
        D3DXVec3TransformCoordArray(reinterpret_cast<D3DXVECTOR3*>(&out[0].x), sizeof(SPVertex),
                                    reinterpret_cast<const D3DXVECTOR3*>(&frame.vertices[0].x), sizeof(SPVertex),
                                    &world, n);
        D3DXVec3TransformNormalArray(reinterpret_cast<D3DXVECTOR3*>(&out[0].nx), sizeof(SPVertex),
                                     reinterpret_cast<const D3DXVECTOR3*>(&frame.vertices[0].nx), sizeof(SPVertex),
                                     &world, n);
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(n));
}
BENCHMARK(TransformArraysBaseline);

} // namespace
