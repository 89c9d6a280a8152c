#pragma once
// COM-style result codes and interface identifiers of the sound and music layers.

#include "Platform/Base/WinTypes.h"

#include <cstdint>

namespace Platform::Audio {

// The base types and the codes every platform layer shares are the global ones; the rest
// belong to sound and music.
using ::DWORD;
using ::E_FAIL;
using ::E_INVALIDARG;
using ::E_NOINTERFACE;
using ::E_NOTIMPL;
using ::E_OUTOFMEMORY;
using ::E_POINTER;
using ::HRESULT;
using ::LONG;
using ::S_FALSE;
using ::S_OK;
using ::ULONG;
using ::WORD;

constexpr HRESULT MakeResult(std::uint32_t code) { return static_cast<HRESULT>(code); }

constexpr HRESULT CO_E_NOTINITIALIZED = MakeResult(0x800401F0u);
constexpr HRESULT E_ABORT = MakeResult(0x80004004u);
constexpr HRESULT VFW_E_NOT_FOUND = MakeResult(0x80040216u);
constexpr HRESULT VFW_E_UNSUPPORTED_STREAM = MakeResult(0x80040265u);

inline bool Succeeded(HRESULT hr) { return hr >= 0; }
inline bool Failed(HRESULT hr) { return hr < 0; }

// Interface and algorithm identifiers. Only equality matters here.
struct GUID {
    std::uint32_t data1 = 0;
    std::uint16_t data2 = 0, data3 = 0;
    std::uint8_t data4[8] = {};
    friend bool operator==(const GUID& a, const GUID& b) {
        if (a.data1 != b.data1 || a.data2 != b.data2 || a.data3 != b.data3) return false;
        for (int i = 0; i < 8; ++i)
            if (a.data4[i] != b.data4[i]) return false;
        return true;
    }
};
using REFIID = const GUID&;

// The name and a description of a result code, for error reports.
const char* ResultName(HRESULT hr);
const char* ResultDescription(HRESULT hr);

} // namespace Platform::Audio
