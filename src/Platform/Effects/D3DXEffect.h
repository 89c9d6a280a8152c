#pragma once
// Our stand-in for the D3DX 9 effect framework: effects created from effect-file text in
// memory, optionally in a pool that shares the parameters declared "shared"; parameters by
// name, semantic or index; techniques checked against the device; Begin/BeginPass/EndPass/End
// applying each pass's states to the device and putting back at End what the technique
// changed. Passes without shader functions run on the device's fixed-function pipeline;
// passes with them run a program compiled from the effect's HLSL to GLSL.
//
// Parameters with the semantics WORLD, VIEW, PROJECTION, WORLDVIEW, VIEWPROJECTION or
// WORLDVIEWPROJECTION (float4x4) are not effect values in shader passes: the shaders read the
// device's uniforms kx_World, kx_View, kx_Projection, kx_WorldView, kx_ViewProjection and
// kx_WorldViewProjection (mat4), which the device sets from its transforms at every draw (each
// the D3DX matrix's memory uploaded untransposed, as its fixed-function programs take theirs),
// so a world matrix set between two draws of one pass reaches the second draw. Vertex shaders
// also add the device's kx_HalfPixel (vec2) times w to their position, as its fixed-function
// programs do. A pass naming only a pixel shader gets a generated vertex stage that reads
// kx_WorldViewProjection, kx_Viewport (vec4: x, y, width, height) and kx_Pretransformed (float,
// 1 for pre-transformed vertices) and passes colours and texture coordinates through unlit.

#include "Platform/Graphics/D3D9.h"

#include <string>

using LPCSTR = const char*;
using D3DXHANDLE = const char*;

enum D3DXPARAMETER_CLASS : DWORD {
    D3DXPC_SCALAR = 0,
    D3DXPC_VECTOR = 1,
    D3DXPC_MATRIX_ROWS = 2,
    D3DXPC_MATRIX_COLUMNS = 3,
    D3DXPC_OBJECT = 4,
    D3DXPC_STRUCT = 5,
};

enum D3DXPARAMETER_TYPE : DWORD {
    D3DXPT_VOID = 0,
    D3DXPT_BOOL = 1,
    D3DXPT_INT = 2,
    D3DXPT_FLOAT = 3,
    D3DXPT_STRING = 4,
    D3DXPT_TEXTURE = 5,
    D3DXPT_TEXTURE1D = 6,
    D3DXPT_TEXTURE2D = 7,
    D3DXPT_TEXTURE3D = 8,
    D3DXPT_TEXTURECUBE = 9,
    D3DXPT_SAMPLER = 10,
    D3DXPT_SAMPLER1D = 11,
    D3DXPT_SAMPLER2D = 12,
    D3DXPT_SAMPLER3D = 13,
    D3DXPT_SAMPLERCUBE = 14,
    D3DXPT_PIXELSHADER = 15,
    D3DXPT_VERTEXSHADER = 16,
};

constexpr DWORD D3DX_PARAMETER_SHARED = 1;

// Begin flags.
constexpr DWORD D3DXFX_DONOTSAVESTATE = 1;
constexpr DWORD D3DXFX_DONOTSAVESHADERSTATE = 2;
constexpr DWORD D3DXFX_DONOTSAVESAMPLERSTATE = 4;

struct D3DXEFFECT_DESC {
    LPCSTR Creator = nullptr;
    UINT Parameters = 0;
    UINT Techniques = 0;
    UINT Functions = 0;
};

struct D3DXPARAMETER_DESC {
    LPCSTR Name = nullptr;
    LPCSTR Semantic = nullptr;
    D3DXPARAMETER_CLASS Class = D3DXPC_SCALAR;
    D3DXPARAMETER_TYPE Type = D3DXPT_VOID;
    UINT Rows = 0;
    UINT Columns = 0;
    UINT Elements = 0;
    UINT Annotations = 0;
    UINT StructMembers = 0;
    DWORD Flags = 0;
    UINT Bytes = 0;
};

struct D3DXTECHNIQUE_DESC {
    LPCSTR Name = nullptr;
    UINT Passes = 0;
    UINT Annotations = 0;
};

struct D3DXPASS_DESC {
    LPCSTR Name = nullptr;
    UINT Annotations = 0;
};

struct D3DXMACRO {
    LPCSTR Name;
    LPCSTR Definition;
};

// Include handlers are not supported; the type exists for the call's shape.
class ID3DXInclude;

class ID3DXBuffer : public IUnknown {
public:
    virtual void* GetBufferPointer() = 0;
    virtual DWORD GetBufferSize() = 0;
};

class ID3DXEffectPool : public IUnknown {};

class ID3DXEffect : public IUnknown {
public:
    virtual HRESULT GetDesc(D3DXEFFECT_DESC* desc) = 0;
    virtual HRESULT GetParameterDesc(D3DXHANDLE parameter, D3DXPARAMETER_DESC* desc) = 0;
    virtual HRESULT GetTechniqueDesc(D3DXHANDLE technique, D3DXTECHNIQUE_DESC* desc) = 0;
    virtual HRESULT GetPassDesc(D3DXHANDLE pass, D3DXPASS_DESC* desc) = 0;

