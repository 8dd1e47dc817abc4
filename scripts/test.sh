#!/usr/bin/env bash
# Builds everything and runs every test: the native suite with g++, with clang, and under the sanitizers.
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

# A bounded fuzz run of every target (about a minute each, both at once), so a regression shows up at once.
echo "== fuzz"
scripts/fuzz.sh 60
