#pragma once
// Gives the renderer its sky maker: every level's sky becomes a dynamic sky read from its file.

void InstallDynamicSky();
