#pragma once
// Shared fixture of the physics tests: a z-up simulator stepped at 60 Hz.

#include "Physics/RbWorld.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

struct RbSimulatorDeleter {
    void operator()(RbSimulator* s) const { RbSimulator::Destroy(s); }
};
// The tests drive and inspect single stages, so they hold the world with its stages open.
using RbSimulatorPtr = std::unique_ptr<RbWorld, RbSimulatorDeleter>;

// The triangles of a grid of nx x ny cells over (nx + 1) x (ny + 1) vertices laid row by row,
// two to a cell, material and modes 0.
inline void AppendGridTriangles(int nx, int ny, std::vector<RbTriangle>& triangles) {
    for (int j = 0; j < ny; ++j)
        for (int i = 0; i < nx; ++i) {
            const int a = j * (nx + 1) + i, b = a + 1, c = a + nx + 2, d = a + nx + 1;
            const int corners[2][3] = {{a, b, c}, {a, c, d}};
            for (const auto& t : corners) {
                RbTriangle tri;
                for (int k = 0; k < 3; ++k) tri.vertex[k] = t[k];
                tri.material = 0;
                tri.testMode = 0;
                tri.boxMaterial = 0;
                triangles.push_back(tri);
            }
        }
}

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
