#include "Platform/Base/DXError.h"

#include "Platform/Base/ResultCodes.h"

namespace {

struct ErrorText {
    HRESULT code;
    const char* name;
    const char* description;
};

constexpr ErrorText kErrors[] = {
    {S_OK, "S_OK", "The operation succeeded."},
    {S_FALSE, "S_FALSE", "The operation succeeded but had nothing to do."},
    {E_FAIL, "E_FAIL", "An undetermined error occurred."},
    {E_INVALIDARG, "E_INVALIDARG", "An invalid parameter was passed."},
    {E_OUTOFMEMORY, "E_OUTOFMEMORY", "Not enough memory to complete the call."},
    {E_NOTIMPL, "E_NOTIMPL", "The function is not implemented."},
    {E_NOINTERFACE, "E_NOINTERFACE", "The object does not support this interface."},
    {E_POINTER, "E_POINTER", "An invalid pointer was passed."},
    {D3DERR_WRONGTEXTUREFORMAT, "D3DERR_WRONGTEXTUREFORMAT", "The texture format is not supported for this operation."},
    {D3DERR_UNSUPPORTEDCOLOROPERATION, "D3DERR_UNSUPPORTEDCOLOROPERATION", "The colour operation is not supported."},
    {D3DERR_UNSUPPORTEDCOLORARG, "D3DERR_UNSUPPORTEDCOLORARG", "The colour argument is not supported."},
    {D3DERR_UNSUPPORTEDALPHAOPERATION, "D3DERR_UNSUPPORTEDALPHAOPERATION", "The alpha operation is not supported."},
    {D3DERR_UNSUPPORTEDALPHAARG, "D3DERR_UNSUPPORTEDALPHAARG", "The alpha argument is not supported."},
    {D3DERR_TOOMANYOPERATIONS, "D3DERR_TOOMANYOPERATIONS", "Too many texture operations were requested."},
    {D3DERR_CONFLICTINGTEXTUREFILTER, "D3DERR_CONFLICTINGTEXTUREFILTER", "The texture filters conflict."},
    {D3DERR_UNSUPPORTEDFACTORVALUE, "D3DERR_UNSUPPORTEDFACTORVALUE", "The texture factor value is not supported."},
    {D3DERR_CONFLICTINGRENDERSTATE, "D3DERR_CONFLICTINGRENDERSTATE", "The render states conflict."},
    {D3DERR_UNSUPPORTEDTEXTUREFILTER, "D3DERR_UNSUPPORTEDTEXTUREFILTER", "The texture filter is not supported."},
    {D3DERR_CONFLICTINGTEXTUREPALETTE, "D3DERR_CONFLICTINGTEXTUREPALETTE", "The texture palettes conflict."},
    {D3DERR_DRIVERINTERNALERROR, "D3DERR_DRIVERINTERNALERROR", "The graphics driver reported an internal error."},
    {D3DERR_NOTFOUND, "D3DERR_NOTFOUND", "The requested item was not found."},
    {D3DERR_MOREDATA, "D3DERR_MOREDATA", "There is more data than the buffer can hold."},
    {D3DERR_DEVICELOST, "D3DERR_DEVICELOST", "The device has been lost and cannot be reset yet."},
    {D3DERR_DEVICENOTRESET, "D3DERR_DEVICENOTRESET", "The device has been lost and can be reset now."},
    {D3DERR_NOTAVAILABLE, "D3DERR_NOTAVAILABLE", "The requested format or feature is not available."},
    {D3DERR_OUTOFVIDEOMEMORY, "D3DERR_OUTOFVIDEOMEMORY", "Not enough display memory for the operation."},
    {D3DERR_INVALIDDEVICE, "D3DERR_INVALIDDEVICE", "The requested device type is not valid."},
    {D3DERR_INVALIDCALL, "D3DERR_INVALIDCALL", "The method call is invalid: a parameter may be wrong."},
    {D3DERR_DRIVERINVALIDCALL, "D3DERR_DRIVERINVALIDCALL", "The driver refused the call."},
    {D3DERR_WASSTILLDRAWING, "D3DERR_WASSTILLDRAWING", "The device was still drawing from this surface."},
    {D3DXERR_INVALIDDATA, "D3DXERR_INVALIDDATA", "The data is invalid."},
    {DIERR_INPUTLOST, "DIERR_INPUTLOST", "Access to the input device has been lost; it must be acquired again."},
    {DIERR_NOTACQUIRED, "DIERR_NOTACQUIRED", "The input device is not acquired."},
    {DIERR_OTHERAPPHASPRIO, "DIERR_OTHERAPPHASPRIO", "Another application has priority over the input device."},
};

const ErrorText* Find(HRESULT hr) {
    for (const ErrorText& e : kErrors)
        if (e.code == hr) return &e;
    return nullptr;
}

} // namespace

const char* DXGetErrorString9A(HRESULT hr) {
    const ErrorText* e = Find(hr);
    return e ? e->name : "Unknown";
}

const char* DXGetErrorDescription9A(HRESULT hr) {
    const ErrorText* e = Find(hr);
    return e ? e->description : "n/a";
}
