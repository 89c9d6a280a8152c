#!/usr/bin/env bash
# Fails when a tracked C++ source is not in the tree's clang-format style.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
git ls-files -z -- '*.cpp' '*.h' | xargs -0 -r clang-format --dry-run -Werror
