#pragma once
// The one small Recording device the graphics targets draw their inputs onto, made once per
// process as the renderer makes its device.

#include "Platform/Graphics/D3D9.h"

namespace kxfuzz {

inline IDirect3DDevice9* RecordingDevice() {
    static IDirect3DDevice9* device = [] {
        SetDirect3DBackend(D3DBackend::Recording);
        IDirect3D9* d3d = Direct3DCreate9(D3D_SDK_VERSION);
        D3DPRESENT_PARAMETERS pp{};
        pp.BackBufferWidth = 64;
        pp.BackBufferHeight = 48;
        pp.BackBufferFormat = D3DFMT_X8R8G8B8;
        pp.BackBufferCount = 1;
        pp.SwapEffect = D3DSWAPEFFECT_DISCARD;
        pp.Windowed = TRUE;
        pp.EnableAutoDepthStencil = TRUE;
        pp.AutoDepthStencilFormat = D3DFMT_D24S8;
        IDirect3DDevice9* made = nullptr;
        d3d->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, nullptr, D3DCREATE_HARDWARE_VERTEXPROCESSING, &pp, &made);
        d3d->Release();
        return made;
    }();
    return device;
}

} // namespace kxfuzz
