// The race frame: the level updater's step after the scripts, the computer drivers and the
// physics of a frame. It decides how the race ends, keeps the race clocks, drives every racer
// and computer driver once, moves the race camera and hands the visible level to the renderer.

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <string>
#include <utility>

#include "Framework/CommandRouter.h"
#include "Framework/PApplication.h"
#include "Framework/PGlobalTimer.h"
#include "Framework/PSettings.h"
#include "GameData/PGameData.h"
#include "Platform/Math/D3DXMath.h"
#include "Platform/System/Clock.h"
#include "Render/PPerspectiveCamera.h"
#include "Render/PQuadTreeNode.h"
#include "Render/PRender.h"
#include "Render/PRenderBlock.h"
#include "Scene/PGameObject.h"
#include "World/PAITask.h"
#include "World/PCar.h"
#include "World/PLevel.h"
#include "World/PLevelBranch.h"
#include "World/PMiniMap.h"
#include "World/PPlayer.h"
#include "World/PRaceCamera.h"
#include "World/PSpline.h"

namespace {

constexpr float kHalfPi = 1.5707964f;
// Opponents from this list position on are driven only once released, and never measured or
// marked on the map.
constexpr int kMarkedOpponents = 11;
constexpr int kHumanDriverSlot = 11;

// The shared object-step counter and sign of every level.
int s_objectStepCounter = 0;
int s_objectStepSign = -1;

std::function<void(int)>& StepObserver() {
    static std::function<void(int)> observer;
    return observer;
}

void Step(int number) {
    if (StepObserver()) StepObserver()(number);
}

// (0, -1, 0) turned by the object's rotation: the way a car faces.
D3DXVECTOR3 ForwardOf(const CPGameObject& object) {
    D3DXMATRIX m;
    D3DXMatrixRotationQuaternion(&m, &object.GetRotationQuaternion());
    const D3DXVECTOR3 back(0.0f, -1.0f, 0.0f);
    D3DXVECTOR3 f;
    D3DXVec3TransformNormal(&f, &back, &m);
    return f;
}

// The car's speed, negative while the racer does not brake or reverse (a released pedal too).
float SignedSpeed(const CPPlayer& racer) {
    const CPCar* car = racer.GetCar();
    const float speed = car ? car->GetSpeed() : 0.0f;
    return racer.IsThrottleForward() ? -speed : speed;
}

float DistanceSquared(const D3DXVECTOR3& a, const D3DXVECTOR3& b) {
    const D3DXVECTOR3 d = a - b;
    return D3DXVec3LengthSq(&d);
}

} // namespace

void CPLevel::SetRaceStepObserver(std::function<void(int step)> observer) { StepObserver() = std::move(observer); }

void CPLevel::ResetSharedObjectStep() {
    s_objectStepCounter = 0;
    s_objectStepSign = -1;
}

