#pragma once
// What both devices share: resources kept in CPU memory (locked memory is ordinary readable
// memory), the full device state with the defaults of the original platform, argument
// checking, reference counting and the call log. A backend derives from DeviceCore and
// overrides the hooks that touch real hardware.

#include <array>
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "Platform/Graphics/D3D9.h"
#include "Platform/Graphics/RecordingDevice.h"

namespace Platform::GraphicsDetail {

class DeviceCore;
class TextureBase;

// Reference counting shared by every object; the creator holds the first reference.
template <class Interface>
class Counted : public Interface {
public:
    ULONG AddRef() override { return ++m_refs; }
    ULONG Release() override {
        const ULONG left = --m_refs;
        if (left == 0) FinalRelease();
        return left;
    }

protected:
    virtual void FinalRelease() { delete this; }
    ULONG m_refs = 1;
};

// Per-backend data a resource carries (GL object names and dirty flags).
struct BackendData {
    std::uint32_t object = 0;       // buffer or texture name
    std::uint32_t framebuffer = 0;  // framebuffer of a render-target surface
    std::uint32_t renderbuffer = 0; // depth storage, or the colour storage of a multisampled surface
    std::uint32_t samples = 0;      // samples per pixel of a multisampled surface's storage (0: one)
    bool dirty = true;
    UINT dirtyBegin = 0, dirtyEnd = 0; // byte range of buffers to upload
};

class ResourceCommon {
public:
    enum class Kind { VertexBuffer, IndexBuffer, Texture, Program };
    ResourceCommon(DeviceCore* device, Kind kind, D3DPOOL pool, bool holdsDevice);
    virtual ~ResourceCommon();
    DeviceCore* Device() const { return m_device; }
    void Detach() { m_device = nullptr; } // the device died first (only for non-holding ones)
    D3DPOOL Pool() const { return m_pool; }
    std::uint32_t Id() const { return m_id; }
    BackendData backend;
    const Kind kind;

protected:
    DeviceCore* m_device;
    D3DPOOL m_pool;
    bool m_holdsDevice;
    std::uint32_t m_id;
};

class VertexBuffer final : public Counted<IDirect3DVertexBuffer9>, public ResourceCommon {
public:
    VertexBuffer(DeviceCore* device, UINT length, DWORD usage, DWORD fvf, D3DPOOL pool);
    ~VertexBuffer() override;
    HRESULT GetDevice(IDirect3DDevice9** device) override;
    D3DRESOURCETYPE GetType() override { return D3DRTYPE_VERTEXBUFFER; }
    HRESULT Lock(UINT offset, UINT size, void** data, DWORD flags) override;
    HRESULT Unlock() override;
    HRESULT GetDesc(D3DVERTEXBUFFER_DESC* desc) override;

    std::vector<std::uint8_t> data;
    D3DVERTEXBUFFER_DESC desc;
    bool locked = false;
    DWORD lockFlags = 0;
    // lockWritten: the bytes from lockOffset its user says it wrote (lockSize unless told).
    UINT lockOffset = 0, lockSize = 0, lockWritten = 0;
};

class IndexBuffer final : public Counted<IDirect3DIndexBuffer9>, public ResourceCommon {
public:
    IndexBuffer(DeviceCore* device, UINT length, DWORD usage, D3DFORMAT format, D3DPOOL pool);
    ~IndexBuffer() override;
    HRESULT GetDevice(IDirect3DDevice9** device) override;
    D3DRESOURCETYPE GetType() override { return D3DRTYPE_INDEXBUFFER; }
    HRESULT Lock(UINT offset, UINT size, void** data, DWORD flags) override;
    HRESULT Unlock() override;
    HRESULT GetDesc(D3DINDEXBUFFER_DESC* desc) override;

