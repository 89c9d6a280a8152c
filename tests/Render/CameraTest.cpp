#include "Render/PPerspectiveCamera.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

#include "Framework/PSettings.h"
#include "Platform/Math/D3DXMath.h"
#include "support/Near.h"

namespace {

using kxtest::Near;

constexpr float kPi = 3.14159265358979f;

// Planes are compared after scaling the normal to unit length (the camera's are not normalised).
::testing::AssertionResult SamePlane(const D3DXPLANE& got, const D3DXPLANE& wantUnit, float eps = 1e-4f) {
    D3DXPLANE n;
    D3DXPlaneNormalize(&n, &got);
    if (std::fabs(n.a - wantUnit.a) <= eps && std::fabs(n.b - wantUnit.b) <= eps &&
        std::fabs(n.c - wantUnit.c) <= eps && std::fabs(n.d - wantUnit.d) <= eps)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "got normalised (" << n.a << ", " << n.b << ", " << n.c << ", " << n.d
                                         << "), want (" << wantUnit.a << ", " << wantUnit.b << ", " << wantUnit.c
                                         << ", " << wantUnit.d << ")";
}

bool SameBytes(const void* a, const void* b, std::size_t n) { return std::memcmp(a, b, n) == 0; }

const float kRs5 = 1.0f / std::sqrt(5.0f);
const float kRs2 = 1.0f / std::sqrt(2.0f);

class CameraTest : public ::testing::Test {
protected:
    void SetUp() override {
        g_screenWidth = 200;
        g_screenHeight = 100;
        camera = new CPPerspectiveCamera;
    }
    void TearDown() override {
        camera = nullptr;
        IPMMObject::CollectGarbage();
        ResetSettingsToDefaults();
    }

    // 90 degrees vertical, near 1, far 101, on the fixture's 2:1 screen.
    void Look(const D3DXVECTOR3& eye, const D3DXVECTOR3& target, const D3DXVECTOR3& up) {
        camera->eye = eye;
        camera->target = target;
        camera->up = up;
        camera->fieldOfView = kPi / 2;
        camera->nearDistance = 1;
        camera->farDistance = 101;
        camera->viewDirty = true;
        camera->projectionDirty = true;
        camera->Update();
    }

    // Eye at the origin looking along +z, y up.
    void LookDownZ() { Look(D3DXVECTOR3(0, 0, 0), D3DXVECTOR3(0, 0, 1), D3DXVECTOR3(0, 1, 0)); }

    // The game's z-up world: from (10, 0, 5) along +y.
    void LookAlongY() { Look(D3DXVECTOR3(10, 0, 5), D3DXVECTOR3(10, 10, 5), D3DXVECTOR3(0, 0, 1)); }

