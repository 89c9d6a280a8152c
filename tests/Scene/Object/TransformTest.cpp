// Transforms and bounds: world matrices of a three-level tree against hand-computed ones, the
// dirty and transform-changed flags, the pick and visible bounds, the shadow widening and the
// mesh attachment following the object.
#include <gtest/gtest.h>

#include <functional>

#include "Platform/Math/D3DXMath.h"
#include "Render/PPlanarShadowSource.h"
#include "Render/PRenderObject.h"
#include "Scene/PGameObject.h"
#include "SceneObjectTestSupport.h"
#include "support/Near.h"

namespace {

using kxtest::Matrix;
using kxtest::Near;
using kxtest::RotationZ;
using kxtest::SceneObjectTest;

// Rows of rotations about z, in the row-vector convention (p x M).
const D3DXVECTOR3 kZ(0, 0, 1);
const D3DXVECTOR3 kR90Row0(0, 1, 0), kR90Row1(-1, 0, 0);
const D3DXVECTOR3 kR270Row0(0, -1, 0), kR270Row1(1, 0, 0);
const D3DXVECTOR3 kIRow0(1, 0, 0), kIRow1(0, 1, 0);

// root at (10, 0, 0) turned 90 degrees about z; child at (1, 0, 0); grandchild at (0, 2, 0)
// turned 180 degrees.
class TransformTest : public SceneObjectTest {
protected:
    void SetUp() override {
        root = Make("root");
        child = Make("child");
        grandchild = Make("grandchild");
        root->AddChild(child);
        child->AddChild(grandchild);
        root->SetPosition(D3DXVECTOR3(10, 0, 0));
        root->SetRotation(RotationZ(90));
        child->SetPosition(D3DXVECTOR3(1, 0, 0));
        grandchild->SetPosition(D3DXVECTOR3(0, 2, 0));
        grandchild->SetRotation(RotationZ(180));
        root->UpdateTransform();
    }

public:
    CPSmartPtr<CPGameObject> root, child, grandchild;
};

TEST_F(TransformTest, ThreeLevelWorldMatrices) {
    EXPECT_TRUE(Near(root->GetWorldMatrix(), Matrix(kR90Row0, kR90Row1, kZ, D3DXVECTOR3(10, 0, 0)), 1e-5f));
    EXPECT_TRUE(Near(child->GetWorldMatrix(), Matrix(kR90Row0, kR90Row1, kZ, D3DXVECTOR3(10, 1, 0)), 1e-5f));
    EXPECT_TRUE(Near(grandchild->GetWorldMatrix(), Matrix(kR270Row0, kR270Row1, kZ, D3DXVECTOR3(8, 1, 0)), 1e-5f));
    EXPECT_TRUE(Near(grandchild->GetParentWorldMatrix(), child->GetWorldMatrix()));
    EXPECT_TRUE(Near(grandchild->GetLocalMatrix(),
                     Matrix(D3DXVECTOR3(-1, 0, 0), D3DXVECTOR3(0, -1, 0), kZ, D3DXVECTOR3(0, 2, 0))));
}

TEST_F(TransformTest, UpdateSequences) {
    struct Case {
        const char* name;
        std::function<void(TransformTest&)> act;
        D3DXVECTOR3 grandchildPosition;
    };
    const Case cases[] = {
        {"nothing dirty", [](TransformTest&) {}, D3DXVECTOR3(8, 1, 0)},
        {"parent moved",
         [](TransformTest& t) {
             t.root->SetPosition(D3DXVECTOR3(0, 0, 5));
             t.root->UpdateTransform();
         },
         D3DXVECTOR3(-2, 1, 5)},
        {"child moved, root updated",
         [](TransformTest& t) {
             t.child->SetPosition(D3DXVECTOR3(3, 0, 0));
             t.child->UpdateTransform();
         },
         D3DXVECTOR3(8, 3, 0)},
        {"child moved, root not updated",
         [](TransformTest& t) {
             // Updating the root alone does nothing while the root is clean.
             t.child->SetPosition(D3DXVECTOR3(3, 0, 0));
             t.root->UpdateTransform();
         },
         D3DXVECTOR3(8, 1, 0)},
    };
    for (const Case& c : cases) {
        SetUp();
        c.act(*this);
        const D3DXMATRIX& m = grandchild->GetWorldMatrix();
        EXPECT_TRUE(Near(D3DXVECTOR3(m._41, m._42, m._43), c.grandchildPosition)) << c.name;
    }
}

TEST_F(TransformTest, ChildAddedAfterParentUpdateFollowsOnNextParentUpdate) {
    auto late = Make("late");
    late->SetPosition(D3DXVECTOR3(0, 0, 1));
    root->AddChild(late);
    root->UpdateTransform(); // clean: nothing happens
    EXPECT_TRUE(late->IsDirty());
    root->SetPosition(D3DXVECTOR3(10, 0, 0));
    root->UpdateTransform();
    EXPECT_TRUE(Near(late->GetWorldMatrix(), Matrix(kR90Row0, kR90Row1, kZ, D3DXVECTOR3(10, 0, 1))));
}

TEST_F(TransformTest, LevelOfDetailFollowsPositionAndRotation) {
    auto lod = Make("lod");
    root->AddLevelOfDetail(root, 0);
    root->AddLevelOfDetail(lod, 200);
    root->AddLevelOfDetail(CPSmartPtr<CPGameObject>(), 400);
    root->SetPosition(D3DXVECTOR3(4, 5, 6));
    root->SetRotation(RotationZ(-90));
    EXPECT_TRUE(Near(lod->GetPosition(), D3DXVECTOR3(4, 5, 6)));
    EXPECT_TRUE(Near(lod->GetRotationQuaternion(), RotationZ(-90)));
    EXPECT_TRUE(lod->IsDirty());
    root->UpdateTransform();
    EXPECT_FALSE(lod->IsDirty());
    EXPECT_TRUE(Near(lod->GetWorldMatrix(), Matrix(kR270Row0, kR270Row1, kZ, D3DXVECTOR3(4, 5, 6))));
}

TEST_F(TransformTest, FlagTransitions) {
    // After the update: clean and changed.
    EXPECT_FALSE(root->IsDirty());
    EXPECT_TRUE(root->IsTransformChanged());
    EXPECT_TRUE(grandchild->IsTransformChanged());
    // A renderer that followed clears it; a clean update leaves it.
    root->ClearTransformChanged();
    root->UpdateTransform();
    EXPECT_FALSE(root->IsTransformChanged());
    // Moving clears changed and marks dirty, for every setter.
    root->UpdateTransform();
    root->SetDirty(true);
    root->UpdateTransform();
    ASSERT_TRUE(root->IsTransformChanged());
    root->SetPosition(D3DXVECTOR3(1, 1, 1));
    EXPECT_TRUE(root->IsDirty());
    EXPECT_FALSE(root->IsTransformChanged());
    root->UpdateTransform();
    root->SetRotation(RotationZ(10));
    EXPECT_TRUE(root->IsDirty());
    EXPECT_FALSE(root->IsTransformChanged());
    root->UpdateTransform();
    EXPECT_TRUE(root->IsTransformChanged());
    EXPECT_TRUE(child->IsTransformChanged());
}

TEST_F(TransformTest, PickBoundsOfObjectWithoutPartBoxesIsEmpty) {
    const CPBoundingBox& pick = grandchild->GetPickBounds();
    EXPECT_TRUE(Near(pick.minimum, D3DXVECTOR3(1000000, 1000000, 1000000)));
    EXPECT_TRUE(Near(pick.maximum, D3DXVECTOR3(-1000000, -1000000, -1000000)));
}

TEST_F(TransformTest, PickBoundsCoverPartBoxesOfSubtree) {
    grandchild->PartBoxes().push_back(kxtest::Box(D3DXVECTOR3(0, 0, 0), D3DXVECTOR3(1, 1, 1)));
    root->SetDirty(true);
    root->UpdateTransform();
    // The grandchild sits at (8, 1, 0); its unit box reaches one either way.
    EXPECT_TRUE(Near(root->GetPickBounds().minimum, D3DXVECTOR3(7, 0, -1)));
    EXPECT_TRUE(Near(root->GetPickBounds().maximum, D3DXVECTOR3(9, 2, 1)));
    EXPECT_TRUE(Near(root->GetPickHalfSize(), D3DXVECTOR3(1, 1, 1)));
}

TEST_F(TransformTest, VisibleBoundsUniteOwnBoxesOfSubtree) {
    root->SetCastsShadow(false);
    child->SetCastsShadow(false);
    grandchild->SetCastsShadow(false);
    root->SetBounds(kxtest::Box(D3DXVECTOR3(0, 0, 0), D3DXVECTOR3(1, 1, 1)));
    grandchild->SetBounds(kxtest::Box(D3DXVECTOR3(0, 0, 0), D3DXVECTOR3(0.5f, 0.5f, 0.5f)));
    child->SetBounds(kxtest::Box(D3DXVECTOR3(0, 0, 0), D3DXVECTOR3(0.5f, 0.5f, 0.5f)));
    root->SetDirty(true);
    root->UpdateTransform();
    const CPBoundingBox& visible = root->GetVisibleBounds();
    EXPECT_TRUE(Near(visible.minimum, D3DXVECTOR3(7.5f, -1, -1)));
    EXPECT_TRUE(Near(visible.maximum, D3DXVECTOR3(11, 1.5f, 1)));
    EXPECT_TRUE(Near(visible.centre, D3DXVECTOR3(9.25f, 0.25f, 0)));
    EXPECT_TRUE(Near(visible.halfSize, D3DXVECTOR3(1.75f, 1.25f, 1)));
}

class FlattenToGround final : public IPPlanarShadowSource {
public:
    FlattenToGround() {
        // Moves every point 10 along x and flattens it onto z = 0.
        D3DXMatrixIdentity(&m_matrix);
        m_matrix._33 = 0.0f;
        m_matrix._41 = 10.0f;
    }
    const D3DXMATRIX* GetPlanarShadowMatrix() const override { return &m_matrix; }

private:
    D3DXMATRIX m_matrix;
};

TEST_F(TransformTest, ShadowWidensVisibleBoundsOfCasters) {
    FlattenToGround shadow;
    SetPlanarShadowSource(&shadow);
    auto caster = Make("caster");
    caster->SetBounds(kxtest::Box(D3DXVECTOR3(0, 0, 5), D3DXVECTOR3(1, 1, 1)));
    caster->UpdateTransform();
    auto other = Make("other");
    other->SetCastsShadow(false);
    other->SetBounds(kxtest::Box(D3DXVECTOR3(0, 0, 5), D3DXVECTOR3(1, 1, 1)));
    other->UpdateTransform();
    SetPlanarShadowSource(nullptr);

    EXPECT_TRUE(Near(caster->GetVisibleBounds().minimum, D3DXVECTOR3(-1, -1, 0)));
    EXPECT_TRUE(Near(caster->GetVisibleBounds().maximum, D3DXVECTOR3(11, 1, 6)));
    EXPECT_TRUE(Near(caster->GetVisibleBounds().centre, D3DXVECTOR3(5, 0, 3)));
    EXPECT_TRUE(Near(other->GetVisibleBounds().minimum, D3DXVECTOR3(-1, -1, 4)));
    EXPECT_TRUE(Near(other->GetVisibleBounds().maximum, D3DXVECTOR3(1, 1, 6)));
}

TEST_F(TransformTest, MeshAttachmentReceivesWorldMatrix) {
    auto object = Make("mesh");
    CPSmartPtr<CPRenderObject> mesh(new CPRenderObject(object.Get()));
    object->SetAttachment(CPSmartPtr<IPMMObject>(mesh.Get()), IPSceneObject::KindMesh);
    object->SetPosition(D3DXVECTOR3(2, 3, 4));
    object->UpdateTransform();
    EXPECT_TRUE(Near(mesh->GetWorldMatrix(), Matrix(kIRow0, kIRow1, kZ, D3DXVECTOR3(2, 3, 4))));
    EXPECT_EQ(object->GetRenderObject(), mesh.Get());
    EXPECT_EQ(object->GetRenderable(), mesh.Get());
}

TEST_F(TransformTest, SeamReadsPositionRotationAndParent) {
    const IPSceneObject& seen = *grandchild;
    EXPECT_TRUE(Near(seen.GetRelativePosition(), D3DXVECTOR3(0, 2, 0)));
    EXPECT_TRUE(Near(seen.GetRotation(), RotationZ(180)));
    EXPECT_EQ(seen.GetParentObject(), child.Get());
    EXPECT_EQ(&seen.GetVisibleBounds(), &grandchild->GetVisibleBounds());
}

} // namespace
