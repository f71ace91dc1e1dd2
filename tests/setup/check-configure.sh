#!/usr/bin/env bash
# The demo's build (tests off) configures on a machine without the test packages: GoogleTest,
# Google Benchmark and Qt Test are hidden from CMake here. Also the package groups: the build
# group, which `scripts/install-deps && make demo` installs, holds none of the test or fuzz tools.
#   check-configure.sh SOURCE_DIR
set -euo pipefail
src="$1"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
fail() { echo "check-configure: $*" >&2; exit 1; }

cmake -S "$src" -B "$work/build" -G Ninja -DQV_BUILD_TESTS=OFF -DQV_BUILD_BENCH=ON \
  -DCMAKE_DISABLE_FIND_PACKAGE_GTest=ON -DCMAKE_DISABLE_FIND_PACKAGE_benchmark=ON \
  -DCMAKE_DISABLE_FIND_PACKAGE_Qt6Test=ON >"$work/configure.log" 2>&1 ||
  fail "configuring without the test packages failed:"$'\n'"$(tail -n 30 "$work/configure.log")"

# Without Qt everything else still configures (and no Qt package is looked for), tests included.
cmake -S "$src" -B "$work/noqt" -G Ninja -DQV_QT=OFF -DQV_BUILD_BENCH=OFF \
  -DCMAKE_DISABLE_FIND_PACKAGE_Qt6=ON >"$work/noqt.log" 2>&1 ||
  fail "configuring with -DQV_QT=OFF failed:"$'\n'"$(tail -n 30 "$work/noqt.log")"
grep -q 'quorvel_cli' "$work/noqt/build.ninja" || fail "-DQV_QT=OFF builds no quorvel"
grep -q 'quorvel-host' "$work/noqt/build.ninja" && fail "-DQV_QT=OFF still builds quorvel-host"

build="$("$src/scripts/install-deps" --list build)"
for p in googletest libgtest-dev libgmock-dev libbenchmark-dev qpdf poppler-utils xvfb clang llvm; do
  grep -qx "$p" <<<"$build" && fail "the build group installs $p, which only tests or fuzzing need"
done
all="$("$src/scripts/install-deps" --list all)"
for p in $build googletest clang xvfb; do
  grep -qx "$p" <<<"$all" || fail "the group all lacks $p"
done
