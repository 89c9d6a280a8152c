#include "Platform/Effects/EffectStates.h"

#include <cctype>
#include <string>

namespace Platform {

namespace {

#define KX_TABLE(name, ...)                                                                                            \
    const EnumValue name##Values[] = {__VA_ARGS__};                                                                    \
    const EnumTable name = {name##Values, static_cast<int>(sizeof(name##Values) / sizeof(EnumValue))};

KX_TABLE(kBool, {"FALSE", 0}, {"TRUE", 1})
KX_TABLE(kZBuffer, {"FALSE", 0}, {"TRUE", 1}, {"USEW", 2})
KX_TABLE(kBlend, {"ZERO", 1}, {"ONE", 2}, {"SRCCOLOR", 3}, {"INVSRCCOLOR", 4}, {"SRCALPHA", 5}, {"INVSRCALPHA", 6},
         {"DESTALPHA", 7}, {"INVDESTALPHA", 8}, {"DESTCOLOR", 9}, {"INVDESTCOLOR", 10}, {"SRCALPHASAT", 11},
         {"BOTHSRCALPHA", 12}, {"BOTHINVSRCALPHA", 13}, {"BLENDFACTOR", 14}, {"INVBLENDFACTOR", 15})
KX_TABLE(kBlendOp, {"ADD", 1}, {"SUBTRACT", 2}, {"REVSUBTRACT", 3}, {"MIN", 4}, {"MAX", 5})
KX_TABLE(kCmp, {"NEVER", 1}, {"LESS", 2}, {"EQUAL", 3}, {"LESSEQUAL", 4}, {"GREATER", 5}, {"NOTEQUAL", 6},
         {"GREATEREQUAL", 7}, {"ALWAYS", 8})
KX_TABLE(kCull, {"NONE", 1}, {"CW", 2}, {"CCW", 3})
KX_TABLE(kFill, {"POINT", 1}, {"WIREFRAME", 2}, {"SOLID", 3})
KX_TABLE(kShade, {"FLAT", 1}, {"GOURAUD", 2}, {"PHONG", 3})
KX_TABLE(kFog, {"NONE", 0}, {"EXP", 1}, {"EXP2", 2}, {"LINEAR", 3})
KX_TABLE(kStencilOp, {"KEEP", 1}, {"ZERO", 2}, {"REPLACE", 3}, {"INCRSAT", 4}, {"DECRSAT", 5}, {"INVERT", 6},
         {"INCR", 7}, {"DECR", 8})
KX_TABLE(kMaterialSource, {"MATERIAL", 0}, {"COLOR1", 1}, {"COLOR2", 2})
KX_TABLE(kColorWrite, {"RED", 1}, {"GREEN", 2}, {"BLUE", 4}, {"ALPHA", 8})
KX_TABLE(kTextureOp, {"DISABLE", 1}, {"SELECTARG1", 2}, {"SELECTARG2", 3}, {"MODULATE", 4}, {"MODULATE2X", 5},
         {"MODULATE4X", 6}, {"ADD", 7}, {"ADDSIGNED", 8}, {"ADDSIGNED2X", 9}, {"SUBTRACT", 10}, {"ADDSMOOTH", 11},
         {"BLENDDIFFUSEALPHA", 12}, {"BLENDTEXTUREALPHA", 13}, {"BLENDFACTORALPHA", 14}, {"BLENDTEXTUREALPHAPM", 15},
         {"BLENDCURRENTALPHA", 16}, {"PREMODULATE", 17}, {"MODULATEALPHA_ADDCOLOR", 18}, {"MODULATECOLOR_ADDALPHA", 19},
         {"MODULATEINVALPHA_ADDCOLOR", 20}, {"MODULATEINVCOLOR_ADDALPHA", 21}, {"BUMPENVMAP", 22},
         {"BUMPENVMAPLUMINANCE", 23}, {"DOTPRODUCT3", 24}, {"MULTIPLYADD", 25}, {"LERP", 26})
KX_TABLE(kTextureArg, {"DIFFUSE", 0}, {"CURRENT", 1}, {"TEXTURE", 2}, {"TFACTOR", 3}, {"SPECULAR", 4}, {"TEMP", 5},
         {"CONSTANT", 6}, {"COMPLEMENT", 0x10}, {"ALPHAREPLICATE", 0x20})
KX_TABLE(kTexCoordIndex, {"PASSTHRU", 0}, {"CAMERASPACENORMAL", 0x10000}, {"CAMERASPACEPOSITION", 0x20000},
         {"CAMERASPACEREFLECTIONVECTOR", 0x30000}, {"SPHEREMAP", 0x40000})
KX_TABLE(kTextureTransform, {"DISABLE", 0}, {"COUNT1", 1}, {"COUNT2", 2}, {"COUNT3", 3}, {"COUNT4", 4},
         {"PROJECTED", 256})
KX_TABLE(kAddress, {"WRAP", 1}, {"MIRROR", 2}, {"CLAMP", 3}, {"BORDER", 4}, {"MIRRORONCE", 5})
KX_TABLE(kFilter, {"NONE", 0}, {"POINT", 1}, {"LINEAR", 2}, {"ANISOTROPIC", 3}, {"PYRAMIDALQUAD", 6},
         {"GAUSSIANQUAD", 7})
KX_TABLE(kWrap, {"U", 1}, {"V", 2}, {"W", 4}, {"COORD0", 1}, {"COORD1", 2}, {"COORD2", 4}, {"COORD3", 8})
KX_TABLE(kVertexBlend, {"DISABLE", 0}, {"1WEIGHTS", 1}, {"2WEIGHTS", 2}, {"3WEIGHTS", 3}, {"TWEENING", 255},
         {"0WEIGHTS", 256})
#undef KX_TABLE

constexpr StateKind R = StateKind::Render;
constexpr StateKind T = StateKind::TextureStage;
constexpr StateKind S = StateKind::Sampler;
constexpr StateKind U = StateKind::Unsupported;
constexpr ValueKind B = ValueKind::Bool;
constexpr ValueKind D = ValueKind::Dword;
constexpr ValueKind F = ValueKind::Float;
constexpr ValueKind E = ValueKind::Enum;

const StateInfo kStates[] = {
    {"ZENABLE", R, 7, E, &kZBuffer},
    {"FILLMODE", R, 8, E, &kFill},
    {"SHADEMODE", R, 9, E, &kShade},
    {"ZWRITEENABLE", R, 14, B, nullptr},
    {"ALPHATESTENABLE", R, 15, B, nullptr},
    {"LASTPIXEL", R, 16, B, nullptr},
    {"SRCBLEND", R, 19, E, &kBlend},
    {"DESTBLEND", R, 20, E, &kBlend},
    {"CULLMODE", R, 22, E, &kCull},
    {"ZFUNC", R, 23, E, &kCmp},
    {"ALPHAREF", R, 24, D, nullptr},
    {"ALPHAFUNC", R, 25, E, &kCmp},
    {"DITHERENABLE", R, 26, B, nullptr},
    {"ALPHABLENDENABLE", R, 27, B, nullptr},
    {"FOGENABLE", R, 28, B, nullptr},
    {"SPECULARENABLE", R, 29, B, nullptr},
    {"FOGCOLOR", R, 34, D, nullptr},
    {"FOGTABLEMODE", R, 35, E, &kFog},
    {"FOGSTART", R, 36, F, nullptr},
    {"FOGEND", R, 37, F, nullptr},
    {"FOGDENSITY", R, 38, F, nullptr},
    {"RANGEFOGENABLE", R, 48, B, nullptr},
    {"STENCILENABLE", R, 52, B, nullptr},
    {"STENCILFAIL", R, 53, E, &kStencilOp},
    {"STENCILZFAIL", R, 54, E, &kStencilOp},
    {"STENCILPASS", R, 55, E, &kStencilOp},
    {"STENCILFUNC", R, 56, E, &kCmp},
    {"STENCILREF", R, 57, D, nullptr},
    {"STENCILMASK", R, 58, D, nullptr},
    {"STENCILWRITEMASK", R, 59, D, nullptr},
    {"TEXTUREFACTOR", R, 60, D, nullptr},
    {"WRAP0", R, 128, E, &kWrap},
    {"WRAP1", R, 129, E, &kWrap},
    {"WRAP2", R, 130, E, &kWrap},
    {"WRAP3", R, 131, E, &kWrap},
    {"WRAP4", R, 132, E, &kWrap},
    {"WRAP5", R, 133, E, &kWrap},
    {"WRAP6", R, 134, E, &kWrap},
    {"WRAP7", R, 135, E, &kWrap},
    {"CLIPPING", R, 136, B, nullptr},
    {"LIGHTING", R, 137, B, nullptr},
    {"AMBIENT", R, 139, D, nullptr},
    {"FOGVERTEXMODE", R, 140, E, &kFog},
    {"COLORVERTEX", R, 141, B, nullptr},
    {"LOCALVIEWER", R, 142, B, nullptr},
    {"NORMALIZENORMALS", R, 143, B, nullptr},
    {"DIFFUSEMATERIALSOURCE", R, 145, E, &kMaterialSource},
    {"SPECULARMATERIALSOURCE", R, 146, E, &kMaterialSource},
    {"AMBIENTMATERIALSOURCE", R, 147, E, &kMaterialSource},
    {"EMISSIVEMATERIALSOURCE", R, 148, E, &kMaterialSource},
    {"VERTEXBLEND", R, 151, E, &kVertexBlend},
    {"CLIPPLANEENABLE", R, 152, D, nullptr},
    {"POINTSIZE", R, 154, F, nullptr},
    {"POINTSIZE_MIN", R, 155, F, nullptr},
    {"POINTSPRITEENABLE", R, 156, B, nullptr},
    {"POINTSCALEENABLE", R, 157, B, nullptr},
    {"POINTSCALE_A", R, 158, F, nullptr},
    {"POINTSCALE_B", R, 159, F, nullptr},
    {"POINTSCALE_C", R, 160, F, nullptr},
    {"MULTISAMPLEANTIALIAS", R, 161, B, nullptr},
    {"MULTISAMPLEMASK", R, 162, D, nullptr},
    {"POINTSIZE_MAX", R, 166, F, nullptr},
    {"INDEXEDVERTEXBLENDENABLE", R, 167, B, nullptr},
    {"COLORWRITEENABLE", R, 168, E, &kColorWrite},
    {"TWEENFACTOR", R, 170, F, nullptr},
    {"BLENDOP", R, 171, E, &kBlendOp},
    {"SCISSORTESTENABLE", R, 174, B, nullptr},
    {"SLOPESCALEDEPTHBIAS", R, 175, F, nullptr},
    {"ANTIALIASEDLINEENABLE", R, 176, B, nullptr},
    {"TWOSIDEDSTENCILMODE", R, 185, B, nullptr},
    {"CCW_STENCILFAIL", R, 186, E, &kStencilOp},
    {"CCW_STENCILZFAIL", R, 187, E, &kStencilOp},
    {"CCW_STENCILPASS", R, 188, E, &kStencilOp},
    {"CCW_STENCILFUNC", R, 189, E, &kCmp},
    {"COLORWRITEENABLE1", R, 190, E, &kColorWrite},
    {"COLORWRITEENABLE2", R, 191, E, &kColorWrite},
    {"COLORWRITEENABLE3", R, 192, E, &kColorWrite},
    {"BLENDFACTOR", R, 193, D, nullptr},
    {"SRGBWRITEENABLE", R, 194, B, nullptr},
    {"DEPTHBIAS", R, 195, F, nullptr},
    {"SEPARATEALPHABLENDENABLE", R, 206, B, nullptr},
    {"SRCBLENDALPHA", R, 207, E, &kBlend},
    {"DESTBLENDALPHA", R, 208, E, &kBlend},
    {"BLENDOPALPHA", R, 209, E, &kBlendOp},

    {"COLOROP", T, 1, E, &kTextureOp},
    {"COLORARG1", T, 2, E, &kTextureArg},
    {"COLORARG2", T, 3, E, &kTextureArg},
    {"ALPHAOP", T, 4, E, &kTextureOp},
    {"ALPHAARG1", T, 5, E, &kTextureArg},
    {"ALPHAARG2", T, 6, E, &kTextureArg},
    {"BUMPENVMAT00", T, 7, F, nullptr},
    {"BUMPENVMAT01", T, 8, F, nullptr},
    {"BUMPENVMAT10", T, 9, F, nullptr},
    {"BUMPENVMAT11", T, 10, F, nullptr},
    {"TEXCOORDINDEX", T, 11, E, &kTexCoordIndex},
    {"BUMPENVLSCALE", T, 22, F, nullptr},
    {"BUMPENVLOFFSET", T, 23, F, nullptr},
    {"TEXTURETRANSFORMFLAGS", T, 24, E, &kTextureTransform},
    {"COLORARG0", T, 26, E, &kTextureArg},
    {"ALPHAARG0", T, 27, E, &kTextureArg},
    {"RESULTARG", T, 28, E, &kTextureArg},
    {"CONSTANT", T, 32, D, nullptr},

    {"ADDRESSU", S, 1, E, &kAddress},
    {"ADDRESSV", S, 2, E, &kAddress},
    {"ADDRESSW", S, 3, E, &kAddress},
    {"BORDERCOLOR", S, 4, D, nullptr},
    {"MAGFILTER", S, 5, E, &kFilter},
    {"MINFILTER", S, 6, E, &kFilter},
    {"MIPFILTER", S, 7, E, &kFilter},
    {"MIPMAPLODBIAS", S, 8, F, nullptr},
    {"MAXMIPLEVEL", S, 9, D, nullptr},
    {"MAXANISOTROPY", S, 10, D, nullptr},
    {"SRGBTEXTURE", S, 11, B, nullptr},

    {"TEXTURE", StateKind::Texture, 0, D, nullptr},
    {"SAMPLER", StateKind::SamplerBind, 0, D, nullptr},
    {"VERTEXSHADER", StateKind::VertexShader, 0, D, nullptr},
    {"PIXELSHADER", StateKind::PixelShader, 0, D, nullptr},

    // Known to the language, not applied by this runtime.
    {"WORLDTRANSFORM", U, 0, D, nullptr},
    {"VIEWTRANSFORM", U, 0, D, nullptr},
    {"PROJECTIONTRANSFORM", U, 0, D, nullptr},
    {"TEXTURETRANSFORM", U, 0, D, nullptr},
    {"LIGHTENABLE", U, 0, D, nullptr},
    {"LIGHTTYPE", U, 0, D, nullptr},
    {"LIGHTDIFFUSE", U, 0, D, nullptr},
    {"LIGHTDIRECTION", U, 0, D, nullptr},
    {"LIGHTPOSITION", U, 0, D, nullptr},
    {"MATERIALDIFFUSE", U, 0, D, nullptr},
    {"MATERIALAMBIENT", U, 0, D, nullptr},
    {"MATERIALSPECULAR", U, 0, D, nullptr},
    {"MATERIALEMISSIVE", U, 0, D, nullptr},
    {"MATERIALPOWER", U, 0, D, nullptr},
    {"VERTEXSHADERCONSTANT", U, 0, D, nullptr},
    {"PIXELSHADERCONSTANT", U, 0, D, nullptr},
    {"VERTEXSHADERCONSTANTF", U, 0, D, nullptr},
    {"PIXELSHADERCONSTANTF", U, 0, D, nullptr},
    {"CLIPPLANE", U, 0, D, nullptr},
    {"FVF", U, 0, D, nullptr},
};

std::string Upper(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

// "D3DRS_SRCBLEND" -> "SRCBLEND"; "D3DBLEND_SRCALPHA" -> "SRCALPHA".
std::string WithoutApiPrefix(std::string_view s) {
    std::string up = Upper(s);
    if (up.rfind("D3D", 0) == 0) {
        const size_t underscore = up.find('_');
        if (underscore != std::string::npos) return up.substr(underscore + 1);
    }
    return up;
}

} // namespace

const StateInfo* FindState(std::string_view name) {
    const std::string key = WithoutApiPrefix(name);
    for (const StateInfo& s : kStates)
        if (key == s.name) return &s;
    return nullptr;
}

const StateInfo* FindSamplerBlockState(std::string_view name) {
    const StateInfo* s = FindState(name);
    if (s && (s->kind == StateKind::Sampler || s->kind == StateKind::Texture)) return s;
    return nullptr;
}

bool FindStateValue(const StateInfo& state, std::string_view name, uint32_t& value) {
    const std::string key = WithoutApiPrefix(name);
    const EnumTable* table = state.values;
    if (state.value == ValueKind::Bool) table = &kBool;
    if (!table) return false;
    for (int i = 0; i < table->count; ++i) {
        if (key == table->values[i].name) {
            value = table->values[i].value;
            return true;
        }
    }
    return false;
}

} // namespace Platform
