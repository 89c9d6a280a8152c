#pragma once
// Helpers shared by the scene-object tests: objects that are collected when a test ends, and
// quaternions and boxes written in the terms the tests reason in.

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "Framework/PMMObject.h"
#include "Platform/Math/D3DXMath.h"
#include "Scene/PGameObject.h"

namespace kxtest {

// Collects everything the test released, so no test sees another's objects.
class SceneObjectTest : public ::testing::Test {
protected:
    void TearDown() override {
        for (int i = 0; i < 4; ++i) IPMMObject::CollectGarbage();
    }

    static CPSmartPtr<CPGameObject> Make(const std::string& name) {
        return CPSmartPtr<CPGameObject>(new CPGameObject(name));
    }
};

// A rotation about z by the angle in degrees.
inline D3DXQUATERNION RotationZ(float degrees) {
    const float half = degrees * 3.14159265358979f / 360.0f;
    return D3DXQUATERNION(0.0f, 0.0f, std::sin(half), std::cos(half));
}

// A box of the half-size around the centre, placed by the owner.
inline CPOrientedBox Box(const D3DXVECTOR3& centre, const D3DXVECTOR3& halfSize) {
    CPOrientedBox box(centre, halfSize);
    D3DXMATRIX identity;
    D3DXMatrixIdentity(&identity);
    box.SetLocalMatrix(identity);
    return box;
}

inline D3DXMATRIX Matrix(const D3DXVECTOR3& row0, const D3DXVECTOR3& row1, const D3DXVECTOR3& row2,
                         const D3DXVECTOR3& position) {
    return D3DXMATRIX(row0.x, row0.y, row0.z, 0.0f, row1.x, row1.y, row1.z, 0.0f, row2.x, row2.y, row2.z, 0.0f,
                      position.x, position.y, position.z, 1.0f);
}

} // namespace kxtest
