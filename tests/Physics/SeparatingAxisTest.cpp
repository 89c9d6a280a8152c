// The axis a pair record keeps from the step before: whatever it holds, a pair
// test gives the same answer as without it, and a record taken for a new pair
// holds nothing of the pair that had it before.

#include "Physics/RbCollide.h"
#include "PhysicsTestSupport.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

namespace {

RbGeometry BoxShape(float sx, float sy, float sz) {
    RbGeometry g;
    g.SetDefaults();
    g.SetBox(sx, sy, sz);
    return g;
}

// A small fixed-seed generator: the same poses on every run.
struct Lcg {
    uint32_t state = 12345u;
    float Next(float low, float high) {
        state = state * 1664525u + 1013904223u;
        return low + (high - low) * static_cast<float>(state >> 8) / 16777216.0f;
    }
    RbMatrix Pose(float reach) {
        RbVector axis = RbVec(Next(-1, 1), Next(-1, 1), Next(-1, 1));
        if (RbLengthSq(axis) < 1e-4f) axis = RbVec(0, 0, 1);
        axis = RbNormalize(axis);
        return ::Pose(AxisAngle(axis, Next(-3.1f, 3.1f)), Next(-reach, reach), Next(-reach, reach),
                      Next(-reach, reach));
    }
};

bool SameBits(const RbContact& a, const RbContact& b) {
    auto same = [](const RbVector& x, const RbVector& y) {
        return std::memcmp(&x.x, &y.x, sizeof(float)) == 0 && std::memcmp(&x.y, &y.y, sizeof(float)) == 0 &&
               std::memcmp(&x.z, &y.z, sizeof(float)) == 0;
    };
    if (a.collided != b.collided) return false;
    if (!a.collided) return true;
    return std::memcmp(&a.depth, &b.depth, sizeof(float)) == 0 && same(a.normal, b.normal) &&
           same(a.offsetA, b.offsetA) && same(a.offsetB, b.offsetB);
}

} // namespace

TEST(KeptAxis, BoxPairAnswersTheSameWhateverAxisIsKept) {
    // Boxes of unlike sizes at random poses, about half of them touching; every
    // kept axis (none, each face and each edge pair) gives the same bits.
    RbGeometry a = BoxShape(0.5f, 0.3f, 0.2f);
    RbGeometry b = BoxShape(0.4f, 0.4f, 0.25f);
    Lcg random;
    int touching = 0, apart = 0;
    for (int n = 0; n < 400; ++n) {
        RbMatrix ta = random.Pose(0.6f), tb = random.Pose(0.6f);
        RbContact expected;
        RbTestBoxBox(expected, a, ta, b, tb);
        (expected.collided ? touching : apart) += 1;
        for (int kind = RbSeparatingAxis::None; kind < 15; ++kind) {
            RbSeparatingAxis kept;
            kept.kind = kind;
            RbContact got;
            RbTestBoxBox(got, a, ta, b, tb, &kept);
            ASSERT_TRUE(SameBits(got, expected)) << "pose " << n << " kept axis " << kind;
            // Touching keeps nothing; apart keeps the axis that parts them, which
            // alone then answers.
            if (expected.collided) {
                EXPECT_EQ(kept.kind, RbSeparatingAxis::None);
            } else {
                ASSERT_GE(kept.kind, 0);
                ASSERT_LT(kept.kind, 15);
                RbContact again;
                RbTestBoxBox(again, a, ta, b, tb, &kept);
                EXPECT_EQ(again.collided, 0);
            }
        }
    }
    EXPECT_GT(touching, 50);
    EXPECT_GT(apart, 50);
}

TEST(KeptAxis, HullPairAnswersTheSameWhateverDirectionIsKept) {
    RbSimulatorPtr sim = MakeSimulator();
    std::vector<RbVector> prism;
    for (float z : {-0.3f, 0.3f})
        for (int i = 0; i < 6; ++i)
            prism.push_back(RbVec(0.45f * std::cos(1.0471976f * i), 0.45f * std::sin(1.0471976f * i), z));
    RbConvexHull* hull = sim->CreateConvexHull(prism.data(), static_cast<int>(prism.size()));
    ASSERT_NE(hull, nullptr);
    RbGeometry hullShape;
    hullShape.SetDefaults();
    ASSERT_TRUE(hullShape.SetConvexHull(hull));
    RbGeometry box = BoxShape(0.4f, 0.3f, 0.2f);
    Lcg random;
    int touching = 0, apart = 0;
    for (int n = 0; n < 300; ++n) {
        RbMatrix ta = random.Pose(0.6f), tb = random.Pose(0.6f);
        RbGeometry* first = n % 2 ? &box : &hullShape;
        RbContact expected;
        sim->CollideConvex(expected, first, ta, &hullShape, tb);
        (expected.collided ? touching : apart) += 1;
        // No direction kept, a random one, and each world axis.
        RbVector directions[] = {RbVec(random.Next(-1, 1), random.Next(-1, 1), random.Next(-1, 1)), RbVec(1, 0, 0),
                                 RbVec(0, 1, 0), RbVec(0, 0, 1)};
        for (int k = -1; k < 4; ++k) {
            RbSeparatingAxis kept;
            if (k >= 0) {
                kept.kind = RbSeparatingAxis::Direction;
                kept.direction = directions[k];
            }
            RbContact got;
            sim->CollideConvex(got, first, ta, &hullShape, tb, &kept);
            ASSERT_TRUE(SameBits(got, expected)) << "pose " << n << " kept direction " << k;
            EXPECT_EQ(kept.kind, expected.collided ? RbSeparatingAxis::None : RbSeparatingAxis::Direction);
        }
    }
    EXPECT_GT(touching, 30);
    EXPECT_GT(apart, 30);
}

