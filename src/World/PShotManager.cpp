#include "World/PShotManager.h"

#include "Framework/PLog.h"
#include "Render/PRender.h"
#include "Render/PRenderBlock.h"
#include "World/PProjectileShot.h"
#include "World/PShot.h"
#include "World/PWorldTables.h"

CPShotManager* CPShotManager::s_instance = nullptr;

CPShotManager::CPShotManager() { s_instance = this; }

CPShotManager::~CPShotManager() {
    if (s_instance == this) s_instance = nullptr;
}

bool CPShotManager::Start() {
    if (!IPTask::Start()) return false;
    if (m_pools.empty()) LoadShotTable("Data\\shots.dat");
    return true;
}

bool CPShotManager::LoadShotTable(const std::string& path) {
    std::vector<SPShotRecord> records;
    if (!ReadShotTable(path, records)) return false;
    for (const SPShotRecord& record : records) {
        auto pool = m_pools.find(record.name);
        // A pool made in code before the table keeps its prototype.
        if (pool != m_pools.end() && !pool->second.empty()) continue;
        AddToPool(record.name, CPSmartPtr<CPShot>(new CPProjectileShot(record)));
    }
    return true;
}

void CPShotManager::AddToPool(const std::string& name, const CPSmartPtr<CPShot>& shot) {
    if (shot) m_pools[name].push_back(shot);
}

const std::vector<CPSmartPtr<CPShot>>* CPShotManager::FindPool(const std::string& name) const {
    auto pool = m_pools.find(name);
    return pool == m_pools.end() ? nullptr : &pool->second;
}

CPSmartPtr<CPShot> CPShotManager::Spawn(const std::string& name, const D3DXVECTOR3& position,
                                        const D3DXVECTOR3& direction, float speed,
                                        const CPSmartPtr<CPGameObject>& owner, const float* speedReference) {
    if (m_spawnDepth >= kMaxSpawnDepth) return CPSmartPtr<CPShot>();
    std::vector<CPSmartPtr<CPShot>>& pool = m_pools[name];
    CPSmartPtr<CPShot> shot;
    if (pool.size() == 1) {
        shot = pool.front()->Clone();
    } else if (pool.size() >= 2) {
        shot = pool.back();
        pool.pop_back();
    }
    // A kind that cannot be copied gives nothing to launch.
    if (!shot) return shot;
    m_active.push_back(shot);
    if (m_active.size() > m_mostActive) m_mostActive = m_active.size();
    ++m_spawnDepth;
    shot->Launch(position, direction, speed, owner, speedReference);
    --m_spawnDepth;
    return shot;
}

void CPShotManager::Retire(const CPSmartPtr<CPShot>& shot) {
    if (!shot) return;
    if (shot->IsInScene()) shot->RemoveFromScene();
    if (!shot->IsPooled()) return;
    auto pool = m_pools.find(shot->GetShotName());
    // A pool without its prototype was cleared: the shot is not wanted any more.
    if (pool == m_pools.end() || pool->second.empty()) return;
    pool->second.push_back(shot);
}

void CPShotManager::Update() {
    if (m_active.empty()) return;
    CPSmartPtr<CPRenderBlock> block;
    if (CPRender* render = GetRender()) block = render->GetRenderBlock();
    const unsigned generation = m_generation;
    std::vector<CPSmartPtr<CPShot>> current;
    current.swap(m_active);
    std::vector<CPSmartPtr<CPShot>> living;
    living.reserve(current.size());
    for (std::size_t i = 0; i < current.size(); ++i) {
        const CPSmartPtr<CPShot> shot = current[i];
        const bool alive = shot->IsAlive();
        if (m_generation != generation) {
            // Everything under way was retired while this shot moved (the level stopped): the
            // shots this pass had taken off the list go the same way.
            for (std::size_t j = i; j < current.size(); ++j) Retire(current[j]);
            for (const CPSmartPtr<CPShot>& kept : living) Retire(kept);
            return;
        }
        if (!alive) {
            Retire(shot);
            continue;
        }
        living.push_back(shot);
        if (block) {
            shot->UpdateTransform();
            block->AddObjectTree(shot.Get());
        }
    }
    // Shots spawned during the pass (impacts) come after the ones that were under way.
    living.insert(living.end(), m_active.begin(), m_active.end());
    m_active.swap(living);
}

void CPShotManager::RetireAll() {
    ++m_generation;
    std::vector<CPSmartPtr<CPShot>> active;
    active.swap(m_active);
    for (const CPSmartPtr<CPShot>& shot : active) Retire(shot);
}

void CPShotManager::Clear() {
    ++m_generation;
    std::vector<CPSmartPtr<CPShot>> active;
    active.swap(m_active);
    for (const CPSmartPtr<CPShot>& shot : active)
        if (shot->IsInScene()) shot->RemoveFromScene();
    m_pools.clear();
}
