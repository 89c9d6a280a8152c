#include "Platform/Math/D3DXMath.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "support/Near.h"

namespace {

using kxtest::Near;

constexpr float kEps = 1e-5f;
constexpr float kPi = 3.14159265358979f;
const float kHalfSqrt2 = std::sqrt(0.5f);

bool AllFinite(const D3DXMATRIX& m) {
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            if (!std::isfinite(m.m[i][j])) return false;
    return true;
}

D3DXVECTOR3 Coord(const D3DXVECTOR3& v, const D3DXMATRIX& m) {
    D3DXVECTOR3 r;
    D3DXVec3TransformCoord(&r, &v, &m);
    return r;
}

D3DXMATRIX Identity() {
    D3DXMATRIX m;
    D3DXMatrixIdentity(&m);
    return m;
}

// A general matrix with nothing special about it (no zero entries, not orthogonal).
const D3DXMATRIX kGeneral(2, 1, 0.5f, 0.1f, -1, 3, 0.25f, 0.2f, 0.5f, -0.5f, 4, -0.3f, 7, -8, 9, 1.5f);

// ---------------------------------------------------------------------------------------------
// Vectors

TEST(D3DXVec3, LengthDotCross) {
    const D3DXVECTOR3 a(3, 4, 12), b(1, 2, 3), c(4, -5, 6);
    EXPECT_FLOAT_EQ(D3DXVec3Length(&a), 13.0f);
    EXPECT_FLOAT_EQ(D3DXVec3LengthSq(&a), 169.0f);
    EXPECT_FLOAT_EQ(D3DXVec3Dot(&b, &c), 12.0f);

    struct Case {
        D3DXVECTOR3 a, b, want;
    };
    const Case cases[] = {
        {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}},   {{0, 1, 0}, {1, 0, 0}, {0, 0, -1}}, {{0, 1, 0}, {0, 0, 1}, {1, 0, 0}},
        {{1, 2, 3}, {4, 5, 6}, {-3, 6, -3}}, {{2, 2, 2}, {1, 1, 1}, {0, 0, 0}},
    };
    for (const Case& k : cases) {
        D3DXVECTOR3 r;
        EXPECT_EQ(D3DXVec3Cross(&r, &k.a, &k.b), &r);
        EXPECT_TRUE(Near(r, k.want));
    }
    // Output aliasing the first input.
    D3DXVECTOR3 x(1, 2, 3);
    const D3DXVECTOR3 y(4, 5, 6);
    D3DXVec3Cross(&x, &x, &y);
    EXPECT_TRUE(Near(x, {-3, 6, -3}));
}

TEST(D3DXVec3, NormalizeIncludingZero) {
    struct Case {
        D3DXVECTOR3 in, want;
    };
    const Case cases[] = {
        {{3, 4, 0}, {0.6f, 0.8f, 0}},
        {{0, 0, -2}, {0, 0, -1}},
        {{1, 1, 1}, {0.57735027f, 0.57735027f, 0.57735027f}},
        {{0, 0, 0}, {0, 0, 0}},
    };
    for (const Case& k : cases) {
        D3DXVECTOR3 r(9, 9, 9);
        EXPECT_EQ(D3DXVec3Normalize(&r, &k.in), &r);
        EXPECT_TRUE(Near(r, k.want));
        EXPECT_FALSE(std::isnan(r.x) || std::isnan(r.y) || std::isnan(r.z));
    }
    D3DXVECTOR3 v(0, 5, 0);
    D3DXVec3Normalize(&v, &v);
    EXPECT_TRUE(Near(v, {0, 1, 0}));
}

TEST(D3DXVec3, AddSubtractScaleLerpMinMax) {
    const D3DXVECTOR3 a(1, 2, 3), b(10, -10, 4);
    D3DXVECTOR3 r;
    EXPECT_TRUE(Near(*D3DXVec3Add(&r, &a, &b), {11, -8, 7}));
    EXPECT_TRUE(Near(*D3DXVec3Subtract(&r, &a, &b), {-9, 12, -1}));
    EXPECT_TRUE(Near(*D3DXVec3Scale(&r, &a, -2), {-2, -4, -6}));
    EXPECT_TRUE(Near(*D3DXVec3Minimize(&r, &a, &b), {1, -10, 3}));
    EXPECT_TRUE(Near(*D3DXVec3Maximize(&r, &a, &b), {10, 2, 4}));

    struct Case {
        float s;
        D3DXVECTOR3 want;
    };
    const Case cases[] = {
        {0.0f, {1, 2, 3}},    {1.0f, {10, -10, 4}}, {0.25f, {3.25f, -1, 3.25f}},
        {2.0f, {19, -22, 5}}, {-1.0f, {-8, 14, 2}},
    };
    for (const Case& k : cases) EXPECT_TRUE(Near(*D3DXVec3Lerp(&r, &a, &b, k.s), k.want)) << "s = " << k.s;
}

