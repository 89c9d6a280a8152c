#include "World/PStartCamera.h"

#include <cmath>

#include "Platform/Math/D3DXMath.h"
#include "Scene/PGameObject.h"
#include "World/PLevel.h"
#include "World/PPlayer.h"
#include "World/PRaceCamera.h"

namespace {

float Length(const D3DXVECTOR3& v) { return std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z); }

// The unit vector of v, or the fallback when v has no length.
D3DXVECTOR3 UnitOr(const D3DXVECTOR3& v, const D3DXVECTOR3& fallback) {
    const float length = Length(v);
    return length > 0.0f ? v / length : fallback;
}

D3DXVECTOR3 Turned(const D3DXVECTOR3& v, const D3DXQUATERNION& rotation) {
    D3DXMATRIX m;
    D3DXMatrixRotationQuaternion(&m, &rotation);
    D3DXVECTOR3 out;
    D3DXVec3TransformNormal(&out, &v, &m);
    return out;
}

const D3DXVECTOR3 kUp(0.0f, 0.0f, 1.0f);

} // namespace

void CatmullRom(D3DXVECTOR3& out, float t, const D3DXVECTOR3& p0, const D3DXVECTOR3& p1, const D3DXVECTOR3& p2,
                const D3DXVECTOR3& p3) {
    const float t2 = t * t;
    const float t3 = t2 * t;
    out = 0.5f * (2.0f * p1 + (p2 - p0) * t + (2.0f * p0 - 5.0f * p1 + 4.0f * p2 - p3) * t2 +
                  (-p0 + 3.0f * p1 - 3.0f * p2 + p3) * t3);
}

void SmoothPathSegment(int i, const std::vector<D3DXVECTOR3>& points, std::vector<D3DXVECTOR3>& out) {
    const int n = static_cast<int>(points.size());
    if (n == 0) return;
    const auto at = [&](int k) -> const D3DXVECTOR3& { return points[static_cast<std::size_t>(((k % n) + n) % n)]; };
    const D3DXVECTOR3& p0 = at(i - 1);
    const D3DXVECTOR3& p1 = at(i);
    const D3DXVECTOR3& p2 = at(i + 1);
    const D3DXVECTOR3& p3 = at(i + 2);
    if (out.empty()) out.push_back(p1);
    for (int k = 1; k <= 9; ++k) {
        D3DXVECTOR3 p;
        CatmullRom(p, 0.1f * static_cast<float>(k), p0, p1, p2, p3);
        out.push_back(p);
    }
}

void SmoothPath(const std::vector<D3DXVECTOR3>& points, std::vector<D3DXVECTOR3>& out, bool closed) {
    const int n = static_cast<int>(points.size());
    for (int i = 0; i < n; ++i)
        if (closed || (i != 0 && i != n - 2 && i != n - 1)) SmoothPathSegment(i, points, out);
}

float CPLevel::HeadingOf(const CPGameObject* racer) {
    if (!racer) return 0.0f;
    const D3DXVECTOR3 forward = Turned(D3DXVECTOR3(0.0f, -1.0f, 0.0f), racer->GetRotationQuaternion());
    float x = forward.x;
    if (x > 1.0f) x = 1.0f;
    if (x < -1.0f) x = -1.0f;
    const float angle = std::acos(x);
    return forward.y < 0.0f ? -angle : angle;
}

