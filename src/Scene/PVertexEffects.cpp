#include "Scene/PVertexEffects.h"

#include <algorithm>
#include <climits>
#include <cmath>

#include "Framework/PGlobalTimer.h"
#include "Framework/StringUtils.h"
#include "Platform/System/NumberText.h"
#include "Platform/System/Random.h"

namespace {

// Truncation towards zero into [low, high]; a NaN gives `nanValue`. A plain cast of a value
// outside the int range is undefined, and effect parameters come straight from data files.
std::int64_t TruncateInto(double value, std::int64_t low, std::int64_t high, std::int64_t nanValue) {
    if (std::isnan(value)) return nanValue;
    if (value <= static_cast<double>(low)) return low;
    if (value >= static_cast<double>(high)) return high;
    return static_cast<std::int64_t>(value);
}

D3DCOLOR WhiteWithAlpha(std::int64_t alpha) { return (static_cast<D3DCOLOR>(alpha) << 24) | 0x00FFFFFFu; }

// Where "while above 1 subtract 1, then while below 0 add 1" leaves an offset, without the
// steps: a large start offset (random times the speed) would take that many of them.
float WrapOffset(float offset) {
    if (!std::isfinite(offset)) return 0.0f;
    double wrapped = offset;
    if (wrapped > 1.0) wrapped -= std::ceil(wrapped - 1.0);
    if (wrapped < 0.0) wrapped += std::ceil(-wrapped);
    return std::clamp(static_cast<float>(wrapped), 0.0f, 1.0f);
}

} // namespace

void CPEnvironmentEffect::Update(float) {}

void CPEnvironmentEffect::Apply(SPVertex* destination, const SPVertex* source, int count) {
    for (int i = 0; i < count; ++i) {
        const SPVertex v = source[i];
        destination[i] = v;
        destination[i].tu1 = v.x / m_scale + v.nx * 0.5f;
        destination[i].tv1 = v.y / m_scale + v.ny * 0.5f;
    }
}

CPVertexEffect* CPEnvironmentEffect::Clone() const { return new CPEnvironmentEffect(*this); }

void CPFadeEffect::Update(float dt) {
    m_alpha -= dt * m_rate;
    if (!(m_alpha >= 0.0f)) m_alpha = 0.0f;
}

void CPFadeEffect::Apply(SPVertex* destination, const SPVertex* source, int count) {
    Update(g_deltaTime);
    // A negative rate makes the alpha grow: it stays opaque.
    const D3DCOLOR colour = WhiteWithAlpha(TruncateInto(m_alpha, 0, 255, 0));
    for (int i = 0; i < count; ++i) {
        destination[i] = source[i];
        destination[i].diffuse = colour;
    }
}

CPVertexEffect* CPFadeEffect::Clone() const { return new CPFadeEffect(*this); }

CPMovingTexEffect::CPMovingTexEffect(float uSpeed, float vSpeed) : m_uSpeed(uSpeed), m_vSpeed(vSpeed) {
    const float r = static_cast<float>(Platform::EngineRand());
    m_uOffset = r * uSpeed;
    m_vOffset = r * vSpeed;
}

void CPMovingTexEffect::Update(float dt) {
    m_uOffset = WrapOffset(m_uOffset + dt * m_uSpeed);
    m_vOffset = WrapOffset(m_vOffset + dt * m_vSpeed);
}

void CPMovingTexEffect::Apply(SPVertex* destination, const SPVertex* source, int count) {
    Update(g_deltaTime);
    for (int i = 0; i < count; ++i) {
        destination[i] = source[i];
        destination[i].tu += m_uOffset;
        destination[i].tv += m_vOffset;
    }
}

CPVertexEffect* CPMovingTexEffect::Clone() const { return new CPMovingTexEffect(m_uSpeed, m_vSpeed); }

CPFlickEffect::CPFlickEffect(float frequency, std::uint8_t low, std::uint8_t high)
    : m_frequency(frequency), m_high(high), m_halfRange((static_cast<float>(high) - static_cast<float>(low)) * 0.5f),
      m_time(static_cast<float>(Platform::EngineRand())) {
    m_centre = static_cast<std::uint8_t>(TruncateInto(static_cast<float>(low) + m_halfRange, 0, 255, 0));
    m_value = m_centre;
}

void CPFlickEffect::Update(float dt) {
    m_time += dt;
    const float value = std::sin(m_time * m_frequency) * m_halfRange + static_cast<float>(m_centre);
    m_value = static_cast<int>(TruncateInto(value, INT_MIN, INT_MAX, m_centre));
}

void CPFlickEffect::Apply(SPVertex* destination, const SPVertex* source, int count) {
    Update(g_deltaTime);
    for (int i = 0; i < count; ++i) {
        const float alpha = static_cast<float>(source[i].diffuse >> 24);
        destination[i] = source[i];
        destination[i].diffuse =
            WhiteWithAlpha(TruncateInto(alpha * static_cast<float>(m_value) * 0.003921569f, 0, 255, 0));
    }
}

