// The start camera: the smoothed flight path, the flight from its last point to its first with the
// look easing ahead and turning to the car, the swing round the car, and the start moment that
// hands the view to the race camera.

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "Platform/Math/D3DXMath.h"
#include "World/PStartCamera.h"
#include "World/View/ViewFixture.h"

namespace {

using kxview::ViewWorld;

constexpr float kPi = 3.1415927f;

void ExpectNear(const D3DXVECTOR3& actual, const D3DXVECTOR3& expected, float tolerance = 1e-4f) {
    EXPECT_NEAR(actual.x, expected.x, tolerance);
    EXPECT_NEAR(actual.y, expected.y, tolerance);
    EXPECT_NEAR(actual.z, expected.z, tolerance);
}

bool Finite(const D3DXVECTOR3& v) { return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z); }

D3DXVECTOR3 Unit(const D3DXVECTOR3& v) {
    D3DXVECTOR3 out;
    D3DXVec3Normalize(&out, &v);
    return out;
}

std::vector<D3DXVECTOR3> Line(int n, float spacing = 10.0f) {
    std::vector<D3DXVECTOR3> points;
    for (int i = 0; i < n; ++i) points.emplace_back(spacing * static_cast<float>(i), 0.0f, 5.0f);
    return points;
}

TEST(SmoothPath, OpenListsGiveTheSecondPointAndNinePerInnerSegment) {
    for (int n = 0; n <= 7; ++n) {
        std::vector<D3DXVECTOR3> out;
        SmoothPath(Line(n), out, false);
        const std::size_t expected = n < 4 ? 0u : static_cast<std::size_t>(1 + 9 * (n - 3));
        ASSERT_EQ(out.size(), expected) << n;
        if (n < 4) continue;
        ExpectNear(out.front(), D3DXVECTOR3(10.0f, 0.0f, 5.0f));
        // Evenly spaced points on a straight line: the curve runs through them a tenth of a step
        // at a time, and a segment's own start is only there for the first.
        for (std::size_t k = 1; k < out.size(); ++k) {
            const int segment = static_cast<int>(k - 1) / 9;
            const int tenth = static_cast<int>(k - 1) % 9 + 1;
            ExpectNear(out[k],
                       D3DXVECTOR3(10.0f + 10.0f * static_cast<float>(segment) + static_cast<float>(tenth), 0.0f, 5.0f),
                       1e-3f);
        }
    }
}

TEST(SmoothPath, ClosedListsWrapRoundAndEverySegmentCounts) {
    const std::vector<D3DXVECTOR3> square{{0, 0, 0}, {10, 0, 0}, {10, 10, 0}, {0, 10, 0}};
    std::vector<D3DXVECTOR3> out;
    SmoothPath(square, out, true);
    ASSERT_EQ(out.size(), 1u + 9u * 4u);
    ExpectNear(out.front(), square[0]);
    // Segment 0 runs from the first point to the second with the last and third as neighbours.
    D3DXVECTOR3 half;
    CatmullRom(half, 0.5f, square[3], square[0], square[1], square[2]);
    ExpectNear(out[5], half);
    // The last segment comes back towards the first point.
    D3DXVECTOR3 end;
    CatmullRom(end, 0.9f, square[2], square[3], square[0], square[1]);
    ExpectNear(out.back(), end);
}

TEST(SmoothPath, TheCurveMeetsItsInnerPointsAndCoincidentPointsStayFinite) {
    const D3DXVECTOR3 p0(0, 0, 0), p1(3, 1, 0), p2(5, 7, 2), p3(9, 9, 9);
    D3DXVECTOR3 out;
    CatmullRom(out, 0.0f, p0, p1, p2, p3);
    ExpectNear(out, p1);
    CatmullRom(out, 1.0f, p0, p1, p2, p3);
    ExpectNear(out, p2);

    const std::vector<D3DXVECTOR3> same(6, D3DXVECTOR3(4.0f, 4.0f, 4.0f));
    std::vector<D3DXVECTOR3> smooth;
    SmoothPath(same, smooth, false);
    ASSERT_EQ(smooth.size(), 28u);
    for (const D3DXVECTOR3& p : smooth) ExpectNear(p, same[0]);
}

