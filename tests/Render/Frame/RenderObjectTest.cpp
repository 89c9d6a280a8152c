// Render objects: filling, lazy world vertices, vertex-effect chains, dents, copies, and the
// ground decal the renderer projects into one.
#include <gtest/gtest.h>

#include <cmath>

#include "Platform/Math/D3DXMath.h"
#include "Platform/System/Random.h"
#include "Render/Frame/FrameFixture.h"
#include "Render/PVertexEffect.h"

using namespace frametest;

namespace {

// Adds a constant to x and counts its calls.
class ShiftEffect : public CPVertexEffect {
public:
    explicit ShiftEffect(float dx, int* applied = nullptr) : m_dx(dx), m_applied(applied) {}
    void Update(float) override {}
    void Apply(SPVertex* destination, const SPVertex* source, int count) override {
        if (m_applied) ++*m_applied;
        for (int i = 0; i < count; ++i) {
            destination[i] = source[i];
            destination[i].x += m_dx;
        }
    }
    CPVertexEffect* Clone() const override { return new ShiftEffect(m_dx, m_applied); }

private:
    float m_dx;
    int* m_applied;
};

// Doubles x.
class ScaleEffect : public CPVertexEffect {
public:
    void Update(float) override {}
    void Apply(SPVertex* destination, const SPVertex* source, int count) override {
        for (int i = 0; i < count; ++i) {
            destination[i] = source[i];
            destination[i].x *= 2.0f;
        }
    }
    CPVertexEffect* Clone() const override { return new ScaleEffect(); }
};

CPSmartPtr<CPRenderObject> Triangle(IPSceneObject* owner = nullptr) {
    CPSmartPtr<CPRenderObject> object(new CPRenderObject(owner));
    object->SetMesh({MakeVertex(1, 0, 0), MakeVertex(0, 1, 0), MakeVertex(0, 0, 1)}, {0, 1, 2});
    return object;
}

TEST(RenderObject, BaseIndexWrapsAt16Bits) {
    CPSmartPtr<CPRenderObject> object(new CPRenderObject());
    std::vector<SPVertex> vertices(601, MakeVertex(0, 0, 0));
    object->SetMesh(vertices, {0, 600, 5});
    SPVertex out[601];
    std::uint16_t indices[3];
    object->FillVertices(out, indices, 65000, 0);
    EXPECT_EQ(indices[0], 65000);
    EXPECT_EQ(indices[1], 64);
    EXPECT_EQ(indices[2], 65005);
    int first = -1, last = -1;
    std::uint16_t raw[3];
    object->FillIndices(raw, 0, first, last);
    EXPECT_EQ(first, 0);
    EXPECT_EQ(last, 5);
    EXPECT_EQ(raw[1], 600);
}

TEST(RenderObject, FillSkippedOrEmptyWritesNothing) {
    auto object = Triangle();
    object->SetFillSkipped(true);
    SPVertex out[3] = {};
    std::uint16_t indices[3] = {7, 7, 7};
    object->FillVertices(out, indices, 0, 0);
    EXPECT_EQ(indices[0], 7);
    CPSmartPtr<CPRenderObject> empty(new CPRenderObject());
    empty->FillVertices(out, indices, 0, 0);
    EXPECT_EQ(empty->GetVertexCount(), 0);
}

TEST(RenderObject, WorldVerticesFollowTheOwnerOnlyAfterItMoved) {
    CPSmartPtr<FakeSceneObject> owner(new FakeSceneObject());
    auto object = Triangle(owner.Get());
    D3DXMatrixTranslation(&owner->world, 10, 0, 0);
    SPVertex out[3];
    std::uint16_t indices[3];
    object->FillVertices(out, indices, 0, 0);
    EXPECT_FLOAT_EQ(out[0].x, 1.0f); // the owner did not report a move
    owner->transformChanged = true;
    object->FillVertices(out, indices, 0, 0);
    EXPECT_FLOAT_EQ(out[0].x, 11.0f);
    EXPECT_FALSE(owner->transformChanged);
    D3DXMATRIX turn;
    D3DXMatrixRotationZ(&turn, static_cast<float>(M_PI / 2));
    owner->world = turn;
    object->FillVertices(out, indices, 0, 0);
    EXPECT_FLOAT_EQ(out[0].x, 11.0f); // not moved again: nothing recomputed
    owner->transformChanged = true;
    object->FillVertices(out, indices, 0, 0);
    EXPECT_NEAR(out[0].y, 1.0f, 1e-6f);
    EXPECT_NEAR(out[2].nz, 1.0f, 1e-6f);
    EXPECT_NEAR(out[0].nz, 1.0f, 1e-6f);
}

TEST(RenderObject, WorldVerticesMatchTheModelWhenTheModelGrows) {
    auto object = Triangle();
    object->ModelVertices().push_back(MakeVertex(5, 5, 5));
    object->Indices().push_back(3);
    SPVertex out[4];
    std::uint16_t indices[4];
    object->FillVertices(out, indices, 0, 0);
    EXPECT_EQ(object->WorldVertices().size(), 4u);
    EXPECT_FLOAT_EQ(out[3].x, 5.0f);
}

// A loader that fills the model vertices directly leaves no world vertices yet; the fill
// must still write what the batch counted for it.
TEST(RenderObject, ModelFilledWithoutWorldVerticesIsStillWritten) {
    CPSmartPtr<CPRenderObject> object(new CPRenderObject());
    object->ModelVertices() = {MakeVertex(1, 2, 3), MakeVertex(4, 5, 6), MakeVertex(7, 8, 9)};
    object->Indices() = {0, 1, 2};
    ASSERT_TRUE(object->WorldVertices().empty());
    int first = -1, last = -1;
    std::uint16_t raw[3] = {};
    object->FillIndices(raw, 0, first, last);
    EXPECT_EQ(last, 2);
    object->WorldVertices().clear();
    SPVertex out[3] = {};
    std::uint16_t indices[3] = {7, 7, 7};
    object->FillVertices(out, indices, 10, 0);
    EXPECT_FLOAT_EQ(out[2].x, 7.0f);
    EXPECT_EQ(indices[0], 10);
    EXPECT_EQ(indices[2], 12);
    EXPECT_EQ(object->WorldVertices().size(), 3u);
}

TEST(RenderObject, VertexEffectsRunInOrderFirstFromWorldThenInPlace) {
    auto object = Triangle();
    int applied = 0;
    object->AddVertexEffect(new ShiftEffect(1.0f, &applied));
    object->AddVertexEffect(new ScaleEffect());
    EXPECT_TRUE(object->HasVertexEffects());
    SPVertex out[3];
    std::uint16_t indices[3];
    object->FillVertices(out, indices, 0, 0);
    EXPECT_FLOAT_EQ(out[0].x, 4.0f); // (1 + 1) * 2
    EXPECT_FLOAT_EQ(object->WorldVertices()[0].x, 1.0f);
    object->FillVertices(out, indices, 0, 0);
    EXPECT_FLOAT_EQ(out[0].x, 4.0f);
    EXPECT_EQ(applied, 2);
}

class Dents : public ::testing::Test {
protected:
    void SetUp() override {
        Platform::EngineSeed(7);
        object = Triangle();
        object->SetDeformable(true);
        SPDamagePart part;
        part.box = CPOrientedBox(D3DXVECTOR3(0, 0, 0), D3DXVECTOR3(1, 1, 1));
        part.box.Update();
        object->DamageParts().push_back(part);
        auto& references = object->DamageParts()[0].references;
        references.resize(1);
        for (SPVertex& v : object->ModelVertices()) references[0].push_back(SPVertexReference{&v});
        before = object->ModelVertices();
    }
    void Hit(float force) { object->ApplyImpactDeformation(D3DXVECTOR3(-1.5f, 0, 0), D3DXVECTOR3(1, 0, 0), force); }

