#include "Framework/PGlobalTimer.h"

#include "Platform/System/Clock.h"

float g_deltaTime = 0.0f;
float g_deltaTime2 = 0.0f;
int g_frameNumber = 0;
int g_frameEventCount = 0;
double g_totalTime = 0.0;
float g_timeScale = 1.0f;

CPGlobalTimer* CPGlobalTimer::s_instance = nullptr;

namespace {
constexpr double kFrameCap = 0.05;
constexpr float kFrameCapFloat = 0.05f;
} // namespace

CPGlobalTimer::CPGlobalTimer() {
    SetPriority(10);
    s_instance = this;
}

CPGlobalTimer::~CPGlobalTimer() {
    if (s_instance == this) s_instance = nullptr;
}

std::int64_t CPGlobalTimer::ReadCounter() {
    // The one thread is not pinned: the platform counter is monotonic across processors.
    std::int64_t ticks = 0;
    Platform::GetClock().QueryPerformanceCounter(&ticks);
    return ticks;
}

bool CPGlobalTimer::Start() {
    if (!m_startedOnce) {
        g_frameNumber = 0;
        g_frameEventCount = 0;
        g_totalTime = 0.0;
        m_startedOnce = true;
    }
    Platform::IClock& clock = Platform::GetClock();
    std::int64_t frequency = 0;
    m_useCounter = clock.QueryPerformanceFrequency(&frequency) && frequency > 0;
    if (m_useCounter) {
        m_frequency = frequency;
        m_lastReading = ReadCounter();
    } else {
        m_lastReading = clock.TimeGetTime();
    }
    g_deltaTime = 0.0f;
    g_deltaTime2 = 0.0f;
    return IPTask::Start();
}

void CPGlobalTimer::Update() {
    g_frameEventCount = 0;
    g_frameNumber += 1;
    float d;
    if (m_useCounter) {
        std::int64_t reading = ReadCounter();
        long double quotient =
            static_cast<long double>(reading - m_lastReading) / static_cast<long double>(m_frequency);
        d = quotient > kFrameCap ? kFrameCapFloat : static_cast<float>(quotient);
        g_deltaTime2 = d;
        m_lastReading = reading;
    } else {
        std::uint32_t now = Platform::GetClock().TimeGetTime();
        // Unsigned difference: right across the 32-bit wrap of the millisecond clock.
        std::uint32_t elapsed = now - static_cast<std::uint32_t>(m_lastReading);
        d = static_cast<float>(elapsed) * 0.001f;
        m_lastReading = now;
    }
    g_deltaTime = g_timeScale * d;
    g_totalTime += static_cast<double>(g_deltaTime);
}

void CPGlobalTimer::OnResume() {
    if (m_useCounter)
        m_lastReading = ReadCounter();
    else
        m_lastReading = Platform::GetClock().TimeGetTime();
}