// A level whose start camera flies a straight path from x = 100 back to x = 0 over gridLength - 2
// seconds, with the human's car at the origin.
struct StartCamera : ViewWorld {
    StartCamera() {
        level->gridLength = 10.0f;
        level->startCameraPath.points = Line(11);
        level->camera1Fov = 65.0f;
    }
    D3DXVECTOR3 Eye() const { return level->cameraStartPoint; }
    D3DXVECTOR3& Look() const { return level->startCameraLook; }
    void Fly(float t, float dt = 0.0f) {
        level->UpdateStartCamera(t, level->cameraStartPoint, level->startCameraLook, dt);
    }
    void Sequence(float raceTime, float dt = 0.0f) {
        level->raceTime = raceTime;
        level->UpdateStartSequence(dt);
    }
};

TEST_F(StartCamera, TheFlightRunsFromTheLastPointToTheFirst) {
    Fly(0.0f);
    ExpectNear(Eye(), D3DXVECTOR3(100.0f, 0.0f, 5.0f));
    EXPECT_EQ(level->startCameraPath.pathLength, 100.0f);
    Fly(4.0f);
    ExpectNear(Eye(), D3DXVECTOR3(50.0f, 0.0f, 5.0f), 1e-3f);
    Fly(8.0f - 1e-4f);
    ExpectNear(Eye(), D3DXVECTOR3(0.0f, 0.0f, 5.0f), 0.01f);
    // At the very end no segment holds the distance: the eye stays where it was.
    const D3DXVECTOR3 before = Eye();
    Fly(8.0f);
    ExpectNear(Eye(), before, 0.0f);
}

TEST_F(StartCamera, TheFirstFrameTakesTheWayAheadAndLaterFramesEaseTowardsIt) {
    Fly(1.0f, 0.1f);
    ExpectNear(Look(), D3DXVECTOR3(-1.0f, 0.0f, 0.0f));
    // Eased at 1.5 per second from a look along +y.
    Look() = D3DXVECTOR3(0.0f, 1.0f, 0.0f);
    Fly(1.0f, 0.1f);
    ExpectNear(Look(), Unit(D3DXVECTOR3(-0.15f, 0.85f, 0.0f)));
}

TEST_F(StartCamera, TheLookAheadAimsTwiceTheDistanceFlownIntoTheSegmentPastItsEnd) {
    // A path that bends: the last segment runs along -x, then the path turns to +y.
    level->startCameraPath.points = {{0, 40, 0}, {0, 30, 0}, {0, 20, 0}, {0, 10, 0}, {0, 0, 0}, {10, 0, 0}};
    level->gridLength = 7.0f; // the 50 units in 5 seconds
    Fly(0.4f, 0.0f);          // 4 units into the first segment
    ExpectNear(Eye(), D3DXVECTOR3(6.0f, 0.0f, 0.0f));
    // q = (0, 0, 0); the first point beyond it more than 8 away is (0, 10, 0): aim at (0, 8, 0).
    ExpectNear(Look(), Unit(D3DXVECTOR3(-6.0f, 8.0f, 0.0f)));
}

TEST_F(StartCamera, FromFourSecondsBeforeTheGridTheViewTurnsToTheCar) {
    const D3DXVECTOR3 car = human->GetPosition();
    level->startCameraPath.aimDirection = D3DXVECTOR3(7.0f, 7.0f, 7.0f);
    Fly(5.9f, 0.1f);
    Fly(5.99f, 0.01f);
    EXPECT_EQ(level->startCameraPath.aimDirection, D3DXVECTOR3(7.0f, 7.0f, 7.0f)) << "not before gridLength - 4";
    Fly(6.0f, 0.01f);
    ExpectNear(level->startCameraPath.aimDirection, Unit(car + D3DXVECTOR3(0.0f, 0.0f, 2.0f) - Eye()));
    // Just before the swing the look is the direction to the point 2 above the car.
    Fly(8.0f - 1e-4f, 0.01f);
    ExpectNear(Look(), Unit(car + D3DXVECTOR3(0.0f, 0.0f, 2.0f) - Eye()), 1e-3f);
}

