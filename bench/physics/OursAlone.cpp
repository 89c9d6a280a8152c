// S10: scenes only our engine runs, built on its own interface: joints (the common
// engine face has none), a box woken by another landing on it, and one hull
// settling on the ground. Each reports the figures the engine's behaviour is
// judged by, next to the step cost.

#include "Scenes.h"

#include "Physics/RbSimulator.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

namespace bench {

namespace {

const char* const kScene = "S10 joints, waking, one hull";
const float kDt = 1.0f / 60.0f;
const float kPi = 3.14159265f;

// Flat ground of two large triangles, answered whole to every terrain query.
void AnswerFlatGround(const RbVector*, const RbVector*, const int** candidates, const RbTriangle** triangles,
                      const RbVector** vertices, int* candidateCount, int* triangleCount, RbRigidBody*) {
    static const RbVector corners[4] = {RbVec(-50, -50, 0), RbVec(50, -50, 0), RbVec(50, 50, 0), RbVec(-50, 50, 0)};
    static RbTriangle halves[2];
    static const int both[2] = {0, 1};
    halves[0].vertex[0] = 0, halves[0].vertex[1] = 1, halves[0].vertex[2] = 2;
    halves[1].vertex[0] = 0, halves[1].vertex[1] = 2, halves[1].vertex[2] = 3;
    *candidates = both;
    *triangles = halves;
    *vertices = corners;
    *candidateCount = 2;
    *triangleCount = 2;
}

// One world with the engine's default pool sizes and z-up gravity, its steps timed.
class Run {
public:
    Run() {
        RbSimulatorSizes sizes;
        RbVector gravity = RbVec(0.0f, 0.0f, -9.8f);
        sim = RbSimulator::Create(&sizes, nullptr, &gravity);
    }
    ~Run() { RbSimulator::Destroy(sim); }
    Run(const Run&) = delete;
    Run& operator=(const Run&) = delete;

    void Step() {
        auto t0 = std::chrono::steady_clock::now();
        sim->Advance(kDt, 1, nullptr);
        auto t1 = std::chrono::steady_clock::now();
        ns.push_back(static_cast<double>(std::chrono::duration_cast<std::chrono::nanoseconds>(t1 - t0).count()));
    }

    RbRigidBody* Box(float sx, float sy, float sz, const RbVector& position) {
        RbRigidBody* body = sim->NewRigidBody();
        body->AttachGeometry()->SetBoxDimensions(sx, sy, sz);
        body->UpdateBounds();
        body->SetMass(1.0f);
        body->SetBodyInertia(RbBoxInertiaFromSizes(sx, sy, sz, 1.0f));
        body->SetPosition(position);
        body->UpdateBounds();
        return body;
    }

    Row Finish(const char* variant) const {
        Row row;
        row.scene = kScene;
        row.variant = variant;
        row.engine = "ours";
        row.setting = "engine";
        row.bodies = sim->GetSizes().rigidBodiesCount - sim->FreeRigidBodies();
        FillTiming(row, ns);
        row.nanCount = 0;
        row.fellThrough = 0;
        return row;
    }

