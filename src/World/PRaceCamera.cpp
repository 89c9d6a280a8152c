#include "World/PRaceCamera.h"

#include <cmath>
#include <cstdlib>

#include "Framework/CommandRouter.h"
#include "Framework/PApplication.h"
#include "Framework/PGlobalTimer.h"
#include "Framework/PSettings.h"
#include "Platform/Math/D3DXMath.h"
#include "Platform/System/Random.h"
#include "Render/PPerspectiveCamera.h"
#include "Render/PRender.h"
#include "Sound/NAudio.h"
#include "Sound/NSound.h"
#include "World/PCar.h"
#include "World/PLevel.h"
#include "World/PLevelBranch.h"
#include "World/PPlayer.h"

namespace {

CPSmartPtr<CPPerspectiveCamera> MakeView(float farDistance) {
    CPSmartPtr<CPPerspectiveCamera> view(new CPPerspectiveCamera());
    view->fieldOfView = 0.0f;
    view->nearDistance = 1.0f;
    view->farDistance = farDistance;
    view->up = D3DXVECTOR3(0.0f, 0.0f, 1.0f);
    view->projectionDirty = true;
    view->viewDirty = true;
    return view;
}

} // namespace

CPCamera::CPCamera() {
    mainView = MakeView(static_cast<float>(g_distance));
    farView = MakeView(kFarViewDistance);
    g_currentViewCamera = mainView.Get();
}

CPCamera::~CPCamera() {
    if (g_currentViewCamera == mainView.Get()) g_currentViewCamera = nullptr;
}

D3DXVECTOR3 CPCamera::GetEye() const { return mainView->eye; }

void CPCamera::BindMainCamera(int renderKey) {
    if (CPRender* render = GetRender()) render->SetGroupCamera(renderKey, CPSmartPtr<CPBaseCamera>(mainView.Get()));
}

void CPCamera::BindFarCamera(int renderKey) {
    if (CPRender* render = GetRender()) render->SetGroupCamera(renderKey, CPSmartPtr<CPBaseCamera>(farView.Get()));
}

void CPCamera::SetCarPitch(float pitch) { carPitch = (pitch >= -kPitchLimit && pitch <= kPitchLimit) ? pitch : 0.0f; }

bool CPCamera::HumanCrashed() {
    CPLevel* level = CPLevel::GetInstance();
    if (!level || !level->humanRacer) return false;
    const CPCar* car = level->humanRacer->GetCar();
    return car && car->IsCrashed();
}

void CPCamera::SetDistance(float value) {
    targetDistance = carPitch == 0.0f ? value * 1.5f : value;
    if (HumanCrashed()) targetDistance = CPLevel::GetInstance()->cameraDistance;
    if (distance == 0.0f) distance = value;
}

void CPCamera::SetFOV(float degrees) {
    targetFov = degrees > kMaxFov ? kMaxFov : degrees;
    if (HumanCrashed()) targetFov = kCrashedFov;
    if (fov == 0.0f) {
        fov = degrees;
        mainView->fieldOfView = degrees * kDegrees;
        farView->fieldOfView = degrees * kDegrees;
        mainView->projectionDirty = true;
        farView->projectionDirty = true;
    }
}

void CPCamera::SetExternalVectors(const D3DXVECTOR3& eyePoint, const D3DXVECTOR3& lookAtPoint,
                                  const D3DXVECTOR3& upVector) {
    externalEye = eyePoint;
    externalLookAt = lookAtPoint;
    externalUp = upVector;
}

void CPCamera::SetLevelTree(const CPSmartPtr<CPLevelBranch>& tree) { levelTree = tree; }

void CPCamera::StartShake() {
    CPLevel* level = CPLevel::GetInstance();
    if (level && level->raceOver) return;
    shakeOn = true;
    shakeTime = 0.5f;
}

