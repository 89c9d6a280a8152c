// Direct3DCreate9 and the adapter object shared by both backends.

#include <algorithm>
#include <memory>

#include "Platform/Graphics/D3D9.h"
#include "Platform/Graphics/DeviceCore.h"
#include "Platform/Graphics/GLDevice.h"
#include "Platform/Graphics/RecordingDevice.h"
#include "Platform/Window/Window.h"

namespace Platform {

D3DCAPS9 GraphicsDetail::RecordingCaps(const RecordingConfig& c) {
    D3DCAPS9 caps;
    caps.DevCaps = c.hardwareTransformAndLight ? D3DDEVCAPS_HWTRANSFORMANDLIGHT : 0;
    caps.TextureCaps = D3DPTEXTURECAPS_MIPMAP | D3DPTEXTURECAPS_CUBEMAP;
    caps.MaxTextureWidth = caps.MaxTextureHeight = 4096;
    caps.MaxAnisotropy = c.maxAnisotropy;
    caps.MaxTextureBlendStages = caps.MaxSimultaneousTextures = 8;
    caps.MaxActiveLights = D3DMaxActiveLights;
    caps.MaxPrimitiveCount = 0xFFFFF;
    caps.MaxVertexIndex = 0xFFFFFF;
    caps.MaxStreams = 1;
    caps.MaxStreamStride = 255;
    caps.VertexShaderVersion = c.vertexShaderVersion;
    caps.PixelShaderVersion = c.pixelShaderVersion;
    caps.NumSimultaneousRTs = 1;
    return caps;
}

namespace {

D3DBackend g_backend = D3DBackend::Recording;
RecordingConfig g_recordingConfig;

class RecordingDeviceImpl;
RecordingDeviceImpl* g_lastRecording = nullptr;

class RecordingDeviceImpl final : public GraphicsDetail::DeviceCore {
public:
    RecordingDeviceImpl(const D3DCAPS9& caps, const D3DPRESENT_PARAMETERS& params, bool strict,
                        const GraphicsDetail::MultisampleLevels& multisample)
        : DeviceCore(caps, params, strict, true, multisample) {
        g_lastRecording = this;
    }
    ~RecordingDeviceImpl() override {
        if (g_lastRecording == this) g_lastRecording = nullptr;
        ReleaseImplicitSurfaces();
    }
};

class Direct3D final : public GraphicsDetail::Counted<IDirect3D9> {
public:
    Direct3D(D3DBackend backend, const D3DCAPS9& caps, std::vector<D3DDISPLAYMODE> modes, bool a1r5g5b5,
             GraphicsDetail::MultisampleLevels multisample)
        : m_backend(backend), m_caps(caps), m_modes(std::move(modes)), m_a1r5g5b5(a1r5g5b5),
          m_multisample(std::move(multisample)) {
        // Modes differing only in refresh rate come one after the other, smallest first.
        std::sort(m_modes.begin(), m_modes.end(), [](const D3DDISPLAYMODE& a, const D3DDISPLAYMODE& b) {
            if (a.Width != b.Width) return a.Width < b.Width;
            if (a.Height != b.Height) return a.Height < b.Height;
            return a.RefreshRate < b.RefreshRate;
        });
    }

    UINT GetAdapterCount() override { return 1; }

    UINT GetAdapterModeCount(UINT adapter, D3DFORMAT format) override {
        if (adapter != 0 || !DisplayFormat(format)) return 0;
        return static_cast<UINT>(m_modes.size());
    }

    HRESULT EnumAdapterModes(UINT adapter, D3DFORMAT format, UINT mode, D3DDISPLAYMODE* out) override {
        if (adapter != 0 || !out || !DisplayFormat(format) || mode >= m_modes.size()) return D3DERR_INVALIDCALL;
        *out = m_modes[mode];
        out->Format = format;
        return D3D_OK;
    }

    HRESULT GetAdapterDisplayMode(UINT adapter, D3DDISPLAYMODE* out) override {
        if (adapter != 0 || !out) return D3DERR_INVALIDCALL;
        *out = m_modes.empty() ? D3DDISPLAYMODE{640, 480, 60, D3DFMT_X8R8G8B8} : m_modes.back();
        out->Format = D3DFMT_X8R8G8B8;
        return D3D_OK;
    }

    HRESULT CheckDeviceType(UINT adapter, D3DDEVTYPE type, D3DFORMAT displayFormat, D3DFORMAT backBufferFormat,
                            BOOL) override {
        if (adapter != 0 || type != D3DDEVTYPE_HAL) return D3DERR_INVALIDCALL;
        if (displayFormat == D3DFMT_A1R5G5B5 || backBufferFormat == D3DFMT_A1R5G5B5)
            return m_a1r5g5b5 ? D3D_OK : D3DERR_NOTAVAILABLE;
        return DisplayFormat(displayFormat) ? D3D_OK : D3DERR_NOTAVAILABLE;
    }

    HRESULT CheckDeviceFormat(UINT adapter, D3DDEVTYPE type, D3DFORMAT, DWORD usage, D3DRESOURCETYPE,
                              D3DFORMAT checkFormat) override {
        if (adapter != 0 || type != D3DDEVTYPE_HAL) return D3DERR_INVALIDCALL;
        if (usage & D3DUSAGE_DEPTHSTENCIL)
            return checkFormat == D3DFMT_D16 || checkFormat == D3DFMT_D24S8 || checkFormat == D3DFMT_D24X8 ||
                           checkFormat == D3DFMT_D32
                       ? D3D_OK
                       : D3DERR_NOTAVAILABLE;
        return D3DFormatRowBytes(checkFormat, 1) ? D3D_OK : D3DERR_NOTAVAILABLE;
    }

