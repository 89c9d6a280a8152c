#pragma once
// Records and callbacks that cross the boundary between the rigid-body engine
// and its caller.

#include "Physics/RbMath.h"

#include <cstddef>
#include <cstdint>

class RbBody;
class RbRigidBody;
class RbAnimatedBody;
class RbGeometry;
class RbController;
class RbSensor;
class RbSimulator;

// Pool sizes, copied by the simulator at creation.
struct RbSimulatorSizes {
    int32_t rigidBodiesCount = 50;
    int32_t animatedBodiesCount = 50;
    int32_t rigidParticleCount = 50;
    int32_t controllersCount = 50;
    int32_t overlapPairsCount = 1225;
    int32_t geometriesCount = 50;
    int32_t jointsCount = 100;
    int32_t constraintSetsCount = 100;
    int32_t rowBufferCount = 2000;
    int32_t sensorsCount = 100;
    int32_t terrainNodesStart = 200;
    int32_t terrainNodesGrowBy = -1;
};

// What the collision callback receives; valid only during the call.
struct RbCollisionInfo {
    RbBody* bodyA = nullptr;
    // For a terrain contact this is the terrain shape (an RbGeometry), not a body.
    void* bodyB = nullptr;
    int32_t typeA = 0; // 1 rigid body or particle, 2 animated body
    int32_t typeB = 0; // as typeA; 0 for the terrain
    RbGeometry* geometryA = nullptr;
    RbGeometry* geometryB = nullptr;
    int32_t materialA = 0;
    int32_t materialB = 0;
    RbVector pointALocal; // on A, relative to A's centre, in A's axes
    RbVector pointBLocal; // on B likewise (terrain: world axes)
    RbVector pointAWorld;
    RbVector pointBWorld;
    RbVector relativeVelocity; // A's point minus B's point
    RbVector normal;           // unit, from B toward A
};

// A terrain triangle supplied by the caller.
struct RbTriangle {
    int32_t vertex[3] = {0, 0, 0};
    int32_t material = 0;
    int32_t testMode = 0; // 0 full test, 1 vertical test (boxes only), other: skipped
    int32_t boxMaterial = 0;
};

struct RbPerformanceReport {
    float result = 0.0f;
    float cleared[9] = {};
    float runningSum = 0.0f;
    int32_t mode = 0; // 1: last call's total; otherwise a running average
    int32_t sampleCount = 0;
};

class RbAllocator {
public:
    virtual ~RbAllocator() = default;
    virtual void* Alloc(size_t bytes, int32_t flag) = 0;
    virtual void Free(void* block) = 0;
};

// Heap allocator that keeps a running total of the bytes it was asked for.
class RbDefaultAllocator : public RbAllocator {
public:
    void* Alloc(size_t bytes, int32_t flag) override;
    void Free(void* block) override;
    size_t GetTotal() const { return m_total; }

private:
    size_t m_total = 0;
};

class RbControllerCallback {
public:
    virtual ~RbControllerCallback() = default;
    virtual void OnControllerStep(RbController* controller, float step) = 0;
};

using RbCollisionCallback = void (*)(RbCollisionInfo* info);
// The box is the body's world bounding box. The caller answers with its candidate
// triangle indices, its triangle array and its vertex array; the engine reads them
// only right after the call and never frees them.
using RbTerrainQueryCallback = void (*)(const RbVector* boxMin, const RbVector* boxMax, const int** candidates,
                                        const RbTriangle** triangles, const RbVector** vertices, int* candidateCount,
                                        int* triangleCount, RbRigidBody* body);
using RbLogCallback = void (*)(const char* message);

// Inertia diagonals (fourth entry 0).
RbVector RbBoxInertiaFromSizes(float x, float y, float z, float mass);
RbVector RbBoxInertia(const RbVector& sizes, float mass);
RbVector RbCylinderInertia(float diameter, float height, float mass);
