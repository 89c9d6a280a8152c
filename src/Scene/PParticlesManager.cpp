#include "Scene/PParticlesManager.h"

#include "Framework/PTextReader.h"
#include "Platform/System/Random.h"
#include "Render/PEffectManager.h"
#include "Render/PPerspectiveCamera.h"
#include "Render/PRender.h"
#include "Render/PRenderBlock.h"
#include "Scene/PParticleBatch.h"
#include "Scene/PParticleSystem.h"
#include "Scene/PParticleTables.h"

namespace {

CPParticlesManager* g_particlesManager = nullptr;

// The only particle name that is given a spin (the tables are tuned to this spelling).
constexpr const char* kSpinningName = "derbis";
constexpr float kDegree = 0.017453292f;

} // namespace

CPParticlesManager* GetParticlesManager() { return g_particlesManager; }

CPParticlesManager::CPParticlesManager() {
    m_batches.reserve(100);
    m_systemDescs.reserve(100);
    g_particlesManager = this;
}

CPParticlesManager::~CPParticlesManager() {
    if (g_particlesManager == this) g_particlesManager = nullptr;
}

bool CPParticlesManager::LoadTables() {
    if (!LoadBatchTable(kParticlesTablePath, false)) return false;
    if (!LoadBatchTable(kSpotsTablePath, true)) return false;
    if (!LoadSystemTable(kParticleSystemsTablePath)) return false;
    if (!LoadFlameTable(kFlamesTablePath)) return false;
    return IPTask::Start();
}

bool CPParticlesManager::LoadBatchTable(const char* path, bool spots) {
    std::vector<std::string> lines;
    if (!ReadTextFileLines(path, lines)) return false;
    CPEffectManager* effects = GetEffectManager();
    for (const std::string& text : lines) {
        const SPParticleBatchLine line = ParseParticleBatchLine(text);
        CPSmartPtr<CPParticleBatch> batch(spots ? new CPParticleQuadBatch() : new CPParticleBatch());
        batch->SetReserved(line.reserved);
        batch->SetAtlas(line.columns, line.rows, line.frameAnimation);
        if (effects) {
            CPSmartPtr<CPMaterial> material;
            effects->GetMaterial(material, line.renderKey, line.effect, {line.texture});
            batch->SetEffect(material);
        }
        for (const SPColourKey& key : line.keys) batch->AddColourKey(key);
        m_batches[line.name] = batch;
    }
    return true;
}

bool CPParticlesManager::LoadSystemTable(const char* path) {
    std::vector<std::string> lines;
    if (!ReadTextFileLines(path, lines)) return false;
    for (const std::string& text : lines) {
        std::string name;
        const SPParticleSystemDesc desc = ParseParticleSystemLine(text, name);
        m_systemDescs[name] = desc;
    }
    return true;
}

bool CPParticlesManager::LoadFlameTable(const char* path) {
    std::vector<std::string> lines;
    if (!ReadTextFileLines(path, lines)) return false;
    for (const std::string& text : lines) {
        const SPFlameLine line = ParseFlameLine(text);
        CPSmartPtr<CPParticleSystem> system(new CPParticleSystem(nullptr, line.systemNames));
        system->SetInterval(line.interval);
        system->SetLifetime(line.lifetime);
        system->SetDamage(line.damage);
        m_flames.push_back(system);
    }
    return true;
}

void CPParticlesManager::EmitParticle(const SPParticleDesc& description) {
    SPParticle particle = SPParticle::FromDesc(description);
    if (description.name == kSpinningName) particle.spin = static_cast<float>(Platform::EngineRand() % 360) * kDegree;
    auto found = m_batches.find(description.name);
    if (found == m_batches.end()) return;
    // The handle keeps the batch while the map may change under a callback.
    CPSmartPtr<CPParticleBatch> batch = found->second;
    const bool wasEmpty = !batch->HoldsParticles();
    if (!batch->AddParticle(particle)) return;
    if (wasEmpty) m_active.push_back(batch);
}

void CPParticlesManager::Update() {
    CPSmartPtr<CPRenderBlock> block;
    if (CPRender* render = GetRender()) block = render->GetRenderBlock();
    // Without a view camera (the menus) the batches still move but nothing is drawn.
    const bool draw = block && g_currentViewCamera;
    const unsigned clears = m_clearCount;
    std::size_t write = 0;
    for (std::size_t read = 0; read < m_active.size(); ++read) {
        CPSmartPtr<CPParticleBatch> batch = m_active[read];
        batch->Update();
        if (m_clearCount != clears) return;
        if (!batch->HoldsParticles()) continue;
        if (draw) block->AddRenderable(batch.Get());
        if (write != read) m_active[write] = std::move(m_active[read]);
        ++write;
    }
    m_active.resize(write);
}

void CPParticlesManager::ClearAll() {
    ++m_clearCount;
    for (auto& entry : m_batches) entry.second->Clear();
    m_active.clear();
}

CPSmartPtr<CPParticleSystem> CPParticlesManager::GetFlameSystem(int flameType) const {
    if (flameType < 0 || static_cast<std::size_t>(flameType) >= m_flames.size()) return nullptr;
    CPSmartPtr<IPTask> clone;
    m_flames[static_cast<std::size_t>(flameType)]->Clone(clone);
    return DynamicPtrCast<CPParticleSystem>(clone);
}

SPParticleSystemDesc* CPParticlesManager::FindSystemDesc(const std::string& name) {
    auto found = m_systemDescs.find(name);
    return found == m_systemDescs.end() ? nullptr : &found->second;
}

CPParticleBatch* CPParticlesManager::FindBatch(const std::string& name) const {
    auto found = m_batches.find(name);
    return found == m_batches.end() ? nullptr : found->second.Get();
}

std::vector<std::string> CPParticlesManager::GetBatchNames() const {
    std::vector<std::string> names;
    names.reserve(m_batches.size());
    for (const auto& entry : m_batches) names.push_back(entry.first);
    return names;
}

std::vector<std::string> CPParticlesManager::GetSystemDescNames() const {
    std::vector<std::string> names;
    names.reserve(m_systemDescs.size());
    for (const auto& entry : m_systemDescs) names.push_back(entry.first);
    return names;
}
