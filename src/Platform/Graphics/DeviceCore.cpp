#include "Platform/Graphics/DeviceCore.h"

#include <algorithm>
#include <cstring>
#include <sstream>
#include <utility>

namespace Platform {

std::string RecordedCall::ToString() const {
    std::ostringstream out;
    out << name << '(';
    for (std::size_t i = 0; i < args.size(); ++i) out << (i ? ", " : "") << args[i];
    out << ')';
    return out.str();
}

} // namespace Platform

UINT D3DFormatRowBytes(D3DFORMAT format, UINT width) {
    switch (format) {
    case D3DFMT_A8R8G8B8:
    case D3DFMT_X8R8G8B8:
    case D3DFMT_A8B8G8R8:
    case D3DFMT_X8B8G8R8:
    case D3DFMT_R32F:
    case D3DFMT_D32:
    case D3DFMT_D24S8:
    case D3DFMT_D24X8: return width * 4;
    case D3DFMT_R8G8B8: return width * 3;
    case D3DFMT_R5G6B5:
    case D3DFMT_X1R5G5B5:
    case D3DFMT_A1R5G5B5:
    case D3DFMT_A4R4G4B4:
    case D3DFMT_X4R4G4B4:
    case D3DFMT_A8L8:
    case D3DFMT_D16:
    case D3DFMT_R16F: return width * 2;
    case D3DFMT_A8:
    case D3DFMT_L8: return width;
    case D3DFMT_A16B16G16R16F: return width * 8;
    case D3DFMT_A32B32G32R32F: return width * 16;
    case D3DFMT_DXT1: return std::max(1u, (width + 3) / 4) * 8;
    case D3DFMT_DXT2:
    case D3DFMT_DXT3:
    case D3DFMT_DXT4:
    case D3DFMT_DXT5: return std::max(1u, (width + 3) / 4) * 16;
    default: return 0;
    }
}

UINT D3DFormatRowCount(D3DFORMAT format, UINT height) {
    switch (format) {
    case D3DFMT_DXT1:
    case D3DFMT_DXT2:
    case D3DFMT_DXT3:
    case D3DFMT_DXT4:
    case D3DFMT_DXT5: return std::max(1u, (height + 3) / 4);
    default: return D3DFormatRowBytes(format, 1) ? height : 0;
    }
}

UINT D3DFVFVertexSize(DWORD fvf) {
    UINT size = 0;
    switch (fvf & D3DFVF_POSITION_MASK) {
    case D3DFVF_XYZ: size = 12; break;
    case D3DFVF_XYZRHW: size = 16; break;
    case D3DFVF_XYZW: size = 16; break;
    case 0x6: size = 16; break; // XYZB1
    case 0x8: size = 20; break; // XYZB2
    case 0xA: size = 24; break; // XYZB3
    case 0xC: size = 28; break; // XYZB4
    case 0xE: size = 32; break; // XYZB5
    default: return 0;
    }
    if (fvf & D3DFVF_NORMAL) size += 12;
    if (fvf & D3DFVF_PSIZE) size += 4;
    if (fvf & D3DFVF_DIFFUSE) size += 4;
    if (fvf & D3DFVF_SPECULAR) size += 4;
    const UINT count = (fvf & D3DFVF_TEXCOUNT_MASK) >> D3DFVF_TEXCOUNT_SHIFT;
    if (count > 8) return 0;
    for (UINT i = 0; i < count; ++i) {
        switch ((fvf >> (16 + 2 * i)) & 3) {
        case D3DFVF_TEXTUREFORMAT1: size += 4; break;
        case D3DFVF_TEXTUREFORMAT2: size += 8; break;
        case D3DFVF_TEXTUREFORMAT3: size += 12; break;
        default: size += 16; break;
        }
    }
    return size;
}

