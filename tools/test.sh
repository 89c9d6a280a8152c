#!/usr/bin/env bash
# Installs the dependencies, builds everything with AddressSanitizer and UndefinedBehaviorSanitizer
# and runs the whole test suite.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
bash "$root/tools/deps.sh"
bash "$root/tools/check-format.sh"
cmake -S "$root" -B "$root/build-asan" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DKORVAXA_SANITIZE=ON -DKORVAXA_TESTS=ON
cmake --build "$root/build-asan" -j "$(nproc)"
# Tests must never reach a display, a sound card or a browser.
export KORVAXA_NO_SHELL=1
export SDL_AUDIODRIVER=dummy
export ALSOFT_DRIVERS=null
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=0:strict_string_checks=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
cd "$root/build-asan"
ctest --output-on-failure -j "$(nproc)" "$@"
