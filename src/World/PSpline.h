#pragma once
// Route splines: a level's paths as cubic Bezier segments, cut once at load into straight
// pieces of 10.5 units that form a ring. Everything that follows the route (race rules,
// computer drivers, cameras, respawns, route script functions) works on the pieces or asks the
// segments for a point at a distance.
//
// The race order of a ring runs from a piece to its previous piece, or to its next piece when
// the level is driven reversed; "next" is the direction in which the spline was cut.
//
// An empty spline (a record without segments, or of no length) has no pieces and a null first
// piece: its queries leave their outputs unchanged, answer null, or a distance of 0. Every
// caller tests for it.

#include <memory>
#include <string>
#include <vector>

#include "Platform/Math/D3DXTypes.h"
#include "Scene/PGameObject.h"

class CPFileReader;
class CPRenderObject;

// One cubic segment of a route; P0 the start, P1 and P2 the control points, P3 the end.
struct BezierSegment {
    D3DXVECTOR3 p0{0.0f, 0.0f, 0.0f};
    D3DXVECTOR3 p1{0.0f, 0.0f, 0.0f};
    D3DXVECTOR3 p2{0.0f, 0.0f, 0.0f};
    D3DXVECTOR3 p3{0.0f, 0.0f, 0.0f};
    // The straight distance from P0 to the curve at t = 0.9 (see ComputeLength): neither the
    // arc length nor the chord. Levels are authored against this measure.
    float length = 0.0f;

    // B(t) = (1-t)^3 P0 + 3t(1-t)^2 P1 + 3t^2(1-t) P2 + t^3 P3.
    void Evaluate(float t, D3DXVECTOR3& out) const;
    // t = 0.1, 0.2, ... (single-precision steps while t <= 1): the last |B(t) - P0|.
    void ComputeLength();
    // t = x / length (0 for a segment of no length); point = B(t) and the unnormalised
    // direction B(t + 0.1) - B(t).
    void PointAtDistance(float x, D3DXVECTOR3& point, D3DXVECTOR3& direction) const;
};

// One straight piece of a ring.
class CPLine {
public:
    CPLine() = default;
    virtual ~CPLine() = default;
    CPLine(const CPLine&) = delete;
    CPLine& operator=(const CPLine&) = delete;
    virtual std::string GetClassName() const { return "CPLine"; }

    bool flag = false;
    // The spline's points at the piece's start distance and 10.5 units further.
    D3DXVECTOR3 start{0.0f, 0.0f, 0.0f};
    D3DXVECTOR3 end{0.0f, 0.0f, 0.0f};
    // x and y: the extent of start and end; z: the lower and higher of their heights.
    D3DXVECTOR3 boxMin{0.0f, 0.0f, 0.0f};
    D3DXVECTOR3 boxMax{0.0f, 0.0f, 0.0f};
    // x and y the middle of start and end; z their mean until the terrain snap sets it.
    D3DXVECTOR3 centre{0.0f, 0.0f, 0.0f};
    // Radians: pi along +x, 3 pi / 2 along +y.
    float heading = 0.0f;
    // (dy, -dx) / |(dx, dy)|: the right-hand side of the direction seen from above.
    D3DXVECTOR2 normal{0.0f, 0.0f};
    // -(normal . start): normal . p + offset is the signed side distance of p.
    float offset = 0.0f;
    // The distance along the spline of the piece's middle.
    float centreDistance = 0.0f;
    int index = 0;
    CPLine* previous = nullptr;
    CPLine* next = nullptr;
};

class CPSpline : public CPGameObject {
public:
    static constexpr float kPieceLength = 10.5f;
    // Routes longer than this (over thirty times the largest level's extent) are refused as hostile:
    // cutting and the point-by-point distance search run in proportion to the length.
    static constexpr float kMaxTotalLength = 1.0e5f;
    // The debug mesh stops growing where its 16-bit indices would run out.
    static constexpr int kMaxDebugVertices = 65535;
    // The debug mesh's render key.
    static constexpr int kDebugRenderKey = 10;

