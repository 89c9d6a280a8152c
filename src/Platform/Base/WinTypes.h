#pragma once
// The handful of Win32/COM base types and result codes that the platform stand-ins share
// (graphics device, keyboard, sound). Declared in the global namespace so engine code reads
// as it would against the original platform headers.

#include <cstdint>

using HRESULT = std::int32_t;
using DWORD = std::uint32_t;
using ULONG = std::uint32_t;
using LONG = std::int32_t;
using WORD = std::uint16_t;
using BYTE = std::uint8_t;
using BOOL = std::int32_t;
using UINT = std::uint32_t;
using INT = std::int32_t;
using HWND = void*;
using HINSTANCE = void*;
using HMONITOR = void*;

constexpr BOOL TRUE = 1;
constexpr BOOL FALSE = 0;

constexpr HRESULT MakeHResult(unsigned severity, unsigned facility, unsigned code) {
    return static_cast<HRESULT>((severity << 31) | (facility << 16) | code);
}

constexpr HRESULT S_OK = 0;
constexpr HRESULT S_FALSE = 1;
constexpr HRESULT E_NOTIMPL = static_cast<HRESULT>(0x80004001u);
constexpr HRESULT E_NOINTERFACE = static_cast<HRESULT>(0x80004002u);
constexpr HRESULT E_POINTER = static_cast<HRESULT>(0x80004003u);
constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005u);
constexpr HRESULT E_OUTOFMEMORY = static_cast<HRESULT>(0x8007000Eu);
constexpr HRESULT E_INVALIDARG = static_cast<HRESULT>(0x80070057u);

constexpr bool SUCCEEDED(HRESULT hr) { return hr >= 0; }
constexpr bool FAILED(HRESULT hr) { return hr < 0; }

struct RECT {
    LONG left = 0, top = 0, right = 0, bottom = 0;
};
struct POINT {
    LONG x = 0, y = 0;
};