namespace Platform::GraphicsDetail {

D3DMATRIX IdentityMatrix() {
    D3DMATRIX m{};
    m._11 = m._22 = m._33 = m._44 = 1.0f;
    return m;
}

float DwordToFloat(DWORD value) {
    float f;
    std::memcpy(&f, &value, 4);
    return f;
}

DWORD FloatToDword(float value) {
    DWORD d;
    std::memcpy(&d, &value, 4);
    return d;
}

namespace {
bool IsDepthFormat(D3DFORMAT f) { return f == D3DFMT_D16 || f == D3DFMT_D24S8 || f == D3DFMT_D24X8 || f == D3DFMT_D32; }
UINT FullChain(UINT w, UINT h) {
    UINT levels = 1;
    while (w > 1 || h > 1) {
        w = std::max(1u, w / 2);
        h = std::max(1u, h / 2);
        ++levels;
    }
    return levels;
}
} // namespace

// --------------------------------------------------------------------------------------------
// Resources

// Every resource's GetDevice: a new reference to the device it belongs to, none once detached.
static HRESULT HandOutDevice(DeviceCore* owner, IDirect3DDevice9** device) {
    if (!device || !owner) return D3DERR_INVALIDCALL;
    owner->AddRef();
    *device = owner;
    return D3D_OK;
}

ResourceCommon::ResourceCommon(DeviceCore* device, Kind kind_, D3DPOOL pool, bool holdsDevice)
    : kind(kind_), m_device(device), m_pool(pool), m_holdsDevice(holdsDevice), m_id(device->NextId()) {
    device->Register(this);
    if (m_holdsDevice) device->AddRef();
}

ResourceCommon::~ResourceCommon() {
    if (m_device) {
        DeviceCore* device = m_device;
        device->Unregister(this);
        if (m_holdsDevice) device->Release();
    }
}

VertexBuffer::VertexBuffer(DeviceCore* device, UINT length, DWORD usage, DWORD fvf, D3DPOOL pool)
    : ResourceCommon(device, Kind::VertexBuffer, pool, true), data(length) {
    desc.Usage = usage;
    desc.Pool = pool;
    desc.Size = length;
    desc.FVF = fvf;
}

VertexBuffer::~VertexBuffer() = default;

HRESULT VertexBuffer::GetDevice(IDirect3DDevice9** device) { return HandOutDevice(m_device, device); }

template <class Buffer>
static HRESULT LockBuffer(Buffer& b, UINT offset, UINT size, void** out, DWORD flags, const char* name) {
    if (!out) return D3DERR_INVALIDCALL;
    *out = nullptr;
    const UINT total = static_cast<UINT>(b.data.size());
    if (b.locked || offset > total) return D3DERR_INVALIDCALL;
    if (size == 0) size = total - offset;
    if (size > total - offset) return D3DERR_INVALIDCALL;
    b.locked = true;
    b.lockFlags = flags;
    b.lockOffset = offset;
    b.lockSize = size;
    b.lockWritten = size;
    *out = b.data.data() + offset;
    if (b.Device()) b.Device()->Log(name, {b.Id(), offset, size, flags});
    return D3D_OK;
}

template <class Buffer>
static HRESULT UnlockBuffer(Buffer& b, const char* name) {
    if (!b.locked) return D3DERR_INVALIDCALL;
    b.locked = false;
    if (b.Device()) {
        b.Device()->Log(name, {b.Id()});
        b.Device()->OnBufferUnlocked(&b, b.lockOffset, b.lockWritten, b.lockFlags);
    }
    return D3D_OK;
}

template <class Buffer>
HRESULT SetLockWritten(Buffer* b, UINT bytes) {
    if (!b || !b->locked || bytes > b->lockSize) return D3DERR_INVALIDCALL;
    b->lockWritten = bytes;
    return D3D_OK;
}

HRESULT VertexBuffer::Lock(UINT offset, UINT size, void** out, DWORD flags) {
    return LockBuffer(*this, offset, size, out, flags, "VertexBuffer::Lock");
}
HRESULT VertexBuffer::Unlock() { return UnlockBuffer(*this, "VertexBuffer::Unlock"); }
HRESULT VertexBuffer::GetDesc(D3DVERTEXBUFFER_DESC* out) {
    if (!out) return D3DERR_INVALIDCALL;
    *out = desc;
    return D3D_OK;
}

IndexBuffer::IndexBuffer(DeviceCore* device, UINT length, DWORD usage, D3DFORMAT format, D3DPOOL pool)
    : ResourceCommon(device, Kind::IndexBuffer, pool, true), data(length) {
    desc.Format = format;
    desc.Usage = usage;
    desc.Pool = pool;
    desc.Size = length;
}

IndexBuffer::~IndexBuffer() = default;

HRESULT IndexBuffer::GetDevice(IDirect3DDevice9** device) { return HandOutDevice(m_device, device); }
HRESULT IndexBuffer::Lock(UINT offset, UINT size, void** out, DWORD flags) {
    return LockBuffer(*this, offset, size, out, flags, "IndexBuffer::Lock");
}
HRESULT IndexBuffer::Unlock() { return UnlockBuffer(*this, "IndexBuffer::Unlock"); }
HRESULT IndexBuffer::GetDesc(D3DINDEXBUFFER_DESC* out) {
    if (!out) return D3DERR_INVALIDCALL;
    *out = desc;
    return D3D_OK;
}

Surface::Surface(DeviceCore* device, TextureBase* owner, UINT level_, UINT face_, const D3DSURFACE_DESC& d)
    : container(owner), level(level_), face(face_), desc(d), m_device(device), m_id(device->NextId()) {
    if (!IsDepthFormat(desc.Format))
        data.assign(static_cast<std::size_t>(D3DFormatRowBytes(desc.Format, desc.Width)) *
                        D3DFormatRowCount(desc.Format, desc.Height),
                    0);
    device->RegisterSurface(this);
}

Surface::~Surface() {
    if (m_device) m_device->UnregisterSurface(this);
}

ULONG Surface::AddRef() {
    if (container) return container->Interface()->AddRef();
    ++m_external;
    return m_device ? m_device->AddRef() : m_external;
}

ULONG Surface::Release() {
    if (container) return container->Interface()->Release();
    if (m_external) --m_external;
    if (m_device) return m_device->Release();
    // A device surface replaced by a reset while still held: the last holder deletes it.
    const ULONG left = m_external;
    if (left == 0) delete this;
    return left;
}

HRESULT Surface::GetDevice(IDirect3DDevice9** device) { return HandOutDevice(m_device, device); }

HRESULT Surface::GetDesc(D3DSURFACE_DESC* out) {
    if (!out) return D3DERR_INVALIDCALL;
    *out = desc;
    return D3D_OK;
}

HRESULT Surface::LockRect(D3DLOCKED_RECT* out, const RECT* rect, DWORD flags) {
    if (!out || locked || data.empty()) return D3DERR_INVALIDCALL;
    // A multisampled surface holds samples, not pixels: it is read only through a resolve.
    if (desc.MultiSampleType != D3DMULTISAMPLE_NONE) return D3DERR_INVALIDCALL;
    // Render targets in the default pool are not lockable, as on the original platform.
    if ((desc.Usage & D3DUSAGE_RENDERTARGET) && desc.Pool == D3DPOOL_DEFAULT) return D3DERR_INVALIDCALL;
    std::size_t offset = 0;
    if (rect) {
        if (rect->left < 0 || rect->top < 0 || rect->right > static_cast<LONG>(desc.Width) ||
            rect->bottom > static_cast<LONG>(desc.Height) || rect->left >= rect->right || rect->top >= rect->bottom)
            return D3DERR_INVALIDCALL;
        const bool blocks = D3DFormatRowCount(desc.Format, desc.Height) != desc.Height || desc.Format == D3DFMT_DXT1 ||
                            desc.Format == D3DFMT_DXT3 || desc.Format == D3DFMT_DXT5;
        if (blocks) {
            offset = static_cast<std::size_t>(rect->top / 4) * Pitch() +
                     static_cast<std::size_t>(rect->left / 4) * (desc.Format == D3DFMT_DXT1 ? 8 : 16);
        } else {
            offset = static_cast<std::size_t>(rect->top) * Pitch() +
                     static_cast<std::size_t>(rect->left) * D3DFormatRowBytes(desc.Format, 1);
        }
    }
    locked = true;
    out->Pitch = static_cast<INT>(Pitch());
    out->pBits = data.data() + offset;
    if (m_device) m_device->Log("Surface::LockRect", {m_id, flags});
    return D3D_OK;
}

HRESULT Surface::UnlockRect() {
    if (!locked) return D3DERR_INVALIDCALL;
    locked = false;
    if (m_device) {
        m_device->Log("Surface::UnlockRect", {m_id});
        m_device->OnSurfaceUnlocked(this);
    }
    return D3D_OK;
}

TextureBase::TextureBase(DeviceCore* device, D3DRESOURCETYPE type_, UINT w, UINT h, UINT levels_, DWORD usage_,
                         D3DFORMAT format_, D3DPOOL pool)
    : ResourceCommon(device, Kind::Texture, pool, true), type(type_), width(w), height(h), levels(levels_),
      faces(type_ == D3DRTYPE_CUBETEXTURE ? 6 : 1), usage(usage_), format(format_) {
    for (UINT f = 0; f < faces; ++f) {
        UINT lw = w, lh = h;
        for (UINT l = 0; l < levels; ++l) {
            D3DSURFACE_DESC d;
            d.Format = format;
            d.Type = D3DRTYPE_SURFACE;
            d.Usage = usage;
            d.Pool = pool;
            d.Width = lw;
            d.Height = lh;
            surfaces.push_back(new Surface(device, this, l, f, d));
            lw = std::max(1u, lw / 2);
            lh = std::max(1u, lh / 2);
        }
    }
}

TextureBase::~TextureBase() {
    for (Surface* s : surfaces) delete s;
}

Surface* TextureBase::SurfaceAt(UINT face, UINT level) const {
    if (face >= faces || level >= levels) return nullptr;
    return surfaces[face * levels + level];
}

TextureBase* AsTexture(IDirect3DBaseTexture9* texture) { return dynamic_cast<TextureBase*>(texture); }

Texture::Texture(DeviceCore* device, UINT w, UINT h, UINT levels_, DWORD usage_, D3DFORMAT format_, D3DPOOL pool)
    : TextureBase(device, D3DRTYPE_TEXTURE, w, h, levels_, usage_, format_, pool) {}

HRESULT Texture::GetDevice(IDirect3DDevice9** device) { return HandOutDevice(m_device, device); }

static DWORD ChangeLod(TextureBase& t, DWORD newLod) {
    const DWORD old = t.lod;
    if (t.Pool() != D3DPOOL_MANAGED) return 0; // only managed textures have a level of detail
    t.lod = std::min<DWORD>(newLod, t.levels - 1);
    if (t.Device()) {
        t.Device()->Log("SetLOD", {t.Id(), newLod});
        t.Device()->OnTextureLodChanged(&t);
    }
    return old;
}

DWORD Texture::SetLOD(DWORD newLod) { return ChangeLod(*this, newLod); }

HRESULT Texture::GetLevelDesc(UINT level, D3DSURFACE_DESC* out) {
    Surface* s = SurfaceAt(0, level);
    if (!s || !out) return D3DERR_INVALIDCALL;
    *out = s->desc;
    return D3D_OK;
}

HRESULT Texture::GetSurfaceLevel(UINT level, IDirect3DSurface9** out) {
    Surface* s = SurfaceAt(0, level);
    if (!s || !out) return D3DERR_INVALIDCALL;
    s->AddRef();
    *out = s;
    return D3D_OK;
}

HRESULT Texture::LockRect(UINT level, D3DLOCKED_RECT* out, const RECT* rect, DWORD flags) {
    Surface* s = SurfaceAt(0, level);
    return s ? s->LockRect(out, rect, flags) : D3DERR_INVALIDCALL;
}

HRESULT Texture::UnlockRect(UINT level) {
    Surface* s = SurfaceAt(0, level);
    return s ? s->UnlockRect() : D3DERR_INVALIDCALL;
}

CubeTexture::CubeTexture(DeviceCore* device, UINT edge, UINT levels_, DWORD usage_, D3DFORMAT format_, D3DPOOL pool)
    : TextureBase(device, D3DRTYPE_CUBETEXTURE, edge, edge, levels_, usage_, format_, pool) {}

HRESULT CubeTexture::GetDevice(IDirect3DDevice9** device) { return HandOutDevice(m_device, device); }

DWORD CubeTexture::SetLOD(DWORD newLod) { return ChangeLod(*this, newLod); }

HRESULT CubeTexture::GetLevelDesc(UINT level, D3DSURFACE_DESC* out) {
    Surface* s = SurfaceAt(0, level);
    if (!s || !out) return D3DERR_INVALIDCALL;
    *out = s->desc;
    return D3D_OK;
}

HRESULT CubeTexture::GetCubeMapSurface(D3DCUBEMAP_FACES face, UINT level, IDirect3DSurface9** out) {
    Surface* s = SurfaceAt(face, level);
    if (!s || !out) return D3DERR_INVALIDCALL;
    s->AddRef();
    *out = s;
    return D3D_OK;
}

HRESULT CubeTexture::LockRect(D3DCUBEMAP_FACES face, UINT level, D3DLOCKED_RECT* out, const RECT* rect, DWORD flags) {
    Surface* s = SurfaceAt(face, level);
    return s ? s->LockRect(out, rect, flags) : D3DERR_INVALIDCALL;
}

HRESULT CubeTexture::UnlockRect(D3DCUBEMAP_FACES face, UINT level) {
    Surface* s = SurfaceAt(face, level);
    return s ? s->UnlockRect() : D3DERR_INVALIDCALL;
}

Program::Program(DeviceCore* device, std::string vs, std::string ps)
    : ResourceCommon(device, Kind::Program, D3DPOOL_MANAGED, true), vertexSource(std::move(vs)),
      pixelSource(std::move(ps)) {}

Program::~Program() = default;

// --------------------------------------------------------------------------------------------
// Device

DWORD MultisampleLevels::For(D3DFORMAT format) const {
    const auto it = byFormat.find(format);
    return it == byFormat.end() ? otherFormats : it->second;
}

HRESULT MultisampleQualityLevels(const MultisampleLevels& levels, D3DFORMAT format, D3DMULTISAMPLE_TYPE type,
                                 DWORD* qualityLevels) {
    if (qualityLevels) *qualityLevels = 0;
    if (type == D3DMULTISAMPLE_NONE) {
        if (qualityLevels) *qualityLevels = 1;
        return D3D_OK;
    }
    if (type == D3DMULTISAMPLE_NONMASKABLE) {
        const DWORD n = levels.For(format);
        if (n == 0) return D3DERR_NOTAVAILABLE;
        if (qualityLevels) *qualityLevels = n;
        return D3D_OK;
    }
    // 2 to 16 samples name real types that this adapter does not offer; beyond is no type at all.
    return type <= 16 ? D3DERR_NOTAVAILABLE : D3DERR_INVALIDCALL;
}

HRESULT CheckPresentMultisample(const MultisampleLevels& levels, const D3DPRESENT_PARAMETERS& params) {
    DWORD available = 0;
    if (FAILED(MultisampleQualityLevels(levels, params.BackBufferFormat, params.MultiSampleType, &available)))
        return D3DERR_INVALIDCALL;
    if (params.MultiSampleQuality >= available) return D3DERR_INVALIDCALL;
    if (params.MultiSampleType != D3DMULTISAMPLE_NONE &&
        (params.SwapEffect != D3DSWAPEFFECT_DISCARD || (params.Flags & D3DPRESENTFLAG_LOCKABLE_BACKBUFFER)))
        return D3DERR_INVALIDCALL;
    return D3D_OK;
}

DeviceCore::DeviceCore(const D3DCAPS9& caps, const D3DPRESENT_PARAMETERS& params, bool strictReset, bool logCalls,
                       MultisampleLevels multisample)
    : m_caps(caps), m_multisample(std::move(multisample)), m_params(params), m_strictReset(strictReset),
      m_logCalls(logCalls) {}

DeviceCore::~DeviceCore() {
    // Resources still alive hold the device, so only device-owned surfaces and objects that
    // do not hold it can remain; detach them so their later destruction is harmless.
    ReleaseImplicitSurfaces();
    for (ResourceCommon* r : m_resources) r->Detach();
    for (Surface* s : m_surfaces) s->Detach();
}

HRESULT DeviceCore::Initialise() {
    if (m_params.BackBufferWidth == 0) m_params.BackBufferWidth = 640;
    if (m_params.BackBufferHeight == 0) m_params.BackBufferHeight = 480;
    if (m_params.BackBufferFormat == D3DFMT_UNKNOWN) m_params.BackBufferFormat = D3DFMT_X8R8G8B8;
    if (FAILED(CheckPresentMultisample(m_multisample, m_params))) return D3DERR_INVALIDCALL;
    const HRESULT hr = CreateImplicitSurfaces();
    if (FAILED(hr)) return hr;
    ResetState();
    return D3D_OK;
}

HRESULT DeviceCore::CreateImplicitSurfaces() {
    D3DSURFACE_DESC d;
    d.Format = m_params.BackBufferFormat;
    d.Usage = D3DUSAGE_RENDERTARGET;
    d.Pool = D3DPOOL_DEFAULT;
    d.MultiSampleType = m_params.MultiSampleType;
    d.MultiSampleQuality = m_params.MultiSampleQuality;
    d.Width = m_params.BackBufferWidth;
    d.Height = m_params.BackBufferHeight;
    m_backBuffer = new Surface(this, nullptr, 0, 0, d);
    if (m_params.EnableAutoDepthStencil) {
        d.Format = m_params.AutoDepthStencilFormat == D3DFMT_UNKNOWN ? D3DFMT_D16 : m_params.AutoDepthStencilFormat;
        d.Usage = D3DUSAGE_DEPTHSTENCIL;
        m_depthSurface = new Surface(this, nullptr, 0, 0, d);
    }
    return BackendCreateDefaultSurfaces();
}

void DeviceCore::ReleaseImplicitSurfaces() { DestroyImplicitSurfaces(); }

void DeviceCore::DestroyImplicitSurfaces() {
    BackendDestroyDefaultSurfaces();
    if (m_backBuffer) BackendDestroySurface(m_backBuffer);
    if (m_depthSurface) BackendDestroySurface(m_depthSurface);
    delete m_backBuffer;
    delete m_depthSurface;
    m_backBuffer = m_depthSurface = nullptr;
}

void DeviceCore::ResetState() {
    DeviceState s;
    auto& rs = s.rs;
    rs[D3DRS_ZENABLE] = m_params.EnableAutoDepthStencil ? D3DZB_TRUE : D3DZB_FALSE;
    rs[D3DRS_FILLMODE] = D3DFILL_SOLID;
    rs[D3DRS_SHADEMODE] = D3DSHADE_GOURAUD;
    rs[D3DRS_ZWRITEENABLE] = TRUE;
    rs[D3DRS_LASTPIXEL] = TRUE;
    rs[D3DRS_SRCBLEND] = D3DBLEND_ONE;
    rs[D3DRS_DESTBLEND] = D3DBLEND_ZERO;
    rs[D3DRS_CULLMODE] = D3DCULL_CCW;
    rs[D3DRS_ZFUNC] = D3DCMP_LESSEQUAL;
    rs[D3DRS_ALPHAFUNC] = D3DCMP_ALWAYS;
    rs[D3DRS_FOGEND] = FloatToDword(1.0f);
    rs[D3DRS_FOGDENSITY] = FloatToDword(1.0f);
    rs[D3DRS_STENCILFAIL] = rs[D3DRS_STENCILZFAIL] = rs[D3DRS_STENCILPASS] = 1;
    rs[D3DRS_STENCILFUNC] = D3DCMP_ALWAYS;
    rs[D3DRS_STENCILMASK] = rs[D3DRS_STENCILWRITEMASK] = 0xFFFFFFFFu;
    rs[D3DRS_TEXTUREFACTOR] = 0xFFFFFFFFu;
    rs[D3DRS_CLIPPING] = TRUE;
    rs[D3DRS_LIGHTING] = TRUE;
    rs[D3DRS_COLORVERTEX] = TRUE;
    rs[D3DRS_LOCALVIEWER] = TRUE;
    rs[D3DRS_DIFFUSEMATERIALSOURCE] = D3DMCS_COLOR1;
    rs[D3DRS_SPECULARMATERIALSOURCE] = D3DMCS_COLOR2;
    rs[D3DRS_POINTSIZE] = FloatToDword(1.0f);
    rs[D3DRS_POINTSIZE_MIN] = FloatToDword(1.0f);
    rs[D3DRS_MULTISAMPLEANTIALIAS] = TRUE;
    rs[D3DRS_MULTISAMPLEMASK] = 0xFFFFFFFFu;
    rs[D3DRS_COLORWRITEENABLE] = 0xF;
    rs[D3DRS_BLENDOP] = D3DBLENDOP_ADD;
    rs[D3DRS_SRCBLENDALPHA] = D3DBLEND_ONE;
    rs[D3DRS_DESTBLENDALPHA] = D3DBLEND_ZERO;
    rs[D3DRS_BLENDOPALPHA] = D3DBLENDOP_ADD;
    for (DWORD i = 0; i < D3DMaxTextureStages; ++i) {
        auto& t = s.tss[i];
        t[D3DTSS_COLOROP] = i == 0 ? D3DTOP_MODULATE : D3DTOP_DISABLE;
        t[D3DTSS_COLORARG1] = D3DTA_TEXTURE;
        t[D3DTSS_COLORARG2] = D3DTA_CURRENT;
        t[D3DTSS_ALPHAOP] = i == 0 ? D3DTOP_SELECTARG1 : D3DTOP_DISABLE;
        t[D3DTSS_ALPHAARG1] = D3DTA_TEXTURE;
        t[D3DTSS_ALPHAARG2] = D3DTA_CURRENT;
        t[D3DTSS_TEXCOORDINDEX] = i;
        t[D3DTSS_COLORARG0] = t[D3DTSS_ALPHAARG0] = t[D3DTSS_RESULTARG] = D3DTA_CURRENT;
    }
    for (auto& smp : s.samp) {
        smp[D3DSAMP_ADDRESSU] = smp[D3DSAMP_ADDRESSV] = smp[D3DSAMP_ADDRESSW] = D3DTADDRESS_WRAP;
        smp[D3DSAMP_MAGFILTER] = smp[D3DSAMP_MINFILTER] = D3DTEXF_POINT;
        smp[D3DSAMP_MIPFILTER] = D3DTEXF_NONE;
        smp[D3DSAMP_MAXANISOTROPY] = 1;
    }
    s.world = s.view = s.projection = IdentityMatrix();
    for (auto& m : s.textureTransform) m = IdentityMatrix();
    s.viewport.Width = m_params.BackBufferWidth;
    s.viewport.Height = m_params.BackBufferHeight;
    s.renderTarget = m_backBuffer;
    s.depthStencil = m_depthSurface;
    m_state = s;
}

void DeviceCore::Log(const char* name, std::initializer_list<std::int64_t> args) {
    if (m_logCalls) m_calls.push_back(RecordedCall{name, std::vector<std::int64_t>(args)});
}

std::int64_t DeviceCore::IdOf(const IUnknown* object) const {
    if (!object || !m_logCalls) return 0;
    return ObjectId(object);
}

std::uint32_t DeviceCore::ObjectId(const IUnknown* object) const {
    if (!object) return 0;
    if (auto* r = dynamic_cast<const ResourceCommon*>(object)) return r->Id();
    if (auto* s = dynamic_cast<const Surface*>(object)) return s->Id();
    return 0;
}

void DeviceCore::Register(ResourceCommon* r) {
    if (r) m_resources.insert(r);
}

void DeviceCore::Unregister(ResourceCommon* r) {
    if (!r) return;
    m_resources.erase(r);
    BackendDestroy(r);
    // Unbind anything that pointed at it so no state refers to a dead object.
    for (auto& t : m_state.textures)
        if (t == r) t = nullptr;
    if (m_state.stream == r) m_state.stream = nullptr;
    if (m_state.indices == r) m_state.indices = nullptr;
    if (m_state.program == r) m_state.program = nullptr;
}

void DeviceCore::RegisterSurface(Surface* s) { m_surfaces.insert(s); }

void DeviceCore::UnregisterSurface(Surface* s) {
    m_surfaces.erase(s);
    BackendDestroySurface(s);
    if (m_state.renderTarget == s) m_state.renderTarget = s == m_backBuffer ? nullptr : m_backBuffer;
    if (m_state.depthStencil == s) m_state.depthStencil = nullptr;
}

std::size_t DeviceCore::CountCalls(const std::string& name) const {
    return static_cast<std::size_t>(
        std::count_if(m_calls.begin(), m_calls.end(), [&](const RecordedCall& c) { return c.name == name; }));
}

std::vector<std::string> DeviceCore::CallNames() const {
    std::vector<std::string> names;
    names.reserve(m_calls.size());
    for (const auto& c : m_calls) names.push_back(c.name);
    return names;
}

void DeviceCore::LoseDevice(bool canReset) {
    m_lost = true;
    m_canReset = canReset;
    m_inScene = false;
}

void DeviceCore::SetCanReset(bool canReset) { m_canReset = canReset; }

void DeviceCore::FailNextResets(int count, HRESULT result) {
    m_failResets = count;
    m_failResult = result;
}

int DeviceCore::LiveDefaultPoolResources() const {
    int n = 0;
    for (ResourceCommon* r : m_resources)
        if (r->Pool() == D3DPOOL_DEFAULT) ++n;
    return n;
}

std::vector<std::string> DeviceCore::ResetBlockers() const {
    std::vector<std::string> why;
    for (ResourceCommon* r : m_resources)
        if (r->Pool() == D3DPOOL_DEFAULT) why.push_back("default-pool resource " + std::to_string(r->Id()));
    if (m_backBuffer && m_backBuffer->ExternalRefs())
        why.push_back("back buffer held " + std::to_string(m_backBuffer->ExternalRefs()) + " time(s)");
    if (m_depthSurface && m_depthSurface->ExternalRefs())
        why.push_back("depth surface held " + std::to_string(m_depthSurface->ExternalRefs()) + " time(s)");
    return why;
}

HRESULT DeviceCore::TestCooperativeLevel() {
    Log("TestCooperativeLevel", {});
    if (!m_lost) return D3D_OK;
    return m_canReset ? D3DERR_DEVICENOTRESET : D3DERR_DEVICELOST;
}

HRESULT DeviceCore::Reset(D3DPRESENT_PARAMETERS* params) {
    Log("Reset", {params ? params->BackBufferWidth : 0, params ? params->BackBufferHeight : 0});
    if (!params) return D3DERR_INVALIDCALL;
    if (m_lost && !m_canReset) return D3DERR_DEVICELOST;
    if (m_failResets > 0) {
        --m_failResets;
        m_lost = true;
        return m_failResult;
    }
    if (m_strictReset && !ResetBlockers().empty()) {
        m_lost = true;
        return D3DERR_INVALIDCALL;
    }
    D3DPRESENT_PARAMETERS next = *params;
    if (next.BackBufferWidth == 0) next.BackBufferWidth = m_params.BackBufferWidth;
    if (next.BackBufferHeight == 0) next.BackBufferHeight = m_params.BackBufferHeight;
    if (next.BackBufferFormat == D3DFMT_UNKNOWN) next.BackBufferFormat = m_params.BackBufferFormat;
    // Refused before anything is released, so the old buffers survive for the next attempt.
    if (FAILED(CheckPresentMultisample(m_multisample, next))) {
        m_lost = true;
        return D3DERR_INVALIDCALL;
    }
    // Surfaces still referenced (only possible when not strict) stay valid but detached.
    for (Surface** held : {&m_backBuffer, &m_depthSurface}) {
        if (*held && (*held)->ExternalRefs()) {
            BackendDestroySurface(*held);
            m_surfaces.erase(*held);
            (*held)->Detach();
            *held = nullptr;
        }
    }
    DestroyImplicitSurfaces();
    m_params = next;
    *params = next;
    HRESULT hr = CreateImplicitSurfaces();
    if (SUCCEEDED(hr)) hr = BackendReset();
    if (FAILED(hr)) {
        m_lost = true;
        return hr;
    }
    ResetState();
    m_lost = false;
    m_inScene = false;
    return D3D_OK;
}

HRESULT DeviceCore::Present(const RECT*, const RECT*, HWND, const void*) {
    Log("Present", {});
    if (m_lost) return D3DERR_DEVICELOST;
    if (m_inScene) return D3DERR_INVALIDCALL;
    ++m_presents;
    return BackendPresent();
}

HRESULT DeviceCore::GetDeviceCaps(D3DCAPS9* caps) {
    if (!caps) return D3DERR_INVALIDCALL;
    *caps = m_caps;
    return D3D_OK;
}

HRESULT DeviceCore::GetBackBuffer(UINT swapChain, UINT index, D3DBACKBUFFER_TYPE, IDirect3DSurface9** out) {
    if (!out || swapChain != 0 || index != 0 || !m_backBuffer) return D3DERR_INVALIDCALL;
    m_backBuffer->AddRef();
    *out = m_backBuffer;
    return D3D_OK;
}

// The end of every Create call: the new object goes to the caller once its backend made it,
// and is released when the backend refused it.
template <class Made, class Interface>
static HRESULT HandOver(Made* made, HRESULT backendResult, Interface** out) {
    if (FAILED(backendResult)) {
        made->Release();
        return backendResult;
    }
    *out = made;
    return D3D_OK;
}

HRESULT DeviceCore::CreateTexture(UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                                  IDirect3DTexture9** out, HANDLE*) {
    Log("CreateTexture", {width, height, levels, usage, format, pool});
    if (!out) return D3DERR_INVALIDCALL;
    *out = nullptr;
    if (width == 0 || height == 0 || width > m_caps.MaxTextureWidth || height > m_caps.MaxTextureHeight ||
        D3DFormatRowBytes(format, 1) == 0 || IsDepthFormat(format))
        return D3DERR_INVALIDCALL;
    if ((usage & D3DUSAGE_RENDERTARGET) && pool != D3DPOOL_DEFAULT) return D3DERR_INVALIDCALL;
    if ((usage & D3DUSAGE_DYNAMIC) && pool == D3DPOOL_MANAGED) return D3DERR_INVALIDCALL;
    const UINT chain = FullChain(width, height);
    if (levels == 0 || levels > chain) levels = chain;
    auto* t = new Texture(this, width, height, levels, usage, format, pool);
    return HandOver(t, BackendCreateTexture(t), out);
}

HRESULT DeviceCore::CreateCubeTexture(UINT edge, UINT levels, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                                      IDirect3DCubeTexture9** out, HANDLE*) {
    Log("CreateCubeTexture", {edge, levels, usage, format, pool});
    if (!out) return D3DERR_INVALIDCALL;
    *out = nullptr;
    if (edge == 0 || edge > m_caps.MaxTextureWidth || D3DFormatRowBytes(format, 1) == 0 || IsDepthFormat(format))
        return D3DERR_INVALIDCALL;
    if ((usage & D3DUSAGE_RENDERTARGET) && pool != D3DPOOL_DEFAULT) return D3DERR_INVALIDCALL;
    const UINT chain = FullChain(edge, edge);
    if (levels == 0 || levels > chain) levels = chain;
    auto* t = new CubeTexture(this, edge, levels, usage, format, pool);
    return HandOver(t, BackendCreateTexture(t), out);
}

HRESULT DeviceCore::CreateVertexBuffer(UINT length, DWORD usage, DWORD fvf, D3DPOOL pool, IDirect3DVertexBuffer9** out,
                                       HANDLE*) {
    Log("CreateVertexBuffer", {length, usage, fvf, pool});
    if (!out) return D3DERR_INVALIDCALL;
    *out = nullptr;
    if (length == 0 || (fvf && length < D3DFVFVertexSize(fvf))) return D3DERR_INVALIDCALL;
    if ((usage & D3DUSAGE_DYNAMIC) && pool == D3DPOOL_MANAGED) return D3DERR_INVALIDCALL;
    auto* b = new VertexBuffer(this, length, usage, fvf, pool);
    return HandOver(b, BackendCreateBuffer(b, false), out);
}

HRESULT DeviceCore::CreateIndexBuffer(UINT length, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                                      IDirect3DIndexBuffer9** out, HANDLE*) {
    Log("CreateIndexBuffer", {length, usage, format, pool});
    if (!out) return D3DERR_INVALIDCALL;
    *out = nullptr;
    if (length == 0 || (format != D3DFMT_INDEX16 && format != D3DFMT_INDEX32)) return D3DERR_INVALIDCALL;
    if ((usage & D3DUSAGE_DYNAMIC) && pool == D3DPOOL_MANAGED) return D3DERR_INVALIDCALL;
    auto* b = new IndexBuffer(this, length, usage, format, pool);
    return HandOver(b, BackendCreateBuffer(b, true), out);
}

static Surface* AsSurface(IDirect3DSurface9* s) { return dynamic_cast<Surface*>(s); }

HRESULT DeviceCore::StretchRect(IDirect3DSurface9* source, const RECT* sourceRect, IDirect3DSurface9* dest,
                                const RECT* destRect, D3DTEXTUREFILTERTYPE filter) {
    Log("StretchRect", {IdOf(source), IdOf(dest), filter});
    Surface* src = AsSurface(source);
    Surface* dst = AsSurface(dest);
    if (!src || !dst || src == dst || src->Device() != this || dst->Device() != this) return D3DERR_INVALIDCALL;
    // The destination must be a render target (as on the original platform).
    if (!(dst->desc.Usage & D3DUSAGE_RENDERTARGET) || src->desc.Pool != D3DPOOL_DEFAULT) return D3DERR_INVALIDCALL;
    // A multisampled surface is only ever resolved from, never copied into.
    if (dst->desc.MultiSampleType != D3DMULTISAMPLE_NONE) return D3DERR_INVALIDCALL;
    const RECT full{0, 0, static_cast<LONG>(src->desc.Width), static_cast<LONG>(src->desc.Height)};
    const RECT fullDst{0, 0, static_cast<LONG>(dst->desc.Width), static_cast<LONG>(dst->desc.Height)};
    const RECT s = sourceRect ? *sourceRect : full;
    const RECT d = destRect ? *destRect : fullDst;
    auto inside = [](const RECT& r, const RECT& bounds) {
        return r.left >= 0 && r.top >= 0 && r.left < r.right && r.top < r.bottom && r.right <= bounds.right &&
               r.bottom <= bounds.bottom;
    };
    if (!inside(s, full) || !inside(d, fullDst)) return D3DERR_INVALIDCALL;
    if (m_lost) return D3D_OK;
    return BackendStretchRect(src, s, dst, d, filter);
}

HRESULT DeviceCore::BackendStretchRect(Surface* src, const RECT& s, Surface* dst, const RECT& d, D3DTEXTUREFILTERTYPE) {
    // CPU copy with nearest sampling: enough for tests to see that content moved.
    if (src->data.empty() || dst->data.empty() || D3DFormatRowBytes(src->desc.Format, 1) != 4 ||
        D3DFormatRowBytes(dst->desc.Format, 1) != 4)
        return D3D_OK;
    const LONG dw = d.right - d.left, dh = d.bottom - d.top, sw = s.right - s.left, sh = s.bottom - s.top;
    for (LONG y = 0; y < dh; ++y) {
        const LONG sy = s.top + (y * sh) / dh;
        for (LONG x = 0; x < dw; ++x) {
            const LONG sx = s.left + (x * sw) / dw;
            std::memcpy(&dst->data[(static_cast<std::size_t>(d.top + y) * dst->desc.Width + d.left + x) * 4],
                        &src->data[(static_cast<std::size_t>(sy) * src->desc.Width + sx) * 4], 4);
        }
    }
    return D3D_OK;
}

HRESULT DeviceCore::SetRenderTarget(DWORD index, IDirect3DSurface9* surface) {
    Log("SetRenderTarget", {index, IdOf(surface)});
    Surface* s = AsSurface(surface);
    if (index != 0) return surface ? D3DERR_INVALIDCALL : D3D_OK;
    if (!s || s->Device() != this || !(s->desc.Usage & D3DUSAGE_RENDERTARGET)) return D3DERR_INVALIDCALL;
    m_state.renderTarget = s;
    // Setting render target 0 resets the viewport to the whole target.
    m_state.viewport = D3DVIEWPORT9{0, 0, s->desc.Width, s->desc.Height, 0.0f, 1.0f};
    return D3D_OK;
}

HRESULT DeviceCore::GetRenderTarget(DWORD index, IDirect3DSurface9** out) {
    if (!out) return D3DERR_INVALIDCALL;
    *out = nullptr;
    if (index != 0 || !m_state.renderTarget) return D3DERR_NOTFOUND;
    m_state.renderTarget->AddRef();
    *out = m_state.renderTarget;
    return D3D_OK;
}

HRESULT DeviceCore::SetDepthStencilSurface(IDirect3DSurface9* surface) {
    Log("SetDepthStencilSurface", {IdOf(surface)});
    Surface* s = AsSurface(surface);
    if (surface && (!s || s->Device() != this || !(s->desc.Usage & D3DUSAGE_DEPTHSTENCIL))) return D3DERR_INVALIDCALL;
    m_state.depthStencil = s;
    return D3D_OK;
}

HRESULT DeviceCore::GetDepthStencilSurface(IDirect3DSurface9** out) {
    if (!out) return D3DERR_INVALIDCALL;
    *out = nullptr;
    if (!m_state.depthStencil) return D3DERR_NOTFOUND;
    m_state.depthStencil->AddRef();
    *out = m_state.depthStencil;
    return D3D_OK;
}

HRESULT DeviceCore::BeginScene() {
    Log("BeginScene", {});
    if (m_inScene) return D3DERR_INVALIDCALL;
    m_inScene = true;
    return D3D_OK;
}

HRESULT DeviceCore::EndScene() {
    Log("EndScene", {});
    if (!m_inScene) return D3DERR_INVALIDCALL;
    m_inScene = false;
    return D3D_OK;
}

HRESULT DeviceCore::Clear(DWORD count, const D3DRECT* rects, DWORD flags, D3DCOLOR colour, float z, DWORD stencil) {
    Log("Clear", {count, flags, colour, FloatToDword(z), stencil});
    if ((count && !rects) || flags == 0) return D3DERR_INVALIDCALL;
    if ((flags & (D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL)) && !m_state.depthStencil) return D3DERR_INVALIDCALL;
    if (!m_state.renderTarget) return D3DERR_INVALIDCALL;
    if (m_lost) return D3D_OK;
    BackendClear(count, rects, flags, colour, z, stencil);
    return D3D_OK;
}

void DeviceCore::BackendClear(DWORD count, const D3DRECT* rects, DWORD flags, D3DCOLOR colour, float, DWORD) {
    Surface* rt = m_state.renderTarget;
    if (!(flags & D3DCLEAR_TARGET) || !rt || rt->data.empty() || D3DFormatRowBytes(rt->desc.Format, 1) != 4) return;
    const auto& vp = m_state.viewport;
    auto fill = [&](LONG x1, LONG y1, LONG x2, LONG y2) {
        x1 = std::max<LONG>(x1, static_cast<LONG>(vp.X));
        y1 = std::max<LONG>(y1, static_cast<LONG>(vp.Y));
        x2 = std::min<LONG>(x2, static_cast<LONG>(std::min(vp.X + vp.Width, rt->desc.Width)));
        y2 = std::min<LONG>(y2, static_cast<LONG>(std::min(vp.Y + vp.Height, rt->desc.Height)));
        for (LONG y = y1; y < y2; ++y)
            for (LONG x = x1; x < x2; ++x)
                std::memcpy(&rt->data[(static_cast<std::size_t>(y) * rt->desc.Width + x) * 4], &colour, 4);
    };
    if (count == 0) {
        fill(0, 0, static_cast<LONG>(rt->desc.Width), static_cast<LONG>(rt->desc.Height));
    } else {
        for (DWORD i = 0; i < count; ++i) fill(rects[i].x1, rects[i].y1, rects[i].x2, rects[i].y2);
    }
}

// Where a transform state is kept; null for a state that names no transform.
static D3DMATRIX* TransformSlot(DeviceState& st, D3DTRANSFORMSTATETYPE state) {
    switch (state) {
    case D3DTS_WORLD: return &st.world;
    case D3DTS_VIEW: return &st.view;
    case D3DTS_PROJECTION: return &st.projection;
    default:
        if (state >= D3DTS_TEXTURE0 && state < D3DTS_TEXTURE0 + D3DMaxTextureStages)
            return &st.textureTransform[state - D3DTS_TEXTURE0];
        return nullptr;
    }
}

HRESULT DeviceCore::SetTransform(D3DTRANSFORMSTATETYPE state, const D3DMATRIX* m) {
    Log("SetTransform", {state});
    D3DMATRIX* slot = TransformSlot(m_state, state);
    if (!m || !slot) return D3DERR_INVALIDCALL;
    *slot = *m;
    return D3D_OK;
}

HRESULT DeviceCore::GetTransform(D3DTRANSFORMSTATETYPE state, D3DMATRIX* m) {
    D3DMATRIX* slot = TransformSlot(m_state, state);
    if (!m || !slot) return D3DERR_INVALIDCALL;
    *m = *slot;
    return D3D_OK;
}

HRESULT DeviceCore::SetViewport(const D3DVIEWPORT9* vp) {
    if (!vp) return D3DERR_INVALIDCALL;
    Log("SetViewport", {vp->X, vp->Y, vp->Width, vp->Height});
    const Surface* rt = m_state.renderTarget;
    if (vp->Width == 0 || vp->Height == 0 ||
        (rt && (vp->X + vp->Width > rt->desc.Width || vp->Y + vp->Height > rt->desc.Height)))
        return D3DERR_INVALIDCALL;
    m_state.viewport = *vp;
    return D3D_OK;
}

HRESULT DeviceCore::GetViewport(D3DVIEWPORT9* vp) {
    if (!vp) return D3DERR_INVALIDCALL;
    *vp = m_state.viewport;
    return D3D_OK;
}

HRESULT DeviceCore::SetMaterial(const D3DMATERIAL9* material) {
    Log("SetMaterial", {});
    if (!material) return D3DERR_INVALIDCALL;
    m_state.material = *material;
    return D3D_OK;
}

HRESULT DeviceCore::GetMaterial(D3DMATERIAL9* material) {
    if (!material) return D3DERR_INVALIDCALL;
    *material = m_state.material;
    return D3D_OK;
}

HRESULT DeviceCore::SetLight(DWORD index, const D3DLIGHT9* light) {
    Log("SetLight", {index, light ? static_cast<std::int64_t>(light->Type) : 0});
    if (!light || light->Type < D3DLIGHT_POINT || light->Type > D3DLIGHT_DIRECTIONAL) return D3DERR_INVALIDCALL;
    m_state.lights[index] = *light;
    return D3D_OK;
}

HRESULT DeviceCore::GetLight(DWORD index, D3DLIGHT9* light) {
    if (!light) return D3DERR_INVALIDCALL;
    auto it = m_state.lights.find(index);
    if (it == m_state.lights.end()) return D3DERR_INVALIDCALL;
    *light = it->second;
    return D3D_OK;
}

HRESULT DeviceCore::LightEnable(DWORD index, BOOL enable) {
    Log("LightEnable", {index, enable});
    if (enable) {
        // Enabling a light that was never set gives it the default light (white, directional).
        if (!m_state.lights.count(index)) {
            D3DLIGHT9 l;
            l.Type = D3DLIGHT_DIRECTIONAL;
            l.Diffuse = {1, 1, 1, 0};
            l.Direction = {0, 0, 1};
            m_state.lights[index] = l;
        }
        if (m_state.enabledLights.size() >= m_caps.MaxActiveLights && !m_state.enabledLights.count(index))
            return D3DERR_INVALIDCALL;
        m_state.enabledLights.insert(index);
    } else {
        m_state.enabledLights.erase(index);
    }
    return D3D_OK;
}

HRESULT DeviceCore::GetLightEnable(DWORD index, BOOL* enable) {
    if (!enable) return D3DERR_INVALIDCALL;
    if (!m_state.lights.count(index)) return D3DERR_INVALIDCALL;
    *enable = m_state.enabledLights.count(index) ? TRUE : FALSE;
    return D3D_OK;
}

HRESULT DeviceCore::SetRenderState(D3DRENDERSTATETYPE state, DWORD value) {
    Log("SetRenderState", {state, value});
    if (state >= D3DRS_COUNT) return D3DERR_INVALIDCALL;
    m_state.rs[state] = value;
    return D3D_OK;
}

HRESULT DeviceCore::GetRenderState(D3DRENDERSTATETYPE state, DWORD* value) {
    if (!value || state >= D3DRS_COUNT) return D3DERR_INVALIDCALL;
    *value = m_state.rs[state];
    return D3D_OK;
}

HRESULT DeviceCore::SetTexture(DWORD stage, IDirect3DBaseTexture9* texture) {
    Log("SetTexture", {stage, IdOf(texture)});
    if (stage >= D3DMaxSamplers) return D3DERR_INVALIDCALL;
    TextureBase* t = texture ? AsTexture(texture) : nullptr;
    if (texture && (!t || t->Device() != this)) return D3DERR_INVALIDCALL;
    m_state.textures[stage] = t;
    return D3D_OK;
}

HRESULT DeviceCore::GetTexture(DWORD stage, IDirect3DBaseTexture9** out) {
    if (!out || stage >= D3DMaxSamplers) return D3DERR_INVALIDCALL;
    TextureBase* t = m_state.textures[stage];
    *out = t ? t->Interface() : nullptr;
    if (*out) (*out)->AddRef();
    return D3D_OK;
}

HRESULT DeviceCore::SetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD value) {
    Log("SetTextureStageState", {stage, type, value});
    if (stage >= D3DMaxTextureStages || type >= D3DTSS_COUNT) return D3DERR_INVALIDCALL;
    m_state.tss[stage][type] = value;
    return D3D_OK;
}

