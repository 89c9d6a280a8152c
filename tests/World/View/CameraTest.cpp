// The race camera: its takedown view and shake, its setters, the follow step and the views.

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "Platform/Math/D3DXMath.h"
#include "World/View/ViewFixture.h"

namespace {

using kxview::ViewWorld;

constexpr float kPi = 3.1415927f;
constexpr float kTwoPi = 6.2831855f;

struct RaceCamera : ViewWorld {
    int CloseCount() const {
        int n = 0;
        for (const auto& c : router.sent) n += c.target == "stripes_new" && c.command == "close" && c.params.empty();
        return n;
    }
};

// ---- takedown view and shake -------------------------------------------------------------------

TEST_F(RaceCamera, TakedownDurationsShortenWithEachTakedownAndWithCompany) {
    struct Case {
        int countBefore;
        int nearby;
        bool targetIsHuman;
        float time;
        int countAfter;
    };
    const Case cases[] = {
        {0, 1, false, 1.0f, 1},  {1, 1, false, 0.9f, 2},  {4, 0, false, 0.6f, 5}, {5, 1, false, 0.5f, 6},
        {9, 1, false, 0.5f, 10}, {0, 2, false, 0.75f, 1}, {1, 2, false, 0.5f, 2}, {3, 5, false, 0.5f, 4},
        {0, 1, true, 1.0f, 0},   {3, 2, true, 1.0f, 3},
    };
    CPSmartPtr<CPPlayer> opponent = MakeRacer("", false, 4, D3DXVECTOR3(10.0f, 0.0f, 1.0f));
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.countBefore) + " nearby " + std::to_string(c.nearby));
        camera->takedownCount = c.countBefore;
        level->nearbyOpponents = c.nearby;
        camera->takedownTarget = c.targetIsHuman ? human.Get() : opponent.Get();
        camera->StartTakedownView();
        EXPECT_TRUE(camera->takedownOn);
        EXPECT_NEAR(camera->takedownTime, c.time, 1e-6f);
        EXPECT_EQ(camera->takedownCount, c.countAfter);
        EXPECT_EQ(g_timeScale, 0.25f);
        EXPECT_EQ(CNSound::GetGlobalFrequencyFactor(), 0.25f);
    }
}

TEST_F(RaceCamera, TheEndOfATakedownRestoresTimeAndSoundAndClosesTheStripesOnce) {
    CPSmartPtr<CPPlayer> opponent = MakeRacer("", false, 4, D3DXVECTOR3(10.0f, 0.0f, 1.0f));
    camera->takedownTarget = opponent.Get();
    camera->StartTakedownView();
    ASSERT_NEAR(camera->takedownTime, 1.0f, 1e-6f);
    // A quarter of a second of scaled time per frame: four frames to the end.
    for (int i = 0; i < 3; ++i) Step(0.25f);
    EXPECT_TRUE(camera->takedownOn);
    EXPECT_EQ(g_timeScale, 0.25f);
    EXPECT_EQ(CloseCount(), 0);
    Step(0.25f);
    EXPECT_FALSE(camera->takedownOn);
    EXPECT_EQ(camera->takedownTarget, nullptr);
    EXPECT_EQ(g_timeScale, 1.0f);
    EXPECT_EQ(CNSound::GetGlobalFrequencyFactor(), 1.0f);
    EXPECT_EQ(CloseCount(), 1);
    for (int i = 0; i < 5; ++i) Step(0.25f);
    EXPECT_EQ(CloseCount(), 1);
}

TEST_F(RaceCamera, NoShakeAfterTheRaceAndATakedownStopsARunningShake) {
    camera->StartShake();
    EXPECT_TRUE(camera->shakeOn);
    EXPECT_EQ(camera->shakeTime, 0.5f);
    camera->StartTakedownView();
    EXPECT_FALSE(camera->shakeOn);
    EXPECT_EQ(camera->shakeTime, 0.0f);

    level->raceOver = true;
    camera->StartShake();
    EXPECT_FALSE(camera->shakeOn);
}

TEST_F(RaceCamera, AShakeEndsAfterHalfASecondOfScaledTime) {
    Follow();
    camera->StartShake();
    Step(0.25f);
    EXPECT_TRUE(camera->shakeOn);
    Step(0.25f);
    EXPECT_FALSE(camera->shakeOn);
    // Without a shake the offset is gone.
    EXPECT_EQ(camera->shakeOffset, D3DXVECTOR3(0.0f, 0.0f, 0.0f));
}

