// The scene, camera, light and lightning functions called from Lua: what each answers without a
// level, without arguments and with objects of the wrong kind or already gone; placing, turning,
// finding and copying objects; rays from a point and from the screen; the race camera and its
// show-case mode; the sun light; and a lightning strike aimed at a racer.
#include "SceneCameraFixture.h"

#include "Framework/PLog.h"
#include "Physics/RbBody.h"
#include "Render/PRender.h"
#include "Render/PRenderSeams.h"
#include "Script/PLuaScript.h"
#include "Script/PScriptManager.h"
#include "Script/ScriptFunctions.h"
#include "World/PEnemy.h"
#include "World/PLightningStrike.h"
#include "World/PPhysicData.h"
#include "World/PPhysics.h"
#include "support/Near.h"
#include "support/ScriptReportLine.h"

namespace {

using scenecam::SceneCameraTest;

constexpr double kPi = 3.14159265358979323846;

struct Case {
    const char* call;
    const char* want;
};

// ---- robustness ---------------------------------------------------------------------------

// Every function with no level and no arguments (the one required argument aside).
TEST_F(SceneCameraTest, WithoutALevelOrArgumentsEachAnswersItsDefault) {
    ASSERT_EQ(CPLevel::GetInstance(), nullptr);
    const Case cases[] = {
        {"SetPosition()", ""},
        {"GetPosition()", ""},
        {"SetRotation()", ""},
        {"GetBBoxInfo()", ""},
        {"PointerToString(FindObject())", "\"0\""},
        {"SetObjectVisible()", ""},
        {"IsRigid()", "false"},
        {"PointerToString(Clone())", "\"0\""},
        {"CheckVisible()", "false"},
        {"CrossPlayerRay()", "false 0 0 0"},
        {"CrossPlayerRay(0, 0, 0, 0, 0, -4)", "false 0 0 -1"},
        {"CrossInterfaceRay(0.5, 0.5)", ""},
        {"CrossInterfaceRay()", ""},
        {"SetCamera(true)", ""},
        {"SetCameraPos(1, 2, 3)", ""},
        {"SetCameraZAngle(1)", ""},
        {"GetCameraZAngle()", ""},
        {"GetCameraPositions()", ""},
        {"SetFOV(60)", ""},
        {"GetFov1()", ""},
        {"GetFov2()", ""},
        {"GetCameraPlayer()", ""},
        {"ChangeGameCamera()", "-1"},
        {"SetCameraPlayer(true)", ""},
        {"IsCameraShake()", "false"},
        {"GetLight()", ""},
        {"SetLight(1, 2, 3)", ""},
        {"DrawLine()", ""},
        {"DrawLine(0, 0, 0, 1, 1, 1)", ""},
        {"GetTextureSize('Data\\\\Textures\\\\missing.tga')", "0 0"},
        {"DumpTextures()", ""},
        {"UpdateTrasser()", "-1"},
        {"UpdateTrasser(nil)", "-1"},
        {"UpdateTrasser(5)", "-1"},
        // A strike is made without a level, but has nothing to strike in.
        {"UpdateTrasser(StartLighting())", "-1"},
    };
    for (const Case& c : cases) EXPECT_EQ(lua.Eval(c.call), c.want) << c.call;
    // The one required argument.
    EXPECT_NE(lua.Eval("GetTextureSize()").find("error"), std::string::npos);
    EXPECT_NE(lua.Eval("GetTextureSize({})").find("error"), std::string::npos);
}

TEST_F(SceneCameraTest, ObjectsOfTheWrongKindOrGoneAreNoObjects) {
    LoadLevel();
    CPSmartPtr<CPPerspectiveCamera> notScene(new CPPerspectiveCamera());
    CPSmartPtr<CPGameObject> gone(new CPGameObject("gone"));
    Give("camera", notScene.Get());
    Give("gone", gone.Get());
    gone = nullptr;
    IPMMObject::CollectGarbage();
    Give("scene", race.level->levelScene.Get());
    for (const char* object : {"camera", "gone", "5", "'text'", "{}", "nil"}) {
        const std::string o = object;
        const Case cases[] = {
            {"SetPosition(@, 1, 2, 3)", ""},
            {"GetPosition(@)", ""},
            {"SetRotation(@, 1, 2, 3)", ""},
            {"GetBBoxInfo(@)", ""},
            {"PointerToString(FindObject(@, 'x'))", "\"0\""},
            {"SetObjectVisible(@, true)", ""},
            {"IsRigid(@)", "false"},
            {"PointerToString(Clone(@))", "\"0\""},
            {"CheckVisible(@)", "false"},
            {"UpdateTrasser(@)", "-1"},
        };
        for (const Case& c : cases) {
            std::string call = c.call;
            call.replace(call.find('@'), 1, o);
            EXPECT_EQ(lua.Eval(call), c.want) << call;
        }
    }
    // A scene object that is no strike.
    EXPECT_EQ(lua.Eval("UpdateTrasser(scene)"), "-1");
}

// With a level but no race camera, the camera's functions do nothing; the level's own values
// still answer.
TEST_F(SceneCameraTest, ALevelWithoutItsRaceCamera) {
    LoadLevel();
    race.level->camera = nullptr;
    race.level->camera1Fov = 55.0f;
    const Case cases[] = {
        {"SetCamera(true)", ""},      {"SetCameraPos(1, 2, 3)", ""},       {"SetCameraZAngle(1)", ""},
        {"GetCameraZAngle()", ""},    {"GetCameraPositions()", ""},        {"SetFOV(60)", ""},
        {"IsCameraShake()", "false"}, {"CrossInterfaceRay(0.5, 0.5)", ""}, {"GetFov1()", "55"},
        {"GetCameraPlayer()", "0"},   {"ChangeGameCamera()", "1"},         {"SetCameraPlayer(false)", ""},
        {"GetCameraPlayer()", "0"},
    };
    for (const Case& c : cases) EXPECT_EQ(lua.Eval(c.call), c.want) << c.call;
    EXPECT_EQ(race.level->showcaseCamera, 0);
}

// NaN, infinities and huge numbers reach the functions as scripts pass them: nothing crashes and
// the camera keeps a usable field of view.
TEST_F(SceneCameraTest, HostileNumbers) {
    LoadLevel();
    auto box = BoxAt("box", D3DXVECTOR3(5, 5, 0));
    Give("box", box.Get());
    for (const char* value : {"0/0", "1/0", "-1/0", "1e308", "-1e308"}) {
        const std::string v = value;
        const std::vector<std::string> calls = {"SetPosition(box, " + v + ", " + v + ", " + v + ")",
                                                "SetRotation(box, " + v + ", 0, " + v + ")",
                                                "GetPosition(box)",
                                                "GetBBoxInfo(box)",
                                                "CheckVisible(box)",
                                                "CrossPlayerRay(" + v + ", 0, 0, " + v + ", 1, 0)",
                                                "CrossPlayerRay(0, 0, 0, " + v + ", 0, 0)",
                                                "CrossInterfaceRay(" + v + ", " + v + ")",
                                                "SetCameraPos(" + v + ", 0, 0)",
                                                "SetCameraZAngle(" + v + ")",
                                                "SetFOV(" + v + ")",
                                                "DrawLine(" + v + ", 0, 0, 0, 0, " + v + ")",
                                                "StartLighting('s', " + v + ", 0, 0, " + v + ", 0, 0)"};
        for (const std::string& call : calls) {
            EXPECT_EQ(lua.Eval(call).find("error"), std::string::npos) << call;
        }
    }
    // Infinite and NaN fields of view are refused; the finite huge ones are clamped.
    EXPECT_TRUE(std::isfinite(race.level->camera->targetFov));
    EXPECT_LE(race.level->camera->targetFov, CPCamera::kMaxFov);
}

// ---- objects ------------------------------------------------------------------------------

TEST_F(SceneCameraTest, SetAndGetPosition) {
    CPSmartPtr<CPGameObject> parent(new CPGameObject("parent"));
    auto child = BoxAt("child", D3DXVECTOR3(0, 0, 0));
    parent->AddChild(child);
    Give("parent", parent.Get());
    Give("child", child.Get());
    EXPECT_EQ(lua.Eval("SetPosition(parent, 1.5, -2, 3)"), "");
    EXPECT_EQ(lua.Eval("GetPosition(parent)"), "1.5 -2 3");
    // The transform is updated at once, children included.
    EXPECT_FLOAT_EQ(parent->GetWorldMatrix()._41, 1.5f);
    EXPECT_FLOAT_EQ(child->GetWorldMatrix()._42, -2.0f);
    EXPECT_FALSE(parent->IsDirty());
    // Missing numbers read 0.
    EXPECT_EQ(lua.Eval("SetPosition(parent, 7)"), "");
    EXPECT_EQ(lua.Eval("GetPosition(parent)"), "7 0 0");
}

TEST_F(SceneCameraTest, SetRotationTurnsAboutXThenYThenZ) {
    auto object = BoxAt("object", D3DXVECTOR3(0, 0, 0));
    Give("object", object.Get());
    EXPECT_EQ(lua.Eval("SetRotation(object, math.pi / 2, 0, 0)"), "");
    // About x only: the object's y axis now points along world z, its x axis stays.
    const D3DXQUATERNION q = object->GetRotationQuaternion();
    EXPECT_NEAR(std::fabs(q.x), std::sqrt(0.5), 1e-5);
    EXPECT_NEAR(q.y, 0.0, 1e-6);
    EXPECT_NEAR(q.z, 0.0, 1e-6);
    const D3DXMATRIX& m = object->GetWorldMatrix();
    EXPECT_NEAR(m._11, 1.0, 1e-5);
    EXPECT_NEAR(m._22, 0.0, 1e-5);
    EXPECT_NEAR(m._23, 1.0, 1e-5);
    EXPECT_NEAR(m._32, -1.0, 1e-5);

    // The order: x first, then y, then z (row vectors), as the matrices multiply.
    EXPECT_EQ(lua.Eval("SetRotation(object, 0.3, -0.7, 1.1)"), "");
    D3DXMATRIX x, y, z, xy, want;
    D3DXMatrixRotationX(&x, 0.3f);
    D3DXMatrixRotationY(&y, -0.7f);
    D3DXMatrixRotationZ(&z, 1.1f);
    D3DXMatrixMultiply(&xy, &x, &y);
    D3DXMatrixMultiply(&want, &xy, &z);
    const D3DXMATRIX& got = object->GetWorldMatrix();
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) EXPECT_NEAR(got.m[r][c], want.m[r][c], 1e-5) << r << "," << c;
}

