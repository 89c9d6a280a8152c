#pragma once
// Sorted-axis broad phase: every active body with shapes keeps its world box as
// two ends on each axis list; pairs whose boxes overlap on every axis get an
// RbOverlapPair record that the simulator's pair pass walks.

#include "Physics/RbPool.h"

class RbBody;
class RbSimulator;

struct RbBroadPhaseRecord {
    RbBody* body = nullptr;
    RbBroadPhaseRecord* next = nullptr;
    RbBroadPhaseRecord* prev = nullptr;
    RbBroadPhaseRecord* poolNext = nullptr;
    bool inUse = false;
};

// The axis that last kept a pair of shapes apart, tried first at the next test:
// bodies drifting past each other stay apart along it for many steps. A pair
// record starts with none and loses it when it is returned to its pool.
struct RbSeparatingAxis {
    enum : int32_t { None = -1, Direction = 15 };
    // None; 0..14 a box pair's axis (a face of the first box, of the second, then
    // the nine edge pairs); Direction: the world direction below (hull pairs).
    int32_t kind = None;
    RbVector direction;
};

struct RbOverlapPair {
    RbSeparatingAxis axis;
    RbBody* bodyA = nullptr;
    RbBody* bodyB = nullptr;
    RbOverlapPair* next = nullptr;
    RbOverlapPair* prev = nullptr;
    RbOverlapPair* poolNext = nullptr;
    bool inUse = false;
};

struct RbAxisEntry {
    float coordinate;
    int32_t isMax; // 0 the box's minimum end, 1 its maximum end
    RbBody* body;
};

class BroadPhase {
public:
    BroadPhase() = default;
    BroadPhase(const BroadPhase&) = delete;
    BroadPhase& operator=(const BroadPhase&) = delete;
    ~BroadPhase() { Release(); }

    bool Init(RbSimulator* simulator, RbAllocator* allocator, uint8_t axisMask, int rigidCount, int animatedCount,
              int particleCount, int pairCount);
    void Release();

    void AddBody(RbBody* body, RbBody* hint);
    void RemoveBody(RbBody* body);
    void ForgetBody(RbBody* body);
    // A body's collision group changed: its pairs are re-checked at the next update.
    void MarkGroupChanged(RbBody* body);
    // Some body's world bounds changed: the next update re-sorts the axes. With
    // none changed (an idle world) the lists are still in order and are left.
    void MarkBoundsMoved() { m_boundsMoved = true; }
    void Update();

    RbOverlapPair* FirstPair() const { return m_pairHead; }
    int PairCount() const { return m_pairs.Used(); }
    int PairCapacity() const { return m_pairs.Capacity(); }
    // Times a pair that overlaps on every axis found no free record.
    int PairPoolFullEvents() const { return m_pairPoolFullEvents; }
    bool IsInitialised() const { return m_initialised; }
    // Axis bits of a pair of bodies (0 when the pair has no cell).
    uint8_t GetPairBits(const RbBody* a, const RbBody* b) const;
    RbOverlapPair* GetPair(const RbBody* a, const RbBody* b) const;

private:
    bool CellOf(const RbBody* x, const RbBody* y, size_t& cell, bool& second) const;
    uint8_t& BitsAt(size_t cell, bool second) { return second ? m_bits2[cell] : m_bits1[cell]; }
    int32_t& PairAt(size_t cell, bool second) { return second ? m_pair2[cell] : m_pair1[cell]; }
    bool WantsRecord(const RbBody* x, const RbBody* y) const;
    // Takes a record for the pair (x, y) when it wants one; counts a full pool.
    void MakePair(size_t cell, bool second, RbBody* x, RbBody* y);
    void FreePair(RbOverlapPair* pair);
    void SetAxisBit(RbBody* x, RbBody* y, int axis);
    void RebuildAxis(int axis);
    void InsertBody(RbBody* body);
    void TestNewPair(RbBody* added, RbBody* other);
    void RecheckBody(RbBody* body);
    void RetryStarvedPairs();

    RbSimulator* m_simulator = nullptr;
    RbAllocator* m_allocator = nullptr;
    bool m_initialised = false;
    uint8_t m_mask = 7;
    int m_rigid = 0, m_animated = 0, m_n = 0, m_particles = 0;
    uint8_t* m_bits1 = nullptr;
    int32_t* m_pair1 = nullptr;
    uint8_t* m_bits2 = nullptr;
    int32_t* m_pair2 = nullptr;
    size_t m_cells1 = 0, m_cells2 = 0;
    RbArray<RbBody*> m_pending;
    RbArray<RbBody*> m_groupChanged;
    RbPool<RbBroadPhaseRecord> m_records;
    RbBroadPhaseRecord* m_recordHead = nullptr;
    RbPool<RbOverlapPair> m_pairs;
    RbOverlapPair* m_pairHead = nullptr;
    RbAxisEntry* m_axes[3] = {nullptr, nullptr, nullptr};
    int m_axisSize[3] = {0, 0, 0};
    int m_axisCapacity = 0;
    int m_pairPoolFullEvents = 0;
    bool m_starved = false;
    bool m_boundsMoved = true;
};
