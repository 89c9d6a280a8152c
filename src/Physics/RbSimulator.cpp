#include "Physics/RbSimulator.h"

#include "Physics/RbWorld.h"

#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <new>

// ---------------------------------------------------------------- allocator and math helpers

void* RbDefaultAllocator::Alloc(size_t bytes, int32_t) {
    m_total += bytes;
    return std::malloc(bytes == 0 ? 1 : bytes);
}

void RbDefaultAllocator::Free(void* block) { std::free(block); }

bool RbInvert3(const RbMatrix3& a, RbMatrix3& out) {
    const RbVector& r0 = a.r[0];
    const RbVector& r1 = a.r[1];
    const RbVector& r2 = a.r[2];
    RbVector c0 = RbCross(r1, r2);
    RbVector c1 = RbCross(r2, r0);
    RbVector c2 = RbCross(r0, r1);
    float det = RbDot(r0, c0);
    if (!(std::fabs(det) >= 1e-17f)) return false;
    float inv = 1.0f / det;
    // The inverse's columns are the cross products divided by the determinant.
    out.r[0] = RbVec(c0.x * inv, c1.x * inv, c2.x * inv);
    out.r[1] = RbVec(c0.y * inv, c1.y * inv, c2.y * inv);
    out.r[2] = RbVec(c0.z * inv, c1.z * inv, c2.z * inv);
    return true;
}

RbQuaternion RbRowsToQuaternion(const RbMatrix& m) {
    // Rows hold the rotated axes, so m[i][j] is the transpose of the column form.
    float m00 = m.m[0][0], m11 = m.m[1][1], m22 = m.m[2][2];
    float trace = m00 + m11 + m22;
    RbQuaternion q;
    if (trace > 0.0f) {
        float s = std::sqrt(trace + 1.0f) * 2.0f;
        q.w = 0.25f * s;
        q.x = (m.m[1][2] - m.m[2][1]) / s;
        q.y = (m.m[2][0] - m.m[0][2]) / s;
        q.z = (m.m[0][1] - m.m[1][0]) / s;
    } else if (m00 > m11 && m00 > m22) {
        float s = std::sqrt(1.0f + m00 - m11 - m22) * 2.0f;
        q.w = (m.m[1][2] - m.m[2][1]) / s;
        q.x = 0.25f * s;
        q.y = (m.m[0][1] + m.m[1][0]) / s;
        q.z = (m.m[2][0] + m.m[0][2]) / s;
    } else if (m11 > m22) {
        float s = std::sqrt(1.0f + m11 - m00 - m22) * 2.0f;
        q.w = (m.m[2][0] - m.m[0][2]) / s;
        q.x = (m.m[0][1] + m.m[1][0]) / s;
        q.y = 0.25f * s;
        q.z = (m.m[1][2] + m.m[2][1]) / s;
    } else {
        float s = std::sqrt(1.0f + m22 - m00 - m11) * 2.0f;
        q.w = (m.m[0][1] - m.m[1][0]) / s;
        q.x = (m.m[2][0] + m.m[0][2]) / s;
        q.y = (m.m[1][2] + m.m[2][1]) / s;
        q.z = 0.25f * s;
    }
    if (q.w < 0.0f) q = RbQuaternion{-q.x, -q.y, -q.z, -q.w};
    return RbNormalizeQuaternion(q);
}

// ---------------------------------------------------------------- response table

void RbResponseTable::Fill(int value) {
    for (auto& row : m_pairs)
        for (int32_t& e : row) e = value;
    for (int32_t& e : m_terrain) e = value;
}

static bool ValidGroup(int g) { return g >= 0 && g < 64; }

void RbResponseTable::Set(int a, int b, int response) {
    if (a == -1 && b == -1) return;
    if (a == -1 || b == -1) {
        int other = a == -1 ? b : a;
        if (ValidGroup(other)) m_terrain[other] = response;
        return;
    }
    if (!ValidGroup(a) || !ValidGroup(b)) return;
    m_pairs[a][b] = response;
    m_pairs[b][a] = response;
}

int RbResponseTable::Get(int a, int b) const {
    if (a == -1 && b == -1) return 0;
    if (a == -1 || b == -1) {
        int other = a == -1 ? b : a;
        return ValidGroup(other) ? m_terrain[other] : 0;
    }
    if (!ValidGroup(a) || !ValidGroup(b)) return 0;
    return m_pairs[a][b];
}

// ---------------------------------------------------------------- body lists

void RbSimulator::BodyList::Append(RbBody* body) {
    RbListAppend<RbBody, &RbBody::listNext, &RbBody::listPrev>(head, tail, body);
    ++count;
}

void RbSimulator::BodyList::Unlink(RbBody* body) {
    RbListUnlink<RbBody, &RbBody::listNext, &RbBody::listPrev>(head, tail, body);
    --count;
}

static int KindList(const RbBody* body) {
    switch (body->kind) {
    case RbKindAnimated: return 1;
    case RbKindParticle: return 2;
    default: return 0;
    }
}

void RbSimulator::OnBodyActivity(RbBody* body, bool makeActive) {
    int k = KindList(body);
    m_lists[k][makeActive ? 1 : 0].Unlink(body);
    m_lists[k][makeActive ? 0 : 1].Append(body);
}

// ---------------------------------------------------------------- creation and destruction

RbSimulator* RbSimulator::Create(const RbSimulatorSizes* sizes, RbAllocator* allocator, const RbVector* gravity) {
    RbWorld* simulator = new (std::nothrow) RbWorld();
    if (!simulator) return nullptr;
    if (!simulator->Construct(sizes, allocator, gravity)) {
        simulator->Logf(1, "Failed to allocate memory.\n");
        delete simulator;
        return nullptr;
    }
    return simulator;
}