TEST_F(SceneCameraTest, SetRotationTurnsThePhysicsBodyToo) {
    LoadLevel();
    auto barrel = kxtest::MakePhysicsObject("barrel", 10.0f);
    auto* data = dynamic_cast<CPPhysicData*>(barrel->GetPhysicData().Get());
    ASSERT_NE(data, nullptr);
    Give("barrel", barrel.Get());
    EXPECT_EQ(lua.Eval("IsRigid(barrel)"), "false");
    data->AddToWorld(1);
    ASSERT_NE(data->GetRigidBody(), nullptr);
    EXPECT_EQ(lua.Eval("IsRigid(barrel)"), "true");
    EXPECT_EQ(lua.Eval("SetRotation(barrel, math.pi / 2, 0, 0)"), "");
    EXPECT_EQ(lua.Eval("SetPosition(barrel, 4, 5, 6)"), "");
    RbRigidBody* body = data->GetRigidBody();
    ASSERT_NE(body, nullptr);
    const RbQuaternion r = body->GetRotation();
    EXPECT_NEAR(std::fabs(r.x), std::sqrt(0.5), 1e-4);
    EXPECT_NEAR(r.y, 0.0, 1e-4);
    EXPECT_NEAR(r.z, 0.0, 1e-4);
    const RbVector p = body->GetPosition();
    EXPECT_NEAR(p.x, 4.0, 1e-4);
    EXPECT_NEAR(p.y, 5.0, 1e-4);
    EXPECT_NEAR(p.z, 6.0, 1e-4);
    data->RemoveFromWorld();
}

