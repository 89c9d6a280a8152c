// What the renderer reads of scene objects: the render block's hand-over of a tree of them, its
// static pre-write over an object with levels of detail, and a mesh following its object.
#include <gtest/gtest.h>

#include "Render/Frame/FrameFixture.h"
#include "Render/PIVBlock.h"
#include "Render/PIVertexBuffer.h"
#include "Render/PLight.h"
#include "Render/PRenderBlock.h"
#include "Render/PRenderObject.h"
#include "Scene/PGameObject.h"

namespace {

using frametest::MakeMesh;

class SceneSeamTest : public frametest::RenderFixture {
protected:
    void SetUp() override {
        RenderFixture::SetUp();
        ASSERT_TRUE(StartRenderer());
        block = render->GetRenderBlock();
        material = Material(30);
    }
    void TearDown() override {
        block = nullptr;
        material = nullptr;
        RenderFixture::TearDown();
    }
    static CPSmartPtr<CPGameObject> MeshObject(const std::string& name, const CPSmartPtr<CPRenderObject>& mesh) {
        CPSmartPtr<CPGameObject> object(new CPGameObject(name));
        if (mesh) {
            mesh->SetOwner(object.Get());
            object->SetAttachment(CPSmartPtr<IPMMObject>(mesh.Get()), IPSceneObject::KindMesh);
        }
        return object;
    }
    int BatchSize() const {
        CPIVBlock* batch = block->FindBatch(material.Get());
        return batch ? static_cast<int>(batch->GetRenderables().size()) : 0;
    }

    CPSmartPtr<CPRenderBlock> block;
    CPSmartPtr<CPMaterial> material;
};

TEST_F(SceneSeamTest, RenderBlockTakesATreeOfSceneObjects) {
    auto root = MeshObject("root", MakeMesh(material, 3));
    auto child = MeshObject("child", MakeMesh(material, 3));
    auto hidden = MeshObject("hidden", MakeMesh(material, 3));
    hidden->SetVisible(false);
    hidden->AddChild(MeshObject("under-hidden", MakeMesh(material, 3)));
    auto appended = MeshObject("appended", MakeMesh(material, 3));
    auto lamp = MeshObject("lamp", nullptr);
    CPSmartPtr<CPLight> light(new CPLight());
    light->SetOwner(lamp.Get());
    lamp->SetAttachment(CPSmartPtr<IPMMObject>(light.Get()), IPSceneObject::KindLight);
    root->AddChild(child);
    root->AddChild(hidden);
    root->AppendChild(appended); // drawn though not found by name
    root->AddChild(lamp);
    root->UpdateTransform();
    block->AddObjectTree(root.Get());
    EXPECT_EQ(BatchSize(), 3); // root, child, appended
    EXPECT_EQ(render->GetLightCount(), 1);
}

TEST_F(SceneSeamTest, StaticPreWriteVisitsEachLevelOfDetailOnceAndEnds) {
    auto root = MeshObject("root", MakeMesh(material, 3));
    auto child = MeshObject("child", MakeMesh(material, 6));
    auto lod = MeshObject("lod", MakeMesh(material, 9));
    root->AddChild(child);
    root->AddLevelOfDetail(root, 0);
    root->AddLevelOfDetail(lod, 100);
    root->AddLevelOfDetail(CPSmartPtr<CPGameObject>(), 300);
    root->UpdateTransform();
    lod->UpdateTransform();
    ASSERT_EQ(root->GetAttachedCount(), 1);

    CPRenderBlock staticBlock(render->GetDevice());
    ASSERT_TRUE(staticBlock.Init(true, 1, 100, 100));
    CPIVertexBuffer* vb = staticBlock.GetVertexBuffer();
    ASSERT_TRUE(vb->Lock(0, 0, true, -1));
    staticBlock.RemoveObjectTree(root.Get());
    vb->Unlock(true);
    EXPECT_EQ(vb->GetStaticBase(root->GetRenderable()), 0);
    EXPECT_EQ(vb->GetStaticBase(child->GetRenderable()), 3);
    EXPECT_EQ(vb->GetStaticBase(lod->GetRenderable()), 9);
}

TEST_F(SceneSeamTest, MeshFollowsItsObjectWhenFilled) {
    auto mesh = MakeMesh(material, 3);
    auto object = MeshObject("moving", mesh);
    object->SetPosition(D3DXVECTOR3(100, 0, 0));
    object->UpdateTransform();
    ASSERT_TRUE(object->IsTransformChanged());
    mesh->UpdateWorldVertices();
    const SPVertex& model = mesh->ModelVertices()[1];
    const SPVertex& world = mesh->WorldVertices()[1];
    EXPECT_FLOAT_EQ(world.x, model.x + 100.0f);
    EXPECT_FLOAT_EQ(world.y, model.y);
}

} // namespace
