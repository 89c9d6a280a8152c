// The OpenGL 4.5 core device. Every render target (the back buffer included) is a texture
// stored top row first, drawn with an upper-left clip origin and a [0, 1] depth range, so the
// matrices of the engine upload unchanged and render targets read back the way the original
// platform lays them out; Present blits the back buffer to the window upside down. A
// multisampled back buffer is a multisampled renderbuffer instead (with a depth buffer of the
// same samples), resolved into a single-sample scratch texture whenever it is copied or shown.
// The fixed-function pipeline is emulated with GLSL programs generated from the state in force
// and cached by their generated text.

#define GL_GLEXT_PROTOTYPES 1
#include <GL/glcorearb.h>
#include <SDL.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <malloc.h>
#include <map>
#include <unordered_map>
#include <vector>

#include "Platform/Base/LeakCheck.h"
#include "Platform/Graphics/GLDevice.h"
#include "Platform/Graphics/GLFixedFunction.h"
#include "Platform/Window/Window.h"

#ifndef GL_TEXTURE_MAX_ANISOTROPY
#define GL_TEXTURE_MAX_ANISOTROPY 0x84FE
#define GL_MAX_TEXTURE_MAX_ANISOTROPY 0x84FF
#endif
#ifndef GL_COMPRESSED_RGBA_S3TC_DXT1_EXT
#define GL_COMPRESSED_RGBA_S3TC_DXT1_EXT 0x83F1
#define GL_COMPRESSED_RGBA_S3TC_DXT3_EXT 0x83F2
#define GL_COMPRESSED_RGBA_S3TC_DXT5_EXT 0x83F3
#endif