TEST(D3DXVec3, TransformFamilies) {
    // Translation (10, 20, 30) plus a fourth column that makes w = x + 1.
    const D3DXMATRIX m(1, 0, 0, 1, 0, 1, 0, 0, 0, 0, 1, 0, 10, 20, 30, 1);
    const D3DXVECTOR3 v(1, 2, 3);
    D3DXVECTOR4 r4;
    EXPECT_EQ(D3DXVec3Transform(&r4, &v, &m), &r4);
    EXPECT_TRUE(Near(r4, {11, 22, 33, 2})); // no division

    D3DXVECTOR3 r3;
    EXPECT_EQ(D3DXVec3TransformCoord(&r3, &v, &m), &r3);
    EXPECT_TRUE(Near(r3, {5.5f, 11, 16.5f})); // divided by w = 2

    EXPECT_TRUE(Near(*D3DXVec3TransformNormal(&r3, &v, &m), {1, 2, 3})); // no translation, no w

    D3DXMATRIX rz;
    D3DXMatrixRotationZ(&rz, kPi / 2);
    const D3DXVECTOR3 ex(1, 0, 0);
    EXPECT_TRUE(Near(*D3DXVec3TransformNormal(&r3, &ex, &rz), {0, 1, 0}));

    // In place.
    D3DXVECTOR3 p(1, 2, 3);
    D3DXVec3TransformCoord(&p, &p, &m);
    EXPECT_TRUE(Near(p, {5.5f, 11, 16.5f}));
}

TEST(D3DXVec3, TransformCoordArrayWithVertexStride) {
    struct Vertex {
        float pos[3];
        float rest[9];
    };
    static_assert(sizeof(Vertex) == 48);
    std::vector<Vertex> src(3);
    for (int i = 0; i < 3; ++i) {
        src[i].pos[0] = float(i);
        src[i].pos[1] = float(2 * i);
        src[i].pos[2] = 1.0f;
        for (int k = 0; k < 9; ++k) src[i].rest[k] = 100.0f + float(i * 10 + k);
    }
    D3DXMATRIX scale, move, m;
    D3DXMatrixScaling(&scale, 2, 2, 2);
    D3DXMatrixTranslation(&move, 1, 0, -1);
    D3DXMatrixMultiply(&m, &scale, &move);

    // Into a packed array of 3-vectors.
    D3DXVECTOR3 packed[3];
    EXPECT_EQ(D3DXVec3TransformCoordArray(packed, sizeof(D3DXVECTOR3), reinterpret_cast<const D3DXVECTOR3*>(src.data()),
                                          sizeof(Vertex), &m, 3),
              packed);
    for (int i = 0; i < 3; ++i) EXPECT_TRUE(Near(packed[i], {2.0f * i + 1, 4.0f * i, 1}));

    // In place, stride 48 on both sides; the other fields of each record are not touched.
    std::vector<Vertex> dst = src;
    auto* p = reinterpret_cast<D3DXVECTOR3*>(dst.data());
    D3DXVec3TransformCoordArray(p, 48, p, 48, &m, 2); // only the first two
    for (int i = 0; i < 3; ++i) {
        const D3DXVECTOR3 got(dst[i].pos);
        EXPECT_TRUE(Near(got, i < 2 ? D3DXVECTOR3(2.0f * i + 1, 4.0f * i, 1) : D3DXVECTOR3(src[i].pos)));
        EXPECT_EQ(std::memcmp(dst[i].rest, src[i].rest, sizeof src[i].rest), 0);
    }

    // Count 0 writes nothing.
    D3DXVECTOR3 untouched(7, 7, 7);
    D3DXVec3TransformCoordArray(&untouched, 12, p, 48, &m, 0);
    EXPECT_TRUE(Near(untouched, {7, 7, 7}));

    // Normals: no translation.
    D3DXVec3TransformNormalArray(packed, 12, reinterpret_cast<const D3DXVECTOR3*>(src.data()), 48, &m, 3);
    for (int i = 0; i < 3; ++i) EXPECT_TRUE(Near(packed[i], {2.0f * i, 4.0f * i, 2}));
}

TEST(D3DXVec4, Transform) {
    D3DXMATRIX t;
    D3DXMatrixTranslation(&t, 10, 20, 30);
    const D3DXVECTOR4 v(1, 2, 3, 4), d(1, 2, 3, 0);
    D3DXVECTOR4 r;
    EXPECT_EQ(D3DXVec4Transform(&r, &v, &t), &r);
    EXPECT_TRUE(Near(r, {41, 82, 123, 4}));
    EXPECT_TRUE(Near(*D3DXVec4Transform(&r, &d, &t), {1, 2, 3, 0})); // w = 0 is not moved

    // Against the general matrix, hand-expanded: row vector times columns.
    const D3DXVECTOR4 u(1, -1, 2, 0.5f);
    D3DXVec4Transform(&r, &u, &kGeneral);
    EXPECT_TRUE(Near(r, {2 + 1 + 1 + 3.5f, 1 - 3 - 1 - 4, 0.5f - 0.25f + 8 + 4.5f, 0.1f - 0.2f - 0.6f + 0.75f}));
    D3DXVec4Transform(&r, &r, &t); // aliasing
    EXPECT_TRUE(Near(r, {7.5f + 0.05f * 10, -7 + 0.05f * 20, 12.75f + 0.05f * 30, 0.05f}, 1e-4f));

    const D3DXVECTOR4 z(0, 0, 0, 0), q(1, 2, 2, 4);
    EXPECT_FLOAT_EQ(D3DXVec4Length(&q), 5.0f);
    EXPECT_TRUE(Near(*D3DXVec4Normalize(&r, &z), {0, 0, 0, 0}));
    EXPECT_TRUE(Near(*D3DXVec4Normalize(&r, &q), {0.2f, 0.4f, 0.4f, 0.8f}));
}

