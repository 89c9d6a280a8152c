#include "World/PSpline.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <utility>

#include "Framework/PFileReader.h"
#include "Platform/Math/D3DXMath.h"
#include "Render/PEffectManager.h"
#include "Render/PRenderObject.h"
#include "World/PPhysics.h"

namespace {

constexpr float kPi = 3.14159265358979f;
// One segment record in the file: four points of three floats.
constexpr int kSegmentBytes = 12 * 4;

bool IsFinite(const D3DXVECTOR3& v) { return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z); }

float SquaredDistanceXY(const D3DXVECTOR3& a, const D3DXVECTOR3& b) {
    const float dx = a.x - b.x;
    const float dy = a.y - b.y;
    return dx * dx + dy * dy;
}

// Whether the squared x-y distance of the two points is a finite float of full precision: a
// square in the subnormal range has lost the digits that the piece's length and normal need.
bool HasMeasurableExtent(const D3DXVECTOR3& start, const D3DXVECTOR3& end) {
    const float dx = end.x - start.x;
    const float dy = end.y - start.y;
    const float squared = dx * dx + dy * dy;
    return squared >= std::numeric_limits<float>::min() && squared <= std::numeric_limits<float>::max();
}

SPVertex DebugVertex(const D3DXVECTOR3& p) {
    SPVertex v{};
    v.x = p.x;
    v.y = p.y;
    v.z = p.z;
    v.diffuse = 0xffffffffu;
    return v;
}

} // namespace

// ---- segments --------------------------------------------------------------------------------

void BezierSegment::Evaluate(float t, D3DXVECTOR3& out) const {
    const float u = 1.0f - t;
    const float a = u * u * u;
    const float b = 3.0f * t * u * u;
    const float c = 3.0f * t * t * u;
    const float d = t * t * t;
    out.x = a * p0.x + b * p1.x + c * p2.x + d * p3.x;
    out.y = a * p0.y + b * p1.y + c * p2.y + d * p3.y;
    out.z = a * p0.z + b * p1.z + c * p2.z + d * p3.z;
}

void BezierSegment::ComputeLength() {
    length = 0.0f;
    // The single-precision steps end at t just above 0.9, so the last sample is B(0.9).
    for (float t = 0.1f; t <= 1.0f; t += 0.1f) {
        D3DXVECTOR3 point;
        Evaluate(t, point);
        const D3DXVECTOR3 d = point - p0;
        length = std::sqrt(d.x * d.x + d.y * d.y + d.z * d.z);
    }
}

void BezierSegment::PointAtDistance(float x, D3DXVECTOR3& point, D3DXVECTOR3& direction) const {
    // A segment of no length would give 0 / 0; its start stands for every distance in it.
    const float t = length > 0.0f ? x / length : 0.0f;
    Evaluate(t, point);
    D3DXVECTOR3 ahead;
    Evaluate(t + 0.1f, ahead);
    direction = ahead - point;
}

// ---- the spline ------------------------------------------------------------------------------

CPSpline::CPSpline() : CPGameObject("CPSpline") {}

CPSpline::~CPSpline() {
    // The pieces link to each other by plain pointers; drop the links before the pieces go.
    m_firstLine = nullptr;
    m_currentLine = nullptr;
    m_lines.clear();
}

void CPSpline::Clear() {
    m_firstLine = nullptr;
    m_currentLine = nullptr;
    m_lines.clear();
    m_segments.clear();
    m_totalLength = 0.0f;
    if (m_debugMesh) m_debugMesh->SetMesh({}, {});
}

bool CPSpline::Load(CPFileReader& reader) {
    const std::string name = reader.ReadString();
    const int closed = reader.ReadInt();
    const int count = reader.ReadInt();
    // Nothing is made from a count the bytes left cannot hold.
    if (reader.IsFailed() || count < 0 || count > reader.GetRemaining() / kSegmentBytes) {
        m_splineName = name;
        Clear();
        return false;
    }
    std::vector<BezierSegment> segments(static_cast<std::size_t>(count));
    for (BezierSegment& segment : segments) {
        // Stored as start, end, first control, second control.
        D3DXVECTOR3* order[4] = {&segment.p0, &segment.p3, &segment.p1, &segment.p2};
        for (D3DXVECTOR3* point : order) {
            point->x = reader.ReadFloat();
            point->y = reader.ReadFloat();
            point->z = reader.ReadFloat();
        }
    }
    if (reader.IsFailed()) {
        m_splineName = name;
        Clear();
        return false;
    }
    return Build(name, closed != 0, segments);
}