void CPLevel::Update() {
    if (stopped || !humanRacer || !centrePath) return;
    const float dt = g_deltaTime;
    const float capped = std::min(dt, 0.1f);

    Step(1);
    CPRender* render = GetRender();
    CPSmartPtr<CPRenderBlock> block = render ? render->GetRenderBlock() : CPSmartPtr<CPRenderBlock>();

    Step(2);
    UpdatePlayerPlace();

    Step(3);
    if (g_rolling != 0) SwayFlags(dt);

    Step(4);
    elapsedTime += capped;

    Step(5);
    if (!resultDecided) DecideResult();

    Step(6);
    UpdateCheckpointTimeout(dt);

    Step(7);
    raceTime += capped;
    timeLeft -= dt;
    lastTickTime = static_cast<float>(Platform::GetClock().TimeGetTime());

    Step(8);
    UpdateTimeTable();

    Step(9);
    showcaseTime += 0.5f * g_deltaTime2;

    Step(10);
    if (timeLeft < 0.0f && !levelFailedSent) {
        timeLeft = 0.0f;
        RouteCommandByCategory("main", "level_failed", "");
        levelFailedSent = true;
    }

    Step(11);
    if (++s_objectStepCounter >= 3) {
        s_objectStepCounter = 0;
        s_objectStepSign = -s_objectStepSign;
        UpdateLevelObjects(s_objectStepSign);
    }

    Step(12);
    humanRacer->Update(dt);

    Step(13);
    {
        const CPCar* car = humanRacer->GetCar();
        playerSpeed = car ? car->GetSpeed() : 0.0f;
        float velocity[4];
        humanRacer->GetVelocity(velocity);
        playerMotion = D3DXVECTOR3(velocity[0], velocity[1], velocity[2]);
    }
    FeedRaceCamera(dt);

    Step(14);
    DriveOpponents(dt);

    Step(15);
    playerHeading = ForwardOf(*humanRacer);
    if (raceOver) {
        if (AI_Task* drivers = AI_Task::GetInstance()) {
            const float signedSpeed = humanRacer->IsThrottleForward() ? -playerSpeed : playerSpeed;
            drivers->DriveVehicle(kHumanDriverSlot, CPSmartPtr<CPGameObject>(humanRacer.Get()), playerHeading,
                                  signedSpeed, humanRacer, humanRacer->cameraMin, humanRacer->cameraMax);
        }
    }

    Step(16);
    {
        float radius = 20.0f;
        pathAngleAtPlayer = centrePath->FindClosestLine(humanRacer->GetPosition(), radius, 1, playerStartLine, -1);
    }

    Step(17);
    cooldownTimer = std::max(cooldownTimer - dt, 0.0f);

    Step(18);
    mapCheckpoints.clear();
    {
        bool passedThisFrame = false;
        for (int i = 0; i < static_cast<int>(checkpoints.size()); ++i) {
            AddMapCheckpoint(i);
            UpdateCheckpoint(i, passedThisFrame);
        }
    }

    Step(19);
    ChooseCameraView();
    UpdateStartSequence(dt);

    Step(20);
    if (camera && camera->GetViewCamera() && g_screenWidth > 0 && g_screenHeight > 0) {
        const D3DXVECTOR3 ahead = humanRacer->GetPosition() + playerHeading * 500.0f;
        const D3DXVECTOR3 screen = camera->GetViewCamera()->ProjectToScreen(ahead);
        // A view without a field of view yet projects to no number: the blur keeps its centre.
        if (std::isfinite(screen.x) && std::isfinite(screen.y)) {
            g_effectFx = screen.x / static_cast<float>(g_screenWidth);
            g_effectFy = screen.y / static_cast<float>(g_screenHeight);
        }
    }

    Step(21);
    if (camera) camera->Update();

    Step(22);
    UpdateMiniMap(block.Get());

    Step(23);
    DrawSortedObjects(block.Get());

    Step(24);
    AdvanceCheckpointMarker(dt);

    Step(25);
    if (block) {
        if (checkpointAndFireModel) block->AddObjectTree(checkpointAndFireModel.Get());
        if (finishObject) block->AddObjectTree(finishObject.Get());
        if (g_plane != 0.0f && terrain) block->AddObject(terrain.Get());
    }

    Step(26);
    CPPerspectiveCamera* view = camera ? camera->GetViewCamera().Get() : nullptr;
    if (block && view) {
        for (const std::list<CPSmartPtr<CPGameObject>>* objects : {&activeObjects, &dormantObjects})
            for (const CPSmartPtr<CPGameObject>& object : *objects) {
                if (!object) continue;
                const CPBoundingBox& box = object->GetVisibleBounds();
                if (view->IsInFrustum(box.minimum, box.maximum)) block->AddObjectTree(object.Get());
            }
    }

    Step(27);
    {
        AI_Task* drivers = AI_Task::GetInstance();
        for (std::size_t i = 0; i < opponents.size(); ++i) {
            CPPlayer* racer = opponents[i].Get();
            if (!racer) continue;
            const bool inView = racer->Render(view, block.Get());
            if (inView) continue;
            const CPCar* car = racer->GetCar();
            if (car && car->IsCrashed()) continue;
            const AI_Vehicle* driver = drivers ? drivers->GetVehicle(static_cast<int>(i)) : nullptr;
            // The signed speed is negative while driving forward: a lost driver out of view is
            // put back whatever its speed, a reversing one only when slow.
            if (driver && driver->headingError >= 0.785398f && SignedSpeed(*racer) < 8.0f) racer->Respawn(true);
        }
    }

    Step(28);
    humanRacer->Render(view, block.Get());

    Step(29);
    HandOverLevel(block.Get());

    Step(30);
    // With lens flares off this only empties the registry the sprites fill every frame.
    UpdateLightSources();

    Step(31);
    if (++frameCounter >= static_cast<int>(opponents.size())) frameCounter = 0;
}

