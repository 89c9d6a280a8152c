#pragma once
// What the renderer reads of the layers above it, as small interfaces it owns (the scene,
// the race world, the post effects and the sky implement and install them). Each has a
// default that stands for "not there": no level, no post effects, no sky.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "Framework/PMMObject.h"
#include "Platform/Graphics/D3D9.h"
#include "Platform/Math/D3DXTypes.h"
#include "Render/PBoundingBox.h"

class IPRenderable;
class CPLight;
class CPPerspectiveCamera;

// A scene object as the render block and the render objects see it. The scene's object
// class implements it; the render block's hand-over and the decal take it.
class IPSceneObject : public IPMMObject {
public:
    // Attachment kinds.
    enum Kind { KindMesh = 0, KindAnimated = 1, KindLight = 2, KindSprite = 3, KindParticles = 4, KindEmpty = 5 };

    virtual bool IsVisible() const = 0;
    virtual bool IsStatic() const = 0;
    virtual void SetStatic(bool isStatic) = 0;
    virtual int GetKind() const = 0;
    // The attachment as a renderable (kinds 0, 1, 3) or as a light (kind 2); null otherwise.
    virtual IPRenderable* GetRenderable() const = 0;
    virtual CPLight* GetLight() const = 0;
    // Children in order.
    virtual int GetChildCount() const = 0;
    virtual IPSceneObject* GetChild(int index) const = 0;
    // The attached objects (levels of detail) that the static pre-write also visits.
    virtual int GetAttachedCount() const = 0;
    virtual IPSceneObject* GetAttached(int index) const = 0;
    virtual const D3DXMATRIX& GetWorldMatrix() const = 0;
    // Raised when the world matrix changed; a render object clears it once it has followed.
    virtual bool IsTransformChanged() const = 0;
    virtual void ClearTransformChanged() = 0;
    // Half size of the pick bounds.
    virtual D3DXVECTOR3 GetPickHalfSize() const = 0;

    // The parent as a plain pointer (no reference taken); null for a root.
    virtual IPSceneObject* GetParentObject() const { return nullptr; }
    // The position relative to the parent, and the object's own rotation.
    virtual D3DXVECTOR3 GetRelativePosition() const { return D3DXVECTOR3(0.0f, 0.0f, 0.0f); }
    virtual D3DXQUATERNION GetRotation() const { return D3DXQUATERNION(0.0f, 0.0f, 0.0f, 1.0f); }
    // The world-space extent of the object and its whole subtree (with its shadow for casters).
    virtual const CPBoundingBox& GetVisibleBounds() const;
};

// A light source a visible named sprite reports once a frame; the level gathers them by name,
// projects them and fills the screen position.
struct SPFlareSource {
    D3DXVECTOR3 position{0.0f, 0.0f, 0.0f};
    int intensity = 0;
    CPSmartPtr<IPSceneObject> root;
    std::string name;
    float distance = 0.0f;
    float nearFactor = 1.0f;
    D3DXVECTOR2 screenPosition{0.0f, 0.0f};
};

// Triangle numbers into the race world's terrain, gathered around a racer.
struct SPTriangleSet : public IPMMObject {
    static constexpr int kMaxTriangles = 1000;
    int count = 0;
    std::int32_t triangles[kMaxTriangles] = {};

    int GetSize() const override { return static_cast<int>(sizeof(SPTriangleSet)); }
    std::string GetClassName() const override { return "SPTriangleSet"; }
};

// The terrain's arrays: each vertex record begins with its position (3 floats), each
// triangle record with its three vertex numbers (32-bit); strides in bytes.
struct SPTerrainView {
    const std::uint8_t* vertices = nullptr;
    int vertexCount = 0;
    int vertexStride = 0;
    const std::uint8_t* triangles = nullptr;
    int triangleCount = 0;
    int triangleStride = 0;
};

// The race world's services the frame reads.
class IPRaceWorld {
public:
    virtual bool HasLevel() const = 0;
    // The level's race camera: its current view camera and its far camera; null without a
    // level or a race camera.
    virtual CPPerspectiveCamera* GetViewCamera() const = 0;
    virtual CPPerspectiveCamera* GetFarCamera() const = 0;
    // False without terrain.
    virtual bool GetTerrain(SPTerrainView& out) const = 0;
    // The level's sun light record, which the sky writes every frame; null without a level.
    virtual D3DLIGHT9* GetSunLight() { return nullptr; }
    // Copies the sun light record into the renderer's light list (while it has room).
    virtual void AddSunLight() {}
    // Appends a flare record to the level's list for its name; nothing without a level.
    virtual void AddFlareSource(const SPFlareSource& source) { (void)source; }
    // The human racer's car velocity (x, y, z, 0): false without a racer, zeros without a car.
    virtual bool GetHumanVelocity(float out[4]) const {
        (void)out;
        return false;
    }

protected:
    ~IPRaceWorld() = default;
};

// Installs the race world (null: back to "no level").
void SetRaceWorld(IPRaceWorld* world);
// Never null.
IPRaceWorld& GetRaceWorld();

// The post-processing member of the renderer. The default does nothing.
class IPPostEffects {
public:
    virtual ~IPPostEffects() = default;
    virtual HRESULT Init(IDirect3DDevice9* device) {
        (void)device;
        return S_OK;
    }
    // Before a reset: every device object.
    virtual void ReleaseTargets() {}
    // At stop: effects and textures.
    virtual void Release() {}
    virtual void RadialBlur() {}
    virtual void Bloom() {}
};

// The loaded sky: drawn by its update, which also hands lights, ambient and fog over.
class IPRenderSky {
public:
    virtual ~IPRenderSky() = default;
    virtual void Update(float deltaTime) = 0;
};

// Makes the sky of a sky description file (its name under the clouds folder); the sky library
// installs one at start-up. Without a maker levels have no sky.
using SkyMaker = std::function<std::unique_ptr<IPRenderSky>(const std::string& fileName)>;
void SetSkyMaker(SkyMaker maker);
const SkyMaker& GetSkyMaker();

// The device the sky and its vertex objects draw through; null until the renderer starts.
extern IDirect3DDevice9* g_skyDevice;