TEST_F(RaceCamera, AShakeFollowsASuddenChangeOfSpeed) {
    Follow();
    camera->StartShake();
    camera->lastSpeed = 0.0f;
    camera->speed = 20.0f;
    Step(0.05f);
    // |20 - 0| / 0.05 exceeds 3: the impact grows toward the speed.
    EXPECT_NEAR(camera->impact, 20.0f * 0.05f, 1e-5f);
    EXPECT_NEAR(camera->smoothedImpact, camera->impact * 0.05f, 1e-6f);
    EXPECT_EQ(camera->lastSpeed, 20.0f);
    // A speed not above the impact ends it.
    camera->speed = 0.5f;
    Step(0.05f);
    EXPECT_EQ(camera->impact, 0.0f);
}

TEST_F(RaceCamera, TheTakedownViewLooksAtTheTargetFromEightUnits) {
    Follow();
    camera->SetTargetPoint(D3DXVECTOR3(0.0f, 0.0f, 2.0f));
    level->playerHeading = D3DXVECTOR3(1.0f, 0.0f, 0.0f);
    CPSmartPtr<CPPlayer> opponent = MakeRacer("", false, 4, D3DXVECTOR3(30.0f, 5.0f, 1.0f));
    camera->takedownTarget = opponent.Get();
    camera->StartTakedownView();
    Step(0.01f);
    EXPECT_EQ(camera->lookAt, opponent->GetPosition());
    EXPECT_EQ(camera->GetViewCamera()->target, opponent->GetPosition());
    const D3DXVECTOR3 offset = camera->eye - camera->lookAt;
    EXPECT_NEAR(D3DXVec3Length(&offset), 8.0f, 1e-4f);
    // From the chase eye's side, raised.
    EXPECT_LT(camera->eye.x, 30.0f);
    EXPECT_GT(camera->eye.z, 1.0f);
}

TEST_F(RaceCamera, FieldOfViewAndDistanceEaseWithTheFrameTimeCappedAtATenth) {
    struct Case {
        float dt;
        float fov;
        float distance;
    };
    const Case cases[] = {{0.05f, 62.0f, 7.15f}, {0.1f, 64.0f, 7.3f}, {0.5f, 64.0f, 7.3f}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.dt);
        Follow();
        camera->targetFov = 80.0f;
        camera->targetDistance = 10.0f;
        Step(c.dt);
        EXPECT_NEAR(camera->fov, c.fov, 1e-4f);
        EXPECT_NEAR(camera->distance, c.distance, 1e-4f);
        EXPECT_NEAR(camera->GetViewCamera()->fieldOfView, c.fov * CPCamera::kDegrees, 1e-6f);
    }
}

// ---- setters ---------------------------------------------------------------------------------

TEST_F(RaceCamera, FieldOfViewIsClampedExceptOnTheFirstCallAndNinetyWhenCrashed) {
    camera->SetFOV(150.0f);
    // The first call takes the value as passed, into both views at once.
    EXPECT_EQ(camera->fov, 150.0f);
    EXPECT_EQ(camera->targetFov, 120.0f);
    EXPECT_NEAR(camera->GetViewCamera()->fieldOfView, 150.0f * CPCamera::kDegrees, 1e-6f);
    EXPECT_NEAR(camera->GetFarCamera()->fieldOfView, 150.0f * CPCamera::kDegrees, 1e-6f);

    camera->SetFOV(70.0f);
    EXPECT_EQ(camera->fov, 150.0f);
    EXPECT_EQ(camera->targetFov, 70.0f);
    camera->SetFOV(150.0f);
    EXPECT_EQ(camera->targetFov, 120.0f);

    human->GetCar()->SetCrashed(true);
    camera->SetFOV(50.0f);
    EXPECT_EQ(camera->targetFov, 90.0f);
}

TEST_F(RaceCamera, APitchOutsideTheLimitCountsAsLevelAndLengthensTheChase) {
    struct Case {
        float pitch;
        float stored;
        float target;
    };
    const Case cases[] = {{0.4f, 0.0f, 10.5f}, {-0.4f, 0.0f, 10.5f}, {0.2f, 0.2f, 7.0f}, {0.0f, 0.0f, 10.5f}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pitch);
        camera->SetCarPitch(c.pitch);
        EXPECT_EQ(camera->carPitch, c.stored);
        camera->SetDistance(7.0f);
        EXPECT_NEAR(camera->targetDistance, c.target, 1e-5f);
    }
    // The first SetDistance also put the distance itself, as passed.
    EXPECT_EQ(camera->distance, 7.0f);
    // A crashed car is followed at the level's camera distance.
    level->cameraDistance = 9.0f;
    human->GetCar()->SetCrashed(true);
    camera->SetDistance(20.0f);
    EXPECT_EQ(camera->targetDistance, 9.0f);
}

