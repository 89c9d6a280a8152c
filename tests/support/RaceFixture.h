#pragma once
// A race for the tests: a level file written into a fresh game root with a fresh game-data
// store, loaded through CPLevel::Load with models made in code (a flat road, physics objects,
// meshes, cars with four wheels) in place of render descriptions. The load places the racers
// on the file's start places; a level written without one gets "enemy01" at the start of its
// "c_path". Tests may still place racers of their own with PlaceHuman and PlaceOpponent.
// RacingLevel() writes a level with everything a race needs. Header-only: it counts against
// the test program that includes it, which links the race world.

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "Framework/CommandRouter.h"
#include "Framework/PGlobalTimer.h"
#include "Framework/PMMObject.h"
#include "Framework/PTaskKernel.h"
#include "GameData/PGameData.h"
#include "Platform/Math/D3DXMath.h"
#include "Render/PRenderObject.h"
#include "Scene/PGameObject.h"
#include "World/PAITask.h"
#include "World/PCar.h"
#include "World/PLevel.h"
#include "World/PPhysicData.h"
#include "World/PPhysics.h"
#include "World/PPlayer.h"
#include "World/PSpline.h"
#include "support/CarWheels.h"
#include "support/FreshStore.h"
#include "support/LevelFileWriter.h"
#include "support/RecordingRouter.h"
#include "support/RoadMesh.h"

