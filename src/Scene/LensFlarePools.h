#pragma once
// The level's pools of lens-flare overlays, one per flare name. A sprite that becomes a flare
// source makes sure its name has a pool; the level draws its flares from the pools. The scene
// makes the overlays through the installed maker and hands them to the installed sink (the
// level), which owns them for its life.

#include <string>

// How many overlays one flare name gets: the most flares of one name drawn in a frame.
constexpr int kLensFlarePoolSize = 24;

// Makes the pool of the flare name once: nothing without a sink (no level), nothing when the
// sink holds the name already, and nothing when the maker cannot make every overlay of it (a
// pool is always complete).
void EnsureLensFlarePool(const std::string& flareName);
