#include "DescriptionFixture.h"

#include "Framework/PSettings.h"
#include "Framework/PackFile.h"

namespace desctest {

CPSmartPtr<IPLensFlareOverlay> FakeOverlayMaker::Make(const std::string& flareName) {
    asked.push_back(flareName);
    if (failAfter >= 0 && static_cast<int>(made.size()) >= failAfter) return CPSmartPtr<IPLensFlareOverlay>();
    made.push_back(std::make_unique<CountedOverlay>(flareName));
    return CPSmartPtr<IPLensFlareOverlay>(made.back().get());
}

void DescriptionFixture::SetUp() {
    RenderFixture::SetUp();
    savedLensflare = g_lensflare;
    savedWeather = g_weather;
    library = std::make_unique<CPAnimationLibrary>();
}

void DescriptionFixture::TearDown() {
    SetLensFlarePoolSink(nullptr);
    SetLensFlareOverlayMaker(nullptr);
    g_lensflare = savedLensflare;
    g_weather = savedWeather;
    UnmountPacks();
    library.reset();
    RenderFixture::TearDown();
}

void DescriptionFixture::WriteMeshes(const std::string& name, const std::string& content) const {
    root->Write("Data/Meshes/" + name, content);
}

CPSmartPtr<CPGameObject> DescriptionFixture::Named(const CPSmartPtr<CPGameObject>& tree, const std::string& name) {
    if (!tree) return CPSmartPtr<CPGameObject>();
    std::vector<CPSmartPtr<CPGameObject>> all;
    tree->CollectTree(all);
    for (const auto& object : all)
        if (object && object->GetName() == name) return object;
    return CPSmartPtr<CPGameObject>();
}

CPSmartPtr<CPMaterial> DescriptionFixture::Expected(RenderKey key, const std::string& effect,
                                                    const std::vector<std::string>& textures) const {
    CPSmartPtr<CPMaterial> material;
    manager->GetMaterial(material, key, effect, textures);
    return material;
}

} // namespace desctest
