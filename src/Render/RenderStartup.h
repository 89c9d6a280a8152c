#pragma once
// Fills the application's renderer places: creating the renderer task (with its post effects),
// drawing the loading screen and resetting the device.

struct SPStartupRegistry;

void InstallRenderer(SPStartupRegistry& registry);