HRESULT DeviceCore::GetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD* value) {
    if (!value || stage >= D3DMaxTextureStages || type >= D3DTSS_COUNT) return D3DERR_INVALIDCALL;
    *value = m_state.tss[stage][type];
    return D3D_OK;
}

HRESULT DeviceCore::SetSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE type, DWORD value) {
    Log("SetSamplerState", {sampler, type, value});
    if (sampler >= D3DMaxSamplers || type >= D3DSAMP_COUNT) return D3DERR_INVALIDCALL;
    m_state.samp[sampler][type] = value;
    return D3D_OK;
}

HRESULT DeviceCore::GetSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE type, DWORD* value) {
    if (!value || sampler >= D3DMaxSamplers || type >= D3DSAMP_COUNT) return D3DERR_INVALIDCALL;
    *value = m_state.samp[sampler][type];
    return D3D_OK;
}

HRESULT DeviceCore::SetFVF(DWORD fvf) {
    Log("SetFVF", {fvf});
    if (fvf && D3DFVFVertexSize(fvf) == 0) return D3DERR_INVALIDCALL;
    m_state.fvf = fvf;
    return D3D_OK;
}

HRESULT DeviceCore::GetFVF(DWORD* fvf) {
    if (!fvf) return D3DERR_INVALIDCALL;
    *fvf = m_state.fvf;
    return D3D_OK;
}

