#!/usr/bin/env bash
# Smoke runs of the real 32-bit Tallyglass.exe for machines whose kernel runs no 32-bit programs, where wine32
# goes through qemu-i386 (about a minute a process) and the whole table would take hours: a few runs, each of
# which must make the same MessageBoxW calls as the 64-bit twin (which passes the whole table), one run of the
# 32-bit Tallyglass.com, which must write what the 64-bit one writes, and one run of the 32-bit unit tests. Without a screen, MessageBoxW returns at once; Wine's relay trace shows its arguments.
# Needs the windows32 and windows64 builds. Prints one "ok:" or "FAILED:" line a run.
set -uo pipefail
cd "$(dirname "$0")/.."
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT  # the prefixes' Wine servers end themselves when idle
unset DISPLAY
for bits in 32 64; do
  tests/windows/wine-run.sh "build/windows$bits/wine-smoke" "wine$bits" reg add 'HKCU\Software\Wine\Debug' \
    /v RelayInclude /d user32.MessageBoxW /f >/dev/null
done
# The MessageBoxW calls of one run, pointers left out.
calls() {  # calls BITS NAME [ARGUMENTS...]
  local bits=$1 name=$2
  shift 2
  WINEDEBUG=+relay timeout 900 tests/windows/wine-run.sh "build/windows$bits/wine-smoke" "wine$bits" \
    "build/windows$bits/Tallyglass.exe" "$@" 2>&1 >/dev/null | tr -d '\r' |
    sed -n 's/^[0-9a-f]*:Call user32\.MessageBoxW(\(.*\)) ret=[0-9a-f]*$/\1/p' | sed 's/[0-9a-f]* L"/L"/g' >"$work/$name.$bits"
  echo "exit code ${PIPESTATUS[0]}" >>"$work/$name.$bits"
}
smoke() {  # smoke NAME [ARGUMENTS...]: the 32-bit run in the background, its twin now
  calls 32 "$@" &
  calls 64 "$@"
}
# The 32-bit command once: its output as its 64-bit twin's, which passes the command's whole table.
command() {  # command BITS
  WINEDEBUG=-all timeout 900 tests/windows/wine-run.sh "build/windows$1/wine-smoke" "wine$1" \
    "build/windows$1/Tallyglass.com" --json --files "$PWD/samples/Sample.Map.Gbx" >"$work/command.$1" 2>&1
  echo "exit code $?" >>"$work/command.$1"
}
command 32 &
command 64
smoke usage
smoke sample "$PWD/samples/Sample.Map.Gbx"
smoke directory "$PWD/samples"
WINEDEBUG=-all timeout 900 tests/windows/wine-run.sh build/windows32/wine-smoke wine32 \
  build/windows32/tests/unit_tests.exe >"$work/unit" 2>&1
unit=$?
wait
for name in usage sample directory; do
  # A run that shows no box or fails to start gives a trace of the exit code alone.
  if cmp -s "$work/$name.32" "$work/$name.64" && [ "$(wc -l <"$work/$name.32")" -gt 1 ] &&
     grep -qx 'exit code 0' "$work/$name.32"; then
    echo "ok: wine32 $name, as the 64-bit twin: $(head -n1 "$work/$name.32")"
  else
    echo "FAILED: wine32 $name"
    diff "$work/$name.64" "$work/$name.32"
  fi
done
if cmp -s "$work/command.32" "$work/command.64" && grep -q '"files": \[{' "$work/command.32" &&
   grep -qx 'exit code 0' "$work/command.32"; then
  echo "ok: wine32 Tallyglass.com --json --files, as the 64-bit twin"
else
  echo "FAILED: wine32 Tallyglass.com"
  diff "$work/command.64" "$work/command.32"
fi
if [ "$unit" -eq 0 ] && grep -aq '^\[  PASSED  \]' "$work/unit"; then
  echo "ok: wine32 unit tests, $(grep -a '^\[  PASSED  \]' "$work/unit" | tr -d '\r')"
else
  echo "FAILED: wine32 unit tests (exit code $unit)"
  cat "$work/unit"
fi
