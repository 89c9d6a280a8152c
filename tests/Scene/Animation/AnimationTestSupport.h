#pragma once
// Shared by the animation tests: morph animations made from written streams, and a small scene
// object that places frames and records the animated object's hooks.

#include <functional>
#include <memory>
#include <string>

#include "Framework/PFileReader.h"
#include "Render/Frame/FrameFixture.h"
#include "Render/PRenderSeams.h"
#include "Scene/PAnimatedObject.h"
#include "Scene/PAnimation.h"
#include "support/MorphStreamWriter.h"
#include "support/TempDir.h"

namespace kxtest {

// A morph animation loaded from the writer's stream (outside any cache).
inline CPSmartPtr<CPAnimation> LoadAnimation(const MorphStreamWriter& writer, const std::string& name = "anim") {
    static int files = 0;
    TempGameRoot root;
    const std::string path = "data/anim" + std::to_string(files++) + ".bin";
    root.Write(path, writer.Build());
    CPFileReader reader(path);
    if (FAILED(reader.Load())) return nullptr;
    CPSmartPtr<CPAnimation> animation(new CPAnimation(name));
    if (!animation->Load(reader, 0xFFFFFFFFu)) return nullptr;
    return animation;
}

// A scene object with a settable world matrix that counts the two hooks and may act in them.
class TestAnimationOwner : public frametest::FakeSceneObject, public IPAnimationHooks {
public:
    TestAnimationOwner() {
        kind = KindAnimated;
        halfSize = D3DXVECTOR3(0, 0, 0);
    }
    int GetSize() const override { return static_cast<int>(sizeof(TestAnimationOwner)); }
    std::string GetClassName() const override { return "TestAnimationOwner"; }

    void OnAnimationStopped() override {
        ++stopped;
        if (onStopped) onStopped();
    }
    void OnAnimationReport() override {
        ++reported;
        if (onReport) onReport();
    }

    int stopped = 0;
    int reported = 0;
    std::function<void()> onStopped;
    std::function<void()> onReport;
};

} // namespace kxtest
