#pragma once
// The game layer's part of start-up: the font manager and its fonts as application steps, the
// interface broadcasts as the input layer's seam, and the lens-flare overlay maker as the
// scene's.

struct SPStartupRegistry;

void InstallGameLayer(SPStartupRegistry& registry);
