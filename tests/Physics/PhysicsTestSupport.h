#pragma once
// Shared fixture of the physics tests: a z-up simulator stepped at 60 Hz.

#include "Physics/RbWorld.h"

#include <gtest/gtest.h>

#include <memory>

struct RbSimulatorDeleter {
    void operator()(RbSimulator* s) const { RbSimulator::Destroy(s); }
};
// The tests drive and inspect single stages, so they hold the world with its stages open.
using RbSimulatorPtr = std::unique_ptr<RbWorld, RbSimulatorDeleter>;

inline RbSimulatorPtr MakeSimulator(const RbSimulatorSizes& sizes = RbSimulatorSizes{}, float gravityZ = -9.8f,
                                    RbAllocator* allocator = nullptr) {
    RbVector gravity = RbVec(0.0f, 0.0f, gravityZ);
    return RbSimulatorPtr(RbWorld::Of(RbSimulator::Create(&sizes, allocator, &gravity)));
}

constexpr float kStep = 1.0f / 60.0f;

inline RbMatrix Translation(float x, float y, float z) {
    RbMatrix m;
    RbSetRow(m, 3, RbVec(x, y, z));
    return m;
}

// Rotation by `angle` radians about a unit axis, as rotation rows.
inline RbQuaternion AxisAngle(const RbVector& axis, float angle) {
    float s = std::sin(angle / 2.0f);
    return RbQuaternion{axis.x * s, axis.y * s, axis.z * s, std::cos(angle / 2.0f)};
}

inline RbMatrix Pose(const RbQuaternion& q, float x, float y, float z) {
    RbMatrix m;
    RbQuaternionToRows(q, m);
    RbSetRow(m, 3, RbVec(x, y, z));
    return m;
}

// A rigid body carrying one box of the given full sizes.
inline RbRigidBody* MakeBoxBody(RbSimulator* sim, float sx, float sy, float sz, const RbVector& position,
                                float mass = 1.0f) {
    RbRigidBody* body = sim->NewRigidBody();
    if (!body) return nullptr;
    RbGeometry* g = body->AttachGeometry();
    g->SetBoxDimensions(sx, sy, sz);
    body->UpdateBounds();
    body->SetMass(mass);
    body->SetBodyInertia(RbBoxInertiaFromSizes(sx, sy, sz, mass));
    body->SetPosition(position);
    body->UpdateBounds();
    return body;
}

#define EXPECT_VEC_NEAR(v, ex, ey, ez, tol)                                                                            \
    do {                                                                                                               \
        RbVector vv_ = (v);                                                                                            \
        EXPECT_NEAR(vv_.x, (ex), (tol));                                                                               \
        EXPECT_NEAR(vv_.y, (ey), (tol));                                                                               \
        EXPECT_NEAR(vv_.z, (ez), (tol));                                                                               \
    } while (0)
