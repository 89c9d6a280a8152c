// A racer's health, death and the screen fade of the human's respawn.

#include "Framework/CommandRouter.h"
#include "GameData/PGameData.h"
#include "Render/PRender.h"
#include "World/PPhysicData.h"
#include "World/PPhysics.h"
#include "World/PPlayer.h"

bool CPPlayer::Damage(float amount) {
    const CPGameData* data = GetGameData();
    const float a = amount * (data ? data->coefficients[1] : 1.0f);
    if (health > 20.0f && health - a <= 20.0f) RouteCommandByName("main", "say_critical", "");
    health -= a;
    if (health >= 0.0f) {
        RouteCommandByName("gamemenu", "update_game_interface", "");
        return true;
    }
    health = 0.0f;
    RouteCommandByName("gamemenu", "update_game_interface", "");
    if (!deathReported) {
        RouteCommandByCategory("main", "player_dead", "");
        deathReported = true;
    }
    return false;
}

void CPPlayer::Kill() {
    // Out of the race: no takedown of a wreck that is gone.
    raceFlag = false;
    SetVisible(false);
    SetCollision(false);
    if (CPPhysicData* data = dynamic_cast<CPPhysicData*>(GetPhysicData().Get())) data->RemoveFromWorld();
    if (CPPhysics* physics = CPPhysics::GetInstance()) physics->DeactivateObject(CPSmartPtr<CPGameObject>(this));
}

void CPPlayer::AdvanceFade(float dt) {
    CPRender* render = GetRender();
    if (fadeIn) {
        fadeTimer += dt;
        float fade = fadeTimer * 2.5f;
        if (fadeTimer >= 0.4f) {
            fadeIn = false;
            fadeOut = false;
            fade = 1.0f;
        }
        if (render) render->SetFade(fade);
    }
    if (fadeOut) {
        fadeTimer += dt;
        float fade = (0.1f - fadeTimer) * 10.0f;
        if (fadeTimer >= 0.1f) {
            fadeOut = false;
            fadeIn = true;
            fade = 0.0f;
            fadeTimer = 0.0f;
        }
        if (render) render->SetFade(fade);
    }
}

void CPPlayer::Respawn(bool) {
    if (health <= 0.0f) return;
}
