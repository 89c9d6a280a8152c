#pragma once
// The race-control tests' world: the combat tests' script world (game root, store, kernel,
// physics, drivers, level loader with cars made in code, the whole script API, scripts run as
// kernel tasks that "Report" what they see), plus racing levels written where InitLevel finds
// them. Levels that scripts create are the race fixture's to stop and delete at the end.

#include <string>

#include "Framework/PGlobalTimer.h"
#include "Game/Combat/CombatFixture.h"
#include "Sound/NSound.h"
#include "World/PLevel.h"

namespace racecontrol {

using kxcombat::Reports;
using kxcombat::Strings;

class RaceControlTest : public kxcombat::ScriptWorld {
protected:
    ~RaceControlTest() override {
        race.level = CPLevel::GetInstance();
        g_timeScale = 1.0f;
        CNSound::SetGlobalFrequencyFactor(1.0f);
    }

    // A racing level (a ring route with start places, posts and checkpoints) under the name, as
    // "Data\Levels\<name>.lvl"; the writer gets any further objects first.
    void WriteLevel(const std::string& name, const kxtest::RacingLevelSpec& spec = kxtest::RacingLevelSpec(),
                    void (*extra)(kxtest::LevelFileWriter&) = nullptr) {
        kxtest::LevelFileWriter writer = kxtest::RaceFixture::RacingLevel(spec);
        if (extra) extra(writer);
        race.store.Write("Data/Levels/" + name + ".lvl", writer.Bytes());
    }

    // The level a script's call made, when it loaded; null (and a failure) otherwise.
    CPLevel* LoadByScript(const std::string& call) {
        Run(call);
        CPLevel* level = CPLevel::GetInstance();
        EXPECT_TRUE(level && level->IsLoaded()) << call << ": " << (level ? level->GetLoadError() : "no level");
        return level && level->IsLoaded() ? level : nullptr;
    }

    static CPLevel* Level() { return CPLevel::GetInstance(); }
};

} // namespace racecontrol
