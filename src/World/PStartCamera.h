#pragma once
// Path smoothing for the start camera's flight: Catmull-Rom curves through a list of points.

#include <vector>

#include "Platform/Math/D3DXTypes.h"

// The Catmull-Rom point between p1 (t = 0) and p2 (t = 1).
void CatmullRom(D3DXVECTOR3& out, float t, const D3DXVECTOR3& p0, const D3DXVECTOR3& p1, const D3DXVECTOR3& p2,
                const D3DXVECTOR3& p3);
// Appends segment i of the point list (p1 first when out is empty, then nine points at
// t = 0.1 .. 0.9; the segment's end is the next segment's start). Indices wrap round the list.
void SmoothPathSegment(int i, const std::vector<D3DXVECTOR3>& points, std::vector<D3DXVECTOR3>& out);
// The whole list smoothed. An open list leaves out its first and its last two segments (they
// lack neighbours): n points give points[1] and 9 x (n - 3) more, fewer than four give nothing.
void SmoothPath(const std::vector<D3DXVECTOR3>& points, std::vector<D3DXVECTOR3>& out, bool closed);
