#pragma once
// Shared by the animation tests: morph animations made from written streams, and a small scene
// object that places frames and records the animated object's hooks.

#include <functional>
#include <memory>
#include <string>

#include "Framework/PFileReader.h"
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
class TestAnimationOwner : public IPSceneObject, public IPAnimationHooks {
public:
    int GetSize() const override { return static_cast<int>(sizeof(TestAnimationOwner)); }
    std::string GetClassName() const override { return "TestAnimationOwner"; }
    bool IsVisible() const override { return true; }
    bool IsStatic() const override { return false; }
    void SetStatic(bool) override {}
    int GetKind() const override { return KindAnimated; }
    IPRenderable* GetRenderable() const override { return nullptr; }
    CPLight* GetLight() const override { return nullptr; }
    int GetChildCount() const override { return 0; }
    IPSceneObject* GetChild(int) const override { return nullptr; }
    int GetAttachedCount() const override { return 0; }
    IPSceneObject* GetAttached(int) const override { return nullptr; }
    const D3DXMATRIX& GetWorldMatrix() const override { return world; }
    bool IsTransformChanged() const override { return false; }
    void ClearTransformChanged() override {}
    D3DXVECTOR3 GetPickHalfSize() const override { return D3DXVECTOR3(0, 0, 0); }

    void OnAnimationStopped() override {
        ++stopped;
        if (onStopped) onStopped();
    }
    void OnAnimationReport() override {
        ++reported;
        if (onReport) onReport();
    }

    D3DXMATRIX world{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    int stopped = 0;
    int reported = 0;
    std::function<void()> onStopped;
    std::function<void()> onReport;
};

} // namespace kxtest
