#pragma once
// Frame conversion of the OpenAL Soft backend, open for tests.

#include "Platform/Math/D3DXTypes.h"

namespace Platform::Audio {

// The engine's sound vectors are left-handed (as the sound API it is written against); OpenAL
// is right-handed. Mirroring z maps one onto the other and keeps left and right where they
// are: a listener facing front with top up hears +x (top x front) on its right in both.
inline void ToOpenAL(const D3DVECTOR& v, float out[3]) {
    out[0] = v.x;
    out[1] = v.y;
    out[2] = -v.z;
}

} // namespace Platform::Audio
