#pragma once
// The result codes of the graphics device and the keyboard. They are plain numbers, declared
// here below both layers so that the one table of error texts (DXError) names them without
// depending on either; D3D9.h and Keyboard.h include this header, so their users see them as
// before.

#include "Platform/Base/WinTypes.h"

// Graphics device and texture loading.
constexpr HRESULT MakeD3DError(unsigned code) { return MakeHResult(1, 0x876, code); }
constexpr HRESULT D3D_OK = S_OK;
constexpr HRESULT D3DERR_WRONGTEXTUREFORMAT = MakeD3DError(2072);
constexpr HRESULT D3DERR_UNSUPPORTEDCOLOROPERATION = MakeD3DError(2073);
constexpr HRESULT D3DERR_UNSUPPORTEDCOLORARG = MakeD3DError(2074);
constexpr HRESULT D3DERR_UNSUPPORTEDALPHAOPERATION = MakeD3DError(2075);
constexpr HRESULT D3DERR_UNSUPPORTEDALPHAARG = MakeD3DError(2076);
constexpr HRESULT D3DERR_TOOMANYOPERATIONS = MakeD3DError(2077);
constexpr HRESULT D3DERR_CONFLICTINGTEXTUREFILTER = MakeD3DError(2078);
constexpr HRESULT D3DERR_UNSUPPORTEDFACTORVALUE = MakeD3DError(2079);
constexpr HRESULT D3DERR_CONFLICTINGRENDERSTATE = MakeD3DError(2081);
constexpr HRESULT D3DERR_UNSUPPORTEDTEXTUREFILTER = MakeD3DError(2082);
constexpr HRESULT D3DERR_CONFLICTINGTEXTUREPALETTE = MakeD3DError(2086);
constexpr HRESULT D3DERR_DRIVERINTERNALERROR = MakeD3DError(2087);
constexpr HRESULT D3DERR_NOTFOUND = MakeD3DError(2150);
constexpr HRESULT D3DERR_MOREDATA = MakeD3DError(2151);
constexpr HRESULT D3DERR_DEVICELOST = MakeD3DError(2152);
constexpr HRESULT D3DERR_DEVICENOTRESET = MakeD3DError(2153);
constexpr HRESULT D3DERR_NOTAVAILABLE = MakeD3DError(2154);
constexpr HRESULT D3DERR_OUTOFVIDEOMEMORY = MakeD3DError(380);
constexpr HRESULT D3DERR_INVALIDDEVICE = MakeD3DError(2155);
constexpr HRESULT D3DERR_INVALIDCALL = MakeD3DError(2156);
constexpr HRESULT D3DERR_DRIVERINVALIDCALL = MakeD3DError(2157);
constexpr HRESULT D3DERR_WASSTILLDRAWING = MakeD3DError(540);
constexpr HRESULT D3DXERR_INVALIDDATA = MakeD3DError(2905);

// Keyboard device.
constexpr HRESULT DI_OK = S_OK;
constexpr HRESULT DI_NOEFFECT = S_FALSE;
// The device must be acquired again (it lost the foreground or was unacquired).
constexpr HRESULT DIERR_INPUTLOST = static_cast<HRESULT>(0x8007001Eu);
constexpr HRESULT DIERR_NOTACQUIRED = static_cast<HRESULT>(0x8007000Cu);
// Another window has the foreground: a foreground device cannot be acquired now.
constexpr HRESULT DIERR_OTHERAPPHASPRIO = static_cast<HRESULT>(0x80070005u);
constexpr HRESULT DIERR_INVALIDPARAM = E_INVALIDARG;
