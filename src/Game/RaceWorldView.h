#pragma once
// What the script functions of the game layer read from the race world: whether a level exists,
// its named positions, its checkpoint timer and a racer object's name text. Start-up installs the
// view over the current level; until then (and in tests that install none) the default answers
// as if no level were loaded.

#include <optional>
#include <string>

#include "Framework/PMMObject.h"
#include "GameData/PGameData.h"

namespace ScriptApi {

class IRaceWorldView {
public:
    virtual ~IRaceWorldView() = default;
    virtual bool HasLevel() const = 0;
    // The level's named positions; only asked while HasLevel is true.
    virtual const SPNamedPositions& NamedPositions() const = 0;
    virtual float CheckpointTimer() const = 0;
    // The car model name text of a racer object; nothing when the object is no racer.
    virtual std::optional<std::string> RacerName(IPMMObject* object) const = 0;
};

// The view in use: the installed one, else the one that answers "no level".
const IRaceWorldView& GetRaceWorldView();
// Installs a view (not owned); nullptr goes back to "no level".
void SetRaceWorldView(const IRaceWorldView* view);
// The view over the current race level, which start-up installs.
const IRaceWorldView& LevelWorldView();

} // namespace ScriptApi
