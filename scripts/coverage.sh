#!/usr/bin/env bash
# Line coverage of mapfile/ by the normal test suite: builds the coverage preset (g++ with gcov), runs every
# test, and prints the lines executed per file and in total.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh native

cmake --preset coverage >/dev/null
cmake --build --preset coverage -j"$(nproc)" >/dev/null
objects=build/coverage/CMakeFiles/tallyglass_core.dir/mapfile
find build/coverage -name '*.gcda' -delete
ctest --preset coverage -j"$(nproc)" >/dev/null

total=0 covered=0
printf '%-28s %8s %8s %8s\n' file lines executed percent
for source in mapfile/*.cpp; do
  name=$(basename "$source")
  # gcov's summary: "Lines executed:97.50% of 120" right after the line naming the source file.
  summary=$(cd "$objects" && gcov -n "$name.gcda" 2>/dev/null | grep -A1 "^File '.*mapfile/$name'" | tail -n 1)
  percent=$(sed -n 's/^Lines executed:\([0-9.]*\)% of \([0-9]*\)$/\1/p' <<<"$summary")
  lines=$(sed -n 's/^Lines executed:\([0-9.]*\)% of \([0-9]*\)$/\2/p' <<<"$summary")
  [ -n "$lines" ] || { echo "no coverage data for $source" >&2; exit 1; }
  executed=$(awk -v p="$percent" -v n="$lines" 'BEGIN { printf "%d", p * n / 100 + 0.5 }')
  printf '%-28s %8d %8d %7.2f%%\n' "$source" "$lines" "$executed" "$percent"
  total=$((total + lines)) covered=$((covered + executed))
done
printf '%-28s %8d %8d %7.2f%%\n' total "$total" "$covered" "$(awk -v c=$covered -v t=$total 'BEGIN { print 100 * c / t }')"
