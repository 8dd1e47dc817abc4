#!/usr/bin/env bash
# Like wine-run.sh, on a private Xvfb screen, so that message boxes are real windows that stay until closed.
# The prefix is this script's alone: its Wine server and desktop end with the screen.
# Usage: wine-x11-run.sh PREFIX wine64|wine32 PROGRAM [ARGUMENTS...]
set -euo pipefail
here=$(dirname "$0")
prefix=$1
shift
# shellcheck source=xvfb.sh
source "$here/xvfb.sh"
StartXvfb "$prefix" 1280x1024x24
WINEPREFIX=$prefix "$wineserver" -k 2>/dev/null || true
UseVirtualDesktop "$prefix"

# Wine's debug output of every process goes to the Unix stderr: the test reads its traces from this file.
export TALLYGLASS_WINE_LOG=$prefix/wine.log
: >"$TALLYGLASS_WINE_LOG"
status=0
"$here/wine-run.sh" "$prefix" "$@" 2>>"$TALLYGLASS_WINE_LOG" || status=$?
exit "$status"
