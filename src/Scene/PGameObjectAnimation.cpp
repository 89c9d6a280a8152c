// The scene object's part animations and its animated attachment. Until the animation classes
// exist, an object keeps its part animations as plain tasks and has no animated attachment to
// copy, drive or re-skin.

#include "Scene/PGameObject.h"

void CPGameObject::AddPartAnimation(const std::string& name, const CPSmartPtr<IPTask>& animation) {
    m_hasPartAnimations = true;
    m_static = false;
    m_partAnimations[name] = animation;
    if (name == "idle") m_currentPartAnimation = animation;
}

void CPGameObject::SetAnimation(const SPAnimationRequest& request, bool restart) {
    for (std::size_t i = 0; i < m_children.size(); ++i) {
        CPSmartPtr<CPGameObject> child = m_children[i];
        if (child) child->SetAnimation(request, restart);
    }
}

void CPGameObject::CopyPartAnimationsFrom(const CPGameObject&) {}

void CPGameObject::CopyAnimatedAttachmentFrom(const CPGameObject&) {}

void CPGameObject::ApplyFireMaterialToAnimated() {}
