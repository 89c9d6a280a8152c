// A racer's health and death, its removal from the race and the human's respawn fade.

#include <gtest/gtest.h>

#include <vector>

#include "Render/PRender.h"
#include "World/Car/CarWorldFixture.h"

namespace {

using namespace kxcar;

struct Damage : CarWorld {
    std::vector<std::string> Sent() const {
        std::vector<std::string> out;
        for (const auto& c : router.sent) out.push_back(c.target + ":" + c.command);
        return out;
    }
};

TEST_F(Damage, HealthExactlyZeroIsAlive) {
    CPSmartPtr<CPPlayer> racer(new CPPlayer);
    racer->health = 30.0f;
    EXPECT_TRUE(racer->Damage(30.0f));
    EXPECT_FLOAT_EQ(racer->health, 0.0f);
    EXPECT_FALSE(racer->deathReported);
    EXPECT_EQ(Sent(), (std::vector<std::string>{"main:say_critical", "gamemenu:update_game_interface"}));
}

TEST_F(Damage, CriticalOncePerCrossingDeathOnce) {
    CPSmartPtr<CPPlayer> racer(new CPPlayer);
    racer->health = 50.0f;
    EXPECT_TRUE(racer->Damage(20.0f));
    // 30 -> 20: a crossing (exactly 20 counts).
    EXPECT_TRUE(racer->Damage(10.0f));
    // Already at 20 or below: no second warning.
    EXPECT_TRUE(racer->Damage(5.0f));
    EXPECT_FALSE(racer->Damage(100.0f));
    EXPECT_FLOAT_EQ(racer->health, 0.0f);
    EXPECT_FALSE(racer->Damage(1.0f));
    EXPECT_EQ(Sent(), (std::vector<std::string>{
                          "gamemenu:update_game_interface",
                          "main:say_critical",
                          "gamemenu:update_game_interface",
                          "gamemenu:update_game_interface",
                          "gamemenu:update_game_interface",
                          "main:player_dead",
                          "gamemenu:update_game_interface",
                      }));
    // The death goes to every script of the category, not to one by name.
    int byCategory = 0;
    for (const auto& c : router.sent) byCategory += c.route == kxtest::Route::Category && c.command == "player_dead";
    EXPECT_EQ(byCategory, 1);
}

TEST_F(Damage, TheDifficultyScalesTheHit) {
    CPSmartPtr<CPPlayer> racer(new CPPlayer);
    racer->health = 100.0f;
    gameData->coefficients[1] = 0.5f;
    racer->Damage(40.0f);
    EXPECT_FLOAT_EQ(racer->health, 80.0f);
}

TEST_F(Damage, AKilledRacerLeavesTheWorld) {
    CPSmartPtr<CPPlayer> racer = MakeRacer("", false);
    racer->raceFlag = true;
    racer->SetCollision(true);
    auto* data = dynamic_cast<CPPhysicData*>(racer->GetPhysicData().Get());
    ASSERT_TRUE(data->HasBody());
    racer->Kill();
    EXPECT_FALSE(racer->IsVisible());
    EXPECT_FALSE(racer->IsCollision());
    EXPECT_FALSE(data->HasBody());
    EXPECT_EQ(physics.GetActiveObjects().count(racer.Get()), 0u);
    EXPECT_FALSE(racer->raceFlag);
}

TEST_F(Damage, TheRespawnFadeGoesOutThenIn) {
    CPSmartPtr<CPRender> render(new CPRender());
    CPSmartPtr<CPPlayer> racer(new CPPlayer);
    racer->fadeOut = true;
    racer->fadeTimer = 0.0f;
    const float dt = 0.02f;
    std::vector<float> levels;
    for (int i = 0; i < 30; ++i) {
        racer->AdvanceFade(dt);
        levels.push_back(render->GetFadeValue() / 256.0f);
    }
    // 1 -> 0 in 0.1 s (five frames of 0.02 s, a sixth for rounding), then back to 1 in 0.4 s.
    EXPECT_NEAR(levels[0], 0.8f, 0.01f);
    EXPECT_NEAR(levels[3], 0.2f, 0.01f);
    std::size_t dark = 0;
    while (dark < levels.size() && levels[dark] > 0.001f) ++dark;
    EXPECT_GE(dark, 4u);
    EXPECT_LE(dark, 5u);
    std::size_t light = dark;
    while (light < levels.size() && levels[light] < 0.999f) ++light;
    EXPECT_GE(light - dark, 19u);
    EXPECT_LE(light - dark, 21u);
    EXPECT_FALSE(racer->fadeIn);
    EXPECT_FALSE(racer->fadeOut);
    for (std::size_t i = dark; i + 1 < levels.size(); ++i) EXPECT_LE(levels[i], levels[i + 1] + 1e-6f) << i;
}

} // namespace
