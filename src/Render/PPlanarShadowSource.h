#pragma once
// The process-wide planar-shadow matrix belongs to the level, which builds it from the sun
// direction and the ground plane when it loads. The renderer reaches it through this
// interface; the level implements it and installs itself, and tests install their own.

#include "Platform/Math/D3DXTypes.h"

class IPPlanarShadowSource {
public:
    // The current planar-shadow matrix, or null while none has been built.
    virtual const D3DXMATRIX* GetPlanarShadowMatrix() const = 0;

protected:
    ~IPPlanarShadowSource() = default;
};

// Installs the source (null removes it); the caller keeps ownership and removes it before it dies.
void SetPlanarShadowSource(const IPPlanarShadowSource* source);
const IPPlanarShadowSource* GetPlanarShadowSource();
// The installed source's matrix, or null when there is no source or no matrix.
const D3DXMATRIX* GetPlanarShadowMatrix();