    std::vector<std::uint8_t> data;
    D3DINDEXBUFFER_DESC desc;
    bool locked = false;
    DWORD lockFlags = 0;
    // lockWritten: the bytes from lockOffset its user says it wrote (lockSize unless told).
    UINT lockOffset = 0, lockSize = 0, lockWritten = 0;
};

// A surface: a level (and face) of a texture, or one of the device's own back buffer and
// depth surfaces. Texture surfaces count through their texture; device surfaces through the
// device.
class Surface final : public IDirect3DSurface9 {
public:
    Surface(DeviceCore* device, TextureBase* container, UINT level, UINT face, const D3DSURFACE_DESC& desc);
    ~Surface() override;
    ULONG AddRef() override;
    ULONG Release() override;
    HRESULT GetDevice(IDirect3DDevice9** device) override;
    D3DRESOURCETYPE GetType() override { return D3DRTYPE_SURFACE; }
    HRESULT GetDesc(D3DSURFACE_DESC* desc) override;
    HRESULT LockRect(D3DLOCKED_RECT* locked, const RECT* rect, DWORD flags) override;
    HRESULT UnlockRect() override;

    UINT Pitch() const { return D3DFormatRowBytes(desc.Format, desc.Width); }
    DeviceCore* Device() const { return m_device; }
    void Detach() { m_device = nullptr; }
    std::uint32_t Id() const { return m_id; }
    // References handed out for a device-owned surface (its own count; the device is counted too).
    ULONG ExternalRefs() const { return m_external; }

