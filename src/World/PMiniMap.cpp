#include "World/PMiniMap.h"

#include <cmath>
#include <string>

#include "Framework/PApplication.h"
#include "Framework/PSettings.h"
#include "Platform/Math/D3DXMath.h"
#include "Render/PEffectManager.h"
#include "Render/PRenderBlock.h"
#include "Scene/PGameObject.h"
#include "World/PLevel.h"

std::vector<std::string> CPMiniMap::TexturesFor(int levelNumber, float& scale) {
    scale = 0.175f;
    std::vector<std::string> textures{"mapblur.tga"};
    switch (levelNumber) {
    case 1:
    case 3:
    case 4:
    case 8:
        textures.push_back("level1\\map.tga");
        scale = 0.0875f;
        break;
    case 7:
    case 9:
    case 10:
    case 12:
        textures.push_back("level2\\map.tga");
        scale = 0.07f;
        break;
    case 2:
    case 5:
    case 6:
    case 11: textures.push_back("level3\\map.tga"); break;
    default: break;
    }
    textures.push_back("mapblur2.tga");
    return textures;
}

void CPMiniMap::Init(float extentX, float extentY, const std::string&) {
    CPLevel* level = CPLevel::GetInstance();
    const std::vector<std::string> textures = TexturesFor(level ? level->levelNumber : 0, mapScale);
    if (CPEffectManager* effects = GetEffectManager())
        effects->GetMaterial(material, kRenderKey, "interface3.fx", textures);
    mapExtentX = mapExtentY = extentX > extentY ? extentX : extentY;
    screenLeft = g_interfaceOffsetX;
    screenTop = static_cast<float>(g_screenHeight) - kSide * g_interfaceScale;
    markerScene = CPLevel::LoadModel("minimap_obj.rdf", kMarkerKey);
    if (markerScene) {
        // The fallback description has neither child.
        hintArrow = markerScene->FindObject("arrow");
        checkpointMarker = markerScene->FindObject("checkpoint");
        if (hintArrow) hintArrow->SetVisible(false);
        if (checkpointMarker) checkpointMarker->SetVisible(false);
    }
}

void CPMiniMap::Update(const D3DXVECTOR3& position, float yaw) {
    centreX = 0.5f * mapExtentX + position.x;
    centreY = 0.5f * mapExtentY + position.y;
    mapYaw = yaw;
}

void CPMiniMap::SetHintTarget(const CPSmartPtr<CPGameObject>& target) {
    if (target) {
        hintTarget = target;
        if (hintArrow) hintArrow->SetVisible(true);
        if (checkpointMarker) checkpointMarker->SetVisible(true);
        currentMarker = hintArrow;
        return;
    }
    hintTarget = CPSmartPtr<CPGameObject>();
    currentMarker = CPSmartPtr<CPGameObject>();
    if (checkpointMarker) checkpointMarker->SetVisible(false);
}

void CPMiniMap::FillVertices(SPVertex* vertices, std::uint16_t* indices, std::uint16_t base, int) {
    CPLevel* level = CPLevel::GetInstance();
    const float s = (level ? level->mapZoom : 1.0f) * mapScale;
    const float k = g_interfaceScale;
    D3DXMATRIX rotation;
    D3DXMatrixRotationYawPitchRoll(&rotation, 0.0f, 0.0f, mapYaw + 1.5707964f);
    D3DXMATRIX translation;
    D3DXMatrixTranslation(&translation, mapExtentX != 0.0f ? centreX / mapExtentX : 0.0f,
                          mapExtentY != 0.0f ? centreY / mapExtentY : 0.0f, 0.0f);
    D3DXMATRIX m;
    D3DXMatrixMultiply(&m, &rotation, &translation);
    const float side = kSide * k;
    const float screen[4][2] = {{screenLeft + side, screenTop},
                                {screenLeft, screenTop},
                                {screenLeft, screenTop + side},
                                {screenLeft + side, screenTop + side}};
    const float corner[4][2] = {{s, -s}, {-s, -s}, {-s, s}, {s, s}};
    const float second[4][2] = {{1.0f, 0.0f}, {0.0f, 0.0f}, {0.0f, 1.0f}, {1.0f, 1.0f}};
    for (int i = 0; i < 4; ++i) {
        SPVertex& v = vertices[i];
        v = SPVertex{};
        v.x = screen[i][0];
        v.y = screen[i][1];
        v.z = 0.0f;
        v.nz = -1.0f;
        v.diffuse = 0xFFFFFFFFu;
        v.specular = 0;
        D3DXVECTOR3 uv(corner[i][0], corner[i][1], 0.0f);
        D3DXVec3TransformCoord(&uv, &uv, &m);
        v.tu = uv.x;
        v.tv = uv.y;
        v.tu1 = second[i][0];
        v.tv1 = second[i][1];
    }
    const std::uint16_t order[6] = {0, 1, 2, 0, 2, 3};
    for (int i = 0; i < 6; ++i) indices[i] = static_cast<std::uint16_t>(base + order[i]);
}

