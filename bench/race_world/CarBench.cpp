// Cars of the race world on generated roads. Cost: game cars through the physics task on the
// 20,000-triangle walled ring, 1 and 8 cars at 2 and 6 steps a frame, with the terrain query's
// share from the engine's stage report; beside them, in the same run, the same number of cars
// of the physics benchmark's engine layer on Bullet, ODE and our engine on the same mesh.
// Robustness (printed once): cars into a wall, off a ramp and round a banked ring per engine,
// counting fall-throughs, wall crossings, the deepest penetration and non-finite poses. Slide:
// a car on its roof from 20 units/s against v^2 / (2 mu g).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "Framework/PGlobalTimer.h"
#include "Framework/PMMObject.h"
#include "Framework/PSettings.h"
#include "Physics/StepTimer.h"
#include "Render/PRenderObject.h"
#include "Scene/PGameObject.h"
#include "World/PCar.h"
#include "World/PPhysicData.h"
#include "World/PPhysics.h"
#include "World/PPlayer.h"
#include "support/CarWheels.h"
#include "support/FreshStore.h"
#include "support/RoadMesh.h"

#if defined(KX_RACE_WORLD_PEERS)
#include "BenchEngine.h"
#include "CarController.h"
#endif

namespace {

using kxtest::RoadMesh;

constexpr float kPi = 3.14159265f;
constexpr float kStep = 1.0f / 60.0f;
constexpr float kRingRadius = 200.0f;

const RoadMesh& Ring() {
    static const RoadMesh mesh = kxtest::MakeWalledLoop(kRingRadius, 16.0f, 3.0f, 1000, 8);
    return mesh;
}

D3DXQUATERNION Yaw(float angle) { return D3DXQUATERNION(0.0f, 0.0f, std::sin(angle / 2), std::cos(angle / 2)); }

RbVector Row(const RbMatrix& m, int r) { return RbVec(m.m[r][0], m.m[r][1], m.m[r][2]); }

float Length(const RbVector& v) { return std::sqrt(RbDot(v, v)); }

// The figures of one robustness run.
struct Tally {
    int runs = 0;
    int fallThroughs = 0; // runs in which the centre ended below the road under it
    int wallCrossings = 0;
    int nonFinite = 0;
    double deepest = 0.0;         // of any chassis corner below the road or beyond a wall
    long looks = 0, overRoad = 0; // poses looked at, and those with road under the centre
    void Add(const Tally& o) {
        looks += o.looks;
        overRoad += o.overRoad;
        runs += o.runs;
        fallThroughs += o.fallThroughs;
        wallCrossings += o.wallCrossings;
        nonFinite += o.nonFinite;
        deepest = std::max(deepest, o.deepest);
    }
};

// Checks one pose against the road: centre and corners (half sizes along the body's axes).
struct PoseCheck {
    const RoadMesh* mesh = nullptr;
    bool fell = false, crossed = false, bad = false;
    double deepest = 0.0;
    long looks = 0, overRoad = 0;
    void Look(double px, double py, double pz, const double axes[3][3], const double half[3]) {
        ++looks;
        if (!std::isfinite(px) || !std::isfinite(py) || !std::isfinite(pz)) {
            bad = true;
            return;
        }
        float surface = 0.0f;
        if (mesh->SurfaceHeight(static_cast<float>(px), static_cast<float>(py), surface)) {
            ++overRoad;
            if (pz < surface) fell = true;
        }
        if (const kxtest::RoadWall* wall = mesh->NearestWall(static_cast<float>(px), static_cast<float>(py))) {
            if (wall->SignedDistance(static_cast<float>(px), static_cast<float>(py)) < 0.0f) crossed = true;
        }
        for (int i = 0; i < 8; ++i) {
            double c[3] = {px, py, pz};
            for (int k = 0; k < 3; ++k) {
                const double s = ((i >> k) & 1) ? half[k] : -half[k];
                for (int j = 0; j < 3; ++j) c[j] += axes[k][j] * s;
            }
            if (mesh->SurfaceHeight(static_cast<float>(c[0]), static_cast<float>(c[1]), surface))
                deepest = std::max(deepest, static_cast<double>(surface) - c[2]);
            if (const kxtest::RoadWall* wall = mesh->NearestWall(static_cast<float>(c[0]), static_cast<float>(c[1]))) {
                if (c[2] < wall->top) {
                    deepest = std::max(deepest, -static_cast<double>(wall->SignedDistance(static_cast<float>(c[0]),
                                                                                          static_cast<float>(c[1]))));
                }
            }
        }
    }
    Tally Result() const {
        Tally t;
        t.runs = 1;
        t.fallThroughs = fell ? 1 : 0;
        t.wallCrossings = crossed ? 1 : 0;
        t.nonFinite = bad ? 1 : 0;
        t.deepest = deepest;
        t.looks = looks;
        t.overRoad = overRoad;
        return t;
    }
};

// ------------------------------------------------------------------ the game's cars

// The racers of the car tests: a 2 x 4 x 1 body of mass 10 with four wheels at the corners.
class GameWorld {
public:
    explicit GameWorld(const RoadMesh& mesh) {
        m_savedDelta = g_deltaTime;
        m_owner = CPSmartPtr<CPGameObject>(new CPGameObject("road"));
        m_owner->UpdateTransform();
        std::vector<SPVertex> vertices(static_cast<std::size_t>(mesh.VertexCount()));
        for (std::size_t i = 0; i < vertices.size(); ++i) {
            vertices[i] = SPVertex{};
            vertices[i].x = mesh.positions[3 * i];
            vertices[i].y = mesh.positions[3 * i + 1];
            vertices[i].z = mesh.positions[3 * i + 2];
        }
        m_road = CPSmartPtr<CPRenderObject>(new CPRenderObject(m_owner.Get()));
        m_road->SetMesh(std::move(vertices), mesh.indices);
        physics->BuildTerrainGrid(m_road);
        physics->CreateWorld();
        m_gameData->levelSettings.setting9 = 1.0f;
        m_gameData->levelStarted = true;
    }
    ~GameWorld() {
        cars.clear();
        m_racers.clear();
        physics->DestroyWorld();
        physics = nullptr;
        m_road = nullptr;
        m_owner = nullptr;
        for (int i = 0; i < 6; ++i) IPMMObject::CollectGarbage();
        g_deltaTime = m_savedDelta;
    }
    GameWorld(const GameWorld&) = delete;
    GameWorld& operator=(const GameWorld&) = delete;

