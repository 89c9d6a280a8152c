#include "DynamicSky/DynamicSky.h"

#include <cmath>
#include <cstring>
#include <limits>

#include "DynamicSky/SkyFileRows.h"
#include "Framework/PLog.h"
#include "Platform/Math/D3DXMath.h"
#include "Platform/Math/Geometry.h"
#include "Platform/System/Random.h"
#include "Render/PRender.h"

namespace {

constexpr float kDegrees = 0.017453292f;
constexpr float kFullTurn = 6.2831855f;
constexpr float kHalfPi = 1.5707964f;
constexpr float kOvercastFloor = 20.0f;
// A phase draw that keeps being refused this often leaves the phase as it is.
constexpr int kMaxPhaseDraws = 100000;

// A float's integer part as the colour packing takes it: NaN and values beyond the int range
// (which a conversion may not meet) become 0 and the range's ends.
int Truncate(float value) {
    if (!(value == value)) return 0;
    if (value >= 2147483520.0f) return std::numeric_limits<int>::max();
    if (value <= -2147483648.0f) return std::numeric_limits<int>::min();
    return static_cast<int>(value);
}

D3DCOLOR PackOpaque(float r, float g, float b) {
    return 0xFF000000u | (static_cast<D3DCOLOR>(Truncate(r) & 0xFF) << 16) |
           (static_cast<D3DCOLOR>(Truncate(g) & 0xFF) << 8) | static_cast<D3DCOLOR>(Truncate(b) & 0xFF);
}

// Within [0, 255]; NaN gives 0.
float Clamp255(float v) {
    if (!(v >= 0.0f)) return 0.0f;
    return v > 255.0f ? 255.0f : v;
}

D3DXVECTOR3 Clamp255(const D3DXVECTOR3& v) { return D3DXVECTOR3(Clamp255(v.x), Clamp255(v.y), Clamp255(v.z)); }

// A fraction as a byte: 1 and above 255, 0 and below (and NaN) 0, else value * 255 + 0.5 cut.
DWORD ToByte(float value) {
    if (value >= 1.0f) return 255;
    if (!(value > 0.0f)) return 0;
    return static_cast<DWORD>(value * 255.0f + 0.5f);
}

float Channel(const D3DXVECTOR3& colour, int channel) {
    switch (channel) {
    case 0: return colour.x;
    case 1: return colour.y;
    default: return colour.z;
    }
}

// The overcast tint of a colour: grey from the chosen channel less 20, that channel as blue.
D3DXVECTOR3 OvercastOf(const D3DXVECTOR3& colour, int channel) {
    const float x = Channel(colour, channel);
    const float w = x > kOvercastFloor ? x - kOvercastFloor : 0.0f;
    return D3DXVECTOR3(w, w, x);
}

D3DXVECTOR3 Lerp(const D3DXVECTOR3& from, const D3DXVECTOR3& to, float f) { return from + (to - from) * f; }

float Rate(float next, float now, float duration) { return duration != 0.0f ? (next - now) / duration : 0.0f; }

D3DXVECTOR3 Rate(const D3DXVECTOR3& next, const D3DXVECTOR3& now, float duration) {
    return D3DXVECTOR3(Rate(next.x, now.x, duration), Rate(next.y, now.y, duration), Rate(next.z, now.z, duration));
}

// The number of rows past the end of a file that a count may ask for: none.
int WithinRows(int count, std::size_t rows) {
    if (count < 0) return 0;
    return static_cast<std::size_t>(count) > rows ? static_cast<int>(rows) : count;
}

} // namespace

void SetSkyAmbient(float r, float g, float b) {
    if (CPRender* render = GetRender()) render->SetAmbient(PackOpaque(r, g, b), r / 255.0f, g / 255.0f, b / 255.0f);
}

void SetSkyFog(float r, float g, float b, float start, float end) {
    const D3DCOLOR colour = PackOpaque(r, g, b);
    if (CPRender* render = GetRender()) render->fogColour = colour;
    if (IDirect3DDevice9* device = g_skyDevice) {
        DWORD startBits, endBits;
        std::memcpy(&startBits, &start, sizeof startBits);
        std::memcpy(&endBits, &end, sizeof endBits);
        device->SetRenderState(D3DRS_FOGCOLOR, colour);
        device->SetRenderState(D3DRS_FOGSTART, startBits);
        device->SetRenderState(D3DRS_FOGEND, endBits);
    }
}