void CPCamera::StartTakedownView() {
    takedownOn = true;
    shakeOn = false;
    shakeTime = 0.0f;
    CPLevel* level = CPLevel::GetInstance();
    const int nearby = level ? level->nearbyOpponents : 0;
    const int n = takedownCount;
    if (n == 0) {
        takedownTime = nearby < 2 ? 1.0f : 0.75f;
    } else {
        takedownTime = 1.0f - 0.1f * static_cast<float>(n < 5 ? n : 5);
        if (nearby >= 2) takedownTime = 0.5f;
    }
    if (level && takedownTarget && takedownTarget == level->player)
        takedownTime = 1.0f;
    else
        takedownCount = n + 1;
    g_timeScale = 0.25f;
    CNSound::SetGlobalFrequencyFactor(0.25f);
}

namespace {

constexpr float kHalfPi = 1.5707964f;
constexpr float kPi = 3.1415927f;
constexpr float kTwoPi = 6.2831855f;

// A term divided by a camera divider; a divider of 0 switches the term off instead of making
// the view infinite.
float Divided(float value, float divider) { return divider != 0.0f ? value / divider : 0.0f; }

float ClampedAcos(float value) { return std::acos(std::fmax(-1.0f, std::fmin(1.0f, value))); }

D3DXVECTOR3 Normalised(const D3DXVECTOR3& v) {
    D3DXVECTOR3 out;
    D3DXVec3Normalize(&out, &v);
    return out;
}

D3DXVECTOR3 Transformed(const D3DXVECTOR3& v, const D3DXMATRIX& m) {
    D3DXVECTOR3 out;
    D3DXVec3TransformCoord(&out, &v, &m);
    return out;
}

// The screen-space layer's projection, moved by the shake offset.
void SetScreenCameraOffset(const D3DXVECTOR3& offset) {
    CPRender* render = GetRender();
    if (!render) return;
    CPSmartPtr<CPBaseCamera> screen = render->GetScreenCamera();
    if (!screen) return;
    const float left = offset.x * 750.0f * g_interfaceScale;
    const float top = offset.y * 750.0f * g_interfaceScale;
    D3DXMATRIX ortho;
    D3DXMatrixOrthoOffCenterLH(&ortho, left, static_cast<float>(g_screenWidth) + left,
                               static_cast<float>(g_screenHeight) + top, top, 0.0f, 1.0f);
    screen->SetMatrix(ortho);
}

void UpdateView(CPPerspectiveCamera& view, const D3DXVECTOR3& eye, const D3DXVECTOR3& lookAt, const D3DXVECTOR3& up,
                float fieldOfView) {
    view.eye = eye;
    view.target = lookAt;
    view.up = up;
    view.fieldOfView = fieldOfView;
    view.viewDirty = true;
    view.projectionDirty = true;
    view.Update();
}

} // namespace

void CPCamera::Update() {
    const float dt = g_deltaTime;
    const float t = dt < 0.1f ? dt : 0.1f;
    CPLevel* level = CPLevel::GetInstance();
    const bool crashed = HumanCrashed();

    if (shakeOn) {
        shakeTime -= dt;
        if (shakeTime <= 0.0f) shakeOn = false;
    }
    if (takedownOn) {
        takedownTime -= dt;
        if (takedownTime <= 0.0f) {
            takedownOn = false;
            takedownTarget = nullptr;
            g_timeScale = 1.0f;
            CNSound::SetGlobalFrequencyFactor(1.0f);
            if (IPCommandRouter* router = GetCommandRouter()) router->SendCommandByName("stripes_new", "close", "");
        }
    }

    if (active) Follow(level, t, crashed);

    const bool external = externalView;
    const D3DXVECTOR3& viewEye = external ? externalEye : eye;
    const D3DXVECTOR3& viewLookAt = external ? externalLookAt : lookAt;
    const D3DXVECTOR3& viewUp = external ? externalUp : up;
    const float viewFov = (external ? targetFov : fov) * kDegrees;
    UpdateView(*mainView, viewEye, viewLookAt, viewUp, viewFov);
    UpdateView(*farView, viewEye, viewLookAt, viewUp, viewFov);
}

