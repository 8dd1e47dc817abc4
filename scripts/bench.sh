#!/usr/bin/env bash
# The benchmark: the tool end to end against the floor of reading and decompressing the body, on maps with
# bodies from 10 KB to 512 MB and one with millions of items, then the chunk search over 512 MiB.
# Usage: scripts/bench.sh [RUNS]   (medians of at least RUNS runs per map, default 11; maps go to build/bench/maps)
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-11}
scripts/install-deps.sh native
cmake -S . -B build/bench -DCMAKE_BUILD_TYPE=Release -DTALLYGLASS_BUILD_TESTS=OFF >/dev/null
cmake --build build/bench -j2 --target tallyglass make_bench_map bench_floor bench_compare find_chunk_bench >/dev/null

bin=build/bench/bench
maps=build/bench/maps
mkdir -p "$maps"
# name, body bytes, item count
maps_to_make=(
  "body-10KB 10240 8"
  "body-1MB 1048576 8"
  "body-32MB 33554432 8"
  "body-128MB 134217728 8"
  "body-512MB 536870912 8"
  "items-4M 0 4000000"
)
files=()
for entry in "${maps_to_make[@]}"; do
  read -r name bytes count <<<"$entry"
  file=$maps/$name.Map.Gbx
  # Regenerated when the generator is newer than the map.
  if [ ! -f "$file" ] || [ "$bin/make_bench_map" -nt "$file" ]; then "$bin/make_bench_map" "$file" "$bytes" "$count"; fi
  files+=("$file")
done

echo "== machine: $(nproc) cores, $(lscpu | sed -n 's/^Model name: *//p'), $(free -m | awk '/^Mem:/ {printf "%.1f", $2 / 1024}') GiB," \
     "load average $(cut -d' ' -f1-3 /proc/loadavg)"
echo "== tool vs floor: medians of at least $runs interleaved runs (ms wall; cpu = ratio of user+sys medians)"
"$bin/bench_compare" build/bench/tallyglass "$bin/bench_floor" "$runs" 101 "${files[@]}"
echo "== chunk search over 512 MiB"
"$bin/find_chunk_bench" --benchmark_filter='/536870912$'
