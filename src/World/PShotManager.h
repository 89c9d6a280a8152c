#pragma once
// The one shot manager: named pools of shots (the first entry of a pool is its prototype, the
// rest are spares) and the list of launched shots. Its task advances the launched shots once a
// pass, hands the living ones to the render block and sends the finished ones back to their
// pools. It reads "Data\shots.dat" when it starts: one pool per line of the table.

#include <string>
#include <unordered_map>
#include <vector>

#include "Framework/PTaskKernel.h"
#include "Platform/Math/D3DXTypes.h"
#include "Scene/PGameObject.h"
#include "World/PShot.h"

class CPShotManager : public IPTask {
public:
    static constexpr int kMaxSpawnDepth = 4;

    CPShotManager();
    ~CPShotManager() override;
    CPShotManager(const CPShotManager&) = delete;
    CPShotManager& operator=(const CPShotManager&) = delete;

    // The manager, or null while there is none.
    static CPShotManager* GetInstance() { return s_instance; }

    int GetSize() const override { return static_cast<int>(sizeof(CPShotManager)); }
    std::string GetClassName() const override { return "CPShotManager"; }
    int GetKind() const override { return 1; }
    // Reads the shot table (a missing or broken table leaves no pools, with a log line); the
    // manager runs either way, so that spawns of known names keep working.
    bool Start() override;
    void Update() override;

    // Launches an instance of the name's pool: with one entry a clone of it, with more the last
    // spare (taken out of the pool). A name without a pool, or a clone that comes back empty,
    // spawns nothing and answers an empty handle. The speed reference is handed to the launch.
    // A launch may spawn in turn (an effect hurts an enemy, which bleeds an effect): beyond
    // kMaxSpawnDepth nested spawns nothing more is spawned, so such a ring cannot run away.
    CPSmartPtr<CPShot> Spawn(const std::string& name, const D3DXVECTOR3& position, const D3DXVECTOR3& direction,
                             float speed, const CPSmartPtr<CPGameObject>& owner = CPSmartPtr<CPGameObject>(),
                             const float* speedReference = nullptr);

    // Appends the shot to the pool of the name (the first shot of a pool is its prototype).
    void AddToPool(const std::string& name, const CPSmartPtr<CPShot>& shot);
    // The pools made from the table at path (lines that fail are skipped and logged); false
    // when the file cannot be read.
    bool LoadShotTable(const std::string& path);
    // Every launched shot leaves the scene and goes back to its pool (the level's stop).
    void RetireAll();
    // Every pool and every launched shot dropped.
    void Clear();

    const std::vector<CPSmartPtr<CPShot>>& GetActiveShots() const { return m_active; }
    // The pool of the name; null when there is none.
    const std::vector<CPSmartPtr<CPShot>>* FindPool(const std::string& name) const;
    std::size_t GetPoolCount() const { return m_pools.size(); }
    // The most shots that were under way at once since the manager was made.
    std::size_t GetMostActive() const { return m_mostActive; }

private:
    // Takes the finished shot out of the scene and, for a kind that pools, back to its pool.
    void Retire(const CPSmartPtr<CPShot>& shot);

    static CPShotManager* s_instance;
    std::vector<CPSmartPtr<CPShot>> m_active;
    std::unordered_map<std::string, std::vector<CPSmartPtr<CPShot>>> m_pools;
    // Counts every RetireAll and Clear, so a pass notices that the list went under it.
    unsigned m_generation = 0;
    std::size_t m_mostActive = 0;
    int m_spawnDepth = 0;
};