bool CPSpline::Build(const std::string& name, bool closed, const std::vector<BezierSegment>& segments) {
    m_splineName = name;
    m_closed = closed;
    Clear();

    if (!m_debugMesh) {
        m_debugMesh = CPSmartPtr<CPRenderObject>(new CPRenderObject(this));
        SetAttachment(CPSmartPtr<IPMMObject>(m_debugMesh.Get()), KindMesh);
    }

    float total = 0.0f;
    std::vector<BezierSegment> built = segments;
    for (BezierSegment& segment : built) {
        if (!IsFinite(segment.p0) || !IsFinite(segment.p1) || !IsFinite(segment.p2) || !IsFinite(segment.p3))
            return false;
        segment.ComputeLength();
        total += segment.length;
    }
    if (!std::isfinite(total) || total > kMaxTotalLength) return false;

    m_segments = std::move(built);
    m_totalLength = total;
    CutPieces();

    if (CPEffectManager* effects = GetEffectManager()) {
        CPSmartPtr<CPMaterial> material;
        effects->GetMaterial(material, kDebugRenderKey, "test.fx", {"error.tga"});
        m_debugMesh->SetEffect(material);
    }
    return true;
}

void CPSpline::FinishPiece(CPLine& piece) {
    const float dx = piece.end.x - piece.start.x;
    const float dy = piece.end.y - piece.start.y;
    const float length = std::sqrt(dx * dx + dy * dy);
    piece.normal = D3DXVECTOR2(dy / length, -dx / length);
    piece.offset = -(piece.normal.x * piece.start.x + piece.normal.y * piece.start.y);
    const float c = std::clamp(dx / length, -1.0f, 1.0f);
    const float h = dy / length > 0.0f ? std::acos(c) : -std::acos(c);
    piece.heading = h + kPi;
    piece.boxMin = D3DXVECTOR3(std::min(piece.start.x, piece.end.x), std::min(piece.start.y, piece.end.y),
                               std::min(piece.start.z, piece.end.z));
    piece.boxMax = D3DXVECTOR3(std::max(piece.start.x, piece.end.x), std::max(piece.start.y, piece.end.y),
                               std::max(piece.start.z, piece.end.z));
    piece.centre = D3DXVECTOR3((piece.start.x + piece.end.x) * 0.5f, (piece.start.y + piece.end.y) * 0.5f,
                               (piece.start.z + piece.end.z) * 0.5f);
}

void CPSpline::CutPieces() {
    std::vector<SPVertex> vertices;
    std::vector<std::uint16_t> indices;

    m_lines.push_back(std::make_unique<CPLine>());
    CPLine* current = m_lines.back().get();
    m_firstLine = current;

    D3DXVECTOR3 start(0.0f, 0.0f, 0.0f);
    D3DXVECTOR3 direction(0.0f, 0.0f, 0.0f);
    for (float d = 0.0f; d < m_totalLength; d += kPieceLength) {
        GetPointAtDistance(d, start, direction);
        // A piece of a route shorter than its wrap keeps its start as its end: not finished.
        D3DXVECTOR3 end = start;
        GetPointAtDistance(d + kPieceLength, end, direction);
        current->start = start;
        current->end = end;
        current->centreDistance = d + kPieceLength / 2.0f;
        // Without extent in x and y a piece has no heading; the next distance fills it again.
        // An extent whose square underflows (or overflows) counts as none: its heading and
        // normal would be 0/0 or far from unit length.
        if (!HasMeasurableExtent(start, end)) continue;

        if (static_cast<int>(vertices.size()) + 3 <= kMaxDebugVertices) {
            const auto first = static_cast<std::uint16_t>(vertices.size());
            vertices.push_back(DebugVertex(start));
            vertices.push_back(DebugVertex(end));
            vertices.push_back(DebugVertex(end));
            indices.insert(indices.end(),
                           {first, static_cast<std::uint16_t>(first + 1), static_cast<std::uint16_t>(first + 2)});
        }
        FinishPiece(*current);
        m_lines.push_back(std::make_unique<CPLine>());
        CPLine* next = m_lines.back().get();
        next->index = current->index + 1;
        current->next = next;
        next->previous = current;
        current = next;
    }

    // Close the ring over the finished pieces; the last, unfilled piece goes again.
    CPLine* last = current->previous;
    m_lines.pop_back();
    if (!last) {
        m_lines.clear();
        m_firstLine = nullptr;
        m_currentLine = nullptr;
    } else {
        m_firstLine->previous = last;
        last->next = m_firstLine;
        m_currentLine = m_firstLine;
    }
    m_debugMesh->SetMesh(std::move(vertices), std::move(indices));
}

void CPSpline::SnapToTerrain() {
    const CPPhysics* physics = CPPhysics::GetInstance();
    if (!physics) return;
    for (const std::unique_ptr<CPLine>& piece : m_lines) {
        piece->centre.z = physics->GetTerrainHeight(piece->centre);
        piece->start.z = physics->GetTerrainHeight(piece->start);
        piece->end.z = physics->GetTerrainHeight(piece->end);
        piece->boxMin.z = std::min(piece->start.z, piece->end.z);
        piece->boxMax.z = std::max(piece->start.z, piece->end.z);
    }
}