    CPSmartPtr<CPRenderObject> object;
    std::vector<SPVertex> before;
};

TEST_F(Dents, SmallForceDoesNothing) {
    Hit(0.01f);
    EXPECT_EQ(object->DamageParts()[0].damage, 0.0f);
    EXPECT_EQ(object->ModelVertices()[0].diffuse, 0xFFFFFFFFu);
}

TEST_F(Dents, TwoHalfHitsReachFullDamageAndTheThirdIsIgnored) {
    Hit(0.5f);
    EXPECT_FLOAT_EQ(object->DamageParts()[0].damage, 0.5f);
    for (std::size_t k = 0; k < before.size(); ++k) {
        const SPVertex& v = object->ModelVertices()[k];
        EXPECT_EQ(v.diffuse, 0x96FFFFFFu);
        EXPECT_EQ(v.x, before[k].x);
        EXPECT_EQ(v.y, before[k].y);
        EXPECT_EQ(v.z, before[k].z);
        const float length = std::sqrt(v.nx * v.nx + v.ny * v.ny + v.nz * v.nz);
        EXPECT_NEAR(length, 1.0f, 1e-5f);
        // Each of yaw, pitch and roll is at most 0.05: the normal turns by little.
        const float cosine = v.nx * before[k].nx + v.ny * before[k].ny + v.nz * before[k].nz;
        EXPECT_GT(cosine, std::cos(0.05f * 3.0f));
    }
    Hit(0.5f);
    EXPECT_FLOAT_EQ(object->DamageParts()[0].damage, 1.0f);
    const std::vector<SPVertex> afterTwo = object->ModelVertices();
    Hit(0.5f);
    EXPECT_FLOAT_EQ(object->DamageParts()[0].damage, 1.0f);
    EXPECT_EQ(object->ModelVertices()[0].nx, afterTwo[0].nx);
}

TEST_F(Dents, NotDeformableOrMissedTakesNothing) {
    object->ApplyImpactDeformation(D3DXVECTOR3(-1.5f, 5, 0), D3DXVECTOR3(1, 0, 0), 0.5f);
    EXPECT_EQ(object->DamageParts()[0].damage, 0.0f);
    object->SetDeformable(false);
    Hit(0.5f);
    EXPECT_EQ(object->DamageParts()[0].damage, 0.0f);
}

TEST_F(Dents, PartBoxesFollowTheOwnerUntilTheirDamageIsFull) {
    CPSmartPtr<FakeSceneObject> owner(new FakeSceneObject());
    object->SetOwner(owner.Get());
    SPDamagePart broken = object->DamageParts()[0];
    broken.damage = 1.0f;
    object->DamageParts().push_back(broken);
    D3DXMATRIX local;
    D3DXMatrixTranslation(&local, 0, 2, 0);
    object->DamageParts()[0].box.SetLocalMatrix(local);
    D3DXMatrixTranslation(&owner->world, 10, 0, 0);
    object->UpdateWorldVertices();
    // local x owner: the box sits at (10, 2, 0).
    EXPECT_EQ(object->DamageParts()[0].box.GetWorldMin(), D3DXVECTOR3(9, 1, -1));
    EXPECT_EQ(object->DamageParts()[1].box.GetWorldMin(), D3DXVECTOR3(-1, -1, -1));
    // A rigid object moves no boxes.
    object->SetDeformable(false);
    D3DXMatrixTranslation(&owner->world, 20, 0, 0);
    object->UpdateWorldVertices();
    EXPECT_EQ(object->DamageParts()[0].box.GetWorldMin(), D3DXVECTOR3(9, 1, -1));
    EXPECT_FLOAT_EQ(object->WorldVertices()[0].x, 21.0f);
}

TEST(RenderObject, TransformVerticesMovesPositionsAndTurnsNormalsUnnormalised) {
    auto object = Triangle();
    D3DXMATRIX m;
    D3DXMatrixScaling(&m, 2, 2, 2);
    m._41 = 1;
    object->TransformVertices(m);
    EXPECT_FLOAT_EQ(object->ModelVertices()[0].x, 3.0f);
    EXPECT_FLOAT_EQ(object->ModelVertices()[0].nz, 2.0f);
}

using RenderObjectCopy = RenderFixture;

TEST_F(RenderObjectCopy, CopySharesStaticBuffersByNameAndClearsTheOwnersStaticFlag) {
    ASSERT_TRUE(StartRenderer());
    CPSmartPtr<CPMaterial> material = Material(30);
    auto source = Triangle();
    source->SetEffect(material);
    EXPECT_EQ(source->GetName(), material->GetClassName());
    source->SetFillSkipped(true);
    ASSERT_TRUE(source->SetStaticBuffer("Shared"));
    source->AddVertexEffect(new ScaleEffect());
    CPSmartPtr<FakeSceneObject> owner(new FakeSceneObject());
    owner->isStatic = true;
    CPSmartPtr<CPRenderObject> copy(new CPRenderObject(owner.Get()));
    copy->CopyFrom(*source);
    EXPECT_EQ(copy->GetStaticBuffer(), source->GetStaticBuffer());
    EXPECT_EQ(render->GetStaticBufferCount(), 1u);
    EXPECT_TRUE(copy->IsFillSkipped());
    EXPECT_EQ(copy->GetMaterial().Get(), material.Get());
    EXPECT_FALSE(owner->isStatic);
    ASSERT_EQ(copy->GetVertexEffects().size(), 1u);
    EXPECT_NE(copy->GetVertexEffects()[0], source->GetVertexEffects()[0]);
    EXPECT_EQ(copy->ModelVertices().size(), 3u);
    EXPECT_EQ(copy->GetOwner(), owner.Get());
    EXPECT_TRUE(copy->GetName().empty());
}

TEST_F(RenderObjectCopy, CopyWithoutRendererIsNotFillSkipped) {
    ASSERT_TRUE(StartRenderer());
    auto source = Triangle();
    ASSERT_TRUE(source->SetStaticBuffer("Shared"));
    source->SetFillSkipped(true);
    StopRenderer();
    ASSERT_EQ(GetRender(), nullptr);
    auto copy = Triangle();
    copy->CopyFrom(*source);
    EXPECT_FALSE(copy->IsFillSkipped());
    EXPECT_EQ(copy->GetStaticBuffer(), nullptr);
    EXPECT_EQ(copy->ModelVertices().size(), 3u);
}

// ---------------------------------------------------------------------------------------------
// The decal

class Decal : public RenderFixture {
protected:
    void SetUp() override {
        RenderFixture::SetUp();
        ASSERT_TRUE(StartRenderer());
        decal = Triangle();
        object = MakeObject(CPSmartPtr<IPRenderable>(decal.Get()));
        object->halfSize = D3DXVECTOR3(1.0f, 2.0f, 0.5f);
        set = new SPTriangleSet();
        // A flat quad of two triangles, a steep one and a downward one.
        world.terrainVertices = {-10, -10, 0, 10, -10, 0, 10, 10, 0, -10, 10, 0, 0, 0, 0, 1, 0, 0, 0, 0, 5, // steep
                                 0,   0,   1, 0,  1,   1, 1,  0,  1}; // facing down
        world.terrainTriangles = {0, 1, 2, 0, 2, 3, 4, 5, 6, 7, 8, 9, 2, 1, 0};
    }
    void Project(std::initializer_list<int> triangles, const D3DXMATRIX& m) {
        set->count = 0;
        for (int t : triangles) set->triangles[set->count++] = t;
        render->ProjectDecal(object.Get(), m, set);
    }
    CPSmartPtr<CPRenderObject> decal;
    CPSmartPtr<FakeSceneObject> object;
    CPSmartPtr<SPTriangleSet> set;
};

TEST_F(Decal, UprightObjectGetsItsFootprintGrownByATenth) {
    D3DXMATRIX m;
    D3DXMatrixTranslation(&m, 1, 1, 0);
    Project({0}, m);
    const auto& v = decal->ModelVertices();
    ASSERT_EQ(v.size(), 3u);
    EXPECT_EQ(decal->Indices(), (std::vector<std::uint16_t>{0, 1, 2}));
    // Corner (-10, -10): frame origin (1 - 1.1, 1 - 2.1), edges 2.2 and 4.2.
    EXPECT_FLOAT_EQ(v[0].x, -10.0f);
    EXPECT_FLOAT_EQ(v[0].z, 0.03f);
    EXPECT_NEAR(v[0].tu, (-10.0f - (1.0f - 1.1f)) / 2.2f, 1e-5f);
    EXPECT_NEAR(v[0].tv, (-10.0f - (1.0f - 2.1f)) / 4.2f, 1e-5f);
    EXPECT_NEAR(v[2].tu, (10.0f + 0.1f) / 2.2f, 1e-5f);
    EXPECT_EQ(v[1].diffuse, 0xFFFFFFFFu);
    EXPECT_EQ(v[1].nz, 1.0f);
    EXPECT_EQ(v[1].tu1, 0.0f);
    EXPECT_EQ(decal->WorldVertices().size(), 3u);
    EXPECT_EQ(decal->WorldVertices()[2].x, v[2].x);
}

TEST_F(Decal, TriangleNamedTwiceOrOverTheSameCornersIsUsedOnce) {
    D3DXMATRIX m;
    D3DXMatrixIdentity(&m);
    Project({0, 0, 4, 1}, m); // 4 has the corners of 0 in another order
    EXPECT_EQ(decal->ModelVertices().size(), 6u);
}

TEST_F(Decal, SteepDownwardAndOutOfRangeTrianglesAddNothing) {
    D3DXMATRIX m;
    D3DXMatrixIdentity(&m);
    Project({2, 3, -1, 99}, m);
    EXPECT_TRUE(decal->ModelVertices().empty());
    world.terrainTriangles.push_back(0);
    world.terrainTriangles.push_back(1);
    world.terrainTriangles.push_back(500); // a corner outside the vertex array
    Project({5}, m);
    EXPECT_TRUE(decal->ModelVertices().empty());
}

TEST_F(Decal, ObjectOnItsSideKeepsThePreviousDecal) {
    D3DXMATRIX upright;
    D3DXMatrixIdentity(&upright);
    Project({0}, upright);
    ASSERT_EQ(decal->ModelVertices().size(), 3u);
    D3DXMATRIX side;
    D3DXMatrixRotationX(&side, static_cast<float>(M_PI / 2));
    Project({1}, side);
    EXPECT_EQ(decal->ModelVertices().size(), 3u);
    EXPECT_FLOAT_EQ(decal->ModelVertices()[1].x, 10.0f); // still triangle 0's corners
}

} // namespace
