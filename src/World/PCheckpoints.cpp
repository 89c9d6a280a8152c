// Checkpoints, laps and places: the two measures a race is run against. Checkpoints are passed
// one after another by the human and refill the checkpoint timer; laps are counted on the route's
// pieces for every racer, and the first three to finish take the podium.

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <string>

#include "Framework/CommandRouter.h"
#include "GameData/PGameData.h"
#include "Platform/Math/D3DXMath.h"
#include "Scene/PGameObject.h"
#include "Sound/NAudio.h"
#include "World/PCar.h"
#include "World/PLevel.h"
#include "World/PPlayer.h"
#include "World/PSpline.h"

namespace {

constexpr float kPi = 3.1415927f;
// Opponents from this list position on are not measured.
constexpr int kMeasuredOpponents = 11;
// The racer flag of a racer outside the lap measure.
constexpr int kUnmeasuredFlag = 8;
constexpr float kCheckpointNitro = 60.0f;

float DistanceSquared(const D3DXVECTOR3& a, const D3DXVECTOR3& b) {
    const D3DXVECTOR3 d = a - b;
    return D3DXVec3LengthSq(&d);
}

float DistanceSquaredXY(const D3DXVECTOR3& a, const D3DXVECTOR3& b) {
    const float dx = a.x - b.x;
    const float dy = a.y - b.y;
    return dx * dx + dy * dy;
}

// The racer's nearest piece: the last one at most as far as the nearest seen so far, within
// squared distance 100000; -1 when none is that near.
int NearestPiece(const std::vector<CPLine*>& lines, const D3DXVECTOR3& point) {
    int best = -1;
    float bestDistance = 100000.0f;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (!lines[i]) continue;
        const float d = DistanceSquaredXY(point, lines[i]->centre);
        if (d <= bestDistance) {
            bestDistance = d;
            best = static_cast<int>(i);
        }
    }
    return best;
}

// Pieces passed from p to n; a jump of 15 or more across the route's seam counts the short way.
int PieceDifference(int n, int p, int pieces) {
    int d = n - p;
    const int m = pieces - 1;
    if (d <= -15) d += m;
    if (d >= 15) d -= m;
    return d;
}

void TakePlace(std::array<int, 3>& podium, int racer) {
    if (std::find(podium.begin(), podium.end(), racer) != podium.end()) return;
    for (int& place : podium)
        if (place == -1) {
            place = racer;
            return;
        }
}

void SetChildVisible(const CPGameObject& object, const char* name, bool visible) {
    if (CPSmartPtr<CPGameObject> child = object.FindObject(name)) child->SetVisible(visible);
}

} // namespace

// ---------------------------------------------------------------------------------------------
// The player's place.

void CPLevel::UpdatePlayerPlace() {
    CPGameData* data = GetGameData();
    if (!data) return;
    std::map<int, std::string> standings;
    char key[16];
    for (int k = 0; k <= 10; ++k) {
        std::snprintf(key, sizeof key, "%d", k);
        const SPLapRecord& record = data->racerLaps[key];
        standings.emplace(record.currentLap * record.progressKey, key);
    }
    standings.emplace(data->playerLap.currentLap * data->playerLap.progressKey, "11");
    int place = 1;
    for (auto it = standings.rbegin(); it != standings.rend(); ++it, ++place)
        if (it->second == "11") {
            playerPlace = place;
            return;
        }
}

// ---------------------------------------------------------------------------------------------
// Laps.

