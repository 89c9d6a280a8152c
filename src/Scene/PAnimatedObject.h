#pragma once
// The renderable of a scene object whose attachment plays morph animations: a set of named
// animations, one of them playing by the global clock, whose current frame is written into the
// render block placed by the owner's world matrix. It counts cycles, stops after a requested
// number of them holding the second-to-last frame, and reports a chosen frame and the stop to a
// script ("animation_report", "animation_stopped") and to its owner.

#include <string>
#include <unordered_map>
#include <vector>

#include "Framework/PMMObject.h"
#include "Render/PRenderSeams.h"
#include "Render/PRenderable.h"
#include "Scene/PAnimation.h"
#include "Script/PLuaScript.h"

class CPVertexEffect;

// What to play and how.
struct SPAnimationRequest {
    std::string name;
    // Factor on the clock; 1 is normal speed.
    float speed = 1.0f;
    // Completed cycles after which the animation stops; 0 or less plays for ever.
    int loopLimit = 0;
    // The script that receives the two events; may be empty.
    CPSmartPtr<CPLuaScript> reportTarget;
    // The frame at which "animation_report" goes out once per cycle; negative: none.
    int reportFrame = -1;
    // Seconds added to the start time: positive delays, negative starts part-way.
    float timeOffset = 0.0f;
};

// The two moments an animated object tells the scene object it hangs on, after the fill that
// reached them has written its vertices and queued the script events.
class IPAnimationHooks {
public:
    virtual void OnAnimationStopped() = 0;
    virtual void OnAnimationReport() = 0;

protected:
    ~IPAnimationHooks() = default;
};

class CPAnimatedObject : public IPRenderable {
public:
    CPAnimatedObject() = default;
    ~CPAnimatedObject() override;
    CPAnimatedObject(const CPAnimatedObject&) = delete;
    CPAnimatedObject& operator=(const CPAnimatedObject&) = delete;

    int GetSize() const override { return static_cast<int>(sizeof(CPAnimatedObject)); }
    std::string GetClassName() const override { return "CPAnimatedObject"; }

    bool IsFillSkipped() const override { return false; }
    void SetFillSkipped(bool) override {}
    // The counts of exactly the frame the next FillVertices of this pass writes; 0 for an object
    // that cannot play (no owner, no animation, no frames, a duration that is not above 0).
    int GetVertexCount() const override;
    int GetIndexCount() const override;
    // Chooses the frame from the clock (or holds it while stopped), writes it placed by the
    // owner's world matrix, runs the vertex effects over it, writes the indices (each triangle
    // turned round when the owner is mirrored), then sends the events and calls the owner hooks.
    void FillVertices(SPVertex* vertices, std::uint16_t* indices, std::uint16_t baseIndex, int unused) override;
    void FillIndices(std::uint16_t*, int, int&, int&) override {}
    CPSmartPtr<CPMaterial> GetMaterial() const override { return m_material; }
    void SetMaterial(const CPSmartPtr<CPMaterial>& material) { m_material = material; }

    // The owner places the frames; when it also takes the hooks, it receives the two moments.
    void SetOwner(IPSceneObject* owner);
    IPSceneObject* GetOwner() const { return m_owner; }

    // Enters the animation under the name; the first one added becomes current (from start time
    // 0, so every copy of a model plays in step).
    void AddAnimation(const std::string& name, const CPSmartPtr<CPAnimation>& animation);
    // Applies the request when the set holds its name; with restart clear, a request for the
    // animation already playing changes nothing.
    void SetAnimation(const SPAnimationRequest& request, bool restart);
    // Takes the source's animations, playing state, report target, material and clones of its
    // vertex effects (the owner is not copied).
    void CopyFrom(const CPAnimatedObject& source);

    // Takes ownership; the effects run over every written frame.
    void AddVertexEffect(CPVertexEffect* effect);
    const std::vector<CPVertexEffect*>& GetVertexEffects() const { return m_vertexEffects; }
    bool HasVertexEffects() const { return m_hasVertexEffects; }

    const std::unordered_map<std::string, CPSmartPtr<CPAnimation>>& GetAnimations() const { return m_animations; }
    const CPSmartPtr<CPAnimation>& GetCurrentAnimation() const { return m_current; }
    const std::string& GetCurrentName() const { return m_currentName; }
    float GetStartTime() const { return m_startTime; }
    float GetSpeed() const { return m_speed; }
    int GetLoopLimit() const { return m_loopLimit; }
    int GetCycles() const { return m_cycles; }
    int GetReportFrame() const { return m_reportFrame; }
    int GetReportedFrame() const { return m_reportedFrame; }
    const CPSmartPtr<CPLuaScript>& GetReportTarget() const { return m_reportTarget; }
    // The frame drawn last, -1 before the first.
    int GetCurrentFrame() const { return m_currentFrame; }
    bool IsStopped() const { return m_stopped; }
    // Whether the current animation can be drawn at all.
    bool CanPlay() const;

private:
    // The frame index the clock points at now.
    int ChooseFrame() const;
    // The frame the next fill writes (null when nothing can be drawn); tells whether that fill
    // stops the animation.
    const SPAnimationFrame* NextFrame(bool* stops = nullptr) const;

    IPSceneObject* m_owner = nullptr;
    IPAnimationHooks* m_hooks = nullptr;
    CPSmartPtr<CPMaterial> m_material;
    std::unordered_map<std::string, CPSmartPtr<CPAnimation>> m_animations;
    CPSmartPtr<CPAnimation> m_current;
    float m_startTime = 0.0f;
    int m_loopLimit = 0;
    int m_cycles = 0;
    int m_reportedFrame = -1;
    int m_reportFrame = -1;
    float m_speed = 1.0f;
    CPSmartPtr<CPLuaScript> m_reportTarget;
    int m_currentFrame = -1;
    bool m_stopped = false;
    std::string m_currentName;
    bool m_hasVertexEffects = false;
    std::vector<CPVertexEffect*> m_vertexEffects;
};

// Applies the request to the animated attachment of the object and of every object below it,
// parents before children, children in order (objects of other kinds only pass it on). With
// restart clear, an attachment already playing the request's name goes on unchanged.
void SetAnimationOnTree(IPSceneObject& root, const SPAnimationRequest& request, bool restart);
