#pragma once
// The rigid-body world: pools, tables, broad phase, callbacks and the fixed-step
// pipeline.

#include "Physics/BroadPhase.h"
#include "Physics/RbBody.h"
#include "Physics/RbCollide.h"
#include "Physics/RbTerrainTree.h"
#include "Physics/StepTimer.h"

struct RbMaterial {
    float friction = 0.5f;
    float restitution = 0.4f;
    float third = 1.0f;
};

class RbResponseTable {
public:
    RbResponseTable() { Fill(1); }
    void Fill(int value);
    // A group of -1 stands for the terrain; groups outside 0..63 have no entry
    // (Get answers 0, Set does nothing).
    void Set(int groupA, int groupB, int response);
    int Get(int groupA, int groupB) const;

private:
    int32_t m_pairs[64][64];
    int32_t m_terrain[64];
};

// Shape lists of the narrow phase (one per side; growable, never overrun).
using RbGeometryList = RbArray<RbGeometry*>;

// The world as the game sees it. The stages of the step and their state are the
// engine's own: its files reach them as friends, and tests through RbWorld
// (Physics/RbWorld.h).
class RbSimulator {
public:
    static RbSimulator* Create(const RbSimulatorSizes* sizes, RbAllocator* allocator, const RbVector* gravity);
    static void Destroy(RbSimulator* simulator);

    RbRigidBody* NewRigidBody() { return NewBody(0); }
    RbRigidBody* NewRigidParticle() { return NewBody(1); }
    RbAnimatedBody* NewAnimatedBody();
    void FreeBody(RbBody* body) { ReleaseBody(body); }
    RbResponseTable* GetResponseTable() { return &m_response; }
    bool SetMaterial(int index, float friction, float restitution) {
        return SetMaterialEntry(index, friction, restitution, 0.0f);
    }
    void SetGravity(const RbVector& gravity);
    RbVector GetGravity() const { return m_gravity; }
    int Advance(float time, int steps, RbPerformanceReport* report);
    void FreeTerrainTree() { m_terrainTree.Free(); }
    // Builds the engine's own terrain tree over copies of the caller's arrays; the
    // terrain pass answers from it while no terrain-query callback is set. Node
    // room starts at the sizes record's terrainNodesStart. Leaves hold at most
    // leafSize triangles; four kept the candidate lists of a car on a height grid
    // about as short as a grid lookup gives, where eight cost twice as much.
    bool BuildTerrainTree(const RbVector* vertices, int vertexCount, const RbTriangle* triangles, int triangleCount,
                          int leafSize = 4) {
        if (m_inStep) return false;
        return m_terrainTree.Build(vertices, vertexCount, triangles, triangleCount, leafSize,
                                   m_sizes.terrainNodesStart);
    }
    RbCollisionCallback SetCollisionCallback(RbCollisionCallback callback);
    RbTerrainQueryCallback SetTerrainQuery(RbTerrainQueryCallback callback);
    // The interface has no setter for these; tests and tools may install them.
    void SetLogCallback(RbLogCallback callback, int level) {
        m_logCallback = callback;
        m_logLevel = level;
    }

    // Joints and constraint sets. A joint links a rigid body A to a rigid or
    // animated body B, or to the world when B is null; it starts disabled, of
    // type 0, with identity frames and no anchors. Null when the pool is empty.
    // A joint acts once it is enabled and in a set that also holds its bodies
    // (the joint stage solves a set while one of its bodies is awake). None of
    // these may be called from inside a step (refused).
    RbJoint* NewJoint(RbRigidBody* a, RbBody* b);
    // Unlinks the joint from its bodies and its set and returns its controllers.
    void FreeJoint(RbJoint* joint);
    // A controller of a joint: its callback runs after the step's integration and
    // its forces go to body A (force, torque) and body B (forceB, torqueB).
    RbController* AttachJointController(RbJoint* joint, RbControllerCallback* callback, int period);
    RbConstraintSet* NewConstraintSet();
    // Takes every body out of the set and frees its joints' set links.
    void FreeConstraintSet(RbConstraintSet* set);