TEST(D3DXVec2, Basics) {
    const D3DXVECTOR2 a(3, 4), b(1, -2), zero(0, 0);
    EXPECT_FLOAT_EQ(D3DXVec2Length(&a), 5.0f);
    EXPECT_FLOAT_EQ(D3DXVec2LengthSq(&a), 25.0f);
    EXPECT_FLOAT_EQ(D3DXVec2Dot(&a, &b), -5.0f);
    EXPECT_FLOAT_EQ(D3DXVec2CCW(&a, &b), -10.0f);
    D3DXVECTOR2 r;
    D3DXVec2Normalize(&r, &a);
    EXPECT_FLOAT_EQ(r.x, 0.6f);
    EXPECT_FLOAT_EQ(r.y, 0.8f);
    D3DXVec2Normalize(&r, &zero);
    EXPECT_EQ(r, zero);
    D3DXVec2Lerp(&r, &a, &b, 0.5f);
    EXPECT_EQ(r, D3DXVECTOR2(2, 1));
    D3DXVec2Add(&r, &a, &b);
    EXPECT_EQ(r, D3DXVECTOR2(4, 2));
    D3DXVec2Subtract(&r, &a, &b);
    EXPECT_EQ(r, D3DXVECTOR2(2, 6));
    D3DXVec2Scale(&r, &a, 2);
    EXPECT_EQ(r, D3DXVECTOR2(6, 8));

    D3DXMATRIX m;
    D3DXMatrixTranslation(&m, 1, 2, 3);
    D3DXVec2TransformCoord(&r, &a, &m);
    EXPECT_EQ(r, D3DXVECTOR2(4, 6));
    D3DXVec2TransformNormal(&r, &a, &m);
    EXPECT_EQ(r, D3DXVECTOR2(3, 4));
    D3DXVECTOR4 r4;
    D3DXVec2Transform(&r4, &a, &m);
    EXPECT_TRUE(Near(r4, {4, 6, 3, 1}));
}

// ---------------------------------------------------------------------------------------------
// Matrices

TEST(D3DXMatrix, IdentityTranslationScalingTranspose) {
    const D3DXMATRIX id = Identity();
    EXPECT_TRUE(D3DXMatrixIsIdentity(&id));
    EXPECT_EQ(id, D3DXMATRIX(1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1));

    D3DXMATRIX t, s, r;
    D3DXMatrixTranslation(&t, 1, 2, 3);
    EXPECT_EQ(t, D3DXMATRIX(1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 1, 2, 3, 1)); // translation in row 4
    D3DXMatrixScaling(&s, 2, 3, 4);
    EXPECT_EQ(s, D3DXMATRIX(2, 0, 0, 0, 0, 3, 0, 0, 0, 0, 4, 0, 0, 0, 0, 1));
    EXPECT_FALSE(D3DXMatrixIsIdentity(&t));

    EXPECT_EQ(D3DXMatrixTranspose(&r, &t), &r);
    EXPECT_EQ(r, D3DXMATRIX(1, 0, 0, 1, 0, 1, 0, 2, 0, 0, 1, 3, 0, 0, 0, 1));
    D3DXMatrixTranspose(&r, &r); // in place
    EXPECT_EQ(r, t);
}

TEST(D3DXMatrix, MultiplyAppliesTheLeftMatrixFirst) {
    D3DXMATRIX t, s, ts, st;
    D3DXMatrixTranslation(&t, 1, 2, 3);
    D3DXMatrixScaling(&s, 2, 3, 4);
    EXPECT_EQ(D3DXMatrixMultiply(&ts, &t, &s), &ts);
    EXPECT_TRUE(Near(ts, D3DXMATRIX(2, 0, 0, 0, 0, 3, 0, 0, 0, 0, 4, 0, 2, 6, 12, 1)));
    D3DXMatrixMultiply(&st, &s, &t);
    EXPECT_TRUE(Near(st, D3DXMATRIX(2, 0, 0, 0, 0, 3, 0, 0, 0, 0, 4, 0, 1, 2, 3, 1)));
    EXPECT_TRUE(Near(Coord({0, 0, 0}, ts), {2, 6, 12})); // moved, then scaled
    EXPECT_TRUE(Near(Coord({0, 0, 0}, st), {1, 2, 3}));

    // Element formula on a general pair, and output aliasing either input.
    D3DXMATRIX g = kGeneral, want;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) {
            float sum = 0;
            for (int k = 0; k < 4; ++k) sum += kGeneral.m[i][k] * st.m[k][j];
            want.m[i][j] = sum;
        }
    D3DXMatrixMultiply(&g, &g, &st);
    EXPECT_TRUE(Near(g, want));
    D3DXMATRIX h = st;
    D3DXMatrixMultiply(&h, &kGeneral, &h);
    EXPECT_TRUE(Near(h, want));

    D3DXMATRIX mt;
    D3DXMatrixMultiplyTranspose(&mt, &t, &s);
    D3DXMATRIX tt;
    D3DXMatrixTranspose(&tt, &ts);
    EXPECT_TRUE(Near(mt, tt));
}

TEST(D3DXMatrix, InverseOfHandCases) {
    struct Case {
        D3DXMATRIX m, want;
        float det;
    };
    D3DXMATRIX t, ti, s, si, rz, rzi;
    D3DXMatrixTranslation(&t, 1, -2, 3);
    D3DXMatrixTranslation(&ti, -1, 2, -3);
    D3DXMatrixScaling(&s, 2, 4, 8);
    D3DXMatrixScaling(&si, 0.5f, 0.25f, 0.125f);
    D3DXMatrixRotationZ(&rz, 0.7f);
    D3DXMatrixRotationZ(&rzi, -0.7f);
    const Case cases[] = {{Identity(), Identity(), 1}, {t, ti, 1}, {s, si, 64}, {rz, rzi, 1}};
    for (const Case& k : cases) {
        D3DXMATRIX r;
        float det = -99;
        EXPECT_EQ(D3DXMatrixInverse(&r, &det, &k.m), &r);
        EXPECT_TRUE(Near(r, k.want));
        EXPECT_NEAR(det, k.det, 1e-5f);
        EXPECT_NEAR(D3DXMatrixDeterminant(&k.m), k.det, 1e-5f);
    }
}