void CPLevel::OnLap() {
    CPGameData* data = GetGameData();
    if (!data || !humanRacer || routeLines.empty()) return;
    const int pieces = static_cast<int>(routeLines.size());
    SPLapRecord& lap = data->playerLap;
    const D3DXVECTOR3 position = humanRacer->GetPosition();

    const int n = NearestPiece(routeLines, position);
    if (n >= 0 && n != playerRouteIndex) {
        const int d = PieceDifference(n, playerRouteIndex, pieces);
        playerRouteSteps += d;
        lap.progressKey += d;
        playerRouteIndex = n;
    }
    if (n >= 0 && n == startRouteIndex && playerRouteSteps >= pieces - 20) {
        const D3DXVECTOR3 v = startLineCentre - position;
        D3DXVECTOR3 along = startLineSpan;
        const float span = D3DXVec3Length(&along);
        // Without both start posts the span is zero and the whole start piece is the line.
        if (span > 0.0f) along /= span;
        const D3DXVECTOR3 flat(v.x, v.y, 0.0f);
        D3DXVECTOR3 cross;
        D3DXVec3Cross(&cross, &along, &flat);
        if (D3DXVec3Length(&cross) <= 2.0f) {
            const int current = std::max(lap.currentLap, 1);
            if (static_cast<int>(lap.lapTimes.size()) < current)
                lap.lapTimes.resize(static_cast<std::size_t>(current), 0.0f);
            lap.currentLap = current + 1;
            if (static_cast<int>(lap.lapTimes.size()) < lap.currentLap)
                lap.lapTimes.resize(static_cast<std::size_t>(lap.currentLap), 0.0f);
            lap.lapTimes[static_cast<std::size_t>(lap.currentLap - 1)] = 0.0f;
            playerRouteSteps = 0;
            lap.progressKey = (pieces - 1) * (lap.currentLap - 1);
            if (data->roundCount < lap.currentLap)
                TakePlace(podium, kHumanPodiumIndex);
            else if (data->roundCount == lap.currentLap)
                RouteCommandByName("game_interface", "show_message", "posledniy_krug!");
            else
                RouteCommandByName("game_interface", "show_message", "krug_proiden!");
        }
    }
    if (n >= 0 && n == startRouteIndex && playerRouteSteps < 70 && lap.currentLap == 1) lap.progressKey = 0;

    MeasureOpponentLaps();
}

void CPLevel::MeasureOpponentLaps() {
    CPGameData* data = GetGameData();
    if (!data) return;
    const int pieces = static_cast<int>(routeLines.size());
    // A route of fewer than 100 pieces would otherwise count a lap for a racer standing on the
    // start piece; half the route must be behind it at least.
    const int lapThreshold = std::max(pieces - 50, pieces / 2);
    const std::size_t measured = std::min({opponents.size(), static_cast<std::size_t>(kMeasuredOpponents),
                                           opponentLineIndex.size(), opponentProgress.size()});
    char key[16];
    for (std::size_t i = 0; i < measured; ++i) {
        const CPPlayer* racer = opponents[i].Get();
        if (!racer || (racer->flags & kUnmeasuredFlag) != 0) continue;
        std::snprintf(key, sizeof key, "%d", static_cast<int>(i));
        SPLapRecord& record = data->racerLaps[key];
        const int n = NearestPiece(routeLines, racer->GetPosition());
        if (n < 0) continue;
        if (n != opponentLineIndex[i]) {
            const int d = PieceDifference(n, opponentLineIndex[i], pieces);
            opponentProgress[i] += d;
            record.progressKey += d;
            opponentLineIndex[i] = n;
        }
        if (n == startRouteIndex && opponentProgress[i] >= lapThreshold) {
            record.currentLap += 1;
            record.progressKey = (pieces - 1) * (record.currentLap - 1);
            if (record.currentLap > data->roundCount) TakePlace(podium, static_cast<int>(i));
            opponentProgress[i] = 0;
        }
        if (n == startRouteIndex && record.currentLap == 1 && record.progressKey < 70) record.progressKey = 0;
    }
}

// ---------------------------------------------------------------------------------------------
// Checkpoints.

void CPLevel::ShowFlagB(const SPCheckpoint& checkpoint, bool visible) {
    if (checkpoint.flag1) SetChildVisible(*checkpoint.flag1, "flag_b", visible);
    if (checkpoint.flag2) SetChildVisible(*checkpoint.flag2, "flag_b", visible);
}

