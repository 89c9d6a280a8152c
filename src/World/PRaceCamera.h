#pragma once
// The race camera: follows the human racer's car from behind, shakes after collisions, cuts to
// a slow-motion view of a racer taken down, and takes the view from outside (the start camera,
// the car-fixed view). It owns the two perspective cameras the level is drawn through: the
// main view (far plane of the "distance" setting) and the far view (far plane 2000), which
// share eye, look-at point, up and field of view. The race rules feed the camera with the human
// car's state every frame and then run its update.

#include <string>

#include "Framework/PMMObject.h"
#include "Platform/Math/D3DXTypes.h"
#include "Render/PPerspectiveCamera.h"
#include "World/PLevelBranch.h"

class CPLevel;
class CPPlayer;

class CPCamera : public IPMMObject {
public:
    static constexpr float kFarViewDistance = 2000.0f;
    static constexpr float kMaxFov = 120.0f;
    static constexpr float kCrashedFov = 90.0f;
    static constexpr float kPitchLimit = 0.31415927f;
    static constexpr float kDegrees = 0.017453292f;

    // Publishes the main view as the current view camera.
    CPCamera();
    // Clears the current view camera when it is still this camera's.
    ~CPCamera() override;
    CPCamera(const CPCamera&) = delete;
    CPCamera& operator=(const CPCamera&) = delete;

    int GetSize() const override { return static_cast<int>(sizeof(CPCamera)); }
    std::string GetClassName() const override { return "CPCamera"; }

    CPSmartPtr<CPPerspectiveCamera> GetViewCamera() const { return mainView; }
    CPSmartPtr<CPPerspectiveCamera> GetFarCamera() const { return farView; }
    D3DXVECTOR3 GetEye() const;
    // The renderer draws the group through the main or the far view.
    void BindMainCamera(int renderKey);
    void BindFarCamera(int renderKey);

    void SetTargetPoint(const D3DXVECTOR3& point) { targetPoint = point; }
    void SetTargetYaw(float yaw) { targetYaw = yaw; }
    float GetTargetYaw() const { return targetYaw; }
    void SetTilt(float value) { tilt = value; }
    // Pitches beyond +-0.314 are taken as 0.
    void SetCarPitch(float pitch);
    void SetDistance(float value);
    void SetFOV(float degrees);
    void SetExternalView(bool on) { externalView = on; }
    bool IsExternalView() const { return externalView; }
    void SetExternalVectors(const D3DXVECTOR3& eye, const D3DXVECTOR3& lookAt, const D3DXVECTOR3& up);
    void SetLevelTree(const CPSmartPtr<CPLevelBranch>& tree);
    // Nothing once the race is over.
    void StartShake();
    // The caller has set takedownTarget; slows time and sound to a quarter.
    void StartTakedownView();
    // The frame step: shake and takedown timers, the follow step while active, then both views
    // take the follow result or the external vectors.
    void Update();

    // Fields, in declaration order.
    CPPlayer* takedownTarget = nullptr;
    bool active = false;
    D3DXVECTOR3 eye{0.0f, 0.0f, 0.0f};
    D3DXVECTOR3 lookAt{0.0f, 0.0f, 0.0f};
    D3DXVECTOR3 up{0.0f, 0.0f, 1.0f};
    bool shakeOn = false;
    float shakeTime = 0.0f;
    bool takedownOn = false;
    float takedownTime = 0.0f;
    D3DXVECTOR3 sideAxis{0.0f, 0.0f, 0.0f};
    float distance = 0.0f;
    float targetDistance = 0.0f;
    float targetYaw = -1.5707964f;
    float tilt = 0.0f;
    float fov = 0.0f;
    float targetFov = 0.0f;
    D3DXVECTOR3 targetPoint{0.0f, 0.0f, 0.0f};
    CPSmartPtr<CPPerspectiveCamera> mainView;
    CPSmartPtr<CPLevelBranch> levelTree;
    bool externalView = false;
    D3DXVECTOR3 shakeTarget{0.0f, 0.0f, 0.0f};
    D3DXVECTOR3 shakeOffset{0.0f, 0.0f, 0.0f};
    float impact = 0.0f;
    CPSmartPtr<CPPerspectiveCamera> farView;
    float angleDiv = 0.0f;
    float lastSpeed = 0.0f;
    float speed = 0.0f;
    float smoothedImpact = 0.0f;
    float distanceDiv = 0.0f;
    D3DXVECTOR3 externalLookAt{0.0f, 0.0f, 0.0f};
    D3DXVECTOR3 externalEye{0.0f, 0.0f, 0.0f};
    D3DXVECTOR3 externalUp{0.0f, 0.0f, 1.0f};
    float carPitch = 0.0f;
    float pitchOffset = 0.0f;
    float yaw = 0.0f;
    float smoothedDistance = 0.0f;
    int takedownCount = 0;

private:
    // The follow step: eases pitch, yaw, distance and field of view, runs the shake and places
    // eye, look-at point and up behind the target point.
    void Follow(CPLevel* level, float t, bool crashed);
    // Whether the current level's human racer has a crashed car.
    static bool HumanCrashed();
};