    CPSpline();
    ~CPSpline() override;
    CPSpline(const CPSpline&) = delete;
    CPSpline& operator=(const CPSpline&) = delete;

    int GetSize() const override { return static_cast<int>(sizeof(CPSpline)); }
    std::string GetClassName() const override { return "CPSpline"; }

    // Reads one spline record (name, closed flag, segment count, then per segment start, end,
    // first and second control point as 12 floats) and builds the pieces. False, with the
    // spline left empty, when the record is truncated, the count is negative or larger than
    // the bytes left, a coordinate is not finite, or the route exceeds kMaxTotalLength.
    bool Load(CPFileReader& reader);
    // The same from segments already in memory (P0..P3 in curve order); lengths are computed
    // here. False, with the spline left empty, for non-finite points or an over-long route.
    bool Build(const std::string& name, bool closed, const std::vector<BezierSegment>& segments);

    // Heights of every piece's centre, start and end (and its box) from the road under them;
    // nothing without a physics task.
    void SnapToTerrain();

    // Wraps d into the route (at most twice each way), then finds its segment: the point and
    // direction there and the segment's index. When no segment holds d, the outputs stay and
    // the answer is the number of segments.
    int GetPointAtDistance(float d, D3DXVECTOR3& point, D3DXVECTOR3& direction) const;
    // The first piece after the first one whose centre lies within 5, 10, 15 or 20 units (x-y,
    // tried in that order) of the point; the first piece when none does (null when empty).
    CPLine* FindNearbyLine(const D3DXVECTOR3& point) const;
    // The closest piece around the hint whose start or end square (half-size radius) holds
    // the point, walking both ways from the hint; hint and current piece become it. Then n
    // steps back along previous links: radius becomes the point's signed distance from that
    // piece's line (positive on its normal's side) and its heading is the answer. A null hint
    // starts from the current piece. An empty spline answers 0 and changes nothing.
    float FindClosestLine(const D3DXVECTOR3& point, float& radius, int n, CPLine*& hint, int unused = 0);
    // The first multiple of 0.5 along the route whose point lies in the square of half-size
    // tolerance around the point; 0 when none does or the route has no length. Written to
    // distance and answered.
    float GetDistanceAtPoint(const D3DXVECTOR3& point, float& distance, float tolerance) const;

    // The spline's own name from its record ("path", "c_path", ...); the scene object's name
    // stays its type name.
    const std::string& GetName() const { return m_splineName; }
    bool IsClosed() const { return m_closed; }
    float GetTotalLength() const { return m_totalLength; }
    const std::vector<BezierSegment>& GetSegments() const { return m_segments; }
    int GetLineCount() const { return static_cast<int>(m_lines.size()); }
    // The piece cut as number index (0 to GetLineCount() - 1), else null.
    CPLine* GetLine(int index) const;
    CPLine* GetFirstLine() const { return m_firstLine; }
    CPLine* GetCurrentLine() const { return m_currentLine; }
    void SetCurrentLine(CPLine* line) { m_currentLine = line; }
    bool IsEmpty() const { return m_firstLine == nullptr; }
    // The white triangles of the pieces (render key 10), the spline's mesh attachment.
    CPRenderObject* GetDebugMesh() const { return m_debugMesh.Get(); }

private:
    void Clear();
    void CutPieces();
    static void FinishPiece(CPLine& piece);

    bool m_closed = false;
    std::string m_splineName;
    CPLine* m_currentLine = nullptr;
    std::vector<BezierSegment> m_segments;
    float m_totalLength = 0.0f;
    std::vector<std::unique_ptr<CPLine>> m_lines;
    CPLine* m_firstLine = nullptr;
    CPSmartPtr<CPRenderObject> m_debugMesh;
};
