// The racers' half of the level load: the opponents and the human racer on their start places,
// their cars in the physics world, the human's camera settings, the start camera's points, the
// start line, the checkpoint flags and the route start.

#include <tinyxml.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <limits>

#include "Framework/PLog.h"
#include "Framework/PSettings.h"
#include "GameData/PGameData.h"
#include "Platform/Math/D3DXMath.h"
#include "Platform/System/Random.h"
#include "Render/PRender.h"
#include "Render/PRenderObject.h"
#include "Scene/PGameObject.h"
#include "World/PAITask.h"
#include "World/PCarDescription.h"
#include "World/PLevel.h"
#include "World/PPhysics.h"
#include "World/PPlayer.h"
#include "World/PRaceCamera.h"
#include "World/PSpline.h"
#include "World/PStartCamera.h"

namespace {

constexpr int kRacerScenePriority = 200;
constexpr float kHalfPi = 1.5707963267948966f;
// Opponents of one car family are numbered 5 down to 1: no family serves more than five.
constexpr int kFamilyUses = 5;
const char* const kFamilies[4] = {"subaru", "celica", "tvr", "lister"};

float Length(const D3DXVECTOR3& v) { return std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z); }

bool HasPieces(const CPSmartPtr<CPSpline>& spline) { return spline && !spline->IsEmpty(); }

D3DXQUATERNION TurnAboutZ(float angle) {
    D3DXQUATERNION q;
    const D3DXVECTOR3 z(0.0f, 0.0f, 1.0f);
    D3DXQuaternionRotationAxis(&q, &z, angle);
    return q;
}

D3DXVECTOR3 Turned(const D3DXVECTOR3& v, const D3DXQUATERNION& rotation) {
    D3DXMATRIX m;
    D3DXMatrixRotationQuaternion(&m, &rotation);
    D3DXVECTOR3 out;
    D3DXVec3TransformNormal(&out, &v, &m);
    return out;
}

// The heading of a racer placed at the point: the route piece there turned a quarter round.
D3DXQUATERNION RouteRotationAt(CPSpline& route, const D3DXVECTOR3& point) {
    CPLine* hint = route.FindNearbyLine(point);
    float radius = 20.0f;
    const float angle = route.FindClosestLine(point, radius, 1, hint, -1);
    return TurnAboutZ(angle + kHalfPi);
}

// A camera element of the racer's car description, read as the car's own reader reads it.
const TiXmlElement* CameraElement(const CPGameObject& racer, const char* name) {
    return racer.GetDescription().FirstChildElement(name);
}

// One chase camera of the human's car description; without the element, or for an attribute
// that is missing or bad, the value stays as it is.
void ReadChaseCamera(const TiXmlElement* element, float& distance, float& height, float& angle, float& angleDiv,
                     float& distanceDiv, float& fov) {
    if (!element) return;
    ReadFloatAttribute(element, "distance", distance);
    ReadFloatAttribute(element, "height", height);
    ReadFloatAttribute(element, "angle", angle);
    ReadFloatAttribute(element, "angle_div", angleDiv);
    ReadFloatAttribute(element, "distance_div", distanceDiv);
    ReadFloatAttribute(element, "fov", fov);
}

// An integer attribute from its number's integer part; one out of the int range is not taken.
void ReadIntPart(const TiXmlElement* element, const char* name, int& value) {
    float parsed = 0.0f;
    if (!ReadFloatAttribute(element, name, parsed)) return;
    if (std::fabs(parsed) >= 2147483520.0f) return;
    value = static_cast<int>(parsed);
}

// The racer's own mesh is not drawn: its parts are the children.
void HideOwnMesh(CPGameObject& racer) {
    if (CPRenderObject* mesh = racer.GetRenderObject()) mesh->SetFillSkipped(true);
}

void HidePart(CPGameObject& model, const char* name) {
    if (CPSmartPtr<CPGameObject> part = model.FindObject(name)) part->SetVisible(false);
}

} // namespace

