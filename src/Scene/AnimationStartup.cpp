#include "Scene/AnimationStartup.h"

#include "Framework/StartupRegistry.h"
#include "Scene/PAnimation.h"
#include "Scene/PAnimationLibrary.h"

void InstallAnimationCache(SPStartupRegistry& registry) {
    registry.createAnimationCache = [] { CreateAnimationCache(); };
}

void InstallAnimationLibrary(SPStartupRegistry& registry) {
    // Never destroyed: the library lives until the process ends.
    registry.createAnimationLibrary = [] {
        if (!CPAnimationLibrary::Instance()) new CPAnimationLibrary();
    };
}
