#!/usr/bin/env bash
# Runs a Windows program under wine64 in the given prefix. A new prefix is a copy of one template prefix made
# once per checkout (build/_deps/wine-prefix): where wine32 is installed, making a prefix runs 32-bit set-up
# programs, which take minutes under qemu-i386.
# Usage: wine-run.sh PREFIX PROGRAM [ARGUMENTS...]
set -euo pipefail
export WINEPREFIX=$1
shift
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES="mscoree,mshtml="  # no Mono or Gecko installer prompts
wine=/usr/lib/wine/wine64
[ -x "$wine" ] || wine=$(command -v wine64)
wineserver=$(dirname "$wine")/wineserver
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  deps=$(cd "$(dirname "$0")/../.." && pwd)/build/_deps
  mkdir -p "$deps"
  # Parallel runs may start together: one of them makes the template, each copies it once.
  (
    flock 9
    template=$deps/wine-prefix
    if [ ! -f "$template/.complete" ]; then
      rm -rf "$template"
      WINEPREFIX=$template "$wine" wineboot --init
      WINEPREFIX=$template "$wineserver" -w
      touch "$template/.complete"
    fi
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
      rm -rf "$WINEPREFIX"
      mkdir -p "$(dirname "$WINEPREFIX")"
      cp -a "$template" "$WINEPREFIX"
    fi
  ) 9>"$deps/wine-prefix.lock"
fi
# Keep one server alive across the many short runs of a test session; it ends itself when idle.
"$wineserver" -p15 2>/dev/null || true
exec "$wine" "$@"
