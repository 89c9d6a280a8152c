// The scene object's part animations and its animated attachment.

#include "Scene/PGameObject.h"

void CPGameObject::AddPartAnimation(const std::string& name, const CPSmartPtr<IPTask>& animation) {
    m_hasPartAnimations = true;
    m_static = false;
    m_partAnimations[name] = animation;
    if (name == "idle") {
        m_currentPartAnimation = animation;
        if (auto* track = dynamic_cast<CPPartAnimation*>(animation.Get())) track->SetLoop(true);
    }
}

void CPGameObject::SetAnimation(const SPAnimationRequest& request, bool restart) {
    SetAnimationOnTree(*this, request, restart);
}

void CPGameObject::SetAnimatedLocalMatrix(const D3DXMATRIX& matrix) {
    m_localMatrix = matrix;
    m_animatedLocal = true;
    m_dirty = true;
}

void CPGameObject::CopyPartAnimationsFrom(const CPGameObject& source) {
    for (const auto& [name, task] : source.m_partAnimations) {
        auto* sourceTrack = dynamic_cast<CPPartAnimation*>(task.Get());
        if (!sourceTrack) continue;
        CPSmartPtr<CPPartAnimation> track(new CPPartAnimation());
        track->CopyKeys(CPSmartPtr<CPPartAnimation>(sourceTrack));
        track->SetOwner(this);
        AddPartAnimation(name, CPSmartPtr<IPTask>(track));
    }
}

void CPGameObject::CopyAnimatedAttachmentFrom(const CPGameObject& source) {
    auto* sourceAnimated = dynamic_cast<CPAnimatedObject*>(source.m_attachment.Get());
    if (!sourceAnimated) return;
    CPSmartPtr<CPAnimatedObject> animated(new CPAnimatedObject());
    animated->CopyFrom(*sourceAnimated);
    animated->SetOwner(this);
    SetAttachment(CPSmartPtr<IPMMObject>(animated), KindAnimated);
}

void CPGameObject::ApplyFireMaterialToAnimated() {
    if (auto* animated = dynamic_cast<CPAnimatedObject*>(m_attachment.Get())) animated->SetMaterial(m_fireMaterial);
}
