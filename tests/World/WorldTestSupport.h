#pragma once
// Helpers of the race world's tests: a physics task per test, objects with physics data made
// in code, and generated roads as render objects under an owner that places them.

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "Framework/PGlobalTimer.h"
#include "Framework/PMMObject.h"
#include "Framework/PSettings.h"
#include "Render/PRenderObject.h"
#include "Scene/PGameObject.h"
#include "World/PLevel.h"
#include "World/PPhysicData.h"
#include "World/PPhysics.h"
#include "support/RoadMesh.h"

namespace kxtest {

// A generated road as the level hands it to the physics world.
struct RoadObject {
    CPSmartPtr<CPGameObject> owner;
    CPSmartPtr<CPRenderObject> mesh;
};

inline RoadObject MakeRoadObject(const RoadMesh& road, const D3DXVECTOR3& position = D3DXVECTOR3(0, 0, 0),
                                 const D3DXQUATERNION& rotation = D3DXQUATERNION(0, 0, 0, 1)) {
    RoadObject out;
    out.owner = CPSmartPtr<CPGameObject>(new CPGameObject("road"));
    out.owner->SetPosition(position);
    out.owner->SetRotation(rotation);
    out.owner->UpdateTransform();
    std::vector<SPVertex> vertices(static_cast<std::size_t>(road.VertexCount()));
    for (std::size_t i = 0; i < vertices.size(); ++i) {
        vertices[i] = SPVertex{};
        vertices[i].x = road.positions[3 * i];
        vertices[i].y = road.positions[3 * i + 1];
        vertices[i].z = road.positions[3 * i + 2];
    }
    out.mesh = CPSmartPtr<CPRenderObject>(new CPRenderObject(out.owner.Get()));
    out.mesh->SetMesh(std::move(vertices), road.indices);
    return out;
}

// A physics task, "weight_div" 1 and no frame time for every test; everything collected after.
class WorldTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_savedWeightDiv = g_weight_div;
        m_savedDelta = g_deltaTime;
        g_weight_div = 1;
        g_deltaTime = 0.0f;
        physics = CPSmartPtr<CPPhysics>(new CPPhysics());
    }
    void TearDown() override {
        physics->DestroyWorld();
        physics = nullptr;
        for (int i = 0; i < 4; ++i) IPMMObject::CollectGarbage();
        g_weight_div = m_savedWeightDiv;
        g_deltaTime = m_savedDelta;
    }

    // An object with fresh physics data: a body box of sizes (b, a, c) and the mass, one box
    // shape of the same sizes.
    static CPSmartPtr<CPGameObject> MakeBody(const std::string& name, float a, float b, float c, float mass,
                                             const D3DXVECTOR3& position) {
        CPSmartPtr<CPGameObject> object(new CPGameObject(name));
        CPSmartPtr<CPPhysicData> data(new CPPhysicData(object.Get()));
        data->SetShape(a, b, c, mass);
        data->AddBoxShape(D3DXVECTOR3(0, 0, 0), D3DXQUATERNION(0, 0, 0, 1), b, a, c, mass);
        object->SetPhysicData(CPSmartPtr<IPPhysicData>(data));
        object->SetPosition(position);
        return object;
    }
    static CPPhysicData* Data(const CPSmartPtr<CPGameObject>& object) {
        return dynamic_cast<CPPhysicData*>(object->GetPhysicData().Get());
    }
    // One frame of the given length through the task.
    void Frame(float seconds) {
        g_deltaTime = seconds;
        physics->Update();
        g_deltaTime = 0.0f;
    }

    CPSmartPtr<CPPhysics> physics;

private:
    int m_savedWeightDiv = 0;
    float m_savedDelta = 0.0f;
};

} // namespace kxtest
