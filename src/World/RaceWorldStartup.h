#pragma once
// What the race world gives the application at start-up: the physics task, the shot manager
// and the makers of scene objects' physics data and enemy records.

struct SPStartupRegistry;

void InstallRaceWorld(SPStartupRegistry& registry);