void CPLevel::UpdateStartCamera(float t, D3DXVECTOR3& eye, D3DXVECTOR3& look, float dt) {
    std::vector<D3DXVECTOR3>& p = startCameraPath.points;
    const std::size_t n = p.size();
    if (startCameraPath.pathLength == 0.0f)
        for (std::size_t i = 1; i < n; ++i) startCameraPath.pathLength += Length(p[i] - p[i - 1]);
    const float flight = gridLength - 2.0f;
    const float s = flight > 0.0f ? startCameraPath.pathLength / flight * t : startCameraPath.pathLength;

    // The segment that holds the flown distance, walking from the last point to the first. A
    // segment of no length never holds it, so nothing below divides by zero.
    bool found = false;
    D3DXVECTOR3 e(0.0f, 0.0f, 0.0f);
    D3DXVECTOR3 c(0.0f, 0.0f, 0.0f);
    float sum = 0.0f;
    for (std::size_t j = n; j-- > 1;) {
        const D3DXVECTOR3& a = p[j];
        const D3DXVECTOR3& q = p[j - 1];
        const float segment = Length(q - a);
        if (sum <= s && s < sum + segment) {
            const float r = s - sum;
            const D3DXVECTOR3 d = (q - a) / segment;
            e = a + d * r;
            c = d;
            for (std::size_t k = j - 1; k-- > 0;) {
                const D3DXVECTOR3 ahead = p[k] - q;
                const float distance = Length(ahead);
                if (distance > 2.0f * r) {
                    c = UnitOr(q + ahead / distance * (2.0f * r) - e, d);
                    break;
                }
            }
            found = true;
            break;
        }
        sum += segment;
    }
    // Past the end of the flight (rounding) or without a path: the view stays where it was.
    if (!found) return;

    bool aim = false;
    if (t >= gridLength - 4.0f && humanRacer) {
        const D3DXVECTOR3 toCar = humanRacer->GetPosition() + D3DXVECTOR3(0.0f, 0.0f, 2.0f) - e;
        if (Length(toCar) > 0.0f) {
            startCameraPath.aimDirection = toCar / Length(toCar);
            aim = true;
        }
    }
    eye = e;

    if (look.x == 0.0f && look.y == 0.0f && look.z == 0.0f) {
        look = c;
        return;
    }
    const float k = dt * 1.5f;
    look = UnitOr(look + (c - look) * k, c);
    if (aim) {
        const D3DXVECTOR3& target = startCameraPath.aimDirection;
        look = UnitOr(look + (target - look) * ((t - (gridLength - 4.0f)) * 0.5f), target);
    }
}

void CPLevel::UpdateStartSequence(float dt) {
    if (!camera) return;
    // A route too short for a flight path gives no flight: the race camera takes over at once.
    const bool flight = !startCameraPath.points.empty();
    if (flight && raceTime < gridLength) {
        if (raceTime < gridLength - 2.0f) {
            UpdateStartCamera(raceTime, cameraStartPoint, startCameraLook, dt);
        } else if (humanRacer) {
            if (!startCameraPath.swingStarted) {
                swingCentre = humanRacer->GetPosition();
                swingOffset = cameraStartPoint - (swingCentre + D3DXVECTOR3(0.0f, 0.0f, 3.0f));
                startCameraPath.swingDistance = Length(swingOffset);
                const D3DXVECTOR3 rear = Turned(D3DXVECTOR3(0.0f, 1.0f, 0.0f), humanRacer->GetRotationQuaternion());
                // An eye right above the car swings out from behind it.
                swingOffset = UnitOr(swingOffset, rear);
                float dot = D3DXVec3Dot(&rear, &swingOffset);
                if (dot > 1.0f) dot = 1.0f;
                if (dot < -1.0f) dot = -1.0f;
                startCameraPath.swingAngle = std::fabs(std::acos(dot));
                startCameraPath.swingStarted = true;
            }
            const float u = raceTime - (gridLength - 2.0f);
            D3DXMATRIX turn;
            D3DXMatrixRotationZ(&turn, -0.5f * u * startCameraPath.swingAngle);
            D3DXVECTOR3 offset;
            D3DXVec3TransformCoord(&offset, &swingOffset, &turn);
            const float distance = startCameraPath.swingDistance + u * (7.0f - startCameraPath.swingDistance) * 0.5f;
            cameraStartPoint = UnitOr(offset, swingOffset) * distance + swingCentre + D3DXVECTOR3(0.0f, 0.0f, 3.0f);
            startCameraLook = swingCentre + D3DXVECTOR3(0.0f, 0.0f, 2.0f) - cameraStartPoint;
        }
        camera->SetExternalView(true);
        camera->SetExternalVectors(cameraStartPoint, cameraStartPoint + startCameraLook, kUp);
        return;
    }
    // The start moment, once per race: afterwards an external view is the scripts' camera mode.
    if (startMomentDone || (flight && !camera->IsExternalView())) return;
    startMomentDone = true;
    const float carYaw = HeadingOf(humanRacer.Get());
    camera->SetTargetYaw(carYaw);
    camera->yaw = carYaw;
    camera->fov = 0.0f;
    camera->SetFOV(camera1Fov);
    camera->SetExternalView(false);
    camera->active = true;
    // Every racer takes part in the race from now on.
    if (humanRacer) humanRacer->raceFlag = true;
    for (const CPSmartPtr<CPPlayer>& opponent : opponents)
        if (opponent) opponent->raceFlag = true;
    if (checkpoints.empty()) return;
    SPCheckpoint& first = checkpoints.front();
    if (first.object) first.object->SetVisible(true);
    for (CPGameObject* flag : {first.flag1.Get(), first.flag2.Get()}) {
        if (!flag) continue;
        if (CPSmartPtr<CPGameObject> cloth = flag->FindObject("flag_b")) cloth->SetVisible(true);
    }
}
