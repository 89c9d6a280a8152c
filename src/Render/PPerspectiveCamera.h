#pragma once
// The camera of the 3-D view. Its owner (the race camera) writes eye, target and up and raises
// viewDirty, or writes field of view and clip distances and raises projectionDirty, then calls
// Update once per frame; the update rebuilds only what the flags ask for and rederives the
// combined matrices and the six planes of the view volume.

#include "Platform/Math/D3DXTypes.h"
#include "Render/PBaseCamera.h"

class CPPerspectiveCamera : public CPBaseCamera {
public:
    enum Plane { PlaneNear, PlaneFar, PlaneLeft, PlaneRight, PlaneTop, PlaneBottom, PlaneCount };

    // Both dirty flags false; the owner sets every input and raises both before the first update.
    CPPerspectiveCamera() = default;

    int GetSize() const override { return static_cast<int>(sizeof(CPPerspectiveCamera)); }
    std::string GetClassName() const override { return "CPPerspectiveCamera"; }

    // Rebuilds what the dirty flags ask for; with neither set, nothing changes.
    void Update();

    // Whether the axis-aligned box may be seen: false only when all eight corners lie on the
    // outer side of (or on) one plane. Conservative: some boxes outside are reported visible.
    bool IsInFrustum(const D3DXVECTOR3& min, const D3DXVECTOR3& max) const;

    // Pixel position (x, y, 0) of a world point under the last view-projection. Points behind
    // the eye come out mirrored through the screen centre; nothing is clipped.
    D3DXVECTOR3 ProjectToScreen(const D3DXVECTOR3& point) const;

    // Planes (a, b, c, d) with normals into the view volume, not normalised.
    const D3DXPLANE& GetPlane(int which) const { return m_planes[which]; }
    const D3DXMATRIX& GetViewProjection() const { return m_viewProjection; }
    const D3DXMATRIX& GetInverseView() const { return m_inverseView; }
    const D3DXMATRIX& GetInverseViewProjection() const { return m_inverseViewProjection; }
    const D3DXMATRIX& GetSkyViewProjection() const { return m_skyViewProjection; }

    // Inputs written by the owner.
    D3DXVECTOR3 target;
    D3DXVECTOR3 eye;
    D3DXVECTOR3 up;
    float fieldOfView = 0.0f; // vertical, radians
    float nearDistance = 0.0f;
    float farDistance = 0.0f;
    bool projectionDirty = false;
    bool viewDirty = false;

private:
    D3DXPLANE m_planes[PlaneCount];
    D3DXMATRIX m_viewProjection;
    D3DXMATRIX m_inverseView;
    D3DXMATRIX m_inverseViewProjection;
    D3DXMATRIX m_skyViewProjection;
};

// The plane through three points: normal (p2 - p1) x (p3 - p1), not normalised.
D3DXPLANE MakePlaneFromPoints(const D3DXVECTOR3& p1, const D3DXVECTOR3& p2, const D3DXVECTOR3& p3);

// The race camera's perspective camera in use, null while there is no race camera. The race
// world sets it; the frame, the sprites and the particle batches read it.
extern CPPerspectiveCamera* g_currentViewCamera;
