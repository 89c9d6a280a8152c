#include "Physics/BroadPhase.h"

#include "Physics/RbSimulator.h"

namespace {

// Axis lists are kept in descending coordinate order; at equal coordinates a
// minimum end comes first, so boxes that only touch never count as overlapping.
inline bool Before(const RbAxisEntry& x, const RbAxisEntry& y) {
    return x.coordinate > y.coordinate || (x.coordinate == y.coordinate && !x.isMax && y.isMax);
}

inline float MinOf(const RbBody* b, int axis) { return RbComp(b->worldMin, axis); }
inline float MaxOf(const RbBody* b, int axis) { return RbComp(b->worldMax, axis); }

inline bool OverlapOnAxis(const RbBody* x, const RbBody* y, int axis) {
    return MinOf(x, axis) < MaxOf(y, axis) && MaxOf(x, axis) > MinOf(y, axis);
}

} // namespace

bool BroadPhase::Init(RbSimulator* simulator, RbAllocator* allocator, uint8_t axisMask, int rigidCount,
                      int animatedCount, int particleCount, int pairCount) {
    Release();
    m_simulator = simulator;
    m_allocator = allocator;
    m_mask = axisMask;
    m_rigid = rigidCount;
    m_animated = animatedCount;
    m_n = rigidCount + animatedCount;
    m_particles = particleCount;
    int total = m_n + m_particles;
    m_cells1 = m_n > 1 ? static_cast<size_t>(m_n) * static_cast<size_t>(m_n - 1) / 2 : 0;
    m_cells2 = static_cast<size_t>(m_n) * static_cast<size_t>(m_particles);
    auto allocate = [&](size_t bytes) -> void* { return allocator->Alloc(bytes == 0 ? 1 : bytes, 0); };
    m_bits1 = static_cast<uint8_t*>(allocate(m_cells1));
    m_pair1 = static_cast<int32_t*>(allocate(m_cells1 * sizeof(int32_t)));
    m_bits2 = static_cast<uint8_t*>(allocate(m_cells2));
    m_pair2 = static_cast<int32_t*>(allocate(m_cells2 * sizeof(int32_t)));
    m_axisCapacity = 2 * total;
    bool ok = m_bits1 && m_pair1 && m_bits2 && m_pair2;
    for (int k = 0; k < 3; ++k) {
        m_axes[k] = static_cast<RbAxisEntry*>(allocate(sizeof(RbAxisEntry) * static_cast<size_t>(m_axisCapacity)));
        m_axisSize[k] = 0;
        ok = ok && m_axes[k];
    }
    // One pending slot and one group slot per body: an insertion is never dropped.
    ok = ok && m_pending.Init(allocator, total, 0) && m_groupChanged.Init(allocator, total, 0) &&
         m_records.Init(allocator, total) && m_pairs.Init(allocator, pairCount);
    if (!ok) {
        Release();
        return false;
    }
    if (m_cells1) std::memset(m_bits1, 0, m_cells1);
    for (size_t i = 0; i < m_cells1; ++i) m_pair1[i] = -1;
    if (m_cells2) std::memset(m_bits2, 0, m_cells2);
    for (size_t i = 0; i < m_cells2; ++i) m_pair2[i] = -1;
    m_recordHead = nullptr;
    m_pairHead = nullptr;
    m_pairPoolFullEvents = 0;
    m_starved = false;
    m_initialised = true;
    return true;
}

void BroadPhase::Release() {
    if (m_allocator) {
        void* blocks[] = {m_bits1, m_pair1, m_bits2, m_pair2, m_axes[0], m_axes[1], m_axes[2]};
        for (void* b : blocks)
            if (b) m_allocator->Free(b);
    }
    m_bits1 = m_bits2 = nullptr;
    m_pair1 = m_pair2 = nullptr;
    for (int k = 0; k < 3; ++k) {
        m_axes[k] = nullptr;
        m_axisSize[k] = 0;
    }
    m_pending.Release();
    m_groupChanged.Release();
    m_records.Release();
    m_pairs.Release();
    m_recordHead = nullptr;
    m_pairHead = nullptr;
    m_initialised = false;
}