    // Convex hulls for shapes of type 8: built from points (null and a logged
    // message for fewer than four points not in one plane, a coordinate that is not
    // finite, or more than 255 faces), owned by the simulator until freed or until
    // the simulator is destroyed. Freeing a hull a shape still uses is refused.
    RbConvexHull* CreateConvexHull(const RbVector* points, int count, RbHullResult* result = nullptr);
    bool FreeConvexHull(RbConvexHull* hull);

    // State, room left in the pools and the step's cost, for the caller's reports.
    int GetAdvanceCounter() const { return m_advanceCounter; }
    float GetStepLength() const { return m_step; }
    const RbSimulatorSizes& GetSizes() const { return m_sizes; }
    const char* GetLastMessage() const { return m_message; }
    bool IsStepping() const { return m_inStep; }
    // Stage times of the last Advance that was given a performance report.
    const StepTimer& GetStepTimer() const { return m_timer; }
    int FreeRigidBodies() const { return m_rigidPool.Free(); }
    int FreeAnimatedBodies() const { return m_animatedPool.Free(); }
    int FreeParticles() const { return m_particlePool.Free(); }
    int FreeControllers() const { return m_controllerPool.Free(); }
    int FreeGeometries() const { return m_geometryPool.Free(); }
    int FreeSensors() const { return m_sensorPool.Free(); }
    int JointsInUse() const { return m_jointPool.Used(); }
    int ConstraintSetsInUse() const { return m_setPool.Used(); }
    int JointCapacity() const { return m_jointPool.Capacity(); }
    int ConstraintSetCapacity() const { return m_setPool.Capacity(); }
    // Overlap-pair records in use, and how often the pair pool was found full.
    int OverlapPairCount() const { return m_broadPhase.PairCount(); }
    int PairPoolFullEvents() const { return m_broadPhase.PairPoolFullEvents(); }

private:
    // The engine's own parts: bodies and the broad phase call back into the world;
    // joints, stacks and sets push rows and take pool entries.
    friend class RbBody;
    friend class RbRigidBody;
    friend class BroadPhase;
    friend struct RbJoint;
    friend struct RbStackNode;
    friend struct RbStackHeader;
    friend struct RbConstraintSet;
    friend class RbWorld;

    // Internal operations.
    RbRigidBody* NewBody(int particle);
    void ReleaseBody(RbBody* body);
    RbVector GetGravityDirection() const { return m_gravityDirection; }
    float GetGravityMagnitude() const { return m_gravityMagnitude; }
    bool SetMaterialEntry(int index, float friction, float restitution, float third);
    bool GetMaterialEntry(int index, RbMaterial& out) const;
    void Log(int level);
    void Logf(int level, const char* message);
    int AdvanceSteps(float time, int steps, RbPerformanceReport* report);
    void Step();
    void CheckPairCollisions();
    void CheckTerrainCollisions();
    // The body's step along which a fast body is looked for, and the look itself:
    // the first pose along the step at which it touches the terrain, its contact
    // in `out` (unchanged when the whole step is clear).
    static float SweepSpacing(const RbBody* body);
    // After integration: a fast body that met the terrain keeps its centre in front
    // of the surface it met.
    void KeepAboveLanding(RbRigidBody* body);
    void SweepToTerrain(RbContact& out, RbRigidBody* body, const RbVector& motion, float spacing, const RbVector& hint);
    void RegisterContact(RbBody* a, RbBody* b, RbContact& contact);
    // Moves the bodies apart by the contact's depth, shared by inverse mass; level
    // leaves out the move along gravity.
    void PushApart(RbContact& contact, bool level = false);
    // Moves the bodies of a supporting contact apart by its depth beyond the rest slop.
    void CorrectDepth(RbContact& contact);
    // The other corners of a box's face lying on the terrain or on a box, as rest
    // points; sign is 1 when the body is the contact's A side, -1 when it is B.
    void AddFaceRestPoints(RbRigidBody* body, RbBody* below, const RbContact& contact, float sign);
    void CentreFaceContact(RbRigidBody* body, RbContact& contact, float sign);
    void SolveLandingRow(RbBody* a, RbBody* b, RbContact& contact, float sign);
    void SolveCentredSupportRow(RbRigidBody* body);