// ---------------------------------------------------------------------------------------------
// The result.

void CPLevel::DecideResult() {
    CPGameData* data = GetGameData();
    const auto isHuman = [](int entry) { return entry == kHumanPodiumIndex; };
    const auto gameOver = [this] {
        RouteCommandByName("jeep", "game_over", "");
        raceOver = true;
    };
    if (isHuman(podium[0])) {
        if (timeMode) {
            SPMissionRecord* record = nullptr;
            float last = 0.0f;
            if (data) {
                const int real = data->realLevelNumber;
                if (real >= 1 && real <= kLevelCount)
                    record = &data->missionRecords[static_cast<std::size_t>(real - 1)];
                const int index = data->playerLap.currentLap - 2;
                if (index >= 0 && index < static_cast<int>(data->playerLap.lapTimes.size()))
                    last = data->playerLap.lapTimes[static_cast<std::size_t>(index)];
            }
            const float best = record ? record->bestTime : 0.0f;
            if (best != 0.0f && !(last < best)) {
                RouteCommandByName("stripes_new", "in", "");
                RouteCommandByName("game_interface", "show_message", "lost!");
            } else {
                if (record) {
                    record->bestTime = last;
                    record->ghostModel = playerCarName;
                    // Nothing records a ghost path during a race, so the new record has none.
                    record->ghostSamples.clear();
                }
                RouteCommandByName("game_interface", "show_message", "finish!");
            }
            gameOver();
            resultDecided = true;
            RouteCommandByName("stripes_new", "in", "");
        } else {
            RouteCommandByName("game_interface", "place", "1st");
            SPMissionRecord* record = nullptr;
            if (data) {
                const int real = data->realLevelNumber;
                if (real >= 1 && real <= kLevelCount)
                    record = &data->missionRecords[static_cast<std::size_t>(real - 1)];
            }
            if (!record || record->bestPlace != 1) RouteCommandByName("new_achievement", "firstplace", "");
            if (record) record->bestPlace = 1;
            if (placeToFinish >= 0) gameOver();
            resultDecided = true;
            RouteCommandByName("stripes_new", "in", "");
        }
    } else if (isHuman(podium[1]) || isHuman(podium[2])) {
        RouteCommandByName("game_interface", "place", isHuman(podium[1]) ? "2nd" : "3rd");
        resultDecided = true;
        RouteCommandByName("stripes_new", "in", "");
        gameOver();
    }
    const bool allTaken = podium[0] >= 0 && podium[1] >= 0 && podium[2] >= 0;
    if (allTaken && !isHuman(podium[0]) && !isHuman(podium[1]) && !isHuman(podium[2])) {
        RouteCommandByName("stripes_new", "in", "");
        resultDecided = true;
        RouteCommandByName("game_interface", "show_message", "lost!");
        gameOver();
    }
}

void CPLevel::UpdateCheckpointTimeout(float dt) {
    const CPGameData* data = GetGameData();
    if (!data || !data->levelStarted || announcedCheckpoint == -1 || raceOver || resultDecided || singleMode) return;
    checkpointTimer -= dt;
    if (checkpointTimer > 0.0f) return;
    RouteCommandByName("game_interface", "checkpoint", "timeout!,1");
    RouteCommandByName("stripes_new", "in", "");
    RouteCommandByName("jeep", "game_over", "");
    raceOver = true;
    checkpointTimer = 0.0f;
    resultDecided = true;
}

// ---------------------------------------------------------------------------------------------
// Swaying flags.

bool CPLevel::SwayByRacer(SPFlagMarker& flag, const CPPlayer& racer, bool& changed) {
    const D3DXVECTOR3& a = flag.object->GetPosition();
    const D3DXVECTOR3& b = racer.GetPosition();
    const float dx = a.x - b.x;
    const float dy = a.y - b.y;
    const float d2 = dx * dx + dy * dy;
    if (d2 > 9.0f) return false;
    flag.raised = true;
    const float reach = 3.0f - std::sqrt(d2);
    if (reach > flag.phase) {
        flag.phase = reach;
        changed = true;
        float v[4];
        racer.GetVelocity(v);
        D3DXVECTOR3 velocity(v[0], v[1], v[2]);
        const float length = D3DXVec3Length(&velocity);
        if (length > 0.0f) velocity /= length;
        flag.sway = D3DXVECTOR3(-velocity.y, velocity.x, velocity.z);
    }
    return true;
}

