#pragma once
// Our stand-in for the D3DX 9 texture loaders the engine calls: a texture or cube texture made
// on the device from a whole image file in memory (DDS, TGA, BMP, PNG, JPEG), sized, mipmapped
// and formatted as those loaders did by default: sizes from the file rounded up to powers of
// two, the full mip chain, the file's own format (block-compressed stays compressed).

#include "Platform/Graphics/D3D9.h"

constexpr UINT D3DX_DEFAULT = 0xFFFFFFFFu;
constexpr UINT D3DX_DEFAULT_NONPOW2 = 0xFFFFFFFEu;
constexpr UINT D3DX_FROM_FILE = 0xFFFFFFFDu;

// Filters: the resampling is always a box/triangle filter here; the values exist for the calls.
constexpr DWORD D3DX_FILTER_NONE = 1;
constexpr DWORD D3DX_FILTER_POINT = 2;
constexpr DWORD D3DX_FILTER_LINEAR = 3;
constexpr DWORD D3DX_FILTER_TRIANGLE = 4;
constexpr DWORD D3DX_FILTER_BOX = 5;
constexpr DWORD D3DX_FILTER_DITHER = 0x80000;

enum D3DXIMAGE_FILEFORMAT : DWORD {
    D3DXIFF_BMP = 0,
    D3DXIFF_JPG = 1,
    D3DXIFF_TGA = 2,
    D3DXIFF_PNG = 3,
    D3DXIFF_DDS = 4,
};

struct D3DXIMAGE_INFO {
    UINT Width = 0;
    UINT Height = 0;
    UINT Depth = 0;
    UINT MipLevels = 0;
    D3DFORMAT Format = D3DFMT_UNKNOWN;
    D3DRESOURCETYPE ResourceType = D3DRTYPE_TEXTURE;
    D3DXIMAGE_FILEFORMAT ImageFileFormat = D3DXIFF_BMP;
};

struct PALETTEENTRY {
    BYTE peRed, peGreen, peBlue, peFlags;
};

// width/height: D3DX_DEFAULT or 0 (file size rounded up to powers of two), D3DX_DEFAULT_NONPOW2
// or D3DX_FROM_FILE (file size), or a size. mipLevels: D3DX_DEFAULT or 0 (full chain),
// D3DX_FROM_FILE (the file's levels), or a count. format: D3DFMT_UNKNOWN keeps the file's;
// D3DFMT_A8R8G8B8, D3DFMT_X8R8G8B8, D3DFMT_DXT1/3/5 convert. colorKey 0: none. palette is
// not used. Undecodable, truncated or lying files answer D3DXERR_INVALIDDATA.
HRESULT D3DXCreateTextureFromFileInMemoryEx(IDirect3DDevice9* device, const void* data, UINT size, UINT width,
                                            UINT height, UINT mipLevels, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                                            DWORD filter, DWORD mipFilter, D3DCOLOR colorKey, D3DXIMAGE_INFO* info,
                                            PALETTEENTRY* palette, IDirect3DTexture9** texture);

HRESULT D3DXCreateTextureFromFileInMemory(IDirect3DDevice9* device, const void* data, UINT size,
                                          IDirect3DTexture9** texture);

// Only DDS files holding all six faces make cube textures.
HRESULT D3DXCreateCubeTextureFromFileInMemoryEx(IDirect3DDevice9* device, const void* data, UINT size, UINT edge,
                                                UINT mipLevels, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                                                DWORD filter, DWORD mipFilter, D3DCOLOR colorKey, D3DXIMAGE_INFO* info,
                                                PALETTEENTRY* palette, IDirect3DCubeTexture9** texture);
