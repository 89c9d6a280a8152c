#pragma once
// The description of a test car that computer drivers can race for laps: the racer bodies the
// fixtures build (a 2 x 4 x 1 box of mass 10, wheel nodes 0.9 either side and 1.4 fore and
// aft) carried on short, stiff springs with the rays moved outward, and a gear box whose top
// gear holds a computer car near 29 units/s at "cam_speed" 10.
//
// Why each figure: the wheels' forces act at the ground, so the body's height over it is the
// lever that pitches the nose up under drive and rolls the car in a bend. Rays of 0.8 keep the
// centre of mass about 0.8 over the road (1.3 with the defaults) and a track of 1.4 either side
// (0.9) lifts the roll-over limit above twice a ring bend's pull. Springs of 800 per wheel keep
// the pitch under drive to a few hundredths of a radian, where the damper no longer turns
// forward speed into lift. A computer car's drive grows with "cam_speed"; the small top gear
// keeps it where the sideways grip holds a bend of radius 75.

#include <string>

#include "support/CarDescriptionWriter.h"

namespace kxtest {

inline std::string RaceCarDescription() {
    CarDescriptionWriter w;
    w.Set("physics/geometry/wheels", "count", "4")
        .Set("physics/geometry/wheels", "x", "0.5")
        .Set("physics/geometry/wheels", "y", "0")
        .Set("physics/geometry/wheels", "length", "0.8")
        .Set("physics/geometry/wheels", "radius", "0.4");
    w.Set("physics/params/wheels", "spring1", "800")
        .Set("physics/params/wheels", "spring2", "800")
        .Set("physics/params/wheels", "damping", "100");
    w.Set("physics/params/friction", "front", "100")
        .Set("physics/params/friction", "back", "240")
        .Set("physics/params/friction", "slide", "0.9");
    w.Set("physics/params/acceleration", "front", "10")
        .Set("physics/params/acceleration", "back", "30")
        .Set("physics/params/acceleration", "brake", "100");
    // coeff, min, max, change, inc: a standing gear, three pulling gears and a light top gear.
    const char* gears[][5] = {{"0", "-1", "0", "0", "1"},
                              {"1", "1", "3", "3", "1"},
                              {"0.6", "1.5", "4", "10", "0.8"},
                              {"0.3", "2", "5", "15", "0.6"},
                              {"0.12", "2.5", "9", "20", "0.4"}};
    for (const auto& g : gears)
        w.Gear({{"coeff", g[0]}, {"min", g[1]}, {"max", g[2]}, {"change", g[3]}, {"inc", g[4]}});
    w.Set("physics/gearbox/backgear", "coeff", "-1")
        .Set("physics/gearbox/backgear", "min", "1")
        .Set("physics/gearbox/backgear", "max", "3")
        .Set("physics/gearbox/backgear", "change", "0")
        .Set("physics/gearbox/backgear", "inc", "1");
    return w.Text();
}

} // namespace kxtest
