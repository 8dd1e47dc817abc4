#!/usr/bin/env bash
# Like wine-run.sh, on a private Xvfb screen, so that message boxes are real windows that stay until closed.
# The prefix is this script's alone: its Wine server and desktop end with the screen.
# Usage: wine-x11-run.sh PREFIX PROGRAM [ARGUMENTS...]
set -euo pipefail
here=$(dirname "$0")
prefix=$1
shift
wineserver=/usr/lib/wine/wineserver
[ -x "$wineserver" ] || wineserver=$(command -v wineserver)

display_file=$(mktemp)
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$display_file" 2>/dev/null &
xvfb=$!
stop() {
  WINEPREFIX=$prefix "$wineserver" -k 2>/dev/null || true
  kill "$xvfb" 2>/dev/null || true
  wait "$xvfb" 2>/dev/null || true
  rm -f "$display_file"
}
trap stop EXIT
for _ in $(seq 100); do
  [ -s "$display_file" ] && break
  sleep 0.1
done
[ -s "$display_file" ] || { echo "Xvfb did not start" >&2; exit 1; }
export DISPLAY=:$(head -n1 "$display_file")

WINEPREFIX=$prefix "$wineserver" -k 2>/dev/null || true
if [ ! -f "$prefix/.desktop" ]; then
  # One virtual desktop instead of bare X windows: without a window manager each closed box would stall Wine
  # for a second.
  "$here/wine-run.sh" "$prefix" reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null
  "$here/wine-run.sh" "$prefix" reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1024x768 /f >/dev/null
  WINEPREFIX=$prefix "$wineserver" -k 2>/dev/null || true  # the desktop starts anew with the setting
  touch "$prefix/.desktop"
fi

# Wine's debug output of every process goes to the Unix stderr: the test reads its traces from this file.
export TALLYGLASS_WINE_LOG=$prefix/wine.log
: >"$TALLYGLASS_WINE_LOG"
status=0
"$here/wine-run.sh" "$prefix" "$@" 2>>"$TALLYGLASS_WINE_LOG" || status=$?
exit "$status"