HRESULT DeviceCore::SetStreamSource(UINT stream, IDirect3DVertexBuffer9* buffer, UINT offset, UINT stride) {
    Log("SetStreamSource", {stream, IdOf(buffer), offset, stride});
    if (stream != 0) return buffer ? D3DERR_INVALIDCALL : D3D_OK;
    auto* b = dynamic_cast<VertexBuffer*>(buffer);
    if (buffer && (!b || b->Device() != this)) return D3DERR_INVALIDCALL;
    m_state.stream = b;
    m_state.streamOffset = offset;
    m_state.streamStride = stride;
    return D3D_OK;
}

HRESULT DeviceCore::GetStreamSource(UINT stream, IDirect3DVertexBuffer9** buffer, UINT* offset, UINT* stride) {
    if (!buffer || !offset || !stride || stream != 0) return D3DERR_INVALIDCALL;
    *buffer = m_state.stream;
    if (*buffer) (*buffer)->AddRef();
    *offset = m_state.streamOffset;
    *stride = m_state.streamStride;
    return D3D_OK;
}

HRESULT DeviceCore::SetIndices(IDirect3DIndexBuffer9* buffer) {
    Log("SetIndices", {IdOf(buffer)});
    auto* b = dynamic_cast<IndexBuffer*>(buffer);
    if (buffer && (!b || b->Device() != this)) return D3DERR_INVALIDCALL;
    m_state.indices = b;
    return D3D_OK;
}

