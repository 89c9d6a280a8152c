#pragma once
// The game layer's part of start-up: the font manager and its fonts as application steps, the
// interface broadcasts as the input layer's seam, the lens-flare overlay maker as the
// scene's, and the script functions' view of the current race level.

struct SPStartupRegistry;

void InstallGameLayer(SPStartupRegistry& registry);
