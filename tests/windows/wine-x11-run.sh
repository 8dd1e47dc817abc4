#!/usr/bin/env bash
# Like wine-run.sh, on a private Xvfb screen, so that message boxes are real windows that stay until closed.
# The prefix is this script's alone: its Wine server and desktop end with the screen.
# Usage: wine-x11-run.sh PREFIX wine64|wine32 PROGRAM [ARGUMENTS...]
set -euo pipefail
here=$(dirname "$0")
# shellcheck source=xvfb.sh
source "$here/xvfb.sh"
StartXvfb "$1" 1280x1024x24
UseVirtualDesktop "$1"
# Wine's debug output of every process goes to the Unix stderr: the test reads its traces from this file.
export TALLYGLASS_WINE_LOG=$1/wine.log
: >"$TALLYGLASS_WINE_LOG"
"$here/wine-run.sh" "$@" 2>>"$TALLYGLASS_WINE_LOG"  # not exec: StopXvfb runs on exit
