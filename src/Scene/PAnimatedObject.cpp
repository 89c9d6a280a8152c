#include "Scene/PAnimatedObject.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <utility>

#include "Framework/CommandRouter.h"
#include "Framework/PGlobalTimer.h"
#include "Platform/System/NumberText.h"
#include "Render/PVertexEffect.h"
#include "Script/PLuaScript.h"

namespace {

bool IsMirrored(const D3DXMATRIX& m) {
    const float det = m._11 * (m._22 * m._33 - m._23 * m._32) - m._12 * (m._21 * m._33 - m._23 * m._31) +
                      m._13 * (m._21 * m._32 - m._22 * m._31);
    return det < 0.0f;
}

void Send(const CPSmartPtr<CPLuaScript>& target, const char* event) {
    if (!target) return;
    RouteCommandByObject(target.Get(), event, Platform::FormatC("%d", static_cast<int>(target->GetHandle())));
}

} // namespace

CPAnimatedObject::~CPAnimatedObject() {
    for (CPVertexEffect* effect : m_vertexEffects) delete effect;
    m_vertexEffects.clear();
    m_owner = nullptr;
    m_hooks = nullptr;
}

void CPAnimatedObject::SetOwner(IPSceneObject* owner) {
    m_owner = owner;
    m_hooks = dynamic_cast<IPAnimationHooks*>(owner);
}

void CPAnimatedObject::AddAnimation(const std::string& name, const CPSmartPtr<CPAnimation>& animation) {
    m_animations[name] = animation;
    if (!m_current && animation) {
        m_current = animation;
        m_stopped = false;
    }
}

void CPAnimatedObject::SetAnimation(const SPAnimationRequest& request, bool restart) {
    if (!restart && m_currentName == request.name) return;
    auto found = m_animations.find(request.name);
    if (found == m_animations.end()) return;
    m_currentName = request.name;
    m_current = found->second;
    m_startTime = static_cast<float>(g_totalTime + static_cast<double>(request.timeOffset));
    m_loopLimit = request.loopLimit;
    m_cycles = 0;
    m_reportedFrame = -1;
    m_reportFrame = request.reportFrame;
    m_speed = request.speed;
    m_currentFrame = -1;
    m_reportTarget = request.reportTarget;
    m_stopped = false;
    if (m_hasVertexEffects)
        for (CPVertexEffect* effect : m_vertexEffects) effect->Reset();
}

void CPAnimatedObject::AddVertexEffect(CPVertexEffect* effect) {
    if (!effect) return;
    m_vertexEffects.push_back(effect);
    m_hasVertexEffects = true;
}

void CPAnimatedObject::CopyFrom(const CPAnimatedObject& source) {
    if (&source == this) return;
    for (const auto& [name, animation] : source.m_animations) m_animations[name] = animation;
    m_current = source.m_current;
    m_startTime = source.m_startTime;
    m_loopLimit = source.m_loopLimit;
    m_cycles = source.m_cycles;
    m_reportedFrame = source.m_reportedFrame;
    m_reportFrame = source.m_reportFrame;
    m_speed = source.m_speed;
    m_reportTarget = source.m_reportTarget;
    m_currentFrame = source.m_currentFrame;
    m_stopped = source.m_stopped;
    m_currentName = source.m_currentName;
    m_material = source.m_material;
    m_hasVertexEffects = source.m_hasVertexEffects;
    for (CPVertexEffect* effect : m_vertexEffects) delete effect;
    m_vertexEffects.clear();
    for (const CPVertexEffect* effect : source.m_vertexEffects) m_vertexEffects.push_back(effect->Clone());
}

bool CPAnimatedObject::CanPlay() const {
    if (!m_owner || !m_current) return false;
    const CPAnimation& animation = *m_current;
    const float duration = animation.GetDuration();
    // With no time per cycle the wrap of the clock would never end.
    return animation.GetFrameCount() > 0 &&
           animation.GetFrames().size() == static_cast<std::size_t>(animation.GetFrameCount()) &&
           std::isfinite(duration) && duration > 0.0f;
}

int CPAnimatedObject::ChooseFrame() const {
    const CPAnimation& animation = *m_current;
    const long double duration = animation.GetDuration();
    long double t = (static_cast<long double>(g_totalTime) - static_cast<long double>(m_startTime)) *
                    static_cast<long double>(m_speed);
    // Where "while t > D: t -= D" ends, in one step: an hour into a run the loop would turn
    // thousands of times per object per frame. An exact multiple of D stays at D.
    if (t > duration) {
        t = std::fmod(t, duration);
        if (t == 0.0L) t = duration;
    }
    const int last = animation.GetFrameCount() - 1;
    const long double frameTime = animation.GetFrameTime();
    if (!(frameTime > 0.0L)) return 0;
    const long double i = t / frameTime;
    if (std::isnan(i) || i < 0.0L) return 0;
    if (i >= static_cast<long double>(last)) return last;
    return static_cast<int>(i);
}

