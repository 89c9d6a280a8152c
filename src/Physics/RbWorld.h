#pragma once
// The simulator with its stages open, for tests and tools that drive or inspect
// one stage at a time. The game uses RbSimulator's public face only.
//
// Every simulator RbSimulator::Create makes is an RbWorld, so RbWorld::Of is a
// plain downcast.

#include "Physics/RbSimulator.h"

class RbWorld final : public RbSimulator {
public:
    static RbWorld* Of(RbSimulator* simulator) { return static_cast<RbWorld*>(simulator); }

    // Bodies, settings and the log.
    using RbSimulator::GetGravityDirection;
    using RbSimulator::GetGravityMagnitude;
    using RbSimulator::GetLogLevel;
    using RbSimulator::GetMaterialEntry;
    using RbSimulator::Log;
    using RbSimulator::Logf;
    using RbSimulator::NewBody;
    using RbSimulator::ReleaseBody;
    using RbSimulator::SetMaterialEntry;

    // The step and its collision stages.
    using RbSimulator::AdvanceSteps;
    using RbSimulator::CheckPairCollisions;
    using RbSimulator::CheckTerrainCollisions;
    using RbSimulator::PushApart;
    using RbSimulator::RegisterContact;
    using RbSimulator::ReportTimerStage;
    using RbSimulator::Step;
    using RbSimulator::TestSensors;

    // Narrow phase.
    using RbSimulator::CollideBodies;
    using RbSimulator::CollideBoxBox;
    using RbSimulator::CollideConvex;
    using RbSimulator::CollideConvexTriangle;
    using RbSimulator::CollideConvexTriangles;
    using RbSimulator::CollideShapes;

    // Joints, stacks and the solver.
    using RbSimulator::ApplyJointDamping;
    using RbSimulator::ComputeContactImpulse;
    using RbSimulator::ContactRows;
    using RbSimulator::DissolveSmallStacks;
    using RbSimulator::FirstConstraintSet;
    using RbSimulator::GetIslandSet;
    using RbSimulator::GetLastIteration;
    using RbSimulator::GetSolverPhase;
    using RbSimulator::PushContactRow;
    using RbSimulator::PushJointRow;
    using RbSimulator::ReleaseSetIfEmpty;
    using RbSimulator::RunJointControllers;
    using RbSimulator::SetSolverPhase;
    using RbSimulator::SolveCollisionRow;
    using RbSimulator::SolveConstraints;
    using RbSimulator::SolveConstraintSets;
    using RbSimulator::SolveContactRow;
    using RbSimulator::SolveRow;
    using RbSimulator::SolveRows;
    using RbSimulator::StacksToSolve;
    using RbSimulator::UpdateStacks;

    // Stack pools.
    using RbSimulator::FirstStackHeader;
    using RbSimulator::FreeStackHeader;
    using RbSimulator::GetLooseList;
    using RbSimulator::GiveStackNode;
    using RbSimulator::NewStackHeader;
    using RbSimulator::StackHeaderCapacity;
    using RbSimulator::StackHeadersInUse;
    using RbSimulator::StackNodeCapacity;
    using RbSimulator::StackNodesInUse;
    using RbSimulator::TakeStackNode;

    // State the stages share, and the pools and lists of the bodies.
    using RbSimulator::AppendController;
    using RbSimulator::BodyList;
    using RbSimulator::ControllerPool;
    using RbSimulator::GeometryPool;
    using RbSimulator::GetAllocator;
    using RbSimulator::GetBroadPhase;
    using RbSimulator::GetInverseStepLength;
    using RbSimulator::GetTerrainBody;
    using RbSimulator::GetTerrainShape;
    using RbSimulator::GetTerrainTree;
    using RbSimulator::List;
    using RbSimulator::OnBodyActivity;
    using RbSimulator::SensorPool;

private:
    friend class RbSimulator;
    RbWorld() = default;
    ~RbWorld() = default;
};
