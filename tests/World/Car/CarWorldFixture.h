#pragma once
// A physics world over a flat road with racers built in code: the car tests' fixture.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "Framework/CommandRouter.h"
#include "Framework/PSettings.h"
#include "Render/PRenderObject.h"
#include "Render/PVertexEffect.h"
#include "World/FlatGround.h"
#include "World/PCar.h"
#include "World/PLevel.h"
#include "World/PPhysicData.h"
#include "World/PPhysics.h"
#include "World/PPlayer.h"
#include "support/CarDescriptionWriter.h"
#include "support/CarWheels.h"
#include "support/FreshStore.h"
#include "support/RecordingRouter.h"

namespace kxcar {

constexpr float kStep = 1.0f / 60.0f;

// An exhaust emitter that only remembers whether it runs.
class TestEmitter : public CPVertexEffect {
public:
    void Update(float) override {}
    void Apply(SPVertex* destination, const SPVertex* source, int count) override {
        for (int i = 0; i < count; ++i) destination[i] = source[i];
    }
    CPVertexEffect* Clone() const override { return new TestEmitter; }
    void Start() override { playing = true; }
    void Stop() override { playing = false; }
    bool IsPlaying() const override { return playing; }
    bool playing = false;
};

// A scene object that counts how many of its kind are alive.
class CountedObject : public CPGameObject {
public:
    explicit CountedObject(const std::string& name) : CPGameObject(name) { ++alive; }
    ~CountedObject() override { --alive; }
    static inline int alive = 0;
};

struct CarWorld : ::testing::Test {
    CarWorld() {
        SetCommandRouter(&router);
        physics.CreateWorld();
        // A flat road of 2 x 2 triangles per 10-unit square, 200 units across, at z = 0.
        ground = kxtest::MakeFlatGround(physics, 21, -100.0f);
    }
    ~CarWorld() override {
        racers.clear();
        physics.DestroyWorld();
        SetCommandRouter(old);
    }

    // A 2 x 4 x 1 racer of mass 10 with wheel children w0..w(wheels-1) at the corners, its
    // car set up directly.
    CPSmartPtr<CPPlayer> MakeRacer(const std::string& description, bool human, int wheels = 4,
                                   D3DXVECTOR3 position = D3DXVECTOR3(0.0f, 0.0f, 1.0f),
                                   D3DXQUATERNION rotation = D3DXQUATERNION(0.0f, 0.0f, 0.0f, 1.0f)) {
        CPSmartPtr<CPPlayer> racer = MakeRacerBody(description, wheels, position, rotation);
        CPSmartPtr<CPCar> car(new CPCar(racer.Get()));
        racer->SetCar(CPSmartPtr<IPMMObject>(car.Get()));
        car->Init(physics.GetSimulator(), human);
        return racer;
    }

    // The racer of MakeRacer in the world and active, without a car.
    CPSmartPtr<CPPlayer> MakeRacerBody(const std::string& description, int wheels = 4,
                                       D3DXVECTOR3 position = D3DXVECTOR3(0.0f, 0.0f, 1.0f),
                                       D3DXQUATERNION rotation = D3DXQUATERNION(0.0f, 0.0f, 0.0f, 1.0f)) {
        CPSmartPtr<CPPlayer> racer(new CPPlayer);
        racer->SetPosition(position);
        racer->SetRotation(rotation);
        racer->Description().Parse(description.c_str());
        kxtest::AddWheels(*racer, wheels);
        for (const char* light : {"stoplights", "stoplights2", "backlights", "backlights2"})
            racer->AddChild(CPSmartPtr<CPGameObject>(new CPGameObject(light)));
        CPSmartPtr<CPPhysicData> data(new CPPhysicData(racer.Get()));
        data->SetShape(1.0f, 2.0f, 4.0f, 10.0f);
        data->AddBoxShape(D3DXVECTOR3(0.0f, 0.0f, 0.0f), D3DXQUATERNION(0.0f, 0.0f, 0.0f, 1.0f), 2.0f, 1.0f, 4.0f,
                          10.0f);
        racer->SetPhysicData(CPSmartPtr<IPPhysicData>(data.Get()));
        physics.AddBody(CPSmartPtr<CPGameObject>(racer.Get()), true, 0);
        physics.ActivateObject(CPSmartPtr<CPGameObject>(racer.Get()));
        racers.push_back(racer);
        return racer;
    }

    void Step(int steps) {
        for (int i = 0; i < steps; ++i) physics.GetSimulator()->Advance(kStep, 1, nullptr);
    }

    kxtest::FreshGameData gameData;
    kxtest::RecordingRouter router;
    IPCommandRouter* old = GetCommandRouter();
    // An engine object: held, so that a collection never takes it.
    CPSmartPtr<CPPhysics> physicsHolder{new CPPhysics};
    CPPhysics& physics = *physicsHolder;
    CPSmartPtr<CPGameObject> ground;
    std::vector<CPSmartPtr<CPPlayer>> racers;
};

} // namespace kxcar
