#!/usr/bin/env bash
# Makes this machine a runner for the real 32-bit Tallyglass.exe: wine32 from Debian's i386 packages, run
# through qemu-i386 user emulation registered with binfmt_misc, since the kernel may run no 32-bit programs
# itself. Changes the machine (a foreign architecture, packages, a binfmt entry): needs root.
set -euo pipefail
sudo=""
[ "$(id -u)" -eq 0 ] || sudo=sudo
apt_get() { DEBIAN_FRONTEND=noninteractive $sudo apt-get -o DPkg::Lock::Timeout=600 "$@"; }

if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $sudo dpkg --add-architecture i386
fi
if ! dpkg-query -W -f='${Status}' wine32:i386 2>/dev/null | grep -q 'install ok installed' ||
   ! dpkg-query -W -f='${Status}' qemu-user-static 2>/dev/null | grep -q 'install ok installed'; then
  apt_get update -q
  apt_get install -y -q --no-install-recommends wine32:i386 qemu-user-static
fi

# qemu-i386 for 32-bit x86 ELF programs; F: the interpreter is opened now, so it also works in other mounts.
if [ ! -e /proc/sys/fs/binfmt_misc/register ]; then
  $sudo mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc
fi
if [ ! -e /proc/sys/fs/binfmt_misc/tallyglass-i386 ]; then
  magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
  mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
  echo ":tallyglass-i386:M::$magic:$mask:/usr/bin/qemu-i386-static:F" | $sudo tee /proc/sys/fs/binfmt_misc/register >/dev/null
fi
echo "wine32 runner ready: $(/usr/lib/wine/wine --version 2>/dev/null || echo 'wine32 does not start')"
