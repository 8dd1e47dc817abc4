#!/usr/bin/env bash
# Runs the real binary under valgrind on a map of every kind of outcome (the report, each loader failure, each
# report failure) and on the paths that acquire nothing: any invalid access, any leak of any kind, or an
# exit code other than 0 fails. Exits 77 (CTest's skip) when valgrind is not installed.
# Usage: scripts/valgrind_check.sh TALLYGLASS WRITE_CASE_MAPS WORKDIR
set -uo pipefail
binary=$1 writer=$2 work=$3

if ! command -v valgrind >/dev/null; then
  echo "valgrind is not installed (scripts/install-deps.sh installs it): skipped"
  exit 77
fi
rm -rf "$work" && mkdir -p "$work/maps" && "$writer" "$work/maps" || exit 1

maps=(report sample report_cut_at_8191_characters version_2__then_the_report
      wrong_magic magic_alone uncompressed_body unknown_class seek_before_the_start compressed_size_beyond_the_file
      compressed_size_0 body_size_0 compressed_body_cut not_LZO_at_all
      no_items_chunk chunk_size_0 string_of_65535_bytes version_0__then_a_failing_string embedded_size_missing)
runs=()
for map in "${maps[@]}"; do
  [ -f "$work/maps/$map.Map.Gbx" ] || { echo "no map $map written"; exit 1; }
  runs+=("$work/maps/$map.Map.Gbx")
done
runs+=("$work/maps" "$work/no such file" "")  # a directory, nothing there, no argument

failed=0
for path in "${runs[@]}"; do
  args=()
  [ -n "$path" ] && args=("$path")
  if ! valgrind -q --suppressions="$(dirname "$0")/valgrind.supp" --leak-check=full --show-leak-kinds=all --errors-for-leak-kinds=all --error-exitcode=1 \
      "$binary" "${args[@]}" >"$work/out" 2>&1; then
    echo "FAILED: ${path:-(no argument)}"
    cat "$work/out"
    failed=1
  fi
done
echo "${#runs[@]} runs of $(basename "$binary") under valgrind: $([ $failed -eq 0 ] && echo clean || echo FAILED)"
exit $failed
