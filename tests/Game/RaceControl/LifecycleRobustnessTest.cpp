// The functions that make, start, stop and delete the level, called in every order with hostile
// arguments (none, wrong kinds, a dead handle, numbers that are not numbers, texts that name no
// level or a real one), with race frames between the calls: no Lua error, no sanitizer report,
// and at most one level at any time.

#include <gtest/gtest.h>

#include <string>

#include "Game/RaceControl/RaceControlFixture.h"

namespace racecontrol {
namespace {

TEST_F(RaceControlTest, LevelLifecycleMeetsHostileArgumentsInAnyOrder) {
    WriteLevel("level9");
    CPSmartPtr<CPGameObject> scenery(new CPGameObject("scenery"));
    PMMHandle dead = 0;
    {
        CPSmartPtr<CPGameObject> gone(new CPGameObject("gone"));
        dead = gone->GetHandle();
    }
    for (int i = 0; i < 3; ++i) IPMMObject::CollectGarbage();
    Global("scenery", scenery.Get());
    const std::string prelude =
        Globals() + "dead = StringToPointer('" + std::to_string(static_cast<int>(dead)) + "')\n";

    const char* const argumentLists[] = {
        "",
        "nil, nil, nil",
        "scenery, scenery, scenery",
        "dead, dead",
        "0/0, 1/0, -1/0",
        "1e308, 'x', {}",
        "'level9'",
        "'level9', true, true, true",
        "'level9', 0/0",
        "'..\\\\..\\\\level9'",
        "'%s%n%d'",
        "{}, {}, {}",
        "'LEVEL9', false",
    };
    const char* const orders[] = {
        "InitLevel(%) StartLevel(%) StopLevel(%) DeleteLevel(%)",
        "InitLevel(%) InitLevel(%) StartLevel(%) InitLevel(%)",
        "StartLevel(%) StopLevel(%) DeleteLevel(%) DeleteLevel(%)",
        "InitLevel(%) StartLevel(%) DeleteLevel(%) StopLevel(%)",
        "InitLevel(%) StopLevel(%) StartLevel(%) StopLevel(%) StartLevel(%)",
        "InitLevel('level9') StartLevel() StopLevel(%) StartLevel(%) DeleteLevel(%)",
    };
    for (const char* arguments : argumentLists) {
        for (const char* order : orders) {
            std::string calls = order;
            for (std::size_t at = calls.find('%'); at != std::string::npos; at = calls.find('%', at))
                calls.replace(at, 1, arguments), at += std::string(arguments).size();
            EXPECT_EQ(Run(prelude + calls + " Report('ran')"), Strings{"ran"}) << calls;
            for (int i = 0; i < 3; ++i) race.kernel.RunPass();
        }
    }
}

} // namespace
} // namespace racecontrol
