#include "World/PGearBox.h"

#include <algorithm>

#include "Framework/PSettings.h"

void GearBox::Reset() {
    m_state = kIdle;
    m_throttle = 0.0f;
    m_carSpeed = 0.0f;
    m_engineForce = 0.0f;
    m_engineSpeed = 0.0f;
    m_currentGear = 0;
    m_tractionTime = -1.0f;
    m_gears.clear();
}

void GearBox::InstallDefaults() {
    m_gears = {
        {0.0f, -1.0f, 0.0f, 0.0f, 1.0f}, {3.0f, 1.0f, 3.0f, 3.0f, 1.0f},  {2.0f, 1.5f, 4.0f, 10.0f, 0.8f},
        {2.1f, 2.0f, 5.0f, 15.0f, 0.6f}, {2.2f, 2.5f, 6.0f, 20.0f, 0.4f}, {2.1f, 3.0f, 7.0f, 25.0f, 0.2f},
    };
    m_reverseGear = {-1.0f, 1.0f, 3.0f, 0.0f, 1.0f};
    m_riseFactor = 1.0f;
    m_fallFactor = 5.0f;
}

float GearBox::Update(float dt) {
    const bool pressing = m_throttle > 0.0f;
    const bool pulling = m_throttle < 0.0f;
    switch (m_state) {
    case kIdle:
        if (pressing) {
            m_state = kForward;
            m_currentGear = 0;
            m_tractionTime = -1.0f;
        } else if (pulling) {
            m_state = kReverse;
        }
        m_engineForce = 0.0f;
        if (CarBrakes()) SetBrake(false);
        break;
    case kReverse: UpdateReverse(dt); break;
    case kForward: UpdateForward(dt); break;
    default: m_engineForce = 0.0f; break;
    }
    return m_engineForce;
}

void GearBox::UpdateReverse(float dt) {
    const bool pressing = m_throttle > 0.0f;
    const bool pulling = m_throttle < 0.0f;
    const SPGear& b = m_reverseGear;
    if (pulling) {
        if (CarBrakes()) SetBrake(false);
        m_engineSpeed = std::min(m_engineSpeed + b.rise * m_riseFactor * dt, kMaxReverseEngineSpeed);
    } else {
        m_engineSpeed = std::max(m_engineSpeed - dt * m_fallFactor, 0.0f);
        if (m_engineSpeed == 0.0f) m_state = kIdle;
        if (pressing && !CarBrakes()) SetBrake(true);
    }
    m_engineForce = m_engineSpeed * b.coefficient;
}

void GearBox::UpdateForward(float dt) {
    const bool pressing = m_throttle > 0.0f;
    const bool pulling = m_throttle < 0.0f;
    if (m_gears.empty()) {
        // A box without forward gears cannot drive; it only lets the engine fall back.
        m_engineSpeed = std::max(m_engineSpeed - dt * m_fallFactor, 0.0f);
        if (m_engineSpeed == 0.0f) m_state = kIdle;
        m_engineForce = 0.0f;
        return;
    }
    m_currentGear = std::clamp(m_currentGear, 0, static_cast<int>(m_gears.size()) - 1);
    // The record at the start of the update serves the whole update, even across a shift.
    const SPGear g = m_gears[static_cast<size_t>(m_currentGear)];

    if (pressing && CarBrakes()) SetBrake(false);
    if (pressing && m_tractionTime < 0.0f) {
        m_engineSpeed = std::min(m_engineSpeed + g.rise * m_riseFactor * dt, kMaxForwardEngineSpeed);
        m_currentGear = PickLowerGear();
    } else if (!pressing || m_tractionTime > 0.0f || (m_tractionTime == 0.0f && CarBrakes())) {
        m_engineSpeed = std::max(m_engineSpeed - dt * m_fallFactor, 0.0f);
        if (m_engineSpeed == 0.0f && m_currentGear == 0 && m_tractionTime < 0.0f) m_state = kIdle;
        if (pulling && !CarBrakes()) SetBrake(true);
    }

    if (m_tractionTime > 0.0f) {
        m_tractionTime -= dt;
        if (m_tractionTime <= 0.0f) {
            m_tractionTime = -1.0f;
            if (pressing) m_currentGear += 1;
        }
    } else if (m_engineSpeed >= g.maximum && pressing && m_carSpeed >= g.changeSpeed) {
        if (m_currentGear + 1 < static_cast<int>(m_gears.size())) m_tractionTime = kShiftDelay;
    } else if (m_engineSpeed <= g.minimum && (m_throttle == 0.0f || CarBrakes())) {
        m_currentGear = std::max(m_currentGear - 1, 0);
        m_engineSpeed = (g.minimum + g.maximum) / 2.0f;
    }

    m_engineForce = m_engineSpeed * g.coefficient;
    if (!m_playerBox) m_engineForce *= 0.1f * static_cast<float>(g_cam_speed);
}

int GearBox::PickLowerGear() {
    if (m_gears.empty()) return 0;
    const int current = std::clamp(m_currentGear, 0, static_cast<int>(m_gears.size()) - 1);
    const float x = m_carSpeed + 5.0f;
    if (x >= m_gears[static_cast<size_t>(current)].changeSpeed) return current;
    for (int i = 0; i < current; ++i) {
        const SPGear& gear = m_gears[static_cast<size_t>(i)];
        if (gear.changeSpeed > x) {
            m_engineSpeed = (gear.minimum + gear.maximum) / 2.0f;
            return i;
        }
    }
    return current;
}
