// The lightning strike: its parameters, the strip's indices and texture coordinates, its end by
// age, a hit on its first segment, the strip's tail, the side vector when head, tail and eye are
// in line, and no strike without a level or a camera.
#include <gtest/gtest.h>

#include "Render/PPerspectiveCamera.h"
#include "Render/PRenderSeams.h"
#include "ShotsFixture.h"
#include "World/PLightningStrike.h"

namespace {

using kxshots::Near;
using kxshots::ShotWorld;
using kxshots::TestShot;

// The renderer's view of a level whose race camera looks from the eye.
class FakeRaceWorld : public IPRaceWorld {
public:
    bool HasLevel() const override { return true; }
    CPPerspectiveCamera* GetViewCamera() const override { return camera; }
    CPPerspectiveCamera* GetFarCamera() const override { return camera; }
    bool GetTerrain(SPTerrainView&) const override { return false; }
    CPPerspectiveCamera* camera = nullptr;
};

const std::vector<std::string> kParams = {"enemy",    "10",  "1.5",    "0.5", "razlom.dds",
                                          "light.fx", "103", "sparks", "2",   "kethro.wav,3d"};

class LightningTest : public ShotWorld {
protected:
    void SetUp() override {
        world.camera = &camera;
        camera.eye = D3DXVECTOR3(0, 0, 100);
        SetRaceWorld(&world);
        Level();
        strike = CPSmartPtr<CPLightningStrike>(new CPLightningStrike("strike"));
        ASSERT_TRUE(strike->ParseParams(kParams));
    }
    void TearDown() override { SetRaceWorld(nullptr); }

    const std::vector<SPVertex>& Drawn() const { return strike->GetStrikeRender()->WorldVertices(); }
    static D3DXVECTOR3 At(const SPVertex& v) { return D3DXVECTOR3(v.x, v.y, v.z); }

