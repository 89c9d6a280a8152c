// UpdateTransform of a 1,000-object tree after its root moved, against CPOrientedBox::Update of
// the same own and part boxes alone. Three levels: a root, 9 children, 110 grandchildren each;
// every object has its own box and one part box.
//
// BM_SceneObjectTreeVsBoxes runs both in the same iterations and reports the ratio (tree time
// over box time) as its "ratio" counter.

#include <benchmark/benchmark.h>

#include <chrono>
#include <vector>

#include "Framework/PMMObject.h"
#include "Platform/Math/D3DXMath.h"
#include "Scene/PGameObject.h"

namespace {

constexpr int kChildren = 9;
constexpr int kGrandchildren = 110;

CPOrientedBox UnitBox(float size) {
    CPOrientedBox box(D3DXVECTOR3(0.0f, 0.0f, 0.5f), D3DXVECTOR3(size, size, size));
    D3DXMATRIX identity;
    D3DXMatrixIdentity(&identity);
    box.SetLocalMatrix(identity);
    return box;
}

struct Scene {
    Scene() {
        root = new CPGameObject("root");
        Dress(*root, 0, 0);
        for (int c = 0; c < kChildren; ++c) {
            CPSmartPtr<CPGameObject> child(new CPGameObject("child"));
            Dress(*child, static_cast<float>(c) * 10.0f, 0.0f);
            for (int g = 0; g < kGrandchildren; ++g) {
                CPSmartPtr<CPGameObject> grandchild(new CPGameObject("grandchild"));
                Dress(*grandchild, static_cast<float>(g % 10), static_cast<float>(g / 10));
                child->AddChild(grandchild);
            }
            root->AddChild(child);
        }
        root->UpdateTransform();
        std::vector<CPSmartPtr<CPGameObject>> tree;
        root->CollectTree(tree);
        count = static_cast<int>(tree.size());
        for (const auto& object : tree) {
            for (const CPOrientedBox& part : object->PartBoxes()) boxes.push_back(part);
            boxes.push_back(object->GetOwnBox());
        }
    }
    ~Scene() {
        root = nullptr;
        for (int i = 0; i < 3; ++i) IPMMObject::CollectGarbage();
    }
    static void Dress(CPGameObject& object, float x, float y) {
        object.SetPosition(D3DXVECTOR3(x, y, 0.0f));
        object.SetRotation(D3DXQUATERNION(0.0f, 0.0f, 0.38268343f, 0.92387953f));
        object.SetBounds(UnitBox(1.0f));
        object.PartBoxes().push_back(UnitBox(0.5f));
    }
    void MoveRoot(int step) {
        root->SetPosition(D3DXVECTOR3(static_cast<float>(step & 7), 0.0f, 0.0f));
        root->UpdateTransform();
    }
    void UpdateBoxes() {
        for (CPOrientedBox& box : boxes) box.Update();
    }

    CPSmartPtr<CPGameObject> root;
    std::vector<CPOrientedBox> boxes;
    int count = 0;
};

void BM_SceneObjectUpdateTransformTree(benchmark::State& state) {
    Scene scene;
    int step = 0;
    for (auto _ : state) {
        scene.MoveRoot(++step);
        benchmark::DoNotOptimize(scene.root->GetVisibleBounds());
    }
    state.counters["objects"] = scene.count;
    state.SetItemsProcessed(state.iterations() * scene.count);
}

void BM_OrientedBoxUpdateSameBoxes(benchmark::State& state) {
    Scene scene;
    for (auto _ : state) {
        scene.UpdateBoxes();
        benchmark::DoNotOptimize(scene.boxes.back().GetWorldMax());
    }
    state.counters["boxes"] = static_cast<double>(scene.boxes.size());
}

void BM_SceneObjectTreeVsBoxes(benchmark::State& state) {
    using Clock = std::chrono::steady_clock;
    Scene scene;
    Clock::duration tree{}, boxes{};
    int step = 0;
    for (auto _ : state) {
        const auto t0 = Clock::now();
        scene.MoveRoot(++step);
        const auto t1 = Clock::now();
        scene.UpdateBoxes();
        const auto t2 = Clock::now();
        benchmark::DoNotOptimize(scene.root->GetVisibleBounds());
        benchmark::DoNotOptimize(scene.boxes.back().GetWorldMax());
        tree += t1 - t0;
        boxes += t2 - t1;
    }
    const double iterations = static_cast<double>(state.iterations());
    state.counters["tree_us"] = std::chrono::duration<double, std::micro>(tree).count() / iterations;
    state.counters["boxes_us"] = std::chrono::duration<double, std::micro>(boxes).count() / iterations;
    state.counters["ratio"] =
        boxes.count() > 0 ? static_cast<double>(tree.count()) / static_cast<double>(boxes.count()) : 0.0;
}

} // namespace

BENCHMARK(BM_SceneObjectUpdateTransformTree)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_OrientedBoxUpdateSameBoxes)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SceneObjectTreeVsBoxes)->Unit(benchmark::kMicrosecond);
