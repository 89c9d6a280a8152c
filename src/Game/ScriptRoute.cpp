// The route, checkpoint, impulse and tuning-key functions. Everything here reaches the current
// level: without it (or without the player, the racer or the object a function works on) a
// function does nothing and returns no values, unless its row states a default.

#include "Game/ScriptRoute.h"

#include <cmath>
#include <cstdint>

#include "Framework/PApplication.h"
#include "Framework/PSettings.h"
#include "Game/ScriptApi.h"
#include "Physics/RbBody.h"
#include "Physics/RbMath.h"
#include "Platform/Math/D3DXMath.h"
#include "Render/PRender.h"
#include "Script/ScriptBinding.h"
#include "World/PCar.h"
#include "World/PLevel.h"
#include "World/PPhysicData.h"
#include "World/PPlayer.h"
#include "World/PSpline.h"

namespace ScriptApi {
namespace {

using Script::ScriptBind;
using Script::ScriptBindCall;
using Script::ScriptCall;
namespace Arg = Script::Arg;
using Racer = Arg::Object<CPPlayer>;
using SceneObject = Arg::Object<CPGameObject>;

constexpr float kPi = 3.14159265358979f;
constexpr float kTwoPi = 6.28318530717959f;

CPLevel* Level() { return CPLevel::GetInstance(); }

CPPlayer* Player() {
    CPLevel* level = Level();
    return level ? level->player : nullptr;
}

CPSpline* Route(const CPLevel* level) {
    CPSpline* route = level ? level->path.Get() : nullptr;
    return route && !route->IsEmpty() ? route : nullptr;
}

bool Finite(const D3DXVECTOR3& v) { return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z); }

D3DXVECTOR3 Vector(double x, double y, double z) {
    return D3DXVECTOR3(Script::NarrowToFloat(x), Script::NarrowToFloat(y), Script::NarrowToFloat(z));
}

// (0, -1, 0) turned by the object's rotation, normalised.
D3DXVECTOR3 Forward(const CPGameObject& object) {
    D3DXMATRIX rotation;
    const D3DXQUATERNION q = object.GetRotationQuaternion();
    D3DXMatrixRotationQuaternion(&rotation, &q);
    const D3DXVECTOR3 ahead(0.0f, -1.0f, 0.0f);
    D3DXVECTOR3 out;
    D3DXVec3TransformCoord(&out, &ahead, &rotation);
    D3DXVec3Normalize(&out, &out);
    return out;
}

// A piece n steps along "next" (n below 0: along "previous"). The pieces form a ring, so the
// walk is cut to less than one turn: a script's huge count costs no more than a small one.
CPLine* Walk(const CPSpline& route, CPLine* from, long long steps) {
    const long long count = route.GetLineCount();
    if (!from || count <= 0) return from;
    steps %= count;
    CPLine* line = from;
    for (long long i = 0; i < steps && line->next; ++i) line = line->next;
    for (long long i = 0; i > steps && line->previous; --i) line = line->previous;
    return line;
}

// A heading brought into 0..2 pi (a value that is not finite reads as 0).
float WrapHeading(float heading) {
    if (!std::isfinite(heading)) return 0.0f;
    if (std::fabs(heading) > 4.0f * kTwoPi) heading = std::fmod(heading, kTwoPi);
    while (heading > kTwoPi) heading -= kTwoPi;
    while (heading < 0.0f) heading += kTwoPi;
    return heading;
}

// Pushes the body of a scene object, which must not be handed values that are not finite: a
// body moved by one would carry them into every later physics step.
void PushBody(RbRigidBody* body, const D3DXVECTOR3& point, const D3DXVECTOR3& impulse) {
    if (!body || !Finite(point) || !Finite(impulse)) return;
    body->ApplyImpulseAtPoint(RbVec(impulse.x, impulse.y, impulse.z), RbVec(point.x, point.y, point.z));
}

void PushRacer(CPPlayer& racer, const D3DXVECTOR3& point, const D3DXVECTOR3& impulse) {
    if (!Finite(point) || !Finite(impulse)) return;
    racer.ApplyImpulseAt(point, impulse);
}

RbRigidBody* RigidBodyOf(const CPGameObject& object) {
    auto* data = dynamic_cast<CPPhysicData*>(object.GetPhysicData().Get());
    return data ? data->GetRigidBody() : nullptr;
}

float MassOf(const CPGameObject& object) {
    if (RbRigidBody* body = RigidBodyOf(object)) return body->GetMass();
    auto* data = dynamic_cast<CPPhysicData*>(object.GetPhysicData().Get());
    return data ? data->GetMass() : 0.0f;
}

D3DXVECTOR3 VelocityOf(const CPPlayer& racer) {
    float v[4];
    racer.GetVelocity(v);
    return D3DXVECTOR3(v[0], v[1], v[2]);
}

// ---- route queries ------------------------------------------------------------------------

// The search hint every call shares. It belongs to the route it was taken from: with another
// route (a new level, or none since) the hint is taken again, so it never points into the
// pieces of a deleted spline.
struct SplineAngleHint {
    CPLine* line = nullptr;
    PMMHandle route = 0;
};
SplineAngleHint g_splineAngleHint;

void GetPlayerSplineAngle(ScriptCall& call) {
    CPLevel* level = Level();
    CPSpline* route = Route(level);
    CPPlayer* player = level ? level->player : nullptr;
    if (!route || !player) return;
    const bool reseed = call.ArgumentCount() >= 1 && call.Boolean(1);
    if (reseed || g_splineAngleHint.route != route->GetHandle()) {
        g_splineAngleHint.line = route->GetCurrentLine();
        g_splineAngleHint.route = route->GetHandle();
    }
    float radius = 20.0f;
    const float heading = route->FindClosestLine(player->GetPosition(), radius, 0, g_splineAngleHint.line);
    call.PushNumber(level->trackYaw);
    call.PushNumber(WrapHeading(heading));
}

void GetSplineLineCount(ScriptCall& call) { call.PushNumber(1.0); }

void GetSplineLinePoint(ScriptCall& call, double n) {
    CPSpline* route = Route(Level());
    if (!route) return;
    const int steps = Script::TruncateToInt(n);
    CPLine* line = Walk(*route, route->GetFirstLine(), steps > 0 ? steps : 0);
    call.PushNumber(line->centre.x);
    call.PushNumber(line->centre.y);
    call.PushNumber(line->centre.z);
}

void GetClosestLineCenter(ScriptCall& call, double x, double y, double, double offset) {
    CPSpline* route = Route(Level());
    if (!route) return;
    const float px = Script::NarrowToFloat(x);
    const float py = Script::NarrowToFloat(y);
    CPLine* first = route->GetFirstLine();
    CPLine* found = nullptr;
    int guard = route->GetLineCount();
    for (CPLine* line = first->next; line && line != first && guard-- > 0; line = line->next) {
        const float dx = line->centre.x - px;
        const float dy = line->centre.y - py;
        if (dx * dx + dy * dy < 400.0f) {
            found = line;
            break;
        }
    }
    if (!found) return;
    // A negative offset moves along "next", a positive one along "previous".
    const int steps = Script::TruncateToInt(offset);
    found = Walk(*route, found, -static_cast<long long>(steps));
    CPLine* hint = found;
    float radius = 20.0f;
    const float heading = route->FindClosestLine(found->centre, radius, 0, hint);
    call.PushNumber(found->centre.x);
    call.PushNumber(found->centre.y);
    call.PushNumber(0.5);
    call.PushNumber(heading - kPi / 2.0f);
}

void GetPlayerSplinePosition(ScriptCall& call) {
    CPLevel* level = Level();
    CPSpline* route = Route(level);
    CPPlayer* player = level ? level->player : nullptr;
    D3DXVECTOR3 point(0.0f, 0.0f, 0.0f);
    if (route && player) {
        float distance = 0.0f;
        route->GetDistanceAtPoint(player->GetPosition(), distance, 15.0f);
        player->splineDistance = distance;
        D3DXVECTOR3 direction(0.0f, 0.0f, 0.0f);
        player->splineSegment = route->GetPointAtDistance(distance, point, direction);
    }
    call.PushNumber(point.x);
    call.PushNumber(point.y);
    call.PushNumber(point.z);
}

void PushDirection(ScriptCall& call, const CPGameObject& object) {
    const D3DXVECTOR3 f = Forward(object);
    call.PushNumber(f.x);
    call.PushNumber(f.y);
    call.PushNumber(f.z);
}

void GetPlayerDirection(ScriptCall& call) {
    if (CPPlayer* player = Player()) PushDirection(call, *player);
}

void GetPlayerDirectionAI(ScriptCall& call, CPPlayer* racer) {
    if (racer) PushDirection(call, *racer);
}

void IsPlayerMoveForward(ScriptCall& call) {
    if (Level()) call.PushBoolean(true);
}

void IsPlayerMovingBackwards(ScriptCall& call) {
    if (CPLevel* level = Level()) call.PushBoolean(level->IsMovingBackwards());
}

void GetLevelSize(ScriptCall& call) {
    CPLevel* level = Level();
    if (!level) return;
    call.PushNumber(level->terrainExtentX);
    call.PushNumber(level->terrainExtentY);
}

// ---- checkpoints and mini-map markers -----------------------------------------------------

void GetMapCheckPointsCount(ScriptCall& call) {
    CPLevel* level = Level();
    call.PushNumber(level ? static_cast<double>(level->mapCheckpoints.size()) : 0.0);
}

void GetMapCheckPoint(ScriptCall& call, double index) {
    CPLevel* level = Level();
    if (!level) return;
    const int i = Script::TruncateToInt(index);
    if (i < 0 || i >= static_cast<int>(level->mapCheckpoints.size())) return;
    const SPMapCheckpoint& entry = level->mapCheckpoints[static_cast<std::size_t>(i)];
    call.PushNumber(entry.screenX);
    call.PushNumber(entry.screenY);
    call.PushNumber(entry.angle);
    call.PushBoolean(entry.next);
    call.PushBoolean(entry.finish);
}

bool TurnedBack(int levelNumber) {
    switch (levelNumber) {
    case 2:
    case 3:
    case 4:
    case 8:
    case 9:
    case 10: return true;
    default: return false;
    }
}

void GetChekpointPositions(ScriptCall& call) {
    CPLevel* level = Level();
    CPPlayer* player = level ? level->player : nullptr;
    if (!player) return;
    const bool hasMap = static_cast<bool>(level->miniMap);
    const float scale = hasMap ? level->miniMap->mapScale * level->mapZoom : 1.0f;
    const float extent = std::max(level->terrainExtentX, level->terrainExtentY);
    const float cameraAngle = level->camera ? level->camera->targetYaw : 0.0f;
    D3DXVECTOR3 heading(level->playerHeading.x, level->playerHeading.y, 0.0f);
    D3DXVec3Normalize(&heading, &heading);
    const D3DXVECTOR3 at = player->GetPosition();

    auto near = [&at](const SPCheckpoint& checkpoint) {
        if (!checkpoint.object) return false;
        const D3DXVECTOR3& p = checkpoint.object->GetPosition();
        const float dx = p.x - at.x;
        const float dy = p.y - at.y;
        return dx * dx + dy * dy < 40000.0f;
    };
    int count = 0;
    for (const SPCheckpoint& checkpoint : level->checkpoints)
        if (near(checkpoint)) ++count;
    call.PushNumber(5.0 * count);

    D3DXMATRIX turn;
    D3DXMatrixRotationZ(&turn, -(cameraAngle + kPi / 2.0f));
    const float mapFactor = hasMap ? g_interfaceScale * 100.0f / (extent * scale) : 1.0f;
    const int total = static_cast<int>(level->checkpoints.size());
    const int next = level->nextCheckpoint;
    call.PushTable([&](ScriptCall::TableBuilder& table) {
        for (int k = 0; k < total; ++k) {
            const SPCheckpoint& checkpoint = level->checkpoints[static_cast<std::size_t>(k)];
            if (!near(checkpoint)) continue;
            const D3DXVECTOR3& p = checkpoint.object->GetPosition();
            const D3DXVECTOR3 relative(p.x - at.x, p.y - at.y, 0.0f);
            D3DXVECTOR3 r;
            D3DXVec3TransformCoord(&r, &relative, &turn);
            if (hasMap) r *= mapFactor;
            table.AddNumber(g_interfaceScale * 140.0f + r.x + g_interfaceOffsetX);
            table.AddNumber(static_cast<float>(g_screenHeight) - g_interfaceScale * 100.0f + r.y);

            D3DXMATRIX rotation;
            const D3DXQUATERNION q = checkpoint.object->GetRotationQuaternion();
            D3DXMatrixRotationQuaternion(&rotation, &q);
            const D3DXVECTOR3 side(-1.0f, 0.0f, 0.0f);
            D3DXVECTOR3 direction;
            D3DXVec3TransformCoord(&direction, &side, &rotation);
            direction.z = 0.0f;
            D3DXVec3Normalize(&direction, &direction);
            const float dot = std::clamp(direction.x * heading.x + direction.y * heading.y, -1.0f, 1.0f);
            float angle = std::fabs(std::acos(dot));
            if (direction.y * heading.x - heading.y * direction.x < 0.0f) angle = -angle;
            if (TurnedBack(level->levelNumber)) angle += kPi;
            table.AddNumber(angle);
            table.AddNumber(k == next ? 1.0 : 0.0);
            table.AddNumber(next != 0 && next <= total / 2 ? -1.0 : static_cast<double>(k));
        }
    });
}

void ChangeCheckpointPosition(ScriptCall&, double x, double y) {
    CPLevel* level = Level();
    if (!level || !level->shownHint) return;
    const D3DXVECTOR3 position = Vector(x, y, 0.0);
    if (!Finite(position)) return;
    level->shownHint->SetPosition(position);
    level->shownHint->UpdateTransform();
}

// ---- impulses -----------------------------------------------------------------------------

void PlayerApplyImpulse(ScriptCall& call) {
    CPPlayer* player = Player();
    if (!player) return;
    if (call.ArgumentCount() >= 4) {
        PushRacer(*player, Vector(call.Number(1), call.Number(2), call.Number(3)),
                  Vector(call.Number(4), call.Number(5), call.Number(6)));
    } else {
        PushRacer(*player, player->GetPosition(), Vector(call.Number(1), call.Number(2), call.Number(3)));
    }
}

void ApplyImpulse(ScriptCall&, CPPlayer* racer, double x, double y, double z) {
    if (racer) PushRacer(*racer, racer->GetPosition(), Vector(x, y, z));
}

void Jump(ScriptCall&, CPGameObject* object, double x, double y, double z) {
    if (object) PushBody(RigidBodyOf(*object), object->GetPosition(), Vector(x, y, z));
}

void StopPlayerCar(ScriptCall&) {
    CPPlayer* player = Player();
    if (player) PushRacer(*player, player->GetPosition(), VelocityOf(*player) * -4.0f);
}

void ThrowPlayer(ScriptCall&, CPPlayer* racer) {
    if (!racer || (racer->flags & 1) == 0) return;
    const D3DXVECTOR3 f = Forward(*racer);
    const D3DXVECTOR3 p = racer->GetPosition();
    const float mass = MassOf(*racer);
    if (racer->name == "zil_130_")
        PushRacer(*racer, p - 2.0f * f, D3DXVECTOR3(0.0f, 0.0f, 31.25f * mass));
    else
        PushRacer(*racer, p - f, D3DXVECTOR3(0.0f, 0.0f, 62.5f * mass));
}

// A dark-side racer within the radius of the point is pushed back against its motion.
void PushBackIfNear(CPPlayer* racer, float x, float y, float radius) {
    if (!racer || (racer->flags & 2) == 0) return;
    const D3DXVECTOR3 p = racer->GetPosition();
    const float dx = p.x - x;
    const float dy = p.y - y;
    if (!(std::sqrt(dx * dx + dy * dy) <= radius)) return;
    D3DXVECTOR3 v = VelocityOf(*racer);
    const float squared = v.x * v.x + v.y * v.y + v.z * v.z;
    const float length = std::sqrt(squared);
    if (squared < 0.000001f || length == 0.0f)
        v = D3DXVECTOR3(0.0f, 0.0f, 0.0f);
    else
        v /= length;
    PushRacer(*racer, p, v * -72.0f);
}

void CheckIntersection(ScriptCall&, double x, double y, double, double radius) {
    CPLevel* level = Level();
    if (!level) return;
    const float px = Script::NarrowToFloat(x);
    const float py = Script::NarrowToFloat(y);
    const float r = Script::NarrowToFloat(radius);
    PushBackIfNear(level->player, px, py, r);
    const std::size_t examined = std::min<std::size_t>(level->opponents.size(), 5);
    for (std::size_t i = 0; i < examined; ++i) PushBackIfNear(level->opponents[i].Get(), px, py, r);
}

// ---- tuning keys --------------------------------------------------------------------------

struct TuningRow {
    float SPCarDescription::*value;
    float step;
};

// By tuning index. Index 17's description key ("x" of the inertion) names no value the car
// reads; it steps the kept yaw inertion, which nothing reads either.
const TuningRow kTuningRows[] = {
    {&SPCarDescription::wheelShiftX, 0.01f},      {&SPCarDescription::wheelHeight, 0.01f},
    {&SPCarDescription::wheelLength, 0.01f},      {&SPCarDescription::wheelRadius, 0.01f},
    {&SPCarDescription::frontMinLift, 0.01f},     {&SPCarDescription::rearMinLift, 0.01f},
    {&SPCarDescription::frontSpring, 1.0f},       {&SPCarDescription::rearSpring, 1.0f},
    {&SPCarDescription::damping, 10.0f},          {&SPCarDescription::maxFrontSpeed, 1.0f},
    {&SPCarDescription::maxRearSpeed, 1.0f},      {&SPCarDescription::frontFriction, 1.0f},
    {&SPCarDescription::rearFriction, 1.0f},      {&SPCarDescription::slideFriction, 0.05f},
    {&SPCarDescription::frontAcceleration, 1.0f}, {&SPCarDescription::backAcceleration, 1.0f},
    {&SPCarDescription::brakeAcceleration, 0.1f}, {&SPCarDescription::yawInertion, 0.05f},
    {&SPCarDescription::pitchInertion, 0.05f},
};
constexpr int kLastTuningIndex = static_cast<int>(sizeof(kTuningRows) / sizeof(kTuningRows[0])) - 1;

// The keys are live only while a player drives: without one there is nothing to tune.
void StepTuningIndex(int step) {
    CPRender* render = GetRender();
    if (!render || !Player()) return;
    render->tuningIndex = std::clamp(render->tuningIndex + step, 0, kLastTuningIndex);
}

void StepTunedValue(float sign) {
    CPRender* render = GetRender();
    CPPlayer* player = Player();
    CPCar* car = player ? player->GetCar() : nullptr;
    if (!render || !car) return;
    const TuningRow& row = kTuningRows[std::clamp(render->tuningIndex, 0, kLastTuningIndex)];
    car->MutableDescription().*row.value += sign * row.step;
}

void Pup(ScriptCall&) { StepTuningIndex(-1); }
void Pdown(ScriptCall&) { StepTuningIndex(1); }
void Pleft(ScriptCall&) { StepTunedValue(-1.0f); }
void Pright(ScriptCall&) { StepTunedValue(1.0f); }

} // namespace