void SetSkySunLight(const D3DXVECTOR3& direction, float r, float g, float b, float a) {
    IPRaceWorld& world = GetRaceWorld();
    if (D3DLIGHT9* light = world.GetSunLight()) {
        D3DXVECTOR3 d;
        D3DXVec3Normalize(&d, &direction);
        light->Direction.x = d.x;
        light->Direction.y = d.y;
        light->Direction.z = d.z;
        const DWORD packed = ToByte(a) << 24 | ToByte(r) << 16 | ToByte(g) << 8 | ToByte(b);
        const D3DCOLORVALUE value = {static_cast<float>((packed >> 16) & 0xFF) / 256.0f,
                                     static_cast<float>((packed >> 8) & 0xFF) / 256.0f,
                                     static_cast<float>(packed & 0xFF) / 256.0f, 0.0f};
        light->Diffuse = value;
        light->Specular = value;
    }
    world.AddSunLight();
    if (CPRender* render = GetRender()) render->SetLights();
}

void ClearSkyDepth() {
    if (IDirect3DDevice9* device = g_skyDevice) device->Clear(0, nullptr, D3DCLEAR_ZBUFFER, 0xFF000000u, 1.0f, 0);
}

CPDynamicSky::CPDynamicSky() : m_volumeCloud(std::make_unique<VolumeCloud>()) {}

CPDynamicSky::~CPDynamicSky() { Clear(); }

void CPDynamicSky::Clear() {
    for (SkyLayer* layer : m_layers) delete layer;
    m_layers.clear();
    for (auto& entry : m_cloudSets) delete entry.second;
    m_cloudSets.clear();
    m_shownSet = m_fadingSet = nullptr;
    m_keyframes.clear();
    m_phaseList.phases.clear();
    m_loaded = false;
}

std::vector<CloudSet*> CPDynamicSky::GetActiveCloudSets() const {
    std::vector<CloudSet*> out;
    if (m_fadingSet && m_fadingSet != m_shownSet) out.push_back(m_fadingSet);
    if (m_shownSet) out.push_back(m_shownSet);
    return out;
}

void CPDynamicSky::BuildSphere(float r, int n, float v, const D3DXVECTOR3& c) {
    if (n <= 0) return;
    // Check the counts before making anything: (n / 2 + 1) rows of n + 1 vertices, 3 n² indices
    // (a segment count past the buffers' square root is refused before any product is formed).
    const long long rows = 2LL * (n / 4) + 1;
    const long long vertexCount = n > 100000 ? 0 : rows * (n + 1LL);
    const long long indexCount = n > 100000 ? 0 : 6LL * (rows - 1) * n;
    if (n > 100000 || vertexCount > static_cast<long long>(kMaxVertices) ||
        indexCount > static_cast<long long>(kMaxIndices)) {
        CPLog::Instance().Print(0, "DynamicSky: a sphere of %d segments does not fit the sky buffers", n);
        return;
    }
    const float step = (360.0f / static_cast<float>(n)) * kDegrees;
    std::vector<SPVertex> vertices;
    vertices.reserve(static_cast<std::size_t>(vertexCount));
    const int quarter = n / 4;
    for (int i = -quarter; i <= quarter; ++i) {
        const float a = kHalfPi - static_cast<float>(i) * step;
        for (int j = 0; j <= n; ++j) {
            SPVertex s{};
            const float jj = static_cast<float>(j) * step;
            s.x = std::cos(jj) * r * std::sin(a) + c.x;
            s.y = std::sin(jj) * r * std::sin(a) + c.y;
            s.z = std::cos(a) * v * r + c.z;
            const D3DXVECTOR3 inward(-s.x, -s.y, -s.z);
            D3DXVECTOR3 normal;
            D3DXVec3Normalize(&normal, &inward);
            s.nx = normal.x;
            s.ny = normal.y;
            s.nz = normal.z;
            s.diffuse = 0x80FFFFFFu;
            s.tu = static_cast<float>(j) / static_cast<float>(n) * 2.0f;
            s.tv = static_cast<float>(i) / static_cast<float>(quarter + 1) * 1.5f;
            vertices.push_back(s);
        }
    }
    std::vector<std::uint16_t> indices;
    indices.reserve(static_cast<std::size_t>(indexCount));
    const int bands = static_cast<int>(rows) - 1;
    for (int b = 0; b < bands; ++b) {
        for (int k = 0; k < n; ++k) {
            const int d = k + b * (n + 1);
            const int e = d + n + 1;
            for (int index : {d, e, e + 1, d, e + 1, d + 1}) indices.push_back(static_cast<std::uint16_t>(index));
        }
    }
    Upload(vertices, indices, false);
}

