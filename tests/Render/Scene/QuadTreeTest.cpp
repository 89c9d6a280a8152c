// The level's quad-tree: where Build sorts objects, the bounds it gives leaves and inner nodes,
// the depth it stops at, and what CollectVisible hands to the render block.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <vector>

#include "Framework/PSettings.h"
#include "Platform/Math/D3DXMath.h"
#include "Render/PIVBlock.h"
#include "Render/PQuadTreeNode.h"
#include "Render/Scene/SceneFakes.h"

using namespace scenetest;

namespace {

class QuadTree : public frametest::RenderFixture {
protected:
    void SetUp() override {
        RenderFixture::SetUp();
        savedLevels = g_quadlevels;
    }
    void TearDown() override {
        g_quadlevels = savedLevels;
        root.reset();
        objects.clear();
        camera = nullptr;
        RenderFixture::TearDown();
    }

    // The level's root: a square of half-size 100 around the origin, 100 high each way.
    void BuildRoot(int levels) {
        g_quadlevels = levels;
        root = std::make_unique<CPQuadTreeNode>();
        root->SetBounds(D3DXVECTOR3(0.0f, 0.0f, 0.0f), D3DXVECTOR3(100.0f, 100.0f, 100.0f));
        std::vector<CPSmartPtr<IPSceneObject>> all(objects.begin(), objects.end());
        root->Build(all, 0);
    }
    SceneObject* Add(float x, float y, float z = 0.0f, float h = 1.0f) {
        objects.push_back(MakeSceneObject(D3DXVECTOR3(x, y, z), h));
        return objects.back().Get();
    }
    // The path of child slots to the leaf that holds the object, or empty when none does.
    std::vector<int> PathOf(const IPSceneObject* object) const {
        std::vector<int> path, found;
        std::function<void(const CPQuadTreeNode&)> walk = [&](const CPQuadTreeNode& node) {
            for (const auto& held : node.GetObjects())
                if (held.Get() == object) found = path;
            for (int i = 0; i < 4; ++i) {
                if (!node.GetChild(i)) continue;
                path.push_back(i);
                walk(*node.GetChild(i));
                path.pop_back();
            }
        };
        walk(*root);
        return found;
    }
    static int CountLeaves(const CPQuadTreeNode& node, int depth, int& deepest) {
        if (node.IsLeaf()) {
            deepest = std::max(deepest, depth);
            return 1;
        }
        int n = 0;
        for (int i = 0; i < 4; ++i) {
            EXPECT_NE(node.GetChild(i), nullptr) << "an inner node has all four children";
            if (node.GetChild(i)) n += CountLeaves(*node.GetChild(i), depth + 1, deepest);
        }
        return n;
    }
    static std::size_t CountObjects(const CPQuadTreeNode& node) {
        std::size_t n = node.GetObjects().size();
        for (int i = 0; i < 4; ++i)
            if (node.GetChild(i)) n += CountObjects(*node.GetChild(i));
        return n;
    }

