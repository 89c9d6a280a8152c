// Ray picking over a small tree: the nearest hit of a subtree, objects hidden by their
// collision flag or by being excluded, the hit owner, and the one-object pick.
#include <gtest/gtest.h>

#include <functional>

#include "Scene/PGameObject.h"
#include "SceneObjectTestSupport.h"
#include "Script/PLuaScript.h"
#include "support/Near.h"

namespace {

using kxtest::Box;
using kxtest::Near;

// root (no boxes) -> a at x 10, b at x 20 -> b1 at x 25; each with a unit part box. Rays run
// along x.
class PickingTest : public kxtest::SceneObjectTest {
public:
    void Build() {
        root = Make("root");
        a = Make("a");
        b = Make("b");
        b1 = Make("b1");
        root->AddChild(a);
        root->AddChild(b);
        b->AddChild(b1);
        a->SetPosition(D3DXVECTOR3(10, 0, 0));
        b->SetPosition(D3DXVECTOR3(20, 0, 0));
        b1->SetPosition(D3DXVECTOR3(5, 0, 0));
        for (auto* o : {a.Get(), b.Get(), b1.Get()})
            o->PartBoxes().push_back(Box(D3DXVECTOR3(0, 0, 0), D3DXVECTOR3(1, 1, 1)));
        root->UpdateTransform();
    }
    static SPRayPick Ray(const D3DXVECTOR3& origin, const D3DXVECTOR3& direction, float length) {
        SPRayPick pick;
        pick.origin = origin;
        pick.direction = direction;
        pick.distance = length;
        return pick;
    }