void RbSimulator::Destroy(RbSimulator* simulator) {
    if (!simulator || simulator->m_inStep) return;
    delete RbWorld::Of(simulator);
}

static int NonNegative(int32_t value) { return value > 0 ? value : 0; }

bool RbSimulator::Construct(const RbSimulatorSizes* sizes, RbAllocator* allocator, const RbVector* gravity) {
    m_response.Fill(1);
    if (sizes) m_sizes = *sizes;
    m_allocator = allocator ? allocator : &m_defaultAllocator;
    SetGravity(gravity ? *gravity : RbVector{});

    int rigid = NonNegative(m_sizes.rigidBodiesCount);
    int animated = NonNegative(m_sizes.animatedBodiesCount);
    int particles = NonNegative(m_sizes.rigidParticleCount);
    // Index arithmetic (pair cells, axis lists) stays well inside 32 bits.
    const int64_t kMostBodies = 1 << 22;
    if (int64_t(rigid) + animated + particles > kMostBodies || m_sizes.overlapPairsCount > (1 << 28) ||
        m_sizes.geometriesCount > (1 << 28) || m_sizes.sensorsCount > (1 << 28) ||
        m_sizes.controllersCount > (1 << 28) || m_sizes.jointsCount > (1 << 28) ||
        m_sizes.constraintSetsCount > (1 << 28))
        return false;
    RbAllocator* a = m_allocator;
    if (!m_rigidPool.Init(a, rigid) || !m_animatedPool.Init(a, animated) || !m_particlePool.Init(a, particles))
        return false;
    if (!m_broadPhase.Init(this, a, 7, rigid, animated, particles, NonNegative(m_sizes.overlapPairsCount)))
        return false;
    m_advanceCounter = 0;

    for (RbMaterial& mat : m_materials) mat = RbMaterial{};
    if (!m_terrainNodes.Init(a, 100, 100) || !m_terrainCandidates.Init(a, 200, 200)) return false;

    if (!m_jointPool.Init(a, NonNegative(m_sizes.jointsCount)) ||
        !m_setPool.Init(a, NonNegative(m_sizes.constraintSetsCount)) || !m_stackNodePool.Init(a, rigid + particles) ||
        !m_stackHeaderPool.Init(a, rigid + particles + 100) ||
        !m_controllerPool.Init(a, NonNegative(m_sizes.controllersCount)) ||
        !m_sensorPool.Init(a, NonNegative(m_sizes.sensorsCount)) ||
        !m_geometryPool.Init(a, NonNegative(m_sizes.geometriesCount)))
        return false;
    if (!m_setsToSolve.Init(a, 1000, 100) || !m_stacksToSolve.Init(a, 1000, 100) || !m_jointRows.Init(a, 100, 100) ||
        !m_contactRows.Init(a, 100, 100))
        return false;
    // Scratch of the step: walks over bodies and pairs never grow during a step.
    if (!m_walk.Init(a, rigid + animated + particles + 1, 0) ||
        !m_pairWalk.Init(a, NonNegative(m_sizes.overlapPairsCount) + 1, 0) || !m_candidatesA.Init(a, 16, -1) ||
        !m_candidatesB.Init(a, 16, -1))
        return false;
    m_terrainTree.Init(a);

    m_collisionCallback = nullptr;
    m_logCallback = nullptr;
    m_terrainQuery = nullptr;
    m_logLevel = 0;

    m_terrainBody.InitHeader(this, RbKindTerrain, -1);
    m_terrainBody.inUse = true;
    m_terrainBody.active = 1;
    m_terrainShape = RbGeometry{};
    m_terrainShape.SetDefaults();
    m_terrainShape.SetTriangleMesh(nullptr, 0, nullptr, 0, nullptr);
    m_terrainShape.body = &m_terrainBody;
    m_terrainBody.firstGeometry = m_terrainBody.lastGeometry = &m_terrainShape;
    m_terrainBody.geometryCount = 1;

    m_looseList = RbStackHeader{};
    m_looseList.simulator = this;
    m_looseList.isLooseList = 1;
    m_islandSet = RbConstraintSet{};

    m_timer.Calibrate();
    return true;
}

void RbSimulator::ReleaseAllBodies() {
    for (int k = 0; k < 3; ++k) {
        for (int inactive = 0; inactive < 2; ++inactive) {
            BodyList& list = m_lists[k][inactive];
            while (RbBody* body = list.head) {
                list.Unlink(body);
                if (body->rigid) {
                    RbRigidBody* rb = static_cast<RbRigidBody*>(body);
                    rb->Release();
                    if (rb->particle)
                        m_particlePool.Give(rb);
                    else
                        m_rigidPool.Give(rb);
                } else {
                    RbAnimatedBody* ab = static_cast<RbAnimatedBody*>(body);
                    ab->ReleaseAttachments();
                    ab->LeaveConstraintSet();
                    m_animatedPool.Give(ab);
                }
            }
        }
    }
}

RbSimulator::~RbSimulator() {
    if (m_broadPhase.IsInitialised()) ReleaseAllBodies();
    FreeAllConvexHulls();
    m_broadPhase.Release();
    m_terrainTree.Free();
}

// ---------------------------------------------------------------- bodies

RbRigidBody* RbSimulator::NewBody(int particle) {
    if (m_inStep) {
        Logf(1, "Bodies cannot be created during a step.\n");
        return nullptr;
    }
    RbPool<RbRigidBody>& pool = particle ? m_particlePool : m_rigidPool;
    RbRigidBody* body = pool.Take();
    if (!body) {
        Logf(1, particle ? "Run out of RigidBodies. Increase 'rigidParticleCount'.\n"
                         : "Run out of RigidBodies. Increase 'rigidBodiesCount'.\n");
        return nullptr;
    }
    int i = pool.IndexOf(body);
    int index = particle ? m_rigidPool.Capacity() + m_animatedPool.Capacity() + i : i;
    body->InitRigid(this, particle ? RbKindParticle : RbKindRigid, index);
    m_lists[particle ? 2 : 0][0].Append(body);
    return body;
}

