#pragma once
// An enemy: the record a scene object carries when its description has an "enemy" element. The
// object's animation events and damage reach it; it lands melee blows and fires shots when its
// attack animations reach their report frames, chooses the next attack when one ends, takes
// damage, pays its reward, bursts into gibs and reports its death to the level's scripts.

#include <map>
#include <memory>
#include <string>

#include "Platform/Math/D3DXTypes.h"
#include "Scene/PAnimatedObject.h"
#include "Scene/SceneInterfaces.h"

class CPGameObject;
class TiXmlElement;

struct SPMeleeRecord {
    int reportFrame = -1;
    D3DXVECTOR3 reach{0.0f, -1.0f, 0.0f};
    D3DXVECTOR3 push{0.0f, 0.0f, 0.0f};
    float impulse = 0.0f;
    float damage = 0.0f;
};

class CPEnemy : public IPEnemyHooks {
public:
    // The record of the object; the object owns it and outlives every call into it.
    explicit CPEnemy(CPGameObject& object);
    ~CPEnemy() override;

    // Gives the object a new animation request unless the current one has the same name and
    // force is false. Once: plays one cycle with the report frame; else loops without one.
    void PlayAnimation(const std::string& name, bool once, bool force, int reportFrame);

    void OnAnimationStopped() override;
    void OnAnimationReport() override;
    void OnDamage(const D3DXVECTOR3& point, const D3DXVECTOR3& direction, float amount, bool noEffect,
                  bool silent) override;

    // Reads the "enemy" element's attributes and children; a bad number keeps its default.
    void Read(const TiXmlElement& element);
    // The state map's value (a missing entry reads as 0 and is entered).
    int StateOf(int number) { return stateMap[number]; }

    CPGameObject& GetObject() const { return *object; }

    int stateValue = 0;
    float stateTimer = 0.0f;
    std::map<int, int> stateMap;
    D3DXVECTOR3 referenceFacing{0.0f, -1.0f, 0.0f};
    float health = 100.0f;
    std::string kind;
    int meleeCount = 1;
    float gibHeight = 1.0f;
    SPAnimationRequest animation;
    std::string effectName = "blood1";
    std::string meleeName;
    // Entries 1 and 2; entry 0 is unused.
    SPMeleeRecord melee[3];
    int fireReportFrame = -1;
    D3DXVECTOR3 muzzleOffset{0.0f, 0.0f, 0.0f};
    int firing = 0;
    bool ignoresDamage = false;
    bool gibs = false;
    std::string name;
    std::map<std::string, std::string> sounds;
    int reward = 0;
    int rocketCounter = 0;
    bool deathDone = false;
    bool deathReportOff = false;
    bool deathReported = false;

private:
    // The blow of the melee record n (1 or 2) of the current animation.
    void Melee(int n);
    void Fire();
    void PlayHitSound(const std::string& key);
    void ReportDeath();
    // M: the turn about z from the reference facing to the object's current direction.
    D3DXMATRIX FacingTurn() const;
    D3DXVECTOR3 Forward() const;

    CPGameObject* object;
};

// Makes an enemy record for an object whose description has an "enemy" element (the root, or
// a child of the root); nothing for any other object.
std::unique_ptr<IPEnemyHooks> MakeEnemyRecord(CPGameObject& object);
// The maker the race world installs.
IPEnemyMaker& GetEnemyRecordMaker();
