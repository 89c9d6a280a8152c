#pragma once
// Devices for the graphics tests: a small windowed back buffer, the Recording device, and the
// OpenGL device offscreen (SDL's "offscreen" video driver; Mesa's llvmpipe where there is no
// GPU), so that no test ever reaches a display server. Header-only: the tests that use it link
// the graphics layer themselves.

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "Platform/Graphics/D3D9.h"

namespace kxtest {

// A float render state (fog start and end, point size...) as the DWORD the device takes.
inline DWORD FloatBits(float value) {
    DWORD bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

// A windowed back buffer of one buffer, discarded on present; a depth buffer only when a depth
// format is given.
inline D3DPRESENT_PARAMETERS WindowedBackBuffer(UINT width, UINT height, D3DFORMAT format,
                                                D3DFORMAT depth = D3DFMT_UNKNOWN) {
    D3DPRESENT_PARAMETERS pp;
    pp.BackBufferWidth = width;
    pp.BackBufferHeight = height;
    pp.BackBufferFormat = format;
    pp.BackBufferCount = 1;
    pp.SwapEffect = D3DSWAPEFFECT_DISCARD;
    pp.Windowed = TRUE;
    if (depth != D3DFMT_UNKNOWN) {
        pp.EnableAutoDepthStencil = TRUE;
        pp.AutoDepthStencilFormat = depth;
    }
    return pp;
}

// The Direct3D object of the Recording backend.
inline IDirect3D9* RecordingDirect3D() {
    SetDirect3DBackend(D3DBackend::Recording);
    return Direct3DCreate9(D3D_SDK_VERSION);
}

// The Direct3D object of the OpenGL backend, offscreen; null where this machine has no
// OpenGL 4.5. Objects made afterwards get the Recording backend again, as every other test
// expects.
inline IDirect3D9* OffscreenOpenGLDirect3D() {
    setenv("SDL_VIDEODRIVER", "offscreen", 1);
    SetDirect3DBackend(D3DBackend::OpenGL);
    IDirect3D9* d3d = Direct3DCreate9(D3D_SDK_VERSION);
    SetDirect3DBackend(D3DBackend::Recording);
    return d3d;
}

// A device of d3d on the default adapter; failing to make it fails the test.
inline void CreateTestDevice(IDirect3D9* d3d, D3DPRESENT_PARAMETERS pp, IDirect3DDevice9** device) {
    ASSERT_EQ(d3d->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, nullptr, D3DCREATE_HARDWARE_VERTEXPROCESSING, &pp,
                                device),
              D3D_OK);
}

// A fixture holding one OpenGL device offscreen (and, unless told otherwise, its back buffer).
// Its tests are skipped where there is no OpenGL 4.5; at the end the device's last reference
// must be the fixture's, so a test that leaks a resource fails.
class OffscreenDeviceTest : public ::testing::Test {
protected:
    // From SetUp. Where it skips or fails, device stays null and SetUp should return at once.
    void OpenDevice(const D3DPRESENT_PARAMETERS& pp, bool holdBackBuffer = true) {
        d3d = OffscreenOpenGLDirect3D();
        if (!d3d) GTEST_SKIP() << "no OpenGL 4.5 here";
        CreateTestDevice(d3d, pp, &device);
        if (holdBackBuffer && device) {
            ASSERT_EQ(device->GetRenderTarget(0, &backBuffer), D3D_OK);
        }
    }

    void TearDown() override { CloseDevice(); }

    void CloseDevice(bool expectLastReference = true) {
        if (backBuffer) backBuffer->Release();
        if (device) {
            const ULONG left = device->Release();
            if (expectLastReference) {
                EXPECT_EQ(left, 0u);
            }
        }
        if (d3d) d3d->Release();
        backBuffer = nullptr;
        device = nullptr;
        d3d = nullptr;
    }

    IDirect3D9* d3d = nullptr;
    IDirect3DDevice9* device = nullptr;
    IDirect3DSurface9* backBuffer = nullptr;
};

} // namespace kxtest