int CPSpline::GetPointAtDistance(float d, D3DXVECTOR3& point, D3DXVECTOR3& direction) const {
    for (int i = 0; i < 2 && d > m_totalLength; ++i) d -= m_totalLength;
    for (int i = 0; i < 2 && d < 0.0f; ++i) d += m_totalLength;
    for (std::size_t i = 0; i < m_segments.size(); ++i) {
        const BezierSegment& segment = m_segments[i];
        if (d <= segment.length) {
            segment.PointAtDistance(d, point, direction);
            return static_cast<int>(i);
        }
        d -= segment.length;
    }
    return static_cast<int>(m_segments.size());
}

CPLine* CPSpline::FindNearbyLine(const D3DXVECTOR3& point) const {
    if (!m_firstLine) return nullptr;
    static constexpr float kSquaredRadii[4] = {25.0f, 100.0f, 225.0f, 400.0f};
    for (const float bound : kSquaredRadii) {
        for (CPLine* piece = m_firstLine->next; piece && piece != m_firstLine; piece = piece->next)
            if (SquaredDistanceXY(point, piece->centre) < bound) return piece;
    }
    return m_firstLine;
}

float CPSpline::FindClosestLine(const D3DXVECTOR3& point, float& radius, int n, CPLine*& hint, int /*unused*/) {
    CPLine* h = hint ? hint : (m_currentLine ? m_currentLine : m_firstLine);
    if (!h) return 0.0f;
    m_currentLine = h;

    const float r = radius;
    float best = 100.0f * r;
    CPLine* result = h;
    const auto nearPiece = [&](const CPLine* piece) {
        return (std::fabs(point.x - piece->start.x) <= r && std::fabs(point.y - piece->start.y) <= r) ||
               (std::fabs(point.x - piece->end.x) <= r && std::fabs(point.y - piece->end.y) <= r);
    };
    enum { Searching = 0, InRange = 1, Done = 2 };
    int backState = std::fabs(point.x - h->start.x) <= r && std::fabs(point.y - h->start.y) <= r ? InRange : Searching;
    int forwardState = std::fabs(point.x - h->end.x) <= r && std::fabs(point.y - h->end.y) <= r ? InRange : Searching;
    if (backState == InRange || forwardState == InRange) best = std::min(best, SquaredDistanceXY(point, h->centre));

    const auto visit = [&](CPLine* piece, int& state) {
        if (state == Searching && nearPiece(piece)) state = InRange;
        if (state != InRange) return;
        if (!nearPiece(piece)) {
            state = Done;
            return;
        }
        const float d = SquaredDistanceXY(point, piece->centre);
        if (d < best) {
            best = d;
            result = piece;
        }
    };

    // On a ring of an even number of pieces the walkers meet halfway round; the piece they
    // meet on is judged too (by each walker's rules), or a point nearest the piece opposite the
    // hint would be given a neighbour of it. On a ring of an odd number they pass each other
    // instead, which is where the whole ring has been seen and the walk ends too (otherwise a
    // point near no piece would keep them circling).
    CPLine* back = h->previous;
    CPLine* forward = h->next;
    const std::size_t limit = m_lines.size();
    for (std::size_t steps = 0; back && forward && steps < limit; ++steps) {
        if (backState == Done && forwardState == Done) break;
        if (back == forward) {
            if (back != h) {
                visit(back, backState);
                visit(forward, forwardState);
            }
            break;
        }
        if (back->next == forward) break;
        visit(back, backState);
        visit(forward, forwardState);
        back = back->previous;
        forward = forward->next;
    }

    hint = result;
    m_currentLine = result;
    CPLine* s = result;
    for (int i = 0; i < n && s->previous; ++i) s = s->previous;

    const float dx = s->end.x - s->start.x;
    const float dy = s->end.y - s->start.y;
    const float length = std::sqrt(dx * dx + dy * dy);
    radius = ((s->start.x - s->end.x) * point.y + (s->end.y - s->start.y) * point.x -
              (s->end.y * s->start.x - s->end.x * s->start.y)) /
             length;
    return s->heading;
}

float CPSpline::GetDistanceAtPoint(const D3DXVECTOR3& point, float& distance, float tolerance) const {
    distance = 0.0f;
    if (!(m_totalLength > 0.0f)) return distance;
    D3DXVECTOR3 at(0.0f, 0.0f, 0.0f);
    D3DXVECTOR3 direction(0.0f, 0.0f, 0.0f);
    for (float d = 0.0f; d < m_totalLength; d += 0.5f) {
        GetPointAtDistance(d, at, direction);
        if (std::fabs(at.x - point.x) <= tolerance && std::fabs(at.y - point.y) <= tolerance) {
            distance = d;
            return distance;
        }
    }
    return distance;
}

CPLine* CPSpline::GetLine(int index) const {
    if (index < 0 || index >= static_cast<int>(m_lines.size())) return nullptr;
    return m_lines[static_cast<std::size_t>(index)].get();
}