CPVertexEffect* CPFlickEffect::Clone() const { return new CPFlickEffect(*this); }

CPAnimEffect::CPAnimEffect(int columns, int rows, float fps, int startFrame, int endFrame)
    : m_columns(std::max(columns, 1)), m_rows(std::max(rows, 1)), m_fps(fps),
      m_du(1.0f / static_cast<float>(m_columns)), m_dv(1.0f / static_cast<float>(m_rows)),
      m_frameCount(static_cast<std::int64_t>(m_columns) * m_rows), m_ranged(startFrame != 0), m_startFrame(startFrame),
      m_endFrame(endFrame) {
    if (m_ranged) m_time = static_cast<float>(m_frameCount) / m_fps;
}

float CPAnimEffect::FrameStart(int frame) const {
    const float count = static_cast<float>(m_frameCount);
    return (count / m_fps) * (static_cast<float>(frame) / count);
}

void CPAnimEffect::Update(float dt) {
    const float atlasEnd = static_cast<float>(m_frameCount) / m_fps;
    if (!m_ranged) {
        m_time += dt;
    } else if (m_playing) {
        m_time += dt;
        if (m_phase == 0) {
            if (m_time >= FrameStart(m_startFrame)) m_phase = 1;
        } else if (m_phase == 1) {
            if (m_time > FrameStart(m_endFrame)) m_time = FrameStart(m_startFrame);
        }
    } else if (m_phase == 2) {
        m_time = atlasEnd;
    } else {
        m_time += dt;
        if (m_time > atlasEnd) {
            m_phase = 2;
            m_time = atlasEnd;
        }
    }
    // Any float, including NaN and values beyond the integer range, gives a cell of the atlas.
    std::int64_t cell = TruncateInto(m_fps * m_time, LLONG_MIN, LLONG_MAX, 0) % m_frameCount;
    if (cell < 0) cell += m_frameCount;
    m_frame = static_cast<int>(std::min<std::int64_t>(cell, INT_MAX));
}

float CPAnimEffect::CellU(int cell) const { return static_cast<float>(cell % m_columns) * m_du; }

float CPAnimEffect::CellV(int cell) const { return static_cast<float>(cell / m_columns) * m_dv; }

void CPAnimEffect::Apply(SPVertex* destination, const SPVertex* source, int count) {
    Update(g_deltaTime);
    const float u = CellU(m_frame);
    const float v = CellV(m_frame);
    for (int i = 0; i < count; ++i) {
        const SPVertex s = source[i];
        destination[i] = s;
        destination[i].tu = u + m_du * s.tu;
        destination[i].tv = v + m_dv * s.tv;
    }
}

CPVertexEffect* CPAnimEffect::Clone() const {
    return new CPAnimEffect(m_columns, m_rows, m_fps, m_startFrame, m_endFrame);
}

void CPAnimEffect::Start() {
    m_playing = true;
    m_time = 0.0f;
    m_phase = 0;
}

CPVertexEffect* CreateVertexEffect(const std::string& keyword, const std::vector<std::string>& parameters) {
    const std::string kind = Lowered(keyword);
    const std::size_t n = parameters.size();
    auto numbers = [&](std::size_t count) {
        for (std::size_t i = 0; i < count; ++i)
            if (!IsNumber(parameters[i])) return false;
        return true;
    };
    auto number = [&](std::size_t i) { return Platform::ParseFloat(parameters[i]); };
    auto integer = [&](std::size_t i) { return Platform::ParseInt(parameters[i]); };

    if (kind == "anim") {
        if (n < 3 || !numbers(3)) return nullptr;
        const int columns = integer(0);
        const int rows = integer(1);
        const float fps = number(2);
        if (columns < 1 || rows < 1 || !(fps > 0.0f)) return nullptr;
        const int startFrame = n == 5 ? integer(3) : 0;
        const int endFrame = n == 5 ? integer(4) : 0;
        return new CPAnimEffect(columns, rows, fps, startFrame, endFrame);
    }
    if (kind == "flick") {
        if (n != 3 || !numbers(3)) return nullptr;
        return new CPFlickEffect(number(0), static_cast<std::uint8_t>(integer(1) & 0xFF),
                                 static_cast<std::uint8_t>(integer(2) & 0xFF));
    }
    if (kind == "movingtex") {
        if (n != 2 || !numbers(2)) return nullptr;
        return new CPMovingTexEffect(number(0), number(1));
    }
    if (kind == "fade") {
        if (n != 1 || !numbers(1)) return nullptr;
        return new CPFadeEffect(number(0));
    }
    if (kind == "environment") {
        if (n != 1 || !numbers(1)) return nullptr;
        const float scale = number(0);
        if (scale == 0.0f) return nullptr;
        return new CPEnvironmentEffect(scale);
    }
    return nullptr;
}