namespace Platform::GraphicsDetail {

namespace {

struct GLFormat {
    GLenum internal = 0, format = 0, type = 0;
    bool compressed = false;
    GLint swizzle[4] = {GL_RED, GL_GREEN, GL_BLUE, GL_ALPHA};
};

GLFormat FormatFor(D3DFORMAT f) {
    GLFormat g;
    switch (f) {
    case D3DFMT_A8R8G8B8: g = {GL_RGBA8, GL_BGRA, GL_UNSIGNED_BYTE}; break;
    case D3DFMT_X8R8G8B8:
        g = {GL_RGBA8, GL_BGRA, GL_UNSIGNED_BYTE};
        g.swizzle[3] = GL_ONE;
        break;
    case D3DFMT_A8B8G8R8: g = {GL_RGBA8, GL_RGBA, GL_UNSIGNED_BYTE}; break;
    case D3DFMT_X8B8G8R8:
        g = {GL_RGBA8, GL_RGBA, GL_UNSIGNED_BYTE};
        g.swizzle[3] = GL_ONE;
        break;
    case D3DFMT_R5G6B5: g = {GL_RGB565, GL_RGB, GL_UNSIGNED_SHORT_5_6_5}; break;
    case D3DFMT_A1R5G5B5: g = {GL_RGB5_A1, GL_BGRA, GL_UNSIGNED_SHORT_1_5_5_5_REV}; break;
    case D3DFMT_X1R5G5B5:
        g = {GL_RGB5_A1, GL_BGRA, GL_UNSIGNED_SHORT_1_5_5_5_REV};
        g.swizzle[3] = GL_ONE;
        break;
    case D3DFMT_A4R4G4B4: g = {GL_RGBA4, GL_BGRA, GL_UNSIGNED_SHORT_4_4_4_4_REV}; break;
    case D3DFMT_X4R4G4B4:
        g = {GL_RGBA4, GL_BGRA, GL_UNSIGNED_SHORT_4_4_4_4_REV};
        g.swizzle[3] = GL_ONE;
        break;
    case D3DFMT_A8:
        g = {GL_R8, GL_RED, GL_UNSIGNED_BYTE};
        g.swizzle[0] = g.swizzle[1] = g.swizzle[2] = GL_ZERO;
        g.swizzle[3] = GL_RED;
        break;
    case D3DFMT_L8:
        g = {GL_R8, GL_RED, GL_UNSIGNED_BYTE};
        g.swizzle[1] = g.swizzle[2] = GL_RED;
        g.swizzle[3] = GL_ONE;
        break;
    case D3DFMT_A8L8:
        g = {GL_RG8, GL_RG, GL_UNSIGNED_BYTE};
        g.swizzle[1] = g.swizzle[2] = GL_RED;
        g.swizzle[3] = GL_GREEN;
        break;
    case D3DFMT_R16F: g = {GL_R16F, GL_RED, GL_HALF_FLOAT}; break;
    case D3DFMT_R32F: g = {GL_R32F, GL_RED, GL_FLOAT}; break;
    case D3DFMT_A16B16G16R16F: g = {GL_RGBA16F, GL_RGBA, GL_HALF_FLOAT}; break;
    case D3DFMT_A32B32G32R32F: g = {GL_RGBA32F, GL_RGBA, GL_FLOAT}; break;
    case D3DFMT_DXT1: g = {GL_COMPRESSED_RGBA_S3TC_DXT1_EXT, 0, 0, true}; break;
    case D3DFMT_DXT2:
    case D3DFMT_DXT3: g = {GL_COMPRESSED_RGBA_S3TC_DXT3_EXT, 0, 0, true}; break;
    case D3DFMT_DXT4:
    case D3DFMT_DXT5: g = {GL_COMPRESSED_RGBA_S3TC_DXT5_EXT, 0, 0, true}; break;
    default: break;
    }
    return g;
}

GLenum CompareFunc(DWORD f) {
    switch (f) {
    case D3DCMP_NEVER: return GL_NEVER;
    case D3DCMP_LESS: return GL_LESS;
    case D3DCMP_EQUAL: return GL_EQUAL;
    case D3DCMP_LESSEQUAL: return GL_LEQUAL;
    case D3DCMP_GREATER: return GL_GREATER;
    case D3DCMP_NOTEQUAL: return GL_NOTEQUAL;
    case D3DCMP_GREATEREQUAL: return GL_GEQUAL;
    default: return GL_ALWAYS;
    }
}

GLenum BlendFactor(DWORD b) {
    switch (b) {
    case D3DBLEND_ZERO: return GL_ZERO;
    case D3DBLEND_ONE: return GL_ONE;
    case D3DBLEND_SRCCOLOR: return GL_SRC_COLOR;
    case D3DBLEND_INVSRCCOLOR: return GL_ONE_MINUS_SRC_COLOR;
    case D3DBLEND_SRCALPHA:
    case D3DBLEND_BOTHSRCALPHA: return GL_SRC_ALPHA;
    case D3DBLEND_INVSRCALPHA:
    case D3DBLEND_BOTHINVSRCALPHA: return GL_ONE_MINUS_SRC_ALPHA;
    case D3DBLEND_DESTALPHA: return GL_DST_ALPHA;
    case D3DBLEND_INVDESTALPHA: return GL_ONE_MINUS_DST_ALPHA;
    case D3DBLEND_DESTCOLOR: return GL_DST_COLOR;
    case D3DBLEND_INVDESTCOLOR: return GL_ONE_MINUS_DST_COLOR;
    case D3DBLEND_SRCALPHASAT: return GL_SRC_ALPHA_SATURATE;
    case D3DBLEND_BLENDFACTOR: return GL_CONSTANT_COLOR;
    case D3DBLEND_INVBLENDFACTOR: return GL_ONE_MINUS_CONSTANT_COLOR;
    default: return GL_ONE;
    }
}

GLenum BlendEquation(DWORD op) {
    switch (op) {
    case D3DBLENDOP_SUBTRACT: return GL_FUNC_SUBTRACT;
    case D3DBLENDOP_REVSUBTRACT: return GL_FUNC_REVERSE_SUBTRACT;
    case D3DBLENDOP_MIN: return GL_MIN;
    case D3DBLENDOP_MAX: return GL_MAX;
    default: return GL_FUNC_ADD;
    }
}

GLenum AddressMode(DWORD a) {
    switch (a) {
    case D3DTADDRESS_MIRROR: return GL_MIRRORED_REPEAT;
    case D3DTADDRESS_CLAMP: return GL_CLAMP_TO_EDGE;
    case D3DTADDRESS_BORDER: return GL_CLAMP_TO_BORDER;
    case D3DTADDRESS_MIRRORONCE: return GL_MIRROR_CLAMP_TO_EDGE;
    default: return GL_REPEAT;
    }
}

GLenum Primitive(D3DPRIMITIVETYPE t) {
    switch (t) {
    case D3DPT_POINTLIST: return GL_POINTS;
    case D3DPT_LINELIST: return GL_LINES;
    case D3DPT_LINESTRIP: return GL_LINE_STRIP;
    case D3DPT_TRIANGLESTRIP: return GL_TRIANGLE_STRIP;
    case D3DPT_TRIANGLEFAN: return GL_TRIANGLE_FAN;
    default: return GL_TRIANGLES;
    }
}

void Vec4(const D3DCOLORVALUE& c, float* out) {
    out[0] = c.r;
    out[1] = c.g;
    out[2] = c.b;
    out[3] = c.a;
}

void ColorToVec4(D3DCOLOR c, float* out) {
    out[0] = ((c >> 16) & 0xFF) / 255.0f;
    out[1] = ((c >> 8) & 0xFF) / 255.0f;
    out[2] = (c & 0xFF) / 255.0f;
    out[3] = ((c >> 24) & 0xFF) / 255.0f;
}

D3DMATRIX Multiply(const D3DMATRIX& a, const D3DMATRIX& b) {
    D3DMATRIX r{};
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            r.m[i][j] = a.m[i][0] * b.m[0][j] + a.m[i][1] * b.m[1][j] + a.m[i][2] * b.m[2][j] + a.m[i][3] * b.m[3][j];
    return r;
}

// Inverse-transpose of the upper 3x3 (row-vector convention), for normals.
void NormalMatrix(const D3DMATRIX& m, float out[9]) {
    const double a = m._11, b = m._12, c = m._13, d = m._21, e = m._22, f = m._23, g = m._31, h = m._32, i = m._33;
    const double A = e * i - f * h, B = -(d * i - f * g), C = d * h - e * g;
    const double D = -(b * i - c * h), E = a * i - c * g, F = -(a * h - b * g);
    const double G = b * f - c * e, H = -(a * f - c * d), I = a * e - b * d;
    double det = a * A + b * B + c * C;
    if (std::fabs(det) < 1e-20) det = 1e-20;
    // inverse = adj / det with adj = cofactor^T; the inverse transposed is the cofactor / det.
    const double cof[9] = {A, B, C, D, E, F, G, H, I};
    for (int k = 0; k < 9; ++k) out[k] = static_cast<float>(cof[k] / det);
}

void TransformPoint(const D3DVECTOR& p, const D3DMATRIX& m, float out[3]) {
    out[0] = p.x * m._11 + p.y * m._21 + p.z * m._31 + m._41;
    out[1] = p.x * m._12 + p.y * m._22 + p.z * m._32 + m._42;
    out[2] = p.x * m._13 + p.y * m._23 + p.z * m._33 + m._43;
}

void TransformDirection(const D3DVECTOR& p, const D3DMATRIX& m, float out[3]) {
    out[0] = p.x * m._11 + p.y * m._21 + p.z * m._31;
    out[1] = p.x * m._12 + p.y * m._22 + p.z * m._32;
    out[2] = p.x * m._13 + p.y * m._23 + p.z * m._33;
}

// Which GL face is culled for the original platform's two winding orders (see ApplyRasterState).
constexpr GLenum kCullCounterClockwise = GL_FRONT;
constexpr GLenum kCullClockwise = GL_BACK;

struct FFProgram {
    GLuint program = 0;
    std::unordered_map<std::string, GLint> locations;
    GLint Loc(const char* name) {
        auto it = locations.find(name);
        if (it != locations.end()) return it->second;
        const GLint l = glGetUniformLocation(program, name);
        locations.emplace(name, l);
        return l;
    }
};

bool CompileProgram(const std::string& vs, const std::string& fs, GLuint& program, std::string* errors) {
    auto compile = [&](GLenum type, const std::string& src) -> GLuint {
        GLuint s = glCreateShader(type);
        const char* p = src.c_str();
        glShaderSource(s, 1, &p, nullptr);
        glCompileShader(s);
        GLint ok = 0;
        glGetShaderiv(s, GL_COMPILE_STATUS, &ok);
        if (!ok) {
            GLint len = 0;
            glGetShaderiv(s, GL_INFO_LOG_LENGTH, &len);
            std::string log(static_cast<std::size_t>(std::max(len, 1)), '\0');
            glGetShaderInfoLog(s, len, nullptr, log.data());
            if (errors) *errors += log;
            glDeleteShader(s);
            return 0;
        }
        return s;
    };
    GLuint v = compile(GL_VERTEX_SHADER, vs);
    GLuint f = v ? compile(GL_FRAGMENT_SHADER, fs) : 0;
    if (!v || !f) {
        if (v) glDeleteShader(v);
        return false;
    }
    program = glCreateProgram();
    glAttachShader(program, v);
    glAttachShader(program, f);
    glBindAttribLocation(program, 0, "a_position");
    glBindAttribLocation(program, 1, "a_normal");
    glBindAttribLocation(program, 2, "a_diffuse");
    glBindAttribLocation(program, 3, "a_specular");
    for (int i = 0; i < 8; ++i) glBindAttribLocation(program, 4 + i, ("a_texcoord" + std::to_string(i)).c_str());
    glLinkProgram(program);
    glDeleteShader(v);
    glDeleteShader(f);
    GLint ok = 0;
    glGetProgramiv(program, GL_LINK_STATUS, &ok);
    if (!ok) {
        GLint len = 0;
        glGetProgramiv(program, GL_INFO_LOG_LENGTH, &len);
        std::string log(static_cast<std::size_t>(std::max(len, 1)), '\0');
        glGetProgramInfoLog(program, len, nullptr, log.data());
        if (errors) *errors += log;
        glDeleteProgram(program);
        program = 0;
        return false;
    }
    return true;
}

bool g_probed = false;
bool g_probeResult = false;
D3DCAPS9 g_probedCaps;
// Per surface format, the sample counts above one its multisampled storage may take, ascending:
// NONMASKABLE quality q is g_sampleCounts[format][q].
std::map<D3DFORMAT, std::vector<GLsizei>> g_sampleCounts;

// The colour formats a back buffer may have, and the depth formats (all stored as 24/8).
constexpr D3DFORMAT kBackBufferFormats[] = {D3DFMT_A8R8G8B8, D3DFMT_X8R8G8B8, D3DFMT_R5G6B5, D3DFMT_X1R5G5B5,
                                            D3DFMT_A1R5G5B5};
constexpr D3DFORMAT kDepthFormats[] = {D3DFMT_D16, D3DFMT_D24S8, D3DFMT_D24X8, D3DFMT_D32};

// The sample counts above one, up to maxSamples, that renderbuffers of this internal format
// support, ascending.
std::vector<GLsizei> RenderbufferSampleCounts(GLenum internal, GLint maxSamples) {
    GLint n = 0;
    glGetInternalformativ(GL_RENDERBUFFER, internal, GL_NUM_SAMPLE_COUNTS, 1, &n);
    std::vector<GLint> found(static_cast<std::size_t>(std::max(n, 0)));
    if (n > 0) glGetInternalformativ(GL_RENDERBUFFER, internal, GL_SAMPLES, n, found.data());
    if (glGetError() != GL_NO_ERROR) return {};
    std::vector<GLsizei> counts;
    for (GLint c : found)
        if (c > 1 && c <= maxSamples) counts.push_back(c);
    std::sort(counts.begin(), counts.end());
    counts.erase(std::unique(counts.begin(), counts.end()), counts.end());
    return counts;
}

// Fills g_sampleCounts from the current context: a back buffer's counts are those its colour
// format and the depth-stencil buffer share, so the automatic depth buffer always matches it.
void ProbeSampleCounts() {
    g_sampleCounts.clear();
    GLint maxSamples = 0;
    glGetIntegerv(GL_MAX_SAMPLES, &maxSamples);
    const std::vector<GLsizei> depth = RenderbufferSampleCounts(GL_DEPTH24_STENCIL8, maxSamples);
    for (D3DFORMAT f : kDepthFormats) g_sampleCounts[f] = depth;
    for (D3DFORMAT f : kBackBufferFormats) {
        const std::vector<GLsizei> colour = RenderbufferSampleCounts(FormatFor(f).internal, maxSamples);
        std::vector<GLsizei> both;
        std::set_intersection(colour.begin(), colour.end(), depth.begin(), depth.end(), std::back_inserter(both));
        g_sampleCounts[f] = std::move(both);
    }
}

MultisampleLevels ProbedMultisampleLevels() {
    MultisampleLevels levels;
    for (const auto& [format, counts] : g_sampleCounts) levels.byFormat[format] = static_cast<DWORD>(counts.size());
    return levels;
}

// Samples per pixel of a surface described so (0 when it is not multisampled). The quality was
// checked against the same table when the device took its present parameters.
GLsizei SampleCount(const D3DSURFACE_DESC& d) {
    if (d.MultiSampleType == D3DMULTISAMPLE_NONE) return 0;
    const auto it = g_sampleCounts.find(d.Format);
    if (it == g_sampleCounts.end() || d.MultiSampleQuality >= it->second.size()) return 0;
    return it->second[d.MultiSampleQuality];
}

// One storage of a dynamic buffer, and all of them with the one in use.
struct StreamStorage {
    GLuint object = 0;
    GLsync fence = nullptr; // set when the buffer moved away from this storage
    void* mapped = nullptr; // the whole storage, mapped for good (null: not mapped)
};
struct Stream {
    std::vector<StreamStorage> storages;
    std::size_t current = 0;
};

// A software rasteriser allocates and frees its vertex and bin memory draw by draw. By default
// the C library gives freed memory at the top of the heap back to the system as soon as it
// exceeds 128 KiB, and the next draw faults it in page by page again: with a few dozen draws a
// frame that took most of the frame's time. The heap keeps that much instead.
void KeepFreedHeap() {
#ifdef M_TRIM_THRESHOLD
    mallopt(M_TRIM_THRESHOLD, 64 << 20);
    mallopt(M_TOP_PAD, 16 << 20);
#endif
}

bool MakeContext(SDL_Window* window, SDL_GLContext& context) {
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 4);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 5);
    context = SDL_GL_CreateContext(window);
    return context != nullptr;
}

} // namespace

