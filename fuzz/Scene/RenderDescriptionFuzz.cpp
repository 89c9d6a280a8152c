// A render description with its sections, loaded as the level loader and the scripts load one.
// The input holds up to seven parts split at "----" lines: the description "main.rdf", a second
// description "lod.rdf" that the first may name as a level of detail, the fall-back "wrong.rdf",
// a p3d mesh file "mesh.p3d", a plain mesh file "mesh.msh", an animation node file "anim.anm"
// and a part-animation file "part.anm", so the names a description gives can be found.

#include "Framework/PLog.h"
#include "Framework/PSettings.h"
#include "FuzzSupport.h"
#include "Render/PSprite.h"
#include "Scene/LensFlarePools.h"
#include "Scene/PAnimationLibrary.h"
#include "Scene/PGameObject.h"
#include "Scene/SceneInterfaces.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace {

class Overlay : public IPLensFlareOverlay {
public:
    void AddRef() override { ++references; }
    void Release() override { --references; }
    void SetSourcePosition(int, int) override {}
    void SetScale(float) override {}
    void SetAlpha(unsigned char) override {}
    void SetFlareVisible(bool) override {}
    void Render() override {}
    int references = 0;
};

class Maker : public IPLensFlareOverlayMaker {
public:
    CPSmartPtr<IPLensFlareOverlay> Make(const std::string&) override {
        made.push_back(std::make_unique<Overlay>());
        return CPSmartPtr<IPLensFlareOverlay>(made.back().get());
    }
    std::vector<std::unique_ptr<Overlay>> made;
};

class Sink : public IPLensFlarePoolSink {
public:
    bool HasPool(const std::string& name) const override { return pools.count(name) != 0; }
    void AddPool(const std::string& name, std::vector<CPSmartPtr<IPLensFlareOverlay>> overlays) override {
        // A pool is made once per name, always complete.
        if (pools.count(name) || overlays.size() != static_cast<std::size_t>(kLensFlarePoolSize)) std::abort();
        pools[name] = std::move(overlays);
    }
    std::map<std::string, std::vector<CPSmartPtr<IPLensFlareOverlay>>> pools;
};

// What must hold for any tree that loaded.
void CheckTree(const CPSmartPtr<CPGameObject>& root) {
    std::vector<CPSmartPtr<CPGameObject>> tree;
    root->CollectTree(tree);
    for (const CPSmartPtr<CPGameObject>& object : tree) {
        if (!object) std::abort();
        for (const CPSmartPtr<CPGameObject>& child : object->GetChildren())
            if (!child || child->GetParentPointer() != object.Get()) std::abort();
        if (object->GetKind() == IPSceneObject::KindSprite) {
            auto* sprite = dynamic_cast<CPSprite*>(object->GetAttachment().Get());
            if (!sprite || sprite->GetOwner() != object.Get()) std::abort();
        }
    }
    const auto& lods = root->GetLevelsOfDetail();
    if (!lods.empty() && lods[0].object != root.Get()) std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    CPLog::Instance().SetSink(nullptr);
    kxfuzz::GameRoot& root = kxfuzz::GameRoot::Get();
    root.Clear();
    std::string_view parts[7];
    kxfuzz::SplitParts(kxfuzz::AsText(data, size), 7, parts);
    root.Write("data/meshes/main.rdf", parts[0]);
    if (!parts[1].empty()) root.Write("data/meshes/lod.rdf", parts[1]);
    if (!parts[2].empty()) root.Write("data/meshes/wrong.rdf", parts[2]);
    if (!parts[3].empty()) root.Write("data/meshes/mesh.p3d", parts[3]);
    if (!parts[4].empty()) root.Write("data/meshes/mesh.msh", parts[4]);
    if (!parts[5].empty()) root.Write("data/meshes/anim.anm", parts[5]);
    if (!parts[6].empty()) root.Write("data/animations/part.anm", parts[6]);

    const int savedLensflare = g_lensflare, savedWeather = g_weather;
    // The two settings the loader reads, from the input's length so both ways are met.
    g_lensflare = static_cast<int>(size & 1u);
    g_weather = static_cast<int>((size >> 1) & 1u);
    {
        Maker maker;
        Sink sink;
        SetLensFlareOverlayMaker(&maker);
        SetLensFlarePoolSink(&sink);
        {
            CPAnimationLibrary library;
            for (const char* name : {"main.rdf", "missing.rdf"}) {
                CPSmartPtr<CPGameObject> tree = library.LoadRenderDescription(name, 60);
                if (tree) CheckTree(tree);
                // Nothing of one load is left for the next.
                if (library.IsShadowTexturesActive() || library.IsInFallback() || !library.LoadChain().empty())
                    std::abort();
            }
        }
        SetLensFlarePoolSink(nullptr);
        SetLensFlareOverlayMaker(nullptr);
        sink.pools.clear();
        for (const auto& overlay : maker.made)
            if (overlay->references != 0) std::abort();
        // Each pass frees what the destructors of the pass before released: as many passes as
        // the trees are deep.
        for (std::size_t before = IPMMObject::LiveCount() + 1; IPMMObject::LiveCount() < before;) {
            before = IPMMObject::LiveCount();
            IPMMObject::CollectGarbage();
        }
    }
    g_lensflare = savedLensflare;
    g_weather = savedWeather;
    if (IPMMObject::LiveCount() != 0) std::abort();
    return 0;
}
