#pragma once
// A started-or-not renderer on the Recording device over a temporary game root, an effect
// manager and a fresh animation library; helpers that write descriptions and read back the
// materials the loader chose.

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "Render/Frame/FrameFixture.h"
#include "Render/PMaterial.h"
#include "Scene/PAnimationLibrary.h"
#include "Scene/PGameObject.h"
#include "Scene/SceneInterfaces.h"

namespace desctest {

// An overlay that only counts its references; the maker owns it.
class CountedOverlay : public IPLensFlareOverlay {
public:
    explicit CountedOverlay(std::string name) : flareName(std::move(name)) {}
    void AddRef() override { ++references; }
    void Release() override { --references; }
    void SetSourcePosition(int, int) override {}
    void SetScale(float) override {}
    void SetAlpha(unsigned char) override {}
    void SetFlareVisible(bool) override {}
    void Render() override {}

    std::string flareName;
    int references = 0;
};

class FakeOverlayMaker : public IPLensFlareOverlayMaker {
public:
    CPSmartPtr<IPLensFlareOverlay> Make(const std::string& flareName) override;

    // Answers empty from this many overlays on (never, when negative).
    int failAfter = -1;
    std::vector<std::unique_ptr<CountedOverlay>> made;
    std::vector<std::string> asked;
};

class FakePoolSink : public IPLensFlarePoolSink {
public:
    bool HasPool(const std::string& name) const override { return pools.count(name) != 0; }
    void AddPool(const std::string& name, std::vector<CPSmartPtr<IPLensFlareOverlay>> overlays) override {
        pools[name] = std::move(overlays);
    }
    std::map<std::string, std::vector<CPSmartPtr<IPLensFlareOverlay>>> pools;
};

class DescriptionFixture : public frametest::RenderFixture {
protected:
    void SetUp() override;
    void TearDown() override;

    // Writes Data\Meshes\<name>.
    void WriteMeshes(const std::string& name, const std::string& content) const;
    CPSmartPtr<CPGameObject> Load(const std::string& name, int base = 0) const {
        return library->LoadRenderDescription(name, base);
    }
    // The object of that name in the tree (the root included), empty when there is none.
    static CPSmartPtr<CPGameObject> Named(const CPSmartPtr<CPGameObject>& root, const std::string& name);

    // The effect manager's material for the request: the one the loader got when it asked the same.
    CPSmartPtr<CPMaterial> Expected(RenderKey key, const std::string& effect,
                                    const std::vector<std::string>& textures) const;

    std::unique_ptr<CPAnimationLibrary> library;
    int savedLensflare = 0;
    int savedWeather = 0;
};

} // namespace desctest
