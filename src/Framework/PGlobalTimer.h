#pragma once
// The frame timer task: runs first in every pass and publishes the frame time.

#include "Framework/PTaskKernel.h"

#include <cstdint>

// Scaled frame seconds of this pass (0 while the application is inactive).
extern float g_deltaTime;
// Frame seconds before scaling; high-resolution counter path only.
extern float g_deltaTime2;
extern int g_frameNumber;
// Set to 0 every frame; the car code counts its per-frame events in it.
extern int g_frameEventCount;
// Sum of all scaled frame times since the first start.
extern double g_totalTime;
// Multiplies every frame time; 1 at start, changed by the scripts.
extern float g_timeScale;

class CPGlobalTimer : public IPTask {
public:
    CPGlobalTimer();
    ~CPGlobalTimer() override;

    static CPGlobalTimer* GetInstance() { return s_instance; }

    int GetSize() const override { return static_cast<int>(sizeof(CPGlobalTimer)); }
    std::string GetClassName() const override { return "CPGlobalTimer"; }
    int GetKind() const override { return 3; }

    bool Start() override;
    void Update() override;
    void OnResume() override;

    bool UsesCounter() const { return m_useCounter; }

private:
    std::int64_t ReadCounter();

    static CPGlobalTimer* s_instance;

    bool m_useCounter = true;
    std::int64_t m_frequency = 0;
    std::int64_t m_lastReading = 0;
    bool m_startedOnce = false;
};