    CPCar* AddCar(const D3DXVECTOR3& position, float yaw, bool human, const D3DXQUATERNION* turn = nullptr) {
        CPSmartPtr<CPPlayer> racer(new CPPlayer);
        racer->SetPosition(position);
        racer->SetRotation(turn ? *turn : Yaw(yaw));
        kxtest::AddWheels(*racer);
        CPSmartPtr<CPPhysicData> data(new CPPhysicData(racer.Get()));
        data->SetShape(1.0f, 2.0f, 4.0f, 10.0f);
        data->AddBoxShape(D3DXVECTOR3(0, 0, 0), D3DXQUATERNION(0, 0, 0, 1), 2.0f, 1.0f, 4.0f, 10.0f);
        racer->SetPhysicData(CPSmartPtr<IPPhysicData>(data.Get()));
        physics->AddBody(CPSmartPtr<CPGameObject>(racer.Get()), true, 0);
        physics->ActivateObject(CPSmartPtr<CPGameObject>(racer.Get()));
        physics->AddCar(CPSmartPtr<CPGameObject>(racer.Get()), human ? 1 : 0);
        m_racers.push_back(racer);
        cars.push_back(racer->GetCar());
        return cars.back();
    }

    // One frame of the physics task that runs the given number of steps.
    void Frame(int steps) {
        g_deltaTime = static_cast<float>(steps) / 120.0f + 1e-7f;
        physics->Update();
    }
    // One step with the engine's stage report, then the pose copy, as the task does.
    void ReportedStep(double stages[RbStageCount]) {
        RbPerformanceReport report;
        report.mode = 1;
        physics->GetSimulator()->Advance(kStep, 1, &report);
        for (int i = 0; i < RbStageCount; ++i)
            stages[i] += physics->GetSimulator()->GetStepTimer().GetStage(static_cast<RbStepStage>(i));
        physics->SyncObjects();
    }

