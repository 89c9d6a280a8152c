#include "Render/PostEffects/PostEffectsFixture.h"

#include <fstream>
#include <iterator>
#include <memory>

#include "Framework/PApplication.h"

namespace posttest {

const char* const kPostEffectFiles[5] = {"Data/Effects/bloom.fx", "Data/Effects/bloom2.fx", "Data/Effects/blur_2.fx",
                                         "Data/Textures/blurmask_2_.tga", "Data/Textures/noise.tga"};

void PostEffectsFixture::SetUp() {
    RenderFixture::SetUp();
    savedFx = g_effectFx;
    savedFy = g_effectFy;
    SetRaceWorld(&racing);
}

void PostEffectsFixture::TearDown() {
    g_effectFx = savedFx;
    g_effectFy = savedFy;
    bloom = nullptr;
    RenderFixture::TearDown();
}

void PostEffectsFixture::CopyDemoFiles(const std::vector<std::string>& skip) {
    for (const char* file : kPostEffectFiles) {
        bool skipped = false;
        for (const std::string& s : skip) skipped = skipped || s == file;
        if (skipped) continue;
        std::ifstream in(std::string(KX_DATA_DIR) + "/" + file, std::ios::binary);
        const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        ASSERT_FALSE(bytes.empty()) << file << " is missing from the demo game root";
        root->Write(file, bytes);
    }
}

bool PostEffectsFixture::StartWithBloom() {
    render = new CPRender();
    auto effects = std::make_unique<CPBloom>();
    bloom = effects.get();
    render->SetPostEffects(std::move(effects));
    const bool ok = render->Start();
    seams.control = Control();
    return ok;
}

bool PostEffectsFixture::StartWithBloomOnOpenGL() {
    setenv("SDL_VIDEODRIVER", "offscreen", 1);
    SetDirect3DBackend(D3DBackend::OpenGL);
    const bool started = StartWithBloom();
    SetDirect3DBackend(D3DBackend::Recording);
    return started;
}

std::int64_t PostEffectsFixture::Id(const IUnknown* object) const {
    return object ? static_cast<std::int64_t>(Control()->ObjectId(object)) : 0;
}

bool PostEffectsFixture::LogMentions(const std::string& text) const {
    for (const std::string& line : logLines)
        if (line.find(text) != std::string::npos) return true;
    return false;
}

} // namespace posttest