TEST_F(StartCamera, WithoutAPathOrWithCoincidentPointsTheViewStaysPut) {
    for (const std::vector<D3DXVECTOR3>& points : {std::vector<D3DXVECTOR3>{}, std::vector<D3DXVECTOR3>{{1, 2, 3}},
                                                   std::vector<D3DXVECTOR3>(12, D3DXVECTOR3(1.0f, 2.0f, 3.0f))}) {
        level->startCameraPath.points = points;
        level->startCameraPath.pathLength = 0.0f;
        level->cameraStartPoint = D3DXVECTOR3(5.0f, 6.0f, 7.0f);
        Look() = D3DXVECTOR3(0.0f, 1.0f, 0.0f);
        for (float t : {0.0f, 3.0f, 7.0f}) {
            Fly(t, 0.1f);
            EXPECT_EQ(Eye(), D3DXVECTOR3(5.0f, 6.0f, 7.0f)) << points.size();
            EXPECT_EQ(Look(), D3DXVECTOR3(0.0f, 1.0f, 0.0f)) << points.size();
        }
    }
}

TEST_F(StartCamera, TheFlightDrivesTheExternalView) {
    Sequence(2.0f, 0.1f);
    EXPECT_TRUE(camera->IsExternalView());
    EXPECT_FALSE(camera->active);
    ExpectNear(camera->externalEye, Eye());
    ExpectNear(camera->externalLookAt, Eye() + Look());
    ExpectNear(camera->externalUp, D3DXVECTOR3(0.0f, 0.0f, 1.0f));
}

TEST_F(StartCamera, TheSwingEndsSevenUnitsOutTurnedByMinusTheSwingAngle) {
    const D3DXVECTOR3 centre = human->GetPosition();
    const D3DXVECTOR3 raised = centre + D3DXVECTOR3(0.0f, 0.0f, 3.0f);
    // The eye 10 units to the side of the car: a quarter turn from the car's rear.
    for (float side : {1.0f, -1.0f}) {
        level->startCameraPath.swingStarted = false;
        level->cameraStartPoint = raised + D3DXVECTOR3(10.0f * side, 0.0f, 0.0f);
        Sequence(8.0f);
        EXPECT_TRUE(level->startCameraPath.swingStarted);
        ExpectNear(level->swingCentre, centre);
        EXPECT_NEAR(level->startCameraPath.swingDistance, 10.0f, 1e-4f);
        EXPECT_NEAR(level->startCameraPath.swingAngle, kPi / 2.0f, 1e-4f);
        ExpectNear(Eye(), raised + D3DXVECTOR3(10.0f * side, 0.0f, 0.0f), 1e-3f);
        ExpectNear(Look(), centre + D3DXVECTOR3(0.0f, 0.0f, 2.0f) - Eye());

        // Half way (u = 1): half the angle, 8.5 units out.
        Sequence(9.0f);
        const float a = -0.5f * kPi / 2.0f;
        const D3DXVECTOR3 offset(side * std::cos(a), side * std::sin(a), 0.0f);
        ExpectNear(Eye(), raised + offset * 8.5f, 1e-3f);

        Sequence(10.0f - 1e-4f);
        const D3DXVECTOR3 end(0.0f, -side, 0.0f);
        ExpectNear(Eye(), raised + end * 7.0f, 1e-2f);
        ExpectNear(Look(), centre + D3DXVECTOR3(0.0f, 0.0f, 2.0f) - Eye());
        EXPECT_TRUE(camera->IsExternalView());
        ExpectNear(camera->externalEye, Eye());
    }
}

struct StartMoment : StartCamera {
    StartMoment() {
        first = MakeFlaggedCheckpoint();
        second = MakeFlaggedCheckpoint();
        for (const SPCheckpoint& c : {first, second}) level->checkpoints.push_back(c);
        opponent = CPSmartPtr<CPPlayer>(new CPPlayer());
        level->opponents.push_back(opponent);
    }
    static SPCheckpoint MakeFlaggedCheckpoint() {
        SPCheckpoint c;
        c.object = CPSmartPtr<CPGameObject>(new CPGameObject("checkpoint"));
        c.object->SetVisible(false);
        for (CPSmartPtr<CPGameObject>* flag : {&c.flag1, &c.flag2}) {
            *flag = CPSmartPtr<CPGameObject>(new CPGameObject("cflag"));
            CPSmartPtr<CPGameObject> cloth(new CPGameObject("flag_b"));
            cloth->SetVisible(false);
            (*flag)->AddChild(cloth);
        }
        return c;
    }
    static bool Shown(const SPCheckpoint& c) {
        return c.object->IsVisible() && c.flag1->FindObject("flag_b")->IsVisible() &&
               c.flag2->FindObject("flag_b")->IsVisible();
    }
    SPCheckpoint first;
    SPCheckpoint second;
    CPSmartPtr<CPPlayer> opponent;
};