    HRESULT CheckDeviceMultiSampleType(UINT adapter, D3DDEVTYPE type, D3DFORMAT format, BOOL,
                                       D3DMULTISAMPLE_TYPE multiSample, DWORD* qualityLevels) override {
        if (adapter != 0 || type != D3DDEVTYPE_HAL) return D3DERR_INVALIDCALL;
        return GraphicsDetail::MultisampleQualityLevels(m_multisample, format, multiSample, qualityLevels);
    }

    HRESULT GetDeviceCaps(UINT adapter, D3DDEVTYPE type, D3DCAPS9* caps) override {
        if (adapter != 0 || type != D3DDEVTYPE_HAL || !caps) return D3DERR_INVALIDCALL;
        *caps = m_caps;
        return D3D_OK;
    }

    HRESULT CreateDevice(UINT adapter, D3DDEVTYPE type, HWND window, DWORD flags, D3DPRESENT_PARAMETERS* params,
                         IDirect3DDevice9** out) override {
        if (!out) return D3DERR_INVALIDCALL;
        *out = nullptr;
        if (adapter != 0 || type != D3DDEVTYPE_HAL || !params) return D3DERR_INVALIDCALL;
        if (!(flags & (D3DCREATE_HARDWARE_VERTEXPROCESSING | D3DCREATE_SOFTWARE_VERTEXPROCESSING |
                       D3DCREATE_MIXED_VERTEXPROCESSING)))
            return D3DERR_INVALIDCALL;
        // Full screen needs a real back-buffer format; a window may leave it to the display.
        if (!params->Windowed && params->BackBufferFormat == D3DFMT_UNKNOWN) return D3DERR_INVALIDCALL;
        D3DPRESENT_PARAMETERS pp = *params;
        if (!pp.hDeviceWindow) pp.hDeviceWindow = window;
        if (m_backend == D3DBackend::Recording) {
            if (FAILED(g_recordingConfig.createDeviceResult)) return g_recordingConfig.createDeviceResult;
            auto* device = new RecordingDeviceImpl(m_caps, pp, g_recordingConfig.strictReset, m_multisample);
            const HRESULT hr = device->Initialise();
            if (FAILED(hr)) {
                device->Release();
                return hr;
            }
            *params = device->PresentParameters();
            *out = device;
            return D3D_OK;
        }
        return GraphicsDetail::CreateOpenGLDevice(window, m_caps, pp, out);
    }

private:
    static bool DisplayFormat(D3DFORMAT f) {
        return f == D3DFMT_A8R8G8B8 || f == D3DFMT_X8R8G8B8 || f == D3DFMT_R5G6B5 || f == D3DFMT_X1R5G5B5 ||
               f == D3DFMT_A1R5G5B5;
    }

    D3DBackend m_backend;
    D3DCAPS9 m_caps;
    std::vector<D3DDISPLAYMODE> m_modes;
    bool m_a1r5g5b5;
    GraphicsDetail::MultisampleLevels m_multisample;
};

} // namespace

void SetRecordingConfig(const RecordingConfig& config) { g_recordingConfig = config; }
RecordingConfig GetRecordingConfig() { return g_recordingConfig; }

IRecordingControl* RecordingControl(IDirect3DDevice9* device) { return dynamic_cast<RecordingDeviceImpl*>(device); }
IRecordingControl* LastRecordingControl() { return g_lastRecording; }
IDirect3DDevice9* LastRecordingDevice() { return g_lastRecording; }

} // namespace Platform

void SetDirect3DBackend(D3DBackend backend) { Platform::g_backend = backend; }
D3DBackend GetDirect3DBackend() { return Platform::g_backend; }

IDirect3D9* Direct3DCreate9(UINT sdkVersion) {
    using namespace Platform;
    if (sdkVersion != D3D_SDK_VERSION) return nullptr;
    if (g_backend == D3DBackend::Recording) {
        // The configured levels hold for every format: the Recording device stores no samples.
        GraphicsDetail::MultisampleLevels multisample;
        multisample.otherFormats = g_recordingConfig.multiSampleQualityLevels;
        return new Direct3D(D3DBackend::Recording, GraphicsDetail::RecordingCaps(g_recordingConfig),
                            g_recordingConfig.displayModes, g_recordingConfig.supportsA1R5G5B5, std::move(multisample));
    }
    D3DCAPS9 caps;
    GraphicsDetail::MultisampleLevels multisample;
    if (!GraphicsDetail::ProbeOpenGL(caps, multisample)) return nullptr;
    std::vector<D3DDISPLAYMODE> modes;
    for (const DisplayMode& m : ListDisplayModes())
        modes.push_back(D3DDISPLAYMODE{static_cast<UINT>(m.width), static_cast<UINT>(m.height),
                                       static_cast<UINT>(m.refreshRate), D3DFMT_X8R8G8B8});
    return new Direct3D(D3DBackend::OpenGL, caps, std::move(modes), true, std::move(multisample));
}