bool BroadPhase::CellOf(const RbBody* x, const RbBody* y, size_t& cell, bool& second) const {
    int a = x->index, b = y->index;
    if (a == b || a < 0 || b < 0) return false;
    if (a > b) {
        int t = a;
        a = b;
        b = t;
    }
    if (b < m_n) {
        cell = static_cast<size_t>(b) * static_cast<size_t>(b - 1) / 2 + static_cast<size_t>(a);
        second = false;
        return true;
    }
    if (a >= m_n || b >= m_n + m_particles) return false; // two particles never pair
    cell = static_cast<size_t>(a) * static_cast<size_t>(m_particles) + static_cast<size_t>(b - m_n);
    second = true;
    return true;
}

uint8_t BroadPhase::GetPairBits(const RbBody* a, const RbBody* b) const {
    size_t cell;
    bool second;
    if (!m_initialised || !CellOf(a, b, cell, second)) return 0;
    return second ? m_bits2[cell] : m_bits1[cell];
}

RbOverlapPair* BroadPhase::GetPair(const RbBody* a, const RbBody* b) const {
    size_t cell;
    bool second;
    if (!m_initialised || !CellOf(a, b, cell, second)) return nullptr;
    int32_t index = second ? m_pair2[cell] : m_pair1[cell];
    return index < 0 ? nullptr : const_cast<RbOverlapPair*>(m_pairs.At(index));
}

bool BroadPhase::WantsRecord(const RbBody* x, const RbBody* y) const {
    // No record is spent on a pair the pair pass always skips.
    if (!x->rigid && !y->rigid) return false;
    return m_simulator->GetResponseTable()->Get(x->group, y->group) != 0;
}

void BroadPhase::MakePair(size_t cell, bool second, RbBody* x, RbBody* y) {
    int32_t& slot = PairAt(cell, second);
    if (slot >= 0 || !WantsRecord(x, y)) return;
    RbOverlapPair* pair = m_pairs.Take();
    if (!pair) {
        ++m_pairPoolFullEvents;
        m_starved = true;
        m_simulator->Logf(1, "Overlap Pair buffer full. Increase buffer size.\n");
        return;
    }
    pair->bodyA = x;
    pair->bodyB = y;
    pair->axis = RbSeparatingAxis{};
    RbListPushFront<RbOverlapPair, &RbOverlapPair::next, &RbOverlapPair::prev>(m_pairHead, pair);
    slot = m_pairs.IndexOf(pair);
}

void BroadPhase::FreePair(RbOverlapPair* pair) {
    size_t cell;
    bool second;
    if (CellOf(pair->bodyA, pair->bodyB, cell, second)) PairAt(cell, second) = -1;
    RbListUnlink<RbOverlapPair, &RbOverlapPair::next, &RbOverlapPair::prev>(m_pairHead, pair);
    pair->bodyA = pair->bodyB = nullptr;
    pair->axis = RbSeparatingAxis{};
    m_pairs.Give(pair);
}

void BroadPhase::SetAxisBit(RbBody* x, RbBody* y, int axis) {
    size_t cell;
    bool second;
    if (!CellOf(x, y, cell, second)) return;
    uint8_t bit = static_cast<uint8_t>(1u << axis);
    uint8_t& bits = BitsAt(cell, second);
    uint8_t before = bits;
    uint8_t after =
        OverlapOnAxis(x, y, axis) ? static_cast<uint8_t>(before | bit) : static_cast<uint8_t>(before & ~bit);
    if (after == before) return;
    bits = after;
    if (before == m_mask) {
        int32_t index = PairAt(cell, second);
        if (index >= 0) FreePair(m_pairs.At(index));
    } else if (after == m_mask) {
        MakePair(cell, second, x, y);
    }
}

