// The race camera's shake draws from the engine's generator: a seeded race shakes the same way
// every time, and the shake stays within the reach its formula gives (a draw of the C library's
// generator, whose range is far wider, would throw the view hundreds of times as far).

#include <gtest/gtest.h>

#include <cmath>

#include "Platform/System/Random.h"
#include "World/View/ViewFixture.h"

namespace {

struct CameraShake : kxview::ViewWorld {
    // One frame of a shake after a sudden change of speed; the shake target it picks.
    D3DXVECTOR3 ShakeAfterSeed(std::uint32_t seed) {
        Follow();
        camera->StartShake();
        camera->lastSpeed = 0.0f;
        camera->speed = 20.0f;
        camera->impact = 0.0f;
        camera->shakeOffset = D3DXVECTOR3(0.0f, 0.0f, 0.0f);
        camera->shakeTarget = D3DXVECTOR3(0.0f, 0.0f, 0.0f);
        Platform::EngineSeed(seed);
        Step(0.05f);
        return camera->shakeTarget;
    }
};

TEST_F(CameraShake, TheShakeTargetComesFromTheSeededEngineGenerator) {
    for (std::uint32_t seed : {1u, 7u, 12345u}) {
        const D3DXVECTOR3 target = ShakeAfterSeed(seed);
        const float reach = camera->impact * 0.0005f;
        ASSERT_GT(reach, 0.0f);
        Platform::EngineRandom expected(seed);
        const float r1 = static_cast<float>(expected.Next()) / 32767.0f * 2.0f - 1.0f;
        const float r2 = static_cast<float>(expected.Next()) / 32767.0f * 2.0f - 1.0f;
        const float r3 = static_cast<float>(expected.Next()) / 32767.0f * 2.0f - 1.0f;
        EXPECT_FLOAT_EQ(target.x, r1 * reach) << seed;
        EXPECT_FLOAT_EQ(target.y, r2 * reach) << seed;
        EXPECT_FLOAT_EQ(target.z, r3 * reach) << seed;
        for (float c : {target.x, target.y, target.z}) EXPECT_LE(std::fabs(c), reach) << seed;
    }
    // The same seed, the same shake.
    const D3DXVECTOR3 a = ShakeAfterSeed(99u);
    const D3DXVECTOR3 b = ShakeAfterSeed(99u);
    EXPECT_EQ(a, b);
}

} // namespace
