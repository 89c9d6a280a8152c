#!/usr/bin/env bash
# Installs the dependencies, builds the game optimised and starts it on the demo data, in the game
# root the build assembles in the build tree (build/game), so that playing leaves the checkout as
# it was. The player's settings, bindings, saves and scores there survive rebuilds.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
bash "$root/tools/deps.sh"
cmake -S "$root" -B "$root/build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DKORVAXA_TESTS=OFF
cmake --build "$root/build" --target korvaxa game_root -j "$(nproc)"
cd "$root/build/game"
exec "$root/build/korvaxa" "$@"