void AddRouteFunctions(Script::ScriptFunctionTables& tables) {
    static const Script::ScriptFunction kSecond[] = {
        {"GetPlayerSplineAngle", ScriptBindCall<GetPlayerSplineAngle>},
        {"GetSplineLineCount", ScriptBind<GetSplineLineCount>},
        {"GetSplineLinePoint", ScriptBind<GetSplineLinePoint, Arg::Number>},
        {"GetClosestLineCenter", ScriptBind<GetClosestLineCenter, Arg::Number, Arg::Number, Arg::Number, Arg::Number>},
        {"GetPlayerSplinePosition", ScriptBind<GetPlayerSplinePosition>},
        {"GetPlayerDirection", ScriptBind<GetPlayerDirection>},
        {"IsPlayerMoveForward", ScriptBind<IsPlayerMoveForward>},
        {"IsPlayerMovingBackwards", ScriptBind<IsPlayerMovingBackwards>},
        {"GetLevelSize", ScriptBind<GetLevelSize>},
        {"GetMapCheckPointsCount", ScriptBind<GetMapCheckPointsCount>},
        {"GetMapCheckPoint", ScriptBind<GetMapCheckPoint, Arg::Number>},
        {"GetChekpointPositions", ScriptBind<GetChekpointPositions>},
        {"ChangeCheckpointPosition", ScriptBind<ChangeCheckpointPosition, Arg::Number, Arg::Number>},
        {"PlayerApplyImpulse", ScriptBindCall<PlayerApplyImpulse>},
        {"ApplyImpulse", ScriptBind<ApplyImpulse, Racer, Arg::Number, Arg::Number, Arg::Number>},
        {"StopPlayerCar", ScriptBind<StopPlayerCar>},
        {"ThrowPlayer", ScriptBind<ThrowPlayer, Racer>},
        {"CheckIntersection", ScriptBind<CheckIntersection, Arg::Number, Arg::Number, Arg::Number, Arg::Number>},
        {"Pup", ScriptBind<Pup>},
        {"Pdown", ScriptBind<Pdown>},
        {"Pleft", ScriptBind<Pleft>},
        {"Pright", ScriptBind<Pright>},
    };
    static const Script::ScriptFunction kThird[] = {
        {"Jump", ScriptBind<Jump, SceneObject, Arg::Number, Arg::Number, Arg::Number>},
        {"GetPlayerDirectionAI", ScriptBind<GetPlayerDirectionAI, Racer>},
    };
    tables.Add(kSecondTable, kSecond);
    tables.Add(kThirdTable, kThird);
}

} // namespace ScriptApi