    int savedLevels = 0;
    std::unique_ptr<CPQuadTreeNode> root;
    std::vector<CPSmartPtr<SceneObject>> objects;
    CPSmartPtr<CPPerspectiveCamera> camera;
};

void ExpectBox(const CPBoundingBox* box, const D3DXVECTOR3& min, const D3DXVECTOR3& max) {
    ASSERT_NE(box, nullptr);
    EXPECT_FLOAT_EQ(box->minimum.x, min.x);
    EXPECT_FLOAT_EQ(box->minimum.y, min.y);
    EXPECT_FLOAT_EQ(box->minimum.z, min.z);
    EXPECT_FLOAT_EQ(box->maximum.x, max.x);
    EXPECT_FLOAT_EQ(box->maximum.y, max.y);
    EXPECT_FLOAT_EQ(box->maximum.z, max.z);
    EXPECT_FLOAT_EQ(box->centre.x, (min.x + max.x) / 2.0f);
    EXPECT_FLOAT_EQ(box->centre.y, (min.y + max.y) / 2.0f);
    EXPECT_FLOAT_EQ(box->halfSize.x, (max.x - min.x) / 2.0f);
    EXPECT_FLOAT_EQ(box->halfSize.z, (max.z - min.z) / 2.0f);
}

// ---------------------------------------------------------------------------------------------
// Node basics

TEST_F(QuadTree, FreshNodeHasNothing) {
    CPQuadTreeNode node;
    EXPECT_TRUE(node.IsLeaf());
    EXPECT_EQ(node.GetBounds(), nullptr);
    EXPECT_TRUE(node.GetObjects().empty());
    for (int i = -1; i < 5; ++i) EXPECT_EQ(node.GetChild(i), nullptr);
}

TEST_F(QuadTree, SetBoundsDerivesMinimumAndMaximum) {
    CPQuadTreeNode node;
    node.SetBounds(D3DXVECTOR3(1, 2, 3), D3DXVECTOR3(4, 5, 6));
    ExpectBox(node.GetBounds(), D3DXVECTOR3(-3, -3, -3), D3DXVECTOR3(5, 7, 9));
    node.SetBounds(D3DXVECTOR3(0, 0, 0), D3DXVECTOR3(1, 1, 1));
    ExpectBox(node.GetBounds(), D3DXVECTOR3(-1, -1, -1), D3DXVECTOR3(1, 1, 1));
}

TEST_F(QuadTree, ChildrenAndObjectsAreOwned) {
    const std::size_t live = IPMMObject::LiveCount();
    {
        auto node = std::make_unique<CPQuadTreeNode>();
        CPSmartPtr<SceneObject> object = MakeSceneObject(D3DXVECTOR3(0, 0, 0));
        node->AddObject(CPSmartPtr<IPSceneObject>(object.Get()));
        EXPECT_EQ(object->GetRefCount(), 2);
        node->SetChild(2, new CPQuadTreeNode());
        node->SetChild(2, new CPQuadTreeNode()); // the first is deleted (leak-checked)
        node->SetChild(7, new CPQuadTreeNode()); // no such slot: deleted, nothing changes
        node->SetChild(-1, new CPQuadTreeNode());
        EXPECT_NE(node->GetChild(2), nullptr);
        EXPECT_FALSE(node->IsLeaf());
        node->SetChild(2, nullptr);
        EXPECT_TRUE(node->IsLeaf());
        node.reset();
        EXPECT_EQ(object->GetRefCount(), 1);
    }
    IPMMObject::CollectGarbage();
    EXPECT_EQ(IPMMObject::LiveCount(), live);
}

// ---------------------------------------------------------------------------------------------
// Placement

struct PlacementCase {
    const char* name;
    D3DXVECTOR3 position;
    std::vector<int> path;
};

TEST_F(QuadTree, PlacementAtOneLevel) {
    const PlacementCase cases[] = {
        {"lower x and y", {-1, -1, 0}, {0}},
        {"higher x and y", {1, 1, 0}, {1}},
        {"higher x, lower y", {1, -1, 0}, {2}},
        {"lower x, higher y", {-1, 1, 0}, {3}},
        {"the centre", {0, 0, 0}, {1}},
        {"on the x dividing line", {0, -5, 0}, {2}},
        {"on the y dividing line", {-5, 0, 0}, {3}},
        {"on the outer boundary", {100, 100, 0}, {1}},
        {"on the lower outer boundary", {-100, -100, 0}, {0}},
        {"outside, lower corner", {-500, -500, 0}, {0}},
        {"outside, beyond x", {500, -1, 0}, {2}},
        {"outside, beyond y", {-1, 500, 0}, {3}},
        {"high above", {-1, -1, 150}, {0}},
        {"deep below", {1, -1, -400}, {2}},
        {"no number for x", {std::nanf(""), -1, 0}, {2}},
        {"infinitely far", {-INFINITY, INFINITY, 0}, {3}},
    };
    for (const PlacementCase& c : cases) Add(c.position.x, c.position.y, c.position.z);
    BuildRoot(1);
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(cases[i].name);
        EXPECT_EQ(PathOf(objects[i].Get()), cases[i].path);
    }
    EXPECT_EQ(CountObjects(*root), std::size(cases));
}