bool CPDynamicSky::ReadKeyframe(SkyFileRows& rows, int layerCount, SkyKeyframe& k) {
    k.duration = rows.Next().Float();
    k.alpha = rows.Next().Float();
    k.rotation = rows.Next().Float() * kDegrees;
    k.overcastChannel = rows.Next().Int() - 1;
    k.stops.assign(static_cast<std::size_t>(m_stopCount), D3DXVECTOR3(0.0f, 0.0f, 0.0f));
    for (D3DXVECTOR3& stop : k.stops) stop = rows.Next().Vector();
    k.sun = rows.Next().Vector();
    k.ambient = rows.Next().Vector();
    k.further1 = rows.Next().Vector();
    k.further2 = rows.Next().Vector();
    k.fog = rows.Next().Vector();
    k.fogStart = rows.Next().Float();
    k.fogEnd = rows.Next().Float();
    k.further = rows.Next().Float();
    k.brighten = rows.Next().Int();
    if (k.brighten != 0) {
        k.sun *= 2.0f;
        k.ambient *= 2.0f;
    }
    const std::size_t layers = static_cast<std::size_t>(layerCount);
    k.layerAngles.assign(layers, 0.0f);
    k.layerScales.assign(layers, 0.0f);
    k.layerEffects.assign(layers, 0);
    k.layerAdvance.assign(layers, 0);
    for (std::size_t i = 0; i < layers; ++i) {
        k.layerAngles[i] = rows.Next().Float() * kDegrees;
        k.layerEffects[i] = rows.Next().Int();
        k.layerScales[i] = rows.Next().Float();
        k.layerAdvance[i] = rows.Next().Int();
    }
    return true;
}

void CPDynamicSky::Load(const std::string& fileName) {
    Clear();
    SkyFileRows rows;
    if (!rows.Load(fileName)) return;
    const std::size_t lineCount = rows.LineCount();

    const float timeScale = rows.Next().Float();
    const int startKeyframe = rows.Next().Int();
    const float radius = rows.Next().Float();
    const float verticalScale = rows.Next().Float();
    const int segments = rows.Next().Int();
    const D3DXVECTOR3 centre = rows.Next().Vector();
    const std::string sphereTexture = rows.Next().Text();
    const std::string sphereEffect = rows.Next().Text();
    const int stopCount = rows.Next().Int();
    const int keyframeCount = rows.Next().Int();
    const int layerCount = rows.Next().Int();
    const std::string effectA = rows.Next().Text();
    const std::string effectB = rows.Next().Text();
    const int cloudSetCount = rows.Next().Int();
    const std::string weatherFile = rows.Next().Text();

    // A gradient needs two stops; a keyframe needs a row per stop and four per layer, so counts
    // beyond the file's rows cannot be meant.
    if (stopCount < 2) {
        CPLog::Instance().Print(0, "DynamicSky: %s has %d gradient stops; the sky needs at least 2", fileName.c_str(),
                                stopCount);
        return;
    }
    if (layerCount > kMaxLayers) {
        CPLog::Instance().Print(0, "DynamicSky: %s has %d layers; the sky draws at most %d", fileName.c_str(),
                                layerCount, kMaxLayers);
        return;
    }
    m_timeScale = timeScale;
    m_radius = radius;
    m_verticalScale = verticalScale;
    m_segments = segments;
    m_centre = centre;
    BuildSphere(radius, segments, verticalScale, centre);
    LoadTexture(sphereTexture);
    LoadEffect(sphereEffect);
    m_stopCount = WithinRows(stopCount, lineCount);
    m_rowsPerSegment = segments / (4 * m_stopCount - 4);
    const int layers = WithinRows(layerCount, lineCount);

    for (int i = 0; i < keyframeCount && !rows.AtEnd(); ++i) {
        SkyKeyframe k;
        ReadKeyframe(rows, layers, k);
        m_keyframes.push_back(std::move(k));
    }

    const D3DXVECTOR3 up(0.0f, 0.0f, 1.0f);
    for (int i = 0; i < layers && !rows.AtEnd(); ++i) {
        auto* layer = new SkyLayer();
        layer->SetEffectPaths(effectA, effectB);
        const D3DXVECTOR3 axis = rows.Next().Vector();
        D3DXVec3Normalize(&layer->axis, &axis);
        D3DXVECTOR3 turnAxis;
        D3DXVec3Cross(&turnAxis, &up, &layer->axis);
        D3DXMatrixRotationAxis(&layer->baseMatrix, &turnAxis, AcosClamped(D3DXVec3Dot(&up, &layer->axis)));
        const float halfSize = rows.Next().Float();
        layer->distance = rows.Next().Float();
        layer->baseAngle = rows.Next().Float() * kDegrees;
        const int textures = rows.Next().Int();
        for (int t = 0; t < textures && !rows.AtEnd(); ++t) layer->AddTexture(rows.Next().Text());
        layer->Build(halfSize);
        m_layers.push_back(layer);
    }

    for (int i = 0; i < cloudSetCount && !rows.AtEnd(); ++i) {
        const std::string name = rows.Next().Text();
        // A name given again would read the same file again into an equal set.
        if (m_cloudSets.count(name)) continue;
        auto* set = new CloudSet();
        set->Load(name);
        m_cloudSets[name] = set;
    }

    m_phaseList.Load(weatherFile);
    if (!m_phaseList.phases.empty()) {
        m_phase = m_phaseList.phases[0];
        m_phaseIndex = 0;
        m_phaseTimer = 0.0f;
        m_ramp = 0.0f;
        m_rampRising = true;
        auto found = m_cloudSets.find(m_phase.cloudSet);
        m_shownSet = found != m_cloudSets.end() ? found->second : nullptr;
        m_phaseDuration = DrawPhaseDuration();
    }

    if (!m_keyframes.empty()) {
        m_keyframeIndex =
            startKeyframe >= 0 && startKeyframe < static_cast<int>(m_keyframes.size()) ? startKeyframe : 0;
        m_keyframeTimer = 0.0f;
        BeginKeyframe();
        m_loaded = true;
        // The layers stand where their start keyframe puts them, so the first frame's sun has a
        // direction.
        for (std::size_t i = 0; i < m_layers.size(); ++i) {
            m_layers[i]->angle = m_current.layerAngles[i];
            m_layers[i]->scale = m_current.layerScales[i];
            m_layers[i]->Place();
        }
    }
    LoadLightEffect("data/effects/skyscape_light.fx");
}

