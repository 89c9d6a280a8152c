#include "Scene/PAnimationLibrary.h"
#include "Scene/PGameObject.h"

CPSmartPtr<CPGameObject> CPAnimationLibrary::LoadRenderDescription(const std::string& name, int renderKeyBase) {
    (void)name;
    (void)renderKeyBase;
    return CPSmartPtr<CPGameObject>();
}

void CPAnimationLibrary::ApplyObjectDescription(const CPSmartPtr<CPGameObject>& object, Section& section,
                                                int renderKeyBase) {
    (void)object;
    (void)section;
    (void)renderKeyBase;
}