HRESULT DeviceCore::GetIndices(IDirect3DIndexBuffer9** buffer) {
    if (!buffer) return D3DERR_INVALIDCALL;
    *buffer = m_state.indices;
    if (*buffer) (*buffer)->AddRef();
    return D3D_OK;
}

static UINT VerticesFor(D3DPRIMITIVETYPE type, UINT primitives) {
    switch (type) {
    case D3DPT_POINTLIST: return primitives;
    case D3DPT_LINELIST: return primitives * 2;
    case D3DPT_LINESTRIP: return primitives + 1;
    case D3DPT_TRIANGLELIST: return primitives * 3;
    case D3DPT_TRIANGLESTRIP:
    case D3DPT_TRIANGLEFAN: return primitives + 2;
    default: return 0;
    }
}

HRESULT DeviceCore::CheckDraw(DrawCall& call) {
    if (!m_inScene) return D3DERR_INVALIDCALL;
    if (call.primitiveCount == 0) return D3DERR_INVALIDCALL;
    const UINT fvfSize = D3DFVFVertexSize(m_state.fvf);
    if (!m_state.program && (m_state.fvf == 0 || fvfSize == 0)) return D3DERR_INVALIDCALL;
    if (call.stride == 0 || (fvfSize && call.stride < fvfSize)) return D3DERR_INVALIDCALL;
    if (!m_state.renderTarget) return D3DERR_INVALIDCALL;
    return D3D_OK;
}

