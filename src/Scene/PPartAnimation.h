#pragma once
// A key-frame track for one part of a model: 4x4 key matrices, each with the seconds the track
// takes to the next key, played in order by a task of the kernel. Each pass the interpolated key
// matrix becomes the part's local placement and the part brings its transform up to date.

#include <vector>

#include "Framework/PTaskKernel.h"
#include "Platform/Math/D3DXTypes.h"

// What a track asks of the part it drives.
class IPPartAnimationOwner {
public:
    // The track ran through its keys (once per cycle for a looping track).
    virtual void OnAnimationEnd() = 0;
    // This pass's key matrix, to be the part's local matrix in place of its own rotation and
    // position until the part is next moved; the part marks itself dirty.
    virtual void SetAnimatedLocalMatrix(const D3DXMATRIX& matrix) = 0;
    virtual void UpdateTransform() = 0;

protected:
    ~IPPartAnimationOwner() = default;
};

class CPPartAnimation : public IPTask {
public:
    CPPartAnimation() = default;

    int GetSize() const override { return static_cast<int>(sizeof(CPPartAnimation)); }
    std::string GetClassName() const override { return "CPPartAnimation"; }
    int GetKind() const override { return 1; }

    // Keys in play order; duration i is the time from key i to key i + 1.
    void SetKeys(const std::vector<D3DXMATRIX>& keys, const std::vector<float>& durations);
    // Keys, durations and the loop flag of the source; clock, key and owner stay.
    void CopyKeys(const CPSmartPtr<CPPartAnimation>& source);

    // One pass: advances the clock through the keys (the strict "greater than": time that
    // reaches a key's duration exactly stays in that key), reports each end to the owner, and
    // hands the owner the interpolated matrix. A track that cannot run (fewer than three keys,
    // a duration per key missing or extra, a looping cycle of no time) stops at once, silently.
    void Update() override;

    IPPartAnimationOwner* GetOwner() const { return m_owner; }
    void SetOwner(IPPartAnimationOwner* owner) { m_owner = owner; }
    bool IsLooping() const { return m_loop; }
    void SetLoop(bool loop) { m_loop = loop; }

    const std::vector<D3DXMATRIX>& GetKeys() const { return m_keys; }
    const std::vector<float>& GetDurations() const { return m_durations; }
    float GetTimeInKey() const { return m_timeInKey; }
    int GetKeyIndex() const { return m_keyIndex; }
    // The matrix of the last pass (identity before the first).
    const D3DXMATRIX& GetCurrentMatrix() const { return m_current; }
    // Whether the keys can be played with the current loop flag.
    bool CanRun() const;

    // A looping pass that would run more whole cycles than this drops the surplus in one step
    // (reported as one end): a huge frame time on a short cycle would otherwise loop for ages.
    static constexpr int kMaxCyclesPerPass = 64;

private:
    std::vector<D3DXMATRIX> m_keys;
    std::vector<float> m_durations;
    IPPartAnimationOwner* m_owner = nullptr;
    float m_timeInKey = 0.0f;
    int m_keyIndex = 0;
    bool m_loop = false;
    // Durations of keys 0 to n - 3: one cycle.
    double m_cycle = 0.0;
    D3DXMATRIX m_current{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
};
