// The fixed-function pipeline generated as GLSL. The vertex shader transforms (or, for
// pre-transformed vertices, maps from pixels), lights per vertex, computes the fog factor and
// hands each texture stage its coordinates; the fragment shader runs the texture stages' colour
// and alpha operations, then adds specular, blends fog and applies the alpha test. Only what the
// state in force uses is generated, so programs stay small and the key below stays exact.

#include "Platform/Graphics/GLFixedFunction.h"

#include <sstream>

namespace Platform::GraphicsDetail {

namespace {

const char* kCommonHeader = "#version 450 core\n";

const char* kTexOpFunctions = R"(
vec4 sat(vec4 v) { return clamp(v, 0.0, 1.0); }
)";

// The texture stages the fixed-function pipeline runs: every stage up to the first disabled one.
constexpr int kFixedFunctionStages = 4;

// What one program is generated from, with what the steps below read of the vertex format.
struct Generation {
    Generation(const DeviceState& s, DWORD fvf, const std::vector<DWORD>& active)
        : state(s), rs(s.rs), lights(active), rhw((fvf & D3DFVF_POSITION_MASK) == D3DFVF_XYZRHW),
          hasNormal((fvf & D3DFVF_NORMAL) != 0), hasDiffuse((fvf & D3DFVF_DIFFUSE) != 0),
          hasSpecular((fvf & D3DFVF_SPECULAR) != 0), texCount((fvf & D3DFVF_TEXCOUNT_MASK) >> D3DFVF_TEXCOUNT_SHIFT),
          lighting(!rhw && rs[D3DRS_LIGHTING]) {
        while (stages < kFixedFunctionStages && s.tss[stages][D3DTSS_COLOROP] != D3DTOP_DISABLE) ++stages;
        // Table fog when its mode is set, else vertex fog.
        if (rs[D3DRS_FOGENABLE])
            fogMode = rs[D3DRS_FOGTABLEMODE] != D3DFOG_NONE ? rs[D3DRS_FOGTABLEMODE] : rs[D3DRS_FOGVERTEXMODE];
    }

