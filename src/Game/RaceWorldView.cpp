#include "Game/RaceWorldView.h"

#include "World/PLevel.h"
#include "World/PPlayer.h"

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

// Asks the current level each time: scripts create and delete levels between any two calls.
class CurrentLevelView final : public IRaceWorldView {
public:
    bool HasLevel() const override { return CPLevel::GetInstance() != nullptr; }
    const SPNamedPositions& NamedPositions() const override {
        const CPLevel* level = CPLevel::GetInstance();
        return level ? level->namedPositions : m_none;
    }
    float CheckpointTimer() const override {
        const CPLevel* level = CPLevel::GetInstance();
        return level ? level->checkpointTimer : 0.0f;
    }
    // Racers live in levels: without one no object is a racer.
    std::optional<std::string> RacerName(IPMMObject* object) const override {
        const auto* racer = dynamic_cast<const CPPlayer*>(object);
        if (!racer || !CPLevel::GetInstance()) return std::nullopt;
        return racer->name;
    }

private:
    SPNamedPositions m_none;
};

const NoLevelView g_noLevel;
const CurrentLevelView g_currentLevel;
const IRaceWorldView* g_view = nullptr;

} // namespace

const IRaceWorldView& GetRaceWorldView() { return g_view ? *g_view : g_noLevel; }

void SetRaceWorldView(const IRaceWorldView* view) { g_view = view; }

const IRaceWorldView& LevelWorldView() { return g_currentLevel; }

} // namespace ScriptApi
