#pragma once
// What the race world gives the application at start-up: the physics task, the computer-driver
// task, the shot manager, the makers of scene objects' physics data and enemy records, and the
// renderer's view of the current level (its cameras, terrain, sun, flare sources and planar
// shadow).

struct SPStartupRegistry;

void InstallRaceWorld(SPStartupRegistry& registry);
