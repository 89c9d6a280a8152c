#pragma once
// Clouds as data: a cloud item is a cloud of puffs around anchor points, a cloud set a group of
// items placed around an offset that a weather phase shows. The sky switches the sets and marks
// their items' fades; nothing draws them yet. The volume cloud holds the cloud texture and effect.

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "DynamicSky/VertexObject.h"
#include "Platform/Math/D3DXTypes.h"

class SkyFileRows;

struct SPCloudPuff {
    D3DXVECTOR3 position{0.0f, 0.0f, 0.0f};
    int kept1 = 0, kept2 = 0;
    float kept3 = 0.0f;
    // Unit vector from the puff's anchor point to the puff (zero for a bad anchor).
    D3DXVECTOR3 outward{0.0f, 0.0f, 0.0f};
    float sizeA = 0.0f, sizeB = 0.0f;
    int unset[5] = {0, 0, 0, 0, 0};
};

class CloudItem {
public:
    virtual ~CloudItem() = default;
    // Reads "Data\Clouds\<name>", scaling by s and turning by a radians about z; an unreadable
    // file leaves the item as constructed.
    void Load(const std::string& name, float s, float a);
    void Read(SkyFileRows& rows, float s, float a);

    std::vector<D3DXVECTOR3> anchors;
    std::vector<SPCloudPuff> puffs;
    float fadeStart = 0.0f, fadeEnd = 255.0f;
    bool fadingOut = false, fadingIn = false;
    float trailer2 = 20.0f, trailer1 = 20.0f;
    int unused[3] = {0, 0, 0};
    float trailer[6] = {128.0f, 128.0f, 128.0f, 128.0f, 128.0f, 128.0f}; // trailer values 3 to 8
    float extent[2] = {0.0f, 0.0f};
    D3DXVECTOR3 worldPosition{0.0f, 0.0f, 0.0f};
    bool changed = false;
    float scale = 1.0f;
    float rotation = 0.0f;
    D3DXVECTOR3 localPosition{0.0f, 0.0f, 0.0f};
    bool flag1 = false, flag2 = false;
};

class CloudSet {
public:
    CloudSet() = default;
    virtual ~CloudSet();
    CloudSet(const CloudSet&) = delete;
    CloudSet& operator=(const CloudSet&) = delete;

    void Load(const std::string& name);
    void Read(SkyFileRows& rows);
    void SetActive(bool active, bool resetFade);
    // Marks the set and its items as fading out, fades left as they are.
    void StartFadingOut();
    // Puts every item at its own position plus the offset.
    void PlaceItems();

    std::vector<std::pair<CloudItem*, float>> weightedItems; // owned
    std::vector<CloudItem*> items;
    D3DXVECTOR3 offset{0.0f, 0.0f, 0.0f};
    float kept1 = 0.0f;
    int kept2 = 0;
    D3DXVECTOR3 kept3{0.0f, 0.0f, 0.0f};
    float kept4 = 0.0f;
    bool active = false, fading = false;
    int timer = 0, further = 0;
};

class VolumeCloud : public VertexObject {
public:
    VolumeCloud();
    std::map<std::string, int> entries;
};
