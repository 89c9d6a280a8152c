#include "Scene/Particles/ParticleFixture.h"

#include "Framework/PSettings.h"
#include "Platform/Graphics/RecordingDevice.h"

namespace particletest {

void ParticleFixture::SetUp() {
    SetDirect3DBackend(D3DBackend::Recording);
    Platform::SetRecordingConfig(Platform::RecordingConfig());
    Platform::EngineSeed(1);
    savedDelta = g_deltaTime;
    g_deltaTime = 0.0f;
    root = std::make_unique<kxtest::TempGameRoot>();
    root->Write("Data/Effects/particle.fx", "technique T { pass P0 { Lighting = false; } }\n");
    root->Write("Data/Effects/error.fx", "technique T { pass P0 { Lighting = false; } }\n");
    effects = new CPEffectManager();
}

void ParticleFixture::TearDown() {
    if (manager) manager->ClearAll();
    manager = nullptr;
    g_currentViewCamera = nullptr;
    camera = nullptr;
    if (render) {
        render->Stop();
        render = nullptr;
    }
    for (int i = 0; i < 4; ++i) IPMMObject::CollectGarbage();
    delete effects;
    effects = nullptr;
    for (int i = 0; i < 4; ++i) IPMMObject::CollectGarbage();
    g_deltaTime = savedDelta;
    root.reset();
}

bool ParticleFixture::Load(const Tables& tables) {
    if (tables.particles) root->Write("Data/particles.dat", tables.particles);
    if (tables.spots) root->Write("Data/spots.dat", tables.spots);
    if (tables.systems) root->Write("Data/particlesystems.dat", tables.systems);
    if (tables.flames) root->Write("Data/flames.dat", tables.flames);
    manager = new CPParticlesManager();
    return manager->LoadTables();
}

void ParticleFixture::UseCamera(const D3DXVECTOR3& eye, const D3DXVECTOR3& target) {
    camera = new CPPerspectiveCamera();
    camera->eye = eye;
    camera->target = target;
    camera->up = D3DXVECTOR3(0.0f, 0.0f, 1.0f);
    camera->fieldOfView = 1.0f;
    camera->nearDistance = 0.1f;
    camera->farDistance = 1000.0f;
    camera->viewDirty = camera->projectionDirty = true;
    camera->Update();
    g_currentViewCamera = camera.Get();
}

bool ParticleFixture::StartRenderer() {
    render = new CPRender();
    return render->Start();
}

void ParticleFixture::Step(float dt) {
    g_deltaTime = dt;
    manager->Update();
}

SPParticleDesc Desc(const std::string& name, float life) {
    SPParticleDesc d;
    d.name = name;
    d.life = life;
    return d;
}

Filled Fill(CPParticleBatch& batch, std::uint16_t base) {
    Filled out;
    out.vertices.resize(static_cast<std::size_t>(batch.GetVertexCount()));
    out.indices.resize(static_cast<std::size_t>(batch.GetIndexCount()));
    batch.FillVertices(out.vertices.data(), out.indices.data(), base, 0);
    return out;
}

} // namespace particletest