RbAnimatedBody* RbSimulator::NewAnimatedBody() {
    if (m_inStep) {
        Logf(1, "Bodies cannot be created during a step.\n");
        return nullptr;
    }
    RbAnimatedBody* body = m_animatedPool.Take();
    if (!body) return nullptr;
    int index = m_rigidPool.Capacity() + m_animatedPool.IndexOf(body);
    body->InitHeader(this, RbKindAnimated, index);
    m_lists[1][0].Append(body);
    return body;
}

void RbSimulator::ReleaseBody(RbBody* body) {
    if (m_inStep) {
        Logf(1, "Bodies cannot be freed during a step.\n");
        return;
    }
    // The pointer is validated by its address before anything of it is read.
    int rigidIndex = m_rigidPool.IndexOfAddress(body);
    int particleIndex = m_particlePool.IndexOfAddress(body);
    int animatedIndex = m_animatedPool.IndexOfAddress(body);
    if (rigidIndex >= 0 || particleIndex >= 0) {
        bool isParticle = particleIndex >= 0;
        RbPool<RbRigidBody>& pool = isParticle ? m_particlePool : m_rigidPool;
        RbRigidBody* rb = pool.At(isParticle ? particleIndex : rigidIndex);
        if (!rb->inUse) {
            Logf(1, isParticle ? "Trying to Free invalid RigidParticle.\n" : "Trying to Free invalid RigidBody.\n");
            return;
        }
        m_broadPhase.ForgetBody(rb);
        rb->Release();
        m_lists[isParticle ? 2 : 0][rb->active ? 0 : 1].Unlink(rb);
        pool.Give(rb);
        return;
    }
    if (animatedIndex >= 0) {
        RbAnimatedBody* ab = m_animatedPool.At(animatedIndex);
        if (!ab->inUse) {
            Logf(1, "Trying to Free invalid AnimatedBody.\n");
            return;
        }
        m_broadPhase.ForgetBody(ab);
        ab->ReleaseAttachments();
        ab->LeaveConstraintSet();
        m_lists[1][ab->active ? 0 : 1].Unlink(ab);
        m_animatedPool.Give(ab);
        return;
    }
    Logf(1, "Trying to Free invalid RigidBody.\n");
}

// ---------------------------------------------------------------- settings and log

void RbSimulator::SetGravity(const RbVector& gravity) {
    m_gravity = gravity;
    float sq = RbLengthSq(gravity);
    m_gravityDirection = sq < 1e-6f ? RbVector{} : RbNormalize(gravity);
    float magnitude = std::sqrt(sq);
    m_gravityMagnitude = std::isfinite(magnitude) ? magnitude : 0.0f;
}

bool RbSimulator::SetMaterialEntry(int index, float friction, float restitution, float third) {
    if (index < 0 || index > 255) return false;
    m_materials[index] = RbMaterial{friction, restitution, third};
    return true;
}

bool RbSimulator::GetMaterialEntry(int index, RbMaterial& out) const {
    if (index < 0 || index > 255) return false;
    out = m_materials[index];
    return true;
}

void RbSimulator::Log(int level) {
    if (m_logCallback && m_logLevel >= level) m_logCallback(m_message);
}

void RbSimulator::Logf(int level, const char* message) {
    std::strncpy(m_message, message, sizeof(m_message) - 1);
    m_message[sizeof(m_message) - 1] = '\0';
    Log(level);
}

RbCollisionCallback RbSimulator::SetCollisionCallback(RbCollisionCallback callback) {
    RbCollisionCallback previous = m_collisionCallback;
    m_collisionCallback = callback;
    return previous;
}

RbTerrainQueryCallback RbSimulator::SetTerrainQuery(RbTerrainQueryCallback callback) {
    m_terrainQuery = callback;
    return m_terrainQuery;
}

// ---------------------------------------------------------------- advancing

int RbSimulator::Advance(float time, int steps, RbPerformanceReport* report) {
    // A callback must not step the world again; nothing is stepped for fewer
    // than one step or a time that is not finite and positive.
    if (m_inStep) {
        Logf(1, "Advance cannot be called from inside a step.\n");
        return m_advanceCounter;
    }
    if (steps < 1 || !(time > 0.0f) || !std::isfinite(time)) return m_advanceCounter;
    m_inStep = true;
    int result = AdvanceSteps(time, steps, report);
    m_inStep = false;
    return result;
}

int RbSimulator::AdvanceSteps(float time, int steps, RbPerformanceReport* report) {
    m_step = time / static_cast<float>(static_cast<unsigned>(steps));
    m_inverseStep = 1.0f / m_step;
    m_report = report;
    if (report) {
        report->result = 0.0f;
        for (float& f : report->cleared) f = 0.0f;
        m_timer.Start();
    }
    for (int i = 0; i < steps; ++i) Step();
    for (RbBody* b = m_lists[1][0].head; b; b = b->listNext) b->moved = 0;
    if (report) {
        float total = m_timer.Total();
        if (report->mode == 1) {
            report->result = total;
        } else if (total < 100.0f) {
            ++report->sampleCount;
            report->runningSum += total;
            report->result = report->runningSum / static_cast<float>(report->sampleCount);
        }
    }
    m_report = nullptr;
    return ++m_advanceCounter;
}

int RbSimulator::SnapshotList(const BodyList& list) {
    for (RbBody* b = list.head; b; b = b->listNext) m_walk.Push(b);
    return m_walk.Size();
}

