#!/usr/bin/env bash
# Runs a Windows program under wine64 in the build's own prefix, created on first use.
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
  mkdir -p "$WINEPREFIX"
  # Parallel tests may start together: one of them creates the prefix.
  flock "$WINEPREFIX/.create" bash -c '[ -f "$WINEPREFIX/system.reg" ] || "$1" wineboot --init' _ "$wine"
fi
# Keep one server alive across the many short runs of a test session; it ends itself when idle.
"$wineserver" -p15 2>/dev/null || true
exec "$wine" "$@"
