#include "Scenes.h"

#include "CarController.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <random>

namespace bench {

std::unique_ptr<Engine> EngineConfig::Make() const {
    std::unique_ptr<Engine> e;
    if (engine == "ours")
        e = MakeOurs();
    else if (engine == "bullet")
        e = MakeBullet();
    else
        e = MakeOde();
    return e;
}

std::vector<EngineConfig> EngineConfigs(const RunOptions& options) {
    std::vector<EngineConfig> list;
    auto want = [&](const char* name) { return options.engineFilter.empty() || options.engineFilter == name; };
    if (want("ours")) {
        Settings s;
        s.name = "engine";
        s.stages = options.stages;
        list.push_back({"ours", s});
    }
    for (const char* name : {"bullet", "ode"}) {
        if (!want(name)) continue;
        Settings defaults;
        defaults.name = "defaults";
        list.push_back({name, defaults});
        Settings matched;
        matched.name = "matched";
        matched.matched = true;
        list.push_back({name, matched});
        if (!options.quick) {
            Settings awake = matched;
            awake.name = "matched-nosleep";
            awake.sleeping = false;
            list.push_back({name, awake});
        }
    }
    return list;
}

namespace {

const Vec3 kGravity{0.0, 0.0, -9.8};

using Clock = std::chrono::steady_clock;

double Percentile(std::vector<double> v, double p) {
    if (v.empty()) return kNa;
    std::sort(v.begin(), v.end());
    size_t i = static_cast<size_t>(p * static_cast<double>(v.size() - 1) + 0.5);
    return v[std::min(i, v.size() - 1)];
}

// Per-step wall times and the summary figures of a run.
struct Timing {
    std::vector<double> ns;
    void Fill(Row& row) const {
        row.medianUs = Percentile(ns, 0.5) / 1000.0;
        row.p90Us = Percentile(ns, 0.9) / 1000.0;
        row.p99Us = Percentile(ns, 0.99) / 1000.0;
        // Landing peak: the highest median over a quarter second; tail: the last second.
        double peak = 0.0;
        const size_t window = 15;
        for (size_t i = 0; i + window <= ns.size(); i += 5) {
            std::vector<double> w(ns.begin() + static_cast<long>(i), ns.begin() + static_cast<long>(i + window));
            peak = std::max(peak, Percentile(w, 0.5));
        }
        row.peakUs = peak / 1000.0;
        size_t tail = std::min<size_t>(60, ns.size());
        row.tailUs = Percentile(std::vector<double>(ns.end() - static_cast<long>(tail), ns.end()), 0.5) / 1000.0;
        row.stepNs.assign(ns.begin(), ns.end());
    }
};

double TimedStep(Engine& e) {
    auto t0 = Clock::now();
    e.Step();
    auto t1 = Clock::now();
    return static_cast<double>(std::chrono::duration_cast<std::chrono::nanoseconds>(t1 - t0).count());
}

// ---------------------------------------------------------------- terrains

TerrainMesh FlatGround(double half, double friction, double restitution) {
    TerrainMesh t;
    t.vertices = {{-half, -half, 0.0}, {half, -half, 0.0}, {half, half, 0.0}, {-half, half, 0.0}};
    t.indices = {0, 1, 2, 0, 2, 3};
    t.friction = friction;
    t.restitution = restitution;
    t.BuildGrid(2.0 * half);
    return t;
}

// A plane through the origin falling along +x at the angle given.
TerrainMesh Incline(double angle, double friction) {
    TerrainMesh t;
    double half = 30.0, s = std::tan(angle);
    t.vertices = {{-half, -half, half * s}, {half, -half, -half * s}, {half, half, -half * s}, {-half, half, half * s}};
    t.indices = {0, 1, 2, 0, 2, 3};
    t.friction = friction;
    t.BuildGrid(2.0 * half);
    return t;
}

template <class Height>
TerrainMesh HeightGrid(int cells, double cell, Height height) {
    TerrainMesh t;
    double half = cells * cell * 0.5;
    for (int j = 0; j <= cells; ++j)
        for (int i = 0; i <= cells; ++i) {
            double x = -half + i * cell, y = -half + j * cell;
            t.vertices.push_back({x, y, height(x, y)});
        }
    for (int j = 0; j < cells; ++j)
        for (int i = 0; i < cells; ++i) {
            int a = j * (cells + 1) + i, b = a + 1, c = a + cells + 2, d = a + cells + 1;
            t.indices.insert(t.indices.end(), {a, b, c, a, c, d});
        }
    t.BuildGrid(cell);
    return t;
}

double Hills(double x, double y) {
    return 3.0 * std::sin(x / 10.0) * std::cos(y / 13.0) + 2.0 * std::sin((x + y) / 17.0);
}

double Smooth(double e0, double e1, double v) {
    double t = std::clamp((v - e0) / (e1 - e0), 0.0, 1.0);
    return t * t * (3.0 - 2.0 * t);
}

// A ring banked outward with a bump on it, flat where the cars start, hills beyond.
double CarCourse(double x, double y) {
    double r = std::hypot(x, y);
    double phi = std::atan2(y, x) + M_PI / 2.0;
    phi = std::remainder(phi, 2.0 * M_PI);
    double w = Smooth(25.0 * M_PI / 180.0, 55.0 * M_PI / 180.0, std::fabs(phi));
    double bank = r < 170.0 ? 0.0 : (r < 230.0 ? (r - 170.0) * 0.15 : 9.0);
    double bump = 0.0;
    if (x > 0.0 && r > 165.0 && r < 235.0 && std::fabs(y) < 10.0) {
        double c = std::cos(M_PI * y / 20.0);
        bump = 1.2 * c * c;
    }
    double hills = 2.0 * std::sin(x / 50.0) * std::cos(y / 70.0) * Smooth(260.0, 300.0, r);
    return w * (bank + bump) + hills;
}

// ---------------------------------------------------------------- per-run bookkeeping

struct World {
    std::unique_ptr<Engine> engine;
    std::shared_ptr<TerrainMesh> terrain; // shared: engines keep pointers into it
    std::vector<int> dynamic;             // handles of the non-kinematic bodies
    std::vector<Pose> start;              // their starting poses
    std::vector<ShapeKind> kinds;
    double maxDepth = 0.0;
    std::vector<char> everFell, everNan;
    int refused = 0;