const SPAnimationFrame* CPAnimatedObject::NextFrame(bool* stops) const {
    if (stops) *stops = false;
    if (!CanPlay()) return nullptr;
    const std::vector<SPAnimationFrame>& frames = m_current->GetFrames();
    const int count = static_cast<int>(frames.size());
    if (m_stopped) {
        // Held since the stop (a copy may hold a frame of its own animation only).
        if (m_currentFrame < 0 || m_currentFrame >= count) return nullptr;
        return &frames[static_cast<std::size_t>(m_currentFrame)];
    }
    int chosen = ChooseFrame();
    if (m_currentFrame >= 0 && chosen < m_currentFrame && m_loopLimit > 0 && m_cycles >= m_loopLimit - 1) {
        if (stops) *stops = true;
        chosen = std::max(0, count - 2);
    }
    return &frames[static_cast<std::size_t>(chosen)];
}

int CPAnimatedObject::GetVertexCount() const {
    const SPAnimationFrame* frame = NextFrame();
    return frame ? static_cast<int>(frame->vertices.size()) : 0;
}

int CPAnimatedObject::GetIndexCount() const {
    const SPAnimationFrame* frame = NextFrame();
    return frame ? static_cast<int>(frame->indices.size()) : 0;
}

void CPAnimatedObject::FillVertices(SPVertex* vertices, std::uint16_t* indices, std::uint16_t baseIndex, int) {
    if (!CanPlay()) return;
    const int count = m_current->GetFrameCount();
    bool stoppedNow = false;
    bool reportNow = false;
    if (!m_stopped) {
        const int chosen = ChooseFrame();
        if (m_currentFrame >= 0 && chosen < m_currentFrame) {
            m_reportedFrame = -1;
            if (m_cycles < INT_MAX) ++m_cycles;
            if (m_loopLimit > 0 && m_cycles >= m_loopLimit) {
                // The stop's bookkeeping comes before anything is written or told, so a hook
                // may start the same animation again.
                m_stopped = true;
                m_currentFrame = std::max(0, count - 2);
                m_currentName.clear();
                stoppedNow = true;
            }
        }
        if (!m_stopped) m_currentFrame = chosen;
        if (m_reportFrame >= 0 && m_reportedFrame < 0 && chosen >= m_reportFrame) {
            m_reportedFrame = chosen;
            reportNow = true;
        }
    }
    if (m_currentFrame < 0 || m_currentFrame >= count) return;
    const SPAnimationFrame& frame = m_current->GetFrames()[static_cast<std::size_t>(m_currentFrame)];

    const D3DXMATRIX& m = m_owner->GetWorldMatrix();
    const float m11 = m._11, m12 = m._12, m13 = m._13, m21 = m._21, m22 = m._22, m23 = m._23;
    const float m31 = m._31, m32 = m._32, m33 = m._33, m41 = m._41, m42 = m._42, m43 = m._43;
    const int vertexCount = static_cast<int>(frame.vertices.size());
    const SPVertex* source = frame.vertices.data();
    for (int i = 0; i < vertexCount; ++i) {
        const SPVertex& s = source[i];
        SPVertex& d = vertices[i];
        d.x = s.x * m11 + s.y * m21 + s.z * m31 + m41;
        d.y = s.x * m12 + s.y * m22 + s.z * m32 + m42;
        d.z = s.x * m13 + s.y * m23 + s.z * m33 + m43;
        d.nx = s.nx * m11 + s.ny * m21 + s.nz * m31;
        d.ny = s.nx * m12 + s.ny * m22 + s.nz * m32;
        d.nz = s.nx * m13 + s.ny * m23 + s.nz * m33;
        d.diffuse = s.diffuse;
        d.specular = s.specular;
        d.tu = s.tu;
        d.tv = s.tv;
        d.tu1 = s.tu1;
        d.tv1 = s.tv1;
    }
    if (m_hasVertexEffects)
        for (CPVertexEffect* effect : m_vertexEffects) effect->Apply(vertices, vertices, vertexCount);

    const std::size_t indexCount = frame.indices.size();
    const std::uint16_t* in = frame.indices.data();
    std::size_t i = 0;
    if (IsMirrored(m)) {
        for (; i + 3 <= indexCount; i += 3) {
            indices[i] = static_cast<std::uint16_t>(in[i] + baseIndex);
            indices[i + 1] = static_cast<std::uint16_t>(in[i + 2] + baseIndex);
            indices[i + 2] = static_cast<std::uint16_t>(in[i + 1] + baseIndex);
        }
    }
    for (; i < indexCount; ++i) indices[i] = static_cast<std::uint16_t>(in[i] + baseIndex);

    // The hooks may apply a new request (an enemy starts its next blow when one ends); it
    // shows from the next pass, after the counts of this one were used.
    if (stoppedNow) Send(m_reportTarget, "animation_stopped");
    if (reportNow) Send(m_reportTarget, "animation_report");
    IPAnimationHooks* hooks = m_hooks;
    if (stoppedNow && hooks) hooks->OnAnimationStopped();
    if (reportNow && hooks) hooks->OnAnimationReport();
}

void SetAnimationOnTree(IPSceneObject& root, const SPAnimationRequest& request, bool restart) {
    // An explicit stack: a deep tree from a data file must not exhaust the call stack.
    std::vector<IPSceneObject*> pending{&root};
    while (!pending.empty()) {
        IPSceneObject* object = pending.back();
        pending.pop_back();
        if (object->GetKind() == IPSceneObject::KindAnimated)
            if (auto* animated = dynamic_cast<CPAnimatedObject*>(object->GetRenderable()))
                animated->SetAnimation(request, restart);
        for (int i = object->GetChildCount() - 1; i >= 0; --i)
            if (IPSceneObject* child = object->GetChild(i)) pending.push_back(child);
    }
}