void RbSimulator::Step() {
    // 1. Sensor hits live for one step.
    for (int k : {1, 2, 0})
        for (RbBody* b = m_lists[k][0].head; b; b = b->listNext)
            if (b->sensors) b->ResetSensors();

    // 2. World bounds.
    for (int k : {0, 2})
        for (RbBody* b = m_lists[k][0].head; b; b = b->listNext) b->UpdateWorldBounds();
    for (RbBody* b = m_lists[1][0].head; b; b = b->listNext)
        if (b->moved) b->UpdateWorldBounds();

    // 3..5. Collision stages.
    m_broadPhase.Update();
    ReportTimerStage(RbStageBroadPhase);
    CheckPairCollisions();
    ReportTimerStage(RbStagePairs);
    CheckTerrainCollisions();
    ReportTimerStage(RbStageTerrain);

    // 6. Step totals start from zero.
    for (int k : {0, 2}) {
        for (RbBody* b = m_lists[k][0].head; b; b = b->listNext) {
            RbRigidBody* rb = static_cast<RbRigidBody*>(b);
            rb->stepTorque = RbVector{};
            rb->stepForce = RbVector{};
        }
    }
    // 7. Joint damping.
    ApplyJointDamping();

    // 8. Begin steps (a resting body's controllers may run here).
    m_walk.Clear();
    SnapshotList(m_lists[0][0]);
    SnapshotList(m_lists[2][0]);
    for (int i = 0; i < m_walk.Size(); ++i) {
        RbRigidBody* rb = static_cast<RbRigidBody*>(m_walk[i]);
        if (rb->active) rb->BeginStep(m_step);
    }
    ReportTimerStage(RbStageDynamics);

    // 9. Joints, stacks and the solver.
    for (RbStackHeader* h = m_stackHead; h; h = h->next) h->queued = 0;
    SolveConstraintSets();
    UpdateStacks();
    SolveConstraints();
    ReportTimerStage(RbStageSolver);

    // 10. Integration (controllers run at its end).
    m_walk.Clear();
    SnapshotList(m_lists[0][0]);
    SnapshotList(m_lists[2][0]);
    for (int i = 0; i < m_walk.Size(); ++i) {
        RbRigidBody* rb = static_cast<RbRigidBody*>(m_walk[i]);
        bool landing = rb->landing != 0;
        rb->landing = 0;
        if (!rb->active) continue;
        rb->stepped = 1;
        if (rb->restStatus != 0) continue;
        if (!rb->constraintSet) rb->IdleStep();
        if (rb->restStatus == 0) {
            rb->Integrate(m_step);
            if (landing) KeepAboveLanding(rb);
        }
    }
    ReportTimerStage(RbStageIntegration);

    // 11. Joint controllers.
    RunJointControllers();
    ReportTimerStage(RbStageEnd);
}

// ---------------------------------------------------------------- contact response

// A contact holds a body up only when its normal is within 60 degrees of gravity.
static const float kSupportAlongGravity = 0.5f;

// The upper body of a touching pair keeps the contact as a rest contact: it is
// what holds the body up (and lets it sleep) from the next step on.
static void RegisterRest(RbBody* ownerBody, RbBody* other, const RbVector& ownerPoint, const RbVector& otherPoint,
                         const RbVector& localNormal, int materialOwner, int materialOther, float depth) {
    RbRestContact candidate;
    candidate.localPointA = ownerPoint;
    candidate.localPointB = otherPoint;
    candidate.localNormal = localNormal;
    candidate.otherBody = other;
    candidate.contactDepth = depth;
    candidate.materialA = materialOwner;
    candidate.materialB = materialOther;
    static_cast<RbRigidBody*>(ownerBody)->JoinStack(candidate);
}

void RbSimulator::RegisterContact(RbBody* a, RbBody* b, RbContact& contact) {
    if (a->rigid || b->rigid) {
        if (a->ShareJoint(b) && !(a->jointContact && b->jointContact)) return;
        if (a->rigid && b->rigid && static_cast<RbRigidBody*>(b)->particle) {
            SolveCollisionRow(a, b, contact);
            RbRigidBody* pb = static_cast<RbRigidBody*>(b);
            RbSetRow(pb->transform, 3, pb->GetPosition() - contact.normal * contact.depth);
            return;
        }
    }
    contact.relVelocity = a->GetVelocityAtPoint(contact.offsetA) - b->GetVelocityAtPoint(contact.offsetB);
    float along = RbDot(contact.normal, m_gravityDirection);
    // Two movable bodies side by side do not hold each other up: as a rest contact
    // such a pair was held only by the rest rows, whose correction is clamped, and a
    // pusher drove rows of boxes a metre into one another.
    bool side = m_gravityMagnitude > 0.0f && a != &m_terrainBody && b != &m_terrainBody &&
                std::fabs(along) < kSupportAlongGravity;
    if (side) {
        PushApart(contact, true);
        SolveCollisionRow(a, b, contact);
        return;
    }
    if (along >= 0.0f) {
        // A lies below B.
        if (b->rigid) {
            SolveLandingRow(a, b, contact, -1.0f);
            CorrectDepth(contact);
            RegisterRest(b, a, contact.axisB, contact.axisA, RbInverseRotate(a->transform, -contact.normal),
                         contact.materialB, contact.materialA, contact.depth);
            AddFaceRestPoints(static_cast<RbRigidBody*>(b), a, contact, -1.0f);
            return;
        }
        if (!a->rigid) return;
    } else {
        if (a->rigid) {
            SolveLandingRow(a, b, contact, 1.0f);
            CorrectDepth(contact);
            RegisterRest(a, b, contact.axisA, contact.axisB, RbInverseRotate(b->transform, contact.normal),
                         contact.materialA, contact.materialB, contact.depth);
            AddFaceRestPoints(static_cast<RbRigidBody*>(a), b, contact, 1.0f);
            return;
        }
        if (!b->rigid) return;
    }
    PushApart(contact);
    SolveCollisionRow(a, b, contact);
}