TEST(D3DXMatrix, InverseOfGeneralMatrixAndAliasing) {
    D3DXMATRIX inv;
    ASSERT_NE(D3DXMatrixInverse(&inv, nullptr, &kGeneral), nullptr);
    EXPECT_TRUE(Near(kGeneral * inv, Identity(), 1e-5f));
    EXPECT_TRUE(Near(inv * kGeneral, Identity(), 1e-5f));

    D3DXMATRIX m = kGeneral;
    ASSERT_EQ(D3DXMatrixInverse(&m, nullptr, &m), &m);
    EXPECT_TRUE(Near(m, inv));

    // The determinant, expanded by hand along a sparse matrix: upper triangular.
    const D3DXMATRIX u(2, 5, 7, 1, 0, 3, 9, 4, 0, 0, -1, 6, 0, 0, 0, 0.5f);
    EXPECT_FLOAT_EQ(D3DXMatrixDeterminant(&u), -3.0f);
    // Swapping two rows flips the sign.
    const D3DXMATRIX sw(0, 3, 9, 4, 2, 5, 7, 1, 0, 0, -1, 6, 0, 0, 0, 0.5f);
    EXPECT_FLOAT_EQ(D3DXMatrixDeterminant(&sw), 3.0f);
}

TEST(D3DXMatrix, SingularInverseGivesNoResult) {
    D3DXMATRIX flat;
    const D3DXMATRIX zero; // all sixteen 0
    D3DXMatrixScaling(&flat, 1, 0, 1);
    // Two equal rows.
    const D3DXMATRIX twin(1, 2, 3, 4, 1, 2, 3, 4, 0, 1, 0, 0, 0, 0, 0, 1);
    for (const D3DXMATRIX& m : {flat, zero, twin}) {
        D3DXMATRIX out = kGeneral;
        float det = -99;
        EXPECT_EQ(D3DXMatrixInverse(&out, &det, &m), nullptr);
        EXPECT_EQ(det, 0.0f);
        EXPECT_EQ(out, kGeneral); // left untouched
        EXPECT_EQ(D3DXMatrixInverse(&out, nullptr, &m), nullptr);
    }
}

TEST(D3DXMatrix, AxisRotationsAreLeftHanded) {
    const float c30 = 0.8660254f;
    struct Case {
        D3DXMATRIX* (*fn)(D3DXMATRIX*, float);
        float angle;
        D3DXVECTOR3 in, want;
    };
    const Case cases[] = {
        // RotationZ takes the row vector (1,0,0) to (cos a, sin a, 0).
        {D3DXMatrixRotationZ, kPi / 6, {1, 0, 0}, {c30, 0.5f, 0}},
        {D3DXMatrixRotationZ, kPi / 2, {1, 0, 0}, {0, 1, 0}},
        {D3DXMatrixRotationZ, kPi / 2, {0, 1, 0}, {-1, 0, 0}},
        {D3DXMatrixRotationZ, kPi / 2, {0, 0, 1}, {0, 0, 1}},
        // RotationX takes y towards z.
        {D3DXMatrixRotationX, kPi / 6, {0, 1, 0}, {0, c30, 0.5f}},
        {D3DXMatrixRotationX, kPi / 2, {0, 0, 1}, {0, -1, 0}},
        {D3DXMatrixRotationX, kPi / 2, {1, 0, 0}, {1, 0, 0}},
        // RotationY takes z towards x.
        {D3DXMatrixRotationY, kPi / 6, {0, 0, 1}, {0.5f, 0, c30}},
        {D3DXMatrixRotationY, kPi / 2, {1, 0, 0}, {0, 0, -1}},
        {D3DXMatrixRotationY, kPi / 2, {0, 1, 0}, {0, 1, 0}},
        {D3DXMatrixRotationY, 0.0f, {1, 2, 3}, {1, 2, 3}},
    };
    for (const Case& k : cases) {
        D3DXMATRIX m;
        EXPECT_EQ(k.fn(&m, k.angle), &m);
        EXPECT_TRUE(Near(Coord(k.in, m), k.want)) << "angle " << k.angle;
        EXPECT_EQ(m._44, 1.0f);
        EXPECT_EQ(m._41, 0.0f);
    }
    D3DXMATRIX rz;
    D3DXMatrixRotationZ(&rz, 0.3f);
    EXPECT_EQ(rz, D3DXMATRIX(std::cos(0.3f), std::sin(0.3f), 0, 0, -std::sin(0.3f), std::cos(0.3f), 0, 0, 0, 0, 1, 0, 0,
                             0, 0, 1));
}

TEST(D3DXMatrix, RotationAxisNormalisesTheAxis) {
    // A scaled z axis is RotationZ.
    const D3DXVECTOR3 z5(0, 0, 5);
    D3DXMATRIX a, rz;
    D3DXMatrixRotationAxis(&a, &z5, 0.4f);
    D3DXMatrixRotationZ(&rz, 0.4f);
    EXPECT_TRUE(Near(a, rz));
    const D3DXVECTOR3 x3(-3, 0, 0);
    D3DXMATRIX rx;
    D3DXMatrixRotationAxis(&a, &x3, 0.4f);
    D3DXMatrixRotationX(&rx, -0.4f);
    EXPECT_TRUE(Near(a, rx));

    // A third of a turn about (1,1,1) cycles the axes.
    const D3DXVECTOR3 diag(2, 2, 2);
    D3DXMatrixRotationAxis(&a, &diag, 2 * kPi / 3);
    EXPECT_TRUE(Near(Coord({1, 0, 0}, a), {0, 1, 0}));
    EXPECT_TRUE(Near(Coord({0, 1, 0}, a), {0, 0, 1}));
    EXPECT_TRUE(Near(Coord({0, 0, 1}, a), {1, 0, 0}));
}

