#pragma once
// A started renderer on the Recording device over a temporary game root with small effect
// files, plus fakes of the scene objects, the race world, the post effects and the sky.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "Platform/Graphics/RecordingDevice.h"
#include "Render/PEffectManager.h"
#include "Render/PLight.h"
#include "Render/PPerspectiveCamera.h"
#include "Render/PRender.h"
#include "Render/PRenderBlock.h"
#include "Render/PRenderObject.h"
#include "Render/PRenderSeams.h"
#include "support/TempDir.h"
#include "support/TestDevices.h"

namespace frametest {

class FakeSceneObject : public IPSceneObject {
public:
    FakeSceneObject();
    int GetSize() const override { return static_cast<int>(sizeof(*this)); }
    std::string GetClassName() const override { return "FakeSceneObject"; }
    bool IsVisible() const override { return visible; }
    bool IsStatic() const override { return isStatic; }
    void SetStatic(bool s) override { isStatic = s; }
    int GetKind() const override { return kind; }
    IPRenderable* GetRenderable() const override { return renderable.Get(); }
    CPLight* GetLight() const override { return light.Get(); }
    int GetChildCount() const override { return static_cast<int>(children.size()); }
    IPSceneObject* GetChild(int i) const override { return children[static_cast<std::size_t>(i)].Get(); }
    int GetAttachedCount() const override { return static_cast<int>(attached.size()); }
    IPSceneObject* GetAttached(int i) const override { return attached[static_cast<std::size_t>(i)].Get(); }
    const D3DXMATRIX& GetWorldMatrix() const override { return world; }
    bool IsTransformChanged() const override { return transformChanged; }
    void ClearTransformChanged() override { transformChanged = false; }
    D3DXVECTOR3 GetPickHalfSize() const override { return halfSize; }

    bool visible = true;
    bool isStatic = false;
    int kind = KindMesh;
    CPSmartPtr<IPRenderable> renderable;
    CPSmartPtr<CPLight> light;
    std::vector<CPSmartPtr<FakeSceneObject>> children;
    std::vector<CPSmartPtr<FakeSceneObject>> attached;
    D3DXMATRIX world;
    bool transformChanged = false;
    D3DXVECTOR3 halfSize{1.0f, 1.0f, 1.0f};
};

class FakeRaceWorld : public IPRaceWorld {
public:
    bool HasLevel() const override { return level; }
    CPPerspectiveCamera* GetViewCamera() const override { return level ? viewCamera.Get() : nullptr; }
    CPPerspectiveCamera* GetFarCamera() const override { return level ? farCamera.Get() : nullptr; }
    bool GetTerrain(SPTerrainView& out) const override;

    bool level = false;
    CPSmartPtr<CPPerspectiveCamera> viewCamera;
    CPSmartPtr<CPPerspectiveCamera> farCamera;
    std::vector<float> terrainVertices;         // x, y, z per vertex
    std::vector<std::int32_t> terrainTriangles; // three per triangle
};

// Records what the frame asks of the post effects and the sky, with the number of device
// calls recorded at that moment, so their place in the call stream can be checked.
struct SeamLog {
    struct Entry {
        std::string what;
        std::size_t callIndex;
    };
    std::vector<Entry> entries;
    Platform::IRecordingControl* control = nullptr;
    void Add(const std::string& what) { entries.push_back({what, control ? control->Calls().size() : 0}); }
    std::vector<std::string> Names() const;
    std::size_t Count(const std::string& what) const;
    // Call index of the first entry with that name, or npos.
    std::size_t IndexOf(const std::string& what) const;
};

class PostEffectsRecorder : public IPPostEffects {
public:
    explicit PostEffectsRecorder(SeamLog& log) : m_log(log) {}
    HRESULT Init(IDirect3DDevice9*) override {
        m_log.Add("Init");
        return S_OK;
    }
    void ReleaseTargets() override { m_log.Add("ReleaseTargets"); }
    void Release() override { m_log.Add("Release"); }
    void RadialBlur() override { m_log.Add("RadialBlur"); }
    void Bloom() override { m_log.Add("Bloom"); }

private:
    SeamLog& m_log;
};

class SkyRecorder : public IPRenderSky {
public:
    explicit SkyRecorder(SeamLog& log) : m_log(log) {}
    void Update(float) override { m_log.Add("Sky"); }

private:
    SeamLog& m_log;
};

// Settings the renderer reads, restored afterwards.
struct SettingsGuard {
    SettingsGuard();
    ~SettingsGuard();
    int screenWidth, screenHeight, screenBPP, fullScreen, contrast, distance, staticMode, bloom, blur, frame;
    float aniso, interfaceScale, interfaceOffset;
};

SPVertex MakeVertex(float x, float y, float z);
// A render object of that many vertices (a fan of triangles over them, or the given index
// count) with a material.
CPSmartPtr<CPRenderObject> MakeMesh(const CPSmartPtr<CPMaterial>& material, int vertices, int indices = -1);
CPSmartPtr<FakeSceneObject> MakeObject(const CPSmartPtr<IPRenderable>& renderable, int kind = IPSceneObject::KindMesh);

class RenderFixture : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Makes the renderer and starts it; false when Start failed.
    bool StartRenderer();
    // The same on the OpenGL device offscreen at the screen size of the settings; objects made
    // afterwards get the Recording backend again. Probe first with OffscreenOpenGLDirect3D.
    bool StartRendererOnOpenGL();
    void StopRenderer();
    CPSmartPtr<CPMaterial> Material(RenderKey key, const std::string& effect = "one.fx");
    // One frame with the frame counter advanced.
    void Frame();
    Platform::IRecordingControl* Control() const;
    std::vector<std::string> CallNames() const;
    // Recorded calls with that name.
    std::vector<Platform::RecordedCall> CallsNamed(const std::string& name) const;
    void InstallSeams();

    SettingsGuard settings;
    std::unique_ptr<kxtest::TempGameRoot> root;
    CPEffectManager* manager = nullptr;
    CPSmartPtr<CPRender> render;
    FakeRaceWorld world;
    SeamLog seams;
    std::vector<std::string> logLines;
};

} // namespace frametest