TEST_F(SceneCameraTest, GetBBoxInfoGivesTheWorldBoxCentreMinimumAndMaximum) {
    auto object = BoxAt("object", D3DXVECTOR3(10, 20, 30), D3DXVECTOR3(1, 2, 3));
    Give("object", object.Get());
    const std::vector<double> got = scenecam::Numbers(lua.Eval("GetBBoxInfo(object)"));
    const std::vector<double> want = {10, 20, 30, 9, 18, 27, 11, 22, 33};
    ASSERT_EQ(got.size(), want.size());
    for (std::size_t i = 0; i < want.size(); ++i) EXPECT_NEAR(got[i], want[i], 1e-4) << i;
}

TEST_F(SceneCameraTest, FindObjectHoldsOneReferenceForTheScript) {
    CPSmartPtr<CPGameObject> root(new CPGameObject("root"));
    CPSmartPtr<CPGameObject> wheel(new CPGameObject("wheel"));
    CPSmartPtr<CPGameObject> hub(new CPGameObject("hub"));
    root->AddChild(wheel);
    wheel->AddChild(hub);
    Give("root", root.Get());
    const std::string hubHandle = "\"" + std::to_string(hub->GetHandle()) + "\"";
    EXPECT_EQ(lua.Eval("PointerToString(FindObject(root, 'missing'))"), "\"0\"");
    // The object's own name is never compared.
    EXPECT_EQ(lua.Eval("PointerToString(FindObject(root, 'root'))"), "\"0\"");
    EXPECT_EQ(Script::ScriptReferenceCount(hub.Get()), 0);
    const int before = hub->GetRefCount();
    lua.Run("found = FindObject(root, 'hub')");
    EXPECT_EQ(lua.Eval("PointerToString(found)"), hubHandle);
    EXPECT_EQ(Script::ScriptReferenceCount(hub.Get()), 1);
    EXPECT_EQ(hub->GetRefCount(), before + 1);
    lua.Run("Release(found)");
    EXPECT_EQ(Script::ScriptReferenceCount(hub.Get()), 0);
    EXPECT_EQ(hub->GetRefCount(), before);
    // The name is required only when an object is given.
    EXPECT_NE(lua.Eval("FindObject(root)").find("error"), std::string::npos);
    EXPECT_EQ(lua.Eval("PointerToString(FindObject(nil))"), "\"0\"");
}

TEST_F(SceneCameraTest, SetObjectVisible) {
    auto object = BoxAt("object", D3DXVECTOR3(0, 0, 0));
    Give("object", object.Get());
    const Case cases[] = {
        {"SetObjectVisible(object, false)", "0"}, {"SetObjectVisible(object, 0)", "1"},
        {"SetObjectVisible(object)", "0"},        {"SetObjectVisible(object, 'yes')", "1"},
        {"SetObjectVisible(object, nil)", "0"},
    };
    for (const Case& c : cases) {
        lua.Run(c.call);
        EXPECT_EQ(object->IsVisible() ? "1" : "0", std::string(c.want)) << c.call;
    }
}

TEST_F(SceneCameraTest, CloneIsADeepCopyHeldByTheScript) {
    auto source = BoxAt("crate", D3DXVECTOR3(3, 4, 5), D3DXVECTOR3(1, 1, 1));
    source->AddChild(BoxAt("lid", D3DXVECTOR3(0, 0, 1)));
    Give("source", source.Get());
    lua.Run("copy = Clone(source)");
    const auto* copy = IPMMObject::FindByHandle<CPGameObject>(
        static_cast<PMMHandle>(std::stoll(lua.Eval("PointerToString(copy)").substr(1))));
    ASSERT_NE(copy, nullptr);
    EXPECT_NE(copy, source.Get());
    EXPECT_EQ(copy->GetName(), "crate");
    EXPECT_EQ(lua.Eval("GetPosition(copy)"), "3 4 5");
    ASSERT_EQ(copy->GetChildren().size(), 1u);
    EXPECT_NE(copy->GetChildren()[0].Get(), source->GetChildren()[0].Get());
    EXPECT_FALSE(copy->IsInScene());
    EXPECT_EQ(Script::ScriptReferenceCount(copy), 1);
    EXPECT_EQ(copy->GetRefCount(), 1);
    // Moving the copy leaves the source.
    lua.Run("SetPosition(copy, 9, 9, 9)");
    EXPECT_EQ(lua.Eval("GetPosition(source)"), "3 4 5");
    // Released by the script, it goes with the next collection.
    const PMMHandle handle = copy->GetHandle();
    lua.Run("Release(copy)");
    IPMMObject::CollectGarbage();
    EXPECT_EQ(IPMMObject::FindByHandle(handle), nullptr);
}

