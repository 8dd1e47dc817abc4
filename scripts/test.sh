#!/usr/bin/env bash
# Builds everything and runs every test: the native suite with g++, with clang, and under the sanitizers; then
# the Windows programs (32-bit and its 64-bit twin, tests under wine64) and, where a wine32 runner is set up
# (scripts/setup-wine32.sh), smoke runs of the real 32-bit program.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh all
jobs=$(nproc)

for preset in linux linux-clang asan; do
  echo "== $preset"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j"$jobs"
  ctest --preset "$preset" -j"$jobs"
done

for preset in windows32 windows64; do
  echo "== $preset"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j"$jobs"
  ctest --preset "$preset" -j"$jobs"
done

scripts/smoke-wine32.sh

# A bounded fuzz run of every target (about a minute each, both at once), so a regression shows up at once.
echo "== fuzz"
scripts/fuzz.sh 60
