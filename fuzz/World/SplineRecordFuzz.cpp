// One route spline record as the level file holds it (name, closed flag, segment count, then
// four points per segment), read through the file layer and cut into its ring of pieces, then
// asked every query.
//
// Input: the record's bytes.

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <unordered_set>

#include "Framework/PFileReader.h"
#include "Framework/PLog.h"
#include "Framework/PMMObject.h"
#include "FuzzSupport.h"
#include "Render/PRenderObject.h"
#include "World/PSpline.h"

namespace {

void Check(bool condition) {
    if (!condition) std::abort();
}

constexpr float kTwoPi = 6.2831853f;

// The ring: every piece once along the next links, each linked back, indices in cutting order.
void CheckRing(const CPSpline& spline) {
    const int n = spline.GetLineCount();
    if (n == 0) {
        Check(spline.IsEmpty() && !spline.GetCurrentLine());
        return;
    }
    Check(spline.GetFirstLine() == spline.GetLine(0));
    std::unordered_set<const CPLine*> seen;
    const CPLine* piece = spline.GetFirstLine();
    for (int i = 0; i < n; ++i) {
        Check(piece && piece->index == i && spline.GetLine(i) == piece);
        Check(piece->next && piece->next->previous == piece);
        Check(seen.insert(piece).second);
        Check(piece->start.x != piece->end.x || piece->start.y != piece->end.y);
        Check(piece->heading >= -1e-4f && piece->heading <= kTwoPi + 1e-4f);
        const float length = std::sqrt(piece->normal.x * piece->normal.x + piece->normal.y * piece->normal.y);
        Check(std::fabs(length - 1.0f) < 1e-3f);
        piece = piece->next;
    }
    Check(piece == spline.GetFirstLine());
    const int drawn = std::min(n, CPSpline::kMaxDebugVertices / 3);
    Check(spline.GetDebugMesh()->GetVertexCount() == 3 * drawn);
    Check(spline.GetDebugMesh()->GetIndexCount() == 3 * drawn);
}

bool InRing(const CPSpline& spline, const CPLine* line) {
    for (int i = 0; i < spline.GetLineCount(); ++i)
        if (spline.GetLine(i) == line) return true;
    return false;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* input, std::size_t size) {
    CPLog::Instance().SetSink(nullptr);
    kxfuzz::GameRoot& root = kxfuzz::GameRoot::Get();
    root.Clear();
    root.Write("Data/Levels/route.bin", input, size);
    {
        CPFileReader reader("Data\\Levels\\route.bin");
        Check(reader.Load() == S_OK);
        CPSmartPtr<CPSpline> spline(new CPSpline());
        const bool loaded = spline->Load(reader);
        Check(reader.GetReadPosition() <= static_cast<int>(size));
        if (!loaded) Check(spline->IsEmpty() && spline->GetLineCount() == 0);
        Check(spline->GetTotalLength() >= 0.0f && spline->GetTotalLength() <= CPSpline::kMaxTotalLength);
        CheckRing(*spline);

        const float total = spline->GetTotalLength();
        const D3DXVECTOR3 probes[] = {{0, 0, 0}, {1e30f, -1e30f, 0}, {NAN, 1, 2}};
        for (const D3DXVECTOR3& probe : probes) {
            D3DXVECTOR3 point(0, 0, 0), direction(0, 0, 0);
            for (const float d : {0.0f, total * 0.5f, total + 5.0f, -5.0f, 4.0f * total + 1.0f}) {
                const int segment = spline->GetPointAtDistance(d, point, direction);
                Check(segment >= 0 && segment <= static_cast<int>(spline->GetSegments().size()));
            }
            CPLine* nearby = spline->FindNearbyLine(probe);
            Check(spline->IsEmpty() ? nearby == nullptr : InRing(*spline, nearby));
            for (int n = -1; n < 3; ++n) {
                CPLine* hint = spline->GetFirstLine();
                float radius = 20.0f;
                spline->FindClosestLine(probe, radius, n, hint);
                Check(spline->IsEmpty() ? hint == nullptr : InRing(*spline, hint));
                Check(spline->IsEmpty() || spline->GetCurrentLine() == hint);
            }
            // The distance search runs in proportion to the length times the segments; keep the
            // run fast on many segments.
            if (spline->GetSegments().size() <= 64) {
                float distance = -1.0f;
                spline->GetDistanceAtPoint(spline->IsEmpty() ? probe : spline->GetLine(0)->end, distance, 10.0f);
                Check(distance >= 0.0f && (distance < total || distance == 0.0f));
            }
        }
        spline->SnapToTerrain();
    }
    for (int i = 0; i < 3; ++i) IPMMObject::CollectGarbage();
    return 0;
}