    CPSmartPtr<CPGameObject> root, a, b, b1;
};

TEST_F(PickingTest, Table) {
    struct Case {
        const char* name;
        std::function<void(PickingTest&, SPRayPick&)> prepare;
        D3DXVECTOR3 origin;
        D3DXVECTOR3 direction;
        float length;
        const char* hit; // null for none
        float distance;
    };
    const D3DXVECTOR3 forward(1, 0, 0), back(-1, 0, 0);
    const Case cases[] = {
        {"nearest of the subtree", [](PickingTest&, SPRayPick&) {}, {0, 0, 0}, forward, 100, "a", 9},
        {"collision off hides the object",
         [](PickingTest& t, SPRayPick&) { t.a->SetCollision(false); },
         {0, 0, 0},
         forward,
         100,
         "b",
         19},
        {"collision off hides the subtree",
         [](PickingTest& t, SPRayPick&) { t.b->SetCollision(false); },
         {30, 0, 0},
         back,
         100,
         "a",
         19},
        {"excluded object",
         [](PickingTest& t, SPRayPick& p) { p.excluded = t.a.Get(); },
         {0, 0, 0},
         forward,
         100,
         "b",
         19},
        {"excluded subtree",
         [](PickingTest& t, SPRayPick& p) { p.excluded = t.b.Get(); },
         {30, 0, 0},
         back,
         100,
         "a",
         19},
        {"excluded root hides everything",
         [](PickingTest& t, SPRayPick& p) { p.excluded = t.root.Get(); },
         {0, 0, 0},
         forward,
         100,
         nullptr,
         100},
        {"from the other side", [](PickingTest&, SPRayPick&) {}, {30, 0, 0}, back, 100, "b1", 4},
        {"too short", [](PickingTest&, SPRayPick&) {}, {0, 0, 0}, forward, 8.5f, nullptr, 8.5f},
        {"beside everything", [](PickingTest&, SPRayPick&) {}, {0, 5, 0}, forward, 100, nullptr, 100},
    };
    for (const Case& c : cases) {
        Build();
        SPRayPick pick = Ray(c.origin, c.direction, c.length);
        c.prepare(*this, pick);
        const bool hit = root->RayPick(pick);
        EXPECT_EQ(hit, c.hit != nullptr) << c.name;
        EXPECT_FLOAT_EQ(pick.distance, c.distance) << c.name;
        if (c.hit) {
            ASSERT_TRUE(pick.hitObject) << c.name;
            EXPECT_EQ(pick.hitObject->GetName(), c.hit) << c.name;
            EXPECT_EQ(pick.hitOwner.Get(), root.Get()) << c.name;
        } else {
            EXPECT_FALSE(pick.hitObject) << c.name;
        }
    }
}

TEST_F(PickingTest, HitPlaneIsTheEnteredFace) {
    Build();
    SPRayPick pick = Ray(D3DXVECTOR3(0, 0, 0), D3DXVECTOR3(1, 0, 0), 100);
    ASSERT_TRUE(root->RayPick(pick));
    // The face x = 9 of a's box, its normal pointing back along the ray.
    D3DXPLANE plane = pick.hitPlane;
    const float length = std::sqrt(plane.a * plane.a + plane.b * plane.b + plane.c * plane.c);
    ASSERT_GT(length, 0.0f);
    EXPECT_TRUE(Near(D3DXVECTOR3(plane.a, plane.b, plane.c) / length, D3DXVECTOR3(-1, 0, 0)));
    EXPECT_NEAR(plane.d / length, 9.0f, 1e-4f);
}

TEST_F(PickingTest, HitOwnerIsTheScriptedAncestor) {
    Build();
    CPSmartPtr<CPLuaScript> script(new CPLuaScript());
    b->SetScript(script);
    SPRayPick pick = Ray(D3DXVECTOR3(30, 0, 0), D3DXVECTOR3(-1, 0, 0), 100);
    ASSERT_TRUE(root->RayPick(pick));
    EXPECT_EQ(pick.hitObject.Get(), b1.Get());
    EXPECT_EQ(pick.hitOwner.Get(), b.Get());
}

// One object with a far box listed before a near one.
TEST_F(PickingTest, PickSelfStopsAtTheFirstBoxAndUsesVisibility) {
    auto object = Make("wall");
    object->PartBoxes().push_back(Box(D3DXVECTOR3(20, 0, 0), D3DXVECTOR3(1, 1, 1)));
    object->PartBoxes().push_back(Box(D3DXVECTOR3(10, 0, 0), D3DXVECTOR3(1, 1, 1)));
    auto child = Make("child");
    child->PartBoxes().push_back(Box(D3DXVECTOR3(5, 0, 0), D3DXVECTOR3(1, 1, 1)));
    object->AddChild(child);
    object->UpdateTransform();

    SPRayPick self = Ray(D3DXVECTOR3(0, 0, 0), D3DXVECTOR3(1, 0, 0), 100);
    EXPECT_TRUE(object->RayPickSelf(self));
    EXPECT_FLOAT_EQ(self.distance, 19.0f); // the first box listed, not the nearest; no children
    EXPECT_EQ(self.hitObject.Get(), object.Get());

    SPRayPick tree = Ray(D3DXVECTOR3(0, 0, 0), D3DXVECTOR3(1, 0, 0), 100);
    EXPECT_TRUE(object->RayPick(tree));
    EXPECT_FLOAT_EQ(tree.distance, 4.0f);
    EXPECT_EQ(tree.hitObject.Get(), child.Get());

    // Collision does not gate the one-object pick; visibility does.
    object->SetCollision(false);
    SPRayPick noCollision = Ray(D3DXVECTOR3(0, 0, 0), D3DXVECTOR3(1, 0, 0), 100);
    EXPECT_TRUE(object->RayPickSelf(noCollision));
    object->SetVisible(false);
    SPRayPick hidden = Ray(D3DXVECTOR3(0, 0, 0), D3DXVECTOR3(1, 0, 0), 100);
    EXPECT_FALSE(object->RayPickSelf(hidden));
    EXPECT_FALSE(hidden.hitObject);
}

TEST_F(PickingTest, ObjectWithoutBoxesIsNeverSelected) {
    auto empty = Make("empty");
    empty->UpdateTransform();
    SPRayPick pick = Ray(D3DXVECTOR3(-5, 0, 0), D3DXVECTOR3(1, 0, 0), 100);
    EXPECT_FALSE(empty->RayPick(pick));
    EXPECT_FALSE(empty->RayPickSelf(pick));
}

} // namespace
