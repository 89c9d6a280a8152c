#!/usr/bin/env bash
# Installs every package the game, its tests and its benchmarks need (Debian 12, as root).
# The one place the package list lives: the play and test commands both call it.
set -euo pipefail
export DEBIAN_FRONTEND=noninteractive
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
packages=(
  build-essential cmake ninja-build pkg-config clang-format
  libgtest-dev libgmock-dev libbenchmark-dev
  liblua5.1-0-dev libtinyxml-dev
  libgtk-3-dev
  libsdl2-dev libgl-dev libegl-dev libegl1-mesa-dev libgl1-mesa-dri mesa-utils xvfb xauth
  glslang-dev libspirv-cross-c-shared-dev spirv-cross
  libstb-dev
  libopenal-dev libopenal1 libsndfile1-dev
  libbullet-dev libode-dev
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ "${#missing[@]}" -gt 0 ]; then
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
