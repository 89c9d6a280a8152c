#pragma once
// A temporary game root holding a fresh game-data store, installed as the store of the process
// while it lives. Files the store reads are written into the root with Write().

#include <memory>

#include "GameData/GameData.h"
#include "support/TempDir.h"

namespace kxtest {

class FreshGameData : public TempGameRoot {
public:
    // With loadStrings, the start-up reset and text-table load run as the application runs them.
    explicit FreshGameData(bool loadStrings = false);
    ~FreshGameData();

    CPGameData& Data() { return *m_data; }
    CPGameData* operator->() { return m_data.get(); }

private:
    std::unique_ptr<CPGameData> m_data;
};

} // namespace kxtest
