#pragma once
// What the four particle-table targets share: the tables written into the game root (the one
// under test from the input, the others small and valid), the manager loading them as start-up
// does, then emission into every batch, emitters from every description and flame, a few passes
// with a view camera and the fill of every batch, checked for what must hold for any input.

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "Framework/PGlobalTimer.h"
#include "Framework/PLog.h"
#include "Framework/PMMObject.h"
#include "FuzzSupport.h"
#include "Platform/System/Random.h"
#include "Render/PPerspectiveCamera.h"
#include "Scene/PGameObject.h"
#include "Scene/PParticleBatch.h"
#include "Scene/PParticleSystem.h"
#include "Scene/PParticlesManager.h"

namespace particlefuzz {

enum Table { Particles, Spots, Systems, Flames };

inline void Require(bool condition) {
    if (!condition) std::abort();
}

// Fills a batch and checks the counts and the indices it wrote.
inline void CheckFill(CPParticleBatch& batch) {
    const int particles = batch.GetParticleCount();
    Require(particles <= CPParticleBatch::kMaxParticles);
    Require(batch.GetVertexCount() == 4 * particles);
    Require(batch.GetIndexCount() == 6 * particles);
    const std::uint16_t base = 4;
    std::vector<SPVertex> vertices(static_cast<std::size_t>(batch.GetVertexCount()) + 1);
    std::vector<std::uint16_t> indices(static_cast<std::size_t>(batch.GetIndexCount()) + 1, 0xFFFF);
    batch.FillVertices(vertices.data(), indices.data(), base, 0);
    for (int i = 0; i < batch.GetIndexCount(); ++i)
        Require(indices[static_cast<std::size_t>(i)] >= base &&
                indices[static_cast<std::size_t>(i)] < base + batch.GetVertexCount());
    Require(indices.back() == 0xFFFF);
}

inline void Run(Table table, const std::uint8_t* data, std::size_t size) {
    CPLog::Instance().SetSink([](int, const std::string&) {});
    kxfuzz::GameRoot& root = kxfuzz::GameRoot::Get();
    root.Clear();
    const char* paths[4] = {"Data/particles.dat", "Data/spots.dat", "Data/particlesystems.dat", "Data/flames.dat"};
    const char* defaults[4] = {
        "dust t.tga e.fx 1 1 0 0 0\nanim t.tga e.fx 4 4 1 0 0 0:1:1:1:1,1:0:0:0:2\nfixed t.tga e.fx 2 2 0 0 0\n",
        "skid t.tga e.fx 1 1 0 0 0\nsplash t.tga e.fx 2 2 1 0 0\n",
        "fire dust 1 0.5 1 1 2 30 0 0 1 0 0 -1 0.1 0.1 0\nsmoke anim 2 1 0.5 1 1 60 0 1 1 0 0 0 0 0 0\n"
        "mark skid 3 1 0 1 0 0 0 0 1 0 0 0 1 1 0\n",
        "fire,smoke;0.1;1;1\nsmoke,mark;0.2;2;0\n"};
    for (int i = 0; i < 4; ++i) {
        if (i == table)
            root.Write(paths[i], data, size);
        else
            root.Write(paths[i], defaults[i]);
    }
    Platform::EngineSeed(1);
    const float savedDelta = g_deltaTime;
    CPSmartPtr<CPPerspectiveCamera> camera(new CPPerspectiveCamera());
    camera->eye = D3DXVECTOR3(0.0f, -10.0f, 2.0f);
    camera->target = D3DXVECTOR3(0.0f, 0.0f, 0.0f);
    camera->up = D3DXVECTOR3(0.0f, 0.0f, 1.0f);
    camera->fieldOfView = 1.0f;
    camera->nearDistance = 0.1f;
    camera->farDistance = 1000.0f;
    camera->viewDirty = camera->projectionDirty = true;
    camera->Update();
    g_currentViewCamera = camera.Get();
    {
        CPSmartPtr<CPParticlesManager> manager(new CPParticlesManager());
        Require(manager->LoadTables());

        // A few particles of every kind into every batch, some with a follow-up into themselves.
        for (const std::string& name : manager->GetBatchNames()) {
            for (int k = 0; k < 4; ++k) {
                SPParticleDesc d;
                d.name = name;
                d.position = D3DXVECTOR3(static_cast<float>(k), 0.5f, 1.0f);
                d.velocity = D3DXVECTOR3(1.0f, k == 2 ? 0.0f : 2.0f, -1.0f);
                d.acceleration = D3DXVECTOR3(0.0f, 0.0f, -9.8f);
                d.size = 0.5f;
                d.growth = 0.1f;
                d.life = k == 3 ? 0.0f : 0.5f + static_cast<float>(k);
                d.fade = k % 2 == 0;
                d.stretched = k >= 2;
                d.bounce = k == 1;
                if (k == 0) {
                    d.followUp = std::make_unique<SPParticleDesc>();
                    d.followUp->name = name;
                    d.followUp->life = 1.0f;
                }
                manager->EmitParticle(d);
            }
        }
        // An emitter of every description, and every flame.
        std::vector<CPSmartPtr<CPParticleSystem>> systems;
        systems.emplace_back(new CPParticleSystem(nullptr, manager->GetSystemDescNames()));
        for (std::size_t i = 0; i < manager->GetFlameTable().size() && i < 16; ++i)
            systems.push_back(manager->GetFlameSystem(static_cast<int>(i)));
        // Burning objects: each flame type on an object of its own (no kernel here, so the
        // flame's emitter is started by hand), and one type past the table.
        std::vector<CPSmartPtr<CPGameObject>> burning;
        for (std::size_t i = 0; i <= manager->GetFlameTable().size() && i < 8; ++i) {
            CPSmartPtr<CPGameObject> object(new CPGameObject("burning"));
            object->SetFlameType(static_cast<int>(i));
            object->SetPosition(D3DXVECTOR3(1.0f, 2.0f, 0.0f));
            object->UpdateTransform();
            object->StartFlame();
            Require(object->GetFlameType() == -1);
            CPSmartPtr<CPGameObject> flame = object->GetChild("flame");
            Require(static_cast<bool>(flame) == (i < manager->GetFlameTable().size()));
            if (flame) {
                CPSmartPtr<CPParticleSystem> system(dynamic_cast<CPParticleSystem*>(flame->GetAttachment().Get()));
                Require(system && system->GetOwner() == flame.Get());
                system->SetTarget(object);
                systems.push_back(system);
            }
            burning.push_back(object);
        }
        for (auto& system : systems) {
            Require(static_cast<bool>(system));
            system->Start();
        }

        for (float dt : {0.1f, 0.0f, 0.25f, 0.05f}) {
            g_deltaTime = dt;
            for (auto& system : systems)
                if (system->IsRunning()) system->Update();
            manager->Update();
            for (const auto& batch : manager->GetActiveBatches()) CheckFill(*batch);
        }
        for (const std::string& name : manager->GetBatchNames()) CheckFill(*manager->FindBatch(name));
        manager->ClearAll();
        Require(manager->GetActiveBatches().empty());
        // A burning object's emitter targets the object that holds it: the loop is cut here.
        for (auto& system : systems) system->SetTarget(nullptr);
    }
    g_currentViewCamera = nullptr;
    camera = nullptr;
    g_deltaTime = savedDelta;
    for (int i = 0; i < 3; ++i) IPMMObject::CollectGarbage();
}

} // namespace particlefuzz
