#!/usr/bin/env bash
# Self-test of tools/check-layering.sh: on a small tree it must name every include outside the
# layering (directly, through a test header, through a program header next to main.cpp) and
# pass the same tree once they are mended. Given the build's table, it also checks that the
# table follows the link graph, so a table allowing everything cannot pass the check vacuously.
#
# Usage: check-layering-test.sh [<build's layering table>]
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
check="$here/check-layering.sh"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

# Low is linked by High; a test program of Low links Low only.
mkdir -p "$work/src/Low" "$work/src/High" "$work/tests/Low" "$work/tests/support"
cat >"$work/table" <<'EOF'
owner src/Low kx_low
allow kx_low Low
owner src/High kx_high
allow kx_high High Low
owner src kx_main
allow kx_main . High Low
source test_low tests/Low/LowTest.cpp
allow test_low Low
EOF
printf '#pragma once\n#include <vector>\n#include "Low/Other.h"\n' >"$work/src/Low/Low.h"
printf '#pragma once\n' >"$work/src/Low/Other.h"
printf '#include "Low.h"\n#include "Unknown/Package.h"\n#include "High/High.h"\n' >"$work/src/Low/Low.cpp"
printf '#pragma once\n#include "Low/Low.h"\n' >"$work/src/High/High.h"
printf '#include "High/High.h"\n#include "Adapter.h"\n' >"$work/src/main.cpp"
printf '#pragma once\n#include "High/High.h"\n' >"$work/src/Adapter.h"
printf '#pragma once\n#include "High/High.h"\n' >"$work/tests/support/Helper.h"
printf '#pragma once\n#include "Low/Low.h"\n' >"$work/tests/Low/Fixture.h"
printf '#include "Low/Low.h"\n#include "Fixture.h"\n#include "support/Helper.h"\n#include "Adapter.h"\n' \
  >"$work/tests/Low/LowTest.cpp"

set +e
out="$(bash "$check" "$work/table" "$work" 2>&1)"
status=$?
set -e
[ "$status" -eq 1 ] || fail "a tree with wrong includes passed (status $status): $out"
expect() {
  grep -qF -- "$1" <<<"$out" || fail "missing report: $1"
}
expect 'src/Low/Low.cpp: includes "High/High.h" (src/High), which kx_low does not link'
expect 'tests/Low/LowTest.cpp: through tests/support/Helper.h, includes "High/High.h" (src/High), which test_low does not link'
expect 'tests/Low/LowTest.cpp: through src/Adapter.h, includes "High/High.h" (src/High), which test_low does not link'
expect 'check-layering: 3 include(s) outside the layering'
[ "$(grep -c 'does not link' <<<"$out")" -eq 3 ] || fail "reports other than the three wrong includes: $out"

# A file in a folder no library owns is reported too.
mkdir -p "$work/src/Stray"
printf '#include "Low/Low.h"\n' >"$work/src/Stray/Stray.cpp"
set +e
out="$(bash "$check" "$work/table" "$work" 2>&1)"
set -e
expect 'src/Stray/Stray.cpp: no library owns the folder src/Stray'
rm -r "$work/src/Stray"

# Mended: the low folder stops reaching up, the test stops using the high helpers.
printf '#include "Low.h"\n#include "Unknown/Package.h"\n' >"$work/src/Low/Low.cpp"
printf '#include "Low/Low.h"\n#include "Fixture.h"\n' >"$work/tests/Low/LowTest.cpp"
if ! out="$(bash "$check" "$work/table" "$work" 2>&1)"; then
  fail "the mended tree failed: $out"
fi

# The build's table: derived from the link graph, layer by layer.
if [ $# -ge 1 ]; then
  allows() { grep -qE "^allow $1( |.* )$2( |\$)" "$table"; }
  table="$1"
  allows kx_physics Physics || fail "kx_physics may not include its own folder"
  [ "$(grep -E '^allow kx_physics ' "$table")" = "allow kx_physics Physics" ] || fail "kx_physics may include more than Physics"
  allows kx_framework Platform/System || fail "kx_framework may not include Platform/System, which it links"
  allows kx_render Platform/System || fail "kx_render may not include what kx_framework exposes"
  ! allows kx_framework Render || fail "kx_framework may include Render"
  ! allows kx_framework Platform/Dialogs || fail "kx_framework may include Platform/Dialogs"
  allows korvaxa Platform/Dialogs || fail "the program may not include Platform/Dialogs, which it links"
  grep -qE '^owner src korvaxa$' "$table" || fail "main.cpp's folder has no owner"
  grep -qE '^source test_physics tests/Physics/' "$table" || fail "the physics tests are not listed"
fi

if [ "$failures" -ne 0 ]; then
  echo "check-layering self-test: $failures failure(s)"
  exit 1
fi
echo "check-layering self-test: passed"