    // Stages of the step: joint damping, the joint stage, stacking, the solver and
    // the joint controllers.
    void SolveConstraintSets();
    void UpdateStacks();
    void SolveConstraints();
    void ApplyJointDamping();
    void RunJointControllers();
    void SolveCollisionRow(RbBody* a, RbBody* b, RbContact& row);

    // Constraint rows and the iterative solver.
    // False when the buffer cannot grow (the row is dropped).
    bool PushContactRow(const RbContact& row);
    bool PushJointRow(const RbContact& row);
    RbVector ComputeContactImpulse(const RbContact& row, int noRestitution) const;
    float SolveContactRow(RbBody* a, RbBody* b, RbContact& row, int kind, float scale);
    float SolveRow(RbContact& row);
    void SolveRows(float tolerance, int iterations);
    void DissolveSmallStacks();

    void ReleaseSetIfEmpty(RbConstraintSet* set);
    RbConstraintSet* FirstConstraintSet() const { return m_setHead; }

    // Stack pools (a header is taken with all fields zero and joins the list of headers).
    RbStackNode* TakeStackNode();
    void GiveStackNode(RbStackNode* node);
    RbStackHeader* NewStackHeader(RbStackNode* first);
    void FreeStackHeader(RbStackHeader* header);
    RbStackHeader* GetLooseList() { return &m_looseList; }
    RbStackHeader* FirstStackHeader() const { return m_stackHead; }
    int StackHeadersInUse() const { return m_stackHeaderPool.Used(); }
    int StackNodesInUse() const { return m_stackNodePool.Used(); }
    RbConstraintSet* GetIslandSet() { return &m_islandSet; }
    RbArray<RbContact>& ContactRows() { return m_contactRows; }
    RbArray<void*>& StacksToSolve() { return m_stacksToSolve; }
    int GetSolverPhase() const { return m_solverPhase; }
    void SetSolverPhase(int phase) { m_solverPhase = phase; }
    int GetLastIteration() const { return m_lastIteration; }
    int GetLogLevel() const { return m_logLevel; }

    // Narrow phase.
    void CollideBodies(RbContact& out, RbBody* a, RbBody* b, const RbVector& motionHint);
    void CollideShapes(RbContact& out, RbGeometry* a, const RbMatrix& ta, RbGeometry* b, const RbMatrix& tb,
                       const RbVector& motionHint);
    void CollideBoxBox(RbContact& out, RbGeometry* a, const RbMatrix& ta, RbGeometry* b, const RbMatrix& tb);
    // Box or hull A against hull B, a hull against one triangle, and a hull against
    // the candidate triangles of the terrain shape (separating axes over the face
    // and edge tables).
    // With `kept` (a pair's record), the direction it holds is tried first and the
    // one that parts the shapes is kept there.
    void CollideConvex(RbContact& out, RbGeometry* a, const RbMatrix& ta, RbGeometry* b, const RbMatrix& tb,
                       RbSeparatingAxis* kept = nullptr);
    void CollideConvexTriangle(RbContact& out, RbGeometry* hull, const RbMatrix& t, const RbVector& v0,
                               const RbVector& v1, const RbVector& v2);
    void CollideConvexTriangles(RbContact& out, RbGeometry* hull, const RbMatrix& t, RbGeometry* mesh);
    void TestSensors(RbBody* sensorBody, RbBody* other);

    // State the stages share.
    float GetInverseStepLength() const { return m_inverseStep; }
    BroadPhase& GetBroadPhase() { return m_broadPhase; }
    RbTerrainTree& GetTerrainTree() { return m_terrainTree; }
    RbAnimatedBody* GetTerrainBody() { return &m_terrainBody; }
    RbGeometry* GetTerrainShape() { return &m_terrainShape; }
    RbAllocator* GetAllocator() { return m_allocator; }
    int StackNodeCapacity() const { return m_stackNodePool.Capacity(); }
    int StackHeaderCapacity() const { return m_stackHeaderPool.Capacity(); }

