// Billboards: the once-a-frame visibility with its cone fade, the flare records, the quad they
// write, their vertex effects and their copy.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "Framework/PMMObject.h"
#include "Platform/Math/D3DXMath.h"
#include "Render/PSprite.h"
#include "Render/Scene/SceneFakes.h"

using namespace scenetest;

namespace {

constexpr float kPi = 3.14159265f;

D3DXQUATERNION TurnAboutZ(float angle) {
    return D3DXQUATERNION(0.0f, 0.0f, std::sin(angle / 2.0f), std::cos(angle / 2.0f));
}

class Sprite : public ::testing::Test {
protected:
    void SetUp() override {
        SetRaceWorld(&world);
        owner = MakeSceneObject(D3DXVECTOR3(0.0f, 0.0f, 0.0f));
        sprite = new CPSprite(1.0f);
        sprite->SetOwner(owner.Get());
        Look(D3DXVECTOR3(10.0f, 0.0f, 5.0f), D3DXVECTOR3(0.0f, 0.0f, 0.0f));
    }
    void TearDown() override {
        g_currentViewCamera = nullptr;
        SetRaceWorld(nullptr);
        sprite = nullptr;
        owner = nullptr;
        camera = nullptr;
        world.viewCamera = nullptr;
        for (int i = 0; i < 3; ++i) IPMMObject::CollectGarbage();
    }

    // The current view camera, which is also the level's view camera.
    void Look(const D3DXVECTOR3& eye, const D3DXVECTOR3& target) {
        camera = MakeCamera(eye, target);
        g_currentViewCamera = camera.Get();
        world.viewCamera = camera;
    }

    struct Written {
        SPVertex vertices[4];
        std::uint16_t indices[6];
    };
    // One frame's counts and fill, into buffers filled with a pattern first.
    Written Fill(std::uint16_t base = 0) {
        Written out;
        std::memset(&out, 0xAB, sizeof(out));
        sprite->GetVertexCount();
        sprite->GetIndexCount();
        sprite->FillVertices(out.vertices, out.indices, base, 0);
        return out;
    }

