#include "Scene/PPartAnimation.h"

#include <cmath>

#include "Framework/PGlobalTimer.h"

void CPPartAnimation::SetKeys(const std::vector<D3DXMATRIX>& keys, const std::vector<float>& durations) {
    m_keys = keys;
    m_durations = durations;
    m_cycle = 0.0;
    for (std::size_t i = 0; i + 2 < m_durations.size(); ++i) m_cycle += m_durations[i];
}

void CPPartAnimation::CopyKeys(const CPSmartPtr<CPPartAnimation>& source) {
    if (!source) return;
    m_loop = source->m_loop;
    SetKeys(source->m_keys, source->m_durations);
}

bool CPPartAnimation::CanRun() const {
    if (m_keys.size() < 3 || m_durations.size() != m_keys.size()) return false;
    // A looping cycle that takes no time would turn for ever.
    return !m_loop || m_cycle > 0.0;
}

void CPPartAnimation::Update() {
    if (!CanRun()) {
        Stop();
        return;
    }
    const int lastPlayed = static_cast<int>(m_durations.size()) - 2;
    // At or past its end (started again after it ended, or given fewer keys by CopyKeys): a
    // single run is over, a loop begins again.
    if (m_keyIndex < 0 || m_keyIndex >= lastPlayed) {
        if (!m_loop) {
            Stop();
            return;
        }
        m_keyIndex = 0;
    }
    m_timeInKey += g_deltaTime;
    if (!std::isfinite(m_timeInKey)) {
        // A clock that cannot be placed on the keys: the track ends where it is.
        m_timeInKey = 0.0f;
        Stop();
        return;
    }
    while (m_timeInKey > m_durations[static_cast<std::size_t>(m_keyIndex)]) {
        if (m_loop && m_keyIndex == 0 && m_timeInKey > kMaxCyclesPerPass * m_cycle) {
            m_timeInKey = static_cast<float>(std::fmod(static_cast<double>(m_timeInKey), m_cycle));
            if (m_owner) m_owner->OnAnimationEnd();
            continue;
        }
        m_timeInKey -= m_durations[static_cast<std::size_t>(m_keyIndex)];
        ++m_keyIndex;
        if (m_keyIndex == lastPlayed) {
            if (m_loop) {
                m_keyIndex = 0;
                if (m_owner) m_owner->OnAnimationEnd();
            } else {
                if (m_owner) m_owner->OnAnimationEnd();
                Stop();
                break;
            }
        }
    }

    const float duration = m_durations[static_cast<std::size_t>(m_keyIndex)];
    // A key of no length has been reached as soon as it is entered.
    const float f = duration > 0.0f ? m_timeInKey / duration : 1.0f;
    const D3DXMATRIX& from = m_keys[static_cast<std::size_t>(m_keyIndex)];
    const D3DXMATRIX& to = m_keys[static_cast<std::size_t>(m_keyIndex) + 1];
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) m_current.m[r][c] = from.m[r][c] + f * (to.m[r][c] - from.m[r][c]);
    if (m_owner) {
        m_owner->SetAnimatedLocalMatrix(m_current);
        m_owner->UpdateTransform();
    }
}
