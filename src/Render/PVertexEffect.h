#pragma once
// The base of the effects a renderable runs over its vertices while it writes them into the
// render block (texture scrolling, fading, flicker, atlas animation, reflection coordinates).
// Not an engine object: the renderable that holds an effect owns and deletes it.

#include "Framework/PMMObject.h"
#include "Render/SPVertex.h"

class CPVertexEffect {
public:
    CPVertexEffect() = default;
    CPVertexEffect(const CPVertexEffect&) = default;
    CPVertexEffect& operator=(const CPVertexEffect&) = default;

    // Advances the effect's clock by dt seconds.
    virtual void Update(float dt) = 0;
    virtual ~CPVertexEffect();
    // destination[i] = source[i] with the effect's change, for i < count; the arrays may be
    // the same one.
    virtual void Apply(SPVertex* destination, const SPVertex* source, int count) = 0;
    // A new effect of the same kind, owned by the caller.
    virtual CPVertexEffect* Clone() const = 0;
    virtual void Start() {}
    virtual void Stop() {}
    virtual void Reset() {}
    virtual bool IsPlaying() const { return false; }
    void ReleaseHeld() { m_held = nullptr; }

    const CPSmartPtr<IPMMObject>& GetHeld() const { return m_held; }
    void SetHeld(IPMMObject* object) { m_held = object; }

protected:
    CPSmartPtr<IPMMObject> m_held;
};
