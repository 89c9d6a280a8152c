// Texture loaders from memory on the Recording device, as the renderer makes its textures:
// plain, with the file's sizes and levels, converted to a block format, and as a cube map.

#include "FuzzDevice.h"
#include "Platform/Image/D3DXTexture.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    IDirect3DDevice9* device = kxfuzz::RecordingDevice();
    if (!device) return 0;
    const UINT bytes = static_cast<UINT>(size);
    IDirect3DTexture9* texture = nullptr;
    D3DXIMAGE_INFO first{};
    if (SUCCEEDED(D3DXCreateTextureFromFileInMemoryEx(device, data, bytes, D3DX_DEFAULT, D3DX_DEFAULT, D3DX_DEFAULT, 0,
                                                      D3DFMT_UNKNOWN, D3DPOOL_MANAGED, D3DX_DEFAULT, D3DX_DEFAULT, 0,
                                                      &first, nullptr, &texture)))
        texture->Release();
    // A picture of millions of pixels is legal and loads in a fraction of a second in the game,
    // but takes tens of seconds rescaled and mipmapped four times under the fuzzer's
    // instrumentation: once is enough to look at it.
    if (static_cast<std::uint64_t>(first.Width) * first.Height > (1u << 20)) return 0;

    struct Way {
        UINT width, height, levels;
        D3DFORMAT format;
        D3DCOLOR key;
    };
    static const Way kWays[] = {
        {D3DX_DEFAULT_NONPOW2, D3DX_DEFAULT_NONPOW2, D3DX_FROM_FILE, D3DFMT_UNKNOWN, 0},
        {D3DX_DEFAULT, D3DX_DEFAULT, D3DX_DEFAULT, D3DFMT_DXT5, 0xFF000000u},
        {16, 8, 1, D3DFMT_A8R8G8B8, 0xFFFF00FFu},
    };
    for (const Way& way : kWays) {
        D3DXIMAGE_INFO info{};
        texture = nullptr;
        if (SUCCEEDED(D3DXCreateTextureFromFileInMemoryEx(device, data, bytes, way.width, way.height, way.levels, 0,
                                                          way.format, D3DPOOL_MANAGED, D3DX_DEFAULT, D3DX_DEFAULT,
                                                          way.key, &info, nullptr, &texture)))
            texture->Release();
    }
    IDirect3DCubeTexture9* cube = nullptr;
    if (SUCCEEDED(D3DXCreateCubeTextureFromFileInMemoryEx(device, data, bytes, D3DX_DEFAULT, D3DX_DEFAULT, 0,
                                                          D3DFMT_UNKNOWN, D3DPOOL_MANAGED, D3DX_DEFAULT, D3DX_DEFAULT,
                                                          0, nullptr, nullptr, &cube)))
        cube->Release();
    return 0;
}