TEST(D3DXMatrix, RotationAboutZeroAxisIsCosTimesIdentity) {
    const D3DXVECTOR3 zero(0, 0, 0);
    D3DXMATRIX m;
    D3DXMatrixRotationAxis(&m, &zero, kPi / 3);
    EXPECT_TRUE(AllFinite(m));
    EXPECT_TRUE(Near(m, D3DXMATRIX(0.5f, 0, 0, 0, 0, 0.5f, 0, 0, 0, 0, 0.5f, 0, 0, 0, 0, 1)));
    D3DXMatrixRotationAxis(&m, &zero, 0.0f);
    EXPECT_TRUE(Near(m, Identity()));
}

TEST(D3DXMatrix, YawPitchRollOrder) {
    // Rz(roll) x Rx(pitch) x Ry(yaw) for arbitrary angles.
    const float yaw = 0.3f, pitch = -0.5f, roll = 1.1f;
    D3DXMATRIX ypr, rz, rx, ry;
    D3DXMatrixRotationYawPitchRoll(&ypr, yaw, pitch, roll);
    D3DXMatrixRotationZ(&rz, roll);
    D3DXMatrixRotationX(&rx, pitch);
    D3DXMatrixRotationY(&ry, yaw);
    EXPECT_TRUE(Near(ypr, rz * rx * ry));

    // Quarter turns worked by hand: the order shows in where a unit vector ends.
    struct Case {
        float yaw, pitch, roll;
        D3DXVECTOR3 in, want;
    };
    const Case cases[] = {
        {kPi / 2, 0, 0, {0, 0, 1}, {1, 0, 0}},
        {0, kPi / 2, 0, {0, 1, 0}, {0, 0, 1}},
        {0, 0, kPi / 2, {1, 0, 0}, {0, 1, 0}},
        // pitch before yaw: y -> z -> x (yaw first would give z)
        {kPi / 2, kPi / 2, 0, {0, 1, 0}, {1, 0, 0}},
        // roll before pitch: x -> y -> z (pitch first would give y)
        {0, kPi / 2, kPi / 2, {1, 0, 0}, {0, 0, 1}},
        // all three: x -> y -> z -> x
        {kPi / 2, kPi / 2, kPi / 2, {1, 0, 0}, {1, 0, 0}},
        {kPi / 2, kPi / 2, kPi / 2, {0, 0, 1}, {0, -1, 0}},
    };
    for (const Case& k : cases) {
        D3DXMATRIX m;
        D3DXMatrixRotationYawPitchRoll(&m, k.yaw, k.pitch, k.roll);
        EXPECT_TRUE(Near(Coord(k.in, m), k.want)) << k.yaw << " " << k.pitch << " " << k.roll;
    }
}

TEST(D3DXMatrix, LookAtLH) {
    struct Case {
        D3DXVECTOR3 eye, at, up;
        D3DXMATRIX want;
    };
    const Case cases[] = {
        // Down +z from z = -5: a pure translation.
        {{0, 0, -5}, {0, 0, 0}, {0, 1, 0}, D3DXMATRIX(1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 5, 1)},
        // Down -x from x = 5: view x is world +z.
        {{5, 0, 0}, {0, 0, 0}, {0, 1, 0}, D3DXMATRIX(0, 0, -1, 0, 0, 1, 0, 0, 1, 0, 0, 0, 0, 0, 5, 1)},
        // z-up world, looking along +y from (1, 2, 3); the up vector need not be unit length.
        {{1, 2, 3}, {1, 10, 3}, {0, 0, 7}, D3DXMATRIX(-1, 0, 0, 0, 0, 0, 1, 0, 0, 1, 0, 0, 1, -3, -2, 1)},
    };
    for (const Case& k : cases) {
        D3DXMATRIX v;
        EXPECT_EQ(D3DXMatrixLookAtLH(&v, &k.eye, &k.at, &k.up), &v);
        EXPECT_TRUE(Near(v, k.want));
        EXPECT_TRUE(Near(Coord(k.eye, v), {0, 0, 0}));
        const D3DXVECTOR3 ahead = k.at - k.eye;
        const float dist = D3DXVec3Length(&ahead);
        EXPECT_TRUE(Near(Coord(k.at, v), {0, 0, dist}, 1e-4f));
    }
}

