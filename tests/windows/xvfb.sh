# Sourced by the scripts that show Wine windows: a private Xvfb screen and Wine's virtual desktop.
wineserver=/usr/lib/wine/wineserver
[ -x "$wineserver" ] || wineserver=$(command -v wineserver)

# StartXvfb PREFIX GEOMETRY: starts Xvfb and exports DISPLAY; on exit, StopXvfb stops it and PREFIX's Wine server.
StartXvfb() {
  xvfb_prefix=$1 xvfb_display_file=$(mktemp)
  Xvfb -displayfd 3 -screen 0 "$2" -nolisten tcp 3>"$xvfb_display_file" 2>/dev/null &
  xvfb_pid=$!
  trap StopXvfb EXIT
  for _ in $(seq 100); do [ -s "$xvfb_display_file" ] && break; sleep 0.1; done
  [ -s "$xvfb_display_file" ] || { echo "Xvfb did not start" >&2; exit 1; }
  export DISPLAY=:$(head -n1 "$xvfb_display_file")
}
StopXvfb() {
  WINEPREFIX=$xvfb_prefix "$wineserver" -k 2>/dev/null || true
  { kill "$xvfb_pid" && wait "$xvfb_pid"; } 2>/dev/null || true
  rm -f "$xvfb_display_file"
}

# UseVirtualDesktop PREFIX: one Wine desktop instead of bare X windows. It draws boxes with their frame and
# caption, and without a window manager each closed box would otherwise stall Wine for a second. Set every
# time, since a prefix made anew has lost it; the Wine server is then stopped so that the desktop starts anew,
# with the setting and on this screen.
UseVirtualDesktop() {
  local reg=("$(dirname "${BASH_SOURCE[0]}")/wine-run.sh" "$1" wine64 reg add)
  "${reg[@]}" 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null
  "${reg[@]}" 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1024x768 /f >/dev/null
  WINEPREFIX=$1 "$wineserver" -k 2>/dev/null || true
}