    // Pools and lists used by the bodies.
    RbPool<RbGeometry>& GeometryPool() { return m_geometryPool; }
    RbPool<RbSensor>& SensorPool() { return m_sensorPool; }
    RbPool<RbController>& ControllerPool() { return m_controllerPool; }
    // A fresh controller at the end of a body's or a joint's list; null when the pool is empty.
    RbController* AppendController(RbController*& list, int period);
    void OnBodyActivity(RbBody* body, bool active);
    void ReportTimerStage(RbStepStage stage) {
        if (m_report) m_timer.AddStage(stage);
    }

    struct BodyList {
        RbBody* head = nullptr;
        RbBody* tail = nullptr;
        int count = 0;
        void Append(RbBody* body);
        void Unlink(RbBody* body);
    };
    // kind: 0 rigid, 1 animated, 2 particle; list 0 active, 1 inactive.
    BodyList& List(int kind, int inactive) { return m_lists[kind][inactive]; }

    RbSimulator() = default;
    ~RbSimulator();
    bool Construct(const RbSimulatorSizes* sizes, RbAllocator* allocator, const RbVector* gravity);
    // Copies a body list into the walk array, so callbacks may move bodies between lists.
    int SnapshotList(const BodyList& list);
    void ReleaseAllBodies();
    void FreeAllConvexHulls();
    void FillCollisionInfo(RbCollisionInfo& info, RbBody* a, void* b, int typeB, const RbContact& contact);

    RbSimulatorSizes m_sizes;
    RbPerformanceReport* m_report = nullptr;
    StepTimer m_timer;
    RbVector m_gravity;
    RbVector m_gravityDirection;
    float m_gravityMagnitude = 0.0f;
    int32_t m_advanceCounter = 0;
    float m_step = 0.0f;
    float m_inverseStep = 0.0f;

    RbDefaultAllocator m_defaultAllocator;
    RbAllocator* m_allocator = nullptr;

    RbPool<RbConstraintSet> m_setPool;
    RbPool<RbJoint> m_jointPool;
    RbPool<RbController> m_controllerPool;
    RbPool<RbStackNode> m_stackNodePool;
    RbPool<RbStackHeader> m_stackHeaderPool;
    RbPool<RbSensor> m_sensorPool;
    RbPool<RbGeometry> m_geometryPool;
    RbArray<void*> m_setsToSolve;
    RbArray<void*> m_stacksToSolve;
    int32_t m_logLevel = 0;
    RbArray<RbContact> m_jointRows;
    RbArray<RbContact> m_contactRows;
    int32_t m_solverPhase = 0;
    int32_t m_lastIteration = 0;
    RbConstraintSet m_islandSet;
    RbStackHeader m_looseList;
    RbConstraintSet* m_setHead = nullptr;
    RbConstraintSet* m_setTail = nullptr;
    RbConvexHull* m_hulls = nullptr;
    RbStackHeader* m_stackHead = nullptr;
    RbStackHeader* m_stackTail = nullptr;

    RbMaterial m_materials[256];

    RbPool<RbRigidBody> m_rigidPool;
    RbPool<RbAnimatedBody> m_animatedPool;
    RbPool<RbRigidBody> m_particlePool;
    BodyList m_lists[3][2];

    BroadPhase m_broadPhase;
    RbTerrainTree m_terrainTree;
    RbResponseTable m_response;
    RbArray<const RbTerrainTreeNode*> m_terrainNodes;
    RbArray<int> m_terrainCandidates;

    RbAnimatedBody m_terrainBody;
    RbGeometry m_terrainShape;

    RbCollisionCallback m_collisionCallback = nullptr;
    RbLogCallback m_logCallback = nullptr;
    RbTerrainQueryCallback m_terrainQuery = nullptr;

    char m_message[256] = {};
    bool m_inStep = false;
    RbArray<RbBody*> m_walk;
    RbArray<RbOverlapPair*> m_pairWalk;
    // The pair pass's record of the pair of single shapes being tested, else null.
    RbSeparatingAxis* m_keptAxis = nullptr;
    RbGeometryList m_candidatesA;
    RbGeometryList m_candidatesB;
    RbCollisionInfo m_pairInfo;
    // The terrain answer's triangles as one body's sensors read them (see TestSensors).
    RbSensorTriangles m_sensorTriangles;
    RbCollisionInfo m_terrainInfo;
};
