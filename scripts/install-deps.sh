#!/usr/bin/env bash
# Installs the Debian packages a build needs, asking apt only when one is missing.
# Usage: scripts/install-deps.sh [native|windows|all|PACKAGE...]
set -euo pipefail

native=(cmake make g++ clang pkg-config liblzo2-dev libgtest-dev libclang-rt-14-dev libbenchmark-dev)
native+=(valgrind)  # checks the real binary for leaks and invalid accesses
# Cross-building for Windows and testing under wine64 on an X server of its own; dpkg-dev for `apt-get source`
# (LZO's sources), googletest for GoogleTest's sources.
windows=(g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix binutils-mingw-w64-i686 binutils-mingw-w64-x86-64
         dpkg-dev googletest wine wine64 fonts-wine xvfb)

case "${1:-native}" in
  native) wanted=("${native[@]}") ;;
  windows) wanted=("${windows[@]}") ;;
  all) wanted=("${native[@]}" "${windows[@]}") ;;
  *) wanted=("$@") ;;
esac

missing=()
for package in "${wanted[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' || missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo=sudo
$sudo apt-get update -q
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
