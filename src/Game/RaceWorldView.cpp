#include "Game/RaceWorldView.h"

namespace ScriptApi {

namespace {

class NoLevelView final : public IRaceWorldView {
public:
    bool HasLevel() const override { return false; }
    const SPNamedPositions& NamedPositions() const override { return m_none; }
    float CheckpointTimer() const override { return 0.0f; }
    std::optional<std::string> RacerName(IPMMObject*) const override { return std::nullopt; }

private:
    SPNamedPositions m_none;
};

const NoLevelView g_noLevel;
const IRaceWorldView* g_view = nullptr;

} // namespace

const IRaceWorldView& GetRaceWorldView() { return g_view ? *g_view : g_noLevel; }

void SetRaceWorldView(const IRaceWorldView* view) { g_view = view; }

} // namespace ScriptApi