float CPDynamicSky::DrawPhaseDuration() const {
    const float mean = m_phase.meanDuration;
    const float spread = mean * m_phase.variation;
    float duration = mean - spread;
    // The random part needs a modulus of at least 1.
    const float modulus = spread * 20.0f;
    if (modulus >= 1.0f) {
        const int m = modulus >= 2147483520.0f ? std::numeric_limits<int>::max() : static_cast<int>(modulus);
        duration += 0.1f * static_cast<float>(Platform::EngineRand() % m);
    }
    return duration;
}

void CPDynamicSky::BeginKeyframe() {
    if (m_keyframes.empty()) return;
    const int last = static_cast<int>(m_keyframes.size()) - 1;
    if (m_keyframeIndex < 0 || m_keyframeIndex > last) m_keyframeIndex = 0;
    const SkyKeyframe& now = m_keyframes[static_cast<std::size_t>(m_keyframeIndex)];
    const SkyKeyframe& next =
        m_keyframes[static_cast<std::size_t>(m_keyframeIndex + 1 > last ? 0 : m_keyframeIndex + 1)];
    m_current = now;
    m_overcast = now;
    const float d = now.duration;

    m_rates = SkyKeyframe();
    m_rates.stops.resize(now.stops.size());
    for (std::size_t i = 0; i < now.stops.size(); ++i) m_rates.stops[i] = Rate(next.stops[i], now.stops[i], d);
    m_rates.sun = Rate(next.sun, now.sun, d);
    m_rates.ambient = Rate(next.ambient, now.ambient, d);
    m_rates.further1 = Rate(next.further1, now.further1, d);
    m_rates.further2 = Rate(next.further2, now.further2, d);
    m_rates.fog = Rate(next.fog, now.fog, d);
    m_rates.rotation = Rate(next.rotation, now.rotation, d);
    m_rates.alpha = Rate(next.alpha, now.alpha, d);
    m_rates.fogStart = Rate(next.fogStart, now.fogStart, d);
    m_rates.fogEnd = Rate(next.fogEnd, now.fogEnd, d);
    m_rates.further = Rate(next.further, now.further, d);

    const std::size_t layers = now.layerAngles.size();
    m_rates.layerAngles.assign(layers, 0.0f);
    m_rates.layerScales.assign(layers, 0.0f);
    for (std::size_t i = 0; i < layers; ++i) {
        m_rates.layerScales[i] = Rate(next.layerScales[i], now.layerScales[i], d);
        // Through the wrap to the first keyframe the layers keep turning the same way.
        if (m_keyframeIndex == last) m_current.layerAngles[i] -= kFullTurn;
        m_rates.layerAngles[i] = Rate(next.layerAngles[i], m_current.layerAngles[i], d);
    }
    for (std::size_t i = 0; i < m_layers.size() && i < layers; ++i) {
        m_layers[i]->SelectEffect(now.layerEffects[i]);
        if (now.layerAdvance[i] == 1) m_layers[i]->NextTexture();
    }
}

