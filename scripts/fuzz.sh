#!/usr/bin/env bash
# Builds the fuzz targets and runs them at once for a bounded time, from seeds written by the test map writer.
# A target fails when it finds an input that breaks a rule, crashes, hangs (over 10 s) or grows past 2 GB; the
# input is kept in a folder of this run's own under build/fuzz/findings, which later runs leave alone. Prints one
# "ok:" or "FAILED:" line a target.
# Usage: scripts/fuzz.sh [SECONDS_PER_TARGET]   (default 60)
set -uo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-60}"
scripts/install-deps.sh all >/dev/null
out=build/fuzz
cmake --preset fuzz >/dev/null && cmake --build --preset fuzz -j"$(nproc)" >/dev/null || exit 1
findings=$out/findings/$(date -u +%Y%m%dT%H%M%SZ)-$$
rm -rf "$out/seeds" "$out/logs"
mkdir -p "$out/seeds/map" "$out/seeds/body" "$out/seeds/archive" "$findings" "$out/logs" "$out/corpus/map" \
         "$out/corpus/body" "$out/corpus/archive" "$out/corpus/card"
"$out/tests/support/write_case_maps" "$out/seeds/map" && "$out/tests/support/write_case_maps" "$out/seeds/body" bodies &&
  "$out/tests/support/write_case_maps" "$out/seeds/archive" archives || exit 1
# The card's fuzzer starts from the same maps, in a corpus of its own.
ln -sfn map "$out/seeds/card"

# Inputs of at most 4 kB: a full report needs no more (back-references repeat long strings), and longer item
# lists only slow every run down. The corpus grows across local runs.
run() {  # run TARGET KIND
  if "$out/fuzz/$1" -max_total_time="$seconds" -max_len=4096 -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
       -artifact_prefix="$findings/$1-" "$out/corpus/$2" "$out/seeds/$2" >"$out/logs/$1.log" 2>&1; then
    echo "ok: $1, $(sed -n 's/^stat::number_of_executed_units: *//p' "$out/logs/$1.log") executions in $seconds s," \
         "corpus $(find "$out/corpus/$2" -type f | wc -l) files"
  else
    tail -n 60 "$out/logs/$1.log"
    echo "FAILED: $1 found a failing input, kept in $findings: fix it, and keep the input as a test case"
  fi
}
run fuzz_map_file map >"$out/logs/map.result" &
run fuzz_embedded_files archive >"$out/logs/archive.result" &
run fuzz_map_card card >"$out/logs/card.result" &
run fuzz_items_report body
wait
cat "$out/logs/map.result" "$out/logs/archive.result" "$out/logs/card.result"
rmdir "$findings" 2>/dev/null || true  # a run that found nothing leaves no folder