// The box axis most nearly along up (a box whose transform is world): its index, the side
// (-1 or 1) of the face that looks down onto the support, and |cos| of their angle.
static float GroundFacingAxis(const RbMatrix& world, const RbVector& up, int& axis, float& side) {
    float best = 0.0f;
    for (int k = 0; k < 3; ++k) {
        float d = RbDot(RbRow(world, k), up);
        if (std::fabs(d) > best) {
            best = std::fabs(d);
            axis = k;
            side = d > 0.0f ? -1.0f : 1.0f;
        }
    }
    return best;
}

void RbSimulator::AddFaceRestPoints(RbRigidBody* body, RbBody* below, const RbContact& contact, float sign) {
    // A box lying on the ground touches it along a face, but the contact test gives
    // one point a step: the box settled by rocking from corner to corner and walked
    // sideways as it did (a resting cube drifted 4 cm). The face's other corners at
    // the contact plane become rest points at once.
    if (body->geometryCount != 1 || !body->firstGeometry || body->firstGeometry->type != RbGeomBox) return;
    // Not for a landing: those rest at once with their landing depth still in them
    // (a box dropped from 1 m slept 2 cm deep) and lose their bounce.
    if (contact.depth > 0.02f || -RbDot(contact.relVelocity, contact.normal) > 0.5f) return;
    const RbGeometry* g = body->firstGeometry;
    RbMatrix world = RbCompose(g->localTransform, body->transform);
    const RbVector up = contact.normal * sign;
    const RbVector& touch = sign > 0.0f ? contact.pointA : contact.pointB;
    const RbVector& support = sign > 0.0f ? contact.pointB : contact.pointA;
    // A box below holds only the corners over its own top.
    const RbGeometry* belowBox = nullptr;
    RbMatrix belowWorld;
    if (below != &m_terrainBody) {
        if (below->geometryCount != 1 || !below->firstGeometry || below->firstGeometry->type != RbGeomBox) return;
        belowBox = below->firstGeometry;
        belowWorld = RbCompose(belowBox->localTransform, below->transform);
    }
    int axis = -1;
    float side = 0.0f;
    const float best = GroundFacingAxis(world, up, axis, side);
    // Only a face within about ten degrees of the ground.
    if (axis < 0 || best < 0.985f) return;
    // And on a box below, face to face: over a tilted box the points would hang
    // in the air or lie inside it.
    if (belowBox) {
        float facing = 0.0f;
        for (int k = 0; k < 3; ++k) facing = std::max(facing, std::fabs(RbDot(RbRow(belowWorld, k), up)));
        if (facing < 0.985f) return;
    }
    const int u = (axis + 1) % 3, v = (axis + 2) % 3;
    for (float su : {-1.0f, 1.0f})
        for (float sv : {-1.0f, 1.0f}) {
            RbVector local;
            RbSetComp(local, axis, side * g->params[axis]);
            RbSetComp(local, u, su * g->params[u]);
            RbSetComp(local, v, sv * g->params[v]);
            RbVector corner = RbTransformPoint(world, local);
            float height = RbDot(up, corner - support);
            if (height > 0.01f) continue;
            if (RbLengthSq(corner - touch) < 0.0025f) continue;
            RbVector ground = corner - up * height;
            if (belowBox) {
                RbVector inBox = RbInverseTransformPoint(belowWorld, ground);
                bool over = true;
                for (int k = 0; k < 3; ++k) over = over && std::fabs(RbComp(inBox, k)) <= belowBox->params[k] + 0.01f;
                if (!over) continue;
            }
            int ownMaterial = sign > 0.0f ? contact.materialA : contact.materialB;
            int otherMaterial = sign > 0.0f ? contact.materialB : contact.materialA;
            RegisterRest(body, below, RbInverseTransformPoint(body->transform, corner),
                         RbInverseTransformPoint(below->transform, ground), RbInverseRotate(below->transform, up),
                         ownMaterial, otherMaterial, std::max(-height, 0.0f));
        }
}

void RbSimulator::SolveLandingRow(RbBody* a, RbBody* b, RbContact& contact, float sign) {
    // Only the impulse of a box landing on the ground moves to the middle of its
    // face; the contact, its rest points and a settling box's rows keep the
    // deepest corner, which holds a resting box level.
    RbBody* other = sign > 0.0f ? b : a;
    RbRigidBody* upper = static_cast<RbRigidBody*>(sign > 0.0f ? a : b);
    if (other != &m_terrainBody || !(-RbDot(contact.relVelocity, contact.normal) > 0.5f)) {
        SolveCollisionRow(a, b, contact);
        return;
    }
    RbContact centred = contact;
    CentreFaceContact(upper, centred, sign);
    SolveCollisionRow(a, b, centred);
    contact.relVelocity = centred.relVelocity;
}

