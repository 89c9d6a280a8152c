// Copies: the attachment of each kind, part boxes, children as plain objects, shared materials,
// the values that are copied and those that are not, physics data without a body, and the
// copy's own enemy record.
#include <gtest/gtest.h>

#include "Platform/Math/D3DXMath.h"
#include "Render/PLight.h"
#include "Render/PMaterial.h"
#include "Render/PRenderObject.h"
#include "Render/PSprite.h"
#include "Scene/PGameObject.h"
#include "SceneFakes.h"
#include "SceneObjectTestSupport.h"
#include "Script/PLuaScript.h"
#include "support/Near.h"

namespace {

using kxtest::Box;
using kxtest::Near;
using kxtest::RotationZ;

// A class derived from the scene object, as racers and interfaces are.
class DerivedObject : public CPGameObject {
public:
    using CPGameObject::CPGameObject;
    std::string GetClassName() const override { return "DerivedObject"; }
};

class CopyTest : public kxtest::SceneObjectTest {
protected:
    static CPSmartPtr<CPGameObject> Copy(const CPGameObject& source) {
        CPSmartPtr<CPGameObject> copy(new CPGameObject(source.GetName()));
        copy->CopyFrom(source);
        return copy;
    }
    static CPSmartPtr<CPMaterial> Material(int key) {
        return CPSmartPtr<CPMaterial>(new CPMaterial(key, nullptr, nullptr));
    }
};

TEST_F(CopyTest, MeshAttachmentIsANewRenderObjectOwnedByTheCopy) {
    auto source = Make("body");
    CPSmartPtr<CPRenderObject> mesh(new CPRenderObject(source.Get()));
    SPVertex v{};
    v.x = 1;
    mesh->SetMesh({v, v, v}, {0, 1, 2});
    source->SetAttachment(CPSmartPtr<IPMMObject>(mesh.Get()), IPSceneObject::KindMesh);
    auto shadow = Material(40);
    source->SetShadowMaterial(shadow);
    source->SetPosition(D3DXVECTOR3(1, 2, 3));
    source->UpdateTransform();

    auto copy = Copy(*source);
    ASSERT_EQ(copy->GetKind(), IPSceneObject::KindMesh);
    CPRenderObject* copied = copy->GetRenderObject();
    ASSERT_NE(copied, nullptr);
    EXPECT_NE(copied, mesh.Get());
    EXPECT_EQ(copied->GetOwner(), copy.Get());
    EXPECT_EQ(copied->GetVertexCount(), 3);
    EXPECT_EQ(copy->GetShadowMaterial().Get(), shadow.Get());
    // The copy placed its mesh.
    D3DXMATRIX want;
    D3DXMatrixTranslation(&want, 1, 2, 3);
    EXPECT_TRUE(Near(copied->GetWorldMatrix(), want));
}

TEST_F(CopyTest, LightAttachmentCopiesTheRecord) {
    auto source = Make("lamp");
    CPSmartPtr<CPLight> light(new CPLight());
    light->SetOwner(source.Get());
    light->Record().Type = D3DLIGHT_POINT;
    light->Record().Range = 42.0f;
    light->Record().Diffuse.r = 0.5f;
    source->SetAttachment(CPSmartPtr<IPMMObject>(light.Get()), IPSceneObject::KindLight);
    auto copy = Copy(*source);
    CPLight* copied = copy->GetLight();
    ASSERT_NE(copied, nullptr);
    EXPECT_NE(copied, light.Get());
    EXPECT_EQ(copied->GetOwner(), copy.Get());
    EXPECT_EQ(copied->Record().Type, D3DLIGHT_POINT);
    EXPECT_FLOAT_EQ(copied->Record().Range, 42.0f);
    EXPECT_FLOAT_EQ(copied->Record().Diffuse.r, 0.5f);
    // Changing the copy leaves the source alone.
    copied->Record().Range = 1.0f;
    EXPECT_FLOAT_EQ(light->Record().Range, 42.0f);
}

TEST_F(CopyTest, EmptyKindHasNoAttachment) {
    auto source = Make("marker");
    auto copy = Copy(*source);
    EXPECT_EQ(copy->GetKind(), IPSceneObject::KindEmpty);
    EXPECT_FALSE(copy->GetAttachment());
    EXPECT_EQ(copy->GetRenderable(), nullptr);
    EXPECT_EQ(copy->GetLight(), nullptr);
}

TEST_F(CopyTest, CopiedAndNotCopiedValues) {
    CPSmartPtr<CPLuaScript> script(new CPLuaScript());
    auto source = Make("crate");
    auto fire = Material(60);
    source->SetFireMaterial(fire);
    source->SetFlameType(2);
    source->SetPosition(D3DXVECTOR3(4, 5, 6));
    source->SetRotation(RotationZ(90));
    source->SetVisible(false);
    source->SetCastsShadow(false);
    source->SetScript(script);
    source->SetCollision(false);
    source->SetParameterText("p");
    source->SetDescriptionFile("crate.xml");
    source->SetRenderDescriptionName("crate.rdf");
    source->LineKeyPoints().push_back(D3DXVECTOR3(1, 1, 1));
    source->SetLineColour(0xff000000u);
    source->SetCar(CPSmartPtr<IPMMObject>(Make("car").Get()));
    source->AddLevelOfDetail(source, 0);
    source->AddLevelOfDetail(Make("far"), 100);
    source->PartBoxes().push_back(Box(D3DXVECTOR3(0, 0, 0), D3DXVECTOR3(1, 2, 3)));
    source->SetBounds(Box(D3DXVECTOR3(0, 0, 1), D3DXVECTOR3(2, 2, 2)));
    source->AddToScene(10);

    auto copy = Copy(*source);
    EXPECT_EQ(copy->GetName(), "crate");
    EXPECT_EQ(copy->GetFireMaterial().Get(), fire.Get());
    EXPECT_EQ(copy->GetFlameType(), 2);
    EXPECT_TRUE(Near(copy->GetPosition(), D3DXVECTOR3(4, 5, 6)));
    EXPECT_TRUE(Near(copy->GetRotationQuaternion(), RotationZ(90)));
    EXPECT_FALSE(copy->IsVisible());
    EXPECT_FALSE(copy->IsStatic());
    EXPECT_FALSE(copy->IsCastsShadow());
    EXPECT_EQ(copy->GetScript().Get(), script.Get());
    ASSERT_EQ(copy->PartBoxes().size(), 1u);
    EXPECT_TRUE(Near(copy->PartBoxes()[0].GetHalfSize(), D3DXVECTOR3(1, 2, 3)));
    EXPECT_TRUE(Near(copy->GetOwnBox().GetHalfSize(), D3DXVECTOR3(2, 2, 2)));
    // The copy ran its own transform update.
    EXPECT_FALSE(copy->IsDirty());
    EXPECT_TRUE(copy->IsTransformChanged());
    EXPECT_TRUE(Near(copy->GetPickBounds().centre, D3DXVECTOR3(4, 5, 6)));
    // Not copied.
    EXPECT_FALSE(copy->IsInScene());
    EXPECT_TRUE(copy->IsCollision());
    EXPECT_TRUE(copy->GetLevelsOfDetail().empty());
    EXPECT_EQ(copy->GetParameterText(), "");
    EXPECT_EQ(copy->GetDescriptionFile(), "");
    EXPECT_EQ(copy->GetRenderDescriptionName(), "");
    EXPECT_TRUE(copy->LineKeyPoints().empty());
    EXPECT_EQ(copy->GetLineColour(), CPGameObject::kDefaultLineColour);
    EXPECT_FALSE(copy->GetCar());
    EXPECT_EQ(copy->GetEnemy(), nullptr);
    source->RemoveFromScene();
    source->Release(); // the reference held for the script
}

TEST_F(CopyTest, ChildrenArePlainObjectsInOrderAndByName) {
    auto source = Make("racer");
    CPSmartPtr<CPGameObject> wheel(new DerivedObject("wheel"));
    auto hub = Make("hub");
    auto body = Make("body");
    wheel->AddChild(hub);
    source->AddChild(wheel);
    source->AddChild(body);
    wheel->SetPosition(D3DXVECTOR3(1, 0, 0));
    auto copy = Copy(*source);
    ASSERT_EQ(copy->GetChildCount(), 2);
    auto* copiedWheel = dynamic_cast<CPGameObject*>(copy->GetChild(0));
    ASSERT_NE(copiedWheel, nullptr);
    EXPECT_EQ(copiedWheel->GetClassName(), "CPGameObject - wheel");
    EXPECT_NE(copiedWheel, wheel.Get());
    EXPECT_EQ(copiedWheel->GetParentPointer(), copy.Get());
    EXPECT_EQ(copy->GetChild("wheel").Get(), copiedWheel);
    EXPECT_EQ(copy->FindObject("hub")->GetParentPointer(), copiedWheel);
    EXPECT_NE(copy->FindObject("hub").Get(), hub.Get());
    EXPECT_EQ(dynamic_cast<CPGameObject*>(copy->GetChild(1))->GetName(), "body");
    // The children follow the copy.
    copy->SetPosition(D3DXVECTOR3(0, 0, 7));
    copy->UpdateTransform();
    const D3DXMATRIX& m = copiedWheel->GetWorldMatrix();
    EXPECT_TRUE(Near(D3DXVECTOR3(m._41, m._42, m._43), D3DXVECTOR3(1, 0, 7)));
}

TEST_F(CopyTest, PhysicsDataIsCopiedWithoutABody) {
    auto source = Make("barrel");
    CPSmartPtr<kxtest::FakePhysicData> data(new kxtest::FakePhysicData(source.Get(), true));
    data->SetShape(1, 2, 3, 40);
    data->AddBoxShape(D3DXVECTOR3(0, 0, 0), D3DXQUATERNION(0, 0, 0, 1), 1, 1, 1, 1);
    data->AddCylinderShape(D3DXVECTOR3(0, 0, 0), D3DXQUATERNION(0, 0, 0, 1), 1, 2, 3);
    source->SetPhysicData(CPSmartPtr<IPPhysicData>(data.Get()));
    auto copy = Copy(*source);
    auto* copied = dynamic_cast<kxtest::FakePhysicData*>(copy->GetPhysicData().Get());
    ASSERT_NE(copied, nullptr);
    EXPECT_NE(copied, data.Get());
    EXPECT_EQ(copied->owner, copy.Get());
    EXPECT_FALSE(copied->hasBody);
    EXPECT_EQ(copied->shape, (std::vector<float>{1, 2, 3, 40}));
    EXPECT_EQ(copied->shapes, (std::vector<std::string>{"box", "cylinder"}));
    // Without physics data the copy has none.
    EXPECT_FALSE(Copy(*Make("plain"))->GetPhysicData());
}

TEST_F(CopyTest, MovingMovesTheBodyThroughThePhysicsData) {
    auto object = Make("barrel");
    CPSmartPtr<kxtest::FakePhysicData> data(new kxtest::FakePhysicData(object.Get(), true));
    object->SetPhysicData(CPSmartPtr<IPPhysicData>(data.Get()));
    object->SetPosition(D3DXVECTOR3(1, 2, 3));
    object->SetRotation(RotationZ(45));
    ASSERT_EQ(data->positions.size(), 1u);
    EXPECT_TRUE(Near(data->positions[0], D3DXVECTOR3(1, 2, 3)));
    ASSERT_EQ(data->rotations.size(), 1u);
    EXPECT_TRUE(Near(data->rotations[0], RotationZ(45)));
}

TEST_F(CopyTest, CopyOfADescribedObjectGetsARecordOfItsOwn) {
    kxtest::FakeEnemyMaker maker;
    kxtest::ScopedEnemyMaker installed(&maker);
    auto described = Make("monster");
    described->Description().Parse("<enemy hp=\"5\"/>");
    ASSERT_TRUE(described->GetDescription().FirstChild());
    auto plain = Make("rock");
    {
        auto copy = Copy(*described);
        EXPECT_NE(copy->GetEnemy(), nullptr);
        EXPECT_EQ(described->GetEnemy(), nullptr);
        ASSERT_NE(copy->GetDescription().RootElement(), nullptr);
        EXPECT_STREQ(copy->GetDescription().RootElement()->Attribute("hp"), "5");
        auto plainCopy = Copy(*plain);
        EXPECT_EQ(plainCopy->GetEnemy(), nullptr);
        EXPECT_EQ(kxtest::LiveEnemyRecords(), 1);
    }
    IPMMObject::CollectGarbage();
    EXPECT_EQ(kxtest::LiveEnemyRecords(), 0);
    EXPECT_EQ(maker.asked, (std::vector<std::string>{"monster"}));
}

} // namespace

