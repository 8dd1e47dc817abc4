#!/usr/bin/env bash
# Makes this machine a runner for the real 32-bit Tallyglass.exe: wine32 from Debian's i386 packages, run
# natively where the kernel runs 32-bit programs, else through qemu-i386 user emulation registered with
# binfmt_misc. Changes the machine (a foreign architecture, packages, maybe a binfmt entry): needs root.
set -euo pipefail
cd "$(dirname "$0")/.."
sudo=""
[ "$(id -u)" -eq 0 ] || sudo=sudo
dpkg --print-foreign-architectures | grep -qx i386 || $sudo dpkg --add-architecture i386
install() {  # install PACKAGE...: the ones not installed yet
  local missing=()
  for package in "$@"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' || missing+=("$package")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  $sudo apt-get -o DPkg::Lock::Timeout=600 update -q
  DEBIAN_FRONTEND=noninteractive $sudo apt-get -o DPkg::Lock::Timeout=600 install -y -q --no-install-recommends "${missing[@]}"
}
install wine32:i386

# Where the kernel runs 32-bit programs itself, wine32 needs nothing more, and runs far faster without qemu.
# Elsewhere qemu-i386 takes 32-bit x86 ELF programs through binfmt_misc; F: the interpreter is opened now, so
# it also serves in other mount namespaces.
entry=/proc/sys/fs/binfmt_misc/tallyglass-i386
[ ! -e "$entry" ] || echo -1 | $sudo tee "$entry" >/dev/null
if ! /usr/lib/wine/wine --version >/dev/null 2>&1; then
  install qemu-user-static
  [ -e /proc/sys/fs/binfmt_misc/register ] || $sudo mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc
  magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
  mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
  echo ":tallyglass-i386:M::$magic:$mask:/usr/bin/qemu-i386-static:F" | $sudo tee /proc/sys/fs/binfmt_misc/register >/dev/null
fi
echo "wine32 runner ready ($(tests/windows/wine32-mode.sh 2>/dev/null || true)): $(/usr/lib/wine/wine --version 2>/dev/null || echo 'wine32 does not start')"