TEST_F(SceneCameraTest, CloneOfAnEnemyGetsItsOwnEnemyRecord) {
    auto enemy = BoxAt("wolf", D3DXVECTOR3(0, 0, 0));
    enemy->Description().Parse("<enemy name=\"wolf\" health=\"30\" kind=\"beast\"/>");
    enemy->SetEnemy(MakeEnemyRecord(*enemy));
    ASSERT_NE(enemy->GetEnemy(), nullptr);
    Give("enemy", enemy.Get());
    lua.Run("copy = Clone(enemy)");
    auto* copy = IPMMObject::FindByHandle<CPGameObject>(
        static_cast<PMMHandle>(std::stoll(lua.Eval("PointerToString(copy)").substr(1))));
    ASSERT_NE(copy, nullptr);
    auto* record = dynamic_cast<CPEnemy*>(copy->GetEnemy());
    ASSERT_NE(record, nullptr);
    EXPECT_NE(static_cast<IPEnemyHooks*>(record), enemy->GetEnemy());
    EXPECT_EQ(record->name, "wolf");
    lua.Run("Release(copy)");
}

TEST_F(SceneCameraTest, CheckVisibleTestsThePartsBoxAgainstTheViewCamera) {
    LoadLevel();
    Look(D3DXVECTOR3(0, 0, 10), D3DXVECTOR3(100, 0, 10));
    auto ahead = BoxAt("ahead", D3DXVECTOR3(50, 0, 10));
    auto behind = BoxAt("behind", D3DXVECTOR3(-50, 0, 10));
    auto beyond = BoxAt("beyond", D3DXVECTOR3(2000, 0, 10));
    auto side = BoxAt("side", D3DXVECTOR3(10, 200, 10));
    Give("ahead", ahead.Get());
    Give("behind", behind.Get());
    Give("beyond", beyond.Get());
    Give("side", side.Get());
    const Case cases[] = {
        {"CheckVisible(ahead)", "true"},
        {"CheckVisible(behind)", "false"},
        {"CheckVisible(beyond)", "false"},
        {"CheckVisible(side)", "false"},
    };
    for (const Case& c : cases) EXPECT_EQ(lua.Eval(c.call), c.want) << c.call;
    // Moved into view by the script, it is seen at once.
    lua.Run("SetPosition(behind, 30, 5, 10)");
    EXPECT_EQ(lua.Eval("CheckVisible(behind)"), "true");
}

// ---- rays ---------------------------------------------------------------------------------

TEST_F(SceneCameraTest, CrossPlayerRayAnswersTheWholeRayWhenClearAndTheDirectionWhenNot) {
    LoadLevel();
    auto crate = BoxAt("crate", D3DXVECTOR3(10, 0, 0));
    race.level->activeObjects.push_back(crate);
    const Case cases[] = {
        // Clear: the direction times the length, the ray as given.
        {"CrossPlayerRay(-5, 0, 0, 0, 20, 0)", "true 0 20 0"},
        {"CrossPlayerRay(-5, 0, 0, 0, 0, -3)", "true 0 0 -3"},
        // Through the crate: the unit direction.
        {"CrossPlayerRay(-5, 0, 0, 20, 0, 0)", "false 1 0 0"},
        // Short of the crate.
        {"CrossPlayerRay(-5, 0, 0, 4, 0, 0)", "true 4 0 0"},
        // No length: no direction, nothing met.
        {"CrossPlayerRay(-5, 0, 0, 0, 0, 0)", "true 0 0 0"},
    };
    for (const Case& c : cases) EXPECT_EQ(lua.Eval(c.call), c.want) << c.call;
}

TEST_F(SceneCameraTest, CrossInterfaceRayGoesThroughTheScreenCentreToTheGround) {
    LoadLevel();
    human->SetPosition(D3DXVECTOR3(30, 60, 0));
    human->UpdateTransform();
    auto crate = BoxAt("crate", D3DXVECTOR3(30, 40, 0));
    race.level->activeObjects.push_back(crate);
    Look(D3DXVECTOR3(10, 20, 50), D3DXVECTOR3(30, 40, 0));
    const std::string crateHandle = std::to_string(crate->GetHandle());
    lua.Run("hit, object, x, y, z = CrossInterfaceRay(0.5, 0.5)");
    EXPECT_EQ(lua.Eval("hit, PointerToString(object), z"), "true \"" + crateHandle + "\" 0");
    const std::vector<double> point = scenecam::Numbers(lua.Eval("x, y"));
    ASSERT_EQ(point.size(), 2u);
    EXPECT_NEAR(point[0], 30.0, 1e-3);
    EXPECT_NEAR(point[1], 40.0, 1e-3);

    // Nothing in the way: no hit, the null object, the same ground point.
    race.level->activeObjects.clear();
    lua.Run("hit, object, x, y, z = CrossInterfaceRay(0.5, 0.5)");
    EXPECT_EQ(lua.Eval("hit, PointerToString(object), z"), "false \"0\" 0");
    EXPECT_NEAR(scenecam::Numbers(lua.Eval("x"))[0], 30.0, 1e-3);

    // Looking straight down with +y up the screen (left-handed: screen right is world -x), the
    // top left corner meets the ground at +x, +y, and the bottom right one opposite it.
    Look(D3DXVECTOR3(0, 0, 50), D3DXVECTOR3(0, 0, 0), D3DXVECTOR3(0, 1, 0));
    const std::vector<double> corner = scenecam::Numbers(lua.Eval("select(3, CrossInterfaceRay(0, 0))"));
    const std::vector<double> opposite = scenecam::Numbers(lua.Eval("select(3, CrossInterfaceRay(1, 1))"));
    ASSERT_EQ(corner.size(), 3u);
    ASSERT_EQ(opposite.size(), 3u);
    EXPECT_GT(corner[0], 1.0);
    EXPECT_GT(corner[1], 1.0);
    EXPECT_NEAR(opposite[0], -corner[0], 1e-3);
    EXPECT_NEAR(opposite[1], -corner[1], 1e-3);
}