    RbSimulator* sim = nullptr;
    std::vector<double> ns;
};

RbQuaternion AboutY(float angle) { return RbQuaternion{0.0f, std::sin(angle / 2.0f), 0.0f, std::cos(angle / 2.0f)}; }

// A 0.2 m box on a hinge about the world y axis through the origin, at length 1
// and angle phi (a turn about +y from the +x direction).
struct Pendulum {
    RbRigidBody* bob = nullptr;
    RbJoint* joint = nullptr;
};
Pendulum MakePendulum(Run& run, float phi) {
    Pendulum p;
    p.bob = run.Box(0.2f, 0.2f, 0.2f, RbVec(std::cos(phi), 0, -std::sin(phi)));
    p.bob->SetRotation(AboutY(phi));
    p.bob->UpdateBounds();
    p.joint = run.sim->NewJoint(p.bob, nullptr);
    RbVector world[2] = {RbVec(0, -0.2f, 0), RbVec(0, 0.2f, 0)};
    RbVector local[2];
    for (int i = 0; i < 2; ++i) local[i] = RbInverseTransformPoint(p.bob->GetTransform(), world[i]);
    p.joint->SetAnchors(2, local, world);
    p.joint->SetFrames(RbMatrix{}, RbMatrix{});
    p.joint->Enable(true);
    RbConstraintSet* set = run.sim->NewConstraintSet();
    set->AddJoint(p.joint);
    set->AddBody(p.bob);
    return p;
}

float SwingAngle(const RbRigidBody* bob) {
    RbVector p = bob->GetPosition();
    return std::atan2(-p.z, p.x);
}

float Distance(const RbVector& a, const RbVector& b) { return std::sqrt(RbLengthSq(a - b)); }

bool AllResting(std::initializer_list<const RbRigidBody*> bodies) {
    for (const RbRigidBody* b : bodies)
        if (!b->IsResting()) return false;
    return true;
}

std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string Format(const char* format, ...) {
    char text[256];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof(text), format, args);
    va_end(args);
    return text;
}

// Released 0.15 rad from the bottom: the period against the physical pendulum's
// (the bob's own inertia adds to m L^2), and how far the length strays.
Row PendulumPeriod() {
    Run run;
    Pendulum p = MakePendulum(run, kPi / 2 - 0.15f);
    float longest = 0.0f, shortest = 10.0f;
    std::vector<float> crossings;
    float previous = SwingAngle(p.bob) - kPi / 2;
    for (int i = 0; i < 600; ++i) {
        run.Step();
        float length = std::sqrt(RbLengthSq(p.bob->GetPosition()));
        longest = std::max(longest, length);
        shortest = std::min(shortest, length);
        float now = SwingAngle(p.bob) - kPi / 2;
        if ((previous < 0.0f) != (now < 0.0f)) crossings.push_back((i + previous / (previous - now)) * kDt);
        previous = now;
    }
    float period = crossings.size() < 2
                       ? 0.0f
                       : 2.0f * (crossings.back() - crossings.front()) / static_cast<float>(crossings.size() - 1);
    float expected = 2.0f * kPi * std::sqrt((RbBoxInertiaFromSizes(0.2f, 0.2f, 0.2f, 1.0f).y + 1.0f) / 9.8f);
    Row row = run.Finish("pendulum from 0.15 rad");
    row.notes = Format("period=%.4fs analytic=%.4fs error=%.2f%% length=%.4f..%.4fm", period, expected,
                       100.0f * (period - expected) / expected, shortest, longest);
    return row;
}

// Released 0.3 rad below the horizontal with a hinge limit at 1.0 rad: how far
// the swing overshoots the limit and where it settles.
Row HingeLimit() {
    Run run;
    Pendulum p = MakePendulum(run, 0.3f);
    p.joint->SetLimit(true, 0.1f, 1.0f);
    float furthest = 0.0f;
    for (int i = 0; i < 300; ++i) {
        run.Step();
        furthest = std::max(furthest, SwingAngle(p.bob));
    }
    Row row = run.Finish("hinge limit 1.0 rad");
    row.notes = Format("furthest=%.4frad settled=%.4frad joint angle=%.4frad", furthest, SwingAngle(p.bob),
                       p.joint->GetAngle());
    return row;
}

// Five 0.5 m links on ball joints, released horizontal with joint damping: the
// widest a joint opens while it swings down, and where it comes to hang.
Row Chain() {
    Run run;
    RbConstraintSet* set = run.sim->NewConstraintSet();
    std::vector<RbRigidBody*> links;
    RbBody* previous = nullptr;
    for (int i = 0; i < 5; ++i) {
        RbRigidBody* link = run.Box(0.5f, 0.1f, 0.1f, RbVec(0.25f + 0.5f * i, 0, 0));
        RbJoint* joint = run.sim->NewJoint(link, previous);
        RbVector onLink = RbVec(-0.25f, 0, 0);
        RbVector onPrevious = previous ? RbVec(0.25f, 0, 0) : RbVec(0, 0, 0);
        joint->SetAnchors(1, &onLink, &onPrevious);
        joint->SetDamping(3.0f);
        joint->Enable(true);
        set->AddJoint(joint);
        set->AddBody(link);
        links.push_back(link);
        previous = link;
    }
    float worstGap = 0.0f;
    for (int i = 0; i < 3600; ++i) {
        run.Step();
        for (int k = 1; k < 5; ++k)
            worstGap = std::max(worstGap, Distance(RbTransformPoint(links[k - 1]->GetTransform(), RbVec(0.25f, 0, 0)),
                                                   RbTransformPoint(links[k]->GetTransform(), RbVec(-0.25f, 0, 0))));
    }
    float fastest = 0.0f;
    for (RbRigidBody* link : links) fastest = std::max(fastest, std::sqrt(RbLengthSq(link->GetVelocity())));
    RbVector tip = RbTransformPoint(links.back()->GetTransform(), RbVec(0.25f, 0, 0));
    Row row = run.Finish("chain of five, 60 s");
    row.notes = Format("worst joint gap=%.1fmm tip=(%.3f, %.3f)m analytic=(0.000, -2.500)m fastest link=%.4fm/s",
                       worstGap * 1000.0f, tip.x, tip.z, fastest);
    return row;
}

// A damped pendulum goes to sleep with its set.
Row DampedPendulum() {
    Run run;
    Pendulum p = MakePendulum(run, kPi / 2 - 0.2f);
    p.joint->SetDamping(0.5f);
    int slept = -1;
    for (int i = 0; i < 1200 && slept < 0; ++i) {
        run.Step();
        if (p.bob->IsResting()) slept = i + 1;
    }
    Row row = run.Finish("damped pendulum");
    row.stepsToSleep = slept;
    return row;
}

// Three boxes stacked on the ground, the lower two on a ball joint at the face
// they share: the stack sleeps, a box thrown at its top wakes it, and it sleeps
// again; the joint's widest gap throughout.
Row JointedStack() {
    Run run;
    run.sim->SetTerrainQuery(AnswerFlatGround);
    RbRigidBody* bottom = run.Box(1, 1, 1, RbVec(0, 0, 0.5f));
    RbRigidBody* middle = run.Box(1, 1, 1, RbVec(0, 0, 1.5f));
    RbRigidBody* top = run.Box(1, 1, 1, RbVec(0, 0, 2.5f));
    RbJoint* joint = run.sim->NewJoint(middle, bottom);
    RbVector onMiddle = RbVec(0, 0, -0.5f), onBottom = RbVec(0, 0, 0.5f);
    joint->SetAnchors(1, &onMiddle, &onBottom);
    joint->Enable(true);
    RbConstraintSet* set = run.sim->NewConstraintSet();
    set->AddJoint(joint);
    set->AddBody(middle);
    set->AddBody(bottom);
    middle->sameSetContact = 1;
    bottom->sameSetContact = 1;
    auto gap = [&] {
        return Distance(RbTransformPoint(middle->GetTransform(), onMiddle),
                        RbTransformPoint(bottom->GetTransform(), onBottom));
    };
    int slept = -1;
    for (int i = 0; i < 900 && slept < 0; ++i) {
        run.Step();
        if (AllResting({bottom, middle, top})) slept = i + 1;
    }
    for (int i = 0; i < 60; ++i) run.Step();
    RbRigidBody* thrown = run.Box(0.5f, 0.5f, 0.5f, RbVec(-1.5f, 0, 2.7f));
    thrown->SetVelocity(RbVec(3, 0, 0));
    bool pairWoke = false;
    int again = -1;
    float worstGap = gap();
    for (int i = 0; i < 1800 && again < 0; ++i) {
        run.Step();
        pairWoke = pairWoke || (!middle->IsResting() && !bottom->IsResting());
        worstGap = std::max(worstGap, gap());
        if (pairWoke && AllResting({bottom, middle, top})) again = i + 1;
    }
    Row row = run.Finish("jointed stack of three, hit");
    row.stepsToSleep = slept;
    row.notes = Format("pair woke=%s asleep again %d steps after the hit; worst joint gap=%.1fmm",
                       pairWoke ? "yes" : "no", again, worstGap * 1000.0f);
    return row;
}

// A unit box dropped from 2 m: when it lands, when it sleeps and how deep it
// rests; then a second box lands on it and both must sleep again.
Row DroppedBoxHit() {
    Run run;
    run.sim->SetTerrainQuery(AnswerFlatGround);
    RbRigidBody* box = run.Box(1, 1, 1, RbVec(0, 0, 2));
    int landed = -1, slept = -1;
    float deepest = 0.0f;
    for (int i = 0; i < 600 && slept < 0; ++i) {
        run.Step();
        if (landed < 0 && box->RestContactCount() > 0) landed = i + 1;
        if (landed >= 0) deepest = std::max(deepest, 0.5f - box->GetPosition().z);
        if (box->IsResting()) slept = i + 1;
    }
    float resting = 0.5f - box->GetPosition().z;
    for (int i = 0; i < 120; ++i) run.Step();
    RbRigidBody* hammer = run.Box(1, 1, 1, box->GetPosition() + RbVec(0, 0, 1.8f));
    bool woke = false;
    int again = -1;
    for (int i = 0; i < 900 && again < 0; ++i) {
        run.Step();
        woke = woke || !box->IsResting();
        if (woke && box->IsResting() && hammer->IsResting()) again = i + 1;
    }
    Row row = run.Finish("dropped box, then hit");
    row.stepsToSleep = slept;
    row.maxPenetrationMm = deepest * 1000.0f;
    row.notes = Format("landed at step %d, rest penetration=%.1fmm; hit box woke=%s, both asleep %d steps after",
                       landed, resting * 1000.0f, woke ? "yes" : "no", again);
    return row;
}

// An octagonal prism hull dropped tilted from 1 m settles on a flat face.
Row HullOnGround() {
    Run run;
    run.sim->SetTerrainQuery(AnswerFlatGround);
    std::vector<RbVector> points;
    for (int i = 0; i < 8; ++i) {
        float a = 0.785398f * i + 0.3f;
        points.push_back(RbVec(0.6f * std::cos(a), 0.6f * std::sin(a), 0.25f));
        points.push_back(RbVec(0.6f * std::cos(a), 0.6f * std::sin(a), -0.25f));
    }
    RbConvexHull* hull = run.sim->CreateConvexHull(points.data(), static_cast<int>(points.size()));
    RbRigidBody* body = run.sim->NewRigidBody();
    body->AttachGeometry()->SetConvexHull(hull);
    body->UpdateBounds();
    body->SetBodyInertia(RbBoxInertiaFromSizes(1.2f, 1.2f, 0.5f, 1.0f));
    body->SetPosition(RbVec(0, 0, 1.0f));
    body->SetRotation(RbQuaternion{std::sin(0.1f), 0.0f, 0.0f, std::cos(0.1f)});
    body->UpdateBounds();
    int slept = -1;
    for (int i = 0; i < 900 && slept < 0; ++i) {
        run.Step();
        if (body->IsResting()) slept = i + 1;
    }
    Row row = run.Finish("octagonal hull from 1 m");
    row.stepsToSleep = slept;
    row.tiltDeg = std::acos(std::min(1.0f, RbRow(body->GetTransform(), 2).z)) * 180.0f / kPi;
    row.notes = Format("height=%.4fm analytic=0.2500m", body->GetPosition().z);
    return row;
}

} // namespace

std::vector<std::function<Row()>> OursAloneRuns() {
    return {PendulumPeriod, HingeLimit, Chain, DampedPendulum, JointedStack, DroppedBoxHit, HullOnGround};
}

} // namespace bench
