#!/usr/bin/env bash
# Says how this machine runs 32-bit Windows programs: "native" where the kernel runs wine32 itself, "qemu" where
# it goes through qemu-i386 (binfmt_misc; about a minute a process), "none" where wine32 is missing or fails.
wine32=/usr/lib/wine/wine
if [ ! -x "$wine32" ] || ! timeout 300 "$wine32" --version >/dev/null 2>&1; then
  echo none
elif grep -qs '^interpreter .*qemu-i386' $(grep -ls '^enabled' /proc/sys/fs/binfmt_misc/* 2>/dev/null) /dev/null; then
  echo qemu
else
  echo native
fi
