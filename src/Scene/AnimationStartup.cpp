#include "Scene/AnimationStartup.h"

#include "Framework/StartupRegistry.h"
#include "Scene/PAnimation.h"

void InstallAnimationCache(SPStartupRegistry& registry) {
    registry.createAnimationCache = [] { CreateAnimationCache(); };
}
