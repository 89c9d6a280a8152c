// A morph-animation stream as the node files hold it: read into a fresh cache, then read again
// under the same key so the path that only checks and skips a cached stream runs too.

#include "Framework/PFileReader.h"
#include "Framework/PLog.h"
#include "FuzzSupport.h"
#include "Scene/PAnimation.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

// What must hold for any animation that loaded.
void CheckAnimation(const CPAnimation& animation) {
    if (animation.GetFrameCount() < 0) std::abort();
    if (animation.GetFrames().size() != static_cast<std::size_t>(animation.GetFrameCount())) std::abort();
    for (const SPAnimationFrame& frame : animation.GetFrames())
        for (std::uint16_t index : frame.indices)
            if (index >= frame.vertices.size()) std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    CPLog::Instance().SetSink(nullptr);
    kxfuzz::GameRoot& root = kxfuzz::GameRoot::Get();
    root.Clear();
    root.Write("data/meshes/anim.bin", data, size);
    {
        CPAnimationCache cache;
        CPFileReader first("data/meshes/anim.bin");
        CPFileReader second("data/meshes/anim.bin");
        if (FAILED(first.Load()) || FAILED(second.Load())) std::abort();
        CPSmartPtr<CPAnimation> a = cache.GetAnimation("object&anim.bin", first, 0xFFFFFFFFu);
        CPSmartPtr<CPAnimation> b = cache.GetAnimation("object&anim.bin", second, 0xFFFFFFFFu);
        if (first.GetReadPosition() > first.GetDataSize()) std::abort();
        if (static_cast<bool>(a) == first.IsFailed()) std::abort();
        if (a) {
            CheckAnimation(*a);
            // The same stream again: the cached animation, the reader behind the same bytes.
            if (b.Get() != a.Get()) std::abort();
            if (second.GetReadPosition() != first.GetReadPosition()) std::abort();
        } else if (b) {
            // A stream refused once is refused again: the second reader meets the same bytes.
            std::abort();
        }
    }
    IPMMObject::CollectGarbage();
    if (IPMMObject::LiveCount() != 0) std::abort();
    return 0;
}
