#pragma once
// Small helpers for the graphics tests: vertex records of the engine's two formats and the
// left-handed camera matrices, written here so the tests do not depend on the math library.

#include <cmath>
#include <cstdint>
#include <vector>

#include "Platform/Graphics/D3D9.h"
#include "support/Near.h"
#include "support/TestDevices.h"

namespace GraphicsTest {

// FVF 0x2D2: position, normal, diffuse, specular, two texture coordinate pairs (48 bytes).
struct Vertex {
    float x, y, z;
    float nx, ny, nz;
    D3DCOLOR diffuse, specular;
    float u, v, u1, v1;
};
static_assert(sizeof(Vertex) == 48);
constexpr DWORD kVertexFvf = D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_DIFFUSE | D3DFVF_SPECULAR | D3DFVF_TEX2;
static_assert(kVertexFvf == 0x2D2);

// FVF 0x144: pre-transformed position, diffuse, one texture coordinate pair (28 bytes).
struct ScreenVertex {
    float x, y, z, rhw;
    D3DCOLOR diffuse;
    float u, v;
};
static_assert(sizeof(ScreenVertex) == 28);
constexpr DWORD kScreenFvf = D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1;
static_assert(kScreenFvf == 0x144);

inline D3DMATRIX Identity() {
    D3DMATRIX m{};
    m._11 = m._22 = m._33 = m._44 = 1;
    return m;
}

inline D3DMATRIX Translation(float x, float y, float z) {
    D3DMATRIX m = Identity();
    m._41 = x;
    m._42 = y;
    m._43 = z;
    return m;
}

inline D3DMATRIX PerspectiveFovLH(float fovY, float aspect, float zn, float zf) {
    D3DMATRIX m{};
    const float ys = 1.0f / std::tan(fovY / 2), xs = ys / aspect;
    m._11 = xs;
    m._22 = ys;
    m._33 = zf / (zf - zn);
    m._34 = 1;
    m._43 = -zn * zf / (zf - zn);
    return m;
}

inline D3DMATRIX LookAtLH(D3DVECTOR eye, D3DVECTOR at, D3DVECTOR up) {
    auto sub = [](D3DVECTOR a, D3DVECTOR b) { return D3DVECTOR{a.x - b.x, a.y - b.y, a.z - b.z}; };
    auto cross = [](D3DVECTOR a, D3DVECTOR b) {
        return D3DVECTOR{a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
    };
    auto dot = [](D3DVECTOR a, D3DVECTOR b) { return a.x * b.x + a.y * b.y + a.z * b.z; };
    auto norm = [&](D3DVECTOR a) {
        const float l = std::sqrt(dot(a, a));
        return D3DVECTOR{a.x / l, a.y / l, a.z / l};
    };
    const D3DVECTOR z = norm(sub(at, eye)), x = norm(cross(up, z)), y = cross(z, x);
    D3DMATRIX m = Identity();
    m._11 = x.x;
    m._12 = y.x;
    m._13 = z.x;
    m._21 = x.y;
    m._22 = y.y;
    m._23 = z.y;
    m._31 = x.z;
    m._32 = y.z;
    m._33 = z.z;
    m._41 = -dot(x, eye);
    m._42 = -dot(y, eye);
    m._43 = -dot(z, eye);
    return m;
}

// The engine's own choice: 32-bit colour with alpha, 16-bit depth, no wait for the display.
inline D3DPRESENT_PARAMETERS WindowedParams(UINT width, UINT height) {
    D3DPRESENT_PARAMETERS pp = kxtest::WindowedBackBuffer(width, height, D3DFMT_A8R8G8B8, D3DFMT_D16);
    pp.PresentationInterval = D3DPRESENT_INTERVAL_IMMEDIATE;
    return pp;
}

// Unlit, nothing culled, and stage 0 passing the vertex colour and alpha through unchanged.
inline void UnlitDiffuseState(IDirect3DDevice9* device) {
    device->SetRenderState(D3DRS_LIGHTING, FALSE);
    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG2);
    device->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
    device->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG2);
    device->SetTextureStageState(0, D3DTSS_ALPHAARG2, D3DTA_DIFFUSE);
}

inline int Channel(D3DCOLOR c, int shift) { return static_cast<int>((c >> shift) & 0xFF); }
using kxtest::Near;

} // namespace GraphicsTest
