// What the level tree hands to the renderer each frame: the leaves inside the view, their
// dynamic objects whole, and for each static object the detail its distance from the viewer
// chooses.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "Framework/PSettings.h"
#include "Platform/Math/D3DXMath.h"
#include "Render/Frame/FrameFixture.h"
#include "Render/PIVBlock.h"
#include "Render/PPerspectiveCamera.h"
#include "Render/PRenderBlock.h"
#include "World/PLevelBranch.h"

namespace {

using Objects = std::vector<CPSmartPtr<CPGameObject>>;

class LevelTreeDrawTest : public frametest::RenderFixture {
protected:
    void SetUp() override {
        RenderFixture::SetUp();
        ASSERT_TRUE(StartRenderer());
        material = Material(20);
        g_distance = 200;
        camera = CPSmartPtr<CPPerspectiveCamera>(new CPPerspectiveCamera());
        camera->eye = D3DXVECTOR3(0, 0, 0);
        camera->target = D3DXVECTOR3(100, 0, 0);
        camera->up = D3DXVECTOR3(0, 0, 1);
        camera->fieldOfView = 1.0f;
        camera->nearDistance = 1.0f;
        camera->farDistance = 1000.0f;
        camera->viewDirty = camera->projectionDirty = true;
        camera->Update();
        g_currentViewCamera = camera.Get();
    }
    void TearDown() override {
        g_currentViewCamera = nullptr;
        root = nullptr;
        objects.clear();
        camera = nullptr;
        material = nullptr;
        RenderFixture::TearDown();
    }

    // A mesh object with a part and own box of half-size 1 at (x, y, 0).
    CPSmartPtr<CPGameObject> Drawn(const std::string& name, float x, float y) {
        CPSmartPtr<CPGameObject> object(new CPGameObject(name));
        CPOrientedBox box(D3DXVECTOR3(0, 0, 0), D3DXVECTOR3(1, 1, 1));
        D3DXMATRIX identity;
        D3DXMatrixIdentity(&identity);
        box.SetLocalMatrix(identity);
        object->OwnBox() = box;
        object->SetCastsShadow(false);
        CPSmartPtr<CPRenderObject> mesh = frametest::MakeMesh(material, 3);
        mesh->SetOwner(object.Get());
        object->SetAttachment(CPSmartPtr<IPMMObject>(mesh.Get()), IPSceneObject::KindMesh);
        object->SetPosition(D3DXVECTOR3(x, y, 0));
        object->UpdateTransform();
        return object;
    }
    void Build() {
        root = CPSmartPtr<CPLevelBranch>(new CPLevelBranch());
        root->Init(objects);
        root->Build(0);
    }
    // The names of the objects whose meshes were handed over this frame, in order.
    std::vector<std::string> HandedOver(const Objects& candidates) const {
        std::vector<std::string> out;
        CPIVBlock* batch = render->GetRenderBlock()->FindBatch(material.Get());
        if (!batch) return out;
        for (const auto& renderable : batch->GetRenderables())
            for (const auto& object : candidates)
                if (object->GetRenderable() == renderable.Get()) out.push_back(object->GetName());
        return out;
    }

    CPSmartPtr<CPMaterial> material;
    CPSmartPtr<CPPerspectiveCamera> camera;
    CPSmartPtr<CPLevelBranch> root;
    Objects objects;
};

TEST_F(LevelTreeDrawTest, VisibleLeavesHandOverTheirObjectsWithTheDetailTheirDistanceChooses) {
    CPSmartPtr<CPGameObject> ahead = Drawn("ahead", 30, 0);
    CPSmartPtr<CPGameObject> behind = Drawn("behind", -30, 0);
    CPSmartPtr<CPGameObject> moving = Drawn("moving", 500, 0);
    moving->SetStatic(false);
    // Seen from 60 units: its first level of detail stands in for it.
    CPSmartPtr<CPGameObject> lod = Drawn("lod", 60, 5);
    CPSmartPtr<CPGameObject> lodFar = Drawn("lod far", 60, 5);
    lod->AddLevelOfDetail(lod, 0);
    lod->AddLevelOfDetail(lodFar, 50);
    // Beyond the draw distance with levels of detail: not drawn.
    CPSmartPtr<CPGameObject> distant = Drawn("distant", 300, -5);
    CPSmartPtr<CPGameObject> distantFar = Drawn("distant far", 300, -5);
    distant->AddLevelOfDetail(distant, 0);
    distant->AddLevelOfDetail(distantFar, 50);
    // Beyond the draw distance without: drawn.
    CPSmartPtr<CPGameObject> single = Drawn("single", 400, 10);
    objects = {ahead, behind, moving, lod, distant, single};
    Build();

    EXPECT_EQ(root->CollectVisible(camera.Get(), 7), CPLevelBranch::kNoDistance);
    const Objects all = {ahead, behind, moving, lod, lodFar, distant, distantFar, single};
    std::vector<std::string> got = HandedOver(all);
    std::sort(got.begin(), got.end());
    EXPECT_EQ(got, (std::vector<std::string>{"ahead", "lod far", "moving", "single"}));
}

TEST_F(LevelTreeDrawTest, NothingIsHandedOverWithoutACameraOrForAnEmptyTree) {
    objects = {Drawn("ahead", 30, 0)};
    Build();
    root->CollectVisible(nullptr, 0);
    EXPECT_TRUE(HandedOver(objects).empty());

    CPSmartPtr<CPLevelBranch> empty(new CPLevelBranch());
    empty->Init({});
    empty->Build(0);
    empty->CollectVisible(camera.Get(), 0);
    EXPECT_TRUE(HandedOver(objects).empty());
}

} // namespace