namespace kxtest {

// A scene object with a mesh attachment of the road's triangles.
inline CPSmartPtr<CPGameObject> MakeMeshObject(const std::string& name, const RoadMesh& road) {
    CPSmartPtr<CPGameObject> object(new CPGameObject(name));
    CPSmartPtr<CPRenderObject> mesh(new CPRenderObject(object.Get()));
    std::vector<SPVertex> vertices(static_cast<std::size_t>(road.VertexCount()));
    for (std::size_t i = 0; i < vertices.size(); ++i) {
        SPVertex& v = vertices[i];
        v = SPVertex{};
        v.x = road.positions[3 * i];
        v.y = road.positions[3 * i + 1];
        v.z = road.positions[3 * i + 2];
        v.nz = 1.0f;
        v.diffuse = 0xffffffffu;
    }
    mesh->SetMesh(std::move(vertices), road.indices);
    object->SetAttachment(CPSmartPtr<IPMMObject>(mesh.Get()), IPSceneObject::KindMesh);
    return object;
}

// A small box mesh of one unit, for placed objects.
inline CPSmartPtr<CPGameObject> MakeBoxObject(const std::string& name) {
    return MakeMeshObject(name, MakeFlatRoad(1.0f, 1.0f, 1, 1, 0.0f));
}

// A placed object with a physics body shape of the given mass (0: a fixed object).
inline CPSmartPtr<CPGameObject> MakePhysicsObject(const std::string& name, float mass) {
    CPSmartPtr<CPGameObject> object = MakeBoxObject(name);
    CPSmartPtr<CPPhysicData> data(new CPPhysicData(object.Get()));
    data->SetShape(1.0f, 1.0f, 1.0f, mass);
    object->SetPhysicData(CPSmartPtr<IPPhysicData>(data.Get()));
    return object;
}

// A car for the loader: four wheels, the lights the car looks for, a box body of mass 10 and
// the given car description (XML text; empty for none).
inline CPSmartPtr<CPGameObject> MakeCarObject(const std::string& name, const std::string& description = "") {
    CPSmartPtr<CPGameObject> car = MakeBoxObject(name);
    kxtest::AddWheels(*car);
    for (const char* part : {"stoplights", "stoplights2", "backlights", "backlights2"})
        car->AddChild(CPSmartPtr<CPGameObject>(new CPGameObject(part)));
    if (!description.empty()) car->Description().Parse(description.c_str());
    CPSmartPtr<CPPhysicData> data(new CPPhysicData(car.Get()));
    data->SetShape(1.0f, 2.0f, 4.0f, 10.0f);
    data->AddBoxShape(D3DXVECTOR3(0.0f, 0.0f, 0.0f), D3DXQUATERNION(0.0f, 0.0f, 0.0f, 1.0f), 2.0f, 1.0f, 4.0f, 10.0f);
    car->SetPhysicData(CPSmartPtr<IPPhysicData>(data.Get()));
    return car;
}

// A racer of the given flags with a 2 x 4 x 1 box body of mass 10 in the physics world and a
// car on it, as the racers' loader makes one; `human` makes the car the player's.
inline CPSmartPtr<CPPlayer> MakeCarRacer(CPPhysics& physics, const D3DXVECTOR3& position, int flags, bool human) {
    CPSmartPtr<CPPlayer> racer(new CPPlayer());
    racer->SetFlags(flags);
    racer->SetPosition(position);
    racer->UpdateTransform();
    CPSmartPtr<CPPhysicData> data(new CPPhysicData(racer.Get()));
    data->SetShape(1.0f, 2.0f, 4.0f, 10.0f);
    data->AddBoxShape(D3DXVECTOR3(0.0f, 0.0f, 0.0f), D3DXQUATERNION(0.0f, 0.0f, 0.0f, 1.0f), 2.0f, 1.0f, 4.0f, 10.0f);
    racer->SetPhysicData(CPSmartPtr<IPPhysicData>(data.Get()));
    physics.AddBody(CPSmartPtr<CPGameObject>(racer.Get()), true, 0);
    physics.ActivateObject(CPSmartPtr<CPGameObject>(racer.Get()));
    CPSmartPtr<CPCar> car(new CPCar(racer.Get()));
    racer->SetCar(CPSmartPtr<IPMMObject>(car.Get()));
    car->Init(physics.GetSimulator(), human);
    return racer;
}

// One step of the human's car in the hands of a careful computer driver, fed with the human's
// state as the race rules feed slot 11 once a race is over. Nothing while the race is over or
// there is no human.
inline void DriveHumanCarefully(CPLevel& level, AI_Vehicle& driver) {
    CPPlayer* human = level.humanRacer.Get();
    if (!human || level.raceOver) return;
    D3DXMATRIX m;
    D3DXMatrixRotationQuaternion(&m, &human->GetRotationQuaternion());
    const D3DXVECTOR3 back(0.0f, -1.0f, 0.0f);
    D3DXVECTOR3 heading;
    D3DXVec3TransformNormal(&heading, &back, &m);
    const CPCar* car = human->GetCar();
    const float speed = car ? car->GetSpeed() : 0.0f;
    driver.SetState(CPSmartPtr<CPGameObject>(human), heading, human->throttle >= 0.0f ? -speed : speed,
                    level.humanRacer, human->cameraMin, human->cameraMax);
    driver.Update(g_deltaTime);
}

// What RacingLevel writes: a closed route round a circle about the origin, racers' start
// places along it, and optionally posts, checkpoints and the other route splines.
struct RacingLevelSpec {
    float radius = 100.0f;
    int segments = 24;
    int startPlaces = 2;
    bool posts = true;
    int checkpoints = 3;
    // "path" and "right" beside "c_path" (same circle, 3 units in and out).
    bool path = true;
    bool right = true;
};

class RaceFixture {
public:
    using Maker = std::function<CPSmartPtr<CPGameObject>()>;

    // The road of "road_phys<n>.rdf": flat, 400 x 400 units around the origin.
    RaceFixture() : road(MakeFlatRoad(400.0f, 400.0f, 8, 8, 0.0f)) {
        for (std::size_t i = 0; i < road.positions.size(); i += 3) {
            road.positions[i] -= 200.0f;
            road.positions[i + 1] -= 200.0f;
        }
        SetCommandRouter(&router);
        CPLevel::SetModelLoader([this](const std::string& file, int key) { return Make(file, key); });
        // Descriptions every level asks for.
        for (const char* file : {"finish.rdf", "checkpoint2.rdf", "checkpoint2_fire.rdf", "checkpoint2_and_fire.rdf",
                                 "minimap_obj.rdf", "checkpoint.rdf", "checkpoint_a.rdf", "cflag.rdf"})
            models[file] = [file] { return MakeBoxObject(file); };
        models["barrel.rdf"] = [] { return MakePhysicsObject("barrel", 10.0f); };
        models["wreck.rdf"] = [] { return MakePhysicsObject("wreck", 50.0f); };
        models["post.rdf"] = [] { return MakePhysicsObject("post", 0.0f); };
        models["tree.rdf"] = [] { return MakeBoxObject("tree"); };
    }