// A ray along the ground plane never meets it: the point under the eye stands in, where the
// division by the ray's height would give infinities.
TEST_F(SceneCameraTest, CrossInterfaceRayParallelToTheGround) {
    LoadLevel();
    Look(D3DXVECTOR3(7, -3, 10), D3DXVECTOR3(107, -3, 10));
    lua.Run("hit, object, x, y, z = CrossInterfaceRay(0.5, 0.5)");
    EXPECT_EQ(lua.Eval("x, y, z"), "7 -3 0");
}

// ---- camera -------------------------------------------------------------------------------

TEST_F(SceneCameraTest, CameraTargetAndYaw) {
    LoadLevel();
    CPCamera& camera = *race.level->camera;
    EXPECT_EQ(lua.Eval("SetCameraPos(1, 2, 3)"), "");
    EXPECT_EQ(camera.targetPoint, D3DXVECTOR3(1, 2, 3));
    EXPECT_EQ(lua.Eval("SetCameraZAngle(0.25)"), "");
    EXPECT_EQ(camera.targetYaw, 0.25f);
    EXPECT_EQ(lua.Eval("GetCameraZAngle()"), "0.25");
    camera.shakeOn = true;
    EXPECT_EQ(lua.Eval("IsCameraShake()"), "true");
    camera.shakeOn = false;
    EXPECT_EQ(lua.Eval("IsCameraShake()"), "false");
}

TEST_F(SceneCameraTest, GetCameraPositionsGivesTheEyeThenTheTargetOrTheOutsideLookAt) {
    LoadLevel();
    CPCamera& camera = *race.level->camera;
    Look(D3DXVECTOR3(1, 2, 3), D3DXVECTOR3(100, 2, 3));
    camera.targetPoint = D3DXVECTOR3(4, 5, 6);
    camera.externalLookAt = D3DXVECTOR3(7, 8, 9);
    camera.SetExternalView(false);
    EXPECT_EQ(lua.Eval("GetCameraPositions()"), "1 2 3 4 5 6");
    camera.SetExternalView(true);
    EXPECT_EQ(lua.Eval("GetCameraPositions()"), "1 2 3 7 8 9");
}

TEST_F(SceneCameraTest, SetFOVClampsAndTheLevelKeepsBothSettings) {
    LoadLevel();
    CPCamera& camera = *race.level->camera;
    race.level->camera1Fov = 65.0f;
    race.level->camera2Fov = 80.0f;
    EXPECT_EQ(lua.Eval("GetFov1(), GetFov2()"), "65 80");
    const struct {
        const char* call;
        float target;
    } cases[] = {{"SetFOV(70)", 70.0f},   {"SetFOV(150)", CPCamera::kMaxFov},
                 {"SetFOV(120)", 120.0f}, {"SetFOV(0/0)", 120.0f},
                 {"SetFOV(1/0)", 120.0f}, {"SetFOV(45)", 45.0f}};
    for (const auto& c : cases) {
        EXPECT_EQ(lua.Eval(c.call), "") << c.call;
        EXPECT_EQ(camera.targetFov, c.target) << c.call;
    }
}

// The camera switch walks the modes 0, 1, 2 and round again; each mode takes its camera setting by
// the level's one rule: the first in modes 0 and 2 (2 seen from the car-fixed view), the second in
// mode 1, and the camera turns behind the player's car in modes 0 and 1.
TEST_F(SceneCameraTest, ChangeGameCameraWalksTheModesTakingEachModesSetting) {
    LoadLevel();
    CPLevel& level = *race.level;
    CPCamera& camera = *level.camera;
    D3DXQUATERNION turned;
    D3DXQuaternionRotationYawPitchRoll(&turned, 0.0f, 0.0f, 0.6f);
    human->SetRotation(turned);
    human->UpdateTransform();
    level.camera1Height = 3.0f;
    level.camera1Distance = 9.0f;
    level.camera1Angle = 0.1f;
    level.camera1AngleDiv = 4.0f;
    level.camera1DistanceDiv = 5.0f;
    level.camera2Height = 1.5f;
    level.camera2Distance = 6.0f;
    level.camera2Angle = 0.2f;
    level.camera2AngleDiv = 7.0f;
    level.camera2DistanceDiv = 8.0f;
    level.cameraMode = 0;
    level.player = nullptr;
    const float behind = CPLevel::HeadingOf(human.Get());

    const struct {
        int mode;
        bool second, external;
    } steps[] = {{1, true, false}, {2, false, true}, {0, false, false}, {1, true, false}};
    for (const auto& step : steps) {
        camera.targetYaw = 5.0f;
        EXPECT_EQ(lua.Eval("ChangeGameCamera()"), std::to_string(step.mode));
        EXPECT_EQ(level.cameraMode, step.mode);
        EXPECT_EQ(lua.Eval("GetCameraPlayer()"), std::to_string(step.mode));
        EXPECT_EQ(level.player, human.Get()) << step.mode;
        EXPECT_EQ(level.cameraHeight, step.second ? 1.5f : 3.0f) << step.mode;
        EXPECT_EQ(level.cameraDistance, step.second ? 6.0f : 9.0f) << step.mode;
        EXPECT_EQ(level.cameraAngle, step.second ? 0.2f : 0.1f) << step.mode;
        EXPECT_EQ(level.cameraAngleDiv, step.second ? 7.0f : 4.0f) << step.mode;
        EXPECT_EQ(level.cameraDistanceDiv, step.second ? 8.0f : 5.0f) << step.mode;
        EXPECT_EQ(camera.IsExternalView(), step.external) << step.mode;
        EXPECT_EQ(camera.targetYaw, step.external ? 5.0f : behind) << step.mode;
    }
    // A mode the level could not have had starts the walk again.
    level.cameraMode = 7;
    EXPECT_EQ(lua.Eval("ChangeGameCamera()"), "0");
    level.cameraMode = -3;
    EXPECT_EQ(lua.Eval("ChangeGameCamera()"), "0");
}

