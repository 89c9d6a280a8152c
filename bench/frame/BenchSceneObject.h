#pragma once
// A leaf scene object for the frame benchmarks: one mesh, a world matrix, a moved flag the
// render object clears, and the visible bounds the quad-tree reads.

#include <string>

#include "Render/PBoundingBox.h"
#include "Render/PRenderObject.h"
#include "Render/PRenderSeams.h"

class BenchSceneObject : public IPSceneObject {
public:
    int GetSize() const override { return static_cast<int>(sizeof(*this)); }
    std::string GetClassName() const override { return "BenchSceneObject"; }
    bool IsVisible() const override { return true; }
    bool IsStatic() const override { return false; }
    void SetStatic(bool) override {}
    int GetKind() const override { return KindMesh; }
    IPRenderable* GetRenderable() const override { return mesh.Get(); }
    CPLight* GetLight() const override { return nullptr; }
    int GetChildCount() const override { return 0; }
    IPSceneObject* GetChild(int) const override { return nullptr; }
    int GetAttachedCount() const override { return 0; }
    IPSceneObject* GetAttached(int) const override { return nullptr; }
    const D3DXMATRIX& GetWorldMatrix() const override { return world; }
    bool IsTransformChanged() const override { return moved; }
    void ClearTransformChanged() override { moved = false; }
    D3DXVECTOR3 GetPickHalfSize() const override { return halfSize; }
    const CPBoundingBox& GetVisibleBounds() const override { return bounds; }

    CPSmartPtr<CPRenderObject> mesh;
    D3DXMATRIX world;
    bool moved = true;
    D3DXVECTOR3 halfSize{1.0f, 1.0f, 1.0f};
    CPBoundingBox bounds;
};