TEST_F(QuadTree, PlacementAtTwoLevels) {
    // Child centres: 0 (-50, -50), 1 (50, 50), 2 (50, -50), 3 (-50, 50).
    const PlacementCase cases[] = {
        {"lower cell of the lower cell", {-60, -60, 0}, {0, 0}},
        {"higher x within the lower cell", {-40, -60, 0}, {0, 2}},
        {"a child's centre", {-50, -50, 0}, {0, 1}},
        {"a child's dividing line", {-50, -80, 0}, {0, 2}},
        {"higher x, lower y, then higher both", {60, -40, 0}, {2, 1}},
        {"far outside", {-300, 300, 0}, {3, 3}},
        {"the root centre", {0, 0, 0}, {1, 0}},
        {"high above", {10, -30, 1000}, {2, 3}},
        {"lower y within the higher cell", {75, 25, 0}, {1, 2}},
    };
    for (const PlacementCase& c : cases) Add(c.position.x, c.position.y, c.position.z);
    BuildRoot(2);
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(cases[i].name);
        EXPECT_EQ(PathOf(objects[i].Get()), cases[i].path);
    }
    EXPECT_EQ(CountObjects(*root), std::size(cases));
}

TEST_F(QuadTree, LeafKeepsObjectsInGivenOrder) {
    SceneObject* a = Add(-10, -10);
    Add(10, 10);
    SceneObject* b = Add(-20, -30);
    SceneObject* c = Add(-5, -1);
    BuildRoot(1);
    const auto& held = root->GetChild(0)->GetObjects();
    ASSERT_EQ(held.size(), 3u);
    EXPECT_EQ(held[0].Get(), a);
    EXPECT_EQ(held[1].Get(), b);
    EXPECT_EQ(held[2].Get(), c);
}

// ---------------------------------------------------------------------------------------------
// Shape and bounds

struct DepthCase {
    int setting;
    int leaves;
    int depth;
};

TEST_F(QuadTree, DepthFollowsTheSettingWithinLimits) {
    const DepthCase cases[] = {{0, 1, 0}, {1, 4, 1}, {2, 16, 2}, {3, 64, 3}, {-1, 1, 0}, {-1000, 1, 0}};
    Add(-10, -10);
    Add(30, 40);
    for (const DepthCase& c : cases) {
        SCOPED_TRACE(c.setting);
        BuildRoot(c.setting);
        int deepest = 0;
        EXPECT_EQ(CountLeaves(*root, 0, deepest), c.leaves);
        EXPECT_EQ(deepest, c.depth);
        EXPECT_EQ(CountObjects(*root), 2u);
    }
}

TEST_F(QuadTree, DeepSettingStopsAtEightLevels) {
    Add(-10, -10);
    BuildRoot(50);
    int deepest = 0;
    EXPECT_EQ(CountLeaves(*root, 0, deepest), 65536);
    EXPECT_EQ(deepest, CPQuadTreeNode::kMaxLevels);
    EXPECT_EQ(CountObjects(*root), 1u);
}

TEST_F(QuadTree, LeavesBoundTheirObjectsAndEmptyLeavesKeepTheirCell) {
    Add(-10, -10, 0, 1);
    Add(-30, -20, 5, 2);
    Add(40, -60, 0, 1);
    BuildRoot(1);
    // Two objects: the union of their extents.
    ExpectBox(root->GetChild(0)->GetBounds(), D3DXVECTOR3(-32, -22, -1), D3DXVECTOR3(-9, -9, 7));
    ExpectBox(root->GetChild(2)->GetBounds(), D3DXVECTOR3(39, -61, -1), D3DXVECTOR3(41, -59, 1));
    // No objects: the cell.
    ExpectBox(root->GetChild(1)->GetBounds(), D3DXVECTOR3(0, 0, -100), D3DXVECTOR3(100, 100, 100));
    ExpectBox(root->GetChild(3)->GetBounds(), D3DXVECTOR3(-100, 0, -100), D3DXVECTOR3(0, 100, 100));
    // The root: the union of its children.
    ExpectBox(root->GetBounds(), D3DXVECTOR3(-100, -61, -100), D3DXVECTOR3(100, 100, 100));
}