class GLDevice final : public DeviceCore {
public:
    GLDevice(SDL_Window* window, bool ownsWindow, SDL_GLContext context, const D3DCAPS9& caps,
             const D3DPRESENT_PARAMETERS& params)
        : DeviceCore(caps, params, false, false, ProbedMultisampleLevels()), m_window(window), m_ownsWindow(ownsWindow),
          m_context(context) {}

    ~GLDevice() override {
        ScopedDriverAllocations driver;
        SDL_GL_MakeCurrent(m_window, m_context);
        ReleaseImplicitSurfaces();
        for (auto& [key, p] : m_programs) glDeleteProgram(p.program);
        glDeleteVertexArrays(1, &m_vao);
        glDeleteBuffers(1, &m_scratchVertices);
        glDeleteBuffers(1, &m_scratchIndices);
        glDeleteFramebuffers(1, &m_drawFbo);
        glDeleteFramebuffers(1, &m_readFbo);
        glDeleteSamplers(static_cast<GLsizei>(D3DMaxSamplers), m_samplers);
        SDL_GL_DeleteContext(m_context);
        if (m_ownsWindow) DestroyGameWindow(m_window);
    }

    HRESULT Setup() {
        ScopedDriverAllocations driver;
        KeepFreedHeap();
        glClipControl(GL_UPPER_LEFT, GL_ZERO_TO_ONE);
        glCreateVertexArrays(1, &m_vao);
        glCreateBuffers(1, &m_scratchVertices);
        glCreateBuffers(1, &m_scratchIndices);
        glCreateFramebuffers(1, &m_drawFbo);
        glCreateFramebuffers(1, &m_readFbo);
        glCreateSamplers(static_cast<GLsizei>(D3DMaxSamplers), m_samplers);
        glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glEnable(GL_TEXTURE_CUBE_MAP_SEAMLESS);
        SDL_GL_SetSwapInterval(m_params.PresentationInterval == D3DPRESENT_INTERVAL_IMMEDIATE ? 0 : 1);
        return Initialise();
    }

protected:
    HRESULT BackendCreateDefaultSurfaces() override {
        ScopedDriverAllocations driver;
        Surface* bb = m_backBuffer;
        const GLFormat f = ColourFormat(bb);
        const GLsizei w = static_cast<GLsizei>(bb->desc.Width), h = static_cast<GLsizei>(bb->desc.Height);
        const GLsizei samples = SampleCount(bb->desc);
        if (samples > 1) {
            // Never sampled nor read directly: StretchRect and Present resolve it first.
            glCreateRenderbuffers(1, &bb->backend.renderbuffer);
            glNamedRenderbufferStorageMultisample(bb->backend.renderbuffer, samples, f.internal, w, h);
            bb->backend.samples = static_cast<std::uint32_t>(samples);
        } else {
            glCreateTextures(GL_TEXTURE_2D, 1, &bb->backend.object);
            glTextureStorage2D(bb->backend.object, 1, f.internal, w, h);
            glTextureParameteriv(bb->backend.object, GL_TEXTURE_SWIZZLE_RGBA, f.swizzle);
        }
        if (m_depthSurface) CreateDepth(m_depthSurface, samples);
        return glGetError() == GL_NO_ERROR ? D3D_OK : D3DERR_OUTOFVIDEOMEMORY;
    }

    void BackendDestroyDefaultSurfaces() override {
        ScopedDriverAllocations driver;
        if (m_resolve) glDeleteTextures(1, &m_resolve);
        m_resolve = 0;
        m_resolveWidth = m_resolveHeight = 0;
        m_resolveInternal = 0;
    }

    void BackendDestroySurface(Surface* s) override {
        ScopedDriverAllocations driver;
        if (!s->container && s->backend.object) glDeleteTextures(1, &s->backend.object);
        if (s->backend.renderbuffer) glDeleteRenderbuffers(1, &s->backend.renderbuffer);
        s->backend.object = s->backend.renderbuffer = 0;
        s->backend.samples = 0;
        if (m_boundColor == s) m_boundColor = nullptr;
        if (m_boundDepth == s) m_boundDepth = nullptr;
    }

    HRESULT BackendCreateTexture(TextureBase* t) override {
        ScopedDriverAllocations driver;
        const GLFormat f = FormatFor(t->format);
        if (!f.internal) return D3DERR_INVALIDCALL;
        const GLenum target = t->type == D3DRTYPE_CUBETEXTURE ? GL_TEXTURE_CUBE_MAP : GL_TEXTURE_2D;
        glCreateTextures(target, 1, &t->backend.object);
        glTextureStorage2D(t->backend.object, static_cast<GLsizei>(t->levels), f.internal,
                           static_cast<GLsizei>(t->width), static_cast<GLsizei>(t->height));
        glTextureParameteriv(t->backend.object, GL_TEXTURE_SWIZZLE_RGBA, f.swizzle);
        glTextureParameteri(t->backend.object, GL_TEXTURE_MAX_LEVEL, static_cast<GLint>(t->levels - 1));
        glTextureParameteri(t->backend.object, GL_TEXTURE_BASE_LEVEL, 0);
        if (glGetError() != GL_NO_ERROR) return D3DERR_OUTOFVIDEOMEMORY;
        // Contents start as zero, as the CPU copy does.
        if (!(t->usage & D3DUSAGE_RENDERTARGET))
            for (Surface* s : t->surfaces) Upload(s);
        return D3D_OK;
    }

    HRESULT BackendCreateBuffer(ResourceCommon* r, bool isIndex) override {
        ScopedDriverAllocations driver;
        const std::vector<std::uint8_t>& data =
            isIndex ? static_cast<IndexBuffer*>(r)->data : static_cast<VertexBuffer*>(r)->data;
        if (IsDynamicBuffer(r)) {
            StreamStorage storage;
            if (MakeStreamStorage(storage, static_cast<GLsizeiptr>(data.size()), data.data())) {
                r->backend.object = storage.object;
                m_streams[r].storages.push_back(storage);
                return D3D_OK;
            }
        }
        glCreateBuffers(1, &r->backend.object);
        glNamedBufferData(r->backend.object, static_cast<GLsizeiptr>(data.size()), data.data(), GL_DYNAMIC_DRAW);
        return glGetError() == GL_NO_ERROR ? D3D_OK : D3DERR_OUTOFVIDEOMEMORY;
    }

    void BackendDestroy(ResourceCommon* r) override {
        ScopedDriverAllocations driver;
        switch (r->kind) {
        case ResourceCommon::Kind::VertexBuffer:
        case ResourceCommon::Kind::IndexBuffer:
            if (auto stream = m_streams.find(r); stream != m_streams.end()) {
                // The buffer's own object is one of its storages.
                for (StreamStorage& storage : stream->second.storages) {
                    if (storage.fence) glDeleteSync(storage.fence);
                    glDeleteBuffers(1, &storage.object);
                }
                m_streams.erase(stream);
            } else if (r->backend.object) {
                glDeleteBuffers(1, &r->backend.object);
            }
            break;
        case ResourceCommon::Kind::Texture:
            if (r->backend.object) glDeleteTextures(1, &r->backend.object);
            m_boundColor = nullptr; // its surfaces may have been attached
            break;
        case ResourceCommon::Kind::Program:
            m_uniforms.erase(r->backend.object);
            m_deviceUniforms.erase(r->backend.object);
            if (r->backend.object) glDeleteProgram(r->backend.object);
            break;
        }
        r->backend.object = 0;
    }

