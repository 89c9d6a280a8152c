#pragma once
// Fills the application's place for the animation cache, made at start-up after the audio
// manager.

struct SPStartupRegistry;

void InstallAnimationCache(SPStartupRegistry& registry);
