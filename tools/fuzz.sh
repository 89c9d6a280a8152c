#!/usr/bin/env bash
# Builds the fuzz targets as libFuzzer programs with clang (once, in build-fuzz/) and runs one of
# them, or each in turn, on a copy of its corpus (fuzz/corpus/<target>/), so the inputs the run
# adds never land in the tree unasked. Prints the inputs run and every fault found with the file
# that reproduces it.
#
# Usage: tools/fuzz.sh TARGET [SECONDS]     one target (60 seconds unless told)
#        tools/fuzz.sh all SECONDS          every target in turn
#        tools/fuzz.sh list                 the targets
# Environment: KORVAXA_FUZZ_BUILD (the build folder), KORVAXA_FUZZ_JOBS (build jobs).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${KORVAXA_FUZZ_BUILD:-$root/build-fuzz}"
jobs="${KORVAXA_FUZZ_JOBS:-$(nproc)}"

usage() {
  echo "usage: $0 TARGET [SECONDS] | all SECONDS | list" >&2
  exit 2
}

targets() {
  find "$root/fuzz" -name '*Fuzz.cpp' -printf '%f\n' | sed 's/\.cpp$//' | LC_ALL=C sort
}

[ $# -ge 1 ] || usage
if [ "$1" = list ]; then
  targets
  exit 0
fi
if [ "$1" = all ]; then
  [ $# -eq 2 ] || usage
fi
seconds="${2:-60}"
case "$seconds" in '' | *[!0-9]*) usage ;; esac

# The optional fuzzing build is the one that needs clang and its libFuzzer runtime; the game and
# its tests do not, so tools/deps.sh leaves them out.
runtime=""
if command -v clang++ >/dev/null; then
  runtime="$(clang++ -print-file-name="libclang_rt.fuzzer-$(uname -m).a" 2>/dev/null || true)"
fi
if [ ! -f "$runtime" ]; then
  echo "fuzz: clang and libFuzzer are needed: apt-get install clang libclang-rt-14-dev" >&2
  exit 2
fi
if [ ! -f "$build/build.ninja" ]; then
  CC=clang CXX=clang++ cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DKORVAXA_FUZZ=ON -DKORVAXA_TESTS=OFF -DKORVAXA_BENCH=OFF >/dev/null
fi
cmake --build "$build" -j "$jobs" --target fuzz_targets >/dev/null

# Tests and fuzzing never reach a display, a sound card or a browser.
export KORVAXA_NO_SHELL=1 SDL_AUDIODRIVER=dummy ALSOFT_DRIVERS=null
export ASAN_OPTIONS="detect_leaks=1:strict_string_checks=1:allocator_may_return_null=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"

# Runs one target; answers 1 when it found a fault.
run() {
  local target="$1" program="$build/fuzz/$1" seeds="$root/fuzz/corpus/$1"
  [ -x "$program" ] || { echo "$target: no such target (tools/fuzz.sh list)" >&2; return 2; }
  local work="$build/runs/$target"
  rm -rf "$work"
  mkdir -p "$work/corpus" "$work/faults" "$work/tmp"
  [ -d "$seeds" ] && cp -r "$seeds"/. "$work/corpus/"
  # Room for the largest seed and some growth, never less than 4 KiB.
  local largest
  largest="$(find "$work/corpus" -type f -printf '%s\n' | sort -n | tail -1)"
  local maxLen=$(( ${largest:-0} * 2 > 4096 ? ${largest:-0} * 2 : 4096 ))
  echo "== $target: ${seconds}s, max_len $maxLen, $(find "$work/corpus" -type f | wc -l) seeds"
  local status=0
  # The targets' temporary game roots go here too, so a run that ends on a fault leaves none
  # behind elsewhere.
  (cd "$work" && KX_FUZZ_TMP="$work/tmp" "$program" corpus -max_total_time="$seconds" -max_len="$maxLen" -rss_limit_mb=2048 \
    -malloc_limit_mb=1024 -timeout=60 -print_final_stats=1 -artifact_prefix="$work/faults/" \
    >"$work/log" 2>&1) || status=$?
  local execs
  execs="$(sed -n 's/^stat::number_of_executed_units: *//p' "$work/log" | tail -1)"
  echo "$target: ${execs:-0} inputs run, corpus grew to $(find "$work/corpus" -type f | wc -l) files"
  local faults
  faults="$(find "$work/faults" -type f | LC_ALL=C sort)"
  if [ "$status" -ne 0 ] || [ -n "$faults" ]; then
    echo "$target: FAULT (exit $status); log: $work/log"
    grep -m1 -E 'ERROR: |runtime error|Assertion|deadly signal|timeout|out-of-memory' "$work/log" | sed 's/^/  /' || true
    for f in $faults; do
      echo "  reproduce: $program $f"
    done
    return 1
  fi
  return 0
}

if [ "$1" = all ]; then
  failed=()
  for t in $(targets); do
    run "$t" || failed+=("$t")
  done
  if [ "${#failed[@]}" -gt 0 ]; then
    echo "faults in: ${failed[*]}"
    exit 1
  fi
  echo "no fault found"
else
  run "$1"
fi