float CPDynamicSky::RampFraction() const {
    if (!(m_phase.transition > 0.0f)) return 0.0f;
    const float f = m_ramp / m_phase.transition;
    if (!(f > 0.0f)) return 0.0f;
    return f > 1.0f ? 1.0f : f;
}

void CPDynamicSky::ColourSphere(float fraction) {
    const bool overcast = m_phase.overcast != 0;
    std::vector<D3DXVECTOR3> working = m_current.stops;
    if (overcast)
        for (std::size_t i = 0; i < working.size(); ++i) working[i] = Lerp(working[i], m_overcast.stops[i], fraction);
    // A row holds n + 1 vertices; n may be any count the file gave (the sphere refused it then).
    const long long rowWidth = static_cast<long long>(m_segments) + 1;
    const std::size_t rowCount = rowWidth > 0 ? m_source.size() / static_cast<std::size_t>(rowWidth) : 0;
    const int perSegment = m_rowsPerSegment;
    const int alpha = Truncate(m_current.alpha) & 0xFF;
    const int segments = static_cast<int>(working.size()) - 1;
    for (int g = 0; g < segments; ++g) {
        const D3DXVECTOR3 step =
            perSegment > 0 ? (working[g + 1] - working[g]) / static_cast<float>(perSegment) : D3DXVECTOR3(0, 0, 0);
        D3DXVECTOR3 running = working[g];
        const long long first = static_cast<long long>(g) * perSegment;
        long long end = first + perSegment;
        if (g == segments - 1) ++end;
        // Rows past the sphere (none was built, or a count beyond it) have nothing to colour.
        if (end > static_cast<long long>(rowCount)) end = static_cast<long long>(rowCount);
        for (long long row = first; row < end; ++row) {
            running += step;
            running = Clamp255(running);
            const D3DCOLOR colour =
                static_cast<D3DCOLOR>(alpha) << 24 | static_cast<D3DCOLOR>(Truncate(running.x)) << 16 |
                static_cast<D3DCOLOR>(Truncate(running.y)) << 8 | static_cast<D3DCOLOR>(Truncate(running.z));
            SPVertex* v = &m_source[static_cast<std::size_t>(row) * static_cast<std::size_t>(rowWidth)];
            for (long long j = 0; j < rowWidth; ++j) v[j].diffuse = colour;
        }
    }
}