namespace {

TEST_F(CopyTest, SpriteAttachmentIsANewSpriteOwnedByTheCopy) {
    auto source = Make("lamp-glow");
    CPSmartPtr<CPSprite> sprite(new CPSprite(2.5f));
    sprite->SetOwner(source.Get());
    auto material = Material(90);
    sprite->SetMaterial(material);
    sprite->SetHalfHeight(4.0f);
    sprite->SetColour(0x80ff0000u);
    sprite->SetName("sun");
    source->SetAttachment(CPSmartPtr<IPMMObject>(sprite.Get()), IPSceneObject::KindSprite);
    auto copy = Copy(*source);
    ASSERT_EQ(copy->GetKind(), IPSceneObject::KindSprite);
    auto* copied = dynamic_cast<CPSprite*>(copy->GetAttachment().Get());
    ASSERT_NE(copied, nullptr);
    EXPECT_NE(copied, sprite.Get());
    EXPECT_EQ(copied->GetOwner(), copy.Get());
    EXPECT_EQ(copy->GetRenderable(), copied);
    EXPECT_EQ(copied->GetMaterial().Get(), material.Get());
    EXPECT_FLOAT_EQ(copied->GetHalfWidth(), 2.5f);
    EXPECT_FLOAT_EQ(copied->GetHalfHeight(), 4.0f);
    EXPECT_EQ(copied->GetColour(), 0x80ff0000u);
    EXPECT_EQ(copied->GetName(), "sun");
    EXPECT_EQ(sprite->GetOwner(), source.Get());
}

} // namespace