    // size: the bytes from offset the caller wrote (the locked range unless it said less).
    void OnBufferUnlocked(ResourceCommon* r, UINT offset, UINT size, DWORD flags) override {
        if ((flags & D3DLOCK_READONLY) || !r->backend.object) return;
        ScopedDriverAllocations driver;
        const std::vector<std::uint8_t>& data = r->kind == ResourceCommon::Kind::IndexBuffer
                                                    ? static_cast<IndexBuffer*>(r)->data
                                                    : static_cast<VertexBuffer*>(r)->data;
        const bool dynamic = IsDynamicBuffer(r);
        if (flags & D3DLOCK_DISCARD) {
            if (dynamic)
                r->backend.object = NextStreamStorage(r, static_cast<GLsizeiptr>(data.size()));
            else // orphan the old storage so a draw still using it never waits
                glNamedBufferData(r->backend.object, static_cast<GLsizeiptr>(data.size()), nullptr, GL_DYNAMIC_DRAW);
        }
        if (size == 0) return;
        if (dynamic && (flags & (D3DLOCK_DISCARD | D3DLOCK_NOOVERWRITE))) {
            // No draw already made reads these bytes (the storage is one no draw still reads,
            // or the caller promises to write only where none reads): written straight in,
            // without waiting for the draws.
            auto stream = m_streams.find(r);
            if (stream != m_streams.end() && stream->second.storages[stream->second.current].mapped) {
                std::memcpy(static_cast<std::uint8_t*>(stream->second.storages[stream->second.current].mapped) + offset,
                            data.data() + offset, size);
                return;
            }
            void* target =
                glMapNamedBufferRange(r->backend.object, offset, size,
                                      GL_MAP_WRITE_BIT | GL_MAP_INVALIDATE_RANGE_BIT | GL_MAP_UNSYNCHRONIZED_BIT);
            if (target) {
                std::memcpy(target, data.data() + offset, size);
                if (glUnmapNamedBuffer(r->backend.object)) return;
            }
        }
        // In order with the draws made before: a draw already made still sees the old bytes.
        glNamedBufferSubData(r->backend.object, offset, size, data.data() + offset);
    }

    static bool IsDynamicBuffer(const ResourceCommon* r) {
        const DWORD usage = r->kind == ResourceCommon::Kind::IndexBuffer
                                ? static_cast<const IndexBuffer*>(r)->desc.Usage
                                : static_cast<const VertexBuffer*>(r)->desc.Usage;
        return (usage & D3DUSAGE_DYNAMIC) != 0;
    }

    // A storage of a dynamic buffer: mapped for good (coherent, so what is copied in is what
    // the next draw reads) where the driver allows, else a plain one written through maps.
    static bool MakeStreamStorage(StreamStorage& storage, GLsizeiptr bytes, const void* initial) {
        constexpr GLbitfield kMapping = GL_MAP_WRITE_BIT | GL_MAP_PERSISTENT_BIT | GL_MAP_COHERENT_BIT;
        glCreateBuffers(1, &storage.object);
        glNamedBufferStorage(storage.object, bytes, initial, kMapping | GL_DYNAMIC_STORAGE_BIT);
        if (glGetError() == GL_NO_ERROR && bytes > 0)
            storage.mapped = glMapNamedBufferRange(storage.object, 0, bytes, kMapping);
        if (!storage.mapped) {
            glDeleteBuffers(1, &storage.object);
            glCreateBuffers(1, &storage.object);
            glNamedBufferData(storage.object, bytes, initial, GL_DYNAMIC_DRAW);
        }
        if (glGetError() == GL_NO_ERROR) return true;
        glDeleteBuffers(1, &storage.object);
        storage = StreamStorage();
        return false;
    }

    // A discarding lock of a dynamic buffer moves it to a storage no draw reads any more: the
    // storage left is fenced, and the next one whose fence has passed is taken, or a new one
    // while there are few. Orphaning instead would have the driver allocate and clear a whole
    // new storage at every discard; these storages are made once and reused.
    GLuint NextStreamStorage(ResourceCommon* r, GLsizeiptr bytes) {
        constexpr std::size_t kMaxStorages = 4;
        Stream& stream = m_streams[r];
        if (stream.storages.empty()) stream.storages.push_back({r->backend.object, nullptr, nullptr});
        StreamStorage& left = stream.storages[stream.current];
        if (left.fence) glDeleteSync(left.fence);
        left.fence = glFenceSync(GL_SYNC_GPU_COMMANDS_COMPLETE, 0);
        const std::size_t count = stream.storages.size();
        for (std::size_t step = 1; step < count; ++step) {
            const std::size_t i = (stream.current + step) % count;
            StreamStorage& candidate = stream.storages[i];
            if (candidate.fence) {
                const GLenum state = glClientWaitSync(candidate.fence, 0, 0);
                if (state != GL_ALREADY_SIGNALED && state != GL_CONDITION_SATISFIED) continue;
                glDeleteSync(candidate.fence);
                candidate.fence = nullptr;
            }
            stream.current = i;
            return candidate.object;
        }
        if (count < kMaxStorages) {
            StreamStorage fresh;
            if (MakeStreamStorage(fresh, bytes, nullptr)) {
                stream.storages.push_back(fresh);
                stream.current = count;
                return fresh.object;
            }
        }
        // Every storage is still read: wait for the one left longest ago.
        const std::size_t oldest = (stream.current + 1) % count;
        StreamStorage& wait = stream.storages[oldest];
        if (wait.fence) {
            glClientWaitSync(wait.fence, GL_SYNC_FLUSH_COMMANDS_BIT, ~GLuint64(0));
            glDeleteSync(wait.fence);
            wait.fence = nullptr;
        }
        stream.current = oldest;
        return wait.object;
    }

    void OnSurfaceUnlocked(Surface* s) override {
        ScopedDriverAllocations driver;
        Upload(s);
    }

    void OnTextureLodChanged(TextureBase* t) override {
        glTextureParameteri(t->backend.object, GL_TEXTURE_BASE_LEVEL, static_cast<GLint>(t->lod));
    }

    void BackendClear(DWORD count, const D3DRECT* rects, DWORD flags, D3DCOLOR colour, float z,
                      DWORD stencil) override {
        ScopedDriverAllocations driver;
        if (!BindTarget()) return;
        float c[4];
        ColorToVec4(colour, c);
        glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
        glDepthMask(GL_TRUE);
        glStencilMask(0xFF);
        glClearColor(c[0], c[1], c[2], c[3]);
        glClearDepth(z);
        glClearStencil(static_cast<GLint>(stencil));
        GLbitfield mask = 0;
        if (flags & D3DCLEAR_TARGET) mask |= GL_COLOR_BUFFER_BIT;
        if ((flags & D3DCLEAR_ZBUFFER) && m_boundDepth) mask |= GL_DEPTH_BUFFER_BIT;
        if ((flags & D3DCLEAR_STENCIL) && m_boundDepth) mask |= GL_STENCIL_BUFFER_BIT;
        if (!mask) return;
        const D3DVIEWPORT9& vp = m_state.viewport;
        glEnable(GL_SCISSOR_TEST);
        auto clearRect = [&](LONG x1, LONG y1, LONG x2, LONG y2) {
            x1 = std::max<LONG>(x1, static_cast<LONG>(vp.X));
            y1 = std::max<LONG>(y1, static_cast<LONG>(vp.Y));
            x2 = std::min<LONG>(x2, static_cast<LONG>(vp.X + vp.Width));
            y2 = std::min<LONG>(y2, static_cast<LONG>(vp.Y + vp.Height));
            if (x2 <= x1 || y2 <= y1) return;
            glScissor(x1, y1, x2 - x1, y2 - y1);
            glClear(mask);
        };
        if (count == 0) {
            clearRect(0, 0, 1 << 30, 1 << 30);
        } else {
            for (DWORD i = 0; i < count; ++i) clearRect(rects[i].x1, rects[i].y1, rects[i].x2, rects[i].y2);
        }
        glDisable(GL_SCISSOR_TEST);
    }

    HRESULT BackendStretchRect(Surface* src, const RECT& s, Surface* dst, const RECT& d,
                               D3DTEXTUREFILTERTYPE filter) override {
        ScopedDriverAllocations driver;
        ReleaseDrawFramebuffer();
        const bool sameRect = s.left == d.left && s.top == d.top && s.right == d.right && s.bottom == d.bottom;
        if (src->backend.samples && !(sameRect && ColourFormat(src).internal == ColourFormat(dst).internal)) {
            // GL resolves samples only between equal rectangles of one format: resolve in place
            // into the scratch first, then scale from there with the filter asked for.
            glNamedFramebufferTexture(m_readFbo, GL_COLOR_ATTACHMENT0, Resolve(src, s), 0);
        } else {
            AttachColor(m_readFbo, src);
        }
        AttachColor(m_drawFbo, dst);
        // An unscaled copy filters nothing; nearest also keeps a direct resolve legal.
        const bool nearest = sameRect || filter == D3DTEXF_POINT || filter == D3DTEXF_NONE;
        glBlitNamedFramebuffer(m_readFbo, m_drawFbo, s.left, s.top, s.right, s.bottom, d.left, d.top, d.right, d.bottom,
                               GL_COLOR_BUFFER_BIT, nearest ? GL_NEAREST : GL_LINEAR);
        return D3D_OK;
    }

