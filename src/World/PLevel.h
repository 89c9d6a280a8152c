#pragma once
// The one current race level, reached through its singleton pointer (null while none exists).
// Not a counted engine object: the scripts create and delete it.

#include <string>

#include "Framework/PMMObject.h"

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

private:
    static CPLevel* s_instance;
};