void BroadPhase::AddBody(RbBody* body, RbBody* hint) {
    if (!m_initialised || body->broadPhase) return;
    RbBroadPhaseRecord* record = m_records.Take();
    if (!record) return; // one record per body: cannot happen
    if (body->insertionMark == 0) m_pending.Push(body);
    body->insertionHint = hint;
    record->body = body;
    RbListPushFront<RbBroadPhaseRecord, &RbBroadPhaseRecord::next, &RbBroadPhaseRecord::prev>(m_recordHead, record);
    body->broadPhase = record;
    body->insertionMark = 1;
}

void BroadPhase::RemoveBody(RbBody* body) {
    RbBroadPhaseRecord* record = body->broadPhase;
    if (!record) return;
    if (body->insertionMark == 1) body->insertionMark = 2;
    if (body->inAxes) {
        for (int k = 0; k < 3; ++k) {
            if (!(m_mask & (1u << k))) continue;
            RbAxisEntry* entries = m_axes[k];
            int out = 0;
            for (int i = 0; i < m_axisSize[k]; ++i)
                if (entries[i].body != body) entries[out++] = entries[i];
            m_axisSize[k] = out;
        }
        body->inAxes = 0;
    }
    RbListUnlink<RbBroadPhaseRecord, &RbBroadPhaseRecord::next, &RbBroadPhaseRecord::prev>(m_recordHead, record);
    record->body = nullptr;
    m_records.Give(record);
    body->broadPhase = nullptr;
    for (RbOverlapPair* p = m_pairHead; p;) {
        RbOverlapPair* next = p->next;
        if (p->bodyA == body || p->bodyB == body) FreePair(p);
        p = next;
    }
    if (body->groupChanged) {
        for (int i = 0; i < m_groupChanged.Size(); ++i)
            if (m_groupChanged[i] == body) {
                m_groupChanged.EraseAt(i);
                break;
            }
        body->groupChanged = 0;
    }
}

void BroadPhase::ForgetBody(RbBody* body) {
    for (int i = 0; i < m_pending.Size();) {
        RbBody* pending = m_pending[i];
        if (pending == body) {
            m_pending.EraseAt(i);
            continue;
        }
        if (pending->insertionHint == body) pending->insertionHint = nullptr;
        ++i;
    }
    body->insertionMark = 0;
    body->insertionHint = nullptr;
}

void BroadPhase::MarkGroupChanged(RbBody* body) {
    if (!m_initialised || !body->broadPhase || body->groupChanged) return;
    if (m_groupChanged.Push(body)) body->groupChanged = 1;
}

void BroadPhase::RebuildAxis(int axis) {
    RbAxisEntry* entries = m_axes[axis];
    int size = m_axisSize[axis];
    for (int i = 0; i < size; ++i) {
        RbAxisEntry& e = entries[i];
        e.coordinate = e.isMax ? MaxOf(e.body, axis) : MinOf(e.body, axis);
    }
    // Insertion sort: coherent motion makes it nearly linear. Every time a minimum
    // end passes a maximum end of another body, that pair's bit for this axis is
    // brought up to date.
    for (int i = 1; i < size; ++i) {
        RbAxisEntry moving = entries[i];
        int j = i;
        while (j > 0 && Before(moving, entries[j - 1])) {
            const RbAxisEntry& passed = entries[j - 1];
            if (passed.isMax != moving.isMax && passed.body != moving.body &&
                !(moving.body->kind == RbKindParticle && passed.body->kind == RbKindParticle))
                SetAxisBit(moving.body, passed.body, axis);
            entries[j] = entries[j - 1];
            --j;
        }
        entries[j] = moving;
    }
}

void BroadPhase::InsertBody(RbBody* body) {
    body->UpdateWorldBounds();
    for (int k = 0; k < 3; ++k) {
        if (!(m_mask & (1u << k))) continue;
        RbAxisEntry* entries = m_axes[k];
        for (int end = 0; end < 2; ++end) {
            RbAxisEntry e{end ? MaxOf(body, k) : MinOf(body, k), end, body};
            // First place whose entry comes after the new one.
            int lo = 0, hi = m_axisSize[k];
            while (lo < hi) {
                int mid = (lo + hi) / 2;
                if (Before(e, entries[mid]))
                    hi = mid;
                else
                    lo = mid + 1;
            }
            for (int i = m_axisSize[k]; i > lo; --i) entries[i] = entries[i - 1];
            entries[lo] = e;
            ++m_axisSize[k];
        }
    }
    body->inAxes = 1;
}