    HRESULT BackendPresent() override {
        ScopedDriverAllocations driver;
        int w = 0, h = 0;
        SDL_GL_GetDrawableSize(m_window, &w, &h);
        if (m_backBuffer->backend.samples) {
            // GL resolves samples only into the same rectangle, never flipped or scaled as below.
            const RECT all{0, 0, static_cast<LONG>(m_backBuffer->desc.Width),
                           static_cast<LONG>(m_backBuffer->desc.Height)};
            ReleaseDrawFramebuffer();
            glNamedFramebufferTexture(m_readFbo, GL_COLOR_ATTACHMENT0, Resolve(m_backBuffer, all), 0);
        } else {
            AttachColor(m_readFbo, m_backBuffer);
        }
        glBindFramebuffer(GL_DRAW_FRAMEBUFFER, 0);
        // Our images are stored top row first; the window's framebuffer starts at the bottom.
        glBlitNamedFramebuffer(m_readFbo, 0, 0, 0, static_cast<GLint>(m_backBuffer->desc.Width),
                               static_cast<GLint>(m_backBuffer->desc.Height), 0, h, w, 0, GL_COLOR_BUFFER_BIT,
                               GL_LINEAR);
        SDL_GL_SwapWindow(m_window);
        m_boundColor = m_boundDepth = nullptr;
        return D3D_OK;
    }

    HRESULT BackendReset() override {
        SDL_GL_SetSwapInterval(m_params.PresentationInterval == D3DPRESENT_INTERVAL_IMMEDIATE ? 0 : 1);
        m_boundColor = m_boundDepth = nullptr;
        return D3D_OK;
    }

    HRESULT BackendReadRenderTarget(Surface* s, D3DCOLOR* pixels) override {
        ScopedDriverAllocations driver;
        AttachColor(m_readFbo, s);
        glBindFramebuffer(GL_READ_FRAMEBUFFER, m_readFbo);
        glReadPixels(0, 0, static_cast<GLsizei>(s->desc.Width), static_cast<GLsizei>(s->desc.Height), GL_BGRA,
                     GL_UNSIGNED_BYTE, pixels);
        glBindFramebuffer(GL_READ_FRAMEBUFFER, 0);
        return glGetError() == GL_NO_ERROR ? D3D_OK : D3DERR_INVALIDCALL;
    }

    HRESULT BackendCreateProgram(Program* p, std::string* errors) override {
        ScopedDriverAllocations driver;
        GLuint program = 0;
        if (!CompileProgram(p->vertexSource, p->pixelSource, program, errors)) return D3DERR_INVALIDCALL;
        p->backend.object = program;
        return D3D_OK;
    }

    HRESULT BackendSetProgramFloats(Program* p, const char* name, const float* values, UINT count) override {
        const ProgramUniform u = Uniform(p, name);
        if (u.location < 0 || count == 0) return D3D_OK;
        const GLuint o = p->backend.object;
        switch (u.type) {
        case GL_FLOAT_MAT4:
            glProgramUniformMatrix4fv(o, u.location, std::min<GLsizei>(u.size, count / 16), GL_FALSE, values);
            break;
        case GL_FLOAT_VEC4: glProgramUniform4fv(o, u.location, std::min<GLsizei>(u.size, count / 4), values); break;
        case GL_FLOAT_VEC3: glProgramUniform3fv(o, u.location, std::min<GLsizei>(u.size, count / 3), values); break;
        case GL_FLOAT_VEC2: glProgramUniform2fv(o, u.location, std::min<GLsizei>(u.size, count / 2), values); break;
        case GL_FLOAT: glProgramUniform1fv(o, u.location, std::min<GLsizei>(u.size, count), values); break;
        default: break; // not a float uniform: ignored like an unknown name
        }
        return D3D_OK;
    }

    HRESULT BackendSetProgramInts(Program* p, const char* name, const INT* values, UINT count) override {
        const ProgramUniform u = Uniform(p, name);
        if (u.location >= 0 && count)
            glProgramUniform1iv(p->backend.object, u.location, std::min<GLsizei>(u.size, count), values);
        return D3D_OK;
    }

    HRESULT BackendDraw(const DrawCall& call) override;

    void BackendSetProgramDeviceValues(Program* p, const ProgramDeviceValues& v) override {
        ScopedDriverAllocations driver;
        const GLuint o = p->backend.object;
        if (!o) return;
        auto found = m_deviceUniforms.find(o);
        if (found == m_deviceUniforms.end()) {
            // Looked up once per program; a name declared with another type is left alone.
            DeviceUniforms u;
            for (std::size_t i = 0; i < kDeviceUniformCount; ++i) {
                const ProgramUniform pu = Uniform(p, kDeviceUniforms[i].name);
                u.location[i] =
                    pu.location >= 0 && pu.type == kDeviceUniforms[i].type && pu.size == 1 ? pu.location : -1;
            }
            found = m_deviceUniforms.emplace(o, u).first;
        }
        const GLint* loc = found->second.location;
        const D3DMATRIX* matrices[] = {&v.world,     &v.view,           &v.projection,
                                       &v.worldView, &v.viewProjection, &v.worldViewProjection};
        for (std::size_t i = 0; i < 6; ++i)
            if (loc[i] >= 0) glProgramUniformMatrix4fv(o, loc[i], 1, GL_FALSE, &matrices[i]->_11);
        if (loc[6] >= 0) glProgramUniform4fv(o, loc[6], 1, v.viewport);
        if (loc[7] >= 0) glProgramUniform1f(o, loc[7], v.pretransformed);
        if (loc[8] >= 0) glProgramUniform2fv(o, loc[8], 1, v.halfPixel);
    }

private:
    // The device-state uniforms, in the order BackendSetProgramDeviceValues sets them.
    struct DeviceUniformName {
        const char* name;
        GLenum type;
    };
    static constexpr std::size_t kDeviceUniformCount = 9;
    static constexpr DeviceUniformName kDeviceUniforms[kDeviceUniformCount] = {
        {"kx_World", GL_FLOAT_MAT4},          {"kx_View", GL_FLOAT_MAT4},
        {"kx_Projection", GL_FLOAT_MAT4},     {"kx_WorldView", GL_FLOAT_MAT4},
        {"kx_ViewProjection", GL_FLOAT_MAT4}, {"kx_WorldViewProjection", GL_FLOAT_MAT4},
        {"kx_Viewport", GL_FLOAT_VEC4},       {"kx_Pretransformed", GL_FLOAT},
        {"kx_HalfPixel", GL_FLOAT_VEC2},
    };
    struct DeviceUniforms {
        GLint location[kDeviceUniformCount];
    };

    // The depth-stencil storage, with the samples of the colour buffer it serves.
    void CreateDepth(Surface* s, GLsizei samples) {
        glCreateRenderbuffers(1, &s->backend.renderbuffer);
        glNamedRenderbufferStorageMultisample(s->backend.renderbuffer, samples > 1 ? samples : 0, GL_DEPTH24_STENCIL8,
                                              static_cast<GLsizei>(s->desc.Width),
                                              static_cast<GLsizei>(s->desc.Height));
        s->backend.samples = samples > 1 ? static_cast<std::uint32_t>(samples) : 0;
    }

    static GLFormat ColourFormat(const Surface* s) {
        const GLFormat f = FormatFor(s->desc.Format);
        return f.internal ? f : FormatFor(D3DFMT_X8R8G8B8);
    }

    // The draw framebuffer is about to hold something other than the render target: forget
    // what BindTarget attached, and drop the depth buffer, whose samples may not match.
    void ReleaseDrawFramebuffer() {
        m_boundColor = nullptr;
        m_boundDepth = nullptr;
        glNamedFramebufferRenderbuffer(m_drawFbo, GL_DEPTH_STENCIL_ATTACHMENT, GL_RENDERBUFFER, 0);
    }

    // Resolves rect r of a multisampled surface into the same rect of a single-sample scratch
    // texture of its size and format, kept for the next frame; answers the scratch. Uses both
    // framebuffers; the caller has released the draw framebuffer.
    GLuint Resolve(Surface* s, const RECT& r) {
        const GLFormat f = ColourFormat(s);
        const GLsizei w = static_cast<GLsizei>(s->desc.Width), h = static_cast<GLsizei>(s->desc.Height);
        if (!m_resolve || m_resolveWidth != w || m_resolveHeight != h || m_resolveInternal != f.internal) {
            if (m_resolve) glDeleteTextures(1, &m_resolve);
            glCreateTextures(GL_TEXTURE_2D, 1, &m_resolve);
            glTextureStorage2D(m_resolve, 1, f.internal, w, h);
            m_resolveWidth = w;
            m_resolveHeight = h;
            m_resolveInternal = f.internal;
        }
        AttachColor(m_readFbo, s);
        glNamedFramebufferTexture(m_drawFbo, GL_COLOR_ATTACHMENT0, m_resolve, 0);
        glBlitNamedFramebuffer(m_readFbo, m_drawFbo, r.left, r.top, r.right, r.bottom, r.left, r.top, r.right, r.bottom,
                               GL_COLOR_BUFFER_BIT, GL_NEAREST);
        return m_resolve;
    }

