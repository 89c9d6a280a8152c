// The enemy-data table read through the file layer: every record's values must be finite and
// every name non-empty.

#include "Framework/PLog.h"
#include "FuzzSupport.h"
#include "World/PWorldTables.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    CPLog::Instance().SetSink(nullptr);
    kxfuzz::GameRoot& root = kxfuzz::GameRoot::Get();
    root.Clear();
    root.Write("Data/enemies.dat", data, size);
    if (!LoadEnemyTable("Data\\enemies.dat")) std::abort();
    for (const auto& [name, record] : EnemyData()) {
        if (name.empty()) std::abort();
        if (!std::isfinite(record.value1) || !std::isfinite(record.value2)) std::abort();
    }
    EnemyData().clear();
    return 0;
}