void CPCamera::Follow(CPLevel* level, float t, bool crashed) {
    // Elevation offset from the car's pitch and speed.
    if (!crashed)
        pitchOffset += (carPitch - std::fmax(Divided(speed, angleDiv) * 5.0f, -0.08726647f) - pitchOffset) * t * 2.5f;

    // The yaw follows the car's heading, the short way round.
    if (level) {
        const D3DXVECTOR3 h = Normalised(D3DXVECTOR3(level->playerHeading.x, level->playerHeading.y, 0.0f));
        if (h.x != 0.0f || h.y != 0.0f) {
            float heading = ClampedAcos(h.x);
            if (h.y < 0.0f) heading = -heading;
            if (heading < 0.0f) heading += kTwoPi;
            targetYaw = heading;
        }
        if (level->raceOver || crashed) targetYaw = level->pathAngleAtPlayer + kPi;
    }
    if (targetYaw - yaw > kPi)
        yaw += kTwoPi;
    else if (targetYaw - yaw < -kPi)
        yaw -= kTwoPi;
    if (!crashed) yaw += (targetYaw - yaw) * std::fmin(4.0f * t, 1.0f);

    if (shakeOn) {
        if (speed > impact) {
            // A sudden change of speed feeds the shake; a steady one lets it die away.
            if (t > 0.0f && std::fabs(speed - lastSpeed) / t > 3.0f)
                impact += (speed - impact) * t;
            else
                impact -= impact * t;
        } else {
            impact = 0.0f;
        }
        smoothedImpact += (impact - smoothedImpact) * t;
        lastSpeed = speed;
        D3DXVECTOR3 d = shakeTarget - shakeOffset;
        const float length = D3DXVec3Length(&d);
        d = Normalised(d);
        float step = t * impact;
        if (step > length) {
            step = length;
            // The engine's generator: its range is the one the formula assumes, and a seeded race
            // shakes the same way every time.
            const float r1 = static_cast<float>(Platform::EngineRand()) / 32767.0f * 2.0f - 1.0f;
            const float r2 = static_cast<float>(Platform::EngineRand()) / 32767.0f * 2.0f - 1.0f;
            const float r3 = static_cast<float>(Platform::EngineRand()) / 32767.0f * 2.0f - 1.0f;
            shakeTarget = D3DXVECTOR3(r1, r2, r3) * (impact * 0.0005f);
        }
        shakeOffset += d * (step * 1.8f);
    } else {
        shakeOffset = D3DXVECTOR3(0.0f, 0.0f, 0.0f);
    }
    SetScreenCameraOffset(shakeOffset);

    // While paused the view sways slowly around the car.
    const float sway = g_timeScale == 0.0f ? 0.1f * std::sin(level ? level->showcaseTime : 0.0f) : 0.0f;
    D3DXMATRIX pitchRotation;
    D3DXMatrixRotationY(&pitchRotation, tilt - kHalfPi + Divided(smoothedImpact, angleDiv) + pitchOffset);
    D3DXMATRIX yawRotation;
    D3DXMatrixRotationZ(&yawRotation, yaw + sway);
    D3DXMATRIX r;
    D3DXMatrixMultiply(&r, &pitchRotation, &yawRotation);

    const float x = distance - Divided(speed, distanceDiv) + Divided(smoothedImpact, distanceDiv);
    const float d = std::fmax(0.5f * distance, x);
    smoothedDistance += (d - smoothedDistance) * t * 10.0f;
    D3DXVECTOR3 v = Transformed(D3DXVECTOR3(0.0f, 0.0f, 1.0f), r) * smoothedDistance;
    if (smoothedDistance != x) v.z += x - smoothedDistance;

    lookAt = targetPoint + shakeOffset;
    eye = targetPoint + v;

    D3DXVECTOR3 w = Normalised(Transformed(D3DXVECTOR3(1.0f, 0.0f, 0.0f), r));
    D3DXVECTOR3 f = Normalised(lookAt - eye);
    D3DXVec3Cross(&sideAxis, &f, &w);
    D3DXMATRIX q;
    D3DXMatrixRotationAxis(&q, &sideAxis, -pitchOffset);
    w = Transformed(w, q);
    f = Transformed(f, q);
    lookAt = eye + f + shakeOffset;

    float sideTilt = 0.0f;
    if (level && level->humanRacer)
        if (const CPCar* car = level->humanRacer->GetCar()) sideTilt = car->GetSmoothedTilt();
    D3DXMATRIX roll;
    D3DXMatrixRotationAxis(&roll, &f, -0.5f * sideTilt);
    up = Transformed(w, roll);

    fov += (targetFov - fov) * t * 2.0f;
    distance += (targetDistance - distance) * t;

    if (takedownOn && takedownTarget) {
        lookAt = takedownTarget->GetPosition();
        eye = lookAt - Normalised(lookAt - eye - D3DXVECTOR3(0.0f, 0.0f, 3.0f)) * 8.0f;
    }
}

namespace {

// The human car's forward direction and its rotation matrix.
D3DXVECTOR3 HumanForward(const CPPlayer& human, D3DXMATRIX& rotation) {
    const D3DXQUATERNION q = human.GetRotationQuaternion();
    D3DXMatrixRotationQuaternion(&rotation, &q);
    return Transformed(D3DXVECTOR3(0.0f, -1.0f, 0.0f), rotation);
}

float YawOf(const D3DXVECTOR3& forward) {
    const float yaw = ClampedAcos(forward.x);
    return forward.y < 0.0f ? -yaw : yaw;
}

} // namespace

void CPLevel::FeedRaceCamera(float dt) {
    mapZoom += (std::fmax(1.0f, playerSpeed * 0.2f) - mapZoom) * dt;
    if (!humanRacer || !camera) return;
    D3DXMATRIX m;
    const D3DXVECTOR3 f = HumanForward(*humanRacer, m);
    const D3DXVECTOR3 p = humanRacer->GetPosition();
    const CPCar* car = humanRacer->GetCar();
    const bool crashed = car && car->IsCrashed();

    camera->angleDiv = cameraAngleDiv;
    camera->SetCarPitch(std::fabs(ClampedAcos(f.z)) - kHalfPi);
    camera->SetTilt(cameraAngle);
    if (showcaseCamera == 1) {
        camera->SetDistance(cameraDistance + Divided(playerSpeed, cameraDistance * (crashed ? 1.5f : 1.0f)));
        camera->SetTargetPoint(p + D3DXVECTOR3(0.0f, 0.0f, cameraHeight * 0.6666667f));
    } else if (cameraMode == 0 || cameraMode == 1) {
        camera->distanceDiv = cameraDistanceDiv;
        camera->SetDistance(cameraDistance);
        camera->SetTargetPoint(p + D3DXVECTOR3(0.0f, 0.0f, cameraHeight));
    }
    camera->speed = playerSpeed;
    humanCarYaw = YawOf(f);

    if (CNAudio* audio = CNAudio::GetInstance()) {
        const D3DXVECTOR3 eyePoint = camera->GetEye();
        const D3DXVECTOR3 front = Normalised(p - eyePoint);
        audio->SetListenerOrientation(D3DXVECTOR3(0.0f, 0.0f, 1.0f), front);
        float velocity[4] = {0.0f, 0.0f, 0.0f, 0.0f};
        humanRacer->GetVelocity(velocity);
        audio->SetListenerPosition(eyePoint, D3DXVECTOR3(velocity[0], velocity[1], velocity[2]));
    }
}

void CPLevel::ChooseCameraView() {
    if (!humanRacer || !camera) return;
    D3DXMATRIX m;
    const D3DXVECTOR3 f = HumanForward(*humanRacer, m);
    humanCarYaw = YawOf(f);
    if (cameraMode == 2) {
        const D3DXVECTOR3 u = Transformed(D3DXVECTOR3(0.0f, 0.0f, 1.0f), m);
        const D3DXVECTOR3 e = humanRacer->GetPosition() + u * camera3Height + f * camera3Distance;
        camera->SetExternalVectors(e, e + f, u);
        camera->SetTargetYaw(humanCarYaw);
    } else if (showcaseCamera == 1) {
        camera->SetTargetYaw(showcaseDirection * showcaseTime * 0.3f);
    }
    trackYaw = humanCarYaw;
}
