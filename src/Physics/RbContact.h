#pragma once
// The contact record (which is also the solver's constraint row) and the records
// of rest contacts, stacks, constraint sets and joints.

#include "Physics/RbTypes.h"

enum RbRowType : int32_t {
    RbRowNone = 0,
    CollisionContact = 1,
    RestContact = 2,
    PointJoint = 3,
    LineJoint = 4,
    LinearLimit = 5,
    AngularLimit = 6,
    FrameAngularLimit = 7,
    AngularMotor = 8,
    LinearMotor = 10,
};

struct RbContact {
    RbVector offsetA;  // shape tests: world point on A; body test: that point minus A's position
    RbVector offsetB;
    RbVector axisA;  // contact point on A in A's body axes
    RbVector axisB;
    RbVector pointA;  // world point on A
    RbVector pointB;
    RbVector tangent1;
    RbVector tangent2;
    RbVector normal;  // unit, world, from B toward A
    RbVector frameTransposed[3];
    RbVector relVelocity;
    RbVector localRelVelocity;
    int32_t materialA = 0;
    int32_t materialB = 0;
    float depth = 0.0f;
    int32_t collided = 0;
    RbBody* bodyA = nullptr;
    RbBody* bodyB = nullptr;
    float relSpeed = 0.0f;
    float normalSpeed = 0.0f;
    RbGeometry* geometryA = nullptr;
    RbGeometry* geometryB = nullptr;
    RbVector k[3];
    RbVector kInverse[3];
    int32_t type = RbRowNone;
};

struct RbRestContact {
    RbVector localPointA;
    RbVector localPointB;
    RbVector worldPointA;
    RbVector worldPointB;
    RbVector gap;
    RbVector localNormal;
    RbVector worldNormal;
    float contactDepth = 0.0f;
    float separation = 0.0f;
    float driftSquared = 0.0f;
    int32_t materialA = 0;
    int32_t materialB = 0;
    int32_t state = 0;  // 0 free, 1 other side rigid, 2 other side animated or terrain
    RbBody* otherBody = nullptr;
    RbRestContact* listNext = nullptr;  // in the other body's list of contacts leaning on it
    RbRestContact* listPrev = nullptr;
    RbRigidBody* owner = nullptr;
};

struct RbRestBlock {
    RbRestContact contacts[3];
    RbVector linearHistory[10];
    RbVector angularHistory[10];
    int32_t restMode = 0;
    int32_t supportIndices[3] = {0, 0, 0};
};

struct RbStackHeader;

struct RbStackNode {
    int32_t visited = 0;
    int32_t supportOnly = 0;
    int32_t unsupported = 0;
    RbStackHeader* owner = nullptr;
    RbRigidBody* body = nullptr;
    RbStackNode* next = nullptr;
    RbStackNode* prev = nullptr;
    RbStackNode* poolNext = nullptr;
    bool inUse = false;
};

struct RbStackHeader {
    RbSimulator* simulator = nullptr;
    RbStackNode* firstNode = nullptr;
    RbStackNode* lastNode = nullptr;
    int32_t nodeCount = 0;
    int32_t isLooseList = 0;
    int32_t allResting = 0;
    int32_t queued = 0;
    RbStackHeader* next = nullptr;
    RbStackHeader* prev = nullptr;
    RbStackHeader* poolNext = nullptr;
    bool inUse = false;
};

struct RbJoint;

struct RbConstraintSet {
    RbJoint* joints = nullptr;
    int32_t visited = 0;
    RbBody* firstBody = nullptr;
    RbBody* lastBody = nullptr;
    int32_t bodyCount = 0;
    RbConstraintSet* next = nullptr;
    RbConstraintSet* prev = nullptr;
    RbConstraintSet* poolNext = nullptr;
    bool inUse = false;
};

struct RbJointLimit {
    int32_t active = 0;
    RbVector axis;
    int32_t side = 0;
    int32_t enabled = 0;
    float error = 0.0f;
    float upper = 0.0f;
    float lower = 0.0f;
    RbJoint* owner = nullptr;
};

struct RbJointMotor {
    float targetSpeed = 0.0f;
    float maxEffort = 0.0f;
};

struct RbJointAnchor {
    RbVector local;
    RbVector world;
};

struct RbJoint {
    RbMatrix frameA;
    RbMatrix frameB;
    RbMatrix worldFrameA;
    RbMatrix worldFrameB;
    RbRigidBody* bodyA = nullptr;
    RbBody* bodyB = nullptr;
    int32_t anchorCount = 0;
    RbJointAnchor anchorsA[2];
    RbJointAnchor anchorsB[2];
    int32_t enabled = 0;
    float tolerance = 0.0f;
    int32_t iterations = 0;
    float angle = 0.0f;
    float signedAngle = 0.0f;
    float damping = 0.0f;
    RbJointLimit limit;
    RbJointLimit twistLimit;
    RbJointMotor motor;
    RbController* controllers = nullptr;
    int32_t jointType = 0;
    RbJoint* nextInSet = nullptr;
    RbJoint* prevInSet = nullptr;
    RbJoint* poolNext = nullptr;
    bool inUse = false;
};
