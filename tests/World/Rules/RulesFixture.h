#pragma once
// A started ring level for the race rules' tests: the human on the ring at 0 degrees with the
// start line there, racers without cars unless a test gives them one, and helpers that run
// race frames with a chosen frame time and pick commands out of the recording router.

#include <cmath>
#include <string>
#include <vector>

#include "Framework/PGlobalTimer.h"
#include "Framework/PSettings.h"
#include "World/PLevel.h"
#include "World/PPlayer.h"
#include "World/PRaceCamera.h"
#include "support/RaceFixture.h"

namespace kxrules {

constexpr float kPi = 3.14159265f;

inline D3DXVECTOR3 OnRing(float degrees, float radius = 100.0f) {
    const float a = degrees * kPi / 180.0f;
    return D3DXVECTOR3(radius * std::cos(a), radius * std::sin(a), 0.0f);
}

// Puts a setting global back when the scope ends.
template <class T>
class Scoped {
public:
    Scoped(T& slot, T value) : m_slot(slot), m_old(slot) { slot = value; }
    ~Scoped() { m_slot = m_old; }
    Scoped(const Scoped&) = delete;
    Scoped& operator=(const Scoped&) = delete;

private:
    T& m_slot;
    T m_old;
};

struct RulesRace : kxtest::RaceFixture {
    explicit RulesRace(kxtest::LevelFileWriter w = RingLevel()) {
        CPLevel::ResetSharedObjectStep();
        loaded = Load(w);
        if (!loaded) return;
        StayPut(*PlaceHuman(OnRing(0.0f)));
        level->startLineCentre = OnRing(0.0f);
        level->Start();
        router.sent.clear();
    }
    ~RulesRace() {
        g_deltaTime = 0.0f;
        g_deltaTime2 = 0.0f;
    }

    // Racers here have no bodies on the ground, which would put them back on the route at once.
    static void StayPut(CPPlayer& racer) { racer.respawnCooldown = 1e9f; }
    CPSmartPtr<CPPlayer> Opponent(const D3DXVECTOR3& position, int flags = 0) {
        CPSmartPtr<CPPlayer> racer = PlaceOpponent(position, flags);
        StayPut(*racer);
        return racer;
    }

    // Past the start sequence with the race camera at rest: every frame's views look at the
    // human from behind and above with a 60-degree field, as the last frame left them.
    void SteadyCamera() {
        level->startMomentDone = true;
        level->raceTime = level->gridLength + 1.0f;
        CPCamera& camera = *level->camera;
        camera.active = false;
        camera.SetExternalView(false);
        camera.lookAt = level->humanRacer->GetPosition();
        camera.eye = camera.lookAt + D3DXVECTOR3(0.0f, 10.0f, 5.0f);
        camera.up = D3DXVECTOR3(0.0f, 0.0f, 1.0f);
        camera.fov = camera.targetFov = 60.0f;
    }

    // One race frame with the scaled frame time dt (and the same unscaled one unless given).
    void Frame(float dt, float unscaled = -1.0f) {
        g_deltaTime = dt;
        g_deltaTime2 = unscaled < 0.0f ? dt : unscaled;
        level->Update();
    }

    // The commands of the given names, as "target command params", in the order sent.
    std::vector<std::string> Sent(const std::vector<std::string>& commands) const {
        std::vector<std::string> out;
        for (const kxtest::SentCommand& c : router.sent)
            for (const std::string& name : commands)
                if (c.command == name) out.push_back(c.target + " " + c.command + " " + c.params);
        return out;
    }
    // Every command the race rules send about the result, the laps and the checkpoints.
    std::vector<std::string> RaceCommands() const {
        return Sent({"place", "firstplace", "show_message", "game_over", "in", "checkpoint", "bonus_points",
                     "level_failed", "helper_in"});
    }

    bool loaded = false;
    Scoped<int> noFlares{g_lensflare, 0};
};

} // namespace kxrules
