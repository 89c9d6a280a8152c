#pragma once
// A local coordinate frame: three axes and an origin, with conversions of points and
// directions between the frame and the world and rebuilds of an orthogonal set of axes from a
// new Z axis. Local coordinates are exchanged as (along X, along Z, along Y).
//
// A plain value class, never deleted through a base pointer (it has no virtual destructor).
// The setters keep whatever they are given; only the rebuild operations make the axes
// orthogonal and of unit length. The composite operations go through the virtual
// table, so a derived frame that replaces a primitive changes them too.

#include "Platform/Math/D3DXTypes.h"

class CPFrame {
public:
    // Same as Reset.
    CPFrame();

    virtual D3DXVECTOR3 GetAxisX() const { return m_axisX; }
    virtual D3DXVECTOR3 SetAxisX(float x, float y, float z);
    virtual D3DXVECTOR3 GetAxisY() const { return m_axisY; }
    virtual D3DXVECTOR3 SetAxisY(float x, float y, float z);
    virtual D3DXVECTOR3 GetAxisZ() const { return m_axisZ; }
    virtual D3DXVECTOR3 SetAxisZ(float x, float y, float z);
    virtual D3DXVECTOR3 GetOrigin() const { return m_origin; }
    virtual D3DXVECTOR3 SetOrigin(float x, float y, float z);
    virtual bool IsLeftHanded() const { return true; }
    // Z = (0, 1, 0), X = Perpendicular(Z) = (-1, 0, 0), Y = (0, 0, 1), origin 0.
    virtual void Reset();
    // (X.v, Z.v, Y.v)
    virtual D3DXVECTOR3 WorldToLocalDirection(const D3DXVECTOR3& v) const;
    virtual D3DXVECTOR3 WorldToLocalPoint(const D3DXVECTOR3& p) const;
    virtual D3DXVECTOR3 LocalToWorldPoint(const D3DXVECTOR3& p) const;
    // v.x X + v.y Z + v.z Y
    virtual D3DXVECTOR3 LocalToWorldDirection(const D3DXVECTOR3& v) const;
    // X = Z x Y, normalised when its length is above 0.
    virtual void RebuildAxisX();
    // Z = v as given, then RebuildAxisX, then Y = X x Z.
    virtual void SetAxisZAndRebuild(const D3DXVECTOR3& v);
    // Y = y, then SetAxisZNormalised(z): Z is z normalised, X is (Z x y) normalised, Y = X x Z.
    virtual void SetAxisZAndY(const D3DXVECTOR3& z, const D3DXVECTOR3& y);
    virtual void SetAxisZNormalised(const D3DXVECTOR3& v);
    // (-v.y, v.x, v.z): a quarter turn about the third coordinate axis.
    virtual D3DXVECTOR3 Perpendicular(const D3DXVECTOR3& v) const;
    // A quarter turn in the frame's X-Z plane, taking X to Z and Z to -X.
    virtual D3DXVECTOR3 QuarterTurn(const D3DXVECTOR3& v) const;

private:
    D3DXVECTOR3 m_axisX;
    D3DXVECTOR3 m_axisY;
    D3DXVECTOR3 m_axisZ;
    D3DXVECTOR3 m_origin;
};
