#!/usr/bin/env bash
# Builds everything and runs every test: the native suite with g++, with clang, and under the sanitizers; then
# the Windows programs (32-bit and its 64-bit twin, tests under wine64) and, where a wine32 runner is set up
# (scripts/setup-wine32.sh), smoke runs of the real 32-bit program.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh all
jobs=$(nproc)
summaries=$(mktemp)
trap 'rm -f "$summaries"' EXIT
RunTests() {  # RunTests PRESET: configure, build and test one preset
  echo "== $1"
  cmake --preset "$1" >/dev/null
  cmake --build --preset "$1" -j"$jobs"
  ctest --preset "$1" -j"$jobs" | tee -a "$summaries"
}

for preset in linux linux-clang asan windows32 windows64; do
  RunTests "$preset"
done

scripts/smoke-wine32.sh

# A bounded fuzz run of every target (about a minute each, both at once), so a regression shows up at once.
echo "== fuzz"
scripts/fuzz.sh 60

# Every preset's CTest summary in one line.
sed -n 's/.*tests passed, \([0-9]*\) tests failed out of \([0-9]*\).*/\1 \2/p' "$summaries" |
  awk '{ failed += $1; total += $2 } END { printf "tests: %d passed, %d failed\n", total - failed, failed }'
