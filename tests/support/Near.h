#pragma once
// Closeness checks for the math types and for colours. The math ones are gtest assertion results
// that print both values when they fail; the colour ones compare 8-bit channels.

#include "Platform/Math/D3DXTypes.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

namespace kxtest {

inline ::testing::AssertionResult Near(const D3DXVECTOR3& got, const D3DXVECTOR3& want, float eps = 1e-5f) {
    if (std::fabs(got.x - want.x) <= eps && std::fabs(got.y - want.y) <= eps && std::fabs(got.z - want.z) <= eps)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "got (" << got.x << ", " << got.y << ", " << got.z << "), want (" << want.x
                                         << ", " << want.y << ", " << want.z << ")";
}

inline ::testing::AssertionResult Near(const D3DXVECTOR4& got, const D3DXVECTOR4& want, float eps = 1e-5f) {
    if (std::fabs(got.x - want.x) <= eps && std::fabs(got.y - want.y) <= eps && std::fabs(got.z - want.z) <= eps &&
        std::fabs(got.w - want.w) <= eps)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "got (" << got.x << ", " << got.y << ", " << got.z << ", " << got.w
                                         << "), want (" << want.x << ", " << want.y << ", " << want.z << ", " << want.w
                                         << ")";
}

inline ::testing::AssertionResult Near(const D3DXQUATERNION& got, const D3DXQUATERNION& want, float eps = 1e-5f) {
    return Near(D3DXVECTOR4(got.x, got.y, got.z, got.w), D3DXVECTOR4(want.x, want.y, want.z, want.w), eps);
}

// Element by element; a failure names the first element off and prints the whole matrix got.
inline ::testing::AssertionResult Near(const D3DXMATRIX& got, const D3DXMATRIX& want, float eps = 1e-5f) {
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            if (!(std::fabs(got.m[i][j] - want.m[i][j]) <= eps)) {
                auto f = ::testing::AssertionFailure();
                f << "element _" << i + 1 << j + 1 << ": got " << got.m[i][j] << ", want " << want.m[i][j] << "\n got:";
                for (int r = 0; r < 4; ++r)
                    f << "\n  " << got.m[r][0] << " " << got.m[r][1] << " " << got.m[r][2] << " " << got.m[r][3];
                return f;
            }
    return ::testing::AssertionSuccess();
}

// The coefficients as they are (no normalising).
inline ::testing::AssertionResult Near(const D3DXPLANE& got, const D3DXPLANE& want, float eps = 1e-4f) {
    if (std::fabs(got.a - want.a) <= eps && std::fabs(got.b - want.b) <= eps && std::fabs(got.c - want.c) <= eps &&
        std::fabs(got.d - want.d) <= eps)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "got (" << got.a << ", " << got.b << ", " << got.c << ", " << got.d
                                         << "), want (" << want.a << ", " << want.b << ", " << want.c << ", " << want.d
                                         << ")";
}

inline int ColourChannel(D3DCOLOR c, int shift) { return static_cast<int>((c >> shift) & 0xFF); }

// True when every channel of a and b, alpha included, differs by at most tolerance.
inline bool Near(D3DCOLOR a, D3DCOLOR b, int tolerance) {
    for (int shift = 0; shift < 32; shift += 8)
        if (std::abs(ColourChannel(a, shift) - ColourChannel(b, shift)) > tolerance) return false;
    return true;
}

// The same over red, green and blue only, for targets whose alpha is not what is checked.
inline bool NearRgb(D3DCOLOR a, D3DCOLOR b, int tolerance) {
    for (int shift = 0; shift < 24; shift += 8)
        if (std::abs(ColourChannel(a, shift) - ColourChannel(b, shift)) > tolerance) return false;
    return true;
}

} // namespace kxtest
