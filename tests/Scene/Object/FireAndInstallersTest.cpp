// The fire material put on a burning tree, and the installers of what the layers above the
// scene provide.
#include <gtest/gtest.h>

#include "Render/PMaterial.h"
#include "Render/PRenderObject.h"
#include "Scene/PGameObject.h"
#include "Scene/SceneInterfaces.h"
#include "SceneFakes.h"
#include "SceneObjectTestSupport.h"

namespace {

class FireTest : public kxtest::SceneObjectTest {
protected:
    static CPSmartPtr<CPMaterial> Material(int key) {
        return CPSmartPtr<CPMaterial>(new CPMaterial(key, nullptr, nullptr));
    }
    static CPSmartPtr<CPRenderObject> Mesh(CPGameObject& object, const CPSmartPtr<CPMaterial>& material) {
        CPSmartPtr<CPRenderObject> mesh(new CPRenderObject(&object));
        mesh->SetEffect(material);
        object.SetAttachment(CPSmartPtr<IPMMObject>(mesh.Get()), IPSceneObject::KindMesh);
        return mesh;
    }
};

TEST_F(FireTest, MeshesWithAFireMaterialBurnThroughoutTheTree) {
    auto normal = Material(10);
    auto burnt = Material(11);
    // root: a mesh without a fire material; its child: no mesh, a fire material; the
    // grandchild: a mesh with one; a second child: a hidden mesh with one.
    auto root = Make("root");
    auto rootMesh = Mesh(*root, normal);
    auto child = Make("child");
    child->SetFireMaterial(burnt);
    auto grandchild = Make("grandchild");
    auto grandchildMesh = Mesh(*grandchild, normal);
    grandchild->SetFireMaterial(burnt);
    auto hidden = Make("hidden");
    auto hiddenMesh = Mesh(*hidden, normal);
    hidden->SetFireMaterial(burnt);
    hidden->SetVisible(false);
    root->AddChild(child);
    child->AddChild(grandchild);
    root->AddChild(hidden);

    root->ApplyFireMaterial();
    EXPECT_EQ(rootMesh->GetMaterial().Get(), normal.Get());
    EXPECT_EQ(grandchildMesh->GetMaterial().Get(), burnt.Get());
    EXPECT_EQ(hiddenMesh->GetMaterial().Get(), burnt.Get());
    EXPECT_EQ(child->GetKind(), IPSceneObject::KindEmpty);
}

TEST(SceneInstallers, NoneUntilInstalledAndNoneAfterRemoval) {
    EXPECT_EQ(GetPhysicDataMaker(), nullptr);
    EXPECT_EQ(GetEnemyMaker(), nullptr);
    EXPECT_EQ(GetLensFlareOverlayMaker(), nullptr);
    EXPECT_EQ(GetLensFlarePoolSink(), nullptr);
    kxtest::FakeEnemyMaker enemies;
    SetEnemyMaker(&enemies);
    EXPECT_EQ(GetEnemyMaker(), &enemies);
    SetEnemyMaker(nullptr);
    EXPECT_EQ(GetEnemyMaker(), nullptr);
}

} // namespace