HRESULT DeviceCore::Draw(DrawCall& call) {
    HRESULT hr = CheckDraw(call);
    if (FAILED(hr)) return hr;
    if (m_lost) return D3D_OK;
    if (m_state.program) BackendSetProgramDeviceValues(m_state.program, ProgramValuesFor(m_state));
    return BackendDraw(call);
}

D3DMATRIX MultiplyMatrices(const D3DMATRIX& a, const D3DMATRIX& b) {
    D3DMATRIX r{};
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            r.m[i][j] = a.m[i][0] * b.m[0][j] + a.m[i][1] * b.m[1][j] + a.m[i][2] * b.m[2][j] + a.m[i][3] * b.m[3][j];
    return r;
}

void HalfPixelShift(const D3DVIEWPORT9& vp, float out[2]) {
    out[0] = vp.Width ? 1.0f / static_cast<float>(vp.Width) : 0.0f;
    out[1] = vp.Height ? -1.0f / static_cast<float>(vp.Height) : 0.0f;
}

ProgramDeviceValues ProgramValuesFor(const DeviceState& st) {
    ProgramDeviceValues v;
    v.world = st.world;
    v.view = st.view;
    v.projection = st.projection;
    v.worldView = MultiplyMatrices(st.world, st.view);
    v.viewProjection = MultiplyMatrices(st.view, st.projection);
    v.worldViewProjection = MultiplyMatrices(v.worldView, st.projection);
    v.viewport[0] = static_cast<float>(st.viewport.X);
    v.viewport[1] = static_cast<float>(st.viewport.Y);
    v.viewport[2] = static_cast<float>(st.viewport.Width);
    v.viewport[3] = static_cast<float>(st.viewport.Height);
    v.pretransformed = (st.fvf & D3DFVF_POSITION_MASK) == D3DFVF_XYZRHW ? 1.0f : 0.0f;
    HalfPixelShift(st.viewport, v.halfPixel);
    return v;
}

