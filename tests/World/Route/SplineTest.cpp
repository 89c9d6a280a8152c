// Route splines: the curve and its length measure, cutting into pieces that form a ring, the
// point at a distance with its wraps, the nearby, closest and distance-at-point searches, the
// terrain snap, the record reader against bad bytes, and the empty spline.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "Framework/PFileReader.h"
#include "Framework/PMMObject.h"
#include "Render/PRenderObject.h"
#include "World/PSpline.h"
#include "World/WorldTestSupport.h"
#include "support/Near.h"
#include "support/TempDir.h"

namespace {

using kxtest::Near;

constexpr float kPi = 3.14159265358979f;

BezierSegment Segment(const D3DXVECTOR3& p0, const D3DXVECTOR3& p1, const D3DXVECTOR3& p2, const D3DXVECTOR3& p3) {
    BezierSegment s;
    s.p0 = p0;
    s.p1 = p1;
    s.p2 = p2;
    s.p3 = p3;
    return s;
}

// A straight segment with its control points on the chord at a third and two thirds, so the
// curve runs at constant speed: B(t) = a + t (b - a).
BezierSegment Straight(const D3DXVECTOR3& a, const D3DXVECTOR3& b) {
    const D3DXVECTOR3 d = b - a;
    return Segment(a, a + d * (1.0f / 3.0f), a + d * (2.0f / 3.0f), b);
}

CPSmartPtr<CPSpline> MakeSpline(const std::vector<BezierSegment>& segments, const std::string& name = "c_path") {
    CPSmartPtr<CPSpline> spline(new CPSpline());
    EXPECT_TRUE(spline->Build(name, true, segments));
    return spline;
}

// The straight route from (0, 0, 0) to (100, 0, 0): length 90 (the B(0.9) measure), nine
// pieces, the last one wrapping back to x = 4.5.
CPSmartPtr<CPSpline> StraightRoute() { return MakeSpline({Straight({0, 0, 0}, {100, 0, 0})}); }

// Little-endian record bytes as the level file stores them.
class RecordBytes {
public:
    RecordBytes& Int(std::int32_t v) {
        char b[4];
        std::memcpy(b, &v, 4);
        m_bytes.append(b, 4);
        return *this;
    }
    RecordBytes& Float(float v) {
        char b[4];
        std::memcpy(b, &v, 4);
        m_bytes.append(b, 4);
        return *this;
    }
    RecordBytes& String(const std::string& s) {
        Int(static_cast<std::int32_t>(s.size()));
        m_bytes += s;
        return *this;
    }
    RecordBytes& Point(const D3DXVECTOR3& p) { return Float(p.x).Float(p.y).Float(p.z); }
    const std::string& Bytes() const { return m_bytes; }

private:
    std::string m_bytes;
};

class SplineTest : public ::testing::Test {
protected:
    void TearDown() override {
        for (int i = 0; i < 4; ++i) IPMMObject::CollectGarbage();
    }

    std::unique_ptr<CPFileReader> ReaderOver(const std::string& bytes) {
        const std::string name = "data/levels/spline" + std::to_string(m_files++) + ".bin";
        m_root.Write(name, bytes);
        auto reader = std::make_unique<CPFileReader>(name);
        EXPECT_EQ(reader->Load(), S_OK);
        return reader;
    }