void RbSimulator::CentreFaceContact(RbRigidBody* body, RbContact& contact, float sign) {
    // A box meeting the ground face first touches it with the whole face, but the
    // contact test gives its deepest corner: the landing's impulse, applied there,
    // set the box spinning instead of bouncing it (a solid cube dropped from 1 m
    // onto ground of restitution 0.4 rose 64 mm, where 160 mm is right). The
    // point moves along the ground to the middle of the corners that touch.
    if (body->geometryCount != 1 || !body->firstGeometry || body->firstGeometry->type != RbGeomBox) return;
    const RbGeometry* g = body->firstGeometry;
    RbMatrix world = RbCompose(g->localTransform, body->transform);
    const RbVector up = contact.normal * sign;
    int axis = -1;
    float side = 0.0f;
    const float best = GroundFacingAxis(world, up, axis, side);
    // Only a face within about ten degrees of the ground, as for its rest points.
    if (axis < 0 || best < 0.985f) return;
    const RbVector touch = sign > 0.0f ? contact.pointA : contact.pointB;
    const int u = (axis + 1) % 3, v = (axis + 2) % 3;
    RbVector sum;
    int touching = 0;
    for (float su : {-1.0f, 1.0f})
        for (float sv : {-1.0f, 1.0f}) {
            RbVector local;
            RbSetComp(local, axis, side * g->params[axis]);
            RbSetComp(local, u, su * g->params[u]);
            RbSetComp(local, v, sv * g->params[v]);
            RbVector corner = RbTransformPoint(world, local);
            if (RbDot(up, corner - touch) > 0.01f) continue;
            sum += corner;
            ++touching;
        }
    if (touching < 2) return;
    RbVector shift = sum * (1.0f / static_cast<float>(touching)) - touch;
    shift -= up * RbDot(up, shift);
    shift.w = 0.0f;
    if (!RbIsFinite(shift)) return;
    contact.pointA += shift;
    contact.pointB += shift;
    contact.offsetA = contact.pointA - RbPosition(contact.bodyA->transform);
    contact.offsetB = contact.pointB - RbPosition(contact.bodyB->transform);
    contact.axisA = RbInverseRotate(contact.bodyA->transform, contact.offsetA);
    contact.axisB = RbInverseRotate(contact.bodyB->transform, contact.offsetB);
}

void RbSimulator::CorrectDepth(RbContact& contact) {
    // The collision row only stops the approach at the contact point; a fast landing
    // has by then gone deep (a third of a metre at 20 m/s), while the rest rows take
    // out at most 5 cm of depth, half of it a step. Depth beyond 2 cm is taken out
    // of the position at once; shallower contacts are left to the rest rows, since
    // lifting a settling box by each corner's whole depth rocked towers off their
    // base (a tower of five drifted 0.17 m instead of 0.04 m).
    // Without gravity there is no rest and nothing here.
    const float restRowsReach = 0.02f;
    float excess = contact.depth - restRowsReach;
    if (!(excess > 0.0f) || !(m_gravityMagnitude > 0.0f)) return;
    // Only the upper body moves: sharing the move pressed the lower body of a stack
    // into its own support every step, and a pyramid shook itself apart.
    float along = RbDot(contact.normal, m_gravityDirection);
    RbBody* upper = along >= 0.0f ? contact.bodyB : contact.bodyA;
    if (!upper || !upper->rigid) return;
    RbRigidBody* body = static_cast<RbRigidBody*>(upper);
    if (!(body->inverseMass > 0.0f)) return;
    RbVector move = contact.normal * (upper == contact.bodyA ? excess : -excess);
    RbSetRow(body->transform, 3, body->GetPosition() + move);
    body->pushedThis = 1;
}

void RbSimulator::PushApart(RbContact& contact, bool level) {
    RbBody* a = contact.bodyA;
    RbBody* b = contact.bodyB;
    RbRigidBody* ra = (a && a->rigid) ? static_cast<RbRigidBody*>(a) : nullptr;
    RbRigidBody* rbB = (b && b->rigid) ? static_cast<RbRigidBody*>(b) : nullptr;
    RbVector move = contact.normal * contact.depth;
    // Two bodies side by side are moved apart across gravity only: the share along
    // it pressed a resting body, which no terrain test looks at again, a little
    // deeper into the ground every step until it was under it.
    if (level) move -= m_gravityDirection * RbDot(move, m_gravityDirection);
    // Shares by inverse mass (m_B / (m_A + m_B) for finite masses); an immovable
    // body is never moved.
    float ia = ra ? ra->inverseMass : 0.0f;
    float ib = rbB ? rbB->inverseMass : 0.0f;
    float sum = ia + ib;
    if (!(sum > 0.0f)) return;
    if (ra && ia > 0.0f) {
        RbSetRow(ra->transform, 3, ra->GetPosition() + move * (ia / sum));
        ra->pushedThis = 1;
    }
    if (rbB && ib > 0.0f) {
        RbSetRow(rbB->transform, 3, rbB->GetPosition() - move * (ib / sum));
        rbB->pushedThis = 1;
    }
}

void RbSimulator::FillCollisionInfo(RbCollisionInfo& info, RbBody* a, void* b, int typeB, const RbContact& contact) {
    info.bodyA = a;
    info.bodyB = b;
    info.typeA = a->rigid ? 1 : 2;
    info.typeB = typeB;
    info.geometryA = contact.geometryA;
    info.geometryB = typeB == 0 ? nullptr : contact.geometryB;
    info.materialA = contact.materialA;
    info.materialB = contact.materialB;
    info.pointALocal = contact.axisA;
    info.pointBLocal = contact.axisB;
    info.pointAWorld = contact.pointA;
    info.pointBWorld = contact.pointB;
    info.relativeVelocity = contact.relVelocity;
    info.normal = contact.normal;
}

static bool UsableNormal(const RbVector& n) {
    if (!RbIsFinite(n)) return false;
    return !(std::fabs(n.x) < 1e-6f && std::fabs(n.y) < 1e-6f && std::fabs(n.z) < 1e-6f);
}

static bool RestingUnpushed(const RbBody* body) {
    if (!body->rigid) return false;
    const RbRigidBody* rb = static_cast<const RbRigidBody*>(body);
    return rb->restStatus == 1 && !rb->pushedPrevious;
}