    const DeviceState& state;
    const std::array<DWORD, D3DRS_COUNT>& rs;
    const std::vector<DWORD>& lights;
    const bool rhw, hasNormal, hasDiffuse, hasSpecular;
    const UINT texCount;
    const bool lighting;
    int stages = 0;
    int fogMode = 0;
};

bool LightingOn(const DeviceState& state, DWORD fvf) {
    return (fvf & D3DFVF_POSITION_MASK) != D3DFVF_XYZRHW && state.rs[D3DRS_LIGHTING];
}

// ---- vertex shader ----

void DeclareVertexInterface(std::ostream& vs, const Generation& g) {
    vs << "layout(location = 0) in vec4 a_position;\n";
    if (g.hasNormal) vs << "layout(location = 1) in vec3 a_normal;\n";
    if (g.hasDiffuse) vs << "layout(location = 2) in vec4 a_diffuse;\n";
    if (g.hasSpecular) vs << "layout(location = 3) in vec4 a_specular;\n";
    for (UINT i = 0; i < g.texCount; ++i) vs << "layout(location = " << 4 + i << ") in vec4 a_texcoord" << i << ";\n";
    vs << "uniform mat4 u_worldView; uniform mat4 u_projection; uniform mat3 u_normalMatrix;\n"
          "uniform vec4 u_viewport; uniform vec2 u_halfPixel;\n"
          "uniform vec4 u_matDiffuse, u_matAmbient, u_matSpecular, u_matEmissive; uniform float u_matPower;\n"
          "uniform vec4 u_ambient; uniform vec4 u_fog;\n";
    const std::size_t lights = g.lights.size();
    if (lights) {
        vs << "uniform vec4 u_lightDiffuse[" << lights << "], u_lightSpecular[" << lights << "], u_lightAmbient["
           << lights << "];\n"
           << "uniform vec3 u_lightPosition[" << lights << "], u_lightDirection[" << lights << "];\n"
           << "uniform vec4 u_lightAttenuation[" << lights << "], u_lightSpot[" << lights << "];\n";
    }
    vs << "out vec4 v_diffuse; out vec4 v_specular; out float v_fog;\n";
    for (int s = 0; s < g.stages; ++s) vs << "out vec4 v_tc" << s << ";\n";
}

// P is the view-space position the lighting and fog read (zero for pre-transformed vertices).
void TransformPosition(std::ostream& vs, const Generation& g) {
    if (g.rhw) {
        vs << "  float w = a_position.w > 0.0 ? 1.0 / a_position.w : 1.0;\n"
              "  vec2 ndc = vec2((a_position.x + 0.5 - u_viewport.x) * 2.0 / u_viewport.z - 1.0,\n"
              "                  1.0 - (a_position.y + 0.5 - u_viewport.y) * 2.0 / u_viewport.w);\n"
              "  gl_Position = vec4(ndc * w, a_position.z * w, w);\n"
              "  vec4 P = vec4(0.0);\n";
    } else {
        vs << "  vec4 P = u_worldView * vec4(a_position.xyz, 1.0);\n"
              "  gl_Position = u_projection * P;\n"
              "  gl_Position.xy += u_halfPixel * gl_Position.w;\n";
    }
}

// Where a material colour comes from: a vertex colour when colour vertex is on and the vertex
// carries the colour its source state names, else the material.
std::string MaterialColour(const Generation& g, D3DRENDERSTATETYPE source, const char* material) {
    if (!g.rs[D3DRS_COLORVERTEX]) return material;
    const DWORD s = g.rs[source];
    if (s == D3DMCS_COLOR1 && g.hasDiffuse) return "a_diffuse";
    if (s == D3DMCS_COLOR2 && g.hasSpecular) return "a_specular";
    return material;
}

// One active light's share of the diffuse, ambient and specular sums.
void AddLight(std::ostream& vs, const Generation& g, std::size_t k) {
    const D3DLIGHT9& l = g.state.lights.at(g.lights[k]);
    vs << "  {\n";
    if (l.Type == D3DLIGHT_DIRECTIONAL) {
        vs << "    vec3 L = u_lightDirection[" << k << "]; float att = 1.0;\n";
    } else {
        vs << "    vec3 d = u_lightPosition[" << k << "] - P.xyz; float dist = length(d);\n"
           << "    vec3 L = dist > 0.0 ? d / dist : vec3(0.0, 0.0, -1.0);\n"
           << "    vec4 A = u_lightAttenuation[" << k << "];\n"
           << "    float att = dist > A.w ? 0.0 : 1.0 / max(A.x + A.y * dist + A.z * dist * dist, 1e-6);\n";
        if (l.Type == D3DLIGHT_SPOT) {
            vs << "    vec4 S = u_lightSpot[" << k << "]; float rho = dot(u_lightDirection[" << k << "], L);\n"
               << "    att *= rho > S.x ? 1.0 : (rho <= S.y ? 0.0 : pow(clamp((rho - S.y) / max(S.x - S.y, "
                  "1e-6), 0.0, 1.0), S.z));\n";
        }
    }
    vs << "    float NdotL = max(dot(N, L), 0.0);\n"
       << "    dsum += att * NdotL * u_lightDiffuse[" << k << "].rgb;\n"
       << "    asum += att * u_lightAmbient[" << k << "].rgb;\n";
    if (g.rs[D3DRS_SPECULARENABLE])
        vs << "    if (NdotL > 0.0) ssum += att * pow(max(dot(N, normalize(V + L)), 0.0), u_matPower) * "
              "u_lightSpecular["
           << k << "].rgb;\n";
    vs << "  }\n";
}

// The vertex colours: lit from the materials and the active lights, or the vertex's own.
void VertexColours(std::ostream& vs, const Generation& g) {
    if (!g.lighting) {
        vs << "  v_diffuse = " << (g.hasDiffuse ? "a_diffuse" : "vec4(1.0)")
           << ";\n  v_specular = " << (g.hasSpecular ? "a_specular" : "vec4(0.0)") << ";\n";
        return;
    }
    vs << "  vec4 Md = " << MaterialColour(g, D3DRS_DIFFUSEMATERIALSOURCE, "u_matDiffuse")
       << ", Ma = " << MaterialColour(g, D3DRS_AMBIENTMATERIALSOURCE, "u_matAmbient")
       << ", Ms = " << MaterialColour(g, D3DRS_SPECULARMATERIALSOURCE, "u_matSpecular")
       << ", Me = " << MaterialColour(g, D3DRS_EMISSIVEMATERIALSOURCE, "u_matEmissive") << ";\n";
    vs << "  vec3 N = " << (g.hasNormal ? "u_normalMatrix * a_normal" : "vec3(0.0)") << ";\n"
       << "  vec3 V = normalize(-P.xyz);\n"
          "  vec3 dsum = vec3(0.0), asum = vec3(0.0), ssum = vec3(0.0);\n";
    for (std::size_t k = 0; k < g.lights.size(); ++k) AddLight(vs, g, k);
    vs << "  v_diffuse = vec4(clamp(Me.rgb + Ma.rgb * (u_ambient.rgb + asum) + Md.rgb * dsum, 0.0, 1.0), Md.a);\n"
          "  v_specular = vec4(clamp(Ms.rgb * ssum, 0.0, 1.0), 0.0);\n";
}

// The fog factor (1: no fog); its distance is the view-space depth.
void FogFactor(std::ostream& vs, const Generation& g) {
    if (g.rhw) {
        // Pre-transformed vertices carry their fog factor in the specular alpha.
        vs << "  v_fog = " << (g.fogMode && g.hasSpecular ? "a_specular.a" : "1.0") << ";\n";
        return;
    }
    switch (g.fogMode) {
    case D3DFOG_LINEAR:
        vs << "  v_fog = clamp((u_fog.y - abs(P.z)) / max(u_fog.y - u_fog.x, 1e-6), 0.0, 1.0);\n";
        break;
    case D3DFOG_EXP: vs << "  v_fog = clamp(exp(-u_fog.z * abs(P.z)), 0.0, 1.0);\n"; break;
    case D3DFOG_EXP2: vs << "  v_fog = clamp(exp(-pow(u_fog.z * abs(P.z), 2.0)), 0.0, 1.0);\n"; break;
    default: vs << "  v_fog = 1.0;\n"; break;
    }
}

// Each stage's texture coordinates: the set its TEXCOORDINDEX names, zero when the vertex has none.
void StageTexCoords(std::ostream& vs, const Generation& g) {
    for (int s = 0; s < g.stages; ++s) {
        const DWORD index = g.state.tss[s][D3DTSS_TEXCOORDINDEX] & 0xFFFF;
        if (index < g.texCount)
            vs << "  v_tc" << s << " = a_texcoord" << index << ";\n";
        else
            vs << "  v_tc" << s << " = vec4(0.0);\n";
    }
}

std::string VertexShader(const Generation& g) {
    std::ostringstream vs;
    vs << kCommonHeader;
    DeclareVertexInterface(vs, g);
    vs << "void main() {\n";
    TransformPosition(vs, g);
    VertexColours(vs, g);
    FogFactor(vs, g);
    StageTexCoords(vs, g);
    vs << "}\n";
    return vs.str();
}

// ---- fragment shader ----

std::string ArgExpr(DWORD arg, int stage, bool alpha) {
    std::string base;
    switch (arg & D3DTA_SELECTMASK) {
    case D3DTA_DIFFUSE: base = "diffuse"; break;
    case D3DTA_CURRENT: base = stage == 0 ? "diffuse" : "current"; break;
    case D3DTA_TEXTURE: base = "tex" + std::to_string(stage); break;
    case D3DTA_TFACTOR: base = "u_tfactor"; break;
    case D3DTA_SPECULAR: base = "specular"; break;
    case D3DTA_TEMP: base = "temp"; break;
    default: base = "current"; break;
    }
    if (arg & D3DTA_COMPLEMENT) base = "(vec4(1.0) - " + base + ")";
    if ((arg & D3DTA_ALPHAREPLICATE) || alpha) base = "vec4(" + base + ".a)";
    return base;
}

std::string OpExpr(DWORD op, const std::string& a0, const std::string& a1, const std::string& a2, int stage) {
    const std::string tex = "tex" + std::to_string(stage);
    switch (op) {
    case D3DTOP_SELECTARG1: return a1;
    case D3DTOP_SELECTARG2: return a2;
    case D3DTOP_MODULATE: return a1 + " * " + a2;
    case D3DTOP_MODULATE2X: return "2.0 * " + a1 + " * " + a2;
    case D3DTOP_MODULATE4X: return "4.0 * " + a1 + " * " + a2;
    case D3DTOP_ADD: return a1 + " + " + a2;
    case D3DTOP_ADDSIGNED: return a1 + " + " + a2 + " - vec4(0.5)";
    case D3DTOP_ADDSIGNED2X: return "2.0 * (" + a1 + " + " + a2 + " - vec4(0.5))";
    case D3DTOP_SUBTRACT: return a1 + " - " + a2;
    case D3DTOP_ADDSMOOTH: return a1 + " + " + a2 + " - " + a1 + " * " + a2;
    case D3DTOP_BLENDDIFFUSEALPHA: return "mix(" + a2 + ", " + a1 + ", diffuse.a)";
    case D3DTOP_BLENDTEXTUREALPHA: return "mix(" + a2 + ", " + a1 + ", " + tex + ".a)";
    case D3DTOP_BLENDFACTORALPHA: return "mix(" + a2 + ", " + a1 + ", u_tfactor.a)";
    case D3DTOP_BLENDCURRENTALPHA: return "mix(" + a2 + ", " + a1 + ", current.a)";
    case D3DTOP_BLENDTEXTUREALPHAPM: return a1 + " + " + a2 + " * (1.0 - " + tex + ".a)";
    case D3DTOP_PREMODULATE: return a1;
    case D3DTOP_MODULATEALPHA_ADDCOLOR: return a1 + " + vec4(" + a1 + ".a) * " + a2;
    case D3DTOP_MODULATECOLOR_ADDALPHA: return a1 + " * " + a2 + " + vec4(" + a1 + ".a)";
    case D3DTOP_MODULATEINVALPHA_ADDCOLOR: return "vec4(1.0 - " + a1 + ".a) * " + a2 + " + " + a1;
    case D3DTOP_MODULATEINVCOLOR_ADDALPHA: return "(vec4(1.0) - " + a1 + ") * " + a2 + " + vec4(" + a1 + ".a)";
    case D3DTOP_DOTPRODUCT3: return "vec4(4.0 * dot((" + a1 + ").rgb - vec3(0.5), (" + a2 + ").rgb - vec3(0.5)))";
    case D3DTOP_MULTIPLYADD: return a0 + " + " + a1 + " * " + a2;
    case D3DTOP_LERP: return "mix(" + a2 + ", " + a1 + ", " + a0 + ")";
    default: return a1; // bump mapping is not emulated
    }
}

void DeclareFragmentInterface(std::ostream& fs, const Generation& g) {
    fs << "in vec4 v_diffuse; in vec4 v_specular; in float v_fog;\n";
    for (int s = 0; s < g.stages; ++s) fs << "in vec4 v_tc" << s << ";\n";
    fs << "uniform vec4 u_tfactor; uniform vec3 u_fogColor; uniform float u_alphaRef;\n";
    for (int s = 0; s < g.stages; ++s) {
        TextureBase* t = g.state.textures[s];
        if (!t) continue;
        fs << "uniform " << (t->type == D3DRTYPE_CUBETEXTURE ? "samplerCube" : "sampler2D") << " u_texture" << s
           << ";\n";
    }
    fs << "out vec4 o_colour;\n";
}

// Stage s: samples its texture, then writes its colour and alpha operations' result to current
// (or temp).
void TextureStage(std::ostream& fs, const Generation& g, int s) {
    const auto& t = g.state.tss[s];
    TextureBase* tex = g.state.textures[s];
    if (!tex)
        fs << "  vec4 tex" << s << " = vec4(0.0, 0.0, 0.0, 1.0);\n";
    else if (tex->type == D3DRTYPE_CUBETEXTURE)
        fs << "  vec4 tex" << s << " = texture(u_texture" << s << ", v_tc" << s << ".xyz);\n";
    else
        fs << "  vec4 tex" << s << " = texture(u_texture" << s << ", v_tc" << s << ".xy);\n";
    const std::string c = OpExpr(t[D3DTSS_COLOROP], ArgExpr(t[D3DTSS_COLORARG0], s, false),
                                 ArgExpr(t[D3DTSS_COLORARG1], s, false), ArgExpr(t[D3DTSS_COLORARG2], s, false), s);
    // A disabled alpha operation passes the incoming alpha through (the diffuse alpha at the
    // first stage).
    const std::string a = t[D3DTSS_ALPHAOP] == D3DTOP_DISABLE
                              ? std::string(s == 0 ? "diffuse" : "current")
                              : OpExpr(t[D3DTSS_ALPHAOP], ArgExpr(t[D3DTSS_ALPHAARG0], s, true),
                                       ArgExpr(t[D3DTSS_ALPHAARG1], s, true), ArgExpr(t[D3DTSS_ALPHAARG2], s, true), s);
    const bool toTemp = (t[D3DTSS_RESULTARG] & D3DTA_SELECTMASK) == D3DTA_TEMP;
    fs << "  " << (toTemp ? "temp" : "current") << " = sat(vec4((" << c << ").rgb, (" << a << ").a));\n";
}

// Compares the colour's alpha, in 0..255, with the reference; a failing fragment is discarded.
void AlphaTest(std::ostream& fs, const Generation& g) {
    if (!g.rs[D3DRS_ALPHATESTENABLE]) return;
    const char* cmp = nullptr;
    switch (g.rs[D3DRS_ALPHAFUNC]) {
    case D3DCMP_NEVER: cmp = "false"; break;
    case D3DCMP_LESS: cmp = "a < r"; break;
    case D3DCMP_EQUAL: cmp = "a == r"; break;
    case D3DCMP_LESSEQUAL: cmp = "a <= r"; break;
    case D3DCMP_GREATER: cmp = "a > r"; break;
    case D3DCMP_NOTEQUAL: cmp = "a != r"; break;
    case D3DCMP_GREATEREQUAL: cmp = "a >= r"; break;
    default: cmp = "true"; break;
    }
    fs << "  { float a = floor(current.a * 255.0 + 0.5), r = u_alphaRef; if (!(" << cmp << ")) discard; }\n";
}

std::string FragmentShader(const Generation& g) {
    std::ostringstream fs;
    fs << kCommonHeader << kTexOpFunctions;
    DeclareFragmentInterface(fs, g);
    fs << "void main() {\n  vec4 diffuse = v_diffuse, specular = v_specular, current = v_diffuse, temp = vec4(0.0);\n";
    for (int s = 0; s < g.stages; ++s) TextureStage(fs, g, s);
    if (g.rs[D3DRS_SPECULARENABLE] && g.lighting)
        fs << "  current.rgb = clamp(current.rgb + specular.rgb, 0.0, 1.0);\n";
    if (g.fogMode) fs << "  current.rgb = mix(u_fogColor, current.rgb, v_fog);\n";
    AlphaTest(fs, g);
    fs << "  o_colour = current;\n}\n";
    return fs.str();
}

} // namespace

