#pragma once
// A race for the tests: a level file written into a fresh game root with a fresh game-data
// store, loaded through CPLevel::Load with models made in code (a flat road, physics objects,
// meshes) in place of render descriptions, then a human racer and opponents placed by the
// fixture itself, as the racers' half of the load will. Header-only: it counts against the
// test program that includes it, which links the race world.

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "Framework/CommandRouter.h"
#include "Framework/PMMObject.h"
#include "Framework/PTaskKernel.h"
#include "GameData/PGameData.h"
#include "Render/PRenderObject.h"
#include "Scene/PGameObject.h"
#include "World/PAITask.h"
#include "World/PLevel.h"
#include "World/PPhysicData.h"
#include "World/PPhysics.h"
#include "World/PPlayer.h"
#include "World/PSpline.h"
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
        if (it == models.end()) return CPSmartPtr<CPGameObject>();
        return it->second();
    }

    // A level with a ring "c_path" about the origin, unless the writer has splines already.
    static LevelFileWriter RingLevel(float radius = 100.0f, int segments = 16) {
        LevelFileWriter w;
        w.AddSpline(RingSpline("c_path", 0.0f, 0.0f, radius, segments));
        return w;
    }

    bool Load(const LevelFileWriter& writer, const std::string& name = "level9", bool single = false,
              bool time = false) {
        store.Write("Data/Levels/" + name + ".lvl", writer.Bytes());
        return LoadWritten(name, single, time);
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
    std::map<std::string, Maker> models;
    std::vector<ModelRequest> loads;
    CPLevel* level = nullptr;
};

} // namespace kxtest
