#pragma once
// Times the stages of the simulator's steps for the optional performance report.
// The high-resolution counter is a function pair the caller may replace (tests
// install a fake clock); by default it reads the steady clock in nanoseconds.

#include <cstdint>

using RbCounterFunction = uint64_t (*)();
using RbFrequencyFunction = uint64_t (*)(); // ticks per second; 0 = no counter

// Installs the process-wide counter; null for either restores the steady clock.
void RbSetHighResolutionCounter(RbCounterFunction counter, RbFrequencyFunction frequency);

enum RbStepStage : int {
    RbStageDynamics = 0,
    RbStageIntegration,
    RbStageEnd,
    RbStageIslands,
    RbStageSolver,
    RbStageBroadPhase,
    RbStagePairs,
    RbStageTerrain,
    RbStageTerrainQuery,
    RbStageCount
};

class StepTimer {
public:
    void Calibrate();
    void Start();
    float Elapsed();
    void AddStage(RbStepStage stage) { m_stages[stage] += Elapsed(); }
    float GetStage(RbStepStage stage) const { return m_stages[stage]; }
    float Total() const;
    int32_t GetOverhead() const { return m_overhead; }
    int32_t GetShift() const { return m_shift; }

private:
    float m_stages[RbStageCount] = {};
    int32_t m_shift = 0;
    int32_t m_overhead = 0;
    bool m_hasCounter = false;
};