void CPDynamicSky::Advance(float frameTime, float step) {
    if (!m_loaded) return;
    const float weatherStep = frameTime * m_timeScale;
    const bool overcast = m_phase.overcast != 0;

    if (m_rampRising) {
        m_ramp += step;
        if (m_ramp > m_phase.transition) m_ramp = m_phase.transition;
    } else {
        m_ramp -= step;
        if (m_ramp < 0.0f) m_ramp = 0.0f;
    }
    const float fraction = RampFraction();

    for (std::size_t i = 0; i < m_current.stops.size(); ++i) {
        m_current.stops[i] += m_rates.stops[i] * step;
        if (overcast) m_overcast.stops[i] = OvercastOf(m_current.stops[i], m_current.overcastChannel);
    }
    for (D3DXVECTOR3 SkyKeyframe::*member : {&SkyKeyframe::sun, &SkyKeyframe::ambient, &SkyKeyframe::further1,
                                             &SkyKeyframe::further2, &SkyKeyframe::fog}) {
        m_current.*member = Clamp255(m_current.*member + m_rates.*member * step);
        if (overcast) m_overcast.*member = OvercastOf(m_current.*member, m_current.overcastChannel);
    }
    m_current.alpha = Clamp255(m_current.alpha + m_rates.alpha * step);
    m_current.rotation += m_rates.rotation * step;
    m_current.fogStart += m_rates.fogStart * step;
    m_current.fogEnd += m_rates.fogEnd * step;
    m_current.further += m_rates.further * step;

    const D3DXVECTOR3 fog = overcast ? Lerp(m_current.fog, m_overcast.fog, fraction) : m_current.fog;
    SetSkyFog(fog.x, fog.y, fog.z, m_current.fogStart, m_current.fogEnd);

    for (std::size_t i = 0; i < m_current.layerAngles.size(); ++i) {
        m_current.layerAngles[i] += m_rates.layerAngles[i] * step;
        m_current.layerScales[i] += m_rates.layerScales[i] * step;
    }

    ColourSphere(fraction);
    // The sphere is drawn as built: the keyframes' rotation does not turn it.

    const D3DXVECTOR3 ambient = overcast ? Lerp(m_current.ambient, m_overcast.ambient, fraction) : m_current.ambient;
    SetSkyAmbient(ambient.x, ambient.y, ambient.z);

    if (!m_source.empty()) {
        Upload(m_source, m_indices, false);
        Render();
    }

    const float layerStep = m_timeScale != 0.0f ? step / m_timeScale : 0.0f;
    for (std::size_t i = 0; i < m_layers.size(); ++i) {
        SkyLayer* layer = m_layers[i];
        if (i < m_current.layerScales.size()) {
            layer->scale = m_current.layerScales[i];
            layer->angle = m_current.layerAngles[i];
        }
        if (overcast) {
            const float fade = i == 0 ? 200.0f : 255.0f;
            layer->SetAlpha(Truncate(255.0f - fade * fraction));
        }
        if (i == 0) {
            const D3DXVECTOR3 sun = overcast ? Lerp(m_current.sun, m_overcast.sun, fraction) : m_current.sun;
            SetSkySunLight(-layer->worldPosition, sun.x / 255.0f, sun.y / 255.0f, sun.z / 255.0f, 1.0f);
        }
        layer->Update(layerStep);
    }

    ClearSkyDepth();

    m_keyframeTimer += step;
    if (m_keyframeTimer > m_current.duration) {
        m_keyframeTimer = 0.0f;
        ++m_keyframeIndex;
        if (m_keyframeIndex >= static_cast<int>(m_keyframes.size())) m_keyframeIndex = 0;
        BeginKeyframe();
    }

    if (m_phaseList.phases.empty()) return;
    m_phaseTimer += weatherStep;
    if (m_phaseTimer > m_phaseDuration)
        PickNextPhase();
    else if (m_phaseDuration - m_phaseTimer <= m_phase.transition)
        m_rampRising = false;
}

void CPDynamicSky::PickNextPhase() {
    const std::vector<WeatherPhase>& phases = m_phaseList.phases;
    const int count = static_cast<int>(phases.size());
    bool another = false;
    for (int i = 0; i < count; ++i) another = another || (i != m_phaseIndex && phases[i].probability > 0.0f);
    int chosen = -1;
    if (another) {
        for (int draw = 0; draw < kMaxPhaseDraws && chosen < 0; ++draw) {
            const int r = Platform::EngineRand() % count;
            if (r == m_phaseIndex) continue;
            const float roll = static_cast<float>(Platform::EngineRand() % 100) * 0.01f;
            if (roll <= phases[static_cast<std::size_t>(r)].probability) chosen = r;
        }
    }
    if (chosen < 0) {
        // No other phase can follow: this one runs again.
        m_phaseTimer = 0.0f;
        return;
    }
    m_phaseIndex = chosen;
    m_phase = phases[static_cast<std::size_t>(chosen)];
    ChangeCloudSet();
    m_phaseTimer = 0.0f;
    m_phaseDuration = DrawPhaseDuration();
}

void CPDynamicSky::ChangeCloudSet() {
    m_ramp = 0.0f;
    m_rampRising = true;
    CloudSet* outgoing = m_shownSet;
    auto found = m_cloudSets.find(m_phase.cloudSet);
    CloudSet* incoming = found != m_cloudSets.end() ? found->second : nullptr;
    if (incoming == outgoing) return;
    if (outgoing) {
        outgoing->StartFadingOut();
        m_fadingSet = outgoing;
    }
    m_shownSet = incoming;
    if (incoming) {
        incoming->timer = 0;
        incoming->PlaceItems();
        incoming->SetActive(true, true);
    }
    // The hook the phase may ask for does nothing yet.
    if (m_phase.hook != 0) ++m_hookCalls;
}