bool CPLevel::LoadRacers() {
    CPGameData* data = GetGameData();
    if (data && !data->playerName.empty()) playerCarModel = data->playerName;
    if (startPlaces.empty()) return LoadFailed("the level has no start place");

    std::vector<SPStartPlace> places = startPlaces;
    if (!timeMode)
        std::stable_sort(places.begin(), places.end(),
                         [](const SPStartPlace& a, const SPStartPlace& b) { return a.place < b.place; });
    if (static_cast<int>(places.size()) < racerCount) {
        CPLog::Instance().Print(0, "Level: %d start places for %d racers; the race has %d racers\n",
                                static_cast<int>(places.size()), racerCount, static_cast<int>(places.size()));
        racerCount = static_cast<int>(places.size());
        playerPlace = racerCount;
    }
    const SPStartPlace humanPlace = places[static_cast<std::size_t>(racerCount - 1)];
    LoadStartLine(humanPlace);
    std::array<int, 4> familyUses{{0, 0, 0, 0}};
    if (!timeMode)
        for (int i = 0; i < racerCount - 1; ++i) LoadOpponent(i, places[static_cast<std::size_t>(i)], familyUses);
    LoadHuman(humanPlace);
    LoadRaceTail();
    return true;
}

void CPLevel::LoadStartLine(const SPStartPlace& humanPlace) {
    if (leftStartPostFound && rightStartPostFound) {
        startLineSpan = leftStartPost - rightStartPost;
        startLineCentre = (leftStartPost + rightStartPost) / 2.0f;
        return;
    }
    // Without both posts the line shrinks to the human's start place: a span of zero lets the
    // lap-line test accept any position on the start piece.
    CPLog::Instance().Print(0, "Level: a start post is missing; the start line is the human's start place\n");
    startLineSpan = D3DXVECTOR3(0.0f, 0.0f, 0.0f);
    startLineCentre = humanPlace.position;
}

void CPLevel::LoadOpponent(int index, const SPStartPlace& place, std::array<int, 4>& uses) {
    int limit = std::max(1, GetLevelRank() / 3) + racerCount / 5;
    if (limit > 4) limit = 4;
    // Twelve racers never fill the families the limit allows; should they, all four serve.
    bool room = false;
    for (int f = 0; f < limit; ++f) room = room || uses[static_cast<std::size_t>(f)] < kFamilyUses;
    if (!room) limit = 4;
    int family = Platform::EngineRand() % limit;
    while (uses[static_cast<std::size_t>(family)] >= kFamilyUses) family = Platform::EngineRand() % limit;
    const int n = ++uses[static_cast<std::size_t>(family)];

    char file[64];
    std::snprintf(file, sizeof file, "%s%d_enemy.rdf", kFamilies[family], 6 - n);
    opponentModelFiles.push_back(file);

    CPSmartPtr<CPPlayer> racer(new CPPlayer());
    // A model that cannot be loaded still gives a racer; it simply has no parts.
    if (CPSmartPtr<CPGameObject> model = LoadModel(file, kObjectKey)) racer->CopyFrom(*model);
    racer->SetName(file);
    const D3DXVECTOR3 position = place.position + D3DXVECTOR3(0.0f, 0.0f, 2.0f);
    racer->SetPosition(position);
    CPSpline* heading = HasPieces(path) ? path.Get() : centrePath.Get();
    if (heading) racer->SetRotation(RouteRotationAt(*heading, position));
    racer->UpdateTransform();
    racer->AddToScene(kRacerScenePriority);
    const CPSmartPtr<CPGameObject> object(racer.Get());
    // The body first: only an object with a rigid body joins the active set, whose poses the
    // physics copies back every frame. Activated bodiless, the racer would stay where it was
    // placed while its body drove off.
    if (CPPhysics* physics = CPPhysics::GetInstance()) {
        physics->AddBody(object, true, 1);
        physics->ActivateObject(object);
        physics->AddCar(object, 0);
    }
    HideOwnMesh(*racer);
    racer->PrepareForRace();
    racer->SetLocked(true);
    opponents.push_back(racer);

    if (const TiXmlElement* camera = CameraElement(*racer, "camera")) {
        ReadFloatAttribute(camera, "distance", camera2Distance);
        ReadFloatAttribute(camera, "height", camera2Height);
        ReadFloatAttribute(camera, "angle", camera2Angle);
        ReadIntPart(camera, "min", racer->cameraMin);
        ReadIntPart(camera, "max", racer->cameraMax);
    }

    // The driving never reads a piece of a spline the level does not have.
    if (AI_Task* drivers = AI_Task::GetInstance()) {
        if (HasPieces(path)) drivers->SetVehicleLine(index, 0, path->GetFirstLine());
        if (HasPieces(centrePath)) drivers->SetVehicleLine(index, 2, centrePath->GetFirstLine());
        if (HasPieces(rightPath)) drivers->SetVehicleLine(index, 1, rightPath->GetFirstLine());
    }
}

