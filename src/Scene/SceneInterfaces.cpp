#include "Scene/SceneInterfaces.h"

namespace {

IPPhysicDataMaker* g_physicDataMaker = nullptr;
IPEnemyMaker* g_enemyMaker = nullptr;
IPLensFlareOverlayMaker* g_lensFlareOverlayMaker = nullptr;
IPLensFlarePoolSink* g_lensFlarePoolSink = nullptr;

} // namespace

void SetPhysicDataMaker(IPPhysicDataMaker* maker) { g_physicDataMaker = maker; }
IPPhysicDataMaker* GetPhysicDataMaker() { return g_physicDataMaker; }
void SetEnemyMaker(IPEnemyMaker* maker) { g_enemyMaker = maker; }
IPEnemyMaker* GetEnemyMaker() { return g_enemyMaker; }
void SetLensFlareOverlayMaker(IPLensFlareOverlayMaker* maker) { g_lensFlareOverlayMaker = maker; }
IPLensFlareOverlayMaker* GetLensFlareOverlayMaker() { return g_lensFlareOverlayMaker; }
void SetLensFlarePoolSink(IPLensFlarePoolSink* sink) { g_lensFlarePoolSink = sink; }
IPLensFlarePoolSink* GetLensFlarePoolSink() { return g_lensFlarePoolSink; }