    CPPerspectiveCamera camera;
    FakeRaceWorld world;
    CPSmartPtr<CPLightningStrike> strike;
};

TEST_F(LightningTest, Parameters) {
    EXPECT_TRUE(strike->IsEnemyStrike());
    EXPECT_EQ(strike->GetTimeScale(), 10.0f);
    EXPECT_EQ(strike->GetHalfWidth(), 0.5f);
    EXPECT_EQ(strike->GetTexture(), "razlom.dds");
    EXPECT_EQ(strike->GetEffect(), "light.fx");
    EXPECT_EQ(strike->GetRenderKey(), 103);
    EXPECT_EQ(strike->GetImpactEffect(), "sparks");
    EXPECT_EQ(strike->GetSoundFile(), "kethro.wav");
    EXPECT_FALSE(strike->IsSound2D());

    // Texts that are no numbers read as 0; missing entries are empty.
    CPSmartPtr<CPLightningStrike> other(new CPLightningStrike("s"));
    EXPECT_TRUE(other->ParseParams({"player", "fast", "x", "wide"}));
    EXPECT_FALSE(other->IsEnemyStrike());
    EXPECT_EQ(other->GetTimeScale(), 0.0f);
    EXPECT_EQ(other->GetHalfWidth(), 0.0f);
    EXPECT_TRUE(other->GetImpactEffect().empty());
    EXPECT_EQ(other->GetSoundFile(), "wide");
    CPSmartPtr<CPLightningStrike> empty(new CPLightningStrike("s"));
    EXPECT_TRUE(empty->ParseParams({}));
}

TEST_F(LightningTest, TheStripIsTwoWhiteTrianglesWithItsTextureAcross) {
    const CPSmartPtr<CPRenderObject>& strip = strike->GetStrikeRender();
    ASSERT_TRUE(strip);
    EXPECT_EQ(strike->GetAttachment().Get(), static_cast<IPMMObject*>(strip.Get()));
    EXPECT_EQ(strike->GetKind(), IPSceneObject::KindMesh);
    EXPECT_EQ(strip->GetOwner(), strike.Get());
    // The shot's own mesh stays held.
    EXPECT_TRUE(strike->GetRenderPart());
    EXPECT_NE(strike->GetRenderPart().Get(), strip.Get());
    EXPECT_EQ(strip->Indices(), (std::vector<std::uint16_t>{0, 1, 2, 0, 2, 3}));
    ASSERT_EQ(strip->ModelVertices().size(), 4u);
    ASSERT_EQ(Drawn().size(), 4u);
    const float uv[4][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
    for (int i = 0; i < 4; ++i) {
        const SPVertex* both[2] = {&strip->ModelVertices()[i], &Drawn()[i]};
        for (const SPVertex* v : both) {
            EXPECT_EQ(v->diffuse, 0xffffffffu);
            EXPECT_EQ(v->tu, uv[i][0]);
            EXPECT_EQ(v->tv, uv[i][1]);
            EXPECT_TRUE(Near(At(*v), D3DXVECTOR3(0, 0, 0)));
        }
    }
    // A strike is never a pool's prototype.
    EXPECT_FALSE(strike->Clone());
    EXPECT_FALSE(strike->IsPooled());
}

TEST_F(LightningTest, TimeScaleTenEndsItAfterTwoSeconds) {
    strike->Launch(D3DXVECTOR3(0, 0, 0), D3DXVECTOR3(1, 0, 0), 1.0f, CPSmartPtr<CPGameObject>(), nullptr);
    CPSmartPtr<CPGameObject> hit;
    g_deltaTime = 0.125f;
    // 1.25 of age a frame: 16 frames reach exactly 20, which is not yet over.
    for (int i = 0; i < 16; ++i) ASSERT_EQ(strike->Update(hit), 1) << i;
    EXPECT_FLOAT_EQ(strike->GetAge(), 20.0f);
    EXPECT_TRUE(Near(strike->GetShotPosition(), D3DXVECTOR3(20, 0, 0), 1e-4f));
    EXPECT_EQ(strike->Update(hit), -1);
    // The last update neither moved nor tested.
    EXPECT_TRUE(Near(strike->GetShotPosition(), D3DXVECTOR3(20, 0, 0), 1e-4f));
    EXPECT_FALSE(hit);
    EXPECT_FALSE(strike->IsAlive());
}

TEST_F(LightningTest, AFirstSegmentTouchingARacerAnswersZeroAndNeverMoves) {
    auto sparks = Pool("sparks", 1);
    CPSmartPtr<CPPlayer> racer = Racer(D3DXVECTOR3(3, 0, 0), false);
    Racer(D3DXVECTOR3(0, 50, 0), true);
    strike->Launch(D3DXVECTOR3(0, 0, 0), D3DXVECTOR3(1, 0, 0), 1.0f, CPSmartPtr<CPGameObject>(), nullptr);
    g_deltaTime = 0.5f;
    CPSmartPtr<CPGameObject> hit;
    EXPECT_EQ(strike->Update(hit), 0);
    EXPECT_EQ(hit.Get(), static_cast<CPGameObject*>(racer.Get()));
    const auto spawned = Active("sparks");
    ASSERT_EQ(spawned.size(), 1u);
    EXPECT_TRUE(Near(spawned[0]->GetShotPosition(), D3DXVECTOR3(0, 0, 0)));
    // Along the normal of the face it entered (the box's face across x), as the pick gives it.
    const D3DXVECTOR3 normal = spawned[0]->GetShotDirection();
    EXPECT_GT(std::fabs(normal.x), 0.0f);
    EXPECT_NEAR(normal.y, 0.0f, 1e-5f);
    EXPECT_NEAR(normal.z, 0.0f, 1e-5f);
    EXPECT_EQ(spawned[0]->GetSpeed(), -1.0f);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(strike->Update(hit), 0);
        EXPECT_TRUE(Near(strike->GetShotPosition(), D3DXVECTOR3(0, 0, 0)));
    }
    EXPECT_EQ(Active("sparks").size(), 4u);
}

TEST_F(LightningTest, TheTailStaysAtTheLaunchPointAsTheHeadMoves) {
    strike->Launch(D3DXVECTOR3(1, 2, 0), D3DXVECTOR3(0, 1, 0), 1.0f, CPSmartPtr<CPGameObject>(), nullptr);
    EXPECT_TRUE(Near(strike->GetStartPoint(), D3DXVECTOR3(1, 2, 0)));
    EXPECT_EQ(Drawn()[1].tu, 1.0f);
    EXPECT_EQ(Drawn()[2].tu, 1.0f);
    g_deltaTime = 0.1f;
    CPSmartPtr<CPGameObject> hit;
    for (int frame = 1; frame <= 3; ++frame) {
        ASSERT_EQ(strike->Update(hit), 1);
        const D3DXVECTOR3 head(1, 2 + static_cast<float>(frame), 0);
        EXPECT_TRUE(Near(strike->GetShotPosition(), head, 1e-4f));
        // Across the strip, facing the eye above: the side is along x.
        const D3DXVECTOR3 side = strike->GetSide();
        EXPECT_NEAR(std::fabs(side.x), 1.0f, 1e-4f);
        const D3DXVECTOR3 w = side * 0.5f;
        EXPECT_TRUE(Near(At(Drawn()[0]), D3DXVECTOR3(1, 2, 0) + w, 1e-4f));
        EXPECT_TRUE(Near(At(Drawn()[1]), head + w, 1e-4f));
        EXPECT_TRUE(Near(At(Drawn()[2]), head - w, 1e-4f));
        EXPECT_TRUE(Near(At(Drawn()[3]), D3DXVECTOR3(1, 2, 0) - w, 1e-4f));
        // The drawn vertices are not made again from the base ones.
        EXPECT_FALSE(strike->IsTransformChanged());
    }
}

TEST_F(LightningTest, HeadTailAndEyeInLineKeepTheLastSide) {
    // Straight up at the eye: the cross product vanishes from the first frame on.
    strike->Launch(D3DXVECTOR3(0, 0, 0), D3DXVECTOR3(0, 0, 1), 1.0f, CPSmartPtr<CPGameObject>(), nullptr);
    g_deltaTime = 0.1f;
    CPSmartPtr<CPGameObject> hit;
    ASSERT_EQ(strike->Update(hit), 1);
    EXPECT_TRUE(Near(strike->GetSide(), D3DXVECTOR3(0, 0, 1)));
    for (const SPVertex& v : Drawn()) {
        EXPECT_TRUE(std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z));
    }
    // Once the eye moves off the line, the side follows it; back in line, it stays.
    camera.eye = D3DXVECTOR3(0, 100, 100);
    ASSERT_EQ(strike->Update(hit), 1);
    const D3DXVECTOR3 side = strike->GetSide();
    EXPECT_NEAR(std::fabs(side.x), 1.0f, 1e-4f);
    camera.eye = D3DXVECTOR3(0, 0, 100);
    ASSERT_EQ(strike->Update(hit), 1);
    EXPECT_TRUE(Near(strike->GetSide(), side));
}

TEST_F(LightningTest, NoLevelOrNoCameraAnswersMinusOne) {
    strike->Launch(D3DXVECTOR3(0, 0, 0), D3DXVECTOR3(1, 0, 0), 1.0f, CPSmartPtr<CPGameObject>(), nullptr);
    g_deltaTime = 0.1f;
    CPSmartPtr<CPGameObject> hit;
    world.camera = nullptr;
    EXPECT_EQ(strike->Update(hit), -1);
    world.camera = &camera;
    delete level;
    level = nullptr;
    EXPECT_EQ(strike->Update(hit), -1);
    EXPECT_FALSE(strike->IsAlive());
    // Neither aged nor moved.
    EXPECT_EQ(strike->GetAge(), 0.0f);
    EXPECT_TRUE(Near(strike->GetShotPosition(), D3DXVECTOR3(0, 0, 0)));
}

} // namespace
