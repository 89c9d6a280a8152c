#pragma once
// The one vertex layout of every batch, the debug lines and the static level buffers, and
// the pre-transformed layout of the screen quads (fade, loading screen).

#include <cstddef>
#include <cstdint>

#include "Platform/Graphics/D3D9.h"

struct SPVertex {
    float x, y, z;    // position
    float nx, ny, nz; // normal
    D3DCOLOR diffuse;
    D3DCOLOR specular;
    float tu, tv;   // texture coordinates 0
    float tu1, tv1; // texture coordinates 1
};

constexpr DWORD SPVertexFVF = D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_DIFFUSE | D3DFVF_SPECULAR | D3DFVF_TEX2;
static_assert(SPVertexFVF == 0x2D2);
static_assert(sizeof(SPVertex) == 48, "the ring and the static buffers assume 48-byte vertices");
static_assert(offsetof(SPVertex, x) == 0);
static_assert(offsetof(SPVertex, nx) == 12);
static_assert(offsetof(SPVertex, diffuse) == 24);
static_assert(offsetof(SPVertex, specular) == 28);
static_assert(offsetof(SPVertex, tu) == 32);
static_assert(offsetof(SPVertex, tu1) == 40);

// A pre-transformed vertex (x, y, z, rhw, diffuse, one uv pair).
struct SPScreenVertex {
    float x, y, z, rhw;
    D3DCOLOR diffuse;
    float tu, tv;
};
constexpr DWORD SPScreenVertexFVF = D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1;
static_assert(SPScreenVertexFVF == 0x144);
static_assert(sizeof(SPScreenVertex) == 28);