    TextureBase* container;
    UINT level, face;
    D3DSURFACE_DESC desc;
    std::vector<std::uint8_t> data; // empty for depth surfaces
    bool locked = false;
    BackendData backend;

private:
    DeviceCore* m_device;
    ULONG m_external = 0;
    std::uint32_t m_id;
};

class TextureBase : public ResourceCommon {
public:
    TextureBase(DeviceCore* device, D3DRESOURCETYPE type, UINT width, UINT height, UINT levels, DWORD usage,
                D3DFORMAT format, D3DPOOL pool);
    virtual ~TextureBase();
    virtual IDirect3DBaseTexture9* Interface() = 0;
    Surface* SurfaceAt(UINT face, UINT level) const;
    D3DRESOURCETYPE type;
    UINT width, height, levels, faces;
    DWORD usage;
    D3DFORMAT format;
    DWORD lod = 0;
    std::vector<Surface*> surfaces; // face-major: face * levels + level
};

class Texture final : public Counted<IDirect3DTexture9>, public TextureBase {
public:
    Texture(DeviceCore* device, UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format, D3DPOOL pool);
    IDirect3DBaseTexture9* Interface() override { return this; }
    HRESULT GetDevice(IDirect3DDevice9** device) override;
    D3DRESOURCETYPE GetType() override { return D3DRTYPE_TEXTURE; }
    DWORD SetLOD(DWORD lod) override;
    DWORD GetLOD() override { return lod; }
    DWORD GetLevelCount() override { return levels; }
    HRESULT GetLevelDesc(UINT level, D3DSURFACE_DESC* desc) override;
    HRESULT GetSurfaceLevel(UINT level, IDirect3DSurface9** surface) override;
    HRESULT LockRect(UINT level, D3DLOCKED_RECT* locked, const RECT* rect, DWORD flags) override;
    HRESULT UnlockRect(UINT level) override;
};

class CubeTexture final : public Counted<IDirect3DCubeTexture9>, public TextureBase {
public:
    CubeTexture(DeviceCore* device, UINT edge, UINT levels, DWORD usage, D3DFORMAT format, D3DPOOL pool);
    IDirect3DBaseTexture9* Interface() override { return this; }
    HRESULT GetDevice(IDirect3DDevice9** device) override;
    D3DRESOURCETYPE GetType() override { return D3DRTYPE_CUBETEXTURE; }
    DWORD SetLOD(DWORD lod) override;
    DWORD GetLOD() override { return lod; }
    DWORD GetLevelCount() override { return levels; }
    HRESULT GetLevelDesc(UINT level, D3DSURFACE_DESC* desc) override;
    HRESULT GetCubeMapSurface(D3DCUBEMAP_FACES face, UINT level, IDirect3DSurface9** surface) override;
    HRESULT LockRect(D3DCUBEMAP_FACES face, UINT level, D3DLOCKED_RECT* locked, const RECT* rect, DWORD flags) override;
    HRESULT UnlockRect(D3DCUBEMAP_FACES face, UINT level) override;
};

TextureBase* AsTexture(IDirect3DBaseTexture9* texture);

class Program final : public Counted<IDirect3DProgram9>, public ResourceCommon {
public:
    Program(DeviceCore* device, std::string vs, std::string ps);
    ~Program() override;
    std::string vertexSource, pixelSource;
    std::map<std::string, int> uniformLocations;
};

// Everything a draw needs, resolved by the core before the backend sees it.
struct DrawCall {
    D3DPRIMITIVETYPE type;
    UINT primitiveCount;
    UINT vertexCount; // vertices the primitives use
    // Vertices: a bound buffer (offset in bytes) or user memory.
    VertexBuffer* vertexBuffer = nullptr;
    const void* userVertices = nullptr;
    UINT vertexOffset = 0; // bytes
    UINT stride = 0;
    INT baseVertex = 0;
    UINT startVertex = 0; // non-indexed draws
    // Indices (indexed draws only): a bound buffer or user memory.
    bool indexed = false;
    IndexBuffer* indexBuffer = nullptr;
    const void* userIndices = nullptr;
    UINT startIndex = 0;
    UINT indexCount = 0;
    D3DFORMAT indexFormat = D3DFMT_INDEX16;
    UINT userVertexCount = 0; // vertices readable from userVertices
};

struct DeviceState {
    std::array<DWORD, D3DRS_COUNT> rs{};
    std::array<std::array<DWORD, D3DTSS_COUNT>, D3DMaxTextureStages> tss{};
    std::array<std::array<DWORD, D3DSAMP_COUNT>, D3DMaxSamplers> samp{};
    D3DMATRIX world{}, view{}, projection{};
    std::array<D3DMATRIX, D3DMaxTextureStages> textureTransform{};
    D3DVIEWPORT9 viewport;
    D3DMATERIAL9 material;
    std::map<DWORD, D3DLIGHT9> lights;
    std::set<DWORD> enabledLights;
    std::array<TextureBase*, D3DMaxSamplers> textures{};
    VertexBuffer* stream = nullptr;
    UINT streamOffset = 0, streamStride = 0;
    IndexBuffer* indices = nullptr;
    DWORD fvf = 0;
    Surface* renderTarget = nullptr;
    Surface* depthStencil = nullptr;
    Program* program = nullptr;
};

// The device state a shader program reads, taken at each draw so that a transform set between
// two draws of one effect pass reaches the second. A program that declares the uniform of the
// same name receives it: kx_World, kx_View, kx_Projection, kx_WorldView, kx_ViewProjection,
// kx_WorldViewProjection (mat4: the D3DX matrix's memory, untransposed, as the fixed-function
// programs take theirs), kx_Viewport (vec4: x, y, width, height), kx_Pretransformed (float: 1
// for XYZRHW vertices) and kx_HalfPixel (vec2: the clip-space shift that puts pixel centres on
// integers, as the fixed-function programs apply it).
struct ProgramDeviceValues {
    D3DMATRIX world{}, view{}, projection{}, worldView{}, viewProjection{}, worldViewProjection{};
    float viewport[4] = {};
    float pretransformed = 0.0f;
    float halfPixel[2] = {};
};
ProgramDeviceValues ProgramValuesFor(const DeviceState& state);
// Row-vector product a * b of two D3DX matrices.
D3DMATRIX MultiplyMatrices(const D3DMATRIX& a, const D3DMATRIX& b);
// The clip-space shift, times w, that moves the rasteriser's pixel centres onto integers.
void HalfPixelShift(const D3DVIEWPORT9& viewport, float out[2]);

D3DMATRIX IdentityMatrix();
float DwordToFloat(DWORD value);
DWORD FloatToDword(float value);

struct AdapterConfig; // defined by the Direct3D object

// The quality levels of NONMASKABLE multisampling an adapter offers, per surface format; a
// format not listed has otherFormats. No other counted type (2 to 16 samples) is offered, as on
// an adapter that exposes its multisampling only through NONMASKABLE.
struct MultisampleLevels {
    std::map<D3DFORMAT, DWORD> byFormat;
    DWORD otherFormats = 0;
    DWORD For(D3DFORMAT format) const;
};
// The adapter's CheckDeviceMultiSampleType answer for one format and type: NONE always with one
// level, NONMASKABLE with the levels for the format (D3DERR_NOTAVAILABLE without any), the
// counted types D3DERR_NOTAVAILABLE, anything else D3DERR_INVALIDCALL.
HRESULT MultisampleQualityLevels(const MultisampleLevels& levels, D3DFORMAT format, D3DMULTISAMPLE_TYPE type,
                                 DWORD* qualityLevels);
// Whether present parameters may ask for their multisampling: a type the adapter offers for the
// back-buffer format, a quality below its level count, a discarding swap effect and no lockable
// back buffer. D3D_OK or D3DERR_INVALIDCALL.
HRESULT CheckPresentMultisample(const MultisampleLevels& levels, const D3DPRESENT_PARAMETERS& params);

// The capabilities the Recording adapter reports for a configuration (devices derived from
// DeviceCore in tests report the same).
D3DCAPS9 RecordingCaps(const RecordingConfig& config);

class DeviceCore : public Counted<IDirect3DDevice9>, public IRecordingControl {
public:
    DeviceCore(const D3DCAPS9& caps, const D3DPRESENT_PARAMETERS& params, bool strictReset, bool logCalls,
               MultisampleLevels multisample = {});
    ~DeviceCore() override;
    // Must be called once by the backend after its own construction succeeded.
    HRESULT Initialise();

