#pragma once
// The scene and camera functions' world: a race level written by the level writer and loaded by
// the real loader, the race world's views installed as the game installs them, a shot manager,
// and a Lua state with the object-and-command and scene-and-camera families.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "Framework/PGlobalTimer.h"
#include "Framework/PMMObject.h"
#include "Framework/StartupRegistry.h"
#include "Game/LuaHarness.h"
#include "Game/ScriptApi.h"
#include "Game/ScriptSceneCamera.h"
#include "Platform/Math/D3DXMath.h"
#include "Platform/System/Random.h"
#include "Render/POrientedBox.h"
#include "Render/PPerspectiveCamera.h"
#include "Scene/PGameObject.h"
#include "Script/ScriptBinding.h"
#include "World/PLevel.h"
#include "World/PPlayer.h"
#include "World/PRaceCamera.h"
#include "World/PShot.h"
#include "World/PShotManager.h"
#include "World/RaceWorldStartup.h"
#include "support/RaceFixture.h"

namespace scenecam {

// A spark that lives until the test ends it; the pools clone it.
class SparkShot : public CPShot {
public:
    explicit SparkShot(const std::string& name) : CPShot(name) {}
    CPSmartPtr<CPShot> Clone() override { return CPSmartPtr<CPShot>(new SparkShot(shotName)); }
    bool IsAlive() override { return true; }
};

inline void SetGlobal(lua_State* L, const char* name, const IPMMObject* object) {
    lua_pushlightuserdata(L, Script::HandleToUserdata(object ? object->GetHandle() : 0));
    lua_setglobal(L, name);
}

// A part box of that half size about the object's origin, so rays and frustum tests see it.
inline void GiveBox(CPGameObject& object, const D3DXVECTOR3& halfSize) {
    CPOrientedBox box(D3DXVECTOR3(0, 0, 0), halfSize);
    D3DXMATRIX identity;
    D3DXMatrixIdentity(&identity);
    box.SetLocalMatrix(identity);
    object.PartBoxes().push_back(box);
    object.OwnBox() = box;
    object.SetDirty(true);
}

// Numbers of a dump, read back for comparisons with a tolerance.
inline std::vector<double> Numbers(const std::string& dump) {
    std::vector<double> out;
    std::size_t at = 0;
    while (at < dump.size()) {
        std::size_t end = dump.find(' ', at);
        if (end == std::string::npos) end = dump.size();
        const std::string word = dump.substr(at, end - at);
        char* stop = nullptr;
        const double value = std::strtod(word.c_str(), &stop);
        if (stop && *stop == '\0' && !word.empty()) out.push_back(value);
        at = end + 1;
    }
    return out;
}

class SceneCameraTest : public ::testing::Test {
protected:
    SceneCameraTest() {
        InstallRaceWorld(registry);
        manager = CPSmartPtr<CPShotManager>(new CPShotManager());
        m_savedDelta = g_deltaTime;
        Platform::EngineSeed(1);
    }
    ~SceneCameraTest() override {
        manager->Clear();
        manager = nullptr;
        g_deltaTime = m_savedDelta;
        for (int i = 0; i < 3; ++i) IPMMObject::CollectGarbage();
    }

    // The ring level, loaded; the human racer at the origin with a part box.
    void LoadLevel() {
        ASSERT_TRUE(race.Load(kxtest::RaceFixture::RingLevel())) << race.level->GetLoadError();
        ASSERT_TRUE(race.level->camera);
        human = race.PlaceHuman(D3DXVECTOR3(0, 0, 0));
        GiveBox(*human, D3DXVECTOR3(1, 1, 1));
        human->UpdateTransform();
    }

    // A scripted-free object with a part box, updated, at the point.
    static CPSmartPtr<CPGameObject> BoxAt(const std::string& name, const D3DXVECTOR3& position,
                                          const D3DXVECTOR3& halfSize = D3DXVECTOR3(1, 1, 1)) {
        CPSmartPtr<CPGameObject> object(new CPGameObject(name));
        GiveBox(*object, halfSize);
        object->SetPosition(position);
        object->UpdateTransform();
        return object;
    }

    // Points the level's view camera from the eye at the target (90 degrees, near 1, far 1000).
    void Look(const D3DXVECTOR3& eye, const D3DXVECTOR3& target, const D3DXVECTOR3& up = D3DXVECTOR3(0, 0, 1)) {
        CPPerspectiveCamera& view = *race.level->camera->GetViewCamera();
        view.eye = eye;
        view.target = target;
        view.up = up;
        view.fieldOfView = 1.5707964f;
        view.nearDistance = 1.0f;
        view.farDistance = 1000.0f;
        view.viewDirty = true;
        view.projectionDirty = true;
        view.Update();
    }

    void Give(const char* name, const IPMMObject* object) { SetGlobal(lua.L, name, object); }

    SPStartupRegistry registry;
    kxtest::RaceFixture race;
    CPSmartPtr<CPShotManager> manager;
    CPSmartPtr<CPPlayer> human;
    kxtest::LuaHarness lua{ScriptApi::AddObjectAndCommandFunctions, ScriptApi::AddSceneCameraFunctions};

private:
    float m_savedDelta = 0.0f;
};

} // namespace scenecam