TEST(D3DXMatrix, PerspectiveAndOrthographic) {
    D3DXMATRIX p;
    EXPECT_EQ(D3DXMatrixPerspectiveFovLH(&p, kPi / 2, 2.0f, 1.0f, 101.0f), &p);
    EXPECT_TRUE(Near(p, D3DXMATRIX(0.5f, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1.01f, 1, 0, 0, -1.01f, 0)));
    EXPECT_TRUE(Near(Coord({0, 0, 1}, p), {0, 0, 0}));                // near plane -> depth 0
    EXPECT_TRUE(Near(Coord({0, 0, 101}, p), {0, 0, 1}));              // far plane -> depth 1
    EXPECT_TRUE(Near(Coord({20, 10, 10}, p), {1, 1, 0.909f}, 1e-3f)); // corner of the view

    D3DXMatrixPerspectiveLH(&p, 2, 1, 1, 11);
    EXPECT_TRUE(Near(p, D3DXMATRIX(1, 0, 0, 0, 0, 2, 0, 0, 0, 0, 1.1f, 1, 0, 0, -1.1f, 0)));

    D3DXMATRIX o;
    EXPECT_EQ(D3DXMatrixOrthoOffCenterLH(&o, 0, 800, 600, 0, 0, 1), &o); // the screen camera's
    EXPECT_TRUE(Near(Coord({0, 0, 0}, o), {-1, 1, 0}));
    EXPECT_TRUE(Near(Coord({800, 600, 1}, o), {1, -1, 1}));
    EXPECT_TRUE(Near(Coord({400, 300, 0.5f}, o), {0, 0, 0.5f}));
    D3DXMatrixOrthoOffCenterLH(&o, -2, 2, -1, 3, 1, 5);
    EXPECT_TRUE(Near(o, D3DXMATRIX(0.5f, 0, 0, 0, 0, 0.5f, 0, 0, 0, 0, 0.25f, 0, 0, -0.5f, -0.25f, 1)));

    D3DXMatrixOrthoLH(&o, 4, 2, 1, 3);
    EXPECT_TRUE(Near(o, D3DXMATRIX(0.5f, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0.5f, 0, 0, 0, -0.5f, 1)));
    EXPECT_TRUE(Near(Coord({2, 1, 3}, o), {1, 1, 1}));
}

TEST(D3DXMatrix, ShadowFlattensOntoTheNormalisedPlane) {
    // Unnormalised ground plane z = 0, sun straight above (direction towards it, w = 0).
    const D3DXPLANE ground(0, 0, 2, 0);
    const D3DXVECTOR4 up(0, 0, 1, 0);
    D3DXMATRIX s;
    EXPECT_EQ(D3DXMatrixShadow(&s, &up, &ground), &s);
    EXPECT_TRUE(Near(s, D3DXMATRIX(1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1)));

    struct Case {
        D3DXPLANE plane;
        D3DXVECTOR4 light;
        D3DXVECTOR3 p, want;
    };
    const Case cases[] = {
        {{0, 0, 2, 0}, {0, 0, 1, 0}, {3, 4, 5}, {3, 4, 0}},
        {{0, 0, 1, 0}, {1, 0, 1, 0}, {0, 0, 2}, {-2, 0, 0}},        // slanted sun
        {{0, 0, 1, 0}, {0, 0, 10, 1}, {1, 0, 5}, {2, 0, 0}},        // point light at height 10
        {{0, 0, -1, 0}, {0.6f, 0, -0.8f, 0}, {0, 0, 4}, {3, 0, 0}}, // the level's plane and sun direction
        {{0, 0, 3, -6}, {0, 0, 1, 0}, {1, 1, 7}, {1, 1, 2}},        // plane z = 2
    };
    for (const Case& k : cases) {
        D3DXMatrixShadow(&s, &k.light, &k.plane);
        EXPECT_TRUE(Near(Coord(k.p, s), k.want));
        // Points in front of the plane keep a positive w, so the flattened geometry is drawable.
        D3DXVECTOR4 h;
        D3DXVec3Transform(&h, &k.p, &s);
        EXPECT_GT(h.w, 0.0f);
    }
}

// ---------------------------------------------------------------------------------------------
// Quaternions

TEST(D3DXQuaternion, IdentityConjugateNormalizeMultiply) {
    D3DXQUATERNION q;
    EXPECT_EQ(D3DXQuaternionIdentity(&q), &q);
    EXPECT_EQ(q, D3DXQUATERNION(0, 0, 0, 1));
    EXPECT_TRUE(D3DXQuaternionIsIdentity(&q));

    const D3DXQUATERNION a(1, 2, 3, 4);
    EXPECT_EQ(*D3DXQuaternionConjugate(&q, &a), D3DXQUATERNION(-1, -2, -3, 4));
    EXPECT_FLOAT_EQ(D3DXQuaternionLengthSq(&a), 30.0f);

    struct Case {
        D3DXQUATERNION in, want;
    };
    const Case cases[] = {
        {{0, 3, 0, 4}, {0, 0.6f, 0, 0.8f}},
        {{0, 0, 0, -2}, {0, 0, 0, -1}},
        {{0, 0, 0, 0}, {0, 0, 0, 0}},
    };
    for (const Case& k : cases) EXPECT_TRUE(Near(*D3DXQuaternionNormalize(&q, &k.in), k.want));

    // Half turns: about x then about y is j * i = -k.
    const D3DXQUATERNION hx(1, 0, 0, 0), hy(0, 1, 0, 0);
    EXPECT_TRUE(Near(*D3DXQuaternionMultiply(&q, &hx, &hy), {0, 0, -1, 0}));
    EXPECT_TRUE(Near(*D3DXQuaternionMultiply(&q, &hy, &hx), {0, 0, 1, 0}));

    D3DXQUATERNION inv;
    D3DXQuaternionInverse(&inv, &a);
    D3DXQuaternionMultiply(&q, &a, &inv);
    EXPECT_TRUE(Near(q, {0, 0, 0, 1}));
}

TEST(D3DXQuaternion, MultiplyMatchesMatrixProductOrder) {
    D3DXQUATERNION a, b, ab;
    D3DXQuaternionRotationYawPitchRoll(&a, 0.3f, 0.2f, -0.4f);
    D3DXQuaternionRotationYawPitchRoll(&b, -1.0f, 0.7f, 0.1f);
    D3DXQuaternionMultiply(&ab, &a, &b);
    D3DXMATRIX ma, mb, mab;
    D3DXMatrixRotationQuaternion(&ma, &a);
    D3DXMatrixRotationQuaternion(&mb, &b);
    D3DXMatrixRotationQuaternion(&mab, &ab);
    EXPECT_TRUE(Near(mab, ma * mb));
    D3DXQuaternionMultiply(&a, &a, &b); // aliasing
    EXPECT_TRUE(Near(a, ab));
}

