#pragma once
// The particle manager: reads the four particle tables when it starts, keeps one batch per
// particle name, turns descriptions into live particles, advances the batches that hold
// particles once per pass and hands them to the render block, and keeps the prototypes of the
// fire emitters that burning objects clone. One per process; it stores itself in its global.

#include <string>
#include <unordered_map>
#include <vector>

#include "Framework/PTaskKernel.h"
#include "Scene/PParticleDesc.h"

class CPParticleBatch;
class CPParticleSystem;

class CPParticlesManager : public IPTask {
public:
    CPParticlesManager();
    ~CPParticlesManager() override;
    CPParticlesManager(const CPParticlesManager&) = delete;
    CPParticlesManager& operator=(const CPParticlesManager&) = delete;

    int GetSize() const override { return static_cast<int>(sizeof(CPParticlesManager)); }
    std::string GetClassName() const override { return "CPParticlesManager"; }
    int GetKind() const override { return 1; }
    // Reads the tables; false (and not started) when one of them cannot be read.
    bool Start() override { return LoadTables(); }
    void Update() override;

    bool LoadTables();
    // Turns the description into a live particle of its batch; an unknown name is dropped.
    // The description is not changed.
    void EmitParticle(const SPParticleDesc& description);
    // Every batch emptied; tables, prototypes and descriptions stay.
    void ClearAll();
    // A fresh clone of the flame table's entry; empty outside the table.
    CPSmartPtr<CPParticleSystem> GetFlameSystem(int flameType) const;

    // The system description of that name, or null. Emitters normalise its direction in place.
    SPParticleSystemDesc* FindSystemDesc(const std::string& name);
    // The batch of that particle name, or null.
    CPParticleBatch* FindBatch(const std::string& name) const;

    // The particle names and the system description names, in no particular order.
    std::vector<std::string> GetBatchNames() const;
    std::vector<std::string> GetSystemDescNames() const;
    const std::vector<CPSmartPtr<CPParticleBatch>>& GetActiveBatches() const { return m_active; }
    const std::vector<CPSmartPtr<CPParticleSystem>>& GetFlameTable() const { return m_flames; }
    std::size_t GetBatchCount() const { return m_batches.size(); }
    std::size_t GetSystemDescCount() const { return m_systemDescs.size(); }

private:
    bool LoadBatchTable(const char* path, bool spots);
    bool LoadSystemTable(const char* path);
    bool LoadFlameTable(const char* path);

    std::vector<CPSmartPtr<CPParticleSystem>> m_flames;
    std::unordered_map<std::string, CPSmartPtr<CPParticleBatch>> m_batches;
    // The batches that hold particles, in the order they last became non-empty; walked by index,
    // so batches that become non-empty during the walk are visited in the same pass.
    std::vector<CPSmartPtr<CPParticleBatch>> m_active;
    std::unordered_map<std::string, SPParticleSystemDesc> m_systemDescs;
    // Counts every ClearAll, so the update's walk notices that the list went under it.
    unsigned m_clearCount = 0;
};

// The particle manager, or null while there is none.
CPParticlesManager* GetParticlesManager();
