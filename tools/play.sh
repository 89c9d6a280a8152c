#!/usr/bin/env bash
# Installs the dependencies, builds the game optimised and starts it on the demo data, in a game
# root assembled in the build tree (build/game) so that playing leaves the checkout as it was.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
bash "$root/tools/deps.sh"
cmake -S "$root" -B "$root/build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DKORVAXA_TESTS=OFF
cmake --build "$root/build" --target korvaxa -j "$(nproc)"
game="$root/build/game"
mkdir -p "$game"
# Newer demo files replace older copies; the settings, bindings and log the game wrote since
# stay (they are newer than the checkout's).
cp -R -p -u "$root/data/." "$game/"
cd "$game"
exec "$root/build/korvaxa" "$@"
