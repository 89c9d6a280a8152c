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
    RbVector offsetA; // shape tests: world point on A; body test: that point minus A's position
    RbVector offsetB;
    RbVector axisA; // contact point on A in A's body axes
    RbVector axisB;
    RbVector pointA; // world point on A
    RbVector pointB;
    RbVector tangent1;
    RbVector tangent2;
    RbVector normal; // unit, world, from B toward A
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

    // Builds the row's effective-mass matrix (and, for contacts, its frame). An
    // ignored or non-rigid side counts as immovable; its pointer stays in the row.
    void Prepare(int ignoreA, int ignoreB);
    // Rest rows only: 1 when a slow row between resting bodies can be dropped;
    // otherwise the resting side may be made immovable by clearing its pointer.
    int ReleaseRestingSide();
};

// Completes a contact frame (t1, t2, n) from the unit normal n.
void RbBuildTangents(RbVector& t1, RbVector& t2, const RbVector& n);

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
    int32_t state = 0; // 0 free, 1 other side rigid, 2 other side animated or terrain
    RbBody* otherBody = nullptr;
    RbRestContact* listNext = nullptr; // in the other body's list of contacts leaning on it
    RbRestContact* listPrev = nullptr;
    RbRigidBody* owner = nullptr;

    // Frees the record and takes it out of the other body's list.
    void Release();
    // Recomputes the world points, normal, gap, separation and drift.
    void Update();
};

// A rest contact's support is solid when its other side is a resting rigid body,
// or an animated body (or the terrain) that has not moved.
bool RbSupportSolid(const RbRestContact& record);
// Plane points relative to the centre: the centre lies inside the triangle grown
// by 1.1 about its centroid.
bool RbSupportTriangleContains(float au, float av, float bu, float bv, float cu, float cv);

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

    // Island marking: gathers the bodies reached through rest contacts and their rows.
    void Visit(int link);
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

    void AppendNode(RbStackNode* node);
    void UnlinkNode(RbStackNode* node);
    // Moves every node to the end of target.
    void MergeInto(RbStackHeader* target);
    // Splits the stack into the groups that still touch; leaves this header empty.
    void Regroup();
    // Fills the simulator's island set and contact rows with this stack.
    void MarkIsland();
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

    // Joints and bodies of a pooled set. A body belongs to one set at a time and a
    // joint to one set; both refuse (false) otherwise.
    bool AddJoint(RbJoint* joint);
    bool AddBody(RbBody* body);
    // Prepares every enabled joint (rows into the simulator's joint rows) and folds
    // their tolerance and iterations into the arguments; marks the set visited.
    void PrepareJoints(float& tolerance, int& iterations);
    // Appends a body to the set's body list (the body names the set as its own).
    void LinkBody(RbBody* body);
    void UnlinkBody(RbBody* body);
    // 1 when every rigid body of the set passes the rest-pose test.
    int AllAtRest();
    // Puts the rigid bodies to rest; with checkReadiness only those whose supports hold.
    void RestBodies(int checkReadiness);
    // Marks every rigid body awake without a new snapshot.
    void WakeBodies();
    // Unlinks every body and clears the set.
    void Reset();
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
    RbConstraintSet* set = nullptr;
    // Links in the joint lists of body A and body B.
    RbJoint* nextOfA = nullptr;
    RbJoint* nextOfB = nullptr;
    RbJoint* poolNext = nullptr;
    bool inUse = false;

    // Construction. Types: 0 ball-and-socket with a hinge limit and a twist limit,
    // 2 hinge with a motor, 3 slider with a motor; other values make no rows.
    void SetType(int type) { jointType = type; }
    // Joint frames in each body's space (frame B in world space when B is the world);
    // the second row of frame B is the joint axis.
    void SetFrames(const RbMatrix& inA, const RbMatrix& inB);
    // Up to two anchor pairs (points in each body's space, or world for the world);
    // false when count is outside 0..2.
    bool SetAnchors(int count, const RbVector* onA, const RbVector* onB);
    // Hinge angle (types 0, 2; radians) or slide (type 3) between lower and upper.
    void SetLimit(bool enable, float lower, float upper);
    // Twist of type 0 within +-halfWidth radians.
    void SetTwistLimit(bool enable, float halfWidth);
    // Target relative speed and the largest torque or force (0: unlimited).
    void SetMotor(float targetSpeed, float maxEffort);
    void SetDamping(float value) { damping = value; }
    void SetTolerance(float value) { tolerance = value; }
    void SetIterations(int value) { iterations = value; }
    void Enable(bool on) { enabled = on ? 1 : 0; }
    float GetAngle() const { return angle; }
    float GetSignedAngle() const { return signedAngle; }

    // Per-step work.
    void UpdateWorldFrames();
    void UpdateAnchors();
    void AddRows(RbSimulator* simulator);
    void AddLimitRows(RbSimulator* simulator);
    void AddMotorRow(RbSimulator* simulator);
    void ApplyDamping();
    void RunControllers(float step);
};
