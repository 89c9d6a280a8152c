#pragma once
// What the scene asks of the layers above it (physics bodies, enemies, lens-flare overlays and
// the level's pools of them). The scene never links those layers: each interface is implemented
// above and installed at start-up or for a level's life; until then the scene makes nothing.

#include <memory>
#include <string>
#include <vector>

#include "Framework/PMMObject.h"
#include "Platform/Math/D3DXTypes.h"

class CPGameObject;

// The physics data of a scene object: its shapes and, once the race world made one, its body.
// The object moves and turns its body only through SetPosition and SetBodyRotation.
class IPPhysicData : public IPMMObject {
public:
    // The body's own shape: a box of sizes (b, a, c) and the given mass.
    virtual void SetShape(float a, float b, float c, float mass) = 0;
    virtual void AddBoxShape(const D3DXVECTOR3& offset, const D3DXQUATERNION& rotation, float size1, float size2,
                             float size3, float mass) = 0;
    virtual void AddCylinderShape(const D3DXVECTOR3& offset, const D3DXQUATERNION& rotation, float diameter,
                                  float height, float mass) = 0;
    // Move or turn the body (the animated one first, else the rigid one, else nothing).
    virtual void SetPosition(const D3DXVECTOR3& position) = 0;
    virtual void SetBodyRotation(const D3DXQUATERNION& rotation) = 0;
    // The body shape and the shape list for a new owner, without a body; empty on failure.
    virtual CPSmartPtr<IPPhysicData> CopyShapesFor(CPGameObject* owner) const = 0;
    // The owner is being destroyed: nothing may reach it through the data or its body any more.
    virtual void ForgetOwner() {}
};

class IPPhysicDataMaker {
public:
    // New physics data for the object; empty for none.
    virtual CPSmartPtr<IPPhysicData> Make(CPGameObject* owner) = 0;

protected:
    ~IPPhysicDataMaker() = default;
};

// What a scene object tells the enemy record the race world attached to it.
class IPEnemyHooks {
public:
    virtual ~IPEnemyHooks() = default;
    // The current animation has played its loop count.
    virtual void OnAnimationStopped() = 0;
    // The current animation has reached its report frame.
    virtual void OnAnimationReport() = 0;
    virtual void OnDamage(const D3DXVECTOR3& point, const D3DXVECTOR3& direction, float amount, bool noEffect,
                          bool silent) = 0;
};

class IPEnemyMaker {
public:
    // An enemy record for an object whose description was read; empty for none.
    virtual std::unique_ptr<IPEnemyHooks> Make(CPGameObject& object) = 0;

protected:
    ~IPEnemyMaker() = default;
};

// A lens-flare overlay as the level drives it: before each Render the level writes the source's
// screen position, the scale and the alpha and says whether the source is seen.
class IPLensFlareOverlay {
public:
    virtual void AddRef() = 0;
    virtual void Release() = 0;
    virtual void SetSourcePosition(int x, int y) = 0;
    virtual void SetScale(float scale) = 0;
    virtual void SetAlpha(unsigned char alpha) = 0;
    virtual void SetFlareVisible(bool visible) = 0;
    virtual void Render() = 0;

protected:
    ~IPLensFlareOverlay() = default;
};

class IPLensFlareOverlayMaker {
public:
    // A counted overlay for the flare name, its layout loaded with layer 1; empty for none.
    virtual CPSmartPtr<IPLensFlareOverlay> Make(const std::string& flareName) = 0;

protected:
    ~IPLensFlareOverlayMaker() = default;
};

// The level's pools of overlays by flare name.
class IPLensFlarePoolSink {
public:
    virtual bool HasPool(const std::string& name) const = 0;
    virtual void AddPool(const std::string& name, std::vector<CPSmartPtr<IPLensFlareOverlay>> overlays) = 0;

protected:
    ~IPLensFlarePoolSink() = default;
};

// Installers (null: back to none) and their readers (null while none is installed).
void SetPhysicDataMaker(IPPhysicDataMaker* maker);
IPPhysicDataMaker* GetPhysicDataMaker();
void SetEnemyMaker(IPEnemyMaker* maker);
IPEnemyMaker* GetEnemyMaker();
void SetLensFlareOverlayMaker(IPLensFlareOverlayMaker* maker);
IPLensFlareOverlayMaker* GetLensFlareOverlayMaker();
// Installed by the level for its life only.
void SetLensFlarePoolSink(IPLensFlarePoolSink* sink);
IPLensFlarePoolSink* GetLensFlarePoolSink();