TEST_F(QuadTree, BoundsReachObjectsOutsideTheSquare) {
    Add(-500, -400, 300, 10);
    BuildRoot(2);
    const CPQuadTreeNode* leaf = root->GetChild(0)->GetChild(0);
    ExpectBox(leaf->GetBounds(), D3DXVECTOR3(-510, -410, 290), D3DXVECTOR3(-490, -390, 310));
    ExpectBox(root->GetChild(0)->GetBounds(), D3DXVECTOR3(-510, -410, -100), D3DXVECTOR3(0, 0, 310));
    ExpectBox(root->GetBounds(), D3DXVECTOR3(-510, -410, -100), D3DXVECTOR3(100, 100, 310));
}

TEST_F(QuadTree, ObjectsWithoutExtentKeepTheCellButStayInTheLeaf) {
    // An object that keeps no bounds answers the empty box.
    CPSmartPtr<frametest::FakeSceneObject> plain(new frametest::FakeSceneObject());
    D3DXMatrixTranslation(&plain->world, -10.0f, -10.0f, 0.0f);
    g_quadlevels = 1;
    root = std::make_unique<CPQuadTreeNode>();
    root->SetBounds(D3DXVECTOR3(0, 0, 0), D3DXVECTOR3(100, 100, 100));
    CPSmartPtr<SceneObject> boxed = MakeSceneObject(D3DXVECTOR3(-20, -20, 0), 1.0f);
    root->Build({CPSmartPtr<IPSceneObject>(plain.Get()), nullptr}, 0);
    ExpectBox(root->GetChild(0)->GetBounds(), D3DXVECTOR3(-100, -100, -100), D3DXVECTOR3(0, 0, 100));
    EXPECT_EQ(root->GetChild(0)->GetObjects().size(), 1u);

    root = std::make_unique<CPQuadTreeNode>();
    root->SetBounds(D3DXVECTOR3(0, 0, 0), D3DXVECTOR3(100, 100, 100));
    root->Build({CPSmartPtr<IPSceneObject>(plain.Get()), CPSmartPtr<IPSceneObject>(boxed.Get())}, 0);
    ExpectBox(root->GetChild(0)->GetBounds(), D3DXVECTOR3(-21, -21, -1), D3DXVECTOR3(-19, -19, 1));
    EXPECT_EQ(root->GetChild(0)->GetObjects().size(), 2u);
}

TEST_F(QuadTree, BuildWithoutBoundsStillPlacesEverything) {
    g_quadlevels = 2;
    root = std::make_unique<CPQuadTreeNode>();
    Add(3, 4);
    Add(-3, -4);
    root->Build({CPSmartPtr<IPSceneObject>(objects[0].Get()), CPSmartPtr<IPSceneObject>(objects[1].Get())}, 0);
    EXPECT_EQ(CountObjects(*root), 2u);
    EXPECT_EQ(PathOf(objects[0].Get()), (std::vector<int>{1, 1}));
    EXPECT_EQ(PathOf(objects[1].Get()), (std::vector<int>{0, 0}));
}

// ---------------------------------------------------------------------------------------------
// CollectVisible

