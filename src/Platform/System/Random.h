#pragma once
// The engine's one random generator: the linear-congruential sequence of the classic C runtime,
// range 0..32767, which the game's formulas assume. Nothing calls rand().

#include <cstdint>

namespace Platform {

constexpr int ENGINE_RAND_MAX = 32767;

class EngineRandom {
public:
    explicit EngineRandom(std::uint32_t seed = 1) : m_state(seed) {}
    void Seed(std::uint32_t seed) { m_state = seed; }
    int Next() {
        m_state = m_state * 214013u + 2531011u;
        return static_cast<int>((m_state >> 16) & 0x7FFFu);
    }
    std::uint32_t State() const { return m_state; }

private:
    std::uint32_t m_state;
};

// The engine-wide instance (seeded with 1 at start, as the C runtime is).
EngineRandom& Random();
inline int EngineRand() { return Random().Next(); }
inline void EngineSeed(std::uint32_t seed) { Random().Seed(seed); }

} // namespace Platform
