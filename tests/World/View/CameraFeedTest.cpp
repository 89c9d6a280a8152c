// What the race frame hands the camera from the human's car: pitch, tilt, target point and
// distance by camera mode, the audio listener, and the view choice.

#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "Platform/Audio/NullAudio.h"
#include "Platform/Math/D3DXMath.h"
#include "Sound/NAudio.h"
#include "World/View/ViewFixture.h"

namespace {

using kxview::ViewWorld;

constexpr float kHalfPi = 1.5707964f;

struct CameraFeed : ViewWorld {
    CameraFeed() {
        level->cameraDistance = 8.0f;
        level->cameraHeight = 2.0f;
        level->cameraAngle = 0.3f;
        level->cameraAngleDiv = 50.0f;
        level->cameraDistanceDiv = 40.0f;
        level->playerSpeed = 12.0f;
        Place(D3DXVECTOR3(10.0f, 20.0f, 1.0f), 0.0f);
    }

    // The human at the position, its nose raised by the pitch (forward stays (0, -1, 0) turned).
    void Place(const D3DXVECTOR3& position, float pitch) {
        const D3DXVECTOR3 axis(1.0f, 0.0f, 0.0f);
        D3DXQUATERNION q;
        D3DXQuaternionRotationAxis(&q, &axis, -pitch);
        human->SetPosition(position);
        human->SetRotation(q);
        human->UpdateTransform();
    }
};

TEST_F(CameraFeed, TheChaseModesAimAboveTheCarAtTheLevelsDistance) {
    level->cameraMode = 0;
    level->FeedRaceCamera(0.0f);
    EXPECT_EQ(camera->angleDiv, 50.0f);
    EXPECT_EQ(camera->distanceDiv, 40.0f);
    EXPECT_EQ(camera->tilt, 0.3f);
    EXPECT_NEAR(camera->carPitch, 0.0f, 1e-6f);
    // A level car: 1.5 times the distance.
    EXPECT_NEAR(camera->targetDistance, 12.0f, 1e-5f);
    EXPECT_EQ(camera->targetPoint, D3DXVECTOR3(10.0f, 20.0f, 3.0f));
    EXPECT_EQ(camera->speed, 12.0f);
    // Facing -y.
    EXPECT_NEAR(level->humanCarYaw, -kHalfPi, 1e-5f);
}

TEST_F(CameraFeed, APitchedCarIsFollowedAtTheDistanceItself) {
    Place(D3DXVECTOR3(0.0f, 0.0f, 0.0f), 0.2f);
    level->FeedRaceCamera(0.0f);
    EXPECT_NEAR(camera->carPitch, -0.2f, 1e-5f);
    EXPECT_NEAR(camera->targetDistance, 8.0f, 1e-5f);
    // Beyond the limit the pitch counts as level again.
    Place(D3DXVECTOR3(0.0f, 0.0f, 0.0f), 0.5f);
    level->FeedRaceCamera(0.0f);
    EXPECT_EQ(camera->carPitch, 0.0f);
}

TEST_F(CameraFeed, TheShowcaseAimsLowerAndBacksOffWithSpeed) {
    level->showcaseCamera = 1;
    camera->distanceDiv = 7.0f;
    level->FeedRaceCamera(0.0f);
    EXPECT_NEAR(camera->targetPoint.z, 1.0f + 2.0f * 0.6666667f, 1e-5f);
    EXPECT_NEAR(camera->targetDistance, (8.0f + 12.0f / 8.0f) * 1.5f, 1e-4f);
    // The distance divider is left alone.
    EXPECT_EQ(camera->distanceDiv, 7.0f);
    // Crashed: the level's distance.
    human->GetCar()->SetCrashed(true);
    level->FeedRaceCamera(0.0f);
    EXPECT_EQ(camera->targetDistance, 8.0f);
    // No camera distance: the speed term is off rather than infinite.
    human->GetCar()->SetCrashed(false);
    level->cameraDistance = 0.0f;
    level->FeedRaceCamera(0.0f);
    EXPECT_EQ(camera->targetDistance, 0.0f);
}

TEST_F(CameraFeed, TheCarFixedViewLeavesTargetAndDistanceAlone) {
    level->cameraMode = 2;
    camera->SetTargetPoint(D3DXVECTOR3(1.0f, 2.0f, 3.0f));
    camera->targetDistance = 4.0f;
    level->FeedRaceCamera(0.0f);
    EXPECT_EQ(camera->targetPoint, D3DXVECTOR3(1.0f, 2.0f, 3.0f));
    EXPECT_EQ(camera->targetDistance, 4.0f);
    EXPECT_EQ(camera->speed, 12.0f);
}

TEST_F(CameraFeed, TheListenerSitsAtTheEyeFacingTheCarWithTheCarsVelocity) {
    Platform::Audio::ScopedNullAudio audio;
    auto manager = std::make_unique<CNAudio>();
    manager->Init(nullptr);
    camera->GetViewCamera()->eye = D3DXVECTOR3(10.0f, 10.0f, 1.0f);
    level->FeedRaceCamera(0.0f);
    const auto& listener = audio.system.Listener();
    EXPECT_EQ(listener.vOrientTop.x, 0.0f);
    EXPECT_EQ(listener.vOrientTop.y, 0.0f);
    EXPECT_EQ(listener.vOrientTop.z, 1.0f);
    EXPECT_NEAR(listener.vOrientFront.x, 0.0f, 1e-6f);
    EXPECT_NEAR(listener.vOrientFront.y, 1.0f, 1e-6f);
    EXPECT_NEAR(listener.vOrientFront.z, 0.0f, 1e-6f);
    EXPECT_EQ(listener.vPosition.x, 10.0f);
    EXPECT_EQ(listener.vPosition.y, 10.0f);
    EXPECT_EQ(listener.vPosition.z, 1.0f);
    const D3DXVECTOR4& v = human->GetCar()->GetVelocity();
    EXPECT_EQ(listener.vVelocity.x, v.x);
    EXPECT_EQ(listener.vVelocity.y, v.y);
    EXPECT_EQ(listener.vVelocity.z, v.z);
    manager.reset();
}

TEST_F(CameraFeed, TheCarFixedViewRidesOnTheCar) {
    level->cameraMode = 2;
    level->camera3Height = 1.5f;
    level->camera3Distance = 0.5f;
    level->ChooseCameraView();
    const D3DXVECTOR3 e(10.0f, 19.5f, 2.5f);
    EXPECT_EQ(camera->externalEye, e);
    EXPECT_EQ(camera->externalLookAt, D3DXVECTOR3(10.0f, 18.5f, 2.5f));
    EXPECT_EQ(camera->externalUp, D3DXVECTOR3(0.0f, 0.0f, 1.0f));
    EXPECT_NEAR(camera->GetTargetYaw(), -kHalfPi, 1e-5f);
    EXPECT_NEAR(level->trackYaw, -kHalfPi, 1e-5f);
}

TEST_F(CameraFeed, TheChaseModesTakeTheShowcaseYawOnlyInTheShowcase) {
    struct Case {
        int showcase;
        float yaw;
    };
    const Case cases[] = {{1, -0.6f}, {0, 0.25f}, {2, 0.25f}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.showcase);
        camera->SetTargetYaw(0.25f);
        level->cameraMode = 1;
        level->showcaseCamera = c.showcase;
        level->showcaseDirection = -1.0f;
        level->showcaseTime = 2.0f;
        level->trackYaw = 5.0f;
        level->ChooseCameraView();
        EXPECT_NEAR(camera->GetTargetYaw(), c.yaw, 1e-6f);
        EXPECT_NEAR(level->trackYaw, -kHalfPi, 1e-5f);
    }
}

TEST_F(CameraFeed, WithoutAHumanNothingIsFed) {
    level->humanRacer = nullptr;
    level->player = nullptr;
    camera->tilt = 0.7f;
    level->FeedRaceCamera(0.1f);
    level->ChooseCameraView();
    level->UpdateMiniMap(nullptr);
    EXPECT_EQ(camera->tilt, 0.7f);
}

} // namespace