HRESULT DeviceCore::DrawPrimitive(D3DPRIMITIVETYPE type, UINT startVertex, UINT primitiveCount) {
    Log("DrawPrimitive", {type, startVertex, primitiveCount});
    DrawCall c{};
    c.type = type;
    c.primitiveCount = primitiveCount;
    c.vertexCount = VerticesFor(type, primitiveCount);
    c.vertexBuffer = m_state.stream;
    c.vertexOffset = m_state.streamOffset;
    c.stride = m_state.streamStride;
    c.startVertex = startVertex;
    if (!c.vertexBuffer || c.vertexCount == 0) return D3DERR_INVALIDCALL;
    const std::uint64_t end = c.vertexOffset + (static_cast<std::uint64_t>(startVertex) + c.vertexCount) * c.stride;
    if (end > c.vertexBuffer->data.size()) return D3DERR_INVALIDCALL;
    return Draw(c);
}

HRESULT DeviceCore::DrawIndexedPrimitive(D3DPRIMITIVETYPE type, INT baseVertex, UINT minIndex, UINT numVertices,
                                         UINT startIndex, UINT primitiveCount) {
    Log("DrawIndexedPrimitive", {type, baseVertex, minIndex, numVertices, startIndex, primitiveCount});
    DrawCall c{};
    c.type = type;
    c.primitiveCount = primitiveCount;
    c.indexed = true;
    c.indexCount = VerticesFor(type, primitiveCount);
    c.vertexCount = numVertices;
    c.vertexBuffer = m_state.stream;
    c.vertexOffset = m_state.streamOffset;
    c.stride = m_state.streamStride;
    c.baseVertex = baseVertex;
    c.indexBuffer = m_state.indices;
    c.startIndex = startIndex;
    if (!c.vertexBuffer || !c.indexBuffer || c.indexCount == 0 || numVertices == 0) return D3DERR_INVALIDCALL;
    c.indexFormat = c.indexBuffer->desc.Format;
    const UINT indexSize = c.indexFormat == D3DFMT_INDEX32 ? 4 : 2;
    if ((static_cast<std::uint64_t>(startIndex) + c.indexCount) * indexSize > c.indexBuffer->data.size())
        return D3DERR_INVALIDCALL;
    // Every index must name a vertex inside the bound buffer; the original hardware would read
    // garbage or fault, we refuse the draw.
    if (c.stride == 0) return D3DERR_INVALIDCALL;
    const std::uint64_t available =
        c.vertexBuffer->data.size() > c.vertexOffset ? (c.vertexBuffer->data.size() - c.vertexOffset) / c.stride : 0;
    const std::uint8_t* idx = c.indexBuffer->data.data() + static_cast<std::size_t>(startIndex) * indexSize;
    for (UINT i = 0; i < c.indexCount; ++i) {
        std::uint32_t v;
        if (indexSize == 2) {
            std::uint16_t s;
            std::memcpy(&s, idx + i * 2, 2);
            v = s;
        } else {
            std::memcpy(&v, idx + i * 4, 4);
        }
        const std::int64_t vertex = static_cast<std::int64_t>(v) + baseVertex;
        if (vertex < 0 || static_cast<std::uint64_t>(vertex) >= available) return D3DERR_INVALIDCALL;
    }
    (void)minIndex;
    return Draw(c);
}

