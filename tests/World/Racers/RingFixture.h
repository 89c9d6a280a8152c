#pragma once
// A race line of forty 10.5-unit pieces round a ring on the flat test road, a level that holds
// it, and computer drivers to hand racers to: the drivers' fixture.

#include <cmath>
#include <vector>

#include "Framework/PGlobalTimer.h"
#include "Platform/Math/D3DXMath.h"
#include "World/Car/CarWorldFixture.h"
#include "World/PAITask.h"
#include "World/PLevel.h"
#include "World/PSpline.h"

namespace kxring {

constexpr int kPieces = 40;
constexpr float kTau = 6.2831853f;

// Forty straight segments round the origin. A segment's measured length is its chord to
// t = 0.9, so each chord is 10.5 / 0.9 for the route to cut into forty pieces.
inline CPSmartPtr<CPSpline> MakeRing() {
    const float side = 10.5f / 0.9f;
    const float radius = side / (2.0f * std::sin(kTau / 2.0f / kPieces));
    std::vector<BezierSegment> segments;
    for (int i = 0; i < kPieces; ++i) {
        const float a0 = kTau * static_cast<float>(i) / kPieces;
        const float a1 = kTau * static_cast<float>(i + 1) / kPieces;
        BezierSegment s;
        s.p0 = D3DXVECTOR3(radius * std::cos(a0), radius * std::sin(a0), 0.0f);
        s.p3 = D3DXVECTOR3(radius * std::cos(a1), radius * std::sin(a1), 0.0f);
        s.p1 = s.p0 + (s.p3 - s.p0) / 3.0f;
        s.p2 = s.p0 + (s.p3 - s.p0) * (2.0f / 3.0f);
        segments.push_back(s);
    }
    CPSmartPtr<CPSpline> ring(new CPSpline);
    ring->Build("c_path", true, segments);
    return ring;
}

struct RingWorld : kxcar::CarWorld {
    RingWorld() {
        ring = MakeRing();
        level.centrePath = ring;
        oldDelta = g_deltaTime;
        g_deltaTime = kxcar::kStep;
    }
    ~RingWorld() override {
        level.centrePath = nullptr;
        level.player = nullptr;
        level.humanRacer = nullptr;
        level.opponents.clear();
        g_deltaTime = oldDelta;
    }

    CPLine* Piece(int index) const { return ring->GetLine(index); }

    // A computer racer on the piece's centre, facing the piece it drives to (the previous).
    CPSmartPtr<CPPlayer> RacerOn(int index, const std::string& description = "") {
        CPLine* piece = Piece(index);
        CPSmartPtr<CPPlayer> racer =
            MakeRacer(description, false, 4, D3DXVECTOR3(piece->centre.x, piece->centre.y, 1.0f));
        // A racer's body belongs to the racers' material, as the level adds it.
        auto* data = dynamic_cast<CPPhysicData*>(racer->GetPhysicData().Get());
        for (SPPhysicShape& shape : data->Shapes())
            if (shape.geometry) shape.geometry->SetMaterial(1);
        const D3DXVECTOR3 to = piece->previous->centre - piece->centre;
        D3DXQUATERNION q;
        const D3DXVECTOR3 z(0.0f, 0.0f, 1.0f);
        D3DXQuaternionRotationAxis(&q, &z, std::atan2(to.x, -to.y));
        racer->SetRotation(q);
        racer->UpdateTransform();
        return racer;
    }

    // The racer's flat forward direction and signed speed, as the race rules hand them over.
    static D3DXVECTOR3 Forward(const CPPlayer& racer) {
        D3DXMATRIX m;
        D3DXMatrixRotationQuaternion(&m, &racer.GetRotationQuaternion());
        D3DXVECTOR3 f;
        const D3DXVECTOR3 back(0.0f, -1.0f, 0.0f);
        D3DXVec3TransformNormal(&f, &back, &m);
        return f;
    }

    void Hand(int slot, const CPSmartPtr<CPPlayer>& racer) {
        const float speed = racer->GetCar() ? racer->GetCar()->GetSpeed() : 0.0f;
        task->DriveVehicle(slot, CPSmartPtr<CPGameObject>(racer.Get()), Forward(*racer), speed, racer, 0, 0);
    }

    // One race frame for the racers in slots 0, 1, ...: state to the drivers, the drivers, the
    // racers' updates, the physics step and the poses back onto the racers.
    void Frame(const std::vector<CPSmartPtr<CPPlayer>>& driven) {
        for (std::size_t i = 0; i < driven.size(); ++i) Hand(static_cast<int>(i), driven[i]);
        task->Update();
        for (const auto& racer : driven) racer->Update(kxcar::kStep);
        Step(1);
        physics.SyncObjects();
    }

    CPLevel level;
    CPSmartPtr<CPSpline> ring;
    CPSmartPtr<AI_Task> task{new AI_Task};
    float oldDelta = 0.0f;
};

} // namespace kxring
