// Two animation node files of one animated set, split at a line "----": the first builds the
// objects, the second adds its animations to them, as an animated-set description reads them.

#include "Framework/PFileReader.h"
#include "Framework/PLog.h"
#include "FuzzSupport.h"
#include "Scene/PAnimatedObject.h"
#include "Scene/PAnimation.h"
#include "Scene/PAnimationLibrary.h"
#include "Scene/PGameObject.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

// Every object of a built tree is animated and holds the animation of the file that built it;
// another file's only when that file was taken whole.
void CheckTree(const CPGameObject& object, int depth, const char* builder, const char* other, bool otherTaken) {
    if (depth > CPAnimationLibrary::kMaxNodeDepth + 1) std::abort();
    auto* animated = dynamic_cast<CPAnimatedObject*>(object.GetAttachment().Get());
    if (!animated || object.GetKind() != CPGameObject::KindAnimated) std::abort();
    if (!animated->GetAnimations().count(builder)) std::abort();
    if (!otherTaken && animated->GetAnimations().count(other)) std::abort();
    for (const auto& [name, animation] : animated->GetAnimations()) {
        if (!animation || animation->GetFrames().size() != static_cast<std::size_t>(animation->GetFrameCount()))
            std::abort();
        for (const SPAnimationFrame& frame : animation->GetFrames())
            for (std::uint16_t index : frame.indices)
                if (index >= frame.vertices.size()) std::abort();
    }
    for (const auto& child : object.GetChildren()) CheckTree(*child, depth + 1, builder, other, otherTaken);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    CPLog::Instance().SetSink([](int, const std::string&) {});
    std::string_view parts[2];
    kxfuzz::SplitParts(kxfuzz::AsText(data, size), 2, parts);
    kxfuzz::GameRoot& root = kxfuzz::GameRoot::Get();
    root.Clear();
    root.Write("data/meshes/walk.ani", parts[0]);
    root.Write("data/meshes/run.ani", parts[1]);
    {
        CPAnimationCache cache;
        CPAnimationLibrary library;
        CPAnimationLibrary::Sections sections;
        CPFileReader first("Data\\Meshes\\walk.ani");
        CPFileReader second("Data\\Meshes\\run.ani");
        if (FAILED(first.Load()) || FAILED(second.Load())) std::abort();
        library.SetCurrentAnimationFile("walk.ani");
        CPSmartPtr<CPGameObject> tree = library.ReadAnimationNodeFile(first, sections, 0, "first", nullptr);
        if (first.GetReadPosition() > first.GetDataSize()) std::abort();
        if (static_cast<bool>(tree) == first.IsFailed()) std::abort();
        // The second file adds to the first one's tree, or builds the tree itself when the first
        // built none (as the set's first file that loads decides the objects).
        library.SetCurrentAnimationFile("run.ani");
        CPSmartPtr<CPGameObject> again = library.ReadAnimationNodeFile(second, sections, 0, "second", tree);
        if (second.GetReadPosition() > second.GetDataSize()) std::abort();
        if (static_cast<bool>(again) == second.IsFailed()) std::abort();
        if (tree && again && again.Get() != tree.Get()) std::abort();
        if (tree) CheckTree(*tree, 0, "first", "second", static_cast<bool>(again));
        if (!tree && again) CheckTree(*again, 0, "second", "first", false);
    }
    // A tree frees level by level: each pass collects what the one before let go.
    for (int pass = 0; pass < 2 * CPAnimationLibrary::kMaxNodeDepth + 8 && IPMMObject::LiveCount() != 0; ++pass)
        IPMMObject::CollectGarbage();
    if (IPMMObject::LiveCount() != 0) std::abort();
    return 0;
}
