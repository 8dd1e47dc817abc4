#!/usr/bin/env bash
# Unpacks Debian's source package of lzo2 into DEST (once), for the builds that cannot use the system's
# library. apt runs with its own sources list and index directory, so the machine's apt set-up is untouched.
# Usage: cmake/fetch-lzo-source.sh DEST
set -euo pipefail
dest=$1
[ -f "$dest/src/lzo1x_d1.c" ] && exit 0

work=$(dirname "$dest")/lzo2-apt
rm -rf "$work" "$dest"
mkdir -p "$work/lists/partial" "$work/source"
# The same mirror and suite as the machine's Debian packages.
mirror=$(sed -n 's/^URIs: *//p' /etc/apt/sources.list.d/debian.sources 2>/dev/null | head -n1)
echo "deb-src [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] ${mirror:-http://deb.debian.org/debian} bookworm main" \
  >"$work/sources.list"
apt_options=(-o "Dir::Etc::SourceList=$work/sources.list" -o Dir::Etc::SourceParts=/dev/null
             -o "Dir::State::Lists=$work/lists" -o "Dir::Cache::pkgcache=" -o "Dir::Cache::srcpkgcache="
             -o APT::Sandbox::User=root)
apt-get "${apt_options[@]}" update -q
(cd "$work/source" && apt-get "${apt_options[@]}" source -q lzo2)
unpacked=$(find "$work/source" -mindepth 1 -maxdepth 1 -type d -name 'lzo2-*' | head -n1)
[ -f "$unpacked/src/lzo1x_d1.c" ] || { echo "lzo2 source not found in $work/source" >&2; exit 1; }
mv "$unpacked" "$dest"
rm -rf "$work"
