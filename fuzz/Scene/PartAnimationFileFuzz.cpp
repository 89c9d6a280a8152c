// A part-animation file read into a map that already holds a track: a broken file adds
// nothing, a whole one adds whole tracks.

#include "Framework/PLog.h"
#include "FuzzSupport.h"
#include "Scene/PAnimationLibrary.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    CPLog::Instance().SetSink([](int, const std::string&) {});
    kxfuzz::GameRoot& root = kxfuzz::GameRoot::Get();
    root.Clear();
    root.Write("data/animations/door.pan", data, size);
    {
        CPAnimationLibrary library;
        PPartAnimationMap animations;
        CPSmartPtr<CPPartAnimation> kept(new CPPartAnimation());
        animations["\x01kept"] = kept;
        library.LoadPartAnimations("door.pan", animations);
        if (animations["\x01kept"].Get() != kept.Get()) std::abort();
        // Each key takes 52 bytes of the file.
        std::size_t keys = 0;
        for (const auto& [name, track] : animations) {
            if (!track) std::abort();
            if (track->GetKeys().size() != track->GetDurations().size()) std::abort();
            keys += track->GetKeys().size();
        }
        if (keys * 52 > size) std::abort();
    }
    // A tree frees level by level: each pass collects what the one before let go.
    for (int pass = 0; pass < 2 * CPAnimationLibrary::kMaxNodeDepth + 8 && IPMMObject::LiveCount() != 0; ++pass)
        IPMMObject::CollectGarbage();
    if (IPMMObject::LiveCount() != 0) std::abort();
    return 0;
}
