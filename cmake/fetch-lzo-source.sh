#!/usr/bin/env bash
# Fetches Debian's source package of lzo2 into DIR for the builds that cannot use the system's library: the
# package files (.dsc, .orig.tar.*, .debian.tar.*) stay in DIR/lzo2-source for the release, the unpacked tree
# is DIR/lzo2, and DIR/lzo2.version names the source version. Done once per DIR, under a lock, so that
# configures at once wait for one fetch. The mirrors and suites are the machine's own apt sources, turned into
# deb-src entries; apt runs with lists, cache and sources of its own, so it neither waits for another apt run
# (nor another configure's) nor changes the machine's apt set-up.
# Usage: cmake/fetch-lzo-source.sh DIR
set -euo pipefail
dir=$(realpath -m "$1")
mkdir -p "$dir"
exec 9>"$dir/lzo2.lock"
flock 9
[ -s "$dir/lzo2.version" ] && [ -f "$dir/lzo2/src/lzo1x_d1.c" ] && exit 0

work=$dir/lzo2-apt
rm -rf "$work" "$dir/lzo2" "$dir/lzo2-source" "$dir/lzo2.version"
mkdir -p "$work/lists/partial" "$work/archives/partial" "$work/parts" "$dir/lzo2-source"

# The machine's sources: one-line entries (deb or deb-src, options such as signed-by kept) and deb822
# paragraphs (comment lines dropped, Types set to deb-src, disabled ones skipped, Signed-By kept).
eval "$(apt-config shell list Dir::Etc::SourceList/f parts Dir::Etc::SourceParts/d)"
shopt -s nullglob
for file in "$list" "$parts"*.list; do
  if [ -f "$file" ]; then sed -n 's/^[[:space:]]*deb\(-src\)\?[[:space:]]/deb-src /p' "$file"; fi
done | sort -u >"$work/sources.list"
for file in "$parts"*.sources; do
  sed -e '/^#/d' -e 's/^[[:space:]]*$//' "$file" | awk 'BEGIN { RS = "" }
    { types = ""; off = 0; text = ""; n = split($0, line, "\n")
      for (i = 1; i <= n; i++) {
        if (tolower(line[i]) ~ /^types:/) { types = line[i]; line[i] = "Types: deb-src" }
        if (tolower(line[i]) ~ /^enabled:[ \t]*no/) off = 1
        text = text line[i] "\n"
      }
      if (!off && types ~ /[ \t]deb(-src)?([ \t]|$)/) printf "%s\n", text }'
done >"$work/parts/machine.sources"
if [ ! -s "$work/sources.list" ] && [ ! -s "$work/parts/machine.sources" ]; then
  echo "fetch-lzo-source: no apt source (deb or deb-src entry) in $list or $parts*.list, *.sources:" \
       "add one so that apt can fetch lzo2's source package" >&2
  exit 1
fi

apt_options=(-o "Dir::Etc::SourceList=$work/sources.list" -o "Dir::Etc::SourceParts=$work/parts"
             -o "Dir::State::Lists=$work/lists" -o "Dir::Cache::Archives=$work/archives"
             -o "Dir::Cache::pkgcache=" -o "Dir::Cache::srcpkgcache=" -o APT::Sandbox::User=root)
apt-get "${apt_options[@]}" update -q
(cd "$dir/lzo2-source" && apt-get "${apt_options[@]}" source -q lzo2)
unpacked=$(find "$dir/lzo2-source" -mindepth 1 -maxdepth 1 -type d -name 'lzo2-*')
dsc=$(find "$dir/lzo2-source" -maxdepth 1 -name 'lzo2_*.dsc')
if [ ! -f "$unpacked/src/lzo1x_d1.c" ] || [ ! -f "$dsc" ]; then
  echo "fetch-lzo-source: lzo2 not unpacked in $dir/lzo2-source" >&2
  exit 1
fi
mv "$unpacked" "$dir/lzo2"
rm -rf "$work"
sed -n 's/^Version: *//p' "$dsc" >"$dir/lzo2.version"
