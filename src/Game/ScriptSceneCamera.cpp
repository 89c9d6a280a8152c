// The scene, camera and light functions. Object functions given no scene object do nothing
// (the getters then answer no values, Clone and FindObject the null object). The functions that
// work on the race need the current level, and those that steer the camera its race camera too:
// without them they do nothing and answer no values, unless a default is named below.

#include "Game/ScriptSceneCamera.h"

#include <cmath>
#include <optional>
#include <string>

#include "Framework/PFileReader.h"
#include "Framework/PMMObject.h"
#include "Game/ScriptApi.h"
#include "Platform/Image/ImageDecode.h"
#include "Platform/Math/D3DXMath.h"
#include "Platform/System/Random.h"
#include "Render/PEffectManager.h"
#include "Render/PPerspectiveCamera.h"
#include "Render/PRender.h"
#include "Render/PRenderBlock.h"
#include "Render/PTextureCache.h"
#include "Scene/PGameObject.h"
#include "Script/ScriptBinding.h"
#include "World/PLevel.h"
#include "World/PLightningStrike.h"
#include "World/PPhysicData.h"
#include "World/PRaceCamera.h"

namespace ScriptApi {
namespace {

using Script::ScriptBind;
using Script::ScriptBindCall;
using Script::ScriptCall;
namespace Arg = Script::Arg;
using SceneObject = Arg::Object<CPGameObject>;
using Text = std::optional<std::string>;

// Show-case tilts: a low look across the track, or straight down.
constexpr float kShowcaseLowTilt = -0.2617994f;
constexpr float kShowcaseTopTilt = -1.5707964f;
constexpr D3DCOLOR kDebugLineColour = 0xFFFF0000u;
// The reach of a ray cast from the screen.
constexpr float kInterfaceRayLength = 100000.0f;

D3DXVECTOR3 Vector(double x, double y, double z) {
    return D3DXVECTOR3(Script::NarrowToFloat(x), Script::NarrowToFloat(y), Script::NarrowToFloat(z));
}

void PushVector(ScriptCall& call, const D3DXVECTOR3& v) {
    call.PushNumber(v.x);
    call.PushNumber(v.y);
    call.PushNumber(v.z);
}

CPCamera* RaceCamera(const CPLevel* level) { return level ? level->camera.Get() : nullptr; }

// The view the level is drawn through; null without a level or its race camera.
CPPerspectiveCamera* ViewCamera(const CPLevel* level) {
    CPCamera* camera = RaceCamera(level);
    return camera ? camera->GetViewCamera().Get() : nullptr;
}

// --- objects -------------------------------------------------------------------------------

void SetPosition(ScriptCall&, CPGameObject* object, double x, double y, double z) {
    if (!object) return;
    object->SetPosition(Vector(x, y, z));
    object->UpdateTransform();
}

void GetPosition(ScriptCall& call, CPGameObject* object) {
    if (object) PushVector(call, object->GetPosition());
}

// About x first, then y, then z (row vectors).
void SetRotation(ScriptCall&, CPGameObject* object, double ax, double ay, double az) {
    if (!object) return;
    D3DXMATRIX x, y, z, xy, rotation;
    D3DXMatrixRotationX(&x, Script::NarrowToFloat(ax));
    D3DXMatrixRotationY(&y, Script::NarrowToFloat(ay));
    D3DXMatrixRotationZ(&z, Script::NarrowToFloat(az));
    D3DXMatrixMultiply(&xy, &x, &y);
    D3DXMatrixMultiply(&rotation, &xy, &z);
    D3DXQUATERNION q;
    D3DXQuaternionRotationMatrix(&q, &rotation);
    object->SetRotation(q);
    object->UpdateTransform();
}

// The world box: centre, minimum, maximum.
void GetBBoxInfo(ScriptCall& call, CPGameObject* object) {
    if (!object) return;
    const CPBoundingBox& box = object->GetVisibleBounds();
    PushVector(call, box.centre);
    PushVector(call, box.minimum);
    PushVector(call, box.maximum);
}

// The name is read only when an object is given; a found object comes with one reference of
// the script's own.
void FindObject(ScriptCall& call) {
    CPGameObject* object = call.Object<CPGameObject>(1);
    if (!object) {
        call.PushObject(nullptr);
        return;
    }
    const std::string name = call.RequiredString(2);
    const CPSmartPtr<CPGameObject> found = object->FindObject(name);
    if (found)
        call.PushReferencedObject(found.Get());
    else
        call.PushObject(nullptr);
}

void SetObjectVisible(ScriptCall&, CPGameObject* object, bool visible) {
    if (object) object->SetVisible(visible);
}

void IsRigid(ScriptCall& call, CPGameObject* object) {
    const auto* data = object ? dynamic_cast<const CPPhysicData*>(object->GetPhysicData().Get()) : nullptr;
    call.PushBoolean(data && data->GetRigidBody());
}

// A copy out of the scene, held by one reference of the script's own.
void Clone(ScriptCall& call, CPGameObject* source) {
    if (!source) {
        call.PushObject(nullptr);
        return;
    }
    CPSmartPtr<CPGameObject> copy(new CPGameObject(source->GetName()));
    copy->CopyFrom(*source);
    call.PushReferencedObject(copy.Get());
}

void CheckVisible(ScriptCall& call, CPGameObject* object) {
    const CPPerspectiveCamera* view = ViewCamera(CPLevel::GetInstance());
    if (!object || !view) {
        call.PushBoolean(false);
        return;
    }
    const CPBoundingBox& parts = object->GetPickBounds();
    call.PushBoolean(view->IsInFrustum(parts.minimum, parts.maximum));
}

// --- rays ----------------------------------------------------------------------------------

// True and the whole ray (shortened to nothing it met) when the way is clear, else false and the
// unit direction. A ray of no length (or of no finite length) has no direction and meets nothing.
void CrossPlayerRay(ScriptCall& call, double ox, double oy, double oz, double dx, double dy, double dz) {
    SPRayPick pick;
    pick.origin = Vector(ox, oy, oz);
    const D3DXVECTOR3 d = Vector(dx, dy, dz);
    const float length = D3DXVec3Length(&d);
    if (length > 0.0f && std::isfinite(length)) {
        pick.direction = d / length;
        pick.distance = length;
    }
    CPLevel* level = CPLevel::GetInstance();
    const bool clear = level && !level->CrossPlayerRay(pick);
    call.PushBoolean(clear);
    PushVector(call, clear ? pick.direction * pick.distance : pick.direction);
}

// The ray from the eye through a point of the screen (fractions from the top left corner): what
// it hits, and where it meets the ground plane z = 0. A ray parallel to that plane meets it
// nowhere; the point under the eye stands in.
void CrossInterfaceRay(ScriptCall& call, double sx, double sy) {
    CPLevel* level = CPLevel::GetInstance();
    const CPPerspectiveCamera* view = ViewCamera(level);
    if (!view) return;
    const D3DXVECTOR3 screen(Script::NarrowToFloat(2.0 * sx - 1.0), Script::NarrowToFloat(1.0 - 2.0 * sy), 1.0f);
    D3DXVECTOR4 farPoint;
    D3DXVec3Transform(&farPoint, &screen, &view->GetInverseViewProjection());
    const D3DXVECTOR3 eye = view->eye;
    D3DXVECTOR3 r(0.0f, 0.0f, 0.0f);
    if (farPoint.w != 0.0f) {
        const D3DXVECTOR3 toFar =
            D3DXVECTOR3(farPoint.x / farPoint.w, farPoint.y / farPoint.w, farPoint.z / farPoint.w) - eye;
        const float length = D3DXVec3Length(&toFar);
        if (length > 0.0f && std::isfinite(length)) r = toFar / length;
    }

    SPRayPick pick;
    pick.origin = eye;
    pick.direction = r;
    pick.distance = kInterfaceRayLength;
    const bool hit = (r.x != 0.0f || r.y != 0.0f || r.z != 0.0f) && level->RayTest(pick);
    call.PushBoolean(hit);
    call.PushObject(hit ? pick.hitObject.Get() : nullptr);
    if (std::fabs(r.z) < 1e-6f) {
        call.PushNumber(eye.x);
        call.PushNumber(eye.y);
    } else {
        call.PushNumber(eye.x - r.x * eye.z / r.z);
        call.PushNumber(eye.y - r.y * eye.z / r.z);
    }
    call.PushNumber(0.0);
}

// --- camera --------------------------------------------------------------------------------

// The show-case camera on or off: a new direction of its circling and a new tilt, both drawn
// from the engine generator; switching off turns the camera back along the track.
void SetCamera(ScriptCall&, bool on) {
    CPLevel* level = CPLevel::GetInstance();
    CPCamera* camera = RaceCamera(level);
    if (!camera) return;
    const int value = on ? 1 : 0;
    if (value == level->showcaseCamera) return;
    level->showcaseCamera = value;
    level->showcaseTime = 0.0f;
    level->showcaseDirection = Platform::EngineRand() % 2 == 0 ? -1.0f : 1.0f;
    if (value == 0) camera->SetTargetYaw(level->trackYaw);
    camera->SetTilt(Platform::EngineRand() % 4 == 0 ? kShowcaseLowTilt : kShowcaseTopTilt);
}

void SetCameraPos(ScriptCall&, double x, double y, double z) {
    if (CPCamera* camera = RaceCamera(CPLevel::GetInstance())) camera->SetTargetPoint(Vector(x, y, z));
}

void SetCameraZAngle(ScriptCall&, double angle) {
    if (CPCamera* camera = RaceCamera(CPLevel::GetInstance())) camera->SetTargetYaw(Script::NarrowToFloat(angle));
}

void GetCameraZAngle(ScriptCall& call) {
    if (const CPCamera* camera = RaceCamera(CPLevel::GetInstance())) call.PushNumber(camera->GetTargetYaw());
}

// The eye, then what the camera looks at: its target point, or in the car-fixed view the point
// that view looks at.
void GetCameraPositions(ScriptCall& call) {
    const CPLevel* level = CPLevel::GetInstance();
    const CPCamera* camera = RaceCamera(level);
    const CPPerspectiveCamera* view = ViewCamera(level);
    if (!camera || !view) return;
    PushVector(call, view->eye);
    PushVector(call, camera->IsExternalView() ? camera->externalLookAt : camera->targetPoint);
}

// Degrees; the camera clamps. A value that is no finite number would spoil the projection for
// the rest of the race, so it changes nothing.
void SetFOV(ScriptCall&, double degrees) {
    CPCamera* camera = RaceCamera(CPLevel::GetInstance());
    const float value = Script::NarrowToFloat(degrees);
    if (camera && std::isfinite(value)) camera->SetFOV(value);
}

void GetFov1(ScriptCall& call) {
    if (const CPLevel* level = CPLevel::GetInstance()) call.PushNumber(level->camera1Fov);
}

void GetFov2(ScriptCall& call) {
    if (const CPLevel* level = CPLevel::GetInstance()) call.PushNumber(level->camera2Fov);
}

// The next camera mode (0, 1, 2, then 0 again) through the level's one camera-setting rule; -1
// without a level.
void ChangeGameCamera(ScriptCall& call) {
    CPLevel* level = CPLevel::GetInstance();
    if (!level) {
        call.PushNumber(-1);
        return;
    }
    const int mode = level->cameraMode >= 0 && level->cameraMode < 2 ? level->cameraMode + 1 : 0;
    level->SelectCameraSetting(mode);
    call.PushNumber(mode);
}

// The second camera setting when true, the first when false.
void SetCameraPlayer(ScriptCall&, bool second) {
    if (CPLevel* level = CPLevel::GetInstance()) level->SelectCameraSetting(second ? 1 : 0);
}

void GetCameraPlayer(ScriptCall& call) {
    if (const CPLevel* level = CPLevel::GetInstance()) call.PushNumber(level->cameraMode);
}

void IsCameraShake(ScriptCall& call) {
    const CPCamera* camera = RaceCamera(CPLevel::GetInstance());
    call.PushBoolean(camera && camera->shakeOn);
}

// --- light, renderer, debugging ------------------------------------------------------------

void PushColour(ScriptCall& call, const D3DCOLORVALUE& c) {
    call.PushNumber(c.r);
    call.PushNumber(c.g);
    call.PushNumber(c.b);
    call.PushNumber(c.a);
}

void ReadColour(const ScriptCall& call, int first, D3DCOLORVALUE& c) {
    c.r = call.Float(first);
    c.g = call.Float(first + 1);
    c.b = call.Float(first + 2);
    c.a = call.Float(first + 3);
}

// Diffuse, specular, ambient (r, g, b, a each), then the direction.
void GetLight(ScriptCall& call) {
    const CPLevel* level = CPLevel::GetInstance();
    if (!level) return;
    const D3DLIGHT9& sun = level->sunLight;
    PushColour(call, sun.Diffuse);
    PushColour(call, sun.Specular);
    PushColour(call, sun.Ambient);
    call.PushNumber(sun.Direction.x);
    call.PushNumber(sun.Direction.y);
    call.PushNumber(sun.Direction.z);
}

// The level hands its sun to the renderer every frame: the change shows in the next one.
void SetLight(ScriptCall& call) {
    CPLevel* level = CPLevel::GetInstance();
    if (!level) return;
    D3DLIGHT9& sun = level->sunLight;
    ReadColour(call, 1, sun.Diffuse);
    ReadColour(call, 5, sun.Specular);
    ReadColour(call, 9, sun.Ambient);
    sun.Direction.x = call.Float(13);
    sun.Direction.y = call.Float(14);
    sun.Direction.z = call.Float(15);
}

// Queued for this frame only; the renderer empties its list after every frame.
void DrawLine(ScriptCall&, double x1, double y1, double z1, double x2, double y2, double z2) {
    if (CPRender* render = GetRender()) render->AddDebugLine(kDebugLineColour, Vector(x1, y1, z1), Vector(x2, y2, z2));
}

// The width and height the file itself gives, read through the file layer (loose or packed) and
// decoded by the texture loader's own decoders: no device is needed, so menus may ask before
// the renderer starts. Anything that is not a readable image answers 0, 0.
void GetTextureSize(ScriptCall& call, std::string file) {
    std::uint32_t width = 0, height = 0;
    CPFileReader reader(file);
    if (SUCCEEDED(reader.Load()) && reader.GetDataSize() > 0) {
        Platform::Image image;
        std::string error;
        if (Platform::DecodeImage(reader.GetData(), static_cast<std::size_t>(reader.GetDataSize()),
                                  Platform::ImageLoadOptions{}, image, error)) {
            width = image.fileWidth;
            height = image.fileHeight;
        }
    }
    call.PushNumber(width);
    call.PushNumber(height);
}

// Every cached texture, every material and every live object, to the engine log.
void DumpTextures(ScriptCall&) {
    if (const CPTextureCache* textures = GetTextureCache()) textures->DumpTextures();
    if (const CPEffectManager* effects = GetEffectManager()) effects->DumpMaterials();
    IPMMObject::DumpLeaks();
}

// --- lightning -----------------------------------------------------------------------------

// A strike from the point along the direction, held only by the script's reference: the script
// drives it with UpdateTrasser and lets it go with Release.
void StartLighting(ScriptCall& call, Text name, double px, double py, double pz, double dx, double dy, double dz) {
    CPSmartPtr<CPLightningStrike> strike(new CPLightningStrike(name.value_or(std::string())));
    strike->ParseParams(
        {"enemy", "10", "1.5", "1.5", "razlom.dds", "light_nofog.fx", "103", "sparks", "kethro.wav,3d"});
    strike->Launch(Vector(px, py, pz), Vector(dx, dy, dz), 10.0f, CPSmartPtr<CPGameObject>(), nullptr);
    call.PushReferencedObject(strike.Get());
}

// 1 while the strike flies (it is drawn this frame), 0 and the racer once it hit one, -1 when its
// time is over; -1 alone without a strike.
void UpdateTrasser(ScriptCall& call, CPLightningStrike* strike) {
    if (!strike) {
        call.PushNumber(-1);
        return;
    }
    CPSmartPtr<CPGameObject> hit;
    const int state = strike->Update(hit);
    if (state == 1) {
        CPRender* render = GetRender();
        if (CPSmartPtr<CPRenderBlock> block = render ? render->GetRenderBlock() : nullptr)
            block->AddObjectTree(static_cast<IPSceneObject*>(strike));
    }
    call.PushNumber(state);
    if (hit) call.PushObject(hit.Get());
}

} // namespace

void AddSceneCameraFunctions(Script::ScriptFunctionTables& tables) {
    static const Script::ScriptFunction kSecond[] = {
        {"SetFOV", ScriptBind<SetFOV, Arg::Number>},
        {"SetCamera", ScriptBind<SetCamera, Arg::Boolean>},
        {"CrossPlayerRay",
         ScriptBind<CrossPlayerRay, Arg::Number, Arg::Number, Arg::Number, Arg::Number, Arg::Number, Arg::Number>},
        {"SetCameraPos", ScriptBind<SetCameraPos, Arg::Number, Arg::Number, Arg::Number>},
        {"SetCameraZAngle", ScriptBind<SetCameraZAngle, Arg::Number>},
        {"CrossInterfaceRay", ScriptBind<CrossInterfaceRay, Arg::Number, Arg::Number>},
        {"SetPosition", ScriptBind<SetPosition, SceneObject, Arg::Number, Arg::Number, Arg::Number>},
        {"GetPosition", ScriptBind<GetPosition, SceneObject>},
        {"SetRotation", ScriptBind<SetRotation, SceneObject, Arg::Number, Arg::Number, Arg::Number>},
        {"GetBBoxInfo", ScriptBind<GetBBoxInfo, SceneObject>},
        {"CheckVisible", ScriptBind<CheckVisible, SceneObject>},
        {"GetCameraPositions", ScriptBind<GetCameraPositions>},
        {"GetCameraZAngle", ScriptBind<GetCameraZAngle>},
        {"GetLight", ScriptBind<GetLight>},
        {"SetLight", ScriptBindCall<SetLight>},
        {"StartLighting", ScriptBind<StartLighting, Arg::String, Arg::Number, Arg::Number, Arg::Number, Arg::Number,
                                     Arg::Number, Arg::Number>},
        {"UpdateTrasser", ScriptBind<UpdateTrasser, Arg::Object<CPLightningStrike>>},
        {"DrawLine",
         ScriptBind<DrawLine, Arg::Number, Arg::Number, Arg::Number, Arg::Number, Arg::Number, Arg::Number>},
        {"Clone", ScriptBind<Clone, SceneObject>},
        {"GetTextureSize", ScriptBind<GetTextureSize, Arg::RequiredString>},
        {"ChangeGameCamera", ScriptBind<ChangeGameCamera>},
        {"IsCameraShake", ScriptBind<IsCameraShake>},
        {"DumpTextures", ScriptBind<DumpTextures>},
    };
    static const Script::ScriptFunction kThird[] = {
        {"IsRigid", ScriptBind<IsRigid, SceneObject>},
        {"FindObject", ScriptBindCall<FindObject>},
        {"SetObjectVisible", ScriptBind<SetObjectVisible, SceneObject, Arg::Boolean>},
        {"SetCameraPlayer", ScriptBind<SetCameraPlayer, Arg::Boolean>},
        {"GetCameraPlayer", ScriptBind<GetCameraPlayer>},
        {"GetFov1", ScriptBind<GetFov1>},
        {"GetFov2", ScriptBind<GetFov2>},
    };
    tables.Add(kSecondTable, kSecond);
    tables.Add(kThirdTable, kThird);
}

} // namespace ScriptApi
