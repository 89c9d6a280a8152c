#include "Scene/ParticleStartup.h"

#include "Framework/StartupRegistry.h"
#include "Scene/PParticlesManager.h"

void InstallParticleManager(SPStartupRegistry& registry) {
    registry.createParticleManager = [] { return CPSmartPtr<IPTask>(new CPParticlesManager()); };
}