TEST_F(StartMoment, TheRaceCameraTakesOverWithTheFirstFovAndTheCarsHeading) {
    Sequence(7.9f, 0.1f);
    ASSERT_TRUE(camera->IsExternalView());
    EXPECT_FALSE(Shown(first));
    camera->fov = 30.0f;
    camera->yaw = 2.0f;
    Sequence(10.0f, 0.1f);
    const float heading = CPLevel::HeadingOf(human.Get());
    EXPECT_TRUE(camera->active);
    EXPECT_FALSE(camera->IsExternalView());
    EXPECT_EQ(camera->fov, 65.0f) << "taken at once, not eased";
    EXPECT_EQ(camera->targetFov, 65.0f);
    EXPECT_EQ(camera->yaw, heading);
    EXPECT_EQ(camera->GetTargetYaw(), heading);
    EXPECT_TRUE(Shown(first));
    EXPECT_FALSE(Shown(second));
    EXPECT_TRUE(human->raceFlag);
    EXPECT_TRUE(opponent->raceFlag);
}

TEST_F(StartMoment, ACarFixedViewChosenAfterTheStartKeepsItsExternalView) {
    Sequence(7.9f, 0.1f);
    Sequence(10.0f, 0.1f);
    ASSERT_TRUE(camera->active);
    camera->fov = 40.0f;
    first.object->SetVisible(false);
    level->SelectCameraSetting(2);
    Sequence(10.1f, 0.1f);
    Sequence(11.0f, 0.1f);
    EXPECT_TRUE(camera->IsExternalView());
    EXPECT_EQ(camera->fov, 40.0f);
    EXPECT_FALSE(first.object->IsVisible()) << "the start moment does not run again";
}

TEST_F(StartMoment, APathOfFewerThanFourPointsGivesNoFlight) {
    // The load smooths fewer than four points into nothing: the start moment comes at once.
    for (int n = 0; n < 4; ++n) {
        std::vector<D3DXVECTOR3> smoothed;
        SmoothPath(Line(n), smoothed, false);
        level->startCameraPath.points = smoothed;
        level->startMomentDone = false;
        camera->active = false;
        camera->SetExternalView(false);
        first.object->SetVisible(false);
        Sequence(0.0f, 0.1f);
        EXPECT_TRUE(camera->active) << n;
        EXPECT_FALSE(camera->IsExternalView()) << n;
        EXPECT_EQ(camera->fov, 65.0f) << n;
        EXPECT_TRUE(Shown(first)) << n;
    }
}

TEST_F(StartMoment, WithoutCheckpointsTheRevealIsSkipped) {
    level->checkpoints.clear();
    Sequence(7.9f, 0.1f);
    Sequence(10.0f, 0.1f);
    EXPECT_TRUE(camera->active);
    level->checkpoints.push_back(SPCheckpoint{});
    level->startMomentDone = false;
    camera->SetExternalView(true);
    Sequence(10.0f, 0.1f);
    EXPECT_TRUE(camera->active);
}

TEST_F(StartMoment, TheSequenceAlwaysLeavesFiniteViews) {
    // The car right under the eye, coincident flight points: nothing divides by zero.
    level->startCameraPath.points = std::vector<D3DXVECTOR3>(10, human->GetPosition() + D3DXVECTOR3(0, 0, 3));
    level->cameraStartPoint = human->GetPosition() + D3DXVECTOR3(0.0f, 0.0f, 3.0f);
    for (float t = 0.0f; t < 11.0f; t += 0.25f) {
        Sequence(t, 0.25f);
        camera->Update();
        EXPECT_TRUE(Finite(level->cameraStartPoint)) << t;
        EXPECT_TRUE(Finite(level->startCameraLook)) << t;
        EXPECT_TRUE(Finite(camera->GetEye())) << t;
    }
}

} // namespace