TEST_F(SceneCameraTest, SetCameraPlayerChoosesTheSecondSettingOrTheFirst) {
    LoadLevel();
    CPLevel& level = *race.level;
    level.camera1Height = 3.0f;
    level.camera2Height = 1.5f;
    level.camera->SetExternalView(true);
    level.player = nullptr;
    EXPECT_EQ(lua.Eval("SetCameraPlayer(true)"), "");
    EXPECT_EQ(level.cameraMode, 1);
    EXPECT_EQ(level.cameraHeight, 1.5f);
    EXPECT_FALSE(level.camera->IsExternalView());
    EXPECT_EQ(level.player, human.Get());
    EXPECT_EQ(lua.Eval("SetCameraPlayer(false)"), "");
    EXPECT_EQ(level.cameraMode, 0);
    EXPECT_EQ(level.cameraHeight, 3.0f);
    EXPECT_EQ(lua.Eval("SetCameraPlayer(1)"), "");
    EXPECT_EQ(level.cameraMode, 1);
    EXPECT_EQ(lua.Eval("SetCameraPlayer()"), "");
    EXPECT_EQ(level.cameraMode, 0);
}

// Switching the show-case camera draws its circling direction and its tilt from the engine
// generator; asking for the state it is already in draws nothing.
TEST_F(SceneCameraTest, SetCameraChangesTheShowcaseStateOnce) {
    LoadLevel();
    CPLevel& level = *race.level;
    CPCamera& camera = *level.camera;
    level.trackYaw = 0.75f;
    camera.targetYaw = -2.0f;
    for (std::uint32_t seed : {1u, 2u, 3u, 7u, 12345u}) {
        level.showcaseCamera = 0;
        level.showcaseTime = 4.0f;
        Platform::EngineSeed(seed);
        Platform::EngineRandom expected(seed);
        const int first = expected.Next();
        const int second = expected.Next();
        EXPECT_EQ(lua.Eval("SetCamera(true)"), "");
        EXPECT_EQ(level.showcaseCamera, 1);
        EXPECT_EQ(level.showcaseTime, 0.0f);
        EXPECT_EQ(level.showcaseDirection, first % 2 == 0 ? -1.0f : 1.0f) << seed;
        EXPECT_EQ(camera.tilt, second % 4 == 0 ? -0.2617994f : -1.5707964f) << seed;
        EXPECT_EQ(camera.targetYaw, -2.0f) << "switching on keeps the yaw";
        // Again on: nothing changes and nothing is drawn.
        level.showcaseTime = 2.0f;
        camera.tilt = 0.5f;
        EXPECT_EQ(lua.Eval("SetCamera(1)"), "");
        EXPECT_EQ(level.showcaseTime, 2.0f);
        EXPECT_EQ(camera.tilt, 0.5f);
        EXPECT_EQ(Platform::EngineRand(), expected.Next());
        // Off: back along the track.
        EXPECT_EQ(lua.Eval("SetCamera(false)"), "");
        EXPECT_EQ(level.showcaseCamera, 0);
        EXPECT_EQ(camera.targetYaw, 0.75f);
        camera.targetYaw = -2.0f;
    }
}

// ---- light --------------------------------------------------------------------------------

TEST_F(SceneCameraTest, GetLightAndSetLightRoundTripTheFifteenValues) {
    LoadLevel();
    const char* values = "0.1, 0.2, 0.3, 0.4, 0.5, 0.625, 0.75, 0.875, 1, 1.25, 1.5, 1.75, 0, -0.5, -1";
    EXPECT_EQ(lua.Eval(std::string("SetLight(") + values + ")"), "");
    const std::vector<double> got = scenecam::Numbers(lua.Eval("GetLight()"));
    const std::vector<double> want = {0.1, 0.2, 0.3, 0.4, 0.5, 0.625, 0.75, 0.875, 1, 1.25, 1.5, 1.75, 0, -0.5, -1};
    ASSERT_EQ(got.size(), want.size());
    for (std::size_t i = 0; i < want.size(); ++i) EXPECT_NEAR(got[i], want[i], 1e-6) << i;
    const D3DLIGHT9& sun = race.level->sunLight;
    EXPECT_FLOAT_EQ(sun.Diffuse.g, 0.2f);
    EXPECT_FLOAT_EQ(sun.Specular.a, 0.875f);
    EXPECT_FLOAT_EQ(sun.Ambient.r, 1.0f);
    EXPECT_FLOAT_EQ(sun.Direction.z, -1.0f);
    // Missing values read 0.
    EXPECT_EQ(lua.Eval("SetLight(1)"), "");
    EXPECT_EQ(lua.Eval("GetLight()"), "1 0 0 0 0 0 0 0 0 0 0 0 0 0 0");
}

TEST_F(SceneCameraTest, TheRendererGetsTheChangedSunWithTheNextFrame) {
    LoadLevel();
    CPSmartPtr<CPRender> render(new CPRender());
    lua.Run("SetLight(0.5, 0.25, 0.125, 1, 0, 0, 0, 0, 0.1, 0.1, 0.1, 0, 0.6, 0, -0.8)");
    // What the sky hands the renderer each frame, through the race world's view of the level.
    render->SetLightCount(0);
    GetRaceWorld().AddSunLight();
    ASSERT_EQ(render->GetLightCount(), 1);
    const D3DLIGHT9& handed = render->GetLight(0);
    EXPECT_FLOAT_EQ(handed.Diffuse.r, 0.5f);
    EXPECT_FLOAT_EQ(handed.Diffuse.b, 0.125f);
    EXPECT_FLOAT_EQ(handed.Ambient.g, 0.1f);
    EXPECT_FLOAT_EQ(handed.Direction.x, 0.6f);
    EXPECT_FLOAT_EQ(handed.Direction.z, -0.8f);
}

