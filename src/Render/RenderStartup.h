#pragma once
// Fills the application's renderer places: creating the renderer task, drawing the loading
// screen, resetting the device and the values scripts hand over.

struct SPStartupRegistry;

void InstallRenderer(SPStartupRegistry& registry);
