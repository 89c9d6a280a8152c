#pragma once
// Short-lived world objects: everything a weapon, an explosion, a bonus or an enemy puts into
// the world. A shot is launched from a point in a direction at a speed, with an optional firing
// sound; the shot manager keeps the kinds' prototypes in named pools and the launched shots in
// its active list.

#include <string>
#include <vector>

#include "Framework/PMMObject.h"
#include "Platform/Math/D3DXTypes.h"
#include "Scene/PGameObject.h"

class CNSound;
class CPRenderObject;

class CPShot : public CPGameObject {
public:
    explicit CPShot(const std::string& shotName);
    ~CPShot() override;
    CPShot(const CPShot&) = delete;
    CPShot& operator=(const CPShot&) = delete;

    int GetSize() const override { return static_cast<int>(sizeof(CPShot)); }

    // A new shot of the same kind, ready to launch; empty for a kind that cannot be copied.
    virtual CPSmartPtr<CPShot> Clone() = 0;
    // Advances the shot by a frame; false once it has ended.
    virtual bool IsAlive() = 0;
    virtual const std::string& GetShotName() const { return shotName; }
    // The last entry is the sound, "file" or "file,mode": "none" is silent, the exact mode
    // "2d" plays without a position, anything else is positioned. Always true.
    virtual bool ParseParams(const std::vector<std::string>& params);
    // Places and turns the shot along the direction (its local -y onto the direction) and
    // starts its sound. The shot keeps neither the owner nor the speed reference.
    virtual void Launch(const D3DXVECTOR3& position, const D3DXVECTOR3& direction, float speed,
                        const CPSmartPtr<CPGameObject>& owner, const float* speedReference);
    // Whether a finished shot of this kind may go back to its pool as a spare.
    virtual bool IsPooled() const { return true; }

    const D3DXVECTOR3& GetShotPosition() const { return shotPosition; }
    const D3DXVECTOR3& GetShotDirection() const { return shotDirection; }
    float GetSpeed() const { return speed; }
    const std::string& GetSoundFile() const { return soundFile; }
    bool IsSound2D() const { return sound2D; }
    const CPSmartPtr<CNSound>& GetSound() const { return sound; }
    const CPSmartPtr<CPRenderObject>& GetRenderPart() const { return renderPart; }

    // The rotation that turns local -y onto the direction. Along +y it is half a turn about x;
    // a zero direction gives the identity.
    static D3DXQUATERNION LaunchRotation(const D3DXVECTOR3& direction);

protected:
    D3DXVECTOR3 shotPosition{0.0f, 0.0f, 0.0f};
    D3DXVECTOR3 shotDirection{0.0f, -1.0f, 0.0f};
    std::string shotName;
    CPSmartPtr<CNSound> sound;
    std::string soundFile;
    float speed = -1.0f;
    bool sound2D = false;
    CPSmartPtr<CPRenderObject> renderPart;
};