void ActiveFixedFunctionLights(const DeviceState& state, DWORD fvf, std::vector<DWORD>& lights) {
    lights.clear();
    if (!LightingOn(state, fvf)) return;
    for (DWORD index : state.enabledLights) {
        if (lights.size() >= D3DMaxActiveLights) break;
        lights.push_back(index);
    }
}

void FixedFunctionKey(const DeviceState& state, DWORD fvf, const std::vector<DWORD>& lights, std::string& key) {
    const auto& rs = state.rs;
    const bool lighting = LightingOn(state, fvf);
    key.clear();
    auto put = [&](DWORD v) { key.append(reinterpret_cast<const char*>(&v), sizeof v); };
    put(fvf);
    put(lighting);
    if (lighting) {
        for (auto s : {D3DRS_COLORVERTEX, D3DRS_DIFFUSEMATERIALSOURCE, D3DRS_SPECULARMATERIALSOURCE,
                       D3DRS_AMBIENTMATERIALSOURCE, D3DRS_EMISSIVEMATERIALSOURCE, D3DRS_SPECULARENABLE})
            put(rs[s]);
        put(static_cast<DWORD>(lights.size()));
        for (DWORD index : lights) put(state.lights.at(index).Type);
    }
    for (auto s : {D3DRS_FOGENABLE, D3DRS_FOGTABLEMODE, D3DRS_FOGVERTEXMODE, D3DRS_ALPHATESTENABLE, D3DRS_ALPHAFUNC})
        put(rs[s]);
    for (int s = 0; s < kFixedFunctionStages && state.tss[s][D3DTSS_COLOROP] != D3DTOP_DISABLE; ++s) {
        for (auto t : {D3DTSS_COLOROP, D3DTSS_COLORARG0, D3DTSS_COLORARG1, D3DTSS_COLORARG2, D3DTSS_ALPHAOP,
                       D3DTSS_ALPHAARG0, D3DTSS_ALPHAARG1, D3DTSS_ALPHAARG2, D3DTSS_TEXCOORDINDEX, D3DTSS_RESULTARG})
            put(state.tss[s][t]);
        put(state.textures[s] ? static_cast<DWORD>(state.textures[s]->type) : 0);
    }
}

FixedFunctionSource GenerateFixedFunctionSource(const DeviceState& state, DWORD fvf, const std::vector<DWORD>& lights) {
    const Generation g(state, fvf, lights);
    return {VertexShader(g), FragmentShader(g)};
}

} // namespace Platform::GraphicsDetail