void BroadPhase::TestNewPair(RbBody* added, RbBody* other) {
    size_t cell;
    bool second;
    if (!CellOf(added, other, cell, second)) return;
    uint8_t bits = 0;
    for (int k = 0; k < 3; ++k)
        if ((m_mask & (1u << k)) && OverlapOnAxis(added, other, k)) bits |= static_cast<uint8_t>(1u << k);
    BitsAt(cell, second) = bits;
    int32_t& slot = PairAt(cell, second);
    if (bits != m_mask) {
        if (slot >= 0) FreePair(m_pairs.At(slot));
        return;
    }
    if (slot >= 0) return;
    bool otherFirst = added->kind == RbKindAnimated || (added->kind == RbKindParticle && other->kind == RbKindRigid);
    if (otherFirst)
        MakePair(cell, second, other, added);
    else
        MakePair(cell, second, added, other);
}

void BroadPhase::RecheckBody(RbBody* body) {
    for (RbBroadPhaseRecord* r = m_recordHead; r; r = r->next) {
        RbBody* other = r->body;
        if (other == body || !other->inAxes) continue;
        size_t cell;
        bool second;
        if (!CellOf(body, other, cell, second) || BitsAt(cell, second) != m_mask) continue;
        int32_t slot = PairAt(cell, second);
        if (slot >= 0) {
            if (!WantsRecord(body, other)) FreePair(m_pairs.At(slot));
        } else {
            MakePair(cell, second, body, other);
        }
    }
}

void BroadPhase::RetryStarvedPairs() {
    m_starved = false;
    for (RbBroadPhaseRecord* r = m_recordHead; r && m_pairs.Free() > 0; r = r->next) {
        RbBody* x = r->body;
        if (!x->inAxes) continue;
        for (RbBroadPhaseRecord* s = r->next; s; s = s->next) {
            RbBody* y = s->body;
            if (!y->inAxes) continue;
            size_t cell;
            bool second;
            if (!CellOf(x, y, cell, second) || BitsAt(cell, second) != m_mask || PairAt(cell, second) >= 0) continue;
            if (!WantsRecord(x, y)) continue;
            if (m_pairs.Free() == 0) {
                m_starved = true;
                return;
            }
            MakePair(cell, second, x, y);
        }
    }
}

void BroadPhase::Update() {
    if (!m_initialised) return;
    if (m_boundsMoved) {
        for (int k = 0; k < 3; ++k)
            if (m_mask & (1u << k)) RebuildAxis(k);
        m_boundsMoved = false;
    }

    for (int i = 0; i < m_pending.Size(); ++i) {
        RbBody* body = m_pending[i];
        if (!body) continue;
        int mark = body->insertionMark;
        body->insertionMark = 0;
        if (mark != 1 || !body->inUse || !body->broadPhase || body->inAxes) continue;
        InsertBody(body);
        for (RbBroadPhaseRecord* r = m_recordHead; r; r = r->next) {
            RbBody* other = r->body;
            if (other == body || !other->inAxes) continue;
            if (body->kind == RbKindParticle && other->kind == RbKindParticle) continue;
            TestNewPair(body, other);
        }
    }
    m_pending.Clear();

    for (int i = 0; i < m_groupChanged.Size(); ++i) {
        RbBody* body = m_groupChanged[i];
        body->groupChanged = 0;
        if (body->broadPhase && body->inAxes) RecheckBody(body);
    }
    m_groupChanged.Clear();

    // Pairs that found the pool full are retried once records are free again.
    if (m_starved && m_pairs.Free() > 0) RetryStarvedPairs();
}
