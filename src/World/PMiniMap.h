#pragma once
// The mini map: a square in the bottom-left corner of the screen showing a window of the
// level's map picture around the human racer, turned with the race camera's yaw and opened
// wider the faster the car goes. One screen-space renderable of four vertices.

#include <string>
#include <vector>

#include "Framework/PMMObject.h"
#include "Platform/Math/D3DXTypes.h"
#include "Render/PRenderable.h"

class CPGameObject;

class CPMiniMap : public IPRenderable {
public:
    static constexpr int kRenderKey = 198;
    static constexpr int kMarkerKey = 200;
    // Side of the square in pixels of a 768-line screen.
    static constexpr float kSide = 200.0f;

    CPMiniMap() = default;
    ~CPMiniMap() override = default;
    CPMiniMap(const CPMiniMap&) = delete;
    CPMiniMap& operator=(const CPMiniMap&) = delete;

    int GetSize() const override { return static_cast<int>(sizeof(CPMiniMap)); }
    std::string GetClassName() const override { return "CPMiniMap"; }

    bool IsFillSkipped() const override { return false; }
    void SetFillSkipped(bool) override {}
    int GetVertexCount() const override { return 4; }
    int GetIndexCount() const override { return 6; }
    void FillVertices(SPVertex* vertices, std::uint16_t* indices, std::uint16_t baseIndex, int unused) override;
    // The indices are written with the vertices.
    void FillIndices(std::uint16_t*, int, int&, int&) override {}
    CPSmartPtr<CPMaterial> GetMaterial() const override { return material; }

    // The map picture of the current level's number, the square's place on the screen and the
    // marker models.
    void Init(float extentX, float extentY, const std::string& unused = std::string());
    void Update(const D3DXVECTOR3& position, float yaw);
    // The checkpoint hint the map points to: with an object the map holds it and shows the hint
    // arrow and the checkpoint marker, the arrow becoming the current marker; without one the
    // current marker is dropped and the checkpoint marker hidden (the arrow keeps its state).
    void SetHintTarget(const CPSmartPtr<CPGameObject>& target);
    // The texture names Init asks for, by level number.
    static std::vector<std::string> TexturesFor(int levelNumber, float& mapScale);

    // Fields, in declaration order.
    float centreX = 0.0f;
    float centreY = 0.0f;
    float mapExtentX = 0.0f;
    float mapExtentY = 0.0f;
    float mapYaw = 0.0f;
    float screenLeft = 0.0f;
    float screenTop = 0.0f;
    CPSmartPtr<CPGameObject> hintTarget;
    CPSmartPtr<CPGameObject> markerScene;
    CPSmartPtr<CPGameObject> hintArrow;
    CPSmartPtr<CPGameObject> checkpointMarker;
    CPSmartPtr<CPGameObject> currentMarker;
    CPSmartPtr<CPMaterial> material;
    float mapScale = 0.0f;
};
