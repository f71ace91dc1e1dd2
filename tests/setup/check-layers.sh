#!/usr/bin/env bash
# The include check of the build passes on the sources as they are and fails on a copy in which
# a lower layer includes a header of a higher one.
#   check-layers.sh SOURCE_DIR
set -euo pipefail
src="$1"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
fail() { echo "check-layers: $*" >&2; exit 1; }

cmake -DSOURCE_DIR="$src/src" -DSTAMP="$work/stamp" -P "$src/cmake/CheckLayers.cmake" >"$work/log" 2>&1 ||
  fail "the sources themselves fail the check:"$'\n'"$(cat "$work/log")"
cp -r "$src/src" "$work/src"
printf '#include "engine/Engine.h"\n' >>"$work/src/input/ReadFile.h"
if cmake -DSOURCE_DIR="$work/src" -DSTAMP="$work/stamp2" -P "$src/cmake/CheckLayers.cmake" >"$work/log" 2>&1; then
  fail "an include of engine/ from input/ passed the check"
fi
grep -q 'input/ReadFile.h: #include "engine/Engine.h"' "$work/log" || fail "the check did not name the include:"$'\n'"$(cat "$work/log")"

# The PDF layer's internals stay inside it.
rm -rf "$work/src" && cp -r "$src/src" "$work/src"
printf '#include "platform/pdf/detail/Internal.h"\n' >>"$work/src/engine/Watermark.h"
if cmake -DSOURCE_DIR="$work/src" -DSTAMP="$work/stamp3" -P "$src/cmake/CheckLayers.cmake" >"$work/log" 2>&1; then
  fail "an include of platform/pdf/detail/ from engine/ passed the check"
fi
grep -q 'engine/Watermark.h: #include "platform/pdf/detail/Internal.h"' "$work/log" ||
  fail "the check did not name the detail include:"$'\n'"$(cat "$work/log")"
