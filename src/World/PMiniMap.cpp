#include "World/PMiniMap.h"

#include "Framework/PApplication.h"
#include "Framework/PSettings.h"
#include "Platform/Math/D3DXMath.h"
#include "Render/PEffectManager.h"
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