    kxtest::TempGameRoot m_root;
    int m_files = 0;
};

// ---- the curve -------------------------------------------------------------------------------

TEST_F(SplineTest, CurveEvaluatesTheCubicAndItsLengthIsTheStraightDistanceToTheCurveAtNineTenths) {
    const BezierSegment s = Segment({0, 0, 0}, {0, 50, 0}, {100, 50, 0}, {100, 0, 0});
    D3DXVECTOR3 p;
    s.Evaluate(0.0f, p);
    EXPECT_TRUE(Near(p, {0, 0, 0}));
    s.Evaluate(1.0f, p);
    EXPECT_TRUE(Near(p, {100, 0, 0}));
    s.Evaluate(0.5f, p);
    EXPECT_TRUE(Near(p, {50, 37.5f, 0}, 1e-4f));

    BezierSegment measured = s;
    measured.ComputeLength();
    // B(0.9) = (97.2, 13.5, 0): shorter than the chord to P3 and far shorter than the arc.
    const double want = std::sqrt(97.2 * 97.2 + 13.5 * 13.5);
    EXPECT_NEAR(measured.length, want, 1e-3);
    EXPECT_LT(measured.length, 100.0f);

    const CPSmartPtr<CPSpline> spline = MakeSpline({s, Straight({100, 0, 0}, {200, 0, 0})});
    EXPECT_NEAR(spline->GetTotalLength(), want + 90.0, 1e-3);
}

TEST_F(SplineTest, PointAtDistanceWalksTheSegmentsAndWrapsAtMostTwiceEachWay) {
    const CPSmartPtr<CPSpline> spline =
        MakeSpline({Straight({0, 0, 0}, {100, 0, 0}), Straight({100, 0, 0}, {100, 100, 0})});
    const float total = spline->GetTotalLength();
    ASSERT_NEAR(total, 180.0f, 1e-3f);

    struct Case {
        const char* name;
        float distance;
        int segment;
        D3DXVECTOR3 point;
    };
    // Distance d inside a segment lies at t = d / 90 of its 100-unit span.
    const Case cases[] = {
        {"start", 0.0f, 0, {0, 0, 0}},
        {"inside the first", 45.0f, 0, {50, 0, 0}},
        {"inside the second", 135.0f, 1, {100, 50, 0}},
        {"past the end wraps", total + 5.0f, 0, {5.0f / 0.9f, 0, 0}},
        {"before the start wraps", -5.0f, 1, {100, 100.0f - 5.0f / 0.9f, 0}},
        {"two lengths past the end", 2.0f * total + 45.0f, 0, {50, 0, 0}},
        {"two lengths before the start", -2.0f * total + 45.0f, 0, {50, 0, 0}},
    };
    for (const Case& c : cases) {
        D3DXVECTOR3 point(-1, -1, -1), direction(-1, -1, -1);
        EXPECT_EQ(spline->GetPointAtDistance(c.distance, point, direction), c.segment) << c.name;
        EXPECT_TRUE(Near(point, c.point, 2e-3f)) << c.name;
    }

    // Beyond two wraps past the end no segment holds the distance: the outputs stay.
    {
        D3DXVECTOR3 point(7, 8, 9), direction(1, 2, 3);
        EXPECT_EQ(spline->GetPointAtDistance(3.0f * total + 5.0f, point, direction), 2);
        EXPECT_TRUE(Near(point, {7, 8, 9}));
        EXPECT_TRUE(Near(direction, {1, 2, 3}));
    }
    // Still before the start after two wraps: the first segment's curve continued backwards.
    {
        D3DXVECTOR3 point(7, 8, 9), direction(1, 2, 3);
        EXPECT_EQ(spline->GetPointAtDistance(-3.0f * total - 5.0f, point, direction), 0);
        EXPECT_LT(point.x, 0.0f);
    }

    // The direction is the unnormalised step to t + 0.1.
    D3DXVECTOR3 point, direction;
    spline->GetPointAtDistance(45.0f, point, direction);
    EXPECT_TRUE(Near(direction, {10, 0, 0}, 1e-3f));
}

// ---- cutting ---------------------------------------------------------------------------------

TEST_F(SplineTest, AStraightRouteIsCutIntoPiecesAlongXThatFormARing) {
    const CPSmartPtr<CPSpline> spline = StraightRoute();
    ASSERT_EQ(spline->GetLineCount(), 9);
    EXPECT_EQ(spline->GetFirstLine(), spline->GetLine(0));
    EXPECT_EQ(spline->GetCurrentLine(), spline->GetFirstLine());
    EXPECT_EQ(spline->GetClassName(), "CPSpline");
    EXPECT_EQ(spline->GetName(), "c_path");
    EXPECT_EQ(spline->GetFirstLine()->GetClassName(), "CPLine");

    for (int i = 0; i < 9; ++i) {
        const CPLine* piece = spline->GetLine(i);
        SCOPED_TRACE(i);
        EXPECT_EQ(piece->index, i);
        EXPECT_FLOAT_EQ(piece->centreDistance, 5.25f + 10.5f * static_cast<float>(i));
        EXPECT_EQ(piece->next, spline->GetLine((i + 1) % 9));
        EXPECT_EQ(piece->previous, spline->GetLine((i + 8) % 9));
        // Distance d lies at x = d / 0.9.
        EXPECT_NEAR(piece->start.x, 10.5f * static_cast<float>(i) / 0.9f, 2e-3f);
        if (i == 8) continue;
        EXPECT_NEAR(piece->heading, kPi, 1e-6f);
        EXPECT_NEAR(piece->normal.x, 0.0f, 1e-6f);
        EXPECT_NEAR(piece->normal.y, -1.0f, 1e-6f);
        EXPECT_NEAR(piece->offset, 0.0f, 1e-6f);
        EXPECT_NEAR(piece->centre.x, (piece->start.x + piece->end.x) / 2.0f, 1e-4f);
        EXPECT_FLOAT_EQ(piece->boxMin.x, piece->start.x);
        EXPECT_FLOAT_EQ(piece->boxMax.x, piece->end.x);
    }
    // The last piece's end wraps to the beginning: 94.5 - 90 = 4.5 units in, and it runs back
    // along -x.
    const CPLine* last = spline->GetLine(8);
    EXPECT_NEAR(last->end.x, 4.5f / 0.9f, 2e-3f);
    EXPECT_NEAR(last->heading, 0.0f, 1e-6f);
    EXPECT_NEAR(last->normal.y, 1.0f, 1e-6f);

    // Without a physics task the snap leaves every height.
    spline->SnapToTerrain();
    EXPECT_EQ(spline->GetLine(3)->centre.z, 0.0f);
}

TEST_F(SplineTest, HeadingsFollowTheDirectionOfEachPiece) {
    struct Case {
        const char* name;
        D3DXVECTOR3 to;
        float heading;
    };
    const Case cases[] = {
        {"+x", {100, 0, 0}, kPi},
        {"+y", {0, 100, 0}, 1.5f * kPi},
        {"-y", {0, -100, 0}, 0.5f * kPi},
        {"+x +y", {100, 100, 0}, 1.25f * kPi},
        {"-x -y", {-100, -100, 0}, 0.25f * kPi},
    };
    for (const Case& c : cases) {
        const CPSmartPtr<CPSpline> spline = MakeSpline({Straight({0, 0, 0}, c.to)});
        ASSERT_GT(spline->GetLineCount(), 1) << c.name;
        EXPECT_NEAR(spline->GetLine(0)->heading, c.heading, 1e-5f) << c.name;
        // The normal is the right-hand side of the direction, unit length.
        const CPLine* piece = spline->GetLine(0);
        const D3DXVECTOR3 d = piece->end - piece->start;
        EXPECT_NEAR(piece->normal.x * d.x + piece->normal.y * d.y, 0.0f, 1e-4f) << c.name;
        EXPECT_NEAR(piece->normal.x * d.y - piece->normal.y * d.x, std::sqrt(d.x * d.x + d.y * d.y), 1e-3f) << c.name;
    }
}

TEST_F(SplineTest, TheDebugMeshHasOneWhiteTriangleOfStartEndEndPerPiece) {
    const CPSmartPtr<CPSpline> spline = StraightRoute();
    const CPRenderObject* mesh = spline->GetDebugMesh();
    ASSERT_NE(mesh, nullptr);
    EXPECT_EQ(spline->GetKind(), IPSceneObject::KindMesh);
    EXPECT_EQ(spline->GetRenderObject(), mesh);
    ASSERT_EQ(mesh->GetVertexCount(), 27);
    ASSERT_EQ(mesh->GetIndexCount(), 27);
    for (int i = 0; i < 9; ++i) {
        const CPLine* piece = spline->GetLine(i);
        const std::vector<SPVertex>& v = mesh->ModelVertices();
        EXPECT_TRUE(Near(D3DXVECTOR3(v[3 * i].x, v[3 * i].y, v[3 * i].z), piece->start));
        EXPECT_TRUE(Near(D3DXVECTOR3(v[3 * i + 1].x, v[3 * i + 1].y, v[3 * i + 1].z), piece->end));
        EXPECT_TRUE(Near(D3DXVECTOR3(v[3 * i + 2].x, v[3 * i + 2].y, v[3 * i + 2].z), piece->end));
        EXPECT_EQ(v[3 * i].diffuse, 0xffffffffu);
        for (int k = 0; k < 3; ++k) EXPECT_EQ(mesh->Indices()[3 * i + k], 3 * i + k);
    }
}

TEST_F(SplineTest, PiecesTooSmallInXAndYToMeasureAreNotFinished) {
    // A drop of 131,072 units that strays 1e-17 sideways: the sideways extent of each piece
    // squares to 0 in single precision, so no piece gets a heading of 0/0.
    const BezierSegment drop =
        Segment({0, 0, 0}, {9.25e-44f, 0, 1e-35f}, {9.25e-44f, 0, -1e-35f}, {0, -2.78e-17f, -131072.0f});
    // Control points far out whose pull cancels at t = 0.9: pieces in between span more than
    // a float's square can hold.
    const BezierSegment wide = Segment({0, 0, 0}, {1e30f, 0, 0}, {-0.027f / 0.243f * 1e30f, 0, 0}, {0, 0, 0});
    for (const BezierSegment& segment : {drop, wide}) {
        CPSmartPtr<CPSpline> spline(new CPSpline());
        spline->Build("p", true, {segment});
        for (int i = 0; i < spline->GetLineCount(); ++i) {
            const CPLine* piece = spline->GetLine(i);
            EXPECT_TRUE(std::isfinite(piece->heading)) << i;
            EXPECT_NEAR(std::hypot(piece->normal.x, piece->normal.y), 1.0f, 1e-4f) << i;
        }
        float radius = 20.0f;
        CPLine* hint = spline->GetFirstLine();
        spline->FindClosestLine(D3DXVECTOR3(0, 0, 0), radius, 1, hint);
        EXPECT_FALSE(std::isnan(radius));
    }
}

TEST_F(SplineTest, ARouteShorterThanOnePieceMakesARingOfOne) {
    const CPSmartPtr<CPSpline> spline = MakeSpline({Straight({0, 0, 0}, {5, 0, 0})});
    ASSERT_EQ(spline->GetLineCount(), 1);
    const CPLine* only = spline->GetFirstLine();
    EXPECT_EQ(only->next, only);
    EXPECT_EQ(only->previous, only);
}

TEST_F(SplineTest, EmptySplinesHaveNoPiecesAndTheirQueriesChangeNothing) {
    const D3DXVECTOR3 origin(0, 0, 0);
    const std::vector<std::vector<BezierSegment>> empties = {
        {},
        // Every point the same: no length.
        {Segment(origin, origin, origin, origin)},
        // A route that only climbs: no extent in x and y, so no piece is ever finished.
        {Straight({0, 0, 0}, {0, 0, 100})},
    };
    for (std::size_t i = 0; i < empties.size(); ++i) {
        SCOPED_TRACE(i);
        const CPSmartPtr<CPSpline> spline = MakeSpline(empties[i]);
        EXPECT_TRUE(spline->IsEmpty());
        EXPECT_EQ(spline->GetLineCount(), 0);
        EXPECT_EQ(spline->GetFirstLine(), nullptr);
        EXPECT_EQ(spline->GetCurrentLine(), nullptr);
        EXPECT_EQ(spline->GetLine(0), nullptr);
        EXPECT_EQ(spline->FindNearbyLine(origin), nullptr);

        float radius = 20.0f;
        CPLine* hint = nullptr;
        EXPECT_EQ(spline->FindClosestLine(origin, radius, 1, hint), 0.0f);
        EXPECT_EQ(radius, 20.0f);
        EXPECT_EQ(hint, nullptr);

        float distance = 99.0f;
        EXPECT_EQ(spline->GetDistanceAtPoint(origin, distance, 10.0f), 0.0f);
        EXPECT_EQ(distance, 0.0f);
        spline->SnapToTerrain();
        EXPECT_EQ(spline->GetDebugMesh()->GetVertexCount(), 0);
    }
    // No segments at all: the point query has nothing to walk and leaves its outputs.
    const CPSmartPtr<CPSpline> none = MakeSpline({});
    D3DXVECTOR3 point(1, 2, 3), direction(4, 5, 6);
    EXPECT_EQ(none->GetPointAtDistance(3.0f, point, direction), 0);
    EXPECT_TRUE(Near(point, {1, 2, 3}));
    EXPECT_TRUE(Near(direction, {4, 5, 6}));
}

// ---- searches --------------------------------------------------------------------------------

TEST_F(SplineTest, NearbyLineTriesTheSmallerRadiusFirstAndKeepsTheFirstPieceAsTheFallback) {
    const CPSmartPtr<CPSpline> spline = StraightRoute();
    const CPLine* second = spline->GetLine(1);
    const CPLine* third = spline->GetLine(2);
    // 7 units from the third piece's centre, 12 from the second's (the centres 10.5 apart, as
    // at constant speed along x: each piece spans 10.5 / 0.9 units).
    const float gap = third->centre.x - second->centre.x;
    const float along = (144.0f - 49.0f + gap * gap) / (2.0f * gap);
    const float side = std::sqrt(144.0f - along * along);
    const D3DXVECTOR3 point(second->centre.x + along, side, 0.0f);
    ASSERT_NEAR(std::sqrt((point.x - third->centre.x) * (point.x - third->centre.x) + side * side), 7.0f, 1e-3f);
    EXPECT_EQ(spline->FindNearbyLine(point), third);

    struct Case {
        const char* name;
        D3DXVECTOR3 point;
        int piece;
    };
    const float c0 = spline->GetLine(0)->centre.x;
    const float c1 = second->centre.x;
    const Case cases[] = {
        {"on a centre", {c1, 0, 0}, 1},
        // The first piece is never searched: its own centre finds the next piece at 11.7.
        {"on the first piece's centre", {c0, 0, 0}, 1},
        {"far from the route", {50, 500, 0}, 0},
        {"heights are not compared", {c1, 0, 1000}, 1},
    };
    for (const Case& c : cases) EXPECT_EQ(spline->FindNearbyLine(c.point), spline->GetLine(c.piece)) << c.name;
}

TEST_F(SplineTest, ClosestLineFindsTheNearestCentreAroundTheHintThenStepsBackNPieces) {
    const CPSmartPtr<CPSpline> spline = StraightRoute();
    CPLine* first = spline->GetLine(0);
    CPLine* last = spline->GetLine(8);

    // n = 0: the closest piece itself, running along +x; the point lies 2 to its left.
    {
        CPLine* hint = spline->GetLine(3);
        float radius = 20.0f;
        const D3DXVECTOR3 point(first->centre.x, 2.0f, 0.0f);
        EXPECT_NEAR(spline->FindClosestLine(point, radius, 0, hint), kPi, 1e-6f);
        EXPECT_EQ(hint, first);
        EXPECT_EQ(spline->GetCurrentLine(), first);
        EXPECT_NEAR(radius, -2.0f, 1e-4f);
    }
    // n = 1: the piece before the closest one, the wrapping last piece running along -x: its
    // heading, and the distance to its line, now on its right.
    {
        CPLine* hint = spline->GetLine(3);
        float radius = 20.0f;
        const D3DXVECTOR3 point(first->centre.x, 2.0f, 0.0f);
        EXPECT_NEAR(spline->FindClosestLine(point, radius, 1, hint), 0.0f, 1e-6f);
        EXPECT_EQ(hint, first);
        EXPECT_EQ(spline->GetCurrentLine(), first);
        EXPECT_NEAR(radius, 2.0f, 1e-4f);
    }
    // n = 2 steps twice; a negative n does not step.
    {
        CPLine* hint = spline->GetLine(4);
        float radius = 20.0f;
        const D3DXVECTOR3 point(spline->GetLine(4)->centre.x, -3.0f, 0.0f);
        EXPECT_NEAR(spline->FindClosestLine(point, radius, 2, hint), kPi, 1e-6f);
        EXPECT_EQ(hint, spline->GetLine(4));
        EXPECT_NEAR(radius, 3.0f, 1e-4f);
        radius = 20.0f;
        EXPECT_NEAR(spline->FindClosestLine(point, radius, -1, hint), kPi, 1e-6f);
        EXPECT_EQ(hint, spline->GetLine(4));
    }
    (void)last;
}

TEST_F(SplineTest, ClosestLineFarFromEveryPieceWalksTheRingOnceAndKeepsTheHint) {
    // Nine pieces: an odd ring, where the two walkers pass each other instead of meeting.
    for (const int pieces : {9, 10}) {
        const CPSmartPtr<CPSpline> spline =
            MakeSpline({Straight({0, 0, 0}, {(static_cast<float>(pieces) * 10.5f - 2.0f) / 0.9f, 0, 0})});
        ASSERT_EQ(spline->GetLineCount(), pieces);
        CPLine* hint = spline->GetLine(2);
        float radius = 20.0f;
        const float heading = spline->FindClosestLine(D3DXVECTOR3(50, 900, 0), radius, 0, hint);
        EXPECT_EQ(hint, spline->GetLine(2)) << pieces;
        EXPECT_NEAR(heading, kPi, 1e-6f) << pieces;
    }
    // A null hint starts from the current piece.
    const CPSmartPtr<CPSpline> spline = StraightRoute();
    spline->SetCurrentLine(spline->GetLine(5));
    CPLine* hint = nullptr;
    float radius = 20.0f;
    spline->FindClosestLine(spline->GetLine(6)->centre, radius, 0, hint);
    EXPECT_EQ(hint, spline->GetLine(6));
}

TEST_F(SplineTest, ClosestLineJudgesThePieceWhereTheWalkersMeet) {
    // Four pieces: from piece 0 the walkers judge 3 and 1, then meet on 2, the nearest.
    const CPSmartPtr<CPSpline> spline = MakeSpline({Straight({0, 0, 0}, {0, (4.0f * 10.5f - 2.0f) / 0.9f, 0})});
    ASSERT_EQ(spline->GetLineCount(), 4);
    CPLine* hint = spline->GetLine(0);
    float radius = 100.0f;
    spline->FindClosestLine(spline->GetLine(2)->centre, radius, 0, hint);
    EXPECT_EQ(hint, spline->GetLine(2));
    // A ring of two: the walkers start on the one other piece.
    const CPSmartPtr<CPSpline> two = MakeSpline({Straight({0, 0, 0}, {0, (2.0f * 10.5f - 2.0f) / 0.9f, 0})});
    ASSERT_EQ(two->GetLineCount(), 2);
    hint = two->GetLine(0);
    radius = 100.0f;
    two->FindClosestLine(two->GetLine(1)->centre + D3DXVECTOR3(1, 0, 0), radius, 0, hint);
    EXPECT_EQ(hint, two->GetLine(1));
}

TEST_F(SplineTest, ClosestLineWalksOnlyTheStretchAroundTheHintThatIsInRange) {
    // Out along y = 0 and back along y = 6: a point on the way back, with a hint on the way
    // out, ends on the way out, because each walker stops where it leaves the search square.
    const CPSmartPtr<CPSpline> spline = MakeSpline(
        {Straight({0, 0, 0}, {200, 0, 0}), Straight({200, 0, 0}, {200, 6, 0}), Straight({200, 6, 0}, {0, 6, 0})});
    const D3DXVECTOR3 point(100, 6, 0);
    CPLine* outward = spline->FindNearbyLine(D3DXVECTOR3(100, 0, 0));
    ASSERT_NE(outward, nullptr);
    ASSERT_LT(outward->centre.y, 1.0f);
    CPLine* hint = outward;
    float radius = 20.0f;
    EXPECT_NEAR(spline->FindClosestLine(point, radius, 0, hint), 3.14159265f, 1e-5f);
    EXPECT_LT(hint->centre.y, 1.0f);
    EXPECT_NEAR(std::fabs(hint->centre.x - 100.0f), 0.0f, 6.0f);

    // From a hint on the way back it stays there.
    CPLine* back = spline->GetLine(spline->GetLineCount() - 3);
    ASSERT_GT(back->centre.y, 5.0f);
    hint = back;
    radius = 20.0f;
    spline->FindClosestLine(point, radius, 0, hint);
    EXPECT_GT(hint->centre.y, 5.0f);
    EXPECT_NEAR(hint->centre.x, 100.0f, 6.0f);
    EXPECT_NEAR(radius, 0.0f, 1e-3f);
}

TEST_F(SplineTest, DistanceAtPointIsTheFirstHalfUnitStepInsideTheToleranceSquare) {
    const CPSmartPtr<CPSpline> spline = StraightRoute();
    // Along the route x = d / 0.9: the square around x = 50 is entered at x = 40, d = 36.
    float distance = -1.0f;
    const float got = spline->GetDistanceAtPoint(D3DXVECTOR3(50, 3, 0), distance, 10.0f);
    EXPECT_EQ(got, distance);
    EXPECT_EQ(std::fmod(distance, 0.5f), 0.0f);
    EXPECT_NEAR(distance, 36.0f, 0.5f);
    D3DXVECTOR3 at, direction;
    spline->GetPointAtDistance(distance, at, direction);
    EXPECT_LE(std::fabs(at.x - 50.0f), 10.0f);
    spline->GetPointAtDistance(distance - 0.5f, at, direction);
    EXPECT_GT(std::fabs(at.x - 50.0f), 10.0f);

    // Never within the tolerance: 0.
    EXPECT_EQ(spline->GetDistanceAtPoint(D3DXVECTOR3(50, 30, 0), distance, 10.0f), 0.0f);

    // An out-and-back route: a point on the way back is found on the way out first.
    const CPSmartPtr<CPSpline> loop = MakeSpline(
        {Straight({0, 0, 0}, {100, 0, 0}), Straight({100, 0, 0}, {100, 6, 0}), Straight({100, 6, 0}, {0, 6, 0})});
    loop->GetDistanceAtPoint(D3DXVECTOR3(50, 6, 0), distance, 10.0f);
    EXPECT_NEAR(distance, 36.0f, 0.5f);
}

// ---- terrain ---------------------------------------------------------------------------------

class SplineTerrainTest : public kxtest::WorldTest {};

TEST_F(SplineTerrainTest, SnapPutsEveryPieceOnTheRoad) {
    kxtest::RoadObject road = kxtest::MakeRoadObject(kxtest::MakeFlatRoad(200, 40, 20, 4, 2.5f));
    ASSERT_TRUE(physics->BuildTerrainGrid(road.mesh));
    const CPSmartPtr<CPSpline> spline = MakeSpline({Straight({20, 10, 7}, {120, 10, 7})});
    ASSERT_GT(spline->GetLineCount(), 3);
    spline->SnapToTerrain();
    for (int i = 0; i < spline->GetLineCount(); ++i) {
        const CPLine* piece = spline->GetLine(i);
        SCOPED_TRACE(i);
        EXPECT_FLOAT_EQ(piece->start.z, 2.5f);
        EXPECT_FLOAT_EQ(piece->end.z, 2.5f);
        EXPECT_FLOAT_EQ(piece->centre.z, 2.5f);
        EXPECT_FLOAT_EQ(piece->boxMin.z, 2.5f);
        EXPECT_FLOAT_EQ(piece->boxMax.z, 2.5f);
    }
}

// ---- the record ------------------------------------------------------------------------------

std::string SplineRecord(const std::string& name, int closed, const std::vector<BezierSegment>& segments) {
    RecordBytes bytes;
    bytes.String(name).Int(closed).Int(static_cast<std::int32_t>(segments.size()));
    // Stored as start, end, first control, second control.
    for (const BezierSegment& s : segments) bytes.Point(s.p0).Point(s.p3).Point(s.p1).Point(s.p2);
    return bytes.Bytes();
}

TEST_F(SplineTest, RecordsStoreStartEndAndBothControlsAndReadBackInCurveOrder) {
    const BezierSegment s = Segment({1, 2, 3}, {4, 5, 6}, {7, 8, 9}, {10, 11, 12});
    const BezierSegment t = Straight({10, 11, 12}, {60, 11, 12});
    const std::string tail = "NEXT";
    auto reader = ReaderOver(SplineRecord("path", 1, {s, t}) + tail);
    CPSmartPtr<CPSpline> spline(new CPSpline());
    ASSERT_TRUE(spline->Load(*reader));
    EXPECT_EQ(spline->GetName(), "path");
    EXPECT_TRUE(spline->IsClosed());
    ASSERT_EQ(spline->GetSegments().size(), 2u);
    const BezierSegment& got = spline->GetSegments()[0];
    EXPECT_TRUE(Near(got.p0, s.p0));
    EXPECT_TRUE(Near(got.p1, s.p1));
    EXPECT_TRUE(Near(got.p2, s.p2));
    EXPECT_TRUE(Near(got.p3, s.p3));
    EXPECT_GT(spline->GetLineCount(), 0);
    // The reader stands right behind the record.
    EXPECT_EQ(reader->GetRemaining(), static_cast<int>(tail.size()));

    auto open = ReaderOver(SplineRecord("right", 0, {t}));
    CPSmartPtr<CPSpline> second(new CPSpline());
    ASSERT_TRUE(second->Load(*open));
    EXPECT_FALSE(second->IsClosed());
}

TEST_F(SplineTest, BadRecordsAreRefusedWithoutReadingPastTheirEnd) {
    const std::string whole =
        SplineRecord("c_path", 1, {Straight({0, 0, 0}, {100, 0, 0}), Straight({100, 0, 0}, {100, 100, 0})});
    // Every truncation of the record fails and leaves the spline empty.
    for (std::size_t n = 0; n < whole.size(); ++n) {
        auto reader = ReaderOver(whole.substr(0, n));
        CPSmartPtr<CPSpline> spline(new CPSpline());
        EXPECT_FALSE(spline->Load(*reader)) << n;
        EXPECT_TRUE(spline->IsEmpty()) << n;
        EXPECT_LE(reader->GetReadPosition(), static_cast<int>(n)) << n;
    }

    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    struct Case {
        const char* name;
        std::string bytes;
    };
    const Case cases[] = {
        {"negative count", RecordBytes().String("p").Int(1).Int(-1).Bytes()},
        {"count beyond the bytes left", RecordBytes().String("p").Int(1).Int(1000000).Point({0, 0, 0}).Bytes()},
        {"largest count", RecordBytes().String("p").Int(1).Int(0x7fffffff).Bytes()},
        {"negative name length", RecordBytes().Int(-5).Int(1).Int(0).Bytes()},
        {"name beyond the end", RecordBytes().Int(1000).Int(1).Int(0).Bytes()},
        {"NaN point", SplineRecord("p", 1, {Straight({0, 0, 0}, {nan, 0, 0})})},
        {"infinite point", SplineRecord("p", 1, {Straight({0, 0, 0}, {inf, 0, 0})})},
        {"a route of light years", SplineRecord("p", 1, {Straight({0, 0, 0}, {1e30f, 0, 0})})},
        // 112,000 across measures 100,800: just beyond the bound.
        {"longer than the bound", SplineRecord("p", 1, {Straight({0, 0, 0}, {112000.0f, 0, 0})})},
    };
    for (const Case& c : cases) {
        auto reader = ReaderOver(c.bytes);
        CPSmartPtr<CPSpline> spline(new CPSpline());
        EXPECT_FALSE(spline->Load(*reader)) << c.name;
        EXPECT_TRUE(spline->IsEmpty()) << c.name;
        EXPECT_EQ(spline->GetLineCount(), 0) << c.name;
        EXPECT_LE(reader->GetReadPosition(), static_cast<int>(c.bytes.size())) << c.name;
    }

    // Just within the bound: 99,000 units, 9,429 pieces.
    {
        auto reader = ReaderOver(SplineRecord("p", 1, {Straight({0, 0, 0}, {110000.0f, 0, 0})}));
        CPSmartPtr<CPSpline> spline(new CPSpline());
        EXPECT_TRUE(spline->Load(*reader));
        EXPECT_EQ(spline->GetLineCount(), 9429);
    }

    // A well-formed record without segments is an empty spline, not a failure.
    auto reader = ReaderOver(SplineRecord("c_path", 1, {}));
    CPSmartPtr<CPSpline> spline(new CPSpline());
    EXPECT_TRUE(spline->Load(*reader));
    EXPECT_TRUE(spline->IsEmpty());
}

TEST_F(SplineTest, ALoadAfterAnotherReplacesEveryPiece) {
    const CPSmartPtr<CPSpline> spline = StraightRoute();
    ASSERT_EQ(spline->GetLineCount(), 9);
    ASSERT_TRUE(spline->Build("c_path", true, {Straight({0, 0, 0}, {0, 50, 0})}));
    EXPECT_EQ(spline->GetLineCount(), 5);
    EXPECT_EQ(spline->GetDebugMesh()->GetVertexCount(), 15);
    EXPECT_EQ(spline->GetFirstLine()->index, 0);
    EXPECT_NEAR(spline->GetFirstLine()->heading, 1.5f * kPi, 1e-5f);
}

} // namespace