TEST(KeptAxis, APairRecordTakenAgainKeepsNothingOfTheFreedBody) {
    // No gravity: the bodies stay where they are put.
    RbSimulatorPtr sim = MakeSimulator(RbSimulatorSizes{}, 0.0f);
    RbRigidBody* a = MakeBoxBody(sim.get(), 1, 1, 1, RbVec(0, 0, 0));
    // Turned a quarter about z and set off along the diagonal: the world boxes
    // overlap, the boxes do not.
    RbRigidBody* b = MakeBoxBody(sim.get(), 1, 1, 1, RbVec(0.9f, 0.9f, 0));
    b->SetRotation(AxisAngle(RbVec(0, 0, 1), 0.78539816f));
    b->UpdateBounds();
    sim->Advance(kStep, 1, nullptr);
    RbOverlapPair* pair = sim->GetBroadPhase().GetPair(a, b);
    ASSERT_NE(pair, nullptr);
    EXPECT_GE(pair->axis.kind, 0);
    EXPECT_LT(pair->axis.kind, 15);

    // Freed between steps: a body put in its place, touching the first box, gets
    // a record with no axis in it, and its contact is found.
    sim->FreeBody(b);
    RbRigidBody* c = MakeBoxBody(sim.get(), 1, 1, 1, RbVec(0.9f, 0.9f, 0));
    sim->GetBroadPhase().Update();
    RbOverlapPair* fresh = sim->GetBroadPhase().GetPair(a, c);
    ASSERT_NE(fresh, nullptr);
    EXPECT_EQ(fresh->axis.kind, RbSeparatingAxis::None);
    RbVector before = c->GetPosition();
    sim->Advance(kStep, 1, nullptr);
    fresh = sim->GetBroadPhase().GetPair(a, c);
    ASSERT_NE(fresh, nullptr);
    EXPECT_EQ(fresh->axis.kind, RbSeparatingAxis::None);
    // The overlap pushed the two apart.
    EXPECT_GT(RbLengthSq(c->GetPosition() - before), 0.0f);
}

TEST(HullTriangle, ContactPointsFaceEachOtherAcrossTheDepth) {
    // A prism has parallel edges, which give the same axis and depth against a
    // triangle's edge; the pair that touches must give the points, not the first
    // of them in the table (that one put the points up to a metre apart).
    RbSimulatorPtr sim = MakeSimulator();
    std::vector<RbVector> prism;
    for (float z : {-0.3f, 0.3f})
        for (int i = 0; i < 6; ++i)
            prism.push_back(RbVec(0.45f * std::cos(1.0471976f * i), 0.45f * std::sin(1.0471976f * i), z));
    RbConvexHull* hull = sim->CreateConvexHull(prism.data(), static_cast<int>(prism.size()));
    ASSERT_NE(hull, nullptr);
    RbGeometry shape;
    shape.SetDefaults();
    ASSERT_TRUE(shape.SetConvexHull(hull));
    Lcg random;
    int touching = 0;
    for (int n = 0; n < 3000; ++n) {
        RbMatrix t = random.Pose(0.5f);
        RbVector v[3];
        for (RbVector& p : v) p = RbVec(random.Next(-1, 1), random.Next(-1, 1), random.Next(-0.2f, 0.2f));
        RbContact c;
        sim->CollideConvexTriangle(c, &shape, t, v[0], v[1], v[2]);
        if (!c.collided) continue;
        ++touching;
        RbVector d = c.offsetA - c.offsetB;
        float along = RbDot(d, c.normal);
        float across = std::sqrt(std::max(0.0f, RbLengthSq(d) - along * along));
        ASSERT_LT(across, 1e-3f) << "pose " << n;
        ASSERT_NEAR(-along, c.depth, 1e-3f) << "pose " << n;
    }
    EXPECT_GT(touching, 1000);
}