// The report goes to the engine log only; the running game's log writes it nowhere else.
TEST_F(SceneCameraTest, DumpTexturesReportsTheLiveObjectsToTheLog) {
    auto crate = BoxAt("crate", D3DXVECTOR3(0, 0, 0));
    std::vector<std::string> lines;
    CPLog::Instance().SetSink([&lines](int, const std::string& text) { lines.push_back(text); });
    EXPECT_EQ(lua.Eval("DumpTextures()"), "");
    CPLog::Instance().SetSink(nullptr);
    bool listed = false;
    for (const std::string& line : lines) listed = listed || line.find("CPGameObject - crate") != std::string::npos;
    EXPECT_TRUE(listed);
    EXPECT_EQ(crate->GetRefCount(), 1) << "reporting takes nothing";
}

// ---- lightning ----------------------------------------------------------------------------

class LightningScript : public SceneCameraTest {
protected:
    void SetUp() override {
        LoadLevel();
        manager->AddToPool("sparks", CPSmartPtr<CPShot>(new scenecam::SparkShot("sparks")));
        target = CPSmartPtr<CPPlayer>(new CPPlayer());
        scenecam::GiveBox(*target, D3DXVECTOR3(1, 1, 1));
        target->SetPosition(D3DXVECTOR3(5, 0, 0));
        target->UpdateTransform();
        race.level->opponents.push_back(target);
        human->SetPosition(D3DXVECTOR3(0, 80, 0));
        human->UpdateTransform();
        Look(D3DXVECTOR3(0, -50, 30), D3DXVECTOR3(0, 0, 0));
        g_deltaTime = 0.1f;
    }
    int Sparks() const {
        int n = 0;
        for (const CPSmartPtr<CPShot>& shot : manager->GetActiveShots())
            if (shot->GetShotName() == "sparks") ++n;
        return n;
    }
    CPLightningStrike* Strike() {
        return IPMMObject::FindByHandle<CPLightningStrike>(
            static_cast<PMMHandle>(std::stoll(lua.Eval("PointerToString(strike)").substr(1))));
    }

    CPSmartPtr<CPPlayer> target;
};

TEST_F(LightningScript, AStrikeAimedAtARacerFliesThenHitsIt) {
    lua.Run("strike = StartLighting('bolt', 0, 0, 0, 1, 0, 0)");
    CPLightningStrike* strike = Strike();
    ASSERT_NE(strike, nullptr);
    EXPECT_EQ(strike->GetShotName(), "bolt");
    EXPECT_TRUE(strike->IsEnemyStrike());
    EXPECT_EQ(strike->GetTimeScale(), 10.0f);
    EXPECT_EQ(strike->GetHalfWidth(), 1.5f);
    EXPECT_EQ(strike->GetTexture(), "razlom.dds");
    EXPECT_EQ(strike->GetEffect(), "light_nofog.fx");
    EXPECT_EQ(strike->GetRenderKey(), 103);
    EXPECT_EQ(strike->GetImpactEffect(), "sparks");
    EXPECT_EQ(strike->GetSoundFile(), "kethro.wav");
    EXPECT_EQ(Script::ScriptReferenceCount(strike), 1);
    // Held only by the script: the shot manager does not run it.
    for (const CPSmartPtr<CPShot>& shot : manager->GetActiveShots()) EXPECT_NE(shot.Get(), strike);

    // One unit a frame towards the box that reaches from x = 4: under way (1) until the stretch
    // the strike is about to cover meets it.
    const std::string racer = "\"" + std::to_string(target->GetHandle()) + "\"";
    int frames = 0;
    while (lua.Eval("(UpdateTrasser(strike))") == "1" && frames < 30) {
        ++frames;
        EXPECT_EQ(Sparks(), 0) << frames;
    }
    EXPECT_GE(frames, 3);
    EXPECT_LE(frames, 4);
    EXPECT_EQ(Sparks(), 1) << "the impact, spawned through the shot manager";
    // It keeps answering the hit and the racer, and spawns the impact again each time.
    lua.Run("state, hit = UpdateTrasser(strike)");
    EXPECT_EQ(lua.Eval("state, PointerToString(hit)"), "0 " + racer);
    EXPECT_EQ(Sparks(), 2);
    EXPECT_EQ(lua.Eval("(UpdateTrasser(strike))"), "0");
    EXPECT_EQ(Sparks(), 3);
}

TEST_F(LightningScript, AStrikeThatMissesEndsWithMinusOne) {
    lua.Run("strike = StartLighting('bolt', 0, 0, 0, 0, -1, 0)");
    int frames = 0;
    std::string state = "1";
    while (state == "1" && frames < 1000) {
        state = lua.Eval("UpdateTrasser(strike)");
        ++frames;
    }
    EXPECT_EQ(state, "-1");
    EXPECT_EQ(frames, 21) << "twenty frames of one unit of age each, the next one ends it";
    EXPECT_EQ(Sparks(), 0);
}

TEST_F(LightningScript, AReleasedStrikeIsDeletedAtTheEndOfTheFrame) {
    lua.Run("strike = StartLighting('bolt', 0, 0, 0, 1, 0, 0)");
    const PMMHandle handle = Strike()->GetHandle();
    IPMMObject::CollectGarbage();
    ASSERT_NE(IPMMObject::FindByHandle(handle), nullptr) << "held by the script";
    lua.Run("Release(strike)");
    ASSERT_NE(IPMMObject::FindByHandle(handle), nullptr) << "Release never deletes";
    IPMMObject::CollectGarbage();
    EXPECT_EQ(IPMMObject::FindByHandle(handle), nullptr);
    EXPECT_EQ(lua.Eval("UpdateTrasser(strike)"), "-1");
}