// ---- the follow step -------------------------------------------------------------------------

TEST_F(RaceCamera, TheYawTurnsTheShortWayRound) {
    Follow();
    // A heading just above 0 while the camera stands just below 2 pi.
    level->playerHeading = D3DXVECTOR3(std::cos(0.1f), std::sin(0.1f), 0.0f);
    camera->yaw = kTwoPi - 0.08f;
    Step(0.1f);
    EXPECT_NEAR(camera->targetYaw, 0.1f, 1e-5f);
    // Shifted by 2 pi first, then 0.4 of the way to the target.
    EXPECT_NEAR(camera->yaw, -0.08f + 0.18f * 0.4f, 1e-4f);

    // And the other way: a heading just below 2 pi while the camera stands near 0.
    level->playerHeading = D3DXVECTOR3(std::cos(-0.1f), std::sin(-0.1f), 0.0f);
    camera->yaw = 0.05f;
    Step(0.1f);
    EXPECT_NEAR(camera->targetYaw, kTwoPi - 0.1f, 1e-5f);
    EXPECT_NEAR(camera->yaw, 0.05f + kTwoPi + (-0.15f) * 0.4f, 1e-4f);
}

TEST_F(RaceCamera, AfterTheRaceOrCrashedTheYawFollowsTheRouteBackwards) {
    Follow();
    level->playerHeading = D3DXVECTOR3(1.0f, 0.0f, 0.0f);
    level->pathAngleAtPlayer = 0.5f;
    level->raceOver = true;
    camera->yaw = 0.5f + kPi;
    Step(0.1f);
    EXPECT_NEAR(camera->targetYaw, 0.5f + kPi, 1e-5f);
    EXPECT_NEAR(camera->yaw, 0.5f + kPi, 1e-5f);

    // Crashed: the target is the same but the yaw stops easing.
    level->raceOver = false;
    human->GetCar()->SetCrashed(true);
    camera->yaw = 3.0f;
    Step(0.1f);
    EXPECT_NEAR(camera->targetYaw, 0.5f + kPi, 1e-5f);
    EXPECT_EQ(camera->yaw, 3.0f);
}

TEST_F(RaceCamera, WithTiltZeroTheEyeIsLevelWithTheTargetBehindItAlongTheYaw) {
    Follow();
    camera->SetTargetPoint(D3DXVECTOR3(5.0f, 6.0f, 2.0f));
    level->playerHeading = D3DXVECTOR3(1.0f, 0.0f, 0.0f);
    camera->yaw = 0.0f;
    camera->tilt = 0.0f;
    camera->carPitch = 0.0f;
    camera->speed = 0.0f;
    human->GetCar()->SetSpeedForTest(0.0f, 0.0f);
    Step(0.001f);
    const D3DXVECTOR3 eye = camera->GetViewCamera()->eye;
    EXPECT_NEAR(eye.z, 2.0f, 0.05f);
    // The eye lies along the yaw's axis from the target, at the chase distance.
    EXPECT_NEAR(std::fabs(eye.x - 5.0f), 7.0f, 0.05f);
    EXPECT_NEAR(eye.y, 6.0f, 0.05f);
    EXPECT_EQ(camera->GetViewCamera()->eye, camera->GetFarCamera()->eye);
    EXPECT_EQ(camera->GetViewCamera()->target, camera->GetFarCamera()->target);

    // A positive tilt raises it.
    camera->tilt = 0.5f;
    Step(0.001f);
    EXPECT_GT(camera->GetViewCamera()->eye.z, 4.0f);
}

TEST_F(RaceCamera, WhilePausedTheViewSwaysAroundTheCarAndNothingElseMoves) {
    Follow();
    camera->SetTargetPoint(D3DXVECTOR3(0.0f, 0.0f, 2.0f));
    camera->tilt = 0.3f;
    camera->targetFov = 80.0f;
    camera->targetDistance = 12.0f;
    level->playerHeading = D3DXVECTOR3(0.0f, 1.0f, 0.0f);
    g_timeScale = 0.0f;
    level->showcaseTime = 0.0f;
    Step(0.0f);
    const D3DXVECTOR3 still = camera->eye;
    const float yaw = camera->yaw;
    level->showcaseTime = kPi / 2.0f;
    Step(0.0f);
    const D3DXVECTOR3 swayed = camera->eye;
    // Turned by 0.1 about the vertical through the target; same height and distance.
    EXPECT_NEAR(swayed.z, still.z, 1e-4f);
    const float before = std::atan2(still.y, still.x);
    const float after = std::atan2(swayed.y, swayed.x);
    EXPECT_NEAR(std::remainder(after - before, kTwoPi), 0.1f, 1e-3f);
    EXPECT_EQ(camera->yaw, yaw);
    EXPECT_EQ(camera->fov, 60.0f);
    EXPECT_EQ(camera->distance, 7.0f);
}