    FlareWorld world;
    CPSmartPtr<SceneObject> owner;
    CPSmartPtr<CPSprite> sprite;
    CPSmartPtr<CPPerspectiveCamera> camera;
};

// ---------------------------------------------------------------------------------------------
// Construction and the renderable's answers

TEST_F(Sprite, StartsWithItsDefaults) {
    CPSmartPtr<CPSprite> fresh(new CPSprite(2.5f));
    EXPECT_EQ(fresh->GetClassName(), "CPSprite");
    EXPECT_EQ(fresh->GetHalfWidth(), 2.5f);
    EXPECT_EQ(fresh->GetHalfHeight(), 2.5f);
    EXPECT_EQ(fresh->GetRotation(), 0.0f);
    EXPECT_EQ(fresh->GetVShift(), 0.0f);
    EXPECT_EQ(fresh->GetColour(), 0xFFFFFFFFu);
    EXPECT_EQ(fresh->GetUStart(), 0.0f);
    EXPECT_EQ(fresh->GetVStart(), 0.0f);
    EXPECT_EQ(fresh->GetUEnd(), 1.0f);
    EXPECT_EQ(fresh->GetConeAngle(), 0.0f);
    EXPECT_TRUE(fresh->GetName().empty());
    EXPECT_FALSE(fresh->AreEffectsEnabled());
    EXPECT_FALSE(fresh->IsComputed());
    EXPECT_FALSE(fresh->IsFlareReported());
    EXPECT_EQ(fresh->GetOwner(), nullptr);
    EXPECT_FALSE(fresh->GetMaterial());
    EXPECT_FALSE(fresh->IsFillSkipped());
    fresh->SetFillSkipped(true);
    EXPECT_FALSE(fresh->IsFillSkipped());
}

TEST_F(Sprite, HoldsItsMaterialButNotItsOwner) {
    const int ownerCount = owner->GetRefCount();
    CPSmartPtr<CPMaterial> material(new CPMaterial(7, nullptr, nullptr));
    sprite->SetMaterial(material);
    EXPECT_EQ(material->GetRefCount(), 2);
    {
        CPSmartPtr<CPMaterial> answered = sprite->GetMaterial();
        EXPECT_EQ(answered.Get(), material.Get());
        EXPECT_EQ(material->GetRefCount(), 3);
    }
    sprite->SetMaterial(nullptr);
    EXPECT_EQ(material->GetRefCount(), 1);
    EXPECT_EQ(owner->GetRefCount(), ownerCount);
}

TEST_F(Sprite, FillIndicesLeavesEverythingAlone) {
    std::uint16_t indices[6] = {9, 9, 9, 9, 9, 9};
    int first = -5, last = -6;
    sprite->FillIndices(indices, 0, first, last);
    EXPECT_EQ(first, -5);
    EXPECT_EQ(last, -6);
    for (std::uint16_t i : indices) EXPECT_EQ(i, 9);
}

// ---------------------------------------------------------------------------------------------
// Visibility and the cone fade

struct FixedConeCase {
    float cone;
    bool visible;
    D3DCOLOR colour; // with the colour 0x12345678 set before
};

TEST_F(Sprite, NegativeAndZeroConeAngles) {
    const FixedConeCase cases[] = {
        {-1.0f, true, 0xFFFFFFFFu}, {-0.5f, true, 0x7F7F7F7Fu},    {-0.1f, true, 0x19191919u},
        {-0.05f, false, 0u},        {-0.0999f, false, 0u},         {0.0f, true, 0x12345678u},
        {-2.0f, true, 0xFEFEFEFEu}, {-1.0e30f, true, 0x00000000u},
    };
    for (const FixedConeCase& c : cases) {
        SCOPED_TRACE(c.cone);
        sprite->SetColour(0x12345678u);
        sprite->SetCone(D3DXVECTOR3(1.0f, 0.0f, 0.0f), c.cone);
        EXPECT_EQ(sprite->UpdateVisibility(), c.visible);
        EXPECT_EQ(sprite->GetVertexCount(), c.visible ? 4 : 0);
        EXPECT_EQ(sprite->GetIndexCount(), c.visible ? 6 : 0);
        if (c.visible) {
            EXPECT_EQ(sprite->GetColour(), c.colour);
        }
        Fill();
    }
}

struct ConeCase {
    const char* name;
    float facing;   // angle of the sprite's direction about z, from the camera's direction
    float rootTurn; // turn of the topmost ancestor about z
    float ownTurn;  // turn of the owner itself (never counts)
    bool visible;
    int intensity;
};

TEST_F(Sprite, PositiveConeFadesTowardsItsEdge) {
    const ConeCase cases[] = {
        {"facing the camera", 0.0f, 0.0f, 0.0f, true, 255},
        {"a quarter off", 0.25f, 0.0f, 0.0f, true, 127},
        {"a quarter off the other way", -0.25f, 0.0f, 0.0f, true, 127},
        {"beyond the cone", 0.6f, 0.0f, 0.0f, false, -1},
        {"turned by the topmost ancestor", 0.0f, 0.25f, 0.0f, true, 127},
        {"turned back by the topmost ancestor", 0.6f, -0.6f, 0.0f, true, 255},
        {"the owner's own turn does not count", 0.0f, 0.0f, 1.0f, true, 255},
        {"facing away", kPi, 0.0f, 0.0f, false, -1},
    };
    // Owner under a parent under the topmost ancestor.
    CPSmartPtr<SceneObject> root = MakeSceneObject(D3DXVECTOR3(0.0f, 0.0f, 0.0f));
    CPSmartPtr<SceneObject> middle = MakeSceneObject(D3DXVECTOR3(0.0f, 0.0f, 0.0f));
    middle->parent = root.Get();
    owner->parent = middle.Get();
    for (const ConeCase& c : cases) {
        SCOPED_TRACE(c.name);
        root->rotation = TurnAboutZ(c.rootTurn);
        middle->rotation = TurnAboutZ(c.ownTurn);
        owner->rotation = TurnAboutZ(c.ownTurn);
        sprite->SetCone(D3DXVECTOR3(std::cos(c.facing), std::sin(c.facing), 0.0f), 0.5f);
        EXPECT_EQ(sprite->GetVertexCount(), c.visible ? 4 : 0);
        EXPECT_EQ(sprite->GetIndexCount(), c.visible ? 6 : 0);
        if (c.visible) {
            EXPECT_EQ(sprite->GetIntensity(), c.intensity);
            EXPECT_EQ(sprite->GetColour(), static_cast<D3DCOLOR>(c.intensity) * 0x01010101u);
        }
        Fill();
    }
}

TEST_F(Sprite, ConeIgnoresTheCameraHeight) {
    sprite->SetCone(D3DXVECTOR3(1.0f, 0.0f, 0.0f), 0.5f);
    Look(D3DXVECTOR3(10.0f, 0.0f, 500.0f), D3DXVECTOR3(0.0f, 0.0f, 0.0f));
    EXPECT_TRUE(sprite->UpdateVisibility());
    EXPECT_EQ(sprite->GetIntensity(), 255);
}

TEST_F(Sprite, ConeWithTheCameraStraightAboveStaysDefined) {
    // The direction to the camera has no ground component: the angle is a right angle.
    sprite->SetCone(D3DXVECTOR3(1.0f, 0.0f, 0.0f), 2.0f);
    Look(D3DXVECTOR3(0.0f, 0.0f, 50.0f), D3DXVECTOR3(1.0f, 0.0f, 0.0f));
    EXPECT_TRUE(sprite->UpdateVisibility());
    EXPECT_EQ(sprite->GetIntensity(), static_cast<int>((1.0f - (kPi / 2.0f) / 2.0f) * 255.0f));
}

TEST_F(Sprite, VisibilityIsWorkedOutOncePerFrame) {
    sprite->SetCone(D3DXVECTOR3(1.0f, 0.0f, 0.0f), 0.5f);
    EXPECT_EQ(sprite->GetVertexCount(), 4);
    EXPECT_TRUE(sprite->IsComputed());
    // The camera moves out of the cone: this frame keeps its answer until the fill.
    Look(D3DXVECTOR3(0.0f, 10.0f, 0.0f), D3DXVECTOR3(0.0f, 0.0f, 0.0f));
    EXPECT_EQ(sprite->GetIndexCount(), 6);
    Written w = Fill();
    EXPECT_EQ(w.indices[0], 0);
    EXPECT_FALSE(sprite->IsComputed());
    // The next frame sees the new camera.
    EXPECT_EQ(sprite->GetVertexCount(), 0);
}

TEST_F(Sprite, InvisibleFillWritesNothingAndResetsTheFrame) {
    sprite->SetCone(D3DXVECTOR3(-1.0f, 0.0f, 0.0f), 0.5f);
    EXPECT_EQ(sprite->GetVertexCount(), 0);
    EXPECT_TRUE(sprite->IsComputed());
    Written w = Fill();
    EXPECT_FALSE(sprite->IsComputed());
    EXPECT_FALSE(sprite->IsFlareReported());
    Written untouched;
    std::memset(&untouched, 0xAB, sizeof(untouched));
    EXPECT_EQ(std::memcmp(&w, &untouched, sizeof(w)), 0);
    // Turned to face the camera, the next frame shows it.
    sprite->SetCone(D3DXVECTOR3(1.0f, 0.0f, 0.0f), 0.5f);
    EXPECT_EQ(sprite->GetVertexCount(), 4);
}

TEST_F(Sprite, NeitherCameraNorOwnerMeansInvisible) {
    for (float cone : {0.0f, -1.0f, 0.5f}) {
        SCOPED_TRACE(cone);
        sprite->SetCone(D3DXVECTOR3(1.0f, 0.0f, 0.0f), cone);
        g_currentViewCamera = nullptr;
        EXPECT_EQ(sprite->GetVertexCount(), 0);
        EXPECT_EQ(sprite->GetIndexCount(), 0);
        Written w = Fill();
        EXPECT_EQ(w.indices[0], 0xABAB);

        g_currentViewCamera = camera.Get();
        sprite->SetOwner(nullptr);
        EXPECT_EQ(sprite->GetVertexCount(), 0);
        EXPECT_EQ(sprite->GetIndexCount(), 0);
        w = Fill();
        EXPECT_EQ(w.indices[0], 0xABAB);
        sprite->SetOwner(owner.Get());
    }
}

// ---------------------------------------------------------------------------------------------
// Flare records

struct FlareCase {
    float distance;
    int intensity;
    float nearFactor;
};

TEST_F(Sprite, NamedSpriteReportsItsFlareByDistance) {
    const FlareCase cases[] = {{30.0f, 127, 1.0f}, {3.0f, 255, 4.0f}, {6.0f, 255, 1.0f},
                               {15.0f, 255, 1.0f}, {60.0f, 63, 1.0f}, {1.0f, 255, 6.0f}};
    sprite->SetName("sun");
    sprite->SetCone(D3DXVECTOR3(1.0f, 0.0f, 0.0f), 0.5f);
    world.level = true;
    for (const FlareCase& c : cases) {
        SCOPED_TRACE(c.distance);
        world.flares.clear();
        Look(D3DXVECTOR3(c.distance, 0.0f, 0.0f), D3DXVECTOR3(0.0f, 0.0f, 0.0f));
        Fill();
        ASSERT_EQ(world.flares.size(), 1u);
        const SPFlareSource& f = world.flares[0];
        EXPECT_EQ(f.intensity, c.intensity);
        EXPECT_NEAR(f.nearFactor, c.nearFactor, 1e-5f);
        EXPECT_NEAR(f.distance, c.distance, 1e-4f);
        EXPECT_EQ(f.name, "sun");
        EXPECT_EQ(f.root.Get(), owner.Get());
    }
}

TEST_F(Sprite, OneFlareRecordPerFrame) {
    sprite->SetName("lamp");
    sprite->SetCone(D3DXVECTOR3(1.0f, 0.0f, 0.0f), 0.5f);
    world.level = true;
    EXPECT_TRUE(sprite->UpdateVisibility());
    EXPECT_TRUE(sprite->IsFlareReported());
    sprite->GetVertexCount();
    sprite->GetIndexCount();
    EXPECT_EQ(world.flares.size(), 1u);
    Fill();
    EXPECT_EQ(world.flares.size(), 1u);
    EXPECT_FALSE(sprite->IsFlareReported());
    Fill();
    EXPECT_EQ(world.flares.size(), 2u);
}

TEST_F(Sprite, FlareRecordPlacesTheOwnerUnderItsParent) {
    CPSmartPtr<SceneObject> root = MakeSceneObject(D3DXVECTOR3(100.0f, 0.0f, 0.0f));
    CPSmartPtr<SceneObject> parent = MakeSceneObject(D3DXVECTOR3(100.0f, 0.0f, 0.0f));
    parent->parent = root.Get();
    owner->parent = parent.Get();
    owner->Place(D3DXVECTOR3(100.0f, 5.0f, 0.0f));
    owner->relative = D3DXVECTOR3(0.0f, 5.0f, 0.0f);
    sprite->SetName("lamp");
    sprite->SetCone(D3DXVECTOR3(1.0f, 0.0f, 0.0f), 0.5f);
    world.level = true;
    Look(D3DXVECTOR3(130.0f, 5.0f, 0.0f), D3DXVECTOR3(100.0f, 5.0f, 0.0f));
    Fill();
    ASSERT_EQ(world.flares.size(), 1u);
    const SPFlareSource& f = world.flares[0];
    EXPECT_NEAR(f.position.x, 100.0f, 1e-4f);
    EXPECT_NEAR(f.position.y, 5.0f, 1e-4f);
    EXPECT_NEAR(f.position.z, 0.0f, 1e-4f);
    EXPECT_EQ(f.root.Get(), root.Get());
    EXPECT_NEAR(f.distance, 30.0f, 1e-4f);
}

TEST_F(Sprite, RootOwnerFlaresFromItsOwnPosition) {
    owner->Place(D3DXVECTOR3(4.0f, 3.0f, 0.0f));
    owner->relative = D3DXVECTOR3(-77.0f, -77.0f, -77.0f); // a root's place is its world one
    sprite->SetName("lamp");
    sprite->SetCone(D3DXVECTOR3(1.0f, 0.0f, 0.0f), 0.5f);
    world.level = true;
    Look(D3DXVECTOR3(34.0f, 3.0f, 0.0f), D3DXVECTOR3(4.0f, 3.0f, 0.0f));
    Fill();
    ASSERT_EQ(world.flares.size(), 1u);
    EXPECT_NEAR(world.flares[0].position.x, 4.0f, 1e-4f);
    EXPECT_NEAR(world.flares[0].position.y, 3.0f, 1e-4f);
    EXPECT_NEAR(world.flares[0].distance, 30.0f, 1e-4f);
}

struct NoFlareCase {
    const char* name;
    bool level;
    const char* flareName;
    float cone;
};

TEST_F(Sprite, NoFlareRecord) {
    const NoFlareCase cases[] = {
        {"without a level", false, "sun", 0.5f},  {"without a name", true, "", 0.5f},
        {"outside the cone", true, "sun", 0.01f}, {"with a fixed brightness", true, "sun", -1.0f},
        {"always visible", true, "sun", 0.0f},
    };
    Look(D3DXVECTOR3(10.0f, 1.0f, 0.0f), D3DXVECTOR3(0.0f, 0.0f, 0.0f));
    for (const NoFlareCase& c : cases) {
        SCOPED_TRACE(c.name);
        world.level = c.level;
        world.flares.clear();
        sprite->SetName(c.flareName);
        sprite->SetCone(D3DXVECTOR3(1.0f, 0.0f, 0.0f), c.cone);
        Fill();
        EXPECT_TRUE(world.flares.empty());
    }
}

// ---------------------------------------------------------------------------------------------
// The quad

void ExpectAt(const SPVertex& v, float x, float y, float z) {
    EXPECT_NEAR(v.x, x, 1e-4f);
    EXPECT_NEAR(v.y, y, 1e-4f);
    EXPECT_NEAR(v.z, z, 1e-4f);
}

TEST_F(Sprite, QuadFacesTheCameraAroundTheOwner) {
    // Looking along +x: the camera's right is +y and its up +z.
    Look(D3DXVECTOR3(-10.0f, 1.0f, 2.0f), D3DXVECTOR3(5.0f, 1.0f, 2.0f));
    owner->Place(D3DXVECTOR3(5.0f, 1.0f, 2.0f));
    sprite->SetHalfHeight(2.0f);
    const Written w = Fill();
    ExpectAt(w.vertices[0], 5.0f, 0.0f, 0.0f);
    ExpectAt(w.vertices[1], 5.0f, 2.0f, 0.0f);
    ExpectAt(w.vertices[2], 5.0f, 2.0f, 4.0f);
    ExpectAt(w.vertices[3], 5.0f, 0.0f, 4.0f);
}

TEST_F(Sprite, RotationTurnsTheQuadAboutTheViewingAxis) {
    Look(D3DXVECTOR3(-10.0f, 1.0f, 2.0f), D3DXVECTOR3(5.0f, 1.0f, 2.0f));
    owner->Place(D3DXVECTOR3(5.0f, 1.0f, 2.0f));
    sprite->SetHalfHeight(2.0f);
    sprite->SetRotation(kPi / 2.0f);
    const Written w = Fill();
    // (x, y) turns to (-y, x) before it is placed.
    ExpectAt(w.vertices[0], 5.0f, 3.0f, 1.0f);
    ExpectAt(w.vertices[1], 5.0f, 3.0f, 3.0f);
    ExpectAt(w.vertices[2], 5.0f, -1.0f, 3.0f);
    ExpectAt(w.vertices[3], 5.0f, -1.0f, 1.0f);
}

TEST_F(Sprite, QuadIsSquareToTheViewFromAnyDirection) {
    const D3DXVECTOR3 eyes[] = {{30.0f, 20.0f, 10.0f}, {-5.0f, 40.0f, 0.0f}, {0.5f, -30.0f, -12.0f}};
    const D3DXVECTOR3 p(3.0f, -2.0f, 1.0f);
    owner->Place(p);
    sprite->SetHalfHeight(0.5f);
    for (const D3DXVECTOR3& eye : eyes) {
        SCOPED_TRACE(eye.x);
        Look(eye, p);
        const Written w = Fill();
        D3DXVECTOR3 forward = p - eye;
        D3DXVec3Normalize(&forward, &forward);
        D3DXVECTOR3 centre(0.0f, 0.0f, 0.0f);
        for (const SPVertex& v : w.vertices) {
            const D3DXVECTOR3 offset = D3DXVECTOR3(v.x, v.y, v.z) - p;
            EXPECT_NEAR(D3DXVec3Dot(&offset, &forward), 0.0f, 1e-4f);
            centre += offset;
        }
        EXPECT_NEAR(D3DXVec3Length(&centre), 0.0f, 1e-4f);
        const D3DXVECTOR3 across = D3DXVECTOR3(w.vertices[1].x, w.vertices[1].y, w.vertices[1].z) -
                                   D3DXVECTOR3(w.vertices[0].x, w.vertices[0].y, w.vertices[0].z);
        const D3DXVECTOR3 up = D3DXVECTOR3(w.vertices[3].x, w.vertices[3].y, w.vertices[3].z) -
                               D3DXVECTOR3(w.vertices[0].x, w.vertices[0].y, w.vertices[0].z);
        EXPECT_NEAR(D3DXVec3Length(&across), 2.0f, 1e-4f);
        EXPECT_NEAR(D3DXVec3Length(&up), 1.0f, 1e-4f);
        EXPECT_NEAR(D3DXVec3Dot(&across, &up), 0.0f, 1e-4f);
    }
}

TEST_F(Sprite, VerticesCarryColourAndTextureRange) {
    sprite->SetHalfHeight(2.0f);
    sprite->SetTextureRange(0.25f, 0.5f, 0.75f);
    sprite->SetVShift(0.125f);
    sprite->SetColour(0x80402010u);
    const Written w = Fill();
    const float uv[4][2] = {{0.25f, 0.625f}, {0.75f, 0.625f}, {0.75f, 2.625f}, {0.25f, 2.625f}};
    for (int i = 0; i < 4; ++i) {
        SCOPED_TRACE(i);
        const SPVertex& v = w.vertices[i];
        EXPECT_FLOAT_EQ(v.tu, uv[i][0]);
        EXPECT_FLOAT_EQ(v.tv, uv[i][1]);
        EXPECT_EQ(v.diffuse, 0x80402010u);
        // What the sprite does not write is zero.
        EXPECT_EQ(v.nx, 0.0f);
        EXPECT_EQ(v.ny, 0.0f);
        EXPECT_EQ(v.nz, 0.0f);
        EXPECT_EQ(v.specular, 0u);
        EXPECT_EQ(v.tu1, 0.0f);
        EXPECT_EQ(v.tv1, 0.0f);
    }
}

TEST_F(Sprite, VRangeFollowsTheAspect) {
    const float halfHeights[] = {1.0f, 2.0f, 0.5f};
    for (float h : halfHeights) {
        SCOPED_TRACE(h);
        sprite->SetHalfHeight(h);
        const Written w = Fill();
        EXPECT_FLOAT_EQ(w.vertices[2].tv - w.vertices[1].tv, h);
        EXPECT_FLOAT_EQ(w.vertices[3].tv - w.vertices[0].tv, h);
    }
    // No width: a finite, empty range.
    CPSmartPtr<CPSprite> flat(new CPSprite(0.0f));
    flat->SetOwner(owner.Get());
    flat->SetHalfHeight(1.0f);
    SPVertex v[4];
    std::uint16_t idx[6];
    flat->GetVertexCount();
    flat->FillVertices(v, idx, 0, 0);
    EXPECT_EQ(v[2].tv, v[1].tv);
}

TEST_F(Sprite, IndicesFromTheBase) {
    const std::uint16_t bases[] = {0, 10, 65000};
    for (std::uint16_t base : bases) {
        SCOPED_TRACE(base);
        const Written w = Fill(base);
        const std::uint16_t order[6] = {0, 2, 1, 0, 3, 2};
        for (int i = 0; i < 6; ++i) EXPECT_EQ(w.indices[i], static_cast<std::uint16_t>(base + order[i]));
    }
}

// ---------------------------------------------------------------------------------------------
// Vertex effects

TEST_F(Sprite, EffectsRunInOrderOverTheFourVertices) {
    auto* first = new FakeVertexEffect(1.0f, 1.0f);
    auto* second = new FakeVertexEffect(0.0f, 10.0f);
    sprite->AddVertexEffect(first);
    EXPECT_TRUE(sprite->AreEffectsEnabled());
    sprite->AddVertexEffect(second);
    ASSERT_EQ(sprite->GetVertexEffects().size(), 2u);
    const Written w = Fill();
    EXPECT_EQ(first->applied, 1);
    EXPECT_EQ(second->applied, 1);
    EXPECT_EQ(first->lastCount, 4);
    // (u + 1) * 10: the first effect ran before the second.
    EXPECT_FLOAT_EQ(w.vertices[0].tu, 10.0f);
    EXPECT_FLOAT_EQ(w.vertices[1].tu, 20.0f);
}

TEST_F(Sprite, EffectsSwitchedOffOrInvisibleDoNotRun) {
    auto* effect = new FakeVertexEffect(1.0f, 1.0f);
    sprite->AddVertexEffect(effect);
    sprite->SetEffectsEnabled(false);
    Written w = Fill();
    EXPECT_EQ(effect->applied, 0);
    EXPECT_FLOAT_EQ(w.vertices[0].tu, 0.0f);
    sprite->SetEffectsEnabled(true);
    sprite->SetCone(D3DXVECTOR3(1.0f, 0.0f, 0.0f), -0.05f);
    Fill();
    EXPECT_EQ(effect->applied, 0);
}

TEST_F(Sprite, EffectsDieWithTheSprite) {
    const int before = FakeVertexEffect::live;
    {
        CPSmartPtr<CPSprite> holder(new CPSprite(1.0f));
        holder->AddVertexEffect(new FakeVertexEffect(0.0f, 1.0f));
        holder->AddVertexEffect(new FakeVertexEffect(0.0f, 1.0f));
        holder->AddVertexEffect(nullptr);
        EXPECT_EQ(holder->GetVertexEffects().size(), 2u);
        EXPECT_EQ(FakeVertexEffect::live, before + 2);
    }
    IPMMObject::CollectGarbage();
    EXPECT_EQ(FakeVertexEffect::live, before);
}

// ---------------------------------------------------------------------------------------------
// The copy a scene object's copy makes

TEST_F(Sprite, CopyTakesEverythingButTheOwnerAndTheFrame) {
    CPSmartPtr<CPMaterial> material(new CPMaterial(7, nullptr, nullptr));
    CPSmartPtr<CPSprite> source(new CPSprite(3.0f));
    source->SetOwner(owner.Get());
    source->SetMaterial(material);
    source->SetHalfHeight(6.0f);
    source->SetRotation(0.5f);
    source->SetVShift(0.25f);
    source->SetColour(0x11223344u);
    source->SetTextureRange(0.1f, 0.2f, 0.3f);
    source->SetCone(D3DXVECTOR3(0.0f, 1.0f, 0.0f), 0.75f);
    source->SetName("flare");
    source->AddVertexEffect(new FakeVertexEffect(2.0f, 3.0f));
    source->SetEffectsEnabled(false);
    source->UpdateVisibility();

    CPSmartPtr<CPSprite> copy(new CPSprite(1.0f));
    copy->AddVertexEffect(new FakeVertexEffect(0.0f, 0.0f)); // replaced, not kept
    const int live = FakeVertexEffect::live;
    copy->CopyFrom(*source);
    EXPECT_EQ(FakeVertexEffect::live, live); // one deleted, one cloned

    EXPECT_EQ(copy->GetOwner(), nullptr);
    EXPECT_EQ(copy->GetMaterial().Get(), material.Get());
    EXPECT_EQ(copy->GetHalfWidth(), 3.0f);
    EXPECT_EQ(copy->GetHalfHeight(), 6.0f);
    EXPECT_EQ(copy->GetRotation(), 0.5f);
    EXPECT_EQ(copy->GetVShift(), 0.25f);
    EXPECT_EQ(copy->GetColour(), 0x11223344u);
    EXPECT_EQ(copy->GetUStart(), 0.1f);
    EXPECT_EQ(copy->GetVStart(), 0.2f);
    EXPECT_EQ(copy->GetUEnd(), 0.3f);
    EXPECT_EQ(copy->GetDirection().y, 1.0f);
    EXPECT_EQ(copy->GetConeAngle(), 0.75f);
    EXPECT_EQ(copy->GetName(), "flare");
    EXPECT_FALSE(copy->AreEffectsEnabled());
    EXPECT_FALSE(copy->IsComputed());
    ASSERT_EQ(copy->GetVertexEffects().size(), 1u);
    EXPECT_NE(copy->GetVertexEffects()[0], source->GetVertexEffects()[0]);
    auto* cloned = dynamic_cast<FakeVertexEffect*>(copy->GetVertexEffects()[0]);
    ASSERT_NE(cloned, nullptr);
    EXPECT_EQ(cloned->add, 2.0f);
    EXPECT_EQ(cloned->scale, 3.0f);

    // The copy draws once given an owner of its own.
    CPSmartPtr<SceneObject> other = MakeSceneObject(D3DXVECTOR3(0.0f, 0.0f, 0.0f));
    copy->SetOwner(other.Get());
    copy->SetCone(D3DXVECTOR3(1.0f, 0.0f, 0.0f), 0.0f);
    EXPECT_EQ(copy->GetVertexCount(), 4);
}

TEST_F(Sprite, CopyFromItselfChangesNothing) {
    sprite->AddVertexEffect(new FakeVertexEffect(1.0f, 1.0f));
    sprite->SetName("self");
    sprite->CopyFrom(*sprite);
    EXPECT_EQ(sprite->GetVertexEffects().size(), 1u);
    EXPECT_EQ(sprite->GetName(), "self");
    EXPECT_EQ(sprite->GetOwner(), owner.Get());
}

// ---------------------------------------------------------------------------------------------
// Through the render block

class SpriteHandOver : public frametest::RenderFixture {};

TEST_F(SpriteHandOver, BatchCountsFollowVisibility) {
    ASSERT_TRUE(StartRenderer());
    CPSmartPtr<CPPerspectiveCamera> camera = MakeCamera(D3DXVECTOR3(10, 0, 0), D3DXVECTOR3(0, 0, 0));
    g_currentViewCamera = camera.Get();
    CPSmartPtr<CPMaterial> material = Material(30);
    CPSmartPtr<SceneObject> shown = MakeSceneObject(D3DXVECTOR3(0, 0, 0));
    CPSmartPtr<SceneObject> hidden = MakeSceneObject(D3DXVECTOR3(0, 1, 0));
    for (SceneObject* object : {shown.Get(), hidden.Get()}) {
        CPSmartPtr<CPSprite> s(new CPSprite(1.0f));
        s->SetOwner(object);
        s->SetMaterial(material);
        object->renderable = s.Get();
        object->kind = IPSceneObject::KindSprite;
    }
    static_cast<CPSprite*>(hidden->renderable.Get())->SetCone(D3DXVECTOR3(1, 0, 0), -0.05f);
    CPSmartPtr<CPRenderBlock> block = render->GetRenderBlock();
    block->AddObject(CPSmartPtr<IPSceneObject>(shown.Get()));
    block->AddObject(CPSmartPtr<IPSceneObject>(hidden.Get()));
    CPIVBlock* batch = block->FindBatch(material.Get());
    ASSERT_NE(batch, nullptr);
    EXPECT_EQ(batch->GetVertexCount(), 4);
    EXPECT_EQ(batch->GetIndexCount(), 6);
    Frame();
    // Both were filled (or skipped) and wait for the next frame's answer.
    EXPECT_FALSE(static_cast<CPSprite*>(shown->renderable.Get())->IsComputed());
    EXPECT_FALSE(static_cast<CPSprite*>(hidden->renderable.Get())->IsComputed());
}

} // namespace
