// Physics data of scene objects: masses through "weight_div", the body the world makes of
// them, poses pushed to the body, and what stays safe when the world goes away.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "Framework/PLog.h"
#include "WorldTestSupport.h"

namespace {

using kxtest::WorldTest;

using BindingTest = WorldTest;

TEST_F(BindingTest, BodyMassAndInertiaThroughTheDivisor) {
    struct Case {
        int weightDiv;
        float mass;
        float expectedMass;
    };
    // A divisor of 0 or below would make every mass infinite or not a number: it acts as 1.
    const Case cases[] = {{3, 300.0f, 100.0f}, {1, 300.0f, 300.0f}, {0, 300.0f, 300.0f}, {-2, 300.0f, 300.0f}};
    ASSERT_TRUE(physics->CreateWorld());
    for (const Case& c : cases) {
        g_weight_div = c.weightDiv;
        CPSmartPtr<CPGameObject> object = MakeBody("box", 1, 2, 3, c.mass, D3DXVECTOR3(0, 0, 10));
        CPPhysicData* data = Data(object);
        EXPECT_FLOAT_EQ(data->GetMass(), c.expectedMass) << "weight_div " << c.weightDiv;
        EXPECT_EQ(g_weight_div, c.weightDiv) << "the setting keeps its value";
        EXPECT_EQ(data->GetBodyShape().size1, 2.0f);
        EXPECT_EQ(data->GetBodyShape().size2, 1.0f);
        EXPECT_EQ(data->GetBodyShape().size3, 3.0f);
        data->AddToWorld(0);
        ASSERT_NE(data->GetRigidBody(), nullptr);
        EXPECT_FLOAT_EQ(data->GetRigidBody()->GetMass(), c.expectedMass);
        data->RemoveFromWorld();
    }
}

TEST_F(BindingTest, InertiaUsesTheLargestSize) {
    g_weight_div = 3;
    ASSERT_TRUE(physics->CreateWorld());
    CPSmartPtr<CPGameObject> object = MakeBody("box", 1, 2, 3, 300, D3DXVECTOR3(0, 0, 10));
    Data(object)->AddToWorld(0);
    RbRigidBody* body = Data(object)->GetRigidBody();
    ASSERT_NE(body, nullptr);
    // 2/3 x 100 x 3^2 on every axis: inverse 1/600.
    const RbMatrix3& inverse = body->GetWorldInverseInertia();
    EXPECT_NEAR(inverse.r[0].x, 1.0f / 600.0f, 1e-7f);
    EXPECT_NEAR(inverse.r[1].y, 1.0f / 600.0f, 1e-7f);
    EXPECT_NEAR(inverse.r[2].z, 1.0f / 600.0f, 1e-7f);
}

TEST_F(BindingTest, ShapeMasses) {
    g_weight_div = 2;
    CPSmartPtr<CPGameObject> object(new CPGameObject("o"));
    CPSmartPtr<CPPhysicData> data(new CPPhysicData(object.Get()));
    data->AddCylinderShape(D3DXVECTOR3(1, 2, 3), D3DXQUATERNION(0, 0, 0, 1), 0.8f, 0.4f, 400.0f);
    data->AddBoxShape(D3DXVECTOR3(0, 0, 0), D3DXQUATERNION(0, 0, 0, 1), 1, 2, 3, 400.0f);
    ASSERT_EQ(data->Shapes().size(), 2u);
    const SPPhysicShape& cylinder = data->Shapes()[0];
    EXPECT_EQ(cylinder.kind, 1);
    EXPECT_FLOAT_EQ(cylinder.mass, 1.0f) << "cylinders take no divisor";
    EXPECT_EQ(cylinder.size1, 5.0f);
    EXPECT_EQ(cylinder.size2, 0.4f);
    EXPECT_EQ(cylinder.size3, 5.0f);
    EXPECT_EQ(cylinder.diameter, 0.8f);
    EXPECT_EQ(cylinder.offset.y, 2.0f);
    const SPPhysicShape& box = data->Shapes()[1];
    EXPECT_EQ(box.kind, 0);
    EXPECT_FLOAT_EQ(box.mass, 200.0f);
}

TEST_F(BindingTest, RotationOfAnyLengthIsNormalised) {
    ASSERT_TRUE(physics->CreateWorld());
    CPSmartPtr<CPGameObject> object = MakeBody("box", 1, 1, 1, 10, D3DXVECTOR3(1, 2, 3));
    object->SetRotation(D3DXQUATERNION(0, 0, 0, 2));
    Data(object)->AddToWorld(0);
    RbRigidBody* body = Data(object)->GetRigidBody();
    ASSERT_NE(body, nullptr);
    const RbQuaternion q = body->GetRotation();
    EXPECT_FLOAT_EQ(q.w, 1.0f);
    EXPECT_FLOAT_EQ(q.x, 0.0f);
    const RbVector p = body->GetPosition();
    EXPECT_EQ(p.x, 1.0f);
    EXPECT_EQ(p.y, 2.0f);
    EXPECT_EQ(p.z, 3.0f);
}

TEST_F(BindingTest, AddToWorldTwiceMakesOneBody) {
    ASSERT_TRUE(physics->CreateWorld());
    const int freeBefore = physics->GetSimulator()->FreeRigidBodies();
    CPSmartPtr<CPGameObject> object = MakeBody("box", 1, 1, 1, 10, D3DXVECTOR3(0, 0, 5));
    Data(object)->AddToWorld(0);
    RbRigidBody* first = Data(object)->GetRigidBody();
    Data(object)->AddToWorld(0);
    EXPECT_EQ(Data(object)->GetRigidBody(), first);
    EXPECT_EQ(physics->GetSimulator()->FreeRigidBodies(), freeBefore - 1);
    EXPECT_EQ(first->GetUserData(), object.Get());
}

TEST_F(BindingTest, BodyKindFollowsTheMass) {
    ASSERT_TRUE(physics->CreateWorld());
    struct Case {
        float mass;
        bool animated;
    };
    const Case cases[] = {{-1.0f, true}, {0.0f, false}, {5.0f, false}};
    for (const Case& c : cases) {
        CPSmartPtr<CPGameObject> object = MakeBody("b", 1, 1, 1, c.mass, D3DXVECTOR3(4, 5, 6));
        object->SetRotation(D3DXQUATERNION(0, 0, 0.7071068f, 0.7071068f));
        physics->AddBody(object, true, 2);
        CPPhysicData* data = Data(object);
        EXPECT_EQ(data->GetAnimatedBody() != nullptr, c.animated) << c.mass;
        EXPECT_EQ(data->GetRigidBody() != nullptr, !c.animated) << c.mass;
        ASSERT_NE(data->GetBody(), nullptr);
        EXPECT_EQ(data->GetBody()->GetUserData(), object.Get());
        ASSERT_NE(data->Shapes()[0].geometry, nullptr);
        EXPECT_EQ(data->Shapes()[0].geometry->GetMaterial(), 2) << "the tag is the shape's material";
        if (c.animated) {
            const RbVector p = data->GetAnimatedBody()->GetPosition();
            EXPECT_EQ(p.x, 4.0f);
            EXPECT_EQ(p.z, 6.0f);
        }
        data->RemoveFromWorld();
    }
}

TEST_F(BindingTest, SetBodyRotationPerBodyKind) {
    ASSERT_TRUE(physics->CreateWorld());
    const D3DXQUATERNION quarter(0, 0, 0.7071068f, 0.7071068f);

    CPSmartPtr<CPGameObject> animated = MakeBody("a", 1, 1, 1, -1, D3DXVECTOR3(0, 0, 0));
    physics->AddBody(animated, true, 0);
    Data(animated)->SetBodyRotation(quarter);
    // The local x axis turned a quarter about z points along y.
    const RbMatrix* t = Data(animated)->GetAnimatedBody()->GetTransformMatrix();
    EXPECT_NEAR(t->m[0][0], 0.0f, 1e-6f);
    EXPECT_NEAR(std::fabs(t->m[0][1]), 1.0f, 1e-6f);

    CPSmartPtr<CPGameObject> rigid = MakeBody("r", 1, 1, 1, 5, D3DXVECTOR3(0, 0, 0));
    Data(rigid)->AddToWorld(0);
    Data(rigid)->SetBodyRotation(quarter);
    const RbQuaternion q = Data(rigid)->GetRigidBody()->GetRotation();
    EXPECT_NEAR(q.z, 0.7071068f, 1e-6f);
    EXPECT_NEAR(q.w, 0.7071068f, 1e-6f);

    CPSmartPtr<CPGameObject> none = MakeBody("n", 1, 1, 1, 5, D3DXVECTOR3(0, 0, 0));
    Data(none)->SetBodyRotation(quarter);
    Data(none)->SetPosition(D3DXVECTOR3(1, 1, 1));
    EXPECT_FALSE(Data(none)->HasBody());
}

TEST_F(BindingTest, DestroyWorldLeavesNoDataWithAFreedBody) {
    ASSERT_TRUE(physics->CreateWorld());
    CPSmartPtr<CPGameObject> rigid = MakeBody("r", 1, 1, 1, 5, D3DXVECTOR3(0, 0, 3));
    CPSmartPtr<CPGameObject> animated = MakeBody("a", 1, 1, 1, -1, D3DXVECTOR3(0, 0, 3));
    Data(rigid)->AddToWorld(0);
    physics->AddBody(animated, true, 0);
    physics->ActivateObject(rigid);
    EXPECT_EQ(physics->GetBoundCount(), 2);
    physics->DestroyWorld();
    EXPECT_EQ(physics->GetBoundCount(), 0);
    for (const auto& object : {rigid, animated}) {
        CPPhysicData* data = Data(object);
        EXPECT_FALSE(data->HasBody());
        EXPECT_EQ(data->Shapes()[0].geometry, nullptr);
        // Scripts may still move the objects: nothing reaches the freed bodies.
        object->SetPosition(D3DXVECTOR3(1, 2, 3));
        object->SetRotation(D3DXQUATERNION(0, 0, 1, 0));
        data->RemoveFromWorld();
    }
    EXPECT_TRUE(physics->GetActiveObjects().empty());
    // A later world takes the same data again.
    ASSERT_TRUE(physics->CreateWorld());
    Data(rigid)->AddToWorld(0);
    EXPECT_NE(Data(rigid)->GetRigidBody(), nullptr);
}

TEST_F(BindingTest, ExhaustedPoolLeavesTheDataBodiless) {
    ASSERT_TRUE(physics->CreateWorld());
    std::vector<CPSmartPtr<CPGameObject>> objects;
    const int capacity = physics->GetSimulator()->FreeRigidBodies();
    for (int i = 0; i < capacity; ++i) {
        objects.push_back(MakeBody("b", 1, 1, 1, 1, D3DXVECTOR3(static_cast<float>(i) * 3.0f, 0, 2)));
        Data(objects.back())->AddToWorld(0);
        ASSERT_TRUE(Data(objects.back())->HasBody()) << i;
    }
    CPSmartPtr<CPGameObject> extra = MakeBody("extra", 1, 1, 1, 1, D3DXVECTOR3(0, 0, 50));
    Data(extra)->AddToWorld(0);
    EXPECT_FALSE(Data(extra)->HasBody());
    physics->ActivateObject(extra);
    EXPECT_EQ(physics->GetActiveObjects().count(extra.Get()), 0u) << "bodiless objects are never active";
    Frame(0.02f);
    // A freed body makes room again.
    Data(objects.front())->RemoveFromWorld();
    for (int i = 0; i < 3; ++i) Frame(0.02f);
    Data(extra)->AddToWorld(0);
    EXPECT_TRUE(Data(extra)->HasBody());
}

TEST_F(BindingTest, ExhaustedGeometryPoolIsReportedInTheGameLog) {
    std::vector<std::string> lines;
    CPLog::Instance().SetSink([&lines](int, const std::string& text) { lines.push_back(text); });
    ASSERT_TRUE(physics->CreateWorld());
    const int geometries = physics->GetSimulator()->FreeGeometries();
    CPSmartPtr<CPGameObject> object = MakeBody("b", 1, 1, 1, 5, D3DXVECTOR3(0, 0, 3));
    for (int i = 0; i < geometries; ++i)
        Data(object)->AddBoxShape(D3DXVECTOR3(0, 0, 0), D3DXQUATERNION(0, 0, 0, 1), 1, 1, 1, 1);
    Data(object)->AddToWorld(0);
    CPLog::Instance().SetSink(nullptr);
    ASSERT_TRUE(Data(object)->HasBody());
    EXPECT_NE(Data(object)->Shapes()[geometries - 1].geometry, nullptr);
    EXPECT_EQ(Data(object)->Shapes()[geometries].geometry, nullptr);
    bool reported = false;
    for (const std::string& line : lines)
        reported = reported || line.find("Run out of Geometries") != std::string::npos;
    EXPECT_TRUE(reported);
    Frame(0.05f);
}

TEST_F(BindingTest, CopiedShapesHaveNoBody) {
    ASSERT_TRUE(physics->CreateWorld());
    CPSmartPtr<CPGameObject> object = MakeBody("b", 1, 2, 3, 6, D3DXVECTOR3(0, 0, 3));
    Data(object)->AddToWorld(0);
    CPSmartPtr<CPGameObject> other(new CPGameObject("copy"));
    CPSmartPtr<IPPhysicData> copy = Data(object)->CopyShapesFor(other.Get());
    auto* data = dynamic_cast<CPPhysicData*>(copy.Get());
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(data->GetOwner(), other.Get());
    EXPECT_FALSE(data->HasBody());
    EXPECT_EQ(data->GetMass(), 6.0f);
    ASSERT_EQ(data->Shapes().size(), 1u);
    EXPECT_EQ(data->Shapes()[0].geometry, nullptr);
}

TEST_F(BindingTest, DataGoneBeforeItsBodyLeavesNothingDangling) {
    ASSERT_TRUE(physics->CreateWorld());
    CPSmartPtr<CPGameObject> object = MakeBody("b", 1, 1, 1, 5, D3DXVECTOR3(0, 0, 3));
    Data(object)->AddToWorld(0);
    physics->ActivateObject(object);
    RbRigidBody* body = Data(object)->GetRigidBody();
    object = nullptr;
    for (int i = 0; i < 3; ++i) IPMMObject::CollectGarbage();
    EXPECT_TRUE(physics->GetActiveObjects().empty());
    EXPECT_EQ(body->GetUserData(), nullptr);
    EXPECT_EQ(physics->GetBoundCount(), 0);
    Frame(0.05f);
}

// The collector frees the object one pass before its physics data: in between, a frame must not
// reach the dead object through the active set or the body.
TEST_F(BindingTest, ObjectGoneBeforeItsDataLeavesNothingDangling) {
    ASSERT_TRUE(physics->CreateWorld());
    CPSmartPtr<CPGameObject> object = MakeBody("b", 1, 1, 1, 5, D3DXVECTOR3(0, 0, 3));
    Data(object)->AddToWorld(0);
    physics->ActivateObject(object);
    CPSmartPtr<CPPhysicData> data(Data(object));
    RbRigidBody* body = data->GetRigidBody();
    object = nullptr;
    IPMMObject::CollectGarbage();
    EXPECT_EQ(data->GetOwner(), nullptr);
    EXPECT_TRUE(physics->GetActiveObjects().empty());
    EXPECT_EQ(body->GetUserData(), nullptr);
    Frame(0.05f);
}

} // namespace
