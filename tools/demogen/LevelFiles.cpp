// The demo level "level1": the level file, the colliding road with its walls and barriers, the
// visible scenery, the land, and the models the level and the race ask for by name, with their
// pictures and the mini map. Everything is made from the track recipe, so moving a checkpoint or
// widening a corner there moves every file that depends on it.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "DemoGen.h"
#include "Geometry.h"
#include "Track.h"
#include "support/DdsWriter.h"
#include "support/JpegWriter.h"
#include "support/LevelFileWriter.h"
#include "support/MeshFileWriter.h"
#include "support/RoadMesh.h"

namespace {

using demogen::Description;
using demogen::MeshBuilder;
using demogen::Rgba;
using demogen::TrackSample;
using demogen::Vec3;

constexpr float kPi = 3.14159265358979323846f;
constexpr float kSpacing = 5.0f;
// Route spline segments span this many ring samples.
constexpr int kSamplesPerSegment = 4;
constexpr float kGround = -0.6f;

struct Ring {
    std::vector<TrackSample> samples;
    float length = 0;
    const TrackSample& At(float d) const { return demogen::SampleAt(samples, d); }
    const TrackSample& Wrap(std::size_t i) const { return samples[i % samples.size()]; }
};

const Ring& LevelRing() {
    static const Ring ring = [] {
        Ring r;
        r.samples = demogen::SampleTrack(demogen::LevelOneRecipe(), kSpacing);
        r.length = demogen::TrackLength(r.samples);
        return r;
    }();
    return ring;
}

float Heading(const Vec3& v) { return std::atan2(v.y, v.x); }

// Adds a triangle to the colliding road facing along `facing` (wound so its normal does).
void OrientedTriangle(kxtest::RoadMesh& mesh, std::uint16_t a, std::uint16_t b, std::uint16_t c, Vec3 facing) {
    const auto p = [&](std::uint16_t i) {
        return Vec3{mesh.positions[3 * i], mesh.positions[3 * i + 1], mesh.positions[3 * i + 2]};
    };
    const Vec3 n = demogen::Cross(p(b) - p(a), p(c) - p(a));
    if (n.x * facing.x + n.y * facing.y + n.z * facing.z >= 0.0f)
        mesh.AddTriangle(a, b, c);
    else
        mesh.AddTriangle(a, c, b);
}

std::uint16_t Add(kxtest::RoadMesh& mesh, Vec3 p) { return mesh.AddVertex(p.x, p.y, p.z); }

// The corners of a barrier block standing against a wall: bottom four, then top four.
std::vector<Vec3> BarrierCorners(const demogen::TrackObject& barrier, const Ring& ring) {
    const TrackSample& s = ring.At(barrier.distance * ring.length);
    const float across = barrier.side * (s.width / 2.0f - 0.45f);
    const Vec3 base = s.At(across);
    const Vec3 f = s.forward * 2.5f, r = s.right * 0.45f, up{0, 0, 1.1f};
    return {base - f - r,      base + f - r,      base + f + r,      base - f + r,
            base - f - r + up, base + f - r + up, base + f + r + up, base - f + r + up};
}

// The one colliding mesh of the level: the road surface, a wall along each edge and the
// barriers, since placed objects get no body.
kxtest::RoadMesh CollidingRoad(const Ring& ring) {
    const demogen::TrackRecipe& recipe = demogen::LevelOneRecipe();
    kxtest::RoadMesh mesh;
    constexpr int kAcross = 4;
    const std::size_t n = ring.samples.size();
    // Per sample: the road's kAcross + 1 vertices, then the left wall's top and the right's.
    const int stride = kAcross + 3;
    for (const TrackSample& s : ring.samples) {
        for (int k = 0; k <= kAcross; ++k) Add(mesh, s.At(s.width * (static_cast<float>(k) / kAcross - 0.5f)));
        Add(mesh, s.At(-s.width / 2) + Vec3{0, 0, recipe.wallHeight});
        Add(mesh, s.At(s.width / 2) + Vec3{0, 0, recipe.wallHeight});
    }
    for (std::size_t i = 0; i < n; ++i) {
        const std::size_t j = (i + 1) % n;
        const auto v = [&](std::size_t sample, int k) { return static_cast<std::uint16_t>(sample * stride + k); };
        for (int k = 0; k < kAcross; ++k) {
            OrientedTriangle(mesh, v(i, k), v(i, k + 1), v(j, k + 1), {0, 0, 1});
            OrientedTriangle(mesh, v(i, k), v(j, k + 1), v(j, k), {0, 0, 1});
        }
        const Vec3 right = ring.samples[i].right;
        const Vec3 left = right * -1.0f;
        OrientedTriangle(mesh, v(i, 0), v(j, 0), v(j, kAcross + 1), right);
        OrientedTriangle(mesh, v(i, 0), v(j, kAcross + 1), v(i, kAcross + 1), right);
        OrientedTriangle(mesh, v(i, kAcross), v(j, kAcross), v(j, kAcross + 2), left);
        OrientedTriangle(mesh, v(i, kAcross), v(j, kAcross + 2), v(i, kAcross + 2), left);

        kxtest::RoadWall l, r;
        const TrackSample& a = ring.samples[i];
        const TrackSample& b = ring.samples[j];
        const Vec3 la = a.At(-a.width / 2), lb = b.At(-b.width / 2), ra = a.At(a.width / 2), rb = b.At(b.width / 2);
        l = {la.x, la.y, lb.x, lb.y, right.x, right.y, la.z, la.z + recipe.wallHeight};
        r = {ra.x, ra.y, rb.x, rb.y, left.x, left.y, ra.z, ra.z + recipe.wallHeight};
        mesh.walls.push_back(l);
        mesh.walls.push_back(r);
    }
    for (const demogen::TrackObject& barrier : recipe.barriers) {
        const std::vector<Vec3> c = BarrierCorners(barrier, ring);
        std::uint16_t i[8];
        for (int k = 0; k < 8; ++k) i[k] = Add(mesh, c[static_cast<std::size_t>(k)]);
        Vec3 centre{0, 0, 0};
        for (const Vec3& p : c) centre = centre + p * 0.125f;
        // Four sides and the top, each facing away from the block's centre.
        const int faces[5][4] = {{4, 5, 6, 7}, {0, 1, 5, 4}, {1, 2, 6, 5}, {2, 3, 7, 6}, {3, 0, 4, 7}};
        for (const auto& f : faces) {
            Vec3 mid{0, 0, 0};
            for (int k : f) mid = mid + c[static_cast<std::size_t>(k)] * 0.25f;
            const Vec3 out = mid - centre;
            OrientedTriangle(mesh, i[f[0]], i[f[1]], i[f[2]], out);
            OrientedTriangle(mesh, i[f[0]], i[f[2]], i[f[3]], out);
        }
    }
    return mesh;
}

// The visible scenery: the road with lane marks along it, the walls, the barriers, grass verges
// falling to the land, and the start line.
std::vector<kxtest::MeshNode> Scenery(const Ring& ring) {
    const demogen::TrackRecipe& recipe = demogen::LevelOneRecipe();
    MeshBuilder road, walls, verges, barriers, start;
    const std::size_t n = ring.samples.size();
    for (std::size_t i = 0; i < n; ++i) {
        const TrackSample& a = ring.samples[i];
        const TrackSample& b = ring.Wrap(i + 1);
        const float v0 = a.distance / 10.0f, v1 = v0 + kSpacing / 10.0f;
        // Road: one strip across, the texture's width across the road.
        const Vec3 al = a.At(-a.width / 2), ar = a.At(a.width / 2), bl = b.At(-b.width / 2), br = b.At(b.width / 2);
        const Vec3 up{0, 0, 1};
        const std::uint16_t r0 = road.Vertex(al, up, 0, v0), r1 = road.Vertex(ar, up, 1, v0),
                            r2 = road.Vertex(br, up, 1, v1), r3 = road.Vertex(bl, up, 0, v1);
        road.indices.insert(road.indices.end(), {r0, r1, r2, r0, r2, r3});
        // Walls, facing the road, and their backs facing out.
        const Vec3 h{0, 0, recipe.wallHeight};
        walls.Quad(al, bl, bl + h, al + h, kSpacing / 4.0f, 1.0f);
        walls.Quad(br, ar, ar + h, br + h, kSpacing / 4.0f, 1.0f);
        walls.Quad(bl + h, bl, al, al + h, kSpacing / 4.0f, 1.0f);
        walls.Quad(ar + h, ar, br, br + h, kSpacing / 4.0f, 1.0f);
        // Verges from the wall's foot outward and down to the land.
        const auto out = [](const TrackSample& s, float side) {
            Vec3 p = s.At(side * (s.width / 2 + 9.0f));
            p.z = kGround;
            return p;
        };
        verges.Quad(out(a, -1), out(b, -1), bl, al, 1.0f, kSpacing / 8.0f);
        verges.Quad(ar, br, out(b, 1), out(a, 1), 1.0f, kSpacing / 8.0f);
    }
    for (const demogen::TrackObject& barrier : recipe.barriers) {
        const std::vector<Vec3> c = BarrierCorners(barrier, ring);
        barriers.Quad(c[4], c[5], c[6], c[7]);
        barriers.Quad(c[0], c[1], c[5], c[4], 2.0f, 1.0f);
        barriers.Quad(c[1], c[2], c[6], c[5]);
        barriers.Quad(c[2], c[3], c[7], c[6], 2.0f, 1.0f);
        barriers.Quad(c[3], c[0], c[4], c[7]);
    }
    const TrackSample& s = ring.samples.front();
    const Vec3 lift{0, 0, 0.03f};
    const Vec3 f = s.forward * 1.5f;
    start.Quad(s.At(-s.width / 2) - f + lift, s.At(s.width / 2) - f + lift, s.At(s.width / 2) + f + lift,
               s.At(-s.width / 2) - f + f * 2.0f + lift, s.width / 3.0f, 1.0f);
    return {road.Node("road"), walls.Node("walls"), verges.Node("verges"), barriers.Node("barriers"),
            start.Node("startline")};
}

// A closed route through ring offsets, in race order: the race runs from a piece to its previous
// one, so the spline is cut against the driving direction.
kxtest::LevelSpline Route(const std::string& name, const Ring& ring, float offsetFactor, float lift) {
    std::vector<Vec3> points;
    for (std::size_t i = 0; i < ring.samples.size(); i += kSamplesPerSegment) {
        const TrackSample& s = ring.samples[i];
        points.push_back(s.At(s.width * offsetFactor) + Vec3{0, 0, lift});
    }
    std::reverse(points.begin(), points.end());
    kxtest::LevelSpline spline;
    spline.name = name;
    spline.flag = 1;
    const std::size_t n = points.size();
    for (std::size_t k = 0; k < n; ++k) {
        const Vec3& p0 = points[(k + n - 1) % n];
        const Vec3& p1 = points[k];
        const Vec3& p2 = points[(k + 1) % n];
        const Vec3& p3 = points[(k + 2) % n];
        const Vec3 c1 = p1 + (p2 - p0) * (1.0f / 6.0f);
        const Vec3 c2 = p2 - (p3 - p1) * (1.0f / 6.0f);
        kxtest::LevelSegment segment;
        const auto put = [](float* out, const Vec3& v) {
            out[0] = v.x;
            out[1] = v.y;
            out[2] = v.z;
        };
        put(segment.start, p1);
        put(segment.end, p2);
        put(segment.control1, c1);
        put(segment.control2, c2);
        spline.segments.push_back(segment);
    }
    return spline;
}

kxtest::LevelObject& Place(kxtest::LevelFileWriter& level, const std::string& name, Vec3 p, float angle) {
    kxtest::LevelObject& object = level.AddObject(name, p.x, p.y, p.z);
    // Placed objects are turned by the conjugate of the stored rotation.
    demogen::RotationAboutZ(-angle, object.rotation);
    return object;
}

std::string Numbered(const std::string& base, int n) {
    char text[64];
    std::snprintf(text, sizeof text, "%s%02d", base.c_str(), n);
    return text;
}

std::string LevelFile(const Ring& ring) {
    const demogen::TrackRecipe& recipe = demogen::LevelOneRecipe();
    kxtest::LevelFileWriter level;
    level.header[2] = level.header[3] = 500.0f;
    level.lightCount = 1;
    // The sun, high and from the south-west.
    const float light[12] = {0.8f, 0.0f, -0.6f, 0.0f, 0.0f, 1.0f, 0.0f, 0.0f, 0.6f, 0.0f, 0.8f, 300.0f};
    std::copy(std::begin(light), std::end(light), level.lightTransform);

    const TrackSample& line = ring.samples.front();
    // The grid behind the start line, two abreast; the human takes the last of the four.
    for (int place = 1; place <= 4; ++place) {
        const TrackSample& s = ring.At(-8.0f * place);
        const Vec3 p = s.At((place % 2 ? -0.25f : 0.25f) * s.width) + Vec3{0, 0, 0.5f};
        Place(level, Numbered("enemy", place), p, Heading(s.forward) + kPi / 2);
    }
    Place(level, "player", line.At(0) + Vec3{0, 0, 0.5f}, Heading(line.forward) + kPi / 2);
    Place(level, "stolb_start_left", line.At(-line.width / 2 - 1.0f), 0.0f);
    Place(level, "stolb_start_right", line.At(line.width / 2 + 1.0f), 0.0f);

    for (std::size_t i = 0; i < recipe.checkpoints.size(); ++i) {
        const TrackSample& s = ring.At(recipe.checkpoints[i] * ring.length);
        char name[64];
        std::snprintf(name, sizeof name, "checkpoint%02d,%g", static_cast<int>(i + 1),
                      static_cast<double>(recipe.checkpointBonus[i]));
        // The gate's bar lies along its x axis: across the road.
        Place(level, name, s.centre, Heading(s.right));
    }
    // Hints shown on the way to the second and the fourth checkpoint.
    const TrackSample& hint1 = ring.At(0.33f * ring.length);
    Place(level, "chk2_hint_left", hint1.At(hint1.width / 2 + 2.0f), Heading(hint1.forward));
    const TrackSample& hint2 = ring.At(0.73f * ring.length);
    Place(level, "chk4_hint_right", hint2.At(-hint2.width / 2 - 2.0f), Heading(hint2.forward));

    // The turret's source beside the third checkpoint, off the road.
    const TrackSample& source = ring.At(0.57f * ring.length);
    Vec3 turret = source.At(source.width / 2 + 14.0f);
    Place(level, "src_turret1", turret, 0.0f);

    std::map<std::string, int> counts;
    for (const demogen::TrackObject& object : recipe.objects) {
        const TrackSample& s = ring.At(object.distance * ring.length);
        const float across = object.side * (s.width / 2 + object.offset);
        Vec3 p = s.At(across);
        if (object.offset > 0 && object.name != "cflag") p.z = std::max(kGround, p.z - object.offset * 0.3f);
        if (object.name == "barrel") p.z += 0.6f;
        Place(level, Numbered(object.name, ++counts[object.name]), p, Heading(s.right));
    }

    level.AddSpline(Route("c_path", ring, 0.0f, 0.0f));
    level.AddSpline(Route("path", ring, 0.0f, 0.0f));
    level.AddSpline(Route("right", ring, 0.25f, 0.0f));
    level.AddSpline(Route("player_line", ring, -0.1f, 0.0f));
    return level.Bytes();
}

// ---------------------------------------------------------------------------------------------
// Pictures.

Rgba Asphalt(float u, float v, int x, int y) {
    const float g = 0.30f + 0.08f * demogen::Grain(x, y, 11);
    // Edge lines and a dashed centre line.
    const bool edge = u < 0.04f || u > 0.96f;
    const bool centre = std::fabs(u - 0.5f) < 0.012f && std::fmod(v * 4.0f, 1.0f) < 0.5f;
    if (edge || centre) return {0.9f, 0.9f, 0.85f, 1};
    return {g, g, g * 1.05f, 1};
}

Rgba WallStripes(float u, float v, int x, int y) {
    const bool red = std::fmod(u * 2.0f, 1.0f) < 0.5f;
    const float g = 0.05f * demogen::Grain(x, y, 5);
    if (v < 0.1f || v > 0.9f) return {0.6f + g, 0.6f + g, 0.6f + g, 1};
    return red ? Rgba{0.75f + g, 0.1f, 0.1f, 1} : Rgba{0.92f + g, 0.92f + g, 0.92f + g, 1};
}

Rgba Concrete(float, float v, int x, int y) {
    const float g = 0.55f + 0.15f * demogen::Grain(x, y, 9) - 0.1f * v;
    return {g, g, g * 0.95f, 1};
}

Rgba Grass(float, float, int x, int y) {
    const float g = demogen::Grain(x, y, 21);
    return {0.18f + 0.1f * g, 0.42f + 0.15f * g, 0.12f + 0.05f * g, 1};
}

Rgba Checker(float u, float v, int, int) {
    const bool white = (static_cast<int>(u * 8) + static_cast<int>(v * 2)) % 2 == 0;
    return white ? Rgba{0.95f, 0.95f, 0.95f, 1} : Rgba{0.05f, 0.05f, 0.05f, 1};
}

Rgba Bark(float u, float, int x, int y) {
    const float g = 0.3f + 0.1f * demogen::Grain(x / 2, y, 31) + 0.05f * std::sin(u * 40.0f);
    return {g, g * 0.7f, g * 0.45f, 1};
}

// Leaves with holes: the alpha drops to nothing between clumps, for the alpha-tested effect.
Rgba Leaves(float, float, int x, int y) {
    const float g = demogen::Grain(x / 2, y / 2, 41);
    return {0.1f + 0.1f * g, 0.35f + 0.25f * g, 0.1f, g > 0.25f ? 1.0f : 0.0f};
}

Rgba FlagCloth(float u, float v, int, int) {
    const bool yellow = (static_cast<int>(u * 4) + static_cast<int>(v * 4)) % 2 == 0;
    return yellow ? Rgba{1.0f, 0.8f, 0.1f, 1} : Rgba{0.1f, 0.2f, 0.7f, 1};
}

Rgba SignArrow(float u, float v, int, int) {
    // A white chevron pointing left on blue.
    const float d = std::fabs(v - 0.5f);
    const float edge = 0.3f + d;
    const bool chevron = u > edge - 0.12f && u < edge + 0.12f;
    return chevron ? Rgba{1, 1, 1, 1} : Rgba{0.1f, 0.25f, 0.75f, 1};
}

Rgba Metal(float, float v, int x, int y) {
    const float g = 0.5f + 0.2f * v + 0.05f * demogen::Grain(x, y, 3);
    return {g, g, g * 1.05f, 1};
}

Rgba Glow(float u, float v, int, int) {
    const float r = std::hypot(u - 0.5f, v - 0.5f) * 2.0f;
    const float a = std::max(0.0f, 1.0f - r);
    return {1.0f, 0.95f, 0.8f, a * a};
}

Rgba Barrel(float u, float v, int x, int y) {
    const float g = 0.05f * demogen::Grain(x, y, 13);
    const bool band = std::fabs(v - 0.3f) < 0.04f || std::fabs(v - 0.7f) < 0.04f;
    (void)u;
    return band ? Rgba{0.3f + g, 0.3f + g, 0.3f + g, 1} : Rgba{0.8f + g, 0.35f + g, 0.05f, 1};
}

Rgba Sails(float u, float v, int, int) {
    const bool line = std::fmod(u * 6.0f, 1.0f) < 0.1f || std::fmod(v * 3.0f, 1.0f) < 0.1f;
    return line ? Rgba{0.4f, 0.3f, 0.2f, 1} : Rgba{0.9f, 0.88f, 0.8f, 1};
}

Rgba Shadow(float u, float v, int, int) {
    const float r = std::max(std::fabs(u - 0.5f), std::fabs(v - 0.5f)) * 2.0f;
    const float a = std::clamp((1.0f - r) * 3.0f, 0.0f, 1.0f) * 0.7f;
    return {0, 0, 0, a};
}

Rgba Wrong(float u, float v, int, int) {
    const bool on = (static_cast<int>(u * 4) + static_cast<int>(v * 4)) % 2 == 0;
    return on ? Rgba{1, 0, 1, 1} : Rgba{0, 0, 0, 1};
}

Rgba MapBlur(float u, float v, int, int) {
    // A soft round window for the mini map.
    const float r = std::hypot(u - 0.5f, v - 0.5f) * 2.0f;
    const float a = std::clamp((1.0f - r) * 5.0f, 0.0f, 1.0f);
    return {1, 1, 1, a};
}

Rgba MapRim(float u, float v, int, int) {
    const float r = std::hypot(u - 0.5f, v - 0.5f) * 2.0f;
    const float a = std::clamp(1.0f - std::fabs(r - 0.92f) * 12.0f, 0.0f, 1.0f);
    return {0.9f, 0.9f, 1.0f, a};
}

// The mini map: the road drawn from above over a dark, see-through ground, the level's 1000
// units across the picture.
std::vector<std::uint8_t> MiniMap(const Ring& ring) {
    constexpr int kSize = 256;
    constexpr float kHalf = 500.0f;
    std::vector<std::uint8_t> rgba(static_cast<std::size_t>(kSize) * kSize * 4);
    for (std::size_t i = 0; i < rgba.size(); i += 4) {
        rgba[i] = 20;
        rgba[i + 1] = 40;
        rgba[i + 2] = 20;
        rgba[i + 3] = 110;
    }
    for (const TrackSample& s : ring.samples) {
        for (float across = -s.width / 2 - 3; across <= s.width / 2 + 3; across += 0.5f) {
            for (float along = 0; along < kSpacing; along += 0.5f) {
                const Vec3 p = s.At(across) + s.forward * along;
                const int x = static_cast<int>((p.x + kHalf) / (2 * kHalf) * kSize);
                // The picture's top row is the level's far (+y) edge.
                const int y = static_cast<int>((kHalf - p.y) / (2 * kHalf) * kSize);
                if (x < 0 || y < 0 || x >= kSize || y >= kSize) continue;
                std::uint8_t* px = &rgba[(static_cast<std::size_t>(y) * kSize + x) * 4];
                const bool wall = std::fabs(across) > s.width / 2;
                px[0] = px[1] = px[2] = wall ? 250 : 180;
                px[3] = 255;
            }
        }
    }
    return rgba;
}

// The land's colour: fields of greens and browns in soft patches, the road's ring a little
// worn into it; stretched once over the whole level.
std::vector<std::uint8_t> LandColour(const Ring& ring) {
    constexpr int kSize = 256;
    std::vector<std::uint8_t> rgba = demogen::Paint(kSize, kSize, [](float u, float v, int x, int y) {
        const float field = 0.5f + 0.25f * std::sin(u * 9.0f + std::sin(v * 5.0f)) + 0.25f * std::sin(v * 7.0f);
        const float g = 0.06f * demogen::Grain(x, y, 51);
        return Rgba{0.25f + 0.2f * (1 - field) + g, 0.45f + 0.1f * field + g, 0.15f + g, 1};
    });
    for (const TrackSample& s : ring.samples) {
        const int x = static_cast<int>((s.centre.x + 500.0f) / 1000.0f * kSize);
        const int y = static_cast<int>((500.0f - s.centre.y) / 1000.0f * kSize);
        for (int dy = -3; dy <= 3; ++dy)
            for (int dx = -3; dx <= 3; ++dx) {
                if (x + dx < 0 || y + dy < 0 || x + dx >= kSize || y + dy >= kSize) continue;
                std::uint8_t* p = &rgba[(static_cast<std::size_t>(y + dy) * kSize + x + dx) * 4];
                p[0] = static_cast<std::uint8_t>(p[0] * 0.8f + 30);
                p[1] = static_cast<std::uint8_t>(p[1] * 0.8f + 25);
                p[2] = static_cast<std::uint8_t>(p[2] * 0.8f + 20);
            }
    }
    return rgba;
}

// The sky seen in the cars' paint: each face of the cube a gradient from the horizon's haze to
// the zenith's blue (+z up), with the ground below.
std::vector<std::vector<std::uint8_t>> SkyCube(int edge) {
    std::vector<std::vector<std::uint8_t>> faces;
    for (int face = 0; face < 6; ++face) {
        std::vector<std::uint8_t> rgba(static_cast<std::size_t>(edge) * edge * 4);
        for (int y = 0; y < edge; ++y)
            for (int x = 0; x < edge; ++x) {
                const float v = (y + 0.5f) / edge;
                // Height of the direction: 1 on the top face, -1 on the bottom, from the row on the sides.
                const float up = face == 4 ? 1.0f : (face == 5 ? -1.0f : 1.0f - 2.0f * v);
                const float sky = std::clamp(up, 0.0f, 1.0f);
                std::uint8_t* p = &rgba[(static_cast<std::size_t>(y) * edge + x) * 4];
                if (up < 0) {
                    p[0] = 70;
                    p[1] = 90;
                    p[2] = 50;
                } else {
                    p[0] = static_cast<std::uint8_t>(200 - 140 * sky);
                    p[1] = static_cast<std::uint8_t>(215 - 100 * sky);
                    p[2] = static_cast<std::uint8_t>(235 - 20 * sky);
                }
                p[3] = 255;
            }
        faces.push_back(rgba);
    }
    return faces;
}

std::string Bytes(const std::vector<std::uint8_t>& bytes) { return std::string(bytes.begin(), bytes.end()); }

void AddLevelPictures(const Ring& ring) {
    // Block-compressed with its mip chain; uncompressed with its chain; a cube map; a JPEG.
    demogen::AddToPack(2, "Textures/level1/color.dds",
                       Bytes(kxtest::EncodeDds(256, 256, LandColour(ring), {kxtest::DdsPixels::Dxt1, true})));
    demogen::AddToPack(2, "Textures/level1/detail1.dds",
                       Bytes(kxtest::EncodeDds(64, 64,
                                               demogen::Paint(64, 64,
                                                              [](float, float, int x, int y) {
                                                                  const float g =
                                                                      0.4f + 0.2f * demogen::Grain(x, y, 61);
                                                                  return Rgba{g, g, g, 1};
                                                              }),
                                               {kxtest::DdsPixels::Bgra8, true})));
    demogen::AddToPack(2, "Textures/sky_cube.dds",
                       Bytes(kxtest::EncodeDdsCube(32, SkyCube(32), {kxtest::DdsPixels::Dxt1, true})));
    demogen::AddToPack(2, "Textures/sign_board.jpg",
                       Bytes(kxtest::EncodeJpeg(128, 64, demogen::Paint(128, 64, SignArrow), 85)));
    demogen::AddTexture("level1/road.tga", 128, 128, demogen::Paint(128, 128, Asphalt));
    demogen::AddTexture("level1/wall.tga", 64, 32, demogen::Paint(64, 32, WallStripes));
    demogen::AddTexture("level1/concrete.tga", 64, 64, demogen::Paint(64, 64, Concrete));
    demogen::AddTexture("level1/grass.tga", 128, 128, demogen::Paint(128, 128, Grass));
    demogen::AddTexture("level1/checker.tga", 64, 16, demogen::Paint(64, 16, Checker));
    demogen::AddTexture("level1/map.tga", 256, 256, MiniMap(ring));
    demogen::AddTexture("bark.tga", 32, 64, demogen::Paint(32, 64, Bark));
    demogen::AddTexture("leaves.tga", 64, 64, demogen::Paint(64, 64, Leaves));
    demogen::AddTexture("flag.tga", 32, 32, demogen::Paint(32, 32, FlagCloth));
    demogen::AddTexture("sign_arrow.tga", 64, 32, demogen::Paint(64, 32, SignArrow));
    demogen::AddTexture("metal.tga", 32, 32, demogen::Paint(32, 32, Metal));
    demogen::AddTexture("glow.tga", 32, 32, demogen::Paint(32, 32, Glow));
    demogen::AddTexture("barrel.tga", 32, 64, demogen::Paint(32, 64, Barrel));
    demogen::AddTexture("sails.tga", 64, 64, demogen::Paint(64, 64, Sails));
    demogen::AddTexture("shadow_blob.tga", 32, 32, demogen::Paint(32, 32, Shadow));
    demogen::AddTexture("wrong.tga", 16, 16, demogen::Paint(16, 16, Wrong));
    demogen::AddTexture("mapblur.tga", 128, 128, demogen::Paint(128, 128, MapBlur));
    demogen::AddTexture("mapblur2.tga", 128, 128, demogen::Paint(128, 128, MapRim));
}

// ---------------------------------------------------------------------------------------------
// Models.

// A gate across the road: two posts and a bar, its bar along x, 20 units wide.
MeshBuilder Gate(float width, float height) {
    MeshBuilder gate;
    gate.Box({-width / 2, 0, height / 2}, {0.3f, 0.3f, height / 2});
    gate.Box({width / 2, 0, height / 2}, {0.3f, 0.3f, height / 2});
    gate.Box({0, 0, height - 0.6f}, {width / 2, 0.15f, 0.6f});
    return gate;
}

MeshBuilder Banner(float width, float bottom, float top) {
    MeshBuilder banner;
    banner.DoubleQuad({-width / 2, 0, bottom}, {width / 2, 0, bottom}, {width / 2, 0, top}, {-width / 2, 0, top});
    return banner;
}

// A windmill whose sails turn through the frames of its "idle" animation: a quarter turn in
// twelve frames, which repeats seamlessly since the four sails look alike.
bool WriteWindmill(const std::filesystem::path& root) {
    kxtest::AnimatedNode node;
    node.name = "windmill";
    node.stream = kxtest::MorphStreamWriter(240.0f);
    constexpr int kFrames = 12;
    for (int frame = 0; frame < kFrames; ++frame) {
        MeshBuilder mesh;
        mesh.Prism({0, 0, 0}, 1.6f, 12.0f, 8);
        mesh.Cone({0, 0, 12.0f}, 2.0f, 2.5f, 8);
        const Vec3 hub{0, -2.0f, 12.0f};
        for (int blade = 0; blade < 4; ++blade) {
            const float a = kPi / 2 * blade + kPi / 2 * frame / kFrames;
            const Vec3 along{std::cos(a), 0, std::sin(a)}, side{-std::sin(a), 0, std::cos(a)};
            const Vec3 p0 = hub + side * 0.2f, p1 = hub + along * 8.0f + side * 0.9f, p2 = hub + along * 8.0f, p3 = hub;
            mesh.DoubleQuad(p3, p0, p1, p2);
        }
        kxtest::MorphFrame f;
        f.vertices = mesh.vertices;
        f.indices = mesh.indices;
        node.stream.AddFrame(f);
    }
    demogen::AddToPack(1, "Meshes/windmill_idle.ani", kxtest::BuildAnimationNodeFile(node).bytes);
    Description d;
    d.header = "anim;idle,windmill_idle.ani";
    d.Material("windmill", "simple.fx", "sails.tga");
    return demogen::WriteIfChanged(root, "Data/Meshes/windmill.rdf", d.Text());
}

bool WriteLevelModels(const std::filesystem::path& root, const Ring& ring) {
    bool ok = true;
    const auto model = [&](const std::string& rdf, const Description& d, const std::string& mesh,
                           const std::vector<kxtest::MeshNode>& nodes) {
        ok = demogen::WriteModel(root, rdf, d, mesh, nodes) && ok;
    };

    // The scene, the road the physics drives on, and the land under everything.
    Description scene;
    scene.header = "level1.p3d";
    scene.Material("road", "road.fx", "level1\\road.tga", {"shadow = 0"})
        .Material("walls", "simple.fx", "level1\\wall.tga", {"shadow = 0"})
        .Material("verges", "simple.fx", "level1\\grass.tga", {"shadow = 0"})
        .Material("barriers", "simple.fx", "level1\\concrete.tga")
        .Material("startline", "simple.fx", "level1\\checker.tga", {"shadow = 0"});
    model("level1.rdf", scene, "level1.p3d", Scenery(ring));

    Description physics;
    physics.header = "road_phys1.p3d";
    physics.Material("road", "simple.fx", "level1\\concrete.tga");
    ok = demogen::WriteIfChanged(root, "Data/Meshes/road_phys1.rdf", physics.Text()) && ok;
    demogen::AddToPack(1, "Meshes/road_phys1.p3d", kxtest::RoadMeshFile(CollidingRoad(ring), "road"));

    MeshBuilder land;
    land.Quad({-500, -500, kGround}, {500, -500, kGround}, {500, 500, kGround}, {-500, 500, kGround}, 200, 200);
    Description landText;
    landText.header = "land.p3d";
    landText.Material("land", "terrain2.fx", "level1\\grass.tga");
    model("land.rdf", landText, "land.p3d", {land.Node("land")});

    // The finish gate and the checkpoint gates.
    {
        MeshBuilder posts = Gate(22, 7);
        MeshBuilder banner = Banner(21, 5.2f, 6.8f);
        Description d;
        d.header = "finish.p3d";
        d.Material("finish", "simple.fx", "metal.tga")
            .Material("finish_banner", "light_nofog.fx", "level1\\checker.tga");
        kxtest::MeshNode gate = posts.Node("finish");
        gate.children.push_back(banner.Node("finish_banner"));
        model("finish.rdf", d, "finish.p3d", {gate});
    }
    {
        Description d;
        d.header = "checkpoint.p3d";
        d.Material("checkpoint", "simple.fx", "metal.tga").Material("checkpoint_banner", "light_nofog.fx", "flag.tga");
        kxtest::MeshNode gate = Gate(20, 6).Node("checkpoint");
        gate.children.push_back(Banner(19, 4.6f, 5.8f).Node("checkpoint_banner"));
        model("checkpoint.rdf", d, "checkpoint.p3d", {gate});
    }
    // The marker that runs ahead to the next checkpoint: a plain and a boosted look.
    for (const char* name : {"checkpoint2", "checkpoint2_fire", "checkpoint2_and_fire"}) {
        Description d;
        d.header = std::string(name) + ".p3d";
        d.Material("marker", "light_nofog.fx", "glow.tga")
            .Material("checkered", "light_nofog.fx", "level1\\checker.tga")
            .Material("checkered_a", "light_nofog.fx", "flag.tga")
            .Material("glarefront", "holey.fx", "glow.tga");
        kxtest::MeshNode marker = Banner(0.1f, 0, 0.1f).Node("marker");
        marker.children.push_back(Banner(12, 0.2f, 1.4f).Node("checkered"));
        marker.children.push_back(Banner(12, 0.2f, 1.4f).Node("checkered_a"));
        marker.children.push_back(Banner(4, 0, 4).Node("glarefront"));
        model(std::string(name) + ".rdf", d, d.header, {marker});
    }
    {
        MeshBuilder pole;
        pole.Prism({0, 0, 0}, 0.08f, 4.0f, 6);
        kxtest::MeshNode node = pole.Node("cflag");
        MeshBuilder a, b;
        a.DoubleQuad({0, 0, 2.6f}, {1.6f, 0, 2.6f}, {1.6f, 0, 3.8f}, {0, 0, 3.8f});
        b.DoubleQuad({0, 0, 2.6f}, {1.5f, 0.4f, 2.6f}, {1.5f, 0.4f, 3.8f}, {0, 0, 3.8f});
        node.children.push_back(a.Node("flag_a"));
        node.children.push_back(b.Node("flag_b"));
        Description d;
        d.header = "cflag.p3d";
        d.Material("cflag", "simple.fx", "metal.tga")
            .Material("flag_a", "holey.fx", "flag.tga", {"animation = sway,cflag_sway.pan"})
            .Material("flag_b", "holey.fx", "flag.tga", {"animation = sway,cflag_sway.pan"});
        model("cflag.rdf", d, "cflag.p3d", {node});
        // The cloth swings about the pole and back.
        std::vector<kxtest::PartTrack> tracks;
        for (const char* part : {"flag_a", "flag_b"}) {
            kxtest::PartTrack track;
            track.name = part;
            for (int k = 0; k <= 4; ++k) {
                kxtest::PartKey key;
                key.time = 0.5f * k;
                const float a = 0.25f * std::sin(kPi * k / 2.0f);
                const float c = std::cos(a), sn = std::sin(a);
                const float columns[12] = {c, -sn, 0, 0, sn, c, 0, 0, 0, 0, 1, 0};
                std::copy(std::begin(columns), std::end(columns), key.columns);
                track.keys.push_back(key);
            }
            tracks.push_back(track);
        }
        demogen::AddToPack(1, "Animations/cflag_sway.pan", kxtest::BuildPartAnimationFile(tracks).bytes);
    }
    // The arrow signs of the level's rank, three looks of one sign on a post.
    const char* arrows[3] = {"arrow_3", "arrow2_3", "arrow3_3"};
    for (int i = 0; i < 3; ++i) {
        MeshBuilder post;
        post.Prism({0, 0, -22.5f}, 0.15f, 21.5f, 6);
        MeshBuilder board = Banner(4.0f + i, -1.5f, 1.0f);
        kxtest::MeshNode node = post.Node(arrows[i]);
        node.children.push_back(board.Node("board"));
        Description d;
        d.header = std::string(arrows[i]) + ".p3d";
        d.Material(arrows[i], "simple.fx", "metal.tga").Material("board", "light_nofog.fx", "sign_arrow.tga");
        model(std::string(arrows[i]) + ".rdf", d, d.header, {node});
    }
    for (const char* hint : {"hint_left", "hint_right"}) {
        MeshBuilder board = Banner(5, 1, 3.5f);
        MeshBuilder legs;
        legs.Box({-2, 0, 0.5f}, {0.1f, 0.1f, 0.5f});
        legs.Box({2, 0, 0.5f}, {0.1f, 0.1f, 0.5f});
        kxtest::MeshNode node = legs.Node(hint);
        node.children.push_back(board.Node("board"));
        Description d;
        d.header = std::string(hint) + ".p3d";
        d.Material(hint, "simple.fx", "metal.tga").Material("board", "light_nofog.fx", "sign_board.jpg");
        model(std::string(hint) + ".rdf", d, d.header, {node});
    }
    {
        MeshBuilder arrow, checkpoint;
        const Vec3 n{0, 0, 1};
        const std::uint16_t a = arrow.Vertex({0, -6, 0}, n, 0.5f, 0), b = arrow.Vertex({4, 5, 0}, n, 1, 1),
                            c = arrow.Vertex({-4, 5, 0}, n, 0, 1);
        arrow.indices = {a, b, c};
        checkpoint.Quad({-4, -4, 0}, {4, -4, 0}, {4, 4, 0}, {-4, 4, 0});
        Description d;
        d.header = "minimap_obj.p3d";
        d.Material("arrow", "interface.fx", "glow.tga").Material("checkpoint", "interface.fx", "flag.tga");
        model("minimap_obj.rdf", d, "minimap_obj.p3d", {arrow.Node("arrow"), checkpoint.Node("checkpoint")});
    }
    {
        MeshBuilder shadow;
        shadow.Quad({-1.2f, -2.4f, 0}, {1.2f, -2.4f, 0}, {1.2f, 2.4f, 0}, {-1.2f, 2.4f, 0});
        Description d;
        d.header = "shadow.p3d";
        d.Material("shadow", "shadow.fx", "shadow_blob.tga");
        model("shadow.rdf", d, "shadow.p3d", {shadow.Node("shadow")});
    }
    {
        MeshBuilder box;
        box.Box({0, 0, 0.5f}, {0.5f, 0.5f, 0.5f});
        Description d;
        d.header = "wrong.p3d";
        d.Material("wrong", "simple.fx", "wrong.tga");
        model("wrong.rdf", d, "wrong.p3d", {box.Node("wrong")});
    }
    {
        // A drum that tips and rolls: the only placed object with a mass.
        MeshBuilder drum;
        drum.Prism({0, 0, -0.45f}, 0.3f, 0.9f, 10);
        kxtest::MeshNode node = drum.Node("barrel");
        node.body.type = 0;
        node.body.width = 0.6f;
        node.body.height = 0.6f;
        node.body.depth = 0.9f;
        node.body.z = -0.45f;
        node.body.mass = 2.0f;
        Description d;
        d.header = "barrel.p3d";
        d.Material("barrel", "simple.fx", "barrel.tga");
        model("barrel.rdf", d, "barrel.p3d", {node});
    }
    {
        // A tree with a near and a far look.
        MeshBuilder trunk, crown, far;
        trunk.Prism({0, 0, 0}, 0.35f, 3.0f, 6);
        crown.Cone({0, 0, 2.0f}, 2.6f, 7.0f, 8);
        crown.Cone({0, 0, 5.0f}, 1.8f, 5.0f, 8);
        far.Cone({0, 0, 1.0f}, 2.6f, 10.0f, 4);
        kxtest::MeshNode node = trunk.Node("tree");
        node.children.push_back(crown.Node("crown"));
        Description d;
        d.header = "tree.p3d";
        d.lines.push_back("lod = tree_far.rdf, 120");
        d.Material("tree", "simple.fx", "bark.tga").Material("crown", "holey.fx", "leaves.tga");
        model("tree.rdf", d, "tree.p3d", {node});
        Description f;
        f.header = "tree_far.p3d";
        f.Material("tree_far", "holey.fx", "leaves.tga");
        model("tree_far.rdf", f, "tree_far.p3d", {far.Node("tree_far")});
    }
    {
        // A lamp post whose head carries a glowing sprite with a lens flare.
        MeshBuilder post, head;
        post.Prism({0, 0, 0}, 0.12f, 7.0f, 6);
        head.Box({0, 0.9f, 7.0f}, {0.3f, 1.0f, 0.12f});
        kxtest::MeshNode node = post.Node("lamp");
        node.children.push_back(head.Node("lamp_head"));
        Description d;
        d.header = "lamp.p3d";
        d.lines.push_back("sprite = lamp_glow, 0, 1.6, 6.8, 1.2, lamp_head, , , , , 1, 0, lampflare");
        d.lines.push_back("light = lamp_light, lamp_head, 0, 0, 1.6, 6.5, 1, 0.9, 0.7, 0.05, 25");
        d.Material("lamp", "simple.fx", "metal.tga")
            .Material("lamp_head", "simple.fx", "metal.tga")
            .Material("lamp_glow", "light_nofog.fx", "glow.tga");
        model("lamp.rdf", d, "lamp.p3d", {node});
    }
    ok = WriteWindmill(root) && ok;
    return ok;
}

bool WriteLevelFiles(const std::filesystem::path& root) {
    const Ring& ring = LevelRing();
    demogen::AddToPack(1, "Levels/level1.lvl", LevelFile(ring));
    AddLevelPictures(ring);
    return WriteLevelModels(root, ring);
}

} // namespace

DEMOGEN_FAMILY("level", WriteLevelFiles);
