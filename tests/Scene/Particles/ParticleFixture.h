#pragma once
// A game root holding the four particle tables and a small effect, the effect manager, the
// particle manager, an optional started renderer on the Recording device and an optional view
// camera, with the frame time and the engine generator under the test's control.

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "Framework/PGlobalTimer.h"
#include "Platform/Math/D3DXMath.h"
#include "Platform/System/Random.h"
#include "Render/PEffectManager.h"
#include "Render/PPerspectiveCamera.h"
#include "Render/PRender.h"
#include "Scene/PParticleBatch.h"
#include "Scene/PParticleSystem.h"
#include "Scene/PParticlesManager.h"
#include "support/TempDir.h"

namespace particletest {

// The four tables; an empty text writes an empty file, a null one writes none.
struct Tables {
    const char* particles = "";
    const char* spots = "";
    const char* systems = "";
    const char* flames = "";
};

class ParticleFixture : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Writes the tables and makes the manager; answers LoadTables.
    bool Load(const Tables& tables);
    // The camera at eye (0, -10, 0) looking at the origin, z up: its right axis is (-1, 0, 0),
    // its up axis (0, 0, 1).
    void UseCamera(const D3DXVECTOR3& eye = D3DXVECTOR3(0.0f, -10.0f, 0.0f),
                   const D3DXVECTOR3& target = D3DXVECTOR3(0.0f, 0.0f, 0.0f));
    bool StartRenderer();
    // One manager update with that frame time.
    void Step(float dt);
    CPParticleBatch* Batch(const std::string& name) const { return manager->FindBatch(name); }

    std::unique_ptr<kxtest::TempGameRoot> root;
    CPEffectManager* effects = nullptr;
    CPSmartPtr<CPParticlesManager> manager;
    CPSmartPtr<CPPerspectiveCamera> camera;
    CPSmartPtr<CPRender> render;
    float savedDelta = 0.0f;
};

// A particle description of a name with a life; everything else zero.
SPParticleDesc Desc(const std::string& name, float life);

// The vertices and indices a batch writes, with the base index given.
struct Filled {
    std::vector<SPVertex> vertices;
    std::vector<std::uint16_t> indices;
};
Filled Fill(CPParticleBatch& batch, std::uint16_t base = 0);

} // namespace particletest
