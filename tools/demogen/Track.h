#pragma once
// The demo level's track: a recipe of a closed centre line through control points with a width,
// a banking and a height at each, sampled into an evenly spaced ring that every level file is
// made from (the road, its walls and barriers, the route splines, the places of checkpoints,
// start grid and roadside objects).

#include <string>
#include <vector>

#include "Geometry.h"

namespace demogen {

// One control point of the centre line, in driving order.
struct TrackPoint {
    float x = 0, y = 0;
    // Road width from wall to wall.
    float width = 14;
    // Degrees; positive lifts the left edge (seen in the driving direction).
    float bank = 0;
    float height = 0;
};

// A roadside object placed by its distance along the track: the record name, which side (-1
// left, +1 right, 0 on the centre line) and how far beyond the wall (negative: inside it).
struct TrackObject {
    std::string name;
    float distance = 0;
    int side = 0;
    float offset = 0;
};

struct TrackRecipe {
    std::vector<TrackPoint> points;
    // Distances along the track, from the start line in driving order.
    std::vector<float> checkpoints;
    std::vector<float> checkpointBonus;
    std::vector<TrackObject> objects;
    // Concrete barriers standing against a wall.
    std::vector<TrackObject> barriers;
    float wallHeight = 1.6f;
};

// One sample of the ring.
struct TrackSample {
    Vec3 centre;
    // Unit direction of driving and unit right-hand side (horizontal).
    Vec3 forward, right;
    float width = 14;
    float bank = 0;
    float distance = 0;
    // The road surface at a signed offset from the centre (positive to the right).
    Vec3 At(float offset) const;
};

// The demo level's recipe.
const TrackRecipe& LevelOneRecipe();

// The ring sampled about every `spacing` units along the closed curve through the points.
std::vector<TrackSample> SampleTrack(const TrackRecipe& recipe, float spacing);
// The sample nearest a distance along the ring (wrapped).
const TrackSample& SampleAt(const std::vector<TrackSample>& ring, float distance);
float TrackLength(const std::vector<TrackSample>& ring);

} // namespace demogen