    struct ProgramUniform {
        GLint location = -1;
        GLenum type = 0;
        GLsizei size = 0;
    };
    // A uniform of a program by name (looked up once per program and name).
    ProgramUniform Uniform(Program* p, const char* name) {
        auto& cache = m_uniforms[p->backend.object];
        auto it = cache.find(name);
        if (it != cache.end()) return it->second;
        ProgramUniform u;
        u.location = glGetUniformLocation(p->backend.object, name);
        if (u.location >= 0) {
            GLuint index = GL_INVALID_INDEX;
            glGetUniformIndices(p->backend.object, 1, &name, &index);
            GLint size = 1;
            if (index != GL_INVALID_INDEX)
                glGetActiveUniform(p->backend.object, index, 0, nullptr, &size, &u.type, nullptr);
            u.size = std::max<GLsizei>(1, size);
        }
        cache.emplace(name, u);
        return u;
    }

    static GLuint ColorTexture(Surface* s) { return s->container ? s->container->backend.object : s->backend.object; }

    void AttachColor(GLuint fbo, Surface* s) {
        if (s->backend.samples)
            glNamedFramebufferRenderbuffer(fbo, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, s->backend.renderbuffer);
        else if (s->container && s->container->type == D3DRTYPE_CUBETEXTURE)
            glNamedFramebufferTextureLayer(fbo, GL_COLOR_ATTACHMENT0, ColorTexture(s), static_cast<GLint>(s->level),
                                           static_cast<GLint>(s->face));
        else
            glNamedFramebufferTexture(fbo, GL_COLOR_ATTACHMENT0, ColorTexture(s), static_cast<GLint>(s->level));
    }

    bool BindTarget() {
        Surface* rt = m_state.renderTarget;
        if (!rt) return false;
        Surface* ds = m_state.depthStencil;
        if (ds && !ds->backend.renderbuffer) ds = nullptr;
        // A depth buffer of other samples than the target would leave the framebuffer
        // incomplete; drawing goes on without depth, as the target cannot use it anyway.
        if (ds && ds->backend.samples != rt->backend.samples) ds = nullptr;
        if (rt != m_boundColor) {
            AttachColor(m_drawFbo, rt);
            m_boundColor = rt;
        }
        if (ds != m_boundDepth || !m_depthAttached) {
            glNamedFramebufferRenderbuffer(m_drawFbo, GL_DEPTH_STENCIL_ATTACHMENT, GL_RENDERBUFFER,
                                           ds ? ds->backend.renderbuffer : 0);
            m_boundDepth = ds;
            m_depthAttached = true;
        }
        glBindFramebuffer(GL_DRAW_FRAMEBUFFER, m_drawFbo);
        return true;
    }

    void Upload(Surface* s) {
        TextureBase* t = s->container;
        if (!t || !t->backend.object || s->data.empty()) return;
        const GLFormat f = FormatFor(t->format);
        const GLint level = static_cast<GLint>(s->level);
        const GLsizei w = static_cast<GLsizei>(s->desc.Width), h = static_cast<GLsizei>(s->desc.Height);
        const bool cube = t->type == D3DRTYPE_CUBETEXTURE;
        const GLint face = static_cast<GLint>(s->face);
        if (f.compressed) {
            if (cube)
                glCompressedTextureSubImage3D(t->backend.object, level, 0, 0, face, w, h, 1, f.internal,
                                              static_cast<GLsizei>(s->data.size()), s->data.data());
            else
                glCompressedTextureSubImage2D(t->backend.object, level, 0, 0, w, h, f.internal,
                                              static_cast<GLsizei>(s->data.size()), s->data.data());
        } else if (cube) {
            glTextureSubImage3D(t->backend.object, level, 0, 0, face, w, h, 1, f.format, f.type, s->data.data());
        } else {
            glTextureSubImage2D(t->backend.object, level, 0, 0, w, h, f.format, f.type, s->data.data());
        }
    }

    FFProgram* FixedFunctionProgram(DWORD fvf, std::string* failure);
    void ApplyRasterState();
    void ApplySamplers();
    void SetFixedFunctionUniforms(FFProgram& p, DWORD fvf);

    SDL_Window* m_window;
    bool m_ownsWindow;
    SDL_GLContext m_context;
    GLuint m_vao = 0, m_scratchVertices = 0, m_scratchIndices = 0, m_drawFbo = 0, m_readFbo = 0;
    // The storages of dynamic buffers (MakeStreamStorage, NextStreamStorage).
    std::unordered_map<const ResourceCommon*, Stream> m_streams;
    GLuint m_samplers[D3DMaxSamplers] = {};
    Surface* m_boundColor = nullptr;
    Surface* m_boundDepth = nullptr;
    bool m_depthAttached = false;
    GLuint m_resolve = 0; // single-sample scratch a multisampled surface resolves into
    GLsizei m_resolveWidth = 0, m_resolveHeight = 0;
    GLenum m_resolveInternal = 0;
    std::unordered_map<std::string, FFProgram> m_programs; // by generated text
    std::unordered_map<std::string, FFProgram*> m_keyed;   // by the state it was generated from
    std::vector<DWORD> m_activeLights;
    std::string m_programKey; // FixedFunctionProgram's key, kept between draws for its capacity
    std::unordered_map<GLuint, std::unordered_map<std::string, ProgramUniform>> m_uniforms;
    std::unordered_map<GLuint, DeviceUniforms> m_deviceUniforms;
};

// ---------------------------------------------------------------------------------------------
// Fixed-function emulation

FFProgram* GLDevice::FixedFunctionProgram(DWORD fvf, std::string* failure) {
    ActiveFixedFunctionLights(m_state, fvf, m_activeLights);
    FixedFunctionKey(m_state, fvf, m_activeLights, m_programKey);
    if (auto found = m_keyed.find(m_programKey); found != m_keyed.end()) return found->second;

    // Keys that differ only in states the text ignores (an alpha function with the test off)
    // share one program.
    FixedFunctionSource source = GenerateFixedFunctionSource(m_state, fvf, m_activeLights);
    std::string fullKey = source.vertex + source.fragment;
    FFProgram* program = nullptr;
    if (auto it = m_programs.find(fullKey); it != m_programs.end()) {
        program = &it->second;
    } else {
        FFProgram p;
        if (!CompileProgram(source.vertex, source.fragment, p.program, failure)) return nullptr;
        program = &m_programs.emplace(std::move(fullKey), std::move(p)).first->second;
    }
    m_keyed.emplace(m_programKey, program);
    return program;
}

