#include "Platform/System/Random.h"

namespace Platform {

EngineRandom& Random() {
    static EngineRandom instance;
    return instance;
}

} // namespace Platform
