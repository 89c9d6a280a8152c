#pragma once
// A temporary game root holding a fresh game-data store, installed as the store of the process
// while it lives. Files the store reads are written into the root with Write().

#include <memory>

#include "Framework/PSettings.h"
#include "GameData/PGameData.h"
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

// Sets the difficulty setting ("cam_speed") for a scope and puts the old value back.
class CamSpeed {
public:
    explicit CamSpeed(int value) : m_old(g_cam_speed) { g_cam_speed = value; }
    ~CamSpeed() { g_cam_speed = m_old; }
    CamSpeed(const CamSpeed&) = delete;
    CamSpeed& operator=(const CamSpeed&) = delete;

private:
    int m_old;
};

} // namespace kxtest
