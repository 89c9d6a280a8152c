#!/usr/bin/env bash
# Installs the dependencies, builds the game optimised and starts it on the demo data in data/.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
bash "$root/tools/deps.sh"
cmake -S "$root" -B "$root/build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DKORVAXA_TESTS=OFF
cmake --build "$root/build" --target korvaxa -j "$(nproc)"
cd "$root/data"
exec "$root/build/korvaxa" "$@"
