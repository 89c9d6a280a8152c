#pragma once
// Fakes of what the layers above the scene install: physics data with its shapes, an enemy
// maker and the enemy records it makes, each recording what the scene asked of it.

#include <memory>
#include <string>
#include <vector>

#include "Framework/PMMObject.h"
#include "Scene/PGameObject.h"
#include "Scene/SceneInterfaces.h"

namespace kxtest {

class FakePhysicData : public IPPhysicData {
public:
    explicit FakePhysicData(CPGameObject* owner, bool hasBody) : owner(owner), hasBody(hasBody) {}
    int GetSize() const override { return sizeof(FakePhysicData); }
    std::string GetClassName() const override { return "FakePhysicData"; }

    void SetShape(float a, float b, float c, float mass) override { shape = {a, b, c, mass}; }
    void AddBoxShape(const D3DXVECTOR3&, const D3DXQUATERNION&, float, float, float, float) override {
        shapes.push_back("box");
    }
    void AddCylinderShape(const D3DXVECTOR3&, const D3DXQUATERNION&, float, float, float) override {
        shapes.push_back("cylinder");
    }
    void SetPosition(const D3DXVECTOR3& p) override { positions.push_back(p); }
    void SetBodyRotation(const D3DXQUATERNION& q) override { rotations.push_back(q); }
    CPSmartPtr<IPPhysicData> CopyShapesFor(CPGameObject* newOwner) const override {
        CPSmartPtr<FakePhysicData> copy(new FakePhysicData(newOwner, false));
        copy->shape = shape;
        copy->shapes = shapes;
        return CPSmartPtr<IPPhysicData>(copy.Get());
    }

    CPGameObject* owner;
    bool hasBody;
    std::vector<float> shape;
    std::vector<std::string> shapes;
    std::vector<D3DXVECTOR3> positions;
    std::vector<D3DXQUATERNION> rotations;
};

struct EnemyCall {
    std::string what;
    D3DXVECTOR3 point{0, 0, 0};
    D3DXVECTOR3 direction{0, 0, 0};
    float amount = 0;
    bool noEffect = false;
    bool silent = false;
};

// Counts the records alive, so a test sees each deleted exactly once.
inline int& LiveEnemyRecords() {
    static int live = 0;
    return live;
}

class FakeEnemy : public IPEnemyHooks {
public:
    explicit FakeEnemy(std::vector<EnemyCall>* calls) : m_calls(calls) { ++LiveEnemyRecords(); }
    ~FakeEnemy() override { --LiveEnemyRecords(); }
    void OnAnimationStopped() override { m_calls->push_back({"stopped"}); }
    void OnAnimationReport() override { m_calls->push_back({"report"}); }
    void OnDamage(const D3DXVECTOR3& point, const D3DXVECTOR3& direction, float amount, bool noEffect,
                  bool silent) override {
        m_calls->push_back({"damage", point, direction, amount, noEffect, silent});
    }

private:
    std::vector<EnemyCall>* m_calls;
};

class FakeEnemyMaker : public IPEnemyMaker {
public:
    std::unique_ptr<IPEnemyHooks> Make(CPGameObject& object) override {
        asked.push_back(object.GetName());
        if (!answer) return nullptr;
        return std::make_unique<FakeEnemy>(&calls);
    }
    bool answer = true;
    std::vector<std::string> asked;
    std::vector<EnemyCall> calls;
};

// Installs the maker for the scope of a test.
class ScopedEnemyMaker {
public:
    explicit ScopedEnemyMaker(IPEnemyMaker* maker) { SetEnemyMaker(maker); }
    ~ScopedEnemyMaker() { SetEnemyMaker(nullptr); }
};

} // namespace kxtest
