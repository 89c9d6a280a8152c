#include "Render/PRenderSeams.h"

IDirect3DDevice9* g_skyDevice = nullptr;

const CPBoundingBox& IPSceneObject::GetVisibleBounds() const {
    // An object that keeps no bounds has the empty box: it covers nothing.
    static const CPBoundingBox empty = [] {
        CPBoundingBox box;
        box.FromOrientedBoxes({});
        return box;
    }();
    return empty;
}

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
SkyMaker g_skyMaker;

} // namespace

void SetRaceWorld(IPRaceWorld* world) { g_raceWorld = world; }
IPRaceWorld& GetRaceWorld() { return g_raceWorld ? *g_raceWorld : g_noRaceWorld; }

void SetSkyMaker(SkyMaker maker) { g_skyMaker = std::move(maker); }
const SkyMaker& GetSkyMaker() { return g_skyMaker; }
