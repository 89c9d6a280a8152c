#include "Framework/PFileReader.h"
#include "Scene/PAnimationLibrary.h"
#include "Scene/PGameObject.h"

CPSmartPtr<CPGameObject> CPAnimationLibrary::ReadMeshNode(CPFileReader&, Sections&, int) {
    return CPSmartPtr<CPGameObject>();
}

CPSmartPtr<CPGameObject> CPAnimationLibrary::ReadPlainMeshNode(CPFileReader&, Sections&, int) {
    return CPSmartPtr<CPGameObject>();
}

CPSmartPtr<CPGameObject> CPAnimationLibrary::ReadAnimatedNode(CPFileReader&, Sections&, int, const std::string&) {
    return CPSmartPtr<CPGameObject>();
}

void CPAnimationLibrary::ReadNodeAnimations(const CPSmartPtr<CPGameObject>&, CPFileReader&, Sections&, int,
                                            const std::string&) {}

CPSmartPtr<CPGameObject> CPAnimationLibrary::ReadMeshFile(CPFileReader&, Sections&, int, const std::string&, bool,
                                                          bool& hasMatrixTable) {
    hasMatrixTable = false;
    return CPSmartPtr<CPGameObject>();
}

CPSmartPtr<CPGameObject> CPAnimationLibrary::ReadAnimationNodeFile(CPFileReader&, Sections&, int, const std::string&,
                                                                   const CPSmartPtr<CPGameObject>&) {
    return CPSmartPtr<CPGameObject>();
}

CPAnimationLibrary::Section& CPAnimationLibrary::FindNodeSection(Sections& sections, const std::string& name) {
    return sections[name];
}