    ~RaceFixture() {
        if (level) level->Stop();
        delete level;
        level = nullptr;
        CPLevel::SetModelLoader(nullptr);
        SetCommandRouter(nullptr);
        for (int i = 0; i < 4; ++i) IPMMObject::CollectGarbage();
    }

    RaceFixture(const RaceFixture&) = delete;
    RaceFixture& operator=(const RaceFixture&) = delete;

    CPSmartPtr<CPGameObject> Make(const std::string& file, int key) {
        loads.push_back({file, key});
        if (file.rfind("road_phys", 0) == 0)
            return makeRoad ? MakeMeshObject("road", road) : CPSmartPtr<CPGameObject>();
        auto it = models.find(file);
        if (it != models.end()) return it->second();
        // The cars: the opponents' models and the human's (the store's car name, if any).
        const std::string enemy = "_enemy.rdf";
        const bool opponentCar =
            file.size() > enemy.size() && file.compare(file.size() - enemy.size(), enemy.size(), enemy) == 0;
        const std::string human = (store->playerName.empty() ? std::string("zil_130_") : store->playerName) + ".rdf";
        if (makeCars && (opponentCar || file == human)) return MakeCarObject(file, carDescription);
        return CPSmartPtr<CPGameObject>();
    }

    // A level with everything a race needs, on the flat road: "c_path" counter-clockwise round
    // the origin (race order runs clockwise, from a piece to its previous one), start places
    // "enemy01".. one behind the other just past the route's start, the start posts across the
    // route there, checkpoints spread round the ring (the last near the start), "cflag.rdf"
    // flags beside each checkpoint, and "path" and "right" as asked.
    static LevelFileWriter RacingLevel(const RacingLevelSpec& spec = RacingLevelSpec()) {
        LevelFileWriter w;
        const float r = spec.radius;
        w.AddSpline(RingSpline("c_path", 0.0f, 0.0f, r, spec.segments));
        if (spec.path) w.AddSpline(RingSpline("path", 0.0f, 0.0f, r - 3.0f, spec.segments));
        if (spec.right) w.AddSpline(RingSpline("right", 0.0f, 0.0f, r + 3.0f, spec.segments));
        const auto at = [r](float angle, float offset, float& x, float& y) {
            x = (r + offset) * std::cos(angle);
            y = (r + offset) * std::sin(angle);
        };
        // Places one car length apart, counter-clockwise from the start: place 1 leads.
        for (int i = 0; i < spec.startPlaces; ++i) {
            char name[16];
            std::snprintf(name, sizeof name, "enemy%02d", i + 1);
            float x = 0.0f;
            float y = 0.0f;
            at(0.05f + 0.08f * static_cast<float>(i), (i % 2 == 0) ? -1.5f : 1.5f, x, y);
            w.AddObject(name, x, y, 0.0f);
        }
        if (spec.posts) {
            float x = 0.0f;
            float y = 0.0f;
            at(0.0f, -6.0f, x, y);
            w.AddObject("stolb_start_left", x, y, 0.0f);
            at(0.0f, 6.0f, x, y);
            w.AddObject("stolb_start_right", x, y, 0.0f);
        }
        const float tau = 6.2831853f;
        for (int i = 0; i < spec.checkpoints; ++i) {
            const float angle = -tau * static_cast<float>(i + 1) / static_cast<float>(spec.checkpoints + 1) - 0.02f;
            char name[32];
            float x = 0.0f;
            float y = 0.0f;
            at(angle, 0.0f, x, y);
            std::snprintf(name, sizeof name, "checkpoint%02d", i + 1);
            w.AddObject(name, x, y, 0.0f);
            at(angle, -8.0f, x, y);
            std::snprintf(name, sizeof name, "cflag%02d", 2 * i + 1);
            w.AddObject(name, x, y, 0.0f);
            at(angle, 8.0f, x, y);
            std::snprintf(name, sizeof name, "cflag%02d", 2 * i + 2);
            w.AddObject(name, x, y, 0.0f);
        }
        return w;
    }

