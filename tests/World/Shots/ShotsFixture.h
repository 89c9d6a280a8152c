#pragma once
// The shot tests' world: a game root with a fresh game-data store, a task kernel, a script
// manager for the "damage" events, a recording router for the named commands, the shot manager
// and, when a test asks, a level and a flat road.

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "Framework/CommandRouter.h"
#include "Framework/PGlobalTimer.h"
#include "Framework/PLog.h"
#include "Framework/PTaskKernel.h"
#include "Platform/Math/D3DXMath.h"
#include "Platform/System/Random.h"
#include "Render/PRenderObject.h"
#include "Scene/PGameObject.h"
#include "Script/PLuaScript.h"
#include "Script/PScriptManager.h"
#include "World/FlatGround.h"
#include "World/PLevel.h"
#include "World/PPhysics.h"
#include "World/PPlayer.h"
#include "World/PShot.h"
#include "World/PShotManager.h"
#include "support/FreshStore.h"
#include "support/RecordingRouter.h"

namespace kxshots {

// A shot kind whose life the test decides; it notes what happens to it.
class TestShot : public CPShot {
public:
    explicit TestShot(const std::string& name, bool clonable = true) : CPShot(name), m_clonable(clonable) {}
    CPSmartPtr<CPShot> Clone() override {
        ++clones;
        if (!m_clonable) return CPSmartPtr<CPShot>();
        return CPSmartPtr<CPShot>(new TestShot(shotName, m_clonable));
    }
    bool IsAlive() override {
        ++checks;
        if (onAlive) onAlive(*this);
        return alive;
    }
    void Launch(const D3DXVECTOR3& position, const D3DXVECTOR3& direction, float launchSpeed,
                const CPSmartPtr<CPGameObject>& owner, const float* speedReference) override {
        ++launches;
        launcher = owner.Get();
        reference = speedReference;
        alive = true;
        CPShot::Launch(position, direction, launchSpeed, owner, speedReference);
        if (onLaunch) onLaunch(*this);
    }

    int clones = 0;
    int checks = 0;
    int launches = 0;
    bool alive = true;
    CPGameObject* launcher = nullptr;
    const float* reference = nullptr;
    std::function<void(TestShot&)> onAlive;
    std::function<void(TestShot&)> onLaunch;

private:
    bool m_clonable;
};

class ShotWorld : public ::testing::Test {
protected:
    ShotWorld() {
        SetCommandRouter(&router);
        manager = CPSmartPtr<CPShotManager>(new CPShotManager());
        CPLog::Instance().SetSink([this](int, const std::string& text) { log.push_back(text); });
        m_savedDelta = g_deltaTime;
        Platform::EngineSeed(1);
    }
    ~ShotWorld() override {
        CPLog::Instance().SetSink(nullptr);
        manager->Clear();
        manager = nullptr;
        delete level;
        physics = nullptr;
        kernel.KillAllTasks();
        kernel.RunPass();
        scriptsByObject.clear();
        SetCommandRouter(nullptr);
        delete scripts;
        for (int i = 0; i < 4; ++i) IPMMObject::CollectGarbage();
        g_deltaTime = m_savedDelta;
    }

    // A pool of test shots: the prototype and the spares, in order.
    std::vector<CPSmartPtr<TestShot>> Pool(const std::string& name, int entries, bool clonable = true) {
        std::vector<CPSmartPtr<TestShot>> out;
        for (int i = 0; i < entries; ++i) {
            CPSmartPtr<TestShot> shot(new TestShot(name, clonable));
            manager->AddToPool(name, CPSmartPtr<CPShot>(shot.Get()));
            out.push_back(shot);
        }
        return out;
    }
    // Every shot under way of that name.
    std::vector<CPShot*> Active(const std::string& name) const {
        std::vector<CPShot*> out;
        for (const CPSmartPtr<CPShot>& shot : manager->GetActiveShots())
            if (shot->GetShotName() == name) out.push_back(shot.Get());
        return out;
    }