    // IDirect3DDevice9
    HRESULT TestCooperativeLevel() override;
    HRESULT Reset(D3DPRESENT_PARAMETERS* params) override;
    HRESULT Present(const RECT* source, const RECT* dest, HWND window, const void* dirty) override;
    HRESULT GetDeviceCaps(D3DCAPS9* caps) override;
    HRESULT GetBackBuffer(UINT swapChain, UINT index, D3DBACKBUFFER_TYPE type, IDirect3DSurface9** surface) override;
    HRESULT CreateTexture(UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                          IDirect3DTexture9** texture, HANDLE* shared) override;
    HRESULT CreateCubeTexture(UINT edge, UINT levels, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                              IDirect3DCubeTexture9** texture, HANDLE* shared) override;
    HRESULT CreateVertexBuffer(UINT length, DWORD usage, DWORD fvf, D3DPOOL pool, IDirect3DVertexBuffer9** buffer,
                               HANDLE* shared) override;
    HRESULT CreateIndexBuffer(UINT length, DWORD usage, D3DFORMAT format, D3DPOOL pool, IDirect3DIndexBuffer9** buffer,
                              HANDLE* shared) override;
    HRESULT StretchRect(IDirect3DSurface9* source, const RECT* sourceRect, IDirect3DSurface9* dest,
                        const RECT* destRect, D3DTEXTUREFILTERTYPE filter) override;
    HRESULT SetRenderTarget(DWORD index, IDirect3DSurface9* surface) override;
    HRESULT GetRenderTarget(DWORD index, IDirect3DSurface9** surface) override;
    HRESULT SetDepthStencilSurface(IDirect3DSurface9* surface) override;
    HRESULT GetDepthStencilSurface(IDirect3DSurface9** surface) override;
    HRESULT BeginScene() override;
    HRESULT EndScene() override;
    HRESULT Clear(DWORD count, const D3DRECT* rects, DWORD flags, D3DCOLOR colour, float z, DWORD stencil) override;
    HRESULT SetTransform(D3DTRANSFORMSTATETYPE state, const D3DMATRIX* matrix) override;
    HRESULT GetTransform(D3DTRANSFORMSTATETYPE state, D3DMATRIX* matrix) override;
    HRESULT SetViewport(const D3DVIEWPORT9* viewport) override;
    HRESULT GetViewport(D3DVIEWPORT9* viewport) override;
    HRESULT SetMaterial(const D3DMATERIAL9* material) override;
    HRESULT GetMaterial(D3DMATERIAL9* material) override;
    HRESULT SetLight(DWORD index, const D3DLIGHT9* light) override;
    HRESULT GetLight(DWORD index, D3DLIGHT9* light) override;
    HRESULT LightEnable(DWORD index, BOOL enable) override;
    HRESULT GetLightEnable(DWORD index, BOOL* enable) override;
    HRESULT SetRenderState(D3DRENDERSTATETYPE state, DWORD value) override;
    HRESULT GetRenderState(D3DRENDERSTATETYPE state, DWORD* value) override;
    HRESULT SetTexture(DWORD stage, IDirect3DBaseTexture9* texture) override;
    HRESULT GetTexture(DWORD stage, IDirect3DBaseTexture9** texture) override;
    HRESULT SetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD value) override;
    HRESULT GetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD* value) override;
    HRESULT SetSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE type, DWORD value) override;
    HRESULT GetSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE type, DWORD* value) override;
    HRESULT SetFVF(DWORD fvf) override;
    HRESULT GetFVF(DWORD* fvf) override;
    HRESULT SetStreamSource(UINT stream, IDirect3DVertexBuffer9* buffer, UINT offset, UINT stride) override;
    HRESULT GetStreamSource(UINT stream, IDirect3DVertexBuffer9** buffer, UINT* offset, UINT* stride) override;
    HRESULT SetIndices(IDirect3DIndexBuffer9* buffer) override;
    HRESULT GetIndices(IDirect3DIndexBuffer9** buffer) override;
    HRESULT DrawPrimitive(D3DPRIMITIVETYPE type, UINT startVertex, UINT primitiveCount) override;
    HRESULT DrawIndexedPrimitive(D3DPRIMITIVETYPE type, INT baseVertex, UINT minIndex, UINT numVertices,
                                 UINT startIndex, UINT primitiveCount) override;
    HRESULT DrawPrimitiveUP(D3DPRIMITIVETYPE type, UINT primitiveCount, const void* vertices, UINT stride) override;
    HRESULT DrawIndexedPrimitiveUP(D3DPRIMITIVETYPE type, UINT minIndex, UINT numVertices, UINT primitiveCount,
                                   const void* indices, D3DFORMAT indexFormat, const void* vertices,
                                   UINT stride) override;
    HRESULT CreateProgram(const char* vertexSource, const char* pixelSource, IDirect3DProgram9** program,
                          std::string* errors) override;
    HRESULT SetProgram(IDirect3DProgram9* program) override;
    HRESULT SetProgramFloats(const char* name, const float* values, UINT count) override;
    HRESULT SetProgramInts(const char* name, const INT* values, UINT count) override;
    HRESULT ReadRenderTarget(IDirect3DSurface9* surface, D3DCOLOR* pixels, UINT pixelCount) override;

    // IRecordingControl
    const std::vector<RecordedCall>& Calls() const override { return m_calls; }
    void ClearCalls() override { m_calls.clear(); }
    std::size_t CountCalls(const std::string& name) const override;
    std::vector<std::string> CallNames() const override;
    void LoseDevice(bool canReset) override;
    void SetCanReset(bool canReset) override;
    void FailNextResets(int count, HRESULT result) override;
    bool IsLost() const override { return m_lost; }
    int LiveDefaultPoolResources() const override;
    std::vector<std::string> ResetBlockers() const override;
    std::uint32_t ObjectId(const IUnknown* object) const override;
    int PresentCount() const override { return m_presents; }
    bool InScene() const override { return m_inScene; }
    const D3DPRESENT_PARAMETERS& PresentParameters() const override { return m_params; }

    // Resource bookkeeping (called by resources).
    void Register(ResourceCommon* resource);
    void Unregister(ResourceCommon* resource);
    void RegisterSurface(Surface* surface);
    void UnregisterSurface(Surface* surface);
    std::uint32_t NextId() { return ++m_nextId; }
    const DeviceState& State() const { return m_state; }
    // Called by a surface or buffer when unlocked so the backend can upload.
    virtual void OnBufferUnlocked(ResourceCommon*, UINT /*offset*/, UINT /*size*/, DWORD /*flags*/) {}
    virtual void OnSurfaceUnlocked(Surface*) {}
    virtual void OnTextureLodChanged(TextureBase*) {}
    void Log(const char* name, std::initializer_list<std::int64_t> args);
    std::int64_t IdOf(const IUnknown* object) const;