void GLDevice::SetFixedFunctionUniforms(FFProgram& p, DWORD fvf) {
    const auto& st = m_state;
    const D3DMATRIX wv = Multiply(st.world, st.view);
    glUniformMatrix4fv(p.Loc("u_worldView"), 1, GL_FALSE, &wv._11);
    glUniformMatrix4fv(p.Loc("u_projection"), 1, GL_FALSE, &st.projection._11);
    float nm[9];
    NormalMatrix(wv, nm);
    glUniformMatrix3fv(p.Loc("u_normalMatrix"), 1, GL_FALSE, nm);
    const D3DVIEWPORT9& vp = st.viewport;
    glUniform4f(p.Loc("u_viewport"), static_cast<float>(vp.X), static_cast<float>(vp.Y), static_cast<float>(vp.Width),
                static_cast<float>(vp.Height));
    float halfPixel[2];
    HalfPixelShift(vp, halfPixel);
    glUniform2fv(p.Loc("u_halfPixel"), 1, halfPixel);
    float v[4];
    Vec4(st.material.Diffuse, v);
    glUniform4fv(p.Loc("u_matDiffuse"), 1, v);
    Vec4(st.material.Ambient, v);
    glUniform4fv(p.Loc("u_matAmbient"), 1, v);
    Vec4(st.material.Specular, v);
    glUniform4fv(p.Loc("u_matSpecular"), 1, v);
    Vec4(st.material.Emissive, v);
    glUniform4fv(p.Loc("u_matEmissive"), 1, v);
    glUniform1f(p.Loc("u_matPower"), st.material.Power);
    ColorToVec4(st.rs[D3DRS_AMBIENT], v);
    glUniform4fv(p.Loc("u_ambient"), 1, v);
    glUniform4f(p.Loc("u_fog"), DwordToFloat(st.rs[D3DRS_FOGSTART]), DwordToFloat(st.rs[D3DRS_FOGEND]),
                DwordToFloat(st.rs[D3DRS_FOGDENSITY]), 0.0f);
    ColorToVec4(st.rs[D3DRS_FOGCOLOR], v);
    glUniform3fv(p.Loc("u_fogColor"), 1, v);
    ColorToVec4(st.rs[D3DRS_TEXTUREFACTOR], v);
    glUniform4fv(p.Loc("u_tfactor"), 1, v);
    glUniform1f(p.Loc("u_alphaRef"), static_cast<float>(st.rs[D3DRS_ALPHAREF] & 0xFF));
    for (int s = 0; s < 4; ++s) {
        const GLint l = p.Loc(("u_texture" + std::to_string(s)).c_str());
        if (l >= 0) glUniform1i(l, s);
    }
    const std::size_t n = m_activeLights.size();
    if (n) {
        std::vector<float> diffuse(n * 4), specular(n * 4), ambient(n * 4), position(n * 3), direction(n * 3),
            attenuation(n * 4), spot(n * 4);
        for (std::size_t k = 0; k < n; ++k) {
            const D3DLIGHT9& l = st.lights.at(m_activeLights[k]);
            Vec4(l.Diffuse, &diffuse[k * 4]);
            Vec4(l.Specular, &specular[k * 4]);
            Vec4(l.Ambient, &ambient[k * 4]);
            TransformPoint(l.Position, st.view, &position[k * 3]);
            float d[3];
            TransformDirection(l.Direction, st.view, d);
            const float len = std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
            for (int i = 0; i < 3; ++i) direction[k * 3 + i] = len > 0 ? -d[i] / len : 0.0f; // towards the light
            attenuation[k * 4 + 0] = l.Attenuation0;
            attenuation[k * 4 + 1] = l.Attenuation1;
            attenuation[k * 4 + 2] = l.Attenuation2;
            attenuation[k * 4 + 3] = l.Range > 0 ? l.Range : 3.4e38f;
            spot[k * 4 + 0] = std::cos(l.Theta * 0.5f);
            spot[k * 4 + 1] = std::cos(l.Phi * 0.5f);
            spot[k * 4 + 2] = l.Falloff;
        }
        const GLsizei count = static_cast<GLsizei>(n);
        glUniform4fv(p.Loc("u_lightDiffuse"), count, diffuse.data());
        glUniform4fv(p.Loc("u_lightSpecular"), count, specular.data());
        glUniform4fv(p.Loc("u_lightAmbient"), count, ambient.data());
        glUniform3fv(p.Loc("u_lightPosition"), count, position.data());
        glUniform3fv(p.Loc("u_lightDirection"), count, direction.data());
        glUniform4fv(p.Loc("u_lightAttenuation"), count, attenuation.data());
        glUniform4fv(p.Loc("u_lightSpot"), count, spot.data());
    }
    (void)fvf;
}

void GLDevice::ApplyRasterState() {
    const auto& rs = m_state.rs;
    const D3DVIEWPORT9& vp = m_state.viewport;
    glViewport(static_cast<GLint>(vp.X), static_cast<GLint>(vp.Y), static_cast<GLsizei>(vp.Width),
               static_cast<GLsizei>(vp.Height));
    glDepthRange(vp.MinZ, vp.MaxZ);
    if (rs[D3DRS_ZENABLE] && m_boundDepth) {
        glEnable(GL_DEPTH_TEST);
        glDepthFunc(CompareFunc(rs[D3DRS_ZFUNC]));
        glDepthMask(rs[D3DRS_ZWRITEENABLE] ? GL_TRUE : GL_FALSE);
    } else {
        glDisable(GL_DEPTH_TEST);
    }
    if (rs[D3DRS_ALPHABLENDENABLE]) {
        glEnable(GL_BLEND);
        GLenum src = BlendFactor(rs[D3DRS_SRCBLEND]), dst = BlendFactor(rs[D3DRS_DESTBLEND]);
        if (rs[D3DRS_SRCBLEND] == D3DBLEND_BOTHSRCALPHA) dst = GL_ONE_MINUS_SRC_ALPHA;
        if (rs[D3DRS_SRCBLEND] == D3DBLEND_BOTHINVSRCALPHA) {
            src = GL_ONE_MINUS_SRC_ALPHA;
            dst = GL_SRC_ALPHA;
        }
        if (rs[D3DRS_SEPARATEALPHABLENDENABLE]) {
            glBlendFuncSeparate(src, dst, BlendFactor(rs[D3DRS_SRCBLENDALPHA]), BlendFactor(rs[D3DRS_DESTBLENDALPHA]));
            glBlendEquationSeparate(BlendEquation(rs[D3DRS_BLENDOP]), BlendEquation(rs[D3DRS_BLENDOPALPHA]));
        } else {
            glBlendFunc(src, dst);
            glBlendEquation(BlendEquation(rs[D3DRS_BLENDOP]));
        }
    } else {
        glDisable(GL_BLEND);
    }
    // With the upper-left clip origin, GL's counter-clockwise is clockwise on the screen as the
    // original platform sees it.
    switch (rs[D3DRS_CULLMODE]) {
    case D3DCULL_NONE: glDisable(GL_CULL_FACE); break;
    case D3DCULL_CW:
        glEnable(GL_CULL_FACE);
        glFrontFace(GL_CCW);
        glCullFace(kCullClockwise);
        break;
    default:
        glEnable(GL_CULL_FACE);
        glFrontFace(GL_CCW);
        glCullFace(kCullCounterClockwise);
        break;
    }
    const DWORD mask = rs[D3DRS_COLORWRITEENABLE];
    glColorMask(mask & 1, (mask >> 1) & 1, (mask >> 2) & 1, (mask >> 3) & 1);
    glPolygonMode(GL_FRONT_AND_BACK, rs[D3DRS_FILLMODE] == D3DFILL_WIREFRAME ? GL_LINE
                                     : rs[D3DRS_FILLMODE] == D3DFILL_POINT   ? GL_POINT
                                                                             : GL_FILL);
    glDisable(GL_SCISSOR_TEST);
    // Per draw, as the original platform switches it; a single-sample target ignores it.
    if (rs[D3DRS_MULTISAMPLEANTIALIAS])
        glEnable(GL_MULTISAMPLE);
    else
        glDisable(GL_MULTISAMPLE);
}

void GLDevice::ApplySamplers() {
    for (DWORD s = 0; s < D3DMaxTextureStages; ++s) {
        TextureBase* t = m_state.textures[s];
        glBindTextureUnit(s, t ? t->backend.object : 0);
        if (!t) continue;
        const auto& smp = m_state.samp[s];
        const GLuint o = m_samplers[s];
        glSamplerParameteri(o, GL_TEXTURE_WRAP_S, static_cast<GLint>(AddressMode(smp[D3DSAMP_ADDRESSU])));
        glSamplerParameteri(o, GL_TEXTURE_WRAP_T, static_cast<GLint>(AddressMode(smp[D3DSAMP_ADDRESSV])));
        glSamplerParameteri(o, GL_TEXTURE_WRAP_R, static_cast<GLint>(AddressMode(smp[D3DSAMP_ADDRESSW])));
        const bool magLinear = smp[D3DSAMP_MAGFILTER] >= D3DTEXF_LINEAR;
        const bool minLinear = smp[D3DSAMP_MINFILTER] >= D3DTEXF_LINEAR;
        GLenum minFilter;
        switch (smp[D3DSAMP_MIPFILTER]) {
        case D3DTEXF_POINT: minFilter = minLinear ? GL_LINEAR_MIPMAP_NEAREST : GL_NEAREST_MIPMAP_NEAREST; break;
        case D3DTEXF_LINEAR:
        case D3DTEXF_ANISOTROPIC: minFilter = minLinear ? GL_LINEAR_MIPMAP_LINEAR : GL_NEAREST_MIPMAP_LINEAR; break;
        default: minFilter = minLinear ? GL_LINEAR : GL_NEAREST; break;
        }
        glSamplerParameteri(o, GL_TEXTURE_MIN_FILTER, static_cast<GLint>(minFilter));
        glSamplerParameteri(o, GL_TEXTURE_MAG_FILTER, magLinear ? GL_LINEAR : GL_NEAREST);
        if (m_caps.MaxAnisotropy > 1) {
            const bool aniso =
                smp[D3DSAMP_MINFILTER] == D3DTEXF_ANISOTROPIC || smp[D3DSAMP_MAGFILTER] == D3DTEXF_ANISOTROPIC;
            const float amount =
                aniso ? static_cast<float>(std::clamp<DWORD>(smp[D3DSAMP_MAXANISOTROPY], 1, m_caps.MaxAnisotropy))
                      : 1.0f;
            glSamplerParameterf(o, GL_TEXTURE_MAX_ANISOTROPY, amount);
        }
        glSamplerParameterf(o, GL_TEXTURE_LOD_BIAS, DwordToFloat(smp[D3DSAMP_MIPMAPLODBIAS]));
        glSamplerParameterf(o, GL_TEXTURE_MIN_LOD, static_cast<float>(smp[D3DSAMP_MAXMIPLEVEL]));
        float border[4];
        ColorToVec4(smp[D3DSAMP_BORDERCOLOR], border);
        glSamplerParameterfv(o, GL_TEXTURE_BORDER_COLOR, border);
        glBindSampler(s, o);
    }
}

