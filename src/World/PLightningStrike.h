#pragma once
// A lightning strike: a shot that flies straight from its launch point, drawn as a textured
// strip from the launch point to its head, turned towards the camera. Each frame it tests the
// stretch it is about to cover against the racers; on a hit it spawns its impact effect and
// hands the racer back.

#include <string>
#include <vector>

#include "World/PShot.h"

class CPLightningStrike : public CPShot {
public:
    explicit CPLightningStrike(const std::string& shotName);
    ~CPLightningStrike() override;

    int GetSize() const override { return static_cast<int>(sizeof(CPLightningStrike)); }

    // A strike cannot serve as a pool's prototype: always empty.
    CPSmartPtr<CPShot> Clone() override { return CPSmartPtr<CPShot>(); }
    // Runs the update; true while it is under way.
    bool IsAlive() override;
    bool IsPooled() const override { return false; }
    // "enemy"?, time scale, (unused), half width, texture, effect, render key, impact effect,
    // (unused), sound: builds the strip, then the sound as every shot reads it.
    bool ParseParams(const std::vector<std::string>& params) override;
    void Launch(const D3DXVECTOR3& position, const D3DXVECTOR3& direction, float speed,
                const CPSmartPtr<CPGameObject>& owner, const float* speedReference) override;
    // One frame: 1 under way, 0 it hit a racer (put into hit), -1 its time is over or there is
    // no level or race camera to strike in.
    virtual int Update(CPSmartPtr<CPGameObject>& hit);

    float GetTimeScale() const { return timeScale; }
    float GetAge() const { return age; }
    float GetHalfWidth() const { return halfWidth; }
    const std::string& GetImpactEffect() const { return impactEffect; }
    const std::string& GetTexture() const { return texture; }
    const std::string& GetEffect() const { return effect; }
    int GetRenderKey() const { return renderKey; }
    bool IsEnemyStrike() const { return enemyStrike; }
    const D3DXVECTOR3& GetStartPoint() const { return startPoint; }
    const D3DXVECTOR3& GetSide() const { return side; }
    const CPSmartPtr<CPRenderObject>& GetStrikeRender() const { return strikeRender; }

private:
    float timeScale = 0.0f;
    float age = 0.0f;
    std::string impactEffect;
    std::string texture;
    std::string effect;
    int renderKey = 0;
    D3DXVECTOR3 startPoint{0.0f, 0.0f, 0.0f};
    float halfWidth = 0.0f;
    CPSmartPtr<CPRenderObject> strikeRender;
    bool enemyStrike = false;
    float unused2 = 0.0f;
    float unused8 = 0.0f;
    // Kept when head, tail and eye are in line.
    D3DXVECTOR3 side{0.0f, 0.0f, 1.0f};
};
