#!/usr/bin/env bash
# Smoke runs of the real 32-bit Tallyglass.exe (build/windows32), and one run of its unit tests, under wine32,
# where this machine has a runner for it (scripts/setup-wine32.sh: wine32, natively or through qemu-i386, where
# a run takes about a minute). Without a screen, MessageBoxW returns at once; Wine's relay trace shows the
# arguments it got.
set -euo pipefail
cd "$(dirname "$0")/.."
exe=$PWD/build/windows32/Tallyglass.exe
wine32=/usr/lib/wine/wine

echo "== wine32 smoke runs"
if [ ! -x "$wine32" ] || ! timeout 300 "$wine32" --version >/dev/null 2>&1; then
  echo "SKIPPED: no wine32 runner on this machine (scripts/setup-wine32.sh sets one up, as root)"
  exit 0
fi
[ -f "$exe" ] || { echo "missing $exe: build the windows32 preset first" >&2; exit 1; }

export WINEPREFIX=$PWD/build/windows32/wine WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY
if [ ! -f "$WINEPREFIX/.relay" ]; then
  tests/windows/wine-run.sh "$WINEPREFIX" reg add 'HKCU\Software\Wine\Debug' /v RelayInclude /d user32.MessageBoxW /f >/dev/null
  touch "$WINEPREFIX/.relay"
fi
# One server for all runs: each 32-bit process is slow enough to start as it is.
/usr/lib/wine/wineserver -p60 2>/dev/null || true

start=$SECONDS
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
names=() expected=()
# smoke NAME EXPECTED-CALLS [ARGUMENTS...]: starts one run; the runs go in parallel, each mostly emulation.
smoke() {
  local name=$1
  names+=("$name")
  expected+=("$2")
  shift 2
  (
    status=0
    WINEDEBUG=+relay timeout 900 "$wine32" "$exe" "$@" >/dev/null 2>"$work/${#names[@]}.trace" || status=$?
    echo "$status" >"$work/${#names[@]}.status"
  ) &
}

smoke "usage" '00000000,L"Usage: Tallyglass.exe <Map.Gbx>",L"Tallyglass",00000030'
smoke "sample map" '00000000,L"Number of embedded items: 4\r\nItems\\Blocks\\Ramp_Caf\00e9.Item.Gbx (Zo\00eb)\r\nItems\\Deco\\Sakura\6728.Item.Gbx (Hana)\r\nItems\\Signs\\Start.Item.Gbx\r\nItems\\Blocks\\Loop.Item.Gbx (Zo\00eb)\r\nSize of embedded files: 123.5 KB",L"Tallyglass",00000040' \
  "$PWD/samples/Sample.Map.Gbx"
smoke "a directory" '00000000,L"Could not open input file.",L"Tallyglass",00000030' "$PWD/samples"
# The 32-bit unit tests in one process: among them the size formatting, whose double arithmetic must round as
# on 64 bits.
unit_tests=$PWD/build/windows32/tests/unit_tests.exe
(
  status=0
  WINEDEBUG=-all timeout 900 "$wine32" "$unit_tests" >"$work/unit.out" 2>&1 || status=$?
  echo "$status" >"$work/unit.status"
) &
wait

passed=0 failed=0
for i in "${!names[@]}"; do
  n=$((i + 1))
  # The MessageBoxW calls with their arguments, pointers left out.
  calls=$(sed -n 's/^[0-9a-f]*:Call user32\.MessageBoxW(\(.*\)) ret=[0-9a-f]*$/\1/p' "$work/$n.trace" |
          sed 's/[0-9a-f]\{8\} L"/L"/g')
  status=$(cat "$work/$n.status")
  if [ "$calls" = "${expected[$i]}" ] && [ "$status" = 0 ]; then
    echo "ok: ${names[$i]}"
    passed=$((passed + 1))
  else
    echo "FAILED: ${names[$i]} (exit code $status)"
    echo "  expected: ${expected[$i]}"
    echo "  got:      $calls"
    failed=$((failed + 1))
  fi
done

summary=$(grep -a -E '^\[  PASSED  \]' "$work/unit.out" | tr -d '\r' || true)
if [ "$(cat "$work/unit.status")" = 0 ] && [ -n "$summary" ]; then
  echo "ok: 32-bit unit tests, $summary"
  passed=$((passed + 1))
else
  echo "FAILED: 32-bit unit tests (exit code $(cat "$work/unit.status"))"
  cat "$work/unit.out"
  failed=$((failed + 1))
fi

/usr/lib/wine/wineserver -k 2>/dev/null || true
echo "wine32 smoke: $passed passed, $failed failed in $((SECONDS - start)) s"
[ "$failed" -eq 0 ]