// A missing name reads as no text.
TEST_F(LightningScript, AStrikeWithoutAName) {
    lua.Run("strike = StartLighting(nil, 0, 0, 0, 1, 0, 0)");
    ASSERT_NE(Strike(), nullptr);
    EXPECT_EQ(Strike()->GetShotName(), "");
    lua.Run("Release(strike)");
}

// A real script task of the script host drives its strike once a frame, lets it go after the hit,
// and the kernel's pass that ran the release deletes it.
std::vector<std::string> g_reports;

int Report(lua_State* L) {
    g_reports.push_back(kxtest::ReportLine(L));
    return 0;
}

class LightningHostScript : public LightningScript {
protected:
    void SetUp() override {
        LightningScript::SetUp();
        g_reports.clear();
        ScriptApi::InstallScriptApi();
        static const Script::ScriptFunction kReport[] = {{"Report", Report}};
        Script::GetScriptFunctionTables().Add(ScriptApi::kFirstTable, kReport);
    }
    void TearDown() override {
        race.kernel.KillAllTasks();
        race.kernel.RunPass();
        delete scripts;
        Script::GetScriptFunctionTables().Clear();
    }
    CPSmartPtr<CPLuaScript> Start(const std::string& source) {
        race.store.Write("Data/Scripts/bolt.lua", source);
        race.store.Write("Data/Scripts/list.dat", "bolt t_level\n");
        EXPECT_TRUE(scripts->LoadScriptList());
        CPSmartPtr<CPLuaScript> script = scripts->GetScript("bolt");
        EXPECT_TRUE(script);
        if (script) {
            EXPECT_TRUE(race.kernel.AddTask(CPSmartPtr<IPTask>(script)));
        }
        return script;
    }

    CPScriptManager* scripts = new CPScriptManager();
};

TEST_F(LightningHostScript, TheScriptDrivesItsStrikeEachFrameAndReleasesIt) {
    Start("strike = StartLighting('bolt', 0, 0, 0, 1, 0, 0)\n"
          "Report('handle', PointerToString(strike))\n"
          "while true do\n"
          "  local state, hit = UpdateTrasser(strike)\n"
          "  Report(state, PointerToString(hit))\n"
          "  if state ~= 1 then Release(strike) break end\n"
          "  Update()\n"
          "end\n"
          "Report('released')\n"
          "while true do Update() end\n");
    race.kernel.RunPass();
    ASSERT_FALSE(g_reports.empty());
    const std::string first = g_reports.front();
    ASSERT_EQ(first.rfind("handle|", 0), 0u) << first;
    const PMMHandle handle = static_cast<PMMHandle>(std::stoll(first.substr(7)));
    ASSERT_NE(IPMMObject::FindByHandle<CPLightningStrike>(handle), nullptr);
    int passes = 1;
    while ((g_reports.empty() || g_reports.back() != "released") && passes < 30) {
        ASSERT_NE(IPMMObject::FindByHandle(handle), nullptr) << "held while the script drives it";
        race.kernel.RunPass();
        ++passes;
    }
    ASSERT_EQ(g_reports.back(), "released");
    // Gone with the pass that released it.
    EXPECT_EQ(IPMMObject::FindByHandle(handle), nullptr);
    const std::string hit = g_reports[g_reports.size() - 2];
    EXPECT_EQ(hit, "0|" + std::to_string(target->GetHandle()));
    for (std::size_t i = 1; i + 2 < g_reports.size(); ++i) EXPECT_EQ(g_reports[i], "1|0") << i;
    EXPECT_EQ(Sparks(), 1);
}

// ---- registration -------------------------------------------------------------------------

TEST(SceneCameraRegistration, EachNameStandsInItsTableOnce) {
    Script::ScriptFunctionTables tables;
    ScriptApi::InstallScriptApi(tables);
    const std::vector<std::string> second = {
        "SetFOV",          "SetCamera",      "CrossPlayerRay", "SetCameraPos",  "SetCameraZAngle", "CrossInterfaceRay",
        "SetPosition",     "GetPosition",    "SetRotation",    "GetBBoxInfo",   "CheckVisible",    "GetCameraPositions",
        "GetCameraZAngle", "GetLight",       "SetLight",       "StartLighting", "UpdateTrasser",   "DrawLine",
        "Clone",           "GetTextureSize", "IsCameraShake",  "DumpTextures",  "ChangeGameCamera"};
    const std::vector<std::string> third = {"IsRigid", "FindObject", "SetObjectVisible", "GetCameraPlayer",
                                            "GetFov1", "GetFov2",    "SetCameraPlayer"};
    auto count = [&](int table, const std::string& name) {
        int n = 0;
        for (int t = 0; t < Script::ScriptFunctionTables::kTableCount; ++t)
            for (const auto& entry : tables.Table(t))
                if (entry.name == name && (table < 0 || t == table)) ++n;
        return n;
    };
    for (const std::string& name : second) {
        EXPECT_EQ(count(ScriptApi::kSecondTable, name), 1) << name;
        EXPECT_EQ(count(-1, name), 1) << name;
    }
    for (const std::string& name : third) {
        EXPECT_EQ(count(ScriptApi::kThirdTable, name), 1) << name;
        EXPECT_EQ(count(-1, name), 1) << name;
    }
    // Registered by their own families, still once.
    for (const char* name : {"SetLightCoeff", "SetRadialBlur", "StartAnimation"}) EXPECT_EQ(count(-1, name), 1) << name;
}

} // namespace
