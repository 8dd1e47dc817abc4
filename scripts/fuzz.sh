#!/usr/bin/env bash
# Builds the fuzz targets and runs each for a bounded time, both at once, starting from seeds written by the
# test map builder and any saved finds in tests/regressions/map and tests/regressions/body. Fails when a target
# finds an input that breaks a rule, crashes, hangs (over 10 s) or grows past 2 GB; the input is left in
# build/fuzz/findings.
# Usage: scripts/fuzz.sh [SECONDS_PER_TARGET]   (default 60)
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-60}"
scripts/install-deps.sh native

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j"$(nproc)" >/dev/null

out=build/fuzz
rm -rf "$out/seeds" "$out/findings" "$out/logs"
mkdir -p "$out/seeds/map" "$out/seeds/body" "$out/findings" "$out/logs" "$out/corpus/map" "$out/corpus/body"
"$out/fuzz/write_case_maps" "$out/seeds/map"
"$out/fuzz/write_case_maps" "$out/seeds/body" bodies

# target, its corpus (grown across local runs; new finds go to the first directory), its seeds.
run() {
  local target=$1 kind=$2
  local dirs=("$out/corpus/$kind" "$out/seeds/$kind")
  [ -d "tests/regressions/$kind" ] && dirs+=("tests/regressions/$kind")
  # Inputs of at most 4 kB: a full report needs no more (back-references repeat long strings), and longer
  # item lists only slow every run down.
  "$out/fuzz/$target" -max_total_time="$seconds" -max_len=4096 -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix="$out/findings/$target-" \
    "${dirs[@]}" >"$out/logs/$target.log" 2>&1
}

run fuzz_map_file map &
map_pid=$!
run fuzz_items_report body &
body_pid=$!
status=0
wait "$map_pid" || status=1
wait "$body_pid" || status=1

for target in fuzz_map_file fuzz_items_report; do
  log="$out/logs/$target.log"
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
  kind=map
  [ "$target" = fuzz_items_report ] && kind=body
  echo "$target: ${runs:-?} executions in ${seconds} s; corpus $(find "$out/corpus/$kind" -type f | wc -l) files," \
    "$(find "$out/corpus/$kind" -type f -printf "%s\n" | awk "{s+=\$1} END {print s+0}") bytes"
done
if [ "$status" -ne 0 ]; then
  for log in "$out"/logs/*.log; do
    grep -q -E 'ERROR|rule broken|Test unit written' "$log" && tail -n 60 "$log"
  done
  echo "fuzzing found a failing input (in $out/findings): fix it, and keep the input as a regression case" >&2
  exit 1
fi
