#pragma once
// Fills the application's particle-manager place: the manager task, which loads the particle
// tables when start-up adds it.

struct SPStartupRegistry;

void InstallParticleManager(SPStartupRegistry& registry);