bool CPLevel::IsInCheckpointGate(const CPGameObject& checkpoint) const {
    if (!humanRacer) return false;
    const D3DXVECTOR3& centre = checkpoint.GetPosition();
    const CPBoundingBox& box = checkpoint.GetVisibleBounds();
    float r2 = 0.0f;
    for (int corner = 0; corner < 8; ++corner) {
        const D3DXVECTOR3 p((corner & 1) ? box.maximum.x : box.minimum.x, (corner & 2) ? box.maximum.y : box.minimum.y,
                            (corner & 4) ? box.maximum.z : box.minimum.z);
        r2 = std::max(r2, DistanceSquaredXY(p, centre));
    }
    if (const CPCar* car = humanRacer->GetCar()) {
        const int wheels = std::min(4, car->GetWheelCount());
        for (int i = 0; i < wheels; ++i)
            if (DistanceSquaredXY(car->GetContactPoint(i), centre) < r2) return true;
    }
    return DistanceSquaredXY(humanRacer->GetPosition(), centre) < r2;
}

void CPLevel::UpdateCheckpoint(int index, bool& passedThisFrame) {
    CPGameData* data = GetGameData();
    const int count = static_cast<int>(checkpoints.size());
    SPCheckpoint& checkpoint = checkpoints[static_cast<std::size_t>(index)];
    if (!checkpoint.object) return;
    const D3DXVECTOR3 position = checkpoint.object->GetPosition();
    const float d2 = DistanceSquared(position, humanRacer->GetPosition());

    if (!passedThisFrame && d2 < 100.0f && checkpoint.object->IsVisible() && !raceOver &&
        IsInCheckpointGate(*checkpoint.object)) {
        if (CPCar* car = humanRacer->GetCar()) {
            if (car->GetNitroMeter() == 100.0f && cooldownTimer == 0.0f) {
                if (CNAudio* audio = CNAudio::GetInstance()) audio->PlaySound("fast", false);
                cooldownTimer = 2.0f;
            }
            car->AddNitro(kCheckpointNitro);
        }
        checkpoint.object->SetVisible(false);
        nextCheckpoint += 1;
        if (centrePath) centrePath->GetDistanceAtPoint(position, markerPhase, 4.0f);
        // A finish index outside the list never completes a round: its finish never shows.
        const bool finishInList =
            finishCheckpointIndex == 0 || (finishCheckpointIndex > 0 && finishCheckpointIndex < count);
        const int n = finishCheckpointIndex != 0 ? finishCheckpointIndex + 1 : count;
        if (nextCheckpoint > count - 1)
            nextCheckpoint = 0;
        else if (finishInList && nextCheckpoint > n / 2 && finishObject)
            finishObject->SetVisible(true);
        PlaceCheckpointMarker();
        const int passed = nextCheckpoint == 0 ? count - 1 : nextCheckpoint - 1;
        ShowFlagB(checkpoints[static_cast<std::size_t>(passed)], false);

        if (!singleMode) {
            const int tenths = static_cast<int>(checkpointTimer * 10.0f);
            const std::string bonus = data ? data->GetText("bonus_time") : std::string();
            char text[160];
            std::snprintf(text, sizeof text, "time,%s,%f", bonus.c_str(),
                          static_cast<double>(static_cast<float>(tenths) * 0.1f));
            if (checkpointTimer > 0.0f) RouteCommandByName("game_interface", "bonus_points", text);
            checkpointTimer = checkpoint.timeBonus;
            const int round = data ? data->playerLap.currentLap : 1;
            if (!(round == 3 && index == count - 1)) {
                std::snprintf(text, sizeof text, "checkpoint!,%d", announcedCheckpoint != -1 ? 1 : 0);
                RouteCommandByName("game_interface", "checkpoint", text);
            }
            if (!data || !data->helperFlags[3]) RouteCommandByName("helper", "helper_in", "4");
        }
        announcedCheckpoint = index;
        passedThisFrame = true;
        if (finishCheckpointIndex != 0 && finishCheckpointIndex == index) {
            TakePlace(podium, kHumanPodiumIndex);
            if (data) data->playerLap.currentLap += 1;
        }
    }

    for (std::size_t j = 0; j < opponents.size(); ++j) {
        CPPlayer* racer = opponents[j].Get();
        if (!racer || racer->lastCheckpoint == index) continue;
        if (DistanceSquared(racer->GetPosition(), position) >= 25.0f) continue;
        if (CPCar* car = racer->GetCar()) car->AddNitro(kCheckpointNitro);
        racer->lastCheckpoint = index;
        if (finishCheckpointIndex != 0 && finishCheckpointIndex == index) TakePlace(podium, static_cast<int>(j));
    }
}

