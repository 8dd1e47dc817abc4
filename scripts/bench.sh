#!/usr/bin/env bash
# The benchmark (bench/README.md): the tool end to end against the floor of reading and decompressing the body,
# on maps with bodies from 10 KB to 512 MB and one with millions of items; one process over many maps against a
# process per map; the chunk search over 512 MiB; then the page in Chromium, Firefox and WebKit: cold, on a tiny
# map that declares a huge body, and against the tool on maps with a 256 MB body and on a pool of 300 maps.
# Usage: scripts/bench.sh [RUNS] [EARLIER]   (medians of at least RUNS runs per map, default 11; maps go to
#        build/bench/maps; EARLIER, a git revision, is also built and timed against this build)
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh all
cmake -S . -B build/bench -DCMAKE_BUILD_TYPE=Release -DTALLYGLASS_BUILD_TESTS=OFF -DTALLYGLASS_BUILD_BENCH=ON >/dev/null
cmake --build build/bench -j"$(nproc)" >/dev/null
bin=build/bench/bench maps=build/bench/maps files=()
mkdir -p "$maps"
for map in "body-10KB 10240 8" "body-1MB 1048576 8" "body-32MB 33554432 8" "body-128MB 134217728 8" \
           "body-512MB 536870912 8" "items-4M 0 4000000"; do
  read -r name bytes count <<<"$map"
  file=$maps/$name.Map.Gbx
  # Made anew when the generator is newer than the map; the tool must show its report.
  [ -f "$file" ] && [ "$file" -nt "$bin/make_bench_map" ] || "$bin/make_bench_map" "$file" "$bytes" "$count"
  build/bench/tallyglass "$file" | head -n1 | grep -q '^Number of embedded items: ' || { echo "no report for $file"; exit 1; }
  files+=("$file")
done
echo "== machine: $(nproc) cores, $(lscpu | sed -n 's/^Model name: *//p'), $(free -m | awk '/^Mem:/ {printf "%.1f", $2 / 1024}') GiB," \
     "load average $(cut -d' ' -f1-3 /proc/loadavg)"
echo "== tool vs floor: medians of at least ${1:-11} interleaved runs (ms wall; cpu = ratio of user+sys medians)"
"$bin/bench_compare" build/bench/tallyglass "$bin/bench_floor" "${1:-11}" 101 "${files[@]}"
echo "== many maps: one process over 1,000 copies of the sample against 1,000 processes"
mkdir -p "$maps/copies"
for i in $(seq 1000); do cp samples/Sample.Map.Gbx "$maps/copies/$i.Map.Gbx"; done
"$bin/bench_compare" --many build/bench/tallyglass "${1:-11}" "$maps"/copies/*.Map.Gbx
echo "== the embedded files checked: one file of 200 MB of zeros packed in about 200 KB; the zip bomb of 1,000"
echo "   entries whose data overlap on a kernel of 256 MiB of zeros; 28 files of 1 GiB of zeros, each deflated"
echo "   on its own, in a map of about 180 KB; 100,000 and 1,000,000 small entries"
for map in "zeros-200MB zeros=200000000" "bomb-1000 bomb=1000" "gibs-28 gibs=28" "entries-100k entries=100000" \
           "entries-1M entries=1000000"; do
  read -r name files <<<"$map"
  file=$maps/$name.Map.Gbx
  [ -f "$file" ] && [ "$file" -nt "$bin/make_bench_map" ] || "$bin/make_bench_map" "$file" 0 1 "$files"
  "$bin/bench_compare" --files build/bench/tallyglass "${1:-11}" "$file"
done
if [ -n "${2:-}" ]; then
  echo "== this build against $2's: the pool of 300 maps in one process with --json --files, and a 256 MB body"
  rm -rf build/bench-earlier && mkdir -p build/bench-earlier/src
  git archive "$2" | tar -x -C build/bench-earlier/src
  cmake -S build/bench-earlier/src -B build/bench-earlier -DCMAKE_BUILD_TYPE=Release -DTALLYGLASS_BUILD_TESTS=OFF >/dev/null
  cmake --build build/bench-earlier -j"$(nproc)" --target tallyglass >/dev/null
  [ -f "$maps/pool/pool-299.Map.Gbx" ] && [ "$maps/pool/pool-299.Map.Gbx" -nt "$bin/make_bench_map" ] ||
    { rm -rf "$maps/pool" && mkdir -p "$maps/pool" && "$bin/make_bench_map" --pool "$maps/pool" 300; }
  "$bin/bench_compare" --versus build/bench-earlier/tallyglass build/bench/tallyglass "${1:-11}" "$maps"/pool/*.Map.Gbx
  file=$maps/body-256MB.Map.Gbx
  [ -f "$file" ] && [ "$file" -nt "$bin/make_bench_map" ] || "$bin/make_bench_map" --repeat=40 "$file" 268435456 8
  echo "(the earlier build as the floor)"
  "$bin/bench_compare" build/bench/tallyglass build/bench-earlier/tallyglass "${1:-11}" "${1:-11}" "$file"
fi
echo "== chunk search over 512 MiB"
"$bin/find_chunk_bench" --benchmark_filter='/536870912$'
echo "== the page in each engine: cold, a tiny map declaring a huge body, and against the tool on 256 MB bodies"
echo "   packed 2.4:1 and 6:1 and on a pool of 300 maps of real sizes with their embedded files"
cmake --preset web >/dev/null && cmake --build --preset web >/dev/null
(cd tests/web && npm ci --no-audit --no-fund -s)
for map in "body-256MB 40" "body-256MB-6to1 300"; do
  read -r name repeat <<<"$map"
  file=$maps/$name.Map.Gbx
  [ -f "$file" ] && [ "$file" -nt "$bin/make_bench_map" ] || "$bin/make_bench_map" --repeat="$repeat" "$file" 268435456 8
done
[ -f "$maps/pool/pool-299.Map.Gbx" ] && [ "$maps/pool/pool-299.Map.Gbx" -nt "$bin/make_bench_map" ] ||
  { rm -rf "$maps/pool" && mkdir -p "$maps/pool" && "$bin/make_bench_map" --pool "$maps/pool" 300; }
rm -rf "$maps/cases" && mkdir "$maps/cases" && build/bench/tests/support/write_case_maps "$maps/cases" messages
node bench/page_bench.mjs build/web/tallyglass.html build/bench/tallyglass samples/Sample.Map.Gbx \
  "$maps/cases/tiny_map_declaring_a_huge_body.Map.Gbx" "$maps/body-256MB.Map.Gbx" "$maps/body-256MB-6to1.Map.Gbx" \
  "$maps/pool" "${1:-11}"
