#include "Track.h"

#include <cmath>

namespace demogen {

namespace {

constexpr float kPi = 3.14159265358979323846f;

// Catmull-Rom through four values.
float Blend(float p0, float p1, float p2, float p3, float t) {
    const float t2 = t * t, t3 = t2 * t;
    return 0.5f * (2 * p1 + (-p0 + p2) * t + (2 * p0 - 5 * p1 + 4 * p2 - p3) * t2 + (-p0 + 3 * p1 - 3 * p2 + p3) * t3);
}

TrackPoint Interpolate(const std::vector<TrackPoint>& p, int i, float t) {
    const int n = static_cast<int>(p.size());
    const TrackPoint& a = p[(i - 1 + n) % n];
    const TrackPoint& b = p[i % n];
    const TrackPoint& c = p[(i + 1) % n];
    const TrackPoint& d = p[(i + 2) % n];
    TrackPoint out;
    out.x = Blend(a.x, b.x, c.x, d.x, t);
    out.y = Blend(a.y, b.y, c.y, d.y, t);
    out.width = Blend(a.width, b.width, c.width, d.width, t);
    out.bank = Blend(a.bank, b.bank, c.bank, d.bank, t);
    out.height = Blend(a.height, b.height, c.height, d.height, t);
    return out;
}

} // namespace

Vec3 TrackSample::At(float offset) const {
    // The left edge rises with a positive bank, so the surface falls to the right.
    const float rise = -offset * std::tan(bank * kPi / 180.0f);
    return {centre.x + right.x * offset, centre.y + right.y * offset, centre.z + rise};
}

const TrackRecipe& LevelOneRecipe() {
    static const TrackRecipe recipe = [] {
        TrackRecipe r;
        // A lap of about 1.6 km inside the level's 1000 x 1000 units, driven counter-clockwise seen
        // from above: a long start straight, a fast banked sweeper, a crest, an S through the woods
        // and a hairpin back onto the straight. The road is wide for the computer drivers: a chasing one
        // steers back toward the race line only once it is 8 units off it; and for the cars'
        // wide tracks in the S.
        const float s = 0.62f;
        r.points = {
            {-250 * s, -330 * s, 20, 0, 0}, {0, -345 * s, 20, 0, 0},        {250 * s, -325 * s, 19, 0, 0},
            {385 * s, -205 * s, 18, -7, 1}, {395 * s, 0, 17, -4, 4},        {330 * s, 180 * s, 17, 0, 7},
            {180 * s, 250 * s, 17, 5, 5},   {60 * s, 160 * s, 16, 3, 3},    {-60 * s, 215 * s, 16, -3, 2},
            {-200 * s, 330 * s, 17, -6, 3}, {-350 * s, 250 * s, 18, -6, 2}, {-385 * s, 60 * s, 19, 0, 1},
            {-360 * s, -190 * s, 20, 4, 0},
        };
        // Distances are fractions of the lap here, scaled when the ring is known.
        r.checkpoints = {0.2f, 0.4f, 0.6f, 0.8f};
        r.checkpointBonus = {12, 10, 10, 8};
        r.objects = {
            {"cflag", 0.2f, -1, 3},    {"cflag", 0.2f, 1, 3},    {"cflag", 0.4f, -1, 3},
            {"cflag", 0.4f, 1, 3},     {"cflag", 0.6f, -1, 3},   {"cflag", 0.6f, 1, 3},
            {"cflag", 0.8f, -1, 3},    {"cflag", 0.8f, 1, 3},    {"lamp", 0.03f, -1, 2},
            {"lamp", 0.08f, 1, 2},     {"lamp", 0.13f, -1, 2},   {"lamp", 0.93f, 1, 2},
            {"lamp", 0.97f, -1, 2},    {"barrel", 0.15f, 1, -3}, {"barrel", 0.151f, 1, -4.5f},
            {"barrel", 0.45f, -1, -3}, {"barrel", 0.7f, 1, -3},  {"windmill", 0.33f, 1, 25},
        };
        for (int i = 0; i < 24; ++i)
            r.objects.push_back({"tree", 0.3f + 0.015f * i, (i % 2) ? 1 : -1, 6.0f + 3.0f * (i % 3)});
        r.barriers = {
            {"barrier", 0.27f, 1, 0}, {"barrier", 0.52f, -1, 0}, {"barrier", 0.66f, 1, 0}, {"barrier", 0.86f, -1, 0}};
        return r;
    }();
    return recipe;
}

std::vector<TrackSample> SampleTrack(const TrackRecipe& recipe, float spacing) {
    // A fine walk along the curve, then one sample every `spacing` of its arc length.
    const int n = static_cast<int>(recipe.points.size());
    constexpr int kFine = 200;
    std::vector<TrackPoint> fine;
    for (int i = 0; i < n; ++i)
        for (int k = 0; k < kFine; ++k) fine.push_back(Interpolate(recipe.points, i, static_cast<float>(k) / kFine));
    std::vector<float> along(fine.size() + 1, 0.0f);
    for (std::size_t i = 0; i < fine.size(); ++i) {
        const TrackPoint& a = fine[i];
        const TrackPoint& b = fine[(i + 1) % fine.size()];
        along[i + 1] = along[i] + std::hypot(b.x - a.x, b.y - a.y);
    }
    const float total = along.back();
    const int count = static_cast<int>(std::lround(total / spacing));
    std::vector<TrackSample> ring;
    std::size_t j = 0;
    for (int k = 0; k < count; ++k) {
        const float d = total * k / count;
        while (j + 1 < fine.size() && along[j + 1] < d) ++j;
        const TrackPoint& a = fine[j];
        const TrackPoint& b = fine[(j + 1) % fine.size()];
        const float span = along[j + 1] - along[j];
        const float t = span > 0 ? (d - along[j]) / span : 0.0f;
        TrackSample s;
        s.centre = {a.x + (b.x - a.x) * t, a.y + (b.y - a.y) * t, a.height + (b.height - a.height) * t};
        s.forward = Normalised({b.x - a.x, b.y - a.y, 0});
        s.right = {s.forward.y, -s.forward.x, 0};
        s.width = a.width + (b.width - a.width) * t;
        s.bank = a.bank + (b.bank - a.bank) * t;
        s.distance = d;
        ring.push_back(s);
    }
    return ring;
}

float TrackLength(const std::vector<TrackSample>& ring) {
    if (ring.size() < 2) return 0.0f;
    const float step = ring[1].distance - ring[0].distance;
    return ring.back().distance + step;
}

const TrackSample& SampleAt(const std::vector<TrackSample>& ring, float distance) {
    const float length = TrackLength(ring);
    float d = std::fmod(distance, length);
    if (d < 0) d += length;
    const std::size_t i = static_cast<std::size_t>(std::lround(d / length * ring.size())) % ring.size();
    return ring[i];
}

} // namespace demogen