    CPSmartPtr<CPPerspectiveCamera> camera;
};

TEST(BaseCamera, StartsWithIdentityMatricesAndTakesAViewMatrix) {
    CPSmartPtr<CPBaseCamera> c(new CPBaseCamera);
    D3DXMATRIX id;
    D3DXMatrixIdentity(&id);
    EXPECT_EQ(c->GetView(), id);
    EXPECT_EQ(c->GetProjection(), id);
    EXPECT_EQ(c->GetSkyView(), id);
    EXPECT_EQ(c->GetInverseSkyView(), id);
    EXPECT_EQ(c->GetClassName(), "CPBaseCamera");
    EXPECT_EQ(c->GetSize(), static_cast<int>(sizeof(CPBaseCamera)));

    D3DXMATRIX ortho;
    D3DXMatrixOrthoOffCenterLH(&ortho, 0, 1024, 768, 0, 0, 1);
    c->SetMatrix(ortho);
    EXPECT_EQ(c->GetView(), ortho);
    EXPECT_EQ(c->GetProjection(), id); // the screen camera keeps an identity projection
    c = nullptr;
    IPMMObject::CollectGarbage();
}

TEST_F(CameraTest, NewCameraIsCleanAndNamed) {
    EXPECT_FALSE(camera->viewDirty);
    EXPECT_FALSE(camera->projectionDirty);
    EXPECT_EQ(camera->GetClassName(), "CPPerspectiveCamera");
    EXPECT_EQ(camera->GetSize(), static_cast<int>(sizeof(CPPerspectiveCamera)));
    EXPECT_EQ(g_currentViewCamera, nullptr);
}

TEST_F(CameraTest, MatricesMatchHandComputedLeftHandedReferences) {
    LookAlongY();
    EXPECT_FALSE(camera->viewDirty);
    EXPECT_FALSE(camera->projectionDirty);
    // View axes: right = up x forward = -x, up = +z, forward = +y.
    const D3DXMATRIX view(-1, 0, 0, 0, 0, 0, 1, 0, 0, 1, 0, 0, 10, -5, 0, 1);
    EXPECT_TRUE(Near(camera->GetView(), view));
    const D3DXMATRIX proj(0.5f, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1.01f, 1, 0, 0, -1.01f, 0);
    EXPECT_TRUE(Near(camera->GetProjection(), proj));
    const float q = 1000.0f / 999.0f;
    EXPECT_TRUE(Near(camera->GetSkyProjection(), D3DXMATRIX(0.5f, 0, 0, 0, 0, 1, 0, 0, 0, 0, q, 1, 0, 0, -q, 0)));
    // The sky view is the same rotation without the translation.
    EXPECT_TRUE(Near(camera->GetSkyView(), D3DXMATRIX(-1, 0, 0, 0, 0, 0, 1, 0, 0, 1, 0, 0, 0, 0, 0, 1)));
    EXPECT_TRUE(Near(camera->GetInverseSkyView(), D3DXMATRIX(-1, 0, 0, 0, 0, 0, 1, 0, 0, 1, 0, 0, 0, 0, 0, 1)));
    // Camera to world: the camera's axes as rows, the eye in row 4.
    EXPECT_TRUE(Near(camera->GetInverseView(), D3DXMATRIX(-1, 0, 0, 0, 0, 0, 1, 0, 0, 1, 0, 0, 10, 0, 5, 1)));
    EXPECT_TRUE(Near(camera->GetViewProjection(), view * proj));
    EXPECT_TRUE(Near(camera->GetSkyViewProjection(), camera->GetSkyView() * camera->GetSkyProjection()));
    D3DXMATRIX id;
    D3DXMatrixIdentity(&id);
    EXPECT_TRUE(Near(camera->GetViewProjection() * camera->GetInverseViewProjection(), id, 1e-4f));
}

TEST_F(CameraTest, FrustumPlanesOfAnAxisAlignedCamera) {
    LookDownZ();
    // The volume: 1 <= z <= 101, |x| <= 2z, |y| <= z; normals point inwards.
    EXPECT_TRUE(SamePlane(camera->GetPlane(CPPerspectiveCamera::PlaneNear), {0, 0, 1, -1}));
    EXPECT_TRUE(SamePlane(camera->GetPlane(CPPerspectiveCamera::PlaneFar), {0, 0, -1, 101}, 1e-3f));
    EXPECT_TRUE(SamePlane(camera->GetPlane(CPPerspectiveCamera::PlaneLeft), {kRs5, 0, 2 * kRs5, 0}));
    EXPECT_TRUE(SamePlane(camera->GetPlane(CPPerspectiveCamera::PlaneRight), {-kRs5, 0, 2 * kRs5, 0}));
    EXPECT_TRUE(SamePlane(camera->GetPlane(CPPerspectiveCamera::PlaneTop), {0, -kRs2, kRs2, 0}));
    EXPECT_TRUE(SamePlane(camera->GetPlane(CPPerspectiveCamera::PlaneBottom), {0, kRs2, kRs2, 0}));
    // Not normalised: the near normal is the cross product of two near-plane edges (4 x 2).
    EXPECT_NEAR(camera->GetPlane(CPPerspectiveCamera::PlaneNear).c, 8.0f, 1e-4f);
}

TEST_F(CameraTest, FrustumPlanesOfAMovedAndTurnedCamera) {
    LookAlongY();
    EXPECT_TRUE(SamePlane(camera->GetPlane(CPPerspectiveCamera::PlaneNear), {0, 1, 0, -1}));
    EXPECT_TRUE(SamePlane(camera->GetPlane(CPPerspectiveCamera::PlaneFar), {0, -1, 0, 101}, 1e-3f));
    // The camera's left is world +x: -(x - 10) + 2y >= 0.
    EXPECT_TRUE(SamePlane(camera->GetPlane(CPPerspectiveCamera::PlaneLeft), {-kRs5, 2 * kRs5, 0, 10 * kRs5}));
    EXPECT_TRUE(SamePlane(camera->GetPlane(CPPerspectiveCamera::PlaneRight), {kRs5, 2 * kRs5, 0, -10 * kRs5}));
    EXPECT_TRUE(SamePlane(camera->GetPlane(CPPerspectiveCamera::PlaneTop), {0, kRs2, -kRs2, 5 * kRs2}));
    EXPECT_TRUE(SamePlane(camera->GetPlane(CPPerspectiveCamera::PlaneBottom), {0, kRs2, kRs2, -5 * kRs2}));
}

TEST_F(CameraTest, UpdateWithNoFlagChangesNothing) {
    LookDownZ();
    const D3DXMATRIX view = camera->GetView(), proj = camera->GetProjection(), vp = camera->GetViewProjection();
    D3DXPLANE planes[6];
    for (int i = 0; i < 6; ++i) planes[i] = camera->GetPlane(i);

    camera->eye = D3DXVECTOR3(50, 50, 50);
    camera->fieldOfView = 0.1f;
    g_screenWidth = 1000;
    camera->Update();
    EXPECT_EQ(camera->GetView(), view);
    EXPECT_EQ(camera->GetProjection(), proj);
    EXPECT_EQ(camera->GetViewProjection(), vp);
    for (int i = 0; i < 6; ++i) EXPECT_TRUE(SameBytes(&planes[i], &camera->GetPlane(i), sizeof(D3DXPLANE))) << i;
}

TEST_F(CameraTest, ProjectionOnlyUpdateKeepsTheViewAndRederivesTheRest) {
    LookAlongY();
    const D3DXMATRIX view = camera->GetView(), inverseView = camera->GetInverseView();
    const D3DXMATRIX skyView = camera->GetSkyView(), inverseSkyView = camera->GetInverseSkyView();
    const D3DXMATRIX proj = camera->GetProjection();

    camera->eye = D3DXVECTOR3(-40, 3, 9); // written but the view is not flagged
    camera->farDistance = 51;
    camera->projectionDirty = true;
    camera->Update();
    EXPECT_FALSE(camera->projectionDirty);
    EXPECT_EQ(camera->GetView(), view);
    EXPECT_EQ(camera->GetInverseView(), inverseView);
    EXPECT_EQ(camera->GetSkyView(), skyView);
    EXPECT_EQ(camera->GetInverseSkyView(), inverseSkyView);
    EXPECT_NE(camera->GetProjection(), proj);
    EXPECT_TRUE(Near(camera->GetViewProjection(), view * camera->GetProjection()));
    // The far plane moved with the new far distance, from the old eye.
    EXPECT_TRUE(SamePlane(camera->GetPlane(CPPerspectiveCamera::PlaneFar), {0, -1, 0, 51}, 1e-3f));
    EXPECT_TRUE(SamePlane(camera->GetPlane(CPPerspectiveCamera::PlaneNear), {0, 1, 0, -1}));
}

TEST_F(CameraTest, ViewOnlyUpdateRederivesPlanesWithTheOldProjection) {
    LookDownZ();
    const D3DXMATRIX proj = camera->GetProjection();
    camera->eye = D3DXVECTOR3(0, 0, -10);
    camera->target = D3DXVECTOR3(0, 0, 0);
    camera->farDistance = 5; // not flagged
    camera->viewDirty = true;
    camera->Update();
    EXPECT_EQ(camera->GetProjection(), proj);
    EXPECT_TRUE(SamePlane(camera->GetPlane(CPPerspectiveCamera::PlaneNear), {0, 0, 1, 9}));
    EXPECT_TRUE(SamePlane(camera->GetPlane(CPPerspectiveCamera::PlaneFar), {0, 0, -1, 91}, 1e-3f));
}

TEST_F(CameraTest, ScreenSizeIsReadOnlyWhenTheProjectionIsRebuilt) {
    LookDownZ();
    const D3DXMATRIX proj = camera->GetProjection();
    g_screenWidth = 100; // square screen from now on
    camera->viewDirty = true;
    camera->Update();
    EXPECT_EQ(camera->GetProjection(), proj);
    EXPECT_FLOAT_EQ(camera->GetProjection()._11, 0.5f);
    camera->projectionDirty = true;
    camera->Update();
    EXPECT_FLOAT_EQ(camera->GetProjection()._11, 1.0f);
    EXPECT_FLOAT_EQ(camera->GetSkyProjection()._11, 1.0f);
}

TEST_F(CameraTest, BoxesAgainstTheFrustum) {
    LookDownZ();
    struct Case {
        D3DXVECTOR3 min, max;
        bool visible;
        const char* what;
    };
    const Case cases[] = {
        {{-1, -0.5f, 10}, {1, 0.5f, 20}, true, "inside"},
        {{100, -1, 10}, {110, 1, 20}, false, "beside, right of the right plane"},
        {{-1, -1, 0}, {1, 1, 2}, true, "straddling the near plane"},
        {{-1, -1, 100}, {1, 1, 200}, true, "straddling the far plane"},
        {{-1, -1, -10}, {1, 1, -5}, false, "behind the eye"},
        {{-1, -1, 150}, {1, 1, 160}, false, "beyond the far plane"},
        {{-1000, -1000, -1000}, {1000, 1000, 1000}, true, "enclosing the whole volume and the eye"},
        {{-0.1f, -0.1f, -0.1f}, {0.1f, 0.1f, 0.1f}, false, "around the eye only, before the near plane"},
    };
    for (const Case& k : cases) EXPECT_EQ(camera->IsInFrustum(k.min, k.max), k.visible) << k.what;
}

TEST_F(CameraTest, TheBoxTestIsConservativeNearTheVolumesEdges) {
    // Turned 45 degrees: in x and z the volume is x + z >= sqrt 2 (near), x + z <= 101 sqrt 2
    // (far), x + 3z >= 0 (right) and 3x + z >= 0 (left).
    LookDownZ();
    camera->target = D3DXVECTOR3(1, 0, 1);
    camera->viewDirty = true;
    camera->Update();
    EXPECT_TRUE(camera->IsInFrustum({40, -1, 40}, {45, 1, 45}));
    EXPECT_FALSE(camera->IsInFrustum({215, -1, -100}, {240, 1, -90})); // wholly right of the volume
    // Beyond the far-right edge: one corner is inside the far plane and another inside the
    // right plane, but no point of the box is inside both (that needs z >= -71.4). It is
    // reported visible.
    EXPECT_TRUE(camera->IsInFrustum({215, -1, -100}, {240, 1, -72}));
}

TEST_F(CameraTest, ACornerOnAPlaneIsNotInside) {
    LookDownZ();
    // Looking down +z from the origin with near 1 gives a near plane of exactly (0, 0, c, -c).
    const D3DXPLANE& nearPlane = camera->GetPlane(CPPerspectiveCamera::PlaneNear);
    ASSERT_EQ(nearPlane.a, 0.0f);
    ASSERT_EQ(nearPlane.b, 0.0f);
    ASSERT_EQ(nearPlane.d, -nearPlane.c);

    // The box's upper face lies on the near plane; everything else is behind it.
    EXPECT_FALSE(camera->IsInFrustum({-0.5f, -0.5f, -3}, {0.5f, 0.5f, 1}));
    // Any positive amount inside passes the near plane, and the other planes pass too.
    EXPECT_TRUE(camera->IsInFrustum({-0.5f, -0.5f, -3}, {0.5f, 0.5f, std::nextafter(1.0f, 2.0f)}));
}

TEST_F(CameraTest, NaNBoxIsNotInTheFrustum) {
    LookDownZ();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    EXPECT_FALSE(camera->IsInFrustum({nan, nan, nan}, {nan, nan, nan}));
    EXPECT_FALSE(camera->IsInFrustum({-1, -1, nan}, {1, 1, nan}));
}

TEST_F(CameraTest, ProjectToScreen) {
    LookDownZ();
    struct Case {
        D3DXVECTOR3 point, want;
    };
    const Case cases[] = {
        {{0, 0, 1}, {100, 50, 0}},  // the target: screen centre
        {{0, 0, 60}, {100, 50, 0}}, // anywhere on the line of sight
        {{2, 0, 1}, {200, 50, 0}},  // right edge of the near plane
        {{0, 1, 1}, {100, 0, 0}},   // top edge: y grows downwards on screen
        {{-4, -2, 2}, {0, 100, 0}}, // bottom-left corner
        {{1, 0.5f, 5}, {110, 45, 0}},
        // Behind the eye: mirrored through the centre, not rejected.
        {{-1, -0.5f, -5}, {110, 45, 0}},
    };
    for (const Case& k : cases) EXPECT_TRUE(Near(camera->ProjectToScreen(k.point), k.want, 1e-4f));

    LookAlongY();
    EXPECT_TRUE(Near(camera->ProjectToScreen(camera->target), {100, 50, 0}, 1e-4f));
    // The camera's right is world -x.
    EXPECT_TRUE(Near(camera->ProjectToScreen({8, 1, 5}), {200, 50, 0}, 1e-4f));
}

TEST(MakePlaneFromPoints, NormalIsTheUnnormalisedCrossProduct) {
    const D3DXPLANE p = MakePlaneFromPoints({0, 0, 3}, {2, 0, 3}, {0, 5, 3});
    EXPECT_FLOAT_EQ(p.a, 0.0f);
    EXPECT_FLOAT_EQ(p.b, 0.0f);
    EXPECT_FLOAT_EQ(p.c, 10.0f);
    EXPECT_FLOAT_EQ(p.d, -30.0f);
}

} // namespace
