#pragma once
// One fixed-function light that follows the scene object it is attached to; the render
// block copies its record into the renderer's light list when the object is handed over.

#include "Framework/PMMObject.h"
#include "Platform/Graphics/D3D9.h"

class IPSceneObject;

class CPLight : public IPMMObject {
public:
    // Record zeroed; no owner.
    CPLight();

    int GetSize() const override { return static_cast<int>(sizeof(CPLight)); }
    std::string GetClassName() const override { return "CPLight"; }

    // The record with its position taken from the owner's world translation.
    virtual const D3DLIGHT9* GetLight();

    D3DLIGHT9& Record() { return m_light; }
    void SetOwner(IPSceneObject* owner) { m_owner = owner; }
    IPSceneObject* GetOwner() const { return m_owner; }

private:
    D3DLIGHT9 m_light;
    IPSceneObject* m_owner = nullptr;
};