namespace {

constexpr float kHalfPi = 1.5707964f;
constexpr float kPi = 3.1415927f;
// Opponents from this list position on get no marker.
constexpr int kMarkedOpponents = 11;
// Checkpoints this far from the human or farther get no map entry (squared).
constexpr float kCheckpointRangeSq = 40000.0f;

D3DXVECTOR3 FlatDirection(const D3DXVECTOR3& local, const D3DXQUATERNION& rotation) {
    D3DXMATRIX m;
    D3DXMatrixRotationQuaternion(&m, &rotation);
    D3DXVECTOR3 v;
    D3DXVec3TransformCoord(&v, &local, &m);
    v.z = 0.0f;
    D3DXVec3Normalize(&v, &v);
    return v;
}

// The angle from the human's heading to a direction, signed by the turn's sense.
float AngleFrom(const D3DXVECTOR3& heading, const D3DXVECTOR3& direction) {
    const float dot = D3DXVec3Dot(&heading, &direction);
    float angle = std::fabs(std::acos(std::fmax(-1.0f, std::fmin(1.0f, dot))));
    D3DXVECTOR3 cross;
    D3DXVec3Cross(&cross, &heading, &direction);
    if (cross.z < 0.0f) angle = -angle;
    return angle;
}

} // namespace

void CPLevel::PrepareMapProjection() {
    SPMapProjection& p = mapProjection;
    p.scale = (miniMap ? miniMap->mapScale : 0.0f) * mapZoom;
    p.extent = terrainExtentX > terrainExtentY ? terrainExtentX : terrainExtentY;
    const float yaw = camera ? camera->GetTargetYaw() : -kHalfPi;
    D3DXMatrixRotationZ(&p.rotation, -yaw - kHalfPi);
    if (humanRacer) {
        p.origin = humanRacer->GetPosition();
        p.heading = FlatDirection(D3DXVECTOR3(0.0f, -1.0f, 0.0f), humanRacer->GetRotationQuaternion());
    }
    const float half = 0.5f * CPMiniMap::kSide * g_interfaceScale;
    p.centre = D3DXVECTOR2(g_interfaceOffsetX + half, static_cast<float>(g_screenHeight) - half);
}

D3DXVECTOR2 CPLevel::MapScreenPoint(const D3DXVECTOR3& point) const {
    const SPMapProjection& p = mapProjection;
    // Before the zoom has grown from 0 (or on an empty terrain) every point sits at the centre
    // instead of at infinity.
    const float denominator = p.extent * p.scale;
    if (denominator == 0.0f) return p.centre;
    const D3DXVECTOR3 offset = point - p.origin;
    D3DXVECTOR3 v;
    D3DXVec3TransformCoord(&v, &offset, &p.rotation);
    const float factor = 0.5f * CPMiniMap::kSide * g_interfaceScale / denominator;
    return D3DXVECTOR2(p.centre.x + v.x * factor, p.centre.y + v.y * factor);
}

void CPLevel::WriteMapMarker(int index, const CPPlayer& opponent) {
    if (index < 0 || index >= kMarkedOpponents) return;
    CPGameData* data = GetGameData();
    if (!data) return;
    const D3DXVECTOR3 h = FlatDirection(D3DXVECTOR3(0.0f, -1.0f, 0.0f), opponent.GetRotationQuaternion());
    const float angle = AngleFrom(mapProjection.heading, h);
    const D3DXVECTOR3& position = opponent.GetPosition();
    const D3DXVECTOR2 screen = MapScreenPoint(position);
    data->SetMapMarker(std::to_string(index), position.x, position.y, angle, screen.x, screen.y);
}

void CPLevel::AddMapCheckpoint(int index) {
    if (index < 0 || static_cast<std::size_t>(index) >= checkpoints.size() || !humanRacer) return;
    const CPSmartPtr<CPGameObject>& object = checkpoints[static_cast<std::size_t>(index)].object;
    if (!object) return;
    const D3DXVECTOR3 offset = object->GetPosition() - humanRacer->GetPosition();
    if (D3DXVec3LengthSq(&offset) >= kCheckpointRangeSq) return;
    const D3DXVECTOR3 dir = FlatDirection(D3DXVECTOR3(-1.0f, 0.0f, 0.0f), object->GetRotationQuaternion());
    float angle = AngleFrom(mapProjection.heading, dir);
    if (checkpointDirection < 0.0f) angle += kPi;
    const D3DXVECTOR2 screen = MapScreenPoint(object->GetPosition());
    SPMapCheckpoint entry;
    entry.screenX = screen.x;
    entry.screenY = screen.y;
    entry.angle = angle;
    entry.next = index == nextCheckpoint;
    const int half = static_cast<int>(checkpoints.size()) / 2;
    entry.finish = (finishCheckpointIndex != 0 && finishCheckpointIndex == index) ||
                   (index == 0 && (nextCheckpoint == 0 || nextCheckpoint > half));
    mapCheckpoints.push_back(entry);
}

void CPLevel::UpdateMiniMap(CPRenderBlock* block) {
    if (!miniMap || !humanRacer) return;
    const float yaw = cameraMode == 2 || !camera ? humanCarYaw : camera->GetTargetYaw();
    miniMap->Update(humanRacer->GetPosition(), yaw);
    if (block && IsMiniMapShown()) block->AddRenderable(miniMap.Get());
}

bool CPLevel::IsMiniMapShown() const { return miniMap && camera && camera->active && !camera->takedownOn && !raceOver; }
