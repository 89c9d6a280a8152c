#pragma once
// The OpenGL 4.5 device (internal to the graphics library).

#include "Platform/Graphics/DeviceCore.h"

namespace Platform::GraphicsDetail {

// Probes for a usable OpenGL 4.5 core context (SDL2 video must be available); fills the
// capabilities the device will report and its multisampling: one NONMASKABLE quality level per
// sample count above one that a colour format and the depth-stencil buffer both support,
// quality q taking the (q+1)-th smallest. False when OpenGL cannot run here.
bool ProbeOpenGL(D3DCAPS9& caps, MultisampleLevels& multisample);

// Creates the device on the given SDL window (an SDL_Window* as HWND); with no window, a
// hidden one of the back buffer's size is made and owned by the device.
HRESULT CreateOpenGLDevice(HWND window, const D3DCAPS9& caps, const D3DPRESENT_PARAMETERS& params,
                           IDirect3DDevice9** device);

} // namespace Platform::GraphicsDetail
