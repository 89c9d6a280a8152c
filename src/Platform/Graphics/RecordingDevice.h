#pragma once
// The Recording device: a Direct3D 9 stand-in without a GPU. Buffers, textures and render
// targets live in CPU memory; every call and state change is recorded so tests can check the
// order of calls and the states in force; device loss and a failing reset can be simulated.
// Reset is strict as on the original platform: it fails while default-pool resources or
// references to the back buffer or depth surface are still held.
//
// Use: SetDirect3DBackend(D3DBackend::Recording) (the default), optionally
// SetRecordingConfig(...), then Direct3DCreate9 / CreateDevice as the engine does, and reach
// the device's controls with RecordingControl(device) or LastRecordingControl().

#include <cstdint>
#include <string>
#include <vector>

#include "Platform/Graphics/D3D9.h"

namespace Platform {

// One recorded call: its name ("SetRenderState", "DrawIndexedPrimitive", ...) and its
// arguments as integers (objects by their id, floats by their bits).
struct RecordedCall {
    std::string name;
    std::vector<std::int64_t> args;
    std::string ToString() const; // "SetRenderState(137, 1)"
};

// What the recording adapter reports and does.
struct RecordingConfig {
    bool hardwareTransformAndLight = true;
    DWORD pixelShaderVersion = D3DPS_VERSION(2, 0);
    DWORD vertexShaderVersion = D3DVS_VERSION(2, 0);
    DWORD maxAnisotropy = 16;
    bool supportsA1R5G5B5 = true;
    DWORD multiSampleQualityLevels = 2;  // 0: multisampling not available
    HRESULT createDeviceResult = D3D_OK; // a failure makes CreateDevice answer it
    std::vector<D3DDISPLAYMODE> displayModes = {{640, 480, 60, D3DFMT_X8R8G8B8},   {800, 600, 60, D3DFMT_X8R8G8B8},
                                                {1024, 768, 60, D3DFMT_X8R8G8B8},  {1024, 768, 75, D3DFMT_X8R8G8B8},
                                                {1280, 1024, 60, D3DFMT_X8R8G8B8}, {1920, 1080, 60, D3DFMT_X8R8G8B8}};
    bool strictReset = true;
};
void SetRecordingConfig(const RecordingConfig& config);
RecordingConfig GetRecordingConfig();

class IRecordingControl {
public:
    virtual const std::vector<RecordedCall>& Calls() const = 0;
    virtual void ClearCalls() = 0;
    virtual std::size_t CountCalls(const std::string& name) const = 0;
    virtual std::vector<std::string> CallNames() const = 0;
    // The device is lost: TestCooperativeLevel answers D3DERR_DEVICENOTRESET when it can be
    // reset now, D3DERR_DEVICELOST while it cannot (Reset then fails); Present fails.
    virtual void LoseDevice(bool canReset = true) = 0;
    virtual void SetCanReset(bool canReset) = 0;
    // The next count calls of Reset fail with result; the device stays lost.
    virtual void FailNextResets(int count, HRESULT result = D3DERR_INVALIDCALL) = 0;
    virtual bool IsLost() const = 0;
    virtual int LiveDefaultPoolResources() const = 0;
    // Why a reset now would fail (held default-pool resources, held back-buffer references).
    virtual std::vector<std::string> ResetBlockers() const = 0;
    // The id under which an object appears in the recorded arguments (0 for null/unknown).
    virtual std::uint32_t ObjectId(const IUnknown* object) const = 0;
    virtual int PresentCount() const = 0;
    virtual bool InScene() const = 0;
    virtual const D3DPRESENT_PARAMETERS& PresentParameters() const = 0;

protected:
    ~IRecordingControl() = default;
};

// The controls of a device made by the Recording backend; null for any other device.
IRecordingControl* RecordingControl(IDirect3DDevice9* device);
// The controls of the most recently created Recording device that is still alive, or null.
IRecordingControl* LastRecordingControl();
IDirect3DDevice9* LastRecordingDevice();

} // namespace Platform