void RbSimulator::CheckPairCollisions() {
    // The pair list is copied first: a callback may deactivate a body, which
    // returns its pair records at once (records are only taken by the update).
    m_pairWalk.Clear();
    for (RbOverlapPair* p = m_broadPhase.FirstPair(); p; p = p->next) m_pairWalk.Push(p);
    for (int i = 0; i < m_pairWalk.Size(); ++i) {
        RbOverlapPair* pair = m_pairWalk[i];
        if (!pair->inUse) continue;
        RbBody* a = pair->bodyA;
        RbBody* b = pair->bodyB;
        if (!a->rigid && !b->rigid) continue;
        int response = m_response.Get(a->group, b->group);
        if (response == 0) continue;
        if (a->rigid && !b->rigid) {
            if (RestingUnpushed(a) && !b->moved) continue;
        } else if (!a->rigid && b->rigid) {
            if (RestingUnpushed(b) && !a->moved) continue;
        } else {
            RbRigidBody* ra = static_cast<RbRigidBody*>(a);
            RbRigidBody* rb = static_cast<RbRigidBody*>(b);
            if (!a->constraintSet || a->constraintSet != b->constraintSet) {
                if (RestingUnpushed(a) && RestingUnpushed(b)) continue;
            } else {
                if (!(a->sameSetContact && b->sameSetContact)) continue;
                if (ra->restStatus == 1 && rb->restStatus == 1) continue;
            }
        }
        RbContact contact;
        m_keptAxis = &pair->axis;
        CollideBodies(contact, a, b, b->smoothedMotion - a->smoothedMotion);
        m_keptAxis = nullptr;
        if (a->rigid && a->sensors) TestSensors(a, b);
        if (b->rigid && b->sensors) TestSensors(b, a);
        if (!contact.collided) continue;
        contact.bodyA = a;
        contact.bodyB = b;
        contact.relVelocity = a->GetVelocityAtPoint(contact.offsetA) - b->GetVelocityAtPoint(contact.offsetB);
        if ((response & 1) && UsableNormal(contact.normal)) RegisterContact(a, b, contact);
        if ((response & 2) && m_collisionCallback) {
            FillCollisionInfo(m_pairInfo, a, b, b->rigid ? 1 : 2, contact);
            m_collisionCallback(&m_pairInfo);
        }
    }
}

// ---------------------------------------------------------------- fast bodies and the terrain

// The triangles are one-sided: once a body's centre has passed behind a surface
// between two steps, no test sees it again, and a box landing at 60 m/s (a metre a
// step) fell through flat ground. A body whose step is longer than its box's least
// half size may do that, and is followed along its path in steps of half that
// size, which keep its centre in front of any surface it touches at one of the
// poses looked at.
float RbSimulator::SweepSpacing(const RbBody* body) {
    if (body->geometryCount == 0) return 0.0f;
    const float* half = body->bounds.params;
    float least = std::min(half[0], std::min(half[1], half[2]));
    return least > 0.0f ? 0.5f * least : 0.0f;
}

void RbSimulator::SweepToTerrain(RbContact& out, RbRigidBody* body, const RbVector& motion, float spacing,
                                 const RbVector& hint) {
    const RbGeometry& mesh = m_terrainShape;
    if (!mesh.meshCandidates || !mesh.meshTriangles || !mesh.meshVertices) return;
    // The earliest share of the step at which the body's box reaches the plane of a
    // candidate it moves towards; none reached, nothing to look for.
    RbVector axes[3];
    for (int k = 0; k < 3; ++k) axes[k] = RbRotate(body->transform, body->scaledAxes[k]);
    RbVector centre = RbTransformPoint(body->transform, body->centre);
    float first = 2.0f;
    for (int i = 0; i < mesh.meshCandidateCount; ++i) {
        int index = mesh.meshCandidates[i];
        if (index < 0 || index >= mesh.meshTriangleCount) continue;
        const RbTriangle& t = mesh.meshTriangles[index];
        if (t.vertex[0] < 0 || t.vertex[1] < 0 || t.vertex[2] < 0) continue;
        const RbVector& a = mesh.meshVertices[t.vertex[0]];
        RbVector n = RbCross(mesh.meshVertices[t.vertex[1]] - a, mesh.meshVertices[t.vertex[2]] - a);
        float length = RbLength(n);
        if (!(length > 1e-12f)) continue;
        n = n * (1.0f / length);
        float approach = -RbDot(n, motion);
        float height = RbDot(n, centre - a);
        // Moving away from it, or already behind it.
        if (!(approach > 0.0f) || height < 0.0f) continue;
        float gap =
            height - (std::fabs(RbDot(axes[0], n)) + std::fabs(RbDot(axes[1], n)) + std::fabs(RbDot(axes[2], n)));
        if (gap >= approach) continue;
        first = std::min(first, gap > 0.0f ? gap / approach : 0.0f);
    }
    if (first > 1.0f) return;

    const RbVector start = body->GetPosition();
    const float travel = RbLength(motion);
    // At most 32 poses however fast the body goes.
    float share = std::max(spacing / travel, (1.0f - first) / 32.0f);
    float previous = first;
    RbContact found;
    for (float at = first;; at += share) {
        if (at > 1.0f) at = 1.0f;
        RbSetRow(body->transform, 3, start + motion * at);
        CollideBodies(found, body, &m_terrainBody, hint);
        if (found.collided) {
            // Back to where the first touch began, moving only along the contact
            // normal so that the body's travel along the surface stays its own.
            const float keptDepth = 0.005f;
            float approach = -RbDot(found.normal, motion);
            float touch = at;
            if (approach > 0.0f) touch = std::max(previous, at - (found.depth - keptDepth) / approach);
            RbSetRow(body->transform, 3, start + found.normal * (RbDot(found.normal, motion) * touch));
            CollideBodies(out, body, &m_terrainBody, hint);
            if (!out.collided) {
                RbSetRow(body->transform, 3, start + motion * at);
                out = found;
            }
            body->pushedThis = 1;
            return;
        }
        if (at >= 1.0f) break;
        previous = at;
    }
    RbSetRow(body->transform, 3, start);
}