void CPLevel::LoadHuman(const SPStartPlace& place) {
    CPSmartPtr<CPGameObject> model = LoadModel(playerCarModel + ".rdf", kObjectKey);
    if (model) {
        if (playerCarModel == "uaz") HidePart(*model, "light");
        if (playerCarModel == "volswagen_toureg") {
            HidePart(*model, "halo");
            HidePart(*model, "halo_blend");
        }
    }
    humanRacer = CPSmartPtr<CPPlayer>(new CPPlayer());
    CPPlayer& human = *humanRacer;
    if (model) human.CopyFrom(*model);
    human.SetName(playerCarModel);
    human.AddToScene(kRacerScenePriority);
    const D3DXVECTOR3 start = place.position + D3DXVECTOR3(0.0f, 0.0f, 2.0f);
    human.SetPosition(start);
    const D3DXQUATERNION q = centrePath ? RouteRotationAt(*centrePath, start) : place.rotation;
    const D3DXVECTOR3 forward = Turned(D3DXVECTOR3(0.0f, -1.0f, 0.0f), q);
    if (Length(forward) > 0.0f) playerStartDirection = forward / Length(forward);
    startCameraNearPoint = start + D3DXVECTOR3(0.0f, 0.0f, 3.0f) + 15.0f * playerStartDirection;
    human.SetRotation(q);
    human.UpdateTransform();
    HideOwnMesh(human);
    LoadStartCameraPoints(start);

    if (camera) camera->SetTilt(-kHalfPi);
    ReadChaseCamera(CameraElement(human, "camera"), camera1Distance, camera1Height, camera1Angle, camera1AngleDiv,
                    camera1DistanceDiv, camera1Fov);
    ReadChaseCamera(CameraElement(human, "camera2"), camera2Distance, camera2Height, camera2Angle, camera2AngleDiv,
                    camera2DistanceDiv, camera2Fov);
    if (const TiXmlElement* third = CameraElement(human, "camera3")) {
        ReadFloatAttribute(third, "distance", camera3Distance);
        ReadFloatAttribute(third, "height", camera3Height);
    }
    if (camera) camera->SetTargetYaw(HeadingOf(&human));

    const CPSmartPtr<CPGameObject> object(&human);
    // The body first, as for the opponents.
    if (CPPhysics* physics = CPPhysics::GetInstance()) {
        physics->AddBody(object, true, 1);
        physics->ActivateObject(object);
        physics->AddCar(object, 1);
    }
    human.SetLocked(true);
    SelectCameraSetting(0);
    if (camera) camera->distance = cameraDistance;
    human.PrepareForRace();
}

void CPLevel::LoadStartCameraPoints(const D3DXVECTOR3& start) {
    std::vector<D3DXVECTOR3> points{startCameraNearPoint};
    const int pieces = centrePath ? centrePath->GetLineCount() : 0;
    // The piece nearest the start line, at the height of the start place.
    const D3DXVECTOR3 lineCentre(startLineCentre.x, startLineCentre.y, start.z);
    CPLine* piece = nullptr;
    float best = std::numeric_limits<float>::max();
    for (int i = 0; i < pieces; ++i) {
        CPLine* line = centrePath->GetLine(i);
        if (!line) continue;
        const float d = Length(line->centre - lineCentre);
        if (d < best) {
            best = d;
            piece = line;
        }
    }
    const float flight = racerCount < 6 ? 17.5f * static_cast<float>(racerCount + 3) : 17.5f * racerCount;
    float walked = 0.0f;
    // At most one round: a short route ends the flight where it began.
    for (int n = 0; piece && n < pieces && walked < flight; ++n, piece = piece->previous) {
        const D3DXVECTOR3 top((piece->start.x + piece->end.x + piece->centre.x) / 3.0f,
                              (piece->start.y + piece->end.y + piece->centre.y) / 3.0f,
                              std::max(piece->start.z, std::max(piece->end.z, piece->centre.z)) + 4.0f);
        walked += Length(top - points.back());
        points.push_back(top);
    }
    startCameraPath.points.clear();
    SmoothPath(points, startCameraPath.points, false);
    startCameraPath.pathLength = 0.0f;
    startCameraPath.swingStarted = false;
    startCameraLook = D3DXVECTOR3(0.0f, 0.0f, 0.0f);
}

