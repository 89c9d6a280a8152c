#include "Render/PRenderSeams.h"

IDirect3DDevice9* g_skyDevice = nullptr;

namespace {

class CPNoRaceWorld final : public IPRaceWorld {
public:
    bool HasLevel() const override { return false; }
    CPPerspectiveCamera* GetViewCamera() const override { return nullptr; }
    CPPerspectiveCamera* GetFarCamera() const override { return nullptr; }
    bool GetTerrain(SPTerrainView&) const override { return false; }
};

CPNoRaceWorld g_noRaceWorld;
IPRaceWorld* g_raceWorld = nullptr;

} // namespace

void SetRaceWorld(IPRaceWorld* world) { g_raceWorld = world; }
IPRaceWorld& GetRaceWorld() { return g_raceWorld ? *g_raceWorld : g_noRaceWorld; }