    // Top-level parameters only: parent must be null.
    virtual D3DXHANDLE GetParameter(D3DXHANDLE parent, UINT index) = 0;
    virtual D3DXHANDLE GetParameterByName(D3DXHANDLE parent, LPCSTR name) = 0;
    virtual D3DXHANDLE GetParameterBySemantic(D3DXHANDLE parent, LPCSTR semantic) = 0;
    virtual D3DXHANDLE GetAnnotation(D3DXHANDLE object, UINT index) = 0;
    virtual D3DXHANDLE GetAnnotationByName(D3DXHANDLE object, LPCSTR name) = 0;
    virtual D3DXHANDLE GetTechnique(UINT index) = 0;
    virtual D3DXHANDLE GetTechniqueByName(LPCSTR name) = 0;
    virtual D3DXHANDLE GetPass(D3DXHANDLE technique, UINT index) = 0;
    virtual D3DXHANDLE GetPassByName(D3DXHANDLE technique, LPCSTR name) = 0;

    // Values. A handle may also be the parameter's name.
    virtual HRESULT SetValue(D3DXHANDLE parameter, const void* data, UINT bytes) = 0;
    virtual HRESULT GetValue(D3DXHANDLE parameter, void* data, UINT bytes) = 0;
    virtual HRESULT SetBool(D3DXHANDLE parameter, BOOL value) = 0;
    virtual HRESULT GetBool(D3DXHANDLE parameter, BOOL* value) = 0;
    virtual HRESULT SetInt(D3DXHANDLE parameter, INT value) = 0;
    virtual HRESULT GetInt(D3DXHANDLE parameter, INT* value) = 0;
    virtual HRESULT SetFloat(D3DXHANDLE parameter, float value) = 0;
    virtual HRESULT GetFloat(D3DXHANDLE parameter, float* value) = 0;
    virtual HRESULT SetFloatArray(D3DXHANDLE parameter, const float* values, UINT count) = 0;
    virtual HRESULT GetFloatArray(D3DXHANDLE parameter, float* values, UINT count) = 0;
    virtual HRESULT SetVector(D3DXHANDLE parameter, const D3DXVECTOR4* vector) = 0;
    virtual HRESULT GetVector(D3DXHANDLE parameter, D3DXVECTOR4* vector) = 0;
    virtual HRESULT SetMatrix(D3DXHANDLE parameter, const D3DXMATRIX* matrix) = 0;
    virtual HRESULT GetMatrix(D3DXHANDLE parameter, D3DXMATRIX* matrix) = 0;
    virtual HRESULT SetString(D3DXHANDLE parameter, LPCSTR value) = 0;
    virtual HRESULT GetString(D3DXHANDLE parameter, LPCSTR* value) = 0;
    virtual HRESULT SetTexture(D3DXHANDLE parameter, IDirect3DBaseTexture9* texture) = 0;
    virtual HRESULT GetTexture(D3DXHANDLE parameter, IDirect3DBaseTexture9** texture) = 0;

    // Techniques.
    virtual HRESULT SetTechnique(D3DXHANDLE technique) = 0;
    virtual D3DXHANDLE GetCurrentTechnique() = 0;
    virtual HRESULT ValidateTechnique(D3DXHANDLE technique) = 0;
    // The first valid technique after 'technique' (from the start when null); S_FALSE with a
    // null handle when there is none.
    virtual HRESULT FindNextValidTechnique(D3DXHANDLE technique, D3DXHANDLE* next) = 0;

    // Drawing.
    virtual HRESULT Begin(UINT* passes, DWORD flags) = 0;
    virtual HRESULT BeginPass(UINT pass) = 0;
    virtual HRESULT CommitChanges() = 0;
    virtual HRESULT EndPass() = 0;
    virtual HRESULT End() = 0;

    virtual HRESULT GetDevice(IDirect3DDevice9** device) = 0;
    virtual HRESULT GetPool(ID3DXEffectPool** pool) = 0;
    virtual HRESULT OnLostDevice() = 0;
    virtual HRESULT OnResetDevice() = 0;
};

// Creates an effect from effect-file text. defines and include are not supported (pass null).
// On failure *errors (when asked for) holds the messages, "line N: ...", as text.
// An effect none of whose techniques can run on the device fails to create.
HRESULT D3DXCreateEffect(IDirect3DDevice9* device, const void* data, UINT size, const D3DXMACRO* defines,
                         ID3DXInclude* include, DWORD flags, ID3DXEffectPool* pool, ID3DXEffect** effect,
                         ID3DXBuffer** errors);
HRESULT D3DXCreateEffectPool(ID3DXEffectPool** pool);
HRESULT D3DXCreateBuffer(DWORD bytes, ID3DXBuffer** buffer);