    int Add(const BodyDesc& d) {
        int id = engine->AddBody(d);
        if (id < 0) {
            ++refused;
            return id;
        }
        if (!d.kinematic) {
            dynamic.push_back(id);
            start.push_back(d.pose);
            kinds.push_back(d.shape);
        }
        return id;
    }

    void Begin() {
        everFell.assign(dynamic.size(), 0);
        everNan.assign(dynamic.size(), 0);
    }

    // After each step: deepest contact; every tenth step, the fall-through and NaN checks.
    void AfterStep(int step) {
        maxDepth = std::max(maxDepth, engine->LastStep().maxDepth);
        if (step % 10 != 9) return;
        for (size_t i = 0; i < dynamic.size(); ++i) {
            Pose p = engine->GetPose(dynamic[i]);
            if (!IsFinite(p.position) || !IsFinite(p.rotation)) {
                everNan[i] = 1;
                continue;
            }
            double h;
            if (terrain->HeightAt(p.position.x, p.position.y, h) && p.position.z < h - 0.05) everFell[i] = 1;
        }
    }

    int Sleeping() const {
        int n = 0;
        for (int id : dynamic) n += engine->IsSleeping(id) ? 1 : 0;
        return n;
    }

    void Finish(Row& row) const {
        row.bodies = static_cast<int>(dynamic.size());
        row.maxPenetrationMm = maxDepth * 1000.0;
        int fell = 0, nan = 0;
        for (size_t i = 0; i < dynamic.size(); ++i) {
            fell += everFell[i];
            nan += everNan[i];
        }
        row.fellThrough = fell;
        row.nanCount = nan;
        row.asleep = Sleeping();
        std::string stages = engine->StageBreakdown();
        if (!stages.empty()) row.notes += stages + "; ";
        if (refused) row.notes += "refused bodies=" + std::to_string(refused) + "; ";
    }
};

World MakeWorld(const EngineConfig& config, TerrainMesh terrain) {
    World w;
    w.engine = config.Make();
    w.engine->Create(config.settings, kGravity);
    w.terrain = std::make_shared<TerrainMesh>(std::move(terrain));
    w.engine->SetTerrain(*w.terrain);
    return w;
}

Row NewRow(const char* scene, const std::string& variant, const EngineConfig& config) {
    Row r;
    r.scene = scene;
    r.variant = variant;
    r.engine = config.engine;
    r.setting = config.settings.name;
    return r;
}

double TiltDeg(const Pose& p) {
    Vec3 up = Rotate(p.rotation, {0.0, 0.0, 1.0});
    return std::acos(std::clamp(up.z / std::max(Length(up), 1e-12), -1.0, 1.0)) * 180.0 / M_PI;
}

double Horizontal(Vec3 a, Vec3 b) { return std::hypot(a.x - b.x, a.y - b.y); }

BodyDesc UnitBox(Vec3 position) {
    BodyDesc d;
    d.size = {1.0, 1.0, 1.0};
    d.mass = 1.0;
    d.friction = 0.5;
    d.restitution = 0.0;
    d.pose.position = position;
    return d;
}

// Blanks the figures our engine cannot give while it lacks contact response.
void MarkWithoutContacts(Row& row, const char* missing) {
    if (row.engine != "ours") return;
    row.asleep = row.stepsToSleep = row.maxPenetrationMm = row.driftMm = row.tiltDeg = row.fellThrough = kNa;
    row.costWithoutContacts = true;
    row.notes = std::string("n/a: engine lacks ") + missing + "; " + row.notes;
}

// ---------------------------------------------------------------- S1 and S2: stacks at rest

// gameInertia: every box gets the game's box inertia (2/3 m s^2 on every axis, four
// times a solid cube's), as the race world's bodies have it, in place of the solid's.
Row RunStack(const EngineConfig& config, const char* scene, const std::string& variant,
             const std::vector<Vec3>& positions, bool pyramid, const Capabilities& caps, bool gameInertia = false) {
    Row row = NewRow(scene, variant, config);
    World w = MakeWorld(config, FlatGround(50.0, 0.5, 0.0));
    for (const Vec3& p : positions) {
        BodyDesc d = UnitBox(p);
        if (gameInertia) d.inertia = {2.0 / 3.0, 2.0 / 3.0, 2.0 / 3.0};
        w.Add(d);
    }
    w.Begin();
    Timing timing;
    const int steps = 600;
    int allAsleep = -1;
    for (int s = 0; s < steps; ++s) {
        timing.ns.push_back(TimedStep(*w.engine));
        w.AfterStep(s);
        if (allAsleep < 0 && w.Sleeping() == static_cast<int>(w.dynamic.size())) allAsleep = s + 1;
    }
    timing.Fill(row);
    w.Finish(row);
    row.stepsToSleep = allAsleep;
    int top = static_cast<int>(w.dynamic.size()) - 1;
    Pose p = w.engine->GetPose(w.dynamic[top]);
    row.driftMm = Horizontal(p.position, w.start[top].position) * 1000.0;
    row.tiltDeg = TiltDeg(p);
    if (pyramid) {
        bool collapsed = false;
        for (size_t i = 0; i < w.dynamic.size(); ++i)
            collapsed |= !(Length(w.engine->GetPose(w.dynamic[i]).position - w.start[i].position) <= 0.25);
        row.notes += collapsed ? "collapsed=yes; " : "collapsed=no; ";
    }
    bool needsStacking = positions.size() > 1;
    if (!caps.contacts)
        MarkWithoutContacts(row, "contact response");
    else if (needsStacking && !caps.stacking)
        MarkWithoutContacts(row, "stacking");
    return row;
}

std::vector<Vec3> Tower(int n) {
    std::mt19937 random(1000u + static_cast<unsigned>(n));
    std::uniform_real_distribution<double> jitter(-0.002, 0.002);
    std::vector<Vec3> p;
    for (int i = 0; i < n; ++i) p.push_back({jitter(random), jitter(random), 0.5 + i * 1.0});
    return p;
}

std::vector<Vec3> Pyramid(int base) {
    std::vector<Vec3> p;
    for (int row = 0; row < base; ++row) {
        int count = base - row;
        for (int i = 0; i < count; ++i) p.push_back({(i - (count - 1) * 0.5) * 1.02, 0.0, 0.5 + row * 1.0});
    }
    return p;
}

// ---------------------------------------------------------------- S3: many falling bodies

// An upright prism of the given number of sides: radius of its corners, height along z.
void MakePrism(BodyDesc& d, int sides, double radius, double height) {
    d.shape = ShapeKind::Hull;
    d.hullPoints.clear();
    d.hullFaces.clear();
    for (double z : {-0.5 * height, 0.5 * height})
        for (int i = 0; i < sides; ++i) {
            double a = 2.0 * M_PI * i / sides;
            d.hullPoints.push_back({radius * std::cos(a), radius * std::sin(a), z});
        }
    std::vector<int> bottom, top;
    for (int i = 0; i < sides; ++i) {
        bottom.push_back(sides - 1 - i); // seen from below
        top.push_back(sides + i);
        int j = (i + 1) % sides;
        d.hullFaces.push_back({i, j, sides + j, sides + i});
    }
    d.hullFaces.push_back(bottom);
    d.hullFaces.push_back(top);
}

enum class Mix { BoxesAndCapsules, Hulls };

Row RunFalling(const EngineConfig& config, const char* scene, Mix mix, int count, const Capabilities& caps) {
    Row row = NewRow(scene, std::to_string(count) + (mix == Mix::Hulls ? " hulls" : " bodies"), config);
    World w = MakeWorld(config, HeightGrid(64, 2.0, Hills));
    std::mt19937 random(7000u + static_cast<unsigned>(count));
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    // Bodies start apart: each one's bounding sphere clear of every earlier one.
    std::vector<std::pair<Vec3, double>> placed;
    for (int i = 0; i < count; ++i) {
        BodyDesc d;
        double volume, reach;
        if (mix == Mix::Hulls) {
            int sides = unit(random) < 0.5 ? 6 : 8;
            double radius = 0.3 + 0.45 * unit(random), height = 0.5 + unit(random);
            MakePrism(d, sides, radius, height);
            volume = 0.5 * sides * radius * radius * std::sin(2.0 * M_PI / sides) * height;
            reach = std::hypot(radius, 0.5 * height);
        } else if (unit(random) < 0.7) {
            d.shape = ShapeKind::Box;
            d.size = {0.5 + unit(random), 0.5 + unit(random), 0.5 + unit(random)};
            volume = d.size.x * d.size.y * d.size.z;
            reach = 0.5 * Length(d.size);
        } else {
            d.shape = ShapeKind::Capsule;
            d.radius = 0.25 + 0.25 * unit(random);
            d.length = 0.5 + 0.5 * unit(random);
            volume = M_PI * d.radius * d.radius * (d.length + 4.0 / 3.0 * d.radius);
            reach = d.radius + 0.5 * d.length;
        }
        for (int attempt = 0; attempt < 1000; ++attempt) {
            double x = -20.0 + 40.0 * unit(random), y = -20.0 + 40.0 * unit(random);
            double ground = 0.0;
            w.terrain->HeightAt(x, y, ground);
            d.pose.position = {x, y, ground + 5.0 + 25.0 * unit(random)};
            bool clear = true;
            for (const auto& [p, r] : placed) clear = clear && Length(p - d.pose.position) > r + reach;
            if (clear) break;
        }
        placed.push_back({d.pose.position, reach});
        Vec3 axis{unit(random) - 0.5, unit(random) - 0.5, unit(random) - 0.5};
        d.pose.rotation = AxisAngle(axis, 2.0 * M_PI * unit(random));
        d.mass = 100.0 * volume;
        d.friction = 0.5;
        w.Add(d);
    }
    w.Begin();
    Timing timing;
    const int steps = 600;
    double pairSum = 0.0, contactSum = 0.0;
    int pairMax = 0, contactMax = 0;
    for (int s = 0; s < steps; ++s) {
        timing.ns.push_back(TimedStep(*w.engine));
        w.AfterStep(s);
        StepStats st = w.engine->LastStep();
        pairSum += st.pairs;
        contactSum += st.contacts;
        pairMax = std::max(pairMax, st.pairs);
        contactMax = std::max(contactMax, st.contacts);
    }
    timing.Fill(row);
    w.Finish(row);
    char text[256];
    int fellBoxes = 0, fellCapsules = 0;
    for (size_t i = 0; i < w.dynamic.size(); ++i)
        if (w.everFell[i]) ++(w.kinds[i] == ShapeKind::Capsule ? fellCapsules : fellBoxes);
    // Ours counts its overlap-pair records; the others, pairs that touch.
    std::snprintf(
        text, sizeof(text), "peak=%.0fus tail=%.0fus %s avg/max=%.0f/%d contacts avg/max=%.0f/%d fell %s=%d/%d",
        row.peakUs, row.tailUs, config.engine == "ours" ? "overlap pairs" : "touching pairs", pairSum / steps, pairMax,
        contactSum / steps, contactMax, mix == Mix::Hulls ? "hulls" : "boxes/capsules", fellBoxes, fellCapsules);
    row.notes += text;
    if (config.engine == "ours") row.notes += "; pair-full events=" + std::to_string(w.engine->PairBufferFullEvents());
    if (!caps.contacts) MarkWithoutContacts(row, "contact response");
    return row;
}

// ---------------------------------------------------------------- S4: cars on terrain triangles

void ScriptCruise(double t, double& throttle, double& steer) {
    throttle = t < 2.0 ? 0.0 : 1.0;
    steer = t < 2.0 ? 0.0 : 0.014 + 0.004 * std::sin(0.4 * t);
}

void ScriptFast(double t, double& throttle, double& steer) {
    throttle = t < 2.0 ? 0.0 : 1.0;
    steer = t < 2.0 ? 0.0 : 0.005;
}

Row RunCars(const EngineConfig& config, const char* scene, const std::string& variant, int cars, int stepsPerFrame,
            bool fast) {
    Row row = NewRow(scene, variant, config);
    // The fast car's wider circle needs the larger grid; both have 8,192 triangles.
    World w = MakeWorld(config, HeightGrid(64, fast ? 32.0 : 24.0, CarCourse));
    CarParameters params;
    if (fast) {
        params.topSpeed = 60.0;
        params.drive = 9000.0;
    }
    CarController controller(params);
    w.engine->SetRayController(&controller);
    double rest = params.chassis.z * 0.5 + params.rayLength - params.StaticCompression();
    // The cars stand one behind the other on the ring's flat start, 5 degrees apart.
    for (int c = 0; c < cars; ++c) {
        double phi = (-90.0 + 5.0 * (c - (cars - 1) * 0.5)) * M_PI / 180.0;
        double x = 200.0 * std::cos(phi), y = 200.0 * std::sin(phi);
        Pose pose;
        pose.position = {x, y, CarCourse(x, y) + rest + 0.02};
        pose.rotation = AxisAngle({0.0, 0.0, 1.0}, phi + M_PI / 2.0);
        int id = w.Add(params.Body(pose));
        if (id < 0) continue;
        w.engine->AddRays(id, params.Rays());
        controller.AddCar(id, fast ? ScriptFast : ScriptCruise);
    }
    w.Begin();
    Timing timing;
    const int steps = 1800;
    double hitError = 0.0, rideError = kNa, topSpeed = 0.0;
    int mismatches = 0;
    std::vector<RayHit> hits;
    std::vector<Ray> rays = params.Rays();
    auto checkHits = [&](int step) {
        for (int id : w.dynamic) {
            Pose hitPose;
            w.engine->LastHits(id, hits, hitPose);
            if (id == w.dynamic[0] && step == 119 && hits.size() == 4) {
                double sum = 0.0;
                for (const RayHit& h : hits) sum += h.depth;
                rideError = (sum / 4.0 - params.StaticCompression()) * 1000.0;
            }
            for (size_t k = 0; k < hits.size() && k < rays.size(); ++k) {
                Vec3 from = ToWorld(hitPose, rays[k].origin);
                Vec3 to = ToWorld(hitPose, rays[k].origin + rays[k].segment);
                double t;
                bool exact = w.terrain->Raycast(from, to, t);
                if (exact && hits[k].hit)
                    hitError = std::max(hitError, std::fabs(hits[k].depth - (1.0 - t) * params.rayLength));
                else if (exact != hits[k].hit && !(exact && (t < 1e-4 || t > 1.0 - 1e-4)))
                    ++mismatches;
            }
        }
    };
    for (int s = 0; s < steps;) {
        auto t0 = Clock::now();
        for (int k = 0; k < stepsPerFrame; ++k) w.engine->Step();
        auto t1 = Clock::now();
        double ns = static_cast<double>(std::chrono::duration_cast<std::chrono::nanoseconds>(t1 - t0).count());
        timing.ns.push_back(ns / stepsPerFrame);
        for (int k = 0; k < stepsPerFrame; ++k, ++s) {
            // Only the frame's last step is inspected in the frame regime.
            if (k == stepsPerFrame - 1) {
                w.AfterStep(s);
                checkHits(s);
            }
        }
        if (s % 60 < stepsPerFrame && !w.dynamic.empty()) {
            Pose p = w.engine->GetPose(w.dynamic[0]);
            row.trajectory.push_back(p.position);
        }
        if (!w.dynamic.empty()) topSpeed = std::max(topSpeed, Length(w.engine->GetVelocity(w.dynamic[0])));
    }
    timing.Fill(row);
    w.Finish(row);
    row.asleep = kNa;
    int left = 0;
    for (int id : w.dynamic) {
        Vec3 p = w.engine->GetPose(id).position;
        double h;
        left += w.terrain->HeightAt(p.x, p.y, h) ? 0 : 1;
    }
    char text[256];
    std::snprintf(text, sizeof(text),
                  "ride err=%.1fmm hit err=%.2fmm hit mismatches=%d top speed=%.1fm/s left the terrain=%d", rideError,
                  hitError * 1000.0, mismatches, topSpeed, left);
    row.notes += text;
    return row;
}

// ---------------------------------------------------------------- S5: kinematic pusher

Row RunPusher(const EngineConfig& config, const Capabilities& caps) {
    Row row = NewRow("S5 kinematic pusher", "50 boxes", config);
    World w = MakeWorld(config, FlatGround(50.0, 0.5, 0.0));
    for (int i = 0; i < 5; ++i)
        for (int j = 0; j < 10; ++j) w.Add(UnitBox({i * 1.5, (j - 4.5) * 1.5, 0.5}));
    BodyDesc pusher;
    pusher.kinematic = true;
    pusher.size = {0.5, 16.0, 2.0};
    pusher.mass = 1.0;
    double startX = -3.0, speed = 2.0;
    pusher.pose.position = {startX, 0.0, 1.05};
    int pusherId = w.Add(pusher);
    w.Begin();
    Timing timing;
    // Bullet puts a body to sleep after two seconds at rest: the sweep starts after three.
    const int steps = 600, sweepStart = 180;
    std::vector<char> asleepBefore(w.dynamic.size(), 0), woke(w.dynamic.size(), 0);
    double x = startX;
    for (int s = 0; s < steps; ++s) {
        Vec3 velocity;
        if (s >= sweepStart) {
            x += speed * kStep;
            velocity = {speed, 0.0, 0.0};
        }
        if (pusherId >= 0) w.engine->MoveKinematic(pusherId, {{x, 0.0, 1.05}, {}}, velocity);
        timing.ns.push_back(TimedStep(*w.engine));
        w.AfterStep(s);
        for (size_t i = 0; i < w.dynamic.size(); ++i) {
            bool sleeping = w.engine->IsSleeping(w.dynamic[i]);
            if (s == sweepStart - 1) asleepBefore[i] = sleeping;
            if (s >= sweepStart && asleepBefore[i] && !sleeping) woke[i] = 1;
        }
    }
    timing.Fill(row);
    w.Finish(row);
    int before = 0, wakes = 0, behind = 0, pushed = 0;
    for (size_t i = 0; i < w.dynamic.size(); ++i) {
        before += asleepBefore[i];
        wakes += woke[i];
        Vec3 p = w.engine->GetPose(w.dynamic[i]).position;
        if (p.x < x - 0.25 && std::fabs(p.y) < 8.0) ++behind;
        if (Horizontal(p, w.start[i].position) > 1.0) ++pushed;
    }
    char text[256];
    std::snprintf(text, sizeof(text), "asleep before sweep=%d woken=%d pushed>1m=%d passed through=%d", before, wakes,
                  pushed, behind);
    row.notes += text;
    if (!caps.contacts) MarkWithoutContacts(row, "contact response");
    return row;
}

// ---------------------------------------------------------------- S7: analytic checks

// Runs a scene with nothing to do between steps: each step timed and checked.
void StepPlain(World& w, Row& row, int steps) {
    w.Begin();
    Timing timing;
    for (int s = 0; s < steps; ++s) {
        timing.ns.push_back(TimedStep(*w.engine));
        w.AfterStep(s);
    }
    timing.Fill(row);
    w.Finish(row);
}

Row RunFreeFall(const EngineConfig& config) {
    Row row = NewRow("S7 analytic checks", "free fall 2 s", config);
    World w = MakeWorld(config, FlatGround(50.0, 0.5, 0.0));
    const double z0 = 100.0;
    w.Add(UnitBox({0.0, 0.0, z0}));
    const int steps = 120;
    StepPlain(w, row, steps);
    double t = steps * kStep, g = 9.8;
    double analytic = z0 - 0.5 * g * t * t;
    // Each integrator's own closed form: ours falls 1/2 g t^2 + g h t once gravity
    // is active; semi-implicit Euler (Bullet, ODE) falls 1/2 g t^2 + 1/2 g h t.
    double lag = config.engine == "ours" ? g * kStep * t : 0.5 * g * kStep * t;
    double z = w.engine->GetPose(w.dynamic[0]).position.z;
    char text[200];
    std::snprintf(text, sizeof(text), "z=%.4f error vs 1/2 g t^2=%.1fmm, vs the integrator's closed form=%.2fmm", z,
                  (z - analytic) * 1000.0, (z - (analytic - lag)) * 1000.0);
    row.notes += text;
    row.asleep = kNa;
    return row;
}

Row RunIncline(const EngineConfig& config, double degrees, const Capabilities& caps) {
    char variant[64];
    std::snprintf(variant, sizeof(variant), "incline %.0f deg, mu 0.5", degrees);
    Row row = NewRow("S7 analytic checks", variant, config);
    double a = degrees * M_PI / 180.0;
    World w = MakeWorld(config, Incline(a, 0.5));
    Vec3 normal{std::sin(a), 0.0, std::cos(a)}, tangent{std::cos(a), 0.0, -std::sin(a)};
    BodyDesc box = UnitBox(normal * 0.501);
    box.pose.rotation = AxisAngle({0.0, 1.0, 0.0}, a);
    w.Add(box);
    const int steps = 120;
    StepPlain(w, row, steps);
    double t = steps * kStep, mu = 0.5;
    double slide = std::tan(a) > mu ? 0.5 * 9.8 * (std::sin(a) - mu * std::cos(a)) * t * t : 0.0;
    double moved = Dot(w.engine->GetPose(w.dynamic[0]).position - box.pose.position, tangent);
    char text[200];
    std::snprintf(text, sizeof(text), "moved=%.3fm analytic=%.3fm (%s) error=%.3fm", moved, slide,
                  slide > 0.0 ? "slides" : "sticks", moved - slide);
    row.notes += text;
    row.asleep = kNa;
    if (!caps.contacts) MarkWithoutContacts(row, "contact response");
    return row;
}

Row RunBounce(const EngineConfig& config, const Capabilities& caps) {
    Row row = NewRow("S7 analytic checks", "bounce e 0.4 from 1 m", config);
    World w = MakeWorld(config, FlatGround(50.0, 0.5, 0.4));
    BodyDesc box = UnitBox({0.0, 0.0, 1.5});
    box.restitution = 0.4;
    w.Add(box);
    w.Begin();
    Timing timing;
    const int steps = 120;
    int phase = 0; // 0 falling, 1 rising after the first impact, 2 done
    double apex = 0.0;
    for (int s = 0; s < steps; ++s) {
        timing.ns.push_back(TimedStep(*w.engine));
        w.AfterStep(s);
        Vec3 v = w.engine->GetVelocity(w.dynamic[0]);
        double z = w.engine->GetPose(w.dynamic[0]).position.z - 0.5;
        if (phase == 0 && v.z > 0.0) phase = 1;
        if (phase == 1) {
            apex = std::max(apex, z);
            if (v.z < 0.0) phase = 2;
        }
    }
    timing.Fill(row);
    w.Finish(row);
    const double analytic = 0.4 * 0.4 * 1.0;
    char text[200];
    std::snprintf(text, sizeof(text), "rebound=%.3fm analytic=%.3fm error=%.3fm", apex, analytic, apex - analytic);
    row.notes += text;
    row.asleep = kNa;
    if (!caps.contacts) MarkWithoutContacts(row, "contact response");
    return row;
}

// A prefix that ends in a digit selects that number only: "S1" is not "S10".
bool Selected(const RunOptions& options, const char* scene) {
    const std::string& prefix = options.sceneFilter;
    if (prefix.empty()) return true;
    std::string name(scene);
    if (name.rfind(prefix, 0) != 0) return false;
    bool endsInDigit = std::isdigit(static_cast<unsigned char>(prefix.back())) != 0;
    return !endsInDigit || name.size() == prefix.size() ||
           !std::isdigit(static_cast<unsigned char>(name[prefix.size()]));
}

void Progress(const Row& row) {
    std::fprintf(stderr, "  %-28s %-22s %-7s %-16s median %9.1f us\n", row.scene.c_str(), row.variant.c_str(),
                 row.engine.c_str(), row.setting.c_str(), row.medianUs);
}

} // namespace

void FillTiming(Row& row, const std::vector<double>& stepNs) { Timing{stepNs}.Fill(row); }

Capabilities ProbeOurs() {
    Capabilities caps;
    caps.probed = true;
    EngineConfig config{"ours", Settings{}};
    config.settings.name = "engine";
    {
        World w = MakeWorld(config, FlatGround(50.0, 0.5, 0.0));
        w.Add(UnitBox({0.0, 0.0, 1.0}));
        for (int s = 0; s < 180; ++s) w.engine->Step();
        double z = w.engine->GetPose(w.dynamic[0]).position.z;
        caps.contacts = z > 0.4 && z < 0.6;
    }
    {
        World w = MakeWorld(config, FlatGround(50.0, 0.5, 0.0));
        w.Add(UnitBox({0.0, 0.0, 0.5}));
        w.Add(UnitBox({0.0, 0.0, 1.5}));
        for (int s = 0; s < 180; ++s) w.engine->Step();
        double z = w.engine->GetPose(w.dynamic[1]).position.z;
        caps.stacking = z > 1.4 && z < 1.6;
    }
    return caps;
}

std::vector<Row> RunAll(const RunOptions& options, const Capabilities& caps) {
    const char* const kFalling = "S3 many falling bodies";
    const char* const kCars = "S4 car on terrain triangles";
    std::vector<Row> rows;
    std::vector<EngineConfig> configs = EngineConfigs(options);
    // With repeats, each run is made that many times and the one with the lowest
    // median kept: its figures are those of one whole run, least disturbed by
    // other work on the machine (the quality figures do not change between runs).
    auto add = [&](auto run) {
        Row row = run();
        for (int r = 1; r < options.repeats; ++r) {
            Row again = run();
            if (again.medianUs < row.medianUs) row = std::move(again);
        }
        Progress(row);
        rows.push_back(std::move(row));
    };

    if (Selected(options, "S1")) {
        std::vector<int> sizes = options.quick ? std::vector<int>{5, 20} : std::vector<int>{1, 5, 10, 20};
        for (int n : sizes)
            for (const EngineConfig& c : configs)
                add([&] { return RunStack(c, "S1 box tower", std::to_string(n) + " boxes", Tower(n), false, caps); });
        if (!options.quick)
            for (int n : {10, 20})
                for (const EngineConfig& c : configs)
                    add([&] {
                        return RunStack(c, "S1 box tower", std::to_string(n) + " boxes, game inertia", Tower(n), false,
                                        caps, true);
                    });
    }
    if (Selected(options, "S2"))
        for (const EngineConfig& c : configs)
            add([&] { return RunStack(c, "S2 pyramid", "base 10, 55 boxes", Pyramid(10), true, caps); });
    if (Selected(options, "S3")) {
        std::vector<int> sizes = options.quick ? std::vector<int>{300} : std::vector<int>{100, 300, 500};
        for (int n : sizes) {
            for (const EngineConfig& c : configs) {
                add([&] { return RunFalling(c, kFalling, Mix::BoxesAndCapsules, n, caps); });
                if (c.engine == "ours") {
                    EngineConfig raised = c;
                    raised.settings.pairPool = 20000;
                    raised.settings.name = "engine, 20000 pairs";
                    add([&] { return RunFalling(raised, kFalling, Mix::BoxesAndCapsules, n, caps); });
                }
            }
        }
    }
    if (Selected(options, "S4")) {
        struct Variant {
            const char* name;
            int cars, perFrame;
            bool fast;
        };
        std::vector<Variant> variants = {{"1 car", 1, 1, false},
                                         {"8 cars", 8, 1, false},
                                         {"1 car, 6 steps per frame", 1, 6, false},
                                         {"1 car, 60 m/s", 1, 1, true}};
        if (options.quick) variants.resize(2);
        for (const Variant& v : variants)
            for (const EngineConfig& c : configs)
                add([&] { return RunCars(c, kCars, v.name, v.cars, v.perFrame, v.fast); });
    }
    if (Selected(options, "S5"))
        for (const EngineConfig& c : configs) add([&] { return RunPusher(c, caps); });
    if (Selected(options, "S7")) {
        for (const EngineConfig& c : configs) add([&] { return RunFreeFall(c); });
        // The full run brackets the friction angle (26.6 degrees at mu 0.5) more closely.
        std::vector<double> angles =
            options.quick ? std::vector<double>{20.0, 35.0} : std::vector<double>{15.0, 20.0, 25.0, 30.0, 35.0};
        for (double deg : angles)
            for (const EngineConfig& c : configs) add([&] { return RunIncline(c, deg, caps); });
        for (const EngineConfig& c : configs) add([&] { return RunBounce(c, caps); });
    }
    if (Selected(options, "S8")) {
        std::vector<int> sizes = options.quick ? std::vector<int>{100} : std::vector<int>{100, 300};
        for (int n : sizes)
            for (const EngineConfig& c : configs)
                add([&] { return RunFalling(c, "S8 convex hulls", Mix::Hulls, n, caps); });
    }
    if (Selected(options, "S9") && (options.engineFilter.empty() || options.engineFilter == "ours")) {
        // Our engine alone, the same scenes answered by the caller's grid callback and
        // by the engine's own terrain tree; ours/x is callback over tree.
        const char* scene = "S9 terrain tree vs callback";
        EngineConfig callback{"ours", Settings{}};
        callback.settings.name = "engine";
        EngineConfig tree = callback;
        tree.settings.name = "engine, terrain tree";
        tree.settings.terrainTree = true;
        std::vector<int> sizes = options.quick ? std::vector<int>{300} : std::vector<int>{100, 300, 500};
        for (int n : sizes)
            for (const EngineConfig* c : {&callback, &tree})
                add([&] { return RunFalling(*c, scene, Mix::BoxesAndCapsules, n, caps); });
        for (const EngineConfig* c : {&callback, &tree}) add([&] { return RunCars(*c, scene, "8 cars", 8, 1, false); });
    }
    if (Selected(options, "S10") && (options.engineFilter.empty() || options.engineFilter == "ours"))
        for (const std::function<Row()>& run : OursAloneRuns()) add(run);
    return rows;
}

} // namespace bench