TEST(D3DXQuaternion, RotationAxis) {
    struct Case {
        D3DXVECTOR3 axis;
        float angle;
        D3DXQUATERNION want;
    };
    const Case cases[] = {
        {{0, 0, 2}, kPi / 2, {0, 0, kHalfSqrt2, kHalfSqrt2}},
        {{3, 0, 0}, kPi, {1, 0, 0, 0}},
        {{0, 1, 0}, 0, {0, 0, 0, 1}},
        {{0, 0, 0}, kPi / 2, {0, 0, 0, kHalfSqrt2}}, // zero axis: no NaN
    };
    for (const Case& k : cases) {
        D3DXQUATERNION q;
        EXPECT_EQ(D3DXQuaternionRotationAxis(&q, &k.axis, k.angle), &q);
        EXPECT_TRUE(Near(q, k.want));
    }
    // Same rotation as the matrix about the same axis.
    const D3DXVECTOR3 axis(1, -2, 0.5f);
    D3DXQUATERNION q;
    D3DXMATRIX fromQ, fromAxis;
    D3DXQuaternionRotationAxis(&q, &axis, 1.3f);
    D3DXMatrixRotationQuaternion(&fromQ, &q);
    D3DXMatrixRotationAxis(&fromAxis, &axis, 1.3f);
    EXPECT_TRUE(Near(fromQ, fromAxis));
}

TEST(D3DXQuaternion, RoundTripThroughMatrix) {
    // Every branch of the matrix-to-quaternion conversion: positive trace, and each diagonal
    // element the largest (half turns about x, y and z).
    const D3DXVECTOR3 axes[] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {1, 2, 3}, {-1, 0.5f, 0.2f}, {0.2f, -0.3f, 1}};
    const float angles[] = {0.0f, 0.5f, 2.0f, kPi, -2.9f};
    for (const D3DXVECTOR3& axis : axes)
        for (float angle : angles) {
            D3DXQUATERNION q, back;
            D3DXQuaternionRotationAxis(&q, &axis, angle);
            D3DXMATRIX m, again;
            D3DXMatrixRotationQuaternion(&m, &q);
            EXPECT_EQ(D3DXQuaternionRotationMatrix(&back, &m), &back);
            // q and -q are the same rotation.
            if (D3DXQuaternionDot(&q, &back) < 0) back = D3DXQUATERNION(-back.x, -back.y, -back.z, -back.w);
            EXPECT_TRUE(Near(back, q, 2e-5f)) << "angle " << angle;
            D3DXMatrixRotationQuaternion(&again, &back);
            EXPECT_TRUE(Near(again, m));
        }

    D3DXMATRIX rz;
    D3DXMatrixRotationZ(&rz, kPi / 2);
    D3DXQUATERNION q;
    D3DXQuaternionRotationMatrix(&q, &rz);
    EXPECT_TRUE(Near(q, {0, 0, kHalfSqrt2, kHalfSqrt2}));
    D3DXMATRIX id = Identity();
    EXPECT_TRUE(Near(*D3DXQuaternionRotationMatrix(&q, &id), {0, 0, 0, 1}));
}

TEST(D3DXQuaternion, YawPitchRollMatchesTheMatrix) {
    const float sets[][3] = {{0.3f, -0.5f, 1.1f}, {kPi / 2, kPi / 2, kPi / 2}, {-2.0f, 0.1f, 0.0f}, {0, 0, 0}};
    for (const auto& s : sets) {
        D3DXQUATERNION q;
        D3DXMATRIX fromQ, direct;
        D3DXQuaternionRotationYawPitchRoll(&q, s[0], s[1], s[2]);
        EXPECT_NEAR(D3DXQuaternionLength(&q), 1.0f, 1e-6f);
        D3DXMatrixRotationQuaternion(&fromQ, &q);
        D3DXMatrixRotationYawPitchRoll(&direct, s[0], s[1], s[2]);
        EXPECT_TRUE(Near(fromQ, direct));
    }
    D3DXQUATERNION q;
    D3DXQuaternionRotationYawPitchRoll(&q, kPi / 2, 0, 0);
    EXPECT_TRUE(Near(q, {0, kHalfSqrt2, 0, kHalfSqrt2}));
}

TEST(D3DXQuaternion, Slerp) {
    D3DXQUATERNION id, z90, q;
    D3DXQuaternionIdentity(&id);
    const D3DXVECTOR3 z(0, 0, 1);
    D3DXQuaternionRotationAxis(&z90, &z, kPi / 2);
    const float s = std::sin(kPi / 8), c = std::cos(kPi / 8);
    struct Case {
        float t;
        D3DXQUATERNION want;
    };
    const Case cases[] = {{0, {0, 0, 0, 1}}, {1, {0, 0, kHalfSqrt2, kHalfSqrt2}}, {0.5f, {0, 0, s, c}}};
    for (const Case& k : cases) {
        EXPECT_EQ(D3DXQuaternionSlerp(&q, &id, &z90, k.t), &q);
        EXPECT_TRUE(Near(q, k.want)) << "t " << k.t;
    }
    // The other sign of the target takes the short way too.
    const D3DXQUATERNION neg(-z90.x, -z90.y, -z90.z, -z90.w);
    D3DXQuaternionSlerp(&q, &id, &neg, 0.5f);
    EXPECT_TRUE(Near(q, {0, 0, s, c}));
    // Equal ends: no division by sin 0.
    D3DXQuaternionSlerp(&q, &z90, &z90, 0.3f);
    EXPECT_TRUE(Near(q, z90));
}