    static PoseCheck Check(const RoadMesh& mesh) {
        PoseCheck check;
        check.mesh = &mesh;
        return check;
    }
    static void Look(PoseCheck& check, CPCar* car) {
        const RbMatrix m = car->GetRigidBody()->GetTransform();
        const double axes[3][3] = {
            {m.m[0][0], m.m[0][1], m.m[0][2]}, {m.m[1][0], m.m[1][1], m.m[1][2]}, {m.m[2][0], m.m[2][1], m.m[2][2]}};
        const double half[3] = {1.0, 2.0, 0.5};
        check.Look(m.m[3][0], m.m[3][1], m.m[3][2], axes, half);
    }

    kxtest::FreshGameData m_gameData;
    kxtest::CamSpeed m_difficulty{10};
    CPSmartPtr<CPPhysics> physics{new CPPhysics};
    std::vector<CPCar*> cars;

private:
    CPSmartPtr<CPGameObject> m_owner;
    CPSmartPtr<CPRenderObject> m_road;
    std::vector<CPSmartPtr<CPPlayer>> m_racers;
    float m_savedDelta = 0.0f;
};

// Steering toward a point: +1 turns toward the body's -x side.
float SteerToward(CPCar* car, float x, float y) {
    const RbMatrix m = car->GetRigidBody()->GetTransform();
    RbVector to = RbVec(x - m.m[3][0], y - m.m[3][1], 0.0f);
    const float length = Length(to);
    if (length < 1e-3f) return 0.0f;
    to = to * (1.0f / length);
    RbVector minusX = Row(m, 0) * -1.0f;
    minusX.z = 0.0f;
    return std::clamp(3.0f * RbDot(to, minusX), -1.0f, 1.0f);
}

// Round the ring counter-clockwise near its middle line at up to 18 units/s (harder steering at
// higher speed rolls the car over); a car that has
// left the road starts again on the middle line where it left, standing. Answers whether it did.
bool DriveRound(CPCar* car) {
    const RbVector p = car->GetRigidBody()->GetPosition();
    float surface = 0.0f;
    if (!Ring().SurfaceHeight(p.x, p.y, surface) || p.z < surface - 1.0f || p.z > surface + 20.0f) {
        const float angle = std::atan2(p.y, p.x);
        RbRigidBody* body = car->GetRigidBody();
        body->SetPosition(RbVec(kRingRadius * std::cos(angle), kRingRadius * std::sin(angle), 1.0f));
        const D3DXQUATERNION q = Yaw(angle + kPi);
        body->SetRotation(RbQuaternion{q.x, q.y, q.z, q.w});
        body->SetVelocity(RbVec(0.0f, 0.0f, 0.0f));
        body->SetAngularMomentum(RbVec(0.0f, 0.0f, 0.0f));
        body->SetActive(true, nullptr);
        return true;
    }
    const float ahead = std::atan2(p.y, p.x) + 0.15f;
    const float speed = Length(car->GetRigidBody()->GetVelocity());
    car->SetControls(speed < 18.0f ? 1.0f : 0.0f,
                     SteerToward(car, kRingRadius * std::cos(ahead), kRingRadius * std::sin(ahead)));
    return false;
}

void PlaceOnRing(GameWorld& world, int count) {
    for (int i = 0; i < count; ++i) {
        const float angle = 2.0f * kPi * static_cast<float>(i) / static_cast<float>(std::max(count, 1)) - 0.5f * kPi;
        // Facing counter-clockwise: the body's -y along the ring.
        world.AddCar(D3DXVECTOR3(kRingRadius * std::cos(angle), kRingRadius * std::sin(angle), 1.0f), angle + kPi,
                     i == 0);
    }
}

void BM_GameCars(benchmark::State& state) {
    const int count = static_cast<int>(state.range(0));
    const int perFrame = static_cast<int>(state.range(1));
    GameWorld world(Ring());
    PlaceOnRing(world, count);
    for (int frame = 0; frame < 240; ++frame) {
        for (CPCar* car : world.cars) DriveRound(car);
        world.Frame(perFrame);
    }
    const int before = world.physics->GetSimulator()->GetAdvanceCounter();
    int restarts = 0;
    for (auto _ : state) {
        for (CPCar* car : world.cars) restarts += DriveRound(car) ? 1 : 0;
        world.Frame(perFrame);
    }
    const int steps = world.physics->GetSimulator()->GetAdvanceCounter() - before;
    state.counters["steps"] = steps;
    state.counters["restarts"] = restarts;
    state.counters["us_per_step"] = benchmark::Counter(static_cast<double>(steps) * 1e-6,
                                                       benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    double speed = 0.0;
    for (CPCar* car : world.cars) speed += Length(car->GetRigidBody()->GetVelocity());
    state.counters["mean_speed"] = speed / static_cast<double>(world.cars.size());
}
BENCHMARK(BM_GameCars)->Args({1, 2})->Args({1, 6})->Args({8, 2})->Args({8, 6})->Unit(benchmark::kMicrosecond);

// The same driving, one step at a time with the engine's stage report: the stages' shares.
void BM_GameCarsStages(benchmark::State& state) {
    const int count = static_cast<int>(state.range(0));
    GameWorld world(Ring());
    PlaceOnRing(world, count);
    for (int frame = 0; frame < 240; ++frame) {
        for (CPCar* car : world.cars) DriveRound(car);
        world.Frame(2);
    }
    double stages[RbStageCount] = {};
    int restarts = 0;
    double candidates = 0.0, unique = 0.0, looks = 0.0;
    std::vector<int> seen;
    for (auto _ : state) {
        for (CPCar* car : world.cars) restarts += DriveRound(car) ? 1 : 0;
        world.ReportedStep(stages);
        state.PauseTiming();
        // How many triangles each body's query answered, and how many different ones.
        for (CPCar* car : world.cars) {
            const CPPhysicData* data = dynamic_cast<CPPhysicData*>(car->GetOwner()->GetPhysicData().Get());
            if (!data) continue;
            const int n = data->GetCandidateCount();
            seen.assign(data->Candidates(), data->Candidates() + n);
            std::sort(seen.begin(), seen.end());
            candidates += n;
            unique += static_cast<double>(std::unique(seen.begin(), seen.end()) - seen.begin());
            looks += 1.0;
        }
        state.ResumeTiming();
    }
    state.counters["restarts"] = restarts;
    if (looks > 0.0) {
        state.counters["candidates"] = candidates / looks;
        state.counters["unique_candidates"] = unique / looks;
    }
    double total = 0.0;
    for (double s : stages) total += s;
    if (total > 0.0) {
        static const char* const names[RbStageCount] = {"dynamics", "integration", "end",     "islands",      "solver",
                                                        "broad",    "pairs",       "terrain", "terrain_query"};
        for (int i = 0; i < RbStageCount; ++i)
            state.counters[std::string("pct_") + names[i]] = 100.0 * stages[i] / total;
    }
}
BENCHMARK(BM_GameCarsStages)->Arg(1)->Arg(8)->Unit(benchmark::kMicrosecond);

// Speeds the robustness runs use: 40, 60 and the game car's top speed with nitro (full
// throttle on a long straight, then a full meter of nitro burnt).
float TopSpeedWithNitro() {
    static float top = -1.0f;
    if (top >= 0.0f) return top;
    const RoadMesh straight = kxtest::MakeFlatRoad(40.0f, 4000.0f, 4, 400);
    GameWorld world(straight);
    CPCar* car = world.AddCar(D3DXVECTOR3(20.0f, 10.0f, 1.0f), kPi, true);
    float best = 0.0f;
    for (int frame = 0; frame < 60 * 30; ++frame) {
        if (frame == 60 * 10) {
            car->SetNitroMeter(100.0f);
            car->SetNitro(1.0f);
        }
        car->SetControls(1.0f, SteerToward(car, 20.0f, car->GetRigidBody()->GetPosition().y + 20.0f));
        car->FrameUpdate(kStep);
        world.Frame(2);
        best = std::max(best, Length(car->GetRigidBody()->GetVelocity()));
        if (car->GetRigidBody()->GetPosition().y > 3900.0f) break;
    }
    top = best;
    return top;
}

// Into a wall across a straight road at a speed and an angle; 3 s of full throttle after.
Tally GameIntoWall(float speed, float degrees) {
    const float wallY = 20.0f;
    const RoadMesh mesh = kxtest::MakeWalledEnd(60.0f, 120.0f, wallY, 3.0f, 12, 24);
    GameWorld world(mesh);
    const float yaw = degrees * kPi / 180.0f;
    const float lead = 15.0f;
    CPCar* car = world.AddCar(D3DXVECTOR3(30.0f - lead * std::tan(yaw), wallY + lead, 1.0f), yaw, true);
    for (int i = 0; i < 15; ++i) world.Frame(2);
    const RbVector forward = Row(car->GetRigidBody()->GetTransform(), 1) * -1.0f;
    car->GetRigidBody()->SetVelocity(RbVec(forward.x, forward.y, 0.0f) * speed);
    PoseCheck check = GameWorld::Check(mesh);
    for (int step = 0; step < 180; ++step) {
        car->SetControls(1.0f, 0.0f);
        world.physics->GetSimulator()->Advance(kStep, 1, nullptr);
        GameWorld::Look(check, car);
    }
    return check.Result();
}

// Falling onto the ramp road's landing, ramp and run-up at 20 to 40 units/s.
Tally GameLandings() {
    const RoadMesh mesh = kxtest::MakeRampRoad(40.0f, 20.0f, 12.0f, 4.0f, 10.0f, 150.0f);
    GameWorld world(mesh);
    struct Case {
        float y, down, forward;
    };
    const Case cases[] = {{60, 20, 10}, {70, 30, 0}, {26, 25, 5}, {8, 40, 0}, {80, 22, 25}};
    float x = 4.0f;
    for (const Case& c : cases) {
        CPCar* car = world.AddCar(D3DXVECTOR3(x, c.y, 6.0f), kPi, true);
        car->GetRigidBody()->SetVelocity(RbVec(0.0f, c.forward, -c.down));
        x += 8.0f;
    }
    std::vector<PoseCheck> checks(world.cars.size(), GameWorld::Check(mesh));
    for (int step = 0; step < 240; ++step) {
        world.physics->GetSimulator()->Advance(kStep, 1, nullptr);
        for (std::size_t i = 0; i < world.cars.size(); ++i) GameWorld::Look(checks[i], world.cars[i]);
    }
    Tally tally;
    for (const PoseCheck& c : checks) tally.Add(c.Result());
    return tally;
}

// Eight cars round a banked ring for 20 s.
Tally GameBankedRing() {
    const float inner = 40.0f, width = 16.0f, bank = 0.2f, middle = inner + width / 2;
    const RoadMesh mesh = kxtest::MakeBankedTurn(inner, width, bank, 2.0f * kPi, 96, 4);
    GameWorld world(mesh);
    for (int i = 0; i < 8; ++i) {
        const float angle = 2.0f * kPi * static_cast<float>(i) / 8.0f;
        world.AddCar(D3DXVECTOR3(middle * std::cos(angle), middle * std::sin(angle), 2.7f), angle + kPi, i == 0);
    }
    std::vector<PoseCheck> checks(world.cars.size(), GameWorld::Check(mesh));
    for (int step = 0; step < 60 * 20; ++step) {
        for (CPCar* car : world.cars) {
            const RbVector p = car->GetRigidBody()->GetPosition();
            const float ahead = std::atan2(p.y, p.x) + 0.3f;
            const float speed = Length(car->GetRigidBody()->GetVelocity());
            car->SetControls(speed < 18.0f ? 1.0f : 0.0f,
                             SteerToward(car, middle * std::cos(ahead), middle * std::sin(ahead)));
        }
        world.physics->GetSimulator()->Advance(kStep, 1, nullptr);
        for (std::size_t i = 0; i < world.cars.size(); ++i) GameWorld::Look(checks[i], world.cars[i]);
    }
    Tally tally;
    for (const PoseCheck& c : checks) tally.Add(c.Result());
    return tally;
}

// On its roof on the flat from 20 units/s: distance to a stop.
float GameRoofSlide(float speed) {
    const RoadMesh flat = kxtest::MakeFlatRoad(200.0f, 200.0f, 20, 20);
    GameWorld world(flat);
    const D3DXQUATERNION roof(0.0f, 1.0f, 0.0f, 0.0f);
    CPCar* car = world.AddCar(D3DXVECTOR3(100.0f, 150.0f, 0.5f), 0.0f, true, &roof);
    car->GetRigidBody()->SetVelocity(RbVec(0.0f, -speed, 0.0f));
    for (int step = 0; step < 60 * 10; ++step) world.physics->GetSimulator()->Advance(kStep, 1, nullptr);
    return 150.0f - car->GetRigidBody()->GetPosition().y;
}

void PrintTally(const char* engine, const char* what, const Tally& t) {
    std::printf("  %-22s %-34s runs %3d  fall-throughs %2d  wall crossings %2d  non-finite %2d  deepest %.3f  over "
                "the road %3.0f%%\n",
                engine, what, t.runs, t.fallThroughs, t.wallCrossings, t.nonFinite, t.deepest,
                t.looks > 0 ? 100.0 * static_cast<double>(t.overRoad) / static_cast<double>(t.looks) : 0.0);
}

#if defined(KX_RACE_WORLD_PEERS)
// ------------------------------------------------------------------ the engine layer's cars

bench::TerrainMesh ToTerrain(const RoadMesh& mesh, double friction) {
    bench::TerrainMesh t;
    for (int i = 0; i < mesh.VertexCount(); ++i)
        t.vertices.push_back({mesh.positions[3 * i], mesh.positions[3 * i + 1], mesh.positions[3 * i + 2]});
    for (std::uint16_t index : mesh.indices) t.indices.push_back(index);
    t.friction = friction;
    t.restitution = 0.0;
    t.BuildGrid(5.0);
    return t;
}

struct PeerSetup {
    const char* label;
    const char* engine;
    bench::Settings settings;
};

std::vector<PeerSetup> Peers() {
    std::vector<PeerSetup> list;
    bench::Settings ours;
    ours.name = "engine";
    list.push_back({"ours (engine layer)", "ours", ours});
    bench::Settings matched;
    matched.name = "matched";
    matched.matched = true;
    list.push_back({"bullet matched", "bullet", matched});
    list.push_back({"ode matched", "ode", matched});
    return list;
}

std::unique_ptr<bench::Engine> MakeEngine(const char* name) {
    const std::string n = name;
    if (n == "bullet") return bench::MakeBullet();
    if (n == "ode") return bench::MakeOde();
    return bench::MakeOurs();
}

void ScriptRing(double t, double& throttle, double& steer) {
    throttle = t < 2.0 ? 0.0 : 1.0;
    // A 2.8-unit wheel base round a circle of 200.
    steer = t < 2.0 ? 0.0 : 0.014;
}

void ScriptFull(double, double& throttle, double& steer) {
    throttle = 1.0;
    steer = 0.0;
}

void ScriptNone(double, double& throttle, double& steer) {
    throttle = 0.0;
    steer = 0.0;
}

struct PeerWorld {
    PeerWorld(const PeerSetup& setup, const RoadMesh& mesh, double friction = 0.5)
        : terrain(ToTerrain(mesh, friction)), controller(params), engine(MakeEngine(setup.engine)) {
        engine->Create(setup.settings, {0.0, 0.0, -9.8});
        engine->SetTerrain(terrain);
        engine->SetRayController(&controller);
    }
    // A car at a point, its forward (+x of the body) turned by the yaw.
    int AddCar(bench::Vec3 position, double yaw, bench::CarScript script) {
        bench::Pose pose;
        pose.position = position;
        pose.rotation = bench::AxisAngle({0.0, 0.0, 1.0}, yaw);
        const int id = engine->AddBody(params.Body(pose));
        if (id < 0) return id;
        engine->AddRays(id, params.Rays());
        controller.AddCar(id, script);
        cars.push_back(id);
        return id;
    }
    double RestHeight() const { return params.chassis.z * 0.5 + params.rayLength - params.StaticCompression(); }
    void Look(PoseCheck& check, int id) const {
        const bench::Pose p = engine->GetPose(id);
        const bench::Vec3 ax = bench::Rotate(p.rotation, {1, 0, 0}), ay = bench::Rotate(p.rotation, {0, 1, 0}),
                          az = bench::Rotate(p.rotation, {0, 0, 1});
        const double axes[3][3] = {{ax.x, ax.y, ax.z}, {ay.x, ay.y, ay.z}, {az.x, az.y, az.z}};
        const double half[3] = {params.chassis.x * 0.5, params.chassis.y * 0.5, params.chassis.z * 0.5};
        check.Look(p.position.x, p.position.y, p.position.z, axes, half);
    }

    bench::TerrainMesh terrain;
    bench::CarParameters params;
    bench::CarController controller;
    std::unique_ptr<bench::Engine> engine;
    std::vector<int> cars;
};

void BM_PeerCars(benchmark::State& state) {
    const std::vector<PeerSetup> peers = Peers();
    const PeerSetup& setup = peers[static_cast<std::size_t>(state.range(0))];
    const int count = static_cast<int>(state.range(1));
    state.SetLabel(setup.label);
    PeerWorld world(setup, Ring());
    for (int c = 0; c < count; ++c) {
        const double phi = 2.0 * M_PI * c / count - M_PI / 2.0;
        world.AddCar({kRingRadius * std::cos(phi), kRingRadius * std::sin(phi), world.RestHeight() + 0.02},
                     phi + M_PI / 2.0, ScriptRing);
    }
    for (int i = 0; i < 240; ++i) world.engine->Step();
    for (auto _ : state) world.engine->Step();
    state.counters["us_per_step"] = benchmark::Counter(static_cast<double>(state.iterations()) * 1e-6,
                                                       benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    double speed = 0.0;
    for (int id : world.cars) speed += bench::Length(world.engine->GetVelocity(id));
    state.counters["mean_speed"] = speed / static_cast<double>(std::max<std::size_t>(world.cars.size(), 1));
}
BENCHMARK(BM_PeerCars)
    ->Args({0, 1})
    ->Args({0, 8})
    ->Args({1, 1})
    ->Args({1, 8})
    ->Args({2, 1})
    ->Args({2, 8})
    ->Unit(benchmark::kMicrosecond);

Tally PeerIntoWall(const PeerSetup& setup, double speed, double degrees) {
    const double wallY = 20.0;
    const RoadMesh mesh = kxtest::MakeWalledEnd(60.0f, 120.0f, static_cast<float>(wallY), 3.0f, 12, 24);
    PeerWorld world(setup, mesh);
    const double yaw = degrees * M_PI / 180.0;
    const double lead = 15.0;
    // Forward is the body's +x: toward -y means a yaw of -90 degrees.
    const int id = world.AddCar({30.0 - lead * std::tan(yaw), wallY + lead, world.RestHeight() + 0.02},
                                yaw - M_PI / 2.0, ScriptFull);
    for (int i = 0; i < 30; ++i) world.engine->Step();
    world.engine->SetVelocity(id, {std::sin(yaw) * speed, -std::cos(yaw) * speed, 0.0});
    PoseCheck check = GameWorld::Check(mesh);
    for (int step = 0; step < 180; ++step) {
        world.engine->Step();
        world.Look(check, id);
    }
    return check.Result();
}

Tally PeerLandings(const PeerSetup& setup) {
    const RoadMesh mesh = kxtest::MakeRampRoad(40.0f, 20.0f, 12.0f, 4.0f, 10.0f, 150.0f);
    PeerWorld world(setup, mesh);
    struct Case {
        double y, down, forward;
    };
    const Case cases[] = {{60, 20, 10}, {70, 30, 0}, {26, 25, 5}, {8, 40, 0}, {80, 22, 25}};
    double x = 4.0;
    std::vector<int> ids;
    for (const Case& c : cases) {
        ids.push_back(world.AddCar({x, c.y, 6.0}, M_PI / 2.0, ScriptNone));
        x += 8.0;
    }
    world.engine->Step();
    for (std::size_t i = 0; i < ids.size(); ++i)
        world.engine->SetVelocity(ids[i], {0.0, cases[i].forward, -cases[i].down});
    std::vector<PoseCheck> checks(ids.size(), GameWorld::Check(mesh));
    for (int step = 0; step < 240; ++step) {
        world.engine->Step();
        for (std::size_t i = 0; i < ids.size(); ++i) world.Look(checks[i], ids[i]);
    }
    Tally tally;
    for (const PoseCheck& c : checks) tally.Add(c.Result());
    return tally;
}

void ScriptBanked(double t, double& throttle, double& steer) {
    throttle = t < 1.0 ? 0.0 : 0.6;
    // A 2.8-unit wheel base round the ring's middle line (radius 48).
    steer = t < 1.0 ? 0.0 : 0.058;
}

Tally PeerBankedRing(const PeerSetup& setup) {
    const double inner = 40.0, width = 16.0, bank = 0.2, middle = inner + width / 2;
    const RoadMesh mesh = kxtest::MakeBankedTurn(static_cast<float>(inner), static_cast<float>(width),
                                                 static_cast<float>(bank), 2.0f * kPi, 96, 4);
    PeerWorld world(setup, mesh);
    std::vector<int> ids;
    for (int i = 0; i < 8; ++i) {
        const double angle = 2.0 * M_PI * i / 8.0;
        ids.push_back(world.AddCar({middle * std::cos(angle), middle * std::sin(angle),
                                    (middle - inner) * std::tan(bank) + world.RestHeight() + 0.3},
                                   angle + M_PI / 2.0, ScriptBanked));
    }
    std::vector<PoseCheck> checks(ids.size(), GameWorld::Check(mesh));
    for (int step = 0; step < 60 * 20; ++step) {
        world.engine->Step();
        for (std::size_t i = 0; i < ids.size(); ++i) world.Look(checks[i], ids[i]);
    }
    Tally tally;
    for (const PoseCheck& c : checks) tally.Add(c.Result());
    return tally;
}

// A box like the game car's chassis (2 x 4 x 1, mass 10) sliding on the flat at friction 1.
double PeerBoxSlide(const PeerSetup& setup, double speed) {
    const RoadMesh flat = kxtest::MakeFlatRoad(200.0f, 200.0f, 20, 20);
    bench::TerrainMesh terrain = ToTerrain(flat, 1.0);
    std::unique_ptr<bench::Engine> engine = MakeEngine(setup.engine);
    engine->Create(setup.settings, {0.0, 0.0, -9.8});
    engine->SetTerrain(terrain);
    bench::BodyDesc box;
    box.size = {2.0, 4.0, 1.0};
    box.mass = 10.0;
    box.friction = 1.0;
    box.restitution = 0.0;
    box.pose.position = {100.0, 150.0, 0.5};
    const int id = engine->AddBody(box);
    engine->Step();
    engine->SetVelocity(id, {0.0, -speed, 0.0});
    for (int step = 0; step < 60 * 10; ++step) engine->Step();
    return 150.0 - engine->GetPose(id).position.y;
}
#endif

void BM_Robustness(benchmark::State& state) {
    for (auto _ : state) {
        const float top = TopSpeedWithNitro();
        std::printf("\nRobustness (game cars through the physics task; engine-layer cars on each engine)\n");
        std::printf("  game car top speed with a full nitro meter: %.1f units/s\n", top);
        const float speeds[] = {40.0f, 60.0f, top};
        const float angles[] = {0.0f, 15.0f, 45.0f};
        Tally walls;
        char what[64];
        for (float s : speeds) {
            Tally atSpeed;
            for (float a : angles) atSpeed.Add(GameIntoWall(s, a));
            std::snprintf(what, sizeof what, "wall at %.0f units/s, 0/15/45 deg", s);
            PrintTally("game car", what, atSpeed);
            walls.Add(atSpeed);
        }
        const Tally landings = GameLandings();
        PrintTally("game car", "ramp landings (20-40 down)", landings);
        const Tally ring = GameBankedRing();
        PrintTally("game car", "banked ring, 8 cars, 20 s", ring);
        state.counters["game_fall_throughs"] = walls.fallThroughs + landings.fallThroughs + ring.fallThroughs;
        state.counters["game_wall_crossings"] = walls.wallCrossings + landings.wallCrossings + ring.wallCrossings;
        state.counters["game_non_finite"] = walls.nonFinite + landings.nonFinite + ring.nonFinite;
        state.counters["game_deepest"] = std::max({walls.deepest, landings.deepest, ring.deepest});
#if defined(KX_RACE_WORLD_PEERS)
        for (const PeerSetup& peer : Peers()) {
            for (float s : speeds) {
                Tally atSpeed;
                for (float a : angles) atSpeed.Add(PeerIntoWall(peer, s, a));
                std::snprintf(what, sizeof what, "wall at %.0f units/s, 0/15/45 deg", s);
                PrintTally(peer.label, what, atSpeed);
            }
            PrintTally(peer.label, "ramp landings (20-40 down)", PeerLandings(peer));
            PrintTally(peer.label, "banked ring, 8 cars, 20 s", PeerBankedRing(peer));
        }
#endif
        const float v = 20.0f;
        const double expected = v * v / (2.0 * 1.0 * 9.8);
        std::printf("\nSlide on the roof from %.0f units/s (v^2 / (2 mu g) with mu 1: %.2f)\n", v, expected);
        std::printf("  %-22s %.2f units\n", "game car", GameRoofSlide(v));
#if defined(KX_RACE_WORLD_PEERS)
        for (const PeerSetup& peer : Peers()) std::printf("  %-22s %.2f units\n", peer.label, PeerBoxSlide(peer, v));
#endif
        std::fflush(stdout);
    }
}
BENCHMARK(BM_Robustness)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace
