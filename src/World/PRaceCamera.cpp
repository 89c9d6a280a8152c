#include "World/PRaceCamera.h"

#include "Framework/CommandRouter.h"
#include "Framework/PGlobalTimer.h"
#include "Framework/PSettings.h"
#include "Render/PPerspectiveCamera.h"
#include "Render/PRender.h"
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
