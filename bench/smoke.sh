#!/usr/bin/env bash
# Quick run of the benchmark's pieces on small maps, so that they keep building and working.
# Usage: smoke.sh MAKE_BENCH_MAP FLOOR TOOL COMPARE FIND_CHUNK_BENCH OUT_DIR
set -euo pipefail
make_map=$1 floor=$2 tool=$3 compare=$4 find_chunk=$5 out=$6
mkdir -p "$out"
"$make_map" "$out/body-10KB.Map.Gbx" 10240 8 >/dev/null
"$make_map" "$out/body-1MB.Map.Gbx" 1048576 8 >/dev/null
"$make_map" "$out/items-20k.Map.Gbx" 0 20000 >/dev/null
"$compare" "$tool" "$floor" 1 1 "$out/body-10KB.Map.Gbx" "$out/body-1MB.Map.Gbx" "$out/items-20k.Map.Gbx"
"$find_chunk" --benchmark_filter='/1048576$' --benchmark_min_time=0.01
rm -f "$out"/*.Map.Gbx
