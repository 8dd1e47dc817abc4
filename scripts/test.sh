#!/usr/bin/env bash
# Builds everything and runs every test: the native suite with g++ (and the binary under valgrind), with clang
# (and the benchmark's quick run) and under the sanitizers; the Windows programs under Wine, 32-bit and the
# 64-bit twin; the page in Chromium, Firefox and WebKit; every download of a release (scripts/release.sh
# --verify: made twice to the same bytes, and the source archive built with a distribution's flags); a
# bounded fuzz run. Every stage runs even when one fails; the last line counts all of them, and the exit code
# is 0 only when nothing failed.
set -uo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh all || exit 1
passed=0 failed=0 skipped=0
log=$(mktemp)
trap 'rm -f "$log"' EXIT
Count() {  # Count PASSED FAILED SKIPPED
  passed=$((passed + $1)) failed=$((failed + $2)) skipped=$((skipped + $3))
}
CountLines() {  # CountLines: the ok:/FAILED: lines of the stage's log
  Count "$(grep -c '^ok: ' "$log")" "$(grep -c '^FAILED: ' "$log")" 0
}

for preset in linux linux-clang asan windows32 windows64; do
  echo "== $preset"
  [ "$preset" = windows32 ] && echo "wine32 here: $(tests/windows/wine32-mode.sh)"
  if ! { cmake --preset "$preset" >/dev/null && cmake --build --preset "$preset" -j"$(nproc)"; }; then
    echo "FAILED: the $preset build"
    Count 0 1 0
    continue
  fi
  ctest --preset "$preset" -j"$(nproc)" 2>&1 | tee "$log"
  total=$(sed -n 's/.* tests failed out of \([0-9]*\)$/\1/p' "$log")
  bad=$(sed -n 's/.*, \([0-9]*\) tests failed out of .*/\1/p' "$log")
  skips=$(grep -c '(Skipped)$' "$log")
  [ -n "$total" ] && Count $((total - bad - skips)) "$bad" "$skips" || Count 0 1 0
done

# The command's whole table (tests/cli_test.cpp) against the console twin, Tallyglass.com, under Wine: the
# 64-bit one, and the 32-bit one where wine32 runs natively. Then every line its --json wrote, against the
# JSON Schema of a line, as the Linux suite checks the Linux command's.
for bits in 64 32; do
  [ "$bits" = 32 ] && [ "$(tests/windows/wine32-mode.sh)" != native ] && continue
  echo "== the command's table against the $bits-bit Tallyglass.com under wine$bits"
  lines=$PWD/build/windows$bits/json-lines.jsonl
  if [ -x build/linux/tests/cli_tests ] && [ -f "build/windows$bits/Tallyglass.com" ]; then
    rm -f "$lines"
    TALLYGLASS_COMMAND="$PWD/build/windows$bits/Tallyglass.com" TALLYGLASS_JSON_LINES="$lines" \
      TALLYGLASS_UNDER="$PWD/tests/windows/wine-run.sh $PWD/build/windows$bits/wine wine$bits" build/linux/tests/cli_tests
    if /usr/bin/python3 tests/support/check_json_lines.py docs/tallyglass.schema.json "$lines"; then
      echo "ok: the $bits-bit Tallyglass.com's JSON lines fit the schema"
    else
      echo "FAILED: the $bits-bit Tallyglass.com's JSON lines against the schema"
    fi
  else
    echo "FAILED: the linux or windows$bits build"
  fi 2>&1 | tee "$log"
  result() { grep -cE "^\[ +$1 +\] CliTest\.[A-Za-z]+ \([0-9]+ ms\)$" "$log"; }
  Count "$(($(result OK) + $(grep -c '^ok: ' "$log")))" "$(($(result FAILED) + $(grep -c '^FAILED: ' "$log")))" "$(result SKIPPED)"
done

# The real 32-bit program: its whole table ran with the windows32 preset where wine32 runs natively.
case $(tests/windows/wine32-mode.sh) in
  native) echo "== wine32 runs natively: the windows32 tests above ran the 32-bit programs under it" ;;
  qemu) echo "== wine32 through qemu-i386: smoke runs of the 32-bit program"
        scripts/smoke-wine32.sh 2>&1 | tee "$log"
        CountLines ;;
  *) echo "== wine32: no runner on this machine (scripts/setup-wine32.sh sets one up, as root): skipped"
     Count 0 0 1 ;;
esac

# The page, built with emscripten, in Chromium, Firefox and WebKit: the run table's maps and the archive cases
# (written by the linux build's write_case_maps) through its file input as one pool, each result against the
# boxes the table expects and the overview and downloads against the Linux command's lines.
echo "== web"
cases=build/web/cases
if cmake --preset web >/dev/null && cmake --build --preset web -j"$(nproc)" >/dev/null &&
   cmake --build --preset linux --target write_case_maps tallyglass >/dev/null && rm -rf "$cases" && mkdir -p "$cases" &&
   build/linux/tests/support/write_case_maps "$cases" messages && (cd tests/web && npm ci --no-audit --no-fund -s); then
  node tests/web/page_test.mjs build/web/tallyglass.html "$cases" samples/Sample.Map.Gbx build/linux/tallyglass
else
  echo "FAILED: the web build, or the test's maps or packages"
fi 2>&1 | tee "$log"
CountLines

# A release is made from git's HEAD: an unpacked source archive has none.
if git rev-parse -q --verify HEAD >/dev/null 2>&1; then
  echo "== release"
  if scripts/release.sh --verify; then echo "ok: release: dist/ made from HEAD, its source archive builds and runs"
  else echo "FAILED: release (scripts/release.sh)"; fi 2>&1 | tee "$log"
  CountLines
else
  echo "== release: not a git checkout: skipped"
  Count 0 0 1
fi

echo "== fuzz"
scripts/fuzz.sh 60 2>&1 | tee "$log"
CountLines

echo "tests: $passed passed, $failed failed, $skipped skipped"
[ "$failed" -eq 0 ]
