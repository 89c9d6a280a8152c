#pragma once
// What the race world gives the application at start-up: the physics task and the maker of
// scene objects' physics data.

struct SPStartupRegistry;

void InstallRaceWorld(SPStartupRegistry& registry);