    // A level with a ring "c_path" about the origin, unless the writer has splines already.
    static LevelFileWriter RingLevel(float radius = 100.0f, int segments = 16) {
        LevelFileWriter w;
        w.AddSpline(RingSpline("c_path", 0.0f, 0.0f, radius, segments));
        return w;
    }

    bool Load(const LevelFileWriter& writer, const std::string& name = "level9", bool single = false,
              bool time = false) {
        store.Write("Data/Levels/" + name + ".lvl", WithStartPlace(writer).Bytes());
        return LoadWritten(name, single, time);
    }

    // The writer as it is when it has a start place, else with "enemy01" at the start of its
    // "c_path" (or the origin): the load needs one for the human racer.
    static LevelFileWriter WithStartPlace(const LevelFileWriter& writer) {
        for (const LevelObject& object : writer.objects)
            if (object.name.rfind("enemy", 0) == 0) return writer;
        LevelFileWriter copy = writer;
        float x = 0.0f;
        float y = 0.0f;
        float z = 0.0f;
        for (const LevelSpline& spline : writer.splines) {
            if (spline.name != "c_path" || spline.segments.empty()) continue;
            x = spline.segments.front().start[0];
            y = spline.segments.front().start[1];
            z = spline.segments.front().start[2];
        }
        copy.AddObject("enemy01", x, y, z);
        return copy;
    }

    bool LoadWritten(const std::string& name, bool single = false, bool time = false) {
        if (level) {
            level->Stop();
            delete level;
        }
        level = new CPLevel();
        return level->Load(name, single, time);
    }

    // The racers' half of the load, as far as the tests need it: the route spline that orders
    // the race and the human racer at a position.
    CPSmartPtr<CPPlayer> PlaceHuman(const D3DXVECTOR3& position) {
        // The loaded human racer leaves the scene and the physics world for the placed one.
        if (CPSmartPtr<CPPlayer> loaded = level->humanRacer) {
            loaded->RemoveFromScene();
            const CPSmartPtr<CPGameObject> object(loaded.Get());
            physics->DeactivateObject(object);
            if (auto* data = dynamic_cast<CPPhysicData*>(loaded->GetPhysicData().Get()))
                physics->RemoveBody(CPSmartPtr<CPPhysicData>(data));
        }
        CPSmartPtr<CPPlayer> racer(new CPPlayer());
        racer->isHuman = true;
        racer->SetPosition(position);
        racer->UpdateTransform();
        level->humanRacer = racer;
        level->player = racer.Get();
        if (!level->progressPath) level->progressPath = level->centrePath;
        if (!level->playerLine) level->playerLine = level->centrePath;
        return racer;
    }

    CPSmartPtr<CPPlayer> PlaceOpponent(const D3DXVECTOR3& position, int flags = 0) {
        CPSmartPtr<CPPlayer> racer(new CPPlayer());
        racer->SetFlags(flags);
        racer->SetPosition(position);
        racer->UpdateTransform();
        level->opponents.push_back(racer);
        return racer;
    }

    struct ModelRequest {
        std::string file;
        int key = 0;
    };

    FreshGameData store;
    RecordingRouter router;
    CPTaskKernel kernel;
    CPSmartPtr<CPPhysics> physics{new CPPhysics()};
    CPSmartPtr<AI_Task> drivers{new AI_Task()};
    RoadMesh road;
    bool makeRoad = true;
    // Whether car models are made for the racers, and the car description they carry.
    bool makeCars = true;
    std::string carDescription;
    std::map<std::string, Maker> models;
    std::vector<ModelRequest> loads;
    CPLevel* level = nullptr;
};

} // namespace kxtest
