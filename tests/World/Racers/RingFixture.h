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
#include "World/Racers/RingRoute.h"

namespace kxring {

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
        D3DXQUATERNION q;
        const D3DXVECTOR3 z(0.0f, 0.0f, 1.0f);
        D3DXQuaternionRotationAxis(&q, &z, YawFacing(piece->centre, piece->previous->centre));
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
