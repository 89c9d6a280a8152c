#pragma once
// The one current race level, reached through its singleton pointer (null while none exists).
// Not a counted engine object: the scripts create and delete it.

#include <list>
#include <string>
#include <vector>

#include "Framework/PMMObject.h"
#include "World/PLevelBranch.h"
#include "World/PPlayer.h"

class CPGameObject;

class CPLevel {
public:
    CPLevel();
    virtual ~CPLevel();
    CPLevel(const CPLevel&) = delete;
    CPLevel& operator=(const CPLevel&) = delete;

    static CPLevel* GetInstance() { return s_instance; }
    virtual std::string GetClassName() const { return "CPLevel"; }
    virtual void Unused() {}

    // The human racer, held; and the racer the scripts and the race rules treat as the
    // player (normally the same one), not held.
    CPSmartPtr<CPGameObject> humanRacer;
    CPGameObject* player = nullptr;
    // Set by the race rules once the race has ended.
    bool raceOver = false;

    // ---- level tree, ray and sphere queries (PLevelRays.cpp) ----------------------------------
    // The nearest hit of the ray over the level tree and, when the ray passes near the human
    // racer, over the active objects; the human racer itself is never hit. hitPoint becomes
    // the end of the (shortened) ray, hit or not.
    bool CrossPlayerRay(SPRayPick& pick);
    // As CrossPlayerRay, with the human racer picked before the active objects.
    bool RayTest(SPRayPick& pick);
    // Appends the tree's objects, the human racer and (near the human racer) the active
    // objects whose parts boxes lie within radius of the point; nothing is cleared first.
    void RayQuery(const D3DXVECTOR3& point, float radius, std::vector<CPSmartPtr<CPGameObject>>& out);
    // The opponents in order, the first hit ends the query; else the player. hitPoint stays.
    bool HitsAnyRacer(SPRayPick& pick);
    // Whether the ray's segment meets, in x and y, the square of half side 30 around the racer.
    static bool IsRayNearRacer(const SPRayPick& pick, const D3DXVECTOR3& racer);
    // The root of the level tree; empty while the quad tree serves instead.
    CPSmartPtr<CPLevelBranch> levelTree;
    // Movable level objects currently in the physics world and the scene.
    std::list<CPSmartPtr<CPGameObject>> activeObjects;
    // The computer racers in start order.
    std::vector<CPSmartPtr<CPPlayer>> opponents;

private:
    static CPLevel* s_instance;
};
