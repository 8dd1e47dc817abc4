#!/usr/bin/env bash
# Runs a Windows program under Wine in the given prefix, with the 64-bit or the 32-bit loader. A new prefix is a
# copy of one template made once per checkout (build/_deps/wine-prefix): making a prefix where wine32 is
# installed runs 32-bit set-up programs, which take minutes under qemu-i386. A prefix made while wine32 was
# missing cannot run 32-bit programs, so the template and each copy carry the Wine set-up they were made with
# and are made anew when it has changed.
# Usage: wine-run.sh PREFIX wine64|wine32 PROGRAM [ARGUMENTS...]
set -euo pipefail
export WINEPREFIX=$(realpath -m "$1")  # Wine takes an absolute path only
loader=/usr/lib/wine/$([ "$2" = wine32 ] && echo wine || echo wine64)
shift 2
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES="mscoree,mshtml="  # no Mono or Gecko installer prompts
wineserver=/usr/lib/wine/wineserver
setup="$(ls /usr/lib/wine/wine /usr/lib/wine/wine64 2>/dev/null | tr '\n' ' ')$(/usr/lib/wine/wine64 --version)"
if [ "$(cat "$WINEPREFIX/.complete" 2>/dev/null)" != "$setup" ]; then
  deps=$(cd "$(dirname "$0")/../.." && pwd)/build/_deps
  mkdir -p "$deps"
  # Parallel runs may start together: one of them makes the template, each copies it once.
  (
    flock 9
    template=$deps/wine-prefix
    if [ "$(cat "$template/.complete" 2>/dev/null)" != "$setup" ]; then
      rm -rf "$template"
      WINEPREFIX=$template /usr/lib/wine/wine64 wineboot --init
      WINEPREFIX=$template "$wineserver" -w
      echo "$setup" >"$template/.complete"
    fi
    if [ "$(cat "$WINEPREFIX/.complete" 2>/dev/null)" != "$setup" ]; then
      "$wineserver" -k 2>/dev/null || true
      rm -rf "$WINEPREFIX"
      mkdir -p "$(dirname "$WINEPREFIX")"
      cp -a "$template" "$WINEPREFIX"
    fi
  ) 9>"$deps/wine-prefix.lock"
fi
# Keep one server alive across the many short runs of a test session; it ends itself when idle.
"$wineserver" -p15 >/dev/null 2>&1 || true  # not holding the caller's output open
exec "$loader" "$@"