TEST_F(RaceCamera, TheExternalViewShowsTheHandedInVectorsAndTheTargetFov) {
    Follow();
    camera->targetFov = 75.0f;
    camera->SetExternalView(true);
    const D3DXVECTOR3 eye(1.0f, 2.0f, 3.0f), look(4.0f, 5.0f, 6.0f), up(0.0f, 1.0f, 0.0f);
    camera->SetExternalVectors(eye, look, up);
    Step(0.05f);
    for (CPPerspectiveCamera* view : {camera->GetViewCamera().Get(), camera->GetFarCamera().Get()}) {
        EXPECT_EQ(view->eye, eye);
        EXPECT_EQ(view->target, look);
        EXPECT_EQ(view->up, up);
        EXPECT_NEAR(view->fieldOfView, 75.0f * CPCamera::kDegrees, 1e-6f);
    }
    // The follow step still ran behind the scenes.
    EXPECT_NE(camera->eye, eye);
    // The views are also set while the camera does not follow.
    camera->active = false;
    camera->SetExternalVectors(look, eye, up);
    Step(0.05f);
    EXPECT_EQ(camera->GetViewCamera()->eye, look);
}

TEST_F(RaceCamera, AZeroDividerSwitchesOffTheTermsItDivides) {
    // The same frame from the same state, with the speed and impact terms given.
    auto eyeAfterFrame = [&](float speed, float impact) {
        Follow();
        camera->angleDiv = 0.0f;
        camera->distanceDiv = 0.0f;
        camera->SetTargetPoint(D3DXVECTOR3(0.0f, 0.0f, 2.0f));
        level->playerHeading = D3DXVECTOR3(1.0f, 0.0f, 0.0f);
        camera->yaw = 0.0f;
        camera->tilt = 0.3f;
        camera->pitchOffset = 0.0f;
        camera->speed = speed;
        camera->smoothedImpact = impact;
        Step(0.05f);
        return camera->eye;
    };
    const D3DXVECTOR3 plain = eyeAfterFrame(0.0f, 0.0f);
    const D3DXVECTOR3 fast = eyeAfterFrame(30.0f, 4.0f);
    EXPECT_TRUE(std::isfinite(fast.x) && std::isfinite(fast.y) && std::isfinite(fast.z));
    EXPECT_EQ(fast, plain);
    EXPECT_TRUE(std::isfinite(camera->GetViewCamera()->GetViewProjection()._11));

    // With dividers the same speed moves the eye.
    Follow();
    camera->speed = 30.0f;
    camera->smoothedImpact = 4.0f;
    camera->SetTargetPoint(D3DXVECTOR3(0.0f, 0.0f, 2.0f));
    camera->yaw = 0.0f;
    camera->tilt = 0.3f;
    camera->pitchOffset = 0.0f;
    Step(0.05f);
    EXPECT_NE(camera->eye, plain);
}

TEST_F(RaceCamera, AChaseOfNoLengthOrAHeadingOfNoneStaysFinite) {
    const auto finite = [](const D3DXVECTOR3& v) {
        return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z);
    };
    for (const D3DXVECTOR3& heading :
         {D3DXVECTOR3(0.0f, 0.0f, 0.0f), D3DXVECTOR3(0.0f, 0.0f, 1.0f), D3DXVECTOR3(1.0f, 0.0f, 0.0f)}) {
        Follow();
        // The eye on the target point: look-at and eye coincide.
        camera->distance = camera->targetDistance = camera->smoothedDistance = 0.0f;
        camera->SetTargetPoint(D3DXVECTOR3(0.0f, 0.0f, 2.0f));
        level->playerHeading = heading;
        for (int i = 0; i < 5; ++i) Step(0.05f);
        EXPECT_TRUE(finite(camera->eye)) << heading.z;
        EXPECT_TRUE(finite(camera->lookAt)) << heading.z;
        EXPECT_TRUE(finite(camera->up)) << heading.z;
        EXPECT_TRUE(finite(camera->sideAxis)) << heading.z;
        EXPECT_TRUE(std::isfinite(camera->yaw)) << heading.z;
        EXPECT_TRUE(std::isfinite(camera->GetViewCamera()->GetViewProjection()._11)) << heading.z;
    }
}

} // namespace
