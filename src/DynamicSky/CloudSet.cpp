#include "DynamicSky/CloudSet.h"

#include "DynamicSky/SkyFileRows.h"
#include "Platform/Math/D3DXMath.h"

void CloudItem::Load(const std::string& name, float s, float a) {
    SkyFileRows rows;
    if (!rows.Load(name)) return;
    Read(rows, s, a);
}

void CloudItem::Read(SkyFileRows& rows, float s, float a) {
    scale = s;
    rotation = a;
    D3DXMATRIX turn;
    D3DXMatrixRotationZ(&turn, a);
    auto place = [&](const D3DXVECTOR3& v) {
        const D3DXVECTOR3 scaled(v.x * s, v.y * s, v.z * s);
        D3DXVECTOR3 out;
        D3DXVec3TransformCoord(&out, &scaled, &turn);
        return out;
    };
    anchors.clear();
    puffs.clear();
    const int anchorCount = rows.Next().Int();
    for (int i = 0; i < anchorCount && !rows.AtEnd(); ++i) anchors.push_back(place(rows.Next().Vector()));
    const int puffCount = rows.Next().Int();
    for (int i = 0; i < puffCount && !rows.AtEnd(); ++i) {
        SPCloudPuff puff;
        puff.position = place(rows.Next().Vector());
        rows.Next();
        puff.kept1 = rows.Int(0);
        puff.kept2 = rows.Int(1);
        puff.kept3 = rows.Next().Float();
        const int anchor = rows.Next().Int();
        rows.Next();
        puff.sizeA = rows.Float(0) * s;
        puff.sizeB = rows.Float(1) * s;
        // A puff tied to no anchor of the list has no outward direction.
        if (anchor >= 0 && static_cast<std::size_t>(anchor) < anchors.size()) {
            const D3DXVECTOR3 d = puff.position - anchors[static_cast<std::size_t>(anchor)];
            D3DXVec3Normalize(&puff.outward, &d);
        }
        puffs.push_back(puff);
    }
    trailer1 = rows.Next().Float();
    trailer2 = rows.Next().Float();
    for (float& value : trailer) value = rows.Next().Float();
}

CloudSet::~CloudSet() {
    for (auto& entry : weightedItems) delete entry.first;
}

void CloudSet::Load(const std::string& name) {
    SkyFileRows rows;
    if (!rows.Load(name)) return;
    Read(rows);
}

void CloudSet::Read(SkyFileRows& rows) {
    offset = rows.Next().Vector();
    kept1 = rows.Next().Float();
    kept2 = rows.Next().Int();
    kept3 = rows.Next().Vector();
    kept4 = rows.Next().Float();
    const int count = rows.Next().Int();
    for (int i = 0; i < count && !rows.AtEnd(); ++i) {
        const std::string name = rows.Next().Text();
        const D3DXVECTOR3 local = rows.Next().Vector();
        const float s = rows.Next().Float();
        const float a = rows.Next().Float();
        const float weight = rows.Next().Float();
        CloudItem* item = new CloudItem();
        item->Load(name, s, a);
        item->localPosition = local;
        item->worldPosition = local + offset;
        weightedItems.emplace_back(item, weight);
        items.push_back(item);
    }
}

void CloudSet::SetActive(bool isActive, bool resetFade) {
    active = isActive;
    fading = !isActive;
    for (CloudItem* item : items) {
        item->fadingOut = !isActive;
        item->fadingIn = isActive;
        if (resetFade) {
            item->fadeStart = isActive ? 255.0f : 0.0f;
            item->fadeEnd = isActive ? 0.0f : 255.0f;
        }
        item->changed = true;
        item->flag1 = true;
    }
}

void CloudSet::StartFadingOut() {
    active = false;
    fading = true;
    for (CloudItem* item : items) {
        item->fadingOut = true;
        item->fadingIn = false;
        item->changed = true;
        item->flag1 = true;
    }
}

void CloudSet::PlaceItems() {
    for (CloudItem* item : items) item->worldPosition = item->localPosition + offset;
}

VolumeCloud::VolumeCloud() {
    LoadTexture("data\\textures\\cloud.tga");
    LoadEffect("data\\effects\\volume_cloud.fx");
}
