#pragma once
// Direction helpers shared by the weapons and the shots.

#include "Platform/Math/D3DXMath.h"
#include "Platform/Math/D3DXTypes.h"

namespace WeaponMath {

// The turn by angle about the cross product of (0, 1, 0) and the direction. Along +y or for a
// zero direction there is no axis and no turn; along -y, a half turn about x.
D3DXMATRIX TurnFromUp(const D3DXVECTOR3& direction, float angle);
// (0, 1, 0) turned by yaw-pitch-roll (yaw, 0, roll), then by the axis turn.
D3DXVECTOR3 ConeDirection(const D3DXMATRIX& axisTurn, float yaw, float roll);
// The high launch elevation that reaches the horizontal distance at speed 17 under 9.8
// gravity; 45 degrees from about 29.5 units on.
float RocketElevation(float horizontalDistance);

} // namespace WeaponMath
