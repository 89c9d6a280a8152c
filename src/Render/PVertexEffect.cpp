#include "Render/PVertexEffect.h"

CPVertexEffect::~CPVertexEffect() = default;