class QuadTreeCollect : public QuadTree {
protected:
    void SetUp() override {
        QuadTree::SetUp();
        ASSERT_TRUE(StartRenderer());
        material = Material(30);
        g_distance = 1000;
    }
    void TearDown() override {
        material = nullptr;
        QuadTree::TearDown();
    }
    // An object with a renderable of its own, so the hand-over shows in the batch.
    SceneObject* AddDrawn(float x, float y, float z = 0.0f) {
        SceneObject* object = Add(x, y, z);
        object->renderable = frametest::MakeMesh(material, 3);
        return object;
    }
    void Look(const D3DXVECTOR3& eye, const D3DXVECTOR3& target) { camera = MakeCamera(eye, target); }
    // Renderables handed over this frame, as the objects that own them, in order.
    std::vector<const SceneObject*> HandedOver() const {
        std::vector<const SceneObject*> out;
        CPIVBlock* batch = render->GetRenderBlock()->FindBatch(material.Get());
        if (!batch) return out;
        for (const auto& r : batch->GetRenderables())
            for (const auto& o : objects)
                if (o->renderable.Get() == r.Get()) out.push_back(o.Get());
        return out;
    }

    CPSmartPtr<CPMaterial> material;
};

TEST_F(QuadTreeCollect, HandsOverTheVisibleLeavesInChildOrder) {
    SceneObject* behindLow = AddDrawn(-50, -20);
    SceneObject* aheadHighA = AddDrawn(50, 20);
    SceneObject* aheadLow = AddDrawn(50, -20);
    SceneObject* behindHigh = AddDrawn(-50, 20);
    SceneObject* aheadHighB = AddDrawn(60, 25);
    (void)behindLow;
    (void)behindHigh;
    BuildRoot(1);
    Look(D3DXVECTOR3(0, 0, 10), D3DXVECTOR3(100, 0, 10));
    render->objectsAdded = 5;
    root->CollectVisible(camera.Get());
    EXPECT_EQ(HandedOver(), (std::vector<const SceneObject*>{aheadHighA, aheadHighB, aheadLow}));
    EXPECT_EQ(render->objectsAdded, 5 + 3);
}

TEST_F(QuadTreeCollect, ChildrenAreHandedOverWholeTrees) {
    SceneObject* parent = AddDrawn(50, 0.5f);
    CPSmartPtr<SceneObject> child = MakeSceneObject(D3DXVECTOR3(51, 0.5f, 0));
    child->renderable = frametest::MakeMesh(material, 3);
    parent->children.push_back(CPSmartPtr<frametest::FakeSceneObject>(child.Get()));
    BuildRoot(1);
    Look(D3DXVECTOR3(0, 0, 10), D3DXVECTOR3(100, 0, 10));
    root->CollectVisible(camera.Get());
    CPIVBlock* batch = render->GetRenderBlock()->FindBatch(material.Get());
    ASSERT_NE(batch, nullptr);
    ASSERT_EQ(batch->GetRenderables().size(), 2u);
    EXPECT_EQ(batch->GetRenderables()[1].Get(), child->renderable.Get());
    EXPECT_EQ(render->objectsAdded, 1); // entries of the leaf, not the trees under them
}

struct DistanceCase {
    int distance;
    bool drawn;
};

TEST_F(QuadTreeCollect, OnlyLeavesStrictlyWithinTheDrawDistance) {
    // The leaf's bounds centre is 30 from the eye.
    AddDrawn(30, 0.5f, 10);
    const DistanceCase cases[] = {{29, false}, {30, false}, {31, true}, {100000, true}, {0, false}};
    BuildRoot(1);
    Look(D3DXVECTOR3(0, 0.5f, 10), D3DXVECTOR3(100, 0.5f, 10));
    for (const DistanceCase& c : cases) {
        SCOPED_TRACE(c.distance);
        g_distance = c.distance;
        render->objectsAdded = 0;
        render->GetRenderBlock()->Flush();
        root->CollectVisible(camera.Get());
        EXPECT_EQ(HandedOver().size(), c.drawn ? 1u : 0u);
        EXPECT_EQ(render->objectsAdded, c.drawn ? 1 : 0);
    }
}