protected:
    // Backend hooks.
    virtual HRESULT BackendCreateDefaultSurfaces() { return D3D_OK; }
    virtual void BackendDestroyDefaultSurfaces() {}
    virtual HRESULT BackendCreateTexture(TextureBase*) { return D3D_OK; }
    virtual HRESULT BackendCreateBuffer(ResourceCommon*, bool /*isIndex*/) { return D3D_OK; }
    virtual void BackendDestroy(ResourceCommon*) {}
    virtual void BackendDestroySurface(Surface*) {}
    virtual void BackendClear(DWORD count, const D3DRECT* rects, DWORD flags, D3DCOLOR colour, float z, DWORD stencil);
    virtual HRESULT BackendDraw(const DrawCall&) { return D3D_OK; }
    // Before each draw with a program bound: the device state it may read. The Recording
    // device has no uniforms to feed and ignores it.
    virtual void BackendSetProgramDeviceValues(Program*, const ProgramDeviceValues&) {}
    virtual HRESULT BackendPresent() { return D3D_OK; }
    virtual HRESULT BackendStretchRect(Surface* source, const RECT& sourceRect, Surface* dest, const RECT& destRect,
                                       D3DTEXTUREFILTERTYPE filter);
    virtual HRESULT BackendReset() { return D3D_OK; }
    virtual HRESULT BackendCreateProgram(Program*, std::string* /*errors*/) { return D3D_OK; }
    virtual HRESULT BackendSetProgramFloats(Program*, const char*, const float*, UINT) { return D3D_OK; }
    virtual HRESULT BackendSetProgramInts(Program*, const char*, const INT*, UINT) { return D3D_OK; }
    virtual HRESULT BackendReadRenderTarget(Surface* surface, D3DCOLOR* pixels);

    void ResetState();
    HRESULT CheckDraw(DrawCall& call);
    // Backends call this first in their destructor, while their hooks still run.
    void ReleaseImplicitSurfaces();

    D3DCAPS9 m_caps;
    MultisampleLevels m_multisample;
    D3DPRESENT_PARAMETERS m_params;
    DeviceState m_state;
    Surface* m_backBuffer = nullptr;
    Surface* m_depthSurface = nullptr;

private:
    HRESULT CreateImplicitSurfaces();
    void DestroyImplicitSurfaces();
    HRESULT Draw(DrawCall& call);

    bool m_strictReset;
    bool m_logCalls;
    bool m_inScene = false;
    bool m_lost = false;
    bool m_canReset = true;
    int m_failResets = 0;
    HRESULT m_failResult = D3DERR_INVALIDCALL;
    int m_presents = 0;
    std::uint32_t m_nextId = 0;
    std::set<ResourceCommon*> m_resources;
    std::set<Surface*> m_surfaces;
    std::vector<RecordedCall> m_calls;
};

} // namespace Platform::GraphicsDetail
