#pragma once
// Fills the application's places for the animation library (made at start-up after the effect
// manager) and the animation cache (after the audio manager).

struct SPStartupRegistry;

void InstallAnimationLibrary(SPStartupRegistry& registry);
void InstallAnimationCache(SPStartupRegistry& registry);