// ---------------------------------------------------------------------------------------------
// Planes and colours

TEST(D3DXPlane, FromPointNormalDotNormalizeIntersect) {
    const D3DXVECTOR3 point(0, 0, 5), normal(0, 0, 2);
    D3DXPLANE p;
    EXPECT_EQ(D3DXPlaneFromPointNormal(&p, &point, &normal), &p);
    EXPECT_FLOAT_EQ(p.c, 2.0f);
    EXPECT_FLOAT_EQ(p.d, -10.0f);
    const D3DXVECTOR3 q(1, 1, 7);
    EXPECT_FLOAT_EQ(D3DXPlaneDotCoord(&p, &q), 4.0f);
    EXPECT_FLOAT_EQ(D3DXPlaneDotNormal(&p, &q), 14.0f);
    const D3DXVECTOR4 h(1, 1, 7, 0.5f);
    EXPECT_FLOAT_EQ(D3DXPlaneDot(&p, &h), 9.0f);

    D3DXPLANE n;
    D3DXPlaneNormalize(&n, &p);
    EXPECT_FLOAT_EQ(n.c, 1.0f);
    EXPECT_FLOAT_EQ(n.d, -5.0f);
    const D3DXPLANE zero(0, 0, 0, 3);
    D3DXPlaneNormalize(&n, &zero);
    EXPECT_EQ(n.a, 0.0f);
    EXPECT_EQ(n.d, 0.0f);

    D3DXVECTOR3 hit(9, 9, 9);
    const D3DXVECTOR3 a(1, 2, 0), b(1, 2, 10), c(4, 2, 0);
    EXPECT_EQ(D3DXPlaneIntersectLine(&hit, &p, &a, &b), &hit);
    EXPECT_TRUE(Near(hit, {1, 2, 5}));
    const D3DXVECTOR3 e(3, 2, 20); // beyond the segment's end: the line still meets the plane
    EXPECT_TRUE(Near(*D3DXPlaneIntersectLine(&hit, &p, &a, &e), {1.5f, 2, 5}));
    hit = D3DXVECTOR3(9, 9, 9);
    EXPECT_EQ(D3DXPlaneIntersectLine(&hit, &p, &a, &c), nullptr); // parallel
    EXPECT_TRUE(Near(hit, {9, 9, 9}));

    const D3DXVECTOR3 p1(0, 0, 1), p2(1, 0, 1), p3(0, 1, 1);
    D3DXPlaneFromPoints(&n, &p1, &p2, &p3);
    EXPECT_TRUE(Near(D3DXVECTOR4(n.a, n.b, n.c, n.d), {0, 0, 1, -1}));

    // Moving a plane with a translation: pass the inverse transpose.
    D3DXMATRIX t, it;
    D3DXMatrixTranslation(&t, 0, 0, 3);
    D3DXMatrixInverse(&it, nullptr, &t);
    D3DXMatrixTranspose(&it, &it);
    D3DXPlaneTransform(&n, &n, &it);
    EXPECT_TRUE(Near(D3DXVECTOR4(n.a, n.b, n.c, n.d), {0, 0, 1, -4}));
}

TEST(D3DXColor, PackingAndHelpers) {
    EXPECT_EQ(D3DCOLOR_ARGB(0x80, 0x10, 0x20, 0x30), 0x80102030u);
    EXPECT_EQ(D3DCOLOR_XRGB(1, 2, 3), 0xFF010203u);
    EXPECT_EQ(D3DCOLOR_RGBA(1, 2, 3, 4), 0x04010203u);
    EXPECT_EQ(D3DCOLOR_ARGB(0x180, 0, 0, 0x1FF), 0x800000FFu); // each channel masked to a byte

    const D3DXCOLOR c(0xFF336699u);
    EXPECT_FLOAT_EQ(c.a, 1.0f);
    EXPECT_FLOAT_EQ(c.r, 0x33 / 255.0f);
    EXPECT_FLOAT_EQ(c.g, 0x66 / 255.0f);
    EXPECT_FLOAT_EQ(c.b, 0x99 / 255.0f);
    EXPECT_EQ(static_cast<D3DCOLOR>(c), 0xFF336699u);

    const float nan = std::numeric_limits<float>::quiet_NaN();
    EXPECT_EQ(static_cast<D3DCOLOR>(D3DXCOLOR(2.0f, -1.0f, 0.5f, nan)), 0x00FF0080u);
    D3DXCOLOR r;
    const D3DXCOLOR black(0, 0, 0, 1), white(1, 1, 1, 1), half(0.5f, 0.25f, 1, 0.5f);
    D3DXColorLerp(&r, &black, &white, 0.25f);
    EXPECT_EQ(r, D3DXCOLOR(0.25f, 0.25f, 0.25f, 1));
    D3DXColorModulate(&r, &half, &half);
    EXPECT_EQ(r, D3DXCOLOR(0.25f, 0.0625f, 1, 0.25f));
    D3DXColorScale(&r, &half, 2);
    EXPECT_EQ(r, D3DXCOLOR(1, 0.5f, 2, 1));
    D3DXColorAdd(&r, &half, &half);
    EXPECT_EQ(r, D3DXCOLOR(1, 0.5f, 2, 1));
    D3DXColorSubtract(&r, &white, &half);
    EXPECT_EQ(r, D3DXCOLOR(0.5f, 0.75f, 0, 0.5f));
    D3DXColorNegative(&r, &half);
    EXPECT_EQ(r, D3DXCOLOR(0.5f, 0.75f, 0, 0.5f));
    static_assert(sizeof(D3DXCOLOR) == 16);
}

} // namespace