void CPLevel::AdvanceCheckpointMarker(float dt) {
    if (nextCheckpoint < 0 || nextCheckpoint >= static_cast<int>(checkpoints.size())) return;
    const SPCheckpoint& next = checkpoints[static_cast<std::size_t>(nextCheckpoint)];
    if (!next.object || next.object->IsVisible()) return;
    markerPhase += std::min(dt, 0.05f) * (playerSpeed * 2.5f + 5.0f) * (reversed ? 1.0f : -1.0f);
    PlaceCheckpointMarker();
}

void CPLevel::SetCheckpointMarkerLook(bool boosted) {
    if (!checkpointAndFireModel) return;
    checkpointAndFireModel->SetVisible(true);
    SetChildVisible(*checkpointAndFireModel, "checkered_a", boosted);
    SetChildVisible(*checkpointAndFireModel, "glarefront", boosted);
    SetChildVisible(*checkpointAndFireModel, "checkered", !boosted);
}

void CPLevel::PlaceCheckpointMarker() {
    if (!checkpointAndFireModel || !centrePath) return;
    D3DXVECTOR3 p(0.0f, 0.0f, 0.0f);
    D3DXVECTOR3 t(0.0f, -1.0f, 0.0f);
    centrePath->GetPointAtDistance(markerPhase, p, t);
    // Moves the physics body and the further levels of detail as well.
    checkpointAndFireModel->SetPosition(p);
    SetCheckpointMarkerLook(nitroCharged || (humanRacer && humanRacer->superNitroTime > 0.0f));

    D3DXVECTOR3 flat(t.x, t.y, 0.0f);
    const float length = D3DXVec3Length(&flat);
    if (length > 0.0f) flat /= length;
    float a = std::acos(std::clamp(-flat.x, -1.0f, 1.0f));
    if (-flat.y < 0.0f) a = -a;
    if (!reversed) a += kPi;
    D3DXQUATERNION q;
    const D3DXVECTOR3 up(0.0f, 0.0f, 1.0f);
    D3DXQuaternionRotationAxis(&q, &up, a);
    checkpointAndFireModel->SetRotation(q);
    checkpointAndFireModel->UpdateTransform();

    if (nextCheckpoint < 0 || nextCheckpoint >= static_cast<int>(checkpoints.size())) return;
    const SPCheckpoint& next = checkpoints[static_cast<std::size_t>(nextCheckpoint)];
    if (!next.object || DistanceSquared(p, next.object->GetPosition()) >= 9.0f) return;
    checkpointAndFireModel->SetVisible(false);
    nitroCharged = false;
    next.object->SetVisible(true);
    ShowFlagB(next, true);
}

void CPLevel::RevealFirstCheckpoint() {
    if (checkpoints.empty() || !checkpoints.front().object) return;
    checkpoints.front().object->SetVisible(true);
    ShowFlagB(checkpoints.front(), true);
}
