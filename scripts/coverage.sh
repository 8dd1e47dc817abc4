#!/usr/bin/env bash
# Line coverage of mapfile/ by the test suite: builds the coverage preset (g++ with gcov), runs every test, and
# prints the lines executed per file and in total.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh all
cmake --preset coverage >/dev/null && cmake --build --preset coverage -j"$(nproc)" >/dev/null
find build/coverage -name '*.gcda' -delete
ctest --preset coverage -j"$(nproc)" >/dev/null
cd build/coverage/CMakeFiles/tallyglass_core.dir/mapfile
# gcov's summary of each source: "Lines executed:97.50% of 120" right after the line naming the file.
for data in *.gcda; do
  source=${data%.gcda}
  gcov -n "$data" 2>/dev/null | grep -A1 "^File '.*mapfile/$source'" | tail -n1 |
    sed -n "s/^Lines executed:\([0-9.]*\)% of \([0-9]*\)$/$source \1 \2/p"
done | awk '{ n = int($2 * $3 / 100 + 0.5); printf "%-22s %4d of %4d lines\n", $1, n, $3; c += n; t += $3 }
            END { printf "%-22s %4d of %4d lines, %.2f%%\n", "total", c, t, 100 * c / t }'