    CPLevel& Level() {
        if (!level) level = new CPLevel();
        return *level;
    }
    // An object with a script and a part box of the half size, placed and updated.
    CPSmartPtr<CPGameObject> Target(const std::string& name, const D3DXVECTOR3& position,
                                    const D3DXVECTOR3& halfSize = D3DXVECTOR3(1, 1, 1), bool scripted = true) {
        return Place(CPSmartPtr<CPGameObject>(new CPGameObject(name)), position, halfSize, scripted);
    }
    // A racer without a car, placed the same way; with human, the level's human racer and player.
    CPSmartPtr<CPPlayer> Racer(const D3DXVECTOR3& position, bool human,
                               const D3DXVECTOR3& halfSize = D3DXVECTOR3(1, 1, 1)) {
        CPSmartPtr<CPPlayer> racer(new CPPlayer());
        Place(CPSmartPtr<CPGameObject>(racer.Get()), position, halfSize, true);
        if (human) {
            Level().humanRacer = racer;
            Level().player = racer.Get();
        } else {
            Level().opponents.push_back(racer);
        }
        return racer;
    }
    CPSmartPtr<CPGameObject> Place(CPSmartPtr<CPGameObject> object, const D3DXVECTOR3& position,
                                   const D3DXVECTOR3& halfSize, bool scripted) {
        CPOrientedBox box(D3DXVECTOR3(0, 0, 0), halfSize);
        D3DXMATRIX identity;
        D3DXMatrixIdentity(&identity);
        box.SetLocalMatrix(identity);
        object->PartBoxes().push_back(box);
        object->SetPosition(position);
        if (scripted) {
            CPSmartPtr<CPLuaScript> script(new CPLuaScript());
            kernel.AddTask(CPSmartPtr<IPTask>(script.Get()));
            object->SetScript(script);
            scriptsByObject.push_back(script);
        }
        object->UpdateTransform();
        return object;
    }
    // The commands the object's script received, oldest first, as "name params".
    template <typename T>
    static std::vector<std::string> Events(const CPSmartPtr<T>& object) {
        std::vector<std::string> out;
        CPLuaScript* script = object->GetScriptPointer();
        if (!script) return out;
        for (auto it = script->Queue().rbegin(); it != script->Queue().rend(); ++it)
            out.push_back(it->name + (it->params.empty() ? "" : " " + it->params[0]));
        return out;
    }
    static int Count(const std::vector<std::string>& events, const std::string& event) {
        int n = 0;
        for (const std::string& e : events)
            if (e == event) ++n;
        return n;
    }
    // Commands the router saw with that word.
    std::vector<kxtest::SentCommand> Sent(const std::string& command) const {
        std::vector<kxtest::SentCommand> out;
        for (const kxtest::SentCommand& c : router.sent)
            if (c.command == command) out.push_back(c);
        return out;
    }
    bool Logged(const std::string& part) const {
        for (const std::string& line : log)
            if (line.find(part) != std::string::npos) return true;
        return false;
    }

    // A flat road at z = 0, 200 units across, as the physics task's ground.
    void FlatGround() {
        physics = CPSmartPtr<CPPhysics>(new CPPhysics());
        ground = kxtest::MakeFlatGround(*physics, 21, -100.0f);
    }

    // Frames of the shot manager's task, each of the given length.
    void Frames(int count, float seconds) {
        g_deltaTime = seconds;
        for (int i = 0; i < count; ++i) manager->Update();
    }

    kxtest::FreshGameData root;
    CPTaskKernel kernel;
    CPScriptManager* scripts = new CPScriptManager();
    kxtest::RecordingRouter router;
    CPSmartPtr<CPShotManager> manager;
    CPLevel* level = nullptr;
    CPSmartPtr<CPPhysics> physics;
    CPSmartPtr<CPGameObject> ground;
    std::vector<CPSmartPtr<CPLuaScript>> scriptsByObject;
    std::vector<std::string> log;

private:
    float m_savedDelta = 0.0f;
};

inline bool Near(const D3DXVECTOR3& a, const D3DXVECTOR3& b, float tolerance = 1e-4f) {
    return std::fabs(a.x - b.x) <= tolerance && std::fabs(a.y - b.y) <= tolerance && std::fabs(a.z - b.z) <= tolerance;
}

} // namespace kxshots
