// The shot table read through the file layer, then made into the shot manager's pools; every
// record must hold finite numbers, no negative lifetime or count and a name of its own, and
// every pool must launch and fly a few frames without a level.

#include "Framework/PGlobalTimer.h"
#include "Framework/PLog.h"
#include "Framework/PMMObject.h"
#include "FuzzSupport.h"
#include "World/PShotManager.h"
#include "World/PWorldTables.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <set>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    CPLog::Instance().SetSink(nullptr);
    kxfuzz::GameRoot& root = kxfuzz::GameRoot::Get();
    root.Clear();
    root.Write("Data/shots.dat", data, size);
    std::vector<SPShotRecord> records;
    if (!ReadShotTable("Data\\shots.dat", records)) std::abort();
    std::set<std::string> names;
    for (const SPShotRecord& r : records) {
        if (r.name.empty() || !names.insert(r.name).second) std::abort();
        for (float value : {r.speed, r.lifetime, r.gravityFactor, r.damage, r.radius})
            if (!std::isfinite(value)) std::abort();
        if (r.lifetime < 0.0f || r.launchCount < 0 || r.endCount < 0) std::abort();
    }
    {
        CPSmartPtr<CPShotManager> manager(new CPShotManager());
        if (!manager->LoadShotTable("Data\\shots.dat")) std::abort();
        if (manager->GetPoolCount() != records.size()) std::abort();
        for (const SPShotRecord& r : records)
            manager->Spawn(r.name, D3DXVECTOR3(0, 0, 1), D3DXVECTOR3(0, -1, 0), r.speed);
        const float saved = g_deltaTime;
        g_deltaTime = 0.1f;
        for (int i = 0; i < 3; ++i) manager->Update();
        g_deltaTime = saved;
        manager->Clear();
    }
    for (int i = 0; i < 4; ++i) IPMMObject::CollectGarbage();
    return 0;
}