bool CPLevel::SwayByRacers(SPFlagMarker& flag, bool& changed) {
    if (!flag.object || !humanRacer) return false;
    if (DistanceSquared(humanRacer->GetPosition(), flag.object->GetPosition()) >= 2500.0f) return false;
    bool result = SwayByRacer(flag, *humanRacer, changed);
    if (flag.raised) return result;
    for (const CPSmartPtr<CPPlayer>& opponent : opponents) {
        if (!opponent) continue;
        result = SwayByRacer(flag, *opponent, changed);
        if (flag.raised) break;
    }
    return result;
}

void CPLevel::SwayFlags(float dt) {
    for (SPFlagMarker& flag : flagMarkers) {
        if (!flag.object) continue;
        bool changed = false;
        if (!SwayByRacers(flag, changed)) {
            flag.phase -= dt * flag.phase * 10.0f;
            changed = true;
            flag.raised = false;
        }
        if (!changed) continue;
        D3DXQUATERNION q;
        D3DXQuaternionRotationAxis(&q, &flag.sway, std::sin(flag.phase) * kHalfPi);
        for (const CPSmartPtr<CPGameObject>& child : flag.object->GetChildren())
            if (child) child->SetRotation(q);
        // Turns the physics body with the object.
        flag.object->SetRotation(q);
        flag.object->UpdateTransform();
    }
}

// ---------------------------------------------------------------------------------------------
// The drivers.

void CPLevel::DriveOpponents(float dt) {
    AI_Task* drivers = AI_Task::GetInstance();
    const D3DXVECTOR3 human = humanRacer->GetPosition();
    PrepareMapProjection();
    nearbyOpponents = 0;
    for (std::size_t n = 0; n < opponents.size(); ++n) {
        const int i = static_cast<int>(n);
        CPPlayer* racer = opponents[n].Get();
        if (!racer) continue;
        if (opponentsReleased || i < kMarkedOpponents) {
            if (drivers)
                drivers->DriveVehicle(i, CPSmartPtr<CPGameObject>(racer), ForwardOf(*racer), SignedSpeed(*racer),
                                      opponents[n], racer->cameraMin, racer->cameraMax);
            racer->Update(dt);
        }
        if (i >= kMarkedOpponents) continue;
        WriteMapMarker(i, *racer);
        if (DistanceSquared(racer->GetPosition(), human) <= 225.0f) ++nearbyOpponents;
    }
}

// ---------------------------------------------------------------------------------------------
// Hand-over to the renderer.

void CPLevel::DrawSortedObjects(CPRenderBlock* block) {
    arrowSortToggle = !arrowSortToggle;
    CPPerspectiveCamera* view = camera ? camera->GetViewCamera().Get() : nullptr;
    if (arrowSortToggle) {
        const D3DXVECTOR3 eye = camera ? camera->GetEye() : D3DXVECTOR3(0.0f, 0.0f, 0.0f);
        for (SPArrowMarker& marker : arrowMarkers)
            marker.cameraDistance = marker.object ? DistanceSquared(eye, marker.object->GetPosition()) : 0.0f;
        arrowMarkers.sort(
            [](const SPArrowMarker& a, const SPArrowMarker& b) { return a.cameraDistance > b.cameraDistance; });
    }
    if (!block) return;
    for (const SPArrowMarker& marker : arrowMarkers) {
        if (!marker.object) continue;
        // A sign outside the view would draw nothing; leaving it out saves its batch.
        if (view) {
            const CPBoundingBox& box = marker.object->GetVisibleBounds();
            if (!view->IsInFrustum(box.minimum, box.maximum)) continue;
        }
        block->AddObjectTree(marker.object.Get());
    }
}

void CPLevel::HandOverLevel(CPRenderBlock* block) {
    CPPerspectiveCamera* view = camera ? camera->GetViewCamera().Get() : nullptr;
    if (!view) return;
    if (g_quadlevels != 0) {
        if (quadTree) quadTree->CollectVisible(view);
    } else if (levelTree) {
        levelTree->CollectVisible(view, 1000000);
    }
    (void)block;
}
