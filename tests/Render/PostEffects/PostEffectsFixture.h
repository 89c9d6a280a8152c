#pragma once
// A renderer with its post effects over a temporary game root holding the demo's post-effect
// files (effects and pictures, as the build assembled them), and a race world whose human racer
// drives at a chosen velocity.

#include <string>
#include <vector>

#include "Render/Frame/FrameFixture.h"
#include "Render/PBloom.h"

namespace posttest {

class RacingWorld : public frametest::FakeRaceWorld {
public:
    bool GetHumanVelocity(float out[4]) const override {
        if (!racer) return false;
        for (int i = 0; i < 4; ++i) out[i] = velocity[i];
        return true;
    }

    bool racer = false;
    float velocity[4] = {0.0f, 0.0f, 0.0f, 0.0f};
};

// The post effects' files, relative to the game root.
extern const char* const kPostEffectFiles[5];

class PostEffectsFixture : public frametest::RenderFixture {
protected:
    void SetUp() override;
    void TearDown() override;

    // Copies the demo's post-effect files into the temporary root, but those named in skip.
    void CopyDemoFiles(const std::vector<std::string>& skip = {});
    // A renderer whose post effects are a CPBloom, started on the Recording device.
    bool StartWithBloom();
    bool StartWithBloomOnOpenGL();
    // The recorded id of a device object.
    std::int64_t Id(const IUnknown* object) const;
    bool LogMentions(const std::string& text) const;

    CPBloom* bloom = nullptr;
    RacingWorld racing;
    float savedFx = 0.5f, savedFy = 0.5f;
};

} // namespace posttest