TEST_F(QuadTreeCollect, TheRootIsAlwaysEntered) {
    // With no children the root is the leaf: only the distance counts, not the view.
    AddDrawn(-30, 0);
    BuildRoot(0);
    Look(D3DXVECTOR3(0, 0, 0), D3DXVECTOR3(100, 0, 0));
    root->CollectVisible(camera.Get());
    EXPECT_EQ(HandedOver().size(), 1u);
}

TEST_F(QuadTreeCollect, NothingUnderAParentOutsideTheView) {
    // Built by hand: a leaf in front of the camera under a parent bounded behind it.
    CPSmartPtr<SceneObject> object = MakeSceneObject(D3DXVECTOR3(50, 0, 0));
    object->renderable = frametest::MakeMesh(material, 3);
    objects.push_back(object);
    Look(D3DXVECTOR3(0, 0, 0), D3DXVECTOR3(100, 0, 0));
    for (bool parentInView : {false, true}) {
        SCOPED_TRACE(parentInView);
        auto leaf = std::make_unique<CPQuadTreeNode>();
        leaf->SetBounds(D3DXVECTOR3(50, 0, 0), D3DXVECTOR3(1, 1, 1));
        leaf->AddObject(CPSmartPtr<IPSceneObject>(object.Get()));
        auto parent = std::make_unique<CPQuadTreeNode>();
        parent->SetBounds(D3DXVECTOR3(parentInView ? 50.0f : -50.0f, 0, 0), D3DXVECTOR3(2, 2, 2));
        parent->SetChild(0, leaf.release());
        CPQuadTreeNode top;
        top.SetBounds(D3DXVECTOR3(0, 0, 0), D3DXVECTOR3(100, 100, 100));
        top.SetChild(3, parent.release());
        render->GetRenderBlock()->Flush();
        top.CollectVisible(camera.Get());
        EXPECT_EQ(HandedOver().size(), parentInView ? 1u : 0u);
    }
}

TEST_F(QuadTreeCollect, InnerNodesHandOverNoObjectsOfTheirOwn) {
    CPQuadTreeNode top;
    top.SetBounds(D3DXVECTOR3(0, 0, 0), D3DXVECTOR3(100, 100, 100));
    SceneObject* own = AddDrawn(50, 0);
    top.AddObject(CPSmartPtr<IPSceneObject>(own));
    auto empty = std::make_unique<CPQuadTreeNode>();
    empty->SetBounds(D3DXVECTOR3(50, 0, 0), D3DXVECTOR3(5, 5, 5));
    top.SetChild(1, empty.release());
    Look(D3DXVECTOR3(0, 0, 0), D3DXVECTOR3(100, 0, 0));
    top.CollectVisible(camera.Get());
    EXPECT_TRUE(HandedOver().empty());
    EXPECT_EQ(render->objectsAdded, 0);
}

TEST_F(QuadTreeCollect, EmptyEntriesAreCountedButNotHandedOver) {
    CPQuadTreeNode leaf;
    leaf.SetBounds(D3DXVECTOR3(50, 0, 0), D3DXVECTOR3(1, 1, 1));
    SceneObject* drawn = AddDrawn(50, 0);
    leaf.AddObject(nullptr);
    leaf.AddObject(CPSmartPtr<IPSceneObject>(drawn));
    Look(D3DXVECTOR3(0, 0, 0), D3DXVECTOR3(100, 0, 0));
    leaf.CollectVisible(camera.Get());
    EXPECT_EQ(HandedOver().size(), 1u);
    EXPECT_EQ(render->objectsAdded, 2);
}

TEST_F(QuadTreeCollect, NoCameraNoRendererNothingHanded) {
    AddDrawn(50, 0);
    BuildRoot(1);
    root->CollectVisible(nullptr);
    EXPECT_TRUE(HandedOver().empty());
    EXPECT_EQ(render->objectsAdded, 0);

    Look(D3DXVECTOR3(0, 0, 0), D3DXVECTOR3(100, 0, 0));
    StopRenderer();
    root->CollectVisible(camera.Get()); // no renderer: nothing to hand to, no crash
}

} // namespace
