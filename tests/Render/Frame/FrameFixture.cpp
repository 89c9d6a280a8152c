#include "Render/Frame/FrameFixture.h"

#include "Framework/PApplication.h"
#include "Framework/PGlobalTimer.h"
#include "Framework/PLog.h"
#include "Framework/PSettings.h"
#include "Platform/Math/D3DXMath.h"

namespace frametest {

FakeSceneObject::FakeSceneObject() { D3DXMatrixIdentity(&world); }

bool FakeRaceWorld::GetTerrain(SPTerrainView& out) const {
    if (terrainVertices.empty()) return false;
    out.vertices = reinterpret_cast<const std::uint8_t*>(terrainVertices.data());
    out.vertexCount = static_cast<int>(terrainVertices.size() / 3);
    out.vertexStride = 12;
    out.triangles = reinterpret_cast<const std::uint8_t*>(terrainTriangles.data());
    out.triangleCount = static_cast<int>(terrainTriangles.size() / 3);
    out.triangleStride = 12;
    return true;
}

std::vector<std::string> SeamLog::Names() const {
    std::vector<std::string> out;
    for (const Entry& e : entries) out.push_back(e.what);
    return out;
}

std::size_t SeamLog::Count(const std::string& what) const {
    std::size_t n = 0;
    for (const Entry& e : entries) n += e.what == what;
    return n;
}

std::size_t SeamLog::IndexOf(const std::string& what) const {
    for (const Entry& e : entries)
        if (e.what == what) return e.callIndex;
    return std::string::npos;
}

SettingsGuard::SettingsGuard()
    : screenWidth(g_screenWidth), screenHeight(g_screenHeight), screenBPP(g_screenBPP), fullScreen(g_fullScreen),
      contrast(g_contrast), distance(g_distance), staticMode(g_static), bloom(g_bloom), blur(g_blur),
      frame(g_frameNumber), aniso(g_aniso), interfaceScale(g_interfaceScale), interfaceOffset(g_interfaceOffsetX) {
    g_screenWidth = 640;
    g_screenHeight = 480;
    g_screenBPP = 32;
    g_fullScreen = 0;
    g_contrast = 0;
    g_distance = 200;
    g_static = 0;
    g_bloom = 1;
    g_blur = 1;
    g_aniso = 0.0f;
    g_frameNumber = 100;
    g_interfaceScale = 1.0f;
    g_interfaceOffsetX = 0.0f;
}

SettingsGuard::~SettingsGuard() {
    g_screenWidth = screenWidth;
    g_screenHeight = screenHeight;
    g_screenBPP = screenBPP;
    g_fullScreen = fullScreen;
    g_contrast = contrast;
    g_distance = distance;
    g_static = staticMode;
    g_bloom = bloom;
    g_blur = blur;
    g_frameNumber = frame;
    g_aniso = aniso;
    g_interfaceScale = interfaceScale;
    g_interfaceOffsetX = interfaceOffset;
}

SPVertex MakeVertex(float x, float y, float z) {
    SPVertex v{};
    v.x = x;
    v.y = y;
    v.z = z;
    v.nz = 1.0f;
    v.diffuse = 0xFFFFFFFF;
    return v;
}

CPSmartPtr<CPRenderObject> MakeMesh(const CPSmartPtr<CPMaterial>& material, int vertices, int indices) {
    CPSmartPtr<CPRenderObject> object(new CPRenderObject());
    std::vector<SPVertex> v;
    for (int i = 0; i < vertices; ++i)
        v.push_back(MakeVertex(static_cast<float>(i % 7), static_cast<float>(i % 5), 0.0f));
    if (indices < 0) indices = vertices - vertices % 3;
    std::vector<std::uint16_t> idx;
    for (int i = 0; i < indices; ++i) idx.push_back(static_cast<std::uint16_t>(vertices > 0 ? i % vertices : 0));
    object->SetMesh(std::move(v), std::move(idx));
    if (material) object->SetEffect(material);
    return object;
}

CPSmartPtr<FakeSceneObject> MakeObject(const CPSmartPtr<IPRenderable>& renderable, int kind) {
    CPSmartPtr<FakeSceneObject> object(new FakeSceneObject());
    object->kind = kind;
    object->renderable = renderable;
    return object;
}

void RenderFixture::SetUp() {
    SetDirect3DBackend(D3DBackend::Recording);
    Platform::SetRecordingConfig(Platform::RecordingConfig());
    root = std::make_unique<kxtest::TempGameRoot>();
    root->Write("Data/Effects/one.fx", "technique T { pass P0 { Lighting = true; } }\n");
    root->Write("Data/Effects/two.fx", "technique T { pass P0 { Lighting = true; } pass P1 { Lighting = false; } }\n");
    root->Write("Data/Effects/shared.fx",
                "shared float4x4 g_mViewInv; shared float4 g_vLight; shared float4 g_vLightColor;\n"
                "shared float4 g_vAmbient; shared float4 g_vCameraPos;\n"
                "technique T { pass P0 { Lighting = true; } }\n");
    root->Write("Data/Effects/simple.fx", "technique T { pass P0 { } }\n");
    root->Write("Data/Effects/error.fx", "technique T { pass P0 { Lighting = false; } }\n");
    root->Write("Data/Effects/shad2.fx",
                "technique T { pass P0 { Lighting = false; AlphaBlendEnable = true; ZWriteEnable = false; } }\n");
    manager = new CPEffectManager();
    SetRaceWorld(&world);
    CPLog::Instance().SetSink([this](int, const std::string& text) { logLines.push_back(text); });
}

void RenderFixture::TearDown() {
    StopRenderer();
    SetRaceWorld(nullptr);
    g_currentViewCamera = nullptr;
    for (int i = 0; i < 4; ++i) IPMMObject::CollectGarbage();
    delete manager;
    manager = nullptr;
    for (int i = 0; i < 4; ++i) IPMMObject::CollectGarbage();
    CPLog::Instance().SetSink(nullptr);
    root.reset();
}

void RenderFixture::InstallSeams() { render->SetPostEffects(std::make_unique<PostEffectsRecorder>(seams)); }

bool RenderFixture::StartRenderer() {
    render = new CPRender();
    InstallSeams();
    const bool ok = render->Start();
    seams.control = Control();
    return ok;
}

bool RenderFixture::StartRendererOnOpenGL() {
    setenv("SDL_VIDEODRIVER", "offscreen", 1);
    SetDirect3DBackend(D3DBackend::OpenGL);
    const bool started = StartRenderer();
    SetDirect3DBackend(D3DBackend::Recording);
    return started;
}

void RenderFixture::StopRenderer() {
    if (!render) return;
    render->Stop();
    render = nullptr;
    IPMMObject::CollectGarbage();
}

CPSmartPtr<CPMaterial> RenderFixture::Material(RenderKey key, const std::string& effect) {
    CPSmartPtr<CPMaterial> material;
    manager->GetMaterial(material, key, effect, {});
    return material;
}

void RenderFixture::Frame() {
    ++g_frameNumber;
    render->Render();
}

Platform::IRecordingControl* RenderFixture::Control() const {
    return render && render->GetDevice() ? Platform::RecordingControl(render->GetDevice()) : nullptr;
}

std::vector<std::string> RenderFixture::CallNames() const { return Control()->CallNames(); }

std::vector<Platform::RecordedCall> RenderFixture::CallsNamed(const std::string& name) const {
    std::vector<Platform::RecordedCall> out;
    for (const auto& call : Control()->Calls())
        if (call.name == name) out.push_back(call);
    return out;
}

} // namespace frametest