void RbSimulator::KeepAboveLanding(RbRigidBody* body) {
    // One contact point a step cannot stop a fast body that lands on a corner: the
    // row turns it about that corner while its centre goes on down, a third of a
    // metre a step at 20 m/s, and from 60 m/s the centre ended behind the surface
    // it had just met. The rest of the body's fall is stopped where it stands.
    const RbVector& n = body->landingNormal;
    float height = RbDot(n, body->GetPosition() - body->landingPoint);
    if (!(height < body->landingClearance)) return;
    RbSetRow(body->transform, 3, body->GetPosition() + n * (body->landingClearance - height));
    float approach = RbDot(body->velocity, n);
    if (approach < 0.0f) body->velocity -= n * approach;
}

void RbSimulator::CheckTerrainCollisions() {
    m_terrainBody.transform = RbMatrix{};
    m_walk.Clear();
    SnapshotList(m_lists[0][0]);
    SnapshotList(m_lists[2][0]);
    for (int i = 0; i < m_walk.Size(); ++i) {
        RbRigidBody* body = static_cast<RbRigidBody*>(m_walk[i]);
        if (!body->active) continue;
        if (body->restStatus == 1 && !body->pushedPrevious) continue;
        RbVector hint = -body->smoothedMotion;
        // Where the body may go this step: a fast one is looked for along its path.
        RbVector motion = body->velocity * m_step + m_gravity * (m_step * m_step);
        float spacing = SweepSpacing(body);
        bool fast = spacing > 0.0f && RbIsFinite(motion) && RbLengthSq(motion) > 4.0f * spacing * spacing;
        RbVector queryMin = body->worldMin;
        RbVector queryMax = body->worldMax;
        if (fast) {
            for (int k = 0; k < 3; ++k) {
                float m = RbComp(motion, k);
                RbSetComp(m < 0.0f ? queryMin : queryMax, k, RbComp(m < 0.0f ? queryMin : queryMax, k) + m);
            }
        }
        if (!m_terrainQuery) {
            m_terrainNodes.Clear();
            m_terrainTree.Query(m_terrainNodes, queryMin, queryMax);
            if (m_terrainNodes.Size() == 0) continue;
            m_terrainCandidates.Clear();
            const int32_t* indices = m_terrainTree.TriangleIndices();
            for (int n = 0; n < m_terrainNodes.Size(); ++n) {
                const RbTerrainTreeNode* node = m_terrainNodes[n];
                for (int t = 0; t < node->triangleCount; ++t) {
                    int index = indices[node->firstTriangle + t];
                    bool seen = false;
                    for (int c = 0; c < m_terrainCandidates.Size() && !seen; ++c)
                        seen = m_terrainCandidates[c] == index;
                    if (!seen) m_terrainCandidates.Push(index);
                }
            }
            m_terrainShape.SetTriangleMesh(m_terrainCandidates.Data(), m_terrainCandidates.Size(),
                                           m_terrainTree.Triangles(), m_terrainTree.TriangleCount(),
                                           m_terrainTree.Vertices());
        } else {
            const int* candidates = nullptr;
            const RbTriangle* triangles = nullptr;
            const RbVector* vertices = nullptr;
            int candidateCount = 0;
            int triangleCount = 0;
            RbVector boxMin = queryMin;
            RbVector boxMax = queryMax;
            m_terrainQuery(&boxMin, &boxMax, &candidates, &triangles, &vertices, &candidateCount, &triangleCount, body);
            if (!candidates || !triangles || !vertices) candidateCount = 0;
            m_terrainShape.SetTriangleMesh(candidates, candidateCount, triangles, triangleCount, vertices);
        }
        ReportTimerStage(RbStageTerrainQuery);
        // Nothing answered (a body high above the ground, or beside it): nothing
        // to test, for the shapes, the sensors or the path alike.
        if (m_terrainShape.meshCandidateCount <= 0) {
            m_terrainShape.SetTriangleMesh(nullptr, 0, nullptr, 0, nullptr);
            continue;
        }

        RbContact contact;
        if (body->active) {
            CollideBodies(contact, body, &m_terrainBody, hint);
            if (body->sensors) TestSensors(body, &m_terrainBody);
            if (!contact.collided && fast) SweepToTerrain(contact, body, motion, spacing, hint);
        }
        if (contact.collided) {
            contact.bodyA = body;
            contact.bodyB = &m_terrainBody;
            contact.relVelocity = body->GetVelocityAtPoint(contact.offsetA);
            int response = m_response.Get(body->group, -1);
            if ((response & 1) && UsableNormal(contact.normal)) {
                RegisterContact(body, &m_terrainBody, contact);
                if (fast) {
                    body->landing = 1;
                    body->landingPoint = contact.pointB;
                    body->landingNormal = contact.normal;
                    body->landingClearance = spacing;
                }
            }
            if ((response & 2) && m_collisionCallback) {
                FillCollisionInfo(m_terrainInfo, body, contact.geometryB, 0, contact);
                m_collisionCallback(&m_terrainInfo);
            }
        }
        // The answer's arrays stay the caller's; nothing keeps them past the test.
        m_terrainShape.SetTriangleMesh(nullptr, 0, nullptr, 0, nullptr);
    }
    for (int k : {0, 2}) {
        for (RbBody* b = m_lists[k][0].head; b; b = b->listNext) {
            RbRigidBody* rb = static_cast<RbRigidBody*>(b);
            rb->pushedPrevious = rb->pushedThis;
            rb->pushedThis = 0;
        }
    }
}