void CPLevel::LoadRaceTail() {
    CPGameData* data = GetGameData();
    player = humanRacer.Get();
    if (data) {
        humanRacer->SetFlags(data->playerType);
        SPLapRecord& lap = data->playerLap;
        if (lap.currentLap >= 1) {
            if (static_cast<int>(lap.lapTimes.size()) < lap.currentLap)
                lap.lapTimes.push_back(0.0f);
            else
                lap.lapTimes[static_cast<std::size_t>(lap.currentLap - 1)] = 0.0f;
        }
        lap.currentLap = 1;
    }
    playerStartLine = centrePath ? centrePath->FindNearbyLine(humanRacer->GetPosition()) : nullptr;

    if (CPRender* render = GetRender()) render->motionBlur = false;
    if (!playerLine) playerLine = centrePath;
    gridLength = static_cast<float>(std::max(3, racerCount) + (racerCount < 6 ? 3 : 0));

    if (centrePath) {
        float dStart = 0.0f;
        float dNear = 0.0f;
        centrePath->GetDistanceAtPoint(startLineCentre, dStart, 10.0f);
        centrePath->GetDistanceAtPoint(startCameraNearPoint, dNear, 10.0f);
        const float s = dStart > dNear ? -1.0f : 1.0f;
        const float dA = dStart - 100.0f * s;
        D3DXVECTOR3 pointA(0.0f, 0.0f, 0.0f);
        D3DXVECTOR3 directionA(0.0f, 0.0f, 0.0f);
        centrePath->GetPointAtDistance(dA, pointA, directionA);
        const float h = 10.0f - 7.0f * raceTime / (gridLength - 2.0f);
        cameraStartPoint = pointA + D3DXVECTOR3(0.0f, 0.0f, h);
    }

    for (SPCheckpoint& checkpoint : checkpoints) {
        if (!checkpoint.object) continue;
        bool first = true;
        for (const SPFlagMarker& marker : flagMarkers) {
            if (!marker.object) continue;
            if (Length(marker.object->GetPosition() - checkpoint.object->GetPosition()) > 100.0f) continue;
            if (first) {
                checkpoint.flag1 = marker.object;
                checkpoint.flag1Position = marker.object->GetPosition();
                first = false;
            } else {
                checkpoint.flag2 = marker.object;
                checkpoint.flag2Position = marker.object->GetPosition();
            }
        }
    }

    progressPath = centrePath;
    CPSpline* route = HasPieces(path) ? path.Get() : centrePath.Get();
    humanRacer->routeLine = route ? route->GetFirstLine() : nullptr;
    humanRacer->isHuman = true;
    if (centrePath) {
        D3DXVECTOR3 direction(0.0f, 0.0f, 0.0f);
        centrePath->GetPointAtDistance(0.0f, routeStartPoint, direction);
        routeStartDirection = -direction;
        routeStartPoint += D3DXVECTOR3(0.0f, 0.0f, 2.0f);
    }
}

void CPLevel::SelectCameraSetting(int mode) {
    cameraMode = mode;
    player = humanRacer.Get();
    const bool second = mode == 1;
    cameraHeight = second ? camera2Height : camera1Height;
    cameraDistance = second ? camera2Distance : camera1Distance;
    cameraAngleDiv = second ? camera2AngleDiv : camera1AngleDiv;
    cameraDistanceDiv = second ? camera2DistanceDiv : camera1DistanceDiv;
    cameraAngle = second ? camera2Angle : camera1Angle;
    if (camera) {
        camera->SetExternalView(mode == 2);
        if (mode != 2) camera->SetTargetYaw(HeadingOf(player));
    }
    if (humanRacer) humanRacer->SetCarSoundVolume(g_soundVolume);
}