// The original platform unbinds stream 0 and the indices after a user-memory draw, whatever
// the draw answered.
static HRESULT UnbindAfterUserDraw(DeviceState& st, HRESULT drawResult) {
    st.stream = nullptr;
    st.streamOffset = st.streamStride = 0;
    st.indices = nullptr;
    return drawResult;
}

HRESULT DeviceCore::DrawPrimitiveUP(D3DPRIMITIVETYPE type, UINT primitiveCount, const void* vertices, UINT stride) {
    Log("DrawPrimitiveUP", {type, primitiveCount, stride});
    DrawCall c{};
    c.type = type;
    c.primitiveCount = primitiveCount;
    c.vertexCount = VerticesFor(type, primitiveCount);
    c.userVertices = vertices;
    c.userVertexCount = c.vertexCount;
    c.stride = stride;
    if (!vertices || c.vertexCount == 0) return D3DERR_INVALIDCALL;
    return UnbindAfterUserDraw(m_state, Draw(c));
}

HRESULT DeviceCore::DrawIndexedPrimitiveUP(D3DPRIMITIVETYPE type, UINT minIndex, UINT numVertices, UINT primitiveCount,
                                           const void* indices, D3DFORMAT indexFormat, const void* vertices,
                                           UINT stride) {
    Log("DrawIndexedPrimitiveUP", {type, minIndex, numVertices, primitiveCount, indexFormat, stride});
    DrawCall c{};
    c.type = type;
    c.primitiveCount = primitiveCount;
    c.indexed = true;
    c.indexCount = VerticesFor(type, primitiveCount);
    c.vertexCount = numVertices;
    c.userVertices = vertices;
    c.userIndices = indices;
    c.indexFormat = indexFormat;
    c.stride = stride;
    c.userVertexCount = minIndex + numVertices;
    if (!vertices || !indices || c.indexCount == 0 || numVertices == 0 ||
        (indexFormat != D3DFMT_INDEX16 && indexFormat != D3DFMT_INDEX32))
        return D3DERR_INVALIDCALL;
    for (UINT i = 0; i < c.indexCount; ++i) {
        const std::uint32_t v = indexFormat == D3DFMT_INDEX16 ? static_cast<const std::uint16_t*>(indices)[i]
                                                              : static_cast<const std::uint32_t*>(indices)[i];
        if (v >= c.userVertexCount) return D3DERR_INVALIDCALL;
    }
    return UnbindAfterUserDraw(m_state, Draw(c));
}

HRESULT DeviceCore::CreateProgram(const char* vertexSource, const char* pixelSource, IDirect3DProgram9** out,
                                  std::string* errors) {
    Log("CreateProgram", {});
    if (!out || !vertexSource || !pixelSource) return D3DERR_INVALIDCALL;
    *out = nullptr;
    auto* p = new Program(this, vertexSource, pixelSource);
    return HandOver(p, BackendCreateProgram(p, errors), out);
}

HRESULT DeviceCore::SetProgram(IDirect3DProgram9* program) {
    Log("SetProgram", {IdOf(program)});
    auto* p = dynamic_cast<Program*>(program);
    if (program && (!p || p->Device() != this)) return D3DERR_INVALIDCALL;
    m_state.program = p;
    return D3D_OK;
}

HRESULT DeviceCore::SetProgramFloats(const char* name, const float* values, UINT count) {
    Log("SetProgramFloats", {count});
    if (!name || (!values && count)) return D3DERR_INVALIDCALL;
    if (!m_state.program) return D3DERR_INVALIDCALL;
    return BackendSetProgramFloats(m_state.program, name, values, count);
}

HRESULT DeviceCore::SetProgramInts(const char* name, const INT* values, UINT count) {
    Log("SetProgramInts", {count});
    if (!name || (!values && count)) return D3DERR_INVALIDCALL;
    if (!m_state.program) return D3DERR_INVALIDCALL;
    return BackendSetProgramInts(m_state.program, name, values, count);
}

HRESULT DeviceCore::ReadRenderTarget(IDirect3DSurface9* surface, D3DCOLOR* pixels, UINT pixelCount) {
    Surface* s = AsSurface(surface);
    if (!s || !pixels || s->Device() != this || !(s->desc.Usage & D3DUSAGE_RENDERTARGET)) return D3DERR_INVALIDCALL;
    // As a lock would be: resolve it into a single-sample target with StretchRect first.
    if (s->desc.MultiSampleType != D3DMULTISAMPLE_NONE) return D3DERR_INVALIDCALL;
    if (pixelCount < s->desc.Width * s->desc.Height) return D3DERR_INVALIDCALL;
    return BackendReadRenderTarget(s, pixels);
}

HRESULT DeviceCore::BackendReadRenderTarget(Surface* s, D3DCOLOR* pixels) {
    if (D3DFormatRowBytes(s->desc.Format, 1) != 4 || s->data.empty()) return D3DERR_INVALIDCALL;
    std::memcpy(pixels, s->data.data(), static_cast<std::size_t>(s->desc.Width) * s->desc.Height * 4);
    return D3D_OK;
}

} // namespace Platform::GraphicsDetail

HRESULT D3DSetLockWritten(IDirect3DVertexBuffer9* buffer, UINT bytes) {
    return Platform::GraphicsDetail::SetLockWritten(dynamic_cast<Platform::GraphicsDetail::VertexBuffer*>(buffer),
                                                    bytes);
}
HRESULT D3DSetLockWritten(IDirect3DIndexBuffer9* buffer, UINT bytes) {
    return Platform::GraphicsDetail::SetLockWritten(dynamic_cast<Platform::GraphicsDetail::IndexBuffer*>(buffer),
                                                    bytes);
}