// KX_GL_TRACE=1 reports GL errors around each draw (a development aid).
static void Check(const char* where) {
    static const bool trace = std::getenv("KX_GL_TRACE") != nullptr;
    if (!trace) return;
    for (GLenum e = glGetError(); e != GL_NO_ERROR; e = glGetError())
        std::fprintf(stderr, "GL error 0x%x at %s\n", e, where);
}

HRESULT GLDevice::BackendDraw(const DrawCall& call) {
    ScopedDriverAllocations driver;
    Check("before draw");
    if (!BindTarget()) return D3DERR_INVALIDCALL;
    ApplyRasterState();
    Check("raster");
    const DWORD fvf = m_state.fvf;
    if (m_state.program) {
        glUseProgram(m_state.program->backend.object);
    } else {
        std::string failure;
        FFProgram* p = FixedFunctionProgram(fvf, &failure);
        if (!p) return D3DERR_DRIVERINTERNALERROR;
        glUseProgram(p->program);
        SetFixedFunctionUniforms(*p, fvf);
    }
    Check("program");
    ApplySamplers();
    Check("samplers");

    // Vertices.
    glBindVertexArray(m_vao);
    GLuint vbo = 0;
    GLintptr base = 0;
    if (call.vertexBuffer) {
        vbo = call.vertexBuffer->backend.object;
        base = call.vertexOffset;
    } else {
        vbo = m_scratchVertices;
        const std::size_t bytes = static_cast<std::size_t>(call.userVertexCount) * call.stride;
        glNamedBufferData(vbo, static_cast<GLsizeiptr>(bytes), call.userVertices, GL_STREAM_DRAW);
    }
    glBindBuffer(GL_ARRAY_BUFFER, vbo);
    for (GLuint i = 0; i < 12; ++i) glDisableVertexAttribArray(i);
    GLintptr offset = base;
    auto attrib = [&](GLuint index, GLint size, GLenum type, GLboolean norm, GLintptr bytes) {
        glEnableVertexAttribArray(index);
        glVertexAttribPointer(index, size, type, norm, static_cast<GLsizei>(call.stride),
                              reinterpret_cast<const void*>(offset));
        offset += bytes;
    };
    switch (fvf & D3DFVF_POSITION_MASK) {
    case D3DFVF_XYZ: attrib(0, 3, GL_FLOAT, GL_FALSE, 12); break;
    case D3DFVF_XYZRHW:
    case D3DFVF_XYZW: attrib(0, 4, GL_FLOAT, GL_FALSE, 16); break;
    default:
        attrib(0, 3, GL_FLOAT, GL_FALSE, static_cast<GLintptr>(D3DFVFVertexSize(fvf & D3DFVF_POSITION_MASK)));
        break;
    }
    if (fvf & D3DFVF_NORMAL) attrib(1, 3, GL_FLOAT, GL_FALSE, 12);
    if (fvf & D3DFVF_PSIZE) offset += 4;
    if (fvf & D3DFVF_DIFFUSE) attrib(2, GL_BGRA, GL_UNSIGNED_BYTE, GL_TRUE, 4);
    if (fvf & D3DFVF_SPECULAR) attrib(3, GL_BGRA, GL_UNSIGNED_BYTE, GL_TRUE, 4);
    const UINT texCount = (fvf & D3DFVF_TEXCOUNT_MASK) >> D3DFVF_TEXCOUNT_SHIFT;
    for (UINT i = 0; i < texCount && i < 8; ++i) {
        GLint size = 2;
        switch ((fvf >> (16 + 2 * i)) & 3) {
        case D3DFVF_TEXTUREFORMAT1: size = 1; break;
        case D3DFVF_TEXTUREFORMAT3: size = 3; break;
        case D3DFVF_TEXTUREFORMAT4: size = 4; break;
        default: break;
        }
        attrib(4 + i, size, GL_FLOAT, GL_FALSE, size * 4);
    }
    // Absent inputs read as D3D's defaults.
    glVertexAttrib4f(2, 1, 1, 1, 1);
    glVertexAttrib4f(3, 0, 0, 0, 0);

    Check("attributes");
    const GLenum mode = Primitive(call.type);
    if (call.indexed) {
        const GLenum type = call.indexFormat == D3DFMT_INDEX32 ? GL_UNSIGNED_INT : GL_UNSIGNED_SHORT;
        const UINT size = call.indexFormat == D3DFMT_INDEX32 ? 4 : 2;
        GLuint ibo;
        GLintptr first;
        if (call.indexBuffer) {
            ibo = call.indexBuffer->backend.object;
            first = static_cast<GLintptr>(call.startIndex) * size;
        } else {
            ibo = m_scratchIndices;
            glNamedBufferData(ibo, static_cast<GLsizeiptr>(call.indexCount) * size, call.userIndices, GL_STREAM_DRAW);
            first = 0;
        }
        glVertexArrayElementBuffer(m_vao, ibo);
        glDrawElementsBaseVertex(mode, static_cast<GLsizei>(call.indexCount), type,
                                 reinterpret_cast<const void*>(first), call.baseVertex);
    } else {
        glDrawArrays(mode, static_cast<GLint>(call.startVertex), static_cast<GLsizei>(call.vertexCount));
    }
    glBindVertexArray(0);
    return glGetError() == GL_NO_ERROR ? D3D_OK : D3DERR_DRIVERINTERNALERROR;
}

bool ProbeOpenGL(D3DCAPS9& caps, MultisampleLevels& multisample) {
    if (g_probed) {
        caps = g_probedCaps;
        multisample = ProbedMultisampleLevels();
        return g_probeResult;
    }
    g_probed = true;
    if (!InitVideo()) return false;
    ScopedDriverAllocations driver;
    SDL_Window* window = static_cast<SDL_Window*>(CreateGameWindow("", 16, 16, true, true));
    if (!window) return false;
    SDL_GLContext context = nullptr;
    if (MakeContext(window, context)) {
        GLint maxSize = 0;
        glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxSize);
        GLfloat maxAniso = 1;
        glGetFloatv(GL_MAX_TEXTURE_MAX_ANISOTROPY, &maxAniso);
        if (glGetError() != GL_NO_ERROR) maxAniso = 1;
        D3DCAPS9 c;
        c.DevCaps = D3DDEVCAPS_HWTRANSFORMANDLIGHT;
        c.TextureCaps = D3DPTEXTURECAPS_MIPMAP | D3DPTEXTURECAPS_CUBEMAP;
        c.MaxTextureWidth = c.MaxTextureHeight = static_cast<DWORD>(std::max(maxSize, 1));
        c.MaxAnisotropy = static_cast<DWORD>(std::max(1.0f, maxAniso));
        c.MaxTextureBlendStages = 4;
        c.MaxSimultaneousTextures = 8;
        c.MaxActiveLights = D3DMaxActiveLights;
        c.MaxPrimitiveCount = 0xFFFFF;
        c.MaxVertexIndex = 0xFFFFFF;
        c.MaxStreams = 1;
        c.MaxStreamStride = 255;
        c.VertexShaderVersion = D3DVS_VERSION(3, 0);
        c.PixelShaderVersion = D3DPS_VERSION(3, 0);
        c.NumSimultaneousRTs = 1;
        g_probedCaps = c;
        ProbeSampleCounts();
        g_probeResult = true;
        SDL_GL_DeleteContext(context);
    }
    DestroyGameWindow(window);
    caps = g_probedCaps;
    multisample = ProbedMultisampleLevels();
    return g_probeResult;
}

HRESULT CreateOpenGLDevice(HWND window, const D3DCAPS9& caps, const D3DPRESENT_PARAMETERS& params,
                           IDirect3DDevice9** out) {
    *out = nullptr;
    if (!InitVideo()) return D3DERR_NOTAVAILABLE;
    ScopedDriverAllocations driver;
    bool owns = false;
    SDL_Window* w = static_cast<SDL_Window*>(window ? window : params.hDeviceWindow);
    if (!w) {
        w = static_cast<SDL_Window*>(CreateGameWindow("", static_cast<int>(std::max(1u, params.BackBufferWidth)),
                                                      static_cast<int>(std::max(1u, params.BackBufferHeight)), true,
                                                      true));
        owns = true;
        if (!w) return D3DERR_NOTAVAILABLE;
    }
    SDL_GLContext context = nullptr;
    if (!MakeContext(w, context)) {
        if (owns) DestroyGameWindow(w);
        return D3DERR_NOTAVAILABLE;
    }
    auto* device = new GLDevice(w, owns, context, caps, params);
    const HRESULT hr = device->Setup();
    if (FAILED(hr)) {
        device->Release();
        return hr;
    }
    *out = device;
    return D3D_OK;
}

} // namespace Platform::GraphicsDetail
