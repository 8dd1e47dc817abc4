#!/usr/bin/env bash
# Fetches Debian's source package PACKAGE into DIR for the builds that cannot use the system's library (lzo2
# for Windows and the page, libzip and zlib for the page): the package files (.dsc, .orig.tar.*,
# .debian.tar.*) stay in DIR/PACKAGE-source for the release, the unpacked tree is DIR/PACKAGE, and
# DIR/PACKAGE.version names the source version. FILE, a file of the unpacked tree, tells that a fetch is
# whole. Done once per DIR and PACKAGE, under a lock, so that configures at once wait for one fetch. The
# mirrors and suites are the machine's own apt sources, turned into deb-src entries; apt runs with lists,
# cache and sources of its own, so it neither waits for another apt run (nor another configure's) nor changes
# the machine's apt set-up.
# Usage: cmake/fetch-source.sh PACKAGE DIR FILE
set -euo pipefail
package=$1 dir=$(realpath -m "$2") check=$3
mkdir -p "$dir"
exec 9>"$dir/$package.lock"
flock 9
[ -s "$dir/$package.version" ] && [ -f "$dir/$package/$check" ] && exit 0

work=$dir/$package-apt
rm -rf "$work" "${dir:?}/$package" "$dir/$package-source" "$dir/$package.version"
mkdir -p "$work/lists/partial" "$work/archives/partial" "$work/parts" "$dir/$package-source"

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
  echo "fetch-source: no apt source (deb or deb-src entry) in $list or $parts*.list, *.sources:" \
       "add one so that apt can fetch $package's source package" >&2
  exit 1
fi

apt_options=(-o "Dir::Etc::SourceList=$work/sources.list" -o "Dir::Etc::SourceParts=$work/parts"
             -o "Dir::State::Lists=$work/lists" -o "Dir::Cache::Archives=$work/archives"
             -o "Dir::Cache::pkgcache=" -o "Dir::Cache::srcpkgcache=" -o APT::Sandbox::User=root)
apt-get "${apt_options[@]}" update -q
# The newest version whose files can be fetched: a security update may list a source that its archive does
# not hold.
fetched=""
for version in $(apt-cache "${apt_options[@]}" showsrc "$package" | sed -n 's/^Version: *//p' | sort -Vru); do
  if (cd "$dir/$package-source" && apt-get "${apt_options[@]}" source -q "$package=$version"); then
    fetched=$version
    break
  fi
  echo "fetch-source: $package $version could not be fetched; trying an older version" >&2
  find "$dir/$package-source" -mindepth 1 -delete
done
[ -n "$fetched" ] || { echo "fetch-source: no version of $package could be fetched" >&2; exit 1; }
unpacked=$(find "$dir/$package-source" -mindepth 1 -maxdepth 1 -type d -name "$package-*")
dsc=$(find "$dir/$package-source" -maxdepth 1 -name "${package}_*.dsc")
if [ ! -f "$unpacked/$check" ] || [ ! -f "$dsc" ]; then
  echo "fetch-source: $package not unpacked in $dir/$package-source" >&2
  exit 1
fi
mv "$unpacked" "$dir/$package"
rm -rf "$work"
sed -n 's/^Version: *//p' "$dsc" >"$dir/$package.version"
